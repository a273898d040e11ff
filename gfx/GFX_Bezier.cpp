// Bezier curves as chains of float lines, cubic fills as chains of convex polygons.
#include "GFX_Bezier.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <initializer_list>
#include <utility>

#include "GFX_FloatLine.h"
#include "GFX_Line.h"
#include "GFX_Shapes.h"

namespace {
typedef long long i64;

bool allFinite(std::initializer_list<float> vs) {
  for (float v : vs)
    if (!std::isfinite(v)) return false;
  return true;
}

// Float or double to int, truncated; values beyond +-2^30 (far off any bitmap, where the line and
// polygon operations clip them anyway) are held there.
int toInt(double v) {
  const double lim = 1073741824.0;
  if (v != v) return 0;  // callers reject non-finite curves first; this only keeps the cast defined
  return static_cast<int>(v < -lim ? -lim : v > lim ? lim : v);
}
int clampInt(i64 v) { return v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : static_cast<int>(v); }

// Length of one control-polygon leg: squares summed in single precision, root in double.
double leg(float ax, float ay, float bx, float by) {
  const float dx = bx - ax, dy = by - ay;
  return std::sqrt(static_cast<double>(dx * dx + dy * dy));
}

// Piece count of a curve of length L; 0 when the length is not a number.
int pieces(double L, float tol) {
  if (!(tol > 0.0f)) tol = 1.0f;
  const double n = L / tol;
  if (n != n) return 0;
  if (!(n < GFX_MAX_BEZIER_PIECES)) return GFX_MAX_BEZIER_PIECES;
  return n < 1.0 ? 1 : static_cast<int>(n);
}

// Power-basis coefficients of one axis: P(t) = a t^3 + b t^2 + c t + d.
struct Cubic {
  double a, b, c, d;
  Cubic(float p0, float p1, float p2, float p3) {
    c = 3.0 * static_cast<double>(p1 - p0);
    b = 3.0 * static_cast<double>(p2 - p1) - c;
    a = static_cast<double>(p3 - p0) - c - b;
    d = p0;
  }
  double at(double t) const { return ((a * t + b) * t + c) * t + d; }
};

template <class T>
T bezierGetY(T x0, T xctl, T x2, T y0, T yctl, T y2, T x, double* t) {
  double tt;
  if (x <= x0) {
    tt = 0.0;
  } else if (x >= x2) {
    tt = 1.0;
  } else {
    const double A = static_cast<double>(x2) + (static_cast<double>(-2 * xctl) + x0);
    if (A == 0.0) {
      if (x0 == x2) {
        tt = 0.0;
      } else {
        // x is linear in t here, but y need not be: the point is still evaluated on the curve
        // (interpolating y0 to y2 straight would ignore the control point's pull).
        tt = static_cast<T>((x - x0) / (x2 - x0));
      }
    } else {
      const T B = 2 * (xctl - x0);
      // A control point outside the ends' span makes x non-monotonic: the root may be complex or
      // fall outside the curve. Hold both to the curve rather than return NaN.
      double disc = static_cast<double>(B) * B - 4.0 * A * (static_cast<double>(x0) - x);
      if (disc < 0.0) disc = 0.0;
      tt = (std::sqrt(disc) - B) / (2.0 * A);
      tt = tt < 0.0 ? 0.0 : tt > 1.0 ? 1.0 : tt;
    }
    if (t) *t = tt;
    return static_cast<T>((1 - tt) * (1 - tt) * y0 + 2 * (1 - tt) * tt * yctl + tt * tt * y2);
  }
  if (t) *t = tt;
  return tt == 0.0 ? y0 : y2;
}

template <class T>
T cbezierGetY(T x0, T x1, T x2, T x3, T y0, T y1, T y2, T y3, T x, T* nextx, T* slope, double* tlo, double* thi) {
  if (x0 > x || x >= x3) {
    if (nextx) *nextx = x0 > x ? x0 : x3;
    if (slope) *slope = 0;
    return x0 > x ? y0 : y3;
  }
  const Cubic cx(x0, x1, x2, x3), cy(y0, y1, y2, y3);
  double lo = 0.0, hi = 1.0, Xlo = 0.0, Xhi = 0.0;
  for (int i = 0; i < 8; ++i) {
    const double t = (lo + hi) / 2, X = cx.at(t);
    if (x > X) {
      lo = t;
      Xlo = X;
    } else if (X > x) {
      hi = t;
      Xhi = X;
    } else {
      lo = t;
      Xlo = X;
      hi = t + 1.0 / 256 < 1.0 ? t + 1.0 / 256 : 1.0;
      Xhi = cx.at(hi);
      break;
    }
  }
  if (lo == 0.0) Xlo = cx.at(0.0);
  if (hi == 1.0) Xhi = cx.at(1.0);
  const double Ylo = cy.at(lo);
  const double s = Xhi != Xlo ? (cy.at(hi) - Ylo) / (Xhi - Xlo) : 0.0;
  if (nextx) *nextx = static_cast<T>(Xhi);
  if (slope) *slope = static_cast<T>(s);
  if (tlo) *tlo = lo;
  if (thi) *thi = hi;
  return static_cast<T>(Ylo + (x - Xlo) * s);
}

// The prepared cubic: ordered, cut to the columns, with its piece count.
struct Prep {
  Cubic X{0, 0, 0, 0}, Y{0, 0, 0, 0};
  float xlo = 0, xhi = 0, ylo = 0, yhi = 0;
  double tlo = 0, thi = 1;
};

int CBezPrep(GFX_IBitmap* bm, float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3, float tol,
             bool xbasis, Prep* p) {
  if (!bm || !allFinite({x0, y0, x1, y1, x2, y2, x3, y3, tol})) return 0;
  if (xbasis ? x0 > x3 : y0 > y3) {
    std::swap(x0, x3);
    std::swap(y0, y3);
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  p->X = Cubic(x0, x1, x2, x3);
  p->Y = Cubic(y0, y1, y2, y3);
  // Finite points can still be far enough apart that their float differences overflow.
  for (double v : {p->X.a, p->X.b, p->X.c, p->Y.a, p->Y.b, p->Y.c})
    if (!std::isfinite(v)) return 0;
  p->xlo = x0;
  p->xhi = x3;
  p->ylo = y0;
  p->yhi = y3;
  p->tlo = 0.0;
  p->thi = 1.0;
  const float W = static_cast<float>(bm->getWidth());
  if (p->xlo < 0.0f) {
    p->xlo = 0.0f;
    double tl = p->tlo, th = p->tlo;
    p->ylo = cbezierGetY(x0, x1, x2, x3, y0, y1, y2, y3, 0.0f, static_cast<float*>(nullptr),
                         static_cast<float*>(nullptr), &tl, &th);
    p->tlo = th;
  }
  if (p->xhi > W) {
    p->xhi = W;
    double tl = p->thi, th = p->thi;
    p->yhi = cbezierGetY(x0, x1, x2, x3, y0, y1, y2, y3, W, static_cast<float*>(nullptr), static_cast<float*>(nullptr),
                         &tl, &th);
    p->thi = tl;
  }
  if (xbasis ? p->xlo > p->xhi : p->ylo > p->yhi) return 0;
  const double L = (leg(x0, y0, x1, y1) + leg(x1, y1, x2, y2) + leg(x2, y2, x3, y3)) * (p->thi - p->tlo);
  return pieces(L, tol);
}

// Fills between the piece (u1, v1)-(u2, v2) and the line v = fill, walking u. For a row fill u is
// x and v is y (points go out as (u, v)); for a column fill u is y and v is x (`swap`: points go out
// as (v, u)). "Before" the fill line means a smaller v. Consecutive pieces cover disjoint u.
void fillSegment(GFX_IBitmap* bm, int u1, int v1, int u2, int v2, int fill, bool swap, GFX_pixel color, float alpha,
                 int mode) {
  if (u2 < u1) return;
  const bool before1 = v1 < fill, before2 = v2 < fill;
  const int past = clampInt(static_cast<i64>(fill) + 1);
  auto poly = [&](std::initializer_list<int> uv) {
    int us[4], vs[4], n = 0;
    for (auto it = uv.begin(); it != uv.end(); it += 2, ++n) us[n] = it[0], vs[n] = it[1];
    GFX_FillConvexPolygon(bm, swap ? vs : us, swap ? us : vs, n, color, alpha, mode);
  };
  if (u2 == u1) {
    // The span the quadrilateral below would cover in this one column (or row). Stopping one
    // short of max(v2, fill) left a gap: the row past the fill line under a curve before it, or
    // the curve's own row beyond it, missing in every one-column piece of a steep curve.
    const int f = before1 ? past : fill;
    const int lo = std::min({v1, v2, f}), hi = std::max({v1, v2, f});
    if (swap) GFX_Line(bm, lo, u1, hi, u1, color, alpha, mode, false);
    else GFX_Line(bm, u1, lo, u1, hi, color, alpha, mode, false);
    return;
  }
  if (before1 != before2) {
    const int uc =
        u1 + toInt((static_cast<double>(u2) - u1) * (static_cast<double>(fill) - v1) / (static_cast<double>(v2) - v1));
    const int f1 = before1 ? past : fill, f2 = before2 ? past : fill;
    poly({u1, v1, u1, f1, uc, f1});
    poly({uc, f2, u2, f2, u2, v2});
    return;
  }
  // Up to u2 only: the next piece starts at u2 + 1. (The column fill once reached to y2 + 1 and
  // blended that row twice, a visible line in a translucent fill.)
  const int f = before1 ? past : fill;
  poly({u1, v1, u1, f, u2, v2, u2, f});
}

void DoBezierFillSegment(GFX_IBitmap* bm, int x1, int y1, int x2, int y2, int yfill, GFX_pixel color, float alpha,
                         int mode) {
  fillSegment(bm, x1, y1, x2, y2, yfill, false, color, alpha, mode);
}

void DoBezierFillSegmentX(GFX_IBitmap* bm, int x1, int y1, int x2, int y2, int xfill, GFX_pixel color, float alpha,
                          int mode) {
  fillSegment(bm, y1, x1, y2, x2, xfill, true, color, alpha, mode);
}
}  // namespace

float GFX_Bezier_GetY(float x0, float xctl, float x2, float y0, float yctl, float y2, float x, double* t) {
  return bezierGetY(x0, xctl, x2, y0, yctl, y2, x, t);
}

float GFX_CBezier_GetY(float x0, float x1, float x2, float x3, float y0, float y1, float y2, float y3, float x,
                       float* nextx, float* slope, double* tlo, double* thi) {
  return cbezierGetY(x0, x1, x2, x3, y0, y1, y2, y3, x, nextx, slope, tlo, thi);
}

void GFX_DrawQBezier(GFX_IBitmap* bm, float xstart, float ystart, float xctl, float yctl, float xend, float yend,
                     GFX_pixel color, float alpha, int mode, bool aa, float tol) {
  if (!bm || !allFinite({xstart, ystart, xctl, yctl, xend, yend, tol})) return;
  if (xstart > xend) {
    std::swap(xstart, xend);
    std::swap(ystart, yend);
  }
  const float x0 = xstart, y0 = ystart, x2 = xend, y2 = yend;
  double t0 = 0.0, t1 = 1.0;
  float sx = x0, sy = y0, ex = x2, ey = y2;
  const int W = bm->getWidth();
  if (x0 < 0.0f) {
    sx = 0.0f;
    sy = GFX_Bezier_GetY(x0, xctl, x2, y0, yctl, y2, 0.0f, &t0);
  }
  if (x2 >= static_cast<float>(W)) {
    ex = static_cast<float>(W - 1);
    ey = GFX_Bezier_GetY(x0, xctl, x2, y0, yctl, y2, ex, &t1);
  }
  if (sx > ex) return;
  const int n = pieces((leg(x0, y0, xctl, yctl) + leg(xctl, yctl, x2, y2)) * (t1 - t0), tol);
  if (n == 0) return;
  float px = sx, py = sy;
  if (n >= 2) {
    const double dt = (t1 - t0) / n;
    double t = t0;
    for (int i = 1; i < n; ++i) {
      t += dt;
      const double u = 1.0 - t;
      const float qx = static_cast<float>(u * u * x0 + 2 * u * t * xctl + t * t * x2);
      const float qy = static_cast<float>(u * u * y0 + 2 * u * t * yctl + t * t * y2);
      GFX_FLine(bm, px, py, qx, qy, color, alpha, mode, aa);
      px = qx;
      py = qy;
    }
  }
  GFX_FLine(bm, px, py, ex, ey, color, alpha, mode, aa);
}

void GFX_DrawCBezier(GFX_IBitmap* bm, float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3,
                     GFX_pixel color, float alpha, int mode, bool aa, float tol) {
  Prep p;
  const int n = CBezPrep(bm, x0, y0, x1, y1, x2, y2, x3, y3, tol, true, &p);
  if (n == 0) return;
  float px = p.xlo, py = p.ylo;
  if (n >= 3) {
    const double dt = (p.thi - p.tlo) / n;
    for (int i = 1; i <= n - 2; ++i) {
      const double t = p.tlo + i * dt;
      const float qx = static_cast<float>(p.X.at(t)), qy = static_cast<float>(p.Y.at(t));
      GFX_FLine(bm, px, py, qx, qy, color, alpha, mode, aa);
      px = qx;
      py = qy;
    }
  }
  GFX_FLine(bm, px, py, p.xhi, p.yhi, color, alpha, mode, aa);
}

void GFX_FillCBezier(GFX_IBitmap* bm, float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3,
                     int yfill, GFX_pixel color, float alpha, int mode, float tol) {
  Prep p;
  const int n = CBezPrep(bm, x0, y0, x1, y1, x2, y2, x3, y3, tol, true, &p);
  if (n == 0) return;
  int xa = toInt(p.xlo), ya = toInt(p.ylo + 0.5);
  if (n >= 3) {
    const double dt = (p.thi - p.tlo) / n;
    for (int i = 1; i <= n - 2; ++i) {
      const double t = p.tlo + i * dt;
      const int xb = toInt(static_cast<float>(p.X.at(t)));
      if (xb < xa) continue;
      const int yb = toInt(static_cast<float>(p.Y.at(t)) + 0.5);
      DoBezierFillSegment(bm, xa, ya, xb, yb, yfill, color, alpha, mode);
      xa = xb + 1;
      ya = yb;
    }
  }
  const int xb = toInt(p.xhi - 1.0);
  if (xb >= xa) DoBezierFillSegment(bm, xa, ya, xb, toInt(p.yhi + 0.5), yfill, color, alpha, mode);
}

void GFX_FillCBezierX(GFX_IBitmap* bm, float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3,
                      int xfill, GFX_pixel color, float alpha, int mode, float tol) {
  Prep p;
  const int n = CBezPrep(bm, x0, y0, x1, y1, x2, y2, x3, y3, tol, false, &p);
  if (n == 0) return;
  int xa = toInt(p.xlo + 0.5), ya = toInt(p.ylo);
  if (n >= 3) {
    const double dt = (p.thi - p.tlo) / n;
    for (int i = 1; i <= n - 2; ++i) {
      const double t = p.tlo + i * dt;
      const int yb = toInt(static_cast<float>(p.Y.at(t)));
      if (yb < ya) continue;
      const int xb = toInt(static_cast<float>(p.X.at(t)) + 0.5);
      DoBezierFillSegmentX(bm, xa, ya, xb, yb, xfill, color, alpha, mode);
      xa = xb;
      ya = clampInt(static_cast<i64>(yb) + 1);
    }
  }
  const int yb = toInt(p.yhi - 1.0);
  if (yb >= ya) DoBezierFillSegmentX(bm, xa, ya, toInt(static_cast<double>(p.xhi) + 0.5), yb, xfill, color, alpha, mode);
}
