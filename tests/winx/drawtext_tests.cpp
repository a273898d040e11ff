// Text layout is checked by geometry (boxes, ink bounds) and coverage sums, never by glyph shapes.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "WINX_Font.h"

namespace {

struct Ink {
  int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;  // right/bottom exclusive
  long long coverage = 0;  // sum over pixels of the distance from the background, red channel
  int pixels = 0;
  bool empty() const { return pixels == 0; }
};

class DrawTextTest : public ::testing::Test {
protected:
  void SetUp() override { make(200, 80); }
  void TearDown() override {
    WINX_DeleteGfxContext(dc);
    if (font) DeleteObject(font);
  }
  void make(int w, int h) {
    width = w;
    height = h;
    dc = WINX_CreateMemContext(nullptr, w, h);
    ASSERT_NE(dc, nullptr);
    canvas = WINX_GetCtxGC(dc);
    clear();
  }
  void clear(int bg = 0xffffff) {
    background = WINX_CanvasPixel((bg >> 16) & 0xff, (bg >> 8) & 0xff, bg & 0xff);
    WINX_CanvasFillRect(canvas, 0, 0, width, height, bg);
  }
  void useFont(int px, int quality = 0, const char* face = "Consolas") {
    if (font) DeleteObject(font);
    font = CreateFont(-px, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, static_cast<char>(quality), 0, face);
    SelectObject(dc, font);
  }
  RECT measure(const char* text, int flags = 0, int len = -1) {
    RECT r = {0, 0, 0, 0};
    lastResult = WINX_DrawText(dc, text, len, &r, flags | DT_CALCRECT);
    return r;
  }
  Ink ink() const {
    Ink k;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        uint32_t p = canvas->pixels[y * canvas->rowWords + x];
        if (p == background) continue;
        int d = static_cast<int>((p >> 8) & 0xff) - static_cast<int>((background >> 8) & 0xff);
        k.coverage += d < 0 ? -d : d;
        ++k.pixels;
        k.left = std::min(k.left, x);
        k.top = std::min(k.top, y);
        k.right = std::max(k.right, x + 1);
        k.bottom = std::max(k.bottom, y + 1);
      }
    return k;
  }

  HDC dc = nullptr;
  WINX_Canvas* canvas = nullptr;
  HFONT font = nullptr;
  int width = 0, height = 0;
  uint32_t background = 0;
  int lastResult = 0;
};

}  // namespace

TEST(CleanDrawText, PrefixCarriageReturnAndLineFeedRules) {
  char out[WINX_DRAWTEXT_MAX];
  bool ml = false;
  struct {
    const char* in;
    int flags;
    const char* out;
    bool multi;
  } cases[] = {
      {"a&b", 0, "ab", false},         {"a&&b", 0, "a&b", false},        {"a&b", DT_NOPREFIX, "a&b", false},
      {"ab&", 0, "ab", false},         {"a\r\nb", 0, "a\nb", true},      {"a\nb", DT_SINGLELINE, "a b", false},
      {"\r", 0, "", false},            {"&&&x", 0, "&x", false},
  };
  for (auto& c : cases) {
    int n = WINX_CleanDrawText(c.in, -1, c.flags, out, &ml);
    EXPECT_STREQ(out, c.out) << c.in;
    EXPECT_EQ(n, static_cast<int>(strlen(c.out)));
    EXPECT_EQ(ml, c.multi) << c.in;
  }
  EXPECT_EQ(WINX_CleanDrawText("abcdef", 3, 0, out, &ml), 3);
  EXPECT_STREQ(out, "abc");
}

