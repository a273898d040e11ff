// Draws a value readout ("Cutoff 127", 12 px) and a 40-character status line per second:
//   cached  - GFX_CachedFont glyph path (blending cached coverage; what translucent text uses)
//   native  - GFX_CachedFont native path (WINX_DrawText: Pango layout, Cairo A8 mask, blend)
//   pango   - the same text laid out by Pango and drawn by Cairo straight into an ARGB32 image
//             surface, the platform's own cost for the same job (reference).
#include <pango/pangocairo.h>

#include <chrono>
#include <cstdio>

#include "GFX_CachedFont.h"
#include "GFX_Fill.h"
#include "GFX_SysBitmap.h"
#include "WINX_Font.h"

namespace {

template <class F>
double perSecond(F&& f) {
  using clock = std::chrono::steady_clock;
  for (int i = 0; i < 200; ++i) f();  // warm caches and glyphs
  long long n = 0;
  const auto t0 = clock::now();
  double elapsed = 0;
  do {
    for (int i = 0; i < 200; ++i) f();
    n += 200;
    elapsed = std::chrono::duration<double>(clock::now() - t0).count();
  } while (elapsed < 0.7);
  return n / elapsed;
}

}  // namespace

int main() {
  const char* texts[2] = {"Cutoff 127", "Sending bank A to Dorvik: slot 042 of 100"};
  const char* names[2] = {"readout \"Cutoff 127\"", "40-char status line"};
  GFX_SysBitmap target(400, 40);
  GFX_CachedFont font;
  font.SetFromHFont(CreateFont(-12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 4, 0, "Consolas"),
                    GFX_FONT_OWNHFONT | GFX_FONT_NATIVE);

  cairo_surface_t* surf = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 400, 40);
  cairo_t* cr = cairo_create(surf);
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* desc = pango_font_description_from_string("DejaVu Sans Mono");
  pango_font_description_set_absolute_size(desc, 12 * PANGO_SCALE);
  pango_layout_set_font_description(layout, desc);

  printf("text drawing at 12 px, draws per second (higher is better)\n");
  printf("%-24s %14s %14s %14s\n", "text", "cached glyphs", "native path", "pango/cairo");
  for (int t = 0; t < 2; ++t) {
    const char* text = texts[t];
    const double cached = perSecond([&] {
      RECT r = {4, 4, 396, 36};
      font.SetTextColor(GFX_RGBA(240, 240, 240, 254));
      font.DrawText(&target, text, -1, &r, DT_NOCLIP | GFX_DT_USE_TEXT_ALPHA);
    });
    const double native = perSecond([&] {
      RECT r = {4, 4, 396, 36};
      font.SetTextColor(GFX_RGBA(240, 240, 240, 255));
      font.DrawText(&target, text, -1, &r, DT_NOCLIP);
    });
    const double pango = perSecond([&] {
      pango_layout_set_text(layout, text, -1);
      cairo_set_source_rgb(cr, 0.94, 0.94, 0.94);
      cairo_move_to(cr, 4, 4);
      pango_cairo_show_layout(cr, layout);
    });
    printf("%-24s %14.0f %14.0f %14.0f\n", names[t], cached, native, pango);
  }
  g_object_unref(layout);
  pango_font_description_free(desc);
  cairo_destroy(cr);
  cairo_surface_destroy(surf);
  return 0;
}
