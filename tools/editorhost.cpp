#include "tools/editorhost.h"

#include "tools/params.h"
#include "tools/vsthost.h"
#include "tools/xserver.h"

#include "WDL/lice/lice.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace plughost {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> gInterrupted{false};

void OnSignal(int)
{
  gInterrupted = true;
}

double Since(Clock::time_point t)
{
  return std::chrono::duration<double>(Clock::now() - t).count();
}

// The editor's size as the plug-in reports it; false when it reports none.
bool EditorSize(vsthost::Plugin& plugin, int* w, int* h)
{
  ERect* r = nullptr;
  if (!plugin.Dispatch(effEditGetRect, 0, 0, &r) || !r) return false;
  const int rw = r->right - r->left, rh = r->bottom - r->top;
  if (rw <= 0 || rh <= 0 || rw > 8192 || rh > 8192) return false;
  *w = rw;
  *h = rh;
  return true;
}

// Our own top-level window for the editor, on our own connection.
class HostWindow
{
public:
  ~HostWindow()
  {
    if (mDisplay)
    {
      if (mWindow) XDestroyWindow(mDisplay, mWindow);
      XCloseDisplay(mDisplay);
    }
  }

  bool Open(const char* title, int w, int h, std::string* error)
  {
    mDisplay = XOpenDisplay(nullptr);
    if (!mDisplay)
    {
      *error = std::string("cannot open display ") + XDisplayName(nullptr);
      return false;
    }
    const int s = DefaultScreen(mDisplay);
    mWindow = XCreateSimpleWindow(mDisplay, RootWindow(mDisplay, s), 0, 0, (unsigned)w, (unsigned)h, 0,
                                  BlackPixel(mDisplay, s), BlackPixel(mDisplay, s));
    XStoreName(mDisplay, mWindow, title);
    mDeleteAtom = XInternAtom(mDisplay, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(mDisplay, mWindow, &mDeleteAtom, 1);
    XSelectInput(mDisplay, mWindow, StructureNotifyMask);
    SetFixedSize(w, h);
    XMapWindow(mDisplay, mWindow);
    // The editor is opened into a mapped window, as hosts do.
    for (auto t = Clock::now(); Since(t) < 2.0;)
    {
      XEvent e;
      if (XCheckTypedWindowEvent(mDisplay, mWindow, MapNotify, &e)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    XSync(mDisplay, False);
    return true;
  }

  void SetFixedSize(int w, int h)
  {
    XSizeHints* hints = XAllocSizeHints();
    hints->flags = PMinSize | PMaxSize;
    hints->min_width = hints->max_width = w;
    hints->min_height = hints->max_height = h;
    XSetWMNormalHints(mDisplay, mWindow, hints);
    XFree(hints);
  }

  void Resize(int w, int h)
  {
    SetFixedSize(w, h);
    XResizeWindow(mDisplay, mWindow, (unsigned)w, (unsigned)h);
    XFlush(mDisplay);
  }

  // Handles our window's events; false once the user closed it.
  bool Pump()
  {
    while (XPending(mDisplay))
    {
      XEvent e;
      XNextEvent(mDisplay, &e);
      if (e.type == ClientMessage && (Atom)e.xclient.data.l[0] == mDeleteAtom) return false;
      if (e.type == DestroyNotify && e.xdestroywindow.window == mWindow)
      {
        mWindow = 0;
        return false;
      }
    }
    return true;
  }

  // The window's pixels (the editor's child included) as a bitmap.
  bool Grab(int w, int h, LICE_MemBitmap* out)
  {
    XSync(mDisplay, False);
    XImage* img = XGetImage(mDisplay, mWindow, 0, 0, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
    if (!img) return false;
    out->resize(w, h);
    LICE_pixel* bits = out->getBits();
    const int span = out->getRowSpan();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
      {
        const unsigned long p = XGetPixel(img, x, y);
        bits[y * span + x] = LICE_RGBA((p >> 16) & 0xff, (p >> 8) & 0xff, p & 0xff, 255);
      }
    XDestroyImage(img);
    return true;
  }

  Display* GetDisplay() const { return mDisplay; }
  Window GetWindow() const { return mWindow; }

private:
  Display* mDisplay = nullptr;
  Window mWindow = 0;
  Atom mDeleteAtom = 0;
};

// A generated test signal through the plug-in in real time, on its own
// thread, as a sequencer's audio thread would run it.
class AudioThread
{
public:
  AudioThread(vsthost::Plugin* plugin, int block) : mPlugin(plugin), mBlock(block) {}
  ~AudioThread() { Stop(); }

  void Start()
  {
    mRun = true;
    mThread = std::thread([this] { Run(); });
  }
  void Stop()
  {
    mRun = false;
    if (mThread.joinable()) mThread.join();
  }

private:
  void Run()
  {
    const AEffect* e = mPlugin->Effect();
    const int nin = e->numInputs, nout = e->numOutputs;
    std::vector<std::vector<float>> in((size_t)std::max(nin, 1), std::vector<float>((size_t)mBlock));
    std::vector<std::vector<float>> out((size_t)std::max(nout, 1), std::vector<float>((size_t)mBlock));
    std::vector<float*> inp, outp;
    for (auto& c : in) inp.push_back(c.data());
    for (auto& c : out) outp.push_back(c.data());
    const double rate = mPlugin->SampleRate();
    const auto blockTime = std::chrono::duration<double>(mBlock / rate);
    auto next = Clock::now();
    double phase = 0.0;
    uint32_t noise = 1;
    while (mRun)
    {
      for (int i = 0; i < mBlock; ++i)
      {
        noise = noise * 1664525u + 1013904223u;
        const float n = (float)((int32_t)noise / 2147483648.0) * 0.02f;
        const float v = (float)(0.25 * std::sin(phase)) + n;
        phase += 2.0 * 3.141592653589793 * 220.0 / rate;
        if (phase > 6.283185307179586) phase -= 6.283185307179586;
        for (auto& c : in) c[(size_t)i] = v;
      }
      mPlugin->ProcessFloat(inp.data(), outp.data(), mBlock);
      next += std::chrono::duration_cast<Clock::duration>(blockTime);
      std::this_thread::sleep_until(next);
    }
  }

  vsthost::Plugin* mPlugin;
  int mBlock;
  std::atomic<bool> mRun{false};
  std::thread mThread;
};

std::unique_ptr<vsthost::Plugin> LoadWithEditor(const std::string& path, std::string* error)
{
  auto plugin = vsthost::Plugin::Load(path, error);
  if (!plugin) return nullptr;
  if (!(plugin->Effect()->flags & effFlagsHasEditor))
  {
    *error = path + " has no editor";
    return nullptr;
  }
  // Many plug-ins time their editors from the audio thread's calls, but none
  // may rely on them: the editor is driven by idle calls alone.
  plugin->recordCalls = false;
  plugin->Setup(44100.0, 512);
  return plugin;
}

std::string EffectName(vsthost::Plugin& plugin)
{
  std::string name = vsthost::Printable(plugin.DispatchString(effGetEffectName));
  if (name.empty()) name = vsthost::Printable(plugin.DispatchString(effGetProductString));
  return name.empty() ? std::string("plug-in") : name;
}

// Opens the plug-in's editor in a window of the size it reports, asking again
// after the open (plug-ins may know their size only then) and following its
// size requests. *w and *h track the editor's size.
bool OpenEditor(vsthost::Plugin& plugin, HostWindow* window, int* w, int* h, std::string* error)
{
  *w = 640;
  *h = 480;
  EditorSize(plugin, w, h);
  if (!window->Open(("plughost: " + EffectName(plugin)).c_str(), *w, *h, error)) return false;
  plugin.onSizeWindow = [window, w, h](int nw, int nh) {
    *w = nw;
    *h = nh;
    window->Resize(nw, nh);
  };
  if (!plugin.Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>((uintptr_t)window->GetWindow())))
  {
    *error = plugin.Path() + ": the editor did not open";
    return false;
  }
  int nw = *w, nh = *h;
  if (EditorSize(plugin, &nw, &nh) && (nw != *w || nh != *h))
  {
    *w = nw;
    *h = nh;
    window->Resize(nw, nh);
  }
  return true;
}

}  // namespace

int RunGui(const GuiOptions& o, std::string* error)
{
  auto plugin = LoadWithEditor(o.plugin, error);
  if (!plugin) return 1;
  plugin->verbose = o.verbose;
  HostWindow window;
  int w = 0, h = 0;
  if (!OpenEditor(*plugin, &window, &w, &h, error)) return 1;
  AudioThread audio(plugin.get(), 512);
  if (o.audio)
  {
    plugin->Resume();
    audio.Start();
  }

  gInterrupted = false;
  signal(SIGINT, OnSignal);
  signal(SIGTERM, OnSignal);
  const auto start = Clock::now();
  const auto period = std::chrono::duration<double>(1.0 / std::max(1, o.idleHz));
  auto next = Clock::now();
  while (!gInterrupted && window.Pump() && (o.seconds <= 0.0 || Since(start) < o.seconds))
  {
    plugin->Dispatch(effEditIdle);
    next += std::chrono::duration_cast<Clock::duration>(period);
    // Waiting on our connection keeps the window responsive between idles.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
    if (left > 0)
    {
      pollfd p = {ConnectionNumber(window.GetDisplay()), POLLIN, 0};
      poll(&p, 1, (int)left);
    }
  }
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  plugin->Dispatch(effEditClose);
  audio.Stop();
  return 0;
}

int Snapshot(const SnapshotOptions& o, std::string* error)
{
  // No display: a private server for the time of the snapshot. The plug-in
  // opens its own connection from $DISPLAY too, so it is set for both.
  xserver::PrivateX privateX;
  const char* display = getenv("DISPLAY");
  Display* probe = (display && *display) ? XOpenDisplay(nullptr) : nullptr;
  if (probe)
  {
    XCloseDisplay(probe);
  }
  else
  {
    if (!privateX.Start(true))
    {
      *error = "no display, and no Xvfb to start one";
      return 1;
    }
    setenv("DISPLAY", privateX.Name().c_str(), 1);
  }

  auto plugin = LoadWithEditor(o.plugin, error);
  if (!plugin) return 1;
  if (!ApplySettings(*plugin, o.settings, o.normalised, false, error)) return 1;
  HostWindow window;
  int w = 0, h = 0;
  if (!OpenEditor(*plugin, &window, &w, &h, error)) return 1;

  // Drawn means: two grabs 100 ms apart that agree, after at least 300 ms of
  // idle calls (plug-ins draw on their first idle or on the first exposure).
  LICE_MemBitmap last, grab;
  bool haveLast = false, stable = false;
  const auto start = Clock::now();
  auto nextGrab = start + std::chrono::milliseconds(300);
  while (Since(start) < 5.0 && !stable)
  {
    window.Pump();
    plugin->Dispatch(effEditIdle);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (Clock::now() < nextGrab) continue;
    nextGrab = Clock::now() + std::chrono::milliseconds(100);
    if (!window.Grab(w, h, &grab)) break;
    stable = haveLast && LICE_BitmapCmp(&last, &grab) == 0;
    LICE_Copy(&last, &grab);
    haveLast = true;
  }
  plugin->Dispatch(effEditClose);
  if (!haveLast)
  {
    *error = "could not read the editor's pixels";
    return 1;
  }
  if (!LICE_WritePNG(o.output.c_str(), &last))
  {
    *error = "cannot write " + o.output;
    return 1;
  }
  return 0;
}

}  // namespace plughost
