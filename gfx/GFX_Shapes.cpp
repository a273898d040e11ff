// Trapezoids are the one filling primitive: both slanted edges step row by row in 16.16 and each
// clipped row run goes to a fill routine over one combiner. Polygons are sorted by rows, their
// left and right chains found by slope, and filled as a stack of trapezoids.
//
// Edge positions are 64-bit: an edge may start far outside the bitmap, and advancing it over
// the rows above the bitmap at once multiplies a step of up to 2^29 by up to 2^32 rows.
#include "GFX_Shapes.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <new>

#include "GFX_Fill.h"
#include "GFX_Line.h"

using gfx_detail::PixColor;

namespace {
typedef long long i64;

// x of row k below the edge's start: x0 + sign * ((k * |step|) div 65536), rounded toward x0.
struct Edge {
  i64 x = 0, acc = 0, step = 0;
  int sign = 1;
  void init(i64 xtop, i64 xbot, i64 rows) {
    double s = rows ? static_cast<double>(xbot - xtop) * 65536.0 / static_cast<double>(rows) : 0.0;
    s = s < -536870912.0 ? -536870912.0 : s > 536870912.0 ? 536870912.0 : s;
    const i64 st = static_cast<i64>(s);
    x = xtop;
    sign = st < 0 ? -1 : 1;
    step = st < 0 ? -st : st;
    acc = 0;
  }
  void advance(i64 rows) {
    const i64 t = acc + step * rows;
    x += sign * (t >> 16);
    acc = t & 0xffff;
  }
};

// Walks rows of the clipped trapezoid and hands each non-empty run (first pixel, count) to f.
template <class F>
void walkRows(GFX_pixel* row, std::ptrdiff_t span, int rows, int width, Edge l, Edge r, F&& f) {
  const bool rect = l.step == 0 && r.step == 0;
  for (int i = 0; i < rows; ++i, row += span) {
    const i64 lo = l.x > 0 ? l.x : 0, hi = r.x + 1 < width ? r.x + 1 : width;
    if (lo < hi) f(row + lo, static_cast<int>(hi - lo));
    else if (rect) return;  // the same empty run on every row
    if (!rect) {
      l.advance(1);
      r.advance(1);
    }
  }
}

struct Pt {
  int x, y;
};

int _ysort(const Pt& a, const Pt& b) {
  if (a.y != b.y) return a.y < b.y ? -1 : 1;
  if (a.x != b.x) return a.x < b.x ? -1 : 1;
  return 0;
}

// Slopes are measured from the start point, in single precision; the differences are taken in
// 64 bits first so that far-apart points do not wrap.
int FindNextEdgeVertex(const Pt* p, int start, int count, int direction) {
  int best = start;
  float bestSlope = 0.0f;
  for (int j = start + 1; j < count; ++j) {
    if (p[j].y == p[start].y) continue;
    const float s = static_cast<float>(static_cast<i64>(p[j].x) - p[start].x) /
                    static_cast<float>(static_cast<i64>(p[j].y) - p[start].y);
    if (best == start || s == bestSlope || (direction < 0 ? s < bestSlope : s > bestSlope)) {
      best = j;
      bestSlope = s;
    }
  }
  return best;
}

// x of the edge from u (upper) to l (lower) at row y.
int edgeX(const Pt& u, const Pt& l, i64 y) {
  if (y <= u.y) return u.x;
  if (y >= l.y) return l.x;
  const float slope = static_cast<float>(static_cast<i64>(l.x) - u.x) / static_cast<float>(static_cast<i64>(l.y) - u.y);
  const double v = static_cast<double>(u.x) + std::trunc(static_cast<float>(y - u.y) * slope);
  return v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

int clampInt(i64 v) { return v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : static_cast<int>(v); }
}  // namespace

// Per-combiner row fill.
template <class C>
struct _GFX_Fill {
  static void FillClippedTrapezoid(int width, std::ptrdiff_t span, GFX_pixel* row, int rows, const Edge& l,
                                   const Edge& r, GFX_pixel color, int ia) {
    const PixColor c(color);
    walkRows(row, span, rows, width, l, r, [&](GFX_pixel* p, int n) {
      for (int i = 0; i < n; ++i) gfx_detail::plot<C>(p + i, c, ia);
    });
  }
};

// Whole-word copies at the weights 256, 128, 64 and 192; `W` maps (pixel, colour) to a pixel.
template <GFX_pixel (*W)(GFX_pixel, GFX_pixel)>
struct _GFX_FillFast {
  static void FillClippedTrapezoidFAST(int width, std::ptrdiff_t span, GFX_pixel* row, int rows, const Edge& l,
                                       const Edge& r, GFX_pixel color) {
    walkRows(row, span, rows, width, l, r, [&](GFX_pixel* p, int n) {
      for (int i = 0; i < n; ++i) p[i] = W(p[i], color);
    });
  }
};

namespace {
GFX_pixel clobberWord(GFX_pixel, GFX_pixel c) { return c; }
}  // namespace

void GFX_FillTrapezoid(GFX_IBitmap* bm, int x1a, int x1b, int y1, int x2a, int x2b, int y2, GFX_pixel color,
                       float alpha, int mode) {
  if (!bm) return;
  GFX_pixel* bits = bm->getBits();
  const int W = bm->getWidth(), H = bm->getHeight();
  const std::ptrdiff_t span = bm->getRowSpan();
  if (!bits || W < 1 || H < 1 || span < W) return;
  if (y1 > y2) {
    std::swap(y1, y2);
    std::swap(x1a, x2a);
    std::swap(x1b, x2b);
  }
  const i64 xl1 = std::min(x1a, x1b), xr1 = std::max(x1a, x1b), xl2 = std::min(x2a, x2b), xr2 = std::max(x2a, x2b);
  const i64 ytop = y1, ybot = y2;
  if ((xr1 < 0 && xr2 < 0) || (xl1 >= W && xl2 >= W) || ybot < 0 || ytop >= H) return;
  int ia;
  if (!gfx_detail::vectorWeight(alpha, mode, &ia)) return;
  const int op = mode & 0xff;
  if (op == 0 && ia < 0) return;

  Edge l, r;
  const i64 rows = ybot - ytop;
  if (xl1 <= 0 && xl2 <= 0) l.init(0, 0, rows);
  else l.init(xl1, xl2, rows);
  if (xr1 >= W - 1 && xr2 >= W - 1) r.init(W - 1, W - 1, rows);
  else r.init(xr1, xr2, rows);
  i64 first = ytop;
  if (first < 0) {
    l.advance(-first);
    r.advance(-first);
    first = 0;
  }
  const i64 last = ybot < H - 1 ? ybot : H - 1;
  const int n = static_cast<int>(last - first + 1);
  GFX_pixel* row = bits + span * first;

  if (op == 0) {
    switch (ia) {
      case 256: _GFX_FillFast<clobberWord>::FillClippedTrapezoidFAST(W, span, row, n, l, r, color); return;
      case 128: _GFX_FillFast<GFX_HalfMix>::FillClippedTrapezoidFAST(W, span, row, n, l, r, color); return;
      case 64: _GFX_FillFast<GFX_QuarterMix>::FillClippedTrapezoidFAST(W, span, row, n, l, r, color); return;
      case 192: _GFX_FillFast<GFX_ThreeQuarterMix>::FillClippedTrapezoidFAST(W, span, row, n, l, r, color); return;
      default: break;
    }
  }
  GFX_SelectPlainCombiner(op, [&](auto tag) {
    _GFX_Fill<typename decltype(tag)::type>::FillClippedTrapezoid(W, span, row, n, l, r, color, ia);
  });
}

void GFX_FillConvexPolygon(GFX_IBitmap* bm, const int* x, const int* y, int count, GFX_pixel color, float alpha,
                           int mode) {
  if (!bm || !x || !y || count < 3 || count > GFX_MAX_POLYGON_POINTS) return;
  const int W = bm->getWidth(), H = bm->getHeight();
  Pt fixed[512];
  std::unique_ptr<Pt[]> heap;
  Pt* pts = fixed;
  if (count > 512) {
    // Without memory for the points nothing is filled, like any other unusable input.
    heap.reset(new (std::nothrow) Pt[count]);
    if (!heap) return;
    pts = heap.get();
  }
  const bool flip = bm->isFlipped();
  int minx = W, maxx = 0;
  for (int i = 0; i < count; ++i) {
    pts[i].x = x[i];
    pts[i].y = flip ? clampInt(static_cast<i64>(H) - 1 - y[i]) : y[i];
    minx = std::min(minx, x[i]);
    maxx = std::max(maxx, x[i]);
  }
  std::sort(pts, pts + count, [](const Pt& a, const Pt& b) { return _ysort(a, b) < 0; });

  if (pts[0].y == pts[count - 1].y) {
    const int row = pts[0].y;
    if (row < 0 || row >= H || minx > maxx) return;
    GFX_FillTrapezoid(bm, minx, maxx, row, minx, maxx, row, color, alpha, mode);
    return;
  }
  int a = 0, b = 0;
  while (a + 1 < count && pts[a + 1].y == pts[0].y && pts[a + 1].x == pts[0].x) ++a;
  while (b + 1 < count && pts[b + 1].y == pts[0].y) ++b;
  int an = FindNextEdgeVertex(pts, a, count, -1), bn = FindNextEdgeVertex(pts, b, count, +1);
  if (an == a && bn == b) return;
  i64 c = pts[0].y;
  // Each turn moves at least one chain down a vertex, so this ends within 2 * count turns.
  while (an != a || bn != b) {
    const int e = std::min(pts[an].y, pts[bn].y);
    GFX_FillTrapezoid(bm, edgeX(pts[a], pts[an], c), edgeX(pts[b], pts[bn], c), clampInt(c),
                      edgeX(pts[a], pts[an], e), edgeX(pts[b], pts[bn], e), e, color, alpha, mode);
    if (pts[an].y == e) {
      a = an;
      an = FindNextEdgeVertex(pts, a, count, -1);
    }
    if (pts[bn].y == e) {
      b = bn;
      bn = FindNextEdgeVertex(pts, b, count, +1);
    }
    c = static_cast<i64>(e) + 1;
  }
}

void GFX_FillTriangle(GFX_IBitmap* bm, int x1, int y1, int x2, int y2, int x3, int y3, GFX_pixel color, float alpha,
                      int mode) {
  const int xs[3] = {x1, x2, x3}, ys[3] = {y1, y2, y3};
  GFX_FillConvexPolygon(bm, xs, ys, 3, color, alpha, mode);
}

void GFX_DrawRect(GFX_IBitmap* bm, int x, int y, int w, int h, GFX_pixel color, float alpha, int mode) {
  if (!bm) return;
  // Far corners in 64 bits: a clamped coordinate is still off the bitmap, so the clipped
  // lines are the same.
  const int xr = clampInt(static_cast<i64>(x) + w), yb = clampInt(static_cast<i64>(y) + h);
  GFX_Line(bm, x, y, xr, y, color, alpha, mode, false);
  GFX_Line(bm, xr, y, xr, yb, color, alpha, mode, false);
  GFX_Line(bm, xr, yb, x, yb, color, alpha, mode, false);
  GFX_Line(bm, x, yb, x, y, color, alpha, mode, false);
}

void GFX_BorderedRect(GFX_IBitmap* bm, int x, int y, int w, int h, GFX_pixel bgcolor, GFX_pixel fgcolor, float alpha,
                      int mode) {
  if (!bm) return;
  GFX_FillRect(bm, clampInt(static_cast<i64>(x) + 1), clampInt(static_cast<i64>(y) + 1), clampInt(static_cast<i64>(w) - 1),
               clampInt(static_cast<i64>(h) - 1), bgcolor, alpha, mode);
  GFX_DrawRect(bm, x, y, w, h, fgcolor, alpha, mode);
}
