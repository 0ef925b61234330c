// The combine classes: exhaustive sweeps of every (d, c) byte pair against the plain
// reference formulas, and the edge values of the rounding rules as literal numbers.
#include "support/ref_raster.h"

#include "WDL/lice/lice.h"
#include "WDL/lice/lice_combine_p.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace
{
LICE_pixel Gray(int v, int a) { return LICE_RGBA(v, v, v, a); }

// doPix of class C on a pixel whose four bytes are d, with source (c, c, c, a).
template <class C>
LICE_pixel Apply(LICE_pixel d, int r, int g, int b, int a, int ia)
{
  C::doPix((LICE_pixel_chan*)&d, r, g, b, a, ia);
  return d;
}

const int kWeights[] = {1, 2, 63, 64, 65, 127, 128, 129, 191, 192, 200, 255, 256};
const int kModes[] = {0, 1, 2, 3, 4, 5, 0x10000, 0x10001, 0x10002, 0x10003, 0x10004, 0x10005};
} // namespace

// Every d and c (all four channels alike, plus a distinct source alpha) for a set of weights,
// through LICE_CombinePixels2 (the class dispatch) against the reference formulas.
TEST(Combine, EveryBytePairMatchesFormulas)
{
  for (int mode : kModes)
    for (int ia : kWeights)
    {
      int bad = 0;
      for (int d = 0; d < 256 && bad < 3; ++d)
        for (int c = 0; c < 256 && bad < 3; ++c)
        {
          const int a = (mode & LICE_USE_SOURCE_ALPHA) ? c : (c * 7 + 3) & 255;
          const LICE_pixel dst = LICE_RGBA(d, 255 - d, d ^ 0x55, d);
          LICE_pixel got = dst;
          LICE_CombinePixels2(&got, c, 255 - c, c ^ 0x33, a, ia, mode);
          const LICE_pixel want = ref::Combine(dst, c, 255 - c, c ^ 0x33, a, ia, mode);
          if (got != want)
          {
            ++bad;
            ADD_FAILURE() << "mode 0x" << std::hex << mode << std::dec << " ia " << ia << " d " << d << " c " << c
                          << " a " << a << ": got 0x" << std::hex << got << " want 0x" << want;
          }
        }
    }
}

// Source-alpha classes: every (d, a) pair for fixed colours.
TEST(Combine, SourceAlphaEveryAlpha)
{
  for (int mode : kModes)
  {
    if (!(mode & LICE_USE_SOURCE_ALPHA)) continue;
    for (int ia : {1, 100, 255, 256})
      for (int c : {0, 1, 128, 254, 255})
        for (int d = 0; d < 256; ++d)
          for (int a = 0; a < 256; ++a)
          {
            const LICE_pixel dst = Gray(d, 255 - d);
            LICE_pixel got = dst;
            LICE_CombinePixels2(&got, c, c, c, a, ia, mode);
            ASSERT_EQ(got, ref::Combine(dst, c, c, c, a, ia, mode))
                << "mode 0x" << std::hex << mode << std::dec << " ia " << ia << " c " << c << " d " << d << " a " << a;
          }
  }
}

// The clamping dispatch with inputs outside 0..255.
TEST(Combine, ClampVariantsSaturate)
{
  for (int v : {-300, -1, 0, 128, 255, 256, 400})
    for (int d : {0, 1, 128, 254, 255})
      for (int ia : {1, 128, 256})
      {
        LICE_pixel p = Gray(d, d);
        LICE_CombinePixels2Clamp(&p, v, v, v, v, ia, LICE_MODE_COPY);
        const int want = v < 0 ? 0 : v > 255 ? 255 : v;
        if (ia == 256)
        {
          EXPECT_EQ(p, Gray(want, want)) << v;
        }
        for (int k = 0; k < 4; ++k)
        {
          const int got = (int)((p >> (8 * k)) & 255);
          const int exact = v + ((d - v) * (256 - ia)) / 256;
          EXPECT_EQ(got, exact < 0 ? 0 : exact > 255 ? 255 : exact) << "v " << v << " d " << d << " ia " << ia;
        }
        LICE_pixel m = Gray(d, d);
        LICE_CombinePixels2Clamp(&m, v, v, v, v, ia, LICE_MODE_MUL);
        const int mul = ((v * ia + (256 - ia) * 256) * d) >> 16;
        EXPECT_EQ(m & 255, (LICE_pixel)(mul < 0 ? 0 : mul > 255 ? 255 : mul)) << "mul v " << v << " d " << d;
      }
}

