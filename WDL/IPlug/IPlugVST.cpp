#include "WDL/IPlug/IPlugVST.h"

#include "WDL/IPlug/IGraphics.h"
#include "WDL/IPlug/Log.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace {

IPlugVST* GetPlug(AEffect* pEffect)
{
  return pEffect ? static_cast<IPlugVST*>(pEffect->object) : nullptr;
}

}  // namespace

int VSTSpkrArrType(int nchan)
{
  if (nchan < 3) return nchan - 1;  // empty, mono, stereo
  return kSpeakerArrUserDefined;
}

IHostKey VSTKeyToHostKey(VstInt32 character, VstIntPtr virtualKey, float modifiers)
{
  IHostKey k;
  const int mods = (modifiers >= 0.f && modifiers < 256.f) ? (int)modifiers : 0;
  k.mShift = (mods & MODIFIER_SHIFT) != 0;
  k.mAlt = (mods & MODIFIER_ALTERNATE) != 0;
  k.mControl = (mods & (MODIFIER_COMMAND | MODIFIER_CONTROL)) != 0;
  struct Named
  {
    VstIntPtr vkey;
    int named;
    int ch;
    bool keypad;
  };
  static const Named kNamed[] = {
    {VKEY_BACK, IHostKey::kBackspace, 0, false}, {VKEY_TAB, IHostKey::kTab, 0, false},
    {VKEY_RETURN, IHostKey::kReturn, 0, false},  {VKEY_ENTER, IHostKey::kReturn, 0, true},
    {VKEY_ESCAPE, IHostKey::kEscape, 0, false},  {VKEY_SPACE, IHostKey::kSpace, ' ', false},
    {VKEY_NEXT, IHostKey::kPageDown, 0, false},  {VKEY_PAGEDOWN, IHostKey::kPageDown, 0, false},
    {VKEY_PAGEUP, IHostKey::kPageUp, 0, false},  {VKEY_END, IHostKey::kEnd, 0, false},
    {VKEY_HOME, IHostKey::kHome, 0, false},      {VKEY_LEFT, IHostKey::kLeft, 0, false},
    {VKEY_UP, IHostKey::kUp, 0, false},          {VKEY_RIGHT, IHostKey::kRight, 0, false},
    {VKEY_DOWN, IHostKey::kDown, 0, false},      {VKEY_DELETE, IHostKey::kDelete, 0, false},
    {VKEY_MULTIPLY, IHostKey::kNone, '*', true}, {VKEY_ADD, IHostKey::kNone, '+', true},
    {VKEY_SEPARATOR, IHostKey::kNone, ',', true}, {VKEY_SUBTRACT, IHostKey::kNone, '-', true},
    {VKEY_DECIMAL, IHostKey::kNone, '.', true},  {VKEY_DIVIDE, IHostKey::kNone, '/', true},
    {VKEY_EQUALS, IHostKey::kNone, '=', false},
  };
  if (virtualKey >= VKEY_NUMPAD0 && virtualKey <= VKEY_NUMPAD9)
  {
    k.mChar = '0' + (int)(virtualKey - VKEY_NUMPAD0);
    k.mKeypad = true;
    return k;
  }
  for (const Named& n : kNamed)
  {
    if (n.vkey != virtualKey) continue;
    k.mNamed = n.named;
    k.mChar = n.ch;
    k.mKeypad = n.keypad;
    return k;
  }
  if (virtualKey != 0)
  {
    k.mNamed = IHostKey::kOther;
    return k;
  }
  // No virtual key: the character alone (a code point, never a control code).
  if (character >= 0x20 && character < 0x110000 && character != 0x7f) k.mChar = character;
  else k.mNamed = character ? IHostKey::kOther : IHostKey::kNone;
  return k;
}

