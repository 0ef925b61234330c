#include "ref_shapes.h"
#include "ref_raster.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace refshape
{
namespace
{
typedef long long i64;
typedef __int128 i128;

// How one pixel is combined.
enum Kind
{
  kOp,       // the class of the operation at the given weight
  kStore,    // d = c
  kHalfChan, // d = (d + c) >> 1 per channel
  kFastHalf, // per byte d/2 + c/2 (each halved first)
  kFastQuarter,
  kFastThree
};

struct Pen
{
  Kind kind;
  int op;
};

int Byte(LICE_pixel p, int k) { return (int)((p >> (8 * k)) & 255); }

LICE_pixel PerByte(LICE_pixel d, LICE_pixel c, int (*f)(int, int))
{
  LICE_pixel out = 0;
  for (int k = 0; k < 4; ++k) out |= (LICE_pixel)(f(Byte(d, k), Byte(c, k)) & 255) << (8 * k);
  return out;
}

// truncate(alpha * 256) within +-4096; copies within 0..256
int Weight(float alpha, int mode)
{
  const double v = (double)alpha * 256.0;
  if (!(v == v)) return 0;
  int ia = v > 4096 ? 4096 : v < -4096 ? -4096 : (int)v;
  if ((mode & 255) == 0) ia = std::max(0, std::min(ia, 256));
  return ia;
}

struct Target
{
  LICE_IBitmap* bm = nullptr;
  int w = 0, h = 0;
  bool flipped = false;
  bool ok = false;
  // stored row of logical row y
  i64 my(i64 y) const { return flipped ? h - 1 - y : y; }
  double my(double y) const { return flipped ? h - 1 - y : y; }
};

Target Of(LICE_IBitmap* bm)
{
  Target t;
  if (!bm || !bm->getBits() || bm->getWidth() < 1 || bm->getHeight() < 1) return t;
  t.bm = bm;
  t.w = bm->getWidth();
  t.h = bm->getHeight();
  t.flipped = bm->isFlipped();
  t.ok = true;
  return t;
}

// Combines one pixel at stored coordinates (x, y); pixels outside the bitmap are skipped.
void Apply(const Target& t, i64 x, i64 y, LICE_pixel c, int w, Pen pen)
{
  if (!t.ok || x < 0 || y < 0 || x >= t.w || y >= t.h) return;
  if (pen.kind == kOp && (w == 0 || pen.op > 5)) return;
  const int ly = (int)(t.flipped ? t.h - 1 - y : y);
  const LICE_pixel d = ref::GetPixel(t.bm, (int)x, ly);
  LICE_pixel out = d;
  switch (pen.kind)
  {
    case kStore: out = c; break;
    case kHalfChan: out = PerByte(d, c, [](int a, int b) { return (a + b) >> 1; }); break;
    case kFastHalf: out = PerByte(d, c, [](int a, int b) { return (a >> 1) + (b >> 1); }); break;
    case kFastQuarter: out = PerByte(d, c, [](int a, int b) { return (a >> 2) + (a >> 1) + (b >> 2); }); break;
    case kFastThree: out = PerByte(d, c, [](int a, int b) { return (a >> 2) + (b >> 1) + (b >> 2); }); break;
    case kOp: out = ref::Combine(d, Byte(c, 2), Byte(c, 1), Byte(c, 0), Byte(c, 3), w, pen.op); break;
  }
  ref::SetPixel(t.bm, (int)x, ly, out);
}

// Lines and circles: copy at full weight stores, at 128 mixes per channel (plain forms only).
Pen ShapePen(int mode, int ia, bool exact)
{
  const int op = mode & 255;
  if (op == 0 && exact && ia == 256) return {kStore, 0};
  if (op == 0 && exact && ia == 128) return {kHalfChan, 0};
  return {kOp, op};
}

// Horizontal and vertical lines: the exact copy alphas take the word mixes.
Pen SpanPen(float alpha, int mode, int ia)
{
  if ((mode & 255) == 0)
  {
    if (alpha == 1.0f) return {kStore, 0};
    if (alpha == 0.5f) return {kFastHalf, 0};
    if (alpha == 0.25f) return {kFastQuarter, 0};
    if (alpha == 0.75f) return {kFastThree, 0};
  }
  return ShapePen(mode, ia, true);
}

// Fills: the four fixed copy weights take the word mixes.
Pen FillPen(int mode, int ia)
{
  if ((mode & 255) == 0)
  {
    if (ia == 256) return {kStore, 0};
    if (ia == 128) return {kFastHalf, 0};
    if (ia == 64) return {kFastQuarter, 0};
    if (ia == 192) return {kFastThree, 0};
  }
  return {kOp, mode & 255};
}

i64 FloorDiv(i64 a, i64 b)
{
  i64 q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// --- clipping ---------------------------------------------------------------------------

int Code(double x, double y, double w, double h)
{
  return (x < 0 ? 1 : x >= w ? 2 : 0) | (y < 0 ? 4 : y >= h ? 8 : 0);
}

// Integer crossing: x1 + (x2 - x1) (Y - y1) / (y2 - y1) as one exact fraction, truncated.
i64 Cross(i64 a1, i64 b1, i64 a2, i64 b2, i64 B)
{
  const i128 num = (i128)a1 * (b2 - b1) + (i128)(a2 - a1) * (B - b1);
  return (i64)(num / (b2 - b1));
}

bool ClipI(i64& x1, i64& y1, i64& x2, i64& y2, i64 w, i64 h)
{
  if (w < 1 || h < 1) return false;
  for (int round = 0; round < 32; ++round)
  {
    const int c1 = Code((double)x1, (double)y1, (double)w, (double)h), c2 = Code((double)x2, (double)y2, (double)w, (double)h);
    if (c1 == 0 && c2 == 0) return true;
    if (c1 & c2) return false;
    const bool one = c1 != 0;
    const int c = one ? c1 : c2;
    i64 nx, ny;
    if (c & 8)
      nx = Cross(x1, y1, x2, y2, h), ny = h - 1;
    else if (c & 4)
      nx = Cross(x1, y1, x2, y2, 0), ny = 0;
    else if (c & 2)
      ny = Cross(y1, x1, y2, x2, w), nx = w - 1;
    else
      ny = Cross(y1, x1, y2, x2, 0), nx = 0;
    (one ? x1 : x2) = nx;
    (one ? y1 : y2) = ny;
  }
  return false;
}

bool ClipD(double& x1, double& y1, double& x2, double& y2, double w, double h)
{
  for (double v : {x1, y1, x2, y2, w, h})
    if (!std::isfinite(v)) return false;
  if (!(w > 0) || !(h > 0)) return false;
  for (int round = 0; round < 32; ++round)
  {
    const int c1 = Code(x1, y1, w, h), c2 = Code(x2, y2, w, h);
    if (c1 == 0 && c2 == 0) return true;
    if (c1 & c2) return false;
    const bool one = c1 != 0;
    const int c = one ? c1 : c2;
    const double dx = x2 - x1, dy = y2 - y1;
    double nx, ny;
    if (c & 8)
      nx = x1 + dx * (h - y1) / dy, ny = h - 1;
    else if (c & 4)
      nx = x1 + dx * (0.0 - y1) / dy, ny = 0;
    else if (c & 2)
      ny = y1 + dy * (w - x1) / dx, nx = w - 1;
    else
      ny = y1 + dy * (0.0 - x1) / dx, nx = 0;
    (one ? x1 : x2) = nx;
    (one ? y1 : y2) = ny;
  }
  return false;
}

// --- lines --------------------------------------------------------------------------------

void LineStored(const Target& t, i64 x1, i64 y1, i64 x2, i64 y2, LICE_pixel c, float alpha, int mode, bool aa)
{
  const int ia = Weight(alpha, mode);
  if (!t.ok || ia == 0 || !ClipI(x1, y1, x2, y2, t.w, t.h)) return;
  if (x1 == x2 || y1 == y2)
  {
    const Pen pen = SpanPen(alpha, mode, ia);
    for (i64 x = std::min(x1, x2); x <= std::max(x1, x2); ++x)
      for (i64 y = std::min(y1, y2); y <= std::max(y1, y2); ++y) Apply(t, x, y, c, ia, pen);
    return;
  }
  const i64 dx = x2 - x1, dy = y2 - y1, sx = dx > 0 ? 1 : -1, sy = dy > 0 ? 1 : -1;
  if (std::llabs(dx) == std::llabs(dy))
  {
    const i64 n = std::llabs(dx);
    const bool fast = (mode & 255) == 0 && alpha == 1.0f;
    const Pen pen = ShapePen(mode, ia, !aa);
    for (i64 k = 0; k <= n; ++k)
    {
      const i64 x = x1 + k * sx, y = y1 + k * sy;
      if (!aa)
      {
        Apply(t, x, y, c, ia, fast ? Pen{kStore, 0} : pen);
        continue;
      }
      Apply(t, x, y, c, (3 * ia) / 4, fast ? Pen{kFastThree, 0} : pen);
      if (k < n)
      {
        Apply(t, x + sx, y, c, ia / 4, fast ? Pen{kFastQuarter, 0} : pen);
        Apply(t, x, y + sy, c, ia / 4, fast ? Pen{kFastQuarter, 0} : pen);
      }
    }
    return;
  }
  const bool xmaj = std::llabs(dx) > std::llabs(dy);
  const i64 n = xmaj ? std::llabs(dx) : std::llabs(dy), m = xmaj ? std::llabs(dy) : std::llabs(dx);
  const i64 slope = (int)((double)m / (double)n * 65536.0);
  const Pen pen = ShapePen(mode, ia, !aa);
  // pixel k from one end, off minor steps toward the other end
  auto at = [&](bool fromEnd, i64 k, i64 off, int w) {
    const i64 s = fromEnd ? -1 : 1;
    const i64 bx = fromEnd ? x2 : x1, by = fromEnd ? y2 : y1;
    const i64 x = xmaj ? bx + s * k * sx : bx + s * off * sx;
    const i64 y = xmaj ? by + s * off * sy : by + s * k * sy;
    Apply(t, x, y, c, w, pen);
  };
  const i64 half = (n + 1) / 2;
  if (!aa)
  {
    for (i64 k = 0; k < half; ++k)
    {
      const i64 off = FloorDiv(k * slope + 32768, 65536);
      at(false, k, off, ia);
      at(true, k, off, ia);
    }
    if (n % 2 == 0) at(false, n / 2, FloorDiv((n / 2) * slope + 32768, 65536), ia);
    return;
  }
  at(false, 0, 0, ia);
  at(true, 0, 0, ia);
  auto smooth = [&](bool fromEnd, i64 k) {
    const i64 v = k * slope, off = v / 65536;
    const int e = (int)((v % 65536) >> 8);
    at(fromEnd, k, off, ((255 - e) * ia) >> 8);
    at(fromEnd, k, off + 1, (e * ia) >> 8);
  };
  for (i64 k = 1; k < half; ++k)
  {
    smooth(false, k);
    smooth(true, k);
  }
  if (n % 2 == 0) smooth(false, n / 2);
}

// --- circles -----------------------------------------------------------------------------

struct Box
{
  i64 l, t, r, b; // half-open
};

void CircleStored(const Target& t, Box box, double cx, double cy, double r, LICE_pixel c, int ia, int mode, bool aa,
                  bool filled)
{
  if (!t.ok || ia == 0 || !std::isfinite(cx) || !std::isfinite(cy) || !(r >= 0) || r > 16777216.0) return;
  if (std::fabs(cx) > 1e12 || std::fabs(cy) > 1e12) return;
  const i64 icx = (i64)std::floor(cx + 0.5), icy = (i64)std::floor(cy + 0.5);
  const i64 reach = (i64)r + 2;
  const Pen pen = ShapePen(mode, ia, !aa);
  std::map<i64, i64> column; // plain: the midpoint walk's y for each x
  const i64 R = (i64)(r + 0.5);
  if (!aa && R >= 2)
  {
    i64 x = 0, y = R, d = -R;
    do
    {
      if (d >= 0) d -= 2 * (y - 1), --y;
      ++x;
      d += 2 * x + 1;
      column[x] = y;
    } while (x + 1 < y);
  }
  const i64 ri = (i64)r;
  const int wo0 = (int)((r - (double)ri) * ia);
  const i64 x0 = std::max(box.l, icx - reach), x1 = std::min(box.r - 1, icx + reach);
  const i64 y0 = std::max(box.t, icy - reach), y1 = std::min(box.b - 1, icy + reach);
  for (i64 Y = y0; Y <= y1; ++Y)
    for (i64 X = x0; X <= x1; ++X)
    {
      const i64 a = std::min(std::llabs(X - icx), std::llabs(Y - icy)), b = std::max(std::llabs(X - icx), std::llabs(Y - icy));
      int w = 0;
      if (!aa)
      {
        bool in;
        if (a == 0)
          in = filled ? b <= R : b == R;
        else
        {
          auto it = column.find(a);
          in = it != column.end() && (filled ? b <= it->second : b == it->second);
        }
        w = in ? ia : 0;
      }
      else if (a == 0)
      {
        if (filled)
          w = b <= ri ? ia : b == ri + 1 ? wo0 : 0;
        else
          w = b == ri ? ia - wo0 : b == ri + 1 ? wo0 : 0;
      }
      else if ((double)a <= r)
      {
        const double y = std::sqrt(r * r - (double)a * (double)a);
        const i64 yi = (i64)y;
        if (yi + 1 >= a)
        {
          const int wo = (int)((y - (double)yi) * ia);
          if (filled)
            w = b <= yi ? ia : b == yi + 1 ? wo : 0;
          else
            w = b == yi ? ia - wo : b == yi + 1 ? wo : 0;
        }
      }
      if (w) Apply(t, X, Y, c, w, pen);
    }
}

std::vector<unsigned char> Hex(const char* s)
{
  std::vector<unsigned char> out;
  std::string tok;
  for (const char* p = s;; ++p)
  {
    if (*p && *p != ' ' && *p != '/')
    {
      tok += *p;
      continue;
    }
    if (!tok.empty()) out.push_back((unsigned char)std::stoi(tok, nullptr, 16));
    tok.clear();
    if (!*p) break;
  }
  return out;
}

// the small-circle masks, as coverage rows
const char* MaskText(float r, bool aa)
{
  struct M
  {
    float r;
    const char *plain, *smooth;
  };
  static const M masks[] = {
      {1.5f, "00 FF FF 00 / FF 00 00 FF / FF 00 00 FF / 00 FF FF 00",
       "4F FF FF 4F / FF 0F 0F FF / FF 0F 0F FF / 4F FF FF 4F"},
      {2.0f, "00 00 FF 00 00 / 00 FF 00 FF 00 / FF 00 00 00 FF / 00 FF 00 FF 00 / 00 00 FF 00 00",
       "0F BF FF BF 0F / BF D1 4F D1 BF / FF 4F 00 4F FF / BF D1 4F D1 BF / 0F BF FF BF 0F"},
      {2.5f,
       "00 00 FF FF 00 00 / 00 FF 00 00 FF 00 / FF 00 00 00 00 FF / FF 00 00 00 00 FF / 00 FF 00 00 FF 00 / 00 00 "
       "FF FF 00 00",
       "0F BF FF FF BF 0F / BF D1 4F 4F D1 BF / FF 4F 00 00 4F FF / FF 4F 00 00 4F FF / BF D1 4F 4F D1 BF / 0F BF "
       "FF FF BF 0F"},
      {3.0f,
       "00 00 FF FF FF 00 00 / 00 FF 00 00 00 FF 00 / FF 00 00 00 00 00 FF / FF 00 00 00 00 00 FF / FF 00 00 00 00 "
       "00 FF / 00 FF 00 00 00 FF 00 / 00 00 FF FF FF 00 00",
       "00 8F FF FF FF 8F 00 / 8F FF 61 40 61 FF 8F / FF 70 00 00 00 70 FF / FF 30 00 00 00 30 FF / FF 70 00 00 00 "
       "70 FF / 8F FF 61 40 61 FF 8F / 00 8F FF FF FF 8F 00"},
      {3.5f,
       "00 00 FF FF FF FF 00 00 / 00 FF FF 00 00 FF FF 00 / FF FF 00 00 00 00 FF FF / FF 00 00 00 00 00 00 FF / FF "
       "00 00 00 00 00 00 FF / FF FF 00 00 00 00 FF FF / 00 FF FF 00 00 FF FF 00 / 00 00 FF FF FF FF 00 00",
       "00 4F DE FF FF DE 4F 00 / 4F FF B0 40 40 B0 FF 4F / DE B0 00 00 00 00 B0 DE / FF 40 00 00 00 00 40 FF / FF "
       "40 00 00 00 00 40 FF / DE B0 00 00 00 00 B0 DE / 4F FF B0 40 40 B0 FF 4F / 00 4F DE FF FF DE 4F 00"},
      {4.0f,
       "00 00 FF FF FF FF FF 00 00 / 00 FF FF 00 00 00 FF FF 00 / FF FF 00 00 00 00 00 FF FF / FF 00 00 00 00 00 00 "
       "00 FF / FF 00 00 00 00 00 00 00 FF / FF 00 00 00 00 00 00 00 FF / FF FF 00 00 00 00 00 FF FF / 00 FF FF 00 "
       "00 00 FF FF 00 / 00 00 FF FF FF FF FF 00 00",
       "00 1F B0 FF FF FF B0 1F 00 / 1F F0 D1 4F 40 4F D1 F0 1F / B0 D1 0F 00 00 00 0F D1 B0 / FF 4F 00 00 00 00 00 "
       "4F FF / FF 30 00 00 00 00 00 30 FF / FF 4F 00 00 00 00 00 4F FF / B0 D1 0F 00 00 00 0F D1 B0 / 1F F0 D1 4F "
       "40 4F D1 F0 1F / 00 1F B0 FF FF FF B0 1F 00"},
  };
  for (const M& m : masks)
    if (m.r == r) return aa ? m.smooth : m.plain;
  return nullptr;
}

// coverage v at weight (v * ia) / 256 into stored coordinates
void MaskStored(const Target& t, i64 x, i64 y, LICE_pixel c, const unsigned char* a, int w, i64 span, int h, int ia,
                int mode)
{
  if (!t.ok || ia == 0 || !a || w < 1 || h < 1) return;
  const Pen pen{kOp, mode & 255};
  for (int j = 0; j < h; ++j)
  {
    const unsigned char* row = span >= 0 ? a + j * span : a + (h - 1 - j) * -span;
    for (int i = 0; i < w; ++i)
      if (row[i]) Apply(t, x + i, y + j, c, (row[i] * ia) / 256, pen);
  }
}

// --- fills -------------------------------------------------------------------------------

void TrapStored(const Target& t, i64 x1a, i64 x1b, i64 y1, i64 x2a, i64 x2b, i64 y2, LICE_pixel c, int ia, int mode)
{
  if (!t.ok || ia == 0) return;
  if (y2 < y1) std::swap(x1a, x2a), std::swap(x1b, x2b), std::swap(y1, y2);
  const i64 l1 = std::min(x1a, x1b), r1 = std::max(x1a, x1b), l2 = std::min(x2a, x2b), r2 = std::max(x2a, x2b);
  const i64 n = y2 - y1;
  auto slope = [&](i64 a, i64 b) { return n == 0 ? 0 : std::max(-(1ll << 29), std::min(1ll << 29, (b - a) * 65536 / n)); };
  const i64 sl = slope(l1, l2), sr = slope(r1, r2);
  const Pen pen = FillPen(mode, ia);
  for (i64 y = std::max<i64>(y1, 0); y <= std::min<i64>(y2, t.h - 1); ++y)
  {
    const i64 k = y - y1;
    const i64 L = FloorDiv(l1 * 65536 + 32768 + k * sl, 65536), Rr = FloorDiv(r1 * 65536 + 32768 + k * sr, 65536);
    for (i64 x = std::max<i64>(L, 0); x <= std::min<i64>(Rr, t.w - 1); ++x) Apply(t, x, y, c, ia, pen);
  }
}

struct P
{
  i64 x, y;
};

// x of a chain at row y: the outermost value over the chain's segments that reach the row
i64 ChainX(const std::vector<P>& ch, i64 y, bool left)
{
  bool any = false;
  i64 best = 0;
  for (size_t i = 0; i + 1 < ch.size(); ++i)
  {
    const P a = ch[i], b = ch[i + 1];
    if (y < a.y || y > b.y) continue;
    std::vector<i64> xs;
    if (a.y == b.y)
      xs = {a.x, b.x};
    else
      xs = {(i64)std::floor((double)a.x + (double)(b.x - a.x) * (double)(y - a.y) / (double)(b.y - a.y))};
    for (i64 x : xs)
    {
      if (!any || (left ? x < best : x > best)) best = x;
      any = true;
    }
  }
  return best;
}
} // namespace

// ---------------------------------------------------------------------------------------

bool ClipLine(int* x1, int* y1, int* x2, int* y2, int xlo, int ylo, int xhi, int yhi)
{
  i64 a = (i64)*x1 - xlo, b = (i64)*y1 - ylo, c = (i64)*x2 - xlo, d = (i64)*y2 - ylo;
  if (!ClipI(a, b, c, d, (i64)xhi - xlo, (i64)yhi - ylo)) return false;
  *x1 = (int)(a + xlo), *y1 = (int)(b + ylo), *x2 = (int)(c + xlo), *y2 = (int)(d + ylo);
  return true;
}

bool ClipFLine(float* x1, float* y1, float* x2, float* y2, float xlo, float ylo, float xhi, float yhi)
{
  double a = (double)*x1 - xlo, b = (double)*y1 - ylo, c = (double)*x2 - xlo, d = (double)*y2 - ylo;
  if (!ClipD(a, b, c, d, (double)xhi - xlo, (double)yhi - ylo)) return false;
  *x1 = (float)(a + xlo), *y1 = (float)(b + ylo), *x2 = (float)(c + xlo), *y2 = (float)(d + ylo);
  return true;
}

void Line(LICE_IBitmap* bm, int x1, int y1, int x2, int y2, LICE_pixel color, float alpha, int mode, bool aa)
{
  const Target t = Of(bm);
  LineStored(t, x1, t.my((i64)y1), x2, t.my((i64)y2), color, alpha, mode, aa);
}

void FLine(LICE_IBitmap* bm, float x1, float y1, float x2, float y2, LICE_pixel color, float alpha, int mode, bool aa)
{
  const Target t = Of(bm);
  const int ia = Weight(alpha, mode);
  if (!t.ok || ia == 0) return;
  if (!aa)
  {
    Line(bm, (int)x1, (int)y1, (int)x2, (int)y2, color, alpha, mode, false);
    return;
  }
  double a1 = x1, b1 = t.my((double)y1), a2 = x2, b2 = t.my((double)y2);
  if (!ClipD(a1, b1, a2, b2, t.w, t.h) || (a1 == a2 && b1 == b2)) return;
  const bool xmaj = std::fabs(a2 - a1) >= std::fabs(b2 - b1);
  if (!xmaj) std::swap(a1, b1), std::swap(a2, b2); // now a is the major coordinate
  if (a1 > a2) std::swap(a1, a2), std::swap(b1, b2);
  const double slope = (b2 - b1) / (a2 - a1);
  const i64 first = (i64)std::ceil(a1), last = (i64)std::floor(a2);
  const double m = b1 + ((double)first - a1) * slope;
  const i64 m0 = (i64)std::floor(m);
  const i64 f0 = (i64)((m - (double)m0) * 65536.0), is = (int)(slope * 65536.0);
  const Pen pen{kOp, mode & 255};
  for (i64 k = 0; first + k <= last; ++k)
  {
    const i64 F = f0 + k * is, mi = m0 + FloorDiv(F, 65536), f = F - FloorDiv(F, 65536) * 65536;
    const int e = (int)(f >> 8);
    const i64 A = first + k;
    const int w1 = ((255 - e) * ia) >> 8, w2 = (e * ia) >> 8;
    if (xmaj)
      Apply(t, A, mi, color, w1, pen), Apply(t, A, mi + 1, color, w2, pen);
    else
      Apply(t, mi, A, color, w1, pen), Apply(t, mi + 1, A, color, w2, pen);
  }
}

void DashedLine(LICE_IBitmap* bm, int x1, int y1, int x2, int y2, int pxon, int pxoff, LICE_pixel color, float alpha,
                int mode)
{
  const Target t = Of(bm);
  const int ia = Weight(alpha, mode);
  if (!t.ok || ia == 0 || pxon < 1) return;
  pxoff = std::max(pxoff, 0);
  const i64 Y1 = t.my((i64)y1), Y2 = t.my((i64)y2);
  if (Y1 != Y2 && x1 != x2) return;
  const bool horiz = Y1 == Y2;
  const i64 lo = horiz ? std::min(x1, x2) : std::min(Y1, Y2), hi = horiz ? std::max(x1, x2) : std::max(Y1, Y2);
  const Pen pen = SpanPen(alpha, mode, ia);
  const i64 first = std::max<i64>(lo, -1), last = std::min<i64>(hi - 1, horiz ? t.w : t.h);
  for (i64 i = first; i <= last; ++i)
    if ((i - lo) % ((i64)pxon + pxoff) < pxon) Apply(t, horiz ? i : x1, horiz ? Y1 : i, color, ia, pen);
}

void DrawRect(LICE_IBitmap* bm, int x, int y, int w, int h, LICE_pixel color, float alpha, int mode)
{
  const Target t = Of(bm);
  const i64 X0 = x, X1 = (i64)x + w, Y0 = t.my((i64)y), Y1 = t.my((i64)y + h);
  LineStored(t, X0, Y0, X1, Y0, color, alpha, mode, false);
  LineStored(t, X1, Y0, X1, Y1, color, alpha, mode, false);
  LineStored(t, X1, Y1, X0, Y1, color, alpha, mode, false);
  LineStored(t, X0, Y1, X0, Y0, color, alpha, mode, false);
}

void BorderedRect(LICE_IBitmap* bm, int x, int y, int w, int h, LICE_pixel bg, LICE_pixel fg, float alpha, int mode)
{
  ref::FillRect(bm, x + 1, y + 1, w - 1, h - 1, bg, alpha, mode & 255);
  DrawRect(bm, x, y, w, h, fg, alpha, mode);
}

void RoundRect(LICE_IBitmap* bm, float x, float y, float w, float h, int cr, LICE_pixel color, float alpha, int mode,
               bool aa)
{
  const double r = std::floor(std::min({(double)cr, (double)w / 2, (double)h / 2}));
  if (cr <= 0 || r < 2)
  {
    DrawRect(bm, (int)x, (int)y, (int)w, (int)h, color, alpha, mode);
    return;
  }
  const double X = x, Y = y, W = w, H = h;
  Line(bm, (int)(X + r), (int)Y, (int)(X + W - r), (int)Y, color, alpha, mode, aa);
  Line(bm, (int)(X + r - 1), (int)(Y + H), (int)(X + W - r), (int)(Y + H), color, alpha, mode, aa);
  Line(bm, (int)(X + W), (int)(Y + r), (int)(X + W), (int)(Y + H - r), color, alpha, mode, aa);
  Line(bm, (int)X, (int)(Y + r - 1), (int)X, (int)(Y + H - r), color, alpha, mode, aa);
  const float pi = 3.14159265358979f;
  Arc(bm, (float)(X + r), (float)(Y + r), (float)r, -pi / 2, 0, color, alpha, mode, aa);
  Arc(bm, (float)(X + W - r), (float)(Y + r), (float)r, 0, pi / 2, color, alpha, mode, aa);
  Arc(bm, (float)(X + W - r), (float)(Y + H - r), (float)r, pi / 2, pi, color, alpha, mode, aa);
  Arc(bm, (float)(X + r), (float)(Y + H - r), (float)r, pi, 3 * pi / 2, color, alpha, mode, aa);
}

void Circle(LICE_IBitmap* bm, float cx, float cy, float r, LICE_pixel color, float alpha, int mode, bool aa)
{
  const Target t = Of(bm);
  const int ia = Weight(alpha, mode);
  if (!t.ok || ia == 0 || !(r >= 0) || !std::isfinite(cx) || !std::isfinite(cy)) return;
  const double y = t.my((double)cy);
  if (cx + (double)r < -2 || cx - (double)r > t.w + 1 || y + r < -2 || y - r > t.h + 1) return;
  if (const char* text = MaskText(r, aa))
  {
    const std::vector<unsigned char> m = Hex(text);
    const int side = (int)std::lround(std::sqrt((double)m.size()));
    MaskStored(t, (i64)std::floor(cx - (double)r), (i64)std::floor(y - r), color, m.data(), side, side, side, ia, mode);
    return;
  }
  CircleStored(t, Box{0, 0, t.w, t.h}, cx, y, r, color, ia, mode, aa, false);
}

void FillCircle(LICE_IBitmap* bm, float cx, float cy, float r, LICE_pixel color, float alpha, int mode, bool aa)
{
  const Target t = Of(bm);
  if (!t.ok) return;
  CircleStored(t, Box{0, 0, t.w, t.h}, cx, t.my((double)cy), r, color, Weight(alpha, mode), mode, aa, true);
}

void Arc(LICE_IBitmap* bm, float cx, float cy, float r, float a1, float a2, LICE_pixel color, float alpha, int mode,
         bool aa)
{
  const Target t = Of(bm);
  const int ia = Weight(alpha, mode);
  if (!t.ok || ia == 0 || !(r >= 0) || !std::isfinite(cx) || !std::isfinite(cy) || !std::isfinite(a1) ||
      !std::isfinite(a2))
    return;
  double lo = std::min(a1, a2), hi = std::max(a1, a2);
  if (hi - lo >= (double)6.2831855f)
  {
    Circle(bm, cx, cy, r, color, alpha, mode, aa);
    return;
  }
  const double PI = 3.14159265358979323846, TWO = 2 * PI;
  if (t.flipped)
  {
    const double nl = PI - hi;
    hi = PI - lo;
    lo = nl;
  }
  if (hi >= TWO)
  {
    const double s = hi - std::fmod(hi, TWO);
    lo -= s, hi -= s;
  }
  else if (lo <= -TWO)
  {
    const double s = lo - std::fmod(lo, TWO);
    lo -= s, hi -= s;
  }
  lo += TWO, hi += TWO;
  const double X = cx, Y = t.my((double)cy), R = r;
  if (X + R < -2 || X - R > t.w + 1 || Y + R < -2 || Y - R > t.h + 1) return;
  const i64 icx = (i64)std::floor(X + 0.5), icy = (i64)std::floor(Y + 0.5);
  if (!(lo < hi)) return; // a zero-length arc
  std::vector<double> ends;
  for (i64 q = (i64)std::floor(lo / (PI / 2)) + 1; (double)q * (PI / 2) < hi; ++q) ends.push_back((double)q * (PI / 2));
  ends.push_back(hi);
  double a = lo;
  for (double b : ends)
  {
    const i64 px1 = (i64)std::floor(X + R * std::sin(a) + 0.5), py1 = (i64)std::floor(Y - R * std::cos(a) + 0.5);
    const i64 px2 = (i64)std::floor(X + R * std::sin(b) + 0.5), py2 = (i64)std::floor(Y - R * std::cos(b) + 0.5);
    Box box{std::min(px1, px2), std::min(py1, py2), std::max(px1, px2), std::max(py1, py2)};
    if (box.l != icx) --box.l;
    if (box.r != icx) ++box.r;
    if (box.t != icy) --box.t;
    if (box.b != icy) ++box.b;
    box.r += 1, box.b += 1;
    box.l = std::max<i64>(box.l, 0), box.t = std::max<i64>(box.t, 0);
    box.r = std::min<i64>(box.r, t.w), box.b = std::min<i64>(box.b, t.h);
    CircleStored(t, box, X, Y, R, color, ia, mode, aa, false);
    a = b;
  }
}

void FillTrapezoid(LICE_IBitmap* bm, int x1a, int x1b, int y1, int x2a, int x2b, int y2, LICE_pixel color, float alpha,
                   int mode)
{
  const Target t = Of(bm);
  TrapStored(t, x1a, x1b, t.my((i64)y1), x2a, x2b, t.my((i64)y2), color, Weight(alpha, mode), mode);
}

void FillConvexPolygon(LICE_IBitmap* bm, const int* x, const int* y, int n, LICE_pixel color, float alpha, int mode)
{
  const Target t = Of(bm);
  const int ia = Weight(alpha, mode);
  if (!t.ok || ia == 0 || !x || !y || n < 3) return;
  std::vector<P> p;
  for (int i = 0; i < n; ++i) p.push_back(P{x[i], t.my((i64)y[i])});
  std::sort(p.begin(), p.end(), [](P a, P b) { return a.y < b.y || (a.y == b.y && a.x < b.x); });
  const P top = p.front(), bot = p.back();
  if (top.y == bot.y)
  {
    TrapStored(t, top.x, bot.x, top.y, top.x, bot.x, top.y, color, ia, mode);
    return;
  }
  std::vector<P> left{top}, right{top};
  for (int i = 1; i + 1 < n; ++i)
  {
    const i128 s = (i128)(p[i].x - top.x) * (bot.y - top.y) - (i128)(p[i].y - top.y) * (bot.x - top.x);
    if (s < 0) left.push_back(p[i]);
    if (s > 0) right.push_back(p[i]);
  }
  left.push_back(bot);
  right.push_back(bot);
  std::vector<i64> rows;
  for (const P& q : p)
    if (rows.empty() || rows.back() != q.y) rows.push_back(q.y);
  for (size_t j = 0; j + 1 < rows.size(); ++j)
  {
    const i64 a = j == 0 ? rows[0] : rows[j] + 1, b = rows[j + 1];
    TrapStored(t, ChainX(left, a, true), ChainX(right, a, false), a, ChainX(left, b, true), ChainX(right, b, false), b,
               color, ia, mode);
  }
}

void DrawGlyphEx(LICE_IBitmap* bm, int x, int y, LICE_pixel color, const unsigned char* a, int w, int span, int h,
                 float alpha, int mode)
{
  // glyphs work in logical rows: a target that is never flipped over the same pixels
  Target t = Of(bm);
  if (!t.ok) return;
  const int ia = Weight(alpha, mode);
  for (int j = 0; j < h && a && w > 0; ++j)
    for (int i = 0; i < w; ++i)
    {
      const unsigned char v = span >= 0 ? a[(i64)j * span + i] : a[(i64)(h - 1 - j) * -span + i];
      if (v) Apply(t, (i64)x + i, t.my((i64)y + j), color, (v * ia) / 256, Pen{kOp, mode & 255});
    }
}

void DrawMonoGlyph(LICE_IBitmap* bm, int x, int y, LICE_pixel color, const unsigned char* bits, int w, int span, int h,
                   float alpha, int mode)
{
  Target t = Of(bm);
  if (!t.ok || !bits) return;
  const int ia = Weight(alpha, mode);
  for (int j = 0; j < h; ++j)
  {
    const unsigned char* row = span >= 0 ? bits + (i64)j * span : bits + (i64)(h - 1 - j) * -span;
    for (int i = 0; i < w; ++i)
      if ((row[i / 8] >> (7 - i % 8)) & 1) Apply(t, (i64)x + i, t.my((i64)y + j), color, ia, Pen{kOp, mode & 255});
  }
}
} // namespace refshape
