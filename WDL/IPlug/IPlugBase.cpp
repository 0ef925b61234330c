#include "WDL/IPlug/IPlugBase.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "WDL/IPlug/IGraphics.h"
#include "WDL/IPlug/Log.h"

namespace {

// A count as the channel I/O string gives it: unreadable is 0, negative is 0,
// huge is cut to kMaxChannelCount. Returns the position after the digits.
const char* ReadCount(const char* p, int* pCount)
{
  char* end = nullptr;
  const long v = std::strtol(p, &end, 10);
  if (end == p)
  {
    *pCount = 0;
    return p;
  }
  *pCount = v < 0 ? 0 : (v > kMaxChannelCount ? kMaxChannelCount : static_cast<int>(v));
  return end;
}

// Range start..end of channels [idx, idx + n) that exist among count channels.
void ChannelRange(int idx, int n, int count, int* pStart, int* pEnd)
{
  const long long end = static_cast<long long>(idx) + n;
  *pStart = idx < 0 ? 0 : idx;
  *pEnd = static_cast<int>(end < count ? end : count);
}

void ZeroDoubles(double* p, int n)
{
  if (p && n > 0) std::memset(p, 0, sizeof(double) * static_cast<size_t>(n));
}

// Plain per-sample loops over contiguous arrays, which the compiler turns into
// vector code. The conversions are exact (float to double) or round to nearest
// (double to float); nothing is dithered or clipped.
void FloatsToDoubles(const float* src, double* dst, int n)
{
  for (int i = 0; i < n; ++i) dst[i] = static_cast<double>(src[i]);
}

void DoublesToFloats(const double* src, float* dst, int n)
{
  for (int i = 0; i < n; ++i) dst[i] = static_cast<float>(src[i]);
}

void AddDoublesToFloats(const double* src, float* dst, int n)
{
  for (int i = 0; i < n; ++i) dst[i] = dst[i] + static_cast<float>(src[i]);
}

float ToFloatSaturated(double v)
{
  if (v > FLT_MAX) return FLT_MAX;
  if (v < -FLT_MAX) return -FLT_MAX;
  return static_cast<float>(v);  // NaN stays NaN
}

}  // namespace

IPlugBase::IPlugBase(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
                     const char* productName, const char* mfrName, int vendorVersion, int uniqueID, int mfrID,
                     int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst, EAPI plugAPI)
  : mUniqueID(uniqueID),
    mMfrID(mfrID),
    mVersion(vendorVersion),
    mAPI(plugAPI),
    mStateChunks(plugDoesChunks),
    mIsInst(plugIsInst),
    mDoesMIDI(plugDoesMidi),
    mLatency(latency)
{
  Trace(TRACELOC, "%s", effectName ? effectName : "");

  for (int i = 0; i < nParams; ++i)
  {
    IParam* pParam = new IParam;
    if (!mParams.Add(pParam)) delete pParam;
  }
  for (int i = 0; i < nPresets; ++i)
  {
    IPreset* pPreset = new IPreset;
    if (!mPresets.Add(pPreset)) delete pPreset;
  }

  StrCopyBounded(mEffectName, effectName, kMaxEffectNameLen);
  StrCopyBounded(mProductName, productName, kMaxEffectNameLen);
  StrCopyBounded(mMfrName, mfrName, kMaxEffectNameLen);

  int nIn = 0, nOut = 0;
  if (channelIOStr) ParseChannelIO(channelIOStr, &nIn, &nOut);
  CreateChannels(nIn, nOut);
}

