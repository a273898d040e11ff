// Integer lines, float lines, dashed lines and the clippers: exact pixels at the tricky points.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <set>
#include <utility>

#include "../gfx/gfx_test_util.h"
#include "GFX_FloatLine.h"
#include "GFX_Line.h"

namespace {
const GFX_pixel kC = GFX_RGBA(200, 100, 50, 255);

std::set<std::pair<int, int>> drawn(GFX_IBitmap* b) {
  std::set<std::pair<int, int>> s;
  for (int y = 0; y < b->getHeight(); ++y)
    for (int x = 0; x < b->getWidth(); ++x)
      if (at(b, x, y)) s.insert({x, y});
  return s;
}
typedef std::set<std::pair<int, int>> Pts;
}  // namespace

TEST(GfxLine, PointsAndStraightLinesIncludeBothEnds) {
  GFX_MemBitmap b(12, 12, 4);
  for (bool aa : {false, true}) {
    fillAll(&b, 0);
    GFX_Line(&b, 3, 4, 3, 4, kC, 1.0f, 0, aa);
    EXPECT_EQ(drawn(&b), (Pts{{3, 4}}));
  }
  fillAll(&b, 0);
  GFX_Line(&b, 10, 5, 2, 5, kC, 1.0f, 0, false);
  const Pts fwd = drawn(&b);
  fillAll(&b, 0);
  GFX_Line(&b, 2, 5, 10, 5, kC, 1.0f, 0, false);
  EXPECT_EQ(drawn(&b), fwd);
  EXPECT_EQ(fwd.size(), 9u);
  GFX_MemBitmap s(4, 4, 4);
  fillAll(&s, 0);
  GFX_Line(&s, -5, 2, 5, 2, kC, 1.0f, 0, false);
  EXPECT_EQ(drawn(&s), (Pts{{0, 2}, {1, 2}, {2, 2}, {3, 2}}));
}

TEST(GfxLine, CopyOpacitiesOnWholeWords) {
  GFX_MemBitmap b(4, 1, 4);
  const GFX_pixel p = px(1, 255, 30, 7), c = px(1, 3, 200, 255);
  fillAll(&b, p);
  GFX_Line(&b, 0, 0, 3, 0, c, 1.0f, 0, false);
  EXPECT_EQ(at(&b, 2, 0), c);  // alpha byte included
  fillAll(&b, p);
  GFX_Line(&b, 0, 0, 3, 0, c, 0.5f, 0, false);  // (p >> 1) + (c >> 1) per byte
  EXPECT_EQ(at(&b, 1, 0), GFX_HalfMix(p, c));
  EXPECT_EQ(GFX_GETR(at(&b, 1, 0)), 0u);
  fillAll(&b, p);
  GFX_Line(&b, 0, 0, 3, 0, c, 0.502f, 0, false);  // ia 128: (p + c) >> 1
  EXPECT_EQ(at(&b, 1, 0), px(1, 129, 115, 131));
}

TEST(GfxLine, FortyFiveDegreesAntialiasedSetsMainAndSidePixels) {
  GFX_MemBitmap b(10, 10, 4);
  fillAll(&b, 0);
  GFX_Line(&b, 0, 0, 3, 3, kC, 1.0f, 0, true);
  const GFX_pixel main = GFX_ThreeQuarterMix(0, kC), side = (kC >> 2) & 0x3f3f3f3f;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) {
      const bool isMain = x == y && x <= 3, isSide = std::abs(x - y) == 1 && x <= 3 && y <= 3;
      ASSERT_EQ(at(&b, x, y), isMain ? main : isSide ? side : 0u) << x << "," << y;
    }
}

