// Lines, shapes and glyph blits: the edge cases as one table, the properties the rules give
// (clipping equals cropping, symmetric circles drawn once per pixel, filled circles without
// holes, inclusive and reversible lines, flipped bitmaps, Bezier curves near the true curve),
// guard-page runs at every clip edge and hostile inputs.
#include "support/prng.h"
#include "support/ref_raster.h"
#include "support/test_bitmap.h"

#include "WDL/lice/lice.h"
#include "WDL/lice/lice_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using licetest::Guard;
using licetest::Rng;
using licetest::TestBitmap;

namespace
{
constexpr LICE_pixel kWhite = 0xffffffffu;
constexpr float kPi = 3.14159265358979f;
constexpr float kInf = std::numeric_limits<float>::infinity(), kNaN = std::numeric_limits<float>::quiet_NaN();

std::unique_ptr<TestBitmap> Black(int w, int h, bool flipped = false, Guard g = Guard::None)
{
  std::unique_ptr<TestBitmap> b(new TestBitmap(w, h, w, flipped, g));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b->at(x, y) = 0;
  return b;
}

int CountSet(TestBitmap& b)
{
  int n = 0;
  for (int y = 0; y < b.getHeight(); ++y)
    for (int x = 0; x < b.getWidth(); ++x) n += b.at(x, y) != 0;
  return n;
}

// Everything drawn lies in [x0, x1] x [y0, y1].
bool Within(TestBitmap& b, int x0, int y0, int x1, int y1)
{
  for (int y = 0; y < b.getHeight(); ++y)
    for (int x = 0; x < b.getWidth(); ++x)
      if (b.at(x, y) && (x < x0 || x > x1 || y < y0 || y > y1)) return false;
  return true;
}

bool Same(TestBitmap& a, TestBitmap& b) { return licetest::Checksum(&a) == licetest::Checksum(&b); }
} // namespace

// ---------------------------------------------------------------------------------------

