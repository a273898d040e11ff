// The cached font: glyph cache, both drawing paths, alignment, line breaks, measurement.
// Layout is checked by geometry and coverage sums, not by glyph shapes.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "GFX_Bitmap.h"
#include "GFX_CachedFont.h"
#include "GFX_Fill.h"
#include "GFX_SysBitmap.h"
#include "WINX_Font.h"

namespace {

const GFX_pixel kBg = GFX_RGBA(0, 0, 0, 255);
const GFX_pixel kWhite = GFX_RGBA(255, 255, 255, 255);

HFONT makeFont(int px, const char* face = "Consolas", int weight = 400) {
  return CreateFont(-px, 0, 0, 0, weight, 0, 0, 0, 0, 0, 0, 0, 0, face);
}

struct Ink {
  int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
  long long coverage = 0;  // sum of the red channel
  int pixels = 0;
};

Ink inkOf(GFX_IBitmap* bm) {
  Ink k;
  for (int y = 0; y < bm->getHeight(); ++y)
    for (int x = 0; x < bm->getWidth(); ++x) {
      GFX_pixel p = bm->getBits()[y * bm->getRowSpan() + x];
      if (p == kBg) continue;
      k.coverage += GFX_GETR(p);
      ++k.pixels;
      k.left = std::min(k.left, x);
      k.top = std::min(k.top, y);
      k.right = std::max(k.right, x + 1);
      k.bottom = std::max(k.bottom, y + 1);
    }
  return k;
}

void clear(GFX_IBitmap* bm) { GFX_FillRect(bm, 0, 0, bm->getWidth(), bm->getHeight(), kBg, 1.0f, 0); }

RECT measure(GFX_CachedFont& f, const char* text, unsigned flags = 0, int count = -1, int* result = nullptr) {
  RECT r = {0, 0, 0, 0};
  int h = f.DrawText(nullptr, text, count, &r, flags | DT_CALCRECT);
  if (result) *result = h;
  return r;
}

}  // namespace

TEST(CachedFont, Utf8CharDecoding) {
  unsigned short c = 0;
  EXPECT_EQ(GFX_CachedFont::utf8char("A", &c), 1);
  EXPECT_EQ(c, 'A');
  EXPECT_EQ(GFX_CachedFont::utf8char("\xC3\xA9", &c), 2);
  EXPECT_EQ(c, 0xE9);
  EXPECT_EQ(GFX_CachedFont::utf8char("\xE2\x82\xAC", &c), 3);
  EXPECT_EQ(c, 0x20AC);
  EXPECT_EQ(GFX_CachedFont::utf8char("\xF0\x9F\x8E\xB9", &c), 4);
  EXPECT_EQ(c, 32);  // beyond 16 bits: a space
  EXPECT_EQ(GFX_CachedFont::utf8char("\x80", &c), 1);
  EXPECT_EQ(c, 0x80);
  EXPECT_EQ(GFX_CachedFont::utf8char("\xC3" "A", &c), 1);  // lead without continuation
  EXPECT_EQ(c, 0xC3);
  EXPECT_EQ(GFX_CachedFont::utf8char("\xC3\xC0", &c), 2);  // 0xC0 counts as a continuation byte
  EXPECT_EQ(GFX_CachedFont::utf8char("\xC3\xA9", nullptr), 2);
}

