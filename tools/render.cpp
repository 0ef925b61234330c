#include "tools/render.h"

#include "tools/fxfile.h"
#include "tools/params.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace plughost {

BlockRenderer::BlockRenderer(vsthost::Plugin& plugin, int fileChannels, int maxBlock, bool useDouble)
  : mPlugin(plugin), mFileChannels(fileChannels), mInputs(plugin.Effect()->numInputs),
    mOutputs(plugin.Effect()->numOutputs), mMaxBlock(maxBlock), mDouble(useDouble)
{
  // At least one buffer each way, so no plug-in is ever handed a null array.
  const size_t ins = (size_t)std::max(1, mInputs), outs = (size_t)std::max(1, mOutputs);
  if (mDouble)
  {
    mInD.assign(ins, std::vector<double>((size_t)maxBlock, 0.0));
    mOutD.assign(outs, std::vector<double>((size_t)maxBlock, 0.0));
    for (auto& b : mInD) mInPtrD.push_back(b.data());
    for (auto& b : mOutD) mOutPtrD.push_back(b.data());
  }
  else
  {
    mInF.assign(ins, std::vector<float>((size_t)maxBlock, 0.f));
    mOutF.assign(outs, std::vector<float>((size_t)maxBlock, 0.f));
    for (auto& b : mInF) mInPtrF.push_back(b.data());
    for (auto& b : mOutF) mOutPtrF.push_back(b.data());
  }
}

void BlockRenderer::Process(const double* in, double* out, int frames)
{
  if (frames <= 0) return;
  if (frames > mMaxBlock) frames = mMaxBlock;
  for (int c = 0; c < mInputs; ++c)
  {
    const int src = mFileChannels == 1 ? 0 : (c < mFileChannels ? c : -1);
    if (mDouble)
    {
      double* dst = mInD[c].data();
      for (int n = 0; n < frames; ++n) dst[n] = src < 0 ? 0.0 : in[(size_t)n * mFileChannels + src];
    }
    else
    {
      float* dst = mInF[c].data();
      for (int n = 0; n < frames; ++n) dst[n] = src < 0 ? 0.f : (float)in[(size_t)n * mFileChannels + src];
    }
  }
  if (mDouble) mPlugin.ProcessDouble(mInPtrD.data(), mOutPtrD.data(), frames);
  else mPlugin.ProcessFloat(mInPtrF.data(), mOutPtrF.data(), frames);
  for (int c = 0; c < mOutputs; ++c)
  {
    for (int n = 0; n < frames; ++n)
      out[(size_t)n * mOutputs + c] = mDouble ? mOutD[c][n] : (double)mOutF[c][n];
  }
}

std::vector<double> RenderBuffer(vsthost::Plugin& plugin, const std::vector<double>& in, int channels,
                                 double rate, int block, bool useDouble, int* outChannels)
{
  plugin.Setup(rate, block);
  plugin.SetProcessPrecision(useDouble);
  plugin.Resume();
  BlockRenderer renderer(plugin, channels, block, useDouble);
  const int outs = renderer.OutputChannels();
  const size_t frames = in.size() / (size_t)channels;
  std::vector<double> out(frames * (size_t)outs, 0.0);
  for (size_t pos = 0; pos < frames; pos += (size_t)block)
  {
    const int n = (int)std::min((size_t)block, frames - pos);
    renderer.Process(&in[pos * channels], &out[pos * outs], n);
  }
  plugin.Suspend();
  if (outChannels) *outChannels = outs;
  return out;
}

bool ApplySettings(vsthost::Plugin& plugin, const std::vector<Setting>& settings, bool normalised,
                   bool verbose, std::string* error)
{
  for (const Setting& s : settings)
  {
    int index = -1;
    if (!vsthost::FindParameter(plugin, s.name, &index, error)) return false;
    const bool ok = normalised ? vsthost::SetParameterNormalised(plugin, index, s.value, error)
                               : vsthost::SetParameterPlain(plugin, index, s.value, error);
    if (!ok) return false;
    if (verbose)
    {
      const std::string label = vsthost::Printable(plugin.ParamLabel(index));
      fprintf(stderr, "plughost: %s = %s%s%s (normalised %.6g)\n",
              vsthost::Printable(plugin.ParamName(index)).c_str(),
              vsthost::Printable(plugin.ParamDisplay(index)).c_str(), label.empty() ? "" : " ",
              label.c_str(), plugin.GetParameter(index));
    }
  }
  return true;
}