TEST(Shapes, EdgeCases)
{
  struct Row
  {
    const char* what;
    std::function<void(LICE_IBitmap*)> draw;
    std::function<bool(TestBitmap&)> check;
  };
  static const unsigned char kMask2[25] = {0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00,
                                           0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00};
  const Row rows[] = {
      {"a zero-length line draws one pixel", [](LICE_IBitmap* b) { LICE_Line(b, 0, 0, 0, 0, kWhite, 1, 0, false); },
       [](TestBitmap& b) { return CountSet(b) == 1 && b.at(0, 0) == kWhite; }},
      {"a horizontal line from 5 to 2 draws 2..5", [](LICE_IBitmap* b) { LICE_Line(b, 5, 3, 2, 3, kWhite, 1, 0, true); },
       [](TestBitmap& b) { return CountSet(b) == 4 && b.at(2, 3) == kWhite && b.at(5, 3) == kWhite; }},
      {"a line wholly outside draws nothing",
       [](LICE_IBitmap* b) { LICE_Line(b, -5, -1, 30, -9, kWhite, 1, 0, false); }, [](TestBitmap& b) { return CountSet(b) == 0; }},
      {"a crossing line reaches both borders",
       [](LICE_IBitmap* b) { LICE_Line(b, -10, 10, 40, 10, kWhite, 1, 0, false); },
       [](TestBitmap& b) { return CountSet(b) == 20 && b.at(0, 10) && b.at(19, 10); }},
      {"a clipped diagonal keeps reaching the border",
       [](LICE_IBitmap* b) { LICE_Line(b, -5, -5, 30, 30, kWhite, 1, 0, false); },
       [](TestBitmap& b) { return b.at(0, 0) && b.at(19, 19) && CountSet(b) == 20; }},
      {"DrawRect(2, 3, 10, 5) covers columns 2..12 and rows 3..8",
       [](LICE_IBitmap* b) { LICE_DrawRect(b, 2, 3, 10, 5, kWhite, 1, 0); },
       [](TestBitmap& b) { return Within(b, 2, 3, 12, 8) && b.at(12, 8) && b.at(2, 8) && b.at(12, 3) && CountSet(b) == 30; }},
      {"corners of DrawRect are drawn twice", [](LICE_IBitmap* b) { LICE_DrawRect(b, 2, 2, 4, 4, 0x01010101, 1, LICE_MODE_ADD); },
       [](TestBitmap& b) { return b.at(2, 2) == 0x02020202 && b.at(3, 2) == 0x01010101; }},
      {"BorderedRect fills the inside and outlines it",
       [](LICE_IBitmap* b) { LICE_BorderedRect(b, 2, 2, 4, 4, 0xff0000ff, kWhite, 1, LICE_USE_SOURCE_ALPHA); },
       [](TestBitmap& b) { return b.at(3, 3) == 0xff0000ff && b.at(5, 5) == 0xff0000ff && b.at(6, 6) == kWhite && CountSet(b) == 25; }},
      {"RoundRect with corner radius 1 is DrawRect",
       [](LICE_IBitmap* b) { LICE_RoundRect(b, 2.7f, 3.2f, 9.9f, 6.5f, 1, kWhite, 1, 0, true); },
       [](TestBitmap& b) {
         auto r = Black(20, 20);
         LICE_DrawRect(r.get(), 2, 3, 9, 6, kWhite, 1, 0);
         return Same(b, *r);
       }},
      {"Circle r = 2 draws the 5 x 5 mask centred on the centre",
       [](LICE_IBitmap* b) { LICE_Circle(b, 10, 10, 2, kWhite, 1, 0, false); },
       [](TestBitmap& b) {
         for (int j = 0; j < 5; ++j)
           for (int i = 0; i < 5; ++i)
             if ((b.at(8 + i, 8 + j) != 0) != (kMask2[j * 5 + i] != 0)) return false;
         // coverage 255 at weight 255: 255 + (0 - 255) * 1 / 256 rounds toward the colour
         return CountSet(b) == 8 && b.at(10, 8) == kWhite;
       }},
      {"Arc from 0 to 2 pi is the circle",
       [](LICE_IBitmap* b) { LICE_Arc(b, 9.5f, 9.2f, 6.3f, 0, 2 * kPi, kWhite, 1, 0, true); },
       [](TestBitmap& b) {
         auto r = Black(20, 20);
         LICE_Circle(r.get(), 9.5f, 9.2f, 6.3f, kWhite, 1, 0, true);
         return Same(b, *r) && CountSet(b) > 30;
       }},
      {"Arc from 0 to pi/2 draws the upper right quarter",
       [](LICE_IBitmap* b) { LICE_Arc(b, 10, 10, 7, 0, kPi / 2, kWhite, 1, 0, false); },
       [](TestBitmap& b) { return Within(b, 10, 3, 17, 10) && b.at(10, 3) && b.at(17, 10) && b.at(15, 5); }},
      {"a polygon on one row fills one span",
       [](LICE_IBitmap* b) {
         const int x[] = {7, 3, 12, 5}, y[] = {4, 4, 4, 4};
         LICE_FillConvexPolygon(b, x, y, 4, kWhite, 1, 0);
       },
       [](TestBitmap& b) { return CountSet(b) == 10 && b.at(3, 4) && b.at(12, 4); }},
      {"a polygon of two points draws nothing",
       [](LICE_IBitmap* b) {
         const int x[] = {1, 15}, y[] = {1, 15};
         LICE_FillConvexPolygon(b, x, y, 2, kWhite, 1, 0);
       },
       [](TestBitmap& b) { return CountSet(b) == 0; }},
      {"a triangle covers its corners and stays inside its box",
       [](LICE_IBitmap* b) { LICE_FillTriangle(b, 2, 3, 15, 9, 6, 17, kWhite, 1, 0); },
       [](TestBitmap& b) { return Within(b, 2, 3, 15, 17) && b.at(2, 3) && b.at(15, 9) && b.at(6, 17) && b.at(7, 9); }},
      {"a trapezoid spans its rows inclusive",
       [](LICE_IBitmap* b) { LICE_FillTrapezoid(b, 2, 6, 8, 0, 10, 2, kWhite, 1, 0); },
       [](TestBitmap& b) { return Within(b, 0, 2, 10, 8) && b.at(0, 2) && b.at(10, 2) && b.at(2, 8) && b.at(6, 8) && !b.at(7, 8); }},
      {"a diagonal dashed line draws nothing",
       [](LICE_IBitmap* b) { LICE_DashedLine(b, 1, 1, 10, 10, 2, 2, kWhite, 1, 0, false); },
       [](TestBitmap& b) { return CountSet(b) == 0; }},
      {"a vertical dashed line 1 on, 1 off stores every second pixel, not the far end",
       [](LICE_IBitmap* b) { LICE_DashedLine(b, 4, 12, 4, 2, 1, 1, kWhite, 1, 0, false); },
       [](TestBitmap& b) { return CountSet(b) == 5 && b.at(4, 2) && !b.at(4, 3) && b.at(4, 10) && !b.at(4, 12); }},
      {"a glyph with a negative span walks its rows upward",
       [](LICE_IBitmap* b) {
         static const unsigned char m[6] = {255, 0, 0, 0, 0, 255}; // 2 x 3, last row first
         LICE_DrawGlyphEx(b, 4, 4, kWhite, m, 2, -2, 3, 1, 0);
       },
       [](TestBitmap& b) { return CountSet(b) == 2 && b.at(5, 4) && b.at(4, 6); }},
      {"a mono glyph reads bits from the top",
       [](LICE_IBitmap* b) {
         static const unsigned char m[2] = {0xA0, 0x40}; // 3 wide: 101 / 010
         LICE_DrawMonoGlyph(b, 1, 1, kWhite, m, 3, 1, 2, 1, 0);
       },
       [](TestBitmap& b) { return CountSet(b) == 3 && b.at(1, 1) == kWhite && b.at(3, 1) && b.at(2, 2); }},
      {"an unknown operation draws nothing", [](LICE_IBitmap* b) { LICE_FillCircle(b, 9, 9, 6, kWhite, 1, 7, true); },
       [](TestBitmap& b) { return CountSet(b) == 0; }},
  };
  for (const Row& r : rows)
  {
    auto b = Black(20, 20);
    r.draw(b.get());
    EXPECT_TRUE(r.check(*b)) << r.what;
  }
}

