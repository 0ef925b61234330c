// The Xlib layer under a private Xvfb, with and without MIT-SHM: the child
// window and its pixels, event translation, refusals, focus, popups, the
// clipboard, a server that dies, and teardown that leaves nothing behind.
// gtest first: Xlib's None and Bool macros break its headers.
#include <gtest/gtest.h>

#include "WDL/IPlug/src/XConnection_p.h"
#include "tests/x11/xvfb_p.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <atomic>
#include <thread>

using ixwin::Event;
using ixwin::EventKind;
using ixwin::XConnection;
using ixwin::XRectI;
using xserver::PrivateX;

namespace {

constexpr int kW = 300, kH = 570;

// Waits until pred(events so far) holds or two seconds pass.
template <class Pred>
std::vector<Event> DrainUntil(XConnection* c, Pred pred)
{
  std::vector<Event> events;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!pred(events) && std::chrono::steady_clock::now() < deadline)
  {
    c->Wait(20);
    c->Drain(&events);
  }
  return events;
}

std::vector<Event> OfKind(const std::vector<Event>& in, EventKind k)
{
  std::vector<Event> out;
  for (const Event& e : in)
    if (e.kind == k) out.push_back(e);
  return out;
}

// The test's own connection: the "host" that owns the parent window.
class XConnectionTest : public ::testing::TestWithParam<bool>
{
protected:
  void SetUp() override
  {
    X11TEST_SKIP_WITHOUT_XVFB();
    mServer = x11test::SharedServer(GetParam());
    ASSERT_TRUE(mServer) << "Xvfb did not start";
    x11test::HostHandlers::Install();
    mHost = XOpenDisplay(mServer->Name().c_str());
    ASSERT_TRUE(mHost);
    mParent = x11test::MakeHostWindow(mHost);
    mErrorsBefore = x11test::HostHandlers::Errors();
  }
  void TearDown() override
  {
    if (mHost)
    {
      XDestroyWindow(mHost, mParent);
      XCloseDisplay(mHost);
    }
    // Nothing of ours reached the host's handlers.
    EXPECT_EQ(x11test::HostHandlers::Errors(), mErrorsBefore);
  }
  std::unique_ptr<XConnection> Open(int w = kW, int h = kH)
  {
    std::string error;
    auto c = XConnection::Open(mServer->Name().c_str(), mParent, w, h, &error);
    EXPECT_TRUE(c) << error;
    return c;
  }
  std::vector<uint32_t> Grab(Window w, int width, int height)
  {
    XImage* img = XGetImage(mHost, w, 0, 0, (unsigned)width, (unsigned)height, AllPlanes, ZPixmap);
    std::vector<uint32_t> out;
    if (!img) return out;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) out.push_back((uint32_t)XGetPixel(img, x, y) & 0xffffff);
    XDestroyImage(img);
    return out;
  }

  PrivateX* mServer = nullptr;
  Display* mHost = nullptr;
  Window mParent = 0;
  int mErrorsBefore = 0;
};

