// The editor host's input rules that hold on every window system: coordinate
// conversions between editor pixels (origin top-left) and view coordinates
// (origin bottom-left, y up), the modifier records of left- and right-button
// events, the editor's key codes, and double-click detection. Pure functions
// and one small value class; no window system in sight.
#ifndef IPLUG_SRC_EDITORINPUT_P_H_
#define IPLUG_SRC_EDITORINPUT_P_H_

#include "WDL/IPlug/IGraphics.h"

namespace ieditor {

// A rectangle in view coordinates: x, y of the bottom-left corner, width, height.
struct ViewRect
{
  int x = 0, y = 0, w = 0, h = 0;
};

// Editor rectangle -> view rectangle for an editor h pixels high: x = L,
// y = h - 1 - B, width = R - L + 1, height = B - T + 1.
ViewRect EditorToViewRect(const IRECT& r, int h);
// View rectangle -> editor rectangle: L = x, T = h - (y + height),
// R = x + width, B = h - y.
IRECT ViewToEditorRect(const ViewRect& v, int h);
// The area a dirty rectangle is repainted as: through the view and back,
// which makes it one pixel wider and higher.
inline IRECT RepaintRect(const IRECT& dirty, int h)
{
  return ViewToEditorRect(EditorToViewRect(dirty, h), h);
}

// A mouse position in view coordinates -> editor pixels: x = trunc(vx) - 2,
// y = h - trunc(vy) - 3 (the two offsets are part of the editor's behaviour).
void ViewPointToEditor(double vx, double vy, int h, int* pX, int* pY);
// A window-system pixel (origin top-left) is the view point (px, h - py).
inline void WindowPointToEditor(int px, int py, int h, int* pX, int* pY)
{
  ViewPointToEditor((double)px, (double)(h - py), h, pX, pY);
}

struct KeyMods
{
  bool shift = false, control = false, alt = false, super = false;
};

// Left-button events, moves and the wheel: L set, R = Command (Super) held.
IMouseMod LeftButtonMod(const KeyMods& m);
// Right-button events: L clear, R set.
IMouseMod RightButtonMod(const KeyMods& m);

// The editor's key codes: space 0, up 1, down 2, left 3, right 4, '0'..'9'
// 5..14, 'A'..'Z' and 'a'..'z' 15..40 (keypad digits count as digits); -1
// for any other key, which the editor leaves to the host.
int EditorKeyCode(const IHostKey& key);

// A second press of the same button within kTimeMs and kDistance pixels of
// the first is a double click; a third press starts over.
class DoubleClickDetector
{
public:
  static const unsigned long kTimeMs = 400;
  static const int kDistance = 4;

  // Records a press at time (ms) and (x, y); true when it completes a double click.
  bool Press(int button, unsigned long timeMs, int x, int y);
  void Reset() { mHave = false; }

private:
  bool mHave = false;
  int mButton = 0;
  unsigned long mTime = 0;
  int mX = 0, mY = 0;
};

}  // namespace ieditor

#endif  // IPLUG_SRC_EDITORINPUT_P_H_
