// Audio buffer routing: how host buffers reach the plug-in's double-precision
// slots on the double, float and accumulating paths, disconnected channels,
// empty and oversized blocks, and the scoped denormal mode.
#include "WDL/IPlug/IPlugBase.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace {

// Records every call; writes either a constant or a one-pole low-pass of its
// input (whose output depends on all earlier samples, so a block cut into
// slices in the wrong order or with gaps would show).
class RoutePlug : public IPlugBase
{
public:
  enum EMode
  {
    kConstant,
    kOnePole,
    kThird
  };

  explicit RoutePlug(const char* channelIO = "2-2", EMode mode = kConstant)
    : IPlugBase(0, channelIO, 0, "Route", "Route", "Maker", 0x10000, 1, 2, 0, false, false, false, kAPIVST2),
      mMode(mode)
  {
    SetInputChannelConnections(0, NInChannels(), true);
    SetOutputChannelConnections(0, NOutChannels(), true);
  }

  struct Call
  {
    std::vector<double*> in, out;
    std::vector<std::vector<double>> inSamples;
    int nFrames;
  };

  void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) override
  {
    Call c;
    c.nFrames = nFrames;
    for (int i = 0; i < NInChannels(); ++i)
    {
      c.in.push_back(inputs[i]);
      c.inSamples.emplace_back();
      if (inputs[i] && nFrames > 0) c.inSamples.back().assign(inputs[i], inputs[i] + nFrames);
    }
    for (int i = 0; i < NOutChannels(); ++i) c.out.push_back(outputs[i]);
    calls.push_back(c);

    for (int i = 0; i < NOutChannels(); ++i)
    {
      const double* in = i < NInChannels() ? c.inSamples[i].data() : nullptr;
      for (int s = 0; s < nFrames; ++s)
      {
        const double x = in ? in[s] : 0.0;
        switch (mMode)
        {
          case kConstant: outputs[i][s] = constant; break;
          case kThird: outputs[i][s] = x / 3.0; break;
          case kOnePole:
            mState[i] += 0.01 * (x - mState[i]);
            outputs[i][s] = mState[i];
            break;
        }
      }
    }
  }

  void BeginInformHostOfParamChange(int) override {}
  void InformHostOfParamChange(int, double) override {}
  void EndInformHostOfParamChange(int) override {}
  void InformHostOfProgramChange() override {}
  int GetSamplePos() override { return 0; }
  double GetTempo() override { return 0.0; }
  void GetTimeSig(int* n, int* d) override { *n = *d = 0; }
  void GetTime(ITimeInfo*) override {}
  void ResizeGraphics(int, int) override {}
  bool SendMidiMsg(IMidiMsg*) override { return false; }

  using IPlugBase::AttachInputBuffers;
  using IPlugBase::AttachOutputBuffers;
  using IPlugBase::GetInChannel;
  using IPlugBase::GetOutChannel;
  using IPlugBase::PassThroughBuffers;
  using IPlugBase::ProcessBuffers;
  using IPlugBase::ProcessBuffersAccumulating;
  using IPlugBase::ProcessHostBlock;
  using IPlugBase::ZeroScratchBuffers;

  std::vector<Call> calls;
  double constant = 0.5;

private:
  EMode mMode;
  double mState[8] = {};
};

template <typename T>
struct Channels
{
  std::vector<std::vector<T>> data;
  std::vector<T*> ptrs;
  Channels(int nChannels, int nFrames, T fill = T(0))
    : data(static_cast<size_t>(nChannels), std::vector<T>(static_cast<size_t>(nFrames), fill))
  {
    for (auto& ch : data) ptrs.push_back(ch.data());
  }
  T** Get() { return ptrs.data(); }
};

// A deterministic signal with some life in it.
template <typename T>
void FillSignal(Channels<T>* ch, int seed)
{
  for (size_t c = 0; c < ch->data.size(); ++c)
    for (size_t i = 0; i < ch->data[c].size(); ++i)
      ch->data[c][i] = static_cast<T>(0.5 * std::sin(0.01 * static_cast<double>(i * (c + 1) + seed)) +
                                      0.25 * std::sin(0.37 * static_cast<double>(i) + seed));
}

