// Rotated, delta and transform blits.
#include <gtest/gtest.h>

#include <cmath>

#include "../gfx/gfx_test_util.h"
#include "GFX_Combine.h"
#include "GFX_Rotate.h"

namespace {
void tagAll(GFX_IBitmap* b) {
  for (int y = 0; y < b->getHeight(); ++y)
    for (int x = 0; x < b->getWidth(); ++x) put(b, x, y, tag(x, y));
}
}  // namespace

TEST(GfxRotatedBlit, AngleZeroCopiesPixelForPixel) {
  GFX_MemBitmap src(6, 5, 4), dst(8, 6, 4);
  tagAll(&src);
  for (int mode : {0, 0x100}) {
    fillAll(&dst, 0);
    GFX_RotatedBlit(&dst, &src, 2, 1, 4, 3, 1, 1, 4, 3, 0.0f, false, 1.0f, mode, 0, 0);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 8; ++x) {
        const bool in = x >= 2 && x < 6 && y >= 1 && y < 4;
        ASSERT_EQ(at(&dst, x, y), in ? tag(x - 1, y) : 0u) << mode << " " << x << "," << y;
      }
  }
}

TEST(GfxRotatedBlit, QuarterTurnAndMirrorArePermutations) {
  GFX_MemBitmap src(4, 4, 4), dst(4, 4, 4);
  tagAll(&src);
  fillAll(&dst, 0);
  GFX_RotatedBlit(&dst, &src, 0, 0, 4, 4, 0, 0, 4, 4, 1.5707964f, false, 1.0f, 0, 0, 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) ASSERT_EQ(at(&dst, x, y), tag(y, 3 - x)) << x << "," << y;
  fillAll(&dst, 0);
  GFX_RotatedBlit(&dst, &src, 4, 0, -4, 4, 0, 0, 4, 4, 0.0f, false, 1.0f, 0, 0, 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) ASSERT_EQ(at(&dst, x, y), tag(3 - x, y)) << x << "," << y;
  // The centre offset moves the sampled point by source pixels.
  fillAll(&dst, 0);
  GFX_RotatedBlit(&dst, &src, 0, 0, 4, 4, 0, 0, 4, 4, 0.0f, false, 1.0f, 0, 1.0f, 0);
  EXPECT_EQ(at(&dst, 0, 0), tag(1, 0));
  EXPECT_EQ(at(&dst, 3, 0), 0u);
}

TEST(GfxRotatedBlit, SourceRectClipAndFlippedBitmaps) {
  GFX_MemBitmap src(8, 8, 4), dst(8, 8, 4);
  tagAll(&src);
  bool outside = false;
  for (bool clip : {true, false}) {
    fillAll(&dst, 0);
    GFX_RotatedBlit(&dst, &src, 0, 0, 8, 8, 2, 2, 4, 4, 0.5f, clip, 1.0f, 0, 0, 0);
    int changed = 0;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        const GFX_pixel p = at(&dst, x, y);
        if (!p) continue;
        ++changed;
        const bool inRect = GFX_GETR(p) >= 2 && GFX_GETR(p) < 6 && GFX_GETG(p) >= 2 && GFX_GETG(p) < 6;
        if (clip) ASSERT_TRUE(inRect) << x << "," << y;
        else outside = outside || !inRect;
      }
    EXPECT_GT(changed, 20);
  }
  EXPECT_TRUE(outside);
  FlippedBitmap fs(4, 4), fd(4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) fs.setPic(x, y, tag(x, y));
  fillAll(&fd, 0);
  GFX_RotatedBlit(&fd, &fs, 0, 0, 4, 4, 0, 0, 4, 4, 0.0f, false, 1.0f, 0, 0, 0);
  EXPECT_EQ(fd.pic(1, 0), tag(1, 0));
  EXPECT_EQ(fd.pic(2, 3), tag(2, 3));
}

TEST(GfxDeltaBlit, BilinearAtTheLastRowInterpolatesOneWay) {
  GFX_MemBitmap src(2, 2, 4), dst(5, 1, 4);
  put(&src, 0, 0, px(50, 0, 0, 255));
  put(&src, 1, 0, px(50, 0, 0, 255));
  put(&src, 0, 1, px(0, 0, 0, 255));
  put(&src, 1, 1, px(200, 0, 0, 255));
  fillAll(&dst, px(9, 9, 9, 9));
  GFX_DeltaBlit(&dst, &src, 0, 0, 5, 1, 0, 1, 2, 2, 0.5, 0, 0, 0, 0, 0, false, 1.0f, 0x100);
  EXPECT_EQ(GFX_GETR(at(&dst, 0, 0)), 0u);
  EXPECT_EQ(GFX_GETR(at(&dst, 1, 0)), 100u);
  EXPECT_EQ(GFX_GETR(at(&dst, 2, 0)), 200u);
  EXPECT_EQ(GFX_GETR(at(&dst, 3, 0)), 200u);  // the last column itself
  EXPECT_EQ(at(&dst, 4, 0), px(9, 9, 9, 9));  // beyond: untouched
}

