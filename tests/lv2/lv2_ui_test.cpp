// The LV2 UI binary through its ABI under a private Xvfb: it refuses to start
// without what it needs, embeds the editor in the host's parent window at its
// size, moves a control on a port event without writing it back, ignores
// port events it cannot take, sends a drag or a click to the host as port
// writes in the parameter's units inside touch gestures, and leaves the
// parent window empty at cleanup.
#include <gtest/gtest.h>

#include "tests/x11/editor_host_p.h"

#include <lv2/ui/ui.h>

#include <cmath>
#include <vector>

namespace {

constexpr int kW = 300, kH = 570;
constexpr uint32_t kControl0 = 4;  // the first control port
const char kURI[] = "https://www.morvane.com/torven";

// What the UI told its host, in order: port writes and touch gestures.
struct Event
{
  uint32_t port;
  bool touch;
  float value;  // the written value, or 1 / 0 for a touch grab / release
};

class UIHost : public x11test::EditorWindowHost
{
public:
  explicit UIHost(const std::string& display) : EditorWindowHost(display, 10, 10) {}
  ~UIHost() override { Cleanup(); }
  AEffect* Effect() override { return nullptr; }

  // Instantiates with the features asked for; false when the UI refused.
  bool Instantiate(const LV2UI_Descriptor* d, bool parent, bool touch, const char* uri = kURI)
  {
    mDesc = d;
    mParentFeature = {LV2_UI__parent, reinterpret_cast<void*>((uintptr_t)Parent())};
    mTouch = {this, Touch};
    mTouchFeature = {LV2_UI__touch, &mTouch};
    mResize = {this, Resize};
    mResizeFeature = {LV2_UI__resize, &mResize};
    std::vector<const LV2_Feature*> f = {&mResizeFeature};
    if (parent) f.push_back(&mParentFeature);
    if (touch) f.push_back(&mTouchFeature);
    f.push_back(nullptr);
    mHandle = d->instantiate(d, uri, "", Write, this, &mWidget, f.data());
    if (mHandle) mIdle = static_cast<const LV2UI_Idle_Interface*>(d->extension_data(LV2_UI__idleInterface));
    return mHandle != nullptr;
  }
  void Cleanup()
  {
    if (mHandle) mDesc->cleanup(mHandle);
    mHandle = nullptr;
  }
  int IdleUI(int times = 1)
  {
    int r = 0;
    for (int i = 0; i < times; ++i)
    {
      r = mIdle ? mIdle->idle(mHandle) : -1;
      XSync(GetDisplay(), False);
    }
    return r;
  }
  void PortEvent(uint32_t port, float v, uint32_t size = sizeof(float), uint32_t format = 0)
  {
    mDesc->port_event(mHandle, port, size, format, &v);
  }

  LV2UI_Widget mWidget = nullptr;
  std::vector<Event> mEvents;
  int mWidth = 0, mHeight = 0;

private:
  static void Write(LV2UI_Controller c, uint32_t port, uint32_t size, uint32_t protocol, const void* buf)
  {
    float v = NAN;
    if (size == sizeof(float) && protocol == 0) memcpy(&v, buf, sizeof(v));
    static_cast<UIHost*>(c)->mEvents.push_back({port, false, v});
  }
  static void Touch(LV2UI_Feature_Handle h, uint32_t port, bool grabbed)
  {
    static_cast<UIHost*>(h)->mEvents.push_back({port, true, grabbed ? 1.f : 0.f});
  }
  static int Resize(LV2UI_Feature_Handle h, int w, int hgt)
  {
    static_cast<UIHost*>(h)->mWidth = w;
    static_cast<UIHost*>(h)->mHeight = hgt;
    return 0;
  }

  const LV2UI_Descriptor* mDesc = nullptr;
  LV2UI_Handle mHandle = nullptr;
  const LV2UI_Idle_Interface* mIdle = nullptr;
  LV2UI_Touch mTouch{};
  LV2UI_Resize mResize{};
  LV2_Feature mParentFeature{}, mTouchFeature{}, mResizeFeature{};
};

class LV2UI : public ::testing::Test
{
protected:
  void SetUp() override
  {
    X11TEST_SKIP_WITHOUT_XVFB();
    mServer = x11test::UseSharedDisplay(false);
    ASSERT_TRUE(mServer) << "Xvfb did not start";
    mLib = dlopen(TORVEN_LV2UI_SO, RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(mLib) << dlerror();
    auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(mLib, "lv2ui_descriptor"));
    ASSERT_TRUE(entry);
    mDesc = entry(0);
    ASSERT_TRUE(mDesc);
    EXPECT_STREQ(mDesc->URI, "https://www.morvane.com/torven#ui");
    EXPECT_EQ(entry(1), nullptr);
  }
  void TearDown() override
  {
    if (mLib) dlclose(mLib);
  }
  xserver::PrivateX* mServer = nullptr;
  void* mLib = nullptr;
  const LV2UI_Descriptor* mDesc = nullptr;
};

}  // namespace

