// PNG loading: every colour type and bit depth written here with libpng loads to the expected
// pixels; corrupt, truncated and oversized data fail cleanly.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "GFX_Blit.h"
#include "GFX_PNG.h"
#include "gfx_test_util.h"

namespace {

struct PngSpec {
  int w = 3, h = 2, ctype = PNG_COLOR_TYPE_RGBA, depth = 8;
  bool interlace = false;
  std::vector<png_color> palette;
  std::vector<png_byte> trnsAlpha;  // palette transparency
  bool trnsGray = false;            // grey key colour 0 transparent
  std::vector<std::vector<png_byte>> rows;
};

void writeToVector(png_structp png, png_bytep data, png_size_t n) {
  auto* v = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
  v->insert(v->end(), data, data + n);
}
void flushNothing(png_structp) {}

std::vector<unsigned char> encode(const PngSpec& s) {
  std::vector<unsigned char> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "encoder failed";
    return {};
  }
  png_set_write_fn(png, &out, writeToVector, flushNothing);
  png_set_IHDR(png, info, s.w, s.h, s.depth, s.ctype, s.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), static_cast<int>(s.palette.size()));
  if (!s.trnsAlpha.empty()) png_set_tRNS(png, info, s.trnsAlpha.data(), static_cast<int>(s.trnsAlpha.size()), nullptr);
  if (s.trnsGray) {
    png_color_16 key = {};
    png_set_tRNS(png, info, nullptr, 0, &key);
  }
  png_write_info(png, info);
  std::vector<png_bytep> rows;
  for (auto& r : s.rows) rows.push_back(const_cast<png_bytep>(r.data()));
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

GFX_IBitmap* load(const std::vector<unsigned char>& data, GFX_IBitmap* into = nullptr) {
  return GFX_LoadPNGFromMemory(data.data(), static_cast<int>(data.size()), into);
}

void expectPixels(GFX_IBitmap* bm, int w, const std::vector<GFX_pixel>& want) {
  ASSERT_NE(bm, nullptr);
  ASSERT_EQ(bm->getWidth(), w);
  ASSERT_EQ(bm->getHeight(), static_cast<int>(want.size()) / w);
  for (size_t i = 0; i < want.size(); ++i)
    EXPECT_EQ(at(bm, static_cast<int>(i) % w, static_cast<int>(i) / w), want[i])
        << "pixel " << i << " got " << pixStr(at(bm, static_cast<int>(i) % w, static_cast<int>(i) / w)) << " want "
        << pixStr(want[i]);
}

PngSpec rgba8() {
  PngSpec s;
  s.rows = {{255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}};
  return s;
}
}  // namespace

TEST(GfxPng, RgbaAndRgbLoadStraightWithAlphaFirst) {
  std::unique_ptr<GFX_IBitmap> a(load(encode(rgba8())));
  expectPixels(a.get(), 3, {px(255, 0, 0, 255), px(0, 255, 0, 128), px(0, 0, 255, 0), px(1, 2, 3, 4), px(5, 6, 7, 8),
                            px(9, 10, 11, 12)});
  PngSpec rgb;
  rgb.w = 2, rgb.h = 1, rgb.ctype = PNG_COLOR_TYPE_RGB;
  rgb.rows = {{10, 20, 30, 40, 50, 60}};
  std::unique_ptr<GFX_IBitmap> b(load(encode(rgb)));
  expectPixels(b.get(), 2, {px(10, 20, 30, 255), px(40, 50, 60, 255)});
}

TEST(GfxPng, PaletteWithAndWithoutTransparency) {
  PngSpec p;
  p.w = 4, p.h = 1, p.ctype = PNG_COLOR_TYPE_PALETTE, p.depth = 8;
  p.palette = {{200, 100, 50}, {1, 2, 3}, {9, 9, 9}};
  p.rows = {{0, 1, 2, 1}};
  std::unique_ptr<GFX_IBitmap> opaque(load(encode(p)));
  expectPixels(opaque.get(), 4, {px(200, 100, 50, 255), px(1, 2, 3, 255), px(9, 9, 9, 255), px(1, 2, 3, 255)});
  p.trnsAlpha = {0, 77};  // entry 2 has none: opaque
  std::unique_ptr<GFX_IBitmap> trans(load(encode(p)));
  expectPixels(trans.get(), 4, {px(200, 100, 50, 0), px(1, 2, 3, 77), px(9, 9, 9, 255), px(1, 2, 3, 77)});
  PngSpec p2 = p;  // 2-bit palette indices, packed
  p2.depth = 2;
  p2.rows = {{0x06 | (1 << 4) | (0 << 6) /* 0,1,1,2 */}};
  p2.rows = {{static_cast<png_byte>((0 << 6) | (1 << 4) | (1 << 2) | 2)}};
  std::unique_ptr<GFX_IBitmap> packed(load(encode(p2)));
  expectPixels(packed.get(), 4, {px(200, 100, 50, 0), px(1, 2, 3, 77), px(1, 2, 3, 77), px(9, 9, 9, 255)});
}

