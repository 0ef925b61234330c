#include "WDL/IPlug/IParam.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <string>

#include "WDL/IPlug/IPlugStructs.h"

namespace {

std::string Display(const IParam& p, double v, bool normalized = false, bool withText = true)
{
  char buf[kMaxParamDisplayLen];
  p.GetDisplayForHost(v, normalized, buf, withText);
  return buf;
}

}  // namespace

TEST(IParam, FreshParameterIsAStepOneSwitch)
{
  IParam p;
  EXPECT_EQ(p.Type(), IParam::kTypeNone);
  EXPECT_EQ(p.Value(), 0.0);
  EXPECT_EQ(p.GetMin(), 0.0);
  EXPECT_EQ(p.GetMax(), 1.0);
  EXPECT_STREQ(p.GetNameForHost(), "");
  p.SetNormalized(0.4);
  EXPECT_EQ(p.Value(), 0.0);
  p.SetNormalized(0.5);
  EXPECT_EQ(p.Value(), 1.0);  // halves round up
}

TEST(IParam, BoolWithDisplayTexts)
{
  IParam p;
  p.InitBool("Bypass", true, "unit");
  EXPECT_EQ(p.Type(), IParam::kTypeBool);
  EXPECT_EQ(p.Value(), 1.0);
  EXPECT_EQ(p.GetDefault(), 1.0);
  EXPECT_EQ(Display(p, p.Value()), "on");
  EXPECT_EQ(Display(p, p.Value(), false, false), "1");
  EXPECT_STREQ(p.GetLabelForHost(), "");
  p.Set(0.0);
  EXPECT_STREQ(p.GetLabelForHost(), "");
  int v = -1;
  EXPECT_TRUE(p.MapDisplayText("on", &v));
  EXPECT_EQ(v, 1);
  EXPECT_FALSE(p.MapDisplayText("On", &v));
  EXPECT_FALSE(p.MapDisplayText(nullptr, &v));
  EXPECT_EQ(p.GetNDisplayTexts(), 2);
  EXPECT_STREQ(p.GetDisplayTextAtIdx(0, &v), "off");
  EXPECT_EQ(v, 0);
  EXPECT_STREQ(p.GetDisplayTextAtIdx(2, &v), "");
  EXPECT_STREQ(p.GetDisplayText(5), "");
}

TEST(IParam, IntAndEnumRanges)
{
  IParam i;
  i.InitInt("x", 5, 3, 3, "", "");
  EXPECT_EQ(i.GetMax(), 4.0);
  EXPECT_EQ(i.Value(), 4.0);  // the default is kept inside the range
  IParam e;
  e.InitEnum("mode", 0, 1);
  EXPECT_EQ(e.GetMax(), 1.0);
  e.SetDisplayText(0, "a");
  e.SetDisplayText(0, "b");  // appended, not replacing
  EXPECT_STREQ(e.GetDisplayText(0), "a");
  EXPECT_EQ(e.GetNDisplayTexts(), 2);

  IParam n;
  n.InitInt("n", 0, 0, 10);
  n.SetNormalized(0.5);
  EXPECT_EQ(n.Value(), 5.0);
  n.InitInt("n", 0, 0, 3);
  n.SetNormalized(0.5);
  EXPECT_EQ(n.Value(), 2.0);  // 1.5 rounds up
  IParam big;
  big.InitInt("big", 0, INT_MAX - 1, INT_MAX);
  EXPECT_EQ(big.GetMax(), static_cast<double>(INT_MAX));
  big.Set(1e300);
  EXPECT_EQ(big.Int(), INT_MAX);
}

TEST(IParam, InitKeepsTheFirstTypeAndCopiesNamesBounded)
{
  IParam p;
  const std::string longName(40, 'n');
  p.InitInt(longName.c_str(), 1, 0, 2, "label-that-is-longer-than-31-chars", nullptr);
  EXPECT_EQ(std::strlen(p.GetNameForHost()), 31u);
  EXPECT_EQ(std::strlen(p.GetLabelForHost()), 31u);
  EXPECT_STREQ(p.GetParamGroupForHost(), "");
  p.InitDouble("d", 0.5, 0.0, 1.0, 0.1);
  EXPECT_EQ(p.Type(), IParam::kTypeInt);
  EXPECT_STREQ(p.GetNameForHost(), "d");
  const std::string longText(50, 't');
  p.SetDisplayText(3, longText.c_str());
  EXPECT_EQ(std::strlen(p.GetDisplayText(3)), 31u);
}

TEST(IParam, DoublePrecisionFromStep)
{
  const struct
  {
    double step;
    int precision;
  } cases[] = {{1.0, 0}, {0.1, 1}, {0.5, 1}, {0.25, 2}, {0.01, 2}, {0.001, 3}, {1e-9, 6}, {1.0 / 3.0, 6}, {5.0, 0}};
  for (const auto& c : cases)
  {
    IParam p;
    p.InitDouble("d", 0.0, 0.0, 100.0, c.step);
    EXPECT_EQ(p.GetPrecision(), c.precision) << c.step;
  }
}

