// TORVEN's editor through the real ABI under a private Xvfb: it opens in the
// host's window, clicks and drags change exactly their own parameter with the
// host told begin / automate / end, host automation redraws exactly its knob
// and is not echoed back, values set while closed show on reopening, bad
// editor calls are refused or survived, and open / close cycles leave no
// thread, descriptor or X client behind. Run with and without MIT-SHM.
#include <gtest/gtest.h>

#include "tests/x11/editor_host_p.h"

#include <X11/extensions/XRes.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <thread>

#include "WDL/lice/lice.h"

using x11test::Box;
using x11test::Call;
using x11test::CallLog;
using x11test::EditorHost;

namespace {

constexpr int kW = 300, kH = 570;

// The layout: where each control sits and which image gives its size.
struct Layout
{
  int param;
  int x, y;
  const char* image;
  int frames;
  bool knob;
};
const Layout kLayout[] = {
  {6, -2, 430, "by", 2, false},     {3, 182, 62, "GainH", 31, true}, {5, 182, 310, "GainL", 31, true},
  {4, 182, 185, "GainM", 31, true}, {0, 32, 309, "OUT", 31, true},   {1, 32, 185, "HPF", 31, true},
  {2, 34, 61, "LPF", 31, true},     {7, 0, 543, "OVER", 2, false},
};

// A control's rectangle from its image: one frame at its top-left corner.
struct Rect
{
  int L, T, R, B;
  int CX() const { return (L + R) / 2; }
  int CY() const { return (T + B) / 2; }
};
Rect ControlRect(const Layout& c)
{
  const std::string path = std::string(TORVEN_IMG_DIR) + "/" + c.image + ".png";
  std::unique_ptr<LICE_IBitmap> bm(LICE_LoadPNG(path.c_str()));
  if (!bm) return {0, 0, 0, 0};
  return {c.x, c.y, c.x + bm->getWidth(), c.y + bm->getHeight() / c.frames};
}

const Layout& Control(int param)
{
  for (const Layout& c : kLayout)
    if (c.param == param) return c;
  return kLayout[0];
}

class TorvenEditor : public ::testing::TestWithParam<bool>
{
protected:
  void SetUp() override
  {
    X11TEST_SKIP_WITHOUT_XVFB();
    mServer = x11test::UseSharedDisplay(GetParam());
    ASSERT_TRUE(mServer) << "Xvfb did not start";
    x11test::HostHandlers::Install();
    mErrors = x11test::HostHandlers::Errors();
    mLib.reset(new hosting::PlugLib(TORVEN_SO));
    ASSERT_TRUE(mLib->Ok()) << mLib->Error();
    CallLog::Get().Clear();
  }
  void TearDown() override
  {
    EXPECT_EQ(x11test::HostHandlers::Errors(), mErrors) << "an X error reached the host's handler";
  }
  std::unique_ptr<EditorHost> MakeHost(int x = 10, int y = 10)
  {
    auto h = std::make_unique<EditorHost>(*mLib, mServer->Name(), x, y);
    EXPECT_TRUE(h->Ok());
    return h;
  }

  xserver::PrivateX* mServer = nullptr;
  std::unique_ptr<hosting::PlugLib> mLib;
  int mErrors = 0;
};

TEST_P(TorvenEditor, OpensInTheHostWindowAtItsSize)
{
  auto h = MakeHost();
  EXPECT_TRUE(h->Effect()->flags & effFlagsHasEditor);
  // Asked before the first open, as hosts do, and after it.
  for (int round = 0; round < 2; ++round)
  {
    ERect* r = nullptr;
    ASSERT_EQ(h->Plug().Call(effEditGetRect, 0, 0, &r), 1);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->right - r->left, kW);
    EXPECT_EQ(r->bottom - r->top, kH);
    if (round == 0)
    {
      ASSERT_TRUE(h->Open());
    }
  }
  Window child = h->Child();
  ASSERT_NE(child, 0u);
  XWindowAttributes wa;
  ASSERT_TRUE(XGetWindowAttributes(h->GetDisplay(), child, &wa));
  EXPECT_EQ(wa.width, kW);
  EXPECT_EQ(wa.height, kH);
  // The first frame is up at once: the background, not black.
  const auto px = h->Grab(kW, kH);
  ASSERT_EQ(px.size(), (size_t)kW * kH);
  EXPECT_NE(px[(size_t)5 * kW + 150], 0u);
}

