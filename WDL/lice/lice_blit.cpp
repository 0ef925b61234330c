// Plain blits, solid and gradient fills, multiply-add, blur and 2:1 halving.
#include "WDL/lice/lice.h"
#include "WDL/lice/lice_combine_p.h"
#include "WDL/lice/src/lice_rows_p.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace lice_detail;

namespace
{
// The per-pixel loop for (mode & 0x100FF) at weight ia (1..); same-bitmap blits stay on the
// scalar loops, whose pixel-by-pixel order the vector kernels do not keep.
void BlitCombine(LICE_pixel* d, std::ptrdiff_t dstride, const LICE_pixel* s, std::ptrdiff_t sstride, int w, int h,
                 int ia, int mode, bool sameBitmap)
{
  switch (mode & (LICE_USE_SOURCE_ALPHA | LICE_MODE_MASK))
  {
    case LICE_MODE_COPY:
      if (ia < 1) return;
      if (ia == 256)
        BlitRows<_LICE_CombinePixelsClobberNoClamp>(d, dstride, s, sstride, w, h, ia);
      else if (ia < 256 && !sameBitmap)
        for (; h > 0; --h, d += dstride, s += sstride) BlitRowCopy(d, s, w, ia);
      else
        BlitRows<_LICE_CombinePixelsCopyNoClamp>(d, dstride, s, sstride, w, h, ia);
      break;
    case LICE_MODE_ADD: BlitRows<_LICE_CombinePixelsAdd>(d, dstride, s, sstride, w, h, ia); break;
    case LICE_MODE_DODGE: BlitRows<_LICE_CombinePixelsColorDodge>(d, dstride, s, sstride, w, h, ia); break;
    case LICE_MODE_MUL: BlitRows<_LICE_CombinePixelsMulNoClamp>(d, dstride, s, sstride, w, h, ia); break;
    case LICE_MODE_OVERLAY: BlitRows<_LICE_CombinePixelsOverlay>(d, dstride, s, sstride, w, h, ia); break;
    case LICE_MODE_HSVADJ: BlitRows<_LICE_CombinePixelsHSVAdjust>(d, dstride, s, sstride, w, h, ia); break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_COPY:
      if (ia == 256 && !sameBitmap)
        for (; h > 0; --h, d += dstride, s += sstride) BlitRowCopySourceAlpha<true>(d, s, w, ia);
      else if (ia == 256)
        BlitRows<_LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>(d, dstride, s, sstride, w, h, ia);
      else if (ia > 0 && ia < 256 && !sameBitmap)
        for (; h > 0; --h, d += dstride, s += sstride) BlitRowCopySourceAlpha<false>(d, s, w, ia);
      else
        BlitRows<_LICE_CombinePixelsCopySourceAlphaNoClamp>(d, dstride, s, sstride, w, h, ia);
      break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_ADD:
      BlitRows<_LICE_CombinePixelsAddSourceAlpha>(d, dstride, s, sstride, w, h, ia);
      break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_DODGE:
      BlitRows<_LICE_CombinePixelsColorDodgeSourceAlpha>(d, dstride, s, sstride, w, h, ia);
      break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_MUL:
      BlitRows<_LICE_CombinePixelsMulSourceAlphaNoClamp>(d, dstride, s, sstride, w, h, ia);
      break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_OVERLAY:
      BlitRows<_LICE_CombinePixelsOverlaySourceAlpha>(d, dstride, s, sstride, w, h, ia);
      break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_HSVADJ:
      BlitRows<_LICE_CombinePixelsHSVAdjustSourceAlpha>(d, dstride, s, sstride, w, h, ia);
      break;
    default: break;
  }
}
} // namespace

