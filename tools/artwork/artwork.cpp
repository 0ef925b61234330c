#include "artwork.h"

#include "layout.h"
#include "paint.h"
#include "scales.h"
#include "text.h"

#include "WDL/lice/lice.h"

#include <cstdio>

namespace artwork
{
namespace
{

// ---------------------------------------------------------------------------------------
// Geometry and palette. Radii are from the knob centre, in pixels.

constexpr float kSweepStart = (float)(-0.75 * kPi); // 7:30, the minimum
constexpr float kSweep = (float)(1.5 * kPi);        // to 4:30
constexpr float kBodyR = 21.0f;                     // knob skirt
constexpr float kTopR = 16.5f;                      // knob cap face
constexpr float kTrackIn = 25.0f, kTrackOut = 28.5f;
constexpr float kArcIn = 25.5f, kArcOut = 28.0f;
constexpr float kTickIn = 30.5f, kTickOut = 34.0f;
constexpr float kLabelR = 37.0f;
constexpr double kMinLabelGap = 0.09; // of the sweep, between two labels

const Color kPlate = Rgb(50, 47, 44);
const Color kInk = Rgb(226, 218, 202);     // silkscreen captions
const Color kScaleInk = Rgb(176, 170, 160); // scale numbers
const Color kTickInk = Rgb(160, 154, 146);
const Color kDimInk = Rgb(128, 123, 116);

const TextStyle kScaleFont = {9, false};
const TextStyle kNameFont = {10, true, 1};
const TextStyle kUnitFont = {8, false};

float KnobAngle(double v) { return kSweepStart + kSweep * (float)v; }

struct KnobStyle
{
  Color cap;     // cap face
  Color arc;     // value arc, lit
  Color pointer; // pointer line
  Color name;    // caption on the faceplate
  float sheen;   // strength of the spun-metal reflection
};

struct KnobDef
{
  const char* image;
  Knob kind;
  int column, row;
  const char* caption;
  const char* unit;
  KnobStyle style;
};

// Bands get their own hues (high blue, mid green, low red), the filters neutral grey, the
// output a spun aluminium cap with an amber arc.
const KnobStyle kFilterStyle = {Rgb(86, 86, 84), Rgb(200, 198, 190), Rgb(238, 234, 226), Rgb(206, 202, 194), 0.22f};
const KnobDef kKnobs[] = {
    {"LPF", Knob::kLowPass, 0, 0, "LPF", "Hz", kFilterStyle},
    {"HPF", Knob::kHighPass, 0, 1, "HPF", "Hz", kFilterStyle},
    {"OUT", Knob::kOutput, 0, 2, "OUTPUT", "dB",
     {Rgb(176, 174, 168), Rgb(255, 186, 84), Rgb(28, 26, 24), Rgb(240, 206, 150), 0.45f}},
    {"GainH", Knob::kHigh, 1, 0, "HIGH", "dB",
     {Rgb(38, 78, 132), Rgb(96, 172, 255), Rgb(238, 234, 226), Rgb(140, 190, 245), 0.16f}},
    {"GainM", Knob::kMid, 1, 1, "MID", "dB",
     {Rgb(38, 104, 68), Rgb(104, 222, 142), Rgb(238, 234, 226), Rgb(146, 214, 164), 0.16f}},
    {"GainL", Knob::kLow, 1, 2, "LOW", "dB",
     {Rgb(134, 44, 36), Rgb(255, 112, 84), Rgb(238, 234, 226), Rgb(240, 150, 128), 0.16f}},
};

PixelBox WholeLayer(const Layer& l) { return {0, 0, l.Width(), l.Height()}; }

// ---------------------------------------------------------------------------------------
// Scale labels

struct PlacedLabel
{
  ScaleMark mark;
  TextMask text;
  int x, y; // pen box top-left on the faceplate
};

bool Overlaps(const PlacedLabel& a, const PlacedLabel& b)
{
  const int padX = 5, padY = 4;
  return a.x + a.text.inkX0 < b.x + b.text.inkX1 + padX && b.x + b.text.inkX0 < a.x + a.text.inkX1 + padX &&
         a.y + a.text.inkY0 < b.y + b.text.inkY1 + padY && b.y + b.text.inkY0 < a.y + a.text.inkY1 + padY;
}

// Places the candidates in priority order just outside the ticks, each centred on the ray
// of its position and pushed out by half its own extent along the ray; a label too close to
// one already placed is dropped.
std::vector<PlacedLabel> LayoutScale(TextPainter& tp, Knob k, int cx, int cy)
{
  std::vector<ScaleMark> cand = ScaleCandidates(k);
  std::stable_sort(cand.begin(), cand.end(),
                   [](const ScaleMark& a, const ScaleMark& b) { return a.priority < b.priority; });
  std::vector<PlacedLabel> placed;
  for (const ScaleMark& m : cand)
  {
    if (m.priority > 2) continue;
    PlacedLabel l{m, tp.Measure(m.text, kScaleFont), 0, 0};
    const float a = KnobAngle(m.position);
    const float w = (float)(l.text.inkX1 - l.text.inkX0), h = (float)(l.text.inkY1 - l.text.inkY0);
    const float dx = std::sin(a), dy = -std::cos(a);
    const float mx = cx + dx * (kLabelR + std::fabs(dx) * w * 0.5f + std::fabs(dy) * h * 0.25f);
    const float my = cy + dy * (kLabelR + std::fabs(dy) * h * 0.5f + std::fabs(dx) * w * 0.1f);
    l.x = (int)std::lround(mx - (l.text.inkX0 + l.text.inkX1) * 0.5f);
    l.y = (int)std::lround(my - (l.text.inkY0 + l.text.inkY1) * 0.5f);
    // Neighbours closer than about 25 degrees read as one cluster, even where their
    // boxes clear each other.
    bool free = true;
    for (const PlacedLabel& o : placed)
      free = free && !Overlaps(l, o) && std::fabs(o.mark.position - m.position) >= kMinLabelGap;
    if (free) placed.push_back(l);
  }
  std::sort(placed.begin(), placed.end(),
            [](const PlacedLabel& a, const PlacedLabel& b) { return a.mark.position < b.mark.position; });
  return placed;
}

// ---------------------------------------------------------------------------------------
// Faceplate

void PaintPlate(Layer* bg)
{
  const float w = (float)bg->Width(), h = (float)bg->Height();
  bg->Paint(WholeLayer(*bg), [&](float px, float py, Color* c) {
    // Light from the top left: a slow falloff across the plate.
    const float t = (px / w) * 0.45f + (py / h) * 0.55f;
    float k = 1.08f - 0.16f * t;
    // Brushed grain: each row has its own brightness, drifting slowly along the row, and a
    // finer grain on top.
    const int x = (int)px, y = (int)py;
    const float drift = Noise(x >> 6, y, 11) * (1 - (px - (x & ~63)) / 64) + Noise((x >> 6) + 1, y, 11) * ((px - (x & ~63)) / 64);
    const float row = Noise(0, y, 7) * 0.6f + drift * 0.4f;
    const float fine = Noise(x, y, 3);
    *c = Add(Scale(kPlate, k), row * 0.010f + fine * 0.006f);
    return 1.0f;
  });
}

// A recessed panel: darker floor, shadowed top-left wall, lit bottom-right lip.
void PaintPanel(Layer* bg, int x0, int y0, int x1, int y1)
{
  const float r = 5;
  bg->Paint({x0 - 2, y0 - 2, x1 + 2, y1 + 2}, [&](float px, float py, Color* c) {
    const float d = RoundRectDist(px, py, (float)x0, (float)y0, (float)x1, (float)y1, r);
    *c = Rgb(0, 0, 0);
    return Coverage(d) * 0.16f;
  });
  // The walls: one pixel inside the edge, dark where it faces away from the light.
  bg->Paint({x0 - 2, y0 - 2, x1 + 2, y1 + 2}, [&](float px, float py, Color* c) {
    const float d = RoundRectDist(px, py, (float)x0, (float)y0, (float)x1, (float)y1, r);
    const float band = Coverage(std::fabs(d + 0.5f) - 0.5f);
    if (band <= 0) return 0.0f;
    const float cx = (x0 + x1) * 0.5f, cy = (y0 + y1) * 0.5f;
    // Which wall: compare the offset from the centre, scaled to the panel's aspect.
    const float nx = (px - cx) / ((x1 - x0) * 0.5f), ny = (py - cy) / ((y1 - y0) * 0.5f);
    const float facing = std::fabs(nx) > std::fabs(ny) ? (nx > 0 ? 1.0f : -1.0f) : (ny > 0 ? 1.0f : -1.0f);
    if (facing < 0)
    {
      *c = Rgb(0, 0, 0);
      return band * 0.45f;
    }
    *c = Rgb(255, 250, 240);
    return band * 0.10f;
  });
}

// An engraved line: a dark groove with a lit lower/right lip.
void PaintEngravedH(Layer* bg, int x0, int x1, int y)
{
  for (int x = x0; x < x1; ++x)
  {
    bg->Over(x, y, Rgb(0, 0, 0), 0.42f);
    bg->Over(x, y + 1, Rgb(255, 250, 240), 0.09f);
  }
}

// A slotted screw head in a countersunk hole; the slot angle is the screw's own.
void PaintScrew(Layer* bg, float cx, float cy, float slot)
{
  const Vec3 L = LightDir();
  const float R = 5.5f;
  bg->Paint({(int)cx - 9, (int)cy - 9, (int)cx + 10, (int)cy + 10}, [&](float px, float py, Color* c) {
    // The hole's rim shadow and the head's own shadow falling to the bottom right.
    const float d = CircleDist(px, py, cx + 0.8f, cy + 1.2f, R + 0.6f);
    *c = Rgb(0, 0, 0);
    return 0.6f * (1 - SmoothStep(-1.0f, 2.2f, d));
  });
  bg->Paint({(int)cx - 8, (int)cy - 8, (int)cx + 9, (int)cy + 9}, [&](float px, float py, Color* c) {
    const float dx = px - cx, dy = py - cy;
    const float r = std::hypot(dx, dy);
    const float cov = Coverage(r - R);
    if (cov <= 0) return 0.0f;
    // Domed head.
    const float s = std::min(r / R, 1.0f);
    const Vec3 n = Normalize({dx / R * 0.8f, dy / R * 0.8f, std::sqrt(std::max(0.05f, 1 - s * s * 0.64f))});
    const float diff = std::max(0.0f, Dot(n, L));
    const Vec3 H = Normalize({L.x, L.y, L.z + 1});
    const float spec = std::pow(std::max(0.0f, Dot(n, H)), 30.0f);
    Color base = Rgb(150, 146, 140);
    Color col = Add(Scale(base, 0.35f + 0.75f * diff), spec * 0.35f);
    // The slot: a dark channel whose far wall catches the light.
    const float ux = std::sin(slot), uy = -std::cos(slot);
    const float across = dx * uy - dy * ux; // distance from the slot's centre line
    const float along = std::fabs(dx * ux + dy * uy);
    const float slotCov = Coverage(std::fabs(across) - 0.9f) * Coverage(along - (R - 0.9f));
    col = Mix(col, Rgb(22, 21, 20), slotCov);
    const float lip = Coverage(std::fabs(across - 1.2f) - 0.45f) * Coverage(along - (R - 1.2f));
    const float lit = (uy * L.x - ux * L.y) < 0 ? 1.0f : 0.0f; // which wall faces the light
    col = Mix(col, Rgb(200, 196, 188), lip * 0.5f * lit);
    const float lip2 = Coverage(std::fabs(across + 1.2f) - 0.45f) * Coverage(along - (R - 1.2f));
    col = Mix(col, Rgb(200, 196, 188), lip2 * 0.5f * (1 - lit));
    *c = col;
    return cov;
  });
}

// The groove the value arc runs in, from the minimum to the maximum.
void PaintTrack(Layer* bg, float cx, float cy)
{
  const Vec3 L = LightDir();
  const float a0 = kSweepStart, a1 = kSweepStart + kSweep;
  bg->Paint({(int)cx - 32, (int)cy - 32, (int)cx + 33, (int)cy + 33}, [&](float px, float py, Color* c) {
    const float d = ArcDist(px, py, cx, cy, kTrackIn, kTrackOut, a0, a1);
    const float cov = Coverage(d);
    if (cov <= 0) return 0.0f;
    const float dx = px - cx, dy = py - cy, r = std::hypot(dx, dy);
    const float ux = dx / r, uy = dy / r;
    // Walls of the groove: the inner wall faces outward, the outer wall inward.
    const float facingIn = -(ux * L.x + uy * L.y); // > 0 where the outer wall is lit
    const float outer = SmoothStep(kTrackOut - 1.4f, kTrackOut - 0.2f, r);
    const float inner = 1 - SmoothStep(kTrackIn + 0.2f, kTrackIn + 1.4f, r);
    float k = 0.42f + 0.22f * outer * std::max(0.0f, facingIn) + 0.22f * inner * std::max(0.0f, -facingIn) -
              0.08f * (outer * std::max(0.0f, -facingIn) + inner * std::max(0.0f, facingIn));
    *c = Scale(kPlate, k);
    return cov;
  });
}

void PaintTick(Layer* bg, float cx, float cy, float a, float rin, float rout, float width, Color col, float op)
{
  float x0, y0, x1, y1;
  Polar(cx, cy, rin, a, &x0, &y0);
  Polar(cx, cy, rout, a, &x1, &y1);
  bg->Paint({(int)std::min(x0, x1) - 2, (int)std::min(y0, y1) - 2, (int)std::max(x0, x1) + 3, (int)std::max(y0, y1) + 3},
            [&](float px, float py, Color* c) {
              *c = col;
              return Coverage(CapsuleDist(px, py, x0, y0, x1, y1, width)) * op;
            });
}

void PaintKnobScale(Layer* bg, TextPainter& tp, const KnobDef& k)
{
  const int cx = kColumnX[k.column], cy = kRowY[k.row];
  PaintTrack(bg, (float)cx, (float)cy);
  // Fine ticks at every frame the knob can show, so the detents read; long ticks and
  // numbers where the scale is labelled.
  for (int i = 0; i < kKnobFrames; ++i)
    PaintTick(bg, (float)cx, (float)cy, KnobAngle(i / 30.0), kTickIn, kTickIn + 1.6f, 1.0f, kTickInk, 0.55f);
  for (const PlacedLabel& l : LayoutScale(tp, k.kind, cx, cy))
  {
    PaintTick(bg, (float)cx, (float)cy, KnobAngle(l.mark.position), kTickIn, kTickOut, 1.3f, kTickInk, 1.0f);
    TextPainter::Draw(bg, l.text, l.x, l.y, kScaleInk);
  }
  if (k.kind == Knob::kMid)
  {
    // The mid band's fixed frequency beside its name, as the model measures it.
    const TextMask name = tp.Measure(k.caption, kNameFont);
    char hz[32];
    std::snprintf(hz, sizeof hz, "%.1f kHz", MidPeakFrequency() / 1000);
    const TextMask freq = tp.Measure(hz, kUnitFont);
    const int gap = 5, nw = name.inkX1 - name.inkX0, fw = freq.inkX1 - freq.inkX0;
    const int left = cx - (nw + gap + fw) / 2;
    TextPainter::Draw(bg, name, left - name.inkX0, cy + 50 - name.baseline, k.style.name);
    TextPainter::Draw(bg, freq, left + nw + gap - freq.inkX0, cy + 50 - freq.baseline, kDimInk);
  }
  else
    tp.DrawCentred(bg, k.caption, kNameFont, cx, cy + 50, k.style.name);
  tp.DrawCentred(bg, k.unit, kUnitFont, cx, cy + 35, kDimInk);
}

// The maker's mark, centred in the part of the link area the window shows: a ringed
// monogram and the name.
void PaintMakersMark(Layer* bg, TextPainter& tp)
{
  const TextStyle word = {12, true, 1};
  const TextMask name = tp.Measure("Morvane", word);
  const int ring = 7, gap = 6;
  const int total = 2 * ring + gap + (name.inkX1 - name.inkX0);
  const int left = (kLinkL + kWindowW) / 2 - total / 2;
  const int cy = (kLinkT + kWindowH) / 2;
  const float rx = (float)(left + ring), ry = (float)cy;
  bg->Paint({left - 2, cy - ring - 2, left + 2 * ring + 2, cy + ring + 2}, [&](float px, float py, Color* c) {
    *c = kInk;
    return Coverage(RingDist(px, py, rx, ry, ring - 1.4f, (float)ring)) * 0.8f;
  });
  tp.DrawCentred(bg, "M", {8, true}, left + ring, cy + 3, kInk, 0.8f);
  TextPainter::Draw(bg, name, left + 2 * ring + gap - name.inkX0, cy + (name.inkY1 - name.inkY0) / 2 - name.inkY1, kInk,
                    0.85f);
}

void PaintBackground(Layer* bg, TextPainter& tp)
{
  PaintPlate(bg);

  // Header.
  tp.DrawCentred(bg, "TORVEN", {24, true, 6}, 150, 31, kInk);
  const TextStyle sub = {8, false, 3};
  const TextMask subText = tp.Measure("CHANNEL STRIP", sub);
  tp.DrawCentred(bg, "CHANNEL STRIP", sub, 150, 44, Rgb(150, 144, 136));
  // Rules either side of the sub-line, level with its middle.
  const int half = (subText.inkX1 - subText.inkX0) / 2 + 9;
  const int ruleY = 44 - (subText.inkY1 - subText.inkY0) / 2 - 1;
  PaintEngravedH(bg, 150 - half - 46, 150 - half, ruleY);
  PaintEngravedH(bg, 150 + half, 150 + half + 46, ruleY);
  PaintEngravedH(bg, 10, 290, 51);

  // The two columns: filters and output on the left, the three bands on the right.
  PaintPanel(bg, 8, 56, 146, 414);
  PaintPanel(bg, 154, 56, 292, 414);
  PaintEngravedH(bg, 16, 138, 290);

  for (const KnobDef& k : kKnobs) PaintKnobScale(bg, tp, k);

  // Footer: a darker rail under the plate, holding the oversampling switch and the mark.
  bg->Paint({0, 533, kWindowW, kWindowH}, [](float, float, Color* c) {
    *c = Rgb(0, 0, 0);
    return 0.14f;
  });
  PaintEngravedH(bg, 0, kWindowW, 532);
  tp.DrawCentred(bg, "OVERSAMPLING", {8, false, 1}, 108, 559, kDimInk);

  PaintMakersMark(bg, tp);

  PaintScrew(bg, 14, 14, 0.5f);
  PaintScrew(bg, 286, 14, 1.9f);
  PaintScrew(bg, 14, 512, 2.6f);
  PaintScrew(bg, 286, 512, 0.9f);
}

// ---------------------------------------------------------------------------------------
// Knob frames

void PaintKnobFrame(Layer* f, const KnobDef& k, double v, float cx, float cy)
{
  const Vec3 L = LightDir();
  const Vec3 H = Normalize({L.x, L.y, L.z + 1});
  const float a = KnobAngle(v);
  const PixelBox all = WholeLayer(*f);

  // Value arc: from the flat point (the centre for the bipolar controls) to the value.
  const float from = IsBipolar(k.kind) ? 0.0f : kSweepStart;
  const float lo = std::min(from, a), hi = std::max(from, a);
  if (hi - lo > 1e-4f)
  {
    Layer glow(f->Width(), f->Height());
    glow.Paint(all, [&](float px, float py, Color* c) {
      *c = k.style.arc;
      return Coverage(ArcDist(px, py, cx, cy, kArcIn - 1, kArcOut + 1, lo, hi));
    });
    glow.Blur(2);
    f->Compose(glow, 0, 0, 0.45f);
    f->Paint(all, [&](float px, float py, Color* c) {
      const float r = std::hypot(px - cx, py - cy);
      // A lit strip, brightest along its middle.
      const float mid = 1 - std::fabs(r - (kArcIn + kArcOut) * 0.5f) / ((kArcOut - kArcIn) * 0.5f);
      *c = Mix(k.style.arc, Rgb(255, 255, 255), 0.25f * Clamp01(mid));
      return Coverage(ArcDist(px, py, cx, cy, kArcIn, kArcOut, lo, hi));
    });
  }

  // Shadow of the knob, soft, to the bottom right.
  f->Paint(all, [&](float px, float py, Color* c) {
    *c = Rgb(0, 0, 0);
    return 0.5f * (1 - SmoothStep(-1.5f, 3.5f, CircleDist(px, py, cx + 1.2f, cy + 2.0f, kBodyR)));
  });

  // Skirt: a cone with grip ridges that turn with the knob.
  const Color skirt = Rgb(56, 54, 52);
  f->Paint(all, [&](float px, float py, Color* c) {
    const float dx = px - cx, dy = py - cy, r = std::hypot(dx, dy);
    const float cov = Coverage(r - kBodyR);
    if (cov <= 0 || r < 1) return 0.0f;
    const float ux = dx / r, uy = dy / r;
    const float th = AngleOf(dx, dy);
    const float ridge = std::sin(28.0f * (th - a)) * 0.36f;
    const Vec3 n = Normalize({ux * 0.8f - uy * ridge, uy * 0.8f + ux * ridge, 0.62f});
    const float diff = std::max(0.0f, Dot(n, L));
    const float spec = std::pow(std::max(0.0f, Dot(n, H)), 16.0f);
    Color col = Add(Scale(skirt, 0.30f + 1.0f * diff), spec * 0.28f);
    // The outer edge catches the light on the top left.
    const float edge = 1 - std::fabs(r - (kBodyR - 0.7f)) / 0.8f;
    if (edge > 0) col = Add(col, edge * 0.16f * -(ux * L.x + uy * L.y) / std::hypot(L.x, L.y));
    *c = col;
    return cov;
  });

  // Cap face: nearly flat, with a spun sheen toward and away from the light and a chamfered
  // rim that is lit on the top left.
  const float lightAngle = AngleOf(L.x, L.y);
  f->Paint(all, [&](float px, float py, Color* c) {
    const float dx = px - cx, dy = py - cy, r = std::hypot(dx, dy);
    const float cov = Coverage(r - kTopR);
    if (cov <= 0) return 0.0f;
    const Vec3 n = Normalize({dx / kTopR * 0.22f, dy / kTopR * 0.22f, 1});
    const float diff = std::max(0.0f, Dot(n, L));
    const float th = r > 0.5f ? AngleOf(dx, dy) : 0.0f;
    const float spin = std::pow(std::fabs(std::cos(th - lightAngle)), 6.0f) * std::min(1.0f, r / kTopR * 1.3f);
    const float rings = Noise((int)(r * 2.5f), 0, 29) * 0.015f;
    Color col = Add(Scale(k.style.cap, 0.62f + 0.5f * diff), spin * k.style.sheen + rings);
    const float rim = 1 - std::fabs(r - (kTopR - 0.9f)) / 0.9f;
    if (rim > 0 && r > 0.5f)
    {
      const float facing = -(dx / r * L.x + dy / r * L.y) / std::hypot(L.x, L.y);
      col = Add(col, rim * 0.22f * facing);
    }
    *c = col;
    return cov;
  });

  // Pointer.
  float x0, y0, x1, y1;
  Polar(cx, cy, 5.0f, a, &x0, &y0);
  Polar(cx, cy, kTopR - 2.2f, a, &x1, &y1);
  f->Paint(all, [&](float px, float py, Color* c) {
    *c = k.style.pointer;
    return Coverage(CapsuleDist(px, py, x0, y0, x1, y1, 2.2f));
  });
}

// ---------------------------------------------------------------------------------------
// Switches

// A raised rectangular key, lit from the top left; pressed keys sit lower and flatter.
void PaintKey(Layer* f, float x0, float y0, float x1, float y1, float rad, Color base, bool pressed)
{
  const float drop = pressed ? 0.8f : 2.0f;
  f->Paint(WholeLayer(*f), [&](float px, float py, Color* c) {
    *c = Rgb(0, 0, 0);
    return 0.55f * (1 - SmoothStep(-1.5f, 2.5f, RoundRectDist(px, py, x0 + drop * 0.5f, y0 + drop, x1 + drop * 0.5f, y1 + drop, rad)));
  });
  f->Paint(WholeLayer(*f), [&](float px, float py, Color* c) {
    const float d = RoundRectDist(px, py, x0, y0, x1, y1, rad);
    const float cov = Coverage(d);
    if (cov <= 0) return 0.0f;
    const float t = (py - y0) / (y1 - y0);
    float k = pressed ? 0.86f - 0.06f * t : 1.08f - 0.22f * t;
    // One-pixel bevel: lit top and left edges, dark bottom and right ones.
    const float edge = Coverage(std::fabs(d + 0.5f) - 0.5f);
    if (edge > 0)
    {
      const bool lit = (py - y0) < 2.0f || (px - x0) < 2.0f;
      const bool dark = (y1 - py) < 2.0f || (x1 - px) < 2.0f;
      if (lit && !dark) k += (pressed ? 0.12f : 0.35f) * edge;
      else if (dark) k -= 0.25f * edge;
    }
    *c = Scale(base, k);
    return cov;
  });
}

void PaintLed(Layer* f, float cx, float cy, bool lit)
{
  const Vec3 L = LightDir();
  const Color on = Rgb(255, 64, 36), off = Rgb(74, 20, 16);
  if (lit)
  {
    Layer glow(f->Width(), f->Height());
    glow.Paint(WholeLayer(glow), [&](float px, float py, Color* c) {
      *c = on;
      return Coverage(CircleDist(px, py, cx, cy, 6.5f));
    });
    glow.Blur(3);
    f->Compose(glow, 0, 0, 0.8f);
  }
  // Bezel ring, then the lens.
  f->Paint(WholeLayer(*f), [&](float px, float py, Color* c) {
    *c = Rgb(18, 17, 16);
    return Coverage(CircleDist(px, py, cx, cy, 5.5f));
  });
  f->Paint(WholeLayer(*f), [&](float px, float py, Color* c) {
    const float dx = px - cx, dy = py - cy, r = std::hypot(dx, dy);
    const float R = 4.2f;
    const float cov = Coverage(r - R);
    if (cov <= 0) return 0.0f;
    const Vec3 n = Normalize({dx / R * 0.7f, dy / R * 0.7f, 1});
    const Vec3 H = Normalize({L.x, L.y, L.z + 1});
    const float spec = std::pow(std::max(0.0f, Dot(n, H)), 40.0f);
    Color col = lit ? Mix(on, Rgb(255, 220, 180), Clamp01(1 - r / R) * 0.6f) : Scale(off, 0.8f + 0.4f * Dot(n, L));
    *c = Add(col, spec * (lit ? 0.3f : 0.45f));
    return cov;
  });
}

void PaintBypass(Layer* f, TextPainter& tp, bool on)
{
  // The key spans the faceplate's width; its image starts two columns left of the window.
  const float x0 = 12, y0 = 2, x1 = 292, y1 = 36;
  const float shift = on ? 1.0f : 0.0f;
  PaintKey(f, x0, y0 + shift, x1, y1 + shift, 4, Rgb(58, 55, 52), on);
  PaintLed(f, x0 + 20, (y0 + y1) * 0.5f + shift, on);
  const Color text = on ? Rgb(255, 150, 120) : Rgb(214, 206, 192);
  tp.DrawCentred(f, "BYPASS", {11, true, 3}, (int)((x0 + x1) * 0.5f), (int)(y0 + 23 + shift), text);
}

void PaintOversampling(Layer* f, TextPainter& tp, bool x16)
{
  // A recessed slot holding two segments; the selected one is a raised, lit key.
  const float x0 = 10, y0 = 2, x1 = 62, y1 = 22, mid = 34;
  f->Paint(WholeLayer(*f), [&](float px, float py, Color* c) {
    const float d = RoundRectDist(px, py, x0, y0, x1, y1, 3);
    const float cov = Coverage(d);
    if (cov <= 0) return 0.0f;
    // The slot's top wall is in shadow.
    const float k = 0.30f - 0.08f * Coverage(std::fabs(py - (y0 + 1)) - 1);
    *c = Scale(kPlate, k);
    return cov;
  });
  const float kx0 = x16 ? mid : x0 + 1, kx1 = x16 ? x1 - 1 : mid;
  PaintKey(f, kx0, y0 + 1, kx1, y1 - 2, 2, Rgb(84, 80, 76), false);
  const Color lit = Rgb(255, 196, 110), dim = Rgb(120, 114, 106);
  tp.DrawCentred(f, "4x", {9, true}, (int)((x0 + 1 + mid) * 0.5f), 16, x16 ? dim : lit);
  tp.DrawCentred(f, "16x", {9, true}, (int)((mid + x1 - 1) * 0.5f), 16, x16 ? lit : dim);
}

// ---------------------------------------------------------------------------------------

std::unique_ptr<LICE_MemBitmap> NewBitmap(int w, int h)
{
  std::unique_ptr<LICE_MemBitmap> bm(new LICE_MemBitmap(w, h));
  if (bm->getWidth() != w || bm->getHeight() != h) return nullptr;
  LICE_Clear(bm.get(), 0);
  return bm;
}

} // namespace

std::vector<Image> RenderArtwork()
{
  TextPainter tp;
  std::vector<Image> out;
  uint32_t seed = 1;
  for (const Placement& p : kPlacements)
  {
    Image img;
    img.name = p.name;
    img.frames = p.frames;
    img.bitmap = NewBitmap(p.frameW, p.frameH * p.frames);
    if (!img.bitmap) return {};
    for (int i = 0; i < p.frames; ++i)
    {
      Layer layer(p.frameW, p.frameH);
      const double v = p.frames > 1 ? (double)i / (p.frames - 1) : 0.0;
      if (img.name == "bg") PaintBackground(&layer, tp);
      else if (img.name == "by") PaintBypass(&layer, tp, i == 1);
      else if (img.name == "OVER") PaintOversampling(&layer, tp, i == 1);
      else
        for (const KnobDef& k : kKnobs)
          if (img.name == k.image)
            PaintKnobFrame(&layer, k, v, (float)(kColumnX[k.column] - p.x), (float)(kRowY[k.row] - p.y));
      layer.ToBitmap(img.bitmap.get(), 0, i * p.frameH, seed++);
    }
    out.push_back(std::move(img));
  }
  return out;
}

std::vector<double> DefaultValues()
{
  std::vector<double> v;
  for (const Placement& p : kPlacements)
  {
    const std::string n = p.name;
    // The bands and the output sit flat in the middle; HPF is off at its minimum, LPF open
    // at its maximum (its range ends at 0); both switches are off.
    if (n == "GainH" || n == "GainM" || n == "GainL" || n == "OUT") v.push_back(0.5);
    else if (n == "LPF") v.push_back(1.0);
    else v.push_back(0.0);
  }
  return v;
}

std::unique_ptr<LICE_MemBitmap> ComposePreview(const std::vector<Image>& images, const std::vector<double>& values)
{
  if ((int)images.size() != kPlacementCount || (int)values.size() != kPlacementCount) return nullptr;
  std::unique_ptr<LICE_MemBitmap> out = NewBitmap(kWindowW, kWindowH);
  if (!out) return nullptr;
  for (int i = 0; i < kPlacementCount; ++i)
  {
    const Placement& p = kPlacements[i];
    if (!images[i].bitmap) return nullptr;
    // The knob controls' frame choice: nearest frame to the value.
    const int frame = p.frames > 1 ? (int)(0.5 + std::min(1.0, std::max(0.0, values[i])) * (p.frames - 1)) : 0;
    LICE_Blit(out.get(), images[i].bitmap.get(), p.x, p.y, 0, frame * p.frameH, p.frameW, p.frameH, 1.0f,
              i == 0 ? LICE_MODE_COPY : LICE_MODE_COPY | LICE_USE_SOURCE_ALPHA);
  }
  return out;
}

std::vector<std::string> ScaleReport()
{
  TextPainter tp;
  std::vector<std::string> lines;
  for (const KnobDef& k : kKnobs)
    for (const PlacedLabel& l : LayoutScale(tp, k.kind, kColumnX[k.column], kRowY[k.row]))
    {
      char buf[160];
      std::snprintf(buf, sizeof buf, "%-6s %6s %s  position %.4f  measures %.2f", k.image, l.mark.text.c_str(),
                    k.unit, l.mark.position, MeasureKnob(k.kind, l.mark.position));
      lines.push_back(buf);
    }
  return lines;
}

} // namespace artwork
