// Circle outlines, filled circles, arcs and rounded-rectangle outlines. Conventions as
// GFX_Line.h: caller's thread, no errors, low byte of the mode only, the colour's alpha byte as
// source alpha, weight trunc(alpha * 256) not clamped.
//
// Centres, radii and angles are floats; angles are radians clockwise from straight up, so the
// point at angle a is (cx + r sin a, cy - r cos a). Non-finite input, a negative radius, and
// centres or radii beyond +-GFX_MAX_CIRCLE_COORD (far off any bitmap; the plotting loops run
// over the whole radius) draw nothing.
#pragma once

#include "GFX_Bitmap.h"

enum { GFX_MAX_CIRCLE_COORD = 1 << 22 };

// Radii 1.5, 2.0, 2.5, 3.0, 3.5 and 4.0 are drawn from constant masks through GFX_DrawGlyph.
void GFX_Circle(GFX_IBitmap* bm, float cx, float cy, float r, GFX_pixel color, float alpha, int mode, bool aa);
void GFX_FillCircle(GFX_IBitmap* bm, float cx, float cy, float r, GFX_pixel color, float alpha, int mode, bool aa);
// The angles may come in either order; a span of 2 pi or more is the whole circle. The circle is
// drawn quarter by quarter, each clipped to the bounding box of its piece of the arc (so the
// antialiasing fringe outside a box is not drawn).
void GFX_Arc(GFX_IBitmap* bm, float cx, float cy, float r, float a1, float a2, GFX_pixel color, float alpha, int mode,
             bool aa);
// Covers columns x .. x + w and rows y .. y + h; a corner radius below 2 after fitting draws a
// plain rectangle outline.
void GFX_RoundRect(GFX_IBitmap* bm, float x, float y, float w, float h, int cornerRadius, GFX_pixel color, float alpha,
                   int mode, bool aa);