TEST_F(LV2UI, RefusesWithoutItsNeedsAndEmbedsInTheParentAtItsSize)
{
  struct Case
  {
    const char* name;
    bool parent;
    const char* uri;
  };
  const Case kRefused[] = {{"no parent window", false, kURI}, {"another plug-in", true, "urn:other"},
                           {"no plug-in URI", true, nullptr}};
  for (const Case& c : kRefused)
  {
    UIHost h(mServer->Name());
    EXPECT_FALSE(h.Instantiate(mDesc, c.parent, true, c.uri)) << c.name;
    EXPECT_TRUE(x11test::Children(h.GetDisplay(), h.Parent()).empty()) << c.name;
  }

  UIHost h(mServer->Name());
  ASSERT_TRUE(h.Instantiate(mDesc, true, true));
  const Window child = h.Child();
  ASSERT_NE(child, 0u);
  EXPECT_EQ((Window)(uintptr_t)h.mWidget, child);
  XWindowAttributes wa;
  ASSERT_TRUE(XGetWindowAttributes(h.GetDisplay(), child, &wa));
  EXPECT_EQ(wa.width, kW);
  EXPECT_EQ(wa.height, kH);
  EXPECT_EQ(h.mWidth, kW);
  EXPECT_EQ(h.mHeight, kH);
  EXPECT_EQ(h.IdleUI(3), 0);
  EXPECT_TRUE(h.mEvents.empty());
  h.Cleanup();
  EXPECT_TRUE(x11test::Children(h.GetDisplay(), h.Parent()).empty());
}

TEST_F(LV2UI, PortEventsMoveTheControlAndBadOnesAreIgnored)
{
  UIHost h(mServer->Name());
  ASSERT_TRUE(h.Instantiate(mDesc, true, true));
  h.PointerAway();
  h.IdleUI(5);
  // GainH's knob.
  const int L = 182, T = 62, R = 268, B = 148;
  auto shot = [&] { return h.Grab(kW, kH, false); };
  struct Case
  {
    const char* name;
    uint32_t port, size, format;
    float value;
    bool moves;
  };
  const Case kCases[] = {
    {"an audio port", 0, sizeof(float), 0, 1.f, false},
    {"past the last port", kControl0 + 8, sizeof(float), 0, 1.f, false},
    {"an atom format", kControl0 + 3, sizeof(float), 7, 1.f, false},
    {"a short buffer", kControl0 + 3, 2, 0, 1.f, false},
    {"NaN", kControl0 + 3, sizeof(float), 0, NAN, false},
    {"GainH to 1", kControl0 + 3, sizeof(float), 0, 1.f, true},
    {"GainH to 0", kControl0 + 3, sizeof(float), 0, 0.f, true},
  };
  for (const Case& c : kCases)
  {
    const auto before = shot();
    h.PortEvent(c.port, c.value, c.size, c.format);
    h.IdleUI(3);
    const x11test::Box box = x11test::DiffBox(before, shot(), kW, kH);
    EXPECT_EQ(!box.Empty(), c.moves) << c.name;
    if (c.moves)
    {
      EXPECT_TRUE(box.L >= L && box.T >= T && box.R <= R && box.B <= B) << c.name;
    }
  }
  EXPECT_TRUE(h.mEvents.empty()) << "a port event was written back";
}

TEST_F(LV2UI, DragsAndClicksReachTheHostAsWritesInTouchGestures)
{
  struct Case
  {
    const char* name;
    bool touch;
  };
  for (const Case& c : {Case{"with touch", true}, Case{"without touch", false}})
  {
    SCOPED_TRACE(c.name);
    UIHost h(mServer->Name());
    ASSERT_TRUE(h.Instantiate(mDesc, true, c.touch));
    h.PortEvent(kControl0 + 3, 0.5f);
    h.IdleUI(3);

    // GainH up by half its knob's height: +0.5 / gearing 4.
    h.Drag(225, 105, 0, -43);
    h.IdleUI(3);
    ASSERT_GE(h.mEvents.size(), c.touch ? 3u : 1u);
    for (const Event& e : h.mEvents) EXPECT_EQ(e.port, kControl0 + 3);
    EXPECT_EQ(h.mEvents.front().touch, c.touch);
    EXPECT_EQ(h.mEvents.back().touch, c.touch);
    const Event& last = c.touch ? h.mEvents[h.mEvents.size() - 2] : h.mEvents.back();
    EXPECT_FALSE(last.touch);
    EXPECT_NEAR(last.value, 0.625f, 1e-6);

    // The Bypass switch: written as 1, the parameter's own value.
    h.mEvents.clear();
    h.Click(147, 450);
    h.IdleUI(3);
    ASSERT_FALSE(h.mEvents.empty());
    int writes = 0;
    for (const Event& e : h.mEvents)
    {
      EXPECT_EQ(e.port, kControl0 + 6);
      if (e.touch) continue;
      ++writes;
      EXPECT_EQ(e.value, 1.f);
    }
    EXPECT_EQ(writes, 1);
  }
}
