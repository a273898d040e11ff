// Blending one colour into a bitmap through a caller's 8-bit coverage mask (0 = untouched,
// 255 = full). The circle primitives use it for small shapes; the cached font has its own
// glyph loops (GFX_GlyphBlend.h). Caller's thread, no locks, no errors.
#pragma once

#include "GFX_Bitmap.h"

// The mask (glyph_w x glyph_h bytes, rows glyph_span bytes apart) lands with its top-left corner
// at (x, y), clipped to the bitmap. Each non-zero byte v blends with weight v * trunc(alpha *
// 256) / 256 and the colour's own alpha channel as source alpha; the mode's low byte selects the
// operation (0 copy .. 5 HSV adjust; others draw nothing).
void GFX_DrawGlyphEx(GFX_IBitmap* bitmap, int x, int y, GFX_pixel color, const unsigned char* alphas, int glyph_w,
                     int glyph_span, int glyph_h, float alpha, int mode);
void GFX_DrawGlyph(GFX_IBitmap* bitmap, int x, int y, GFX_pixel color, const unsigned char* alphas, int glyph_w,
                   int glyph_h, float alpha, int mode);

// The pixel loop over one combiner. destSpan is in pixels and may be negative (flipped bitmap).
template <class C>
struct GlyphDrawImpl {
  static void DrawGlyph(const unsigned char* mask, GFX_pixel* dest, int w, int h, GFX_pixel color, long long destSpan,
                        int maskSpan, int weight) {
    const int r = GFX_GETR(color), g = GFX_GETG(color), b = GFX_GETB(color), a = GFX_GETA(color);
    for (int y = 0; y < h; ++y, mask += maskSpan, dest += destSpan) {
      for (int x = 0; x < w; ++x) {
        const int v = mask[x];
        if (!v) continue;
        C::doPix(reinterpret_cast<unsigned char*>(dest + x), r, g, b, a, (v * weight) / 256);
      }
    }
  }
};
