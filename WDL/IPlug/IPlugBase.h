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
  // The "make" operations fill the first preset not yet initialised (nothing
  // when all are). MakePreset takes one value per parameter: an int for bool,
  // int and enum parameters, a double otherwise. MakePresetFromNamedParams
  // takes nParamsNamed (index, value) pairs; unnamed parameters keep their
  // current value.
  void MakePreset(const char* name, ...);
  void MakePresetFromNamedParams(const char* name, int nParamsNamed, ...);
  void MakePresetFromChunk(const char* name, ByteChunk* pChunk);
  // Base64 (RFC 4648 alphabet) into sizeOfChunk zero-filled bytes; decoding
  // stops at the first character outside the alphabet.
  void MakePresetFromBlob(const char* name, const char* blob, int sizeOfChunk);
  void PruneUninitializedPresets();
  // Loads preset idx into the parameters and makes it current. An empty slot is
  // first filled from the live state as "user preset N". False for an index
  // outside the list or a stored state that does not load.
  bool RestorePreset(int idx);
  // The first preset with exactly this name; false for null or "".
  bool RestorePreset(const char* name);
  // "" for an index outside the list.
  const char* GetPresetName(int idx) const;
  // Stores the live state into the current preset; renames it when name is
  // neither null nor "".
  void ModifyCurrentPreset(const char* name = nullptr);
  // The bank layout: per preset its name, initialised flag and state.
  bool SerializePresets(ByteChunk* pChunk);
  // Loads a bank from startPos into the presets, then restores the current
  // preset. Returns the position reached, negative when the data ran out.
  int UnserializePresets(ByteChunk* pChunk, int startPos);
  // OnParamChange for every parameter (the caller holds the mutex).
  void OnParamReset();
  // Sends every parameter's normalised value to the host.
  void DirtyParameters();

  // The 8-byte framework version header that opens every chunk.
  static void InitChunkWithIPlugVer(ByteChunk* pChunk);
  // The version when the header is at *pPos (then *pPos moves past it); 0 and
  // *pPos untouched when it is not; 0 and *pPos = -1 when only its magic fits.
  static int GetIPlugVerFromChunk(ByteChunk* pChunk, int* pPos);

  // Developer aids: the current presets as source code.
  void DumpPresetSrcCode(const char* filename, const char* paramEnumNames[]);
  void DumpPresetBlob(const char* filename);
  void DumpBankBlob(const char* filename);

  // Program (FXP) and bank (FXB) files: the chunk variant when the plug-in
  // stores state chunks, otherwise the parameter variant. Loads refuse, changing
  // nothing, a file for another plug-in, a wrong magic or version, and a file
  // shorter than its header; parameters a truncated file does not reach keep
  // their values.
  bool SaveProgramAsFXP(const WDL_String* pFileName);
  bool SaveBankAsFXB(const WDL_String* pFileName);
  bool LoadProgramFromFXP(const WDL_String* pFileName);
  bool LoadBankFromFXB(const WDL_String* pFileName);

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
  // Audio buffer routing, used by a format adapter's process callbacks while
  // they hold the instance mutex: attach inputs, attach outputs, process.
  //
  // The plug-in always runs on doubles, through one slot per channel. On the
  // double path a connected channel's slot is the host's buffer itself; on the
  // single-precision path it is the channel's scratch buffer, filled from (or
  // converted back into) the host's floats. A disconnected channel's slot stays
  // at its zeroed scratch buffer. Host pointer arrays list connected channels
  // only, in channel order.
  //
  // The scratch buffers hold exactly the block size, so every operation below
  // handles at most that many frames: a larger count is cut to the block size
  // and a negative one counts as 0. ProcessHostBlock is what takes a host block
  // of any length.
  void AttachInputBuffers(int idx, int n, double** ppData, int nFrames);
  // Converts nFrames floats of each connected channel into its scratch buffer.
  void AttachInputBuffers(int idx, int n, float** ppData, int nFrames);
  void AttachOutputBuffers(int idx, int n, double** ppData);
  // Connected outputs render into their scratch; the host's buffers become the
  // float destinations.
  void AttachOutputBuffers(int idx, int n, float** ppData);
  // The argument only selects the overload.
  void ProcessBuffers(double, int nFrames);
  // Then writes each connected output, rounded to float, into its destination.
  void ProcessBuffers(float, int nFrames);
  // As ProcessBuffers(float), adding to the destination in single precision.
  void ProcessBuffersAccumulating(float, int nFrames);
  // Input slot i copied to output slot i, remaining outputs zeroed, without
  // calling the plug-in; the float form then converts as ProcessBuffers does.
  void PassThroughBuffers(double, int nFrames);
  void PassThroughBuffers(float, int nFrames);
  void ZeroScratchBuffers();

  // One host block of any length through attach, attach, process. A block
  // longer than the block size goes through in slices of at most that size,
  // in order, so the plug-in never sees more than the host announced and the
  // scratch buffers are never overrun. A negative count is 0: the plug-in is
  // still called once, with 0 frames. With no block size (0) nothing can be
  // routed: the plug-in is called with 0 frames and replacing outputs are
  // silenced. Missing pointer arrays for connected channels refuse the block.
  // The caller holds the instance mutex. Allocates nothing.
  void ProcessHostBlock(double** inputs, double** outputs, int nFrames);
  // accumulate: add into the host's outputs (the VST 2.4 process call).
  void ProcessHostBlock(float** inputs, float** outputs, int nFrames, bool accumulate);

  // The buffers the plug-in is handed: one slot per channel.
  double** GetInputData() const { return mInData.Get(); }
  double** GetOutputData() const { return mOutData.Get(); }
  InChannel* GetInChannel(int idx) const { return mInChannels.Get(idx); }
  OutChannel* GetOutChannel(int idx) const { return mOutChannels.Get(idx); }

private:
  void ParseChannelIO(const char* channelIOStr, int* pMaxIn, int* pMaxOut);
  void CreateChannels(int nIn, int nOut);
  bool ResizeScratchBuffers(int blockSize);
  // nFrames as the routing handles it: 0 .. block size.
  int RoutedFrames(int nFrames) const;
  int NConnectedInputs() const;
  int NConnectedOutputs() const;
  template <typename T, typename Process>
  void ProcessSliced(T** inputs, T** outputs, int nFrames, T** sliceIn, T** sliceOut, bool silenceOutputs,
                     Process process);
  void SetBusLabel(WDL_PtrList<WDL_String>* pList, int idx, const char* label);
  IPreset* GetNextUninitializedPreset();
  void MakeDefaultUserPresetName(char* str, int strSize);
  void PutFXProgramHeader(ByteChunk* pChunk, int byteSize, bool chunkVariant, const char* name);

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
  // Host pointers advanced to the current slice of an oversized block; sized
  // with the channels so slicing never allocates.
  WDL_TypedBuf<double*> mSliceInD;
  WDL_TypedBuf<double*> mSliceOutD;
  WDL_TypedBuf<float*> mSliceInF;
  WDL_TypedBuf<float*> mSliceOutF;
  WDL_PtrList<InChannel> mInChannels;
  WDL_PtrList<OutChannel> mOutChannels;
  WDL_PtrList<WDL_String> mInputBusLabels;
  WDL_PtrList<WDL_String> mOutputBusLabels;
};

#endif  // IPLUG_IPLUGBASE_H_
