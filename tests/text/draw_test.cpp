// Text drawing: a seeded differential run of the cached path against the plain reference
// (random strings, flags, modes, alphas, rectangles and bitmaps), measuring against the ink,
// vertical text against the turned horizontal text, the native path against the GDI layer,
// and the edge cases and bad input.
// TEXT_SEED=<n> replays one seed; TEXT_SEEDS=<n> changes the number of seeds.
#include "support/fonts.h"
#include "support/guard_buffer.h"
#include "support/prng.h"
#include "support/ref_text.h"
#include "support/test_bitmap.h"

#include "WDL/lice/lice_text.h"
#include "WDL/lice/src/lice_text_p.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using licetest::Rng;
using licetest::TestBitmap;
using textest::TestFont;

namespace
{
const int kAllModes[] = {0, 1, 2, 3, 4, 5, 0x10000, 0x10001, 0x10002, 0x10003, 0x10004, 0x10005, 7};

// A bitmap that says it holds YUV data: the cached path must be used.
class YuvBitmap : public TestBitmap
{
public:
  YuvBitmap(int w, int h) : TestBitmap(w, h, w, false) {}
  int Extended(int id, void*) override { return id == 0x59555678 ? 1 : 0; }
};

std::string Picture(LICE_IBitmap* a, LICE_IBitmap* b, const std::string& tag)
{
  std::string what;
  return licetest::SamePicture(a, b, &what, tag) ? std::string() : what;
}

void CopyInto(LICE_IBitmap* dst, LICE_IBitmap* src) { licetest::CopyPicture(dst, src); }

// Pieces random strings are made of: letters, digits, marks, breaks, Latin and Greek, a code
// DejaVu lacks, control characters, a four-byte sequence, malformed and cut sequences.
const char* const kPieces[] = {"a", "W", "g", "j", "y", "Q", "0", "7", "&", "|", ".", "_", " ", " ", "\n", "\r",
                               "\r\n", "\t", "\x01", "\x7f", "\xc3\x85", "\xc3\xb1", "\xce\xa9", "\xce\xbc",
                               "\xe2\x82\xac", "\xe4\xb8\xad", "\xf0\x9f\x98\x80", "\x80", "\xc0\xaf", "\xe2\x82",
                               "\xff", "\xed\xa0\x80", "fi", "Hello", "AV"};

std::string RandomText(Rng& rng, int maxPieces)
{
  std::string s;
  const int n = rng.chance(5) ? 0 : rng.range(1, maxPieces);
  for (int i = 0; i < n; ++i) s += kPieces[rng.below((int)(sizeof(kPieces) / sizeof(kPieces[0])))];
  return s;
}

float RandomAlpha(Rng& rng)
{
  switch (rng.below(16))
  {
    case 0: return 0.5f;
    case 1: return 0.25f;
    case 2: return 0.0f;
    case 3: return -0.5f;
    case 4: return 1.7f;
    case 5:
    case 6:
    case 7: return (float)rng.frange(0.0, 1.0);
    default: return 1.0f;
  }
}

int RandomFontFlags(Rng& rng)
{
  int f = 0;
  if (rng.chance(25)) f |= LICE_FONT_FLAG_VERTICAL | (rng.chance(50) ? LICE_FONT_FLAG_VERTICAL_BOTTOMUP : 0);
  for (int bit : {LICE_FONT_FLAG_FX_BLUR, LICE_FONT_FLAG_FX_INVERT, LICE_FONT_FLAG_FX_MONO, LICE_FONT_FLAG_FX_SHADOW,
                  LICE_FONT_FLAG_FX_OUTLINE})
    if (rng.chance(12)) f |= bit;
  if (rng.chance(10)) f |= LICE_FONT_FLAG_PRECALCALL;
  return f;
}

unsigned int RandomDtFlags(Rng& rng)
{
  unsigned int f = 0;
  for (unsigned int bit : {DT_CENTER, DT_RIGHT, DT_VCENTER, DT_BOTTOM, DT_SINGLELINE, DT_NOCLIP})
    if (rng.chance(25)) f |= bit;
  if (rng.chance(20)) f |= LICE_DT_USEFGALPHA;
  if (rng.chance(10)) f |= DT_CALCRECT;
  return f;
}

// A cached font and its reference over the same font, flags and text colour.
struct FontPair
{
  LICE_CachedFont f;
  reftext::Font r;
  FontPair(HFONT font, int flags, LICE_pixel fg)
  {
    f.SetFromHFont(font, flags);
    r.Set(font, flags & ~LICE_FONT_FLAG_OWNS_HFONT);
    f.SetTextColor(fg);
    r.fg = fg;
  }
};

int SeedCount(int dflt)
{
  const char* e = std::getenv("TEXT_SEEDS");
  return e ? std::atoi(e) : dflt;
}

struct Fonts
{
  std::vector<std::unique_ptr<TestFont>> all;
  Fonts()
  {
    for (int px : {8, 10, 13, 17, 23}) all.emplace_back(new TestFont(px));
    all.emplace_back(new TestFont(12, FW_BOLD, true));
    all.emplace_back(new TestFont(12, FW_NORMAL, false, NONANTIALIASED_QUALITY));
  }
  HFONT pick(Rng& rng) const { return *all[rng.below((int)all.size())]; }
};

// One case: both fonts get the same settings and draw the same call into copies of one
// random picture; pictures, results and measured rectangles must agree exactly.
std::string RunOne(uint64_t seed, const Fonts& fonts, bool* drew = nullptr)
{
  Rng rng(seed);
  const HFONT font = fonts.pick(rng);
  const int flags = RandomFontFlags(rng);
  LICE_CachedFont f;
  reftext::Font r;
  f.SetFromHFont(font, flags);
  r.Set(font, flags);
  r.fg = rng.biasedPixel();
  r.bg = rng.biasedPixel();
  r.fx = rng.biasedPixel();
  r.bgmode = rng.chance(25) ? 1 : rng.chance(10) ? 2 : 0;
  r.mode = kAllModes[rng.below(13)];
  r.alpha = RandomAlpha(rng);
  f.SetTextColor(r.fg);
  f.SetBkColor(r.bg);
  f.SetEffectColor(r.fx);
  f.SetBkMode(r.bgmode);
  f.SetCombineMode(r.mode, r.alpha);

  const std::string text = RandomText(rng, 9);
  int count = -1;
  if (rng.chance(40)) count = rng.range(0, (int)text.size());
  const unsigned int dt = RandomDtFlags(rng);

  const int w = rng.chance(5) ? 1 : rng.range(1, 90), h = rng.chance(5) ? 1 : rng.range(1, 60);
  const int span = w + (rng.chance(50) ? 0 : rng.range(1, 5));
  const bool flipped = rng.chance(30);
  const licetest::Guard guard = rng.chance(30) ? (rng.chance(50) ? licetest::Guard::After : licetest::Guard::Before)
                                               : licetest::Guard::None;
  TestBitmap a(w, h, span, flipped, guard), b(w, h, span, flipped);
  a.fillRandom(rng);
  b.copyFrom(a);
  RECT ra;
  ra.left = rng.chance(10) ? rng.range(-40, w + 5) : rng.range(-8, w / 2);
  ra.top = rng.chance(10) ? rng.range(-40, h + 5) : rng.range(-8, h / 2);
  ra.right = ra.left + (rng.chance(10) ? rng.range(-5, 5) : rng.range(10, 120));
  ra.bottom = ra.top + (rng.chance(10) ? rng.range(-5, 5) : rng.range(10, 80));
  RECT rb = ra;

  const uint64_t before = licetest::Checksum(&b);
  const int got = f.DrawText(&a, text.c_str(), count, &ra, dt);
  const int want = r.DrawText(&b, text.c_str(), count, &rb, dt);
  if (drew) *drew = licetest::Checksum(&b) != before;
  char head[160];
  snprintf(head, sizeof(head), "seed %llu flags %d mode %#x alpha %g dt %#x count %d: ", (unsigned long long)seed,
           flags, r.mode, r.alpha, dt, count);
  if (got != want) return head + std::string("result ") + std::to_string(got) + " vs " + std::to_string(want);
  if (ra.left != rb.left || ra.top != rb.top || ra.right != rb.right || ra.bottom != rb.bottom)
    return head + std::string("rectangle differs");
  const std::string diff = Picture(&a, &b, "text_" + std::to_string(seed));
  return diff.empty() ? diff : head + diff;
}

TEST(TextDraw, RandomTextMatchesReference)
{
  Fonts fonts;
  if (const char* one = std::getenv("TEXT_SEED"))
  {
    EXPECT_EQ(RunOne(std::strtoull(one, nullptr, 0), fonts), "");
    return;
  }
  const int n = SeedCount(1500);
  int failures = 0, drawn = 0;
  for (int i = 0; i < n && failures < 5; ++i)
  {
    bool drew = false;
    const std::string e = RunOne(0x7000 + i, fonts, &drew);
    drawn += drew;
    if (!e.empty())
    {
      ADD_FAILURE() << e;
      ++failures;
    }
  }
  // The run means something only if most cases put ink somewhere.
  EXPECT_GT(drawn, n / 4) << drawn << " of " << n << " cases drew";
}

// Bounding box of the pixels that differ from the background colour.
bool InkBox(LICE_IBitmap* bm, LICE_pixel background, RECT* box)
{
  bool any = false;
  *box = {INT_MAX, INT_MAX, INT_MIN, INT_MIN};
  for (int y = 0; y < bm->getHeight(); ++y)
    for (int x = 0; x < bm->getWidth(); ++x)
      if (LICE_GetPixel(bm, x, y) != background)
      {
        any = true;
        box->left = std::min(box->left, x);
        box->top = std::min(box->top, y);
        box->right = std::max(box->right, x + 1);
        box->bottom = std::max(box->bottom, y + 1);
      }
  return any;
}

// What is measured holds what is drawn. Only ink left of a line's first pen position (a
// glyph's left extra, at most pad pixels) may lie before the start edge.
TEST(TextDraw, MeasuredRectangleHoldsTheInk)
{
  Fonts fonts;
  const int n = SeedCount(300);
  for (int i = 0; i < n; ++i)
  {
    Rng rng(0x9100 + i);
    const HFONT font = fonts.pick(rng);
    int flags = RandomFontFlags(rng) & ~LICE_FONT_FLAG_FX_INVERT; // inverted masks are all ink
    LICE_CachedFont f;
    f.SetFromHFont(font, flags);
    f.SetTextColor(0xffffffff);
    f.SetBkMode(rng.chance(30) ? 1 : 0);
    f.SetBkColor(0xff808080);
    const std::string text = RandomText(rng, 8);
    const unsigned int dt = rng.chance(50) ? DT_SINGLELINE : 0;
    RECT m = {60, 60, 60, 60};
    const int got = f.DrawText(nullptr, text.c_str(), -1, &m, dt | DT_CALCRECT);
    const bool vertical = (flags & LICE_FONT_FLAG_VERTICAL) != 0;
    EXPECT_EQ(got, vertical ? m.right - m.left : m.bottom - m.top) << i;

    LICE_MemBitmap bm(m.right + 60, m.bottom + 60);
    LICE_Clear(&bm, 0);
    RECT d = m;
    f.DrawText(&bm, text.c_str(), -1, &d, dt | DT_NOCLIP);
    RECT ink;
    if (!InkBox(&bm, 0, &ink)) continue;
    const int pad = f.GetLineHeight() < 16 ? 2 : f.GetLineHeight() / 16 + 2;
    RECT allowed = m;
    if (!vertical)
      allowed.left -= pad;
    else if (flags & LICE_FONT_FLAG_VERTICAL_BOTTOMUP)
      allowed.bottom += pad;
    else
      allowed.top -= pad;
    EXPECT_TRUE(ink.left >= allowed.left && ink.top >= allowed.top && ink.right <= allowed.right &&
                ink.bottom <= allowed.bottom)
        << "seed " << i << " flags " << flags << " text '" << text << "' ink " << ink.left << "," << ink.top << ","
        << ink.right << "," << ink.bottom << " measured " << m.left << "," << m.top << "," << m.right << ","
        << m.bottom;
  }
}

// A vertical line of text is the horizontal line turned a quarter: clockwise top-down,
// counter-clockwise bottom-up, pen for pen.
TEST(TextDraw, VerticalTextIsTurnedHorizontalText)
{
  for (int px : {11, 19})
  {
    TestFont font(px);
    const char* const texts[] = {"Vertical Ag", "j\xce\xa9y|W", "fiT.y"};
    for (const char* text : texts)
    {
      LICE_CachedFont hf, df, uf;
      hf.SetFromHFont(font);
      df.SetFromHFont(font, LICE_FONT_FLAG_VERTICAL);
      uf.SetFromHFont(font, LICE_FONT_FLAG_VERTICAL | LICE_FONT_FLAG_VERTICAL_BOTTOMUP);
      for (LICE_CachedFont* f : {&hf, &df, &uf})
      {
        f->SetTextColor(0xffffffff);
        f->SetCombineMode(LICE_MODE_ADD, 0.75f);
      }
      RECT m = {0, 0, 0, 0};
      hf.DrawText(nullptr, text, -1, &m, DT_CALCRECT);
      const int margin = 8, W = m.right + 2 * margin, H = m.bottom;
      LICE_MemBitmap hb(W, H), db(H, W), ub(H, W);
      LICE_Clear(&hb, 0);
      LICE_Clear(&db, 0);
      LICE_Clear(&ub, 0);
      RECT rh = {margin, 0, W, H}, rd = {0, margin, H, W}, ru = {0, 0, H, W - margin};
      hf.DrawText(&hb, text, -1, &rh, 0);
      df.DrawText(&db, text, -1, &rd, 0);
      uf.DrawText(&ub, text, -1, &ru, DT_BOTTOM);
      int bad = 0;
      for (int y = 0; y < H && bad < 3; ++y)
        for (int x = 0; x < W && bad < 3; ++x)
        {
          const LICE_pixel p = LICE_GetPixel(&hb, x, y);
          if (LICE_GetPixel(&db, H - 1 - y, x) != p || LICE_GetPixel(&ub, y, W - 1 - x) != p)
          {
            ++bad;
            ADD_FAILURE() << "size " << px << " '" << text << "' at " << x << "," << y;
          }
        }
    }
  }
}

// Native drawing is the GDI layer's drawing: straight into a system bitmap's context, and
// through the scratch bitmap for memory and flipped bitmaps.
TEST(TextDraw, NativePathEqualsTheGdiLayer)
{
  TestFont font(14), italic(14, FW_NORMAL, true);
  struct Case
  {
    const char* text;
    unsigned int dt;
    RECT rect;
    int bgmode;
  };
  const Case cases[] = {
      {"Native text", 0, {3, 2, 150, 40}, 0},
      {"Centred", DT_CENTER | DT_VCENTER | DT_SINGLELINE, {0, 0, 150, 40}, 0},
      {"Right, bottom", DT_RIGHT | DT_BOTTOM, {10, 5, 140, 38}, 1},
      {"Two\nlines", 0, {4, 0, 150, 40}, 0},
      {"Clipped away at the right edge of the box", 0, {20, 3, 60, 30}, 1},
      {"No clip past the edge", DT_NOCLIP, {100, 3, 110, 30}, 0},
      {"Off the top", 0, {5, -8, 150, 40}, 0},
      {"A&mp", DT_SINGLELINE, {5, 5, 150, 40}, 0},
      {"", 0, {5, 5, 150, 40}, 0},
  };
  for (HFONT fnt : {(HFONT)font, (HFONT)italic})
    for (const Case& c : cases)
    {
      LICE_CachedFont f;
      f.SetFromHFont(fnt, LICE_FONT_FLAG_FORCE_NATIVE);
      f.SetTextColor(0xff20e080);
      f.SetBkColor(0xff402010);
      f.SetBkMode(c.bgmode);
      f.SetCombineMode(LICE_MODE_ADD, 0.3f); // not used natively

      LICE_SysBitmap direct(150, 40), sys(150, 40);
      LICE_MemBitmap mem(150, 40);
      TestBitmap flipped(150, 40, 153, true);
      Rng rng(7);
      for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 150; ++x) LICE_PutPixel(&direct, x, y, rng.u32() | 0xff000000, 1.0f, 0);
      CopyInto(&sys, &direct);
      CopyInto(&mem, &direct);
      CopyInto(&flipped, &direct);

      HDC dc = direct.getDC();
      HGDIOBJ old = SelectObject(dc, fnt);
      ::SetTextColor(dc, 0x20e080);
      ::SetBkMode(dc, c.bgmode);
      ::SetBkColor(dc, 0x402010);
      RECT rd = c.rect;
      const int want = SWELL_DrawText(dc, c.text, -1, &rd, (int)c.dt | DT_NOPREFIX);
      SelectObject(dc, old);

      RECT rs = c.rect, rm = c.rect, rf = c.rect;
      EXPECT_EQ(f.DrawText(&sys, c.text, -1, &rs, c.dt), want) << c.text;
      EXPECT_EQ(Picture(&sys, &direct, ""), "") << "system bitmap: " << c.text;
      const int gotMem = f.DrawText(&mem, c.text, -1, &rm, c.dt);
      if (*c.text)
      {
        EXPECT_EQ(gotMem, want) << c.text;
      }
      EXPECT_EQ(Picture(&mem, &direct, ""), "") << "memory bitmap: " << c.text;
      f.DrawText(&flipped, c.text, -1, &rf, c.dt);
      EXPECT_EQ(Picture(&flipped, &direct, ""), "") << "flipped bitmap: " << c.text;

      // measuring, with and without a bitmap
      RECT md = c.rect, mn = c.rect, ms = c.rect;
      HGDIOBJ o2 = SelectObject(dc, fnt);
      const int h = SWELL_DrawText(dc, c.text, -1, &md, (int)(c.dt & ~0xfu) | DT_CALCRECT | DT_NOPREFIX);
      SelectObject(dc, o2);
      EXPECT_EQ(f.DrawText(nullptr, c.text, -1, &mn, c.dt | DT_CALCRECT), h) << c.text;
      EXPECT_EQ(f.DrawText(&mem, c.text, -1, &ms, c.dt | DT_CALCRECT), h) << c.text;
      if (*c.text)
        for (const RECT* q : {&mn, &ms})
        {
          EXPECT_EQ(q->right - q->left, md.right - md.left) << c.text;
          EXPECT_EQ(q->bottom - q->top, md.bottom - md.top) << c.text;
        }
    }
}

