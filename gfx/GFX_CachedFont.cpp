#include "GFX_CachedFont.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "GFX_Blit.h"
#include "GFX_Blur.h"
#include "GFX_Fill.h"
#include "GFX_GlyphBlend.h"
#include "GFX_SysBitmap.h"
#include "WINX_Font.h"

namespace {

// Shared by every cached font (see the class comment: one drawing thread). The count is atomic
// so that fonts made or destroyed on another thread cannot lose or double a reference.
GFX_SysBitmap* s_tempbitmap = nullptr;
GFX_SysBitmap* s_nativerender_tempbitmap = nullptr;
std::atomic<int> s_tempbitmap_refcnt{0};

const unsigned int kAlignFlags = DT_VCENTER | DT_CENTER | DT_BOTTOM | DT_RIGHT;
const unsigned int kMeasureMarker = 0x80000000u;

// White text on black in a glyph-rendering bitmap's context.
void setupGlyphContext(GFX_SysBitmap* bm) {
  HDC dc = bm->getDC();
  ::SetTextColor(dc, 0xffffff);
  ::SetBkMode(dc, OPAQUE);
  ::SetBkColor(dc, 0);
}

// Pixel word to the windowing layer's colour int (0x00RRGGBB).
int colorIntOf(GFX_pixel p) {
  return static_cast<int>((GFX_GETR(p) << 16) | (GFX_GETG(p) << 8) | GFX_GETB(p));
}

bool isContinuation(unsigned char c) { return c >= 0x80 && c <= 0xC0; }

// Weight of the font's opacity, trunc(alpha * 256) in double; false for a value that cannot be
// one (not finite, or far outside 0..1).
bool weightOf(float alpha, int* w) {
  const double v = static_cast<double>(alpha) * 256.0;
  if (!(v > -65536.0 && v < 65536.0)) return false;
  *w = static_cast<int>(v);
  return true;
}

// Remaining-count bookkeeping of the text walks: a positive count shrinks by each character's
// length and the walk ends when it reaches 0; a negative count walks to the NUL.
struct TextWalk {
  const char* p;
  int count;
  bool next(unsigned short* c) {
    if (count == 0 || !*p) return false;
    const int n = GFX_CachedFont::utf8char(p, c);
    p += n;
    if (count > 0) count = std::max(0, count - n);
    return true;
  }
};

}  // namespace

GFX_CachedFont::GFX_CachedFont() {
  memset(m_low, 0, sizeof(m_low));
  s_tempbitmap_refcnt.fetch_add(1);
}

GFX_CachedFont::~GFX_CachedFont() {
  if ((m_flags & GFX_FONT_OWNHFONT) && m_font) DeleteObject(m_font);
  if (s_tempbitmap_refcnt.fetch_sub(1) == 1) {
    delete s_tempbitmap;
    s_tempbitmap = nullptr;
    delete s_nativerender_tempbitmap;
    s_nativerender_tempbitmap = nullptr;
  }
}

GFX_pixel GFX_CachedFont::SetTextColor(GFX_pixel color) {
  GFX_pixel old = m_textColor;
  m_textColor = color;
  return old;
}

GFX_pixel GFX_CachedFont::SetBkColor(GFX_pixel color) {
  GFX_pixel old = m_bkColor;
  m_bkColor = color;
  return old;
}

GFX_pixel GFX_CachedFont::SetEffectColor(GFX_pixel color) {
  GFX_pixel old = m_effectColor;
  m_effectColor = color;
  return old;
}

int GFX_CachedFont::SetBkMode(int mode) {
  int old = m_bkMode;
  m_bkMode = mode;
  return old;
}

void GFX_CachedFont::SetCombineMode(int mode, float alpha) {
  m_combineMode = mode;
  m_alpha = alpha;
}

