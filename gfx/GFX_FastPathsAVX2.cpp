// AVX2 versions of the busiest fast paths: the same formulas as the SSE2 ones in
// GFX_FastPaths.cpp (see the identities there), eight pixels (or two bilinear pairs) at a time.
// Each function is compiled for AVX2 alone and is only ever chosen on a CPU that has it.
// Leftover pixels at the end of a row go through the general combiner itself.
//
// Note: 256-bit unpack, pack, shuffle and madd work within each 128-bit half, so every vector
// here is two independent SSE2-style computations side by side; the lane bookkeeping follows
// from that.
#include "GFX_FastPathsImpl.h"

#if GFX_HAVE_AVX2_BUILD
#include <immintrin.h>

#include "GFX_Combine.h"

#define GFX_AVX2 __attribute__((target("avx2")))

namespace gfx_avx2 {

bool cpuHasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

namespace {

GFX_AVX2 inline __m256i load8(const unsigned char* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
GFX_AVX2 inline void store8(unsigned char* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

// Per-pixel 32-bit value replicated into the four 16-bit lanes of its pixel, for the low
// (pixels 0, 1 | 4, 5) and high (2, 3 | 6, 7) byte unpacks.
GFX_AVX2 inline void replicate(__m256i v32, __m256i* lo, __m256i* hi) {
  const __m256i t = _mm256_or_si256(v32, _mm256_slli_epi32(v32, 16));
  *lo = _mm256_unpacklo_epi32(t, t);
  *hi = _mm256_unpackhi_epi32(t, t);
}

// (x * k) >> 8 per byte of x, k per pixel in 16-bit lanes.
GFX_AVX2 inline __m256i scaleBytes(__m256i x, __m256i klo, __m256i khi) {
  const __m256i zero = _mm256_setzero_si256();
  return _mm256_packus_epi16(_mm256_srli_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(x, zero), klo), 8),
                             _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(x, zero), khi), 8));
}

template <bool FULL>
GFX_AVX2 inline __m256i copysa8(__m256i vd, __m256i vs, __m256i vw) {
  const __m256i zero = _mm256_setzero_si256(), amask = _mm256_set1_epi32(0xff);
  const __m256i a = _mm256_and_si256(vs, amask);
  __m256i k, add;
  if (FULL) {
    k = _mm256_sub_epi32(_mm256_sub_epi32(_mm256_set1_epi32(255), a), _mm256_cmpeq_epi32(a, zero));
    add = vs;
  } else {
    const __m256i sa = _mm256_srli_epi32(_mm256_mullo_epi16(_mm256_add_epi32(a, _mm256_set1_epi32(1)), vw), 8);
    k = _mm256_sub_epi32(_mm256_set1_epi32(256), sa);
    add = sa;
  }
  __m256i klo, khi;
  replicate(k, &klo, &khi);
  const __m256i neg = _mm256_subs_epu8(vs, vd);
  const __m256i m = scaleBytes(_mm256_or_si256(_mm256_subs_epu8(vd, vs), neg), klo, khi);
  const __m256i sign = _mm256_xor_si256(_mm256_cmpeq_epi8(neg, zero), _mm256_set1_epi32(-1));
  const __m256i rgb = _mm256_add_epi8(vs, _mm256_sub_epi8(_mm256_xor_si256(m, sign), sign));
  const __m256i alpha = _mm256_adds_epu8(vd, add);
  return _mm256_or_si256(_mm256_andnot_si256(amask, rgb), _mm256_and_si256(amask, alpha));
}

// (x * w) >> 8 per byte with w per 16-bit lane: x placed in the high byte of its lane (x << 8,
// free in the unpack), then the high half of the 16 x 16 product.
GFX_AVX2 inline __m256i scaleBytesHi(__m256i x, __m256i wlo, __m256i whi) {
  const __m256i zero = _mm256_setzero_si256();
  return _mm256_packus_epi16(_mm256_mulhi_epu16(_mm256_unpacklo_epi8(zero, x), wlo),
                             _mm256_mulhi_epu16(_mm256_unpackhi_epi8(zero, x), whi));
}