// Which path a call takes: a table of font flags, draw flags, line heights and bitmaps. The
// native result is told from the cached one by comparing with the reference.
TEST(TextDraw, PathChoice)
{
  struct Case
  {
    int px;
    int flags;
    unsigned int dt;
    bool yuv;
    bool native;
    const char* what;
  };
  const Case cases[] = {
      {13, LICE_FONT_FLAG_FORCE_NATIVE, 0, false, true, "native flag"},
      {13, LICE_FONT_FLAG_FORCE_NATIVE | LICE_FONT_FLAG_OWNS_HFONT, 0, false, true, "native and owned"},
      {13, LICE_FONT_FLAG_FORCE_NATIVE | 8, 0, false, true, "native with the unused bit 3"},
      {13, LICE_FONT_FLAG_FORCE_NATIVE | LICE_FONT_FLAG_FX_SHADOW, 0, false, false, "native with an effect"},
      {13, LICE_FONT_FLAG_FORCE_NATIVE | LICE_FONT_FLAG_VERTICAL, 0, false, false, "native and vertical"},
      {13, LICE_FONT_FLAG_FORCE_NATIVE, LICE_DT_USEFGALPHA, false, false, "native with text alpha"},
      {13, LICE_FONT_FLAG_FORCE_NATIVE, 0, true, false, "native into a YUV bitmap"},
      {13, 0, 0, false, false, "plain"},
      {300, LICE_FONT_FLAG_FX_OUTLINE, 0, false, true, "line height above 255"},
      {300, 0, 0, true, false, "line height above 255, YUV bitmap"},
  };
  for (const Case& c : cases)
  {
    TestFont font(c.px);
    HFONT h = font;
    if (c.flags & LICE_FONT_FLAG_OWNS_HFONT) h = CreateFont(-c.px, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans");
    FontPair fp(h, c.flags, 0xffffffff);
    LICE_CachedFont& f = fp.f;
    reftext::Font& r = fp.r;
    const int W = c.px > 100 ? 500 : 120, H = c.px > 100 ? 400 : 30;
    YuvBitmap a(W, H), b(W, H);
    TestBitmap pa(W, H, W, false), pb(W, H, W, false);
    LICE_IBitmap* ba = c.yuv ? (LICE_IBitmap*)&a : &pa;
    LICE_IBitmap* bb = c.yuv ? (LICE_IBitmap*)&b : &pb;
    LICE_Clear(ba, 0xff000000);
    LICE_Clear(bb, 0xff000000);
    RECT ra = {2, 2, W, H}, rb = ra;
    f.DrawText(ba, "Mg", -1, &ra, c.dt);
    r.DrawText(bb, "Mg", -1, &rb, c.dt);
    // Above 1023 nothing is cached; between 256 and 1023 the reference still draws masks.
    EXPECT_EQ(Picture(ba, bb, "").empty(), !c.native) << c.what;
  }
}

TEST(TextDraw, HugeLineHeightRendersNoMasks)
{
  TestFont font(960);
  LICE_CachedFont f;
  f.SetFromHFont(font);
  ASSERT_GT(f.GetLineHeight(), 1023);
  f.SetTextColor(0xffffffff);
  YuvBitmap bm(64, 64); // keeps the cached path
  LICE_Clear(&bm, 0);
  const long long before = lice_text_detail::RenderCount();
  RECT r = {0, 0, 64, 64};
  EXPECT_EQ(f.DrawText(&bm, "Ab", -1, &r, 0), 0);
  EXPECT_FALSE(f.DrawGlyph(&bm, 'A', 0, 0, nullptr));
  EXPECT_EQ(lice_text_detail::RenderCount(), before);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) ASSERT_EQ(LICE_GetPixel(&bm, x, y), 0u);
  // Measuring without a bitmap goes to the GDI layer (line height above 255).
  r = {0, 0, 0, 0};
  EXPECT_GT(f.DrawText(nullptr, "Ab", -1, &r, DT_CALCRECT), 1023);
  EXPECT_GT(r.right, 0);
}

