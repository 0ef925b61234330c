// Circles, filled circles and arcs.
//
// The drawer works on the octant 0 <= a <= b of offsets from the integer centre: every
// pixel (a, b) found there is drawn at its distinct mirror images (cx +- a, cy +- b) and
// (cx +- b, cy +- a), four on the axes and on the diagonal, eight elsewhere, so the circle is
// symmetric under every mirror and no pixel is combined twice.
//  * Plain (midpoint): centre floor(cx + 0.5), R = truncate(r + 0.5); the axis points, then for
//    x = 1, 2, ... with y from R and d from -R: if d >= 0 then d -= 2 (y - 1), y -= 1; then
//    d += 2 x + 1 and (x, y) is a pixel, while x + 1 < y.
//  * Anti-aliased: ri = truncate(r), ia splits by the fraction of r between the axis pixels at
//    ri + 1 ((int)(frac(r) * ia)) and ri (the rest). Column a carries y = sqrt(r^2 - a^2):
//    (a, yi + 1) gets wo = (int)(frac(y) * ia) and (a, yi) ia - wo, for every such pixel in
//    the octant.
//  * Filled: each column's pixels from the diagonal out to the edge are one run (vertical in
//    the columns cx +- a, horizontal in the rows cy +- a beyond the diagonal), at full weight;
//    anti-aliased fills keep the partial weight only for the outermost pixel (yi + 1).
#include "WDL/lice/lice.h"
#include "WDL/lice/lice_combine_p.h"
#include "WDL/lice/src/lice_rows_p.h"
#include "WDL/lice/src/lice_shapes_p.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

using namespace lice_detail;

namespace
{
// Radii beyond this many pixels are refused: every radius is walked pixel by pixel.
constexpr double kMaxRadius = 16777216.0;
constexpr double kPi = 3.14159265358979323846;

template <class COMB>
struct CirclePainter
{
  typedef CombRun<COMB> RUN;
  const Canvas& cv;
  const Box& box;
  LICE_pixel c;
  long long cx, cy;

  void pix(long long x, long long y, int w) const
  {
    if (w != 0 && box.has(x, y)) Put<COMB>(cv.at(x, y), c, w);
  }

  // The images of octant pixel (a, b), 0 <= a <= b.
  void octant(long long a, long long b, int w) const
  {
    if (w == 0) return;
    if (b == 0)
    {
      pix(cx, cy, w);
      return;
    }
    if (a == 0)
    {
      pix(cx, cy - b, w);
      pix(cx, cy + b, w);
      pix(cx - b, cy, w);
      pix(cx + b, cy, w);
      return;
    }
    pix(cx - a, cy - b, w);
    pix(cx + a, cy - b, w);
    pix(cx - a, cy + b, w);
    pix(cx + a, cy + b, w);
    if (a == b) return;
    pix(cx - b, cy - a, w);
    pix(cx + b, cy - a, w);
    pix(cx - b, cy + a, w);
    pix(cx + b, cy + a, w);
  }

  // The images of the octant run (a, b0..b1), a <= b0 (a = 0: the axes, b0 >= 1).
  void octantRun(long long a, long long b0, long long b1, int w) const
  {
    if (b0 > b1 || w == 0) return;
    VRun<RUN>(cv, box, cx + a, cy - b1, cy - b0, c, w);
    VRun<RUN>(cv, box, cx + a, cy + b0, cy + b1, c, w);
    if (a != 0)
    {
      VRun<RUN>(cv, box, cx - a, cy - b1, cy - b0, c, w);
      VRun<RUN>(cv, box, cx - a, cy + b0, cy + b1, c, w);
    }
    const long long r0 = b0 > a ? b0 : a + 1; // the diagonal pixel belongs to the column
    if (r0 > b1) return;
    HRun<RUN>(cv, box, cx + r0, cx + b1, cy + a, c, w);
    HRun<RUN>(cv, box, cx - b1, cx - r0, cy + a, c, w);
    if (a != 0)
    {
      HRun<RUN>(cv, box, cx + r0, cx + b1, cy - a, c, w);
      HRun<RUN>(cv, box, cx - b1, cx - r0, cy - a, c, w);
    }
  }
};

template <class COMB>
void PlainCircleT(const CirclePainter<COMB>& p, long long R, int ia, bool filled)
{
  if (filled)
  {
    p.pix(p.cx, p.cy, ia);
    p.octantRun(0, 1, R, ia);
  }
  else
    p.octant(0, R, ia);
  if (R < 2) return;
  long long x = 0, y = R, d = -R;
  while (x + 1 < y)
  {
    if (d >= 0)
    {
      d -= 2 * (y - 1);
      --y;
    }
    ++x;
    d += 2 * x + 1;
    if (filled)
      p.octantRun(x, x, y, ia);
    else
      p.octant(x, y, ia);
  }
}

template <class COMB>
void SmoothCircleT(const CirclePainter<COMB>& p, double r, int ia, bool filled)
{
  const long long ri = (long long)r;
  const int wo0 = (int)((r - (double)ri) * ia);
  if (filled)
  {
    p.pix(p.cx, p.cy, ia);
    p.octantRun(0, 1, ri, ia);
  }
  else
    p.octant(0, ri, ia - wo0);
  p.octant(0, ri + 1, wo0);
  const double r2 = r * r;
  for (long long a = 1; (double)a <= r; ++a)
  {
    const double y = std::sqrt(r2 - (double)a * (double)a);
    const long long yi = (long long)y;
    if (yi + 1 < a) break; // past the diagonal: the octant is done
    const int wo = (int)((y - (double)yi) * ia);
    if (filled)
      p.octantRun(a, a, yi, ia);
    else if (yi >= a)
      p.octant(a, yi, ia - wo);
    p.octant(a, yi + 1, wo);
  }
}

// Whole-weight rows of box: the fill of a disc that covers all of it.
template <class COMB>
void FillBoxT(const Canvas& cv, const Box& box, LICE_pixel c, int ia)
{
  for (long long y = box.t; y < box.b; ++y) HRun<CombRun<COMB>>(cv, box, box.l, box.r - 1, y, c, ia);
}

const LICE_pixel_chan* SmallCircleMask(float r, bool aa, int* side);
} // namespace