void LICE_Blit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, const RECT* srcrect, float alpha, int mode)
{
  if (alpha == 0.0f) return;
  Rows d(dest), s(src);
  if (!d.ok() || !s.ok()) return;

  long long sl = 0, st = 0, sr = s.w, sb = s.h;
  if (srcrect)
  {
    sl = srcrect->left;
    st = srcrect->top;
    sr = srcrect->right;
    sb = srcrect->bottom;
  }
  long long dx = dstx, dy = dsty;
  if (sl < 0)
  {
    dx -= sl;
    sl = 0;
  }
  if (st < 0)
  {
    dy -= st;
    st = 0;
  }
  if (sr > s.w) sr = s.w;
  if (sb > s.h) sb = s.h;
  if (dx < 0)
  {
    sl -= dx;
    dx = 0;
  }
  if (dy < 0)
  {
    st -= dy;
    dy = 0;
  }
  long long w = sr - sl, h = sb - st;
  if (w > d.w - dx) w = d.w - dx;
  if (h > d.h - dy) h = d.h - dy;
  if (w <= 0 || h <= 0) return;

  LICE_pixel* dp = d.row((int)dy) + dx;
  const LICE_pixel* sp = s.row((int)st) + sl;
  const int iw = (int)w, ih = (int)h;

  if ((mode & LICE_MODE_CHANCOPY) == LICE_MODE_CHANCOPY)
  {
    const int sbyte = mode & 3, dbyte = (mode >> 2) & 3;
    for (int j = 0; j < ih; ++j, dp += d.stride, sp += s.stride)
    {
      LICE_pixel_chan* dc = (LICE_pixel_chan*)dp;
      const LICE_pixel_chan* sc = (const LICE_pixel_chan*)sp;
      for (int i = 0; i < iw; ++i) dc[i * 4 + dbyte] = sc[i * 4 + sbyte];
    }
    return;
  }

  if ((mode & (LICE_USE_SOURCE_ALPHA | LICE_MODE_MASK)) == LICE_MODE_COPY)
  {
    if (alpha == 1.0f)
    {
      // Rows that follow each other without padding in both bitmaps move as one block.
      // (Within one bitmap the rows keep their top-to-bottom order.)
      if (dest != src && d.stride == iw && s.stride == iw)
      {
        std::memcpy(dp, sp, (size_t)iw * (size_t)ih * sizeof(LICE_pixel));
        return;
      }
      for (int j = 0; j < ih; ++j, dp += d.stride, sp += s.stride)
        std::memmove(dp, sp, (size_t)iw * sizeof(LICE_pixel));
      return;
    }
    if (alpha == 0.5f)
    {
      BlitRowsFAST<_LICE_CombinePixelsHalfMixFAST>(dp, d.stride, sp, s.stride, iw, ih);
      return;
    }
  }

  const int ia = LimitCopyWeight(AlphaToWeight(alpha), mode);
  if (ia == 0) return;
  BlitCombine(dp, d.stride, sp, s.stride, iw, ih, ia, mode, dest == src);
}

void LICE_Blit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy, int srcw, int srch,
               float alpha, int mode)
{
  // The right and bottom edges saturate instead of wrapping for huge widths.
  auto add = [](int a, int b) {
    const long long v = (long long)a + b;
    return (int)(v > INT_MAX ? INT_MAX : (v < INT_MIN ? INT_MIN : v));
  };
  const RECT r = {srcx, srcy, add(srcx, srcw), add(srcy, srch)};
  LICE_Blit(dest, src, dstx, dsty, &r, alpha, mode);
}

void LICE_Copy(LICE_IBitmap* dest, LICE_IBitmap* src)
{
  if (!dest || !src) return;
  dest->resize(src->getWidth(), src->getHeight());
  LICE_Blit(dest, src, 0, 0, nullptr, 1.0f, LICE_MODE_COPY);
}

// ---------------------------------------------------------------------------------------
// Solid fill