namespace {

struct NamedFormat
{
  const char* name;
  int format;
};

const NamedFormat kContainers[] = {
  {"wav", SF_FORMAT_WAV}, {"w64", SF_FORMAT_W64}, {"aiff", SF_FORMAT_AIFF}, {"caf", SF_FORMAT_CAF},
  {"flac", SF_FORMAT_FLAC}, {"ogg", SF_FORMAT_OGG}, {"au", SF_FORMAT_AU},
};

const NamedFormat kEncodings[] = {
  {"pcm8", SF_FORMAT_PCM_S8}, {"pcm16", SF_FORMAT_PCM_16}, {"pcm24", SF_FORMAT_PCM_24},
  {"pcm32", SF_FORMAT_PCM_32}, {"float", SF_FORMAT_FLOAT}, {"double", SF_FORMAT_DOUBLE},
  {"vorbis", SF_FORMAT_VORBIS},
};

bool Valid(int format)
{
  SF_INFO info = {};
  info.samplerate = 48000;
  info.channels = 2;
  info.format = format;
  return sf_format_check(&info) != 0;
}

bool IsFloatEncoding(int format)
{
  const int sub = format & SF_FORMAT_SUBMASK;
  return sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE || sub == SF_FORMAT_VORBIS;
}

bool SameFile(const std::string& a, const std::string& b)
{
  struct stat sa, sb;
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The progress line: only on a terminal, only once a render has run long
// enough for a person to wonder, and at most ten times a second.
class Progress
{
public:
  Progress(bool enabled, double totalSeconds) : mEnabled(enabled), mTotal(totalSeconds)
  {
    mStart = mLast = std::chrono::steady_clock::now();
  }
  void Update(double doneSeconds)
  {
    if (!mEnabled) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - mStart < std::chrono::milliseconds(500) || now - mLast < std::chrono::milliseconds(100)) return;
    mLast = now;
    mShown = true;
    const double pct = mTotal > 0.0 ? 100.0 * doneSeconds / mTotal : 100.0;
    fprintf(stderr, "\rplughost: rendering %3.0f%% (%.1f of %.1f s)", pct, doneSeconds, mTotal);
    fflush(stderr);
  }
  void Done()
  {
    if (mShown) fprintf(stderr, "\r\033[K");
    mShown = false;
  }

private:
  bool mEnabled;
  double mTotal;
  bool mShown = false;
  std::chrono::steady_clock::time_point mStart, mLast;
};

}  // namespace

bool ParseFormat(const std::string& text, int inputFormat, int* format, std::string* error)
{
  const size_t colon = text.find(':');
  const std::string container = text.substr(0, colon);
  const std::string encoding = colon == std::string::npos ? "" : text.substr(colon + 1);
  int type = 0, sub = 0;
  for (const auto& c : kContainers)
    if (container == c.name) type = c.format;
  if (!type)
  {
    *error = "unknown output format '" + text + "' (containers: wav w64 aiff caf flac ogg au)";
    return false;
  }
  if (!encoding.empty())
  {
    for (const auto& e : kEncodings)
      if (encoding == e.name) sub = e.format;
    if (!sub)
    {
      *error = "unknown encoding '" + encoding + "' (encodings: pcm8 pcm16 pcm24 pcm32 float double vorbis)";
      return false;
    }
    if (!Valid(type | sub))
    {
      *error = "the " + container + " format cannot hold " + encoding;
      return false;
    }
  }
  else
  {
    sub = inputFormat & SF_FORMAT_SUBMASK;
    if (!Valid(type | sub))
      sub = type == SF_FORMAT_FLAC ? SF_FORMAT_PCM_24 : type == SF_FORMAT_OGG ? SF_FORMAT_VORBIS : SF_FORMAT_FLOAT;
  }
  *format = type | sub;
  return true;
}