TEST(CachedFont, GlyphsAreRenderedOnceAndKept) {
  GFX_CachedFont f;
  f.SetFromHFont(makeFont(14), GFX_FONT_OWNHFONT);
  TEXTMETRIC tm;
  HDC dc = WINX_CreateMemContext(nullptr, 4, 4);
  SelectObject(dc, f.GetHFont());
  GetTextMetrics(dc, &tm);
  WINX_DeleteGfxContext(dc);
  EXPECT_EQ(f.GetLineHeight(), tm.tmHeight);

  EXPECT_EQ(f.findChar('A')->dataPos, 0);
  EXPECT_EQ(f.findChar(0xE9), nullptr);
  measure(f, "A\xC3\xA9");
  const GFX_CachedFont::Glyph a = *f.findChar('A');
  ASSERT_GT(a.dataPos, 0);
  EXPECT_GT(a.advance, 0);
  EXPECT_GE(a.width, a.advance);
  RECT m = {0, 0, 0, 0};
  HDC tmp = WINX_CreateMemContext(nullptr, 4, 4);
  SelectObject(tmp, f.GetHFont());
  WINX_DrawText(tmp, "A", -1, &m, DT_CALCRECT);
  WINX_DeleteGfxContext(tmp);
  EXPECT_EQ(a.height, m.bottom);  // the measured box, a little taller than the line height
  EXPECT_GE(a.height, tm.tmHeight);
  ASSERT_NE(f.findChar(0xE9), nullptr);
  EXPECT_EQ(f.findChar(0xE9)->code, 0xE9);
  measure(f, "AAA\xC3\xA9");
  EXPECT_EQ(f.findChar('A')->dataPos, a.dataPos);  // not rendered again
  // Extended characters stay sorted for the binary search.
  measure(f, "\xE2\x82\xAC\xC3\x9F\xC4\x80");
  EXPECT_NE(f.findChar(0x20AC), nullptr);
  EXPECT_NE(f.findChar(0xDF), nullptr);
  EXPECT_NE(f.findChar(0x100), nullptr);
  EXPECT_EQ(f.findChar(0x101), nullptr);
}

TEST(CachedFont, LineHeightLimitForGlyphRendering) {
  GFX_CachedFont big;
  big.SetFromHFont(makeFont(8192), GFX_FONT_OWNHFONT);
  EXPECT_GT(big.GetLineHeight(), 1023);
  EXPECT_FALSE(big.RenderGlyph('A'));
  GFX_CachedFont small;
  small.SetFromHFont(makeFont(12), GFX_FONT_OWNHFONT);
  EXPECT_TRUE(small.RenderGlyph('A'));
}

TEST(CachedFont, AsciiOnlyRendersUpFrontAndSkipsTheRest) {
  GFX_CachedFont f;
  f.SetFromHFont(makeFont(12), GFX_FONT_OWNHFONT | GFX_FONT_ASCIIONLY);
  EXPECT_GT(f.findChar('z')->dataPos, 0);
  EXPECT_EQ(f.findChar(10)->dataPos, -1);  // control characters have no glyph
  EXPECT_FALSE(f.RenderGlyph(0xE9));
  EXPECT_EQ(measure(f, "\xC3\xA9").right, 0);
  EXPECT_EQ(measure(f, "a\xC3\xA9" "b").right, measure(f, "ab").right);
}

TEST(CachedFont, LineBreaksAndSingleLine) {
  GFX_CachedFont f;
  f.SetFromHFont(makeFont(12), GFX_FONT_OWNHFONT);
  const int lh = f.GetLineHeight();
  const GFX_CachedFont::Glyph* a = nullptr;
  measure(f, "AB");
  a = f.findChar('B');
  int h = 0;
  RECT two = measure(f, "A\r\nB", 0, -1, &h);
  EXPECT_EQ(h, lh + a->height);
  EXPECT_EQ(two.bottom, h);
  RECT one = measure(f, "A\r\nB", DT_SINGLELINE, -1, &h);
  EXPECT_EQ(h, a->height);
  EXPECT_EQ(one.right, measure(f, "A B").right);
  f.SetLineSpacingAdjust(3);
  measure(f, "A\nB", 0, -1, &h);
  EXPECT_EQ(h, lh + 3 + a->height);

  // Drawn: the second line starts again at the left, one line height lower.
  GFX_MemBitmap bm(120, 80, 4);
  clear(&bm);
  f.SetLineSpacingAdjust(0);
  f.SetTextColor(kWhite);
  RECT r = {10, 5, 120, 80};
  const int drawnHeight = f.DrawText(&bm, "I\nI", -1, &r, 0);
  EXPECT_EQ(drawnHeight, lh + f.findChar('I')->height);
  GFX_MemBitmap ref(120, 80, 4);
  clear(&ref);
  RECT r2 = {10, 5 + lh, 120, 80};
  f.DrawText(&ref, "I", -1, &r2, 0);
  RECT r3 = {10, 5, 120, 80};
  f.DrawText(&ref, "I", -1, &r3, 0);
  EXPECT_EQ(memcmp(bm.getBits(), ref.getBits(), static_cast<size_t>(bm.getRowSpan()) * 80 * 4), 0);
}

