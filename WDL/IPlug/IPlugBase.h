// IPlugBase: the format-independent plug-in object.
//
// Lifecycle. A format adapter (IPlugVST) derives from IPlugBase and the plug-in
// class derives from the adapter. The constructor fixes identity, channel
// configuration, default parameters and empty presets; the plug-in's constructor
// then initialises its parameters, attaches its editor and makes its presets.
// Afterwards the host configures the instance (sample rate, block size,
// connections) and drives it until it deletes it; the destructor deletes the
// editor, parameters, presets and channel records.
//
// Threading. Two host threads call in: the audio thread (processing) and the main
// thread (dispatcher, parameters, editor). Every host entry point, the editor's
// parameter changes, AttachGraphics, and the default Reset, OnParamChange and
// OnActivate hold the per-instance recursive mutex (IMutexLock), so a locked
// operation may call another one on the same thread. The block size is the
// largest block the host announced; a process call never exceeds it.
//
// The core needs nothing from any plug-in format or windowing system; the pure
// virtual operations are what an adapter supplies (host notifications, transport,
// outgoing MIDI, editor resizing).
#ifndef IPLUG_IPLUGBASE_H_
#define IPLUG_IPLUGBASE_H_

#include "WDL/heapbuf.h"
#include "WDL/mutex.h"
#include "WDL/ptrlist.h"
#include "WDL/wdlstring.h"
#include "WDL/IPlug/Containers.h"
#include "WDL/IPlug/Hosts.h"
#include "WDL/IPlug/IParam.h"
#include "WDL/IPlug/IPlugStructs.h"

class IGraphics;

// Effect, product and manufacturer names: 127 characters and the terminator.
static const int kMaxEffectNameLen = 128;
// Channel counts above this in a channel I/O string are cut to it.
static const int kMaxChannelCount = 1024;

class IPlugBase
{
public:
  // One legal channel configuration.
  struct ChannelIO
  {
    int mIn;
    int mOut;
  };

  // An input channel: mSrc is its slot in the input data the plug-in reads. A
  // disconnected channel's slot points at its own zeroed scratch buffer.
  struct InChannel
  {
    bool mConnected = false;
    double** mSrc = nullptr;
    WDL_TypedBuf<double> mScratchBuf{4096};
    WDL_String mLabel{128};
  };

  // An output channel: mDest is its slot in the output data the plug-in writes;
  // mFDest the host's single-precision buffer while one is attached.
  struct OutChannel
  {
    bool mConnected = false;
    double** mDest = nullptr;
    float* mFDest = nullptr;
    WDL_TypedBuf<double> mScratchBuf{4096};
    WDL_String mLabel{128};
  };

  // Holds the instance mutex for its scope; Destroy() releases it early (for a
  // caller about to delete the instance).
  class IMutexLock
  {
  public:
    explicit IMutexLock(IPlugBase* pPlug) : mpMutex(pPlug ? &pPlug->mMutex : nullptr)
    {
      if (mpMutex) mpMutex->Enter();
    }
    ~IMutexLock() { Destroy(); }
    void Destroy()
    {
      if (mpMutex) mpMutex->Leave();
      mpMutex = nullptr;
    }
    IMutexLock(const IMutexLock&) = delete;
    IMutexLock& operator=(const IMutexLock&) = delete;

  private:
    WDL_Mutex* mpMutex;
  };

  // channelIOStr: space-separated "in-out" pairs such as "1-1 2-2"; null for no
  // channels. Names longer than 127 characters are cut.
  IPlugBase(int nParams, const char* channelIOStr, int nPresets, const char* effectName, const char* productName,
            const char* mfrName, int vendorVersion, int uniqueID, int mfrID, int latency, bool plugDoesMidi,
            bool plugDoesChunks, bool plugIsInst, EAPI plugAPI);

