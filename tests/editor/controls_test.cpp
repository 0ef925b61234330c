// The standard controls: each one's value-to-frame rule, gearing, mouse
// handling and geometry, checked on the pixels it draws where it draws.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "editor_test_util.h"
#include "WDL/IPlug/IBitmapMonoText.h"
#include "WDL/IPlug/IControl.h"
#include "WDL/IPlug/IParam.h"
#include "WDL/lice/lice.h"

using editor_test::Editor;
using editor_test::FrameColor;
using editor_test::FrameOfColor;
using editor_test::MakeStrip;

namespace {

IMouseMod kLeft(true), kRight(false, true), kShift(true, false, true), kCtrl(true, false, false, true);

// The frame a control shows at (x, y) after a full repaint of a cleared
// surface (0 where nothing is drawn).
int FrameAt(IGraphicsMemory* g, int x, int y)
{
  LICE_Clear(g->GetDrawBitmap(), 0);
  IRECT all(0, 0, g->Width(), g->Height());
  g->Draw(&all);
  return FrameOfColor(LICE_GetPixel(g->GetDrawBitmap(), x, y));
}

}  // namespace

TEST(IKnobMultiControl, ValueToFrame)
{
  auto strip = MakeStrip(48, 62, 31);
  IBitmap bitmap(strip.get(), 48, 62 * 31, 31);
  Editor ed;
  IKnobMultiControl* knob = ed.Add(new IKnobMultiControl(&ed.mPlug, 182, 62, 3, &bitmap));
  ed.Attach();
  EXPECT_EQ(knob->GetRECT(), IRECT(182, 62, 230, 124));

  struct Case
  {
    double value;
    int frame;
  } cases[] = {{0.0, 1}, {0.5, 16}, {1.0, 31}, {0.1, 4}, {0.9, 28}, {0.983, 30}, {0.984, 31}};
  for (const Case& c : cases)
  {
    knob->SetValueFromPlug(c.value);
    // frame trunc(30 v + 0.5) + 1, and the strip's last row of that frame too
    EXPECT_EQ(FrameAt(ed.mGraphics, 200, 62), c.frame) << c.value;
    EXPECT_EQ(FrameAt(ed.mGraphics, 229, 123), c.frame) << c.value;
  }
}

TEST(IKnobControl, GearingAndWheel)
{
  auto strip = MakeStrip(48, 62, 31);
  IBitmap bitmap(strip.get(), 48, 62 * 31, 31);
  struct Case
  {
    EDirection direction;
    double gearing;
    int dX, dY;
    const IMouseMod* mod;
    double change;
  } cases[] = {
    {kVertical, 4.0, 0, -31, &kLeft, 0.125},    // up by half the height
    {kVertical, 4.0, 0, -31, &kShift, 0.0125},  // ten times finer
    {kVertical, 4.0, 0, -31, &kCtrl, 0.0125},
    {kVertical, 4.0, 0, -62, &kLeft, 0.25},     // by its own height: 1 / gearing
    {kVertical, 4.0, 0, 31, &kLeft, -0.125},
    {kVertical, 4.0, 40, 0, &kLeft, 0.0},       // sideways does nothing
    {kVertical, 2.0, 0, -31, &kLeft, 0.25},
    {kHorizontal, 4.0, 24, 0, &kLeft, 0.125},   // right by half the width
    {kHorizontal, 4.0, 0, -31, &kLeft, 0.0},
  };
  for (const Case& c : cases)
  {
    Editor ed;
    IKnobMultiControl* knob = ed.Add(new IKnobMultiControl(&ed.mPlug, 0, 0, 0, &bitmap, c.direction, c.gearing));
    ed.Attach();
    knob->SetValueFromPlug(0.5);
    knob->OnMouseDrag(0, 0, c.dX, c.dY, const_cast<IMouseMod*>(c.mod));
    EXPECT_NEAR(knob->GetValue() - 0.5, c.change, 1e-12) << c.dX << "," << c.dY << " gearing " << c.gearing;
  }

  Editor ed;
  IKnobMultiControl* knob = ed.Add(new IKnobMultiControl(&ed.mPlug, 0, 0, 0, &bitmap));
  ed.Attach();
  knob->SetValueFromPlug(0.5);
  knob->OnMouseWheel(0, 0, &kLeft, 1);
  EXPECT_NEAR(knob->GetValue(), 0.51, 1e-12);
  knob->OnMouseWheel(0, 0, &kShift, -3);
  EXPECT_NEAR(knob->GetValue(), 0.507, 1e-12);
  knob->SetValueFromPlug(1.0);
  knob->OnMouseWheel(0, 0, &kLeft, 1);
  EXPECT_EQ(knob->GetValue(), 1.0);  // clamped

  // A knob of no height has nothing to scale a drag by.
  IBitmap flat(strip.get(), 48, 0, 31);
  IKnobMultiControl* zero = ed.Add(new IKnobMultiControl(&ed.mPlug, 0, 0, 1, &flat));
  zero->SetValueFromPlug(0.5);
  zero->OnMouseDrag(0, 0, 0, -10, &kLeft);
  EXPECT_EQ(zero->GetValue(), 0.5);
}

