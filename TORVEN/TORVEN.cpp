#include "TORVEN/TORVEN.h"

#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "Coeffs/saturation.h"

namespace {

constexpr int kNumPresets = 1;
constexpr int kVendorVersion = 0x40000;  // 4.0.0

// The saturation component is mixed in 30 dB down: 10^(-1.5).
constexpr double kSatLevel = 0.03162277660168379;
// The input is scaled up by this before the waveshaper path.
constexpr double kSatDrive = 10.0;
// -2 pi: the smoothers' pole is exp(-2 pi / fs), a 1 Hz corner per step.
constexpr double kMinusTwoPi = -6.283185307179586;

#if defined(__SSE2__)

constexpr int kBesselOrder = WDL_BesselFilterCoeffs::kOrder;

// The waveshaper curves widened to double once (exactly, as the lookup
// widens each value): row 0 for positive inputs, row 1 for negative ones.
struct ShaperCurves
{
  double v[2][200];
};

constexpr ShaperCurves MakeShaperCurves()
{
  ShaperCurves c{};
  for (int i = 0; i < 200; ++i)
  {
    c.v[0][i] = static_cast<double>(zuz553a_table.values[i]);
    c.v[1][i] = static_cast<double>(zuz553a_neg_table.values[i]);
  }
  return c;
}

constexpr ShaperCurves kShaperCurves = MakeShaperCurves();

// The saturation path of both channels for a fixed factor N with the
// channels in the two lanes of an SSE2 register (lane 0 left, lane 1 right):
// per lane exactly the operations of SaturationPath<N>, so the results are
// the same bits (the tests hold them equal), at about half the instructions.
//
// One object serves one block: it takes the four stage histories in at
// construction and hands them back in Finish (nothing else touches them in
// between). Each stage's history runs in a linear buffer, oldest first, that
// grows by one value per sub-sample, so nothing is shifted; every kChunk
// frames its last ten values move back to the front.
template <int N>
class StereoSaturation
{
public:
  StereoSaturation(const WDL_BesselFilterCoeffs& cL, const WDL_BesselFilterCoeffs& cR, const BesselStage& upL,
                   const BesselStage& downL, const BesselStage& upR, const BesselStage& downR)
  {
    mGain = _mm_set_pd(cR.gain, cL.gain);
    for (int k = 0; k < kBesselOrder; ++k)
    {
      mC[k] = _mm_set_pd(cR.c[k], cL.c[k]);
      mU[kBesselOrder - 1 - k] = _mm_set_pd(upR.y[k], upL.y[k]);
      mD[kBesselOrder - 1 - k] = _mm_set_pd(downR.y[k], downL.y[k]);
    }
  }

  void Run(double xL, double xR, double& outL, double& outR)
  {
    if (mPos == kLength - kBesselOrder)
    {
      for (int k = 0; k < kBesselOrder; ++k)
      {
        mU[k] = mU[mPos + k];
        mD[k] = mD[mPos + k];
      }
      mPos = 0;
    }
    __m128d* u = mU + mPos;
    __m128d* d = mD + mPos;
    mPos += N;

    const __m128d x = _mm_set_pd(detail::LimitPathInput(xR), detail::LimitPathInput(xL));
    const __m128d restore = _mm_set1_pd(double(N));
    // Zero stuffing, the level restored by N at the shaper, decimation
    // keeping the first sub-sample.
    const __m128d out = Step(d, Shape(_mm_mul_pd(restore, Step(u, x))));
    for (int i = 1; i < N; ++i) Step(d + i, Shape(_mm_mul_pd(restore, Step(u + i, _mm_setzero_pd()))));
    _mm_storel_pd(&outL, out);
    _mm_storeh_pd(&outR, out);
  }

