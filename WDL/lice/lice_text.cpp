// LICE_CachedFont: UTF-8 text drawn natively through the GDI layer or composed from cached
// 8-bit coverage masks, and the UTF-8 decoder the text walk uses.
//
// Mask rules (written once here):
//  * A glyph is rendered white on black into the shared glyph scratch bitmap, in a box of the
//    measured size widened by pad = 2 (line height below 16) or line height / 16 + 2 on both
//    sides, the pen pad pixels in. The red byte of each box pixel is its coverage.
//  * Columns are trimmed to [min(pad, first inked column), max(pad + advance, last inked
//    column + 1)), so the advance is always covered; left extra = pad - first kept column.
//  * Vertical fonts turn the mask a quarter clockwise (text runs down, glyph tops face right)
//    or, bottom-up, a quarter counter-clockwise; the pen's line runs along y, lines across x.
//  * Mono and effect fonts threshold at 131 (below: 0, else 255); shadow marks empty pixels
//    right of, below or below-right of a full pixel with 128, outline empty pixels next to a
//    full one (4-neighbourhood).
#include "WDL/lice/lice_text.h"
#include "WDL/lice/lice_combine_p.h"
#include "WDL/lice/src/lice_rows_p.h"
#include "WDL/lice/src/lice_text_p.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

using lice_detail::Rows;

