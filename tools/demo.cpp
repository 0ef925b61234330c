#include "tools/demo.h"

#include "tools/fft.h"
#include "tools/render.h"
#include "tools/response.h"
#include "tools/vsthost.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>

namespace plughost {

namespace {

constexpr double kPi = 3.14159265358979323846;

// A small deterministic noise source, the same on every machine.
struct Noise
{
  uint32_t state = 0x12345678u;
  double Next()
  {
    state = state * 1664525u + 1013904223u;
    return (double)(state >> 8) / 8388608.0 - 1.0;
  }
};

bool WriteWav(const std::string& path, const std::vector<double>& data, int channels, double rate,
              std::string* error)
{
  SF_INFO info = {};
  info.samplerate = (int)rate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f)
  {
    *error = "cannot write " + path + ": " + sf_strerror(nullptr);
    return false;
  }
  sf_command(f, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);  // no time stamp: same piece, same bytes
  const sf_count_t frames = (sf_count_t)(data.size() / (size_t)channels);
  const bool ok = sf_writef_double(f, data.data(), frames) == frames;
  if (sf_close(f) != 0 || !ok)
  {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

std::string Level(double meanSquare)
{
  char buf[32];
  if (meanSquare <= 0.0) snprintf(buf, sizeof(buf), "silent");
  else snprintf(buf, sizeof(buf), "%.1f", ToDb(meanSquare));
  return buf;
}

std::string Change(double outMs, double inMs)
{
  char buf[32];
  if (outMs <= 0.0 || inMs <= 0.0) return "";
  snprintf(buf, sizeof(buf), "(%+.1f)", ToDb(outMs) - ToDb(inMs));
  return buf;
}

// The response curves of the demo's settings: dry, the low cut, and each band
// at both ends of its range (for TORVEN; another plug-in gets the dry curve).
bool WriteDemoResponse(const std::string& pluginPath, bool isTorven, double rate, const std::string& path,
                       std::string* error)
{
  struct Curve
  {
    const char* label;
    std::vector<Setting> settings;  // normalised
  };
  std::vector<Curve> curves = {{"dry (defaults)", {}}};
  if (isTorven)
  {
    curves.push_back({"low cut (HPF 0.9)", {{"1", "0.7724761962890625"}}});
    curves.push_back({"high band max", {{"3", "1"}}});
    curves.push_back({"high band min", {{"3", "0"}}});
    curves.push_back({"mid band max", {{"4", "1"}}});
    curves.push_back({"mid band min", {{"4", "0"}}});
    curves.push_back({"low band max", {{"5", "1"}}});
    curves.push_back({"low band min", {{"5", "0"}}});
  }
  std::vector<PlotCurve> sampled;
  std::string name;
  for (const Curve& c : curves)
  {
    ResponseRequest r;
    r.plugin = pluginPath;
    r.settings = c.settings;
    r.normalised = true;
    r.rate = rate;
    Response h;
    if (!MeasureResponse(r, &h, error, name.empty() ? &name : nullptr)) return false;
    sampled.push_back(SampleCurve(h, c.label, 400));
  }
  PlotOptions options;
  options.title = (name.empty() ? std::string("plug-in") : name) + ": the demo's settings";
  char subtitle[128];
  snprintf(subtitle, sizeof(subtitle), "%.0f Hz, log sweep at -30 dBFS into both inputs, left output", rate);
  options.subtitle = subtitle;
  auto bm = DrawResponsePlot(sampled, options);
  if (!LICE_WritePNG(path.c_str(), bm.get()))
  {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace

std::vector<double> MakeDemoPiece(double rate, double seconds)
{
  const size_t frames = (size_t)(rate * seconds);
  std::vector<double> out(frames * 2, 0.0);
  const double beat = 0.5;  // 120 BPM
  Noise noise;
  double sweepPhase = 0.0;
  const double f0 = 40.0, f1 = 16000.0;
  const double chordHz[3] = {220.0, 277.1826309768721, 329.6275569128699};  // A3 C#4 E4
  double hiss = 0.0;
  for (size_t n = 0; n < frames; ++n)
  {
    const double t = (double)n / rate;
    const double inBeat = std::fmod(t, beat);

    // Kick: a sine whose pitch falls from 140 to 50 Hz, decaying in ~0.2 s.
    const double kickPhase = 2.0 * kPi * (50.0 * inBeat + 90.0 * 0.03 * (1.0 - std::exp(-inBeat / 0.03)));
    const double kick = 0.45 * std::exp(-inBeat / 0.18) * std::sin(kickPhase);

    // Tick between the beats: differenced noise (bright), 25 ms decay.
    const double offBeat = std::fmod(t + beat / 2.0, beat);
    const double white = noise.Next();
    const double bright = white - hiss;
    hiss = white;
    const double tick = 0.12 * std::exp(-offBeat / 0.025) * bright;

    // Chord: three voices with falling harmonics, swelling in and out.
    const double swell = std::sin(kPi * std::min(1.0, t / seconds));
    double chordL = 0.0, chordR = 0.0;
    for (int v = 0; v < 3; ++v)
    {
      double voice = 0.0;
      for (int h = 1; h <= 4; ++h) voice += std::sin(2.0 * kPi * chordHz[v] * h * t) / h;
      chordL += voice * (v == 0 ? 0.7 : v == 1 ? 0.5 : 0.3);
      chordR += voice * (v == 0 ? 0.3 : v == 1 ? 0.5 : 0.7);
    }
    chordL *= 0.05 * swell;
    chordR *= 0.05 * swell;

    // Sweep, exponential in frequency, panned from left to right.
    const double f = f0 * std::pow(f1 / f0, t / seconds);
    sweepPhase += 2.0 * kPi * f / rate;
    if (sweepPhase > 2.0 * kPi) sweepPhase -= 2.0 * kPi;
    const double pan = t / seconds;
    const double sweep = 0.12 * std::sin(sweepPhase);

    // 10 ms fades at both ends keep the edges click-free.
    const double edge = std::min(1.0, std::min(t, seconds - t) / 0.01);
    out[2 * n] = edge * (kick + 0.8 * tick + chordL + sweep * std::cos(pan * kPi / 2.0));
    out[2 * n + 1] = edge * (kick + 1.2 * tick + chordR + sweep * std::sin(pan * kPi / 2.0));
  }
  return out;
}

BandLevels MeasureBands(const std::vector<double>& data, int channels, double rate)
{
  BandLevels levels;
  const size_t N = 4096, hop = N / 2;
  const size_t frames = data.size() / (size_t)channels;
  std::vector<double> window(N);
  double windowPower = 0.0;
  for (size_t i = 0; i < N; ++i)
  {
    window[i] = 0.5 - 0.5 * std::cos(2.0 * kPi * (double)i / (double)N);  // periodic Hann
    windowPower += window[i] * window[i];
  }
  std::vector<std::complex<double>> x(N);
  size_t count = 0;
  for (int c = 0; c < channels; ++c)
  {
    // Whole frames only (a signal shorter than one frame gets one, padded).
    for (size_t start = 0; start == 0 || start + N <= frames; start += hop)
    {
      for (size_t i = 0; i < N; ++i)
      {
        const size_t at = start + i;
        x[i] = at < frames ? data[at * channels + c] * window[i] : 0.0;
      }
      Fft(x);
      for (size_t k = 0; k <= N / 2; ++k)
      {
        // Parseval with the window's power: each frame's bins add up to its
        // window-weighted mean square.
        const double weight = (k == 0 || k == N / 2) ? 1.0 : 2.0;
        const double power = weight * std::norm(x[k]) / ((double)N * windowPower);
        const double f = (double)k * rate / (double)N;
        if (f < kLowMidEdge) levels.low += power;
        else if (f < kMidHighEdge) levels.mid += power;
        else levels.high += power;
      }
      ++count;
      if (start + N >= frames) break;
    }
  }
  if (count)
  {
    levels.low /= (double)count;
    levels.mid /= (double)count;
    levels.high /= (double)count;
  }
  return levels;
}

double ToDb(double meanSquare)
{
  return meanSquare > 0.0 ? 10.0 * std::log10(meanSquare) : -HUGE_VAL;
}

int RunDemo(const std::string& pluginPath, const std::string& outDir, std::string* error)
{
  const double rate = 48000.0, seconds = 4.0;
  const int block = 512;

  std::string loadError;
  bool isTorven = false;
  {
    // Refuse a plug-in that cannot be loaded before writing anything.
    auto probe = vsthost::Plugin::Load(pluginPath, &loadError);
    if (!probe)
    {
      *error = loadError;
      return 1;
    }
    const AEffect* e = probe->Effect();
    if (e->numOutputs < 1 || e->numOutputs > 1024 || e->numInputs < 0 || e->numInputs > 1024)
    {
      *error = pluginPath + " reports " + std::to_string(e->numOutputs) + " audio outputs";
      return 1;
    }
    isTorven = e->uniqueID == VstFourCC('T', 'r', 'v', '1');
  }
  if (mkdir(outDir.c_str(), 0777) != 0 && errno != EEXIST)
  {
    *error = "cannot create " + outDir + ": " + strerror(errno);
    return 1;
  }

  const std::vector<double> piece = MakeDemoPiece(rate, seconds);
  if (!WriteWav(outDir + "/input.wav", piece, 2, rate, error)) return 1;

  // TORVEN's own settings, by index and normalised value: the high band at
  // the top of its range, the high-pass control at 0.9 of its 0 .. 0.96
  // range (normalised (0.9 / 0.96)^4), and the 16x saturation path.
  struct Variant
  {
    const char* title;
    const char* file;
    std::vector<Setting> settings;
  };
  std::vector<Variant> variants = {{"dry (defaults)", "dry.wav", {}}};
  if (isTorven)
  {
    variants.push_back({"high band boost", "high-boost.wav", {{"3", "1"}}});
    variants.push_back({"low cut", "low-cut.wav", {{"1", "0.7724761962890625"}}});
    variants.push_back({"16x oversampling", "oversampling-16x.wav", {{"7", "1"}}});
  }

  const BandLevels in = MeasureBands(piece, 2, rate);
  struct Row
  {
    std::string title;
    BandLevels levels;
    double vsDry;  // mean square of the difference from the dry render
    bool hasVsDry;
  };
  std::vector<Row> rows;
  std::vector<double> dry;
  for (const Variant& v : variants)
  {
    auto plugin = vsthost::Plugin::Load(pluginPath, &loadError);
    if (!plugin)
    {
      *error = loadError;
      return 1;
    }
    plugin->processLevel = kVstProcessLevelOffline;
    plugin->recordCalls = false;
    plugin->Setup(rate, block);
    if (!ApplySettings(*plugin, v.settings, true, false, error)) return 1;
    int outs = 0;
    const std::vector<double> out = RenderBuffer(*plugin, piece, 2, rate, block, false, &outs);
    if (!WriteWav(outDir + "/" + v.file, out, outs, rate, error)) return 1;
    Row row{v.title, MeasureBands(out, outs, rate), 0.0, false};
    if (dry.empty())
    {
      dry = out;
    }
    else if (dry.size() == out.size())
    {
      double sum = 0.0;
      for (size_t i = 0; i < out.size(); ++i) sum += (out[i] - dry[i]) * (out[i] - dry[i]);
      row.vsDry = sum / (double)out.size();
      row.hasVsDry = true;
    }
    rows.push_back(row);
  }

  if (!WriteDemoResponse(pluginPath, isTorven, rate, outDir + "/response.png", error)) return 1;

  printf("plughost demo: %s\n", pluginPath.c_str());
  printf("test piece: %.0f s stereo at %.0f Hz (kick pulse and ticks, A major chord, 40 Hz - 16 kHz sweep)\n",
         seconds, rate);
  printf("files in %s/: input.wav", outDir.c_str());
  for (const Variant& v : variants) printf(", %s", v.file);
  printf(", response.png (response curves)\n\n");
  printf("RMS level per band in dBFS (change from the input)\n");
  printf("%-18s %-16s %-16s %-16s %-16s %s\n", "", "low <250 Hz", "mid 250-4k Hz", "high >4 kHz", "total",
         "diff from dry");
  auto cell = [](double out, double ref, bool showChange) {
    std::string s = Level(out);
    if (showChange) s += " " + Change(out, ref);
    return s;
  };
  auto line = [](const char* title, const std::string& a, const std::string& b, const std::string& c,
                 const std::string& d, const std::string& e) {
    char buf[256];
    snprintf(buf, sizeof(buf), "%-18s %-16s %-16s %-16s %-16s %s", title, a.c_str(), b.c_str(), c.c_str(),
             d.c_str(), e.c_str());
    std::string text = buf;
    text.erase(text.find_last_not_of(' ') + 1);
    printf("%s\n", text.c_str());
  };
  line("input", Level(in.low), Level(in.mid), Level(in.high), Level(in.Total()), "");
  for (const Row& r : rows)
  {
    line(r.title.c_str(), cell(r.levels.low, in.low, true), cell(r.levels.mid, in.mid, true),
         cell(r.levels.high, in.high, true), cell(r.levels.Total(), in.Total(), true),
         r.hasVsDry ? Level(r.vsDry) : "");
  }
  if (!isTorven) printf("\n(the settings rows are TORVEN's; this plug-in gets the dry render only)\n");
  return 0;
}

}  // namespace plughost
