#include "WDL/IPlug/IControl.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "WDL/IPlug/IParam.h"
#include "WDL/IPlug/IPlugBase.h"

namespace {

// Wheel steps: coarse, and fine with Shift or Control.
const double kWheelStep = 0.01;
const double kWheelStepFine = 0.001;
// Shift or Control make drags this much finer.
const double kFineGearingFactor = 10.0;
// A switch value past this wraps to 0 (a little headroom for 1/(N-1) sums).
const double kSwitchWrap = 1.001;

void CopyBounded(char* dest, const char* src, int size)
{
  dest[0] = 0;
  if (src) std::snprintf(dest, (size_t)size, "%s", src);
}

bool Fine(const IMouseMod* pMod)
{
  return pMod && (pMod->S || pMod->C);
}

// The first of n zones containing (x, y) selects the value index / (n - 1).
// Fewer than two zones have nothing to tell apart (and would divide by zero).
void SelectZone(const WDL_TypedBuf<IRECT>& zones, int x, int y, double* pValue)
{
  const int n = zones.GetSize();
  if (n < 2) return;
  for (int i = 0; i < n; ++i)
  {
    if (zones.Get()[i].Contains(x, y))
    {
      *pValue = (double)i / (double)(n - 1);
      return;
    }
  }
}

}  // namespace

int FrameForValue(double value, int nFrames)
{
  if (nFrames < 2 || std::isnan(value)) return 1;
  // i = trunc((N - 1) v + 0.5); frame i + 1 within 1 .. N. Compared in double
  // so that huge values never reach an int conversion.
  const double i = std::trunc((double)(nFrames - 1) * value + 0.5);
  if (i < 0.0) return 1;
  if (i < (double)nFrames) return (int)i + 1;
  return nFrames;
}

// ---------------------------------------------------------------------------
// IControl

IControl::IControl(IPlugBase* pPlug, const IRECT& r, int paramIdx, int blendMethod)
  : mPlug(pPlug), mRECT(r), mTargetRECT(r), mParamIdx(paramIdx), mBlend(blendMethod, 1.0f)
{
}

IGraphics* IControl::GetGUI() const
{
  return mPlug ? mPlug->GetGUI() : nullptr;
}

void IControl::OnMouseDown(int /*x*/, int /*y*/, IMouseMod* pMod)
{
  if (pMod && pMod->R) PromptUserInput();
}

void IControl::OnMouseDblClick(int /*x*/, int /*y*/, IMouseMod* /*pMod*/)
{
  if (mDefaultValue >= 0.0)
  {
    mValue = mDefaultValue;
    SetDirty();
  }
}

void IControl::SetValueFromPlug(double value)
{
  if (std::isnan(value)) return;  // a parameter refuses NaN; so does its control
  if (mDefaultValue < 0.0)
  {
    mValue = mDefaultValue = value;
    return;
  }
  if (mValue != value)
  {
    mValue = value;
    SetDirty(false);
    mRedraw = true;
  }
}

void IControl::SetValueFromUserInput(double value)
{
  if (!std::isnan(value) && mValue != value)
  {
    mValue = value;
    SetDirty();
    mRedraw = true;
  }
}

void IControl::Hide(bool hide)
{
  mHide = hide;
  mRedraw = true;
  SetDirty(false);
}

void IControl::GrayOut(bool gray)
{
  mGrayed = gray;
  mBlend.mWeight = gray ? 0.25f : 1.0f;
  SetDirty(false);
}

void IControl::SetDirty(bool pushParamToPlug)
{
  // NaN counts as below the range, so no NaN ever reaches the plug-in or host.
  if (!(mValue >= mClampLo)) mValue = mClampLo;
  else if (mValue > mClampHi) mValue = mClampHi;
  mDirty = true;
  if (!pushParamToPlug || !mPlug || mParamIdx < 0) return;

  mPlug->SetParameterFromGUI(mParamIdx, mValue);
  IParam* pParam = mPlug->GetParam(mParamIdx);
  if (!pParam) return;
  if (mValDisplayControl)
  {
    char display[kMaxParamDisplayLen];
    pParam->GetDisplayForHost(pParam->Value(), false, display, true);
    char text[kMaxParamDisplayLen * 2 + 2];
    std::snprintf(text, sizeof(text), "%s %s", display, pParam->GetLabelForHost());
    mValDisplayControl->SetTextFromPlug(text);
  }
  if (mNameDisplayControl) mNameDisplayControl->SetTextFromPlug(pParam->GetNameForHost());
}

