// The control base and the value flow of IGraphics: defaults, clamps, pushes,
// display controls, auxiliary parameters, and the prompts with their menus
// and text entries.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <locale.h>
#include <string>
#include <vector>

#include "editor_test_util.h"
#include "WDL/IPlug/IControl.h"
#include "WDL/IPlug/IParam.h"
#include "WDL/IPlug/IPopupMenu.h"

using editor_test::CallLog;
using editor_test::Editor;
using editor_test::ProbeControl;

namespace {

IMouseMod kLeft(true), kRight(false, true);

}  // namespace

TEST(IControl, FirstValueBecomesTheDefaultAndADoubleClickRestoresIt)
{
  Editor ed;
  CallLog log;
  ProbeControl* c = ed.Add(new ProbeControl(&ed.mPlug, IRECT(0, 0, 10, 10), 2, "c", &log));
  c->mCallBase = true;
  EXPECT_EQ(c->GetDefaultValue(), -1.0);
  c->OnMouseDblClick(1, 1, &kLeft);  // no default yet: nothing
  EXPECT_TRUE(ed.mPlug.mEvents.empty());

  c->SetClean();
  c->SetValueFromPlug(0.3);
  EXPECT_EQ(c->GetValue(), 0.3);
  EXPECT_EQ(c->GetDefaultValue(), 0.3);
  EXPECT_FALSE(c->IsDirty());  // the first value marks nothing

  c->SetValueFromUserInput(0.9);
  c->OnMouseDblClick(1, 1, &kLeft);
  EXPECT_EQ(c->GetValue(), 0.3);
  EXPECT_EQ(editor_test::ToString(ed.mPlug.mEvents), "A2=0.9 A2=0.3 ");
  EXPECT_DOUBLE_EQ(ed.mPlug.GetParam(2)->Value(), 0.3);
  ed.Attach();
}

TEST(IControl, UserValuesPushOnlyWhenTheyChangeAndAreClamped)
{
  Editor ed;
  CallLog log;
  ProbeControl* c = ed.Add(new ProbeControl(&ed.mPlug, IRECT(0, 0, 10, 10), 1, "c", &log));
  ed.Attach();

  struct Case
  {
    double lo, hi, input, stored;
    const char* pushed;
  } cases[] = {
    {0.0, 1.0, 0.5, 0.5, "A1=0.5 "}, {0.0, 1.0, 0.5, 0.5, ""},  // the same value again: no push
    {0.2, 0.8, 0.9, 0.8, "A1=0.8 "}, {0.2, 0.8, 0.1, 0.2, "A1=0.2 "}, {0.0, 1.0, 1.5, 1.0, "A1=1 "},
    {0.0, 1.0, -3.0, 0.0, "A1=0 "},  {0.0, 1.0, std::nan(""), 0.0, ""},  // NaN is refused
  };
  for (const Case& k : cases)
  {
    ed.mPlug.mEvents.clear();
    c->Clamp(k.lo, k.hi);
    c->SetValueFromUserInput(k.input);
    EXPECT_EQ(c->GetValue(), k.stored) << k.input;
    EXPECT_EQ(editor_test::ToString(ed.mPlug.mEvents), k.pushed) << k.input;
  }
  c->SetClean();
  c->SetClean();
  c->SetValueFromPlug(std::nan(""));  // refused from the plug-in side too
  EXPECT_EQ(c->GetValue(), 0.0);
  EXPECT_FALSE(c->IsDirty());
}

TEST(IControl, HideGrayOutAndTheRedrawFlag)
{
  Editor ed;
  CallLog log;
  ProbeControl* c = ed.Add(new ProbeControl(&ed.mPlug, IRECT(0, 0, 10, 10), 0, "c", &log));
  ed.Attach();
  c->SetClean();

  c->GrayOut(true);
  EXPECT_TRUE(c->IsGrayed());
  EXPECT_EQ(c->GetBlend()->mWeight, 0.25f);
  EXPECT_TRUE(c->IsDirty());
  c->SetClean();
  EXPECT_FALSE(c->IsDirty());  // no redraw flag
  c->GrayOut(false);
  EXPECT_EQ(c->GetBlend()->mWeight, 1.0f);

  c->SetClean();
  c->Hide(true);
  EXPECT_TRUE(c->IsHidden());
  c->SetClean();
  EXPECT_TRUE(c->IsDirty());  // one more pass
  c->SetClean();
  EXPECT_FALSE(c->IsDirty());
}