TEST(RoutingDouble, PluginReceivesExactlyTheHostsPointers)
{
  RoutePlug plug;
  plug.SetBlockSize(64);
  Channels<double> in(2, 64, 0.125), out(2, 64);
  plug.AttachInputBuffers(0, 2, in.Get(), 40);
  plug.AttachOutputBuffers(0, 2, out.Get());
  plug.ProcessBuffers(0.0, 40);
  ASSERT_EQ(plug.calls.size(), 1u);
  EXPECT_EQ(plug.calls[0].nFrames, 40);
  EXPECT_EQ(plug.calls[0].in, (std::vector<double*>{in.ptrs[0], in.ptrs[1]}));
  EXPECT_EQ(plug.calls[0].out, (std::vector<double*>{out.ptrs[0], out.ptrs[1]}));
  EXPECT_EQ(out.data[1][39], 0.5);
  EXPECT_EQ(out.data[1][40], 0.0);  // nothing past nFrames

  // The whole-block entry point hands over the same pointers.
  plug.ProcessHostBlock(in.Get(), out.Get(), 64);
  EXPECT_EQ(plug.calls[1].in, plug.calls[0].in);
  EXPECT_EQ(plug.calls[1].out, plug.calls[0].out);
}

TEST(RoutingFloat, InputsConvertIntoScratchAndOutputsRoundToFloat)
{
  RoutePlug plug("2-2", RoutePlug::kThird);
  plug.SetBlockSize(32);
  Channels<float> in(2, 32), out(2, 32, 9.f);
  FillSignal(&in, 3);
  plug.ProcessHostBlock(in.Get(), out.Get(), 32, false);
  ASSERT_EQ(plug.calls.size(), 1u);
  const RoutePlug::Call& c = plug.calls[0];
  for (int ch = 0; ch < 2; ++ch)
  {
    EXPECT_EQ(c.in[ch], plug.GetInChannel(ch)->mScratchBuf.Get());
    EXPECT_EQ(c.out[ch], plug.GetOutChannel(ch)->mScratchBuf.Get());
    EXPECT_EQ(plug.GetOutChannel(ch)->mFDest, out.ptrs[ch]);
    for (int i = 0; i < 32; ++i)
    {
      EXPECT_EQ(c.inSamples[ch][i], static_cast<double>(in.data[ch][i]));
      EXPECT_EQ(out.data[ch][i], static_cast<float>(static_cast<double>(in.data[ch][i]) / 3.0));
    }
  }
}

TEST(RoutingFloat, AccumulatingAddsInSinglePrecision)
{
  RoutePlug plug;
  plug.SetBlockSize(16);
  Channels<float> in(2, 16), out(2, 16, 0.25f);
  plug.ProcessHostBlock(in.Get(), out.Get(), 16, true);
  for (int ch = 0; ch < 2; ++ch)
    for (int i = 0; i < 16; ++i) EXPECT_EQ(out.data[ch][i], 0.75f);

  // 1 + (2^-24 + 2^-60): adding in double and rounding once gives the float
  // above 1; rounding the addend first and adding in float ties back to 1.
  plug.constant = std::ldexp(1.0, -24) + std::ldexp(1.0, -60);
  Channels<float> one(2, 16, 1.0f);
  plug.ProcessHostBlock(in.Get(), one.Get(), 16, true);
  EXPECT_EQ(one.data[0][0], 1.0f);
  EXPECT_EQ(one.data[1][15], 1.0f);

  // The replacing call writes over whatever was there.
  plug.constant = 0.5;
  Channels<float> repl(2, 16, 0.25f);
  plug.ProcessHostBlock(in.Get(), repl.Get(), 16, false);
  EXPECT_EQ(repl.data[0][3], 0.5f);
}

