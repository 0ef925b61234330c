// The value records: rectangle rules, colour packing and constants, blend
// conversion, text styles, bitmap frames, the text-entry formatter and the
// resource names images are looked up by.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "WDL/IPlug/IControl.h"
#include "WDL/IPlug/IGraphics.h"
#include "WDL/IPlug/IParam.h"
#include "WDL/lice/lice.h"

TEST(IRECT, EmptinessIntersectionUnionContainment)
{
  const IRECT zero, zeroWidth(5, 5, 5, 9);
  EXPECT_TRUE(zero.Empty());
  EXPECT_FALSE(zeroWidth.Empty());

  struct Case
  {
    IRECT a, b;
    bool intersects;
    IRECT intersection, unionAB;
  } cases[] = {
    {{0, 0, 10, 10}, {5, 5, 15, 15}, true, {5, 5, 10, 10}, {0, 0, 15, 15}},
    // Touching edges: a's right edge on b's left edge counts when a is first...
    {{0, 0, 10, 10}, {10, 0, 20, 10}, true, {10, 0, 10, 10}, {0, 0, 20, 10}},
    // ...but b's right edge on a's left edge does not.
    {{10, 0, 20, 10}, {0, 0, 10, 10}, false, {}, {0, 0, 20, 10}},
    {{0, 0, 10, 10}, {0, 10, 10, 20}, true, {0, 10, 10, 10}, {0, 0, 10, 20}},
    {{0, 10, 10, 20}, {0, 0, 10, 10}, false, {}, {0, 0, 10, 20}},
    {{0, 0, 10, 10}, {20, 20, 30, 30}, false, {}, {0, 0, 30, 30}},
    {{}, {1, 1, 5, 5}, false, {}, {1, 1, 5, 5}},
    {{1, 1, 5, 5}, {}, false, {}, {1, 1, 5, 5}},
    {{-5, -5, 3, 3}, {0, 0, 300, 570}, true, {0, 0, 3, 3}, {-5, -5, 300, 570}},
  };
  for (const Case& c : cases)
  {
    EXPECT_EQ(c.a.Intersects(c.b), c.intersects) << c.a.L << "," << c.a.T << " vs " << c.b.L << "," << c.b.T;
    EXPECT_EQ(c.a.Intersect(c.b), c.intersection);
    EXPECT_EQ(c.a.Union(c.b), c.unionAB);
  }

  const IRECT r(10, 20, 30, 40);
  struct Point
  {
    int x, y;
    bool in;
  } points[] = {{10, 20, true}, {29, 39, true}, {30, 20, false}, {10, 40, false}, {9, 25, false}, {20, 19, false}};
  for (const Point& p : points) EXPECT_EQ(r.Contains(p.x, p.y), p.in) << p.x << "," << p.y;
  EXPECT_FALSE(zero.Contains(0, 0));
  EXPECT_EQ(r.MW(), 20.0f);
  EXPECT_EQ(IRECT(1, 0, 4, 3).MW(), 2.5f);
}

TEST(IColor, ConstantsAndPacking)
{
  struct Case
  {
    const IColor& color;
    unsigned int pixel;
  } cases[] = {
    {COLOR_TRANSPARENT, 0x00000000u}, {COLOR_BLACK, 0xFF000000u},  {COLOR_GRAY, 0xFF7F7F7Fu},
    {COLOR_WHITE, 0xFFFFFFFFu},       {COLOR_RED, 0xFFFF0000u},    {COLOR_GREEN, 0xFF00FF00u},
    {COLOR_BLUE, 0xFF0000FFu},        {COLOR_YELLOW, 0xFFFFFF00u}, {COLOR_ORANGE, 0xFFFF7F00u},
    {DEFAULT_TEXT_COLOR, 0xFF000000u}, {DEFAULT_TEXT_ENTRY_BGCOLOR, 0xFFFFFFFFu},
    {DEFAULT_TEXT_ENTRY_FGCOLOR, 0xFF000000u},
  };
  for (const Case& c : cases)
  {
    EXPECT_EQ(IColorToPixel(c.color), c.pixel);
    EXPECT_EQ(IColorFromPixel(c.pixel), c.color);
  }
  // Only the low 8 bits of each component count.
  EXPECT_EQ(IColorToPixel(IColor(0x1FF, 0x102, 0x203, 0x304)), 0xFF020304u);
  EXPECT_EQ(IColorToPixel(IColor(1, 2, 3, 4)), (unsigned int)LICE_RGBA(2, 3, 4, 1));
}

