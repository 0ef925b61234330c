#include "ref_text.h"

#include "support/ref_raster.h"

#include <algorithm>
#include <climits>

namespace reftext
{
namespace
{
typedef long long i64;

int Pad(int lh) { return lh < 16 ? 2 : lh / 16 + 2; }

} // namespace

int LineHeight(HFONT font)
{
  LICE_SysBitmap bm(16, 16);
  HDC dc = bm.getDC();
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRIC tm = {};
  GetTextMetrics(dc, &tm);
  SelectObject(dc, old);
  return font ? tm.tmHeight : 0;
}

std::string Encode(unsigned short c)
{
  std::string s;
  if (c < 0x80)
    s += (char)c;
  else if (c < 0x800)
  {
    s += (char)(0xc0 + (c >> 6));
    s += (char)(0x80 + (c & 63));
  }
  else
  {
    s += (char)(0xe0 + (c >> 12));
    s += (char)(0x80 + ((c >> 6) & 63));
    s += (char)(0x80 + (c & 63));
  }
  return s;
}

int Decode(const unsigned char* s, int avail, unsigned short* out)
{
  if (avail == 0)
  {
    *out = 0;
    return 0;
  }
  const int b = s[0];
  int len = 1;
  if (b >= 0xc2 && b <= 0xdf)
    len = 2;
  else if (b >= 0xe0 && b <= 0xef)
    len = 3;
  else if (b >= 0xf0 && b <= 0xf4)
    len = 4;
  for (int i = 1; i < len; ++i)
    if ((avail >= 0 && i >= avail) || s[i] < 0x80 || s[i] > 0xc0)
    {
      *out = (unsigned short)b;
      return 1;
    }
  unsigned int v = (unsigned int)b;
  if (len == 2) v = (b - 0xc0) * 64 + (s[1] & 63);
  if (len == 3) v = ((b - 0xe0) * 4096 + (s[1] & 63) * 64 + (s[2] & 63)) & 0xffff;
  if (len == 4) v = 32;
  *out = (unsigned short)v;
  return len;
}

std::vector<unsigned char> TurnClockwise(const std::vector<unsigned char>& m, int w, int h)
{
  // the top row ends up as the right column
  std::vector<unsigned char> out((size_t)w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) out[(size_t)x * h + (h - 1 - y)] = m[(size_t)y * w + x];
  return out;
}

std::vector<unsigned char> TurnCounterClockwise(const std::vector<unsigned char>& m, int w, int h)
{
  // the top row ends up as the left column, read upward
  std::vector<unsigned char> out((size_t)w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) out[(size_t)(w - 1 - x) * h + y] = m[(size_t)y * w + x];
  return out;
}

std::vector<unsigned char> RawBox(HFONT font, int lh, unsigned short c, int* w, int* h, int* advance)
{
  const std::string utf = Encode(c);
  const int pad = Pad(lh);
  RECT r = {0, 0, 0, 0};
  {
    LICE_SysBitmap probe(8, 8);
    HGDIOBJ old = SelectObject(probe.getDC(), font);
    SWELL_DrawText(probe.getDC(), utf.data(), (int)utf.size(), &r, DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE);
    SelectObject(probe.getDC(), old);
  }
  const int mw = std::max(0, r.right - r.left), mh = std::max(0, r.bottom - r.top);
  const int S = std::max(lh, 1) * 2 + 8;
  const int bw = std::max(S, std::min(mw + 2 * pad, 4096)), bh = std::max(S, std::min(mh, 4096));
  LICE_SysBitmap sb(bw, bh);
  HDC dc = sb.getDC();
  SetTextColor(dc, 0xffffff);
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, 0);
  HGDIOBJ old = SelectObject(dc, font);
  RECT dr = {pad, 0, mw + 2 * pad, mh};
  SWELL_DrawText(dc, utf.data(), (int)utf.size(), &dr, DT_NOPREFIX | DT_NOCLIP | DT_SINGLELINE);
  SelectObject(dc, old);
  *w = std::min(mw + 2 * pad, bw);
  *h = std::min(mh, bh);
  *advance = mw;
  std::vector<unsigned char> box((size_t)*w * *h);
  for (int y = 0; y < *h; ++y)
    for (int x = 0; x < *w; ++x) box[(size_t)y * *w + x] = (unsigned char)LICE_GETR(LICE_GetPixel(&sb, x, y));
  return box;
}

