// IControl and the standard controls: the elements an editor is made of.
//
// Lifecycle. The plug-in constructs a control and hands it to
// IGraphics::AttachControl, which owns it from then on and deletes it with the
// editor (or on IGraphics::Resize). Value and name display controls are
// ordinary attached controls borrowed by pointer.
//
// Values. A control holds its parameter's normalised value 0..1. Values from
// the plug-in or host arrive through SetValueFromPlug (marking the control
// dirty, pushing nothing back); the user's changes end in SetDirty(true), which
// clamps, pushes the value to the plug-in (which informs the host) and marks
// the control dirty. The first value a control receives becomes its default,
// restored by a double click. NaN is refused on both ways in, as the
// parameters refuse it.
//
// Repaint. IGraphics paints dirty controls and then calls SetClean; a change
// also sets the redraw flag, which keeps the control dirty for exactly one more
// pass.
//
// Threading. Editor thread only, as IGraphics.
#ifndef IPLUG_ICONTROL_H_
#define IPLUG_ICONTROL_H_

#include "WDL/heapbuf.h"
#include "WDL/wdlstring.h"
#include "WDL/IPlug/IGraphics.h"

class ITextControl;

static const double kDefaultGearing = 4.0;
// A control's text entry accepts this many characters unless told otherwise.
static const int kDefaultTextEntryLen = 7;

enum EDirection : int
{
  kVertical = 0,
  kHorizontal = 1
};

// The frame (from 1) a strip of nFrames shows for a normalised value:
// trunc((nFrames - 1) value + 0.5) + 1 within 1 .. nFrames; NaN shows frame 1.
int FrameForValue(double value, int nFrames);

class IControl
{
public:
  // The blend weight starts at 1.0; both rectangles are r.
  IControl(IPlugBase* pPlug, const IRECT& r, int paramIdx = -1, int blendMethod = IChannelBlend::kBlendNone);
  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;

  // Virtual operations, in slot order.
  virtual ~IControl() = default;
  // Default: a right-button press prompts for a value (when prompting is on).
  virtual void OnMouseDown(int x, int y, IMouseMod* pMod);
  virtual void OnMouseUp(int /*x*/, int /*y*/, IMouseMod* /*pMod*/) {}
  virtual void OnMouseDrag(int /*x*/, int /*y*/, int /*dX*/, int /*dY*/, IMouseMod* /*pMod*/) {}
  // Default: back to the default value, pushed to the plug-in.
  virtual void OnMouseDblClick(int x, int y, IMouseMod* pMod);
  virtual void OnMouseWheel(int /*x*/, int /*y*/, IMouseMod* /*pMod*/, int /*d*/) {}
  virtual bool OnKeyDown(int /*x*/, int /*y*/, int /*key*/) { return false; }
  virtual void OnMouseOver(int /*x*/, int /*y*/, IMouseMod* /*pMod*/) {}
  virtual void OnMouseOut() {}
  virtual bool Draw(IGraphics* pGraphics) = 0;
  virtual void SetValueFromPlug(double value);
  virtual void SetValueFromUserInput(double value);
  // The text a text entry without a parameter returned.
  virtual void TextFromTextEntry(const char* /*txt*/) {}
  virtual void Hide(bool hide);
  virtual void GrayOut(bool gray);
  virtual bool IsHit(int x, int y) { return mTargetRECT.Contains(x, y); }
  // Clamps the value, marks the control dirty and, with pushParamToPlug, sends
  // the value to the plug-in and refreshes the display controls.
  virtual void SetDirty(bool pushParamToPlug = true);
  virtual void SetClean();
  virtual bool IsDirty() { return mDirty; }
  virtual void OnGUIIdle() {}
  virtual void SetAuxParamValueFromPlug(int auxParamIdx, double value);

  // Prompts for a value (when there is a parameter and prompting is on): over
  // the whole control for parameters with display texts, else in a 40 x 16
  // field centred on it; or over pTextRect.
  void PromptUserInput();
  void PromptUserInput(IRECT* pTextRect);

  // Auxiliary parameters: further parameters the control shows or edits.
  struct AuxParam
  {
    double mValue;
    int mParamIdx;
  };
  // Null outside the list.
  AuxParam* GetAuxParam(int idx);
  // The index of the first record of paramIdx, or -1.
  int AuxParamIdx(int paramIdx);
  void AddAuxParam(int paramIdx);
  int NAuxParams() const { return mAuxParams.GetSize(); }
  void SetAllAuxParamsFromGUI();

