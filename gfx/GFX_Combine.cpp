#include "GFX_Combine.h"

#include <cmath>

namespace gfx_detail {

// entry 0 = 0, entry i = 65536 / i - 1 (entry 1 = 65535, entry 255 = 256)
const unsigned short _GFX_RGB2HSV_invtab[256] = {
#define GFX_INV(i) static_cast<unsigned short>((i) ? 65536 / ((i) ? (i) : 1) - 1 : 0)
#define GFX_INV4(i) GFX_INV(i), GFX_INV(i + 1), GFX_INV(i + 2), GFX_INV(i + 3)
#define GFX_INV16(i) GFX_INV4(i), GFX_INV4(i + 4), GFX_INV4(i + 8), GFX_INV4(i + 12)
    GFX_INV16(0),   GFX_INV16(16),  GFX_INV16(32),  GFX_INV16(48),  GFX_INV16(64),  GFX_INV16(80),
    GFX_INV16(96),  GFX_INV16(112), GFX_INV16(128), GFX_INV16(144), GFX_INV16(160), GFX_INV16(176),
    GFX_INV16(192), GFX_INV16(208), GFX_INV16(224), GFX_INV16(240),
#undef GFX_INV16
#undef GFX_INV4
#undef GFX_INV
};

void hsvAdjust(unsigned char* d, int r, int g, int b, int a, int w) {
  const int R = d[GFX_CH_R], G = d[GFX_CH_G], B = d[GFX_CH_B];
  int mx, mn, diff, base;
  if (R >= G && R > B) {
    mx = R;
    mn = G < B ? G : B;
    diff = G - B;
    base = G < B ? 383 : 0;
  } else if (G > R && G > B) {
    mx = G;
    mn = R < B ? R : B;
    diff = B - R;
    base = 128;
  } else {
    mx = B;
    mn = R < G ? R : G;
    diff = R - G;
    base = 256;
  }
  const int delta = mx - mn;
  i64 hue = base + ((_GFX_RGB2HSV_invtab[delta] + 1) * diff) / 1024;
  i64 sat = (delta * _GFX_RGB2HSV_invtab[mx]) / 256;
  i64 val = mx;

  hue += ((r + r / 2 - static_cast<i64>(192)) * w) / 256;
  if (hue < 0) hue += 384;
  else if (hue > 383) hue -= 384;
  sat = clamp8(sat + ((g - static_cast<i64>(128)) * w) / 128);
  val = clamp8(val + ((b - static_cast<i64>(128)) * w) / 128);

  const i64 s = sat, v = val;
  const i64 m = ((256 - s) * v) / 256;
  auto f = [s, v](i64 k) { return ((16384 - k * s) * v) / 16384; };
  i64 rr, gg, bb;
  if (hue < 64) { rr = v; gg = f(64 - hue); bb = m; }
  else if (hue < 128) { rr = f(hue - 64); gg = v; bb = m; }
  else if (hue < 192) { rr = m; gg = v; bb = f(192 - hue); }
  else if (hue < 256) { rr = m; gg = f(hue - 192); bb = v; }
  else if (hue < 320) { rr = f(320 - hue); gg = m; bb = v; }
  else { rr = v; gg = m; bb = f(hue - 320); }
  d[GFX_CH_R] = lo8(rr);
  d[GFX_CH_G] = lo8(gg);
  d[GFX_CH_B] = lo8(bb);
  d[GFX_CH_A] = lo8(a);
}

}  // namespace gfx_detail

bool GFX_AlphaToWeight(float alpha, int* w) {
  if (!(std::fabs(alpha) <= 256.0f)) return false;  // also false for NaN
  *w = static_cast<int>(static_cast<double>(alpha) * 256.0);
  return true;
}

bool GFX_AlphaToWeightF(float alpha, int* w) {
  if (!(std::fabs(alpha) <= 256.0f)) return false;
  *w = static_cast<int>(alpha * 256.0f);
  return true;
}

namespace {
int limit20(int v) {
  const int lim = 1 << 20;
  return v < -lim ? -lim : v > lim ? lim : v;
}

template <class C>
void applyTo(GFX_pixel* p, int r, int g, int b, int a, int w) {
  C::doPix(reinterpret_cast<unsigned char*>(p), r, g, b, a, w);
}
}  // namespace

GFX_pixel GFX_CombinePixels(GFX_pixel dest, GFX_pixel src, float alpha, int mode) {
  int w;
  if (!GFX_AlphaToWeightF(alpha, &w) || w == 0) return dest;
  GFX_pixel out = dest;
  const int r = GFX_GETR(src), g = GFX_GETG(src), b = GFX_GETB(src), a = GFX_GETA(src);
  GFX_SelectCombiner(mode, w, [&](auto tag) { applyTo<typename decltype(tag)::type>(&out, r, g, b, a, w); });
  return out;
}

void GFX_CombinePixels2(GFX_pixel* dest, int r, int g, int b, int a, int weight, int mode) {
  if (!dest || weight == 0) return;
  r = limit20(r), g = limit20(g), b = limit20(b), a = limit20(a), weight = limit20(weight);
  GFX_SelectCombiner(mode, weight, [&](auto tag) { applyTo<typename decltype(tag)::type>(dest, r, g, b, a, weight); });
}

void GFX_CombinePixels2Clamp(GFX_pixel* dest, int r, int g, int b, int a, int weight, int mode) {
  if (!dest || weight == 0) return;
  r = limit20(r), g = limit20(g), b = limit20(b), a = limit20(a), weight = limit20(weight);
  switch (mode & 0x100ff) {
    case 0:
      if (weight < 1) return;
      if (weight == 256) applyTo<_GFX_CombinePixelsClobberClamp>(dest, r, g, b, a, weight);
      else applyTo<_GFX_CombinePixelsCopyClamp>(dest, r, g, b, a, weight);
      return;
    case 3: applyTo<_GFX_CombinePixelsMulClamp>(dest, r, g, b, a, weight); return;
    case 0x10003: applyTo<_GFX_CombinePixelsMulSourceAlphaClamp>(dest, r, g, b, a, weight); return;
    case 0x10000:
      if (weight == 256) applyTo<_GFX_CombinePixelsCopySourceAlphaIgnoreAlphaParmClamp>(dest, r, g, b, a, weight);
      else applyTo<_GFX_CombinePixelsCopySourceAlphaClamp>(dest, r, g, b, a, weight);
      return;
    default:
      GFX_CombinePixels2(dest, r, g, b, a, weight, mode);
  }
}
