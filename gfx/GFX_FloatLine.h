// Lines with fractional end points, dashed straight lines, and the line clippers on their own.
// Conventions as GFX_Line.h (caller's thread, no errors, low byte of the mode only).
#pragma once

#include "GFX_Line.h"

// Antialiased: coverage shared between two neighbouring pixels along the minor axis, walked from
// the start; every integer major position between the clipped ends gets its pair, the end points
// get no full-weight pixel. Without aa: GFX_Line of the truncated coordinates. Non-finite
// coordinates draw nothing.
void GFX_FLine(GFX_IBitmap* dest, float x1, float y1, float x2, float y2, GFX_pixel color, float alpha, int mode,
               bool aa);

// A horizontal or vertical line drawn as `run` pixels on, `gap` off, starting with a full run at
// the first end; the pixel at the second end is never drawn. Rows are memory rows (a flipped
// bitmap is not mirrored). A run below 1 or a run + gap below 1 draws nothing (a negative gap
// above that overlaps the runs); aa is not used.
void GFX_DashedLine(GFX_IBitmap* dest, int x1, int y1, int x2, int y2, int run, int gap, GFX_pixel color, float alpha,
                    int mode, bool aa);

// Clip a segment to xlo <= x < xhi, ylo <= y < yhi; the coordinates are rewritten (also on
// false, when they mean nothing).
bool GFX_ClipLine(int* x1, int* y1, int* x2, int* y2, int xlo, int ylo, int xhi, int yhi);
// The float clipper keeps xlo <= x < xlo + trunc(xhi - xlo) - 1 (and likewise for y), so that
// the pixel one further, which the antialiased kernel touches, stays inside. Non-finite input
// gives false and leaves the coordinates alone.
bool GFX_ClipFLine(float* x1, float* y1, float* x2, float* y2, float xlo, float ylo, float xhi, float yhi);
