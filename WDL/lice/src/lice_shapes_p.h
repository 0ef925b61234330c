// Private: what the line, circle, polygon and glyph sources share. A canvas addressed in
// memory order, run painters (a run is n pixels a fixed step apart, painted with one
// combine class at one weight), the choice of class per primitive, and safe float
// conversions.
//
// Flipped bitmaps: shapes mirror their y coordinates (y -> height - 1 - y) and then draw into
// the rows as stored, so every rounding rule works in stored coordinates. Glyph blits work in
// logical rows instead.
//
// Zero weights: a pixel whose weight works out to 0 is skipped, never combined (for HSV
// adjustment a combine at weight 0 would still rewrite the pixel).
#ifndef WDL_LICE_SRC_LICE_SHAPES_P_H
#define WDL_LICE_SRC_LICE_SHAPES_P_H

#include "WDL/lice/lice.h"
#include "WDL/lice/lice_combine_p.h"
#include "WDL/lice/src/lice_rows_p.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <type_traits>

namespace lice_detail
{
struct Canvas
{
  LICE_pixel* row0 = nullptr;
  std::ptrdiff_t stride = 0;
  int w = 0, h = 0;
  bool flipped = false;

  bool ok() const { return row0 != nullptr; }
  LICE_pixel* at(long long x, long long y) const { return row0 + (std::ptrdiff_t)y * stride + (std::ptrdiff_t)x; }
  bool inside(long long x, long long y) const { return x >= 0 && y >= 0 && x < w && y < h; }
  // the stored-row y of logical row y
  long long mirror(long long y) const { return flipped ? (long long)h - 1 - y : y; }
  double mirror(double y) const { return flipped ? (double)h - 1.0 - y : y; }
};

// Rows as stored: row 0 is the first row in memory whatever the flipped flag says.
inline Canvas StoredCanvas(LICE_IBitmap* bm)
{
  Canvas c;
  if (!bm) return c;
  LICE_pixel* bits = bm->getBits();
  const int w = bm->getWidth(), h = bm->getHeight();
  if (!bits || w < 1 || h < 1) return c;
  c.row0 = bits;
  c.stride = bm->getRowSpan();
  c.w = w;
  c.h = h;
  c.flipped = bm->isFlipped();
  return c;
}

// Logical rows (row 0 on top), for the glyph blits.
inline Canvas LogicalCanvas(LICE_IBitmap* bm)
{
  Canvas c;
  const Rows r(bm);
  if (!r.ok()) return c;
  c.row0 = r.row0;
  c.stride = r.stride;
  c.w = r.w;
  c.h = r.h;
  return c;
}

// Half-open clip box [l, r) x [t, b).
struct Box
{
  long long l = 0, t = 0, r = 0, b = 0;
  bool empty() const { return l >= r || t >= b; }
  bool has(long long x, long long y) const { return x >= l && x < r && y >= t && y < b; }
};
inline Box WholeBox(const Canvas& c)
{
  Box b;
  b.r = c.w;
  b.b = c.h;
  return b;
}

// Shape weight: ia = truncate(alpha * 256) (limited as for every routine); a copy at a
// negative weight would overshoot away from the colour, so it draws nothing.
inline int ShapeWeight(float alpha, int mode)
{
  const int ia = LimitCopyWeight(AlphaToWeight(alpha), mode);
  if ((mode & LICE_MODE_MASK) == LICE_MODE_COPY && ia < 0) return 0;
  return ia;
}

template <class COMB>
inline void Put(LICE_pixel* p, LICE_pixel c, int w)
{
  COMB::doPix((LICE_pixel_chan*)p, (int)LICE_GETR(c), (int)LICE_GETG(c), (int)LICE_GETB(c), (int)LICE_GETA(c), w);
}

// Put for computed weights: a weight of 0 leaves the pixel alone.
template <class COMB>
inline void PutW(LICE_pixel* p, LICE_pixel c, int w)
{
  if (w != 0) Put<COMB>(p, c, w);
}

// ---------------------------------------------------------------------------------------
// Run painters: static Run(p, step, n, colour, weight) paints n pixels step apart.

template <class COMB>
struct CombRun
{
  typedef COMB Comb;
  static void Run(LICE_pixel* p, std::ptrdiff_t step, long long n, LICE_pixel c, int w)
  {
    if (w == 0) return;
    if constexpr (std::is_same<COMB, _LICE_CombinePixelsClobberNoClamp>::value)
    {
      for (; n > 0; --n, p += step) *p = c;
      return;
    }
    if constexpr (std::is_same<COMB, _LICE_CombinePixelsCopyNoClamp>::value)
    {
      if (step == 1 && w > 0 && w < 256)
      {
        FillRowCopy(p, (int)n, c, w); // the same per-channel copy, four pixels at a time
        return;
      }
    }
    for (; n > 0; --n, p += step) Put<COMB>(p, c, w);
  }
};

// Whole-word mixes; the weight is implied by the class.
template <class FAST>
struct FastRun
{
  static void Run(LICE_pixel* p, std::ptrdiff_t step, long long n, LICE_pixel c, int)
  {
    const LICE_pixel cp = FAST::prep(c);
    for (; n > 0; --n, p += step) FAST::doPixFAST(p, cp);
  }
};

template <class T>
struct Tag
{
  typedef T type;
};

// f(Tag<COMB>) for the class of operation `mode & 0xff`; copy at full weight stores and at
// 128 takes the per-channel half mix when `exactCopies` (the plain line and circle forms).
template <class F>
void WithShapeClass(int mode, int ia, bool exactCopies, F&& f)
{
  if (ia == 0) return;
  switch (mode & LICE_MODE_MASK)
  {
    case LICE_MODE_COPY:
      if (exactCopies && ia == 256)
        f(Tag<_LICE_CombinePixelsClobberNoClamp>());
      else if (exactCopies && ia == 128)
        f(Tag<_LICE_CombinePixelsHalfMixNoClamp>());
      else
        f(Tag<_LICE_CombinePixelsCopyNoClamp>());
      break;
    case LICE_MODE_ADD: f(Tag<_LICE_CombinePixelsAdd>()); break;
    case LICE_MODE_DODGE: f(Tag<_LICE_CombinePixelsColorDodge>()); break;
    case LICE_MODE_MUL: f(Tag<_LICE_CombinePixelsMulNoClamp>()); break;
    case LICE_MODE_OVERLAY: f(Tag<_LICE_CombinePixelsOverlay>()); break;
    case LICE_MODE_HSVADJ: f(Tag<_LICE_CombinePixelsHSVAdjust>()); break;
    default: break;
  }
}

// f(Tag<RUN>) for solid spans that take the whole-word mixes at the four fixed copy
// weights 256, 128, 64 and 192 (fills), else the class of the operation.
template <class F>
void WithFillRun(int mode, int ia, F&& f)
{
  if (ia == 0) return;
  if ((mode & LICE_MODE_MASK) == LICE_MODE_COPY)
    switch (ia)
    {
      case 256: f(Tag<FastRun<_LICE_CombinePixelsClobberFAST>>()); return;
      case 128: f(Tag<FastRun<_LICE_CombinePixelsHalfMix2FAST>>()); return;
      case 64: f(Tag<FastRun<_LICE_CombinePixelsQuarterMix2FAST>>()); return;
      case 192: f(Tag<FastRun<_LICE_CombinePixelsThreeQuarterMix2FAST>>()); return;
      default: break;
    }
  WithShapeClass(mode, ia, false, [&](auto tag) { f(Tag<CombRun<typename decltype(tag)::type>>()); });
}

// Horizontal and vertical line spans: in copy mode the exact alphas 1.0, 0.5, 0.25 and 0.75
// take the whole-word store and mixes; otherwise the exact-copy class choice.
template <class F>
void WithLineSpanRun(float alpha, int mode, int ia, F&& f)
{
  if (ia == 0) return;
  if ((mode & LICE_MODE_MASK) == LICE_MODE_COPY)
  {
    if (alpha == 1.0f) return f(Tag<FastRun<_LICE_CombinePixelsClobberFAST>>());
    if (alpha == 0.5f) return f(Tag<FastRun<_LICE_CombinePixelsHalfMix2FAST>>());
    if (alpha == 0.25f) return f(Tag<FastRun<_LICE_CombinePixelsQuarterMix2FAST>>());
    if (alpha == 0.75f) return f(Tag<FastRun<_LICE_CombinePixelsThreeQuarterMix2FAST>>());
  }
  WithShapeClass(mode, ia, true, [&](auto tag) { f(Tag<CombRun<typename decltype(tag)::type>>()); });
}

// ---------------------------------------------------------------------------------------
// Float helpers

inline bool Finite(double v) { return std::isfinite(v); }

// floor(v) as a 64-bit integer, v already known to lie well inside +-2^62.
inline long long FloorLL(double v) { return (long long)std::floor(v); }

// Paints the run [x0, x1] x {y} (or {x} x [y0, y1]) clipped to box.
template <class RUN>
inline void HRun(const Canvas& cv, const Box& box, long long x0, long long x1, long long y, LICE_pixel c, int w)
{
  if (y < box.t || y >= box.b) return;
  if (x0 < box.l) x0 = box.l;
  if (x1 >= box.r) x1 = box.r - 1;
  if (x0 > x1) return;
  RUN::Run(cv.at(x0, y), 1, x1 - x0 + 1, c, w);
}
template <class RUN>
inline void VRun(const Canvas& cv, const Box& box, long long x, long long y0, long long y1, LICE_pixel c, int w)
{
  if (x < box.l || x >= box.r) return;
  if (y0 < box.t) y0 = box.t;
  if (y1 >= box.b) y1 = box.b - 1;
  if (y0 > y1) return;
  RUN::Run(cv.at(x, y0), cv.stride, y1 - y0 + 1, c, w);
}

// ---------------------------------------------------------------------------------------
// Entry points shared between the shape sources (stored coordinates, y already mirrored).

// Cohen-Sutherland against columns 0..w-1 and rows 0..h-1; false when rejected.
bool ClipLineToSize(long long& x1, long long& y1, long long& x2, long long& y2, long long w, long long h);
bool ClipFLineToSize(double& x1, double& y1, double& x2, double& y2, double w, double h);

void DrawLineStored(const Canvas& cv, long long x1, long long y1, long long x2, long long y2, LICE_pixel color,
                    float alpha, int mode, bool aa);

// The circle drawer: outline or filled, plain or anti-aliased, clipped to box.
void DrawCircleStored(const Canvas& cv, const Box& box, double cx, double cy, double r, LICE_pixel color, int ia,
                      int mode, bool aa, bool filled);

// Rows y1..y2 of a trapezoid in stored coordinates.
void FillTrapezoidStored(const Canvas& cv, long long x1a, long long x1b, long long y1, long long x2a, long long x2b,
                         long long y2, LICE_pixel color, int ia, int mode);

// The coverage-mask blit onto any canvas (negative span: rows upward from the last).
void DrawGlyphOnCanvas(const Canvas& cv, long long x, long long y, LICE_pixel color, const LICE_pixel_chan* alphas,
                       int glyph_w, int glyph_span, int glyph_h, int ia, int mode);
} // namespace lice_detail

#endif
