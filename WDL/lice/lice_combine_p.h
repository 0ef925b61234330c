// Private: the pixel combine classes. Each is a stateless class with one static
// doPix(dest, r, g, b, a, ia) that merges a source colour into the four bytes of one
// destination pixel; every drawing loop is a template over such a class, so the inner loops
// carry no test of the mode.
//
// Rounding rules (hold for every class below):
//  * The alpha parameter becomes the weight ia = truncate(alpha * 256): 1.0 -> 256. Drawing
//    routines limit it to +-4096, and copies to 256, so no product below can overflow and
//    no NoClamp class sees a weight it cannot honour.
//  * "/" is C++ signed division, truncating toward zero. In the copy formula the product
//    (d - c) * (256 - ia) is negative whenever d < c, so a partial copy rounds toward d from
//    either side (d = 0, c = 255, ia = 1 gives 255 - 254 = 1, not 0).
//  * ">>" is applied only to non-negative values, except in the multiply classes with
//    weights outside 0..256, where it is an arithmetic shift.
//  * NoClamp classes store the low byte of each result and expect inputs in 0..255 and
//    ia in 0..256, where their results cannot leave 0..255. Clamp classes limit to 0..255.
//  * The whole-word (FAST) mixes halve or quarter each byte with a shift and a mask before
//    adding, so they round every term down: the half mix of 255 and 0 is 127, where the
//    per-channel copy at ia = 128 gives 128.
//  * Source-alpha classes first form ia' = ((a + 1) * ia) / 256 from the source alpha a.
#ifndef WDL_LICE_LICE_COMBINE_P_H
#define WDL_LICE_LICE_COMBINE_P_H

#include "lice.h"

static inline int _LICE_Clamp255(int x) { return x < 0 ? 0 : (x > 255 ? 255 : x); }

static inline void _LICE_MakePixelNoClamp(LICE_pixel_chan* out, int r, int g, int b, int a)
{
  out[LICE_PIXEL_B] = (LICE_pixel_chan)b;
  out[LICE_PIXEL_G] = (LICE_pixel_chan)g;
  out[LICE_PIXEL_R] = (LICE_pixel_chan)r;
  out[LICE_PIXEL_A] = (LICE_pixel_chan)a;
}

static inline void _LICE_MakePixelClamp(LICE_pixel_chan* out, int r, int g, int b, int a)
{
  out[LICE_PIXEL_B] = (LICE_pixel_chan)_LICE_Clamp255(b);
  out[LICE_PIXEL_G] = (LICE_pixel_chan)_LICE_Clamp255(g);
  out[LICE_PIXEL_R] = (LICE_pixel_chan)_LICE_Clamp255(r);
  out[LICE_PIXEL_A] = (LICE_pixel_chan)_LICE_Clamp255(a);
}

template <bool CLAMP>
static inline void _LICE_MakePixel(LICE_pixel_chan* out, int r, int g, int b, int a)
{
  if (CLAMP)
    _LICE_MakePixelClamp(out, r, g, b, a);
  else
    _LICE_MakePixelNoClamp(out, r, g, b, a);
}

