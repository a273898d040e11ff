// Bezier curves: piece counts, the column cut, fills toward a row or column.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "../gfx/gfx_test_util.h"
#include "GFX_Bezier.h"
#include "GFX_FloatLine.h"

namespace {
const GFX_pixel kC = GFX_RGBA(200, 100, 50, 255);

bool same(GFX_IBitmap* a, GFX_IBitmap* b) {
  for (int y = 0; y < a->getHeight(); ++y)
    for (int x = 0; x < a->getWidth(); ++x)
      if (at(a, x, y) != at(b, x, y)) return false;
  return true;
}
int count(GFX_IBitmap* b) {
  int n = 0;
  for (int y = 0; y < b->getHeight(); ++y)
    for (int x = 0; x < b->getWidth(); ++x) n += at(b, x, y) != 0;
  return n;
}
}  // namespace

TEST(GfxQBezier, PieceCountFollowsTheControlPolygon) {
  GFX_MemBitmap a(100, 20, 4), b(100, 20, 4);
  fillAll(&a, 0);
  fillAll(&b, 0);
  GFX_DrawQBezier(&a, 10, 10, 20, 0, 30, 10, kC, 1.0f, 0, true, 0.0f);
  // (int)(2 * sqrt(200)) = 28 pieces, t accumulated.
  float px0 = 10, py0 = 10;
  double t = 0;
  for (int i = 1; i < 28; ++i) {
    t += 1.0 / 28;
    const double u = 1 - t;
    const float qx = static_cast<float>(u * u * 10 + 2 * u * t * 20 + t * t * 30);
    const float qy = static_cast<float>(u * u * 10 + 2 * u * t * 0 + t * t * 10);
    GFX_FLine(&b, px0, py0, qx, qy, kC, 1.0f, 0, true);
    px0 = qx, py0 = qy;
  }
  GFX_FLine(&b, px0, py0, 30, 10, kC, 1.0f, 0, true);
  EXPECT_TRUE(same(&a, &b));
  fillAll(&b, 0);
  GFX_DrawQBezier(&b, 30, 10, 20, 0, 10, 10, kC, 1.0f, 0, true, 0.0f);  // right to left
  EXPECT_TRUE(same(&a, &b));
  for (float tol : {-5.0f, 1.0f}) {
    fillAll(&b, 0);
    GFX_DrawQBezier(&b, 10, 10, 20, 0, 30, 10, kC, 1.0f, 0, true, tol);
    EXPECT_TRUE(same(&a, &b)) << tol;
  }
}

TEST(GfxQBezier, CutAtTheLeftEdgeStartsOnTheCurve) {
  GFX_MemBitmap a(100, 40, 4);
  fillAll(&a, 0);
  GFX_DrawQBezier(&a, -50, 10, 0, 30, 50, 10, kC, 1.0f, 0, false, 1.0f);
  EXPECT_EQ(at(&a, 0, 20), kC);  // y at x = 0 is 20
  double t = -1;
  EXPECT_FLOAT_EQ(GFX_Bezier_GetY(-50, 0, 50, 10, 30, 10, 0, &t), 20.0f);
  EXPECT_DOUBLE_EQ(t, 0.5);
  // Control point midway in x: t is linear in x, y still follows the curve.
  EXPECT_FLOAT_EQ(GFX_Bezier_GetY(0, 5, 10, 0, 1, 8, 2.5f, &t), 0.875f);
  EXPECT_DOUBLE_EQ(t, 0.25);
  // A control point far outside the ends' span: a value on the curve, never NaN.
  EXPECT_TRUE(std::isfinite(GFX_Bezier_GetY(0, -40, 10, 0, 5, 8, 9.0f, &t)));
  EXPECT_TRUE(t >= 0 && t <= 1);
}

