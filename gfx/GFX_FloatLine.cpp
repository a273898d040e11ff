// Float lines (16.16 coverage stepping set up once in float), dashed lines and the clippers.
#include "GFX_FloatLine.h"

#include <cmath>
#include <initializer_list>
#include <utility>

using gfx_detail::PixColor;

namespace {
typedef long long i64;

bool finite4(float a, float b, float c, float d) {
  return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d);
}

int foutcode(float x, float y, float xmax, float ymax) {
  int c = x < 0.0f ? 1 : x >= xmax ? 2 : 0;
  if (y < 0.0f) c |= 4;
  else if (y >= ymax) c |= 8;
  return c;
}

// Cohen-Sutherland in single precision against 0 <= x < width - 1, 0 <= y < height - 1. A
// crossing of the lower or right edge is computed at height - 1 (width - 1) and the point set
// one further in, so the side pixel of the antialiased kernel stays inside. Finite input only.
bool ClipFLine(float* x1, float* y1, float* x2, float* y2, int width, int height) {
  // A bitmap of one column or row keeps nothing; without this test the clipper would move a
  // point between the two vertical edges for ever.
  if (width < 2 || height < 2) return false;
  const float xmax = static_cast<float>(width - 1), ymax = static_cast<float>(height - 1);
  auto code = [xmax, ymax](float x, float y) { return foutcode(x, y, xmax, ymax); };
  auto move = [xmax, ymax](int c, float x1, float y1, float x2, float y2, float* x, float* y) {
    if (c & 8) {
      *x = (x2 - x1) * (ymax - y1) / (y2 - y1) + x1;
      *y = ymax - 1.0f;
    } else if (c & 4) {
      *x = (x2 - x1) * y1 / (y1 - y2) + x1;
      *y = 0.0f;
    } else if (c & 2) {
      *y = (y2 - y1) * (xmax - x1) / (x2 - x1) + y1;
      *x = xmax - 1.0f;
    } else {
      *y = (y2 - y1) * x1 / (x1 - x2) + y1;
      *x = 0.0f;
    }
  };
  return gfx_detail::clipSegment(x1, y1, x2, y2, code, move);
}

// Truncation to int of a coordinate already known to lie within +-2^30.
inline int tr(float v) { return static_cast<int>(v); }

// Cuts a finite segment to |x|, |y| <= 2^28 when any coordinate is 2^30 or more away; false when
// nothing of it is left. Each moved end takes the other coordinate from the slope, in double, so
// a long horizontal or vertical segment keeps its row or column exactly.
bool preCut(float* x1, float* y1, float* x2, float* y2) {
  const float lim = 1073741824.0f;
  if (std::fabs(*x1) < lim && std::fabs(*y1) < lim && std::fabs(*x2) < lim && std::fabs(*y2) < lim) return true;
  const double big = 1 << 28;
  double ax = *x1, ay = *y1, bx = *x2, by = *y2;
  // Moves both ends of the segment into -big <= u <= big (u the first coordinate of each pair).
  auto cut = [big](double& au, double& av, double& bu, double& bv) {
    if ((au < -big && bu < -big) || (au > big && bu > big)) return false;
    const double slope = au != bu ? (bv - av) / (bu - au) : 0.0;
    for (double* u : {&au, &bu}) {
      double* v = u == &au ? &av : &bv;
      const double edge = *u < -big ? -big : *u > big ? big : *u;
      if (edge == *u) continue;
      *v += (edge - *u) * slope;
      *u = edge;
    }
    return std::isfinite(av) && std::isfinite(bv);
  };
  if (!cut(ax, ay, bx, by) || !cut(ay, ax, by, bx)) return false;
  *x1 = static_cast<float>(ax);
  *y1 = static_cast<float>(ay);
  *x2 = static_cast<float>(bx);
  *y2 = static_cast<float>(by);
  return true;
}
}  // namespace

template <class C>
void __GFX_LineClass<C>::GFX_FLineImpl(GFX_pixel* p, int n, int err, int s, std::ptrdiff_t a, std::ptrdiff_t b,
                                       GFX_pixel color, int ia) {
  const PixColor c(color);
  int wm, ws;
  for (int i = 0; i <= n; ++i) {
    gfx_detail::splitWeight(err, ia, &wm, &ws);
    gfx_detail::plot<C>(p, c, wm);
    gfx_detail::plot<C>(p + b, c, ws);
    err += s;
    if (err >= 65536) {
      err -= 65536;
      p += b;
    }
    p += a;
  }
}