Glyph Render(HFONT font, int lh, int flags, unsigned short c)
{
  Glyph g;
  if (!font || lh > 1023)
  {
    g.refused = true;
    return g;
  }
  if (c == 0 || (c >= 0xd800 && c <= 0xdfff)) return g;
  int bw, bh, adv;
  std::vector<unsigned char> box = RawBox(font, lh, c, &bw, &bh, &adv);
  if (adv < 1 || bh < 1) return g;
  const int pad = Pad(lh);

  if (flags & LICE_FONT_FLAG_FX_BLUR)
  {
    LICE_MemBitmap a(bw, bh), b(bw, bh);
    for (int y = 0; y < bh; ++y)
      for (int x = 0; x < bw; ++x)
      {
        const LICE_pixel v = box[(size_t)y * bw + x];
        ref::SetPixel(&a, x, y, v * 0x010101u);
      }
    ref::Blur(&b, &a, 0, 0, 0, 0, bw, bh);
    for (int y = 0; y < bh; ++y)
      for (int x = 0; x < bw; ++x) box[(size_t)y * bw + x] = (unsigned char)LICE_GETR(ref::GetPixel(&b, x, y));
  }
  if (flags & LICE_FONT_FLAG_FX_INVERT)
    for (unsigned char& v : box) v = (unsigned char)(255 - v);

  int inkL = INT_MAX, inkR = -1;
  for (int y = 0; y < bh; ++y)
    for (int x = 0; x < bw; ++x)
      if (box[(size_t)y * bw + x])
      {
        inkL = std::min(inkL, x);
        inkR = std::max(inkR, x);
      }
  const int first = std::max(0, std::min(pad, inkL));
  const int last = std::min(bw, std::max(pad + adv, inkR + 1));
  int w = last - first, h = bh;
  std::vector<unsigned char> m((size_t)w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) m[(size_t)y * w + x] = box[(size_t)y * bw + first + x];

  if (flags & LICE_FONT_FLAG_VERTICAL)
  {
    m = (flags & LICE_FONT_FLAG_VERTICAL_BOTTOMUP) ? TurnCounterClockwise(m, w, h) : TurnClockwise(m, w, h);
    std::swap(w, h);
  }
  const bool shadow = (flags & LICE_FONT_FLAG_FX_SHADOW) != 0, outline = (flags & LICE_FONT_FLAG_FX_OUTLINE) != 0;
  if ((flags & LICE_FONT_FLAG_FX_MONO) || shadow || outline)
    for (unsigned char& v : m) v = v >= 131 ? 255 : 0;
  if (shadow || outline)
  {
    const std::vector<unsigned char> t = m;
    auto full = [&](int x, int y) { return x >= 0 && y >= 0 && x < w && y < h && t[(size_t)y * w + x] == 255; };
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
      {
        if (t[(size_t)y * w + x]) continue;
        const bool s = full(x - 1, y) || full(x - 1, y - 1) || full(x, y - 1);
        const bool o = full(x, y - 1) || full(x, y + 1) || full(x - 1, y) || full(x + 1, y);
        if ((shadow && s) || (outline && o)) m[(size_t)y * w + x] = 128;
      }
  }
  g.has = true;
  g.w = w;
  g.h = h;
  g.adv = adv;
  g.le = pad - first;
  g.m = std::move(m);
  return g;
}

void Font::Set(HFONT f, int fl)
{
  font = f;
  flags = fl;
  m_lh = f ? LineHeight(f) : 0;
  m_cache.clear();
}

const Glyph& Font::Get(unsigned short c)
{
  auto it = m_cache.find(c);
  if (it != m_cache.end()) return it->second;
  Glyph g;
  if ((flags & LICE_FONT_FLAG_PRECALCALL) && c >= 128)
    g.refused = true;
  else
    g = Render(font, m_lh, flags, c);
  return m_cache[c] = std::move(g);
}