// Copy at the exact alphas: spans take the whole-word mixes, the general line the
// per-channel half mix at 128, and an anti-aliased diagonal at 1.0 the 3/4 and 1/4 mixes.
TEST(Shapes, CopyMixesAtTheFixedWeights)
{
  struct Row
  {
    const char* what;
    std::function<void(LICE_IBitmap*)> draw;
    int x, y;
    LICE_pixel expect;
  };
  const Row rows[] = {
      {"span at 0.5: (d >> 1) + (c >> 1)", [](LICE_IBitmap* b) { LICE_Line(b, 1, 1, 8, 1, kWhite, 0.5f, 0, false); }, 3, 1, 0x7F7F7F7F},
      {"span at 0.25", [](LICE_IBitmap* b) { LICE_Line(b, 1, 1, 1, 8, kWhite, 0.25f, 0, false); }, 1, 4, 0x3F3F3F3F},
      {"span at 0.75", [](LICE_IBitmap* b) { LICE_Line(b, 1, 1, 8, 1, kWhite, 0.75f, 0, false); }, 2, 1, 0xBEBEBEBE},
      {"span at weight 128 off 0.5: per-channel half", [](LICE_IBitmap* b) { LICE_Line(b, 1, 1, 8, 1, kWhite, 0.502f, 0, false); }, 2, 1, 0x7F7F7F7F},
      {"line at 0.5: per-channel (d + c) >> 1", [](LICE_IBitmap* b) { LICE_Line(b, 0, 0, 9, 3, 0xFF030303, 0.5f, 0, false); }, 0, 0, 0x7F010101},
      {"aa diagonal at 1.0: three quarters on it", [](LICE_IBitmap* b) { LICE_Line(b, 1, 1, 6, 6, kWhite, 1, 0, true); }, 3, 3, 0xBEBEBEBE},
      {"aa diagonal at 1.0: a quarter beside it", [](LICE_IBitmap* b) { LICE_Line(b, 1, 1, 6, 6, kWhite, 1, 0, true); }, 4, 3, 0x3F3F3F3F},
      {"trapezoid at 0.25: the quarter word mix", [](LICE_IBitmap* b) { LICE_FillTrapezoid(b, 1, 5, 1, 1, 5, 5, kWhite, 0.25f, 0); }, 3, 3, 0x3F3F3F3F},
      {"plain filled circle at 0.5: per-channel half", [](LICE_IBitmap* b) { LICE_FillCircle(b, 5, 5, 3, 0xFF030303, 0.5f, 0, false); }, 5, 5, 0x7F010101},
  };
  for (const Row& r : rows)
  {
    auto b = Black(12, 12);
    r.draw(b.get());
    EXPECT_EQ(b->at(r.x, r.y), r.expect) << r.what;
  }
}

// Where the rules make a shape independent of the bitmap's edges, drawing it into a larger
// bitmap and cutting out the middle gives what drawing it clipped gives.
TEST(Shapes, ClippedEqualsCropped)
{
  const int M = 24;
  for (uint64_t seed = 1; seed <= 1500; ++seed)
  {
    Rng rng(seed * 7919);
    const int w = rng.range(1, 30), h = rng.range(1, 30);
    auto small = Black(w, h), big = Black(w + 2 * M, h + 2 * M);
    small->fillRandom(rng);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) big->at(x + M, y + M) = small->at(x, y);
    const LICE_pixel col = rng.biasedPixel();
    const float alpha = rng.chance(50) ? 1.0f : (float)rng.unit();
    const int mode = rng.range(0, 5);
    const bool aa = rng.chance(50);
    const int kind = rng.below(8);
    auto draw = [&](LICE_IBitmap* b, int o, Rng r) {
      const int x1 = r.range(-20, w + 20) + o, y1 = r.range(-20, h + 20) + o, x2 = r.range(-20, w + 20) + o,
                y2 = r.range(-20, h + 20) + o;
      const float cx = (float)r.frange(-15, w + 15) + o, cy = (float)r.frange(-15, h + 15) + o;
      const float rad = r.chance(30) ? (float)r.range(3, 8) * 0.5f : (float)r.frange(0, 22);
      switch (kind)
      {
        case 0: LICE_Line(b, x1, y1, x2, y1, col, alpha, mode, aa); break;
        case 1: LICE_Line(b, x1, y1, x1, y2, col, alpha, mode, aa); break;
        case 2: LICE_Circle(b, cx, cy, rad, col, alpha, mode, aa); break;
        case 3: LICE_FillCircle(b, cx, cy, rad, col, alpha, mode, aa); break;
        case 4: LICE_FillTrapezoid(b, x1, x2, y1, x2 - 3, x1 + 5, y2, col, alpha, mode); break;
        case 5:
        {
          int px[5], py[5];
          for (int i = 0; i < 5; ++i)
            px[i] = (int)std::floor(cx + rad * std::cos(i * 1.25)), py[i] = (int)std::floor(cy + rad * std::sin(i * 1.25));
          LICE_FillConvexPolygon(b, px, py, 5, col, alpha, mode);
          break;
        }
        case 6: LICE_Arc(b, cx, cy, rad, (float)r.frange(-7, 7), (float)r.frange(-7, 7), col, alpha, mode, aa); break;
        default: LICE_DashedLine(b, x1, y1, x2, y1, r.range(1, 4), r.range(0, 3), col, alpha, mode, aa); break;
      }
    };
    draw(small.get(), 0, Rng(seed));
    draw(big.get(), M, Rng(seed));
    std::string what;
    auto crop = Black(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) crop->at(x, y) = big->at(x + M, y + M);
    ASSERT_TRUE(licetest::SamePicture(small.get(), crop.get(), &what, "crop")) << "seed " << seed << " kind " << kind << ": " << what;
  }
}

