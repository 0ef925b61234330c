// A plain reference of cached-font text: glyphs rasterised straight through the GDI layer
// into a fresh system bitmap, the mask steps written out one after another, and text
// composed pixel by pixel with the reference combine of tests/lice/support. It shares no
// code with WDL/lice/lice_text.cpp.
#ifndef TESTS_TEXT_SUPPORT_REF_TEXT_H
#define TESTS_TEXT_SUPPORT_REF_TEXT_H

#include "WDL/lice/lice_text.h"

#include <map>
#include <string>
#include <vector>

namespace reftext
{
struct Glyph
{
  bool refused = false; // no entry at all (line height above 1023, or >= 128 with precalc)
  bool has = false;     // a mask (else "no glyph")
  int w = 0, h = 0, adv = 0, le = 0;
  std::vector<unsigned char> m; // w * h, row after row
};

// tmHeight of the font, read through a fresh context.
int LineHeight(HFONT font);
// The glyph of c for a font of that line height under the cached-font flags.
Glyph Render(HFONT font, int lineHeight, int flags, unsigned short c);
// The untrimmed coverage box of c (no effects): w x h bytes, the pen pad columns in.
std::vector<unsigned char> RawBox(HFONT font, int lineHeight, unsigned short c, int* w, int* h, int* advance);

// One UTF-8 character, reading at most avail bytes (avail < 0: up to the terminator).
int Decode(const unsigned char* s, int avail, unsigned short* out);
// Test-side UTF-8 of a 16-bit code (1 to 3 bytes).
std::string Encode(unsigned short c);

// Quarter turns of a w x h mask (the result is h x w).
std::vector<unsigned char> TurnClockwise(const std::vector<unsigned char>& m, int w, int h);
std::vector<unsigned char> TurnCounterClockwise(const std::vector<unsigned char>& m, int w, int h);

// The cached path of a LICE_CachedFont, drawn pixel by pixel.
class Font
{
public:
  HFONT font = nullptr;
  int flags = 0;
  LICE_pixel fg = 0, bg = 0xffffffff, fx = 0xffffffff;
  int bgmode = 0, mode = 0;
  float alpha = 1.0f;

  void Set(HFONT f, int fl);
  int DrawText(LICE_IBitmap* bm, const char* str, int count, RECT* rect, unsigned int dtFlags);
  const Glyph& Get(unsigned short c);
  int lineHeight() const { return m_lh; }

private:
  int m_lh = 0;
  std::map<unsigned short, Glyph> m_cache;
};
} // namespace reftext

#endif
