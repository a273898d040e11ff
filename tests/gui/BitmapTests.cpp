// Image loading and the process-wide bitmap cache; frame selection, clipping and bitmap text
// as pixels in the draw bitmap. Each test uses its own image ids: the cache is process-wide.
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "IControls.h"

namespace {

constexpr unsigned kOpaqueBlack = 0x000000ffu;

struct Pixels {
  GuiTestPlug plug;
  HeadlessGraphics* g;
  explicit Pixels(int w = 120, int h = 60) : g(new HeadlessGraphics(&plug, w, h)) {
    plug.AttachGraphics(g);
    *g->GetDrawRect() = IRECT(0, 0, w, h);
    IColor clear(0, 0, 0, 0);
    IRECT all(0, 0, w, h);
    IChannelBlend clobber(IChannelBlend::kBlendClobber);
    g->FillIRect(&clear, &all, &clobber);
  }
};

unsigned frameColor(int k) { return 0xffu | static_cast<unsigned>(k) << 8; }  // frame k, 1-based

}  // namespace

TEST(BitmapCache, MissingImageGivesAnEmptyBitmapThatDrawsNothing) {
  Pixels p;
  IBitmap bm = p.g->LoadIBitmap(9001, "resources/img/nothing.png", 1.0, 3);
  EXPECT_TRUE(bm.IsEmpty());
  EXPECT_EQ(bm.W, 0);
  EXPECT_EQ(bm.N, 3);
  IRECT r(0, 0, 10, 10);
  EXPECT_TRUE(p.g->DrawBitmap(&bm, &r, 2, nullptr));
  EXPECT_EQ(pixelAt(p.g, 0, 0), 0u);
  // Loading goes on: a background from a missing image is attached and repaints safely.
  p.g->AttachBackground(9001, "resources/img/nothing.png", 1.0);
  IRECT all(0, 0, 120, 60);
  EXPECT_TRUE(p.g->Draw(&all));
  EXPECT_EQ(p.g->loads, 2);  // failures are not cached: the next load tries again
}

TEST(BitmapCache, SecondLoadOfAnIdReturnsTheCachedPixelsWhateverTheName) {
  Pixels p;
  p.g->images[9010] = [] { return solidBitmap(4, 6, kOpaqueBlack); };
  IBitmap a = p.g->LoadIBitmap(9010, "a.png", 1.0);
  IBitmap b = p.g->LoadIBitmap(9010, "other.png", 1.0);
  EXPECT_EQ(a.mData, b.mData);
  EXPECT_EQ(p.g->loads, 1);
  EXPECT_EQ(p.g->getImageById(9010, 2).mData, a.mData);
  EXPECT_EQ(p.g->getImageById(9010, 2).N, 2);
  p.g->ReleaseBitmap(&a);
}

TEST(BitmapCache, OneInstanceReleasingDoesNotFreeAnotherInstancesPixels) {
  Pixels one, two;
  auto maker = [] { return solidBitmap(8, 8, 0x336699ffu); };
  one.g->images[9020] = maker;
  two.g->images[9020] = maker;
  IBitmap a = one.g->LoadIBitmap(9020, "shared.png", 1.0);
  IBitmap b = two.g->LoadIBitmap(9020, "shared.png", 1.0);
  ASSERT_EQ(a.mData, b.mData);
  EXPECT_EQ(two.g->loads, 0);
  // The image-cache clearing of a closing editor: load again, then release.
  IBitmap again = one.g->LoadIBitmap(9020, "shared.png", 1.0);
  one.g->ReleaseBitmap(&again);
  // Still drawable by the other instance (ASan would catch a use after free here).
  IRECT r(0, 0, 8, 8);
  two.g->DrawBitmap(&b, &r, 0, 0, nullptr);
  EXPECT_EQ(pixelAt(two.g, 3, 3), 0x336699ffu);
  EXPECT_EQ(two.g->getImageById(9020).mData, b.mData);
  two.g->ReleaseBitmap(&b);
  // Nobody holds it now: a reopened editor loads it again.
  IBitmap c = one.g->LoadIBitmap(9020, "shared.png", 1.0);
  EXPECT_EQ(one.g->loads, 2);
  one.g->ReleaseBitmap(&c);
}

