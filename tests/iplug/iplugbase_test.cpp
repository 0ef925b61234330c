#include "WDL/IPlug/IPlugBase.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "IGraphicsMemory.h"

namespace {

int Pack4(const char* s)
{
  return (s[0] << 24) | (s[1] << 16) | (s[2] << 8) | s[3];
}

// The smallest adapter: records what the core asks of the host.
class TestPlug : public IPlugBase
{
public:
  explicit TestPlug(const char* channelIO, int nParams = 8, int nPresets = 1, const char* name = "Test",
                    EAPI api = kAPIVST2)
    : IPlugBase(nParams, channelIO, nPresets, name, "Product", "Maker", 0x40000, Pack4("Tst1"), Pack4("Mkr1"), 3,
                false, false, false, api)
  {
  }

  void OnParamChange(int paramIdx) override
  {
    IPlugBase::OnParamChange(paramIdx);
    changes.push_back(paramIdx);
    if (probeLock)
    {
      bool otherGot = true;
      std::thread([&] {
        otherGot = GetMutex()->TryEnter();
        if (otherGot) GetMutex()->Leave();
      }).join();
      lockedDuringChange.push_back(!otherGot);
    }
  }

  void BeginInformHostOfParamChange(int) override {}
  void InformHostOfParamChange(int idx, double v) override { informed.emplace_back(idx, v); }
  void EndInformHostOfParamChange(int) override {}
  void InformHostOfProgramChange() override {}
  int GetSamplePos() override { return 0; }
  double GetTempo() override { return tempo; }
  void GetTimeSig(int* n, int* d) override { *n = *d = 0; }
  void GetTime(ITimeInfo*) override {}
  void ResizeGraphics(int, int) override {}
  bool SendMidiMsg(IMidiMsg* pMsg) override
  {
    sent.push_back(*pMsg);
    return true;
  }

  using IPlugBase::GetInChannel;
  using IPlugBase::GetInputData;
  using IPlugBase::GetOutChannel;
  using IPlugBase::GetOutputData;

  std::vector<int> changes;
  std::vector<std::pair<int, double>> informed;
  std::vector<IMidiMsg> sent;
  std::vector<bool> lockedDuringChange;
  bool probeLock = false;
  double tempo = 0.0;
};

struct GraphicsLog
{
  std::vector<std::pair<int, double>> values;
  std::vector<bool> normalized;
  int prepDraws = 0;
  bool deleted = false;
};

// The memory host with the two calls the core makes recorded instead of run.
class FakeGraphics : public IGraphicsMemory
{
public:
  FakeGraphics(IPlugBase* pPlug, GraphicsLog* pLog) : IGraphicsMemory(pPlug, 300, 200, 25), mLog(pLog) {}
  ~FakeGraphics() override { mLog->deleted = true; }
  void SetParameterFromPlug(int idx, double value, bool normalized) override
  {
    mLog->values.emplace_back(idx, value);
    mLog->normalized.push_back(normalized);
  }
  void PrepDraw() override { ++mLog->prepDraws; }

private:
  GraphicsLog* mLog;
};

std::vector<std::pair<int, int>> Pairs(const IPlugBase& plug)
{
  std::vector<std::pair<int, int>> v;
  for (int i = 0; i < plug.NChannelIO(); ++i)
  {
    int in = -9, out = -9;
    plug.GetChannelIO(i, &in, &out);
    v.emplace_back(in, out);
  }
  return v;
}

// Parameters 1.0 .. 10.0 defaulting to 5.0, so 0.0 reads back clamped to 1.0.
void InitRanges(TestPlug& plug)
{
  for (int i = 0; i < plug.NParams(); ++i) plug.GetParam(i)->InitDouble("p", 5.0, 1.0, 10.0, 0.01);
}

}  // namespace

