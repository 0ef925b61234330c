// Helpers shared by the GDI layer tests: owned contexts and fonts, ink boxes, a seeded PRNG.
#ifndef TESTS_SWELL_SWELL_TEST_UTIL_H
#define TESTS_SWELL_SWELL_TEST_UTIL_H

#include "WDL/swell/swell.h"

#include <cstdint>
#include <memory>
#include <string>

namespace swelltest
{
struct CtxDeleter
{
  void operator()(HDC__* c) const { SWELL_DeleteGfxContext(c); }
};
struct ObjDeleter
{
  void operator()(HGDIOBJ__* o) const { DeleteObject(o); }
};
typedef std::unique_ptr<HDC__, CtxDeleter> Ctx;
typedef std::unique_ptr<HGDIOBJ__, ObjDeleter> Obj;

Ctx MakeCtx(int w, int h);
Obj MakeFont(int px, const char* face = "DejaVu Sans", int weight = FW_NORMAL, bool italic = false,
             int quality = DEFAULT_QUALITY);

inline uint32_t* Pixels(HDC c) { return static_cast<uint32_t*>(SWELL_GetCtxFrameBuffer(c)); }

// The smallest rectangle holding every pixel whose colour bytes differ from background;
// empty (all 0) when there is none.
RECT InkBox(HDC c, int w, int h, uint32_t background = 0);
// Number of pixels whose colour bytes differ from background.
int InkCount(HDC c, int w, int h, uint32_t background = 0);

// The file fontconfig picks for a family, found without the layer's own lookup.
std::string FontFile(const char* family, bool bold = false);

// Draws text white on black into a fresh w x h context at (x, y) without clipping to a
// rectangle and returns the context.
Ctx DrawWhite(HGDIOBJ font, const char* text, int w, int h, int x = 0, int y = 0, int flags = 0);

// xorshift64*: the same sequence on every standard library.
class Prng
{
public:
  explicit Prng(uint64_t seed) : m_s(seed ? seed : 0x9E3779B97F4A7C15ull) {}
  uint64_t next()
  {
    m_s ^= m_s >> 12;
    m_s ^= m_s << 25;
    m_s ^= m_s >> 27;
    return m_s * 0x2545F4914F6CDD1Dull;
  }
  int range(int lo, int hi) { return lo + (int)(next() % (uint64_t)(hi - lo + 1)); }

private:
  uint64_t m_s;
};
}

#endif