void GFX_CachedFont::SetFromHFont(HFONT font, int flags) {
  if ((m_flags & GFX_FONT_OWNHFONT) && m_font && m_font != font) DeleteObject(m_font);
  m_flags = flags;
  m_font = font;
  if (font) {
    if (!s_tempbitmap) s_tempbitmap = new GFX_SysBitmap(0, 0);
    if (s_tempbitmap->getWidth() < 256 || s_tempbitmap->getHeight() < 256) {
      s_tempbitmap->resize(256, 256);
      setupGlyphContext(s_tempbitmap);
    }
    HDC dc = s_tempbitmap->getDC();
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRIC tm;
    GetTextMetrics(dc, &tm);
    if (old) SelectObject(dc, old);
    m_lineHeight = tm.tmHeight;
  }
  memset(m_low, 0, sizeof(m_low));
  m_ext.Resize(0, false);
  m_store.Resize(0, true);
  if (flags & GFX_FONT_ASCIIONLY)
    for (int c = 0; c < 128; ++c) RenderGlyph(static_cast<unsigned short>(c));
}

int GFX_CachedFont::_charSortFunc(const void* a, const void* b) {
  return static_cast<const Glyph*>(a)->code - static_cast<const Glyph*>(b)->code;
}

GFX_CachedFont::Glyph* GFX_CachedFont::findChar(unsigned short c) {
  if (c < 128) return &m_low[c];
  const int n = m_ext.GetSize();
  if (n == 0) return nullptr;
  Glyph key = {0, 0, 0, 0, c};
  return static_cast<Glyph*>(bsearch(&key, m_ext.Get(), static_cast<size_t>(n), sizeof(Glyph), _charSortFunc));
}

const unsigned char* GFX_CachedFont::glyphData(const Glyph* g) const {
  if (!g || g->dataPos <= 0) return nullptr;
  const long long start = g->dataPos - 1;
  if (start + static_cast<long long>(g->width) * g->height > m_store.GetSize()) return nullptr;
  return static_cast<const unsigned char*>(m_store.Get()) + start;
}

int GFX_CachedFont::utf8char(const char* text, unsigned short* out) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  const unsigned char c = s[0];
  unsigned short code = c;
  int n = 1;
  if (c >= 0xC2 && c <= 0xDF && isContinuation(s[1])) {
    code = static_cast<unsigned short>(((c & 0x1F) << 6) | (s[1] & 0x3F));
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF && isContinuation(s[1]) && isContinuation(s[2])) {
    code = static_cast<unsigned short>((c << 12) | ((s[1] & 0x3F) << 6) | (s[2] & 0x3F));
    n = 3;
  } else if (c >= 0xF0 && c <= 0xF4 && isContinuation(s[1]) && isContinuation(s[2]) && isContinuation(s[3])) {
    code = 32;  // outside the 16-bit cache: drawn as a space
    n = 4;
  }
  if (out) *out = code;
  return n;
}

