// PNG loading: images of every colour type and bit depth, written here with libpng, read
// back exactly; truncated, corrupt and foreign data refused; writing round trips; the loader
// registry. With LICE_PNG_CORPUS_DIR set, every image written here is also saved there as a
// seed for the fuzzer (tests/lice/run_fuzz.sh).
#include "support/prng.h"
#include "support/test_bitmap.h"

#include "WDL/lice/lice.h"

#include <gtest/gtest.h>
#include <png.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using licetest::Rng;
using licetest::TestBitmap;

namespace
{
typedef std::vector<unsigned char> Bytes;

struct PngSpec
{
  int w = 0, h = 0, colorType = PNG_COLOR_TYPE_RGBA, bitDepth = 8;
  bool interlaced = false;
  std::vector<png_color> palette;
  std::vector<unsigned char> trnsAlpha; // palette alpha
  bool trnsColor = false;
  png_color_16 trnsValue{};
  std::vector<Bytes> rows; // raw rows in libpng's packed layout
};

void AppendBytes(png_structp png, png_bytep data, png_size_t n)
{
  Bytes* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}
void NoFlush(png_structp) {}

int g_corpusIndex = 0;

// Encodes an image description with libpng (the test's own encoder: independent of LICE_WritePNG).
Bytes Encode(PngSpec& s)
{
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png)))
  {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "encoding failed";
    return Bytes();
  }
  png_set_write_fn(png, &out, AppendBytes, NoFlush);
  png_set_IHDR(png, info, (png_uint_32)s.w, (png_uint_32)s.h, s.bitDepth, s.colorType,
               s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), (int)s.palette.size());
  if (!s.trnsAlpha.empty()) png_set_tRNS(png, info, s.trnsAlpha.data(), (int)s.trnsAlpha.size(), nullptr);
  if (s.trnsColor) png_set_tRNS(png, info, nullptr, 0, &s.trnsValue);
  png_write_info(png, info);
  if (s.bitDepth == 16) png_set_swap(png); // rows are built little-endian below
  std::vector<png_bytep> rows;
  for (Bytes& r : s.rows) rows.push_back(r.data());
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);

  if (const char* dir = std::getenv("LICE_PNG_CORPUS_DIR"))
  {
    const std::string path = std::string(dir) + "/seed_" + std::to_string(g_corpusIndex++) + ".png";
    if (FILE* f = std::fopen(path.c_str(), "wb"))
    {
      std::fwrite(out.data(), 1, out.size(), f);
      std::fclose(f);
    }
  }
  return out;
}

std::unique_ptr<LICE_IBitmap> Decode(const Bytes& b)
{
  return std::unique_ptr<LICE_IBitmap>(LICE_LoadPNGFromMemory(b.data(), (int)b.size(), nullptr));
}

// Packs samples (each below 2^depth) of one row MSB first, as PNG stores sub-byte depths.
Bytes PackRow(const std::vector<int>& samples, int depth)
{
  Bytes r;
  if (depth == 8)
  {
    for (int v : samples) r.push_back((unsigned char)v);
    return r;
  }
  if (depth == 16)
  {
    for (int v : samples)
    {
      r.push_back((unsigned char)(v & 255)); // little-endian, swapped by png_set_swap
      r.push_back((unsigned char)(v >> 8));
    }
    return r;
  }
  const int perByte = 8 / depth;
  r.assign((samples.size() + perByte - 1) / perByte, 0);
  for (size_t i = 0; i < samples.size(); ++i)
    r[i / perByte] |= (unsigned char)(samples[i] << (8 - depth * (int)(i % perByte + 1)));
  return r;
}

LICE_pixel At(LICE_IBitmap* bm, int x, int y) { return LICE_GetPixel(bm, x, y); }

std::string TempPath(const std::string& name)
{
  const char* t = std::getenv("TMPDIR");
  return std::string(t ? t : "/tmp") + "/lice_png_test_" + std::to_string(getpid()) + "_" + name;
}
} // namespace

