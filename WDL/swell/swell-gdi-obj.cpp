// GDI objects (pens, brushes, fonts as records), their selection into contexts, the text
// settings, fills and the clip stack: the platform-free rules of the GDI layer.
#include "swell_gdi_p.h"
#include "swell_text_backend_p.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace
{
using swell_detail::IsLiveContext;
using swell_detail::IsLiveObject;
using swell_detail::IsObjectHandle;
using swell_detail::Intersect;
using swell_detail::IsEmptyRect;

// Stock objects: static records with a negative width, never pooled or freed.
struct StockObjects
{
  HGDIOBJ__ whiteBrush, blackBrush, nullBrush, whitePen, blackPen, nullPen;
};

HGDIOBJ__ MakeStock(int type, COLORREF color, bool hollow)
{
  HGDIOBJ__ o;
  std::memset(static_cast<void*>(&o), 0, sizeof(o));
  o.type = type;
  o.color = color;
  o.wid = -1;
  o.hollow = hollow;
  return o;
}

StockObjects& Stock()
{
  static StockObjects s = {
      MakeStock(kGdiBrush, 0xffffff, false), MakeStock(kGdiBrush, 0, false), MakeStock(kGdiBrush, 0, true),
      MakeStock(kGdiPen, 0xffffff, false),   MakeStock(kGdiPen, 0, false),   MakeStock(kGdiPen, 0, true)};
  return s;
}

HGDIOBJ__* NewObject(int type, COLORREF color, int wid)
{
  HGDIOBJ__* o = swell_detail::AllocObjectRecord();
  if (!o) return nullptr;
  o->type = type;
  o->color = color & 0xffffff;
  o->wid = wid;
  return o;
}

HGDIOBJ* SlotFor(HDC__* ctx, int type)
{
  switch (type)
  {
    case kGdiPen: return &ctx->curpen;
    case kGdiBrush: return &ctx->curbrush;
    case kGdiFont: return &ctx->curfont;
  }
  return nullptr;
}

}

namespace swell_detail
{
void FillOpaque(HDC__* ctx, const RECT& r, COLORREF color)
{
  const uint32_t px = 0xff000000u | (color & 0xffffff);
  for (int y = r.top; y < r.bottom; ++y)
  {
    uint32_t* row = reinterpret_cast<uint32_t*>(ctx->bits) + (size_t)y * ctx->width;
    std::fill(row + r.left, row + r.right, px);
  }
}
}

HPEN CreatePen(int, int width, COLORREF color) { return NewObject(kGdiPen, color, std::max(width, 0)); }

HBRUSH CreateSolidBrush(COLORREF color) { return NewObject(kGdiBrush, color, 0); }

HGDIOBJ GetStockObject(int idx)
{
  StockObjects& s = Stock();
  switch (idx)
  {
    case WHITE_BRUSH: return &s.whiteBrush;
    case BLACK_BRUSH: return &s.blackBrush;
    case NULL_BRUSH: return &s.nullBrush;
    case WHITE_PEN: return &s.whitePen;
    case BLACK_PEN: return &s.blackPen;
    case NULL_PEN: return &s.nullPen;
  }
  return nullptr;
}

HGDIOBJ SelectObject(HDC ctx, HGDIOBJ obj)
{
  if (!IsLiveContext(ctx)) return nullptr;
  const uintptr_t small = (uintptr_t)obj;
  int type;
  if (small >= kGdiPen && small <= kGdiFont) type = (int)small;
  else if (IsLiveObject(obj) && SlotFor(ctx, obj->type)) type = obj->type;
  else return nullptr;

  HGDIOBJ* slot = SlotFor(ctx, type);
  HGDIOBJ prev = *slot;
  *slot = IsObjectHandle(obj) ? obj : nullptr;
  // a slot whose object has been released since counts as empty
  if (!IsLiveObject(prev)) prev = reinterpret_cast<HGDIOBJ>((uintptr_t)type);
  return prev;
}

void DeleteObject(HGDIOBJ obj)
{
  if (!IsLiveObject(obj) || obj->wid < 0) return;
  if (obj->additional_refcnt > 0)
  {
    --obj->additional_refcnt;
    return;
  }
  if (obj->type == kGdiFont && obj->font)
  {
    swell_detail::ReleaseSizedFont(obj->font);
    obj->font = nullptr;
  }
  swell_detail::ReleaseObjectRecord(obj);
}

HGDIOBJ SWELL_CloneGDIObject(HGDIOBJ obj)
{
  if (!IsLiveObject(obj)) return nullptr;
  ++obj->additional_refcnt;
  return obj;
}

void SetTextColor(HDC ctx, COLORREF color)
{
  if (IsLiveContext(ctx)) ctx->textcolor = color & 0xffffff;
}

COLORREF GetTextColor(HDC ctx) { return IsLiveContext(ctx) ? ctx->textcolor : (COLORREF)-1; }

void SetBkColor(HDC ctx, COLORREF color)
{
  if (IsLiveContext(ctx)) ctx->bkcolor = color & 0xffffff;
}

void SetBkMode(HDC ctx, int mode)
{
  if (IsLiveContext(ctx)) ctx->bkmode = mode;
}

void SWELL_FillRect(HDC ctx, const RECT* rect, HBRUSH brush)
{
  if (!IsLiveContext(ctx) || !rect || !IsLiveObject(brush) || brush->type != kGdiBrush || brush->hollow) return;
  const RECT r = Intersect(ctx->clip, *rect);
  if (!IsEmptyRect(r)) swell_detail::FillOpaque(ctx, r, brush->color);
}

void SWELL_PushClipRegion(HDC ctx)
{
  if (!IsLiveContext(ctx)) return;
  if (ctx->clipdepth < kSwellClipDepth) ctx->clipstack[ctx->clipdepth] = ctx->clip;
  if (ctx->clipdepth < INT32_MAX) ++ctx->clipdepth;
}

void SWELL_SetClipRegion(HDC ctx, const RECT* rect)
{
  if (!IsLiveContext(ctx) || !rect) return;
  // (left, top, width, height) as the caller's rectangle says; a negative size is empty
  const int64_t w = (int64_t)rect->right - rect->left, h = (int64_t)rect->bottom - rect->top;
  RECT r = {rect->left, rect->top, rect->right, rect->bottom};
  if (w <= 0 || h <= 0) r = RECT{0, 0, 0, 0};
  ctx->clip = Intersect(ctx->clip, r);
  if (IsEmptyRect(ctx->clip)) ctx->clip = RECT{0, 0, 0, 0};
}

void SWELL_PopClipRegion(HDC ctx)
{
  if (!IsLiveContext(ctx) || ctx->clipdepth <= 0) return;
  --ctx->clipdepth;
  if (ctx->clipdepth < kSwellClipDepth) ctx->clip = ctx->clipstack[ctx->clipdepth];
}
