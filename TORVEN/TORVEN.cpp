#include "TORVEN/TORVEN.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <type_traits>

#include "TORVEN/TORVENChain_p.h"

namespace {

constexpr int kNumPresets = 1;
constexpr int kVendorVersion = 0x40000;  // 4.0.0

// The saturation component is mixed in 30 dB down: 10^(-1.5).
constexpr double kSatLevel = 0.03162277660168379;
// The input is scaled up by this before the waveshaper path.
constexpr double kSatDrive = 10.0;
// -2 pi: the smoothers' pole is exp(-2 pi / fs), a 1 Hz corner per step.
constexpr double kMinusTwoPi = -6.283185307179586;

// The Bypass value truncated toward zero, as IParam::Int() gives it, inline:
// 0, 1, or 2 for anything else (which writes no output).
inline int BypassState(const IParam* pBypass)
{
  if (!pBypass) return 0;
  const double v = pBypass->Value();
  if (std::isnan(v) || (v > -1.0 && v < 1.0)) return 0;
  return (v >= 1.0 && v < 2.0) ? 1 : 2;
}

}  // namespace

TORVEN::TORVEN(IPlugInstanceInfo instanceInfo)
  : IPlugVST(instanceInfo, kNumParams, "1-1 2-2", kNumPresets, "TORVEN", "", "Morvane", kVendorVersion,
             VstFourCC('T', 'r', 'v', '1'), VstFourCC('M', 'r', 'v', 'n'), 0 /* latency */,
             false /* MIDI */, false /* state chunks */, false /* instrument */, 0 /* side-chain */)
{
  // Parameter 7 (oversampling) is deliberately left as constructed: untyped,
  // range 0..1, step 1, so any host value lands on 0 or 1.
  GetParam(kBypass)->InitInt("Bypass", 0, 0, 1);
  GetParam(kGainH)->InitDouble("GainH", 0.5, 0.0, 1.0, 0.01, "", "", 1.0);
  GetParam(kGainH)->SetShape(1.0);
  GetParam(kGainL)->InitDouble("GainL", 0.5, 0.0, 1.0, 0.01, "", "", 1.0);
  GetParam(kGainL)->SetShape(1.0);
  GetParam(kGainM)->InitDouble("GainM", 0.5, 0.02, 0.98, 0.01, "", "", 1.0);
  GetParam(kGainM)->SetShape(1.0);
  GetParam(kHPF)->InitDouble("HPF", 0.0, 0.0, 0.96, 0.01, "", "", 1.0);
  GetParam(kHPF)->SetShape(0.25);
  GetParam(kLPF)->InitDouble("LPF", 0.0, -0.3, 0.0, 0.01, "", "", 1.0);
  GetParam(kLPF)->SetShape(1.0);
  GetParam(kOut)->InitDouble("OUT", 0.0, -15.0, 15.0, 0.01, "", "", 1.0);
  GetParam(kOut)->SetShape(1.0);

  if (IGraphics* pGraphics = MakeGraphics(this, kEditorWidth, kEditorHeight, 0))
  {
    LayoutEditor(pGraphics);
    AttachGraphics(pGraphics);
  }

  MakeDefaultPreset("-", kNumPresets);
}

TORVEN::~TORVEN() {}

void TORVEN::Reset()
{
  IMutexLock lock(this);
  mUpL.Reset();
  mDownL.Reset();
  mUpR.Reset();
  mDownR.Reset();
  // At another rate every section's coefficients jump, and histories made
  // under the old ones would ring (the low shelf's poles lie close to z = 1:
  // bursts up to +58 dB, dying over seconds). At the same rate (suspend and
  // resume, a new block size) they are still valid and are kept, so playback
  // goes on seamlessly.
  if (GetSampleRate() != mSectionRate)
  {
    ClearSections(0);
    ClearSections(1);
  }
}