TEST(CleanDrawText, CutsAt4095BytesWithoutSplittingACharacter) {
  char out[WINX_DRAWTEXT_MAX];
  std::string s(5000, 'x');
  EXPECT_EQ(WINX_CleanDrawText(s.c_str(), -1, 0, out, nullptr), 4095);
  std::string t(4094, 'x');
  t += "\xC3\xA9zz";  // the two-byte character would need bytes 4095 and 4096
  EXPECT_EQ(WINX_CleanDrawText(t.c_str(), -1, 0, out, nullptr), 4094);
  std::string u(4092, 'x');
  u += "\xE2\x82\xAC";  // three bytes end exactly at 4095
  EXPECT_EQ(WINX_CleanDrawText(u.c_str(), -1, 0, out, nullptr), 4095);
}

TEST_F(DrawTextTest, EmptyTextReturnsZeroAndLeavesRectUnchanged) {
  RECT r = {5, 6, 7, 8};
  EXPECT_EQ(WINX_DrawText(dc, "", -1, &r, DT_CALCRECT), 0);
  EXPECT_EQ(WINX_DrawText(dc, "&", -1, &r, DT_CALCRECT), 0);
  EXPECT_EQ(WINX_DrawText(dc, "abc", 0, &r, DT_CALCRECT), 0);
  EXPECT_EQ(r.left, 5);
  EXPECT_EQ(r.right, 7);
  EXPECT_EQ(r.bottom, 8);
  EXPECT_EQ(WINX_DrawText(dc, nullptr, -1, &r, 0), 0);
}

TEST_F(DrawTextTest, PrefixAmpersandsMeasureAsTheirCleanedText) {
  useFont(12);
  EXPECT_EQ(measure("a&b").right, measure("ab").right);
  EXPECT_EQ(measure("a&&b").right, measure("a&b", DT_NOPREFIX).right);
  EXPECT_GT(measure("a&b", DT_NOPREFIX).right, measure("ab").right);
}

TEST_F(DrawTextTest, LinesMeasureAsSumOfLineHeightsPlusOne) {
  useFont(12);
  RECT one = measure("ab");
  const int h1 = lastResult;
  EXPECT_EQ(one.bottom, h1);
  EXPECT_GT(one.right, 0);
  RECT two = measure("ab\ncd");
  EXPECT_EQ(lastResult, 2 * (h1 - 1) + 1);
  EXPECT_EQ(two.bottom, lastResult);
  RECT crlf = measure("ab\r\ncd");
  EXPECT_EQ(crlf.bottom, two.bottom);
  EXPECT_EQ(crlf.right, two.right);
  RECT single = measure("ab\ncd", DT_SINGLELINE);
  EXPECT_EQ(single.bottom, h1);
  EXPECT_EQ(single.right, measure("ab cd").right);
  EXPECT_EQ(measure("ab\n").bottom, h1);  // a trailing line feed adds no line
  EXPECT_EQ(measure("ab\n\ncd").bottom, 3 * (h1 - 1) + 1);
  // Width of a multi-line text is its widest line (monospaced: 5 cells beat 2).
  EXPECT_EQ(measure("ab\nabcde").right, measure("abcde").right);
}

TEST_F(DrawTextTest, TextBeyondTheBufferIsCut) {
  useFont(10);
  std::string s(5000, 'i');
  EXPECT_EQ(measure(s.c_str()).right, measure(s.substr(0, 4095).c_str()).right);
  EXPECT_EQ(measure(s.c_str(), 0, 3).right, measure("iii").right);
}

TEST_F(DrawTextTest, CalcRectKeepsLeftAndTop) {
  useFont(12);
  RECT r = {30, 40, 0, 0};
  int h = WINX_DrawText(dc, "Cutoff 127", -1, &r, DT_CALCRECT | DT_CENTER | DT_BOTTOM);
  EXPECT_EQ(r.left, 30);
  EXPECT_EQ(r.top, 40);
  EXPECT_EQ(r.bottom, 40 + h);
  EXPECT_EQ(r.right, 30 + measure("Cutoff 127").right);
  EXPECT_EQ(ink().pixels, 0);  // measuring draws nothing
}