// Circles drawn by the drawer are symmetric under every mirror and transposition, every
// pixel is combined once (add mode counts), and filled anti-aliased circles have no holes.
TEST(Shapes, CirclesSymmetricOncePerPixelAndWithoutHoles)
{
  const int S = 81, C = 40;
  for (int step = 0; step <= 36 * 8; ++step)
  {
    const float r = step / 8.0f;
    for (int form = 0; form < 4; ++form)
    {
      const bool aa = form & 1, filled = form & 2;
      auto b = Black(S, S);
      // blue 1 at full weight: a pixel combined twice would read 2
      if (filled)
        LICE_FillCircle(b.get(), C, C, r, 0x00000001u, 1, LICE_MODE_ADD, aa);
      else
        LICE_Circle(b.get(), C, C, r, 0x00000001u, 1, LICE_MODE_ADD, aa);
      auto s = Black(S, S);
      if (filled)
        LICE_FillCircle(s.get(), C, C, r, kWhite, 1, 0, aa);
      else
        LICE_Circle(s.get(), C, C, r, kWhite, 1, 0, aa);
      const bool mask = !filled && (r == 1.5f || r == 2 || r == 2.5f || r == 3 || r == 3.5f || r == 4);
      bool symmetric = true, once = true, solid = true;
      for (int y = 0; y < S; ++y)
        for (int x = 0; x < S; ++x)
        {
          const int dx = x - C, dy = y - C;
          const LICE_pixel p = s->at(x, y);
          if (mask)
          {
            // the masks sit at (C - r, C - r) and are mirrored within their own square
            continue;
          }
          symmetric &= p == s->at(C - dx, y) && p == s->at(x, C - dy) && p == s->at(C + dy, C + dx);
          once &= b->at(x, y) <= 1;
          if (filled && aa && std::sqrt((double)dx * dx + (double)dy * dy) <= r - 1.0) solid &= p == kWhite;
        }
      EXPECT_TRUE(symmetric) << "r " << r << " aa " << aa << " filled " << filled;
      EXPECT_TRUE(once) << "r " << r << " filled " << filled;
      EXPECT_TRUE(solid) << "r " << r;
    }
  }
  // the masks: mirror images of themselves about both axes
  for (float r : {1.5f, 2.0f, 2.5f, 3.0f, 3.5f, 4.0f})
    for (bool aa : {false, true})
    {
      auto s = Black(20, 20);
      LICE_Circle(s.get(), 8, 8, r, kWhite, 1, 0, aa);
      const int x0 = (int)std::floor(8 - r), n = (int)(2 * r + 1);
      for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
          EXPECT_TRUE(s->at(x0 + i, x0 + j) == s->at(x0 + n - 1 - i, x0 + j) && s->at(x0 + i, x0 + j) == s->at(x0 + i, x0 + n - 1 - j))
              << "mask r " << r << " aa " << aa;
    }
}

// Both end points are drawn, one pixel per major step, and a line of odd major length is
// symmetric about its middle, weights included (it is walked from both ends at once; an even
// length's middle pixel comes from the first end, so a reversed line may differ there).
TEST(Shapes, LinesAreInclusiveAndSymmetric)
{
  Rng rng(99);
  for (int n = 0; n < 3000; ++n)
  {
    const int x1 = rng.range(0, 39), y1 = rng.range(0, 29), x2 = rng.range(0, 39), y2 = rng.range(0, 29);
    const bool aa = rng.chance(50);
    auto a = Black(40, 30);
    LICE_Line(a.get(), x1, y1, x2, y2, kWhite, 1, 0, aa);
    const int major = std::max(std::abs(x2 - x1), std::abs(y2 - y1));
    const bool diagonal = std::abs(x2 - x1) == std::abs(y2 - y1) && x1 != x2;
    if (!diagonal || !aa)
    {
      EXPECT_EQ(a->at(x1, y1), kWhite) << x1 << "," << y1 << " -> " << x2 << "," << y2;
      EXPECT_EQ(a->at(x2, y2), kWhite) << x1 << "," << y1 << " -> " << x2 << "," << y2;
    }
    if (!aa)
    {
      EXPECT_EQ(CountSet(*a), major + 1);
    }
    if (major % 2 == 0) continue;
    bool symmetric = true;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x)
      {
        const int mx = x1 + x2 - x, my = y1 + y2 - y;
        const LICE_pixel other = mx >= 0 && mx < 40 && my >= 0 && my < 30 ? a->at(mx, my) : 0;
        symmetric &= a->at(x, y) == other;
      }
    EXPECT_TRUE(symmetric) << x1 << "," << y1 << " -> " << x2 << "," << y2 << " aa " << aa;
  }
}