// "in-out" pairs separated by spaces. Each pair is read like "%d-%d" (a count
// that cannot be read is 0). Runs of spaces separate like one and trailing
// spaces end the list, so "1-1  " is one pair; an empty string is the pair 0-0.
void IPlugBase::ParseChannelIO(const char* channelIOStr, int* pMaxIn, int* pMaxOut)
{
  const char* p = channelIOStr;
  for (;;)
  {
    int nIn = 0, nOut = 0;
    const char* end = ReadCount(p, &nIn);
    if (end != p && *end == '-') end = ReadCount(end + 1, &nOut);

    if (nIn > *pMaxIn) *pMaxIn = nIn;
    if (nOut > *pMaxOut) *pMaxOut = nOut;
    ChannelIO* pIO = new ChannelIO{nIn, nOut};
    if (!mChannelIO.Add(pIO)) delete pIO;

    p = std::strchr(end, ' ');
    if (!p) break;
    while (*p == ' ') ++p;
    if (!*p) break;
  }
}

void IPlugBase::CreateChannels(int nIn, int nOut)
{
  if ((nIn > 0 && (!mInData.ResizeOK(nIn) || !mSliceInD.ResizeOK(nIn) || !mSliceInF.ResizeOK(nIn))) ||
      (nOut > 0 && (!mOutData.ResizeOK(nOut) || !mSliceOutD.ResizeOK(nOut) || !mSliceOutF.ResizeOK(nOut))))
  {
    // Without slots there can be no channels: keep the instance consistent.
    mInData.Resize(0);
    mOutData.Resize(0);
    mSliceInD.Resize(0);
    mSliceOutD.Resize(0);
    mSliceInF.Resize(0);
    mSliceOutF.Resize(0);
    return;
  }
  if (nIn > 0) std::memset(mInData.Get(), 0, sizeof(double*) * static_cast<size_t>(nIn));
  if (nOut > 0) std::memset(mOutData.Get(), 0, sizeof(double*) * static_cast<size_t>(nOut));
  for (int i = 0; i < nIn; ++i)
  {
    InChannel* pIn = new InChannel;
    pIn->mSrc = mInData.Get() + i;
    if (!mInChannels.Add(pIn)) delete pIn;
  }
  for (int i = 0; i < nOut; ++i)
  {
    OutChannel* pOut = new OutChannel;
    pOut->mDest = mOutData.Get() + i;
    if (!mOutChannels.Add(pOut)) delete pOut;
  }
}

IPlugBase::~IPlugBase()
{
  Trace(TRACELOC, "%s", mEffectName);
  delete mGraphics;
  mGraphics = nullptr;
  mParams.Empty(true);
  mPresets.Empty(true);
  mInChannels.Empty(true);
  mOutChannels.Empty(true);
  mChannelIO.Empty(true);
  mInputBusLabels.Empty(true);
  mOutputBusLabels.Empty(true);
}

void IPlugBase::Reset()
{
  Trace(TRACELOC, "%s", "");
  IMutexLock lock(this);
}

void IPlugBase::OnParamChange(int paramIdx)
{
  Trace(TRACELOC, "%d", paramIdx);
  IMutexLock lock(this);
}

void IPlugBase::ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames)
{
  if (!outputs || nFrames <= 0) return;
  const int nIn = NInChannels();
  const int nOut = NOutChannels();
  const size_t bytes = sizeof(double) * static_cast<size_t>(nFrames);
  for (int i = 0; i < nOut; ++i)
  {
    if (!outputs[i]) continue;
    if (i < nIn && inputs && inputs[i])
    {
      if (inputs[i] != outputs[i]) std::memmove(outputs[i], inputs[i], bytes);
    }
    else
    {
      std::memset(outputs[i], 0, bytes);
    }
  }
}

void IPlugBase::OnActivate(bool active)
{
  Trace(TRACELOC, "%d", active ? 1 : 0);
  IMutexLock lock(this);
}

void IPlugBase::ProcessMidiMsg(IMidiMsg* pMsg)
{
  if (pMsg) SendMidiMsg(pMsg);
}

bool IPlugBase::MidiNoteName(int /*noteNumber*/, char* name)
{
  if (name) name[0] = 0;
  return false;
}

bool IPlugBase::SerializeState(ByteChunk* pChunk)
{
  return SerializeParams(pChunk);
}

int IPlugBase::UnserializeState(ByteChunk* pChunk, int startPos)
{
  return UnserializeParams(pChunk, startPos);
}

