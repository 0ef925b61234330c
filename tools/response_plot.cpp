#include "tools/response_plot.h"

#include "WDL/lice/lice_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace plughost {

namespace {

// Geometry, in pixels. Sizes are chosen to read at 100 % on a normal screen.
constexpr int kMarginLeft = 76;
constexpr int kMarginRight = 30;
constexpr int kMarginTop = 18;
constexpr int kMagnitudeHeight = 460;
constexpr int kPhaseHeight = 190;
constexpr int kPanelGap = 34;
constexpr int kAxisTitleX = 22;  // centre of the rotated axis titles
constexpr int kTickGap = 8;     // between a panel and its tick labels
constexpr int kLegendSwatch = 30;
constexpr int kLegendSpacing = 30;
constexpr int kLegendRow = 24;
constexpr int kMarginBottom = 18;

constexpr int kTickPx = 13;
constexpr int kLegendPx = 14;
constexpr int kTitlePx = 18;
constexpr int kSubtitlePx = 13;

const LICE_pixel kBackground = LICE_RGBA(255, 255, 255, 255);
const LICE_pixel kFrame = LICE_RGBA(120, 120, 120, 255);
const LICE_pixel kDecadeLine = LICE_RGBA(196, 196, 196, 255);
const LICE_pixel kOctaveLine = LICE_RGBA(228, 228, 228, 255);
const LICE_pixel kLevelLine = LICE_RGBA(222, 222, 222, 255);
const LICE_pixel kZeroLine = LICE_RGBA(150, 150, 150, 255);
const LICE_pixel kText = LICE_RGBA(40, 40, 40, 255);
const LICE_pixel kSubtleText = LICE_RGBA(96, 96, 96, 255);

// Near-black for the first curve (usually the reference), then the ten
// colours of the Tableau palette, chosen to stay apart from one another.
const LICE_pixel kCurveColors[] = {
  LICE_RGBA(25, 25, 25, 255),   LICE_RGBA(31, 119, 180, 255), LICE_RGBA(255, 127, 14, 255),
  LICE_RGBA(44, 160, 44, 255),  LICE_RGBA(214, 39, 40, 255),  LICE_RGBA(148, 103, 189, 255),
  LICE_RGBA(140, 86, 75, 255),  LICE_RGBA(227, 119, 194, 255), LICE_RGBA(188, 189, 34, 255),
  LICE_RGBA(23, 190, 207, 255), LICE_RGBA(127, 127, 127, 255),
};

// Octave lines at 1 kHz times powers of two, labelled with the nominal
// octave-band names; the decades get darker lines.
struct FrequencyTick
{
  double hz;
  const char* label;
  bool decade;
};
const FrequencyTick kFrequencyTicks[] = {
  {20.0, "20", false},        {31.25, "31.5", false},   {62.5, "63", false},    {100.0, "100", true},
  {125.0, "125", false},      {250.0, "250", false},    {500.0, "500", false},  {1000.0, "1k", true},
  {2000.0, "2k", false},      {4000.0, "4k", false},    {8000.0, "8k", false},  {10000.0, "10k", true},
  {16000.0, "16k", false},    {20000.0, "20k", false},
};

// A DejaVu Sans face through the text layer, with the ink extent of digits
// so labels can be centred on what the eye sees rather than on the line box.
class Face
{
public:
  // A rotated face runs bottom to top (axis titles).
  Face(int pixels, bool bold, bool rotated = false)
  {
    HFONT h = CreateFont(pixels, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, 0, 0, 0, 0, 0, 0, ANTIALIASED_QUALITY, 0,
                         "DejaVu Sans");
    mFont.SetFromHFont(h, LICE_FONT_FLAG_OWNS_HFONT |
                              (rotated ? LICE_FONT_FLAG_VERTICAL | LICE_FONT_FLAG_VERTICAL_BOTTOMUP : 0));
    mFont.SetBkMode(TRANSPARENT);
    mFont.SetCombineMode(LICE_MODE_COPY, 1.0f);
    if (!rotated) MeasureDigitInk();
  }