TEST(CachedFont, CountLimitsTheWalk) {
  GFX_CachedFont f;
  f.SetFromHFont(makeFont(12), GFX_FONT_OWNHFONT);
  EXPECT_EQ(measure(f, "\xC3\xA9xyz", 0, 1).right, measure(f, "\xC3\xA9").right);
  int h = -1;
  RECT r = {7, 9, 100, 100};
  h = f.DrawText(nullptr, "abc", 0, &r, DT_CALCRECT);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(r.right, 7);
  EXPECT_EQ(r.bottom, 9);
  EXPECT_EQ(measure(f, "\xF0\x9F\x8E\xB9").right, measure(f, " ").right);
  measure(f, "\x80");
  EXPECT_NE(f.findChar(0x80), nullptr);
}

TEST(CachedFont, GlyphPathCentresWhereNativeRightAligns) {
  GFX_SysBitmap bm(200, 40);
  GFX_CachedFont f;
  f.SetFromHFont(makeFont(14), GFX_FONT_OWNHFONT | GFX_FONT_NATIVE);
  f.SetTextColor(GFX_RGBA(255, 255, 255, 128));
  const RECT box = {0, 0, 200, 40};
  RECT r = box;
  clear(&bm);
  f.DrawText(&bm, "Hi", -1, &r, DT_CENTER | DT_RIGHT | GFX_DT_USE_TEXT_ALPHA);
  Ink glyph = inkOf(&bm);
  ASSERT_GT(glyph.pixels, 0);
  EXPECT_NEAR((glyph.left + glyph.right) / 2.0, 100, 4);
  clear(&bm);
  r = box;
  f.DrawText(&bm, "Hi", -1, &r, DT_CENTER | DT_RIGHT);
  Ink native = inkOf(&bm);
  ASSERT_GT(native.pixels, 0);
  EXPECT_GT(native.left, 170);
  EXPECT_LE(native.right, 200);
}

TEST(CachedFont, TranslucentTextBlendsAtTheColoursAlpha) {
  GFX_SysBitmap bm(160, 30);
  GFX_CachedFont f;
  f.SetFromHFont(makeFont(16), GFX_FONT_OWNHFONT | GFX_FONT_NATIVE);
  RECT r = {2, 2, 160, 30};
  f.SetTextColor(GFX_RGBA(255, 255, 255, 255));
  clear(&bm);
  f.DrawText(&bm, "Cutoff 127", -1, &r, 0);  // native, opaque
  const Ink opaque = inkOf(&bm);
  clear(&bm);
  f.DrawText(&bm, "Cutoff 127", -1, &r, GFX_DT_USE_TEXT_ALPHA);  // glyph path, alpha 255
  const Ink glyphFull = inkOf(&bm);
  f.SetTextColor(GFX_RGBA(255, 255, 255, 128));
  clear(&bm);
  f.DrawText(&bm, "Cutoff 127", -1, &r, GFX_DT_USE_TEXT_ALPHA);
  const Ink half = inkOf(&bm);
  ASSERT_GT(opaque.coverage, 0);
  // Both paths render the same coverage up to a few pixels of rounding.
  EXPECT_NEAR(static_cast<double>(glyphFull.coverage) / opaque.coverage, 1.0, 0.05);
  EXPECT_NEAR(static_cast<double>(half.coverage) / glyphFull.coverage, 0.5, 0.05);
  f.SetTextColor(GFX_RGBA(255, 255, 255, 0));
  clear(&bm);
  EXPECT_EQ(f.DrawText(&bm, "Cutoff 127", -1, &r, GFX_DT_USE_TEXT_ALPHA), 0);
  EXPECT_EQ(inkOf(&bm).pixels, 0);
}

