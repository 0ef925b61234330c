// lice_text.h: UTF-8 text drawn into any LICE_IBitmap with a font of the GDI layer, and
// the free glyph blits.
//
// LICE_CachedFont has two ways to draw. Natively it asks the GDI layer to draw the text
// straight into a drawing context (the bitmap's own, or a shared scratch system bitmap
// copied in afterwards). Cached, it rasterises each character once into an 8-bit coverage
// mask and composes text from the masks with the combine modes, optionally with effects
// (blur, invert, monochrome, shadow, outline) and vertical layout.
//
// Threads: the scratch bitmaps are shared by every cached font in the process without a
// lock, so text is drawn on one thread (the editor's drawing thread).
#ifndef WDL_LICE_LICE_TEXT_H
#define WDL_LICE_LICE_TEXT_H

#include "WDL/lice/lice.h"
#include "WDL/heapbuf.h"
#include "WDL/swell/swell.h"

// Flags of SetFromHFont.
#define LICE_FONT_FLAG_VERTICAL 1          // masks turned by 90 degrees, lines advance along y
#define LICE_FONT_FLAG_VERTICAL_BOTTOMUP 2 // with VERTICAL: text runs upward
#define LICE_FONT_FLAG_PRECALCALL 4        // render codes 0..127 at once; never codes >= 128
#define LICE_FONT_FLAG_FX_BLUR 16
#define LICE_FONT_FLAG_FX_INVERT 32
#define LICE_FONT_FLAG_FX_MONO 64          // coverage below 131 becomes 0, the rest 255
#define LICE_FONT_FLAG_FX_SHADOW 128
#define LICE_FONT_FLAG_FX_OUTLINE 256
#define LICE_FONT_FLAG_OWNS_HFONT 0x200    // the font deletes its HFONT when replaced or destroyed
#define LICE_FONT_FLAG_FORCE_NATIVE 0x400  // draw through the GDI layer where possible

// DrawText flag beside the DT_ flags of swell.h: multiply the alpha by the text colour's
// alpha byte / 255 for this call.
#define LICE_DT_USEFGALPHA 0x40000000

// The abstract font.
class LICE_IFont
{
public:
  virtual ~LICE_IFont() {}
  virtual void SetFromHFont(HFONT font, int flags = 0) = 0;
  virtual LICE_pixel SetTextColor(LICE_pixel color) = 0; // returns the previous colour
  virtual LICE_pixel SetBkColor(LICE_pixel color) = 0;
  virtual LICE_pixel SetEffectColor(LICE_pixel color) = 0;
  virtual int SetBkMode(int mode) = 0; // 1 = opaque; returns the previous mode
  virtual void SetCombineMode(int mode, float alpha = 1.0f) = 0;
  // Draws (or with DT_CALCRECT measures) count bytes of UTF-8 text (count < 0: up to the
  // terminating zero) in rect; returns the height drawn or measured.
  virtual int DrawText(LICE_IBitmap* bm, const char* str, int count, RECT* rect, unsigned int dtFlags) = 0;
  virtual LICE_pixel GetTextColor() = 0;
  virtual HFONT GetHFont() = 0;
  virtual int GetLineHeight() = 0;
};

namespace lice_text_detail
{
struct FontAccess;
}

// Lifecycle: created empty; SetFromHFont fills the metrics and empties the glyph cache;
// glyphs are rendered lazily on first use and kept until the next SetFromHFont or
// destruction. Ownership: the HFONT stays the caller's unless LICE_FONT_FLAG_OWNS_HFONT is
// given. Threads: one thread at a time for all cached fonts of the process (they share the
// scratch bitmaps, created with the first use and deleted with the last font).
class LICE_CachedFont : public LICE_IFont
{
public:
  LICE_CachedFont();
  ~LICE_CachedFont() override;
  LICE_CachedFont(const LICE_CachedFont&) = delete;
  LICE_CachedFont& operator=(const LICE_CachedFont&) = delete;

