#include "tools/xserver.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

extern char** environ;

namespace xserver {

namespace {

const char kXvfb[] = "/usr/bin/Xvfb";
// The server's own descriptor number for the -displayfd pipe: above anything
// the child inherits by accident.
const int kServerFd = 200;

}  // namespace

bool HaveXvfb()
{
  return access(kXvfb, X_OK) == 0;
}

PrivateX::~PrivateX()
{
  Stop();
}

bool PrivateX::Start(bool shm, const char* screen)
{
  Stop();
  if (!HaveXvfb()) return false;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  char fdArg[16];
  snprintf(fdArg, sizeof(fdArg), "%d", kServerFd);
  // -noreset: a server that resets when its last client leaves refuses
  // connections for a moment, and tests connect and leave all the time.
  std::vector<std::string> args = {kXvfb, "-displayfd", fdArg, "-ac", "-noreset", "-nolisten", "tcp", "-screen", "0", screen,
                                   "-nocursor"};
  if (!shm)
  {
    args.push_back("-extension");
    args.push_back("MIT-SHM");
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  // dup2 clears close-on-exec on the copy: the server keeps only that end.
  posix_spawn_file_actions_adddup2(&fa, fds[1], kServerFd);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  const int rc = posix_spawn(&mPid, kXvfb, &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(fds[1]);
  if (rc != 0)
  {
    close(fds[0]);
    mPid = -1;
    return false;
  }
  // The server writes its display number once it listens.
  std::string number;
  pollfd p = {fds[0], POLLIN, 0};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline)
  {
    if (poll(&p, 1, 100) <= 0) continue;
    char c;
    if (read(fds[0], &c, 1) <= 0 || c == '\n') break;
    number += c;
  }
  close(fds[0]);
  if (number.empty())
  {
    Stop();
    return false;
  }
  mName = ":" + number;
  Display* d = XOpenDisplay(mName.c_str());
  if (!d)
  {
    Stop();
    return false;
  }
  XCloseDisplay(d);
  return true;
}

void PrivateX::Stop()
{
  if (mPid <= 0) return;
  kill(mPid, SIGTERM);
  int status = 0;
  for (int i = 0; i < 200 && waitpid(mPid, &status, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (waitpid(mPid, &status, WNOHANG) == 0)
  {
    kill(mPid, SIGKILL);
    waitpid(mPid, &status, 0);
  }
  mPid = -1;
  mName.clear();
}

void PrivateX::Kill()
{
  if (mPid <= 0) return;
  kill(mPid, SIGKILL);
  int status = 0;
  waitpid(mPid, &status, 0);
  mPid = -1;
}

}  // namespace xserver
