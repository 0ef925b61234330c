// Drawing services over the raster: frame selection, clipping, blend words,
// rotation, points; and the image cache behind LoadIBitmap and its kin.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "editor_test_util.h"
#include "WDL/IPlug/IGraphics.h"
#include "WDL/lice/lice.h"
#include "WDL/lice/lice_text.h"

using editor_test::Editor;
using editor_test::Surface;

namespace {

// Each pixel says where it comes from: y in bits 12-23, x in bits 0-11.
std::unique_ptr<LICE_MemBitmap> CoordBitmap(int w, int h)
{
  auto bm = std::make_unique<LICE_MemBitmap>(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) bm->getBits()[y * bm->getRowSpan() + x] = 0xFF000000u | (unsigned)(y << 12) | (unsigned)x;
  return bm;
}
int SrcX(unsigned int p) { return (int)(p & 0xFFF); }
int SrcY(unsigned int p) { return (int)((p >> 12) & 0xFFF); }


}  // namespace

TEST(DrawBitmap, FrameSelection)
{
  struct Case
  {
    int w, h, n;
    bool horizontal;
    int frame;
    int offset;  // expected source x (horizontal) or y
  } cases[] = {
    {48, 1922, 31, false, 31, 1860},  // trunc(30 * 1922 / 31 + 0.5)
    {48, 1922, 31, false, 16, 930},
    {10, 100, 3, false, 1, 0},   {10, 100, 3, false, 2, 33},  {10, 100, 3, false, 3, 67},
    {10, 100, 3, false, 0, 0},   {10, 100, 3, false, -5, 0},
    {10, 100, 3, false, 9, 67},  // past the last frame: the last
    {10, 100, 1, false, 2, 0},   // a single frame
    {90, 10, 4, true, 2, 23},    {90, 10, 4, true, 4, 68},
  };
  for (const Case& c : cases)
  {
    Surface s(100, 100);
    auto strip = CoordBitmap(c.w, c.h);
    IBitmap bitmap(strip.get(), c.w, c.h, c.n, c.horizontal);
    IRECT dest(5, 6, 5 + bitmap.frameWidth(), 6 + bitmap.frameHeight());
    EXPECT_TRUE(s.g->DrawBitmap(&bitmap, &dest, c.frame, nullptr));
    const unsigned int p = s.At(5, 6);
    EXPECT_EQ(c.horizontal ? SrcX(p) : SrcY(p), c.offset) << c.n << " frames, frame " << c.frame;
    EXPECT_EQ(c.horizontal ? SrcY(p) : SrcX(p), 0);
  }
}

TEST(DrawBitmap, ClipsToTheDrawRectangleAndMovesTheSource)
{
  auto src = CoordBitmap(64, 64);
  IBitmap bitmap(src.get(), 64, 64);
  struct Case
  {
    IRECT drawRect, dest;
    int srcX, srcY;
    IRECT painted;  // where pixels land
  } cases[] = {
    {{0, 0, 100, 100}, {-5, -3, 20, 20}, 7, 9, {0, 0, 20, 20}},
    {{10, 10, 30, 30}, {0, 0, 40, 40}, 0, 0, {10, 10, 30, 30}},
    {{10, 10, 30, 30}, {40, 40, 50, 50}, 0, 0, {}},      // outside: nothing
    {{10, 10, 30, 30}, {0, 0, 10, 10}, 0, 0, {}},        // touching: an empty area
    {{}, {0, 0, 40, 40}, 0, 0, {}},                      // outside any repaint
  };
  for (const Case& c : cases)
  {
    Surface s;
    s.g->SetDrawRect(c.drawRect);
    IRECT dest = c.dest;
    s.g->DrawBitmap(&bitmap, &dest, c.srcX, c.srcY, nullptr);
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 100; ++x)
      {
        const unsigned int p = s.At(x, y);
        if (!c.painted.Contains(x, y))
        {
          ASSERT_EQ(p, 0u) << x << "," << y;
          continue;
        }
        ASSERT_EQ(SrcX(p), c.srcX + x - c.dest.L) << x << "," << y;
        ASSERT_EQ(SrcY(p), c.srcY + y - c.dest.T) << x << "," << y;
      }
  }
}

