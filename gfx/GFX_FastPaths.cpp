// Fast paths (see GFX_FastPaths.h for the naming convention and the rules they keep).
//
// Every vector formula below is the general combiner rewritten so that it stays in unsigned
// 16-bit lanes (each routine states its identity). The one the copy fill uses, with keep factor
// k = 256 - weight:
//   s + trunc((d - s) * k / 256) == (s * (256 - k) + d * k + (d < s ? 255 : 0)) >> 8
// (for d >= s the truncation is a floor; for d < s it is a ceiling, hence the 255). With
// channels and weights in 0..256 the sum never exceeds 65535.
#include "GFX_FastPaths.h"

#include <atomic>
#include <cstdint>
#include <cstring>

#include "GFX_Combine.h"
#include "GFX_FastPathsImpl.h"

namespace {
std::atomic<int> g_level{GFX_FASTPATH_AVX2};

int cpuLevel() {
#if GFX_HAVE_AVX2_BUILD
  static const int level = gfx_avx2::cpuHasAvx2() ? GFX_FASTPATH_AVX2 : GFX_FASTPATH_SSE2;
  return level;
#elif GFX_HAVE_SSE2
  return GFX_FASTPATH_SSE2;
#else
  return GFX_FASTPATH_NONE;
#endif
}

}  // namespace

#if GFX_HAVE_SSE2
namespace gfx_sse2 {
// Naming inside: v* are __m128i of 4 pixels (16 bytes) or 8 u16 lanes (2 pixels).

inline __m128i load4(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store4(unsigned char* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline __m128i loadN(const unsigned char* p, int n) {  // n < 4 pixels, zero-filled
  alignas(16) unsigned char buf[16] = {};
  for (int i = 0; i < n * 4; ++i) buf[i] = p[i];
  return _mm_load_si128(reinterpret_cast<const __m128i*>(buf));
}
inline void storeN(unsigned char* p, __m128i v, int n) {
  alignas(16) unsigned char buf[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(buf), v);
  for (int i = 0; i < n * 4; ++i) p[i] = buf[i];
}
// Each pixel's alpha (u16 lane 0 of its four) in all four of its lanes.
inline __m128i alphaLanes(__m128i v16) {
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v16, _MM_SHUFFLE(0, 0, 0, 0)), _MM_SHUFFLE(0, 0, 0, 0));
}
// (s * ws + d * k + (d < s ? 255 : 0)) >> 8 on u16 lanes.
inline __m128i lerp16(__m128i d16, __m128i s16, __m128i ws, __m128i k) {
  const __m128i bias = _mm_and_si128(_mm_cmpgt_epi16(s16, d16), _mm_set1_epi16(255));
  const __m128i x = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(s16, ws), _mm_mullo_epi16(d16, k)), bias);
  return _mm_srli_epi16(x, 8);
}

template <class Px>
void rowLoop(unsigned char* dest, const unsigned char* src, int w, int h, std::ptrdiff_t sspan, std::ptrdiff_t dspan,
             Px&& px4) {
  for (int y = 0; y < h; ++y, dest += dspan, src += sspan) {
    int x = 0;
    for (; x + 4 <= w; x += 4) store4(dest + 4 * x, px4(load4(dest + 4 * x), load4(src + 4 * x)));
    if (x < w) storeN(dest + 4 * x, px4(loadN(dest + 4 * x, w - x), loadN(src + 4 * x, w - x)), w - x);
  }
}