TEST_P(TorvenEditor, SwitchClicksToggleTheirParameterWithAGesture)
{
  auto h = MakeHost();
  ASSERT_TRUE(h->Open());
  h->Idle(2);
  for (int param : {6, 7})
  {
    const Rect r = ControlRect(Control(param));
    ASSERT_GT(r.R, r.L);
    for (float expect : {1.f, 0.f})
    {
      CallLog::Get().Clear();
      // Away from the window edge: the Bypass switch starts 2 pixels outside it.
      h->Click(std::max(r.CX(), 4), r.CY());
      h->Idle(3);
      EXPECT_EQ(h->Plug().GetParam(param), expect) << "param " << param;
      const auto g = CallLog::Get().Gestures(h->Effect());
      ASSERT_EQ(g.size(), 3u) << "param " << param;
      EXPECT_EQ(g[0].opcode, audioMasterBeginEdit);
      EXPECT_EQ(g[1].opcode, audioMasterAutomate);
      EXPECT_EQ(g[1].opt, expect);
      EXPECT_EQ(g[2].opcode, audioMasterEndEdit);
      for (const Call& c : g) EXPECT_EQ(c.index, param);
    }
  }
}

TEST_P(TorvenEditor, VerticalDragMovesOnlyItsKnobByTheGearing)
{
  auto h = MakeHost();
  ASSERT_TRUE(h->Open());
  for (const Layout& c : kLayout)
  {
    if (!c.knob) continue;
    const Rect r = ControlRect(c);
    for (int p = 0; p < 8; ++p) h->Plug().SetParam(p, 0.5f);
    h->Idle();
    float before[8];
    for (int p = 0; p < 8; ++p) before[p] = h->Plug().GetParam(p);
    CallLog::Get().Clear();
    // Up by half the knob's height: +0.5 / gearing 4 = +0.125.
    const int dy = (r.B - r.T) / 2;
    h->Drag(r.CX(), r.CY(), 0, -dy);
    const double expect = 0.5 + (double)dy / ((r.B - r.T) * 4.0);
    EXPECT_NEAR(h->Plug().GetParam(c.param), expect, 1e-6) << c.image;
    for (int p = 0; p < 8; ++p)
    {
      if (p == c.param) continue;
      EXPECT_EQ(h->Plug().GetParam(p), before[p]) << c.image << " moved param " << p;
    }
    const auto g = CallLog::Get().Gestures(h->Effect());
    ASSERT_GE(g.size(), 3u) << c.image;
    EXPECT_EQ(g.front().opcode, audioMasterBeginEdit);
    EXPECT_EQ(g.back().opcode, audioMasterEndEdit);
    for (const Call& call : g) EXPECT_EQ(call.index, c.param) << c.image;
    EXPECT_NEAR(g[g.size() - 2].opt, expect, 1e-6);
  }
}

TEST_P(TorvenEditor, HostAutomationRedrawsExactlyItsKnobWithoutEcho)
{
  auto h = MakeHost();
  ASSERT_TRUE(h->Open());
  h->PointerAway();
  h->IdleFor(100);
  for (const Layout& c : kLayout)
  {
    const auto before = h->Grab(kW, kH);
    CallLog::Get().Clear();
    h->Plug().SetParam(c.param, h->Plug().GetParam(c.param) > 0.5f ? 0.f : 1.f);
    h->Idle(2);
    const auto after = h->Grab(kW, kH);
    const Box box = x11test::DiffBox(before, after, kW, kH);
    const Rect r = ControlRect(c);
    EXPECT_FALSE(box.Empty()) << c.image << " did not redraw";
    EXPECT_GE(box.L, std::max(r.L, 0)) << c.image;
    EXPECT_GE(box.T, r.T) << c.image;
    EXPECT_LE(box.R, r.R) << c.image;
    EXPECT_LE(box.B, r.B) << c.image;
    EXPECT_TRUE(CallLog::Get().Gestures(h->Effect()).empty()) << "automation echoed for " << c.image;
  }
}