TEST(Combine, CopyRoundsTowardDestination)
{
  // 255 + (-255 * 255) / 256 = 255 - 254 = 1
  EXPECT_EQ(Apply<_LICE_CombinePixelsCopyNoClamp>(Gray(0, 0), 255, 255, 255, 255, 1), Gray(1, 1));
  // 0 + (255 * 255) / 256 = 254
  EXPECT_EQ(Apply<_LICE_CombinePixelsCopyNoClamp>(Gray(255, 255), 0, 0, 0, 0, 1), Gray(254, 254));
  EXPECT_EQ(Apply<_LICE_CombinePixelsClobberNoClamp>(0x12345678, 0xab, 0xcd, 0xef, 0x01, 256), 0x01abcdefu);
}

TEST(Combine, HalfMixPerChannelVersusWholeWord)
{
  EXPECT_EQ(Apply<_LICE_CombinePixelsCopyNoClamp>(Gray(0, 0), 255, 255, 255, 255, 128), Gray(128, 128));
  LICE_pixel p = 0;
  _LICE_CombinePixelsHalfMixFAST::doPixFAST(&p, 0xffffffff);
  EXPECT_EQ(p, 0x7f7f7f7fu);
  EXPECT_EQ(LICE_CombinePixels(0, 0xffffffff, 0.5f, LICE_MODE_COPY), 0x80808080u);
  EXPECT_EQ(Apply<_LICE_CombinePixelsHalfMixNoClamp>(Gray(1, 1), 254, 254, 254, 254, 128), Gray(127, 127));
}

TEST(Combine, QuarterAndThreeQuarterMixes)
{
  LICE_pixel q = 0, t = 0;
  _LICE_CombinePixelsQuarterMix2FAST::doPixFAST(&q, _LICE_CombinePixelsQuarterMix2FAST::prep(0xffffffff));
  _LICE_CombinePixelsThreeQuarterMix2FAST::doPixFAST(&t, _LICE_CombinePixelsThreeQuarterMix2FAST::prep(0xffffffff));
  EXPECT_EQ(q, 0x3f3f3f3fu);
  EXPECT_EQ(t, 0xbebebebeu);
  // from white toward black: three quarters of 255 survive the quarter mix
  LICE_pixel w = 0xffffffff;
  _LICE_CombinePixelsQuarterMix2FAST::doPixFAST(&w, _LICE_CombinePixelsQuarterMix2FAST::prep(0));
  EXPECT_EQ(w, 0xbebebebeu);
  LICE_pixel h = 0x10203040;
  _LICE_CombinePixelsHalfMix2FAST::doPixFAST(&h, _LICE_CombinePixelsHalfMix2FAST::prep(0x90a0b0c0));
  EXPECT_EQ(h, 0x50607080u);
  // no byte carries into its neighbour
  for (LICE_pixel c : {0xffffffffu, 0xff00ff00u, 0x00ff00ffu})
    for (LICE_pixel d : {0xffffffffu, 0x00ff00ffu, 0xfe01fe01u})
    {
      LICE_pixel x = d;
      _LICE_CombinePixelsQuarterMix2FAST::doPixFAST(&x, _LICE_CombinePixelsQuarterMix2FAST::prep(c));
      for (int k = 0; k < 4; ++k)
      {
        const int dk = (int)((d >> (8 * k)) & 255), ck = (int)((c >> (8 * k)) & 255);
        EXPECT_EQ((int)((x >> (8 * k)) & 255), (dk >> 2) + (dk >> 1) + (ck >> 2));
      }
    }
}

TEST(Combine, AddSaturates)
{
  EXPECT_EQ(Apply<_LICE_CombinePixelsAdd>(Gray(200, 200), 100, 100, 100, 100, 256), Gray(255, 255));
  EXPECT_EQ(Apply<_LICE_CombinePixelsAdd>(Gray(10, 10), 100, 100, 100, 100, 128), Gray(60, 60));
}

TEST(Combine, DodgeNearFullStrength)
{
  // c = 255, ia = 256: k = 256 - 255 = 1 < 2, so d * 256 clamped
  for (int d = 0; d < 256; ++d)
    EXPECT_EQ(Apply<_LICE_CombinePixelsColorDodge>(Gray(d, d), 255, 255, 255, 255, 256), Gray(d ? 255 : 0, d ? 255 : 0));
  // c = 254: k = 256 - 254 = 2, d = 1 -> 256 / 2 = 128; c = 253: k = 3 -> 85
  EXPECT_EQ(Apply<_LICE_CombinePixelsColorDodge>(Gray(1, 1), 254, 254, 254, 254, 256), Gray(128, 128));
  EXPECT_EQ(Apply<_LICE_CombinePixelsColorDodge>(Gray(1, 1), 253, 253, 253, 253, 256), Gray(85, 85));
  // c = 0 leaves d
  EXPECT_EQ(Apply<_LICE_CombinePixelsColorDodge>(Gray(77, 77), 0, 0, 0, 0, 256), Gray(77, 77));
}