  const IRECT& GetRECT() const { return mRECT; }
  const IRECT& GetTargetRECT() const { return mTargetRECT; }
  void SetTargetArea(const IRECT& r) { mTargetRECT = r; }
  int ParamIdx() const { return mParamIdx; }
  double GetValue() const { return mValue; }
  double GetDefaultValue() const { return mDefaultValue; }
  void SetDefaultValue(double value) { mDefaultValue = value; }
  void Clamp(double lo, double hi)
  {
    mClampLo = lo;
    mClampHi = hi;
  }
  double GetClampLo() const { return mClampLo; }
  double GetClampHi() const { return mClampHi; }
  bool IsHidden() const { return mHide; }
  bool IsGrayed() const { return mGrayed; }
  bool GetRedraw() const { return mRedraw; }
  bool GetMOWhenGrayed() const { return mMOWhenGrayed; }
  void SetMOWhenGrayed(bool allow) { mMOWhenGrayed = allow; }
  bool MouseDblAsSingleClick() const { return mDblAsSingleClick; }
  void SetDblAsSingleClick(bool single) { mDblAsSingleClick = single; }
  void DisablePrompt(bool disable) { mDisablePrompt = disable; }
  bool IsPromptDisabled() const { return mDisablePrompt; }
  int GetTextEntryLength() const { return mTextEntryLength; }
  void SetTextEntryLength(int len) { mTextEntryLength = len; }
  IText* GetText() { return &mText; }
  void SetText(const IText* pTxt)
  {
    if (pTxt) mText = *pTxt;
  }
  const IChannelBlend* GetBlend() const { return &mBlend; }
  void SetValDisplayControl(ITextControl* pControl) { mValDisplayControl = pControl; }
  void SetNameDisplayControl(ITextControl* pControl) { mNameDisplayControl = pControl; }
  void SetTooltip(const char* tooltip) { mTooltip.Set(tooltip); }
  const char* GetTooltip() const { return mTooltip.Get(); }
  IPlugBase* GetPlug() const { return mPlug; }
  // The plug-in's editor, or null.
  IGraphics* GetGUI() const;

protected:
  int mTextEntryLength = kDefaultTextEntryLen;
  IText mText;
  IPlugBase* mPlug;
  IRECT mRECT, mTargetRECT;
  int mParamIdx;
  WDL_TypedBuf<AuxParam> mAuxParams{64};
  double mValue = 0.0;
  double mDefaultValue = -1.0;
  double mClampLo = 0.0, mClampHi = 1.0;
  bool mDirty = true;
  bool mHide = false;
  bool mGrayed = false;
  bool mRedraw = false;
  bool mDisablePrompt = true;
  bool mDblAsSingleClick = false;
  bool mMOWhenGrayed = false;
  IChannelBlend mBlend;
  ITextControl* mValDisplayControl = nullptr;
  ITextControl* mNameDisplayControl = nullptr;
  WDL_String mTooltip;
};

// Fills its rectangle with a colour.
class IPanelControl : public IControl
{
public:
  IPanelControl(IPlugBase* pPlug, const IRECT& r, const IColor* pColor);
  bool Draw(IGraphics* pGraphics) override;

protected:
  IColor mColor;
};

// One frame of a strip for the current value; the rectangle is one frame at (x, y).
class IBitmapControl : public IControl
{
public:
  IBitmapControl(IPlugBase* pPlug, int x, int y, int paramIdx, const IBitmap* pBitmap,
                 int blendMethod = IChannelBlend::kBlendNone);
  // A control without a parameter (a background).
  IBitmapControl(IPlugBase* pPlug, int x, int y, const IBitmap* pBitmap,
                 int blendMethod = IChannelBlend::kBlendNone)
    : IBitmapControl(pPlug, x, y, -1, pBitmap, blendMethod)
  {
  }
  bool Draw(IGraphics* pGraphics) override;

protected:
  IBitmap mBitmap;
};

// Each press (either button) and each double click steps to the next frame,
// wrapping from the last to the first.
class ISwitchControl : public IBitmapControl
{
public:
  ISwitchControl(IPlugBase* pPlug, int x, int y, int paramIdx, const IBitmap* pBitmap,
                 int blendMethod = IChannelBlend::kBlendNone)
    : IBitmapControl(pPlug, x, y, paramIdx, pBitmap, blendMethod)
  {
  }
  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  void OnMouseDblClick(int x, int y, IMouseMod* pMod) override;
};

// A switch whose press prompts for the value (a menu of its display texts).
class ISwitchPopUpControl : public ISwitchControl
{
public:
  ISwitchPopUpControl(IPlugBase* pPlug, int x, int y, int paramIdx, const IBitmap* pBitmap,
                      int blendMethod = IChannelBlend::kBlendNone);
  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
};

// A press in zone i of N equal zones selects frame i + 1.
class ISwitchFramesControl : public ISwitchControl
{
public:
  ISwitchFramesControl(IPlugBase* pPlug, int x, int y, int paramIdx, const IBitmap* pBitmap,
                       bool imagesAreHorizontal = false, int blendMethod = IChannelBlend::kBlendNone);
  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  int NZones() const { return mRECTs.GetSize(); }
  IRECT GetZone(int i) const { return (i >= 0 && i < mRECTs.GetSize()) ? mRECTs.Get()[i] : IRECT(); }

protected:
  WDL_TypedBuf<IRECT> mRECTs{64};
};

