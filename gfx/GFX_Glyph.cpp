#include "GFX_Glyph.h"

#include "GFX_GlyphBlend.h"

void GFX_DrawGlyphEx(GFX_IBitmap* bitmap, int x, int y, GFX_pixel color, const unsigned char* alphas, int glyph_w,
                     int glyph_span, int glyph_h, float alpha, int mode) {
  if (!bitmap || !alphas || glyph_w < 1 || glyph_h < 1 || glyph_span < glyph_w) return;
  if (x <= -glyph_w || y <= -glyph_h) return;
  int height = glyph_h;
  if (x < 0) {
    alphas += -x;
    glyph_w += x;
    x = 0;
  }
  if (y < 0) {
    alphas += static_cast<long long>(-y) * glyph_span;
    height += y;
    y = 0;
  }
  const int bw = bitmap->getWidth(), bh = bitmap->getHeight();
  if (x >= bw || y >= bh) return;
  if (height > bh - y) height = bh - y;
  if (glyph_w > bw - x) glyph_w = bw - x;
  if (glyph_w < 1 || height < 1) return;

  int ia = 0;
  if (!GFX_AlphaToWeightF(alpha, &ia) || ia == 0) return;
  const int op = mode & 0xff;
  if (op > 5 || (op == 0 && ia < 1)) return;

  GFX_pixel* bits = bitmap->getBits();
  const int span = bitmap->getRowSpan();
  if (!bits || span < bw) return;
  long long destSpan = span;
  GFX_pixel* dest;
  if (bitmap->isFlipped()) {
    dest = bits + static_cast<long long>(bh - 1 - y) * span + x;
    destSpan = -destSpan;
  } else {
    dest = bits + static_cast<long long>(y) * span + x;
  }
  GFX_SelectPlainCombiner(op, [&](auto tag) {
    GlyphDrawImpl<typename decltype(tag)::type>::DrawGlyph(alphas, dest, glyph_w, height, color, destSpan, glyph_span, ia);
  });
}

void GFX_DrawGlyph(GFX_IBitmap* bitmap, int x, int y, GFX_pixel color, const unsigned char* alphas, int glyph_w,
                   int glyph_h, float alpha, int mode) {
  GFX_DrawGlyphEx(bitmap, x, y, color, alphas, glyph_w, glyph_w, glyph_h, alpha, mode);
}
