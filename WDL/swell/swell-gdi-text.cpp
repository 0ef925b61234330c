// Fonts, text metrics and DrawText: the platform-free rules of the GDI text calls. Glyph
// lookup, shaping and rasterising belong to the engine behind swell_text_backend_p.h.
#include "swell_gdi_p.h"
#include "swell_text_backend_p.h"
#include "swell_utf8_p.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace
{
using namespace swell_detail;

constexpr int kMaxFaceNameChars = 899;
constexpr int kMaxWorkingCopy = 4095;
constexpr int kDefaultFontPixels = 10;

bool EndsWith(const std::string& s, const char* suffix)
{
  const size_t n = std::strlen(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

// Process-wide map from a composed font name (face name and style suffixes) to the face the
// engine resolved it to, sorted for binary search, guarded by its own mutex. Bounded: names
// beyond the bound are resolved each time instead of stored.
class FontNameCache
{
public:
  const FontFace* Lookup(const std::string& composed)
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = std::lower_bound(m_entries.begin(), m_entries.end(), composed,
                               [](const Entry& e, const std::string& k) { return e.first < k; });
    if (it != m_entries.end() && it->first == composed) return it->second;

    const FontFace* face = Resolve(composed);
    if (face && m_entries.size() < kMaxEntries) m_entries.insert(it, Entry(composed, face));
    return face;
  }

  // A newly registered font may serve names that resolved to a fallback before.
  void Clear()
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.clear();
  }

private:
  typedef std::pair<std::string, const FontFace*> Entry;
  static constexpr size_t kMaxEntries = 1024;

  // The composed name's trailing style words are the style, so that "Face Bold" at a
  // regular weight and "Face" at a bold weight, which share a composed name, resolve alike.
  static const FontFace* Resolve(std::string family)
  {
    bool bold = false, italic = false;
    for (;;)
    {
      if (EndsWith(family, " Bold")) bold = true, family.resize(family.size() - 5);
      else if (EndsWith(family, " Italic")) italic = true, family.resize(family.size() - 7);
      else break;
    }
    return ResolveFontFace(family.c_str(), bold, italic);
  }

  std::mutex m_mutex;
  std::vector<Entry> m_entries;
};

FontNameCache& NameCache()
{
  static FontNameCache cache;
  return cache;
}

// The default font: the default sans at 10 pixels, made once and kept.
SizedFont* DefaultFont()
{
  static SizedFont* font = [] {
    const FontFace* face = DefaultFontFace();
    return face ? AcquireSizedFont(face, kDefaultFontPixels) : nullptr;
  }();
  return font;
}

// The font DrawText and the metrics use: the selected one while it is alive, else the default.
HGDIOBJ__* SelectedFont(const HDC__* ctx)
{
  HGDIOBJ__* f = ctx->curfont;
  return IsLiveObject(f) && f->type == kGdiFont && f->font ? f : nullptr;
}

SizedFont* CurrentFont(const HDC__* ctx, bool* mono)
{
  HGDIOBJ__* f = SelectedFont(ctx);
  // contexts anti-alias unless the font forces plain glyphs
  *mono = f && f->aamode == NONANTIALIASED_QUALITY;
  return f ? f->font : DefaultFont();
}

int Floor(double v) { return (int)std::max<double>(INT_MIN, std::min<double>(INT_MAX, std::floor(v))); }

int ClampInt(int64_t v) { return (int)std::max<int64_t>(INT_MIN, std::min<int64_t>(INT_MAX, v)); }

// The text DrawText works on: at most 4095 bytes, carriage returns dropped, an ampersand
// dropped and the character after it kept as it is (unless DT_NOPREFIX), line feeds turned
// into spaces with DT_SINGLELINE. A multi-byte character cut by the limit is left out.
int BuildWorkingCopy(const char* text, int len, int flags, unsigned char* out, bool* multiline)
{
  int n = 0;
  bool literal = false, truncated = false;
  for (int i = 0; len < 0 || i < len; ++i)
  {
    unsigned char c = (unsigned char)text[i];
    if (!c) break;
    if (c == '\r') continue;
    if (c == '&' && !(flags & DT_NOPREFIX) && !literal)
    {
      literal = true;
      continue;
    }
    literal = false;
    if (n == kMaxWorkingCopy)
    {
      truncated = true;
      break;
    }
    if (c == '\n')
    {
      if (flags & DT_SINGLELINE) c = ' ';
      else *multiline = true;
    }
    out[n++] = c;
  }
  return truncated ? TrimCutUtf8Tail(out, n) : n;
}
}

