// TORVEN's parameters and processing chain: control values, levels, DC
// removal, bypass and output gain, control glide, empty blocks, bad input,
// silence, and no allocation on the audio path.

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cstdio>
#include <limits>

#include "tests/torven/alloc_counter.h"
#include "tests/torven/torven_test_util.h"

using namespace torven_test;

namespace {

using A = TORVENTestAccess;

double Db(double ratio) { return 20.0 * std::log10(ratio); }

// Output level relative to input level, in dB, of a settled sine (both
// channels carry it; the left is measured). The window is a whole number of
// periods for 200 Hz and 1 kHz at 44.1 kHz.
double SineGainDb(int factor, double freq, double amp)
{
  const double fs = 44100.0;
  auto plug = OpenPlug(fs, factor);
  const size_t settle = 3 * 44100, window = 22050;
  const Stereo in = Sine(settle + window, fs, freq, amp);
  const Stereo out = RunBlocks(*plug, in);
  const double gain = Db(Rms(out.ch[0], settle, settle + window) / Rms(in.ch[0], settle, settle + window));
  std::printf("[ figure ] N=%d %.0f Hz at %g: %+.3f dB\n", factor, freq, amp, gain);
  return gain;
}

// ---------------------------------------------------------------- parameters

TEST(TorvenParams, OutputGainFromDecibels)
{
  auto plug = OpenPlug();
  SetParam(*plug, kOut, -15.0);
  EXPECT_EQ(A::OutGain(*plug), 0.1778279410038923);
  SetParam(*plug, kOut, 15.0);
  EXPECT_EQ(A::OutGain(*plug), 5.623413251903491);
  SetParam(*plug, kOut, 0.0);
  EXPECT_EQ(A::OutGain(*plug), 1.0);
}

TEST(TorvenParams, OversamplingSwitchAtHalfWay)
{
  auto plug = OpenPlug();
  IParam* p = plug->GetParam(kOversampling);
  const struct
  {
    double normalised;
    int factor;
  } cases[] = {{0.0, 4}, {0.49, 4}, {0.5, 16}, {0.75, 16}, {1.0, 16}, {0.2, 4}};
  for (const auto& c : cases)
  {
    p->SetNormalized(c.normalised);
    plug->OnParamChange(kOversampling);
    EXPECT_EQ(A::Oversampling(*plug), c.factor) << c.normalised;
  }
}

// Everything OnParamChange may touch, to show that some calls touch nothing.
struct Snapshot
{
  double v[7];
  int factor;
  explicit Snapshot(const TORVEN& p)
    : v{A::OutGain(p), A::GainH(p), A::GainM(p), A::GainL(p), A::HPF(p), A::LPF(p), A::SmoothH(p).z},
      factor(A::Oversampling(p))
  {
  }
  bool operator==(const Snapshot& o) const { return std::memcmp(v, o.v, sizeof v) == 0 && factor == o.factor; }
};

TEST(TorvenParams, BypassAndOutOfRangeIndicesChangeNothing)
{
  auto plug = OpenPlug();
  SetParam(*plug, kOut, 6.0);
  RunBlocks(*plug, Sine(1000, 44100.0, 440.0, 0.5));
  const Snapshot before(*plug);
  plug->GetParam(kBypass)->Set(1.0);
  plug->OnParamChange(kBypass);
  for (int idx : {-1, 8, 100, INT_MAX, INT_MIN}) plug->OnParamChange(idx);
  EXPECT_TRUE(Snapshot(*plug) == before);
}

TEST(TorvenParams, ResetClearsOnlyTheBesselHistories)
{
  auto plug = OpenPlug();
  RunBlocks(*plug, Sine(2000, 44100.0, 440.0, 0.5));
  const V553H high = A::High(*plug, 0);
  const V553HP hp = A::HighPass(*plug, 1);
  const V553L low = A::Low(*plug, 1);
  const double zH = A::SmoothH(*plug).z;
  const double sat = A::SatOut(*plug)[0];
  ASSERT_NE(A::UpL(*plug).y[0], 0.0);

  plug->Reset();
  for (const BesselStage* s : {&A::UpL(*plug), &A::DownL(*plug), &A::UpR(*plug), &A::DownR(*plug)})
    for (double y : s->y) EXPECT_EQ(Bits(y), Bits(0.0));
  EXPECT_EQ(std::memcmp(&A::High(*plug, 0), &high, sizeof high), 0);
  EXPECT_EQ(std::memcmp(&A::HighPass(*plug, 1), &hp, sizeof hp), 0);
  EXPECT_EQ(std::memcmp(&A::Low(*plug, 1), &low, sizeof low), 0);
  EXPECT_EQ(A::SmoothH(*plug).z, zH);
  EXPECT_EQ(A::SatOut(*plug)[0], sat);
}

// ---------------------------------------------------------------- levels

// "About" in the figures is read as rounded to a tenth of a dB, plus some
// slack for the measuring window: within 0.1 dB of the stated figure.
constexpr double kAboutDb = 0.1;

TEST(TorvenLevels, QuietSinesAtFactor4)
{
  EXPECT_NEAR(SineGainDb(4, 200.0, 0.01), 1.5, kAboutDb);
  EXPECT_NEAR(SineGainDb(4, 1000.0, 0.01), 1.4, kAboutDb);
}

TEST(TorvenLevels, QuietSinesAtFactor16)
{
  EXPECT_NEAR(SineGainDb(16, 200.0, 0.01), 1.5, kAboutDb);
  EXPECT_NEAR(SineGainDb(16, 1000.0, 0.01), 1.2, kAboutDb);
}

TEST(TorvenLevels, LoudSineSaturatesTheComponent)
{
  EXPECT_NEAR(SineGainDb(4, 200.0, 1.0), 0.3, kAboutDb);
  EXPECT_NEAR(SineGainDb(16, 200.0, 1.0), 0.3, kAboutDb);
}

TEST(TorvenLevels, ConstantInputIsRemoved)
{
  // The high-pass corner at HPF 0 lies near 10 Hz and the band shelves add
  // slow tails of their own: 20 s lets the step response die away.
  for (int factor : {4, 16})
  {
    auto plug = OpenPlug(44100.0, factor);
    Stereo in(20 * 44100);
    for (size_t i = 0; i < in.size(); ++i)
    {
      in.ch[0][i] = 0.5;
      in.ch[1][i] = -0.25;
    }
    const Stereo out = RunBlocks(*plug, in, 4096);
    const size_t n = in.size();
    const double left = MaxAbs(out.ch[0], n - 44100, n), right = MaxAbs(out.ch[1], n - 44100, n);
    std::printf("[ figure ] N=%d DC residual after 19 s: L %.3g R %.3g\n", factor, left, right);
    // -114 dB below the input; at N = 16 the floor is the saturation path's
    // own rounding noise (some 1e-8), at N = 4 it is near 1e-13.
    EXPECT_LT(left, 1e-6);
    EXPECT_LT(right, 1e-6);
  }
}

// ---------------------------------------------------------------- bypass, gain

TEST(TorvenBypass, OutputIsTheInputSampleForSample)
{
  for (int factor : {4, 16})
  {
    auto plug = OpenPlug(44100.0, factor);
    SetParam(*plug, kOut, -15.0);  // never applied while bypassed
    SetParam(*plug, kGainH, 1.0);
    SetParam(*plug, kBypass, 1.0);
    Stereo in = Sine(5000, 44100.0, 440.0, 0.7);
    in.ch[1][10] = std::numeric_limits<double>::quiet_NaN();
    in.ch[1][11] = -0.0;
    in.ch[0][12] = DBL_MIN / 4;  // a subnormal
    const Stereo out = RunBlocks(*plug, in, 333);
    for (int ch = 0; ch < 2; ++ch)
      for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(Bits(out.ch[ch][i]), Bits(in.ch[ch][i])) << ch << " " << i;

    // The same in place.
    Stereo buf = in;
    double* io[2] = {buf.ch[0].data(), buf.ch[1].data()};
    plug->ProcessDoubleReplacing(io, io, static_cast<int>(buf.size()));
    for (int ch = 0; ch < 2; ++ch)
      for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(Bits(buf.ch[ch][i]), Bits(in.ch[ch][i])) << ch << " " << i;
  }
}

TEST(TorvenGain, OutScalesTheProcessedOutputExactly)
{
  for (int factor : {4, 16})
  {
    auto unity = OpenPlug(44100.0, factor);
    auto quiet = OpenPlug(44100.0, factor);
    SetParam(*quiet, kOut, -15.0);
    Stereo in = Sine(8000, 44100.0, 300.0, 0.8);
    const Stereo a = RunBlocks(*unity, in), b = RunBlocks(*quiet, in);
    for (int ch = 0; ch < 2; ++ch)
      for (size_t i = 0; i < in.size(); ++i)
        ASSERT_EQ(Bits(b.ch[ch][i]), Bits(a.ch[ch][i] * 0.1778279410038923)) << ch << " " << i;
  }
}

// ---------------------------------------------------------------- glide

// Frames until a smoother starting settled at `from` covers the given share of
// the way to `to`, run one frame per block.
struct GlideTimes
{
  double t63, t95;  // seconds
};

GlideTimes MeasureGlide(double fs, int param, double from, double to, const OnePoleSmoother& (*smoother)(const TORVEN&),
                        double sign = 1.0)
{
  auto plug = OpenPlug(fs);
  SetParam(*plug, param, from);
  RunBlocks(*plug, Stereo(static_cast<size_t>(fs * 3)), 4096);  // settle to 1e-15
  SetParam(*plug, param, to);
  double dummy[2] = {0.0, 0.0};
  double* io[2] = {&dummy[0], &dummy[1]};
  GlideTimes t{-1.0, -1.0};
  const double z0 = smoother(*plug).z;
  EXPECT_NEAR(z0, sign * from, 1e-9);
  for (int n = 1; n < static_cast<int>(fs) && t.t95 < 0; ++n)
  {
    plug->ProcessDoubleReplacing(io, io, 1);
    const double share = (smoother(*plug).z - z0) / (sign * (to - from));
    if (t.t63 < 0 && share >= 1.0 - std::exp(-1.0)) t.t63 = n / fs;
    if (t.t95 < 0 && share >= 0.95) t.t95 = n / fs;
  }
  return t;
}

TEST(TorvenGlide, BandControlsTake80msFor63PercentAt44And96k)
{
  const double tau = 1.0 / (4.0 * kPi);  // two steps per frame of a 1 Hz pole
  for (double fs : {44100.0, 96000.0})
  {
    const GlideTimes t = MeasureGlide(fs, kGainH, 0.5, 1.0, &A::SmoothH);
    std::printf("[ figure ] GainH glide at %.0f Hz: 63%% in %.2f ms, 95%% in %.2f ms\n", fs, t.t63 * 1e3,
                t.t95 * 1e3);
    EXPECT_NEAR(t.t63, tau, 1.0 / fs + 1e-9);
    EXPECT_NEAR(t.t95, -std::log(0.05) * tau, 1.0 / fs + 1e-9);
    EXPECT_NEAR(t.t63, 0.080, 0.001);
    EXPECT_NEAR(t.t95, 0.240, 0.002);
  }
}

TEST(TorvenGlide, FilterControlsGlideTwiceAsFast)
{
  const double tau = 1.0 / (8.0 * kPi);
  for (double fs : {44100.0, 96000.0})
  {
    const GlideTimes hp = MeasureGlide(fs, kHPF, 0.0, 0.8, &A::SmoothHP);
    const GlideTimes lp = MeasureGlide(fs, kLPF, 0.0, -0.3, &A::SmoothLP, -1.0);
    std::printf("[ figure ] HPF/LPF glide at %.0f Hz: 63%% in %.2f / %.2f ms\n", fs, hp.t63 * 1e3, lp.t63 * 1e3);
    EXPECT_NEAR(hp.t63, tau, 1.0 / fs + 1e-9);
    EXPECT_NEAR(lp.t63, tau, 1.0 / fs + 1e-9);
  }
}

// ---------------------------------------------------------------- empty blocks

TEST(TorvenBlocks, EmptyBlockTouchesNoSampleButRedesignsTheFilters)
{
  for (int nFrames : {0, -1, INT_MIN})
  {
    auto plug = OpenPlug();
    RunBlocks(*plug, Sine(1000, 44100.0, 440.0, 0.5));
    const Snapshot before(*plug);
    const V553L low = A::Low(*plug, 0);
    const double zHP = A::SmoothHP(*plug).z;

    SetParam(*plug, kOversampling, 1.0);
    double in0[4] = {1, 2, 3, 4}, in1[4] = {5, 6, 7, 8}, out0[4] = {9, 9, 9, 9}, out1[4] = {9, 9, 9, 9};
    double* ins[2] = {in0, in1};
    double* outs[2] = {out0, out1};
    plug->ProcessDoubleReplacing(ins, outs, nFrames);

    for (double v : out0) EXPECT_EQ(v, 9.0);
    for (double v : out1) EXPECT_EQ(v, 9.0);
    EXPECT_EQ(in0[3], 4.0);
    EXPECT_EQ(std::memcmp(&A::Low(*plug, 0), &low, sizeof low), 0);
    EXPECT_EQ(A::SmoothHP(*plug).z, zHP);
    EXPECT_EQ(A::SmoothH(*plug).z, before.v[6]);

    WDL_BesselFilterCoeffs want;
    want.Calc(0.2 / 16.0);
    for (const WDL_BesselFilterCoeffs* c : {&A::BesselL(*plug), &A::BesselR(*plug)})
    {
      EXPECT_EQ(c->gain, want.gain);
      EXPECT_EQ(std::memcmp(c->c, want.c, sizeof want.c), 0);
    }
  }
}

TEST(TorvenBlocks, MissingBuffersAreRefused)
{
  auto plug = OpenPlug();
  double buf[8] = {};
  double* ok[2] = {buf, buf + 4};
  double* half[2] = {buf, nullptr};
  plug->ProcessDoubleReplacing(nullptr, ok, 4);
  plug->ProcessDoubleReplacing(ok, nullptr, 4);
  plug->ProcessDoubleReplacing(half, ok, 4);
  plug->ProcessDoubleReplacing(ok, half, 4);
  EXPECT_EQ(A::SmoothH(*plug).z, 0.0);  // nothing ran
}

// ---------------------------------------------------------------- bad input

TEST(TorvenBadInput, OutputIsFiniteRightAfterTheBadSamples)
{
  const double inf = std::numeric_limits<double>::infinity();
  const double bad[] = {std::numeric_limits<double>::quiet_NaN(), inf, -inf, 1e300, -1e300, DBL_MAX, -DBL_MAX};
  for (int factor : {4, 16})
    for (double b : bad)
      for (int run : {1, 3, 600})  // one sample, a few, more than a block
      {
        auto plug = OpenPlug(44100.0, factor);
        SetParam(*plug, kGainH, 1.0);  // full boost: the most gain in the chain
        SetParam(*plug, kGainL, 1.0);
        SetParam(*plug, kOut, 15.0);
        const size_t start = 10000, n = 3 * 44100;
        Stereo in = Sine(n, 44100.0, 220.0, 0.5);
        for (size_t i = start; i < start + run; ++i) in.ch[0][i] = b;
        in.ch[1][start] = b;  // a single bad sample on the right
        const Stereo out = RunBlocks(*plug, in, 512);

        for (size_t i = 0; i < n; ++i)
        {
          const bool badL = i >= start && i < start + run, badR = i == start;
          if (!badL)
          {
            ASSERT_TRUE(std::isfinite(out.ch[0][i])) << "N=" << factor << " bad " << b << " frame " << i;
          }
          if (!badR)
          {
            ASSERT_TRUE(std::isfinite(out.ch[1][i])) << "N=" << factor << " bad " << b << " frame " << i;
          }
        }
      }
}

TEST(TorvenBadInput, ChainRecoversItsCleanOutput)
{
  for (int factor : {4, 16})
  {
    auto hit = OpenPlug(44100.0, factor);
    auto clean = OpenPlug(44100.0, factor);
    const size_t n = 6 * 44100;
    Stereo in = Sine(n, 44100.0, 440.0, 0.3);
    Stereo bad = in;
    bad.ch[0][20000] = std::numeric_limits<double>::quiet_NaN();
    bad.ch[0][20001] = DBL_MAX;
    const Stereo a = RunBlocks(*hit, bad), b = RunBlocks(*clean, in);
    // The right channel never saw it: identical.
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(Bits(a.ch[1][i]), Bits(b.ch[1][i]));
    // The left channel is back on the clean signal once the cleared
    // sections' transient has died away (the low shelf's tail shrinks about
    // 7x per second).
    double diff = 0.0;
    for (size_t i = n - 44100; i < n; ++i) diff = std::max(diff, std::fabs(a.ch[0][i] - b.ch[0][i]));
    std::printf("[ figure ] N=%d deviation 4.5-5.5 s after a NaN: %.3g\n", factor, diff);
    EXPECT_LT(diff, 1e-6);
  }
}

// ---------------------------------------------------------------- silence

TEST(TorvenSilence, ExactZerosFromAFreshStart)
{
  for (int factor : {4, 16})
  {
    auto plug = OpenPlug(44100.0, factor);
    const Stereo out = RunBlocks(*plug, Stereo(44100));
    for (int ch = 0; ch < 2; ++ch)
      for (double v : out.ch[ch]) ASSERT_EQ(Bits(v), Bits(0.0));
  }
}

// After signal the Bessel stages settle into a rounding limit cycle above
// their flush threshold (about 1e-14 at N = 4, 2e-10 at N = 16, where the
// design is badly conditioned), which keeps a tiny residual in the output for
// good once the low shelf's tail (about 7x per second) has gone.
TEST(TorvenSilence, OnlyTinyResidualsAfterSignal)
{
  for (int factor : {4, 16})
  {
    auto plug = OpenPlug(44100.0, factor);
    RunBlocks(*plug, Sine(44100, 44100.0, 440.0, 0.9));
    const Stereo out = RunBlocks(*plug, Stereo(15 * 44100), 4096);
    const size_t n = out.size();
    const double tail = std::max(MaxAbs(out.ch[0], n - 44100, n), MaxAbs(out.ch[1], n - 44100, n));
    std::printf("[ figure ] N=%d residual 14-15 s into silence: %.3g\n", factor, tail);
    EXPECT_LT(tail, factor == 4 ? 1e-14 : 1e-10);
    EXPECT_TRUE(std::isfinite(tail));
  }
}

// ---------------------------------------------------------------- real time

TEST(TorvenRealTime, ProcessingAllocatesNothing)
{
  for (int factor : {4, 16})
  {
    auto plug = OpenPlug(44100.0, factor);
    SetParam(*plug, kGainM, 0.9);
    Stereo in = Sine(4096, 44100.0, 440.0, 0.5);
    Stereo out(in.size());
    double* ins[2] = {in.ch[0].data(), in.ch[1].data()};
    double* outs[2] = {out.ch[0].data(), out.ch[1].data()};
    ArmAllocCounter();
    plug->ProcessDoubleReplacing(ins, outs, 4096);
    plug->ProcessDoubleReplacing(ins, outs, 0);
    EXPECT_EQ(DisarmAllocCounter(), 0);
  }
}

}  // namespace
