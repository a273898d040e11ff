// Fills and single-bitmap rectangle operations: exact general routines, with the copy fill's
// vector fast path looked up in GFX_FastPaths.
#include "GFX_Fill.h"

#include <cmath>
#include <cstring>

#include "GFX_FastPaths.h"
#include "GFX_Internal.h"

namespace {
typedef long long i64;

// A clipped rectangle: its first memory row, the byte step between rows (always positive: the
// rows are visited in increasing memory order, also for flipped bitmaps) and its size.
struct Area {
  unsigned char* p;
  std::ptrdiff_t step;
  int w, h;
};

bool clipArea(GFX_IBitmap* bm, int x, int y, int w, int h, Area* a) {
  if (!bm) return false;
  GFX_pixel* bits = bm->getBits();
  const int W = bm->getWidth(), H = bm->getHeight(), span = bm->getRowSpan();
  if (!bits || span < 1 || W < 1 || H < 1) return false;
  // 64 bits: x + w and y + h must not wrap.
  i64 X = x, Y = y, ww = w, hh = h;
  if (X < 0) {
    ww += X;
    X = 0;
  }
  if (Y < 0) {
    hh += Y;
    Y = 0;
  }
  if (X + ww > W) ww = W - X;
  if (Y + hh > H) hh = H - Y;
  if (ww < 1 || hh < 1) return false;
  const i64 firstRow = bm->isFlipped() ? H - (Y + hh) : Y;
  a->step = static_cast<std::ptrdiff_t>(span) * 4;
  a->p = reinterpret_cast<unsigned char*>(bits) + a->step * firstRow + X * 4;
  a->w = static_cast<int>(ww);
  a->h = static_cast<int>(hh);
  return true;
}

template <class F>
void eachPixel(const Area& a, F&& f) {
  unsigned char* row = a.p;
  for (int y = 0; y < a.h; ++y, row += a.step) {
    GFX_pixel* p = reinterpret_cast<GFX_pixel*>(row);
    for (int x = 0; x < a.w; ++x) f(p + x);
  }
}

// The copy weights that need no multiplication; false when ia is not one of them.
bool wholeWordCopy(int ia, GFX_pixel c, GFX_pixel* p) {
  switch (ia) {
    case 64: *p = GFX_QuarterMix(*p, c); return true;
    case 128: *p = GFX_HalfMix(*p, c); return true;
    case 192: *p = GFX_ThreeQuarterMix(*p, c); return true;
    case 256: *p = c; return true;
    default: return false;
  }
}
}  // namespace

template <class W>
struct _GFX_Template_Blit0 {
  static void solidBlitFAST(GFX_pixel* dest, int w, int h, GFX_pixel c, int span) {
    for (int y = 0; y < h; ++y, dest += span)
      for (int x = 0; x < w; ++x) W::doPix(dest + x, c);
  }
};

namespace {
// p = p/4 + p/2 + c where c is already the quarter colour.
struct _GFX_CombinePixelsQuarterMix2FAST {
  static void doPix(GFX_pixel* p, GFX_pixel quarter) { *p = ((*p >> 2) & 0x3f3f3f3f) + ((*p >> 1) & 0x7f7f7f7f) + quarter; }
};
struct _GFX_CombinePixelsHalfMix2FAST {
  static void doPix(GFX_pixel* p, GFX_pixel half) { *p = ((*p >> 1) & 0x7f7f7f7f) + half; }
};
struct _GFX_CombinePixelsThreeQuarterMix2FAST {
  static void doPix(GFX_pixel* p, GFX_pixel c34) { *p = ((*p >> 2) & 0x3f3f3f3f) + c34; }
};
}  // namespace

