// Scaled blit: the unscaled shortcut, nearest and bilinear sampling, the box filter, mirroring
// and clipping.
#include <gtest/gtest.h>

#include <cmath>

#include "GFX_Blit.h"
#include "gfx_test_util.h"

namespace {
// Source whose red channel is 10 x column, green 10 x row.
void gradient(GFX_IBitmap* bm) {
  for (int y = 0; y < bm->getHeight(); ++y)
    for (int x = 0; x < bm->getWidth(); ++x) put(bm, x, y, px(10 * x, 10 * y, 0, 255));
}
}  // namespace

TEST(GfxScaledBlit, SameSizeShortcutRoundsThePosition) {
  GFX_MemBitmap s(12, 2, 4), d(5, 1, 4);
  gradient(&s);
  GFX_ScaledBlit(&d, &s, 0, 0, 5, 1, 3.02f, 0, 5, 1, 1.0f, 0x100);  // within 0.03: exact blit
  for (int x = 0; x < 5; ++x) EXPECT_EQ(GFX_GETR(at(&d, x, 0)), 10u * (3 + x));
  GFX_ScaledBlit(&d, &s, 0, 0, 5, 1, 3.6f, 0, 5, 1, 1.0f, 0);  // nearest: left = 4
  for (int x = 0; x < 5; ++x) EXPECT_EQ(GFX_GETR(at(&d, x, 0)), 10u * (4 + x));
}

TEST(GfxScaledBlit, BilinearStartExampleMixesColumnsThreeAndFour) {
  GFX_MemBitmap s(12, 1, 4), d(5, 1, 4);
  gradient(&s);
  // Start 3.2 -> 0x33333 (209715); fraction 13107 on column 4. The single row is the clip's
  // last row, so only the horizontal taps apply.
  GFX_ScaledBlit(&d, &s, 0, 0, 5, 1, 3.2f, 0, 5, 1, 1.0f, 0x100);
  EXPECT_EQ(209715 & 0xffff, 13107);
  for (int x = 0; x < 5; ++x) {
    const unsigned c = 3 + x, want = (10 * (c + 1) * 13107 + 10 * c * (65536 - 13107)) >> 16;
    EXPECT_EQ(GFX_GETR(at(&d, x, 0)), want) << x;
  }
  EXPECT_EQ(GFX_GETR(at(&d, 0, 0)), 31u);
  EXPECT_EQ(GFX_GETA(at(&d, 0, 0)), 255u);
}

TEST(GfxScaledBlit, BilinearFourTapsAndEdges) {
  GFX_MemBitmap s(10, 10, 4), d(40, 40, 4);
  gradient(&s);
  fillAll(&d, px(1, 1, 1, 1));
  GFX_ScaledBlit(&d, &s, 0, 0, 40, 40, 0, 0, 10, 10, 1.0f, 0x100);
  // Step 0.25: destination (5, 6) samples x 1.25, y 1.5: fx 16384, fy 32768, f11 8192.
  const unsigned f11 = 8192, f10 = 16384 - f11, f01 = 32768 - f11, f00 = 65536 - 16384 - 32768 + f11;
  const unsigned r = (10 * f00 + 20 * f10 + 10 * f01 + 20 * f11) >> 16;
  const unsigned g = (10 * f00 + 10 * f10 + 20 * f01 + 20 * f11) >> 16;
  EXPECT_EQ(at(&d, 5, 6), px(r, g, 0, 255));
  // Last source column (x 9.x): vertical only. Last source row: horizontal only.
  EXPECT_EQ(GFX_GETR(at(&d, 39, 6)), 90u);
  EXPECT_EQ(GFX_GETG(at(&d, 39, 6)), (20u * 32768 + 10u * 32768) >> 16);
  EXPECT_EQ(GFX_GETG(at(&d, 5, 39)), 90u);
  EXPECT_EQ(at(&d, 39, 39), px(90, 90, 0, 255));
  EXPECT_EQ(at(&d, 0, 0), px(0, 0, 0, 255));
}