void TORVEN::OnParamChange(int paramIdx)
{
  IMutexLock lock(this);
  IParam* pParam = (paramIdx >= 0 && paramIdx < kNumParams) ? GetParam(paramIdx) : nullptr;
  if (!pParam) return;
  const double v = pParam->Value();
  switch (paramIdx)
  {
    case kOut: mOutGain = pow(10.0, v / 20.0); break;
    case kHPF: mHPF = v; break;
    case kLPF: mLPF = v; break;
    case kGainH: mGainH = v; break;
    case kGainM: mGainM = v; break;
    case kGainL: mGainL = v; break;
    case kBypass: break;  // read from the parameter every sample
    case kOversampling:
    {
      const int factor = (pParam->Int() != 0) ? 16 : 4;
      // The anti-alias histories were made by the other factor's filters and
      // would make this one's ring; the same factor again keeps them.
      if (factor != mOversampling)
      {
        mUpL.Reset();
        mDownL.Reset();
        mUpR.Reset();
        mDownR.Reset();
      }
      mOversampling = factor;
      break;
    }
    default: break;
  }
}

void TORVEN::ClearSections(int ch)
{
  mHigh[ch].Reset();
  mHighPass[ch].Reset();
  mLowPass[ch].Reset();
  mMid[ch].Reset();
  mLow[ch].Reset();
}

namespace {

using torven_chain::Lanes2;
using torven_chain::MakeLanes;

// The chain's five sections with both channels in the two lanes.
struct SectionLanes
{
  detail::V553Recursion<Lanes2, false> high;
  detail::V553Recursion<Lanes2, true> highPass;
  detail::V553Recursion<Lanes2, false> lowPass;
  detail::V553Recursion<Lanes2, true> mid;
  detail::V553Recursion<Lanes2, true> low;

  // Sections in chain order; a lane whose result is not finite has its
  // histories cleared (a NaN or an infinity in a history would stay there
  // and silence the channel for good; any such history shows in the
  // channel's last output, so one check covers the chain).
  TORVEN_INLINE Lanes2 Process(Lanes2 in)
  {
    const Lanes2 out = low.Process(mid.Process(lowPass.Process(highPass.Process(high.Process(in)))));
    const auto bad = (out * 0.0) != 0.0;  // v * 0 is 0 exactly when v is finite
    if (__builtin_expect(bad[0] | bad[1], 0)) Clear(bad);
    return out;
  }

  template <class M>
  void Clear(M bad)
  {
    ClearHistories(high, bad);
    ClearHistories(highPass, bad);
    ClearHistories(lowPass, bad);
    ClearHistories(mid, bad);
    ClearHistories(low, bad);
  }

