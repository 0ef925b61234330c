// Repaint rules: dirty tracking, the one-pass redraw delay, the strict and
// non-strict drawing rules and clipping of blits to the repainted area.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor_test_util.h"
#include "WDL/IPlug/IControl.h"
#include "WDL/lice/lice.h"

using editor_test::CallLog;
using editor_test::Editor;
using editor_test::ProbeControl;

namespace {

std::vector<std::string> Draws(const CallLog& log)
{
  std::vector<std::string> v;
  for (const std::string& c : log.mCalls)
    if (c.find(":draw") != std::string::npos) v.push_back(c.substr(0, c.find(':')));
  return v;
}

// A background and three controls: a and b overlap, c stands alone.
struct Repaint : ::testing::Test
{
  Repaint()
  {
    bg = ed.Add(new ProbeControl(&ed.mPlug, IRECT(0, 0, 300, 570), -1, "bg", &log));
    a = ed.Add(new ProbeControl(&ed.mPlug, IRECT(10, 10, 60, 60), 0, "a", &log));
    b = ed.Add(new ProbeControl(&ed.mPlug, IRECT(40, 40, 90, 90), 1, "b", &log));
    c = ed.Add(new ProbeControl(&ed.mPlug, IRECT(200, 200, 250, 250), 2, "c", &log));
    ed.Attach();
    g = ed.mGraphics;
    g->Tick();  // everything starts dirty
    log.Clear();
    g->mScreenCopies.clear();
  }

  Editor ed;
  CallLog log;
  ProbeControl *bg, *a, *b, *c;
  IGraphicsMemory* g;
};

}  // namespace

TEST_F(Repaint, EverythingIsDirtyAtFirstAndCleanAfterOnePass)
{
  Editor fresh;
  CallLog freshLog;
  fresh.Add(new ProbeControl(&fresh.mPlug, IRECT(0, 0, 300, 570), -1, "bg", &freshLog));
  fresh.Add(new ProbeControl(&fresh.mPlug, IRECT(10, 10, 60, 60), 0, "a", &freshLog));
  fresh.Attach();  // the first values become defaults and dirty nothing further
  EXPECT_EQ(fresh.mGraphics->Tick(), IRECT(0, 0, 300, 570));
  EXPECT_EQ(Draws(freshLog), (std::vector<std::string>{"bg", "a"}));
  EXPECT_EQ(fresh.mGraphics->Tick(), IRECT());
}

TEST_F(Repaint, AChangeFromThePlugInPaintsTwiceThenIsClean)
{
  g->SetParameterFromPlug(2, 0.5, true);
  EXPECT_EQ(g->Tick(), c->GetRECT());
  EXPECT_EQ(g->Tick(), c->GetRECT());  // the redraw flag keeps it one more pass
  EXPECT_EQ(g->Tick(), IRECT());
  EXPECT_EQ(Draws(log), (std::vector<std::string>{"bg", "c", "bg", "c"}));
  EXPECT_EQ(g->mScreenCopies, (std::vector<IRECT>{c->GetRECT(), c->GetRECT()}));

  log.Clear();
  g->SetParameterFromPlug(2, 0.5, true);  // the same value: nothing
  EXPECT_EQ(g->Tick(), IRECT());
}

TEST_F(Repaint, DirtyAreaIsTheUnionOfDirtyControlsHiddenOnesIncluded)
{
  IRECT r;
  EXPECT_FALSE(g->IsDirty(&r));
  EXPECT_TRUE(r.Empty());

  b->Hide(true);
  r = IRECT();
  EXPECT_TRUE(g->IsDirty(&r));
  EXPECT_EQ(r, b->GetRECT());

  a->SetDirty(false);
  r = IRECT();
  EXPECT_TRUE(g->IsDirty(&r));
  EXPECT_EQ(r, IRECT(10, 10, 90, 90));
  EXPECT_TRUE(g->IsDirty(nullptr));
}

TEST_F(Repaint, StrictRulePaintsWhatMeetsTheAreaAndCleansEverything)
{
  struct Case
  {
    IRECT area;
    std::vector<std::string> drawn;
  } cases[] = {
    {{10, 10, 60, 60}, {"bg", "a", "b"}},
    {{60, 100, 100, 120}, {"bg"}},
    // c's left edge on the area's right edge is painted; its right edge on the
    // area's left edge is not.
    {{150, 200, 200, 210}, {"bg", "c"}},
    {{250, 200, 280, 210}, {"bg"}},
    {{0, 0, 300, 570}, {"bg", "a", "b", "c"}},
  };
  for (const Case& cs : cases)
  {
    log.Clear();
    c->SetDirty(false);
    IRECT area = cs.area;
    g->Draw(&area);
    EXPECT_EQ(Draws(log), cs.drawn) << cs.area.L << "," << cs.area.T;
    EXPECT_EQ(g->GetDrawRect(), cs.area);
    EXPECT_FALSE(c->IsDirty());  // cleaned whether painted or not
  }
  // Hidden controls are not painted but cleaned.
  b->Hide(true);
  log.Clear();
  IRECT all(0, 0, 300, 570);
  g->Draw(&all);
  EXPECT_EQ(Draws(log), (std::vector<std::string>{"bg", "a", "c"}));
  EXPECT_TRUE(b->IsDirty());  // the redraw flag of Hide: one more pass
  g->Draw(&all);
  EXPECT_FALSE(b->IsDirty());
}

