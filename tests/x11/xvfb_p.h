// What the editor tests share: private X servers (tests skip with a message
// when Xvfb is not installed), a stand-in for the host's window, and counts
// of what a leak would leave behind (descriptors, threads).
#ifndef TESTS_X11_XVFB_P_H_
#define TESTS_X11_XVFB_P_H_

#include <X11/Xlib.h>
#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tools/xserver.h"

namespace x11test {

using xserver::HaveXvfb;

// One server per kind for the whole test program, stopped at exit; null when
// none starts.
inline xserver::PrivateX* SharedServer(bool shm)
{
  static std::unique_ptr<xserver::PrivateX> servers[2];
  std::unique_ptr<xserver::PrivateX>& s = servers[shm ? 1 : 0];
  if (!s)
  {
    s.reset(new xserver::PrivateX());
    if (!s->Start(shm)) s.reset();
  }
  return s.get();
}

// The shared server of a kind, also as $DISPLAY for the plug-ins' own
// connections; null when none starts.
inline xserver::PrivateX* UseSharedDisplay(bool shm)
{
  xserver::PrivateX* s = SharedServer(shm);
  if (s) setenv("DISPLAY", s->Name().c_str(), 1);
  return s;
}

// A host connection to a server that was killed cannot be closed (closing
// it would end the process through Xlib's IO error exit); it is kept here.
inline void KeepDeadConnection(Display* d)
{
  // Never destroyed, so that leak checkers at exit still see them held.
  static std::vector<Display*>* kept = new std::vector<Display*>();
  kept->push_back(d);
}

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