  void Finish(BesselStage& upL, BesselStage& downL, BesselStage& upR, BesselStage& downR) const
  {
    for (int k = 0; k < kBesselOrder; ++k)
    {
      const __m128d un = mU[mPos + kBesselOrder - 1 - k], dn = mD[mPos + kBesselOrder - 1 - k];
      _mm_storel_pd(&upL.y[k], un);
      _mm_storeh_pd(&upR.y[k], un);
      _mm_storel_pd(&downL.y[k], dn);
      _mm_storeh_pd(&downR.y[k], dn);
    }
  }

private:
  // h[0 .. 9] is the history, oldest first; the output goes to h[10]. Same
  // order as BesselStage::Step: gain * x, then c0 * the newest, ..., c9 *
  // the oldest, then the flush.
  __m128d Step(__m128d* h, __m128d x) const
  {
    __m128d acc = _mm_mul_pd(mGain, x);
    acc = _mm_add_pd(acc, _mm_mul_pd(mC[0], h[9]));
    acc = _mm_add_pd(acc, _mm_mul_pd(mC[1], h[8]));
    acc = _mm_add_pd(acc, _mm_mul_pd(mC[2], h[7]));
    acc = _mm_add_pd(acc, _mm_mul_pd(mC[3], h[6]));
    acc = _mm_add_pd(acc, _mm_mul_pd(mC[4], h[5]));
    acc = _mm_add_pd(acc, _mm_mul_pd(mC[5], h[4]));
    acc = _mm_add_pd(acc, _mm_mul_pd(mC[6], h[3]));
    acc = _mm_add_pd(acc, _mm_mul_pd(mC[7], h[2]));
    acc = _mm_add_pd(acc, _mm_mul_pd(mC[8], h[1]));
    acc = _mm_add_pd(acc, _mm_mul_pd(mC[9], h[0]));
    acc = Flush(acc);
    h[kBesselOrder] = acc;
    return acc;
  }

  // WDL_BesselFlush per lane: zero when ((upper word + 0x00100000) AND
  // 0x7FE00000) is below 0x3CA00000. Only the upper words are tested; the
  // rare flush is a branch, so the usual path adds no latency to the chain.
  static __m128d Flush(__m128d v)
  {
    const __m128i e = _mm_and_si128(_mm_add_epi32(_mm_castpd_si128(v), _mm_set_epi32(0x00100000, 0, 0x00100000, 0)),
                                    _mm_set_epi32(0x7FE00000, 0, 0x7FE00000, 0));
    const __m128i tiny = _mm_cmplt_epi32(e, _mm_set1_epi32(0x3CA00000));
    if (_mm_movemask_pd(_mm_castsi128_pd(tiny)) == 0) return v;
    // Spread each upper word's verdict over its whole lane.
    return _mm_andnot_pd(_mm_castsi128_pd(_mm_shuffle_epi32(tiny, 0xF5)), v);
  }

  // zuz553a_shape per lane.
  static __m128d Shape(__m128d v)
  {
    const __m128d signBit = _mm_set1_pd(-0.0);
    const __m128d m = _mm_mul_pd(_mm_andnot_pd(signBit, v), _mm_set1_pd(142.14300537109375));
    // 2^31 steps or more, and NaN, give 0.
    const __m128d inRange = _mm_cmplt_pd(m, _mm_set1_pd(2147483648.0));
    const __m128i i = _mm_cvttpd_epi32(m);
    // Row by sign, index clamped into the table (lanes outside it are
    // replaced below).
    const int negative = _mm_movemask_pd(v);
    const int iL = _mm_cvtsi128_si32(i);
    const int iR = _mm_cvtsi128_si32(_mm_shuffle_epi32(i, 1));
    const double* rowL = kShaperCurves.v[negative & 1];
    const double* rowR = kShaperCurves.v[(negative >> 1) & 1];
    const int jL = iL < 0 ? 0 : (iL > 198 ? 198 : iL);
    const int jR = iR < 0 ? 0 : (iR > 198 ? 198 : iR);
    const __m128d t0 = _mm_loadh_pd(_mm_load_sd(rowL + jL), rowR + jR);
    const __m128d t1 = _mm_loadh_pd(_mm_load_sd(rowL + jL + 1), rowR + jR + 1);
    const __m128d f = _mm_sub_pd(m, _mm_cvtepi32_pd(i));
    __m128d r = _mm_add_pd(_mm_mul_pd(_mm_sub_pd(_mm_set1_pd(1.0), f), t0), _mm_mul_pd(f, t1));
    // From index 199 on: the end value.
    const __m128d end = _mm_castsi128_pd(_mm_shuffle_epi32(_mm_cmpgt_epi32(i, _mm_set1_epi32(198)), 0x50));
    r = _mm_or_pd(_mm_and_pd(end, _mm_set1_pd(0.8333333134651184)), _mm_andnot_pd(end, r));
    r = _mm_and_pd(inRange, r);
    // |r| with the sign of v.
    return _mm_or_pd(_mm_andnot_pd(signBit, r), _mm_and_pd(signBit, v));
  }

