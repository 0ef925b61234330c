// The font engine of the GDI text calls over fontconfig (face lookup and fallback),
// FreeType (outlines, metrics, rasterising) and HarfBuzz (shaping).
//
// Threads: FreeType faces and sizes are not thread-safe, and neither is our glyph cache, so
// one engine mutex guards every face use, every shaping call, the caches and the compositing
// that reads cached masks. The engine is made on first use and torn down when the library
// unloads; calls after that return their failure values.
#include "swell_text_backend_p.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BITMAP_H
#include FT_OUTLINE_H
#include FT_SIZES_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H
#include <hb.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace swell_detail
{
// A font file's face with the synthetic slant or emboldening fontconfig asked for.
struct FontFace
{
  int id;                 // small integer for glyph cache keys
  std::string file;
  int index;
  bool embolden;
  bool hasMatrix;
  FT_Matrix matrix;
  bool bold, italic;      // the style it serves, for picking fallback faces alike
  std::string displayName;
  FT_Face ft;
  hb_face_t* hb;
  double ascent, descent, leading;  // font units
  int upem;
};

struct SizedFont
{
  uint64_t serial;         // never reused, unlike the address: keys the shaping cache
  FontFace* face;
  int pixels;
  int refs;
  FT_Size size;
  hb_font_t* hb;
  double scale;            // pixels per font unit
  double emboldenAdvance;  // pixels added to each advance by synthetic emboldening
  std::vector<SizedFont*> fallbacks;  // each holds one reference
};
}

