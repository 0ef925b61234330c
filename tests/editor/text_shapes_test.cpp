// Text and shapes of IGraphics: the font cache's keys and size correction,
// measuring and drawing text, each shape operation against the raster call it
// stands for, and the controls that draw with them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "editor_test_util.h"
#include "WDL/IPlug/IControl.h"
#include "WDL/lice/lice.h"
#include "WDL/lice/lice_text.h"

using editor_test::Editor;

namespace {

const IColor kInk(255, 0, 0, 0);

// Text and shapes are drawn on white here.
struct Surface : editor_test::Surface
{
  explicit Surface(int w = 200, int h = 100) : editor_test::Surface(w, h, 0xFFFFFFFF) {}
};

// The box of pixels that differ from white, and the darkest grey level in it.
struct Ink
{
  IRECT box;
  int darkest = 255;
  bool any = false;
};
Ink InkOf(LICE_IBitmap* bm)
{
  Ink ink;
  int l = 1 << 30, t = 1 << 30, r = -1, b = -1;
  for (int y = 0; y < bm->getHeight(); ++y)
    for (int x = 0; x < bm->getWidth(); ++x)
    {
      const unsigned int p = LICE_GetPixel(bm, x, y) & 0xFFFFFF;
      if (p == 0xFFFFFF) continue;
      ink.any = true;
      l = std::min(l, x), t = std::min(t, y), r = std::max(r, x + 1), b = std::max(b, y + 1);
      ink.darkest = std::min(ink.darkest, (int)LICE_GETG(p));
    }
  if (ink.any) ink.box = IRECT(l, t, r, b);
  return ink;
}

}  // namespace

TEST(CacheFont, OneFontPerKeyShapedToTheRequestedSize)
{
  Surface s;
  FontStorage& cache = FontStorage::Shared();
  IText a(14, &COLOR_BLACK, "DejaVu Sans");
  IText b(14, &COLOR_RED, "DejaVu Sans", IText::kStyleNormal, IText::kAlignFar, 0, IText::kQualityAntiAliased);
  const int before = cache.Size();
  LICE_IFont* fa = s.g->CacheFont(&a);
  ASSERT_NE(fa, nullptr);
  EXPECT_EQ(a.mCached, fa);
  EXPECT_EQ(s.g->CacheFont(&b), fa);  // colour, alignment and quality are not part of the key
  EXPECT_EQ(b.mCached, fa);
  EXPECT_EQ(cache.Size(), before + 1);

  IText bold(14, &COLOR_BLACK, "DejaVu Sans", IText::kStyleBold);
  IText bigger(20, &COLOR_BLACK, "DejaVu Sans");
  IText turned(14, &COLOR_BLACK, "DejaVu Sans", IText::kStyleNormal, IText::kAlignCenter, 90);
  for (IText* t : {&bold, &bigger, &turned}) EXPECT_NE(s.g->CacheFont(t), fa);
  EXPECT_EQ(cache.Size(), before + 4);
  EXPECT_EQ(s.g->CacheFont(nullptr), nullptr);

  // The request is corrected once so that lines come out near the style's size.
  for (int size : {9, 12, 16, 24, 40})
  {
    IText t(size, &COLOR_BLACK, "DejaVu Sans Mono");
    LICE_IFont* f = s.g->CacheFont(&t);
    ASSERT_NE(f, nullptr);
    EXPECT_NEAR(f->GetLineHeight(), size, 1 + size / 12) << size;
  }
  // Sizes below 2 still make a font.
  IText tiny(0, &COLOR_BLACK, "DejaVu Sans");
  EXPECT_NE(s.g->CacheFont(&tiny), nullptr);
}

TEST(DrawIText, MeasuresByAlignmentFromTheTop)
{
  Surface s;
  IText near(12, &kInk, "DejaVu Sans", IText::kStyleNormal, IText::kAlignNear);
  IText centre = near, far = near;
  centre.mAlign = IText::kAlignCenter;
  far.mAlign = IText::kAlignFar;

  IRECT n(10, 5, 110, 25), c = n, f = n;
  ASSERT_TRUE(s.g->MeasureIText(&near, "Gain 3.5 dB", &n));
  ASSERT_TRUE(s.g->MeasureIText(&centre, "Gain 3.5 dB", &c));
  ASSERT_TRUE(s.g->MeasureIText(&far, "Gain 3.5 dB", &f));
  const int tw = n.W(), th = n.H();
  EXPECT_GT(tw, 20);
  EXPECT_GT(th, 8);
  EXPECT_EQ(n, IRECT(10, 5, 10 + tw, 5 + th));
  EXPECT_EQ(c, IRECT(60 - tw / 2, 5, 60 - tw / 2 + tw, 5 + th));  // centred on x = 60
  EXPECT_EQ(f, IRECT(110 - tw, 5, 110, 5 + th));
  EXPECT_FALSE(InkOf(s.Bits()).any);  // measuring draws nothing

  IRECT untouched(1, 2, 3, 4);
  EXPECT_TRUE(s.g->DrawIText(&near, "", &untouched, true));
  EXPECT_TRUE(s.g->DrawIText(&near, nullptr, &untouched));
  EXPECT_EQ(untouched, IRECT(1, 2, 3, 4));
  EXPECT_FALSE(s.g->DrawIText(nullptr, "x", &untouched));
}

