// Text of IGraphics: fonts from the process-wide font cache, drawn and
// measured with cached-font text.
#include <cmath>

#include "WDL/IPlug/IGraphics.h"
#include "WDL/lice/lice.h"
#include "WDL/lice/lice_text.h"
#include "WDL/swell/swell.h"

namespace {

// The GDI quality for a style quality: default, plain, anti-aliased (twice).
char GDIQuality(int quality)
{
  switch (quality)
  {
    case IText::kQualityDefault: return DEFAULT_QUALITY;
    case IText::kQualityNonAntiAliased: return NONANTIALIASED_QUALITY;
    case IText::kQualityAntiAliased:
    case IText::kQualityClearType: return ANTIALIASED_QUALITY;
    default: return NONANTIALIASED_QUALITY;
  }
}

HFONT MakeGDIFont(const IText* pText, int height)
{
  const int tenths = pText->mOrientation * 10;
  return CreateFont(height, 0, tenths, tenths, pText->mStyle == IText::kStyleBold ? FW_BOLD : FW_NORMAL,
                    pText->mStyle == IText::kStyleItalic, 0, 0, 0, 0, 0, GDIQuality(pText->mQuality), 0,
                    pText->mFont);
}

// The cached font takes the GDI font (and deletes it) and draws natively.
const int kFontFlags = LICE_FONT_FLAG_OWNS_HFONT | LICE_FONT_FLAG_FORCE_NATIVE;

}  // namespace

LICE_IFont* IGraphics::CacheFont(IText* pTxt)
{
  if (!pTxt) return nullptr;
  FontStorage& cache = FontStorage::Shared();
  // Held across the creation, so that one style yields one font process-wide.
  WDL_MutexLock lock(cache.GetMutex());
  if (LICE_IFont* pFound = cache.Find(pTxt))
  {
    pTxt->mCached = pFound;
    return pFound;
  }

  LICE_CachedFont* pFont = new LICE_CachedFont;
  int height = pTxt->mSize < 2 ? 2 : pTxt->mSize;
  HFONT hFont = MakeGDIFont(pTxt, height);
  if (!hFont)
  {
    delete pFont;
    return nullptr;
  }
  pFont->SetFromHFont(hFont, kFontFlags);
  const int lineHeight = pFont->GetLineHeight();
  if (lineHeight > 0 && lineHeight != height)
  {
    // Scale the request so that the line height comes out at the style's size:
    // height = trunc(size^2 / line height + 0.5).
    const double squared = pTxt->mSize < 2 ? 4.0 : (double)pTxt->mSize * (double)pTxt->mSize;
    height = (int)(squared / (double)lineHeight + 0.5);
    hFont = MakeGDIFont(pTxt, height);
    if (!hFont)
    {
      delete pFont;
      return nullptr;
    }
    pFont->SetFromHFont(hFont, kFontFlags);
  }
  if (!cache.Add(pFont, pTxt))
  {
    delete pFont;
    return nullptr;
  }
  pTxt->mCached = pFont;
  return pFont;
}

bool IGraphics::DrawIText(IText* pTxt, const char* str, IRECT* pR, bool measure)
{
  if (!str || !*str) return true;
  if (!pTxt || !pR) return false;
  LICE_IFont* pFont = pTxt->mCached ? pTxt->mCached : CacheFont(pTxt);
  if (!pFont) return false;
  pFont->SetTextColor(IColorToPixel(pTxt->mColor));

  unsigned int format = DT_NOCLIP;
  switch (pTxt->mAlign)
  {
    case IText::kAlignNear: format |= DT_LEFT; break;
    case IText::kAlignCenter: format |= DT_CENTER; break;
    default: format |= DT_RIGHT; break;
  }
  if (pTxt->mColor.A < 255) format |= LICE_DT_USEFGALPHA;

  if (!measure)
  {
    RECT r = {pR->L, pR->T, pR->R, pR->B};
    pFont->DrawText(mDrawBitmap, str, -1, &r, format);
    return true;
  }
  RECT box = {0, 0, 0, 0};
  pFont->DrawText(mDrawBitmap, str, -1, &box, format | DT_CALCRECT);
  const int tw = box.right, th = box.bottom;
  switch (pTxt->mAlign)
  {
    case IText::kAlignCenter:
      pR->L = (int)((float)(pR->L + pR->R) * 0.5f) - tw / 2;
      pR->R = pR->L + tw;
      break;
    case IText::kAlignNear: pR->R = pR->L + tw; break;
    default: pR->L = pR->R - tw; break;
  }
  pR->B = pR->T + th;
  return true;
}
