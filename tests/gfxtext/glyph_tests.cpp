// Coverage-mask blending: GFX_DrawGlyphEx and the cached font's glyph loops, at exact values.
#include <gtest/gtest.h>

#include "GFX_Bitmap.h"
#include "GFX_Glyph.h"
#include "GFX_GlyphBlend.h"

namespace {
GFX_pixel& at(GFX_MemBitmap& bm, int x, int y) { return bm.getBits()[y * bm.getRowSpan() + x]; }
void fillAll(GFX_MemBitmap& bm, GFX_pixel v) {
  for (int y = 0; y < bm.getHeight(); ++y)
    for (int x = 0; x < bm.getWidth(); ++x) at(bm, x, y) = v;
}
const GFX_pixel kBlack = GFX_RGBA(0, 0, 0, 0);
}  // namespace

TEST(DrawGlyph, FullCoverageAtFullAlphaStoresTheColourExactly) {
  GFX_MemBitmap bm(4, 1, 4);
  fillAll(bm, GFX_RGBA(17, 200, 3, 90));
  const unsigned char mask[4] = {255, 128, 0, 1};
  GFX_DrawGlyph(&bm, 0, 0, GFX_RGBA(250, 10, 128, 255), mask, 4, 1, 1.0f, 0);
  EXPECT_EQ(at(bm, 0, 0), GFX_RGBA(250, 10, 128, 255));  // weight 255: remainder truncates away
  // weight 128: s + ((d - s) * 128) / 256 per channel
  EXPECT_EQ(at(bm, 1, 0), GFX_RGBA(250 + (17 - 250) * 128 / 256, 10 + (200 - 10) * 128 / 256,
                                   128 + (3 - 128) * 128 / 256, 255 + (90 - 255) * 128 / 256));
  EXPECT_EQ(at(bm, 2, 0), GFX_RGBA(17, 200, 3, 90));
  // coverage 1: weight 1
  EXPECT_EQ(at(bm, 3, 0), GFX_RGBA(250 + (17 - 250) * 255 / 256, 10 + (200 - 10) * 255 / 256,
                                   128 + (3 - 128) * 255 / 256, 255 + (90 - 255) * 255 / 256));
}

TEST(DrawGlyph, ZeroCoverageLeavesThePixelEvenWhenAdding) {
  GFX_MemBitmap bm(2, 1, 4);
  fillAll(bm, GFX_RGBA(100, 100, 100, 100));
  const unsigned char mask[2] = {0, 255};
  GFX_DrawGlyph(&bm, 0, 0, GFX_RGBA(100, 0, 0, 0), mask, 2, 1, 1.0f, 1);
  EXPECT_EQ(at(bm, 0, 0), GFX_RGBA(100, 100, 100, 100));
  EXPECT_EQ(at(bm, 1, 0), GFX_RGBA(100 + 100 * 255 / 256, 100, 100, 100));
}

TEST(DrawGlyph, ClipsAtEveryEdgeAndHonoursTheSpan) {
  GFX_MemBitmap bm(3, 3, 4);
  const unsigned char mask[2 * 3] = {255, 255, 9, 255, 255, 9};  // 2 x 2 glyph, span 3
  fillAll(bm, kBlack);
  GFX_DrawGlyphEx(&bm, -2, 0, GFX_RGBA(255, 255, 255, 255), mask, 2, 3, 2, 1.0f, 0);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(bm.getBits()[i % 3 + (i / 3) * bm.getRowSpan()], kBlack);
  GFX_DrawGlyphEx(&bm, -1, 2, GFX_RGBA(255, 255, 255, 255), mask, 2, 3, 2, 1.0f, 0);
  EXPECT_NE(at(bm, 0, 2), kBlack);  // last column of the first row only
  EXPECT_EQ(at(bm, 1, 2), kBlack);
  EXPECT_EQ(at(bm, 0, 1), kBlack);
  fillAll(bm, kBlack);
  GFX_DrawGlyphEx(&bm, 2, -1, GFX_RGBA(255, 255, 255, 255), mask, 2, 3, 2, 1.0f, 0);
  EXPECT_NE(at(bm, 2, 0), kBlack);
  EXPECT_EQ(at(bm, 2, 1), kBlack);
  GFX_DrawGlyphEx(&bm, 0, 0, GFX_RGBA(255, 255, 255, 255), mask, 2, 3, 2, 1.0f, 6);  // mode 6: nothing
  EXPECT_EQ(at(bm, 0, 0), kBlack);
  GFX_DrawGlyphEx(&bm, 0, 0, GFX_RGBA(255, 255, 255, 255), mask, 2, 1, 2, 1.0f, 0);  // span < width: refused
  EXPECT_EQ(at(bm, 0, 0), kBlack);
}

TEST(GlyphRenderer, NormalFamilyWeights) {
  GFX_MemBitmap bm(3, 1, 4);
  fillAll(bm, kBlack);
  const unsigned char cov[3] = {255, 128, 0};
  // Full weight: v + 1, so 255 stores the colour exactly and 128 mixes with weight 129.
  GlyphRenderer<_GFX_CombinePixelsCopyNoClamp>::Normal(cov, bm.getBits(), 3, 3, 3, 1, 255, 255, 255, 256);
  EXPECT_EQ(at(bm, 0, 0), GFX_RGBA(255, 255, 255, 255));
  const int m = 255 + (0 - 255) * (256 - 129) / 256;
  EXPECT_EQ(at(bm, 1, 0), GFX_RGBA(m, m, m, m));
  EXPECT_EQ(at(bm, 2, 0), kBlack);
  // Half opacity: 255 * 128 / 256 = 127.
  fillAll(bm, kBlack);
  GlyphRenderer<_GFX_CombinePixelsCopyNoClamp>::Normal(cov, bm.getBits(), 3, 3, 1, 1, 255, 255, 255, 128);
  const int h = 255 + (0 - 255) * (256 - 127) / 256;
  EXPECT_EQ(at(bm, 0, 0), GFX_RGBA(h, h, h, h));
}

TEST(GlyphRenderer, MonoAndEffectFamilies) {
  GFX_MemBitmap bm(3, 1, 4);
  fillAll(bm, kBlack);
  const unsigned char cov[3] = {255, 128, 0};
  GlyphRenderer<_GFX_CombinePixelsAdd>::Mono(cov, bm.getBits(), 3, 3, 3, 1, 100, 50, 0, 256);
  EXPECT_EQ(at(bm, 0, 0), GFX_RGBA(100, 50, 0, 255));
  EXPECT_EQ(at(bm, 1, 0), GFX_RGBA(100, 50, 0, 255));  // any non-zero byte is full
  fillAll(bm, kBlack);
  GlyphRenderer<_GFX_CombinePixelsCopyNoClamp>::Effect(cov, bm.getBits(), 3, 3, 3, 1, 255, 0, 0, 256, 0, 0, 255);
  EXPECT_EQ(at(bm, 0, 0), GFX_RGBA(255, 0, 0, 255));  // 255: text colour
  EXPECT_EQ(at(bm, 1, 0), GFX_RGBA(0, 0, 255, 255));  // 1..254: effect colour
  EXPECT_EQ(at(bm, 2, 0), kBlack);
}