namespace
{
using namespace swell_detail;

constexpr size_t kMaxCachedMaskBytes = 128 * 128;
constexpr size_t kGlyphCacheBudget = 4u << 20;
constexpr size_t kMaxGlyphEntries = 16384;
constexpr size_t kMaxFallbackEntries = 8192;
constexpr size_t kMaxFallbacksPerFont = 16;
constexpr size_t kBandPixels = 1u << 20;
constexpr size_t kMaxShapedEntries = 512;
constexpr int kMaxShapedLength = 64;

// A glyph's coverage, 0..255 a byte, rows top first. (left, top) is the mask's top-left
// from the glyph origin, y up (so the first row lies top pixels above the baseline).
struct GlyphMask
{
  int left = 0, top = 0, w = 0, h = 0;
  bool large = false;  // too big to keep: rendered clipped at each draw
  std::vector<unsigned char> bits;
};

// Characters that never need a fallback face: controls and default-ignorable code points,
// which the shaper hides when the face lacks them.
bool IsIgnorable(uint32_t c)
{
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xAD || (c >= 0x180B && c <= 0x180E) ||
         (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) ||
         (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF || (c >= 0xE0000 && c <= 0xE0FFF);
}

// A shaped line remembered by its font and text: an editor draws the same labels every frame.
struct ShapeKey
{
  uint64_t serial;
  std::u32string text;
  bool operator==(const ShapeKey& o) const { return serial == o.serial && text == o.text; }
};

struct ShapeKeyHash
{
  size_t operator()(const ShapeKey& k) const
  {
    return std::hash<std::u32string>()(k.text) ^ (size_t)(k.serial * 0x9E3779B97F4A7C15ull);
  }
};

bool IsRealScript(hb_script_t s)
{
  return s != HB_SCRIPT_COMMON && s != HB_SCRIPT_INHERITED && s != HB_SCRIPT_UNKNOWN;
}

class FontEngine
{
public:
  FontEngine()
  {
    if (FT_Init_FreeType(&m_lib)) m_lib = nullptr;
    m_buf = hb_buffer_create();
  }

  ~FontEngine()
  {
    // fallback references may form cycles: drop them all before freeing anything
    for (auto& kv : m_sized) kv.second->fallbacks.clear();
    for (auto& kv : m_sized) DestroySized(kv.second);
    for (auto& f : m_faces)
    {
      hb_face_destroy(f->hb);
      FT_Done_Face(f->ft);
    }
    DropFallbackSets();
    hb_buffer_destroy(m_buf);
    if (m_lib) FT_Done_FreeType(m_lib);
  }

  bool ok() const { return m_lib != nullptr; }

  const FontFace* Resolve(const char* family, bool bold, bool italic)
  {
    const FontFace* f = nullptr;
    if (family && *family) f = Match(family, bold, italic);
    // an unmatched or unusable face falls back to the default sans at the same style
    if (!f) f = Match("sans-serif", bold, italic);
    return f;
  }

  const FontFace* Default()
  {
    if (!m_default) m_default = Resolve(nullptr, false, false);
    return m_default;
  }

  SizedFont* Acquire(FontFace* face, int pixels)
  {
    const auto key = std::make_pair(face->id, pixels);
    auto it = m_sized.find(key);
    if (it != m_sized.end())
    {
      ++it->second->refs;
      return it->second;
    }
    FT_Size size = nullptr;
    if (FT_New_Size(face->ft, &size)) return nullptr;
    if (FT_Activate_Size(size) || FT_Set_Pixel_Sizes(face->ft, 0, (FT_UInt)pixels))
    {
      FT_Done_Size(size);
      return nullptr;
    }
    SizedFont* s = new SizedFont();
    s->serial = ++m_serial;
    s->face = face;
    s->pixels = pixels;
    s->refs = 1;
    s->size = size;
    s->hb = hb_font_create(face->hb);
    // shaping in font units keeps every advance exact; pixels come from scale
    hb_font_set_scale(s->hb, face->upem, face->upem);
    hb_font_set_ppem(s->hb, (unsigned)pixels, (unsigned)pixels);
    s->scale = (double)pixels / face->upem;
    s->emboldenAdvance = face->embolden ? (FT_MulFix(face->upem, size->metrics.y_scale) / 24) / 64.0 : 0.0;
    m_sized[key] = s;
    return s;
  }

  void Release(SizedFont* s)
  {
    if (--s->refs > 0) return;
    m_sized.erase(std::make_pair(s->face->id, s->pixels));
    DestroySized(s);
  }

  LineMetrics Metrics(const SizedFont* s) const
  {
    LineMetrics m;
    m.ascent = s->face->ascent * s->scale;
    m.descent = s->face->descent * s->scale;
    m.leading = s->face->leading * s->scale;
    return m;
  }

  static bool HasGlyph(const SizedFont* s, uint32_t c) { return FT_Get_Char_Index(s->face->ft, c) != 0; }

  void Shape(SizedFont* font, const uint32_t* cps, int n, ShapedLine* out)
  {
    out->glyphs.clear();
    out->width = 0;
    if (n <= 0) return;
    if (n > kMaxShapedLength)
    {
      ShapeUncached(font, cps, n, out);
      return;
    }
    m_key.serial = font->serial;
    m_key.text.assign(reinterpret_cast<const char32_t*>(cps), (size_t)n);
    auto it = m_shaped.find(m_key);
    if (it != m_shaped.end())
    {
      *out = it->second;
      return;
    }
    ShapeUncached(font, cps, n, out);
    if (m_shaped.size() >= kMaxShapedEntries) m_shaped.clear();
    m_shaped.emplace(m_key, *out);
  }

  void ShapeUncached(SizedFont* font, const uint32_t* cps, int n, ShapedLine* out)
  {
    // each character's face: the font's own, else the face of the run before (keeps
    // punctuation inside a fallback run), else a fallback face that has it
    m_runFonts.resize((size_t)n);
    SizedFont* prev = font;
    for (int i = 0; i < n; ++i)
    {
      SizedFont* f = font;
      const uint32_t c = cps[i];
      if (!IsIgnorable(c) && !HasGlyph(font, c))
      {
        if (prev != font && HasGlyph(prev, c)) f = prev;
        else if (SizedFont* fb = Fallback(font, c)) f = fb;
      }
      m_runFonts[(size_t)i] = f;
      prev = f;
    }

    hb_unicode_funcs_t* ufuncs = hb_unicode_funcs_get_default();
    double pen = 0;
    for (int start = 0; start < n;)
    {
      SizedFont* f = m_runFonts[(size_t)start];
      hb_script_t script = HB_SCRIPT_COMMON;
      int end = start;
      for (; end < n && m_runFonts[(size_t)end] == f; ++end)
      {
        const hb_script_t s = hb_unicode_script(ufuncs, cps[end]);
        if (!IsRealScript(s)) continue;
        if (!IsRealScript(script)) script = s;
        else if (s != script) break;
      }
      pen = ShapeRun(f, cps, n, start, end, script, pen, out);
      start = end;
    }
    out->width = pen;
  }

  void Draw(const ShapedLine& line, int x, int baseline, const Surface& dst, const RECT& clip, COLORREF color,
            bool mono)
  {
    for (const ShapedGlyph& g : line.glyphs)
    {
      // Origins go to whole pixels (one cached mask per glyph), rounded down: the ink then
      // never passes the exact origins' ink to the right, so it keeps inside the measured
      // width floor(width + 0.5) wherever the face's own side bearings allow.
      const long ox = (long)x + (long)std::floor(g.x);
      const long oy = (long)baseline + std::lround(g.y);
      const GlyphMask* m = Mask(g.font, g.glyph, mono);
      if (!m || m->w <= 0) continue;
      RECT box = {(int)(ox + m->left), (int)(oy - m->top), (int)(ox + m->left + m->w), (int)(oy - m->top + m->h)};
      RECT vis = {std::max(box.left, clip.left), std::max(box.top, clip.top), std::min(box.right, clip.right),
                  std::min(box.bottom, clip.bottom)};
      if (vis.right <= vis.left || vis.bottom <= vis.top) continue;
      if (!m->large)
      {
        Composite(m->bits.data(), m->w, vis.left - box.left, vis.top - box.top, dst, vis, color);
        continue;
      }
      // large glyphs: render just the visible part, a band of rows at a time
      const int bw = vis.right - vis.left;
      const int bandRows = std::max(1, (int)(kBandPixels / (size_t)bw));
      for (int top = vis.top; top < vis.bottom; top += bandRows)
      {
        const RECT band = {vis.left, top, vis.right, std::min(vis.bottom, top + bandRows)};
        if (!RenderWindow(g.font, g.glyph, mono, band.left - box.left, band.top - box.top, bw,
                          band.bottom - band.top, m))
          break;
        Composite(m_window.data(), bw, 0, 0, dst, band, color);
      }
    }
  }

  uint32_t Nominal(const SizedFont* s, uint32_t c) { return FT_Get_Char_Index(s->face->ft, c); }

  int AddFile(const char* path)
  {
    FT_Face probe = nullptr;
    if (FT_New_Face(m_lib, path, -1, &probe)) return 0;
    const int faces = (int)probe->num_faces;
    FT_Done_Face(probe);
    if (faces < 1 || !FcConfigAppFontAddFile(nullptr, reinterpret_cast<const FcChar8*>(path))) return 0;
    // the new font may now serve characters and names that resolved elsewhere
    DropFallbackSets();
    m_fallback.clear();
    m_shaped.clear();
    return faces;
  }

  uint64_t rasterCount() const { return m_rasterCount; }

private:
  double ShapeRun(SizedFont* f, const uint32_t* cps, int n, int start, int end, hb_script_t script, double pen,
                  ShapedLine* out)
  {
    hb_buffer_clear_contents(m_buf);
    hb_buffer_add_codepoints(m_buf, cps, n, (unsigned)start, end - start);
    if (IsRealScript(script))
    {
      hb_buffer_set_script(m_buf, script);
      hb_buffer_set_direction(m_buf, hb_script_get_horizontal_direction(script));
    }
    hb_buffer_guess_segment_properties(m_buf);
    if (!HB_DIRECTION_IS_HORIZONTAL(hb_buffer_get_direction(m_buf)))
      hb_buffer_set_direction(m_buf, HB_DIRECTION_LTR);
    hb_shape(f->hb, m_buf, nullptr, 0);

    unsigned count = 0;
    const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(m_buf, &count);
    const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(m_buf, nullptr);
    for (unsigned i = 0; i < count; ++i)
    {
      ShapedGlyph g;
      g.font = f;
      g.glyph = info[i].codepoint;
      g.x = pen + pos[i].x_offset * f->scale;
      g.y = -pos[i].y_offset * f->scale;
      out->glyphs.push_back(g);
      pen += pos[i].x_advance * f->scale;
      if (pos[i].x_advance) pen += f->emboldenAdvance;
    }
    return pen;
  }

  // fontconfig's best match for the request, as the face it names (with the synthetic
  // slant and emboldening it asks for); null when there is no usable outline face.
  const FontFace* Match(const char* family, bool bold, bool italic)
  {
    FcPattern* pat = FcPatternCreate();
    if (!pat) return nullptr;
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult res = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pat, &res);
    FcPatternDestroy(pat);
    if (!match) return nullptr;
    const FontFace* f = FaceFromPattern(match);
    FcPatternDestroy(match);
    return f;
  }

  FontFace* FaceFromPattern(FcPattern* p)
  {
    FcChar8* file = nullptr;
    if (FcPatternGetString(p, FC_FILE, 0, &file) != FcResultMatch || !file) return nullptr;
    FcBool outline = FcTrue;
    if (FcPatternGetBool(p, FC_OUTLINE, 0, &outline) == FcResultMatch && !outline) return nullptr;
    int index = 0;
    FcPatternGetInteger(p, FC_INDEX, 0, &index);
    FcBool embolden = FcFalse;
    FcPatternGetBool(p, FC_EMBOLDEN, 0, &embolden);
    FcMatrix* fm = nullptr;
    FT_Matrix matrix = {0x10000, 0, 0, 0x10000};
    if (FcPatternGetMatrix(p, FC_MATRIX, 0, &fm) == FcResultMatch && fm)
    {
      matrix.xx = (FT_Fixed)std::lround(fm->xx * 65536.0);
      matrix.xy = (FT_Fixed)std::lround(fm->xy * 65536.0);
      matrix.yx = (FT_Fixed)std::lround(fm->yx * 65536.0);
      matrix.yy = (FT_Fixed)std::lround(fm->yy * 65536.0);
    }
    const bool hasMatrix = matrix.xx != 0x10000 || matrix.xy || matrix.yx || matrix.yy != 0x10000;

    for (auto& f : m_faces)
      if (f->file == reinterpret_cast<const char*>(file) && f->index == index && f->embolden == !!embolden &&
          f->hasMatrix == hasMatrix && (!hasMatrix || !std::memcmp(&f->matrix, &matrix, sizeof(matrix))))
        return f.get();

    FT_Face ft = nullptr;
    if (FT_New_Face(m_lib, reinterpret_cast<const char*>(file), index, &ft)) return nullptr;
    if (!FT_IS_SCALABLE(ft) || ft->units_per_EM == 0)
    {
      FT_Done_Face(ft);
      return nullptr;
    }
    hb_blob_t* blob = hb_blob_create_from_file(reinterpret_cast<const char*>(file));
    hb_face_t* hb = hb_face_create(blob, (unsigned)index);
    hb_blob_destroy(blob);

    std::unique_ptr<FontFace> f(new FontFace());
    f->id = (int)m_faces.size() + 1;
    f->file = reinterpret_cast<const char*>(file);
    f->index = index;
    f->embolden = embolden;
    f->hasMatrix = hasMatrix;
    f->matrix = matrix;
    f->ft = ft;
    f->hb = hb;
    f->upem = ft->units_per_EM;
    if (hasMatrix) FT_Set_Transform(ft, &f->matrix, nullptr);

    int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
    FcPatternGetInteger(p, FC_WEIGHT, 0, &weight);
    FcPatternGetInteger(p, FC_SLANT, 0, &slant);
    f->bold = embolden || weight >= FC_WEIGHT_BOLD;
    f->italic = hasMatrix || slant != FC_SLANT_ROMAN;

    FcChar8* name = nullptr;
    if (FcPatternGetString(p, FC_FULLNAME, 0, &name) == FcResultMatch && name)
      f->displayName = reinterpret_cast<const char*>(name);
    else if (FcPatternGetString(p, FC_FAMILY, 0, &name) == FcResultMatch && name)
      f->displayName = reinterpret_cast<const char*>(name);
    if (embolden) f->displayName += " Bold";
    if (hasMatrix) f->displayName += " Italic";

    ReadMetrics(f.get());
    m_faces.push_back(std::move(f));
    return m_faces.back().get();
  }

  // Typographic ascent, descent and line gap: hhea, else OS/2's typographic values, else
  // what FreeType derived.
  static void ReadMetrics(FontFace* f)
  {
    const TT_HoriHeader* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(f->ft, FT_SFNT_HHEA));
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(f->ft, FT_SFNT_OS2));
    double a, d, g;
    if (hhea && (hhea->Ascender || hhea->Descender))
      a = hhea->Ascender, d = -hhea->Descender, g = hhea->Line_Gap;
    else if (os2 && os2->version != 0xFFFF && (os2->sTypoAscender || os2->sTypoDescender))
      a = os2->sTypoAscender, d = -os2->sTypoDescender, g = os2->sTypoLineGap;
    else
      a = f->ft->ascender, d = -f->ft->descender, g = f->ft->height - (f->ft->ascender - f->ft->descender);
    f->ascent = a;
    f->descent = d;
    f->leading = std::max(0.0, g);
  }

  SizedFont* Fallback(SizedFont* font, uint32_t c)
  {
    for (SizedFont* fb : font->fallbacks)
      if (HasGlyph(fb, c)) return fb;
    if (font->fallbacks.size() >= kMaxFallbacksPerFont) return nullptr;

    const int style = (font->face->bold ? 1 : 0) | (font->face->italic ? 2 : 0);
    const uint64_t key = (uint64_t)c << 2 | (uint64_t)style;
    FontFace* face;
    auto it = m_fallback.find(key);
    if (it != m_fallback.end()) face = it->second;
    else
    {
      face = FindCovering(style, c);
      if (m_fallback.size() >= kMaxFallbackEntries) m_fallback.clear();
      m_fallback[key] = face;
    }
    if (!face || face == font->face) return nullptr;
    SizedFont* fb = Acquire(face, font->pixels);
    if (!fb) return nullptr;
    if (!HasGlyph(fb, c))
    {
      Release(fb);
      return nullptr;
    }
    font->fallbacks.push_back(fb);
    return fb;
  }

  // The first font in fontconfig's preference order for the style that covers c.
  FontFace* FindCovering(int style, uint32_t c)
  {
    FcFontSet*& set = m_sortedSets[style];
    FcPattern*& pat = m_sortPatterns[style];
    if (!set)
    {
      pat = FcPatternCreate();
      if (!pat) return nullptr;
      FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
      FcPatternAddInteger(pat, FC_WEIGHT, style & 1 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
      FcPatternAddInteger(pat, FC_SLANT, style & 2 ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
      FcConfigSubstitute(nullptr, pat, FcMatchPattern);
      FcDefaultSubstitute(pat);
      FcResult res = FcResultNoMatch;
      set = FcFontSort(nullptr, pat, FcTrue, nullptr, &res);
      if (!set) return nullptr;
    }
    for (int i = 0; i < set->nfont; ++i)
    {
      FcCharSet* cs = nullptr;
      if (FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &cs) != FcResultMatch || !FcCharSetHasChar(cs, c))
        continue;
      FcPattern* prepared = FcFontRenderPrepare(nullptr, pat, set->fonts[i]);
      if (!prepared) continue;
      FontFace* f = FaceFromPattern(prepared);
      FcPatternDestroy(prepared);
      if (f) return f;
    }
    return nullptr;
  }

  void DropFallbackSets()
  {
    for (int i = 0; i < 4; ++i)
    {
      if (m_sortedSets[i]) FcFontSetDestroy(m_sortedSets[i]);
      if (m_sortPatterns[i]) FcPatternDestroy(m_sortPatterns[i]);
      m_sortedSets[i] = nullptr;
      m_sortPatterns[i] = nullptr;
    }
  }

  void DestroySized(SizedFont* s)
  {
    for (SizedFont* fb : s->fallbacks) Release(fb);
    hb_font_destroy(s->hb);
    FT_Done_Size(s->size);
    delete s;
  }

  // Loads a glyph's outline at the font's size: grayscale anti-aliasing with light
  // (vertical-only) hinting, not LCD filtering, because our bitmaps may reach any visual
  // and be read as coverage; 1-bit glyphs use the hinting made for monochrome.
  FT_Outline* LoadOutline(SizedFont* s, uint32_t glyph, bool mono)
  {
    FT_Face ft = s->face->ft;
    if (FT_Activate_Size(s->size)) return nullptr;
    const FT_Int32 flags = (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_LIGHT) | FT_LOAD_NO_BITMAP;
    if (FT_Load_Glyph(ft, glyph, flags)) return nullptr;
    if (s->face->embolden) FT_GlyphSlot_Embolden(ft->glyph);
    if (ft->glyph->format != FT_GLYPH_FORMAT_OUTLINE) return nullptr;
    return &ft->glyph->outline;
  }

  // Renders the window (wx, wy, ww, wh) of the glyph's mask (box as in m) into
  // m_window, or into m->bits when the window is the whole mask.
  bool RenderInto(FT_Outline* o, const GlyphMask& m, int wx, int wy, int ww, int wh, bool mono,
                  unsigned char* outBits)
  {
    // mask row 0 is at y = top (font y up); shift the window's bottom-left to (0, 0)
    const FT_Pos dx = -(FT_Pos)(m.left + wx) * 64;
    const FT_Pos dy = -(FT_Pos)(m.top - wy - wh) * 64;
    FT_Outline_Translate(o, dx, dy);
    FT_Bitmap bm;
    FT_Bitmap_Init(&bm);
    bm.rows = (unsigned)wh;
    bm.width = (unsigned)ww;
    const int pitch = mono ? (ww + 7) / 8 : ww;
    bm.pitch = pitch;
    bm.num_grays = 256;
    bm.pixel_mode = mono ? FT_PIXEL_MODE_MONO : FT_PIXEL_MODE_GRAY;
    std::vector<unsigned char>& tmp = m_monoBits;
    if (mono)
    {
      tmp.assign((size_t)pitch * wh, 0);
      bm.buffer = tmp.data();
    }
    else
    {
      std::memset(outBits, 0, (size_t)ww * wh);
      bm.buffer = outBits;
    }
    const FT_Error err = FT_Outline_Get_Bitmap(m_lib, o, &bm);
    FT_Outline_Translate(o, -dx, -dy);
    if (err) return false;
    if (mono)
      for (int y = 0; y < wh; ++y)
        for (int x = 0; x < ww; ++x)
          outBits[(size_t)y * ww + x] = (tmp[(size_t)y * pitch + (x >> 3)] & (0x80 >> (x & 7))) ? 255 : 0;
    ++m_rasterCount;
    return true;
  }

  const GlyphMask* Mask(SizedFont* s, uint32_t glyph, bool mono)
  {
    const uint64_t key = (uint64_t)s->face->id << 40 | (uint64_t)mono << 38 | (uint64_t)s->pixels << 24 |
                         (glyph & 0xFFFFFFu);
    auto it = m_glyphs.find(key);
    if (it != m_glyphs.end()) return &it->second;

    GlyphMask m;
    if (FT_Outline* o = LoadOutline(s, glyph, mono))
    {
      FT_BBox cb;
      FT_Outline_Get_CBox(o, &cb);
      const long x0 = (long)std::floor(cb.xMin / 64.0), x1 = (long)std::ceil(cb.xMax / 64.0);
      const long y0 = (long)std::floor(cb.yMin / 64.0), y1 = (long)std::ceil(cb.yMax / 64.0);
      if (x1 > x0 && y1 > y0 && x1 - x0 < 65536 && y1 - y0 < 65536)
      {
        m.left = (int)x0;
        m.top = (int)y1;
        m.w = (int)(x1 - x0);
        m.h = (int)(y1 - y0);
        if ((size_t)m.w * m.h <= kMaxCachedMaskBytes)
        {
          m.bits.resize((size_t)m.w * m.h);
          if (!RenderInto(o, m, 0, 0, m.w, m.h, mono, m.bits.data())) m.w = m.h = 0;
        }
        else
          m.large = true;
      }
    }
    if (m_glyphBytes + m.bits.size() > kGlyphCacheBudget || m_glyphs.size() >= kMaxGlyphEntries)
    {
      m_glyphs.clear();
      m_glyphBytes = 0;
    }
    m_glyphBytes += m.bits.size() + sizeof(GlyphMask);
    return &(m_glyphs[key] = std::move(m));
  }

  bool RenderWindow(SizedFont* s, uint32_t glyph, bool mono, int wx, int wy, int ww, int wh, const GlyphMask* m)
  {
    FT_Outline* o = LoadOutline(s, glyph, mono);
    if (!o) return false;
    m_window.resize((size_t)ww * wh);
    return RenderInto(o, *m, wx, wy, ww, wh, mono, m_window.data());
  }

  // Per pixel, coverage a and colour c: d + ((c - d) * a) / 255 for B, G, R (white on black
  // gives exactly a), and the fourth byte likewise toward 255 so covered pixels turn opaque.
  static void Composite(const unsigned char* mask, int maskW, int mx, int my, const Surface& dst, const RECT& r,
                        COLORREF color)
  {
    const int cb = color & 0xff, cg = (color >> 8) & 0xff, cr = (color >> 16) & 0xff;
    for (int y = r.top; y < r.bottom; ++y)
    {
      const unsigned char* src = mask + (size_t)(my + y - r.top) * maskW + mx;
      unsigned char* d = dst.bits + ((size_t)y * dst.width + r.left) * 4;
      for (int x = r.left; x < r.right; ++x, ++src, d += 4)
      {
        const int a = *src;
        if (!a) continue;
        if (a == 255)
        {
          d[0] = (unsigned char)cb;
          d[1] = (unsigned char)cg;
          d[2] = (unsigned char)cr;
          d[3] = 255;
          continue;
        }
        d[0] = (unsigned char)(d[0] + ((cb - d[0]) * a) / 255);
        d[1] = (unsigned char)(d[1] + ((cg - d[1]) * a) / 255);
        d[2] = (unsigned char)(d[2] + ((cr - d[2]) * a) / 255);
        d[3] = (unsigned char)(d[3] + ((255 - d[3]) * a) / 255);
      }
    }
  }

  FT_Library m_lib = nullptr;
  hb_buffer_t* m_buf = nullptr;
  std::vector<std::unique_ptr<FontFace>> m_faces;
  const FontFace* m_default = nullptr;
  std::map<std::pair<int, int>, SizedFont*> m_sized;
  std::vector<SizedFont*> m_runFonts;
  std::unordered_map<uint64_t, FontFace*> m_fallback;
  FcFontSet* m_sortedSets[4] = {};
  FcPattern* m_sortPatterns[4] = {};
  std::unordered_map<uint64_t, GlyphMask> m_glyphs;
  size_t m_glyphBytes = 0;
  std::vector<unsigned char> m_window, m_monoBits;
  uint64_t m_rasterCount = 0;
  uint64_t m_serial = 0;
  ShapeKey m_key;
  std::unordered_map<ShapeKey, ShapedLine, ShapeKeyHash> m_shaped;
};

