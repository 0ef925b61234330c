// A deliberately plain reference of the line, shape and glyph routines: every pixel of a
// primitive is found by a direct formula or a set (no incremental walks where a closed form
// exists, no runs, no shortcuts), then combined one at a time. Flipped bitmaps mirror y and
// draw into the stored rows. It shares no code with WDL/lice beyond the public types and the
// combine reference of ref_raster.
#ifndef TESTS_LICE_SUPPORT_REF_SHAPES_H
#define TESTS_LICE_SUPPORT_REF_SHAPES_H

#include "WDL/lice/lice.h"

namespace refshape
{
bool ClipLine(int* x1, int* y1, int* x2, int* y2, int xlo, int ylo, int xhi, int yhi);
bool ClipFLine(float* x1, float* y1, float* x2, float* y2, float xlo, float ylo, float xhi, float yhi);
void Line(LICE_IBitmap* bm, int x1, int y1, int x2, int y2, LICE_pixel color, float alpha, int mode, bool aa);
void FLine(LICE_IBitmap* bm, float x1, float y1, float x2, float y2, LICE_pixel color, float alpha, int mode, bool aa);
void DashedLine(LICE_IBitmap* bm, int x1, int y1, int x2, int y2, int pxon, int pxoff, LICE_pixel color, float alpha,
                int mode);
void DrawRect(LICE_IBitmap* bm, int x, int y, int w, int h, LICE_pixel color, float alpha, int mode);
void BorderedRect(LICE_IBitmap* bm, int x, int y, int w, int h, LICE_pixel bg, LICE_pixel fg, float alpha, int mode);
void RoundRect(LICE_IBitmap* bm, float x, float y, float w, float h, int cr, LICE_pixel color, float alpha, int mode,
               bool aa);
void Circle(LICE_IBitmap* bm, float cx, float cy, float r, LICE_pixel color, float alpha, int mode, bool aa);
void FillCircle(LICE_IBitmap* bm, float cx, float cy, float r, LICE_pixel color, float alpha, int mode, bool aa);
void Arc(LICE_IBitmap* bm, float cx, float cy, float r, float a1, float a2, LICE_pixel color, float alpha, int mode,
         bool aa);
void FillTrapezoid(LICE_IBitmap* bm, int x1a, int x1b, int y1, int x2a, int x2b, int y2, LICE_pixel color, float alpha,
                   int mode);
void FillConvexPolygon(LICE_IBitmap* bm, const int* x, const int* y, int n, LICE_pixel color, float alpha, int mode);
void DrawGlyphEx(LICE_IBitmap* bm, int x, int y, LICE_pixel color, const unsigned char* a, int w, int span, int h,
                 float alpha, int mode);
void DrawMonoGlyph(LICE_IBitmap* bm, int x, int y, LICE_pixel color, const unsigned char* bits, int w, int span, int h,
                   float alpha, int mode);
} // namespace refshape

#endif
