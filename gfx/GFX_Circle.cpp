// One pixel engine for every round shape: the circle drawer, a family of plotting routines per
// combiner reached through one dispatcher. Whole circles use octant symmetry; an arc is the whole
// circle clipped, quarter by quarter, to the bounding box of each piece.
#include "GFX_Circle.h"

#include <cmath>
#include <initializer_list>

#include "GFX_Glyph.h"
#include "GFX_Line.h"
#include "GFX_Shapes.h"

using gfx_detail::PixColor;

namespace {

// Left and top inclusive, right and bottom exclusive.
struct Clip {
  int l, t, r, b;
};
struct Target {
  GFX_pixel* bits;
  std::ptrdiff_t span;
};

// Small circles as coverage masks, row by row: plain and antialiased, radius 1.5 (4x4) to 4.0 (9x9).
const unsigned char kPlain15[] = {0, 255, 255, 0, 255, 0, 0, 255, 255, 0, 0, 255, 0, 255, 255, 0};
const unsigned char kAA15[] = {79, 255, 255, 79, 255, 15, 15, 255, 255, 15, 15, 255, 79, 255, 255, 79};
const unsigned char kPlain20[] = {0,   0, 255, 0, 0,   0,   255, 0, 255, 0, 255, 0, 0,
                                  0,   255, 0, 255, 0, 255, 0, 0,   0, 255, 0, 0};
const unsigned char kAA20[] = {15,  191, 255, 191, 15,  191, 209, 79, 209, 191, 255, 79, 0,
                               79,  255, 191, 209, 79,  209, 191, 15, 191, 255, 191, 15};
const unsigned char kPlain25[] = {0,   0, 255, 255, 0, 0,   0,   255, 0, 0, 255, 0,   255, 0, 0, 0, 0,   255,
                                  255, 0, 0,   0,   0, 255, 0,   255, 0, 0, 255, 0,   0,   0, 255, 255, 0, 0};
const unsigned char kAA25[] = {15,  191, 255, 255, 191, 15,  191, 209, 79,  79,  209, 191,
                               255, 79,  0,   0,   79,  255, 255, 79,  0,   0,   79,  255,
                               191, 209, 79,  79,  209, 191, 15,  191, 255, 255, 191, 15};
const unsigned char kPlain30[] = {0,   0,   255, 255, 255, 0,   0,   0,   255, 0,   0,   0, 255, 0, 255, 0, 0,
                                  0,   0,   0,   255, 255, 0,   0,   0,   0,   0,   255, 255, 0, 0, 0,   0, 0,
                                  255, 0,   255, 0,   0,   0,   255, 0,   0,   0,   255, 255, 255, 0, 0};
const unsigned char kAA30[] = {0,   143, 255, 255, 255, 143, 0,   143, 255, 97,  64,  97,  255, 143, 255, 112, 0,
                               0,   0,   112, 255, 255, 48,  0,   0,   0,   48,  255, 255, 112, 0,   0,   0,   112,
                               255, 143, 255, 97,  64,  97,  255, 143, 0,   143, 255, 255, 255, 143, 0};
const unsigned char kPlain35[] = {0,   0,   255, 255, 255, 255, 0,   0,   0,   255, 255, 0,   0,   255, 255, 0,
                                  255, 255, 0,   0,   0,   0,   255, 255, 255, 0,   0,   0,   0,   0,   0,   255,
                                  255, 0,   0,   0,   0,   0,   0,   255, 255, 255, 0,   0,   0,   0,   255, 255,
                                  0,   255, 255, 0,   0,   255, 255, 0,   0,   0,   255, 255, 255, 255, 0,   0};
const unsigned char kAA35[] = {0,   79,  222, 255, 255, 222, 79,  0,   79,  255, 176, 64,  64,  176, 255, 79,
                               222, 176, 0,   0,   0,   0,   176, 222, 255, 64,  0,   0,   0,   0,   64,  255,
                               255, 64,  0,   0,   0,   0,   64,  255, 222, 176, 0,   0,   0,   0,   176, 222,
                               79,  255, 176, 64,  64,  176, 255, 79,  0,   79,  222, 255, 255, 222, 79,  0};
const unsigned char kPlain40[] = {
    0,   0,   255, 255, 255, 255, 255, 0,   0,   0,   255, 255, 0,   0,   0,   255, 255, 0,   255, 255, 0,
    0,   0,   0,   0,   255, 255, 255, 0,   0,   0,   0,   0,   0,   0,   255, 255, 0,   0,   0,   0,   0,
    0,   0,   255, 255, 0,   0,   0,   0,   0,   0,   0,   255, 255, 255, 0,   0,   0,   0,   0,   255, 255,
    0,   255, 255, 0,   0,   0,   255, 255, 0,   0,   0,   255, 255, 255, 255, 255, 0,   0};
const unsigned char kAA40[] = {
    0,   31,  176, 255, 255, 255, 176, 31,  0,   31,  240, 209, 79,  64,  79,  209, 240, 31,  176, 209, 15,
    0,   0,   0,   15,  209, 176, 255, 79,  0,   0,   0,   0,   0,   79,  255, 255, 48,  0,   0,   0,   0,
    0,   48,  255, 255, 79,  0,   0,   0,   0,   0,   79,  255, 176, 209, 15,  0,   0,   0,   15,  209, 176,
    31,  240, 209, 79,  64,  79,  209, 240, 31,  0,   31,  176, 255, 255, 255, 176, 31,  0};

struct SmallCircle {
  float r;
  int side;
  const unsigned char* plain;
  const unsigned char* aa;
};
const SmallCircle kSmall[] = {{1.5f, 4, kPlain15, kAA15}, {2.0f, 5, kPlain20, kAA20}, {2.5f, 6, kPlain25, kAA25},
                              {3.0f, 7, kPlain30, kAA30}, {3.5f, 8, kPlain35, kAA35}, {4.0f, 9, kPlain40, kAA40}};

bool isFin(float v) { return std::isfinite(v); }
bool inRange(float v) { return std::fabs(v) <= static_cast<float>(GFX_MAX_CIRCLE_COORD); }

}  // namespace

