// Fills, rectangle operations, single pixels, halving and comparison.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "GFX_Blit.h"
#include "GFX_Fill.h"
#include "gfx_test_util.h"

TEST(GfxFillRect, ClipsAtEveryEdge) {
  GFX_MemBitmap b(8, 6, 4);
  fillAll(&b, 0);
  const GFX_pixel c = px(9, 8, 7, 6);
  GFX_FillRect(&b, -5, -2, 10, 4, c, 1.0f, 0);  // columns 0-4, rows 0-1
  GFX_FillRect(&b, 6, 4, 100, 100, c, 1.0f, 0);  // columns 6-7, rows 4-5
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool in = (x <= 4 && y <= 1) || (x >= 6 && y >= 4);
      ASSERT_EQ(at(&b, x, y), in ? c : 0u) << x << "," << y;
    }
  GFX_FillRect(&b, INT_MAX - 1, 0, INT_MAX, 5, c, 1.0f, 0);
  GFX_FillRect(&b, INT_MIN, INT_MIN, 5, 5, c, 1.0f, 0);
  GFX_FillRect(&b, 2, 3, INT_MAX, INT_MAX, px(1, 1, 1, 1), 1.0f, 0);  // x + w wraps in 32 bits
  EXPECT_EQ(at(&b, 7, 5), px(1, 1, 1, 1));
  EXPECT_EQ(at(&b, 1, 3), 0u);
}

TEST(GfxFillRect, CopyWeightsUseTheWholeWordMixes) {
  GFX_MemBitmap b(1, 1, 4);
  put(&b, 0, 0, px(255, 1, 200, 255));
  GFX_FillRect(&b, 0, 0, 1, 1, px(1, 255, 100, 1), 0.5f, 0);  // bytes 255 and 1: 127 + 0
  EXPECT_EQ(at(&b, 0, 0), px(127, 127, 150, 127));
  put(&b, 0, 0, px(100, 0, 0, 0));
  GFX_FillRect(&b, 0, 0, 1, 1, px(200, 255, 0, 77), 1.0f, 0);
  EXPECT_EQ(at(&b, 0, 0), px(200, 255, 0, 77));  // alpha byte stored as is
  put(&b, 0, 0, px(100, 40, 0, 0));
  GFX_FillRect(&b, 0, 0, 1, 1, px(200, 255, 0, 0), 0.25f, 0);
  EXPECT_EQ(at(&b, 0, 0), px(25 + 50 + 50, 10 + 20 + 63, 0, 0));
  put(&b, 0, 0, px(100, 40, 0, 0));
  GFX_FillRect(&b, 0, 0, 1, 1, px(200, 255, 0, 0), 0.75f, 0);
  EXPECT_EQ(at(&b, 0, 0), px(25 + 100 + 50, 10 + 127 + 63, 0, 0));
  // 0.6: the copy combiner at weight 153, with 153 as the source alpha.
  put(&b, 0, 0, px(100, 40, 0, 0));
  GFX_FillRect(&b, 0, 0, 1, 1, px(200, 255, 0, 0), 0.6f, 0);
  EXPECT_EQ(at(&b, 0, 0), px(200 + (-100 * 103) / 256, 255 + (-215 * 103) / 256, 0, 153 + (-153 * 103) / 256));
}