void IControl::SetClean()
{
  mDirty = mRedraw;
  mRedraw = false;
}

void IControl::PromptUserInput()
{
  if (mParamIdx < 0 || mDisablePrompt || !mPlug) return;
  IParam* pParam = mPlug->GetParam(mParamIdx);
  if (!pParam) return;
  IRECT r = mRECT;
  if (!pParam->GetNDisplayTexts())
  {
    // A 40 x 16 field centred on the control, centre truncated.
    const int cX = (int)mRECT.MW();
    const int cY = (int)mRECT.MH();
    r = IRECT(cX - 20, cY - 8, cX + 20, cY + 8);
  }
  if (IGraphics* pGraphics = GetGUI()) pGraphics->PromptUserInput(this, pParam, &r);
  mRedraw = true;
}

void IControl::PromptUserInput(IRECT* pTextRect)
{
  if (mParamIdx < 0 || mDisablePrompt || !mPlug) return;
  IParam* pParam = mPlug->GetParam(mParamIdx);
  if (!pParam) return;
  if (IGraphics* pGraphics = GetGUI()) pGraphics->PromptUserInput(this, pParam, pTextRect);
  mRedraw = true;
}

IControl::AuxParam* IControl::GetAuxParam(int idx)
{
  return (idx >= 0 && idx < mAuxParams.GetSize()) ? mAuxParams.Get() + idx : nullptr;
}

int IControl::AuxParamIdx(int paramIdx)
{
  for (int i = 0; i < mAuxParams.GetSize(); ++i)
    if (mAuxParams.Get()[i].mParamIdx == paramIdx) return i;
  return -1;
}

void IControl::AddAuxParam(int paramIdx)
{
  mAuxParams.Add(AuxParam{0.0, paramIdx});
}

void IControl::SetAuxParamValueFromPlug(int auxParamIdx, double value)
{
  AuxParam* pAux = GetAuxParam(auxParamIdx);
  if (!pAux || std::isnan(value) || pAux->mValue == value) return;
  pAux->mValue = value;
  SetDirty(false);
  mRedraw = true;
}

void IControl::SetAllAuxParamsFromGUI()
{
  if (!mPlug) return;
  for (int i = 0; i < mAuxParams.GetSize(); ++i)
  {
    const AuxParam& aux = mAuxParams.Get()[i];
    mPlug->SetParameterFromGUI(aux.mParamIdx, aux.mValue);
  }
}

// ---------------------------------------------------------------------------
// Panels and bitmaps

IPanelControl::IPanelControl(IPlugBase* pPlug, const IRECT& r, const IColor* pColor)
  : IControl(pPlug, r), mColor(pColor ? *pColor : COLOR_BLACK)
{
}

bool IPanelControl::Draw(IGraphics* pGraphics)
{
  pGraphics->FillIRect(&mColor, &mRECT, &mBlend);
  return true;
}

namespace {

IRECT FrameRect(int x, int y, const IBitmap* pBitmap)
{
  return pBitmap ? IRECT(x, y, x + pBitmap->frameWidth(), y + pBitmap->frameHeight()) : IRECT();
}

}  // namespace

IBitmapControl::IBitmapControl(IPlugBase* pPlug, int x, int y, int paramIdx, const IBitmap* pBitmap,
                               int blendMethod)
  : IControl(pPlug, FrameRect(x, y, pBitmap), paramIdx, blendMethod), mBitmap(pBitmap ? *pBitmap : IBitmap())
{
}

bool IBitmapControl::Draw(IGraphics* pGraphics)
{
  return pGraphics->DrawBitmap(&mBitmap, &mRECT, FrameForValue(mValue, mBitmap.N), &mBlend);
}

