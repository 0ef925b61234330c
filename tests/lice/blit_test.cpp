// Blits, fills and image operations: the edge cases that fix the geometry and the shortcuts,
// and guard-page runs that fault on any write past a clip edge.
#include "support/prng.h"
#include "support/ref_raster.h"
#include "support/test_bitmap.h"

#include "WDL/lice/lice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using licetest::Guard;
using licetest::Rng;
using licetest::TestBitmap;

namespace
{
// A source whose pixel (x, y) is 0xFF000000 | y << 8 | x.
void Coordinates(LICE_IBitmap* bm)
{
  for (int y = 0; y < bm->getHeight(); ++y)
    for (int x = 0; x < bm->getWidth(); ++x) ref::SetPixel(bm, x, y, 0xff000000u | (unsigned)(y << 8) | (unsigned)x);
}
} // namespace

TEST(Blit, NegativeSourceRectMovesTheDestination)
{
  LICE_MemBitmap src(12, 12), dst(30, 30);
  Coordinates(&src);
  LICE_Clear(&dst, 0);
  const RECT r = {-2, 0, 10, 10};
  LICE_Blit(&dst, &src, 5, 5, &r, 1.0f, LICE_MODE_COPY);
  for (int x = 0; x < 30; ++x)
  {
    const LICE_pixel p = LICE_GetPixel(&dst, x, 5);
    if (x >= 7 && x <= 16)
      EXPECT_EQ(p, 0xff000000u | (unsigned)(x - 7)) << x;
    else
      EXPECT_EQ(p, 0u) << x;
  }
  EXPECT_EQ(LICE_GetPixel(&dst, 7, 14), 0xff000900u);
  EXPECT_EQ(LICE_GetPixel(&dst, 7, 15), 0u);
}

TEST(Blit, ClipsAgainstBothBitmaps)
{
  LICE_MemBitmap src(4, 4), dst(5, 5);
  Coordinates(&src);
  LICE_Clear(&dst, 0);
  LICE_Blit(&dst, &src, -2, 3, 0, 0, 4, 4, 1.0f, 0); // the second form
  EXPECT_EQ(LICE_GetPixel(&dst, 0, 3), 0xff000002u);
  EXPECT_EQ(LICE_GetPixel(&dst, 1, 4), 0xff000103u);
  EXPECT_EQ(LICE_GetPixel(&dst, 2, 3), 0u);
  LICE_Blit(&dst, &src, 0, 0, nullptr, 0.0f, 0); // alpha 0 draws nothing
  LICE_Blit(&dst, &src, 5, 0, nullptr, 1.0f, 0); // wholly outside
  LICE_Blit(&dst, nullptr, 0, 0, nullptr, 1.0f, 0);
  LICE_Blit(nullptr, &src, 0, 0, nullptr, 1.0f, 0);
  EXPECT_EQ(LICE_GetPixel(&dst, 0, 0), 0u);
}

TEST(Blit, ChannelCopy)
{
  LICE_MemBitmap src(1, 1), dst(1, 1);
  src.getBits()[0] = 0xaa112233;
  dst.getBits()[0] = 0x44556677;
  LICE_Blit(&dst, &src, 0, 0, nullptr, 0.5f, 0xf3); // source alpha into destination blue
  EXPECT_EQ(dst.getBits()[0], 0x445566aau);
  LICE_Blit(&dst, &src, 0, 0, nullptr, 1.0f, 0xf0 | (3 << 2) | 1); // source green into destination alpha
  EXPECT_EQ(dst.getBits()[0], 0x225566aau);
}

TEST(Blit, OverlappingCopyWithinOneBitmap)
{
  LICE_MemBitmap bm(8, 1);
  Coordinates(&bm);
  LICE_Blit(&bm, &bm, 2, 0, 0, 0, 6, 1, 1.0f, 0);
  for (int x = 2; x < 8; ++x) EXPECT_EQ(LICE_GetPixel(&bm, x, 0), 0xff000000u | (unsigned)(x - 2));
}

