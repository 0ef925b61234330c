// Scaling, rotating, delta (affine with second-order terms) and mesh-warp blits.
//
// Sampling rules, shared by every routine here:
//  * Positions are 16.16 fixed point in source pixels; a pixel's sample is taken at its
//    top-left corner, so destination pixel i samples start + i * step. Floats become 16.16
//    once (floor for the scaling blit, truncation toward zero for the others); destination
//    clipping then moves the start in whole 16.16 steps, so clipping never changes the
//    sample of a visible pixel.
//  * A sample is drawn only when its integer part lies inside the source clip rectangle.
//  * Nearest takes the pixel at the integer part. Bilinear weighs the 2 x 2 block at the
//    integer part by the fraction (fx, fy): top-left 65536 - fx - fy + f11, top-right
//    fx - f11, bottom-left fy - f11, bottom-right f11, f11 = (fx * fy) >> 16, and shifts the
//    channel sums right by 16. In the clip's last column only the vertical pair is mixed, in
//    its last row only the horizontal pair, and the last row and column together take the
//    pixel as it is, so no sample reads outside the clip.
//  * The filtered shrink (bilinear asked for, both steps at least 1.7 pixels) averages the
//    3 x 3 (or, beyond 3 pixels per step, 5 x 5) block around the sample pixel, leaving out
//    block pixels outside the clip; the channel sums are divided by the count, truncating.
#include "WDL/lice/lice.h"
#include "WDL/lice/lice_combine_p.h"
#include "WDL/lice/src/lice_rows_p.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

using namespace lice_detail;