void ISwitchControl::OnMouseDown(int /*x*/, int /*y*/, IMouseMod* /*pMod*/)
{
  mValue += mBitmap.N >= 2 ? 1.0 / (double)(mBitmap.N - 1) : 1.0;
  if (mValue > kSwitchWrap) mValue = 0.0;
  SetDirty();
}

void ISwitchControl::OnMouseDblClick(int x, int y, IMouseMod* pMod)
{
  ISwitchControl::OnMouseDown(x, y, pMod);
}

ISwitchPopUpControl::ISwitchPopUpControl(IPlugBase* pPlug, int x, int y, int paramIdx, const IBitmap* pBitmap,
                                         int blendMethod)
  : ISwitchControl(pPlug, x, y, paramIdx, pBitmap, blendMethod)
{
  mDisablePrompt = false;  // its press is a prompt
}

void ISwitchPopUpControl::OnMouseDown(int /*x*/, int /*y*/, IMouseMod* /*pMod*/)
{
  PromptUserInput();
  SetDirty();
}

ISwitchFramesControl::ISwitchFramesControl(IPlugBase* pPlug, int x, int y, int paramIdx, const IBitmap* pBitmap,
                                           bool imagesAreHorizontal, int blendMethod)
  : ISwitchControl(pPlug, x, y, paramIdx, pBitmap, blendMethod)
{
  mDisablePrompt = false;
  const int n = mBitmap.N;
  // Zone i starts at trunc(i step) and ends at trunc(start + step), step in
  // single precision.
  const float step = (float)(imagesAreHorizontal ? mRECT.W() : mRECT.H()) / (float)n;
  for (int i = 0; i < n; ++i)
  {
    const int start = (int)((float)i * step);
    const int end = (int)((float)start + step);
    const IRECT zone = imagesAreHorizontal ? IRECT(mRECT.L + start, mRECT.T, mRECT.L + end, mRECT.B)
                                           : IRECT(mRECT.L, mRECT.T + start, mRECT.R, mRECT.T + end);
    mRECTs.Add(zone);
  }
}

void ISwitchFramesControl::OnMouseDown(int x, int y, IMouseMod* /*pMod*/)
{
  SelectZone(mRECTs, x, y, &mValue);
  SetDirty();
}

IInvisibleSwitchControl::IInvisibleSwitchControl(IPlugBase* pPlug, const IRECT& r, int paramIdx)
  : IControl(pPlug, r, paramIdx)
{
}

void IInvisibleSwitchControl::OnMouseDown(int /*x*/, int /*y*/, IMouseMod* /*pMod*/)
{
  mValue = mValue < 0.5 ? 1.0 : 0.0;
  SetDirty();
}

IRadioButtonsControl::IRadioButtonsControl(IPlugBase* pPlug, const IRECT& r, int paramIdx, int nButtons,
                                           const IBitmap* pBitmap, EDirection direction, bool reverse)
  : IControl(pPlug, r, paramIdx), mBitmap(pBitmap ? *pBitmap : IBitmap())
{
  const int n = nButtons < 1 ? 1 : nButtons;
  const int w = mBitmap.W;
  const int h = (int)((double)mBitmap.H / (double)mBitmap.N);
  const bool horizontal = direction == kHorizontal;
  const int size = horizontal ? w : h;
  // The gap between buttons; a single button has none.
  const int gap = n > 1 ? (int)((double)((horizontal ? r.W() : r.H()) - size * n) / (double)(n - 1)) : 0;
  // Reversed, the buttons keep the same places and count from the far end, so
  // that all of them stay inside the rectangle.
  for (int i = 0; i < n; ++i)
  {
    const int slot = reverse ? n - 1 - i : i;
    const int offset = slot * (size + gap);
    mRECTs.Add(horizontal ? IRECT(r.L + offset, r.T, r.L + offset + w, r.T + h)
                          : IRECT(r.L, r.T + offset, r.L + w, r.T + offset + h));
  }
}

