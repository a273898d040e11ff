// The vector fast paths against the general routines on the same random inputs: every result
// must be the same bits. Widths 1 to 33 cover every remainder of the vector loops.
#include <gtest/gtest.h>

#include <random>

#include "GFX_Blit.h"
#include "GFX_FastPaths.h"
#include "GFX_Fill.h"
#include "gfx_test_util.h"

namespace {
struct FastPathsOff {
  FastPathsOff() { GFX_SetFastPathsEnabled(false); }
  ~FastPathsOff() { GFX_SetFastPathsEnabled(true); }
};

// Runs op on copies of dst with the general routines and with the fast paths at every level this
// CPU offers (AVX2, SSE2), and compares each with the general result.
template <class Op>
void expectSameBits(GFX_MemBitmap& dst, Op&& op, const std::string& what) {
  GFX_MemBitmap slow;
  GFX_Copy(&slow, &dst);
  {
    FastPathsOff off;
    op(&slow);
  }
  GFX_SetFastPathsEnabled(true);
  const int top = GFX_GetFastPathLevel();
  for (int level = top; level >= GFX_FASTPATH_SSE2; --level) {
    GFX_MemBitmap fast;
    GFX_Copy(&fast, &dst);
    GFX_SetFastPathLevel(level);
    op(&fast);
    GFX_SetFastPathsEnabled(true);
    int box[4] = {0, 0, 0, 0};
    if (GFX_BitmapCmp(&fast, &slow, box) != 0) {
      ADD_FAILURE() << what << " (level " << level << "): first difference at " << box[0] << "," << box[1]
                    << " fast " << pixStr(at(&fast, box[0], box[1])) << " general "
                    << pixStr(at(&slow, box[0], box[1]));
    }
  }
}

const int kModes[] = {0, 1, 2, 3, 4, 5, 0x10000, 0x10001, 0x10002, 0x10003, 0x10004, 0x10005};
const float kAlphas[] = {1.0f, 0.999f, 0.75f, 0.5f, 0.39f, 0.25f, 0.004f, 1.002f};
}  // namespace

TEST(GfxFastPaths, SwitchTurnsThemOff) {
  EXPECT_TRUE(GFX_FastPathsEnabled());
  {
    FastPathsOff off;
    EXPECT_FALSE(GFX_FastPathsEnabled());
    EXPECT_EQ(GFX_FindBlitFastPath(0x10000, 256), nullptr);
  }
  EXPECT_TRUE(GFX_FastPathsEnabled());
}

TEST(GfxFastPaths, BlitsMatchTheGeneralRoutine) {
  std::mt19937 rng(20261207);
  for (int w = 1; w <= 33; ++w) {
    GFX_MemBitmap src(w, 3, 4), dst(w + 2, 3, 4);
    randomFill(&src, rng);
    randomFill(&dst, rng);
    for (int mode : kModes)
      for (float alpha : kAlphas)
        expectSameBits(dst, [&](GFX_IBitmap* d) { GFX_Blit(d, &src, 1, 0, nullptr, alpha, mode); },
                       "blit w " + std::to_string(w) + " mode " + std::to_string(mode) + " alpha " +
                           std::to_string(alpha));
  }
}

TEST(GfxFastPaths, ExtremeChannelValuesMatch) {
  // Every source/destination byte pair against the general routine, per mode.
  GFX_MemBitmap src(256, 256, 4), dst(256, 256, 4);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      put(&src, x, y, px(x, 255 - x, x ^ y, y));
      put(&dst, x, y, px(y, 255 - y, x, x));
    }
  for (int mode : kModes)
    for (float alpha : {1.0f, 0.5f, 0.3f})
      expectSameBits(dst, [&](GFX_IBitmap* d) { GFX_Blit(d, &src, 0, 0, nullptr, alpha, mode); },
                     "all pairs mode " + std::to_string(mode) + " alpha " + std::to_string(alpha));
}

TEST(GfxFastPaths, FillsMatchTheGeneralRoutine) {
  std::mt19937 rng(7);
  for (int w = 1; w <= 33; ++w) {
    GFX_MemBitmap dst(w + 1, 2, 4);
    randomFill(&dst, rng);
    for (int mode = 0; mode <= 5; ++mode)
      for (float alpha : kAlphas) {
        const GFX_pixel c = rng();
        expectSameBits(dst, [&](GFX_IBitmap* d) { GFX_FillRect(d, 1, 0, w, 2, c, alpha, mode); },
                       "fill w " + std::to_string(w) + " mode " + std::to_string(mode));
      }
  }
}

TEST(GfxFastPaths, BilinearScalingMatchesTheGeneralRoutine) {
  std::mt19937 rng(99);
  GFX_MemBitmap src(37, 23, 4);
  randomFill(&src, rng);
  for (int dw : {1, 2, 7, 31, 32, 33, 42, 80})
    for (float sx : {0.0f, 0.3f, 2.71f}) {
      GFX_MemBitmap dst(dw, 27, 4);
      randomFill(&dst, rng);
      expectSameBits(dst,
                     [&](GFX_IBitmap* d) { GFX_ScaledBlit(d, &src, 0, 0, dw, 27, sx, 0.4f, 30.0f, 20.0f, 1.0f, 0x100); },
                     "bilinear to width " + std::to_string(dw));
    }
}

TEST(GfxFastPaths, HugeHorizontalStepsMatchAndStayInRange) {
  // A 16000-pixel step: positions of lanes past the row's end would overflow 32 bits.
  std::mt19937 rng(5);
  GFX_MemBitmap src(32000, 3, 4), dst(2, 3, 4);
  randomFill(&src, rng);
  randomFill(&dst, rng);
  expectSameBits(dst, [&](GFX_IBitmap* d) { GFX_ScaledBlit(d, &src, 0, 0, 2, 3, 0.5f, 0, 32000, 2, 1.0f, 0x100); },
                 "step 16000");
  GFX_MemBitmap wide(6, 3, 4);
  randomFill(&wide, rng);
  expectSameBits(wide, [&](GFX_IBitmap* d) { GFX_ScaledBlit(d, &src, 0, 0, 6, 3, 0, 0, 31000, 2, 1.0f, 0x100); },
                 "step 5166");
}