namespace lice_detail
{
void DrawCircleStored(const Canvas& cv, const Box& clip, double cx, double cy, double r, LICE_pixel color, int ia,
                      int mode, bool aa, bool filled)
{
  if (!cv.ok() || ia == 0 || !Finite(cx) || !Finite(cy) || !(r >= 0.0) || r > kMaxRadius) return;
  Box box = clip;
  box.l = std::max(box.l, 0ll);
  box.t = std::max(box.t, 0ll);
  box.r = std::min(box.r, (long long)cv.w);
  box.b = std::min(box.b, (long long)cv.h);
  if (box.empty()) return;
  // far away centres cannot reach the bitmap (and must not reach the integer conversion)
  const double reach = r + 2.0;
  if (cx + reach < (double)box.l || cx - reach > (double)box.r || cy + reach < (double)box.t ||
      cy - reach > (double)box.b)
    return;
  const long long icx = FloorLL(cx + 0.5), icy = FloorLL(cy + 0.5);

  // A box wholly inside the inner part of the circle: nothing of an outline, all of a fill.
  const double fx = (double)std::max(std::llabs(box.l - icx), std::llabs(box.r - 1 - icx));
  const double fy = (double)std::max(std::llabs(box.t - icy), std::llabs(box.b - 1 - icy));
  const bool coversBox = std::sqrt(fx * fx + fy * fy) < r - 2.0;

  WithShapeClass(mode, ia, !aa, [&](auto tag) {
    typedef typename decltype(tag)::type C;
    if (coversBox)
    {
      if (filled) FillBoxT<C>(cv, box, color, ia);
      return;
    }
    const CirclePainter<C> p{cv, box, color, icx, icy};
    if (aa)
      SmoothCircleT<C>(p, r, ia, filled);
    else
      PlainCircleT<C>(p, (long long)(r + 0.5), ia, filled);
  });
}
} // namespace lice_detail

void LICE_Circle(LICE_IBitmap* dest, float cx, float cy, float r, LICE_pixel color, float alpha, int mode, bool aa)
{
  const Canvas cv = StoredCanvas(dest);
  const int ia = ShapeWeight(alpha, mode);
  if (!cv.ok() || ia == 0 || !(r >= 0.0f) || !Finite(cx) || !Finite(cy)) return;
  const double x = cx, y = cv.mirror((double)cy), R = r;
  if (x + R < -2.0 || x - R > cv.w + 1.0 || y + R < -2.0 || y - R > cv.h + 1.0) return;
  int side = 0;
  if (const LICE_pixel_chan* mask = SmallCircleMask(r, aa, &side))
  {
    // floor, not truncation: a circle left of or above the bitmap keeps its place
    DrawGlyphOnCanvas(cv, FloorLL(x - R), FloorLL(y - R), color, mask, side, side, side, ia, mode);
    return;
  }
  DrawCircleStored(cv, WholeBox(cv), x, y, R, color, ia, mode, aa, false);
}

void LICE_FillCircle(LICE_IBitmap* dest, float cx, float cy, float r, LICE_pixel color, float alpha, int mode,
                     bool aa)
{
  const Canvas cv = StoredCanvas(dest);
  DrawCircleStored(cv, WholeBox(cv), cx, cv.mirror((double)cy), r, color, ShapeWeight(alpha, mode), mode, aa, true);
}

