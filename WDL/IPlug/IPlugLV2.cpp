#include "WDL/IPlug/IPlugLV2.h"

#include "WDL/IPlug/IGraphics.h"
#include "WDL/IPlug/src/IPlugLV2_p.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>

#include <cmath>
#include <cstring>
#include <new>

namespace {

// A block size from the host's options above this is taken as a mistake; the
// routing slices longer runs anyway, so the default serves.
constexpr int kMaxAnnouncedBlock = 1 << 20;
constexpr int kDefaultBlockSize = 1024;

IPlugLV2* GetPlug(LV2_Handle h)
{
  return h ? static_cast<lv2detail::PluginInstance*>(h)->mPlug : nullptr;
}

}  // namespace

IPlugLV2::IPlugLV2(IPlugInstanceInfo instanceInfo, int nParams, const char* channelIOStr, int nPresets,
                   const char* effectName, const char* productName, const char* mfrName, int vendorVersion,
                   int uniqueID, int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks,
                   bool plugIsInst, int /*plugScChans*/)
  : IPlugBase(nParams, channelIOStr, nPresets, effectName, productName, mfrName, vendorVersion, uniqueID,
              mfrID, latency, plugDoesMidi, plugDoesChunks, plugIsInst, kAPILV2),
    mUIHost(instanceInfo.mUIHost)
{
  // Every buffer run needs is sized here, never in run.
  const int nPorts = NPorts();
  mPorts.Resize(nPorts);
  memset(mPorts.Get(), 0, sizeof(float*) * (size_t)nPorts);
  mLastControl.Resize(NParams());
  mSeen.Resize(NParams());
  if (NParams()) memset(mSeen.Get(), 0, (size_t)NParams());
  mInPtrs.Resize(NInChannels() > 0 ? NInChannels() : 1);
  mOutPtrs.Resize(NOutChannels() > 0 ? NOutChannels() : 1);

  SetInputChannelConnections(0, NInChannels(), true);
  SetOutputChannelConnections(0, NOutChannels(), true);
  // The block size until the host announces its own (runs longer than it go
  // through in slices).
  SetBlockSize(kDefaultBlockSize);
}

IPlugLV2::~IPlugLV2() {}

void IPlugLV2::BeginInformHostOfParamChange(int paramIdx)
{
  const int port = ParamPort(paramIdx);
  if (mUIHost && mUIHost->mTouch && port >= 0) mUIHost->mTouch(mUIHost->mTouchHandle, (uint32_t)port, true);
}

void IPlugLV2::InformHostOfParamChange(int paramIdx, double /*normalizedValue*/)
{
  const int port = ParamPort(paramIdx);
  if (!mUIHost || !mUIHost->mWrite || port < 0) return;
  const float v = (float)GetParam(paramIdx)->Value();
  mUIHost->mWrite(mUIHost->mController, (uint32_t)port, sizeof(float), 0, &v);
}

void IPlugLV2::EndInformHostOfParamChange(int paramIdx)
{
  const int port = ParamPort(paramIdx);
  if (mUIHost && mUIHost->mTouch && port >= 0) mUIHost->mTouch(mUIHost->mTouchHandle, (uint32_t)port, false);
}

void IPlugLV2::GetTimeSig(int* pNumerator, int* pDenominator)
{
  *pNumerator = *pDenominator = 0;
}

int IPlugLV2::ParamPort(int paramIdx) const
{
  return (paramIdx >= 0 && paramIdx < NParams()) ? NAudioPorts() + paramIdx : -1;
}

int IPlugLV2::PortParam(int portIdx) const
{
  const int p = portIdx - NAudioPorts();
  return (portIdx >= 0 && p >= 0 && p < NParams()) ? p : -1;
}

bool IPlugLV2::IsStepped(const IParam* pParam)
{
  return pParam->Type() != IParam::kTypeDouble;
}

bool IPlugLV2::IsToggle(const IParam* pParam)
{
  return IsStepped(pParam) && pParam->GetMin() == 0.0 && pParam->GetMax() == 1.0 && pParam->GetStep() == 1.0;
}

