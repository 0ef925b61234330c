// A host for the editor tests, through the VST 2.4 ABI only: it loads the
// plug-in with dlopen, gives effEditOpen a window of its own X connection,
// drives effEditIdle, synthesises input with XTest at editor coordinates, and
// records every host callback (with its value) so that tests can read back
// begin / automate / end gestures. Recording is thread-safe: the audio thread
// and the editor both call the host.
#ifndef TESTS_X11_EDITOR_HOST_P_H_
#define TESTS_X11_EDITOR_HOST_P_H_

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "WDL/IPlug/VSTInterface.h"
#include "tests/hosting/test_host_p.h"
#include "tests/x11/xvfb_p.h"

namespace x11test {

struct Call
{
  AEffect* effect;
  VstInt32 opcode;
  VstInt32 index;
  float opt;
  std::thread::id thread;
};

class CallLog
{
public:
  static CallLog& Get()
  {
    static CallLog log;
    return log;
  }
  void Add(const Call& c)
  {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mCalls.size() < 200000) mCalls.push_back(c);
  }
  void Clear()
  {
    std::lock_guard<std::mutex> lock(mMutex);
    mCalls.clear();
  }
  // The gesture opcodes (begin, automate, end) of effect, in order.
  std::vector<Call> Gestures(AEffect* effect)
  {
    std::lock_guard<std::mutex> lock(mMutex);
    std::vector<Call> out;
    for (const Call& c : mCalls)
      if (c.effect == effect && (c.opcode == audioMasterBeginEdit || c.opcode == audioMasterAutomate ||
                                 c.opcode == audioMasterEndEdit))
        out.push_back(c);
    return out;
  }

private:
  std::mutex mMutex;
  std::vector<Call> mCalls;
};

inline VstIntPtr LoggingHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr, void* ptr, float opt)
{
  CallLog::Get().Add({effect, opcode, index, opt, std::this_thread::get_id()});
  switch (opcode)
  {
    case audioMasterVersion: return kVstVersion;
    case audioMasterGetProductString:
      if (ptr) strcpy(static_cast<char*>(ptr), "Editor Test");
      return 1;
    case audioMasterGetVendorVersion: return 10000;
    case audioMasterGetCurrentProcessLevel: return kVstProcessLevelRealtime;
    case audioMasterBeginEdit:
    case audioMasterEndEdit: return 1;
    default: return 0;
  }
}

// A host window on the test's display with an editor opened into it, driven
// through the effect record: idle calls, XTest input at editor coordinates,
// and reads of what the editor shows. Subclasses own the plug-in.
class EditorWindowHost
{
public:
  EditorWindowHost(const std::string& display, int x, int y)
  {
    mDisplay = XOpenDisplay(display.c_str());
    if (!mDisplay) return;
    const int s = DefaultScreen(mDisplay);
    mParent = XCreateSimpleWindow(mDisplay, RootWindow(mDisplay, s), x, y, 400, 700, 0, 0, 0);
    XMapWindow(mDisplay, mParent);
    XSync(mDisplay, False);
  }
  virtual ~EditorWindowHost()
  {
    if (!mDisplay) return;
    XDestroyWindow(mDisplay, mParent);
    XCloseDisplay(mDisplay);
  }
  EditorWindowHost(const EditorWindowHost&) = delete;
  EditorWindowHost& operator=(const EditorWindowHost&) = delete;

  virtual AEffect* Effect() = 0;
  VstIntPtr Call(VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.f)
  {
    AEffect* e = Effect();
    return e ? e->dispatcher(e, op, index, value, ptr, opt) : 0;
  }
  Display* GetDisplay() { return mDisplay; }
  Window Parent() const { return mParent; }

