// The process callbacks of the VST 2.4 adapter seen from inside a plug-in:
// what the plug-in is handed, that the instance mutex is held, that MIDI is
// asked for only by a plug-in that declares it, and that processing runs with
// flush-to-zero and denormals-are-zero on.
#include "WDL/IPlug/IPlugVST.h"

#include <gtest/gtest.h>

#include <xmmintrin.h>

#include <thread>
#include <vector>

namespace {

std::vector<VstInt32> gHostOpcodes;

VstIntPtr RecordingHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
  gHostOpcodes.push_back(opcode);
  return opcode == audioMasterVersion ? kVstVersion : 0;
}

class ProbePlug : public IPlugVST
{
public:
  explicit ProbePlug(bool doesMidi)
    : IPlugVST(MakeInfo(), 0, "2-2", 1, "Probe", "Probe", "Maker", 0x10000, 1, 2, 0, doesMidi, false, false, 0)
  {
  }

  static IPlugInstanceInfo MakeInfo()
  {
    IPlugInstanceInfo info;
    info.mVSTHostCallback = RecordingHost;
    return info;
  }

  void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) override
  {
    csr.push_back(_mm_getcsr());
    frames.push_back(nFrames);
    in0.push_back(inputs[0]);
    bool otherGot = true;
    if (probeLock)
    {
      std::thread([&] {
        otherGot = GetMutex()->TryEnter();
        if (otherGot) GetMutex()->Leave();
      }).join();
      locked.push_back(!otherGot);
    }
    for (int c = 0; c < 2; ++c)
      for (int i = 0; i < nFrames; ++i) outputs[c][i] = inputs[c][i] * 2.0;
  }

  using IPlugVST::GetInChannel;

  std::vector<unsigned int> csr;
  std::vector<int> frames;
  std::vector<double*> in0;
  std::vector<bool> locked;
  bool probeLock = false;
};

void CallAll(AEffect* e, int n)
{
  std::vector<float> f(static_cast<size_t>(n > 0 ? n : 1), 0.5f), fo(f.size());
  std::vector<double> d(f.size(), 0.5), dout(f.size());
  float* fi[2] = {f.data(), f.data()};
  float* fOut[2] = {fo.data(), fo.data()};
  double* di[2] = {d.data(), d.data()};
  double* dOut[2] = {dout.data(), dout.data()};
  e->process(e, fi, fOut, n);
  e->processReplacing(e, fi, fOut, n);
  e->processDoubleReplacing(e, di, dOut, n);
}

TEST(AdapterProcess, EachCallbackRoutesItsPrecisionUnderTheMutex)
{
  ProbePlug plug(false);
  AEffect* e = plug.GetAEffect();
  plug.probeLock = true;
  float fIn[2][64], fOut[2][64];
  double dIn[2][64], dOut[2][64];
  for (int i = 0; i < 64; ++i)
  {
    fIn[0][i] = fIn[1][i] = 0.25f;
    fOut[0][i] = fOut[1][i] = 1.0f;
    dIn[0][i] = dIn[1][i] = 0.25;
  }
  float* fi[2] = {fIn[0], fIn[1]};
  float* fo[2] = {fOut[0], fOut[1]};
  double* di[2] = {dIn[0], dIn[1]};
  double* dO[2] = {dOut[0], dOut[1]};

  e->process(e, fi, fo, 64);  // accumulating
  EXPECT_EQ(fOut[1][63], 1.5f);
  e->processReplacing(e, fi, fo, 64);
  EXPECT_EQ(fOut[0][0], 0.5f);
  e->processDoubleReplacing(e, di, dO, 64);
  EXPECT_EQ(dOut[1][10], 0.5);

  ASSERT_EQ(plug.in0.size(), 3u);
  EXPECT_EQ(plug.in0[0], plug.GetInChannel(0)->mScratchBuf.Get());
  EXPECT_EQ(plug.in0[1], plug.GetInChannel(0)->mScratchBuf.Get());
  EXPECT_EQ(plug.in0[2], dIn[0]);
  EXPECT_EQ(plug.locked, (std::vector<bool>{true, true, true}));
}

TEST(AdapterProcess, OnlyAMidiPluginAsksForMidiEveryBlock)
{
  {
    ProbePlug plain(false);
    gHostOpcodes.clear();
    CallAll(plain.GetAEffect(), 32);
    EXPECT_TRUE(gHostOpcodes.empty());
  }
  {
    ProbePlug midi(true);
    gHostOpcodes.clear();
    CallAll(midi.GetAEffect(), 32);
    CallAll(midi.GetAEffect(), 0);
    EXPECT_EQ(gHostOpcodes, std::vector<VstInt32>(6, audioMasterWantMidi));
  }
}

TEST(AdapterProcess, ProcessingRunsWithDenormalsFlushed)
{
  ProbePlug plug(false);
  const unsigned int saved = _mm_getcsr();
  for (unsigned int mode : {0x1F80u, 0x1F80u | 0x6000u})
  {
    plug.csr.clear();
    plug.frames.clear();
    _mm_setcsr(mode);
    CallAll(plug.GetAEffect(), 16);
    CallAll(plug.GetAEffect(), 3000);  // sliced into the 1024-frame block size
    const unsigned int after = _mm_getcsr();
    _mm_setcsr(saved);
    EXPECT_EQ(after, mode);
    ASSERT_EQ(plug.csr.size(), 3u + 3u * 3u);
    // FTZ and DAZ on, everything else (rounding, masks) as the host had it;
    // the sticky status flags are not compared.
    for (unsigned int c : plug.csr) EXPECT_EQ(c & ~0x3Fu, mode | 0x8040u) << std::hex << c;
    for (int n : plug.frames) EXPECT_LE(n, 1024);
  }
}

}  // namespace
