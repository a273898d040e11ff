// Hostile text through every text drawer: patch names come from SysEx dumps and bank files, so
// any bytes may reach the text cleaning, Pango layout, the glyph cache and its blending. Input:
// 2 bytes of drawing flags, 1 byte choosing font and target, 3 bytes of rectangle, then text.
#include <cstdint>
#include <cstring>
#include <string>

#include "GFX_Bitmap.h"
#include "GFX_CachedFont.h"
#include "GFX_SysBitmap.h"
#include "WINX_Font.h"

namespace {

struct Fixture {
  GFX_SysBitmap sys{96, 48};
  GFX_MemBitmap mem{80, 40, 4};
  GFX_CachedFont fonts[4];
  Fixture() {
    const int flags[4] = {GFX_FONT_NATIVE, GFX_FONT_VERTICAL | GFX_FONT_BOTTOMUP, GFX_FONT_MONO | GFX_FONT_SHADOW,
                          GFX_FONT_OUTLINE | GFX_FONT_BLUR | GFX_FONT_INVERT};
    for (int i = 0; i < 4; ++i) {
      fonts[i].SetFromHFont(CreateFont(-(9 + 3 * i), 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 4, 0, "Consolas"),
                            GFX_FONT_OWNHFONT | flags[i]);
      fonts[i].SetTextColor(GFX_RGBA(200, 100, 50, 128 + 40 * i));
      fonts[i].SetBkMode(i & 1);
      fonts[i].SetCombineMode(i, 0.75f);
      fonts[i].SetLineSpacingAdjust(i - 1);
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture* fx = new Fixture;  // kept for the process: glyph caches fill up across inputs
  if (size < 6) return 0;
  const unsigned flags = data[0] | (data[1] << 8) | ((data[2] & 0xC0u) << 24);
  const int which = data[2] & 3;
  const bool toMem = (data[2] & 4) != 0;
  const int x = static_cast<int8_t>(data[3]), y = static_cast<int8_t>(data[4]);
  const int w = data[5] - 64;
  const size_t n = size - 6 > 300 ? 300 : size - 6;  // keeps each input fast; length bugs show early
  const std::string text(reinterpret_cast<const char*>(data + 6), n);
  const int len = (data[2] & 8) ? -1 : static_cast<int>(n);

  char cleaned[WINX_DRAWTEXT_MAX];
  bool multi = false;
  WINX_CleanDrawText(text.c_str(), len, static_cast<int>(flags), cleaned, &multi);

  RECT r = {x, y, x + w, y + w / 2};
  WINX_DrawText(fx->sys.getDC(), text.c_str(), len, &r, static_cast<int>(flags & 0x1ff));
  r = {x, y, x + w, y + w / 2};
  GFX_IBitmap* target = toMem ? static_cast<GFX_IBitmap*>(&fx->mem) : &fx->sys;
  fx->fonts[which].DrawText(target, text.c_str(), len, &r, flags);
  r = {x, y, x, y};
  fx->fonts[which].DrawText(nullptr, text.c_str(), len, &r, flags | DT_CALCRECT);
  return 0;
}