void IRadioButtonsControl::OnMouseDown(int x, int y, IMouseMod* pMod)
{
  if (pMod && pMod->R)
  {
    PromptUserInput();
    return;
  }
  SelectZone(mRECTs, x, y, &mValue);
  SetDirty();
}

bool IRadioButtonsControl::Draw(IGraphics* pGraphics)
{
  const int n = mRECTs.GetSize();
  const int selected = FrameForValue(mValue, n) - 1;
  for (int i = 0; i < n; ++i) pGraphics->DrawBitmap(&mBitmap, mRECTs.Get() + i, i == selected ? 2 : 1, &mBlend);
  return true;
}

void IContactControl::OnMouseUp(int /*x*/, int /*y*/, IMouseMod* /*pMod*/)
{
  mValue = 0.0;
  SetDirty();
}

// ---------------------------------------------------------------------------
// Faders and knobs

IFaderControl::IFaderControl(IPlugBase* pPlug, int x, int y, int len, int paramIdx, const IBitmap* pBitmap,
                             EDirection direction, bool onlyHandle)
  : IControl(pPlug, IRECT(), paramIdx), mLen(len), mBitmap(pBitmap ? *pBitmap : IBitmap()),
    mDirection(direction), mOnlyHandle(onlyHandle)
{
  if (direction == kVertical)
  {
    mHandleHeadroom = mBitmap.H;
    mRECT = mTargetRECT = IRECT(x, y, x + mBitmap.W, y + len);
  }
  else
  {
    mHandleHeadroom = mBitmap.W;
    mRECT = mTargetRECT = IRECT(x, y, x + len, y + mBitmap.H);
  }
}

IRECT IFaderControl::GetHandleRECT(double value) const
{
  if (value < 0.0) value = mValue;
  const double travel = (double)(mLen - mHandleHeadroom);
  if (mDirection == kVertical)
  {
    const int offset = (int)(travel * (1.0 - value));
    return IRECT(mRECT.L, mRECT.T + offset, mRECT.L + mBitmap.W, mRECT.T + offset + mBitmap.H);
  }
  const int offset = (int)(value * travel);
  return IRECT(mRECT.L + offset, mRECT.T, mRECT.L + offset + mBitmap.W, mRECT.T + mBitmap.H);
}

void IFaderControl::SnapToMouse(int x, int y)
{
  // A handle as long as the track leaves nothing to travel.
  const int travel = mLen - mHandleHeadroom;
  if (travel > 0)
  {
    if (mDirection == kVertical)
      mValue = 1.0 - (double)(y - mRECT.T - mHandleHeadroom / 2) / (double)travel;
    else
      mValue = (double)(x - mRECT.L - mHandleHeadroom / 2) / (double)travel;
  }
  SetDirty();
}

void IFaderControl::OnMouseDown(int x, int y, IMouseMod* pMod)
{
  if (pMod && pMod->R)
  {
    PromptUserInput();
    return;
  }
  SnapToMouse(x, y);
}

void IFaderControl::OnMouseDrag(int x, int y, int /*dX*/, int /*dY*/, IMouseMod* /*pMod*/)
{
  SnapToMouse(x, y);
}

void IFaderControl::OnMouseWheel(int /*x*/, int /*y*/, IMouseMod* pMod, int d)
{
  mValue += (Fine(pMod) ? kWheelStepFine : kWheelStep) * d;
  SetDirty();
}

bool IFaderControl::Draw(IGraphics* pGraphics)
{
  IRECT r = GetHandleRECT();
  return pGraphics->DrawBitmap(&mBitmap, &r, 1, &mBlend);
}

bool IFaderControl::IsHit(int x, int y)
{
  return mOnlyHandle ? GetHandleRECT().Contains(x, y) : mTargetRECT.Contains(x, y);
}

