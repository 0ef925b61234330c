// swell.h: the Win32-style GDI surface that the raster and text layers draw through.
//
// Memory drawing contexts (the frame buffers behind LICE_SysBitmap), GDI objects (pens,
// brushes, fonts), text colour and background settings, clip save/restore, text metrics and
// UTF-8 text measuring and drawing. Handles are opaque; every call on a null or released
// handle returns its failure value (0, null or -1) and changes nothing.
//
// Threads: a context or object is used by one thread at a time. The record pools and the
// font-name cache are process-wide and guarded by mutexes of their own, so several editors
// may create and release contexts and fonts at once; text rasterising is serialised inside
// the layer (font engines are not thread-safe).
#ifndef WDL_SWELL_SWELL_H
#define WDL_SWELL_SWELL_H

typedef int BOOL;
typedef unsigned int COLORREF; // 0x00RRGGBB, the layout of a LICE_pixel without alpha

// Opaque handles; the records behind them are private to WDL/swell.
typedef struct HDC__* HDC;
typedef struct HGDIOBJ__* HGDIOBJ;
typedef HGDIOBJ HFONT;
typedef HGDIOBJ HPEN;
typedef HGDIOBJ HBRUSH;

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

// ---------------------------------------------------------------------------------------
// Memory contexts

// A memory context of w x h pixels: a zero-filled frame buffer of 32 bits per pixel,
// rows of exactly w * 4 bytes, top row first, bytes B, G, R, X in memory (directly a
// LICE_pixel array with row span w), aligned to 64 bytes. ref is ignored. Text colour
// black, transparent background, no clip beyond the buffer.
// Null when w or h is below 1, the size is unreasonable, or memory is short.
HDC SWELL_CreateMemContext(HDC ref, int w, int h);

// The frame buffer of a memory context; null for a null or released context.
void* SWELL_GetCtxFrameBuffer(HDC ctx);

// Releases the context and its frame buffer. Null and already released contexts are ignored.
void SWELL_DeleteGfxContext(HDC ctx);

// ---------------------------------------------------------------------------------------
// GDI objects

#define FW_NORMAL 400
#define FW_BOLD 700

// Font quality: 3 forces plain (non-anti-aliased) glyphs, 4 forces anti-aliasing, every
// other value leaves the context's setting (anti-aliased).
#define DEFAULT_QUALITY 0
#define NONANTIALIASED_QUALITY 3
#define ANTIALIASED_QUALITY 4

typedef struct tagLOGFONT
{
  int lfHeight, lfWidth, lfEscapement, lfOrientation, lfWeight;
  char lfItalic, lfUnderline, lfStrikeOut, lfCharSet, lfOutPrecision, lfClipPrecision, lfQuality,
      lfPitchAndFamily;
  char lfFaceName[32];
} LOGFONT, *LPLOGFONT;

typedef struct tagTEXTMETRIC
{
  int tmHeight, tmAscent, tmDescent, tmInternalLeading, tmAveCharWidth;
} TEXTMETRIC, *LPTEXTMETRIC;

// A font of |height| pixels (|width| when height is 0; sizes below 2 or above 8192 become
// 10), looked up by face name, weight (>= 700 is bold) and italic; a face the system does
// not know falls back to the default sans. Never null while any font is installed.
HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, char italic,
                 char underline, char strikeout, char charset, char outprecision, char clipprecision,
                 char quality, char pitchandfamily, const char* facename);
HFONT CreateFontIndirect(const LOGFONT* lf);

#define PS_SOLID 0
HPEN CreatePen(int style, int width, COLORREF color);
HBRUSH CreateSolidBrush(COLORREF color);
#define NULL_BRUSH 5
#define NULL_PEN 8
#define BLACK_BRUSH 4
#define WHITE_BRUSH 0
#define BLACK_PEN 7
#define WHITE_PEN 6
// Static pens and brushes, never freed (DeleteObject ignores them); null for other indices.
HGDIOBJ GetStockObject(int idx);

