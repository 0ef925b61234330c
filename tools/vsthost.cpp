#include "tools/vsthost.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace vsthost {

namespace {

// A plug-in may call the host from inside its entry point, before the host
// has seen the effect record; such calls go to the instance being created.
std::mutex gCreateMutex;
Plugin* gCreating = nullptr;

// effSetProcessPrecision values.
constexpr VstIntPtr kPrecision32 = 0;
constexpr VstIntPtr kPrecision64 = 1;
// audioMasterGetAutomationState: automation off.
constexpr VstIntPtr kAutomationOff = 1;
// audioMasterGetLanguage: English.
constexpr VstIntPtr kLanguageEnglish = 1;

// Writes a host string into a plug-in's buffer: the interface promises 64
// bytes for vendor and product strings, so we never write more.
void CopyHostString(void* ptr, const char* text)
{
  if (!ptr) return;
  char* out = static_cast<char*>(ptr);
  size_t n = strlen(text);
  if (n > 63) n = 63;
  memcpy(out, text, n);
  out[n] = 0;
}

// Reads a string the plug-in handed us; a null pointer reads as "".
std::string PluginString(const void* ptr, size_t max = 256)
{
  if (!ptr) return std::string();
  const char* s = static_cast<const char*>(ptr);
  size_t n = 0;
  while (n < max && s[n]) ++n;
  return std::string(s, n);
}

}  // namespace

VstIntPtr Plugin::StaticHostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                     VstIntPtr value, void* ptr, float opt)
{
  Plugin* host = nullptr;
  if (effect && effect->user) host = static_cast<Plugin*>(effect->user);
  else host = gCreating;
  if (opcode == audioMasterVersion && !host) return kVstVersion;
  return host ? host->HostCallback(opcode, index, value, ptr, opt) : 0;
}

void Plugin::LogCall(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
  auto paramName = [this](int i) -> std::string {
    if (i >= 0 && i < (int)mParamNames.size() && !mParamNames[i].empty())
      return " (" + mParamNames[i] + ")";
    return std::string();
  };
  switch (opcode)
  {
    case audioMasterAutomate:
      fprintf(log, "host: automate param %d%s = %.6g\n", index, paramName(index).c_str(), opt);
      break;
    case audioMasterBeginEdit:
      fprintf(log, "host: begin edit param %d%s\n", index, paramName(index).c_str());
      break;
    case audioMasterEndEdit:
      fprintf(log, "host: end edit param %d%s\n", index, paramName(index).c_str());
      break;
    case audioMasterCanDo:
      fprintf(log, "host: canDo \"%s\"\n", Printable(PluginString(ptr)).c_str());
      break;
    default:
    {
      // Most requests leave index and value at 0 and opt undefined.
      const char* name = HostOpcodeName(opcode);
      if (*name) fprintf(log, "host: %s", name);
      else fprintf(log, "host: opcode %d", opcode);
      if (index || value) fprintf(log, " index %d value %ld", index, (long)value);
      fprintf(log, "\n");
      break;
    }
  }
}