  // Virtual operations, in slot order.
  virtual ~IPlugBase();
  virtual void Reset();
  // Called after parameter paramIdx changed (from the host, the editor or a preset).
  virtual void OnParamChange(int paramIdx);
  // Default: pass-through of the channels both sides have; other outputs zeroed.
  virtual void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames);
  virtual void OnGUIOpen() {}
  virtual void OnGUIClose() {}
  virtual void OnIdle() {}
  virtual void OnActivate(bool active);
  // Default: passes the message on with SendMidiMsg.
  virtual void ProcessMidiMsg(IMidiMsg* pMsg);
  virtual void ProcessSysEx(ISysEx* /*pSysEx*/) {}
  // Default: writes "" and returns false.
  virtual bool MidiNoteName(int noteNumber, char* name);
  // Default: SerializeParams / UnserializeParams.
  virtual bool SerializeState(ByteChunk* pChunk);
  virtual int UnserializeState(ByteChunk* pChunk, int startPos);
  // incomingState is read as doubles from double index startPos; true when every
  // parameter matches within 1e-5 in single precision (and with no parameters).
  virtual bool CompareState(const unsigned char* incomingState, int startPos);
  virtual void OnWindowResize() {}
  virtual bool HostRequestingAboutBox() { return false; }
  virtual void OnHostIdentified() {}
  virtual void PopupHostContextMenuForParam(int /*paramIdx*/, int /*x*/, int /*y*/) {}
  // The editor changed a parameter: set it, tell the host, call OnParamChange.
  virtual void SetParameterFromGUI(int paramIdx, double normalizedValue);
  virtual void BeginInformHostOfParamChange(int paramIdx) = 0;
  virtual void InformHostOfParamChange(int paramIdx, double normalizedValue) = 0;
  virtual void EndInformHostOfParamChange(int paramIdx) = 0;
  virtual void InformHostOfProgramChange() = 0;
  virtual bool IsRenderingOffline() { return false; }
  virtual int GetSamplePos() = 0;
  virtual double GetTempo() = 0;
  virtual void GetTimeSig(int* pNumerator, int* pDenominator) = 0;
  virtual void GetTime(ITimeInfo* pTimeInfo) = 0;
  // Default: the stored host code (kHostUninit until SetHost).
  virtual EHost GetHost() { return mHost; }
  virtual EAPI GetAPI() { return mAPI; }
  virtual void ResizeGraphics(int w, int h) = 0;
  virtual void HostSpecificInit() {}
  // Takes ownership of the editor, pushes every parameter's normalised value into
  // it and lets it prepare for drawing. A different editor attached earlier is
  // deleted. Null does nothing.
  virtual void AttachGraphics(IGraphics* pGraphics);
  virtual void SetLatency(int samples);
  virtual bool SendMidiMsg(IMidiMsg* pMsg) = 0;
  virtual bool SendSysEx(ISysEx* /*pSysEx*/) { return false; }
  // Sends every parameter's plain value to the editor, if one is attached.
  virtual void RedrawParamControls();
  virtual void DirtyPTCompareState() {}
  virtual void PresetsChangedByHost() {}
  // Sizes every scratch buffer to blockSize zeroed doubles. Unchanged for the
  // current size; refused (nothing changes) for a negative size or when the
  // buffers cannot be allocated.
  virtual void SetBlockSize(int blockSize);

  // Identity.
  const char* GetEffectName() const { return mEffectName; }
  const char* GetProductName() const { return mProductName; }
  const char* GetMfrName() const { return mMfrName; }
  int GetUniqueID() const { return mUniqueID; }
  int GetMfrID() const { return mMfrID; }
  // The packed version, or major * 10000 + minor * 100 + third when decimal.
  int GetEffectVersion(bool decimal) const;
  // "v%d.%d.%d" into str (kMaxVersionStrLen bytes).
  void GetEffectVersionStr(char* str) const;
  // "VST2", "VST3", "AU", "RTAS", "AAX", "Standalone", or "".
  const char* GetAPIString() const;
  // "x64" or "x86".
  const char* GetArchString() const;
  bool DoesStateChunks() const { return mStateChunks; }
  bool IsInst() const { return mIsInst; }
  bool DoesMIDI() const { return mDoesMIDI; }

  // Host identity: SetHost stores LookUpHost(host) and the packed version. The
  // getters identify the host first (through GetHost()).
  void SetHost(const char* host, int version);
  int GetHostVersion(bool decimal);
  void GetHostVersionStr(char* str);

  // Channels.
  int NInChannels() const { return mInChannels.GetSize(); }
  int NOutChannels() const { return mOutChannels.GetSize(); }
  int NChannelIO() const { return mChannelIO.GetSize(); }
  bool GetChannelIO(int idx, int* pNIn, int* pNOut) const;
  // Whether some configuration matches; a negative count matches any.
  bool LegalIO(int nIn, int nOut) const;
  void LimitToStereoIO();
  void SetInputChannelConnections(int idx, int n, bool connected);
  void SetOutputChannelConnections(int idx, int n, bool connected);
  bool IsInChannelConnected(int chIdx) const;
  bool IsOutChannelConnected(int chIdx) const;
  // Ignored for an index outside the channels. The getters give "" there.
  void SetInputLabel(int idx, const char* label);
  void SetOutputLabel(int idx, const char* label);
  const char* GetInputLabel(int idx) const;
  const char* GetOutputLabel(int idx) const;
  // Only idx 0 and 1: replaces the label at idx, or appends when the list is
  // shorter. The getters give null for no label.
  void SetInputBusLabel(int idx, const char* label);
  void SetOutputBusLabel(int idx, const char* label);
  const char* GetInputBusLabel(int idx) const;
  const char* GetOutputBusLabel(int idx) const;

  // Parameters and editor.
  int NParams() const { return mParams.GetSize(); }
  // Null for an index outside the list.
  IParam* GetParam(int idx) const { return mParams.Get(idx); }
  IGraphics* GetGUI() const { return mGraphics; }

  // Presets.
  int NPresets() const { return mPresets.GetSize(); }
  IPreset* GetPreset(int idx) const { return mPresets.Get(idx); }
  int GetCurrentPresetIdx() const { return mCurrentPresetIdx; }
  // nPresets times: the first preset not yet initialised takes name ("Empty" for
  // null) and the current state.
  void MakeDefaultPreset(const char* name, int nPresets);
  // Fills every preset not yet initialised with "Empty" and the current state.
  void EnsureDefaultPreset();

  // State: each parameter's plain value as an 8-byte double, in index order.
  bool SerializeParams(ByteChunk* pChunk);
  // Reads the values from startPos and sets them (clamped); on running out of
  // data the parameter at which reading failed is set to 0.0 (clamped), later
  // ones keep their values, and the result is -1. Every parameter then gets
  // OnParamChange. Returns the position after the last value, or -1.
  int UnserializeParams(ByteChunk* pChunk, int startPos);

  // Rates and sizes.
  double GetSampleRate() const { return mSampleRate; }
  // Stores the rate; non-positive or non-finite rates are refused.
  void SetSampleRate(double sampleRate);
  int GetBlockSize() const { return mBlockSize; }
  int GetLatency() const { return mLatency; }
  int GetTailSize() const { return mTailSize; }
  void SetTailSize(int samples) { mTailSize = samples; }
  // Sample rate * 60 / GetTempo(), or 0 without a tempo.
  double GetSamplesPerBeat();

  void SendMidiMsgs(WDL_TypedBuf<IMidiMsg>* pMsgs);

  // The instance mutex, for code outside the class hierarchy (the editor host).
  WDL_Mutex* GetMutex() { return &mMutex; }