TEST(IPlugBase, StereoChannelConfiguration)
{
  TestPlug plug("1-1 2-2");
  EXPECT_EQ(Pairs(plug), (std::vector<std::pair<int, int>>{{1, 1}, {2, 2}}));
  EXPECT_EQ(plug.NInChannels(), 2);
  EXPECT_EQ(plug.NOutChannels(), 2);
  EXPECT_TRUE(plug.LegalIO(1, -1));
  EXPECT_TRUE(plug.LegalIO(2, 2));
  EXPECT_TRUE(plug.LegalIO(-1, -1));
  EXPECT_FALSE(plug.LegalIO(1, 2));
  EXPECT_FALSE(plug.LegalIO(0, 0));
  EXPECT_FALSE(plug.IsInChannelConnected(0));  // nothing connected until the adapter says so
}

TEST(IPlugBase, NullChannelStringGivesNoChannels)
{
  TestPlug plug(nullptr);
  EXPECT_EQ(plug.NChannelIO(), 0);
  EXPECT_EQ(plug.NInChannels(), 0);
  EXPECT_EQ(plug.NOutChannels(), 0);
  EXPECT_FALSE(plug.LegalIO(-1, -1));
  EXPECT_FALSE(plug.GetChannelIO(0, nullptr, nullptr));
  double* in[1] = {nullptr};
  double* out[1] = {nullptr};
  plug.ProcessDoubleReplacing(in, out, 16);  // nothing to do, nothing touched
}

TEST(IPlugBase, MalformedChannelStrings)
{
  using P = std::vector<std::pair<int, int>>;
  const struct
  {
    const char* str;
    P pairs;
    int nIn, nOut;
  } cases[] = {
    {"", P{{0, 0}}, 0, 0},
    {"x", P{{0, 0}}, 0, 0},
    {"1-", P{{1, 0}}, 1, 0},
    {"-", P{{0, 0}}, 0, 0},
    {"1-1  ", P{{1, 1}}, 1, 1},              // trailing spaces add no pair
    {"2-2 garbage", P{{2, 2}, {0, 0}}, 2, 2},  // an unreadable pair counts as 0-0
    {"  1-2", P{{1, 2}}, 1, 2},
    {"1-1   2-2", P{{1, 1}, {2, 2}}, 2, 2},
    {"-3-2", P{{0, 2}}, 0, 2},               // negative counts are 0
    {"5000-99999999999999999999", P{{kMaxChannelCount, kMaxChannelCount}}, kMaxChannelCount, kMaxChannelCount},
  };
  for (const auto& c : cases)
  {
    TestPlug plug(c.str);
    EXPECT_EQ(Pairs(plug), c.pairs) << '"' << c.str << '"';
    EXPECT_EQ(plug.NInChannels(), c.nIn) << c.str;
    EXPECT_EQ(plug.NOutChannels(), c.nOut) << c.str;
  }
}

TEST(IPlugBase, ConnectionsAndScratchSlots)
{
  TestPlug plug("1-1 2-2");
  plug.SetInputChannelConnections(0, 2, true);
  plug.SetOutputChannelConnections(0, 2, true);
  EXPECT_TRUE(plug.IsInChannelConnected(1));
  EXPECT_FALSE(plug.IsInChannelConnected(2));
  EXPECT_FALSE(plug.IsInChannelConnected(-1));

  double host = 42.0;
  plug.GetInputData()[0] = &host;
  plug.SetInputChannelConnections(1, 5, false);  // range cut at the channel count
  EXPECT_TRUE(plug.IsInChannelConnected(0));
  EXPECT_FALSE(plug.IsInChannelConnected(1));
  EXPECT_EQ(plug.GetInputData()[1], nullptr);  // no scratch buffer before a block size

  plug.SetBlockSize(64);
  double* scratch = plug.GetInputData()[1];
  ASSERT_NE(scratch, nullptr);  // re-pointed at the new scratch buffer
  EXPECT_EQ(scratch, plug.GetInChannel(1)->mScratchBuf.Get());
  for (int i = 0; i < 64; ++i) ASSERT_EQ(scratch[i], 0.0);
  EXPECT_EQ(plug.GetInputData()[0], &host);  // a connected slot is left alone

  scratch[5] = 1.5;
  plug.SetBlockSize(64);  // same size: untouched
  EXPECT_EQ(plug.GetInputData()[1][5], 1.5);
  plug.SetBlockSize(-1);
  EXPECT_EQ(plug.GetBlockSize(), 64);
  plug.SetBlockSize(100000);
  EXPECT_EQ(plug.GetBlockSize(), 100000);
  EXPECT_EQ(plug.GetInputData()[1], plug.GetInChannel(1)->mScratchBuf.Get());
  EXPECT_EQ(plug.GetInputData()[1][5], 0.0);
  EXPECT_EQ(plug.GetOutChannel(0)->mScratchBuf.GetSize(), 100000);

  plug.SetInputChannelConnections(-1, 2, false);  // index -1 ignored, channel 0 done
  EXPECT_FALSE(plug.IsInChannelConnected(0));
  plug.SetInputChannelConnections(0, -1, true);   // negative count: nothing
  EXPECT_FALSE(plug.IsInChannelConnected(0));
  plug.SetOutputChannelConnections(0, 1, false);
  EXPECT_EQ(plug.GetOutputData()[0], plug.GetOutChannel(0)->mScratchBuf.Get());
}

