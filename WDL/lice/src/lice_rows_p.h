// Private: row addressing, clipping helpers and the SSE2 row kernels shared by the raster
// sources. SSE2 is part of the x86-64 baseline; other targets take the scalar loops.
#ifndef WDL_LICE_SRC_LICE_ROWS_P_H
#define WDL_LICE_SRC_LICE_ROWS_P_H

#include "WDL/lice/lice.h"
#include "WDL/lice/lice_combine_p.h"

#include <cstddef>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#define LICE_HAVE_SSE2 1
#endif

namespace lice_detail
{
// Logical row y of a bitmap lives at row0 + y * stride (stride negative when flipped).
struct Rows
{
  LICE_pixel* row0 = nullptr;
  std::ptrdiff_t stride = 0;
  int w = 0, h = 0;

  explicit Rows(LICE_IBitmap* bm)
  {
    if (!bm) return;
    LICE_pixel* bits = bm->getBits();
    if (!bits) return;
    w = bm->getWidth();
    h = bm->getHeight();
    const std::ptrdiff_t span = bm->getRowSpan();
    if (w < 1 || h < 1)
    {
      w = h = 0;
      return;
    }
    if (bm->isFlipped())
    {
      row0 = bits + (std::ptrdiff_t)(h - 1) * span;
      stride = -span;
    }
    else
    {
      row0 = bits;
      stride = span;
    }
  }
  bool ok() const { return row0 != nullptr; }
  LICE_pixel* row(int y) const { return row0 + (std::ptrdiff_t)y * stride; }
};

// Clips [x, x + w) to [0, limit) in 64 bits, so that no sum of caller values overflows.
// Returns false when nothing is left.
inline bool ClipSpan(long long& x, long long& w, long long limit)
{
  if (x < 0)
  {
    w += x;
    x = 0;
  }
  if (w > limit - x) w = limit - x;
  return w > 0;
}

// Weights are limited to +-4096 (alpha +-16) so that no combine product can overflow an int.
constexpr int kMaxWeight = 4096;

// ia = truncate(alpha * 256)
inline int AlphaToWeight(float alpha)
{
  const double v = (double)alpha * 256.0;
  if (v != v) return 0;
  if (v > kMaxWeight) return kMaxWeight;
  if (v < -kMaxWeight) return -kMaxWeight;
  return (int)v;
}

// A copy at more than full strength would push every channel past the source and wrap
// it: copy weights are limited to 256 (alpha 1.0).
inline int LimitCopyWeight(int ia, int mode)
{
  return (mode & LICE_MODE_MASK) == LICE_MODE_COPY && ia > 256 ? 256 : ia;
}

// --------------------------------------------------------------------------------------
// Generic template loops

template <class COMB>
void BlitRows(LICE_pixel* d, std::ptrdiff_t dstride, const LICE_pixel* s, std::ptrdiff_t sstride, int w, int h,
              int ia)
{
  for (; h > 0; --h, d += dstride, s += sstride)
    for (int x = 0; x < w; ++x)
    {
      const LICE_pixel p = s[x];
      COMB::doPix((LICE_pixel_chan*)(d + x), (int)LICE_GETR(p), (int)LICE_GETG(p), (int)LICE_GETB(p),
                  (int)LICE_GETA(p), ia);
    }
}

template <class COMB>
void FillRows(LICE_pixel* d, std::ptrdiff_t dstride, int w, int h, int r, int g, int b, int a, int ia)
{
  for (; h > 0; --h, d += dstride)
    for (int x = 0; x < w; ++x) COMB::doPix((LICE_pixel_chan*)(d + x), r, g, b, a, ia);
}

template <class FAST>
void FillRowsFAST(LICE_pixel* d, std::ptrdiff_t dstride, int w, int h, LICE_pixel color)
{
  const LICE_pixel c = FAST::prep(color);
  for (; h > 0; --h, d += dstride)
    for (int x = 0; x < w; ++x) FAST::doPixFAST(d + x, c);
}

template <class FAST>
void BlitRowsFAST(LICE_pixel* d, std::ptrdiff_t dstride, const LICE_pixel* s, std::ptrdiff_t sstride, int w, int h)
{
  for (; h > 0; --h, d += dstride, s += sstride)
    for (int x = 0; x < w; ++x) FAST::doPixFAST(d + x, s[x]);
}

#ifdef LICE_HAVE_SSE2
// Per channel c + ((d - c) * w) / 256, truncated toward zero, for four pixels. wlo/whi hold
// each pixel's weight (0..256) in the four 16-bit lanes of its channels (pixels 0-1 / 2-3).
// The truncated quotient is sign(d - c) * floor(|d - c| * w / 256): |d - c| unpacked into the
// high byte of a 16-bit lane is |d - c| * 256, and the high half of its product with w is
// exactly floor(|d - c| * w / 256), at most 255. The sign is put back per byte.
inline __m128i LerpTowardSource(__m128i d, __m128i c, __m128i wlo, __m128i whi)
{
  const __m128i z = _mm_setzero_si128();
  const __m128i pos = _mm_subs_epu8(d, c), neg = _mm_subs_epu8(c, d);
  const __m128i mag = _mm_or_si128(pos, neg);
  const __m128i mlo = _mm_mulhi_epu16(_mm_unpacklo_epi8(z, mag), wlo);
  const __m128i mhi = _mm_mulhi_epu16(_mm_unpackhi_epi8(z, mag), whi);
  const __m128i m = _mm_packus_epi16(mlo, mhi);
  const __m128i down = _mm_cmpeq_epi8(pos, z); // d <= c (m is 0 where d == c)
  return _mm_sub_epi8(_mm_add_epi8(c, _mm_andnot_si128(down, m)), _mm_and_si128(down, m));
}

// 32-bit lanes of weights (0..256) -> the two 16-bit broadcasts LerpTowardSource takes.
inline void SpreadWeights(__m128i w32, __m128i& wlo, __m128i& whi)
{
  const __m128i w16 = _mm_or_si128(w32, _mm_slli_epi32(w32, 16));
  wlo = _mm_unpacklo_epi32(w16, w16);
  whi = _mm_unpackhi_epi32(w16, w16);
}
#endif

// Copy class with a constant weight 0 < ia < 256 over a row of source pixels.
inline void BlitRowCopy(LICE_pixel* d, const LICE_pixel* s, int w, int ia)
{
  int x = 0;
#ifdef LICE_HAVE_SSE2
  const __m128i wv = _mm_set1_epi16((short)(256 - ia));
  for (; x + 4 <= w; x += 4)
  {
    const __m128i dv = _mm_loadu_si128((const __m128i*)(d + x));
    const __m128i sv = _mm_loadu_si128((const __m128i*)(s + x));
    _mm_storeu_si128((__m128i*)(d + x), LerpTowardSource(dv, sv, wv, wv));
  }
#endif
  for (; x < w; ++x)
  {
    const LICE_pixel p = s[x];
    _LICE_CombinePixelsCopyNoClamp::doPix((LICE_pixel_chan*)(d + x), (int)LICE_GETR(p), (int)LICE_GETG(p),
                                          (int)LICE_GETB(p), (int)LICE_GETA(p), ia);
  }
}

// The source-alpha copy over a row: IGNORE_PARM is the ia = 256 class, else 0 < ia < 256.
template <bool IGNORE_PARM>
void BlitRowCopySourceAlpha(LICE_pixel* d, const LICE_pixel* s, int w, int ia)
{
  typedef typename std::conditional<IGNORE_PARM, _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp,
                                    _LICE_CombinePixelsCopySourceAlphaNoClamp>::type Scalar;
  int x = 0;
#ifdef LICE_HAVE_SSE2
  const __m128i zero = _mm_setzero_si128();
  const __m128i all255 = _mm_set1_epi32(255);
  const __m128i one = _mm_set1_epi32(1);
  const __m128i iav = _mm_set1_epi32(ia);
  const __m128i v256 = _mm_set1_epi32(256);
  const __m128i rgbmask = _mm_set1_epi32(0x00ffffff);
  for (; x + 4 <= w; x += 4)
  {
    const __m128i sv = _mm_loadu_si128((const __m128i*)(s + x));
    const __m128i a32 = _mm_srli_epi32(sv, 24);
    const __m128i transparent = _mm_cmpeq_epi32(a32, zero);
    if (_mm_movemask_epi8(transparent) == 0xffff) continue; // a = 0 leaves d alone
    __m128i wv, addv;
    if (IGNORE_PARM)
    {
      if (_mm_movemask_epi8(_mm_cmpeq_epi32(a32, all255)) == 0xffff)
      {
        _mm_storeu_si128((__m128i*)(d + x), sv); // a = 255 writes (r, g, b, 255)
        continue;
      }
      wv = _mm_sub_epi32(all255, a32);
      addv = a32;
    }
    else
    {
      // ia' = ((a + 1) * ia) >> 8; (a + 1) * ia < 65536 fits the low 16-bit half of each lane
      addv = _mm_srli_epi32(_mm_mullo_epi16(_mm_add_epi32(a32, one), iav), 8);
      wv = _mm_sub_epi32(v256, addv);
    }
    const __m128i dv = _mm_loadu_si128((const __m128i*)(d + x));
    __m128i wlo, whi;
    SpreadWeights(wv, wlo, whi);
    __m128i res = LerpTowardSource(dv, sv, wlo, whi);
    const __m128i na = _mm_adds_epu8(dv, _mm_slli_epi32(addv, 24)); // min(255, d + add)
    res = _mm_or_si128(_mm_and_si128(res, rgbmask), _mm_andnot_si128(rgbmask, na));
    res = _mm_or_si128(_mm_and_si128(transparent, dv), _mm_andnot_si128(transparent, res));
    _mm_storeu_si128((__m128i*)(d + x), res);
  }
#endif
  for (; x < w; ++x)
  {
    const LICE_pixel p = s[x];
    Scalar::doPix((LICE_pixel_chan*)(d + x), (int)LICE_GETR(p), (int)LICE_GETG(p), (int)LICE_GETB(p),
                  (int)LICE_GETA(p), ia);
  }
}

// Copy class with the colour (r, g, b, ia) and weight 0 < ia < 256 over a row.
inline void FillRowCopy(LICE_pixel* d, int w, LICE_pixel color, int ia)
{
  int x = 0;
#ifdef LICE_HAVE_SSE2
  const __m128i wv = _mm_set1_epi16((short)(256 - ia));
  const __m128i cv = _mm_set1_epi32((int)color);
  for (; x + 4 <= w; x += 4)
  {
    const __m128i dv = _mm_loadu_si128((const __m128i*)(d + x));
    _mm_storeu_si128((__m128i*)(d + x), LerpTowardSource(dv, cv, wv, wv));
  }
#endif
  for (; x < w; ++x)
    _LICE_CombinePixelsCopyNoClamp::doPix((LICE_pixel_chan*)(d + x), (int)LICE_GETR(color),
                                          (int)LICE_GETG(color), (int)LICE_GETB(color), (int)LICE_GETA(color),
                                          ia);
}
} // namespace lice_detail

#endif
