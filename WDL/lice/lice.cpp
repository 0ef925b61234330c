// Bitmaps, whole-bitmap utilities and the combine free functions.
#include "WDL/lice/lice.h"
#include "WDL/lice/lice_combine_p.h"
#include "WDL/lice/src/lice_rows_p.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace lice_detail;

// ---------------------------------------------------------------------------------------
// LICE_MemBitmap

LICE_MemBitmap::LICE_MemBitmap(int w, int h, unsigned int linealign)
    : m_fb(nullptr), m_width(0), m_height(0), m_allocsize(0), m_linealign(0)
{
  if (linealign >= 2)
  {
    if (linealign > 16) linealign = 16;
    m_linealign = (int)((linealign & (0u - linealign)) - 1); // lowest set bit - 1
  }
  if (w >= 1 && h >= 1) __resize(w, h);
}

LICE_MemBitmap::~LICE_MemBitmap() { std::free(m_fb); }

LICE_pixel* LICE_MemBitmap::getBits()
{
  if (!m_fb) return nullptr;
  return reinterpret_cast<LICE_pixel*>(((uintptr_t)m_fb + 63) & ~(uintptr_t)63);
}

bool LICE_MemBitmap::__resize(int w, int h)
{
  if (w == m_width && h == m_height) return false;
  m_width = w;
  m_height = h;

  // The size is worked out in 64 bits: a request whose byte size does not fit the int
  // bookkeeping is treated as an allocation failure instead of wrapping.
  long long need = 0;
  if (w >= 1 && h >= 1) need = (long long)getRowSpan() * h * 4;
  if (need <= 0)
  {
    std::free(m_fb);
    m_fb = nullptr;
    m_width = m_height = m_allocsize = 0;
    return true;
  }
  if (need > INT_MAX - 63)
  {
    std::free(m_fb);
    m_fb = nullptr;
    m_width = m_height = m_allocsize = 0;
    return true;
  }

  if (m_fb && need <= m_allocsize) return true;

  if (m_fb)
  {
    long long grown = need + need / 4;
    if (grown > INT_MAX - 63) grown = need;
    void* nb = std::realloc(m_fb, (size_t)grown + 63);
    if (nb)
    {
      // realloc keeps the bytes but not their offset from the 64-byte boundary: move the
      // pixels back to the aligned start so that the contents are kept as promised.
      const size_t oldOff = (size_t)(((uintptr_t)m_fb + 63) & ~(uintptr_t)63) - (uintptr_t)m_fb;
      const size_t newOff = (size_t)(((uintptr_t)nb + 63) & ~(uintptr_t)63) - (uintptr_t)nb;
      if (oldOff != newOff) std::memmove((char*)nb + newOff, (char*)nb + oldOff, (size_t)m_allocsize);
      m_fb = nb;
      m_allocsize = (int)grown;
      return true;
    }
    std::free(m_fb);
    m_fb = nullptr;
  }

  m_fb = std::malloc((size_t)need + 63);
  if (!m_fb)
  {
    m_width = m_height = m_allocsize = 0;
    return true;
  }
  m_allocsize = (int)need;
  return true;
}

// ---------------------------------------------------------------------------------------
// LICE_SysBitmap

LICE_SysBitmap::LICE_SysBitmap(int w, int h)
    : m_width(0), m_height(0), m_dc(nullptr), m_bits(nullptr), m_allocw(0), m_alloch(0)
{
  __resize(w, h);
}

LICE_SysBitmap::~LICE_SysBitmap()
{
  if (m_dc) SWELL_DeleteGfxContext(m_dc);
}

bool LICE_SysBitmap::__resize(int w, int h)
{
  if (w == m_width && h == m_height) return false;
  m_width = w;
  m_height = h;
  if (w > 0 && h > 0 && m_allocw >= w && m_alloch >= h && m_bits) return true;

  m_allocw = w > 0 && w < INT_MAX - 3 ? (w + 3) & ~3 : 0;
  m_alloch = h;
  if (m_dc) SWELL_DeleteGfxContext(m_dc);
  m_dc = nullptr;
  m_bits = nullptr;
  if (h < 1 || m_allocw < 1)
  {
    // no memory: report an empty bitmap rather than a size without pixels
    m_width = m_height = m_allocw = m_alloch = 0;
    return false;
  }
  m_dc = SWELL_CreateMemContext(nullptr, m_allocw, h);
  if (!m_dc)
  {
    m_width = m_height = m_allocw = m_alloch = 0;
    return true;
  }
  m_bits = static_cast<LICE_pixel*>(SWELL_GetCtxFrameBuffer(m_dc));
  return true;
}

