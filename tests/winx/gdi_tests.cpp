#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "WINX_GDI.h"

namespace {

HGDIOBJ kind(int k) { return reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(k)); }

}  // namespace

TEST(MemContext, PixelsAreAlignedZeroedAndInScreenByteOrder) {
  HDC dc = WINX_CreateMemContext(nullptr, 3, 2);
  ASSERT_NE(dc, nullptr);
  auto* px = static_cast<uint8_t*>(WINX_GetCtxFrameBuffer(dc));
  ASSERT_NE(px, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(px) % 64, 0u);
  for (int i = 0; i < 3 * 2 * 4; ++i) EXPECT_EQ(px[i], 0) << i;
  // The first field is what the GUI framework reads to copy the frame to the screen.
  WINX_Canvas* canvas = *reinterpret_cast<WINX_Canvas**>(dc);
  EXPECT_EQ(canvas, WINX_GetCtxGC(dc));
  EXPECT_EQ(static_cast<void*>(canvas->pixels), static_cast<void*>(px));
  EXPECT_EQ(canvas->rowWords, 3);
  // Bytes 00 FF 00 00 are a red pixel: the word's bits 8-15.
  px[1] = 0xFF;
  EXPECT_EQ(canvas->pixels[0], 0x0000FF00u);
  EXPECT_EQ(GetTextColor(dc), 0);
  WINX_DeleteGfxContext(dc);
}

TEST(MemContext, RefusesSizesThatDoNotFit) {
  EXPECT_EQ(WINX_CreateMemContext(nullptr, 0, 10), nullptr);
  EXPECT_EQ(WINX_CreateMemContext(nullptr, 10, -1), nullptr);
  // 46341 * 4 * 46341 wraps a 32-bit int to a small positive count; it must not give a tiny
  // block for a huge canvas.
  EXPECT_EQ(WINX_CreateMemContext(nullptr, 46341, 46341), nullptr);
  EXPECT_EQ(WINX_CreateMemContext(nullptr, 1 << 30, 1 << 30), nullptr);
}

TEST(MemContext, DeletedContextIsInertAndReportsMinusOne) {
  HDC dc = WINX_CreateMemContext(nullptr, 4, 4);
  ASSERT_NE(dc, nullptr);
  WINX_DeleteGfxContext(dc);
  EXPECT_EQ(GetTextColor(dc), -1);
  SetTextColor(dc, 0x123456);
  SetBkMode(dc, 1);
  SetBkColor(dc, 5);
  EXPECT_EQ(WINX_GetCtxFrameBuffer(dc), nullptr);
  EXPECT_EQ(WINX_GetCtxGC(dc), nullptr);
  EXPECT_EQ(SelectObject(dc, kind(3)), nullptr);
  WINX_DeleteGfxContext(dc);  // twice: nothing
}

TEST(MemContext, PoolKeepsAtMostHundredAndFreedHandlesAreNeverRead) {
  std::vector<HDC> dcs;
  for (int i = 0; i < 150; ++i) dcs.push_back(WINX_CreateMemContext(nullptr, 2, 2));
  for (HDC d : dcs) WINX_DeleteGfxContext(d);
  EXPECT_EQ(WINX_GetGdiStats().contextPool, 100);
  // Fifty of these records went back to the heap; under ASan a read of one would fail here.
  for (HDC d : dcs) EXPECT_EQ(GetTextColor(d), -1);
}

TEST(GdiObjects, SelectReturnsKindHandleThenRestores) {
  HDC dc = WINX_CreateMemContext(nullptr, 2, 2);
  HPEN pen = CreatePen(0, 2, 0xff0000);
  HBRUSH brush = CreateSolidBrush(0x00ff00);
  EXPECT_EQ(SelectObject(dc, pen), kind(1));
  EXPECT_EQ(SelectObject(dc, brush), kind(2));
  // Selecting the kind handle back clears the slot and hands out what was there.
  EXPECT_EQ(SelectObject(dc, kind(1)), pen);
  EXPECT_EQ(SelectObject(dc, kind(1)), kind(1));
  EXPECT_EQ(SelectObject(dc, kind(2)), brush);
  EXPECT_EQ(SelectObject(dc, nullptr), nullptr);
  HGDIOBJ__* bmp = WINX_NewGDIObject(WINX_GDI_BITMAP);
  EXPECT_EQ(SelectObject(dc, bmp), nullptr);  // bitmaps are not selectable
  DeleteObject(bmp);
  DeleteObject(pen);
  DeleteObject(brush);
  WINX_DeleteGfxContext(dc);
}

TEST(GdiObjects, SelectingTheSameObjectTwiceReturnsIt) {
  HDC dc = WINX_CreateMemContext(nullptr, 2, 2);
  HBRUSH b = CreateSolidBrushAlpha(0x102030, 0.5f);
  EXPECT_EQ(SelectObject(dc, b), kind(2));
  EXPECT_EQ(SelectObject(dc, b), b);
  EXPECT_EQ(dc->curBrush, b);
  EXPECT_FLOAT_EQ(b->color.a, 0.5f);
  EXPECT_FLOAT_EQ(b->color.r, 0x10 / 255.0f);
  // A deleted object in the slot counts as nothing selected.
  DeleteObject(b);
  EXPECT_EQ(SelectObject(dc, kind(2)), kind(2));
  WINX_DeleteGfxContext(dc);
}