TEST(DrawBitmap, BlendMethodsReachTheBlit)
{
  LICE_MemBitmap src(4, 4);
  LICE_Clear(&src, LICE_RGBA(200, 100, 50, 128));
  IBitmap bitmap(&src, 4, 4);
  struct Case
  {
    const IChannelBlend* blend;
    float weight;
    int mode;
  } ;
  const IChannelBlend none(0), clobber(1), add(2), dodge(3), grayed(0, 0.25f), odd(7, 0.5f);
  const Case cases[] = {
    {nullptr, 1.0f, 0x10000}, {&none, 1.0f, 0x10000}, {&clobber, 1.0f, 0}, {&add, 1.0f, 0x10001},
    {&dodge, 1.0f, 0x10002},  {&grayed, 0.25f, 0x10000}, {&odd, 0.5f, 0x10000},
  };
  for (const Case& c : cases)
  {
    Surface s(4, 4);
    LICE_Clear(s.Bits(), LICE_RGBA(10, 60, 90, 255));
    LICE_MemBitmap reference(4, 4);
    LICE_Clear(&reference, LICE_RGBA(10, 60, 90, 255));
    LICE_Blit(&reference, &src, 0, 0, 0, 0, 4, 4, c.weight, c.mode);
    IRECT dest(0, 0, 4, 4);
    s.g->DrawBitmap(&bitmap, &dest, 1, c.blend);
    EXPECT_EQ(s.At(1, 1), LICE_GetPixel(&reference, 1, 1)) << "mode " << c.mode << " weight " << c.weight;
  }
}

TEST(DrawBitmap, NullAndEmptyBitmapsDrawNothing)
{
  Surface s;
  IBitmap empty;
  IRECT dest(0, 0, 50, 50);
  EXPECT_TRUE(s.g->DrawBitmap(&empty, &dest, 1, nullptr));
  EXPECT_TRUE(s.g->DrawBitmap(nullptr, &dest, 0, 0, nullptr));
  EXPECT_TRUE(s.g->DrawBitmap(&empty, nullptr, 0, 0, nullptr));
  EXPECT_TRUE(s.g->DrawRotatedBitmap(&empty, 10, 10, 1.0, 0, nullptr));
  EXPECT_TRUE(s.g->DrawRotatedMask(&empty, &empty, &empty, 0, 0, 30.0, nullptr));
  EXPECT_TRUE(s.g->DrawRotatedMask(nullptr, nullptr, nullptr, 0, 0, 30.0, nullptr));
  EXPECT_EQ(s.At(10, 10), 0u);

  // Before PrepDraw there is no surface at all.
  Editor ed;
  IBitmap bitmap(s.Bits(), 100, 100);
  EXPECT_TRUE(ed.mGraphics->DrawBitmap(&bitmap, &dest, 1, nullptr));
  EXPECT_TRUE(ed.mGraphics->ForcePixel(&COLOR_RED, 1, 1));
  EXPECT_EQ(ed.mGraphics->GetBits(), nullptr);
  EXPECT_EQ(ed.mGraphics->GetPoint(1, 1), COLOR_TRANSPARENT);
}