TEST(GfxScaledBlit, StrongDownscaleUsesTheBoxFilter) {
  for (int factor : {3, 4}) {
    const int n = 10 * factor;
    GFX_MemBitmap s(n, n, 4), d(10, 10, 4);
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) put(&s, x, y, px((x * 37 + y * 11) & 255, (x * y) & 255, x, 255));
    GFX_ScaledBlit(&d, &s, 0, 0, 10, 10, 0, 0, static_cast<float>(n), static_cast<float>(n), 1.0f, 0x100);
    const int size = factor == 3 ? 3 : 5, half = size / 2;  // step 3.0 -> 3 x 3, 4.0 -> 5 x 5
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 10; ++x) {
        int sum[4] = {0, 0, 0, 0}, cnt = 0;
        for (int ty = factor * y - half; ty <= factor * y + half; ++ty)
          for (int tx = factor * x - half; tx <= factor * x + half; ++tx) {
            if (tx < 0 || ty < 0 || tx >= n || ty >= n) continue;
            const GFX_pixel p = at(&s, tx, ty);
            sum[0] += GFX_GETR(p), sum[1] += GFX_GETG(p), sum[2] += GFX_GETB(p), sum[3] += GFX_GETA(p);
            ++cnt;
          }
        ASSERT_EQ(at(&d, x, y), px(sum[0] / cnt, sum[1] / cnt, sum[2] / cnt, sum[3] / cnt))
            << "factor " << factor << " at " << x << "," << y;
      }
  }
}

TEST(GfxScaledBlit, NearestWholeWordPaths) {
  GFX_MemBitmap s(4, 1, 4), d(8, 1, 4);
  for (int x = 0; x < 4; ++x) put(&s, x, 0, px(50 * x, 0, 0, x == 2 ? 0 : 255));
  fillAll(&d, px(0, 100, 0, 10));
  GFX_ScaledBlit(&d, &s, 0, 0, 8, 1, 0, 0, 4, 1, 1.0f, 0);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(at(&d, x, 0), at(&s, x / 2, 0)) << x;
  fillAll(&d, px(0, 100, 0, 10));
  GFX_ScaledBlit(&d, &s, 0, 0, 8, 1, 0, 0, 4, 1, 0.5f, 0);  // half mix
  EXPECT_EQ(at(&d, 3, 0), px(25, 50, 0, 5 + 127));
  fillAll(&d, px(0, 100, 0, 10));
  GFX_ScaledBlit(&d, &s, 0, 0, 8, 1, 0, 0, 4, 1, 1.0f, 0x10000);  // source alpha: column 2 skipped
  EXPECT_EQ(at(&d, 2, 0), px(50, 0, 0, 255));
  EXPECT_EQ(at(&d, 4, 0), px(0, 100, 0, 10));
}

TEST(GfxScaledBlit, MirroredBlitsReverseEveryColumnAndRow) {
  GFX_MemBitmap s(4, 3, 4), d(4, 3, 4), d2(8, 3, 4);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) put(&s, x, y, tag(x, y));
  GFX_ScaledBlit(&d, &s, 4, 0, -4, 3, 0, 0, 4, 3, 1.0f, 0);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(at(&d, x, y), tag(3 - x, y)) << x << "," << y;
  GFX_ScaledBlit(&d, &s, 0, 3, 4, -3, 0, 0, 4, 3, 1.0f, 0x10000);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(at(&d, x, y), tag(x, 2 - y)) << x << "," << y;
  GFX_ScaledBlit(&d2, &s, 8, 0, -8, 3, 0, 0, 4, 3, 1.0f, 0);  // mirrored and doubled
  for (int x = 0; x < 8; ++x) EXPECT_EQ(at(&d2, x, 1), tag(3 - x / 2, 1)) << x;
}