template <class C>
void __GFX_LineClass<C>::DashedLine(GFX_IBitmap* dest, int x1, int y1, int x2, int y2, int run, int gap,
                                    GFX_pixel color, int ia) {
  const bool vertical = x1 == x2;
  if (!vertical && y1 != y2) return;
  const std::ptrdiff_t span = dest->getRowSpan(), step = vertical ? span : 1;
  GFX_pixel* first = dest->getBits() + span * y1 + x1;
  const PixColor c(color);
  const i64 u0 = vertical ? y1 : x1, e = vertical ? y2 : x2;
  auto runAt = [&](i64 u, i64 count) {
    GFX_pixel* p = first + step * (u - u0);
    for (i64 i = 0; i < count; ++i, p += step) gfx_detail::plot<C>(p, c, ia);
  };
  i64 u = u0;
  for (; u < e - run; u += static_cast<i64>(run) + gap) runAt(u, run);
  const i64 rest = e - u < run ? e - u : run;
  if (rest >= 1) runAt(u, rest);
}

void GFX_FLine(GFX_IBitmap* dest, float x1, float y1, float x2, float y2, GFX_pixel color, float alpha, int mode,
               bool aa) {
  if (!dest || !finite4(x1, y1, x2, y2)) return;
  // Coordinates beyond +-2^30 would not survive float differences or the truncation to int:
  // bring such a segment into a box far larger than any bitmap first, along the same line.
  if (!preCut(&x1, &y1, &x2, &y2)) return;
  if (!aa) {
    GFX_Line(dest, tr(x1), tr(y1), tr(x2), tr(y2), color, alpha, mode, false);
    return;
  }
  GFX_pixel* bits = dest->getBits();
  const int W = dest->getWidth(), H = dest->getHeight();
  const std::ptrdiff_t span = dest->getRowSpan();
  if (!bits || W < 1 || H < 1 || span < W) return;
  if (dest->isFlipped()) {
    y1 = static_cast<float>(H - 1) - y1;
    y2 = static_cast<float>(H - 1) - y2;
  }
  if (!ClipFLine(&x1, &y1, &x2, &y2, W, H)) return;
  if (x1 == x2 && y1 == y2) return;
  const float dx = x2 - x1, dy = y2 - y1;
  const bool xMajor = std::fabs(dx) > std::fabs(dy);
  const std::ptrdiff_t majorStep = xMajor ? 1 : span, minorStep = xMajor ? span : 1;
  float aStart = xMajor ? x1 : y1, bStart = xMajor ? y1 : x1, aEnd = xMajor ? x2 : y2;
  float da = xMajor ? dx : dy, db = xMajor ? dy : dx;
  if (da < 0.0f) {
    aStart = xMajor ? x2 : y2;
    bStart = xMajor ? y2 : x2;
    aEnd = xMajor ? x1 : y1;
    da = -da;
    db = -db;
  }
  const std::ptrdiff_t b = db >= 0.0f ? minorStep : -minorStep;
  const float aFirst = std::ceil(aStart), aLast = std::floor(aEnd);
  const float q = db / da;
  const float bFirst = (aFirst - aStart) * q + bStart;
  const int frac = static_cast<int>((bFirst - std::floor(bFirst)) * 65536.0f);
  i64 minor0 = tr(bFirst);
  int err = frac;
  if (b < 0) {
    ++minor0;
    err = 65535 - frac;
  }
  int ia;
  if (!gfx_detail::vectorWeight(alpha, mode, &ia)) return;
  const int n = static_cast<int>(static_cast<double>(aLast) - static_cast<double>(aFirst));
  const int slope = static_cast<int>(std::fabs(static_cast<double>(q)) * 65536.0);
  if (n < 0) return;
  // The clipped ends keep every touched pixel inside; check the walk's corners anyway, since a
  // rounding slip here would write outside the bitmap.
  const i64 major0 = tr(aFirst), majorDim = xMajor ? W : H, minorDim = xMajor ? H : W;
  const i64 sgn = b < 0 ? -1 : 1, wraps = (static_cast<i64>(err) + static_cast<i64>(n) * slope) >> 16;
  const i64 minorN = minor0 + sgn * wraps;
  auto inMinor = [minorDim](i64 v) { return v >= 0 && v < minorDim; };
  if (major0 < 0 || major0 + n >= majorDim || !inMinor(minor0) || !inMinor(minor0 + sgn) || !inMinor(minorN) ||
      !inMinor(minorN + sgn))
    return;
  GFX_pixel* p = bits + majorStep * major0 + minorStep * minor0;
  gfx_detail::selectVectorCombiner(mode & 0xff, ia, false, [&](auto tag) {
    __GFX_LineClass<typename decltype(tag)::type>::GFX_FLineImpl(p, n, err, slope, majorStep, b, color, ia);
  });
}

