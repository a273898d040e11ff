#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "WINX_Font.h"
#include "WINX_FontInternal.h"

namespace {

HFONT font(int height, int width = 0, int weight = 400, int italic = 0, const char* face = "Consolas",
           int quality = 0) {
  return CreateFont(height, width, 0, 0, weight, static_cast<char>(italic), 0, 0, 0, 0, 0,
                    static_cast<char>(quality), 0, face);
}

double pixelSize(HFONT f) { return pango_font_description_get_size(f->font->desc) / double(PANGO_SCALE); }

std::string family(HFONT f) {
  char buf[128];
  EXPECT_TRUE(WINX_GetFontFamily(f, buf, sizeof(buf)));
  return buf;
}

}  // namespace

TEST(CreateFont, SizeRules) {
  struct {
    int h, w;
    double size;
  } cases[] = {{-12, 0, 12}, {12, 0, 12}, {0, 0, 10}, {0, -14, 14}, {9000, 0, 10},
               {1, 0, 10},   {2, 0, 2},   {8192, 0, 8192}, {8193, 0, 10}};
  for (auto& c : cases) {
    HFONT f = font(c.h, c.w);
    ASSERT_NE(f, nullptr);
    EXPECT_DOUBLE_EQ(pixelSize(f), c.size) << c.h << "," << c.w;
    DeleteObject(f);
  }
}

TEST(CreateFont, BoldFromSevenHundredAndItalicComposeTheCachedName) {
  HFONT normal = font(12, 0, 699, 0, "Monaco");
  HFONT boldItalic = font(12, 0, 700, 1, "Monaco");
  EXPECT_EQ(pango_font_description_get_weight(normal->font->desc), PANGO_WEIGHT_NORMAL);
  EXPECT_EQ(pango_font_description_get_weight(boldItalic->font->desc), PANGO_WEIGHT_BOLD);
  EXPECT_EQ(pango_font_description_get_style(boldItalic->font->desc), PANGO_STYLE_ITALIC);
  char buf[256];
  EXPECT_TRUE(WINX_FontNameCacheGet("Monaco", buf, sizeof(buf)));
  EXPECT_TRUE(WINX_FontNameCacheGet("Monaco Bold Italic", buf, sizeof(buf)));
  EXPECT_FALSE(WINX_FontNameCacheGet("Monaco Italic Bold", buf, sizeof(buf)));
  EXPECT_FALSE(WINX_FontNameCacheGet("Monaco Bold", buf, sizeof(buf)));
  DeleteObject(normal);
  DeleteObject(boldItalic);
}

TEST(CreateFont, InterfaceFacesMapToInstalledFonts) {
  for (const char* mono : {"Consolas", "Monaco", "NK57 Monospace"}) {
    HFONT f = font(12, 0, 400, 0, mono);
    EXPECT_EQ(family(f), "DejaVu Sans Mono") << mono;
    DeleteObject(f);
  }
  HFONT label = font(12, 0, 400, 0, "");
  EXPECT_EQ(family(label), "DejaVu Sans");
  DeleteObject(label);
  HFONT noName = font(12, 0, 400, 0, nullptr);
  EXPECT_EQ(family(noName), "DejaVu Sans");
  DeleteObject(noName);
}

TEST(CreateFont, LongFaceNameIsCutWithoutSplittingACharacter) {
  std::string longAscii(1000, 'x');
  HFONT a = font(12, 0, 700, 0, longAscii.c_str());
  char buf[2048];
  EXPECT_TRUE(WINX_FontNameCacheGet((std::string(899, 'x') + " Bold").c_str(), buf, sizeof(buf)));
  DeleteObject(a);
  // 500 two-byte characters: the 899-byte cut would fall inside the 450th.
  std::string longUtf8;
  for (int i = 0; i < 500; ++i) longUtf8 += "\xC3\xA9";
  HFONT u = font(12, 0, 400, 0, longUtf8.c_str());
  EXPECT_TRUE(WINX_FontNameCacheGet(longUtf8.substr(0, 898).c_str(), buf, sizeof(buf)));
  DeleteObject(u);
}

