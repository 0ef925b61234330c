// The processing chain against a literal, unoptimised transcription of its
// per-frame order (exp every frame, member smoothers stepped in place, the
// single-channel saturation path left then right, the sections run whether
// bypassed or not, and the clearing of a channel's sections after a
// non-finite result), together with what Reset and a factor change clear.
// Every output sample and the final state must match bit for bit, across
// parameter moves, both factors, bypass toggles with controls moving while
// bypassed, rate changes with and without a Reset, Resets at an unchanged
// rate, odd block sizes, aliased buffers, and inputs that probe every branch
// of the saturation path.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "Coeffs/saturation.h"
#include "tests/torven/torven_test_util.h"

using namespace torven_test;

namespace {

struct ReferenceChain
{
  OnePoleSmoother sL, sM, sH, sHP, sLP;
  V553M mid[2];
  V553L low[2];
  V553H high[2];
  V553HP hp[2];
  V553LP lp[2];
  WDL_BesselFilterCoeffs besselL, besselR;
  BesselStage upL, downL, upR, downR;
  double satOut[2] = {0.0, 0.0};
  double sectionRate = 0.0;  // the rate the sections last ran at

  // Control values, as OnParamChange derives them.
  double outGain = 1.0, gainH = 0.5, gainM = 0.5, gainL = 0.5, hpf = 0.0, lpf = 0.0;
  int factor = 4;
  int bypass = 0;

  void ClearSections(int ch)
  {
    high[ch].Reset();
    hp[ch].Reset();
    lp[ch].Reset();
    mid[ch].Reset();
    low[ch].Reset();
  }

  void ClearStages()
  {
    upL.Reset();
    downL.Reset();
    upR.Reset();
    downR.Reset();
  }

  // TORVEN::Reset with the plug-in's rate at fs.
  void Reset(double fs)
  {
    ClearStages();
    if (fs != sectionRate)
    {
      ClearSections(0);
      ClearSections(1);
    }
  }

  double Sections(int ch, double x)
  {
    x = low[ch].Process(mid[ch].Process(lp[ch].Process(hp[ch].Process(high[ch].Process(x)))));
    if (!std::isfinite(x)) ClearSections(ch);
    return x;
  }

