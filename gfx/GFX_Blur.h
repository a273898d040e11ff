// Five-point blur of a rectangle, all four channels of a pixel word at once.
//
// Runs on the caller's thread without locks; reports nothing. Source and destination may be
// the same bitmap, at the same position (the cached font blurs glyphs in place) or at another.
#pragma once

#include "GFX_Bitmap.h"

// Blurs the source rectangle (clipped to the source) into dest at (dstx, dsty). A rectangle
// narrower or lower than 2 pixels after clipping draws nothing. Neighbours are only ever taken
// inside the clipped rectangle.
void GFX_Blur(GFX_IBitmap* dest, GFX_IBitmap* src, int dstx, int dsty, int srcx, int srcy, int srcw, int srch);
