// The seeded case runner of the randomised differential tests. A case draws everything from
// its Rng, runs the real routine and the reference, and reports a mismatch in Case.
// LICE_SEED=<n> replays one seed; LICE_SEEDS=<n> changes the number of seeds per family.
// At most three failures are reported per family.
#ifndef TESTS_LICE_SUPPORT_SEEDS_H
#define TESTS_LICE_SUPPORT_SEEDS_H

#include "prng.h"
#include "test_bitmap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

namespace licetest
{
struct Case
{
  std::string call; // printed on failure
  bool ok = true;
  std::string what;
};

typedef std::function<void(Rng&, Case&)> CaseFn;

// Two bitmaps with one random starting picture: the real routine draws into one, the
// reference into the other. A side is 1 with the given percent chance, else up to maxDim;
// rows are padded by up to maxPad pixels half the time; a third are flipped.
struct Pair
{
  std::unique_ptr<TestBitmap> real, refc;
  int w() const { return real->getWidth(); }
  int h() const { return real->getHeight(); }
};

inline Pair MakePair(Rng& rng, int maxDim, int onePercent, int maxPad)
{
  const int w = rng.chance(onePercent) ? 1 : rng.range(1, maxDim);
  const int h = rng.chance(onePercent) ? 1 : rng.range(1, maxDim);
  const int span = w + (rng.chance(50) ? 0 : rng.range(1, maxPad));
  const bool flipped = rng.chance(35);
  Pair p;
  p.real.reset(new TestBitmap(w, h, span, flipped));
  p.refc.reset(new TestBitmap(w, h, span, flipped));
  p.real->fillRandom(rng);
  p.refc->copyFrom(*p.real);
  return p;
}

inline void RunSeeds(const char* name, const CaseFn& fn, uint64_t salt, int defaultSeeds)
{
  const char* one = std::getenv("LICE_SEED");
  const char* many = std::getenv("LICE_SEEDS");
  const uint64_t first = one ? std::strtoull(one, nullptr, 10) : 1;
  const uint64_t count = one ? 1 : (uint64_t)(many ? std::atoi(many) : defaultSeeds);
  int failures = 0;
  for (uint64_t seed = first; seed < first + count && failures < 3; ++seed)
  {
    Rng rng(seed ^ salt);
    Case c;
    fn(rng, c);
    if (!c.ok)
    {
      ++failures;
      ADD_FAILURE() << name << " seed " << seed << " (replay: LICE_SEED=" << seed << "):\n  " << c.call << "\n  "
                    << c.what;
    }
  }
}
} // namespace licetest

#endif