IPlugVST::IPlugVST(IPlugInstanceInfo instanceInfo, int nParams, const char* channelIOStr, int nPresets,
                   const char* effectName, const char* productName, const char* mfrName, int vendorVersion,
                   int uniqueID, int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks,
                   bool plugIsInst, int /*plugScChans*/)
  : IPlugBase(nParams, channelIOStr, nPresets, effectName, productName, mfrName, vendorVersion, uniqueID,
              mfrID, latency, plugDoesMidi, plugDoesChunks, plugIsInst, kAPIVST2),
    mHostCallback(instanceInfo.mVSTHostCallback)
{
  Trace(TRACELOC, "%s", effectName);

  memset(&mAEffect, 0, sizeof(AEffect));
  mAEffect.magic = kEffectMagic;
  mAEffect.dispatcher = VSTDispatcher;
  mAEffect.process = VSTProcess;
  mAEffect.setParameter = VSTSetParameter;
  mAEffect.getParameter = VSTGetParameter;
  mAEffect.numPrograms = nPresets;
  mAEffect.numParams = nParams;
  mAEffect.numInputs = NInChannels();
  mAEffect.numOutputs = NOutChannels();
  mAEffect.initialDelay = latency;
  mAEffect.ioRatio = 1.0f;
  mAEffect.object = this;
  mAEffect.uniqueID = uniqueID;
  mAEffect.version = GetEffectVersion(true);
  mAEffect.processReplacing = VSTProcessReplacing;
  mAEffect.processDoubleReplacing = VSTProcessDoubleReplacing;

  mAEffect.flags = effFlagsCanReplacing | effFlagsCanDoubleReplacing;
  if (plugDoesChunks) mAEffect.flags |= effFlagsProgramChunks;
  if (LegalIO(1, -1)) mAEffect.flags |= effFlagsCanMono;
  if (plugIsInst) mAEffect.flags |= effFlagsIsSynth;

  memset(&mEditRect, 0, sizeof(ERect));
  memset(&mInputSpkrArr, 0, sizeof(VstSpeakerArrangement));
  memset(&mOutputSpkrArr, 0, sizeof(VstSpeakerArrangement));
  mInputSpkrArr.numChannels = NInChannels();
  mInputSpkrArr.type = VSTSpkrArrType(NInChannels());
  mOutputSpkrArr.numChannels = NOutChannels();
  mOutputSpkrArr.type = VSTSpkrArrType(NOutChannels());

  SetInputChannelConnections(0, NInChannels(), true);
  SetOutputChannelConnections(0, NOutChannels(), true);

  // Every channel has a full scratch buffer before the host announces its own
  // block size.
  SetBlockSize(1024);
}

IPlugVST::~IPlugVST()
{
  mState.Clear();
  mBankState.Clear();
}

VstIntPtr IPlugVST::HostCall(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
  if (!mHostCallback) return 0;
  return mHostCallback(&mAEffect, opcode, index, value, ptr, opt);
}

// Host notifications: no lock, the parameter itself is not touched.
void IPlugVST::BeginInformHostOfParamChange(int paramIdx)
{
  HostCall(audioMasterBeginEdit, paramIdx);
}

void IPlugVST::InformHostOfParamChange(int paramIdx, double normalizedValue)
{
  HostCall(audioMasterAutomate, paramIdx, 0, nullptr, (float)normalizedValue);
}

void IPlugVST::EndInformHostOfParamChange(int paramIdx)
{
  HostCall(audioMasterEndEdit, paramIdx);
}

void IPlugVST::InformHostOfProgramChange()
{
  HostCall(audioMasterUpdateDisplay);
}

bool IPlugVST::IsRenderingOffline()
{
  return HostCall(audioMasterGetCurrentProcessLevel) == kVstProcessLevelOffline;
}

VstTimeInfo* IPlugVST::HostTimeInfo(VstInt32 requestFlags)
{
  return reinterpret_cast<VstTimeInfo*>(HostCall(audioMasterGetTime, 0, requestFlags));
}

int IPlugVST::GetSamplePos()
{
  VstTimeInfo* pTI = HostTimeInfo(0);
  if (pTI && pTI->samplePos >= 0.0) return (int)(pTI->samplePos + 0.5);
  return 0;
}

