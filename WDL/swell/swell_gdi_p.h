// Private: the drawing-context record behind an HDC, shared by the GDI sources of WDL/swell.
#ifndef WDL_SWELL_SWELL_GDI_P_H
#define WDL_SWELL_SWELL_GDI_P_H

#include "swell.h"

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
};

namespace swell_detail
{
// Records come from a process-wide pool (at most 100 kept); both calls are thread-safe.
HDC__* AllocContextRecord();     // zeroed record, or null
void ReleaseContextRecord(HDC__* ctx);
inline bool IsLiveContext(const HDC__* ctx) { return ctx && !ctx->pooled; }
}

#endif