TEST(Png, Rgba8AndRgb8)
{
  Rng rng(1);
  PngSpec s;
  s.w = 7;
  s.h = 5;
  std::vector<LICE_pixel> want;
  for (int y = 0; y < s.h; ++y)
  {
    std::vector<int> row;
    for (int x = 0; x < s.w; ++x)
    {
      const LICE_pixel p = rng.biasedPixel();
      want.push_back(p);
      row.insert(row.end(), {(int)LICE_GETR(p), (int)LICE_GETG(p), (int)LICE_GETB(p), (int)LICE_GETA(p)});
    }
    s.rows.push_back(PackRow(row, 8));
  }
  auto bm = Decode(Encode(s));
  ASSERT_TRUE(bm);
  ASSERT_EQ(bm->getWidth(), 7);
  ASSERT_EQ(bm->getHeight(), 5);
  EXPECT_EQ(bm->getRowSpan(), 8); // LICE_MemBitmap with alignment 4
  for (int i = 0; i < 35; ++i) ASSERT_EQ(At(bm.get(), i % 7, i / 7), want[(size_t)i]) << i;

  PngSpec rgb;
  rgb.w = 3;
  rgb.h = 1;
  rgb.colorType = PNG_COLOR_TYPE_RGB;
  rgb.rows.push_back(PackRow({1, 2, 3, 250, 251, 252, 0, 128, 255}, 8));
  auto b2 = Decode(Encode(rgb));
  ASSERT_TRUE(b2);
  EXPECT_EQ(At(b2.get(), 0, 0), 0xff010203u);
  EXPECT_EQ(At(b2.get(), 1, 0), 0xfffafbfcu);
  EXPECT_EQ(At(b2.get(), 2, 0), 0xff0080ffu);
}

TEST(Png, PaletteWithAndWithoutTransparency)
{
  for (int depth : {1, 2, 4, 8})
    for (bool trns : {false, true})
    {
      PngSpec s;
      s.colorType = PNG_COLOR_TYPE_PALETTE;
      s.bitDepth = depth;
      const int n = 1 << depth;
      for (int i = 0; i < n; ++i) s.palette.push_back({(png_byte)(i * 3), (png_byte)(255 - i), (png_byte)(i ^ 0x5a)});
      if (trns)
        for (int i = 0; i < n / 2 + 1 && i < n; ++i) s.trnsAlpha.push_back((unsigned char)(i * 37));
      s.w = n + 3;
      s.h = 2;
      std::vector<int> idx;
      for (int x = 0; x < s.w; ++x) idx.push_back(x % n);
      s.rows.push_back(PackRow(idx, depth));
      s.rows.push_back(PackRow(idx, depth));
      auto bm = Decode(Encode(s));
      ASSERT_TRUE(bm) << depth << " " << trns;
      for (int x = 0; x < s.w; ++x)
      {
        const int i = x % n;
        const int a = trns && i < (int)s.trnsAlpha.size() ? s.trnsAlpha[(size_t)i] : 255;
        EXPECT_EQ(At(bm.get(), x, 1), LICE_RGBA(i * 3, 255 - i, i ^ 0x5a, a)) << "depth " << depth << " trns " << trns << " x " << x;
      }
    }
}

TEST(Png, GreyDepthsExpand)
{
  for (int depth : {1, 2, 4, 8, 16})
  {
    PngSpec s;
    s.colorType = PNG_COLOR_TYPE_GRAY;
    s.bitDepth = depth;
    const int maxv = (1 << depth) - 1;
    std::vector<int> row;
    for (int x = 0; x < 11; ++x) row.push_back(x * maxv / 10);
    s.w = 11;
    s.h = 1;
    s.rows.push_back(PackRow(row, depth));
    auto bm = Decode(Encode(s));
    ASSERT_TRUE(bm) << depth;
    for (int x = 0; x < 11; ++x)
    {
      const int g = depth == 16 ? row[(size_t)x] >> 8 : row[(size_t)x] * 255 / maxv;
      EXPECT_EQ(At(bm.get(), x, 0), LICE_RGBA(g, g, g, 255)) << "depth " << depth << " x " << x;
    }
  }
  // the 1-bit case by name: black and white only
  PngSpec one;
  one.colorType = PNG_COLOR_TYPE_GRAY;
  one.bitDepth = 1;
  one.w = 9;
  one.h = 1;
  one.rows.push_back(PackRow({0, 1, 1, 0, 1, 0, 0, 0, 1}, 1));
  auto bm = Decode(Encode(one));
  ASSERT_TRUE(bm);
  EXPECT_EQ(At(bm.get(), 0, 0), 0xff000000u);
  EXPECT_EQ(At(bm.get(), 1, 0), 0xffffffffu);
  EXPECT_EQ(At(bm.get(), 8, 0), 0xffffffffu);
}

