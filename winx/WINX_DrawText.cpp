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
#include <unordered_map>
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

// One line of a laid-out text. Its ink box (one pixel of slack around the ink: antialiasing of a
// fractional baseline may spill over) is relative to the line's top-left pen position, which is
// always a whole pixel: the coverage rendered once is the coverage of every later draw.
struct TextLine {
  double width, ascent, descent;
  PangoLayoutLine* line;  // valid only during the call that laid the text out
  RECT ink;               // empty for blanks only
  size_t maskAt;          // the box's coverage in LaidOutText::masks, row after row
};

// A text laid out (and, when kept, rendered) once for a font and antialiasing.
struct LaidOutText {
  std::vector<TextLine> lines;
  std::vector<uint8_t> masks;  // every line's coverage; empty when the text is too big to keep
  unsigned long long lastUse = 0;
  size_t bytes() const { return masks.size() + lines.size() * sizeof(TextLine) + sizeof(LaidOutText); }
};

// Texts are kept while their coverage is at most this big (about ten lines of the interface's
// widest panel), and a thread keeps up to this much of them; the least recently drawn half goes
// when it has more. A text takes about 1 KB: every page's texts together under 64 KB, the names
// of the two banks shown and of the four a step away about 0.6 MB, so the half that stays holds
// them. A librarian walk lays out names that never come again, and a larger bound only lets the
// session's memory creep up to it.
constexpr size_t kMaxKeptTextBytes = 64 * 1024;
constexpr size_t kMaxCacheBytes = 2 * 1024 * 1024;

class TextCache {
public:
  // The kept text under a key; null when there is none.
  LaidOutText* find(const std::string& key) {
    auto it = mTexts.find(key);
    if (it == mTexts.end()) return nullptr;
    it->second.lastUse = ++mTick;
    return &it->second;
  }
  LaidOutText* keep(const std::string& key, LaidOutText&& text) {
    text.lastUse = ++mTick;
    mBytes += text.bytes() + key.size();
    if (mBytes > kMaxCacheBytes) trim();
    return &(mTexts[key] = std::move(text));
  }
  void clear() {
    mTexts.clear();
    mBytes = 0;
  }
  // Texts laid out on this thread (not found kept) since it started.
  unsigned long long layouts = 0;

private:
  void trim() {
    std::vector<unsigned long long> uses;
    for (const auto& t : mTexts) uses.push_back(t.second.lastUse);
    auto mid = uses.begin() + static_cast<long>(uses.size() / 2);
    std::nth_element(uses.begin(), mid, uses.end());
    for (auto it = mTexts.begin(); it != mTexts.end();) {
      if (it->second.lastUse <= *mid) {
        mBytes -= it->second.bytes() + it->first.size();
        it = mTexts.erase(it);
      } else {
        ++it;
      }
    }
  }
  std::unordered_map<std::string, LaidOutText> mTexts;
  size_t mBytes = 0;
  unsigned long long mTick = 0;
};

// A coverage surface kept per thread and grown to the largest line rendered, with its Cairo
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
  std::string utf8, key;
  LaidOutText fresh;  // a text laid out now and too big to keep
  MaskSurface mask;
  TextCache cache;
};
thread_local ThreadScratch t_scratch;

// Renders the part `part` (relative to the line's top-left pen position) of a laid-out line as
// coverage into the thread's mask surface; returns its first byte and sets *stride, or null.
const uint8_t* renderLine(const TextLine& tl, const RECT& part, int* stride) {
  const int w = part.right - part.left, h = part.bottom - part.top;
  MaskSurface& m = t_scratch.mask;
  if (w <= 0 || h <= 0 || !m.ensure(w, h)) return nullptr;
  cairo_surface_flush(m.surf);
  unsigned char* data = cairo_image_surface_get_data(m.surf);
  *stride = cairo_image_surface_get_stride(m.surf);
  for (int y = 0; y < h; ++y) memset(data + static_cast<size_t>(y) * *stride, 0, static_cast<size_t>(w));
  cairo_surface_mark_dirty_rectangle(m.surf, 0, 0, w, h);
  // Only the cleared corner may be drawn: ink cut off by the part must not land in the rest of
  // the surface, which a later, larger line would read without clearing.
  cairo_reset_clip(m.cr);
  cairo_new_path(m.cr);
  cairo_rectangle(m.cr, 0, 0, w, h);
  cairo_clip(m.cr);
  // Coverage adds up: neighbouring glyphs that share an edge pixel cover disjoint parts of it,
  // and pixman's glyph path for ADD onto A8 skips the temporary mask OVER needs (nearly twice
  // as fast). Only truly overlapping outlines (stacked accents) come out a little darker.
  cairo_set_operator(m.cr, CAIRO_OPERATOR_ADD);
  cairo_move_to(m.cr, -part.left, tl.ascent - part.top);
  pango_cairo_show_layout_line(m.cr, tl.line);
  cairo_surface_flush(m.surf);
  return data;
}

