// The three process callbacks of the built plug-in, driven through the VST 2.4
// ABI as a host drives them: every path delivers audio, oversized blocks come
// out as if the host had sent announced-size blocks, and the host's
// floating-point mode is never changed.
#include "tools/vsthost.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <xmmintrin.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr int kBypass = 6;

std::unique_ptr<vsthost::Plugin> LoadTorven()
{
  std::string error;
  auto plugin = vsthost::Plugin::Load(TORVEN_SO, &error);
  EXPECT_TRUE(plugin) << error;
  if (!plugin) return plugin;
  // Until the host opens the instance its parameters are only constructed;
  // setting each one to its own value puts the defaults in force.
  AEffect* e = plugin->Effect();
  for (int i = 0; i < e->numParams; ++i) e->setParameter(e, i, e->getParameter(e, i));
  return plugin;
}

template <typename T>
struct Stereo
{
  std::vector<T> ch[2];
  T* ptrs[2];
  Stereo(int n, T fill = T(0)) : ch{std::vector<T>(n, fill), std::vector<T>(n, fill)}
  {
    ptrs[0] = ch[0].data();
    ptrs[1] = ch[1].data();
  }
  T** Get() { return ptrs; }
  // Two tones and a slow sweep on each side: something a filter chain reacts to.
  void FillMusic()
  {
    for (size_t i = 0; i < ch[0].size(); ++i)
    {
      const double t = static_cast<double>(i) / 44100.0;
      ch[0][i] = static_cast<T>(0.4 * std::sin(2 * M_PI * 220 * t) + 0.1 * std::sin(2 * M_PI * 3100 * t));
      ch[1][i] = static_cast<T>(0.3 * std::sin(2 * M_PI * 330 * t) + 0.2 * std::sin(2 * M_PI * (200 + 900 * t) * t));
    }
  }
};

enum ECallback
{
  kProcess,
  kReplacing,
  kDoubleReplacing
};

const char* Name(ECallback cb)
{
  return cb == kProcess ? "process" : cb == kReplacing ? "processReplacing" : "processDoubleReplacing";
}

// Runs `in` through the callback in host blocks of hostBlock frames into out.
template <typename T>
void RunBlocks(AEffect* e, ECallback cb, Stereo<T>& in, Stereo<T>& out, int hostBlock)
{
  const int frames = static_cast<int>(in.ch[0].size());
  for (int pos = 0; pos < frames; pos += hostBlock)
  {
    const int n = frames - pos < hostBlock ? frames - pos : hostBlock;
    T* ins[2] = {in.ptrs[0] + pos, in.ptrs[1] + pos};
    T* outs[2] = {out.ptrs[0] + pos, out.ptrs[1] + pos};
    if constexpr (sizeof(T) == sizeof(double))
    {
      e->processDoubleReplacing(e, ins, outs, n);
    }
    else
    {
      if (cb == kProcess) e->process(e, ins, outs, n);
      else e->processReplacing(e, ins, outs, n);
    }
  }
}

TEST(VstProcess, BypassedAudioComesThroughEveryCallbackExactly)
{
  auto plugin = LoadTorven();
  ASSERT_TRUE(plugin);
  AEffect* e = plugin->Effect();
  e->setParameter(e, kBypass, 1.f);

  Stereo<float> fIn(300), fOut(300, 7.f), fAcc(300, 0.25f);
  fIn.FillMusic();
  RunBlocks(e, kReplacing, fIn, fOut, 300);
  EXPECT_EQ(fOut.ch[0], fIn.ch[0]);
  EXPECT_EQ(fOut.ch[1], fIn.ch[1]);

  RunBlocks(e, kProcess, fIn, fAcc, 300);
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < 300; ++i) ASSERT_EQ(fAcc.ch[c][i], 0.25f + fIn.ch[c][i]) << c << ":" << i;

  Stereo<double> dIn(300), dOut(300, 7.0);
  dIn.FillMusic();
  RunBlocks(e, kDoubleReplacing, dIn, dOut, 300);
  EXPECT_EQ(dOut.ch[0], dIn.ch[0]);
  EXPECT_EQ(dOut.ch[1], dIn.ch[1]);

  // In place: the host hands the same buffers as input and output.
  Stereo<double> inPlace(300);
  inPlace.FillMusic();
  e->processDoubleReplacing(e, inPlace.Get(), inPlace.Get(), 300);
  EXPECT_EQ(inPlace.ch[1], dIn.ch[1]);
}