  static constexpr int kChunk = 256 / N;  // frames between moves
  static constexpr int kLength = kBesselOrder + kChunk * N;

  __m128d mGain;
  __m128d mC[kBesselOrder];
  __m128d mU[kLength], mD[kLength];
  int mPos = 0;  // start of the current history in mU and mD
};

#else  // no SSE2: the plain two-channel path, same results

template <int N>
class StereoSaturation
{
public:
  StereoSaturation(const WDL_BesselFilterCoeffs& cL, const WDL_BesselFilterCoeffs& cR, const BesselStage& upL,
                   const BesselStage& downL, const BesselStage& upR, const BesselStage& downR)
    : mCL(cL), mCR(cR), mUpL(upL), mDownL(downL), mUpR(upR), mDownR(downR)
  {
  }
  void Run(double xL, double xR, double& outL, double& outR)
  {
    SaturationPathStereo<N>(xL, xR, mCL, mUpL, mDownL, mCR, mUpR, mDownR, outL, outR);
  }
  void Finish(BesselStage& upL, BesselStage& downL, BesselStage& upR, BesselStage& downR) const
  {
    upL = mUpL;
    downL = mDownL;
    upR = mUpR;
    downR = mDownR;
  }

private:
  const WDL_BesselFilterCoeffs& mCL;
  const WDL_BesselFilterCoeffs& mCR;
  BesselStage mUpL, mDownL, mUpR, mDownR;
};

#endif

// The Bypass value truncated toward zero, as IParam::Int() gives it, inline:
// 0, 1, or 2 for anything else (which writes no output).
inline int BypassState(const IParam* pBypass)
{
  if (!pBypass) return 0;
  const double v = pBypass->Value();
  if (std::isnan(v) || (v > -1.0 && v < 1.0)) return 0;
  return (v >= 1.0 && v < 2.0) ? 1 : 2;
}

// Any factor on the plain single-channel path, straight on the stages.
struct AnyFactorSaturation
{
  int factor;
  const WDL_BesselFilterCoeffs& cL;
  const WDL_BesselFilterCoeffs& cR;
  BesselStage& upL;
  BesselStage& downL;
  BesselStage& upR;
  BesselStage& downR;

  void Run(double xL, double xR, double& outL, double& outR)
  {
    SaturationPath(xL, factor, cL, upL, downL, outL);
    SaturationPath(xR, factor, cR, upR, downR, outR);
  }
};

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

inline void TORVEN::ProcessSections(double& left, double& right)
{
  // The channels are independent chains; interleaving them lets the two
  // overlap. Per channel the order is fixed.
  double l = mHigh[0].Process(left);
  double r = mHigh[1].Process(right);
  l = mHighPass[0].Process(l);
  r = mHighPass[1].Process(r);
  l = mLowPass[0].Process(l);
  r = mLowPass[1].Process(r);
  l = mMid[0].Process(l);
  r = mMid[1].Process(r);
  l = mLow[0].Process(l);
  r = mLow[1].Process(r);
  // A NaN or an infinity that reached a history (bad input, or an overflow on
  // absurdly large input) would stay there and silence the channel for good.
  // Any non-finite history shows in the channel's last output, so one check
  // covers its chain; clearing all five lets the next sample come out finite.
  if (!std::isfinite(l)) ClearSections(0);
  if (!std::isfinite(r)) ClearSections(1);
  left = l;
  right = r;
}

void TORVEN::ClearSections(int ch)
{
  mHigh[ch].Reset();
  mHighPass[ch].Reset();
  mLowPass[ch].Reset();
  mMid[ch].Reset();
  mLow[ch].Reset();
}

// Runs under the instance mutex (held by the adapter), so the control values,
// the factor and the bypass state cannot change inside a block: the factor is
// read once per block and picks the saturation path for the whole block;
// the rate and the bypass state are read every frame, as cheap repeats.
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

  switch (factor)
  {
    case 4:
    {
      StereoSaturation<4> sat(mBesselL, mBesselR, mUpL, mDownL, mUpR, mDownR);
      ProcessFrames(sat, inputs, outputs, nFrames);
      sat.Finish(mUpL, mDownL, mUpR, mDownR);
      break;
    }
    case 16:
    {
      StereoSaturation<16> sat(mBesselL, mBesselR, mUpL, mDownL, mUpR, mDownR);
      ProcessFrames(sat, inputs, outputs, nFrames);
      sat.Finish(mUpL, mDownL, mUpR, mDownR);
      break;
    }
    default:
    {
      // Any other factor (never set by OnParamChange) on the plain path; one
      // below 1 runs nothing and keeps the previous outputs.
      AnyFactorSaturation sat{factor, mBesselL, mBesselR, mUpL, mDownL, mUpR, mDownR};
      ProcessFrames(sat, inputs, outputs, nFrames);
      break;
    }
  }
}

