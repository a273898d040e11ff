// Unscaled blit: clipping on every edge, the copy paths, channel copy, modes, overlap.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "GFX_Blit.h"
#include "gfx_test_util.h"

namespace {
// 8 x 6 source whose pixels name their own position; destination cleared to a marker.
struct GfxBlitClip : ::testing::Test {
  GFX_MemBitmap src{8, 6, 4}, dst{10, 10, 4};
  const GFX_pixel marker = px(1, 2, 3, 4);
  void SetUp() override {
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 8; ++x) put(&src, x, y, tag(x, y));
    fillAll(&dst, marker);
  }
  // Checks dst against "source (sx0 + i, sy0 + j) at (dx0 + i, dy0 + j) for the w x h block,
  // marker elsewhere".
  void expectBlock(int dx0, int dy0, int sx0, int sy0, int w, int h) {
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 10; ++x) {
        const bool in = x >= dx0 && x < dx0 + w && y >= dy0 && y < dy0 + h;
        const GFX_pixel want = in ? tag(sx0 + x - dx0, sy0 + y - dy0) : marker;
        ASSERT_EQ(at(&dst, x, y), want) << "at " << x << "," << y << " got " << pixStr(at(&dst, x, y));
      }
  }
};
}  // namespace

TEST_F(GfxBlitClip, NegativeDestinationSkipsSourceColumns) {
  GFX_Blit(&dst, &src, -3, 0, nullptr, 1.0f, 0);
  expectBlock(0, 0, 3, 0, 5, 6);
}

TEST_F(GfxBlitClip, NegativeDestinationYSkipsSourceRows) {
  GFX_Blit(&dst, &src, 1, -4, nullptr, 1.0f, 0);
  expectBlock(1, 0, 0, 4, 8, 2);
}

TEST_F(GfxBlitClip, RightAndBottomEdgesClip) {
  GFX_Blit(&dst, &src, 7, 6, nullptr, 1.0f, 0);
  expectBlock(7, 6, 0, 0, 3, 4);
}

TEST_F(GfxBlitClip, NegativeRectangleOriginMovesTheDestination) {
  RECT r = {-2, -1, 3, 2};
  GFX_Blit(&dst, &src, 4, 5, &r, 1.0f, 0);
  expectBlock(6, 6, 0, 0, 3, 2);
}

TEST_F(GfxBlitClip, RectangleBeyondSourceIsLimited) {
  GFX_Blit(&dst, &src, 0, 0, 5, 4, 100, 100, 1.0f, 0);
  expectBlock(0, 0, 5, 4, 3, 2);
}

TEST_F(GfxBlitClip, FullyClippedOrEmptyDrawsNothing) {
  GFX_Blit(&dst, &src, 10, 0, nullptr, 1.0f, 0);
  GFX_Blit(&dst, &src, -8, 0, nullptr, 1.0f, 0);
  GFX_Blit(&dst, &src, 0, 0, 3, 3, 0, 5, 1.0f, 0);
  GFX_Blit(&dst, &src, 0, 0, nullptr, 0.0f, 0);
  GFX_Blit(&dst, &src, 0, 0, nullptr, 1.0f, 6);
  GFX_Blit(&dst, &src, 0, 0, nullptr, -0.5f, 0);
  GFX_Blit(&dst, &src, 0, 0, nullptr, NAN, 0x10000);
  GFX_Blit(&dst, nullptr, 0, 0, nullptr, 1.0f, 0);
  GFX_Blit(nullptr, &src, 0, 0, nullptr, 1.0f, 0);
  GFX_MemBitmap empty;
  GFX_Blit(&dst, &empty, 0, 0, nullptr, 1.0f, 0);
  expectBlock(0, 0, 0, 0, 0, 0);
}

TEST_F(GfxBlitClip, PositionsNearIntLimitsClipInsteadOfWrapping) {
  GFX_Blit(&dst, &src, INT_MAX - 2, 0, nullptr, 1.0f, 0);
  GFX_Blit(&dst, &src, INT_MIN + 1, INT_MIN, nullptr, 1.0f, 0);
  GFX_Blit(&dst, &src, 0, 0, INT_MAX - 1, 0, 50, 50, 1.0f, 0);
  RECT r = {INT_MIN, INT_MIN, INT_MAX, INT_MAX};
  GFX_Blit(&dst, &src, 5, 5, &r, 1.0f, 0);  // moves the destination far right: nothing
  expectBlock(0, 0, 0, 0, 0, 0);
}