TEST(GfxLine, GeneralLineWalksFromBothEnds) {
  GFX_MemBitmap b(10, 10, 4);
  fillAll(&b, 0);
  GFX_Line(&b, 0, 0, 4, 1, kC, 1.0f, 0, false);
  EXPECT_EQ(drawn(&b), (Pts{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}}));
  // Antialiased: the ends get the full weight, each inner column a pair sharing 255.
  fillAll(&b, 0);
  GFX_Line(&b, 0, 0, 9, 4, px(255, 255, 255, 255), 1.0f, 1, true);
  EXPECT_EQ(at(&b, 0, 0), px(255, 255, 255, 255));
  EXPECT_EQ(at(&b, 9, 4), px(255, 255, 255, 255));
  for (int x = 1; x < 9; ++x) {
    int sum = 0, n = 0;
    for (int y = 0; y < 10; ++y) {
      sum += static_cast<int>(GFX_GETR(at(&b, x, y)));
      n += at(&b, x, y) != 0;
    }
    EXPECT_LE(n, 2) << x;
    EXPECT_NEAR(sum, 254, 1) << x;  // weights 255 - f and f, each truncated by the add
  }
}

TEST(GfxLine, ModesAndWeights) {
  GFX_MemBitmap b(4, 1, 4);
  const GFX_pixel p = px(200, 100, 0, 50), c = px(100, 100, 100, 0);
  GFX_MemBitmap ref(4, 1, 4);
  fillAll(&b, p);
  GFX_Line(&b, 0, 0, 3, 0, c, 1.0f, 6, false);
  EXPECT_EQ(at(&b, 0, 0), p);
  GFX_Line(&b, 0, 0, 3, 0, c, 0.003f, 1, false);  // ia 0
  EXPECT_EQ(at(&b, 0, 0), p);
  GFX_Line(&b, 0, 0, 3, 0, c, -0.5f, 0, false);  // copy below 0
  EXPECT_EQ(at(&b, 0, 0), p);
  GFX_Line(&b, 0, 0, 3, 0, c, -0.5f, 1, false);  // add with ia -128
  EXPECT_EQ(at(&b, 0, 0), px(150, 50, 0, 50));
  fillAll(&b, p);
  fillAll(&ref, p);
  GFX_Line(&b, 0, 0, 3, 0, c, 0.7f, 0x10001, false);
  GFX_Line(&ref, 0, 0, 3, 0, c, 0.7f, 1, false);
  EXPECT_EQ(at(&b, 2, 0), at(&ref, 2, 0));
  EXPECT_NE(at(&b, 2, 0), p);
  // Non-finite opacity draws nothing.
  GFX_Line(&b, 0, 0, 3, 0, c, NAN, 1, false);
  EXPECT_EQ(at(&b, 2, 0), at(&ref, 2, 0));
}

TEST(GfxLine, HugeCoordinatesAreClippedNotWalked) {
  GFX_MemBitmap b(6, 6, 4);
  fillAll(&b, 0);
  GFX_Line(&b, INT_MIN, 2, INT_MAX, 2, kC, 1.0f, 0, false);
  for (int x = 0; x < 6; ++x) EXPECT_EQ(at(&b, x, 2), kC);
  fillAll(&b, 0);
  GFX_Line(&b, INT_MIN, INT_MIN, INT_MAX, INT_MAX, kC, 0.6f, 1, true);
  const Pts d = drawn(&b);
  EXPECT_GE(d.size(), 6u);
  for (const auto& q : d) EXPECT_LE(std::abs(q.first - q.second), 1);
  GFX_Line(&b, INT_MAX, INT_MIN, INT_MAX - 7, INT_MAX, kC, 1.0f, 0, true);  // wholly right of it
  EXPECT_EQ(drawn(&b), d);
}

TEST(GfxLine, FlippedBitmapCountsPictureRows) {
  FlippedBitmap f(5, 5);
  fillAll(&f, 0);
  GFX_Line(&f, 0, 0, 4, 1, kC, 1.0f, 0, false);
  EXPECT_EQ(f.pic(0, 0), kC);
  EXPECT_EQ(f.pic(4, 1), kC);
  EXPECT_EQ(f.pic(4, 3), 0u);
}

