#include "paint.h"

#include "WDL/lice/lice.h"

namespace artwork
{

float RoundRectDist(float px, float py, float x0, float y0, float x1, float y1, float rad)
{
  const float cx = (x0 + x1) * 0.5f, cy = (y0 + y1) * 0.5f;
  const float hx = (x1 - x0) * 0.5f - rad, hy = (y1 - y0) * 0.5f - rad;
  const float qx = std::fabs(px - cx) - hx, qy = std::fabs(py - cy) - hy;
  const float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
  return std::hypot(ox, oy) + std::min(std::max(qx, qy), 0.0f) - rad;
}

float CapsuleDist(float px, float py, float ax, float ay, float bx, float by, float w)
{
  const float vx = bx - ax, vy = by - ay;
  const float len2 = vx * vx + vy * vy;
  const float t = len2 > 0 ? Clamp01(((px - ax) * vx + (py - ay) * vy) / len2) : 0.0f;
  return std::hypot(px - (ax + t * vx), py - (ay + t * vy)) - w * 0.5f;
}

float ArcDist(float px, float py, float cx, float cy, float rin, float rout, float a0, float a1)
{
  const float dx = px - cx, dy = py - cy;
  const float m = std::hypot(dx, dy);
  const float ring = std::max(rin - m, m - rout);
  const float a = AngleOf(dx, dy);
  auto wrapped = [](float d) {
    d = std::fabs(d);
    return d > (float)kPi ? 2 * (float)kPi - d : d;
  };
  // Angular distance to the nearer end, as arc length at the point's own radius: close to
  // the distance to the end's radial line wherever coverage is fractional.
  float ends;
  if (a >= a0 && a <= a1) ends = -std::min(a - a0, a1 - a) * m;
  else ends = std::min(wrapped(a - a0), wrapped(a - a1)) * m;
  return std::max(ring, ends);
}

float Noise(int x, int y, uint32_t seed)
{
  uint32_t h = (uint32_t)x * 0x9E3779B1u ^ (uint32_t)y * 0x85EBCA77u ^ seed * 0xC2B2AE3Du;
  h ^= h >> 16;
  h *= 0x7FEB352Du;
  h ^= h >> 15;
  h *= 0x846CA68Bu;
  h ^= h >> 16;
  return (float)(h >> 8) * (2.0f / 16777216.0f) - 1.0f;
}

void Layer::Compose(const Layer& src, int x, int y, float opacity)
{
  for (int sy = 0; sy < src.m_h; ++sy)
  {
    const int dy = y + sy;
    if (dy < 0 || dy >= m_h) continue;
    for (int sx = 0; sx < src.m_w; ++sx)
    {
      const int dx = x + sx;
      if (dx < 0 || dx >= m_w) continue;
      const float* s = &src.m_px[((size_t)sy * src.m_w + sx) * 4];
      float* d = &m_px[((size_t)dy * m_w + dx) * 4];
      const float a = s[3] * opacity;
      const float k = 1 - a;
      for (int c = 0; c < 3; ++c) d[c] = s[c] * opacity + d[c] * k;
      d[3] = a + d[3] * k;
    }
  }
}

float Layer::AlphaAt(int x, int y) const
{
  if (x < 0 || y < 0 || x >= m_w || y >= m_h) return 0;
  return m_px[((size_t)y * m_w + x) * 4 + 3];
}

Color Layer::ColorAt(int x, int y) const
{
  const float a = AlphaAt(x, y);
  if (!(a > 0)) return {};
  const float* p = &m_px[((size_t)y * m_w + x) * 4];
  return {p[0] / a, p[1] / a, p[2] / a};
}

void Layer::Blur(int radius)
{
  if (radius < 1) return;
  std::vector<float> line;
  const float norm = 1.0f / (2 * radius + 1);
  // One pass along rows (step 4 floats) or columns (step 4 * width): a running sum with
  // transparent pixels beyond the edges.
  auto pass = [&](int count, int lines, size_t step, size_t lineStep) {
    line.resize((size_t)count * 4);
    for (int l = 0; l < lines; ++l)
    {
      float* base = &m_px[(size_t)l * lineStep];
      for (int i = 0; i < count; ++i)
        for (int c = 0; c < 4; ++c) line[(size_t)i * 4 + c] = base[i * step + c];
      for (int c = 0; c < 4; ++c)
      {
        float sum = 0;
        for (int i = 0; i < radius && i < count; ++i) sum += line[(size_t)i * 4 + c];
        for (int i = 0; i < count; ++i)
        {
          const int in = i + radius, out = i - radius - 1;
          if (in < count) sum += line[(size_t)in * 4 + c];
          if (out >= 0) sum -= line[(size_t)out * 4 + c];
          base[i * step + c] = std::max(sum * norm, 0.0f);
        }
      }
    }
  };
  for (int n = 0; n < 3; ++n)
  {
    pass(m_w, m_h, 4, (size_t)m_w * 4);
    pass(m_h, m_w, (size_t)m_w * 4, 4);
  }
}

void Layer::ToBitmap(LICE_IBitmap* dest, int dx, int dy, uint32_t seed) const
{
  LICE_pixel* bits = dest->getBits();
  const int span = dest->getRowSpan();
  for (int y = 0; y < m_h; ++y)
  {
    const int ty = dy + y;
    if (ty < 0 || ty >= dest->getHeight()) continue;
    for (int x = 0; x < m_w; ++x)
    {
      const int tx = dx + x;
      if (tx < 0 || tx >= dest->getWidth()) continue;
      const float* p = &m_px[((size_t)y * m_w + x) * 4];
      // Rounding: floor(v * 255 + u) with u uniform in [0, 1) per pixel, so slow gradients
      // dither instead of banding and the mean stays exact.
      const float u = (Noise(x, y, seed) + 1) * 0.5f;
      auto q = [u](float v) {
        const int i = (int)std::floor(Clamp01(v) * 255.0f + u);
        return i > 255 ? 255 : i;
      };
      const float a = Clamp01(p[3]);
      const int qa = q(a);
      LICE_pixel out = 0;
      if (qa > 0) out = LICE_RGBA(q(p[0] / a), q(p[1] / a), q(p[2] / a), qa);
      bits[(size_t)ty * span + tx] = out;
    }
  }
}

} // namespace artwork
