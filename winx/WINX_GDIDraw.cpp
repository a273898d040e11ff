// GDI drawing into a context's canvas. One scanline polygon filler serves every shape: pixels
// whose centre (x + 0.5, y + 0.5) lies inside the outline are painted (top and left edges
// inclusive), blended by the colour's alpha. Strokes are unions of per-segment quads, so a
// translucent stroke darkens where its segments overlap; the layer's controls draw opaque lines.
#include "WINX_GDIDraw.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct PtF {
  double x, y;
};

inline uint32_t blendWord(uint32_t d, unsigned r, unsigned g, unsigned b, unsigned a) {
  if (a >= 255) return WINX_CanvasPixel(r, g, b, 255);
  auto mix = [a](unsigned dv, unsigned sv) { return (sv * a + dv * (255 - a) + 127) / 255; };
  const unsigned da = d & 0xFF, dr = (d >> 8) & 0xFF, dg = (d >> 16) & 0xFF, db = (d >> 24) & 0xFF;
  return WINX_CanvasPixel(mix(dr, r), mix(dg, g), mix(db, b), mix(da, 255));
}

struct Paint {
  unsigned r, g, b, a;
};

Paint paintOf(const WINX_Color& c) {
  auto ch = [](float v) { return static_cast<unsigned>(std::lround(std::min(std::max(v, 0.f), 1.f) * 255.f)); };
  return {ch(c.r), ch(c.g), ch(c.b), ch(c.a)};
}

Paint paintOfInt(int color) {
  return {static_cast<unsigned>((color >> 16) & 0xFF), static_cast<unsigned>((color >> 8) & 0xFF),
          static_cast<unsigned>(color & 0xFF), 255};
}

WINX_Canvas* canvasOf(HDC hdc) {
  HDC__* dc = WINX_ValidDC(hdc);
  return (dc && dc->ctx && dc->ctx->pixels) ? dc->ctx : nullptr;
}

void spanFill(WINX_Canvas* c, int y, int x0, int x1, const Paint& p, const RECT& clip) {
  if (y < clip.top || y >= clip.bottom) return;
  x0 = std::max(x0, static_cast<int>(clip.left));
  x1 = std::min(x1, static_cast<int>(clip.right));
  uint32_t* row = c->pixels + static_cast<size_t>(y) * c->rowWords;
  for (int x = x0; x < x1; ++x) row[x] = blendWord(row[x], p.r, p.g, p.b, p.a);
}

// Even-odd scanline fill of a closed outline in logical coordinates.
void fillPolygonF(WINX_Canvas* c, const std::vector<PtF>& pts, const Paint& p) {
  if (pts.size() < 3 || p.a == 0) return;
  const RECT clip = WINX_CanvasClip(c);
  if (clip.right <= clip.left || clip.bottom <= clip.top) return;
  const double ox = c->state.originX, oy = c->state.originY;
  double minY = 1e18, maxY = -1e18;
  for (const PtF& q : pts) {
    minY = std::min(minY, q.y + oy);
    maxY = std::max(maxY, q.y + oy);
  }
  const int y0 = std::max(static_cast<int>(clip.top), static_cast<int>(std::floor(minY)));
  const int y1 = std::min(static_cast<int>(clip.bottom), static_cast<int>(std::ceil(maxY)) + 1);
  std::vector<double> xs;
  const size_t n = pts.size();
  for (int y = y0; y < y1; ++y) {
    const double sy = y + 0.5;
    xs.clear();
    for (size_t i = 0; i < n; ++i) {
      PtF a = {pts[i].x + ox, pts[i].y + oy}, b = {pts[(i + 1) % n].x + ox, pts[(i + 1) % n].y + oy};
      if ((a.y <= sy && b.y > sy) || (b.y <= sy && a.y > sy)) xs.push_back(a.x + (sy - a.y) * (b.x - a.x) / (b.y - a.y));
    }
    std::sort(xs.begin(), xs.end());
    for (size_t i = 0; i + 1 < xs.size(); i += 2) {
      const double l = std::max(xs[i], -1e9), r = std::min(xs[i + 1], 1e9);
      spanFill(c, y, static_cast<int>(std::ceil(l - 0.5)), static_cast<int>(std::ceil(r - 0.5)), p, clip);
    }
  }
}