int Font::DrawText(LICE_IBitmap* bm, const char* str, int count, RECT* rect, unsigned int dtFlags)
{
  if (!(dtFlags & DT_CALCRECT) && !bm) return 0;
  if (!str || !rect) return 0;
  const bool vert = (flags & LICE_FONT_FLAG_VERTICAL) != 0;
  const bool up = vert && (flags & LICE_FONT_FLAG_VERTICAL_BOTTOMUP);

  struct Placed
  {
    const Glyph* g;
    i64 u, v;
  };
  std::vector<Placed> run;
  {
    const unsigned char* p = (const unsigned char*)str;
    int left = count;
    i64 u = 0, v = 0;
    while ((count < 0 || left > 0) && *p)
    {
      unsigned short c;
      const int n = Decode(p, count < 0 ? -1 : left, &c);
      p += n;
      left -= n;
      if (c == '\r') continue;
      if (c == '\n' && !(dtFlags & DT_SINGLELINE))
      {
        u = 0;
        v += m_lh;
        continue;
      }
      if (c == '\n') c = ' ';
      const Glyph& g = Get(c);
      if (!g.has) continue;
      run.push_back({&g, u, v});
      u += g.adv;
    }
  }
  i64 U = 0, V = 0;
  for (const Placed& q : run)
  {
    const int along = vert ? q.g->h : q.g->w, across = vert ? q.g->w : q.g->h;
    U = std::max({U, q.u + q.g->adv, q.u + along - q.g->le});
    V = std::max(V, q.v + across);
  }
  const i64 W = vert ? V : U, H = vert ? U : V;
  auto sat = [](i64 x) { return (int)std::max<i64>(INT_MIN, std::min<i64>(INT_MAX, x)); };
  if (dtFlags & DT_CALCRECT)
  {
    rect->right = sat(rect->left + W);
    rect->bottom = sat(rect->top + H);
    return sat(V);
  }

  float a = alpha;
  if (dtFlags & LICE_DT_USEFGALPHA) a *= (float)LICE_GETA(fg) / 255.0f;
  const double av = (double)a * 256.0;
  const int ia = av != av ? 0 : (int)std::max(-1.0, std::min(256.0, av));
  if (ia <= 0 || !bm->getBits() || bm->getWidth() < 1 || bm->getHeight() < 1) return 0;

  i64 x = rect->left, y = rect->top;
  if (dtFlags & DT_CENTER) x = rect->left + ((i64)rect->right - rect->left - W) / 2;
  else if (dtFlags & DT_RIGHT) x = rect->right - W;
  if (dtFlags & DT_VCENTER) y = rect->top + ((i64)rect->bottom - rect->top - H) / 2;
  else if (dtFlags & DT_BOTTOM) y = rect->bottom - H;
  if (up) y += H;

  i64 cl = 0, ct = 0, cr = bm->getWidth(), cb = bm->getHeight();
  if (!(dtFlags & DT_NOCLIP))
  {
    cl = std::max<i64>(cl, rect->left);
    ct = std::max<i64>(ct, rect->top);
    cr = std::min<i64>(cr, rect->right);
    cb = std::min<i64>(cb, rect->bottom);
    if (cl >= cr || ct >= cb) return 0;
  }

  const bool effects = (flags & (LICE_FONT_FLAG_FX_SHADOW | LICE_FONT_FLAG_FX_OUTLINE)) != 0;
  const bool mono = (flags & LICE_FONT_FLAG_FX_MONO) != 0;
  const bool store = mono && !effects && a == 1.0f && (mode & 0x100ff) == 0;
  for (const Placed& q : run)
  {
    const Glyph& g = *q.g;
    i64 mx, my;
    if (!vert)
      mx = x + q.u - g.le, my = y + q.v;
    else if (!up)
      mx = x + q.v, my = y + q.u - g.le;
    else
      mx = x + q.v, my = y - q.u - g.h + g.le;
    const i64 x0 = std::max(mx, cl), y0 = std::max(my, ct);
    const i64 x1 = std::min(mx + g.w, cr), y1 = std::min(my + g.h, cb);
    if (x0 >= x1 || y0 >= y1) continue;
    if (bgmode == 1) ref::FillRect(bm, (int)x0, (int)y0, (int)(x1 - x0), (int)(y1 - y0), bg, alpha, mode & ~0x10000);
    for (i64 Y = y0; Y < y1; ++Y)
      for (i64 X = x0; X < x1; ++X)
      {
        const int v = g.m[(size_t)(Y - my) * g.w + (size_t)(X - mx)];
        if (!v) continue;
        const LICE_pixel d = ref::GetPixel(bm, (int)X, (int)Y);
        LICE_pixel col = fg;
        int wgt;
        if (effects)
        {
          if (v != 255) col = fx;
          wgt = ia;
        }
        else if (store)
        {
          ref::SetPixel(bm, (int)X, (int)Y, fg);
          continue;
        }
        else if (mono)
          wgt = ia;
        else
          wgt = ia == 256 ? v + 1 : std::min(v * ia / 256, 256);
        ref::SetPixel(bm, (int)X, (int)Y,
                      ref::Combine(d, (int)LICE_GETR(col), (int)LICE_GETG(col), (int)LICE_GETB(col), 255, wgt, mode));
      }
  }
  i64 ext = 0;
  for (const Placed& q : run) ext = std::max(ext, q.v + (vert ? q.g->w : q.g->h));
  return sat(ext);
}
} // namespace reftext