namespace
{
// The source clip rectangle: base points at its top-left pixel.
struct SrcClip
{
  const LICE_pixel* base;
  std::ptrdiff_t stride;
  int w, h;
};

#if defined(__GNUC__)
#define LICE_INLINE inline __attribute__((always_inline))
#else
#define LICE_INLINE inline
#endif

// Float parameters beyond this are refused: their 16.16 forms and sums must fit 64 bits.
constexpr double kMaxCoord = 1048576.0;
inline bool Sane(double v) { return v > -kMaxCoord && v < kMaxCoord; }

template <class COMB>
LICE_INLINE void PutNearest(LICE_pixel* out, const SrcClip& c, long long sx, long long sy, int ia)
{
  const LICE_pixel p = c.base[sy * c.stride + sx];
  COMB::doPix((LICE_pixel_chan*)out, (int)LICE_GETR(p), (int)LICE_GETG(p), (int)LICE_GETB(p), (int)LICE_GETA(p), ia);
}

// Two channels per 64-bit lane pair: blue and red at bits 0 and 32, green and alpha at 8 and 40.
inline uint64_t SpreadBR(LICE_pixel p) { return (p & 0xffu) | ((uint64_t)(p & 0xff0000u) << 16); }
inline uint64_t SpreadGA(LICE_pixel p) { return ((p >> 8) & 0xffu) | ((uint64_t)(p & 0xff000000u) << 8); }

template <class COMB>
LICE_INLINE void PutBilinear(LICE_pixel* out, const SrcClip& c, long long sx, long long sy, unsigned fx, unsigned fy,
                        int ia)
{
  const LICE_pixel* p = c.base + sy * c.stride + sx;
  const bool lastCol = sx >= c.w - 1, lastRow = sy >= c.h - 1;
  uint64_t br, ga;
  if (!lastCol && !lastRow)
  {
    const unsigned f11 = (fx * fy) >> 16;
    const uint64_t w00 = 65536 - fx - fy + f11, w01 = fx - f11, w10 = fy - f11, w11 = f11;
    const LICE_pixel p00 = p[0], p01 = p[1], p10 = p[c.stride], p11 = p[c.stride + 1];
    br = SpreadBR(p00) * w00 + SpreadBR(p01) * w01 + SpreadBR(p10) * w10 + SpreadBR(p11) * w11;
    ga = SpreadGA(p00) * w00 + SpreadGA(p01) * w01 + SpreadGA(p10) * w10 + SpreadGA(p11) * w11;
  }
  else if (!lastCol)
  {
    const LICE_pixel p0 = p[0], p1 = p[1];
    br = SpreadBR(p1) * fx + SpreadBR(p0) * (65536 - fx);
    ga = SpreadGA(p1) * fx + SpreadGA(p0) * (65536 - fx);
  }
  else if (!lastRow)
  {
    const LICE_pixel p0 = p[0], p1 = p[c.stride];
    br = SpreadBR(p1) * fy + SpreadBR(p0) * (65536 - fy);
    ga = SpreadGA(p1) * fy + SpreadGA(p0) * (65536 - fy);
  }
  else
  {
    PutNearest<COMB>(out, c, sx, sy, ia);
    return;
  }
  // each 32-bit half holds a sum below 255 * 65536 + 65535
  COMB::doPix((LICE_pixel_chan*)out, (int)((br >> 48) & 0xff), (int)((ga >> 16) & 0xff), (int)((br >> 16) & 0xff),
              (int)((ga >> 48) & 0xff), ia);
}

// ---------------------------------------------------------------------------------------
// Scaling loops

struct ScaleJob
{
  LICE_pixel* d;
  std::ptrdiff_t dstride;
  int w, h;
  SrcClip c;
  long long x0, y0, dx, dy; // 16.16, relative to the clip corner
};

template <class COMB, bool BILINEAR>
void ScaleLoop(const ScaleJob& j, int ia)
{
  LICE_pixel* drow = j.d;
  for (int row = 0; row < j.h; ++row, drow += j.dstride)
  {
    const long long cy = j.y0 + row * j.dy;
    const long long sy = cy >> 16;
    if ((unsigned long long)sy >= (unsigned long long)j.c.h) continue;
    const unsigned fy = (unsigned)(cy & 0xffff);
    long long cx = j.x0;
    for (int i = 0; i < j.w; ++i, cx += j.dx)
    {
      const long long sx = cx >> 16;
      if ((unsigned long long)sx >= (unsigned long long)j.c.w) continue;
      if (BILINEAR)
        PutBilinear<COMB>(drow + i, j.c, sx, sy, (unsigned)(cx & 0xffff), fy, ia);
      else
        PutNearest<COMB>(drow + i, j.c, sx, sy, ia);
    }
  }
}

template <class FAST>
void ScaleLoopFAST(const ScaleJob& j)
{
  LICE_pixel* drow = j.d;
  for (int row = 0; row < j.h; ++row, drow += j.dstride)
  {
    const long long sy = (j.y0 + row * j.dy) >> 16;
    if ((unsigned long long)sy >= (unsigned long long)j.c.h) continue;
    const LICE_pixel* srow = j.c.base + sy * j.c.stride;
    long long cx = j.x0;
    for (int i = 0; i < j.w; ++i, cx += j.dx)
    {
      const long long sx = cx >> 16;
      if ((unsigned long long)sx < (unsigned long long)j.c.w) FAST::doPixFAST(drow + i, srow[sx]);
    }
  }
}

// floor(sum / n) for sum < 2^16 and 1 <= n <= 25 as a multiply: with m = ceil(2^32 / n) the
// error sum * (m - 2^32 / n) / 2^32 stays below 2^-16, less than the 1/n gap to the next integer.
struct BlockDivisors
{
  uint64_t m[26];
  constexpr BlockDivisors() : m()
  {
    for (uint64_t n = 1; n < 26; ++n) m[n] = ((uint64_t)1 << 32) / n + (((uint64_t)1 << 32) % n ? 1 : 0);
  }
};
constexpr BlockDivisors kBlockDiv{};

template <class COMB>
void ShrinkLoop(const ScaleJob& j, int ia, int radius)
{
  LICE_pixel* drow = j.d;
  for (int row = 0; row < j.h; ++row, drow += j.dstride)
  {
    const long long sy = (j.y0 + row * j.dy) >> 16;
    if ((unsigned long long)sy >= (unsigned long long)j.c.h) continue;
    const long long y0 = sy - radius < 0 ? 0 : sy - radius;
    const long long y1 = sy + radius >= j.c.h ? j.c.h - 1 : sy + radius;
    long long cx = j.x0;
    for (int i = 0; i < j.w; ++i, cx += j.dx)
    {
      const long long sx = cx >> 16;
      if ((unsigned long long)sx >= (unsigned long long)j.c.w) continue;
      const long long x0 = sx - radius < 0 ? 0 : sx - radius;
      const long long x1 = sx + radius >= j.c.w ? j.c.w - 1 : sx + radius;
      // blue/red and green/alpha sums side by side in 32-bit halves (each below 25 * 255)
      uint64_t br = 0, ga = 0;
      for (long long yy = y0; yy <= y1; ++yy)
      {
        const LICE_pixel* p = j.c.base + yy * j.c.stride;
        for (long long xx = x0; xx <= x1; ++xx)
        {
          br += SpreadBR(p[xx]);
          ga += SpreadGA(p[xx]);
        }
      }
      const uint64_t m = kBlockDiv.m[(y1 - y0 + 1) * (x1 - x0 + 1)];
      COMB::doPix((LICE_pixel_chan*)(drow + i), (int)(((br >> 32) * m) >> 32), (int)(((ga & 0xffffffffu) * m) >> 32),
                  (int)(((br & 0xffffffffu) * m) >> 32), (int)(((ga >> 32) * m) >> 32), ia);
    }
  }
}

// Runs OP<class>::run(args...) for the combine class of (mode & 0x100FF) at weight ia.
// fixedWeight false (per-pixel weights) keeps the general copy classes even at ia = 256.
template <template <class> class OP, class... Args>
void DispatchClass(int mode, int ia, bool fixedWeight, Args&&... args)
{
  switch (mode & (LICE_USE_SOURCE_ALPHA | LICE_MODE_MASK))
  {
    case LICE_MODE_COPY:
      if (ia < 1) return;
      if (ia == 256 && fixedWeight)
        OP<_LICE_CombinePixelsClobberNoClamp>::run(args...);
      else
        OP<_LICE_CombinePixelsCopyNoClamp>::run(args...);
      break;
    case LICE_MODE_ADD: OP<_LICE_CombinePixelsAdd>::run(args...); break;
    case LICE_MODE_DODGE: OP<_LICE_CombinePixelsColorDodge>::run(args...); break;
    case LICE_MODE_MUL: OP<_LICE_CombinePixelsMulNoClamp>::run(args...); break;
    case LICE_MODE_OVERLAY: OP<_LICE_CombinePixelsOverlay>::run(args...); break;
    case LICE_MODE_HSVADJ: OP<_LICE_CombinePixelsHSVAdjust>::run(args...); break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_COPY:
      if (ia == 256 && fixedWeight)
        OP<_LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>::run(args...);
      else
        OP<_LICE_CombinePixelsCopySourceAlphaNoClamp>::run(args...);
      break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_ADD: OP<_LICE_CombinePixelsAddSourceAlpha>::run(args...); break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_DODGE: OP<_LICE_CombinePixelsColorDodgeSourceAlpha>::run(args...); break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_MUL: OP<_LICE_CombinePixelsMulSourceAlphaNoClamp>::run(args...); break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_OVERLAY: OP<_LICE_CombinePixelsOverlaySourceAlpha>::run(args...); break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_HSVADJ: OP<_LICE_CombinePixelsHSVAdjustSourceAlpha>::run(args...); break;
    default: break;
  }
}

template <class COMB>
struct RunNearest
{
  static void run(const ScaleJob& j, int ia) { ScaleLoop<COMB, false>(j, ia); }
};
template <class COMB>
struct RunBilinear
{
  static void run(const ScaleJob& j, int ia) { ScaleLoop<COMB, true>(j, ia); }
};
template <class COMB>
struct RunShrink
{
  static void run(const ScaleJob& j, int ia, int radius) { ShrinkLoop<COMB>(j, ia, radius); }
};
} // namespace

