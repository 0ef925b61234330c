// A private X server for the editor tests: Xvfb on a display number it picks
// itself (-displayfd), so parallel test runs never collide, with or without
// the MIT-SHM extension. Tests skip with a message when Xvfb is not installed.
//
// XServer::Shared(shm) starts one server per kind on first use and keeps it
// for the whole test program; Start/Stop give a test its own (one it may kill).
#ifndef TESTS_X11_XVFB_P_H_
#define TESTS_X11_XVFB_P_H_

#include <X11/Xlib.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace x11test {

inline bool HaveXvfb()
{
  return access("/usr/bin/Xvfb", X_OK) == 0;
}

class XServer
{
public:
  XServer() = default;
  ~XServer() { Stop(); }
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  // True when the server answers; name() is then ":N".
  bool Start(bool shm = true, const char* screen = "1280x1024x24")
  {
    if (!HaveXvfb()) return false;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    char fdArg[16];
    snprintf(fdArg, sizeof(fdArg), "%d", fds[1]);
    std::vector<std::string> args = {"/usr/bin/Xvfb", "-displayfd", fdArg, "-ac", "-nolisten", "tcp",
                                     "-screen", "0", screen, "-nocursor"};
    if (!shm)
    {
      args.push_back("-extension");
      args.push_back("MIT-SHM");
    }
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    // The write end must survive exec in the child: give it a fresh number
    // without close-on-exec.
    posix_spawn_file_actions_adddup2(&fa, fds[1], fds[1] + 100);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    snprintf(fdArg, sizeof(fdArg), "%d", fds[1] + 100);
    args[2] = fdArg;
    argv[2] = &args[2][0];
    const int rc = posix_spawn(&mPid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    if (rc != 0)
    {
      close(fds[0]);
      mPid = -1;
      return false;
    }
    std::string number;
    pollfd p = {fds[0], POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline)
    {
      if (poll(&p, 1, 100) <= 0) continue;
      char c;
      const ssize_t n = read(fds[0], &c, 1);
      if (n <= 0 || c == '\n') break;
      number += c;
    }
    close(fds[0]);
    if (number.empty())
    {
      Stop();
      return false;
    }
    mName = ":" + number;
    // The server writes its number once it listens; one connection proves it.
    Display* d = XOpenDisplay(mName.c_str());
    if (!d)
    {
      Stop();
      return false;
    }
    XCloseDisplay(d);
    return true;
  }

  void Stop()
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
  }

  // Ends the server at once, as a crash would.
  void Kill()
  {
    if (mPid <= 0) return;
    kill(mPid, SIGKILL);
    int status = 0;
    waitpid(mPid, &status, 0);
    mPid = -1;
  }

  const std::string& name() const { return mName; }
  const char* c_name() const { return mName.c_str(); }
  bool Running() const { return mPid > 0; }

  static XServer* Shared(bool shm)
  {
    static XServer* servers[2] = {nullptr, nullptr};
    XServer*& s = servers[shm ? 1 : 0];
    if (!s)
    {
      s = new XServer();
      if (!s->Start(shm))
      {
        delete s;
        s = nullptr;
      }
    }
    return s;
  }

private:
  pid_t mPid = -1;
  std::string mName;
};

// Counts what reaches the process-wide X error handlers: the "host's".
struct HostHandlers
{
  static int& Errors()
  {
    static int n = 0;
    return n;
  }
  static int& IOErrors()
  {
    static int n = 0;
    return n;
  }
  static int OnError(Display*, XErrorEvent*)
  {
    ++Errors();
    return 0;
  }
  static int OnIOError(Display*)
  {
    ++IOErrors();
    return 0;
  }
  static void Install()
  {
    XSetErrorHandler(OnError);
    XSetIOErrorHandler(OnIOError);
  }
};

// A top-level window standing for the host's editor frame.
inline Window MakeHostWindow(Display* d, int w = 400, int h = 700)
{
  const int s = DefaultScreen(d);
  Window win = XCreateSimpleWindow(d, RootWindow(d, s), 10, 10, (unsigned)w, (unsigned)h, 0, 0, 0);
  XMapWindow(d, win);
  XSync(d, False);
  return win;
}

// The children of w, as this client sees them now.
inline std::vector<Window> Children(Display* d, Window w)
{
  Window root = 0, parent = 0, *kids = nullptr;
  unsigned n = 0;
  std::vector<Window> out;
  if (XQueryTree(d, w, &root, &parent, &kids, &n))
  {
    out.assign(kids, kids + n);
    if (kids) XFree(kids);
  }
  return out;
}

inline int CountFds()
{
  int n = 0;
  if (DIR* dir = opendir("/proc/self/fd"))
  {
    while (dirent* e = readdir(dir)) n += e->d_name[0] != '.';
    closedir(dir);
  }
  return n - 1;  // the directory's own descriptor
}

inline int CountThreads()
{
  int n = 0;
  if (FILE* f = fopen("/proc/self/status", "r"))
  {
    char line[256];
    while (fgets(line, sizeof(line), f))
      if (!strncmp(line, "Threads:", 8)) n = atoi(line + 8);
    fclose(f);
  }
  return n;
}

}  // namespace x11test

#define X11TEST_SKIP_WITHOUT_XVFB()                                      \
  do                                                                    \
  {                                                                     \
    if (!x11test::HaveXvfb()) GTEST_SKIP() << "Xvfb is not installed";  \
  } while (0)

#endif  // TESTS_X11_XVFB_P_H_
