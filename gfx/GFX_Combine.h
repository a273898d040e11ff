// Pixel combiners: the exact per-pixel arithmetic of every blend mode.
//
// Each combiner is a stateless class with one static doPix(dest, r, g, b, a, w) that updates the
// four bytes of one destination pixel (memory order alpha, red, green, blue; see GFX_Types.h)
// from source channel values r, g, b, a and the integer weight w (256 = full strength). Every
// pixel loop of the library is a template over one combiner, chosen once per call, so the
// arithmetic here is inlined and identical in the blits, the scaled blits and the fills. The
// SIMD fast paths must reproduce these results bit for bit; tests compare them on random input.
//
// Arithmetic: "/" truncates toward zero (so -1/256 is 0), "low 8 bits" stores without clamping,
// "clamp" limits to 0..255. Intermediates are 64-bit: the weight is not clamped (callers pass
// alpha in 0..1, but an alpha up to 256 must not overflow), and the free functions below accept
// arbitrary channel values.
#pragma once

#include "GFX_Types.h"

namespace gfx_detail {
typedef long long i64;
inline unsigned char lo8(i64 v) { return static_cast<unsigned char>(v & 0xff); }
inline unsigned char clamp8(i64 v) { return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v); }
inline i64 min255(i64 v) { return v > 255 ? 255 : v; }
// Per-pixel weight of the source-alpha combiners.
inline int srcAlphaWeight(int a, int w) { return static_cast<int>(((static_cast<i64>(a) + 1) * w) / 256); }

// Applies one per-channel rule to all four channels (alpha with s = a).
template <class Ch>
inline void eachChannel(unsigned char* d, int r, int g, int b, int a, int w) {
  d[GFX_CH_A] = Ch::ch(d[GFX_CH_A], a, w);
  d[GFX_CH_R] = Ch::ch(d[GFX_CH_R], r, w);
  d[GFX_CH_G] = Ch::ch(d[GFX_CH_G], g, w);
  d[GFX_CH_B] = Ch::ch(d[GFX_CH_B], b, w);
}

struct CopyCh {
  static unsigned char ch(i64 d, i64 s, i64 w) { return lo8(s + ((d - s) * (256 - w)) / 256); }
};
struct CopyClampCh {
  static unsigned char ch(i64 d, i64 s, i64 w) { return clamp8(s + ((d - s) * (256 - w)) / 256); }
};
struct AddCh {
  static unsigned char ch(i64 d, i64 s, i64 w) { return clamp8(d + (s * w) / 256); }
};
struct DodgeCh {
  static unsigned char ch(i64 d, i64 s, i64 w) {
    // Divisors below 2 (k = 1 at full weight and full source, or k below 1, reachable only with
    // weights above 256) take t = d * 256, so any nonzero d saturates.
    const i64 k = 256 - (s * w) / 256;
    const unsigned dd = static_cast<unsigned>(d * 256);
    const i64 t = k >= 2 ? static_cast<i64>(dd / static_cast<unsigned>(k)) : static_cast<i64>(dd);
    return static_cast<unsigned char>(t > 255 ? 255 : t);
  }
};
struct MulCh {
  static unsigned char ch(i64 d, i64 s, i64 w) { return lo8((d * (s * w + (256 - w) * 256)) / 65536); }
};
struct MulClampCh {
  static unsigned char ch(i64 d, i64 s, i64 w) { return clamp8((d * (s * w + (256 - w) * 256)) / 65536); }
};
struct OverlayCh {
  static unsigned char ch(i64 d, i64 s, i64 w) {
    const i64 m = s * w + (256 - w) * 128;
    const i64 t = ((32768 - m) * d) / 256 + m;
    return clamp8((t * d) / 32768);
  }
};

extern const unsigned short _GFX_RGB2HSV_invtab[256];
void hsvAdjust(unsigned char* d, int r, int g, int b, int a, int w);
}  // namespace gfx_detail

// ---- plain combiners ----

