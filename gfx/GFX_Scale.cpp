// Scaled blit: nearest, bilinear and box-filtered sampling in 16.16 fixed point (65536 = one
// source pixel). Exact general routines; the bilinear four-tap run of a row may be handed to a
// fast path of identical arithmetic (GFX_FastPaths.h).
//
// Positions and steps are carried in 64 bits: a start plus (n - 1) steps overflows 32 bits for
// large or mirrored areas. Float inputs are checked once: a non-finite value, or one whose 16.16
// form does not fit 32 bits (sources beyond +-32767 pixels), draws nothing.
#include <cmath>
#include <cstdint>
#include <vector>

#include "GFX_Blit.h"
#include "GFX_FastPaths.h"
#include "GFX_Internal.h"

using gfx_detail::Rows;

namespace {
typedef long long i64;

// Integer row/column of a 16.16 position, truncated toward zero like the 32-bit division it
// stands for; the caller has already skipped positions below -65535.
inline i64 whole(i64 pos) { return pos / 65536; }
inline unsigned frac(i64 pos) { return static_cast<unsigned>(pos & 0xffff); }

template <class W>
struct FastLoop {
  static void scaleBlitFAST(unsigned char* dest, const unsigned char* src, int w, int h, i64 sx, i64 sy, i64 stx,
                            i64 sty, int cr, int cb, std::ptrdiff_t sspan, std::ptrdiff_t dspan) {
    // The column of every destination pixel is the same on every row: work it out once
    // (-1 = skipped). Without memory for the table, columns are computed per pixel.
    std::vector<int> cols;
    try {
      cols.resize(static_cast<size_t>(w));
    } catch (...) {
      cols.clear();
    }
    if (!cols.empty()) {
      i64 xpos = sx;
      for (int x = 0; x < w; ++x, xpos += stx)
        cols[x] = (xpos < -65535 || whole(xpos) >= cr) ? -1 : static_cast<int>(whole(xpos));
    }
    i64 ypos = sy;
    for (int y = 0; y < h; ++y, ypos += sty, dest += dspan) {
      if (ypos < -65535 || whole(ypos) >= cb) continue;
      const GFX_pixel* row = reinterpret_cast<const GFX_pixel*>(src + sspan * whole(ypos));
      GFX_pixel* d = reinterpret_cast<GFX_pixel*>(dest);
      if (!cols.empty()) {
        for (int x = 0; x < w; ++x)
          if (cols[x] >= 0) W::doPix(d + x, row[cols[x]]);
        continue;
      }
      i64 xpos = sx;
      for (int x = 0; x < w; ++x, xpos += stx) {
        if (xpos < -65535 || whole(xpos) >= cr) continue;
        W::doPix(d + x, row[whole(xpos)]);
      }
    }
  }
};

// Which bilinear fast paths a combiner has: only the plain copy at full weight (clobber), the
// loop that scales every interface image at load.
template <class C>
struct BilinearFast {
  static GFX_BilinearRowFn find(int) { return nullptr; }
};
template <>
struct BilinearFast<_GFX_CombinePixelsClobberNoClamp> {
  static GFX_BilinearRowFn find(int weight) { return GFX_FindBilinearFastPath(0, weight); }
};

// Checked double -> 16.16 conversion (truncation toward zero).
bool toFixed(double v, i64* out) {
  const double f = v * 65536.0;
  if (!(std::fabs(f) < 2147483647.0)) return false;
  *out = static_cast<i64>(f);
  return true;
}

}  // namespace

