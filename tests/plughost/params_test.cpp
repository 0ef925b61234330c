// Parameters by name or index, set from plain values in their own units
// through the plug-in's own opcodes (its parser, its display texts, its
// displayed numbers), or normalised.
#include "tests/plughost/plughost_test_util.h"

#include "tests/plughost/fake_plugin_p.h"
#include "tools/params.h"

namespace {

using namespace plughost_test;
using namespace fakeplugin;

std::unique_ptr<vsthost::Plugin> Load(const char* path)
{
  std::string error;
  auto p = vsthost::Plugin::Load(path, &error);
  EXPECT_TRUE(p) << error;
  if (p) p->Open();
  return p;
}

TEST(Params, FindByNameOrIndex)
{
  auto p = Load(FAKE_PLUGIN);
  ASSERT_TRUE(p);
  int i = -1;
  std::string error;
  EXPECT_TRUE(vsthost::FindParameter(*p, "tone", &i, &error));
  EXPECT_EQ(i, kTone);
  EXPECT_TRUE(vsthost::FindParameter(*p, " GAIN ", &i, &error));
  EXPECT_EQ(i, kGain);
  EXPECT_TRUE(vsthost::FindParameter(*p, "4", &i, &error));
  EXPECT_EQ(i, 4);
  EXPECT_FALSE(vsthost::FindParameter(*p, "5", &i, &error));
  EXPECT_NE(error.find("out of range (the plug-in has 5 parameters)"), std::string::npos) << error;
  EXPECT_FALSE(vsthost::FindParameter(*p, "99999999999999999999", &i, &error));
  EXPECT_FALSE(vsthost::FindParameter(*p, "TWIN", &i, &error));
  EXPECT_NE(error.find("ambiguous"), std::string::npos);
  EXPECT_FALSE(vsthost::FindParameter(*p, "", &i, &error));
  EXPECT_FALSE(vsthost::FindParameter(*p, "Gai", &i, &error));
}

TEST(Params, ThePluginsOwnParserFirst)
{
  auto p = Load(FAKE_PLUGIN);
  ASSERT_TRUE(p);
  std::string error;
  EXPECT_TRUE(vsthost::SetParameterPlain(*p, kGain, "-6", &error)) << error;
  EXPECT_EQ(p->GetParameter(kGain), 0.375f);
  EXPECT_EQ(p->ParamDisplay(kGain), "-6.00");
  // Its parser reads any word as 0 dB and says yes; the host does not
  // believe it.
  EXPECT_FALSE(vsthost::SetParameterPlain(*p, kGain, "loud", &error));
  EXPECT_NE(error.find("bad value 'loud' for Gain"), std::string::npos) << error;
  EXPECT_EQ(p->GetParameter(kGain), 0.375f);
}

TEST(Params, DisplayTextsAcrossTheRange)
{
  auto p = Load(FAKE_PLUGIN);
  ASSERT_TRUE(p);
  std::string error;
  const struct
  {
    const char* text;
    const char* shown;
  } cases[] = {{"Warm", "Warm"}, {"hot", "Hot"}, {"CLEAN", "Clean"}};
  for (const auto& c : cases)
  {
    EXPECT_TRUE(vsthost::SetParameterPlain(*p, kMode, c.text, &error)) << error;
    EXPECT_EQ(p->ParamDisplay(kMode), c.shown);
  }
  EXPECT_TRUE(vsthost::SetParameterPlain(*p, kMode, "warm", &error));
  // The middle of the step, not its edge.
  EXPECT_NEAR(p->GetParameter(kMode), 0.5f, 0.01f);
}

TEST(Params, NumbersByBisectionOnTheDisplay)
{
  auto p = Load(FAKE_PLUGIN);
  ASSERT_TRUE(p);
  std::string error;
  // Tone shows 100 n^2 with one decimal, so each shown number covers a
  // range of positions; the host lands in the middle of that range.
  const struct
  {
    double target, lowest, highest;  // the positions that show it
  } cases[] = {
    {25.0, std::sqrt(0.2495), std::sqrt(0.2505)},
    {81.0, std::sqrt(0.8095), std::sqrt(0.8105)},
    {12.3, std::sqrt(0.12250), std::sqrt(0.12350)},
    {0.4, std::sqrt(0.0035), std::sqrt(0.0045)},
    {0.0, 0.0, std::sqrt(0.0005)},
    {100.0, std::sqrt(0.9995), 1.0},
  };
  for (const auto& c : cases)
  {
    ASSERT_TRUE(vsthost::SetParameterPlain(*p, kTone, std::to_string(c.target), &error)) << error;
    double shown = 0.0;
    ASSERT_TRUE(vsthost::ParseNumber(p->ParamDisplay(kTone), true, &shown));
    EXPECT_NEAR(shown, c.target, 1e-9) << c.target;
    EXPECT_NEAR(p->GetParameter(kTone), (c.lowest + c.highest) / 2, (c.highest - c.lowest) / 4) << c.target;
  }
  // With the unit written after the number, or the label glued on.
  EXPECT_TRUE(vsthost::SetParameterPlain(*p, kTone, "49 %", &error)) << error;
  EXPECT_EQ(p->ParamDisplay(kTone), "49.0");
  // Out of range: refused, and the value stays.
  const float before = p->GetParameter(kTone);
  EXPECT_FALSE(vsthost::SetParameterPlain(*p, kTone, "100.5", &error));
  EXPECT_NE(error.find("out of range for Tone (0 .. 100 %)"), std::string::npos) << error;
  EXPECT_EQ(p->GetParameter(kTone), before);
  EXPECT_FALSE(vsthost::SetParameterPlain(*p, kTone, "lots", &error));
  EXPECT_EQ(p->GetParameter(kTone), before);
  EXPECT_FALSE(vsthost::SetParameterPlain(*p, kTone, "", &error));
}

TEST(Params, Normalised)
{
  auto p = Load(FAKE_PLUGIN);
  ASSERT_TRUE(p);
  std::string error;
  EXPECT_TRUE(vsthost::SetParameterNormalised(*p, kTwinA, "0.25", &error));
  EXPECT_EQ(p->GetParameter(kTwinA), 0.25f);
  for (const char* bad : {"-0.1", "1.01", "x", "0.5x", "nan", ""})
  {
    EXPECT_FALSE(vsthost::SetParameterNormalised(*p, kTwinA, bad, &error)) << bad;
    EXPECT_EQ(p->GetParameter(kTwinA), 0.25f);
  }
}

TEST(Params, NumbersIgnoreTheProcessLocale)
{
  double v = 0.0;
  EXPECT_TRUE(vsthost::ParseNumber("-12.5 dB", false, &v));
  EXPECT_EQ(v, -12.5);
  EXPECT_FALSE(vsthost::ParseNumber("-12.5 dB", true, &v));
  EXPECT_TRUE(vsthost::ParseNumber("+2e3", true, &v));
  EXPECT_EQ(v, 2000.0);
  EXPECT_TRUE(vsthost::ParseNumber("3e", false, &v));  // "e" without digits is a unit
  EXPECT_EQ(v, 3.0);
  EXPECT_FALSE(vsthost::ParseNumber("-", false, &v));
  EXPECT_FALSE(vsthost::ParseNumber("1e999", true, &v));
  if (setlocale(LC_NUMERIC, "de_DE.UTF-8"))
  {
    EXPECT_TRUE(vsthost::ParseNumber("0.25", true, &v));
    EXPECT_EQ(v, 0.25);
    setlocale(LC_NUMERIC, "C");
  }
}

TEST(Params, ThirdPartyPlainValues)
{
  REQUIRE_PLUGIN(kZamComp);
  auto p = Load(kZamComp);
  ASSERT_TRUE(p);
  int i = -1;
  std::string error;
  ASSERT_TRUE(vsthost::FindParameter(*p, "threshold", &i, &error)) << error;
  ASSERT_TRUE(vsthost::SetParameterPlain(*p, i, "-18", &error)) << error;
  double shown = 0.0;
  ASSERT_TRUE(vsthost::ParseNumber(p->ParamDisplay(i), false, &shown));
  EXPECT_NEAR(shown, -18.0, 0.01);
  ASSERT_TRUE(vsthost::FindParameter(*p, "Attack", &i, &error)) << error;
  ASSERT_TRUE(vsthost::SetParameterPlain(*p, i, "25", &error)) << error;
  ASSERT_TRUE(vsthost::ParseNumber(p->ParamDisplay(i), false, &shown));
  EXPECT_NEAR(shown, 25.0, 0.01);
}

}  // namespace