struct _GFX_CombinePixelsClobberNoClamp {
  static inline void doPix(unsigned char* d, int r, int g, int b, int a, int) {
    d[GFX_CH_A] = gfx_detail::lo8(a);
    d[GFX_CH_R] = gfx_detail::lo8(r);
    d[GFX_CH_G] = gfx_detail::lo8(g);
    d[GFX_CH_B] = gfx_detail::lo8(b);
  }
};
struct _GFX_CombinePixelsClobberClamp {
  static inline void doPix(unsigned char* d, int r, int g, int b, int a, int) {
    d[GFX_CH_A] = gfx_detail::clamp8(a);
    d[GFX_CH_R] = gfx_detail::clamp8(r);
    d[GFX_CH_G] = gfx_detail::clamp8(g);
    d[GFX_CH_B] = gfx_detail::clamp8(b);
  }
};
// Used only by the circle and line kernels.
struct _GFX_CombinePixelsHalfMixNoClamp {
  static inline void doPix(unsigned char* d, int r, int g, int b, int a, int) {
    d[GFX_CH_A] = gfx_detail::lo8((d[GFX_CH_A] + a) >> 1);
    d[GFX_CH_R] = gfx_detail::lo8((d[GFX_CH_R] + r) >> 1);
    d[GFX_CH_G] = gfx_detail::lo8((d[GFX_CH_G] + g) >> 1);
    d[GFX_CH_B] = gfx_detail::lo8((d[GFX_CH_B] + b) >> 1);
  }
};
struct _GFX_CombinePixelsCopyNoClamp {
  static inline void doPix(unsigned char* d, int r, int g, int b, int a, int w) {
    gfx_detail::eachChannel<gfx_detail::CopyCh>(d, r, g, b, a, w);
  }
};
struct _GFX_CombinePixelsCopyClamp {
  static inline void doPix(unsigned char* d, int r, int g, int b, int a, int w) {
    gfx_detail::eachChannel<gfx_detail::CopyClampCh>(d, r, g, b, a, w);
  }
};
struct _GFX_CombinePixelsAdd {
  static inline void doPix(unsigned char* d, int r, int g, int b, int a, int w) {
    gfx_detail::eachChannel<gfx_detail::AddCh>(d, r, g, b, a, w);
  }
};
struct _GFX_CombinePixelsColorDodge {
  static inline void doPix(unsigned char* d, int r, int g, int b, int a, int w) {
    gfx_detail::eachChannel<gfx_detail::DodgeCh>(d, r, g, b, a, w);
  }
};
struct _GFX_CombinePixelsMulNoClamp {
  static inline void doPix(unsigned char* d, int r, int g, int b, int a, int w) {
    gfx_detail::eachChannel<gfx_detail::MulCh>(d, r, g, b, a, w);
  }
};
struct _GFX_CombinePixelsMulClamp {
  static inline void doPix(unsigned char* d, int r, int g, int b, int a, int w) {
    gfx_detail::eachChannel<gfx_detail::MulClampCh>(d, r, g, b, a, w);
  }
};
struct _GFX_CombinePixelsOverlay {
  static inline void doPix(unsigned char* d, int r, int g, int b, int a, int w) {
    gfx_detail::eachChannel<gfx_detail::OverlayCh>(d, r, g, b, a, w);
  }
};
// Alpha byte becomes the low 8 bits of a (the source's alpha, not the destination's).
struct _GFX_CombinePixelsHSVAdjust {
  static inline void doPix(unsigned char* d, int r, int g, int b, int a, int w) { gfx_detail::hsvAdjust(d, r, g, b, a, w); }
};

// ---- source-alpha combiners: weight sa = ((a + 1) * w) / 256 per pixel ----

template <bool CLAMP>
struct _GFX_CombinePixelsCopySourceAlphaT {
  static inline void doPix(unsigned char* d, int r, int g, int b, int a, int w) {
    using namespace gfx_detail;
    if (a == 0) return;
    const int sa = srcAlphaWeight(a, w);
    const i64 k = 256 - sa;
    const i64 rr = r + ((d[GFX_CH_R] - static_cast<i64>(r)) * k) / 256;
    const i64 gg = g + ((d[GFX_CH_G] - static_cast<i64>(g)) * k) / 256;
    const i64 bb = b + ((d[GFX_CH_B] - static_cast<i64>(b)) * k) / 256;
    const i64 aa = d[GFX_CH_A] + static_cast<i64>(sa);
    d[GFX_CH_R] = CLAMP ? clamp8(rr) : lo8(rr);
    d[GFX_CH_G] = CLAMP ? clamp8(gg) : lo8(gg);
    d[GFX_CH_B] = CLAMP ? clamp8(bb) : lo8(bb);
    d[GFX_CH_A] = CLAMP ? clamp8(aa) : lo8(min255(aa));
  }
};
typedef _GFX_CombinePixelsCopySourceAlphaT<false> _GFX_CombinePixelsCopySourceAlphaNoClamp;
typedef _GFX_CombinePixelsCopySourceAlphaT<true> _GFX_CombinePixelsCopySourceAlphaClamp;

