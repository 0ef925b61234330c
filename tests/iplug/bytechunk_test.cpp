#include "WDL/IPlug/Containers.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

namespace {

ByteChunk ChunkWithLength(int32_t len, const char* text)
{
  ByteChunk c;
  c.PutValue(&len);
  c.PutBytes(text, static_cast<int>(std::strlen(text)));
  return c;
}

}  // namespace

TEST(ByteChunk, ValuesRoundTripInLittleEndianWithoutPadding)
{
  ByteChunk c;
  const int32_t i = 1;
  const double d = 0.25;
  const char ch = 'x';
  EXPECT_EQ(c.PutValue(&i), 4);
  EXPECT_EQ(c.PutValue(&ch), 5);
  EXPECT_EQ(c.PutValue(&d), 13);
  const unsigned char* p = c.GetData();
  EXPECT_EQ(p[0], 1);
  EXPECT_EQ(p[1] | p[2] | p[3], 0);
  int32_t i2 = 0;
  char ch2 = 0;
  double d2 = 0.0;
  int pos = c.GetValue(&i2, 0);
  pos = c.GetValue(&ch2, pos);
  pos = c.GetValue(&d2, pos);
  EXPECT_EQ(pos, 13);
  EXPECT_EQ(i2, 1);
  EXPECT_EQ(ch2, 'x');
  EXPECT_EQ(d2, 0.25);
}

TEST(ByteChunk, ReadersRefuseShortDataAndBadPositions)
{
  ByteChunk c;
  const int32_t i = 7;
  c.PutValue(&i);
  double d = 3.0;
  EXPECT_EQ(c.GetValue(&d, 0), -1);  // 8 bytes wanted, 4 there
  EXPECT_EQ(d, 3.0);
  int32_t v = 5;
  EXPECT_EQ(c.GetValue(&v, -1), -1);
  EXPECT_EQ(c.GetValue(&v, 1), -1);
  EXPECT_EQ(c.GetValue(&v, 4), -1);
  EXPECT_EQ(c.GetValue(&v, INT_MAX), -1);
  EXPECT_EQ(c.GetValue(&v, INT_MAX - 2), -1);  // startPos + 4 would overflow an int
  EXPECT_EQ(c.GetValue(&v, INT_MIN), -1);
  EXPECT_EQ(v, 5);
  bool b = true;
  EXPECT_EQ(c.GetFlag(&b, 4), -1);
  EXPECT_TRUE(b);
  ByteChunk empty;
  EXPECT_EQ(empty.GetValue(&v, 0), -1);
  EXPECT_EQ(empty.GetData(), nullptr);
}

TEST(ByteChunk, StringLayoutAndRoundTrip)
{
  ByteChunk c;
  c.PutString("A");
  c.PutString("");
  c.PutString(nullptr);
  ASSERT_EQ(c.Size(), 5 + 4 + 4);
  EXPECT_EQ(c.GetData()[0], 1);
  EXPECT_EQ(c.GetData()[4], 'A');
  WDL_String s("old");
  int pos = c.GetString(&s, 0);
  EXPECT_EQ(pos, 5);
  EXPECT_STREQ(s.Get(), "A");
  pos = c.GetString(&s, pos);
  EXPECT_EQ(pos, 9);
  EXPECT_STREQ(s.Get(), "");
}

