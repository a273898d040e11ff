// Device contexts and GDI objects: the records every drawing call of the windowing layer works
// on, their recycling pools, memory contexts (the pixels of the graphics library's system
// bitmap), pens, brushes, selection, cloning, deletion and the text colour state.
//
// Threads: any thread may create and delete contexts and objects (pools and the registry of
// live records share one recursive lock); a context or object is used by one thread at a time.
//
// Handles are checked, never trusted: every entry point looks the record up in the registry of
// live records before touching it, so a handle that was deleted (pooled, or freed when the pool
// was full) is refused without its memory being read. A handle of a record that has since been
// reused for a new object refers to that new object, as on Win32.
#pragma once

#include <cstdint>

#include "WINX_Canvas.h"
#include "WINX_Types.h"

struct WINX_FontData;  // the Pango side of a font (WINX_Font.h)

// Device context. `ctx` MUST stay the first field: the GUI framework reads it directly to copy
// a memory context's pixels to the screen.
struct HDC__ {
  WINX_Canvas* ctx;      // the canvas drawn into
  void* ownedData;       // memory context: the unaligned pixel block; non-null also means the
                         // record owns `ctx`. Null for every other context.
  HGDIOBJ__* curPen;     // selected objects, or null
  HGDIOBJ__* curBrush;
  HGDIOBJ__* curFont;
  int32_t textColor;     // colour int; 0 (black) in a new context
  int32_t bkColor;       // colour int of the text background
  int32_t bkMode;        // OPAQUE (1) fills the text's box with bkColor first
  float lastPosX, lastPosY;
  void* glContext;       // set by a paint pass of a GL window view; null otherwise
  uint8_t inPool;        // 1 while the record rests in the context pool
  HDC__* poolNext;
  uint8_t hasTextColor;  // text colour set (memory contexts and SetTextColor); else text is black
};

// Pen and brush colour with its alpha, channels 0..1.
struct WINX_Color {
  float r, g, b, a;
};

enum { WINX_GDI_PEN = 1, WINX_GDI_BRUSH = 2, WINX_GDI_FONT = 3, WINX_GDI_BITMAP = 4 };

// GDI object: pen, brush, font or bitmap (icons and image-list entries are bitmaps).
struct HGDIOBJ__ {
  int32_t type;          // WINX_GDI_PEN .. WINX_GDI_BITMAP
  int32_t extraRefs;     // references added by WINX_CloneGDIObject
  WINX_Color color;      // pen or brush colour
  int32_t width;         // pen: line width (negative: null pen); brush: 0 (negative: null
                         // brush); bitmap: 1 = the record holds a reference to `image`
  void* image;           // bitmap: its image, released through imageRelease when width != 0
  void (*imageRelease)(void* image);
  int32_t imageWidth, imageHeight;
  float fontRotation;    // font: orientation in degrees
  uint8_t inPool;        // 1 while the record rests in the object pool
  HGDIOBJ__* poolNext;
  WINX_FontData* font;   // font: the resolved font, owned
  uint8_t fontQuality;   // font: 3 (not antialiased), 4 (antialiased), else 0
};

// The canvas of a context made elsewhere (a window's paint pass); the context owns nothing.
HDC WINX_CreateGfxContext(WINX_Canvas* canvas);
// Memory context of width x height pixels, zero-filled, rows 64-byte aligned and width * 4 bytes
// apart. Null when a size is not positive, the pixels would exceed 2 GiB, or memory runs out.
HDC WINX_CreateMemContext(HDC reference, int width, int height);
// The 64-byte-aligned pixels of a memory context; null for anything else.
void* WINX_GetCtxFrameBuffer(HDC hdc);
WINX_Canvas* WINX_GetCtxGC(HDC hdc);
void WINX_DeleteGfxContext(HDC hdc);

HPEN CreatePen(int style, int width, int color);
HPEN CreatePenAlpha(int style, int width, int color, float alpha);
HBRUSH CreateSolidBrush(int color);
HBRUSH CreateSolidBrushAlpha(int color, float alpha);
// 1: the null pen, 2: the null brush (never freed); anything else null.
HGDIOBJ GetStockObject(int id);
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj);
HGDIOBJ WINX_CloneGDIObject(HGDIOBJ obj);
void DeleteObject(HGDIOBJ obj);
// A bitmap's size as two int32 (width, height) when size is 8; zero-fills `size` bytes first.
int GetObject(HGDIOBJ obj, int size, void* buffer);

void SetTextColor(HDC hdc, int color);
int GetTextColor(HDC hdc);  // -1 for an invalid context
void SetBkColor(HDC hdc, int color);
void SetBkMode(HDC hdc, int mode);

// Record checks for the layer's own entry points: the record when the handle names a live
// record (of the given type, when type is non-zero), else null. Handles below 5 give null.
HDC__* WINX_ValidDC(HDC hdc);
HGDIOBJ__* WINX_ValidObj(HGDIOBJ obj, int type = 0);
// Takes a zeroed object record of the given type and registers it as live (null when memory
// ran out). For the layer's own creators (fonts, bitmaps).
HGDIOBJ__* WINX_NewGDIObject(int type);

// Pool sizes, for tests and diagnostics.
struct WINX_GdiStats {
  int contextPool, objectPool, liveContexts, liveObjects;
};
WINX_GdiStats WINX_GetGdiStats();
