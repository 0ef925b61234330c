// Shared pieces of the editor tests: a plug-in core that records the host
// notifications, a control that records every call it receives, frame strips
// whose frames are told apart by colour, and an editor fixture.
#ifndef TESTS_EDITOR_SUPPORT_EDITOR_TEST_UTIL_H_
#define TESTS_EDITOR_SUPPORT_EDITOR_TEST_UTIL_H_

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "IGraphicsMemory.h"
#include "WDL/IPlug/IControl.h"
#include "WDL/IPlug/IPlugBase.h"
#include "WDL/lice/lice.h"
#include "WDL/lice/lice_text.h"

namespace editor_test {

// A host notification: 'B' begin edit, 'A' automate, 'E' end edit.
struct HostEvent
{
  char mKind;
  int mIdx;
  double mValue;
  bool operator==(const HostEvent& o) const { return mKind == o.mKind && mIdx == o.mIdx && mValue == o.mValue; }
};
std::string ToString(const std::vector<HostEvent>& events);

// The smallest core adapter: parameters are doubles 0..1 except the last
// nUntyped, which a test sets up itself (a parameter's type is fixed by its
// first Init); host notifications are recorded.
class RecordingPlug : public IPlugBase
{
public:
  explicit RecordingPlug(int nParams = 8, int nUntyped = 0);

  void BeginInformHostOfParamChange(int idx) override { mEvents.push_back({'B', idx, 0.0}); }
  void InformHostOfParamChange(int idx, double value) override { mEvents.push_back({'A', idx, value}); }
  void EndInformHostOfParamChange(int idx) override { mEvents.push_back({'E', idx, 0.0}); }
  void InformHostOfProgramChange() override {}
  int GetSamplePos() override { return 0; }
  double GetTempo() override { return 0.0; }
  void GetTimeSig(int* n, int* d) override { *n = *d = 0; }
  void GetTime(ITimeInfo*) override {}
  void ResizeGraphics(int w, int h) override { mResizes.emplace_back(w, h); }
  bool SendMidiMsg(IMidiMsg*) override { return false; }

  // Begins and ends pair up, in order, and every automate lies inside a pair.
  bool GesturesBalanced() const;

  std::vector<HostEvent> mEvents;
  std::vector<std::pair<int, int>> mResizes;
};

// Every call a control receives, as text ("down 10 20 L", "drag 1 -2", ...).
struct CallLog
{
  std::vector<std::string> mCalls;
  std::string Last() const { return mCalls.empty() ? "" : mCalls.back(); }
  void Clear() { mCalls.clear(); }
};

class ProbeControl : public IControl
{
public:
  ProbeControl(IPlugBase* pPlug, const IRECT& r, int paramIdx, const char* name, CallLog* pLog)
    : IControl(pPlug, r, paramIdx), mName(name), mLog(pLog)
  {
  }
  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  void OnMouseUp(int x, int y, IMouseMod* pMod) override;
  void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* pMod) override;
  void OnMouseDblClick(int x, int y, IMouseMod* pMod) override;
  void OnMouseWheel(int x, int y, IMouseMod* pMod, int d) override;
  bool OnKeyDown(int x, int y, int key) override;
  void OnMouseOver(int x, int y, IMouseMod* pMod) override;
  void OnMouseOut() override;
  bool Draw(IGraphics* pGraphics) override;
  void OnGUIIdle() override { Log("idle"); }
  void TextFromTextEntry(const char* txt) override { Log(std::string("text ") + txt); }

  bool mKeyResult = true;
  // Passes presses and double clicks on to the base class too.
  bool mCallBase = false;

private:
  void Log(const std::string& call);

  std::string mName;
  CallLog* mLog;
};

// A font that draws nothing, for the font cache's bookkeeping.
struct NullFont : LICE_IFont
{
  void SetFromHFont(HFONT, int) override {}
  LICE_pixel SetTextColor(LICE_pixel) override { return 0; }
  LICE_pixel SetBkColor(LICE_pixel) override { return 0; }
  LICE_pixel SetEffectColor(LICE_pixel) override { return 0; }
  int SetBkMode(int) override { return 0; }
  void SetCombineMode(int, float) override {}
  int DrawText(LICE_IBitmap*, const char*, int, RECT*, unsigned int) override { return 0; }
  LICE_pixel GetTextColor() override { return 0; }
  HFONT GetHFont() override { return nullptr; }
  int GetLineHeight() override { return 0; }
};

// Frame k (from 1) of a strip is filled with FrameColor(k), opaque and distinct.
unsigned int FrameColor(int frame);
// The frame whose colour pixel shows, or 0 for none.
int FrameOfColor(unsigned int pixel);
std::unique_ptr<LICE_MemBitmap> MakeStrip(int frameW, int frameH, int nFrames, bool horizontal = false);

// A plug-in with its memory editor. Attach() hands the editor to the plug-in
// (pushing the parameter values) and opens its window.
struct Editor
{
  explicit Editor(int w = 300, int h = 570, int nParams = 8, int nUntyped = 0)
    : mPlug(nParams, nUntyped), mGraphics(new IGraphicsMemory(&mPlug, w, h))
  {
  }
  ~Editor()
  {
    if (mPlug.GetGUI() != mGraphics) delete mGraphics;
  }
  Editor(const Editor&) = delete;
  Editor& operator=(const Editor&) = delete;
  void Attach()
  {
    mPlug.AttachGraphics(mGraphics);
    mGraphics->OpenWindow(nullptr);
  }
  template <class T>
  T* Add(T* pControl)
  {
    mGraphics->AttachControl(pControl);
    return pControl;
  }

  RecordingPlug mPlug;
  IGraphicsMemory* mGraphics;  // owned by mPlug once attached
};

// An attached editor whose whole surface is the draw rectangle, cleared to
// one colour: for calling drawing operations directly.
struct Surface
{
  explicit Surface(int w = 100, int h = 100, unsigned int clearTo = 0) : mEditor(w, h)
  {
    mEditor.Attach();
    g = mEditor.mGraphics;
    g->SetDrawRect(IRECT(0, 0, w, h));
    LICE_Clear(Bits(), clearTo);
  }
  LICE_IBitmap* Bits() { return g->GetDrawBitmap(); }
  unsigned int At(int x, int y) { return LICE_GetPixel(Bits(), x, y); }

  Editor mEditor;
  IGraphicsMemory* g;
};

}  // namespace editor_test

#endif  // TESTS_EDITOR_SUPPORT_EDITOR_TEST_UTIL_H_