bool GFX_CachedFont::RenderGlyph(unsigned short c) {
  if (m_lineHeight > 1023) return false;
  Glyph* g;
  bool appended = false;
  if (c < 128) {
    g = &m_low[c];
  } else {
    g = findChar(c);
    if (!g) {
      if (m_flags & GFX_FONT_ASCIIONLY) return false;
      Glyph fresh = {0, 0, 0, 0, c};
      g = m_ext.Add(fresh);
      if (!g) return false;
      appended = true;
    }
  }

  if (!s_tempbitmap) s_tempbitmap = new GFX_SysBitmap(0, 0);
  const int s = 2 * std::max(m_lineHeight, 1) + 8;
  if (s_tempbitmap->getWidth() < s || s_tempbitmap->getHeight() < s) {
    s_tempbitmap->resize(s, s);
    setupGlyphContext(s_tempbitmap);
  }
  HDC dc = s_tempbitmap->getDC();
  HGDIOBJ oldFont = m_font ? SelectObject(dc, m_font) : nullptr;

  char utf8[4];
  if (c < 128) {
    utf8[0] = static_cast<char>(c);
    utf8[1] = 0;
  } else if (c < 2048) {
    utf8[0] = static_cast<char>(0xC0 + (c >> 6));
    utf8[1] = static_cast<char>(0x80 | (c & 0x3F));
    utf8[2] = 0;
  } else {
    utf8[0] = static_cast<char>(0xE0 | (c >> 12));
    utf8[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    utf8[2] = static_cast<char>(0x80 | (c & 0x3F));
    utf8[3] = 0;
  }

  RECT r = {0, 0, 0, 0};
  // Control characters have no glyph: rendering them would show a placeholder box.
  if (c >= 32 && c != 127) WINX_DrawText(dc, utf8, -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  const int W = r.right, H = r.bottom;
  const int pad = m_lineHeight <= 15 ? 2 : m_lineHeight / 16 + 2;
  int boxW = W + pad;
  const int bmW = s_tempbitmap->getWidth(), bmH = s_tempbitmap->getHeight();
  bool ok = s_tempbitmap->getBits() && W > 0 && H > 0;
  int advance = 0, boxH = 0;
  if (ok) {
    boxW = std::min(boxW, bmW);
    GFX_FillRect(s_tempbitmap, 0, 0, boxW, H, 0, 1.0f, 0);
    // Drawn into the padded box, not the measured one, so ink past the advance (italics,
    // overhanging letters) is kept; the used width below trims what stays empty.
    RECT box = {0, 0, boxW, H};
    WINX_DrawText(dc, utf8, -1, &box, DT_SINGLELINE | DT_NOPREFIX);
    advance = std::min(W, bmW);
    boxH = std::min(H, bmH);
  }
  if (oldFont) SelectObject(dc, oldFont);

  long long need = static_cast<long long>(boxW) * boxH;
  const int start = m_store.GetSize();
  if (ok && (advance < 1 || boxH < 1)) ok = false;
  if (ok && static_cast<long long>(start) + need > INT_MAX - 1) ok = false;
  if (ok) {
    m_store.Resize(start + static_cast<int>(need), false);
    if (m_store.GetSize() != start + need) ok = false;
  }
  if (!ok) {
    *g = {-1, 0, 0, 0, c};
  } else {
    g->advance = advance;
    if (m_flags & GFX_FONT_BLUR) GFX_Blur(s_tempbitmap, s_tempbitmap, 0, 0, 0, 0, boxW, boxH);
    g->dataPos = start + 1;
    unsigned char* out = static_cast<unsigned char*>(m_store.Get()) + start;
    const GFX_pixel* bits = s_tempbitmap->getBits();
    const int span = s_tempbitmap->getRowSpan();
    const bool invert = (m_flags & GFX_FONT_INVERT) != 0;
    int used = advance;
    for (int y = 0; y < boxH; ++y) {
      const GFX_pixel* row = bits + static_cast<long long>(s_tempbitmap->isFlipped() ? bmH - 1 - y : y) * span;
      for (int x = 0; x < boxW; ++x) {
        unsigned char v = static_cast<unsigned char>(GFX_GETR(row[x]));
        if (invert) v = static_cast<unsigned char>(255 - v);
        out[y * boxW + x] = v;
        if (v && x >= used) used = x + 1;
      }
    }
    int w = boxW, h = boxH;
    if (used < boxW) {
      for (int y = 1; y < boxH; ++y) memmove(out + y * used, out + y * boxW, static_cast<size_t>(used));
      m_store.Resize(start + used * boxH, false);
      w = used;
    }
    if (m_flags & GFX_FONT_VERTICAL) {
      std::vector<unsigned char> tmp(out, out + static_cast<size_t>(w) * h);
      const int ow = w, oh = h;
      w = oh;
      h = ow;
      for (int i = 0; i < h; ++i)
        for (int j = 0; j < w; ++j)
          out[i * w + j] = (m_flags & GFX_FONT_BOTTOMUP) ? tmp[static_cast<size_t>(j) * ow + (ow - 1 - i)]
                                                         : tmp[static_cast<size_t>(oh - 1 - j) * ow + i];
    }
    if (m_flags & (GFX_FONT_MONO | GFX_FONT_SHADOW | GFX_FONT_OUTLINE)) {
      const int n = w * h;
      for (int i = 0; i < n; ++i) out[i] = out[i] > 130 ? 255 : 0;
      if (m_flags & (GFX_FONT_SHADOW | GFX_FONT_OUTLINE)) {
        const bool shadow = (m_flags & GFX_FONT_SHADOW) != 0;
        auto full = [&](int x, int y) { return x >= 0 && y >= 0 && x < w && y < h && out[y * w + x] == 255; };
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) {
            unsigned char& v = out[y * w + x];
            if (v) continue;
            const bool mark = shadow ? (full(x - 1, y) || full(x, y - 1) || full(x - 1, y - 1))
                                     : (full(x, y - 1) || full(x, y + 1) || full(x - 1, y) || full(x + 1, y));
            if (mark) v = 128;
          }
      }
    }
    g->width = w;
    g->height = h;
  }
  if (appended && m_ext.GetSize() >= 2)
    qsort(m_ext.Get(), static_cast<size_t>(m_ext.GetSize()), sizeof(Glyph), _charSortFunc);
  return true;
}

GFX_CachedFont::Glyph* GFX_CachedFont::glyphFor(unsigned short c) {
  Glyph* g = findChar(c);
  if (!g) {
    const int before = m_ext.GetSize();
    RenderGlyph(c);
    if (m_ext.GetSize() == before) return nullptr;
    g = findChar(c);
    if (!g) return nullptr;
  }
  if (g->dataPos == -1) return nullptr;
  if (g->dataPos == 0) {
    RenderGlyph(c);
    g = findChar(c);  // the list may have moved
    if (!g || g->dataPos <= 0) return nullptr;
  }
  return g;
}

void GFX_CachedFont::measureGlyphs(const char* text, int count, unsigned int flags, int* outW, int* outH) {
  const bool vertical = (m_flags & GFX_FONT_VERTICAL) != 0;
  const int step = m_lineHeight + m_lineAdjust;
  long long x = 0, y = 0, w = 0, h = 0;
  TextWalk walk{text, count};
  unsigned short c;
  while (walk.next(&c)) {
    if (c == 13) continue;
    if (c == 10 && !(flags & DT_SINGLELINE)) {
      if (vertical) {
        x += step;
        y = 0;
      } else {
        y += step;
        x = 0;
      }
      continue;
    }
    if (c == 10) c = ' ';
    Glyph* g = glyphFor(c);
    if (!g) continue;
    if (!vertical) {
      h = std::max(h, y + g->height);
      w = std::max({w, x + g->advance, x + g->width});
      x += g->advance;
    } else {
      w = std::max(w, x + g->width);
      h = std::max({h, y + g->advance, y + g->height});
      y += g->advance;
    }
  }
  *outW = static_cast<int>(std::min<long long>(w, INT_MAX));
  *outH = static_cast<int>(std::min<long long>(h, INT_MAX));
}

int GFX_CachedFont::DrawText(GFX_IBitmap* bm, const char* text, int count, RECT* rect, unsigned int flags) {
  return drawTextImpl(bm, text, count, rect, flags);
}

int GFX_CachedFont::drawTextImpl(GFX_IBitmap* bm, const char* text, int count, RECT* rect, unsigned int flags) {
  if (!rect || !text) return 0;
  if (!(flags & DT_CALCRECT) && !bm) return 0;
  const bool native =
      m_lineHeight >= 256 || ((m_flags & GFX_FONT_NATIVE) && !(m_flags & 0x1F7) && flags < GFX_DT_USE_TEXT_ALPHA &&
                              m_font && (m_lineAdjust == 0 || (flags & DT_SINGLELINE)));
  if (native) return drawNative(bm, text, count, rect, flags);

  const bool vertical = (m_flags & GFX_FONT_VERTICAL) != 0;
  const bool bottomUp = vertical && (m_flags & GFX_FONT_BOTTOMUP);
  if (flags & DT_CALCRECT) {
    int w = 0, h = 0;
    measureGlyphs(text, count, flags, &w, &h);
    rect->right = static_cast<int>(std::min<long long>(INT_MAX, static_cast<long long>(rect->left) + w));
    rect->bottom = static_cast<int>(std::min<long long>(INT_MAX, static_cast<long long>(rect->top) + h));
    return vertical ? w : h;
  }

  const float savedAlpha = m_alpha;
  if (flags & GFX_DT_USE_TEXT_ALPHA) m_alpha = static_cast<float>(m_alpha * (GFX_GETA(m_textColor) / 255.0));
  if (m_alpha == 0.0f) {
    m_alpha = savedAlpha;
    return 0;
  }

  long long x = rect->left, y = rect->top;
  int mw = 0, mh = 0;
  bool measured = false;
  if (flags & kAlignFlags) {
    measureGlyphs(text, count, DT_CALCRECT | (flags & DT_SINGLELINE) | kMeasureMarker, &mw, &mh);
    measured = true;
    // Centring wins over right and bottom alignment on this path.
    if (flags & DT_CENTER)
      x = (static_cast<long long>(rect->right) - rect->left - mw) / 2 + rect->left;
    else if (flags & DT_RIGHT)
      x = static_cast<long long>(rect->right) - mw;
    if (flags & DT_VCENTER)
      y = (static_cast<long long>(rect->bottom) - rect->top - mh) / 2 + rect->top;
    else if (flags & DT_BOTTOM)
      y = static_cast<long long>(rect->bottom) - mh;
  }
  if (bottomUp) {
    if (!measured) measureGlyphs(text, count, DT_CALCRECT | (flags & DT_SINGLELINE) | kMeasureMarker, &mw, &mh);
    y += mh;
  }

  RECT clip;
  const int bw = bm->getWidth(), bh = bm->getHeight();
  if (flags & DT_NOCLIP) {
    clip = {0, 0, bw, bh};
  } else {
    clip = {std::max(rect->left, 0), std::max(rect->top, 0), std::min(rect->right, bw), std::min(rect->bottom, bh)};
    if (clip.right <= clip.left || clip.bottom <= clip.top) {
      m_alpha = savedAlpha;
      return 0;
    }
  }

  // Pen positions are kept in 64 bits and handed to DrawGlyph only while they fit an int.
  const long long startX = x, startY = y;
  long long extentRight = x, extentBottom = y;
  const int step = m_lineHeight + m_lineAdjust;
  TextWalk walk{text, count};
  unsigned short c;
  while (walk.next(&c)) {
    if (c == 13) continue;
    if (c == 10 && !(flags & DT_SINGLELINE)) {
      if (vertical) {
        x += step;
        y = startY;
      } else {
        y += step;
        x = startX;
      }
      continue;
    }
    if (c == 10) c = ' ';
    Glyph* g = glyphFor(c);
    if (!g || !glyphData(g)) continue;
    const int gw = g->width, gh = g->height, adv = g->advance;
    if (bottomUp) y -= gh;
    const bool fits = x > INT_MIN / 2 && x < INT_MAX / 2 && y > INT_MIN / 2 && y < INT_MAX / 2;
    const bool drawn = fits && DrawGlyph(bm, c, static_cast<int>(x), static_cast<int>(y), &clip);
    if (!vertical)
      x += adv;
    else if (bottomUp)
      y += gh - adv;
    else
      y += adv;
    if (drawn) {
      if (!vertical)
        extentBottom = std::max(extentBottom, y + gh);
      else
        extentRight = std::max(extentRight, x + gw);
    }
  }
  m_alpha = savedAlpha;
  const long long result = vertical ? extentRight - startX : extentBottom - startY;
  return static_cast<int>(std::max<long long>(INT_MIN, std::min<long long>(INT_MAX, result)));
}

int GFX_CachedFont::drawNative(GFX_IBitmap* bm, const char* text, int count, RECT* rect, unsigned int flags) {
  HDC dc = bm ? bm->getDC() : nullptr;
  const bool own = dc != nullptr;
  if (!own) {
    if (!s_nativerender_tempbitmap) s_nativerender_tempbitmap = new GFX_SysBitmap(0, 0);
    if (s_nativerender_tempbitmap->getWidth() < 4 || s_nativerender_tempbitmap->getHeight() < 4)
      s_nativerender_tempbitmap->resize(std::max(4, s_nativerender_tempbitmap->getWidth()),
                                        std::max(4, s_nativerender_tempbitmap->getHeight()));
    dc = s_nativerender_tempbitmap->getDC();
    if (!dc) return 0;
  }
  HGDIOBJ oldFont = SelectObject(dc, m_font);
  auto applyColours = [&](HDC d) {
    ::SetTextColor(d, colorIntOf(m_textColor));
    ::SetBkMode(d, m_bkMode);
    if (m_bkMode == OPAQUE) ::SetBkColor(d, colorIntOf(m_bkColor));
  };
  const int drawFlags = static_cast<int>((flags & ~kMeasureMarker) | DT_NOPREFIX);

  if (own) {
    RECT r = *rect;
    if (!(flags & DT_CALCRECT)) applyColours(dc);
    const int res = WINX_DrawText(dc, text, count, &r, drawFlags);
    if (flags & DT_CALCRECT) {
      rect->right = r.right;
      rect->bottom = r.bottom;
    }
    if (oldFont) SelectObject(dc, oldFont);
    return res;
  }

  RECT m = {0, 0, 0, 0};
  WINX_DrawText(dc, text, count, &m, static_cast<int>((flags & ~(kAlignFlags | kMeasureMarker)) | DT_CALCRECT | DT_NOPREFIX));
  const int w = m.right, h = m.bottom;
  if (flags & DT_CALCRECT) {
    rect->right = static_cast<int>(std::min<long long>(INT_MAX, static_cast<long long>(rect->left) + w));
    rect->bottom = static_cast<int>(std::min<long long>(INT_MAX, static_cast<long long>(rect->top) + h));
    if (oldFont) SelectObject(dc, oldFont);
    return h;
  }
  long long x0 = flags & DT_RIGHT ? static_cast<long long>(rect->right) - w
                 : flags & DT_CENTER ? (static_cast<long long>(rect->left) + rect->right - w) / 2
                                     : rect->left;
  long long y0 = flags & DT_BOTTOM ? static_cast<long long>(rect->bottom) - h
                 : flags & DT_VCENTER ? (static_cast<long long>(rect->top) + rect->bottom - h) / 2
                                      : rect->top;
  long long x1 = std::min<long long>(x0 + w, bm->getWidth()), y1 = std::min<long long>(y0 + h, bm->getHeight());
  long long bx0, by0;
  if (!(flags & DT_NOCLIP)) {
    x1 = std::min<long long>(x1, rect->right);
    y1 = std::min<long long>(y1, rect->bottom);
    bx0 = std::max<long long>(x0, std::max(rect->left, 0));
    by0 = std::max<long long>(y0, std::max(rect->top, 0));
  } else {
    bx0 = std::max<long long>(x0, 0);
    by0 = std::max<long long>(y0, 0);
  }
  if (x1 <= bx0 || y1 <= by0) {
    if (oldFont) SelectObject(dc, oldFont);
    return h;
  }
  const int boxW = static_cast<int>(x1 - bx0), boxH = static_cast<int>(y1 - by0);
  const int offX = static_cast<int>(x0 - bx0), offY = static_cast<int>(y0 - by0);
  GFX_SysBitmap* tmp = s_nativerender_tempbitmap;
  if (tmp->getWidth() < boxW || tmp->getHeight() < boxH) {
    if (oldFont) SelectObject(dc, oldFont);
    tmp->resize(boxW, boxH);
    dc = tmp->getDC();
    if (!dc || !tmp->getBits()) return 0;
    oldFont = SelectObject(dc, m_font);
  }
  GFX_Blit(tmp, bm, 0, 0, static_cast<int>(bx0), static_cast<int>(by0), boxW, boxH, 1.0f, 0);
  applyColours(dc);
  RECT r = {offX, offY, boxW, boxH};
  const int res = WINX_DrawText(dc, text, count, &r,
                                static_cast<int>((flags & ~(kAlignFlags | kMeasureMarker | DT_NOCLIP)) | DT_NOPREFIX));
  GFX_Blit(bm, tmp, static_cast<int>(bx0), static_cast<int>(by0), 0, 0, boxW, boxH, m_alpha, 0);
  if (oldFont) SelectObject(dc, oldFont);
  return res;
}

bool GFX_CachedFont::DrawGlyph(GFX_IBitmap* bitmap, unsigned short character, int x, int y, RECT* clipIn) {
  Glyph* g = findChar(character);
  if (!g || !bitmap || !clipIn) return false;
  const unsigned char* data = glyphData(g);
  if (!data) return false;
  // The clip is trusted by nobody: limited to the bitmap here, whatever the caller passed.
  RECT clip = {std::max(clipIn->left, 0), std::max(clipIn->top, 0), std::min(clipIn->right, bitmap->getWidth()),
               std::min(clipIn->bottom, bitmap->getHeight())};
  const int w = g->width, h = g->height;
  const long long xr = static_cast<long long>(x) + w, yb = static_cast<long long>(y) + h;
  if (xr <= clip.left || clip.right <= x || yb <= clip.top || clip.bottom <= y) return false;

  const unsigned char* src = data;
  int dx = x, dy = y, dw = w, dh = h;
  if (clip.left > x) {
    src += clip.left - x;
    dx = clip.left;
    dw = static_cast<int>(xr - clip.left);
  }
  if (clip.top > y) {
    src += static_cast<long long>(clip.top - y) * w;
    dy = clip.top;
    dh = static_cast<int>(yb - clip.top);
  }
  if (static_cast<long long>(dx) + dw >= clip.right) dw = clip.right - dx;
  if (static_cast<long long>(dy) + dh >= clip.bottom) dh = clip.bottom - dy;
  if (dw < 1 || dh < 1) return false;

  GFX_pixel* bits = bitmap->getBits();
  const int span = bitmap->getRowSpan();
  if (!bits || span < bitmap->getWidth()) return false;
  long long destSpan = span;
  GFX_pixel* dest;
  if (bitmap->isFlipped()) {
    dest = bits + static_cast<long long>(bitmap->getHeight() - 1 - dy) * span + dx;
    destSpan = -destSpan;
  } else {
    dest = bits + static_cast<long long>(dy) * span + dx;
  }

  if (m_bkMode == OPAQUE) GFX_FillRect(bitmap, dx, dy, dw, dh, m_bkColor, m_alpha, m_combineMode & ~0x10000);

  const int r = GFX_GETR(m_textColor), gg = GFX_GETG(m_textColor), b = GFX_GETB(m_textColor);
  const int op = m_combineMode & 0xff;
  int weight = 0;
  if (!weightOf(m_alpha, &weight)) return true;
  const bool opaqueCopy = m_alpha == 1.0f && op == 0;

  if (m_flags & GFX_FONT_MONO) {
    if (opaqueCopy) {
      for (int yy = 0; yy < dh; ++yy)
        for (int xx = 0; xx < dw; ++xx)
          if (src[yy * w + xx]) dest[yy * destSpan + xx] = m_textColor;
      return true;
    }
    weight = std::min(weight, 256);
    if (weight == 0 || (op == 0 && weight < 1)) return true;
    GFX_SelectPlainCombiner(op, [&](auto tag) {
      GlyphRenderer<typename decltype(tag)::type>::Mono(src, dest, w, destSpan, dw, dh, r, gg, b, weight);
    });
  } else if (!(m_flags & (GFX_FONT_SHADOW | GFX_FONT_OUTLINE))) {
    if (weight == 0 || (op == 0 && weight < 1)) return true;
    GFX_SelectPlainCombiner(op, [&](auto tag) {
      GlyphRenderer<typename decltype(tag)::type>::Normal(src, dest, w, destSpan, dw, dh, r, gg, b, weight);
    });
  } else {
    const int er = GFX_GETR(m_effectColor), eg = GFX_GETG(m_effectColor), eb = GFX_GETB(m_effectColor);
    if (opaqueCopy) {
      for (int yy = 0; yy < dh; ++yy)
        for (int xx = 0; xx < dw; ++xx) {
          const unsigned char v = src[yy * w + xx];
          if (v == 255)
            dest[yy * destSpan + xx] = m_textColor;
          else if (v)
            dest[yy * destSpan + xx] = m_effectColor;
        }
      return true;
    }
    weight = std::min(weight, 256);
    if (weight == 0 || (op == 0 && weight < 1)) return true;
    GFX_SelectPlainCombiner(op, [&](auto tag) {
      GlyphRenderer<typename decltype(tag)::type>::Effect(src, dest, w, destSpan, dw, dh, r, gg, b, weight, er, eg,
                                                          eb);
    });
  }
  return true;
}
