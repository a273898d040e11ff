// Win32 types and constants of the windowing layer, with this layer's values (where they differ
// from Win32's, ours hold: the DT_ flags below are NOT Win32's numbers).
//
// Handles are pointers to records that the layer checks before every use (WINX_GDI.h); values
// below 5 are never records: 1, 2 and 3 are the "nothing selected" kind handles of pen, brush
// and font that SelectObject hands back.
#pragma once

#include <cstdint>

// Right and bottom are exclusive.
typedef struct tagRECT {
  int left, top, right, bottom;
} RECT;
typedef RECT* LPRECT;

struct POINT {
  int32_t x, y;
};

struct HDC__;
struct HGDIOBJ__;
struct WINX_Canvas;
typedef HDC__* HDC;
typedef HGDIOBJ__* HGDIOBJ;
typedef HGDIOBJ__* HPEN;
typedef HGDIOBJ__* HBRUSH;
typedef HGDIOBJ__* HFONT;
typedef HGDIOBJ__* HBITMAP;
typedef HGDIOBJ__* HICON;

// Colour int: 0x00RRGGBB (red in bits 16-23, blue in bits 0-7); bits 24-31 are ignored.
#ifndef RGB
#define RGB(r, g, b) \
  ((int)((((unsigned)(r) & 0xff) << 16) | (((unsigned)(g) & 0xff) << 8) | ((unsigned)(b) & 0xff)))
#endif

// Text-drawing flags of WINX_DrawText and GFX_CachedFont::DrawText.
enum {
  DT_CALCRECT = 0x01,    // measure only: set right and bottom, draw nothing
  DT_VCENTER = 0x02,     // ignored when DT_BOTTOM is set
  DT_CENTER = 0x04,      // ignored when DT_RIGHT is set
  DT_BOTTOM = 0x10,
  DT_RIGHT = 0x20,
  DT_SINGLELINE = 0x40,  // every line feed becomes a space
  DT_NOPREFIX = 0x80,    // keep '&' characters
  DT_NOCLIP = 0x100,
};
enum { DT_LEFT = 0, DT_TOP = 0 };

// Background modes (SetBkMode): only OPAQUE (1) fills; any other value is transparent.
enum { TRANSPARENT = 0, OPAQUE = 1 };

// Font weights and qualities that CreateFont interprets.
enum { FW_NORMAL = 400, FW_BOLD = 700 };
enum { NONANTIALIASED_QUALITY = 3, ANTIALIASED_QUALITY = 4 };

// Only the leading fields are filled (by GetTextMetrics); the rest is kept for source
// compatibility with Win32 callers that declare the full record.
struct TEXTMETRIC {
  int32_t tmHeight;
  int32_t tmAscent;
  int32_t tmDescent;
  int32_t tmInternalLeading;
  int32_t tmAveCharWidth;
  int32_t tmMaxCharWidth;
  int32_t tmWeight;
  int32_t tmOverhang;
  int32_t tmExternalLeading;
};

struct LOGFONT {
  int32_t lfHeight;
  int32_t lfWidth;
  int32_t lfEscapement;
  int32_t lfOrientation;
  int32_t lfWeight;
  char lfItalic;
  char lfUnderline;
  char lfStrikeOut;
  char lfCharSet;
  char lfOutPrecision;
  char lfClipPrecision;
  char lfQuality;
  char lfPitchAndFamily;
  char lfFaceName[32];
};
