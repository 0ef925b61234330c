// Private: pieces of the cached-font text renderer that its tests reach directly: the
// bounded UTF-8 decoder, read access to a font's glyph cache and a count of glyph
// rasterisations. Nothing outside WDL/lice and tests/text includes this header.
#ifndef WDL_LICE_SRC_LICE_TEXT_P_H
#define WDL_LICE_SRC_LICE_TEXT_P_H

#include "WDL/lice/lice_text.h"

namespace lice_text_detail
{
// Decodes one character as utf8char does, reading at most avail bytes of s (avail < 0: up
// to the terminating zero). A sequence cut short by avail is malformed: one byte of its own
// value. Returns the bytes used (1..4; 0 only for avail == 0 or a null s, with *out = 0).
int DecodeUTF8(const char* s, int avail, unsigned short* out);

// Glyphs rasterised through the GDI layer since the process started, over all fonts.
long long RenderCount();

// One cached character as the tests see it.
struct GlyphView
{
  bool present;      // the code has an entry (codes below 128 always do)
  bool rendered;     // the entry has been rendered (possibly as "no glyph")
  bool has_glyph;    // rendered with a mask
  int width, height; // mask size (rotated for vertical fonts)
  int advance;
  int left_extra;
  const unsigned char* mask; // width * height bytes, row after row; valid until the next render
};

struct FontAccess
{
  static GlyphView Glyph(const LICE_CachedFont& f, unsigned short c);
  // The codes of the extended table in stored order.
  static int ExtendedCodes(const LICE_CachedFont& f, unsigned short* out, int max);
  static int MaskStoreSize(const LICE_CachedFont& f);
};

// Live cached fonts and whether the shared scratch bitmaps exist.
int LiveFontCount();
bool ScratchBitmapsExist();
} // namespace lice_text_detail

#endif