TEST_F(DrawTextTest, AlignmentPlacesTheInkInsideTheBox) {
  useFont(14);
  const RECT box = {10, 10, 190, 70};
  const RECT m = measure("Hi");
  const int w = m.right, H = m.bottom;
  auto drawn = [&](int flags) {
    clear();
    RECT r = box;
    EXPECT_EQ(WINX_DrawText(dc, "Hi", -1, &r, flags), H);
    return ink();
  };
  Ink left = drawn(0);
  ASSERT_FALSE(left.empty());
  EXPECT_GE(left.left, box.left);
  EXPECT_LE(left.right, box.left + w + 1);
  EXPECT_GE(left.top, box.top);
  EXPECT_LE(left.bottom, box.top + H);

  Ink right = drawn(DT_RIGHT);
  EXPECT_EQ(right.left - left.left, (box.right - w) - box.left);
  EXPECT_EQ(right.top, left.top);
  Ink rightCenter = drawn(DT_RIGHT | DT_CENTER);  // right wins
  EXPECT_EQ(rightCenter.left, right.left);

  Ink center = drawn(DT_CENTER);
  EXPECT_EQ(center.left - left.left, (box.right - box.left) / 2 - w / 2);

  Ink bottom = drawn(DT_BOTTOM);
  EXPECT_EQ(bottom.top - left.top, (box.bottom - H) - box.top);
  Ink bottomV = drawn(DT_BOTTOM | DT_VCENTER);  // bottom wins
  EXPECT_EQ(bottomV.top, bottom.top);
  Ink vcenter = drawn(DT_VCENTER);
  EXPECT_EQ(vcenter.top - left.top, (box.bottom - box.top) / 2 - H / 2);
  // Moving the text moves the ink and nothing else.
  EXPECT_EQ(center.coverage, left.coverage);
  EXPECT_EQ(bottom.coverage, left.coverage);
}

TEST_F(DrawTextTest, ClipsToTheRectangleUnlessNoClip) {
  useFont(14);
  RECT r = {20, 10, 40, 30};
  WINX_DrawText(dc, "Wide text that overflows", -1, &r, 0);
  Ink clipped = ink();
  ASSERT_FALSE(clipped.empty());
  EXPECT_GE(clipped.left, 20);
  EXPECT_LE(clipped.right, 40);
  EXPECT_GE(clipped.top, 10);
  EXPECT_LE(clipped.bottom, 30);
  clear();
  r = {20, 10, 40, 30};
  WINX_DrawText(dc, "Wide text that overflows", -1, &r, DT_NOCLIP);
  EXPECT_GT(ink().right, 100);
}

TEST_F(DrawTextTest, CanvasClipAndOriginApplyToText) {
  useFont(14);
  WINX_CanvasSave(canvas);
  canvas->state.originX = 50;
  WINX_CanvasClipRect(canvas, 0, 0, 20, 80);  // pixels 50..69
  RECT r = {0, 0, 100, 40};
  WINX_DrawText(dc, "MMMMMMMM", -1, &r, DT_NOCLIP);
  WINX_CanvasRestore(canvas);
  Ink k = ink();
  ASSERT_FALSE(k.empty());
  EXPECT_GE(k.left, 50);
  EXPECT_LE(k.right, 70);
}

TEST_F(DrawTextTest, OpaqueModeFillsTheTextBoxOnly) {
  useFont(12);
  const RECT m = measure("Hi");
  SetBkColor(dc, 0xff0000);
  SetBkMode(dc, OPAQUE);
  RECT r = {10, 10, 150, 60};
  WINX_DrawText(dc, "Hi", -1, &r, 0);
  const uint32_t red = WINX_CanvasPixel(255, 0, 0);
  auto at = [&](int x, int y) { return canvas->pixels[y * canvas->rowWords + x]; };
  EXPECT_EQ(at(10, 10), red);
  EXPECT_EQ(at(10 + m.right - 1, 10), red);
  EXPECT_EQ(at(10, 10 + m.bottom - 1), red);
  EXPECT_EQ(at(10 + m.right, 10), background);
  EXPECT_EQ(at(10, 10 + m.bottom), background);
  clear();
  SetBkMode(dc, TRANSPARENT);
  WINX_DrawText(dc, "Hi", -1, &r, 0);
  EXPECT_EQ(at(10, 10), background);
}

