// Event routing of IGraphics: hit search, capture and drag deltas, double
// clicks, the wheel, mouse-over, keys and the host gestures around them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor_test_util.h"
#include "WDL/IPlug/IControl.h"

using editor_test::CallLog;
using editor_test::Editor;
using editor_test::ProbeControl;

namespace {

// A background under two overlapping controls:
//   bg 0..300 x 0..570, a (index 1) 10..60 x 10..60 on parameter 0,
//   b (index 2) 40..90 x 40..90 on parameter 1.
struct Routing : ::testing::Test
{
  Routing()
  {
    bg = ed.Add(new ProbeControl(&ed.mPlug, IRECT(0, 0, 300, 570), -1, "bg", &log));
    a = ed.Add(new ProbeControl(&ed.mPlug, IRECT(10, 10, 60, 60), 0, "a", &log));
    b = ed.Add(new ProbeControl(&ed.mPlug, IRECT(40, 40, 90, 90), 1, "b", &log));
    ed.Attach();
    g = ed.mGraphics;
    log.Clear();
  }

  Editor ed;
  CallLog log;
  ProbeControl *bg, *a, *b;
  IGraphicsMemory* g;
  IMouseMod left{true};
};

}  // namespace

TEST_F(Routing, HitSearchTakesTheTopmostVisibleEnabledControl)
{
  struct Case
  {
    const char* setup;  // h = hide b, g = gray b, m = b takes mouse-over when grayed
    int x, y;
    int hit, moHit;
  } cases[] = {
    {"", 50, 50, 2, 2},    {"", 20, 20, 1, 1},     {"", 200, 300, 0, 0}, {"", 400, 10, -1, -1},
    {"h", 50, 50, 1, 1},   {"g", 50, 50, 1, 1},    {"gm", 50, 50, 1, 2}, {"hm", 50, 50, 1, 1},
    {"", 60, 30, 0, 0},    // right edge is outside
  };
  for (const Case& c : cases)
  {
    const std::string s = c.setup;
    b->Hide(s.find('h') != std::string::npos);
    b->GrayOut(s.find('g') != std::string::npos);
    b->SetMOWhenGrayed(s.find('m') != std::string::npos);
    EXPECT_EQ(g->GetMouseControlIdx(c.x, c.y), c.hit) << "'" << c.setup << "' " << c.x << "," << c.y;
    EXPECT_EQ(g->GetMouseControlIdx(c.x, c.y, true), c.moHit) << "'" << c.setup << "' " << c.x << "," << c.y;
  }
}

TEST_F(Routing, CaptureDragDeltasAndRelease)
{
  g->OnMouseDown(20, 20, &left);
  EXPECT_EQ(g->GetMouseCapture(), 1);
  EXPECT_EQ(g->GetMouseControlIdx(80, 80), 1);  // the capture wins while held
  g->OnMouseDrag(22, 25, &left);
  g->OnMouseDrag(22, 25, &left);  // the same point again: nothing
  g->OnMouseDrag(80, 80, &left);  // over b: still a's drag
  g->OnMouseUp(80, 80, &left);
  EXPECT_EQ(g->GetMouseCapture(), -1);
  g->OnMouseDrag(81, 81, &left);  // no capture: nowhere
  EXPECT_EQ(log.mCalls, (std::vector<std::string>{"a:down 20 20 L", "a:drag 22 25 d 2 5 L",
                                                   "a:drag 80 80 d 58 55 L", "a:up 80 80 L"}));
  EXPECT_EQ(g->GetMouseX(), -1);
}

TEST_F(Routing, PressOutsideEveryControlCapturesNothing)
{
  g->OnMouseDown(400, 10, &left);
  EXPECT_EQ(g->GetMouseCapture(), -1);
  g->OnMouseDrag(50, 50, &left);
  g->OnMouseUp(50, 50, &left);  // the release goes to the control under it
  EXPECT_EQ(log.mCalls, (std::vector<std::string>{"b:up 50 50 L"}));
}