TEST(Blit, HalfAlphaUsesTheWholeWordMix)
{
  LICE_MemBitmap src(1, 1), dst(1, 1);
  src.getBits()[0] = 0xffffffff;
  dst.getBits()[0] = 0;
  LICE_Blit(&dst, &src, 0, 0, nullptr, 0.5f, 0);
  EXPECT_EQ(dst.getBits()[0], 0x7f7f7f7fu);
  dst.getBits()[0] = 0;
  LICE_Blit(&dst, &src, 0, 0, nullptr, 0.5f, LICE_USE_SOURCE_ALPHA); // not with source alpha
  EXPECT_EQ(dst.getBits()[0], LICE_RGBA(128, 128, 128, 128));
}

TEST(Copy, ResizesAndCopiesExactly)
{
  LICE_MemBitmap src(7, 3), dst;
  Coordinates(&src);
  LICE_Copy(&dst, &src);
  EXPECT_EQ(dst.getWidth(), 7);
  EXPECT_EQ(LICE_BitmapCmp(&dst, &src), 0);
  LICE_Copy(nullptr, &src);
  LICE_Copy(&dst, nullptr);
}

TEST(FillRect, FixedWeightsAndCopyFormula)
{
  LICE_MemBitmap bm(5, 1);
  LICE_Clear(&bm, 0);
  LICE_FillRect(&bm, 0, 0, 1, 1, 0xffffffff, 0.5f, 0);
  LICE_FillRect(&bm, 1, 0, 1, 1, 0xffffffff, 0.25f, 0);
  LICE_FillRect(&bm, 2, 0, 1, 1, 0xffffffff, 0.75f, 0);
  LICE_FillRect(&bm, 3, 0, 1, 1, 0x80ffffff, 0.3f, 0); // the weight replaces the colour's alpha
  LICE_FillRect(&bm, 4, 0, 1, 1, 0x60ffffff, 1.0f, LICE_USE_SOURCE_ALPHA); // alpha 1.0 * 96/255
  EXPECT_EQ(bm.getBits()[0], 0x7f7f7f7fu);
  EXPECT_EQ(bm.getBits()[1], 0x3f3f3f3fu);
  EXPECT_EQ(bm.getBits()[2], 0xbebebebeu);
  const int c = 255 + (-255 * (256 - 76)) / 256, a = 76 + (-76 * (256 - 76)) / 256;
  EXPECT_EQ(bm.getBits()[3], LICE_RGBA(c, c, c, a));
  const int ia = (int)((96.0f / 255.0f) * 256.0f);
  const int c4 = 255 + (-255 * (256 - ia)) / 256, a4 = ia + (-ia * (256 - ia)) / 256;
  EXPECT_EQ(bm.getBits()[4], LICE_RGBA(c4, c4, c4, a4));
}

TEST(FillRect, AddAndNothingForZeroOrUnknown)
{
  LICE_MemBitmap bm(2, 2);
  LICE_Clear(&bm, 0x10101010);
  LICE_FillRect(&bm, -5, -5, 6, 6, 0x20202020, 1.0f, LICE_MODE_ADD);
  // the colour's alpha is replaced by the weight: 0x10 + 256 saturates
  EXPECT_EQ(LICE_GetPixel(&bm, 0, 0), LICE_RGBA(0x30, 0x30, 0x30, 0xff));
  EXPECT_EQ(LICE_GetPixel(&bm, 1, 1), 0x10101010u);
  LICE_FillRect(&bm, 0, 0, 2, 2, 0xffffffff, 0.0f, 0);
  LICE_FillRect(&bm, 0, 0, 2, 2, 0xffffffff, 0.001f, 0); // ia 0
  LICE_FillRect(&bm, 0, 0, 2, 2, 0xffffffff, 1.0f, 7);
  LICE_FillRect(&bm, 0, 0, 2, 2, 0x00ffffff, 1.0f, LICE_USE_SOURCE_ALPHA); // transparent colour
  EXPECT_EQ(LICE_GetPixel(&bm, 1, 1), 0x10101010u);
}