HFONT CreateFont(int height, int width, int, int orientation, int weight, char italic, char, char, char,
                 char, char, char quality, char, const char* facename)
{
  // Size rules: |height|, else |width|; out-of-range sizes fall back to 10.
  int64_t size = height ? std::llabs((long long)height) : std::llabs((long long)width);
  if (size > 8192 || size < 2) size = kDefaultFontPixels;

  std::string composed;
  if (facename) composed.assign(facename, strnlen(facename, kMaxFaceNameChars));
  if (weight >= FW_BOLD) composed += " Bold";
  if (italic) composed += " Italic";

  const FontFace* face = NameCache().Lookup(composed);
  if (!face) return nullptr;
  SizedFont* sized = AcquireSizedFont(face, (int)size);
  if (!sized) return nullptr;

  HGDIOBJ__* obj = AllocObjectRecord();
  if (!obj)
  {
    ReleaseSizedFont(sized);
    return nullptr;
  }
  obj->type = kGdiFont;
  obj->face = face;
  obj->font = sized;
  obj->aamode = quality == NONANTIALIASED_QUALITY || quality == ANTIALIASED_QUALITY ? (unsigned char)quality : 0;
  obj->orientation = (float)orientation / 10.0f;
  return obj;
}

HFONT CreateFontIndirect(const LOGFONT* lf)
{
  if (!lf) return nullptr;
  // the face name field need not be terminated
  char face[sizeof(lf->lfFaceName) + 1];
  std::memcpy(face, lf->lfFaceName, sizeof(lf->lfFaceName));
  face[sizeof(lf->lfFaceName)] = 0;
  return CreateFont(lf->lfHeight, lf->lfWidth, 0, lf->lfOrientation, lf->lfWeight, lf->lfItalic, 0, 0, 0, 0, 0,
                    lf->lfQuality, 0, face);
}

BOOL GetTextMetrics(HDC ctx, TEXTMETRIC* tm)
{
  if (!tm) return 0;
  tm->tmHeight = 16;
  tm->tmAscent = 12;
  tm->tmDescent = 4;
  tm->tmInternalLeading = 3;
  tm->tmAveCharWidth = 10;
  if (!IsLiveContext(ctx)) return 0;
  bool mono;
  SizedFont* font = CurrentFont(ctx, &mono);
  if (!font) return 0;

  // Whole pixels by truncation; the height adds one pixel unless the font has no extent.
  const LineMetrics m = GetLineMetrics(font);
  tm->tmInternalLeading = (int)m.leading;
  tm->tmAscent = (int)m.ascent;
  tm->tmDescent = (int)m.descent;
  const int s = tm->tmAscent + tm->tmDescent + tm->tmInternalLeading;
  tm->tmAveCharWidth = (2 * s) / 3;
  tm->tmHeight = s ? s + 1 : 0;
  return 1;
}

int GetTextFace(HDC ctx, int n, char* name)
{
  if (!IsLiveContext(ctx) || !name || n < 1) return 0;
  HGDIOBJ__* f = SelectedFont(ctx);
  if (!f) return 0;
  return CopyFaceName(f->face, name, n);
}

int GetGlyphIndicesW(HDC ctx, const unsigned short* chars, int n, unsigned short* indices, int flags)
{
  if (!indices || n < 1) return 0;
  const unsigned short missing = flags == 1 ? 0xFFFF : 0;
  bool mono;
  SizedFont* font = IsLiveContext(ctx) && chars ? CurrentFont(ctx, &mono) : nullptr;
  if (!font)
  {
    std::fill(indices, indices + n, missing);
    return 0;
  }
  // Each UTF-16 unit maps on its own, so surrogate halves count as missing.
  for (int i = 0; i < n; ++i)
  {
    const unsigned c = chars[i];
    const uint32_t g = c >= 0xD800 && c <= 0xDFFF ? 0 : GetNominalGlyph(font, c);
    indices[i] = g && g < 0xFFFF ? (unsigned short)g : missing;
  }
  return n;
}

int AddFontResourceEx(const char* path, int, void*)
{
  // Both scopes register for this process: a plug-in does not install fonts for the user.
  if (!path || !*path) return 0;
  const int faces = AddFontFile(path);
  if (faces > 0) NameCache().Clear();
  return faces;
}

