#include "editor_test_util.h"

#include <cstdio>

namespace editor_test {

std::string ToString(const std::vector<HostEvent>& events)
{
  std::string s;
  for (const HostEvent& e : events)
  {
    char buf[64];
    if (e.mKind == 'A') std::snprintf(buf, sizeof(buf), "A%d=%g ", e.mIdx, e.mValue);
    else std::snprintf(buf, sizeof(buf), "%c%d ", e.mKind, e.mIdx);
    s += buf;
  }
  return s;
}

RecordingPlug::RecordingPlug(int nParams, int nUntyped)
  : IPlugBase(nParams, "2-2", 1, "EditorTest", "Editor Test", "Morvane", 0x10000, 0x45645473, 0x4d72766e, 0, false,
              false, false, kAPIVST2)
{
  for (int i = 0; i < nParams - nUntyped; ++i) GetParam(i)->InitDouble("p", 0.0, 0.0, 1.0, 0.001);
}

bool RecordingPlug::GesturesBalanced() const
{
  int open = -1;
  for (const HostEvent& e : mEvents)
  {
    switch (e.mKind)
    {
      case 'B':
        if (open >= 0) return false;
        open = e.mIdx;
        break;
      case 'E':
        if (open != e.mIdx) return false;
        open = -1;
        break;
      default:
        if (open != e.mIdx) return false;
        break;
    }
  }
  return open < 0;
}

namespace {

std::string Mods(const IMouseMod* pMod)
{
  std::string s;
  if (!pMod) return " null";
  if (pMod->L) s += " L";
  if (pMod->R) s += " R";
  if (pMod->S) s += " S";
  if (pMod->C) s += " C";
  if (pMod->A) s += " A";
  return s;
}

std::string XY(const char* what, int x, int y)
{
  return std::string(what) + " " + std::to_string(x) + " " + std::to_string(y);
}

}  // namespace

void ProbeControl::Log(const std::string& call)
{
  mLog->mCalls.push_back(mName + ":" + call);
}

void ProbeControl::OnMouseDown(int x, int y, IMouseMod* pMod)
{
  Log(XY("down", x, y) + Mods(pMod));
  if (mCallBase) IControl::OnMouseDown(x, y, pMod);
}

void ProbeControl::OnMouseUp(int x, int y, IMouseMod* pMod)
{
  Log(XY("up", x, y) + Mods(pMod));
}

void ProbeControl::OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* pMod)
{
  Log(XY("drag", x, y) + " d " + std::to_string(dX) + " " + std::to_string(dY) + Mods(pMod));
}

void ProbeControl::OnMouseDblClick(int x, int y, IMouseMod* pMod)
{
  Log(XY("dbl", x, y) + Mods(pMod));
  if (mCallBase) IControl::OnMouseDblClick(x, y, pMod);
}

void ProbeControl::OnMouseWheel(int x, int y, IMouseMod* pMod, int d)
{
  Log(XY("wheel", x, y) + " " + std::to_string(d) + Mods(pMod));
}

bool ProbeControl::OnKeyDown(int x, int y, int key)
{
  Log(XY("key", x, y) + " " + std::to_string(key));
  return mKeyResult;
}

void ProbeControl::OnMouseOver(int x, int y, IMouseMod* pMod)
{
  Log(XY("over", x, y) + Mods(pMod));
}

void ProbeControl::OnMouseOut()
{
  Log("out");
}

bool ProbeControl::Draw(IGraphics*)
{
  Log("draw");
  return true;
}

unsigned int FrameColor(int frame)
{
  return LICE_RGBA(frame * 7 & 0xff, 255 - frame, frame, 255);
}

int FrameOfColor(unsigned int pixel)
{
  for (int k = 1; k < 256; ++k)
    if (FrameColor(k) == pixel) return k;
  return 0;
}

std::unique_ptr<LICE_MemBitmap> MakeStrip(int frameW, int frameH, int nFrames, bool horizontal)
{
  auto strip = std::make_unique<LICE_MemBitmap>(horizontal ? frameW * nFrames : frameW,
                                                horizontal ? frameH : frameH * nFrames);
  for (int k = 1; k <= nFrames; ++k)
  {
    const int x = horizontal ? (k - 1) * frameW : 0;
    const int y = horizontal ? 0 : (k - 1) * frameH;
    LICE_FillRect(strip.get(), x, y, frameW, frameH, FrameColor(k), 1.0f, LICE_MODE_COPY);
  }
  return strip;
}

}  // namespace editor_test