protected:
  // The buffers the plug-in is handed: one slot per channel.
  double** GetInputData() const { return mInData.Get(); }
  double** GetOutputData() const { return mOutData.Get(); }
  InChannel* GetInChannel(int idx) const { return mInChannels.Get(idx); }
  OutChannel* GetOutChannel(int idx) const { return mOutChannels.Get(idx); }

private:
  void ParseChannelIO(const char* channelIOStr, int* pMaxIn, int* pMaxOut);
  void CreateChannels(int nIn, int nOut);
  bool ResizeScratchBuffers(int blockSize);
  void SetBusLabel(WDL_PtrList<WDL_String>* pList, int idx, const char* label);

  WDL_PtrList<ChannelIO> mChannelIO;

protected:
  WDL_Mutex mMutex;

private:
  char mEffectName[kMaxEffectNameLen];
  char mProductName[kMaxEffectNameLen];
  char mMfrName[kMaxEffectNameLen];
  int mUniqueID;
  int mMfrID;
  int mVersion;
  EAPI mAPI;
  EHost mHost = kHostUninit;
  int mHostVersion = 0;
  bool mStateChunks;
  bool mIsInst;
  bool mDoesMIDI;
  int mCurrentPresetIdx = 0;
  double mSampleRate = 44100.0;
  int mBlockSize = 0;
  int mLatency;
  int mTailSize = 0;
  IGraphics* mGraphics = nullptr;
  WDL_PtrList<IParam> mParams;
  WDL_PtrList<IPreset> mPresets;
  WDL_TypedBuf<double*> mInData;
  WDL_TypedBuf<double*> mOutData;
  WDL_PtrList<InChannel> mInChannels;
  WDL_PtrList<OutChannel> mOutChannels;
  WDL_PtrList<WDL_String> mInputBusLabels;
  WDL_PtrList<WDL_String> mOutputBusLabels;
};

#endif  // IPLUG_IPLUGBASE_H_
