// Glyph masks: the plain masks against a direct rasterisation, the effect and vertical masks
// against the reference steps applied to the same coverage, the cache (each code rendered
// once, the sorted extended table, precalculation), font ownership, line heights and the
// shared scratch bitmaps.
#include "support/fonts.h"
#include "support/prng.h"
#include "support/ref_text.h"

#include "WDL/lice/lice_text.h"
#include "WDL/lice/src/lice_text_p.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

using lice_text_detail::FontAccess;
using lice_text_detail::GlyphView;
using textest::TestFont;
using textest::Touch;

namespace
{
const int kSizes[] = {7, 11, 13, 16, 24, 41};

// ASCII, Latin, Greek, symbols, a code DejaVu lacks and a surrogate half.
std::vector<unsigned short> SampleCodes()
{
  std::vector<unsigned short> v;
  for (int c = 32; c < 127; ++c) v.push_back((unsigned short)c);
  for (unsigned short c : {0xc5, 0xc4, 0xd6, 0xf1, 0xe9, 0x3a9, 0x3bc, 0x3ad, 0x3b3, 0x3b1, 0x20ac, 0x2014, 0x2031,
                           0x4e2d, 0xd801})
    v.push_back(c);
  return v;
}

std::string MaskText(const unsigned char* m, int w, int h)
{
  std::string s;
  for (int y = 0; y < h; ++y, s += '\n')
    for (int x = 0; x < w; ++x) s += " .:-=+*#%@"[m[y * w + x] * 10 / 256];
  return s;
}

// The font's cached glyph equals the reference glyph, field by field and byte by byte.
::testing::AssertionResult SameGlyph(const GlyphView& g, const reftext::Glyph& r)
{
  if (r.refused) return g.rendered ? ::testing::AssertionFailure() << "rendered, reference refused"
                                   : ::testing::AssertionSuccess();
  if (!g.rendered) return ::testing::AssertionFailure() << "not rendered";
  if (g.has_glyph != r.has) return ::testing::AssertionFailure() << "has glyph " << g.has_glyph << " vs " << r.has;
  if (!r.has) return ::testing::AssertionSuccess();
  if (g.width != r.w || g.height != r.h || g.advance != r.adv || g.left_extra != r.le)
    return ::testing::AssertionFailure() << "w/h/adv/le " << g.width << "/" << g.height << "/" << g.advance << "/"
                                         << g.left_extra << " vs " << r.w << "/" << r.h << "/" << r.adv << "/"
                                         << r.le;
  if (!std::equal(r.m.begin(), r.m.end(), g.mask))
    return ::testing::AssertionFailure() << "mask\n"
                                         << MaskText(g.mask, g.width, g.height) << "reference\n"
                                         << MaskText(r.m.data(), r.w, r.h);
  return ::testing::AssertionSuccess();
}

TEST(Glyphs, PlainMasksMatchDirectRasterising)
{
  for (int px : kSizes)
    for (int quality : {DEFAULT_QUALITY, NONANTIALIASED_QUALITY})
    {
      TestFont font(px, FW_NORMAL, false, quality);
      LICE_CachedFont f;
      f.SetFromHFont(font);
      const int lh = reftext::LineHeight(font);
      ASSERT_EQ(f.GetLineHeight(), lh);
      for (unsigned short c : SampleCodes())
      {
        Touch(f, reftext::Encode(c));
        EXPECT_TRUE(SameGlyph(FontAccess::Glyph(f, c), reftext::Render(font, lh, 0, c)))
            << "size " << px << " quality " << quality << " code " << c;
      }
    }
}

// Effects and vertical layout are steps on the same coverage: each flag set against the
// reference steps, for every sample code at three sizes.
TEST(Glyphs, EffectAndVerticalMasksMatchReference)
{
  const int kFlagSets[] = {
      LICE_FONT_FLAG_FX_BLUR,
      LICE_FONT_FLAG_FX_INVERT,
      LICE_FONT_FLAG_FX_MONO,
      LICE_FONT_FLAG_FX_SHADOW,
      LICE_FONT_FLAG_FX_OUTLINE,
      LICE_FONT_FLAG_FX_SHADOW | LICE_FONT_FLAG_FX_OUTLINE,
      LICE_FONT_FLAG_FX_BLUR | LICE_FONT_FLAG_FX_MONO,
      LICE_FONT_FLAG_FX_BLUR | LICE_FONT_FLAG_FX_INVERT,
      LICE_FONT_FLAG_FX_INVERT | LICE_FONT_FLAG_FX_SHADOW,
      LICE_FONT_FLAG_VERTICAL,
      LICE_FONT_FLAG_VERTICAL | LICE_FONT_FLAG_VERTICAL_BOTTOMUP,
      LICE_FONT_FLAG_VERTICAL_BOTTOMUP, // without VERTICAL: no effect
      LICE_FONT_FLAG_VERTICAL | LICE_FONT_FLAG_FX_SHADOW,
      LICE_FONT_FLAG_VERTICAL | LICE_FONT_FLAG_VERTICAL_BOTTOMUP | LICE_FONT_FLAG_FX_OUTLINE,
      LICE_FONT_FLAG_VERTICAL | LICE_FONT_FLAG_FX_BLUR | LICE_FONT_FLAG_FX_MONO,
  };
  for (int px : {9, 16, 27})
  {
    TestFont font(px);
    const int lh = reftext::LineHeight(font);
    for (int flags : kFlagSets)
    {
      LICE_CachedFont f;
      f.SetFromHFont(font, flags);
      for (unsigned short c : SampleCodes())
      {
        Touch(f, reftext::Encode(c));
        EXPECT_TRUE(SameGlyph(FontAccess::Glyph(f, c), reftext::Render(font, lh, flags, c)))
            << "size " << px << " flags " << flags << " code " << c;
      }
    }
  }
}

// Independent of the reference steps: a vertical mask is the horizontal mask turned, and the
// metrics stay.
TEST(Glyphs, VerticalMasksAreTurnedHorizontalMasks)
{
  TestFont font(15);
  LICE_CachedFont h, down, up;
  h.SetFromHFont(font);
  down.SetFromHFont(font, LICE_FONT_FLAG_VERTICAL);
  up.SetFromHFont(font, LICE_FONT_FLAG_VERTICAL | LICE_FONT_FLAG_VERTICAL_BOTTOMUP);
  const std::string text = "Ag|y\xce\xa9\xc3\x85";
  Touch(h, text);
  Touch(down, text);
  Touch(up, text);
  for (unsigned short c : {(unsigned short)'A', (unsigned short)'g', (unsigned short)'|', (unsigned short)'y',
                           (unsigned short)0x3a9, (unsigned short)0xc5})
  {
    const GlyphView a = FontAccess::Glyph(h, c), b = FontAccess::Glyph(down, c), u = FontAccess::Glyph(up, c);
    ASSERT_TRUE(a.has_glyph && b.has_glyph && u.has_glyph) << c;
    const std::vector<unsigned char> m(a.mask, a.mask + a.width * a.height);
    EXPECT_EQ(std::vector<unsigned char>(b.mask, b.mask + b.width * b.height),
              reftext::TurnClockwise(m, a.width, a.height))
        << c;
    EXPECT_EQ(std::vector<unsigned char>(u.mask, u.mask + u.width * u.height),
              reftext::TurnCounterClockwise(m, a.width, a.height))
        << c;
    for (const GlyphView* v : {&b, &u})
    {
      EXPECT_EQ(v->width, a.height);
      EXPECT_EQ(v->height, a.width);
      EXPECT_EQ(v->advance, a.advance);
      EXPECT_EQ(v->left_extra, a.left_extra);
    }
  }
}

TEST(Glyphs, EachCodeIsRasterisedOnce)
{
  TestFont font(12);
  LICE_CachedFont f;
  f.SetFromHFont(font);
  LICE_MemBitmap bm(200, 40);
  // 'a' twice, a control character, a missing code, a surrogate half (never rasterised),
  // Greek, a zero-width space (no glyph), a four-byte sequence (a space) and line breaks.
  const std::string text = "ab\x01" "a\xe4\xb8\xad\xed\xa0\x80\xce\xa9\r\n\xe2\x80\x8b\xf0\x9f\x98\x80 ";
  const std::set<unsigned short> distinct = {'a', 'b', 1, 0x4e2d, 0x3a9, 0x200b, ' '};
  for (int round = 0; round < 3; ++round)
  {
    const long long before = lice_text_detail::RenderCount();
    RECT r = {0, 0, 200, 40};
    f.DrawText(&bm, text.c_str(), -1, &r, 0);
    r = {0, 0, 0, 0};
    f.DrawText(nullptr, text.c_str(), -1, &r, DT_CALCRECT);
    f.DrawGlyph(&bm, 'a', 3, 3, nullptr);
    f.DrawGlyph(&bm, 0x3a9, 3, 3, nullptr);
    EXPECT_EQ(lice_text_detail::RenderCount() - before, round == 0 ? (long long)distinct.size() : 0) << round;
  }
  for (unsigned short c : {(unsigned short)0xd800, (unsigned short)0x200b, (unsigned short)1})
  {
    const GlyphView s = FontAccess::Glyph(f, c);
    EXPECT_TRUE(s.rendered && !s.has_glyph) << c;
  }
  // A new font resets the cache: everything is rasterised again.
  EXPECT_GT(FontAccess::MaskStoreSize(f), 0);
  f.SetFromHFont(font);
  EXPECT_EQ(FontAccess::MaskStoreSize(f), 0);
  const long long before = lice_text_detail::RenderCount();
  Touch(f, text);
  EXPECT_EQ(lice_text_detail::RenderCount() - before, (long long)distinct.size());
}

// Codes arrive in random order: the extended table stays sorted and every code is found.
TEST(Glyphs, ExtendedTableStaysSorted)
{
  TestFont font(10);
  LICE_CachedFont f;
  f.SetFromHFont(font);
  licetest::Rng rng(0x5017);
  std::set<unsigned short> seen;
  for (int i = 0; i < 400; ++i)
  {
    const unsigned short c = (unsigned short)(rng.chance(50) ? rng.range(128, 0x5ff) : rng.range(128, 0xffff));
    seen.insert(c);
    Touch(f, reftext::Encode(c));
  }
  std::vector<unsigned short> codes(seen.size() + 8);
  const int n = FontAccess::ExtendedCodes(f, codes.data(), (int)codes.size());
  ASSERT_EQ(n, (int)seen.size());
  EXPECT_TRUE(std::equal(seen.begin(), seen.end(), codes.begin()));
  for (unsigned short c : seen) EXPECT_TRUE(FontAccess::Glyph(f, c).rendered) << c;
  EXPECT_FALSE(FontAccess::Glyph(f, 0x7ff0).present || seen.count(0x7ff0));
}

TEST(Glyphs, PrecalculationRendersLowCodesOnly)
{
  TestFont font(11);
  LICE_CachedFont f;
  const long long before = lice_text_detail::RenderCount();
  f.SetFromHFont(font, LICE_FONT_FLAG_PRECALCALL);
  EXPECT_EQ(lice_text_detail::RenderCount() - before, 127); // code 0 is the terminator: no glyph
  for (int c = 0; c < 128; ++c) EXPECT_TRUE(FontAccess::Glyph(f, (unsigned short)c).rendered) << c;
  EXPECT_TRUE(FontAccess::Glyph(f, 'W').has_glyph);

  LICE_MemBitmap bm(60, 20);
  LICE_Clear(&bm, 0);
  f.SetTextColor(0xffffffff);
  RECT r = {0, 0, 60, 20};
  const long long mid = lice_text_detail::RenderCount();
  f.DrawText(&bm, "\xc3\xa9\xce\xa9", -1, &r, 0);
  EXPECT_EQ(lice_text_detail::RenderCount(), mid);
  EXPECT_EQ(FontAccess::ExtendedCodes(f, nullptr, 0), 0);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 60; ++x) ASSERT_EQ(LICE_GetPixel(&bm, x, y), 0u);
}

