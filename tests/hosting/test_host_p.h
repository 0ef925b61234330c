// A small VST 2.4 host for the hosting tests: loads a plug-in library with
// dlopen, creates instances through VSTPluginMain and drives them only through
// the effect record's function pointers, as a real host does. The host
// callback records every call it receives and answers either like a plain
// host or, in silent mode, 0 to everything (as a scanner does).
#ifndef TESTS_HOSTING_TEST_HOST_P_H_
#define TESTS_HOSTING_TEST_HOST_P_H_

#include "WDL/IPlug/VSTInterface.h"

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace hosting {

// One recorded host callback.
struct HostCall
{
  AEffect* effect;
  VstInt32 opcode;
  VstInt32 index;
};

// Every call of every instance, in order; guarded, since audio and control
// threads may both reach the host.
class HostLog
{
public:
  static HostLog& Get()
  {
    static HostLog sLog;
    return sLog;
  }
  void Add(const HostCall& c)
  {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mCalls.size() < 100000) mCalls.push_back(c);
  }
  int Count(VstInt32 opcode, AEffect* effect = nullptr)
  {
    std::lock_guard<std::mutex> lock(mMutex);
    int n = 0;
    for (const HostCall& c : mCalls) n += c.opcode == opcode && (!effect || c.effect == effect);
    return n;
  }
  void Clear()
  {
    std::lock_guard<std::mutex> lock(mMutex);
    mCalls.clear();
  }

private:
  std::mutex mMutex;
  std::vector<HostCall> mCalls;
};

inline VstIntPtr RecordingHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr, void* ptr, float)
{
  HostLog::Get().Add({effect, opcode, index});
  switch (opcode)
  {
    case audioMasterVersion: return kVstVersion;
    case audioMasterGetProductString:
      if (ptr) strcpy(static_cast<char*>(ptr), "Hosting Test");
      return 1;
    case audioMasterGetVendorVersion: return 10000;
    case audioMasterGetCurrentProcessLevel: return kVstProcessLevelRealtime;
    default: return 0;
  }
}

// A scanner: records, answers nothing.
inline VstIntPtr SilentHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float)
{
  HostLog::Get().Add({effect, opcode, index});
  return 0;
}

// A loaded plug-in library.
class PlugLib
{
public:
  explicit PlugLib(const std::string& path) : mPath(path)
  {
    mHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!mHandle)
    {
      const char* err = dlerror();
      mError = err ? err : "dlopen failed";
      return;
    }
    mEntry = reinterpret_cast<VstPluginMainProc>(dlsym(mHandle, "VSTPluginMain"));
    mOldEntry = reinterpret_cast<VstPluginMainProc>(dlsym(mHandle, "main"));
  }
  ~PlugLib()
  {
    if (mHandle) dlclose(mHandle);
  }
  PlugLib(const PlugLib&) = delete;
  PlugLib& operator=(const PlugLib&) = delete;

  bool Ok() const { return mHandle && mEntry; }
  const std::string& Error() const { return mError; }
  const std::string& Path() const { return mPath; }
  VstPluginMainProc Entry() const { return mEntry; }
  VstPluginMainProc OldEntry() const { return mOldEntry; }
  void* Handle() const { return mHandle; }

private:
  std::string mPath;
  std::string mError;
  void* mHandle = nullptr;
  VstPluginMainProc mEntry = nullptr;
  VstPluginMainProc mOldEntry = nullptr;
};

// Two channels of audio.
struct Stereo
{
  std::vector<double> ch[2];
  explicit Stereo(size_t n = 0) : ch{std::vector<double>(n, 0.0), std::vector<double>(n, 0.0)} {}
  size_t Size() const { return ch[0].size(); }
};

// Our own PRNG: the standard distributions differ between libraries.
class Rng
{
public:
  explicit Rng(uint64_t seed) : mState(seed ? seed : 0x9E3779B97F4A7C15ull) {}
  uint64_t Next()
  {
    mState ^= mState << 13;
    mState ^= mState >> 7;
    mState ^= mState << 17;
    return mState;
  }
  // Uniform in [-1, 1), on a 2^-24 grid so every value is exact in float.
  double Bipolar() { return (double)(int32_t)(Next() >> 40) / 8388608.0 - 1.0; }
  int Range(int lo, int hi) { return lo + (int)(Next() % (uint64_t)(hi - lo + 1)); }

private:
  uint64_t mState;
};

// A sine plus a little noise, rounded to float so both process paths see the
// same input.
inline Stereo TestSignal(size_t n, double rate, double freq = 997.0, double amp = 0.5, uint64_t seed = 1)
{
  Stereo s(n);
  Rng rng(seed);
  for (size_t i = 0; i < n; ++i)
  {
    const double ph = 2.0 * 3.141592653589793 * freq * (double)i / rate;
    s.ch[0][i] = (double)(float)(amp * std::sin(ph) + 0.05 * rng.Bipolar());
    s.ch[1][i] = (double)(float)(amp * std::sin(1.37 * ph + 0.3) + 0.05 * rng.Bipolar());
  }
  return s;
}

inline double Peak(const Stereo& s, size_t from = 0)
{
  double p = 0.0;
  for (const auto& c : s.ch)
    for (size_t i = from; i < c.size(); ++i) p = std::max(p, std::fabs(c[i]));
  return p;
}

