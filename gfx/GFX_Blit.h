// Blits between bitmaps: unscaled (with channel copy), scaled (nearest, bilinear, box filter),
// whole-bitmap copy, halving and comparison.
//
// All of them run on the caller's thread without locks and clip everything themselves, so
// positions and rectangles may lie partly or wholly outside either bitmap. They report no errors:
// a null bitmap, null bits, zero (or non-finite) alpha, an empty or fully clipped area or an
// operation outside the blend-mode table draws nothing. See GFX_Types.h for the mode word.
#pragma once

#include "GFX_Bitmap.h"

// Draws `srcRect` of src (null: all of it) at (dstx, dsty). A negative left/top of srcRect moves
// the destination instead. Overlapping areas of one bitmap give the result of a copy through a
// temporary.
void GFX_Blit(GFX_IBitmap* dest, GFX_IBitmap* src, int dstx, int dsty, const RECT* srcRect, float alpha, int mode);
void GFX_Blit(GFX_IBitmap* dest, GFX_IBitmap* src, int dstx, int dsty, int srcx, int srcy, int srcw, int srch,
              float alpha, int mode);

// Resizes dest to src's size and copies every pixel.
void GFX_Copy(GFX_IBitmap* dest, GFX_IBitmap* src);

// Draws the source area (float source coordinates) into the destination rectangle. A negative
// destination width or height mirrors. Filter field 0x100 = bilinear (box filter when shrinking
// by 1.7 or more in both directions). Non-finite coordinates, sizes or alpha draw nothing.
void GFX_ScaledBlit(GFX_IBitmap* dest, GFX_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx,
                    float srcy, float srcw, float srch, float alpha, int mode);

// Half-size box-filtered copy of src into the top-left of dest (rows in memory order).
void GFX_HalveBlitAA(GFX_IBitmap* dest, GFX_IBitmap* src);

// Without coordsOut: an ordering (size difference, else memcmp of the first differing row).
// With coordsOut (x, y, width, height): the bounding box of differing pixels; returns 1 when any
// pixel differs, else 0 with an all-zero box. Bitmaps of equal size of which one or both have no
// pixels compare equal when both lack pixels, else the one without pixels orders first (with
// coordsOut: the whole area differs).
int GFX_BitmapCmp(GFX_IBitmap* a, GFX_IBitmap* b, int* coordsOut);