TEST_F(DrawTextTest, TextColourAndCoverage) {
  clear(0x000000);
  useFont(16, NONANTIALIASED_QUALITY);
  SetTextColor(dc, 0x20c0ff);
  RECT r = {4, 4, 196, 76};
  WINX_DrawText(dc, "Cutoff 127", -1, &r, 0);
  Ink mono = ink();
  ASSERT_GT(mono.pixels, 30);
  const uint32_t want = WINX_CanvasPixel(0x20, 0xc0, 0xff);
  for (int i = 0; i < width * height; ++i) {  // aliased text: every touched pixel is the colour
    if (canvas->pixels[i] != background) {
      ASSERT_EQ(canvas->pixels[i], want) << i;
    }
  }

  clear(0x000000);
  useFont(16, ANTIALIASED_QUALITY);
  SetTextColor(dc, 0xffffff);
  WINX_DrawText(dc, "Cutoff 127", -1, &r, 0);
  int partial = 0;
  for (int i = 0; i < width * height; ++i) {
    uint32_t p = canvas->pixels[i];
    if (p != background && p != WINX_CanvasPixel(255, 255, 255)) ++partial;
  }
  EXPECT_GT(partial, 10);  // antialiased edges
}

TEST_F(DrawTextTest, CoverageGrowsWithTheText) {
  useFont(16);
  RECT r = {4, 4, 196, 76};
  WINX_DrawText(dc, "I", -1, &r, 0);
  const long long one = ink().coverage;
  clear();
  WINX_DrawText(dc, "IIII", -1, &r, 0);
  const long long four = ink().coverage;
  ASSERT_GT(one, 0);
  EXPECT_NEAR(static_cast<double>(four) / one, 4.0, 0.4);
}

TEST_F(DrawTextTest, MultiLineDrawsOneBandPerLine) {
  useFont(14);
  RECT r = {4, 4, 196, 76};
  const int H = WINX_DrawText(dc, "Ab\nCd", -1, &r, 0);
  ASSERT_GT(H, 0);
  // Rows with ink form two bands separated by at least one empty row.
  std::vector<bool> rows(height, false);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (canvas->pixels[y * canvas->rowWords + x] != background) rows[y] = true;
  int bands = 0;
  for (int y = 0; y < height; ++y)
    if (rows[y] && (y == 0 || !rows[y - 1])) ++bands;
  EXPECT_EQ(bands, 2);
  Ink k = ink();
  EXPECT_LE(k.bottom, 4 + H);
  EXPECT_GE(k.left, 4);
}

TEST_F(DrawTextTest, InvalidUtf8StillDrawsAndDeletedContextDrawsNothing) {
  useFont(12);
  RECT r = {0, 0, 0, 0};
  EXPECT_GT(WINX_DrawText(dc, "a\xE9z", -1, &r, DT_CALCRECT), 0);
  EXPECT_GT(r.right, measure("az").right);
  HDC gone = WINX_CreateMemContext(nullptr, 10, 10);
  WINX_DeleteGfxContext(gone);
  r = {0, 0, 10, 10};
  EXPECT_EQ(WINX_DrawText(gone, "x", -1, &r, 0), 0);
  // A context without a canvas still measures and returns the height.
  HDC bare = WINX_CreateGfxContext(nullptr);
  EXPECT_GT(WINX_DrawText(bare, "x", -1, &r, 0), 0);
  WINX_DeleteGfxContext(bare);
}