  template <bool k, class M>
  static void ClearHistories(detail::V553Recursion<Lanes2, k>& s, M bad)
  {
    for (Lanes2* v : {&s.x, &s.y, &s.x1, &s.x2, &s.x3, &s.y1, &s.y2, &s.y3})
      *v = bad ? Lanes2{} : *v;
  }
};

// The coefficients of the five sections for two frames at once: frame f in
// lanes 0 and 1, frame f + 1 in lanes 2 and 3 (only the coefficients are
// used).
struct SectionQuads
{
  detail::V553Recursion<torven_chain::Lanes4, false> high;
  detail::V553Recursion<torven_chain::Lanes4, true> highPass;
  detail::V553Recursion<torven_chain::Lanes4, false> lowPass;
  detail::V553Recursion<torven_chain::Lanes4, true> mid;
  detail::V553Recursion<torven_chain::Lanes4, true> low;
};

// One frame's half of two frames' coefficients (what Coefficients writes).
template <int kHalf, bool k>
TORVEN_INLINE void TakeHalf(const detail::V553Recursion<torven_chain::Lanes4, k>& q,
                            detail::V553Recursion<Lanes2, k>& s)
{
  using torven_chain::Half;
  s.a0 = Half<kHalf>(q.a0);
  s.a1 = Half<kHalf>(q.a1);
  s.a2 = Half<kHalf>(q.a2);
  s.b0 = Half<kHalf>(q.b0);
  s.b1 = Half<kHalf>(q.b1);
  s.b2 = Half<kHalf>(q.b2);
  if constexpr (k)
  {
    s.a3 = Half<kHalf>(q.a3);
    s.b3 = Half<kHalf>(q.b3);
  }
}

// One frame's half of two frames' coefficients, read in place.
template <int kHalf, bool k>
struct HalfCoeffs
{
  Lanes2 a0, a1, a2, a3, b0, b1, b2, b3;
  TORVEN_INLINE explicit HalfCoeffs(const detail::V553Recursion<torven_chain::Lanes4, k>& q)
  {
    using torven_chain::Half;
    a0 = Half<kHalf>(q.a0), a1 = Half<kHalf>(q.a1), a2 = Half<kHalf>(q.a2), a3 = Half<kHalf>(q.a3);
    b0 = Half<kHalf>(q.b0), b1 = Half<kHalf>(q.b1), b2 = Half<kHalf>(q.b2), b3 = Half<kHalf>(q.b3);
  }
};

template <int kHalf, bool k>
TORVEN_INLINE HalfCoeffs<kHalf, k> MakeHalf(const detail::V553Recursion<torven_chain::Lanes4, k>& q)
{
  return HalfCoeffs<kHalf, k>(q);
}

// The 16 fields of a section, one channel per lane, in and out.
constexpr int kSectionFields = 16;
static_assert(sizeof(detail::V553Recursion<double, true>) == kSectionFields * sizeof(double), "16 doubles");
static_assert(sizeof(detail::V553Recursion<Lanes2, true>) == kSectionFields * sizeof(Lanes2), "16 lanes");

template <bool k>
void PackSection(const detail::V553Recursion<double, k>& left, const detail::V553Recursion<double, k>& right,
                 detail::V553Recursion<Lanes2, k>& lanes)
{
  double l[kSectionFields], r[kSectionFields];
  Lanes2 v[kSectionFields];
  std::memcpy(l, &left, sizeof l);
  std::memcpy(r, &right, sizeof r);
  for (int i = 0; i < kSectionFields; ++i) v[i] = MakeLanes(l[i], r[i]);
  std::memcpy(&lanes, v, sizeof v);
}

template <bool k>
void UnpackSection(const detail::V553Recursion<Lanes2, k>& lanes, detail::V553Recursion<double, k>& left,
                   detail::V553Recursion<double, k>& right)
{
  double l[kSectionFields], r[kSectionFields];
  Lanes2 v[kSectionFields];
  std::memcpy(v, &lanes, sizeof v);
  for (int i = 0; i < kSectionFields; ++i)
  {
    l[i] = v[i][0];
    r[i] = v[i][1];
  }
  std::memcpy(&left, l, sizeof l);
  std::memcpy(&right, r, sizeof r);
}

bool SameBits(double a, double b)
{
  std::uint64_t x, y;
  std::memcpy(&x, &a, sizeof x);
  std::memcpy(&y, &b, sizeof y);
  return x == y;
}

// The path's scaled input for one frame, limited.
TORVEN_INLINE Lanes2 PathInput(Lanes2 in)
{
  return torven_chain::LimitPathInput(in * kSatDrive);
}

#if defined(__x86_64__) || defined(__i386__)
// Chosen once, at load: the AVX2 form of the chain where the CPU (and the
// system) has it.
const bool gCpuHasAvx2 = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
}();
#else
const bool gCpuHasAvx2 = false;
#endif

}  // namespace

bool TORVEN::CpuHasAvx2()
{
  return gCpuHasAvx2;
}