// Chosen instead of the previous one when w is exactly 256: the weight is the alpha byte itself.
template <bool CLAMP>
struct _GFX_CombinePixelsCopySourceAlphaIgnoreAlphaParmT {
  static inline void doPix(unsigned char* d, int r, int g, int b, int a, int) {
    using namespace gfx_detail;
    if (a == 0) return;
    if (a == 255) {
      d[GFX_CH_R] = CLAMP ? clamp8(r) : lo8(r);
      d[GFX_CH_G] = CLAMP ? clamp8(g) : lo8(g);
      d[GFX_CH_B] = CLAMP ? clamp8(b) : lo8(b);
      d[GFX_CH_A] = 255;
      return;
    }
    const i64 k = 255 - static_cast<i64>(a);
    const i64 rr = r + ((d[GFX_CH_R] - static_cast<i64>(r)) * k) / 256;
    const i64 gg = g + ((d[GFX_CH_G] - static_cast<i64>(g)) * k) / 256;
    const i64 bb = b + ((d[GFX_CH_B] - static_cast<i64>(b)) * k) / 256;
    const i64 aa = d[GFX_CH_A] + static_cast<i64>(a);
    d[GFX_CH_R] = CLAMP ? clamp8(rr) : lo8(rr);
    d[GFX_CH_G] = CLAMP ? clamp8(gg) : lo8(gg);
    d[GFX_CH_B] = CLAMP ? clamp8(bb) : lo8(bb);
    d[GFX_CH_A] = CLAMP ? clamp8(aa) : lo8(min255(aa));
  }
};
typedef _GFX_CombinePixelsCopySourceAlphaIgnoreAlphaParmT<false> _GFX_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp;
typedef _GFX_CombinePixelsCopySourceAlphaIgnoreAlphaParmT<true> _GFX_CombinePixelsCopySourceAlphaIgnoreAlphaParmClamp;

// SKIP: a source pixel of alpha 0 leaves the destination unchanged (add, multiply); dodge,
// overlay and HSV adjust process it with weight sa.
template <class Base, bool SKIP>
struct _GFX_CombinePixelsSourceAlphaOf {
  static inline void doPix(unsigned char* d, int r, int g, int b, int a, int w) {
    if (SKIP && a == 0) return;
    Base::doPix(d, r, g, b, a, gfx_detail::srcAlphaWeight(a, w));
  }
};
typedef _GFX_CombinePixelsSourceAlphaOf<_GFX_CombinePixelsAdd, true> _GFX_CombinePixelsAddSourceAlpha;
typedef _GFX_CombinePixelsSourceAlphaOf<_GFX_CombinePixelsColorDodge, false> _GFX_CombinePixelsColorDodgeSourceAlpha;
typedef _GFX_CombinePixelsSourceAlphaOf<_GFX_CombinePixelsMulNoClamp, true> _GFX_CombinePixelsMulSourceAlphaNoClamp;
typedef _GFX_CombinePixelsSourceAlphaOf<_GFX_CombinePixelsMulClamp, true> _GFX_CombinePixelsMulSourceAlphaClamp;
typedef _GFX_CombinePixelsSourceAlphaOf<_GFX_CombinePixelsOverlay, false> _GFX_CombinePixelsOverlaySourceAlpha;
typedef _GFX_CombinePixelsSourceAlphaOf<_GFX_CombinePixelsHSVAdjust, false> _GFX_CombinePixelsHSVAdjustSourceAlpha;

// ---- whole-word combiners (weight ignored) ----

struct _GFX_CombinePixelsClobberFAST {
  static inline void doPix(GFX_pixel* d, GFX_pixel s) { *d = s; }
};
struct _GFX_CombinePixelsHalfMixFAST {
  static inline void doPix(GFX_pixel* d, GFX_pixel s) { *d = ((*d >> 1) & 0x7f7f7f7f) + ((s >> 1) & 0x7f7f7f7f); }
};
// The fills' fixed-weight copies (weights 64, 128, 192 of colour c), per byte without carries.
inline GFX_pixel GFX_QuarterMix(GFX_pixel p, GFX_pixel c) {
  return ((p >> 2) & 0x3f3f3f3f) + ((p >> 1) & 0x7f7f7f7f) + ((c >> 2) & 0x3f3f3f3f);
}
inline GFX_pixel GFX_HalfMix(GFX_pixel p, GFX_pixel c) { return ((p >> 1) & 0x7f7f7f7f) + ((c >> 1) & 0x7f7f7f7f); }
inline GFX_pixel GFX_ThreeQuarterMix(GFX_pixel p, GFX_pixel c) {
  return ((p >> 2) & 0x3f3f3f3f) + ((c >> 1) & 0x7f7f7f7f) + ((c >> 2) & 0x3f3f3f3f);
}

