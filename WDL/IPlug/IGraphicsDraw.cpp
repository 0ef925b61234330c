// Drawing services of IGraphics over the raster routines (bitmap blits, points,
// fills), the value records, and the two process-wide caches. Lines, shapes
// and text are in IGraphicsShapes.cpp and IGraphicsText.cpp.
#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "WDL/IPlug/IGraphics.h"
#include "WDL/IPlug/IParam.h"
#include "WDL/IPlug/src/IGraphicsDraw_p.h"
#include "WDL/lice/lice.h"
#include "WDL/lice/lice_text.h"

namespace igraphics_detail {

int TruncToCoord(double v)
{
  // Far outside any bitmap, so that NaN or huge coordinates draw nothing
  // instead of overflowing an int.
  const double kFar = 1073741824.0;
  if (std::isnan(v)) return -(int)kFar;
  if (v > kFar) return (int)kFar;
  if (v < -kFar) return -(int)kFar;
  return (int)v;
}

}  // namespace igraphics_detail

using igraphics_detail::TruncToCoord;

// ---------------------------------------------------------------------------
// Records

unsigned int IColorToPixel(const IColor& c)
{
  return ((unsigned int)(c.A & 0xff) << 24) | ((unsigned int)(c.R & 0xff) << 16) |
         ((unsigned int)(c.G & 0xff) << 8) | (unsigned int)(c.B & 0xff);
}

IColor IColorFromPixel(unsigned int pixel)
{
  return IColor((int)LICE_GETA(pixel), (int)LICE_GETR(pixel), (int)LICE_GETG(pixel), (int)LICE_GETB(pixel));
}

int LiceBlendMode(const IChannelBlend* pBlend)
{
  if (!pBlend) return LICE_MODE_COPY | LICE_USE_SOURCE_ALPHA;
  switch (pBlend->mMethod)
  {
    case IChannelBlend::kBlendClobber: return LICE_MODE_COPY;
    case IChannelBlend::kBlendAdd: return LICE_MODE_ADD | LICE_USE_SOURCE_ALPHA;
    case IChannelBlend::kBlendColorDodge: return LICE_MODE_DODGE | LICE_USE_SOURCE_ALPHA;
    default: return LICE_MODE_COPY | LICE_USE_SOURCE_ALPHA;
  }
}

float LiceWeight(const IChannelBlend* pBlend)
{
  return pBlend ? pBlend->mWeight : 1.0f;
}

IText::IText(int size, const IColor* pColor, const char* font, int style, int align, int orientation, int quality,
             const IColor* pTEBGColor, const IColor* pTEFGColor)
  : mSize(size), mColor(pColor ? *pColor : DEFAULT_TEXT_COLOR),
    mTextEntryBGColor(pTEBGColor ? *pTEBGColor : DEFAULT_TEXT_ENTRY_BGCOLOR),
    mTextEntryFGColor(pTEFGColor ? *pTEFGColor : DEFAULT_TEXT_ENTRY_FGCOLOR), mStyle(style), mAlign(align),
    mOrientation(orientation), mQuality(quality)
{
  SetFont(font);
}

void IText::SetFont(const char* font)
{
  std::snprintf(mFont, sizeof(mFont), "%s", font ? font : "Monaco");
  mCached = nullptr;
}

ITextEntryFormatter::ITextEntryFormatter(const IParam* pParam, int maxLength, int maxValue)
  : mMaxLength(pParam ? maxLength : 0), mMaxValue(pParam ? maxValue : 0)
{
  if (!pParam) return;
  mHasCharacterSet = true;
  switch (pParam->Type())
  {
    case IParam::kTypeBool:
    case IParam::kTypeInt:
    case IParam::kTypeEnum: mCharacterSet = "0123456789-+"; break;
    case IParam::kTypeDouble: mCharacterSet = "0123456789.-+"; break;
    default: mCharacterSet = ""; break;  // a parameter of no type takes nothing
  }
}

bool ITextEntryFormatter::IsPartialStringValid(const char* str) const
{
  if (!str) return false;
  if (mHasCharacterSet)
  {
    for (const char* p = str; *p; ++p)
      if (!std::strchr(mCharacterSet, *p)) return false;
  }
  if (mMaxLength > 0 && (int)std::strlen(str) > mMaxLength) return false;
  if (mMaxValue > 0 && std::atoi(str) > mMaxValue) return false;
  return true;
}

