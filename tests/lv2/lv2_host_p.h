// A small LV2 host for the tests: loads a binary, maps URIDs, instantiates
// with the features a case asks for, connects the ports, runs stereo audio in
// any block pattern, and saves and restores state through an in-memory store.
#ifndef TESTS_LV2_LV2_HOST_P_H_
#define TESTS_LV2_LV2_HOST_P_H_

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/hosting/test_host_p.h"

namespace lv2test {

using hosting::Stereo;

const char kURI[] = "https://www.morvane.com/torven";
const std::string kStateKey = std::string(kURI) + "#state";
constexpr int kAudioPorts = 4;
constexpr int kControls = 8;
// The control ports' defaults, parameter order (as the Turtle says).
const float kDefaults[kControls] = {0.f, 0.f, 0.f, 0.5f, 0.5f, 0.5f, 0.f, 0.f};

class URIDMap
{
public:
  URIDMap() : mFeature{LV2_URID__map, &mMap} {}
  LV2_URID Map(const std::string& uri)
  {
    for (size_t i = 0; i < mURIs.size(); ++i)
      if (mURIs[i] == uri) return (LV2_URID)i + 1;
    mURIs.push_back(uri);
    return (LV2_URID)mURIs.size();
  }
  const LV2_Feature* Feature() const { return &mFeature; }

private:
  static LV2_URID MapFn(LV2_URID_Map_Handle h, const char* uri) { return static_cast<URIDMap*>(h)->Map(uri); }
  std::vector<std::string> mURIs;
  LV2_URID_Map mMap{this, MapFn};
  LV2_Feature mFeature;
};

// A saved state: key -> (type, bytes).
struct Value
{
  LV2_URID type;
  std::vector<unsigned char> bytes;
};
using State = std::map<LV2_URID, Value>;

class Lib
{
public:
  explicit Lib(const char* path) : mHandle(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
  ~Lib()
  {
    if (mHandle) dlclose(mHandle);
  }
  Lib(const Lib&) = delete;
  Lib& operator=(const Lib&) = delete;
  void* Symbol(const char* name) const { return mHandle ? dlsym(mHandle, name) : nullptr; }
  const LV2_Descriptor* Plugin(uint32_t i) const
  {
    auto f = reinterpret_cast<LV2_Descriptor_Function>(Symbol("lv2_descriptor"));
    return f ? f(i) : nullptr;
  }

private:
  void* mHandle;
};

// One instance with every port connected: controls to Control(), audio to
// the buffers of each run. map null: no URID map; maxBlock > 0: announced.
class Instance
{
public:
  Instance(const Lib& lib, URIDMap* map, double rate = 48000.0, int maxBlock = 0)
    : mDesc(lib.Plugin(0))
  {
    std::copy(kDefaults, kDefaults + kControls, mControls);
    std::vector<const LV2_Feature*> features;
    if (map)
    {
      features.push_back(map->Feature());
      mMaxBlock = maxBlock;
      mOptions[0] = {LV2_OPTIONS_INSTANCE, 0, map->Map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t),
                     map->Map(LV2_ATOM__Int), &mMaxBlock};
      mOptionsFeature = {LV2_OPTIONS__options, mOptions};
      if (maxBlock > 0) features.push_back(&mOptionsFeature);
    }
    features.push_back(nullptr);
    mHandle = mDesc ? mDesc->instantiate(mDesc, rate, "", features.data()) : nullptr;
    if (!mHandle) return;
    for (int i = 0; i < kControls; ++i) Connect(kAudioPorts + i, &mControls[i]);
    mDesc->activate(mHandle);
  }
  ~Instance()
  {
    if (!mHandle) return;
    mDesc->deactivate(mHandle);
    mDesc->cleanup(mHandle);
  }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  bool Ok() const { return mHandle != nullptr; }
  float& Control(int param) { return mControls[param]; }
  void Connect(uint32_t port, void* data) { mDesc->connect_port(mHandle, port, data); }
  void Run(uint32_t n) { mDesc->run(mHandle, n); }

  // Frames [from, from + n) of in through one run, in floats, into out. The
  // audio ports in Unbuffered() are left without a buffer.
  void Process(const Stereo& in, Stereo& out, size_t from, size_t n)
  {
    for (int c = 0; c < 4; ++c) mBuf[c].assign(n, 0.f);
    for (int c = 0; c < 2; ++c)
      for (size_t i = 0; i < n; ++i) mBuf[c][i] = (float)in.ch[c][from + i];
    for (int c = 0; c < 4; ++c) Connect(c, mUnbuffered.count(c) ? nullptr : mBuf[c].data());
    Run((uint32_t)n);
    for (int c = 0; c < 2; ++c)
      for (size_t i = 0; i < n; ++i) out.ch[c][from + i] = mBuf[2 + c][i];
  }
  // The whole signal, in blocks taken from the pattern in turn.
  Stereo Render(const Stereo& in, const std::vector<int>& blocks = {512})
  {
    Stereo out(in.Size());
    for (size_t pos = 0, k = 0; pos < in.Size(); ++k)
    {
      const size_t n = std::min<size_t>((size_t)blocks[k % blocks.size()], in.Size() - pos);
      Process(in, out, pos, n);
      pos += n;
    }
    return out;
  }
  std::set<int>& Unbuffered() { return mUnbuffered; }

  const LV2_State_Interface* StateInterface() const
  {
    return static_cast<const LV2_State_Interface*>(mDesc->extension_data(LV2_STATE__interface));
  }
  LV2_State_Status Save(State* pOut)
  {
    return StateInterface()->save(mHandle, Store, pOut, LV2_STATE_IS_POD, nullptr);
  }
  LV2_State_Status Restore(const State& in)
  {
    return StateInterface()->restore(mHandle, Retrieve, const_cast<State*>(&in), 0, nullptr);
  }

private:
  static LV2_State_Status Store(LV2_State_Handle h, uint32_t key, const void* value, size_t size, uint32_t type,
                                uint32_t)
  {
    const unsigned char* p = static_cast<const unsigned char*>(value);
    (*static_cast<State*>(h))[key] = Value{type, std::vector<unsigned char>(p, p + size)};
    return LV2_STATE_SUCCESS;
  }
  static const void* Retrieve(LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags)
  {
    const State& s = *static_cast<const State*>(h);
    auto it = s.find(key);
    if (it == s.end()) return nullptr;
    *size = it->second.bytes.size();
    *type = it->second.type;
    *flags = LV2_STATE_IS_POD;
    static const unsigned char kEmpty = 0;
    return it->second.bytes.empty() ? &kEmpty : it->second.bytes.data();
  }

  const LV2_Descriptor* mDesc;
  LV2_Handle mHandle = nullptr;
  float mControls[kControls];
  std::vector<float> mBuf[4];
  std::set<int> mUnbuffered;
  int32_t mMaxBlock = 0;
  LV2_Options_Option mOptions[2] = {};
  LV2_Feature mOptionsFeature = {};
};

}  // namespace lv2test

#endif  // TESTS_LV2_LV2_HOST_P_H_