TEST(CachedFont, GlyphPathClipsToTheRectAndTheBitmap) {
  GFX_MemBitmap bm(100, 30, 4);
  GFX_CachedFont f;
  f.SetFromHFont(makeFont(14), GFX_FONT_OWNHFONT);
  f.SetTextColor(kWhite);
  clear(&bm);
  RECT r = {20, 0, 40, 30};
  f.DrawText(&bm, "WWWWWWWWWW", -1, &r, 0);
  Ink k = inkOf(&bm);
  ASSERT_GT(k.pixels, 0);
  EXPECT_GE(k.left, 20);
  EXPECT_LE(k.right, 40);
  clear(&bm);
  r = {-50, -5, 500, 500};
  f.DrawText(&bm, "WWWWWWWWWWWWWWWWWWWW", -1, &r, 0);  // partly outside the bitmap
  EXPECT_GT(inkOf(&bm).pixels, 0);
  // A clip far beyond the bitmap is limited to it, whatever the caller passes.
  RECT wild = {-1000, -1000, 100000, 100000};
  measure(f, "W");
  EXPECT_TRUE(f.DrawGlyph(&bm, 'W', 95, 25, &wild));
  EXPECT_TRUE(f.DrawGlyph(&bm, 'W', -3, -4, &wild));
  EXPECT_FALSE(f.DrawGlyph(&bm, 'W', 100, 0, &wild));
  RECT edge = {30, 0, 60, 30};
  EXPECT_FALSE(f.DrawGlyph(&bm, 'W', 30 - f.findChar('W')->width, 0, &edge));
}

TEST(CachedFont, OpaqueBackgroundFillsGlyphBoxesOnly) {
  GFX_MemBitmap bm(100, 30, 4);
  GFX_CachedFont f;
  f.SetFromHFont(makeFont(12), GFX_FONT_OWNHFONT);
  f.SetTextColor(kWhite);
  f.SetBkColor(GFX_RGBA(0, 0, 255, 255));
  f.SetBkMode(OPAQUE);
  clear(&bm);
  RECT r = {10, 5, 100, 30};
  f.DrawText(&bm, "ab", -1, &r, 0);
  const RECT m = measure(f, "ab");
  int blue = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 100; ++x) {
      GFX_pixel p = bm.getBits()[y * bm.getRowSpan() + x];
      if (GFX_GETB(p) == 255 && GFX_GETR(p) == 0) {
        ++blue;
        EXPECT_GE(x, 10);
        EXPECT_LT(x, 10 + m.right);
        EXPECT_GE(y, 5);
        EXPECT_LT(y, 5 + m.bottom);
      }
    }
  EXPECT_GT(blue, 0);
  // Mode 7: neither background nor text, and the glyph still counts as drawn.
  clear(&bm);
  f.SetCombineMode(7, 1.0f);
  EXPECT_TRUE(f.DrawGlyph(&bm, 'a', 10, 5, &r));
  EXPECT_EQ(inkOf(&bm).pixels, 0);
}

TEST(CachedFont, VerticalTextMeasuresAndDrawsItsWidth) {
  GFX_MemBitmap bm(60, 200, 4);
  GFX_CachedFont f;
  f.SetFromHFont(makeFont(12), GFX_FONT_OWNHFONT | GFX_FONT_VERTICAL);
  f.SetTextColor(kWhite);
  RECT r = {0, 0, 60, 200};
  int w = 0;
  RECT m = measure(f, "Cut", 0, -1, &w);
  EXPECT_EQ(w, m.right);
  EXPECT_GT(m.bottom, m.right);  // taller than wide
  clear(&bm);
  EXPECT_EQ(f.DrawText(&bm, "Cut", -1, &r, 0), w);
  Ink k = inkOf(&bm);
  EXPECT_GT(k.bottom - k.top, k.right - k.left);
}

