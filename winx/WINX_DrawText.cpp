// WINX_DrawText: the windowing layer's one text renderer.
//
// Layout keeps the measuring rules the interface was laid out with, so that its boxes keep their
// sizes: a line is floor(typographic width + 0.5) wide and floor(ascent + descent + leading
// + 1.5) high; a multi-line text is as wide as its widest line and as high as the sum of its
// lines; the result height is that plus one. Drawing advances lines by floor(ascent + descent
// + leading + 0.5), one pixel less than measuring counts: kept, the interface is laid out on it.
#include <glib.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "WINX_Font.h"
#include "WINX_FontInternal.h"

namespace {

// Length of the UTF-8 sequence a lead byte announces (1 for ASCII and stray bytes).
int utf8SeqLen(unsigned char c) {
  if (c >= 0xF0 && c <= 0xF7) return 4;
  if (c >= 0xE0) return c <= 0xEF ? 3 : 1;
  if (c >= 0xC0) return 2;
  return 1;
}

// Valid UTF-8 for Pango. Bytes that are not part of a valid sequence are read as Latin-1 (as
// the cached font's glyph path reads a lone byte), so a stray byte shows a character instead of
// the whole text vanishing.
const char* asUtf8(const char* s, int n, std::string* scratch) {
  const char* end = nullptr;
  if (g_utf8_validate(s, n, &end)) return s;
  scratch->clear();
  const char* p = s;
  const char* stop = s + n;
  while (p < stop) {
    g_utf8_validate(p, stop - p, &end);
    scratch->append(p, end);
    if (end >= stop) break;
    const unsigned char bad = static_cast<unsigned char>(*end);
    scratch->push_back(static_cast<char>(0xC0 | (bad >> 6)));
    scratch->push_back(static_cast<char>(0x80 | (bad & 0x3F)));
    p = end + 1;
  }
  return scratch->c_str();
}

int clampInt(long long v) { return static_cast<int>(std::max<long long>(INT_MIN, std::min<long long>(INT_MAX, v))); }

struct LineBox {
  PangoLayoutLine* line;
  double width, ascent, descent;
};

// A coverage surface kept per thread and grown to the largest line drawn, with its Cairo
// context: making both per line costs more than laying the line out.
struct MaskSurface {
  cairo_surface_t* surf = nullptr;
  cairo_t* cr = nullptr;
  int w = 0, h = 0;
  ~MaskSurface() { release(); }
  void release() {
    if (cr) cairo_destroy(cr);
    if (surf) cairo_surface_destroy(surf);
    cr = nullptr;
    surf = nullptr;
    w = h = 0;
  }
  bool ensure(int needW, int needH) {
    if (cr && needW <= w && needH <= h) return true;
    const int nw = std::max(needW, w), nh = std::max(needH, h);
    release();
    surf = cairo_image_surface_create(CAIRO_FORMAT_A8, nw, nh);
    if (cairo_surface_status(surf) != CAIRO_STATUS_SUCCESS) {
      release();
      return false;
    }
    cr = cairo_create(surf);
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
      release();
      return false;
    }
    w = nw;
    h = nh;
    return true;
  }
};

struct ThreadScratch {
  std::string utf8;
  std::vector<LineBox> lines;
  MaskSurface mask;
};
thread_local ThreadScratch t_scratch;

