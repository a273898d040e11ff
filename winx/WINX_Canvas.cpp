#include "WINX_Canvas.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

RECT intersect(const RECT& a, const RECT& b) {
  RECT r = {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

// Logical to pixel coordinates without overflowing on extreme input: clamps to a range well
// outside any canvas.
int32_t toPixel(long long v, int origin) {
  long long p = v + origin;
  if (p < -(1LL << 30)) return -(1 << 30);
  if (p > (1LL << 30)) return 1 << 30;
  return static_cast<int32_t>(p);
}

inline uint32_t mixChannel(uint32_t d, uint32_t s, uint32_t cov) {
  return (s * cov + d * (255 - cov) + 127) / 255;
}

}  // namespace

void WINX_CanvasInit(WINX_Canvas* c, uint32_t* pixels, int width, int height, int rowWords) {
  c->pixels = pixels;
  c->width = width > 0 ? width : 0;
  c->height = height > 0 ? height : 0;
  c->rowWords = rowWords;
  c->state = WINX_CanvasState();
  c->state.clip = {0, 0, c->width, c->height};
  c->saved.clear();
}

void WINX_CanvasSave(WINX_Canvas* c) { c->saved.push_back(c->state); }

void WINX_CanvasRestore(WINX_Canvas* c) {
  if (c->saved.empty()) return;
  c->state = c->saved.back();
  c->saved.pop_back();
}

void WINX_CanvasClipRect(WINX_Canvas* c, int left, int top, int right, int bottom) {
  RECT r = {toPixel(left, c->state.originX), toPixel(top, c->state.originY),
            toPixel(right, c->state.originX), toPixel(bottom, c->state.originY)};
  c->state.clip = intersect(c->state.clip, r);
}

RECT WINX_CanvasClip(const WINX_Canvas* c) {
  RECT bounds = {0, 0, c->width, c->height};
  return intersect(c->state.clip, bounds);
}

void WINX_CanvasFillRect(WINX_Canvas* c, int left, int top, int right, int bottom, int colorInt) {
  if (!c->pixels) return;
  RECT r = {toPixel(left, c->state.originX), toPixel(top, c->state.originY),
            toPixel(right, c->state.originX), toPixel(bottom, c->state.originY)};
  r = intersect(r, WINX_CanvasClip(c));
  const uint32_t px = WINX_CanvasPixel((colorInt >> 16) & 0xff, (colorInt >> 8) & 0xff, colorInt & 0xff);
  for (int y = r.top; y < r.bottom; ++y) {
    uint32_t* row = c->pixels + static_cast<long long>(y) * c->rowWords;
    std::fill(row + r.left, row + r.right, px);
  }
}

void WINX_CanvasBlendMask(WINX_Canvas* c, int x, int y, const uint8_t* mask, int maskStride,
                          int maskWidth, int maskHeight, int colorInt, const RECT& clip) {
  if (!c->pixels || !mask || maskWidth <= 0 || maskHeight <= 0) return;
  RECT box = {x, y, static_cast<int32_t>(std::min<long long>(1LL << 30, static_cast<long long>(x) + maskWidth)),
              static_cast<int32_t>(std::min<long long>(1LL << 30, static_cast<long long>(y) + maskHeight))};
  RECT bounds = {0, 0, c->width, c->height};
  RECT r = intersect(intersect(box, clip), bounds);
  const uint32_t sr = (colorInt >> 16) & 0xff, sg = (colorInt >> 8) & 0xff, sb = colorInt & 0xff;
  const uint32_t solid = WINX_CanvasPixel(sr, sg, sb);
#if defined(__SSE2__)
  // Four pixels at a time, in 16-bit lanes: the same sum as mixChannel (at most 65152), and its
  // division by 255 as (x + 1 + (x >> 8)) >> 8, which equals it for every such sum. Coverage 0
  // and 255 give the pixel kept and the solid colour by that sum too.
  const __m128i zero = _mm_setzero_si128();
  const __m128i full = _mm_set1_epi16(255), half = _mm_set1_epi16(127), one = _mm_set1_epi16(1);
  const __m128i source = _mm_set_epi16(static_cast<short>(sb), static_cast<short>(sg), static_cast<short>(sr), 255,
                                       static_cast<short>(sb), static_cast<short>(sg), static_cast<short>(sr), 255);
  auto mix = [&](__m128i d, __m128i cov) {
    __m128i sum = _mm_add_epi16(_mm_mullo_epi16(source, cov), _mm_mullo_epi16(d, _mm_sub_epi16(full, cov)));
    sum = _mm_add_epi16(sum, half);
    return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(sum, one), _mm_srli_epi16(sum, 8)), 8);
  };
#endif
  for (int py = r.top; py < r.bottom; ++py) {
    const uint8_t* m = mask + static_cast<long long>(py - y) * maskStride + (r.left - x);
    uint32_t* d = c->pixels + static_cast<long long>(py) * c->rowWords + r.left;
    int px = r.left;
#if defined(__SSE2__)
    for (; px + 4 <= r.right; px += 4, m += 4, d += 4) {
      uint32_t four;
      memcpy(&four, m, 4);
      if (four == 0) continue;
      __m128i cov = _mm_cvtsi32_si128(static_cast<int>(four));
      cov = _mm_unpacklo_epi8(cov, cov);
      cov = _mm_unpacklo_epi16(cov, cov);   // each pixel's coverage in its four channels
      const __m128i dst = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
      const __m128i lo = mix(_mm_unpacklo_epi8(dst, zero), _mm_unpacklo_epi8(cov, zero));
      const __m128i hi = mix(_mm_unpackhi_epi8(dst, zero), _mm_unpackhi_epi8(cov, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; px < r.right; ++px, ++m, ++d) {
      const uint32_t cov = *m;
      if (cov == 0) continue;
      if (cov == 255) {
        *d = solid;
        continue;
      }
      const uint32_t w = *d;
      *d = mixChannel(w & 0xff, 255, cov) | (mixChannel((w >> 8) & 0xff, sr, cov) << 8) |
           (mixChannel((w >> 16) & 0xff, sg, cov) << 16) | (mixChannel(w >> 24, sb, cov) << 24);
    }
  }
}