VstIntPtr Plugin::HostCallback(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
  if (recordCalls) calls.push_back({opcode, index, value, opt});
  const bool perBlock = opcode == audioMasterGetTime || opcode == audioMasterGetCurrentProcessLevel;
  if (opcode == audioMasterGetTime) ++timeQueries;
  if (verbose && !perBlock) LogCall(opcode, index, value, ptr, opt);

  switch (opcode)
  {
    case audioMasterAutomate: return 0;
    case audioMasterVersion: return kVstVersion;
    case audioMasterCurrentId: return mEffect ? mEffect->uniqueID : 0;
    case audioMasterIdle: return 0;
    case audioMasterPinConnected:
    {
      // The old convention: 0 means connected.
      if (!mEffect) return 1;
      const int count = value ? mEffect->numOutputs : mEffect->numInputs;
      return (index >= 0 && index < count) ? 0 : 1;
    }
    case audioMasterWantMidi: return 0;
    case audioMasterGetTime: return reinterpret_cast<VstIntPtr>(UpdateTime(value));
    case audioMasterTempoAt: return (VstIntPtr)std::lround(tempo * 10000.0);
    case audioMasterGetNumAutomatableParameters: return NumParams();
    case audioMasterGetSampleRate: return (VstIntPtr)mSampleRate;
    case audioMasterGetBlockSize: return mMaxBlockSize;
    case audioMasterGetInputLatency:
    case audioMasterGetOutputLatency: return 0;
    case audioMasterWillReplaceOrAccumulate: return 1;  // we replace
    case audioMasterGetCurrentProcessLevel: return processLevel;
    case audioMasterGetAutomationState: return kAutomationOff;
    case audioMasterGetVendorString: CopyHostString(ptr, kHostVendor); return ptr ? 1 : 0;
    case audioMasterGetProductString: CopyHostString(ptr, kHostProduct); return ptr ? 1 : 0;
    case audioMasterGetVendorVersion: return kHostVersion;
    case audioMasterCanDo:
    {
      const std::string what = PluginString(ptr);
      if (what == "sendVstTimeInfo" || what == "startStopProcess") return 1;
      if (what == "sizeWindow") return onSizeWindow ? 1 : 0;
      return 0;
    }
    case audioMasterGetLanguage: return kLanguageEnglish;
    case audioMasterUpdateDisplay: return 1;
    case audioMasterSizeWindow:
      if (!onSizeWindow || index <= 0 || value <= 0 || index > 16384 || value > 16384) return 0;
      onSizeWindow(index, (int)value);
      return 1;
    case audioMasterBeginEdit:
    case audioMasterEndEdit: return 1;
    default: return 0;
  }
}

const VstTimeInfo* Plugin::UpdateTime(VstIntPtr requestMask)
{
  VstTimeInfo& t = mTime;
  t = VstTimeInfo();
  const double sr = mSampleRate > 0.0 ? mSampleRate : 44100.0;
  const double seconds = mSamplePos / sr;
  t.samplePos = mSamplePos;
  t.sampleRate = sr;
  t.nanoSeconds = seconds * 1e9;
  t.tempo = tempo;
  t.ppqPos = seconds * tempo / 60.0;
  // Quarter notes per bar: 4/4 has four, 6/8 three.
  const double barLength = timeSigNumerator * 4.0 / timeSigDenominator;
  t.barStartPos = barLength > 0.0 ? std::floor(t.ppqPos / barLength) * barLength : 0.0;
  t.timeSigNumerator = timeSigNumerator;
  t.timeSigDenominator = timeSigDenominator;
  t.flags = kVstTransportPlaying | kVstNanosValid | kVstPpqPosValid | kVstTempoValid | kVstBarsValid |
            kVstTimeSigValid;
  if (mTransportChanged) t.flags |= kVstTransportChanged;
  if (requestMask & kVstClockValid)
  {
    // MIDI clock: 24 per quarter note.
    const double clocks = t.ppqPos * 24.0;
    const double toNext = std::ceil(clocks) - clocks;
    t.samplesToNextClock = (VstInt32)std::lround(toNext * sr * 60.0 / (tempo * 24.0));
    t.flags |= kVstClockValid;
  }
  return &t;
}

void Plugin::Advance(int frames)
{
  mSamplePos += frames;
  mTransportChanged = false;
}

