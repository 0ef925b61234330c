#include "WDL/IPlug/src/EditorOverlay_p.h"

#include <algorithm>
#include <cstring>

#include "WDL/IPlug/IControl.h"
#include "WDL/IPlug/IParam.h"

namespace ieditor {

namespace {

const IColor kBoxFill(255, 32, 34, 38);
const IColor kBoxEdge(255, 150, 154, 160);
const IColor kBoxText(255, 235, 235, 235);
const int kBoxTextSize = 11;
const int kBoxPadX = 5;
const int kBoxHeight = 17;
// Used when no font can measure the text: a typical advance at 11 px.
const int kFallbackCharWidth = 6;

void FillEdged(IGraphics* g, IRECT r, const IColor& fill, const IColor& edge)
{
  IChannelBlend opaque(IChannelBlend::kBlendClobber);
  g->FillIRect(&edge, &r, &opaque);
  IRECT inner(r.L + 1, r.T + 1, r.R - 1, r.B - 1);
  if (inner.R > inner.L && inner.B > inner.T) g->FillIRect(&fill, &inner, &opaque);
}

int TextWidth(IGraphics* g, IText* pStyle, const std::string& text)
{
  IRECT m(0, 0, 1000, 100);
  if (!text.empty() && g->MeasureIText(pStyle, text.c_str(), &m) && m.W() > 0) return m.W();
  return (int)text.size() * kFallbackCharWidth;
}

}  // namespace

int ReadoutControl(const ReadoutInput& in)
{
  if (in.dragControl >= 0) return in.dragControl;
  if (in.wheelControl >= 0 && in.nowMs - in.wheelAtMs < kWheelHoldMs) return in.wheelControl;
  if (in.hoverControl >= 0 && in.nowMs - in.hoverSinceMs >= kHoverDelayMs) return in.hoverControl;
  return -1;
}

IRECT PlaceBox(const IRECT& anchor, int boxW, int boxH, int editorW, int editorH)
{
  boxW = std::min(std::max(boxW, 1), std::max(editorW, 1));
  boxH = std::min(std::max(boxH, 1), std::max(editorH, 1));
  int l = (anchor.L + anchor.R) / 2 - boxW / 2;
  int t = anchor.B + 2;
  if (t + boxH > editorH) t = anchor.T - boxH - 2;
  l = std::min(std::max(l, 0), editorW - boxW);
  t = std::min(std::max(t, 0), editorH - boxH);
  return IRECT(l, t, l + boxW, t + boxH);
}

std::string ReadoutText(const IParam* pParam, const char* nameOverride)
{
  if (!pParam) return std::string();
  const char* name = (nameOverride && *nameOverride) ? nameOverride : pParam->GetNameForHost();
  char display[kMaxParamDisplayLen + 1];
  memset(display, 0, sizeof(display));
  pParam->GetDisplayForHost(display, true);
  std::string out = name ? name : "";
  if (!out.empty()) out += ": ";
  out += display;
  const char* label = pParam->GetLabelForHost();
  if (label && *label && pParam->GetNDisplayTexts() == 0)
  {
    out += ' ';
    out += label;
  }
  return out;
}

IRECT TextBox::Show(IGraphics* pGraphics, const IRECT& anchor, const std::string& text)
{
  IText style(kBoxTextSize, &kBoxText);
  const int w = TextWidth(pGraphics, &style, text) + 2 * kBoxPadX;
  const IRECT r = PlaceBox(anchor, w, kBoxHeight, pGraphics->Width(), pGraphics->Height());
  if (mVisible && r == mRect && text == mText) return IRECT();
  const IRECT changed = mVisible ? mRect.Union(r) : r;
  mVisible = true;
  mRect = r;
  mText = text;
  return changed;
}

IRECT TextBox::Hide()
{
  if (!mVisible) return IRECT();
  mVisible = false;
  return mRect;
}

void TextBox::Draw(IGraphics* pGraphics)
{
  if (!mVisible) return;
  FillEdged(pGraphics, mRect, kBoxFill, kBoxEdge);
  IText style(kBoxTextSize, &kBoxText);
  IRECT tr(mRect.L + kBoxPadX, mRect.T + 2, mRect.R - kBoxPadX, mRect.B - 1);
  pGraphics->DrawIText(&style, mText.c_str(), &tr);
}

void TextField::Open(IControl* pControl, IParam* pParam, const IRECT& r, const IText& style, const char* text,
                     int maxLength)
{
  mOpen = true;
  mControl = pControl;
  mParam = pParam;
  mRect = r;
  mStyle = style;
  // The entry's font is a little smaller than the control's.
  mStyle.mSize = (int)(style.mSize * 0.9);
  mStyle.mCached = nullptr;
  mText = text ? text : "";
  mCaret = (int)mText.size();
  mAllSelected = !mText.empty();
  mMaxLength = maxLength;
}

void TextField::Close()
{
  mOpen = false;
  mControl = nullptr;
  mParam = nullptr;
  mText.clear();
  mCaret = 0;
  mAllSelected = false;
}

bool TextField::Accepts(const std::string& candidate) const
{
  // Without a parameter there is no formatter: anything goes.
  if (!mParam) return true;
  ITextEntryFormatter f(mParam, mMaxLength);
  return f.IsPartialStringValid(candidate.c_str());
}

TextField::EResult TextField::Key(const IHostKey& key)
{
  if (!mOpen) return kIgnored;
  switch (key.mNamed)
  {
    case IHostKey::kReturn:
    case IHostKey::kTab: return kCommit;
    case IHostKey::kEscape: return kCancel;
    case IHostKey::kLeft:
      if (mAllSelected) mCaret = 0;
      else if (mCaret > 0) --mCaret;
      mAllSelected = false;
      return kEdited;
    case IHostKey::kRight:
      if (!mAllSelected && mCaret < (int)mText.size()) ++mCaret;
      mAllSelected = false;
      return kEdited;
    case IHostKey::kHome:
    case IHostKey::kUp:
      mCaret = 0;
      mAllSelected = false;
      return kEdited;
    case IHostKey::kEnd:
    case IHostKey::kDown:
      mCaret = (int)mText.size();
      mAllSelected = false;
      return kEdited;
    case IHostKey::kBackspace:
    case IHostKey::kDelete:
      if (mAllSelected)
      {
        mText.clear();
        mCaret = 0;
      }
      else if (key.mNamed == IHostKey::kBackspace && mCaret > 0)
      {
        mText.erase((size_t)--mCaret, 1);
      }
      else if (key.mNamed == IHostKey::kDelete && mCaret < (int)mText.size())
      {
        mText.erase((size_t)mCaret, 1);
      }
      mAllSelected = false;
      return kEdited;
    case IHostKey::kSpace:
    case IHostKey::kNone: break;
    default: return kEdited;  // swallowed: the host must not act on keys typed into the field
  }
  // Typed characters: ASCII only, as the value formats are.
  if (key.mChar < 0x20 || key.mChar > 0x7e) return kEdited;
  std::string candidate = mAllSelected ? std::string() : mText;
  const int at = mAllSelected ? 0 : mCaret;
  candidate.insert((size_t)at, 1, (char)key.mChar);
  if (!Accepts(candidate)) return kEdited;  // refused, as a formatter refuses a keystroke
  mText = candidate;
  mCaret = at + 1;
  mAllSelected = false;
  return kEdited;
}

void TextField::Draw(IGraphics* pGraphics)
{
  if (!mOpen) return;
  IChannelBlend opaque(IChannelBlend::kBlendClobber);
  IRECT r = mRect;
  pGraphics->FillIRect(&mStyle.mTextEntryFGColor, &r, &opaque);
  IRECT inner(r.L + 1, r.T + 1, r.R - 1, r.B - 1);
  if (inner.R > inner.L && inner.B > inner.T) pGraphics->FillIRect(&mStyle.mTextEntryBGColor, &inner, &opaque);
  IText style = mStyle;
  style.mColor = mStyle.mTextEntryFGColor;
  IRECT tr(r.L + 3, r.T + 1, r.R - 3, r.B);
  const std::string& shown = mText;
  if (mAllSelected && !shown.empty())
  {
    // The selection: the text's box in the foreground colour, the text inverted.
    const int w = std::min(TextWidth(pGraphics, &style, shown), tr.W());
    IRECT sel(tr.L, inner.T + 1, tr.L + w, inner.B - 1);
    if (sel.R > sel.L && sel.B > sel.T) pGraphics->FillIRect(&mStyle.mTextEntryFGColor, &sel, &opaque);
    style.mColor = mStyle.mTextEntryBGColor;
  }
  pGraphics->DrawIText(&style, shown.c_str(), &tr);
  if (!mAllSelected)
  {
    const int x = tr.L + std::min(TextWidth(pGraphics, &style, shown.substr(0, (size_t)mCaret)), tr.W());
    IRECT caret(x, inner.T + 2, x + 1, inner.B - 2);
    if (caret.B > caret.T) pGraphics->FillIRect(&mStyle.mTextEntryFGColor, &caret, &opaque);
  }
}

}  // namespace ieditor