// A text is laid out and rendered once per font and antialiasing: drawn again, anywhere and
// clipped any way, it shows the pixels a fresh layout there shows (a font made anew lays it out
// afresh); a changed text is laid out anew, where a stale layout would show the old text.
TEST_F(DrawTextTest, ATextIsLaidOutOnceAndDrawnAgainAsANewLayoutDrawsIt) {
  useFont(14);
  struct Case { const char* text; RECT rect; int flags, originX; bool aliased = false; };
  const Case cases[] = {
      {"Cutoff 12", {10, 10, 190, 40}, 0, 0},
      {"Cutoff 12", {10, 10, 190, 40}, 0, 0, true},  // the same text aliased: laid out anew
      {"Cutoff 12", {-20, 5, 190, 44}, DT_CENTER | DT_VCENTER, 0},
      {"Cutoff 12", {30, 18, 60, 28}, 0, 0},
      {"Cutoff 12", {0, 0, 100, 40}, DT_NOCLIP, 37},
      {"Two\nlines", {5, 5, 190, 75}, DT_RIGHT, 0},
      {"Cutoff 13", {10, 10, 190, 40}, 0, 0},
  };
  auto draw = [&](HFONT f, const Case& c) {
    clear();
    SelectObject(dc, f);
    canvas->state.originX = c.originX;
    canvas->state.antialias = !c.aliased;
    RECT r = c.rect;
    WINX_DrawText(dc, c.text, -1, &r, c.flags);
    canvas->state.originX = 0;
    canvas->state.antialias = true;
    return std::vector<uint32_t>(canvas->pixels, canvas->pixels + height * canvas->rowWords);
  };
  std::vector<std::string> seen;
  for (const Case& c : cases) {
    const unsigned long long before = WINX_ThreadTextLayouts();
    const std::vector<uint32_t> kept = draw(font, c);
    const std::string key = c.text + std::string(c.aliased ? " aliased" : "");
    const bool first = std::find(seen.begin(), seen.end(), key) == seen.end();
    seen.push_back(key);
    EXPECT_EQ(WINX_ThreadTextLayouts() - before, first ? 1u : 0u) << c.text;
    HFONT fresh = CreateFont(-14, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "Consolas");
    EXPECT_EQ(kept, draw(fresh, c)) << c.text << " at " << c.rect.left << "," << c.rect.top;
    SelectObject(dc, font);
    DeleteObject(fresh);
  }
  // A text too big to keep renders only what the clip shows: the same pixels there.
  useFont(120);
  std::vector<uint32_t> shown[2];
  for (int noClip = 0; noClip < 2; ++noClip) {
    clear();
    RECT r = {20, 10, 150, 60};
    WINX_DrawText(dc, "Wide text", -1, &r, noClip ? DT_NOCLIP : 0);
    shown[noClip].assign(canvas->pixels, canvas->pixels + height * canvas->rowWords);
  }
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const size_t at = static_cast<size_t>(y) * canvas->rowWords + x;
      ASSERT_EQ(shown[0][at], x >= 20 && x < 150 && y >= 10 && y < 60 ? shown[1][at] : background) << x << "," << y;
    }
  // The kept texts stay within their bound (a librarian paged through thousands of names must
  // not grow the cache without end): the least recently drawn go, the latest stay.
  useFont(60);
  auto layoutsFor = [&](int i) {
    const unsigned long long before = WINX_ThreadTextLayouts();
    RECT r = {0, 0, width, height};
    WINX_DrawText(dc, ("Bound " + std::to_string(i)).c_str(), -1, &r, 0);
    return WINX_ThreadTextLayouts() - before;
  };
  RECT one = {0, 0, 0, 0};
  WINX_DrawText(dc, "Bound 1000", -1, &one, DT_CALCRECT);
  const int texts = static_cast<int>(2 * 2 * 1024 * 1024 / (one.right * one.bottom));  // twice the bound
  for (int i = 0; i < texts; ++i) layoutsFor(i);
  EXPECT_EQ(layoutsFor(texts - 1), 0u);
  EXPECT_EQ(layoutsFor(0), 1u);
}
