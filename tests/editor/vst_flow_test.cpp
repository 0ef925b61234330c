// Values between host, plug-in and editor through the real VST 2.4 adapter:
// a small plug-in whose editor is the memory host, driven through its effect
// record by a host callback that records automation and edit gestures.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "IGraphicsMemory.h"
#include "WDL/IPlug/IControl.h"
#include "WDL/IPlug/IPlugVST.h"
#include "editor_test_util.h"

namespace {

struct HostRecord
{
  AEffect* mEffect;
  VstInt32 mOpcode;
  VstInt32 mIndex;
  float mOpt;
};
std::vector<HostRecord> gHost;

VstIntPtr RecordingHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt)
{
  if (opcode == audioMasterAutomate || opcode == audioMasterBeginEdit || opcode == audioMasterEndEdit)
    gHost.push_back({effect, opcode, index, opt});
  return opcode == audioMasterVersion ? kVstVersion : 0;
}

enum
{
  kGain = 0,
  kBypass,
  kOversampling,
  kNumParams
};

// A background, one film-strip knob and two switches, as a plug-in builds its
// editor in its constructor.
class FlowPlug : public IPlugVST
{
public:
  explicit FlowPlug(IPlugInstanceInfo info)
    : IPlugVST(info, kNumParams, "2-2", 1, "Flow", "Flow", "Morvane", 0x10000, 0x466c6f77, 0x4d72766e, 0, false,
               false, false, 0)
  {
    GetParam(kGain)->InitDouble("Gain", 0.0, -12.0, 12.0, 0.1, "dB");
    GetParam(kBypass)->InitBool("Bypass", false);
    GetParam(kOversampling)->InitBool("Oversampling", false);

    IGraphicsMemory* g = new IGraphicsMemory(this, 300, 570);
    g->AttachBackground(301, "resources/img/flow_bg.png");
    IBitmap knob = g->LoadIBitmap(302, "resources/img/flow_knob.png", 31);
    IBitmap sw = g->LoadIBitmap(303, "resources/img/flow_switch.png", 2);
    g->AttachControl(new ISwitchControl(this, -2, 430, kBypass, &sw));
    g->AttachControl(new IKnobMultiControl(this, 32, 309, kGain, &knob));
    g->AttachControl(new ISwitchControl(this, 0, 543, kOversampling, &sw));
    AttachGraphics(g);
  }

  IGraphicsMemory* Editor() { return static_cast<IGraphicsMemory*>(GetGUI()); }
};

AEffect* NewInstance()
{
  static bool registered = false;
  if (!registered)
  {
    registered = true;
    IGraphicsMemory::RegisterImage("flow_bg", editor_test::MakeStrip(300, 570, 1).get());
    IGraphicsMemory::RegisterImage("flow_knob", editor_test::MakeStrip(48, 62, 31).get());
    IGraphicsMemory::RegisterImage("flow_switch", editor_test::MakeStrip(60, 27, 2).get());
  }
  IPlugInstanceInfo info;
  info.mVSTHostCallback = RecordingHost;
  AEffect* e = (new FlowPlug(info))->GetAEffect();
  e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
  return e;
}

FlowPlug* Plug(AEffect* e)
{
  return static_cast<FlowPlug*>(static_cast<IPlugVST*>(e->object));
}

// The host's view of the gestures: begin, automate, end, in order.
std::string Gestures(AEffect* e)
{
  std::string s;
  for (const HostRecord& r : gHost)
  {
    if (r.mEffect != e) continue;
    char buf[48];
    if (r.mOpcode == audioMasterAutomate) std::snprintf(buf, sizeof(buf), "A%d=%g ", r.mIndex, r.mOpt);
    else std::snprintf(buf, sizeof(buf), "%c%d ", r.mOpcode == audioMasterBeginEdit ? 'B' : 'E', r.mIndex);
    s += buf;
  }
  return s;
}

