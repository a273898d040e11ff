// Rotated, delta and transform blits: every destination pixel is mapped back into the source by
// integer adds in 16.16 fixed point, held in 64 bits (a start plus thousands of steps, with
// second-order steps, does not fit 32), and combined by one combiner instance chosen per call.
#include "GFX_Rotate.h"

#include <climits>
#include <cmath>

#include "GFX_Internal.h"

namespace {
typedef long long i64;

// Left and top inclusive, right and bottom exclusive, in source pixels.
struct SrcClip {
  int l, t, r, b;
};

bool fin(double v) { return std::isfinite(v); }

int clampTo(double v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : static_cast<int>(v); }

SrcClip sourceClip(GFX_IBitmap* src, bool toRect, float srcx, float srcy, float srcw, float srch) {
  const int W = src->getWidth(), H = src->getHeight();
  SrcClip c = {0, 0, W, H};
  if (toRect) {
    c.l = clampTo(srcx > 0 ? srcx : 0.0, 0, W);
    c.t = clampTo(srcy > 0 ? srcy : 0.0, 0, H);
    const double r = static_cast<double>(srcx) + srcw, b = static_cast<double>(srcy) + srch;
    c.r = clampTo(r < W ? r : W, 0, W);
    c.b = clampTo(b < H ? b : H, 0, H);
  }
  return c;
}

// 16.16 of a value within +-limit pixels, truncated toward zero.
bool toFixed(double v, double limit, i64* out) {
  if (!(std::fabs(v) <= limit)) return false;
  *out = static_cast<i64>(v * 65536.0);
  return true;
}

struct Steps {
  double s0, t0, dsdx, dtdx, dsdy, dtdy, dsdxdy, dtdxdy;
};
}  // namespace

// The shared sampling loop over one combiner.
template <class C>
struct _GFX_Template_Blit3 {
  static void deltaBlit(unsigned char* dest, const unsigned char* src, int w, int h, i64 s, i64 t, i64 dsdx, i64 dtdx,
                        i64 dsdy, i64 dtdy, i64 dsdxdy, i64 dtdxdy, int left, int top, int right, int bottom,
                        std::ptrdiff_t srcspan, std::ptrdiff_t destspan, int ia, int filter) {
    const bool bilinear = filter == 0x100;
    const int R = right - 1, B = bottom - 1;
    for (int y = 0; y < h; ++y, dest += destspan) {
      unsigned char* d = dest;
      i64 ss = s, tt = t;
      for (int x = 0; x < w; ++x, d += 4, ss += dsdx, tt += dtdx) {
        // Division truncates toward zero, so -0.5 samples column 0.
        const i64 si = ss / 65536, ti = tt / 65536;
        if (!bilinear) {
          if (si < left || si >= right || ti < top || ti >= bottom) continue;
          const unsigned char* p = src + srcspan * ti + si * 4;
          C::doPix(d, p[GFX_CH_R], p[GFX_CH_G], p[GFX_CH_B], p[GFX_CH_A], ia);
          continue;
        }
        if (si < left || si > R || ti < top || ti > B) continue;
        // A position just left of (or above) the first column lies between -1 and 0: it truncates
        // to 0, but its low 16 bits would weight the next column. Hold it to the edge instead.
        const i64 fx = ss < 0 ? 0 : ss & 0xffff, fy = tt < 0 ? 0 : tt & 0xffff;
        const unsigned char* p = src + srcspan * ti + si * 4;
        int ch[4];
        if (ti < B && si < R) {
          const unsigned char* q = p + srcspan;
          const i64 br = (fx * fy) / 65536, bl = fy - br, tr = fx - br, tl = 65536 - fx - fy + br;
          for (int k = 0; k < 4; ++k)
            ch[k] = static_cast<int>((tl * p[k] + tr * p[4 + k] + bl * q[k] + br * q[4 + k]) / 65536);
        } else if (ti < B) {
          const unsigned char* q = p + srcspan;
          for (int k = 0; k < 4; ++k) ch[k] = static_cast<int>((p[k] * (65536 - fy) + q[k] * fy) >> 16);
        } else if (si < R) {
          for (int k = 0; k < 4; ++k) ch[k] = static_cast<int>((p[k] * (65536 - fx) + p[4 + k] * fx) >> 16);
        } else {
          for (int k = 0; k < 4; ++k) ch[k] = p[k];
        }
        C::doPix(d, ch[GFX_CH_R], ch[GFX_CH_G], ch[GFX_CH_B], ch[GFX_CH_A], ia);
      }
      dsdx += dsdxdy;
      dtdx += dtdxdy;
      s += dsdy;
      t += dtdy;
    }
  }
};