bool IPlugBase::CompareState(const unsigned char* incomingState, int startPos)
{
  const int n = NParams();
  if (n == 0) return true;
  if (!incomingState || startPos < 0) return false;
  for (int i = 0; i < n; ++i)
  {
    double d;
    std::memcpy(&d, incomingState + (static_cast<size_t>(startPos) + static_cast<size_t>(i)) * sizeof(double),
                sizeof(double));
    const float a = ToFloatSaturated(GetParam(i)->Value());
    const float b = ToFloatSaturated(d);
    if (!(std::fabs(a - b) < 0.00001f)) return false;
  }
  return true;
}

void IPlugBase::SetParameterFromGUI(int paramIdx, double normalizedValue)
{
  Trace(TRACELOC, "%d:%f", paramIdx, normalizedValue);
  IParam* pParam = GetParam(paramIdx);
  if (!pParam) return;
  IMutexLock lock(this);
  pParam->SetNormalized(normalizedValue);
  InformHostOfParamChange(paramIdx, normalizedValue);
  OnParamChange(paramIdx);
}

void IPlugBase::AttachGraphics(IGraphics* pGraphics)
{
  if (!pGraphics) return;
  IMutexLock lock(this);
  const int n = NParams();
  for (int i = 0; i < n; ++i) pGraphics->SetParameterFromPlug(i, GetParam(i)->GetNormalized(), true);
  pGraphics->PrepDraw();
  if (mGraphics != pGraphics) delete mGraphics;
  mGraphics = pGraphics;
}

void IPlugBase::SetLatency(int samples)
{
  mLatency = samples;
}

void IPlugBase::RedrawParamControls()
{
  if (!mGraphics) return;
  const int n = NParams();
  for (int i = 0; i < n; ++i) mGraphics->SetParameterFromPlug(i, GetParam(i)->Value(), false);
}

bool IPlugBase::ResizeScratchBuffers(int blockSize)
{
  for (int i = 0; i < NInChannels(); ++i)
    if (!GetInChannel(i)->mScratchBuf.ResizeOK(blockSize) && blockSize > 0) return false;
  for (int i = 0; i < NOutChannels(); ++i)
    if (!GetOutChannel(i)->mScratchBuf.ResizeOK(blockSize) && blockSize > 0) return false;
  return true;
}

void IPlugBase::SetBlockSize(int blockSize)
{
  if (blockSize == mBlockSize || blockSize < 0) return;
  const bool ok = ResizeScratchBuffers(blockSize);
  if (!ok) ResizeScratchBuffers(mBlockSize);  // back to the old size, which always fits
  for (int i = 0; i < NInChannels(); ++i)
  {
    InChannel* pIn = GetInChannel(i);
    if (ok && blockSize > 0) std::memset(pIn->mScratchBuf.Get(), 0, sizeof(double) * static_cast<size_t>(blockSize));
    // The scratch buffer may have moved: a disconnected channel must not keep
    // pointing at the old one.
    if (!pIn->mConnected) *pIn->mSrc = pIn->mScratchBuf.Get();
  }
  for (int i = 0; i < NOutChannels(); ++i)
  {
    OutChannel* pOut = GetOutChannel(i);
    if (ok && blockSize > 0) std::memset(pOut->mScratchBuf.Get(), 0, sizeof(double) * static_cast<size_t>(blockSize));
    if (!pOut->mConnected) *pOut->mDest = pOut->mScratchBuf.Get();
  }
  if (ok) mBlockSize = blockSize;
}

int IPlugBase::RoutedFrames(int nFrames) const
{
  if (nFrames < 0) return 0;
  return nFrames < mBlockSize ? nFrames : mBlockSize;
}

int IPlugBase::NConnectedInputs() const
{
  int n = 0;
  for (int i = 0; i < NInChannels(); ++i) n += GetInChannel(i)->mConnected ? 1 : 0;
  return n;
}