TEST(GfxCBezier, ShortCurveIsOneLineAndOffBitmapCurvesDrawNothing) {
  GFX_MemBitmap a(20, 20, 4), b(20, 20, 4);
  fillAll(&a, 0);
  fillAll(&b, 0);
  GFX_DrawCBezier(&a, 10, 10, 10.6f, 10.8f, 11.4f, 10.8f, 12, 10, kC, 1.0f, 0, true, 1.0f);  // 2.8 long: n = 2
  GFX_FLine(&b, 10, 10, 12, 10, kC, 1.0f, 0, true);
  EXPECT_TRUE(same(&a, &b));
  fillAll(&a, 0);
  GFX_DrawCBezier(&a, -40, 5, -30, 0, -20, 9, -5, 5, kC, 1.0f, 0, true, 1.0f);
  GFX_DrawCBezier(&a, 40, 5, 50, 0, 60, 9, 75, 5, kC, 1.0f, 0, false, 1.0f);
  GFX_DrawCBezier(&a, 1, 5, 2, NAN, 3, 9, 4, 5, kC, 1.0f, 0, false, 1.0f);
  GFX_FillCBezier(&a, -40, 5, -30, 0, -20, 9, -5, 5, 10, kC, 1.0f, 0, 1.0f);
  EXPECT_EQ(count(&a), 0);
  // An absurd length is capped, not stepped a billion times.
  GFX_DrawCBezier(&a, 0, -3e38f, 5, 3e38f, 10, -3e38f, 15, 3e38f, kC, 1.0f, 0, false, 1e-30f);
  GFX_DrawCBezier(&a, 0, 5, 5, 5, 10, 5, 19, 5, kC, 1.0f, 0, false, 1.0f);
  EXPECT_GT(count(&a), 10);
  float nextx = 0, slope = -1;
  const float y = GFX_CBezier_GetY(0, 10.0f / 3, 20.0f / 3, 10, 0, 5, 10, 15, 5.0f, &nextx, &slope, nullptr, nullptr);
  EXPECT_NEAR(y, 7.5f, 1e-3);
  EXPECT_NEAR(slope, 1.5f, 1e-3);
}

TEST(GfxCBezier, FillReachesPastTheRowOnTheCurvesSide) {
  GFX_MemBitmap a(20, 20, 4);
  fillAll(&a, 0);
  GFX_FillCBezier(&a, 2, 3, 5, 3, 9, 3, 12, 3, 8, kC, 1.0f, 0, 1.0f);  // above row 8: rows 3 .. 9
  for (int x = 2; x <= 11; ++x)
    for (int y = 0; y < 20; ++y) ASSERT_EQ(at(&a, x, y) != 0, y >= 3 && y <= 9) << x << "," << y;
  EXPECT_EQ(count(&a), 10 * 7);
  fillAll(&a, 0);
  GFX_FillCBezier(&a, 2, 12, 5, 12, 9, 12, 12, 12, 8, kC, 1.0f, 0, 1.0f);  // below: rows 8 .. 12
  for (int y = 0; y < 20; ++y) EXPECT_EQ(at(&a, 6, y) != 0, y >= 8 && y <= 12) << y;
  // A steep curve: one-column pieces reach the same rows as wide ones (no gap at row yfill + 1).
  fillAll(&a, 0);
  GFX_FillCBezier(&a, 2, 0, 2.5f, 2, 3, 4, 3.5f, 6, 12, kC, 1.0f, 0, 1.0f);
  EXPECT_NE(at(&a, 2, 13), 0u);
  EXPECT_NE(at(&a, 3, 13), 0u);
  EXPECT_EQ(at(&a, 2, 14), 0u);
}

TEST(GfxCBezier, ColumnFillCoversEachRowOnce) {
  GFX_MemBitmap a(20, 20, 4);
  fillAll(&a, 0);
  // Add with 1 in red counts blends per pixel: pieces must not overlap.
  GFX_FillCBezierX(&a, 3, 2, 3, 6, 4, 10, 4, 14, 12, px(1, 0, 0, 0), 1.0f, 1, 1.0f);
  int maxCount = 0, rows = 0;
  for (int y = 0; y < 20; ++y) {
    bool any = false;
    for (int x = 0; x < 20; ++x) {
      maxCount = std::max(maxCount, static_cast<int>(GFX_GETR(at(&a, x, y))));
      any = any || at(&a, x, y) != 0;
    }
    rows += any;
  }
  EXPECT_EQ(maxCount, 1);
  EXPECT_GE(rows, 10);
  EXPECT_NE(at(&a, 8, 6), 0u);  // between the curve (x 3..4) and column 12
}