template <class C>
struct _GFX_CircleDrawer {
  static void DrawClippedPt(const Target& t, int x, int y, const Clip& c, const PixColor& col, int w, bool doclip) {
    if (doclip && (x < c.l || x >= c.r || y < c.t || y >= c.b)) return;
    gfx_detail::plot<C>(t.bits + t.span * y + x, col, w);
  }
  static void DrawClippedVertLine(const Target& t, int x, int y1, int y2, const Clip& c, const PixColor& col, int w,
                                  bool doclip) {
    if (doclip) {
      if (x < c.l || x >= c.r) return;
      if (y1 < c.t) y1 = c.t;
      if (y2 > c.b - 1) y2 = c.b - 1;
    }
    for (int y = y1; y <= y2; ++y) gfx_detail::plot<C>(t.bits + t.span * y + x, col, w);
  }
  static void DrawClippedHorzLine(const Target& t, int y, int x1, int x2, const Clip& c, const PixColor& col, int w,
                                  bool doclip) {
    if (doclip) {
      if (y < c.t || y >= c.b) return;
      if (x1 < c.l) x1 = c.l;
      if (x2 > c.r - 1) x2 = c.r - 1;
    }
    GFX_pixel* row = t.bits + t.span * y;
    for (int x = x1; x <= x2; ++x) gfx_detail::plot<C>(row + x, col, w);
  }

  // The interior runs of one octant step of a filled circle: columns xc -+ a between the
  // boundary at b and the diagonal, rows yc -+ a likewise. No pixel is in two runs.
  static void fillRuns(const Target& t, int xc, int yc, int a, int b, const Clip& c, const PixColor& col, int w,
                       bool doclip) {
    for (int x : {xc - a, xc + a}) {
      DrawClippedVertLine(t, x, yc - b, yc - a - 1, c, col, w, doclip);
      DrawClippedVertLine(t, x, yc + a + 1, yc + b, c, col, w, doclip);
    }
    for (int y : {yc - a, yc + a}) {
      DrawClippedHorzLine(t, y, xc - b, xc - a, c, col, w, doclip);
      DrawClippedHorzLine(t, y, xc + a, xc + b, c, col, w, doclip);
    }
  }