TEST(CreateFont, QualityOrientationAndIndirect) {
  HFONT aa = CreateFont(12, 0, 0, 900, 400, 0, 0, 0, 0, 0, 0, 4, 0, "Consolas");
  HFONT other = CreateFont(12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 5, 0, "Consolas");
  EXPECT_EQ(aa->fontQuality, 4);
  EXPECT_FLOAT_EQ(aa->fontRotation, 90.0f);
  EXPECT_EQ(other->fontQuality, 0);
  LOGFONT lf = {};
  lf.lfHeight = -15;
  lf.lfWeight = 700;
  lf.lfQuality = 3;
  memset(lf.lfFaceName, 'y', sizeof(lf.lfFaceName));  // no NUL inside the field
  HFONT ind = CreateFontIndirect(&lf);
  ASSERT_NE(ind, nullptr);
  EXPECT_DOUBLE_EQ(pixelSize(ind), 15);
  EXPECT_EQ(ind->fontQuality, 3);
  EXPECT_EQ(CreateFontIndirect(nullptr), nullptr);
  DeleteObject(aa);
  DeleteObject(other);
  DeleteObject(ind);
}

TEST(GetTextMetrics, PrefillsAndReadsTheSelectedFont) {
  TEXTMETRIC tm;
  EXPECT_EQ(GetTextMetrics(nullptr, &tm), 0);
  EXPECT_EQ(tm.tmHeight, 16);
  EXPECT_EQ(tm.tmAscent, 12);
  EXPECT_EQ(tm.tmDescent, 4);
  EXPECT_EQ(tm.tmInternalLeading, 3);
  EXPECT_EQ(tm.tmAveCharWidth, 10);

  HDC dc = WINX_CreateMemContext(nullptr, 4, 4);
  EXPECT_EQ(GetTextMetrics(dc, nullptr), 0);
  ASSERT_EQ(GetTextMetrics(dc, &tm), 1);  // default label font, 10 px
  const int s10 = tm.tmAscent + tm.tmDescent + tm.tmInternalLeading;
  EXPECT_EQ(tm.tmHeight, s10 + 1);
  EXPECT_GE(s10, 10);
  EXPECT_LE(s10, 14);

  HFONT f = font(-24);
  SelectObject(dc, f);
  ASSERT_EQ(GetTextMetrics(dc, &tm), 1);
  const int s24 = tm.tmAscent + tm.tmDescent + tm.tmInternalLeading;
  EXPECT_EQ(tm.tmHeight, s24 + 1);
  EXPECT_EQ(tm.tmAveCharWidth, 2 * s24 / 3);
  EXPECT_GE(s24, 24);
  EXPECT_LE(s24, 32);
  EXPECT_GT(tm.tmAscent, tm.tmDescent);
  DeleteObject(f);
  WINX_DeleteGfxContext(dc);
}

TEST(CreateFont, MetricsAreThoseThePangoContextReports) {
  PangoContext* ctx = WINX_ThreadPangoContext(true);
  for (const char* face : {"", "Consolas", "NK57 Monospace", "DejaVu Sans", "No Such Face"})
    for (int size : {2, 7, 9, 11, 12, 13, 14, 15, 16, 19, 24, 37, 64, 200})
      for (int style = 0; style < 4; ++style) {
        SCOPED_TRACE(std::string(face) + " " + std::to_string(size) + " style " + std::to_string(style));
        HFONT f = font(size, 0, style & 1 ? 700 : 400, style & 2, face);
        PangoFontMetrics* m = pango_context_get_metrics(ctx, f->font->desc, nullptr);
        ASSERT_NE(m, nullptr);
        const double ascent = pango_font_metrics_get_ascent(m) / double(PANGO_SCALE);
        const double descent = pango_font_metrics_get_descent(m) / double(PANGO_SCALE);
        const double height = pango_font_metrics_get_height(m) / double(PANGO_SCALE);
        EXPECT_EQ(f->font->ascent, ascent);
        EXPECT_EQ(f->font->descent, descent);
        EXPECT_EQ(f->font->leading, std::max(0.0, height - ascent - descent));
        pango_font_metrics_unref(m);
        DeleteObject(f);
      }
}
