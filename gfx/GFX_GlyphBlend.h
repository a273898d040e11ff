// The cached font's glyph loops: one coverage byte per target pixel, an instance per combiner.
//
// Naming: GlyphRenderer<combiner>::family, the family being how a coverage byte v (0 leaves the
// pixel alone in every family) turns into the combiner's inputs:
//   Mono    text colour with the weight as given;
//   Normal  text colour with weight v + 1 at full weight, else min(v * weight / 256, 256);
//   Effect  text colour where v is 255, effect colour where v is 1..254, the weight as given.
// Arguments: coverage, first target pixel, coverage row span (bytes), target row span (pixels,
// negative for a flipped bitmap), width, height, colour channels, weight.
#pragma once

#include "GFX_Combine.h"

template <class C>
struct GlyphRenderer {
  static void Mono(const unsigned char* cov, GFX_pixel* dest, int covSpan, long long destSpan, int w, int h, int r,
                   int g, int b, int weight) {
    for (int y = 0; y < h; ++y, cov += covSpan, dest += destSpan)
      for (int x = 0; x < w; ++x)
        if (cov[x]) C::doPix(reinterpret_cast<unsigned char*>(dest + x), r, g, b, 255, weight);
  }
  static void Normal(const unsigned char* cov, GFX_pixel* dest, int covSpan, long long destSpan, int w, int h, int r,
                     int g, int b, int weight) {
    for (int y = 0; y < h; ++y, cov += covSpan, dest += destSpan)
      for (int x = 0; x < w; ++x) {
        const int v = cov[x];
        if (!v) continue;
        int wv;
        if (weight == 256) {
          wv = v + 1;
        } else {
          wv = (v * weight) / 256;
          if (wv > 256) wv = 256;
        }
        C::doPix(reinterpret_cast<unsigned char*>(dest + x), r, g, b, 255, wv);
      }
  }
  static void Effect(const unsigned char* cov, GFX_pixel* dest, int covSpan, long long destSpan, int w, int h, int r,
                     int g, int b, int weight, int er, int eg, int eb) {
    for (int y = 0; y < h; ++y, cov += covSpan, dest += destSpan)
      for (int x = 0; x < w; ++x) {
        const int v = cov[x];
        if (!v) continue;
        if (v == 255)
          C::doPix(reinterpret_cast<unsigned char*>(dest + x), r, g, b, 255, weight);
        else
          C::doPix(reinterpret_cast<unsigned char*>(dest + x), er, eg, eb, 255, weight);
      }
  }
};
