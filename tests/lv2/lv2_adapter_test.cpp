// The LV2 build through its ABI, beside the VST2 build in the same process:
// bit-identical audio for the same settings in any block pattern, undisturbed
// by the other build's instances; state in the VST2 program chunk's bytes that
// restores the same sound; ports read as the parameters take them; and bad
// input (missing features, null buffers, bad state) refused without a crash
// or a lost value. The bundle's Turtle is what the code writes.
#include "TORVEN/TORVEN.h"
#include "tests/lv2/lv2_host_p.h"
#include "tests/plughost/plughost_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace lv2test;
using hosting::MaxDiff;

namespace {

constexpr double kRate = 48000.0;

// Settings as a user types them, parameter order.
struct Setting
{
  const char* name;
  const char* text[kControls];
};
const Setting kSettings[] = {
  {"defaults", {"0", "0", "0", "0.5", "0.5", "0.5", "0", "0"}},
  {"all bands up at 16x", {"0", "0", "0", "1", "0.98", "1", "0", "1"}},
  {"low cut", {"0", "0.9", "0", "0.5", "0.5", "0.5", "0", "0"}},
  {"everything moved", {"3.5", "0.3", "-0.12", "0.8", "0.31", "0.65", "0", "1"}},
  {"bypassed", {"-6", "0.5", "-0.2", "0.2", "0.9", "0.1", "1", "0"}},
};

std::unique_ptr<hosting::Plug> VSTWith(const hosting::PlugLib& lib, const Setting& s)
{
  auto p = std::make_unique<hosting::Plug>(lib);
  p->Start(kRate, 512);
  for (int i = 0; i < kControls; ++i)
  {
    char text[64];
    snprintf(text, sizeof(text), "%s", s.text[i]);
    p->Call(effString2Parameter, i, 0, text);
  }
  return p;
}

std::unique_ptr<Instance> LV2With(const Lib& lib, URIDMap* map, const Setting& s, int maxBlock = 0)
{
  auto p = std::make_unique<Instance>(lib, map, kRate, maxBlock);
  for (int i = 0; i < kControls; ++i) p->Control(i) = strtof(s.text[i], nullptr);
  return p;
}

// The parameter values a saved state holds (after the 8-byte header).
double Saved(Instance& inst, URIDMap& map, int param)
{
  State st;
  EXPECT_EQ(inst.Save(&st), LV2_STATE_SUCCESS);
  const std::vector<unsigned char>& b = st[map.Map(kStateKey)].bytes;
  double v = NAN;
  if (b.size() >= (size_t)(8 + 8 * (param + 1))) memcpy(&v, b.data() + 8 + 8 * param, sizeof(v));
  return v;
}

class LV2 : public ::testing::Test
{
protected:
  hosting::PlugLib vst{TORVEN_VST_SO};
  Lib lv2{TORVEN_LV2_SO};
  URIDMap map;
  const Stereo in = hosting::TestSignal(24000, kRate);
};

}  // namespace

TEST_F(LV2, OneDescriptorWithTheURI)
{
  ASSERT_TRUE(vst.Ok()) << vst.Error();
  ASSERT_NE(lv2.Plugin(0), nullptr);
  EXPECT_STREQ(lv2.Plugin(0)->URI, kURI);
  EXPECT_EQ(lv2.Plugin(1), nullptr);
}

TEST_F(LV2, BitIdenticalToTheVST2BuildAndUndisturbedByIt)
{
  struct Pattern
  {
    std::vector<int> blocks;
    int maxBlock;  // announced through the options, 0 for none
  };
  const Pattern kPatterns[] = {{{512}, 0}, {{1, 7, 300, 4096, 33}, 0}, {{1000}, 64}};
  std::vector<Stereo> refs;
  for (const Setting& s : kSettings)
  {
    refs.push_back(VSTWith(vst, s)->Render(in, 512, true));
    for (const Pattern& p : kPatterns)
      EXPECT_EQ(MaxDiff(LV2With(lv2, &map, s, p.maxBlock)->Render(in, p.blocks), refs.back()), 0.0)
        << s.name << ", first block " << p.blocks[0];
  }
  // Every setting in both builds at once, processed in turn block by block.
  std::vector<std::unique_ptr<hosting::Plug>> vs;
  std::vector<std::unique_ptr<Instance>> ls;
  std::vector<Stereo> vOut, lOut;
  for (const Setting& s : kSettings)
  {
    vs.push_back(VSTWith(vst, s));
    ls.push_back(LV2With(lv2, &map, s));
    vOut.emplace_back(in.Size());
    lOut.emplace_back(in.Size());
  }
  for (size_t pos = 0; pos < in.Size(); pos += 256)
  {
    const size_t n = std::min<size_t>(256, in.Size() - pos);
    for (size_t k = 0; k < vs.size(); ++k)
    {
      vs[k]->ProcessF(in, vOut[k], pos, (int)n);
      ls[k]->Process(in, lOut[k], pos, n);
    }
  }
  for (size_t k = 0; k < vs.size(); ++k)
  {
    EXPECT_EQ(MaxDiff(vOut[k], refs[k]), 0.0) << kSettings[k].name << " (VST2)";
    EXPECT_EQ(MaxDiff(lOut[k], refs[k]), 0.0) << kSettings[k].name << " (LV2)";
  }
}

