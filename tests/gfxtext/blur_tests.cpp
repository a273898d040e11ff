#include <gtest/gtest.h>

#include <random>

#include "GFX_Bitmap.h"
#include "GFX_Blur.h"

namespace {

void fillRandom(GFX_MemBitmap* bm, unsigned seed) {
  std::mt19937 rng(seed);
  for (int y = 0; y < bm->getHeight(); ++y)
    for (int x = 0; x < bm->getWidth(); ++x) bm->getBits()[y * bm->getRowSpan() + x] = rng();
}

GFX_pixel& at(GFX_MemBitmap& bm, int x, int y) { return bm.getBits()[y * bm.getRowSpan() + x]; }

void fillAll(GFX_MemBitmap& bm, GFX_pixel v) {
  for (int y = 0; y < bm.getHeight(); ++y)
    for (int x = 0; x < bm.getWidth(); ++x) at(bm, x, y) = v;
}

}  // namespace

TEST(Blur, UniformAreaTruncatesPerKernelPosition) {
  GFX_MemBitmap src(5, 4, 4), dst(5, 4, 4);
  fillAll(src, 0xffffffff);
  fillAll(dst, 0);
  GFX_Blur(&dst, &src, 0, 0, 0, 0, 5, 4);
  EXPECT_EQ(at(dst, 2, 1), 0xfbfbfbfbu);  // 127 + 4 * 31 = 251
  EXPECT_EQ(at(dst, 0, 1), 0xfcfcfcfcu);  // edge column: 127 + 63 + 31 + 31 = 252
  EXPECT_EQ(at(dst, 2, 0), 0xfcfcfcfcu);  // edge row
  EXPECT_EQ(at(dst, 0, 0), 0xfdfdfdfdu);  // corner: 127 + 63 + 63 = 253
  fillAll(src, 0x08080808);
  GFX_Blur(&dst, &src, 0, 0, 0, 0, 5, 4);
  EXPECT_EQ(at(dst, 2, 1), 0x08080808u);  // 4 + 4 * 1
}

TEST(Blur, SingleWhitePixelSpreadsToItsFourNeighbours) {
  GFX_MemBitmap src(5, 5, 4), dst(5, 5, 4);
  fillAll(src, 0);
  fillAll(dst, 0);
  at(src, 2, 2) = 0xffffffff;
  GFX_Blur(&dst, &src, 0, 0, 0, 0, 5, 5);
  EXPECT_EQ(at(dst, 2, 2), 0x7f7f7f7fu);
  EXPECT_EQ(at(dst, 1, 2), 0x1f1f1f1fu);
  EXPECT_EQ(at(dst, 3, 2), 0x1f1f1f1fu);
  EXPECT_EQ(at(dst, 2, 1), 0x1f1f1f1fu);
  EXPECT_EQ(at(dst, 2, 3), 0x1f1f1f1fu);
  EXPECT_EQ(at(dst, 1, 1), 0u);
}

TEST(Blur, TwoByTwoIsAllCornersAndThinRectanglesDrawNothing) {
  GFX_MemBitmap src(2, 2, 4), dst(4, 4, 4);
  at(src, 0, 0) = 0x80808080;
  at(src, 1, 0) = 0x40404040;
  at(src, 0, 1) = 0x20202020;
  at(src, 1, 1) = 0;
  fillAll(dst, 0x11111111);
  GFX_Blur(&dst, &src, 1, 1, 0, 0, 2, 2);
  EXPECT_EQ(at(dst, 1, 1), 0x40404040u + 0x08080808u + 0x10101010u);  // 128/2 + 32/4 + 64/4
  EXPECT_EQ(at(dst, 0, 0), 0x11111111u);
  GFX_MemBitmap wide(8, 8, 4);
  fillAll(wide, 0x11111111);
  GFX_Blur(&dst, &wide, 0, 0, 0, 0, 1, 8);
  GFX_Blur(&dst, &wide, 0, 0, 0, 0, 8, 1);
  GFX_Blur(&dst, &wide, 0, 0, 7, 0, 5, 5);  // clipped to one column
  EXPECT_EQ(at(dst, 0, 0), 0x11111111u);
}

TEST(Blur, InPlaceMatchesASeparateDestination) {
  for (int w : {7, 1500}) {
    GFX_MemBitmap a(w, 9, 4), b(w, 9, 4), ref(w, 9, 4);
    fillRandom(&a, 1);
    fillRandom(&b, 1);
    fillRandom(&ref, 99);
    GFX_Blur(&ref, &b, 1, 2, 1, 2, w - 2, 6);
    GFX_Blur(&a, &a, 1, 2, 1, 2, w - 2, 6);
    for (int y = 2; y < 8; ++y)
      for (int x = 1; x < w - 1; ++x) ASSERT_EQ(at(a, x, y), at(ref, x, y)) << w << ":" << x << "," << y;
  }
}

TEST(Blur, InPlaceAtAnotherPositionReadsUnblurredSource) {
  // Destination one row below and one column right of the source: writing row i overwrites
  // source row i + 1 before it is read, unless the source is read from a copy.
  GFX_MemBitmap a(12, 12, 4), ref(12, 12, 4), orig(12, 12, 4);
  fillRandom(&a, 7);
  fillRandom(&orig, 7);
  fillRandom(&ref, 7);
  GFX_Blur(&ref, &orig, 3, 2, 2, 1, 8, 8);
  GFX_Blur(&a, &a, 3, 2, 2, 1, 8, 8);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) ASSERT_EQ(at(a, x, y), at(ref, x, y)) << x << "," << y;
  // And upward/left, where the writes run ahead of the reads the other way.
  fillRandom(&a, 8);
  fillRandom(&orig, 8);
  fillRandom(&ref, 8);
  GFX_Blur(&ref, &orig, 0, 0, 2, 3, 8, 8);
  GFX_Blur(&a, &a, 0, 0, 2, 3, 8, 8);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) ASSERT_EQ(at(a, x, y), at(ref, x, y)) << x << "," << y;
}

TEST(Blur, ClipsNegativeDestinationIntoTheSource) {
  GFX_MemBitmap src(6, 6, 4), a(6, 6, 4), b(6, 6, 4);
  fillRandom(&src, 3);
  fillAll(a, 0);
  fillAll(b, 0);
  GFX_Blur(&a, &src, -2, -1, 0, 0, 6, 6);  // the rectangle starts at source (2, 1)
  GFX_Blur(&b, &src, 0, 0, 2, 1, 4, 5);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) ASSERT_EQ(at(a, x, y), at(b, x, y));
}
