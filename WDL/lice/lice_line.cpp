// Lines: clipping, plain and anti-aliased integer lines, float lines, dashed lines,
// rectangles, rounded rectangles and Bezier curves.
//
// Rounding rules of the integer line (all in stored coordinates, after clipping):
//  * Clipping moves an outside end point onto the crossing with the first violated edge
//    (below, above, right, left), the crossing taken at y = h, y = 0, x = w or x = 0 in double
//    precision and truncated toward zero; a point moved to y = h or x = w then takes the last
//    row or column. 32 rounds at most, then the line is rejected.
//  * slope = (int)(minor / major * 65536), 16.16. The line is walked from both ends at once,
//    so it is symmetric about its middle and each end point is exact.
//  * Plain: the minor coordinate steps when the error (0, +slope per step) reaches one half.
//    Anti-aliased: the end points at full weight; pixel k inside carries the error
//    e = (k * slope mod 65536) >> 8 and splits the weight ((255 - e) * ia) >> 8 on the line,
//    (e * ia) >> 8 on its neighbour one minor step further.
#include "WDL/lice/lice.h"
#include "WDL/lice/lice_combine_p.h"
#include "WDL/lice/src/lice_rows_p.h"
#include "WDL/lice/src/lice_shapes_p.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <initializer_list>

using namespace lice_detail;