std::unique_ptr<Plugin> Plugin::Load(const std::string& path, std::string* error)
{
  std::unique_ptr<Plugin> plugin(new Plugin());
  plugin->mPath = path;
  // dlopen reads a name without a slash as a library to search for; a user
  // naming a file in the working directory means that file.
  std::string openPath = path;
  if (path.find('/') == std::string::npos && access(path.c_str(), F_OK) == 0) openPath = "./" + path;
  else if (path.find('/') != std::string::npos && access(path.c_str(), F_OK) != 0)
  {
    *error = "cannot load " + path + ": no such file";
    return nullptr;
  }
  // RTLD_NODELETE: a plug-in's code stays mapped after the last instance is
  // gone. Plug-ins leave atexit handlers and thread-local destructors behind
  // that would otherwise jump into unmapped memory at exit, and leak reports
  // can still name the library they came from.
  plugin->mLibrary = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!plugin->mLibrary)
  {
    const char* why = dlerror();
    std::string reason = why ? why : "unknown error";
    // dlerror repeats the path in front of the reason.
    if (reason.compare(0, openPath.size() + 2, openPath + ": ") == 0) reason.erase(0, openPath.size() + 2);
    *error = "cannot load " + path + ": " + reason;
    return nullptr;
  }
  void* sym = dlsym(plugin->mLibrary, "VSTPluginMain");
  if (!sym) sym = dlsym(plugin->mLibrary, "main");
  if (!sym)
  {
    *error = path + " is not a VST 2.4 plug-in (no VSTPluginMain or main)";
    return nullptr;
  }
  VstPluginMainProc entry = reinterpret_cast<VstPluginMainProc>(sym);
  {
    std::lock_guard<std::mutex> lock(gCreateMutex);
    gCreating = plugin.get();
    plugin->mEffect = entry(&Plugin::StaticHostCallback);
    gCreating = nullptr;
  }
  if (!plugin->mEffect)
  {
    *error = path + ": the entry point returned no effect";
    return nullptr;
  }
  if (plugin->mEffect->magic != kEffectMagic)
  {
    char buf[96];
    snprintf(buf, sizeof(buf), ": bad effect magic 0x%08x", (unsigned)plugin->mEffect->magic);
    *error = path + buf;
    plugin->mEffect = nullptr;  // not a record we can safely close
    return nullptr;
  }
  if (!plugin->mEffect->dispatcher)
  {
    *error = path + ": the effect has no dispatcher";
    plugin->mEffect = nullptr;
    return nullptr;
  }
  plugin->mEffect->user = plugin.get();
  return plugin;
}

Plugin::~Plugin()
{
  if (mResumed) Suspend();
  if (mEffect && mEffect->dispatcher) mEffect->dispatcher(mEffect, effClose, 0, 0, nullptr, 0.f);
  mEffect = nullptr;
  if (mLibrary) dlclose(mLibrary);
}

VstIntPtr Plugin::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
  if (!mEffect || !mEffect->dispatcher) return 0;
  return mEffect->dispatcher(mEffect, opcode, index, value, ptr, opt);
}

std::string Plugin::DispatchString(VstInt32 opcode, VstInt32 index)
{
  char buf[512];
  memset(buf, 0, sizeof(buf));
  Dispatch(opcode, index, 0, buf, 0.f);
  buf[sizeof(buf) - 1] = 0;
  return buf;
}

void Plugin::Open()
{
  if (mOpen || !mEffect) return;
  Dispatch(effOpen);
  mOpen = true;
  mParamNames.clear();
  for (int i = 0; i < NumParams(); ++i) mParamNames.push_back(Printable(ParamName(i)));
}

void Plugin::Setup(double sampleRate, int maxBlockSize)
{
  if (!mOpen) Open();
  const bool wasResumed = mResumed;
  if (wasResumed) Suspend();
  mSampleRate = sampleRate;
  mMaxBlockSize = maxBlockSize;
  Dispatch(effSetSampleRate, 0, 0, nullptr, (float)sampleRate);
  Dispatch(effSetBlockSize, 0, maxBlockSize);
  if (wasResumed) Resume();
}

void Plugin::Resume()
{
  if (!mOpen) Open();
  if (mResumed) return;
  mSamplePos = 0.0;
  mTransportChanged = true;
  Dispatch(effMainsChanged, 0, 1);
  Dispatch(effStartProcess);
  mResumed = true;
}

void Plugin::Suspend()
{
  if (!mResumed) return;
  Dispatch(effStopProcess);
  Dispatch(effMainsChanged, 0, 0);
  mResumed = false;
}

bool Plugin::CanProcessDouble() const
{
  return mEffect && (mEffect->flags & effFlagsCanDoubleReplacing) && mEffect->processDoubleReplacing;
}

void Plugin::SetProcessPrecision(bool doublePrecision)
{
  Dispatch(effSetProcessPrecision, 0, doublePrecision ? kPrecision64 : kPrecision32);
}

