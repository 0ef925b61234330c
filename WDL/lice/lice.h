// lice.h: 32-bit raster graphics. Bitmaps, pixel combine modes, blits, fills, image
// operations and PNG loading.
//
// Pixels are LICE_pixel: unsigned 32-bit ARGB, not premultiplied, blue in bits 0-7 and
// alpha in bits 24-31 (bytes B, G, R, A in memory). Every routine takes the destination
// bitmap first and does nothing when a bitmap is null or has no bits, when the clipped
// area is empty, or when the alpha parameter turns into a weight of 0. Routines may be
// called from any thread as long as no two threads touch the same bitmap at once.
#ifndef WDL_LICE_LICE_H
#define WDL_LICE_LICE_H

#include "WDL/swell/swell.h"

typedef unsigned int LICE_pixel;
typedef unsigned char LICE_pixel_chan;

// Byte index of each channel within a pixel in memory.
#define LICE_PIXEL_B 0
#define LICE_PIXEL_G 1
#define LICE_PIXEL_R 2
#define LICE_PIXEL_A 3

#define LICE_RGBA(r, g, b, a) \
  (((LICE_pixel)(b) & 0xff) | (((LICE_pixel)(g) & 0xff) << 8) | (((LICE_pixel)(r) & 0xff) << 16) | \
   (((LICE_pixel)(a) & 0xff) << 24))
#define LICE_GETB(v) ((v) & 0xff)
#define LICE_GETG(v) (((v) >> 8) & 0xff)
#define LICE_GETR(v) (((v) >> 16) & 0xff)
#define LICE_GETA(v) (((v) >> 24) & 0xff)

// ---------------------------------------------------------------------------------------
// Mode word: low byte = combine operation, bits 8-15 = filter, bit 16 = weight by the
// source pixel's alpha. The alpha parameter becomes the weight ia = truncate(alpha * 256),
// limited to +-4096 (alpha +-16) and, for copies, to 256: a copy beyond full strength would
// overshoot the source and wrap every channel.
#define LICE_MODE_MASK 0xff
#define LICE_MODE_COPY 0
#define LICE_MODE_ADD 1
#define LICE_MODE_DODGE 2
#define LICE_MODE_MUL 3
#define LICE_MODE_OVERLAY 4
#define LICE_MODE_HSVADJ 5
// LICE_Blit only: low byte 0xF0-0xFF copies one channel; bits 0-1 source byte, bits 2-3
// destination byte (0 blue, 1 green, 2 red, 3 alpha).
#define LICE_MODE_CHANCOPY 0xf0
#define LICE_FILTER_MASK 0xff00
#define LICE_FILTER_BILINEAR 0x100
#define LICE_USE_SOURCE_ALPHA 0x10000

// ---------------------------------------------------------------------------------------
// The abstract bitmap. Row 0 is the top row unless isFlipped(), in which case row 0 is
// stored last (logical row y lives at getBits() + (height - 1 - y) * span). The row span
// counts pixels and may exceed the width.
class LICE_IBitmap
{
public:
  virtual ~LICE_IBitmap() {}
  virtual LICE_pixel* getBits() = 0;
  virtual int getWidth() = 0;
  virtual int getHeight() = 0;
  virtual int getRowSpan() = 0;
  virtual bool isFlipped() { return false; }
  virtual bool resize(int w, int h) = 0; // true when the dimensions changed
  virtual HDC getDC() { return 0; }
  virtual int Extended(int id, void* data)
  {
    (void)id;
    (void)data;
    return 0;
  }
};

// A heap bitmap. getBits() is 64-byte aligned; rows are padded to the line alignment
// (a power of two up to 16; below 2 means no padding). Resizing never clears pixels:
// shrinking keeps the block, growing reserves 25 % headroom. A failed allocation leaves
// a 0 x 0 bitmap without memory. Owns its memory; not copyable.
class LICE_MemBitmap : public LICE_IBitmap
{
public:
  LICE_MemBitmap(int w = 0, int h = 0, unsigned int linealign = 4);
  ~LICE_MemBitmap() override;
  LICE_MemBitmap(const LICE_MemBitmap&) = delete;
  LICE_MemBitmap& operator=(const LICE_MemBitmap&) = delete;