  bool Open() { return Call(effEditOpen, 0, 0, reinterpret_cast<void*>((uintptr_t)mParent)) == 1; }
  void Close() { Call(effEditClose); }
  void Idle(int times = 1)
  {
    for (int i = 0; i < times; ++i)
    {
      Call(effEditIdle);
      XSync(mDisplay, False);
    }
  }
  // Idle calls at about 50 Hz for ms, as a host's timer makes them.
  void IdleFor(int ms)
  {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end)
    {
      Idle();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  // The editor's child window, 0 when there is none.
  Window Child()
  {
    XSync(mDisplay, False);
    const auto kids = Children(mDisplay, mParent);
    for (Window w : kids)
    {
      XWindowAttributes wa;
      if (XGetWindowAttributes(mDisplay, w, &wa) && wa.map_state == IsViewable) return w;
    }
    return 0;
  }

  // Pointer input at editor coordinates: the editor reads window pixel
  // (px, py) as (px - 2, py - 3), so the pixel is chosen to land on (x, y).
  void MoveTo(int x, int y)
  {
    int rx = 0, ry = 0;
    Window child = 0;
    XTranslateCoordinates(mDisplay, mParent, DefaultRootWindow(mDisplay), x + 2, y + 3, &rx, &ry, &child);
    XTestFakeMotionEvent(mDisplay, -1, rx, ry, 0);
    XSync(mDisplay, False);
  }
  void Button(int button, bool down)
  {
    XTestFakeButtonEvent(mDisplay, (unsigned)button, down ? True : False, 0);
    XSync(mDisplay, False);
  }
  void Click(int x, int y, int button = 1)
  {
    MoveTo(x, y);
    Button(button, true);
    Button(button, false);
  }
  // A press at (x, y), a move by (dx, dy) in steps (each step idled), a release.
  void Drag(int x, int y, int dx, int dy, int steps = 8)
  {
    MoveTo(x, y);
    Button(1, true);
    Idle();
    for (int i = 1; i <= steps; ++i)
    {
      MoveTo(x + dx * i / steps, y + dy * i / steps);
      Idle();
    }
    Button(1, false);
    Idle();
  }
  void PointerAway()
  {
    XTestFakeMotionEvent(mDisplay, -1, 1200, 1000, 0);
    XSync(mDisplay, False);
  }

  // The editor's pixels (w x h from its top-left), 0xRRGGBB, once they have
  // settled: the plug-in's puts travel on its own connection, so nothing
  // orders them before our read but waiting for two reads that agree.
  std::vector<uint32_t> Grab(int w, int h, bool idle = true)
  {
    std::vector<uint32_t> last = GrabNow(w, h);
    for (int i = 0; i < 50; ++i)
    {
      std::this_thread::sleep_for(std::chrono::milliseconds(15));
      if (idle) Idle();
      std::vector<uint32_t> next = GrabNow(w, h);
      if (next == last) return next;
      last.swap(next);
    }
    return last;
  }

  std::vector<uint32_t> GrabNow(int w, int h)
  {
    std::vector<uint32_t> out;
    Window child = Child();
    if (!child) return out;
    XImage* img = XGetImage(mDisplay, child, 0, 0, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
    if (!img) return out;
    out.resize((size_t)w * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) out[(size_t)y * w + x] = (uint32_t)XGetPixel(img, x, y) & 0xffffff;
    XDestroyImage(img);
    return out;
  }

private:
  Display* mDisplay = nullptr;
  Window mParent = 0;
};

// A plug-in loaded from its library, as a host loads it.
class EditorHost : public EditorWindowHost
{
public:
  EditorHost(const hosting::PlugLib& lib, const std::string& display, int x = 10, int y = 10)
    : EditorWindowHost(display, x, y), mPlug(lib, LoggingHost)
  {
    if (GetDisplay() && mPlug.Ok()) mPlug.Start(44100.0, 512);
  }
  ~EditorHost() override
  {
    if (mPlug.Ok()) mPlug.Call(effEditClose);
    mPlug.Close();
  }

  bool Ok() { return GetDisplay() && mPlug.Ok(); }
  hosting::Plug& Plug() { return mPlug; }
  AEffect* Effect() override { return mPlug.Effect(); }

private:
  hosting::Plug mPlug;
};

// The bounding box (L, T, R, B) of the pixels that differ; all 0 when none.
struct Box
{
  int L = 0, T = 0, R = 0, B = 0;
  bool Empty() const { return R <= L || B <= T; }
};
inline Box DiffBox(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int w, int h)
{
  Box box;
  bool any = false;
  if (a.size() != b.size() || a.size() != (size_t)w * h) return {0, 0, w, h};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
    {
      if (a[(size_t)y * w + x] == b[(size_t)y * w + x]) continue;
      if (!any) box = {x, y, x + 1, y + 1};
      box.L = std::min(box.L, x);
      box.T = std::min(box.T, y);
      box.R = std::max(box.R, x + 1);
      box.B = std::max(box.B, y + 1);
      any = true;
    }
  return box;
}

}  // namespace x11test

#endif  // TESTS_X11_EDITOR_HOST_P_H_
