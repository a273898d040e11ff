#include <gtest/gtest.h>

#include "GFX_Bitmap.h"
#include "GFX_Gradient.h"

namespace {
GFX_pixel px(GFX_MemBitmap& bm, int x, int y) { return bm.getBits()[y * bm.getRowSpan() + x]; }
void fillAll(GFX_MemBitmap& bm, GFX_pixel v) {
  for (int y = 0; y < bm.getHeight(); ++y)
    for (int x = 0; x < bm.getWidth(); ++x) bm.getBits()[y * bm.getRowSpan() + x] = v;
}
}  // namespace

TEST(GradRect, FlatColourAtFullAlphaCopiesWithAlphaByteClamped) {
  GFX_MemBitmap bm(4, 3, 4);
  fillAll(bm, GFX_RGBA(9, 9, 9, 9));
  GFX_GradRect(&bm, 0, 0, 4, 3, 0.5f, 0.25f, 1.0f, 1.0f, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(px(bm, 3, 2), GFX_RGBA(127, 63, 255, 255));  // 127.5 and 63.75 truncate
}

TEST(GradRect, HalfAlphaMovesHalfwayIncludingTheAlphaByte) {
  GFX_MemBitmap bm(2, 2, 4);
  fillAll(bm, GFX_RGBA(0, 200, 0, 0));
  GFX_GradRect(&bm, 0, 0, 2, 2, 1.0f, 0.0f, 0.0f, 0.5f, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  // copy with w = 128: s + ((d - s) * 128) / 256
  EXPECT_EQ(px(bm, 1, 1), GFX_RGBA(255 + (0 - 255) * 128 / 256, 0 + (200 - 0) * 128 / 256, 0, 128 + (0 - 128) * 128 / 256));
}

TEST(GradRect, SlopesAccumulateInFixedPoint) {
  GFX_MemBitmap bm(8, 4, 4);
  fillAll(bm, 0);
  GFX_GradRect(&bm, 0, 0, 8, 4, 0, 0, 0, 1.0f, 10 / 255.f, 0, 0, 0, 0, 20 / 255.f, 0, 0, 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) {
      EXPECT_NEAR(static_cast<int>(GFX_GETR(px(bm, x, y))), 10 * x, 1);
      EXPECT_NEAR(static_cast<int>(GFX_GETG(px(bm, x, y))), 20 * y, 1);
    }
}

TEST(GradRect, NegativeOriginAdvancesTheStart) {
  GFX_MemBitmap clipped(6, 2, 4), full(16, 2, 4);
  fillAll(clipped, 0);
  fillAll(full, 0);
  GFX_GradRect(&clipped, -10, 0, 16, 2, 0, 0, 0, 1.0f, 0.05f, 0, 0, 0, 0, 0, 0, 0, 0);
  GFX_GradRect(&full, 0, 0, 16, 2, 0, 0, 0, 1.0f, 0.05f, 0, 0, 0, 0, 0, 0, 0, 0);
  for (int x = 0; x < 6; ++x)
    EXPECT_NEAR(static_cast<int>(GFX_GETR(px(clipped, x, 0))), static_cast<int>(GFX_GETR(px(full, x + 10, 0))), 1);
  EXPECT_NEAR(static_cast<int>(GFX_GETR(px(clipped, 0, 0))), 127, 1);  // 10 * 0.05 * 255
}

TEST(GradRect, AlphaOfOneOver256OverwritesWithAlphaByteOne) {
  GFX_MemBitmap bm(3, 3, 4);
  fillAll(bm, GFX_RGBA(50, 60, 70, 80));
  GFX_GradRect(&bm, 0, 0, 3, 3, 1.0f, 0.5f, 0.0f, 1.0f / 256, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(px(bm, 1, 1), GFX_RGBA(255, 127, 0, 1));
}

TEST(GradRect, SourceAlphaBitIgnoredAndUnknownOperationDrawsNothing) {
  GFX_MemBitmap a(2, 2, 4), b(2, 2, 4);
  fillAll(a, GFX_RGBA(10, 20, 30, 40));
  fillAll(b, GFX_RGBA(10, 20, 30, 40));
  GFX_GradRect(&a, 0, 0, 2, 2, 0.2f, 0.2f, 0.2f, 0.5f, 0, 0, 0, 0, 0, 0, 0, 0, 1);
  GFX_GradRect(&b, 0, 0, 2, 2, 0.2f, 0.2f, 0.2f, 0.5f, 0, 0, 0, 0, 0, 0, 0, 0, 0x10001);
  EXPECT_EQ(px(a, 0, 0), px(b, 0, 0));
  EXPECT_EQ(GFX_GETR(px(a, 0, 0)), 10u + (51 * 128) / 256);  // add: d + s * w / 256
  GFX_GradRect(&b, 0, 0, 2, 2, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 6);
  EXPECT_EQ(px(a, 1, 1), px(b, 1, 1));
  GFX_GradRect(nullptr, 0, 0, 2, 2, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  GFX_GradRect(&b, 0, 0, 2, 2, 1e30f, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0);  // unrepresentable: nothing
  EXPECT_EQ(px(a, 1, 1), px(b, 1, 1));
}
