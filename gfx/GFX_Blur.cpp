#include "GFX_Blur.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "GFX_Internal.h"

namespace {

// Per-byte truncating fractions of a whole pixel word; the sum of the kernel's parts never
// carries across bytes (1/2 + 4 * 1/8 = 1, each part rounded down).
inline GFX_pixel half(GFX_pixel p) { return (p >> 1) & 0x7f7f7f7f; }
inline GFX_pixel quarter(GFX_pixel p) { return (p >> 2) & 0x3f3f3f3f; }
inline GFX_pixel eighth(GFX_pixel p) { return (p >> 3) & 0x1f1f1f1f; }

// One row of w >= 2 pixels. above/below are null on the first/last row of the rectangle.
// `cur` must not alias `out`.
void blurRow(GFX_pixel* out, const GFX_pixel* above, const GFX_pixel* cur, const GFX_pixel* below, int w) {
  for (int x = 0; x < w; ++x) {
    GFX_pixel v;
    if (above && below)
      v = eighth(above[x]) + eighth(below[x]);
    else
      v = quarter(above ? above[x] : below[x]);
    if (x > 0 && x < w - 1)
      v += eighth(cur[x - 1]) + eighth(cur[x + 1]);
    else
      v += quarter(x > 0 ? cur[x - 1] : cur[x + 1]);
    out[x] = half(cur[x]) + v;
  }
}

// Row pointers inside a bitmap (honouring a flipped layout).
struct RowAt {
  const gfx_detail::Rows& rows;
  int x0, y0;
  GFX_pixel* operator()(int i) const { return reinterpret_cast<GFX_pixel*>(rows.row(y0 + i) + x0 * 4); }
};

}  // namespace

void GFX_Blur(GFX_IBitmap* dest, GFX_IBitmap* src, int dstx, int dsty, int srcx, int srcy, int srcw, int srch) {
  if (!dest || !src) return;
  // 64 bits: a position plus a size must not wrap.
  long long right = std::min<long long>(static_cast<long long>(srcx) + srcw, src->getWidth());
  long long bottom = std::min<long long>(static_cast<long long>(srcy) + srch, src->getHeight());
  long long left = std::max(srcx, 0), top = std::max(srcy, 0);
  long long dx = dstx, dy = dsty;
  if (dx < 0) {
    left -= dx;
    dx = 0;
  }
  if (dy < 0) {
    top -= dy;
    dy = 0;
  }
  if (dx + (right - left) > dest->getWidth()) right = left - dx + dest->getWidth();
  if (dy + (bottom - top) > dest->getHeight()) bottom = top - dy + dest->getHeight();
  if (right <= left + 1 || bottom <= top + 1) return;

  gfx_detail::Rows s, d;
  if (!gfx_detail::rowsOf(src, &s) || !gfx_detail::rowsOf(dest, &d)) return;
  const int w = static_cast<int>(right - left), h = static_cast<int>(bottom - top);
  const RowAt srcRow{s, static_cast<int>(left), static_cast<int>(top)};
  const RowAt dstRow{d, static_cast<int>(dx), static_cast<int>(dy)};

  if (src != dest) {
    for (int i = 0; i < h; ++i)
      blurRow(dstRow(i), i > 0 ? srcRow(i - 1) : nullptr, srcRow(i), i < h - 1 ? srcRow(i + 1) : nullptr, w);
    return;
  }

  if (dx != left || dy != top) {
    // In place at another position: written rows may be rows still to be read, in any order,
    // so the whole source rectangle is read from a copy.
    GFX_pixel* copy = static_cast<GFX_pixel*>(malloc(static_cast<size_t>(w) * h * sizeof(GFX_pixel)));
    if (!copy) return;
    for (int i = 0; i < h; ++i) memcpy(copy + static_cast<size_t>(i) * w, srcRow(i), static_cast<size_t>(w) * 4);
    auto row = [&](int i) { return copy + static_cast<size_t>(i) * w; };
    for (int i = 0; i < h; ++i) blurRow(dstRow(i), i > 0 ? row(i - 1) : nullptr, row(i), i < h - 1 ? row(i + 1) : nullptr, w);
    free(copy);
    return;
  }

  // In place at the same position: two saved rows, chosen by parity, hold the unblurred copies
  // of the current row and the one above; the row below is not yet overwritten.
  GFX_pixel stackBuf[2 * 1024];
  GFX_pixel* buf = stackBuf;
  if (w > 1024) {
    buf = static_cast<GFX_pixel*>(malloc(static_cast<size_t>(w) * 2 * sizeof(GFX_pixel)));
    if (!buf) return;
  }
  for (int i = 0; i < h; ++i) {
    GFX_pixel* saved = buf + ((top + i) & 1) * w;
    GFX_pixel* prev = buf + ((top + i + 1) & 1) * w;
    memcpy(saved, srcRow(i), static_cast<size_t>(w) * 4);
    blurRow(dstRow(i), i > 0 ? prev : nullptr, saved, i < h - 1 ? srcRow(i + 1) : nullptr, w);
  }
  if (buf != stackBuf) free(buf);
}