int SWELL_DrawText(HDC ctx, const char* text, int len, RECT* rect, int flags)
{
  if (!IsLiveContext(ctx) || !text || !rect) return 0;

  unsigned char copy[kMaxWorkingCopy + 1];
  bool multiline = false;
  const int n = BuildWorkingCopy(text, len, flags, copy, &multiline);
  if (!n) return 0;

  bool mono;
  SizedFont* font = CurrentFont(ctx, &mono);
  if (!font) return 0;

  uint32_t cps[kMaxWorkingCopy + 1];
  int ncp = DecodeUtf8(copy, n, cps);
  // Control characters have no glyph: left in, fonts would draw them as .notdef boxes.
  ncp = (int)(std::remove_if(cps, cps + ncp, [](uint32_t c) {
                return (c < 0x20 && c != '\n') || (c >= 0x7f && c <= 0x9f);
              }) - cps);

  // (no per-thread scratch: thread-local destructors would pin the plug-in in memory)
  std::vector<ShapedLine> lines;
  for (int start = 0; start < ncp || lines.empty();)
  {
    int end = start;
    if (multiline)
      while (end < ncp && cps[end] != '\n') ++end;
    else
      end = ncp;
    lines.emplace_back();
    ShapeLine(font, cps + start, end - start, &lines.back());
    // a line feed at the very end starts no further line
    start = end + 1;
  }
  const size_t nlines = lines.size();

  // Measurement: whole pixels per line, floor(typographic width + 0.5) wide and
  // floor(ascent + descent + leading + 1.5) high; the result height is one more.
  const LineMetrics m = GetLineMetrics(font);
  const int lineHeight = Floor(m.ascent + m.descent + m.leading + 1.5);
  int width = 0;
  for (size_t i = 0; i < nlines; ++i) width = std::max(width, Floor(lines[i].width + 0.5));
  const int64_t height = (int64_t)lineHeight * (int64_t)nlines;
  const int result = height ? ClampInt(height + 1) : 0;

  if (flags & DT_CALCRECT)
  {
    rect->right = ClampInt((int64_t)rect->left + width);
    rect->bottom = ClampInt((int64_t)rect->top + result);
    return result;
  }

  // Placement with integer divisions, right before centre and bottom before middle.
  int64_t x = rect->left, y = rect->top;
  if (flags & DT_RIGHT) x = (int64_t)rect->right - width;
  else if (flags & DT_CENTER) x = (int64_t)rect->left + ((int64_t)rect->right - rect->left) / 2 - width / 2;
  if (flags & DT_BOTTOM) y = (int64_t)rect->bottom - result;
  else if (flags & DT_VCENTER) y = (int64_t)rect->top + ((int64_t)rect->bottom - rect->top) / 2 - result / 2;

  const RECT clip = flags & DT_NOCLIP ? ctx->clip : Intersect(ctx->clip, *rect);
  if (IsEmptyRect(clip)) return result;

  // Far-off text cannot touch the buffer; this also keeps the pixel sums below in range.
  if (x > INT_MAX / 2 || x < INT_MIN / 2 || y > INT_MAX / 2 || y < INT_MIN / 2) return result;

  const int lineAdvance = Floor(m.ascent + m.descent + m.leading + 0.5);
  // The baseline at the ascent rounded up: glyphs never rise above where the exact ascent
  // puts them, and the box's 1.5 pixels of slack below hold the descent.
  const int ascent = (int)std::ceil(m.ascent - 1e-9);
  if (ctx->bkmode == OPAQUE)
  {
    for (size_t i = 0; i < nlines; ++i)
    {
      const int64_t top = y + (int64_t)i * lineAdvance;
      const RECT box = {(int)x, ClampInt(top), ClampInt(x + Floor(lines[i].width + 0.5)), ClampInt(top + lineHeight)};
      const RECT r = Intersect(box, clip);
      if (!IsEmptyRect(r)) FillOpaque(ctx, r, ctx->bkcolor);
    }
  }

  const Surface dst = {ctx->bits, ctx->width, ctx->height};
  for (size_t i = 0; i < nlines; ++i)
  {
    const int64_t baseline = y + (int64_t)i * lineAdvance + ascent;
    if (baseline > INT_MAX / 2) break;
    DrawShapedLine(lines[i], (int)x, (int)baseline, dst, clip, ctx->textcolor, mono);
  }
  return result;
}