void LICE_FillRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel color, float alpha, int mode)
{
  if (mode & LICE_USE_SOURCE_ALPHA) alpha *= (float)LICE_GETA(color) / 255.0f;
  Rows d(dest);
  if (!d.ok() || alpha == 0.0f) return;
  long long lx = x, ly = y, lw = w, lh = h;
  if (!ClipSpan(lx, lw, d.w) || !ClipSpan(ly, lh, d.h)) return;
  const int ia = LimitCopyWeight(AlphaToWeight(alpha), mode);
  if (ia == 0) return;

  LICE_pixel* p = d.row((int)ly) + lx;
  const int iw = (int)lw, ih = (int)lh;
  const int r = (int)LICE_GETR(color), g = (int)LICE_GETG(color), b = (int)LICE_GETB(color);
  switch (mode & LICE_MODE_MASK)
  {
    case LICE_MODE_COPY:
      if (ia == 256)
        FillRowsFAST<_LICE_CombinePixelsClobberFAST>(p, d.stride, iw, ih, color);
      else if (ia == 128)
        FillRowsFAST<_LICE_CombinePixelsHalfMix2FAST>(p, d.stride, iw, ih, color);
      else if (ia == 64)
        FillRowsFAST<_LICE_CombinePixelsQuarterMix2FAST>(p, d.stride, iw, ih, color);
      else if (ia == 192)
        FillRowsFAST<_LICE_CombinePixelsThreeQuarterMix2FAST>(p, d.stride, iw, ih, color);
      else if (ia > 0 && ia < 256)
      {
        // the colour's own alpha byte is replaced by the weight
        const LICE_pixel c = LICE_RGBA(r, g, b, ia);
        for (int j = 0; j < ih; ++j, p += d.stride) FillRowCopy(p, iw, c, ia);
      }
      else if (ia > 0)
        FillRows<_LICE_CombinePixelsCopyNoClamp>(p, d.stride, iw, ih, r, g, b, ia, ia);
      break;
    case LICE_MODE_ADD: FillRows<_LICE_CombinePixelsAdd>(p, d.stride, iw, ih, r, g, b, ia, ia); break;
    case LICE_MODE_DODGE: FillRows<_LICE_CombinePixelsColorDodge>(p, d.stride, iw, ih, r, g, b, ia, ia); break;
    case LICE_MODE_MUL: FillRows<_LICE_CombinePixelsMulNoClamp>(p, d.stride, iw, ih, r, g, b, ia, ia); break;
    case LICE_MODE_OVERLAY: FillRows<_LICE_CombinePixelsOverlay>(p, d.stride, iw, ih, r, g, b, ia, ia); break;
    case LICE_MODE_HSVADJ: FillRows<_LICE_CombinePixelsHSVAdjust>(p, d.stride, iw, ih, r, g, b, ia, ia); break;
    default: break;
  }
}

// ---------------------------------------------------------------------------------------
// Gradient fill

namespace
{
struct GradState
{
  long long v[4];   // r, g, b, a at the row start (16.16)
  long long dx[4];  // per pixel
  long long dy[4];  // per row
};

// v / 65536 truncated toward zero, limited to +-1024 (four times full scale) so that no
// combine product can overflow; within that range the value is exact.
inline int GradValue(long long v)
{
  const long long q = v / 65536;
  return (int)(q > 1024 ? 1024 : (q < -1024 ? -1024 : q));
}

template <class COMB>
void GradRows(LICE_pixel* p, std::ptrdiff_t stride, int w, int h, GradState st)
{
  for (int j = 0; j < h; ++j, p += stride)
  {
    long long r = st.v[0], g = st.v[1], b = st.v[2], a = st.v[3];
    for (int i = 0; i < w; ++i)
    {
      const int ia = GradValue(a);
      COMB::doPix((LICE_pixel_chan*)(p + i), GradValue(r), GradValue(g), GradValue(b), ia, ia);
      r += st.dx[0];
      g += st.dx[1];
      b += st.dx[2];
      a += st.dx[3];
    }
    for (int k = 0; k < 4; ++k) st.v[k] += st.dy[k];
  }
}

// float -> 16.16 with saturation, so absurd inputs cannot overflow the 64-bit sums
long long ToFixed(double v)
{
  v *= 65536.0;
  if (!(v > -4e15)) return v != v ? 0 : (long long)-4e15;
  if (v > 4e15) return (long long)4e15;
  return (long long)v;
}
} // namespace