TEST_F(Routing, DoubleClickRules)
{
  EXPECT_FALSE(g->OnMouseDblClick(20, 20, &left));
  EXPECT_EQ(g->GetMouseCapture(), -1);
  EXPECT_EQ(log.Last(), "a:dbl 20 20 L");

  a->SetDblAsSingleClick(true);
  EXPECT_TRUE(g->OnMouseDblClick(20, 20, &left));
  EXPECT_EQ(g->GetMouseCapture(), 1);
  EXPECT_EQ(log.Last(), "a:down 20 20 L");
  g->OnMouseDrag(21, 20, &left);
  EXPECT_EQ(log.Last(), "a:drag 21 20 d 1 0 L");

  EXPECT_FALSE(g->OnMouseDblClick(400, 10, &left));  // nothing there
  EXPECT_EQ(g->GetMouseCapture(), -1);
}

TEST_F(Routing, WheelGoesToTheCaptureElseUnderThePointer)
{
  IMouseMod shift(false, false, true), ctrl(false, false, false, true);
  g->OnMouseWheel(50, 50, &shift, 3);
  g->OnMouseWheel(20, 20, &ctrl, -2);
  g->OnMouseWheel(400, 10, nullptr, 1);  // nothing there
  g->OnMouseDown(20, 20, &left);
  g->OnMouseWheel(50, 50, nullptr, 1);  // captured: a, and no record means no modifiers
  EXPECT_EQ(log.mCalls, (std::vector<std::string>{"b:wheel 50 50 3 S", "a:wheel 20 20 -2 C", "a:down 20 20 L",
                                                   "a:wheel 50 50 1"}));
}

TEST_F(Routing, MouseOverAndOut)
{
  EXPECT_FALSE(g->OnMouseOver(20, 20, nullptr));  // off by default
  EXPECT_TRUE(log.mCalls.empty());

  g->HandleMouseOver(true);
  EXPECT_TRUE(g->OnMouseOver(20, 20, nullptr));
  EXPECT_EQ(g->GetMouseOver(), 1);
  EXPECT_TRUE(g->OnMouseOver(21, 20, nullptr));  // the same control: no out
  EXPECT_TRUE(g->OnMouseOver(50, 50, nullptr));  // into b: a is left
  EXPECT_EQ(g->GetMouseOver(), 2);
  EXPECT_TRUE(g->OnMouseOver(400, 10, nullptr));  // nothing there: no change at all
  EXPECT_EQ(g->GetMouseOver(), 2);
  EXPECT_EQ(g->GetMouseX(), 50);

  b->GrayOut(true);
  EXPECT_TRUE(g->OnMouseOver(50, 50, nullptr));  // grayed b is skipped
  EXPECT_EQ(g->GetMouseOver(), 1);
  b->SetMOWhenGrayed(true);
  EXPECT_TRUE(g->OnMouseOver(50, 50, nullptr));
  EXPECT_EQ(g->GetMouseOver(), 2);

  log.Clear();
  g->OnMouseOut();
  EXPECT_EQ(log.mCalls, (std::vector<std::string>{"bg:out", "a:out", "b:out"}));
  EXPECT_EQ(g->GetMouseOver(), -1);
}

TEST_F(Routing, MouseOverFollowsTheCapture)
{
  g->HandleMouseOver(true);
  g->OnMouseDown(20, 20, &left);
  log.Clear();
  g->OnMouseOver(80, 80, nullptr);
  EXPECT_EQ(log.mCalls, (std::vector<std::string>{"a:over 80 80"}));
}