int Render(const RenderOptions& o, std::string* error)
{
  SF_INFO inInfo = {};
  SNDFILE* in = sf_open(o.input.c_str(), SFM_READ, &inInfo);
  if (!in)
  {
    *error = "cannot read " + o.input + ": " + sf_strerror(nullptr);
    return 1;
  }
  struct Closer
  {
    SNDFILE*& f;
    ~Closer()
    {
      if (f) sf_close(f);
    }
  } closeIn{in};
  if (inInfo.channels < 1 || inInfo.samplerate < 1)
  {
    *error = o.input + " holds no audio";
    return 1;
  }

  int outFormat = inInfo.format;
  if (!o.format.empty() && !ParseFormat(o.format, inInfo.format, &outFormat, error)) return 1;

  std::string loadError;
  auto plugin = vsthost::Plugin::Load(o.plugin, &loadError);
  if (!plugin)
  {
    *error = loadError;
    return 1;
  }
  AEffect* e = plugin->Effect();
  if (e->numOutputs < 1)
  {
    *error = o.plugin + " has no audio outputs";
    return 1;
  }
  // No audio file holds more; a record claiming more is not to be trusted.
  if (e->numInputs < 0 || e->numInputs > 1024 || e->numOutputs > 1024)
  {
    *error = o.plugin + " reports " + std::to_string(e->numInputs) + " inputs and " +
             std::to_string(e->numOutputs) + " outputs";
    return 1;
  }
  if (o.useDouble && !plugin->CanProcessDouble())
  {
    *error = o.plugin + " cannot process in double precision (no effFlagsCanDoubleReplacing)";
    return 1;
  }
  if (e->numInputs > 0 && inInfo.channels > e->numInputs)
    fprintf(stderr, "plughost: note: %s has %d channels, the plug-in takes %d; the others are not used\n",
            o.input.c_str(), inInfo.channels, e->numInputs);
  const double rate = o.rate > 0.0 ? o.rate : (double)inInfo.samplerate;
  plugin->processLevel = kVstProcessLevelOffline;  // a file render is offline work
  plugin->tempo = o.tempo;
  plugin->verbose = o.verbose;
  plugin->recordCalls = false;
  plugin->Setup(rate, o.block);

  if (!o.fxb.empty() && !vsthost::LoadBankFile(*plugin, o.fxb, error)) return 1;
  if (!o.fxp.empty() && !vsthost::LoadProgramFile(*plugin, o.fxp, error)) return 1;
  if (!ApplySettings(*plugin, o.settings, o.normalised, o.verbose, error)) return 1;

  if (SameFile(o.input, o.output))
  {
    *error = "the output " + o.output + " is the input file; choose another name";
    return 1;
  }
  SF_INFO outInfo = {};
  outInfo.samplerate = (int)std::lround(rate);
  outInfo.channels = e->numOutputs;
  outInfo.format = outFormat;
  if (!sf_format_check(&outInfo))
  {
    *error = "cannot write " + std::to_string(outInfo.channels) + " channels at " +
             std::to_string(outInfo.samplerate) + " Hz in that format" +
             (o.format.empty() ? " (the input's); choose one with --format" : "");
    return 1;
  }
  SNDFILE* out = sf_open(o.output.c_str(), SFM_WRITE, &outInfo);
  if (!out)
  {
    *error = "cannot write " + o.output + ": " + sf_strerror(nullptr);
    return 1;
  }
  // The same render gives the same bytes: no PEAK chunk with its time stamp.
  sf_command(out, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
  // Integer encodings clip rather than wrap a sample beyond full scale.
  const bool integerOut = !IsFloatEncoding(outFormat);
  if (integerOut) sf_command(out, SFC_SET_CLIPPING, nullptr, SF_TRUE);

  plugin->SetProcessPrecision(o.useDouble);
  plugin->Resume();
  BlockRenderer renderer(*plugin, inInfo.channels, o.block, o.useDouble);
  const int outs = renderer.OutputChannels();
  std::vector<double> inBuf((size_t)o.block * inInfo.channels), outBuf((size_t)o.block * outs);
  const sf_count_t tailFrames = (sf_count_t)std::llround(o.tailSeconds * rate);
  const sf_count_t totalFrames = (inInfo.frames > 0 ? inInfo.frames : 0) + tailFrames;
  Progress progress(o.progress, (double)totalFrames / rate);

  sf_count_t done = 0, tailDone = 0;
  double peak = 0.0;
  long clipped = 0;
  bool inputEnded = false;
  std::string failure;
  while (true)
  {
    int n = 0;
    if (!inputEnded)
    {
      n = (int)sf_readf_double(in, inBuf.data(), o.block);
      if (n < o.block) inputEnded = true;
      if (n < 0) n = 0;
    }
    if (n == 0)
    {
      if (tailDone >= tailFrames) break;
      n = (int)std::min<sf_count_t>(o.block, tailFrames - tailDone);
      std::fill(inBuf.begin(), inBuf.end(), 0.0);
      tailDone += n;
    }
    renderer.Process(inBuf.data(), outBuf.data(), n);
    for (size_t i = 0; i < (size_t)n * outs; ++i)
    {
      const double a = std::fabs(outBuf[i]);
      if (!(a <= peak)) peak = a;  // a NaN shows as a NaN peak
      if (a > 1.0) ++clipped;
    }
    if (sf_writef_double(out, outBuf.data(), n) != n)
    {
      failure = "cannot write " + o.output + ": " + sf_strerror(out);
      break;
    }
    done += n;
    progress.Update((double)done / rate);
  }
  progress.Done();
  plugin->Suspend();
  if (sf_close(out) != 0 && failure.empty()) failure = "cannot write " + o.output;
  if (!failure.empty())
  {
    remove(o.output.c_str());
    *error = failure;
    return 1;
  }

  if (!o.saveFxp.empty() && !vsthost::SaveProgramFile(*plugin, o.saveFxp, error)) return 1;
  if (!o.saveFxb.empty() && !vsthost::SaveBankFile(*plugin, o.saveFxb, error)) return 1;

  char peakText[32];
  if (std::isnan(peak)) snprintf(peakText, sizeof(peakText), "NaN");
  else if (peak > 0.0) snprintf(peakText, sizeof(peakText), "%.1f dBFS", 20.0 * std::log10(peak));
  else snprintf(peakText, sizeof(peakText), "silent");
  printf("%s: %lld frames, %d ch, %d Hz, peak %s", o.output.c_str(), (long long)done, outs,
         outInfo.samplerate, peakText);
  if (integerOut && clipped) printf(", %ld samples clipped", clipped);
  printf("\n");
  if (o.verbose && plugin->timeQueries)
    fprintf(stderr, "plughost: the plug-in asked for the time %ld times\n", plugin->timeQueries);
  return 0;
}

}  // namespace plughost
