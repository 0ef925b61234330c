// The editor host's services on TORVEN's own editor, linked in: popup menus
// and submenus chosen with the mouse and keyboard, message box buttons and
// their answers, the text field typed into through host keys and X keys
// under the formatter rules, the value readout that shows on hover and leaves
// no stale pixels, image resources, paths and URL opening.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>

#include "TORVEN/TORVEN.h"
#include "WDL/IPlug/IControl.h"
#include "WDL/IPlug/IGraphicsLinux.h"
#include "WDL/IPlug/IPopupMenu.h"
#include "WDL/lice/lice.h"
#include "tests/x11/editor_host_p.h"

#include <X11/keysym.h>

namespace {

constexpr int kW = 300, kH = 570;
// The menu's own geometry: 3 pixels of frame, rows of 20, separators of 8.
constexpr int kMenuTop = 3, kRowH = 20, kSepH = 8;

// TORVEN in this process, its editor opened into a window of the test's display.
class InProcessHost : public x11test::EditorWindowHost
{
public:
  explicit InProcessHost(const std::string& display) : EditorWindowHost(display, 10, 10)
  {
    IPlugInstanceInfo info;
    info.mVSTHostCallback = x11test::LoggingHost;
    mPlug.reset(new TORVEN(info));
    Call(effOpen);
  }
  ~InProcessHost() override
  {
    Close();
    mPlug.reset();
  }
  AEffect* Effect() override { return mPlug ? mPlug->GetAEffect() : nullptr; }
  IGraphicsLinux* GUI() { return static_cast<IGraphicsLinux*>(mPlug->GetGUI()); }
  TORVEN* Plug() { return mPlug.get(); }
  std::vector<uint32_t> Grab() { return EditorWindowHost::Grab(kW, kH); }

private:
  std::unique_ptr<TORVEN> mPlug;
};

// Mapped override-redirect windows on the root: our popups.
std::vector<XWindowAttributes> Popups(Display* d)
{
  std::vector<XWindowAttributes> out;
  XSync(d, False);
  for (Window w : x11test::Children(d, DefaultRootWindow(d)))
  {
    XWindowAttributes wa;
    if (XGetWindowAttributes(d, w, &wa) && wa.override_redirect && wa.map_state == IsViewable) out.push_back(wa);
  }
  return out;
}

// Waits for the n-th popup to be shown; false after ten seconds (a sanitizer build on a loaded
// machine can take seconds to map one).
bool WaitForPopups(Display* d, size_t n, std::vector<XWindowAttributes>* out)
{
  for (int i = 0; i < 1000; ++i)
  {
    *out = Popups(d);
    if (out->size() >= n) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

void ClickRoot(Display* d, int x, int y)
{
  XTestFakeMotionEvent(d, -1, x, y, 0);
  XSync(d, False);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  XTestFakeButtonEvent(d, 1, True, 0);
  XTestFakeButtonEvent(d, 1, False, 0);
  XSync(d, False);
}

void Key(Display* d, KeySym ks)
{
  XTestFakeKeyEvent(d, XKeysymToKeycode(d, ks), True, 0);
  XTestFakeKeyEvent(d, XKeysymToKeycode(d, ks), False, 0);
  XSync(d, False);
}

class EditorServices : public ::testing::Test
{
protected:
  void SetUp() override
  {
    X11TEST_SKIP_WITHOUT_XVFB();
    mServer = x11test::UseSharedDisplay(true);
    ASSERT_TRUE(mServer) << "Xvfb did not start";
    mHost.reset(new InProcessHost(mServer->Name()));
    ASSERT_TRUE(mHost->Open());
    mHost->Idle(2);
    // A second connection for the "user": input arrives while the editor's
    // modal loop holds the test's thread.
    mUser = XOpenDisplay(mServer->Name().c_str());
    ASSERT_TRUE(mUser);
  }
  void TearDown() override
  {
    if (mUser) XCloseDisplay(mUser);
    mHost.reset();
  }
  // Runs user() on another thread while modal() runs here. A user whose input went astray
  // must not hang the suite: after 30 s a watchdog, on a connection of its own, presses
  // Escape until the modal call returns, and the case fails.
  template <class T>
  T WhileUser(std::function<T()> modal, std::function<void()> user)
  {
    std::atomic<bool> done{false}, rescued{false};
    std::thread t(user);
    std::thread watchdog([&] {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while (!done && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (done) return;
      Display* d = XOpenDisplay(mServer->Name().c_str());
      if (!d) return;
      rescued = true;
      while (!done)
      {
        Key(d, XK_Escape);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
      }
      XCloseDisplay(d);
    });
    T r = modal();
    done = true;
    watchdog.join();
    t.join();
    EXPECT_FALSE(rescued) << "the modal call waited for input that never reached it";
    return r;
  }

  xserver::PrivateX* mServer = nullptr;
  std::unique_ptr<InProcessHost> mHost;
  Display* mUser = nullptr;
};

TEST_F(EditorServices, PopupMenusChooseByMouseAndKeyboard)
{
  // "One", "Two", "More" >, separator, "Off" (disabled); More holds A, B, C.
  IPopupMenu sub;
  sub.AddItem("A");
  sub.AddItem("B");
  sub.AddItem("C");
  auto rowCentre = [](int row, int seps = 0) { return kMenuTop + row * kRowH + seps * kSepH + kRowH / 2; };
  struct Case
  {
    const char* what;
    std::function<void(Display*)> user;
    bool fromSub;
    int index;  // -1: nothing chosen
  };
  const Case cases[] = {
    {"a click on the second row", [&](Display* d) {
       std::vector<XWindowAttributes> p;
       ASSERT_TRUE(WaitForPopups(d, 1, &p));
       ClickRoot(d, p[0].x + 30, p[0].y + rowCentre(1));
     }, false, 1},
    {"the third item of the submenu", [&](Display* d) {
       std::vector<XWindowAttributes> p;
       ASSERT_TRUE(WaitForPopups(d, 1, &p));
       XTestFakeMotionEvent(d, -1, p[0].x + 30, p[0].y + rowCentre(2), 0);
       XSync(d, False);
       ASSERT_TRUE(WaitForPopups(d, 2, &p));
       const XWindowAttributes& s = p[0].x > p[1].x ? p[0] : p[1];  // the submenu opens to the right
       ClickRoot(d, s.x + 20, s.y + rowCentre(2));
     }, true, 2},
    {"down, down, return", [&](Display* d) {
       std::vector<XWindowAttributes> p;
       ASSERT_TRUE(WaitForPopups(d, 1, &p));
       Key(d, XK_Down);
       Key(d, XK_Down);
       Key(d, XK_Return);
     }, false, 1},
    {"escape", [&](Display* d) {
       std::vector<XWindowAttributes> p;
       ASSERT_TRUE(WaitForPopups(d, 1, &p));
       Key(d, XK_Escape);
     }, false, -1},
    {"a click outside", [&](Display* d) {
       std::vector<XWindowAttributes> p;
       ASSERT_TRUE(WaitForPopups(d, 1, &p));
       ClickRoot(d, 1200, 1000);
     }, false, -1},
    {"a disabled item, then escape", [&](Display* d) {
       std::vector<XWindowAttributes> p;
       ASSERT_TRUE(WaitForPopups(d, 1, &p));
       ClickRoot(d, p[0].x + 30, p[0].y + rowCentre(3, 1));
       std::this_thread::sleep_for(std::chrono::milliseconds(100));
       ASSERT_EQ(Popups(d).size(), 1u) << "a disabled item ended the menu";
       Key(d, XK_Escape);
     }, false, -1},
  };
  for (const Case& c : cases)
  {
    IPopupMenu menu;
    menu.AddItem("One");
    menu.AddItem("Two");
    menu.AddItem("More", &sub);
    menu.AddSeparator();
    menu.AddItem("Off", -1, IPopupMenuItem::kDisabled);
    menu.SetChosenItemIdx(-1);
    sub.SetChosenItemIdx(-1);
    IRECT area(100, 100, 140, 116);
    IPopupMenu* chosen = WhileUser<IPopupMenu*>([&] { return mHost->GUI()->CreateIPopupMenu(&menu, &area); },
                                                [&] { c.user(mUser); });
    if (c.index < 0)
    {
      EXPECT_EQ(chosen, nullptr) << c.what;
      EXPECT_EQ(menu.GetChosenItemIdx(), -1) << c.what;
    }
    else
    {
      EXPECT_EQ(chosen, c.fromSub ? &sub : &menu) << c.what;
      ASSERT_TRUE(chosen) << c.what;
      EXPECT_EQ(chosen->GetChosenItemIdx(), c.index) << c.what;
    }
    EXPECT_TRUE(Popups(mUser).empty()) << c.what << ": the menu stayed";
  }
}

TEST_F(EditorServices, MessageBoxButtonsAndAnswers)
{
  // Buttons sit at the bottom right: 76 wide, 8 apart, 12 from the edges.
  auto buttonCentre = [](const XWindowAttributes& w, int i, int n, int* x, int* y) {
    const int right = w.width - 12 - (n - 1 - i) * 84;
    *x = w.x + right - 38;
    *y = w.y + w.height - 12 - 12;
  };
  struct Case
  {
    int type;
    int press;  // button index, or -1 Return, -2 Escape
    int buttons;
    int answer;
  };
  const Case cases[] = {
    {4, 0, 2, 1}, {4, 1, 2, 7}, {3, 2, 3, 2}, {3, 1, 3, 7}, {1, 1, 2, 7}, {1, -1, 2, 1}, {0, 0, 1, 1}, {0, -2, 1, 0},
  };
  for (const Case& c : cases)
  {
    const int answer = WhileUser<int>([&] { return mHost->GUI()->ShowMessageBox("Reset every band?", "TORVEN", c.type); },
                                      [&] {
                                        std::vector<XWindowAttributes> p;
                                        ASSERT_TRUE(WaitForPopups(mUser, 1, &p));
                                        if (c.press == -1) return Key(mUser, XK_Return);
                                        if (c.press == -2) return Key(mUser, XK_Escape);
                                        int x = 0, y = 0;
                                        buttonCentre(p[0], c.press, c.buttons, &x, &y);
                                        XTestFakeMotionEvent(mUser, -1, x, y, 0);
                                        ClickRoot(mUser, x, y);
                                      });
    EXPECT_EQ(answer, c.answer) << "type " << c.type << ", press " << c.press;
  }
}

TEST_F(EditorServices, TextEntryTakesKeysUnderTheFormatter)
{
  IGraphicsLinux* g = mHost->GUI();
  // The GainH knob is control 2 (after the background and the Bypass switch).
  IControl* knob = g->GetControl(2);
  ASSERT_EQ(knob->ParamIdx(), kGainH);
  IParam* param = mHost->Plug()->GetParam(kGainH);
  struct Case
  {
    const char* what;
    std::function<void()> type;
    double expect;  // the parameter's value afterwards
  };
  auto hostKey = [&](int ch, int vkey) { return mHost->Call(effEditKeyDown, ch, vkey, nullptr, 0.f); };
  const Case cases[] = {
    {"host keys, a letter refused, Enter", [&] {
       for (char ch : std::string("0.2x5")) EXPECT_EQ(hostKey(ch, 0), 1);
       EXPECT_EQ(hostKey(0, VKEY_RETURN), 1);
     }, 0.25},
    {"keypad host keys", [&] {
       hostKey(0, VKEY_NUMPAD0);
       hostKey(0, VKEY_DECIMAL);
       hostKey(0, VKEY_NUMPAD7);
       hostKey(0, VKEY_ENTER);
     }, 0.7},
    {"X keys while we hold the focus", [&] {
       Key(mUser, XK_0);
       Key(mUser, XK_period);
       Key(mUser, XK_4);
       Key(mUser, XK_Return);
     }, 0.4},
    {"Escape drops what was typed", [&] {
       hostKey('9', 0);
       hostKey(0, VKEY_ESCAPE);
     }, 0.4},
  };
  for (const Case& c : cases)
  {
    {
      IPlugBase::IMutexLock lock(mHost->Plug());
      IRECT r(180, 130, 246, 146);
      g->CreateTextEntry(knob, knob->GetText(), &r, "0.50", param);
    }
    mHost->Idle(2);
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(mUser, &focus, &revert);
    EXPECT_EQ(focus, mHost->Child()) << c.what << ": the field did not take the focus";
    c.type();
    for (int i = 0; i < 10; ++i)
    {
      mHost->Idle();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_NEAR(param->Value(), c.expect, 1e-9) << c.what;
    XGetInputFocus(mUser, &focus, &revert);
    EXPECT_NE(focus, mHost->Child()) << c.what << ": the focus was not given back";
  }
  // With no field open, keys the editor does not use stay with the host.
  EXPECT_EQ(hostKey(0, VKEY_BACK), 0);
}

TEST_F(EditorServices, ReadoutShowsOnHoverAndLeavesNothingBehind)
{
  XTestFakeMotionEvent(mUser, -1, 1200, 1000, 0);
  XSync(mUser, False);
  const auto before = mHost->Grab();
  // Hover over the GainH knob: the box shows just below it.
  const IRECT knob = mHost->GUI()->GetControl(2)->GetRECT();
  ASSERT_EQ(mHost->GUI()->GetControl(2)->ParamIdx(), kGainH);
  mHost->MoveTo((knob.L + knob.R) / 2, (knob.T + knob.B) / 2);
  for (int i = 0; i < 30; ++i)
  {
    mHost->Idle();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const auto hovered = mHost->Grab();
  const x11test::Box box = x11test::DiffBox(before, hovered, kW, kH);
  ASSERT_FALSE(box.Empty()) << "no readout";
  EXPECT_GE(box.T, knob.B) << "the readout covers its knob";
  EXPECT_LT(box.B, knob.B + 30);
  // Moving off the knob (onto the background) takes it away again, exactly.
  mHost->MoveTo(150, 5);
  for (int i = 0; i < 10; ++i)
  {
    mHost->Idle();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const auto after = mHost->Grab();
  const x11test::Box stale = x11test::DiffBox(before, after, kW, kH);
  EXPECT_TRUE(stale.Empty()) << "stale pixels in " << stale.L << "," << stale.T << " - " << stale.R << "," << stale.B;
}

TEST_F(EditorServices, ImagesPathsAndURLs)
{
  IGraphicsLinux* g = mHost->GUI();
  struct Image
  {
    const char* name;
    bool found;
  };
  const Image images[] = {
    {"resources/img/bg.png", true}, {"bg.PNG", true},   {"/elsewhere/GainH.png", true},
    {"resources/img/bg.jpg", false}, {"bg", false},     {"nothere.png", false},
    {".png", false},                 {nullptr, false},
  };
  for (const Image& i : images)
  {
    std::unique_ptr<LICE_IBitmap> bm(g->OSLoadBitmap(0, i.name));
    EXPECT_EQ(bm != nullptr, i.found) << (i.name ? i.name : "(null)");
  }
  std::unique_ptr<LICE_IBitmap> bg(g->OSLoadBitmap(101, "bg.png"));
  ASSERT_TRUE(bg);
  EXPECT_GE(bg->getWidth(), 1);

  const std::string savedHome = getenv("HOME") ? getenv("HOME") : "";
  const std::string savedPath = getenv("PATH") ? getenv("PATH") : "";
  const std::string home = std::string(::testing::TempDir()) + "/home" + std::to_string(getpid());
  mkdir(home.c_str(), 0700);
  mkdir((home + "/.config").c_str(), 0700);
  if (FILE* f = fopen((home + "/.config/user-dirs.dirs").c_str(), "w"))
  {
    fputs("# written by the test\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n", f);
    fclose(f);
  }
  setenv("HOME", home.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_DATA_HOME");
  WDL_String p;
  g->DesktopPath(&p);
  EXPECT_EQ(std::string(p.Get()), home + "/Schreibtisch");
  g->AppSupportPath(&p, true);
  EXPECT_STREQ(p.Get(), "/usr/share");
  g->AppSupportPath(&p, false);
  EXPECT_EQ(std::string(p.Get()), home + "/.local/share");
  setenv("XDG_DATA_HOME", "/data/home", 1);
  g->AppSupportPath(&p, false);
  EXPECT_STREQ(p.Get(), "/data/home");
  g->SandboxSafeAppSupportPath(&p);
  EXPECT_EQ(std::string(p.Get()), home + "/Music");
  g->HostPath(&p);
  EXPECT_NE(std::string(p.Get()).find("x11_services_tests"), std::string::npos) << p.Get();
  g->PluginPath(&p);
  EXPECT_EQ(p.Get()[strlen(p.Get()) - 1], '/');
  EXPECT_STREQ(g->GetGUIAPI(), "X11 GUI");
  EXPECT_FALSE(g->OpenURL(nullptr));
  EXPECT_FALSE(g->OpenURL(""));
  setenv("PATH", "/nonexistent", 1);
  EXPECT_FALSE(g->OpenURL("https://www.morvane.com/torven")) << "no opener, no success";
  setenv("PATH", savedPath.c_str(), 1);
  setenv("HOME", savedHome.c_str(), 1);
  unsetenv("XDG_DATA_HOME");
}

}  // namespace