void LICE_ScaledBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx,
                     float srcy, float srcw, float srch, float alpha, int mode)
{
  if (!dstw || !dsth || alpha == 0.0f) return;
  Rows d(dest), s(src);
  if (!d.ok() || !s.ok()) return;
  if (!Sane(srcx) || !Sane(srcy) || !Sane(srcw) || !Sane(srch)) return;

  // Same size: a plain blit from the rounded position (for bilinear only when the position
  // is within 0.03 of whole pixels, where the filter would change nothing visible).
  if (dstw > 0 && dsth > 0 && std::fabs(srcw - dstw) < 0.001 && std::fabs(srch - dsth) < 0.001 &&
      ((mode & LICE_FILTER_MASK) != LICE_FILTER_BILINEAR ||
       (srcx - std::floor(srcx) < 0.03 && srcy - std::floor(srcy) < 0.03)))
  {
    RECT r;
    r.left = (int)(srcx + 0.5);
    r.top = (int)(srcy + 0.5);
    r.right = r.left + dstw;
    r.bottom = r.top + dsth;
    LICE_Blit(dest, src, dstx, dsty, &r, alpha, mode);
    return;
  }

  // The source clip comes from the caller's rectangle and the samples of the whole
  // destination rectangle, before destination clipping moves the start, so clipping the
  // destination never changes a visible pixel.
  const double leftEdge = srcw < 0 ? (double)srcx + srcw : srcx, rightEdge = srcw > 0 ? (double)srcx + srcw : srcx;
  const double topEdge = srch < 0 ? (double)srcy + srch : srcy, bottomEdge = srch > 0 ? (double)srcy + srch : srcy;

  double sx = srcx, sy = srcy, sw = srcw, sh = srch;
  long long dx = dstx, dy = dsty, dw = dstw, dh = dsth;
  // Mirroring: destination pixel i takes what pixel (|dstw| - 1 - i) of the unmirrored
  // call takes, so the start is the unmirrored call's last sample and the step is negated.
  if (dw < 0)
  {
    dw = -dw;
    dx -= dw;
    sx += sw - sw / (double)dw;
    sw = -sw;
  }
  if (dh < 0)
  {
    dh = -dh;
    dy -= dh;
    sy += sh - sh / (double)dh;
    sh = -sh;
  }
  const double xadv = sw / (double)dw, yadv = sh / (double)dh;
  long long idx = (long long)std::floor(xadv * 65536.0), idy = (long long)std::floor(yadv * 65536.0);
  long long icurx = (long long)std::floor(sx * 65536.0), icury = (long long)std::floor(sy * 65536.0);
  // left: the smaller of the rectangle's edge and the smallest sample (which 16.16 rounding
  // of a negative step can put a little below the edge)
  long long left = (long long)std::floor(leftEdge), top = (long long)std::floor(topEdge);
  {
    const long long minx = (idx >= 0 ? icurx : icurx + (dw - 1) * idx) >> 16;
    const long long miny = (idy >= 0 ? icury : icury + (dh - 1) * idy) >> 16;
    if (minx < left) left = minx;
    if (miny < top) top = miny;
    if (left < 0) left = 0;
    if (top < 0) top = 0;
  }

  if (dx < 0)
  {
    icurx += -dx * idx;
    dw += dx;
    dx = 0;
  }
  if (dy < 0)
  {
    icury += -dy * idy;
    dh += dy;
    dy = 0;
  }
  if (dw > d.w - dx) dw = d.w - dx;
  if (dh > d.h - dy) dh = d.h - dy;
  if (dw < 1 || dh < 1) return;

  // Skip leading samples left of (above) the source and stop before the first one past its
  // far edge: no visible sample is lost.
  const long long limx = (long long)s.w * 65536, limy = (long long)s.h * 65536;
  if (idx > 0)
  {
    if (icurx < 0)
    {
      const long long n = (idx - 1 - icurx) / idx;
      dw -= n;
      dx += n;
      icurx += n * idx;
    }
    if (dw > 0 && (dw - 1) * idx + icurx >= limx) dw = (limx - icurx + idx - 1) / idx;
  }
  if (idy > 0)
  {
    if (icury < 0)
    {
      const long long n = (idy - 1 - icury) / idy;
      dh -= n;
      dy += n;
      icury += n * idy;
    }
    if (dh > 0 && (dh - 1) * idy + icury >= limy) dh = (limy - icury + idy - 1) / idy;
  }
  if (dw < 1 || dh < 1) return;

  long long right = (long long)(rightEdge + 0.999999), bottom = (long long)(bottomEdge + 0.999999);
  if (right > s.w) right = s.w;
  if (bottom > s.h) bottom = s.h;
  if (right <= left || bottom <= top) return;

  ScaleJob j;
  j.d = d.row((int)dy) + dx;
  j.dstride = d.stride;
  j.w = (int)dw;
  j.h = (int)dh;
  j.c.base = s.row((int)top) + left;
  j.c.stride = s.stride;
  j.c.w = (int)(right - left);
  j.c.h = (int)(bottom - top);
  j.x0 = icurx - left * 65536;
  j.y0 = icury - top * 65536;
  j.dx = idx;
  j.dy = idy;

  const int ia = LimitCopyWeight(AlphaToWeight(alpha), mode);
  if (ia == 0) return;
  if ((mode & (LICE_USE_SOURCE_ALPHA | LICE_FILTER_MASK | LICE_MODE_MASK)) == LICE_MODE_COPY)
  {
    if (ia == 256)
    {
      ScaleLoopFAST<_LICE_CombinePixelsClobberFAST>(j);
      return;
    }
    if (ia == 128)
    {
      ScaleLoopFAST<_LICE_CombinePixelsHalfMixFAST>(j);
      return;
    }
  }
  const bool bilinear = (mode & LICE_FILTER_MASK) == LICE_FILTER_BILINEAR;
  if (bilinear && std::fabs(xadv) >= 1.7 && std::fabs(yadv) >= 1.7)
  {
    const long long big = std::max(idx < 0 ? -idx : idx, idy < 0 ? -idy : idy);
    DispatchClass<RunShrink>(mode, ia, true, j, ia, big > 0x30000 ? 2 : 1);
  }
  else if (bilinear)
    DispatchClass<RunBilinear>(mode, ia, true, j, ia);
  else
    DispatchClass<RunNearest>(mode, ia, true, j, ia);
}

