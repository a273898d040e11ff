// Exact per-pixel arithmetic of the blend modes, through the single-pixel functions (which use
// the very combiners the row loops inline).
#include <gtest/gtest.h>

#include "GFX_Combine.h"
#include "gfx_test_util.h"

namespace {
GFX_pixel comb(GFX_pixel d, GFX_pixel s, int w, int mode) {
  GFX_CombinePixels2(&d, GFX_GETR(s), GFX_GETG(s), GFX_GETB(s), GFX_GETA(s), w, mode);
  return d;
}
}  // namespace

TEST(GfxCombine, CopyBlendsTowardSourceWithTruncationTowardZero) {
  // 255 + ((0 - 255) * 128) / 256 = 128
  EXPECT_EQ(comb(px(0, 0, 0, 0), px(255, 255, 255, 255), 128, 0), px(128, 128, 128, 128));
  for (int w : {1, 64, 128, 200, 255})
    EXPECT_EQ(comb(px(255, 255, 255, 255), px(255, 255, 255, 255), w, 0), px(255, 255, 255, 255)) << w;
  // 255 + (-255 * 255) / 256: -254.004 truncates to -254 (a floor would give 0).
  EXPECT_EQ(GFX_GETR(comb(px(0, 0, 0, 0), px(255, 0, 0, 0), 1, 0)), 1u);
  // Full weight clobbers, alpha included.
  EXPECT_EQ(comb(px(1, 2, 3, 4), px(9, 8, 7, 6), 256, 0), px(9, 8, 7, 6));
}

TEST(GfxCombine, CopyWithSourceAlphaAtFullWeight) {
  const GFX_pixel d = px(10, 20, 30, 40);
  EXPECT_EQ(comb(d, px(200, 100, 50, 255), 256, 0x10000), px(200, 100, 50, 255));
  EXPECT_EQ(comb(d, px(200, 100, 50, 0), 256, 0x10000), d);
  // alpha 128: 127/256 of (d - s) kept; alpha byte gains 128.
  const int r = 200 + ((10 - 200) * 127) / 256, g = 100 + ((20 - 100) * 127) / 256, b = 50 + ((30 - 50) * 127) / 256;
  EXPECT_EQ(comb(d, px(200, 100, 50, 128), 256, 0x10000), px(r, g, b, 168));
  EXPECT_EQ(GFX_GETA(comb(px(0, 0, 0, 200), px(0, 0, 0, 128), 256, 0x10000)), 255u);  // capped
}

TEST(GfxCombine, CopyWithSourceAlphaAtPartialWeight) {
  // w 128, a 255: sa = (256 * 128) / 256 = 128.
  EXPECT_EQ(comb(px(0, 0, 0, 0), px(255, 255, 255, 255), 128, 0x10000), px(128, 128, 128, 128));
  // a 0 is skipped whatever the weight.
  EXPECT_EQ(comb(px(5, 6, 7, 8), px(255, 255, 255, 0), 128, 0x10000), px(5, 6, 7, 8));
  // a 99, w 100: sa = (100 * 100) / 256 = 39.
  const int sa = 39;
  EXPECT_EQ(comb(px(100, 0, 50, 10), px(0, 200, 50, 99), 100, 0x10000),
            px(0 + (100 * (256 - sa)) / 256, 200 + (-200 * (256 - sa)) / 256, 50, 10 + sa));
}

TEST(GfxCombine, AddSaturatesAndScalesBySourceAlpha) {
  EXPECT_EQ(comb(px(200, 10, 0, 100), px(100, 10, 0, 200), 256, 1), px(255, 20, 0, 255));
  EXPECT_EQ(comb(px(200, 10, 0, 100), px(100, 10, 0, 200), 128, 1), px(250, 15, 0, 200));
  // Source alpha 127, w 256: sa = 128.
  EXPECT_EQ(comb(px(10, 10, 10, 10), px(100, 255, 0, 127), 256, 0x10001), px(60, 137, 10, 10 + 63));
  EXPECT_EQ(comb(px(10, 10, 10, 10), px(100, 255, 0, 0), 256, 0x10001), px(10, 10, 10, 10));
}

TEST(GfxCombine, ColorDodge) {
  // s 255 at full weight: k = 1, nonzero channels saturate, zero stays zero.
  EXPECT_EQ(comb(px(1, 0, 100, 0), px(255, 255, 255, 255), 256, 2), px(255, 0, 255, 0));
  // s 128: k = 128, t = d * 2.
  EXPECT_EQ(comb(px(100, 127, 128, 0), px(128, 128, 128, 128), 256, 2), px(200, 254, 255, 0));
  // s 64 at w 128: k = 256 - 32 = 224, t = 100 * 256 / 224 = 114.
  EXPECT_EQ(GFX_GETR(comb(px(100, 0, 0, 0), px(64, 0, 0, 0), 128, 2)), 114u);
  // Source-alpha dodge processes alpha 0 pixels: sa = 1, k = 256 - s/256 = 256, unchanged.
  EXPECT_EQ(comb(px(100, 50, 25, 9), px(255, 255, 255, 0), 256, 0x10002), px(100, 50, 25, 9));
  // a 127: sa = 128; s 255: k = 256 - 127 = 129; 100 * 256 / 129 = 198.
  EXPECT_EQ(GFX_GETR(comb(px(100, 0, 0, 0), px(255, 0, 0, 127), 256, 0x10002)), 198u);
}

