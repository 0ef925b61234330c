// The bundle under Debian's LV2 tools, as users meet it: the Turtle validates
// against the installed LV2 vocabularies, lilv finds the plug-in, lists its
// ports as the code defines them, and lv2apply renders the demo piece exactly
// as plughost renders it through the VST2 build. Each check skips, saying why,
// when its tool is not installed.
#include "TORVEN/TORVEN.h"
#include "tests/lv2/lv2_host_p.h"
#include "tests/plughost/plughost_test_util.h"
#include "tools/demo.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

using plughost_test::HaveTool;
using plughost_test::Quote;
using plughost_test::Sh;
using plughost_test::Shell;
using lv2test::kURI;

namespace {

#define REQUIRE_TOOL(name)                                                         \
  do                                                                               \
  {                                                                                \
    if (!HaveTool(name)) GTEST_SKIP() << name << " is not installed (lilv-utils, sordi)"; \
  } while (0)

// An LV2 path holding only the built bundle (and the system's vocabularies,
// for the class names), so that an installed copy cannot answer instead.
class LV2Tools : public ::testing::Test
{
protected:
  void SetUp() override
  {
    std::filesystem::create_directory(dir / "lv2");
    std::filesystem::create_symlink(TORVEN_LV2_BUNDLE, dir / "lv2/TORVEN.lv2");
    env = "env LV2_PATH=" + Quote(dir / "lv2" + ":/usr/lib/lv2") + " ";
  }
  plughost_test::ScratchDir dir;
  std::string env;
};

// lv2info's block for one port: from "Port N:" to the next blank line.
std::string PortBlock(const std::string& info, int index)
{
  const std::string head = "\tPort " + std::to_string(index) + ":\n";
  const size_t from = info.find(head);
  if (from == std::string::npos) return "";
  const size_t to = info.find("\n\n", from);
  return info.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

std::string Fixed(double v)
{
  char buf[64];
  snprintf(buf, sizeof(buf), "%f", v);
  return buf;
}

}  // namespace

TEST_F(LV2Tools, TheTurtleValidates)
{
  REQUIRE_TOOL("sord_validate");
  REQUIRE_TOOL("lv2_validate");
  const std::string b = TORVEN_LV2_BUNDLE;
  const Shell v = Sh("lv2_validate " + Quote(b + "/manifest.ttl") + " " + Quote(b + "/TORVEN.ttl"));
  EXPECT_EQ(v.code, 0) << v.out;
  EXPECT_NE(v.out.find("Found 0 errors"), std::string::npos) << v.out;
  EXPECT_EQ(v.out.find("warning"), std::string::npos) << v.out;
}

TEST_F(LV2Tools, LilvListsThePluginWithItsPortsAsTheCodeDefinesThem)
{
  REQUIRE_TOOL("lv2ls");
  REQUIRE_TOOL("lv2info");
  const Shell ls = Sh(env + "lv2ls");
  ASSERT_EQ(ls.code, 0) << ls.out;
  EXPECT_NE(("\n" + ls.out).find("\n" + std::string(kURI) + "\n"), std::string::npos) << ls.out;

  const Shell info = Sh(env + "lv2info " + kURI);
  ASSERT_EQ(info.code, 0) << info.out;
  for (const char* line : {"Name:              TORVEN", "Class:             Equaliser Plugin",
                           "Author:            Morvane", "Has latency:       no", "ui#X11UI",
                           "http://lv2plug.in/ns/ext/state#interface"})
    EXPECT_NE(info.out.find(line), std::string::npos) << line << " in:\n" << info.out;

  // Audio ports first, then one control per parameter with its range.
  struct Audio
  {
    const char* symbol;
    const char* kind;
  };
  const Audio kAudio[] = {{"in_l", "InputPort"}, {"in_r", "InputPort"}, {"out_l", "OutputPort"}, {"out_r", "OutputPort"}};
  for (int i = 0; i < 4; ++i)
  {
    const std::string block = PortBlock(info.out, i);
    EXPECT_NE(block.find("lv2core#AudioPort"), std::string::npos) << block;
    EXPECT_NE(block.find(std::string("lv2core#") + kAudio[i].kind), std::string::npos) << block;
    EXPECT_NE(block.find(std::string("Symbol:      ") + kAudio[i].symbol + "\n"), std::string::npos) << block;
  }
  TORVEN plug{IPlugInstanceInfo()};
  for (int p = 0; p < kNumParams; ++p)
  {
    const IParam* param = plug.GetParam(p);
    const IPlugLV2Port& port = kTORVENLV2.mPorts[p];
    const std::string block = PortBlock(info.out, 4 + p);
    SCOPED_TRACE(block);
    EXPECT_NE(block.find("lv2core#ControlPort"), std::string::npos);
    EXPECT_NE(block.find(std::string("Symbol:      ") + port.mSymbol + "\n"), std::string::npos);
    const char* name = port.mName ? port.mName : param->GetNameForHost();
    EXPECT_NE(block.find(std::string("Name:        ") + name + "\n"), std::string::npos);
    EXPECT_NE(block.find("Minimum:     " + Fixed(param->GetMin())), std::string::npos);
    EXPECT_NE(block.find("Maximum:     " + Fixed(param->GetMax())), std::string::npos);
    EXPECT_NE(block.find("Default:     " + Fixed(param->GetDefault())), std::string::npos);
    EXPECT_EQ(block.find("lv2core#toggled") != std::string::npos, IPlugLV2::IsToggle(param));
  }
  EXPECT_EQ(PortBlock(info.out, 4 + kNumParams), "");
}

// lv2apply and plughost render (the VST2 build) on the demo piece, at the
// settings the demo shows: the same samples, bit for bit.
TEST_F(LV2Tools, Lv2applyRendersTheDemoPieceAsTheVST2Build)
{
  REQUIRE_TOOL("lv2apply");
  REQUIRE_FOREIGN_HOST();
  const std::string input = dir / "input.wav";
  ASSERT_TRUE(plughost_test::WriteAudio(input, plughost::MakeDemoPiece(48000.0, 4.0), 2, 48000));

  struct Control
  {
    const char* symbol;
    const char* value;
  };
  struct Setting
  {
    const char* name;
    std::vector<Control> controls;
  };
  const Setting kSettings[] = {
    {"defaults", {}},
    {"all bands up at 16x", {{"gain_high", "1"}, {"gain_mid", "0.98"}, {"gain_low", "1"}, {"oversampling", "1"}}},
    {"low cut", {{"hpf", "0.9"}}},
  };
  for (const Setting& s : kSettings)
  {
    SCOPED_TRACE(s.name);
    std::string lv2Args, vstArgs;
    for (const Control& c : s.controls)
    {
      int index = -1;
      for (int p = 0; p < kNumParams; ++p)
        if (std::string(kTORVENLV2.mPorts[p].mSymbol) == c.symbol) index = p;
      ASSERT_GE(index, 0) << c.symbol;
      lv2Args += std::string(" -c ") + c.symbol + " " + c.value;
      vstArgs += " --set " + std::to_string(index) + "=" + c.value;
    }
    const std::string lv2Out = dir / "lv2.wav", vstOut = dir / "vst.wav";
    const Shell lv2 = Sh(env + "lv2apply -i " + Quote(input) + " -o " + Quote(lv2Out) + lv2Args + " " + kURI);
    ASSERT_EQ(lv2.code, 0) << lv2.out;
    const Shell vst = Sh(Quote(PLUGHOST_BIN) + " render " + Quote(TORVEN_VST_SO) + " " + Quote(input) + " " +
                         Quote(vstOut) + vstArgs);
    ASSERT_EQ(vst.code, 0) << vst.out;

    plughost_test::Audio a, b, in;
    ASSERT_TRUE(plughost_test::ReadAudio(lv2Out, &a));
    ASSERT_TRUE(plughost_test::ReadAudio(vstOut, &b));
    ASSERT_TRUE(plughost_test::ReadAudio(input, &in));
    EXPECT_EQ(a.channels, 2);
    EXPECT_EQ(a.rate, 48000);
    EXPECT_EQ(a.Frames(), in.Frames());
    EXPECT_EQ(plughost_test::MaxAbsDiff(a.data, b.data), 0.0);
    // Not a pass-through: the plug-in did its work in both.
    EXPECT_GT(plughost_test::MaxAbsDiff(a.data, in.data), 1e-3);
  }
}
