#pragma once
// Audio through a plug-in: the block loop shared by `plughost render`, the
// demo and the tests, and the file renderer around it (libsndfile).

#include "tools/vsthost.h"

#include <string>
#include <vector>

namespace plughost {

// Pushes interleaved frames through a resumed plug-in in blocks of at most
// maxBlock frames. File channels reach the plug-in's inputs one to one; a
// mono file feeds every input; inputs beyond the file's channels get
// silence. Output frames carry the plug-in's outputs, interleaved.
class BlockRenderer
{
public:
  BlockRenderer(vsthost::Plugin& plugin, int fileChannels, int maxBlock, bool useDouble);
  int OutputChannels() const { return mOutputs; }
  // frames <= maxBlock. `in` holds frames * fileChannels values, `out`
  // receives frames * OutputChannels().
  void Process(const double* in, double* out, int frames);

private:
  vsthost::Plugin& mPlugin;
  int mFileChannels, mInputs, mOutputs, mMaxBlock;
  bool mDouble;
  std::vector<std::vector<float>> mInF, mOutF;
  std::vector<std::vector<double>> mInD, mOutD;
  std::vector<float*> mInPtrF, mOutPtrF;
  std::vector<double*> mInPtrD, mOutPtrD;
};

// A whole interleaved buffer through a loaded plug-in: set up for the rate
// and block size, resume, render in blocks of `block`, suspend. Returns the
// interleaved output (OutputChannels() wide, via *outChannels).
std::vector<double> RenderBuffer(vsthost::Plugin& plugin, const std::vector<double>& in, int channels,
                                 double rate, int block, bool useDouble, int* outChannels);

struct Setting
{
  std::string name;   // parameter name or index
  std::string value;  // plain, or normalised with RenderOptions::normalised
};

struct RenderOptions
{
  std::string plugin, input, output;
  std::vector<Setting> settings;
  bool normalised = false;
  int block = 512;
  double rate = 0.0;  // 0: the input file's rate
  bool useDouble = false;
  std::string fxp, fxb, saveFxp, saveFxb;
  std::string format;        // "" follows the input; see ParseFormat
  double tailSeconds = 0.0;  // silence rendered after the input, for reverbs and delays
  double tempo = 120.0;
  bool verbose = false;
  bool progress = false;  // a progress line on stderr
};

// Output formats: CONTAINER[:ENCODING], e.g. "wav", "flac:pcm24",
// "wav:float". Containers: wav, w64, aiff, caf, flac, ogg, au. Encodings:
// pcm8, pcm16, pcm24, pcm32, float, double, vorbis. A container alone keeps
// the input's encoding where the container allows it. Returns false for a
// name it does not know; the combination is checked when the file is opened.
bool ParseFormat(const std::string& text, int inputFormat, int* format, std::string* error);

// Runs one render; returns 0, or 1 with *error (one line) for a runtime
// failure. Prints a one-line summary on stdout.
int Render(const RenderOptions& options, std::string* error);

// Applies --set settings to an opened plug-in; false with *error on the first
// that fails.
bool ApplySettings(vsthost::Plugin& plugin, const std::vector<Setting>& settings, bool normalised,
                   bool verbose, std::string* error);

}  // namespace plughost