double IPlugVST::GetTempo()
{
  if (!mHostCallback) return 0.0;
  VstTimeInfo* pTI = HostTimeInfo(kVstTempoValid);
  if (pTI && (pTI->flags & kVstTempoValid) && pTI->tempo >= 0.0) return pTI->tempo;
  return 0.0;
}

void IPlugVST::GetTimeSig(int* pNumerator, int* pDenominator)
{
  *pNumerator = *pDenominator = 0;
  VstTimeInfo* pTI = HostTimeInfo(kVstTimeSigValid);
  if (pTI && (pTI->flags & kVstTimeSigValid) && pTI->timeSigNumerator >= 0 && pTI->timeSigDenominator >= 0)
  {
    *pNumerator = pTI->timeSigNumerator;
    *pDenominator = pTI->timeSigDenominator;
  }
}

void IPlugVST::GetTime(ITimeInfo* pTimeInfo)
{
  const VstInt32 wanted = kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstCyclePosValid | kVstTimeSigValid;
  VstTimeInfo* pTI = HostTimeInfo(wanted);
  if (!pTI || !(pTI->flags & wanted)) return;

  pTimeInfo->mSamplePos = pTI->samplePos;
  if ((pTI->flags & kVstPpqPosValid) && pTI->ppqPos >= 0.0) pTimeInfo->mPPQPos = pTI->ppqPos;
  if ((pTI->flags & kVstTempoValid) && pTI->tempo > 0.0) pTimeInfo->mTempo = pTI->tempo;
  if ((pTI->flags & kVstBarsValid) && pTI->barStartPos >= 0.0) pTimeInfo->mLastBar = pTI->barStartPos;
  if ((pTI->flags & kVstCyclePosValid) && pTI->cycleStartPos >= 0.0 && pTI->cycleEndPos >= 0.0)
  {
    pTimeInfo->mCycleStart = pTI->cycleStartPos;
    pTimeInfo->mCycleEnd = pTI->cycleEndPos;
  }
  if ((pTI->flags & kVstTimeSigValid) && pTI->timeSigNumerator > 0 && pTI->timeSigDenominator > 0)
  {
    pTimeInfo->mNumerator = pTI->timeSigNumerator;
    pTimeInfo->mDenominator = pTI->timeSigDenominator;
  }
  pTimeInfo->mTransportIsRunning = (pTI->flags & kVstTransportPlaying) != 0;
  pTimeInfo->mTransportLoopEnabled = (pTI->flags & kVstTransportCycleActive) != 0;
}

EHost IPlugVST::GetHost()
{
  EHost host = IPlugBase::GetHost();
  if (host == kHostUninit)
  {
    // Hosts promise at most 64 characters; the buffer is generous and the
    // answer is terminated here whatever the host wrote.
    char productStr[256];
    memset(productStr, 0, sizeof(productStr));
    HostCall(audioMasterGetProductString, 0, 0, productStr);
    productStr[sizeof(productStr) - 1] = 0;
    int version = 0;
    if (productStr[0])
    {
      int decVer = (int)HostCall(audioMasterGetVendorVersion);
      int ver = decVer / 10000;
      int rmaj = (decVer - 10000 * ver) / 100;
      int rmin = (decVer - 10000 * ver - 100 * rmaj);
      version = (ver << 16) + (rmaj << 8) + rmin;
    }
    SetHost(productStr, version);
    host = IPlugBase::GetHost();
  }
  return host;
}

void IPlugVST::SetEditRectFromGUI()
{
  IGraphics* pGraphics = GetGUI();
  mEditRect.top = mEditRect.left = 0;
  mEditRect.bottom = (VstInt16)pGraphics->Height();
  mEditRect.right = (VstInt16)pGraphics->Width();
}

void IPlugVST::ResizeGraphics(int /*w*/, int /*h*/)
{
  if (!GetGUI()) return;
  SetEditRectFromGUI();
  OnWindowResize();
}