TEST(IChannelBlend, ModeWordsAndWeights)
{
  struct Case
  {
    int method;
    int mode;
  } cases[] = {{0, 0x10000}, {1, 0}, {2, 0x10001}, {3, 0x10002}, {4, 0x10000}, {-1, 0x10000}, {99, 0x10000}};
  for (const Case& c : cases)
  {
    const IChannelBlend blend(c.method, 0.75f);
    EXPECT_EQ(LiceBlendMode(&blend), c.mode) << c.method;
    EXPECT_EQ(LiceWeight(&blend), 0.75f) << c.method;
  }
  EXPECT_EQ(LiceBlendMode(nullptr), 0x10000);
  EXPECT_EQ(LiceWeight(nullptr), 1.0f);
  EXPECT_EQ(IChannelBlend().mWeight, 1.0f);
}

TEST(IText, DefaultsAndBoundedFontName)
{
  const IText t;
  EXPECT_STREQ(t.mFont, "Monaco");
  EXPECT_EQ(t.mSize, 10);
  EXPECT_EQ(t.mColor, COLOR_BLACK);
  EXPECT_EQ(t.mTextEntryBGColor, COLOR_WHITE);
  EXPECT_EQ(t.mTextEntryFGColor, COLOR_BLACK);
  EXPECT_EQ(t.mStyle, IText::kStyleNormal);
  EXPECT_EQ(t.mAlign, IText::kAlignCenter);
  EXPECT_EQ(t.mOrientation, 0);
  EXPECT_EQ(t.mQuality, IText::kQualityDefault);
  EXPECT_EQ(t.mCached, nullptr);

  const std::string longName(100, 'x');
  const IText cut(12, &COLOR_RED, longName.c_str());
  EXPECT_EQ(std::string(cut.mFont), std::string(31, 'x'));
  EXPECT_EQ(cut.mColor, COLOR_RED);
}

TEST(IBitmap, FrameSizesAndCounts)
{
  struct Case
  {
    int w, h, n;
    bool horizontal;
    int frameW, frameH, frames;
  } cases[] = {
    {48, 1922, 31, false, 48, 62, 31}, {62, 31, 2, true, 31, 31, 2}, {10, 10, 1, false, 10, 10, 1},
    {10, 11, 3, false, 10, 3, 3},      // integer division
    {10, 10, 0, false, 10, 10, 1},     // no frames counts as one (no division by zero)
    {10, 10, -4, true, 10, 10, 1},
  };
  for (const Case& c : cases)
  {
    const IBitmap b(nullptr, c.w, c.h, c.n, c.horizontal);
    EXPECT_EQ(b.frameWidth(), c.frameW);
    EXPECT_EQ(b.frameHeight(), c.frameH);
    EXPECT_EQ(b.Frames(), c.frames);
  }
}

TEST(ValueToFrame, RuleAndOutOfRangeValues)
{
  struct Case
  {
    double value;
    int n;
    int frame;
  } cases[] = {
    {0.0, 31, 1},   {0.5, 31, 16},  {1.0, 31, 31},  {0.48, 31, 15}, {0.016, 31, 1}, {0.017, 31, 2},
    {0.5, 2, 2},    {0.49, 2, 1},   {1.0, 2, 2},    {0.0, 3, 1},    {0.5, 3, 2},    {0.75, 3, 3},
    {-0.5, 31, 1},  {-2.0, 31, 1},  {1.5, 31, 31},  {1e300, 31, 31}, {-1e300, 31, 1}, {0.7, 1, 1},
    {0.7, 0, 1},    {std::nan(""), 31, 1},
  };
  for (const Case& c : cases) EXPECT_EQ(FrameForValue(c.value, c.n), c.frame) << c.value << " of " << c.n;
}