// Copy with source alpha. FULL (w = 256): keep k = 255 - a, alpha + a. Otherwise
// sa = ((a + 1) * w) / 256, keep k = 256 - sa, alpha + sa.
// The colour channels are s + trunc((d - s) * k / 256), taken as s +- ((|d - s| * k) >> 8) with
// the sign of d - s: the truncation toward zero then needs no bias, and |d - s| * k <= 255 * 256
// fits a 16-bit lane.
// Alpha-0 source pixels must leave d: with k = 256 they do (s + (d - s), alpha + 0), so FULL
// maps a = 0 to k = 256, and the partial weights reach sa = 0 by themselves (w < 256).
template <bool FULL>
void blit_copysa(unsigned char* dest, const unsigned char* src, int w, int h, std::ptrdiff_t sspan,
                 std::ptrdiff_t dspan, int weight) {
  const __m128i zero = _mm_setzero_si128(), amask = _mm_set1_epi32(0xff), c255 = _mm_set1_epi32(255),
                c256 = _mm_set1_epi32(256), one = _mm_set1_epi32(1), vw = _mm_set1_epi32(weight);
  rowLoop(dest, src, w, h, sspan, dspan, [&](__m128i vd, __m128i vs) {
    const __m128i a = _mm_and_si128(vs, amask);  // per pixel, in 32-bit lanes
    __m128i k, add;
    if (FULL) {
      k = _mm_sub_epi32(_mm_sub_epi32(c255, a), _mm_cmpeq_epi32(a, zero));
      add = vs;  // its alpha byte is a
    } else {
      // (a + 1) * w <= 65280 fits the low 16 bits of the lane; the upper 16 stay 0.
      const __m128i sa = _mm_srli_epi32(_mm_mullo_epi16(_mm_add_epi32(a, one), vw), 8);
      k = _mm_sub_epi32(c256, sa);
      add = sa;  // in the alpha byte, other bytes 0
    }
    const __m128i k2 = _mm_or_si128(k, _mm_slli_epi32(k, 16));  // k in both 16-bit halves
    const __m128i klo = _mm_unpacklo_epi32(k2, k2), khi = _mm_unpackhi_epi32(k2, k2);
    auto scale = [&](__m128i x) {
      return _mm_packus_epi16(_mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(x, zero), klo), 8),
                              _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(x, zero), khi), 8));
    };
    // |d - s| scaled once, then given the sign of d - s: (m ^ -1) - (-1) = -m per byte.
    const __m128i neg = _mm_subs_epu8(vs, vd);
    const __m128i m = scale(_mm_or_si128(_mm_subs_epu8(vd, vs), neg));
    const __m128i sign = _mm_xor_si128(_mm_cmpeq_epi8(neg, zero), _mm_set1_epi32(-1));
    const __m128i rgb = _mm_add_epi8(vs, _mm_sub_epi8(_mm_xor_si128(m, sign), sign));
    const __m128i alpha = _mm_adds_epu8(vd, add);
    return _mm_or_si128(_mm_andnot_si128(amask, rgb), _mm_and_si128(amask, alpha));
  });
}

// Add: d + (s * weight) / 256, saturated; SRC_ALPHA weights by ((a + 1) * w) / 256. (An alpha-0
// source pixel then adds s * (w / 256) / 256 = 0, the same as skipping it.)
template <bool SRC_ALPHA>
void blit_add(unsigned char* dest, const unsigned char* src, int w, int h, std::ptrdiff_t sspan, std::ptrdiff_t dspan,
              int weight) {
  const __m128i zero = _mm_setzero_si128(), vw = _mm_set1_epi16(static_cast<short>(weight)),
                one = _mm_set1_epi16(1);
  const bool full = weight == 256;
  if (full && !SRC_ALPHA) {  // s * 256 / 256 is s: a plain saturated add
    rowLoop(dest, src, w, h, sspan, dspan, [](__m128i vd, __m128i vs) { return _mm_adds_epu8(vd, vs); });
    return;
  }
  rowLoop(dest, src, w, h, sspan, dspan, [&](__m128i vd, __m128i vs) {
    auto half = [&](__m128i s16) {
      // (a + 1) * 256 does not fit 16 bits: at full weight sa is simply a + 1.
      const __m128i a1 = _mm_add_epi16(alphaLanes(s16), one);
      const __m128i wt = !SRC_ALPHA ? vw : full ? a1 : _mm_srli_epi16(_mm_mullo_epi16(a1, vw), 8);
      return _mm_srli_epi16(_mm_mullo_epi16(s16, wt), 8);
    };
    const __m128i add = _mm_packus_epi16(half(_mm_unpacklo_epi8(vs, zero)), half(_mm_unpackhi_epi8(vs, zero)));
    return _mm_adds_epu8(vd, add);
  });
}

