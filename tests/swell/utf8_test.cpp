// The UTF-8 decoder against a plain encoder: valid text round-trips, random bytes give only
// scalar values, and each ill-formed subsequence becomes exactly one replacement.
#include "swell_test_util.h"
#include "WDL/swell/swell_utf8_p.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using swell_detail::DecodeUtf8;
using swell_detail::TrimCutUtf8Tail;
using swelltest::Prng;

namespace
{
std::vector<unsigned char> Encode(uint32_t cp)
{
  std::vector<unsigned char> b;
  if (cp < 0x80) b = {(unsigned char)cp};
  else if (cp < 0x800) b = {(unsigned char)(0xC0 | cp >> 6), (unsigned char)(0x80 | (cp & 63))};
  else if (cp < 0x10000)
    b = {(unsigned char)(0xE0 | cp >> 12), (unsigned char)(0x80 | ((cp >> 6) & 63)), (unsigned char)(0x80 | (cp & 63))};
  else
    b = {(unsigned char)(0xF0 | cp >> 18), (unsigned char)(0x80 | ((cp >> 12) & 63)),
         (unsigned char)(0x80 | ((cp >> 6) & 63)), (unsigned char)(0x80 | (cp & 63))};
  return b;
}

std::vector<uint32_t> Decode(const std::vector<unsigned char>& b)
{
  std::vector<uint32_t> out(b.size() + 1);
  out.resize((size_t)DecodeUtf8(b.data(), (int)b.size(), out.data()));
  return out;
}
}

TEST(SwellUtf8, ValidTextRoundTrips)
{
  Prng rng(11);
  for (int trial = 0; trial < 2000; ++trial)
  {
    std::vector<uint32_t> cps;
    std::vector<unsigned char> bytes;
    const int n = rng.range(0, 20);
    for (int i = 0; i < n; ++i)
    {
      uint32_t cp;
      do
        cp = (uint32_t)(rng.next() % 0x110000u) >> (rng.range(0, 3) * 5);
      while (cp >= 0xD800 && cp <= 0xDFFF);
      cps.push_back(cp);
      for (unsigned char b : Encode(cp)) bytes.push_back(b);
    }
    ASSERT_EQ(Decode(bytes), cps) << "trial " << trial;
    // cutting the copy anywhere trims at most the one cut character
    const int cut = rng.range(0, (int)bytes.size());
    const int kept = TrimCutUtf8Tail(bytes.data(), cut);
    std::vector<unsigned char> head(bytes.begin(), bytes.begin() + kept);
    for (uint32_t cp : Decode(head)) ASSERT_NE(cp, 0xFFFDu) << "trial " << trial;
    ASSERT_GE(kept, cut - 3);
  }
}

TEST(SwellUtf8, IllFormedBytesBecomeOneReplacementEach)
{
  struct Case
  {
    std::vector<unsigned char> in;
    std::vector<uint32_t> out;
  };
  const uint32_t R = 0xFFFD;
  const Case cases[] = {
      {{0x80}, {R}},
      {{0xC1, 0xBF}, {R, R}},
      {{0xC2}, {R}},
      {{0xC2, 0x41}, {R, 0x41}},
      {{0xE0, 0x9F, 0x80}, {R, R, R}},
      {{0xE0, 0xA0}, {R}},
      {{0xED, 0x9F, 0xBF}, {0xD7FF}},
      {{0xED, 0xA0, 0x80}, {R, R, R}},
      {{0xEF, 0xBF, 0xBF}, {0xFFFF}},
      {{0xF0, 0x8F, 0xBF, 0xBF}, {R, R, R, R}},
      {{0xF0, 0x90, 0x80}, {R}},
      {{0xF4, 0x8F, 0xBF, 0xBF}, {0x10FFFF}},
      {{0xF4, 0x90, 0x80, 0x80}, {R, R, R, R}},
      {{0xF8, 0x88, 0x80, 0x80, 0x80}, {R, R, R, R, R}},
      {{0xFE, 0xFF}, {R, R}},
      {{0x61, 0xE2, 0x82, 0x62}, {0x61, R, 0x62}},
  };
  for (const Case& k : cases) EXPECT_EQ(Decode(k.in), k.out);

  Prng rng(5);
  for (int trial = 0; trial < 5000; ++trial)
  {
    std::vector<unsigned char> b((size_t)rng.range(0, 12));
    for (unsigned char& x : b) x = (unsigned char)(rng.range(0, 3) ? 0x80 | rng.range(0, 0x7F) : rng.range(0, 255));
    const std::vector<uint32_t> cps = Decode(b);
    ASSERT_LE(cps.size(), b.size());
    size_t encoded = 0;
    for (uint32_t cp : cps)
    {
      ASSERT_LE(cp, 0x10FFFFu);
      ASSERT_FALSE(cp >= 0xD800 && cp <= 0xDFFF);
      if (cp != R) encoded += Encode(cp).size();
    }
    ASSERT_LE(encoded, b.size());
  }
}