  // Integer midpoint circle; a filled circle plots no pixel twice.
  static void DrawClippedCircle(const Target& t, float cx, float cy, float r, const Clip& c, GFX_pixel color, int ia,
                                bool filled, bool doclip) {
    const PixColor col(color);
    const int xc = static_cast<int>(cx + 0.5), yc = static_cast<int>(cy + 0.5), ir = static_cast<int>(r + 0.5);
    auto pt = [&](int x, int y) { DrawClippedPt(t, x, y, c, col, ia, doclip); };
    auto vl = [&](int x, int y1, int y2) { DrawClippedVertLine(t, x, y1, y2, c, col, ia, doclip); };
    auto hl = [&](int y, int x1, int x2) { DrawClippedHorzLine(t, y, x1, x2, c, col, ia, doclip); };
    if (filled) {
      vl(xc, yc - ir, yc - 1);
      vl(xc, yc + 1, yc + ir);
      hl(yc, xc - ir, xc + ir);
    } else {
      pt(xc, yc - ir);
      pt(xc + ir, yc);
      pt(xc, yc + ir);
      pt(xc - ir, yc);
    }
    if (ir < 2) return;
    int x = 0, y = ir, e = -ir;
    do {
      if (e >= 0) {
        e -= 2 * (y - 1);
        --y;
      }
      ++x;
      if (filled) {
        fillRuns(t, xc, yc, x, y, c, col, ia, doclip);
      } else {
        pt(xc - x, yc - y);
        pt(xc + x, yc - y);
        pt(xc - x, yc + y);
        pt(xc + x, yc + y);
        if (x != y) {
          pt(xc - y, yc - x);
          pt(xc + y, yc - x);
          pt(xc - y, yc + x);
          pt(xc + y, yc + x);
        }
      }
      e += 2 * x + 1;
    } while (x + 1 < y);
  }

  // Exact distance per column or row, the fraction of the boundary position as coverage.
  static void DrawClippedCircleAA(const Target& t, float cx, float cy, float r, const Clip& c, GFX_pixel color, int ia,
                                  bool filled, bool doclip) {
    const PixColor col(color);
    const int xc = static_cast<int>(cx + 0.5), yc = static_cast<int>(cy + 0.5), ir = static_cast<int>(r);
    const int a0 = static_cast<int>((static_cast<double>(r) - std::floor(static_cast<double>(r))) * ia);
    auto pt = [&](int x, int y, int w) { DrawClippedPt(t, x, y, c, col, w, doclip); };
    auto vl = [&](int x, int y1, int y2) { DrawClippedVertLine(t, x, y1, y2, c, col, ia, doclip); };
    auto hl = [&](int y, int x1, int x2) { DrawClippedHorzLine(t, y, x1, x2, c, col, ia, doclip); };
    pt(xc, yc - ir - 1, a0);
    pt(xc, yc + ir + 1, a0);
    pt(xc - ir - 1, yc, a0);
    pt(xc + ir + 1, yc, a0);
    if (filled) {
      vl(xc, yc - ir, yc - 1);
      vl(xc, yc + 1, yc + ir);
      hl(yc, xc - ir, xc + ir);
    } else {
      pt(xc, yc - ir, ia - a0);
      pt(xc + ir, yc, ia - a0);
      pt(xc, yc + ir, ia - a0);
      pt(xc - ir, yc, ia - a0);
    }
    const float rr = r * r;
    for (int k = 1;; ++k) {
      const double d = static_cast<double>(rr) - static_cast<double>(k) * k;
      if (d < 0.0) break;
      const double s = std::sqrt(d);
      const int n = static_cast<int>(s + 0.5);
      if (k > n) break;
      const int xi = static_cast<int>(s);
      const int f = static_cast<int>((s - std::floor(s)) * ia);
      pt(xc - k, yc - xi - 1, f);
      pt(xc - k, yc + xi + 1, f);
      pt(xc + k, yc - xi - 1, f);
      pt(xc + k, yc + xi + 1, f);
      if (k != n) {
        pt(xc - xi - 1, yc - k, f);
        pt(xc + xi + 1, yc - k, f);
        pt(xc - xi - 1, yc + k, f);
        pt(xc + xi + 1, yc + k, f);
      }
      if (filled) {
        fillRuns(t, xc, yc, k, xi, c, col, ia, doclip);
      } else {
        pt(xc - xi, yc - k, ia - f);
        pt(xc + xi, yc - k, ia - f);
        pt(xc - k, yc + xi, ia - f);
        pt(xc + k, yc + xi, ia - f);
        if (k != n) {
          pt(xc - k, yc - xi, ia - f);
          pt(xc + k, yc - xi, ia - f);
          pt(xc - xi, yc + k, ia - f);
          pt(xc + xi, yc + k, ia - f);
        }
      }
    }
  }
};

