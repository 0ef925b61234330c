// Raster hot paths against their baselines. Every benchmark reports items_per_second in
// pixels: divide by 1e6 for Mpx/s. Sizes: the editor's 300 x 570 surface and a 64 x 64 tile.
//   copy blit (alpha 1.0)          vs memcpy of the same bytes
//   source-alpha blit              vs pixman OVER (premultiplied a8r8g8b8, SSE2)
//   FillRect at alpha 1.0, 0.5, 0.3
//   bilinear ScaledBlit 2x up and 2x down (the box-filtered shrink)
//   RotatedBlit, nearest and bilinear
// Two source pictures: "knob" (an opaque disc with an anti-aliased rim on a transparent
// ground, like the editor's art) and "noise" (every pixel a random alpha: no pixel can be
// skipped or copied whole).
#include "WDL/lice/lice.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace
{
constexpr int kSurfW = 300, kSurfH = 570, kTile = 64;

uint32_t Lcg(uint32_t& s)
{
  s = s * 1664525u + 1013904223u;
  return s >> 8;
}

enum Picture
{
  kKnob,
  kNoise
};

void Paint(LICE_IBitmap* bm, Picture pic, uint32_t seed)
{
  const int w = bm->getWidth(), h = bm->getHeight();
  const double cx = w / 2.0, cy = h / 2.0, r = std::min(w, h) * 0.45;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
    {
      uint32_t c = Lcg(seed) & 0xffffff;
      int a;
      if (pic == kNoise)
        a = (int)(Lcg(seed) & 255);
      else
      {
        const double d = std::sqrt((x + 0.5 - cx) * (x + 0.5 - cx) + (y + 0.5 - cy) * (y + 0.5 - cy));
        const double cover = std::min(1.0, std::max(0.0, r - d + 0.5));
        a = (int)(cover * 255.0 + 0.5);
      }
      bm->getBits()[(size_t)y * bm->getRowSpan() + x] = c | ((uint32_t)a << 24);
    }
}

// premultiplied copy for pixman
std::vector<uint32_t> Premultiplied(LICE_IBitmap* bm)
{
  std::vector<uint32_t> out((size_t)bm->getWidth() * bm->getHeight());
  for (int y = 0; y < bm->getHeight(); ++y)
    for (int x = 0; x < bm->getWidth(); ++x)
    {
      const uint32_t p = bm->getBits()[(size_t)y * bm->getRowSpan() + x];
      const uint32_t a = p >> 24;
      auto m = [a](uint32_t c) { return (c * a + 127) / 255; };
      out[(size_t)y * bm->getWidth() + x] =
          (a << 24) | (m((p >> 16) & 255) << 16) | (m((p >> 8) & 255) << 8) | m(p & 255);
    }
  return out;
}

int SizeOf(int arg) { return arg == 0 ? kSurfW : kTile; }
int HeightOf(int arg) { return arg == 0 ? kSurfH : kTile; }

void Report(benchmark::State& state, int64_t pixels) { state.SetItemsProcessed(state.iterations() * pixels); }

// ---- copy vs memcpy ---------------------------------------------------------------------

void BM_Memcpy(benchmark::State& state)
{
  const int w = SizeOf((int)state.range(0)), h = HeightOf((int)state.range(0));
  std::vector<uint32_t> a((size_t)w * h, 0x11223344), b((size_t)w * h);
  for (auto _ : state)
  {
    std::memcpy(b.data(), a.data(), a.size() * 4);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  Report(state, (int64_t)w * h);
}

void BM_BlitCopy(benchmark::State& state)
{
  const int w = SizeOf((int)state.range(0)), h = HeightOf((int)state.range(0));
  LICE_MemBitmap src(w, h), dst(w, h);
  Paint(&src, kKnob, 1);
  for (auto _ : state)
  {
    LICE_Blit(&dst, &src, 0, 0, nullptr, 1.0f, LICE_MODE_COPY);
    benchmark::ClobberMemory();
  }
  Report(state, (int64_t)w * h);
}

// ---- source alpha vs pixman OVER ---------------------------------------------------------

void BM_BlitSourceAlpha(benchmark::State& state)
{
  const int w = SizeOf((int)state.range(0)), h = HeightOf((int)state.range(0));
  LICE_MemBitmap src(w, h), dst(w, h);
  Paint(&src, (Picture)state.range(1), 2);
  Paint(&dst, kNoise, 3);
  const float alpha = state.range(2) / 100.0f;
  for (auto _ : state)
  {
    LICE_Blit(&dst, &src, 0, 0, nullptr, alpha, LICE_MODE_COPY | LICE_USE_SOURCE_ALPHA);
    benchmark::ClobberMemory();
  }
  Report(state, (int64_t)w * h);
}

void BM_PixmanOver(benchmark::State& state)
{
  const int w = SizeOf((int)state.range(0)), h = HeightOf((int)state.range(0));
  LICE_MemBitmap src(w, h), dst(w, h);
  Paint(&src, (Picture)state.range(1), 2);
  Paint(&dst, kNoise, 3);
  std::vector<uint32_t> s = Premultiplied(&src), d = Premultiplied(&dst);
  pixman_image_t* ps = pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, s.data(), w * 4);
  pixman_image_t* pd = pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, d.data(), w * 4);
  for (auto _ : state)
  {
    pixman_image_composite32(PIXMAN_OP_OVER, ps, nullptr, pd, 0, 0, 0, 0, 0, 0, w, h);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(ps);
  pixman_image_unref(pd);
  Report(state, (int64_t)w * h);
}

// ---- fills ------------------------------------------------------------------------------

void BM_FillRect(benchmark::State& state)
{
  LICE_MemBitmap dst(kSurfW, kSurfH);
  Paint(&dst, kNoise, 4);
  const float alpha = state.range(0) / 100.0f;
  for (auto _ : state)
  {
    LICE_FillRect(&dst, 0, 0, kSurfW, kSurfH, 0xff336699, alpha, LICE_MODE_COPY);
    benchmark::ClobberMemory();
  }
  Report(state, (int64_t)kSurfW * kSurfH);
}

void BM_PixmanFill(benchmark::State& state)
{
  std::vector<uint32_t> d((size_t)kSurfW * kSurfH, 0x80808080);
  for (auto _ : state)
  {
    pixman_fill(d.data(), kSurfW, 32, 0, 0, kSurfW, kSurfH, 0xff336699);
    benchmark::ClobberMemory();
  }
  Report(state, (int64_t)kSurfW * kSurfH);
}

// ---- scaling and rotation -----------------------------------------------------------------

void BM_ScaledBilinear(benchmark::State& state)
{
  // range(0): 0 = 2x up (150 x 285 -> 300 x 570), 1 = 2x down (600 x 1140 -> 300 x 570)
  const bool up = state.range(0) == 0;
  LICE_MemBitmap src(up ? kSurfW / 2 : kSurfW * 2, up ? kSurfH / 2 : kSurfH * 2), dst(kSurfW, kSurfH);
  Paint(&src, kKnob, 5);
  for (auto _ : state)
  {
    LICE_ScaledBlit(&dst, &src, 0, 0, kSurfW, kSurfH, 0, 0, (float)src.getWidth(), (float)src.getHeight(), 1.0f,
                    LICE_MODE_COPY | LICE_FILTER_BILINEAR);
    benchmark::ClobberMemory();
  }
  Report(state, (int64_t)kSurfW * kSurfH);
}

void BM_Rotated(benchmark::State& state)
{
  const bool bilinear = state.range(0) != 0;
  LICE_MemBitmap src(kSurfW, kSurfH), dst(kSurfW, kSurfH);
  Paint(&src, kKnob, 6);
  for (auto _ : state)
  {
    LICE_RotatedBlit(&dst, &src, 0, 0, kSurfW, kSurfH, 0, 0, kSurfW, kSurfH, 0.3f, false, 1.0f,
                     LICE_MODE_COPY | (bilinear ? LICE_FILTER_BILINEAR : 0), 0, 0);
    benchmark::ClobberMemory();
  }
  Report(state, (int64_t)kSurfW * kSurfH);
}
} // namespace

// args: size (0 surface, 1 tile)
BENCHMARK(BM_Memcpy)->ArgName("tile")->Arg(0)->Arg(1);
BENCHMARK(BM_BlitCopy)->ArgName("tile")->Arg(0)->Arg(1);
// args: size, picture (0 knob, 1 noise), alpha in percent
BENCHMARK(BM_BlitSourceAlpha)->ArgNames({"tile", "noise", "alpha%"})->Args({0, 0, 100})->Args({0, 1, 100})->Args({1, 0, 100})->Args({1, 1, 100})->Args({0, 1, 70});
BENCHMARK(BM_PixmanOver)->ArgNames({"tile", "noise"})->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1});
BENCHMARK(BM_FillRect)->ArgName("alpha%")->Arg(100)->Arg(50)->Arg(30);
BENCHMARK(BM_PixmanFill);
BENCHMARK(BM_ScaledBilinear)->ArgName("down")->Arg(0)->Arg(1);
BENCHMARK(BM_Rotated)->ArgName("bilinear")->Arg(0)->Arg(1);

BENCHMARK_MAIN();