void IKnobControl::OnMouseDrag(int /*x*/, int /*y*/, int dX, int dY, IMouseMod* pMod)
{
  double gearing = mGearing;
  if (Fine(pMod)) gearing *= kFineGearingFactor;
  // Moving up (dY < 0) by the control's height adds 1 / gearing. A zero-sized
  // control has no scale to move by.
  const int extent = mDirection == kVertical ? mRECT.T - mRECT.B : mRECT.R - mRECT.L;
  if (extent != 0 && gearing != 0.0)
  {
    const double d = mDirection == kVertical ? (double)dY : (double)dX;
    mValue += (d / (double)extent) / gearing;
  }
  SetDirty();
}

void IKnobControl::OnMouseWheel(int /*x*/, int /*y*/, IMouseMod* pMod, int d)
{
  mValue += (Fine(pMod) ? kWheelStepFine : kWheelStep) * d;
  SetDirty();
}

IKnobRotaterControl::IKnobRotaterControl(IPlugBase* pPlug, int x, int y, int paramIdx, const IBitmap* pBitmap,
                                         double minAngle, double maxAngle, int yOffsetZeroDeg,
                                         EDirection direction, double gearing)
  : IKnobControl(pPlug, FrameRect(x, y, pBitmap), paramIdx, direction, gearing),
    mBitmap(pBitmap ? *pBitmap : IBitmap()), mMinAngle(minAngle), mMaxAngle(maxAngle), mYOffset(yOffsetZeroDeg)
{
}

bool IKnobRotaterControl::Draw(IGraphics* pGraphics)
{
  const int cX = (mRECT.L + mRECT.R) / 2;
  const int cY = (mRECT.T + mRECT.B) / 2;
  const double angle = mMinAngle + mValue * (mMaxAngle - mMinAngle);
  return pGraphics->DrawRotatedBitmap(&mBitmap, cX, cY, angle, mYOffset, &mBlend);
}

IKnobMultiControl::IKnobMultiControl(IPlugBase* pPlug, int x, int y, int paramIdx, const IBitmap* pBitmap,
                                     EDirection direction, double gearing)
  : IKnobControl(pPlug, FrameRect(x, y, pBitmap), paramIdx, direction, gearing),
    mBitmap(pBitmap ? *pBitmap : IBitmap())
{
}

bool IKnobMultiControl::Draw(IGraphics* pGraphics)
{
  return pGraphics->DrawBitmap(&mBitmap, &mRECT, FrameForValue(mValue, mBitmap.N), &mBlend);
}

IKnobRotatingMaskControl::IKnobRotatingMaskControl(IPlugBase* pPlug, int x, int y, int paramIdx,
                                                   const IBitmap* pBase, const IBitmap* pMask, const IBitmap* pTop,
                                                   double minAngle, double maxAngle, EDirection direction,
                                                   double gearing)
  : IKnobControl(pPlug, pBase ? IRECT(x, y, x + pBase->W, y + pBase->H) : IRECT(), paramIdx, direction, gearing),
    mBase(pBase ? *pBase : IBitmap()), mMask(pMask ? *pMask : IBitmap()), mTop(pTop ? *pTop : IBitmap()),
    mMinAngle(minAngle), mMaxAngle(maxAngle)
{
}

bool IKnobRotatingMaskControl::Draw(IGraphics* pGraphics)
{
  const double angle = mMinAngle + mValue * (mMaxAngle - mMinAngle);
  return pGraphics->DrawRotatedMask(&mBase, &mMask, &mTop, mRECT.L, mRECT.T, angle, &mBlend);
}

bool IBitmapOverlayControl::Draw(IGraphics* pGraphics)
{
  if (mValue < 0.5)
  {
    mTargetRECT = mTargetArea;
    return true;
  }
  mTargetRECT = mRECT;
  return IBitmapControl::Draw(pGraphics);
}

// ---------------------------------------------------------------------------
// Text

ITextControl::ITextControl(IPlugBase* pPlug, const IRECT& r, const IText* pText, const char* str)
  : IControl(pPlug, r), mStr(str)
{
  SetText(pText);
}

void ITextControl::SetTextFromPlug(const char* str)
{
  if (!str) str = "";
  if (std::strcmp(mStr.Get(), str))
  {
    SetDirty(false);
    mStr.Set(str);
  }
}

