// A small VST 2.4 plug-in that exists to test the host: it processes audio
// with state (so block slicing would show), has parameters of three kinds
// (one the plug-in parses itself, one with text values, one shown as a
// curved number), two programs, optional state chunks, and it checks what
// the host tells it (transport, process level, lifecycle) and reports that
// through effVendorSpecific.
//
// Built three ways: plain (FAKE_CHUNKS 0), with chunks (FAKE_CHUNKS 1), and
// an entry point that returns no effect (FAKE_NULL). FAKE_INPUTS 0 makes it
// claim no audio inputs, as an instrument does (it must then not be run).

#include "WDL/IPlug/VSTInterface.h"
#include "tests/plughost/fake_plugin_p.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifndef FAKE_CHUNKS
#define FAKE_CHUNKS 0
#endif

#ifndef FAKE_INPUTS
#define FAKE_INPUTS 2
#endif

#ifndef FAKE_NULL
namespace {

using namespace fakeplugin;

const char* const kModeNames[3] = {"Clean", "Warm", "Hot"};

struct Program
{
  char name[32];
  float values[kNumParams];
};

struct Fake
{
  AEffect effect;
  audioMasterCallback host;
  Program programs[kNumPrograms];
  int current = 0;
  double sampleRate = 0.0;
  int maxBlock = 0;
  long lifecycle = 0;
  long timeMismatches = 0;
  long processLevel = -1;
  long hostVersion = 0;
  long processCalls = 0;
  double frames = 0.0;  // since the last resume
  bool reported = false;
  double state[2] = {0.0, 0.0};
  std::vector<char> chunk;