// A flipped bitmap mirrors y and draws into the stored rows: its memory equals that of an
// unflipped bitmap drawn at mirrored y (and, for arcs, mirrored angles, so that the arc keeps
// its place in the picture).
TEST(Shapes, FlippedBitmapsMirrorRows)
{
  for (uint64_t seed = 1; seed <= 800; ++seed)
  {
    Rng rng(seed * 31);
    const int w = rng.range(1, 30), h = rng.range(1, 30);
    TestBitmap f(w, h, w, true), n(w, h, w, false);
    f.fillRandom(rng);
    n.copyFrom(f);
    const LICE_pixel col = rng.biasedPixel();
    const int mode = rng.range(0, 5);
    const float alpha = rng.chance(50) ? 1 : (float)rng.unit();
    const bool aa = rng.chance(50);
    const int x1 = rng.range(-5, w + 5), y1 = rng.range(-5, h + 5), x2 = rng.range(-5, w + 5), y2 = rng.range(-5, h + 5);
    // sixty-fourths: mirrored coordinates stay exact in float
    const float cx = (float)rng.range(-192, 64 * w + 192) / 64, cy = (float)rng.range(-192, 64 * h + 192) / 64;
    const float r = (float)rng.range(0, 64 * 15) / 64;
    auto m = [h](int y) { return h - 1 - y; };
    auto mf = [h](float y) { return (float)(h - 1) - y; };
    switch (rng.below(5))
    {
      case 0:
        LICE_Line(&f, x1, y1, x2, y2, col, alpha, mode, aa);
        LICE_Line(&n, x1, m(y1), x2, m(y2), col, alpha, mode, aa);
        break;
      case 1:
        // (the plain form truncates first and then mirrors, as the integer line does)
        LICE_FLine(&f, cx, cy, (float)x2, (float)y2 + 0.3f, col, alpha, mode, true);
        LICE_FLine(&n, cx, mf(cy), (float)x2, mf((float)y2 + 0.3f), col, alpha, mode, true);
        break;
      case 2:
        LICE_FillCircle(&f, cx, cy, r, col, alpha, mode, aa);
        LICE_FillCircle(&n, cx, mf(cy), r, col, alpha, mode, aa);
        break;
      case 3:
        LICE_FillTrapezoid(&f, x1, x2, y1, x2, x1 + 3, y2, col, alpha, mode);
        LICE_FillTrapezoid(&n, x1, x2, m(y1), x2, x1 + 3, m(y2), col, alpha, mode);
        break;
      default:
        LICE_DrawGlyph(&f, x1, y1, col, (const unsigned char*)"\x10\x80\xff\x40\x01\xfe", 3, 2, alpha, mode);
        LICE_DrawGlyph(&n, x1, m(y1) - 1, col, (const unsigned char*)"\x40\x01\xfe\x10\x80\xff", 3, 2, alpha, mode);
        break;
    }
    ASSERT_EQ(0, std::memcmp(f.getBits(), n.getBits(), sizeof(LICE_pixel) * w * h)) << "seed " << seed;
  }
  // arcs mirror their angles as well: a flipped bitmap shows the quarter an unflipped one does
  TestBitmap f(20, 20, 20, true);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) f.at(x, y) = 0;
  LICE_Arc(&f, 10, 10, 7, 0, kPi / 2, kWhite, 1, 0, false);
  EXPECT_TRUE(Within(f, 10, 3, 17, 10) && f.at(10, 3) && f.at(17, 10));
}