TEST_F(LV2, StateIsTheProgramChunkAndRestoresTheSound)
{
  for (const Setting& s : kSettings)
  {
    SCOPED_TRACE(s.name);
    auto saved = LV2With(lv2, &map, s);
    State st;
    ASSERT_EQ(saved->Save(&st), LV2_STATE_SUCCESS);
    ASSERT_EQ(st.size(), 1u);
    EXPECT_EQ(st.begin()->first, map.Map(kStateKey));
    EXPECT_EQ(st.begin()->second.type, map.Map(LV2_ATOM__Chunk));
    EXPECT_EQ(st.begin()->second.bytes, VSTWith(vst, s)->GetChunk(true));

    // Restored into an instance whose ports stay at the defaults.
    Instance restored(lv2, &map, kRate);
    ASSERT_EQ(restored.Restore(st), LV2_STATE_SUCCESS);
    EXPECT_EQ(MaxDiff(restored.Render(in), saved->Render(in)), 0.0);
  }
}

TEST_F(LV2, BadStateIsRefusedAndLosesNothing)
{
  State good;
  ASSERT_EQ(LV2With(lv2, &map, kSettings[3])->Save(&good), LV2_STATE_SUCCESS);
  const LV2_URID key = map.Map(kStateKey), chunk = map.Map(LV2_ATOM__Chunk), other = map.Map("urn:x:other");
  const std::vector<unsigned char>& blob = good[key].bytes;
  auto cut = [&](size_t from, size_t to) { return std::vector<unsigned char>(blob.begin() + from, blob.begin() + to); };
  struct Case
  {
    const char* name;
    State state;
    LV2_State_Status status;
    bool applied;
  };
  const Case kCases[] = {
    {"nothing saved", {}, LV2_STATE_SUCCESS, false},
    {"only an unknown key", {{other, {chunk, blob}}}, LV2_STATE_SUCCESS, false},
    {"an unknown key beside ours", {{other, {chunk, cut(0, 4)}}, {key, {chunk, blob}}}, LV2_STATE_SUCCESS, true},
    {"not a chunk", {{key, {map.Map(LV2_ATOM__String), blob}}}, LV2_STATE_ERR_BAD_TYPE, false},
    {"empty", {{key, {chunk, {}}}}, LV2_STATE_ERR_UNKNOWN, false},
    {"the header's magic only", {{key, {chunk, cut(0, 4)}}}, LV2_STATE_ERR_UNKNOWN, false},
    {"20 bytes", {{key, {chunk, cut(0, 20)}}}, LV2_STATE_ERR_UNKNOWN, false},
    {"one byte short", {{key, {chunk, cut(0, blob.size() - 1)}}}, LV2_STATE_ERR_UNKNOWN, false},
    {"no header (as VST2 chunks may come)", {{key, {chunk, cut(8, blob.size())}}}, LV2_STATE_SUCCESS, true},
  };
  for (const Case& c : kCases)
  {
    SCOPED_TRACE(c.name);
    Instance inst(lv2, &map, kRate);
    State before, after;
    inst.Save(&before);
    EXPECT_EQ(inst.Restore(c.state), c.status);
    inst.Save(&after);
    EXPECT_EQ(after[key].bytes, c.applied ? blob : before[key].bytes);
  }
  // Without a URID map there is no state to save or restore.
  Instance noMap(lv2, nullptr, kRate);
  State st;
  EXPECT_EQ(noMap.Save(&st), LV2_STATE_ERR_NO_FEATURE);
  EXPECT_EQ(noMap.Restore(good), LV2_STATE_ERR_NO_FEATURE);
  EXPECT_TRUE(st.empty());
}