TEST(ScaledBlit, SameSizeIsAPlainBlitAtTheRoundedPosition)
{
  LICE_MemBitmap src(10, 10), a(6, 6), b(6, 6);
  Coordinates(&src);
  for (int mode : {0, LICE_MODE_ADD, LICE_FILTER_BILINEAR})
  {
    LICE_Clear(&a, 0x55555555);
    LICE_Clear(&b, 0x55555555);
    LICE_ScaledBlit(&a, &src, 1, 0, 5, 5, 2.4f, 3.0f, 5.0005f, 5.0f, 0.7f, mode);
    const RECT r = {2, 3, 7, 8};
    LICE_Blit(&b, &src, 1, 0, &r, 0.7f, mode);
    EXPECT_EQ(LICE_BitmapCmp(&a, &b), 0) << mode;
  }
  // bilinear at a half-pixel position really filters
  LICE_Clear(&a, 0);
  LICE_ScaledBlit(&a, &src, 0, 0, 5, 5, 2.5f, 3.0f, 5.0f, 5.0f, 1.0f, LICE_FILTER_BILINEAR);
  EXPECT_EQ(LICE_GetPixel(&a, 0, 0), 0xff000000u | (3u << 8) | 2u); // (2 + 3) / 2 rounds down
  LICE_ScaledBlit(&a, &src, 0, 0, 1, 1, 2.5f, 3.0f, 1.0f, 1.0f, 1.0f, LICE_FILTER_BILINEAR);
}

TEST(ScaledBlit, DoublingNearest)
{
  LICE_MemBitmap src(3, 2), dst(6, 4);
  Coordinates(&src);
  LICE_ScaledBlit(&dst, &src, 0, 0, 6, 4, 0, 0, 3, 2, 1.0f, 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(LICE_GetPixel(&dst, x, y), LICE_GetPixel(&src, x / 2, y / 2));
}

// A mirrored blit draws exactly the mirror image of the unmirrored one, for nearest and
// bilinear sampling and for up- and down-scaling.
TEST(ScaledBlit, NegativeWidthMirrorsExactly)
{
  LICE_MemBitmap src(16, 12);
  Rng rng(7);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 16; ++x) src.getBits()[y * src.getRowSpan() + x] = rng.biasedPixel();
  struct C
  {
    int dw, dh;
    float sx, sy, sw, sh;
    int mode;
  } cases[] = {{16, 12, 0, 0, 16, 12, 0x10000},          {32, 24, 0, 0, 16, 12, 0},
               {32, 24, 0, 0, 16, 12, LICE_FILTER_BILINEAR}, {8, 6, 0, 0, 16, 12, LICE_FILTER_BILINEAR},
               {4, 3, 0, 0, 16, 12, LICE_FILTER_BILINEAR},  {12, 10, 2, 1, 12, 10, 0},
               {64, 48, 4, 2, 8, 6, LICE_FILTER_BILINEAR}};
  for (const C& c : cases)
  {
    LICE_MemBitmap plain(c.dw, c.dh), mx(c.dw, c.dh), my(c.dw, c.dh);
    LICE_Clear(&plain, 0x12345678);
    LICE_Clear(&mx, 0x12345678);
    LICE_Clear(&my, 0x12345678);
    LICE_ScaledBlit(&plain, &src, 0, 0, c.dw, c.dh, c.sx, c.sy, c.sw, c.sh, 1.0f, c.mode);
    LICE_ScaledBlit(&mx, &src, c.dw, 0, -c.dw, c.dh, c.sx, c.sy, c.sw, c.sh, 1.0f, c.mode);
    LICE_ScaledBlit(&my, &src, 0, c.dh, c.dw, -c.dh, c.sx, c.sy, c.sw, c.sh, 1.0f, c.mode);
    for (int y = 0; y < c.dh; ++y)
      for (int x = 0; x < c.dw; ++x)
      {
        ASSERT_EQ(LICE_GetPixel(&mx, c.dw - 1 - x, y), LICE_GetPixel(&plain, x, y))
            << "x-mirror " << c.dw << "x" << c.dh << " mode " << c.mode << " at " << x << "," << y;
        ASSERT_EQ(LICE_GetPixel(&my, x, c.dh - 1 - y), LICE_GetPixel(&plain, x, y))
            << "y-mirror " << c.dw << "x" << c.dh << " mode " << c.mode << " at " << x << "," << y;
      }
  }
}