void IPlugVST::HostSpecificInit()
{
  if (mHostSpecificInitDone) return;
  mHostSpecificInitDone = true;
  EHost host = GetHost();
  switch (host)
  {
    case kHostForte:
    case kHostAudition:
    case kHostOrion:
    case kHostSAWStudio: LimitToStereoIO(); break;
    default: break;
  }
  mAEffect.numInputs = mInputSpkrArr.numChannels = NInChannels();
  mAEffect.numOutputs = mOutputSpkrArr.numChannels = NOutChannels();
  OnHostIdentified();
}

void IPlugVST::AttachGraphics(IGraphics* pGraphics)
{
  if (!pGraphics) return;
  IPlugBase::AttachGraphics(pGraphics);
  mAEffect.flags |= effFlagsHasEditor;
  SetEditRectFromGUI();
}

void IPlugVST::SetLatency(int samples)
{
  mAEffect.initialDelay = samples;
  IPlugBase::SetLatency(samples);
}

bool IPlugVST::SendVSTEvent(VstEvent* pEvent)
{
  VstEvents events;
  memset(&events, 0, sizeof(VstEvents));
  events.numEvents = 1;
  events.events[0] = pEvent;
  return HostCall(audioMasterProcessEvents, 0, 0, &events) == 1;
}

bool IPlugVST::SendMidiMsg(IMidiMsg* pMsg)
{
  VstMidiEvent midiEvent;
  memset(&midiEvent, 0, sizeof(VstMidiEvent));
  midiEvent.type = kVstMidiType;
  midiEvent.byteSize = (VstInt32)sizeof(VstMidiEvent);
  midiEvent.deltaFrames = pMsg->mOffset;
  midiEvent.midiData[0] = (char)pMsg->mStatus;
  midiEvent.midiData[1] = (char)pMsg->mData1;
  midiEvent.midiData[2] = (char)pMsg->mData2;
  return SendVSTEvent(reinterpret_cast<VstEvent*>(&midiEvent));
}

bool IPlugVST::SendSysEx(ISysEx* pSysEx)
{
  VstMidiSysexEvent sysexEvent;
  memset(&sysexEvent, 0, sizeof(VstMidiSysexEvent));
  sysexEvent.type = kVstSysExType;
  sysexEvent.byteSize = (VstInt32)sizeof(VstMidiSysexEvent);
  sysexEvent.deltaFrames = pSysEx->mOffset;
  sysexEvent.dumpBytes = pSysEx->mSize;
  sysexEvent.sysexDump = (char*)pSysEx->mData;
  return SendVSTEvent(reinterpret_cast<VstEvent*>(&sysexEvent));
}

namespace {

// Every copy into a host buffer is bounded by the size the opcode promises.
// Parameter texts: the interface promises 8 bytes but every host passes at
// least 64; we never write more than our own 32-byte fields.
constexpr int kHostParamStrLen = kMaxParamNameLen;
constexpr int kHostProgNameLen = kVstMaxProgNameLen;
constexpr int kHostEffectNameLen = kVstMaxEffectNameLen;
constexpr int kHostVendorStrLen = kVstMaxVendorStrLen;
constexpr int kHostProductStrLen = kVstMaxProductStrLen;

constexpr VstIntPtr kCockosAnswer = 0xBEEF0000;
constexpr VstIntPtr kVendorSpecificAnswer = 0xBEEF;

// A preset index from the host's pointer-sized value; -1 when it is no int.
int ToIndex(VstIntPtr value)
{
  return (value >= 0 && value <= INT32_MAX) ? (int)value : -1;
}

}  // namespace

bool IPlugVST::GetPinProperties(int index, bool input, VstPinProperties* pProps)
{
  const int n = input ? NInChannels() : NOutChannels();
  if (!pProps || index < 0 || index >= n) return false;
  pProps->flags = kVstPinIsActive;
  if (!(index % 2) && index < n - 1) pProps->flags |= kVstPinIsStereo;
  const char* label = input ? GetInputLabel(index) : GetOutputLabel(index);
  if (label && label[0]) StrCopyBounded(pProps->label, label, kVstMaxLabelLen);
  else snprintf(pProps->label, kVstMaxLabelLen, "%s %d", input ? "Input" : "Output", index + 1);
  return true;
}

