// Text drawing throughput. Every benchmark draws the whole table of short UI strings below,
// laid out down the editor's 300 x 570 surface, and reports items_per_second in glyphs.
//   SwellDrawText   SWELL_DrawText into a memory context (shaping, cached masks, compositing)
//   SwellCalcRect   the same strings measured only (DT_CALCRECT)
//   Cairo           cairo's toy text API with the same font file, gray anti-aliasing and
//                   slight hinting, into an RGB24 image surface (the baseline)
//   CachedDrawText  LICE_CachedFont composing cached glyph masks into a memory bitmap (copy
//                   at alpha 1.0); CachedDrawTextHalf the same at alpha 0.5
//   CachedShadow    the same with the shadow effect (thresholded masks, two colours)
//   CachedCalcRect  the cached path measuring only
//   NativeSysBitmap LICE_CachedFont with the native flag into a system bitmap (the editor's
//                   path: SWELL_DrawText into the bitmap's context)
//   NativeMemBitmap the native flag into a memory bitmap (through the scratch system bitmap)
// Arguments: the font size in pixels. To add another renderer, write one more Draw*
// function over the same table and register it with RegisterAll.
#include "WDL/lice/lice_text.h"
#include "WDL/swell/swell.h"

#include <benchmark/benchmark.h>
#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <cstring>
#include <string>

namespace
{
constexpr int kSurfW = 300, kSurfH = 570;
constexpr const char* kFace = "DejaVu Sans";

const char* const kStrings[] = {"12.5 dB", "HIGH", "Output", "-18.0 dB", "LOW MID", "Freq", "2.5k",
                                "Q 0.70",  "OUT",  "Bypass", "HP 80 Hz", "LP 12k", "Gain", "+3.5"};
constexpr int kStringCount = sizeof(kStrings) / sizeof(kStrings[0]);

int GlyphsPerPass()
{
  int n = 0;
  for (const char* s : kStrings) n += (int)std::strlen(s);  // ASCII: one glyph a byte
  return n;
}

// Where string i of the table goes: three columns, rows 18 pixels apart.
void Place(int i, int* x, int* y)
{
  *x = 8 + (i % 3) * 96;
  *y = 6 + (i / 3) * 18;
}

void Report(benchmark::State& state)
{
  state.SetItemsProcessed((int64_t)state.iterations() * GlyphsPerPass());
}

void SwellDrawText(benchmark::State& state)
{
  HDC ctx = SWELL_CreateMemContext(nullptr, kSurfW, kSurfH);
  HFONT font = CreateFont(-(int)state.range(0), 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, kFace);
  SelectObject(ctx, font);
  SetTextColor(ctx, RGB(230, 230, 230));
  for (auto _ : state)
  {
    for (int i = 0; i < kStringCount; ++i)
    {
      int x, y;
      Place(i, &x, &y);
      RECT r = {x, y, x + 92, y + 18};
      SWELL_DrawText(ctx, kStrings[i], -1, &r, DT_SINGLELINE | DT_NOPREFIX);
    }
    benchmark::DoNotOptimize(SWELL_GetCtxFrameBuffer(ctx));
  }
  Report(state);
  DeleteObject(font);
  SWELL_DeleteGfxContext(ctx);
}

void SwellCalcRect(benchmark::State& state)
{
  HDC ctx = SWELL_CreateMemContext(nullptr, kSurfW, kSurfH);
  HFONT font = CreateFont(-(int)state.range(0), 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, kFace);
  SelectObject(ctx, font);
  for (auto _ : state)
  {
    for (int i = 0; i < kStringCount; ++i)
    {
      RECT r = {0, 0, 0, 0};
      benchmark::DoNotOptimize(SWELL_DrawText(ctx, kStrings[i], -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX));
    }
  }
  Report(state);
  DeleteObject(font);
  SWELL_DeleteGfxContext(ctx);
}

// The font file fontconfig picks for kFace, so that cairo draws the very same face.
cairo_font_face_t* CairoFace()
{
  FcPattern* pat = FcNameParse(reinterpret_cast<const FcChar8*>(kFace));
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult res;
  FcPattern* match = FcFontMatch(nullptr, pat, &res);
  FcPatternDestroy(pat);
  cairo_font_face_t* face = cairo_ft_font_face_create_for_pattern(match);
  FcPatternDestroy(match);
  return face;
}

void Cairo(benchmark::State& state)
{
  cairo_surface_t* surf = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kSurfW, kSurfH);
  cairo_t* cr = cairo_create(surf);
  cairo_font_face_t* face = CairoFace();
  cairo_set_font_face(cr, face);
  cairo_set_font_size(cr, (double)state.range(0));
  cairo_font_options_t* opt = cairo_font_options_create();
  cairo_font_options_set_antialias(opt, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(opt, CAIRO_HINT_STYLE_SLIGHT);
  cairo_set_font_options(cr, opt);
  cairo_set_source_rgb(cr, 230 / 255.0, 230 / 255.0, 230 / 255.0);
  cairo_font_extents_t fe;
  cairo_font_extents(cr, &fe);
  for (auto _ : state)
  {
    for (int i = 0; i < kStringCount; ++i)
    {
      int x, y;
      Place(i, &x, &y);
      cairo_move_to(cr, x, y + fe.ascent);
      cairo_show_text(cr, kStrings[i]);
    }
    cairo_surface_flush(surf);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surf));
  }
  Report(state);
  cairo_font_options_destroy(opt);
  cairo_font_face_destroy(face);
  cairo_destroy(cr);
  cairo_surface_destroy(surf);
}