namespace
{
typedef long long i64;

// The cached path refuses taller fonts; above the native limit text is always drawn natively
// (its masks would be needlessly large).
constexpr int kMaxCachedLineHeight = 1023;
constexpr int kMaxMaskLineHeight = 255;
// The glyph scratch grows to fit a wide glyph up to this size; wider masks are cut.
constexpr int kMaxGlyphScratch = 4096;
// "YUVx": bitmaps that answer it hold no RGB pixels the GDI layer could draw into.
constexpr int kExtendedYUV = 0x59555678;
constexpr unsigned int kAlignFlags = DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM;
// Font flags other than vertical/effects/precalc that keep the native path: bit 3 (unused),
// ownership and the native flag itself.
constexpr int kNonNativeFlags = 0x1f7;

// Scratch bitmaps shared by every cached font, counted by the live fonts.
struct SharedScratch
{
  LICE_SysBitmap* glyph = nullptr;
  LICE_SysBitmap* native = nullptr;
  int fonts = 0;
  long long renders = 0;
};
SharedScratch g_shared;

i64 Min(i64 a, i64 b) { return a < b ? a : b; }
i64 Max(i64 a, i64 b) { return a > b ? a : b; }
int SatInt(i64 v) { return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : (int)v; }

int GlyphPad(int lineHeight) { return lineHeight < 16 ? 2 : lineHeight / 16 + 2; }

// Grows the scratch bitmap *bm to at least w x h (creating it). A system bitmap may get a new
// context when it grows, so the caller selects fonts after this. white: the glyph scratch
// renders white on an opaque black background. Null when no context could be had.
LICE_SysBitmap* GrowScratch(LICE_SysBitmap** bm, int w, int h, bool white)
{
  if (!*bm) *bm = new (std::nothrow) LICE_SysBitmap();
  LICE_SysBitmap* s = *bm;
  if (!s) return nullptr;
  const int cw = s->getWidth(), ch = s->getHeight();
  if (cw < w || ch < h)
  {
    if (s->resize(cw > w ? cw : w, ch > h ? ch : h) && white && s->getDC())
    {
      HDC dc = s->getDC();
      ::SetTextColor(dc, 0xffffff);
      ::SetBkMode(dc, OPAQUE);
      ::SetBkColor(dc, 0);
    }
  }
  if (!s->getDC() || !s->getBits() || s->getWidth() < w || s->getHeight() < h) return nullptr;
  return s;
}

int EncodeUTF8(unsigned short c, char* out)
{
  if (c < 0x80)
  {
    out[0] = (char)c;
    return 1;
  }
  if (c < 0x800)
  {
    out[0] = (char)(0xc0 | (c >> 6));
    out[1] = (char)(0x80 | (c & 0x3f));
    return 2;
  }
  out[0] = (char)(0xe0 | (c >> 12));
  out[1] = (char)(0x80 | ((c >> 6) & 0x3f));
  out[2] = (char)(0x80 | (c & 0x3f));
  return 3;
}

// ---------------------------------------------------------------------------------------
// Mask transforms, in place on w x h bytes.

// Keeps columns [first, first + nw) of every row, packed to rows of nw bytes.
void KeepColumns(unsigned char* m, int w, int h, int first, int nw)
{
  for (int y = 0; y < h; ++y) std::memmove(m + (size_t)y * nw, m + (size_t)y * w + first, (size_t)nw);
}

// A quarter turn through tmp (w * h bytes). Clockwise: new (x, y) = old (y, h - 1 - x);
// counter-clockwise: new (x, y) = old (w - 1 - y, x). The result is h wide and w high.
void Rotate(unsigned char* m, unsigned char* tmp, int w, int h, bool clockwise)
{
  std::memcpy(tmp, m, (size_t)w * h);
  const int nw = h, nh = w;
  for (int y = 0; y < nh; ++y)
    for (int x = 0; x < nw; ++x)
      m[(size_t)y * nw + x] = clockwise ? tmp[(size_t)(h - 1 - x) * w + y] : tmp[(size_t)x * w + (w - 1 - y)];
}

void Threshold(unsigned char* m, size_t n)
{
  for (size_t i = 0; i < n; ++i) m[i] = m[i] < 131 ? 0 : 255;
}

// Marks are 128, never 255, so marking in place never creates a new full neighbour.
void MarkEffects(unsigned char* m, int w, int h, bool shadow, bool outline)
{
  auto full = [m, w, h](int x, int y) { return x >= 0 && y >= 0 && x < w && y < h && m[(size_t)y * w + x] == 255; };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
    {
      unsigned char& v = m[(size_t)y * w + x];
      if (v) continue;
      if ((shadow && (full(x - 1, y) || full(x - 1, y - 1) || full(x, y - 1))) ||
          (outline && (full(x, y - 1) || full(x, y + 1) || full(x - 1, y) || full(x + 1, y))))
        v = 128;
    }
}

// ---------------------------------------------------------------------------------------
// Glyph composition. Each case is a policy over one mask byte v != 0; every loop is a
// template over the combine class, so no mode test runs per pixel.

struct GlyphPaint
{
  LICE_pixel fg;   // text colour as stored by the mono copy case
  int r, g, b;     // text colour
  int er, eg, eb;  // effect colour
  int ia;          // 1..256
};

template <class COMB>
constexpr bool kStoresAtFull = std::is_same<COMB, _LICE_CombinePixelsCopyNoClamp>::value ||
                               std::is_same<COMB, _LICE_CombinePixelsCopySourceAlphaNoClamp>::value;

// normal glyph at full strength: weight v + 1 (so 255 is a full copy)
struct CaseFull
{
#ifdef LICE_HAVE_SSE2
  static __m128i weights(__m128i v, __m128i) { return _mm_sub_epi32(v, _mm_cmpgt_epi32(v, _mm_setzero_si128())); }
#endif
  template <class COMB>
  static void pix(LICE_pixel* p, int v, const GlyphPaint& k)
  {
    if (kStoresAtFull<COMB> && v == 255)
      *p = LICE_RGBA(k.r, k.g, k.b, 255);
    else
      COMB::doPix((LICE_pixel_chan*)p, k.r, k.g, k.b, 255, v + 1);
  }
};

// normal glyph at partial strength: weight (v * ia) / 256, which is at most 255 here
struct CaseScaled
{
#ifdef LICE_HAVE_SSE2
  // v * ia < 65536 fits the low 16-bit half of each lane
  static __m128i weights(__m128i v, __m128i ia) { return _mm_srli_epi32(_mm_mullo_epi16(v, ia), 8); }
#endif
  template <class COMB>
  static void pix(LICE_pixel* p, int v, const GlyphPaint& k)
  {
    const int w = (v * k.ia) >> 8;
    if (w) COMB::doPix((LICE_pixel_chan*)p, k.r, k.g, k.b, 255, w);
  }
};

struct CaseMono
{
  template <class COMB>
  static void pix(LICE_pixel* p, int, const GlyphPaint& k)
  {
    COMB::doPix((LICE_pixel_chan*)p, k.r, k.g, k.b, 255, k.ia);
  }
};

// 255 is the glyph, anything else set is shadow or outline
struct CaseEffect
{
  template <class COMB>
  static void pix(LICE_pixel* p, int v, const GlyphPaint& k)
  {
    if (v == 255)
      COMB::doPix((LICE_pixel_chan*)p, k.r, k.g, k.b, 255, k.ia);
    else
      COMB::doPix((LICE_pixel_chan*)p, k.er, k.eg, k.eb, 255, k.ia);
  }
};

struct CaseMonoStore
{
  template <class COMB>
  static void pix(LICE_pixel* p, int, const GlyphPaint& k)
  {
    *p = k.fg;
  }
};

template <class COMB, class CASE>
void GlyphRows(const Rows& d, int x0, int y0, int w, int h, const unsigned char* m, int mspan, const GlyphPaint& k)
{
  for (int j = 0; j < h; ++j, m += mspan)
  {
    LICE_pixel* p = d.row(y0 + j) + x0;
    for (int i = 0; i < w; ++i)
      if (const int v = m[i]) CASE::template pix<COMB>(p + i, v, k);
  }
}

#ifdef LICE_HAVE_SSE2
// The copy of a solid colour at a weight per mask byte, four pixels at a time; the same
// arithmetic as the copy class (a weight of 0 leaves the pixel exactly as it was).
template <class CASE>
void GlyphRowsCopy(const Rows& d, int x0, int y0, int w, int h, const unsigned char* m, int mspan, const GlyphPaint& k)
{
  const __m128i cv = _mm_set1_epi32((int)LICE_RGBA(k.r, k.g, k.b, 255));
  const __m128i zero = _mm_setzero_si128(), v256 = _mm_set1_epi32(256), iav = _mm_set1_epi32(k.ia);
  for (int j = 0; j < h; ++j, m += mspan)
  {
    LICE_pixel* p = d.row(y0 + j) + x0;
    int i = 0;
    for (; i + 4 <= w; i += 4)
    {
      uint32_t bytes;
      std::memcpy(&bytes, m + i, 4);
      if (!bytes) continue;
      const __m128i v = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128((int)bytes), zero), zero);
      __m128i wlo, whi;
      lice_detail::SpreadWeights(_mm_sub_epi32(v256, CASE::weights(v, iav)), wlo, whi);
      const __m128i dv = _mm_loadu_si128((const __m128i*)(p + i));
      _mm_storeu_si128((__m128i*)(p + i), lice_detail::LerpTowardSource(dv, cv, wlo, whi));
    }
    for (; i < w; ++i)
      if (const int v = m[i]) CASE::template pix<_LICE_CombinePixelsCopyNoClamp>(p + i, v, k);
  }
}
#endif