void LICE_GradRect(LICE_IBitmap* dest, int x, int y, int w, int h, float ir, float ig, float ib, float ia,
                   float drdx, float dgdx, float dbdx, float dadx, float drdy, float dgdy, float dbdy, float dady,
                   int mode)
{
  Rows d(dest);
  if (!d.ok()) return;
  GradState st;
  const float start[4] = {ir, ig, ib, ia}, sx[4] = {drdx, dgdx, dbdx, dadx}, sy[4] = {drdy, dgdy, dbdy, dady};
  for (int k = 0; k < 4; ++k)
  {
    const double scale = k == 3 ? 256.0 : 255.0;
    st.v[k] = ToFixed(start[k] * scale);
    st.dx[k] = ToFixed(sx[k] * scale);
    st.dy[k] = ToFixed(sy[k] * scale);
  }
  long long lx = x, ly = y, lw = w, lh = h;
  if (lx < 0)
    for (int k = 0; k < 4; ++k) st.v[k] += -lx * st.dx[k];
  if (ly < 0)
    for (int k = 0; k < 4; ++k) st.v[k] += -ly * st.dy[k];
  if (!ClipSpan(lx, lw, d.w) || !ClipSpan(ly, lh, d.h)) return;

  LICE_pixel* p = d.row((int)ly) + lx;
  const int iw = (int)lw, ih = (int)lh;
  switch (mode & LICE_MODE_MASK)
  {
    case LICE_MODE_COPY:
      if (dadx == 0.0f && dady == 0.0f && ia == 1.0f)
        GradRows<_LICE_CombinePixelsClobberClamp>(p, d.stride, iw, ih, st);
      else
        GradRows<_LICE_CombinePixelsCopyClamp>(p, d.stride, iw, ih, st);
      break;
    case LICE_MODE_ADD: GradRows<_LICE_CombinePixelsAdd>(p, d.stride, iw, ih, st); break;
    case LICE_MODE_DODGE: GradRows<_LICE_CombinePixelsColorDodge>(p, d.stride, iw, ih, st); break;
    case LICE_MODE_MUL: GradRows<_LICE_CombinePixelsMulClamp>(p, d.stride, iw, ih, st); break;
    case LICE_MODE_OVERLAY: GradRows<_LICE_CombinePixelsOverlay>(p, d.stride, iw, ih, st); break;
    case LICE_MODE_HSVADJ: GradRows<_LICE_CombinePixelsHSVAdjust>(p, d.stride, iw, ih, st); break;
    default: break;
  }
}

// ---------------------------------------------------------------------------------------
// Multiply-add

void LICE_MultiplyAddRect(LICE_IBitmap* dest, int x, int y, int w, int h, float rsc, float gsc, float bsc,
                          float asc, float radd, float gadd, float badd, float aadd)
{
  Rows d(dest);
  if (!d.ok()) return;
  long long lx = x, ly = y, lw = w, lh = h;
  if (!ClipSpan(lx, lw, d.w) || !ClipSpan(ly, lh, d.h)) return;
  // Factors are limited to +-2^20 so that channel * factor + add stays within int.
  auto fix = [](float v) {
    const double s = (double)v * 256.0;
    if (!(s > -1048576.0)) return -1048576;
    if (s > 1048576.0) return 1048576;
    return (int)s;
  };
  // byte order B, G, R, A
  const int sc[4] = {fix(bsc), fix(gsc), fix(rsc), fix(asc)};
  const int ad[4] = {fix(badd), fix(gadd), fix(radd), fix(aadd)};
  LICE_pixel* p = d.row((int)ly) + lx;
  for (long long j = 0; j < lh; ++j, p += d.stride)
  {
    LICE_pixel_chan* c = (LICE_pixel_chan*)p;
    for (long long i = 0; i < lw * 4; i += 4)
      for (int k = 0; k < 4; ++k) c[i + k] = (LICE_pixel_chan)_LICE_Clamp255((c[i + k] * sc[k] + ad[k]) >> 8);
  }
}

// ---------------------------------------------------------------------------------------
// Blur