TEST_F(Routing, KeysReachTheControlThenTheKeyCatcher)
{
  CallLog catcherLog;
  ProbeControl* catcher = new ProbeControl(&ed.mPlug, IRECT(), -1, "catcher", &catcherLog);
  catcher->mKeyResult = false;

  struct Case
  {
    int x, y;
    bool capture;  // press on (x, y) first
    bool haveCatcher;
    const char* receiver;
    bool result;
  } cases[] = {
    {20, 20, false, false, "a", true},        {200, 300, false, false, "", false},
    {400, 10, false, false, "", false},       {200, 300, false, true, "catcher", false},
    {400, 10, false, true, "catcher", false}, {200, 300, true, true, "catcher", false},
  };
  for (const Case& c : cases)
  {
    log.Clear();
    catcherLog.Clear();
    if (c.haveCatcher && !g->GetKeyCatcher()) g->AttachKeyCatcher(catcher);
    if (c.capture) g->OnMouseDown(c.x, c.y, &left);
    log.Clear();
    EXPECT_EQ(g->OnKeyDown(c.x, c.y, 7), c.result) << c.x << "," << c.y;
    const std::string got = !log.mCalls.empty() ? log.Last() : catcherLog.Last();
    EXPECT_EQ(got.empty() ? "" : got.substr(0, got.find(':')), c.receiver) << c.x << "," << c.y;
    g->OnMouseUp(c.x, c.y, &left);
  }
  // A capture on a control sends it the key wherever the pointer is.
  g->OnMouseDown(20, 20, &left);
  log.Clear();
  catcherLog.Clear();
  a->mKeyResult = false;
  EXPECT_FALSE(g->OnKeyDown(200, 300, 15));
  EXPECT_EQ(log.mCalls, (std::vector<std::string>{"a:key 200 300 15"}));
  EXPECT_TRUE(catcherLog.mCalls.empty());
}

TEST_F(Routing, ReplacingTheKeyCatcherDeletesTheOldOne)
{
  struct Counted : ProbeControl
  {
    Counted(CallLog* pLog, int* pDeleted) : ProbeControl(nullptr, IRECT(), -1, "k", pLog), mDeleted(pDeleted) {}
    ~Counted() override { ++*mDeleted; }
    int* mDeleted;
  };
  int deleted = 0;
  Counted* first = new Counted(&log, &deleted);
  g->AttachKeyCatcher(first);
  g->AttachKeyCatcher(first);  // the same one again stays
  EXPECT_EQ(deleted, 0);
  g->AttachKeyCatcher(new Counted(&log, &deleted));
  EXPECT_EQ(deleted, 1);
  g->AttachKeyCatcher(nullptr);
  EXPECT_EQ(deleted, 2);
}

TEST_F(Routing, AutomationParameterUnderThePointer)
{
  EXPECT_EQ(g->GetParamIdxForPTAutomation(50, 50), 1);
  EXPECT_EQ(g->GetLastClickedParamForPTAutomation(), 1);
  EXPECT_EQ(g->GetLastClickedParamForPTAutomation(), -1);  // read once
  EXPECT_EQ(g->GetParamIdxForPTAutomation(200, 300), -1);  // the background
  EXPECT_EQ(g->GetParamIdxForPTAutomation(400, 10), -1);
  g->OnMouseDown(20, 20, &left);
  EXPECT_EQ(g->GetParamIdxForPTAutomation(50, 50), 0);  // the capture
}

TEST_F(Routing, IdleReachesEveryControl)
{
  g->OnGUIIdle();
  EXPECT_EQ(log.mCalls, (std::vector<std::string>{"bg:idle", "a:idle", "b:idle"}));
}

// ---------------------------------------------------------------------------
// Host gestures: every begin has its end, and values travel only inside them.

TEST(Gestures, PressDragReleaseOnAKnob)
{
  auto strip = editor_test::MakeStrip(48, 62, 31);
  IBitmap bitmap(strip.get(), 48, 62 * 31, 31);
  Editor ed;
  ed.Add(new IKnobMultiControl(&ed.mPlug, 10, 10, 3, &bitmap));
  ed.Attach();
  IGraphicsMemory* g = ed.mGraphics;
  IMouseMod left(true);

  g->OnMouseDown(20, 40, &left);
  g->OnMouseDrag(20, 9, &left);   // up 31 pixels: +0.125
  g->OnMouseDrag(20, -22, &left);  // another +0.125
  g->OnMouseUp(20, -22, &left);
  EXPECT_EQ(editor_test::ToString(ed.mPlug.mEvents), "B3 A3=0.125 A3=0.25 E3 ");
  EXPECT_DOUBLE_EQ(ed.mPlug.GetParam(3)->Value(), 0.25);
}