TEST(RoutingChannels, DisconnectedInputReadsZerosOnBothPaths)
{
  RoutePlug plug("2-2", RoutePlug::kThird);
  plug.SetBlockSize(8);
  plug.SetInputChannelConnections(1, 1, false);

  // The host supplies one input pointer: it goes to channel 0.
  float fIn0[8] = {3, 3, 3, 3, 3, 3, 3, 3};
  float* fIns[1] = {fIn0};
  Channels<float> fOut(2, 8);
  plug.ProcessHostBlock(fIns, fOut.Get(), 8, false);
  EXPECT_EQ(plug.calls[0].in[1], plug.GetInChannel(1)->mScratchBuf.Get());
  EXPECT_EQ(plug.calls[0].inSamples[0], std::vector<double>(8, 3.0));
  EXPECT_EQ(plug.calls[0].inSamples[1], std::vector<double>(8, 0.0));
  EXPECT_EQ(fOut.data[0][7], 1.0f);
  EXPECT_EQ(fOut.data[1][7], 0.0f);

  double dIn0[8] = {6, 6, 6, 6, 6, 6, 6, 6};
  double* dIns[1] = {dIn0};
  Channels<double> dOut(2, 8);
  plug.ProcessHostBlock(dIns, dOut.Get(), 8);
  EXPECT_EQ(plug.calls[1].in[0], dIn0);
  EXPECT_EQ(plug.calls[1].in[1], plug.GetInChannel(1)->mScratchBuf.Get());
  EXPECT_EQ(plug.calls[1].inSamples[1], std::vector<double>(8, 0.0));
  EXPECT_EQ(dOut.data[0][0], 2.0);
}

TEST(RoutingChannels, DisconnectedOutputRendersIntoScratchOnly)
{
  RoutePlug plug;
  plug.SetBlockSize(8);
  plug.SetOutputChannelConnections(0, 1, false);
  Channels<float> in(2, 8);
  float out1[8] = {};
  float* outs[1] = {out1};  // the host's one output pointer is channel 1's
  plug.ProcessHostBlock(in.Get(), outs, 8, false);
  EXPECT_EQ(plug.calls[0].out[0], plug.GetOutChannel(0)->mScratchBuf.Get());
  EXPECT_EQ(out1[5], 0.5f);
}

TEST(RoutingChannels, DisconnectingAChannelClearsItsStaleScratch)
{
  RoutePlug plug;
  plug.SetBlockSize(8);
  Channels<float> in(2, 8, 0.7f), out(2, 8);
  plug.ProcessHostBlock(in.Get(), out.Get(), 8, false);
  EXPECT_EQ(plug.calls[0].inSamples[1][0], static_cast<double>(0.7f));

  // Channel 1 goes away: its slot is its scratch buffer again, which must not
  // replay the last block it converted.
  plug.SetInputChannelConnections(1, 1, false);
  float* one[1] = {in.ptrs[0]};
  for (int block = 0; block < 2; ++block) plug.ProcessHostBlock(one, out.Get(), 8, false);
  EXPECT_EQ(plug.calls[1].inSamples[1], std::vector<double>(8, 0.0));
  EXPECT_EQ(plug.calls[2].inSamples[1], std::vector<double>(8, 0.0));
  EXPECT_EQ(plug.calls[2].inSamples[0][0], static_cast<double>(0.7f));

  // Likewise for an output whose scratch the plug-in rendered into.
  plug.SetOutputChannelConnections(0, 1, false);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(plug.GetOutChannel(0)->mScratchBuf.Get()[i], 0.0);
}

TEST(RoutingBlocks, EmptyAndNegativeBlocksCallThePluginOnceWithNoFrames)
{
  RoutePlug plug;
  plug.SetBlockSize(16);
  Channels<float> fIn(2, 16, 1.f), fOut(2, 16, 9.f);
  Channels<double> dIn(2, 16, 1.0), dOut(2, 16, 9.0);
  for (int n : {0, -1, -1000})
  {
    plug.calls.clear();
    plug.ProcessHostBlock(fIn.Get(), fOut.Get(), n, false);
    plug.ProcessHostBlock(fIn.Get(), fOut.Get(), n, true);
    plug.ProcessHostBlock(dIn.Get(), dOut.Get(), n);
    plug.ProcessBuffers(0.0f, n);
    ASSERT_EQ(plug.calls.size(), 4u) << n;
    for (const auto& c : plug.calls) EXPECT_EQ(c.nFrames, 0);
  }
  EXPECT_EQ(fOut.data[0][0], 9.f);
  EXPECT_EQ(dOut.data[1][0], 9.0);
}