// ---------------------------------------------------------------------------------------
// The delta loop

namespace
{
// Destination pixel (i, j) samples s + j * sdy + i * (sdx + j * sdxy); the weight (DeltaBlitAlpha)
// follows the same form, its 16.16 value >> 8 handed to the combine.
struct DeltaJob
{
  LICE_pixel* d;
  std::ptrdiff_t dstride;
  int w, h;
  SrcClip c;
  long long s[2], sdx[2], sdy[2], sdxy[2]; // position (x, y), 16.16 relative to the clip corner
  long long a, adx, ady, adxy;              // weight, 16.16 where 65536 = alpha 1.0
  int maxWeight;                            // per-pixel weights are limited to this
};

template <class COMB, bool BILINEAR, bool VARALPHA>
void DeltaLoop(DeltaJob j, int ia)
{
  LICE_pixel* drow = j.d;
  for (int row = 0; row < j.h; ++row, drow += j.dstride)
  {
    long long cx = j.s[0], cy = j.s[1], ca = j.a;
    for (int i = 0; i < j.w; ++i, cx += j.sdx[0], cy += j.sdx[1], ca += j.adx)
    {
      const long long sx = cx >> 16, sy = cy >> 16;
      if ((unsigned long long)sx >= (unsigned long long)j.c.w || (unsigned long long)sy >= (unsigned long long)j.c.h)
        continue;
      int wgt = ia;
      if (VARALPHA)
      {
        const long long v = ca >> 8;
        if (v < 1) continue;
        wgt = v > j.maxWeight ? j.maxWeight : (int)v;
      }
      if (BILINEAR)
        PutBilinear<COMB>(drow + i, j.c, sx, sy, (unsigned)(cx & 0xffff), (unsigned)(cy & 0xffff), wgt);
      else
        PutNearest<COMB>(drow + i, j.c, sx, sy, wgt);
    }
    j.s[0] += j.sdy[0];
    j.s[1] += j.sdy[1];
    j.a += j.ady;
    j.sdx[0] += j.sdxy[0];
    j.sdx[1] += j.sdxy[1];
    j.adx += j.adxy;
  }
}

template <class COMB>
struct RunDelta
{
  static void run(const DeltaJob& j, int ia, bool bilinear, bool varAlpha)
  {
    if (varAlpha)
    {
      if (bilinear)
        DeltaLoop<COMB, true, true>(j, ia);
      else
        DeltaLoop<COMB, false, true>(j, ia);
    }
    else if (bilinear)
      DeltaLoop<COMB, true, false>(j, ia);
    else
      DeltaLoop<COMB, false, false>(j, ia);
  }
};

inline long long Fix(double v) { return (long long)(v * 65536.0); } // truncation toward zero

// Everything a delta blit needs, in the caller's terms (after mirroring and centring).
struct DeltaSetup
{
  long long dx, dy, dw, dh;
  double sx, sy, dsdx, dtdx, dsdy, dtdy, dsdxdy, dtdxdy;
  double alpha, dadx, dady, dadxdy;
  int clipL, clipT, clipR, clipB;
};

// Moves a quantity of the form v + j * vdy + i * (vdx + j * vdxy) to start k columns and m
// rows later; false on overflow.
bool Advance(long long& v, long long& vdx, long long& vdy, long long vdxy, long long k, long long m)
{
  long long t1, t2, t3, km;
  if (__builtin_mul_overflow(m, vdy, &t1) || __builtin_mul_overflow(k, vdx, &t2) || __builtin_mul_overflow(k, m, &km) ||
      __builtin_mul_overflow(km, vdxy, &t3))
    return false;
  if (__builtin_add_overflow(v, t1, &v) || __builtin_add_overflow(v, t2, &v) || __builtin_add_overflow(v, t3, &v))
    return false;
  long long u;
  if (__builtin_mul_overflow(k, vdxy, &u) || __builtin_add_overflow(vdy, u, &vdy)) return false;
  if (__builtin_mul_overflow(m, vdxy, &u) || __builtin_add_overflow(vdx, u, &vdx)) return false;
  return true;
}

// True when the accumulated values of an h x w walk cannot leave 64 bits.
bool WalkFits(long long v, long long vdx, long long vdy, long long vdxy, long long w, long long h)
{
  const double bound = std::fabs((double)v) + (double)h * std::fabs((double)vdy) +
                       (double)w * (std::fabs((double)vdx) + (double)h * std::fabs((double)vdxy));
  return bound < 4.0e18;
}

void RunDeltaSetup(const Rows& d, const Rows& s, DeltaSetup st, float alphaParam, int mode, bool varAlpha)
{
  const double vals[] = {st.sx, st.sy, st.dsdx, st.dtdx, st.dsdy, st.dtdy, st.dsdxdy, st.dtdxdy};
  for (double v : vals)
    if (!Sane(v)) return;
  if (varAlpha && (!Sane(st.alpha) || !Sane(st.dadx) || !Sane(st.dady) || !Sane(st.dadxdy))) return;
  if (st.clipR <= st.clipL || st.clipB <= st.clipT) return;

  const int ia = varAlpha ? 256 : LimitCopyWeight(AlphaToWeight(alphaParam), mode);
  if (ia == 0) return;

  DeltaJob j;
  j.s[0] = Fix(st.sx - st.clipL);
  j.s[1] = Fix(st.sy - st.clipT);
  j.sdx[0] = Fix(st.dsdx);
  j.sdx[1] = Fix(st.dtdx);
  j.sdy[0] = Fix(st.dsdy);
  j.sdy[1] = Fix(st.dtdy);
  j.sdxy[0] = Fix(st.dsdxdy);
  j.sdxy[1] = Fix(st.dtdxdy);
  j.a = varAlpha ? Fix(st.alpha) : 0;
  j.adx = varAlpha ? Fix(st.dadx) : 0;
  j.ady = varAlpha ? Fix(st.dady) : 0;
  j.adxy = varAlpha ? Fix(st.dadxdy) : 0;
  j.maxWeight = LimitCopyWeight(kMaxWeight, mode);

  long long dx = st.dx, dy = st.dy, dw = st.dw, dh = st.dh;
  const long long k = dx < 0 ? -dx : 0, m = dy < 0 ? -dy : 0;
  if (k >= dw || m >= dh) return;
  for (int c = 0; c < 2; ++c)
    if (!Advance(j.s[c], j.sdx[c], j.sdy[c], j.sdxy[c], k, m)) return;
  if (!Advance(j.a, j.adx, j.ady, j.adxy, k, m)) return;
  dw -= k;
  dh -= m;
  dx += k;
  dy += m;
  if (dw > d.w - dx) dw = d.w - dx;
  if (dh > d.h - dy) dh = d.h - dy;
  if (dw < 1 || dh < 1) return;
  for (int c = 0; c < 2; ++c)
    if (!WalkFits(j.s[c], j.sdx[c], j.sdy[c], j.sdxy[c], dw, dh)) return;
  if (!WalkFits(j.a, j.adx, j.ady, j.adxy, dw, dh)) return;

  j.d = d.row((int)dy) + dx;
  j.dstride = d.stride;
  j.w = (int)dw;
  j.h = (int)dh;
  j.c.base = s.row(st.clipT) + st.clipL;
  j.c.stride = s.stride;
  j.c.w = st.clipR - st.clipL;
  j.c.h = st.clipB - st.clipT;
  const bool bilinear = (mode & LICE_FILTER_MASK) == LICE_FILTER_BILINEAR;
  DispatchClass<RunDelta>(mode, ia, !varAlpha, j, ia, bilinear, varAlpha);
}

void SourceClip(const Rows& s, bool cliptosourcerect, double srcx, double srcy, double srcw, double srch, DeltaSetup& st)
{
  if (cliptosourcerect)
  {
    const double l = srcx > 0 ? srcx : 0, t = srcy > 0 ? srcy : 0;
    const double r = srcx + srcw < s.w ? srcx + srcw : s.w, b = srcy + srch < s.h ? srcy + srch : s.h;
    st.clipL = (int)l;
    st.clipT = (int)t;
    st.clipR = r > 0 ? (int)r : 0;
    st.clipB = b > 0 ? (int)b : 0;
  }
  else
  {
    st.clipL = st.clipT = 0;
    st.clipR = s.w;
    st.clipB = s.h;
  }
}
} // namespace

