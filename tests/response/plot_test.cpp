// The response plot: the dB axis fits the curves on readable steps, a level
// lands on the row its tick label names (a +12 dB curve reads +12 dB), the
// frequency axis spans 20 Hz - 20 kHz with its grid, curves stay inside their
// panels, and a long legend wraps instead of running off the image.
#include "tools/response_plot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>

namespace {

using plughost::PlotCurve;

class Plot : public ::testing::Test
{
protected:
  static void SetUpTestSuite() { setenv("FONTCONFIG_FILE", TORVEN_ARTWORK_FONTCONFIG, 1); }
};

PlotCurve Flat(double db, double deg = 0.0, const char* label = "flat")
{
  PlotCurve c;
  c.label = label;
  for (int i = 0; i <= 300; ++i)
  {
    c.hz.push_back(20.0 * std::pow(1000.0, i / 300.0));
    c.db.push_back(db);
    c.deg.push_back(deg);
  }
  return c;
}

PlotCurve Ramp(double fromDb, double toDb)
{
  PlotCurve c = Flat(0.0);
  for (size_t i = 0; i < c.db.size(); ++i) c.db[i] = fromDb + (toDb - fromDb) * (double)i / (double)(c.db.size() - 1);
  return c;
}

TEST_F(Plot, TheDbAxisFitsTheCurvesOnReadableSteps)
{
  struct Case
  {
    const char* name;
    std::vector<PlotCurve> curves;
    double lo, hi, step;
  };
  const Case cases[] = {
    {"flat 0 dB: at least 12 dB shown", {Flat(0.0)}, -6.0, 6.0, 2.0},
    {"+12 dB shelf", {Flat(0.0), Ramp(0.0, 12.0)}, -2.0, 14.0, 2.0},
    {"boost and cut of 15 dB", {Ramp(-15.0, 15.0)}, -18.0, 18.0, 6.0},
    {"0 dB stays in view, off the frame, above a curve", {Flat(-30.0)}, -36.0, 6.0, 6.0},
    {"a deep stop band runs off the bottom", {Ramp(-300.0, 3.0)}, -96.0, 12.0, 12.0},
    {"small wiggles", {Ramp(-0.2, 0.3)}, -6.0, 6.0, 2.0},
    {"no curves", {}, -6.0, 6.0, 2.0},
  };
  for (const Case& c : cases)
  {
    const plughost::DbAxis a = plughost::FitDbAxis(c.curves);
    EXPECT_EQ(a.lo, c.lo) << c.name;
    EXPECT_EQ(a.hi, c.hi) << c.name;
    EXPECT_EQ(a.step, c.step) << c.name;
    EXPECT_LE((a.hi - a.lo) / a.step, 10.0) << c.name;
  }
}

bool Near(LICE_pixel p, LICE_pixel q, int tolerance)
{
  return std::abs((int)LICE_GETR(p) - (int)LICE_GETR(q)) <= tolerance &&
         std::abs((int)LICE_GETG(p) - (int)LICE_GETG(q)) <= tolerance &&
         std::abs((int)LICE_GETB(p) - (int)LICE_GETB(q)) <= tolerance;
}

bool Dark(LICE_pixel p) { return LICE_GETR(p) < 128 && LICE_GETG(p) < 128 && LICE_GETB(p) < 128; }

TEST_F(Plot, ALevelLandsOnTheRowItsLabelNames)
{
  plughost::PlotLayout L;
  auto bm = plughost::DrawResponsePlot({Flat(12.0, 45.0)}, {"title", "subtitle", 1200, true}, &L);
  ASSERT_TRUE(bm);
  EXPECT_EQ(bm->getWidth(), 1200);
  EXPECT_EQ(bm->getHeight(), L.height);
  const RECT& M = L.magnitude;
  EXPECT_EQ(L.XForHz(20.0), M.left);
  EXPECT_EQ(L.XForHz(20000.0), M.right - 1);
  EXPECT_NEAR(L.XForHz(std::sqrt(20.0 * 20000.0)), (M.left + M.right - 1) / 2.0, 1e-9);  // the geometric middle
  EXPECT_EQ(std::fmod(12.0, L.db.step), 0.0) << "+12 dB is a labelled level";

  // Levels fall on whole rows: the curve covers its row fully.
  EXPECT_EQ(L.YForDb(12.0), std::round(L.YForDb(12.0)));
  const int y12 = (int)L.YForDb(12.0);
  for (double hz : {30.0, 300.0, 3000.0, 19000.0})
    EXPECT_TRUE(Near(LICE_GetPixel(bm.get(), (int)std::lround(L.XForHz(hz)), y12), plughost::CurveColor(0), 8))
        << hz << " Hz";
  // The "+12" label: its ink is centred on that row, right of the margin and left of the frame.
  int top = -1, bottom = -1;
  for (int y = y12 - 12; y <= y12 + 12; ++y)
    for (int x = M.left - 40; x < M.left - 2; ++x)
      if (Dark(LICE_GetPixel(bm.get(), x, y)))
      {
        if (top < 0) top = y;
        bottom = y;
      }
  ASSERT_GE(top, 0) << "no label beside +12 dB";
  EXPECT_NEAR((top + bottom) / 2.0, y12, 1.0);

  // The phase panel lies below, and its curve at +45 degrees on that row.
  EXPECT_GT(L.phase.top, M.bottom);
  EXPECT_TRUE(Near(LICE_GetPixel(bm.get(), (int)std::lround(L.XForHz(1500.0)),
                                 (int)std::lround(L.YForDegrees(45.0))),
                   plughost::CurveColor(0), 8));
}

TEST_F(Plot, GridLinesAndCurvesStayInsideThePanels)
{
  plughost::PlotLayout L;
  plughost::PlotOptions o;
  o.fixedRange = true;
  o.dbLo = -6.0;
  o.dbHi = 6.0;
  auto bm = plughost::DrawResponsePlot({Flat(20.0), Flat(-20.0)}, o, &L);
  const RECT& M = L.magnitude;
  EXPECT_EQ(L.phase.right, 0) << "no phase panel unless asked";
  // Off-scale curves are clipped at the frame: the strips just outside it stay blank.
  for (int x = M.left; x < M.right; ++x)
    for (int y : {M.top - 4, M.top - 2, M.top - 1, M.bottom, M.bottom + 1, M.bottom + 3})
      EXPECT_EQ(LICE_GetPixel(bm.get(), x, y), LICE_RGBA(255, 255, 255, 255)) << x << "," << y;
  // Decade lines are darker than octave lines, which are darker than the background.
  const int y = (int)std::lround(L.YForDb(1.0));
  const LICE_pixel decade = LICE_GetPixel(bm.get(), (int)std::lround(L.XForHz(1000.0)), y);
  const LICE_pixel octave = LICE_GetPixel(bm.get(), (int)std::lround(L.XForHz(250.0)), y);
  const LICE_pixel plain = LICE_GetPixel(bm.get(), (int)std::lround(L.XForHz(350.0)), y);
  EXPECT_LT(LICE_GETG(decade), LICE_GETG(octave));
  EXPECT_LT(LICE_GETG(octave), LICE_GETG(plain));
}

TEST_F(Plot, ALongLegendWrapsAndEveryCurveHasItsOwnColour)
{
  std::vector<PlotCurve> curves;
  for (int i = 0; i < 11; ++i) curves.push_back(Flat(i, 0.0, "a rather long legend label"));
  plughost::PlotLayout one, many;
  plughost::DrawResponsePlot({curves[0]}, {}, &one);
  auto bm = plughost::DrawResponsePlot(curves, {}, &many);
  EXPECT_GE((many.height - many.magnitude.bottom) - (one.height - one.magnitude.bottom), 2 * 24)
      << "eleven long entries need three rows or more";
  std::set<LICE_pixel> colours;
  for (size_t i = 0; i < curves.size(); ++i) colours.insert(plughost::CurveColor(i));
  EXPECT_EQ(colours.size(), curves.size());
  // Nothing is drawn in the last rows: the legend fits inside the image.
  for (int x = 0; x < bm->getWidth(); ++x)
    EXPECT_EQ(LICE_GetPixel(bm.get(), x, bm->getHeight() - 2), LICE_RGBA(255, 255, 255, 255)) << x;
}

}  // namespace