void Plugin::ProcessFloat(float** inputs, float** outputs, int frames)
{
  if (!mEffect || frames <= 0) return;
  for (int c = 0; c < mEffect->numOutputs; ++c) memset(outputs[c], 0, sizeof(float) * (size_t)frames);
  const bool replacing = mEffect->processReplacing &&
                         ((mEffect->flags & effFlagsCanReplacing) || !mEffect->process);
  mInProcess = true;
  if (replacing) mEffect->processReplacing(mEffect, inputs, outputs, frames);
  else if (mEffect->process) mEffect->process(mEffect, inputs, outputs, frames);
  mInProcess = false;
  Advance(frames);
}

void Plugin::ProcessDouble(double** inputs, double** outputs, int frames)
{
  if (!mEffect || frames <= 0) return;
  for (int c = 0; c < mEffect->numOutputs; ++c) memset(outputs[c], 0, sizeof(double) * (size_t)frames);
  mInProcess = true;
  if (mEffect->processDoubleReplacing) mEffect->processDoubleReplacing(mEffect, inputs, outputs, frames);
  mInProcess = false;
  Advance(frames);
}

float Plugin::GetParameter(int index) const
{
  if (!mEffect || !mEffect->getParameter || index < 0 || index >= mEffect->numParams) return 0.f;
  return mEffect->getParameter(mEffect, index);
}

void Plugin::SetParameter(int index, float value)
{
  if (!mEffect || !mEffect->setParameter || index < 0 || index >= mEffect->numParams) return;
  mEffect->setParameter(mEffect, index, value);
}

std::string Plugin::ParamName(int index) { return DispatchString(effGetParamName, index); }
std::string Plugin::ParamLabel(int index) { return DispatchString(effGetParamLabel, index); }
std::string Plugin::ParamDisplay(int index) { return DispatchString(effGetParamDisplay, index); }

int Plugin::CurrentProgram() { return (int)Dispatch(effGetProgram); }

void Plugin::SetProgram(int index)
{
  Dispatch(effBeginSetProgram);
  Dispatch(effSetProgram, 0, index);
  Dispatch(effEndSetProgram);
}

std::string Plugin::ProgramName(int index) { return DispatchString(effGetProgramNameIndexed, index); }
std::string Plugin::CurrentProgramName() { return DispatchString(effGetProgramName); }

void Plugin::SetProgramName(const std::string& name)
{
  // The interface promises the plug-in no more than kVstMaxProgNameLen bytes.
  char buf[kVstMaxProgNameLen];
  memset(buf, 0, sizeof(buf));
  memcpy(buf, name.data(), std::min(name.size(), sizeof(buf) - 1));
  Dispatch(effSetProgramName, 0, 0, buf);
}

bool Plugin::UsesChunks() const { return mEffect && (mEffect->flags & effFlagsProgramChunks); }

bool Plugin::GetChunk(bool program, std::vector<char>* data)
{
  data->clear();
  void* bytes = nullptr;
  const VstIntPtr size = Dispatch(effGetChunk, program ? 1 : 0, 0, &bytes);
  // A gigabyte of state is not state; it is a plug-in answering garbage.
  if (size <= 0 || !bytes || size > (VstIntPtr(1) << 30)) return false;
  const char* p = static_cast<const char*>(bytes);
  data->assign(p, p + size);
  return true;
}

bool Plugin::SetChunk(bool program, const std::vector<char>& data)
{
  if (data.empty()) return false;
  // The plug-in reads our copy during the call; a private copy keeps the
  // caller's bytes out of its reach.
  std::vector<char> copy(data);
  return Dispatch(effSetChunk, program ? 1 : 0, (VstIntPtr)copy.size(), copy.data()) != 0;
}

VstIntPtr Plugin::CanDo(const char* capability)
{
  char buf[256];
  memset(buf, 0, sizeof(buf));
  strncpy(buf, capability, sizeof(buf) - 1);
  return Dispatch(effCanDo, 0, 0, buf);
}

std::string FourCCString(VstInt32 id)
{
  char c[4] = {(char)((id >> 24) & 0xff), (char)((id >> 16) & 0xff), (char)((id >> 8) & 0xff),
               (char)(id & 0xff)};
  bool printable = true;
  for (char ch : c) printable = printable && isprint((unsigned char)ch);
  char buf[32];
  if (printable) snprintf(buf, sizeof(buf), "'%c%c%c%c'", c[0], c[1], c[2], c[3]);
  else snprintf(buf, sizeof(buf), "0x%08x", (unsigned)id);
  return buf;
}