// Puts a pen, brush or font into the context's slot of that type and returns the previous
// one, or the small integer of that type (1 pen, 2 brush, 3 font) when the slot held
// nothing; selecting that small integer later clears the slot. 0 for a null or released
// context or an invalid object.
HGDIOBJ SelectObject(HDC ctx, HGDIOBJ obj);
// Releases an object. Handles below 5, static objects and released objects are ignored; an
// object cloned with SWELL_CloneGDIObject needs one more DeleteObject per clone.
void DeleteObject(HGDIOBJ obj);
// Raises the object's extra reference count; returns obj.
HGDIOBJ SWELL_CloneGDIObject(HGDIOBJ obj);

// ---------------------------------------------------------------------------------------
// Text settings and metrics

#define TRANSPARENT 0
#define OPAQUE 1

void SetTextColor(HDC ctx, COLORREF color);
COLORREF GetTextColor(HDC ctx); // (COLORREF)-1 for a null or released context
void SetBkColor(HDC ctx, COLORREF color);
void SetBkMode(HDC ctx, int mode); // 1 = opaque: each text line's box is filled first

// Fills tmHeight, tmAscent, tmDescent, tmInternalLeading, tmAveCharWidth of the selected
// font (or the default font). The record first gets the defaults 16, 12, 4, 3, 10; returns 0
// leaving them for a null record or context, else 1.
BOOL GetTextMetrics(HDC ctx, TEXTMETRIC* tm);
// Copies the selected font's face name (at most n - 1 bytes, always terminated); returns
// the number of bytes copied, 0 without a font or buffer.
int GetTextFace(HDC ctx, int n, char* name);
// Maps UTF-16 code units to glyph indices of the selected font; a missing glyph becomes
// 0xFFFF when flags is 1, else 0. Returns n, or 0 on failure (every index then set the same
// way).
int GetGlyphIndicesW(HDC ctx, const unsigned short* chars, int n, unsigned short* indices, int flags);
// Registers a font file for this process (bit 0 of flags) or the user; returns the number
// of faces added, 0 on failure.
int AddFontResourceEx(const char* path, int flags, void* reserved);

// ---------------------------------------------------------------------------------------
// Text drawing

#define DT_TOP 0x0
#define DT_LEFT 0x0
#define DT_CENTER 0x1
#define DT_RIGHT 0x2
#define DT_VCENTER 0x4
#define DT_BOTTOM 0x8
#define DT_SINGLELINE 0x20
#define DT_NOCLIP 0x100
#define DT_CALCRECT 0x400
#define DT_NOPREFIX 0x800

// Measures or draws UTF-8 text (len < 0: up to the terminating zero; at most 4095 bytes are
// considered) in the selected font and text colour; returns the text height (0 for an empty
// text, leaving rect alone). Unless DT_NOPREFIX an ampersand is dropped and the character
// after it kept; carriage returns are dropped; DT_SINGLELINE turns line feeds into spaces.
// DT_CALCRECT sets rect->right and rect->bottom to the measured box and draws nothing.
// Otherwise the text is placed in rect by the alignment flags and clipped to rect (unless
// DT_NOCLIP) and to the context's clip.
int SWELL_DrawText(HDC ctx, const char* text, int len, RECT* rect, int flags);
inline int DrawText(HDC ctx, const char* text, int len, RECT* rect, int flags)
{
  return SWELL_DrawText(ctx, text, len, rect, flags);
}

// Fills rect with the brush's colour, clipped to the context's clip.
void SWELL_FillRect(HDC ctx, const RECT* rect, HBRUSH brush);

// Clip stack: push saves the clip, set intersects it with the rectangle, pop restores the
// last saved clip (a pop without a push is ignored).
void SWELL_PushClipRegion(HDC ctx);
void SWELL_SetClipRegion(HDC ctx, const RECT* rect);
void SWELL_PopClipRegion(HDC ctx);

#endif