// Every begin has its end on the same parameter, automation only in between,
// values in 0..1.
bool Balanced(AEffect* e)
{
  int open = -1;
  for (const HostRecord& r : gHost)
  {
    if (r.mEffect != e) continue;
    if (r.mOpcode == audioMasterBeginEdit)
    {
      if (open >= 0) return false;
      open = r.mIndex;
    }
    else if (r.mOpcode == audioMasterEndEdit)
    {
      if (open != r.mIndex) return false;
      open = -1;
    }
    else if (open != r.mIndex || !(r.mOpt >= 0.0f && r.mOpt <= 1.0f))
    {
      return false;
    }
  }
  return open < 0;
}

struct VSTFlow : ::testing::Test
{
  void SetUp() override
  {
    gHost.clear();
    e = NewInstance();
    g = Plug(e)->Editor();
    int parent = 0;
    ASSERT_EQ(e->dispatcher(e, effEditOpen, 0, 0, &parent, 0.0f), 1);
    g->Tick();
    g->mScreenCopies.clear();
  }
  void TearDown() override
  {
    e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
  }

  AEffect* e = nullptr;
  IGraphicsMemory* g = nullptr;
  IMouseMod left{true};
};

}  // namespace

TEST_F(VSTFlow, EditorIsAnnouncedAndOpens)
{
  EXPECT_TRUE(e->flags & effFlagsHasEditor);
  ERect* rect = nullptr;
  ASSERT_EQ(e->dispatcher(e, effEditGetRect, 0, 0, &rect, 0.0f), 1);
  EXPECT_EQ(rect->right, 300);
  EXPECT_EQ(rect->bottom, 570);
  EXPECT_TRUE(g->WindowIsOpen());
  EXPECT_EQ(g->NControls(), 4);
  EXPECT_EQ(g->GetControl(0)->GetRECT(), IRECT(0, 0, 300, 570));  // the background first
}

TEST_F(VSTFlow, HostAutomationMovesOneControlWithoutEcho)
{
  e->setParameter(e, kGain, 0.75f);
  EXPECT_EQ(g->GetControl(2)->GetValue(), 0.75);
  EXPECT_FLOAT_EQ(e->getParameter(e, kGain), 0.75f);
  EXPECT_EQ(g->Tick(), IRECT(32, 309, 80, 371));  // only the knob
  EXPECT_EQ(g->mScreenCopies, (std::vector<IRECT>{IRECT(32, 309, 80, 371)}));
  EXPECT_EQ(editor_test::FrameOfColor(LICE_GetPixel(g->GetDrawBitmap(), 50, 330)), 24);  // trunc(22.5 + 0.5) + 1
  EXPECT_FALSE(g->GetControl(1)->IsDirty());
  EXPECT_FALSE(g->GetControl(3)->IsDirty());
  e->setParameter(e, 9, 0.5f);  // no such parameter: nothing
  EXPECT_EQ(Gestures(e), "");  // nothing echoed back to the host
}

TEST_F(VSTFlow, DragsClicksAndWheelReachTheHostAsGestures)
{
  g->OnMouseDown(50, 340, &left);
  g->OnMouseDrag(50, 309, &left);  // up half the knob's height: +0.125
  g->OnMouseUp(50, 309, &left);
  EXPECT_EQ(Gestures(e), "B0 A0=0.625 E0 ");
  EXPECT_FLOAT_EQ(e->getParameter(e, kGain), 0.625f);
  EXPECT_NEAR(Plug(e)->GetParam(kGain)->Value(), 3.0, 1e-9);

  gHost.clear();
  g->OnMouseDown(10, 440, &left);  // the bypass switch
  g->OnMouseUp(10, 440, &left);
  g->OnMouseDown(10, 550, &left);  // the oversampling switch
  g->OnMouseUp(10, 550, &left);
  EXPECT_EQ(Gestures(e), "B1 A1=1 E1 B2 A2=1 E2 ");
  EXPECT_EQ(e->getParameter(e, kOversampling), 1.0f);

  gHost.clear();
  g->OnMouseWheel(50, 340, nullptr, -2);
  EXPECT_EQ(Gestures(e), "B0 A0=0.605 E0 ");

  // A drag far past the end still sends values within 0..1.
  gHost.clear();
  g->OnMouseDown(50, 340, &left);
  g->OnMouseDrag(50, -2000, &left);
  g->OnMouseUp(50, -2000, &left);
  EXPECT_EQ(Gestures(e), "B0 A0=1 E0 ");
  EXPECT_EQ(Plug(e)->GetParam(kGain)->Value(), 12.0);
}