namespace {
// Destination clip, conversion to 16.16 and the call of the loop.
void deltaCommon(GFX_IBitmap* dest, GFX_IBitmap* src, i64 dx, i64 dy, i64 dw, i64 dh, Steps st, const SrcClip& clip,
                 float alpha, int mode) {
  // Rows and columns cut off at the top and left move the start. With second-order steps the
  // column step depends on the row and the row step on the column, so both move too (the
  // start alone would bend the warp of every cell that reaches over the top or left edge).
  // skip(n, step along the cut axis, step along the other axis): moves the start n steps and the
  // other axis's step by n second-order steps.
  auto skip = [&st](i64 n, double* ds, double* dt, double* otherDs, double* otherDt) {
    st.s0 += static_cast<double>(n) * *ds;
    st.t0 += static_cast<double>(n) * *dt;
    *otherDs += static_cast<double>(n) * st.dsdxdy;
    *otherDt += static_cast<double>(n) * st.dtdxdy;
  };
  if (dy < 0) {
    skip(-dy, &st.dsdy, &st.dtdy, &st.dsdx, &st.dtdx);
    dh += dy;
    dy = 0;
  }
  if (dx < 0) {
    skip(-dx, &st.dsdx, &st.dtdx, &st.dsdy, &st.dtdy);
    dw += dx;
    dx = 0;
  }
  const i64 W = dest->getWidth(), H = dest->getHeight();
  if (dw > W - dx) dw = W - dx;
  if (dh > H - dy) dh = H - dy;
  // Beyond 2^30 pixels no bitmap exists, and the 64-bit positions below rely on that bound.
  if (dw < 1 || dh < 1 || dw * dh > (i64(1) << 30)) return;
  if (clip.l >= clip.r || clip.t >= clip.b) return;
  gfx_detail::Rows drows, srows;
  if (!gfx_detail::rowsOf(dest, &drows) || !gfx_detail::rowsOf(src, &srows)) return;
  int ia;
  if (!GFX_AlphaToWeight(alpha, &ia) || ia == 0) return;
  // Positions within 2^29 source pixels, steps within 32767 source pixels per pixel: over at most
  // 2^30 destination pixels they stay far inside 64 bits.
  const double posLim = 536870912.0, stepLim = 32767.0;
  i64 s, t, a, b, c, d, e, f;
  if (!toFixed(st.s0, posLim, &s) || !toFixed(st.t0, posLim, &t) || !toFixed(st.dsdx, stepLim, &a) ||
      !toFixed(st.dtdx, stepLim, &b) || !toFixed(st.dsdy, stepLim, &c) || !toFixed(st.dtdy, stepLim, &d) ||
      !toFixed(st.dsdxdy, stepLim, &e) || !toFixed(st.dtdxdy, stepLim, &f))
    return;
  unsigned char* first = drows.row(static_cast<int>(dy)) + dx * 4;
  const int filter = mode & 0xff00;
  GFX_SelectCombiner(mode, ia, [&](auto tag) {
    _GFX_Template_Blit3<typename decltype(tag)::type>::deltaBlit(
        first, srows.p, static_cast<int>(dw), static_cast<int>(dh), s, t, a, b, c, d, e, f, clip.l, clip.t, clip.r,
        clip.b, srows.step, drows.step, ia, filter);
  });
}
}  // namespace

void GFX_RotatedBlit(GFX_IBitmap* dest, GFX_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx,
                     float srcy, float srcw, float srch, float angle, bool cliptosourcerect, float alpha, int mode,
                     float rotxcent, float rotycent) {
  if (!dest || !src || dstw == 0 || dsth == 0) return;
  if (!fin(srcx) || !fin(srcy) || !fin(srcw) || !fin(srch) || !fin(angle) || !fin(rotxcent) || !fin(rotycent)) return;
  const SrcClip clip = sourceClip(src, cliptosourcerect, srcx, srcy, srcw, srch);
  i64 dx = dstx, dy = dsty, dw = dstw, dh = dsth;
  if (dw < 0) {
    dx += dw;
    srcx += srcw;
    srcw = -srcw;
    dw = -dw;
  }
  if (dh < 0) {
    dy += dh;
    srcy += srch;
    srch = -srch;
    dh = -dh;
  }
  const double cosa = std::cos(static_cast<double>(angle)), sina = std::sin(static_cast<double>(angle));
  const float xsc = srcw / static_cast<float>(dw), ysc = srch / static_cast<float>(dh);
  Steps st;
  st.dsdx = xsc * cosa;
  st.dtdx = -ysc * sina;
  st.dsdy = xsc * sina;
  st.dtdy = ysc * cosa;
  st.dsdxdy = st.dtdxdy = 0.0;
  const double W = static_cast<double>(dw), H = static_cast<double>(dh);
  st.s0 = srcx - ((H * st.dsdy + W * st.dsdx - srcw) * 0.5 - rotxcent);
  st.t0 = srcy - ((H * st.dtdy + W * st.dtdx - srch) * 0.5 - rotycent);
  // (s0, t0) is where the destination rectangle's top-left corner lands. Sampling there rather
  // than at pixel centres puts a turned or mirrored picture's edge pixels exactly on the source
  // rectangle's far edge, one past the last pixel: a quarter turn or a mirror lost a whole
  // column and shifted the rest. Sample each destination pixel's centre instead (nearest: the
  // source pixel containing it; bilinear: the four around it, whose centres are at +0.5). For
  // unrotated blits of any scale the nearest pixels are the same as before.
  const double toPixel = (mode & 0xff00) == 0x100 ? 0.5 : 0.0;
  st.s0 += 0.5 * (st.dsdx + st.dsdy) - toPixel;
  st.t0 += 0.5 * (st.dtdx + st.dtdy) - toPixel;
  deltaCommon(dest, src, dx, dy, dw, dh, st, clip, alpha, mode);
}