TEST(RoutingBlocks, WithoutABlockSizeTheHostGetsSilenceNotAnOverrun)
{
  RoutePlug plug;  // block size never set: no scratch at all
  ASSERT_EQ(plug.GetBlockSize(), 0);
  Channels<float> fIn(2, 100, 1.f), fOut(2, 100, 9.f), fAcc(2, 100, 9.f);
  Channels<double> dIn(2, 100, 1.0), dOut(2, 100, 9.0);
  plug.ProcessHostBlock(fIn.Get(), fOut.Get(), 100, false);
  plug.ProcessHostBlock(fIn.Get(), fAcc.Get(), 100, true);
  plug.ProcessHostBlock(dIn.Get(), dOut.Get(), 100);
  ASSERT_EQ(plug.calls.size(), 3u);
  for (const auto& c : plug.calls) EXPECT_EQ(c.nFrames, 0);
  EXPECT_EQ(fOut.data[1], std::vector<float>(100, 0.f));
  EXPECT_EQ(fAcc.data[1], std::vector<float>(100, 9.f));  // nothing added
  EXPECT_EQ(dOut.data[0], std::vector<double>(100, 0.0));
}

TEST(RoutingBlocks, MissingPointerArraysAreRefused)
{
  RoutePlug plug;
  plug.SetBlockSize(16);
  Channels<float> f(2, 16);
  plug.ProcessHostBlock(nullptr, f.Get(), 16, false);
  plug.ProcessHostBlock(f.Get(), nullptr, 16, true);
  plug.ProcessHostBlock(static_cast<double**>(nullptr), nullptr, 16);
  EXPECT_TRUE(plug.calls.empty());

  // Without connected channels there is nothing to point at: fine.
  RoutePlug none("0-0");
  none.SetBlockSize(16);
  none.ProcessHostBlock(static_cast<float**>(nullptr), nullptr, 16, false);
  EXPECT_EQ(none.calls.size(), 1u);
}

enum EPath
{
  kDouble,
  kFloat,
  kAccumulate
};

// Runs `frames` frames of a fixed signal through a fresh one-pole plug-in in
// host blocks of hostBlock frames, with the plug-in's block size at 512;
// returns channel 0 and 1 outputs as doubles, plus the largest block the
// plug-in saw.
// With monoInput, input 1 is disconnected and the host passes one input.
std::vector<std::vector<double>> RunOnePole(EPath path, bool monoInput, int frames, int hostBlock, int* pMaxSeen)
{
  RoutePlug plug("2-2", RoutePlug::kOnePole);
  plug.SetBlockSize(512);
  if (monoInput) plug.SetInputChannelConnections(1, 1, false);
  const int nConnIn = monoInput ? 1 : 2;

  Channels<double> dIn(nConnIn, frames), dOut(2, frames, 0.125);
  Channels<float> fIn(nConnIn, frames), fOut(2, frames, 0.125f);
  FillSignal(&dIn, 1);
  FillSignal(&fIn, 1);
  for (int pos = 0; pos < frames; pos += hostBlock)
  {
    const int n = frames - pos < hostBlock ? frames - pos : hostBlock;
    std::vector<double*> di, dout;
    std::vector<float*> fi, fout;
    for (int c = 0; c < nConnIn; ++c)
    {
      di.push_back(dIn.ptrs[c] + pos);
      fi.push_back(fIn.ptrs[c] + pos);
    }
    for (int c = 0; c < 2; ++c)
    {
      dout.push_back(dOut.ptrs[c] + pos);
      fout.push_back(fOut.ptrs[c] + pos);
    }
    if (path == kDouble) plug.ProcessHostBlock(di.data(), dout.data(), n);
    else plug.ProcessHostBlock(fi.data(), fout.data(), n, path == kAccumulate);
  }
  *pMaxSeen = 0;
  for (const auto& c : plug.calls) *pMaxSeen = c.nFrames > *pMaxSeen ? c.nFrames : *pMaxSeen;
  std::vector<std::vector<double>> result(2);
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < frames; ++i)
      result[c].push_back(path == kDouble ? dOut.data[c][i] : static_cast<double>(fOut.data[c][i]));
  return result;
}

