#include "WDL/IPlug/IPlugVST.h"

#include "WDL/IPlug/IGraphics.h"
#include "WDL/IPlug/Log.h"

#include <cstring>

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

// The dispatcher: the whole opcode table comes with the host-conversation work;
// for now an instance can be created, queried through the record and closed.
VstIntPtr IPlugVST::VSTDispatcher(AEffect* pEffect, VstInt32 opCode, VstInt32 /*idx*/, VstIntPtr /*value*/,
                                  void* /*ptr*/, float /*opt*/)
{
  IPlugVST* pPlug = GetPlug(pEffect);
  if (!pPlug) return 0;
  if (opCode == effClose)
  {
    delete pPlug;
    return 0;
  }
  return 0;
}

void IPlugVST::VSTProcess(AEffect* /*pEffect*/, float** /*inputs*/, float** /*outputs*/, VstInt32 /*nFrames*/)
{
}

void IPlugVST::VSTProcessReplacing(AEffect* /*pEffect*/, float** /*inputs*/, float** /*outputs*/,
                                   VstInt32 /*nFrames*/)
{
}

void IPlugVST::VSTProcessDoubleReplacing(AEffect* /*pEffect*/, double** /*inputs*/, double** /*outputs*/,
                                         VstInt32 /*nFrames*/)
{
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