TEST(IPlugBase, LimitToStereoIO)
{
  TestPlug stereo("1-1 2-2");
  stereo.SetInputChannelConnections(0, 2, true);
  stereo.LimitToStereoIO();
  EXPECT_TRUE(stereo.IsInChannelConnected(0));
  EXPECT_TRUE(stereo.IsInChannelConnected(1));
  EXPECT_FALSE(stereo.IsOutChannelConnected(0));

  TestPlug quad("4-4");
  quad.SetInputChannelConnections(0, 4, true);
  quad.LimitToStereoIO();
  EXPECT_TRUE(quad.IsInChannelConnected(1));
  EXPECT_FALSE(quad.IsInChannelConnected(2));
  EXPECT_FALSE(quad.IsInChannelConnected(3));
  EXPECT_FALSE(quad.IsOutChannelConnected(1));
  EXPECT_TRUE(quad.IsOutChannelConnected(2));
  EXPECT_TRUE(quad.IsOutChannelConnected(3));
}

TEST(IPlugBase, ChannelAndBusLabels)
{
  TestPlug plug("2-2");
  plug.SetInputLabel(1, "Right");
  plug.SetInputLabel(2, "ignored");
  plug.SetOutputLabel(-1, "ignored");
  EXPECT_STREQ(plug.GetInputLabel(1), "Right");
  EXPECT_STREQ(plug.GetInputLabel(0), "");
  EXPECT_STREQ(plug.GetInputLabel(2), "");

  plug.SetInputBusLabel(0, "Main");
  plug.SetInputBusLabel(1, "Side");
  plug.SetInputBusLabel(2, "ignored");
  plug.SetInputBusLabel(0, "Main 2");
  EXPECT_STREQ(plug.GetInputBusLabel(0), "Main 2");
  EXPECT_STREQ(plug.GetInputBusLabel(1), "Side");
  EXPECT_EQ(plug.GetInputBusLabel(2), nullptr);
  plug.SetOutputBusLabel(1, "B");  // list shorter than the index: appended
  EXPECT_STREQ(plug.GetOutputBusLabel(0), "B");
  EXPECT_EQ(plug.GetOutputBusLabel(1), nullptr);
}

