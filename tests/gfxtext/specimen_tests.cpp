// Renders a text specimen (sizes, faces, alignments, colours, greyed text, both drawing paths)
// and writes it as a PNG into the build folder for a person to look at. The test checks only
// that the picture was drawn and written; judging it is the reader's job.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "GFX_CachedFont.h"
#include "GFX_Fill.h"
#include "GFX_SysBitmap.h"
#include "WINX_Font.h"

namespace {

bool writePng(GFX_IBitmap* bm, const std::string& path) {
  FILE* fp = fopen(path.c_str(), "wb");
  if (!fp) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    fclose(fp);
    return false;
  }
  png_init_io(png, fp);
  const int w = bm->getWidth(), h = bm->getHeight();
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_byte> row(static_cast<size_t>(w) * 3);
  for (int y = 0; y < h; ++y) {
    const GFX_pixel* src = bm->getBits() + static_cast<long long>(y) * bm->getRowSpan();
    for (int x = 0; x < w; ++x) {  // library pixel order (alpha, red, green, blue) to RGB
      row[x * 3] = static_cast<png_byte>(GFX_GETR(src[x]));
      row[x * 3 + 1] = static_cast<png_byte>(GFX_GETG(src[x]));
      row[x * 3 + 2] = static_cast<png_byte>(GFX_GETB(src[x]));
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return fclose(fp) == 0;
}

void frame(GFX_IBitmap* bm, const RECT& r, GFX_pixel c) {
  GFX_FillRect(bm, r.left, r.top, r.right - r.left, 1, c, 1.0f, 0);
  GFX_FillRect(bm, r.left, r.bottom - 1, r.right - r.left, 1, c, 1.0f, 0);
  GFX_FillRect(bm, r.left, r.top, 1, r.bottom - r.top, c, 1.0f, 0);
  GFX_FillRect(bm, r.right - 1, r.top, 1, r.bottom - r.top, c, 1.0f, 0);
}

struct Style {
  GFX_CachedFont font;
  Style(int px, const char* face, int weight = 400, int italic = 0) {
    font.SetFromHFont(CreateFont(-px, 0, 0, 0, weight, static_cast<char>(italic), 0, 0, 0, 0, 0, 4, 0, face),
                      GFX_FONT_OWNHFONT | GFX_FONT_NATIVE);
  }
  int draw(GFX_IBitmap* bm, const char* text, RECT r, GFX_pixel color, unsigned flags = DT_NOCLIP) {
    font.SetTextColor(color);
    return font.DrawText(bm, text, -1, &r, flags | (GFX_GETA(color) != 255 ? GFX_DT_USE_TEXT_ALPHA : 0));
  }
};

}  // namespace

TEST(TextSpecimen, WritesAPictureOfSizesAlignmentsAndColours) {
  const int W = 760, H = 560;
  GFX_SysBitmap bm(W, H);
  ASSERT_NE(bm.getBits(), nullptr);
  const GFX_pixel bg = GFX_RGBA(0x2a, 0x2b, 0x30, 255), panel = GFX_RGBA(0xd8, 0xd4, 0xc8, 255);
  const GFX_pixel white = GFX_RGBA(240, 240, 240, 255), yellow = GFX_RGBA(0xf2, 0xc2, 0x2e, 255);
  const GFX_pixel cyan = GFX_RGBA(0x4c, 0xc9, 0xe8, 255), orange = GFX_RGBA(0xff, 0x8a, 0x2a, 255);
  const GFX_pixel grey = GFX_RGBA(240, 240, 240, 110), line = GFX_RGBA(90, 92, 100, 255);
  GFX_FillRect(&bm, 0, 0, W, H, bg, 1.0f, 0);

  Style title(16, "", 700);
  title.draw(&bm, "Sorvanta Editor \xE2\x80\x94 text specimen", {12, 8, W, 30}, white);

  // Monospaced readouts at the interface's sizes.
  int y = 36;
  for (int px : {9, 10, 11, 12, 14, 16, 20, 24}) {
    Style s(px, "Consolas");
    char label[80];
    snprintf(label, sizeof(label), "%2d px  Cutoff 127  Resonance 64  Env -12", px);
    y += s.draw(&bm, label, {12, y, W, H}, px == 12 ? yellow : white) + 2;
  }

  // Label face, bold and italic, accents.
  Style label10(10, ""), label12(12, ""), bold(12, "", 700), italic(12, "", 400, 1), boldIt(12, "Monaco", 700, 1);
  y += 6;
  y += label10.draw(&bm, "10 px label: Filter 1 \xC2\xB7 Osc 2 \xC2\xB7 Multi 16 \xC2\xB7 \xC3\x84rger \xC3\xBC" "ber \xC3\x96l", {12, y, W, H}, white);
  y += label12.draw(&bm, "12 px label: Patch Librarian \xE2\x80\x94 Bank A / Slot 042", {12, y, W, H}, white);
  y += bold.draw(&bm, "12 px bold: Set MIDI I/O First!", {12, y, W, H}, orange);
  y += italic.draw(&bm, "12 px italic: Data request CANCELLED!", {12, y, W, H}, cyan);
  y += boldIt.draw(&bm, "12 px bold italic mono: CONNECTION TIMED OUT!", {12, y, W, H}, yellow);

  // Alignment boxes: every combination of horizontal and vertical alignment.
  y += 10;
  Style s12(12, "Consolas");
  const unsigned hs[3] = {0, DT_CENTER, DT_RIGHT}, vs[3] = {0, DT_VCENTER, DT_BOTTOM};
  const char* names[3][3] = {{"top left", "top centre", "top right"},
                             {"middle left", "middle centre", "middle right"},
                             {"bottom left", "bottom centre", "bottom right"}};
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 3; ++col) {
      RECT box = {12 + col * 180, y + row * 40, 12 + col * 180 + 170, y + row * 40 + 36};
      frame(&bm, box, line);
      s12.draw(&bm, names[row][col], box, white, hs[col] | vs[row]);
    }
  // Multi-line and clipping beside them.
  RECT multi = {560, y, 748, y + 76};
  frame(&bm, multi, line);
  s12.draw(&bm, "Two lines:\nLFO 1 Rate 96", multi, cyan, 0);
  RECT clipBox = {560, y + 80, 660, y + 116};
  frame(&bm, clipBox, line);
  s12.draw(&bm, "Clipped to its box, no spill", clipBox, orange, 0);
  y += 126;

