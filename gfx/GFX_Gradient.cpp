#include "GFX_Gradient.h"

#include <cmath>

#include "GFX_Internal.h"

namespace {

// 16.16 fixed point of a scaled value, truncated toward zero. False for a value that is not
// finite or does not fit an int (a caller's nonsense; converting it would be undefined).
bool toFixed(float v, int* out) {
  const double f = static_cast<double>(v) * 65536.0;
  if (!std::isfinite(f) || f >= 2147483648.0 || f <= -2147483649.0) return false;
  *out = static_cast<int>(f);
  return true;
}

}  // namespace

void GFX_GradRect(GFX_IBitmap* dest, int x, int y, int w, int h, float ir, float ig, float ib, float ia,
                  float drdx, float dgdx, float dbdx, float dadx, float drdy, float dgdy, float dbdy, float dady,
                  int mode) {
  if (!dest) return;
  ir *= 255;
  ig *= 255;
  ib *= 255;
  drdx *= 255;
  dgdx *= 255;
  dbdx *= 255;
  drdy *= 255;
  dgdy *= 255;
  dbdy *= 255;
  ia *= 256;
  dadx *= 256;
  dady *= 256;

  long long X = x, Y = y, W = w, H = h;
  if (X < 0) {
    const float n = static_cast<float>(-X);
    ir += n * drdx;
    ig += n * dgdx;
    ib += n * dbdx;
    ia += n * dadx;
    W += X;
    X = 0;
  }
  if (Y < 0) {
    const float n = static_cast<float>(-Y);
    ir += n * drdy;
    ig += n * dgdy;
    ib += n * dbdy;
    ia += n * dady;
    H += Y;
    Y = 0;
  }
  if (W > dest->getWidth() - X) W = dest->getWidth() - X;
  if (H > dest->getHeight() - Y) H = dest->getHeight() - Y;
  if (W <= 0 || H <= 0) return;

  gfx_detail::Rows rows;
  if (!gfx_detail::rowsOf(dest, &rows)) return;
  unsigned char* p = rows.row(static_cast<int>(Y)) + X * 4;

  int f[12];
  const float vals[12] = {ir, ig, ib, ia, drdx, dgdx, dbdx, dadx, drdy, dgdy, dbdy, dady};
  for (int i = 0; i < 12; ++i)
    if (!toFixed(vals[i], &f[i])) return;

  const int op = mode & 0xff;
#define GFX_GRAD_RUN(C) \
  GFX_GradientLoop<C>::gradBlit(p, static_cast<int>(W), static_cast<int>(H), f[0], f[1], f[2], f[3], f[4], f[5], \
                                f[6], f[7], f[8], f[9], f[10], f[11], rows.step)
  // Overwrite: a constant alpha of exactly 1/256 (65536 in fixed point once scaled) in copy
  // mode. Not 1.0: that is the historical trigger, and callers rely on its alpha byte of 1.
  if (op == 0 && f[7] == 0 && f[11] == 0 && f[3] == 65536) {
    GFX_GRAD_RUN(_GFX_CombinePixelsClobberClamp);
    return;
  }
  switch (op) {
    case 0: GFX_GRAD_RUN(_GFX_CombinePixelsCopyClamp); break;
    case 1: GFX_GRAD_RUN(_GFX_CombinePixelsAdd); break;
    case 2: GFX_GRAD_RUN(_GFX_CombinePixelsColorDodge); break;
    case 3: GFX_GRAD_RUN(_GFX_CombinePixelsMulClamp); break;
    case 4: GFX_GRAD_RUN(_GFX_CombinePixelsOverlay); break;
    case 5: GFX_GRAD_RUN(_GFX_CombinePixelsHSVAdjust); break;
    default: break;
  }
#undef GFX_GRAD_RUN
}
