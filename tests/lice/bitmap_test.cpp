// Bitmap classes, the memory drawing context and the whole-bitmap utilities.
#include "support/test_bitmap.h"

#include "WDL/lice/lice.h"
#include "WDL/swell/swell.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using licetest::TestBitmap;

TEST(MemContext, ZeroedAlignedTopDownBuffer)
{
  HDC dc = SWELL_CreateMemContext(nullptr, 12, 5);
  ASSERT_NE(dc, nullptr);
  auto* fb = static_cast<unsigned char*>(SWELL_GetCtxFrameBuffer(dc));
  ASSERT_NE(fb, nullptr);
  EXPECT_EQ((uintptr_t)fb % 64, 0u);
  for (int i = 0; i < 240; ++i) ASSERT_EQ(fb[i], 0) << i;
  fb[239] = 1; // the whole 12 x 5 x 4 bytes are ours
  SWELL_DeleteGfxContext(dc);
}

TEST(MemContext, RefusesBadSizesAndReleasedHandles)
{
  EXPECT_EQ(SWELL_CreateMemContext(nullptr, 0, 5), nullptr);
  EXPECT_EQ(SWELL_CreateMemContext(nullptr, 5, -1), nullptr);
  EXPECT_EQ(SWELL_CreateMemContext(nullptr, 1 << 20, 1 << 20), nullptr); // 4 TiB
  EXPECT_EQ(SWELL_GetCtxFrameBuffer(nullptr), nullptr);
  SWELL_DeleteGfxContext(nullptr);
  HDC dc = SWELL_CreateMemContext(nullptr, 4, 4);
  ASSERT_NE(dc, nullptr);
  SWELL_DeleteGfxContext(dc);
  // a released record sits in the pool: every call ignores it
  EXPECT_EQ(SWELL_GetCtxFrameBuffer(dc), nullptr);
  SWELL_DeleteGfxContext(dc);
  // and is handed out again cleared
  HDC again = SWELL_CreateMemContext(nullptr, 2, 2);
  ASSERT_NE(again, nullptr);
  EXPECT_NE(SWELL_GetCtxFrameBuffer(again), nullptr);
  SWELL_DeleteGfxContext(again);
}

TEST(MemBitmap, SpanAlignmentAndStorage)
{
  LICE_MemBitmap bm(0, 0, 4);
  EXPECT_EQ(bm.getBits(), nullptr);
  EXPECT_TRUE(bm.resize(10, 5));
  EXPECT_EQ(bm.getRowSpan(), 12);
  EXPECT_EQ(bm.getAllocSize(), 240);
  ASSERT_NE(bm.getBits(), nullptr);
  EXPECT_EQ((uintptr_t)bm.getBits() % 64, 0u);
  EXPECT_FALSE(bm.isFlipped());
  EXPECT_EQ(bm.getDC(), nullptr);
  EXPECT_EQ(bm.Extended(1, nullptr), 0);

  EXPECT_EQ(LICE_MemBitmap(10, 1, 0).getRowSpan(), 10);
  EXPECT_EQ(LICE_MemBitmap(10, 1, 1).getRowSpan(), 10);
  EXPECT_EQ(LICE_MemBitmap(10, 1, 8).getRowSpan(), 16);
  EXPECT_EQ(LICE_MemBitmap(17, 1, 16).getRowSpan(), 32);
  EXPECT_EQ(LICE_MemBitmap(10, 1, 12).getRowSpan(), 12); // lowest set bit of 12 is 4
}

TEST(MemBitmap, ResizeKeepsOrGrowsWithHeadroom)
{
  LICE_MemBitmap bm(10, 5, 4); // 240 bytes
  LICE_pixel* first = bm.getBits();
  EXPECT_FALSE(bm.resize(10, 5));
  EXPECT_TRUE(bm.resize(4, 4)); // shrinking keeps the block
  EXPECT_EQ(bm.getBits(), first);
  EXPECT_EQ(bm.getAllocSize(), 240);
  EXPECT_TRUE(bm.resize(10, 10)); // 480 > 240: grows by a quarter
  EXPECT_EQ(bm.getAllocSize(), 600);
  EXPECT_EQ((uintptr_t)bm.getBits() % 64, 0u);
  EXPECT_TRUE(bm.resize(0, 10)); // width 0 frees
  EXPECT_EQ(bm.getBits(), nullptr);
  EXPECT_EQ(bm.getWidth(), 0);
  EXPECT_EQ(bm.getHeight(), 0);
  EXPECT_EQ(bm.getAllocSize(), 0);
}

TEST(MemBitmap, GrowingKeepsPixels)
{
  // the documented case: 240 bytes of need grown to 400 reserves 500
  LICE_MemBitmap bm(10, 5, 4);
  for (int i = 0; i < 60; ++i) bm.getBits()[i] = 0x1000u + (unsigned)i;
  EXPECT_TRUE(bm.resize(20, 5)); // span 20, 400 bytes
  EXPECT_EQ(bm.getAllocSize(), 500);
  for (int i = 0; i < 60; ++i) ASSERT_EQ(bm.getBits()[i], 0x1000u + (unsigned)i) << i;
}