void strokeSegment(WINX_Canvas* c, PtF a, PtF b, double w, const Paint& p) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double len = std::sqrt(dx * dx + dy * dy);
  const double h = w / 2;
  if (len < 1e-9) {
    fillPolygonF(c, {{a.x - h, a.y - h}, {a.x + h, a.y - h}, {a.x + h, a.y + h}, {a.x - h, a.y + h}}, p);
    return;
  }
  // Square caps: the quad reaches half the width beyond both ends, so joints close.
  const double ux = dx / len * h, uy = dy / len * h;
  fillPolygonF(c, {{a.x - ux - uy, a.y - uy + ux}, {b.x + ux - uy, b.y + uy + ux}, {b.x + ux + uy, b.y + uy - ux},
                   {a.x - ux + uy, a.y - uy - ux}},
               p);
}

void strokePath(WINX_Canvas* c, const std::vector<PtF>& pts, double w, const Paint& p) {
  for (size_t i = 0; i + 1 < pts.size(); ++i) strokeSegment(c, pts[i], pts[i + 1], w, p);
}

HGDIOBJ__* usablePen(HDC__* dc) {
  HGDIOBJ__* o = WINX_ValidObj(dc->curPen, WINX_GDI_PEN);
  return (o && o->width >= 0) ? o : nullptr;
}
HGDIOBJ__* usableBrush(HGDIOBJ b) {
  HGDIOBJ__* o = WINX_ValidObj(b, WINX_GDI_BRUSH);
  return (o && o->width >= 0) ? o : nullptr;
}

void ellipsePoints(std::vector<PtF>* out, double l, double t, double r, double b) {
  const double cx = (l + r) / 2, cy = (t + b) / 2, rx = (r - l) / 2, ry = (b - t) / 2;
  const int n = 64;
  for (int i = 0; i < n; ++i) {
    const double a = 2 * M_PI * i / n;
    out->push_back({cx + rx * std::cos(a), cy + ry * std::sin(a)});
  }
}

void releaseImage(void* img) { WINX_ImageRelease(static_cast<WINX_Image*>(img)); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Images

WINX_Image* WINX_ImageCreate(int width, int height) {
  if (width < 1 || height < 1 || static_cast<long long>(width) * height > (1LL << 28)) return nullptr;
  uint32_t* px = static_cast<uint32_t*>(calloc(static_cast<size_t>(width) * height, 4));
  if (!px) return nullptr;
  return new WINX_Image{width, height, 1, px};
}

void WINX_ImageRetain(WINX_Image* img) {
  if (img) __atomic_add_fetch(&img->refCount, 1, __ATOMIC_RELAXED);
}

void WINX_ImageRelease(WINX_Image* img) {
  if (img && __atomic_sub_fetch(&img->refCount, 1, __ATOMIC_ACQ_REL) == 0) {
    free(img->pixels);
    delete img;
  }
}

HBITMAP WINX_NewBitmapObject(WINX_Image* img) {
  if (!img) return nullptr;
  HGDIOBJ__* o = WINX_NewGDIObject(WINX_GDI_BITMAP);
  if (!o) return nullptr;
  WINX_ImageRetain(img);
  o->image = img;
  o->imageRelease = releaseImage;
  o->width = 1;
  o->imageWidth = img->width;
  o->imageHeight = img->height;
  return o;
}

WINX_Image* WINX_GetBitmapImage(HGDIOBJ obj) {
  HGDIOBJ__* o = WINX_ValidObj(obj, WINX_GDI_BITMAP);
  return (o && o->imageRelease == releaseImage) ? static_cast<WINX_Image*>(o->image) : nullptr;
}

HBITMAP CreateBitmap(int width, int height, int, int bitsPerPixel, const void* bits) {
  if (bitsPerPixel != 32) return nullptr;
  WINX_Image* img = WINX_ImageCreate(width, height);
  if (!img) return nullptr;
  if (bits) {
    const unsigned char* s = static_cast<const unsigned char*>(bits);
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i, s += 4)
      img->pixels[i] = WINX_CanvasPixel(s[1], s[2], s[3], s[0]);
  }
  HBITMAP bm = WINX_NewBitmapObject(img);
  WINX_ImageRelease(img);
  return bm;
}