TEST(DrawIText, DrawsAlignedFromTheTopWithTheColoursAlpha)
{
  struct Case
  {
    int align;
    int alpha;
  } cases[] = {{IText::kAlignNear, 255}, {IText::kAlignCenter, 255}, {IText::kAlignFar, 255},
               {IText::kAlignNear, 128}};
  for (const Case& k : cases)
  {
    Surface s;
    const IColor ink(k.alpha, 0, 0, 0);
    IText style(14, &ink, "DejaVu Sans", IText::kStyleNormal, k.align);
    IRECT r(20, 30, 180, 60), measured = r;
    s.g->MeasureIText(&style, "Hello", &measured);
    ASSERT_TRUE(s.g->DrawIText(&style, "Hello", &r));
    const Ink got = InkOf(s.Bits());
    ASSERT_TRUE(got.any);
    EXPECT_GE(got.box.T, 30);
    EXPECT_LE(got.box.T, 30 + 6);  // from the top: no vertical centring
    // The ink lies within the measured box, give or take the glyphs' side bearings.
    EXPECT_NEAR(got.box.L, measured.L, 3) << k.align;
    EXPECT_NEAR(got.box.R, measured.R, 3) << k.align;
    if (k.alpha == 255) EXPECT_LT(got.darkest, 40);
    else EXPECT_GT(got.darkest, 100);  // half the ink through the colour's alpha
  }
}

TEST(TextControls, DrawTheirStrings)
{
  Editor ed(200, 100, 8, 8);
  ed.mPlug.GetParam(0)->InitDouble("Gain", 3.5, -12.0, 12.0, 0.1, "dB");
  IText style(12, &kInk, "DejaVu Sans");
  ed.Add(new IPanelControl(&ed.mPlug, IRECT(0, 0, 200, 100), &COLOR_WHITE));
  ed.Add(new ITextControl(&ed.mPlug, IRECT(0, 0, 200, 40), &style, "Label"));
  ed.Add(new ICaptionControl(&ed.mPlug, IRECT(0, 50, 200, 90), 0, &style));
  ed.Add(new ITextControl(&ed.mPlug, IRECT(0, 90, 200, 100), &style, ""));
  ed.Attach();
  ed.mGraphics->Tick();
  LICE_MemBitmap top(200, 40), bottom(200, 40);
  LICE_Blit(&top, ed.mGraphics->GetDrawBitmap(), 0, 0, 0, 0, 200, 40, 1.0f, LICE_MODE_COPY);
  LICE_Blit(&bottom, ed.mGraphics->GetDrawBitmap(), 0, 0, 0, 50, 200, 40, 1.0f, LICE_MODE_COPY);
  const Ink label = InkOf(&top), caption = InkOf(&bottom);
  EXPECT_TRUE(label.any);
  EXPECT_TRUE(caption.any);
  // "3.5 dB" is wider than "Label".
  EXPECT_GT(caption.box.W(), label.box.W());
}