namespace
{
template <class T>
int OutCode(T x, T y, T w, T h)
{
  int c = 0;
  if (x < 0)
    c |= 1;
  else if (x >= w)
    c |= 2;
  if (y < 0)
    c |= 4;
  else if (y >= h)
    c |= 8;
  return c;
}

// One Cohen-Sutherland clipper for both coordinate types; CONV turns a crossing into a
// coordinate (truncation for integers, none for floats).
template <class T, class CONV>
bool ClipCS(T& x1, T& y1, T& x2, T& y2, T w, T h, CONV conv)
{
  if (!(w > 0) || !(h > 0)) return false;
  int c1 = OutCode(x1, y1, w, h), c2 = OutCode(x2, y2, w, h);
  for (int round = 0; round < 32; ++round)
  {
    if (!(c1 | c2)) return true;
    if (c1 & c2) return false;
    const bool first = c1 != 0;
    const int c = first ? c1 : c2;
    T& px = first ? x1 : x2;
    T& py = first ? y1 : y2;
    const double X1 = (double)x1, Y1 = (double)y1, DX = (double)x2 - X1, DY = (double)y2 - Y1;
    if (c & 8)
    {
      px = conv(X1 + DX * ((double)h - Y1) / DY);
      py = h - 1;
    }
    else if (c & 4)
    {
      px = conv(X1 + DX * (0.0 - Y1) / DY);
      py = 0;
    }
    else if (c & 2)
    {
      py = conv(Y1 + DY * ((double)w - X1) / DX);
      px = w - 1;
    }
    else
    {
      py = conv(Y1 + DY * (0.0 - X1) / DX);
      px = 0;
    }
    (first ? c1 : c2) = OutCode(px, py, w, h);
  }
  return false;
}

// A crossing lies between two coordinates that fit 64 bits, so the cast is defined.
long long TruncLL(double v) { return (long long)v; }
double Same(double v) { return v; }

// Diagonal: n + 1 pixels, each step moving by dstep; sx and sy are the two half steps.
template <class COMB>
void DiagonalT(LICE_pixel* p, std::ptrdiff_t sx, std::ptrdiff_t sy, long long n, LICE_pixel c, int ia, bool aa)
{
  const std::ptrdiff_t d = sx + sy;
  if (!aa)
  {
    for (long long k = 0; k <= n; ++k, p += d) Put<COMB>(p, c, ia);
    return;
  }
  const int wd = (3 * ia) / 4, ws = ia / 4;
  for (long long k = 0; k <= n; ++k, p += d)
  {
    PutW<COMB>(p, c, wd);
    if (k < n)
    {
      PutW<COMB>(p + sx, c, ws);
      PutW<COMB>(p + sy, c, ws);
    }
  }
}

// Copy at alpha 1.0 with aa: three-quarter mix on the diagonal, quarter mix beside it.
void DiagonalFastAA(LICE_pixel* p, std::ptrdiff_t sx, std::ptrdiff_t sy, long long n, LICE_pixel c)
{
  const LICE_pixel c3 = _LICE_CombinePixelsThreeQuarterMix2FAST::prep(c), c1 = _LICE_CombinePixelsQuarterMix2FAST::prep(c);
  for (long long k = 0; k <= n; ++k, p += sx + sy)
  {
    _LICE_CombinePixelsThreeQuarterMix2FAST::doPixFAST(p, c3);
    if (k < n)
    {
      _LICE_CombinePixelsQuarterMix2FAST::doPixFAST(p + sx, c1);
      _LICE_CombinePixelsQuarterMix2FAST::doPixFAST(p + sy, c1);
    }
  }
}

// General line from p to q: n major steps of dmaj, minor steps of dmin, 16.16 slope.
template <class COMB>
void BresenhamT(LICE_pixel* p, LICE_pixel* q, std::ptrdiff_t dmaj, std::ptrdiff_t dmin, long long n, int slope,
                LICE_pixel c, int ia)
{
  int err = 0;
  for (long long i = (n + 1) / 2; i > 0; --i)
  {
    Put<COMB>(p, c, ia);
    Put<COMB>(q, c, ia);
    p += dmaj;
    q -= dmaj;
    err += slope;
    if (err >= 32768)
    {
      p += dmin;
      q -= dmin;
      err -= 65536;
    }
  }
  if (!(n & 1)) Put<COMB>(p, c, ia);
}

template <class COMB>
void WuT(LICE_pixel* p, LICE_pixel* q, std::ptrdiff_t dmaj, std::ptrdiff_t dmin, long long n, int slope, LICE_pixel c,
         int ia)
{
  Put<COMB>(p, c, ia);
  Put<COMB>(q, c, ia);
  p += dmaj;
  q -= dmaj;
  int err = slope;
  for (long long i = (n + 1) / 2 - 1; i > 0; --i)
  {
    const int e = err >> 8, w1 = ((255 - e) * ia) >> 8, w2 = (e * ia) >> 8;
    PutW<COMB>(p, c, w1);
    PutW<COMB>(p + dmin, c, w2);
    PutW<COMB>(q, c, w1);
    PutW<COMB>(q - dmin, c, w2);
    p += dmaj;
    q -= dmaj;
    err += slope;
    if (err >= 65536)
    {
      p += dmin;
      q -= dmin;
      err -= 65536;
    }
  }
  if (!(n & 1))
  {
    const int e = err >> 8;
    PutW<COMB>(p, c, ((255 - e) * ia) >> 8);
    PutW<COMB>(p + dmin, c, (e * ia) >> 8);
  }
}

// Anti-aliased float line, already clipped: walk the major axis from ceil(start) to
// floor(end); the minor position is an integer pixel plus a 16.16 fraction f, and e = f >> 8
// splits the weight between the pixel and the next one along the minor axis.
template <class COMB>
void FLineAAT(const Canvas& cv, double x1, double y1, double x2, double y2, LICE_pixel c, int ia)
{
  const bool xmajor = std::fabs(x2 - x1) >= std::fabs(y2 - y1);
  double a1 = xmajor ? x1 : y1, b1 = xmajor ? y1 : x1, a2 = xmajor ? x2 : y2, b2 = xmajor ? y2 : x2;
  if (a1 > a2)
  {
    std::swap(a1, a2);
    std::swap(b1, b2);
  }
  const long long start = (long long)std::ceil(a1), end = (long long)std::floor(a2);
  if (start > end) return;
  const double slope = (b2 - b1) / (a2 - a1);
  const double m = b1 + ((double)start - a1) * slope;
  long long mi = (long long)std::floor(m);
  int frac = (int)((m - (double)mi) * 65536.0);
  const int islope = (int)(slope * 65536.0);
  const long long minorLimit = xmajor ? cv.h : cv.w;
  for (long long a = start; a <= end; ++a)
  {
    const int e = frac >> 8;
    const int w1 = ((255 - e) * ia) >> 8, w2 = (e * ia) >> 8;
    for (int k = 0; k < 2; ++k)
    {
      const long long mm = mi + k;
      if (mm < 0 || mm >= minorLimit) continue;
      PutW<COMB>(xmajor ? cv.at(a, mm) : cv.at(mm, a), c, k ? w2 : w1);
    }
    frac += islope;
    if (frac >= 65536)
    {
      frac -= 65536;
      ++mi;
    }
    else if (frac < 0)
    {
      frac += 65536;
      --mi;
    }
  }
}

// float -> int for the truncating forms; the caller has made sure v is finite and small.
int TruncInt(double v)
{
  if (v >= 2147483647.0) return INT_MAX;
  if (v <= -2147483648.0) return INT_MIN;
  return (int)v;
}

bool AllFinite(std::initializer_list<double> vs)
{
  for (double v : vs)
    if (!std::isfinite(v)) return false;
  return true;
}
} // namespace