void LICE_RotatedBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx,
                      float srcy, float srcw, float srch, float angle, bool cliptosourcerect, float alpha, int mode,
                      float rotxcent, float rotycent)
{
  if (!dstw || !dsth) return;
  Rows d(dest), s(src);
  if (!d.ok() || !s.ok()) return;
  if (!Sane(srcx) || !Sane(srcy) || !Sane(srcw) || !Sane(srch) || !Sane(rotxcent) || !Sane(rotycent) ||
      !std::isfinite(angle))
    return;

  DeltaSetup st{};
  SourceClip(s, cliptosourcerect, srcx, srcy, srcw, srch, st);
  double sx = srcx, sy = srcy, sw = srcw, sh = srch;
  st.dx = dstx;
  st.dy = dsty;
  st.dw = dstw;
  st.dh = dsth;
  const bool mirrorX = st.dw < 0, mirrorY = st.dh < 0;
  if (mirrorX)
  {
    st.dw = -st.dw;
    st.dx -= st.dw;
    sx += sw;
    sw = -sw;
  }
  if (mirrorY)
  {
    st.dh = -st.dh;
    st.dy -= st.dh;
    sy += sh;
    sh = -sh;
  }
  const double xs = sw / (double)st.dw, ys = sh / (double)st.dh;
  const double ca = std::cos((double)angle), sa = std::sin((double)angle);
  st.dsdx = xs * ca;
  st.dtdx = -ys * sa;
  st.dsdy = xs * sa;
  st.dtdy = ys * ca;
  sx -= (st.dh * st.dsdy + st.dw * st.dsdx - sw) * 0.5 - rotxcent;
  sy -= (st.dh * st.dtdy + st.dw * st.dtdx - sh) * 0.5 - rotycent;
  // The reflected sample grid sits one destination step off the unmirrored one (its
  // samples fall on the far corners of the pixels): step it back into place.
  if (mirrorX)
  {
    sx += st.dsdx;
    sy += st.dtdx;
  }
  if (mirrorY)
  {
    sx += st.dsdy;
    sy += st.dtdy;
  }
  st.sx = sx;
  st.sy = sy;
  RunDeltaSetup(d, s, st, alpha, mode, false);
}