int IPlugBase::NConnectedOutputs() const
{
  int n = 0;
  for (int i = 0; i < NOutChannels(); ++i) n += GetOutChannel(i)->mConnected ? 1 : 0;
  return n;
}

void IPlugBase::AttachInputBuffers(int idx, int n, double** ppData, int /*nFrames*/)
{
  int start, end;
  ChannelRange(idx, n, NInChannels(), &start, &end);
  for (int i = start; i < end; ++i)
  {
    InChannel* pIn = GetInChannel(i);
    if (pIn->mConnected) *pIn->mSrc = *ppData++;
  }
}

void IPlugBase::AttachInputBuffers(int idx, int n, float** ppData, int nFrames)
{
  const int frames = RoutedFrames(nFrames);
  int start, end;
  ChannelRange(idx, n, NInChannels(), &start, &end);
  for (int i = start; i < end; ++i)
  {
    InChannel* pIn = GetInChannel(i);
    if (!pIn->mConnected) continue;
    double* pScratch = pIn->mScratchBuf.Get();
    if (frames > 0) FloatsToDoubles(*ppData, pScratch, frames);
    ++ppData;
    *pIn->mSrc = pScratch;
  }
}

void IPlugBase::AttachOutputBuffers(int idx, int n, double** ppData)
{
  int start, end;
  ChannelRange(idx, n, NOutChannels(), &start, &end);
  for (int i = start; i < end; ++i)
  {
    OutChannel* pOut = GetOutChannel(i);
    if (pOut->mConnected) *pOut->mDest = *ppData++;
  }
}

void IPlugBase::AttachOutputBuffers(int idx, int n, float** ppData)
{
  int start, end;
  ChannelRange(idx, n, NOutChannels(), &start, &end);
  for (int i = start; i < end; ++i)
  {
    OutChannel* pOut = GetOutChannel(i);
    if (!pOut->mConnected) continue;
    *pOut->mDest = pOut->mScratchBuf.Get();
    pOut->mFDest = *ppData++;
  }
}

void IPlugBase::ProcessBuffers(double, int nFrames)
{
  ProcessDoubleReplacing(mInData.Get(), mOutData.Get(), RoutedFrames(nFrames));
}

void IPlugBase::ProcessBuffers(float, int nFrames)
{
  const int frames = RoutedFrames(nFrames);
  ProcessDoubleReplacing(mInData.Get(), mOutData.Get(), frames);
  if (frames < 1) return;
  for (int i = 0; i < NOutChannels(); ++i)
  {
    OutChannel* pOut = GetOutChannel(i);
    if (pOut->mConnected && pOut->mFDest) DoublesToFloats(*pOut->mDest, pOut->mFDest, frames);
  }
}

void IPlugBase::ProcessBuffersAccumulating(float, int nFrames)
{
  const int frames = RoutedFrames(nFrames);
  ProcessDoubleReplacing(mInData.Get(), mOutData.Get(), frames);
  if (frames < 1) return;
  for (int i = 0; i < NOutChannels(); ++i)
  {
    OutChannel* pOut = GetOutChannel(i);
    if (pOut->mConnected && pOut->mFDest) AddDoublesToFloats(*pOut->mDest, pOut->mFDest, frames);
  }
}

void IPlugBase::PassThroughBuffers(double, int nFrames)
{
  const int frames = RoutedFrames(nFrames);
  if (frames < 1) return;
  const size_t bytes = sizeof(double) * static_cast<size_t>(frames);
  const int nIn = NInChannels();
  for (int i = 0; i < NOutChannels(); ++i)
  {
    double* pDest = mOutData.Get()[i];
    if (!pDest) continue;
    const double* pSrc = i < nIn ? mInData.Get()[i] : nullptr;
    if (pSrc)
    {
      if (pSrc != pDest) std::memmove(pDest, pSrc, bytes);
    }
    else
    {
      std::memset(pDest, 0, bytes);
    }
  }
}