TEST(VstProcess, ProcessedAudioAgreesAcrossPrecisions)
{
  auto plugin = LoadTorven();
  auto twin = LoadTorven();
  ASSERT_TRUE(plugin && twin);
  Stereo<float> fIn(2048), fOut(2048);
  Stereo<double> dIn(2048), dOut(2048);
  fIn.FillMusic();
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < 2048; ++i) dIn.ch[c][i] = fIn.ch[c][i];
  RunBlocks(plugin->Effect(), kReplacing, fIn, fOut, 256);
  RunBlocks(twin->Effect(), kDoubleReplacing, dIn, dOut, 256);
  double energy = 0.0;
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < 2048; ++i)
    {
      ASSERT_EQ(fOut.ch[c][i], static_cast<float>(dOut.ch[c][i])) << c << ":" << i;
      energy += dOut.ch[c][i] * dOut.ch[c][i];
    }
  EXPECT_GT(energy, 1.0);  // the chain ran and made sound
}

// A host that ignores its own announced block size: 5000 frames at once must
// come out sample for sample as 512-frame blocks do, on every callback.
TEST(VstProcess, OversizedBlocksEqualAnnouncedSizeBlocks)
{
  for (ECallback cb : {kProcess, kReplacing, kDoubleReplacing})
  {
    auto whole = LoadTorven();
    auto sliced = LoadTorven();
    ASSERT_TRUE(whole && sliced);
    whole->Dispatch(effSetBlockSize, 0, 512);
    sliced->Dispatch(effSetBlockSize, 0, 512);
    std::vector<double> a[2], b[2];
    if (cb == kDoubleReplacing)
    {
      Stereo<double> in(5000), outA(5000), outB(5000);
      in.FillMusic();
      RunBlocks(whole->Effect(), cb, in, outA, 5000);
      RunBlocks(sliced->Effect(), cb, in, outB, 512);
      for (int c = 0; c < 2; ++c) a[c] = outA.ch[c], b[c] = outB.ch[c];
    }
    else
    {
      Stereo<float> in(5000), outA(5000, 0.125f), outB(5000, 0.125f);
      in.FillMusic();
      RunBlocks(whole->Effect(), cb, in, outA, 5000);
      RunBlocks(sliced->Effect(), cb, in, outB, 512);
      for (int c = 0; c < 2; ++c)
      {
        a[c].assign(outA.ch[c].begin(), outA.ch[c].end());
        b[c].assign(outB.ch[c].begin(), outB.ch[c].end());
      }
    }
    for (int c = 0; c < 2; ++c)
    {
      EXPECT_EQ(a[c], b[c]) << Name(cb) << " channel " << c;
      EXPECT_NE(a[c][4999], cb == kDoubleReplacing ? 0.0 : 0.125) << Name(cb);  // the tail was processed
    }
  }
}