// Random gestures anywhere in the editor: the host sees balanced gestures with
// values in 0..1, and each parameter ends at the last value it was sent.
TEST_F(VSTFlow, RandomGesturesStayBalanced)
{
  uint32_t state = 12345;
  auto next = [&](int n) {
    state = state * 1664525u + 1013904223u;
    return (int)((state >> 8) % (uint32_t)n);
  };
  IMouseMod mods[] = {IMouseMod(true), IMouseMod(true, false, true), IMouseMod(false, true),
                      IMouseMod(true, false, false, true)};
  for (int step = 0; step < 3000; ++step)
  {
    const int x = next(320) - 10, y = next(600) - 15, d = next(7) - 3;
    IMouseMod* mod = &mods[next(4)];
    switch (next(7))
    {
      case 0: g->OnMouseDown(x, y, mod); break;
      case 1: g->OnMouseUp(x, y, mod); break;
      case 2:
      case 3: g->OnMouseDrag(x, y, mod); break;
      case 4: g->OnMouseDblClick(x, y, mod); break;
      case 5: g->OnMouseWheel(x, y, mod, d); break;
      case 6: e->setParameter(e, next(3), (float)next(101) / 100.0f); break;
    }
    if (step % 10 == 0) g->Tick();
  }
  g->OnMouseUp(0, 0, &left);
  EXPECT_TRUE(Balanced(e));
  EXPECT_GT(gHost.size(), 100u);
  EXPECT_TRUE(g->mMenus.empty() && g->mTextEntries.empty());  // no control here prompts
}

TEST_F(VSTFlow, TwoInstancesShareImagesAndKeepTheirOwnValues)
{
  AEffect* other = NewInstance();
  IGraphicsMemory* g2 = Plug(other)->Editor();
  int parent = 0;
  ASSERT_EQ(other->dispatcher(other, effEditOpen, 0, 0, &parent, 0.0f), 1);
  g2->Tick();

  // One decoded image per resource id in the process.
  IBitmap k1 = g->LoadIBitmap(302, "resources/img/flow_knob.png", 31);
  IBitmap k2 = g2->LoadIBitmap(302, "resources/img/flow_knob.png", 31);
  EXPECT_EQ(k1.mData, k2.mData);

  g->OnMouseDown(50, 340, &left);
  g->OnMouseDrag(50, 309, &left);
  g->OnMouseUp(50, 309, &left);
  e->setParameter(e, kBypass, 1.0f);
  EXPECT_EQ(e->getParameter(e, kGain), 0.625f);
  EXPECT_EQ(other->getParameter(other, kGain), 0.5f);
  EXPECT_EQ(other->getParameter(other, kBypass), 0.0f);
  EXPECT_EQ(g2->Tick(), IRECT());  // nothing for the other editor to repaint
  EXPECT_EQ(Gestures(other), "");

  // Closing one instance leaves the other's images intact.
  other->dispatcher(other, effEditClose, 0, 0, nullptr, 0.0f);
  other->dispatcher(other, effClose, 0, 0, nullptr, 0.0f);
  g->SetParameterFromPlug(kGain, 1.0, true);
  g->Tick();
  EXPECT_EQ(editor_test::FrameOfColor(LICE_GetPixel(g->GetDrawBitmap(), 50, 330)), 31);
}

TEST_F(VSTFlow, CloseKeepsTheControls)
{
  EXPECT_EQ(e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f), 1);
  EXPECT_FALSE(g->WindowIsOpen());
  EXPECT_EQ(g->NControls(), 4);
  e->setParameter(e, kGain, 0.25f);  // values still move the controls
  EXPECT_EQ(g->GetControl(2)->GetValue(), 0.25);
  int parent = 0;
  EXPECT_EQ(e->dispatcher(e, effEditOpen, 0, 0, &parent, 0.0f), 1);
}
