// A deliberately plain reference of the raster routines: one destination pixel at a time,
// every formula written out per channel, no clipping shortcuts (each pixel is tested
// against the bitmaps on its own), no fast paths except where the contract itself names a
// special case (exact 1.0 and 0.5 copies, the fixed-weight word mixes). It shares no code
// with WDL/lice beyond the public types.
#ifndef TESTS_LICE_SUPPORT_REF_RASTER_H
#define TESTS_LICE_SUPPORT_REF_RASTER_H

#include "WDL/lice/lice.h"

namespace ref
{
// Which combine classes: Plain (blits and fills: a weight of 0, or a copy weight below 1,
// draws nothing; at 256 the clobber and ignore-alpha-parameter classes), VaryingWeight
// (DeltaBlitAlpha: the general copy classes even at 256), Gradient (the clamping classes,
// applied at any weight, as the gradient loop does).
enum class Variant
{
  Plain,
  VaryingWeight,
  Gradient
};

// One combine of source channels (r, g, b, a) at weight ia into pixel d under mode
// (operation and source-alpha flag).
LICE_pixel Combine(LICE_pixel d, int r, int g, int b, int a, int ia, int mode, Variant v = Variant::Plain);

LICE_pixel GetPixel(LICE_IBitmap* bm, int x, int y);
void SetPixel(LICE_IBitmap* bm, int x, int y, LICE_pixel p);

void PutPixel(LICE_IBitmap* bm, int x, int y, LICE_pixel color, float alpha, int mode);
void Blit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, const RECT* srcrect, float alpha, int mode);
void FillRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel color, float alpha, int mode);
void ClearRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel mask, LICE_pixel orbits);
void ScaledBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx, float srcy,
                float srcw, float srch, float alpha, int mode);
void RotatedBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx, float srcy,
                 float srcw, float srch, float angle, bool cliptosourcerect, float alpha, int mode, float rotxcent,
                 float rotycent);
void DeltaBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx, float srcy,
               float srcw, float srch, double dsdx, double dtdx, double dsdy, double dtdy, double dsdxdy,
               double dtdxdy, bool cliptosourcerect, float alpha, int mode);
void DeltaBlitAlpha(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx,
                    float srcy, float srcw, float srch, double dsdx, double dtdx, double dsdy, double dtdy,
                    double dsdxdy, double dtdxdy, bool cliptosourcerect, float alpha, int mode, double dadx,
                    double dady, double dadxdy);
void GradRect(LICE_IBitmap* dest, int x, int y, int w, int h, float ir, float ig, float ib, float ia, float drdx,
              float dgdx, float dbdx, float dadx, float drdy, float dgdy, float dbdy, float dady, int mode);
void MultiplyAddRect(LICE_IBitmap* dest, int x, int y, int w, int h, float rsc, float gsc, float bsc, float asc,
                     float radd, float gadd, float badd, float aadd);
void Blur(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy, int srcw, int srch);
void HalveBlitAA(LICE_IBitmap* dest, LICE_IBitmap* src);
} // namespace ref

#endif