TEST(CachedFont, EffectFlagsShapeTheCoverage) {
  GFX_CachedFont mono, shadow;
  mono.SetFromHFont(makeFont(16), GFX_FONT_OWNHFONT | GFX_FONT_MONO);
  shadow.SetFromHFont(makeFont(16), GFX_FONT_OWNHFONT | GFX_FONT_SHADOW);
  measure(mono, "O");
  measure(shadow, "O");
  const GFX_CachedFont::Glyph* gm = mono.findChar('O');
  const unsigned char* dm = mono.glyphData(gm);
  ASSERT_NE(dm, nullptr);
  int partial = 0, full = 0;
  for (int i = 0; i < gm->width * gm->height; ++i) {
    if (dm[i] == 255) ++full;
    else if (dm[i]) ++partial;
  }
  EXPECT_EQ(partial, 0);
  EXPECT_GT(full, 0);
  const GFX_CachedFont::Glyph* gs = shadow.findChar('O');
  const unsigned char* ds = shadow.glyphData(gs);
  int shadowPx = 0;
  for (int i = 0; i < gs->width * gs->height; ++i) shadowPx += ds[i] == 128;
  EXPECT_GT(shadowPx, 0);
  GFX_CachedFont blurred;
  blurred.SetFromHFont(makeFont(16), GFX_FONT_OWNHFONT | GFX_FONT_BLUR | GFX_FONT_INVERT);
  measure(blurred, "O");
  EXPECT_GT(blurred.findChar('O')->dataPos, 0);
}

TEST(CachedFont, OwnedFontIsDeletedOnlyWhenReplaced) {
  HFONT a = makeFont(12), b = makeFont(13);
  {
    GFX_CachedFont f;
    f.SetFromHFont(a, GFX_FONT_OWNHFONT);
    f.SetFromHFont(a, GFX_FONT_OWNHFONT);
    EXPECT_NE(WINX_ValidObj(a), nullptr);
    f.SetFromHFont(b, GFX_FONT_OWNHFONT);
    EXPECT_EQ(WINX_ValidObj(a), nullptr);
  }
  EXPECT_EQ(WINX_ValidObj(b), nullptr);
  HFONT c = makeFont(12);
  {
    GFX_CachedFont f;
    f.SetFromHFont(c, 0);
  }
  EXPECT_NE(WINX_ValidObj(c), nullptr);
  DeleteObject(c);
}

TEST(CachedFont, NativePathThroughTheTemporaryDrawsIntoMemoryBitmaps) {
  GFX_MemBitmap bm(120, 30, 4);
  GFX_CachedFont f;
  f.SetFromHFont(makeFont(14), GFX_FONT_OWNHFONT | GFX_FONT_NATIVE);
  f.SetTextColor(kWhite);
  clear(&bm);
  RECT r = {30, 5, 120, 30};
  const int h = f.DrawText(&bm, "Cutoff", -1, &r, 0);
  EXPECT_GT(h, 0);
  Ink k = inkOf(&bm);
  ASSERT_GT(k.pixels, 0);
  EXPECT_GE(k.left, 30);
  EXPECT_GE(k.top, 5);
  RECT m = {0, 0, 0, 0};
  EXPECT_EQ(f.DrawText(nullptr, "Cutoff", -1, &m, DT_CALCRECT), h);
  EXPECT_LE(k.right, 30 + m.right + 1);
  // Right-aligned into a box that runs off the bitmap's right edge.
  clear(&bm);
  r = {0, 0, 200, 30};
  f.DrawText(&bm, "Cutoff", -1, &r, DT_RIGHT);
  EXPECT_EQ(inkOf(&bm).pixels, 0);  // the text lies beyond x = 120
}