bool GetPNGResourceBaseName(const char* name, WDL_String* pBaseName)
{
  if (pBaseName) pBaseName->Set("");
  if (!name || !pBaseName) return false;
  const char* base = std::strrchr(name, '/');
  base = base ? base + 1 : name;
  const char* dot = std::strrchr(base, '.');
  if (!dot || dot == base || strcasecmp(dot + 1, "png")) return false;
  pBaseName->Set(base, (int)(dot - base));
  return true;
}

// ---------------------------------------------------------------------------
// Caches

BitmapStorage::~BitmapStorage()
{
  for (int i = mBitmaps.GetSize() - 1; i >= 0; --i) delete mBitmaps.Get(i)->mBitmap;
  mBitmaps.Empty(true);
}

int BitmapStorage::IndexOf(LICE_IBitmap* pBitmap)
{
  for (int i = 0; i < mBitmaps.GetSize(); ++i)
    if (mBitmaps.Get(i)->mBitmap == pBitmap) return i;
  return -1;
}

bool BitmapStorage::Add(LICE_IBitmap* pBitmap, int id)
{
  if (!pBitmap) return false;
  WDL_MutexLock lock(&mMutex);
  if (IndexOf(pBitmap) >= 0) return true;
  Entry* pEntry = new Entry{id, pBitmap};
  if (mBitmaps.Add(pEntry)) return true;
  delete pEntry;
  return false;
}

void BitmapStorage::Remove(LICE_IBitmap* pBitmap)
{
  if (!pBitmap) return;
  WDL_MutexLock lock(&mMutex);
  const int i = IndexOf(pBitmap);
  if (i < 0) return;
  mBitmaps.Delete(i, true);
  delete pBitmap;
}

LICE_IBitmap* BitmapStorage::Find(int id)
{
  WDL_MutexLock lock(&mMutex);
  for (int i = 0; i < mBitmaps.GetSize(); ++i)
  {
    Entry* pEntry = mBitmaps.Get(i);
    if (pEntry->mID == id) return pEntry->mBitmap;
  }
  return nullptr;
}

bool BitmapStorage::Contains(LICE_IBitmap* pBitmap)
{
  WDL_MutexLock lock(&mMutex);
  return IndexOf(pBitmap) >= 0;
}

int BitmapStorage::Size()
{
  WDL_MutexLock lock(&mMutex);
  return mBitmaps.GetSize();
}

BitmapStorage& BitmapStorage::Shared()
{
  // Made on first use (thread-safely), destroyed at unload.
  static BitmapStorage s_bitmapCache;
  return s_bitmapCache;
}

FontStorage::~FontStorage()
{
  for (int i = mFonts.GetSize() - 1; i >= 0; --i) delete mFonts.Get(i)->mFont;
  mFonts.Empty(true);
}

LICE_IFont* FontStorage::Find(const IText* pText)
{
  if (!pText) return nullptr;
  WDL_MutexLock lock(&mMutex);
  for (int i = 0; i < mFonts.GetSize(); ++i)
  {
    const Entry* pEntry = mFonts.Get(i);
    if (pEntry->mSize == pText->mSize && pEntry->mOrientation == pText->mOrientation &&
        pEntry->mStyle == pText->mStyle && !std::strcmp(pEntry->mFace, pText->mFont))
      return pEntry->mFont;
  }
  return nullptr;
}

bool FontStorage::Add(LICE_IFont* pFont, const IText* pText)
{
  if (!pFont || !pText) return false;
  Entry* pEntry = new Entry{pText->mSize, pText->mOrientation, pText->mStyle, {}, pFont};
  std::snprintf(pEntry->mFace, sizeof(pEntry->mFace), "%s", pText->mFont);
  WDL_MutexLock lock(&mMutex);
  if (mFonts.Add(pEntry)) return true;
  delete pEntry;
  return false;
}

int FontStorage::Size()
{
  WDL_MutexLock lock(&mMutex);
  return mFonts.GetSize();
}

FontStorage& FontStorage::Shared()
{
  static FontStorage s_fontCache;
  return s_fontCache;
}

// ---------------------------------------------------------------------------
// Bitmaps

