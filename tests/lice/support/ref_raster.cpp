#include "ref_raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <vector>

namespace ref
{
namespace
{
typedef long long i64;

int Clamp(int x) { return x < 0 ? 0 : x > 255 ? 255 : x; }
int Chan(LICE_pixel p, int k) { return (int)((p >> (8 * k)) & 255); } // k: 0 b, 1 g, 2 r, 3 a

LICE_pixel Pack(const int c[4], bool clamp)
{
  LICE_pixel out = 0;
  for (int k = 0; k < 4; ++k) out |= (LICE_pixel)((clamp ? Clamp(c[k]) : c[k]) & 255) << (8 * k);
  return out;
}

// alpha -> weight: truncate(alpha * 256), limited to +-4096
int Weight(float alpha)
{
  const double v = (double)alpha * 256.0;
  if (v != v) return 0;
  if (v > 4096) return 4096;
  if (v < -4096) return -4096;
  return (int)v;
}

// copy weights above full strength are limited to 256
int CopyWeight(float alpha, int mode)
{
  const int ia = Weight(alpha);
  return (mode & 0xff) == 0 && ia > 256 ? 256 : ia;
}

int DodgeOne(int d, int c, int ia)
{
  const int k = 256 - c * ia / 256;
  if (k >= 2) return Clamp(d * 256 / k);
  return Clamp(d * 256);
}
int MulOne(int d, int c, int ia) { return ((c * ia + (256 - ia) * 256) * d) >> 16; }
int OverlayOne(int d, int c, int ia)
{
  const int s = c * ia + (256 - ia) * 128;
  return Clamp(((((32768 - s) * d) / 256 + s) * d) >> 15);
}

LICE_pixel Hsv(LICE_pixel dst, int r, int g, int b, int a, int ia)
{
  static unsigned short inv[256];
  if (!inv[1])
    for (int i = 1; i < 256; ++i) inv[i] = (unsigned short)(65536 / i - 1);
  const int R = Chan(dst, 2), G = Chan(dst, 1), B = Chan(dst, 0);
  int mx, mn, num, base;
  if (R < G && G > B)
  {
    mx = G, mn = std::min(R, B), num = B - R, base = 128;
  }
  else if (R < G)
  {
    mx = B, mn = std::min(R, G), num = R - G, base = 256;
  }
  else if (B < R)
  {
    mx = R, mn = std::min(G, B), num = G - B, base = G < B ? 383 : 0;
  }
  else
  {
    mx = B, mn = G, num = R - G, base = 256;
  }
  int hue = base + num * (inv[mx - mn] + 1) / 1024;
  int sat = (mx - mn) * inv[mx] / 256;
  int val = mx;
  hue += (r + r / 2 - 192) * ia / 256;
  hue = ((hue % 384) + 384) % 384;
  sat = Clamp(sat + (g - 128) * ia / 128);
  val = Clamp(val + (b - 128) * ia / 128);
  const int p = (256 - sat) * val / 256;
  auto q = [&](int f) { return (16384 - f * sat) * val / 16384; };
  int o[4];
  o[3] = a;
  if (hue < 64)
    o[2] = val, o[1] = q(64 - hue), o[0] = p;
  else if (hue < 128)
    o[2] = q(hue - 64), o[1] = val, o[0] = p;
  else if (hue < 192)
    o[2] = p, o[1] = val, o[0] = q(192 - hue);
  else if (hue < 256)
    o[2] = p, o[1] = q(hue - 192), o[0] = val;
  else if (hue < 320)
    o[2] = q(320 - hue), o[1] = p, o[0] = val;
  else
    o[2] = val, o[1] = p, o[0] = q(hue - 320);
  return Pack(o, false);
}

// per byte: v >> n
LICE_pixel ByteShift(LICE_pixel v, int n)
{
  int c[4];
  for (int k = 0; k < 4; ++k) c[k] = Chan(v, k) >> n;
  return Pack(c, false);
}
LICE_pixel ByteAdd(LICE_pixel a, LICE_pixel b)
{
  int c[4];
  for (int k = 0; k < 4; ++k) c[k] = Chan(a, k) + Chan(b, k);
  return Pack(c, false);
}

bool Inside(LICE_IBitmap* bm, i64 x, i64 y) { return x >= 0 && y >= 0 && x < bm->getWidth() && y < bm->getHeight(); }
bool Usable(LICE_IBitmap* bm) { return bm && bm->getBits() && bm->getWidth() > 0 && bm->getHeight() > 0; }
} // namespace

LICE_pixel GetPixel(LICE_IBitmap* bm, int x, int y)
{
  const int row = bm->isFlipped() ? bm->getHeight() - 1 - y : y;
  return bm->getBits()[(size_t)row * bm->getRowSpan() + x];
}

void SetPixel(LICE_IBitmap* bm, int x, int y, LICE_pixel p)
{
  const int row = bm->isFlipped() ? bm->getHeight() - 1 - y : y;
  bm->getBits()[(size_t)row * bm->getRowSpan() + x] = p;
}

LICE_pixel Combine(LICE_pixel dst, int r, int g, int b, int a, int ia, int mode, Variant v)
{
  int D[4], S[4] = {b, g, r, a}, O[4];
  for (int k = 0; k < 4; ++k) D[k] = Chan(dst, k);
  const bool gradient = v == Variant::Gradient;
  const bool fixedWeight = v == Variant::Plain;
  if (!gradient && ia == 0) return dst;
  const int ia2 = (a + 1) * ia / 256;
  switch (mode & 0x100ff)
  {
    case 0:
      if (!gradient && ia < 1) return dst;
      if (fixedWeight && ia == 256) return Pack(S, false);
      for (int k = 0; k < 4; ++k) O[k] = S[k] + (D[k] - S[k]) * (256 - ia) / 256;
      return Pack(O, gradient);
    case 1:
      for (int k = 0; k < 4; ++k) O[k] = Clamp(D[k] + S[k] * ia / 256);
      return Pack(O, false);
    case 2:
      for (int k = 0; k < 4; ++k) O[k] = DodgeOne(D[k], S[k], ia);
      return Pack(O, false);
    case 3:
      for (int k = 0; k < 4; ++k) O[k] = MulOne(D[k], S[k], ia);
      return Pack(O, gradient);
    case 4:
      for (int k = 0; k < 4; ++k) O[k] = OverlayOne(D[k], S[k], ia);
      return Pack(O, false);
    case 5: return Hsv(dst, r, g, b, a, ia);
    case 0x10000:
      if (a == 0) return dst;
      if (fixedWeight && ia == 256)
      {
        if (a == 255)
        {
          O[0] = b, O[1] = g, O[2] = r, O[3] = 255;
          return Pack(O, false);
        }
        for (int k = 0; k < 3; ++k) O[k] = S[k] + (D[k] - S[k]) * (255 - a) / 256;
        O[3] = std::min(255, D[3] + a);
        return Pack(O, false);
      }
      for (int k = 0; k < 3; ++k) O[k] = S[k] + (D[k] - S[k]) * (256 - ia2) / 256;
      O[3] = std::min(255, D[3] + ia2);
      return Pack(O, false);
    case 0x10001:
      if (a == 0) return dst;
      for (int k = 0; k < 3; ++k) O[k] = Clamp(D[k] + S[k] * ia2 / 256);
      O[3] = Clamp(D[3] + ia2 * a / 256);
      return Pack(O, false);
    case 0x10002:
      for (int k = 0; k < 4; ++k) O[k] = DodgeOne(D[k], S[k], ia2);
      return Pack(O, false);
    case 0x10003:
      if (a == 0) return dst;
      for (int k = 0; k < 4; ++k) O[k] = MulOne(D[k], S[k], ia2);
      return Pack(O, false);
    case 0x10004:
      for (int k = 0; k < 4; ++k) O[k] = OverlayOne(D[k], S[k], ia2);
      return Pack(O, false);
    case 0x10005: return Hsv(dst, r, g, b, a, ia2);
    default: return dst;
  }
}

namespace
{
LICE_pixel CombinePixel(LICE_pixel dst, LICE_pixel src, int ia, int mode, Variant v = Variant::Plain)
{
  return Combine(dst, Chan(src, 2), Chan(src, 1), Chan(src, 0), Chan(src, 3), ia, mode, v);
}

// the whole-word mixes, written per byte
LICE_pixel Half(LICE_pixel d, LICE_pixel c) { return ByteAdd(ByteShift(d, 1), ByteShift(c, 1)); }
LICE_pixel Quarter(LICE_pixel d, LICE_pixel c) { return ByteAdd(ByteAdd(ByteShift(d, 2), ByteShift(d, 1)), ByteShift(c, 2)); }
LICE_pixel ThreeQuarter(LICE_pixel d, LICE_pixel c) { return ByteAdd(ByteShift(d, 2), ByteAdd(ByteShift(c, 1), ByteShift(c, 2))); }
} // namespace

void PutPixel(LICE_IBitmap* bm, int x, int y, LICE_pixel color, float alpha, int mode)
{
  if (!Usable(bm) || !Inside(bm, x, y)) return;
  const int ia = CopyWeight(alpha, mode);
  if (ia == 0) return;
  const LICE_pixel d = GetPixel(bm, x, y);
  LICE_pixel out = d;
  const int op = mode & 0xff;
  if (op == 0)
  {
    if (ia == 64)
      out = Quarter(d, color);
    else if (ia == 128)
      out = Half(d, color);
    else if (ia == 192)
      out = ThreeQuarter(d, color);
    else if (ia == 256)
      out = color;
    else
      out = CombinePixel(d, color, ia, 0);
  }
  else if (op <= 5)
    out = CombinePixel(d, color, ia, op);
  SetPixel(bm, x, y, out);
}

void Blit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, const RECT* srcrect, float alpha, int mode)
{
  if (alpha == 0.0f || !Usable(dest) || !Usable(src)) return;
  const i64 sl = srcrect ? srcrect->left : 0, st = srcrect ? srcrect->top : 0;
  const i64 sr = srcrect ? srcrect->right : src->getWidth(), sb = srcrect ? srcrect->bottom : src->getHeight();
  const int ia = CopyWeight(alpha, mode);
  for (int Y = 0; Y < dest->getHeight(); ++Y)
    for (int X = 0; X < dest->getWidth(); ++X)
    {
      const i64 sx = X - (i64)dstx + sl, sy = Y - (i64)dsty + st;
      if (sx < std::max<i64>(sl, 0) || sx >= std::min<i64>(sr, src->getWidth())) continue;
      if (sy < std::max<i64>(st, 0) || sy >= std::min<i64>(sb, src->getHeight())) continue;
      const LICE_pixel s = GetPixel(src, (int)sx, (int)sy), d = GetPixel(dest, X, Y);
      LICE_pixel out;
      if ((mode & 0xf0) == 0xf0)
      {
        const int sbyte = mode & 3, dbyte = (mode >> 2) & 3;
        out = (d & ~(0xffu << (8 * dbyte))) | ((LICE_pixel)Chan(s, sbyte) << (8 * dbyte));
      }
      else if ((mode & 0x100ff) == 0 && alpha == 1.0f)
        out = s;
      else if ((mode & 0x100ff) == 0 && alpha == 0.5f)
        out = Half(d, s);
      else
        out = CombinePixel(d, s, ia, mode);
      SetPixel(dest, X, Y, out);
    }
}

void FillRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel color, float alpha, int mode)
{
  if (mode & 0x10000) alpha *= (float)Chan(color, 3) / 255.0f;
  if (!Usable(dest) || alpha == 0.0f) return;
  const int ia = CopyWeight(alpha, mode);
  if (ia == 0) return;
  for (int Y = 0; Y < dest->getHeight(); ++Y)
    for (int X = 0; X < dest->getWidth(); ++X)
    {
      if (X < (i64)x || X >= (i64)x + w || Y < (i64)y || Y >= (i64)y + h) continue;
      const LICE_pixel d = GetPixel(dest, X, Y);
      LICE_pixel out = d;
      const int op = mode & 0xff;
      if (op == 0)
      {
        if (ia == 256)
          out = color;
        else if (ia == 128)
          out = Half(d, color);
        else if (ia == 64)
          out = Quarter(d, color);
        else if (ia == 192)
          out = ThreeQuarter(d, color);
        else
          out = Combine(d, Chan(color, 2), Chan(color, 1), Chan(color, 0), ia, ia, 0);
      }
      else if (op <= 5)
        out = Combine(d, Chan(color, 2), Chan(color, 1), Chan(color, 0), ia, ia, op);
      SetPixel(dest, X, Y, out);
    }
}

void ClearRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel mask, LICE_pixel orbits)
{
  if (!Usable(dest)) return;
  for (int Y = 0; Y < dest->getHeight(); ++Y)
    for (int X = 0; X < dest->getWidth(); ++X)
      if (X >= (i64)x && X < (i64)x + w && Y >= (i64)y && Y < (i64)y + h)
        SetPixel(dest, X, Y, (GetPixel(dest, X, Y) & mask) | orbits);
}