// Runs under the instance mutex (held by the adapter), so the control values,
// the factor, the rate and the bypass state cannot change inside a block: all
// are read once per block. The factor picks the saturation path for the whole
// block.
void TORVEN::ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames)
{
  // The anti-alias design follows the factor chosen since the last block; it
  // runs even for an empty block.
  const int factor = mOversampling;
  const double alpha = 0.2 / static_cast<double>(factor);
  mBesselL.Calc(alpha);
  mBesselR.Calc(alpha);
  if (nFrames < 1) return;
  if (!inputs || !outputs || !inputs[0] || !inputs[1] || !outputs[0] || !outputs[1]) return;

#if defined(__SSE2__)
  if (factor == 4 || factor == 16)
  {
    if (mAvx2) ProcessAvx2(factor, inputs, outputs, nFrames);
    else ProcessSse2(factor, inputs, outputs, nFrames);
    return;
  }
#endif
  // Any other factor (never set by OnParamChange) on the plain path; one
  // below 1 runs nothing and keeps the previous outputs.
  torven_chain::AnyFactorSaturation sat(factor, mBesselL, mBesselR, mUpL, mDownL, mUpR, mDownR, mSatOut);
  ProcessFrames(sat, inputs, outputs, nFrames);
}

#if defined(__SSE2__)
__attribute__((flatten)) void TORVEN::ProcessSse2(int factor, double** inputs, double** outputs, int nFrames)
{
  if (factor == 16)
  {
    torven_chain::Sse2Saturation<16> sat(mBesselL, mBesselR, mUpL, mDownL, mUpR, mDownR);
    ProcessFrames(sat, inputs, outputs, nFrames);
    sat.Finish(mUpL, mDownL, mUpR, mDownR);
  }
  else
  {
    torven_chain::Sse2Saturation<4> sat(mBesselL, mBesselR, mUpL, mDownL, mUpR, mDownR);
    ProcessFrames(sat, inputs, outputs, nFrames);
    sat.Finish(mUpL, mDownL, mUpR, mDownR);
  }
}

__attribute__((target("avx2"), flatten)) void TORVEN::ProcessAvx2(int factor, double** inputs, double** outputs,
                                                                  int nFrames)
{
  if (factor == 16)
  {
    torven_chain::Avx2Saturation<16> sat(mBesselL, mBesselR, mUpL, mDownL, mUpR, mDownR, mEagerFlush);
    ProcessFrames(sat, inputs, outputs, nFrames);
    sat.Finish(mUpL, mDownL, mUpR, mDownR);
    mEagerFlush = sat.FlushedSteps() * 8 > nFrames * 16;
  }
  else
  {
    torven_chain::Avx2Saturation<4> sat(mBesselL, mBesselR, mUpL, mDownL, mUpR, mDownR, mEagerFlush);
    ProcessFrames(sat, inputs, outputs, nFrames);
    sat.Finish(mUpL, mDownL, mUpR, mDownR);
    mEagerFlush = sat.FlushedSteps() * 8 > nFrames * 4;
  }
}
#endif