TEST(IControl, DisplayControlsShowValueWithLabelAndName)
{
  Editor ed(300, 570, 8, 4);
  ed.mPlug.GetParam(4)->InitDouble("Gain", 0.0, -10.0, 10.0, 0.1, "dB");
  ed.mPlug.GetParam(5)->InitEnum("Mode", 0, 2);
  ed.mPlug.GetParam(5)->SetDisplayText(0, "soft");
  ed.mPlug.GetParam(5)->SetDisplayText(1, "hard");
  IText style;
  CallLog log;
  ProbeControl* gain = ed.Add(new ProbeControl(&ed.mPlug, IRECT(0, 0, 10, 10), 4, "gain", &log));
  ProbeControl* mode = ed.Add(new ProbeControl(&ed.mPlug, IRECT(0, 0, 10, 10), 5, "mode", &log));
  ITextControl* value = ed.Add(new ITextControl(&ed.mPlug, IRECT(0, 20, 50, 30), &style));
  ITextControl* name = ed.Add(new ITextControl(&ed.mPlug, IRECT(0, 40, 50, 50), &style));
  gain->SetValDisplayControl(value);
  gain->SetNameDisplayControl(name);
  mode->SetValDisplayControl(value);
  ed.Attach();

  gain->SetValueFromUserInput(ed.mPlug.GetParam(4)->GetNormalized(3.5));
  EXPECT_STREQ(value->GetTextForPlug(), "3.5 dB");
  EXPECT_STREQ(name->GetTextForPlug(), "Gain");
  mode->SetValueFromUserInput(1.0);
  EXPECT_STREQ(value->GetTextForPlug(), "hard ");  // a display text stands alone

  value->SetClean();
  value->SetTextFromPlug("hard ");  // the same text: not dirty
  EXPECT_FALSE(value->IsDirty());
  value->SetTextFromPlug(nullptr);
  EXPECT_STREQ(value->GetTextForPlug(), "");
  EXPECT_TRUE(value->IsDirty());
}

TEST(IControl, AuxiliaryParameters)
{
  Editor ed;
  CallLog log;
  ProbeControl* c = ed.Add(new ProbeControl(&ed.mPlug, IRECT(0, 0, 10, 10), 0, "c", &log));
  c->AddAuxParam(3);
  c->AddAuxParam(6);
  c->AddAuxParam(3);
  ed.Attach();  // pushes 0.0 to both: unchanged
  EXPECT_EQ(c->NAuxParams(), 3);
  EXPECT_EQ(c->AuxParamIdx(3), 0);
  EXPECT_EQ(c->AuxParamIdx(6), 1);
  EXPECT_EQ(c->AuxParamIdx(0), -1);
  EXPECT_EQ(c->GetAuxParam(3), nullptr);
  EXPECT_EQ(c->GetAuxParam(-1), nullptr);

  c->SetClean();
  ed.mGraphics->SetParameterFromPlug(6, 0.25, true);
  EXPECT_EQ(c->GetAuxParam(1)->mValue, 0.25);
  EXPECT_EQ(c->GetValue(), 0.0);  // the control's own value stays
  EXPECT_TRUE(c->IsDirty());
  ed.mGraphics->SetParameterFromPlug(3, 0.5, true);  // only the first record of 3
  EXPECT_EQ(c->GetAuxParam(0)->mValue, 0.5);
  EXPECT_EQ(c->GetAuxParam(2)->mValue, 0.0);

  c->SetAllAuxParamsFromGUI();
  EXPECT_EQ(editor_test::ToString(ed.mPlug.mEvents), "A3=0.5 A6=0.25 A3=0 ");
}