namespace lice_detail
{
// d = c + ((d - c) * w) / 256
static inline int CopyChan(int d, int c, int w) { return c + ((d - c) * w) / 256; }

// k = 256 - (c * ia) / 256;  d = (d * 256) / k  when k >= 2, else d * 256  (then clamped)
static inline int DodgeChan(int d, int c, int ia)
{
  const int k = 256 - (c * ia) / 256;
  return _LICE_Clamp255(k >= 2 ? (d * 256) / k : d * 256);
}

// d = ((c * ia + (256 - ia) * 256) * d) >> 16
static inline int MulChan(int d, int c, int ia) { return ((c * ia + (256 - ia) * 256) * d) >> 16; }

// s = c * ia + (256 - ia) * 128;  d = ((((32768 - s) * d) / 256 + s) * d) >> 15  (clamped)
static inline int OverlayChan(int d, int c, int ia)
{
  const int s = c * ia + (256 - ia) * 128;
  return _LICE_Clamp255(((((32768 - s) * d) / 256 + s) * d) >> 15);
}

// invtab[0] = 0, invtab[i] = floor(65536 / i) - 1  (so invtab[1] = 65535, invtab[255] = 256)
struct HSVInvTable
{
  unsigned short v[256];
  constexpr HSVInvTable() : v()
  {
    for (int i = 1; i < 256; ++i) v[i] = (unsigned short)(65536 / i - 1);
  }
};
inline constexpr HSVInvTable kHSVInvTab{};

// HSV adjustment of the destination's colour. r shifts the hue (128 = none), g the
// saturation and b the value (128 = no change for both), each weighted by ia; the alpha byte
// becomes a. Hue is kept in 384 steps, six sectors of 64.
//   to HSV:  hue = base + (num * (invtab[max - min] + 1)) / 1024,
//            sat = ((max - min) * invtab[max]) / 256,  val = max
//   adjust:  hue += ((r + r / 2 - 192) * ia) / 256, wrapped into 0..383;
//            sat = clamp(sat + ((g - 128) * ia) / 128),  val = clamp(val + ((b - 128) * ia) / 128)
//   to RGB:  p = ((256 - sat) * val) / 256,  q(f) = ((16384 - f * sat) * val) / 16384
inline void HSVAdjustPixel(LICE_pixel_chan* dest, int r, int g, int b, int a, int ia)
{
  const int R = dest[LICE_PIXEL_R], G = dest[LICE_PIXEL_G], B = dest[LICE_PIXEL_B];
  int mx, mn, num, base;
  if (R < G)
  {
    if (G > B)
    {
      mx = G;
      mn = R < B ? R : B;
      num = B - R;
      base = 128;
    }
    else
    {
      mx = B;
      mn = R; // R < G <= B
      num = R - G;
      base = 256;
    }
  }
  else if (B < R)
  {
    mx = R;
    mn = G < B ? G : B;
    num = G - B;
    base = G < B ? 383 : 0;
  }
  else
  {
    mx = B;
    mn = G; // G <= R <= B
    num = R - G;
    base = 256;
  }
  const int delta = mx - mn;
  int hue = base + (num * (kHSVInvTab.v[delta] + 1)) / 1024;
  int sat = (delta * kHSVInvTab.v[mx]) / 256;
  int val = mx;

  hue += ((r + r / 2 - 192) * ia) / 256;
  // One wrap covers every weight up to 256; the modulo only guards larger ones.
  if (hue < 0)
    hue += 384;
  else if (hue > 383)
    hue -= 384;
  if (hue < 0 || hue > 383) hue = ((hue % 384) + 384) % 384;
  sat = _LICE_Clamp255(sat + ((g - 128) * ia) / 128);
  val = _LICE_Clamp255(val + ((b - 128) * ia) / 128);

  const int p = ((256 - sat) * val) / 256;
  auto q = [sat, val](int f) { return ((16384 - f * sat) * val) / 16384; };
  int nr, ng, nb;
  switch (hue >> 6)
  {
    case 0: nr = val; ng = q(64 - hue); nb = p; break;
    case 1: nr = q(hue - 64); ng = val; nb = p; break;
    case 2: nr = p; ng = val; nb = q(192 - hue); break;
    case 3: nr = p; ng = q(hue - 192); nb = val; break;
    case 4: nr = q(320 - hue); ng = p; nb = val; break;
    default: nr = val; ng = p; nb = q(hue - 320); break;
  }
  _LICE_MakePixelNoClamp(dest, nr, ng, nb, a);
}
} // namespace lice_detail

// d = c
struct _LICE_CombinePixelsClobberNoClamp
{
  static inline void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int)
  {
    _LICE_MakePixelNoClamp(dest, r, g, b, a);
  }
};