// An invisible toggle.
class IInvisibleSwitchControl : public IControl
{
public:
  IInvisibleSwitchControl(IPlugBase* pPlug, const IRECT& r, int paramIdx);
  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  bool Draw(IGraphics*) override { return true; }
};

// n buttons of a two-frame bitmap laid out evenly in the rectangle; the one
// for the value shows frame 2.
class IRadioButtonsControl : public IControl
{
public:
  IRadioButtonsControl(IPlugBase* pPlug, const IRECT& r, int paramIdx, int nButtons, const IBitmap* pBitmap,
                       EDirection direction = kVertical, bool reverse = false);
  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  bool Draw(IGraphics* pGraphics) override;
  int NButtons() const { return mRECTs.GetSize(); }
  IRECT GetButton(int i) const { return (i >= 0 && i < mRECTs.GetSize()) ? mRECTs.Get()[i] : IRECT(); }

protected:
  WDL_TypedBuf<IRECT> mRECTs{64};
  IBitmap mBitmap;
};

// A momentary button: on while pressed.
class IContactControl : public ISwitchControl
{
public:
  IContactControl(IPlugBase* pPlug, int x, int y, int paramIdx, const IBitmap* pBitmap,
                  int blendMethod = IChannelBlend::kBlendNone)
    : ISwitchControl(pPlug, x, y, paramIdx, pBitmap, blendMethod)
  {
  }
  void OnMouseUp(int x, int y, IMouseMod* pMod) override;
};

// A handle bitmap moving along a track of len pixels; the handle follows the
// mouse.
class IFaderControl : public IControl
{
public:
  IFaderControl(IPlugBase* pPlug, int x, int y, int len, int paramIdx, const IBitmap* pBitmap,
                EDirection direction = kVertical, bool onlyHandle = false);
  int GetLength() const { return mLen; }
  int GetHandleHeadroom() const { return mHandleHeadroom; }
  // The handle's rectangle for value (negative: the current value).
  IRECT GetHandleRECT(double value = -1.0) const;
  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* pMod) override;
  void OnMouseWheel(int x, int y, IMouseMod* pMod, int d) override;
  bool Draw(IGraphics* pGraphics) override;
  bool IsHit(int x, int y) override;
  virtual void SnapToMouse(int x, int y);

protected:
  int mLen, mHandleHeadroom;
  IBitmap mBitmap;
  EDirection mDirection;
  bool mOnlyHandle;
};

// What every knob does: a drag by the knob's own height (or width) changes the
// value by 1 / gearing, ten times finer with Shift or Control; the wheel steps
// by 0.01 (0.001 fine).
class IKnobControl : public IControl
{
public:
  IKnobControl(IPlugBase* pPlug, const IRECT& r, int paramIdx, EDirection direction = kVertical,
               double gearing = kDefaultGearing)
    : IControl(pPlug, r, paramIdx), mDirection(direction), mGearing(gearing)
  {
  }
  void SetGearing(double gearing) { mGearing = gearing; }
  double GetGearing() const { return mGearing; }
  void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* pMod) override;
  void OnMouseWheel(int x, int y, IMouseMod* pMod, int d) override;

protected:
  EDirection mDirection;
  double mGearing;
};

// A line from the inner to the outer radius at min + value (max - min)
// radians, 0 straight up, clockwise; an outer radius of 0 is half the width.
class IKnobLineControl : public IKnobControl
{
public:
  IKnobLineControl(IPlugBase* pPlug, const IRECT& r, int paramIdx, const IColor* pColor,
                   double minAngle = -0.75 * 3.14159265358979323846, double maxAngle = 0.75 * 3.14159265358979323846,
                   double innerRadius = 0.0, double outerRadius = 0.0, EDirection direction = kVertical,
                   double gearing = kDefaultGearing);
  bool Draw(IGraphics* pGraphics) override;

protected:
  IColor mColor;
  float mMinAngle, mMaxAngle, mInnerRadius, mOuterRadius;
};

// The bitmap rotated about its centre to min + value (max - min) radians.
class IKnobRotaterControl : public IKnobControl
{
public:
  IKnobRotaterControl(IPlugBase* pPlug, int x, int y, int paramIdx, const IBitmap* pBitmap,
                      double minAngle = -0.75 * 3.14159265358979323846,
                      double maxAngle = 0.75 * 3.14159265358979323846, int yOffsetZeroDeg = 0,
                      EDirection direction = kVertical, double gearing = kDefaultGearing);
  bool Draw(IGraphics* pGraphics) override;

protected:
  IBitmap mBitmap;
  double mMinAngle, mMaxAngle;
  int mYOffset;
};