TEST(Gestures, BalancedForEveryKindOfGesture)
{
  auto strip = editor_test::MakeStrip(48, 62, 31);
  IBitmap bitmap(strip.get(), 48, 62 * 31, 31);
  IMouseMod left(true);

  struct Case
  {
    const char* name;
    bool dblAsSingle;
    void (*run)(IGraphicsMemory* g, IMouseMod* pMod);
    const char* events;
  } cases[] = {
    {"click", false, [](IGraphicsMemory* g, IMouseMod* m) { g->OnMouseDown(20, 40, m); g->OnMouseUp(20, 40, m); },
     "B0 E0 "},
    // A real double click: press, release, double click (reset), release.
    {"double click resets", false,
     [](IGraphicsMemory* g, IMouseMod* m) {
       g->OnMouseDown(20, 40, m);
       g->OnMouseDrag(20, 9, m);
       g->OnMouseUp(20, 9, m);
       g->OnMouseDblClick(20, 40, m);
       g->OnMouseUp(20, 40, m);
     },
     "B0 A0=0.125 E0 B0 A0=0 E0 "},
    {"double click as press", true,
     [](IGraphicsMemory* g, IMouseMod* m) {
       g->OnMouseDown(20, 40, m);
       g->OnMouseUp(20, 40, m);
       g->OnMouseDblClick(20, 40, m);
       g->OnMouseDrag(20, 9, m);
       g->OnMouseUp(20, 9, m);
     },
     "B0 E0 B0 A0=0.125 E0 "},
    {"wheel", false,
     [](IGraphicsMemory* g, IMouseMod*) {
       g->OnMouseWheel(20, 40, nullptr, 1);
       g->OnMouseWheel(20, 40, nullptr, 2);
     },
     "B0 A0=0.01 E0 B0 A0=0.03 E0 "},
    {"wheel while dragging", false,
     [](IGraphicsMemory* g, IMouseMod* m) {
       g->OnMouseDown(20, 40, m);
       g->OnMouseWheel(20, 40, nullptr, 1);
       g->OnMouseUp(20, 40, m);
     },
     "B0 A0=0.01 E0 "},
    {"release elsewhere", false,
     [](IGraphicsMemory* g, IMouseMod* m) {
       g->OnMouseDown(20, 40, m);
       g->ReleaseMouseCapture();  // as a host menu does
       g->OnMouseUp(250, 500, m);
     },
     "B0 E0 "},
    {"press without its release", false,
     [](IGraphicsMemory* g, IMouseMod* m) {
       g->OnMouseDown(20, 40, m);
       g->OnMouseDown(20, 40, m);
       g->OnMouseUp(20, 40, m);
     },
     "B0 E0 B0 E0 "},
    {"empty space", false,
     [](IGraphicsMemory* g, IMouseMod* m) {
       g->OnMouseDown(250, 500, m);
       g->OnMouseWheel(250, 500, m, 1);
       g->OnMouseUp(250, 500, m);
       g->OnMouseUp(20, 40, m);  // a release without its press ends nothing
     },
     ""},
  };
  for (const Case& c : cases)
  {
    Editor ed;
    IControl* knob = ed.Add(new IKnobMultiControl(&ed.mPlug, 10, 10, 0, &bitmap));
    knob->SetDblAsSingleClick(c.dblAsSingle);
    ed.Attach();
    c.run(ed.mGraphics, &left);
    EXPECT_EQ(editor_test::ToString(ed.mPlug.mEvents), c.events) << c.name;
    EXPECT_TRUE(ed.mPlug.GesturesBalanced()) << c.name;
  }
}