TEST(GfxPng, GreyDepthsAndGreyAlpha) {
  PngSpec g1;
  g1.w = 3, g1.h = 1, g1.ctype = PNG_COLOR_TYPE_GRAY, g1.depth = 1;
  g1.rows = {{0xa0}};  // 1, 0, 1
  std::unique_ptr<GFX_IBitmap> a(load(encode(g1)));
  expectPixels(a.get(), 3, {px(255, 255, 255, 255), px(0, 0, 0, 255), px(255, 255, 255, 255)});
  PngSpec g4 = g1;
  g4.depth = 4;
  g4.rows = {{0x1f, 0x80}};  // 1, 15, 8 -> 17, 255, 136
  std::unique_ptr<GFX_IBitmap> b(load(encode(g4)));
  expectPixels(b.get(), 3, {px(17, 17, 17, 255), px(255, 255, 255, 255), px(136, 136, 136, 255)});
  PngSpec ga;
  ga.w = 2, ga.h = 1, ga.ctype = PNG_COLOR_TYPE_GRAY_ALPHA;
  ga.rows = {{100, 200, 7, 0}};
  std::unique_ptr<GFX_IBitmap> c(load(encode(ga)));
  expectPixels(c.get(), 2, {px(100, 100, 100, 200), px(7, 7, 7, 0)});
  PngSpec gk = g1;  // grey with a transparent key colour (0)
  gk.depth = 8;
  gk.trnsGray = true;
  gk.rows = {{0, 50, 0}};
  std::unique_ptr<GFX_IBitmap> d(load(encode(gk)));
  expectPixels(d.get(), 3, {px(0, 0, 0, 0), px(50, 50, 50, 255), px(0, 0, 0, 0)});
}

TEST(GfxPng, SixteenBitKeepsTheHighByte) {
  PngSpec s;
  s.w = 1, s.h = 1, s.depth = 16;
  s.rows = {{0x12, 0x34, 0xab, 0xcd, 0x00, 0xff, 0x80, 0x01}};
  std::unique_ptr<GFX_IBitmap> a(load(encode(s)));
  expectPixels(a.get(), 1, {px(0x12, 0xab, 0x00, 0x80)});
  PngSpec g;
  g.w = 1, g.h = 1, g.depth = 16, g.ctype = PNG_COLOR_TYPE_GRAY;
  g.rows = {{0x7f, 0xff}};
  std::unique_ptr<GFX_IBitmap> b(load(encode(g)));
  expectPixels(b.get(), 1, {px(0x7f, 0x7f, 0x7f, 255)});
}

TEST(GfxPng, InterlacedImageLoadsLikeTheProgressiveOne) {
  PngSpec s;
  s.w = 11, s.h = 9;
  for (int y = 0; y < s.h; ++y) {
    std::vector<png_byte> row;
    for (int x = 0; x < s.w; ++x) row.insert(row.end(), {png_byte(x * 20), png_byte(y * 25), png_byte(x ^ y), png_byte(x + y)});
    s.rows.push_back(row);
  }
  std::unique_ptr<GFX_IBitmap> plain(load(encode(s)));
  s.interlace = true;
  std::unique_ptr<GFX_IBitmap> inter(load(encode(s)));
  ASSERT_NE(plain, nullptr);
  ASSERT_NE(inter, nullptr);
  EXPECT_EQ(GFX_BitmapCmp(plain.get(), inter.get(), nullptr), 0);
  EXPECT_EQ(at(inter.get(), 10, 8), px(200, 200, 10 ^ 8, 18));
}

TEST(GfxPng, CallersBitmapIsResizedAndReturned) {
  GFX_MemBitmap mine(7, 7, 4);
  EXPECT_EQ(load(encode(rgba8()), &mine), &mine);
  EXPECT_EQ(mine.getWidth(), 3);
  EXPECT_EQ(mine.getHeight(), 2);
  FlippedBitmap flipped(1, 1);
  EXPECT_EQ(load(encode(rgba8()), &flipped), &flipped);
  EXPECT_EQ(flipped.pic(0, 0), px(255, 0, 0, 255));  // picture row 0 is the last memory row
}

TEST(GfxPng, TallFilmStripWithinTheLimitsLoads) {
  PngSpec s;  // a knob strip of 200 frames of 100 pixels
  s.w = 1, s.h = 20000, s.ctype = PNG_COLOR_TYPE_GRAY, s.depth = 8;
  for (int y = 0; y < s.h; ++y) s.rows.push_back({static_cast<png_byte>(y / 100)});
  std::unique_ptr<GFX_IBitmap> a(load(encode(s)));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->getHeight(), 20000);
  EXPECT_EQ(at(a.get(), 0, 19999), px(199, 199, 199, 255));
}