TEST(MemBitmap, HugeSizesFailCleanly)
{
  LICE_MemBitmap bm(100000, 100000, 4); // 40 GB: does not fit the int bookkeeping
  EXPECT_EQ(bm.getBits(), nullptr);
  EXPECT_EQ(bm.getWidth(), 0);
  LICE_FillRect(&bm, 0, 0, 10, 10, 0xffffffff, 1.0f, 0); // draws into nothing
  EXPECT_TRUE(bm.resize(3, 3));
  EXPECT_NE(bm.getBits(), nullptr);
}

TEST(SysBitmap, SpanAndNeverShrinkingContext)
{
  LICE_SysBitmap bm(10, 6);
  ASSERT_NE(bm.getBits(), nullptr);
  ASSERT_NE(bm.getDC(), nullptr);
  EXPECT_EQ(bm.getRowSpan(), 12);
  EXPECT_EQ((void*)bm.getBits(), SWELL_GetCtxFrameBuffer(bm.getDC()));
  for (int i = 0; i < 12 * 6; ++i) ASSERT_EQ(bm.getBits()[i], 0u);
  HDC dc = bm.getDC();
  EXPECT_TRUE(bm.resize(8, 6));
  EXPECT_EQ(bm.getDC(), dc);
  EXPECT_EQ(bm.getRowSpan(), 12);
  EXPECT_EQ(bm.getWidth(), 8);
  EXPECT_FALSE(bm.resize(8, 6));
  EXPECT_TRUE(bm.resize(20, 6)); // wider: a new context
  EXPECT_EQ(bm.getRowSpan(), 20);
  EXPECT_NE(bm.getBits(), nullptr);
  EXPECT_FALSE(bm.resize(0, 6)); // no memory any more
  EXPECT_EQ(bm.getBits(), nullptr);
  EXPECT_EQ(bm.getDC(), nullptr);
  EXPECT_EQ(bm.getWidth(), 0);
  LICE_SysBitmap empty;
  EXPECT_EQ(empty.getBits(), nullptr);
}

TEST(Utilities, ClearAndClearRectStayInside)
{
  TestBitmap bm(5, 4, 8, false);
  LICE_Clear(&bm, 0x11223344);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < (y < 3 ? 8 : 5); ++x)
      EXPECT_EQ(bm.getBits()[y * 8 + x], x < 5 ? 0x11223344u : 0u) << x << "," << y; // padding untouched
  LICE_ClearRect(&bm, -2, 2, 4, 10, 0xff00ff00, 0x000000aa);
  EXPECT_EQ(bm.at(0, 2), 0x110033aau);
  EXPECT_EQ(bm.at(1, 3), 0x110033aau);
  EXPECT_EQ(bm.at(2, 3), 0x11223344u);
  EXPECT_EQ(bm.at(0, 1), 0x11223344u);
  LICE_Clear(nullptr, 0);
  LICE_ClearRect(nullptr, 0, 0, 1, 1, 0, 0);
}

TEST(Utilities, GetPixelHonoursFlipAndBounds)
{
  TestBitmap up(3, 2, 3, false), flipped(3, 2, 3, true);
  for (TestBitmap* b : {&up, &flipped})
  {
    b->at(2, 0) = 0xabcdef01;
    EXPECT_EQ(LICE_GetPixel(b, 2, 0), 0xabcdef01u);
    EXPECT_EQ(LICE_GetPixel(b, -1, 0), 0u);
    EXPECT_EQ(LICE_GetPixel(b, 3, 0), 0u);
    EXPECT_EQ(LICE_GetPixel(b, 0, 2), 0u);
  }
  EXPECT_EQ(flipped.getBits()[3 + 2], 0xabcdef01u); // logical row 0 is stored last
  EXPECT_EQ(LICE_GetPixel(nullptr, 0, 0), 0u);
}

