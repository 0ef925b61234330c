// Shared helpers of the TORVEN tests: a plug-in opened the way a host opens
// it, block-wise processing of whole signals, level measurement, and the test
// hook into the DSP state.
#ifndef TESTS_TORVEN_TORVEN_TEST_UTIL_H_
#define TESTS_TORVEN_TORVEN_TEST_UTIL_H_

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "TORVEN/TORVEN.h"

// Friend of TORVEN: read (and for the reference comparison, copy) its state.
struct TORVENTestAccess
{
  static const OnePoleSmoother& SmoothH(const TORVEN& p) { return p.mSmoothH; }
  static const OnePoleSmoother& SmoothM(const TORVEN& p) { return p.mSmoothM; }
  static const OnePoleSmoother& SmoothL(const TORVEN& p) { return p.mSmoothL; }
  static const OnePoleSmoother& SmoothHP(const TORVEN& p) { return p.mSmoothHP; }
  static const OnePoleSmoother& SmoothLP(const TORVEN& p) { return p.mSmoothLP; }
  static double OutGain(const TORVEN& p) { return p.mOutGain; }
  static double GainH(const TORVEN& p) { return p.mGainH; }
  static double GainM(const TORVEN& p) { return p.mGainM; }
  static double GainL(const TORVEN& p) { return p.mGainL; }
  static double HPF(const TORVEN& p) { return p.mHPF; }
  static double LPF(const TORVEN& p) { return p.mLPF; }
  static int Oversampling(const TORVEN& p) { return p.mOversampling; }
  static const V553H& High(const TORVEN& p, int ch) { return p.mHigh[ch]; }
  static const V553HP& HighPass(const TORVEN& p, int ch) { return p.mHighPass[ch]; }
  static const V553LP& LowPass(const TORVEN& p, int ch) { return p.mLowPass[ch]; }
  static const V553M& Mid(const TORVEN& p, int ch) { return p.mMid[ch]; }
  static const V553L& Low(const TORVEN& p, int ch) { return p.mLow[ch]; }
  static const WDL_BesselFilterCoeffs& BesselL(const TORVEN& p) { return p.mBesselL; }
  static const WDL_BesselFilterCoeffs& BesselR(const TORVEN& p) { return p.mBesselR; }
  static const BesselStage& UpL(const TORVEN& p) { return p.mUpL; }
  static const BesselStage& DownL(const TORVEN& p) { return p.mDownL; }
  static const BesselStage& UpR(const TORVEN& p) { return p.mUpR; }
  static const BesselStage& DownR(const TORVEN& p) { return p.mDownR; }
  static const double* SatOut(const TORVEN& p) { return p.mSatOut; }
  static double SectionRate(const TORVEN& p) { return p.mSectionRate; }
  static bool CoeffsAtRest(const TORVEN& p) { return p.mCoeffsAtRest; }
  static bool EagerFlush(const TORVEN& p) { return p.mEagerFlush; }
  // The AVX2 form of the chain, where the CPU has it; false selects SSE2.
  static void UseAvx2(TORVEN& p, bool on) { p.mAvx2 = on && TORVEN::CpuHasAvx2(); }
  static bool CpuHasAvx2() { return TORVEN::CpuHasAvx2(); }
};

namespace torven_test {

constexpr double kPi = 3.14159265358979323846;

inline std::uint64_t Bits(double v)
{
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// A plug-in as the host has it after effOpen: rate set, every parameter's
// OnParamChange called, Bessel histories cleared.
inline std::unique_ptr<TORVEN> OpenPlug(double fs = 44100.0, int factor = 4)
{
  IPlugInstanceInfo info;  // no host callback
  auto plug = std::make_unique<TORVEN>(info);
  plug->SetSampleRate(fs);
  if (factor == 16) plug->GetParam(kOversampling)->Set(1.0);
  for (int i = 0; i < kNumParams; ++i) plug->OnParamChange(i);
  plug->Reset();
  return plug;
}

inline void SetParam(TORVEN& plug, int idx, double value)
{
  plug.GetParam(idx)->Set(value);
  plug.OnParamChange(idx);
}

// A stereo signal, channel-major.
struct Stereo
{
  std::vector<double> ch[2];
  explicit Stereo(size_t n = 0) : ch{std::vector<double>(n, 0.0), std::vector<double>(n, 0.0)} {}
  size_t size() const { return ch[0].size(); }
};

inline Stereo Sine(size_t n, double fs, double freq, double amp, double phase = 0.0)
{
  Stereo s(n);
  for (size_t i = 0; i < n; ++i)
  {
    const double v = amp * std::sin(2.0 * kPi * freq * static_cast<double>(i) / fs + phase);
    s.ch[0][i] = v;
    s.ch[1][i] = v;
  }
  return s;
}

// Runs the whole signal through in blocks of blockSize (separate buffers).
inline Stereo RunBlocks(TORVEN& plug, const Stereo& in, int blockSize = 512)
{
  Stereo out(in.size());
  for (size_t pos = 0; pos < in.size(); pos += static_cast<size_t>(blockSize))
  {
    const int n = static_cast<int>(std::min(static_cast<size_t>(blockSize), in.size() - pos));
    double* ins[2] = {const_cast<double*>(in.ch[0].data() + pos), const_cast<double*>(in.ch[1].data() + pos)};
    double* outs[2] = {out.ch[0].data() + pos, out.ch[1].data() + pos};
    plug.ProcessDoubleReplacing(ins, outs, n);
  }
  return out;
}

inline double Rms(const std::vector<double>& v, size_t from, size_t to)
{
  double sum = 0.0;
  for (size_t i = from; i < to; ++i) sum += v[i] * v[i];
  return std::sqrt(sum / static_cast<double>(to - from));
}

inline double MaxAbs(const std::vector<double>& v, size_t from, size_t to)
{
  double m = 0.0;
  for (size_t i = from; i < to; ++i) m = std::max(m, std::fabs(v[i]));
  return m;
}

}  // namespace torven_test

#endif  // TESTS_TORVEN_TORVEN_TEST_UTIL_H_
