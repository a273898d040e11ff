// One-pixel straight lines between integer points, and the pieces every vector primitive of the
// library shares: the integer segment clipper, the weight and combiner choice, and the line
// kernels (one instance per pixel combiner, chosen once per call).
//
// Caller's thread, no locks, no errors: a null bitmap, a bitmap without pixels, a segment wholly
// outside, a zero weight, a copy-mode weight below zero or a mode low byte above 5 draws nothing.
// Only the low byte of the mode word is read here (0x10000 and the filter field are ignored).
// The colour's own alpha byte is the combiners' source alpha; the opacity is the weight
// ia = trunc(alpha * 256) in single precision, not clamped (modes 1 to 5 take negative weights).
#pragma once

#include <cstddef>

#include "GFX_Bitmap.h"
#include "GFX_Combine.h"

// Both end points included. Flipped bitmaps are honoured (y counts picture rows).
void GFX_Line(GFX_IBitmap* dest, int x1, int y1, int x2, int y2, GFX_pixel color, float alpha, int mode, bool aa);

// ---- library-internal: not for callers outside gfx/ ----
namespace gfx_detail {

// Cohen-Sutherland against 0 <= x < width, 0 <= y < height. A crossing of the lower or right
// edge is computed at height (width) and the point then set to height - 1 (width - 1).
// Coordinates are 64-bit so that callers may translate or mirror 32-bit input without wrapping;
// on true they lie inside the rectangle. An empty rectangle gives false, and so does a segment
// the clipper cannot settle in a few moves (rounding on enormous input), rather than looping.
bool ClipLine(long long* x1, long long* y1, long long* x2, long long* y2, long long width, long long height);

// The Cohen-Sutherland loop of the integer and float clippers. code(x, y) is a point's outcode
// (1 left, 2 right, 4 above, 8 below); move(outcode, x1, y1, x2, y2, &x, &y) moves the point with
// that outcode onto one edge. Each move settles one edge, so eight are the most a segment needs;
// past sixteen (rounding on enormous input) the segment counts as outside rather than looping.
template <class T, class Code, class Move>
bool clipSegment(T* px1, T* py1, T* px2, T* py2, Code code, Move move) {
  T x1 = *px1, y1 = *py1, x2 = *px2, y2 = *py2;
  int c1 = code(x1, y1), c2 = code(x2, y2);
  bool inside = false;
  for (int moves = 0;; ++moves) {
    if (!(c1 | c2)) {
      inside = true;
      break;
    }
    if ((c1 & c2) || moves > 16) break;
    const bool first = c1 != 0;
    T x, y;
    move(first ? c1 : c2, x1, y1, x2, y2, &x, &y);
    if (first) {
      x1 = x, y1 = y;
      c1 = code(x1, y1);
    } else {
      x2 = x, y2 = y;
      c2 = code(x2, y2);
    }
  }
  *px1 = x1, *py1 = y1, *px2 = x2, *py2 = y2;
  return inside;
}

// The weight of an opacity for the vector primitives; false (draw nothing) for a non-finite or
// absurd alpha, a zero weight or a mode low byte above 5.
inline bool vectorWeight(float alpha, int mode, int* ia) {
  if ((mode & 0xff) > 5 || !GFX_AlphaToWeightF(alpha, ia)) return false;
  return *ia != 0;
}

// The combiner of a vector kernel for operation `op` (0..5) and weight ia. `exact` selects the
// plain (not antialiased) choice, where a copy at weight 256 stores the colour and weight 128
// is the half-mix (d + s) >> 1; antialiased kernels split the weight and always use the copy
// combiner. Copy with a negative weight draws nothing. Returns false when nothing is drawn.
template <class F>
inline bool selectVectorCombiner(int op, int ia, bool exact, F&& f) {
  if (ia == 0 || op < 0 || op > 5) return false;
  if (op == 0) {
    if (ia < 0) return false;
    if (exact && ia == 256) f(GFX_CombinerTag<_GFX_CombinePixelsClobberNoClamp>());
    else if (exact && ia == 128) f(GFX_CombinerTag<_GFX_CombinePixelsHalfMixNoClamp>());
    else f(GFX_CombinerTag<_GFX_CombinePixelsCopyNoClamp>());
    return true;
  }
  return GFX_SelectPlainCombiner(op, f);
}

// A colour split into the channel values the combiners take.
struct PixColor {
  int r, g, b, a;
  explicit PixColor(GFX_pixel c)
      : r(static_cast<int>(GFX_GETR(c))), g(static_cast<int>(GFX_GETG(c))), b(static_cast<int>(GFX_GETB(c))),
        a(static_cast<int>(GFX_GETA(c))) {}
};

template <class C>
inline void plot(GFX_pixel* p, const PixColor& c, int w) {
  C::doPix(reinterpret_cast<unsigned char*>(p), c.r, c.g, c.b, c.a, w);
}

// Horizontal, vertical and 45-degree per-pixel weights of an antialiased pair: the main pixel
// and its side neighbour share 255 (not 256) at full weight.
inline void splitWeight(int err, int ia, int* wm, int* ws) {
  const int f = err / 256;
  if (ia == 256) {
    *wm = 255 - f;
    *ws = f;
  } else {
    *wm = ((255 - f) * ia) / 256;
    *ws = (f * ia) / 256;
  }
}
}  // namespace gfx_detail

