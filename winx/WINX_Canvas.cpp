#include "WINX_Canvas.h"

#include <algorithm>

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
  for (int py = r.top; py < r.bottom; ++py) {
    const uint8_t* m = mask + static_cast<long long>(py - y) * maskStride + (r.left - x);
    uint32_t* d = c->pixels + static_cast<long long>(py) * c->rowWords + r.left;
    for (int px = r.left; px < r.right; ++px, ++m, ++d) {
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
