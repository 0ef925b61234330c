// Private: the records behind HDC and HGDIOBJ and the pools they come from, shared by the
// GDI sources of WDL/swell.
#ifndef WDL_SWELL_SWELL_GDI_P_H
#define WDL_SWELL_SWELL_GDI_P_H

#include "swell.h"

namespace swell_detail
{
struct FontFace;
struct SizedFont;
}

// Saved clips beyond this depth are not kept: such a push and its pop leave the clip alone.
constexpr int kSwellClipDepth = 64;

struct HDC__
{
  void* ownedBlock;      // heap block holding a memory context's pixels (63 bytes of slack)
  unsigned char* bits;   // 64-byte-aligned frame buffer inside ownedBlock
  int width, height;     // pixels; the row span is width
  HGDIOBJ curpen, curbrush, curfont;
  COLORREF textcolor, bkcolor;
  int bkmode;            // 1 = opaque text background
  bool pooled;           // set while the record sits in the free pool: every call ignores it
  HDC__* poolnext;

  RECT clip;             // current clip, always inside the buffer
  RECT clipstack[kSwellClipDepth];
  int clipdepth;         // pushes outstanding, including those beyond kSwellClipDepth
};

enum
{
  kGdiPen = 1,
  kGdiBrush = 2,
  kGdiFont = 3
};

struct HGDIOBJ__
{
  int type;               // kGdiPen, kGdiBrush or kGdiFont
  int additional_refcnt;  // raised by SWELL_CloneGDIObject, lowered by DeleteObject
  COLORREF color;         // pens and brushes
  int wid;                // pen width (>= 0); brushes 0; negative marks a static object
  bool hollow;            // stock null pen/brush: paints nothing
  bool pooled;            // as for contexts
  HGDIOBJ__* poolnext;

  // fonts
  const swell_detail::FontFace* face;
  swell_detail::SizedFont* font;  // holds one reference
  unsigned char aamode;            // 3 = plain 1-bit glyphs, 4 = anti-aliased, 0 = context default
  float orientation;               // degrees
};

namespace swell_detail
{
// Both pools share one process-wide mutex; every call here is thread-safe. Records come
// zeroed; released ones are kept (at most 100 contexts, 200 objects) readable and marked
// pooled, so a late call on a released handle finds the flag instead of freed memory.
HDC__* AllocContextRecord();
void ReleaseContextRecord(HDC__* ctx);
HGDIOBJ__* AllocObjectRecord();
void ReleaseObjectRecord(HGDIOBJ__* obj);

inline bool IsLiveContext(const HDC__* ctx) { return ctx && !ctx->pooled; }
// Handles below 5 are the small integers SelectObject hands out, never records.
inline bool IsObjectHandle(const HGDIOBJ__* obj) { return (unsigned long)obj >= 5; }
inline bool IsLiveObject(const HGDIOBJ__* obj) { return IsObjectHandle(obj) && !obj->pooled; }

inline bool IsEmptyRect(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }
inline RECT Intersect(const RECT& a, const RECT& b)
{
  return RECT{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
              a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
}
// Fills r (already clipped) with an opaque colour.
void FillOpaque(HDC__* ctx, const RECT& r, COLORREF color);
}

#endif