// Renders one laid-out line with its baseline at pixel position (bx, by) as a coverage mask and
// blends it into the canvas, touching nothing outside clip.
void drawLine(WINX_Canvas* c, PangoLayoutLine* line, double bx, double by, int color, const RECT& clip) {
  PangoRectangle ink;
  pango_layout_line_get_pixel_extents(line, &ink, nullptr);
  if (ink.width <= 0 || ink.height <= 0) return;  // blanks only
  const long long ox = static_cast<long long>(std::floor(bx)), oy = static_cast<long long>(std::floor(by));
  // One pixel of slack around the ink: antialiasing of a fractional baseline may spill over.
  RECT r = {clampInt(ox + ink.x - 1), clampInt(oy + ink.y - 1), clampInt(ox + ink.x + ink.width + 2),
            clampInt(oy + ink.y + ink.height + 2)};
  r.left = std::max(r.left, clip.left);
  r.top = std::max(r.top, clip.top);
  r.right = std::min(r.right, clip.right);
  r.bottom = std::min(r.bottom, clip.bottom);
  if (r.right <= r.left || r.bottom <= r.top) return;
  const int w = r.right - r.left, h = r.bottom - r.top;
  MaskSurface& m = t_scratch.mask;
  if (!m.ensure(w, h)) return;
  cairo_surface_flush(m.surf);
  unsigned char* data = cairo_image_surface_get_data(m.surf);
  const int stride = cairo_image_surface_get_stride(m.surf);
  for (int y = 0; y < h; ++y) memset(data + static_cast<size_t>(y) * stride, 0, static_cast<size_t>(w));
  cairo_surface_mark_dirty_rectangle(m.surf, 0, 0, w, h);
  // Only the cleared corner may be drawn: ink cut off by the clip must not land in the rest of
  // the surface, which a later, larger line would read without clearing.
  cairo_reset_clip(m.cr);
  cairo_new_path(m.cr);
  cairo_rectangle(m.cr, 0, 0, w, h);
  cairo_clip(m.cr);
  // Coverage adds up: neighbouring glyphs that share an edge pixel cover disjoint parts of it,
  // and pixman's glyph path for ADD onto A8 skips the temporary mask OVER needs (nearly twice
  // as fast). Only truly overlapping outlines (stacked accents) come out a little darker.
  cairo_set_operator(m.cr, CAIRO_OPERATOR_ADD);
  cairo_move_to(m.cr, bx - r.left, by - r.top);
  pango_cairo_show_layout_line(m.cr, line);
  cairo_surface_flush(m.surf);
  WINX_CanvasBlendMask(c, r.left, r.top, data, stride, w, h, color, clip);
}

}  // namespace

int WINX_CleanDrawText(const char* text, int len, int flags, char* out, bool* multiLine) {
  int o = 0;
  bool ml = false;
  const int cap = WINX_DRAWTEXT_MAX - 1;
  // Source bytes available from position i on (len < 0: up to the NUL).
  auto avail = [&](int i) { return (len < 0 || i < len) && text[i] != 0; };
  int i = 0;
  bool literal = false;  // the byte after an '&' is taken as it is
  while (text && avail(i)) {
    const unsigned char ch = static_cast<unsigned char>(text[i]);
    if (ch == '\r') {
      ++i;
      continue;
    }
    if (ch == '&' && !literal && !(flags & DT_NOPREFIX)) {
      if (!avail(i + 1)) break;  // a trailing '&' ends the text
      literal = true;
      ++i;
      continue;
    }
    literal = false;
    if (ch == '\n') {
      if (o + 1 > cap) break;
      if (flags & DT_SINGLELINE) {
        out[o++] = ' ';
      } else {
        out[o++] = '\n';
        ml = true;
      }
      ++i;
      continue;
    }
    // Copy a whole UTF-8 sequence or nothing: cutting at the buffer's end must not leave half
    // a character behind.
    int n = 1;
    const int want = utf8SeqLen(ch);
    while (n < want && avail(i + n) && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) ++n;
    if (o + n > cap) break;
    memcpy(out + o, text + i, static_cast<size_t>(n));
    o += n;
    i += n;
  }
  out[o] = 0;
  if (multiLine) *multiLine = ml;
  return o;
}