TEST_F(GfxBlitClip, FilterFieldDoesNotChangeTheRowCopy) {
  GFX_Blit(&dst, &src, 1, 1, nullptr, 1.0f, 0x100);
  expectBlock(1, 1, 0, 0, 8, 6);
}

TEST(GfxBlit, HalfAlphaCopyIsWholeWordMixButSourceAlphaUsesWeight128) {
  GFX_MemBitmap s(1, 1, 4), d(1, 1, 4);
  put(&s, 0, 0, px(255, 1, 100, 255));
  put(&d, 0, 0, px(255, 255, 3, 0));
  GFX_Blit(&d, &s, 0, 0, nullptr, 0.5f, 0);
  EXPECT_EQ(at(&d, 0, 0), px(127 + 127, 127 + 0, 1 + 50, 0 + 127));
  put(&d, 0, 0, px(0, 0, 0, 0));
  GFX_Blit(&d, &s, 0, 0, nullptr, 0.5f, 0x10000);  // sa = 128
  EXPECT_EQ(at(&d, 0, 0), px(255 - (255 * 128) / 256, 1 - (1 * 128) / 256, 100 - (100 * 128) / 256, 128));
}

TEST(GfxBlit, CopyWithSourceAlphaSkipsTransparentPixels) {
  GFX_MemBitmap s(3, 1, 4), d(3, 1, 4);
  put(&s, 0, 0, px(200, 0, 0, 0));
  put(&s, 1, 0, px(200, 0, 0, 255));
  put(&s, 2, 0, px(200, 0, 0, 128));
  fillAll(&d, px(0, 0, 100, 100));
  GFX_Blit(&d, &s, 0, 0, nullptr, 1.0f, 0x10000);
  EXPECT_EQ(at(&d, 0, 0), px(0, 0, 100, 100));
  EXPECT_EQ(at(&d, 1, 0), px(200, 0, 0, 255));
  EXPECT_EQ(at(&d, 2, 0), px(200 + (-200 * 127) / 256, 0, (100 * 127) / 256, 228));
}

TEST(GfxBlit, NonFullAlphaThatRoundsTo256UsesClobber) {
  GFX_MemBitmap s(1, 1, 4), d(1, 1, 4);
  put(&s, 0, 0, px(10, 20, 30, 40));
  put(&d, 0, 0, px(0, 0, 0, 0));
  GFX_Blit(&d, &s, 0, 0, nullptr, 1.001f, 0);  // w = 256
  EXPECT_EQ(at(&d, 0, 0), px(10, 20, 30, 40));
}

TEST(GfxBlit, ChannelCopyMovesOneByte) {
  GFX_MemBitmap s(2, 1, 4), d(2, 1, 4);
  put(&s, 0, 0, px(1, 2, 3, 99));
  put(&s, 1, 0, px(1, 2, 3, 77));
  fillAll(&d, px(10, 20, 30, 40));
  GFX_Blit(&d, &s, 0, 0, nullptr, 0.3f, 0xf4);  // source alpha (0) -> destination red (1)
  EXPECT_EQ(at(&d, 0, 0), px(99, 20, 30, 40));
  EXPECT_EQ(at(&d, 1, 0), px(77, 20, 30, 40));
  GFX_Blit(&d, &s, 0, 0, nullptr, 1.0f, 0xf0 | 3 | (2 << 2));  // blue -> green
  EXPECT_EQ(at(&d, 0, 0), px(99, 3, 30, 40));
}

TEST(GfxBlit, FlippedBitmapsAreWalkedInPictureOrder) {
  FlippedBitmap s(3, 3), d(3, 3);
  GFX_MemBitmap plain(3, 3, 4);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) s.setPic(x, y, tag(x, y));
  fillAll(&d, 0);
  GFX_Blit(&d, &s, 1, 0, 0, 1, 2, 2, 1.0f, 0);
  EXPECT_EQ(d.pic(1, 0), tag(0, 1));
  EXPECT_EQ(d.pic(2, 1), tag(1, 2));
  EXPECT_EQ(d.pic(0, 0), 0u);
  GFX_Copy(&plain, &s);
  EXPECT_EQ(at(&plain, 2, 0), tag(2, 0));
  EXPECT_EQ(at(&plain, 0, 2), tag(0, 2));
}