// Shapes that cross every edge, into bitmaps that end (or start) at a PROT_NONE page: a write
// past a clip edge faults at once.
TEST(Shapes, GuardPagesAtEveryEdge)
{
  Rng rng(2024);
  for (int n = 0; n < 4000; ++n)
  {
    const int w = rng.range(1, 40), h = rng.range(1, 40);
    const Guard g = rng.chance(50) ? Guard::After : Guard::Before;
    auto b = Black(w, h, rng.chance(40), g);
    const float cx = (float)rng.frange(-10, w + 10), cy = (float)rng.frange(-10, h + 10), r = (float)rng.frange(0, 50);
    const int x1 = rng.range(-60, w + 60), y1 = rng.range(-60, h + 60), x2 = rng.range(-60, w + 60), y2 = rng.range(-60, h + 60);
    const unsigned char mask[64] = {255, 128, 1, 255, 7, 9, 255, 255};
    const bool aa = rng.chance(50);
    const int mode = rng.range(0, 5);
    switch (rng.below(10))
    {
      case 0: LICE_Line(b.get(), x1, y1, x2, y2, kWhite, 0.7f, mode, aa); break;
      case 1: LICE_FLine(b.get(), cx, cy, (float)x2 + 0.5f, (float)y2, kWhite, 1, mode, aa); break;
      case 2: LICE_Circle(b.get(), cx, cy, r, kWhite, 1, mode, aa); break;
      case 3: LICE_FillCircle(b.get(), cx, cy, r, kWhite, 0.6f, mode, aa); break;
      case 4: LICE_Arc(b.get(), cx, cy, r, -1, 5, kWhite, 1, mode, aa); break;
      case 5: LICE_FillTrapezoid(b.get(), x1, x2, y1, x2, x1, y2, kWhite, 1, mode); break;
      case 6: LICE_FillTriangle(b.get(), x1, y1, x2, y2, x1 + 9, y2 - 30, kWhite, 1, mode); break;
      case 7: LICE_DrawGlyphEx(b.get(), x1 / 2, y1 / 2, kWhite, mask, 8, rng.chance(50) ? 8 : -8, 8, 1, mode); break;
      case 8: LICE_RoundRect(b.get(), cx - 10, cy - 10, r, r, 5, kWhite, 1, mode, aa); break;
      default: LICE_FillCBezier(b.get(), cx, cy, (float)x1, (float)y1, (float)x2, (float)y2, cx + 30, cy, y2, kWhite, 1, mode); break;
    }
  }
}