VstIntPtr IPlugVST::DoCanDo(const char* capability)
{
  Trace(TRACELOC, "VSTCanDo(%s)", capability);
  if (!strcmp(capability, "receiveVstTimeInfo")) return 1;
  if (DoesMIDI() && (!strcmp(capability, "sendVstEvents") || !strcmp(capability, "sendVstMidiEvent") ||
                     !strcmp(capability, "receiveVstEvents") || !strcmp(capability, "receiveVstMidiEvent")))
    return 1;
  if (!strcmp(capability, "hasCockosExtensions"))
  {
    mHasVSTExtensions |= 1;
    return kCockosAnswer;
  }
  if (!strcmp(capability, "hasCockosViewAsConfig"))
  {
    mHasVSTExtensions |= 2;
    return kCockosAnswer;
  }
  return 0;
}

VstIntPtr IPlugVST::DoGetChunk(int index, void* ptr)
{
  if (!ptr) return 0;
  const bool isBank = index == 0;
  ByteChunk* pChunk = isBank ? &mBankState : &mState;
  InitChunkWithIPlugVer(pChunk);
  bool ok;
  if (isBank)
  {
    ModifyCurrentPreset();
    ok = SerializePresets(pChunk);
  }
  else
  {
    ok = SerializeState(pChunk);
  }
  if (!ok || pChunk->Size() == 0) return 0;
  *static_cast<void**>(ptr) = pChunk->GetData();
  return pChunk->Size();
}

VstIntPtr IPlugVST::DoSetChunk(int index, VstIntPtr size, void* ptr)
{
  if (!ptr || size < 0 || size > INT32_MAX) return 0;
  const bool isBank = index == 0;
  ByteChunk* pChunk = isBank ? &mBankState : &mState;
  pChunk->Clear();
  if (size > 0 && pChunk->PutBytes(ptr, (int)size) != (int)size) return 0;

  int pos = 0;
  const int iplugVer = GetIPlugVerFromChunk(pChunk, &pos);
  if (isBank && iplugVer >= 0x10000)
  {
    pos = UnserializePresets(pChunk, pos);
  }
  else
  {
    pos = UnserializeState(pChunk, pos);
    ModifyCurrentPreset();
  }
  if (pos < 0) return 0;
  RedrawParamControls();
  return 1;
}

VstIntPtr IPlugVST::DoProcessEvents(VstEvents* pEvents)
{
  if (!pEvents) return 0;
  for (int i = 0; i < pEvents->numEvents; ++i)
  {
    VstEvent* pEvent = pEvents->events[i];
    if (!pEvent) continue;
    if (pEvent->type == kVstMidiType)
    {
      const VstMidiEvent* pME = reinterpret_cast<const VstMidiEvent*>(pEvent);
      IMidiMsg msg(pME->deltaFrames, (unsigned char)pME->midiData[0], (unsigned char)pME->midiData[1],
                   (unsigned char)pME->midiData[2]);
      ProcessMidiMsg(&msg);
    }
    else if (pEvent->type == kVstSysExType)
    {
      const VstMidiSysexEvent* pSE = reinterpret_cast<const VstMidiSysexEvent*>(pEvent);
      ISysEx sysex(pSE->deltaFrames, reinterpret_cast<const unsigned char*>(pSE->sysexDump), pSE->dumpBytes);
      ProcessSysEx(&sysex);
    }
  }
  return 1;
}

