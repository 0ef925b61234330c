// Filled trapezoids, convex polygons, triangles and the areas under cubic Bezier curves.
//
// Trapezoid edges are 16.16 fixed point: each starts at the centre of its first pixel
// (x * 65536 + 32768) and steps by (x2 - x1) * 65536 / (y2 - y1) per row, truncated toward
// zero and limited to +-2^29; the pixel of a row is the edge position >> 16 (floor). Every
// row's span runs from the left to the right edge inclusive.
//
// Polygons: the points sorted by y, then x; the left chain holds the points left of the line
// from the top to the bottom point, the right chain those right of it. Between consecutive
// distinct vertex rows one trapezoid is filled (the first from the top row, each later one from
// the row below the previous band), its corners on the chains by linear interpolation, rounded
// down (not toward zero, so that a polygon moved by whole pixels keeps its shape across
// column 0). Every row is filled once.
#include "WDL/lice/lice.h"
#include "WDL/lice/lice_combine_p.h"
#include "WDL/lice/src/lice_rows_p.h"
#include "WDL/lice/src/lice_shapes_p.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

using namespace lice_detail;

namespace
{
constexpr long long kMaxEdgeStep = 1ll << 29;

// floor(v / 65536)
inline long long FixedFloor(long long v) { return v >= 0 ? v >> 16 : -((-v + 65535) >> 16); }

template <class RUN>
void TrapezoidRowsT(const Canvas& cv, long long y, long long yend, long long lpos, long long rpos, long long ls,
                    long long rs, LICE_pixel c, int ia)
{
  for (; y <= yend; ++y, lpos += ls, rpos += rs)
  {
    long long l = FixedFloor(lpos), r = FixedFloor(rpos);
    if (l < 0) l = 0;
    if (r >= cv.w) r = cv.w - 1;
    if (l <= r) RUN::Run(cv.at(l, y), 1, r - l + 1, c, ia);
  }
}

struct Pt
{
  long long x, y;
};

// A chain of vertices in row order, read at rows that never decrease.
class Chain
{
public:
  Chain(const Pt* v, int n, bool left) : m_v(v), m_n(n), m_left(left) {}
  long long at(long long y)
  {
    while (m_i + 2 < m_n && m_v[m_i + 1].y < y) ++m_i;
    const Pt &a = m_v[m_i], &b = m_v[m_i + 1];
    if (a.y == y || b.y == y)
    {
      // vertices on this row: the outermost one
      long long x = m_left ? b.x : a.x;
      bool any = false;
      for (int j = m_i; j < m_n && m_v[j].y <= y; ++j)
        if (m_v[j].y == y)
        {
          x = !any ? m_v[j].x : (m_left ? std::min(x, m_v[j].x) : std::max(x, m_v[j].x));
          any = true;
        }
      return x;
    }
    return FloorLL((double)a.x + (double)(b.x - a.x) * (double)(y - a.y) / (double)(b.y - a.y));
  }

private:
  const Pt* m_v;
  int m_n;
  bool m_left;
  int m_i = 0;
};
} // namespace

namespace lice_detail
{
void FillTrapezoidStored(const Canvas& cv, long long x1a, long long x1b, long long y1, long long x2a, long long x2b,
                         long long y2, LICE_pixel color, int ia, int mode)
{
  if (!cv.ok() || ia == 0) return;
  if (y1 > y2)
  {
    std::swap(x1a, x2a);
    std::swap(x1b, x2b);
    std::swap(y1, y2);
  }
  if (x1a > x1b) std::swap(x1a, x1b);
  if (x2a > x2b) std::swap(x2a, x2b);
  if (y2 < 0 || y1 >= cv.h) return;
  const long long n = y2 - y1;
  auto step = [n](long long a, long long b) {
    if (n == 0) return 0ll;
    const long long s = (b - a) * 65536 / n;
    return std::max(-kMaxEdgeStep, std::min(kMaxEdgeStep, s));
  };
  const long long ls = step(x1a, x2a), rs = step(x1b, x2b);
  long long lpos = x1a * 65536 + 32768, rpos = x1b * 65536 + 32768, y = y1;
  if (y < 0)
  {
    lpos += -y * ls;
    rpos += -y * rs;
    y = 0;
  }
  const long long yend = std::min(y2, (long long)cv.h - 1);
  WithFillRun(mode, ia, [&](auto tag) {
    TrapezoidRowsT<typename decltype(tag)::type>(cv, y, yend, lpos, rpos, ls, rs, color, ia);
  });
}
} // namespace lice_detail