  RECT Extent(const std::string& s)
  {
    RECT r = {0, 0, 0, 0};
    mFont.DrawText(nullptr, s.c_str(), -1, &r, kFlags | DT_CALCRECT);
    return r;
  }
  int Width(const std::string& s) { return Extent(s).right; }
  // Rotated faces: centred on (x, y).
  void DrawCentred(LICE_IBitmap* bm, const std::string& s, int x, int y, LICE_pixel color)
  {
    const RECT e = Extent(s);
    RECT r = {x - e.right / 2, y - e.bottom / 2, x - e.right / 2 + e.right, y - e.bottom / 2 + e.bottom};
    mFont.SetTextColor(color);
    mFont.DrawText(bm, s.c_str(), -1, &r, kFlags);
  }
  int LineHeight() { return mFont.GetLineHeight(); }

  // Draws with the box's left edge at x and its top at y.
  void Draw(LICE_IBitmap* bm, const std::string& s, int x, int y, LICE_pixel color)
  {
    RECT r = {x, y, x + Width(s) + 2, y + LineHeight()};
    mFont.SetTextColor(color);
    mFont.DrawText(bm, s.c_str(), -1, &r, kFlags);
  }
  // Horizontal: 0 left, 1 centred, 2 right of x. Vertical: digits' ink
  // centred on y.
  void DrawAligned(LICE_IBitmap* bm, const std::string& s, int x, int y, int align, LICE_pixel color)
  {
    const int w = Width(s);
    const int left = align == 0 ? x : align == 1 ? x - w / 2 : x - w;
    Draw(bm, s, left, TopForInkCentre(y), color);
  }
  int TopForInkCentre(int y) const { return y - (mInkTop + mInkBottom) / 2; }
  int InkTop() const { return mInkTop; }
  int InkBottom() const { return mInkBottom; }

private:
  static constexpr unsigned int kFlags = DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP | DT_LEFT | DT_TOP;

  void MeasureDigitInk()
  {
    const std::string digits = "0123456789";
    LICE_MemBitmap scratch(Width(digits) + 4, LineHeight() + 4);
    LICE_Clear(&scratch, LICE_RGBA(0, 0, 0, 255));
    Draw(&scratch, digits, 2, 2, LICE_RGBA(255, 255, 255, 255));
    int top = -1, bottom = -1;
    for (int y = 0; y < scratch.getHeight(); ++y)
      for (int x = 0; x < scratch.getWidth(); ++x)
        if (LICE_GETG(LICE_GetPixel(&scratch, x, y)) > 64)
        {
          if (top < 0) top = y;
          bottom = y + 1;
        }
    mInkTop = top < 0 ? 0 : top - 2;
    mInkBottom = bottom < 0 ? LineHeight() : bottom - 2;
  }

