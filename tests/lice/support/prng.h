// A tiny seeded PRNG (splitmix64) for the raster tests: the standard library's
// distributions differ between implementations, this one gives the same cases everywhere.
#ifndef TESTS_LICE_SUPPORT_PRNG_H
#define TESTS_LICE_SUPPORT_PRNG_H

#include <cstdint>

namespace licetest
{
class Rng
{
public:
  explicit Rng(uint64_t seed) : m_s(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}

  uint64_t next()
  {
    uint64_t z = (m_s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint32_t u32() { return (uint32_t)(next() >> 32); }
  // 0 .. n-1
  int below(int n) { return n <= 1 ? 0 : (int)(next() % (uint64_t)n); }
  // lo .. hi inclusive
  int range(int lo, int hi) { return lo + below(hi - lo + 1); }
  bool chance(int percent) { return below(100) < percent; }
  // 0 .. 1
  double unit() { return (double)(next() >> 11) * (1.0 / 9007199254740992.0); }
  double frange(double lo, double hi) { return lo + (hi - lo) * unit(); }

  // A channel byte biased toward the extremes, where rounding and saturation live.
  int biasedByte()
  {
    const int k = below(8);
    if (k < 2) return 0;
    if (k < 4) return 255;
    if (k == 4) return range(1, 3);
    if (k == 5) return range(252, 254);
    return below(256);
  }
  uint32_t biasedPixel()
  {
    return (uint32_t)biasedByte() | ((uint32_t)biasedByte() << 8) | ((uint32_t)biasedByte() << 16) |
           ((uint32_t)biasedByte() << 24);
  }

private:
  uint64_t m_s;
};
} // namespace licetest

#endif