namespace
{
void DeltaBlitImpl(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx,
                   float srcy, float srcw, float srch, double dsdx, double dtdx, double dsdy, double dtdy,
                   double dsdxdy, double dtdxdy, bool cliptosourcerect, float alpha, int mode, bool varAlpha,
                   double dadx, double dady, double dadxdy)
{
  if (!dstw || !dsth) return;
  Rows d(dest), s(src);
  if (!d.ok() || !s.ok()) return;
  if (!Sane(srcx) || !Sane(srcy) || !Sane(srcw) || !Sane(srch)) return;
  DeltaSetup st{};
  SourceClip(s, cliptosourcerect, srcx, srcy, srcw, srch, st);
  double sx = srcx, sy = srcy;
  st.dx = dstx;
  st.dy = dsty;
  st.dw = dstw;
  st.dh = dsth;
  // mirroring moves the start by the source size; the steps are the caller's
  if (st.dw < 0)
  {
    st.dw = -st.dw;
    st.dx -= st.dw;
    sx += srcw;
  }
  if (st.dh < 0)
  {
    st.dh = -st.dh;
    st.dy -= st.dh;
    sy += srch;
  }
  st.sx = sx;
  st.sy = sy;
  st.dsdx = dsdx;
  st.dtdx = dtdx;
  st.dsdy = dsdy;
  st.dtdy = dtdy;
  st.dsdxdy = dsdxdy;
  st.dtdxdy = dtdxdy;
  st.alpha = alpha;
  st.dadx = dadx;
  st.dady = dady;
  st.dadxdy = dadxdy;
  RunDeltaSetup(d, s, st, alpha, mode, varAlpha);
}
} // namespace

