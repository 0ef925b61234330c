// plughost render: audio through a plug-in, from file to file and through the
// library's block loop; what the host tells the plug-in while it renders.
#include "tests/plughost/plughost_test_util.h"

#include "tests/plughost/fake_plugin_p.h"
#include "tools/demo.h"
#include "tools/render.h"
#include "tools/vsthost.h"

namespace {

using namespace plughost_test;

std::unique_ptr<vsthost::Plugin> Load(const char* path)
{
  std::string error;
  auto p = vsthost::Plugin::Load(path, &error);
  EXPECT_TRUE(p) << error;
  return p;
}

class Render : public ::testing::Test
{
protected:
  void SetUp() override
  {
    piece = plughost::MakeDemoPiece(rate, 1.0);
    input = dir / "in.wav";
    ASSERT_TRUE(WriteAudio(input, piece, 2, (int)rate));
  }
  const double rate = 48000.0;
  ScratchDir dir;
  std::string input;
  std::vector<double> piece;
};

TEST_F(Render, ThirdPartyRoundTrip)
{
  REQUIRE_PLUGIN(k3BandEQ);
  const std::string a = dir / "a.wav", b = dir / "b.wav", cut = dir / "cut.wav";
  RunResult r = RunPlughost({"render", k3BandEQ, input, a});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(r.err.empty()) << r.err;  // no progress line off a terminal
  EXPECT_NE(r.out.find("a.wav: 48000 frames, 2 ch, 48000 Hz, peak"), std::string::npos) << r.out;
  r = RunPlughost({"render", k3BandEQ, input, b});
  ASSERT_EQ(r.exitCode, 0) << r.err;

  Audio inA, outA, outB;
  ASSERT_TRUE(ReadAudio(input, &inA));
  ASSERT_TRUE(ReadAudio(a, &outA));
  ASSERT_TRUE(ReadAudio(b, &outB));
  EXPECT_EQ(outA.channels, 2);
  EXPECT_EQ(outA.rate, 48000);
  EXPECT_EQ(outA.Frames(), inA.Frames());
  EXPECT_EQ(outA.format, inA.format);  // the format follows the input
  EXPECT_TRUE(Slurp(a) == Slurp(b));  // deterministic, to the byte
  EXPECT_EQ(Slurp(a).find("PEAK"), std::string::npos);  // no time-stamped chunk
  // At its defaults the EQ is flat: what comes out is what went in.
  EXPECT_LT(MaxAbsDiff(outA.data, inA.data), 1e-3);

  // Plain values in the plug-in's own units.
  r = RunPlughost({"render", k3BandEQ, input, cut, "--set", "high=-24", "--set", "Low=-24", "--set",
                   "low-mid freq=220"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  Audio outCut;
  ASSERT_TRUE(ReadAudio(cut, &outCut));
  const plughost::BandLevels in = plughost::MeasureBands(inA.data, 2, rate);
  const plughost::BandLevels out = plughost::MeasureBands(outCut.data, 2, rate);
  EXPECT_LT(plughost::ToDb(out.high), plughost::ToDb(in.high) - 6.0);
  EXPECT_LT(plughost::ToDb(out.low), plughost::ToDb(in.low) - 6.0);
  EXPECT_NEAR(plughost::ToDb(out.mid), plughost::ToDb(in.mid), 6.0);
}

TEST_F(Render, MonoInputFeedsBothChannels)
{
  REQUIRE_PLUGIN(k3BandEQ);
  std::vector<double> mono(piece.size() / 2);
  for (size_t i = 0; i < mono.size(); ++i) mono[i] = piece[2 * i];
  const std::string monoIn = dir / "mono.wav", out = dir / "out.wav";
  ASSERT_TRUE(WriteAudio(monoIn, mono, 1, (int)rate, SF_FORMAT_WAV | SF_FORMAT_PCM_24));
  const RunResult r = RunPlughost({"render", k3BandEQ, monoIn, out, "--set", "Mid=6"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  Audio a;
  ASSERT_TRUE(ReadAudio(out, &a));
  ASSERT_EQ(a.channels, 2);
  EXPECT_EQ(a.Frames(), mono.size());
  EXPECT_EQ(a.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
  double diff = 0.0, level = 0.0;
  for (size_t n = 0; n < a.Frames(); ++n)
  {
    diff = std::max(diff, std::fabs(a.At(n, 0) - a.At(n, 1)));
    level = std::max(level, std::fabs(a.At(n, 0)));
  }
  EXPECT_LT(diff, 1e-6);  // the plug-in's two channels round alike but for the last bit
  EXPECT_GT(level, 0.1);
}

TEST_F(Render, MonoPluginAndSideChainInputs)
{
  REQUIRE_PLUGIN(kZamEQ2);
  REQUIRE_PLUGIN(kZamComp);
  // A stereo file into a mono plug-in: one channel out, and a note that the
  // other file channel is not used.
  RunResult r = RunPlughost({"render", kZamEQ2, input, dir / "eq.wav"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("note: "), std::string::npos);
  Audio a;
  ASSERT_TRUE(ReadAudio(dir / "eq.wav", &a));
  EXPECT_EQ(a.channels, 1);
  EXPECT_EQ(a.Frames(), piece.size() / 2);

  r = RunPlughost({"render", kZamComp, input, dir / "comp.wav", "--set", "Threshold=-30", "--set", "Ratio=10"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  ASSERT_TRUE(ReadAudio(dir / "comp.wav", &a));
  EXPECT_EQ(a.channels, 1);
  std::vector<double> left(piece.size() / 2);
  for (size_t i = 0; i < left.size(); ++i) left[i] = piece[2 * i];
  EXPECT_LT(Rms(a.data), Rms(left));  // compressed
}

TEST_F(Render, FormatRateAndTail)
{
  REQUIRE_PLUGIN(kMVerb);
  const std::string out = dir / "verb.flac";
  const RunResult r = RunPlughost(
    {"render", kMVerb, input, out, "--format", "flac:pcm16", "--rate", "44100", "--tail", "0.5", "--block", "333"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  Audio a;
  ASSERT_TRUE(ReadAudio(out, &a));
  EXPECT_EQ(a.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  EXPECT_EQ(a.rate, 44100);
  EXPECT_EQ(a.Frames(), piece.size() / 2 + 22050);
  // The reverb rings on into the tail.
  double tail = 0.0;
  for (size_t n = a.Frames() - 22050; n < a.Frames() - 11025; ++n) tail = std::max(tail, std::fabs(a.At(n, 0)));
  EXPECT_GT(tail, 1e-4);
}

TEST_F(Render, VerboseLogsAutomationAndGestures)
{
  const RunResult r = RunPlughost({"render", FAKE_PLUGIN, input, dir / "o.wav", "-v", "--set", "Gain=-6"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("plughost: Gain = -6.00 dB (normalised 0.375)"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("host: begin edit param 0 (Gain)\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("host: automate param 0 (Gain) = 0.375\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("host: end edit param 0 (Gain)\n"), std::string::npos) << r.err;
  // The per-block time queries are counted, not logged one by one.
  EXPECT_EQ(r.err.find("audioMasterGetTime"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("asked for the time 94 times"), std::string::npos) << r.err;  // 48000 / 512
}

// What the plug-in was told: lifecycle in order, a transport whose sample
// position follows the audio, tempo 120 in 4/4, the offline level, version
// 2400 and our names.
TEST_F(Render, HostConversation)
{
  for (bool useDouble : {false, true})
  {
    auto p = Load(FAKE_PLUGIN);
    ASSERT_TRUE(p);
    p->processLevel = kVstProcessLevelOffline;
    int outs = 0;
    plughost::RenderBuffer(*p, piece, 2, 8000.0, 100, useDouble, &outs);
    using namespace fakeplugin;
    const long life = (long)p->Dispatch(effVendorSpecific, kAskLifecycle);
    EXPECT_EQ(life, kOpened | kGotRate | kGotBlock | kResumed | kStarted | kStopped | kSuspended |
                      (useDouble ? kPrecision64 : kPrecision32));
    EXPECT_EQ(p->Dispatch(effVendorSpecific, kAskTimeMismatches), 0);
    EXPECT_EQ(p->Dispatch(effVendorSpecific, kAskProcessCalls), 480);
    EXPECT_EQ(p->Dispatch(effVendorSpecific, kAskProcessLevel), kVstProcessLevelOffline);
    EXPECT_EQ(p->Dispatch(effVendorSpecific, kAskHostVersion), 2400);
    EXPECT_EQ(p->Dispatch(effVendorSpecific, kAskSampleRate), 8000);
    EXPECT_EQ(p->Dispatch(effVendorSpecific, kAskMaxBlock), 100);
    char product[256] = {};
    p->Dispatch(effVendorSpecific, kAskHostProduct, 0, product);
    EXPECT_STREQ(product, "plughost");
    EXPECT_FALSE(p->IsResumed());
    // As answered during the last block: 47900 frames at 8 kHz and 120 BPM
    // are 11.975 quarter notes, in the third 4/4 bar.
    const VstTimeInfo& t = p->TimeInfo();
    EXPECT_EQ(t.samplePos, 47900.0);
    EXPECT_DOUBLE_EQ(t.ppqPos, 11.975);
    EXPECT_EQ(t.barStartPos, 8.0);
    EXPECT_EQ(t.timeSigNumerator, 4);
    EXPECT_EQ(t.tempo, 120.0);
  }
}

TEST_F(Render, ResumeRestartsTheTransport)
{
  auto p = Load(FAKE_PLUGIN);
  ASSERT_TRUE(p);
  plughost::RenderBuffer(*p, piece, 2, rate, 512, false, nullptr);
  plughost::RenderBuffer(*p, piece, 2, rate, 64, false, nullptr);
  EXPECT_EQ(p->Dispatch(effVendorSpecific, fakeplugin::kAskTimeMismatches), 0);
}

// The output must not depend on how the host slices the audio.
TEST_F(Render, BlockSizeIndependenceTestPlugin)
{
  std::vector<double> reference;
  for (int block : {4096, 1, 7, 64, 512, 1000})
  {
    auto p = Load(FAKE_PLUGIN);
    ASSERT_TRUE(p);
    p->SetParameter(fakeplugin::kTone, 0.8f);
    p->SetParameter(fakeplugin::kMode, 0.5f);
    const std::vector<double> out = plughost::RenderBuffer(*p, piece, 2, rate, block, false, nullptr);
    if (reference.empty()) reference = out;
    else EXPECT_EQ(MaxAbsDiff(out, reference), 0.0) << "block " << block;
  }
  EXPECT_GT(Rms(reference), 0.01);
}

TEST_F(Render, BlockSizeIndependenceThirdParty)
{
  REQUIRE_PLUGIN(k3BandEQ);
  std::vector<double> reference;
  double worst = 0.0;
  for (int block : {4096, 1, 7, 64, 512, 1000})
  {
    auto p = Load(k3BandEQ);
    ASSERT_TRUE(p);
    std::string error;
    const std::vector<double> out = plughost::RenderBuffer(*p, piece, 2, rate, block, false, nullptr);
    if (reference.empty()) reference = out;
    else worst = std::max(worst, MaxAbsDiff(out, reference));
  }
  RecordProperty("max_diff", std::to_string(worst));
  EXPECT_LE(worst, 1e-6);
}

TEST_F(Render, FloatAndDoublePathsAgree)
{
  auto pf = Load(FAKE_PLUGIN);
  auto pd = Load(FAKE_PLUGIN);
  ASSERT_TRUE(pf && pd);
  for (auto* p : {pf.get(), pd.get()})
  {
    p->SetParameter(fakeplugin::kTone, 0.6f);
    p->SetParameter(fakeplugin::kGain, 0.7f);
  }
  // The input is float-exact (a float WAV), so both paths see the same input.
  Audio in;
  ASSERT_TRUE(ReadAudio(input, &in));
  const std::vector<double> f = plughost::RenderBuffer(*pf, in.data, 2, rate, 512, false, nullptr);
  const std::vector<double> d = plughost::RenderBuffer(*pd, in.data, 2, rate, 512, true, nullptr);
  double worst = 0.0;
  for (size_t i = 0; i < f.size(); ++i)
  {
    // Each float output is the double one rounded once.
    EXPECT_EQ(f[i], (double)(float)d[i]) << i;
    worst = std::max(worst, std::fabs(f[i] - d[i]));
  }
  EXPECT_LT(worst, 1e-7);
  EXPECT_GT(Rms(d), 0.01);

  // And through the command line.
  RunResult r = RunPlughost({"render", FAKE_PLUGIN, input, dir / "f.wav", "--set", "Tone=36"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = RunPlughost({"render", FAKE_PLUGIN, input, dir / "d.wav", "--set", "Tone=36", "--double",
                   "--format", "wav:double"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  Audio af, ad;
  ASSERT_TRUE(ReadAudio(dir / "f.wav", &af));
  ASSERT_TRUE(ReadAudio(dir / "d.wav", &ad));
  EXPECT_EQ(ad.format, SF_FORMAT_WAV | SF_FORMAT_DOUBLE);
  EXPECT_LT(MaxAbsDiff(af.data, ad.data), 1e-7);
}

TEST_F(Render, AccumulatingOnlyPluginsStillRender)
{
  // A plug-in with processReplacing but without the flag gets the old
  // accumulating call into cleared outputs: the result is the same.
  auto a = Load(FAKE_PLUGIN);
  auto b = Load(FAKE_PLUGIN);
  ASSERT_TRUE(a && b);
  b->Effect()->flags &= ~effFlagsCanReplacing;
  const std::vector<double> ra = plughost::RenderBuffer(*a, piece, 2, rate, 256, false, nullptr);
  const std::vector<double> rb = plughost::RenderBuffer(*b, piece, 2, rate, 256, false, nullptr);
  EXPECT_EQ(MaxAbsDiff(ra, rb), 0.0);
}

TEST(Demo, WritesFilesAndPrintsTheBandTable)
{
  REQUIRE_PLUGIN(k3BandEQ);
  ScratchDir dir;
  const RunResult r = RunPlughost({"demo", k3BandEQ, dir / "out"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(Exists(dir / "out/input.wav"));
  EXPECT_TRUE(Exists(dir / "out/dry.wav"));
  EXPECT_NE(r.out.find("low <250 Hz"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\ndry (defaults)     -"), std::string::npos) << r.out;
}

TEST(Demo, BandLevelsAddUpAndSeparate)
{
  const double rate = 48000.0;
  // Sines of known level in each band.
  auto tone = [&](double hz, double amp) {
    std::vector<double> s(48000 * 2);
    for (size_t n = 0; n < 48000; ++n) s[2 * n] = s[2 * n + 1] = amp * std::sin(2 * M_PI * hz * n / rate);
    return s;
  };
  plughost::BandLevels l = plughost::MeasureBands(tone(100.0, 0.5), 2, rate);
  EXPECT_NEAR(plughost::ToDb(l.low), plughost::ToDb(0.125), 0.05);  // mean square of 0.5 sin: 0.125
  EXPECT_LT(plughost::ToDb(l.mid), -60.0);
  EXPECT_LT(plughost::ToDb(l.high), -60.0);
  l = plughost::MeasureBands(tone(1000.0, 0.1), 2, rate);
  EXPECT_NEAR(plughost::ToDb(l.mid), plughost::ToDb(0.005), 0.05);
  l = plughost::MeasureBands(tone(9000.0, 0.2), 2, rate);
  EXPECT_NEAR(plughost::ToDb(l.high), plughost::ToDb(0.02), 0.05);
  // The demo piece: the bands add up to its mean square.
  const std::vector<double> piece = plughost::MakeDemoPiece(rate, 4.0);
  l = plughost::MeasureBands(piece, 2, rate);
  const double rms = Rms(piece);
  EXPECT_NEAR(plughost::ToDb(l.Total()), plughost::ToDb(rms * rms), 0.2);
  // Every band has something in it, and nothing clips.
  EXPECT_GT(plughost::ToDb(l.low), -30.0);
  EXPECT_GT(plughost::ToDb(l.mid), -35.0);
  EXPECT_GT(plughost::ToDb(l.high), -40.0);
  double peak = 0.0;
  for (double v : piece) peak = std::max(peak, std::fabs(v));
  EXPECT_LT(peak, 0.71);
}

}  // namespace
