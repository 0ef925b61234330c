// Object records, selection, reference counts, stock objects, released handles, fills and
// the clip stack.
#include "swell_test_util.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

using namespace swelltest;

namespace
{
HGDIOBJ Small(int v) { return reinterpret_cast<HGDIOBJ>((uintptr_t)v); }
}

TEST(SwellObjects, SelectObjectFollowsTheSlotRules)
{
  Ctx c = MakeCtx(4, 4);
  Obj pen(CreatePen(PS_SOLID, 2, RGB(1, 2, 3)));
  Obj brush(CreateSolidBrush(RGB(4, 5, 6)));
  Obj font = MakeFont(12);
  Obj font2 = MakeFont(14);
  HGDIOBJ dead = CreateSolidBrush(0);
  DeleteObject(dead);

  enum Sym { kNull, kOne, kTwo, kThree, kFour, kPen, kBrush, kFont, kFont2, kDead, kStockPen };
  auto h = [&](Sym s) -> HGDIOBJ {
    switch (s)
    {
      case kNull: return nullptr;
      case kOne: return Small(1);
      case kTwo: return Small(2);
      case kThree: return Small(3);
      case kFour: return Small(4);
      case kPen: return pen.get();
      case kBrush: return brush.get();
      case kFont: return font.get();
      case kFont2: return font2.get();
      case kDead: return dead;
      case kStockPen: return GetStockObject(BLACK_PEN);
    }
    return nullptr;
  };
  struct Step
  {
    Sym select, expect;
  };
  const Step steps[] = {
      {kFont, kThree},      // fresh slot: the small integer of fonts
      {kFont2, kFont},      // previous font
      {kThree, kFont2},     // 3 clears the slot and returns what it held
      {kThree, kThree},     // already empty
      {kPen, kOne},         {kBrush, kTwo},  {kStockPen, kPen}, {kOne, kStockPen}, {kTwo, kBrush},
      {kNull, kNull},       // not an object
      {kFour, kNull},       // below 5 but no type
      {kDead, kNull},       // released object
      {kFont, kThree},
  };
  int i = 0;
  for (const Step& s : steps)
  {
    EXPECT_EQ(SelectObject(c.get(), h(s.select)), h(s.expect)) << "step " << i;
    ++i;
  }
  // a selected font released afterwards leaves an empty slot behind
  HGDIOBJ tmp = CreateFont(12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans");
  SelectObject(c.get(), tmp);
  DeleteObject(tmp);
  EXPECT_EQ(SelectObject(c.get(), font.get()), Small(3));
  SelectObject(c.get(), Small(3));
}

TEST(SwellObjects, DeleteCountsClonesAndSparesStaticObjects)
{
  struct Case
  {
    int clones;
    int deletes;
    bool live;
  };
  const Case cases[] = {{0, 1, false}, {1, 1, true}, {1, 2, false}, {3, 3, true}, {3, 4, false}, {2, 9, false}};
  for (const Case& k : cases)
  {
    HGDIOBJ b = CreateSolidBrush(RGB(9, 9, 9));
    for (int i = 0; i < k.clones; ++i) EXPECT_EQ(SWELL_CloneGDIObject(b), b);
    for (int i = 0; i < k.deletes; ++i) DeleteObject(b);
    Ctx c = MakeCtx(2, 2);
    EXPECT_EQ(SelectObject(c.get(), b) != nullptr, k.live) << k.clones << " clones, " << k.deletes << " deletes";
    SelectObject(c.get(), Small(2));
    if (k.live)
      for (int i = k.deletes; i <= k.clones; ++i) DeleteObject(b);
  }

  for (int idx : {WHITE_BRUSH, BLACK_BRUSH, NULL_BRUSH, WHITE_PEN, BLACK_PEN, NULL_PEN})
  {
    HGDIOBJ s = GetStockObject(idx);
    ASSERT_NE(s, nullptr) << idx;
    for (int i = 0; i < 3; ++i) DeleteObject(s);
    Ctx c = MakeCtx(2, 2);
    EXPECT_NE(SelectObject(c.get(), s), nullptr) << "stock " << idx << " survives DeleteObject";
  }
  for (int idx : {1, 2, 3, 9, -1, 1000}) EXPECT_EQ(GetStockObject(idx), nullptr) << idx;
  for (int v = 0; v < 5; ++v) DeleteObject(Small(v));  // ignored, must not crash
  EXPECT_EQ(SWELL_CloneGDIObject(nullptr), nullptr);
}

TEST(SwellObjects, ReleasedRecordsAreNotReleasedTwice)
{
  // a double delete must not put a record in the pool twice, or two new objects would share it
  std::vector<HGDIOBJ> objs;
  for (int i = 0; i < 50; ++i) objs.push_back(CreateSolidBrush((COLORREF)i));
  for (HGDIOBJ o : objs)
  {
    DeleteObject(o);
    DeleteObject(o);
  }
  std::set<HGDIOBJ> fresh;
  for (int i = 0; i < 100; ++i) EXPECT_TRUE(fresh.insert(CreatePen(0, 1, 0)).second) << i;
  for (HGDIOBJ o : fresh) DeleteObject(o);

  std::vector<HDC> ctxs;
  for (int i = 0; i < 20; ++i) ctxs.push_back(SWELL_CreateMemContext(nullptr, 3, 3));
  for (HDC c : ctxs)
  {
    SWELL_DeleteGfxContext(c);
    SWELL_DeleteGfxContext(c);
  }
  std::set<HDC> freshCtx;
  for (int i = 0; i < 40; ++i) EXPECT_TRUE(freshCtx.insert(SWELL_CreateMemContext(nullptr, 2, 2)).second) << i;
  for (HDC c : freshCtx) SWELL_DeleteGfxContext(c);
}

TEST(SwellObjects, ReleasedContextRefusesEveryCall)
{
  HDC c = SWELL_CreateMemContext(nullptr, 8, 8);
  Obj font = MakeFont(12);
  SWELL_DeleteGfxContext(c);
  for (HDC bad : {c, (HDC) nullptr})
  {
    EXPECT_EQ(SWELL_GetCtxFrameBuffer(bad), nullptr);
    EXPECT_EQ(SelectObject(bad, font.get()), nullptr);
    SetTextColor(bad, 0x123456);
    EXPECT_EQ(GetTextColor(bad), (COLORREF)-1);
    SetBkColor(bad, 1);
    SetBkMode(bad, OPAQUE);
    TEXTMETRIC tm;
    std::memset(&tm, 0x55, sizeof(tm));
    EXPECT_EQ(GetTextMetrics(bad, &tm), 0);
    EXPECT_EQ(tm.tmHeight, 16);
    EXPECT_EQ(tm.tmAscent, 12);
    EXPECT_EQ(tm.tmDescent, 4);
    EXPECT_EQ(tm.tmInternalLeading, 3);
    EXPECT_EQ(tm.tmAveCharWidth, 10);
    RECT r = {0, 0, 5, 5};
    EXPECT_EQ(SWELL_DrawText(bad, "abc", -1, &r, DT_CALCRECT), 0);
    EXPECT_EQ(r.right, 5);
    char name[8] = "x";
    EXPECT_EQ(GetTextFace(bad, sizeof(name), name), 0);
    unsigned short idx[2] = {1, 1};
    const unsigned short chars[2] = {'a', 'b'};
    EXPECT_EQ(GetGlyphIndicesW(bad, chars, 2, idx, 1), 0);
    EXPECT_EQ(idx[0], 0xFFFF);
    SWELL_PushClipRegion(bad);
    SWELL_SetClipRegion(bad, &r);
    SWELL_PopClipRegion(bad);
    SWELL_FillRect(bad, &r, GetStockObject(WHITE_BRUSH));
    SWELL_DeleteGfxContext(bad);
  }
  EXPECT_EQ(GetTextMetrics(nullptr, nullptr), 0);
}

TEST(SwellObjects, MemoryContextIsZeroedAlignedAndTopDown)
{
  Ctx c = MakeCtx(12, 5);
  ASSERT_TRUE(c);
  const unsigned char* p = static_cast<const unsigned char*>(SWELL_GetCtxFrameBuffer(c.get()));
  EXPECT_EQ((uintptr_t)p % 64, 0u);
  for (int i = 0; i < 240; ++i) ASSERT_EQ(p[i], 0) << i;
  EXPECT_EQ(GetTextColor(c.get()), 0u);

  // a fill of the top row lands in the first 48 bytes
  RECT top = {0, 0, 12, 1};
  Obj b(CreateSolidBrush(RGB(0x11, 0x22, 0x33)));
  SWELL_FillRect(c.get(), &top, b.get());
  EXPECT_EQ(Pixels(c.get())[0], 0xff112233u);
  EXPECT_EQ(Pixels(c.get())[11], 0xff112233u);
  EXPECT_EQ(Pixels(c.get())[12], 0u);

  for (int wh : {0, -1}) EXPECT_EQ(SWELL_CreateMemContext(nullptr, wh, 4), nullptr);
  EXPECT_EQ(SWELL_CreateMemContext(nullptr, 1 << 20, 1 << 20), nullptr);
}

TEST(SwellObjects, FillsAndClipStack)
{
  const int W = 20, H = 16;
  Obj white(CreateSolidBrush(RGB(255, 255, 255)));
  enum Op { kPush, kPop, kSet };
  struct Step
  {
    Op op;
    RECT r;
  };
  struct Case
  {
    const char* name;
    std::vector<Step> steps;
    RECT expect;  // ink box of a full fill afterwards
  };
  const Case cases[] = {
      {"no clip", {}, {0, 0, W, H}},
      {"set", {{kPush, {}}, {kSet, {2, 3, 10, 9}}}, {2, 3, 10, 9}},
      {"nested intersect", {{kPush, {}}, {kSet, {2, 3, 10, 9}}, {kPush, {}}, {kSet, {5, 0, 30, 30}}}, {5, 3, 10, 9}},
      {"pop one", {{kPush, {}}, {kSet, {2, 3, 10, 9}}, {kPush, {}}, {kSet, {5, 0, 30, 30}}, {kPop, {}}},
       {2, 3, 10, 9}},
      {"pop all", {{kPush, {}}, {kSet, {2, 3, 10, 9}}, {kPop, {}}}, {0, 0, W, H}},
      {"unbalanced pop ignored", {{kPop, {}}, {kPop, {}}, {kSet, {1, 1, 4, 4}}, {kPop, {}}}, {1, 1, 4, 4}},
      {"outside", {{kSet, {-10, -10, -2, -2}}}, {0, 0, 0, 0}},
      {"inverted is empty", {{kSet, {10, 10, 2, 2}}}, {0, 0, 0, 0}},
      {"partly outside", {{kSet, {-5, 12, 8, 99}}}, {0, 12, 8, H}},
  };
  for (const Case& k : cases)
  {
    Ctx c = MakeCtx(W, H);
    for (const Step& s : k.steps)
    {
      if (s.op == kPush) SWELL_PushClipRegion(c.get());
      else if (s.op == kPop) SWELL_PopClipRegion(c.get());
      else SWELL_SetClipRegion(c.get(), &s.r);
    }
    RECT all = {-100, -100, 100, 100};
    SWELL_FillRect(c.get(), &all, white.get());
    const RECT got = InkBox(c.get(), W, H);
    EXPECT_EQ(got.left, k.expect.left) << k.name;
    EXPECT_EQ(got.top, k.expect.top) << k.name;
    EXPECT_EQ(got.right, k.expect.right) << k.name;
    EXPECT_EQ(got.bottom, k.expect.bottom) << k.name;
  }

  // deeper than the saved depth: every push still needs its pop, and the outer clip returns
  Ctx c = MakeCtx(W, H);
  RECT inner = {1, 1, 19, 15};
  SWELL_PushClipRegion(c.get());
  SWELL_SetClipRegion(c.get(), &inner);
  for (int i = 0; i < 200; ++i) SWELL_PushClipRegion(c.get());
  RECT tiny = {3, 3, 4, 4};
  SWELL_SetClipRegion(c.get(), &tiny);
  for (int i = 0; i < 200; ++i) SWELL_PopClipRegion(c.get());
  RECT all = {0, 0, W, H};
  SWELL_FillRect(c.get(), &all, white.get());
  RECT got = InkBox(c.get(), W, H);
  EXPECT_EQ(got.left, 1);
  EXPECT_EQ(got.right, 19);

  // brushes only, hollow ones paint nothing
  Ctx d = MakeCtx(4, 4);
  Obj pen(CreatePen(PS_SOLID, 1, RGB(255, 255, 255)));
  SWELL_FillRect(d.get(), &all, pen.get());
  SWELL_FillRect(d.get(), &all, GetStockObject(NULL_BRUSH));
  SWELL_FillRect(d.get(), nullptr, white.get());
  EXPECT_EQ(InkCount(d.get(), 4, 4), 0);
  SWELL_FillRect(d.get(), &all, GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(InkCount(d.get(), 4, 4), 16);
}

TEST(SwellObjects, TextSettingsKeepColourBytesOnly)
{
  Ctx c = MakeCtx(2, 2);
  const COLORREF values[] = {0, 0xffffff, 0x123456, 0xff123456u, 0x80000001u};
  for (COLORREF v : values)
  {
    SetTextColor(c.get(), v);
    EXPECT_EQ(GetTextColor(c.get()), v & 0xffffff);
  }
}