void IGraphics::ClippedBlit(LICE_IBitmap* pSrc, const IRECT& dest, int srcX, int srcY, const IChannelBlend* pBlend)
{
  if (!mDrawBitmap || !pSrc) return;
  const IRECT c = dest.Intersect(mDrawRECT);
  if (c.W() <= 0 || c.H() <= 0) return;
  LICE_Blit(mDrawBitmap, pSrc, c.L, c.T, srcX + (c.L - dest.L), srcY + (c.T - dest.T), c.W(), c.H(),
            LiceWeight(pBlend), LiceBlendMode(pBlend));
}

bool IGraphics::DrawBitmap(IBitmap* pBitmap, IRECT* pDest, int srcX, int srcY, const IChannelBlend* pBlend)
{
  if (pBitmap && pDest) ClippedBlit(pBitmap->mData, *pDest, srcX, srcY, pBlend);
  return true;
}

bool IGraphics::DrawBitmap(IBitmap* pBitmap, IRECT* pDest, int frame, const IChannelBlend* pBlend)
{
  if (!pBitmap || !pDest) return true;
  int srcX = 0, srcY = 0;
  const int n = pBitmap->Frames();
  if (frame >= 2 && n >= 2)
  {
    if (frame > n) frame = n;
    // offset = trunc((frame - 1) S / N + 0.5), S the strip's length along its frames.
    const double length = pBitmap->mFramesAreHorizontal ? (double)pBitmap->W : (double)pBitmap->H;
    const int offset = (int)((double)(frame - 1) * length / (double)n + 0.5);
    (pBitmap->mFramesAreHorizontal ? srcX : srcY) = offset;
  }
  return DrawBitmap(pBitmap, pDest, srcX, srcY, pBlend);
}

bool IGraphics::DrawRotatedBitmap(IBitmap* pBitmap, int destCtrX, int destCtrY, double angle, int yOffsetZeroDeg,
                                  const IChannelBlend* pBlend)
{
  if (!pBitmap || !pBitmap->mData) return true;
  const int w = pBitmap->W, h = pBitmap->H;
  LICE_RotatedBlit(mDrawBitmap, pBitmap->mData, destCtrX - w / 2, destCtrY - h / 2, w, h, 0.0f, 0.0f, (float)w,
                   (float)h, (float)angle, false, LiceWeight(pBlend), LiceBlendMode(pBlend) | LICE_FILTER_BILINEAR,
                   0.0f, (float)yOffsetZeroDeg);
  return true;
}

bool IGraphics::DrawRotatedMask(IBitmap* pBase, IBitmap* pMask, IBitmap* pTop, int x, int y, double angle,
                                const IChannelBlend* pBlend)
{
  if (!pBase || !pBase->mData) return true;
  if (!mTmpBitmap) mTmpBitmap = new LICE_MemBitmap(0, 0, 4);
  const int w = pBase->W, h = pBase->H;
  const float radians = (float)(angle * 3.14159265358979323846 / 180.0);
  LICE_Copy(mTmpBitmap, pBase->mData);
  LICE_ClearRect(mTmpBitmap, 0, 0, w, h, 0xFFFFFF, 0);
  // Odd widths rotate about the centre of the middle pixel.
  const float xOffset = (w & 1) ? -0.5f : 0.0f;
  const float fw = (float)w, fh = (float)h;
  if (pMask && pMask->mData)
    LICE_RotatedBlit(mTmpBitmap, pMask->mData, 0, 0, w, h, 0.0f, 0.0f, fw, fh, radians, true, 1.0f,
                     LICE_MODE_ADD | LICE_FILTER_BILINEAR | LICE_USE_SOURCE_ALPHA, xOffset, 0.0f);
  if (pTop && pTop->mData)
    LICE_RotatedBlit(mTmpBitmap, pTop->mData, 0, 0, w, h, 0.0f, 0.0f, fw, fh, radians, true, 1.0f,
                     LICE_MODE_COPY | LICE_FILTER_BILINEAR | LICE_USE_SOURCE_ALPHA, xOffset, 0.0f);
  ClippedBlit(mTmpBitmap, IRECT(x, y, x + w, y + h), 0, 0, pBlend);
  return true;
}

