// TORVEN's editor: the X11 host and the layout of the controls.
#include "TORVEN/TORVEN.h"

#include "TORVEN/TORVENImages.h"
#include "WDL/IPlug/IControl.h"
#include "WDL/IPlug/IGraphicsLinux.h"

namespace {

const char kBundleID[] = "com.Morvane.vst.TORVEN";
const char kProductURL[] = "https://www.morvane.com/torven";
const int kKnobFrames = 31;
const int kSwitchFrames = 2;

}  // namespace

IGraphics* MakeGraphics(IPlug* pPlug, int width, int height, int fps)
{
  IGraphicsLinux* pGraphics = new IGraphicsLinux(pPlug, width, height, fps);
  pGraphics->SetBundleID(kBundleID);
  pGraphics->SetResources(kTORVENImages, kTORVENImageCount);
  // The host sees parameter 7 without a name; the readout still says what it is.
  pGraphics->SetReadoutName(kOversampling, "Oversampling");
  return pGraphics;
}

void TORVEN::LayoutEditor(IGraphics* pGraphics)
{
  pGraphics->AttachBackground(101, "resources/img/bg.png");

  struct Control
  {
    int id;
    const char* file;
    int frames;
    int x, y;
    int param;
  };
  // Attach order is drawing order: the Bypass switch first, the knobs, then
  // the oversampling switch.
  static const Control kControls[] = {
    {102, "resources/img/by.png", kSwitchFrames, -2, 430, kBypass},
    {107, "resources/img/GainH.png", kKnobFrames, 182, 62, kGainH},
    {109, "resources/img/GainL.png", kKnobFrames, 182, 310, kGainL},
    {110, "resources/img/GainM.png", kKnobFrames, 182, 185, kGainM},
    {113, "resources/img/OUT.png", kKnobFrames, 32, 309, kOut},
    {111, "resources/img/HPF.png", kKnobFrames, 32, 185, kHPF},
    {112, "resources/img/LPF.png", kKnobFrames, 34, 61, kLPF},
    {114, "resources/img/OVER.png", kSwitchFrames, 0, 543, kOversampling},
  };
  for (const Control& c : kControls)
  {
    IBitmap bitmap = pGraphics->LoadIBitmap(c.id, c.file, c.frames);
    if (c.frames == kSwitchFrames) pGraphics->AttachControl(new ISwitchControl(this, c.x, c.y, c.param, &bitmap));
    else pGraphics->AttachControl(new IKnobMultiControl(this, c.x, c.y, c.param, &bitmap));
  }
  pGraphics->AttachControl(new IURLControl(this, IRECT(203, 540, 303, 640), kProductURL));
}