template <class C>
void _GFX_Template_Blit2<C>::scaleBlit(unsigned char* dest, const unsigned char* src, int w, int h, i64 sx, i64 sy,
                                       i64 stx, i64 sty, int cr, int cb, std::ptrdiff_t sspan, std::ptrdiff_t dspan,
                                       int weight, int filter) {
  i64 ypos = sy;
  for (int y = 0; y < h; ++y, ypos += sty, dest += dspan) {
    if (ypos < -65535) continue;
    const i64 r = whole(ypos);
    if (r >= cb) continue;
    const unsigned char* row0 = src + sspan * r;
    unsigned char* d = dest;
    if (filter != 0x100) {
      i64 xpos = sx;
      for (int x = 0; x < w; ++x, xpos += stx, d += 4) {
        if (xpos < -65535 || whole(xpos) >= cr) continue;
        const unsigned char* p = row0 + whole(xpos) * 4;
        C::doPix(d, p[GFX_CH_R], p[GFX_CH_G], p[GFX_CH_B], p[GFX_CH_A], weight);
      }
      continue;
    }
    const unsigned fy = frac(ypos);
    const bool lastRow = r == cb - 1;
    const unsigned char* row1 = lastRow ? row0 : row0 + sspan;
    int x = 0;
    i64 xpos = sx;
    if (!lastRow && stx > 0 && sx >= 0 && w > 0) {
      // Leading run of four-tap pixels (columns below cr - 1) for a fast path of this combiner.
      if (GFX_BilinearRowFn f = BilinearFast<C>::find(weight)) {
        i64 n = 0;
        if (whole(sx) < cr - 1) {
          // Largest n with sx + (n - 1) * stx < (cr - 1) * 65536.
          n = ((static_cast<i64>(cr - 1) * 65536 - 1 - sx) / stx) + 1;
          if (n > w) n = w;
        }
        if (n > 0) {
          f(d, row0, row1, static_cast<int>(n), static_cast<int>(sx), static_cast<int>(stx), static_cast<int>(fy),
            weight);
          x = static_cast<int>(n);
          xpos = sx + stx * n;
          d += 4 * n;
        }
      }
    }
    for (; x < w; ++x, xpos += stx, d += 4) {
      if (xpos < -65535) continue;
      const i64 c = whole(xpos);
      if (c >= cr) continue;
      const unsigned fx = frac(xpos);
      const unsigned char* p00 = row0 + c * 4;
      unsigned v[4];
      if (!lastRow) {
        const unsigned char* p01 = row1 + c * 4;
        if (c < cr - 1) {
          const unsigned f11 = (fx * fy) >> 16;
          const unsigned f10 = fx - f11, f01 = fy - f11, f00 = 65536 - fx - fy + f11;
          for (int k = 0; k < 4; ++k) v[k] = (p00[k] * f00 + p00[k + 4] * f10 + p01[k] * f01 + p01[k + 4] * f11) >> 16;
        } else {
          for (int k = 0; k < 4; ++k) v[k] = (p01[k] * fy + p00[k] * (65536 - fy)) >> 16;
        }
      } else if (c < cr - 1) {
        for (int k = 0; k < 4; ++k) v[k] = (p00[k + 4] * fx + p00[k] * (65536 - fx)) >> 16;
      } else {
        for (int k = 0; k < 4; ++k) v[k] = p00[k];
      }
      C::doPix(d, static_cast<int>(v[GFX_CH_R]), static_cast<int>(v[GFX_CH_G]), static_cast<int>(v[GFX_CH_B]),
               static_cast<int>(v[GFX_CH_A]), weight);
    }
  }
}

template <class C>
void _GFX_Template_Blit2<C>::scaleBlitFilterDown(unsigned char* dest, const unsigned char* src, int w, int h, i64 sx,
                                                 i64 sy, i64 stx, i64 sty, int cr, int cb, std::ptrdiff_t sspan,
                                                 std::ptrdiff_t dspan, int weight, const int* tab, int fstart,
                                                 int fsize) {
  i64 ypos = sy;
  for (int y = 0; y < h; ++y, ypos += sty, dest += dspan) {
    if (ypos < -65535) continue;
    const i64 r = whole(ypos);
    if (r >= cb) continue;
    unsigned char* d = dest;
    i64 xpos = sx;
    for (int x = 0; x < w; ++x, xpos += stx, d += 4) {
      if (xpos < -65535) continue;
      const i64 c = whole(xpos);
      if (c >= cr) continue;
      i64 sum[4] = {0, 0, 0, 0}, wsum = 0;
      for (int ty = 0; ty < fsize; ++ty) {
        const i64 rr = r + fstart + ty;
        if (rr < 0 || rr >= cb) continue;
        const unsigned char* row = src + sspan * rr;
        for (int tx = 0; tx < fsize; ++tx) {
          const i64 cc = c + fstart + tx;
          if (cc < 0 || cc >= cr) continue;
          const int tw = tab[ty * fsize + tx];
          const unsigned char* p = row + cc * 4;
          for (int k = 0; k < 4; ++k) sum[k] += static_cast<i64>(p[k]) * tw;
          wsum += tw;
        }
      }
      if (wsum <= 0) continue;
      C::doPix(d, static_cast<int>(sum[GFX_CH_R] / wsum), static_cast<int>(sum[GFX_CH_G] / wsum),
               static_cast<int>(sum[GFX_CH_B] / wsum), static_cast<int>(sum[GFX_CH_A] / wsum), weight);
    }
  }
}

