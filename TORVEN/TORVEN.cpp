#include "TORVEN/TORVEN.h"

#include <cmath>

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
    case kOversampling: mOversampling = (pParam->Int() != 0) ? 16 : 4; break;
    default: break;
  }
}

double TORVEN::ProcessSections(int ch, double x)
{
  double y = mHigh[ch].Process(x);
  y = mHighPass[ch].Process(y);
  y = mLowPass[ch].Process(y);
  y = mMid[ch].Process(y);
  y = mLow[ch].Process(y);
  // A NaN or an infinity that reached a history (bad input, or an overflow on
  // absurdly large input) would stay there and silence the channel for good.
  // Any non-finite history shows in this last output, so one check covers the
  // chain; clearing all five lets the very next sample come out finite.
  if (!std::isfinite(y))
  {
    mHigh[ch].Reset();
    mHighPass[ch].Reset();
    mLowPass[ch].Reset();
    mMid[ch].Reset();
    mLow[ch].Reset();
  }
  return y;
}

// Runs under the instance mutex (held by the adapter), so the control values,
// the factor and the bypass state cannot change inside a block; the per-frame
// reads below are therefore cheap repeats, kept literal because the
// arithmetic order is part of the sound.
void TORVEN::ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames)
{
  // The anti-alias design follows the factor chosen since the last block; it
  // runs even for an empty block.
  const double alpha = 0.2 / static_cast<double>(mOversampling);
  mBesselL.Calc(alpha);
  mBesselR.Calc(alpha);
  if (nFrames < 1) return;
  if (!inputs || !outputs || !inputs[0] || !inputs[1] || !outputs[0] || !outputs[1]) return;

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

    const double s0 = in0 * kSatDrive;
    const double s1 = in1 * kSatDrive;
    const int factor = mOversampling;
    switch (factor)
    {
      case 4:
        SaturationPathStereo<4>(s0, s1, mBesselL, mUpL, mDownL, mBesselR, mUpR, mDownR, mSatOut[0], mSatOut[1]);
        break;
      case 16:
        SaturationPathStereo<16>(s0, s1, mBesselL, mUpL, mDownL, mBesselR, mUpR, mDownR, mSatOut[0], mSatOut[1]);
        break;
      default:
        // A factor below 1 runs nothing and keeps the previous outputs.
        SaturationPath(s0, factor, mBesselL, mUpL, mDownL, mSatOut[0]);
        SaturationPath(s1, factor, mBesselR, mUpR, mDownR, mSatOut[1]);
        break;
    }

    const int bypass = pBypass ? pBypass->Int() : 0;
    if (bypass == 0)
    {
      out0p[n] = ProcessSections(0, mSatOut[0] * kSatLevel + in0) * mOutGain;
      out1p[n] = ProcessSections(1, mSatOut[1] * kSatLevel + in1) * mOutGain;
    }
    else if (bypass == 1)
    {
      out0p[n] = in0;
      out1p[n] = in1;
    }
    // Any other value leaves this frame's outputs unwritten.
  }

  mSmoothH.z = zH;
  mSmoothM.z = zM;
  mSmoothL.z = zL;
  mSmoothHP.z = zHP;
  mSmoothLP.z = zLP;
}