TEST(ITextEntryFormatter, CharacterSetsPerTypeAndLength)
{
  IParam boolP, intP, enumP, doubleP, untyped;
  boolP.InitBool("b", false);
  intP.InitInt("i", 0, -10, 10);
  enumP.InitEnum("e", 0, 3);
  doubleP.InitDouble("d", 0.0, -10.0, 10.0, 0.1);

  struct Case
  {
    const IParam* param;
    int maxLength;
    const char* text;
    bool valid;
  } cases[] = {
    {&boolP, 7, "1", true},        {&boolP, 7, "+-0", true},      {&boolP, 7, "1.5", false},
    {&intP, 7, "-42", true},       {&intP, 7, "4a", false},       {&intP, 7, "12345678", false},
    {&intP, 7, "1234567", true},   {&enumP, 7, "2", true},        {&enumP, 7, "on", false},
    {&doubleP, 7, "-3.25", true},  {&doubleP, 7, "3,25", false},  {&doubleP, 7, "1e3", false},
    {&doubleP, 0, "123456789.5", true},  // no length limit
    {&untyped, 7, "", true},       {&untyped, 7, "1", false},     // a parameter of no type takes nothing
    {nullptr, 7, "anything at all!", true},                       // no parameter: anything
  };
  for (const Case& c : cases)
  {
    const ITextEntryFormatter f(c.param, c.maxLength);
    EXPECT_EQ(f.IsPartialStringValid(c.text), c.valid) << "'" << c.text << "'";
  }
  EXPECT_STREQ(ITextEntryFormatter(&boolP, 7).GetCharacterSet(), "0123456789-+");
  EXPECT_STREQ(ITextEntryFormatter(&intP, 7).GetCharacterSet(), "0123456789-+");
  EXPECT_STREQ(ITextEntryFormatter(&enumP, 7).GetCharacterSet(), "0123456789-+");
  EXPECT_STREQ(ITextEntryFormatter(&doubleP, 7).GetCharacterSet(), "0123456789.-+");
  EXPECT_STREQ(ITextEntryFormatter(&untyped, 7).GetCharacterSet(), "");
  EXPECT_EQ(ITextEntryFormatter(nullptr, 7).GetCharacterSet(), nullptr);
  EXPECT_EQ(ITextEntryFormatter(&intP, 7).GetMaxLength(), 7);
  EXPECT_FALSE(ITextEntryFormatter(&intP, 7).IsPartialStringValid(nullptr));
  // The maximum value, when one is set.
  EXPECT_TRUE(ITextEntryFormatter(&intP, 0, 100).IsPartialStringValid("100"));
  EXPECT_FALSE(ITextEntryFormatter(&intP, 0, 100).IsPartialStringValid("101"));
}

TEST(GetPNGResourceBaseName, ExtensionAndLastComponent)
{
  struct Case
  {
    const char* name;
    bool ok;
    const char* base;
  } cases[] = {
    {"resources/img/bg.png", true, "bg"}, {"resources/img/GainH.PNG", true, "GainH"},
    {"knob.PnG", true, "knob"},           {"a.b/c.d.png", true, "c.d"},
    {"resources/img/bg.jpg", false, ""},  {"resources/img/bg", false, ""},
    {"dir.png/file", false, ""},          {"", false, ""},
    {".png", false, ""},  // no name left
  };
  for (const Case& c : cases)
  {
    WDL_String base("junk");
    EXPECT_EQ(GetPNGResourceBaseName(c.name, &base), c.ok) << c.name;
    EXPECT_STREQ(base.Get(), c.base) << c.name;
  }
  WDL_String base;
  EXPECT_FALSE(GetPNGResourceBaseName(nullptr, &base));
  EXPECT_FALSE(GetPNGResourceBaseName("x.png", nullptr));
}