TEST(DrawRotated, BitmapAndMask)
{
  // A plain square turned by 0 is itself, centred, and is not clipped to the
  // draw rectangle.
  LICE_MemBitmap square(21, 11);
  LICE_Clear(&square, 0xFF00FF00);
  IBitmap bitmap(&square, 21, 11);
  Surface s;
  s.g->SetDrawRect(IRECT(0, 0, 1, 1));
  s.g->DrawRotatedBitmap(&bitmap, 50, 50, 0.0, 0, nullptr);
  EXPECT_EQ(s.At(50, 50), 0xFF00FF00u);
  EXPECT_EQ(s.At(41, 46), 0xFF00FF00u);  // left edge: 50 - 21 / 2
  EXPECT_EQ(s.At(50, 40), 0u);
  EXPECT_EQ(s.At(70, 50), 0u);

  // The mask's alpha cuts the base; a transparent top adds nothing.
  LICE_MemBitmap base(20, 20), mask(20, 20), top(20, 20);
  LICE_Clear(&base, 0xFFFF0000);
  LICE_Clear(&mask, 0);
  LICE_FillRect(&mask, 0, 0, 10, 20, 0xFF000000, 1.0f, LICE_MODE_COPY);
  LICE_Clear(&top, 0);
  IBitmap b(&base, 20, 20), m(&mask, 20, 20), t(&top, 20, 20);
  Surface r;
  LICE_Clear(r.Bits(), 0xFF0000FF);
  r.g->SetDrawRect(IRECT(0, 0, 100, 100));
  r.g->DrawRotatedMask(&b, &m, &t, 10, 10, 0.0, nullptr);
  EXPECT_EQ(r.At(13, 15) & 0xFFFFFF, 0xFF0000u);  // under the mask: the base
  EXPECT_EQ(r.At(26, 15) & 0xFFFFFF, 0x0000FFu);  // outside it: what was there
  EXPECT_EQ(r.At(5, 5) & 0xFFFFFF, 0x0000FFu);
  // Turned half a turn, the mask now covers the right half.
  LICE_Clear(r.Bits(), 0xFF0000FF);
  r.g->DrawRotatedMask(&b, &m, &t, 10, 10, 180.0, nullptr);
  EXPECT_EQ(r.At(13, 15) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(r.At(26, 15) & 0xFFFFFF, 0xFF0000u);
}

TEST(DrawPixels, PointsForcedPixelsAndReadBack)
{
  Surface s(20, 20);
  s.g->DrawPoint(&COLOR_RED, 3.4f, 5.6f, nullptr);  // rounds to (3, 6)
  EXPECT_EQ(s.g->GetPoint(3, 6), COLOR_RED);
  EXPECT_EQ(s.g->GetPoint(3, 5), COLOR_TRANSPARENT);
  s.g->DrawPoint(&COLOR_RED, 1e30f, std::nanf(""), nullptr);  // nowhere
  s.g->DrawPoint(nullptr, 1.0f, 1.0f, nullptr);

  const IColor seeThrough(7, 1, 2, 3);
  struct Case
  {
    int x, y;
    bool inside;
  } cases[] = {{0, 0, true}, {19, 19, true}, {20, 0, false}, {-1, 5, false}, {5, 20, false}, {5, -100000, false}};
  for (const Case& c : cases)
  {
    EXPECT_TRUE(s.g->ForcePixel(&seeThrough, c.x, c.y));
    if (c.inside)
    {
      EXPECT_EQ(s.g->GetPoint(c.x, c.y), seeThrough);  // written as is, alpha too
    }
  }
  EXPECT_EQ(s.g->GetPoint(25, 25), COLOR_TRANSPARENT);
  EXPECT_EQ(s.g->GetBits(), s.Bits()->getBits());

  IRECT r(2, 2, 6, 4);
  s.g->FillIRect(&COLOR_BLUE, &r);
  EXPECT_EQ(s.g->GetPoint(5, 3), COLOR_BLUE);
  EXPECT_EQ(s.g->GetPoint(6, 3), COLOR_TRANSPARENT);
}

// ---------------------------------------------------------------------------
// The image cache

namespace {

std::vector<unsigned char> PNGBytes(LICE_IBitmap* bm)
{
  char path[] = "/tmp/editor_test_XXXXXX";
  const int fd = mkstemp(path);
  close(fd);
  LICE_WritePNG(path, bm);
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::remove(path);
  return bytes;
}

}  // namespace

TEST(ImageCache, LoadIBitmapByIdOnce)
{
  auto strip = editor_test::MakeStrip(8, 6, 3);
  IGraphicsMemory::RegisterPNG("cache_png", PNGBytes(strip.get()));
  Editor ed;
  ed.Attach();
  IGraphicsMemory* g = ed.mGraphics;
  const int loads = IGraphicsMemory::LoadCount();

  IBitmap a = g->LoadIBitmap(9001, "resources/img/cache_png.png", 3);
  ASSERT_NE(a.mData, nullptr);
  EXPECT_EQ(a.W, 8);
  EXPECT_EQ(a.H, 18);
  EXPECT_EQ(a.N, 3);
  EXPECT_EQ(LICE_GetPixel(a.mData, 4, 13), editor_test::FrameColor(3));  // decoded from the PNG
  // The same id with another name and frame count: the same pixels.
  IBitmap b = g->LoadIBitmap(9001, "elsewhere/unknown.png", 2, true);
  EXPECT_EQ(b.mData, a.mData);
  EXPECT_EQ(b.N, 2);
  EXPECT_TRUE(b.mFramesAreHorizontal);
  EXPECT_EQ(IGraphicsMemory::LoadCount(), loads + 1);

  struct Bad
  {
    int id;
    const char* name;
  } bad[] = {{9002, "resources/img/missing.png"}, {9003, "resources/img/cache_png.jpg"}, {9004, nullptr}};
  for (const Bad& c : bad)
  {
    IBitmap e = g->LoadIBitmap(c.id, c.name, 3);
    EXPECT_EQ(e.mData, nullptr);
    EXPECT_EQ(e.W, 0);
    EXPECT_EQ(e.H, 0);
    EXPECT_EQ(BitmapStorage::Shared().Find(c.id), nullptr);  // a failure is not cached
  }
  EXPECT_EQ(g->LoadIBitmap(9001, "x.png", 0).N, 1);
}

TEST(ImageCache, ScaleCropRetainRelease)
{
  auto strip = editor_test::MakeStrip(8, 6, 2, true);
  IGraphicsMemory::RegisterImage("cache_strip", strip.get());
  Editor ed;
  ed.Attach();
  IGraphicsMemory* g = ed.mGraphics;
  BitmapStorage& cache = BitmapStorage::Shared();
  IBitmap src = g->LoadIBitmap(9011, "cache_strip.png", 2, true);
  ASSERT_NE(src.mData, nullptr);
  const int size = cache.Size();

  IBitmap scaled = g->ScaleBitmap(&src, 32, 12);
  EXPECT_EQ(scaled.W, 32);
  EXPECT_EQ(scaled.H, 12);
  EXPECT_EQ(scaled.N, 2);
  EXPECT_FALSE(scaled.mFramesAreHorizontal);  // not carried over
  EXPECT_EQ(LICE_GetPixel(scaled.mData, 2, 6), editor_test::FrameColor(1));
  EXPECT_EQ(LICE_GetPixel(scaled.mData, 29, 6), editor_test::FrameColor(2));
  EXPECT_TRUE(cache.Contains(scaled.mData));

  IRECT area(8, 0, 16, 6);
  IBitmap cropped = g->CropBitmap(&src, &area);
  EXPECT_EQ(cropped.W, 8);
  EXPECT_EQ(cropped.H, 6);
  EXPECT_EQ(LICE_GetPixel(cropped.mData, 0, 0), editor_test::FrameColor(2));
  EXPECT_EQ(cache.Size(), size + 2);

  IRECT nothing(3, 3, 3, 9);
  EXPECT_EQ(g->CropBitmap(&src, &nothing).mData, nullptr);
  EXPECT_EQ(g->ScaleBitmap(&src, 0, 5).mData, nullptr);
  EXPECT_EQ(g->ScaleBitmap(nullptr, 5, 5).mData, nullptr);
  EXPECT_EQ(cache.Size(), size + 2);

  // Retaining what the cache holds already stores nothing twice.
  g->RetainBitmap(&src);
  g->RetainBitmap(&scaled);
  EXPECT_EQ(cache.Size(), size + 2);

  // Releasing deletes the pixels and empties the record; the next load reloads.
  const int loads = IGraphicsMemory::LoadCount();
  g->ReleaseBitmap(&src);
  EXPECT_EQ(src.mData, nullptr);
  EXPECT_EQ(cache.Find(9011), nullptr);
  IBitmap again = g->LoadIBitmap(9011, "cache_strip.png", 2, true);
  EXPECT_NE(again.mData, nullptr);
  EXPECT_EQ(IGraphicsMemory::LoadCount(), loads + 1);
  g->ReleaseBitmap(&scaled);
  g->ReleaseBitmap(&cropped);
  g->ReleaseBitmap(&cropped);  // twice: nothing the second time
  EXPECT_EQ(cache.Size(), size);

  // A bitmap made outside the cache can be handed to it.
  IBitmap own(new LICE_MemBitmap(4, 4), 4, 4);
  g->RetainBitmap(&own);
  EXPECT_TRUE(cache.Contains(own.mData));
  g->ReleaseBitmap(&own);
}

TEST(ImageCache, StorageStoresEachBitmapOnceAndOwnsIt)
{
  BitmapStorage storage;
  LICE_MemBitmap* a = new LICE_MemBitmap(2, 2);
  LICE_MemBitmap* b = new LICE_MemBitmap(2, 2);
  EXPECT_TRUE(storage.Add(a, 5));
  EXPECT_TRUE(storage.Add(a, 6));  // already there: one entry (one delete)
  EXPECT_TRUE(storage.Add(b, 5));
  EXPECT_FALSE(storage.Add(nullptr, 7));
  EXPECT_EQ(storage.Size(), 2);
  EXPECT_EQ(storage.Find(5), a);  // the first of the id
  EXPECT_EQ(storage.Find(6), nullptr);
  LICE_MemBitmap outside(1, 1);
  storage.Remove(&outside);  // not stored: nothing
  storage.Remove(nullptr);
  storage.Remove(a);
  EXPECT_EQ(storage.Find(5), b);
  EXPECT_EQ(storage.Size(), 1);
  // b is deleted with the storage (the sanitizers check).
}

TEST(FontCache, KeyIsSizeOrientationStyleAndFace)
{
  FontStorage storage;
  IText base(12, &COLOR_BLACK, "DejaVu Sans");
  editor_test::NullFont* font = new editor_test::NullFont;
  EXPECT_TRUE(storage.Add(font, &base));
  EXPECT_FALSE(storage.Add(nullptr, &base));
  editor_test::NullFont kept;
  EXPECT_FALSE(storage.Add(&kept, nullptr));  // no style: refused, nothing taken

  struct Case
  {
    const char* change;
    bool shared;
  } cases[] = {{"colour", true}, {"align", true}, {"quality", true}, {"size", false},
               {"orientation", false}, {"style", false}, {"face", false}};
  for (const Case& c : cases)
  {
    IText t = base;
    const std::string what = c.change;
    if (what == "colour") t.mColor = COLOR_RED;
    if (what == "align") t.mAlign = IText::kAlignFar;
    if (what == "quality") t.mQuality = IText::kQualityAntiAliased;
    if (what == "size") t.mSize = 13;
    if (what == "orientation") t.mOrientation = 90;
    if (what == "style") t.mStyle = IText::kStyleBold;
    if (what == "face") t.SetFont("DejaVu Sans Mono");
    EXPECT_EQ(storage.Find(&t) == font, c.shared) << c.change;
  }
  EXPECT_EQ(storage.Find(nullptr), nullptr);
}
