// Seeded random differential tests of lines, shapes and glyph blits against the plain
// reference in support/ref_shapes: bitmaps down to 1 x 1 with wide spans and flipped rows,
// coordinates reaching outside on every side, every operation (and unknown ones), alphas at
// the exact word-mix values and in between. Integer results must match exactly; so must the
// anti-aliased ones, whose weights are integer functions of the same doubles.
// LICE_SEED=<n> replays one seed; LICE_SEEDS=<n> changes the number of seeds per family.
#include "support/prng.h"
#include "support/seeds.h"
#include "support/ref_shapes.h"
#include "support/test_bitmap.h"

#include "WDL/lice/lice.h"
#include "WDL/lice/lice_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using licetest::Case;
using licetest::Pair;
using licetest::Rng;
using licetest::RunSeeds;
using licetest::TestBitmap;

namespace
{
Pair MakePair(Rng& rng, int maxDim) { return licetest::MakePair(rng, maxDim, 8, 5); }

float Alpha(Rng& rng)
{
  switch (rng.below(10))
  {
    case 0:
    case 1: return 1.0f;
    case 2: return 0.5f;
    case 3: return 0.25f;
    case 4: return 0.75f;
    case 5: return (float)rng.range(1, 256) / 256.0f + (rng.chance(50) ? 0.001f : 0.0f);
    case 6: return (float)rng.frange(-0.4, 1.7);
    default: return (float)rng.unit();
  }
}

int Mode(Rng& rng)
{
  int m = rng.chance(92) ? (rng.chance(50) ? 0 : rng.range(1, 5)) : rng.range(6, 9);
  if (rng.chance(20)) m |= LICE_USE_SOURCE_ALPHA; // ignored by shapes
  if (rng.chance(10)) m |= LICE_FILTER_BILINEAR;
  return m;
}

int Around(Rng& rng, int n) { return rng.chance(5) ? rng.range(-4 * n - 20, 4 * n + 20) : rng.range(-n / 2 - 4, n + n / 2 + 4); }
float FAround(Rng& rng, int n)
{
  const float v = (float)rng.frange(-n / 2.0 - 4, n * 1.5 + 4);
  return rng.chance(15) ? (float)(int)v : (rng.chance(10) ? (float)(int)v + 0.5f : v);
}


char g_buf[1024];
constexpr int kSeeds = 3000;

void Finish(Pair& p, Case& c, const std::string& tag)
{
  if (licetest::Checksum(p.real.get()) == licetest::Checksum(p.refc.get())) return;
  c.ok = false;
  licetest::SamePicture(p.real.get(), p.refc.get(), &c.what, tag);
}

const char* FlipText(const Pair& p) { return p.real->isFlipped() ? " flipped" : ""; }

void CaseLine(Rng& rng, Case& c)
{
  Pair p = MakePair(rng, 40);
  int x1 = Around(rng, p.w()), y1 = Around(rng, p.h()), x2 = Around(rng, p.w()), y2 = Around(rng, p.h());
  switch (rng.below(6))
  {
    case 0: y2 = y1; break;                                   // horizontal
    case 1: x2 = x1; break;                                   // vertical
    case 2: y2 = y1 + (x2 - x1) * (rng.chance(50) ? 1 : -1); break; // diagonal
    default: break;
  }
  const LICE_pixel col = rng.biasedPixel();
  const float alpha = Alpha(rng);
  const int mode = Mode(rng);
  const bool aa = rng.chance(50);
  std::snprintf(g_buf, sizeof g_buf, "LICE_Line(%dx%d%s, %d, %d, %d, %d, 0x%08X, %.9g, 0x%x, %d)", p.w(), p.h(),
                FlipText(p), x1, y1, x2, y2, col, alpha, mode, aa);
  c.call = g_buf;
  LICE_Line(p.real.get(), x1, y1, x2, y2, col, alpha, mode, aa);
  refshape::Line(p.refc.get(), x1, y1, x2, y2, col, alpha, mode, aa);
  Finish(p, c, "line");
}

void CaseFLine(Rng& rng, Case& c)
{
  Pair p = MakePair(rng, 40);
  const float x1 = FAround(rng, p.w()), y1 = FAround(rng, p.h());
  float x2 = FAround(rng, p.w()), y2 = FAround(rng, p.h());
  if (rng.chance(10)) x2 = x1;
  if (rng.chance(10)) y2 = y1;
  const LICE_pixel col = rng.biasedPixel();
  const float alpha = Alpha(rng);
  const int mode = Mode(rng);
  const bool aa = rng.chance(75);
  std::snprintf(g_buf, sizeof g_buf, "LICE_FLine(%dx%d%s, %.9g, %.9g, %.9g, %.9g, 0x%08X, %.9g, 0x%x, %d)", p.w(), p.h(),
                FlipText(p), x1, y1, x2, y2, col, alpha, mode, aa);
  c.call = g_buf;
  LICE_FLine(p.real.get(), x1, y1, x2, y2, col, alpha, mode, aa);
  refshape::FLine(p.refc.get(), x1, y1, x2, y2, col, alpha, mode, aa);
  Finish(p, c, "fline");
}

void CaseClip(Rng& rng, Case& c)
{
  const int xlo = rng.range(-30, 30), ylo = rng.range(-30, 30), xhi = xlo + rng.range(-2, 40), yhi = ylo + rng.range(-2, 40);
  int a[4], b[4];
  for (int k = 0; k < 4; ++k) a[k] = b[k] = rng.range(-100, 100);
  const bool ra = LICE_ClipLine(&a[0], &a[1], &a[2], &a[3], xlo, ylo, xhi, yhi);
  const bool rb = refshape::ClipLine(&b[0], &b[1], &b[2], &b[3], xlo, ylo, xhi, yhi);
  float fa[4], fb[4];
  for (int k = 0; k < 4; ++k) fa[k] = fb[k] = (float)rng.frange(-100, 100);
  const bool fra = LICE_ClipFLine(&fa[0], &fa[1], &fa[2], &fa[3], (float)xlo, (float)ylo, (float)xhi, (float)yhi);
  const bool frb = refshape::ClipFLine(&fb[0], &fb[1], &fb[2], &fb[3], (float)xlo, (float)ylo, (float)xhi, (float)yhi);
  bool same = ra == rb && frb == fra;
  for (int k = 0; k < 4 && same; ++k) same = (!ra || a[k] == b[k]) && (!fra || fa[k] == fb[k]);
  // an accepted line lies inside the rectangle
  for (int k = 0; k < 4 && same && ra; ++k) same = (k % 2 ? a[k] >= ylo && a[k] < yhi : a[k] >= xlo && a[k] < xhi);
  if (!same)
  {
    c.ok = false;
    std::snprintf(g_buf, sizeof g_buf, "clip to (%d,%d)-(%d,%d): int %d (%d,%d,%d,%d) vs %d (%d,%d,%d,%d); float %d vs %d",
                  xlo, ylo, xhi, yhi, ra, a[0], a[1], a[2], a[3], rb, b[0], b[1], b[2], b[3], fra, frb);
    c.call = g_buf;
  }
}

void CaseDashed(Rng& rng, Case& c)
{
  Pair p = MakePair(rng, 40);
  int x1 = Around(rng, p.w()), y1 = Around(rng, p.h()), x2 = Around(rng, p.w()), y2 = Around(rng, p.h());
  if (rng.chance(45))
    y2 = y1;
  else if (rng.chance(80))
    x2 = x1;
  const int on = rng.range(-1, 6), off = rng.range(-1, 6);
  const LICE_pixel col = rng.biasedPixel();
  const float alpha = Alpha(rng);
  const int mode = Mode(rng);
  std::snprintf(g_buf, sizeof g_buf, "LICE_DashedLine(%dx%d%s, %d, %d, %d, %d, %d, %d, 0x%08X, %.9g, 0x%x)", p.w(), p.h(),
                FlipText(p), x1, y1, x2, y2, on, off, col, alpha, mode);
  c.call = g_buf;
  LICE_DashedLine(p.real.get(), x1, y1, x2, y2, on, off, col, alpha, mode, rng.chance(50));
  refshape::DashedLine(p.refc.get(), x1, y1, x2, y2, on, off, col, alpha, mode);
  Finish(p, c, "dashed");
}

void CaseRects(Rng& rng, Case& c)
{
  Pair p = MakePair(rng, 40);
  const LICE_pixel col = rng.biasedPixel(), bg = rng.biasedPixel();
  const float alpha = Alpha(rng);
  const int mode = Mode(rng);
  const int kind = rng.below(3);
  if (kind < 2)
  {
    const int x = Around(rng, p.w()), y = Around(rng, p.h()), w = rng.range(-3, p.w() + 3), h = rng.range(-3, p.h() + 3);
    std::snprintf(g_buf, sizeof g_buf, "LICE_%s(%dx%d%s, %d, %d, %d, %d, 0x%08X, 0x%08X, %.9g, 0x%x)",
                  kind ? "BorderedRect" : "DrawRect", p.w(), p.h(), FlipText(p), x, y, w, h, bg, col, alpha, mode);
    c.call = g_buf;
    if (kind)
    {
      LICE_BorderedRect(p.real.get(), x, y, w, h, bg, col, alpha, mode);
      refshape::BorderedRect(p.refc.get(), x, y, w, h, bg, col, alpha, mode);
    }
    else
    {
      LICE_DrawRect(p.real.get(), x, y, w, h, col, alpha, mode);
      refshape::DrawRect(p.refc.get(), x, y, w, h, col, alpha, mode);
    }
  }
  else
  {
    const float x = FAround(rng, p.w()), y = FAround(rng, p.h()), w = (float)rng.frange(-2, p.w() + 4),
                h = (float)rng.frange(-2, p.h() + 4);
    const int cr = rng.range(-1, 12);
    const bool aa = rng.chance(50);
    std::snprintf(g_buf, sizeof g_buf, "LICE_RoundRect(%dx%d%s, %.9g, %.9g, %.9g, %.9g, %d, 0x%08X, %.9g, 0x%x, %d)",
                  p.w(), p.h(), FlipText(p), x, y, w, h, cr, col, alpha, mode, aa);
    c.call = g_buf;
    LICE_RoundRect(p.real.get(), x, y, w, h, cr, col, alpha, mode, aa);
    refshape::RoundRect(p.refc.get(), x, y, w, h, cr, col, alpha, mode, aa);
  }
  Finish(p, c, "rects");
}

float Radius(Rng& rng, int maxR)
{
  switch (rng.below(6))
  {
    case 0: return (float)rng.range(3, 8) * 0.5f; // the masks and their neighbours
    case 1: return (float)rng.range(0, maxR);
    case 2: return (float)rng.range(0, 8) * 0.5f + 0.25f;
    case 3: return (float)rng.frange(0, 3);
    default: return (float)rng.frange(0, maxR);
  }
}

void CaseCircle(Rng& rng, Case& c)
{
  Pair p = MakePair(rng, 48);
  const float cx = FAround(rng, p.w()), cy = FAround(rng, p.h());
  float r = Radius(rng, 40);
  if (rng.chance(3)) r = -r - 1;
  const LICE_pixel col = rng.biasedPixel();
  const float alpha = Alpha(rng);
  const int mode = Mode(rng);
  const bool aa = rng.chance(50), filled = rng.chance(50);
  std::snprintf(g_buf, sizeof g_buf, "LICE_%s(%dx%d%s, %.9g, %.9g, %.9g, 0x%08X, %.9g, 0x%x, %d)",
                filled ? "FillCircle" : "Circle", p.w(), p.h(), FlipText(p), cx, cy, r, col, alpha, mode, aa);
  c.call = g_buf;
  if (filled)
  {
    LICE_FillCircle(p.real.get(), cx, cy, r, col, alpha, mode, aa);
    refshape::FillCircle(p.refc.get(), cx, cy, r, col, alpha, mode, aa);
  }
  else
  {
    LICE_Circle(p.real.get(), cx, cy, r, col, alpha, mode, aa);
    refshape::Circle(p.refc.get(), cx, cy, r, col, alpha, mode, aa);
  }
  Finish(p, c, "circle");
}

void CaseArc(Rng& rng, Case& c)
{
  Pair p = MakePair(rng, 48);
  const float cx = FAround(rng, p.w()), cy = FAround(rng, p.h()), r = Radius(rng, 30);
  const float q = 1.5707964f;
  float a1 = rng.chance(30) ? (float)rng.range(-8, 8) * q : (float)rng.frange(-20, 20);
  float a2 = rng.chance(30) ? (float)rng.range(-8, 8) * q : a1 + (float)rng.frange(-7, 7);
  if (rng.chance(5)) a2 = a1 + 6.2831855f;
  const LICE_pixel col = rng.biasedPixel();
  const float alpha = Alpha(rng);
  const int mode = Mode(rng);
  const bool aa = rng.chance(50);
  std::snprintf(g_buf, sizeof g_buf, "LICE_Arc(%dx%d%s, %.9g, %.9g, %.9g, %.9g, %.9g, 0x%08X, %.9g, 0x%x, %d)", p.w(),
                p.h(), FlipText(p), cx, cy, r, a1, a2, col, alpha, mode, aa);
  c.call = g_buf;
  LICE_Arc(p.real.get(), cx, cy, r, a1, a2, col, alpha, mode, aa);
  refshape::Arc(p.refc.get(), cx, cy, r, a1, a2, col, alpha, mode, aa);
  Finish(p, c, "arc");
}

void CaseTrapezoid(Rng& rng, Case& c)
{
  Pair p = MakePair(rng, 40);
  const int y1 = Around(rng, p.h()), y2 = rng.chance(10) ? y1 : Around(rng, p.h());
  const int x1a = Around(rng, p.w()), x1b = Around(rng, p.w()), x2a = Around(rng, p.w()), x2b = Around(rng, p.w());
  const LICE_pixel col = rng.biasedPixel();
  const float alpha = Alpha(rng);
  const int mode = Mode(rng);
  std::snprintf(g_buf, sizeof g_buf, "LICE_FillTrapezoid(%dx%d%s, %d, %d, %d, %d, %d, %d, 0x%08X, %.9g, 0x%x)", p.w(),
                p.h(), FlipText(p), x1a, x1b, y1, x2a, x2b, y2, col, alpha, mode);
  c.call = g_buf;
  LICE_FillTrapezoid(p.real.get(), x1a, x1b, y1, x2a, x2b, y2, col, alpha, mode);
  refshape::FillTrapezoid(p.refc.get(), x1a, x1b, y1, x2a, x2b, y2, col, alpha, mode);
  Finish(p, c, "trapezoid");
}

void CasePolygon(Rng& rng, Case& c)
{
  Pair p = MakePair(rng, 40);
  const int n = rng.chance(10) ? rng.range(-1, 2) : rng.range(3, 9);
  std::vector<int> x(n > 0 ? n : 1), y(n > 0 ? n : 1);
  // a convex polygon: points on an ellipse in angle order, some rows shared
  const double cx = rng.frange(-5, p.w() + 5), cy = rng.frange(-5, p.h() + 5), rx = rng.frange(0, p.w()), ry = rng.frange(0, p.h());
  const double a0 = rng.frange(0, 6.3);
  for (int i = 0; i < n; ++i)
  {
    const double a = a0 + 6.2831853 * i / n;
    x[i] = (int)std::floor(cx + rx * std::cos(a));
    y[i] = rng.chance(15) && i ? y[i - 1] : (int)std::floor(cy + ry * std::sin(a));
  }
  if (rng.chance(10))
    for (int i = 0; i < n; ++i) x[i] = Around(rng, p.w()), y[i] = Around(rng, p.h()); // anything at all
  const LICE_pixel col = rng.biasedPixel();
  const float alpha = Alpha(rng);
  const int mode = Mode(rng);
  std::string pts;
  for (int i = 0; i < n; ++i) pts += "(" + std::to_string(x[i]) + "," + std::to_string(y[i]) + ")";
  std::snprintf(g_buf, sizeof g_buf, "LICE_FillConvexPolygon(%dx%d%s, %s, %d, 0x%08X, %.9g, 0x%x)", p.w(), p.h(),
                FlipText(p), pts.c_str(), n, col, alpha, mode);
  c.call = g_buf;
  if (n == 3 && rng.chance(50))
    LICE_FillTriangle(p.real.get(), x[0], y[0], x[1], y[1], x[2], y[2], col, alpha, mode);
  else
    LICE_FillConvexPolygon(p.real.get(), x.data(), y.data(), n, col, alpha, mode);
  refshape::FillConvexPolygon(p.refc.get(), x.data(), y.data(), n, col, alpha, mode);
  Finish(p, c, "polygon");
}

void CaseGlyph(Rng& rng, Case& c)
{
  Pair p = MakePair(rng, 32);
  const int gw = rng.range(1, 20), gh = rng.range(1, 20);
  int span = gw + rng.range(0, 5);
  if (rng.chance(30)) span = -span;
  std::vector<unsigned char> mask((size_t)(std::abs(span) + 8) * gh + 8);
  for (auto& v : mask) v = (unsigned char)rng.biasedByte();
  const int x = Around(rng, p.w()), y = Around(rng, p.h());
  const LICE_pixel col = rng.biasedPixel();
  const float alpha = Alpha(rng);
  const int mode = Mode(rng);
  const bool mono = rng.chance(35);
  std::snprintf(g_buf, sizeof g_buf, "LICE_Draw%sGlyph(%dx%d%s, %d, %d, 0x%08X, mask %dx%d span %d, %.9g, 0x%x)",
                mono ? "Mono" : "", p.w(), p.h(), FlipText(p), x, y, col, gw, gh, span, alpha, mode);
  c.call = g_buf;
  if (mono)
  {
    const int bspan = span >= 0 ? (gw + 7) / 8 + rng.range(0, 2) : -((gw + 7) / 8);
    LICE_DrawMonoGlyph(p.real.get(), x, y, col, mask.data(), gw, bspan, gh, alpha, mode);
    refshape::DrawMonoGlyph(p.refc.get(), x, y, col, mask.data(), gw, bspan, gh, alpha, mode);
  }
  else if (span == gw && rng.chance(50))
  {
    LICE_DrawGlyph(p.real.get(), x, y, col, mask.data(), gw, gh, alpha, mode);
    refshape::DrawGlyphEx(p.refc.get(), x, y, col, mask.data(), gw, gw, gh, alpha, mode);
  }
  else
  {
    LICE_DrawGlyphEx(p.real.get(), x, y, col, mask.data(), gw, span, gh, alpha, mode);
    refshape::DrawGlyphEx(p.refc.get(), x, y, col, mask.data(), gw, span, gh, alpha, mode);
  }
  Finish(p, c, "glyph");
}

} // namespace

