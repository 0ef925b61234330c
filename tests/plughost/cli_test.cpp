// The command line as a user meets it: every mistake gets one line on stderr
// that says what was wrong, and a non-zero exit (2 for the command line
// itself, 1 for what went wrong while running).
#include "tests/plughost/plughost_test_util.h"

#include "tools/demo.h"

namespace {

using namespace plughost_test;

class CommandLine : public ::testing::Test
{
protected:
  void SetUp() override
  {
    input = dir / "in.wav";
    ASSERT_TRUE(WriteAudio(input, plughost::MakeDemoPiece(8000.0, 0.25), 2, 8000));
  }
  ScratchDir dir;
  std::string input;
};

TEST_F(CommandLine, UsageErrorsExitTwo)
{
  ExpectOneLineError(RunPlughost({}), 2, "no command");
  ExpectOneLineError(RunPlughost({"frobnicate"}), 2, "unknown command 'frobnicate'");
  ExpectOneLineError(RunPlughost({"info"}), 2, "info needs one PLUGIN.so");
  ExpectOneLineError(RunPlughost({"info", "a.so", "b.so"}), 2, "info needs one PLUGIN.so");
  ExpectOneLineError(RunPlughost({"render", FAKE_PLUGIN, input}), 2, "render needs PLUGIN.so IN OUT");
  ExpectOneLineError(RunPlughost({"render", FAKE_PLUGIN, input, dir / "o.wav", "--bogus"}), 2,
                     "unknown option '--bogus'");
  ExpectOneLineError(RunPlughost({"render", FAKE_PLUGIN, input, dir / "o.wav", "--block"}), 2,
                     "--block needs");
  for (const char* bad : {"0", "-4", "abc", "12.5", "2000000"})
    ExpectOneLineError(RunPlughost({"render", FAKE_PLUGIN, input, dir / "o.wav", "--block", bad}), 2,
                       "bad block size");
  ExpectOneLineError(RunPlughost({"render", FAKE_PLUGIN, input, dir / "o.wav", "--rate", "fast"}), 2,
                     "bad sample rate");
  ExpectOneLineError(RunPlughost({"render", FAKE_PLUGIN, input, dir / "o.wav", "--set", "Gain"}), 2,
                     "--set needs NAME=VALUE");
  ExpectOneLineError(RunPlughost({"render", FAKE_PLUGIN, input, dir / "o.wav", "--set", "=3"}), 2,
                     "--set needs NAME=VALUE");
  ExpectOneLineError(RunPlughost({"render", FAKE_PLUGIN, input, dir / "o.wav", "--format", "mp9"}), 2,
                     "unknown output format");
  ExpectOneLineError(RunPlughost({"render", FAKE_PLUGIN, input, dir / "o.wav", "--format", "flac:float"}), 2,
                     "cannot hold float");
  ExpectOneLineError(RunPlughost({"demo", FAKE_PLUGIN}), 2, "demo needs PLUGIN.so OUTDIR");
  EXPECT_FALSE(Exists(dir / "o.wav"));
}

TEST_F(CommandLine, HelpGoesToStdout)
{
  const RunResult r = RunPlughost({"--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(r.err.empty());
  EXPECT_NE(r.out.find("plughost render PLUGIN.so IN OUT"), std::string::npos);
  EXPECT_NE(r.out.find("--save-fxp"), std::string::npos);
}

TEST_F(CommandLine, PluginsThatFailToLoad)
{
  ExpectOneLineError(RunPlughost({"info", dir / "missing.so"}), 1, "cannot load");
  ExpectOneLineError(RunPlughost({"render", dir / "missing.so", input, dir / "o.wav"}), 1, "cannot load");
  // A shared library, but not a plug-in.
  ExpectOneLineError(RunPlughost({"info", "/lib/x86_64-linux-gnu/libm.so.6"}), 1, "not a VST 2.4 plug-in");
  // Not even a shared library.
  ExpectOneLineError(RunPlughost({"info", input}), 1, "cannot load");
  // An entry point that makes nothing.
  ExpectOneLineError(RunPlughost({"info", FAKE_NULL_PLUGIN}), 1, "returned no effect");
  ExpectOneLineError(RunPlughost({"demo", FAKE_NULL_PLUGIN, dir / "demo"}), 1, "returned no effect");
  EXPECT_FALSE(Exists(dir / "demo"));
}

TEST_F(CommandLine, UnreadableAndUnwritableFiles)
{
  ExpectOneLineError(RunPlughost({"render", FAKE_PLUGIN, dir / "nothing.wav", dir / "o.wav"}), 1,
                     "cannot read " + (dir / "nothing.wav"));
  {
    std::ofstream junk(dir / "junk.wav");
    junk << "RIFF this is not audio at all";
  }
  ExpectOneLineError(RunPlughost({"render", FAKE_PLUGIN, dir / "junk.wav", dir / "o.wav"}), 1,
                     "cannot read " + (dir / "junk.wav"));
  ExpectOneLineError(RunPlughost({"render", FAKE_PLUGIN, input, dir / "no/such/dir/o.wav"}), 1, "cannot write");
  // Writing over the input while reading it would destroy it.
  const std::string before = Slurp(input);
  ExpectOneLineError(RunPlughost({"render", FAKE_PLUGIN, input, input}), 1, "is the input file");
  EXPECT_EQ(Slurp(input), before);
  EXPECT_FALSE(Exists(dir / "o.wav"));
}

TEST_F(CommandLine, ParameterMistakes)
{
  const std::string out = dir / "o.wav";
  ExpectOneLineError(RunPlughost({"render", FAKE_PLUGIN, input, out, "--set", "Volume=3"}), 1,
                     "unknown parameter 'Volume'");
  ExpectOneLineError(RunPlughost({"render", FAKE_PLUGIN, input, out, "--set", "17=0.5"}), 1,
                     "parameter index 17 is out of range");
  ExpectOneLineError(RunPlughost({"render", FAKE_PLUGIN, input, out, "--set", "Mode=Loud"}), 1,
                     "bad value 'Loud' for Mode");
  ExpectOneLineError(RunPlughost({"render", FAKE_PLUGIN, input, out, "--set", "Tone=150"}), 1,
                     "value 150 is out of range for Tone (0 .. 100 %)");
  ExpectOneLineError(RunPlughost({"render", FAKE_PLUGIN, input, out, "--norm", "--set", "Gain=1.5"}), 1,
                     "a normalised value is a number from 0 to 1");
  ExpectOneLineError(RunPlughost({"render", FAKE_PLUGIN, input, out, "--set", "twin=1"}), 1,
                     "ambiguous (indices 3, 4)");
  EXPECT_FALSE(Exists(out));
}

TEST_F(CommandLine, DoubleNeedsAPluginThatCanDoIt)
{
  REQUIRE_PLUGIN(k3BandEQ);
  ExpectOneLineError(RunPlughost({"render", k3BandEQ, input, dir / "o.wav", "--double"}), 1,
                     "cannot process in double precision");
  EXPECT_FALSE(Exists(dir / "o.wav"));
}

}  // namespace