// A released font record no longer selects: that is how the tests see a deletion.
bool FontAlive(HFONT font)
{
  LICE_SysBitmap bm(4, 4);
  HGDIOBJ old = SelectObject(bm.getDC(), font);
  SelectObject(bm.getDC(), old);
  return old != nullptr;
}

TEST(Glyphs, OwnedFontsAreDeletedWhenReplacedOrDestroyed)
{
  struct Case
  {
    bool owned, sameAgain;
    bool aliveAfterReplace;
    const char* what;
  };
  const Case cases[] = {
      {true, false, false, "owned font replaced by another"},
      {true, true, true, "owned font set again"},
      {false, false, true, "borrowed font replaced"},
  };
  for (const Case& c : cases)
  {
    HFONT a = CreateFont(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans");
    TestFont b(13);
    {
      LICE_CachedFont f;
      f.SetFromHFont(a, c.owned ? LICE_FONT_FLAG_OWNS_HFONT : 0);
      // the replacement is borrowed, so only a can be deleted
      f.SetFromHFont(c.sameAgain ? a : (HFONT)b, c.sameAgain && c.owned ? LICE_FONT_FLAG_OWNS_HFONT : 0);
      EXPECT_EQ(FontAlive(a), c.aliveAfterReplace) << c.what;
    }
    EXPECT_EQ(FontAlive(a), !c.owned) << c.what << ": after destruction";
    if (FontAlive(a)) DeleteObject(a);
    EXPECT_TRUE(FontAlive(b)) << c.what;
  }
}

TEST(Glyphs, LineHeightComesFromTheMetrics)
{
  LICE_CachedFont f;
  EXPECT_EQ(f.GetLineHeight(), 0);
  EXPECT_EQ(f.GetHFont(), nullptr);
  for (int px : {2, 9, 14, 33, 80})
  {
    TestFont font(px);
    f.SetFromHFont(font);
    EXPECT_EQ(f.GetLineHeight(), reftext::LineHeight(font)) << px;
    EXPECT_GT(f.GetLineHeight(), 0);
    EXPECT_EQ(f.GetHFont(), (HFONT)font);
  }
  // Without a font nothing is measured or drawn.
  f.SetFromHFont(nullptr);
  EXPECT_EQ(f.GetLineHeight(), 0);
  RECT r = {5, 5, 5, 5};
  EXPECT_EQ(f.DrawText(nullptr, "abc", -1, &r, DT_CALCRECT), 0);
  EXPECT_EQ(r.right, 5);
  EXPECT_EQ(r.bottom, 5);
}

TEST(Glyphs, ScratchBitmapsLiveAsLongAsAnyFont)
{
  ASSERT_EQ(lice_text_detail::LiveFontCount(), 0) << "a font leaked from an earlier test";
  EXPECT_FALSE(lice_text_detail::ScratchBitmapsExist());
  TestFont font(12);
  std::unique_ptr<LICE_CachedFont> a(new LICE_CachedFont), b(new LICE_CachedFont);
  EXPECT_EQ(lice_text_detail::LiveFontCount(), 2);
  a->SetFromHFont(font);
  b->SetFromHFont(font, LICE_FONT_FLAG_FORCE_NATIVE);
  LICE_MemBitmap bm(50, 20);
  RECT r = {0, 0, 50, 20};
  a->DrawText(&bm, "x", -1, &r, 0);
  b->DrawText(&bm, "x", -1, &r, 0);
  EXPECT_TRUE(lice_text_detail::ScratchBitmapsExist());
  a.reset();
  EXPECT_TRUE(lice_text_detail::ScratchBitmapsExist());
  b->DrawText(&bm, "y", -1, &r, 0);
  b.reset();
  EXPECT_EQ(lice_text_detail::LiveFontCount(), 0);
  EXPECT_FALSE(lice_text_detail::ScratchBitmapsExist());
}
} // namespace