namespace
{
struct Clip
{
  i64 l, t, r, b; // source pixels [l, r) x [t, b)
};

// The sample at source pixel (px, py) with fraction (fx, fy), by the bilinear rules.
LICE_pixel Bilinear(LICE_IBitmap* src, const Clip& c, i64 px, i64 py, i64 fx, i64 fy)
{
  const bool lastCol = px == c.r - 1, lastRow = py == c.b - 1;
  const LICE_pixel p00 = GetPixel(src, (int)px, (int)py);
  if (lastCol && lastRow) return p00;
  int o[4];
  if (lastCol)
  {
    const LICE_pixel p10 = GetPixel(src, (int)px, (int)py + 1);
    for (int k = 0; k < 4; ++k) o[k] = (int)((Chan(p10, k) * fy + Chan(p00, k) * (65536 - fy)) >> 16);
    return Pack(o, false);
  }
  const LICE_pixel p01 = GetPixel(src, (int)px + 1, (int)py);
  if (lastRow)
  {
    for (int k = 0; k < 4; ++k) o[k] = (int)((Chan(p01, k) * fx + Chan(p00, k) * (65536 - fx)) >> 16);
    return Pack(o, false);
  }
  const LICE_pixel p10 = GetPixel(src, (int)px, (int)py + 1), p11 = GetPixel(src, (int)px + 1, (int)py + 1);
  const i64 f11 = (fx * fy) >> 16;
  const i64 w00 = 65536 - fx - fy + f11, w01 = fx - f11, w10 = fy - f11, w11 = f11;
  for (int k = 0; k < 4; ++k)
    o[k] = (int)((w00 * Chan(p00, k) + w01 * Chan(p01, k) + w10 * Chan(p10, k) + w11 * Chan(p11, k)) >> 16);
  return Pack(o, false);
}

bool Sane(double v) { return v > -1048576.0 && v < 1048576.0; }
} // namespace

void ScaledBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx, float srcy,
                float srcw, float srch, float alpha, int mode)
{
  if (!dstw || !dsth || alpha == 0.0f || !Usable(dest) || !Usable(src)) return;
  if (!Sane(srcx) || !Sane(srcy) || !Sane(srcw) || !Sane(srch)) return;
  if (dstw > 0 && dsth > 0 && std::fabs(srcw - dstw) < 0.001 && std::fabs(srch - dsth) < 0.001 &&
      ((mode & 0xff00) != 0x100 || (srcx - std::floor(srcx) < 0.03 && srcy - std::floor(srcy) < 0.03)))
  {
    RECT r;
    r.left = (int)(srcx + 0.5);
    r.top = (int)(srcy + 0.5);
    r.right = r.left + dstw;
    r.bottom = r.top + dsth;
    Blit(dest, src, dstx, dsty, &r, alpha, mode);
    return;
  }
  // mirrored: the unmirrored call's samples in reverse order
  i64 dx = dstx, dy = dsty, dw = dstw, dh = dsth;
  double sx = srcx, sy = srcy, sw = srcw, sh = srch;
  if (dw < 0)
  {
    dw = -dw, dx -= dw;
    sx += sw - sw / (double)dw, sw = -sw;
  }
  if (dh < 0)
  {
    dh = -dh, dy -= dh;
    sy += sh - sh / (double)dh, sh = -sh;
  }
  const double xadv = sw / (double)dw, yadv = sh / (double)dh;
  const i64 idx = (i64)std::floor(xadv * 65536.0), idy = (i64)std::floor(yadv * 65536.0);
  const i64 x0 = (i64)std::floor(sx * 65536.0), y0 = (i64)std::floor(sy * 65536.0);

  Clip c;
  c.l = (i64)std::floor(std::min((double)srcx, (double)srcx + srcw));
  c.t = (i64)std::floor(std::min((double)srcy, (double)srcy + srch));
  c.l = std::max<i64>(0, std::min(c.l, (idx >= 0 ? x0 : x0 + (dw - 1) * idx) >> 16));
  c.t = std::max<i64>(0, std::min(c.t, (idy >= 0 ? y0 : y0 + (dh - 1) * idy) >> 16));
  c.r = std::min<i64>(src->getWidth(), (i64)(std::max((double)srcx, (double)srcx + srcw) + 0.999999));
  c.b = std::min<i64>(src->getHeight(), (i64)(std::max((double)srcy, (double)srcy + srch) + 0.999999));

  const int ia = CopyWeight(alpha, mode);
  if (ia == 0) return;
  const bool plainCopy = (mode & 0x1ffff) == 0;
  const bool bilinear = (mode & 0xff00) == 0x100;
  const bool shrink = bilinear && std::fabs(xadv) >= 1.7 && std::fabs(yadv) >= 1.7;
  const int radius = std::max(std::llabs(idx), std::llabs(idy)) > 0x30000 ? 2 : 1;

  for (i64 j = 0; j < dh; ++j)
    for (i64 i = 0; i < dw; ++i)
    {
      const i64 X = dx + i, Y = dy + j;
      if (!Inside(dest, X, Y)) continue;
      const i64 posx = x0 + i * idx, posy = y0 + j * idy;
      const i64 px = posx >> 16, py = posy >> 16;
      if (px < c.l || px >= c.r || py < c.t || py >= c.b) continue;
      const LICE_pixel d = GetPixel(dest, (int)X, (int)Y);
      LICE_pixel out;
      if (plainCopy && ia == 256)
        out = GetPixel(src, (int)px, (int)py);
      else if (plainCopy && ia == 128)
        out = Half(d, GetPixel(src, (int)px, (int)py));
      else if (shrink)
      {
        int sum[4] = {0, 0, 0, 0}, n = 0;
        for (i64 yy = py - radius; yy <= py + radius; ++yy)
          for (i64 xx = px - radius; xx <= px + radius; ++xx)
          {
            if (xx < c.l || xx >= c.r || yy < c.t || yy >= c.b) continue;
            const LICE_pixel p = GetPixel(src, (int)xx, (int)yy);
            for (int k = 0; k < 4; ++k) sum[k] += Chan(p, k);
            ++n;
          }
        out = Combine(d, sum[2] / n, sum[1] / n, sum[0] / n, sum[3] / n, ia, mode);
      }
      else if (bilinear)
        out = CombinePixel(d, Bilinear(src, c, px, py, posx & 0xffff, posy & 0xffff), ia, mode);
      else
        out = CombinePixel(d, GetPixel(src, (int)px, (int)py), ia, mode);
      SetPixel(dest, (int)X, (int)Y, out);
    }
}