TEST(IGraphicsValues, FromPlugFromGUIClampsAndRegistryHelpers)
{
  Editor ed(300, 570, 8, 7);
  ed.mPlug.GetParam(1)->InitDouble("Freq", 100.0, 100.0, 1100.0, 1.0);
  ed.mPlug.GetParam(2)->InitDouble("p", 0.0, 0.0, 1.0, 0.001);
  CallLog log;
  ProbeControl* a = ed.Add(new ProbeControl(&ed.mPlug, IRECT(0, 0, 10, 10), 1, "a", &log));
  ProbeControl* b = ed.Add(new ProbeControl(&ed.mPlug, IRECT(0, 0, 10, 10), 1, "b", &log));
  ProbeControl* other = ed.Add(new ProbeControl(&ed.mPlug, IRECT(0, 0, 10, 10), 2, "other", &log));
  ed.Attach();
  IGraphicsMemory* g = ed.mGraphics;

  g->SetParameterFromPlug(1, 600.0, false);  // plain values are normalised
  EXPECT_EQ(a->GetValue(), 0.5);
  EXPECT_EQ(b->GetValue(), 0.5);
  g->SetParameterFromPlug(1, std::nan(""), true);  // ignored, as the parameter does
  EXPECT_EQ(a->GetValue(), 0.5);
  g->SetParameterFromPlug(42, 3.0, false);  // no such parameter: ignored
  g->SetControlFromPlug(2, 0.75);
  EXPECT_EQ(other->GetValue(), 0.75);
  g->SetControlFromPlug(3, 0.1);
  g->SetControlFromPlug(-1, 0.1);

  g->SetParameterFromGUI(1, 0.25);  // every control of the parameter
  EXPECT_EQ(a->GetValue(), 0.25);
  EXPECT_EQ(b->GetValue(), 0.25);
  EXPECT_EQ(other->GetValue(), 0.75);

  g->ClampControl(1, 200.0, 400.0, false);
  EXPECT_DOUBLE_EQ(a->GetClampLo(), 0.1);
  EXPECT_DOUBLE_EQ(b->GetClampHi(), 0.3);
  EXPECT_EQ(other->GetClampHi(), 1.0);
  g->ClampControl(1, -0.5, 1.5, true);  // normalised bounds stay within 0..1
  EXPECT_EQ(a->GetClampLo(), 0.0);
  EXPECT_EQ(a->GetClampHi(), 1.0);
  g->ClampControl(42, 1.0, 2.0, false);  // no such parameter: ignored

  g->HideControl(1, true);
  EXPECT_TRUE(a->IsHidden() && b->IsHidden() && !other->IsHidden());
  g->GrayOutControl(2, true);
  EXPECT_TRUE(other->IsGrayed() && !a->IsGrayed());

  g->AssignParamNameToolTips();
  EXPECT_STREQ(a->GetTooltip(), "Freq");
  EXPECT_STREQ(other->GetTooltip(), "p");
  other->SetTooltip("custom");
  EXPECT_STREQ(other->GetTooltip(), "custom");

  EXPECT_EQ(g->AttachControl(nullptr), -1);
  EXPECT_EQ(g->NControls(), 3);
  EXPECT_EQ(g->GetControl(3), nullptr);
  EXPECT_EQ(g->FPS(), 25);
}

TEST(IGraphicsValues, BackgroundsGoToIndexZero)
{
  Editor ed(120, 80);
  CallLog log;
  ed.Add(new ProbeControl(&ed.mPlug, IRECT(0, 0, 10, 10), 0, "first", &log));
  ed.mGraphics->AttachPanelBackground(&COLOR_RED);
  IControl* panel = ed.mGraphics->GetControl(0);
  EXPECT_EQ(panel->GetRECT(), IRECT(0, 0, 120, 80));
  EXPECT_EQ(panel->ParamIdx(), -1);
  EXPECT_EQ(ed.mGraphics->NControls(), 2);
  ed.mGraphics->AttachPanelBackground(nullptr);
  EXPECT_EQ(ed.mGraphics->NControls(), 2);
  ed.Attach();
  ed.mGraphics->Tick();
  EXPECT_EQ(IColorFromPixel(LICE_GetPixel(ed.mGraphics->GetDrawBitmap(), 100, 70)), COLOR_RED);
}

