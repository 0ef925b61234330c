#include "WDL/IPlug/Hosts.h"
#include "WDL/IPlug/Log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cctype>
#include <string>

TEST(Hosts, LookUp)
{
  EXPECT_EQ(LookUpHost("Ableton LIVE 11"), kHostAbletonLive);
  EXPECT_EQ(LookUpHost("REAPER"), kHostReaper);
  EXPECT_EQ(LookUpHost("nuendo and cubase"), kHostCubase);     // cubase is searched first
  EXPECT_EQ(LookUpHost("Digital Logic"), kHostLogic);          // logic before digital
  EXPECT_EQ(LookUpHost("Ardour"), kHostArdour);
  EXPECT_EQ(LookUpHost("Melodyne"), kHostMelodyneStudio);
  EXPECT_EQ(LookUpHost("Cakewalk SONAR"), kHostSonar);
  EXPECT_EQ(LookUpHost("PreSonus Studio One"), kHostStudioOne);
  EXPECT_EQ(LookUpHost("plughost"), kHostUnknown);
  EXPECT_EQ(LookUpHost(""), kHostUnknown);
  EXPECT_EQ(LookUpHost(nullptr), kHostUnknown);
  // Only the first 255 characters are searched.
  std::string longName(300, 'x');
  EXPECT_EQ(LookUpHost((longName + "reaper").c_str()), kHostUnknown);
  EXPECT_EQ(LookUpHost(("reaper" + longName).c_str()), kHostReaper);
}

TEST(Hosts, Names)
{
  char str[kMaxHostNameLen];
  const struct
  {
    int code;
    const char* name;
  } cases[] = {{0, "Unknown"},  {1, "Reaper"},     {6, "Vegas"},     {10, "Unknown"}, {11, "Unknown"},
               {12, "Unknown"}, {19, "Unknown"},   {23, "DigitalPerformer"}, {26, "StudioOne"},
               {27, "VST3PluginTestHost"}, {30, "OpenMPT"}, {31, "Unknown"}, {-1, "Unknown"}};
  for (const auto& c : cases)
  {
    GetHostNameStr(static_cast<EHost>(c.code), str);
    EXPECT_STREQ(str, c.name) << c.code;
  }
}

TEST(Versions, PartsDecimalAndText)
{
  int major = -1, minor = -1, third = -1;
  EXPECT_EQ(GetVersionParts(0x040A0B, &major, &minor, &third), 4);
  EXPECT_EQ(minor, 10);
  EXPECT_EQ(third, 11);
  EXPECT_EQ(GetVersionParts(0x10000, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(GetDecimalVersion(0x40000), 40000);
  EXPECT_EQ(GetDecimalVersion(0x1900), 2500);
  char str[kMaxVersionStrLen];
  GetVersionStr(0x40000, str);
  EXPECT_STREQ(str, "v4.0.0");
  GetVersionStr(static_cast<int>(0x8000FFFF), str);  // the widest text fits
  EXPECT_STREQ(str, "v-32768.255.255");
  const int sys = GetSystemVersion();
  EXPECT_GT(sys >> 16, 0);  // every kernel we run on has a major version
}

TEST(Log, CompileTimestamp)
{
  WDL_String s;
  CompileTimestamp("Dec  6 2024", "18:30:59", &s);
  EXPECT_STREQ(s.Get(), "[Dec 6 18:30]");
  CompileTimestamp("Dec 16 2024", "18:30:59", &s);
  EXPECT_STREQ(s.Get(), "[Dec16 18:30]");
  CompileTimestamp(__DATE__, __TIME__, &s);
  EXPECT_EQ(s.GetLength(), 13);
  CompileTimestamp("", nullptr, &s);  // short texts stay well-formed
  EXPECT_STREQ(s.Get(), "[ ]");
  CompileTimestamp("Dec", "1", &s);
  EXPECT_STREQ(s.Get(), "[Dec 1]");
  CompileTimestamp("Dec 1 2024", "1", nullptr);
  EXPECT_STREQ(AppendTimestamp("Dec 16 2024", "18:30:59", "build"), "build [Dec16 18:30]");
}

TEST(Log, CurrentTimeFormat)
{
  // "YYYYMMDD HH:MM +HHMM"
  const std::string t = CurrentTime();
  const std::string shape = "dddddddd dd:dd sdddd";
  ASSERT_EQ(t.size(), shape.size()) << t;
  for (size_t i = 0; i < t.size(); ++i)
  {
    if (shape[i] == 'd') EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(t[i]))) << t;
    else if (shape[i] == 's') EXPECT_TRUE(t[i] == '+' || t[i] == '-') << t;
    else EXPECT_EQ(t[i], shape[i]) << t;
  }
}

TEST(Log, TimerAndText)
{
  Timer timer;
  EXPECT_FALSE(timer.Every(1000.0));
  bool fired = false;
  for (long i = 0; i < 2000000000L && !fired; ++i) fired = timer.Every(0.0);
  EXPECT_TRUE(fired);

  EXPECT_TRUE(IsWhitespace(' '));
  EXPECT_TRUE(IsWhitespace('\t'));
  EXPECT_TRUE(IsWhitespace('\n'));
  EXPECT_TRUE(IsWhitespace('\r'));
  EXPECT_FALSE(IsWhitespace('\v'));
  EXPECT_FALSE(IsWhitespace('\f'));
  EXPECT_FALSE(IsWhitespace('x'));

  char dst[6];
  ToLower(dst, "ReAPER Ultra", sizeof(dst));
  EXPECT_STREQ(dst, "reape");
  ToLower(dst, nullptr, sizeof(dst));
  EXPECT_STREQ(dst, "");
}
