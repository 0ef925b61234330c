#pragma once
// The built-in demo: a short stereo test piece made here (no input files),
// rendered through a plug-in dry and with a few settings, written as WAV
// files and summarised as RMS levels per frequency band.

#include <string>
#include <vector>

namespace plughost {

// Interleaved stereo: a drum-like pulse on every beat at 120 BPM with a
// noise tick between, an A major chord, and an exponential sine sweep from
// 40 Hz to 16 kHz travelling from left to right. Peaks stay below -3 dBFS.
std::vector<double> MakeDemoPiece(double rate, double seconds);

// Band edges of the level table.
constexpr double kLowMidEdge = 250.0;
constexpr double kMidHighEdge = 4000.0;

// Mean-square level per band (low < 250 Hz, mid 250 Hz - 4 kHz, high >= 4
// kHz) averaged over channels, from Hann-windowed 4096-point spectra with
// half overlap. The bands add up to the whole signal's mean square.
struct BandLevels
{
  double low = 0.0, mid = 0.0, high = 0.0;
  double Total() const { return low + mid + high; }
};
BandLevels MeasureBands(const std::vector<double>& interleaved, int channels, double rate);

// Mean square to dBFS RMS; -inf for silence.
double ToDb(double meanSquare);

// plughost demo PLUGIN.so OUTDIR. Returns 0, or 1 with *error.
int RunDemo(const std::string& pluginPath, const std::string& outDir, std::string* error);

}  // namespace plughost