void GFX_DashedLine(GFX_IBitmap* dest, int x1, int y1, int x2, int y2, int run, int gap, GFX_pixel color, float alpha,
                    int mode, bool) {
  // run + gap is the step from one run to the next: below 1 the runs would never advance.
  if (!dest || run < 1 || static_cast<i64>(run) + gap < 1) return;
  GFX_pixel* bits = dest->getBits();
  const int W = dest->getWidth(), H = dest->getHeight();
  const std::ptrdiff_t span = dest->getRowSpan();
  if (!bits || W < 1 || H < 1 || span < W) return;
  i64 X1 = x1, Y1 = y1, X2 = x2, Y2 = y2;
  if (!gfx_detail::ClipLine(&X1, &Y1, &X2, &Y2, W, H)) return;
  int ax = static_cast<int>(X1), ay = static_cast<int>(Y1), bx = static_cast<int>(X2), by = static_cast<int>(Y2);
  if (ay > by) std::swap(ay, by);
  const int op = mode & 0xff;
  if (run == 1 && gap == 1 && ax == bx && alpha == 1.0f && op == 0) {
    const int len = by - ay + 1;
    GFX_pixel* p = bits + span * ay + ax;
    for (int i = 0; i < len / 2; ++i, p += 2 * span) *p = color;
    return;
  }
  int ia;
  if (ax > bx) std::swap(ax, bx);
  if (!gfx_detail::vectorWeight(alpha, mode, &ia)) return;
  gfx_detail::selectVectorCombiner(op, ia, true, [&](auto tag) {
    __GFX_LineClass<typename decltype(tag)::type>::DashedLine(dest, ax, ay, bx, by, run, gap, color, ia);
  });
}

bool GFX_ClipLine(int* x1, int* y1, int* x2, int* y2, int xlo, int ylo, int xhi, int yhi) {
  if (!x1 || !y1 || !x2 || !y2) return false;
  i64 X1 = static_cast<i64>(*x1) - xlo, Y1 = static_cast<i64>(*y1) - ylo;
  i64 X2 = static_cast<i64>(*x2) - xlo, Y2 = static_cast<i64>(*y2) - ylo;
  const bool in = gfx_detail::ClipLine(&X1, &Y1, &X2, &Y2, static_cast<i64>(xhi) - xlo, static_cast<i64>(yhi) - ylo);
  // Moved points lie between the original ones (or on an edge of the rectangle), so they fit
  // an int again once translated back.
  *x1 = static_cast<int>(X1 + xlo);
  *y1 = static_cast<int>(Y1 + ylo);
  *x2 = static_cast<int>(X2 + xlo);
  *y2 = static_cast<int>(Y2 + ylo);
  return in;
}

bool GFX_ClipFLine(float* x1, float* y1, float* x2, float* y2, float xlo, float ylo, float xhi, float yhi) {
  if (!x1 || !y1 || !x2 || !y2 || !finite4(*x1, *y1, *x2, *y2) || !finite4(xlo, ylo, xhi, yhi)) return false;
  const float w = xhi - xlo, h = yhi - ylo;
  // Sizes that do not fit an int keep nothing sensible; refuse them like a non-finite input.
  if (!(std::fabs(w) < 2147483520.0f && std::fabs(h) < 2147483520.0f)) return false;
  float X1 = *x1 - xlo, Y1 = *y1 - ylo, X2 = *x2 - xlo, Y2 = *y2 - ylo;
  // Beyond 1e18 the clipper's products could overflow to infinity and its outcodes lie.
  const float huge = 1e18f;
  if (!(std::fabs(X1) < huge && std::fabs(Y1) < huge && std::fabs(X2) < huge && std::fabs(Y2) < huge)) return false;
  const bool in = ClipFLine(&X1, &Y1, &X2, &Y2, static_cast<int>(w), static_cast<int>(h));
  *x1 = X1 + xlo;
  *y1 = Y1 + ylo;
  *x2 = X2 + xlo;
  *y2 = Y2 + ylo;
  return in;
}