// ---------------------------------------------------------------------------------------
// Whole-bitmap utilities

void LICE_Clear(LICE_IBitmap* dest, LICE_pixel color)
{
  Rows d(dest);
  if (!d.ok()) return;
  for (int y = 0; y < d.h; ++y)
  {
    LICE_pixel* p = d.row(y);
    for (int x = 0; x < d.w; ++x) p[x] = color;
  }
}

namespace
{
// Clips (x, y, w, h) to the bitmap; false when nothing is left.
bool ClipRect(const Rows& r, int& x, int& y, int& w, int& h)
{
  long long lx = x, ly = y, lw = w, lh = h;
  if (!ClipSpan(lx, lw, r.w) || !ClipSpan(ly, lh, r.h)) return false;
  x = (int)lx;
  y = (int)ly;
  w = (int)lw;
  h = (int)lh;
  return true;
}
} // namespace

void LICE_ClearRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel mask, LICE_pixel orbits)
{
  Rows d(dest);
  if (!d.ok() || !ClipRect(d, x, y, w, h)) return;
  for (int j = 0; j < h; ++j)
  {
    LICE_pixel* p = d.row(y + j) + x;
    for (int i = 0; i < w; ++i) p[i] = (p[i] & mask) | orbits;
  }
}

LICE_pixel LICE_GetPixel(LICE_IBitmap* bm, int x, int y)
{
  Rows r(bm);
  if (!r.ok() || x < 0 || y < 0 || x >= r.w || y >= r.h) return 0;
  return r.row(y)[x];
}

int LICE_BitmapCmp(LICE_IBitmap* a, LICE_IBitmap* b, int* coordsOut)
{
  return LICE_BitmapCmpEx(a, b, 0xffffffff, coordsOut);
}

int LICE_BitmapCmpEx(LICE_IBitmap* a, LICE_IBitmap* b, LICE_pixel mask, int* coordsOut)
{
  if (!a) return b ? -1 : 0;
  if (!b) return 1;
  if (a->getWidth() != b->getWidth()) return b->getWidth() - a->getWidth();
  if (a->getHeight() != b->getHeight()) return b->getHeight() - a->getHeight();

  Rows ra(a), rb(b);
  // Two bitmaps of the same size without memory are equal; one without memory sorts first.
  if (!ra.ok() || !rb.ok())
  {
    if (coordsOut) coordsOut[0] = coordsOut[1] = coordsOut[2] = coordsOut[3] = 0;
    if (ra.ok() == rb.ok()) return 0;
    return ra.ok() ? 1 : -1;
  }
  const int w = ra.w, h = ra.h;

  if (!coordsOut)
  {
    for (int y = 0; y < h; ++y)
    {
      const LICE_pixel* pa = ra.row(y);
      const LICE_pixel* pb = rb.row(y);
      if (mask == 0xffffffff)
      {
        const int c = std::memcmp(pa, pb, (size_t)w * sizeof(LICE_pixel));
        if (c) return c;
      }
      else
      {
        for (int x = 0; x < w; ++x)
          if ((pa[x] ^ pb[x]) & mask) return 1;
      }
    }
    return 0;
  }

  int top = -1, bottom = -1, left = w, right = -1;
  for (int y = 0; y < h; ++y)
  {
    const LICE_pixel* pa = ra.row(y);
    const LICE_pixel* pb = rb.row(y);
    int x = 0;
    while (x < w && !((pa[x] ^ pb[x]) & mask)) ++x;
    if (x == w) continue;
    if (top < 0) top = y;
    bottom = y;
    if (x < left) left = x;
    int xr = w - 1;
    while (xr > right && !((pa[xr] ^ pb[xr]) & mask)) --xr;
    if (xr > right) right = xr;
  }
  if (top < 0)
  {
    coordsOut[0] = coordsOut[1] = coordsOut[2] = coordsOut[3] = 0;
    return 0;
  }
  coordsOut[0] = left;
  coordsOut[1] = top;
  coordsOut[2] = right - left + 1;
  coordsOut[3] = bottom - top + 1;
  return 1;
}