  LICE_CachedFont mFont;
  int mInkTop = 0, mInkBottom = 0;
};

std::string DbLabel(double v, double step)
{
  char buf[32];
  if (std::fabs(v) < step * 1e-6) return "0";
  // A real minus sign: a hyphen is too short beside a plus.
  if (step >= 1.0) snprintf(buf, sizeof(buf), "%s%.0f", v > 0 ? "+" : "\xE2\x88\x92", std::fabs(v));
  else snprintf(buf, sizeof(buf), "%s%.1f", v > 0 ? "+" : "\xE2\x88\x92", std::fabs(v));
  return buf;
}

std::string DegreeLabel(int deg)
{
  char buf[32];
  if (deg == 0) return "0\xC2\xB0";
  snprintf(buf, sizeof(buf), "%s%d\xC2\xB0", deg > 0 ? "+" : "\xE2\x88\x92", std::abs(deg));
  return buf;
}

// A line about `width` pixels wide: parallel anti-aliased lines across the
// segment's normal. Overlaps of one opaque colour stay that colour.
void ThickLine(LICE_IBitmap* bm, double x1, double y1, double x2, double y2, LICE_pixel c, const RECT& clip)
{
  const double dx = x2 - x1, dy = y2 - y1, len = std::hypot(dx, dy);
  if (!(len > 0.0)) return;
  const double nx = -dy / len, ny = dx / len;
  for (double o : {-0.6, 0.0, 0.6})
  {
    float ax = (float)(x1 + nx * o), ay = (float)(y1 + ny * o);
    float bx = (float)(x2 + nx * o), by = (float)(y2 + ny * o);
    if (LICE_ClipFLine(&ax, &ay, &bx, &by, (float)clip.left, (float)clip.top, (float)clip.right - 1.0f,
                       (float)clip.bottom - 1.0f))
      LICE_FLine(bm, ax, ay, bx, by, c, 1.0f, LICE_MODE_COPY, true);
  }
}

void Frame(LICE_IBitmap* bm, const RECT& r)
{
  LICE_DrawRect(bm, r.left, r.top, r.right - 1 - r.left, r.bottom - 1 - r.top, kFrame, 1.0f, LICE_MODE_COPY);
}

void VerticalGrid(LICE_IBitmap* bm, const PlotLayout& L, const RECT& r)
{
  // Octave lines first, so a decade line that coincides with one (1 kHz) wins.
  for (int pass = 0; pass < 2; ++pass)
    for (const FrequencyTick& t : kFrequencyTicks)
    {
      if (t.decade != (pass == 1)) continue;
      const int x = (int)std::lround(L.XForHz(t.hz));
      LICE_Line(bm, x, r.top, x, r.bottom - 1, t.decade ? kDecadeLine : kOctaveLine, 1.0f, LICE_MODE_COPY, false);
    }
}

struct LegendEntry
{
  std::string label;
  LICE_pixel color;
  int width;  // swatch, gap and text
};

// Rows of legend entries, each row as wide as it needs and no wider than maxWidth.
std::vector<std::vector<LegendEntry>> FlowLegend(const std::vector<LegendEntry>& entries, int maxWidth)
{
  std::vector<std::vector<LegendEntry>> rows;
  int used = 0;
  for (const LegendEntry& e : entries)
  {
    if (rows.empty() || (used + kLegendSpacing + e.width > maxWidth && !rows.back().empty()))
    {
      rows.emplace_back();
      used = -kLegendSpacing;
    }
    rows.back().push_back(e);
    used += kLegendSpacing + e.width;
  }
  return rows;
}

int RowWidth(const std::vector<LegendEntry>& row)
{
  int w = 0;
  for (const LegendEntry& e : row) w += e.width;
  return w + kLegendSpacing * (int)(row.size() > 0 ? row.size() - 1 : 0);
}

}  // namespace

double PlotLayout::XForHz(double hz) const
{
  const double t = std::log10(hz / kPlotLoHz) / std::log10(kPlotHiHz / kPlotLoHz);
  return magnitude.left + t * (double)(magnitude.right - 1 - magnitude.left);
}

double PlotLayout::YForDb(double v) const
{
  const double t = (db.hi - v) / (db.hi - db.lo);
  return magnitude.top + t * (double)(magnitude.bottom - 1 - magnitude.top);
}

double PlotLayout::YForDegrees(double deg) const
{
  const double t = (180.0 - deg) / 360.0;
  return phase.top + t * (double)(phase.bottom - 1 - phase.top);
}

LICE_pixel CurveColor(size_t index)
{
  return kCurveColors[index % (sizeof(kCurveColors) / sizeof(kCurveColors[0]))];
}

double DbStep(double span)
{
  static const double kSteps[] = {0.1, 0.2, 0.5, 1.0, 2.0, 3.0, 6.0, 12.0, 24.0, 48.0};
  for (double s : kSteps)
    if (span / s <= 10.0 + 1e-9) return s;
  return 96.0;
}