// d = clamp(c)
struct _LICE_CombinePixelsClobberClamp
{
  static inline void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int)
  {
    _LICE_MakePixelClamp(dest, r, g, b, a);
  }
};

// d = c + ((d - c) * (256 - ia)) / 256
template <bool CLAMP>
struct _LICE_CombinePixelsCopyT
{
  static inline void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int ia)
  {
    using lice_detail::CopyChan;
    const int w = 256 - ia;
    _LICE_MakePixel<CLAMP>(dest, CopyChan(dest[LICE_PIXEL_R], r, w), CopyChan(dest[LICE_PIXEL_G], g, w),
                           CopyChan(dest[LICE_PIXEL_B], b, w), CopyChan(dest[LICE_PIXEL_A], a, w));
  }
};
typedef _LICE_CombinePixelsCopyT<false> _LICE_CombinePixelsCopyNoClamp;
typedef _LICE_CombinePixelsCopyT<true> _LICE_CombinePixelsCopyClamp;

// d = clamp(d + (c * ia) / 256)
struct _LICE_CombinePixelsAdd
{
  static inline void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int ia)
  {
    _LICE_MakePixelClamp(dest, dest[LICE_PIXEL_R] + (r * ia) / 256, dest[LICE_PIXEL_G] + (g * ia) / 256,
                         dest[LICE_PIXEL_B] + (b * ia) / 256, dest[LICE_PIXEL_A] + (a * ia) / 256);
  }
};

// k = 256 - (c * ia) / 256;  d = clamp((d * 256) / k) when k >= 2, else clamp(d * 256)
struct _LICE_CombinePixelsColorDodge
{
  static inline void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int ia)
  {
    using lice_detail::DodgeChan;
    _LICE_MakePixelNoClamp(dest, DodgeChan(dest[LICE_PIXEL_R], r, ia), DodgeChan(dest[LICE_PIXEL_G], g, ia),
                           DodgeChan(dest[LICE_PIXEL_B], b, ia), DodgeChan(dest[LICE_PIXEL_A], a, ia));
  }
};

// d = ((c * ia + (256 - ia) * 256) * d) >> 16
template <bool CLAMP>
struct _LICE_CombinePixelsMulT
{
  static inline void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int ia)
  {
    using lice_detail::MulChan;
    _LICE_MakePixel<CLAMP>(dest, MulChan(dest[LICE_PIXEL_R], r, ia), MulChan(dest[LICE_PIXEL_G], g, ia),
                           MulChan(dest[LICE_PIXEL_B], b, ia), MulChan(dest[LICE_PIXEL_A], a, ia));
  }
};
typedef _LICE_CombinePixelsMulT<false> _LICE_CombinePixelsMulNoClamp;
typedef _LICE_CombinePixelsMulT<true> _LICE_CombinePixelsMulClamp;

// s = c * ia + (256 - ia) * 128;  d = clamp(((((32768 - s) * d) / 256 + s) * d) >> 15)
struct _LICE_CombinePixelsOverlay
{
  static inline void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int ia)
  {
    using lice_detail::OverlayChan;
    _LICE_MakePixelNoClamp(dest, OverlayChan(dest[LICE_PIXEL_R], r, ia), OverlayChan(dest[LICE_PIXEL_G], g, ia),
                           OverlayChan(dest[LICE_PIXEL_B], b, ia), OverlayChan(dest[LICE_PIXEL_A], a, ia));
  }
};

// hue/sat/val of d shifted by (r, g, b) as described at lice_detail::HSVAdjustPixel;
// alpha = a
struct _LICE_CombinePixelsHSVAdjust
{
  static inline void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int ia)
  {
    lice_detail::HSVAdjustPixel(dest, r, g, b, a, ia);
  }
};

