// paint.h: the artwork generator's drawing surface.
//
// Layers are premultiplied float RGBA: every element is painted "over" what is there with
// an analytic coverage, and the picture is quantised to 8 bits once, at the end, with a
// fixed dither. LICE's straight 8-bit pixels cannot stack translucent shading on a
// transparent sprite without dark fringes, nor keep a slow gradient free of bands; the
// finished layers become LICE bitmaps for blitting and PNG writing.
//
// Coverage comes from signed distances (negative inside) at pixel centres: an edge on a
// whole pixel coordinate gives a crisp step, a curve a one-pixel ramp.
//
// Single-threaded, plain values; nothing here is shared.
#ifndef TORVEN_TOOLS_ARTWORK_PAINT_H
#define TORVEN_TOOLS_ARTWORK_PAINT_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

class LICE_IBitmap;
class LICE_MemBitmap;

namespace artwork
{

constexpr double kPi = 3.14159265358979323846;

// A straight (not premultiplied) colour, channels 0..1.
struct Color
{
  float r = 0, g = 0, b = 0;
};

inline Color Rgb(int r, int g, int b) { return {r / 255.0f, g / 255.0f, b / 255.0f}; }
inline Color Scale(Color c, float k) { return {c.r * k, c.g * k, c.b * k}; }
inline Color Mix(Color a, Color b, float t)
{
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
inline Color Add(Color a, float v) { return {a.r + v, a.g + v, a.b + v}; }

inline float Clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
// Coverage of a pixel whose centre lies at signed distance d from an edge.
inline float Coverage(float d) { return Clamp01(0.5f - d); }
inline float SmoothStep(float e0, float e1, float x)
{
  const float t = Clamp01((x - e0) / (e1 - e0));
  return t * t * (3 - 2 * t);
}

// Signed distances; points and centres in pixel coordinates (a pixel's centre is x + 0.5).
inline float CircleDist(float px, float py, float cx, float cy, float r)
{
  return std::hypot(px - cx, py - cy) - r;
}
inline float RingDist(float px, float py, float cx, float cy, float rin, float rout)
{
  const float m = std::hypot(px - cx, py - cy);
  return std::max(rin - m, m - rout);
}
// A rectangle [x0, x1) x [y0, y1) with rounded corners of radius rad.
float RoundRectDist(float px, float py, float x0, float y0, float x1, float y1, float rad);
// A segment of width w with round ends.
float CapsuleDist(float px, float py, float ax, float ay, float bx, float by, float w);
// The part of the ring rin..rout between angles a0 < a1 (radians clockwise from straight
// up, as everywhere in the editor's art), with square ends.
float ArcDist(float px, float py, float cx, float cy, float rin, float rout, float a0, float a1);

// Angle of (dx, dy) clockwise from straight up, in -pi..pi.
inline float AngleOf(float dx, float dy) { return std::atan2(dx, -dy); }
// The point at angle a and radius r around (cx, cy).
inline void Polar(float cx, float cy, float r, float a, float* x, float* y)
{
  *x = cx + r * std::sin(a);
  *y = cy - r * std::cos(a);
}

// Deterministic noise in -1..1 from integer coordinates and a seed (a hash, so every run and
// every machine sees the same grain).
float Noise(int x, int y, uint32_t seed);

struct PixelBox
{
  int x0, y0, x1, y1; // right and bottom exclusive
};

// A premultiplied float RGBA picture.
class Layer
{
public:
  Layer(int w, int h) : m_w(w), m_h(h), m_px((size_t)w * h * 4, 0.0f) {}

  int Width() const { return m_w; }
  int Height() const { return m_h; }

  // Puts colour c at opacity a over pixel (x, y); outside pixels are ignored.
  void Over(int x, int y, Color c, float a)
  {
    if (x < 0 || y < 0 || x >= m_w || y >= m_h || !(a > 0)) return;
    a = std::min(a, 1.0f);
    float* p = &m_px[((size_t)y * m_w + x) * 4];
    const float k = 1 - a;
    p[0] = c.r * a + p[0] * k;
    p[1] = c.g * a + p[1] * k;
    p[2] = c.b * a + p[2] * k;
    p[3] = a + p[3] * k;
  }

  // Calls shade(px, py, &colour) for each pixel of box (clipped), px and py the pixel centre;
  // the returned opacity goes over the pixel.
  template <class F>
  void Paint(PixelBox box, F shade)
  {
    box.x0 = std::max(box.x0, 0), box.y0 = std::max(box.y0, 0);
    box.x1 = std::min(box.x1, m_w), box.y1 = std::min(box.y1, m_h);
    for (int y = box.y0; y < box.y1; ++y)
      for (int x = box.x0; x < box.x1; ++x)
      {
        Color c;
        const float a = shade(x + 0.5f, y + 0.5f, &c);
        Over(x, y, c, a);
      }
  }

  // Composes another layer over this one with its top-left corner at (x, y).
  void Compose(const Layer& src, int x, int y, float opacity = 1.0f);

  // Straight colour and opacity of a pixel (black and 0 where transparent or outside).
  float AlphaAt(int x, int y) const;
  Color ColorAt(int x, int y) const;

  // A box blur of the given radius, run three times (close to a Gaussian), in place.
  void Blur(int radius);

  // 8-bit ARGB, straight alpha, dithered with seed: the picture's one rounding.
  void ToBitmap(LICE_IBitmap* dest, int dx, int dy, uint32_t seed) const;

private:
  int m_w, m_h;
  std::vector<float> m_px;
};

// A vector for lighting: x right, y down, z toward the viewer.
struct Vec3
{
  float x, y, z;
};
inline Vec3 Normalize(Vec3 v)
{
  const float n = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return {v.x / n, v.y / n, v.z / n};
}
inline float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// The one light of every element: from the top left, fairly high.
inline Vec3 LightDir() { return Normalize({-0.55f, -0.75f, 1.1f}); }

} // namespace artwork

#endif
