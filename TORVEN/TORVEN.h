// TORVEN: a stereo equaliser channel strip.
//
// Each channel's input gets a small saturated component (a table waveshaper run
// at 4x or 16x between two 10th-order Bessel anti-alias filters, mixed in 30 dB
// down); the sum runs through five circuit-modelled sections (high shelf,
// high-pass, low-pass, mid peak, low shelf) whose coefficients follow one-pole
// smoothed controls sample by sample, then the output gain. Bypass passes the
// input through untouched. No latency, no MIDI.
//
// No switch may make the recursions meet coefficients their histories were not
// made under, or they ring far above the input: while bypassed the sections
// go on running on the signal (only their output is dropped); a Reset at a new
// sample rate clears them; a change of the oversampling factor clears the
// anti-alias histories.
//
// Threading: OnParamChange and Reset take the instance mutex; the adapter holds
// it around every process call, so control values never change inside a block.
#ifndef TORVEN_TORVEN_H_
#define TORVEN_TORVEN_H_

#include "Coeffs/V553H.h"
#include "Coeffs/V553HP.h"
#include "Coeffs/V553L.h"
#include "Coeffs/V553LP.h"
#include "Coeffs/V553M.h"
#include "WDL/IPlug/IPlug_include_in_plug_hdr.h"
#include "WDL/besselfilter.h"

class IGraphics;

// The editor: 300 x 570 pixels at the default frame rate.
static const int kEditorWidth = 300;
static const int kEditorHeight = 570;

// The editor factory: an X11 editor host for pPlug with the plug-in's bundle
// identifier and its compiled-in images (null in a build without an editor).
IGraphics* MakeGraphics(IPlug* pPlug, int width, int height, int fps);

#if defined(IPLUG_API_LV2)
// The LV2 build's URIs, binaries and port symbols (TORVENLV2.cpp).
extern const IPlugLV2Description kTORVENLV2;
#endif

// The plug-in's parameters, in host index order.
enum ETorvenParam
{
  kOut = 0,      // output gain, dB
  kHPF,          // high-pass control position
  kLPF,          // low-pass control position
  kGainH,        // high band, 0.5 flat
  kGainM,        // mid band, 0.5 flat
  kGainL,        // low band, 0.5 flat
  kBypass,       // 1 passes the input through
  kOversampling, // 1: 16x, 0: 4x saturation path
  kNumParams
};

// One pole: z = a * z + b * x. With b 1 and a 0 it passes its input through.
struct OnePoleSmoother
{
  double b = 1.0;
  double a = 0.0;
  double z = 0.0;
  double Step(double x)
  {
    z = a * z + b * x;
    return z;
  }
};

class TORVEN : public IPlug
{
public:
  explicit TORVEN(IPlugInstanceInfo instanceInfo);
  ~TORVEN() override;

  void Reset() override;
  void OnParamChange(int paramIdx) override;
  void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) override;

private:
  // Test hook: read-only inspection of the DSP state by the unit tests.
  friend struct TORVENTestAccess;

  // The background, six knobs, two switches and the link area, in attach
  // order (TORVENEditor.cpp; nothing in a build without an editor).
  void LayoutEditor(IGraphics* pGraphics);

  void ClearSections(int ch);
  // One block of the chain with factor 4 or 16, both channels in the lanes
  // of SSE2 or (where the CPU has it) AVX2 registers; the same bits either
  // way.
  void ProcessSse2(int factor, double** inputs, double** outputs, int nFrames);
#if defined(__x86_64__) || defined(__i386__)
  __attribute__((target("avx2")))
#endif
  void ProcessAvx2(int factor, double** inputs, double** outputs, int nFrames);
  // The per-frame chain, for one block, with the block's saturation path.
  template <class TSaturation>
  void ProcessFrames(TSaturation& sat, double** inputs, double** outputs, int nFrames);
  static bool CpuHasAvx2();

  OnePoleSmoother mSmoothL, mSmoothM, mSmoothH;
  OnePoleSmoother mSmoothHP, mSmoothLP;
  double mOutGain = 0.0;
  double mGainH = 0.5;
  double mHPF = 0.0;
  double mGainL = 0.0;
  double mGainM = 0.0;
  double mLPF = 0.0;
  V553M mMid[2];
  V553L mLow[2];
  V553H mHigh[2];
  V553HP mHighPass[2];
  V553LP mLowPass[2];
  int mOversampling = 4;
  WDL_BesselFilterCoeffs mBesselL, mBesselR;
  BesselStage mUpL, mDownL, mUpR, mDownR;
  double mSatOut[2] = {0.0, 0.0};

  // The rate the sections last ran at (0 before the first frame): their
  // histories belong to that rate's coefficients.
  double mSectionRate = 0.0;

  // The sections' coefficients were last computed, at mCoeffsRate, from
  // smoother values that are the smoothers' exact fixed points: while those
  // stay fixed, the coefficients cannot change (see ProcessFrames).
  bool mCoeffsAtRest = false;
  double mCoeffsRate = 0.0;
  // The last block flushed in more than an eighth of its sub-samples: the
  // next one flushes without a branch.
  bool mEagerFlush = false;
  // The AVX2 form of the chain; the tests switch it off to check the SSE2 one.
  bool mAvx2 = CpuHasAvx2();
};

#endif  // TORVEN_TORVEN_H_