TEST(RoutingBlocks, OversizedHostBlocksGoThroughInOrderedSlices)
{
  for (EPath path : {kDouble, kFloat, kAccumulate})
    for (bool mono : {false, true})
    {
      int maxWhole = 0, maxSliced = 0;
      const auto whole = RunOnePole(path, mono, 5000, 5000, &maxWhole);
      const auto sliced = RunOnePole(path, mono, 5000, 512, &maxSliced);
      EXPECT_EQ(maxWhole, 512) << path << mono;
      EXPECT_EQ(maxSliced, 512) << path << mono;
      EXPECT_EQ(whole, sliced) << path << mono;
      EXPECT_NE(whole[0][4999], 0.125);  // the tail was written too
    }
}

TEST(RoutingBlocks, DirectCallsNeverHandleMoreThanTheBlockSize)
{
  RoutePlug plug;
  plug.SetBlockSize(64);
  Channels<float> in(2, 200, 1.f), out(2, 200, 9.f);
  plug.AttachInputBuffers(0, 2, in.Get(), 200);
  plug.AttachOutputBuffers(0, 2, out.Get());
  plug.ProcessBuffers(0.0f, 200);
  EXPECT_EQ(plug.calls[0].nFrames, 64);
  EXPECT_EQ(out.data[0][63], 0.5f);
  EXPECT_EQ(out.data[0][64], 9.f);
}

TEST(RoutingPassThrough, CopiesInputsZeroesTheRestAndConverts)
{
  RoutePlug plug("2-3");
  plug.SetBlockSize(16);
  Channels<double> dIn(2, 16), dOut(3, 16, 9.0);
  FillSignal(&dIn, 5);
  plug.AttachInputBuffers(0, 2, dIn.Get(), 16);
  plug.AttachOutputBuffers(0, 3, dOut.Get());
  plug.PassThroughBuffers(0.0, 16);
  EXPECT_TRUE(plug.calls.empty());
  EXPECT_EQ(dOut.data[0], dIn.data[0]);
  EXPECT_EQ(dOut.data[1], dIn.data[1]);
  EXPECT_EQ(dOut.data[2], std::vector<double>(16, 0.0));

  Channels<float> fIn(2, 16), fOut(3, 16, 9.f);
  FillSignal(&fIn, 6);
  plug.AttachInputBuffers(0, 2, fIn.Get(), 16);
  plug.AttachOutputBuffers(0, 3, fOut.Get());
  plug.PassThroughBuffers(0.0f, 16);
  EXPECT_EQ(fOut.data[0], fIn.data[0]);
  EXPECT_EQ(fOut.data[1], fIn.data[1]);
  EXPECT_EQ(fOut.data[2], std::vector<float>(16, 0.f));

  // And the scratch buffers can be cleared on request.
  plug.ZeroScratchBuffers();
  for (int ch = 0; ch < 2; ++ch)
    for (int i = 0; i < 16; ++i) EXPECT_EQ(plug.GetInChannel(ch)->mScratchBuf.Get()[i], 0.0);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(plug.GetOutChannel(1)->mScratchBuf.Get()[i], 0.0);
}

#if defined(__SSE__)
TEST(DenormalGuard, FlushesInsideAndRestoresTheCallersModeExactly)
{
  const unsigned int original = _mm_getcsr();
  const unsigned int kFtzDaz = 0x8040;
  const unsigned int kRoundingMask = 0x6000;
  volatile double tiny = 1e-300;
  // Starting states: default, FTZ/DAZ already on, round toward zero with a
  // sticky inexact flag set.
  for (unsigned int start : {0x1F80u, 0x1F80u | kFtzDaz, 0x1F80u | kRoundingMask | 0x20u})
  {
    _mm_setcsr(start);
    {
      IScopedDenormalGuard guard;
      EXPECT_EQ(_mm_getcsr() & kFtzDaz, kFtzDaz);
      EXPECT_EQ(_mm_getcsr() & kRoundingMask, start & kRoundingMask);
      EXPECT_EQ(tiny * 1e-10, 0.0);  // would be subnormal
      {
        IScopedDenormalGuard nested;
        EXPECT_EQ(_mm_getcsr() & kFtzDaz, kFtzDaz);
      }
      EXPECT_EQ(_mm_getcsr() & kFtzDaz, kFtzDaz);
    }
    EXPECT_EQ(_mm_getcsr(), start);
  }
  _mm_setcsr(original);
  EXPECT_NE(tiny * 1e-10, 0.0);
}
#endif

}  // namespace