// Hostile inputs: integer extremes, huge, infinite and NaN coordinates, bad counts and null
// pointers either draw nothing or draw what the finite part of the request asks for, never
// outside the bitmap (guard pages) and never for long.
TEST(Shapes, HostileInputs)
{
  struct Row
  {
    const char* what;
    std::function<void(LICE_IBitmap*)> draw;
    int expectSet; // pixels drawn, or -1: anything inside the bitmap
  };
  const Row rows[] = {
      {"a line across the whole int range fills its row", [](LICE_IBitmap* b) { LICE_Line(b, INT_MIN, 5, INT_MAX, 5, kWhite, 1, 0, true); }, 16},
      {"a column across the int range", [](LICE_IBitmap* b) { LICE_Line(b, 3, INT_MAX, 3, INT_MIN, kWhite, 1, 0, false); }, 12},
      {"a steep line from the int extremes", [](LICE_IBitmap* b) { LICE_Line(b, INT_MIN, INT_MIN, INT_MAX, INT_MAX, kWhite, 1, 0, true); }, -1},
      {"a rectangle of the int range", [](LICE_IBitmap* b) { LICE_DrawRect(b, INT_MIN, INT_MIN, INT_MAX, INT_MAX, kWhite, 1, 0); }, -1},
      {"a rectangle at INT_MAX", [](LICE_IBitmap* b) { LICE_BorderedRect(b, INT_MAX, INT_MAX, INT_MAX, INT_MIN, kWhite, kWhite, 1, 0); }, 0},
      {"a dashed line over the int range", [](LICE_IBitmap* b) { LICE_DashedLine(b, INT_MIN, 2, INT_MAX, 2, 1, 1, kWhite, 1, 0, false); }, 8},
      {"dashes of no length", [](LICE_IBitmap* b) { LICE_DashedLine(b, 0, 2, 15, 2, 0, -5, kWhite, 1, 0, false); }, 0},
      {"negative gaps are no gaps", [](LICE_IBitmap* b) { LICE_DashedLine(b, 0, 2, 15, 2, 3, -5, kWhite, 1, 0, false); }, 15},
      {"a trapezoid over the int range fills its rows", [](LICE_IBitmap* b) { LICE_FillTrapezoid(b, INT_MIN, INT_MAX, INT_MIN, INT_MIN, INT_MAX, INT_MAX, kWhite, 1, 0); }, 16 * 12},
      {"a polygon with int extremes", [](LICE_IBitmap* b) {
         const int x[] = {INT_MIN, INT_MAX, INT_MAX, 0}, y[] = {INT_MIN, INT_MIN, INT_MAX, INT_MAX};
         LICE_FillConvexPolygon(b, x, y, 4, kWhite, 1, 0);
       }, -1},
      {"a negative point count", [](LICE_IBitmap* b) { const int x[] = {0, 5, 9}; LICE_FillConvexPolygon(b, x, x, -3, kWhite, 1, 0); }, 0},
      {"null point arrays", [](LICE_IBitmap* b) { LICE_FillConvexPolygon(b, nullptr, nullptr, 5, kWhite, 1, 0); }, 0},
      {"a null mask", [](LICE_IBitmap* b) { LICE_DrawGlyphEx(b, 0, 0, kWhite, nullptr, 5, 5, 5, 1, 0); LICE_DrawMonoGlyph(b, 0, 0, kWhite, nullptr, 5, 1, 5, 1, 0); }, 0},
      {"a glyph at the int extremes", [](LICE_IBitmap* b) { static const unsigned char m[4] = {255, 255, 255, 255}; LICE_DrawGlyph(b, INT_MAX, INT_MIN, kWhite, m, 2, 2, 1, 0); }, 0},
      {"a float line from huge coordinates", [](LICE_IBitmap* b) { LICE_FLine(b, -1e30f, 4, 1e30f, 4, kWhite, 1, 0, false); }, 16},
      {"an aa float line from huge coordinates", [](LICE_IBitmap* b) { LICE_FLine(b, -1e30f, 4.5f, 1e30f, 4.5f, kWhite, 1, 0, true); }, 32},
      {"a float line to infinity", [](LICE_IBitmap* b) { LICE_FLine(b, 0, 0, kInf, 4, kWhite, 1, 0, true); LICE_FLine(b, 0, 0, 3, kInf, kWhite, 1, 0, false); }, 0},
      {"a NaN float line", [](LICE_IBitmap* b) { LICE_FLine(b, kNaN, 0, 5, 5, kWhite, 1, 0, true); LICE_FLine(b, 1, 1, 5, kNaN, kWhite, 1, 0, false); }, 0},
      {"a NaN alpha", [](LICE_IBitmap* b) { LICE_Line(b, 1, 1, 9, 9, kWhite, kNaN, 0, true); LICE_FillCircle(b, 5, 5, 3, kWhite, kNaN, 1, true); }, 0},
      {"NaN and infinite circles", [](LICE_IBitmap* b) {
         for (bool aa : {false, true})
         {
           LICE_Circle(b, kNaN, 5, 3, kWhite, 1, 0, aa);
           LICE_Circle(b, 5, 5, kNaN, kWhite, 1, 0, aa);
           LICE_FillCircle(b, 5, kInf, 3, kWhite, 1, 0, aa);
           LICE_FillCircle(b, 5, 5, kInf, kWhite, 1, 0, aa);
           LICE_Arc(b, 5, 5, 4, kNaN, 1, kWhite, 1, 0, aa);
           LICE_Arc(b, 5, 5, 4, 0, kInf, kWhite, 1, 0, aa);
           LICE_RoundRect(b, kNaN, 0, 5, 5, 2, kWhite, 1, 0, aa);
           LICE_DrawCBezier(b, 0, 0, kNaN, 1, 2, 3, 4, 5, kWhite, 1, 0, aa, 0);
           LICE_FillCBezier(b, 0, 0, 1, kInf, 2, 3, 4, 5, 9, kWhite, 1, 0, 0);
         }
       }, 0},
      {"negative radii", [](LICE_IBitmap* b) { LICE_Circle(b, 5, 5, -2, kWhite, 1, 0, true); LICE_FillCircle(b, 5, 5, -0.5f, kWhite, 1, 0, false); LICE_Arc(b, 5, 5, -3, 0, 1, kWhite, 1, 0, true); }, 0},
      {"a huge circle around the bitmap draws nothing of its outline", [](LICE_IBitmap* b) { LICE_Circle(b, 8, 6, 1e6f, kWhite, 1, 0, true); LICE_Circle(b, 8, 6, 1e30f, kWhite, 1, 0, false); }, 0},
      {"a huge filled circle covers the bitmap", [](LICE_IBitmap* b) { LICE_FillCircle(b, 8, 6, 1e6f, kWhite, 1, 0, true); }, 16 * 12},
      {"a huge circle through the bitmap", [](LICE_IBitmap* b) { LICE_Circle(b, 8, 6 + 4e6f, 4e6f, kWhite, 1, 0, true); LICE_Circle(b, 8, 6 - 4e6f, 4e6f, kWhite, 1, 0, false); }, -1},
      {"a circle far away", [](LICE_IBitmap* b) { LICE_FillCircle(b, 1e30f, -1e30f, 5, kWhite, 1, 0, true); LICE_Arc(b, -3e9f, 5, 2e9f, 0, 1, kWhite, 1, 0, true); }, 0},
      {"arcs at huge angles", [](LICE_IBitmap* b) { LICE_Arc(b, 8, 6, 4, 1e30f, 1e30f, kWhite, 1, 0, true); LICE_Arc(b, 8, 6, 4, -1e30f, -1e30f + 1, kWhite, 1, 0, true); }, -1},
      {"curves with huge control points", [](LICE_IBitmap* b) {
         LICE_DrawQBezier(b, 0, 0, 3e38f, -3e38f, 10, 10, kWhite, 1, 0, true, 0);
         LICE_DrawCBezier(b, 0, 0, 1e20f, 1e20f, -1e20f, 1e20f, 10, 10, kWhite, 1, 0, false, 1e-30f);
         LICE_FillCBezier(b, -1e9f, 3, 0, 3, 5, 3, 1e9f, 3, 8, kWhite, 1, 0, 0);
       }, -1},
      {"a null bitmap", [](LICE_IBitmap*) {
         LICE_Line(nullptr, 0, 0, 5, 5, kWhite, 1, 0, true);
         LICE_FillCircle(nullptr, 0, 0, 5, kWhite, 1, 0, true);
         LICE_Arc(nullptr, 0, 0, 5, 0, 1, kWhite, 1, 0, true);
         const int x[] = {0, 5, 9};
         LICE_FillConvexPolygon(nullptr, x, x, 3, kWhite, 1, 0);
         LICE_DrawGlyph(nullptr, 0, 0, kWhite, (const unsigned char*)"abcd", 2, 2, 1, 0);
         int a = 0, c = 0;
         EXPECT_FALSE(LICE_ClipLine(&a, nullptr, &c, &a, 0, 0, 5, 5));
         EXPECT_FALSE(LICE_ClipLine(&a, &a, &c, &c, 0, 0, 0, 5)); // an empty rectangle
       }, 0},
  };
  for (const Row& r : rows)
    for (Guard g : {Guard::After, Guard::Before})
    {
      auto b = Black(16, 12, g == Guard::Before, g);
      r.draw(b.get());
      if (r.expectSet >= 0)
      {
        EXPECT_EQ(CountSet(*b), r.expectSet) << r.what;
      }
    }
}