// The frame template passes four-lane vectors to its helpers; everything in
// it is inlined into the flattened entry points, so the note that such calls
// change the calling convention without AVX does not apply. (To the end of
// the file: the template's instantiations are checked there.)
#pragma GCC diagnostic ignored "-Wpsabi"
template <class TSaturation>
TORVEN_INLINE void TORVEN::ProcessFrames(TSaturation& sat, double** inputs, double** outputs, int nFrames)
{
  const double* in0p = inputs[0];
  const double* in1p = inputs[1];
  double* out0p = outputs[0];
  double* out1p = outputs[1];
  const int bypass = BypassState(GetParam(kBypass));

  const double fs = GetSampleRate();
  const double a = std::exp((1.0 / fs) * kMinusTwoPi);
  const double b = 1.0 - a;
  mSmoothH.a = mSmoothL.a = mSmoothM.a = mSmoothHP.a = mSmoothLP.a = a;
  mSmoothH.b = mSmoothL.b = mSmoothM.b = mSmoothHP.b = mSmoothLP.b = b;

  const double gainH = mGainH, gainM = mGainM, gainL = mGainL;
  const double hpf = mHPF, lpf = mLPF;
  double zH = mSmoothH.z, zM = mSmoothM.z, zL = mSmoothL.z;
  double zHP = mSmoothHP.z, zLP = mSmoothLP.z;

  // At rest: every smoother sits at its exact fixed point (a step leaves it
  // unchanged) and the last frame's coefficients were computed from those
  // very values at this rate. Then every frame of this block would step each
  // smoother to the same value and recompute the same coefficients, so both
  // are skipped for the whole block.
  const bool atRest = mCoeffsAtRest && SameBits(mCoeffsRate, fs) && SameBits(a * zH + b * gainH, zH) &&
                      SameBits(a * zM + b * gainM, zM) && SameBits(a * zL + b * gainL, zL) &&
                      SameBits(a * zHP + b * hpf, zHP) && SameBits(a * zLP - b * lpf, zLP);

  SectionLanes s;
  PackSection(mHigh[0], mHigh[1], s.high);
  PackSection(mHighPass[0], mHighPass[1], s.highPass);
  PackSection(mLowPass[0], mLowPass[1], s.lowPass);
  PackSection(mMid[0], mMid[1], s.mid);
  PackSection(mLow[0], mLow[1], s.low);

  const Lanes2 fsLanes = MakeLanes(fs, fs);
  const Lanes2 fsHP = MakeLanes(2.0 * fs, 2.0 * fs);
  const Lanes2 fsLP = MakeLanes(fs * 0.5, fs * 0.5);
  const double outGain = mOutGain;
  // The smoothers' states before their last steps.
  double zHp = zH, zMp = zM, zLp = zL, zHPp = zHP, zLPp = zLP;

  // Each section's control values for its next frame (the sections' own
  // smoothers are independent, so each may run at its section's pace).
  auto highArgs = [&]() __attribute__((always_inline)) {
    // Each band smoother steps once before each channel's coefficients.
    zHp = zH;
    const double l = 1.0 - (zH = a * zH + b * gainH);
    const double r = 1.0 - (zH = a * zH + b * gainH);
    return MakeLanes(l, r);
  };
  auto highPassArgs = [&](Lanes2& x) __attribute__((always_inline)) {
    // High-pass and low-pass take two successive smoothed values per channel.
    zHPp = zHP;
    double t1 = a * zHP + b * hpf, t2 = a * t1 + b * hpf;
    const double xL = 1.0 - t1, yL = 1.0 - t2;
    t1 = a * t2 + b * hpf;
    t2 = a * t1 + b * hpf;
    zHP = t2;
    x = MakeLanes(xL, 1.0 - t1);
    return MakeLanes(yL, 1.0 - t2);
  };
  auto lowPassArgs = [&](Lanes2& x) __attribute__((always_inline)) {
    // The low-pass smoother tracks minus LPF (0 .. 0.3).
    zLPp = zLP;
    double q1 = a * zLP - b * lpf, q2 = a * q1 - b * lpf;
    const double xL = q1, yL = q2;
    q1 = a * q2 - b * lpf;
    q2 = a * q1 - b * lpf;
    zLP = q2;
    x = MakeLanes(xL, q1);
    return MakeLanes(yL, q2);
  };
  auto midArgs = [&]() __attribute__((always_inline)) {
    zMp = zM;
    const double l = 1.0 - (zM = a * zM + b * gainM);
    const double r = 1.0 - (zM = a * zM + b * gainM);
    return MakeLanes(l, r);
  };
  auto lowArgs = [&]() __attribute__((always_inline)) {
    zLp = zL;
    const double l = 1.0 - (zL = a * zL + b * gainL);
    const double r = 1.0 - (zL = a * zL + b * gainL);
    return MakeLanes(l, r);
  };

  // One frame's coefficients, both channels in two lanes.
  auto calcHigh = [&]() __attribute__((always_inline)) { V553H::Coefficients<Lanes2>(fsLanes, highArgs(), s.high); };
  auto calcHighPass = [&]() __attribute__((always_inline)) {
    Lanes2 x;
    const Lanes2 y = highPassArgs(x);
    V553HP::Coefficients<Lanes2>(fsHP, x, y, s.highPass);
  };
  auto calcLowPass = [&]() __attribute__((always_inline)) {
    Lanes2 x;
    const Lanes2 y = lowPassArgs(x);
    V553LP::Coefficients<Lanes2>(fsLP, x, y, s.lowPass);
  };
  auto calcMid = [&]() __attribute__((always_inline)) { V553M::Coefficients<Lanes2>(fsLanes, midArgs(), s.mid); };
  auto calcLow = [&]() __attribute__((always_inline)) { V553L::Coefficients<Lanes2>(fsLanes, lowArgs(), s.low); };

  // With four lanes, two frames' coefficients at once (frame f in lanes 0
  // and 1, frame f + 1 in lanes 2 and 3): the smoothers do not depend on the
  // signal, so the next frame's values are known now. Each section takes the
  // second half on its next frame. A frame without a successor in the chunk
  // takes the two-lane form.
  using torven_chain::Lanes4;
  using torven_chain::Join;
  SectionQuads q4;
  // Per section: the next frame takes the second half; the last frame took one.
  bool pendHigh = false, pendHighPass = false, pendLowPass = false, pendMid = false, pendLow = false;
  bool viewHigh = false, viewHighPass = false, viewLowPass = false, viewMid = false, viewLow = false;
  // One section's frame: its coefficients (two frames' at once where the
  // chunk has the next frame), then the recursion.
  auto runPaired = [&](bool& pend, bool& view, auto& quad, auto& sec, auto computePair, auto calcSingle, bool pair,
                       Lanes2 x) __attribute__((always_inline)) {
    if (pend)
    {
      pend = false;
      view = true;
      return sec.ProcessWith(x, MakeHalf<1>(quad));
    }
    view = false;
    if (!pair)
    {
      calcSingle();
      return sec.Process(x);
    }
    computePair();
    pend = true;
    return sec.ProcessWith(x, MakeHalf<0>(quad));
  };
  // Two frames' coefficients of a model with one control input and of one
  // with two. (Generic, so that only the four-lane form instantiates them.)
  auto pairOf1 = [](auto model, auto args, Lanes2 f, auto& quad) __attribute__((always_inline)) {
    return [model, args, f, q = &quad]() mutable {
      const Lanes2 x0 = args();
      decltype(model)::template Coefficients<Lanes4>(Join(f, f), Join(x0, args()), *q);
    };
  };
  auto pairOf2 = [](auto model, auto args, Lanes2 f, auto& quad) __attribute__((always_inline)) {
    return [model, args, f, q = &quad]() mutable {
      Lanes2 x0, x1;
      const Lanes2 y0 = args(x0);
      const Lanes2 y1 = args(x1);
      decltype(model)::template Coefficients<Lanes4>(Join(f, f), Join(x0, x1), Join(y0, y1), *q);
    };
  };
  auto pairHigh = [&](auto pair, Lanes2 x) __attribute__((always_inline)) {
    return runPaired(pendHigh, viewHigh, q4.high, s.high, pairOf1(V553H(), highArgs, fsLanes, q4.high), calcHigh,
                     pair, x);
  };
  auto pairHighPass = [&](auto pair, Lanes2 x) __attribute__((always_inline)) {
    return runPaired(pendHighPass, viewHighPass, q4.highPass, s.highPass,
                     pairOf2(V553HP(), highPassArgs, fsHP, q4.highPass), calcHighPass, pair, x);
  };
  auto pairLowPass = [&](auto pair, Lanes2 x) __attribute__((always_inline)) {
    return runPaired(pendLowPass, viewLowPass, q4.lowPass, s.lowPass, pairOf2(V553LP(), lowPassArgs, fsLP, q4.lowPass),
                     calcLowPass, pair, x);
  };
  auto pairMid = [&](auto pair, Lanes2 x) __attribute__((always_inline)) {
    return runPaired(pendMid, viewMid, q4.mid, s.mid, pairOf1(V553M(), midArgs, fsLanes, q4.mid), calcMid, pair, x);
  };
  auto pairLow = [&](auto pair, Lanes2 x) __attribute__((always_inline)) {
    return runPaired(pendLow, viewLow, q4.low, s.low, pairOf1(V553L(), lowArgs, fsLanes, q4.low), calcLow, pair, x);
  };
  // The sections keep the coefficients of their last frame.
  auto keepLastHalves = [&]() __attribute__((always_inline)) {
    if (viewHigh) TakeHalf<1>(q4.high, s.high);
    if (viewHighPass) TakeHalf<1>(q4.highPass, s.highPass);
    if (viewLowPass) TakeHalf<1>(q4.lowPass, s.lowPass);
    if (viewMid) TakeHalf<1>(q4.mid, s.mid);
    if (viewLow) TakeHalf<1>(q4.low, s.low);
  };
  constexpr bool kPairs = TSaturation::kFourLanes;

  // The sections run whatever the bypass switch says, so their histories
  // always match their coefficients and leaving bypass is seamless; while
  // bypassed their output is dropped. Any other value leaves the outputs
  // unwritten.
  auto output = [&](int n, Lanes2 y) __attribute__((always_inline)) {
    if (bypass == 0)
    {
      out0p[n] = y[0] * outGain;
      out1p[n] = y[1] * outGain;
    }
    else if (bypass == 1)
    {
      out0p[n] = in0p[n];
      out1p[n] = in1p[n];
    }
  };

  // The five sections run skewed: at step n section j takes frame n - j, so
  // the five recursions of one step do not wait on each other (in frame
  // order each waits on the one before, five divisions deep, and the chain
  // would fill the processor's window instead of the saturation path's
  // work). The results are the same as in frame order, but for the clearing
  // after a result that is not finite, which must come before the next
  // frame of every section: a chunk that meets one is run again in frame
  // order from its start (the inputs kept in `mixed`).
  constexpr int kChunk = 256;
  constexpr int kSkew = 4;  // the last section runs this many frames behind
  Lanes2 mixed[kChunk];
  Lanes2 in = MakeLanes(in0p[0], in1p[0]);
  sat.Start(PathInput(in));
  Lanes2 lastSat{};
  // The chunks, with the coefficient work compiled out when at rest.
  auto run = [&](auto atRestTag) __attribute__((always_inline)) {
    constexpr bool kAtRest = decltype(atRestTag)::value;
    for (int c0 = 0; c0 < nFrames; c0 += kChunk)
    {
      const int c1 = nFrames - c0 > kChunk ? c0 + kChunk : nFrames;
      const SectionLanes start = s;
      const double startZ[5] = {zH, zHP, zLP, zM, zL};
      Lanes2 r0{}, r1{}, r2{}, r3{};
      Lanes2 finite{};  // stays 0 while every result is finite (v * 0 is NaN otherwise)
      for (int n = c0; n < c1 + kSkew; ++n)
      {
        if (n - 4 >= c0)
        {
          Lanes2 y;
          if constexpr (kPairs && !kAtRest) y = pairLow(n - 4 + 1 < c1, r3);
          else
          {
            if (!kAtRest) calcLow();
            y = s.low.Process(r3);
          }
          finite += y * 0.0;
          output(n - 4, y);
        }
        if (n - 3 >= c0 && n - 3 < c1)
        {
          if constexpr (kPairs && !kAtRest) r3 = pairMid(n - 3 + 1 < c1, r2);
          else
          {
            if (!kAtRest) calcMid();
            r3 = s.mid.Process(r2);
          }
        }
        if (n - 2 >= c0 && n - 2 < c1)
        {
          if constexpr (kPairs && !kAtRest) r2 = pairLowPass(n - 2 + 1 < c1, r1);
          else
          {
            if (!kAtRest) calcLowPass();
            r2 = s.lowPass.Process(r1);
          }
        }
        if (n - 1 >= c0 && n - 1 < c1)
        {
          if constexpr (kPairs && !kAtRest) r1 = pairHighPass(n - 1 + 1 < c1, r0);
          else
          {
            if (!kAtRest) calcHighPass();
            r1 = s.highPass.Process(r0);
          }
        }
        if (n < c1)
        {
          // Frame n + 1's input is read before frame n's output is written;
          // outputs may be the inputs' memory, sample for sample, so this
          // reads nothing written yet.
          Lanes2 satOut;
          if (n + 1 < nFrames)
          {
            const Lanes2 next = MakeLanes(in0p[n + 1], in1p[n + 1]);
            satOut = sat.Frame(PathInput(next));
            mixed[n - c0] = satOut * kSatLevel + in;
            in = next;
          }
          else
          {
            satOut = lastSat = sat.LastFrame();
            mixed[n - c0] = satOut * kSatLevel + in;
          }
          if constexpr (kPairs && !kAtRest) r0 = pairHigh(n + 1 < c1, mixed[n - c0]);
          else
          {
            if (!kAtRest) calcHigh();
            r0 = s.high.Process(mixed[n - c0]);
          }
        }
      }
      if constexpr (kPairs && !kAtRest) keepLastHalves();
      if (__builtin_expect(finite[0] == 0.0 && finite[1] == 0.0, 1)) continue;

      // The chunk again, in frame order, clearing a channel's sections after
      // each result of it that is not finite.
      s = start;
      zH = startZ[0];
      zHP = startZ[1];
      zLP = startZ[2];
      zM = startZ[3];
      zL = startZ[4];
      for (int n = c0; n < c1; ++n)
      {
        if (!kAtRest)
        {
          calcHigh();
          calcHighPass();
          calcLowPass();
          calcMid();
          calcLow();
        }
        output(n, s.Process(mixed[n - c0]));
      }
    }
  };
  if (atRest) run(std::true_type{});
  else run(std::false_type{});
  mSatOut[0] = lastSat[0];
  mSatOut[1] = lastSat[1];

  UnpackSection(s.high, mHigh[0], mHigh[1]);
  UnpackSection(s.highPass, mHighPass[0], mHighPass[1]);
  UnpackSection(s.lowPass, mLowPass[0], mLowPass[1]);
  UnpackSection(s.mid, mMid[0], mMid[1]);
  UnpackSection(s.low, mLow[0], mLow[1]);

  // The last frame stepped every smoother from its fixed point to itself:
  // its coefficients are those of the resting values.
  if (!atRest)
  {
    mCoeffsAtRest = SameBits(zHp, zH) && SameBits(zMp, zM) && SameBits(zLp, zL) && SameBits(zHPp, zHP) &&
                    SameBits(zLPp, zLP) && SameBits(a * zH + b * gainH, zH) && SameBits(a * zM + b * gainM, zM) &&
                    SameBits(a * zL + b * gainL, zL) && SameBits(a * zHP + b * hpf, zHP) &&
                    SameBits(a * zLP - b * lpf, zLP);
    mCoeffsRate = fs;
  }
  mSectionRate = fs;
  mSmoothH.z = zH;
  mSmoothM.z = zM;
  mSmoothL.z = zL;
  mSmoothHP.z = zHP;
  mSmoothLP.z = zLP;
}