VstIntPtr IPlugVST::DoString2Parameter(int index, const char* text)
{
  IParam* pParam = (index >= 0 && index < NParams()) ? GetParam(index) : nullptr;
  if (!pParam) return 0;
  if (!text) return 1;

  double v;
  if (pParam->GetNDisplayTexts())
  {
    int vi = 0;
    if (!pParam->MapDisplayText(text, &vi)) return 0;
    v = (double)vi;
  }
  else
  {
    IScopedCLocale cLocale;  // "0.5" means one half whatever the host's locale
    v = atof(text);
    if (pParam->GetNegateDisplay()) v = -v;
  }
  // A text that parses to no number ("nan") is refused rather than stored.
  if (v != v) return 0;

  if (IGraphics* pGraphics = GetGUI()) pGraphics->SetParameterFromPlug(index, v, false);
  pParam->Set(v);
  OnParamChange(index);
  return 1;
}

VstIntPtr IPlugVST::VSTDispatcher(AEffect* pEffect, VstInt32 opCode, VstInt32 idx, VstIntPtr value, void* ptr,
                                  float opt)
{
  IPlugVST* pPlug = GetPlug(pEffect);
  if (!pPlug) return 0;

  // The editor's idle and key calls come in without the instance mutex: the
  // editor host takes it itself around its editor work and copies to the
  // screen after releasing it, so the audio thread never waits on a put.
  if (opCode == effEditIdle)
  {
    if (IGraphics* pGraphics = pPlug->GetGUI()) pGraphics->OnHostIdle();
    return 0;
  }
  if (opCode == effEditKeyDown || opCode == effEditKeyUp)
  {
    IGraphics* pGraphics = pPlug->GetGUI();
    if (!pGraphics) return 0;
    return pGraphics->OnHostKey(VSTKeyToHostKey(idx, value, opt), opCode == effEditKeyDown) ? 1 : 0;
  }

  IMutexLock lock(pPlug);
  if (opCode == effIdle) return 0;
  Trace(TRACELOC, "%d(%s):%d:%d", opCode, VSTOpcodeStr(opCode), idx, (int)value);
  if (opCode > effGetSpeakerArrangement) return 0;

  IParam* pParam = (idx >= 0 && idx < pPlug->NParams()) ? pPlug->GetParam(idx) : nullptr;
  switch (opCode)
  {
    case effOpen:
      pPlug->HostSpecificInit();
      pPlug->OnParamReset();
      return 0;

    case effClose:
      lock.Destroy();
      delete pPlug;
      return 0;

    case effSetProgram:
      if (!pPlug->DoesStateChunks()) pPlug->ModifyCurrentPreset();
      pPlug->RestorePreset(ToIndex(value));
      return 0;

    case effGetProgram: return pPlug->GetCurrentPresetIdx();

    case effSetProgramName:
      if (ptr)
      {
        // A host name is read no further than a preset name can hold.
        char name[kMaxPresetNameLen];
        StrCopyBounded(name, static_cast<const char*>(ptr), kMaxPresetNameLen);
        pPlug->ModifyCurrentPreset(name);
        pPlug->PresetsChangedByHost();
      }
      return 0;

    case effGetProgramName:
      if (ptr) StrCopyBounded(static_cast<char*>(ptr), pPlug->GetPresetName(pPlug->GetCurrentPresetIdx()), kHostProgNameLen);
      return 0;

    case effGetParamLabel:
      if (pParam && ptr) StrCopyBounded(static_cast<char*>(ptr), pParam->GetLabelForHost(), kHostParamStrLen);
      return 0;

    case effGetParamDisplay:
      if (pParam && ptr) pParam->GetDisplayForHost(pParam->Value(), false, static_cast<char*>(ptr), kHostParamStrLen, true);
      return 0;

    case effGetParamName:
      if (pParam && ptr) StrCopyBounded(static_cast<char*>(ptr), pParam->GetNameForHost(), kHostParamStrLen);
      return 0;

    case effSetSampleRate:
      pPlug->SetSampleRate((double)opt);
      pPlug->Reset();
      return 0;

    case effSetBlockSize:
      pPlug->SetBlockSize(value > INT32_MAX ? -1 : (int)value);
      pPlug->Reset();
      return 0;

    case effMainsChanged:
      if (value)
      {
        pPlug->OnActivate(true);
      }
      else
      {
        pPlug->OnActivate(false);
        pPlug->Reset();
      }
      return 0;

    case effEditGetRect:
      if (ptr && pPlug->GetGUI())
      {
        *static_cast<ERect**>(ptr) = &pPlug->mEditRect;
        return 1;
      }
      return 0;

    case effEditOpen:
      if (IGraphics* pGraphics = pPlug->GetGUI())
      {
        if (pGraphics->OpenWindow(ptr))
        {
          pPlug->OnGUIOpen();
          return 1;
        }
      }
      return 0;

    case effEditClose:
      if (IGraphics* pGraphics = pPlug->GetGUI())
      {
        pPlug->OnGUIClose();
        pGraphics->CloseWindow();
        return 1;
      }
      return 0;

    case effIdentify: return VstFourCC('N', 'v', 'E', 'f');

    case effGetChunk: return pPlug->DoGetChunk(idx, ptr);

    case effSetChunk: return pPlug->DoSetChunk(idx, value, ptr);

    case effProcessEvents: return pPlug->DoProcessEvents(static_cast<VstEvents*>(ptr));

    case effCanBeAutomated: return 1;

    case effString2Parameter: return pPlug->DoString2Parameter(idx, static_cast<const char*>(ptr));

    case effGetProgramNameIndexed:
      if (!ptr) return 0;
      StrCopyBounded(static_cast<char*>(ptr), pPlug->GetPresetName(idx), kHostProgNameLen);
      return static_cast<char*>(ptr)[0] ? 1 : 0;

    case effGetInputProperties:
      return pPlug->GetPinProperties(idx, true, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;

    case effGetOutputProperties:
      return pPlug->GetPinProperties(idx, false, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;

    case effGetPlugCategory: return pPlug->IsInst() ? kPlugCategSynth : kPlugCategEffect;

    case effProcessVarIo: return 0;

    case effSetSpeakerArrangement:
    {
      if (const VstSpeakerArrangement* pIn = reinterpret_cast<const VstSpeakerArrangement*>(value))
      {
        const int n = pIn->numChannels > 0 ? pIn->numChannels : 0;
        pPlug->SetInputChannelConnections(0, n, true);
        pPlug->SetInputChannelConnections(n, pPlug->NInChannels() - n, false);
      }
      if (const VstSpeakerArrangement* pOut = static_cast<const VstSpeakerArrangement*>(ptr))
      {
        const int n = pOut->numChannels > 0 ? pOut->numChannels : 0;
        pPlug->SetOutputChannelConnections(0, n, true);
        pPlug->SetOutputChannelConnections(n, pPlug->NOutChannels() - n, false);
      }
      return 1;
    }

    case effGetEffectName:
      if (!ptr) return 0;
      StrCopyBounded(static_cast<char*>(ptr), pPlug->GetEffectName(), kHostEffectNameLen);
      return 1;

    case effGetVendorString:
      if (!ptr) return 0;
      StrCopyBounded(static_cast<char*>(ptr), pPlug->GetMfrName(), kHostVendorStrLen);
      return 1;

    case effGetProductString:
      if (!ptr) return 0;
      StrCopyBounded(static_cast<char*>(ptr), pPlug->GetProductName(), kHostProductStrLen);
      return 1;

    case effGetVendorVersion: return pPlug->GetEffectVersion(true);

    case effVendorSpecific:
      if (idx == effGetParamDisplay && ptr)
      {
        const int paramIdx = ToIndex(value);
        if (IParam* pP = (paramIdx >= 0 && paramIdx < pPlug->NParams()) ? pPlug->GetParam(paramIdx) : nullptr)
          pP->GetDisplayForHost((double)opt, true, static_cast<char*>(ptr), kHostParamStrLen, true);
        return kVendorSpecificAnswer;
      }
      if (idx == effGetParamName)
      {
        const int paramIdx = ToIndex(value);
        if (IParam* pP = (paramIdx >= 0 && paramIdx < pPlug->NParams()) ? pPlug->GetParam(paramIdx) : nullptr)
          return pP->Type() != IParam::kTypeDouble ? kVendorSpecificAnswer : 0;
      }
      return 0;

    case effCanDo: return ptr ? pPlug->DoCanDo(static_cast<const char*>(ptr)) : 0;

    case effGetTailSize: return pPlug->GetTailSize();

    case effGetVstVersion: return kVstVersion;

    case effGetMidiKeyName:
      if (VstMidiKeyName* pKey = static_cast<VstMidiKeyName*>(ptr))
      {
        pKey->keyName[0] = 0;
        const bool named = pPlug->MidiNoteName(pKey->thisKeyNumber, pKey->keyName);
        pKey->keyName[sizeof(pKey->keyName) - 1] = 0;
        return named ? 1 : 0;
      }
      return 0;

    case effGetSpeakerArrangement:
      if (value) *reinterpret_cast<VstSpeakerArrangement**>(value) = &pPlug->mInputSpkrArr;
      if (ptr) *static_cast<VstSpeakerArrangement**>(ptr) = &pPlug->mOutputSpkrArr;
      return 1;

    default: return 0;
  }
}

// The three process callbacks: under the instance mutex, ask for MIDI the VST 1
// way when the plug-in wants it, then route the host's block through the
// framework (attach inputs, attach outputs, process; oversized blocks in
// slices). Processing runs with flush-to-zero and denormals-are-zero on; the
// host's own floating-point mode is back in place when the callback returns.
void IPlugVST::WantMidi()
{
  if (DoesMIDI()) HostCall(audioMasterWantMidi);
}

template <class T>
void IPlugVST::ProcessFromHost(AEffect* pEffect, T** inputs, T** outputs, VstInt32 nFrames, bool accumulate)
{
  IPlugVST* pPlug = GetPlug(pEffect);
  if (!pPlug) return;
  IMutexLock lock(pPlug);
  pPlug->WantMidi();
  IScopedDenormalGuard denormals;
  if constexpr (std::is_same<T, float>::value) pPlug->ProcessHostBlock(inputs, outputs, nFrames, accumulate);
  else pPlug->ProcessHostBlock(inputs, outputs, nFrames);
}

void IPlugVST::VSTProcess(AEffect* pEffect, float** inputs, float** outputs, VstInt32 nFrames)
{
  ProcessFromHost(pEffect, inputs, outputs, nFrames, true);
}

void IPlugVST::VSTProcessReplacing(AEffect* pEffect, float** inputs, float** outputs, VstInt32 nFrames)
{
  ProcessFromHost(pEffect, inputs, outputs, nFrames, false);
}

void IPlugVST::VSTProcessDoubleReplacing(AEffect* pEffect, double** inputs, double** outputs, VstInt32 nFrames)
{
  ProcessFromHost(pEffect, inputs, outputs, nFrames, false);
}

float IPlugVST::VSTGetParameter(AEffect* pEffect, VstInt32 idx)
{
  Trace(TRACELOC, "%d", idx);
  IPlugVST* pPlug = GetPlug(pEffect);
  if (!pPlug) return 0.f;
  IMutexLock lock(pPlug);
  IParam* pParam = (idx >= 0 && idx < pPlug->NParams()) ? pPlug->GetParam(idx) : nullptr;
  return pParam ? (float)pParam->GetNormalized() : 0.f;
}

void IPlugVST::VSTSetParameter(AEffect* pEffect, VstInt32 idx, float value)
{
  Trace(TRACELOC, "%d:%f", idx, value);
  IPlugVST* pPlug = GetPlug(pEffect);
  if (!pPlug) return;
  IMutexLock lock(pPlug);
  IParam* pParam = (idx >= 0 && idx < pPlug->NParams()) ? pPlug->GetParam(idx) : nullptr;
  if (!pParam) return;
  if (IGraphics* pGraphics = pPlug->GetGUI()) pGraphics->SetParameterFromPlug(idx, value, true);
  pParam->SetNormalized(value);
  pPlug->OnParamChange(idx);
}