// ---------------------------------------------------------------------------
// Prompts

namespace {

struct Prompting : ::testing::Test
{
  Prompting() : ed(300, 570, 8, 8)
  {
    IPlugBase& p = ed.mPlug;
    p.GetParam(0)->InitBool("Bypass", false);  // display texts "off", "on"
    p.GetParam(1)->InitInt("Steps", 3, -10, 10);
    p.GetParam(2)->InitEnum("Mode", 1, 3);
    p.GetParam(2)->SetDisplayText(0, "low");
    p.GetParam(2)->SetDisplayText(1, "mid");
    p.GetParam(2)->SetDisplayText(2, "high");
    p.GetParam(3)->InitDouble("Gain", 0.0, -12.0, 12.0, 0.1, "dB");
    p.GetParam(4)->InitDouble("Trim", 0.0, -12.0, 12.0, 0.1);
    p.GetParam(4)->NegateDisplay();
    p.GetParam(5)->InitEnum("Order", 0, 3);  // texts not in value order
    p.GetParam(5)->SetDisplayText(2, "third");
    p.GetParam(5)->SetDisplayText(0, "first");
    p.GetParam(5)->SetDisplayText(1, "second");
    // Parameter 6 keeps no type at all.
    for (int i = 0; i < 7; ++i)
    {
      controls.push_back(ed.Add(new ProbeControl(&p, IRECT(10 * i, 0, 10 * i + 10, 20), i, "c", &log)));
      controls.back()->mCallBase = true;
      controls.back()->DisablePrompt(false);
    }
    ed.Attach();
    g = ed.mGraphics;
  }

  Editor ed;
  CallLog log;
  std::vector<ProbeControl*> controls;
  IGraphicsMemory* g;
};

}  // namespace

TEST_F(Prompting, MenusForEnumsAndBoolsTextEntriesForTheRest)
{
  struct Case
  {
    int param;
    bool menu;
    std::vector<std::string> labels;  // menus
    std::string text;                 // text entries: the initial text
    IRECT rect;
  } cases[] = {
    {0, true, {"off", "on"}, "", IRECT(0, 0, 10, 20)},  // display texts: the control's rectangle
    {1, false, {}, "3", IRECT(-5, 2, 35, 18)},          // else 40 x 16 centred on (15, 10)
    {2, true, {"low", "mid", "high"}, "", IRECT(20, 0, 30, 20)},
    {3, false, {}, "0.0", IRECT(15, 2, 55, 18)},
    {6, false, {}, "0", IRECT(45, 2, 85, 18)},
  };
  for (const Case& c : cases)
  {
    const size_t menus = g->mMenus.size(), entries = g->mTextEntries.size();
    g->OnMouseDown(controls[c.param]->GetRECT().L + 1, 5, &kRight);
    g->OnMouseUp(controls[c.param]->GetRECT().L + 1, 5, &kRight);
    if (c.menu)
    {
      ASSERT_EQ(g->mMenus.size(), menus + 1) << c.param;
      EXPECT_EQ(g->mMenus.back().mLabels, c.labels);
      EXPECT_EQ(g->mMenus.back().mRect, c.rect);
    }
    else
    {
      ASSERT_EQ(g->mTextEntries.size(), entries + 1) << c.param;
      EXPECT_EQ(g->LastTextEntry().mText, c.text);
      EXPECT_EQ(g->LastTextEntry().mRect, c.rect) << c.param;
      EXPECT_EQ(g->LastTextEntry().mParam, ed.mPlug.GetParam(c.param));
      g->TypeIntoTextEntry(nullptr);
    }
  }
  // The current entry is checked.
  EXPECT_EQ(g->mMenus[1].mFlags, (std::vector<int>{0, IPopupMenuItem::kChecked, 0}));
}