template <class CASE>
void GlyphRowsForMode(int mode, const Rows& d, int x0, int y0, int w, int h, const unsigned char* m, int mspan,
                      const GlyphPaint& k)
{
  auto rows = [&](auto comb) { GlyphRows<decltype(comb), CASE>(d, x0, y0, w, h, m, mspan, k); };
  switch (mode & (LICE_MODE_MASK | LICE_USE_SOURCE_ALPHA))
  {
    case LICE_MODE_COPY:
#ifdef LICE_HAVE_SSE2
      if constexpr (std::is_same<CASE, CaseFull>::value || std::is_same<CASE, CaseScaled>::value)
      {
        GlyphRowsCopy<CASE>(d, x0, y0, w, h, m, mspan, k);
        break;
      }
#endif
      rows(_LICE_CombinePixelsCopyNoClamp());
      break;
    case LICE_MODE_ADD: rows(_LICE_CombinePixelsAdd()); break;
    case LICE_MODE_DODGE: rows(_LICE_CombinePixelsColorDodge()); break;
    case LICE_MODE_MUL: rows(_LICE_CombinePixelsMulNoClamp()); break;
    case LICE_MODE_OVERLAY: rows(_LICE_CombinePixelsOverlay()); break;
    case LICE_MODE_HSVADJ: rows(_LICE_CombinePixelsHSVAdjust()); break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_COPY: rows(_LICE_CombinePixelsCopySourceAlphaNoClamp()); break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_ADD: rows(_LICE_CombinePixelsAddSourceAlpha()); break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_DODGE: rows(_LICE_CombinePixelsColorDodgeSourceAlpha()); break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_MUL: rows(_LICE_CombinePixelsMulSourceAlphaNoClamp()); break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_OVERLAY: rows(_LICE_CombinePixelsOverlaySourceAlpha()); break;
    case LICE_USE_SOURCE_ALPHA | LICE_MODE_HSVADJ: rows(_LICE_CombinePixelsHSVAdjustSourceAlpha()); break;
    default: break;
  }
}
} // namespace

// ---------------------------------------------------------------------------------------
// UTF-8