namespace
{
inline LICE_pixel Half(LICE_pixel v) { return (v >> 1) & 0x7F7F7F7Fu; }
inline LICE_pixel Quarter(LICE_pixel v) { return (v >> 2) & 0x3F3F3F3Fu; }
inline LICE_pixel Eighth(LICE_pixel v) { return (v >> 3) & 0x1F1F1F1Fu; }

// One output row from the source rows above (may be null), at and below (may be null).
void BlurRow(LICE_pixel* out, const LICE_pixel* up, const LICE_pixel* c, const LICE_pixel* dn, int w)
{
  // Vertical part: both neighbours as eighths, or the one neighbour as a quarter.
  auto vert = [&](int i) -> LICE_pixel {
    if (up && dn) return Eighth(up[i]) + Eighth(dn[i]);
    return Quarter(up ? up[i] : dn[i]);
  };
  out[0] = Half(c[0]) + Quarter(c[1]) + vert(0);
  for (int i = 1; i < w - 1; ++i) out[i] = Half(c[i]) + Eighth(c[i - 1]) + Eighth(c[i + 1]) + vert(i);
  out[w - 1] = Half(c[w - 1]) + Quarter(c[w - 2]) + vert(w - 1);
}
} // namespace

void LICE_Blur(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy, int srcw, int srch)
{
  Rows d(dest), s(src);
  if (!d.ok() || !s.ok()) return;
  long long sx = srcx, sy = srcy, w = srcw, h = srch, dx = dstx, dy = dsty;
  // source rectangle to the source, then the destination point to the destination
  if (sx < 0)
  {
    dx -= sx;
    w += sx;
    sx = 0;
  }
  if (sy < 0)
  {
    dy -= sy;
    h += sy;
    sy = 0;
  }
  if (w > s.w - sx) w = s.w - sx;
  if (h > s.h - sy) h = s.h - sy;
  if (dx < 0)
  {
    sx -= dx;
    w += dx;
    dx = 0;
  }
  if (dy < 0)
  {
    sy -= dy;
    h += dy;
    dy = 0;
  }
  if (w > d.w - dx) w = d.w - dx;
  if (h > d.h - dy) h = d.h - dy;
  if (w < 2 || h < 2) return;
  const int iw = (int)w, ih = (int)h;

  // Every output reads pre-blur values: a blur within one bitmap works from a copy of the
  // source rectangle, whatever the overlap.
  std::vector<LICE_pixel> copy;
  const LICE_pixel* s0 = s.row((int)sy) + sx;
  std::ptrdiff_t sstride = s.stride;
  if (dest == src || dest->getBits() == src->getBits())
  {
    try
    {
      copy.resize((size_t)iw * (size_t)ih);
    }
    catch (...)
    {
      return;
    }
    for (int j = 0; j < ih; ++j) std::memcpy(&copy[(size_t)j * iw], s0 + j * sstride, (size_t)iw * sizeof(LICE_pixel));
    s0 = copy.data();
    sstride = iw;
  }

  for (int j = 0; j < ih; ++j)
  {
    const LICE_pixel* c = s0 + j * sstride;
    BlurRow(d.row((int)dy + j) + dx, j > 0 ? c - sstride : nullptr, c, j < ih - 1 ? c + sstride : nullptr, iw);
  }
}

// ---------------------------------------------------------------------------------------
// Halving

void LICE_HalveBlitAA(LICE_IBitmap* dest, LICE_IBitmap* src)
{
  if (!dest || !src) return;
  LICE_pixel* db = dest->getBits();
  const LICE_pixel* sb = src->getBits();
  if (!db || !sb) return;
  int w = src->getWidth() / 2, h = src->getHeight() / 2;
  if (w > dest->getWidth()) w = dest->getWidth();
  if (h > dest->getHeight()) h = dest->getHeight();
  const std::ptrdiff_t dspan = dest->getRowSpan(), sspan = src->getRowSpan();
  for (int j = 0; j < h; ++j)
  {
    LICE_pixel* out = db + j * dspan;
    const LICE_pixel* r0 = sb + (2 * j) * sspan;
    const LICE_pixel* r1 = r0 + sspan;
    for (int i = 0; i < w; ++i)
      out[i] = Quarter(r0[2 * i]) + Quarter(r0[2 * i + 1]) + Quarter(r1[2 * i]) + Quarter(r1[2 * i + 1]);
  }
}
