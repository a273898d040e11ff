// Integer lines: clip, classify (horizontal, vertical, 45 degrees, general), then one kernel
// instance chosen by mode and weight. Copy-mode lines at the opacities 1.0, 0.5, 0.25 and 0.75
// (straight) or 1.0 (45 degrees) work on whole pixel words without multiplication.
#include "GFX_Line.h"

#include <cmath>
#include <cstdlib>

using gfx_detail::PixColor;

namespace {
typedef long long i64;

int outcode(i64 x, i64 y, i64 w, i64 h) {
  int c = x < 0 ? 1 : x >= w ? 2 : 0;
  if (y < 0) c |= 4;
  else if (y >= h) c |= 8;
  return c;
}

// Copy-mode word operation of an exact opacity on a straight line; false when alpha is none of
// them.
bool straightWordCopy(GFX_pixel* p, std::ptrdiff_t step, int count, GFX_pixel c, float alpha) {
  GFX_pixel (*op)(GFX_pixel, GFX_pixel);
  if (alpha == 1.0f) {
    for (int i = 0; i < count; ++i, p += step) *p = c;
    return true;
  }
  if (alpha == 0.5f) op = GFX_HalfMix;
  else if (alpha == 0.25f) op = GFX_QuarterMix;
  else if (alpha == 0.75f) op = GFX_ThreeQuarterMix;
  else return false;
  for (int i = 0; i < count; ++i, p += step) *p = op(*p, c);
  return true;
}

// Full-strength copy 45-degree line: main pixels three quarters colour, side pixels one quarter.
void diagWordCopy(GFX_pixel* p, int n, std::ptrdiff_t xs, std::ptrdiff_t ys, GFX_pixel c, bool aa) {
  if (!aa) {
    for (int i = 0; i <= n; ++i, p += xs + ys) *p = c;
    return;
  }
  // p/2 + p/4 + c/4: the side pixels' quarter colour.
  auto side = [c](GFX_pixel* q) { *q = ((*q >> 1) & 0x7f7f7f7f) + ((*q >> 2) & 0x3f3f3f3f) + ((c >> 2) & 0x3f3f3f3f); };
  *p = GFX_ThreeQuarterMix(*p, c);
  for (int i = 0; i < n; ++i) {
    side(p + xs);
    side(p + ys);
    p += xs + ys;
    *p = GFX_ThreeQuarterMix(*p, c);
  }
}
}  // namespace

namespace gfx_detail {
bool ClipLine(i64* x1, i64* y1, i64* x2, i64* y2, i64 width, i64 height) {
  if (width < 1 || height < 1) return false;
  auto code = [width, height](i64 x, i64 y) { return outcode(x, y, width, height); };
  // Differences of values that fit 33 bits; the products are exact enough in double, and the
  // quotient lies between the two end points, so the truncation fits 64 bits.
  auto move = [width, height](int c, i64 x1, i64 y1, i64 x2, i64 y2, i64* x, i64* y) {
    const double dx = static_cast<double>(x2 - x1), dy = static_cast<double>(y2 - y1);
    if (c & 8) {
      *x = x1 + static_cast<i64>(dx * static_cast<double>(height - y1) / dy);
      *y = height - 1;
    } else if (c & 4) {
      *x = x1 + static_cast<i64>(dx * static_cast<double>(0 - y1) / dy);
      *y = 0;
    } else if (c & 2) {
      *y = y1 + static_cast<i64>(dy * static_cast<double>(width - x1) / dx);
      *x = width - 1;
    } else {
      *y = y1 + static_cast<i64>(dy * static_cast<double>(0 - x1) / dx);
      *x = 0;
    }
  };
  return clipSegment(x1, y1, x2, y2, code, move);
}
}  // namespace gfx_detail

template <class C>
void __GFX_LineClass<C>::GFX_LineImpl(GFX_pixel* p, GFX_pixel* q, int s, std::ptrdiff_t a, int da, std::ptrdiff_t b,
                                      GFX_pixel color, int ia, bool aa) {
  const PixColor c(color);
  const int k = (da + 1) / 2;
  if (!aa) {
    if (da < 1) return;
    int err = 0;
    for (int i = 0; i < k; ++i) {
      gfx_detail::plot<C>(p, c, ia);
      gfx_detail::plot<C>(q, c, ia);
      err += s;
      if (err >= 32768) {
        p += b;
        q -= b;
        err -= 65536;
      }
      p += a;
      q -= a;
    }
    if (!(da & 1)) gfx_detail::plot<C>(p, c, ia);
    return;
  }
  gfx_detail::plot<C>(p, c, ia);
  gfx_detail::plot<C>(q, c, ia);
  p += a;
  q -= a;
  int err = s, wm, ws;
  if (da >= 3) {
    for (int i = 0; i < k - 1; ++i) {
      gfx_detail::splitWeight(err, ia, &wm, &ws);
      gfx_detail::plot<C>(p, c, wm);
      gfx_detail::plot<C>(p + b, c, ws);
      gfx_detail::plot<C>(q, c, wm);
      gfx_detail::plot<C>(q - b, c, ws);
      err += s;
      if (err >= 65536) {
        err -= 65536;
        p += b;
        q -= b;
      }
      p += a;
      q -= a;
    }
  }
  if (!(da & 1)) {
    gfx_detail::splitWeight(err, ia, &wm, &ws);
    gfx_detail::plot<C>(p, c, wm);
    gfx_detail::plot<C>(p + b, c, ws);
  }
}