void GFX_ScaledBlit(GFX_IBitmap* dest, GFX_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx,
                    float srcy, float srcw, float srch, float alpha, int mode) {
  if (!dest || !src || dstw == 0 || dsth == 0 || alpha == 0.0f) return;
  if (!std::isfinite(srcx) || !std::isfinite(srcy) || !std::isfinite(srcw) || !std::isfinite(srch) ||
      !std::isfinite(alpha))
    return;
  if (dstw == INT32_MIN || dsth == INT32_MIN) return;  // cannot be mirrored

  // Unscaled shortcut: an exact blit when the sizes match (and, for bilinear, the position is
  // within 0.03 of whole pixels).
  const float dwf = srcw - static_cast<float>(dstw), dhf = srch - static_cast<float>(dsth);
  if (std::fabs(static_cast<double>(dwf)) < 0.001 && std::fabs(static_cast<double>(dhf)) < 0.001) {
    bool take = true;
    if ((mode & 0xff00) == 0x100) {
      auto nearWhole = [](double v) { return std::fabs(v - std::floor(v + 0.5)) < 0.03; };
      take = nearWhole(srcx) && nearWhole(srcy);
    }
    if (take) {
      const double l = std::trunc(static_cast<double>(srcx) + 0.5), t = std::trunc(static_cast<double>(srcy) + 0.5);
      if (std::fabs(l) > 1e9 || std::fabs(t) > 1e9) return;
      RECT r;
      r.left = static_cast<int>(l);
      r.top = static_cast<int>(t);
      const i64 right = static_cast<i64>(r.left) + dstw, bottom = static_cast<i64>(r.top) + dsth;
      if (right > INT32_MAX || bottom > INT32_MAX || right < INT32_MIN || bottom < INT32_MIN) return;
      r.right = static_cast<int>(right);
      r.bottom = static_cast<int>(bottom);
      GFX_Blit(dest, src, dstx, dsty, &r, alpha, mode);
      return;
    }
  }

  i64 dx = dstx, dy = dsty, dw = dstw, dh = dsth;
  if (dw < 0) {  // mirror horizontally
    dw = -dw;
    dx -= dw;
    srcx = srcx + srcw;
    srcw = -srcw;
  }
  if (dh < 0) {
    dh = -dh;
    dy -= dh;
    srcy = srcy + srch;
    srch = -srch;
  }
  const double stepx = static_cast<double>(srcw / static_cast<float>(dw));
  const double stepy = static_cast<double>(srch / static_cast<float>(dh));

  Rows dr, sr;
  if (!gfx_detail::rowsOf(dest, &dr) || !gfx_detail::rowsOf(src, &sr)) return;

  if (dx < 0) {
    srcx = static_cast<float>(srcx - static_cast<double>(dx) * stepx);
    dw += dx;
    dx = 0;
  }
  if (dy < 0) {
    srcy = static_cast<float>(srcy - static_cast<double>(dy) * stepy);
    dh += dy;
    dy = 0;
  }
  if (dw > dr.w - dx) dw = dr.w - dx;
  if (dh > dr.h - dy) dh = dr.h - dy;
  if (dw <= 0 || dh <= 0 || !std::isfinite(srcx) || !std::isfinite(srcy)) return;

  i64 fstx, fsty, sx, sy;
  if (!toFixed(stepx, &fstx) || !toFixed(stepy, &fsty) || !toFixed(srcx, &sx) || !toFixed(srcy, &sy)) return;
  // A mirrored axis walks leftward from the source's right edge. Sampling at that edge itself
  // would read the column just outside the area (dropped by the clip) and shift the image by one
  // pixel; start one step in, so that mirrored and plain blits sample the same columns.
  if (fstx < 0) sx += fstx;
  if (fsty < 0) sy += fsty;

  // Source clipping for positive steps: skip destination columns that would sample left of the
  // source, and stop before the last column would sample beyond it.
  auto clipAxis = [](i64 step, i64& start, i64& len, i64& dpos, int srcLen) {
    if (step <= 0) return;
    if (start < 0) {
      const i64 n = (step - 1 - start) / step;
      len -= n;
      dpos += n;
      start += n * step;
    }
    if (len > 0 && ((len - 1) * step + start) / 65536 >= srcLen) {
      const i64 lim = ((static_cast<i64>(srcLen) - 1) * 65536 - start) / step;
      if (lim < len) len = lim;
    }
  };
  clipAxis(fstx, sx, dw, dx, sr.w);
  clipAxis(fsty, sy, dh, dy, sr.h);
  if (dw <= 0 || dh <= 0) return;

  // Source limits (exclusive), from the float position as clipped above.
  const double crd = static_cast<double>(std::fmax(srcw, 0.0f) + srcx) + 0.999999;
  const double cbd = static_cast<double>(std::fmax(srch, 0.0f) + srcy) + 0.999999;
  i64 cr = crd >= static_cast<double>(sr.w) ? sr.w : static_cast<i64>(crd);
  i64 cb = cbd >= static_cast<double>(sr.h) ? sr.h : static_cast<i64>(cbd);
  if (cr <= 0 || cb <= 0) return;

  int weight;
  if (!GFX_AlphaToWeight(alpha, &weight)) return;

  unsigned char* d = dr.row(static_cast<int>(dy)) + dx * 4;
  const unsigned char* s = sr.p;
  const int w = static_cast<int>(dw), h = static_cast<int>(dh);
  const int icr = static_cast<int>(cr), icb = static_cast<int>(cb);

  // The same bitmap as source and destination would read pixels already written: sample from a
  // copy of the source instead.
  GFX_MemBitmap tmp;
  if (src == dest || src->getBits() == dest->getBits()) {
    GFX_Copy(&tmp, src);
    if (!tmp.getBits()) return;
    s = reinterpret_cast<const unsigned char*>(tmp.getBits());
    sr.step = static_cast<std::ptrdiff_t>(tmp.getRowSpan()) * 4;
  }

  if ((mode & 0x1ffff) == 0 && weight == 256) {
    FastLoop<_GFX_CombinePixelsClobberFAST>::scaleBlitFAST(d, s, w, h, sx, sy, fstx, fsty, icr, icb, sr.step, dr.step);
    return;
  }
  if ((mode & 0x1ffff) == 0 && weight == 128) {
    FastLoop<_GFX_CombinePixelsHalfMixFAST>::scaleBlitFAST(d, s, w, h, sx, sy, fstx, fsty, icr, icb, sr.step, dr.step);
    return;
  }
  if ((mode & 0xff00) == 0x100 && stepx >= 1.7 && stepy >= 1.7) {
    const int size = (fstx > fsty ? fstx : fsty) > 0x30000 ? 5 : 3;
    int tab[25];
    for (int& t : tab) t = 65536;
    GFX_SelectCombiner(mode, weight, [&](auto tag) {
      _GFX_Template_Blit2<typename decltype(tag)::type>::scaleBlitFilterDown(
          d, s, w, h, sx, sy, fstx, fsty, icr, icb, sr.step, dr.step, weight, tab, -(size / 2), size);
    });
    return;
  }
  GFX_SelectCombiner(mode, weight, [&](auto tag) {
    _GFX_Template_Blit2<typename decltype(tag)::type>::scaleBlit(d, s, w, h, sx, sy, fstx, fsty, icr, icb, sr.step,
                                                                 dr.step, weight, mode & 0xff00);
  });
}