// Constant-initialised, so usable from any static destructor; the reaper tears the engine
// down at unload and later calls find it gone.
std::mutex g_engineMutex;
FontEngine* g_engine = nullptr;
bool g_engineClosed = false;

struct EngineReaper
{
  ~EngineReaper()
  {
    std::lock_guard<std::mutex> lock(g_engineMutex);
    delete g_engine;
    g_engine = nullptr;
    g_engineClosed = true;
  }
} g_engineReaper;

// Runs fn(engine) under the engine mutex, making the engine on first use; fail when the
// engine is gone or could not start.
template <class R, class Fn>
R WithEngine(R fail, Fn fn)
{
  std::lock_guard<std::mutex> lock(g_engineMutex);
  if (!g_engine && !g_engineClosed)
  {
    g_engine = new FontEngine();
    if (!g_engine->ok())
    {
      delete g_engine;
      g_engine = nullptr;
      g_engineClosed = true;
    }
  }
  return g_engine ? fn(*g_engine) : fail;
}
}

namespace swell_detail
{
const FontFace* ResolveFontFace(const char* family, bool bold, bool italic)
{
  return WithEngine<const FontFace*>(nullptr, [&](FontEngine& e) { return e.Resolve(family, bold, italic); });
}

const FontFace* DefaultFontFace()
{
  return WithEngine<const FontFace*>(nullptr, [](FontEngine& e) { return e.Default(); });
}

SizedFont* AcquireSizedFont(const FontFace* face, int pixels)
{
  if (!face || pixels < 1) return nullptr;
  return WithEngine<SizedFont*>(nullptr,
                                [&](FontEngine& e) { return e.Acquire(const_cast<FontFace*>(face), pixels); });
}

void ReleaseSizedFont(SizedFont* font)
{
  if (!font) return;
  WithEngine<int>(0, [&](FontEngine& e) {
    e.Release(font);
    return 0;
  });
}

LineMetrics GetLineMetrics(const SizedFont* font)
{
  if (!font) return LineMetrics();
  return WithEngine<LineMetrics>(LineMetrics(), [&](FontEngine& e) { return e.Metrics(font); });
}

int CopyFaceName(const FontFace* face, char* out, int n)
{
  if (!face || !out || n < 1) return 0;
  return WithEngine<int>(0, [&](FontEngine&) {
    const int len = (int)std::min<size_t>(face->displayName.size(), (size_t)n - 1);
    std::memcpy(out, face->displayName.data(), (size_t)len);
    out[len] = 0;
    return len;
  });
}

uint32_t GetNominalGlyph(const SizedFont* font, uint32_t codepoint)
{
  if (!font) return 0;
  return WithEngine<uint32_t>(0, [&](FontEngine& e) { return e.Nominal(font, codepoint); });
}

void ShapeLine(SizedFont* font, const uint32_t* cps, int n, ShapedLine* out)
{
  out->glyphs.clear();
  out->width = 0;
  if (!font || !cps) return;
  WithEngine<int>(0, [&](FontEngine& e) {
    e.Shape(font, cps, n, out);
    return 0;
  });
}

void DrawShapedLine(const ShapedLine& line, int x, int baseline, const Surface& dst, const RECT& clip,
                    COLORREF color, bool mono)
{
  if (!dst.bits || line.glyphs.empty()) return;
  WithEngine<int>(0, [&](FontEngine& e) {
    e.Draw(line, x, baseline, dst, clip, color, mono);
    return 0;
  });
}

int AddFontFile(const char* path)
{
  if (!path) return 0;
  return WithEngine<int>(0, [&](FontEngine& e) { return e.AddFile(path); });
}

bool GetFaceInfo(const FontFace* face, FaceInfo* info)
{
  if (!face || !info) return false;
  return WithEngine<bool>(false, [&](FontEngine&) {
    std::snprintf(info->file, sizeof(info->file), "%s", face->file.c_str());
    info->index = face->index;
    info->embolden = face->embolden;
    info->slanted = face->hasMatrix && face->matrix.xy != 0;
    return true;
  });
}

uint64_t GlyphRasterCount()
{
  return WithEngine<uint64_t>(0, [](FontEngine& e) { return e.rasterCount(); });
}
}