void IPlugBase::PassThroughBuffers(float, int nFrames)
{
  PassThroughBuffers(0.0, nFrames);
  const int frames = RoutedFrames(nFrames);
  if (frames < 1) return;
  for (int i = 0; i < NOutChannels(); ++i)
  {
    OutChannel* pOut = GetOutChannel(i);
    if (pOut->mConnected && pOut->mFDest && *pOut->mDest) DoublesToFloats(*pOut->mDest, pOut->mFDest, frames);
  }
}

void IPlugBase::ZeroScratchBuffers()
{
  for (int i = 0; i < NInChannels(); ++i)
  {
    InChannel* pIn = GetInChannel(i);
    ZeroDoubles(pIn->mScratchBuf.Get(), pIn->mScratchBuf.GetSize());
  }
  for (int i = 0; i < NOutChannels(); ++i)
  {
    OutChannel* pOut = GetOutChannel(i);
    ZeroDoubles(pOut->mScratchBuf.Get(), pOut->mScratchBuf.GetSize());
  }
}

// process(frames) attaches the given pointer arrays and runs the plug-in.
template <typename T, typename Process>
void IPlugBase::ProcessSliced(T** inputs, T** outputs, int nFrames, T** sliceIn, T** sliceOut, bool silenceOutputs,
                              Process process)
{
  if (nFrames < 0) nFrames = 0;
  const int nIn = NConnectedInputs();
  const int nOut = NConnectedOutputs();
  if ((nIn > 0 && !inputs) || (nOut > 0 && !outputs)) return;

  if (nFrames <= mBlockSize)
  {
    process(inputs, outputs, nFrames);
    return;
  }
  if (mBlockSize < 1)
  {
    // Nothing to route through: the plug-in keeps its per-block work, the host
    // hears silence rather than whatever its buffers held.
    process(inputs, outputs, 0);
    if (silenceOutputs)
      for (int k = 0; k < nOut; ++k) std::memset(outputs[k], 0, sizeof(T) * static_cast<size_t>(nFrames));
    return;
  }
  for (int offset = 0; offset < nFrames;)
  {
    const int frames = nFrames - offset < mBlockSize ? nFrames - offset : mBlockSize;
    for (int k = 0; k < nIn; ++k) sliceIn[k] = inputs[k] + offset;
    for (int k = 0; k < nOut; ++k) sliceOut[k] = outputs[k] + offset;
    process(sliceIn, sliceOut, frames);
    offset += frames;  // never past nFrames, so never overflows
  }
}

void IPlugBase::ProcessHostBlock(double** inputs, double** outputs, int nFrames)
{
  ProcessSliced(inputs, outputs, nFrames, mSliceInD.Get(), mSliceOutD.Get(), true,
                [this](double** in, double** out, int frames) {
                  AttachInputBuffers(0, NInChannels(), in, frames);
                  AttachOutputBuffers(0, NOutChannels(), out);
                  ProcessBuffers(0.0, frames);
                });
}

void IPlugBase::ProcessHostBlock(float** inputs, float** outputs, int nFrames, bool accumulate)
{
  ProcessSliced(inputs, outputs, nFrames, mSliceInF.Get(), mSliceOutF.Get(), !accumulate,
                [this, accumulate](float** in, float** out, int frames) {
                  AttachInputBuffers(0, NInChannels(), in, frames);
                  AttachOutputBuffers(0, NOutChannels(), out);
                  if (accumulate) ProcessBuffersAccumulating(0.0f, frames);
                  else ProcessBuffers(0.0f, frames);
                });
}

int IPlugBase::GetEffectVersion(bool decimal) const
{
  return decimal ? GetDecimalVersion(mVersion) : mVersion;
}

void IPlugBase::GetEffectVersionStr(char* str) const
{
  GetVersionStr(mVersion, str);
}

const char* IPlugBase::GetAPIString() const
{
  switch (mAPI)
  {
    case kAPIVST2: return "VST2";
    case kAPIVST3: return "VST3";
    case kAPIAU: return "AU";
    case kAPIRTAS: return "RTAS";
    case kAPIAAX: return "AAX";
    case kAPISA: return "Standalone";
    case kAPILV2: return "LV2";
    default: return "";
  }
}