TEST(Utilities, BitmapCompare)
{
  LICE_MemBitmap a(6, 7), b(6, 7);
  LICE_Clear(&a, 0xff000000);
  LICE_Clear(&b, 0xff000000);
  int coords[4] = {9, 9, 9, 9};
  EXPECT_EQ(LICE_BitmapCmp(&a, &b), 0);
  EXPECT_EQ(LICE_BitmapCmp(&a, &b, coords), 0);
  EXPECT_EQ(coords[0] | coords[1] | coords[2] | coords[3], 0);
  LICE_PutPixel(&b, 3, 4, 0xff0000ff, 1.0f, 0);
  EXPECT_EQ(LICE_BitmapCmp(&a, &b, coords), 1);
  EXPECT_EQ(coords[0], 3);
  EXPECT_EQ(coords[1], 4);
  EXPECT_EQ(coords[2], 1);
  EXPECT_EQ(coords[3], 1);
  EXPECT_NE(LICE_BitmapCmp(&a, &b), 0);
  EXPECT_EQ(LICE_BitmapCmpEx(&a, &b, 0xffffff00), 0); // the difference is masked out
  EXPECT_EQ(LICE_BitmapCmpEx(&a, &b, 0x000000ff), 1);
  LICE_PutPixel(&b, 1, 6, 0xff0000ff, 1.0f, 0);
  LICE_PutPixel(&b, 5, 5, 0xff0000ff, 1.0f, 0);
  EXPECT_EQ(LICE_BitmapCmp(&a, &b, coords), 1);
  EXPECT_EQ(coords[0], 1);
  EXPECT_EQ(coords[1], 4);
  EXPECT_EQ(coords[2], 5);
  EXPECT_EQ(coords[3], 3);

  LICE_MemBitmap wide(8, 7), tall(6, 9);
  EXPECT_EQ(LICE_BitmapCmp(&a, &wide), 2);
  EXPECT_EQ(LICE_BitmapCmp(&a, &tall), 2);
  EXPECT_EQ(LICE_BitmapCmp(nullptr, &a), -1);
  EXPECT_EQ(LICE_BitmapCmp(&a, nullptr), 1);
  EXPECT_EQ(LICE_BitmapCmp(nullptr, nullptr), 0);

  // a flipped and an upright bitmap with the same picture are equal
  TestBitmap up(4, 3, 5, false), flipped(4, 3, 4, true);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) up.at(x, y) = flipped.at(x, y) = (LICE_pixel)(y * 16 + x);
  EXPECT_EQ(LICE_BitmapCmp(&up, &flipped), 0);
  EXPECT_EQ(LICE_BitmapCmp(&up, &flipped, coords), 0);
}

TEST(Utilities, SetAlphaFromColorMask)
{
  LICE_MemBitmap bm(3, 1);
  bm.getBits()[0] = 0x00ff00ff;
  bm.getBits()[1] = 0x80ff00ff;
  bm.getBits()[2] = 0x00ff00fe;
  LICE_SetAlphaFromColorMask(&bm, 0x00ff00ff);
  EXPECT_EQ(bm.getBits()[0], 0x00ff00ffu);
  EXPECT_EQ(bm.getBits()[1], 0x00ff00ffu); // magenta whatever its alpha
  EXPECT_EQ(bm.getBits()[2], 0xffff00feu);
  LICE_SetAlphaFromColorMask(&bm, 0xffff00ff); // an alpha byte in the key matches nothing
  for (int i = 0; i < 3; ++i) EXPECT_EQ(bm.getBits()[i] >> 24, 0xffu);
}

TEST(Utilities, SimpleFillIsSeededThroughItsColumn)
{
  // . = 0, # = 1; fill from (2, 2)
  const char* rows[] = {"..#..",
                        ".....",
                        "##...",
                        "..#..",
                        "...#.",
                        "....."};
  LICE_MemBitmap bm(5, 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 5; ++x) bm.getBits()[y * bm.getRowSpan() + x] = rows[y][x] == '#' ? 1 : 0;
  LICE_SimpleFill(&bm, 2, 2, 0x10, 0x00ffffff, 0);
  const char* want[] = {"..#..", // stops: column 2 of row 0 is an obstacle
                        "FFFFF",
                        "##FFF",
                        "..#..", // stops below: column 2 of row 3 does not match
                        "...#.",
                        "....."};
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 5; ++x)
    {
      const LICE_pixel p = bm.getBits()[y * bm.getRowSpan() + x];
      const LICE_pixel e = want[y][x] == 'F' ? 0x10 : want[y][x] == '#' ? 1 : 0;
      EXPECT_EQ(p, e) << x << "," << y;
    }
  LICE_SimpleFill(&bm, -1, 0, 0x20, 0xffffff, 0);
  LICE_SimpleFill(&bm, 5, 0, 0x20, 0xffffff, 0);
  LICE_SimpleFill(nullptr, 0, 0, 0, 0, 0);
}

TEST(Utilities, SimpleFillKeepMask)
{
  LICE_MemBitmap bm(3, 1);
  for (int x = 0; x < 3; ++x) bm.getBits()[x] = 0x7f000000u | (unsigned)x;
  LICE_SimpleFill(&bm, 1, 0, 0x00112233, 0xff000000, 0xff000000); // all match on the alpha byte
  for (int x = 0; x < 3; ++x) EXPECT_EQ(bm.getBits()[x], 0x7f112233u);
}

TEST(Utilities, ProcessRectVisitsClippedPixelsInOrder)
{
  TestBitmap bm(4, 3, 6, true);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) bm.at(x, y) = (LICE_pixel)(y * 10 + x);
  std::vector<LICE_pixel> seen;
  LICE_ProcessRect(&bm, -1, 1, 3, 5,
                   [](LICE_pixel* p, void* parm) {
                     static_cast<std::vector<LICE_pixel>*>(parm)->push_back(*p);
                     *p += 100;
                   },
                   &seen);
  EXPECT_EQ(seen, (std::vector<LICE_pixel>{10, 11, 20, 21}));
  EXPECT_EQ(bm.at(1, 2), 121u);
  EXPECT_EQ(bm.at(2, 2), 22u);
  LICE_ProcessRect(&bm, 0, 0, 4, 3, nullptr, nullptr);
}