TEST_P(TorvenEditor, ValuesSetWhileClosedShowOnReopen)
{
  auto h = MakeHost();
  ASSERT_TRUE(h->Open());
  h->PointerAway();
  h->Close();
  EXPECT_EQ(h->Child(), 0u);
  // While closed: host automation and a preset-style chunk of values.
  h->Plug().SetParam(5, 0.1f);
  h->Plug().SetParam(6, 1.f);
  ASSERT_TRUE(h->Open());
  const auto reopened = h->Grab(kW, kH);
  // The same state reached while open must look the same.
  h->Plug().SetParam(5, 0.9f);
  h->Plug().SetParam(6, 0.f);
  h->Idle(2);
  h->Plug().SetParam(5, 0.1f);
  h->Plug().SetParam(6, 1.f);
  h->Idle(2);
  const auto live = h->Grab(kW, kH);
  const Box box = x11test::DiffBox(reopened, live, kW, kH);
  EXPECT_TRUE(box.Empty()) << "differs in " << box.L << "," << box.T << " - " << box.R << "," << box.B;
}

TEST_P(TorvenEditor, BadEditorCallsAreRefusedOrSurvived)
{
  auto h = MakeHost();
  struct Case
  {
    const char* what;
    uintptr_t parent;
    VstIntPtr expect;
  };
  const Case cases[] = {
    {"a null window", 0, 0},
    {"a window id nobody made", 0x7ffffe, 0},
    {"a window id of the root's size class", 0xffffffff, 0},
  };
  for (const Case& c : cases)
  {
    EXPECT_EQ(h->Plug().Call(effEditOpen, 0, 0, reinterpret_cast<void*>(c.parent)), c.expect) << c.what;
    EXPECT_EQ(h->Child(), 0u) << c.what;
  }
  // Idle and close without an open editor.
  h->Idle(5);
  EXPECT_EQ(h->Plug().Call(effEditClose), 1);
  EXPECT_EQ(h->Plug().Call(effEditClose), 1);
  // A second open without a close replaces the first.
  ASSERT_TRUE(h->Open());
  ASSERT_TRUE(h->Open());
  XSync(h->GetDisplay(), False);
  int viewable = 0;
  for (Window w : x11test::Children(h->GetDisplay(), h->Parent()))
  {
    XWindowAttributes wa;
    if (XGetWindowAttributes(h->GetDisplay(), w, &wa) && wa.map_state == IsViewable) ++viewable;
  }
  EXPECT_EQ(viewable, 1);
  h->Idle(3);
  // Keys the editor has no use for stay with the host.
  EXPECT_EQ(h->Plug().Call(effEditKeyDown, ' ', VKEY_SPACE, nullptr, 0.f), 0);
  EXPECT_EQ(h->Plug().Call(effEditKeyDown, 0, VKEY_BACK, nullptr, 0.f), 0);
  EXPECT_EQ(h->Plug().Call(effEditKeyUp, 'a', 0, nullptr, 0.f), 0);
  h->Close();
  h->Idle(3);
}

