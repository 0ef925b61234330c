// Lines and shapes of IGraphics over the raster routines. None clips to the
// draw rectangle: only bitmap blits do.
#include <cmath>

#include "WDL/IPlug/IControl.h"
#include "WDL/IPlug/IGraphics.h"
#include "WDL/IPlug/src/IGraphicsDraw_p.h"
#include "WDL/lice/lice.h"

using igraphics_detail::TruncToCoord;

namespace {

// The plain lines of the outline helpers: full weight, copy, no anti-aliasing.
void PlainLine(LICE_IBitmap* pBitmap, int x1, int y1, int x2, int y2, const IColor* pColor)
{
  LICE_Line(pBitmap, x1, y1, x2, y2, IColorToPixel(*pColor), 1.0f, LICE_MODE_COPY, false);
}

float Clamp01(float v)
{
  return std::fmin(std::fmax(v, 0.0f), 1.0f);
}

}  // namespace

bool IGraphics::DrawLine(const IColor* pColor, float x1, float y1, float x2, float y2, const IChannelBlend* pBlend,
                         bool antiAlias)
{
  // A line to a point that is no number has no direction: nothing to draw.
  if (!pColor || !std::isfinite(x1 + y1 + x2 + y2)) return true;
  LICE_Line(mDrawBitmap, TruncToCoord(x1), TruncToCoord(y1), TruncToCoord(x2), TruncToCoord(y2),
            IColorToPixel(*pColor), LiceWeight(pBlend), LiceBlendMode(pBlend), antiAlias);
  return true;
}

bool IGraphics::DrawArc(const IColor* pColor, float cx, float cy, float r, float minAngle, float maxAngle,
                        const IChannelBlend* pBlend, bool antiAlias)
{
  if (!pColor) return true;
  LICE_Arc(mDrawBitmap, cx, cy, r, minAngle, maxAngle, IColorToPixel(*pColor), LiceWeight(pBlend),
           LiceBlendMode(pBlend), antiAlias);
  return true;
}

bool IGraphics::DrawCircle(const IColor* pColor, float cx, float cy, float r, const IChannelBlend* pBlend,
                           bool antiAlias)
{
  if (!pColor) return true;
  LICE_Circle(mDrawBitmap, cx, cy, r, IColorToPixel(*pColor), LiceWeight(pBlend), LiceBlendMode(pBlend), antiAlias);
  return true;
}

bool IGraphics::RoundRect(const IColor* pColor, IRECT* pR, const IChannelBlend* pBlend, int cornerradius, bool aa)
{
  if (!pColor || !pR) return true;
  LICE_RoundRect(mDrawBitmap, (float)pR->L, (float)pR->T, (float)pR->W(), (float)pR->H(), cornerradius,
                 IColorToPixel(*pColor), LiceWeight(pBlend), LiceBlendMode(pBlend), aa);
  return true;
}

bool IGraphics::FillRoundRect(const IColor* pColor, IRECT* pR, const IChannelBlend* pBlend, int cornerradius,
                              bool aa)
{
  if (!pColor || !pR) return true;
  const int x = pR->L, y = pR->T, w = pR->W(), h = pR->H(), r = cornerradius;
  const LICE_pixel color = IColorToPixel(*pColor);
  const float weight = LiceWeight(pBlend);
  const int mode = LiceBlendMode(pBlend);
  // A cross of three rectangles and a circle in each corner.
  LICE_FillRect(mDrawBitmap, x + r, y, w - 2 * r, h, color, weight, mode);
  LICE_FillRect(mDrawBitmap, x, y + r, r, h - 2 * r, color, weight, mode);
  LICE_FillRect(mDrawBitmap, pR->R - r, y + r, r, h - 2 * r, color, weight, mode);
  const float fr = (float)r;
  LICE_FillCircle(mDrawBitmap, (float)(x + r), (float)(y + r), fr, color, weight, mode, aa);
  LICE_FillCircle(mDrawBitmap, (float)(x + w - r - 1), (float)(y + h - r - 1), fr, color, weight, mode, aa);
  LICE_FillCircle(mDrawBitmap, (float)(x + w - r - 1), (float)(y + r), fr, color, weight, mode, aa);
  LICE_FillCircle(mDrawBitmap, (float)(x + r), (float)(y + h - r - 1), fr, color, weight, mode, aa);
  return true;
}

bool IGraphics::FillCircle(const IColor* pColor, int cx, int cy, float r, const IChannelBlend* pBlend,
                           bool antiAlias)
{
  if (!pColor) return true;
  LICE_FillCircle(mDrawBitmap, (float)cx, (float)cy, r, IColorToPixel(*pColor), LiceWeight(pBlend),
                  LiceBlendMode(pBlend), antiAlias);
  return true;
}