// Straight kernels. Steps are in pixels (a row step is the row span).
template <class C>
struct __GFX_LineClassSimple {
  static void GFX_HorizLine(GFX_pixel* p, int count, GFX_pixel color, int ia) { GFX_VertLine(p, 1, count, color, ia); }
  static void GFX_VertLine(GFX_pixel* p, std::ptrdiff_t span, int count, GFX_pixel color, int ia) {
    const gfx_detail::PixColor c(color);
    for (int i = 0; i < count; ++i, p += span) gfx_detail::plot<C>(p, c, ia);
  }
  static void GFX_DiagLine(GFX_pixel* p, int n, std::ptrdiff_t xstep, std::ptrdiff_t ystep, GFX_pixel color, int ia) {
    GFX_VertLine(p, xstep + ystep, n + 1, color, ia);
  }
  // n + 1 main pixels at 3/4 of the weight, and beside each but the last the pixel one x step
  // and the pixel one y step away at 1/4.
  static void GFX_DiagLineAA(GFX_pixel* p, int n, std::ptrdiff_t xstep, std::ptrdiff_t ystep, GFX_pixel color,
                             int ia) {
    const gfx_detail::PixColor c(color);
    const int wm = (ia * 3) / 4, ws = ia / 4;
    gfx_detail::plot<C>(p, c, wm);
    for (int i = 0; i < n; ++i) {
      gfx_detail::plot<C>(p + xstep, c, ws);
      gfx_detail::plot<C>(p + ystep, c, ws);
      p += xstep + ystep;
      gfx_detail::plot<C>(p, c, wm);
    }
  }
};

// General kernels. Each member is defined in the file that uses it (GFX_Line.cpp: GFX_LineImpl;
// GFX_FloatLine.cpp: GFX_FLineImpl and DashedLine).
template <class C>
struct __GFX_LineClass {
  // Walks from both ends toward the middle: p the start, q the end pixel, slope s in 16.16,
  // major step a, major length da, signed minor step b.
  static void GFX_LineImpl(GFX_pixel* p, GFX_pixel* q, int s, std::ptrdiff_t a, int da, std::ptrdiff_t b,
                           GFX_pixel color, int ia, bool aa);
  // n + 1 main pixels from p, each sharing its weight with the pixel one signed minor step b
  // away by the 16.16 fraction err.
  static void GFX_FLineImpl(GFX_pixel* p, int n, int err, int s, std::ptrdiff_t a, std::ptrdiff_t b, GFX_pixel color,
                            int ia);
  // Runs of one horizontal or vertical line, coordinates ordered and inside dest.
  static void DashedLine(GFX_IBitmap* dest, int x1, int y1, int x2, int y2, int run, int gap, GFX_pixel color, int ia);
};