  void Process(const double* in0p, const double* in1p, double* out0p, double* out1p, int nFrames, double fs)
  {
    besselL.Calc(0.2 / double(factor));
    besselR.Calc(0.2 / double(factor));
    for (int n = 0; n < nFrames; ++n)
    {
      const double in0 = in0p[n], in1 = in1p[n];
      const double a = std::exp((1.0 / fs) * (-6.283185307179586));
      const double b = 1.0 - a;
      for (OnePoleSmoother* s : {&sH, &sL, &sM, &sHP, &sLP})
      {
        s->a = a;
        s->b = b;
      }
      high[0].Calc(fs, 1.0 - sH.Step(gainH));
      high[1].Calc(fs, 1.0 - sH.Step(gainH));
      for (int ch = 0; ch < 2; ++ch)
      {
        const double t1 = a * sHP.z + b * hpf;
        const double t2 = a * t1 + b * hpf;
        sHP.z = t2;
        hp[ch].Calc(2.0 * fs, 1.0 - t1, 1.0 - t2);
      }
      for (int ch = 0; ch < 2; ++ch)
      {
        const double q1 = a * sLP.z - b * lpf;
        const double q2 = a * q1 - b * lpf;
        sLP.z = q2;
        lp[ch].Calc(fs * 0.5, q1, q2);
      }
      mid[0].Calc(fs, 1.0 - sM.Step(gainM));
      mid[1].Calc(fs, 1.0 - sM.Step(gainM));
      low[0].Calc(fs, 1.0 - sL.Step(gainL));
      low[1].Calc(fs, 1.0 - sL.Step(gainL));
      const double s0 = in0 * 10.0, s1 = in1 * 10.0;
      SaturationPath(s0, factor, besselL, upL, downL, satOut[0]);
      SaturationPath(s1, factor, besselR, upR, downR, satOut[1]);
      const double y0 = Sections(0, satOut[0] * 0.03162277660168379 + in0);
      const double y1 = Sections(1, satOut[1] * 0.03162277660168379 + in1);
      sectionRate = fs;
      if (bypass == 0)
      {
        out0p[n] = y0 * outGain;
        out1p[n] = y1 * outGain;
      }
      else if (bypass == 1)
      {
        out0p[n] = in0;
        out1p[n] = in1;
      }
    }
  }
};

// Sets a parameter on both; the reference mirrors OnParamChange.
void Set(TORVEN& plug, ReferenceChain& ref, int idx, double value)
{
  SetParam(plug, idx, value);
  const double v = plug.GetParam(idx)->Value();
  switch (idx)
  {
    case kOut: ref.outGain = std::pow(10.0, v / 20.0); break;
    case kHPF: ref.hpf = v; break;
    case kLPF: ref.lpf = v; break;
    case kGainH: ref.gainH = v; break;
    case kGainM: ref.gainM = v; break;
    case kGainL: ref.gainL = v; break;
    case kBypass: ref.bypass = static_cast<int>(v); break;
    case kOversampling:
    {
      const int factor = static_cast<int>(v) != 0 ? 16 : 4;
      if (factor != ref.factor) ref.ClearStages();
      ref.factor = factor;
      break;
    }
  }
}

// A parameter (param >= 0), then a new rate (rate > 0), then a Reset, on both.
void Change(TORVEN& plug, ReferenceChain& ref, int param, double value, double rate, bool reset, double& fs)
{
  if (param >= 0) Set(plug, ref, param, value);
  if (rate > 0)
  {
    fs = rate;
    plug.SetSampleRate(fs);
  }
  if (reset)
  {
    plug.Reset();
    ref.Reset(fs);
  }
}

template <class S>
void ExpectSameSection(const S& got, const S& want)
{
  const double* g = &got.x;
  const double* w = &want.x;
  for (int i = 0; i < 16; ++i) EXPECT_EQ(Bits(g[i]), Bits(w[i])) << "field " << i;
}

void ExpectSameStage(const BesselStage& got, const BesselStage& want)
{
  for (int i = 0; i < WDL_BesselFilterCoeffs::kOrder; ++i) EXPECT_EQ(Bits(got.y[i]), Bits(want.y[i]));
}

void ExpectSameState(const TORVEN& plug, const ReferenceChain& ref)
{
  using A = TORVENTestAccess;
  const std::pair<const OnePoleSmoother*, const OnePoleSmoother*> smoothers[] = {
      {&A::SmoothH(plug), &ref.sH}, {&A::SmoothM(plug), &ref.sM}, {&A::SmoothL(plug), &ref.sL},
      {&A::SmoothHP(plug), &ref.sHP}, {&A::SmoothLP(plug), &ref.sLP}};
  for (const auto& s : smoothers)
  {
    EXPECT_EQ(Bits(s.first->a), Bits(s.second->a));
    EXPECT_EQ(Bits(s.first->b), Bits(s.second->b));
    EXPECT_EQ(Bits(s.first->z), Bits(s.second->z));
  }
  for (int ch = 0; ch < 2; ++ch)
  {
    ExpectSameSection(A::High(plug, ch), ref.high[ch]);
    ExpectSameSection(A::HighPass(plug, ch), ref.hp[ch]);
    ExpectSameSection(A::LowPass(plug, ch), ref.lp[ch]);
    ExpectSameSection(A::Mid(plug, ch), ref.mid[ch]);
    ExpectSameSection(A::Low(plug, ch), ref.low[ch]);
    EXPECT_EQ(Bits(A::SatOut(plug)[ch]), Bits(ref.satOut[ch]));
  }
  ExpectSameStage(A::UpL(plug), ref.upL);
  ExpectSameStage(A::DownL(plug), ref.downL);
  ExpectSameStage(A::UpR(plug), ref.upR);
  ExpectSameStage(A::DownR(plug), ref.downR);
  EXPECT_EQ(A::SectionRate(plug), ref.sectionRate);
}

// A signal with some of everything: two tones of different level per
// channel, a step, and a stretch of silence.
Stereo TestSignal(size_t n, double fs)
{
  Stereo s(n);
  for (size_t i = 0; i < n; ++i)
  {
    const double t = static_cast<double>(i) / fs;
    s.ch[0][i] = 0.6 * std::sin(2.0 * kPi * 330.0 * t) + 0.05 * std::sin(2.0 * kPi * 7300.0 * t);
    s.ch[1][i] = (i % 3000 < 1500 ? 0.3 : -0.2) + 0.01 * std::sin(2.0 * kPi * 90.0 * t);
    if (i % 7000 > 6000)
    {
      s.ch[0][i] = 0.0;
      s.ch[1][i] = 0.0;
    }
  }
  return s;
}

struct Step
{
  int block;        // frames in this block
  int param;        // parameter set before it, or -1
  double value;
  double rate;      // sample rate set before it, or 0
  bool reset;       // Reset after that (as the host's rate, block size and
                    // suspend calls do)
};

void RunScenario(int factor, bool aliased, bool avx2)
{
  auto plug = OpenPlug(44100.0, factor);
  TORVENTestAccess::UseAvx2(*plug, avx2);
  ReferenceChain ref;
  ref.factor = factor;

  const Step steps[] = {
      {512, -1, 0, 0, false},            {1, kGainH, 0.9, 0, false},         {300, kGainM, 0.1, 0, false},
      {512, kGainL, 0.8, 0, false},      {64, kHPF, 0.7, 0, false},          {512, kLPF, -0.25, 0, false},
      {17, kOut, -7.3, 0, false},        {512, kBypass, 1, 0, false},        {100, kGainH, 0.2, 0, false},
      {256, kGainL, 0.1, 0, true},       {512, kBypass, 0, 0, false},        {0, kOversampling, 1, 0, false},
      {300, kOversampling, 1, 0, false}, {512, -1, 0, 96000.0, true},        {200, -1, 0, 96000.0, true},
      {333, kOversampling, 0, 0, false}, {512, kHPF, 0.0, 48000.0, false},   {100, -1, 0, 0, true},
      {2, kOut, 15.0, 0, false},         {64, kBypass, 1, 22050.0, true},    {128, kOversampling, 1, 0, false},
      {300, kBypass, 0, 0, false},       {1024, kLPF, 0.0, 44100.0, true},
  };
  size_t total = 0;
  for (const Step& s : steps) total += static_cast<size_t>(s.block);
  const Stereo in = TestSignal(total, 44100.0);
  Stereo got = in;  // processed in place when aliased
  Stereo want(total);

  double fs = 44100.0;
  size_t pos = 0;
  for (const Step& s : steps)
  {
    Change(*plug, ref, s.param, s.value, s.rate, s.reset, fs);
    double* ins[2] = {const_cast<double*>(in.ch[0].data() + pos), const_cast<double*>(in.ch[1].data() + pos)};
    double* outs[2] = {got.ch[0].data() + pos, got.ch[1].data() + pos};
    plug->ProcessDoubleReplacing(aliased ? outs : ins, outs, s.block);
    ref.Process(ins[0], ins[1], want.ch[0].data() + pos, want.ch[1].data() + pos, s.block, fs);
    pos += static_cast<size_t>(s.block);
  }

  for (int ch = 0; ch < 2; ++ch)
    for (size_t i = 0; i < total; ++i)
      ASSERT_EQ(Bits(got.ch[ch][i]), Bits(want.ch[ch][i])) << "channel " << ch << " frame " << i;
  ExpectSameState(*plug, ref);
}

// Inputs for every branch of the path: silence (flushes), the flush
// threshold, subnormals, signed zeros, the shaper's linear part, its end
// value, the edge of its index range (2^31 steps, about 1.5e7 at the shaper)
// and beyond, the path's input limit (1e100), NaN and infinities.
// tinyOnly: magnitudes spread over the flush threshold (2^-54 at the
// stages) only; these reach the threshold only from a fresh start, because
// after any real signal the stages keep circling at a larger level.
Stereo EdgeSignal(size_t n, bool tinyOnly)
{
  const double inf = std::numeric_limits<double>::infinity();
  const double specials[] = {0.0, -0.0, 1e-320, -4e-310, 0x1p-54, -0x1p-55, 1e-17, 1e-3, -0.02, 0.14,
                             -0.5, 1.0, 1.4, 3.0, -7.5, 1e5, -1.2e6, 1.5e6, 4e6, -3e7, 1e99, 1e101,
                             -1e300, 1.7976931348623157e308, std::numeric_limits<double>::quiet_NaN(), inf, -inf};
  const size_t nSpecials = sizeof specials / sizeof specials[0];
  Stereo s(n);
  std::uint32_t seed = 7;
  for (size_t i = 0; i < n; ++i)
  {
    seed = seed * 1664525u + 1013904223u;
    const double noise = static_cast<double>(seed) / 4294967296.0 - 0.5;
    const size_t phase = tinyOnly ? 3 : (i / 40) % 6;
    double l, r;
    switch (phase)
    {
      case 0: l = r = 0.0; break;                                    // silence
      case 1: l = 0.3 * noise; r = -2.0 * noise; break;              // linear and end value
      case 2: l = specials[i % nSpecials]; r = specials[(i * 7) % nSpecials]; break;
      case 3:
        l = noise * std::pow(10.0, -19.0 + 5.0 * (noise + 0.5));
        r = -noise * std::pow(10.0, -18.0 + 3.0 * (0.5 - noise));
        break;
      case 4: l = 2e6 * noise; r = 1.6e6 * (noise + 0.5); break;     // around 2^31 steps
      default: l = std::sin(0.05 * i); r = -l; break;
    }
    s.ch[0][i] = l;
    s.ch[1][i] = r;
  }
  return s;
}

bool SameValue(double a, double b)
{
  return Bits(a) == Bits(b) || (std::isnan(a) && std::isnan(b));
}

void RunEdgeScenario(int factor, bool tinyOnly, bool avx2)
{
  auto plug = OpenPlug(44100.0, factor);
  TORVENTestAccess::UseAvx2(*plug, avx2);
  ReferenceChain ref;
  ref.factor = factor;
  const Stereo in = EdgeSignal(6000, tinyOnly);
  Stereo got(in.size()), want(in.size());
  const int blocks[] = {1, 7, 64, 100, 512, 3, 17, 300};  // and across the path's internal chunks
  size_t pos = 0;
  for (int k = 0; pos < in.size(); ++k)
  {
    const int n = static_cast<int>(std::min<size_t>(blocks[k % 8], in.size() - pos));
    double* ins[2] = {const_cast<double*>(in.ch[0].data() + pos), const_cast<double*>(in.ch[1].data() + pos)};
    double* outs[2] = {got.ch[0].data() + pos, got.ch[1].data() + pos};
    plug->ProcessDoubleReplacing(ins, outs, n);
    ref.Process(ins[0], ins[1], want.ch[0].data() + pos, want.ch[1].data() + pos, n, 44100.0);
    pos += static_cast<size_t>(n);
  }
  for (int ch = 0; ch < 2; ++ch)
    for (size_t i = 0; i < in.size(); ++i)
      ASSERT_TRUE(SameValue(got.ch[ch][i], want.ch[ch][i]))
          << "N=" << factor << " channel " << ch << " frame " << i << ": " << got.ch[ch][i] << " vs "
          << want.ch[ch][i];
  ExpectSameState(*plug, ref);
}

// in through the plug-in and the reference in blocks of 512 (afterBlock after
// each): every output the same value (NaN counting as one value).
template <class F>
void CompareInBlocks(TORVEN& plug, ReferenceChain& ref, const Stereo& in, double fs, F afterBlock)
{
  const size_t n = in.size();
  Stereo got(n), want(n);
  for (size_t pos = 0; pos < n; pos += 512)
  {
    const int block = static_cast<int>(std::min<size_t>(512, n - pos));
    double* ins[2] = {const_cast<double*>(in.ch[0].data() + pos), const_cast<double*>(in.ch[1].data() + pos)};
    double* outs[2] = {got.ch[0].data() + pos, got.ch[1].data() + pos};
    plug.ProcessDoubleReplacing(ins, outs, block);
    ref.Process(ins[0], ins[1], want.ch[0].data() + pos, want.ch[1].data() + pos, block, fs);
    afterBlock();
  }
  for (int ch = 0; ch < 2; ++ch)
    for (size_t i = 0; i < n; ++i)
      ASSERT_TRUE(SameValue(got.ch[ch][i], want.ch[ch][i])) << "channel " << ch << " frame " << i;
}

// Long stretches with the controls still, so the smoothers come to rest and
// the coefficients stop being recomputed, interrupted by every way out of
// rest: a tiny control move, a control set to its own value, a rate change
// with and without a Reset, bypass with a control moving, and a factor change.
void RunRestScenario(int factor, bool avx2)
{
  auto plug = OpenPlug(44100.0, factor);
  TORVENTestAccess::UseAvx2(*plug, avx2);
  ReferenceChain ref;
  ref.factor = factor;
  struct Phase
  {
    double seconds;
    int param;
    double value;
    double rate;
    bool reset;
    bool restAfter;  // the coefficients are at rest at the end of the phase
    double spike;    // if not 0, put into the input at a few frames
  };
  const Phase phases[] = {
      {3.0, kGainH, 0.7, 0, false, true, 0},
      {0.1, -1, 0, 0, false, true, std::numeric_limits<double>::quiet_NaN()},
      {2.5, kGainH, 0.7000001, 0, false, true, 0},
      {0.3, kGainM, 0.5, 0, false, true, 0},
      {0.05, kGainL, 0.2, 0, false, false, std::numeric_limits<double>::infinity()},
      {3.0, -1, 0, 48000.0, false, true, 0},
      {3.0, kBypass, 1, 0, false, true, 1e300},
      {0.5, kHPF, 0.5, 0, false, false, 0},
      {3.0, kBypass, 0, 96000.0, true, true, 0},
      {0.2, kOversampling, factor == 4 ? 1.0 : 0.0, 0, false, true, -1e305},
  };
  double fs = 44100.0;
  for (const Phase& ph : phases)
  {
    Change(*plug, ref, ph.param, ph.value, ph.rate, ph.reset, fs);
    const size_t n = static_cast<size_t>(ph.seconds * fs);
    Stereo in = TestSignal(n, fs);
    if (ph.spike != 0.0)
      for (size_t i : {size_t(700), size_t(701), n / 2, n - 3}) in.ch[i % 2][i] = ph.spike;
    CompareInBlocks(*plug, ref, in, fs, [] {});
    ExpectSameState(*plug, ref);
    EXPECT_EQ(TORVENTestAccess::CoeffsAtRest(*plug), ph.restAfter) << ph.seconds << " s after parameter " << ph.param;
  }
}

// Silence after a burst: the stages circle near the flush threshold and
// flush at random, so the AVX2 form switches to its branch-free flush (and
// back when the signal returns).
void RunSilenceAfterBurst(int factor, bool avx2)
{
  auto plug = OpenPlug(44100.0, factor);
  TORVENTestAccess::UseAvx2(*plug, avx2);
  ReferenceChain ref;
  ref.factor = factor;
  const size_t n = 90000;
  Stereo in(n);
  std::uint32_t seed = 3;
  for (size_t i = 0; i < n; ++i)
    for (auto& ch : in.ch)
    {
      seed = seed * 1664525u + 1013904223u;
      ch[i] = (i < 20000 || i > 80000) ? static_cast<double>(seed) / 2147483648.0 - 1.0 : 0.0;
    }
  bool eager = false, eagerAtEnd = true;
  CompareInBlocks(*plug, ref, in, 44100.0, [&] {
    eager = eager || TORVENTestAccess::EagerFlush(*plug);
    eagerAtEnd = TORVENTestAccess::EagerFlush(*plug);
  });
  ExpectSameState(*plug, ref);
  if (avx2 && factor == 4)
  {
    EXPECT_TRUE(eager);
  }
  EXPECT_FALSE(eagerAtEnd);
}

// Both forms of the chain: SSE2 (false) and AVX2 (true, where the CPU has it).
class TorvenChain : public ::testing::TestWithParam<bool>
{
protected:
  void SetUp() override
  {
    if (GetParam() && !TORVENTestAccess::CpuHasAvx2()) GTEST_SKIP() << "no AVX2 on this CPU";
  }
};

TEST_P(TorvenChain, MatchesReferenceOnEdgeInputs)
{
  RunEdgeScenario(4, false, GetParam());
  RunEdgeScenario(16, false, GetParam());
}

TEST_P(TorvenChain, MatchesReferenceAtTheFlushThreshold)
{
  RunEdgeScenario(4, true, GetParam());
  RunEdgeScenario(16, true, GetParam());
}

TEST_P(TorvenChain, MatchesReferenceBitForBitAtFactor4)
{
  RunScenario(4, false, GetParam());
}

TEST_P(TorvenChain, MatchesReferenceBitForBitAtFactor16)
{
  RunScenario(16, false, GetParam());
}

TEST_P(TorvenChain, MatchesReferenceWithOutputsAliasingInputs)
{
  RunScenario(4, true, GetParam());
  RunScenario(16, true, GetParam());
}

TEST_P(TorvenChain, MatchesReferenceThroughRestAndOutOfIt)
{
  RunRestScenario(4, GetParam());
  RunRestScenario(16, GetParam());
}

TEST_P(TorvenChain, MatchesReferenceInTheSilenceAfterABurst)
{
  RunSilenceAfterBurst(4, GetParam());
  RunSilenceAfterBurst(16, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Forms, TorvenChain, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Avx2" : "Sse2"; });

}  // namespace
