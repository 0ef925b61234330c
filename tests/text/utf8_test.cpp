// UTF-8 decoding: one table of well-formed, malformed, overlong and cut-short sequences; an
// exhaustive round trip of every 16-bit code; and reads that must stop at a counted end.
#include "support/guard_buffer.h"
#include "support/prng.h"
#include "support/ref_text.h"

#include "WDL/lice/lice_text.h"
#include "WDL/lice/src/lice_text_p.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
struct DecodeCase
{
  const char* bytes;
  int avail; // -1: zero-terminated
  int used;
  unsigned short value;
  const char* what;
};

const DecodeCase kDecode[] = {
    {"A", -1, 1, 0x41, "ASCII"},
    {"\x7f", -1, 1, 0x7f, "last ASCII"},
    {"\x80", -1, 1, 0x80, "lone continuation byte"},
    {"\xbf\x80", -1, 1, 0xbf, "continuation byte as a lead"},
    {"\xc0\x80", -1, 1, 0xc0, "overlong lead C0"},
    {"\xc1\xbf", -1, 1, 0xc1, "overlong lead C1"},
    {"\xc2\x80", -1, 2, 0x80, "first two-byte code"},
    {"\xc2\xc0", -1, 2, 0x80, "C0 counts as a continuation"},
    {"\xc2\xc1", -1, 1, 0xc2, "C1 is no continuation"},
    {"\xc2", -1, 1, 0xc2, "two-byte lead before the terminator"},
    {"\xc2" "A", -1, 1, 0xc2, "two-byte lead before ASCII"},
    {"\xce\xa9", -1, 2, 0x3a9, "Omega"},
    {"\xdf\xbf", -1, 2, 0x7ff, "last two-byte code"},
    {"\xe0\x80\x80", -1, 3, 0x0000, "overlong three-byte zero"},
    {"\xe0\x81\xbf", -1, 3, 0x007f, "overlong three-byte ASCII"},
    {"\xe0\xa0\x80", -1, 3, 0x800, "first three-byte code"},
    {"\xe2\x82\xac", -1, 3, 0x20ac, "euro sign"},
    {"\xed\xa0\x80", -1, 3, 0xd800, "surrogate half"},
    {"\xef\xbf\xbf", -1, 3, 0xffff, "last three-byte code"},
    {"\xe2\x82", -1, 1, 0xe2, "three-byte lead cut by the terminator"},
    {"\xe2\x82" "A", -1, 1, 0xe2, "three-byte lead cut by ASCII"},
    {"\xe2" "A\xac", -1, 1, 0xe2, "bad second byte"},
    {"\xf0\x9f\x98\x80", -1, 4, 0x20, "four-byte code is a space"},
    {"\xf4\x8f\xbf\xbf", -1, 4, 0x20, "last four-byte lead"},
    {"\xf0\x9f\x98", -1, 1, 0xf0, "four-byte lead cut by the terminator"},
    {"\xf0\x9f\x98" "A", -1, 1, 0xf0, "four-byte lead cut by ASCII"},
    {"\xf5\x80\x80\x80", -1, 1, 0xf5, "lead above F4"},
    {"\xff", -1, 1, 0xff, "FF"},
    {"\xc2\x80", 1, 1, 0xc2, "two-byte code cut by the count"},
    {"\xe2\x82\xac", 2, 1, 0xe2, "three-byte code cut by the count"},
    {"\xe2\x82\xac", 1, 1, 0xe2, "three-byte code, count 1"},
    {"\xf0\x9f\x98\x80", 3, 1, 0xf0, "four-byte code cut by the count"},
    {"\xf0\x9f\x98\x80", 4, 4, 0x20, "four-byte code, count 4"},
    {"\xe2\x82\xac", 0, 0, 0, "count 0"},
};

TEST(Utf8, DecodeTable)
{
  for (const DecodeCase& c : kDecode)
  {
    unsigned short v = 0xbeef;
    const int used = lice_text_detail::DecodeUTF8(c.bytes, c.avail, &v);
    EXPECT_EQ(used, c.used) << c.what;
    EXPECT_EQ(v, c.value) << c.what;
    unsigned short rv = 0xbeef;
    EXPECT_EQ(reftext::Decode((const unsigned char*)c.bytes, c.avail, &rv), c.used) << c.what;
    EXPECT_EQ(rv, c.value) << c.what;
    if (c.avail < 0)
    {
      unsigned short pv = 0xbeef;
      EXPECT_EQ(utf8char(c.bytes, &pv), c.used) << c.what;
      EXPECT_EQ(pv, c.value) << c.what;
    }
  }
}

TEST(Utf8, NullArguments)
{
  unsigned short v = 1;
  EXPECT_EQ(utf8char(nullptr, &v), 0);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(utf8char("\xce\xa9", nullptr), 2);
}

TEST(Utf8, EveryCodeRoundTrips)
{
  for (int c = 1; c < 0x10000; ++c)
  {
    const std::string s = reftext::Encode((unsigned short)c);
    unsigned short v = 0;
    ASSERT_EQ(utf8char(s.c_str(), &v), (int)s.size()) << c;
    ASSERT_EQ(v, c);
  }
}

// Random bytes placed against a PROT_NONE page: no decode may touch the byte after avail.
TEST(Utf8, CountedReadsStopAtTheCount)
{
  licetest::Rng rng(0x7e47);
  textest::GuardBuffer buf(64);
  static const unsigned char kBiased[] = {0x00, 0x41, 0x80, 0xbf, 0xc0, 0xc1, 0xc2, 0xdf,
                                          0xe0, 0xed, 0xef, 0xf0, 0xf4, 0xf5, 0xff, 0xa9};
  for (int i = 0; i < 20000; ++i)
  {
    const int n = rng.range(1, 6);
    unsigned char* p = buf.tail(n);
    for (int k = 0; k < n; ++k) p[k] = rng.chance(60) ? kBiased[rng.below(16)] : (unsigned char)rng.below(256);
    unsigned short v, rv;
    const int used = lice_text_detail::DecodeUTF8((const char*)p, n, &v);
    ASSERT_EQ(used, reftext::Decode(p, n, &rv));
    ASSERT_EQ(v, rv);
    ASSERT_GE(used, 1);
    ASSERT_LE(used, n);
  }
}
} // namespace