TEST(GfxClipLine, EdgesAreComputedOnTheFarSideAndThenPulledIn) {
  int x1 = -10, y1 = 5, x2 = 20, y2 = 5;
  EXPECT_TRUE(GFX_ClipLine(&x1, &y1, &x2, &y2, 0, 0, 10, 10));
  EXPECT_EQ((std::vector<int>{x1, y1, x2, y2}), (std::vector<int>{0, 5, 9, 5}));
  x1 = -10, y1 = -10, x2 = -1, y2 = 20;
  EXPECT_FALSE(GFX_ClipLine(&x1, &y1, &x2, &y2, 0, 0, 10, 10));
  x1 = 0, y1 = 0, x2 = 20, y2 = 10;
  EXPECT_TRUE(GFX_ClipLine(&x1, &y1, &x2, &y2, 0, 0, 10, 100));
  EXPECT_EQ((std::vector<int>{x1, y1, x2, y2}), (std::vector<int>{0, 0, 9, 5}));
  x1 = -5, y1 = 5, x2 = 25, y2 = 5;
  EXPECT_TRUE(GFX_ClipLine(&x1, &y1, &x2, &y2, 10, 0, 20, 10));
  EXPECT_EQ((std::vector<int>{x1, y1, x2, y2}), (std::vector<int>{10, 5, 19, 5}));
  // An empty rectangle keeps nothing (and must not loop between its edges).
  x1 = 0, y1 = 0, x2 = 5, y2 = 5;
  EXPECT_FALSE(GFX_ClipLine(&x1, &y1, &x2, &y2, 3, 0, 3, 10));
  x1 = INT_MIN, y1 = INT_MIN, x2 = INT_MAX, y2 = INT_MAX;
  EXPECT_TRUE(GFX_ClipLine(&x1, &y1, &x2, &y2, INT_MIN, INT_MIN, INT_MAX, INT_MAX));

  float a = 8.9f, b = 3.0f, c = 8.9f, d = 4.0f;
  EXPECT_TRUE(GFX_ClipFLine(&a, &b, &c, &d, 0, 0, 10, 10));
  a = 9.0f, c = 9.0f;
  EXPECT_FALSE(GFX_ClipFLine(&a, &b, &c, &d, 0, 0, 10, 10));
  a = 2.0f, b = 3.0f, c = 12.0f, d = 3.0f;
  EXPECT_TRUE(GFX_ClipFLine(&a, &b, &c, &d, 0, 0, 10, 10));
  EXPECT_EQ((std::vector<float>{a, b, c, d}), (std::vector<float>{2.0f, 3.0f, 8.0f, 3.0f}));
  a = 0.5f, b = 0.5f, c = 0.5f, d = 0.7f;
  EXPECT_FALSE(GFX_ClipFLine(&a, &b, &c, &d, 0, 0, 1, 10));  // one column keeps nothing
  a = NAN;
  EXPECT_FALSE(GFX_ClipFLine(&a, &b, &c, &d, 0, 0, 10, 10));
}

TEST(GfxFLine, WithoutAntialiasingTruncatesToAnIntegerLine) {
  GFX_MemBitmap b(10, 10, 4), ref(10, 10, 4);
  fillAll(&b, 0);
  fillAll(&ref, 0);
  GFX_FLine(&b, 2.9f, 3.9f, 7.2f, 3.1f, kC, 1.0f, 0, false);
  GFX_Line(&ref, 2, 3, 7, 3, kC, 1.0f, 0, false);
  EXPECT_EQ(drawn(&b), drawn(&ref));
}