// Bezier curves: the drawn pixels stay near the true curve, reach both ends, and the fills
// run from the curve to the fill line in every column (row) between the end points.
TEST(Shapes, BezierCurvesFollowTheCurve)
{
  Rng rng(5);
  for (int n = 0; n < 300; ++n)
  {
    double P[8];
    for (double& v : P) v = rng.frange(2, 58);
    const float tol = rng.chance(50) ? 0.0f : (float)rng.frange(0.1, 2);
    auto b = Black(60, 60);
    LICE_DrawCBezier(b.get(), (float)P[0], (float)P[1], (float)P[2], (float)P[3], (float)P[4], (float)P[5], (float)P[6],
                     (float)P[7], kWhite, 1, 0, false, tol);
    std::vector<std::pair<double, double>> curve;
    for (int i = 0; i <= 4000; ++i)
    {
      const double t = i / 4000.0, u = 1 - t;
      curve.emplace_back(u * u * u * P[0] + 3 * u * u * t * P[2] + 3 * u * t * t * P[4] + t * t * t * P[6],
                         u * u * u * P[1] + 3 * u * u * t * P[3] + 3 * u * t * t * P[5] + t * t * t * P[7]);
    }
    const double limit = (tol > 0 ? tol : 0.5) + 1.5;
    bool near = true;
    for (int y = 0; y < 60 && near; ++y)
      for (int x = 0; x < 60 && near; ++x)
        if (b->at(x, y))
        {
          double best = 1e9;
          for (auto& q : curve) best = std::min(best, std::hypot(q.first - x, q.second - y));
          near = best <= limit;
          if (!near) ADD_FAILURE() << "pixel " << x << "," << y << " is " << best << " from the curve, case " << n;
        }
    EXPECT_TRUE(b->at((int)P[0], (int)P[1]) && b->at((int)P[6], (int)P[7])) << "end points, case " << n;

    // a cubic monotone in x: control x between the end x values
    auto f = Black(60, 60);
    const double x0 = rng.frange(0, 20), x3 = rng.frange(40, 60), x1 = x0 + (x3 - x0) * rng.unit(), x2 = x0 + (x3 - x0) * rng.unit();
    const int yfill = rng.range(-5, 65);
    LICE_FillCBezier(f.get(), (float)x0, (float)P[1], (float)x1, (float)P[3], (float)x2, (float)P[5], (float)x3, (float)P[7],
                     yfill, kWhite, 1, 0, 0);
    for (int x = (int)std::ceil(x0); x <= (int)std::floor(x3) && x < 60; ++x)
    {
      // the true curve's y at this column
      double lo = 0, hi = 1;
      for (int i = 0; i < 60; ++i)
      {
        const double t = (lo + hi) / 2, u = 1 - t;
        const double cx = u * u * u * x0 + 3 * u * u * t * x1 + 3 * u * t * t * x2 + t * t * t * x3;
        (cx < x ? lo : hi) = t;
      }
      const double t = lo, u = 1 - t;
      const double cy = u * u * u * P[1] + 3 * u * u * t * P[3] + 3 * u * t * t * P[5] + t * t * t * P[7];
      int top = -1, bottom = -1;
      for (int y = 0; y < 60; ++y)
        if (f->at(x, y)) (top < 0 ? top : bottom) = y, bottom = y;
      const double a = std::min(cy, (double)yfill), z = std::max(cy, (double)yfill);
      EXPECT_LE(std::abs(top - std::max(0.0, std::floor(a + 0.5))), 1) << "column " << x << " case " << n;
      EXPECT_LE(std::abs(bottom - std::min(59.0, std::floor(z + 0.5))), 1) << "column " << x << " case " << n;
    }
  }
}
