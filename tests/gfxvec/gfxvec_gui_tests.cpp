// The GUI framework's shape and rotated-bitmap wrappers draw through the vector primitives.
#include <gtest/gtest.h>

#include <cmath>

#include "../gui/GuiTestSupport.h"
#include "GFX_Line.h"

namespace {
struct Canvas {
  GuiTestPlug plug;
  HeadlessGraphics* g;
  Canvas() : g(new HeadlessGraphics(&plug, 40, 40)) {
    plug.AttachGraphics(g);
    *g->GetDrawRect() = IRECT(0, 0, 40, 40);
    IColor clear(0, 0, 0, 0);
    IRECT all(0, 0, 40, 40);
    IChannelBlend clobber(IChannelBlend::kBlendClobber);
    g->FillIRect(&clear, &all, &clobber);
  }
};
// Opaque, red = column + 1, green = row + 1.
unsigned cell(int x, int y) { return 0xffu | static_cast<unsigned>(x + 1) << 8 | static_cast<unsigned>(y + 1) << 16; }
GFX_MemBitmap* cells() {
  GFX_MemBitmap* bm = new GFX_MemBitmap(4, 2, 4);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) bm->getBits()[y * bm->getRowSpan() + x] = cell(x, y);
  return bm;
}
}  // namespace

TEST(GuiVectorWrappers, RotatedBitmapIsCentredOnThePointAndClippedToTheDrawRect) {
  Canvas c;
  c.g->images[9901] = cells;
  IBitmap bm = c.g->LoadIBitmap(9901, "cells.png", 1.0);
  ASSERT_TRUE(c.g->DrawRotatedBitmap(&bm, 20, 20, 0.0, 0, nullptr));
  for (int y = 16; y < 24; ++y)
    for (int x = 16; x < 24; ++x) {
      const bool in = x >= 18 && x <= 21 && y >= 19 && y <= 20;
      ASSERT_EQ(pixelAt(c.g, x, y), in ? cell(x - 18, y - 19) : 0u) << x << "," << y;
    }
  // Half a turn about the same point, with the draw rectangle cutting off the left column.
  *c.g->GetDrawRect() = IRECT(5, 5, 35, 35);
  c.g->DrawRotatedBitmap(&bm, 10, 30, 3.14159265358979, 0, nullptr);
  *c.g->GetDrawRect() = IRECT(9, 0, 40, 40);
  IColor clear(0, 0, 0, 0);
  IRECT strip(0, 0, 9, 40);
  IChannelBlend clobber(IChannelBlend::kBlendClobber);
  c.g->FillIRect(&clear, &strip, &clobber);
  c.g->DrawRotatedBitmap(&bm, 10, 30, 3.14159265358979, 0, nullptr);
  EXPECT_EQ(pixelAt(c.g, 8, 29), 0u);
  EXPECT_EQ(pixelAt(c.g, 9, 29), cell(2, 1));
  EXPECT_EQ(pixelAt(c.g, 11, 30), cell(0, 0));
  EXPECT_TRUE(c.g->DrawRotatedBitmap(&bm, 10, 30, NAN, 0, nullptr));
  c.g->ReleaseBitmap(&bm);
}

TEST(GuiVectorWrappers, ShapesGoThroughTheLibrary) {
  Canvas c;
  IColor red(255, 255, 0, 0);
  IChannelBlend clobber(IChannelBlend::kBlendClobber);
  c.g->DrawLine(&red, 2.7f, 3.2f, 12.9f, 3.9f, &clobber, false);  // GFX_Line from (2, 3) to (12, 3)
  for (int x = 0; x < 16; ++x) EXPECT_EQ(pixelAt(c.g, x, 3), x >= 2 && x <= 12 ? red.Packed() : 0u) << x;
  EXPECT_TRUE(c.g->DrawLine(&red, NAN, 0, 3e38f, 1e38f, nullptr, true));
  c.g->DrawCircle(&red, 20.0f, 20.0f, 6.0f, &clobber, false);
  EXPECT_EQ(pixelAt(c.g, 20, 14), red.Packed());
  EXPECT_EQ(pixelAt(c.g, 20, 20), 0u);
  c.g->FillCircle(&red, 20, 20, 3.0f, &clobber, false);
  EXPECT_EQ(pixelAt(c.g, 20, 20), red.Packed());
  c.g->DrawArc(&red, 20.0f, 20.0f, 10.0f, 0.0f, 3.1415927f, &clobber, false);  // the right half
  EXPECT_EQ(pixelAt(c.g, 20, 10), red.Packed());
  EXPECT_EQ(pixelAt(c.g, 30, 20), red.Packed());
  EXPECT_EQ(pixelAt(c.g, 20, 30), red.Packed());
  EXPECT_EQ(pixelAt(c.g, 10, 20), 0u);
  IRECT r(2, 25, 14, 35);
  c.g->RoundRect(&red, &r, &clobber, 3, false);
  EXPECT_EQ(pixelAt(c.g, 8, 25), red.Packed());
  EXPECT_EQ(pixelAt(c.g, 8, 35), red.Packed());
  EXPECT_EQ(pixelAt(c.g, 2, 25), 0u);  // rounded corner
}
