// Gradient rectangle: a colour varying linearly in x and y, whose own alpha is the per-pixel
// combining weight. Runs on the caller's thread; reports nothing.
#pragma once

#include "GFX_Bitmap.h"

// Colours and alpha in 0..1 (1.0 = full channel, full weight); slopes per destination pixel.
// The mode's low byte selects the operation (0 copy, 1 add, 2 dodge, 3 multiply, 4 overlay,
// 5 HSV adjust; other values draw nothing); the source-alpha bit and filter field are ignored.
void GFX_GradRect(GFX_IBitmap* dest, int x, int y, int w, int h, float ir, float ig, float ib, float ia,
                  float drdx, float dgdx, float dbdx, float dadx, float drdy, float dgdy, float dbdy, float dady,
                  int mode);

// The row loop over one combiner; colours and slopes in 16.16 fixed point. Accumulates in 64
// bits, so no width or slope wraps: a pixel i columns and j rows from the start gets
// trunc((start + i * slope x + j * slope y) / 65536) of each channel, alpha as its weight too.
template <class C>
struct GFX_GradientLoop {
  static void gradBlit(unsigned char* dest, int w, int h, int r, int g, int b, int a, int drdx, int dgdx, int dbdx,
                       int dadx, int drdy, int dgdy, int dbdy, int dady, long long destspan) {
    long long rr = r, gg = g, bb = b, aa = a;
    for (int y = 0; y < h; ++y, dest += destspan) {
      long long cr = rr, cg = gg, cb = bb, ca = aa;
      unsigned char* d = dest;
      for (int x = 0; x < w; ++x, d += 4) {
        const int av = static_cast<int>(ca / 65536);
        C::doPix(d, static_cast<int>(cr / 65536), static_cast<int>(cg / 65536), static_cast<int>(cb / 65536), av, av);
        cr += drdx;
        cg += dgdx;
        cb += dbdx;
        ca += dadx;
      }
      rr += drdy;
      gg += dgdy;
      bb += dbdy;
      aa += dady;
    }
  }
};
