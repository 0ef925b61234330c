// plughost response reads back responses known in closed form (the test
// plug-in's gain and one-pole filter) by both excitations, in both precisions,
// at several rates; on a third-party plug-in it agrees with a steady-state
// sine and with itself across excitations; the command writes the table it
// promises and refuses bad input with one line, leaving no file behind.
#include "tests/response/response_test_p.h"

#include "tools/demo.h"
#include "tools/params.h"
#include "tools/vsthost.h"

#include <dirent.h>

namespace {

using namespace plughost_test;
using response_test::Compare;
using response_test::Worst;
using Cplx = std::complex<double>;
constexpr double kPi = 3.14159265358979323846;

// The test plug-in: gain 10^((-24 + 48 g) / 20) after s = a s + (1 - a) x
// with a = 0.9 t^2 (g, t the normalised Gain and Tone).
Cplx FakeResponse(double gain, double tone, double hz, double rate)
{
  const double g = std::pow(10.0, (-24.0 + 48.0 * gain) / 20.0);
  const double a = 0.9 * tone * tone;
  return g * (1.0 - a) / (1.0 - a * std::polar(1.0, -2.0 * kPi * hz / rate));
}

std::string Text(double v)
{
  char buf[32];
  snprintf(buf, sizeof(buf), "%.17g", v);
  return buf;
}

plughost::ResponseRequest FakeRequest(double gain, double tone, double rate)
{
  plughost::ResponseRequest r;
  r.plugin = FAKE_PLUGIN;
  r.normalised = true;
  r.settings = {{"Gain", Text(gain)}, {"Tone", Text(tone)}};
  r.rate = rate;
  return r;
}

TEST(ResponseMeasurement, ReadsBackAKnownResponse)
{
  using plughost::Excitation;
  struct Case
  {
    const char* name;
    double gain, tone, rate;
    Excitation excitation;
    bool useDouble;
    double levelDb;
  };
  const Case cases[] = {
    {"flat +12 dB, sweep", 0.75, 0.0, 48000.0, Excitation::kSweep, false, -30.0},
    {"one-pole a = 0.225, sweep, 44.1 kHz", 0.5, 0.5, 44100.0, Excitation::kSweep, false, -30.0},
    {"one-pole a = 0.9 at -6 dB, sweep, double, 96 kHz", 0.375, 1.0, 96000.0, Excitation::kSweep, true, -30.0},
    {"one-pole a = 0.9, impulse", 0.5, 1.0, 48000.0, Excitation::kImpulse, false, -30.0},
    {"flat -24 dB, impulse at -60 dBFS, double, 192 kHz", 0.0, 0.0, 192000.0, Excitation::kImpulse, true, -60.0},
    {"one-pole a = 0.9, sweep at 0 dBFS", 0.5, 1.0, 48000.0, Excitation::kSweep, false, 0.0},
  };
  for (const Case& c : cases)
  {
    plughost::ResponseRequest r = FakeRequest(c.gain, c.tone, c.rate);
    r.excitation = c.excitation;
    r.useDouble = c.useDouble;
    r.levelDb = c.levelDb;
    r.settleSeconds = 0.5;
    plughost::Response h;
    std::string error;
    ASSERT_TRUE(plughost::MeasureResponse(r, &h, &error)) << c.name << ": " << error;
    const plughost::PlotCurve curve = plughost::SampleCurve(h, c.name, 160);
    ASSERT_EQ(curve.hz.size(), 481u);
    const Worst w = Compare(curve.hz, curve.db, curve.deg,
                            [&](double hz) { return FakeResponse(c.gain, c.tone, hz, c.rate); });
    EXPECT_LT(w.db, 0.001) << c.name << " at " << w.dbAt << " Hz";
    EXPECT_LT(w.deg, 0.01) << c.name;
  }
}

// The complex gain at hz read from the steady state of a sine: a least-squares
// fit of sin and cos over the last half second of two.
Cplx SineGain(const std::string& path, const std::vector<plughost::Setting>& settings, double rate, double hz)
{
  std::string error;
  auto p = vsthost::Plugin::Load(path, &error);
  if (!p) return 0.0;
  p->recordCalls = false;
  p->Setup(rate, 512);
  if (!plughost::ApplySettings(*p, settings, false, false, &error)) return 0.0;
  const double A = std::pow(10.0, -30.0 / 20.0);
  const size_t frames = (size_t)(2.0 * rate), from = frames * 3 / 4;
  std::vector<double> in(frames);
  for (size_t n = 0; n < frames; ++n) in[n] = A * std::sin(2.0 * kPi * hz * (double)n / rate);
  int outs = 0;
  const std::vector<double> out = plughost::RenderBuffer(*p, in, 1, rate, 512, false, &outs);
  double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0;
  for (size_t n = from; n < frames; ++n)
  {
    const double s = std::sin(2.0 * kPi * hz * (double)n / rate), c = std::cos(2.0 * kPi * hz * (double)n / rate);
    const double y = out[n * (size_t)outs];
    ss += s * s, sc += s * c, cc += c * c, ys += y * s, yc += y * c;
  }
  const double det = ss * cc - sc * sc;
  // y = A |H| sin(wn + phi) = A |H| (cos phi sin wn + sin phi cos wn)
  const double p1 = (ys * cc - yc * sc) / det, q1 = (yc * ss - ys * sc) / det;
  return Cplx(p1, q1) / A;
}

TEST(ResponseMeasurement, ThirdPartyPluginAgreesWithSteadyStateSines)
{
  REQUIRE_PLUGIN(k3BandEQ);
  const std::vector<plughost::Setting> settings = {{"Low", "-12"}, {"Mid", "6"}, {"High", "12"}};
  const double rate = 48000.0;
  plughost::Response sweep, impulse;
  std::string error;
  plughost::ResponseRequest r;
  r.plugin = k3BandEQ;
  r.settings = settings;
  r.rate = rate;
  ASSERT_TRUE(plughost::MeasureResponse(r, &sweep, &error)) << error;
  r.excitation = plughost::Excitation::kImpulse;
  ASSERT_TRUE(plughost::MeasureResponse(r, &impulse, &error)) << error;

  for (double hz : {25.0, 110.0, 640.0, 3000.0, 12500.0, 19000.0})
  {
    const Cplx s = SineGain(k3BandEQ, settings, rate, hz);
    EXPECT_NEAR(plughost::MagnitudeDb(sweep.At(hz)), plughost::MagnitudeDb(s), 0.01) << hz << " Hz";
    EXPECT_NEAR(response_test::PhaseDifference(plughost::PhaseDegrees(sweep.At(hz)), plughost::PhaseDegrees(s)),
                0.0, 0.1)
        << hz << " Hz";
  }
  const plughost::PlotCurve a = plughost::SampleCurve(sweep, "sweep", 160);
  const Worst w = Compare(a.hz, a.db, a.deg, [&](double hz) { return impulse.At(hz); });
  EXPECT_LT(w.db, 0.01) << "at " << w.dbAt << " Hz";
  EXPECT_LT(w.deg, 0.1);
  // The settings do what they say: most of -12 dB at the bottom (gentle
  // crossovers), most of +12 dB at the top.
  EXPECT_LT(plughost::MagnitudeDb(sweep.At(20.0)), -9.0);
  EXPECT_GT(plughost::MagnitudeDb(sweep.At(20000.0)), 10.5);
}

std::vector<std::string> Listing(const std::string& dir)
{
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str()))
  {
    while (dirent* e = readdir(d))
      if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) names.push_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ResponseCommand, RefusesBadInputInOneLineAndWritesNothing)
{
  ScratchDir dir;
  const std::string png = dir / "r.png", aFile = dir / "file", nowhere = dir / "nowhere";
  ASSERT_TRUE(WriteAudio(aFile, {0.0}, 1, 8000));
  struct Refusal
  {
    std::vector<std::string> args;
    int code;
    std::string words;
  };
  const Refusal refusals[] = {
    {{}, 2, "response needs PLUGIN.so OUT.png"},
    {{FAKE_PLUGIN}, 2, "response needs PLUGIN.so OUT.png"},
    {{FAKE_PLUGIN, png, "--rate", "22050"}, 2, "cannot measure at '22050' Hz"},
    {{FAKE_PLUGIN, png, "--rate", "800000"}, 2, "cannot measure at '800000' Hz"},
    {{FAKE_PLUGIN, png, "--rate", "48000.5"}, 2, "cannot measure at"},
    {{FAKE_PLUGIN, png, "--level", "3"}, 2, "bad level '3'"},
    {{FAKE_PLUGIN, png, "--db", "6:-6"}, 2, "bad dB range '6:-6'"},
    {{FAKE_PLUGIN, png, "--width", "10"}, 2, "bad width"},
    {{FAKE_PLUGIN, png, "--output", "0"}, 2, "bad output"},
    {{FAKE_PLUGIN, png, "--set", "Gain"}, 2, "--set needs NAME=VALUE"},
    {{FAKE_PLUGIN, png, "--csv"}, 2, "--csv needs a file name"},
    {{FAKE_PLUGIN, png, "--bogus"}, 2, "unknown option '--bogus'"},
    {{FAKE_NOINPUT_PLUGIN, png}, 1, "has no audio input"},
    {{dir / "missing.so", png}, 1, "cannot load"},
    {{aFile, png}, 1, "cannot load"},
    {{FAKE_PLUGIN, png, "--output", "3"}, 1, "there is no output 3"},
    {{FAKE_PLUGIN, png, "--set", "Nonesuch=1"}, 1, "Nonesuch"},
    {{FAKE_PLUGIN, png, "--compare", "--plugin", FAKE_NOINPUT_PLUGIN}, 1, "has no audio input"},
    {{FAKE_PLUGIN, nowhere + "/r.png"}, 1, "cannot write " + nowhere + "/r.png"},
    {{FAKE_PLUGIN, aFile + "/r.png"}, 1, "cannot write " + aFile + "/r.png"},
    {{FAKE_PLUGIN, dir.Path()}, 1, "it is a folder"},
    {{FAKE_PLUGIN, png, "--csv", nowhere + "/r.csv"}, 1, "cannot write " + nowhere + "/r.csv"},
  };
  for (const Refusal& r : refusals)
  {
    std::vector<std::string> args = {"response"};
    args.insert(args.end(), r.args.begin(), r.args.end());
    SCOPED_TRACE(r.words);
    ExpectOneLineError(RunPlughost(args), r.code, r.words);
    EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{"file"});
  }
}