void LICE_Arc(LICE_IBitmap* dest, float cx, float cy, float r, float minAngle, float maxAngle, LICE_pixel color,
              float alpha, int mode, bool aa)
{
  const Canvas cv = StoredCanvas(dest);
  const int ia = ShapeWeight(alpha, mode);
  if (!cv.ok() || ia == 0 || !(r >= 0.0f) || !Finite(cx) || !Finite(cy) || !Finite(minAngle) || !Finite(maxAngle))
    return;
  double lo = minAngle, hi = maxAngle;
  if (lo > hi) std::swap(lo, hi);
  if (hi - lo >= (double)6.2831855f)
  {
    LICE_Circle(dest, cx, cy, r, color, alpha, mode, aa);
    return;
  }
  const double y = cv.mirror((double)cy), x = cx, R = r;
  if (cv.flipped)
  {
    // Stored rows run bottom-up: mirror the angles too, so the arc keeps its place in the
    // picture (a point at angle a is at angle pi - a once y is mirrored).
    const double l = kPi - hi, h = kPi - lo;
    lo = l;
    hi = h;
  }
  const double k2Pi = 2.0 * kPi, kQuarter = kPi / 2.0;
  if (hi >= k2Pi)
  {
    const double s = hi - std::fmod(hi, k2Pi);
    lo -= s;
    hi -= s;
  }
  else if (lo <= -k2Pi)
  {
    const double s = lo - std::fmod(lo, k2Pi);
    lo -= s;
    hi -= s;
  }
  lo += k2Pi;
  hi += k2Pi;
  if (x + R < -2.0 || x - R > cv.w + 1.0 || y + R < -2.0 || y - R > cv.h + 1.0) return;

  const long long icx = FloorLL(x + 0.5), icy = FloorLL(y + 0.5);
  auto point = [&](double a, long long& px, long long& py) {
    px = FloorLL(x + R * std::sin(a) + 0.5);
    py = FloorLL(y - R * std::cos(a) + 0.5);
  };
  // Pieces end at the multiples of pi/2. Spans up to the float 2 pi (a little above the exact
  // one) take at most six pieces; an arc of zero length draws nothing.
  long long q = (long long)std::floor(lo / kQuarter);
  double a = lo;
  for (int piece = 0; piece < 8 && a < hi; ++piece)
  {
    const double b = std::min((double)(q + 1) * kQuarter, hi);
    long long x1, y1, x2, y2;
    point(a, x1, y1);
    point(b, x2, y2);
    Box box;
    box.l = std::min(x1, x2);
    box.r = std::max(x1, x2);
    box.t = std::min(y1, y2);
    box.b = std::max(y1, y2);
    if (box.l != icx) --box.l;
    if (box.r != icx) ++box.r;
    if (box.t != icy) --box.t;
    if (box.b != icy) ++box.b;
    ++box.r; // half-open
    ++box.b;
    DrawCircleStored(cv, box, x, y, R, color, ia, mode, aa, false);
    a = b;
    ++q;
  }
}

// ---------------------------------------------------------------------------------------
// Built-in masks for the smallest circles: radius 1.5 to 4 in halves, side 2r + 1.

