// The control registry, event routing, repaint rules, prompts and value flow
// of IGraphics. Drawing services and the caches are in IGraphicsDraw.cpp.
#include "WDL/IPlug/IGraphics.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "WDL/IPlug/IControl.h"
#include "WDL/IPlug/IParam.h"
#include "WDL/IPlug/IPlugBase.h"
#include "WDL/IPlug/IPlugStructs.h"
#include "WDL/IPlug/IPopupMenu.h"
#include "WDL/lice/lice.h"

namespace {

const int kDefaultFPS = 25;

// A null modifier record reads as no buttons and no modifiers.
IMouseMod* ModOrNone(IMouseMod* pMod, IMouseMod* pNone)
{
  return pMod ? pMod : pNone;
}

}  // namespace

IGraphics::IGraphics(IPlugBase* pPlug, int w, int h, int fps)
  : mPlug(pPlug), mWidth(w), mHeight(h), mFPS(fps > 0 ? fps : kDefaultFPS)
{
}

IGraphics::~IGraphics()
{
  delete mKeyCatcher;
  mKeyCatcher = nullptr;
  DeleteControls();
  DeleteBitmaps();
}

void IGraphics::DeleteControls()
{
  mControls.Empty(true);
}

void IGraphics::DeleteBitmaps()
{
  delete mDrawBitmap;
  mDrawBitmap = nullptr;
  delete mTmpBitmap;
  mTmpBitmap = nullptr;
}

// ---------------------------------------------------------------------------
// Registry

int IGraphics::AttachControl(IControl* pControl)
{
  if (!pControl) return -1;
  if (!mControls.Add(pControl))
  {
    delete pControl;
    return -1;
  }
  return mControls.GetSize() - 1;
}

void IGraphics::AttachKeyCatcher(IControl* pControl)
{
  // The editor owns its key catcher: one it replaces would otherwise leak.
  if (mKeyCatcher != pControl) delete mKeyCatcher;
  mKeyCatcher = pControl;
}

void IGraphics::AttachBackground(int ID, const char* name)
{
  IBitmap bg = LoadIBitmap(ID, name, 1, false);
  IControl* pBG = new IBitmapControl(mPlug, 0, 0, -1, &bg, IChannelBlend::kBlendClobber);
  if (!mControls.Insert(0, pBG)) delete pBG;
}

void IGraphics::AttachPanelBackground(const IColor* pColor)
{
  if (!pColor) return;
  IControl* pBG = new IPanelControl(mPlug, IRECT(0, 0, mWidth, mHeight), pColor);
  if (!mControls.Insert(0, pBG)) delete pBG;
}

void IGraphics::HideControl(int paramIdx, bool hide)
{
  for (int i = 0; i < mControls.GetSize(); ++i)
  {
    IControl* pControl = mControls.Get(i);
    if (pControl->ParamIdx() == paramIdx) pControl->Hide(hide);
  }
}

void IGraphics::GrayOutControl(int paramIdx, bool gray)
{
  for (int i = 0; i < mControls.GetSize(); ++i)
  {
    IControl* pControl = mControls.Get(i);
    if (pControl->ParamIdx() == paramIdx) pControl->GrayOut(gray);
  }
}

void IGraphics::ClampControl(int paramIdx, double lo, double hi, bool normalized)
{
  if (!normalized)
  {
    IParam* pParam = mPlug ? mPlug->GetParam(paramIdx) : nullptr;
    if (!pParam) return;
    lo = pParam->GetNormalized(lo);
    hi = pParam->GetNormalized(hi);
  }
  // A control's value travels to the host, which expects 0..1.
  lo = std::fmin(std::fmax(lo, 0.0), 1.0);
  hi = std::fmin(std::fmax(hi, 0.0), 1.0);
  for (int i = 0; i < mControls.GetSize(); ++i)
  {
    IControl* pControl = mControls.Get(i);
    if (pControl->ParamIdx() == paramIdx) pControl->Clamp(lo, hi);
  }
}

// ---------------------------------------------------------------------------
// Value flow

