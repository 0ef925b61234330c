#include "WDL/IPlug/src/EditorInput_p.h"

#include <cstdlib>

namespace ieditor {

ViewRect EditorToViewRect(const IRECT& r, int h)
{
  return {r.L, h - 1 - r.B, r.R - r.L + 1, r.B - r.T + 1};
}

IRECT ViewToEditorRect(const ViewRect& v, int h)
{
  return IRECT(v.x, h - (v.y + v.h), v.x + v.w, h - v.y);
}

void ViewPointToEditor(double vx, double vy, int h, int* pX, int* pY)
{
  *pX = (int)vx - 2;
  *pY = h - (int)vy - 3;
}

IMouseMod LeftButtonMod(const KeyMods& m)
{
  return IMouseMod(true, m.super, m.shift, m.control, m.alt);
}

IMouseMod RightButtonMod(const KeyMods& m)
{
  return IMouseMod(false, true, m.shift, m.control, m.alt);
}

int EditorKeyCode(const IHostKey& key)
{
  switch (key.mNamed)
  {
    case IHostKey::kSpace: return 0;
    case IHostKey::kUp: return 1;
    case IHostKey::kDown: return 2;
    case IHostKey::kLeft: return 3;
    case IHostKey::kRight: return 4;
    case IHostKey::kNone: break;
    default: return -1;
  }
  const int c = key.mChar;
  if (c == ' ') return 0;
  if (c >= '0' && c <= '9') return 5 + (c - '0');
  if (c >= 'A' && c <= 'Z') return 15 + (c - 'A');
  if (c >= 'a' && c <= 'z') return 15 + (c - 'a');
  return -1;
}

bool DoubleClickDetector::Press(int button, unsigned long timeMs, int x, int y)
{
  // Server time wraps after 49 days; a press "before" the last one starts over.
  const bool second = mHave && button == mButton && timeMs >= mTime && timeMs - mTime <= kTimeMs &&
                      std::abs(x - mX) <= kDistance && std::abs(y - mY) <= kDistance;
  if (second)
  {
    mHave = false;
    return true;
  }
  mHave = true;
  mButton = button;
  mTime = timeMs;
  mX = x;
  mY = y;
  return false;
}

}  // namespace ieditor
