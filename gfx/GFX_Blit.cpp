// Unscaled blit, channel copy and whole-bitmap copy: the exact general routines. Fast paths for
// some combiners live in GFX_FastPaths.cpp and are looked up here.
#include "GFX_Blit.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "GFX_FastPaths.h"
#include "GFX_Internal.h"

using gfx_detail::Rows;

namespace {

typedef long long i64;

// True when the byte ranges touched by two row walks of `bytes` bytes per row intersect.
bool regionsOverlap(const unsigned char* a, std::ptrdiff_t astep, const unsigned char* b, std::ptrdiff_t bstep,
                    int bytes, int rows) {
  auto range = [bytes, rows](const unsigned char* p, std::ptrdiff_t step, uintptr_t* lo, uintptr_t* hi) {
    const uintptr_t first = reinterpret_cast<uintptr_t>(p);
    const uintptr_t last = reinterpret_cast<uintptr_t>(p + step * (rows - 1));
    *lo = first < last ? first : last;
    *hi = (first < last ? last : first) + static_cast<uintptr_t>(bytes);
  };
  uintptr_t alo, ahi, blo, bhi;
  range(a, astep, &alo, &ahi);
  range(b, bstep, &blo, &bhi);
  return alo < bhi && blo < ahi;
}

void channelCopy(unsigned char* d, const unsigned char* s, int w, int h, std::ptrdiff_t sspan, std::ptrdiff_t dspan,
                 int mode) {
  const int sc = mode & 3, dc = (mode >> 2) & 3;
  for (int y = 0; y < h; ++y, d += dspan, s += sspan)
    for (int x = 0; x < w; ++x) d[x * 4 + dc] = s[x * 4 + sc];
}

void halfMixRows(unsigned char* d, const unsigned char* s, int w, int h, std::ptrdiff_t sspan, std::ptrdiff_t dspan) {
  for (int y = 0; y < h; ++y, d += dspan, s += sspan) {
    GFX_pixel* dp = reinterpret_cast<GFX_pixel*>(d);
    const GFX_pixel* sp = reinterpret_cast<const GFX_pixel*>(s);
    for (int x = 0; x < w; ++x) dp[x] = GFX_HalfMix(dp[x], sp[x]);
  }
}

}  // namespace

void GFX_Blit(GFX_IBitmap* dest, GFX_IBitmap* src, int dstx, int dsty, const RECT* srcRect, float alpha, int mode) {
  if (!dest || !src || alpha == 0.0f || !std::isfinite(alpha)) return;
  Rows dr, sr;
  if (!gfx_detail::rowsOf(dest, &dr) || !gfx_detail::rowsOf(src, &sr)) return;

  // Clip arithmetic in 64 bits: positions near the int limits must clip, not wrap.
  i64 left = 0, top = 0, right = sr.w, bottom = sr.h, dx = dstx, dy = dsty;
  if (srcRect) {
    left = srcRect->left;
    top = srcRect->top;
    right = srcRect->right;
    bottom = srcRect->bottom;
    if (left < 0) {
      dx -= left;
      left = 0;
    }
    if (top < 0) {
      dy -= top;
      top = 0;
    }
    if (right > sr.w) right = sr.w;
    if (bottom > sr.h) bottom = sr.h;
  }
  if (dx < 0) {
    left -= dx;
    dx = 0;
  }
  if (dy < 0) {
    top -= dy;
    dy = 0;
  }
  if (dx + (right - left) > dr.w) right = left + dr.w - dx;
  if (dy + (bottom - top) > dr.h) bottom = top + dr.h - dy;
  if (right - left <= 0 || bottom - top <= 0) return;
  const int w = static_cast<int>(right - left), h = static_cast<int>(bottom - top);

  const unsigned char* s = sr.row(static_cast<int>(top)) + left * 4;
  std::ptrdiff_t sspan = sr.step;
  unsigned char* d = dr.row(static_cast<int>(dy)) + dx * 4;
  const std::ptrdiff_t dspan = dr.step;

  // Overlapping areas of one bitmap: the row loops read pixels they have already written, so go
  // through a copy of the source area. Allocation failure draws nothing.
  unsigned char* tmp = nullptr;
  if (regionsOverlap(s, sspan, d, dspan, w * 4, h)) {
    tmp = static_cast<unsigned char*>(malloc(static_cast<size_t>(w) * static_cast<size_t>(h) * 4));
    if (!tmp) return;
    for (int y = 0; y < h; ++y) memcpy(tmp + static_cast<size_t>(y) * w * 4, s + sspan * y, static_cast<size_t>(w) * 4);
    s = tmp;
    sspan = static_cast<std::ptrdiff_t>(w) * 4;
  }

  if ((mode & 0xf0) == 0xf0) {
    channelCopy(d, s, w, h, sspan, dspan, mode);
  } else if ((mode & 0x100ff) == 0 && alpha == 1.0f) {
    if (GFX_BlitRowsFn fast = GFX_FindCopyFastPath()) fast(d, s, w, h, sspan, dspan, 256);
    else for (int y = 0; y < h; ++y) memcpy(d + dspan * y, s + sspan * y, static_cast<size_t>(w) * 4);
  } else if ((mode & 0x100ff) == 0 && alpha == 0.5f) {
    if (GFX_BlitRowsFn fast = GFX_FindHalfMixFastPath()) fast(d, s, w, h, sspan, dspan, 128);
    else halfMixRows(d, s, w, h, sspan, dspan);
  } else {
    int weight;
    if (GFX_AlphaToWeight(alpha, &weight) && weight != 0) {
      if (GFX_BlitRowsFn fast = GFX_FindBlitFastPath(mode & 0x100ff, weight)) {
        fast(d, s, w, h, sspan, dspan, weight);
      } else {
        GFX_SelectCombiner(mode, weight, [&](auto tag) {
          _GFX_Template_Blit2<typename decltype(tag)::type>::blit(d, s, w, h, sspan, dspan, weight);
        });
      }
    }
  }
  free(tmp);
}

void GFX_Blit(GFX_IBitmap* dest, GFX_IBitmap* src, int dstx, int dsty, int srcx, int srcy, int srcw, int srch,
              float alpha, int mode) {
  // The right and bottom edges are formed in 64 bits and saturated: x + w must not wrap.
  auto sat = [](i64 v) { return static_cast<int>(v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v); };
  RECT r;
  r.left = srcx;
  r.top = srcy;
  r.right = sat(static_cast<i64>(srcx) + srcw);
  r.bottom = sat(static_cast<i64>(srcy) + srch);
  GFX_Blit(dest, src, dstx, dsty, &r, alpha, mode);
}

void GFX_Copy(GFX_IBitmap* dest, GFX_IBitmap* src) {
  if (!dest || !src || dest == src) return;
  dest->resize(src->getWidth(), src->getHeight());
  GFX_Blit(dest, src, 0, 0, nullptr, 1.0f, 0);
}