TEST(ScaledBlit, FilteredShrinkAveragesBlocks)
{
  // a single bright pixel in black: its weight in the block average tells the block size
  LICE_MemBitmap src(40, 40), dst(10, 10);
  LICE_Clear(&src, 0xff000000);
  src.getBits()[20 * src.getRowSpan() + 20] = 0xff000000u | 225u;
  // by 2: samples at even pixels, 3 x 3 blocks; the sample at (20, 20) averages 9 pixels
  LICE_Clear(&dst, 0);
  LICE_ScaledBlit(&dst, &src, 0, 0, 10, 10, 10, 10, 20, 20, 1.0f, LICE_FILTER_BILINEAR);
  EXPECT_EQ(LICE_GetPixel(&dst, 5, 5), 0xff000000u | (225u / 9));
  EXPECT_EQ(LICE_GetPixel(&dst, 4, 5), 0xff000000u);
  // by 4: 5 x 5 blocks
  LICE_Clear(&dst, 0);
  LICE_ScaledBlit(&dst, &src, 0, 0, 10, 10, 0, 0, 40, 40, 1.0f, LICE_FILTER_BILINEAR);
  EXPECT_EQ(LICE_GetPixel(&dst, 5, 5), 0xff000000u | (225u / 25));
  // by 1.5: bilinear sampling, no block
  LICE_MemBitmap ramp(30, 1), small(20, 1);
  for (int x = 0; x < 30; ++x) ramp.getBits()[x] = (unsigned)(x * 8);
  LICE_ScaledBlit(&small, &ramp, 0, 0, 20, 1, 0, 0, 30, 1, 1.0f, LICE_FILTER_BILINEAR);
  EXPECT_EQ(small.getBits()[1], 12u); // sample at 1.5: (8 + 16) / 2
  EXPECT_EQ(small.getBits()[2], 24u);
}

TEST(ScaledBlit, BilinearUpscaleEdges)
{
  LICE_MemBitmap src(2, 2), dst(4, 4);
  src.getBits()[0] = 0;
  src.getBits()[1] = 200;
  src.getBits()[src.getRowSpan()] = 100;
  src.getBits()[src.getRowSpan() + 1] = 40;
  LICE_ScaledBlit(&dst, &src, 0, 0, 4, 4, 0, 0, 2, 2, 1.0f, LICE_FILTER_BILINEAR);
  EXPECT_EQ(LICE_GetPixel(&dst, 0, 0), 0u);
  EXPECT_EQ(LICE_GetPixel(&dst, 1, 0), 100u);           // horizontal pair at the top
  EXPECT_EQ(LICE_GetPixel(&dst, 1, 1), (0u + 200 + 100 + 40) / 4);
  EXPECT_EQ(LICE_GetPixel(&dst, 3, 1), (200u + 40) / 2); // last column: vertical pair only
  EXPECT_EQ(LICE_GetPixel(&dst, 1, 3), (100u + 40) / 2); // last row: horizontal pair only
  EXPECT_EQ(LICE_GetPixel(&dst, 3, 3), 40u);             // corner as it is
}