namespace
{
struct DeltaSpec
{
  i64 dx, dy, dw, dh;
  double sx, sy, dsdx, dtdx, dsdy, dtdy, dsdxdy, dtdxdy;
  bool varAlpha;
  double alpha, dadx, dady, dadxdy;
  Clip c;
};

i64 Fix(double v) { return (i64)(v * 65536.0); }

void DeltaPixels(LICE_IBitmap* dest, LICE_IBitmap* src, const DeltaSpec& s, float alpha, int mode)
{
  if (s.c.r <= s.c.l || s.c.b <= s.c.t) return;
  const int ia = s.varAlpha ? 256 : CopyWeight(alpha, mode);
  if (ia == 0) return;
  const i64 S[2] = {Fix(s.sx - s.c.l), Fix(s.sy - s.c.t)}, Dx[2] = {Fix(s.dsdx), Fix(s.dtdx)},
            Dy[2] = {Fix(s.dsdy), Fix(s.dtdy)}, Dxy[2] = {Fix(s.dsdxdy), Fix(s.dtdxdy)};
  const i64 A = Fix(s.alpha), Adx = Fix(s.dadx), Ady = Fix(s.dady), Adxy = Fix(s.dadxdy);
  const bool bilinear = (mode & 0xff00) == 0x100;
  const Clip rel = {0, 0, s.c.r - s.c.l, s.c.b - s.c.t};
  for (i64 j = 0; j < s.dh; ++j)
    for (i64 i = 0; i < s.dw; ++i)
    {
      const i64 X = s.dx + i, Y = s.dy + j;
      if (!Inside(dest, X, Y)) continue;
      const i64 posx = S[0] + j * Dy[0] + i * (Dx[0] + j * Dxy[0]);
      const i64 posy = S[1] + j * Dy[1] + i * (Dx[1] + j * Dxy[1]);
      const i64 px = posx >> 16, py = posy >> 16;
      if (px < 0 || px >= rel.r || py < 0 || py >= rel.b) continue;
      int wgt = ia;
      if (s.varAlpha)
      {
        const i64 a = (A + j * Ady + i * (Adx + j * Adxy)) >> 8;
        if (a < 1) continue;
        wgt = (int)std::min<i64>(a, (mode & 0xff) == 0 ? 256 : 4096);
      }
      // sample in clip-relative terms through a shifted view of the source
      LICE_pixel p;
      if (bilinear)
      {
        const Clip abs = s.c;
        p = Bilinear(src, abs, px + s.c.l, py + s.c.t, posx & 0xffff, posy & 0xffff);
      }
      else
        p = GetPixel(src, (int)(px + s.c.l), (int)(py + s.c.t));
      SetPixel(dest, (int)X, (int)Y,
               CombinePixel(GetPixel(dest, (int)X, (int)Y), p, wgt, mode,
                            s.varAlpha ? Variant::VaryingWeight : Variant::Plain));
    }
}

Clip SourceClip(LICE_IBitmap* src, bool clip, double srcx, double srcy, double srcw, double srch)
{
  Clip c = {0, 0, src->getWidth(), src->getHeight()};
  if (clip)
  {
    c.l = (i64)std::max(srcx, 0.0);
    c.t = (i64)std::max(srcy, 0.0);
    const double r = std::min(srcx + srcw, (double)src->getWidth()), b = std::min(srcy + srch, (double)src->getHeight());
    c.r = r > 0 ? (i64)r : 0;
    c.b = b > 0 ? (i64)b : 0;
  }
  return c;
}
} // namespace

void RotatedBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx, float srcy,
                 float srcw, float srch, float angle, bool cliptosourcerect, float alpha, int mode, float rotxcent,
                 float rotycent)
{
  if (!dstw || !dsth || !Usable(dest) || !Usable(src)) return;
  DeltaSpec s{};
  s.c = SourceClip(src, cliptosourcerect, srcx, srcy, srcw, srch);
  double sx = srcx, sy = srcy, sw = srcw, sh = srch;
  s.dx = dstx, s.dy = dsty, s.dw = dstw, s.dh = dsth;
  const bool mx = s.dw < 0, my = s.dh < 0;
  if (mx) s.dw = -s.dw, s.dx -= s.dw, sx += sw, sw = -sw;
  if (my) s.dh = -s.dh, s.dy -= s.dh, sy += sh, sh = -sh;
  const double xs = sw / (double)s.dw, ys = sh / (double)s.dh;
  s.dsdx = xs * std::cos((double)angle);
  s.dtdx = -ys * std::sin((double)angle);
  s.dsdy = xs * std::sin((double)angle);
  s.dtdy = ys * std::cos((double)angle);
  sx -= (s.dh * s.dsdy + s.dw * s.dsdx - sw) * 0.5 - rotxcent;
  sy -= (s.dh * s.dtdy + s.dw * s.dtdx - sh) * 0.5 - rotycent;
  if (mx) sx += s.dsdx, sy += s.dtdx;
  if (my) sx += s.dsdy, sy += s.dtdy;
  s.sx = sx, s.sy = sy;
  DeltaPixels(dest, src, s, alpha, mode);
}

void DeltaBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx, float srcy,
               float srcw, float srch, double dsdx, double dtdx, double dsdy, double dtdy, double dsdxdy,
               double dtdxdy, bool cliptosourcerect, float alpha, int mode)
{
  DeltaBlitAlpha(dest, src, dstx, dsty, dstw, dsth, srcx, srcy, srcw, srch, dsdx, dtdx, dsdy, dtdy, dsdxdy, dtdxdy,
                 cliptosourcerect, alpha, mode, 0, 0, 0);
}

void DeltaBlitAlpha(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx,
                    float srcy, float srcw, float srch, double dsdx, double dtdx, double dsdy, double dtdy,
                    double dsdxdy, double dtdxdy, bool cliptosourcerect, float alpha, int mode, double dadx,
                    double dady, double dadxdy)
{
  if (!dstw || !dsth || !Usable(dest) || !Usable(src)) return;
  DeltaSpec s{};
  s.c = SourceClip(src, cliptosourcerect, srcx, srcy, srcw, srch);
  s.dx = dstx, s.dy = dsty, s.dw = dstw, s.dh = dsth;
  s.sx = srcx, s.sy = srcy;
  if (s.dw < 0) s.dw = -s.dw, s.dx -= s.dw, s.sx += srcw;
  if (s.dh < 0) s.dh = -s.dh, s.dy -= s.dh, s.sy += srch;
  s.dsdx = dsdx, s.dtdx = dtdx, s.dsdy = dsdy, s.dtdy = dtdy, s.dsdxdy = dsdxdy, s.dtdxdy = dtdxdy;
  s.varAlpha = !(std::fabs(dstw * dadx) < 0.0001 && std::fabs(dsth * dady) < 0.0001 && std::fabs(dsth * dadxdy) < 0.0001);
  s.alpha = alpha, s.dadx = dadx, s.dady = dady, s.dadxdy = dadxdy;
  DeltaPixels(dest, src, s, alpha, mode);
}

void GradRect(LICE_IBitmap* dest, int x, int y, int w, int h, float ir, float ig, float ib, float ia, float drdx,
              float dgdx, float dbdx, float dadx, float drdy, float dgdy, float dbdy, float dady, int mode)
{
  if (!Usable(dest)) return;
  const float st[4] = {ir, ig, ib, ia}, ddx[4] = {drdx, dgdx, dbdx, dadx}, ddy[4] = {drdy, dgdy, dbdy, dady};
  i64 v0[4], vx[4], vy[4];
  for (int k = 0; k < 4; ++k)
  {
    const double scale = k == 3 ? 256.0 : 255.0;
    v0[k] = (i64)((double)st[k] * scale * 65536.0);
    vx[k] = (i64)((double)ddx[k] * scale * 65536.0);
    vy[k] = (i64)((double)ddy[k] * scale * 65536.0);
  }
  for (int Y = 0; Y < dest->getHeight(); ++Y)
    for (int X = 0; X < dest->getWidth(); ++X)
    {
      if (X < (i64)x || X >= (i64)x + w || Y < (i64)y || Y >= (i64)y + h) continue;
      int v[4];
      for (int k = 0; k < 4; ++k)
      {
        const i64 q = (v0[k] + (X - (i64)x) * vx[k] + (Y - (i64)y) * vy[k]) / 65536;
        v[k] = (int)std::max<i64>(-1024, std::min<i64>(1024, q));
      }
      SetPixel(dest, X, Y, Combine(GetPixel(dest, X, Y), v[0], v[1], v[2], v[3], v[3], mode & 0xff, Variant::Gradient));
    }
}

