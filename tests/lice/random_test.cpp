// Seeded random differential tests: every case draws bitmaps (sizes down to 1 x 1, row
// spans wider than the width, flipped rows), rectangles (partly or wholly outside, negative),
// alphas and modes from one seed, runs the real routine on one copy and the plain reference
// (support/ref_raster) on another, and compares checksums. A mismatch names the seed, the
// call and the first differing pixel and writes a/b/diff PNGs into lice_failures/.
// LICE_SEED=<n> replays one seed; LICE_SEEDS=<n> changes the number of seeds per routine.
#include "support/prng.h"
#include "support/seeds.h"
#include "support/ref_raster.h"
#include "support/test_bitmap.h"

#include "WDL/lice/lice.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

using licetest::Case;
using licetest::Pair;
using licetest::Rng;
using licetest::RunSeeds;
using licetest::TestBitmap;

namespace
{
Pair MakePair(Rng& rng, int maxDim) { return licetest::MakePair(rng, maxDim, 10, 7); }

std::unique_ptr<TestBitmap> MakeSource(Rng& rng, int maxDim)
{
  const int w = rng.chance(10) ? 1 : rng.range(1, maxDim);
  const int h = rng.chance(10) ? 1 : rng.range(1, maxDim);
  std::unique_ptr<TestBitmap> s(new TestBitmap(w, h, w + (rng.chance(50) ? 0 : rng.range(1, 5)), rng.chance(35)));
  s->fillRandom(rng);
  return s;
}

float RandomAlpha(Rng& rng)
{
  switch (rng.below(10))
  {
    case 0: return 1.0f;
    case 1: return 0.5f;
    case 2: return 0.25f;
    case 3: return 0.75f;
    case 4: return 0.0f;
    case 5: return (float)rng.frange(-0.3, 1.6);
    case 6: return (float)rng.range(1, 256) / 256.0f;
    default: return (float)rng.unit();
  }
}

int RandomMode(Rng& rng, bool filterBits)
{
  int m = rng.chance(90) ? rng.range(0, 5) : rng.range(6, 9);
  if (rng.chance(45)) m |= LICE_USE_SOURCE_ALPHA;
  if (filterBits && rng.chance(50)) m |= LICE_FILTER_BILINEAR;
  if (filterBits && rng.chance(5)) m |= 0x200; // an unknown filter: nearest
  return m;
}

// A coordinate around a range of n, reaching outside on both sides.
int Around(Rng& rng, int n) { return rng.range(-n - 3, n + 3); }


void Compare(TestBitmap& real, TestBitmap& refc, Case& c, const std::string& tag)
{
  if (licetest::Checksum(&real) == licetest::Checksum(&refc)) return;
  c.ok = false;
  licetest::SamePicture(&real, &refc, &c.what, tag);
}

char g_buf[1024];
constexpr int kSeeds = 4000;

void CaseBlit(Rng& rng, Case& c)
{
  Pair d = MakePair(rng, 40);
  auto s = MakeSource(rng, 40);
  RECT r;
  const bool useRect = rng.chance(70);
  r.left = Around(rng, s->getWidth());
  r.top = Around(rng, s->getHeight());
  r.right = r.left + rng.range(-2, s->getWidth() + 4);
  r.bottom = r.top + rng.range(-2, s->getHeight() + 4);
  const int dx = Around(rng, d.real->getWidth()), dy = Around(rng, d.real->getHeight());
  const float alpha = RandomAlpha(rng);
  int mode = RandomMode(rng, false);
  if (rng.chance(15)) mode = 0xf0 | rng.range(0, 15);
  std::snprintf(g_buf, sizeof g_buf, "LICE_Blit(%dx%d span %d%s <- %dx%d, %d, %d, rect %s(%d,%d,%d,%d), %g, 0x%x)",
                d.real->getWidth(), d.real->getHeight(), d.real->getRowSpan(), d.real->isFlipped() ? " flipped" : "",
                s->getWidth(), s->getHeight(), dx, dy, useRect ? "" : "none ", r.left, r.top, r.right, r.bottom,
                alpha, mode);
  c.call = g_buf;
  LICE_Blit(d.real.get(), s.get(), dx, dy, useRect ? &r : nullptr, alpha, mode);
  ref::Blit(d.refc.get(), s.get(), dx, dy, useRect ? &r : nullptr, alpha, mode);
  Compare(*d.real, *d.refc, c, "blit");
}

void CaseFill(Rng& rng, Case& c)
{
  Pair d = MakePair(rng, 40);
  const int W = d.real->getWidth(), H = d.real->getHeight();
  const int x = Around(rng, W), y = Around(rng, H), w = rng.range(-2, W + 6), h = rng.range(-2, H + 6);
  const LICE_pixel color = rng.biasedPixel();
  const float alpha = RandomAlpha(rng);
  const int mode = RandomMode(rng, false);
  std::snprintf(g_buf, sizeof g_buf, "LICE_FillRect(%dx%d, %d, %d, %d, %d, 0x%08X, %g, 0x%x)", W, H, x, y, w, h, color,
                alpha, mode);
  c.call = g_buf;
  LICE_FillRect(d.real.get(), x, y, w, h, color, alpha, mode);
  ref::FillRect(d.refc.get(), x, y, w, h, color, alpha, mode);
  Compare(*d.real, *d.refc, c, "fill");
}

void CasePixelOps(Rng& rng, Case& c)
{
  Pair d = MakePair(rng, 24);
  const int W = d.real->getWidth(), H = d.real->getHeight();
  c.call = "PutPixel/ClearRect/MultiplyAddRect sequence on " + std::to_string(W) + "x" + std::to_string(H);
  for (int n = 0; n < 12; ++n)
  {
    switch (rng.below(3))
    {
      case 0:
      {
        const int x = Around(rng, W), y = Around(rng, H);
        const LICE_pixel col = rng.biasedPixel();
        const float a = RandomAlpha(rng);
        const int mode = RandomMode(rng, false);
        LICE_PutPixel(d.real.get(), x, y, col, a, mode);
        ref::PutPixel(d.refc.get(), x, y, col, a, mode);
        break;
      }
      case 1:
      {
        const int x = Around(rng, W), y = Around(rng, H), w = rng.range(-1, W + 3), h = rng.range(-1, H + 3);
        const LICE_pixel m = rng.u32(), o = rng.u32();
        LICE_ClearRect(d.real.get(), x, y, w, h, m, o);
        ref::ClearRect(d.refc.get(), x, y, w, h, m, o);
        break;
      }
      default:
      {
        const int x = Around(rng, W), y = Around(rng, H), w = rng.range(-1, W + 3), h = rng.range(-1, H + 3);
        float v[8];
        for (float& f : v) f = (float)rng.frange(-1.5, 2.5);
        LICE_MultiplyAddRect(d.real.get(), x, y, w, h, v[0], v[1], v[2], v[3], v[4] * 100, v[5] * 100, v[6] * 100,
                             v[7] * 100);
        ref::MultiplyAddRect(d.refc.get(), x, y, w, h, v[0], v[1], v[2], v[3], v[4] * 100, v[5] * 100, v[6] * 100,
                             v[7] * 100);
        break;
      }
    }
  }
  Compare(*d.real, *d.refc, c, "pixelops");
}

void CaseScaled(Rng& rng, Case& c)
{
  Pair d = MakePair(rng, 40);
  auto s = MakeSource(rng, 40);
  const int W = d.real->getWidth(), H = d.real->getHeight(), SW = s->getWidth(), SH = s->getHeight();
  int dw = rng.range(1, 2 * W + 2), dh = rng.range(1, 2 * H + 2);
  if (rng.chance(20)) dw = -dw;
  if (rng.chance(20)) dh = -dh;
  const int dx = Around(rng, W), dy = Around(rng, H);
  float sx = (float)rng.frange(-4, SW + 2), sy = (float)rng.frange(-4, SH + 2);
  float sw = (float)rng.frange(0.2, 2.5 * SW + 1), sh = (float)rng.frange(0.2, 2.5 * SH + 1);
  if (rng.chance(30)) sx = (float)(int)sx, sy = (float)(int)sy; // whole positions
  if (rng.chance(10)) sw = (float)std::abs(dw), sh = (float)std::abs(dh); // the no-scaling shortcut
  if (rng.chance(10)) sx += 0.01f;
  if (rng.chance(15)) sw = (float)std::abs(dw) * (float)rng.range(2, 6), sh = (float)std::abs(dh) * (float)rng.range(2, 6);
  if (rng.chance(5)) sw = -sw;
  const float alpha = RandomAlpha(rng);
  const int mode = RandomMode(rng, true);
  std::snprintf(g_buf, sizeof g_buf,
                "LICE_ScaledBlit(%dx%d%s <- %dx%d%s, dst %d %d %d %d, src %.9g %.9g %.9g %.9g, %g, 0x%x)", W, H,
                d.real->isFlipped() ? " flipped" : "", SW, SH, s->isFlipped() ? " flipped" : "", dx, dy, dw, dh, sx, sy,
                sw, sh, alpha, mode);
  c.call = g_buf;
  LICE_ScaledBlit(d.real.get(), s.get(), dx, dy, dw, dh, sx, sy, sw, sh, alpha, mode);
  ref::ScaledBlit(d.refc.get(), s.get(), dx, dy, dw, dh, sx, sy, sw, sh, alpha, mode);
  Compare(*d.real, *d.refc, c, "scaled");
}

void CaseRotated(Rng& rng, Case& c)
{
  Pair d = MakePair(rng, 40);
  auto s = MakeSource(rng, 40);
  const int W = d.real->getWidth(), H = d.real->getHeight(), SW = s->getWidth(), SH = s->getHeight();
  int dw = rng.range(1, W + 8), dh = rng.range(1, H + 8);
  if (rng.chance(15)) dw = -dw;
  if (rng.chance(15)) dh = -dh;
  const int dx = Around(rng, W), dy = Around(rng, H);
  const float sx = (float)rng.frange(-3, SW), sy = (float)rng.frange(-3, SH);
  const float sw = (float)rng.frange(1, SW + 3), sh = (float)rng.frange(1, SH + 3);
  const float angle = rng.chance(20) ? 0.0f : (float)rng.frange(-7, 7);
  const bool clip = rng.chance(50);
  const float rx = rng.chance(50) ? 0.0f : (float)rng.frange(-5, 5), ry = rng.chance(50) ? 0.0f : (float)rng.frange(-5, 5);
  const float alpha = RandomAlpha(rng);
  const int mode = RandomMode(rng, true);
  std::snprintf(g_buf, sizeof g_buf,
                "LICE_RotatedBlit(%dx%d <- %dx%d, %d %d %d %d, %.9g %.9g %.9g %.9g, angle %.9g, clip %d, %g, 0x%x, %g, %g)",
                W, H, SW, SH, dx, dy, dw, dh, sx, sy, sw, sh, angle, clip, alpha, mode, rx, ry);
  c.call = g_buf;
  LICE_RotatedBlit(d.real.get(), s.get(), dx, dy, dw, dh, sx, sy, sw, sh, angle, clip, alpha, mode, rx, ry);
  ref::RotatedBlit(d.refc.get(), s.get(), dx, dy, dw, dh, sx, sy, sw, sh, angle, clip, alpha, mode, rx, ry);
  Compare(*d.real, *d.refc, c, "rotated");
}

void CaseDelta(Rng& rng, Case& c)
{
  Pair d = MakePair(rng, 32);
  auto s = MakeSource(rng, 32);
  const int W = d.real->getWidth(), H = d.real->getHeight(), SW = s->getWidth(), SH = s->getHeight();
  int dw = rng.range(1, W + 8), dh = rng.range(1, H + 8);
  if (rng.chance(10)) dw = -dw;
  if (rng.chance(10)) dh = -dh;
  const int dx = Around(rng, W), dy = Around(rng, H);
  const float sx = (float)rng.frange(-3, SW), sy = (float)rng.frange(-3, SH);
  const float sw = (float)rng.frange(1, SW + 3), sh = (float)rng.frange(1, SH + 3);
  double st[6];
  for (int k = 0; k < 4; ++k) st[k] = rng.frange(-2, 2);
  st[4] = rng.chance(50) ? 0 : rng.frange(-0.1, 0.1);
  st[5] = rng.chance(50) ? 0 : rng.frange(-0.1, 0.1);
  const bool clip = rng.chance(50);
  const float alpha = RandomAlpha(rng);
  const int mode = RandomMode(rng, true);
  const bool varAlpha = rng.chance(50);
  const double da = rng.frange(-0.05, 0.05), db = rng.frange(-0.05, 0.05), dc = rng.chance(50) ? 0 : rng.frange(-0.01, 0.01);
  std::snprintf(g_buf, sizeof g_buf,
                "LICE_DeltaBlit%s(%dx%d <- %dx%d, %d %d %d %d, %.9g %.9g %.9g %.9g, %.9g %.9g %.9g %.9g %.9g %.9g, clip %d, "
                "%g, 0x%x, %.9g %.9g %.9g)",
                varAlpha ? "Alpha" : "", W, H, SW, SH, dx, dy, dw, dh, sx, sy, sw, sh, st[0], st[1], st[2], st[3],
                st[4], st[5], clip, alpha, mode, da, db, dc);
  c.call = g_buf;
  if (varAlpha)
  {
    LICE_DeltaBlitAlpha(d.real.get(), s.get(), dx, dy, dw, dh, sx, sy, sw, sh, st[0], st[1], st[2], st[3], st[4],
                        st[5], clip, alpha, mode, da, db, dc);
    ref::DeltaBlitAlpha(d.refc.get(), s.get(), dx, dy, dw, dh, sx, sy, sw, sh, st[0], st[1], st[2], st[3], st[4],
                        st[5], clip, alpha, mode, da, db, dc);
  }
  else
  {
    LICE_DeltaBlit(d.real.get(), s.get(), dx, dy, dw, dh, sx, sy, sw, sh, st[0], st[1], st[2], st[3], st[4], st[5],
                   clip, alpha, mode);
    ref::DeltaBlit(d.refc.get(), s.get(), dx, dy, dw, dh, sx, sy, sw, sh, st[0], st[1], st[2], st[3], st[4], st[5],
                   clip, alpha, mode);
  }
  Compare(*d.real, *d.refc, c, "delta");
}

void CaseGrad(Rng& rng, Case& c)
{
  Pair d = MakePair(rng, 40);
  const int W = d.real->getWidth(), H = d.real->getHeight();
  const int x = Around(rng, W), y = Around(rng, H), w = rng.range(-2, W + 6), h = rng.range(-2, H + 6);
  float v[12];
  for (int k = 0; k < 4; ++k) v[k] = (float)rng.frange(-0.2, 1.2);
  for (int k = 4; k < 12; ++k) v[k] = rng.chance(30) ? 0.0f : (float)rng.frange(-0.08, 0.08);
  if (rng.chance(30)) v[3] = 1.0f, v[7] = 0.0f, v[11] = 0.0f;
  const int mode = rng.range(0, 6);
  std::snprintf(g_buf, sizeof g_buf, "LICE_GradRect(%dx%d, %d %d %d %d, start %g %g %g %g, dx %g %g %g %g, dy %g %g %g %g, %d)",
                W, H, x, y, w, h, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11], mode);
  c.call = g_buf;
  LICE_GradRect(d.real.get(), x, y, w, h, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11], mode);
  ref::GradRect(d.refc.get(), x, y, w, h, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11], mode);
  Compare(*d.real, *d.refc, c, "grad");
}

