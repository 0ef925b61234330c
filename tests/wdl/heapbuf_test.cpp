#include "WDL/heapbuf.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace {

struct Step
{
  int newsize;
  bool resizedown;
  int expectedAlloc;
};

void RunSteps(int granul, const Step* steps, int n)
{
  WDL_HeapBuf hb(granul);
  for (int i = 0; i < n; ++i)
  {
    hb.Resize(steps[i].newsize, steps[i].resizedown);
    EXPECT_EQ(hb.GetSize(), steps[i].newsize) << "step " << i;
    EXPECT_EQ(hb.GetAllocated(), steps[i].expectedAlloc)
        << "granul " << granul << " step " << i << " newsize " << steps[i].newsize;
  }
}

}  // namespace

// Figures worked out by hand from the rule in heapbuf.h.
TEST(HeapBuf, GrowthAtPageGranularity)
{
  const Step steps[] = {
    {1, true, 4000},         // ((1 + 4096 + 96) & ~4095) - 96
    {4000, true, 4000},      // fits
    {4001, true, 8096},      // extra 4096
    {100000, true, 147360},  // extra 50000 -> 49152; (149248 & ~4095) - 96
    {20000000, true, 24190880},  // extra clamped to 4194304
  };
  RunSteps(4096, steps, 5);
}

TEST(HeapBuf, GrowthAboveAndBelowPageGranularity)
{
  const Step big[] = {{1, true, 8096}, {9000, true, 16288}};  // extra 8192
  RunSteps(8192, big, 2);
  const Step small[] = {{1, true, 129}, {129, true, 129}, {130, true, 258}, {1000, true, 1500}};
  RunSteps(128, small, 4);
  const Step none[] = {{1, true, 1}, {10, true, 15}};
  RunSteps(0, none, 2);
}

TEST(HeapBuf, ShrinkRule)
{
  // alloc 147360, granul 4096: threshold max(1, min(73680, 130976)) = 73680;
  // 73679 reallocates with extra 36839 -> 32768: ((73679 + 32768 + 96) & ~4095) - 96.
  const Step page[] = {{100000, true, 147360}, {73680, true, 147360}, {73679, false, 147360},
                       {73679, true, 106400}, {0, true, 0}};
  RunSteps(4096, page, 5);
  // alloc 1500, granul 128: threshold min(750, 988) = 750.
  const Step small[] = {{1000, true, 1500}, {750, true, 1500}, {749, true, 1123}};
  RunSteps(128, small, 3);
  // alloc 258: alloc - 4 * granul is negative, so only size 0 reallocates (frees).
  const Step tiny[] = {{130, true, 258}, {1, true, 258}, {0, true, 0}};
  RunSteps(128, tiny, 3);
}

TEST(HeapBuf, AllocationForMatchesResize)
{
  for (int granul : {0, 1, 64, 128, 4095, 4096, 8192, 65536})
  {
    for (int size : {1, 2, 95, 96, 97, 4000, 4001, 4096, 12345, 1 << 20, 9000000})
    {
      WDL_HeapBuf hb(granul);
      hb.Resize(size);
      EXPECT_EQ(hb.GetAllocated(), WDL_HeapBuf::AllocationFor(size, granul)) << granul << " " << size;
      EXPECT_GE(hb.GetAllocated(), size);
    }
  }
}

TEST(HeapBuf, ContentSurvivesGrowthAndShrink)
{
  WDL_HeapBuf hb(128);
  unsigned char* p = static_cast<unsigned char*>(hb.Resize(100));
  for (int i = 0; i < 100; ++i) p[i] = static_cast<unsigned char>(i);
  p = static_cast<unsigned char*>(hb.Resize(100000));
  for (int i = 0; i < 100; ++i) ASSERT_EQ(p[i], i);
  p = static_cast<unsigned char*>(hb.Resize(50));
  for (int i = 0; i < 50; ++i) ASSERT_EQ(p[i], i);
}

TEST(HeapBuf, RefusesNegativeSizesAndKeepsState)
{
  WDL_HeapBuf hb;
  hb.Resize(10);
  void* before = hb.Get();
  EXPECT_EQ(hb.ResizeOK(-1), nullptr);
  EXPECT_EQ(hb.Resize(-5), before);
  EXPECT_EQ(hb.GetSize(), 10);
  EXPECT_EQ(hb.Add(nullptr, -1), nullptr);
  EXPECT_EQ(hb.GetSize(), 10);
}

TEST(HeapBuf, EmptyBufferHasNoPointer)
{
  WDL_HeapBuf hb;
  EXPECT_EQ(hb.Get(), nullptr);
  EXPECT_EQ(hb.GetSize(), 0);
  hb.Resize(0);
  EXPECT_EQ(hb.Get(), nullptr);
  EXPECT_EQ(hb.GetAllocated(), 0);
}

TEST(HeapBuf, AddCopiesFromInsideItself)
{
  WDL_HeapBuf hb(16);
  std::memcpy(hb.Resize(4), "abcd", 4);
  // Growing moves the buffer; the source must be read from its new place.
  for (int i = 0; i < 8; ++i) ASSERT_NE(hb.Add(hb.Get(), hb.GetSize()), nullptr);
  ASSERT_EQ(hb.GetSize(), 4 << 8);
  const char* p = static_cast<const char*>(hb.Get());
  for (int i = 0; i < hb.GetSize(); ++i) ASSERT_EQ(p[i], "abcd"[i % 4]) << i;
}

TEST(HeapBuf, CopiesAreDeepAndMovesTransfer)
{
  WDL_HeapBuf a(128);
  std::memcpy(a.Resize(3), "xyz", 3);
  WDL_HeapBuf b(a);
  ASSERT_NE(b.Get(), a.Get());
  EXPECT_EQ(0, std::memcmp(b.Get(), "xyz", 3));
  EXPECT_EQ(b.GetGranul(), 128);
  WDL_HeapBuf c;
  c = b;
  static_cast<char*>(b.Get())[0] = 'q';
  EXPECT_EQ(static_cast<char*>(c.Get())[0], 'x');
  WDL_HeapBuf d(std::move(c));
  EXPECT_EQ(c.GetSize(), 0);
  EXPECT_EQ(d.GetSize(), 3);
}

TEST(TypedBuf, SizesInElementsAndRefusesOverflow)
{
  WDL_TypedBuf<double> tb;
  EXPECT_NE(tb.Resize(10), nullptr);
  EXPECT_EQ(tb.GetSize(), 10);
  EXPECT_EQ(tb.GetHeapBuf()->GetSize(), 80);
  EXPECT_EQ(tb.ResizeOK(INT_MAX / 8 + 1), nullptr);
  EXPECT_EQ(tb.ResizeOK(-1), nullptr);
  EXPECT_EQ(tb.GetSize(), 10);
}

TEST(TypedBuf, AddAndDelete)
{
  WDL_TypedBuf<int> tb;
  for (int i = 0; i < 5; ++i) tb.Add(i * 10);
  tb.Add(tb.Get()[0]);  // an element of the buffer itself
  ASSERT_EQ(tb.GetSize(), 6);
  EXPECT_EQ(tb.Get()[5], 0);
  tb.Delete(1);
  tb.Delete(-1);
  tb.Delete(99);
  ASSERT_EQ(tb.GetSize(), 5);
  const int expected[] = {0, 20, 30, 40, 0};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(tb.Get()[i], expected[i]);
}