TEST_F(LV2, PortsAreReadAsTheParametersTakeThemOnlyWhenTheyChange)
{
  struct Case
  {
    int param;
    float port;
    double plain;
  };
  const Case kCases[] = {
    {kGainM, 0.98f, 0.98},        {kOut, -14.99f, -14.99},   {kOut, 99.f, 15.0},
    {kOut, -INFINITY, -15.0},     {kGainH, 1e-7f, 1e-7},     {kHPF, NAN, 0.0},
    {kBypass, 0.3f, 1.0},         {kBypass, -1.f, 0.0},      {kOversampling, 0.7f, 1.0},
    {kOversampling, 0.f, 0.0},
  };
  for (const Case& c : kCases)
  {
    Instance inst(lv2, &map, kRate);
    inst.Control(c.param) = c.port;
    EXPECT_EQ(Saved(inst, map, c.param), c.plain) << "parameter " << c.param << " port " << c.port;
  }
  // A restored value stands until its port changes.
  Instance a(lv2, &map, kRate), b(lv2, &map, kRate);
  b.Control(kHPF) = 0.2f;
  State st;
  b.Save(&st);
  a.Control(kHPF) = 0.5f;
  a.Run(0);
  ASSERT_EQ(a.Restore(st), LV2_STATE_SUCCESS);
  a.Run(0);
  EXPECT_EQ(Saved(a, map, kHPF), 0.2);
  a.Control(kHPF) = 0.6f;
  EXPECT_EQ(Saved(a, map, kHPF), 0.6);
}

TEST_F(LV2, MissingBuffersFeaturesAndBadCallsNeverCrash)
{
  const LV2_Descriptor* d = lv2.Plugin(0);
  for (double rate : {0.0, -48000.0, (double)NAN, (double)INFINITY}) EXPECT_FALSE(Instance(lv2, &map, rate).Ok()) << rate;
  // No features at all, and nothing connected.
  LV2_Handle h = d->instantiate(d, kRate, "", nullptr);
  ASSERT_NE(h, nullptr);
  d->activate(h);
  d->run(h, 256);
  float x = 1.f;
  d->connect_port(h, 99, &x);
  d->connect_port(h, UINT32_MAX, &x);
  d->run(h, 256);
  d->cleanup(h);

  // A missing input reads as silence; a missing output is written nowhere.
  Stereo leftSilent = in;
  std::fill(leftSilent.ch[0].begin(), leftSilent.ch[0].end(), 0.0);
  const Stereo ref = LV2With(lv2, &map, kSettings[3])->Render(leftSilent);
  auto noLeftIn = LV2With(lv2, &map, kSettings[3]);
  noLeftIn->Unbuffered() = {0};
  EXPECT_EQ(MaxDiff(noLeftIn->Render(in), ref), 0.0);
  auto noLeftOut = LV2With(lv2, &map, kSettings[3]);
  noLeftOut->Unbuffered() = {0, 2};
  const Stereo rightOnly = noLeftOut->Render(in);
  EXPECT_EQ(rightOnly.ch[1], ref.ch[1]);
  EXPECT_EQ(rightOnly.ch[0], std::vector<double>(in.Size(), 0.0));

  // A control port without a buffer keeps its parameter's value.
  Instance inst(lv2, &map, kRate);
  inst.Control(kGainL) = 0.7f;
  inst.Run(0);
  inst.Connect(kAudioPorts + kGainL, nullptr);
  inst.Control(kGainL) = 0.1f;
  EXPECT_EQ(Saved(inst, map, kGainL), 0.7);
}

// The generator's output for the code as built is the bundle; descriptions
// that do not fit the plug-in are refused.
TEST(LV2Turtle, TheBundleIsWhatTheCodeWritesAndBadDescriptionsAreRefused)
{
  TORVEN plug{IPlugInstanceInfo()};
  plughost_test::ScratchDir dir;
  WDL_String error;
  ASSERT_TRUE(plug.WriteTurtle(kTORVENLV2, dir.Path().c_str(), &error)) << error.Get();
  for (const char* file : {"manifest.ttl", "TORVEN.ttl"})
    EXPECT_EQ(plughost_test::Slurp(dir / file), plughost_test::Slurp(std::string(TORVEN_LV2_BUNDLE) + "/" + file)) << file;

  std::vector<IPlugLV2Port> ports(kTORVENLV2.mPorts, kTORVENLV2.mPorts + kNumParams);
  struct Case
  {
    const char* name;
    int index;  // the port changed, -1 for none
    IPlugLV2Port port;
    int nPorts;
    const char* why;
  };
  const Case kCases[] = {
    {"a port short", -1, {}, kNumParams - 1, "ports for"},
    {"a symbol that is no identifier", 2, {"2lpf", nullptr, nullptr}, kNumParams, "no C identifier"},
    {"a symbol taken by an audio port", 3, {"in_l", nullptr, nullptr}, kNumParams, "used twice"},
    {"no name where the parameter has none", kOversampling, {"oversampling", "", nullptr}, kNumParams, "no name"},
  };
  for (const Case& c : kCases)
  {
    std::vector<IPlugLV2Port> bad = ports;
    if (c.index >= 0) bad[c.index] = c.port;
    IPlugLV2Description d = kTORVENLV2;
    d.mPorts = bad.data();
    d.mNPorts = c.nPorts;
    error.Set("");
    EXPECT_FALSE(plug.WriteTurtle(d, dir.Path().c_str(), &error)) << c.name;
    EXPECT_NE(std::string(error.Get()).find(c.why), std::string::npos) << c.name << ": " << error.Get();
  }
}