TEST(VstProcess, EmptyNegativeAndOrphanedCallsTouchNothing)
{
  auto plugin = LoadTorven();
  ASSERT_TRUE(plugin);
  AEffect* e = plugin->Effect();
  Stereo<float> fIn(16, 1.f), fOut(16, 9.f);
  Stereo<double> dIn(16, 1.0), dOut(16, 9.0);
  for (int n : {0, -1, -100000})
  {
    e->process(e, fIn.Get(), fOut.Get(), n);
    e->processReplacing(e, fIn.Get(), fOut.Get(), n);
    e->processDoubleReplacing(e, dIn.Get(), dOut.Get(), n);
  }
  EXPECT_EQ(fOut.ch[0], std::vector<float>(16, 9.f));
  EXPECT_EQ(dOut.ch[1], std::vector<double>(16, 9.0));

  // A record without its instance, or no record at all.
  AEffect orphan = *e;
  orphan.object = nullptr;
  orphan.process(&orphan, fIn.Get(), fOut.Get(), 16);
  orphan.processReplacing(&orphan, fIn.Get(), fOut.Get(), 16);
  orphan.processDoubleReplacing(&orphan, dIn.Get(), dOut.Get(), 16);
  e->process(nullptr, fIn.Get(), fOut.Get(), 16);
  e->processReplacing(nullptr, fIn.Get(), fOut.Get(), 16);
  e->processDoubleReplacing(nullptr, dIn.Get(), dOut.Get(), 16);
  EXPECT_EQ(fOut.ch[1], std::vector<float>(16, 9.f));
  EXPECT_EQ(dOut.ch[0], std::vector<double>(16, 9.0));

  // Missing buffer arrays are refused.
  e->processReplacing(e, nullptr, fOut.Get(), 16);
  e->processDoubleReplacing(e, dIn.Get(), nullptr, 16);
  EXPECT_EQ(fOut.ch[1], std::vector<float>(16, 9.f));
}

constexpr unsigned int kFtzDaz = 0x8040;
constexpr unsigned int kStatusFlags = 0x3F;

// Control words a host may run with: the default, FTZ/DAZ already on, round
// toward zero, round up with the sticky inexact and underflow flags set.
const unsigned int kHostModes[] = {0x1F80u, 0x1F80u | kFtzDaz, 0x1F80u | 0x6000u, 0x1F80u | 0x4000u | 0x30u};

TEST(VstProcess, LoadingAndCreatingLeaveTheFloatingPointModeAlone)
{
  const unsigned int saved = _mm_getcsr();
  for (unsigned int mode : {0x1F80u, 0x1F80u | 0x6000u})
  {
    _mm_setcsr(mode);
    void* lib = dlopen(TORVEN_SO, RTLD_NOW | RTLD_LOCAL);
    const unsigned int afterLoad = _mm_getcsr();
    ASSERT_NE(lib, nullptr);
    auto entry = reinterpret_cast<VstPluginMainProc>(dlsym(lib, "VSTPluginMain"));
    ASSERT_NE(entry, nullptr);
    AEffect* e = entry([](AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) -> VstIntPtr { return 0; });
    const unsigned int afterCreate = _mm_getcsr();
    ASSERT_NE(e, nullptr);
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.f);
    dlclose(lib);
    const unsigned int afterClose = _mm_getcsr();
    _mm_setcsr(saved);
    EXPECT_EQ(afterLoad, mode);
    // Construction does arithmetic, which may raise the sticky status flags;
    // the control bits (FTZ, DAZ, rounding, masks) must be the host's.
    EXPECT_EQ(afterCreate & ~kStatusFlags, mode);
    EXPECT_EQ(afterClose & ~kStatusFlags, mode);
  }
}

TEST(VstProcess, EveryCallbackRestoresTheHostsFloatingPointModeExactly)
{
  auto plugin = LoadTorven();
  ASSERT_TRUE(plugin);
  AEffect* e = plugin->Effect();
  Stereo<float> fIn(1500), fOut(1500);
  Stereo<double> dIn(1500), dOut(1500);
  fIn.FillMusic();
  dIn.FillMusic();
  const unsigned int saved = _mm_getcsr();
  for (unsigned int mode : kHostModes)
    for (ECallback cb : {kProcess, kReplacing, kDoubleReplacing})
      for (int n : {512, 1500, 0})  // in one piece, in slices, empty
      {
        _mm_setcsr(mode);
        if (cb == kProcess) e->process(e, fIn.Get(), fOut.Get(), n);
        else if (cb == kReplacing) e->processReplacing(e, fIn.Get(), fOut.Get(), n);
        else e->processDoubleReplacing(e, dIn.Get(), dOut.Get(), n);
        const unsigned int after = _mm_getcsr();
        _mm_setcsr(saved);
        EXPECT_EQ(after, mode) << std::hex << "mode 0x" << mode << " " << Name(cb) << " " << std::dec << n;
      }
}

}  // namespace
