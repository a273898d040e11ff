// Operations that change one bitmap in place: fills, clears, per-channel arithmetic, callbacks
// over a rectangle, colour keys, scan fill, single pixels.
//
// Same conventions as the blits: no locks, no errors, everything clipped; a null bitmap or one
// without pixels makes the call do nothing. The mode's low byte selects the combiner (0 copy,
// 1 add, 2 dodge, 3 multiply, 4 overlay, 5 HSV adjust; anything else draws nothing); for
// GFX_FillRect only, 0x10000 scales the opacity by the colour's own alpha.
#pragma once

#include "GFX_Bitmap.h"

void GFX_FillRect(GFX_IBitmap* bm, int x, int y, int w, int h, GFX_pixel color, float alpha, int mode);
void GFX_Clear(GFX_IBitmap* bm, GFX_pixel color);
void GFX_ClearRect(GFX_IBitmap* bm, int x, int y, int w, int h, GFX_pixel mask, GFX_pixel orbits);
void GFX_MultiplyAddRect(GFX_IBitmap* bm, int x, int y, int w, int h, float rsc, float gsc, float bsc, float asc,
                         float radd, float gadd, float badd, float aadd);
void GFX_ProcessRect(GFX_IBitmap* bm, int x, int y, int w, int h, void (*procFunc)(GFX_pixel* p, void* parm),
                     void* parm);
void GFX_SetAlphaFromColorMask(GFX_IBitmap* bm, GFX_pixel color);
void GFX_SimpleFill(GFX_IBitmap* bm, int x, int y, GFX_pixel newcolor, GFX_pixel comparemask, GFX_pixel keepmask);
GFX_pixel GFX_GetPixel(GFX_IBitmap* bm, int x, int y);
void GFX_PutPixel(GFX_IBitmap* bm, int x, int y, GFX_pixel color, float alpha, int mode);