  LICE_pixel* getBits() override;
  int getWidth() override { return m_width; }
  int getHeight() override { return m_height; }
  int getRowSpan() override { return (m_width + m_linealign) & ~m_linealign; }
  bool resize(int w, int h) override { return __resize(w, h); }

  int getAllocSize() const { return m_allocsize; } // bytes of pixel storage reserved

private:
  bool __resize(int w, int h);

  void* m_fb;
  int m_width, m_height;
  int m_allocsize;
  int m_linealign; // row span rounding mask
};

// A bitmap whose pixels live in a memory drawing context (SWELL_CreateMemContext), so
// that text can be rendered into it and it can be put on screen. The row span is the
// width rounded up to 4; the context only ever grows. Not copyable.
class LICE_SysBitmap : public LICE_IBitmap
{
public:
  LICE_SysBitmap(int w = 0, int h = 0);
  ~LICE_SysBitmap() override;
  LICE_SysBitmap(const LICE_SysBitmap&) = delete;
  LICE_SysBitmap& operator=(const LICE_SysBitmap&) = delete;

  LICE_pixel* getBits() override { return m_bits; }
  int getWidth() override { return m_width; }
  int getHeight() override { return m_height; }
  int getRowSpan() override { return m_allocw; }
  bool resize(int w, int h) override { return __resize(w, h); }
  HDC getDC() override { return m_dc; }

private:
  bool __resize(int w, int h);

  int m_width, m_height;
  HDC m_dc;
  LICE_pixel* m_bits;
  int m_allocw, m_alloch;
};

// ---------------------------------------------------------------------------------------
// Whole-bitmap utilities
void LICE_Clear(LICE_IBitmap* dest, LICE_pixel color);
// Each pixel of the clipped rectangle becomes (pixel & mask) | orbits.
void LICE_ClearRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel mask = 0,
                    LICE_pixel orbits = 0);
// 0 outside the bitmap.
LICE_pixel LICE_GetPixel(LICE_IBitmap* bm, int x, int y);
// Order of sizes, then of contents; with coordsOut (4 ints) the bounding box x, y, w, h of
// the pixels differing under mask is written and 1 returned (0 and zeros when equal).
int LICE_BitmapCmp(LICE_IBitmap* a, LICE_IBitmap* b, int* coordsOut = 0);
int LICE_BitmapCmpEx(LICE_IBitmap* a, LICE_IBitmap* b, LICE_pixel mask = 0xffffffff,
                     int* coordsOut = 0);
// Pixels whose low 24 bits equal color get alpha 0, all others alpha 255.
void LICE_SetAlphaFromColorMask(LICE_IBitmap* dest, LICE_pixel color);
// Fill seeded through column x: matching pixels ((p & comparemask) equal to the seed's)
// become (p & keepmask) | newcolor. Rows are taken as stored.
void LICE_SimpleFill(LICE_IBitmap* dest, int x, int y, LICE_pixel newcolor,
                     LICE_pixel comparemask = 0x00ffffff, LICE_pixel keepmask = 0);
// Calls procFunc(pixel, parm) for each pixel of the clipped rectangle, row by row.
void LICE_ProcessRect(LICE_IBitmap* dest, int x, int y, int w, int h,
                      void (*procFunc)(LICE_pixel* p, void* parm), void* parm);

// ---------------------------------------------------------------------------------------
// Single pixels and the combine functions
void LICE_PutPixel(LICE_IBitmap* bm, int x, int y, LICE_pixel color, float alpha, int mode);
// dest combined with src's channels; dest unchanged for a zero weight or an unknown mode.
LICE_pixel LICE_CombinePixels(LICE_pixel dest, LICE_pixel src, float alpha, int mode);
// In place, integer channels and weight; inputs within 0..255.
void LICE_CombinePixels2(LICE_pixel* dest, int r, int g, int b, int a, int ia, int mode);
// As LICE_CombinePixels2 for inputs that may leave 0..255: every result is clamped.
void LICE_CombinePixels2Clamp(LICE_pixel* dest, int r, int g, int b, int a, int ia, int mode);

// ---------------------------------------------------------------------------------------
// Blits and fills
void LICE_Copy(LICE_IBitmap* dest, LICE_IBitmap* src);
void LICE_Blit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, const RECT* srcrect,
               float alpha, int mode);
void LICE_Blit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy,
               int srcw, int srch, float alpha, int mode);
