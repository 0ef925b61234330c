// plughost info: the effect record and what the plug-in says of itself
// through its dispatcher, for our test plug-in and third-party ones.
#include "tests/plughost/plughost_test_util.h"

namespace {

using namespace plughost_test;

bool Has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

TEST(Info, TestPluginEverySection)
{
  const RunResult r = RunPlughost({"info", FAKE_PLUGIN});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(r.err.empty()) << r.err;
  const std::string& o = r.out;
  // The record.
  EXPECT_TRUE(Has(o, "magic:          0x56737450 'VstP'\n"));
  EXPECT_TRUE(Has(o, "inputs:         2\n"));
  EXPECT_TRUE(Has(o, "parameters:     5\n"));
  EXPECT_TRUE(Has(o, "programs:       2\n"));
  EXPECT_TRUE(Has(o, "flags:          0x1010 (CanReplacing CanDoubleReplacing)\n"));
  EXPECT_TRUE(Has(o, "unique ID:      'PhFk'\n"));
  EXPECT_TRUE(Has(o, "version:        1234\n"));
  // Through the dispatcher.
  EXPECT_TRUE(Has(o, "effect name:    Fake Gain\n"));
  EXPECT_TRUE(Has(o, "vendor:         Morvane Tests\n"));
  EXPECT_TRUE(Has(o, "product:        Fake\n"));
  EXPECT_TRUE(Has(o, "vendor version: 1234\n"));
  EXPECT_TRUE(Has(o, "VST version:    2400\n"));
  EXPECT_TRUE(Has(o, "category:       1 (effect)\n"));
  // Parameters: index, name, label, display, normalised value.
  EXPECT_TRUE(Has(o, "  0    Gain                     dB         0.00             0.500000\n")) << o;
  EXPECT_TRUE(Has(o, "  1    Mode                                Clean            0.000000\n")) << o;
  EXPECT_TRUE(Has(o, "  2    Tone                     %          0.0              0.000000\n")) << o;
  // Programs and capabilities.
  EXPECT_TRUE(Has(o, "programs:       current 0\n  0    Init\n  1    Bright\n")) << o;
  EXPECT_TRUE(Has(o, "  receiveVstTimeInfo       yes\n"));
  EXPECT_TRUE(Has(o, "  sendVstEvents            no\n"));
}

TEST(Info, VerboseLogsWhatThePluginAsks)
{
  const RunResult r = RunPlughost({"info", FAKE_PLUGIN, "-v"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(Has(r.err, "host: audioMasterVersion\n")) << r.err;
}

TEST(Info, ThreeBandEq)
{
  REQUIRE_PLUGIN(k3BandEQ);
  const RunResult r = RunPlughost({"info", k3BandEQ});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string& o = r.out;
  EXPECT_TRUE(Has(o, "unique ID:      'D3EQ'\n"));
  EXPECT_TRUE(Has(o, "outputs:        2\n"));
  EXPECT_TRUE(Has(o, "vendor:         DISTRHO\n")) << o;
  EXPECT_TRUE(Has(o, "VST version:    2400\n"));
  // Names, labels and displays come from the plug-in's own opcodes.
  EXPECT_TRUE(Has(o, "  0    Low                      dB         0.000000         0.500000\n")) << o;
  EXPECT_TRUE(Has(o, "  2    High                     dB")) << o;
  EXPECT_TRUE(Has(o, "Mid-High Freq            Hz")) << o;
  EXPECT_TRUE(Has(o, "can do:\n"));
}

TEST(Info, ZamCompAndZamEq2)
{
  REQUIRE_PLUGIN(kZamComp);
  REQUIRE_PLUGIN(kZamEQ2);
  RunResult r = RunPlughost({"info", kZamComp});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "unique ID:      'ZCMP'\n"));
  EXPECT_TRUE(Has(r.out, "effect name:    ZamComp\n")) << r.out;
  EXPECT_TRUE(Has(r.out, "Threshold                dB")) << r.out;
  EXPECT_TRUE(Has(r.out, "Ratio ")) << r.out;

  r = RunPlughost({"info", kZamEQ2});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "unique ID:      'ZEQ2'\n"));
  EXPECT_TRUE(Has(r.out, "inputs:         1\n"));
  EXPECT_TRUE(Has(r.out, "parameters:     12\n"));
}

}  // namespace