TEST(ScaledBlit, DestinationClippingKeepsVisiblePixels)
{
  LICE_MemBitmap src(9, 7), whole(30, 20), clipped(30, 20), shifted(40, 30);
  Rng rng(3);
  for (int i = 0; i < 9 * 7; ++i) src.getBits()[(i / 9) * src.getRowSpan() + i % 9] = rng.biasedPixel();
  for (int mode : {0, LICE_FILTER_BILINEAR, LICE_MODE_ADD | LICE_FILTER_BILINEAR})
  {
    LICE_Clear(&shifted, 0);
    LICE_Clear(&clipped, 0);
    LICE_ScaledBlit(&shifted, &src, 10, 10, 27, 19, 0.3f, 0.6f, 8.1f, 6.2f, 0.8f, mode);
    LICE_ScaledBlit(&clipped, &src, -3, -5, 27, 19, 0.3f, 0.6f, 8.1f, 6.2f, 0.8f, mode);
    for (int y = 0; y < 14; ++y)
      for (int x = 0; x < 24; ++x)
        ASSERT_EQ(LICE_GetPixel(&clipped, x, y), LICE_GetPixel(&shifted, x + 13, y + 15)) << mode << " " << x << "," << y;
  }
  (void)whole;
}

TEST(RotatedBlit, AngleZeroReproducesTheSource)
{
  Rng rng(11);
  TestBitmap src(13, 9, 16, true);
  src.fillRandom(rng);
  for (int mode : {0, LICE_FILTER_BILINEAR})
  {
    LICE_MemBitmap dst(13, 9);
    LICE_Clear(&dst, 0);
    LICE_RotatedBlit(&dst, &src, 0, 0, 13, 9, 0, 0, 13, 9, 0.0f, false, 1.0f, mode, 0, 0);
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 13; ++x) ASSERT_EQ(LICE_GetPixel(&dst, x, y), src.at(x, y)) << mode << " " << x << "," << y;
    // mirrored, it reproduces the mirror image
    LICE_RotatedBlit(&dst, &src, 13, 0, -13, 9, 0, 0, 13, 9, 0.0f, true, 1.0f, mode, 0, 0);
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 13; ++x) ASSERT_EQ(LICE_GetPixel(&dst, 12 - x, y), src.at(x, y)) << mode << " " << x << "," << y;
  }
}

TEST(RotatedBlit, HalfTurnTurnsThePictureAround)
{
  LICE_MemBitmap src(8, 8), dst(8, 8);
  Coordinates(&src);
  LICE_Clear(&dst, 0);
  LICE_RotatedBlit(&dst, &src, 0, 0, 8, 8, 0, 0, 8, 8, (float)M_PI, true, 1.0f, 0, 0, 0);
  // the sample grid of pixel corners turns with the picture: away from the far edges,
  // destination (x, y) shows source (8 - x, 8 - y)
  for (int y = 1; y < 8; ++y)
    for (int x = 1; x < 8; ++x)
    {
      const LICE_pixel p = LICE_GetPixel(&dst, x, y);
      const int sx = (int)(p & 0xff), sy = (int)((p >> 8) & 0xff);
      EXPECT_NEAR(sx, 8 - x, 1) << x << "," << y;
      EXPECT_NEAR(sy, 8 - y, 1) << x << "," << y;
    }
}

TEST(DeltaBlit, IdentityStepsCopyAndAlphaRamp)
{
  LICE_MemBitmap src(6, 4), dst(6, 4);
  Coordinates(&src);
  LICE_Clear(&dst, 0);
  LICE_DeltaBlit(&dst, &src, 0, 0, 6, 4, 0, 0, 6, 4, 1, 0, 0, 1, 0, 0, true, 1.0f, 0);
  EXPECT_EQ(LICE_BitmapCmp(&dst, &src), 0);
  // alpha from 0 rising by 1/4 per pixel: weight 0 draws nothing, then 64, 128, 192, 256
  LICE_MemBitmap white(6, 1), line(6, 1);
  LICE_Clear(&white, 0xffffffff);
  LICE_Clear(&line, 0);
  LICE_DeltaBlitAlpha(&line, &white, 0, 0, 6, 1, 0, 0, 6, 1, 1, 0, 0, 1, 0, 0, true, 0.0f, 0, 0.25, 0, 0);
  // the copy formula rounds toward the destination; a copy beyond full strength stays full
  const int expect[6] = {0, 64, 128, 192, 255, 255};
  for (int x = 0; x < 6; ++x) EXPECT_EQ((int)(line.getBits()[x] & 0xff), expect[x]) << x;
}