TEST(ShapesRandom, LineMatchesReference) { RunSeeds("line", CaseLine, 0x2001, kSeeds); }
TEST(ShapesRandom, FLineMatchesReference) { RunSeeds("fline", CaseFLine, 0x2002, kSeeds); }
TEST(ShapesRandom, ClipMatchesReference) { RunSeeds("clip", CaseClip, 0x2003, kSeeds); }
TEST(ShapesRandom, DashedLineMatchesReference) { RunSeeds("dashed", CaseDashed, 0x2004, kSeeds); }
TEST(ShapesRandom, RectanglesMatchReference) { RunSeeds("rects", CaseRects, 0x2005, kSeeds); }
TEST(ShapesRandom, CirclesMatchReference) { RunSeeds("circle", CaseCircle, 0x2006, kSeeds); }
TEST(ShapesRandom, ArcMatchesReference) { RunSeeds("arc", CaseArc, 0x2007, kSeeds); }
TEST(ShapesRandom, TrapezoidMatchesReference) { RunSeeds("trapezoid", CaseTrapezoid, 0x2008, kSeeds); }
TEST(ShapesRandom, PolygonMatchesReference) { RunSeeds("polygon", CasePolygon, 0x2009, kSeeds); }
TEST(ShapesRandom, GlyphMatchesReference) { RunSeeds("glyph", CaseGlyph, 0x200a, kSeeds); }
