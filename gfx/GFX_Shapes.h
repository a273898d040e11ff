// Filled trapezoids, convex polygons and triangles; rectangle outlines and bordered rectangles.
// Conventions as GFX_Line.h: caller's thread, no errors, low byte of the mode only, the colour's
// alpha byte as source alpha, weight trunc(alpha * 256) not clamped.
#pragma once

#include "GFX_Bitmap.h"

// Row y1 runs between x1a and x1b, row y2 between x2a and x2b (both ends and both rows
// included); the slanted edges are stepped in 16.16 and rounded toward their top x. Rows are
// memory rows: a flipped bitmap is not mirrored here.
void GFX_FillTrapezoid(GFX_IBitmap* bm, int x1a, int x1b, int y1, int x2a, int x2b, int y2, GFX_pixel color,
                       float alpha, int mode);
// The points may come in any order; fewer than 3, or more than GFX_MAX_POLYGON_POINTS (the
// edge search is quadratic in the count), fill nothing. A flipped bitmap is mirrored.
enum { GFX_MAX_POLYGON_POINTS = 8192 };
void GFX_FillConvexPolygon(GFX_IBitmap* bm, const int* x, const int* y, int count, GFX_pixel color, float alpha,
                           int mode);
void GFX_FillTriangle(GFX_IBitmap* bm, int x1, int y1, int x2, int y2, int x3, int y3, GFX_pixel color, float alpha,
                      int mode);
// Outline from (x, y) to (x + w, y + h): w + 1 columns by h + 1 rows, corners drawn twice.
void GFX_DrawRect(GFX_IBitmap* bm, int x, int y, int w, int h, GFX_pixel color, float alpha, int mode);
// GFX_FillRect of the interior (x + 1, y + 1, w - 1, h - 1) in bgcolor, then the outline.
void GFX_BorderedRect(GFX_IBitmap* bm, int x, int y, int w, int h, GFX_pixel bgcolor, GFX_pixel fgcolor, float alpha,
                      int mode);