TEST(GfxFillRect, ModesAndSourceAlphaFlag) {
  GFX_MemBitmap b(1, 1, 4);
  put(&b, 0, 0, px(200, 100, 0, 50));
  GFX_FillRect(&b, 0, 0, 1, 1, px(100, 100, 100, 0), 1.0f, 1);  // add: alpha channel gets ia
  EXPECT_EQ(at(&b, 0, 0), px(255, 200, 100, 255));
  put(&b, 0, 0, px(200, 100, 0, 50));
  GFX_FillRect(&b, 0, 0, 1, 1, px(100, 100, 100, 0), -0.5f, 1);  // add runs with ia -128
  EXPECT_EQ(at(&b, 0, 0), px(150, 50, 0, 50 + (-128 * -128) / 256));  // alpha: s = ia too
  put(&b, 0, 0, px(100, 127, 0, 50));
  GFX_FillRect(&b, 0, 0, 1, 1, px(128, 128, 128, 0), 1.0f, 2);  // dodge: k = 128 (alpha: s = 256, k = 0)
  EXPECT_EQ(at(&b, 0, 0), px(200, 254, 0, 255));
  put(&b, 0, 0, px(255, 255, 255, 255));
  GFX_FillRect(&b, 0, 0, 1, 1, px(0, 128, 255, 0), 1.0f, 3);  // multiply
  EXPECT_EQ(at(&b, 0, 0), px(0, (255 * 128 * 256) / 65536, (255 * 255 * 256) / 65536, 255));
  put(&b, 0, 0, px(1, 2, 3, 4));
  GFX_FillRect(&b, 0, 0, 1, 1, px(90, 90, 90, 0), 1.0f, 6);
  GFX_FillRect(&b, 0, 0, 1, 1, px(90, 90, 90, 0), 1.0f, 0x10000);  // colour alpha 0: nothing
  GFX_FillRect(&b, 0, 0, 1, 1, px(90, 90, 90, 0), NAN, 0);
  EXPECT_EQ(at(&b, 0, 0), px(1, 2, 3, 4));
  GFX_FillRect(&b, 0, 0, 1, 1, px(90, 90, 90, 255), 0.5f, 0x10000);  // 0.5 * 255/255: half mix
  EXPECT_EQ(at(&b, 0, 0), px(45, 46, 46, 129));
}

TEST(GfxFillRect, OverlayAndHsvTakeTheWeightAsSourceAlpha) {
  GFX_MemBitmap b(1, 1, 4);
  put(&b, 0, 0, px(100, 0, 0, 50));
  GFX_FillRect(&b, 0, 0, 1, 1, px(200, 128, 0, 0), 1.0f, 4);
  // red: m 51200, t 44000, 44000 * 100 / 32768 = 134; alpha (s = 256): t 59136 -> 90
  EXPECT_EQ(at(&b, 0, 0), px(134, 0, 0, 90));
  put(&b, 0, 0, px(200, 100, 50, 77));
  GFX_FillRect(&b, 0, 0, 1, 1, px(128, 128, 128, 0), 1.0f, 5);
  // Neutral adjustment; the alpha byte becomes the low 8 bits of the weight 256: 0.
  EXPECT_EQ(GFX_GETA(at(&b, 0, 0)), 0u);
  EXPECT_EQ(GFX_GETR(at(&b, 0, 0)), 200u);
  put(&b, 0, 0, px(200, 100, 50, 77));
  GFX_FillRect(&b, 0, 0, 1, 1, px(128, 128, 128, 0), 0.5f, 5);
  EXPECT_EQ(GFX_GETA(at(&b, 0, 0)), 128u);
}

TEST(GfxFillRect, FlippedBitmapFillsPictureRows) {
  FlippedBitmap b(2, 4);
  fillAll(&b, 0);
  GFX_FillRect(&b, 0, 0, 2, 1, px(5, 5, 5, 5), 1.0f, 0);
  EXPECT_EQ(b.pic(1, 0), px(5, 5, 5, 5));
  EXPECT_EQ(b.pic(1, 1), 0u);
  EXPECT_EQ(GFX_GetPixel(&b, 0, 0), px(5, 5, 5, 5));
}