TEST(ByteChunk, GetStringWithBadLengthFields)
{
  WDL_String s("keep");
  // 10 announced, 4 present: position past the end, text left alone, next read fails.
  ByteChunk shortText = ChunkWithLength(10, "abcd");
  const int pos = shortText.GetString(&s, 0);
  EXPECT_EQ(pos, 14);
  EXPECT_STREQ(s.Get(), "keep");
  int32_t v = 0;
  EXPECT_EQ(shortText.GetValue(&v, pos), -1);

  // Negative lengths would move the reader backwards (or loop forever): refused.
  EXPECT_EQ(ChunkWithLength(-4, "abcd").GetString(&s, 0), -1);
  EXPECT_EQ(ChunkWithLength(INT_MIN, "abcd").GetString(&s, 0), -1);
  // Lengths whose end lies beyond INT_MAX: refused instead of overflowing.
  EXPECT_EQ(ChunkWithLength(INT_MAX, "abcd").GetString(&s, 0), -1);
  EXPECT_EQ(ChunkWithLength(INT_MAX - 3, "abcd").GetString(&s, 0), -1);
  EXPECT_EQ(ChunkWithLength(INT_MAX - 4, "abcd").GetString(&s, 0), INT_MAX);
  // Huge but representable: a position past the end, nothing read.
  EXPECT_EQ(ChunkWithLength(0x10000000, "abcd").GetString(&s, 0), 0x10000004);
  EXPECT_STREQ(s.Get(), "keep");

  // The length field itself missing or partial.
  ByteChunk partial;
  partial.PutBytes("\x01\x00", 2);
  EXPECT_EQ(partial.GetString(&s, 0), -1);
  EXPECT_EQ(shortText.GetString(&s, -1), -1);
  EXPECT_EQ(shortText.GetString(&s, 14), -1);

  // An embedded zero ends the text; the position still skips all L bytes.
  ByteChunk zero;
  const int32_t five = 5;
  zero.PutValue(&five);
  zero.PutBytes("ab\0cd", 5);
  EXPECT_EQ(zero.GetString(&s, 0), 9);
  EXPECT_STREQ(s.Get(), "ab");
}

TEST(ByteChunk, FlagsAppendResizeClear)
{
  ByteChunk c;
  c.PutFlag(true);
  c.PutFlag(false);
  const unsigned char seven = 7;
  c.PutValue(&seven);
  bool b = false;
  EXPECT_EQ(c.GetFlag(&b, 0), 1);
  EXPECT_TRUE(b);
  EXPECT_EQ(c.GetFlag(&b, 1), 2);
  EXPECT_FALSE(b);
  EXPECT_EQ(c.GetFlag(&b, 2), 3);
  EXPECT_TRUE(b);  // any non-zero byte

  c.AppendChunk(&c);  // appending itself
  ASSERT_EQ(c.Size(), 6);
  EXPECT_EQ(c.GetData()[5], 7);
  EXPECT_EQ(c.AppendChunk(nullptr), 0);

  EXPECT_EQ(c.Resize(10), 10);
  EXPECT_EQ(c.GetData()[5], 7);
  for (int i = 6; i < 10; ++i) EXPECT_EQ(c.GetData()[i], 0);
  EXPECT_EQ(c.Resize(-1), 10);
  EXPECT_EQ(c.Resize(2), 2);
  EXPECT_EQ(c.GetData()[0], 1);

  ByteChunk copy = c;
  EXPECT_TRUE(copy.IsEqual(c));
  c.Clear();
  EXPECT_EQ(c.Size(), 0);
  EXPECT_EQ(c.GetData(), nullptr);
  EXPECT_FALSE(copy.IsEqual(c));
  EXPECT_EQ(copy.Size(), 2);
}

TEST(Preset, NameIsBoundedAndDefaultsToEmpty)
{
  IPreset p;
  EXPECT_FALSE(p.mInitialized);
  EXPECT_STREQ(p.mName, "empty");
  EXPECT_EQ(p.mChunk.Size(), 0);
  const std::string longName(400, 'n');
  p.SetName(longName.c_str());
  EXPECT_EQ(std::strlen(p.mName), 255u);
  p.SetName(nullptr);
  EXPECT_STREQ(p.mName, "");
}

TEST(StrCopyBounded, CutsAndTerminates)
{
  char buf[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(StrCopyBounded(buf, "abcdef", 4), 3);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(StrCopyBounded(buf, nullptr, 4), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(StrCopyBounded(buf, "zz", 0), 0);
  EXPECT_STREQ(buf, "");  // untouched
  EXPECT_EQ(StrCopyBounded(nullptr, "zz", 4), 0);
}