// One LICE_CachedFont drawing the table into bm; the glyphs are cached before timing.
void CachedFontRun(benchmark::State& state, LICE_IBitmap* bm, int flags, float alpha, unsigned int dt)
{
  HFONT font = CreateFont(-(int)state.range(0), 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, kFace);
  LICE_CachedFont f;
  f.SetFromHFont(font, flags | LICE_FONT_FLAG_OWNS_HFONT);
  f.SetTextColor(LICE_RGBA(230, 230, 230, 255));
  f.SetEffectColor(LICE_RGBA(0, 0, 0, 255));
  f.SetCombineMode(LICE_MODE_COPY, alpha);
  auto pass = [&] {
    for (int i = 0; i < kStringCount; ++i)
    {
      int x, y;
      Place(i, &x, &y);
      RECT r = {x, y, x + 92, y + 18};
      benchmark::DoNotOptimize(f.DrawText(bm, kStrings[i], -1, &r, dt));
    }
  };
  pass();
  for (auto _ : state)
  {
    pass();
    if (bm) benchmark::DoNotOptimize(bm->getBits());
  }
  Report(state);
}

void CachedDrawText(benchmark::State& state)
{
  LICE_MemBitmap bm(kSurfW, kSurfH);
  CachedFontRun(state, &bm, 0, 1.0f, DT_SINGLELINE);
}

void CachedDrawTextHalf(benchmark::State& state)
{
  LICE_MemBitmap bm(kSurfW, kSurfH);
  CachedFontRun(state, &bm, 0, 0.5f, DT_SINGLELINE);
}

void CachedShadow(benchmark::State& state)
{
  LICE_MemBitmap bm(kSurfW, kSurfH);
  CachedFontRun(state, &bm, LICE_FONT_FLAG_FX_SHADOW, 1.0f, DT_SINGLELINE);
}

void CachedCalcRect(benchmark::State& state)
{
  CachedFontRun(state, nullptr, 0, 1.0f, DT_SINGLELINE | DT_CALCRECT);
}

void NativeSysBitmap(benchmark::State& state)
{
  LICE_SysBitmap bm(kSurfW, kSurfH);
  CachedFontRun(state, &bm, LICE_FONT_FLAG_FORCE_NATIVE, 1.0f, DT_SINGLELINE);
}

void NativeMemBitmap(benchmark::State& state)
{
  LICE_MemBitmap bm(kSurfW, kSurfH);
  CachedFontRun(state, &bm, LICE_FONT_FLAG_FORCE_NATIVE, 1.0f, DT_SINGLELINE);
}

void RegisterAll(const char* name, void (*fn)(benchmark::State&))
{
  benchmark::RegisterBenchmark(name, fn)->DenseRange(10, 13, 1);
}

const int kRegistered = [] {
  RegisterAll("SwellDrawText", SwellDrawText);
  RegisterAll("SwellCalcRect", SwellCalcRect);
  RegisterAll("Cairo", Cairo);
  RegisterAll("CachedDrawText", CachedDrawText);
  RegisterAll("CachedDrawTextHalf", CachedDrawTextHalf);
  RegisterAll("CachedShadow", CachedShadow);
  RegisterAll("CachedCalcRect", CachedCalcRect);
  RegisterAll("NativeSysBitmap", NativeSysBitmap);
  RegisterAll("NativeMemBitmap", NativeMemBitmap);
  return 0;
}();
}

BENCHMARK_MAIN();