HICON CreateIconIndirect(const ICONINFO* info) {
  if (!info || !info->fIcon) return nullptr;
  return WINX_NewBitmapObject(WINX_GetBitmapImage(info->hbmColor));
}

HBITMAP LoadNamedImage(const char* name, bool alphaFromMagenta) {
  if (!name || !strchr(name, '/')) return nullptr;  // no bundle of named images on this platform
  GdkPixbuf* pb = gdk_pixbuf_new_from_file(name, nullptr);
  if (!pb) return nullptr;
  const int w = gdk_pixbuf_get_width(pb), h = gdk_pixbuf_get_height(pb);
  const int nch = gdk_pixbuf_get_n_channels(pb), stride = gdk_pixbuf_get_rowstride(pb);
  const bool alpha = gdk_pixbuf_get_has_alpha(pb);
  WINX_Image* img = gdk_pixbuf_get_bits_per_sample(pb) == 8 && nch >= 3 ? WINX_ImageCreate(w, h) : nullptr;
  if (img) {
    const guchar* px = gdk_pixbuf_read_pixels(pb);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const guchar* s = px + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * nch;
        unsigned a = alpha ? s[3] : 255;
        if (alphaFromMagenta && s[0] == 255 && s[1] == 0 && s[2] == 255) a = 0;
        img->pixels[static_cast<size_t>(y) * w + x] = WINX_CanvasPixel(s[0], s[1], s[2], a);
      }
  }
  g_object_unref(pb);
  HBITMAP bm = WINX_NewBitmapObject(img);
  WINX_ImageRelease(img);
  return bm;
}