namespace
{
const LICE_pixel_chan kPlain15[] = {
  0x00, 0xFF, 0xFF, 0x00,
  0xFF, 0x00, 0x00, 0xFF,
  0xFF, 0x00, 0x00, 0xFF,
  0x00, 0xFF, 0xFF, 0x00,
};
const LICE_pixel_chan kSmooth15[] = {
  0x4F, 0xFF, 0xFF, 0x4F,
  0xFF, 0x0F, 0x0F, 0xFF,
  0xFF, 0x0F, 0x0F, 0xFF,
  0x4F, 0xFF, 0xFF, 0x4F,
};
const LICE_pixel_chan kPlain20[] = {
  0x00, 0x00, 0xFF, 0x00, 0x00,
  0x00, 0xFF, 0x00, 0xFF, 0x00,
  0xFF, 0x00, 0x00, 0x00, 0xFF,
  0x00, 0xFF, 0x00, 0xFF, 0x00,
  0x00, 0x00, 0xFF, 0x00, 0x00,
};
const LICE_pixel_chan kSmooth20[] = {
  0x0F, 0xBF, 0xFF, 0xBF, 0x0F,
  0xBF, 0xD1, 0x4F, 0xD1, 0xBF,
  0xFF, 0x4F, 0x00, 0x4F, 0xFF,
  0xBF, 0xD1, 0x4F, 0xD1, 0xBF,
  0x0F, 0xBF, 0xFF, 0xBF, 0x0F,
};
const LICE_pixel_chan kPlain25[] = {
  0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00,
  0x00, 0xFF, 0x00, 0x00, 0xFF, 0x00,
  0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF,
  0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF,
  0x00, 0xFF, 0x00, 0x00, 0xFF, 0x00,
  0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00,
};
const LICE_pixel_chan kSmooth25[] = {
  0x0F, 0xBF, 0xFF, 0xFF, 0xBF, 0x0F,
  0xBF, 0xD1, 0x4F, 0x4F, 0xD1, 0xBF,
  0xFF, 0x4F, 0x00, 0x00, 0x4F, 0xFF,
  0xFF, 0x4F, 0x00, 0x00, 0x4F, 0xFF,
  0xBF, 0xD1, 0x4F, 0x4F, 0xD1, 0xBF,
  0x0F, 0xBF, 0xFF, 0xFF, 0xBF, 0x0F,
};
const LICE_pixel_chan kPlain30[] = {
  0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00,
  0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00,
  0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF,
  0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF,
  0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF,
  0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00,
  0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00,
};
const LICE_pixel_chan kSmooth30[] = {
  0x00, 0x8F, 0xFF, 0xFF, 0xFF, 0x8F, 0x00,
  0x8F, 0xFF, 0x61, 0x40, 0x61, 0xFF, 0x8F,
  0xFF, 0x70, 0x00, 0x00, 0x00, 0x70, 0xFF,
  0xFF, 0x30, 0x00, 0x00, 0x00, 0x30, 0xFF,
  0xFF, 0x70, 0x00, 0x00, 0x00, 0x70, 0xFF,
  0x8F, 0xFF, 0x61, 0x40, 0x61, 0xFF, 0x8F,
  0x00, 0x8F, 0xFF, 0xFF, 0xFF, 0x8F, 0x00,
};
const LICE_pixel_chan kPlain35[] = {
  0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00,
  0x00, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0x00,
  0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF,
  0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF,
  0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF,
  0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF,
  0x00, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0x00,
  0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00,
};
const LICE_pixel_chan kSmooth35[] = {
  0x00, 0x4F, 0xDE, 0xFF, 0xFF, 0xDE, 0x4F, 0x00,
  0x4F, 0xFF, 0xB0, 0x40, 0x40, 0xB0, 0xFF, 0x4F,
  0xDE, 0xB0, 0x00, 0x00, 0x00, 0x00, 0xB0, 0xDE,
  0xFF, 0x40, 0x00, 0x00, 0x00, 0x00, 0x40, 0xFF,
  0xFF, 0x40, 0x00, 0x00, 0x00, 0x00, 0x40, 0xFF,
  0xDE, 0xB0, 0x00, 0x00, 0x00, 0x00, 0xB0, 0xDE,
  0x4F, 0xFF, 0xB0, 0x40, 0x40, 0xB0, 0xFF, 0x4F,
  0x00, 0x4F, 0xDE, 0xFF, 0xFF, 0xDE, 0x4F, 0x00,
};
const LICE_pixel_chan kPlain40[] = {
  0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00,
  0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00,
  0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF,
  0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF,
  0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF,
  0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF,
  0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF,
  0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00,
  0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00,
};
const LICE_pixel_chan kSmooth40[] = {
  0x00, 0x1F, 0xB0, 0xFF, 0xFF, 0xFF, 0xB0, 0x1F, 0x00,
  0x1F, 0xF0, 0xD1, 0x4F, 0x40, 0x4F, 0xD1, 0xF0, 0x1F,
  0xB0, 0xD1, 0x0F, 0x00, 0x00, 0x00, 0x0F, 0xD1, 0xB0,
  0xFF, 0x4F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x4F, 0xFF,
  0xFF, 0x30, 0x00, 0x00, 0x00, 0x00, 0x00, 0x30, 0xFF,
  0xFF, 0x4F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x4F, 0xFF,
  0xB0, 0xD1, 0x0F, 0x00, 0x00, 0x00, 0x0F, 0xD1, 0xB0,
  0x1F, 0xF0, 0xD1, 0x4F, 0x40, 0x4F, 0xD1, 0xF0, 0x1F,
  0x00, 0x1F, 0xB0, 0xFF, 0xFF, 0xFF, 0xB0, 0x1F, 0x00,
};

const LICE_pixel_chan* SmallCircleMask(float r, bool aa, int* side)
{
  struct Entry
  {
    float r;
    int side;
    const LICE_pixel_chan *plain, *smooth;
  };
  static const Entry kMasks[] = {{1.5f, 4, kPlain15, kSmooth15}, {2.0f, 5, kPlain20, kSmooth20},
                                 {2.5f, 6, kPlain25, kSmooth25}, {3.0f, 7, kPlain30, kSmooth30},
                                 {3.5f, 8, kPlain35, kSmooth35}, {4.0f, 9, kPlain40, kSmooth40}};
  for (const Entry& e : kMasks)
    if (r == e.r)
    {
      *side = e.side;
      return aa ? e.smooth : e.plain;
    }
  return nullptr;
}
} // namespace
