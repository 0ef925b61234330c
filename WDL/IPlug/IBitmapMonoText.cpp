#include "WDL/IPlug/IBitmapMonoText.h"

#include <cstring>

namespace {

// The first character of a glyph strip: frame 1 is the space.
const int kFirstGlyph = 32;

}  // namespace

void DrawBitmapedText(IGraphics* pGraphics, IBitmap* pTextBitmap, IRECT* pR, IText* pText, IChannelBlend* pBlend,
                      const char* str, bool vCenter, bool multiline, int charWidth, int charHeight, int charOffset)
{
  if (!pGraphics || !pTextBitmap || !pR || !pText || !str || !*str) return;
  if (charWidth <= 0 || charHeight <= 0) return;
  const long long len = (long long)std::strlen(str);
  const long long textWidth = len * charWidth;

  const int y0 = vCenter ? pR->T + (pR->B - (pR->T + charHeight)) / 2 : pR->T;
  int x0;
  switch (pText->mAlign)
  {
    case IText::kAlignNear: x0 = pR->L; break;
    case IText::kAlignCenter: x0 = pR->L + (int)((pR->R - (textWidth + pR->L)) / 2); break;
    default: x0 = (int)(pR->R - textWidth); break;
  }

  const int available = pR->W();
  long long charsPerLine = available / charWidth;
  long long lines = 1;
  if (multiline && textWidth <= available) charsPerLine = len;
  else if (multiline && available > 0) lines = textWidth / available + 1;
  if (charsPerLine < 1) return;

  const int nGlyphs = pTextBitmap->Frames();
  long long i = 0;
  for (long long line = 0; line < lines && i < len; ++line)
  {
    const int y = y0 + (int)line * charHeight;
    int x = x0;
    for (long long c = 0; c < charsPerLine && i < len; ++c, ++i)
    {
      const int frame = (int)(unsigned char)str[i] - (kFirstGlyph - 1);
      // Past the strip there is no glyph: leave a blank rather than another glyph.
      if (frame <= nGlyphs)
      {
        IRECT glyph(x, y, x + charWidth, y + charHeight);
        pGraphics->DrawBitmap(pTextBitmap, &glyph, frame, pBlend);
      }
      x += charWidth + charOffset;
    }
  }
}

IBitmapTextControl::IBitmapTextControl(IPlugBase* pPlug, const IRECT& r, const IBitmap* pTextBitmap,
                                       const IText* pText, const char* str, int charWidth, int charHeight,
                                       int charOffset, bool multiLine, bool vCenter)
  : ITextControl(pPlug, r, pText, str), mCharWidth(charWidth), mCharHeight(charHeight), mCharOffset(charOffset),
    mTextBitmap(pTextBitmap ? *pTextBitmap : IBitmap()), mMultiLine(multiLine), mVCentre(vCenter)
{
}

bool IBitmapTextControl::Draw(IGraphics* pGraphics)
{
  if (!mStr.GetLength()) return true;
  DrawBitmapedText(pGraphics, &mTextBitmap, &mRECT, &mText, &mBlend, mStr.Get(), mVCentre, mMultiLine, mCharWidth,
                   mCharHeight, mCharOffset);
  return true;
}
