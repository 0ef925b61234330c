// The artwork's drawing surface: coverage from distances, premultiplied composing, the one
// dithered rounding, blur and text masks.
#include "paint.h"
#include "text.h"

#include "WDL/lice/lice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace
{
using namespace artwork;

// Summed coverage of a distance function over a w x h grid.
double Area(int w, int h, const std::function<float(float, float)>& dist)
{
  double sum = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) sum += Coverage(dist(x + 0.5f, y + 0.5f));
  return sum;
}

TEST(ArtworkPaint, ShapesCoverTheirArea)
{
  const float pi = (float)kPi;
  const struct
  {
    const char* what;
    std::function<float(float, float)> dist;
    double area, tolerance;
  } cases[] = {
      {"circle r 3.5", [](float x, float y) { return CircleDist(x, y, 20, 20, 3.5f); }, pi * 3.5 * 3.5, 0.02},
      {"circle r 21", [](float x, float y) { return CircleDist(x, y, 40.3f, 39.7f, 21); }, pi * 21 * 21, 0.002},
      {"ring 25..28.5", [](float x, float y) { return RingDist(x, y, 40, 40, 25, 28.5f); },
       pi * (28.5 * 28.5 - 25 * 25), 0.005},
      {"arc, the knob's sweep",
       [pi](float x, float y) { return ArcDist(x, y, 40, 40, 25.5f, 28, -0.75f * pi, 0.75f * pi); },
       0.75 * (28 * 28 - 25.5 * 25.5) * pi, 0.01},
      {"arc, a sliver at 3 o'clock", [pi](float x, float y) { return ArcDist(x, y, 40, 40, 20, 30, 0.4f * pi, 0.6f * pi); },
       0.1 * pi * (30 * 30 - 20 * 20), 0.02},
      {"capsule", [](float x, float y) { return CapsuleDist(x, y, 10, 10, 60, 40, 2.2f); },
       2.2 * std::hypot(50.0, 30.0) + pi * 1.1 * 1.1, 0.02},
      {"rounded rect", [](float x, float y) { return RoundRectDist(x, y, 5, 6, 75, 40, 4); },
       70.0 * 34.0 - (4 - pi) * 4 * 4, 0.005},
  };
  for (const auto& c : cases)
  {
    const double a = Area(80, 80, c.dist);
    EXPECT_NEAR(a, c.area, c.area * c.tolerance) << c.what;
  }
}

// Straight edges on whole pixel coordinates are hard steps; off them, the edge pixel takes
// the covered fraction.
TEST(ArtworkPaint, StraightEdgesOnWholePixelsAreCrisp)
{
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x)
    {
      const float c = Coverage(RoundRectDist(x + 0.5f, y + 0.5f, 3, 4, 15, 12, 0));
      ASSERT_TRUE(c == 0.0f || c == 1.0f) << x << "," << y << " " << c;
    }
  const float edges[] = {3.25f, 3.5f, 3.75f};
  for (float e : edges)
    EXPECT_NEAR(Coverage(RoundRectDist(3.5f, 8.5f, e, 4, 15, 12, 0)), 4 - e, 1e-6) << e;
}

// The reason for float layers: translucent paint on a transparent sprite keeps its colour.
TEST(ArtworkPaint, TranslucentPaintKeepsItsColour)
{
  Layer l(4, 1);
  const Color red = Rgb(200, 40, 20), blue = Rgb(20, 60, 220);
  l.Over(0, 0, red, 0.25f);
  l.Over(1, 0, red, 0.5f);
  l.Over(1, 0, blue, 0.5f); // half blue over half red: alpha 0.75, blue twice red's weight
  Layer top(4, 1);
  top.Over(2, 0, blue, 0.4f);
  l.Over(2, 0, red, 0.5f);
  l.Compose(top, 0, 0, 0.5f); // 0.2 blue over 0.5 red: alpha 0.6, red twice blue's weight
  LICE_MemBitmap bm(4, 1);
  l.ToBitmap(&bm, 0, 0, 1);
  const struct
  {
    int x, r, g, b, a;
  } want[] = {{0, 200, 40, 20, 64}, {1, 80, 53, 153, 191}, {2, 140, 47, 87, 153}, {3, 0, 0, 0, 0}};
  for (const auto& w : want)
  {
    const LICE_pixel p = LICE_GetPixel(&bm, w.x, 0);
    EXPECT_NEAR((int)LICE_GETR(p), w.r, 1) << w.x;
    EXPECT_NEAR((int)LICE_GETG(p), w.g, 1) << w.x;
    EXPECT_NEAR((int)LICE_GETB(p), w.b, 1) << w.x;
    EXPECT_NEAR((int)LICE_GETA(p), w.a, 1) << w.x;
  }
}

