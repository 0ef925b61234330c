#include "WDL/wdlstring.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The string's own buffer, passed through a volatile so the compiler does not
// guess its size from the allocation paths it can see.
char* Buffer(WDL_String& s)
{
  char* volatile p = s.GetWritable();
  return p;
}

}  // namespace

TEST(WDLString, EmptyIsNeverNull)
{
  WDL_String s;
  ASSERT_NE(s.Get(), nullptr);
  EXPECT_STREQ(s.Get(), "");
  EXPECT_EQ(s.GetLength(), 0);
  s.Set(nullptr);
  EXPECT_STREQ(s.Get(), "");
  s.Append(nullptr);
  EXPECT_STREQ(s.Get(), "");
}

TEST(WDLString, SetAppendInsertDelete)
{
  WDL_String s("hello");
  s.Append(" world");
  EXPECT_STREQ(s.Get(), "hello world");
  s.Insert(",", 5);
  EXPECT_STREQ(s.Get(), "hello, world");
  s.Insert("[", -4);
  s.Insert("]", 999);
  EXPECT_STREQ(s.Get(), "[hello, world]");
  s.DeleteSub(1, 7);
  EXPECT_STREQ(s.Get(), "[world]");
  s.DeleteSub(5, 100);
  EXPECT_STREQ(s.Get(), "[worl");
  s.DeleteSub(-1, 2);
  s.DeleteSub(50, 2);
  EXPECT_STREQ(s.Get(), "[worl");
}

TEST(WDLString, MaxLenTakesAPrefix)
{
  WDL_String s;
  s.Set("abcdef", 3);
  EXPECT_STREQ(s.Get(), "abc");
  s.Append("xyz", 1);
  EXPECT_STREQ(s.Get(), "abcx");
  s.Set("ab", 10);  // maxlen beyond the terminator stops at it
  EXPECT_STREQ(s.Get(), "ab");
  s.Insert("123", 1, 2);
  EXPECT_STREQ(s.Get(), "a12b");
}

TEST(WDLString, ReplaceTailKeepsTrailingCharacters)
{
  WDL_String s("abcdef");
  s.ReplaceTail(2, "XY", 2, 1);
  EXPECT_STREQ(s.Get(), "abXYf");
  s.ReplaceTail(1, "", 0, 100);  // trailkeep is clamped to what follows
  EXPECT_STREQ(s.Get(), "abXYf");
}

// Sources inside the string's own buffer, with and without reallocation.
TEST(WDLString, SelfOverlappingEdits)
{
  WDL_String s("0123456789");
  s.Set(Buffer(s) + 3);
  EXPECT_STREQ(s.Get(), "3456789");
  s.Append(s.Get());
  EXPECT_STREQ(s.Get(), "34567893456789");
  s.Insert(Buffer(s) + 1, 2, 3);
  EXPECT_STREQ(s.Get(), "34456567893456789");

  std::string big(300, 'a');
  big[0] = 'b';
  s.Set(big.c_str());
  for (int i = 0; i < 4; ++i)
  {
    s.Append(s.Get());  // grows past the allocation each time
    big += big;
  }
  EXPECT_EQ(std::string(s.Get()), big);
  s.Insert(s.Get(), 1);
  EXPECT_EQ(std::string(s.Get()), big.substr(0, 1) + big + big.substr(1));
  s.SetFormatted(0, "%s|%s", Buffer(s) + s.GetLength() - 2, Buffer(s) + s.GetLength() - 3);
  EXPECT_STREQ(s.Get(), "aa|aaa");
}

TEST(WDLString, SetLenCutsOrMakesRoom)
{
  WDL_String s("abcdef");
  s.SetLen(3);
  EXPECT_STREQ(s.Get(), "abc");
  s.SetLen(10);
  EXPECT_STREQ(s.Get(), "abc");  // new room is zeroed
  EXPECT_GE(s.GetCapacity(), 11);
  char* w = s.GetWritable();
  w[3] = 'd';
  EXPECT_STREQ(s.Get(), "abcd");
  s.SetLen(-1);
  EXPECT_STREQ(s.Get(), "");
  WDL_String e;
  ASSERT_NE(e.GetWritable(), nullptr);
  EXPECT_STREQ(e.GetWritable(), "");
}

TEST(WDLString, Formatting)
{
  WDL_String s;
  s.SetFormatted(0, "%d-%s", 42, "x");
  EXPECT_STREQ(s.Get(), "42-x");
  s.AppendFormatted(3, "%05d", 7);
  EXPECT_STREQ(s.Get(), "42-x000");
  s.SetFormatted(5, "%s", "longer than five");
  EXPECT_STREQ(s.Get(), "longe");
}