// d = (d + c) >> 1  (copy at ia = 128 in the line and circle drawers)
struct _LICE_CombinePixelsHalfMixNoClamp
{
  static inline void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int)
  {
    _LICE_MakePixelNoClamp(dest, (dest[LICE_PIXEL_R] + r) >> 1, (dest[LICE_PIXEL_G] + g) >> 1,
                           (dest[LICE_PIXEL_B] + b) >> 1, (dest[LICE_PIXEL_A] + a) >> 1);
  }
};

// ---------------------------------------------------------------------------------------
// Source-alpha classes: ia' = ((a + 1) * ia) / 256.

// a = 0: unchanged.  b, g, r: d = c + ((d - c) * (256 - ia')) / 256;  alpha: min(255, d + ia')
template <bool CLAMP>
struct _LICE_CombinePixelsCopySourceAlphaT
{
  static inline void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int ia)
  {
    if (a == 0) return;
    using lice_detail::CopyChan;
    const int ia2 = ((a + 1) * ia) / 256;
    const int w = 256 - ia2;
    const int da = dest[LICE_PIXEL_A] + ia2;
    _LICE_MakePixel<CLAMP>(dest, CopyChan(dest[LICE_PIXEL_R], r, w), CopyChan(dest[LICE_PIXEL_G], g, w),
                           CopyChan(dest[LICE_PIXEL_B], b, w), da < 255 ? da : 255);
  }
};
typedef _LICE_CombinePixelsCopySourceAlphaT<false> _LICE_CombinePixelsCopySourceAlphaNoClamp;
typedef _LICE_CombinePixelsCopySourceAlphaT<true> _LICE_CombinePixelsCopySourceAlphaClamp;

// The source-alpha copy at ia = 256, weighting by a alone:
// a = 0: unchanged.  a = 255: d = (r, g, b, 255).
// Otherwise b, g, r: d = c + ((d - c) * (255 - a)) / 256;  alpha: min(255, d + a)
template <bool CLAMP>
struct _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmT
{
  static inline void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int)
  {
    if (a == 0) return;
    if (a == 255)
    {
      _LICE_MakePixel<CLAMP>(dest, r, g, b, 255);
      return;
    }
    using lice_detail::CopyChan;
    const int w = 255 - a;
    const int da = dest[LICE_PIXEL_A] + a;
    _LICE_MakePixel<CLAMP>(dest, CopyChan(dest[LICE_PIXEL_R], r, w), CopyChan(dest[LICE_PIXEL_G], g, w),
                           CopyChan(dest[LICE_PIXEL_B], b, w), da < 255 ? da : 255);
  }
};
typedef _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmT<false>
    _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp;
typedef _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmT<true>
    _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmClamp;

// a = 0: unchanged.  b, g, r: d = clamp(d + (c * ia') / 256);  alpha: d = clamp(d + (ia' * a) / 256)
struct _LICE_CombinePixelsAddSourceAlpha
{
  static inline void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int ia)
  {
    if (a == 0) return;
    const int ia2 = ((a + 1) * ia) / 256;
    _LICE_MakePixelClamp(dest, dest[LICE_PIXEL_R] + (r * ia2) / 256, dest[LICE_PIXEL_G] + (g * ia2) / 256,
                         dest[LICE_PIXEL_B] + (b * ia2) / 256, dest[LICE_PIXEL_A] + (a * ia2) / 256);
  }
};

// The dodge formula with ia', all four channels (c = a for alpha); applied even for a = 0.
struct _LICE_CombinePixelsColorDodgeSourceAlpha
{
  static inline void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int ia)
  {
    _LICE_CombinePixelsColorDodge::doPix(dest, r, g, b, a, ((a + 1) * ia) / 256);
  }
};