TEST(Combine, MultiplyByWhiteLosesOne)
{
  EXPECT_EQ(Apply<_LICE_CombinePixelsMulNoClamp>(Gray(255, 255), 255, 255, 255, 255, 256), Gray(254, 254));
  EXPECT_EQ(Apply<_LICE_CombinePixelsMulNoClamp>(Gray(200, 200), 0, 0, 0, 0, 256), Gray(0, 0));
  EXPECT_EQ(Apply<_LICE_CombinePixelsMulNoClamp>(Gray(200, 200), 0, 0, 0, 0, 128), Gray(100, 100));
}

TEST(Combine, OverlayMidGrayIsNearlyNeutral)
{
  // s = 128 * 256 = 32768: d -> (32768 * d) >> 15 = d
  for (int d = 0; d < 256; ++d)
    EXPECT_EQ(Apply<_LICE_CombinePixelsOverlay>(Gray(d, d), 128, 128, 128, 128, 256), Gray(d, d));
}

TEST(Combine, SourceAlphaCopyEnds)
{
  const LICE_pixel d = 0x80402010;
  EXPECT_EQ(Apply<_LICE_CombinePixelsCopySourceAlphaNoClamp>(d, 1, 2, 3, 0, 128), d);
  EXPECT_EQ(Apply<_LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>(d, 1, 2, 3, 0, 256), d);
  EXPECT_EQ(Apply<_LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>(d, 1, 2, 3, 255, 256), 0xff010203u);
  EXPECT_EQ(LICE_CombinePixels(d, 0xff010203, 1.0f, LICE_USE_SOURCE_ALPHA), 0xff010203u);
  // a = 128 at full weight: 255 - a = 127; alpha min(255, 0x80 + 128) = 255
  const LICE_pixel half = Apply<_LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>(Gray(0, 0x80), 255, 255, 255, 128, 256);
  EXPECT_EQ(half, LICE_RGBA(255 - (255 * 127) / 256, 255 - (255 * 127) / 256, 255 - (255 * 127) / 256, 255));
  // multiply and add leave the pixel alone for a = 0; dodge and overlay do not test a
  EXPECT_EQ(Apply<_LICE_CombinePixelsMulSourceAlphaNoClamp>(d, 0, 0, 0, 0, 256), d);
  EXPECT_EQ(Apply<_LICE_CombinePixelsAddSourceAlpha>(d, 255, 255, 255, 0, 256), d);
  EXPECT_NE(Apply<_LICE_CombinePixelsOverlaySourceAlpha>(Gray(200, 200), 0, 0, 0, 0, 256), Gray(200, 200));
}

TEST(Combine, HsvInverseTable)
{
  EXPECT_EQ(lice_detail::kHSVInvTab.v[0], 0);
  EXPECT_EQ(lice_detail::kHSVInvTab.v[1], 65535);
  EXPECT_EQ(lice_detail::kHSVInvTab.v[2], 32767);
  EXPECT_EQ(lice_detail::kHSVInvTab.v[255], 256);
}

// r = g = b = 128 at full weight shifts nothing; what changes is the rounding of the way
// there and back, over every colour. The largest channel is the value itself and comes back
// exactly. The smallest is p = ((256 - sat) * val) / 256 with sat truncated: at most 2 off.
// The middle one is q(f) of a hue truncated to 1/64 of a sector, and one hue step moves it by
// sat * val / 16384 < 4, plus the truncations of sat and q: at most 5 off.
TEST(Combine, HsvRoundTripAtNeutral)
{
  int worstSmall = 0, worstMiddle = 0;
  for (int R = 0; R < 256; ++R)
    for (int G = 0; G < 256; ++G)
      for (int B = 0; B < 256; ++B)
      {
        LICE_pixel p = LICE_RGBA(R, G, B, 0x11);
        LICE_CombinePixels2(&p, 128, 128, 128, 0x99, 256, LICE_MODE_HSVADJ);
        int was[3] = {R, G, B}, got[3] = {(int)LICE_GETR(p), (int)LICE_GETG(p), (int)LICE_GETB(p)};
        // order the channels by their old level (ties keep either order: both bounds hold)
        int idx[3] = {0, 1, 2};
        std::sort(idx, idx + 3, [&](int a, int b) { return was[a] < was[b]; });
        worstSmall = std::max(worstSmall, std::abs(got[idx[0]] - was[idx[0]]));
        worstMiddle = std::max(worstMiddle, std::abs(got[idx[1]] - was[idx[1]]));
        ASSERT_TRUE(std::max(got[0], std::max(got[1], got[2])) == was[idx[2]] && LICE_GETA(p) == 0x99u)
            << "value or alpha changed at " << R << " " << G << " " << B;
      }
  EXPECT_LE(worstSmall, 2);
  EXPECT_LE(worstMiddle, 5);
  LICE_pixel grey = Gray(90, 0);
  LICE_CombinePixels2(&grey, 128, 128, 128, 255, 256, LICE_MODE_HSVADJ);
  EXPECT_EQ(grey, Gray(90, 255));
}

