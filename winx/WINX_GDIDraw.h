// Win32 drawing on a device context: shapes and lines with the selected pen and brush, pixels,
// bitmaps and icons, copies between memory contexts, clip regions, the dialog background,
// system colours and image lists. Serves the layer's own windows and controls; the graphics
// library draws its pixels itself.
//
// Everything rasterises straight into the context's canvas (WINX_Canvas) in the graphics
// library's pixel order, without antialiasing: shapes are filled by scanline, strokes are
// stamped with a square pen. A bitmap object's image is a WINX_Image (below). Any thread may draw
// into a context it owns; nothing here takes a lock.
#pragma once

#include <cstdint>

#include "WINX_GDI.h"
#include "WINX_Types.h"

typedef uint32_t DWORD;

// Pixels of a bitmap object: graphics-library order, straight (non-premultiplied) alpha in bits
// 0-7. Reference counted; a bitmap object holds one reference.
struct WINX_Image {
  int width, height;
  int refCount;
  uint32_t* pixels;  // width * height words, row 0 at the top
};
WINX_Image* WINX_ImageCreate(int width, int height);  // zeroed; null for bad sizes
void WINX_ImageRetain(WINX_Image* img);
void WINX_ImageRelease(WINX_Image* img);
// A new bitmap object holding a further reference to img (null for a null image).
HBITMAP WINX_NewBitmapObject(WINX_Image* img);
WINX_Image* WINX_GetBitmapImage(HGDIOBJ obj);

struct ICONINFO {
  int32_t fIcon;
  int32_t xHotspot, yHotspot;
  HBITMAP hbmMask;
  HBITMAP hbmColor;
};

void WINX_FillRect(HDC hdc, const RECT* r, HBRUSH brush);
void Rectangle(HDC hdc, int l, int t, int r, int b);
void Ellipse(HDC hdc, int l, int t, int r, int b);
void WINX_Polygon(HDC hdc, const POINT* pts, int n);
void RoundRect(HDC hdc, int l, int t, int r, int b, int xr, int yr);
void MoveToEx(HDC hdc, int x, int y, POINT* old);
void WINX_LineTo(HDC hdc, int x, int y);
void PolyPolyline(HDC hdc, const POINT* pts, const DWORD* counts, int groups);
void PolyBezierTo(HDC hdc, const POINT* pts, int n);
void WINX_SetPixel(HDC hdc, int x, int y, int color);

// bits: height rows of width * 4 bytes, each pixel A, R, G, B bytes (alpha first); 32 bits per
// pixel only. Null for other formats or bad sizes.
HBITMAP CreateBitmap(int width, int height, int planes, int bitsPerPixel, const void* bits);
HICON CreateIconIndirect(const ICONINFO* info);
// A PNG file (a path with '/') as a bitmap object; alphaFromMagenta clears pure magenta pixels.
HBITMAP LoadNamedImage(const char* name, bool alphaFromMagenta);
void DrawImageInRect(HDC hdc, HBITMAP bitmap, const RECT* r);
int GetSysColor(int index);
void WINX_FillDialogBackground(HDC hdc, const RECT* r, int level);

void BitBlt(HDC out, int x, int y, int w, int h, HDC in, int xIn, int yIn, int mode);
void StretchBlt(HDC out, int x, int y, int w, int h, HDC in, int xIn, int yIn, int wIn, int hIn, int mode);
enum { WINX_BLT_SOURCE_ALPHA = static_cast<int>(0xDEADBEEF) };

void WINX_PushClipRegion(HDC hdc);
void WINX_SetClipRegion(HDC hdc, const RECT* r);
void WINX_PopClipRegion(HDC hdc);

struct WINX_ImageList;
typedef WINX_ImageList* HIMAGELIST;
HIMAGELIST ImageList_CreateEx();
int ImageList_ReplaceIcon(HIMAGELIST list, int index, HICON icon);
int ImageList_Remove(HIMAGELIST list, int index);
int ImageList_GetImageCount(HIMAGELIST list);
HICON ImageList_GetIcon(HIMAGELIST list, int index);  // not a new reference
void ImageList_Destroy(HIMAGELIST list);