// A film strip: the frame for the value.
class IKnobMultiControl : public IKnobControl
{
public:
  IKnobMultiControl(IPlugBase* pPlug, int x, int y, int paramIdx, const IBitmap* pBitmap,
                    EDirection direction = kVertical, double gearing = kDefaultGearing);
  bool Draw(IGraphics* pGraphics) override;

protected:
  IBitmap mBitmap;
};

// A base image whose alpha comes from a rotated mask, under a rotated top
// image; angles in degrees.
class IKnobRotatingMaskControl : public IKnobControl
{
public:
  IKnobRotatingMaskControl(IPlugBase* pPlug, int x, int y, int paramIdx, const IBitmap* pBase,
                           const IBitmap* pMask, const IBitmap* pTop, double minAngle = -135.0,
                           double maxAngle = 135.0, EDirection direction = kVertical,
                           double gearing = kDefaultGearing);
  bool Draw(IGraphics* pGraphics) override;

protected:
  IBitmap mBase, mMask, mTop;
  double mMinAngle, mMaxAngle;
};

// A switch that draws only while on; while off it is hit only inside its
// target area.
class IBitmapOverlayControl : public ISwitchControl
{
public:
  IBitmapOverlayControl(IPlugBase* pPlug, int x, int y, int paramIdx, const IBitmap* pBitmap,
                        const IRECT& targetArea)
    : ISwitchControl(pPlug, x, y, paramIdx, pBitmap), mTargetArea(targetArea)
  {
  }
  IBitmapOverlayControl(IPlugBase* pPlug, int x, int y, const IBitmap* pBitmap, const IRECT& targetArea)
    : IBitmapOverlayControl(pPlug, x, y, -1, pBitmap, targetArea)
  {
  }
  bool Draw(IGraphics* pGraphics) override;

protected:
  IRECT mTargetArea;
};

// A string drawn in a text style.
class ITextControl : public IControl
{
public:
  ITextControl(IPlugBase* pPlug, const IRECT& r, const IText* pText, const char* str = "");
  // Takes str when it differs from the current string, marking the control dirty.
  void SetTextFromPlug(const char* str);
  void ClearTextFromPlug() { SetTextFromPlug(""); }
  const char* GetTextForPlug() const { return mStr.Get(); }
  bool Draw(IGraphics* pGraphics) override;

protected:
  WDL_String mStr;
};

// The parameter's display text (and label) as a string; a press or double
// click prompts for a value.
class ICaptionControl : public ITextControl
{
public:
  ICaptionControl(IPlugBase* pPlug, const IRECT& r, int paramIdx, const IText* pText, bool showParamLabel = true);
  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  void OnMouseDblClick(int x, int y, IMouseMod* pMod) override;
  bool Draw(IGraphics* pGraphics) override;

protected:
  bool mShowParamLabel;
};

// An invisible hot spot that opens a web page (or a backup page when the first
// cannot be opened). It changes no parameter.
class IURLControl : public IControl
{
public:
  static const int kMaxURLLen = 256;
  static const int kMaxErrMsgLen = 1024;

  // Longer strings are cut to their buffers; null is empty.
  IURLControl(IPlugBase* pPlug, const IRECT& r, const char* url, const char* backupURL = nullptr,
              const char* errMsgOnFailure = nullptr);
  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  bool Draw(IGraphics*) override { return true; }
  const char* GetURL() const { return mURL; }
  const char* GetBackupURL() const { return mBackupURL; }
  const char* GetErrMsg() const { return mErrMsg; }

protected:
  char mURL[kMaxURLLen];
  char mBackupURL[kMaxURLLen];
  char mErrMsg[kMaxErrMsgLen];
};

// A press runs the file dialog; the value toggles at every selection so that
// the plug-in notices it, and the chosen file is read with
// GetLastSelectedFileForPlug. The bitmap shows while the dialog is open.
class IFileSelectorControl : public IControl
{
public:
  enum EFileSelectorState
  {
    kFSNone = 0,
    kFSSelecting = 1,
    kFSDone = 2
  };

  IFileSelectorControl(IPlugBase* pPlug, const IRECT& r, int paramIdx, const IBitmap* pBitmap,
                       EFileAction action, const char* dir = "", const char* extensions = "");
  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  bool Draw(IGraphics* pGraphics) override;
  // Also true once after a selection ended.
  bool IsDirty() override;
  void GetLastSelectedFileForPlug(WDL_String* pStr) const;
  void SetLastSelectedFileFromPlug(const char* file);
  int GetState() const { return mState; }

protected:
  IBitmap mBitmap;
  WDL_String mDir, mFile, mExtensions;
  EFileAction mFileAction;
  int mState = kFSNone;
};

#endif  // IPLUG_ICONTROL_H_
