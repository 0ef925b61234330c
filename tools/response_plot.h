#pragma once
// Response curves drawn with our own raster, shapes and text layers: a
// magnitude panel (and optionally a phase panel below it) over a logarithmic
// 20 Hz - 20 kHz axis with decade and octave grid lines, a dB axis that fits
// the curves, labelled ticks, a title and a legend. Text is DejaVu Sans.
//
// The geometry is computed first (PlotLayout) and the drawing follows it, so
// tests can ask where a frequency or a level lands. One thread: the text
// layer's glyph caches are not shared across threads.

#include "WDL/lice/lice.h"

#include <memory>
#include <string>
#include <vector>

namespace plughost {

struct PlotCurve
{
  std::string label;
  std::vector<double> hz, db, deg;  // one point per frequency, frequencies rising
};

struct PlotOptions
{
  std::string title;
  std::string subtitle;
  int width = 1200;   // the height follows from the panels and the legend
  bool phase = false; // add the phase panel
  // A fixed dB range; otherwise FitDbAxis chooses one.
  bool fixedRange = false;
  double dbLo = 0.0, dbHi = 0.0;
};

constexpr double kPlotLoHz = 20.0;
constexpr double kPlotHiHz = 20000.0;
// The widest range the fitted axis shows below its top: deeper notches and
// stop bands run off the bottom rather than squash the rest.
constexpr double kMaxFittedSpanDb = 96.0;

struct DbAxis
{
  double lo = -12.0, hi = 12.0, step = 6.0;  // lo and hi are multiples of step
};

// The smallest range, on a step from 1-2-3-6 dB multiples, that holds every
// curve between 20 Hz and 20 kHz with a little headroom, always shows 0 dB
// and spans at least 12 dB, with at most ten steps.
DbAxis FitDbAxis(const std::vector<PlotCurve>& curves);
// The step for a given range, as FitDbAxis picks it.
double DbStep(double span);

// Where things land, in pixels of the image.
struct PlotLayout
{
  int width = 0, height = 0;
  RECT magnitude = {0, 0, 0, 0};  // plot areas: grid and curves lie inside
  RECT phase = {0, 0, 0, 0};      // empty without the phase panel
  DbAxis db;

  double XForHz(double hz) const;
  double YForDb(double db) const;
  double YForDegrees(double deg) const;
};

// The curve colours, in order (they repeat after the last).
LICE_pixel CurveColor(size_t index);

// Draws the plot into a new bitmap; *layout (if given) receives the geometry.
std::unique_ptr<LICE_MemBitmap> DrawResponsePlot(const std::vector<PlotCurve>& curves, const PlotOptions& options,
                                                 PlotLayout* layout = nullptr);

}  // namespace plughost