void CaseBlur(Rng& rng, Case& c)
{
  Pair d = MakePair(rng, 40);
  const bool self = rng.chance(40);
  auto s = MakeSource(rng, 40);
  LICE_IBitmap* srcReal = self ? (LICE_IBitmap*)d.real.get() : s.get();
  LICE_IBitmap* srcRef = self ? (LICE_IBitmap*)d.refc.get() : s.get();
  const int SW = srcReal->getWidth(), SH = srcReal->getHeight();
  const int sx = Around(rng, SW), sy = Around(rng, SH), sw = rng.range(-1, SW + 5), sh = rng.range(-1, SH + 5);
  const int dx = Around(rng, d.real->getWidth()), dy = Around(rng, d.real->getHeight());
  std::snprintf(g_buf, sizeof g_buf, "LICE_Blur(%dx%d <- %s%dx%d, %d %d, %d %d %d %d)", d.real->getWidth(),
                d.real->getHeight(), self ? "itself " : "", SW, SH, dx, dy, sx, sy, sw, sh);
  c.call = g_buf;
  LICE_Blur(d.real.get(), srcReal, dx, dy, sx, sy, sw, sh);
  ref::Blur(d.refc.get(), srcRef, dx, dy, sx, sy, sw, sh);
  Compare(*d.real, *d.refc, c, "blur");
}

