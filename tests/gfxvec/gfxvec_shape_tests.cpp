// Trapezoids, polygons, rectangles, circles, arcs and rounded rectangles.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <set>
#include <utility>
#include <vector>

#include "../gfx/gfx_test_util.h"
#include "GFX_Circle.h"
#include "GFX_Glyph.h"
#include "GFX_Line.h"
#include "GFX_Shapes.h"

namespace {
const GFX_pixel kC = GFX_RGBA(200, 100, 50, 255);
const GFX_pixel kWhite = GFX_RGBA(255, 255, 255, 255);
const float kPi = 3.1415927f;
typedef std::set<std::pair<int, int>> Pts;

Pts drawn(GFX_IBitmap* b) {
  Pts s;
  for (int y = 0; y < b->getHeight(); ++y)
    for (int x = 0; x < b->getWidth(); ++x)
      if (at(b, x, y)) s.insert({x, y});
  return s;
}
std::vector<int> rowFirstColumns(GFX_IBitmap* b, int rows) {
  std::vector<int> v;
  for (int y = 0; y < rows; ++y) {
    int first = -1;
    for (int x = 0; x < b->getWidth() && first < 0; ++x)
      if (at(b, x, y)) first = x;
    v.push_back(first);
  }
  return v;
}
}  // namespace

TEST(GfxTrapezoid, EdgesStepInFixedPointTowardTheirTopX) {
  GFX_MemBitmap b(20, 20, 4);
  fillAll(&b, 0);
  GFX_FillTrapezoid(&b, 0, 9, 0, 0, 9, 9, kC, 1.0f, 0);
  EXPECT_EQ(drawn(&b).size(), 100u);
  fillAll(&b, 0);
  GFX_FillTrapezoid(&b, 0, 0, 0, 3, 3, 3, kC, 1.0f, 0);
  EXPECT_EQ(drawn(&b), (Pts{{0, 0}, {1, 1}, {2, 2}, {3, 3}}));
  fillAll(&b, 0);
  GFX_FillTrapezoid(&b, 0, 0, 0, 2, 2, 6, kC, 1.0f, 0);  // step 21845: x 2 is never reached
  EXPECT_EQ(rowFirstColumns(&b, 7), (std::vector<int>{0, 0, 0, 0, 1, 1, 1}));
  EXPECT_EQ(drawn(&b).size(), 7u);
  fillAll(&b, 0);
  GFX_FillTrapezoid(&b, 7, 2, 4, 100, 200, 4, kC, 1.0f, 0);  // one row: the second pair is unused
  EXPECT_EQ(drawn(&b), (Pts{{2, 4}, {3, 4}, {4, 4}, {5, 4}, {6, 4}, {7, 4}}));
  // 100 rows above: row 0 at the unclipped edge's x there, trunc(100 * 6553 / 65536) = 9.
  fillAll(&b, 0);
  GFX_FillTrapezoid(&b, 0, 30, -100, 11, 30, 10, kC, 1.0f, 0);
  EXPECT_EQ(rowFirstColumns(&b, 1)[0], 9);
  // Enormous coordinates: clipped arithmetic, whole bitmap filled.
  fillAll(&b, 0);
  GFX_FillTrapezoid(&b, INT_MIN, INT_MAX, INT_MIN, INT_MIN, INT_MAX, INT_MAX, kC, 1.0f, 0);
  EXPECT_EQ(drawn(&b).size(), 400u);
  fillAll(&b, 0);
  GFX_FillTrapezoid(&b, INT_MIN, INT_MIN, INT_MIN, INT_MAX, INT_MAX, INT_MAX, kC, 1.0f, 0);
  EXPECT_LE(drawn(&b).size(), 40u);  // a steep sliver, clamped to 2^29 per row
}

TEST(GfxTrapezoid, CopyWeightsPickTheWordFills) {
  GFX_MemBitmap b(2, 2, 4);
  const GFX_pixel p = px(100, 40, 3, 9);
  fillAll(&b, p);
  GFX_FillTrapezoid(&b, 0, 1, 0, 0, 1, 1, kC, 0.75f, 0);
  EXPECT_EQ(at(&b, 1, 1), GFX_ThreeQuarterMix(p, kC));
  fillAll(&b, p);
  GFX_FillTrapezoid(&b, 0, 1, 0, 0, 1, 1, kC, 0.7f, 0);  // copy combiner at 179, colour alpha as source
  GFX_pixel e = p;
  _GFX_CombinePixelsCopyNoClamp::doPix(reinterpret_cast<unsigned char*>(&e), 200, 100, 50, 255, 179);
  EXPECT_EQ(at(&b, 1, 1), e);
  fillAll(&b, p);
  GFX_FillTrapezoid(&b, 0, 1, 0, 0, 1, 1, kC, -0.7f, 0);
  GFX_FillTrapezoid(&b, 0, 1, 0, 0, 1, 1, kC, 1.0f, 6);
  EXPECT_EQ(at(&b, 1, 1), p);
}