void LICE_SetAlphaFromColorMask(LICE_IBitmap* dest, LICE_pixel color)
{
  Rows d(dest);
  if (!d.ok()) return;
  for (int y = 0; y < d.h; ++y)
  {
    LICE_pixel* p = d.row(y);
    for (int x = 0; x < d.w; ++x)
      p[x] = (p[x] & 0x00ffffff) == color ? (p[x] & 0x00ffffff) : (p[x] | 0xff000000);
  }
}

void LICE_SimpleFill(LICE_IBitmap* dest, int x, int y, LICE_pixel newcolor, LICE_pixel comparemask,
                     LICE_pixel keepmask)
{
  if (!dest) return;
  LICE_pixel* bits = dest->getBits();
  const int w = dest->getWidth(), h = dest->getHeight();
  const std::ptrdiff_t span = dest->getRowSpan();
  if (!bits || x < 0 || y < 0 || x >= w || y >= h) return;

  const LICE_pixel target = bits[y * span + x] & comparemask;
  auto matches = [=](LICE_pixel p) { return (p & comparemask) == target; };
  auto fillRow = [&](LICE_pixel* row) {
    row[x] = (row[x] & keepmask) | newcolor;
    for (int i = x + 1; i < w && matches(row[i]); ++i) row[i] = (row[i] & keepmask) | newcolor;
    for (int i = x - 1; i >= 0 && matches(row[i]); --i) row[i] = (row[i] & keepmask) | newcolor;
  };

  for (int j = y; j < h; ++j)
  {
    LICE_pixel* row = bits + j * span;
    if (j > y && !matches(row[x])) break;
    fillRow(row);
  }
  for (int j = y - 1; j >= 0; --j)
  {
    LICE_pixel* row = bits + j * span;
    if (!matches(row[x])) break;
    fillRow(row);
  }
}

void LICE_ProcessRect(LICE_IBitmap* dest, int x, int y, int w, int h, void (*procFunc)(LICE_pixel*, void*),
                      void* parm)
{
  Rows d(dest);
  if (!procFunc || !d.ok() || !ClipRect(d, x, y, w, h)) return;
  for (int j = 0; j < h; ++j)
  {
    LICE_pixel* p = d.row(y + j) + x;
    for (int i = 0; i < w; ++i) procFunc(p + i, parm);
  }
}

// ---------------------------------------------------------------------------------------
// Single pixels and the combine functions

void LICE_PutPixel(LICE_IBitmap* bm, int x, int y, LICE_pixel color, float alpha, int mode)
{
  Rows d(bm);
  if (!d.ok() || x < 0 || y < 0 || x >= d.w || y >= d.h) return;
  LICE_pixel* p = d.row(y) + x;
  const int ia = LimitCopyWeight(AlphaToWeight(alpha), mode);
  if (ia == 0) return;
  const int r = (int)LICE_GETR(color), g = (int)LICE_GETG(color), b = (int)LICE_GETB(color),
            a = (int)LICE_GETA(color);
  LICE_pixel_chan* pc = (LICE_pixel_chan*)p;
  switch (mode & LICE_MODE_MASK)
  {
    case LICE_MODE_COPY:
      if (ia == 64)
        _LICE_CombinePixelsQuarterMix2FAST::doPixFAST(p, _LICE_CombinePixelsQuarterMix2FAST::prep(color));
      else if (ia == 128)
        _LICE_CombinePixelsHalfMix2FAST::doPixFAST(p, _LICE_CombinePixelsHalfMix2FAST::prep(color));
      else if (ia == 192)
        _LICE_CombinePixelsThreeQuarterMix2FAST::doPixFAST(p, _LICE_CombinePixelsThreeQuarterMix2FAST::prep(color));
      else if (ia == 256)
        *p = color;
      else if (ia > 0)
        _LICE_CombinePixelsCopyNoClamp::doPix(pc, r, g, b, a, ia);
      break;
    case LICE_MODE_ADD: _LICE_CombinePixelsAdd::doPix(pc, r, g, b, a, ia); break;
    case LICE_MODE_DODGE: _LICE_CombinePixelsColorDodge::doPix(pc, r, g, b, a, ia); break;
    case LICE_MODE_MUL: _LICE_CombinePixelsMulNoClamp::doPix(pc, r, g, b, a, ia); break;
    case LICE_MODE_OVERLAY: _LICE_CombinePixelsOverlay::doPix(pc, r, g, b, a, ia); break;
    case LICE_MODE_HSVADJ: _LICE_CombinePixelsHSVAdjust::doPix(pc, r, g, b, a, ia); break;
    default: break;
  }
}