// Pairs of calls that must draw the same picture, and measure the same rectangle.
TEST(TextDraw, EquivalentTexts)
{
  struct Case
  {
    const char* a;
    int counta;
    unsigned int dta;
    const char* b;
    unsigned int dtb;
    const char* what;
  };
  const Case cases[] = {
      {"ab\n", -1, DT_SINGLELINE, "ab ", 0, "a trailing line feed draws a space on a single line"},
      {"a\xf0\x9f\x98\x80" "b", -1, 0, "a b", 0, "a four-byte sequence draws a space"},
      {"a\r\rb\r", -1, 0, "ab", 0, "carriage returns are skipped"},
      {"x\ny", -1, DT_SINGLELINE, "x y", 0, "single line"},
      {"ab\0cd", 5, 0, "ab", 0, "a zero byte ends a counted text"},
      {"abcd", 2, 0, "ab", 0, "a count ends the text"},
      {"\xce\xa9", -1, 0, "\xe0\x8e\xa9", 0, "an overlong three-byte Omega is Omega"},
  };
  TestFont font(13);
  for (const Case& c : cases)
    for (int flags : {0, LICE_FONT_FLAG_VERTICAL, LICE_FONT_FLAG_FX_SHADOW})
    {
      LICE_CachedFont f;
      f.SetFromHFont(font, flags);
      f.SetTextColor(0xffffff00);
      LICE_MemBitmap a(80, 80), b(80, 80);
      LICE_Clear(&a, 0);
      LICE_Clear(&b, 0);
      RECT ra = {3, 3, 80, 80}, rb = ra;
      EXPECT_EQ(f.DrawText(&a, c.a, c.counta, &ra, c.dta), f.DrawText(&b, c.b, -1, &rb, c.dtb)) << c.what;
      EXPECT_EQ(Picture(&a, &b, ""), "") << c.what << " flags " << flags;
      RECT ma = {0, 0, 0, 0}, mb = ma;
      f.DrawText(nullptr, c.a, c.counta, &ma, c.dta | DT_CALCRECT);
      f.DrawText(nullptr, c.b, -1, &mb, c.dtb | DT_CALCRECT);
      EXPECT_TRUE(ma.right == mb.right && ma.bottom == mb.bottom) << c.what << " flags " << flags;
    }
}