void LICE_DeltaBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx,
                    float srcy, float srcw, float srch, double dsdx, double dtdx, double dsdy, double dtdy,
                    double dsdxdy, double dtdxdy, bool cliptosourcerect, float alpha, int mode)
{
  DeltaBlitImpl(dest, src, dstx, dsty, dstw, dsth, srcx, srcy, srcw, srch, dsdx, dtdx, dsdy, dtdy, dsdxdy, dtdxdy,
                cliptosourcerect, alpha, mode, false, 0, 0, 0);
}

void LICE_DeltaBlitAlpha(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx,
                         float srcy, float srcw, float srch, double dsdx, double dtdx, double dsdy, double dtdy,
                         double dsdxdy, double dtdxdy, bool cliptosourcerect, float alpha, int mode, double dadx,
                         double dady, double dadxdy)
{
  if (std::fabs(dstw * dadx) < 0.0001 && std::fabs(dsth * dady) < 0.0001 && std::fabs(dsth * dadxdy) < 0.0001)
  {
    LICE_DeltaBlit(dest, src, dstx, dsty, dstw, dsth, srcx, srcy, srcw, srch, dsdx, dtdx, dsdy, dtdy, dsdxdy, dtdxdy,
                   cliptosourcerect, alpha, mode);
    return;
  }
  DeltaBlitImpl(dest, src, dstx, dsty, dstw, dsth, srcx, srcy, srcw, srch, dsdx, dtdx, dsdy, dtdy, dsdxdy, dtdxdy,
                cliptosourcerect, alpha, mode, true, dadx, dady, dadxdy);
}

