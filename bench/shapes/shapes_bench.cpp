// Lines and filled circles against cairo. Every benchmark reports items_per_second in
// primitives (lines or circles) per second. The canvas is 512 x 512; each iteration draws the
// next of 256 precomputed placements, so nothing stays in one spot.
//   LICE_Line plain and anti-aliased, short (10 px) and long (200 px), at 0, 10, 30 and 45
//   degrees (45: the exact diagonal) vs cairo stroking the same anti-aliased segment, width 1
//   LICE_FillCircle plain and anti-aliased, radius 3, 10 and 40 vs cairo filling the same disc
// Colours are opaque at alpha 1.0 (copy), which cairo's OVER with an opaque source matches.
#include "WDL/lice/lice.h"

#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace
{
constexpr int kSize = 512, kPlacements = 256;
constexpr double kPi = 3.14159265358979323846;

struct Place
{
  double x, y;
};

std::vector<Place> Placements(double margin)
{
  std::vector<Place> p;
  unsigned s = 12345;
  for (int i = 0; i < kPlacements; ++i)
  {
    s = s * 1664525u + 1013904223u;
    const double a = (s >> 8) % 10000 / 10000.0;
    s = s * 1664525u + 1013904223u;
    const double b = (s >> 8) % 10000 / 10000.0;
    p.push_back({margin + a * (kSize - 2 * margin), margin + b * (kSize - 2 * margin)});
  }
  return p;
}

// ---- lines ---------------------------------------------------------------------------

void LiceLine(benchmark::State& state)
{
  const double len = (double)state.range(0), deg = (double)state.range(1);
  const bool aa = state.range(2) != 0;
  LICE_MemBitmap bm(kSize, kSize);
  LICE_Clear(&bm, 0xff000000);
  const std::vector<Place> at = Placements(len + 2);
  const int dx = (int)std::lround(len * std::cos(deg * kPi / 180)), dy = (int)std::lround(len * std::sin(deg * kPi / 180));
  int i = 0;
  for (auto _ : state)
  {
    const Place& p = at[i++ & (kPlacements - 1)];
    LICE_Line(&bm, (int)p.x, (int)p.y, (int)p.x + dx, (int)p.y + dy, 0xffe0c040, 1.0f, LICE_MODE_COPY, aa);
  }
  benchmark::DoNotOptimize(bm.getBits());
  state.SetItemsProcessed(state.iterations());
}

void CairoLine(benchmark::State& state)
{
  const double len = (double)state.range(0), deg = (double)state.range(1);
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kSize, kSize);
  cairo_t* cr = cairo_create(s);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 0xe0 / 255.0, 0xc0 / 255.0, 0x40 / 255.0);
  cairo_set_line_width(cr, 1.0);
  const std::vector<Place> at = Placements(len + 2);
  const int dx = (int)std::lround(len * std::cos(deg * kPi / 180)), dy = (int)std::lround(len * std::sin(deg * kPi / 180));
  int i = 0;
  for (auto _ : state)
  {
    const Place& p = at[i++ & (kPlacements - 1)];
    const double x = (int)p.x + 0.5, y = (int)p.y + 0.5; // pixel centres, as LICE draws them
    cairo_move_to(cr, x, y);
    cairo_line_to(cr, x + dx, y + dy);
    cairo_stroke(cr);
  }
  cairo_surface_flush(s);
  benchmark::DoNotOptimize(cairo_image_surface_get_data(s));
  cairo_destroy(cr);
  cairo_surface_destroy(s);
  state.SetItemsProcessed(state.iterations());
}

// cairo only draws anti-aliased lines here
void LineArgs(benchmark::internal::Benchmark* b, bool onlyAA)
{
  for (int len : {10, 200})
    for (int deg : {0, 10, 30, 45})
    {
      if (!onlyAA) b->Args({len, deg, 0});
      b->Args({len, deg, 1});
    }
}

// ---- filled circles ------------------------------------------------------------------

void LiceFillCircle(benchmark::State& state)
{
  const float r = (float)state.range(0);
  const bool aa = state.range(1) != 0;
  LICE_MemBitmap bm(kSize, kSize);
  LICE_Clear(&bm, 0xff000000);
  const std::vector<Place> at = Placements(r + 2);
  int i = 0;
  for (auto _ : state)
  {
    const Place& p = at[i++ & (kPlacements - 1)];
    LICE_FillCircle(&bm, (float)p.x, (float)p.y, r, 0xff40c0e0, 1.0f, LICE_MODE_COPY, aa);
  }
  benchmark::DoNotOptimize(bm.getBits());
  state.SetItemsProcessed(state.iterations());
}

void CairoFillCircle(benchmark::State& state)
{
  const double r = (double)state.range(0);
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kSize, kSize);
  cairo_t* cr = cairo_create(s);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 0x40 / 255.0, 0xc0 / 255.0, 0xe0 / 255.0);
  const std::vector<Place> at = Placements(r + 2);
  int i = 0;
  for (auto _ : state)
  {
    const Place& p = at[i++ & (kPlacements - 1)];
    cairo_arc(cr, p.x + 0.5, p.y + 0.5, r, 0, 2 * kPi);
    cairo_fill(cr);
  }
  cairo_surface_flush(s);
  benchmark::DoNotOptimize(cairo_image_surface_get_data(s));
  cairo_destroy(cr);
  cairo_surface_destroy(s);
  state.SetItemsProcessed(state.iterations());
}
} // namespace

BENCHMARK(LiceLine)->Apply([](benchmark::internal::Benchmark* b) { LineArgs(b, false); })->ArgNames({"len", "deg", "aa"});
BENCHMARK(CairoLine)->Apply([](benchmark::internal::Benchmark* b) { LineArgs(b, true); })->ArgNames({"len", "deg", "aa"});
BENCHMARK(LiceFillCircle)->ArgsProduct({{3, 10, 40}, {0, 1}})->ArgNames({"r", "aa"});
BENCHMARK(CairoFillCircle)->ArgsProduct({{3, 10, 40}})->ArgNames({"r"});
BENCHMARK_MAIN();