TEST(TextDraw, OpaqueModeFillsEachGlyphBox)
{
  TestFont font(12);
  LICE_CachedFont f;
  f.SetFromHFont(font);
  f.SetBkMode(1);
  f.SetBkColor(0xff0000ff);
  f.SetTextColor(0xffffffff);
  LICE_MemBitmap bm(60, 30);
  LICE_Clear(&bm, 0);
  RECT r = {5, 4, 60, 30};
  f.DrawText(&bm, "  ", -1, &r, 0);
  const lice_text_detail::GlyphView sp = lice_text_detail::FontAccess::Glyph(f, ' ');
  ASSERT_TRUE(sp.has_glyph);
  auto inBox = [&sp](int x, int k) {
    const int x0 = 5 + k * sp.advance - sp.left_extra;
    return x >= x0 && x < x0 + sp.width;
  };
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 60; ++x)
    {
      const bool filled = y >= 4 && y < 4 + sp.height && (inBox(x, 0) || inBox(x, 1));
      ASSERT_EQ(LICE_GetPixel(&bm, x, y), filled ? 0xff0000ffu : 0u) << x << "," << y;
    }
}

TEST(TextDraw, NonLatinTextHasRealGlyphs)
{
  const char* text = "\xce\xa9\xce\xbc\xce\xad\xce\xb3\xce\xb1 \xc3\x85\xc3\x84\xc3\x96 \xc3\xb1"; // Ωμέγα ÅÄÖ ñ
  const unsigned short codes[] = {0x3a9, 0x3bc, 0x3ad, 0x3b3, 0x3b1, ' ', 0xc5, 0xc4, 0xd6, ' ', 0xf1};
  std::vector<unsigned short> decoded;
  for (const char* p = text; *p;)
  {
    unsigned short c;
    p += utf8char(p, &c);
    decoded.push_back(c);
  }
  EXPECT_EQ(decoded, std::vector<unsigned short>(std::begin(codes), std::end(codes)));

  TestFont font(20);
  FontPair fp(font, 0, 0xff102030);
  LICE_CachedFont& f = fp.f;
  reftext::Font& r = fp.r;
  LICE_MemBitmap a(220, 40), b(220, 40);
  LICE_Clear(&a, 0xffffffff);
  LICE_Clear(&b, 0xffffffff);
  RECT ra = {2, 2, 220, 40}, rb = ra;
  EXPECT_EQ(f.DrawText(&a, text, -1, &ra, 0), r.DrawText(&b, text, -1, &rb, 0));
  EXPECT_EQ(Picture(&a, &b, "nonlatin"), "");

  // Every letter has solid ink of its own: no two masks alike, none the missing-glyph mask.
  textest::Touch(f, "\xe4\xb8\xad");
  const lice_text_detail::GlyphView missing = lice_text_detail::FontAccess::Glyph(f, 0x4e2d);
  std::vector<std::vector<unsigned char>> masks;
  for (unsigned short c : codes)
  {
    if (c == ' ') continue;
    const lice_text_detail::GlyphView g = lice_text_detail::FontAccess::Glyph(f, c);
    ASSERT_TRUE(g.has_glyph) << c;
    std::vector<unsigned char> m(g.mask, g.mask + g.width * g.height);
    EXPECT_NE(std::count(m.begin(), m.end(), 255), 0) << c;
    if (missing.has_glyph)
    {
      EXPECT_NE(m, std::vector<unsigned char>(missing.mask, missing.mask + missing.width * missing.height)) << c;
    }
    for (const auto& o : masks) EXPECT_NE(m, o) << c;
    masks.push_back(m);
  }
}

