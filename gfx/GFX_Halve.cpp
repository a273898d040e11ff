// Half-size box-filtered copy and bitmap comparison.
#include <cstring>

#include "GFX_Blit.h"
#include "GFX_Internal.h"

namespace {
inline GFX_pixel quarter(GFX_pixel p) { return (p >> 2) & 0x3f3f3f3f; }
}  // namespace

void GFX_HalveBlitAA(GFX_IBitmap* dest, GFX_IBitmap* src) {
  if (!dest || !src) return;
  int w = src->getWidth() / 2, h = src->getHeight() / 2;
  if (dest->getWidth() < w) w = dest->getWidth();
  if (dest->getHeight() < h) h = dest->getHeight();
  GFX_pixel* dbits = dest->getBits();
  const GFX_pixel* sbits = src->getBits();
  if (h < 1 || w < 1 || !dbits || !sbits) return;
  // Rows in memory order in both bitmaps: the flipped flag is deliberately not consulted.
  const std::ptrdiff_t dspan = dest->getRowSpan(), sspan = src->getRowSpan();
  for (int r = 0; r < h; ++r) {
    GFX_pixel* d = dbits + dspan * r;
    const GFX_pixel* s0 = sbits + sspan * (2 * r);
    const GFX_pixel* s1 = s0 + sspan;
    for (int x = 0; x < w; ++x)
      d[x] = quarter(s0[2 * x]) + quarter(s0[2 * x + 1]) + quarter(s1[2 * x]) + quarter(s1[2 * x + 1]);
  }
}

int GFX_BitmapCmp(GFX_IBitmap* a, GFX_IBitmap* b, int* coordsOut) {
  if (!a || !b) return a ? 1 : b ? -1 : 0;
  const int W = a->getWidth(), H = a->getHeight();
  if (W != b->getWidth()) return b->getWidth() - W;
  if (H != b->getHeight()) return b->getHeight() - H;

  gfx_detail::Rows ra, rb;
  const bool ha = gfx_detail::rowsOf(a, &ra), hb = gfx_detail::rowsOf(b, &rb);
  if (!ha || !hb) {
    // Equal sizes but at least one has no pixels: read nothing. Two empty bitmaps are equal;
    // otherwise the one without pixels orders first and, with coordsOut, all of it differs.
    const int res = ha == hb ? 0 : (ha ? 1 : -1);
    if (coordsOut) {
      coordsOut[0] = coordsOut[1] = 0;
      coordsOut[2] = res ? W : 0;
      coordsOut[3] = res ? H : 0;
      return res ? 1 : 0;
    }
    return res;
  }
  const size_t rowBytes = static_cast<size_t>(W) * 4;
  if (!coordsOut) {
    for (int y = 0; y < H; ++y) {
      const int c = memcmp(ra.row(y), rb.row(y), rowBytes);
      if (c) return c;
    }
    return 0;
  }

  auto px = [](const gfx_detail::Rows& r, int y) { return reinterpret_cast<const GFX_pixel*>(r.row(y)); };
  auto firstDiff = [&](int y, int from, int to) {  // first differing column in [from, to), or -1
    const GFX_pixel *pa = px(ra, y), *pb = px(rb, y);
    for (int x = from; x < to; ++x)
      if (pa[x] != pb[x]) return x;
    return -1;
  };
  auto lastDiff = [&](int y, int downTo) {  // last differing column >= downTo, or -1
    const GFX_pixel *pa = px(ra, y), *pb = px(rb, y);
    for (int x = W - 1; x >= downTo; --x)
      if (pa[x] != pb[x]) return x;
    return -1;
  };

  int y0 = 0, L = -1;
  for (; y0 < H; ++y0)
    if ((L = firstDiff(y0, 0, W)) >= 0) break;
  if (y0 == H) {
    coordsOut[0] = coordsOut[1] = coordsOut[2] = coordsOut[3] = 0;
    return 0;
  }
  int R = lastDiff(y0, L);
  int y1 = H - 1;
  for (; y1 > y0; --y1) {
    const int l = firstDiff(y1, 0, W);
    if (l < 0) continue;
    if (l < L) L = l;
    const int r = lastDiff(y1, R + 1);
    if (r > R) R = r;
    break;
  }
  for (int y = y0 + 1; y < y1 && (L > 0 || R < W - 1); ++y) {
    const int l = firstDiff(y, 0, L);
    if (l >= 0) L = l;
    const int r = lastDiff(y, R + 1);
    if (r > R) R = r;
  }
  coordsOut[0] = L;
  coordsOut[1] = y0;
  coordsOut[2] = R - L + 1;
  coordsOut[3] = y1 - y0 + 1;
  return 1;
}
