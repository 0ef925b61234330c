#include "tools/response.h"

#include "tools/fft.h"
#include "tools/vsthost.h"

#include <algorithm>
#include <cmath>

namespace plughost {

namespace {

constexpr double kPi = 3.14159265358979323846;

// The sweep runs from well below the axis to the Nyquist frequency over half
// the transform; the other half is the tail in which the response dies away.
constexpr double kSweepStartHz = 10.0;
constexpr double kTransformSeconds = 8.0;
constexpr double kFadeInSeconds = 0.05;   // spent below 11 Hz
constexpr double kFadeOutSeconds = 0.005;
// What a plug-in's linear response may ring before time zero (linear-phase
// designs that report no latency): kept from the negative-time part that
// otherwise holds only distortion.
constexpr double kPreRingSeconds = 0.02;

struct Excited
{
  std::vector<double> signal;  // what is played, exactly as the plug-in gets it
  size_t length = 0;           // the transform length, a power of two
  // The impulse response from the middle of the circle up to here lies
  // before time zero and holds only distortion: it is dropped (0: nothing is).
  size_t distortionStart = 0;
};

// Exponential sweep x(t) = A sin(2 pi f1 L (e^(t / L) - 1)), L = T / ln(f2 / f1):
// the instantaneous frequency f1 e^(t / L) climbs one octave in equal times.
// Harmonic k of a non-linearity shows up L ln k before the linear response.
Excited MakeSweep(double rate, double amplitude, bool asFloat)
{
  Excited e;
  e.length = NextPowerOfTwo((size_t)(kTransformSeconds * rate));
  const size_t n = e.length / 2;
  const double f1 = kSweepStartHz, f2 = rate / 2.0;
  const double T = (double)n / rate, L = T / std::log(f2 / f1);
  e.signal.assign(e.length, 0.0);
  for (size_t i = 0; i < n; ++i)
  {
    const double t = (double)i / rate;
    double v = amplitude * std::sin(2.0 * kPi * f1 * L * (std::exp(t / L) - 1.0));
    // Raised-cosine fades keep the edges from spraying energy about.
    if (t < kFadeInSeconds) v *= 0.5 - 0.5 * std::cos(kPi * t / kFadeInSeconds);
    const double left = T - t;
    if (left < kFadeOutSeconds) v *= 0.5 - 0.5 * std::cos(kPi * left / kFadeOutSeconds);
    e.signal[i] = asFloat ? (double)(float)v : v;
  }
  // The second harmonic's response starts L ln 2 before time zero; the pre-ring
  // allowance stays well clear of it.
  const double keep = std::min(kPreRingSeconds, L * std::log(2.0) / 4.0);
  e.distortionStart = e.length - (size_t)(keep * rate);
  return e;
}

Excited MakeImpulse(double rate, double amplitude, bool asFloat)
{
  Excited e;
  e.length = NextPowerOfTwo((size_t)(kTransformSeconds * rate));
  e.signal.assign(e.length, 0.0);
  e.signal[0] = asFloat ? (double)(float)amplitude : amplitude;
  return e;
}

bool AllFinite(const std::vector<double>& v)
{
  for (double x : v)
    if (!std::isfinite(x)) return false;
  return true;
}

}  // namespace

Response::Response(double rate, std::vector<std::complex<double>> bins) : mRate(rate), mBins(std::move(bins)) {}

std::complex<double> Response::At(double hz) const
{
  if (mBins.size() < 2 || !(hz >= 0.0) || hz > mRate / 2.0) return 0.0;
  const double pos = hz / (mRate / 2.0) * (double)(mBins.size() - 1);
  const size_t i = std::min((size_t)pos, mBins.size() - 2);
  const double f = pos - (double)i;
  return mBins[i] * (1.0 - f) + mBins[i + 1] * f;
}

double MagnitudeDb(std::complex<double> h)
{
  const double m = std::abs(h);
  return m > 1e-15 ? 20.0 * std::log10(m) : -300.0;
}

double PhaseDegrees(std::complex<double> h)
{
  double deg = std::arg(h) * 180.0 / kPi;
  if (deg <= -180.0) deg += 360.0;
  return deg;
}

std::vector<double> LogFrequencies(double lo, double hi, int perDecade)
{
  std::vector<double> f;
  if (!(lo > 0.0) || !(hi >= lo) || perDecade < 1) return f;
  const double decades = std::log10(hi / lo);
  const int steps = std::max(1, (int)std::lround(decades * perDecade));
  for (int i = 0; i <= steps; ++i) f.push_back(lo * std::pow(hi / lo, (double)i / steps));
  f.back() = hi;
  return f;
}

bool MeasureResponse(const ResponseRequest& request, Response* response, std::string* error,
                     std::string* pluginName)
{
  std::string loadError;
  auto plugin = vsthost::Plugin::Load(request.plugin, &loadError);
  if (!plugin)
  {
    *error = loadError;
    return false;
  }
  const AEffect* e = plugin->Effect();
  if (e->numInputs < 1 || e->numInputs > 1024)
  {
    *error = request.plugin + " has no audio input: there is nothing to measure";
    return false;
  }
  if (e->numOutputs < 1 || e->numOutputs > 1024)
  {
    *error = request.plugin + " has no audio output: there is nothing to measure";
    return false;
  }
  if (request.output < 0 || request.output >= e->numOutputs)
  {
    *error = request.plugin + " has " + std::to_string(e->numOutputs) + " outputs; there is no output " +
             std::to_string(request.output + 1);
    return false;
  }
  const bool useDouble = request.useDouble;
  if (useDouble && !plugin->CanProcessDouble())
  {
    *error = request.plugin + " cannot process in double precision";
    return false;
  }

  if (pluginName)
  {
    plugin->Open();
    *pluginName = vsthost::Printable(plugin->DispatchString(effGetEffectName));
    if (pluginName->empty()) *pluginName = vsthost::Printable(plugin->DispatchString(effGetProductString));
  }
  plugin->processLevel = kVstProcessLevelOffline;
  plugin->recordCalls = false;
  plugin->Setup(request.rate, request.block);
  if (!ApplySettings(*plugin, request.settings, request.normalised, false, error)) return false;
  plugin->SetProcessPrecision(useDouble);
  plugin->Resume();

  const double amplitude = std::pow(10.0, request.levelDb / 20.0);
  const Excited ex = request.excitation == Excitation::kSweep ? MakeSweep(request.rate, amplitude, !useDouble)
                                                               : MakeImpulse(request.rate, amplitude, !useDouble);

  BlockRenderer renderer(*plugin, 1, request.block, useDouble);
  const int outs = renderer.OutputChannels();
  std::vector<double> frame((size_t)request.block * (size_t)outs);
  const std::vector<double> silence((size_t)request.block, 0.0);
  const size_t settle = (size_t)(std::max(0.0, request.settleSeconds) * request.rate);
  for (size_t pos = 0; pos < settle; pos += (size_t)request.block)
  {
    const int n = (int)std::min((size_t)request.block, settle - pos);
    renderer.Process(silence.data(), frame.data(), n);
  }
  std::vector<double> recorded(ex.length, 0.0);
  for (size_t pos = 0; pos < ex.length; pos += (size_t)request.block)
  {
    const int n = (int)std::min((size_t)request.block, ex.length - pos);
    renderer.Process(&ex.signal[pos], frame.data(), n);
    for (int i = 0; i < n; ++i) recorded[pos + (size_t)i] = frame[(size_t)i * (size_t)outs + (size_t)request.output];
  }
  plugin->Suspend();

  if (!AllFinite(recorded))
  {
    char rate[32];
    snprintf(rate, sizeof(rate), "%.0f", request.rate);
    *error = request.plugin + " gave output that is not finite at " + rate + " Hz";
    return false;
  }
  if (std::all_of(recorded.begin(), recorded.end(), [](double v) { return v == 0.0; }))
  {
    *error = request.plugin + " gave silence on output " + std::to_string(request.output + 1) +
             ": there is nothing to measure";
    return false;
  }

  // H = Y / X on the transform's grid, then back to an impulse response to
  // drop the distortion before time zero, then forward again.
  const size_t N = ex.length;
  std::vector<std::complex<double>> X(N), Y(N);
  for (size_t i = 0; i < N; ++i)
  {
    X[i] = ex.signal[i];
    Y[i] = recorded[i];
  }
  Fft(X);
  Fft(Y);
  // Where the excitation has (next to) no energy (below the sweep's start)
  // the quotient would be noise: a regularised quotient sends it to 0.
  double peak = 0.0;
  for (const auto& v : X) peak = std::max(peak, std::norm(v));
  const double floor = peak * 1e-14;
  std::vector<std::complex<double>> H(N);
  for (size_t i = 0; i < N; ++i) H[i] = Y[i] * std::conj(X[i]) / (std::norm(X[i]) + floor);
  if (ex.distortionStart > 0)
  {
    Fft(H, true);
    for (size_t i = N / 2; i < ex.distortionStart; ++i) H[i] = 0.0;
    Fft(H);
  }

  // Phase relative to the latency the plug-in reports, as a host compensates it.
  const double delay = e->initialDelay > 0 ? (double)e->initialDelay : 0.0;
  std::vector<std::complex<double>> bins(N / 2 + 1);
  for (size_t k = 0; k <= N / 2; ++k)
    bins[k] = H[k] * std::polar(1.0, 2.0 * kPi * (double)k * delay / (double)N);
  *response = Response(request.rate, std::move(bins));
  return true;
}

}  // namespace plughost