namespace {
// The dispatcher: centre and radius already finite and within GFX_MAX_CIRCLE_COORD, the clip
// inside the bitmap (or doclip false and the whole circle at least two pixels inside).
void __DrawCircleClipped(GFX_IBitmap* bm, float cx, float cy, float r, GFX_pixel color, int ia, bool aa, bool filled,
                         int mode, const Clip& clip, bool doclip) {
  const int op = mode & 0xff;
  if (ia == 0 || op > 5) return;
  if (doclip) {
    if (clip.l >= clip.r || clip.t >= clip.b) return;
    // Nothing of the circle (fringe included) can reach the clip box.
    const float m = r + 2.0f;
    if (cx + m < clip.l || cx - m >= clip.r || cy + m < clip.t || cy - m >= clip.b) return;
  }
  // A box that lies wholly inside the disc's inner edge: an outline plots nothing there, and a
  // filled circle plots every pixel once at the full weight. Either way the box decides, so a
  // huge circle around a small bitmap does not cost its whole circumference.
  bool enclosed = false;
  if (doclip && r > 3.0f) {
    const double in = static_cast<double>(r) - 3.0, in2 = in * in;
    auto inside = [&](double x, double y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) < in2; };
    enclosed = inside(clip.l, clip.t) && inside(clip.r, clip.t) && inside(clip.l, clip.b) && inside(clip.r, clip.b);
    if (enclosed && !filled) return;
  }
  const Target t = {bm->getBits(), bm->getRowSpan()};
  gfx_detail::selectVectorCombiner(op, ia, !aa, [&](auto tag) {
    typedef _GFX_CircleDrawer<typename decltype(tag)::type> D;
    if (enclosed) {
      const PixColor col(color);
      for (int y = clip.t; y < clip.b; ++y) D::DrawClippedHorzLine(t, y, clip.l, clip.r - 1, clip, col, ia, true);
    } else if (aa) {
      D::DrawClippedCircleAA(t, cx, cy, r, clip, color, ia, filled, doclip);
    } else {
      D::DrawClippedCircle(t, cx, cy, r, clip, color, ia, filled, doclip);
    }
  });
}

bool usable(GFX_IBitmap* bm) {
  return bm && bm->getBits() && bm->getWidth() > 0 && bm->getHeight() > 0 && bm->getRowSpan() >= bm->getWidth();
}

void circle(GFX_IBitmap* bm, float cx, float cy, float r, GFX_pixel color, float alpha, int mode, bool aa,
            bool filled) {
  if (!usable(bm) || !isFin(cx) || !isFin(cy) || !isFin(r) || !inRange(cx) || !inRange(cy) || !inRange(r)) return;
  const int W = bm->getWidth(), H = bm->getHeight();
  if (bm->isFlipped()) cy = static_cast<float>(H - 1) - cy;
  int ia;
  if (!GFX_AlphaToWeightF(alpha, &ia) || ia == 0 || r < 0.0f) return;
  const Clip clip = {0, 0, W, H};
  const bool doclip = !(cx - r - 2 >= 0 && cy - r - 2 >= 0 && cx + r + 2 < W && cy + r + 2 < H);
  __DrawCircleClipped(bm, cx, cy, r, color, ia, aa, filled, mode, clip, doclip);
}
}  // namespace

void GFX_Circle(GFX_IBitmap* bm, float cx, float cy, float r, GFX_pixel color, float alpha, int mode, bool aa) {
  if (!bm || !isFin(cx) || !isFin(cy) || !inRange(cx) || !inRange(cy)) return;
  for (const SmallCircle& s : kSmall) {
    if (r != s.r) continue;
    GFX_DrawGlyph(bm, static_cast<int>(cx - r), static_cast<int>(cy - r), color, aa ? s.aa : s.plain, s.side, s.side,
                  alpha, mode);
    return;
  }
  circle(bm, cx, cy, r, color, alpha, mode, aa, false);
}

void GFX_FillCircle(GFX_IBitmap* bm, float cx, float cy, float r, GFX_pixel color, float alpha, int mode, bool aa) {
  circle(bm, cx, cy, r, color, alpha, mode, aa, true);
}