DbAxis FitDbAxis(const std::vector<PlotCurve>& curves)
{
  double lo = 0.0, hi = 0.0;
  for (const PlotCurve& c : curves)
    for (size_t i = 0; i < c.hz.size() && i < c.db.size(); ++i)
    {
      if (c.hz[i] < kPlotLoHz * 0.999 || c.hz[i] > kPlotHiHz * 1.001 || !std::isfinite(c.db[i])) continue;
      lo = std::min(lo, c.db[i]);
      hi = std::max(hi, c.db[i]);
    }
  // A curve that touches a grid line at the edge would hide in the frame.
  hi += 0.5;
  lo -= 0.5;
  lo = std::max(lo, hi - kMaxFittedSpanDb);
  if (hi - lo < 12.0)
  {
    // Twelve dB around the curves' middle, on a 2 dB boundary so that a
    // nearly flat curve sits on a labelled level.
    const double middle = 2.0 * std::round((hi + lo) / 4.0);
    lo = std::min(lo, middle - 6.0);
    hi = std::max(hi, middle + 6.0);
  }
  DbAxis a;
  for (int attempt = 0; attempt < 4; ++attempt)
  {
    a.step = DbStep(hi - lo);
    a.lo = std::floor(lo / a.step + 1e-9) * a.step;
    a.hi = std::ceil(hi / a.step - 1e-9) * a.step;
    // Rounding out can add up to two steps; take the next step if it did.
    if ((a.hi - a.lo) / a.step <= 10.0 + 1e-9) break;
    lo = a.lo;
    hi = a.hi;
  }
  return a;
}