// a = 0: unchanged.  The multiply formula with ia', all four channels (c = a for alpha).
template <bool CLAMP>
struct _LICE_CombinePixelsMulSourceAlphaT
{
  static inline void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int ia)
  {
    if (a == 0) return;
    _LICE_CombinePixelsMulT<CLAMP>::doPix(dest, r, g, b, a, ((a + 1) * ia) / 256);
  }
};
typedef _LICE_CombinePixelsMulSourceAlphaT<false> _LICE_CombinePixelsMulSourceAlphaNoClamp;
typedef _LICE_CombinePixelsMulSourceAlphaT<true> _LICE_CombinePixelsMulSourceAlphaClamp;

// The overlay formula with ia', all four channels; applied even for a = 0.
struct _LICE_CombinePixelsOverlaySourceAlpha
{
  static inline void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int ia)
  {
    _LICE_CombinePixelsOverlay::doPix(dest, r, g, b, a, ((a + 1) * ia) / 256);
  }
};

// The HSV adjustment with ia'; applied even for a = 0.
struct _LICE_CombinePixelsHSVAdjustSourceAlpha
{
  static inline void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int ia)
  {
    lice_detail::HSVAdjustPixel(dest, r, g, b, a, ((a + 1) * ia) / 256);
  }
};

// ---------------------------------------------------------------------------------------
// Whole-word mixes: all four bytes at once, without unpacking. doPixFAST(dest, s) takes the
// source pixel (clobber, half mix) or the constant prepared by prep() from the colour C.

// d = C
struct _LICE_CombinePixelsClobberFAST
{
  static inline LICE_pixel prep(LICE_pixel c) { return c; }
  static inline void doPixFAST(LICE_pixel* dest, LICE_pixel s) { *dest = s; }
};

// d = ((s >> 1) & 0x7F7F7F7F) + ((d >> 1) & 0x7F7F7F7F)
struct _LICE_CombinePixelsHalfMixFAST
{
  static inline LICE_pixel prep(LICE_pixel c) { return c; }
  static inline void doPixFAST(LICE_pixel* dest, LICE_pixel s)
  {
    *dest = ((s >> 1) & 0x7F7F7F7Fu) + ((*dest >> 1) & 0x7F7F7F7Fu);
  }
};

// d = ((d >> 1) & 0x7F7F7F7F) + C',  C' = (C >> 1) & 0x7F7F7F7F
struct _LICE_CombinePixelsHalfMix2FAST
{
  static inline LICE_pixel prep(LICE_pixel c) { return (c >> 1) & 0x7F7F7F7Fu; }
  static inline void doPixFAST(LICE_pixel* dest, LICE_pixel cp) { *dest = ((*dest >> 1) & 0x7F7F7F7Fu) + cp; }
};

// Three quarters old, one quarter colour (ia = 64):
// d = ((d >> 2) & 0x3F3F3F3F) + ((d >> 1) & 0x7F7F7F7F) + C',  C' = (C >> 2) & 0x3F3F3F3F
struct _LICE_CombinePixelsQuarterMix2FAST
{
  static inline LICE_pixel prep(LICE_pixel c) { return (c >> 2) & 0x3F3F3F3Fu; }
  static inline void doPixFAST(LICE_pixel* dest, LICE_pixel cp)
  {
    const LICE_pixel d = *dest;
    *dest = ((d >> 2) & 0x3F3F3F3Fu) + ((d >> 1) & 0x7F7F7F7Fu) + cp;
  }
};

// One quarter old, three quarters colour (ia = 192):
// d = ((d >> 2) & 0x3F3F3F3F) + C',  C' = ((C >> 1) & 0x7F7F7F7F) + ((C >> 2) & 0x3F3F3F3F)
struct _LICE_CombinePixelsThreeQuarterMix2FAST
{
  static inline LICE_pixel prep(LICE_pixel c) { return ((c >> 1) & 0x7F7F7F7Fu) + ((c >> 2) & 0x3F3F3F3Fu); }
  static inline void doPixFAST(LICE_pixel* dest, LICE_pixel cp) { *dest = ((*dest >> 2) & 0x3F3F3F3Fu) + cp; }
};

#endif