// Each shape operation draws exactly what its raster call draws.
TEST(Shapes, EachOperationIsItsRasterCall)
{
  const IChannelBlend half(IChannelBlend::kBlendNone, 0.5f), add(IChannelBlend::kBlendAdd, 1.0f);
  const IColor c(200, 30, 140, 220);
  const LICE_pixel px = IColorToPixel(c);
  int xs[] = {10, 60, 40}, ys[] = {10, 20, 70};
  struct Case
  {
    const char* name;
    std::function<void(IGraphics*)> ours;
    std::function<void(LICE_IBitmap*)> reference;
  } cases[] = {
    {"DrawLine", [&](IGraphics* g) { g->DrawLine(&c, 3.7f, 4.2f, 90.9f, 60.1f, &half, true); },
     [&](LICE_IBitmap* b) { LICE_Line(b, 3, 4, 90, 60, px, 0.5f, 0x10000, true); }},
    {"DrawArc", [&](IGraphics* g) { g->DrawArc(&c, 50.5f, 40.f, 20.f, -1.f, 2.f, &add, true); },
     [&](LICE_IBitmap* b) { LICE_Arc(b, 50.5f, 40.f, 20.f, -1.f, 2.f, px, 1.f, 0x10001, true); }},
    {"DrawCircle", [&](IGraphics* g) { g->DrawCircle(&c, 50.f, 40.f, 25.f, nullptr, false); },
     [&](LICE_IBitmap* b) { LICE_Circle(b, 50.f, 40.f, 25.f, px, 1.f, 0x10000, false); }},
    {"RoundRect", [&](IGraphics* g) { IRECT r(5, 6, 80, 70); g->RoundRect(&c, &r, &half, 7, true); },
     [&](LICE_IBitmap* b) { LICE_RoundRect(b, 5.f, 6.f, 75.f, 64.f, 7, px, 0.5f, 0x10000, true); }},
    {"FillRoundRect",
     [&](IGraphics* g) { IRECT r(5, 6, 80, 70); g->FillRoundRect(&c, &r, nullptr, 9, true); },
     [&](LICE_IBitmap* b) {
       LICE_FillRect(b, 14, 6, 57, 64, px, 1.f, 0x10000);
       LICE_FillRect(b, 5, 15, 9, 46, px, 1.f, 0x10000);
       LICE_FillRect(b, 71, 15, 9, 46, px, 1.f, 0x10000);
       LICE_FillCircle(b, 14.f, 15.f, 9.f, px, 1.f, 0x10000, true);
       LICE_FillCircle(b, 70.f, 60.f, 9.f, px, 1.f, 0x10000, true);
       LICE_FillCircle(b, 70.f, 15.f, 9.f, px, 1.f, 0x10000, true);
       LICE_FillCircle(b, 14.f, 60.f, 9.f, px, 1.f, 0x10000, true);
     }},
    {"FillCircle", [&](IGraphics* g) { g->FillCircle(&c, 40, 40, 12.5f, &add, true); },
     [&](LICE_IBitmap* b) { LICE_FillCircle(b, 40.f, 40.f, 12.5f, px, 1.f, 0x10001, true); }},
    {"FillTriangle", [&](IGraphics* g) { g->FillTriangle(&c, 10, 10, 60, 20, 40, 70, &half); },
     [&](LICE_IBitmap* b) { LICE_FillTriangle(b, 10, 10, 60, 20, 40, 70, px, 0.5f, 0x10000); }},
    {"FillIConvexPolygon", [&](IGraphics* g) { g->FillIConvexPolygon(&c, xs, ys, 3, nullptr); },
     [&](LICE_IBitmap* b) { LICE_FillConvexPolygon(b, xs, ys, 3, px, 1.f, 0x10000); }},
    {"DrawVerticalLine", [&](IGraphics* g) { g->DrawVerticalLine(&c, 12, 3, 50); },
     [&](LICE_IBitmap* b) { LICE_Line(b, 12, 3, 12, 50, px, 1.f, 0, false); }},
    {"DrawHorizontalLine", [&](IGraphics* g) { g->DrawHorizontalLine(&c, 12, 3, 50); },
     [&](LICE_IBitmap* b) { LICE_Line(b, 3, 12, 50, 12, px, 1.f, 0, false); }},
    // A position across the rectangle: trunc(W x) + L, clamped to 0..1.
    {"DrawVerticalLine at 0.3", [&](IGraphics* g) { IRECT r(10, 5, 60, 50); g->DrawVerticalLine(&c, &r, 0.3f); },
     [&](LICE_IBitmap* b) { LICE_Line(b, 25, 5, 25, 50, px, 1.f, 0, false); }},
    {"DrawVerticalLine past 1", [&](IGraphics* g) { IRECT r(10, 5, 60, 50); g->DrawVerticalLine(&c, &r, 1.7f); },
     [&](LICE_IBitmap* b) { LICE_Line(b, 60, 5, 60, 50, px, 1.f, 0, false); }},
    // Up the rectangle: B - trunc(H y).
    {"DrawHorizontalLine at 0.25",
     [&](IGraphics* g) { IRECT r(10, 10, 60, 50); g->DrawHorizontalLine(&c, &r, 0.25f); },
     [&](LICE_IBitmap* b) { LICE_Line(b, 10, 40, 60, 40, px, 1.f, 0, false); }},
    {"DrawHorizontalLine below 0",
     [&](IGraphics* g) { IRECT r(10, 10, 60, 50); g->DrawHorizontalLine(&c, &r, -2.f); },
     [&](LICE_IBitmap* b) { LICE_Line(b, 10, 50, 60, 50, px, 1.f, 0, false); }},
    {"DrawRect", [&](IGraphics* g) { IRECT r(10, 10, 60, 50); g->DrawRect(&c, &r); },
     [&](LICE_IBitmap* b) {
       LICE_Line(b, 10, 10, 60, 10, px, 1.f, 0, false);
       LICE_Line(b, 10, 50, 60, 50, px, 1.f, 0, false);
       LICE_Line(b, 10, 10, 10, 50, px, 1.f, 0, false);
       LICE_Line(b, 60, 10, 60, 50, px, 1.f, 0, false);
     }},
    {"DrawRadialLine", [&](IGraphics* g) { g->DrawRadialLine(&c, 50.f, 50.f, 0.6f, 5.f, 30.f, &half, true); },
     [&](LICE_IBitmap* b) {
       const float sn = std::sin(0.6f), cs = std::cos(0.6f);
       LICE_Line(b, (int)(50.f + 5.f * sn), (int)(50.f - 5.f * cs), (int)(50.f + 30.f * sn), (int)(50.f - 30.f * cs),
                 px, 0.5f, 0x10000, true);
     }},
  };
  for (const Case& k : cases)
  {
    Surface s(100, 100);
    LICE_MemBitmap reference(100, 100);
    LICE_Clear(s.Bits(), 0xFF204060);
    LICE_Clear(&reference, 0xFF204060);
    k.ours(s.g);
    k.reference(&reference);
    int box[4];
    EXPECT_EQ(LICE_BitmapCmp(s.Bits(), &reference, box), 0)
      << k.name << " differs in " << box[0] << "," << box[1] << " " << box[2] << "x" << box[3];
    LICE_MemBitmap blank(100, 100);
    LICE_Clear(&blank, 0xFF204060);
    EXPECT_NE(LICE_BitmapCmp(s.Bits(), &blank), 0) << k.name << " drew nothing";
  }
}

