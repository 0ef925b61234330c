// Private: the font engine behind the GDI text calls. The platform-free rules (object
// records, name cache, measuring and placement) talk to the engine only through this
// interface, so another engine can replace the FreeType/fontconfig/HarfBuzz one.
//
// Lifetime: a FontFace lives until the library unloads. A SizedFont is a face at one pixel
// size, counted by its users (AcquireSizedFont / ReleaseSizedFont); calls after unload
// return their failure values.
//
// Threads: every call is thread-safe. The engine serialises its own state (faces, shaping,
// glyph cache) internally.
#ifndef WDL_SWELL_SWELL_TEXT_BACKEND_P_H
#define WDL_SWELL_SWELL_TEXT_BACKEND_P_H

#include "swell.h"

#include <cstdint>
#include <vector>

namespace swell_detail
{
struct FontFace;
struct SizedFont;

// Unrounded typographic values in pixels; descent is positive below the baseline.
struct LineMetrics
{
  double ascent = 0, descent = 0, leading = 0;
};

struct ShapedGlyph
{
  SizedFont* font;   // the line's font or a fallback face at the same size
  uint32_t glyph;
  double x, y;       // origin from the line's start on the baseline, pixels, y down
};

// One line of shaped text. width is the sum of the shaped advances: unhinted, fractional,
// the same wherever the line is drawn.
struct ShapedLine
{
  std::vector<ShapedGlyph> glyphs;
  double width = 0;
};

// A BGRX frame buffer: rows of width * 4 bytes, top row first.
struct Surface
{
  unsigned char* bits;
  int width, height;
};

// The face that serves family at the given style: synthetic slant or emboldening where
// the family has no such face, the default sans for an unknown family or a null/empty one.
// Null only when no font is installed at all.
const FontFace* ResolveFontFace(const char* family, bool bold, bool italic);
// The default sans at regular style ("system label font").
const FontFace* DefaultFontFace();

SizedFont* AcquireSizedFont(const FontFace* face, int pixels);
void ReleaseSizedFont(SizedFont* font);

LineMetrics GetLineMetrics(const SizedFont* font);
// The face's display name; returns bytes copied (at most n - 1, terminated).
int CopyFaceName(const FontFace* face, char* out, int n);
// The face's glyph for a code point; 0 when it has none.
uint32_t GetNominalGlyph(const SizedFont* font, uint32_t codepoint);

// Shapes n code points (no line breaks) into out, finding fallback faces for characters the
// font lacks.
void ShapeLine(SizedFont* font, const uint32_t* cps, int n, ShapedLine* out);
// Composites a shaped line with its start at (x, baseline) into dst, inside clip (already
// within dst). mono: plain 1-bit glyphs.
void DrawShapedLine(const ShapedLine& line, int x, int baseline, const Surface& dst, const RECT& clip,
                    COLORREF color, bool mono);

// Registers a font file for this process; returns the faces it holds (0 on failure).
int AddFontFile(const char* path);

// Diagnostics for tests: what a face was resolved to, and how many glyph masks have been
// rasterised since start (a cached mask is not counted again).
struct FaceInfo
{
  char file[512];
  int index;
  bool embolden, slanted;
};
bool GetFaceInfo(const FontFace* face, FaceInfo* info);
uint64_t GlyphRasterCount();
}

#endif
