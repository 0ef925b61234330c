// IPlugVST: the VST 2.4 adapter. It owns the effect record a host sees, turns
// the host's calls (dispatcher opcodes, process and parameter callbacks) into
// IPlugBase calls, and answers the framework's questions about the host through
// the host callback. It is the only framework code that sees AEffect.
//
// Every static callback recovers the instance from the record's object field and
// holds the instance mutex for the whole call. Host notifications and transport
// queries take no lock: they are called from inside locked operations or from
// the editor.
#ifndef IPLUG_IPLUGVST_H_
#define IPLUG_IPLUGVST_H_

#include "WDL/IPlug/IGraphics.h"
#include "WDL/IPlug/IPlugBase.h"
#include "WDL/IPlug/VSTInterface.h"

// What the entry point hands to the plug-in's constructor.
struct IPlugInstanceInfo
{
  audioMasterCallback mVSTHostCallback = nullptr;
};

class IPlugVST : public IPlugBase
{
public:
  // plugScChans (side-chain channels) is accepted and not used.
  IPlugVST(IPlugInstanceInfo instanceInfo, int nParams, const char* channelIOStr, int nPresets,
           const char* effectName, const char* productName, const char* mfrName, int vendorVersion,
           int uniqueID, int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst,
           int plugScChans);
  ~IPlugVST() override;

  // Host notifications.
  void BeginInformHostOfParamChange(int paramIdx) override;
  void InformHostOfParamChange(int paramIdx, double normalizedValue) override;
  void EndInformHostOfParamChange(int paramIdx) override;
  void InformHostOfProgramChange() override;

  bool IsRenderingOffline() override;

  // Transport.
  int GetSamplePos() override;
  double GetTempo() override;
  void GetTimeSig(int* pNumerator, int* pDenominator) override;
  void GetTime(ITimeInfo* pTimeInfo) override;

  EHost GetHost() override;
  void ResizeGraphics(int w, int h) override;
  void HostSpecificInit() override;
  void AttachGraphics(IGraphics* pGraphics) override;
  void SetLatency(int samples) override;
  bool SendMidiMsg(IMidiMsg* pMsg) override;
  bool SendSysEx(ISysEx* pSysEx) override;

  bool SendVSTEvent(VstEvent* pEvent);
  audioMasterCallback GetHostCallback() const { return mHostCallback; }
  AEffect* GetAEffect() { return &mAEffect; }

private:
  VstIntPtr HostCall(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.f);
  VstTimeInfo* HostTimeInfo(VstInt32 requestFlags);
  void SetEditRectFromGUI();
  // audioMasterWantMidi, for a plug-in that declares MIDI.
  void WantMidi();
  // Dispatcher handlers with more than a line to them.
  bool GetPinProperties(int index, bool input, VstPinProperties* pProps);
  VstIntPtr DoCanDo(const char* capability);
  VstIntPtr DoGetChunk(int index, void* ptr);
  VstIntPtr DoSetChunk(int index, VstIntPtr size, void* ptr);
  VstIntPtr DoProcessEvents(VstEvents* pEvents);
  VstIntPtr DoString2Parameter(int index, const char* text);

  static VstIntPtr VSTDispatcher(AEffect* pEffect, VstInt32 opCode, VstInt32 idx, VstIntPtr value,
                                          void* ptr, float opt);
  template <class T>
  static void ProcessFromHost(AEffect* pEffect, T** inputs, T** outputs, VstInt32 nFrames, bool accumulate);
  static void VSTProcess(AEffect* pEffect, float** inputs, float** outputs, VstInt32 nFrames);
  static void VSTProcessReplacing(AEffect* pEffect, float** inputs, float** outputs, VstInt32 nFrames);
  static void VSTProcessDoubleReplacing(AEffect* pEffect, double** inputs, double** outputs, VstInt32 nFrames);
  static float VSTGetParameter(AEffect* pEffect, VstInt32 idx);
  static void VSTSetParameter(AEffect* pEffect, VstInt32 idx, float value);

  ERect mEditRect;
  audioMasterCallback mHostCallback;
  VstSpeakerArrangement mInputSpkrArr;
  VstSpeakerArrangement mOutputSpkrArr;
  bool mHostSpecificInitDone = false;
  int mHasVSTExtensions = 0;
  ByteChunk mState;      // single-program chunk handed to the host
  ByteChunk mBankState;  // whole-bank chunk handed to the host
  AEffect mAEffect;
};

// kSpeakerArrEmpty, Mono or Stereo for 0, 1, 2 channels; user-defined above.
int VSTSpkrArrType(int nchan);

// The key of an effEditKeyDown / effEditKeyUp call (index: the character,
// value: a VstVirtualKey or 0, opt: VstModifierKey bits). Keypad keys type
// their character; keys the editor has no use for are IHostKey::kOther.
IHostKey VSTKeyToHostKey(VstInt32 character, VstIntPtr virtualKey, float modifiers);

#endif  // IPLUG_IPLUGVST_H_