TEST(GfxBlit, OverlappingAreasOfOneBitmapActLikeACopyThroughATemporary) {
  for (int mode : {0, 0x10000}) {
    for (int dx : {-2, -1, 0, 1, 2}) {
      for (int dy : {-1, 0, 1}) {
        GFX_MemBitmap bm(8, 5, 4), want(8, 5, 4), copy(8, 5, 4);
        for (int y = 0; y < 5; ++y)
          for (int x = 0; x < 8; ++x) put(&bm, x, y, tag(x, y));
        GFX_Copy(&want, &bm);
        GFX_Copy(&copy, &bm);
        GFX_Blit(&want, &copy, 2 + dx, 1 + dy, 2, 1, 5, 3, 1.0f, mode);
        GFX_Blit(&bm, &bm, 2 + dx, 1 + dy, 2, 1, 5, 3, 1.0f, mode);
        EXPECT_EQ(GFX_BitmapCmp(&bm, &want, nullptr), 0) << "mode " << mode << " dx " << dx << " dy " << dy;
      }
    }
  }
}

TEST(GfxBlit, CopyResizesAnEmptyDestination) {
  GFX_MemBitmap s(5, 3, 4), d;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) put(&s, x, y, tag(x, y));
  GFX_Copy(&d, &s);
  ASSERT_EQ(d.getWidth(), 5);
  ASSERT_EQ(d.getHeight(), 3);
  EXPECT_EQ(GFX_BitmapCmp(&d, &s, nullptr), 0);
}

TEST(GfxBitmap, RowSpanAlignmentAndAllocation) {
  GFX_MemBitmap e(0, 0, 4);
  EXPECT_EQ(e.getBits(), nullptr);
  EXPECT_EQ(e.getRowSpan(), 0);
  GFX_MemBitmap b(5, 3, 4);
  EXPECT_EQ(b.getRowSpan(), 8);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(b.getBits()) % 64, 0u);
  EXPECT_EQ(GFX_MemBitmap(5, 1, 6).getRowSpan(), 6);     // mask 1
  EXPECT_EQ(GFX_MemBitmap(17, 1, 64).getRowSpan(), 33);  // mask 16: bit 4 set adds 16
  EXPECT_EQ(GFX_MemBitmap(15, 1, 64).getRowSpan(), 15);
  EXPECT_EQ(GFX_MemBitmap(5, 1, 1).getRowSpan(), 5);

  GFX_MemBitmap g(10, 10, 4);
  EXPECT_TRUE(g.resize(20, 20));
  EXPECT_EQ(g.getAllocatedSize(), 2000);
  GFX_pixel* bits = g.getBits();
  EXPECT_TRUE(g.resize(10, 10));
  EXPECT_EQ(g.getBits(), bits);  // never shrinks
  EXPECT_FALSE(g.resize(10, 10));
  EXPECT_TRUE(g.resize(0, 10));
  EXPECT_EQ(g.getBits(), nullptr);
  EXPECT_EQ(g.getWidth(), 0);
  EXPECT_EQ(g.getHeight(), 0);
}

TEST(GfxBitmap, UnallocatableSizesGiveAnEmptyBitmapNotAWrappedBuffer) {
  // 65536 * 65536 * 4 wraps to 0 in 32 bits; 40000 * 30000 * 4 wraps to a small positive count.
  for (auto wh : {std::pair<int, int>{65536, 65536}, {40000, 30000}, {-5, 10}, {-5, -10}, {INT_MAX, 1}, {1, INT_MAX}}) {
    GFX_MemBitmap b(4, 4, 4);
    EXPECT_TRUE(b.resize(wh.first, wh.second));
    EXPECT_EQ(b.getBits(), nullptr) << wh.first << "x" << wh.second;
    EXPECT_EQ(b.getWidth(), 0);
    EXPECT_EQ(b.getHeight(), 0);
    GFX_MemBitmap c(wh.first, wh.second, 4);
    EXPECT_EQ(c.getBits(), nullptr);
    EXPECT_EQ(c.getWidth(), 0);
  }
}