inline bool AllFinite(const Stereo& s)
{
  for (const auto& c : s.ch)
    for (double v : c)
      if (!std::isfinite(v)) return false;
  return true;
}

// The largest |a - b| over frames [from, end); infinity on a size mismatch or
// a non-finite difference.
inline double MaxDiff(const Stereo& a, const Stereo& b, size_t from = 0)
{
  if (a.Size() != b.Size()) return INFINITY;
  double d = 0.0;
  for (int c = 0; c < 2; ++c)
    for (size_t i = from; i < a.Size(); ++i)
    {
      const double x = std::fabs(a.ch[c][i] - b.ch[c][i]);
      if (!(x <= d)) d = std::isnan(x) ? INFINITY : x;
    }
  return d;
}

// One plug-in instance, driven through its effect record only.
class Plug
{
public:
  Plug(const PlugLib& lib, audioMasterCallback host = RecordingHost) : mEffect(lib.Ok() ? lib.Entry()(host) : nullptr)
  {
  }
  ~Plug() { Close(); }
  Plug(const Plug&) = delete;
  Plug& operator=(const Plug&) = delete;

  AEffect* Effect() const { return mEffect; }
  bool Ok() const { return mEffect && mEffect->magic == kEffectMagic; }

  VstIntPtr Call(VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.f)
  {
    return mEffect->dispatcher(mEffect, op, index, value, ptr, opt);
  }

  // What a host does before playing: open, rate, block size, resume.
  void Start(double rate, int blockSize)
  {
    Call(effOpen);
    Call(effSetSampleRate, 0, 0, nullptr, (float)rate);
    Call(effSetBlockSize, 0, blockSize);
    Call(effMainsChanged, 0, 1);
  }

  void Close()
  {
    if (!mEffect) return;
    Call(effMainsChanged, 0, 0);
    Call(effClose);
    mEffect = nullptr;
  }

  // A string opcode into a generous buffer.
  std::string Text(VstInt32 op, VstInt32 index = 0)
  {
    char buf[512];
    memset(buf, 0, sizeof(buf));
    Call(op, index, 0, buf);
    buf[sizeof(buf) - 1] = 0;
    return buf;
  }

  void SetParam(int idx, float v) { mEffect->setParameter(mEffect, idx, v); }
  float GetParam(int idx) { return mEffect->getParameter(mEffect, idx); }

  // The program (index 1) or bank (index 0) chunk, copied out.
  std::vector<unsigned char> GetChunk(bool program = true)
  {
    void* data = nullptr;
    const VstIntPtr size = Call(effGetChunk, program ? 1 : 0, 0, &data);
    if (size <= 0 || !data) return {};
    const unsigned char* p = static_cast<const unsigned char*>(data);
    return std::vector<unsigned char>(p, p + size);
  }
  bool SetChunk(std::vector<unsigned char> bytes, bool program = true)
  {
    return Call(effSetChunk, program ? 1 : 0, (VstIntPtr)bytes.size(), bytes.data()) == 1;
  }

  // in -> out through processDoubleReplacing from frame `from` for n frames.
  void ProcessD(const Stereo& in, Stereo& out, size_t from, int n)
  {
    double* ins[2] = {const_cast<double*>(in.ch[0].data() + from), const_cast<double*>(in.ch[1].data() + from)};
    double* outs[2] = {out.ch[0].data() + from, out.ch[1].data() + from};
    mEffect->processDoubleReplacing(mEffect, ins, outs, n);
  }

  // The same through processReplacing (or the accumulating process), in floats.
  void ProcessF(const Stereo& in, Stereo& out, size_t from, int n, bool accumulate = false)
  {
    mFIn[0].assign(n, 0.f);
    mFIn[1].assign(n, 0.f);
    mFOut[0].resize(n);
    mFOut[1].resize(n);
    for (int c = 0; c < 2; ++c)
      for (int i = 0; i < n; ++i)
      {
        mFIn[c][i] = (float)in.ch[c][from + i];
        mFOut[c][i] = (float)out.ch[c][from + i];
      }
    float* ins[2] = {mFIn[0].data(), mFIn[1].data()};
    float* outs[2] = {mFOut[0].data(), mFOut[1].data()};
    if (accumulate) mEffect->process(mEffect, ins, outs, n);
    else mEffect->processReplacing(mEffect, ins, outs, n);
    for (int c = 0; c < 2; ++c)
      for (int i = 0; i < n; ++i) out.ch[c][from + i] = mFOut[c][i];
  }

  // The whole signal in host blocks of blockSize frames (the last one shorter).
  Stereo Render(const Stereo& in, int blockSize, bool singlePrecision = false)
  {
    Stereo out(in.Size());
    for (size_t pos = 0; pos < in.Size(); pos += (size_t)blockSize)
    {
      const int n = (int)std::min<size_t>((size_t)blockSize, in.Size() - pos);
      if (singlePrecision) ProcessF(in, out, pos, n);
      else ProcessD(in, out, pos, n);
    }
    return out;
  }

private:
  AEffect* mEffect;
  std::vector<float> mFIn[2], mFOut[2];
};

}  // namespace hosting

#endif  // TESTS_HOSTING_TEST_HOST_P_H_