TEST(GfxPolygon, PointOrderDoesNotMatter) {
  GFX_MemBitmap a(16, 16, 4), b(16, 16, 4);
  fillAll(&a, 0);
  fillAll(&b, 0);
  GFX_FillTriangle(&a, 0, 0, 10, 0, 0, 10, kC, 1.0f, 0);
  GFX_FillTriangle(&b, 0, 10, 0, 0, 10, 0, kC, 1.0f, 0);
  EXPECT_EQ(drawn(&a), drawn(&b));
  EXPECT_GT(drawn(&a).size(), 50u);
  fillAll(&a, 0);
  const int xs[] = {8, 3, 5}, ys[] = {5, 5, 5};
  GFX_FillConvexPolygon(&a, xs, ys, 3, kC, 1.0f, 0);
  EXPECT_EQ(drawn(&a), (Pts{{3, 5}, {4, 5}, {5, 5}, {6, 5}, {7, 5}, {8, 5}}));
}

TEST(GfxPolygon, ManyPointsFillLikeTheirCorners) {
  GFX_MemBitmap a(48, 32, 4), b(48, 32, 4);
  std::vector<int> xs, ys;
  for (int i = 0; i < 150; ++i) {  // 600 points on the edges of the rectangle 5..35 x 3..25
    xs.push_back(5 + i * 30 / 149), ys.push_back(3);
    xs.push_back(5 + i * 30 / 149), ys.push_back(25);
    xs.push_back(5), ys.push_back(3 + i * 22 / 149);
    xs.push_back(35), ys.push_back(3 + i * 22 / 149);
  }
  fillAll(&a, 0);
  fillAll(&b, 0);
  GFX_FillConvexPolygon(&a, xs.data(), ys.data(), static_cast<int>(xs.size()), kC, 1.0f, 0);
  const int cx[] = {5, 35, 35, 5}, cy[] = {3, 3, 25, 25};
  GFX_FillConvexPolygon(&b, cx, cy, 4, kC, 1.0f, 0);
  EXPECT_EQ(drawn(&a), drawn(&b));
  EXPECT_EQ(drawn(&b).size(), 31u * 23u);
  // Past the limit the polygon is refused.
  std::vector<int> many(GFX_MAX_POLYGON_POINTS + 1, 1);
  fillAll(&a, 0);
  GFX_FillConvexPolygon(&a, many.data(), many.data(), static_cast<int>(many.size()), kC, 1.0f, 0);
  EXPECT_TRUE(drawn(&a).empty());
}

TEST(GfxPolygon, FlippedBitmapMirrorsThePoints) {
  FlippedBitmap f(8, 8);
  fillAll(&f, 0);
  GFX_FillTriangle(&f, 0, 0, 3, 0, 0, 3, kC, 1.0f, 0);
  EXPECT_EQ(f.pic(0, 0), kC);
  EXPECT_EQ(f.pic(0, 7), 0u);
}

TEST(GfxRect, OutlineAndBorderedRectangle) {
  GFX_MemBitmap b(8, 6, 4);
  fillAll(&b, 0);
  GFX_DrawRect(&b, 0, 0, 4, 2, kC, 1.0f, 0);
  Pts want;
  for (int x = 0; x <= 4; ++x) want.insert({x, 0}), want.insert({x, 2});
  want.insert({0, 1}), want.insert({4, 1});
  EXPECT_EQ(drawn(&b), want);
  fillAll(&b, 0);
  GFX_BorderedRect(&b, 1, 1, 4, 3, px(1, 2, 3, 4), kC, 1.0f, 0);
  EXPECT_EQ(at(&b, 2, 2), px(1, 2, 3, 4));
  EXPECT_EQ(at(&b, 5, 4), kC);
  EXPECT_EQ(at(&b, 6, 4), 0u);
  GFX_DrawRect(&b, INT_MAX, INT_MAX, INT_MAX, INT_MAX, kC, 1.0f, 0);  // far corner wraps in 32 bits
  GFX_BorderedRect(&b, INT_MIN, INT_MIN, INT_MAX, INT_MAX, kC, kC, 1.0f, 0);
}