// The cleaned text laid out in the font, kept from an earlier call or laid out now (and kept
// when small enough); null when nothing could be laid out.
const LaidOutText* layOut(const WINX_FontData* font, bool antialias, const char* cleaned, int n, bool multi) {
  ThreadScratch& ts = t_scratch;
  ts.key.assign(reinterpret_cast<const char*>(&font->serial), sizeof font->serial);
  ts.key.push_back(antialias ? 'a' : 'n');
  ts.key.append(cleaned, static_cast<size_t>(n));
  if (const LaidOutText* kept = ts.cache.find(ts.key)) return kept;
  ++ts.cache.layouts;

  PangoLayout* layout = WINX_ThreadPangoLayout(antialias);
  const PangoFontDescription* cur = pango_layout_get_font_description(layout);
  if (!cur || !pango_font_description_equal(cur, font->desc)) pango_layout_set_font_description(layout, font->desc);
  // One line draws every character on it, paragraph separators included.
  pango_layout_set_single_paragraph_mode(layout, !multi);
  pango_layout_set_text(layout, asUtf8(cleaned, n, &ts.utf8), -1);

  // A text that ends in a line feed has no empty last line.
  LaidOutText& t = ts.fresh;
  t.lines.clear();
  t.masks.clear();
  size_t maskBytes = 0;
  const int count = pango_layout_get_line_count(layout);
  for (int li = 0; li < count; ++li) {
    PangoLayoutLine* line = pango_layout_get_line_readonly(layout, li);
    if (!line) continue;
    if (li == count - 1 && li > 0 && line->length == 0) break;
    PangoRectangle logical, ink;
    pango_layout_line_get_extents(line, nullptr, &logical);
    pango_layout_line_get_pixel_extents(line, &ink, nullptr);
    const double asc = -logical.y / double(PANGO_SCALE);
    TextLine tl{logical.width / double(PANGO_SCALE), asc, logical.height / double(PANGO_SCALE) - asc, line, {0, 0, 0, 0},
                maskBytes};
    if (ink.width > 0 && ink.height > 0) {
      const long long top = static_cast<long long>(std::floor(asc)) + ink.y - 1;
      tl.ink = {ink.x - 1, clampInt(top), clampInt(static_cast<long long>(ink.x) + ink.width + 2),
                clampInt(top + ink.height + 3)};
      maskBytes += static_cast<size_t>(tl.ink.right - tl.ink.left) * static_cast<size_t>(tl.ink.bottom - tl.ink.top);
    }
    t.lines.push_back(tl);
  }
  if (t.lines.empty()) return nullptr;
  if (maskBytes > kMaxKeptTextBytes) return &t;
  t.masks.resize(maskBytes);
  for (TextLine& tl : t.lines) {
    int stride = 0;
    const uint8_t* cov = renderLine(tl, tl.ink, &stride);
    const size_t w = static_cast<size_t>(tl.ink.right - tl.ink.left);
    for (int y = 0; cov && y < tl.ink.bottom - tl.ink.top; ++y)
      memcpy(&t.masks[tl.maskAt + static_cast<size_t>(y) * w], cov + static_cast<size_t>(y) * stride, w);
    tl.line = nullptr;
  }
  return ts.cache.keep(ts.key, std::move(t));
}

// Blends one line whose top-left pen position is pixel (px, py) into the canvas, touching
// nothing outside clip.
void drawLine(WINX_Canvas* c, const LaidOutText& t, const TextLine& tl, long long px, long long py, int color,
              const RECT& clip) {
  if (tl.ink.right <= tl.ink.left) return;  // blanks only
  // Far off the canvas: nothing to draw, and no coordinate may overflow.
  if (px < -(1LL << 30) || px > (1LL << 30) || py < -(1LL << 30) || py > (1LL << 30)) return;
  const int x = static_cast<int>(px), y = static_cast<int>(py);
  if (!t.masks.empty()) {
    WINX_CanvasBlendMask(c, x + tl.ink.left, y + tl.ink.top, &t.masks[tl.maskAt], tl.ink.right - tl.ink.left,
                         tl.ink.right - tl.ink.left, tl.ink.bottom - tl.ink.top, color, clip);
    return;
  }
  // Too big to keep: only the part inside the clip is rendered.
  const RECT part = {std::max(tl.ink.left, clip.left - x), std::max(tl.ink.top, clip.top - y),
                     std::min(tl.ink.right, clip.right - x), std::min(tl.ink.bottom, clip.bottom - y)};
  int stride = 0;
  if (const uint8_t* cov = renderLine(tl, part, &stride))
    WINX_CanvasBlendMask(c, x + part.left, y + part.top, cov, stride, part.right - part.left, part.bottom - part.top,
                         color, clip);
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

  const LaidOutText* laid = layOut(font, antialias, cleaned, n, multi);
  if (!laid) return 0;
  const double leading = 0.0;  // Pango lines carry no separate leading
  long long width = 0, height = 0;
  for (const TextLine& lb : laid->lines) {
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
    const TextLine& lb = laid->lines[0];
    if (opaque) WINX_CanvasFillRect(c, clampInt(x), clampInt(y), clampInt(x + width), clampInt(y + H), dc->bkColor);
    if (clip.right > clip.left && clip.bottom > clip.top) drawLine(c, *laid, lb, x + ox, y + oy, color, clip);
  } else {
    double ly = double(y);
    for (const TextLine& lb : laid->lines) {
      const double lh = lb.ascent + lb.descent + leading;
      if (opaque)
        WINX_CanvasFillRect(c, clampInt(x), clampInt(static_cast<long long>(std::floor(ly + 0.5))),
                            clampInt(x + static_cast<long long>(std::floor(lb.width + 0.5))),
                            clampInt(static_cast<long long>(std::floor(ly + lh + 0.5))), dc->bkColor);
      if (clip.right > clip.left && clip.bottom > clip.top)
        drawLine(c, *laid, lb, x + ox, static_cast<long long>(ly) + oy, color, clip);
      ly += std::floor(lh + 0.5);
    }
  }
  WINX_CanvasRestore(c);
  return H;
}

void WINX_ThreadTextCacheClear() { t_scratch.cache.clear(); }

unsigned long long WINX_ThreadTextLayouts() { return t_scratch.cache.layouts; }