TEST(GfxCombine, MultiplyTruncates) {
  EXPECT_EQ(comb(px(255, 128, 0, 255), px(255, 255, 255, 255), 256, 3), px(254, 127, 0, 254));
  // s 0 at half weight: d * (0 + 128 * 256) / 65536 = d / 2.
  EXPECT_EQ(comb(px(200, 201, 0, 0), px(0, 0, 0, 0), 128, 3), px(100, 100, 0, 0));
  EXPECT_EQ(comb(px(200, 200, 200, 200), px(0, 0, 0, 0), 256, 0x10003), px(200, 200, 200, 200));  // a 0 skipped
}

TEST(GfxCombine, Overlay) {
  // m = 51200, t = -7200 + 51200 = 44000, 44000 * 100 / 32768 = 134
  EXPECT_EQ(GFX_GETR(comb(px(100, 0, 0, 0), px(200, 0, 0, 0), 256, 4)), 134u);
  // Neutral source 128 at any weight: m = 32768, t = m, result d.
  EXPECT_EQ(comb(px(10, 100, 250, 77), px(128, 128, 128, 128), 256, 4), px(10, 100, 250, 77));
}

TEST(GfxCombine, HsvAdjustNeutralKeepsColourAndTakesSourceAlpha) {
  for (GFX_pixel d : {px(255, 0, 0, 3), px(0, 255, 0, 3), px(0, 0, 255, 3), px(90, 90, 90, 3), px(200, 100, 50, 3)}) {
    const GFX_pixel out = comb(d, px(128, 128, 128, 77), 256, 5);
    EXPECT_EQ(GFX_GETA(out), 77u);
    for (int c = 8; c < 32; c += 8) {
      const int diff = static_cast<int>((out >> c) & 0xff) - static_cast<int>((d >> c) & 0xff);
      EXPECT_LE(diff < 0 ? -diff : diff, 2) << pixStr(d) << " -> " << pixStr(out);
    }
  }
  // Pure red with the hue pushed by 192 units (r 255: 255 + 127 - 192 = 190 at full weight)
  // lands in the cyan sector.
  const GFX_pixel c = comb(px(255, 0, 0, 255), px(255, 128, 128, 255), 256, 5);
  EXPECT_EQ(GFX_GETR(c), 0u);
  EXPECT_EQ(GFX_GETG(c), 255u);
}

TEST(GfxCombine, UnknownOperationsAndZeroWeightDrawNothing) {
  const GFX_pixel d = px(1, 2, 3, 4), s = px(200, 200, 200, 200);
  EXPECT_EQ(comb(d, s, 256, 6), d);
  EXPECT_EQ(comb(d, s, 256, 0x10006), d);
  EXPECT_EQ(comb(d, s, 0, 1), d);
  EXPECT_EQ(comb(d, s, -128, 0), d);  // copy below weight 1
  // The filter field never changes the result.
  EXPECT_EQ(comb(d, s, 100, 0x100 | 1), comb(d, s, 100, 1));
  EXPECT_EQ(comb(d, s, 100, 0x10000 | 0x300), comb(d, s, 100, 0x10000));
}

TEST(GfxCombine, FloatEntryPointUsesSinglePrecisionWeight) {
  EXPECT_EQ(GFX_CombinePixels(px(0, 0, 0, 0), px(255, 255, 255, 255), 0.5f, 0), px(128, 128, 128, 128));
  EXPECT_EQ(GFX_CombinePixels(px(9, 9, 9, 9), px(255, 255, 255, 255), 0.001f, 0), px(9, 9, 9, 9));  // w 0
  EXPECT_EQ(GFX_CombinePixels(px(9, 9, 9, 9), px(255, 255, 255, 255), NAN, 1), px(9, 9, 9, 9));
}

TEST(GfxCombine, ClampVariantsClampOutOfRangeChannels) {
  GFX_pixel d = px(0, 0, 0, 0);
  GFX_CombinePixels2Clamp(&d, 300, -5, 128, 999, 256, 0);
  EXPECT_EQ(d, px(255, 0, 128, 255));
  d = px(0, 0, 0, 0);
  GFX_CombinePixels2(&d, 300, -5, 128, 999, 256, 0);  // low 8 bits
  EXPECT_EQ(d, px(300 & 255, -5 & 255, 128, 999 & 255));
  d = px(100, 100, 100, 100);
  GFX_CombinePixels2Clamp(&d, 400, -300, 100, 255, 256, 0x10000);
  EXPECT_EQ(d, px(255, 0, 100, 255));
  // Absurd inputs are limited, never overflow.
  d = px(1, 2, 3, 4);
  GFX_CombinePixels2(&d, INT32_MAX, INT32_MIN, 5, 5, INT32_MAX, 3);
  GFX_CombinePixels2Clamp(&d, INT32_MAX, INT32_MIN, 5, 5, INT32_MIN, 4);
}
