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
  : IPlug(instanceInfo, kNumParams, "1-1 2-2", kNumPresets, "TORVEN", "", "Morvane", kVendorVersion,
             IPlugFourCC('T', 'r', 'v', '1'), IPlugFourCC('M', 'r', 'v', 'n'), 0 /* latency */,
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
using torven_chain::Lanes4;
using torven_chain::MakeLanes;

// The chain runs in chunks of this many frames (even: the coefficients are
// computed for pairs of frames).
constexpr int kChunk = 32;
// Each chunk buffer holds the three frames before the chunk in front.
constexpr int kHist = 3;

// The coefficients of one model for every frame of a chunk, both channels in
// the lanes: coefficient k of frame i at v[k][i], in the order a0 a1 a2 (a3)
// b0 b1 b2 (b3). (Rows of 32-byte pairs: frames i and i + 1 are one store.)
template <int kCount>
struct alignas(32) CoeffRows
{
  Lanes2 v[kCount][kChunk];
};

constexpr int CoeffCount(bool thirdOrder)
{
  return thirdOrder ? 8 : 6;
}

// The coefficient fields of a section (const or not), in the rows' order.
template <class S, class P, int kCount>
TORVEN_INLINE void CoeffFields(S& s, P* (&f)[kCount])
{
  if constexpr (kCount == 8)
  {
    P* g[8] = {&s.a0, &s.a1, &s.a2, &s.a3, &s.b0, &s.b1, &s.b2, &s.b3};
    for (int c = 0; c < 8; ++c) f[c] = g[c];
  }
  else
  {
    P* g[6] = {&s.a0, &s.a1, &s.a2, &s.b0, &s.b1, &s.b2};
    for (int c = 0; c < 6; ++c) f[c] = g[c];
  }
}

// Two frames' coefficients of a section, frame i in lanes 0 and 1, frame
// i + 1 in lanes 2 and 3 (what the models' Coefficients write).
struct QuadCoeffs
{
  Lanes4 a0, a1, a2, a3, b0, b1, b2, b3;
};

// Those into the rows.
template <int kCount>
TORVEN_INLINE void StorePair(const QuadCoeffs& q, CoeffRows<kCount>& rows, int i)
{
  auto put = [&](int c, const Lanes4& v) __attribute__((always_inline)) { std::memcpy(&rows.v[c][i], &v, sizeof v); };
  put(0, q.a0);
  put(1, q.a1);
  put(2, q.a2);
  if constexpr (kCount == 8)
  {
    put(3, q.a3);
    put(4, q.b0);
    put(5, q.b1);
    put(6, q.b2);
    put(7, q.b3);
  }
  else
  {
    put(3, q.b0);
    put(4, q.b1);
    put(5, q.b2);
  }
}

// A section's coefficients, left in lane 0, in the rows' order.
template <bool k>
void LoadSectionCoeffs(const detail::V553Recursion<double, k>& left, const detail::V553Recursion<double, k>& right,
                Lanes2 (&c)[CoeffCount(k)])
{
  const double* l[CoeffCount(k)];
  const double* r[CoeffCount(k)];
  CoeffFields(left, l);
  CoeffFields(right, r);
  for (int i = 0; i < CoeffCount(k); ++i) c[i] = MakeLanes(*l[i], *r[i]);
}

// Frame i's coefficients back into the sections; second-order sections keep
// a3 and b3 as they are.
template <bool k>
void StoreSectionCoeffs(const Lanes2* c, int stride, detail::V553Recursion<double, k>& left,
                 detail::V553Recursion<double, k>& right)
{
  double* l[CoeffCount(k)];
  double* r[CoeffCount(k)];
  CoeffFields(left, l);
  CoeffFields(right, r);
  for (int i = 0; i < CoeffCount(k); ++i)
  {
    *l[i] = c[i * stride][0];
    *r[i] = c[i * stride][1];
  }
}

// One frame of a section on the chunk buffers: in[0] is its input, in[-1]
// .. in[-3] its previous inputs, out[-1] .. out[-3] its previous outputs;
// the output goes to out[0]. Coefficient k is c[k * kStride]. The order is
// V553Recursion's: numerator terms newest first, then the feedback terms,
// then one division by a0.
template <bool kThird, int kStride>
TORVEN_INLINE Lanes2 SectionStep(const Lanes2* c, const Lanes2* in, Lanes2* out)
{
  constexpr int kB = kThird ? 4 : 3;
  Lanes2 acc = c[kB * kStride] * in[0];
  acc += c[(kB + 1) * kStride] * in[-1];
  acc += c[(kB + 2) * kStride] * in[-2];
  if constexpr (kThird) acc += c[(kB + 3) * kStride] * in[-3];
  acc -= c[1 * kStride] * out[-1];
  acc -= c[2 * kStride] * out[-2];
  if constexpr (kThird) acc -= c[3 * kStride] * out[-3];
  const Lanes2 y = acc / c[0];
  out[0] = y;
  return y;
}

// A section's histories, oldest first, into a chunk buffer's front, and back.
// The sections run in series every frame and are cleared together, so each
// one's input history is the previous one's output history: the chain's
// state is the first section's inputs and every section's outputs.
template <bool k>
void LoadInputs(const detail::V553Recursion<double, k>& l, const detail::V553Recursion<double, k>& r, Lanes2* front)
{
  front[0] = MakeLanes(l.x3, r.x3);
  front[1] = MakeLanes(l.x2, r.x2);
  front[2] = MakeLanes(l.x1, r.x1);
}

template <bool k>
void LoadOutputs(const detail::V553Recursion<double, k>& l, const detail::V553Recursion<double, k>& r, Lanes2* front)
{
  front[0] = MakeLanes(l.y3, r.y3);
  front[1] = MakeLanes(l.y2, r.y2);
  front[2] = MakeLanes(l.y1, r.y1);
}

template <bool k>
void StoreHistories(const Lanes2* in, const Lanes2* out, detail::V553Recursion<double, k>& l,
                    detail::V553Recursion<double, k>& r)
{
  for (int ch = 0; ch < 2; ++ch)
  {
    detail::V553Recursion<double, k>& s = ch == 0 ? l : r;
    s.x3 = in[0][ch];
    s.x2 = in[1][ch];
    s.x = s.x1 = in[2][ch];
    s.y3 = out[0][ch];
    s.y2 = out[1][ch];
    s.y = s.y1 = out[2][ch];
  }
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
  const double zH0 = mSmoothH.z, zM0 = mSmoothM.z, zL0 = mSmoothL.z;
  const double zHP0 = mSmoothHP.z, zLP0 = mSmoothLP.z;

  // At rest: every smoother sits at its exact fixed point (a step leaves it
  // unchanged) and the last frame's coefficients were computed from those
  // very values at this rate. Then every frame of this block would step each
  // smoother to the same value and recompute the same coefficients, so both
  // are skipped for the whole block.
  const bool atRest = mCoeffsAtRest && SameBits(mCoeffsRate, fs) && SameBits(a * zH0 + b * gainH, zH0) &&
                      SameBits(a * zM0 + b * gainM, zM0) && SameBits(a * zL0 + b * gainL, zL0) &&
                      SameBits(a * zHP0 + b * hpf, zHP0) && SameBits(a * zLP0 - b * lpf, zLP0);

  // The smoothers in lanes: the three band smoothers step twice per frame
  // (once before each channel's coefficients), the high-pass and low-pass
  // ones four times (two successive values per channel). Each step is
  // z = a * z + b * target; the low-pass smoother tracks minus LPF, and
  // a * z - b * lpf is a * z + -(b * lpf) bit for bit.
  Lanes4 zBands = {zH0, zM0, zL0, 0.0};
  Lanes2 zPasses = MakeLanes(zHP0, zLP0);
  const Lanes4 aBands = {a, a, a, a};
  const Lanes4 cBands = {b * gainH, b * gainM, b * gainL, 0.0};
  const Lanes2 aPasses = MakeLanes(a, a);
  const Lanes2 cPasses = MakeLanes(b * hpf, -(b * lpf));
  // Their states before the last frame's steps.
  Lanes4 zBandsPrev = zBands;
  Lanes2 zPassesPrev = zPasses;

  // The five sections' control inputs for each frame of a chunk, left in
  // lane 0: X = 1 - the smoothed band value, 1 - two successive high-pass
  // values, two successive low-pass values.
  struct alignas(32) Controls
  {
    Lanes2 h[kChunk], m[kChunk], l[kChunk], hpX[kChunk], hpY[kChunk], lpX[kChunk], lpY[kChunk];
  } ctl;
  auto smooth = [&](int len) __attribute__((always_inline)) {
    for (int i = 0; i < len; ++i)
    {
      zBandsPrev = zBands;
      const Lanes4 s1 = aBands * zBands + cBands;
      const Lanes4 s2 = aBands * s1 + cBands;
      zBands = s2;
      const Lanes4 left = 1.0 - s1, right = 1.0 - s2;
      const Lanes4 hl = __builtin_shufflevector(left, right, 0, 4, 2, 6);  // H left, right; L left, right
      const Lanes4 m = __builtin_shufflevector(left, right, 1, 5, 3, 7);   // M left, right
      ctl.h[i] = torven_chain::Half<0>(hl);
      ctl.l[i] = torven_chain::Half<1>(hl);
      ctl.m[i] = torven_chain::Half<0>(m);
      zPassesPrev = zPasses;
      const Lanes2 t1 = aPasses * zPasses + cPasses;
      const Lanes2 t2 = aPasses * t1 + cPasses;
      const Lanes2 t3 = aPasses * t2 + cPasses;
      const Lanes2 t4 = aPasses * t3 + cPasses;
      zPasses = t4;
      ctl.hpX[i] = 1.0 - __builtin_shufflevector(t1, t3, 0, 2);
      ctl.hpY[i] = 1.0 - __builtin_shufflevector(t2, t4, 0, 2);
      ctl.lpX[i] = __builtin_shufflevector(t1, t3, 1, 3);
      ctl.lpY[i] = __builtin_shufflevector(t2, t4, 1, 3);
    }
    if (len % 2)  // the pair of the last frame: its partner's lanes are dropped
      for (Lanes2* row : {ctl.h, ctl.m, ctl.l, ctl.hpX, ctl.hpY, ctl.lpX, ctl.lpY}) row[len] = row[len - 1];
  };

  // The coefficients of every frame of a chunk, two frames at once in four
  // lanes (with SSE2 alone, pairs of two-lane operations).
  struct Coeffs
  {
    CoeffRows<6> high;
    CoeffRows<8> highPass;
    CoeffRows<6> lowPass;
    CoeffRows<8> mid;
    CoeffRows<8> low;
  } co;
  const Lanes4 fsBand = {fs, fs, fs, fs};
  const Lanes4 fsHP = fsBand * 2.0;  // 2.0 * fs
  const Lanes4 fsLP = fsBand * 0.5;  // fs * 0.5
  auto pair = [](const Lanes2* row, int i) __attribute__((always_inline)) {
    Lanes4 v;
    std::memcpy(&v, row + i, sizeof v);
    return v;
  };
  auto coefficients = [&](int len) __attribute__((always_inline)) {
    for (int i = 0; i < len; i += 2)
    {
      QuadCoeffs q;
      V553H::Coefficients<Lanes4>(fsBand, pair(ctl.h, i), q);
      StorePair(q, co.high, i);
      V553HP::Coefficients<Lanes4>(fsHP, pair(ctl.hpX, i), pair(ctl.hpY, i), q);
      StorePair(q, co.highPass, i);
      V553LP::Coefficients<Lanes4>(fsLP, pair(ctl.lpX, i), pair(ctl.lpY, i), q);
      StorePair(q, co.lowPass, i);
      V553M::Coefficients<Lanes4>(fsBand, pair(ctl.m, i), q);
      StorePair(q, co.mid, i);
      V553L::Coefficients<Lanes4>(fsBand, pair(ctl.l, i), q);
      StorePair(q, co.low, i);
    }
  };

  // At rest, the sections' own coefficients serve every frame.
  struct Rest
  {
    Lanes2 high[6], highPass[8], lowPass[6], mid[8], low[8];
  } rest;
  LoadSectionCoeffs(mHigh[0], mHigh[1], rest.high);
  LoadSectionCoeffs(mHighPass[0], mHighPass[1], rest.highPass);
  LoadSectionCoeffs(mLowPass[0], mLowPass[1], rest.lowPass);
  LoadSectionCoeffs(mMid[0], mMid[1], rest.mid);
  LoadSectionCoeffs(mLow[0], mLow[1], rest.low);

  // The chain's signal in a chunk: buffer 0 holds the first section's
  // inputs, buffer j + 1 section j's outputs (and so section j + 1's
  // inputs), each with the three frames before the chunk in front.
  Lanes2 buf[6][kHist + kChunk];
  LoadInputs(mHigh[0], mHigh[1], buf[0]);
  LoadOutputs(mHigh[0], mHigh[1], buf[1]);
  LoadOutputs(mHighPass[0], mHighPass[1], buf[2]);
  LoadOutputs(mLowPass[0], mLowPass[1], buf[3]);
  LoadOutputs(mMid[0], mMid[1], buf[4]);
  LoadOutputs(mLow[0], mLow[1], buf[5]);
  Lanes2* const b0 = buf[0] + kHist;
  Lanes2* const b1 = buf[1] + kHist;
  Lanes2* const b2 = buf[2] + kHist;
  Lanes2* const b3 = buf[3] + kHist;
  Lanes2* const b4 = buf[4] + kHist;
  Lanes2* const b5 = buf[5] + kHist;

  const double outGain = mOutGain;
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

  // The five sections run skewed: at step t section j takes frame t - j, so
  // the five recursions of one step do not wait on each other (in frame
  // order each waits on the one before, five divisions deep, and the chain
  // would fill the processor's window instead of the saturation path's
  // work). The results are the same as in frame order, but for the clearing
  // after a result that is not finite, which must come before the next
  // frame of every section: a chunk that meets one is run again in frame
  // order from its start (its inputs are still in buffer 0).
  Lanes2 in = MakeLanes(in0p[0], in1p[0]);
  sat.Start(PathInput(in));
  Lanes2 lastSat{};
  int lastLen = 0;
  // The chunks, with the coefficient work compiled out when at rest.
  auto run = [&](auto atRestTag) __attribute__((always_inline)) {
    constexpr bool kAtRest = decltype(atRestTag)::value;
    // Coefficient k of frame i: c[k * kStride + i] (i is 0 at rest).
    constexpr int kStride = kAtRest ? 1 : kChunk;
    const Lanes2* const cHigh = kAtRest ? rest.high : co.high.v[0];
    const Lanes2* const cHighPass = kAtRest ? rest.highPass : co.highPass.v[0];
    const Lanes2* const cLowPass = kAtRest ? rest.lowPass : co.lowPass.v[0];
    const Lanes2* const cMid = kAtRest ? rest.mid : co.mid.v[0];
    const Lanes2* const cLow = kAtRest ? rest.low : co.low.v[0];
    auto at = [](int i) __attribute__((always_inline)) { return kAtRest ? 0 : i; };
    for (int c0 = 0; c0 < nFrames; c0 += kChunk)
    {
      const int len = nFrames - c0 > kChunk ? kChunk : nFrames - c0;
      if constexpr (!kAtRest)
      {
        smooth(len);
        coefficients(len);
      }
      Lanes2 finite{};  // stays 0 while every result is finite (v * 0 is NaN otherwise)
      auto step = [&](int t, auto fullTag) __attribute__((always_inline)) {
        constexpr bool kFull = decltype(fullTag)::value;
        if (kFull || (t >= 4 && t - 4 < len))
        {
          const int i = t - 4;
          const Lanes2 y = SectionStep<true, kStride>(cLow + at(i), b4 + i, b5 + i);
          finite += y * 0.0;
          output(c0 + i, y);
        }
        if (kFull || (t >= 3 && t - 3 < len)) SectionStep<true, kStride>(cMid + at(t - 3), b3 + t - 3, b4 + t - 3);
        if (kFull || (t >= 2 && t - 2 < len))
          SectionStep<false, kStride>(cLowPass + at(t - 2), b2 + t - 2, b3 + t - 2);
        if (kFull || (t >= 1 && t - 1 < len))
          SectionStep<true, kStride>(cHighPass + at(t - 1), b1 + t - 1, b2 + t - 1);
        if (kFull || t < len)
        {
          // Frame n + 1's input is read before frame n's output is written;
          // outputs may be the inputs' memory, sample for sample, so this
          // reads nothing written yet.
          const int n = c0 + t;
          if (n + 1 < nFrames)
          {
            const Lanes2 next = MakeLanes(in0p[n + 1], in1p[n + 1]);
            b0[t] = sat.Frame(PathInput(next)) * kSatLevel + in;
            in = next;
          }
          else
          {
            lastSat = sat.LastFrame();
            b0[t] = lastSat * kSatLevel + in;
          }
          SectionStep<false, kStride>(cHigh + at(t), b0 + t, b1 + t);
        }
      };
      int t = 0;
      for (; t < 4; ++t) step(t, std::false_type{});
      for (; t < len; ++t) step(t, std::true_type{});
      for (; t < len + 4; ++t) step(t, std::false_type{});

      if (__builtin_expect(finite[0] != 0.0 || finite[1] != 0.0, 0))
      {
        // The chunk again, in frame order, clearing a channel's sections
        // after each result of it that is not finite.
        for (int i = 0; i < len; ++i)
        {
          SectionStep<false, kStride>(cHigh + at(i), b0 + i, b1 + i);
          SectionStep<true, kStride>(cHighPass + at(i), b1 + i, b2 + i);
          SectionStep<false, kStride>(cLowPass + at(i), b2 + i, b3 + i);
          SectionStep<true, kStride>(cMid + at(i), b3 + i, b4 + i);
          const Lanes2 y = SectionStep<true, kStride>(cLow + at(i), b4 + i, b5 + i);
          const auto bad = (y * 0.0) != 0.0;
          if (bad[0] | bad[1])
            for (Lanes2* bj : {b0, b1, b2, b3, b4, b5})
              for (int h = i - 2; h <= i; ++h) bj[h] = bad ? Lanes2{} : bj[h];
          output(c0 + i, y);
        }
      }
      // The last three frames to the front for the next chunk (in rising
      // order: with fewer than three frames the ranges overlap).
      for (Lanes2* bj : {buf[0], buf[1], buf[2], buf[3], buf[4], buf[5]})
        for (int h = 0; h < kHist; ++h) bj[h] = bj[len + h];
      lastLen = len;
    }
  };
  if (atRest) run(std::true_type{});
  else run(std::false_type{});
  mSatOut[0] = lastSat[0];
  mSatOut[1] = lastSat[1];

  StoreHistories(buf[0], buf[1], mHigh[0], mHigh[1]);
  StoreHistories(buf[1], buf[2], mHighPass[0], mHighPass[1]);
  StoreHistories(buf[2], buf[3], mLowPass[0], mLowPass[1]);
  StoreHistories(buf[3], buf[4], mMid[0], mMid[1]);
  StoreHistories(buf[4], buf[5], mLow[0], mLow[1]);

  if (!atRest)
  {
    // The sections keep the coefficients of the last frame.
    const int i = lastLen - 1;
    StoreSectionCoeffs(co.high.v[0] + i, kChunk, mHigh[0], mHigh[1]);
    StoreSectionCoeffs(co.highPass.v[0] + i, kChunk, mHighPass[0], mHighPass[1]);
    StoreSectionCoeffs(co.lowPass.v[0] + i, kChunk, mLowPass[0], mLowPass[1]);
    StoreSectionCoeffs(co.mid.v[0] + i, kChunk, mMid[0], mMid[1]);
    StoreSectionCoeffs(co.low.v[0] + i, kChunk, mLow[0], mLow[1]);

    // The last frame stepped every smoother from its fixed point to itself:
    // its coefficients are those of the resting values.
    const double zH = zBands[0], zM = zBands[1], zL = zBands[2], zHP = zPasses[0], zLP = zPasses[1];
    mCoeffsAtRest = SameBits(zBandsPrev[0], zH) && SameBits(zBandsPrev[1], zM) && SameBits(zBandsPrev[2], zL) &&
                    SameBits(zPassesPrev[0], zHP) && SameBits(zPassesPrev[1], zLP) &&
                    SameBits(a * zH + b * gainH, zH) && SameBits(a * zM + b * gainM, zM) &&
                    SameBits(a * zL + b * gainL, zL) && SameBits(a * zHP + b * hpf, zHP) &&
                    SameBits(a * zLP - b * lpf, zLP);
    mCoeffsRate = fs;
    mSmoothH.z = zH;
    mSmoothM.z = zM;
    mSmoothL.z = zL;
    mSmoothHP.z = zHP;
    mSmoothLP.z = zLP;
  }
  mSectionRate = fs;
}