// ---- selection ----

template <class C>
struct GFX_CombinerTag {
  typedef C type;
};

// The selection table shared by the blits, the scaled blit and the free functions: calls
// f(GFX_CombinerTag<Combiner>()) for (mode & 0x100ff, w) and returns true, or returns false when
// that pair draws nothing (copy below weight 1, weight 0, unknown operation).
template <class F>
inline bool GFX_SelectCombiner(int mode, int w, F&& f) {
  if (w == 0) return false;
  switch (mode & 0x100ff) {
    case 0:
      if (w < 1) return false;
      if (w == 256) f(GFX_CombinerTag<_GFX_CombinePixelsClobberNoClamp>());
      else f(GFX_CombinerTag<_GFX_CombinePixelsCopyNoClamp>());
      return true;
    case 1: f(GFX_CombinerTag<_GFX_CombinePixelsAdd>()); return true;
    case 2: f(GFX_CombinerTag<_GFX_CombinePixelsColorDodge>()); return true;
    case 3: f(GFX_CombinerTag<_GFX_CombinePixelsMulNoClamp>()); return true;
    case 4: f(GFX_CombinerTag<_GFX_CombinePixelsOverlay>()); return true;
    case 5: f(GFX_CombinerTag<_GFX_CombinePixelsHSVAdjust>()); return true;
    case 0x10000:
      if (w == 256) f(GFX_CombinerTag<_GFX_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>());
      else f(GFX_CombinerTag<_GFX_CombinePixelsCopySourceAlphaNoClamp>());
      return true;
    case 0x10001: f(GFX_CombinerTag<_GFX_CombinePixelsAddSourceAlpha>()); return true;
    case 0x10002: f(GFX_CombinerTag<_GFX_CombinePixelsColorDodgeSourceAlpha>()); return true;
    case 0x10003: f(GFX_CombinerTag<_GFX_CombinePixelsMulSourceAlphaNoClamp>()); return true;
    case 0x10004: f(GFX_CombinerTag<_GFX_CombinePixelsOverlaySourceAlpha>()); return true;
    case 0x10005: f(GFX_CombinerTag<_GFX_CombinePixelsHSVAdjustSourceAlpha>()); return true;
    default: return false;
  }
}

// The selection of the fills, gradients, glyphs and vector primitives: the operation from the
// low byte only (0 copy, 1 add, 2 dodge, 3 multiply, 4 overlay, 5 HSV adjust), never a
// source-alpha combiner. Calls f(GFX_CombinerTag<Combiner>()) and returns true, or returns false
// for an operation above 5. Weight checks are the caller's.
template <class F>
inline bool GFX_SelectPlainCombiner(int op, F&& f) {
  switch (op) {
    case 0: f(GFX_CombinerTag<_GFX_CombinePixelsCopyNoClamp>()); return true;
    case 1: f(GFX_CombinerTag<_GFX_CombinePixelsAdd>()); return true;
    case 2: f(GFX_CombinerTag<_GFX_CombinePixelsColorDodge>()); return true;
    case 3: f(GFX_CombinerTag<_GFX_CombinePixelsMulNoClamp>()); return true;
    case 4: f(GFX_CombinerTag<_GFX_CombinePixelsOverlay>()); return true;
    case 5: f(GFX_CombinerTag<_GFX_CombinePixelsHSVAdjust>()); return true;
    default: return false;
  }
}

// Integer weight of a float opacity: trunc(alpha * 256) in double. Returns false (draw nothing)
// for a non-finite alpha or one whose weight would leave the range the combiners are exact for
// (|alpha| > 256); such an alpha is a caller's bug, and converting it to int would be undefined.
bool GFX_AlphaToWeight(float alpha, int* w);
// The same in single precision, as GFX_CombinePixels and GFX_PutPixel compute it.
bool GFX_AlphaToWeightF(float alpha, int* w);

// ---- free functions on single pixels ----

// Combines src into a copy of dest and returns it; w = trunc(alpha * 256) in single precision.
GFX_pixel GFX_CombinePixels(GFX_pixel dest, GFX_pixel src, float alpha, int mode);
// In place, with the integer weight as given. Channel values and weight are limited to +-2^20
// first (far outside anything meaningful) so that the arithmetic cannot overflow.
void GFX_CombinePixels2(GFX_pixel* dest, int r, int g, int b, int a, int weight, int mode);
// For channel values that may lie outside 0..255: the results that would wrap are clamped.
void GFX_CombinePixels2Clamp(GFX_pixel* dest, int r, int g, int b, int a, int weight, int mode);