void LICE_FillTrapezoid(LICE_IBitmap* dest, int x1a, int x1b, int y1, int x2a, int x2b, int y2, LICE_pixel color,
                        float alpha, int mode)
{
  const Canvas cv = StoredCanvas(dest);
  FillTrapezoidStored(cv, x1a, x1b, cv.mirror((long long)y1), x2a, x2b, cv.mirror((long long)y2), color,
                      ShapeWeight(alpha, mode), mode);
}

void LICE_FillConvexPolygon(LICE_IBitmap* dest, const int* x, const int* y, int npoints, LICE_pixel color,
                            float alpha, int mode)
{
  if (!x || !y || npoints < 3) return;
  const Canvas cv = StoredCanvas(dest);
  const int ia = ShapeWeight(alpha, mode);
  if (!cv.ok() || ia == 0) return;

  // the sorted points, then room for the two chains (each at most npoints long)
  Pt stackPts[3 * 512];
  std::unique_ptr<Pt[]> heapPts;
  Pt* pts = stackPts;
  if (npoints > 512)
  {
    heapPts.reset(new (std::nothrow) Pt[(size_t)npoints * 3]);
    if (!heapPts) return;
    pts = heapPts.get();
  }
  Pt* left = pts + npoints;
  Pt* right = left + npoints;
  for (int i = 0; i < npoints; ++i) pts[i] = Pt{x[i], cv.mirror((long long)y[i])};
  std::sort(pts, pts + npoints, [](const Pt& a, const Pt& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
  const Pt top = pts[0], bot = pts[npoints - 1];
  if (top.y == bot.y)
  {
    FillTrapezoidStored(cv, top.x, bot.x, top.y, top.x, bot.x, top.y, color, ia, mode);
    return;
  }

  // Points on the line from top to bottom join neither chain.
  int nl = 0, nr = 0;
  left[nl++] = top;
  right[nr++] = top;
  for (int i = 1; i < npoints - 1; ++i)
  {
    const __int128 side =
        (__int128)(pts[i].x - top.x) * (bot.y - top.y) - (__int128)(pts[i].y - top.y) * (bot.x - top.x);
    if (side < 0)
      left[nl++] = pts[i];
    else if (side > 0)
      right[nr++] = pts[i];
  }
  left[nl++] = bot;
  right[nr++] = bot;

  Chain lc(left, nl, true), rc(right, nr, false);
  long long prev = top.y;
  bool first = true;
  for (int i = 1; i < npoints; ++i)
  {
    if (pts[i].y == prev) continue;
    const long long t = first ? prev : prev + 1, b = pts[i].y;
    const long long xl1 = lc.at(t), xr1 = rc.at(t), xl2 = lc.at(b), xr2 = rc.at(b);
    FillTrapezoidStored(cv, xl1, xr1, t, xl2, xr2, b, color, ia, mode);
    prev = b;
    first = false;
  }
}

void LICE_FillTriangle(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int x3, int y3, LICE_pixel color,
                       float alpha, int mode)
{
  const int x[3] = {x1, x2, x3}, y[3] = {y1, y2, y3};
  LICE_FillConvexPolygon(dest, x, y, 3, color, alpha, mode);
}

// ---------------------------------------------------------------------------------------
// Areas under cubic curves. The curve is taken as a function of x (of y for the X form):
// each column (row) of the bitmap between the end points finds the curve's parameter by
// eight halvings of [0, 1], then interpolates linearly over the remaining 1/256, and fills
// from the curve's pixel (rounded) to the fill line, both inclusive. The tolerance plays no
// part: the curve is found exactly enough for every column.

namespace
{
struct Cubic
{
  double p[4], q[4]; // walked coordinate, other coordinate
  double at(const double* c, double t) const
  {
    const double u = 1.0 - t;
    return u * u * u * c[0] + 3 * u * u * t * c[1] + 3 * u * t * t * c[2] + t * t * t * c[3];
  }
  // the other coordinate where the walked one equals v
  double solve(double v) const
  {
    const bool rising = p[3] >= p[0];
    double lo = 0.0, hi = 1.0;
    for (int i = 0; i < 8; ++i)
    {
      const double mid = 0.5 * (lo + hi);
      if ((at(p, mid) < v) == rising)
        lo = mid;
      else
        hi = mid;
    }
    const double t1 = lo + 1.0 / 256.0;
    const double a0 = at(p, lo), a1 = at(p, t1), b0 = at(q, lo), b1 = at(q, t1);
    return a1 == a0 ? b0 : b0 + (v - a0) * (b1 - b0) / (a1 - a0);
  }
};

// walkX: the walked coordinate is x and the runs are vertical (towards y = fill).
void FillUnderCubic(LICE_IBitmap* dest, const float* xs, const float* ys, int fill, bool walkX, LICE_pixel color,
                    float alpha, int mode)
{
  const Canvas cv = StoredCanvas(dest);
  const int ia = ShapeWeight(alpha, mode);
  if (!cv.ok() || ia == 0) return;
  Cubic k;
  for (int i = 0; i < 4; ++i)
  {
    const double X = xs[i], Y = cv.mirror((double)ys[i]);
    if (!Finite(X) || !Finite(Y)) return;
    k.p[i] = walkX ? X : Y;
    k.q[i] = walkX ? Y : X;
  }
  const long long f = walkX ? cv.mirror((long long)fill) : fill;
  const long long limit = walkX ? cv.w : cv.h, across = walkX ? cv.h : cv.w;
  const double lo = std::max(std::ceil(std::min(k.p[0], k.p[3])), 0.0);
  const double hi = std::min(std::floor(std::max(k.p[0], k.p[3])), (double)limit - 1.0);
  for (long long v = (long long)lo; (double)v <= hi; ++v)
  {
    const double o = k.solve((double)v);
    // beyond the bitmap the run only has to reach its border
    const long long oc = o < -1.0 ? -1 : (o > (double)across ? across : FloorLL(o + 0.5));
    const long long a = std::min(oc, f), b = std::max(oc, f);
    if (walkX)
      FillTrapezoidStored(cv, v, v, a, v, v, b, color, ia, mode);
    else
      FillTrapezoidStored(cv, a, b, v, a, b, v, color, ia, mode);
  }
}
} // namespace

void LICE_FillCBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1, float xctl2,
                      float yctl2, float xend, float yend, int yfill, LICE_pixel color, float alpha, int mode,
                      float tol)
{
  (void)tol;
  const float xs[4] = {xstart, xctl1, xctl2, xend}, ys[4] = {ystart, yctl1, yctl2, yend};
  FillUnderCubic(dest, xs, ys, yfill, true, color, alpha, mode);
}

void LICE_FillCBezierX(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1, float xctl2,
                       float yctl2, float xend, float yend, int xfill, LICE_pixel color, float alpha, int mode,
                       float tol)
{
  (void)tol;
  const float xs[4] = {xstart, xctl1, xctl2, xend}, ys[4] = {ystart, yctl1, yctl2, yend};
  FillUnderCubic(dest, xs, ys, xfill, false, color, alpha, mode);
}