// A negative dstw (dsth) draws the mirror image of the call with |dstw| at dstx + dstw.
void LICE_ScaledBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                     float srcx, float srcy, float srcw, float srch, float alpha, int mode);
// angle in radians, rotating about the source rectangle's centre offset by rotxcent/rotycent.
void LICE_RotatedBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw,
                      int dsth, float srcx, float srcy, float srcw, float srch, float angle,
                      bool cliptosourcerect, float alpha, int mode, float rotxcent = 0.0f,
                      float rotycent = 0.0f);
// Affine mapping with second-order terms: source position of destination pixel (i, j) is
// (srcx, srcy) + j * (dsdy, dtdy) + i * ((dsdx, dtdx) + j * (dsdxdy, dtdxdy)).
void LICE_DeltaBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                    float srcx, float srcy, float srcw, float srch, double dsdx, double dtdx,
                    double dsdy, double dtdy, double dsdxdy, double dtdxdy, bool cliptosourcerect,
                    float alpha, int mode);
// As LICE_DeltaBlit with a weight that starts at alpha and steps by dadx per pixel and dady
// per row (dadx stepping by dadxdy per row). Pixels whose weight is not positive are skipped.
void LICE_DeltaBlitAlpha(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw,
                         int dsth, float srcx, float srcy, float srcw, float srch, double dsdx,
                         double dtdx, double dsdy, double dtdy, double dsdxdy, double dtdxdy,
                         bool cliptosourcerect, float alpha, int mode, double dadx, double dady,
                         double dadxdy);
// Mesh warps: srcpoints is a div_w x div_h grid of source (x, y) points, row by row.
void LICE_TransformBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw,
                        int dsth, const float* srcpoints, int div_w, int div_h, float alpha,
                        int mode);
void LICE_TransformBlit2(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw,
                         int dsth, const double* srcpoints, int div_w, int div_h, float alpha,
                         int mode);
// srcpoints hold (x, y, alpha) triples.
void LICE_TransformBlit2Alpha(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw,
                              int dsth, const double* srcpoints, int div_w, int div_h, int mode);

void LICE_GradRect(LICE_IBitmap* dest, int x, int y, int w, int h, float ir, float ig, float ib,
                   float ia, float drdx, float dgdx, float dbdx, float dadx, float drdy,
                   float dgdy, float dbdy, float dady, int mode);
void LICE_FillRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel color, float alpha,
                   int mode);
// Each channel becomes clamp((channel * (int)(scale * 256) + (int)(add * 256)) >> 8).
void LICE_MultiplyAddRect(LICE_IBitmap* dest, int x, int y, int w, int h, float rsc, float gsc,
                          float bsc, float asc, float radd, float gadd, float badd, float aadd);
// 5-tap blur (1/2 centre, 1/8 each neighbour) of a source rectangle into dest at (dstx, dsty);
// dest may be src.
void LICE_Blur(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy,
               int srcw, int srch);
// 2:1 box downscale of src into dest's top-left corner.
void LICE_HalveBlitAA(LICE_IBitmap* dest, LICE_IBitmap* src);

// ---------------------------------------------------------------------------------------
// Lines and shapes
//
// Every primitive takes a colour, a float alpha (weight ia = truncate(alpha * 256); 0 draws
// nothing) and a mode word of which only the low byte (the combine operation) counts.
// Coordinates are pixels of the bitmap, logical rows (a flipped bitmap is mirrored first).
// Lines are inclusive of both end points. Angles are radians, clockwise from straight up:
// a point at angle a lies at (cx + r sin a, cy - r cos a).
void LICE_Line(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, LICE_pixel color, float alpha, int mode,
               bool aa);
void LICE_FLine(LICE_IBitmap* dest, float x1, float y1, float x2, float y2, LICE_pixel color, float alpha,
                int mode, bool aa);
// Horizontal and vertical lines only: runs of pxon drawn and pxoff skipped pixels from the
// left or top end; the far end point itself is not drawn.
void LICE_DashedLine(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int pxon, int pxoff, LICE_pixel color,
                     float alpha, int mode, bool aa);
// Clip a line to the rectangle [xlo, xhi) x [ylo, yhi); false when nothing is left.
bool LICE_ClipLine(int* x1, int* y1, int* x2, int* y2, int xlo, int ylo, int xhi, int yhi);
bool LICE_ClipFLine(float* x1, float* y1, float* x2, float* y2, float xlo, float ylo, float xhi, float yhi);
// Outline of (w + 1) x (h + 1) pixels from (x, y) to (x + w, y + h).
void LICE_DrawRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel color, float alpha, int mode);
void LICE_BorderedRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel bgcolor, LICE_pixel fgcolor,
                       float alpha, int mode);