double IPlugLV2::ShortestDecimal(float v)
{
  const double x = v;
  if (!std::isfinite(x) || x == std::floor(x)) return x;
  // x has 24 significant bits and 10^k = 2^k * 5^k with 5^12 below 2^28, so
  // x * 10^k is exact, and m / 10^k is the correctly rounded double of the
  // decimal m * 10^-k: the value a text parser gives for that decimal.
  double scale = 1.0;
  for (int k = 1; k <= 12; ++k)
  {
    scale *= 10.0;
    const double m = std::round(x * scale);
    const double candidate = m / scale;
    if ((float)candidate == v) return candidate;
  }
  return x;
}

double IPlugLV2::PortValueToPlain(const IParam* pParam, float portValue)
{
  if (std::isnan(portValue)) return (double)portValue;
  if (IsToggle(pParam)) return portValue > 0.f ? 1.0 : 0.0;
  double v = ShortestDecimal(portValue);
  // Halves upward, as IParam::SetNormalized rounds.
  if (IsStepped(pParam) && std::isfinite(v)) v = std::floor(v / pParam->GetStep() + 0.5) * pParam->GetStep();
  return v;
}

void IPlugLV2::LV2ConnectPort(uint32_t port, void* pData)
{
  if (port >= (uint32_t)NPorts()) return;
  IMutexLock lock(this);
  mPorts.Get()[port] = static_cast<float*>(pData);
}

void IPlugLV2::LV2Activate()
{
  IMutexLock lock(this);
  OnActivate(true);
}

void IPlugLV2::LV2Deactivate()
{
  IMutexLock lock(this);
  OnActivate(false);
  Reset();
}

void IPlugLV2::ReadControlPorts()
{
  float* const* ports = mPorts.Get() + NAudioPorts();
  float* last = mLastControl.Get();
  unsigned char* seen = mSeen.Get();
  for (int i = 0; i < NParams(); ++i)
  {
    if (!ports[i]) continue;
    const float v = *ports[i];
    if (seen[i] && (v == last[i] || (std::isnan(v) && std::isnan(last[i])))) continue;
    seen[i] = 1;
    last[i] = v;
    IParam* pParam = GetParam(i);
    const double plain = PortValueToPlain(pParam, v);
    if (std::isnan(plain)) continue;
    pParam->Set(plain);
    OnParamChange(i);
  }
}

void IPlugLV2::BindAudioPorts(float** ppIn, float** ppOut)
{
  // A port the host left without a buffer reads as silence or is written
  // nowhere: its channel runs on its zeroed scratch buffer.
  float* const* ports = mPorts.Get();
  int k = 0;
  for (int c = 0; c < NInChannels(); ++c)
  {
    const bool has = ports[c] != nullptr;
    if (IsInChannelConnected(c) != has) SetInputChannelConnections(c, 1, has);
    if (has) ppIn[k++] = ports[c];
  }
  k = 0;
  for (int c = 0; c < NOutChannels(); ++c)
  {
    float* p = ports[NInChannels() + c];
    const bool has = p != nullptr;
    if (IsOutChannelConnected(c) != has) SetOutputChannelConnections(c, 1, has);
    if (has) ppOut[k++] = p;
  }
}

void IPlugLV2::LV2Run(uint32_t nFrames)
{
  IMutexLock lock(this);
  ReadControlPorts();
  BindAudioPorts(mInPtrs.Get(), mOutPtrs.Get());
  IScopedDenormalGuard denormals;
  ProcessHostBlock(mInPtrs.Get(), mOutPtrs.Get(), nFrames > (uint32_t)INT32_MAX ? INT32_MAX : (int)nFrames, false);
}

bool IPlugLV2::LV2SaveState(ByteChunk* pChunk)
{
  IMutexLock lock(this);
  // A host may save between setting a port and the next run: the state is
  // what the ports say now.
  ReadControlPorts();
  InitChunkWithIPlugVer(pChunk);
  return SerializeState(pChunk) && pChunk->Size() > 0;
}

bool IPlugLV2::LV2RestoreState(const void* pData, size_t nBytes)
{
  if (!pData || nBytes == 0 || nBytes > (size_t)INT32_MAX) return false;
  ByteChunk in;
  if (in.PutBytes(pData, (int)nBytes) != (int)nBytes) return false;

  IMutexLock lock(this);
  // A blob that runs out part-way would leave the parameters it reached
  // changed: the state before it is put back whole.
  ByteChunk before;
  if (!SerializeState(&before)) return false;
  int pos = 0;
  GetIPlugVerFromChunk(&in, &pos);
  if (UnserializeState(&in, pos) < 0)
  {
    UnserializeState(&before, 0);
    return false;
  }
  // The restored values stand until a port changes: ports the host leaves
  // as they were do not undo them at the next run.
  float* const* ports = mPorts.Get() + NAudioPorts();
  for (int i = 0; i < NParams(); ++i)
  {
    if (!ports[i]) continue;
    mSeen.Get()[i] = 1;
    mLastControl.Get()[i] = *ports[i];
  }
  ModifyCurrentPreset();
  RedrawParamControls();
  return true;
}