// ---------------------------------------------------------------------------------------
// Mesh warps

namespace
{
// PT::get(points, index, component) reads component c (0 x, 1 y, 2 alpha) of grid point index.
template <class T, int STRIDE>
void TransformImpl(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, const T* pts,
                   int div_w, int div_h, float alpha, int mode)
{
  if (!dest || !src || !pts || dstw <= 0 || dsth <= 0 || div_w < 2 || div_h < 2) return;
  const float xstep = (float)dstw / (float)(div_w - 1), ystep = (float)dsth / (float)(div_h - 1);
  float ypos = (float)dsty;
  int y0 = (int)(ypos + 0.5f);
  for (int cy = 0; cy < div_h - 1; ++cy)
  {
    ypos += ystep;
    const int y1 = (int)(ypos + 0.5f);
    const int ch = y1 - y0;
    float xpos = (float)dstx;
    int x0 = (int)(xpos + 0.5f);
    for (int cx = 0; cx < div_w - 1; ++cx)
    {
      xpos += xstep;
      const int x1 = (int)(xpos + 0.5f);
      const int cw = x1 - x0;
      if (cw > 0 && ch > 0)
      {
        const T* p00 = pts + ((size_t)cy * div_w + cx) * STRIDE;
        const T* p01 = p00 + STRIDE;
        const T* p10 = p00 + (size_t)div_w * STRIDE;
        const T* p11 = p10 + STRIDE;
        const double dsdx = ((double)p01[0] - p00[0]) / cw, dtdx = ((double)p01[1] - p00[1]) / cw;
        const double dsdy = ((double)p10[0] - p00[0]) / ch, dtdy = ((double)p10[1] - p00[1]) / ch;
        const double dsdxdy = (((double)p11[0] - p10[0]) / cw - dsdx) / ch;
        const double dtdxdy = (((double)p11[1] - p10[1]) / cw - dtdx) / ch;
        const float sw = (float)(p01[0] - p00[0]), sh = (float)(p01[1] - p00[1]);
        if (STRIDE == 3)
        {
          const double dadx = ((double)p01[2] - p00[2]) / cw, dady = ((double)p10[2] - p00[2]) / ch;
          const double dadxdy = (((double)p11[2] - p10[2]) / cw - dadx) / ch;
          LICE_DeltaBlitAlpha(dest, src, x0, y0, cw, ch, (float)p00[0], (float)p00[1], sw, sh, dsdx, dtdx, dsdy, dtdy,
                              dsdxdy, dtdxdy, false, (float)p00[2], mode, dadx, dady, dadxdy);
        }
        else
          LICE_DeltaBlit(dest, src, x0, y0, cw, ch, (float)p00[0], (float)p00[1], sw, sh, dsdx, dtdx, dsdy, dtdy,
                         dsdxdy, dtdxdy, false, alpha, mode);
      }
      x0 = x1;
    }
    y0 = y1;
  }
}
} // namespace

void LICE_TransformBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                        const float* srcpoints, int div_w, int div_h, float alpha, int mode)
{
  TransformImpl<float, 2>(dest, src, dstx, dsty, dstw, dsth, srcpoints, div_w, div_h, alpha, mode);
}

void LICE_TransformBlit2(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                         const double* srcpoints, int div_w, int div_h, float alpha, int mode)
{
  TransformImpl<double, 2>(dest, src, dstx, dsty, dstw, dsth, srcpoints, div_w, div_h, alpha, mode);
}

void LICE_TransformBlit2Alpha(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                              const double* srcpoints, int div_w, int div_h, int mode)
{
  TransformImpl<double, 3>(dest, src, dstx, dsty, dstw, dsth, srcpoints, div_w, div_h, 1.0f, mode);
}