std::string FlagsString(VstInt32 flags)
{
  static const struct { VstInt32 bit; const char* name; } names[] = {
    {effFlagsHasEditor, "HasEditor"},       {effFlagsHasClip, "HasClip"},
    {effFlagsHasVu, "HasVu"},               {effFlagsCanMono, "CanMono"},
    {effFlagsCanReplacing, "CanReplacing"}, {effFlagsProgramChunks, "ProgramChunks"},
    {effFlagsIsSynth, "IsSynth"},           {effFlagsNoSoundInStop, "NoSoundInStop"},
    {effFlagsCanDoubleReplacing, "CanDoubleReplacing"},
  };
  std::string out;
  VstInt32 known = 0;
  for (const auto& n : names)
  {
    known |= n.bit;
    if (flags & n.bit)
    {
      if (!out.empty()) out += ' ';
      out += n.name;
    }
  }
  if (flags & ~known)
  {
    char buf[32];
    snprintf(buf, sizeof(buf), "unknown 0x%x", (unsigned)(flags & ~known));
    if (!out.empty()) out += ' ';
    out += buf;
  }
  return out;
}

const char* HostOpcodeName(VstInt32 opcode)
{
  static const char* const names[] = {
    "audioMasterAutomate", "audioMasterVersion", "audioMasterCurrentId", "audioMasterIdle",
    "audioMasterPinConnected", "", "audioMasterWantMidi", "audioMasterGetTime",
    "audioMasterProcessEvents", "audioMasterSetTime", "audioMasterTempoAt",
    "audioMasterGetNumAutomatableParameters", "audioMasterGetParameterQuantization",
    "audioMasterIOChanged", "audioMasterNeedIdle", "audioMasterSizeWindow",
    "audioMasterGetSampleRate", "audioMasterGetBlockSize", "audioMasterGetInputLatency",
    "audioMasterGetOutputLatency", "audioMasterGetPreviousPlug", "audioMasterGetNextPlug",
    "audioMasterWillReplaceOrAccumulate", "audioMasterGetCurrentProcessLevel",
    "audioMasterGetAutomationState", "audioMasterOfflineStart", "audioMasterOfflineRead",
    "audioMasterOfflineWrite", "audioMasterOfflineGetCurrentPass",
    "audioMasterOfflineGetCurrentMetaPass", "audioMasterSetOutputSampleRate",
    "audioMasterGetOutputSpeakerArrangement", "audioMasterGetVendorString",
    "audioMasterGetProductString", "audioMasterGetVendorVersion", "audioMasterVendorSpecific",
    "audioMasterSetIcon", "audioMasterCanDo", "audioMasterGetLanguage", "audioMasterOpenWindow",
    "audioMasterCloseWindow", "audioMasterGetDirectory", "audioMasterUpdateDisplay",
    "audioMasterBeginEdit", "audioMasterEndEdit", "audioMasterOpenFileSelector",
    "audioMasterCloseFileSelector", "audioMasterEditFile", "audioMasterGetChunkFile",
    "audioMasterGetInputSpeakerArrangement",
  };
  if (opcode < 0 || opcode >= (VstInt32)(sizeof(names) / sizeof(names[0]))) return "";
  return names[opcode];
}

const char* CategoryName(VstIntPtr category)
{
  static const char* const names[] = {
    "unknown", "effect", "synth", "analysis", "mastering", "spatializer",
    "room fx", "surround fx", "restoration", "offline process", "shell", "generator",
  };
  if (category < 0 || category >= (VstIntPtr)(sizeof(names) / sizeof(names[0]))) return "";
  return names[category];
}

std::string Printable(const std::string& s)
{
  std::string out;
  for (char ch : s) out += (ch >= 0 && ch < 0x20) || ch == 0x7f ? '?' : ch;
  const size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  const size_t last = out.find_last_not_of(' ');
  return out.substr(first, last - first + 1);
}

}  // namespace vsthost