// Colour dodge: k = 256 - (s * w) / 256 (1..256 for w up to 256), t = min(d * 256 / k, 255).
// The quotient is taken in single precision: numerator and divisor are integers below 2^16, so
// the rounding error is at most 2^-9 while a quotient that is not whole lies at least 1/256 from
// the next integer; truncation therefore gives the exact integer quotient. Saturating packs
// supply the min(., 255). (k = 1 is the "t = d * 256" case of the general routine: the same.)
template <bool SRC_ALPHA>
void blit_dodge(unsigned char* dest, const unsigned char* src, int w, int h, std::ptrdiff_t sspan,
                std::ptrdiff_t dspan, int weight) {
  const __m128i zero = _mm_setzero_si128(), vw = _mm_set1_epi16(static_cast<short>(weight)),
                one = _mm_set1_epi16(1), c256 = _mm_set1_epi16(256);
  const bool full = weight == 256;
  auto quotient = [&](__m128i n16, __m128i k16, bool high) {
    const __m128i n = high ? _mm_unpackhi_epi16(n16, zero) : _mm_unpacklo_epi16(n16, zero);
    const __m128i k = high ? _mm_unpackhi_epi16(k16, zero) : _mm_unpacklo_epi16(k16, zero);
    return _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(n), _mm_cvtepi32_ps(k)));
  };
  rowLoop(dest, src, w, h, sspan, dspan, [&](__m128i vd, __m128i vs) {
    auto half = [&](__m128i d16, __m128i s16) {
      __m128i wt = vw;
      if (SRC_ALPHA) {  // sa = ((a + 1) * w) / 256; at full weight a + 1 (the product would not fit)
        const __m128i a1 = _mm_add_epi16(alphaLanes(s16), one);
        wt = full ? a1 : _mm_srli_epi16(_mm_mullo_epi16(a1, vw), 8);
      }
      const __m128i k = _mm_sub_epi16(c256, _mm_srli_epi16(_mm_mullo_epi16(s16, wt), 8));
      const __m128i n = _mm_slli_epi16(d16, 8);
      return _mm_packs_epi32(quotient(n, k, false), quotient(n, k, true));  // saturates at 32767
    };
    return _mm_packus_epi16(half(_mm_unpacklo_epi8(vd, zero), _mm_unpacklo_epi8(vs, zero)),
                            half(_mm_unpackhi_epi8(vd, zero), _mm_unpackhi_epi8(vs, zero)));
  });
}

// Copy fill at a weight in 1..255: every channel toward (r, g, b, ia) with keep 256 - ia.
void solid_copy_any(unsigned char* dest, int w, int h, int r, int g, int b, int ia, std::ptrdiff_t dspan) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i s16 = _mm_set_epi16(static_cast<short>(b), static_cast<short>(g), static_cast<short>(r),
                                    static_cast<short>(ia), static_cast<short>(b), static_cast<short>(g),
                                    static_cast<short>(r), static_cast<short>(ia));
  const __m128i ws = _mm_set1_epi16(static_cast<short>(ia)), k = _mm_set1_epi16(static_cast<short>(256 - ia));
  auto px4 = [&](__m128i vd) {
    return _mm_packus_epi16(lerp16(_mm_unpacklo_epi8(vd, zero), s16, ws, k),
                            lerp16(_mm_unpackhi_epi8(vd, zero), s16, ws, k));
  };
  for (int y = 0; y < h; ++y, dest += dspan) {
    int x = 0;
    for (; x + 4 <= w; x += 4) store4(dest + 4 * x, px4(load4(dest + 4 * x)));
    if (x < w) storeN(dest + 4 * x, px4(loadN(dest + 4 * x, w - x)), w - x);
  }
}