TEST(GfxCircle, SmallRadiiComeFromMasks) {
  GFX_MemBitmap b(12, 12, 4);
  fillAll(&b, 0);
  GFX_Circle(&b, 5.0f, 5.0f, 2.0f, kWhite, 1.0f, 0, true);  // mask at (3, 3), corner 15, centre 0
  EXPECT_EQ(at(&b, 3, 3), px(15, 15, 15, 15));
  EXPECT_EQ(at(&b, 5, 3), kWhite);
  EXPECT_EQ(at(&b, 5, 5), 0u);
  fillAll(&b, 0);
  GFX_Circle(&b, 5.0f, 5.0f, 2.01f, kWhite, 1.0f, 0, true);
  EXPECT_NE(at(&b, 3, 3), px(15, 15, 15, 15));
  fillAll(&b, 0);
  GFX_Circle(&b, 5.0f, 5.0f, 1.2f, kC, 1.0f, 0, false);  // ir 1: the four axis pixels only
  EXPECT_EQ(drawn(&b), (Pts{{5, 4}, {6, 5}, {5, 6}, {4, 5}}));
  fillAll(&b, 0);
  GFX_FillCircle(&b, 5.0f, 5.0f, 1.2f, kC, 1.0f, 0, false);
  EXPECT_EQ(drawn(&b), (Pts{{5, 4}, {4, 5}, {5, 5}, {6, 5}, {5, 6}}));
}

TEST(GfxCircle, WeightPicksTheCombiner) {
  GFX_MemBitmap b(20, 20, 4);
  const GFX_pixel p = px(1, 255, 30, 7), c = px(1, 3, 200, 255);
  fillAll(&b, p);
  GFX_Circle(&b, 10.0f, 10.0f, 6.0f, c, 1.0f, 0, false);
  EXPECT_EQ(at(&b, 10, 4), c);  // clobber
  fillAll(&b, p);
  GFX_Circle(&b, 10.0f, 10.0f, 6.0f, c, 0.5f, 0, false);
  EXPECT_EQ(at(&b, 10, 4), px(1, 129, 115, 131));  // half-mix (d + s) >> 1
  fillAll(&b, p);
  GFX_Circle(&b, 10.0f, 10.0f, 6.0f, c, -0.5f, 0, false);
  GFX_Circle(&b, 10.0f, 10.0f, 6.0f, c, 1.0f, 0x106, false);
  EXPECT_TRUE(drawn(&b).size() == 400u && at(&b, 10, 4) == p);
  GFX_Circle(&b, 10.0f, 10.0f, 6.0f, px(100, 100, 100, 0), -0.5f, 1, false);  // add, weight -128
  EXPECT_EQ(GFX_GETG(at(&b, 10, 4)), 205u);
  GFX_MemBitmap r(20, 20, 4);
  fillAll(&b, p);
  fillAll(&r, p);
  GFX_Circle(&b, 10.0f, 10.0f, 6.0f, c, 0.8f, 0x10005, true);
  GFX_Circle(&r, 10.0f, 10.0f, 6.0f, c, 0.8f, 5, true);
  EXPECT_EQ(drawn(&b), drawn(&r));
  EXPECT_EQ(at(&b, 10, 4), at(&r, 10, 4));
}

TEST(GfxCircle, FilledAntialiasedEdgesCarryTheFraction) {
  GFX_MemBitmap b(24, 24, 4);
  fillAll(&b, 0);
  GFX_FillCircle(&b, 10.7f, 10.0f, 5.5f, kWhite, 1.0f, 1, true);
  for (int x = 6; x <= 16; ++x) EXPECT_EQ(at(&b, x, 10), kWhite) << x;
  EXPECT_EQ(GFX_GETR(at(&b, 5, 10)), 127u);  // weight 128 in add: 255 * 128 / 256
  EXPECT_EQ(GFX_GETR(at(&b, 17, 10)), 127u);
  EXPECT_EQ(at(&b, 4, 10), 0u);
}

TEST(GfxCircle, HugeOrInvalidInputDrawsNothingOrOnlyTheVisiblePart) {
  GFX_MemBitmap b(16, 16, 4);
  fillAll(&b, 0);
  GFX_Circle(&b, NAN, 5.0f, 3.3f, kC, 1.0f, 0, false);
  GFX_Circle(&b, 5.0f, 5.0f, -3.3f, kC, 1.0f, 0, false);
  GFX_FillCircle(&b, 5.0f, 5.0f, 1e30f, kC, 1.0f, 0, true);
  GFX_Circle(&b, 8.0f, 8.0f, 4e6f, kC, 1.0f, 0, true);  // the bitmap lies inside the ring
  GFX_Arc(&b, 5.0f, 5.0f, 4.5f, 0.0f, INFINITY, kC, 1.0f, 0, false);
  EXPECT_TRUE(drawn(&b).empty());
  GFX_Arc(&b, 5.0f, 5.0f, 4.5f, -1e30f, 1e30f, kC, 1.0f, 0, false);  // more than a turn: the circle
  EXPECT_FALSE(drawn(&b).empty());
  fillAll(&b, 0);
  GFX_Circle(&b, 2e6f, 8.0f, 2e6f - 8.0f, kC, 1.0f, 0, false);  // left edge passes column 8
  const Pts d = drawn(&b);
  EXPECT_FALSE(d.empty());
  for (const auto& q : d) EXPECT_NEAR(q.first, 8, 1);
  // A disc around the whole bitmap covers it once at full weight, as the small one covers its box.
  GFX_MemBitmap big(16, 16, 4), small(16, 16, 4);
  for (bool aa : {false, true}) {
    fillAll(&big, px(10, 20, 30, 40));
    fillAll(&small, px(10, 20, 30, 40));
    GFX_FillCircle(&big, 8.0f, 8.0f, 3e6f, px(200, 0, 0, 0), 0.7f, 1, aa);
    GFX_FillCircle(&small, 8.0f, 8.0f, 14.0f, px(200, 0, 0, 0), 0.7f, 1, aa);  // walked, not enclosed
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) ASSERT_EQ(at(&big, x, y), at(&small, x, y)) << aa << " " << x << "," << y;
  }
}