TEST_F(Repaint, NonStrictRulePaintsEachDirtyControlWithItsNeighbours)
{
  g->SetStrictDrawing(false);  // marks everything dirty
  EXPECT_TRUE(bg->IsDirty() && a->IsDirty() && b->IsDirty() && c->IsDirty());
  IRECT all(0, 0, 300, 570);

  // A dirty background repaints every visible control over the whole editor.
  b->Hide(true);
  log.Clear();
  g->Draw(&all);
  EXPECT_EQ(Draws(log), (std::vector<std::string>{"bg", "a", "c"}));
  EXPECT_EQ(g->GetDrawRect(), bg->GetRECT());
  EXPECT_TRUE(b->IsDirty());  // hidden: neither painted nor cleaned
  b->Hide(false);
  while (g->IsDirty(&all)) g->Draw(&all);

  // One dirty control: what lies under and over it, in list order.
  log.Clear();
  a->SetDirty(false);
  g->Draw(&all);
  EXPECT_EQ(Draws(log), (std::vector<std::string>{"bg", "a", "b"}));
  EXPECT_EQ(g->GetDrawRect(), a->GetRECT());

  // Two dirty controls: one pass each.
  log.Clear();
  a->SetDirty(false);
  c->SetDirty(false);
  g->Draw(&all);
  EXPECT_EQ(Draws(log), (std::vector<std::string>{"bg", "a", "b", "bg", "c"}));

  // A dirty hidden control is not painted, but what lies under it is.
  log.Clear();
  b->Hide(true);
  bg->SetClean();
  g->Draw(&all);
  EXPECT_EQ(Draws(log), (std::vector<std::string>{"bg", "a"}));
  EXPECT_EQ(g->mScreenCopies.back(), all);
}

TEST(RepaintEmpty, NoControlsNoScreenCopy)
{
  Editor ed;
  ed.Attach();
  IRECT r(0, 0, 10, 10);
  ed.mGraphics->Draw(&r);
  ed.mGraphics->Draw(nullptr);
  EXPECT_TRUE(ed.mGraphics->mScreenCopies.empty());
}

// A host automation change repaints one knob: the other knobs are not drawn
// and the background's blit stays inside the knob's rectangle.
TEST(RepaintPixels, HostChangeRepaintsOneKnobOnly)
{
  auto bgImage = editor_test::MakeStrip(300, 570, 1);
  auto strip = editor_test::MakeStrip(48, 62, 31);
  IBitmap bg(bgImage.get(), 300, 570, 1), knob(strip.get(), 48, 62 * 31, 31);
  Editor ed;
  ed.Add(new IBitmapControl(&ed.mPlug, 0, 0, -1, &bg, IChannelBlend::kBlendClobber));
  IControl* k0 = ed.Add(new IKnobMultiControl(&ed.mPlug, 32, 309, 0, &knob));
  IControl* k1 = ed.Add(new IKnobMultiControl(&ed.mPlug, 182, 62, 1, &knob));
  ed.Attach();
  IGraphicsMemory* g = ed.mGraphics;
  g->Tick();
  LICE_IBitmap* screen = g->GetDrawBitmap();
  EXPECT_EQ(LICE_GetPixel(screen, 50, 330), editor_test::FrameColor(1));

  // Paint sentinels over the whole surface; only the knob's area may change.
  LICE_Clear(screen, 0xFF123456);
  g->SetParameterFromPlug(0, 1.0, true);
  EXPECT_EQ(g->Tick(), k0->GetRECT());
  for (int y = 0; y < 570; y += 3)
    for (int x = 0; x < 300; x += 3)
    {
      const bool inside = k0->GetRECT().Contains(x, y);
      const unsigned int p = LICE_GetPixel(screen, x, y);
      EXPECT_EQ(p, inside ? editor_test::FrameColor(31) : 0xFF123456u) << x << "," << y;
    }
  EXPECT_FALSE(k1->IsDirty());
  EXPECT_TRUE(ed.mPlug.mEvents.empty());  // nothing echoed back
}

TEST(RepaintPixels, BlitsClipToTheDrawRectangle)
{
  auto strip = editor_test::MakeStrip(40, 40, 2);
  IBitmap bitmap(strip.get(), 40, 80, 2);
  Editor ed(100, 100);
  IControl* sw = ed.Add(new ISwitchControl(&ed.mPlug, 10, 10, 0, &bitmap, IChannelBlend::kBlendClobber));
  ed.Attach();
  IGraphicsMemory* g = ed.mGraphics;
  LICE_Clear(g->GetDrawBitmap(), 0);
  sw->SetValueFromPlug(1.0);
  IRECT area(30, 30, 35, 45);  // a part of the switch
  g->Draw(&area);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x)
      EXPECT_EQ(LICE_GetPixel(g->GetDrawBitmap(), x, y),
                area.Contains(x, y) ? editor_test::FrameColor(2) : 0u)
        << x << "," << y;
}