template <bool SRC_ALPHA>
GFX_AVX2 inline __m256i add8(__m256i vd, __m256i vs, __m256i vw, bool full) {
  if (!SRC_ALPHA && full) return _mm256_adds_epu8(vd, vs);
  __m256i wlo, whi;
  if (SRC_ALPHA) {
    // Each pixel's alpha byte into the four 16-bit lanes of that pixel (0x80 selects zero).
    const __m256i lo = _mm256_setr_epi8(0, -128, 0, -128, 0, -128, 0, -128, 4, -128, 4, -128, 4, -128, 4, -128, 0, -128,
                                        0, -128, 0, -128, 0, -128, 4, -128, 4, -128, 4, -128, 4, -128);
    const __m256i hi = _mm256_setr_epi8(8, -128, 8, -128, 8, -128, 8, -128, 12, -128, 12, -128, 12, -128, 12, -128, 8,
                                        -128, 8, -128, 8, -128, 8, -128, 12, -128, 12, -128, 12, -128, 12, -128);
    const __m256i one = _mm256_set1_epi16(1);
    wlo = _mm256_add_epi16(_mm256_shuffle_epi8(vs, lo), one);
    whi = _mm256_add_epi16(_mm256_shuffle_epi8(vs, hi), one);
    if (!full) {  // ((a + 1) * w) >> 8; (a + 1) * w <= 65280 for w <= 255
      const __m256i w16 = _mm256_packs_epi32(vw, vw);
      wlo = _mm256_srli_epi16(_mm256_mullo_epi16(wlo, w16), 8);
      whi = _mm256_srli_epi16(_mm256_mullo_epi16(whi, w16), 8);
    }
  } else {
    wlo = whi = _mm256_packs_epi32(vw, vw);
  }
  return _mm256_adds_epu8(vd, scaleBytesHi(vs, wlo, whi));
}

template <class C, class Px8>
GFX_AVX2 inline void rows8(unsigned char* dest, const unsigned char* src, int w, int h, std::ptrdiff_t sspan,
                           std::ptrdiff_t dspan, int weight, Px8 px8) {
  const __m256i vw = _mm256_set1_epi32(weight);
  for (int y = 0; y < h; ++y, dest += dspan, src += sspan) {
    int x = 0;
    for (; x + 8 <= w; x += 8) store8(dest + 4 * x, px8(load8(dest + 4 * x), load8(src + 4 * x), vw));
    for (; x < w; ++x) {
      const unsigned char* s = src + 4 * x;
      C::doPix(dest + 4 * x, s[GFX_CH_R], s[GFX_CH_G], s[GFX_CH_B], s[GFX_CH_A], weight);
    }
  }
}

// Plain function objects (a lambda would not carry the AVX2 target into its body).
struct CopySaFull {
  GFX_AVX2 __m256i operator()(__m256i d, __m256i s, __m256i w) const { return copysa8<true>(d, s, w); }
};
struct CopySaPart {
  GFX_AVX2 __m256i operator()(__m256i d, __m256i s, __m256i w) const { return copysa8<false>(d, s, w); }
};
struct AddPlain {
  bool full;
  GFX_AVX2 __m256i operator()(__m256i d, __m256i s, __m256i w) const { return add8<false>(d, s, w, full); }
};
struct AddSa {
  bool full;
  GFX_AVX2 __m256i operator()(__m256i d, __m256i s, __m256i w) const { return add8<true>(d, s, w, full); }
};

}  // namespace

GFX_AVX2 void blit_copysa_full(unsigned char* dest, const unsigned char* src, int w, int h, std::ptrdiff_t sspan,
                               std::ptrdiff_t dspan, int weight) {
  rows8<_GFX_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>(dest, src, w, h, sspan, dspan, weight, CopySaFull());
}

GFX_AVX2 void blit_copysa_part(unsigned char* dest, const unsigned char* src, int w, int h, std::ptrdiff_t sspan,
                               std::ptrdiff_t dspan, int weight) {
  rows8<_GFX_CombinePixelsCopySourceAlphaNoClamp>(dest, src, w, h, sspan, dspan, weight, CopySaPart());
}

GFX_AVX2 void blit_add(unsigned char* dest, const unsigned char* src, int w, int h, std::ptrdiff_t sspan,
                       std::ptrdiff_t dspan, int weight) {
  rows8<_GFX_CombinePixelsAdd>(dest, src, w, h, sspan, dspan, weight, AddPlain{weight == 256});
}