namespace lice_text_detail
{
int DecodeUTF8(const char* s, int avail, unsigned short* out)
{
  unsigned short dummy;
  if (!out) out = &dummy;
  if (!s || avail == 0)
  {
    *out = 0;
    return 0;
  }
  const unsigned char* u = reinterpret_cast<const unsigned char*>(s);
  // A zero byte is no continuation, so an unbounded read stops at the terminator.
  auto cont = [u, avail](int i) { return (avail < 0 || i < avail) && u[i] >= 0x80 && u[i] <= 0xc0; };
  const unsigned int b0 = u[0];
  if (b0 >= 0xc2 && b0 <= 0xdf && cont(1))
  {
    *out = (unsigned short)(((b0 & 0x1f) << 6) | (u[1] & 0x3f));
    return 2;
  }
  if (b0 >= 0xe0 && b0 <= 0xef && cont(1) && cont(2))
  {
    *out = (unsigned short)((b0 << 12) | ((u[1] & 0x3fu) << 6) | (u[2] & 0x3fu));
    return 3;
  }
  if (b0 >= 0xf0 && b0 <= 0xf4 && cont(1) && cont(2) && cont(3))
  {
    *out = ' '; // beyond 16 bits
    return 4;
  }
  *out = (unsigned short)b0;
  return 1;
}

long long RenderCount() { return g_shared.renders; }
int LiveFontCount() { return g_shared.fonts; }
bool ScratchBitmapsExist() { return g_shared.glyph || g_shared.native; }

GlyphView FontAccess::Glyph(const LICE_CachedFont& f, unsigned short c)
{
  GlyphView v = {};
  const LICE_CachedFont::charEnt* e = f.findChar(c);
  if (!e) return v;
  v.present = true;
  v.rendered = e->base_offset != 0;
  v.has_glyph = e->base_offset > 0;
  v.width = e->width;
  v.height = e->height;
  v.advance = e->advance;
  v.left_extra = e->left_extra;
  if (v.has_glyph) v.mask = f.m_cachestore.Get() + e->base_offset - 1;
  return v;
}

int FontAccess::ExtendedCodes(const LICE_CachedFont& f, unsigned short* out, int max)
{
  const int n = f.m_extracharlist.GetSize();
  for (int i = 0; i < n && i < max; ++i) out[i] = (unsigned short)f.m_extracharlist.Get()[i].charid;
  return n;
}

int FontAccess::MaskStoreSize(const LICE_CachedFont& f) { return f.m_cachestore.GetSize(); }
} // namespace lice_text_detail

int utf8char(const char* s, unsigned short* out) { return lice_text_detail::DecodeUTF8(s, -1, out); }

// ---------------------------------------------------------------------------------------
// LICE_CachedFont

LICE_CachedFont::LICE_CachedFont()
{
  std::memset(m_lowchars, 0, sizeof(m_lowchars));
  m_cachestore.SetGranul(65536);
  ++g_shared.fonts;
}

LICE_CachedFont::~LICE_CachedFont()
{
  if ((m_flags & LICE_FONT_FLAG_OWNS_HFONT) && m_font) DeleteObject(m_font);
  if (--g_shared.fonts == 0)
  {
    delete g_shared.glyph;
    delete g_shared.native;
    g_shared.glyph = g_shared.native = nullptr;
  }
}

void LICE_CachedFont::SetFromHFont(HFONT font, int flags)
{
  if ((m_flags & LICE_FONT_FLAG_OWNS_HFONT) && m_font && m_font != font) DeleteObject(m_font);
  m_flags = flags;
  m_font = font;
  m_line_height = 0;
  if (font)
  {
    if (LICE_SysBitmap* s = GrowScratch(&g_shared.glyph, 256, 256, true))
    {
      HDC dc = s->getDC();
      HGDIOBJ old = SelectObject(dc, font);
      TEXTMETRIC tm = {};
      if (GetTextMetrics(dc, &tm)) m_line_height = tm.tmHeight;
      SelectObject(dc, old);
    }
  }
  std::memset(m_lowchars, 0, sizeof(m_lowchars));
  m_extracharlist.Resize(0);
  m_cachestore.Resize(0);
  if (font && (flags & LICE_FONT_FLAG_PRECALCALL))
    for (int c = 0; c < 128; ++c) RenderGlyph((unsigned short)c);
}

LICE_pixel LICE_CachedFont::SetTextColor(LICE_pixel color) { return std::exchange(m_fg, color); }

LICE_pixel LICE_CachedFont::SetBkColor(LICE_pixel color) { return std::exchange(m_bg, color); }

LICE_pixel LICE_CachedFont::SetEffectColor(LICE_pixel color) { return std::exchange(m_effectcol, color); }

int LICE_CachedFont::SetBkMode(int mode) { return std::exchange(m_bgmode, mode); }

void LICE_CachedFont::SetCombineMode(int mode, float alpha)
{
  m_comb = mode;
  m_alpha = alpha;
}