namespace lice_detail
{
bool ClipLineToSize(long long& x1, long long& y1, long long& x2, long long& y2, long long w, long long h)
{
  return ClipCS<long long>(x1, y1, x2, y2, w, h, TruncLL);
}

bool ClipFLineToSize(double& x1, double& y1, double& x2, double& y2, double w, double h)
{
  if (!AllFinite({x1, y1, x2, y2, w, h})) return false;
  return ClipCS<double>(x1, y1, x2, y2, w, h, Same);
}

void DrawLineStored(const Canvas& cv, long long x1, long long y1, long long x2, long long y2, LICE_pixel color,
                    float alpha, int mode, bool aa)
{
  const int ia = ShapeWeight(alpha, mode);
  if (!cv.ok() || ia == 0) return;
  if (!ClipLineToSize(x1, y1, x2, y2, cv.w, cv.h)) return;

  if (y1 == y2 || x1 == x2)
  {
    const bool horiz = y1 == y2;
    const long long lo = horiz ? std::min(x1, x2) : std::min(y1, y2);
    const long long n = (horiz ? std::max(x1, x2) : std::max(y1, y2)) - lo + 1;
    LICE_pixel* p = horiz ? cv.at(lo, y1) : cv.at(x1, lo);
    const std::ptrdiff_t step = horiz ? 1 : cv.stride;
    WithLineSpanRun(alpha, mode, ia, [&](auto tag) { decltype(tag)::type::Run(p, step, n, color, ia); });
    return;
  }

  const long long dx = x2 - x1, dy = y2 - y1, adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  const std::ptrdiff_t sx = dx > 0 ? 1 : -1, sy = dy > 0 ? cv.stride : -cv.stride;
  LICE_pixel* p = cv.at(x1, y1);
  if (adx == ady)
  {
    if ((mode & LICE_MODE_MASK) == LICE_MODE_COPY && alpha == 1.0f)
    {
      if (aa)
        DiagonalFastAA(p, sx, sy, adx, color);
      else
        DiagonalT<_LICE_CombinePixelsClobberNoClamp>(p, sx, sy, adx, color, ia, false);
      return;
    }
    WithShapeClass(mode, ia, !aa, [&](auto tag) { DiagonalT<typename decltype(tag)::type>(p, sx, sy, adx, color, ia, aa); });
    return;
  }

  const bool xmajor = adx > ady;
  const long long n = xmajor ? adx : ady, minor = xmajor ? ady : adx;
  const int slope = (int)((double)minor / (double)n * 65536.0);
  const std::ptrdiff_t dmaj = xmajor ? sx : sy, dmin = xmajor ? sy : sx;
  LICE_pixel* q = cv.at(x2, y2);
  WithShapeClass(mode, ia, !aa, [&](auto tag) {
    typedef typename decltype(tag)::type C;
    if (aa)
      WuT<C>(p, q, dmaj, dmin, n, slope, color, ia);
    else
      BresenhamT<C>(p, q, dmaj, dmin, n, slope, color, ia);
  });
}
} // namespace lice_detail