template <class TSaturation>
void TORVEN::ProcessFrames(TSaturation& sat, double** inputs, double** outputs, int nFrames)
{
  const double* in0p = inputs[0];
  const double* in1p = inputs[1];
  double* out0p = outputs[0];
  double* out1p = outputs[1];
  const IParam* pBypass = GetParam(kBypass);

  const double gainH = mGainH, gainM = mGainM, gainL = mGainL;
  const double hpf = mHPF, lpf = mLPF;
  double zH = mSmoothH.z, zM = mSmoothM.z, zL = mSmoothL.z;
  double zHP = mSmoothHP.z, zLP = mSmoothLP.z;

  // exp(-2 pi / fs) is recomputed only when the rate differs from the last
  // frame's: the same argument gives the same value, so this is exact.
  double lastFs = 0.0;  // never a valid rate
  double a = 0.0, b = 1.0;

  for (int n = 0; n < nFrames; ++n)
  {
    // Read both inputs first: the outputs may be the same memory.
    const double in0 = in0p[n];
    const double in1 = in1p[n];

    // The saturation path shares no state with the smoothers and the
    // coefficient updates, so running it first changes no result; it lets
    // its long dependency chains overlap with the coefficient work.
    sat.Run(in0 * kSatDrive, in1 * kSatDrive, mSatOut[0], mSatOut[1]);

    const double fs = GetSampleRate();
    if (fs != lastFs)
    {
      lastFs = fs;
      a = std::exp((1.0 / fs) * kMinusTwoPi);
      b = 1.0 - a;
      mSmoothH.a = mSmoothL.a = mSmoothM.a = mSmoothHP.a = mSmoothLP.a = a;
      mSmoothH.b = mSmoothL.b = mSmoothM.b = mSmoothHP.b = mSmoothLP.b = b;
    }

    // Each band smoother steps once before each channel's Calc.
    zH = a * zH + b * gainH;
    mHigh[0].Calc(fs, 1.0 - zH);
    zH = a * zH + b * gainH;
    mHigh[1].Calc(fs, 1.0 - zH);

    // High-pass and low-pass take two successive smoothed values per channel.
    const double fsHP = 2.0 * fs;
    for (V553HP& s : mHighPass)
    {
      const double t1 = a * zHP + b * hpf;
      const double t2 = a * t1 + b * hpf;
      zHP = t2;
      s.Calc(fsHP, 1.0 - t1, 1.0 - t2);
    }
    const double fsLP = fs * 0.5;
    for (V553LP& s : mLowPass)
    {
      // The smoother tracks minus LPF (0 .. 0.3).
      const double q1 = a * zLP - b * lpf;
      const double q2 = a * q1 - b * lpf;
      zLP = q2;
      s.Calc(fsLP, q1, q2);
    }

    zM = a * zM + b * gainM;
    mMid[0].Calc(fs, 1.0 - zM);
    zM = a * zM + b * gainM;
    mMid[1].Calc(fs, 1.0 - zM);

    zL = a * zL + b * gainL;
    mLow[0].Calc(fs, 1.0 - zL);
    zL = a * zL + b * gainL;
    mLow[1].Calc(fs, 1.0 - zL);

    // The sections run whatever the bypass switch says, so their histories
    // always match their coefficients and leaving bypass is seamless; while
    // bypassed their output is dropped.
    double l = mSatOut[0] * kSatLevel + in0;
    double r = mSatOut[1] * kSatLevel + in1;
    ProcessSections(l, r);
    const int bypass = BypassState(pBypass);
    if (bypass == 0)
    {
      out0p[n] = l * mOutGain;
      out1p[n] = r * mOutGain;
    }
    else if (bypass == 1)
    {
      out0p[n] = in0;
      out1p[n] = in1;
    }
    // Any other value leaves this frame's outputs unwritten.
  }

  mSectionRate = lastFs;
  mSmoothH.z = zH;
  mSmoothM.z = zM;
  mSmoothL.z = zL;
  mSmoothHP.z = zHP;
  mSmoothLP.z = zLP;
}