void GFX_DeltaBlit(GFX_IBitmap* dest, GFX_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx, float srcy,
                   float srcw, float srch, double dsdx, double dtdx, double dsdy, double dtdy, double dsdxdy,
                   double dtdxdy, bool cliptosourcerect, float alpha, int mode) {
  if (!dest || !src || dstw == 0 || dsth == 0) return;
  if (!fin(srcx) || !fin(srcy) || !fin(srcw) || !fin(srch)) return;
  const SrcClip clip = sourceClip(src, cliptosourcerect, srcx, srcy, srcw, srch);
  i64 dx = dstx, dy = dsty, dw = dstw, dh = dsth;
  if (dw < 0) {
    dx += dw;
    srcx += srcw;
    dw = -dw;
  }
  if (dh < 0) {
    dy += dh;
    srcy += srch;
    dh = -dh;
  }
  // Non-finite steps fail the 16.16 conversion.
  const Steps st = {srcx, srcy, dsdx, dtdx, dsdy, dtdy, dsdxdy, dtdxdy};
  deltaCommon(dest, src, dx, dy, dw, dh, st, clip, alpha, mode);
}

template <class T>
struct GFX_TransformBlit_class {
  static void blit(GFX_IBitmap* dest, GFX_IBitmap* src, int dstx, int dsty, int dstw, int dsth, const T* pts,
                   int div_w, int div_h, float alpha, int mode) {
    if (!dest || !src || !pts || dstw < 1 || dsth < 1 || div_w < 2 || div_h < 2) return;
    // The running cell edges are truncated to int.
    if (static_cast<i64>(dstx) + dstw > INT_MAX || static_cast<i64>(dsty) + dsth > INT_MAX) return;
    const float xstep = static_cast<float>(dstw) / static_cast<float>(div_w - 1);
    const float ystep = static_cast<float>(dsth) / static_cast<float>(div_h - 1);
    double ry = dsty;
    int prevY = dsty;
    for (int j = 0; j + 1 < div_h; ++j) {
      ry += ystep;
      const int cellY = prevY, yEnd = static_cast<int>(ry);
      prevY = yEnd;
      const int ch = yEnd - cellY;
      if (ch == 0) continue;
      float rx = static_cast<float>(dstx);
      int prevX = dstx;
      for (int i = 0; i + 1 < div_w; ++i) {
        rx += xstep;
        const int cellX = prevX, xEnd = static_cast<int>(rx);
        prevX = xEnd;
        const int cw = xEnd - cellX;
        if (cw == 0) continue;
        const T* p00 = pts + (static_cast<std::ptrdiff_t>(j) * div_w + i) * 2;
        const T* p10 = p00 + 2;
        const T* p01 = p00 + static_cast<std::ptrdiff_t>(div_w) * 2;
        const T* p11 = p01 + 2;
        const double dsdx = (static_cast<double>(p10[0]) - p00[0]) / cw, dtdx = (static_cast<double>(p10[1]) - p00[1]) / cw;
        const double dsdy = (static_cast<double>(p01[0]) - p00[0]) / ch, dtdy = (static_cast<double>(p01[1]) - p00[1]) / ch;
        const double dsdxdy = ((static_cast<double>(p11[0]) - p01[0]) / cw - dsdx) / ch;
        const double dtdxdy = ((static_cast<double>(p11[1]) - p01[1]) / cw - dtdx) / ch;
        GFX_DeltaBlit(dest, src, cellX, cellY, cw, ch, static_cast<float>(p00[0]), static_cast<float>(p00[1]),
                      static_cast<float>(p10[0] - p00[0]), static_cast<float>(p10[1] - p00[1]), dsdx, dtdx, dsdy, dtdy,
                      dsdxdy, dtdxdy, false, alpha, mode);
      }
    }
  }
};

void GFX_TransformBlit(GFX_IBitmap* dest, GFX_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                       const float* srcpoints, int div_w, int div_h, float alpha, int mode) {
  GFX_TransformBlit_class<float>::blit(dest, src, dstx, dsty, dstw, dsth, srcpoints, div_w, div_h, alpha, mode);
}

void GFX_TransformBlit2(GFX_IBitmap* dest, GFX_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                        const double* srcpoints, int div_w, int div_h, float alpha, int mode) {
  GFX_TransformBlit_class<double>::blit(dest, src, dstx, dsty, dstw, dsth, srcpoints, div_w, div_h, alpha, mode);
}