// ---------------------------------------------------------------------------------------

bool LICE_ClipLine(int* x1, int* y1, int* x2, int* y2, int xlo, int ylo, int xhi, int yhi)
{
  if (!x1 || !y1 || !x2 || !y2) return false;
  long long a = (long long)*x1 - xlo, b = (long long)*y1 - ylo, c = (long long)*x2 - xlo, d = (long long)*y2 - ylo;
  if (!ClipLineToSize(a, b, c, d, (long long)xhi - xlo, (long long)yhi - ylo)) return false;
  *x1 = (int)(a + xlo);
  *y1 = (int)(b + ylo);
  *x2 = (int)(c + xlo);
  *y2 = (int)(d + ylo);
  return true;
}

bool LICE_ClipFLine(float* x1, float* y1, float* x2, float* y2, float xlo, float ylo, float xhi, float yhi)
{
  if (!x1 || !y1 || !x2 || !y2) return false;
  if (!AllFinite({*x1, *y1, *x2, *y2, xlo, ylo, xhi, yhi})) return false;
  double a = (double)*x1 - xlo, b = (double)*y1 - ylo, c = (double)*x2 - xlo, d = (double)*y2 - ylo;
  if (!ClipFLineToSize(a, b, c, d, (double)xhi - xlo, (double)yhi - ylo)) return false;
  *x1 = (float)(a + xlo);
  *y1 = (float)(b + ylo);
  *x2 = (float)(c + xlo);
  *y2 = (float)(d + ylo);
  return true;
}

void LICE_Line(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, LICE_pixel color, float alpha, int mode, bool aa)
{
  const Canvas cv = StoredCanvas(dest);
  DrawLineStored(cv, x1, cv.mirror((long long)y1), x2, cv.mirror((long long)y2), color, alpha, mode, aa);
}

void LICE_FLine(LICE_IBitmap* dest, float x1, float y1, float x2, float y2, LICE_pixel color, float alpha, int mode,
                bool aa)
{
  if (!AllFinite({x1, y1, x2, y2})) return;
  const Canvas cv = StoredCanvas(dest);
  const int ia = ShapeWeight(alpha, mode);
  if (!cv.ok() || ia == 0) return;
  if (!aa)
  {
    // Coordinates beyond +-2^30 are first clipped to that box (which holds every bitmap)
    // so that truncating them to int stays defined; the line keeps its direction.
    double a = x1, b = y1, c = x2, d = y2;
    const double big = 1073741824.0;
    if (std::fabs(a) > big || std::fabs(b) > big || std::fabs(c) > big || std::fabs(d) > big)
    {
      a += big, b += big, c += big, d += big;
      if (!ClipFLineToSize(a, b, c, d, 2 * big, 2 * big)) return;
      a -= big, b -= big, c -= big, d -= big;
    }
    DrawLineStored(cv, TruncInt(a), cv.mirror((long long)TruncInt(b)), TruncInt(c), cv.mirror((long long)TruncInt(d)),
                   color, alpha, mode, false);
    return;
  }
  double a = x1, b = cv.mirror((double)y1), c = x2, d = cv.mirror((double)y2);
  if (!ClipFLineToSize(a, b, c, d, cv.w, cv.h)) return;
  if (a == c && b == d) return;
  WithShapeClass(mode, ia, false, [&](auto tag) { FLineAAT<typename decltype(tag)::type>(cv, a, b, c, d, color, ia); });
}