TEST(Shapes, EdgeCases)
{
  // A radial line at angle 0 from (50, 50) with radii 10 and 20 runs from (50, 40) up to (50, 30).
  Surface s(100, 100);
  s.g->DrawRadialLine(&kInk, 50.f, 50.f, 0.f, 10.f, 20.f);
  for (int y = 25; y < 45; ++y)
    EXPECT_EQ(LICE_GetPixel(s.Bits(), 50, y) & 0xFFFFFF, (y >= 30 && y <= 40) ? 0u : 0xFFFFFFu) << y;

  // A round rectangle of radius 0 is the rectangle.
  Surface r(100, 100);
  IRECT box(10, 20, 40, 35);
  r.g->FillRoundRect(&kInk, &box, nullptr, 0, false);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x)
      ASSERT_EQ(LICE_GetPixel(r.Bits(), x, y) & 0xFFFFFF, box.Contains(x, y) ? 0u : 0xFFFFFFu) << x << "," << y;

  // Null colours, rectangles and point lists draw nothing.
  Surface n(20, 20);
  IRECT any(0, 0, 10, 10);
  n.g->DrawLine(nullptr, 0, 0, 9, 9, nullptr);
  n.g->FillRoundRect(nullptr, &any, nullptr, 2, true);
  n.g->DrawRect(&kInk, nullptr);
  n.g->FillIConvexPolygon(&kInk, nullptr, nullptr, 3, nullptr);
  n.g->DrawPoint(&kInk, std::nanf(""), 3.f, nullptr);
  n.g->DrawLine(&kInk, std::nanf(""), 0.f, 10.f, 5.f, nullptr);  // no direction
  n.g->DrawRadialLine(&kInk, 5.f, 5.f, std::nanf(""), 0.f, 5.f);
  EXPECT_FALSE(InkOf(n.Bits()).any);
}

TEST(IKnobLineControl, PointsAlongItsAngle)
{
  struct Case
  {
    double value;
    int x, y;  // a pixel the line crosses
    int offX, offY;  // one it does not
  } cases[] = {
    {0.5, 50, 30, 30, 50},   // angle 0: straight up
    {0.0, 36, 64, 64, 36},   // -135 degrees: down-left
    {1.0, 64, 64, 36, 64},   // +135 degrees: down-right
  };
  for (const Case& c : cases)
  {
    Editor ed(100, 100);
    ed.Add(new IPanelControl(&ed.mPlug, IRECT(0, 0, 100, 100), &COLOR_WHITE));
    IControl* knob = ed.Add(new IKnobLineControl(&ed.mPlug, IRECT(20, 20, 80, 80), 0, &kInk));
    ed.Attach();
    knob->SetValueFromPlug(c.value);
    ed.mGraphics->Tick();
    unsigned int darkest = 255;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        darkest = std::min(darkest, LICE_GETG(LICE_GetPixel(ed.mGraphics->GetDrawBitmap(), c.x + dx, c.y + dy)));
    EXPECT_LT(darkest, 100u) << c.value;
    EXPECT_EQ(LICE_GetPixel(ed.mGraphics->GetDrawBitmap(), c.offX, c.offY) & 0xFFFFFF, 0xFFFFFFu) << c.value;
    EXPECT_EQ(knob->GetBlend()->mMethod, IChannelBlend::kBlendClobber);
  }
}