TEST(GfxRectOps, ClearMultiplyAddProcessColourKey) {
  GFX_MemBitmap b(3, 2, 4);
  fillAll(&b, px(200, 100, 50, 25));
  GFX_Clear(&b, px(1, 2, 3, 4));
  EXPECT_EQ(at(&b, 2, 1), px(1, 2, 3, 4));
  GFX_ClearRect(&b, 1, 1, 5, 5, 0xffffff00u, 0x80u);
  EXPECT_EQ(at(&b, 2, 1), px(1, 2, 3, 0x80));
  EXPECT_EQ(at(&b, 0, 1), px(1, 2, 3, 4));

  fillAll(&b, px(200, 100, 50, 25));
  GFX_MultiplyAddRect(&b, 0, 0, 3, 2, 1, 1, 1, 1, 0, 0, 0, 0);
  EXPECT_EQ(at(&b, 1, 1), px(200, 100, 50, 25));
  GFX_MultiplyAddRect(&b, 0, 0, 3, 2, 2.0f, 1.0f, 1.0f, 1.0f, 0, 10.0f, -300.0f, -0.5f);
  EXPECT_EQ(at(&b, 1, 1), px(255, 110, 0, 24));  // 25 - 0.5 rounds toward minus infinity
  GFX_MultiplyAddRect(&b, 0, 0, 3, 2, NAN, 1, 1, 1, 0, 0, 0, 0);  // nothing
  EXPECT_EQ(at(&b, 1, 1), px(255, 110, 0, 24));

  int count = 0;
  GFX_ProcessRect(&b, -1, 1, 3, 9, [](GFX_pixel* p, void* parm) { *p = 7, ++*static_cast<int*>(parm); }, &count);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(at(&b, 1, 1), 7u);
  EXPECT_EQ(at(&b, 2, 1), px(255, 110, 0, 24));

  put(&b, 0, 0, px(10, 20, 30, 99));
  put(&b, 1, 0, px(10, 20, 31, 99));
  GFX_SetAlphaFromColorMask(&b, px(10, 20, 30, 0));
  EXPECT_EQ(at(&b, 0, 0), px(10, 20, 30, 0));
  EXPECT_EQ(at(&b, 1, 0), px(10, 20, 31, 255));
  GFX_SetAlphaFromColorMask(&b, px(10, 20, 30, 1));  // key with alpha: matches nothing
  EXPECT_EQ(at(&b, 0, 0), px(10, 20, 30, 255));
}

TEST(GfxSimpleFill, FillsTheConnectedRunThroughTheSeedColumnOnly) {
  // U shape of 0s in a field of 1s: two arms (columns 1 and 5) joined by row 4.
  const char* rows[] = {"1010101", "1010101", "1010101", "1010101", "1000001", "1111111"};
  GFX_MemBitmap b(7, 6, 4);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 7; ++x) put(&b, x, y, rows[y][x] == '1' ? 1u : 0u);
  GFX_SimpleFill(&b, 1, 1, 0x500u, 0xffu, 0xffffff00u);
  for (int y = 0; y < 4; ++y) {
    EXPECT_EQ(at(&b, 1, y), 0x500u) << y;
    EXPECT_EQ(at(&b, 5, y), 0u) << "other arm stays " << y;
    EXPECT_EQ(at(&b, 3, y), 0u);
  }
  for (int x = 1; x <= 5; ++x) EXPECT_EQ(at(&b, x, 4), 0x500u) << x;
  EXPECT_EQ(at(&b, 0, 4), 1u);
  GFX_SimpleFill(&b, 7, 0, 0x9u, 0xffu, 0);  // outside: nothing
  GFX_SimpleFill(&b, -1, 0, 0x9u, 0xffu, 0);
}