void LICE_RoundRect(LICE_IBitmap* dest, float x, float y, float w, float h, int cornerradius, LICE_pixel color,
                    float alpha, int mode, bool aa);
void LICE_Circle(LICE_IBitmap* dest, float cx, float cy, float r, LICE_pixel color, float alpha, int mode, bool aa);
void LICE_FillCircle(LICE_IBitmap* dest, float cx, float cy, float r, LICE_pixel color, float alpha, int mode,
                     bool aa);
void LICE_Arc(LICE_IBitmap* dest, float cx, float cy, float r, float minAngle, float maxAngle, LICE_pixel color,
              float alpha, int mode, bool aa);
// Rows y1..y2 inclusive; the left edge runs from x1a to x2a, the right from x1b to x2b.
void LICE_FillTrapezoid(LICE_IBitmap* dest, int x1a, int x1b, int y1, int x2a, int x2b, int y2, LICE_pixel color,
                        float alpha, int mode);
void LICE_FillConvexPolygon(LICE_IBitmap* dest, const int* x, const int* y, int npoints, LICE_pixel color,
                            float alpha, int mode);
void LICE_FillTriangle(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int x3, int y3, LICE_pixel color,
                       float alpha, int mode);
// Bezier curves, flattened into LICE_FLine segments no further than about tol pixels from
// the curve (tol <= 0 picks a default).
void LICE_DrawQBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl, float yctl, float xend,
                      float yend, LICE_pixel color, float alpha, int mode, bool aa, float tol = 0.0f);
void LICE_DrawCBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1, float xctl2,
                      float yctl2, float xend, float yend, LICE_pixel color, float alpha, int mode, bool aa,
                      float tol = 0.0f);
// The area between the cubic curve and the line y = yfill (x = xfill).
void LICE_FillCBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1, float xctl2,
                      float yctl2, float xend, float yend, int yfill, LICE_pixel color, float alpha, int mode,
                      float tol = 0.0f);
void LICE_FillCBezierX(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1, float xctl2,
                       float yctl2, float xend, float yend, int xfill, LICE_pixel color, float alpha, int mode,
                       float tol = 0.0f);

// ---------------------------------------------------------------------------------------
// PNG
//
// Every colour type and bit depth arrives as 8-bit ARGB (not premultiplied). The result is
// bmp (resized to the image) or, when bmp is null, a new LICE_MemBitmap the caller owns.
// Null on any failure (missing file, not a PNG, corrupt or truncated data, an image larger
// than 16384 x 16384, memory); a caller-supplied bitmap may then be resized with undefined
// contents, a bitmap made here is destroyed.
LICE_IBitmap* LICE_LoadPNG(const char* filename, LICE_IBitmap* bmp = 0);
LICE_IBitmap* LICE_LoadPNGFromMemory(const void* data, int len, LICE_IBitmap* bmp = 0);
// Loads name from the application's resource folder: "resources/" beside the running
// executable (/proc/self/exe). Names of 401 characters or more give null.
LICE_IBitmap* LICE_LoadPNGFromNamedResource(const char* name, LICE_IBitmap* bmp = 0);
// No resources are linked into executables on this platform: always null.
LICE_IBitmap* LICE_LoadPNGFromResource(void* hInst, const char* resid, LICE_IBitmap* bmp = 0);
// Writes 8-bit RGBA, not premultiplied, so loading it back gives the same pixels.
bool LICE_WritePNG(const char* filename, LICE_IBitmap* bmp);

// Image-loader registry: a singly linked list of loaders, LICE_PNGLoader among them.
struct _LICE_ImageLoader_rec
{
  LICE_IBitmap* (*loadfunc)(const char* filename, bool checkFileName, LICE_IBitmap* bmp);
  // (description, pattern) pairs, each NUL-terminated, ending with an empty string.
  const char* (*get_extlist)();
  _LICE_ImageLoader_rec* _next;
};
extern _LICE_ImageLoader_rec* LICE_ImageLoader_list;
extern _LICE_ImageLoader_rec LICE_PNGLoader;

#endif