void CaseHalve(Rng& rng, Case& c)
{
  Pair d = MakePair(rng, 30);
  auto s = MakeSource(rng, 60);
  c.call = "LICE_HalveBlitAA(" + std::to_string(d.real->getWidth()) + "x" + std::to_string(d.real->getHeight()) + " <- " +
           std::to_string(s->getWidth()) + "x" + std::to_string(s->getHeight()) + ")";
  LICE_HalveBlitAA(d.real.get(), s.get());
  ref::HalveBlitAA(d.refc.get(), s.get());
  Compare(*d.real, *d.refc, c, "halve");
}

} // namespace

TEST(RasterRandom, BlitMatchesReference) { RunSeeds("blit", CaseBlit, 0x1001, kSeeds); }
TEST(RasterRandom, FillRectMatchesReference) { RunSeeds("fill", CaseFill, 0x1002, kSeeds); }
TEST(RasterRandom, PixelOpsMatchReference) { RunSeeds("pixelops", CasePixelOps, 0x1003, kSeeds); }
TEST(RasterRandom, ScaledBlitMatchesReference) { RunSeeds("scaled", CaseScaled, 0x1004, kSeeds); }
TEST(RasterRandom, RotatedBlitMatchesReference) { RunSeeds("rotated", CaseRotated, 0x1005, kSeeds); }
TEST(RasterRandom, DeltaBlitMatchesReference) { RunSeeds("delta", CaseDelta, 0x1006, kSeeds); }
TEST(RasterRandom, GradRectMatchesReference) { RunSeeds("grad", CaseGrad, 0x1007, kSeeds); }
TEST(RasterRandom, BlurMatchesReference) { RunSeeds("blur", CaseBlur, 0x1008, kSeeds); }
TEST(RasterRandom, HalveBlitMatchesReference) { RunSeeds("halve", CaseHalve, 0x1009, kSeeds); }
