// swell.h: the Win32-style GDI surface that the raster and text layers draw through.
//
// This is the start of that surface: the handle and rectangle types and the memory
// drawing context whose frame buffer backs LICE_SysBitmap. Fonts and text come later
// in their own source file; nothing here depends on a platform library.
#ifndef WDL_SWELL_SWELL_H
#define WDL_SWELL_SWELL_H

typedef int BOOL;
typedef unsigned int COLORREF; // 0x00RRGGBB, the layout of a LICE_pixel without alpha

// Opaque handles; the records behind them are private to WDL/swell.
typedef struct HDC__* HDC;
typedef struct HGDIOBJ__* HGDIOBJ;

// Right and bottom are exclusive.
typedef struct tagRECT
{
  int left, top, right, bottom;
} RECT, *LPRECT;

typedef struct tagPOINT
{
  int x, y;
} POINT, *LPPOINT;

#define RGB(r, g, b) ((COLORREF)(((r) & 0xff) << 16 | ((g) & 0xff) << 8 | ((b) & 0xff)))
#define GetRValue(c) ((int)(((c) >> 16) & 0xff))
#define GetGValue(c) ((int)(((c) >> 8) & 0xff))
#define GetBValue(c) ((int)((c) & 0xff))

// A memory context of w x h pixels: a zero-filled frame buffer of 32 bits per pixel,
// rows of exactly w * 4 bytes, top row first, bytes B, G, R, X in memory (directly a
// LICE_pixel array with row span w), aligned to 64 bytes. ref is ignored.
// Null when w or h is below 1, the size is unreasonable, or memory is short.
HDC SWELL_CreateMemContext(HDC ref, int w, int h);

// The frame buffer of a memory context; null for a null or released context.
void* SWELL_GetCtxFrameBuffer(HDC ctx);

// Releases the context and its frame buffer. Null and already released contexts are ignored.
void SWELL_DeleteGfxContext(HDC ctx);

#endif
