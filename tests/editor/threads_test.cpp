// The process-wide caches under editors created, used and deleted on several
// threads at once (run under ThreadSanitizer in CI): every thread sees the
// same pixels per resource id, and what the threads made and released at run
// time leaves nothing behind; each font style yields one font.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "editor_test_util.h"
#include "WDL/IPlug/IControl.h"

namespace {

const int kThreads = 4;
const int kRounds = 25;
const int kIDs[] = {501, 502, 503, 504};

void RegisterImages()
{
  IGraphicsMemory::RegisterImage("thread_bg", editor_test::MakeStrip(300, 570, 1).get());
  IGraphicsMemory::RegisterImage("thread_knob", editor_test::MakeStrip(48, 62, 31).get());
  IGraphicsMemory::RegisterImage("thread_switch", editor_test::MakeStrip(60, 27, 2).get());
}

// One instance's life: build the editor, attach it, draw, gesture, delete.
void OneInstance(int seed, std::vector<LICE_IBitmap*>* pSeen, std::vector<LICE_IFont*>* pFonts)
{
  editor_test::RecordingPlug* plug = new editor_test::RecordingPlug(8);
  IGraphicsMemory* g = new IGraphicsMemory(plug, 300, 570);
  g->AttachBackground(kIDs[0], "resources/img/thread_bg.png");
  IBitmap knob = g->LoadIBitmap(kIDs[1], "resources/img/thread_knob.png", 31);
  IBitmap sw = g->LoadIBitmap(kIDs[2], "resources/img/thread_switch.png", 2);
  IBitmap again = g->LoadIBitmap(kIDs[3], "resources/img/thread_knob.png", 31);
  for (int i = 0; i < 6; ++i) g->AttachControl(new IKnobMultiControl(plug, 32 + 150 * (i % 2), 62 + 124 * (i / 2), i, &knob));
  g->AttachControl(new ISwitchControl(plug, -2, 430, 6, &sw));
  g->AttachControl(new ISwitchControl(plug, 0, 543, 7, &sw));
  // Run-time images join the cache and leave it again.
  IBitmap scaled = g->ScaleBitmap(&knob, 24, 31 * 31);
  IRECT frame(0, 62 * (seed % 31), 48, 62 * (seed % 31 + 1));
  IBitmap cropped = g->CropBitmap(&knob, &frame);
  IBitmap own(new LICE_MemBitmap(3, 3), 3, 3);
  g->RetainBitmap(&own);
  plug->AttachGraphics(g);
  g->OpenWindow(nullptr);
  g->Tick();
  IMouseMod left(true);
  g->OnMouseDown(50, 80, &left);
  g->OnMouseDrag(50, 80 - seed % 40, &left);
  g->OnMouseUp(50, 80 - seed % 40, &left);
  g->Tick();
  g->ReleaseBitmap(&scaled);
  g->ReleaseBitmap(&cropped);
  g->ReleaseBitmap(&own);
  pSeen->push_back(g->LoadIBitmap(kIDs[0], "bg.png").mData);
  pSeen->push_back(knob.mData);
  pSeen->push_back(sw.mData);
  pSeen->push_back(again.mData);
  // Fonts are made (not drawn: text draws on one thread) from any thread.
  IText style(11 + seed % 3, &COLOR_BLACK, "DejaVu Sans");
  pFonts->push_back(g->CacheFont(&style));
  delete plug;  // deletes the editor
}

}  // namespace

TEST(CachesAcrossThreads, InstancesComeAndGoWithoutDisturbingTheCache)
{
  RegisterImages();
  BitmapStorage& cache = BitmapStorage::Shared();
  const int before = cache.Size();
  bool cachedBefore = false;
  for (int id : kIDs) cachedBefore |= cache.Find(id) != nullptr;
  ASSERT_FALSE(cachedBefore);

  std::vector<std::vector<LICE_IBitmap*>> seen(kThreads);
  std::vector<std::vector<LICE_IFont*>> fonts(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t, &seen, &fonts] {
      for (int r = 0; r < kRounds; ++r) OneInstance(t * kRounds + r, &seen[t], &fonts[t]);
    });
  for (std::thread& t : threads) t.join();

  // One bitmap per id, the same for every instance on every thread.
  for (int t = 0; t < kThreads; ++t)
  {
    ASSERT_EQ(seen[t].size(), (size_t)(4 * kRounds));
    for (size_t i = 0; i < seen[t].size(); ++i)
    {
      ASSERT_NE(seen[t][i], nullptr);
      EXPECT_EQ(seen[t][i], seen[0][i % 4]) << "thread " << t << " entry " << i;
    }
  }
  for (int i = 0; i < 4; ++i) EXPECT_EQ(cache.Find(kIDs[i]), seen[0][i]);
  // One font per style, whichever thread made it first.
  for (int t = 0; t < kThreads; ++t)
    for (int r = 0; r < kRounds; ++r)
    {
      const int seed = t * kRounds + r;
      ASSERT_NE(fonts[t][r], nullptr);
      IText style(11 + seed % 3, &COLOR_BLACK, "DejaVu Sans");
      EXPECT_EQ(fonts[t][r], FontStorage::Shared().Find(&style));
    }
  EXPECT_EQ(cache.Size(), before + 4);  // the run-time images are gone
}

TEST(CachesAcrossThreads, FontStorageFindAndAdd)
{
  FontStorage storage;
  std::atomic<int> found{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t, &storage, &found] {
      for (int i = 0; i < 200; ++i)
      {
        IText style(8 + (t * 200 + i) % 16);
        if (storage.Find(&style)) ++found;
        else storage.Add(new editor_test::NullFont, &style);
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_GE(storage.Size(), 16);
  EXPECT_EQ(storage.Size() + found.load(), kThreads * 200);
}