TEST_P(TorvenEditor, OpenCloseCyclesLeaveNothingBehind)
{
  auto h = MakeHost();
  // One cycle first: lazily made process-wide things (image cache, Xlib's
  // own state, a sanitizer's helper thread) are not leaks.
  ASSERT_TRUE(h->Open());
  h->Idle(2);
  h->Close();
  auto clients = [&] {
    int n = 0;
    XResClient* c = nullptr;
    if (!XResQueryClients(h->GetDisplay(), &n, &c)) return -1;
    XFree(c);
    return n;
  };
  // A session closed while its timer was ticking is finished by that tick:
  // its thread ends soon after the close, not at it.
  auto settled = [&](int expectThreads) {
    int n = x11test::CountThreads();
    for (int i = 0; i < 200 && n != expectThreads; ++i)
    {
      h->Idle();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      n = x11test::CountThreads();
    }
    return n;
  };
  h->IdleFor(300);
  const int threads = x11test::CountThreads();
  const int fds = x11test::CountFds();
  const int xclients = clients();
  for (int i = 0; i < 50; ++i)
  {
    ASSERT_TRUE(h->Open()) << "cycle " << i;
    h->Idle(i % 3);
    if (i % 7 == 0) h->Click(100, 100);
    // Some cycles leave the editor to our timer before closing.
    if (i % 10 == 5) std::this_thread::sleep_for(std::chrono::milliseconds(300));
    h->Close();
  }
  EXPECT_EQ(settled(threads), threads);
  EXPECT_EQ(x11test::CountFds(), fds);
  EXPECT_EQ(clients(), xclients);
  EXPECT_EQ(h->Child(), 0u);
}

TEST_P(TorvenEditor, WithoutIdleCallsTheEditorStillDrawsAndAnswers)
{
  auto h = MakeHost();
  ASSERT_TRUE(h->Open());
  // No effEditIdle at all from here on: our own timer takes over after 250 ms.
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  const Rect r = ControlRect(Control(6));
  CallLog::Get().Clear();
  h->Click(std::max(r.CX(), 4), r.CY());
  bool toggled = false;
  for (int i = 0; i < 100 && !toggled; ++i)
  {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    toggled = h->Plug().GetParam(6) == 1.f;
  }
  EXPECT_TRUE(toggled);
  h->PointerAway();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the hover readout times out
  const auto before = h->Grab(kW, kH, false);
  h->Plug().SetParam(3, h->Plug().GetParam(3) > 0.5f ? 0.f : 1.f);
  bool redrawn = false;
  for (int i = 0; i < 100 && !redrawn; ++i)
  {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    redrawn = !x11test::DiffBox(before, h->GrabNow(kW, kH), kW, kH).Empty();
  }
  EXPECT_TRUE(redrawn);
}

INSTANTIATE_TEST_SUITE_P(SharedMemory, TorvenEditor, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "MitShm" : "PlainPut"; });

// The X server dies under an open editor: the host is not ended, idle and
// close calls return, and the host's IO handler never hears of our display.
TEST(TorvenEditorLost, ServerKilledUnderAnOpenEditor)
{
  X11TEST_SKIP_WITHOUT_XVFB();
  xserver::PrivateX server;
  ASSERT_TRUE(server.Start(true));
  setenv("DISPLAY", server.Name().c_str(), 1);
  x11test::HostHandlers::Install();
  const int ioErrors = x11test::HostHandlers::IOErrors();
  hosting::PlugLib lib(TORVEN_SO);
  ASSERT_TRUE(lib.Ok());
  hosting::Plug plug(lib, x11test::LoggingHost);
  plug.Start(44100.0, 512);
  Display* host = XOpenDisplay(server.Name().c_str());
  ASSERT_TRUE(host);
  Window parent = x11test::MakeHostWindow(host);
  ASSERT_EQ(plug.Call(effEditOpen, 0, 0, reinterpret_cast<void*>((uintptr_t)parent)), 1);
  server.Kill();
  for (int i = 0; i < 5; ++i)
  {
    plug.Call(effEditIdle);
    plug.SetParam(3, 0.2f * (float)i);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // Long enough for the fallback timer to notice too.
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(plug.Call(effEditClose), 1);
  // With no display at all, an open is refused.
  setenv("DISPLAY", "", 1);
  EXPECT_EQ(plug.Call(effEditOpen, 0, 0, reinterpret_cast<void*>((uintptr_t)parent)), 0);
  plug.Close();
  EXPECT_EQ(x11test::HostHandlers::IOErrors(), ioErrors);
  x11test::KeepDeadConnection(host);
}

}  // namespace