// DrawGlyph puts a glyph where DrawText's pen would, and refuses what it cannot draw.
TEST(TextDraw, DrawGlyph)
{
  TestFont font(15);
  LICE_CachedFont f;
  f.SetFromHFont(font);
  f.SetTextColor(0xffffffff);
  LICE_MemBitmap a(40, 40), b(40, 40);
  LICE_Clear(&a, 0);
  LICE_Clear(&b, 0);
  RECT r = {9, 7, 40, 40};
  f.DrawText(&a, "j", -1, &r, DT_NOCLIP); // the hook of j reaches left of the pen
  EXPECT_TRUE(f.DrawGlyph(&b, 'j', 9, 7, nullptr));
  EXPECT_EQ(Picture(&a, &b, ""), "");

  RECT away = {0, 0, 3, 3}, empty = {10, 10, 10, 20};
  EXPECT_FALSE(f.DrawGlyph(&b, 'j', 20, 20, &away));
  EXPECT_FALSE(f.DrawGlyph(&b, 'j', 5, 5, &empty));
  EXPECT_FALSE(f.DrawGlyph(&b, 'j', 500, 5, nullptr));
  EXPECT_FALSE(f.DrawGlyph(&b, 'j', INT_MIN, INT_MAX, nullptr));
  EXPECT_FALSE(f.DrawGlyph(nullptr, 'j', 5, 5, nullptr));
  EXPECT_FALSE(f.DrawGlyph(&b, 0, 5, 5, nullptr));
  EXPECT_FALSE(f.DrawGlyph(&b, 0xdc00, 5, 5, nullptr));
  EXPECT_EQ(Picture(&a, &b, ""), "");
}