TEST(GfxDeltaBlit, ModesFollowTheBlitTable) {
  GFX_MemBitmap src(3, 3, 4), dst(3, 3, 4), ref(3, 3, 4);
  std::mt19937 rng(5);
  randomFill(&src, rng);
  randomFill(&dst, rng);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) put(&ref, x, y, GFX_CombinePixels(at(&dst, x, y), at(&src, x, y), 0.6f, 0x10003));
  GFX_MemBitmap keep(3, 3, 4);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) put(&keep, x, y, at(&dst, x, y));
  GFX_DeltaBlit(&dst, &src, 0, 0, 3, 3, 0, 0, 3, 3, 1, 0, 0, 1, 0, 0, false, 0.6f, 6);
  GFX_DeltaBlit(&dst, &src, 0, 0, 3, 3, 0, 0, 3, 3, NAN, 0, 0, 1, 0, 0, false, 1.0f, 0);
  GFX_DeltaBlit(&dst, &src, 0, 0, 3, 3, 0, 0, 3, 3, 1e9, 0, 0, 1, 0, 0, false, 1.0f, 0);
  GFX_RotatedBlit(&dst, &src, 0, 0, 3, 3, 0, 0, 3, 3, INFINITY, false, 1.0f, 0, 0, 0);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) ASSERT_EQ(at(&dst, x, y), at(&keep, x, y));
  GFX_DeltaBlit(&dst, &src, 0, 0, 3, 3, 0, 0, 3, 3, 1, 0, 0, 1, 0, 0, false, 0.6f, 0x10003);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) ASSERT_EQ(at(&dst, x, y), at(&ref, x, y));
}

TEST(GfxDeltaBlit, SecondOrderStepsSurviveTheDestinationClip) {
  GFX_MemBitmap src(16, 16, 4), big(14, 12, 4), part(10, 9, 4);
  tagAll(&src);
  fillAll(&big, 0);
  fillAll(&part, 0);
  GFX_DeltaBlit(&big, &src, 0, 0, 14, 12, 0.25f, 0.5f, 16, 16, 0.875, 0.125, 0.25, 0.75, 0.03125, -0.015625, false, 1.0f, 0);
  // Steps exact in 16.16, so the clipped start is exactly the unclipped walk's.
  // The same warp with its top-left 4 columns and 3 rows off the bitmap.
  GFX_DeltaBlit(&part, &src, -4, -3, 14, 12, 0.25f, 0.5f, 16, 16, 0.875, 0.125, 0.25, 0.75, 0.03125, -0.015625, false, 1.0f, 0);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 10; ++x) ASSERT_EQ(at(&part, x, y), at(&big, x + 4, y + 3)) << x << "," << y;
}

TEST(GfxTransformBlit, CornerGridIsOneDeltaBlit) {
  GFX_MemBitmap src(8, 6, 4), a(12, 9, 4), b(12, 9, 4);
  tagAll(&src);
  fillAll(&a, 0);
  fillAll(&b, 0);
  const float pts[] = {0, 0, 8, 0, 0, 6, 8, 6};
  GFX_TransformBlit(&a, &src, 1, 1, 10, 7, pts, 2, 2, 1.0f, 0);
  GFX_DeltaBlit(&b, &src, 1, 1, 10, 7, 0, 0, 8, 6, 0.8, 0, 0, 6.0 / 7, 0, 0, false, 1.0f, 0);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 12; ++x) ASSERT_EQ(at(&a, x, y), at(&b, x, y)) << x << "," << y;
  const double dpts[] = {0, 0, 8, 0, 0, 6, 8, 6};
  fillAll(&b, 0);
  GFX_TransformBlit2(&b, &src, 1, 1, 10, 7, dpts, 2, 2, 1.0f, 0);
  EXPECT_EQ(at(&a, 5, 5), at(&b, 5, 5));
  fillAll(&b, 0);
  GFX_TransformBlit(&b, &src, 1, 1, 10, 7, pts, 1, 2, 1.0f, 0);
  EXPECT_EQ(at(&b, 5, 5), 0u);
}