void IGraphics::SetParameterFromPlug(int paramIdx, double value, bool normalized)
{
  if (!normalized)
  {
    IParam* pParam = mPlug ? mPlug->GetParam(paramIdx) : nullptr;
    if (!pParam) return;
    value = pParam->GetNormalized(value);
  }
  if (std::isnan(value)) return;
  for (int i = 0; i < mControls.GetSize(); ++i)
  {
    IControl* pControl = mControls.Get(i);
    if (pControl->ParamIdx() == paramIdx) pControl->SetValueFromPlug(value);
    const int auxIdx = pControl->AuxParamIdx(paramIdx);
    if (auxIdx >= 0) pControl->SetAuxParamValueFromPlug(auxIdx, value);
  }
}

void IGraphics::SetControlFromPlug(int controlIdx, double normalizedValue)
{
  if (IControl* pControl = mControls.Get(controlIdx)) pControl->SetValueFromPlug(normalizedValue);
}

void IGraphics::SetParameterFromGUI(int paramIdx, double normalizedValue)
{
  for (int i = 0; i < mControls.GetSize(); ++i)
  {
    IControl* pControl = mControls.Get(i);
    if (pControl->ParamIdx() == paramIdx) pControl->SetValueFromUserInput(normalizedValue);
  }
}

void IGraphics::SetAllControlsDirty()
{
  for (int i = 0; i < mControls.GetSize(); ++i) mControls.Get(i)->SetDirty(false);
}

void IGraphics::AssignParamNameToolTips()
{
  for (int i = 0; i < mControls.GetSize(); ++i)
  {
    IControl* pControl = mControls.Get(i);
    if (pControl->ParamIdx() < 0) continue;
    IParam* pParam = mPlug ? mPlug->GetParam(pControl->ParamIdx()) : nullptr;
    if (pParam) pControl->SetTooltip(pParam->GetNameForHost());
  }
}

// ---------------------------------------------------------------------------
// Repaint

void IGraphics::PrepDraw()
{
  DeleteBitmaps();
  mDrawBitmap = new LICE_SysBitmap(mWidth, mHeight);
  mTmpBitmap = new LICE_MemBitmap(0, 0, 4);
}

bool IGraphics::IsDirty(IRECT* pR)
{
  bool dirty = false;
  for (int i = 0; i < mControls.GetSize(); ++i)
  {
    IControl* pControl = mControls.Get(i);
    if (!pControl->IsDirty()) continue;
    if (pR) *pR = pR->Union(pControl->GetRECT());
    dirty = true;
  }
  return dirty;
}

void IGraphics::Draw(IRECT* pR)
{
  const int n = mControls.GetSize();
  if (!n || !pR) return;

  if (mStrict)
  {
    mDrawRECT = *pR;
    for (int i = 0; i < n; ++i)
    {
      IControl* pControl = mControls.Get(i);
      if (!pControl->IsHidden() && pR->Intersects(pControl->GetRECT())) pControl->Draw(this);
      pControl->SetClean();
    }
  }
  else
  {
    IControl* pBG = mControls.Get(0);
    if (pBG->IsDirty())
    {
      mDrawRECT = pBG->GetRECT();
      for (int i = 0; i < n; ++i)
      {
        IControl* pControl = mControls.Get(i);
        if (i == 0 || !pControl->IsHidden())
        {
          pControl->Draw(this);
          pControl->SetClean();
        }
      }
    }
    else
    {
      for (int i = 1; i < n; ++i)
      {
        IControl* pDirty = mControls.Get(i);
        if (!pDirty->IsDirty()) continue;
        mDrawRECT = pDirty->GetRECT();
        for (int j = 0; j < n; ++j)
        {
          IControl* pControl = mControls.Get(j);
          if (pControl->IsHidden()) continue;
          if (j == i || pControl->GetRECT().Intersects(mDrawRECT)) pControl->Draw(this);
        }
        pDirty->SetClean();
      }
    }
  }
  DrawScreen(pR);
}

void IGraphics::SetStrictDrawing(bool strict)
{
  mStrict = strict;
  SetAllControlsDirty();
}

void IGraphics::Resize(int w, int h)
{
  if (w <= 0 || h <= 0) return;
  mWidth = w;
  mHeight = h;
  ReleaseMouseCapture();
  EndGesture();
  mMouseOver = -1;
  DeleteControls();
  DeleteBitmaps();
  PrepDraw();
  if (mPlug) mPlug->ResizeGraphics(w, h);
}

// ---------------------------------------------------------------------------
// Mouse and keys