  // Takes the font (deleting an owned earlier one), reads its line height and empties the
  // glyph cache; with LICE_FONT_FLAG_PRECALCALL renders codes 0..127 at once.
  void SetFromHFont(HFONT font, int flags = 0) override;
  LICE_pixel SetTextColor(LICE_pixel color) override;
  LICE_pixel SetBkColor(LICE_pixel color) override;
  LICE_pixel SetEffectColor(LICE_pixel color) override;
  int SetBkMode(int mode) override;
  void SetCombineMode(int mode, float alpha = 1.0f) override;
  int DrawText(LICE_IBitmap* bm, const char* str, int count, RECT* rect, unsigned int dtFlags) override;
  LICE_pixel GetTextColor() override { return m_fg; }
  HFONT GetHFont() override { return m_font; }
  int GetLineHeight() override { return m_line_height; }

  // Draws one cached character with its top-left pen position at (x, y), clipped to clip;
  // false when it has no glyph or nothing falls inside clip.
  virtual bool DrawGlyph(LICE_IBitmap* bm, unsigned short c, int x, int y, RECT* clip);

private:
  struct charEnt
  {
    int base_offset; // 1-based offset into the mask store; 0 = not rendered; -1 = no glyph
    int width, height;
    int advance;
    int charid;      // the 16-bit code (sort key of the extended table)
    int left_extra;  // how far the mask starts left of the pen (may be negative)
  };

  friend struct lice_text_detail::FontAccess;

  charEnt* findChar(unsigned short c);
  const charEnt* findChar(unsigned short c) const;
  bool RenderGlyph(unsigned short c);
  // The entry of c with a mask, rendering it first when needed; null when c has no glyph.
  const charEnt* glyphFor(unsigned short c);
  int DrawTextNative(LICE_IBitmap* bm, const char* str, int count, RECT* rect, unsigned int dtFlags);
  int DrawTextCached(LICE_IBitmap* bm, const char* str, int count, RECT* rect, unsigned int dtFlags);
  template <class F>
  void WalkText(const char* str, int count, bool singleLine, F&& onGlyph);
  bool DrawGlyphAt(LICE_IBitmap* bm, const charEnt& e, long long x, long long y, const RECT* clip, float alpha);

  LICE_pixel m_fg = 0, m_bg = 0xffffffff, m_effectcol = 0xffffffff;
  int m_bgmode = 0;
  int m_comb = 0;
  float m_alpha = 1.0f;
  int m_flags = 0;
  int m_line_height = 0;
  int m_lsadj = 0; // line spacing adjustment; nothing here changes it

  charEnt m_lowchars[128];
  WDL_TypedBuf<charEnt> m_extracharlist;
  WDL_TypedBuf<unsigned char> m_cachestore;

  HFONT m_font = nullptr;
};

// Decodes one UTF-8 character of a zero-terminated string into *out (16 bits); returns the
// bytes used. A byte that does not start a well-formed sequence is one character of its own
// value; a 4-byte sequence decodes as a space.
int utf8char(const char* s, unsigned short* out);

// Free glyph blits. Each coverage byte v != 0 combines the colour at weight
// (v * ia) / 256, ia = truncate(alpha * 256), with the class of (mode & 0xff). A negative
// glyph_span walks the mask rows upward from the last row.
void LICE_DrawGlyphEx(LICE_IBitmap* dest, int x, int y, LICE_pixel color, const LICE_pixel_chan* alphas,
                      int glyph_w, int glyph_span, int glyph_h, float alpha, int mode);
void LICE_DrawGlyph(LICE_IBitmap* dest, int x, int y, LICE_pixel color, const LICE_pixel_chan* alphas,
                    int glyph_w, int glyph_h, float alpha, int mode);
// One bit per pixel, most significant bit first, each row starting at a new byte, rows
// glyph_span bytes apart; a set bit combines at weight ia.
void LICE_DrawMonoGlyph(LICE_IBitmap* dest, int x, int y, LICE_pixel color, const unsigned char* bits,
                        int glyph_w, int glyph_span, int glyph_h, float alpha, int mode);

#endif
