// Text drawn with a bitmap font: a strip of equally sized glyph frames, frame 1
// the space (code 32), frame k the character 31 + k. Characters past the strip
// leave a blank; control characters draw the space.
#ifndef IPLUG_IBITMAPMONOTEXT_H_
#define IPLUG_IBITMAPMONOTEXT_H_

#include "WDL/IPlug/IControl.h"

// Draws str in pR from its top (or vertically centred), aligned by the style;
// multiline wraps at the rectangle's width, otherwise one line is drawn.
// Characters advance by charWidth + charOffset. Nothing is drawn for a null or
// empty string, non-positive glyph sizes or fewer than one character per line.
void DrawBitmapedText(IGraphics* pGraphics, IBitmap* pTextBitmap, IRECT* pR, IText* pText, IChannelBlend* pBlend,
                      const char* str, bool vCenter = true, bool multiline = false, int charWidth = 6,
                      int charHeight = 12, int charOffset = 0);

// A text control that draws with a bitmap font.
class IBitmapTextControl : public ITextControl
{
public:
  IBitmapTextControl(IPlugBase* pPlug, const IRECT& r, const IBitmap* pTextBitmap, const IText* pText,
                     const char* str = "", int charWidth = 6, int charHeight = 12, int charOffset = 0,
                     bool multiLine = false, bool vCenter = true);
  bool Draw(IGraphics* pGraphics) override;

protected:
  int mCharWidth, mCharHeight, mCharOffset;
  IBitmap mTextBitmap;
  bool mMultiLine;
  bool mVCentre;
};

#endif  // IPLUG_IBITMAPMONOTEXT_H_