namespace
{
template <bool CLAMP>
void CombineDispatch(LICE_pixel* dest, int r, int g, int b, int a, int ia, int mode)
{
  if (ia == 0) return;
  LICE_pixel_chan* d = (LICE_pixel_chan*)dest;
  switch (mode & (LICE_USE_SOURCE_ALPHA | LICE_MODE_MASK))
  {
    case LICE_MODE_COPY:
      if (ia < 1) return;
      if (ia == 256)
      {
        if (CLAMP)
          _LICE_CombinePixelsClobberClamp::doPix(d, r, g, b, a, ia);
        else
          _LICE_CombinePixelsClobberNoClamp::doPix(d, r, g, b, a, ia);
      }
      else
        _LICE_CombinePixelsCopyT<CLAMP>::doPix(d, r, g, b, a, ia);
      break;
    case LICE_MODE_ADD: _LICE_CombinePixelsAdd::doPix(d, r, g, b, a, ia); break;
    case LICE_MODE_DODGE: _LICE_CombinePixelsColorDodge::doPix(d, r, g, b, a, ia); break;
    case LICE_MODE_MUL: _LICE_CombinePixelsMulT<CLAMP>::doPix(d, r, g, b, a, ia); break;
    case LICE_MODE_OVERLAY: _LICE_CombinePixelsOverlay::doPix(d, r, g, b, a, ia); break;
    case LICE_MODE_HSVADJ:
      _LICE_CombinePixelsHSVAdjust::doPix(d, r, g, b, CLAMP ? _LICE_Clamp255(a) : a, ia);
      break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_COPY:
      if (ia == 256)
        _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmT<CLAMP>::doPix(d, r, g, b, a, ia);
      else
        _LICE_CombinePixelsCopySourceAlphaT<CLAMP>::doPix(d, r, g, b, a, ia);
      break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_ADD: _LICE_CombinePixelsAddSourceAlpha::doPix(d, r, g, b, a, ia); break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_DODGE:
      _LICE_CombinePixelsColorDodgeSourceAlpha::doPix(d, r, g, b, a, ia);
      break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_MUL:
      _LICE_CombinePixelsMulSourceAlphaT<CLAMP>::doPix(d, r, g, b, a, ia);
      break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_OVERLAY:
      _LICE_CombinePixelsOverlaySourceAlpha::doPix(d, r, g, b, a, ia);
      break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_HSVADJ:
      _LICE_CombinePixelsHSVAdjustSourceAlpha::doPix(d, r, g, b, CLAMP ? _LICE_Clamp255(a) : a, ia);
      break;
    default: break;
  }
}
} // namespace

LICE_pixel LICE_CombinePixels(LICE_pixel dest, LICE_pixel src, float alpha, int mode)
{
  LICE_pixel out = dest;
  CombineDispatch<false>(&out, (int)LICE_GETR(src), (int)LICE_GETG(src), (int)LICE_GETB(src), (int)LICE_GETA(src),
                         LimitCopyWeight(AlphaToWeight(alpha), mode), mode);
  return out;
}

void LICE_CombinePixels2(LICE_pixel* dest, int r, int g, int b, int a, int ia, int mode)
{
  if (dest) CombineDispatch<false>(dest, r, g, b, a, ia, mode);
}

void LICE_CombinePixels2Clamp(LICE_pixel* dest, int r, int g, int b, int a, int ia, int mode)
{
  if (dest) CombineDispatch<true>(dest, r, g, b, a, ia, mode);
}