TEST(ResponseCommand, WritesThePlotAndOneTableLinePerFrequency)
{
  ScratchDir dir;
  const RunResult r = RunPlughost({"response", FAKE_PLUGIN, dir / "r.png", "--norm", "--set", "Gain=0.75", "--label",
                                   "flat +12", "--compare", "--set", "Tone=1", "--settle", "0.5", "--phase", "--csv",
                                   dir / "r.csv"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err.find("plughost:"), std::string::npos) << r.err;  // (a sanitizer may report there)
  EXPECT_NE(r.out.find("(2 curves)"), std::string::npos) << r.out;

  response_test::Table t;
  ASSERT_TRUE(response_test::ReadCsv(dir / "r.csv", &t));
  EXPECT_EQ(t.commentLines, 2);
  ASSERT_EQ(t.rows.size(), 481u);
  const std::vector<double> hz = plughost::LogFrequencies(20.0, 20000.0, 160);
  for (size_t i = 0; i < t.rows.size(); ++i)
  {
    ASSERT_EQ(t.rows[i].size(), 5u) << "line " << i;
    EXPECT_NEAR(t.rows[i][0], hz[i], 0.0005);
  }
  EXPECT_EQ(t.rows.front()[0], 20.0);
  EXPECT_EQ(t.rows.back()[0], 20000.0);
  const struct
  {
    double gain, tone;
  } expected[2] = {{0.75, 0.0}, {0.5, 1.0}};
  for (int c = 0; c < 2; ++c)
  {
    std::vector<double> f, db, deg;
    response_test::Column(t, c, &f, &db, &deg);
    const Worst w = Compare(f, db, deg, [&](double x) { return FakeResponse(expected[c].gain, expected[c].tone, x, 48000.0); });
    // The table rounds to 0.0001 dB and 0.001 degrees.
    EXPECT_LT(w.db, 0.001) << "curve " << c << " at " << w.dbAt;
    EXPECT_LT(w.deg, 0.01) << "curve " << c;
  }

  std::unique_ptr<LICE_IBitmap> bm(LICE_LoadPNG((dir / "r.png").c_str()));
  ASSERT_TRUE(bm);
  EXPECT_EQ(bm->getWidth(), 1200);
  EXPECT_GT(bm->getHeight(), 700);  // two panels
  // Written whole: nothing but the two results is left in the folder.
  EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"r.csv", "r.png"}));
}

TEST(ResponseCommand, DemoDrawsItsResponseCurves)
{
  ScratchDir dir;
  std::string error;
  testing::internal::CaptureStdout();
  const int rc = plughost::RunDemo(FAKE_PLUGIN, dir.Path(), &error);
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(rc, 0) << error;
  EXPECT_NE(out.find("response.png"), std::string::npos);
  std::unique_ptr<LICE_IBitmap> bm(LICE_LoadPNG((dir / "response.png").c_str()));
  ASSERT_TRUE(bm);
  EXPECT_EQ(bm->getWidth(), 1200);
}

}  // namespace