  // Greyed (translucent, cached glyphs) beside opaque (native) text, on dark and on light.
  Style g12(12, "Consolas"), g16(16, "", 700);
  g12.draw(&bm, "opaque: Osc 1 Wave Saw", {12, y, W, H}, white);
  g12.draw(&bm, "greyed: Osc 1 Wave Saw", {260, y, W, H}, grey);
  g16.draw(&bm, "greyed bold", {520, y, W, H}, grey);
  y += 24;
  GFX_FillRect(&bm, 12, y, W - 24, 56, panel, 1.0f, 0);
  Style dark(14, "Consolas");
  dark.draw(&bm, "Dark on light: Arp Pattern 12", {20, y + 4, W, H}, GFX_RGBA(20, 20, 24, 255));
  dark.draw(&bm, "greyed on light", {20, y + 28, W, H}, GFX_RGBA(20, 20, 24, 120));
  dark.draw(&bm, "right-aligned 127", {12, y + 28, W - 20, H}, GFX_RGBA(160, 30, 30, 255), DT_RIGHT);
  y += 64;

  // The same readout through both paths, and the cached glyph path at alpha 0.5.
  Style cached(12, "Consolas");
  cached.font.SetCombineMode(0, 1.0f);
  cached.draw(&bm, "glyph path: Cutoff 127", {12, y, W, H}, GFX_RGBA(240, 240, 240, 254));
  cached.draw(&bm, "native path: Cutoff 127", {260, y, W, H}, white);
  EXPECT_LT(y + 20, H);

  long long lit = 0;
  for (int i = 0; i < H; ++i)
    for (int x = 0; x < W; ++x) lit += bm.getBits()[i * bm.getRowSpan() + x] != bg;
  EXPECT_GT(lit, 20000);

  const std::string dir = SORVANTA_ARTIFACTS_DIR;
  mkdir(dir.c_str(), 0755);
  const std::string path = dir + "/text_specimen.png";
  ASSERT_TRUE(writePng(&bm, path)) << path;
  printf("text specimen: %s\n", path.c_str());
}