TEST(BitmapCache, EntriesAreKeyedByScale) {
  Pixels small, large;
  auto maker = [] { return solidBitmap(20, 10, kOpaqueBlack); };
  small.g->images[9030] = maker;
  large.g->images[9030] = maker;
  IBitmap a = small.g->LoadIBitmap(9030, "k.png", 0.85);
  IBitmap b = large.g->LoadIBitmap(9030, "k.png", 1.15);
  EXPECT_NE(a.mData, b.mData);
  EXPECT_EQ(a.W, 17);
  EXPECT_EQ(a.H, 8);
  EXPECT_EQ(b.W, 23);
  EXPECT_EQ(b.H, 11);
  // Each instance's lookup by id finds its own scale.
  EXPECT_EQ(small.g->getImageById(9030).mData, a.mData);
  EXPECT_EQ(large.g->getImageById(9030).mData, b.mData);
  // Within one editor a later load at another scale gets the copy it already holds (the
  // progress overlay asks at 1.0 for an image preloaded at the size factor).
  EXPECT_EQ(small.g->LoadIBitmap(9030, "k.png", 1.0).mData, a.mData);
  EXPECT_EQ(small.g->loads, 1);
}

TEST(BitmapCache, DestroyedInstanceDropsItsHolds) {
  auto* p = new Pixels;
  p->g->images[9040] = [] { return solidBitmap(2, 2, kOpaqueBlack); };
  p->g->LoadIBitmap(9040, "x.png", 1.0);
  delete p;  // the plug-in base deletes the graphics object, which lets go of the image
  Pixels q;
  q.g->images[9040] = [] { return solidBitmap(2, 2, kOpaqueBlack); };
  q.g->LoadIBitmap(9040, "x.png", 1.0);
  EXPECT_EQ(q.g->loads, 1);
}

TEST(BitmapDraw, FrameSelectionOfStackedAndSideBySideStrips) {
  Pixels p;
  p.g->images[9050] = [] { return stripBitmap(10, 20, 5, false); };
  p.g->images[9051] = [] { return stripBitmap(10, 20, 5, true); };
  IBitmap stacked = p.g->LoadIBitmap(9050, "s.png", 1.0, 5, false);
  IBitmap side = p.g->LoadIBitmap(9051, "h.png", 1.0, 5, true);
  IChannelBlend clobber(IChannelBlend::kBlendClobber);
  IRECT r(0, 0, 10, 20);
  for (int state : {0, 1, 3, 5}) {
    p.g->DrawBitmap(&stacked, &r, state, &clobber);
    EXPECT_EQ(pixelAt(p.g, 0, 0), frameColor(state < 1 ? 1 : state)) << "stacked state " << state;
    EXPECT_EQ(pixelAt(p.g, 9, 19), frameColor(state < 1 ? 1 : state)) << "stacked state " << state;
    p.g->DrawBitmap(&side, &r, state, &clobber);
    EXPECT_EQ(pixelAt(p.g, 9, 19), frameColor(state < 1 ? 1 : state)) << "side state " << state;
  }
  // Three-int variant: only the coordinate along the frames is replaced.
  IRECT small(20, 0, 25, 5);
  p.g->DrawBitmap(&side, &small, 2, 3, 7, &clobber);
  EXPECT_EQ(pixelAt(p.g, 20, 0), frameColor(2));
  p.g->ReleaseBitmap(&stacked);
  p.g->ReleaseBitmap(&side);
}

