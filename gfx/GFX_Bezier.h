// Quadratic and cubic Bezier curves drawn as chains of GFX_FLine pieces, and the region between a
// cubic and a row or column filled as a chain of convex polygons. Each curve is first cut to the
// bitmap's columns by solving it for the parameter at the edges; rows are left to the line and
// polygon operations. The piece count is the control-polygon length over the tolerance `tol`
// (pixels per piece; 0 or below means 1), at most GFX_MAX_BEZIER_PIECES.
//
// Caller's thread, no errors; colour, opacity and mode go unchanged to the line and polygon
// operations. Non-finite input draws nothing.
#pragma once

#include "GFX_Bitmap.h"

enum { GFX_MAX_BEZIER_PIECES = 1 << 16 };

void GFX_DrawQBezier(GFX_IBitmap* bm, float xstart, float ystart, float xctl, float yctl, float xend, float yend,
                     GFX_pixel color, float alpha, int mode, bool aa, float tol);
void GFX_DrawCBezier(GFX_IBitmap* bm, float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3,
                     GFX_pixel color, float alpha, int mode, bool aa, float tol);
// Fills between the curve and row yfill (a curve above the row fills down to and including row
// yfill + 1; one below fills from row yfill down).
void GFX_FillCBezier(GFX_IBitmap* bm, float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3,
                     int yfill, GFX_pixel color, float alpha, int mode, float tol);
// The same toward column xfill.
void GFX_FillCBezierX(GFX_IBitmap* bm, float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3,
                      int xfill, GFX_pixel color, float alpha, int mode, float tol);

// y of the quadratic at x (x0 <= x2 assumed); writes the parameter to *t when t is not null.
float GFX_Bezier_GetY(float x0, float xctl, float x2, float y0, float yctl, float y2, float x, double* t);
// y of the cubic at x (x rising from x0 to x3 assumed), by eight bisection steps and linear
// interpolation in the bracket; the outputs may be null.
float GFX_CBezier_GetY(float x0, float x1, float x2, float x3, float y0, float y1, float y2, float y3, float x,
                       float* nextx, float* slope, double* tlo, double* thi);