void LICE_DashedLine(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int pxon, int pxoff, LICE_pixel color,
                     float alpha, int mode, bool aa)
{
  (void)aa; // dashes are axis-aligned: nothing to smooth
  const Canvas cv = StoredCanvas(dest);
  const int ia = ShapeWeight(alpha, mode);
  if (!cv.ok() || ia == 0 || pxon < 1) return;
  if (pxoff < 0) pxoff = 0;
  const long long Y1 = cv.mirror((long long)y1), Y2 = cv.mirror((long long)y2);
  const bool horiz = Y1 == Y2;
  if (!horiz && x1 != x2) return;
  const long long fixed = horiz ? Y1 : x1, fixedLimit = horiz ? cv.h : cv.w, limit = horiz ? cv.w : cv.h;
  if (fixed < 0 || fixed >= fixedLimit) return;
  long long lo = horiz ? std::min<long long>(x1, x2) : std::min(Y1, Y2);
  long long hi = horiz ? std::max<long long>(x1, x2) : std::max(Y1, Y2); // the far end, never drawn
  const long long period = (long long)pxon + pxoff;
  if (lo < 0) lo += (-lo) / period * period; // whole periods left of the bitmap draw nothing
  if (hi > limit) hi = limit;
  const std::ptrdiff_t step = horiz ? 1 : cv.stride;
  WithLineSpanRun(alpha, mode, ia, [&](auto tag) {
    for (long long s = lo; s < hi; s += period)
    {
      const long long a = std::max(s, 0ll), b = std::min(s + pxon, hi);
      if (a < b) decltype(tag)::type::Run(horiz ? cv.at(a, fixed) : cv.at(fixed, a), step, b - a, color, ia);
    }
  });
}

void LICE_DrawRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel color, float alpha, int mode)
{
  const Canvas cv = StoredCanvas(dest);
  const long long x0 = x, x1 = (long long)x + w, y0 = cv.mirror((long long)y), y1 = cv.mirror((long long)y + h);
  DrawLineStored(cv, x0, y0, x1, y0, color, alpha, mode, false);
  DrawLineStored(cv, x1, y0, x1, y1, color, alpha, mode, false);
  DrawLineStored(cv, x1, y1, x0, y1, color, alpha, mode, false);
  DrawLineStored(cv, x0, y1, x0, y0, color, alpha, mode, false);
}

void LICE_BorderedRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel bgcolor, LICE_pixel fgcolor,
                       float alpha, int mode)
{
  auto sat = [](long long v) { return (int)(v > INT_MAX ? INT_MAX : (v < INT_MIN ? INT_MIN : v)); };
  // only the operation counts here: the source-alpha flag would rescale the fill
  LICE_FillRect(dest, sat((long long)x + 1), sat((long long)y + 1), sat((long long)w - 1), sat((long long)h - 1),
                bgcolor, alpha, mode & LICE_MODE_MASK);
  LICE_DrawRect(dest, x, y, w, h, fgcolor, alpha, mode);
}

void LICE_RoundRect(LICE_IBitmap* dest, float x, float y, float w, float h, int cornerradius, LICE_pixel color,
                    float alpha, int mode, bool aa)
{
  if (!AllFinite({x, y, w, h})) return;
  const double X = x, Y = y, W = w, H = h;
  const double r = std::floor(std::min({(double)cornerradius, W / 2, H / 2}));
  if (cornerradius <= 0 || r < 2)
  {
    LICE_DrawRect(dest, TruncInt(X), TruncInt(Y), TruncInt(W), TruncInt(H), color, alpha, mode);
    return;
  }
  LICE_Line(dest, TruncInt(X + r), TruncInt(Y), TruncInt(X + W - r), TruncInt(Y), color, alpha, mode, aa);
  LICE_Line(dest, TruncInt(X + r - 1), TruncInt(Y + H), TruncInt(X + W - r), TruncInt(Y + H), color, alpha, mode, aa);
  LICE_Line(dest, TruncInt(X + W), TruncInt(Y + r), TruncInt(X + W), TruncInt(Y + H - r), color, alpha, mode, aa);
  LICE_Line(dest, TruncInt(X), TruncInt(Y + r - 1), TruncInt(X), TruncInt(Y + H - r), color, alpha, mode, aa);
  const float pi = 3.14159265358979f, R = (float)r;
  LICE_Arc(dest, (float)(X + r), (float)(Y + r), R, -pi / 2, 0.0f, color, alpha, mode, aa);
  LICE_Arc(dest, (float)(X + W - r), (float)(Y + r), R, 0.0f, pi / 2, color, alpha, mode, aa);
  LICE_Arc(dest, (float)(X + W - r), (float)(Y + H - r), R, pi / 2, pi, color, alpha, mode, aa);
  LICE_Arc(dest, (float)(X + r), (float)(Y + H - r), R, pi, 3 * pi / 2, color, alpha, mode, aa);
}