void GFX_FillRect(GFX_IBitmap* bm, int x, int y, int w, int h, GFX_pixel color, float alpha, int mode) {
  if (mode & 0x10000) alpha = alpha * (static_cast<float>(GFX_GETA(color)) / 255.0f);
  Area a;
  if (!clipArea(bm, x, y, w, h, &a) || alpha == 0.0f) return;
  int ia;
  if (!GFX_AlphaToWeight(alpha, &ia) || ia == 0) return;
  const int op = mode & 0xff;
  const int span = static_cast<int>(a.step / 4);
  GFX_pixel* first = reinterpret_cast<GFX_pixel*>(a.p);
  if (op == 0) {
    switch (ia) {
      case 64:
        _GFX_Template_Blit0<_GFX_CombinePixelsQuarterMix2FAST>::solidBlitFAST(first, a.w, a.h, (color >> 2) & 0x3f3f3f3f,
                                                                             span);
        return;
      case 128:
        _GFX_Template_Blit0<_GFX_CombinePixelsHalfMix2FAST>::solidBlitFAST(first, a.w, a.h, (color >> 1) & 0x7f7f7f7f,
                                                                          span);
        return;
      case 192:
        _GFX_Template_Blit0<_GFX_CombinePixelsThreeQuarterMix2FAST>::solidBlitFAST(
            first, a.w, a.h, ((color >> 1) & 0x7f7f7f7f) + ((color >> 2) & 0x3f3f3f3f), span);
        return;
      case 256:
        if (GFX_FillWordsFn fast = GFX_FindFillWordsFastPath()) fast(first, a.w, a.h, color, span);
        else _GFX_Template_Blit0<_GFX_CombinePixelsClobberFAST>::solidBlitFAST(first, a.w, a.h, color, span);
        return;
      default:
        if (ia < 1) return;
    }
  }
  const int r = GFX_GETR(color), g = GFX_GETG(color), b = GFX_GETB(color);
  if (GFX_SolidRowsFn fast = GFX_FindSolidFastPath(op, ia)) {
    fast(a.p, a.w, a.h, r, g, b, ia, a.step);
    return;
  }
  GFX_SelectPlainCombiner(op, [&](auto tag) {
    _GFX_Template_Blit1<typename decltype(tag)::type>::solidBlit(a.p, a.w, a.h, r, g, b, ia, a.step);
  });
}

void GFX_Clear(GFX_IBitmap* bm, GFX_pixel color) {
  Area a;
  if (!bm || !clipArea(bm, 0, 0, bm->getWidth(), bm->getHeight(), &a)) return;
  GFX_pixel* first = reinterpret_cast<GFX_pixel*>(a.p);
  const int span = static_cast<int>(a.step / 4);
  if (GFX_FillWordsFn fast = GFX_FindFillWordsFastPath()) fast(first, a.w, a.h, color, span);
  else _GFX_Template_Blit0<_GFX_CombinePixelsClobberFAST>::solidBlitFAST(first, a.w, a.h, color, span);
}

void GFX_ClearRect(GFX_IBitmap* bm, int x, int y, int w, int h, GFX_pixel mask, GFX_pixel orbits) {
  Area a;
  if (!clipArea(bm, x, y, w, h, &a)) return;
  eachPixel(a, [mask, orbits](GFX_pixel* p) { *p = (*p & mask) | orbits; });
}

void GFX_MultiplyAddRect(GFX_IBitmap* bm, int x, int y, int w, int h, float rsc, float gsc, float bsc, float asc,
                         float radd, float gadd, float badd, float aadd) {
  Area a;
  if (!clipArea(bm, x, y, w, h, &a)) return;
  const float in[8] = {asc, rsc, gsc, bsc, aadd, radd, gadd, badd};  // channel (byte) order
  i64 fx[8];
  for (int i = 0; i < 8; ++i) {
    // A non-finite or absurd factor is a caller's bug; converting it to an integer would be
    // undefined, so nothing is drawn.
    if (!(std::fabs(in[i]) < 16777216.0f)) return;
    fx[i] = static_cast<i64>(static_cast<double>(in[i]) * 256.0);
  }
  eachPixel(a, [&fx](GFX_pixel* p) {
    unsigned char* c = reinterpret_cast<unsigned char*>(p);
    for (int k = 0; k < 4; ++k) {
      i64 v = c[k] * fx[k] + fx[k + 4];
      v = v >= 0 ? v >> 8 : -((-v + 255) >> 8);  // arithmetic shift: rounds toward minus infinity
      c[k] = gfx_detail::clamp8(v);
    }
  });
}