TEST_P(XConnectionTest, RefusesWhatCannotBeAnEditor)
{
  struct Case
  {
    const char* what;
    const char* display;
    unsigned long parent;
    int w, h;
  };
  const std::string good = mServer->Name();
  const Case cases[] = {
    {"no parent", good.c_str(), 0, kW, kH},
    {"a window id that does not exist", good.c_str(), 0x7ffffe, kW, kH},
    {"the root's child id space of another client", good.c_str(), 0x1fffff, kW, kH},
    {"zero width", good.c_str(), mParent, 0, kH},
    {"negative height", good.c_str(), mParent, kW, -5},
    {"absurd size", good.c_str(), mParent, 100000, kH},
    {"no such display", ":4711", mParent, kW, kH},
  };
  const int fds = x11test::CountFds();
  for (const Case& c : cases)
  {
    std::string error;
    EXPECT_FALSE(XConnection::Open(c.display, c.parent, c.w, c.h, &error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
  }
  EXPECT_EQ(x11test::CountFds(), fds) << "a refused open left a descriptor behind";
}

TEST_P(XConnectionTest, ChildWindowShowsExactlyThePixelsPut)
{
  auto c = Open();
  ASSERT_TRUE(c);
  EXPECT_EQ(c->UsesSharedMemory(), GetParam());
  XSync(mHost, False);
  const auto kids = x11test::Children(mHost, mParent);
  ASSERT_EQ(kids.size(), 1u);
  EXPECT_EQ(kids[0], c->WindowId());
  XWindowAttributes wa;
  ASSERT_TRUE(XGetWindowAttributes(mHost, c->WindowId(), &wa));
  EXPECT_EQ(wa.width, kW);
  EXPECT_EQ(wa.height, kH);

  // A pattern with every channel distinct; the alpha byte must be ignored.
  std::vector<uint32_t> src((size_t)kW * kH);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) src[(size_t)y * kW + x] = 0xA5000000u | (uint32_t)(x * 7) << 16 | (uint32_t)(y & 0xff) << 8 | (uint32_t)((x ^ y) & 0xff);
  ASSERT_FALSE(c->ImageBusy());
  c->CopyToImage(src.data(), kW, {0, 0, kW, kH});
  ASSERT_TRUE(c->PutImage({0, 0, kW, kH}));
  c->Sync();
  auto shown = Grab(c->WindowId(), kW, kH);
  ASSERT_EQ(shown.size(), src.size());
  int bad = 0;
  for (size_t i = 0; i < src.size(); ++i) bad += shown[i] != (src[i] & 0xffffff);
  EXPECT_EQ(bad, 0);

  // A partial put changes only its rectangle, also one reaching past the edges.
  struct Patch
  {
    XRectI r;
    uint32_t colour;
  };
  const Patch patches[] = {{{10, 20, 21, 21}, 0x123456}, {{-5, 560, 30, 40}, 0xfedcba}, {{290, -3, 40, 9}, 0x00ff00}};
  std::vector<uint32_t> expect = shown;
  for (const Patch& p : patches)
  {
    // The source differs from the screen everywhere: only the patch may show.
    std::vector<uint32_t> next((size_t)kW * kH, 0xffffff);
    const XRectI clip = p.r.Clip(kW, kH);
    for (int y = clip.y; y < clip.y + clip.h; ++y)
      for (int x = clip.x; x < clip.x + clip.w; ++x)
      {
        next[(size_t)y * kW + x] = p.colour;
        expect[(size_t)y * kW + x] = p.colour;
      }
    c->Sync();  // the completion of the previous put has arrived
    ASSERT_FALSE(c->ImageBusy());
    c->CopyToImage(next.data(), kW, p.r);
    c->PutImage(p.r);
  }
  c->Sync();
  shown = Grab(c->WindowId(), kW, kH);
  bad = 0;
  for (size_t i = 0; i < expect.size(); ++i) bad += shown[i] != expect[i];
  EXPECT_EQ(bad, 0);
}

TEST_P(XConnectionTest, PointerEventsArriveInWindowPixels)
{
  auto c = Open();
  ASSERT_TRUE(c);
  c->Sync();
  int ox = 0, oy = 0;
  ASSERT_TRUE(c->WindowOrigin(&ox, &oy));
  std::vector<Event> sink;
  c->Drain(&sink);  // exposure, mapping

  // A run of motion collapses into one event at the last position.
  for (int i = 0; i < 10; ++i) XTestFakeMotionEvent(mHost, -1, ox + 20 + i, oy + 30 + 2 * i, 0);
  XSync(mHost, False);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  auto ev = DrainUntil(c.get(), [](const std::vector<Event>& e) { return !OfKind(e, EventKind::kMotion).empty(); });
  auto motion = OfKind(ev, EventKind::kMotion);
  ASSERT_EQ(motion.size(), 1u);
  EXPECT_EQ(motion[0].x, 29);
  EXPECT_EQ(motion[0].y, 48);

  struct Press
  {
    int button;
    KeySym modifier;  // held during the press, 0 for none
    unsigned mods;
  };
  const Press presses[] = {
    {1, 0, 0},
    {3, 0, 0},
    {1, XK_Shift_L, ixwin::kModShift},
    {1, XK_Control_L, ixwin::kModControl},
    {1, XK_Alt_L, ixwin::kModAlt},
    {4, 0, 0},
    {5, 0, 0},
  };
  for (const Press& p : presses)
  {
    XTestFakeMotionEvent(mHost, -1, ox + 100, oy + 200, 0);
    const KeyCode kc = p.modifier ? XKeysymToKeycode(mHost, p.modifier) : 0;
    if (kc) XTestFakeKeyEvent(mHost, kc, True, 0);
    XTestFakeButtonEvent(mHost, (unsigned)p.button, True, 0);
    XTestFakeButtonEvent(mHost, (unsigned)p.button, False, 0);
    if (kc) XTestFakeKeyEvent(mHost, kc, False, 0);
    XSync(mHost, False);
    ev = DrainUntil(c.get(), [](const std::vector<Event>& e) { return !OfKind(e, EventKind::kButtonUp).empty(); });
    auto down = OfKind(ev, EventKind::kButtonDown);
    auto up = OfKind(ev, EventKind::kButtonUp);
    ASSERT_EQ(down.size(), 1u) << "button " << p.button;
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(down[0].button, p.button);
    EXPECT_EQ(down[0].x, 100);
    EXPECT_EQ(down[0].y, 200);
    EXPECT_EQ(down[0].mods & (ixwin::kModShift | ixwin::kModControl | ixwin::kModAlt | ixwin::kModSuper), p.mods);
    EXPECT_FALSE(down[0].synthetic);
    EXPECT_LE(down[0].time, up[0].time);
  }
}

TEST_P(XConnectionTest, KeysArriveAsNamedKeysOrText)
{
  auto c = Open();
  ASSERT_TRUE(c);
  c->Sync();
  std::vector<Event> sink;
  c->Drain(&sink);
  // Keys as a host forwards them: synthetic events into our window, with the
  // modifier state given (Mod2 is Num Lock on the default keymap).
  struct Key
  {
    KeySym keysym;
    unsigned state;
    int key;
    const char* text;
    bool keypad;
  };
  const Key keys[] = {
    {XK_a, 0, IHostKey::kNone, "a", false},
    {XK_a, ShiftMask, IHostKey::kNone, "A", false},
    {XK_7, 0, IHostKey::kNone, "7", false},
    {XK_Left, 0, IHostKey::kLeft, "", false},
    {XK_Up, 0, IHostKey::kUp, "", false},
    {XK_space, 0, IHostKey::kSpace, " ", false},
    {XK_BackSpace, 0, IHostKey::kBackspace, "", false},
    {XK_Return, 0, IHostKey::kReturn, "", false},
    {XK_Escape, 0, IHostKey::kEscape, "", false},
    {XK_KP_Enter, 0, IHostKey::kReturn, "", true},
    {XK_KP_7, Mod2Mask, IHostKey::kNone, "7", true},
    {XK_KP_7, 0, IHostKey::kHome, "", true},
    {XK_KP_Decimal, Mod2Mask, IHostKey::kNone, ".", true},
    {XK_KP_Subtract, 0, IHostKey::kNone, "-", true},
    {XK_F5, 0, IHostKey::kOther, "", false},
  };
  for (const Key& k : keys)
  {
    XEvent xe;
    memset(&xe, 0, sizeof(xe));
    xe.xkey.type = KeyPress;
    xe.xkey.display = mHost;
    xe.xkey.window = c->WindowId();
    xe.xkey.root = DefaultRootWindow(mHost);
    xe.xkey.keycode = XKeysymToKeycode(mHost, k.keysym);
    xe.xkey.state = k.state;
    xe.xkey.same_screen = True;
    xe.xkey.x = 12;
    xe.xkey.y = 34;
    ASSERT_NE(xe.xkey.keycode, 0) << XKeysymToString(k.keysym);
    XSendEvent(mHost, c->WindowId(), False, KeyPressMask, &xe);
    XSync(mHost, False);
    auto ev = DrainUntil(c.get(), [](const std::vector<Event>& e) { return !OfKind(e, EventKind::kKeyDown).empty(); });
    auto down = OfKind(ev, EventKind::kKeyDown);
    ASSERT_EQ(down.size(), 1u) << XKeysymToString(k.keysym);
    EXPECT_EQ(down[0].key, k.key) << XKeysymToString(k.keysym);
    EXPECT_STREQ(down[0].text, k.text) << XKeysymToString(k.keysym);
    EXPECT_EQ(down[0].keypad, k.keypad) << XKeysymToString(k.keysym);
    EXPECT_TRUE(down[0].synthetic);
    EXPECT_EQ(down[0].x, 12);
  }
}

TEST_P(XConnectionTest, FocusIsTakenOnlyWhenViewableAndGivenBack)
{
  auto c = Open();
  ASSERT_TRUE(c);
  c->Sync();
  XSetInputFocus(mHost, mParent, RevertToParent, CurrentTime);
  XSync(mHost, False);
  ASSERT_TRUE(c->TakeFocus());
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(mHost, &focus, &revert);
  EXPECT_EQ(focus, c->WindowId());
  c->ReturnFocus();
  XGetInputFocus(mHost, &focus, &revert);
  EXPECT_EQ(focus, mParent);

  // Not viewable: the host hid its window.
  XUnmapWindow(mHost, mParent);
  XSync(mHost, False);
  EXPECT_FALSE(c->Viewable());
  EXPECT_FALSE(c->TakeFocus());
  XMapWindow(mHost, mParent);
  XSync(mHost, False);
}

TEST_P(XConnectionTest, PopupsAreOverrideRedirectAndSeeClicksOutside)
{
  auto c = Open();
  ASSERT_TRUE(c);
  const int id = c->CreatePopup(50, 60, 120, 80, true);
  ASSERT_GT(id, 0);
  XSync(mHost, False);
  std::vector<uint32_t> px(120 * 80, 0x336699);
  EXPECT_TRUE(c->PutPixels(id, px.data(), 120, {0, 0, 120, 80}));
  c->Sync();
  std::vector<Event> sink;
  c->Drain(&sink);
  // A click far outside the popup still reaches it (the grab), in its coordinates.
  XTestFakeMotionEvent(mHost, -1, 600, 500, 0);
  XTestFakeButtonEvent(mHost, 1, True, 0);
  XTestFakeButtonEvent(mHost, 1, False, 0);
  XSync(mHost, False);
  auto ev = DrainUntil(c.get(), [](const std::vector<Event>& e) { return !OfKind(e, EventKind::kButtonUp).empty(); });
  auto down = OfKind(ev, EventKind::kButtonDown);
  ASSERT_EQ(down.size(), 1u);
  EXPECT_EQ(down[0].window, id);
  EXPECT_EQ(down[0].x, 550);
  EXPECT_EQ(down[0].y, 440);
  c->DestroyPopup(id);
  c->Sync();
  // The grab went with it: the host can grab again.
  EXPECT_EQ(XGrabPointer(mHost, mParent, False, ButtonPressMask, GrabModeAsync, GrabModeAsync, None, None,
                         CurrentTime),
            GrabSuccess);
  XUngrabPointer(mHost, CurrentTime);
  EXPECT_FALSE(c->PutPixels(id, px.data(), 120, {0, 0, 120, 80})) << "a destroyed popup takes no pixels";
}

TEST_P(XConnectionTest, ClipboardTextFromAnotherClient)
{
  auto c = Open();
  ASSERT_TRUE(c);
  std::string text;
  EXPECT_FALSE(c->ClipboardText(&text, 200)) << "nobody owns the clipboard";

  // An owner that answers UTF8_STRING requests until told to stop.
  std::atomic<bool> stop{false};
  std::atomic<bool> owning{false};
  std::thread owner([&] {
    Display* d = XOpenDisplay(mServer->Name().c_str());
    Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    const Atom clipboard = XInternAtom(d, "CLIPBOARD", False);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    XSetSelectionOwner(d, clipboard, w, CurrentTime);
    XSync(d, False);
    owning = true;
    const char kText[] = "-12.5 dB";
    while (!stop)
    {
      while (XPending(d))
      {
        XEvent xe;
        XNextEvent(d, &xe);
        if (xe.type != SelectionRequest) continue;
        XSelectionEvent reply;
        memset(&reply, 0, sizeof(reply));
        reply.type = SelectionNotify;
        reply.requestor = xe.xselectionrequest.requestor;
        reply.selection = xe.xselectionrequest.selection;
        reply.target = xe.xselectionrequest.target;
        reply.time = xe.xselectionrequest.time;
        reply.property = None;
        if (xe.xselectionrequest.target == utf8)
        {
          XChangeProperty(d, reply.requestor, xe.xselectionrequest.property, utf8, 8, PropModeReplace,
                          reinterpret_cast<const unsigned char*>(kText), (int)strlen(kText));
          reply.property = xe.xselectionrequest.property;
        }
        XSendEvent(d, reply.requestor, False, 0, reinterpret_cast<XEvent*>(&reply));
        XFlush(d);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    XDestroyWindow(d, w);
    XCloseDisplay(d);
  });
  while (!owning) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(c->ClipboardText(&text, 1000));
  EXPECT_EQ(text, "-12.5 dB");
  stop = true;
  owner.join();
}

TEST_P(XConnectionTest, TeardownLeavesNoWindowDescriptorOrSegment)
{
  // Segments this process created that still exist (other processes make
  // their own meanwhile).
  auto shmSegments = [] {
    int n = 0;
    if (FILE* f = fopen("/proc/sysvipc/shm", "r"))
    {
      char line[512];
      while (fgets(line, sizeof(line), f))
      {
        long key = 0, id = 0, perms = 0, size = 0, cpid = 0;
        if (sscanf(line, "%ld %ld %ld %ld %ld", &key, &id, &perms, &size, &cpid) == 5 && cpid == (long)getpid()) ++n;
      }
      fclose(f);
    }
    return n;
  };
  const int fds = x11test::CountFds();
  const int segments = shmSegments();
  for (int i = 0; i < 20; ++i)
  {
    auto c = Open();
    ASSERT_TRUE(c);
    c->CopyToImage(std::vector<uint32_t>((size_t)kW * kH, 0x808080).data(), kW, {0, 0, kW, kH});
    c->PutImage({0, 0, kW, kH});
    const int id = c->CreatePopup(0, 0, 10, 10, false);
    EXPECT_GT(id, 0);
    // Leaving the popup open: the destructor takes it down too.
  }
  XSync(mHost, False);
  EXPECT_TRUE(x11test::Children(mHost, mParent).empty());
  EXPECT_EQ(x11test::CountFds(), fds);
  EXPECT_EQ(shmSegments(), segments);
  EXPECT_EQ(segments, 0);
}

TEST_P(XConnectionTest, ParentDestroyedFirstIsSurvived)
{
  auto c = Open();
  ASSERT_TRUE(c);
  // Hosts destroy their frame before or after closing the editor; ours goes
  // with it and the late XDestroyWindow fails inside our connection only.
  XDestroyWindow(mHost, mParent);
  XSync(mHost, False);
  mParent = x11test::MakeHostWindow(mHost);
  std::vector<Event> sink;
  c->Drain(&sink);
  c->PutImage({0, 0, kW, kH});
  c->Sync();
  EXPECT_TRUE(c->Alive());
  c.reset();
}

INSTANTIATE_TEST_SUITE_P(SharedMemory, XConnectionTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "MitShm" : "PlainPut"; });

// The server goes away under an open connection: our calls return, the
// object dies quietly, and the host's IO handler is never called.
TEST(XConnectionLost, ServerKilledUnderAnOpenWindow)
{
  X11TEST_SKIP_WITHOUT_XVFB();
  PrivateX server;
  ASSERT_TRUE(server.Start(true));
  x11test::HostHandlers::Install();
  const int ioErrors = x11test::HostHandlers::IOErrors();
  Display* host = XOpenDisplay(server.Name().c_str());
  ASSERT_TRUE(host);
  Window parent = x11test::MakeHostWindow(host);
  std::string error;
  auto c = XConnection::Open(server.Name().c_str(), parent, kW, kH, &error);
  ASSERT_TRUE(c) << error;
  // The host's own connection is left alone here: it would see its own IO error.
  server.Kill();
  std::vector<Event> events;
  for (int i = 0; i < 3; ++i)
  {
    c->Wait(10);
    c->Drain(&events);
    c->PutImage({0, 0, kW, kH});
  }
  EXPECT_FALSE(c->Alive());
  EXPECT_FALSE(c->TakeFocus());
  EXPECT_EQ(c->CreatePopup(0, 0, 10, 10, true), 0);
  c.reset();
  EXPECT_EQ(x11test::HostHandlers::IOErrors(), ioErrors);
  x11test::KeepDeadConnection(host);
  (void)parent;
}

}  // namespace