void IPlugLV2::LV2PortEvent(uint32_t port, uint32_t bufferSize, uint32_t format, const void* pBuffer)
{
  const int paramIdx = PortParam(port > (uint32_t)INT32_MAX ? -1 : (int)port);
  if (paramIdx < 0 || format != 0 || bufferSize != sizeof(float) || !pBuffer) return;
  float v;
  memcpy(&v, pBuffer, sizeof(v));
  IMutexLock lock(this);
  IParam* pParam = GetParam(paramIdx);
  const double plain = PortValueToPlain(pParam, v);
  if (std::isnan(plain)) return;
  // As the VST2 adapter's setParameter: the control first, then the parameter.
  if (IGraphics* pGraphics = GetGUI()) pGraphics->SetParameterFromPlug(paramIdx, plain, false);
  pParam->Set(plain);
}

namespace lv2detail {

const LV2_Feature* FindFeature(const LV2_Feature* const* features, const char* uri)
{
  for (; features && *features; ++features)
    if ((*features)->URI && !strcmp((*features)->URI, uri)) return *features;
  return nullptr;
}

// The plug-in descriptor's callbacks.

namespace {

// The host's largest block from its options, 0 when it says none.
int AnnouncedBlockSize(const LV2_Options_Option* pOpts, LV2_URID_Map* pMap)
{
  if (!pOpts || !pMap) return 0;
  const LV2_URID maxLen = pMap->map(pMap->handle, LV2_BUF_SIZE__maxBlockLength);
  const LV2_URID intType = pMap->map(pMap->handle, LV2_ATOM__Int);
  for (; pOpts->key || pOpts->value; ++pOpts)
  {
    if (pOpts->key != maxLen || pOpts->type != intType || pOpts->size != sizeof(int32_t) || !pOpts->value) continue;
    int32_t n;
    memcpy(&n, pOpts->value, sizeof(n));
    return (n > 0 && n <= kMaxAnnouncedBlock) ? n : 0;
  }
  return 0;
}

LV2_Handle Instantiate(const LV2_Descriptor* pDesc, double rate, const char* /*bundlePath*/,
                       const LV2_Feature* const* features)
{
  const PluginEntry* pEntry = reinterpret_cast<const PluginEntry*>(pDesc);
  if (!pEntry || !(rate > 0.0) || !std::isfinite(rate)) return nullptr;

  PluginInstance* pInst = new (std::nothrow) PluginInstance;
  if (!pInst) return nullptr;
  if (const LV2_Feature* f = FindFeature(features, LV2_URID__map)) pInst->mMap = static_cast<LV2_URID_Map*>(f->data);
  if (pInst->mMap)
  {
    WDL_String key(pEntry->mDesc->mURI);
    key.Append("#state");
    pInst->mStateKey = pInst->mMap->map(pInst->mMap->handle, key.Get());
    pInst->mChunkType = pInst->mMap->map(pInst->mMap->handle, LV2_ATOM__Chunk);
  }
  const LV2_Feature* opts = FindFeature(features, LV2_OPTIONS__options);
  const int blockSize = AnnouncedBlockSize(opts ? static_cast<const LV2_Options_Option*>(opts->data) : nullptr,
                                           pInst->mMap);

  // Creation is serialised process-wide, as hosts may instantiate from
  // several threads at once.
  static WDL_Mutex sCreateMutex;
  WDL_MutexLock createLock(&sCreateMutex);
  try
  {
    pInst->mPlug = pEntry->mFactory(IPlugInstanceInfo());
  }
  catch (const std::bad_alloc&)
  {
    pInst->mPlug = nullptr;
  }
  if (!pInst->mPlug)
  {
    delete pInst;
    return nullptr;
  }
  IPlugLV2* pPlug = pInst->mPlug;
  pPlug->EnsureDefaultPreset();
  {
    // What a VST2 host's open, rate and block size calls do.
    IPlugBase::IMutexLock lock(pPlug);
    pPlug->OnParamReset();
    pPlug->SetSampleRate(rate);
    pPlug->Reset();
    if (blockSize)
    {
      pPlug->SetBlockSize(blockSize);
      pPlug->Reset();
    }
  }
  return pInst;
}

void ConnectPort(LV2_Handle h, uint32_t port, void* pData)
{
  if (IPlugLV2* pPlug = GetPlug(h)) pPlug->LV2ConnectPort(port, pData);
}

void Activate(LV2_Handle h)
{
  if (IPlugLV2* pPlug = GetPlug(h)) pPlug->LV2Activate();
}

void Run(LV2_Handle h, uint32_t nFrames)
{
  if (IPlugLV2* pPlug = GetPlug(h)) pPlug->LV2Run(nFrames);
}

void Deactivate(LV2_Handle h)
{
  if (IPlugLV2* pPlug = GetPlug(h)) pPlug->LV2Deactivate();
}

void Cleanup(LV2_Handle h)
{
  PluginInstance* pInst = static_cast<PluginInstance*>(h);
  if (!pInst) return;
  delete pInst->mPlug;
  delete pInst;
}

LV2_State_Status Save(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle, uint32_t /*flags*/,
                      const LV2_Feature* const* /*features*/)
{
  PluginInstance* pInst = static_cast<PluginInstance*>(h);
  if (!pInst || !pInst->mPlug || !store) return LV2_STATE_ERR_UNKNOWN;
  if (!pInst->mStateKey || !pInst->mChunkType) return LV2_STATE_ERR_NO_FEATURE;
  // Serialised under the instance mutex, handed over outside it: the host's
  // store may take its time without holding up the audio thread.
  ByteChunk chunk;
  if (!pInst->mPlug->LV2SaveState(&chunk)) return LV2_STATE_ERR_UNKNOWN;
  return store(handle, pInst->mStateKey, chunk.GetData(), (size_t)chunk.Size(), pInst->mChunkType,
               LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status Restore(LV2_Handle h, LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                         uint32_t /*flags*/, const LV2_Feature* const* /*features*/)
{
  PluginInstance* pInst = static_cast<PluginInstance*>(h);
  if (!pInst || !pInst->mPlug || !retrieve) return LV2_STATE_ERR_UNKNOWN;
  if (!pInst->mStateKey || !pInst->mChunkType) return LV2_STATE_ERR_NO_FEATURE;
  size_t size = 0;
  uint32_t type = 0, valueFlags = 0;
  const void* pData = retrieve(handle, pInst->mStateKey, &size, &type, &valueFlags);
  // Nothing saved: the values in force stay (the host restores the control
  // ports, which hold the same values, itself).
  if (!pData) return LV2_STATE_SUCCESS;
  if (type != pInst->mChunkType) return LV2_STATE_ERR_BAD_TYPE;
  return pInst->mPlug->LV2RestoreState(pData, size) ? LV2_STATE_SUCCESS : LV2_STATE_ERR_UNKNOWN;
}

const LV2_State_Interface kStateInterface = {Save, Restore};

const void* ExtensionData(const char* uri)
{
  if (uri && !strcmp(uri, LV2_STATE__interface)) return &kStateInterface;
  return nullptr;
}

}  // namespace

PluginEntry::PluginEntry(const IPlugLV2Description* pDesc, IPlugLV2Factory factory)
  : mDesc(pDesc), mFactory(factory)
{
  mLV2.URI = pDesc->mURI;
  mLV2.instantiate = Instantiate;
  mLV2.connect_port = ConnectPort;
  mLV2.activate = Activate;
  mLV2.run = Run;
  mLV2.deactivate = Deactivate;
  mLV2.cleanup = Cleanup;
  mLV2.extension_data = ExtensionData;
}

}  // namespace lv2detail

const void* IPlugLV2PluginEntry(uint32_t index, const IPlugLV2Description* pDesc, IPlugLV2Factory factory)
{
  if (index != 0 || !pDesc || !pDesc->mURI || !factory) return nullptr;
  static const lv2detail::PluginEntry sEntry(pDesc, factory);  // one plug-in per binary
  return &sEntry.mLV2;
}