TEST_F(Prompting, ChoosingFromTheMenuSetsThatValue)
{
  g->mMenuChoices = {{1}, {}, {0}};
  controls[2]->PromptUserInput();
  EXPECT_EQ(controls[2]->GetValue(), ed.mPlug.GetParam(2)->GetNormalized(1.0));
  controls[2]->PromptUserInput();  // nothing chosen: unchanged
  EXPECT_EQ(controls[2]->GetValue(), 0.5);
  controls[0]->PromptUserInput();
  EXPECT_EQ(controls[0]->GetValue(), 0.0);

  // An item stands for its text's value, wherever the text sits in the table.
  g->mMenuChoices = {{0}, {2}};
  controls[5]->PromptUserInput();
  EXPECT_EQ(controls[5]->GetValue(), ed.mPlug.GetParam(5)->GetNormalized(2.0));  // "third"
  controls[5]->PromptUserInput();
  EXPECT_EQ(controls[5]->GetValue(), ed.mPlug.GetParam(5)->GetNormalized(1.0));  // "second"
  EXPECT_EQ(g->mMenus.back().mFlags, (std::vector<int>{IPopupMenuItem::kChecked, 0, 0}));
}

TEST_F(Prompting, TypedTextFollowsTheFormatterAndTheParameter)
{
  struct Case
  {
    int param;
    const char* typed;
    const char* field;  // what the field accepted
    double plain;       // the parameter value that results
  } cases[] = {
    {1, "-7", "-7", -7.0},
    {1, "4x2", "42", 10.0},        // the letter is refused; 42 clamps to the range
    {1, "123456789", "1234567", 10.0},  // an eighth character is refused
    {3, "-3.5", "-3.5", -3.5},
    {3, "2,5", "25", 12.0},
    {4, "-3", "-3", 3.0},          // a negated display types the sign inverted
    {6, "5", "", 0.0},             // no type: nothing can be typed
  };
  for (const Case& c : cases)
  {
    controls[c.param]->PromptUserInput();
    ASSERT_TRUE(g->TextEntryOpen()) << c.typed;
    EXPECT_EQ(g->TypeIntoTextEntry(c.typed), c.field);
    EXPECT_DOUBLE_EQ(ed.mPlug.GetParam(c.param)->GetNonNormalized(controls[c.param]->GetValue()), c.plain)
      << c.typed;
  }
}

TEST_F(Prompting, StringsAfterThePrompt)
{
  struct Case
  {
    int param;
    const char* text;
    double plain;
  } cases[] = {
    {0, "on", 1.0}, {0, "off", 0.0}, {2, "high", 2.0}, {2, "loud", 0.0},  // no match: index 0
    {3, "0.5", 0.5}, {3, "nan", 0.5},                                    // not a number: ignored
    {3, "inf", 0.5}, {4, "2", -2.0},
  };
  for (const Case& c : cases)
  {
    g->SetFromStringAfterPrompt(controls[c.param], ed.mPlug.GetParam(c.param), c.text);
    EXPECT_DOUBLE_EQ(ed.mPlug.GetParam(c.param)->GetNonNormalized(controls[c.param]->GetValue()), c.plain)
      << c.text;
  }
  g->SetFromStringAfterPrompt(controls[3], nullptr, "1");
  g->SetFromStringAfterPrompt(nullptr, ed.mPlug.GetParam(3), "1");
  g->SetFromStringAfterPrompt(controls[3], ed.mPlug.GetParam(3), nullptr);
  g->PromptUserInput(nullptr, ed.mPlug.GetParam(3), nullptr);

  // Numbers read in the "C" locale whatever the host set.
  locale_t de = newlocale(LC_NUMERIC_MASK, "de_DE.UTF-8", (locale_t)0);
  if (!de) GTEST_SKIP() << "no de_DE.UTF-8 locale on this machine";
  locale_t old = uselocale(de);
  g->SetFromStringAfterPrompt(controls[3], ed.mPlug.GetParam(3), "1.5");
  uselocale(old);
  freelocale(de);
  EXPECT_DOUBLE_EQ(ed.mPlug.GetParam(3)->GetNonNormalized(controls[3]->GetValue()), 1.5);
}

