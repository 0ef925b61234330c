// The free glyph blits: 8-bit coverage masks and 1-bit masks combined into a bitmap in
// logical rows. Coverage v combines the colour (all four channels) at weight (v * ia) / 256
// with the class of the operation (copy is the weighted copy even at full coverage); a set
// bit combines at weight ia.
#include "WDL/lice/lice.h"
#include "WDL/lice/lice_combine_p.h"
#include "WDL/lice/lice_text.h"
#include "WDL/lice/src/lice_rows_p.h"
#include "WDL/lice/src/lice_shapes_p.h"

using namespace lice_detail;

namespace
{
template <class COMB>
void CoverageRowsT(LICE_pixel* d, std::ptrdiff_t dstride, const LICE_pixel_chan* a, std::ptrdiff_t aspan, long long w,
                   long long h, LICE_pixel c, int ia)
{
  for (; h > 0; --h, d += dstride, a += aspan)
    for (long long i = 0; i < w; ++i)
      if (const int v = a[i]) PutW<COMB>(d + i, c, (v * ia) / 256);
}

template <class COMB>
void BitRowsT(LICE_pixel* d, std::ptrdiff_t dstride, const unsigned char* bits, std::ptrdiff_t span, long long bit0,
              long long w, long long h, LICE_pixel c, int ia)
{
  for (; h > 0; --h, d += dstride, bits += span)
    for (long long i = 0; i < w; ++i)
    {
      const long long b = bit0 + i;
      if (bits[b >> 3] & (0x80 >> (b & 7))) Put<COMB>(d + i, c, ia);
    }
}

// Clips a glyph_w x glyph_h mask placed at (x, y) against the canvas: the visible part
// starts at mask column sx, row sy and is w x h; false when nothing is visible.
bool ClipMask(const Canvas& cv, long long x, long long y, int glyph_w, int glyph_h, long long& sx, long long& sy,
              long long& dx, long long& dy, long long& w, long long& h)
{
  sx = sy = 0;
  dx = x;
  dy = y;
  w = glyph_w;
  h = glyph_h;
  if (dx < 0)
  {
    sx = -dx;
    w += dx;
    dx = 0;
  }
  if (dy < 0)
  {
    sy = -dy;
    h += dy;
    dy = 0;
  }
  if (w > cv.w - dx) w = cv.w - dx;
  if (h > cv.h - dy) h = cv.h - dy;
  return w > 0 && h > 0;
}

// The first mask row: a negative span walks the rows upward from the last one.
template <class T>
const T* FirstRow(const T* base, int span, int glyph_h)
{
  return span >= 0 ? base : base + (std::ptrdiff_t)(glyph_h - 1) * -(std::ptrdiff_t)span;
}
} // namespace

namespace lice_detail
{
void DrawGlyphOnCanvas(const Canvas& cv, long long x, long long y, LICE_pixel color, const LICE_pixel_chan* alphas,
                       int glyph_w, int glyph_span, int glyph_h, int ia, int mode)
{
  if (!cv.ok() || !alphas || glyph_w < 1 || glyph_h < 1 || ia == 0) return;
  long long sx, sy, dx, dy, w, h;
  if (!ClipMask(cv, x, y, glyph_w, glyph_h, sx, sy, dx, dy, w, h)) return;
  const LICE_pixel_chan* a = FirstRow(alphas, glyph_span, glyph_h) + (std::ptrdiff_t)sy * glyph_span + sx;
  WithShapeClass(mode, ia, false, [&](auto tag) {
    CoverageRowsT<typename decltype(tag)::type>(cv.at(dx, dy), cv.stride, a, glyph_span, w, h, color, ia);
  });
}
} // namespace lice_detail

void LICE_DrawGlyphEx(LICE_IBitmap* dest, int x, int y, LICE_pixel color, const LICE_pixel_chan* alphas, int glyph_w,
                      int glyph_span, int glyph_h, float alpha, int mode)
{
  DrawGlyphOnCanvas(LogicalCanvas(dest), x, y, color, alphas, glyph_w, glyph_span, glyph_h, ShapeWeight(alpha, mode),
                    mode);
}

void LICE_DrawGlyph(LICE_IBitmap* dest, int x, int y, LICE_pixel color, const LICE_pixel_chan* alphas, int glyph_w,
                    int glyph_h, float alpha, int mode)
{
  LICE_DrawGlyphEx(dest, x, y, color, alphas, glyph_w, glyph_w, glyph_h, alpha, mode);
}

void LICE_DrawMonoGlyph(LICE_IBitmap* dest, int x, int y, LICE_pixel color, const unsigned char* bits, int glyph_w,
                        int glyph_span, int glyph_h, float alpha, int mode)
{
  const Canvas cv = LogicalCanvas(dest);
  const int ia = ShapeWeight(alpha, mode);
  if (!cv.ok() || !bits || glyph_w < 1 || glyph_h < 1 || ia == 0) return;
  long long sx, sy, dx, dy, w, h;
  if (!ClipMask(cv, x, y, glyph_w, glyph_h, sx, sy, dx, dy, w, h)) return;
  const unsigned char* row = FirstRow(bits, glyph_span, glyph_h) + (std::ptrdiff_t)sy * glyph_span;
  WithShapeClass(mode, ia, false, [&](auto tag) {
    BitRowsT<typename decltype(tag)::type>(cv.at(dx, dy), cv.stride, row, glyph_span, sx, w, h, color, ia);
  });
}