bool IGraphics::DrawPoint(const IColor* pColor, float x, float y, const IChannelBlend* pBlend, bool /*antiAlias*/)
{
  if (!pColor || !std::isfinite(x + y)) return true;
  LICE_PutPixel(mDrawBitmap, TruncToCoord(x + 0.5f), TruncToCoord(y + 0.5f), IColorToPixel(*pColor),
                LiceWeight(pBlend), LiceBlendMode(pBlend));
  return true;
}

bool IGraphics::ForcePixel(const IColor* pColor, int x, int y)
{
  if (!pColor || !mDrawBitmap) return true;
  LICE_pixel* pBits = mDrawBitmap->getBits();
  if (!pBits || x < 0 || y < 0 || x >= mDrawBitmap->getWidth() || y >= mDrawBitmap->getHeight()) return true;
  pBits[(size_t)y * (size_t)mDrawBitmap->getRowSpan() + (size_t)x] = IColorToPixel(*pColor);
  return true;
}

bool IGraphics::FillIRect(const IColor* pColor, IRECT* pR, const IChannelBlend* pBlend)
{
  if (!pColor || !pR) return true;
  LICE_FillRect(mDrawBitmap, pR->L, pR->T, pR->W(), pR->H(), IColorToPixel(*pColor), LiceWeight(pBlend),
                LiceBlendMode(pBlend));
  return true;
}

IColor IGraphics::GetPoint(int x, int y)
{
  return IColorFromPixel(LICE_GetPixel(mDrawBitmap, x, y));
}

void* IGraphics::GetBits()
{
  return mDrawBitmap ? mDrawBitmap->getBits() : nullptr;
}

bool IGraphics::MeasureIText(IText* pTxt, const char* str, IRECT* pR)
{
  return DrawIText(pTxt, str, pR, true);
}

IBitmap IGraphics::LoadIBitmap(int ID, const char* name, int nStates, bool framesAreHoriz)
{
  BitmapStorage& cache = BitmapStorage::Shared();
  // Held across the load, so that two editors asking for one id at once
  // decode it once and share it.
  WDL_MutexLock lock(cache.GetMutex());
  LICE_IBitmap* pBitmap = cache.Find(ID);
  if (!pBitmap)
  {
    pBitmap = OSLoadBitmap(ID, name);
    if (!pBitmap) return IBitmap();
    if (!cache.Add(pBitmap, ID))
    {
      delete pBitmap;
      return IBitmap();
    }
  }
  return IBitmap(pBitmap, pBitmap->getWidth(), pBitmap->getHeight(), nStates, framesAreHoriz);
}

IBitmap IGraphics::ScaleBitmap(IBitmap* pSrc, int destW, int destH)
{
  if (!pSrc || !pSrc->mData || destW <= 0 || destH <= 0) return IBitmap();
  LICE_MemBitmap* pDest = new LICE_MemBitmap(destW, destH, 4);
  LICE_ScaledBlit(pDest, pSrc->mData, 0, 0, destW, destH, 0.0f, 0.0f, (float)pSrc->W, (float)pSrc->H, 1.0f,
                  LICE_MODE_COPY | LICE_FILTER_BILINEAR);
  if (!BitmapStorage::Shared().Add(pDest, -1))
  {
    delete pDest;
    return IBitmap();
  }
  return IBitmap(pDest, destW, destH, pSrc->N, false);
}

IBitmap IGraphics::CropBitmap(IBitmap* pSrc, IRECT* pR)
{
  if (!pSrc || !pSrc->mData || !pR || pR->W() <= 0 || pR->H() <= 0) return IBitmap();
  const int w = pR->W(), h = pR->H();
  LICE_MemBitmap* pDest = new LICE_MemBitmap(w, h, 4);
  LICE_Blit(pDest, pSrc->mData, 0, 0, pR->L, pR->T, w, h, 1.0f, LICE_MODE_COPY);
  if (!BitmapStorage::Shared().Add(pDest, -1))
  {
    delete pDest;
    return IBitmap();
  }
  return IBitmap(pDest, w, h, pSrc->N, false);
}

void IGraphics::RetainBitmap(IBitmap* pBitmap)
{
  if (pBitmap) BitmapStorage::Shared().Add(pBitmap->mData, -1);
}

void IGraphics::ReleaseBitmap(IBitmap* pBitmap)
{
  if (!pBitmap) return;
  BitmapStorage::Shared().Remove(pBitmap->mData);
  *pBitmap = IBitmap();
}