const char* IPlugBase::GetArchString() const
{
  return sizeof(void*) == 8 ? "x64" : "x86";
}

void IPlugBase::SetHost(const char* host, int version)
{
  mHost = LookUpHost(host);
  mHostVersion = version;
  Trace(TRACELOC, "host %d, version 0x%x", static_cast<int>(mHost), version);
}

int IPlugBase::GetHostVersion(bool decimal)
{
  GetHost();
  return decimal ? GetDecimalVersion(mHostVersion) : mHostVersion;
}

void IPlugBase::GetHostVersionStr(char* str)
{
  GetHost();
  GetVersionStr(mHostVersion, str);
}

bool IPlugBase::GetChannelIO(int idx, int* pNIn, int* pNOut) const
{
  const ChannelIO* pIO = mChannelIO.Get(idx);
  if (!pIO) return false;
  if (pNIn) *pNIn = pIO->mIn;
  if (pNOut) *pNOut = pIO->mOut;
  return true;
}

bool IPlugBase::LegalIO(int nIn, int nOut) const
{
  bool legal = false;
  const int n = mChannelIO.GetSize();
  for (int i = 0; i < n && !legal; ++i)
  {
    const ChannelIO* pIO = mChannelIO.Get(i);
    legal = (nIn < 0 || pIO->mIn == nIn) && (nOut < 0 || pIO->mOut == nOut);
  }
  Trace(TRACELOC, "%d:%d:%s", nIn, nOut, legal ? "legal" : "illegal");
  return legal;
}

void IPlugBase::LimitToStereoIO()
{
  const int nIn = NInChannels();
  const int nOut = NOutChannels();
  if (nIn > 2) SetInputChannelConnections(2, nIn - 2, false);
  for (int i = 2; i < nOut; ++i) GetOutChannel(i)->mConnected = true;
}

// A disconnected channel reads (or writes) its scratch buffer from now on. On
// the float path that buffer last held the channel's converted input, which the
// plug-in would otherwise read again every block: it is cleared here.
void IPlugBase::SetInputChannelConnections(int idx, int n, bool connected)
{
  if (n < 0) return;
  int start, end;
  ChannelRange(idx, n, NInChannels(), &start, &end);
  for (int i = start; i < end; ++i)
  {
    InChannel* pIn = GetInChannel(i);
    pIn->mConnected = connected;
    if (!connected)
    {
      ZeroDoubles(pIn->mScratchBuf.Get(), pIn->mScratchBuf.GetSize());
      *pIn->mSrc = pIn->mScratchBuf.Get();
    }
  }
}

void IPlugBase::SetOutputChannelConnections(int idx, int n, bool connected)
{
  if (n < 0) return;
  int start, end;
  ChannelRange(idx, n, NOutChannels(), &start, &end);
  for (int i = start; i < end; ++i)
  {
    OutChannel* pOut = GetOutChannel(i);
    pOut->mConnected = connected;
    if (!connected)
    {
      ZeroDoubles(pOut->mScratchBuf.Get(), pOut->mScratchBuf.GetSize());
      *pOut->mDest = pOut->mScratchBuf.Get();
    }
  }
}

bool IPlugBase::IsInChannelConnected(int chIdx) const
{
  const InChannel* pIn = GetInChannel(chIdx);
  return pIn && pIn->mConnected;
}

bool IPlugBase::IsOutChannelConnected(int chIdx) const
{
  const OutChannel* pOut = GetOutChannel(chIdx);
  return pOut && pOut->mConnected;
}

void IPlugBase::SetInputLabel(int idx, const char* label)
{
  if (InChannel* pIn = GetInChannel(idx)) pIn->mLabel.Set(label);
}

void IPlugBase::SetOutputLabel(int idx, const char* label)
{
  if (OutChannel* pOut = GetOutChannel(idx)) pOut->mLabel.Set(label);
}