TEST(Png, GreyAlphaAndColourKeys)
{
  PngSpec ga;
  ga.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
  ga.w = 2;
  ga.h = 1;
  ga.rows.push_back(PackRow({10, 200, 250, 0}, 8));
  auto bm = Decode(Encode(ga));
  ASSERT_TRUE(bm);
  EXPECT_EQ(At(bm.get(), 0, 0), LICE_RGBA(10, 10, 10, 200));
  EXPECT_EQ(At(bm.get(), 1, 0), LICE_RGBA(250, 250, 250, 0));

  PngSpec ga16 = ga;
  ga16.bitDepth = 16;
  ga16.rows = {PackRow({0x1234, 0xfedc, 0x00ff, 0xff00}, 16)};
  auto b16 = Decode(Encode(ga16));
  ASSERT_TRUE(b16);
  EXPECT_EQ(At(b16.get(), 0, 0), LICE_RGBA(0x12, 0x12, 0x12, 0xfe));
  EXPECT_EQ(At(b16.get(), 1, 0), LICE_RGBA(0x00, 0x00, 0x00, 0xff));

  PngSpec key;
  key.colorType = PNG_COLOR_TYPE_GRAY;
  key.w = 3;
  key.h = 1;
  key.trnsColor = true;
  key.trnsValue.gray = 77;
  key.rows.push_back(PackRow({77, 78, 0}, 8));
  auto bk = Decode(Encode(key));
  ASSERT_TRUE(bk);
  EXPECT_EQ(At(bk.get(), 0, 0), LICE_RGBA(77, 77, 77, 0));
  EXPECT_EQ(At(bk.get(), 1, 0), LICE_RGBA(78, 78, 78, 255));

  PngSpec rkey;
  rkey.colorType = PNG_COLOR_TYPE_RGB;
  rkey.w = 2;
  rkey.h = 1;
  rkey.trnsColor = true;
  rkey.trnsValue.red = 1;
  rkey.trnsValue.green = 2;
  rkey.trnsValue.blue = 3;
  rkey.rows.push_back(PackRow({1, 2, 3, 1, 2, 4}, 8));
  auto brk = Decode(Encode(rkey));
  ASSERT_TRUE(brk);
  EXPECT_EQ(At(brk.get(), 0, 0), LICE_RGBA(1, 2, 3, 0));
  EXPECT_EQ(At(brk.get(), 1, 0), LICE_RGBA(1, 2, 4, 255));
}

TEST(Png, Rgba16TakesTheHighByte)
{
  PngSpec s;
  s.bitDepth = 16;
  s.w = 2;
  s.h = 1;
  s.rows.push_back(PackRow({0x0102, 0x0304, 0x0506, 0xff07, 0xfffe, 0x80ff, 0x7f00, 0x0001}, 16));
  auto bm = Decode(Encode(s));
  ASSERT_TRUE(bm);
  EXPECT_EQ(At(bm.get(), 0, 0), LICE_RGBA(0x01, 0x03, 0x05, 0xff));
  EXPECT_EQ(At(bm.get(), 1, 0), LICE_RGBA(0xff, 0x80, 0x7f, 0x00));
}

TEST(Png, InterlacedEqualsProgressive)
{
  Rng rng(5);
  for (int type : {PNG_COLOR_TYPE_RGBA, PNG_COLOR_TYPE_PALETTE, PNG_COLOR_TYPE_GRAY})
  {
    PngSpec s;
    s.colorType = type;
    s.w = 13;
    s.h = 11;
    const int channels = type == PNG_COLOR_TYPE_RGBA ? 4 : 1;
    if (type == PNG_COLOR_TYPE_PALETTE)
      for (int i = 0; i < 256; ++i) s.palette.push_back({(png_byte)i, (png_byte)(i * 7), (png_byte)(i * 13)});
    for (int y = 0; y < s.h; ++y)
    {
      std::vector<int> row;
      for (int x = 0; x < s.w * channels; ++x) row.push_back(rng.biasedByte());
      s.rows.push_back(PackRow(row, 8));
    }
    auto plain = Decode(Encode(s));
    s.interlaced = true;
    auto inter = Decode(Encode(s));
    ASSERT_TRUE(plain);
    ASSERT_TRUE(inter);
    EXPECT_EQ(LICE_BitmapCmp(plain.get(), inter.get()), 0) << type;
  }
}

