#pragma once
// Frequency response of a VST 2.4 plug-in, measured through the ABI alone.
//
// One measurement loads a fresh instance, applies its settings, runs
// `settleSeconds` of silence so parameter smoothing and filter histories come
// to rest, then plays an excitation into every input at once (a mono source
// on a track) and records one output. The response is the ratio of the
// output's spectrum to the excitation's: the excitation, at the level it was
// played, is the reference, so the curve reads gain in dB and phase in
// degrees relative to what went in (and to the latency the plug-in reports).
//
// Excitations:
//  - an exponential sine sweep (the default): every frequency is met at the
//    same instantaneous level, and the harmonic distortion of a non-linear
//    plug-in lands before time zero in the impulse response, where a window
//    drops it; the linear part remains;
//  - a single impulse: exact and quick for linear plug-ins, but all
//    frequencies meet the non-linearity at once.
// Both play at a low level (-30 dBFS by default) so that a saturating
// plug-in is measured where it is linear.
//
// Plain values, one thread.

#include "tools/render.h"
#include "tools/response_plot.h"

#include <complex>
#include <string>
#include <vector>

namespace plughost {

enum class Excitation
{
  kSweep,
  kImpulse,
};

struct ResponseRequest
{
  std::string plugin;
  std::vector<Setting> settings;
  bool normalised = false;
  double rate = 48000.0;
  double levelDb = -30.0;  // sweep amplitude / impulse height, dBFS
  Excitation excitation = Excitation::kSweep;
  double settleSeconds = 3.0;
  int output = 0;          // which output channel is recorded
  bool useDouble = false;  // processDoubleReplacing instead of processReplacing
  int block = 512;
};

// The measured transfer function, on the transform's uniform grid from 0 Hz
// to half the rate.
class Response
{
public:
  Response() = default;
  Response(double rate, std::vector<std::complex<double>> bins);

  // Linear interpolation between the two nearest bins (they are a fraction of
  // a hertz apart); 0 outside 0 .. rate / 2.
  std::complex<double> At(double hz) const;
  double Rate() const { return mRate; }
  size_t Bins() const { return mBins.size(); }

private:
  double mRate = 0.0;
  std::vector<std::complex<double>> mBins;
};

// Refuses, with one line in *error and nothing measured: a plug-in that
// does not load, has no audio input or output, or lacks the output asked
// for; settings it does not take; a plug-in whose output is not finite or
// silent. *pluginName (if given) receives what the plug-in calls itself.
bool MeasureResponse(const ResponseRequest& request, Response* response, std::string* error,
                     std::string* pluginName = nullptr);

// The response at pointsPerDecade frequencies from 20 Hz to 20 kHz.
PlotCurve SampleCurve(const Response& response, const std::string& label, int pointsPerDecade);

// Magnitude in dB (-300 for a zero) and phase in degrees, -180 < phase <= 180.
double MagnitudeDb(std::complex<double> h);
double PhaseDegrees(std::complex<double> h);

// perDecade points per decade from lo to hi inclusive, evenly spaced on a
// logarithmic axis.
std::vector<double> LogFrequencies(double lo, double hi, int perDecade);

// The rates a 20 Hz - 20 kHz measurement can run at: 20 kHz must lie below
// half the rate.
constexpr double kMinResponseRate = 44100.0;
constexpr double kMaxResponseRate = 768000.0;

// plughost response PLUGIN.so OUT.png [options]: returns the exit code
// (0, 1 for a failure while running, 2 for a command-line mistake) after
// printing any error as one line.
int ResponseCommand(const std::vector<std::string>& args);
extern const char kResponseHelp[];

}  // namespace plughost