int IGraphics::FindControl(int x, int y, bool mo) const
{
  for (int i = mControls.GetSize() - 1; i >= 0; --i)
  {
    IControl* pControl = mControls.Get(i);
    if (pControl->IsHidden()) continue;
    if (pControl->IsGrayed() && !(mo && pControl->GetMOWhenGrayed())) continue;
    if (pControl->IsHit(x, y)) return i;
  }
  return -1;
}

int IGraphics::GetMouseControlIdx(int x, int y, bool mo)
{
  if (mMouseCapture >= 0) return mMouseCapture;
  return FindControl(x, y, mo);
}

void IGraphics::ReleaseMouseCapture()
{
  mMouseCapture = -1;
  mMouseX = mMouseY = -1;
}

// Hosts record touch automation between a begin and an end edit: a begin
// without its end (or an end without its begin) leaves a parameter latched
// in the host. So exactly one gesture is open at a time and every path that
// changes a value from the mouse opens one.
void IGraphics::BeginGesture(int paramIdx)
{
  EndGesture();
  if (paramIdx < 0 || !mPlug) return;
  mGestureParam = paramIdx;
  mPlug->BeginInformHostOfParamChange(paramIdx);
}

void IGraphics::EndGesture()
{
  if (mGestureParam < 0) return;
  const int paramIdx = mGestureParam;
  mGestureParam = -1;
  if (mPlug) mPlug->EndInformHostOfParamChange(paramIdx);
}

void IGraphics::OnMouseDown(int x, int y, IMouseMod* pMod)
{
  IMouseMod none;
  pMod = ModOrNone(pMod, &none);
  ReleaseMouseCapture();
  const int c = FindControl(x, y);
  if (c < 0) return;
  mMouseCapture = c;
  mMouseX = x;
  mMouseY = y;
  IControl* pControl = mControls.Get(c);
  BeginGesture(pControl->ParamIdx());
  pControl->OnMouseDown(x, y, pMod);
}

void IGraphics::OnMouseUp(int x, int y, IMouseMod* pMod)
{
  IMouseMod none;
  pMod = ModOrNone(pMod, &none);
  const int c = mMouseCapture >= 0 ? mMouseCapture : FindControl(x, y);
  ReleaseMouseCapture();
  if (IControl* pControl = mControls.Get(c)) pControl->OnMouseUp(x, y, pMod);
  EndGesture();
}

void IGraphics::OnMouseDrag(int x, int y, IMouseMod* pMod)
{
  IMouseMod none;
  pMod = ModOrNone(pMod, &none);
  IControl* pControl = mControls.Get(mMouseCapture);
  if (!pControl || (x == mMouseX && y == mMouseY)) return;
  const int dX = x - mMouseX;
  const int dY = y - mMouseY;
  mMouseX = x;
  mMouseY = y;
  pControl->OnMouseDrag(x, y, dX, dY, pMod);
}

bool IGraphics::OnMouseDblClick(int x, int y, IMouseMod* pMod)
{
  IMouseMod none;
  pMod = ModOrNone(pMod, &none);
  ReleaseMouseCapture();
  const int c = FindControl(x, y);
  if (c < 0) return false;
  IControl* pControl = mControls.Get(c);
  if (!pControl->MouseDblAsSingleClick())
  {
    // A reset by double click is a gesture of its own.
    BeginGesture(pControl->ParamIdx());
    pControl->OnMouseDblClick(x, y, pMod);
    EndGesture();
    return false;
  }
  mMouseCapture = c;
  mMouseX = x;
  mMouseY = y;
  BeginGesture(pControl->ParamIdx());
  pControl->OnMouseDown(x, y, pMod);
  return true;
}

void IGraphics::OnMouseWheel(int x, int y, IMouseMod* pMod, int d)
{
  IMouseMod none;
  pMod = ModOrNone(pMod, &none);
  const int c = mMouseCapture >= 0 ? mMouseCapture : FindControl(x, y);
  IControl* pControl = mControls.Get(c);
  if (!pControl) return;
  // During a drag the press's gesture is open already; a wheel step on its own
  // is a gesture of its own.
  const bool ownGesture = mGestureParam < 0;
  if (ownGesture) BeginGesture(pControl->ParamIdx());
  pControl->OnMouseWheel(x, y, pMod, d);
  if (ownGesture) EndGesture();
}