TEST(Png, IntoCallerBitmaps)
{
  PngSpec s;
  s.w = 3;
  s.h = 2;
  s.rows = {PackRow({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 8), PackRow({13, 14, 15, 16, 0, 0, 0, 0, 9, 9, 9, 9}, 8)};
  const Bytes png = Encode(s);

  LICE_MemBitmap mem(50, 50);
  EXPECT_EQ(LICE_LoadPNGFromMemory(png.data(), (int)png.size(), &mem), &mem);
  EXPECT_EQ(mem.getWidth(), 3);
  EXPECT_EQ(At(&mem, 0, 1), LICE_RGBA(13, 14, 15, 16));

  // a flipped bitmap of the right size holds the same picture
  TestBitmap flipped(3, 2, 5, true);
  EXPECT_EQ(LICE_LoadPNGFromMemory(png.data(), (int)png.size(), &flipped), &flipped);
  EXPECT_EQ(flipped.at(0, 0), LICE_RGBA(1, 2, 3, 4));
  EXPECT_EQ(flipped.at(2, 1), LICE_RGBA(9, 9, 9, 9));

  // a bitmap that cannot take the size is refused and left to its owner
  TestBitmap small(2, 2, 2, false);
  EXPECT_EQ(LICE_LoadPNGFromMemory(png.data(), (int)png.size(), &small), nullptr);
  EXPECT_EQ(small.getWidth(), 2);
}

TEST(Png, RefusesForeignAndBrokenData)
{
  PngSpec s;
  s.w = 16;
  s.h = 16;
  Rng rng(8);
  for (int y = 0; y < 16; ++y)
  {
    std::vector<int> row;
    for (int x = 0; x < 64; ++x) row.push_back(rng.biasedByte());
    s.rows.push_back(PackRow(row, 8));
  }
  const Bytes good = Encode(s);
  ASSERT_TRUE(Decode(good));

  LICE_MemBitmap keep(4, 4);
  LICE_Clear(&keep, 0x12345678);
  EXPECT_EQ(LICE_LoadPNGFromMemory(good.data(), 7, &keep), nullptr);
  const unsigned char jpeg[] = {0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1};
  EXPECT_EQ(LICE_LoadPNGFromMemory(jpeg, (int)sizeof jpeg, &keep), nullptr);
  EXPECT_EQ(keep.getWidth(), 4); // untouched: refused before decoding
  EXPECT_EQ(At(&keep, 3, 3), 0x12345678u);
  EXPECT_EQ(LICE_LoadPNGFromMemory(nullptr, 100, nullptr), nullptr);
  EXPECT_EQ(LICE_LoadPNGFromMemory(good.data(), -1, nullptr), nullptr);

  // every truncation is refused
  for (size_t n = 0; n < good.size(); ++n) ASSERT_FALSE(Decode(Bytes(good.begin(), good.begin() + (long)n))) << n;

  // flipped bytes either fail or decode to a complete image; never more
  for (int k = 0; k < 400; ++k)
  {
    Bytes bad = good;
    const int flips = rng.range(1, 4);
    for (int f = 0; f < flips; ++f) bad[(size_t)rng.range(8, (int)bad.size() - 1)] ^= (unsigned char)rng.range(1, 255);
    auto bm = Decode(bad);
    if (bm)
    {
      EXPECT_EQ(bm->getWidth(), 16);
      EXPECT_EQ(bm->getHeight(), 16);
    }
  }
}

TEST(Png, RefusesOversizedImages)
{
  PngSpec ok;
  ok.colorType = PNG_COLOR_TYPE_GRAY;
  ok.w = 16384;
  ok.h = 1;
  ok.rows.push_back(Bytes(16384, 7));
  auto bm = Decode(Encode(ok));
  ASSERT_TRUE(bm);
  EXPECT_EQ(At(bm.get(), 16383, 0), LICE_RGBA(7, 7, 7, 255));

  PngSpec wide = ok;
  wide.w = 16385;
  wide.rows = {Bytes(16385, 7)};
  EXPECT_FALSE(Decode(Encode(wide)));
  PngSpec tall;
  tall.colorType = PNG_COLOR_TYPE_GRAY;
  tall.bitDepth = 1;
  tall.w = 1;
  tall.h = 16385;
  tall.rows.assign(16385, Bytes(1, 0));
  EXPECT_FALSE(Decode(Encode(tall)));
}

TEST(Png, WriteRoundTrips)
{
  Rng rng(12);
  TestBitmap src(9, 6, 12, true);
  src.fillRandom(rng);
  const std::string path = TempPath("round.png");
  ASSERT_TRUE(LICE_WritePNG(path.c_str(), &src));
  std::unique_ptr<LICE_IBitmap> back(LICE_LoadPNG(path.c_str(), nullptr));
  ASSERT_TRUE(back);
  EXPECT_EQ(LICE_BitmapCmp(back.get(), &src), 0);
  std::remove(path.c_str());

  LICE_MemBitmap empty;
  EXPECT_FALSE(LICE_WritePNG(path.c_str(), &empty));
  EXPECT_FALSE(LICE_WritePNG(path.c_str(), nullptr));
  EXPECT_FALSE(LICE_WritePNG("/nonexistent-folder/x.png", &src));
  EXPECT_EQ(LICE_LoadPNG("/nonexistent-folder/x.png", nullptr), nullptr);
  EXPECT_EQ(LICE_LoadPNG(nullptr, nullptr), nullptr);
}

TEST(Png, LoaderRegistry)
{
  bool found = false;
  for (_LICE_ImageLoader_rec* r = LICE_ImageLoader_list; r; r = r->_next) found |= r == &LICE_PNGLoader;
  EXPECT_TRUE(found);
  const char* ext = LICE_PNGLoader.get_extlist();
  EXPECT_STREQ(ext, "PNG files (*.PNG)");
  ext += std::strlen(ext) + 1;
  EXPECT_STREQ(ext, "*.PNG");
  ext += std::strlen(ext) + 1;
  EXPECT_STREQ(ext, "");

  LICE_MemBitmap src(2, 2);
  LICE_Clear(&src, 0xff336699);
  const std::string dir = TempPath("dir.png");
  mkdir(dir.c_str(), 0700);
  const std::string upper = dir + "/IMAGE.PNG", bak = dir + "/image.png.bak", noext = dir + "/x";
  for (const std::string& p : {upper, bak, noext}) ASSERT_TRUE(LICE_WritePNG(p.c_str(), &src));

  std::unique_ptr<LICE_IBitmap> a(LICE_PNGLoader.loadfunc(upper.c_str(), true, nullptr));
  EXPECT_TRUE(a);
  EXPECT_EQ(LICE_PNGLoader.loadfunc(bak.c_str(), true, nullptr), nullptr);
  EXPECT_EQ(LICE_PNGLoader.loadfunc(noext.c_str(), true, nullptr), nullptr); // the dot is in the folder name
  std::unique_ptr<LICE_IBitmap> b(LICE_PNGLoader.loadfunc(bak.c_str(), false, nullptr));
  EXPECT_TRUE(b);
  for (const std::string& p : {upper, bak, noext}) std::remove(p.c_str());
  rmdir(dir.c_str());
}

TEST(Png, NamedResourceFolderBesideTheExecutable)
{
  EXPECT_EQ(LICE_LoadPNGFromResource(nullptr, "x", nullptr), nullptr);
  EXPECT_EQ(LICE_LoadPNGFromNamedResource(std::string(401, 'a').c_str(), nullptr), nullptr);
  EXPECT_EQ(LICE_LoadPNGFromNamedResource(nullptr, nullptr), nullptr);

  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(n, 0);
  exe[n] = 0;
  std::string dir(exe);
  dir = dir.substr(0, dir.rfind('/')) + "/resources";
  const bool made = mkdir(dir.c_str(), 0755) == 0;
  const std::string name = "lice_test_" + std::to_string(getpid()) + ".png";
  LICE_MemBitmap src(3, 1);
  LICE_Clear(&src, 0x80402010);
  ASSERT_TRUE(LICE_WritePNG((dir + "/" + name).c_str(), &src));
  std::unique_ptr<LICE_IBitmap> bm(LICE_LoadPNGFromNamedResource(name.c_str(), nullptr));
  ASSERT_TRUE(bm);
  EXPECT_EQ(At(bm.get(), 2, 0), 0x80402010u);
  EXPECT_EQ(LICE_LoadPNGFromNamedResource("no-such-image.png", nullptr), nullptr);
  std::remove((dir + "/" + name).c_str());
  if (made) rmdir(dir.c_str());
}