bool ITextControl::Draw(IGraphics* pGraphics)
{
  if (!mStr.GetLength()) return true;
  return pGraphics->DrawIText(&mText, mStr.Get(), &mRECT);
}

ICaptionControl::ICaptionControl(IPlugBase* pPlug, const IRECT& r, int paramIdx, const IText* pText,
                                 bool showParamLabel)
  : ITextControl(pPlug, r, pText), mShowParamLabel(showParamLabel)
{
  mParamIdx = paramIdx;
}

void ICaptionControl::OnMouseDown(int /*x*/, int /*y*/, IMouseMod* pMod)
{
  if (pMod && (pMod->L || pMod->R)) PromptUserInput();
}

void ICaptionControl::OnMouseDblClick(int /*x*/, int /*y*/, IMouseMod* /*pMod*/)
{
  PromptUserInput();
}

bool ICaptionControl::Draw(IGraphics* pGraphics)
{
  IParam* pParam = mPlug ? mPlug->GetParam(mParamIdx) : nullptr;
  if (pParam)
  {
    char display[kMaxParamDisplayLen];
    pParam->GetDisplayForHost(pParam->Value(), false, display, true);
    if (mShowParamLabel)
    {
      char text[kMaxParamDisplayLen * 2 + 2];
      std::snprintf(text, sizeof(text), "%s %s", display, pParam->GetLabelForHost());
      mStr.Set(text);
    }
    else
    {
      mStr.Set(display);
    }
  }
  return ITextControl::Draw(pGraphics);
}

IURLControl::IURLControl(IPlugBase* pPlug, const IRECT& r, const char* url, const char* backupURL,
                         const char* errMsgOnFailure)
  : IControl(pPlug, r)
{
  CopyBounded(mURL, url, kMaxURLLen);
  CopyBounded(mBackupURL, backupURL, kMaxURLLen);
  CopyBounded(mErrMsg, errMsgOnFailure, kMaxErrMsgLen);
}

void IURLControl::OnMouseDown(int /*x*/, int /*y*/, IMouseMod* /*pMod*/)
{
  IGraphics* pGraphics = GetGUI();
  if (!pGraphics) return;
  if (mURL[0] && pGraphics->OpenURL(mURL, mErrMsg, nullptr, nullptr)) return;
  if (mBackupURL[0]) pGraphics->OpenURL(mBackupURL, mErrMsg, nullptr, nullptr);
}

// ---------------------------------------------------------------------------
// File selector

IFileSelectorControl::IFileSelectorControl(IPlugBase* pPlug, const IRECT& r, int paramIdx, const IBitmap* pBitmap,
                                           EFileAction action, const char* dir, const char* extensions)
  : IControl(pPlug, r, paramIdx), mBitmap(pBitmap ? *pBitmap : IBitmap()), mDir(dir), mExtensions(extensions),
    mFileAction(action)
{
}

void IFileSelectorControl::OnMouseDown(int /*x*/, int /*y*/, IMouseMod* /*pMod*/)
{
  IGraphics* pGraphics = GetGUI();
  if (!pGraphics) return;
  mState = kFSSelecting;
  SetDirty(false);
  pGraphics->PromptForFile(&mFile, mFileAction, &mDir, mExtensions.Get());
  mValue += 1.0;
  if (mValue > 1.0) mValue = 0.0;
  mState = kFSDone;
  SetDirty();
}

bool IFileSelectorControl::Draw(IGraphics* pGraphics)
{
  if (mState == kFSSelecting) pGraphics->DrawBitmap(&mBitmap, &mRECT, 0, 0, nullptr);
  return true;
}

bool IFileSelectorControl::IsDirty()
{
  if (mDirty) return true;
  if (mState == kFSDone)
  {
    mState = kFSNone;
    return true;
  }
  return false;
}

void IFileSelectorControl::GetLastSelectedFileForPlug(WDL_String* pStr) const
{
  if (pStr) pStr->Set(mFile.Get());
}

void IFileSelectorControl::SetLastSelectedFileFromPlug(const char* file)
{
  mFile.Set(file);
}