TEST(TransformBlit, IdentityMeshCopies)
{
  LICE_MemBitmap src(12, 8), dst(12, 8), dst2(12, 8), dst3(12, 8);
  Coordinates(&src);
  float pts[3 * 3 * 2];
  double pts2[3 * 3 * 2], pts3[3 * 3 * 3];
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i)
    {
      pts[(j * 3 + i) * 2] = (float)(i * 6);
      pts[(j * 3 + i) * 2 + 1] = (float)(j * 4);
      pts2[(j * 3 + i) * 2] = i * 6;
      pts2[(j * 3 + i) * 2 + 1] = j * 4;
      pts3[(j * 3 + i) * 3] = i * 6;
      pts3[(j * 3 + i) * 3 + 1] = j * 4;
      pts3[(j * 3 + i) * 3 + 2] = 1.0;
    }
  LICE_Clear(&dst, 0);
  LICE_Clear(&dst2, 0);
  LICE_Clear(&dst3, 0);
  LICE_TransformBlit(&dst, &src, 0, 0, 12, 8, pts, 3, 3, 1.0f, 0);
  LICE_TransformBlit2(&dst2, &src, 0, 0, 12, 8, pts2, 3, 3, 1.0f, 0);
  LICE_TransformBlit2Alpha(&dst3, &src, 0, 0, 12, 8, pts3, 3, 3, 0);
  EXPECT_EQ(LICE_BitmapCmp(&dst, &src), 0);
  EXPECT_EQ(LICE_BitmapCmp(&dst2, &src), 0);
  EXPECT_EQ(LICE_BitmapCmp(&dst3, &src), 0);
  LICE_TransformBlit(&dst, &src, 0, 0, 12, 8, pts, 1, 3, 1.0f, 0); // degenerate meshes draw nothing
  LICE_TransformBlit(&dst, &src, 0, 0, 12, 8, nullptr, 3, 3, 1.0f, 0);
}