TEST_F(Prompting, DisabledPromptsAndEntriesWithoutAParameter)
{
  controls[3]->DisablePrompt(true);
  g->OnMouseDown(31, 5, &kRight);
  g->OnMouseUp(31, 5, &kRight);
  EXPECT_TRUE(g->mTextEntries.empty());

  // Only one entry at a time.
  controls[1]->PromptUserInput();
  controls[4]->PromptUserInput();
  EXPECT_EQ(g->mTextEntries.size(), 1u);
  g->ForceEndUserEdit();
  EXPECT_FALSE(g->TextEntryOpen());

  // An entry without a parameter hands its text to the control.
  log.Clear();
  IRECT r(0, 0, 50, 20);
  g->CreateTextEntry(controls[0], controls[0]->GetText(), &r, "hello", nullptr);
  EXPECT_EQ(g->TypeIntoTextEntry("any text at all"), "any text at all");
  EXPECT_EQ(log.Last(), "c:text any text at all");
}

TEST(IGraphicsLifecycle, ResizeStartsOverAndPrepDrawReplaces)
{
  struct Counted : ProbeControl
  {
    Counted(IPlugBase* pPlug, const IRECT& r, int paramIdx, CallLog* pLog, int* pDeleted)
      : ProbeControl(pPlug, r, paramIdx, "k", pLog), mDeleted(pDeleted)
    {
    }
    ~Counted() override { ++*mDeleted; }
    int* mDeleted;
  };
  int deleted = 0;
  CallLog log;
  Editor ed(300, 570);
  ed.Add(new Counted(&ed.mPlug, IRECT(0, 0, 300, 570), -1, &log, &deleted));
  ed.Add(new Counted(&ed.mPlug, IRECT(10, 10, 60, 60), 2, &log, &deleted));
  ed.mGraphics->AttachKeyCatcher(new Counted(&ed.mPlug, IRECT(), -1, &log, &deleted));
  ed.Attach();
  IGraphicsMemory* g = ed.mGraphics;
  g->HandleMouseOver(true);
  g->OnMouseOver(20, 20, nullptr);
  IMouseMod left(true);
  g->OnMouseDown(20, 20, &left);  // a gesture is open on parameter 2

  g->Resize(0, 100);  // refused
  g->Resize(320, -1);
  EXPECT_EQ(g->Width(), 300);
  EXPECT_EQ(g->NControls(), 2);
  EXPECT_TRUE(ed.mPlug.mResizes.empty());

  g->Resize(400, 200);
  EXPECT_EQ(g->Width(), 400);
  EXPECT_EQ(g->Height(), 200);
  EXPECT_EQ(g->NControls(), 0);
  EXPECT_EQ(deleted, 2);                  // the controls, not the key catcher
  EXPECT_NE(g->GetKeyCatcher(), nullptr);
  EXPECT_EQ(g->GetMouseCapture(), -1);
  EXPECT_EQ(g->GetMouseOver(), -1);
  EXPECT_EQ(g->GetDrawBitmap()->getWidth(), 400);
  EXPECT_EQ(g->GetDrawBitmap()->getHeight(), 200);
  EXPECT_EQ(ed.mPlug.mResizes, (std::vector<std::pair<int, int>>{{400, 200}}));
  EXPECT_EQ(editor_test::ToString(ed.mPlug.mEvents), "B2 E2 ");  // the gesture was ended
  g->OnMouseUp(20, 20, &left);  // the release that follows ends nothing more
  g->OnMouseDrag(30, 30, &left);
  EXPECT_EQ(editor_test::ToString(ed.mPlug.mEvents), "B2 E2 ");

  // PrepDraw again replaces the surfaces (the sanitizers see no leak).
  g->PrepDraw();
  ASSERT_NE(g->GetDrawBitmap(), nullptr);
  EXPECT_EQ(g->GetDrawBitmap()->getWidth(), 400);
}
