// The editor with the host's threads all busy at once: an audio thread
// processing, automation arriving from another thread, the GUI thread idling,
// clicking, opening and closing; editors of two TORVEN instances side by side
// with the framework's test plug-in running in the same process; a close from
// a thread that is not the GUI thread while our fallback timer ticks. Nothing
// may deadlock, crash or (under ThreadSanitizer) race.
#include <gtest/gtest.h>

#include "tests/x11/editor_host_p.h"

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>

using x11test::CallLog;
using x11test::EditorHost;

namespace {

constexpr int kW = 300, kH = 570;

// Processing and automation on threads of their own, as a sequencer runs them.
class BusyHost
{
public:
  explicit BusyHost(hosting::Plug* plug) : mPlug(plug) {}
  ~BusyHost() { Stop(); }
  void Start(bool automate)
  {
    mRun = true;
    mAudio = std::thread([this] {
      hosting::Stereo in = hosting::TestSignal(256, 44100.0), out(256);
      while (mRun)
      {
        mPlug->ProcessD(in, out, 0, 256);
        ++mBlocks;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
      }
    });
    if (!automate) return;
    mAutomation = std::thread([this] {
      int i = 0;
      while (mRun)
      {
        mPlug->SetParam(i % 6, (float)((i * 37) % 100) / 100.f);
        ++i;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
  }
  void Stop()
  {
    mRun = false;
    if (mAudio.joinable()) mAudio.join();
    if (mAutomation.joinable()) mAutomation.join();
  }
  long Blocks() const { return mBlocks; }

private:
  hosting::Plug* mPlug;
  std::atomic<bool> mRun{false};
  std::atomic<long> mBlocks{0};
  std::thread mAudio, mAutomation;
};

class EditorThreads : public ::testing::Test
{
protected:
  void SetUp() override
  {
    X11TEST_SKIP_WITHOUT_XVFB();
    mServer = x11test::UseSharedDisplay(true);
    ASSERT_TRUE(mServer) << "Xvfb did not start";
    mLib.reset(new hosting::PlugLib(TORVEN_SO));
    ASSERT_TRUE(mLib->Ok()) << mLib->Error();
  }
  xserver::PrivateX* mServer = nullptr;
  std::unique_ptr<hosting::PlugLib> mLib;
};

TEST_F(EditorThreads, AudioAndAutomationWhileTheEditorIsWorked)
{
  EditorHost h(*mLib, mServer->Name());
  ASSERT_TRUE(h.Ok());
  BusyHost busy(&h.Plug());
  busy.Start(true);
  for (int round = 0; round < 8; ++round)
  {
    ASSERT_TRUE(h.Open());
    h.IdleFor(40);
    h.Drag(214, 94, 0, -10, 4);
    h.Click(30, 445);
    h.IdleFor(20);
    // Half the closes wait for our timer to be driving (no idle for a while).
    if (round % 2) std::this_thread::sleep_for(std::chrono::milliseconds(300));
    h.Close();
  }
  busy.Stop();
  EXPECT_GT(busy.Blocks(), 10);
}

TEST_F(EditorThreads, CloseFromAnotherThreadWhileOurTimerTicks)
{
  EditorHost h(*mLib, mServer->Name());
  ASSERT_TRUE(h.Ok());
  BusyHost busy(&h.Plug());
  busy.Start(true);
  for (int round = 0; round < 6; ++round)
  {
    ASSERT_TRUE(h.Open());
    // No idle calls: our timer drives, holding the instance mutex for its ticks.
    std::this_thread::sleep_for(std::chrono::milliseconds(300 + 20 * round));
    std::thread closer([&] { h.Plug().Call(effEditClose); });
    closer.join();
    EXPECT_EQ(h.Child(), 0u);
  }
  busy.Stop();
}

TEST_F(EditorThreads, TwoInstancesAndTheTestPluginInOneProcess)
{
  hosting::PlugLib gainLib(IPLUGGAIN_SO);
  ASSERT_TRUE(gainLib.Ok()) << gainLib.Error();
  EditorHost a(*mLib, mServer->Name(), 10, 10);
  EditorHost b(*mLib, mServer->Name(), 500, 10);
  ASSERT_TRUE(a.Ok() && b.Ok());
  hosting::Plug gain(gainLib, x11test::LoggingHost);
  gain.Start(44100.0, 256);
  BusyHost busyA(&a.Plug()), busyB(&b.Plug()), busyGain(&gain);
  busyA.Start(false);
  busyB.Start(false);
  busyGain.Start(false);
  ASSERT_TRUE(a.Open());
  ASSERT_TRUE(b.Open());
  a.IdleFor(60);
  b.IdleFor(60);
  // A click on one editor's Bypass switch changes that instance only.
  CallLog::Get().Clear();
  a.Click(30, 445);
  for (int i = 0; i < 3; ++i)
  {
    a.Idle();
    b.Idle();
  }
  EXPECT_EQ(a.Plug().GetParam(6), 1.f);
  EXPECT_EQ(b.Plug().GetParam(6), 0.f);
  EXPECT_FALSE(CallLog::Get().Gestures(a.Effect()).empty());
  EXPECT_TRUE(CallLog::Get().Gestures(b.Effect()).empty());
  // And each editor shows its own state.
  b.PointerAway();
  a.IdleFor(60);
  b.IdleFor(60);
  const auto pa = a.Grab(kW, kH), pb = b.Grab(kW, kH);
  EXPECT_FALSE(x11test::DiffBox(pa, pb, kW, kH).Empty());
  busyA.Stop();
  busyB.Stop();
  busyGain.Stop();
  a.Close();
  b.Close();
  gain.Close();
}

}  // namespace