TEST(GfxPng, ShortOrForeignDataIsRefused) {
  const unsigned char sig[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  EXPECT_EQ(GFX_LoadPNGFromMemory(sig, 7, nullptr), nullptr);
  const unsigned char junk[16] = "not a png file!";
  EXPECT_EQ(GFX_LoadPNGFromMemory(junk, 16, nullptr), nullptr);
  EXPECT_EQ(GFX_LoadPNGFromMemory(sig, 8, nullptr), nullptr);  // signature only
  EXPECT_EQ(GFX_LoadPNGFromMemory(nullptr, 100, nullptr), nullptr);
  EXPECT_EQ(GFX_LoadPNGFromMemory(sig, -1, nullptr), nullptr);
}

TEST(GfxPng, EveryTruncationFailsCleanly) {
  const std::vector<unsigned char> full = encode(rgba8());
  // Up to the end of the image data every cut fails; a file cut only in its trailing IEND chunk
  // has all its pixels and may load.
  for (size_t n = 0; n + 12 < full.size(); ++n) {
    std::vector<unsigned char> cut(full.begin(), full.begin() + static_cast<long>(n));
    GFX_MemBitmap mine(2, 2, 4);
    EXPECT_EQ(load(cut), nullptr) << "cut at " << n;
    EXPECT_EQ(load(cut, &mine), nullptr) << "cut at " << n;
  }
}

TEST(GfxPng, CorruptBytesNeverCrashAndFailuresReturnNull) {
  const std::vector<unsigned char> full = encode(rgba8());
  int failures = 0;
  for (size_t i = 8; i < full.size(); ++i)
    for (unsigned char flip : {0x01, 0x80, 0xff}) {
      std::vector<unsigned char> bad = full;
      bad[i] ^= flip;
      GFX_IBitmap* bm = load(bad);
      if (!bm) {
        ++failures;
        continue;
      }
      EXPECT_EQ(bm->getWidth() * bm->getHeight() > 0, true);
      delete bm;
    }
  EXPECT_GT(failures, 0);
  // A flipped byte inside the image data breaks its checksum: refused.
  std::vector<unsigned char> bad = full;
  bad[full.size() - 20] ^= 0x10;
  EXPECT_EQ(load(bad), nullptr);
}

TEST(GfxPng, OversizedImagesAreRefusedBeforeAllocating) {
  // Valid headers claiming too many pixels: rejected by the size limits.
  PngSpec s;
  s.w = 1, s.h = 1;
  s.rows = {{1, 2, 3, 4}};
  std::vector<unsigned char> data = encode(s);
  // IHDR data starts at byte 16: width, height big-endian; fix the CRC after it.
  auto setU32 = [&](size_t at, uint32_t v) {
    data[at] = v >> 24, data[at + 1] = (v >> 16) & 255, data[at + 2] = (v >> 8) & 255, data[at + 3] = v & 255;
  };
  for (uint32_t dim : {100000u, 6000u, 0x7fffffffu}) {  // 6000 x 6000: 36 M pixels
    setU32(16, dim);
    setU32(20, dim);
    setU32(29, static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), data.data() + 12, 17)));
    GFX_MemBitmap mine(2, 2, 4);
    EXPECT_EQ(load(data), nullptr) << dim;
    EXPECT_EQ(load(data, &mine), nullptr) << dim;
    EXPECT_EQ(mine.getWidth(), 2);  // refused before the caller's bitmap was touched
  }
}

TEST(GfxPng, FileLoaderAndLoaderList) {
  const std::vector<unsigned char> data = encode(rgba8());
  char dir[] = "/tmp/gfxpngXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/img.PNG";
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fwrite(data.data(), 1, data.size(), f);
  fclose(f);

  std::unique_ptr<GFX_IBitmap> a(GFX_LoadPNG(path.c_str()));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(at(a.get(), 1, 0), px(0, 255, 0, 128));
  EXPECT_EQ(GFX_LoadPNG((std::string(dir) + "/missing.png").c_str()), nullptr);
  std::unique_ptr<GFX_IBitmap> b(GFX_PNGLoader::loadfunc(path.c_str(), true, nullptr));
  EXPECT_NE(b, nullptr);
  EXPECT_EQ(GFX_PNGLoader::loadfunc("/no/such.png/x", true, nullptr), nullptr);
  EXPECT_EQ(GFX_PNGLoader::loadfunc("noextension", true, nullptr), nullptr);
  ASSERT_NE(GFX_ImageLoader_list, nullptr);
  EXPECT_EQ(GFX_ImageLoader_list->loadfunc, &GFX_PNGLoader::loadfunc);
  const char* ext = GFX_PNGLoader::get_extlist();
  EXPECT_STREQ(ext, "PNG files (*.PNG)");
  EXPECT_STREQ(ext + strlen(ext) + 1, "*.PNG");

  GFX_SetResourceFolder(dir);
  std::unique_ptr<GFX_IBitmap> c(GFX_LoadPNGFromNamedResource("img.PNG"));
  EXPECT_NE(c, nullptr);
  EXPECT_EQ(GFX_LoadPNGFromNamedResource(std::string(401, 'a').c_str()), nullptr);
  EXPECT_EQ(GFX_LoadPNGFromResource(nullptr, 1, nullptr), nullptr);
  GFX_SetResourceFolder("");
  unlink(path.c_str());
  rmdir(dir);
}
