// TORVEN through the host, as a user would run it: the output does not depend
// on block slicing, the float and double paths agree to float precision,
// parameters are reachable by name in their own units, and the demo's
// settings do what their names say.
#include "tests/plughost/plughost_test_util.h"

#include "tools/demo.h"
#include "tools/params.h"
#include "tools/render.h"

namespace {

using namespace plughost_test;

// TORVEN's parameters (index: name, range).
constexpr int kOut = 0;     // OUT, -15 .. 15 dB
constexpr int kHPF = 1;     // HPF, 0 .. 0.96, shape 0.25
constexpr int kGainH = 3;   // GainH, 0 .. 1, 0.5 flat
constexpr int kOversampling = 7;

const double kRate = 48000.0;

std::unique_ptr<vsthost::Plugin> LoadTorven()
{
  std::string error;
  auto p = vsthost::Plugin::Load(TORVEN_SO, &error);
  EXPECT_TRUE(p) << error;
  if (p) p->Open();
  return p;
}

struct Config
{
  const char* name;
  std::vector<std::pair<int, float>> normalised;
};

const Config kConfigs[] = {
  {"defaults", {}},
  {"high boost, low cut, 16x", {{kGainH, 1.f}, {kHPF, 0.7724762f}, {kOversampling, 1.f}}},
};

std::vector<double> RenderTorven(const Config& c, const std::vector<double>& in, int block, bool useDouble)
{
  auto p = LoadTorven();
  if (!p) return {};
  for (const auto& s : c.normalised) p->SetParameter(s.first, s.second);
  return plughost::RenderBuffer(*p, in, 2, kRate, block, useDouble, nullptr);
}

TEST(TorvenRender, BlockSizeDoesNotChangeTheOutput)
{
  const std::vector<double> piece = plughost::MakeDemoPiece(kRate, 1.0);
  for (const Config& c : kConfigs)
  {
    const std::vector<double> reference = RenderTorven(c, piece, 4096, false);
    // The plug-in must have done something: at its defaults it is nearly
    // flat, so the level stays within a few dB of the input's.
    if (c.normalised.empty()) EXPECT_NEAR(20 * std::log10(Rms(reference) / Rms(piece)), 0.0, 3.0) << c.name;
    else EXPECT_GT(Rms(reference), 0.01) << c.name;
    double worst = 0.0;
    for (int block : {1, 7, 64, 512, 1000})
    {
      const double diff = MaxAbsDiff(RenderTorven(c, piece, block, false), reference);
      EXPECT_EQ(diff, 0.0) << c.name << ", block " << block << " against 4096";
      worst = std::max(worst, diff);
    }
    RecordProperty(std::string("max_diff_") + (c.normalised.empty() ? "defaults" : "settings"), std::to_string(worst));
  }
}

TEST(TorvenRender, FloatAndDoublePathsAgree)
{
  // Float-exact input, so both paths start from the same samples.
  std::vector<double> piece = plughost::MakeDemoPiece(kRate, 1.0);
  for (double& v : piece) v = (double)(float)v;
  for (const Config& c : kConfigs)
  {
    const std::vector<double> f = RenderTorven(c, piece, 512, false);
    const std::vector<double> d = RenderTorven(c, piece, 512, true);
    ASSERT_EQ(f.size(), d.size());
    EXPECT_GT(Rms(d), 0.01) << c.name;
    double worst = 0.0;
    size_t off = 0;
    for (size_t i = 0; i < f.size(); ++i)
    {
      // The plug-in works in double either way: the float output is the
      // double one rounded once.
      if (f[i] != (double)(float)d[i]) ++off;
      worst = std::max(worst, std::fabs(f[i] - d[i]));
    }
    EXPECT_EQ(off, 0u) << c.name << ": samples that are not the double result rounded to float";
    EXPECT_LT(worst, 1e-7) << c.name;
  }
}

TEST(TorvenRender, ParametersByNameInTheirOwnUnits)
{
  auto p = LoadTorven();
  ASSERT_TRUE(p);
  int i = -1;
  std::string error;
  ASSERT_TRUE(vsthost::FindParameter(*p, "out", &i, &error)) << error;
  EXPECT_EQ(i, kOut);
  ASSERT_TRUE(vsthost::SetParameterPlain(*p, i, "-6", &error)) << error;
  EXPECT_NEAR(p->GetParameter(kOut), 0.3f, 1e-6);  // -6 in -15 .. 15
  ASSERT_TRUE(vsthost::FindParameter(*p, "GAINH", &i, &error)) << error;
  EXPECT_EQ(i, kGainH);
  ASSERT_TRUE(vsthost::FindParameter(*p, "7", &i, &error)) << error;
  EXPECT_EQ(i, kOversampling);
}

TEST(TorvenRender, InfoShowsNamesVendorAndDisplays)
{
  const RunResult r = RunPlughost({"info", TORVEN_SO});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("unique ID:      'Trv1'\n"), std::string::npos);
  EXPECT_NE(r.out.find("vendor:         Morvane\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("effect name:    TORVEN\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("VST version:    2400\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  0    OUT "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  3    GainH "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  receiveVstTimeInfo       yes\n"), std::string::npos) << r.out;
}

TEST(TorvenRender, CommandLineRenderAndProgramRoundTrip)
{
  ScratchDir dir;
  const std::string in = dir / "in.wav";
  ASSERT_TRUE(WriteAudio(in, plughost::MakeDemoPiece(kRate, 0.5), 2, (int)kRate));
  RunResult r = RunPlughost({"render", TORVEN_SO, in, dir / "a.wav", "--norm", "--set", "3=0.8", "--set",
                             "0=0.4", "--save-fxp", dir / "a.fxp", "--block", "100"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Slurp(dir / "a.fxp").size(), 56u + 8 * 4);
  r = RunPlughost({"render", TORVEN_SO, in, dir / "b.wav", "--fxp", dir / "a.fxp", "--double"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  Audio a, b;
  ASSERT_TRUE(ReadAudio(dir / "a.wav", &a));
  ASSERT_TRUE(ReadAudio(dir / "b.wav", &b));
  EXPECT_EQ(a.Frames(), 24000u);
  EXPECT_LT(MaxAbsDiff(a.data, b.data), 1e-7);
  EXPECT_GT(Rms(a.data), 0.01);
}

TEST(TorvenDemo, SettingsDoWhatTheirNamesSay)
{
  const std::vector<double> piece = plughost::MakeDemoPiece(kRate, 2.0);
  const plughost::BandLevels dry = plughost::MeasureBands(RenderTorven(kConfigs[0], piece, 512, false), 2, kRate);
  const plughost::BandLevels boost =
    plughost::MeasureBands(RenderTorven({"boost", {{kGainH, 1.f}}}, piece, 512, false), 2, kRate);
  const plughost::BandLevels cut =
    plughost::MeasureBands(RenderTorven({"cut", {{kHPF, 0.7724762f}}}, piece, 512, false), 2, kRate);
  using plughost::ToDb;
  EXPECT_GT(ToDb(dry.Total()), -30.0);
  EXPECT_GT(ToDb(boost.high), ToDb(dry.high) + 6.0);
  EXPECT_NEAR(ToDb(boost.low), ToDb(dry.low), 1.5);
  EXPECT_LT(ToDb(cut.low), ToDb(dry.low) - 3.0);
  EXPECT_NEAR(ToDb(cut.high), ToDb(dry.high), 1.5);

  ScratchDir dir;
  const RunResult r = RunPlughost({"demo", TORVEN_SO, dir / "out"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  for (const char* f : {"input.wav", "dry.wav", "high-boost.wav", "low-cut.wav", "oversampling-16x.wav"})
    EXPECT_TRUE(Exists(dir / (std::string("out/") + f))) << f;
  EXPECT_NE(r.out.find("high band boost"), std::string::npos);
  EXPECT_EQ(r.out.find("silent"), std::string::npos) << r.out;
}

}  // namespace