// Plain copy (the blit at full weight with the copy combiner); the weight is unused. The rows are
// memory-bound, so what counts is the store side: one unaligned 16-byte store covers the head,
// then aligned stores 64 bytes at a time with the destination's lines fetched for writing four
// blocks ahead, and a last unaligned store ending exactly at the row's end. Head and tail stores may rewrite bytes already written, with the same values: source and
// destination never overlap here (the blit copies an overlapping source area first).
void blit_copy_full(unsigned char* dest, const unsigned char* src, int w, int h, std::ptrdiff_t sspan,
                    std::ptrdiff_t dspan, int) {
  const size_t n = static_cast<size_t>(w) * 4;
  for (int y = 0; y < h; ++y, dest += dspan, src += sspan) {
    if (n < 16) {
      memcpy(dest, src, n);
      continue;
    }
    store4(dest, load4(src));
    size_t i = 16 - (reinterpret_cast<uintptr_t>(dest) & 15);
    for (; i + 64 <= n; i += 64) {
      __builtin_prefetch(dest + i + 256, 1, 3);
      const __m128i a = load4(src + i), b = load4(src + i + 16), c = load4(src + i + 32), d = load4(src + i + 48);
      _mm_store_si128(reinterpret_cast<__m128i*>(dest + i), a);
      _mm_store_si128(reinterpret_cast<__m128i*>(dest + i + 16), b);
      _mm_store_si128(reinterpret_cast<__m128i*>(dest + i + 32), c);
      _mm_store_si128(reinterpret_cast<__m128i*>(dest + i + 48), d);
    }
    for (; i + 16 <= n; i += 16) _mm_store_si128(reinterpret_cast<__m128i*>(dest + i), load4(src + i));
    store4(dest + n - 16, load4(src + n - 16));
  }
}

// Whole-word half mix; the weight is unused.
void blit_halfmix(unsigned char* dest, const unsigned char* src, int w, int h, std::ptrdiff_t sspan,
                  std::ptrdiff_t dspan, int) {
  const __m128i m = _mm_set1_epi32(0x7f7f7f7f);
  rowLoop(dest, src, w, h, sspan, dspan, [&](__m128i vd, __m128i vs) {
    return _mm_add_epi32(_mm_and_si128(_mm_srli_epi32(vd, 1), m), _mm_and_si128(_mm_srli_epi32(vs, 1), m));
  });
}

// Fill at full weight: every pixel becomes the colour word (alpha byte included).
void solid_clobber_full(GFX_pixel* dest, int w, int h, GFX_pixel c, int span) {
  const __m128i v = _mm_set1_epi32(static_cast<int>(c));
  for (int y = 0; y < h; ++y, dest += span) {
    int x = 0;
    // Single pixels up to a 16-byte boundary, then aligned stores 64 bytes at a time.
    for (; x < w && (reinterpret_cast<uintptr_t>(dest + x) & 15); ++x) dest[x] = c;
    for (; x + 16 <= w; x += 16) {
      __m128i* p = reinterpret_cast<__m128i*>(dest + x);
      _mm_store_si128(p, v);
      _mm_store_si128(p + 1, v);
      _mm_store_si128(p + 2, v);
      _mm_store_si128(p + 3, v);
    }
    for (; x + 4 <= w; x += 4) _mm_store_si128(reinterpret_cast<__m128i*>(dest + x), v);
    for (; x < w; ++x) dest[x] = c;
  }
}