TEST(IPlugBase, IdentityVersionsAndDefaults)
{
  const std::string longName(300, 'e');
  TestPlug plug("1-1", 8, 1, longName.c_str());
  EXPECT_EQ(std::strlen(plug.GetEffectName()), 127u);
  EXPECT_STREQ(plug.GetProductName(), "Product");
  EXPECT_STREQ(plug.GetMfrName(), "Maker");
  EXPECT_EQ(plug.GetUniqueID(), 0x54737431);
  EXPECT_EQ(plug.GetEffectVersion(false), 0x40000);
  EXPECT_EQ(plug.GetEffectVersion(true), 40000);
  char str[kMaxVersionStrLen];
  plug.GetEffectVersionStr(str);
  EXPECT_STREQ(str, "v4.0.0");
  EXPECT_STREQ(plug.GetAPIString(), "VST2");
  EXPECT_STREQ(plug.GetArchString(), "x64");
  EXPECT_EQ(plug.GetHost(), kHostUninit);
  EXPECT_EQ(plug.GetSampleRate(), 44100.0);
  EXPECT_EQ(plug.GetBlockSize(), 0);
  EXPECT_EQ(plug.GetLatency(), 3);
  EXPECT_EQ(plug.GetTailSize(), 0);
  EXPECT_EQ(plug.GetCurrentPresetIdx(), 0);
  EXPECT_EQ(plug.GetParam(8), nullptr);
  EXPECT_EQ(plug.GetParam(-1), nullptr);
  plug.SetLatency(128);
  EXPECT_EQ(plug.GetLatency(), 128);

  plug.SetHost("REAPER", 0x50102);
  EXPECT_EQ(plug.GetHost(), kHostReaper);
  EXPECT_EQ(plug.GetHostVersion(true), 50102);
  plug.GetHostVersionStr(str);
  EXPECT_STREQ(str, "v5.1.2");
}

TEST(IPlugBase, APIStrings)
{
  const char* expected[] = {"VST2", "VST3", "AU", "RTAS", "AAX", "Standalone", "LV2", ""};
  for (int api = 0; api < 8; ++api)
  {
    TestPlug plug("1-1", 0, 0, "api", static_cast<EAPI>(api));
    EXPECT_STREQ(plug.GetAPIString(), expected[api]) << api;
    EXPECT_EQ(plug.GetAPI(), api);
  }
}

TEST(IPlugBase, SampleRateAndSamplesPerBeat)
{
  TestPlug plug("1-1");
  plug.SetSampleRate(48000.0);
  plug.tempo = 120.0;
  EXPECT_EQ(plug.GetSamplesPerBeat(), 24000.0);
  plug.tempo = 0.0;
  EXPECT_EQ(plug.GetSamplesPerBeat(), 0.0);
  plug.SetSampleRate(0.0);
  plug.SetSampleRate(-44100.0);
  plug.SetSampleRate(NAN);
  plug.SetSampleRate(INFINITY);
  EXPECT_EQ(plug.GetSampleRate(), 48000.0);
}

TEST(IPlugBase, StateRoundTrip)
{
  TestPlug plug("1-1 2-2");
  InitRanges(plug);
  for (int i = 0; i < 8; ++i) plug.GetParam(i)->Set(1.0 + i);
  ByteChunk chunk;
  EXPECT_TRUE(plug.SerializeState(&chunk));
  ASSERT_EQ(chunk.Size(), 64);
  double first;
  std::memcpy(&first, chunk.GetData(), 8);
  EXPECT_EQ(first, 1.0);

  for (int i = 0; i < 8; ++i) plug.GetParam(i)->Set(9.0);
  EXPECT_EQ(plug.UnserializeState(&chunk, 0), 64);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(plug.GetParam(i)->Value(), 1.0 + i);
  EXPECT_EQ(plug.changes, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));

  TestPlug none("1-1", 0);
  ByteChunk empty;
  EXPECT_TRUE(none.SerializeParams(&empty));
  EXPECT_EQ(empty.Size(), 0);
  EXPECT_FALSE(none.SerializeParams(nullptr));
}

