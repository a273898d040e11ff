#include <gtest/gtest.h>

#include <cstdint>

#include "GFX_Fill.h"
#include "GFX_SysBitmap.h"
#include "WINX_Font.h"

TEST(SysBitmap, RowsAreAMultipleOfFourAndAligned) {
  GFX_SysBitmap bm(10, 7);
  EXPECT_EQ(bm.getWidth(), 10);
  EXPECT_EQ(bm.getHeight(), 7);
  EXPECT_EQ(bm.getRowSpan(), 12);
  ASSERT_NE(bm.getBits(), nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(bm.getBits()) % 64, 0u);
  EXPECT_EQ(bm.getBits(), WINX_GetCtxFrameBuffer(bm.getDC()));
  EXPECT_FALSE(bm.isFlipped());
}

TEST(SysBitmap, ResizeKeepsTheContextWhileItFits) {
  GFX_SysBitmap bm(10, 7);
  HDC dc = bm.getDC();
  EXPECT_FALSE(bm.resize(10, 7));
  EXPECT_TRUE(bm.resize(8, 7));
  EXPECT_EQ(bm.getDC(), dc);
  EXPECT_EQ(bm.getRowSpan(), 12);
  EXPECT_EQ(bm.getWidth(), 8);
  EXPECT_TRUE(bm.resize(13, 7));
  EXPECT_EQ(bm.getRowSpan(), 16);
  EXPECT_EQ(WINX_GetCtxGC(bm.getDC())->width, 16);
}

TEST(SysBitmap, ResizeToZeroDropsThePixels) {
  GFX_SysBitmap bm(10, 7);
  EXPECT_FALSE(bm.resize(0, 5));
  EXPECT_EQ(bm.getWidth(), 0);
  EXPECT_EQ(bm.getHeight(), 5);
  EXPECT_EQ(bm.getBits(), nullptr);
  EXPECT_EQ(bm.getDC(), nullptr);
  GFX_SysBitmap empty(0, 0);
  EXPECT_EQ(empty.getBits(), nullptr);
  GFX_SysBitmap huge(1 << 30, 4);  // no context: a 0 x 0 bitmap, no crash
  EXPECT_EQ(huge.getBits(), nullptr);
  EXPECT_EQ(huge.getWidth(), 0);
}

TEST(SysBitmap, TextDrawnThroughTheContextReadsBackThroughTheLibrary) {
  GFX_SysBitmap bm(64, 24);
  GFX_FillRect(&bm, 0, 0, 64, 24, GFX_RGBA(0, 0, 0, 255), 1.0f, 0);
  HDC dc = bm.getDC();
  HFONT f = CreateFont(-16, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, NONANTIALIASED_QUALITY, 0, "Consolas");
  SelectObject(dc, f);
  SetTextColor(dc, 0xff8000);  // orange
  RECT r = {0, 0, 64, 24};
  EXPECT_GT(WINX_DrawText(dc, "Hm", -1, &r, 0), 0);
  int lit = 0;
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 64; ++x) {
      GFX_pixel p = GFX_GetPixel(&bm, x, y);
      if (p == GFX_RGBA(0, 0, 0, 255)) continue;
      ++lit;
      EXPECT_EQ(p, GFX_RGBA(255, 128, 0, 255)) << x << "," << y;
    }
  EXPECT_GT(lit, 20);
  DeleteObject(f);
}