// Mono glyphs with a shadow or outline keep the effect colour (effects before mono).
TEST(TextDraw, MonoWithEffectsShowsTheEffectColour)
{
  TestFont font(16);
  for (int fx : {LICE_FONT_FLAG_FX_SHADOW, LICE_FONT_FLAG_FX_OUTLINE})
  {
    LICE_CachedFont mono, plain;
    mono.SetFromHFont(font, fx | LICE_FONT_FLAG_FX_MONO);
    plain.SetFromHFont(font, fx);
    LICE_MemBitmap a(60, 30), b(60, 30);
    for (LICE_CachedFont* f : {&mono, &plain})
    {
      f->SetTextColor(0xffffffff);
      f->SetEffectColor(0xff0000ff);
    }
    LICE_Clear(&a, 0);
    LICE_Clear(&b, 0);
    RECT ra = {2, 2, 60, 30}, rb = ra;
    mono.DrawText(&a, "Hi!", -1, &ra, 0);
    plain.DrawText(&b, "Hi!", -1, &rb, 0);
    EXPECT_EQ(Picture(&a, &b, ""), "") << fx;
  }
}

// Refusals and extremes: nothing crashes, nothing is written out of bounds, and what can be
// drawn matches the reference.
TEST(TextDraw, BadInputAndExtremes)
{
  TestFont font(11);
  FontPair fp(font, 0, 0xff00ff00);
  LICE_CachedFont& f = fp.f;
  reftext::Font& r = fp.r;
  TestBitmap a(50, 20, 50, false, licetest::Guard::After), b(50, 20, 50, false);
  LICE_Clear(&a, 0);
  LICE_Clear(&b, 0);
  RECT rc = {0, 0, 50, 20};
  EXPECT_EQ(f.DrawText(nullptr, "abc", -1, &rc, 0), 0);
  EXPECT_EQ(f.DrawText(&a, nullptr, -1, &rc, 0), 0);
  EXPECT_EQ(f.DrawText(&a, "abc", -1, nullptr, 0), 0);
  EXPECT_EQ(f.DrawText(nullptr, nullptr, -1, &rc, DT_CALCRECT), 0);
  EXPECT_EQ(f.DrawText(&a, "abc", 0, &rc, 0), 0) << "a count of 0 is an empty text";
  RECT m = {4, 4, 9, 9};
  EXPECT_EQ(f.DrawText(nullptr, "abc", 0, &m, DT_CALCRECT), 0);
  EXPECT_TRUE(m.right == 4 && m.bottom == 4);
  LICE_MemBitmap none; // no pixels
  EXPECT_EQ(f.DrawText(&none, "abc", -1, &rc, 0), 0);
  EXPECT_EQ(Picture(&a, &b, ""), "");

  const RECT extremes[] = {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {INT_MAX - 2, INT_MAX - 2, INT_MAX, INT_MAX},
                           {INT_MIN, 0, INT_MIN + 5, 20},        {-3, -4, INT_MAX, INT_MAX},
                           {INT_MAX, INT_MAX, INT_MIN, INT_MIN}, {40, 10, 45, INT_MAX}};
  for (const RECT& e : extremes)
    for (unsigned int dt : {0u, (unsigned int)(DT_CENTER | DT_VCENTER), (unsigned int)(DT_RIGHT | DT_BOTTOM),
                            (unsigned int)DT_NOCLIP, (unsigned int)(DT_RIGHT | DT_NOCLIP)})
    {
      RECT ra = e, rb = e;
      EXPECT_EQ(f.DrawText(&a, "Wy\nq", -1, &ra, dt), r.DrawText(&b, "Wy\nq", -1, &rb, dt));
      ra = e, rb = e;
      EXPECT_EQ(f.DrawText(nullptr, "Wy", -1, &ra, dt | DT_CALCRECT), r.DrawText(nullptr, "Wy", -1, &rb, dt | DT_CALCRECT));
      EXPECT_TRUE(ra.right == rb.right && ra.bottom == rb.bottom);
      EXPECT_GE((long long)ra.right, (long long)ra.left) << "saturated, not wrapped";
    }
  EXPECT_EQ(Picture(&a, &b, ""), "");
}