void DrawImageInRect(HDC hdc, HBITMAP bitmap, const RECT* r) {
  WINX_Canvas* c = canvasOf(hdc);
  WINX_Image* img = WINX_GetBitmapImage(bitmap);
  if (!c || !img || !r) return;
  const int dw = r->right - r->left, dh = r->bottom - r->top;
  if (dw < 1 || dh < 1) return;
  const RECT clip = WINX_CanvasClip(c);
  const int ox = c->state.originX + r->left, oy = c->state.originY + r->top;
  for (int y = std::max(0, static_cast<int>(clip.top) - oy); y < dh && oy + y < clip.bottom; ++y) {
    const int sy = static_cast<int>(static_cast<long long>(y) * img->height / dh);
    uint32_t* row = c->pixels + static_cast<size_t>(oy + y) * c->rowWords;
    for (int x = std::max(0, static_cast<int>(clip.left) - ox); x < dw && ox + x < clip.right; ++x) {
      const uint32_t s = img->pixels[static_cast<size_t>(sy) * img->width +
                                     static_cast<size_t>(static_cast<long long>(x) * img->width / dw)];
      row[ox + x] = blendWord(row[ox + x], (s >> 8) & 0xFF, (s >> 16) & 0xFF, (s >> 24) & 0xFF, s & 0xFF);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Shapes

void WINX_FillRect(HDC hdc, const RECT* r, HBRUSH brush) {
  HDC__* dc = WINX_ValidDC(hdc);
  WINX_Canvas* c = canvasOf(hdc);
  HGDIOBJ__* b = dc ? usableBrush(brush) : nullptr;
  if (!c || !b || !r) return;
  fillPolygonF(c, {{double(r->left), double(r->top)}, {double(r->right), double(r->top)},
                   {double(r->right), double(r->bottom)}, {double(r->left), double(r->bottom)}},
               paintOf(b->color));
}

void Rectangle(HDC hdc, int l, int t, int r, int b) {
  HDC__* dc = WINX_ValidDC(hdc);
  WINX_Canvas* c = canvasOf(hdc);
  if (!c) return;
  if (HGDIOBJ__* br = usableBrush(dc->curBrush))
    fillPolygonF(c, {{double(l), double(t)}, {double(r), double(t)}, {double(r), double(b)}, {double(l), double(b)}},
                 paintOf(br->color));
  if (HGDIOBJ__* pen = usablePen(dc)) {
    // The outline lies inside the rectangle, as Win32 draws it on pixels.
    const int w = pen->width < 2 ? 1 : pen->width;
    const Paint p = paintOf(pen->color);
    auto band = [&](int x0, int y0, int x1, int y1) {
      if (x1 > x0 && y1 > y0)
        fillPolygonF(c, {{double(x0), double(y0)}, {double(x1), double(y0)}, {double(x1), double(y1)}, {double(x0), double(y1)}}, p);
    };
    band(l, t, r, std::min(t + w, b));
    band(l, std::max(b - w, t + w), r, b);
    band(l, t + w, std::min(l + w, r), b - w);
    band(std::max(r - w, l + w), t + w, r, b - w);
  }
}

void Ellipse(HDC hdc, int l, int t, int r, int b) {
  HDC__* dc = WINX_ValidDC(hdc);
  WINX_Canvas* c = canvasOf(hdc);
  if (!c) return;
  std::vector<PtF> pts;
  ellipsePoints(&pts, l, t, r, b);
  if (HGDIOBJ__* br = usableBrush(dc->curBrush)) fillPolygonF(c, pts, paintOf(br->color));
  if (HGDIOBJ__* pen = usablePen(dc)) {
    pts.push_back(pts.front());
    strokePath(c, pts, 1.0, paintOf(pen->color));
  }
}

void WINX_Polygon(HDC hdc, const POINT* pts, int n) {
  HDC__* dc = WINX_ValidDC(hdc);
  WINX_Canvas* c = canvasOf(hdc);
  if (!c || !pts || n < 2) return;
  HGDIOBJ__* br = usableBrush(dc->curBrush);
  HGDIOBJ__* pen = usablePen(dc);
  if (!br && !pen) return;
  std::vector<PtF> v;
  for (int i = 0; i < n; ++i) v.push_back({double(pts[i].x), double(pts[i].y)});
  if (br) fillPolygonF(c, v, paintOf(br->color));
  if (pen) strokePath(c, v, pen->width ? pen->width : 1.0, paintOf(pen->color));
}

void RoundRect(HDC hdc, int l, int t, int r, int b, int xr, int yr) {
  const int dx = xr / 3, dy = yr / 3;
  const POINT pts[10] = {{l, t + dy}, {l + dx, t}, {r - dx, t}, {r, t + dy}, {r, b - dy},
                         {r - dx, b}, {l + dx, b}, {l, b - dy}, {l, t + dy}, {l + dx, t}};
  WINX_Polygon(hdc, pts, 10);
}

void MoveToEx(HDC hdc, int x, int y, POINT* old) {
  HDC__* dc = WINX_ValidDC(hdc);
  if (!dc) return;
  if (old) *old = {static_cast<int32_t>(dc->lastPosX), static_cast<int32_t>(dc->lastPosY)};
  dc->lastPosX = static_cast<float>(x);
  dc->lastPosY = static_cast<float>(y);
}

void WINX_LineTo(HDC hdc, int x, int y) {
  HDC__* dc = WINX_ValidDC(hdc);
  WINX_Canvas* c = canvasOf(hdc);
  if (!c) return;
  if (HGDIOBJ__* pen = usablePen(dc)) {
    const double w = pen->width ? pen->width : 1.0;
    // Square caps would paint one pixel past the end point; Win32 stops before it.
    const double h = w / 2;
    PtF a = {dc->lastPosX + h, dc->lastPosY + h}, b = {x + h, y + h};
    const double dx = b.x - a.x, dy = b.y - a.y, len = std::sqrt(dx * dx + dy * dy);
    if (len > 1e-9) {
      const double ux = dx / len * h, uy = dy / len * h;
      a = {a.x + ux, a.y + uy};
      b = {b.x - ux, b.y - uy};
      strokeSegment(c, a, b, w, paintOf(pen->color));
    }
  }
  dc->lastPosX = static_cast<float>(x);
  dc->lastPosY = static_cast<float>(y);
}

void PolyPolyline(HDC hdc, const POINT* pts, const DWORD* counts, int groups) {
  HDC__* dc = WINX_ValidDC(hdc);
  WINX_Canvas* c = canvasOf(hdc);
  if (!c || !pts || !counts || groups <= 0) return;
  HGDIOBJ__* pen = usablePen(dc);
  if (!pen) return;
  const double w = pen->width < 1 ? 1.0 : pen->width, h = w / 2;
  const Paint p = paintOf(pen->color);
  size_t at = 0;
  for (int g = 0; g < groups; ++g) {
    const DWORD n = counts[g];
    if (n == 1) {
      ++at;
      continue;
    }
    std::vector<PtF> v;
    for (DWORD i = 0; i < n; ++i, ++at) v.push_back({pts[at].x + h, pts[at].y + h});
    strokePath(c, v, w, p);
  }
}

void PolyBezierTo(HDC hdc, const POINT* pts, int n) {
  HDC__* dc = WINX_ValidDC(hdc);
  WINX_Canvas* c = canvasOf(hdc);
  if (!c || !pts || n < 3) return;
  HGDIOBJ__* pen = usablePen(dc);
  if (!pen) return;
  const double w = pen->width < 1 ? 1.0 : pen->width;
  std::vector<PtF> v = {{dc->lastPosX, dc->lastPosY}};
  for (int i = 0; i < n - 2; i += 3) {
    const PtF p0 = v.back(), p1 = {double(pts[i].x), double(pts[i].y)}, p2 = {double(pts[i + 1].x), double(pts[i + 1].y)},
              p3 = {double(pts[i + 2].x), double(pts[i + 2].y)};
    for (int s = 1; s <= 16; ++s) {
      const double t = s / 16.0, u = 1 - t;
      v.push_back({u * u * u * p0.x + 3 * u * u * t * p1.x + 3 * u * t * t * p2.x + t * t * t * p3.x,
                   u * u * u * p0.y + 3 * u * u * t * p1.y + 3 * u * t * t * p2.y + t * t * t * p3.y});
    }
    dc->lastPosX = static_cast<float>(p3.x);
    dc->lastPosY = static_cast<float>(p3.y);
  }
  strokePath(c, v, w, paintOf(pen->color));
}

void WINX_SetPixel(HDC hdc, int x, int y, int color) {
  WINX_Canvas* c = canvasOf(hdc);
  if (!c) return;
  fillPolygonF(c, {{double(x), double(y)}, {x + 1.0, double(y)}, {x + 1.0, y + 1.0}, {double(x), y + 1.0}},
               paintOfInt(color));
}

int GetSysColor(int index) {
  static const int kColors[10] = {0x606060, 0xE0E0E0, 0xC0C0C0, 0x000000, 0xC0C0C0,
                                  0x202020, 0x303030, 0xC0C0C0, 0xFFF0C8, 0x000000};
  return (index >= 0 && index < 10) ? kColors[index] : 0;
}

void WINX_FillDialogBackground(HDC hdc, const RECT* r, int) {
  WINX_Canvas* c = canvasOf(hdc);
  if (c && r) WINX_CanvasFillRect(c, r->left, r->top, r->right, r->bottom, 0xE8E8E8);
}

// ---------------------------------------------------------------------------------------------
// Copies

void BitBlt(HDC out, int x, int y, int w, int h, HDC in, int xIn, int yIn, int mode) {
  StretchBlt(out, x, y, w, h, in, xIn, yIn, w, h, mode);
}

void StretchBlt(HDC out, int x, int y, int w, int h, HDC in, int xIn, int yIn, int wIn, int hIn, int mode) {
  HDC__* src = WINX_ValidDC(in);
  WINX_Canvas* dc = canvasOf(out);
  if (!src || !src->ownedData || !src->ctx || !dc || wIn <= 0 || hIn <= 0) return;
  const WINX_Canvas* sc = src->ctx;
  int cw = wIn, ch = hIn;
  if (xIn < 0) {
    x -= static_cast<int>(static_cast<long long>(xIn) * w / wIn);
    cw = wIn + xIn;
    xIn = 0;
  }
  if (yIn < 0) {
    y -= static_cast<int>(static_cast<long long>(yIn) * h / hIn);
    ch = hIn + yIn;
    yIn = 0;
  }
  if (xIn + cw > sc->width) cw = sc->width - xIn;
  if (yIn + ch > sc->height) ch = sc->height - yIn;
  if (cw < 1 || ch < 1) return;
  const int dw = cw == wIn ? w : (w == wIn ? cw : static_cast<int>(static_cast<long long>(w) * cw / wIn));
  const int dh = ch == hIn ? h : (h == hIn ? ch : static_cast<int>(static_cast<long long>(h) * ch / hIn));
  if (dw < 1 || dh < 1) return;
  const RECT clip = WINX_CanvasClip(dc);
  const int ox = dc->state.originX + x, oy = dc->state.originY + y;
  const bool useAlpha = mode == WINX_BLT_SOURCE_ALPHA;
  for (int ty = std::max(0, static_cast<int>(clip.top) - oy); ty < dh && oy + ty < clip.bottom; ++ty) {
    const int sy = yIn + static_cast<int>(static_cast<long long>(ty) * ch / dh);
    const uint32_t* srow = sc->pixels + static_cast<size_t>(sy) * sc->rowWords;
    uint32_t* drow = dc->pixels + static_cast<size_t>(oy + ty) * dc->rowWords;
    for (int tx = std::max(0, static_cast<int>(clip.left) - ox); tx < dw && ox + tx < clip.right; ++tx) {
      const uint32_t s = srow[xIn + static_cast<int>(static_cast<long long>(tx) * cw / dw)];
      drow[ox + tx] = useAlpha ? blendWord(drow[ox + tx], (s >> 8) & 0xFF, (s >> 16) & 0xFF, (s >> 24) & 0xFF, s & 0xFF)
                               : (s | 0xFFu);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Clipping

void WINX_PushClipRegion(HDC hdc) {
  HDC__* dc = WINX_ValidDC(hdc);
  if (dc && dc->ctx) WINX_CanvasSave(dc->ctx);
}

void WINX_SetClipRegion(HDC hdc, const RECT* r) {
  HDC__* dc = WINX_ValidDC(hdc);
  if (dc && dc->ctx && r) WINX_CanvasClipRect(dc->ctx, r->left, r->top, r->right, r->bottom);
}

void WINX_PopClipRegion(HDC hdc) {
  HDC__* dc = WINX_ValidDC(hdc);
  if (dc && dc->ctx) WINX_CanvasRestore(dc->ctx);
}

// ---------------------------------------------------------------------------------------------
// Image lists: the list owns the bitmap objects in it.

struct WINX_ImageList {
  std::vector<HGDIOBJ> icons;
};

HIMAGELIST ImageList_CreateEx() { return new WINX_ImageList; }

int ImageList_ReplaceIcon(HIMAGELIST list, int index, HICON icon) {
  if (!list) return -1;
  WINX_Image* img = WINX_GetBitmapImage(icon);
  if (!img) return -1;
  HBITMAP copy = WINX_NewBitmapObject(img);
  if (!copy) return -1;
  const int n = static_cast<int>(list->icons.size());
  if (index >= 0 && index < n) {
    DeleteObject(list->icons[static_cast<size_t>(index)]);
    list->icons[static_cast<size_t>(index)] = copy;
    return index;
  }
  list->icons.push_back(copy);
  return n;
}

int ImageList_Remove(HIMAGELIST list, int index) {
  if (!list || index >= static_cast<int>(list->icons.size())) return 0;
  if (index < 0) {
    for (HGDIOBJ o : list->icons) DeleteObject(o);
    list->icons.clear();
    return 1;
  }
  DeleteObject(list->icons[static_cast<size_t>(index)]);
  list->icons[static_cast<size_t>(index)] = nullptr;
  return 1;
}

int ImageList_GetImageCount(HIMAGELIST list) { return list ? static_cast<int>(list->icons.size()) : 0; }

HICON ImageList_GetIcon(HIMAGELIST list, int index) {
  if (!list || index < 0 || index >= static_cast<int>(list->icons.size())) return nullptr;
  return list->icons[static_cast<size_t>(index)];
}

void ImageList_Destroy(HIMAGELIST list) {
  if (!list) return;
  for (HGDIOBJ o : list->icons) DeleteObject(o);
  delete list;
}