TEST(GfxFLine, AntialiasedSharesWeightAlongTheMinorAxis) {
  GFX_MemBitmap b(10, 10, 4);
  fillAll(&b, 0);
  GFX_FLine(&b, 1.0f, 5.0f, 4.0f, 5.0f, kC, 1.0f, 0, true);  // weight 255 stores the colour exactly
  EXPECT_EQ(drawn(&b), (Pts{{1, 5}, {2, 5}, {3, 5}, {4, 5}}));
  EXPECT_EQ(at(&b, 3, 5), kC);
  fillAll(&b, 0);
  GFX_FLine(&b, 0.5f, 0.5f, 0.7f, 0.9f, kC, 1.0f, 0, true);  // crosses no integer row
  GFX_FLine(&b, 3.0f, 3.0f, 3.0f, 3.0f, kC, 1.0f, 0, true);
  GFX_FLine(&b, NAN, 3.0f, 3.0f, 3.0f, kC, 1.0f, 0, true);
  GFX_FLine(&b, 1.0f, 3.0f, INFINITY, 3.0f, kC, 1.0f, 0, false);
  EXPECT_TRUE(drawn(&b).empty());
  // Half way between rows: main and side pixel each get about half.
  GFX_FLine(&b, 1.0f, 2.5f, 6.0f, 2.5f, px(255, 255, 255, 255), 1.0f, 1, true);
  EXPECT_EQ(GFX_GETR(at(&b, 3, 2)), 126u);  // 255 * 127 / 256
  EXPECT_EQ(GFX_GETR(at(&b, 3, 3)), 127u);  // 255 * 128 / 256
  // Enormous ends are cut to the bitmap, not walked.
  fillAll(&b, 0);
  GFX_FLine(&b, -3e38f, 4.0f, 3e38f, 4.0f, kC, 1.0f, 0, true);
  GFX_FLine(&b, -3e38f, 6.0f, 3e38f, 6.0f, kC, 1.0f, 0, false);
  EXPECT_EQ(at(&b, 5, 4), kC);
  EXPECT_EQ(at(&b, 5, 6), kC);
}

TEST(GfxDashedLine, RunsStartAtTheFirstEndAndNeverReachTheSecond) {
  GFX_MemBitmap b(12, 12, 4);
  for (int end : {10, 8}) {
    fillAll(&b, 0);
    GFX_DashedLine(&b, 0, 4, end, 4, 3, 2, kC, 1.0f, 0, false);
    EXPECT_EQ(drawn(&b), (Pts{{0, 4}, {1, 4}, {2, 4}, {5, 4}, {6, 4}, {7, 4}})) << end;
  }
  fillAll(&b, 0);
  GFX_DashedLine(&b, 4, 4, 4, 0, 1, 1, kC, 1.0f, 0, false);
  EXPECT_EQ(drawn(&b), (Pts{{4, 0}, {4, 2}}));
  fillAll(&b, 0);
  GFX_DashedLine(&b, 4, 0, 4, 4, 1, 1, kC, 0.6f, 0, false);  // general path, same pixels
  EXPECT_EQ(drawn(&b), (Pts{{4, 0}, {4, 2}}));
  fillAll(&b, 0);
  GFX_DashedLine(&b, 4, 2, 4, 2, 1, 1, kC, 1.0f, 0, false);
  GFX_DashedLine(&b, 0, 0, 5, 5, 2, 2, kC, 1.0f, 0, false);
  GFX_DashedLine(&b, 0, 0, 9, 0, 0, 5, kC, 1.0f, 0, false);   // run below 1
  GFX_DashedLine(&b, 0, 0, 9, 0, 3, -3, kC, 1.0f, 0, false);  // would never advance
  EXPECT_TRUE(drawn(&b).empty());
  GFX_DashedLine(&b, 0, 0, 9, 0, 3, -1, kC, 1.0f, 0, false);  // overlapping runs every 2 pixels
  EXPECT_EQ(drawn(&b).size(), 9u);
  fillAll(&b, 0);
  GFX_DashedLine(&b, INT_MIN, 1, INT_MAX, 1, INT_MAX, INT_MAX, kC, 1.0f, 0, false);
  EXPECT_EQ(drawn(&b).size(), 11u);  // clipped first: one run up to the last column
}