TEST(Combine, HsvAdjustments)
{
  // full value boost saturates; full saturation cut gives grey at the value
  LICE_pixel p = LICE_RGBA(200, 100, 50, 255);
  LICE_CombinePixels2(&p, 128, 128, 255, 255, 256, LICE_MODE_HSVADJ);
  EXPECT_EQ(LICE_GETR(p), 255u);
  LICE_pixel q = LICE_RGBA(200, 100, 50, 255);
  LICE_CombinePixels2(&q, 128, 0, 128, 255, 256, LICE_MODE_HSVADJ);
  EXPECT_EQ(q, LICE_RGBA(200, 200, 200, 255));
  // a hue shift of a third of the circle (r + r/2 - 192 = 128 steps) turns red into green
  LICE_pixel red = LICE_RGBA(255, 0, 0, 255);
  LICE_CombinePixels2(&red, 213, 128, 128, 255, 256, LICE_MODE_HSVADJ);
  EXPECT_EQ(LICE_GETG(red), 255u);
  EXPECT_LE(LICE_GETR(red), 8u);
}

TEST(Combine, FreeFunctionsDispatch)
{
  const LICE_pixel d = 0x40404040, s = 0xc0c0c0c0;
  EXPECT_EQ(LICE_CombinePixels(d, s, 0.0f, LICE_MODE_ADD), d);
  EXPECT_EQ(LICE_CombinePixels(d, s, 1.0f, 6), d);      // unknown operation
  EXPECT_EQ(LICE_CombinePixels(d, s, 1.0f, 0x10006), d); // unknown operation with source alpha
  EXPECT_EQ(LICE_CombinePixels(d, s, 1.0f, 0x20000), s); // bits outside 0x100FF do not matter
  EXPECT_EQ(LICE_CombinePixels(d, s, 1.0f, LICE_MODE_COPY), s);
  EXPECT_EQ(LICE_CombinePixels(d, s, 1.0f, LICE_MODE_ADD), 0xffffffffu);
  // the filter bits do not matter to a single combine
  EXPECT_EQ(LICE_CombinePixels(d, s, 1.0f, LICE_MODE_ADD | LICE_FILTER_BILINEAR), 0xffffffffu);
  LICE_pixel x = d;
  LICE_CombinePixels2(&x, 0xc0, 0xc0, 0xc0, 0xc0, 0, LICE_MODE_COPY);
  EXPECT_EQ(x, d);
}

TEST(Combine, PutPixelFixedWeights)
{
  LICE_MemBitmap bm(3, 2);
  LICE_Clear(&bm, 0);
  LICE_PutPixel(&bm, 0, 0, 0xffffffff, 0.25f, LICE_MODE_COPY);
  LICE_PutPixel(&bm, 1, 0, 0xffffffff, 0.5f, LICE_MODE_COPY);
  LICE_PutPixel(&bm, 2, 0, 0xffffffff, 0.75f, LICE_MODE_COPY);
  LICE_PutPixel(&bm, 0, 1, 0xffffffff, 1.0f, LICE_MODE_COPY);
  LICE_PutPixel(&bm, 1, 1, 0xffffffff, 0.3f, LICE_MODE_COPY); // ia 76: the copy formula
  LICE_PutPixel(&bm, 2, 1, 0xffffffff, 1.0f, 9);              // unknown operation: nothing
  EXPECT_EQ(LICE_GetPixel(&bm, 0, 0), 0x3f3f3f3fu);
  EXPECT_EQ(LICE_GetPixel(&bm, 1, 0), 0x7f7f7f7fu);
  EXPECT_EQ(LICE_GetPixel(&bm, 2, 0), 0xbebebebeu);
  EXPECT_EQ(LICE_GetPixel(&bm, 0, 1), 0xffffffffu);
  const int v = 255 + (-255 * (256 - 76)) / 256;
  EXPECT_EQ(LICE_GetPixel(&bm, 1, 1), LICE_RGBA(v, v, v, v));
  EXPECT_EQ(LICE_GetPixel(&bm, 2, 1), 0u);
  // outside and on a null bitmap nothing happens
  LICE_PutPixel(&bm, -1, 0, 0xffffffff, 1.0f, 0);
  LICE_PutPixel(&bm, 3, 0, 0xffffffff, 1.0f, 0);
  LICE_PutPixel(nullptr, 0, 0, 0xffffffff, 1.0f, 0);
  EXPECT_EQ(LICE_GetPixel(&bm, 2, 1), 0u);
}