int WINX_DrawText(HDC hdc, const char* text, int len, RECT* rect, int flags) {
  HDC__* dc = WINX_ValidDC(hdc);
  if (!dc || !rect) return 0;
  char cleaned[WINX_DRAWTEXT_MAX];
  bool multi = false;
  const int n = WINX_CleanDrawText(text, len, flags, cleaned, &multi);
  if (n == 0) return 0;

  HGDIOBJ__* fo = WINX_ValidObj(dc->curFont, WINX_GDI_FONT);
  const WINX_FontData* font = fo && fo->font ? fo->font : WINX_DefaultFont();
  if (!font) return 0;
  bool antialias = dc->ctx ? dc->ctx->state.antialias : true;
  if (fo && fo->fontQuality == ANTIALIASED_QUALITY) antialias = true;
  if (fo && fo->fontQuality == NONANTIALIASED_QUALITY) antialias = false;

  ThreadScratch& ts = t_scratch;
  const char* utf8 = asUtf8(cleaned, n, &ts.utf8);
  PangoLayout* layout = WINX_ThreadPangoLayout(antialias);
  const PangoFontDescription* cur = pango_layout_get_font_description(layout);
  if (!cur || !pango_font_description_equal(cur, font->desc)) pango_layout_set_font_description(layout, font->desc);
  // One line draws every character on it, paragraph separators included.
  pango_layout_set_single_paragraph_mode(layout, !multi);
  pango_layout_set_text(layout, utf8, -1);

  // Measure. A text that ends in a line feed has no empty last line.
  ts.lines.clear();
  const int count = pango_layout_get_line_count(layout);
  for (int li = 0; li < count; ++li) {
    PangoLayoutLine* line = pango_layout_get_line_readonly(layout, li);
    if (!line) continue;
    if (li == count - 1 && li > 0 && line->length == 0) break;
    PangoRectangle logical;
    pango_layout_line_get_extents(line, nullptr, &logical);
    const double asc = -logical.y / double(PANGO_SCALE);
    ts.lines.push_back({line, logical.width / double(PANGO_SCALE), asc, logical.height / double(PANGO_SCALE) - asc});
  }
  if (ts.lines.empty()) return 0;
  const double leading = 0.0;  // Pango lines carry no separate leading
  long long width = 0, height = 0;
  for (const LineBox& lb : ts.lines) {
    width = std::max<long long>(width, static_cast<long long>(std::floor(lb.width + 0.5)));
    height += static_cast<long long>(std::floor(lb.ascent + lb.descent + leading + 1.5));
  }
  const int H = height ? clampInt(height + 1) : 0;

  if (flags & DT_CALCRECT) {
    rect->right = clampInt(static_cast<long long>(rect->left) + width);
    rect->bottom = clampInt(static_cast<long long>(rect->top) + H);
    return H;
  }

  // Place. Halvings truncate toward zero, as the interface's layout expects.
  long long x = rect->left, y = rect->top;
  const long long rw = static_cast<long long>(rect->right) - rect->left;
  const long long rh = static_cast<long long>(rect->bottom) - rect->top;
  if (flags & DT_RIGHT)
    x = static_cast<long long>(rect->right) - width;
  else if (flags & DT_CENTER)
    x = rect->left + (rw / 2 - width / 2);
  if (flags & DT_BOTTOM)
    y = static_cast<long long>(rect->bottom) - H;
  else if (flags & DT_VCENTER)
    y = rect->top + (rh / 2 - H / 2);

  WINX_Canvas* c = dc->ctx;
  if (!c || !c->pixels) return H;
  WINX_CanvasSave(c);
  if (!(flags & DT_NOCLIP)) WINX_CanvasClipRect(c, rect->left, rect->top, rect->right, rect->bottom);
  const RECT clip = WINX_CanvasClip(c);
  const int color = dc->hasTextColor ? dc->textColor : 0;
  const bool opaque = dc->bkMode == OPAQUE;
  const int ox = c->state.originX, oy = c->state.originY;

  if (!multi) {
    const LineBox& lb = ts.lines[0];
    if (opaque) WINX_CanvasFillRect(c, clampInt(x), clampInt(y), clampInt(x + width), clampInt(y + H), dc->bkColor);
    if (clip.right > clip.left && clip.bottom > clip.top)
      drawLine(c, lb.line, double(x + ox), double(y + oy) + lb.ascent, color, clip);
  } else {
    double ly = double(y);
    for (const LineBox& lb : ts.lines) {
      const double lh = lb.ascent + lb.descent + leading;
      if (opaque)
        WINX_CanvasFillRect(c, clampInt(x), clampInt(static_cast<long long>(std::floor(ly + 0.5))),
                            clampInt(x + static_cast<long long>(std::floor(lb.width + 0.5))),
                            clampInt(static_cast<long long>(std::floor(ly + lh + 0.5))), dc->bkColor);
      if (clip.right > clip.left && clip.bottom > clip.top)
        drawLine(c, lb.line, double(x + ox), ly + oy + lb.ascent, color, clip);
      ly += std::floor(lh + 0.5);
    }
  }
  WINX_CanvasRestore(c);
  return H;
}