void GFX_Arc(GFX_IBitmap* bm, float cx, float cy, float r, float a1, float a2, GFX_pixel color, float alpha, int mode,
             bool aa) {
  if (!usable(bm) || !isFin(cx) || !isFin(cy) || !isFin(r) || !isFin(a1) || !isFin(a2)) return;
  if (!inRange(cx) || !inRange(cy) || !inRange(r) || r < 0.0f) return;
  const int W = bm->getWidth(), H = bm->getHeight();
  const float cyCaller = cy;
  if (bm->isFlipped()) {
    cy = static_cast<float>(H - 1) - cy;
    a1 = 3.1415927f - a1;
    a2 = 3.1415927f - a2;
  }
  float lo = a1 < a2 ? a1 : a2, hi = a1 < a2 ? a2 : a1;
  const float twoPi = 6.2831855f;
  if (hi - lo >= twoPi) {
    GFX_Circle(bm, cx, cyCaller, r, color, alpha, mode, aa);
    return;
  }
  if (hi >= twoPi) {
    const float h2 = std::fmod(hi, twoPi);
    lo -= hi - h2;
    hi = h2;
  } else if (lo <= -twoPi) {
    const float l2 = std::fmod(lo, twoPi);
    hi -= lo - l2;
    lo = l2;
  }
  int ia;
  if (!GFX_AlphaToWeightF(alpha, &ia) || ia == 0) return;
  const double kTwoPi = 6.283185307179586, kQuarter = 1.5707963267948966;
  const double dlo = lo + kTwoPi, dhi = hi + kTwoPi;
  if (!(dhi > dlo)) return;
  // Angles of enormous magnitude lose their fraction in the turn reduction above; what is left
  // must still be within a turn or two of zero, or the quarter walk below would not end soon.
  if (!(dlo > -kTwoPi && dhi < 3 * kTwoPi)) return;
  auto at = [&](double a, int* x, int* y) {
    *x = static_cast<int>(cx + r * std::sin(a) + 0.5);
    *y = static_cast<int>(cy - r * std::cos(a) + 0.5);
  };
  int x0, y0;
  at(dlo, &x0, &y0);
  double q = dlo - std::fmod(dlo, kQuarter), a;
  do {
    q += kQuarter;
    a = dhi < q ? dhi : q;
    int x1, y1;
    at(a, &x1, &y1);
    const int mx = x0 > x1 ? x0 : x1, my = y0 > y1 ? y0 : y1;
    Clip box;
    box.l = x0 < x1 ? x0 : x1;
    box.t = y0 < y1 ? y0 : y1;
    box.l = box.l > 0 ? box.l : 0;
    box.t = box.t > 0 ? box.t : 0;
    box.r = mx + (static_cast<float>(mx) == cx ? 0 : 1);
    box.b = my + (static_cast<float>(my) == cy ? 0 : 1);
    box.r = box.r < W ? box.r : W;
    box.b = box.b < H ? box.b : H;
    __DrawCircleClipped(bm, cx, cy, r, color, ia, aa, false, mode, box, true);
    x0 = x1;
    y0 = y1;
  } while (dhi > a);
}

namespace {
// Float to int for line ends: truncation, with values far off any bitmap held at +-2^30 (still
// off it, so the clipped line is the same).
int endI(float v) {
  const float lim = 1073741824.0f;
  return static_cast<int>(v < -lim ? -lim : v > lim ? lim : v);
}
}  // namespace

void GFX_RoundRect(GFX_IBitmap* bm, float x, float y, float w, float h, int cornerRadius, GFX_pixel color, float alpha,
                   int mode, bool aa) {
  if (!bm || !isFin(x) || !isFin(y) || !isFin(w) || !isFin(h)) return;
  double crd = cornerRadius;
  if (crd > w * 0.5) crd = w * 0.5;
  if (crd > h * 0.5) crd = h * 0.5;
  const float cr = std::floor(static_cast<float>(crd));
  if (cornerRadius <= 0 || cr < 2.0f) {
    GFX_DrawRect(bm, endI(x), endI(y), endI(w), endI(h), color, alpha, mode);
    return;
  }
  GFX_Line(bm, endI(x + cr), endI(y), endI(x + w - cr), endI(y), color, alpha, mode, aa);
  GFX_Line(bm, endI(x + cr - 1), endI(y + h), endI(x + w - cr), endI(y + h), color, alpha, mode, aa);
  GFX_Line(bm, endI(x + w), endI(y + cr), endI(x + w), endI(y + h - cr), color, alpha, mode, aa);
  GFX_Line(bm, endI(x), endI(y + cr - 1), endI(x), endI(y + h - cr), color, alpha, mode, aa);
  const float pi = 3.1415927f, half = 1.5707964f;
  GFX_Arc(bm, x + cr, y + cr, cr, -half, 0.0f, color, alpha, mode, aa);
  GFX_Arc(bm, x + w - cr, y + cr, cr, 0.0f, half, color, alpha, mode, aa);
  GFX_Arc(bm, x + w - cr, y + h - cr, cr, half, pi, color, alpha, mode, aa);
  GFX_Arc(bm, x + cr, y + h - cr, cr, pi, 3.0f * half, color, alpha, mode, aa);
}