GFX_AVX2 void blit_addsa(unsigned char* dest, const unsigned char* src, int w, int h, std::ptrdiff_t sspan,
                         std::ptrdiff_t dspan, int weight) {
  rows8<_GFX_CombinePixelsAddSourceAlpha>(dest, src, w, h, sspan, dspan, weight, AddSa{weight == 256});
}

// Two bilinear pairs per step: pixels A, B in the low half, C, D in the high half. Weights as in
// the SSE2 version (W1 = fx', fy'; W2 = f11', -32768 per pixel).
GFX_AVX2 void bilinear_clobber_full(unsigned char* dest, const unsigned char* row0, const unsigned char* row1, int n,
                                    int x, int stepx, int fy, int) {
  const __m256i zero = _mm256_setzero_si256();
  GFX_BilinearQuads quads(x, stepx, fy);
  int cols[4];
  int i = 0;
  for (; i + 4 <= n; i += 4, dest += 16) {
    __m128i W1, W2;
    quads.next(cols, &W1, &W2);
    const __m256i W1x = _mm256_permute4x64_epi64(_mm256_castsi128_si256(W1), _MM_SHUFFLE(1, 1, 0, 0));
    const __m256i W2x = _mm256_permute4x64_epi64(_mm256_castsi128_si256(W2), _MM_SHUFFLE(1, 1, 0, 0));
    const __m128i tAB = _mm_unpacklo_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row0 + 4 * cols[0])),
                                           _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row0 + 4 * cols[1])));
    const __m128i tCD = _mm_unpacklo_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row0 + 4 * cols[2])),
                                           _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row0 + 4 * cols[3])));
    const __m128i bAB = _mm_unpacklo_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row1 + 4 * cols[0])),
                                           _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row1 + 4 * cols[1])));
    const __m128i bCD = _mm_unpacklo_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row1 + 4 * cols[2])),
                                           _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row1 + 4 * cols[3])));
    const __m256i top = _mm256_inserti128_si256(_mm256_castsi128_si256(tAB), tCD, 1);
    const __m256i bot = _mm256_inserti128_si256(_mm256_castsi128_si256(bAB), bCD, 1);
    const __m256i p00 = _mm256_unpacklo_epi8(top, zero), p10 = _mm256_unpackhi_epi8(top, zero);
    const __m256i p01 = _mm256_unpacklo_epi8(bot, zero), p11 = _mm256_unpackhi_epi8(bot, zero);
    const __m256i dx = _mm256_sub_epi16(p10, p00), dy = _mm256_sub_epi16(p01, p00);
    const __m256i dxy = _mm256_sub_epi16(_mm256_sub_epi16(p11, p01), dx), dd = _mm256_sub_epi16(p00, p11);
    const __m256i tAC = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(dx, dy), _mm256_shuffle_epi32(W1x, 0)),
                                         _mm256_madd_epi16(_mm256_unpacklo_epi16(dxy, dd), _mm256_shuffle_epi32(W2x, 0)));
    const __m256i tBD =
        _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(dx, dy), _mm256_shuffle_epi32(W1x, 0x55)),
                         _mm256_madd_epi16(_mm256_unpackhi_epi16(dxy, dd), _mm256_shuffle_epi32(W2x, 0x55)));
    const __m256i t = _mm256_packs_epi32(_mm256_srai_epi32(tAC, 16), _mm256_srai_epi32(tBD, 16));
    const __m256i v = _mm256_add_epi16(t, p00);
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(v, v), _MM_SHUFFLE(3, 1, 2, 0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), _mm256_castsi256_si128(packed));
  }
  for (long long pos = static_cast<long long>(x) + static_cast<long long>(stepx) * i; i < n;
       ++i, pos += stepx, dest += 4) {
    const int c = static_cast<int>(pos >> 16);
    gfx_bilinearPixel(dest, row0 + 4 * c, row1 + 4 * c, static_cast<unsigned>(pos) & 0xffff, static_cast<unsigned>(fy));
  }
}

}  // namespace gfx_avx2
#endif  // GFX_HAVE_AVX2_BUILD