TEST(GdiObjects, CloneThenDeleteTwiceFreesOnSecond) {
  HPEN p = CreatePen(0, -4, 0);
  EXPECT_EQ(p->width, 0);
  EXPECT_EQ(WINX_CloneGDIObject(p), p);
  DeleteObject(p);
  EXPECT_EQ(WINX_ValidObj(p), p);  // only the clone reference went
  DeleteObject(p);
  EXPECT_EQ(WINX_ValidObj(p), nullptr);
  EXPECT_EQ(WINX_CloneGDIObject(p), nullptr);
  DeleteObject(p);  // stale: nothing
}

TEST(GdiObjects, StockObjectsAreNeverDeleted) {
  HGDIOBJ nullPen = GetStockObject(1);
  ASSERT_NE(nullPen, nullptr);
  EXPECT_EQ(GetStockObject(3), nullptr);
  DeleteObject(nullPen);
  EXPECT_EQ(GetStockObject(1), nullPen);
  EXPECT_EQ(WINX_ValidObj(nullPen, WINX_GDI_PEN), nullPen);
  EXPECT_LT(nullPen->width, 0);
  HDC dc = WINX_CreateMemContext(nullptr, 2, 2);
  EXPECT_EQ(SelectObject(dc, GetStockObject(2)), kind(2));
  WINX_DeleteGfxContext(dc);
}

TEST(GdiObjects, ObjectPoolKeepsAtMostTwoHundred) {
  std::vector<HGDIOBJ> objs;
  for (int i = 0; i < 260; ++i) objs.push_back(CreateSolidBrush(i));
  for (HGDIOBJ o : objs) DeleteObject(o);
  EXPECT_EQ(WINX_GetGdiStats().objectPool, 200);
  for (HGDIOBJ o : objs) EXPECT_EQ(WINX_ValidObj(o), nullptr);
}

TEST(GdiObjects, GetObjectZeroFillsAndAnswersOnlyBitmapsOfSizeEight) {
  unsigned char buf[12];
  memset(buf, 0xAA, sizeof(buf));
  HBRUSH b = CreateSolidBrush(0);
  EXPECT_EQ(GetObject(b, 12, buf), 0);
  for (unsigned char c : buf) EXPECT_EQ(c, 0);
  HGDIOBJ__* bmp = WINX_NewGDIObject(WINX_GDI_BITMAP);
  int dummy = 0;
  bmp->image = &dummy;
  bmp->imageWidth = 7;
  bmp->imageHeight = 9;
  memset(buf, 0xAA, sizeof(buf));
  EXPECT_EQ(GetObject(bmp, 6, buf), 0);
  int32_t wh[2] = {0, 0};
  EXPECT_EQ(GetObject(bmp, 8, wh), 1);
  EXPECT_EQ(wh[0], 7);
  EXPECT_EQ(wh[1], 9);
  DeleteObject(bmp);
  DeleteObject(b);
}

TEST(GdiObjects, SmallHandleValuesAreNeverRecords) {
  for (uintptr_t v = 0; v < 5; ++v) {
    HGDIOBJ h = reinterpret_cast<HGDIOBJ>(v);
    EXPECT_EQ(WINX_ValidObj(h), nullptr);
    DeleteObject(h);
    EXPECT_EQ(WINX_CloneGDIObject(h), nullptr);
    EXPECT_EQ(GetTextColor(reinterpret_cast<HDC>(v)), -1);
  }
}

TEST(Canvas, FillAndMaskHonourClipAndOrigin) {
  HDC dc = WINX_CreateMemContext(nullptr, 8, 8);
  WINX_Canvas* c = WINX_GetCtxGC(dc);
  WINX_CanvasSave(c);
  c->state.originX = 2;
  WINX_CanvasClipRect(c, 0, 0, 3, 8);  // pixels 2..4
  WINX_CanvasFillRect(c, -10, 1, 10, 2, 0x0000ff);
  WINX_CanvasRestore(c);
  for (int x = 0; x < 8; ++x)
    EXPECT_EQ(c->pixels[8 + x], (x >= 2 && x < 5) ? WINX_CanvasPixel(0, 0, 255) : 0u) << x;
  // Coverage 128 of white over black: each channel (alpha too) rounds to 128.
  uint8_t mask[2] = {128, 0};
  RECT all = {0, 0, 8, 8};
  WINX_CanvasBlendMask(c, 6, 7, mask, 2, 2, 1, 0xffffff, all);
  EXPECT_EQ(c->pixels[7 * 8 + 6], WINX_CanvasPixel(128, 128, 128, 128));
  EXPECT_EQ(c->pixels[7 * 8 + 7], 0u);
  WINX_DeleteGfxContext(dc);

  // Every coverage over every channel value under every text colour: blended four pixels at a
  // time (a row of 256) and pixel by pixel (strips of three), the bytes are the same.
  HDC wide[2] = {WINX_CreateMemContext(nullptr, 256, 256), WINX_CreateMemContext(nullptr, 256, 256)};
  std::vector<uint8_t> ramp(256 * 256);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<uint8_t>(i);
  for (int colour = 0; colour < 256; ++colour) {
    for (int k = 0; k < 2; ++k) {
      WINX_Canvas* w = WINX_GetCtxGC(wide[k]);
      for (int y = 0; y < 256; ++y) std::fill_n(w->pixels + y * w->rowWords, 256, WINX_CanvasPixel(y, y, y, y));
      for (int x = 0; x < 256; x += k ? 3 : 256)
        WINX_CanvasBlendMask(w, 0, 0, ramp.data(), 256, 256, 256, colour * 0x010101, RECT{x, 0, x + (k ? 3 : 256), 256});
    }
    ASSERT_EQ(0, memcmp(WINX_GetCtxGC(wide[0])->pixels, WINX_GetCtxGC(wide[1])->pixels, 256 * 256 * 4)) << colour;
  }
  for (HDC d : wide) WINX_DeleteGfxContext(d);
}