// ---------------------------------------------------------------------------------------
// Bezier curves
//
// Flattening: n uniform segments. A curve whose second derivative is bounded by M departs
// from its chords by at most M / (8 n^2), so n = ceil(sqrt(M / (8 tol))), with
// M = 2 |P0 - 2 P1 + P2| for the quadratic and 6 max(|P0 - 2 P1 + P2|, |P1 - 2 P2 + P3|)
// for the cubic. n never exceeds the control polygon's length + 1 (no segment shorter than
// a pixel on average) nor 1024.

namespace
{
int SegmentCount(double M, double extent, float tol)
{
  const double t = (tol > 0.0f && std::isfinite(tol)) ? tol : 0.5;
  double n = std::ceil(std::sqrt(M / (8.0 * t)));
  n = std::min({n, std::floor(extent) + 1.0, 1024.0});
  return n < 1.0 ? 1 : (int)n;
}
} // namespace

void LICE_DrawQBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl, float yctl, float xend, float yend,
                      LICE_pixel color, float alpha, int mode, bool aa, float tol)
{
  if (!AllFinite({xstart, ystart, xctl, yctl, xend, yend})) return;
  const double ax = xstart - 2.0 * xctl + xend, ay = ystart - 2.0 * yctl + yend;
  const double extent = std::hypot(xctl - (double)xstart, yctl - (double)ystart) + std::hypot(xend - (double)xctl, yend - (double)yctl);
  const int n = SegmentCount(2.0 * std::hypot(ax, ay), extent, tol);
  double px = xstart, py = ystart;
  for (int i = 1; i <= n; ++i)
  {
    const double t = (double)i / n, u = 1.0 - t;
    const double qx = u * u * xstart + 2 * u * t * xctl + t * t * xend, qy = u * u * ystart + 2 * u * t * yctl + t * t * yend;
    LICE_FLine(dest, (float)px, (float)py, (float)qx, (float)qy, color, alpha, mode, aa);
    px = qx;
    py = qy;
  }
}

void LICE_DrawCBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1, float xctl2,
                      float yctl2, float xend, float yend, LICE_pixel color, float alpha, int mode, bool aa, float tol)
{
  if (!AllFinite({xstart, ystart, xctl1, yctl1, xctl2, yctl2, xend, yend})) return;
  const double d1 = std::hypot(xstart - 2.0 * xctl1 + xctl2, ystart - 2.0 * yctl1 + yctl2);
  const double d2 = std::hypot(xctl1 - 2.0 * xctl2 + xend, yctl1 - 2.0 * yctl2 + yend);
  const double extent = std::hypot(xctl1 - (double)xstart, yctl1 - (double)ystart) +
                        std::hypot(xctl2 - (double)xctl1, yctl2 - (double)yctl1) +
                        std::hypot(xend - (double)xctl2, yend - (double)yctl2);
  const int n = SegmentCount(6.0 * std::max(d1, d2), extent, tol);
  double px = xstart, py = ystart;
  for (int i = 1; i <= n; ++i)
  {
    const double t = (double)i / n, u = 1.0 - t;
    const double b0 = u * u * u, b1 = 3 * u * u * t, b2 = 3 * u * t * t, b3 = t * t * t;
    const double qx = b0 * xstart + b1 * xctl1 + b2 * xctl2 + b3 * xend;
    const double qy = b0 * ystart + b1 * yctl1 + b2 * yctl2 + b3 * yend;
    LICE_FLine(dest, (float)px, (float)py, (float)qx, (float)qy, color, alpha, mode, aa);
    px = qx;
    py = qy;
  }
}
