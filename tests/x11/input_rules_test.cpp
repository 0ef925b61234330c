// The editor host's platform-free rules: coordinate conversions, modifier
// records, key codes (from the window system and from the host's key
// opcodes), double clicks, the text field's editing under the formatter, and
// when and where the value readout shows.
#include <gtest/gtest.h>

#include <cstdint>

#include "WDL/IPlug/IParam.h"
#include "WDL/IPlug/IPlugVST.h"
#include "WDL/IPlug/src/EditorInput_p.h"
#include "WDL/IPlug/src/EditorOverlay_p.h"

using namespace ieditor;

namespace {

TEST(EditorConversions, PointsAndRectanglesThroughTheView)
{
  int x = 0, y = 0;
  ViewPointToEditor(10.7, 50.2, 570, &x, &y);
  EXPECT_EQ(x, 8);
  EXPECT_EQ(y, 517);
  WindowPointToEditor(100, 200, 570, &x, &y);
  EXPECT_EQ(x, 98);
  EXPECT_EQ(y, 197);

  const ViewRect v = EditorToViewRect(IRECT(10, 20, 30, 40), 570);
  EXPECT_EQ(v.x, 10);
  EXPECT_EQ(v.y, 529);
  EXPECT_EQ(v.w, 21);
  EXPECT_EQ(v.h, 21);

  // Through the view and back, every rectangle grows by one pixel to the right
  // and down, and nothing else changes.
  uint64_t seed = 0x9E3779B97F4A7C15ull;
  auto next = [&seed](int lo, int hi) {
    seed ^= seed << 13;
    seed ^= seed >> 7;
    seed ^= seed << 17;
    return lo + (int)(seed % (uint64_t)(hi - lo + 1));
  };
  for (int i = 0; i < 1000; ++i)
  {
    const int h = next(1, 2000);
    const int l = next(-50, 400), t = next(-50, h);
    const IRECT r(l, t, l + next(0, 300), t + next(0, 300));
    const IRECT back = RepaintRect(r, h);
    ASSERT_EQ(back, IRECT(r.L, r.T, r.R + 1, r.B + 1)) << r.L << "," << r.T << "," << r.R << "," << r.B << " h " << h;
    ASSERT_EQ(ViewToEditorRect(EditorToViewRect(r, h), h), back);
  }
}

TEST(EditorConversions, ModifierRecordsOfEachButtonSet)
{
  struct Case
  {
    KeyMods m;
    bool right;
    IMouseMod expect;
  };
  const Case cases[] = {
    {{}, false, IMouseMod(true, false, false, false, false)},
    {{true, false, false, false}, false, IMouseMod(true, false, true, false, false)},
    {{false, true, false, false}, false, IMouseMod(true, false, false, true, false)},
    {{false, false, true, false}, false, IMouseMod(true, false, false, false, true)},
    // Command (Super) with the left button reads as the right button held.
    {{false, false, false, true}, false, IMouseMod(true, true, false, false, false)},
    {{}, true, IMouseMod(false, true, false, false, false)},
    {{true, true, true, true}, true, IMouseMod(false, true, true, true, true)},
  };
  for (const Case& c : cases)
  {
    const IMouseMod m = c.right ? RightButtonMod(c.m) : LeftButtonMod(c.m);
    EXPECT_EQ(m.L, c.expect.L);
    EXPECT_EQ(m.R, c.expect.R);
    EXPECT_EQ(m.S, c.expect.S);
    EXPECT_EQ(m.C, c.expect.C);
    EXPECT_EQ(m.A, c.expect.A);
  }
}

IHostKey Char(int c, bool keypad = false)
{
  IHostKey k;
  k.mChar = c;
  k.mKeypad = keypad;
  return k;
}

IHostKey Named(int n)
{
  IHostKey k;
  k.mNamed = n;
  if (n == IHostKey::kSpace) k.mChar = ' ';
  return k;
}

TEST(EditorKeys, EditorKeyCodes)
{
  struct Case
  {
    IHostKey key;
    int code;
  };
  const Case cases[] = {
    {Named(IHostKey::kSpace), 0}, {Named(IHostKey::kUp), 1},      {Named(IHostKey::kDown), 2},
    {Named(IHostKey::kLeft), 3},  {Named(IHostKey::kRight), 4},   {Char('0'), 5},
    {Char('7'), 12},              {Char('9'), 14},                {Char('7', true), 12},
    {Char('a'), 15},              {Char('A'), 15},                {Char('z'), 40},
    {Char('Z'), 40},              {Char('!'), -1},                {Char(0xe9), -1},
    {Named(IHostKey::kOther), -1}, {Named(IHostKey::kBackspace), -1}, {Named(IHostKey::kReturn), -1},
  };
  for (const Case& c : cases) EXPECT_EQ(EditorKeyCode(c.key), c.code) << c.key.mChar << "/" << c.key.mNamed;
}

TEST(EditorKeys, HostKeyOpcodesBecomeKeys)
{
  struct Case
  {
    VstInt32 character;
    VstIntPtr vkey;
    float mods;
    int ch, named;
    bool keypad, shift, control, alt;
  };
  const Case cases[] = {
    {'a', 0, 0.f, 'a', IHostKey::kNone, false, false, false, false},
    {'A', 0, (float)MODIFIER_SHIFT, 'A', IHostKey::kNone, false, true, false, false},
    {0, VKEY_LEFT, 0.f, 0, IHostKey::kLeft, false, false, false, false},
    {0, VKEY_NEXT, 0.f, 0, IHostKey::kPageDown, false, false, false, false},
    {' ', VKEY_SPACE, 0.f, ' ', IHostKey::kSpace, false, false, false, false},
    {0, VKEY_ENTER, 0.f, 0, IHostKey::kReturn, true, false, false, false},
    {0, VKEY_NUMPAD7, 0.f, '7', IHostKey::kNone, true, false, false, false},
    {0, VKEY_DECIMAL, 0.f, '.', IHostKey::kNone, true, false, false, false},
    {0, VKEY_SUBTRACT, 0.f, '-', IHostKey::kNone, true, false, false, false},
    {0, VKEY_F5, 0.f, 0, IHostKey::kOther, false, false, false, false},
    {0, VKEY_SHIFT, (float)MODIFIER_SHIFT, 0, IHostKey::kOther, false, true, false, false},
    {'c', 0, (float)MODIFIER_COMMAND, 'c', IHostKey::kNone, false, false, true, false},
    {'c', 0, (float)(MODIFIER_CONTROL | MODIFIER_ALTERNATE), 'c', IHostKey::kNone, false, false, true, true},
    // Control codes and garbage are no characters; nonsense modifiers are none.
    {8, 0, 0.f, 0, IHostKey::kOther, false, false, false, false},
    {0x7fffffff, 0, -3.f, 0, IHostKey::kOther, false, false, false, false},
    {0, 0, 1e30f, 0, IHostKey::kNone, false, false, false, false},
    {0, 999, 0.f, 0, IHostKey::kOther, false, false, false, false},
  };
  for (const Case& c : cases)
  {
    const IHostKey k = VSTKeyToHostKey(c.character, c.vkey, c.mods);
    EXPECT_EQ(k.mChar, c.ch) << c.character << "/" << c.vkey;
    EXPECT_EQ(k.mNamed, c.named) << c.character << "/" << c.vkey;
    EXPECT_EQ(k.mKeypad, c.keypad) << c.character << "/" << c.vkey;
    EXPECT_EQ(k.mShift, c.shift) << c.character << "/" << c.vkey;
    EXPECT_EQ(k.mControl, c.control) << c.character << "/" << c.vkey;
    EXPECT_EQ(k.mAlt, c.alt) << c.character << "/" << c.vkey;
  }
}

TEST(EditorClicks, DoubleClicksByTimeAndPlace)
{
  struct Press
  {
    int button;
    unsigned long t;
    int x, y;
    bool dbl;
  };
  struct Case
  {
    const char* what;
    std::vector<Press> presses;
  };
  const Case cases[] = {
    {"quick and still", {{1, 1000, 50, 50, false}, {1, 1200, 51, 49, true}}},
    {"at the time limit", {{1, 1000, 50, 50, false}, {1, 1400, 50, 50, true}}},
    {"too slow", {{1, 1000, 50, 50, false}, {1, 1401, 50, 50, false}}},
    {"too far", {{1, 1000, 50, 50, false}, {1, 1100, 55, 50, false}}},
    {"another button", {{1, 1000, 50, 50, false}, {3, 1100, 50, 50, false}}},
    {"a third press starts over", {{1, 0, 5, 5, false}, {1, 100, 5, 5, true}, {1, 200, 5, 5, false}, {1, 300, 5, 5, true}}},
    {"server time going backwards", {{1, 5000, 5, 5, false}, {1, 4900, 5, 5, false}}},
  };
  for (const Case& c : cases)
  {
    DoubleClickDetector d;
    for (size_t i = 0; i < c.presses.size(); ++i)
    {
      const Press& p = c.presses[i];
      EXPECT_EQ(d.Press(p.button, p.t, p.x, p.y), p.dbl) << c.what << ", press " << i;
    }
  }
}

// The text field types under the formatter: digits, point and signs for a
// double parameter, no point for an int, nothing for an untyped one, at most
// the control's entry length; the first key replaces the selected text.
TEST(EditorTextField, TypingUnderTheFormatter)
{
  IParam dbl, integer, untyped;
  dbl.InitDouble("Gain", 0.0, -12.0, 12.0, 0.1, "dB");
  integer.InitInt("Steps", 3, 0, 10);
  struct Case
  {
    const char* what;
    IParam* param;
    const char* initial;
    int maxLength;
    std::vector<IHostKey> keys;
    const char* expect;
    TextField::EResult last;
  };
  const IHostKey bs = Named(IHostKey::kBackspace), left = Named(IHostKey::kLeft), del = Named(IHostKey::kDelete),
                 enter = Named(IHostKey::kReturn), esc = Named(IHostKey::kEscape), end = Named(IHostKey::kEnd);
  const Case cases[] = {
    {"replaces the selection", &dbl, "0.0", 7, {Char('-'), Char('3')}, "-3", TextField::kEdited},
    {"refuses a letter", &dbl, "", 7, {Char('1'), Char('x'), Char('2')}, "12", TextField::kEdited},
    {"keypad digits and point", &dbl, "", 7, {Char('4', true), Char('.', true), Char('5', true)}, "4.5", TextField::kEdited},
    {"refuses the eighth character", &dbl, "", 7,
     {Char('1'), Char('2'), Char('3'), Char('4'), Char('5'), Char('6'), Char('7'), Char('8')}, "1234567", TextField::kEdited},
    {"no point for an int", &integer, "3", 7, {Char('1'), Char('.'), Char('5')}, "15", TextField::kEdited},
    {"nothing for an untyped parameter", &untyped, "", 7, {Char('1'), Char('a')}, "", TextField::kEdited},
    {"anything without a parameter", nullptr, "", 0, {Char('h'), Char('i'), Char(' ')}, "hi ", TextField::kEdited},
    {"backspace clears the selection", &dbl, "2.5", 7, {bs}, "", TextField::kEdited},
    {"editing inside the text", &dbl, "2.5", 7, {end, left, bs, Char('7')}, "275", TextField::kEdited},
    {"delete after the caret", &dbl, "2.5", 7, {end, left, left, del}, "25", TextField::kEdited},
    {"enter commits", &dbl, "1", 7, {end, Char('0'), enter}, "10", TextField::kCommit},
    {"escape cancels", &dbl, "1", 7, {Char('9'), esc}, "9", TextField::kCancel},
  };
  for (const Case& c : cases)
  {
    TextField f;
    f.Open(nullptr, c.param, IRECT(0, 0, 40, 16), IText(), c.initial, c.maxLength);
    TextField::EResult r = TextField::kIgnored;
    for (const IHostKey& k : c.keys) r = f.Key(k);
    EXPECT_EQ(f.Text(), c.expect) << c.what;
    EXPECT_EQ(r, c.last) << c.what;
  }
  TextField closed;
  EXPECT_EQ(closed.Key(Char('1')), TextField::kIgnored);
}

TEST(EditorReadout, WhichControlShowsWhen)
{
  struct Case
  {
    const char* what;
    ReadoutInput in;
    int expect;
  };
  auto in = [](int drag, int wheel, double wheelAt, int hover, double hoverSince, double now) {
    ReadoutInput r;
    r.dragControl = drag;
    r.wheelControl = wheel;
    r.wheelAtMs = wheelAt;
    r.hoverControl = hover;
    r.hoverSinceMs = hoverSince;
    r.nowMs = now;
    return r;
  };
  const Case cases[] = {
    {"nothing", in(-1, -1, 0, -1, 0, 1000), -1},
    {"dragging wins", in(3, 4, 990, 5, 0, 1000), 3},
    {"a recent wheel step", in(-1, 4, 500, 5, 0, 1000), 4},
    {"an old wheel step gives way to hover", in(-1, 4, 1000 - kWheelHoldMs, 5, 0, 1000), 5},
    {"hover too short", in(-1, -1, 0, 5, 1000 - kHoverDelayMs + 1, 1000), -1},
    {"hover long enough", in(-1, -1, 0, 5, 1000 - kHoverDelayMs, 1000), 5},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadoutControl(c.in), c.expect) << c.what;
}

TEST(EditorReadout, BoxesStayInsideTheEditor)
{
  struct Case
  {
    IRECT anchor;
    int w, h;
    IRECT expect;
  };
  const Case cases[] = {
    {IRECT(100, 100, 164, 164), 80, 17, IRECT(92, 166, 172, 183)},    // centred below
    {IRECT(100, 540, 164, 570), 80, 17, IRECT(92, 521, 172, 538)},    // no room below: above
    {IRECT(-2, 430, 60, 460), 100, 17, IRECT(0, 462, 100, 479)},      // pushed right of the edge
    {IRECT(250, 62, 314, 126), 100, 17, IRECT(200, 128, 300, 145)},   // pushed left of the edge
    {IRECT(0, 0, 300, 570), 500, 17, IRECT(0, 0, 300, 17)},           // wider than the editor
  };
  for (const Case& c : cases) EXPECT_EQ(PlaceBox(c.anchor, c.w, c.h, 300, 570), c.expect);
}

TEST(EditorReadout, NameAndDisplayText)
{
  IParam gain, unnamed, sw;
  gain.InitDouble("OUT", 3.5, -15.0, 15.0, 0.01, "dB");
  unnamed.InitInt("", 1, 0, 1);
  sw.InitEnum("Mode", 1, 2);
  sw.SetDisplayText(0, "Off");
  sw.SetDisplayText(1, "On");
  EXPECT_EQ(ReadoutText(&gain, nullptr), "OUT: 3.50 dB");
  EXPECT_EQ(ReadoutText(&unnamed, "Oversampling"), "Oversampling: 1");
  EXPECT_EQ(ReadoutText(&unnamed, nullptr), "1");
  EXPECT_EQ(ReadoutText(&sw, ""), "Mode: On");
  EXPECT_EQ(ReadoutText(nullptr, "x"), "");
}

}  // namespace