bool IGraphics::OnMouseOver(int x, int y, IMouseMod* pMod)
{
  if (!mHandleMouseOver) return false;
  IMouseMod none;
  pMod = ModOrNone(pMod, &none);
  const int c = mMouseCapture >= 0 ? mMouseCapture : FindControl(x, y, true);
  IControl* pControl = mControls.Get(c);
  if (!pControl) return true;
  mMouseX = x;
  mMouseY = y;
  pControl->OnMouseOver(x, y, pMod);
  if (mMouseOver >= 0 && mMouseOver != c)
  {
    if (IControl* pPrevious = mControls.Get(mMouseOver)) pPrevious->OnMouseOut();
  }
  mMouseOver = c;
  return true;
}

void IGraphics::OnMouseOut()
{
  for (int i = 0; i < mControls.GetSize(); ++i) mControls.Get(i)->OnMouseOut();
  mMouseOver = -1;
}

bool IGraphics::OnKeyDown(int x, int y, int key)
{
  // The background never takes keys: they go to the key catcher instead.
  const int c = mMouseCapture >= 0 ? mMouseCapture : FindControl(x, y);
  if (c > 0)
  {
    if (IControl* pControl = mControls.Get(c)) return pControl->OnKeyDown(x, y, key);
  }
  return mKeyCatcher ? mKeyCatcher->OnKeyDown(x, y, key) : false;
}

int IGraphics::GetParamIdxForPTAutomation(int x, int y)
{
  const int c = mMouseCapture >= 0 ? mMouseCapture : FindControl(x, y);
  IControl* pControl = c > 0 ? mControls.Get(c) : nullptr;
  mLastClickedParam = pControl ? pControl->ParamIdx() : -1;
  return mLastClickedParam;
}

int IGraphics::GetLastClickedParamForPTAutomation()
{
  const int idx = mLastClickedParam;
  mLastClickedParam = -1;
  return idx;
}

void IGraphics::OnGUIIdle()
{
  for (int i = 0; i < mControls.GetSize(); ++i) mControls.Get(i)->OnGUIIdle();
}

// ---------------------------------------------------------------------------
// Prompts

void IGraphics::PromptUserInput(IControl* pControl, IParam* pParam, IRECT* pTextRect)
{
  if (!pControl || !pParam || !pTextRect) return;
  const IParam::EParamType type = pParam->Type();
  const int nDisplayTexts = pParam->GetNDisplayTexts();
  char currentText[kMaxParamDisplayLen];

  if (type == IParam::kTypeEnum || (type == IParam::kTypeBool && nDisplayTexts))
  {
    pParam->GetDisplayForHost(pParam->Value(), false, currentText, true);
    IPopupMenu menu;
    for (int i = 0; i < nDisplayTexts; ++i)
    {
      const char* text = pParam->GetDisplayTextAtIdx(i);
      menu.AddItem(text, -1, std::strcmp(text, currentText) ? IPopupMenuItem::kNoFlags : IPopupMenuItem::kChecked);
    }
    IPopupMenu* pChosen = CreateIPopupMenu(&menu, pTextRect);
    // An item stands for its display text's value, which need not be its
    // position when the texts were not added in value order.
    int value = 0;
    const int chosen = pChosen == &menu ? menu.GetChosenItemIdx() : -1;
    if (chosen >= 0 && chosen < nDisplayTexts)
    {
      pParam->GetDisplayTextAtIdx(chosen, &value);
      pControl->SetValueFromUserInput(pParam->GetNormalized((double)value));
    }
  }
  else
  {
    pParam->GetDisplayForHost(pParam->Value(), false, currentText, false);
    CreateTextEntry(pControl, pControl->GetText(), pTextRect, currentText, pParam);
  }
}

void IGraphics::SetFromStringAfterPrompt(IControl* pControl, IParam* pParam, const char* txt)
{
  if (!pControl || !pParam || !txt) return;
  double value;
  const IParam::EParamType type = pParam->Type();
  if (type == IParam::kTypeBool || type == IParam::kTypeEnum)
  {
    int vi = 0;
    pParam->MapDisplayText(txt, &vi);
    value = (double)vi;
  }
  else
  {
    IScopedCLocale cLocale;  // "0.5" is one half whatever locale the host set
    value = std::atof(txt);
    if (pParam->GetNegateDisplay()) value = -value;
  }
  if (!std::isfinite(value)) return;
  pControl->SetValueFromUserInput(pParam->GetNormalized(value));
}