std::unique_ptr<LICE_MemBitmap> DrawResponsePlot(const std::vector<PlotCurve>& curves, const PlotOptions& options,
                                                 PlotLayout* layoutOut)
{
  Face tick(kTickPx, false), legend(kLegendPx, false), title(kTitlePx, true), subtitle(kSubtitlePx, false);
  Face axisTitle(kTickPx, false, true);

  PlotLayout L;
  L.width = std::max(600, std::min(8000, options.width));
  if (options.fixedRange && options.dbHi > options.dbLo)
  {
    L.db.lo = options.dbLo;
    L.db.hi = options.dbHi;
    L.db.step = DbStep(options.dbHi - options.dbLo);
  }
  else
    L.db = FitDbAxis(curves);

  int y = kMarginTop;
  const int titleTop = y;
  if (!options.title.empty()) y += title.LineHeight() + 2;
  const int subtitleTop = y;
  if (!options.subtitle.empty()) y += subtitle.LineHeight();
  y += 14;  // room for the top tick label
  const int plotLeft = kMarginLeft, plotRight = L.width - kMarginRight;
  // Whole pixels per step, so every labelled level is one crisp row and a flat
  // curve at a level lies on it.
  const int levels = std::max(1, (int)std::lround((L.db.hi - L.db.lo) / L.db.step));
  const int magnitudeHeight = (kMagnitudeHeight - 1) / levels * levels + 1;
  L.magnitude = {plotLeft, y, plotRight, y + magnitudeHeight};
  y = L.magnitude.bottom;
  if (options.phase)
  {
    y += kPanelGap;
    L.phase = {plotLeft, y, plotRight, y + (kPhaseHeight - 1) / 8 * 8 + 1};  // 45 degrees a step
    y = L.phase.bottom;
  }
  const int tickRow = y + kTickGap + tick.LineHeight() / 2;
  const int axisTitleRow = tickRow + tick.LineHeight() + 4;

  std::vector<LegendEntry> entries;
  for (size_t i = 0; i < curves.size(); ++i)
  {
    const std::string label = curves[i].label.empty() ? "curve " + std::to_string(i + 1) : curves[i].label;
    entries.push_back({label, CurveColor(i), kLegendSwatch + 8 + legend.Width(label)});
  }
  const auto rows = FlowLegend(entries, plotRight - plotLeft);
  const int legendTop = axisTitleRow + tick.LineHeight() / 2 + 14;
  L.height = legendTop + (int)rows.size() * kLegendRow + kMarginBottom;

  auto bm = std::make_unique<LICE_MemBitmap>(L.width, L.height);
  LICE_Clear(bm.get(), kBackground);

  // Magnitude panel: levels, frequencies, 0 dB, curves, frame.
  const RECT& M = L.magnitude;
  for (int i = 0; i <= levels; ++i)
  {
    const double v = L.db.lo + i * L.db.step;
    const int ly = (int)std::lround(L.YForDb(v));
    LICE_Line(bm.get(), M.left, ly, M.right - 1, ly, kLevelLine, 1.0f, LICE_MODE_COPY, false);
  }
  VerticalGrid(bm.get(), L, M);
  if (L.db.lo < 0.0 && L.db.hi > 0.0)
  {
    const int zy = (int)std::lround(L.YForDb(0.0));
    LICE_Line(bm.get(), M.left, zy, M.right - 1, zy, kZeroLine, 1.0f, LICE_MODE_COPY, false);
  }
  // The first curve goes on top: it is usually the one the others are read against.
  for (size_t c = curves.size(); c-- > 0;)
  {
    const PlotCurve& k = curves[c];
    for (size_t i = 1; i < k.hz.size() && i < k.db.size(); ++i)
    {
      if (k.hz[i - 1] <= 0.0 || k.hz[i] <= 0.0) continue;
      ThickLine(bm.get(), L.XForHz(k.hz[i - 1]), L.YForDb(k.db[i - 1]), L.XForHz(k.hz[i]), L.YForDb(k.db[i]),
                CurveColor(c), M);
    }
  }
  Frame(bm.get(), M);
  for (int i = 0; i <= levels; ++i)
  {
    const double v = L.db.lo + i * L.db.step;
    tick.DrawAligned(bm.get(), DbLabel(v, L.db.step), M.left - 8, (int)std::lround(L.YForDb(v)), 2, kText);
  }
  axisTitle.DrawCentred(bm.get(), "Level (dB)", kAxisTitleX, (M.top + M.bottom) / 2, kSubtleText);

  // Phase panel: every 45 degrees a line, every 90 a label.
  if (options.phase)
  {
    const RECT& P = L.phase;
    for (int d = -180; d <= 180; d += 45)
    {
      const int ly = (int)std::lround(L.YForDegrees(d));
      LICE_Line(bm.get(), P.left, ly, P.right - 1, ly, d == 0 ? kZeroLine : kLevelLine, 1.0f, LICE_MODE_COPY, false);
    }
    VerticalGrid(bm.get(), L, P);
    for (size_t c = curves.size(); c-- > 0;)
    {
      const PlotCurve& k = curves[c];
      for (size_t i = 1; i < k.hz.size() && i < k.deg.size(); ++i)
      {
        // A wrap from +180 to -180 is no part of the curve.
        if (k.hz[i - 1] <= 0.0 || k.hz[i] <= 0.0 || std::fabs(k.deg[i] - k.deg[i - 1]) > 180.0) continue;
        ThickLine(bm.get(), L.XForHz(k.hz[i - 1]), L.YForDegrees(k.deg[i - 1]), L.XForHz(k.hz[i]),
                  L.YForDegrees(k.deg[i]), CurveColor(c), P);
      }
    }
    Frame(bm.get(), P);
    for (int d = -180; d <= 180; d += 90)
      tick.DrawAligned(bm.get(), DegreeLabel(d), P.left - 8, (int)std::lround(L.YForDegrees(d)), 2, kText);
    axisTitle.DrawCentred(bm.get(), "Phase", kAxisTitleX, (P.top + P.bottom) / 2, kSubtleText);
  }

  for (const FrequencyTick& t : kFrequencyTicks)
    tick.DrawAligned(bm.get(), t.label, (int)std::lround(L.XForHz(t.hz)), tickRow, 1, t.decade ? kText : kSubtleText);
  tick.DrawAligned(bm.get(), "Frequency (Hz)", (M.left + M.right) / 2, axisTitleRow, 1, kSubtleText);

  if (!options.title.empty()) title.Draw(bm.get(), options.title, M.left, titleTop, kText);
  if (!options.subtitle.empty()) subtitle.Draw(bm.get(), options.subtitle, M.left, subtitleTop, kSubtleText);

  // Legend rows, centred under the panels.
  for (size_t r = 0; r < rows.size(); ++r)
  {
    int x = (M.left + M.right) / 2 - RowWidth(rows[r]) / 2;
    const int cy = legendTop + (int)r * kLegendRow + kLegendRow / 2;
    for (const LegendEntry& e : rows[r])
    {
      RECT all = {0, 0, L.width, L.height};
      ThickLine(bm.get(), x, cy, x + kLegendSwatch, cy, e.color, all);
      legend.DrawAligned(bm.get(), e.label, x + kLegendSwatch + 8, cy, 0, kText);
      x += e.width + kLegendSpacing;
    }
  }

  if (layoutOut) *layoutOut = L;
  return bm;
}

}  // namespace plughost