TEST(IParam, DoubleDisplayAndNegation)
{
  IParam p;
  p.InitDouble("g", 2.0, -10.0, 10.0, 0.5, "dB");
  EXPECT_EQ(Display(p, 2.0), "2.0");
  EXPECT_STREQ(p.GetLabelForHost(), "dB");
  p.NegateDisplay();
  EXPECT_EQ(Display(p, 2.0), "-2.0");
  EXPECT_EQ(Display(p, 0.0), "0.0");
  EXPECT_EQ(Display(p, 0.5, true), "0.0");  // normalised 0.5 is plain 0.0; negated it stays "0.0"
  IParam q;
  q.InitDouble("q", 0.0, -5.0, 5.0, 0.25);
  EXPECT_EQ(Display(q, -3.5), "-3.50");
  EXPECT_EQ(Display(q, 1.0, true), "5.00");
  IParam whole;
  whole.InitDouble("w", 0.0, -100.0, 100.0, 1.0);
  EXPECT_EQ(Display(whole, -7.9), "-7");  // truncated toward zero
}

TEST(IParam, DisplayIsBoundedByTheGivenSize)
{
  IParam p;
  p.InitDouble("d", 0.0, -1e300, 1e300, 1e-7);
  char buf[8];
  p.GetDisplayForHost(1e300, false, buf, static_cast<int>(sizeof(buf)));
  EXPECT_EQ(std::strlen(buf), 7u);
  char big[kMaxParamDisplayLen];
  p.GetDisplayForHost(1e300, false, big);
  EXPECT_EQ(std::strlen(big), static_cast<size_t>(kMaxParamDisplayLen - 1));
  IParam text;
  text.InitEnum("e", 0, 2);
  text.SetDisplayText(0, "a long display text, cut");
  text.GetDisplayForHost(0.0, false, buf, static_cast<int>(sizeof(buf)));
  EXPECT_STREQ(buf, "a long ");
}

TEST(IParam, NormalisationWithShape)
{
  IParam p;
  p.InitDouble("s", 0.0, 0.0, 100.0, 0.01, "", "", 2.0);
  p.SetNormalized(0.5);
  EXPECT_DOUBLE_EQ(p.Value(), 25.0);
  EXPECT_DOUBLE_EQ(p.GetNormalized(), 0.5);
  EXPECT_EQ(p.GetNormalized(150.0), 1.0);
  EXPECT_EQ(p.GetNormalized(-3.0), 0.0);
  EXPECT_DOUBLE_EQ(p.GetNonNormalized(0.5), 25.0);
  p.InitDouble("s", 0.0, 0.0, 100.0, 0.01, "", "", 0.0);  // 0.0 keeps the shape
  EXPECT_EQ(p.GetShape(), 2.0);
  p.SetShape(-1.0);
  p.SetShape(NAN);
  EXPECT_EQ(p.GetShape(), 2.0);
  p.SetShape(0.25);
  EXPECT_EQ(p.GetShape(), 0.25);
}

TEST(IParam, ValuesStayInRange)
{
  IParam p;
  p.InitDouble("d", 0.0, 0.0, 1.0, 0.01);
  p.SetNormalized(1.2);
  EXPECT_EQ(p.Value(), 1.0);
  p.SetNormalized(-0.2);
  EXPECT_EQ(p.Value(), 0.0);  // clamped below as well as above
  p.Set(0.3);
  p.SetNormalized(NAN);
  EXPECT_EQ(p.Value(), 0.3);  // NaN refused
  p.Set(NAN);
  EXPECT_EQ(p.Value(), 0.3);
  p.Set(-4.0);
  EXPECT_EQ(p.Value(), 0.0);
  p.Set(4.0);
  EXPECT_EQ(p.Value(), 1.0);
  double lo = -1, hi = -1;
  p.GetBounds(&lo, &hi);
  EXPECT_EQ(lo, 0.0);
  EXPECT_EQ(hi, 1.0);

  IParam shaped;  // a fractional shape below 0 would make pow() NaN
  shaped.InitDouble("hpf", 0.0, 0.0, 0.96, 0.01, "", "", 0.25);
  shaped.Set(0.5);
  shaped.SetNormalized(-0.1);
  EXPECT_EQ(shaped.Value(), 0.0);

  IParam flat;  // min == max: no division by zero
  flat.InitDouble("f", 1.0, 1.0, 0.0, 0.0);
  EXPECT_EQ(flat.GetNormalized(), 0.0);
}

TEST(IParam, DBToAmp)
{
  IParam p;
  p.InitDouble("gain", -6.0, -15.0, 15.0, 0.01);
  EXPECT_NEAR(p.DBToAmp(), 0.501187, 1e-6);
}

// A host that sets a comma locale must not change our numbers.
TEST(IParam, FormatsInTheCLocale)
{
  const char* commaLocales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE", "fr_FR", "ru_RU.UTF-8"};
  locale_t comma = static_cast<locale_t>(0);
  for (const char* name : commaLocales)
    if ((comma = newlocale(LC_NUMERIC_MASK, name, static_cast<locale_t>(0))) != static_cast<locale_t>(0)) break;
  if (!comma) GTEST_SKIP() << "no locale with a decimal comma installed";
  const locale_t previous = uselocale(comma);
  char check[16];
  snprintf(check, sizeof(check), "%.1f", 0.5);
  IParam p;
  p.InitDouble("d", 0.5, 0.0, 1.0, 0.1);
  char buf[kMaxParamDisplayLen];
  p.GetDisplayForHost(buf);
  {
    IScopedCLocale nested;  // nests with the one inside GetDisplayForHost
  }
  char after[16];
  snprintf(after, sizeof(after), "%.1f", 0.5);
  uselocale(previous);
  freelocale(comma);
  EXPECT_STREQ(check, "0,5");  // the locale really is a comma one
  EXPECT_STREQ(buf, "0.5");
  EXPECT_STREQ(after, "0,5");  // and the thread's locale is restored
}