TEST(GfxPixel, GetAndPutAreBoundedAndBlend) {
  GFX_MemBitmap b(4, 3, 4);
  fillAll(&b, px(100, 40, 0, 0));
  EXPECT_EQ(GFX_GetPixel(&b, 4, 0), 0u);
  EXPECT_EQ(GFX_GetPixel(&b, 0, -1), 0u);
  EXPECT_EQ(GFX_GetPixel(nullptr, 0, 0), 0u);
  GFX_PutPixel(&b, 4, 0, px(1, 1, 1, 1), 1.0f, 0);
  GFX_PutPixel(&b, 1, 1, px(200, 255, 0, 0), 0.75f, 0);  // p/4 + c/2 + c/4
  EXPECT_EQ(GFX_GetPixel(&b, 1, 1), px(25 + 100 + 50, 10 + 127 + 63, 0, 0));
  // Add takes the colour's own alpha byte as source alpha.
  GFX_PutPixel(&b, 2, 1, px(10, 10, 10, 7), 1.0f, 1);
  EXPECT_EQ(GFX_GetPixel(&b, 2, 1), px(110, 50, 10, 7));
  GFX_PutPixel(&b, 3, 1, px(10, 10, 10, 7), 1.0f, 9);
  EXPECT_EQ(GFX_GetPixel(&b, 3, 1), px(100, 40, 0, 0));
}

TEST(GfxHalve, BoxFiltersQuartersAndKeepsToHalfSize) {
  GFX_MemBitmap s(5, 4, 4), d(4, 4, 4);
  fillAll(&s, 0xffffffffu);
  put(&s, 0, 0, 0x03030303u);
  fillAll(&d, 0x11111111u);
  GFX_HalveBlitAA(&d, &s);
  EXPECT_EQ(at(&d, 1, 1), 0xfcfcfcfcu);  // four 255 bytes give 252
  EXPECT_EQ(at(&d, 0, 0), 0xbdbdbdbdu);  // 0 + 3 * 63
  EXPECT_EQ(at(&d, 2, 0), 0x11111111u);  // beyond 5 / 2 = 2 columns
  EXPECT_EQ(at(&d, 0, 2), 0x11111111u);
  GFX_MemBitmap thin(1, 4, 4);
  GFX_HalveBlitAA(&d, &thin);  // nothing to write
  EXPECT_EQ(at(&d, 1, 1), 0xfcfcfcfcu);
}

TEST(GfxBitmapCmp, OrderingAndDifferenceBox) {
  GFX_MemBitmap a(10, 10, 4), b(10, 10, 4), w(12, 10, 4), h(10, 8, 4), e1, e2;
  fillAll(&a, 5);
  fillAll(&b, 5);
  int box[4] = {-1, -1, -1, -1};
  EXPECT_EQ(GFX_BitmapCmp(&a, &w, nullptr), 2);
  EXPECT_EQ(GFX_BitmapCmp(&a, &h, box), -2);
  EXPECT_EQ(box[0], -1);
  EXPECT_EQ(GFX_BitmapCmp(&a, &b, box), 0);
  EXPECT_EQ(box[2], 0);
  EXPECT_EQ(GFX_BitmapCmp(nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(GFX_BitmapCmp(&a, nullptr, nullptr), 1);
  EXPECT_EQ(GFX_BitmapCmp(nullptr, &a, nullptr), -1);
  EXPECT_EQ(GFX_BitmapCmp(&e1, &e2, box), 0);

  put(&b, 3, 5, 6);
  EXPECT_EQ(GFX_BitmapCmp(&a, &b, box), 1);
  EXPECT_EQ(std::vector<int>(box, box + 4), (std::vector<int>{3, 5, 1, 1}));
  EXPECT_LT(GFX_BitmapCmp(&a, &b, nullptr), 0);
  put(&b, 3, 5, 5);
  put(&b, 7, 2, 9);
  put(&b, 1, 9, 9);
  EXPECT_EQ(GFX_BitmapCmp(&a, &b, box), 1);
  EXPECT_EQ(std::vector<int>(box, box + 4), (std::vector<int>{1, 2, 7, 8}));
  put(&b, 0, 4, 9);  // a middle row widens the box
  put(&b, 9, 6, 9);
  GFX_BitmapCmp(&a, &b, box);
  EXPECT_EQ(std::vector<int>(box, box + 4), (std::vector<int>{0, 2, 10, 8}));
}