// One rounding, dithered: every pixel within a level of the exact value, the mean exact.
TEST(ArtworkPaint, DitherKeepsTheMean)
{
  const float levels[] = {0.1f, 0.4979f, 0.5f, 0.8123f};
  for (float v : levels)
  {
    Layer l(64, 64);
    l.Paint({0, 0, 64, 64}, [v](float, float, Color* c) {
      *c = {v, v, v};
      return 1.0f;
    });
    LICE_MemBitmap bm(64, 64);
    l.ToBitmap(&bm, 0, 0, 5);
    double sum = 0;
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x)
      {
        const int g = (int)LICE_GETG(LICE_GetPixel(&bm, x, y));
        ASSERT_LE(std::fabs(g - v * 255), 1.0) << v;
        sum += g;
      }
    EXPECT_NEAR(sum / (64 * 64), v * 255, 0.05) << v;
  }
}

TEST(ArtworkPaint, BlurSpreadsWithoutLosingPaint)
{
  Layer l(41, 41);
  l.Paint({18, 19, 23, 22}, [](float, float, Color* c) {
    *c = Rgb(255, 255, 255);
    return 1.0f;
  });
  auto total = [&l] {
    double s = 0;
    for (int y = 0; y < l.Height(); ++y)
      for (int x = 0; x < l.Width(); ++x) s += l.AlphaAt(x, y);
    return s;
  };
  const double before = total();
  l.Blur(2);
  EXPECT_NEAR(total(), before, 1e-3);
  EXPECT_LT(l.AlphaAt(20, 20), 1.0f);
  EXPECT_GT(l.AlphaAt(20, 27), 0.0f);
  EXPECT_NEAR(l.AlphaAt(16, 20), l.AlphaAt(24, 20), 1e-6) << "symmetric about the blob";
  EXPECT_NEAR(l.ColorAt(20, 27).r, 1.0f, 1e-5) << "colour stays white as it thins";
}

TEST(ArtworkPaint, TextSharesBaselineAndCentresOnInk)
{
  TextPainter tp;
  const TextStyle styles[] = {{9, false}, {10, true, 1}, {24, true, 6}};
  for (const TextStyle& s : styles)
  {
    const TextMask h = tp.Measure("H", s), x = tp.Measure("x", s), g = tp.Measure("g", s);
    ASSERT_GT(h.inkX1, h.inkX0);
    EXPECT_EQ(h.inkY1, h.baseline);
    EXPECT_EQ(x.inkY1, h.baseline) << "flat-bottomed letters end on the baseline";
    EXPECT_GT(g.inkY1, h.baseline) << "descenders go below it";

    Layer l(200, 60);
    tp.DrawCentred(&l, "OUTPUT", s, 100, 40, Rgb(255, 255, 255));
    int x0 = 200, x1 = 0, bottom = 0;
    for (int yy = 0; yy < 60; ++yy)
      for (int xx = 0; xx < 200; ++xx)
        if (l.AlphaAt(xx, yy) > 0) x0 = std::min(x0, xx), x1 = std::max(x1, xx + 1), bottom = std::max(bottom, yy + 1);
    EXPECT_LE(std::abs((100 - x0) - (x1 - 100)), 1) << "ink centred on the axis";
    EXPECT_EQ(bottom, 40) << "ink ends on the baseline row";
  }
}

} // namespace