TEST(GfxArc, AngleOrderFullTurnsAndEmptyRanges) {
  GFX_MemBitmap a(24, 24, 4), b(24, 24, 4);
  fillAll(&a, 0);
  fillAll(&b, 0);
  GFX_Arc(&a, 11.0f, 11.0f, 7.3f, kPi, 0.0f, kC, 1.0f, 0, true);
  GFX_Arc(&b, 11.0f, 11.0f, 7.3f, 0.0f, kPi, kC, 1.0f, 0, true);
  EXPECT_EQ(drawn(&a), drawn(&b));
  for (const auto& q : drawn(&a)) EXPECT_GE(q.first, 11);  // the right half
  fillAll(&a, 0);
  fillAll(&b, 0);
  GFX_Arc(&a, 11.0f, 11.0f, 7.3f, 0.0f, 2 * kPi, kC, 1.0f, 0, false);
  GFX_Circle(&b, 11.0f, 11.0f, 7.3f, kC, 1.0f, 0, false);
  EXPECT_EQ(drawn(&a), drawn(&b));
  fillAll(&a, 0);
  GFX_Arc(&a, 11.0f, 11.0f, 7.3f, 0.5f, 0.5f, kC, 1.0f, 0, false);
  EXPECT_TRUE(drawn(&a).empty());
}

TEST(GfxArc, QuarterBoundariesArePlottedOnce) {
  GFX_MemBitmap b(24, 24, 4);
  fillAll(&b, 0);
  // Add mode with 1 in red counts the plots of each pixel.
  GFX_Arc(&b, 11.0f, 11.0f, 7.0f, 0.0f, 2 * kPi - 0.001f, px(1, 0, 0, 0), 1.0f, 1, false);
  EXPECT_EQ(GFX_GETR(at(&b, 11, 4)), 1u);
  EXPECT_EQ(GFX_GETR(at(&b, 18, 11)), 1u);
  EXPECT_EQ(GFX_GETR(at(&b, 11, 18)), 1u);
  EXPECT_EQ(GFX_GETR(at(&b, 4, 11)), 1u);
}

TEST(GfxRoundRect, CornerRadiusIsFittedToTheRectangle) {
  GFX_MemBitmap a(40, 30, 4), b(40, 30, 4);
  fillAll(&a, 0);
  fillAll(&b, 0);
  GFX_RoundRect(&a, 2.0f, 3.0f, 30.0f, 12.0f, 10, kC, 1.0f, 0, false);
  GFX_RoundRect(&b, 2.0f, 3.0f, 30.0f, 12.0f, 6, kC, 1.0f, 0, false);
  const Pts d = drawn(&a);
  EXPECT_EQ(d, drawn(&b));
  int minx = 99, maxx = -1, miny = 99, maxy = -1;
  for (const auto& q : d) {
    minx = std::min(minx, q.first), maxx = std::max(maxx, q.first);
    miny = std::min(miny, q.second), maxy = std::max(maxy, q.second);
  }
  EXPECT_EQ((std::vector<int>{minx, miny, maxx, maxy}), (std::vector<int>{2, 3, 32, 15}));
  EXPECT_EQ(at(&a, 2, 3), 0u);  // the corner is rounded off
  fillAll(&a, 0);
  fillAll(&b, 0);
  GFX_RoundRect(&a, 2.0f, 3.0f, 30.0f, 12.0f, 1, kC, 1.0f, 0, true);
  GFX_DrawRect(&b, 2, 3, 30, 12, kC, 1.0f, 0);
  EXPECT_EQ(drawn(&a), drawn(&b));
  GFX_RoundRect(&a, -3e38f, -3e38f, 3e38f, 3e38f, 1 << 30, kC, 1.0f, 0, true);
}
