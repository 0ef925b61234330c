#pragma once
// A small VST 2.4 host: loads any Linux VST2 shared object through the ABI
// alone (dlopen + the exported entry point) and owns the one instance it made.
// It answers the plug-in's questions the way a sequencer would (version,
// transport and tempo, sample rate, process level, names), drives the
// lifecycle (open, rate and block size, resume, process, suspend, close) and
// reads names, displays and programs through the dispatcher. Used by
// plughost and by the tests that drive plug-ins the way a host does.

#include "WDL/IPlug/VSTInterface.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vsthost {

// What the plug-in asked of the host, in order; tests read this back.
struct HostCall
{
  VstInt32 opcode;
  VstInt32 index;
  VstIntPtr value;
  float opt;
};

// What this host calls itself when a plug-in asks.
constexpr const char* kHostVendor = "Morvane";
constexpr const char* kHostProduct = "plughost";
constexpr VstInt32 kHostVersion = 10000;  // 1.0.0 in the decimal form

class Plugin
{
public:
  // Loads the library and creates one instance. On failure returns null and
  // fills *error with one line saying what was wrong. A bare file name that
  // exists in the working directory is loaded from there, as a user expects.
  static std::unique_ptr<Plugin> Load(const std::string& path, std::string* error);
  // Suspends a running instance, then effClose (which deletes the instance),
  // then unloads the library.
  ~Plugin();

  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  AEffect* Effect() const { return mEffect; }
  const std::string& Path() const { return mPath; }
  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.f);
  // A dispatcher string query into a generous, zeroed buffer; the result is
  // always terminated whatever the plug-in wrote.
  std::string DispatchString(VstInt32 opcode, VstInt32 index = 0);

  // Lifecycle, in the order a host runs it. Open sends effOpen once; Setup
  // sends the rate and the largest block (suspending first if needed);
  // Resume switches the instance on (effMainsChanged 1, effStartProcess) and
  // restarts the transport at sample 0; Suspend switches it off again.
  void Open();
  void Setup(double sampleRate, int maxBlockSize);
  void Resume();
  void Suspend();
  bool IsOpen() const { return mOpen; }
  bool IsResumed() const { return mResumed; }
  double SampleRate() const { return mSampleRate; }
  int MaxBlockSize() const { return mMaxBlockSize; }

  // Processing. Outputs are cleared first (an accumulating plug-in adds into
  // them; one that leaves a channel alone leaves silence), then the transport
  // advances by the block. The float path uses processReplacing, or the
  // accumulating process of a plug-in that has no replacing one.
  bool CanProcessDouble() const;
  void ProcessFloat(float** inputs, float** outputs, int frames);
  void ProcessDouble(double** inputs, double** outputs, int frames);
  // Tells the plug-in which precision the following process calls use.
  void SetProcessPrecision(bool doublePrecision);

  // Parameters through the record and the dispatcher.
  int NumParams() const { return mEffect ? mEffect->numParams : 0; }
  float GetParameter(int index) const;
  void SetParameter(int index, float value);
  std::string ParamName(int index);
  std::string ParamLabel(int index);
  std::string ParamDisplay(int index);

  // Programs.
  int NumPrograms() const { return mEffect ? mEffect->numPrograms : 0; }
  int CurrentProgram();
  void SetProgram(int index);
  std::string ProgramName(int index);  // effGetProgramNameIndexed, or "" if unanswered
  std::string CurrentProgramName();
  void SetProgramName(const std::string& name);

  // State chunks (plug-ins with effFlagsProgramChunks). GetChunk copies the
  // plug-in's bytes out at once, since they live only until its next call.
  bool UsesChunks() const;
  bool GetChunk(bool program, std::vector<char>* data);
  bool SetChunk(bool program, const std::vector<char>& data);

  // effCanDo: 1 yes, -1 no, 0 don't know.
  VstIntPtr CanDo(const char* capability);

  // The transport every audioMasterGetTime answer comes from.
  double tempo = 120.0;
  int timeSigNumerator = 4;
  int timeSigDenominator = 4;
  const VstTimeInfo& TimeInfo() const { return mTime; }

  // Called for audioMasterSizeWindow (width, height) when set; without it the
  // host refuses size requests and answers canDo "sizeWindow" with no.
  std::function<void(int, int)> onSizeWindow;

  // What audioMasterGetCurrentProcessLevel answers.
  VstInt32 processLevel = kVstProcessLevelUser;

  // The host's side of the conversation. Recording can be switched off for
  // long renders, where per-block time queries would pile up.
  std::vector<HostCall> calls;
  bool recordCalls = true;
  // With verbose set, each plug-in request (but the per-block time and
  // process-level queries, which are only counted) is logged to log.
  bool verbose = false;
  FILE* log = stderr;
  long timeQueries = 0;

private:
  Plugin() = default;
  VstIntPtr HostCallback(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  static VstIntPtr StaticHostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                      VstIntPtr value, void* ptr, float opt);
  void LogCall(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  const VstTimeInfo* UpdateTime(VstIntPtr requestMask);
  void Advance(int frames);

  std::string mPath;
  void* mLibrary = nullptr;
  AEffect* mEffect = nullptr;
  bool mOpen = false;
  bool mResumed = false;
  bool mInProcess = false;
  double mSampleRate = 44100.0;
  int mMaxBlockSize = 512;
  double mSamplePos = 0.0;
  bool mTransportChanged = true;
  VstTimeInfo mTime = {};
  std::vector<std::string> mParamNames;  // filled at Open, for the log
};

// 'Trv1' when all four bytes are printable, else the hex form.
std::string FourCCString(VstInt32 id);
std::string FlagsString(VstInt32 flags);
// The published names, for logs and listings ("" when unknown).
const char* HostOpcodeName(VstInt32 opcode);
const char* CategoryName(VstIntPtr category);
// Printable form of a string a plug-in wrote: control bytes become '?',
// surrounding blanks are dropped.
std::string Printable(const std::string& s);

}  // namespace vsthost
