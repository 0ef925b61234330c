#include "WDL/base64.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Encode(const std::string& in)
{
  std::vector<char> out(WDL_Base64EncodedLength(static_cast<int>(in.size())) + 1);
  const int n = WDL_Base64Encode(in.data(), static_cast<int>(in.size()), out.data(), static_cast<int>(out.size()));
  EXPECT_EQ(n, static_cast<int>(out.size()) - 1);
  return out.data();
}

// Decoded text, or "<refused>".
std::string Decode(const char* in)
{
  unsigned char out[64];
  const int n = WDL_Base64Decode(in, -1, out, sizeof(out));
  return n < 0 ? "<refused>" : std::string(reinterpret_cast<char*>(out), static_cast<size_t>(n));
}

}  // namespace

TEST(Base64, Rfc4648TestVectors)
{
  const char* vectors[][2] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},     {"foo", "Zm9v"},
                              {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
  for (auto& v : vectors)
  {
    EXPECT_EQ(Encode(v[0]), v[1]);
    EXPECT_EQ(Decode(v[1]), v[0]);
  }
}

TEST(Base64, RoundTripsEveryByteAndLength)
{
  std::vector<unsigned char> data(256);
  for (int i = 0; i < 256; ++i) data[static_cast<size_t>(i)] = static_cast<unsigned char>(i * 7 + 3);
  for (int len = 0; len <= 256; ++len)
  {
    std::vector<char> text(static_cast<size_t>(WDL_Base64EncodedLength(len)) + 1);
    ASSERT_GE(WDL_Base64Encode(data.data(), len, text.data(), static_cast<int>(text.size())), 0);
    std::vector<unsigned char> back(static_cast<size_t>(len) + 1);
    ASSERT_EQ(WDL_Base64Decode(text.data(), -1, back.data(), len), len) << len;
    ASSERT_EQ(0, std::memcmp(back.data(), data.data(), static_cast<size_t>(len)));
  }
}

TEST(Base64, RefusesMalformedText)
{
  const char* bad[] = {"Zg=",   "Zg=a", "Z===",  "====",   "Zm9v!AAA", "Zm9v\n", " Zm9v",
                       "Zh==",  // non-zero bits under the padding
                       "Zm9=",  "Zg==Zg==", "Z=g=", "Zm9vY"};
  for (const char* b : bad) EXPECT_EQ(Decode(b), "<refused>") << b;
  EXPECT_EQ(WDL_Base64Decode(nullptr, -1, nullptr, 0), -1);
}

TEST(Base64, RefusesShortOutputWithoutWriting)
{
  unsigned char out[2] = {0xEE, 0xEE};
  EXPECT_EQ(WDL_Base64Decode("Zm9v", -1, out, 2), -1);
  EXPECT_EQ(out[0], 0xEE);
  char text[4] = "zzz";
  EXPECT_EQ(WDL_Base64Encode("foo", 3, text, 4), -1);  // needs 5 with the terminator
  EXPECT_STREQ(text, "");
  EXPECT_EQ(WDL_Base64Encode("foo", -1, text, 4), -1);
  EXPECT_EQ(WDL_Base64EncodedLength(-1), -1);
  EXPECT_EQ(WDL_Base64EncodedLength(INT_MAX), -1);
}

TEST(Base64, LenientPrefixDecoding)
{
  unsigned char out[8];
  std::memset(out, 0xEE, sizeof(out));
  EXPECT_EQ(WDL_Base64DecodePrefix("AAAA", out, 3), 3);
  EXPECT_EQ(out[0] | out[1] | out[2], 0);
  EXPECT_EQ(out[3], 0xEE);
  EXPECT_EQ(WDL_Base64DecodePrefix("AAAA", out, 2), 2);
  EXPECT_EQ(WDL_Base64DecodePrefix("Zm9vYmE=", out, 8), 5);
  EXPECT_EQ(0, std::memcmp(out, "fooba", 5));
  EXPECT_EQ(WDL_Base64DecodePrefix("Zm9\nvYmE", out, 8), 2);  // stops at the line break
  EXPECT_EQ(0, std::memcmp(out, "fo", 2));
  EXPECT_EQ(WDL_Base64DecodePrefix("", out, 8), 0);
  EXPECT_EQ(WDL_Base64DecodePrefix("Zm9v", out, 0), 0);
}