  float& Value(int i) { return programs[current].values[i]; }
  double GainDb() { return -24.0 + 48.0 * Value(kGain); }
  int Mode()
  {
    const int m = (int)(Value(kMode) * 3.0f);
    return m > 2 ? 2 : m;
  }
  double Tone() { return 100.0 * Value(kTone) * Value(kTone); }
};

Fake* Self(AEffect* e) { return static_cast<Fake*>(e->object); }

void CopyOut(void* ptr, const std::string& s)
{
  // Within the 8 characters the interface promises, and terminated.
  const size_t n = s.size() < 8 ? s.size() : 8;
  memcpy(ptr, s.data(), n);
  static_cast<char*>(ptr)[n] = 0;
}

std::string Format(const char* fmt, double v)
{
  char buf[64];
  snprintf(buf, sizeof(buf), fmt, v);
  return buf;
}

void CheckTime(Fake* f, int frames)
{
  const VstIntPtr answer = f->host(&f->effect, audioMasterGetTime, 0,
                                   kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid, nullptr, 0.f);
  const VstTimeInfo* t = reinterpret_cast<const VstTimeInfo*>(answer);
  if (!t)
  {
    ++f->timeMismatches;
    return;
  }
  const double expectPpq = f->frames / f->sampleRate * 120.0 / 60.0;
  const bool ok = t->samplePos == f->frames && t->sampleRate == f->sampleRate && t->tempo == 120.0 &&
                  (t->flags & kVstTransportPlaying) && (t->flags & kVstTempoValid) &&
                  (t->flags & kVstPpqPosValid) && std::fabs(t->ppqPos - expectPpq) < 1e-9 &&
                  t->timeSigNumerator == 4 && t->timeSigDenominator == 4 &&
                  ((t->flags & kVstTransportChanged) != 0) == (f->frames == 0.0);
  if (!ok) ++f->timeMismatches;
  f->frames += frames;
}

// One sample of the fake's sound: gain, a one-pole low-pass whose corner
// follows Tone, and a soft clip for the warmer modes. All in double.
double Tick(Fake* f, int ch, double x)
{
  const double g = std::pow(10.0, f->GainDb() / 20.0);
  const double a = f->Tone() / 100.0 * 0.9;
  f->state[ch] = a * f->state[ch] + (1.0 - a) * x;
  double y = g * f->state[ch];
  const int mode = f->Mode();
  if (mode > 0) y = std::tanh(y * mode) / mode;
  return y;
}

void BeforeBlock(Fake* f, int frames)
{
  ++f->processCalls;
  f->processLevel = (long)f->host(&f->effect, audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.f);
  if (!f->reported)
  {
    // As an editor would after a gesture: tell the host about the gain.
    f->reported = true;
    f->host(&f->effect, audioMasterBeginEdit, kGain, 0, nullptr, 0.f);
    f->host(&f->effect, audioMasterAutomate, kGain, 0, nullptr, f->Value(kGain));
    f->host(&f->effect, audioMasterEndEdit, kGain, 0, nullptr, 0.f);
  }
  CheckTime(f, frames);
}

void ProcessReplacing(AEffect* e, float** in, float** out, VstInt32 frames)
{
  Fake* f = Self(e);
  BeforeBlock(f, frames);
  for (VstInt32 n = 0; n < frames; ++n)
    for (int c = 0; c < 2; ++c) out[c][n] = (float)Tick(f, c, (double)in[c][n]);
}

void ProcessAccumulating(AEffect* e, float** in, float** out, VstInt32 frames)
{
  Fake* f = Self(e);
  BeforeBlock(f, frames);
  for (VstInt32 n = 0; n < frames; ++n)
    for (int c = 0; c < 2; ++c) out[c][n] += (float)Tick(f, c, (double)in[c][n]);
}

void ProcessDouble(AEffect* e, double** in, double** out, VstInt32 frames)
{
  Fake* f = Self(e);
  BeforeBlock(f, frames);
  for (VstInt32 n = 0; n < frames; ++n)
    for (int c = 0; c < 2; ++c) out[c][n] = Tick(f, c, in[c][n]);
}

void SetParameter(AEffect* e, VstInt32 index, float value)
{
  if (index < 0 || index >= kNumParams) return;
  Self(e)->Value(index) = value < 0.f ? 0.f : value > 1.f ? 1.f : value;
}

float GetParameter(AEffect* e, VstInt32 index)
{
  if (index < 0 || index >= kNumParams) return 0.f;
  return Self(e)->Value(index);
}

struct ChunkHeader
{
  char magic[4];
  int32_t programs;  // 1 for a program chunk
  int32_t current;
};

VstIntPtr Dispatcher(AEffect* e, VstInt32 op, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
  Fake* f = Self(e);
  switch (op)
  {
    case effOpen:
      f->lifecycle |= kOpened;
      f->hostVersion = (long)f->host(e, audioMasterVersion, 0, 0, nullptr, 0.f);
      return 0;
    case effClose: delete f; return 0;
    case effSetSampleRate: f->sampleRate = opt; f->lifecycle |= kGotRate; return 0;
    case effSetBlockSize: f->maxBlock = (int)value; f->lifecycle |= kGotBlock; return 0;
    case effMainsChanged:
      if (value)
      {
        f->lifecycle |= kResumed;
        f->frames = 0.0;
        f->state[0] = f->state[1] = 0.0;
      }
      else f->lifecycle |= kSuspended;
      return 0;
    case effStartProcess: f->lifecycle |= kStarted; return 0;
    case effStopProcess: f->lifecycle |= kStopped; return 0;
    case effSetProcessPrecision: f->lifecycle |= value ? kPrecision64 : kPrecision32; return 0;
    case effSetProgram:
      if (value >= 0 && value < kNumPrograms) f->current = (int)value;
      return 0;
    case effGetProgram: return f->current;
    case effSetProgramName:
      snprintf(f->programs[f->current].name, kVstMaxProgNameLen, "%s", static_cast<const char*>(ptr));
      return 0;
    case effGetProgramName: snprintf(static_cast<char*>(ptr), kVstMaxProgNameLen, "%s", f->programs[f->current].name); return 0;
    case effGetProgramNameIndexed:
      if (index < 0 || index >= kNumPrograms) return 0;
      snprintf(static_cast<char*>(ptr), kVstMaxProgNameLen, "%s", f->programs[index].name);
      return 1;
    case effGetParamName:
    {
      static const char* const names[kNumParams] = {"Gain", "Mode", "Tone", "Twin", "twin"};
      if (index >= 0 && index < kNumParams) CopyOut(ptr, names[index]);
      return 0;
    }
    case effGetParamLabel:
      if (index == kGain) CopyOut(ptr, "dB");
      else if (index == kTone) CopyOut(ptr, "%");
      return 0;
    case effGetParamDisplay:
      if (index == kGain) CopyOut(ptr, Format("%.2f", f->GainDb()));
      else if (index == kMode) CopyOut(ptr, kModeNames[f->Mode()]);
      else if (index == kTone) CopyOut(ptr, Format("%.1f", f->Tone()));
      else if (index >= 0 && index < kNumParams) CopyOut(ptr, Format("%.3f", f->Value(index)));
      return 0;
    case effString2Parameter:
    {
      // Only the gain parses text; the others leave it to the host.
      if (index != kGain || !ptr) return 0;
      double db = atof(static_cast<const char*>(ptr));
      db = db < -24.0 ? -24.0 : db > 24.0 ? 24.0 : db;
      f->Value(kGain) = (float)((db + 24.0) / 48.0);
      return 1;
    }
    case effCanBeAutomated: return 1;
    case effGetEffectName: snprintf(static_cast<char*>(ptr), kVstMaxEffectNameLen, "Fake Gain"); return 1;
    case effGetVendorString: snprintf(static_cast<char*>(ptr), kVstMaxVendorStrLen, "Morvane Tests"); return 1;
    case effGetProductString: snprintf(static_cast<char*>(ptr), kVstMaxProductStrLen, "Fake"); return 1;
    case effGetVendorVersion: return 1234;
    case effGetVstVersion: return 2400;
    case effGetPlugCategory: return kPlugCategEffect;
    case effCanDo: return ptr && strcmp(static_cast<const char*>(ptr), "receiveVstTimeInfo") == 0 ? 1 : -1;
    case effGetChunk:
    {
      if (!ptr) return 0;
      ChunkHeader h = {{'F', 'A', 'K', 'E'}, index ? 1 : kNumPrograms, f->current};
      f->chunk.assign(reinterpret_cast<char*>(&h), reinterpret_cast<char*>(&h) + sizeof(h));
      for (int p = 0; p < kNumPrograms; ++p)
      {
        if (index && p != f->current) continue;
        const char* bytes = reinterpret_cast<const char*>(&f->programs[p]);
        f->chunk.insert(f->chunk.end(), bytes, bytes + sizeof(Program));
      }
      *static_cast<void**>(ptr) = f->chunk.data();
      return (VstIntPtr)f->chunk.size();
    }
    case effSetChunk:
    {
      if (!ptr || value < (VstIntPtr)sizeof(ChunkHeader)) return 0;
      ChunkHeader h;
      memcpy(&h, ptr, sizeof(h));
      const int count = index ? 1 : kNumPrograms;
      if (memcmp(h.magic, "FAKE", 4) != 0 || h.programs != count ||
          value != (VstIntPtr)(sizeof(h) + count * sizeof(Program)))
        return 0;
      const char* data = static_cast<const char*>(ptr) + sizeof(h);
      if (index) memcpy(&f->programs[f->current], data, sizeof(Program));
      else
      {
        memcpy(f->programs, data, sizeof(f->programs));
        if (h.current >= 0 && h.current < kNumPrograms) f->current = h.current;
      }
      return 1;
    }
    case effVendorSpecific:
      switch (index)
      {
        case kAskLifecycle: return f->lifecycle;
        case kAskTimeMismatches: return f->timeMismatches;
        case kAskProcessLevel: return f->processLevel;
        case kAskHostVersion: return f->hostVersion;
        case kAskProcessCalls: return f->processCalls;
        case kAskSampleRate: return (VstIntPtr)f->sampleRate;
        case kAskMaxBlock: return f->maxBlock;
        case kAskHostProduct:
        {
          char buf[256] = {};
          f->host(e, audioMasterGetProductString, 0, 0, buf, 0.f);
          snprintf(static_cast<char*>(ptr), 64, "%s", buf);
          return 1;
        }
        default: return 0;
      }
    default: return 0;
  }
}

}  // namespace
#endif

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host)
{
#ifdef FAKE_NULL
  (void)host;
  return nullptr;
#else
  if (!host || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.f) < 2400) return nullptr;
  Fake* f = new Fake();
  f->host = host;
  memset(&f->effect, 0, sizeof(f->effect));
  AEffect& e = f->effect;
  e.magic = kEffectMagic;
  e.dispatcher = Dispatcher;
  e.process = ProcessAccumulating;
  e.setParameter = SetParameter;
  e.getParameter = GetParameter;
  e.numPrograms = kNumPrograms;
  e.numParams = kNumParams;
  e.numInputs = FAKE_INPUTS;
  e.numOutputs = 2;
  e.flags = effFlagsCanReplacing | effFlagsCanDoubleReplacing | (FAKE_CHUNKS ? effFlagsProgramChunks : 0);
  e.ioRatio = 1.f;
  e.object = f;
  e.uniqueID = FAKE_CHUNKS ? kChunkID : kPlainID;
  e.version = 1234;
  e.processReplacing = ProcessReplacing;
  e.processDoubleReplacing = ProcessDouble;
  const float init[kNumParams] = {0.5f, 0.f, 0.f, 0.5f, 0.5f};
  const float bright[kNumParams] = {0.75f, 0.5f, 0.5f, 0.25f, 0.25f};
  snprintf(f->programs[0].name, sizeof(f->programs[0].name), "Init");
  snprintf(f->programs[1].name, sizeof(f->programs[1].name), "Bright");
  memcpy(f->programs[0].values, init, sizeof(init));
  memcpy(f->programs[1].values, bright, sizeof(bright));
  return &e;
#endif
}