void GFX_ProcessRect(GFX_IBitmap* bm, int x, int y, int w, int h, void (*procFunc)(GFX_pixel* p, void* parm),
                     void* parm) {
  Area a;
  if (!procFunc || !clipArea(bm, x, y, w, h, &a)) return;
  eachPixel(a, [procFunc, parm](GFX_pixel* p) { procFunc(p, parm); });
}

void GFX_SetAlphaFromColorMask(GFX_IBitmap* bm, GFX_pixel color) {
  Area a;
  if (!bm || !clipArea(bm, 0, 0, bm->getWidth(), bm->getHeight(), &a)) return;
  eachPixel(a, [color](GFX_pixel* p) { *p = (*p & ~0xffu) == color ? (*p & ~0xffu) : (*p | 0xffu); });
}

void GFX_SimpleFill(GFX_IBitmap* bm, int x, int y, GFX_pixel newcolor, GFX_pixel comparemask, GFX_pixel keepmask) {
  if (!bm) return;
  GFX_pixel* bits = bm->getBits();
  const int W = bm->getWidth(), H = bm->getHeight();
  const std::ptrdiff_t span = bm->getRowSpan();
  if (!bits || x < 0 || y < 0 || x >= W || y >= H || span < W) return;
  const GFX_pixel seed = bits[span * y + x] & comparemask;
  auto match = [&](const GFX_pixel* p) { return (*p & comparemask) == seed; };
  auto set = [&](GFX_pixel* p) { *p = (*p & keepmask) | newcolor; };
  // One row: the pixel at x (already known to match), then the runs to its right and left.
  auto fillRow = [&](GFX_pixel* row) {
    set(row + x);
    for (int i = x + 1; i < W && match(row + i); ++i) set(row + i);
    for (int i = x - 1; i >= 0 && match(row + i); --i) set(row + i);
  };
  // Note: the seed pixel itself may stop matching once set (newcolor under the compare mask), so
  // each row tests its column-x pixel before it is written, never after.
  for (int r = y; r < H; ++r) {
    GFX_pixel* row = bits + span * r;
    if (r != y && !match(row + x)) break;
    fillRow(row);
  }
  for (int r = y - 1; r >= 0; --r) {
    GFX_pixel* row = bits + span * r;
    if (!match(row + x)) break;
    fillRow(row);
  }
}

namespace {
GFX_pixel* pixelAt(GFX_IBitmap* bm, int x, int y) {
  if (!bm || x < 0 || y < 0) return nullptr;
  GFX_pixel* bits = bm->getBits();
  const int W = bm->getWidth(), H = bm->getHeight();
  if (!bits || x >= W || y >= H) return nullptr;
  const int row = bm->isFlipped() ? H - 1 - y : y;
  return bits + static_cast<std::ptrdiff_t>(bm->getRowSpan()) * row + x;
}
}  // namespace

GFX_pixel GFX_GetPixel(GFX_IBitmap* bm, int x, int y) {
  const GFX_pixel* p = pixelAt(bm, x, y);
  return p ? *p : 0;
}

void GFX_PutPixel(GFX_IBitmap* bm, int x, int y, GFX_pixel color, float alpha, int mode) {
  GFX_pixel* p = pixelAt(bm, x, y);
  int ia;
  if (!p || !GFX_AlphaToWeightF(alpha, &ia) || ia == 0) return;
  const int op = mode & 0xff;
  if (op == 0 && (wholeWordCopy(ia, color, p) || ia < 1)) return;
  const int r = GFX_GETR(color), g = GFX_GETG(color), b = GFX_GETB(color), ca = GFX_GETA(color);
  GFX_SelectPlainCombiner(op, [&](auto tag) {
    using C = typename decltype(tag)::type;
    C::doPix(reinterpret_cast<unsigned char*>(p), r, g, b, ca, ia);
  });
}