TEST(GradRect, HorizontalRampAndClamping)
{
  LICE_MemBitmap bm(5, 2);
  LICE_Clear(&bm, 0);
  // red from 0 up by 0.25 per pixel: 0, 63, 127, 191, 255 (then 318 clamps)
  LICE_GradRect(&bm, -1, 0, 6, 1, -0.25f, 0, 0, 1, 0.25f, 0, 0, 0, 0, 0, 0, 0, 0);
  const int want[5] = {0, 63, 127, 191, 255};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(LICE_GetPixel(&bm, x, 0), LICE_RGBA(want[x], 0, 0, 255)) << x;
  EXPECT_EQ(LICE_GetPixel(&bm, 0, 1), 0u);
  LICE_GradRect(&bm, 0, 1, 5, 1, 2.0f, -1.0f, 0.5f, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(LICE_GetPixel(&bm, 4, 1), LICE_RGBA(255, 0, 127, 255));
}

TEST(MultiplyAddRect, ScalesAndOffsets)
{
  LICE_MemBitmap bm(2, 1);
  LICE_Clear(&bm, LICE_RGBA(100, 100, 100, 100));
  LICE_MultiplyAddRect(&bm, 1, 0, 5, 5, 0.5f, 2.0f, 1.0f, 0.0f, 10.0f, 0.0f, -200.0f, 7.0f);
  EXPECT_EQ(LICE_GetPixel(&bm, 1, 0), LICE_RGBA(60, 200, 0, 7));
  EXPECT_EQ(LICE_GetPixel(&bm, 0, 0), LICE_RGBA(100, 100, 100, 100));
}

TEST(Blur, SpreadsAHalfAndFourEighths)
{
  LICE_MemBitmap bm(5, 5);
  LICE_Clear(&bm, 0);
  bm.getBits()[2 * bm.getRowSpan() + 2] = 0xf0f0f0f0;
  LICE_Blur(&bm, &bm, 0, 0, 0, 0, 5, 5);
  EXPECT_EQ(LICE_GetPixel(&bm, 2, 2), 0x78787878u);
  EXPECT_EQ(LICE_GetPixel(&bm, 1, 2), 0x1e1e1e1eu);
  EXPECT_EQ(LICE_GetPixel(&bm, 3, 2), 0x1e1e1e1eu);
  EXPECT_EQ(LICE_GetPixel(&bm, 2, 1), 0x1e1e1e1eu);
  EXPECT_EQ(LICE_GetPixel(&bm, 2, 3), 0x1e1e1e1eu);
  EXPECT_EQ(LICE_GetPixel(&bm, 1, 1), 0u);
  // edges take a quarter from their one neighbour
  LICE_MemBitmap e(3, 3);
  LICE_Clear(&e, 0);
  e.getBits()[1] = 0xf0f0f0f0; // top middle
  LICE_Blur(&e, &e, 0, 0, 0, 0, 3, 3);
  EXPECT_EQ(LICE_GetPixel(&e, 1, 0), 0x78787878u);
  EXPECT_EQ(LICE_GetPixel(&e, 1, 1), 0x1e1e1e1eu);
  EXPECT_EQ(LICE_GetPixel(&e, 0, 0), 0x3c3c3c3cu); // corner: a quarter of its horizontal neighbour
  // too small a rectangle does nothing
  LICE_Blur(&e, &e, 0, 0, 0, 0, 1, 3);
}

TEST(HalveBlitAA, AveragesQuads)
{
  LICE_MemBitmap src(5, 4), dst(3, 3);
  LICE_Clear(&src, 0x40404040);
  src.getBits()[0] = 0xfcfcfcfc;
  LICE_Clear(&dst, 0x01010101);
  LICE_HalveBlitAA(&dst, &src);
  EXPECT_EQ(dst.getBits()[0], 0x3f3f3f3fu + 0x30303030u);
  EXPECT_EQ(dst.getBits()[1], 0x40404040u);
  EXPECT_EQ(dst.getBits()[2], 0x01010101u); // 5 / 2 = 2 columns only
  EXPECT_EQ(dst.getBits()[2 * dst.getRowSpan()], 0x01010101u);
}

// Guard pages: every routine clipped at every edge of a bitmap that sits against a PROT_NONE
// page must not touch it. A stray write or read faults the test process.
TEST(GuardPages, NoAccessPastClipEdges)
{
  Rng rng(99);
  for (Guard g : {Guard::After, Guard::Before})
    for (bool flipped : {false, true})
      for (int w : {1, 3, 17})
        for (int h : {1, 5})
        {
          TestBitmap dst(w, h, w, flipped, g), src(w + 1, h + 2, w + 1, !flipped, g);
          dst.fillRandom(rng);
          src.fillRandom(rng);
          for (int mode : {0, 0x10000, 1, 3, 5, 0x10003})
          {
            for (int dx : {-w - 1, -1, 0, 1, w - 1, w})
              for (int dy : {-h, -1, 0, h - 1})
              {
                LICE_Blit(&dst, &src, dx, dy, nullptr, 0.6f, mode);
                LICE_Blit(&dst, &src, dx, dy, nullptr, 1.0f, mode);
                LICE_FillRect(&dst, dx, dy, w + 2, h + 2, 0x80ff8040, 0.3f, mode);
                LICE_ScaledBlit(&dst, &src, dx, dy, 2 * w + 1, 2 * h + 1, -0.5f, -0.5f, w + 1.5f, h + 2.5f, 0.9f,
                                mode | LICE_FILTER_BILINEAR);
                LICE_ScaledBlit(&dst, &src, dx, dy, -w - 2, h + 3, 0, 0, (float)w + 1, (float)h + 2, 1.0f, mode);
                LICE_ScaledBlit(&dst, &src, dx, dy, w / 2 + 1, h / 2 + 1, 0, 0, (float)w + 1, (float)h + 2, 0.7f,
                                mode | LICE_FILTER_BILINEAR);
                LICE_RotatedBlit(&dst, &src, dx, dy, w + 2, h + 2, 0, 0, (float)w + 1, (float)h + 2, 0.7f, false,
                                 0.8f, mode | LICE_FILTER_BILINEAR, 0.5f, -0.5f);
                LICE_GradRect(&dst, dx, dy, w + 3, h + 3, 0.1f, 0.2f, 0.3f, 0.9f, 0.01f, 0, 0, 0, 0, 0.02f, 0, 0, mode & 0xff);
                LICE_MultiplyAddRect(&dst, dx, dy, w + 3, h + 3, 0.9f, 1.1f, 1, 1, 1, 2, 3, 4);
                LICE_Blur(&dst, &src, dx, dy, -1, -1, w + 3, h + 3);
                LICE_Blur(&dst, &dst, dx, dy, 0, 0, w, h);
                LICE_ClearRect(&dst, dx, dy, w + 2, h + 2, 0xffffff00, 1);
                LICE_PutPixel(&dst, dx, dy, 0xffffffff, 0.5f, mode);
              }
          }
          LICE_HalveBlitAA(&dst, &src);
          LICE_SimpleFill(&dst, w - 1, h - 1, 0x123456, 0, 0);
          LICE_SetAlphaFromColorMask(&dst, 0x123456);
          int coords[4];
          LICE_BitmapCmp(&dst, &dst, coords);
        }
  SUCCEED();
}

// The vector kernels of the copy and source-alpha blits and of the copy fill against the
// reference: every (d, c) byte pair, four pixels at a time, at weights around the edges.
TEST(VectorPaths, EveryBytePairThroughBlitAndFill)
{
  LICE_MemBitmap src(256, 256), dst(256, 256), want(256, 256);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x)
    {
      src.getBits()[y * 256 + x] = LICE_RGBA(x, 255 - x, x ^ 0xa5, (x * 37 + y) & 255);
      dst.getBits()[y * 256 + x] = LICE_RGBA(y, y ^ 0x5a, 255 - y, (y * 11 + x) & 255);
    }
  LICE_MemBitmap start(256, 256);
  LICE_Copy(&start, &dst);
  for (int mode : {LICE_MODE_COPY, LICE_USE_SOURCE_ALPHA})
    for (float alpha : {1.0f / 256, 0.3f, 0.49f, 0.51f, 0.99f, 255.0f / 256, 1.0f})
    {
      LICE_Copy(&dst, &start);
      LICE_Copy(&want, &start);
      LICE_Blit(&dst, &src, 0, 0, nullptr, alpha, mode);
      ref::Blit(&want, &src, 0, 0, nullptr, alpha, mode);
      int coords[4];
      ASSERT_EQ(LICE_BitmapCmp(&dst, &want, coords), 0)
          << "blit mode " << mode << " alpha " << alpha << " first difference near " << coords[0] << "," << coords[1];
    }
  for (LICE_pixel color : {0xff000000u, 0x00ffffffu, 0x80a0c0e0u})
    for (float alpha : {0.01f, 0.3f, 0.7f, 0.99f})
    {
      LICE_Copy(&dst, &start);
      LICE_Copy(&want, &start);
      LICE_FillRect(&dst, 0, 0, 256, 256, color, alpha, LICE_MODE_COPY);
      ref::FillRect(&want, 0, 0, 256, 256, color, alpha, LICE_MODE_COPY);
      ASSERT_EQ(LICE_BitmapCmp(&dst, &want), 0) << "fill " << std::hex << color << " alpha " << alpha;
    }
}