TEST(ISwitchControl, StepsThroughItsFramesAndWraps)
{
  struct Case
  {
    int frames;
    std::vector<double> values;  // after each press
  } cases[] = {
    {2, {1.0, 0.0, 1.0, 0.0}},
    {3, {0.5, 1.0, 0.0, 0.5}},
    {5, {0.25, 0.5, 0.75, 1.0, 0.0}},
    {1, {1.0, 0.0, 1.0}},  // one frame: 0, 1, 0 as well
  };
  for (const Case& c : cases)
  {
    auto strip = MakeStrip(20, 10, c.frames);
    IBitmap bitmap(strip.get(), 20, 10 * c.frames, c.frames);
    Editor ed;
    ISwitchControl* sw = ed.Add(new ISwitchControl(&ed.mPlug, 5, 5, 6, &bitmap));
    ed.Attach();
    for (double expected : c.values)
    {
      ed.mGraphics->OnMouseDown(10, 10, &kRight);  // either button; no prompt
      ed.mGraphics->OnMouseUp(10, 10, &kRight);
      EXPECT_NEAR(sw->GetValue(), expected, 1e-12) << c.frames << " frames";
      EXPECT_NEAR(ed.mPlug.GetParam(6)->Value(), expected, 1e-12);
    }
    EXPECT_TRUE(ed.mGraphics->mMenus.empty() && ed.mGraphics->mTextEntries.empty());
  }

  // From 1.0 one click goes to 0.0 and pushes 0.0; a double click steps once more.
  auto strip = MakeStrip(20, 10, 2);
  IBitmap bitmap(strip.get(), 20, 20, 2);
  Editor ed;
  ISwitchControl* sw = ed.Add(new ISwitchControl(&ed.mPlug, 0, 0, 7, &bitmap));
  ed.Attach();
  sw->SetValueFromPlug(1.0);
  ed.mGraphics->OnMouseDown(1, 1, &kLeft);
  EXPECT_EQ(editor_test::ToString(ed.mPlug.mEvents), "B7 A7=0 ");
  ed.mGraphics->OnMouseUp(1, 1, &kLeft);
  ed.mGraphics->OnMouseDblClick(1, 1, &kLeft);
  EXPECT_EQ(sw->GetValue(), 1.0);
  EXPECT_EQ(FrameAt(ed.mGraphics, 3, 3), 2);
}