void MultiplyAddRect(LICE_IBitmap* dest, int x, int y, int w, int h, float rsc, float gsc, float bsc, float asc,
                     float radd, float gadd, float badd, float aadd)
{
  if (!Usable(dest)) return;
  auto fix = [](float v) { return (int)std::max(-1048576.0, std::min(1048576.0, (double)v * 256.0)); };
  const int sc[4] = {fix(bsc), fix(gsc), fix(rsc), fix(asc)}, ad[4] = {fix(badd), fix(gadd), fix(radd), fix(aadd)};
  for (int Y = 0; Y < dest->getHeight(); ++Y)
    for (int X = 0; X < dest->getWidth(); ++X)
    {
      if (X < (i64)x || X >= (i64)x + w || Y < (i64)y || Y >= (i64)y + h) continue;
      const LICE_pixel p = GetPixel(dest, X, Y);
      int o[4];
      for (int k = 0; k < 4; ++k) o[k] = Clamp((Chan(p, k) * sc[k] + ad[k]) >> 8);
      SetPixel(dest, X, Y, Pack(o, false));
    }
}

void Blur(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy, int srcw, int srch)
{
  if (!Usable(dest) || !Usable(src)) return;
  // the source rectangle clipped to the source, then the destination point to the destination
  i64 sx = srcx, sy = srcy, w = srcw, h = srch, dx = dstx, dy = dsty;
  if (sx < 0) dx -= sx, w += sx, sx = 0;
  if (sy < 0) dy -= sy, h += sy, sy = 0;
  w = std::min<i64>(w, src->getWidth() - sx);
  h = std::min<i64>(h, src->getHeight() - sy);
  if (dx < 0) sx -= dx, w += dx, dx = 0;
  if (dy < 0) sy -= dy, h += dy, dy = 0;
  w = std::min<i64>(w, dest->getWidth() - dx);
  h = std::min<i64>(h, dest->getHeight() - dy);
  if (w < 2 || h < 2) return;
  std::vector<LICE_pixel> s((size_t)(w * h));
  for (i64 j = 0; j < h; ++j)
    for (i64 i = 0; i < w; ++i) s[(size_t)(j * w + i)] = GetPixel(src, (int)(sx + i), (int)(sy + j));
  auto S = [&](i64 i, i64 j) { return s[(size_t)(j * w + i)]; };
  for (i64 j = 0; j < h; ++j)
    for (i64 i = 0; i < w; ++i)
    {
      LICE_pixel out = ByteShift(S(i, j), 1);
      const bool hasL = i > 0, hasR = i < w - 1, hasU = j > 0, hasD = j < h - 1;
      if (hasL && hasR)
        out = ByteAdd(out, ByteAdd(ByteShift(S(i - 1, j), 3), ByteShift(S(i + 1, j), 3)));
      else
        out = ByteAdd(out, ByteShift(S(hasL ? i - 1 : i + 1, j), 2));
      if (hasU && hasD)
        out = ByteAdd(out, ByteAdd(ByteShift(S(i, j - 1), 3), ByteShift(S(i, j + 1), 3)));
      else
        out = ByteAdd(out, ByteShift(S(i, hasU ? j - 1 : j + 1), 2));
      SetPixel(dest, (int)(dx + i), (int)(dy + j), out);
    }
}

void HalveBlitAA(LICE_IBitmap* dest, LICE_IBitmap* src)
{
  if (!Usable(dest) || !Usable(src)) return;
  const int w = std::min(dest->getWidth(), src->getWidth() / 2), h = std::min(dest->getHeight(), src->getHeight() / 2);
  // rows as stored: address memory directly
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i)
    {
      const LICE_pixel* r0 = src->getBits() + (size_t)(2 * j) * src->getRowSpan();
      const LICE_pixel* r1 = r0 + src->getRowSpan();
      LICE_pixel out = ByteAdd(ByteAdd(ByteShift(r0[2 * i], 2), ByteShift(r0[2 * i + 1], 2)),
                               ByteAdd(ByteShift(r1[2 * i], 2), ByteShift(r1[2 * i + 1], 2)));
      dest->getBits()[(size_t)j * dest->getRowSpan() + i] = out;
    }
}
} // namespace ref