TEST(GfxScaledBlit, ClipsAtEveryEdge) {
  GFX_MemBitmap s(4, 4, 4), d(6, 6, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) put(&s, x, y, tag(x, y));
  fillAll(&d, 0);
  GFX_ScaledBlit(&d, &s, -4, -2, 8, 8, 0, 0, 4, 4, 1.0f, 0);  // doubled, shifted up-left
  EXPECT_EQ(at(&d, 0, 0), tag(2, 1));
  EXPECT_EQ(at(&d, 3, 5), tag(3, 3));
  EXPECT_EQ(at(&d, 4, 0), 0u);
  fillAll(&d, 0);
  GFX_ScaledBlit(&d, &s, 3, 4, 8, 8, 0, 0, 4, 4, 1.0f, 0x100);  // runs off right and bottom
  EXPECT_EQ(at(&d, 2, 4), 0u);
  EXPECT_NE(at(&d, 5, 5), 0u);
  fillAll(&d, 0);
  GFX_ScaledBlit(&d, &s, 0, 0, 6, 6, -1, -1, 3, 3, 1.0f, 0);  // source area starts outside
  EXPECT_EQ(at(&d, 0, 0), 0u);
  EXPECT_EQ(at(&d, 2, 2), tag(0, 0));
}

TEST(GfxScaledBlit, NonFiniteOrAbsurdInputsDrawNothing) {
  GFX_MemBitmap s(4, 4, 4), d(6, 6, 4);
  fillAll(&s, px(9, 9, 9, 255));
  fillAll(&d, 0);
  const float inf = INFINITY, nan = NAN;
  GFX_ScaledBlit(&d, &s, 0, 0, 6, 6, nan, 0, 4, 4, 1.0f, 0x100);
  GFX_ScaledBlit(&d, &s, 0, 0, 6, 6, 0, inf, 4, 4, 1.0f, 0);
  GFX_ScaledBlit(&d, &s, 0, 0, 6, 6, 0, 0, inf, 4, 1.0f, 0);
  GFX_ScaledBlit(&d, &s, 0, 0, 6, 6, 0, 0, 4, nan, 1.0f, 0x10000);
  GFX_ScaledBlit(&d, &s, 0, 0, 6, 6, 0, 0, 4, 4, nan, 0);
  GFX_ScaledBlit(&d, &s, 0, 0, 6, 6, 1e10f, 0, 4, 4, 1.0f, 0);
  GFX_ScaledBlit(&d, &s, 0, 0, 6, 6, 0, 0, 1e10f, 4, 1.0f, 0x100);
  GFX_ScaledBlit(&d, &s, 0, 0, 6, 6, 0, 0, 4, 4, 1e30f, 0);
  GFX_ScaledBlit(&d, &s, INT32_MIN, 0, INT32_MIN, 6, 0, 0, 4, 4, 1.0f, 0);
  GFX_ScaledBlit(&d, &s, INT32_MAX, INT32_MAX, INT32_MAX, 6, 0, 0, 4, 4, 1.0f, 0);
  GFX_ScaledBlit(&d, &s, -INT32_MAX, 0, INT32_MAX, 6, 0, 0, 4, 4, 1.0f, 0x100);
  GFX_ScaledBlit(&d, &s, 0, 0, 6, 6, 2e9f, 0, 6, 6, 1.0f, 0);  // shortcut with absurd position
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) ASSERT_EQ(at(&d, x, y), 0u) << x << "," << y;
}

TEST(GfxScaledBlit, ScalingWithinOneBitmapReadsTheOriginal) {
  GFX_MemBitmap bm(8, 8, 4), want(8, 8, 4), copy(8, 8, 4);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) put(&bm, x, y, tag(x, y));
  GFX_Copy(&want, &bm);
  GFX_Copy(&copy, &bm);
  GFX_ScaledBlit(&want, &copy, 1, 1, 7, 7, 0, 0, 4, 4, 1.0f, 0x100);
  GFX_ScaledBlit(&bm, &bm, 1, 1, 7, 7, 0, 0, 4, 4, 1.0f, 0x100);
  EXPECT_EQ(GFX_BitmapCmp(&bm, &want, nullptr), 0);
}