TEST(SwitchVariants, PopUpFramesInvisibleContactOverlay)
{
  auto strip3 = MakeStrip(30, 30, 3);
  IBitmap three(strip3.get(), 30, 90, 3);
  Editor ed(300, 570, 8, 8);
  ed.mPlug.GetParam(0)->InitEnum("Mode", 0, 3);
  for (int i = 0; i < 3; ++i) ed.mPlug.GetParam(0)->SetDisplayText(i, i == 0 ? "a" : i == 1 ? "b" : "c");
  for (int i = 1; i < 8; ++i) ed.mPlug.GetParam(i)->InitDouble("p", 0.0, 0.0, 1.0, 0.001);
  ISwitchPopUpControl* popup = ed.Add(new ISwitchPopUpControl(&ed.mPlug, 0, 0, 0, &three));
  ISwitchFramesControl* frames = ed.Add(new ISwitchFramesControl(&ed.mPlug, 100, 0, 1, &three));
  ISwitchFramesControl* across = ed.Add(new ISwitchFramesControl(&ed.mPlug, 200, 0, 2, &three, true));
  IInvisibleSwitchControl* hidden = ed.Add(new IInvisibleSwitchControl(&ed.mPlug, IRECT(0, 100, 20, 120), 3));
  IContactControl* contact = ed.Add(new IContactControl(&ed.mPlug, 0, 200, 4, &three));
  IBitmapOverlayControl* overlay =
    ed.Add(new IBitmapOverlayControl(&ed.mPlug, 100, 200, 5, &three, IRECT(100, 200, 110, 210)));
  ed.Attach();
  IGraphicsMemory* g = ed.mGraphics;

  // The pop-up switch prompts with its display texts.
  g->mMenuChoices = {{2}};
  g->OnMouseDown(5, 5, &kLeft);
  g->OnMouseUp(5, 5, &kLeft);
  ASSERT_EQ(g->mMenus.size(), 1u);
  EXPECT_EQ(g->mMenus[0].mLabels, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(popup->GetValue(), 1.0);

  // Frames: three zones of 10 pixels, stacked or side by side.
  EXPECT_EQ(frames->NZones(), 3);
  EXPECT_EQ(frames->GetZone(1), IRECT(100, 10, 130, 20));
  EXPECT_EQ(across->GetZone(2), IRECT(220, 0, 230, 30));
  struct Click
  {
    int x, y;
    IControl* control;
    double value;
  } clicks[] = {{105, 25, frames, 1.0}, {105, 5, frames, 0.0}, {105, 15, frames, 0.5},
                {225, 5, across, 1.0},  {212, 29, across, 0.5}};
  for (const Click& c : clicks)
  {
    g->OnMouseDown(c.x, c.y, &kLeft);
    g->OnMouseUp(c.x, c.y, &kLeft);
    EXPECT_EQ(c.control->GetValue(), c.value) << c.x << "," << c.y;
  }

  // The invisible switch toggles and draws nothing.
  g->OnMouseDown(5, 110, &kLeft);
  EXPECT_EQ(hidden->GetValue(), 1.0);
  g->OnMouseUp(5, 110, &kLeft);
  g->OnMouseDown(5, 110, &kLeft);
  EXPECT_EQ(hidden->GetValue(), 0.0);
  g->OnMouseUp(5, 110, &kLeft);

  // The contact is on while pressed.
  g->OnMouseDown(5, 205, &kLeft);
  EXPECT_EQ(contact->GetValue(), 0.5);
  g->OnMouseUp(5, 205, &kLeft);
  EXPECT_EQ(contact->GetValue(), 0.0);

  // The overlay: off, it is hit only in its target area once drawn; on, anywhere.
  IRECT all(0, 0, 300, 570);
  g->Draw(&all);
  EXPECT_FALSE(overlay->IsHit(120, 220));
  EXPECT_TRUE(overlay->IsHit(105, 205));
  EXPECT_EQ(FrameOfColor(LICE_GetPixel(g->GetDrawBitmap(), 120, 220)), 0);  // nothing drawn
  overlay->SetValueFromPlug(1.0);
  g->Draw(&all);
  EXPECT_TRUE(overlay->IsHit(120, 220));
  EXPECT_EQ(FrameOfColor(LICE_GetPixel(g->GetDrawBitmap(), 120, 220)), 3);
  EXPECT_TRUE(ed.mPlug.GesturesBalanced());

  // One frame: no zones to choose from, and no division by zero.
  auto strip1 = MakeStrip(30, 30, 1);
  IBitmap one(strip1.get(), 30, 30, 1);
  ISwitchFramesControl single(&ed.mPlug, 0, 300, 6, &one);
  single.SetValueFromPlug(0.3);
  single.OnMouseDown(5, 305, &kLeft);
  EXPECT_EQ(single.GetValue(), 0.3);
}

TEST(IRadioButtonsControl, LayoutSelectionAndClicks)
{
  auto strip = MakeStrip(10, 8, 2);
  IBitmap bitmap(strip.get(), 10, 16, 2);
  struct Case
  {
    IRECT r;
    int n;
    EDirection direction;
    bool reverse;
    std::vector<int> starts;  // top (or left) of each button
  } cases[] = {
    {{0, 0, 10, 50}, 3, kVertical, false, {0, 21, 42}},   // gap trunc((50 - 24) / 2) = 13
    {{0, 0, 10, 51}, 3, kVertical, false, {0, 21, 42}},   // gap trunc(27 / 2) = 13
    {{5, 0, 65, 8}, 4, kHorizontal, false, {5, 21, 37, 53}},  // gap trunc(20 / 3) = 6
    {{0, 0, 10, 50}, 3, kVertical, true, {42, 21, 0}},    // reversed: counted from the bottom, inside
    {{5, 0, 65, 8}, 4, kHorizontal, true, {53, 37, 21, 5}},
    {{0, 0, 10, 50}, 1, kVertical, false, {0}},           // one button: no gap
  };
  for (const Case& c : cases)
  {
    Editor ed;
    IRadioButtonsControl* radio =
      ed.Add(new IRadioButtonsControl(&ed.mPlug, c.r, 0, c.n, &bitmap, c.direction, c.reverse));
    ed.Attach();
    ASSERT_EQ(radio->NButtons(), c.n);
    for (int i = 0; i < c.n; ++i)
    {
      const IRECT b = radio->GetButton(i);
      EXPECT_EQ(c.direction == kVertical ? b.T : b.L, c.starts[i]) << "button " << i;
      EXPECT_EQ(b.W(), 10);
      EXPECT_EQ(b.H(), 8);
    }
    if (c.n < 2) continue;
    // Clicking each button selects it; only that one shows frame 2.
    for (int i = 0; i < c.n; ++i)
    {
      const IRECT b = radio->GetButton(i);
      ed.mGraphics->OnMouseDown(b.L + 1, b.T + 1, &kLeft);
      ed.mGraphics->OnMouseUp(b.L + 1, b.T + 1, &kLeft);
      EXPECT_NEAR(radio->GetValue(), (double)i / (c.n - 1), 1e-12);
      for (int j = 0; j < c.n; ++j)
      {
        const IRECT o = radio->GetButton(j);
        EXPECT_EQ(FrameAt(ed.mGraphics, o.L + 2, o.T + 2), j == i ? 2 : 1) << i << " " << j;
      }
    }
  }
  // A press between buttons keeps the value; the right button prompts instead.
  Editor ed(300, 570, 8, 8);
  ed.mPlug.GetParam(0)->InitEnum("Pick", 0, 3);
  for (int i = 0; i < 3; ++i) ed.mPlug.GetParam(0)->SetDisplayText(i, "x");
  IRadioButtonsControl* radio = ed.Add(new IRadioButtonsControl(&ed.mPlug, IRECT(0, 0, 10, 50), 0, 3, &bitmap));
  radio->DisablePrompt(false);
  ed.Attach();
  radio->SetValueFromPlug(1.0);
  radio->OnMouseDown(1, 15, &kLeft);
  EXPECT_EQ(radio->GetValue(), 1.0);
  radio->OnMouseDown(1, 1, &kRight);
  EXPECT_EQ(radio->GetValue(), 1.0);
  EXPECT_EQ(ed.mGraphics->mMenus.size(), 1u);
}

TEST(IFaderControl, GeometrySnapAndHandle)
{
  auto strip = MakeStrip(20, 10, 1);
  IBitmap handle(strip.get(), 20, 10, 1);
  Editor ed;
  IFaderControl* v = ed.Add(new IFaderControl(&ed.mPlug, 10, 20, 110, 0, &handle));
  IFaderControl* h = ed.Add(new IFaderControl(&ed.mPlug, 100, 300, 120, 1, &handle, kHorizontal, true));
  ed.Attach();
  EXPECT_EQ(v->GetRECT(), IRECT(10, 20, 30, 130));
  EXPECT_EQ(v->GetHandleHeadroom(), 10);
  EXPECT_EQ(h->GetRECT(), IRECT(100, 300, 220, 310));
  EXPECT_EQ(h->GetHandleHeadroom(), 20);

  struct Snap
  {
    IFaderControl* fader;
    int x, y;
    double value;
    IRECT handleRect;
  } snaps[] = {
    // vertical: value = 1 - (y - T - 5) / 100; handle at T + trunc(100 (1 - v))
    {v, 15, 75, 0.5, {10, 70, 30, 80}},
    {v, 15, 25, 1.0, {10, 20, 30, 30}},
    {v, 15, 10, 1.0, {10, 20, 30, 30}},   // clamped
    {v, 15, 125, 0.0, {10, 120, 30, 130}},
    {v, 15, 50, 0.75, {10, 45, 30, 55}},
    // horizontal: value = (x - L - 10) / 100; handle at L + trunc(100 v)
    {h, 160, 305, 0.5, {150, 300, 170, 310}},
    {h, 110, 305, 0.0, {100, 300, 120, 310}},
    {h, 300, 305, 1.0, {200, 300, 220, 310}},
  };
  for (const Snap& s : snaps)
  {
    s.fader->SnapToMouse(s.x, s.y);
    EXPECT_DOUBLE_EQ(s.fader->GetValue(), s.value) << s.x << "," << s.y;
    EXPECT_EQ(s.fader->GetHandleRECT(), s.handleRect) << s.x << "," << s.y;
  }
  EXPECT_EQ(v->GetHandleRECT(0.25), IRECT(10, 95, 30, 105));

  // Only-handle faders are hit on the handle alone.
  h->SnapToMouse(110, 305);  // handle at 100..120
  EXPECT_TRUE(h->IsHit(105, 305));
  EXPECT_FALSE(h->IsHit(150, 305));
  EXPECT_TRUE(v->IsHit(12, 125));  // the whole track

  // Press and drag snap; the wheel steps; the handle is drawn where it is.
  ed.mGraphics->OnMouseDown(15, 75, &kLeft);
  ed.mGraphics->OnMouseDrag(15, 50, &kLeft);
  ed.mGraphics->OnMouseUp(15, 50, &kLeft);
  EXPECT_DOUBLE_EQ(v->GetValue(), 0.75);
  EXPECT_EQ(FrameAt(ed.mGraphics, 20, 50), 1);
  EXPECT_EQ(FrameAt(ed.mGraphics, 20, 60), 0);
  v->OnMouseWheel(0, 0, &kLeft, -5);
  EXPECT_NEAR(v->GetValue(), 0.7, 1e-12);
  v->OnMouseWheel(0, 0, &kCtrl, 10);
  EXPECT_NEAR(v->GetValue(), 0.71, 1e-12);

  // A handle as long as the track: nothing to travel, no division by zero.
  IFaderControl stuck(&ed.mPlug, 0, 0, 10, 2, &handle);
  stuck.SetValueFromPlug(0.4);
  stuck.SnapToMouse(5, 5);
  EXPECT_EQ(stuck.GetValue(), 0.4);
}

TEST(IURLControl, OpensTheURLThenTheBackupAndNothingElse)
{
  struct Case
  {
    const char* url;
    const char* backup;
    std::vector<bool> results;
    std::vector<std::string> opened;
  } cases[] = {
    {"https://example.com/torven", nullptr, {true}, {"https://example.com/torven"}},
    {"https://a", "https://b", {false, true}, {"https://a", "https://b"}},
    {"https://a", nullptr, {false}, {"https://a"}},  // nothing further
    {"", "https://b", {true}, {"https://b"}},
    {nullptr, nullptr, {}, {}},
  };
  for (const Case& c : cases)
  {
    Editor ed;
    IURLControl* link = ed.Add(new IURLControl(&ed.mPlug, IRECT(203, 540, 303, 640), c.url, c.backup));
    ed.Attach();
    ed.mGraphics->mURLResults.assign(c.results.begin(), c.results.end());
    ed.mGraphics->OnMouseDown(250, 560, &kLeft);
    ed.mGraphics->OnMouseUp(250, 560, &kLeft);
    EXPECT_EQ(ed.mGraphics->mURLs, c.opened);
    EXPECT_TRUE(ed.mPlug.mEvents.empty());  // no parameter, no gesture
    EXPECT_EQ(link->ParamIdx(), -1);
    EXPECT_TRUE(link->IsPromptDisabled());
  }
  // Strings longer than the buffers are cut, never overrun.
  const std::string longURL(1000, 'u'), longMsg(5000, 'm');
  IURLControl cut(nullptr, IRECT(0, 0, 1, 1), longURL.c_str(), longURL.c_str(), longMsg.c_str());
  EXPECT_EQ(std::strlen(cut.GetURL()), 255u);
  EXPECT_EQ(std::strlen(cut.GetBackupURL()), 255u);
  EXPECT_EQ(std::strlen(cut.GetErrMsg()), 1023u);
}

TEST(IFileSelectorControl, PromptsTogglesAndReportsOnce)
{
  auto strip = MakeStrip(20, 20, 1);
  IBitmap bitmap(strip.get(), 20, 20, 1);
  Editor ed;
  IFileSelectorControl* fs =
    ed.Add(new IFileSelectorControl(&ed.mPlug, IRECT(0, 0, 20, 20), 0, &bitmap, kFileOpen, "/presets/", "fxp fxb"));
  ed.Attach();
  IGraphicsMemory* g = ed.mGraphics;
  int shownWhileSelecting = -1;
  g->mWhileModal = [&] { shownWhileSelecting = FrameAt(g, 5, 5); };
  g->mFileToChoose = "/presets/warm.fxp";
  g->Tick();
  g->Tick();

  g->OnMouseDown(5, 5, &kLeft);
  g->OnMouseUp(5, 5, &kLeft);
  EXPECT_EQ(shownWhileSelecting, 1);  // drawn while the dialog is open
  EXPECT_EQ(g->mFilePrompts, (std::vector<std::string>{"/presets/"}));
  EXPECT_EQ(fs->GetValue(), 1.0);
  EXPECT_EQ(fs->GetState(), IFileSelectorControl::kFSDone);
  WDL_String file;
  fs->GetLastSelectedFileForPlug(&file);
  EXPECT_STREQ(file.Get(), "/presets/warm.fxp");
  EXPECT_EQ(FrameAt(g, 5, 5), 0);  // not drawn once done

  fs->SetClean();
  fs->SetClean();
  EXPECT_TRUE(fs->IsDirty());  // done: dirty once more
  EXPECT_FALSE(fs->IsDirty());
  EXPECT_EQ(fs->GetState(), IFileSelectorControl::kFSNone);

  g->OnMouseDown(5, 5, &kLeft);  // toggles back
  g->OnMouseUp(5, 5, &kLeft);
  EXPECT_EQ(fs->GetValue(), 0.0);
  fs->SetLastSelectedFileFromPlug("/x.fxb");
  fs->GetLastSelectedFileForPlug(&file);
  EXPECT_STREQ(file.Get(), "/x.fxb");
  EXPECT_TRUE(ed.mPlug.GesturesBalanced());
}

TEST(TextControls, CaptionShowsValueAndLabelAndPrompts)
{
  Editor ed(300, 570, 8, 8);
  ed.mPlug.GetParam(0)->InitDouble("Gain", 3.5, -12.0, 12.0, 0.1, "dB");
  ed.mPlug.GetParam(1)->InitBool("Bypass", true);
  IText style;
  ICaptionControl* withLabel = ed.Add(new ICaptionControl(&ed.mPlug, IRECT(0, 0, 50, 20), 0, &style));
  ICaptionControl* bare = ed.Add(new ICaptionControl(&ed.mPlug, IRECT(0, 30, 50, 50), 0, &style, false));
  ICaptionControl* onOff = ed.Add(new ICaptionControl(&ed.mPlug, IRECT(0, 60, 50, 80), 1, &style));
  withLabel->DisablePrompt(false);
  ed.Attach();
  IRECT all(0, 0, 300, 570);
  ed.mGraphics->Draw(&all);
  EXPECT_STREQ(withLabel->GetTextForPlug(), "3.5 dB");
  EXPECT_STREQ(bare->GetTextForPlug(), "3.5");
  EXPECT_STREQ(onOff->GetTextForPlug(), "on ");

  for (IMouseMod* mod : {&kLeft, &kRight})
  {
    ed.mGraphics->OnMouseDown(5, 5, mod);
    ed.mGraphics->TypeIntoTextEntry(nullptr);
    ed.mGraphics->OnMouseUp(5, 5, mod);
  }
  ed.mGraphics->OnMouseDblClick(5, 5, &kLeft);
  EXPECT_EQ(ed.mGraphics->mTextEntries.size(), 3u);
  EXPECT_EQ(ed.mGraphics->LastTextEntry().mText, "3.5");
  ed.mGraphics->OnMouseDown(5, 35, &kLeft);  // prompting off by default
  EXPECT_EQ(ed.mGraphics->mTextEntries.size(), 3u);
}

TEST(IBitmapTextControl, GlyphPlacement)
{
  // Glyphs 6 x 12 for codes 32 .. 41 (frame k is code 31 + k).
  auto glyphs = MakeStrip(6, 12, 10);
  IBitmap font(glyphs.get(), 6, 120, 10);
  struct Case
  {
    IRECT r;
    int align;
    bool vCentre, multiline;
    const char* text;
    std::vector<std::pair<IRECT, int>> expected;  // a glyph cell and its frame (0: blank)
  } cases[] = {
    {{10, 10, 40, 40}, IText::kAlignNear, false, false, "!\"", {{{10, 10, 16, 22}, 2}, {{16, 10, 22, 22}, 3}}},
    {{10, 10, 40, 40}, IText::kAlignFar, false, false, "!", {{{34, 10, 40, 22}, 2}}},
    // centred: x0 = 10 + (40 - (12 + 10)) / 2 = 19; vertically: 10 + (40 - 22) / 2 = 19
    {{10, 10, 40, 40}, IText::kAlignCenter, true, false, "!!", {{{19, 19, 25, 31}, 2}, {{25, 19, 31, 31}, 2}}},
    // 5 per line on 30 pixels: the sixth wraps to the next line
    {{10, 10, 40, 40}, IText::kAlignNear, false, true, "!!!!!#", {{{34, 10, 40, 22}, 2}, {{10, 22, 16, 34}, 4}}},
    // single line: cut after 5
    {{10, 10, 40, 40}, IText::kAlignNear, false, false, "!!!!!#", {{{34, 10, 40, 22}, 2}, {{10, 22, 16, 34}, 0}}},
    // past the strip ('Z'): a blank, and the next glyph in its place
    {{10, 10, 40, 40}, IText::kAlignNear, false, false, "Z!", {{{10, 10, 16, 22}, 0}, {{16, 10, 22, 22}, 2}}},
    // narrower than one glyph: nothing
    {{10, 10, 15, 40}, IText::kAlignNear, false, true, "!", {{{10, 10, 15, 22}, 0}}},
  };
  for (const Case& c : cases)
  {
    Editor ed;
    IText style;
    style.mAlign = c.align;
    ed.Add(new IBitmapTextControl(&ed.mPlug, c.r, &font, &style, c.text, 6, 12, 0, c.multiline, c.vCentre));
    ed.Attach();
    LICE_Clear(ed.mGraphics->GetDrawBitmap(), 0);
    ed.mGraphics->Tick();
    for (const auto& cell : c.expected)
    {
      const IRECT& r = cell.first;
      for (int y = r.T; y < r.B; ++y)
        for (int x = r.L; x < r.R; ++x)
          ASSERT_EQ(FrameOfColor(LICE_GetPixel(ed.mGraphics->GetDrawBitmap(), x, y)), cell.second)
            << c.text << " at " << x << "," << y;
    }
  }
  // Bad glyph sizes and empty strings draw nothing.
  Editor ed;
  ed.Attach();
  IText style;
  IRECT r(0, 0, 50, 50);
  LICE_Clear(ed.mGraphics->GetDrawBitmap(), 0);
  for (int cw : {0, -6})
    DrawBitmapedText(ed.mGraphics, &font, &r, &style, nullptr, "!!", false, true, cw, 12, 0);
  DrawBitmapedText(ed.mGraphics, &font, &r, &style, nullptr, "", false, true, 6, 12, 0);
  DrawBitmapedText(ed.mGraphics, &font, &r, &style, nullptr, nullptr, false, true, 6, 12, 0);
  EXPECT_EQ(LICE_GetPixel(ed.mGraphics->GetDrawBitmap(), 2, 2), 0u);
}

TEST(IPanelControl, FillsWithItsBlend)
{
  // What the raster fill itself makes of the colour at a weight.
  auto reference = [](const IColor& color, float weight) {
    LICE_MemBitmap one(1, 1);
    LICE_Clear(&one, 0xFF0000FF);
    LICE_FillRect(&one, 0, 0, 1, 1, IColorToPixel(color), weight, LICE_MODE_COPY | LICE_USE_SOURCE_ALPHA);
    return LICE_GetPixel(&one, 0, 0);
  };
  Editor ed(40, 40);
  const IColor halfRed(128, 255, 0, 0);
  IPanelControl* panel = ed.Add(new IPanelControl(&ed.mPlug, IRECT(0, 0, 40, 40), &halfRed));
  ed.Attach();
  LICE_Clear(ed.mGraphics->GetDrawBitmap(), 0xFF0000FF);
  ed.mGraphics->Tick();
  EXPECT_EQ(LICE_GetPixel(ed.mGraphics->GetDrawBitmap(), 20, 20), reference(halfRed, 1.0f));
  panel->GrayOut(true);  // a quarter of the weight
  LICE_Clear(ed.mGraphics->GetDrawBitmap(), 0xFF0000FF);
  IRECT all(0, 0, 40, 40);
  ed.mGraphics->Draw(&all);
  EXPECT_EQ(LICE_GetPixel(ed.mGraphics->GetDrawBitmap(), 20, 20), reference(halfRed, 0.25f));
  EXPECT_NE(reference(halfRed, 0.25f), reference(halfRed, 1.0f));
}
