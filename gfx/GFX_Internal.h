// Private to the graphics library: row addressing and the row-loop templates over combiners.
// Not for callers outside gfx/.
#pragma once

#include <cstddef>

#include "GFX_Bitmap.h"
#include "GFX_Combine.h"

namespace gfx_detail {

// Picture row `y` of a bitmap as a byte pointer with a signed byte step to the next picture row.
// Flipped bitmaps start at their last memory row and step backward.
// Note: getRowSpan() is an int in pixels; the byte step is widened to ptrdiff_t before it is
// multiplied, because span * 4 * row overflows int for large bitmaps.
struct Rows {
  unsigned char* p = nullptr;  // picture row 0
  std::ptrdiff_t step = 0;     // bytes from one picture row to the next
  int w = 0, h = 0;
  unsigned char* row(int y) const { return p + step * y; }
};

inline bool rowsOf(GFX_IBitmap* bm, Rows* r) {
  if (!bm) return false;
  GFX_pixel* bits = bm->getBits();
  const int w = bm->getWidth(), h = bm->getHeight(), span = bm->getRowSpan();
  if (!bits || w < 1 || h < 1 || span < w) return false;
  r->w = w;
  r->h = h;
  r->step = static_cast<std::ptrdiff_t>(span) * 4;
  r->p = reinterpret_cast<unsigned char*>(bits);
  if (bm->isFlipped()) {
    r->p += r->step * (h - 1);
    r->step = -r->step;
  }
  return true;
}

inline GFX_pixel loadPix(const unsigned char* p) {
  GFX_pixel v;
  __builtin_memcpy(&v, p, 4);
  return v;
}
inline void storePix(unsigned char* p, GFX_pixel v) { __builtin_memcpy(p, &v, 4); }

}  // namespace gfx_detail

// Row loops over one combiner: the unscaled blit here, the scaled ones in GFX_Scale.cpp (16.16
// positions held in 64 bits; see there).
template <class C>
struct _GFX_Template_Blit2 {
  static void scaleBlit(unsigned char* dest, const unsigned char* src, int w, int h, long long startx,
                        long long starty, long long stepx, long long stepy, int clipright, int clipbottom,
                        std::ptrdiff_t srcspan, std::ptrdiff_t destspan, int weight, int filter);
  static void scaleBlitFilterDown(unsigned char* dest, const unsigned char* src, int w, int h, long long startx,
                                  long long starty, long long stepx, long long stepy, int clipright, int clipbottom,
                                  std::ptrdiff_t srcspan, std::ptrdiff_t destspan, int weight, const int* filtertab,
                                  int filterstart, int filtersize);
  static void blit(unsigned char* dest, const unsigned char* src, int w, int h, std::ptrdiff_t srcspan,
                   std::ptrdiff_t destspan, int weight) {
    for (int y = 0; y < h; ++y) {
      unsigned char* d = dest;
      const unsigned char* s = src;
      for (int x = 0; x < w; ++x, d += 4, s += 4)
        C::doPix(d, s[GFX_CH_R], s[GFX_CH_G], s[GFX_CH_B], s[GFX_CH_A], weight);
      dest += destspan;
      src += srcspan;
    }
  }
};

// Solid-colour row loop of the fills: the colour's red, green, blue and the weight `ia` given
// both as the source alpha and as the weight.
template <class C>
struct _GFX_Template_Blit1 {
  static void solidBlit(unsigned char* dest, int w, int h, int r, int g, int b, int ia, std::ptrdiff_t destspan) {
    for (int y = 0; y < h; ++y, dest += destspan) {
      unsigned char* d = dest;
      for (int x = 0; x < w; ++x, d += 4) C::doPix(d, r, g, b, ia, ia);
    }
  }
};
