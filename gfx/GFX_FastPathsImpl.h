// Private to GFX_FastPaths*.cpp: what the SSE2 table and the AVX2 routines share.
#pragma once

#include <cstddef>

#include "GFX_FastPaths.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define GFX_HAVE_SSE2 1
#endif
// AVX2 routines are compiled per function (target attribute) and chosen at run time only on
// CPUs that have AVX2, so the library itself still runs on any x86-64.
#if defined(__x86_64__) && defined(__GNUC__)
#define GFX_HAVE_AVX2_BUILD 1
#endif

// One four-tap bilinear pixel exactly as the general routine computes it (vector tails).
inline void gfx_bilinearPixel(unsigned char* d, const unsigned char* p0, const unsigned char* p1, unsigned fx,
                              unsigned fy) {
  const unsigned f11 = (fx * fy) >> 16;
  const unsigned f10 = fx - f11, f01 = fy - f11, f00 = 65536 - fx - fy + f11;
  for (int k = 0; k < 4; ++k)
    d[k] = static_cast<unsigned char>((p0[k] * f00 + p0[k + 4] * f10 + p1[k] * f01 + p1[k + 4] * f11) >> 16);
}

#if GFX_HAVE_SSE2
// Columns and madd weights of four consecutive bilinear pixels of one row, for the SSE2 and AVX2
// rows (see the identity above gfx_sse2::bilinear_clobber_full): per pixel
// W1 = (fx - 32768, fy - 32768) and W2 = (f11 - 32768, -32768) as 16-bit pairs.
class GFX_BilinearQuads {
public:
  GFX_BilinearQuads(int x, int stepx, int fy)
      : m_fy(_mm_set1_epi32(fy)),
        m_fyHigh(_mm_set1_epi32(static_cast<int>((static_cast<unsigned>(fy) ^ 0x8000u) << 16))) {
    // Positions stay below 2^31 for every pixel in the row (columns below 32768). Lanes past the
    // row's last pixel may wrap; they are never used, but making them must not overflow an int.
    const unsigned ux = static_cast<unsigned>(x), us = static_cast<unsigned>(stepx);
    m_xs = _mm_setr_epi32(static_cast<int>(ux), static_cast<int>(ux + us), static_cast<int>(ux + 2 * us),
                          static_cast<int>(ux + 3 * us));
    m_step4 = _mm_set1_epi32(static_cast<int>(4 * us));
  }
  // The next four pixels: their columns into cols, their weights into W1, W2.
  void next(int* cols, __m128i* W1, __m128i* W2) {
    const __m128i sign16 = _mm_set1_epi32(0x8000);
    const __m128i fx = _mm_and_si128(m_xs, _mm_set1_epi32(0xffff));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cols), _mm_srli_epi32(m_xs, 16));
    const __m128i f11 = _mm_mulhi_epu16(fx, m_fy);  // (fx * fy) >> 16 in the low half; high half 0
    *W1 = _mm_or_si128(_mm_xor_si128(fx, sign16), m_fyHigh);
    *W2 = _mm_or_si128(_mm_xor_si128(f11, sign16), _mm_set1_epi32(static_cast<int>(0x80000000u)));
    m_xs = _mm_add_epi32(m_xs, m_step4);
  }

private:
  __m128i m_fy, m_fyHigh, m_xs, m_step4;
};
#endif

#if GFX_HAVE_AVX2_BUILD
namespace gfx_avx2 {
bool cpuHasAvx2();
void blit_copysa_full(unsigned char* dest, const unsigned char* src, int w, int h, std::ptrdiff_t srcspan,
                      std::ptrdiff_t destspan, int weight);
void blit_copysa_part(unsigned char* dest, const unsigned char* src, int w, int h, std::ptrdiff_t srcspan,
                      std::ptrdiff_t destspan, int weight);
void blit_add(unsigned char* dest, const unsigned char* src, int w, int h, std::ptrdiff_t srcspan,
              std::ptrdiff_t destspan, int weight);
void blit_addsa(unsigned char* dest, const unsigned char* src, int w, int h, std::ptrdiff_t srcspan,
                std::ptrdiff_t destspan, int weight);
void bilinear_clobber_full(unsigned char* dest, const unsigned char* row0, const unsigned char* row1, int n, int x,
                           int stepx, int fy, int weight);
}  // namespace gfx_avx2
#endif