// A counted text that is not zero-terminated ends at a PROT_NONE page: neither measuring nor
// drawing may read past count bytes, even inside a cut multi-byte sequence.
TEST(TextDraw, CountedTextIsReadWithinItsCount)
{
  TestFont font(12);
  const char* const texts[] = {"abc", "ab\xe2\x82", "\xce", "x\xf0\x9f\x98", "line\n", "\xe2\x82\xac"};
  textest::GuardBuffer buf(64);
  for (int flags : {0, LICE_FONT_FLAG_FORCE_NATIVE, LICE_FONT_FLAG_VERTICAL})
    for (const char* t : texts)
    {
      const size_t n = std::strlen(t);
      const char* s = buf.put(t, n);
      LICE_CachedFont f;
      f.SetFromHFont(font, flags);
      LICE_MemBitmap bm(80, 40);
      RECT m = {0, 0, 0, 0}, d = {0, 0, 80, 40};
      f.DrawText(nullptr, s, (int)n, &m, DT_CALCRECT);
      f.DrawText(&bm, s, (int)n, &d, DT_CENTER);
      RECT m2 = {0, 0, 0, 0};
      f.DrawText(nullptr, t, -1, &m2, DT_CALCRECT);
      EXPECT_TRUE(m.right == m2.right && m.bottom == m2.bottom) << t << " flags " << flags;
    }
}