// Four-tap bilinear, clobber, four pixels per step. The general sum
//   S = p00 * f00 + p10 * f10 + p01 * f01 + p11 * f11   (f00 = 65536 - fx - fy + f11, ...)
// equals 65536 * p00 + T with T = fx * dx + fy * dy + f11 * dxy (dx = p10 - p00, dy = p01 - p00,
// dxy = p00 - p10 - p01 + p11), so S >> 16 == p00 + (T >> 16) with an arithmetic shift. The
// weights (at most 65535) do not fit signed 16-bit lanes, but w - 32768 does, and
//   T = dx (fx - 32768) + dy (fy - 32768) + dxy (f11 - 32768) + (p00 - p11) (-32768)
// because dx + dy + dxy = p11 - p00. Two pmaddwd per pixel then give T exactly.
template <int J>
inline void bilinearPair(unsigned char* dest, const unsigned char* row0, const unsigned char* row1, const int* cols,
                         __m128i W1, __m128i W2) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i top = _mm_unpacklo_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row0 + 4 * cols[J])),
                                         _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row0 + 4 * cols[J + 1])));
  const __m128i bot = _mm_unpacklo_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row1 + 4 * cols[J])),
                                         _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row1 + 4 * cols[J + 1])));
  // Lanes: pixel J in the low four, pixel J + 1 in the high four.
  const __m128i p00 = _mm_unpacklo_epi8(top, zero), p10 = _mm_unpackhi_epi8(top, zero);
  const __m128i p01 = _mm_unpacklo_epi8(bot, zero), p11 = _mm_unpackhi_epi8(bot, zero);
  const __m128i dx = _mm_sub_epi16(p10, p00), dy = _mm_sub_epi16(p01, p00);
  const __m128i dxy = _mm_sub_epi16(_mm_sub_epi16(p11, p01), dx), dd = _mm_sub_epi16(p00, p11);
  const __m128i tA = _mm_add_epi32(
      _mm_madd_epi16(_mm_unpacklo_epi16(dx, dy), _mm_shuffle_epi32(W1, _MM_SHUFFLE(J, J, J, J))),
      _mm_madd_epi16(_mm_unpacklo_epi16(dxy, dd), _mm_shuffle_epi32(W2, _MM_SHUFFLE(J, J, J, J))));
  const __m128i tB = _mm_add_epi32(
      _mm_madd_epi16(_mm_unpackhi_epi16(dx, dy), _mm_shuffle_epi32(W1, _MM_SHUFFLE(J + 1, J + 1, J + 1, J + 1))),
      _mm_madd_epi16(_mm_unpackhi_epi16(dxy, dd), _mm_shuffle_epi32(W2, _MM_SHUFFLE(J + 1, J + 1, J + 1, J + 1))));
  const __m128i t = _mm_packs_epi32(_mm_srai_epi32(tA, 16), _mm_srai_epi32(tB, 16));
  const __m128i v = _mm_add_epi16(t, p00);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(dest + 4 * J), _mm_packus_epi16(v, v));
}

void bilinear_clobber_full(unsigned char* dest, const unsigned char* row0, const unsigned char* row1, int n, int x,
                           int stepx, int fy, int) {
  GFX_BilinearQuads quads(x, stepx, fy);
  int cols[4];
  int i = 0;
  for (; i + 4 <= n; i += 4, dest += 16) {
    __m128i W1, W2;
    quads.next(cols, &W1, &W2);
    bilinearPair<0>(dest, row0, row1, cols, W1, W2);
    bilinearPair<2>(dest, row0, row1, cols, W1, W2);
  }
  for (long long pos = static_cast<long long>(x) + static_cast<long long>(stepx) * i; i < n; ++i, pos += stepx, dest += 4) {
    const int c = static_cast<int>(pos >> 16);
    gfx_bilinearPixel(dest, row0 + 4 * c, row1 + 4 * c, static_cast<unsigned>(pos) & 0xffff, static_cast<unsigned>(fy));
  }
}
}  // namespace gfx_sse2
#endif  // GFX_HAVE_SSE2

void GFX_SetFastPathsEnabled(bool enabled) { GFX_SetFastPathLevel(enabled ? GFX_FASTPATH_AVX2 : GFX_FASTPATH_NONE); }
bool GFX_FastPathsEnabled() { return GFX_GetFastPathLevel() != GFX_FASTPATH_NONE; }
void GFX_SetFastPathLevel(int level) { g_level.store(level, std::memory_order_relaxed); }
int GFX_GetFastPathLevel() {
  const int want = g_level.load(std::memory_order_relaxed), have = cpuLevel();
  return want < have ? want : have;
}