bool IGraphics::FillTriangle(const IColor* pColor, int x1, int y1, int x2, int y2, int x3, int y3,
                             const IChannelBlend* pBlend)
{
  if (!pColor) return true;
  LICE_FillTriangle(mDrawBitmap, x1, y1, x2, y2, x3, y3, IColorToPixel(*pColor), LiceWeight(pBlend),
                    LiceBlendMode(pBlend));
  return true;
}

bool IGraphics::FillIConvexPolygon(const IColor* pColor, int* x, int* y, int npoints, const IChannelBlend* pBlend)
{
  if (!pColor || !x || !y || npoints <= 0) return true;
  LICE_FillConvexPolygon(mDrawBitmap, x, y, npoints, IColorToPixel(*pColor), LiceWeight(pBlend),
                         LiceBlendMode(pBlend));
  return true;
}

bool IGraphics::DrawVerticalLine(const IColor* pColor, int xi, int yLo, int yHi)
{
  if (pColor) PlainLine(mDrawBitmap, xi, yLo, xi, yHi, pColor);
  return true;
}

bool IGraphics::DrawHorizontalLine(const IColor* pColor, int yi, int xLo, int xHi)
{
  if (pColor) PlainLine(mDrawBitmap, xLo, yi, xHi, yi, pColor);
  return true;
}

bool IGraphics::DrawVerticalLine(const IColor* pColor, IRECT* pR, float x)
{
  if (!pColor || !pR) return true;
  const int xi = (int)((float)pR->W() * Clamp01(x)) + pR->L;
  PlainLine(mDrawBitmap, xi, pR->T, xi, pR->B, pColor);
  return true;
}

bool IGraphics::DrawHorizontalLine(const IColor* pColor, IRECT* pR, float y)
{
  if (!pColor || !pR) return true;
  const int yi = pR->B - (int)((float)pR->H() * Clamp01(y));
  PlainLine(mDrawBitmap, pR->L, yi, pR->R, yi, pColor);
  return true;
}

bool IGraphics::DrawRect(const IColor* pColor, IRECT* pR)
{
  if (!pColor || !pR) return true;
  PlainLine(mDrawBitmap, pR->L, pR->T, pR->R, pR->T, pColor);
  PlainLine(mDrawBitmap, pR->L, pR->B, pR->R, pR->B, pColor);
  PlainLine(mDrawBitmap, pR->L, pR->T, pR->L, pR->B, pColor);
  PlainLine(mDrawBitmap, pR->R, pR->T, pR->R, pR->B, pColor);
  return true;
}

bool IGraphics::DrawRadialLine(const IColor* pColor, float cx, float cy, float angle, float rMin, float rMax,
                               const IChannelBlend* pBlend, bool antiAlias)
{
  // Angle 0 points up, positive angles turn clockwise.
  const float s = std::sin(angle), c = std::cos(angle);
  return DrawLine(pColor, cx + rMin * s, cy - rMin * c, cx + rMax * s, cy - rMax * c, pBlend, antiAlias);
}

// ---------------------------------------------------------------------------

IKnobLineControl::IKnobLineControl(IPlugBase* pPlug, const IRECT& r, int paramIdx, const IColor* pColor,
                                   double minAngle, double maxAngle, double innerRadius, double outerRadius,
                                   EDirection direction, double gearing)
  : IKnobControl(pPlug, r, paramIdx, direction, gearing), mColor(pColor ? *pColor : COLOR_BLACK),
    mMinAngle((float)minAngle), mMaxAngle((float)maxAngle), mInnerRadius((float)innerRadius),
    mOuterRadius((float)outerRadius)
{
  if (mOuterRadius == 0.0f) mOuterRadius = 0.5f * (float)r.W();
  mBlend = IChannelBlend(IChannelBlend::kBlendClobber);
}

bool IKnobLineControl::Draw(IGraphics* pGraphics)
{
  const double angle = mMinAngle + mValue * (mMaxAngle - mMinAngle);
  const float cx = mRECT.MW(), cy = mRECT.MH();
  const float s = (float)std::sin(angle), c = (float)std::cos(angle);
  const float x1 = cx + mInnerRadius * s, y1 = cy - mInnerRadius * c;
  const float x2 = cx + mOuterRadius * s, y2 = cy - mOuterRadius * c;
  return pGraphics->DrawLine(&mColor, x1, y1, x2, y2, &mBlend, true);
}