TEST(TextDraw, LongTexts)
{
  TestFont font(10);
  const std::string big(65536, 'x');
  std::string lines;
  for (int i = 0; i < 4096; ++i) lines += "ab\n";
  for (int flags : {0, LICE_FONT_FLAG_FORCE_NATIVE, LICE_FONT_FLAG_VERTICAL | LICE_FONT_FLAG_VERTICAL_BOTTOMUP})
  {
    LICE_CachedFont f;
    f.SetFromHFont(font, flags);
    LICE_MemBitmap bm(100, 50);
    RECT r = {0, 0, 100, 50};
    f.DrawText(&bm, big.c_str(), -1, &r, DT_CENTER | DT_VCENTER);
    r = {0, 0, 100, 50};
    f.DrawText(&bm, lines.c_str(), (int)lines.size(), &r, DT_BOTTOM);
    RECT m = {0, 0, 0, 0};
    f.DrawText(nullptr, big.c_str(), -1, &m, DT_CALCRECT | DT_SINGLELINE);
    if (flags == 0)
    {
      const int adv = lice_text_detail::FontAccess::Glyph(f, 'x').advance;
      EXPECT_GE(m.right, 65536 * adv);
      EXPECT_LE(m.right, 65536 * adv + adv + 8);
    }
    EXPECT_GT(m.right, 0);
  }
}
} // namespace