TEST(IPlugBase, UnserializeParamsOnShortChunk)
{
  TestPlug plug("1-1 2-2");
  InitRanges(plug);
  ByteChunk chunk;
  const double a = 2.0, b = 3.0;
  chunk.PutValue(&a);
  chunk.PutValue(&b);
  chunk.PutBytes("\x11\x22\x33\x44", 4);
  ASSERT_EQ(chunk.Size(), 20);

  plug.probeLock = true;
  EXPECT_EQ(plug.UnserializeParams(&chunk, 0), -1);
  EXPECT_EQ(plug.GetParam(0)->Value(), 2.0);
  EXPECT_EQ(plug.GetParam(1)->Value(), 3.0);
  EXPECT_EQ(plug.GetParam(2)->Value(), 1.0);  // 0.0 clamped into 1..10
  for (int i = 3; i < 8; ++i) EXPECT_EQ(plug.GetParam(i)->Value(), 5.0) << i;
  EXPECT_EQ(plug.changes, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(plug.lockedDuringChange, std::vector<bool>(8, true));  // under the instance mutex

  plug.changes.clear();
  plug.probeLock = false;
  EXPECT_EQ(plug.UnserializeParams(&chunk, -8), -1);
  EXPECT_EQ(plug.UnserializeParams(nullptr, 0), -1);
  EXPECT_EQ(plug.GetParam(0)->Value(), 2.0);
  EXPECT_EQ(plug.changes.size(), 16u);  // every parameter, both times

  // Inside the caller's lock: the mutex is recursive.
  IPlugBase::IMutexLock lock(&plug);
  EXPECT_EQ(plug.UnserializeParams(&chunk, 8), -1);
  EXPECT_EQ(plug.GetParam(0)->Value(), 3.0);
}

TEST(IPlugBase, DefaultPresets)
{
  TestPlug plug("1-1", 8, 3);
  InitRanges(plug);
  ASSERT_EQ(plug.NPresets(), 3);
  EXPECT_STREQ(plug.GetPreset(0)->mName, "empty");
  plug.MakeDefaultPreset("-", 1);
  EXPECT_TRUE(plug.GetPreset(0)->mInitialized);
  EXPECT_STREQ(plug.GetPreset(0)->mName, "-");
  EXPECT_EQ(plug.GetPreset(0)->mChunk.Size(), 64);
  EXPECT_FALSE(plug.GetPreset(1)->mInitialized);

  plug.GetParam(0)->Set(7.0);
  plug.EnsureDefaultPreset();
  for (int i = 1; i < 3; ++i)
  {
    EXPECT_TRUE(plug.GetPreset(i)->mInitialized);
    EXPECT_STREQ(plug.GetPreset(i)->mName, "Empty");
    double v = 0;
    plug.GetPreset(i)->mChunk.GetValue(&v, 0);
    EXPECT_EQ(v, 7.0);
  }
  double v0 = 0;
  plug.GetPreset(0)->mChunk.GetValue(&v0, 0);
  EXPECT_EQ(v0, 5.0);  // the first preset kept its state
  plug.MakeDefaultPreset("again", 2);  // all initialised: nothing
  EXPECT_STREQ(plug.GetPreset(0)->mName, "-");

  TestPlug unnamed("1-1", 1, 1);
  unnamed.MakeDefaultPreset(nullptr, 5);
  EXPECT_STREQ(unnamed.GetPreset(0)->mName, "Empty");
}

TEST(IPlugBase, AttachGraphicsAndRedraw)
{
  GraphicsLog log, second;
  {
    TestPlug plug("1-1", 2);
    plug.GetParam(0)->InitDouble("g", 5.0, 0.0, 10.0, 0.1);
    plug.GetParam(1)->InitBool("b", true);
    plug.AttachGraphics(nullptr);
    EXPECT_EQ(plug.GetGUI(), nullptr);

    FakeGraphics* g = new FakeGraphics(&plug, &log);
    plug.AttachGraphics(g);
    EXPECT_EQ(plug.GetGUI(), g);
    EXPECT_EQ(log.values, (std::vector<std::pair<int, double>>{{0, 0.5}, {1, 1.0}}));
    EXPECT_EQ(log.normalized, (std::vector<bool>{true, true}));
    EXPECT_EQ(log.prepDraws, 1);

    log.values.clear();
    log.normalized.clear();
    plug.RedrawParamControls();
    EXPECT_EQ(log.values, (std::vector<std::pair<int, double>>{{0, 5.0}, {1, 1.0}}));
    EXPECT_EQ(log.normalized, (std::vector<bool>{false, false}));

    plug.AttachGraphics(g);  // the same editor again is kept
    EXPECT_FALSE(log.deleted);
    plug.AttachGraphics(new FakeGraphics(&plug, &second));
    EXPECT_TRUE(log.deleted);  // the one it replaced
    EXPECT_FALSE(second.deleted);
  }
  EXPECT_TRUE(second.deleted);  // the instance owns its editor
}

TEST(IPlugBase, SetParameterFromGUI)
{
  TestPlug plug("1-1", 2);
  plug.GetParam(1)->InitInt("i", 0, 0, 10);
  plug.SetParameterFromGUI(1, 0.5);
  EXPECT_EQ(plug.GetParam(1)->Value(), 5.0);
  EXPECT_EQ(plug.informed, (std::vector<std::pair<int, double>>{{1, 0.5}}));
  EXPECT_EQ(plug.changes, (std::vector<int>{1}));
  plug.SetParameterFromGUI(2, 0.5);
  plug.SetParameterFromGUI(-1, 0.5);
  EXPECT_EQ(plug.changes.size(), 1u);
}

TEST(IPlugBase, CompareState)
{
  TestPlug plug("1-1", 2);
  InitRanges(plug);
  plug.GetParam(0)->Set(1.1);
  plug.GetParam(1)->Set(2.0);
  const double state[3] = {99.0, 1.1 + 1e-7, 2.0};
  EXPECT_TRUE(plug.CompareState(reinterpret_cast<const unsigned char*>(state), 1));
  EXPECT_FALSE(plug.CompareState(reinterpret_cast<const unsigned char*>(state), 0));
  EXPECT_FALSE(plug.CompareState(nullptr, 0));
  const double far[2] = {1.1, 1e300};
  EXPECT_FALSE(plug.CompareState(reinterpret_cast<const unsigned char*>(far), 0));
  TestPlug none("1-1", 0);
  EXPECT_TRUE(none.CompareState(nullptr, 0));
}

TEST(IPlugBase, DefaultProcessingPassesThrough)
{
  TestPlug plug("1-2");
  double in0[4] = {1, 2, 3, 4};
  double out0[4] = {9, 9, 9, 9}, out1[4] = {9, 9, 9, 9};
  double* ins[1] = {in0};
  double* outs[2] = {out0, out1};
  plug.ProcessDoubleReplacing(ins, outs, 4);
  for (int i = 0; i < 4; ++i)
  {
    EXPECT_EQ(out0[i], in0[i]);
    EXPECT_EQ(out1[i], 0.0);
  }
  double* inPlace[1] = {out0};
  plug.ProcessDoubleReplacing(inPlace, outs, 4);  // the same buffer in and out
  EXPECT_EQ(out0[3], 4.0);
}

TEST(IPlugBase, MidiDefaults)
{
  TestPlug plug("1-1");
  IMidiMsg msg;
  msg.MakeNoteOnMsg(60, 100, 12);
  plug.ProcessMidiMsg(&msg);
  ASSERT_EQ(plug.sent.size(), 1u);
  EXPECT_EQ(plug.sent[0].mData1, 60);
  WDL_TypedBuf<IMidiMsg> msgs;
  msg.MakeNoteOffMsg(61, 0);
  msgs.Add(msg);
  msg.MakeNoteOffMsg(62, 0);
  msgs.Add(msg);
  plug.SendMidiMsgs(&msgs);
  ASSERT_EQ(plug.sent.size(), 3u);
  EXPECT_EQ(plug.sent[1].mData1, 61);
  EXPECT_EQ(plug.sent[2].mData1, 62);
  char name[8] = "xx";
  EXPECT_FALSE(plug.MidiNoteName(60, name));
  EXPECT_STREQ(name, "");
  ISysEx sysex;
  EXPECT_FALSE(plug.SendSysEx(&sysex));
}