void GFX_Line(GFX_IBitmap* dest, int x1, int y1, int x2, int y2, GFX_pixel color, float alpha, int mode, bool aa) {
  if (!dest) return;
  GFX_pixel* bits = dest->getBits();
  const int W = dest->getWidth(), H = dest->getHeight();
  const std::ptrdiff_t span = dest->getRowSpan();
  if (!bits || W < 1 || H < 1 || span < W) return;
  i64 X1 = x1, Y1 = y1, X2 = x2, Y2 = y2;
  if (dest->isFlipped()) {
    Y1 = H - 1 - Y1;
    Y2 = H - 1 - Y2;
  }
  if (!gfx_detail::ClipLine(&X1, &Y1, &X2, &Y2, W, H)) return;
  const int op = mode & 0xff;
  int ia = 0;

  if (Y1 == Y2 || X1 == X2) {
    const bool horiz = Y1 == Y2;
    const i64 lo = horiz ? (X1 < X2 ? X1 : X2) : (Y1 < Y2 ? Y1 : Y2);
    const int count = static_cast<int>(std::llabs(horiz ? X2 - X1 : Y2 - Y1) + 1);
    GFX_pixel* p = horiz ? bits + span * Y1 + lo : bits + span * lo + X1;
    const std::ptrdiff_t step = horiz ? 1 : span;
    if (op == 0 && straightWordCopy(p, step, count, color, alpha)) return;
    if (!gfx_detail::vectorWeight(alpha, mode, &ia)) return;
    gfx_detail::selectVectorCombiner(op, ia, true, [&](auto tag) {
      typedef __GFX_LineClassSimple<typename decltype(tag)::type> K;
      if (horiz) K::GFX_HorizLine(p, count, color, ia);
      else K::GFX_VertLine(p, step, count, color, ia);
    });
    return;
  }

  const i64 dx = X2 - X1, dy = Y2 - Y1;
  if (std::llabs(dx) == std::llabs(dy)) {
    const int n = static_cast<int>(std::llabs(dx));
    GFX_pixel* p = bits + span * Y1 + X1;
    const std::ptrdiff_t xs = dx > 0 ? 1 : -1, ys = dy > 0 ? span : -span;
    if (op == 0 && alpha == 1.0f) {
      diagWordCopy(p, n, xs, ys, color, aa);
      return;
    }
    if (!gfx_detail::vectorWeight(alpha, mode, &ia)) return;
    gfx_detail::selectVectorCombiner(op, ia, !aa, [&](auto tag) {
      typedef __GFX_LineClassSimple<typename decltype(tag)::type> K;
      if (aa) K::GFX_DiagLineAA(p, n, xs, ys, color, ia);
      else K::GFX_DiagLine(p, n, xs, ys, color, ia);
    });
    return;
  }

  // General line, walked in increasing major coordinate.
  const bool xMajor = std::llabs(dx) > std::llabs(dy);
  const std::ptrdiff_t majorStep = xMajor ? 1 : span, minorStep = xMajor ? span : 1;
  i64 dmaj = xMajor ? dx : dy, dmin = xMajor ? dy : dx;
  GFX_pixel* start = bits + span * Y1 + X1;
  GFX_pixel* end = bits + span * Y2 + X2;
  if (dmaj < 0) {
    GFX_pixel* t = start;
    start = end;
    end = t;
    dmaj = -dmaj;
    dmin = -dmin;
  }
  const std::ptrdiff_t b = dmin >= 0 ? minorStep : -minorStep;
  const int slope = static_cast<int>(static_cast<double>(std::llabs(dmin)) / static_cast<double>(dmaj) * 65536.0);
  const int da = static_cast<int>(dmaj);
  if (!gfx_detail::vectorWeight(alpha, mode, &ia)) return;
  gfx_detail::selectVectorCombiner(op, ia, !aa, [&](auto tag) {
    __GFX_LineClass<typename decltype(tag)::type>::GFX_LineImpl(start, end, slope, majorStep, da, b, color, ia, aa);
  });
}