const LICE_CachedFont::charEnt* LICE_CachedFont::findChar(unsigned short c) const
{
  if (c < 128) return &m_lowchars[c];
  const charEnt* list = m_extracharlist.Get();
  int lo = 0, hi = m_extracharlist.GetSize();
  while (lo < hi)
  {
    const int mid = (lo + hi) / 2;
    if (list[mid].charid < c)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo < m_extracharlist.GetSize() && list[lo].charid == c ? &list[lo] : nullptr;
}

LICE_CachedFont::charEnt* LICE_CachedFont::findChar(unsigned short c)
{
  return const_cast<charEnt*>(static_cast<const LICE_CachedFont*>(this)->findChar(c));
}

bool LICE_CachedFont::RenderGlyph(unsigned short c)
{
  if (!m_font || m_line_height > kMaxCachedLineHeight) return false;
  charEnt* slot = findChar(c);
  if (!slot && (m_flags & LICE_FONT_FLAG_PRECALCALL)) return false;

  const int lh = m_line_height;
  const int S = (lh > 1 ? lh : 1) * 2 + 8;
  LICE_SysBitmap* sb = GrowScratch(&g_shared.glyph, S, S, true);
  if (!sb) return false;

  charEnt e = {};
  e.charid = c;
  auto noGlyph = [&e]() {
    e.base_offset = e.width = e.height = e.advance = -1;
    e.left_extra = 0;
  };

  if (c == 0 || (c >= 0xd800 && c <= 0xdfff))
    noGlyph(); // the terminator, or half of a surrogate pair: no character
  else
  {
    char utf[4];
    const int n = EncodeUTF8(c, utf);
    const int pad = GlyphPad(lh);
    HDC dc = sb->getDC();
    HGDIOBJ old = SelectObject(dc, m_font);
    RECT r = {0, 0, 0, 0};
    SWELL_DrawText(dc, utf, n, &r, DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE);
    const i64 mw = Max(0, (i64)r.right - r.left), mh = Max(0, (i64)r.bottom - r.top);

    // A glyph wider (or taller) than the scratch grows it rather than losing its right part.
    const int needW = (int)Min(mw + 2 * pad, kMaxGlyphScratch), needH = (int)Min(mh, kMaxGlyphScratch);
    if (needW > sb->getWidth() || needH > sb->getHeight())
    {
      SelectObject(dc, old);
      // A failed growth leaves a bitmap without memory: fall back to the usual size and cut.
      sb = GrowScratch(&g_shared.glyph, needW, needH, true);
      if (!sb) sb = GrowScratch(&g_shared.glyph, S, S, true);
      if (!sb) return false;
      dc = sb->getDC();
      old = SelectObject(dc, m_font);
    }
    const int boxW = (int)Min(mw + 2 * pad, sb->getWidth()), boxH = (int)Min(mh, sb->getHeight());
    LICE_FillRect(sb, 0, 0, boxW, boxH, 0, 1.0f, LICE_MODE_COPY);
    RECT dr = {pad, 0, SatInt(mw + 2 * pad), SatInt(mh)};
    SWELL_DrawText(dc, utf, n, &dr, DT_NOPREFIX | DT_NOCLIP | DT_SINGLELINE);
    SelectObject(dc, old);
    ++g_shared.renders;

    if (mw < 1 || boxH < 1)
      noGlyph();
    else
    {
      e.advance = SatInt(mw);
      if (m_flags & LICE_FONT_FLAG_FX_BLUR) LICE_Blur(sb, sb, 0, 0, 0, 0, boxW, boxH);

      const int off = m_cachestore.GetSize();
      const i64 need = (i64)off + (i64)boxW * boxH;
      unsigned char* m = need <= INT_MAX ? m_cachestore.ResizeOK((int)need, false) : nullptr;
      if (!m)
        noGlyph();
      else
      {
        m += off;
        const bool invert = (m_flags & LICE_FONT_FLAG_FX_INVERT) != 0;
        const Rows rows(sb);
        int inkL = boxW, inkR = -1;
        for (int y = 0; y < boxH; ++y)
        {
          const LICE_pixel* src = rows.row(y);
          unsigned char* dst = m + (size_t)y * boxW;
          for (int x = 0; x < boxW; ++x)
          {
            const int v = (int)LICE_GETR(src[x]);
            dst[x] = (unsigned char)(invert ? 255 - v : v);
            if (dst[x])
            {
              if (x < inkL) inkL = x;
              if (x > inkR) inkR = x;
            }
          }
        }
        const int first = (int)Max(0, Min(pad, inkL));
        const int last = (int)Min(boxW, Max((i64)pad + mw, (i64)inkR + 1));
        int w = last - first, h = boxH;
        KeepColumns(m, boxW, boxH, first, w);
        m_cachestore.Resize(off + w * h, false);
        m = m_cachestore.Get() + off;
        e.left_extra = pad - first;

        WDL_TypedBuf<unsigned char> tmp;
        if ((m_flags & LICE_FONT_FLAG_VERTICAL) && !tmp.ResizeOK(w * h, false))
        {
          m_cachestore.Resize(off, false);
          noGlyph();
        }
        else
        {
          if (m_flags & LICE_FONT_FLAG_VERTICAL)
          {
            Rotate(m, tmp.Get(), w, h, !(m_flags & LICE_FONT_FLAG_VERTICAL_BOTTOMUP));
            const int sw = w;
            w = h;
            h = sw;
          }
          const bool shadow = (m_flags & LICE_FONT_FLAG_FX_SHADOW) != 0;
          const bool outline = (m_flags & LICE_FONT_FLAG_FX_OUTLINE) != 0;
          if ((m_flags & LICE_FONT_FLAG_FX_MONO) || shadow || outline) Threshold(m, (size_t)w * h);
          if (shadow || outline) MarkEffects(m, w, h, shadow, outline);
          e.base_offset = off + 1;
          e.width = w;
          e.height = h;
        }
      }
    }
  }

  if (c < 128)
    m_lowchars[c] = e;
  else if (slot)
    *slot = e;
  else
  {
    // Inserted at its sorted place: the table stays ordered for the binary search.
    const int n = m_extracharlist.GetSize();
    int at = 0;
    while (at < n && m_extracharlist.Get()[at].charid < c) ++at;
    if (!m_extracharlist.Add(e)) return false;
    charEnt* list = m_extracharlist.Get();
    std::memmove(list + at + 1, list + at, sizeof(charEnt) * (size_t)(n - at));
    list[at] = e;
  }
  return true;
}

const LICE_CachedFont::charEnt* LICE_CachedFont::glyphFor(unsigned short c)
{
  const charEnt* e = findChar(c);
  if (!e || e->base_offset == 0)
  {
    if (!RenderGlyph(c)) return nullptr;
    e = findChar(c);
  }
  return e && e->base_offset > 0 ? e : nullptr;
}

template <class F>
void LICE_CachedFont::WalkText(const char* str, int count, bool singleLine, F&& onGlyph)
{
  // u runs along the line from the pen start, v across the lines.
  i64 u = 0, v = 0;
  const i64 lineStep = (i64)m_line_height + m_lsadj;
  const char* p = str;
  int left = count;
  while ((count < 0 || left > 0) && *p)
  {
    unsigned short c;
    const int n = lice_text_detail::DecodeUTF8(p, count < 0 ? -1 : left, &c);
    p += n;
    if (count > 0) left -= n;
    if (c == '\r') continue;
    if (c == '\n')
    {
      if (!singleLine)
      {
        u = 0;
        v += lineStep;
        continue;
      }
      c = ' ';
    }
    const charEnt* e = glyphFor(c);
    if (!e) continue;
    onGlyph(*e, u, v);
    u += e->advance;
  }
}

int LICE_CachedFont::DrawText(LICE_IBitmap* bm, const char* str, int count, RECT* rect, unsigned int dtFlags)
{
  if (!(dtFlags & DT_CALCRECT) && !bm) return 0;
  if (!str || !rect) return 0;
  const bool yuv = bm && bm->Extended(kExtendedYUV, nullptr) != 0;
  const bool wantNative = (m_flags & LICE_FONT_FLAG_FORCE_NATIVE) && !(m_flags & kNonNativeFlags) &&
                          dtFlags < (unsigned int)LICE_DT_USEFGALPHA && m_font &&
                          (m_lsadj == 0 || (dtFlags & DT_SINGLELINE));
  if (!yuv && (wantNative || m_line_height > kMaxMaskLineHeight))
    return DrawTextNative(bm, str, count, rect, dtFlags);
  return DrawTextCached(bm, str, count, rect, dtFlags);
}

int LICE_CachedFont::DrawTextNative(LICE_IBitmap* bm, const char* str, int count, RECT* rect, unsigned int dtFlags)
{
  // Our own alpha flag means nothing to the GDI layer.
  const int flags = (int)(dtFlags & 0x3fffffffu) | DT_NOPREFIX;
  auto selectInto = [this](HDC dc) {
    HGDIOBJ old = SelectObject(dc, m_font);
    ::SetTextColor(dc, m_fg & 0xffffff);
    ::SetBkMode(dc, m_bgmode);
    if (m_bgmode == OPAQUE) ::SetBkColor(dc, m_bg & 0xffffff);
    return old;
  };

  if (HDC bdc = bm ? bm->getDC() : nullptr)
  {
    HGDIOBJ old = selectInto(bdc);
    const int res = SWELL_DrawText(bdc, str, count, rect, flags);
    SelectObject(bdc, old); // the bitmap's context must not keep a font we may delete
    return res;
  }

  LICE_SysBitmap* ns = GrowScratch(&g_shared.native, 4, 4, false);
  if (!ns) return 0;
  HDC dc = ns->getDC();
  HGDIOBJ old = selectInto(dc);
  RECT mr = {0, 0, 0, 0};
  const int measured =
      SWELL_DrawText(dc, str, count, &mr, (flags & ~(int)(kAlignFlags | DT_CALCRECT)) | DT_CALCRECT | DT_NOPREFIX);
  SelectObject(dc, old);
  const i64 w = (i64)mr.right - mr.left, h = (i64)mr.bottom - mr.top;
  if (dtFlags & DT_CALCRECT)
  {
    rect->right = SatInt((i64)rect->left + w);
    rect->bottom = SatInt((i64)rect->top + h);
    return measured;
  }

  const Rows d(bm);
  if (!d.ok() || w < 1 || h < 1) return 0;
  i64 x = rect->left, y = rect->top;
  if (dtFlags & DT_CENTER)
    x = ((i64)rect->left + rect->right - w) / 2;
  else if (dtFlags & DT_RIGHT)
    x = (i64)rect->right - w;
  if (dtFlags & DT_VCENTER)
    y = ((i64)rect->top + rect->bottom - h) / 2;
  else if (dtFlags & DT_BOTTOM)
    y = (i64)rect->bottom - h;

  // Room for ink beyond the measured box on either side (slanted and overhanging glyphs),
  // within the clip: pixels the text leaves alone go back unchanged.
  const int pad = GlyphPad(m_line_height);
  i64 bl = Max(x, 0), bt = Max(y, 0), br = Min(x + w, d.w), bb = Min(y + h, d.h), low = 0, high = d.w;
  if (!(dtFlags & DT_NOCLIP))
  {
    bl = Max(bl, rect->left);
    bt = Max(bt, rect->top);
    br = Min(br, rect->right);
    bb = Min(bb, rect->bottom);
    low = Max(0, rect->left);
    high = Min(d.w, rect->right);
  }
  if (bl >= br || bt >= bb) return 0;
  bl -= Max(0, Min(pad, bl - low));
  br += Max(0, Min(pad, high - br));

  const int bw = (int)(br - bl), bh = (int)(bb - bt);
  ns = GrowScratch(&g_shared.native, bw, bh, false);
  if (!ns) return 0;
  dc = ns->getDC();
  LICE_Blit(ns, bm, 0, 0, (int)bl, (int)bt, bw, bh, 1.0f, LICE_MODE_COPY);
  old = selectInto(dc);
  RECT dr = {(int)(x - bl), (int)(y - bt), (int)(x - bl + w), (int)(y - bt + h)};
  const int res = SWELL_DrawText(dc, str, count, &dr, (flags & ~(int)(kAlignFlags | DT_CALCRECT)) | DT_NOCLIP);
  SelectObject(dc, old);
  LICE_Blit(bm, ns, (int)bl, (int)bt, 0, 0, bw, bh, 1.0f, LICE_MODE_COPY);
  return res;
}

int LICE_CachedFont::DrawTextCached(LICE_IBitmap* bm, const char* str, int count, RECT* rect, unsigned int dtFlags)
{
  const bool singleLine = (dtFlags & DT_SINGLELINE) != 0;
  const bool vertical = (m_flags & LICE_FONT_FLAG_VERTICAL) != 0;
  const bool bottomUp = vertical && (m_flags & LICE_FONT_FLAG_VERTICAL_BOTTOMUP);

  // Extent along the lines (U) and across them (V); the rectangle's width and height are
  // (U, V) for horizontal and (V, U) for vertical fonts.
  auto measure = [&](i64& W, i64& H) {
    i64 U = 0, V = 0;
    WalkText(str, count, singleLine, [&](const charEnt& e, i64 u, i64 v) {
      const int along = vertical ? e.height : e.width, across = vertical ? e.width : e.height;
      U = Max(U, Max(u + e.advance, u + along - e.left_extra));
      V = Max(V, v + across);
    });
    W = vertical ? V : U;
    H = vertical ? U : V;
    return V;
  };

  if (dtFlags & DT_CALCRECT)
  {
    i64 W, H;
    const i64 V = measure(W, H);
    rect->right = SatInt((i64)rect->left + W);
    rect->bottom = SatInt((i64)rect->top + H);
    return SatInt(V);
  }

  float alpha = m_alpha;
  if (dtFlags & LICE_DT_USEFGALPHA) alpha *= (float)LICE_GETA(m_fg) / 255.0f;
  if (lice_detail::AlphaToWeight(alpha) <= 0) return 0;
  const Rows d(bm);
  if (!d.ok()) return 0;

  i64 x = rect->left, y = rect->top;
  if ((dtFlags & kAlignFlags) || bottomUp)
  {
    i64 W, H;
    measure(W, H);
    if (dtFlags & DT_CENTER)
      x = rect->left + ((i64)rect->right - rect->left - W) / 2;
    else if (dtFlags & DT_RIGHT)
      x = (i64)rect->right - W;
    if (dtFlags & DT_VCENTER)
      y = rect->top + ((i64)rect->bottom - rect->top - H) / 2;
    else if (dtFlags & DT_BOTTOM)
      y = (i64)rect->bottom - H;
    if (bottomUp) y += H;
  }

  RECT clip = {0, 0, d.w, d.h};
  if (!(dtFlags & DT_NOCLIP))
  {
    clip.left = (int)Max(0, rect->left);
    clip.top = (int)Max(0, rect->top);
    clip.right = (int)Min(d.w, rect->right);
    clip.bottom = (int)Min(d.h, rect->bottom);
    if (clip.left >= clip.right || clip.top >= clip.bottom) return 0;
  }

  i64 V = 0;
  WalkText(str, count, singleLine, [&](const charEnt& e, i64 u, i64 v) {
    V = Max(V, v + (vertical ? e.width : e.height));
    if (!vertical)
      DrawGlyphAt(bm, e, x + u, y + v, &clip, alpha);
    else if (!bottomUp)
      DrawGlyphAt(bm, e, x + v, y + u, &clip, alpha);
    else
      DrawGlyphAt(bm, e, x + v, y - u - e.height, &clip, alpha);
  });
  return SatInt(V);
}

bool LICE_CachedFont::DrawGlyph(LICE_IBitmap* bm, unsigned short c, int x, int y, RECT* clip)
{
  const charEnt* e = glyphFor(c);
  return e && DrawGlyphAt(bm, *e, x, y, clip, m_alpha);
}

bool LICE_CachedFont::DrawGlyphAt(LICE_IBitmap* bm, const charEnt& e, i64 x, i64 y, const RECT* clip, float alpha)
{
  const Rows d(bm);
  if (!d.ok() || e.base_offset <= 0) return false;
  int ia = lice_detail::AlphaToWeight(alpha);
  if (ia > 256) ia = 256;
  if (ia <= 0) return false;

  // The mask's top-left corner: the pen's line starts left_extra into the mask.
  i64 mx = x, my = y;
  if (!(m_flags & LICE_FONT_FLAG_VERTICAL))
    mx -= e.left_extra;
  else if (m_flags & LICE_FONT_FLAG_VERTICAL_BOTTOMUP)
    my += e.left_extra;
  else
    my -= e.left_extra;

  i64 x0 = Max(mx, 0), y0 = Max(my, 0), x1 = Min(mx + e.width, d.w), y1 = Min(my + e.height, d.h);
  if (clip)
  {
    x0 = Max(x0, clip->left);
    y0 = Max(y0, clip->top);
    x1 = Min(x1, clip->right);
    y1 = Min(y1, clip->bottom);
  }
  if (x0 >= x1 || y0 >= y1) return false;
  const int w = (int)(x1 - x0), h = (int)(y1 - y0);

  if (m_bgmode == OPAQUE) LICE_FillRect(bm, (int)x0, (int)y0, w, h, m_bg, m_alpha, m_comb & ~LICE_USE_SOURCE_ALPHA);

  const unsigned char* m = m_cachestore.Get() + (e.base_offset - 1) + (size_t)(y0 - my) * e.width + (size_t)(x0 - mx);
  const GlyphPaint k = {m_fg,
                        (int)LICE_GETR(m_fg),
                        (int)LICE_GETG(m_fg),
                        (int)LICE_GETB(m_fg),
                        (int)LICE_GETR(m_effectcol),
                        (int)LICE_GETG(m_effectcol),
                        (int)LICE_GETB(m_effectcol),
                        ia};
  const int X0 = (int)x0, Y0 = (int)y0;
  // Effects come first: a mono font with a shadow or outline still shows the effect colour.
  if (m_flags & (LICE_FONT_FLAG_FX_SHADOW | LICE_FONT_FLAG_FX_OUTLINE))
    GlyphRowsForMode<CaseEffect>(m_comb, d, X0, Y0, w, h, m, e.width, k);
  else if (m_flags & LICE_FONT_FLAG_FX_MONO)
  {
    if (alpha == 1.0f && (m_comb & (LICE_MODE_MASK | LICE_USE_SOURCE_ALPHA)) == LICE_MODE_COPY)
      GlyphRows<_LICE_CombinePixelsCopyNoClamp, CaseMonoStore>(d, X0, Y0, w, h, m, e.width, k);
    else
      GlyphRowsForMode<CaseMono>(m_comb, d, X0, Y0, w, h, m, e.width, k);
  }
  else if (ia == 256)
    GlyphRowsForMode<CaseFull>(m_comb, d, X0, Y0, w, h, m, e.width, k);
  else
    GlyphRowsForMode<CaseScaled>(m_comb, d, X0, Y0, w, h, m, e.width, k);
  return true;
}