const char* IPlugBase::GetInputLabel(int idx) const
{
  const InChannel* pIn = GetInChannel(idx);
  return pIn ? pIn->mLabel.Get() : "";
}

const char* IPlugBase::GetOutputLabel(int idx) const
{
  const OutChannel* pOut = GetOutChannel(idx);
  return pOut ? pOut->mLabel.Get() : "";
}

void IPlugBase::SetBusLabel(WDL_PtrList<WDL_String>* pList, int idx, const char* label)
{
  if (idx < 0 || idx > 1) return;
  pList->Delete(idx, true);
  WDL_String* pStr = new WDL_String(label ? label : "");
  if (!pList->Insert(idx, pStr)) delete pStr;
}

void IPlugBase::SetInputBusLabel(int idx, const char* label)
{
  SetBusLabel(&mInputBusLabels, idx, label);
}

void IPlugBase::SetOutputBusLabel(int idx, const char* label)
{
  SetBusLabel(&mOutputBusLabels, idx, label);
}

const char* IPlugBase::GetInputBusLabel(int idx) const
{
  const WDL_String* pStr = mInputBusLabels.Get(idx);
  return pStr ? pStr->Get() : nullptr;
}

const char* IPlugBase::GetOutputBusLabel(int idx) const
{
  const WDL_String* pStr = mOutputBusLabels.Get(idx);
  return pStr ? pStr->Get() : nullptr;
}

void IPlugBase::MakeDefaultPreset(const char* name, int nPresets)
{
  for (int n = 0; n < nPresets; ++n)
  {
    IPreset* pPreset = nullptr;
    for (int i = 0; i < NPresets() && !pPreset; ++i)
      if (!GetPreset(i)->mInitialized) pPreset = GetPreset(i);
    if (!pPreset) return;
    pPreset->mInitialized = true;
    pPreset->SetName(name ? name : "Empty");
    pPreset->mChunk.Clear();
    SerializeState(&pPreset->mChunk);
  }
}

void IPlugBase::EnsureDefaultPreset()
{
  MakeDefaultPreset("Empty", NPresets());
}

bool IPlugBase::SerializeParams(ByteChunk* pChunk)
{
  if (!pChunk) return false;
  IMutexLock lock(this);
  bool savedOK = true;
  const int n = NParams();
  for (int i = 0; i < n && savedOK; ++i)
  {
    const double v = GetParam(i)->Value();
    Trace(TRACELOC, "%d %s %f", i, GetParam(i)->GetNameForHost(), v);
    savedOK = pChunk->PutValue(&v) > 0;
  }
  return savedOK;
}

int IPlugBase::UnserializeParams(ByteChunk* pChunk, int startPos)
{
  IMutexLock lock(this);
  int pos = (pChunk && startPos >= 0) ? startPos : -1;
  const int n = NParams();
  for (int i = 0; i < n && pos >= 0; ++i)
  {
    double v = 0.0;
    pos = pChunk->GetValue(&v, pos);
    IParam* pParam = GetParam(i);
    pParam->Set(v);
    Trace(TRACELOC, "%d %s %f", i, pParam->GetNameForHost(), pParam->Value());
  }
  for (int i = 0; i < n; ++i) OnParamChange(i);
  return pos;
}

void IPlugBase::SetSampleRate(double sampleRate)
{
  if (sampleRate > 0.0 && std::isfinite(sampleRate)) mSampleRate = sampleRate;
}

double IPlugBase::GetSamplesPerBeat()
{
  const double tempo = GetTempo();
  return tempo > 0.0 ? mSampleRate * 60.0 / tempo : 0.0;
}

void IPlugBase::SendMidiMsgs(WDL_TypedBuf<IMidiMsg>* pMsgs)
{
  if (!pMsgs) return;
  const int n = pMsgs->GetSize();
  for (int i = 0; i < n; ++i) SendMidiMsg(pMsgs->Get() + i);
}