// The tables: (operation, weight range) -> routine. Weights outside 1..256 always take the
// general routines, whose arithmetic is defined for any weight.
GFX_BlitRowsFn GFX_FindBlitFastPath(int op, int weight) {
  const int level = GFX_GetFastPathLevel();
  if (level == GFX_FASTPATH_NONE || weight < 1 || weight > 256) return nullptr;
  struct Entry {
    int level, op, wmin, wmax;
    GFX_BlitRowsFn fn;
  };
  // First match wins: the widest instruction set first.
  static const Entry table[] = {
#if GFX_HAVE_AVX2_BUILD
      {GFX_FASTPATH_AVX2, 0x10000, 256, 256, gfx_avx2::blit_copysa_full},
      {GFX_FASTPATH_AVX2, 0x10000, 1, 255, gfx_avx2::blit_copysa_part},
      {GFX_FASTPATH_AVX2, 1, 1, 256, gfx_avx2::blit_add},
      {GFX_FASTPATH_AVX2, 0x10001, 1, 256, gfx_avx2::blit_addsa},
#endif
#if GFX_HAVE_SSE2
      {GFX_FASTPATH_SSE2, 0x10000, 256, 256, gfx_sse2::blit_copysa<true>},
      {GFX_FASTPATH_SSE2, 0x10000, 1, 255, gfx_sse2::blit_copysa<false>},
      {GFX_FASTPATH_SSE2, 1, 1, 256, gfx_sse2::blit_add<false>},
      {GFX_FASTPATH_SSE2, 0x10001, 1, 256, gfx_sse2::blit_add<true>},
      {GFX_FASTPATH_SSE2, 2, 1, 256, gfx_sse2::blit_dodge<false>},
      {GFX_FASTPATH_SSE2, 0x10002, 1, 256, gfx_sse2::blit_dodge<true>},
#endif
      {GFX_FASTPATH_NONE, -1, 0, 0, nullptr},  // keeps the table non-empty on every build
  };
  for (const Entry& e : table)
    if (e.fn && e.level <= level && e.op == op && weight >= e.wmin && weight <= e.wmax) return e.fn;
  return nullptr;
}

GFX_SolidRowsFn GFX_FindSolidFastPath(int op, int ia) {
#if GFX_HAVE_SSE2
  if (GFX_GetFastPathLevel() >= GFX_FASTPATH_SSE2 && op == 0 && ia >= 1 && ia <= 255) return gfx_sse2::solid_copy_any;
#else
  (void)op, (void)ia;
#endif
  return nullptr;
}

GFX_FillWordsFn GFX_FindFillWordsFastPath() {
#if GFX_HAVE_SSE2
  if (GFX_GetFastPathLevel() >= GFX_FASTPATH_SSE2) return gfx_sse2::solid_clobber_full;
#endif
  return nullptr;
}

// SSE2 serves every level: 32-byte stores gained nothing on a copy that waits on the cache, while
// aligned stores with the write prefetch beat glibc's memcpy per row by about 5%.
GFX_BlitRowsFn GFX_FindCopyFastPath() {
#if GFX_HAVE_SSE2
  if (GFX_GetFastPathLevel() >= GFX_FASTPATH_SSE2) return gfx_sse2::blit_copy_full;
#endif
  return nullptr;
}

GFX_BlitRowsFn GFX_FindHalfMixFastPath() {
#if GFX_HAVE_SSE2
  if (GFX_GetFastPathLevel() >= GFX_FASTPATH_SSE2) return gfx_sse2::blit_halfmix;
#endif
  return nullptr;
}

GFX_BilinearRowFn GFX_FindBilinearFastPath(int op, int weight) {
  if (op != 0 || weight != 256) return nullptr;
  const int level = GFX_GetFastPathLevel();
#if GFX_HAVE_AVX2_BUILD
  if (level >= GFX_FASTPATH_AVX2) return gfx_avx2::bilinear_clobber_full;
#endif
#if GFX_HAVE_SSE2
  if (level >= GFX_FASTPATH_SSE2) return gfx_sse2::bilinear_clobber_full;
#endif
  (void)level;
  return nullptr;
}
