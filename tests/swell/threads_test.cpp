// Several threads creating and deleting fonts, objects and contexts and drawing text at
// once. Meaningful under ThreadSanitizer (select with --gtest_filter='SwellThreads.*').
#include "swell_test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace swelltest;

TEST(SwellThreads, FontsContextsAndTextConcurrently)
{
  const char* faces[] = {"DejaVu Sans", "DejaVu Serif", "DejaVu Sans Mono", "Unknown Face"};
  const char* texts[] = {"12.5 dB", "HIGH", "Output", "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 \xC3\x85",
                         "multi\nline &text"};
  std::atomic<int> inked{0};
  auto worker = [&](int seed) {
    Prng rng((uint64_t)seed);
    for (int i = 0; i < 150; ++i)
    {
      Ctx c = MakeCtx(rng.range(20, 120), rng.range(10, 40));
      Obj font(CreateFont(rng.range(8, 30), 0, 0, 0, rng.range(0, 1) ? FW_BOLD : FW_NORMAL, (char)rng.range(0, 1), 0,
                          0, 0, 0, 0, (char)rng.range(0, 4), 0, faces[rng.range(0, 3)]));
      Obj brush(CreateSolidBrush((COLORREF)rng.next()));
      HGDIOBJ clone = SWELL_CloneGDIObject(font.get());
      DeleteObject(clone);
      SelectObject(c.get(), font.get());
      SelectObject(c.get(), brush.get());
      SetTextColor(c.get(), RGB(255, 255, 255));
      RECT r = {rng.range(-5, 10), rng.range(-5, 10), 120, 40};
      SWELL_DrawText(c.get(), texts[rng.range(0, 4)], -1, &r, rng.range(0, 0xfff));
      TEXTMETRIC tm;
      GetTextMetrics(c.get(), &tm);
      RECT m = {0, 0, 0, 0};
      if (SWELL_DrawText(c.get(), "x", -1, &m, DT_CALCRECT) > 0) inked++;
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) threads.emplace_back(worker, t + 1);
  for (auto& t : threads) t.join();
  EXPECT_EQ(inked.load(), 450);
}