TEST(BitmapDraw, BlitsAreClippedToTheDrawRectangle) {
  Pixels p;
  p.g->images[9060] = [] { return solidBitmap(30, 30, 0x112233ffu); };
  IBitmap bm = p.g->LoadIBitmap(9060, "c.png", 1.0);
  *p.g->GetDrawRect() = IRECT(10, 10, 20, 20);
  IRECT dest(0, 0, 30, 30);
  p.g->DrawBitmap(&bm, &dest, 1, nullptr);
  EXPECT_EQ(pixelAt(p.g, 9, 15), 0u);
  EXPECT_EQ(pixelAt(p.g, 10, 10), 0x112233ffu);
  EXPECT_EQ(pixelAt(p.g, 19, 19), 0x112233ffu);
  EXPECT_EQ(pixelAt(p.g, 20, 15), 0u);
  p.g->ReleaseBitmap(&bm);
}

TEST(BitmapText, CentredAndLeftAlignedStartsAndZeroWidthDrawsNothing) {
  Pixels p(200, 40);
  p.g->images[9070] = [] { return stripBitmap(10, 12, 96, false); };
  IBitmap strip = p.g->LoadIBitmap(9070, "font.png", 1.0, 96, false);
  IChannelBlend clobber(IChannelBlend::kBlendClobber);
  IText centred;
  IRECT rect(0, 0, 100, 12);
  DrawBitmapedText(p.g, &strip, &rect, &centred, &clobber, "AB", false, false, 10, 12);
  EXPECT_EQ(pixelAt(p.g, 39, 5), 0u);
  EXPECT_EQ(pixelAt(p.g, 40, 5), frameColor('A' - 31));
  EXPECT_EQ(pixelAt(p.g, 50, 5), frameColor('B' - 31));
  EXPECT_EQ(pixelAt(p.g, 60, 5), 0u);

  IText left;
  left.mAlign = IText::kAlignNear;
  IRECT row2(100, 20, 150, 32);  // 50 wide: at most 3 characters on one line
  DrawBitmapedText(p.g, &strip, &row2, &left, &clobber, "WXYZ", false, false, 10, 12);
  EXPECT_EQ(pixelAt(p.g, 110, 25), frameColor('W' - 31));
  EXPECT_EQ(pixelAt(p.g, 130, 25), frameColor('Y' - 31));
  EXPECT_EQ(pixelAt(p.g, 140, 25), 0u);

  IRECT row3(150, 0, 200, 12);
  EXPECT_TRUE(DrawBitmapedText(p.g, &strip, &row3, &left, &clobber, "Q", false, false, 0, 12));
  EXPECT_TRUE(DrawBitmapedText(p.g, &strip, &row3, &left, &clobber, "Q", false, true, 30, 12));
  for (int x = 150; x < 200; ++x) EXPECT_EQ(pixelAt(p.g, x, 5), 0u);
  p.g->ReleaseBitmap(&strip);
}

TEST(ShapeDraw, ConvexPolygonAndCircleCoverTheirArea) {
  Pixels p(100, 60);
  IColor red(255, 255, 0, 0);
  IChannelBlend clobber(IChannelBlend::kBlendClobber);
  int xs[4] = {10, 30, 30, 10}, ys[4] = {10, 10, 20, 20};
  p.g->FillIConvexPolygon(&red, xs, ys, 4, &clobber);
  int covered = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 100; ++x)
      if (pixelAt(p.g, x, y) == red.Packed()) ++covered;
  EXPECT_EQ(covered, 20 * 10);  // right and bottom edges exclusive, like rectangles
  EXPECT_EQ(pixelAt(p.g, 10, 10), red.Packed());
  EXPECT_EQ(pixelAt(p.g, 30, 15), 0u);

  IColor blue(255, 0, 0, 255);
  p.g->FillCircle(&blue, 70, 30, 10.0f, &clobber);
  EXPECT_EQ(pixelAt(p.g, 70, 30), blue.Packed());
  EXPECT_EQ(pixelAt(p.g, 70, 20), blue.Packed());
  EXPECT_EQ(pixelAt(p.g, 62, 22), 0u);  // outside the disc, inside its box
  int far[3] = {-100000, 100000, 0}, fary[3] = {-100000, -100000, 100000};
  EXPECT_TRUE(p.g->FillIConvexPolygon(&blue, far, fary, 3, &clobber));  // huge: clipped, no hang
}
