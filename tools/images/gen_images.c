/* Draws every interface image of the editor, for the three colour schemes, with Cairo.
 *
 *   gen-images <layout.txt> <output img dir> [<review dir> [<preview.txt>]]
 *
 * With a review dir it also writes a contact sheet per scheme there; with preview.txt (also from
 * tools/uigen) it composes the default window of every tab from the images, the way the
 * description places them, so the whole face can be looked at without the editor.
 *
 * layout.txt comes from the interface generator (tools/uigen): it lists the pages and, per page,
 * the panels, value fields, slider slots and captions that sit under the controls, in window
 * coordinates. Everything else (knob strips, buttons, LEDs, tabs, pictures) is drawn here from
 * geometry alone, so the images are reproducible byte for byte from this file.
 *
 * Image sizes are the unscaled sizes the interface description is laid out for; the editor
 * scales them once when it loads them. Frames of a strip are stacked top to bottom unless the
 * image table says side by side (the part selector only).
 *
 * Lettering uses Cairo's toy font API with "DejaVu Sans" (fonts-dejavu-core). */
#include <cairo.h>
#include <math.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
  double r, g, b;
} RGB;

typedef struct {
  const char *name;  /* "yellow", "blue", "obsidra" */
  RGB window;        /* page background */
  RGB window2;       /* gradient end of the page background */
  RGB panel;         /* section panel body */
  RGB panelEdge;     /* panel outline */
  RGB title;         /* panel title bar */
  RGB titleText;
  RGB caption;       /* captions on panels */
  RGB field;         /* background of value menus: their text is black (yellow), white (blue),
                        light grey (obsidra), so the field must contrast with that */
  RGB accent;
} Scheme;

static const Scheme kSchemes[3] = {
    {"yellow", {0.17, 0.17, 0.16}, {0.11, 0.11, 0.10}, {0.89, 0.76, 0.24}, {0.55, 0.45, 0.10},
     {0.20, 0.19, 0.16}, {0.96, 0.84, 0.30}, {0.10, 0.09, 0.06}, {0.98, 0.93, 0.70},
     {0.96, 0.80, 0.20}},
    {"blue", {0.12, 0.17, 0.24}, {0.07, 0.10, 0.15}, {0.19, 0.31, 0.46}, {0.42, 0.58, 0.76},
     {0.10, 0.16, 0.25}, {0.80, 0.88, 0.97}, {0.88, 0.93, 0.98}, {0.06, 0.11, 0.19},
     {0.45, 0.72, 0.98}},
    {"obsidra", {0.07, 0.07, 0.08}, {0.03, 0.03, 0.04}, {0.12, 0.12, 0.14}, {0.30, 0.26, 0.40},
     {0.17, 0.14, 0.24}, {0.78, 0.70, 0.98}, {0.72, 0.72, 0.76}, {0.02, 0.02, 0.03},
     {0.58, 0.40, 0.96}},
};

/* Pages shared by every scheme (the librarian) are painted once in this neutral palette. */
static const Scheme kNeutral = {"common", {0.16, 0.16, 0.17}, {0.09, 0.09, 0.10},
                                {0.21, 0.21, 0.23}, {0.38, 0.38, 0.42}, {0.12, 0.12, 0.13},
                                {0.95, 0.70, 0.25}, {0.82, 0.82, 0.85}, {0.05, 0.05, 0.06},
                                {1.0, 0.62, 0.10}};

#include "image_table.inc"

static const char *gOutDir;
static int gFailures;

/* ---- helpers --------------------------------------------------------------------------- */

static void rgb(cairo_t *cr, RGB c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }
static void rgba(cairo_t *cr, RGB c, double a) { cairo_set_source_rgba(cr, c.r, c.g, c.b, a); }

static RGB mix(RGB a, RGB b, double t) {
  RGB c = {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
  return c;
}

/* A quick lightness of a colour, to choose between light and dark drawing (not a measure of
 * contrast: the lettering's contrast is measured on the pixels below). */
static double luminance(RGB c) { return 0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b; }

static const RGB kWhite = {1, 1, 1}, kBlack = {0, 0, 0};
/* The well of a field with light lettering on a scheme whose fields are pale. */
static const RGB kDarkField = {0.08, 0.075, 0.06};

static void roundRect(cairo_t *cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

static void font(cairo_t *cr, double size, int bold) {
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
}

/* ---- contrast of the lettering ----------------------------------------------------------
 * Every text drawn into an image is measured as it is drawn: the colour of its letters against
 * each pixel they cover at least half (the pixel as it was before the text), by the contrast
 * ratio of relative luminances (WCAG 2). A pixel that is not opaque is taken over black and over
 * white, the worse of the two, since the image may lie on anything. The lowest figure of each
 * text goes to lettering.txt in the image folder, "<ratio> <file> <text>" per line, when its
 * image is saved. A text below kLeastContrast fails the run: an image the editor shows must be
 * readable. The lowest figure of each scheme is printed at the end. */
static const double kLeastContrast = 4.5;
static double gLowestLettering[3] = {21, 21, 21};

static FILE *gLettering;
static struct {
  double ratio;
  char text[96];
} gPendingText[1024];
static int gPendingTexts;

static double linear(double c) { return c <= 0.04045 ? c / 12.92 : pow((c + 0.055) / 1.055, 2.4); }
static double relLuminance(double r, double g, double b) {
  return 0.2126 * linear(r) + 0.7152 * linear(g) + 0.0722 * linear(b);
}
static double contrastRatio(double la, double lb) {
  return la > lb ? (la + 0.05) / (lb + 0.05) : (lb + 0.05) / (la + 0.05);
}

/* The lowest contrast of the text s about to be drawn at (tx, y), whose extents are e, with the
 * source colour of cr. No transformation is in use where texts are drawn: user space is the
 * image's pixels. */
static double letteringContrast(cairo_t *cr, double tx, double y, const char *s, const cairo_text_extents_t *e) {
  double r = 0, g = 0, b = 0, a = 1;
  if (cairo_pattern_get_rgba(cairo_get_source(cr), &r, &g, &b, &a) != CAIRO_STATUS_SUCCESS) return 0;
  const double ink = relLuminance(r, g, b);
  cairo_surface_t *target = cairo_get_target(cr);
  cairo_surface_flush(target);
  const int W = cairo_image_surface_get_width(target), H = cairo_image_surface_get_height(target);
  const int x0 = (int)floor(tx + e->x_bearing) - 2, y0 = (int)floor(y + e->y_bearing) - 2;
  const int w = (int)ceil(e->width) + 5, h = (int)ceil(e->height) + 5;
  /* Coverage of the letters: the same text in the same font, drawn alone into an alpha mask over
   * the text's box. */
  cairo_surface_t *mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
  cairo_t *m = cairo_create(mask);
  cairo_set_antialias(m, CAIRO_ANTIALIAS_BEST);
  cairo_set_font_face(m, cairo_get_font_face(cr));
  cairo_matrix_t fm;
  cairo_get_font_matrix(cr, &fm);
  cairo_set_font_matrix(m, &fm);
  cairo_move_to(m, tx - x0, y - y0);
  cairo_show_text(m, s);
  cairo_destroy(m);
  cairo_surface_flush(mask);
  const unsigned char *cov = cairo_image_surface_get_data(mask), *px = cairo_image_surface_get_data(target);
  const int cs = cairo_image_surface_get_stride(mask), ps = cairo_image_surface_get_stride(target);
  double lowest = 21;
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) {
      if (cov[j * cs + i] < 128 || x0 + i < 0 || y0 + j < 0 || x0 + i >= W || y0 + j >= H) continue;
      const uint32_t p = *(const uint32_t *)(px + (y0 + j) * ps + 4 * (x0 + i)); /* premultiplied ARGB */
      const double pa = (p >> 24) / 255.0;
      const double pr = ((p >> 16) & 255) / 255.0, pg = ((p >> 8) & 255) / 255.0, pb = (p & 255) / 255.0;
      /* over black: the premultiplied values as they are; over white: plus what shows through */
      const double overBlack = relLuminance(pr, pg, pb);
      const double overWhite = relLuminance(pr + 1 - pa, pg + 1 - pa, pb + 1 - pa);
      double c = contrastRatio(ink, overBlack);
      if (pa < 1 && contrastRatio(ink, overWhite) < c) c = contrastRatio(ink, overWhite);
      if (c < lowest) lowest = c;
    }
  cairo_surface_destroy(mask);
  return lowest;
}

/* align: 0 left, 1 centre, 2 right; y is the baseline */
static void text(cairo_t *cr, double x, double y, const char *s, int align) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, s, &e);
  double tx = x;
  if (align == 1) tx = x - e.x_advance / 2;
  if (align == 2) tx = x - e.x_advance;
  if (gPendingTexts < (int)(sizeof gPendingText / sizeof gPendingText[0])) {
    gPendingText[gPendingTexts].ratio = letteringContrast(cr, tx, y, s, &e);
    snprintf(gPendingText[gPendingTexts].text, sizeof gPendingText[0].text, "%s", s);
    ++gPendingTexts;
  } else {
    fprintf(stderr, "gen-images: too many texts in one image to measure\n");
    ++gFailures;
  }
  cairo_move_to(cr, tx, y);
  cairo_show_text(cr, s);
}

static cairo_surface_t *newImage(int w, int h, cairo_t **cr) {
  cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  *cr = cairo_create(s);
  cairo_set_antialias(*cr, CAIRO_ANTIALIAS_BEST);
  return s;
}

static void save(cairo_surface_t *s, cairo_t *cr, const char *file) {
  char path[1024];
  cairo_destroy(cr);
  for (int i = 0; i < gPendingTexts; ++i) {
    const double ratio = gPendingText[i].ratio;
    if (gLettering) fprintf(gLettering, "%.2f %s %s\n", ratio, file, gPendingText[i].text);
    if (ratio < kLeastContrast) {
      fprintf(stderr, "gen-images: \"%s\" in %s stands out from what is behind it at %.2f:1 only\n",
              gPendingText[i].text, file, ratio);
      ++gFailures;
    }
    for (size_t r = 0; r < sizeof kImageRows / sizeof kImageRows[0]; ++r)
      for (int k = 0; k < 3; ++k)
        if (!strcmp(kImageRows[r].file[k], file) && ratio < gLowestLettering[k]) gLowestLettering[k] = ratio;
  }
  gPendingTexts = 0;
  snprintf(path, sizeof path, "%s/%s", gOutDir, file);
  if (cairo_surface_write_to_png(s, path) != CAIRO_STATUS_SUCCESS) {
    fprintf(stderr, "gen-images: cannot write %s\n", path);
    ++gFailures;
  }
  cairo_surface_destroy(s);
}

/* ---- knobs ----------------------------------------------------------------------------- */

/* One frame per step, stacked; the pointer travels over 300 degrees from 7:30 to 4:30. */
static void knobStrip(const char *file, int size, int frames, RGB arc, int centreMark) {
  cairo_t *cr;
  cairo_surface_t *s = newImage(size, size * frames, &cr);
  const double a0 = 0.75 * M_PI, span = 1.5 * M_PI * (300.0 / 270.0) * 0.9;
  for (int f = 0; f < frames; ++f) {
    double cx = size / 2.0, cy = f * size + size / 2.0, R = size * 0.5 - 1.5;
    double t = frames > 1 ? (double)f / (frames - 1) : 0;
    double a = a0 + span * t;
    /* track */
    cairo_set_line_width(cr, size * 0.07);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
    cairo_arc(cr, cx, cy, R - size * 0.05, a0, a0 + span);
    cairo_stroke(cr);
    /* value arc: from the centre for bipolar knobs, else from the start */
    double from = centreMark ? a0 + span / 2 : a0;
    if (fabs(a - from) > 0.01) {
      rgb(cr, arc);
      if (a > from)
        cairo_arc(cr, cx, cy, R - size * 0.05, from, a);
      else
        cairo_arc(cr, cx, cy, R - size * 0.05, a, from);
      cairo_stroke(cr);
    }
    /* body with a soft top light */
    double br = R * 0.72;
    cairo_pattern_t *p = cairo_pattern_create_radial(cx - br * 0.3, cy - br * 0.4, br * 0.1, cx,
                                                     cy, br);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.36, 0.36, 0.38);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.10, 0.10, 0.11);
    cairo_set_source(cr, p);
    cairo_arc(cr, cx, cy, br, 0, 2 * M_PI);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
    cairo_set_line_width(cr, 1);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.8);
    cairo_stroke(cr);
    /* pointer */
    cairo_set_line_width(cr, size > 34 ? 2.6 : 2.0);
    cairo_set_source_rgb(cr, 0.97, 0.97, 0.95);
    cairo_move_to(cr, cx + cos(a) * br * 0.25, cy + sin(a) * br * 0.25);
    cairo_line_to(cr, cx + cos(a) * br * 0.92, cy + sin(a) * br * 0.92);
    cairo_stroke(cr);
  }
  save(s, cr, file);
}

/* ---- buttons, LEDs, switches ------------------------------------------------------------ */

/* Two-state button: frame 0 off, frame 1 on (stacked); label optional. */
static void button2(const char *file, int w, int h, const char *label, RGB on, int led) {
  cairo_t *cr;
  cairo_surface_t *s = newImage(w, h * 2, &cr);
  for (int f = 0; f < 2; ++f) {
    double y = f * h;
    cairo_pattern_t *p = cairo_pattern_create_linear(0, y, 0, y + h);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.30, 0.30, 0.32);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.14, 0.14, 0.15);
    cairo_set_source(cr, p);
    roundRect(cr, 0.5, y + 0.5, w - 1, h - 1, h > 20 ? 4 : 3);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
    cairo_set_source_rgb(cr, 0.04, 0.04, 0.04);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    double tx = w / 2.0;
    if (led) {
      double lr = h * 0.22;
      if (f) {
        rgba(cr, on, 0.35);
        cairo_arc(cr, h * 0.55, y + h / 2.0, lr * 2, 0, 2 * M_PI);
        cairo_fill(cr);
      }
      rgb(cr, f ? on : mix(on, kBlack, 0.75));
      cairo_arc(cr, h * 0.55, y + h / 2.0, lr, 0, 2 * M_PI);
      cairo_fill(cr);
      tx = h + (w - h) / 2.0;
    } else if (f) {
      rgba(cr, on, 0.9);
      roundRect(cr, 2, y + h - 4, w - 4, 2.5, 1);
      cairo_fill(cr);
    }
    if (label) {
      font(cr, h >= 24 ? 11 : 9.5, 1);
      rgb(cr, f ? mix(on, kWhite, 0.5) : mix(kWhite, kBlack, 0.25));
      text(cr, tx, y + h / 2.0 + 3.8, label, 1);
    }
  }
  save(s, cr, file);
}

/* A frame with a faint fill: the caption painted on the page shows through it. */
static void glassButton(const char *file, int w, int h, RGB tint) {
  cairo_t *cr;
  cairo_surface_t *s = newImage(w, h, &cr);
  rgba(cr, tint, 0.10);
  roundRect(cr, 0.5, 0.5, w - 1, h - 1, 3);
  cairo_fill_preserve(cr);
  rgba(cr, tint, 0.75);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  save(s, cr, file);
}

static void plainButton(const char *file, int w, int h, const char *label, RGB tint) {
  cairo_t *cr;
  cairo_surface_t *s = newImage(w, h, &cr);
  cairo_pattern_t *p = cairo_pattern_create_linear(0, 0, 0, h);
  cairo_pattern_add_color_stop_rgb(p, 0, 0.24, 0.24, 0.26);
  cairo_pattern_add_color_stop_rgb(p, 1, 0.11, 0.11, 0.12);
  cairo_set_source(cr, p);
  roundRect(cr, 0.5, 0.5, w - 1, h - 1, 3);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(p);
  rgb(cr, mix(tint, kBlack, 0.4));
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  if (label) {
    font(cr, h >= 30 ? 13 : 10, 1);
    rgb(cr, mix(tint, kWhite, 0.3));
    text(cr, w / 2.0, h / 2.0 + 4, label, 1);
  }
  save(s, cr, file);
}

static void led(const char *file, int d, RGB c, int inverted) {
  cairo_t *cr;
  cairo_surface_t *s = newImage(d, d * 2, &cr);
  for (int f = 0; f < 2; ++f) {
    int lit = inverted ? !f : f;
    double cx = d / 2.0, cy = f * d + d / 2.0;
    cairo_pattern_t *p = cairo_pattern_create_radial(cx - d * 0.15, cy - d * 0.15, 0, cx, cy,
                                                     d * 0.45);
    RGB hi = lit ? mix(c, kWhite, 0.6) : mix(c, kBlack, 0.6);
    RGB lo = lit ? c : mix(c, kBlack, 0.85);
    cairo_pattern_add_color_stop_rgb(p, 0, hi.r, hi.g, hi.b);
    cairo_pattern_add_color_stop_rgb(p, 1, lo.r, lo.g, lo.b);
    cairo_set_source(cr, p);
    cairo_arc(cr, cx, cy, d * 0.42, 0, 2 * M_PI);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.8);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
  }
  save(s, cr, file);
}

static void checkbox(const char *file, int d, RGB c) {
  cairo_t *cr;
  cairo_surface_t *s = newImage(d, d * 2, &cr);
  for (int f = 0; f < 2; ++f) {
    double y = f * d;
    cairo_set_source_rgb(cr, 0.08, 0.08, 0.09);
    roundRect(cr, 1, y + 1, d - 2, d - 2, 3);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.55, 0.55, 0.58);
    cairo_set_line_width(cr, 1.2);
    cairo_stroke(cr);
    if (f) {
      rgb(cr, c);
      cairo_set_line_width(cr, 2.4);
      cairo_move_to(cr, d * 0.24, y + d * 0.52);
      cairo_line_to(cr, d * 0.43, y + d * 0.72);
      cairo_line_to(cr, d * 0.78, y + d * 0.28);
      cairo_stroke(cr);
    }
  }
  save(s, cr, file);
}

/* Padlock in one ink that stands out from the panels it lies on: frame 0 open (shackle swung up,
 * body outlined), frame 1 closed (body solid, the keyhole cut out so the panel shows through). A
 * lock is told from its panel by that ink alone, so no part of it is drawn in a second colour
 * that could meet the panel's. */
static void lock(const char *file, int d, RGB ink) {
  cairo_t *cr;
  cairo_surface_t *s = newImage(d, d * 2, &cr);
  rgb(cr, ink);
  for (int f = 0; f < 2; ++f) {
    double y = f * d;
    cairo_set_line_width(cr, d * 0.11);
    double sx = d * 0.5, sy = y + d * 0.45, r = d * 0.2;
    if (f) {
      cairo_arc(cr, sx, sy - d * 0.05, r, M_PI, 2 * M_PI);
      cairo_line_to(cr, sx + r, sy);
      cairo_move_to(cr, sx - r, sy - d * 0.05);
      cairo_line_to(cr, sx - r, sy);
    } else {
      cairo_arc(cr, sx + d * 0.12, sy - d * 0.12, r, M_PI, 2 * M_PI);
      cairo_line_to(cr, sx + d * 0.12 + r, sy - d * 0.02);
    }
    cairo_stroke(cr);
    if (f) {
      roundRect(cr, d * 0.2, y + d * 0.45, d * 0.6, d * 0.45, 2);
      cairo_fill(cr);
      cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
      cairo_arc(cr, d * 0.5, y + d * 0.64, d * 0.07, 0, 2 * M_PI);
      cairo_fill(cr);
      cairo_rectangle(cr, d * 0.47, y + d * 0.64, d * 0.06, d * 0.14);
      cairo_fill(cr);
      cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    } else {
      cairo_set_line_width(cr, d * 0.09);
      roundRect(cr, d * 0.245, y + d * 0.495, d * 0.51, d * 0.36, 1.5);
      cairo_stroke(cr);
    }
  }
  save(s, cr, file);
}

static void arrowButton(const char *file, int w, int h, int up, RGB c) {
  cairo_t *cr;
  cairo_surface_t *s = newImage(w, h * 2, &cr);
  for (int f = 0; f < 2; ++f) {
    double y = f * h;
    cairo_set_source_rgb(cr, f ? 0.30 : 0.18, f ? 0.30 : 0.18, f ? 0.32 : 0.19);
    roundRect(cr, 0.5, y + 0.5, w - 1, h - 1, 2);
    cairo_fill(cr);
    rgb(cr, f ? mix(c, kWhite, 0.3) : c);
    double cx = w / 2.0, cy = y + h / 2.0, a = h * 0.28;
    cairo_move_to(cr, cx - a * 1.2, cy + (up ? a * 0.6 : -a * 0.6));
    cairo_line_to(cr, cx + a * 1.2, cy + (up ? a * 0.6 : -a * 0.6));
    cairo_line_to(cr, cx, cy + (up ? -a * 0.8 : a * 0.8));
    cairo_close_path(cr);
    cairo_fill(cr);
  }
  save(s, cr, file);
}

/* Radio strips: cells of w x h; stacked layout puts the buttons left to right with off states
 * above on states, side by side puts them top to bottom with off left of on. */
static void tabStrip(const char *file, int cw, int ch, int n, const char **labels, int sideBySide,
                     RGB accent) {
  cairo_t *cr;
  int W = sideBySide ? cw * 2 : cw * n, H = sideBySide ? ch * n : ch * 2;
  cairo_surface_t *s = newImage(W, H, &cr);
  /* one letter size for the whole strip, the largest at which every label keeps 6 pixels of its
   * button on each side ("PART 16" in bold is wider than a 60-pixel button at 11.5) */
  double size = ch > 30 ? 12.5 : 11.5;
  for (int fits = 0; !fits && size > 7; ) {
    fits = 1;
    font(cr, size, 1);
    for (int i = 0; i < n; ++i) {
      cairo_text_extents_t e;
      cairo_text_extents(cr, labels[i], &e);
      if (e.x_advance > cw - 12) fits = 0;
    }
    if (!fits) size -= 0.5;
  }
  for (int i = 0; i < n; ++i)
    for (int st = 0; st < 2; ++st) {
      double x = sideBySide ? st * cw : i * cw, y = sideBySide ? i * ch : st * ch;
      cairo_pattern_t *p = cairo_pattern_create_linear(0, y, 0, y + ch);
      if (st) {
        RGB a = mix(accent, kWhite, 0.15), b = mix(accent, kBlack, 0.35);
        cairo_pattern_add_color_stop_rgb(p, 0, a.r, a.g, a.b);
        cairo_pattern_add_color_stop_rgb(p, 1, b.r, b.g, b.b);
      } else {
        cairo_pattern_add_color_stop_rgb(p, 0, 0.26, 0.26, 0.28);
        cairo_pattern_add_color_stop_rgb(p, 1, 0.13, 0.13, 0.14);
      }
      cairo_set_source(cr, p);
      roundRect(cr, x + 1.5, y + 1.5, cw - 3, ch - 3, 4);
      cairo_fill_preserve(cr);
      cairo_pattern_destroy(p);
      cairo_set_source_rgb(cr, 0.03, 0.03, 0.03);
      cairo_set_line_width(cr, 1);
      cairo_stroke(cr);
      font(cr, size, 1);
      if (st)
        cairo_set_source_rgb(cr, 0.05, 0.05, 0.05);
      else
        cairo_set_source_rgb(cr, 0.85, 0.85, 0.86);
      text(cr, x + cw / 2.0, y + ch / 2.0 + 4.5, labels[i], 1);
    }
  save(s, cr, file);
}

static void fader(const char *file, int w, int h, int vertical) {
  cairo_t *cr;
  cairo_surface_t *s = newImage(w, h, &cr);
  cairo_pattern_t *p = vertical ? cairo_pattern_create_linear(0, 0, 0, h)
                                : cairo_pattern_create_linear(0, 0, w, 0);
  cairo_pattern_add_color_stop_rgb(p, 0, 0.85, 0.85, 0.86);
  cairo_pattern_add_color_stop_rgb(p, 0.5, 0.55, 0.55, 0.57);
  cairo_pattern_add_color_stop_rgb(p, 1, 0.30, 0.30, 0.32);
  cairo_set_source(cr, p);
  roundRect(cr, 0.5, 0.5, w - 1, h - 1, 2.5);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(p);
  cairo_set_source_rgb(cr, 0.05, 0.05, 0.05);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  cairo_set_source_rgb(cr, 0.05, 0.05, 0.05);
  if (vertical) {
    cairo_move_to(cr, 2, h / 2.0);
    cairo_line_to(cr, w - 2, h / 2.0);
  } else {
    cairo_move_to(cr, w / 2.0, 2);
    cairo_line_to(cr, w / 2.0, h - 2);
  }
  cairo_stroke(cr);
  save(s, cr, file);
}

/* ---- boxes, windows and pictures -------------------------------------------------------- */

/* A new picture holding a filled box with a rounded edge over all of it. */
static cairo_surface_t *framedBox(int w, int h, RGB fill, double alpha, RGB edge, double corner, cairo_t **cr) {
  cairo_surface_t *s = newImage(w, h, cr);
  rgba(*cr, fill, alpha);
  roundRect(*cr, 0.5, 0.5, w - 1, h - 1, corner);
  cairo_fill_preserve(*cr);
  rgb(*cr, edge);
  cairo_set_line_width(*cr, 1.2);
  cairo_stroke(*cr);
  return s;
}

static void box(const char *file, int w, int h, RGB fill, double alpha, RGB edge, const char *title,
                const char *body) {
  cairo_t *cr;
  cairo_surface_t *s = framedBox(w, h, fill, alpha, edge, w > 100 && h > 40 ? 8 : 3, &cr);
  if (title) {
    font(cr, 18, 1);
    /* in the edge's colour, unless that is too dark to read on a see-through box */
    rgb(cr, luminance(edge) < 0.4 ? (RGB){0.95, 0.95, 0.96} : edge);
    text(cr, w / 2.0, 36, title, 1);
  }
  if (body) {
    font(cr, 12.5, 0);
    cairo_set_source_rgb(cr, 0.85, 0.85, 0.86);
    char buf[512];
    snprintf(buf, sizeof buf, "%s", body);
    double y = title ? 70 : 20;
    for (char *line = strtok(buf, "\n"); line; line = strtok(NULL, "\n")) {
      text(cr, w / 2.0, y, line, 1);
      y += 20;
    }
  }
  save(s, cr, file);
}

/* Drawing colour inside a well: the accent where the well is dark, a deep amber on the yellow
 * scheme's pale wells, where the accent itself would not show. */
static RGB ink(const Scheme *sc) {
  return luminance(sc->field) > 0.5 ? (RGB){0.45, 0.30, 0.02} : sc->accent;
}

/* The rounded well that pictures sit in, in the scheme's field colour. */
static void well(cairo_t *cr, const Scheme *sc, int w, int h, double r) {
  rgb(cr, sc->field);
  roundRect(cr, 0.5, 0.5, w - 1, h - 1, r);
  cairo_fill_preserve(cr);
  rgb(cr, sc->panelEdge);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
}

/* Envelope shapes: mode 0 ADSR, 1 ADSD2S2R, 2 one shot, 3 loop S1-S2, 4 loop all. */
static void envelope(const char *file, int mode, const Scheme *sc) {
  const int w = 140, h = 100;
  cairo_t *cr;
  cairo_surface_t *s = newImage(w, h, &cr);
  well(cr, sc, w, h, 5);
  static const double pts[5][7][2] = {
      {{8, 88}, {30, 14}, {56, 46}, {100, 46}, {132, 88}, {132, 88}, {132, 88}},
      {{8, 88}, {26, 14}, {46, 40}, {66, 48}, {86, 60}, {104, 60}, {132, 88}},
      {{8, 88}, {30, 14}, {62, 46}, {132, 88}, {132, 88}, {132, 88}, {132, 88}},
      {{8, 88}, {26, 14}, {46, 40}, {66, 48}, {86, 60}, {104, 60}, {132, 88}},
      {{8, 88}, {26, 14}, {46, 40}, {66, 48}, {86, 60}, {104, 60}, {132, 88}}};
  RGB line = ink(sc);
  rgba(cr, line, 0.18);
  cairo_move_to(cr, pts[mode][0][0], pts[mode][0][1]);
  for (int i = 1; i < 7; ++i) cairo_line_to(cr, pts[mode][i][0], pts[mode][i][1]);
  cairo_close_path(cr);
  cairo_fill(cr);
  rgb(cr, line);
  cairo_set_line_width(cr, 2);
  cairo_move_to(cr, pts[mode][0][0], pts[mode][0][1]);
  for (int i = 1; i < 7; ++i) cairo_line_to(cr, pts[mode][i][0], pts[mode][i][1]);
  cairo_stroke(cr);
  if (mode >= 3) { /* loop arrow */
    double x0 = mode == 3 ? 46 : 10, x1 = mode == 3 ? 86 : 130;
    cairo_set_line_width(cr, 1.3);
    cairo_move_to(cr, x1, 8);
    cairo_line_to(cr, x0, 8);
    cairo_stroke(cr);
    cairo_move_to(cr, x0, 8);
    cairo_line_to(cr, x0 + 6, 4);
    cairo_line_to(cr, x0 + 6, 12);
    cairo_close_path(cr);
    cairo_fill(cr);
  }
  static const char *names[5] = {"ADSR", "ADSD2S2R", "ONE SHOT", "LOOP S1-S2", "LOOP ALL"};
  font(cr, 10, 1);
  /* on a plate of the well's own colour: the curve runs under the corner where the name sits */
  cairo_text_extents_t e;
  cairo_text_extents(cr, names[mode], &e);
  rgb(cr, sc->field);
  roundRect(cr, w - 9 - e.x_advance, h - 18, e.x_advance + 6, 15, 2);
  cairo_fill(cr);
  rgb(cr, luminance(sc->field) > 0.5 ? line : mix(line, kWhite, 0.2));
  text(cr, w - 6, h - 6, names[mode], 2);
  save(s, cr, file);
}

static void waveIcon(const char *file, int pulse, const Scheme *sc) {
  const int w = 124, h = 16;
  cairo_t *cr;
  cairo_surface_t *s = newImage(w, h, &cr);
  rgba(cr, sc->caption, 0.75); /* drawn straight onto the panel, like its captions */
  cairo_set_line_width(cr, 1.6);
  if (pulse) {
    double x = 4;
    cairo_move_to(cr, x, 13);
    for (int i = 0; i < 3; ++i) {
      cairo_line_to(cr, x, 3);
      cairo_line_to(cr, x + 12, 3);
      cairo_line_to(cr, x + 12, 13);
      cairo_line_to(cr, x + 30, 13);
      x += 30;
    }
  } else {
    for (int i = 0; i <= 116; ++i) {
      double y = 8 - 5 * sin(i / 116.0 * 4 * M_PI) * (i % 58 < 29 ? 1 : 1);
      if (i == 0)
        cairo_move_to(cr, 4 + i, y);
      else
        cairo_line_to(cr, 4 + i, y);
    }
  }
  cairo_stroke(cr);
  save(s, cr, file);
}

/* Filter response pictures: 0 LP, 1 BP, 2 HP, 3 notch, 4 comb -, 5 comb + */
static void filterPicture(const char *file, int type, RGB bg, RGB line) {
  const int w = 110, h = 44;
  cairo_t *cr;
  cairo_surface_t *s = newImage(w, h, &cr);
  rgba(cr, bg, 0.9);
  roundRect(cr, 0.5, 0.5, w - 1, h - 1, 4);
  cairo_fill(cr);
  rgb(cr, line);
  cairo_set_line_width(cr, 1.8);
  for (int i = 0; i <= 100; ++i) {
    double t = i / 100.0, v;
    switch (type) {
      case 0: v = t < 0.55 ? 0.2 : 0.2 + (t - 0.55) * 1.6 - (t < 0.62 ? 0.1 * sin((t - 0.55) * 45) : 0); break;
      case 1: v = 0.85 - 0.7 * exp(-pow((t - 0.5) * 5, 2)); break;
      case 2: v = t > 0.45 ? 0.2 : 0.2 + (0.45 - t) * 1.6; break;
      case 3: v = 0.2 + 0.65 * exp(-pow((t - 0.5) * 9, 2)); break;
      case 4: v = 0.5 + 0.3 * cos(t * 6 * 2 * M_PI); break;
      default: v = 0.5 - 0.3 * cos(t * 6 * 2 * M_PI); break;
    }
    if (v > 0.95) v = 0.95;
    double x = 5 + t * (w - 10), y = 4 + v * (h - 8);
    if (i == 0)
      cairo_move_to(cr, x, y);
    else
      cairo_line_to(cr, x, y);
  }
  cairo_stroke(cr);
  save(s, cr, file);
}

static void effectBackdrop(cairo_t *cr, int type, const Scheme *sc, int w, int h) {
  static const char *names[] = {"BYPASSED", "CHORUS", "FLANGER", "PHASER", "OVERDRIVE",
                                "FIVE FX", "VOCODER", "DELAY", "REVERB", "5.1 DELAY"};
  well(cr, sc, w, h, 6);
  /* a small signal sketch per type */
  rgb(cr, ink(sc));
  cairo_set_line_width(cr, 1.6);
  for (int i = 0; i <= 120; ++i) {
    double t = i / 120.0, v = 0;
    switch (type) {
      case 0: v = 0; break;
      case 1: v = 0.5 * sin(t * 8 * M_PI) * (0.6 + 0.4 * sin(t * 2 * M_PI)); break;
      case 2: v = 0.6 * sin(t * 20 * M_PI * (0.5 + t)); break;
      case 3: v = 0.5 * sin(t * 12 * M_PI) * cos(t * 3 * M_PI); break;
      case 4: v = tanh(3 * sin(t * 6 * M_PI)) * 0.6; break;
      case 5: v = 0.5 * sin(t * 10 * M_PI) * (fmod(t * 8, 1) < 0.5 ? 1 : 0.4); break;
      case 6: v = 0.45 * sin(t * 30 * M_PI) * sin(t * M_PI); break;
      case 7: v = (fmod(t, 0.25) < 0.03) ? 0.7 * (1 - t) : 0; break;
      case 8: v = 0.6 * exp(-t * 3) * sin(t * 60 * M_PI); break;
      default: v = (fmod(t, 0.16) < 0.02) ? 0.6 * (1 - t * 0.8) : 0; break;
    }
    double x = 14 + t * 200, y = 20 - v * 14;
    if (i == 0)
      cairo_move_to(cr, x, y);
    else
      cairo_line_to(cr, x, y);
  }
  cairo_stroke(cr);
  font(cr, 16, 1);
  rgb(cr, ink(sc));
  text(cr, w - 14, 26, names[type], 2);
  rgba(cr, sc->panelEdge, 0.6);
  cairo_rectangle(cr, 10, 36, w - 20, 1);
  cairo_fill(cr);
}

/* ---- pages painted from the layout ------------------------------------------------------ */

static void panelBox(cairo_t *cr, const Scheme *sc, double x, double y, double w, double h,
                     const char *title) {
  cairo_set_source_rgba(cr, 0, 0, 0, 0.35); /* drop shadow */
  roundRect(cr, x + 2, y + 3, w, h, 7);
  cairo_fill(cr);
  cairo_pattern_t *p = cairo_pattern_create_linear(0, y, 0, y + h);
  RGB a = mix(sc->panel, kWhite, 0.06), b = mix(sc->panel, kBlack, 0.08);
  cairo_pattern_add_color_stop_rgb(p, 0, a.r, a.g, a.b);
  cairo_pattern_add_color_stop_rgb(p, 1, b.r, b.g, b.b);
  cairo_set_source(cr, p);
  roundRect(cr, x, y, w, h, 7);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(p);
  rgb(cr, sc->panelEdge);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  /* title bar */
  rgb(cr, sc->title);
  cairo_save(cr);
  roundRect(cr, x, y, w, h, 7);
  cairo_clip(cr);
  cairo_rectangle(cr, x, y, w, 20);
  cairo_fill(cr);
  cairo_restore(cr);
  font(cr, 11.5, 1);
  rgb(cr, sc->titleText);
  text(cr, x + 12, y + 14.5, title, 0);
}

/* kind: 0 page, 1 main window page, 2 effect picture of type `effect` */
static void paintPage(cairo_t *cr, const Scheme *sc, int ox, int oy, int w, int h, FILE *layout,
                      long from, int kind, int effect) {
  const int isMain = kind == 1;
  if (kind == 2) effectBackdrop(cr, effect, sc, w, h);
  /* background */
  if (kind != 2) {
  cairo_pattern_t *p = cairo_pattern_create_linear(0, 0, 0, h);
  cairo_pattern_add_color_stop_rgb(p, 0, sc->window.r, sc->window.g, sc->window.b);
  cairo_pattern_add_color_stop_rgb(p, 1, sc->window2.r, sc->window2.g, sc->window2.b);
  cairo_set_source(cr, p);
  cairo_rectangle(cr, 0, 0, w, h);
  cairo_fill(cr);
  cairo_pattern_destroy(p);
  if (isMain) {
    /* top bar, part column, status strip and the display window */
    cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
    cairo_rectangle(cr, 0, 0, w, 88);
    cairo_fill(cr);
    rgb(cr, sc->accent);
    cairo_rectangle(cr, 0, 88, w, 2);
    cairo_fill(cr);
    font(cr, 30, 1);
    rgb(cr, sc->accent);
    text(cr, 20, 44, "SORVANTA", 0);
    font(cr, 11, 0);
    cairo_set_source_rgb(cr, 0.75, 0.75, 0.77);
    text(cr, 22, 58, "EDITOR  \xC2\xB7  LIBRARIAN  \xC2\xB7  DORVIK", 0);
    cairo_set_source_rgb(cr, 0.02, 0.03, 0.02);
    roundRect(cr, 972, 6, 406, 78, 5);
    cairo_fill_preserve(cr);
    rgb(cr, mix(sc->accent, kBlack, 0.4));
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.3);
    cairo_rectangle(cr, 0, 734, w, h - 734);
    cairo_fill(cr);
    cairo_rectangle(cr, 4, 92, 76, 646);
    cairo_fill(cr);
  }
  }
  RGB captionColour = isMain ? mix(kWhite, kBlack, 0.2) : sc->caption;
  if (kind == 2) captionColour = luminance(sc->field) > 0.5 ? (RGB){0.12, 0.10, 0.05} : (RGB){0.85, 0.87, 0.90};
  fseek(layout, from, SEEK_SET);
  char line[512];
  while (fgets(line, sizeof line, layout)) {
    line[strcspn(line, "\n")] = 0;
    if (!strncmp(line, "page ", 5) || !strncmp(line, "picture ", 8) || !strncmp(line, "none ", 5))
      break;
    char kind[32];
    int n = 0;
    double a, b, c, d;
    if (sscanf(line, "%31s %n", kind, &n) < 1) continue;
    const char *rest = line + n;
    int m = 0;
    if (!strcmp(kind, "panel") && sscanf(rest, "%lf %lf %lf %lf %n", &a, &b, &c, &d, &m) >= 4) {
      panelBox(cr, sc, a - ox, b - oy, c, d, rest + m);
    } else if ((!strcmp(kind, "field") || !strcmp(kind, "dark_field")) &&
               sscanf(rest, "%lf %lf %lf %lf", &a, &b, &c, &d) == 4) {
      /* A field whose control writes in a light colour in every scheme (ports, names, settings)
       * stays dark where the scheme's own fields are pale. */
      const RGB fill = !strcmp(kind, "dark_field") && luminance(sc->field) > 0.5 ? kDarkField : sc->field;
      rgb(cr, fill);
      roundRect(cr, a - ox, b - oy, c, d, 3);
      cairo_fill_preserve(cr);
      /* A dark field on a dark page needs a light edge, or it is not there at all. */
      if (luminance(fill) < 0.3)
        rgb(cr, mix(sc->panelEdge, kWhite, 0.25));
      else
        cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
      cairo_set_line_width(cr, 1);
      cairo_stroke(cr);
    } else if (!strcmp(kind, "display_field") && sscanf(rest, "%lf %lf %lf %lf", &a, &b, &c, &d) == 4) {
      /* a box inside the display: its dark glass with the display's edge */
      cairo_set_source_rgb(cr, 0.06, 0.07, 0.06);
      roundRect(cr, a - ox + 0.5, b - oy + 0.5, c - 1, d - 1, 3);
      cairo_fill_preserve(cr);
      rgb(cr, mix(sc->accent, kWhite, 0.1));
      cairo_set_line_width(cr, 1);
      cairo_stroke(cr);
    } else if (!strcmp(kind, "slot") && sscanf(rest, "%lf %lf %lf %lf", &a, &b, &c, &d) == 4) {
      cairo_set_source_rgba(cr, 0, 0, 0, 0.55);
      roundRect(cr, a - ox, b - oy, c, d, d / 2);
      cairo_fill(cr);
    } else if (!strcmp(kind, "caption_title") && sscanf(rest, "%lf %lf %n", &a, &b, &m) >= 2) {
      font(cr, 9.5, 1);
      rgb(cr, sc->titleText);
      text(cr, a - ox, b - oy, rest + m, 0);
    } else if ((!strcmp(kind, "caption") || !strcmp(kind, "caption_left")) &&
               sscanf(rest, "%lf %lf %n", &a, &b, &m) >= 2) {
      font(cr, 9.5, 1);
      rgb(cr, captionColour);
      text(cr, a - ox, b - oy, rest + m, !strcmp(kind, "caption") ? 1 : 0);
    }
  }
}

/* ---- the image table -------------------------------------------------------------------- */

/* The file of an image of the table for a colour scheme, or NULL for a name not in the table. */
static const char *schemeFile(const char *registryName, int scheme) {
  for (size_t i = 0; i < sizeof kImageRows / sizeof kImageRows[0]; ++i)
    if (!strcmp(kImageRows[i].name, registryName)) return kImageRows[i].file[scheme];
  return NULL;
}

/* Effect pictures in type order: index = effect type of the backdrop sketch. */
static int effectType(const char *registryName) {
  static const char *names[10] = {"EFFECTS_BYPASS_ID",    "EFFECTS_CHORUS_ID",
                                  "EFFECTS_FLANGER_ID",   "EFFECTS_PHASER_ID",
                                  "EFFECTS_OVERDRIVE_ID", "EFFECTS_FIVEFX_ID",
                                  "EFFECTS_VOCODER_ID",   "EFFECTS_DELAY_ID",
                                  "EFFECTS_REVERB_ID",    "EFFECTS_51DELAYS_ID"};
  for (int i = 0; i < 10; ++i)
    if (!strcmp(names[i], registryName)) return i;
  return -1;
}

static void pages(const char *layoutPath, int scheme) {
  FILE *f = fopen(layoutPath, "r");
  if (!f) {
    fprintf(stderr, "gen-images: cannot read %s\n", layoutPath);
    ++gFailures;
    return;
  }
  const Scheme *sc = &kSchemes[scheme];
  char line[512];
  char done[64][64];
  int ndone = 0;
  while (fgets(line, sizeof line, f)) {
    char kind[16], name[64];
    int x, y, w, h;
    if (sscanf(line, "%15s %63s %d %d %d %d", kind, name, &x, &y, &w, &h) != 6) continue;
    const int picture = !strcmp(kind, "picture");
    if (!picture && strcmp(kind, "page")) continue;
    const char *file = schemeFile(name, scheme);
    if (!file) continue;
    /* a page shared by every scheme is painted once, neutral */
    const int common = !strcmp(file, schemeFile(name, 0)) && !strcmp(file, schemeFile(name, 2));
    if (common && scheme != 0) continue;
    const Scheme *pageScheme = common ? &kNeutral : sc;
    /* an image shared by two places (effect 1 and 2) is painted from its first section */
    int seen = 0;
    for (int i = 0; i < ndone; ++i) seen |= !strcmp(done[i], name);
    if (seen || ndone == 64) continue;
    snprintf(done[ndone++], sizeof done[0], "%s", name);
    long pos = ftell(f);
    cairo_t *cr;
    cairo_surface_t *s = newImage(w, h, &cr);
    const int pageKind = picture ? 2 : !strcmp(name, "MAIN_BG_ID") ? 1 : 0;
    paintPage(cr, pageScheme, x, y, w, h, f, pos, pageKind, picture ? effectType(name) : 0);
    save(s, cr, file);
    /* the multimode mixer backdrop shares the first settings page's panels */
    if (!strcmp(name, "MULTI_SETTINGS_BG_ID")) {
      s = newImage(w, h, &cr);
      paintPage(cr, sc, x, y, w, h, f, pos, 0, 0);
      save(s, cr, schemeFile("MULTI_MIXER_BG_ID", scheme));
    }
    fseek(f, pos, SEEK_SET);
  }
  fclose(f);
}

static void schemeImages(int k) {
  const Scheme *sc = &kSchemes[k];
  char file[128];
  /* lock: dark on the yellow panels, the accent lightened on obsidra's dark ones (blue uses the
   * common white lock) */
  if (k == 0) lock("btn-lock-yellow.png", 24, (RGB){0.13, 0.12, 0.09});
  if (k == 2) lock("btn-lock-black.png", 24, mix(sc->accent, kWhite, 0.35));
  /* quick mixer strip behind the part LEDs */
  {
    cairo_t *cr;
    cairo_surface_t *s = newImage(14, 640, &cr);
    rgba(cr, mix(sc->panel, kBlack, 0.5), 0.9);
    roundRect(cr, 0.5, 0.5, 13, 639, 4);
    cairo_fill(cr);
    snprintf(file, sizeof file, "%s", schemeFile("QUICK_MIXER_ID", k));
    save(s, cr, file);
  }
  static const char *envBase[5] = {"adsr", "adsd2s2r", "oneshot", "loops1s2", "loopall"};
  for (int m = 0; m < 5; ++m) {
    if (k == 0)
      snprintf(file, sizeof file, "Sorvanta-%s-env.png", envBase[m]);
    else
      snprintf(file, sizeof file, "sorvanta-%s-env-%s.png", envBase[m],
               k == 1 ? "silver" : "obsidra");
    envelope(file, m, sc);
  }
  static const char *suffix[3] = {"", "-silver", "-obsidra"};
  snprintf(file, sizeof file, "osc-bg-pw%s.png", suffix[k]);
  waveIcon(file, 1, sc);
  snprintf(file, sizeof file, "osc-bg-sub%s.png", suffix[k]);
  waveIcon(file, 0, sc);
  static const char *filt[6] = {"lowpass", "bandpass", "highpass", "notch", "comb-filter-minus",
                                "comb-filter-plus"};
  if (k != 2) /* blue and obsidra share the white set */
    for (int t = 0; t < 6; ++t) {
      if (t < 4)
        snprintf(file, sizeof file, "bg-%s-filter%s.png", filt[t], k ? "-white" : "");
      else
        snprintf(file, sizeof file, "bg-%s%s.png", filt[t], k ? "-white" : "");
      filterPicture(file, t, k ? (RGB){0.04, 0.05, 0.07} : (RGB){0.98, 0.93, 0.70},
                    k ? (RGB){0.92, 0.94, 0.98} : (RGB){0.15, 0.12, 0.05});
    }
}

static void commonImages(void) {
  const RGB amber = {1.0, 0.62, 0.10}, pink = {1.0, 0.30, 0.62}, green = {0.35, 0.95, 0.45};
  const RGB light = {0.88, 0.88, 0.90}, red = {0.95, 0.25, 0.22};
  /* knob strips: 44 px for the main knob family, 30 px for the small one */
  knobStrip("knob-Sorvanta-normal.png", 44, 128, amber, 0);
  knobStrip("knob-Sorvanta-normal-fc.png", 44, 128, amber, 1);
  knobStrip("knob-Sorvanta-normal-49.png", 44, 49, amber, 1);
  knobStrip("knob-Sorvanta-normal-97.png", 44, 97, amber, 1);
  knobStrip("knob-Sorvanta-normal-4.png", 44, 4, amber, 0);
  knobStrip("knob-Sorvanta-normal-5.png", 44, 5, amber, 0);
  knobStrip("knob-Sorvanta-normal-6.png", 44, 6, amber, 0);
  knobStrip("knob-Sorvanta-normal-7.png", 44, 7, amber, 0);
  knobStrip("knob-Sorvanta-normal-9.png", 44, 9, amber, 0);
  knobStrip("knob-Sorvanta-normal-25.png", 44, 25, amber, 1);
  knobStrip("knob-Sorvanta-normal-11.png", 44, 11, amber, 0);
  knobStrip("knob-Sorvanta-small.png", 30, 128, amber, 0);

  /* librarian area: the upper bank's 128 slots above the lower bank's, 8 columns by 16 rows
   * each, in the slot grid's own geometry: slots 105 x 14, columns 133 apart, upper rows from 1
   * and lower rows from 274, so every name sits on its own cell. The picture also sets the grid
   * control's size, and with it the area the grid repaints: it covers every slot. */
  {
    enum { kSlotW = 105, kSlotH = 14, kColumnStep = 133, kUpperTop = 1, kLowerTop = 274 };
    cairo_t *cr;
    cairo_surface_t *s = newImage(7 * kColumnStep + kSlotW + 1, kLowerTop + 16 * kSlotH + 2, &cr);
    for (int g = 0; g < 2; ++g) {
      const double gy = g ? kLowerTop : kUpperTop;
      cairo_set_source_rgb(cr, 0.07, 0.07, 0.08);
      cairo_rectangle(cr, 0, gy - 1, 7 * kColumnStep + kSlotW + 1, 16 * kSlotH + 2);
      cairo_fill(cr);
      for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 8; ++c) {
          const double shade = (r + c) % 2 ? 0.13 : 0.155;
          cairo_set_source_rgb(cr, shade, shade, shade + 0.01);
          cairo_rectangle(cr, c * kColumnStep, gy + r * kSlotH, kSlotW, kSlotH);
          cairo_fill(cr);
        }
    }
    save(s, cr, "lib-blank-bg.png");
  }
  /* window frame: the window's own backdrop under everything */
  {
    cairo_t *cr;
    cairo_surface_t *s = newImage(1500, 757, &cr);
    cairo_set_source_rgb(cr, 0.06, 0.06, 0.07);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.25, 0.25, 0.27);
    cairo_set_line_width(cr, 2);
    cairo_rectangle(cr, 1, 1, 1498, 755);
    cairo_stroke(cr);
    save(s, cr, "main-bg-frame.png");
  }
  box("Sorvanta-quick-led-protect.png", 20, 20, (RGB){0.1, 0.1, 0.1}, 0.85, light, NULL, NULL);
  box("Sorvanta-single-led-protect.png", 20, 20, (RGB){0.1, 0.1, 0.1}, 0.85, light, NULL, NULL);
  box("multimode-mixer-led-protect.png", 20, 20, (RGB){0.1, 0.1, 0.1}, 0.85, light, NULL, NULL);
  glassButton("btn-18x18.png", 18, 18, amber);
  {
    /* the rename box: its label above the name field, which lies at 20, 30 in it (260 x 18) */
    cairo_t *cr;
    cairo_surface_t *s = framedBox(300, 60, (RGB){0.1, 0.1, 0.11}, 0.97, amber, 3, &cr);
    font(cr, 10, 1);
    text(cr, 20, 22, "RENAME SLOT", 0);
    font(cr, 9.5, 0);
    cairo_set_source_rgb(cr, 0.75, 0.75, 0.77);
    text(cr, 280, 22, "Enter keeps it \xC2\xB7 Esc cancels", 2);
    cairo_set_source_rgb(cr, 0.03, 0.03, 0.035);
    roundRect(cr, 18, 28, 264, 22, 3);
    cairo_fill(cr);
    save(s, cr, "newNameBG.png");
  }
  box("about-Sorvanta.png", 600, 360, (RGB){0.08, 0.08, 0.09}, 0.97, amber, "SORVANTA EDITOR",
      "Editor and librarian for the Dorvik synthesizer\nVersion 1.0.6\n\nHarrowgate Sound "
      "Labs\n\nInterface drawn with Cairo, lettering in DejaVu Sans");
  plainButton("about-exit.png", 24, 24, "X", light);
  plainButton("about-trigger.png", 80, 26, "ABOUT", light);
  box("fx1-overlayer.png", 600, 300, (RGB){0.0, 0.0, 0.0}, 0.6, (RGB){0.3, 0.3, 0.3},
      "EFFECT 1: PARTS 1-4 ONLY", NULL);
  box("fx2-overlayer.png", 600, 300, (RGB){0.0, 0.0, 0.0}, 0.6, (RGB){0.3, 0.3, 0.3},
      "EFFECT 2 IS LINKED TO ANOTHER PART", NULL);
  button2("arp-on-off-button.png", 40, 20, "ARP", green, 1);
  plainButton("btn-lib-discard-edit.png", 120, 22, "DISCARD", red);
  button2("btn-lib-display-multis.png", 120, 24, "MULTIS", amber, 1);
  {
    cairo_t *cr;
    cairo_surface_t *s = newImage(1500, 757, &cr);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.62);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.09, 0.09, 0.1);
    roundRect(cr, 600, 330, 300, 100, 10);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, amber.r, amber.g, amber.b);
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);
    font(cr, 18, 1);
    text(cr, 750, 372, "TRANSFER IN PROGRESS", 1);
    font(cr, 12, 0);
    cairo_set_source_rgb(cr, 0.8, 0.8, 0.82);
    text(cr, 750, 398, "Please wait...", 1);
    save(s, cr, "Sorvanta-progress-overlay.png");
  }
  static const char *tabs[6] = {"MULTI", "LIBRARY", "OSCILLATORS", "FILTER / ENV", "LFO / MOD",
                                "FX / ARP"};
  tabStrip("main-tab-selector.png", 112, 30, 6, tabs, 0, amber);
  static char partNames[16][12];
  const char *parts[16];
  for (int i = 0; i < 16; ++i) {
    snprintf(partNames[i], sizeof partNames[i], "PART %d", i + 1);
    parts[i] = partNames[i];
  }
  tabStrip("main-part-selector.png", 60, 40, 16, parts, 1, amber);
  for (int i = 1; i <= 16; ++i) {
    char f[64], l[8];
    snprintf(f, sizeof f, "btn-part%02d.png", i);
    snprintf(l, sizeof l, "%d", i);
    button2(f, 28, 18, l, amber, 0);
  }
  led("led-pink.png", 10, pink, 0);
  led("led-pink-inv.png", 10, pink, 1);
  led("part-led-pink.png", 14, pink, 0);
  button2("button-small.png", 34, 16, NULL, green, 1);
  button2("btn-lib-bank-memory.png", 120, 24, "KEEP BANK", amber, 1);
  fader("slider-pysty.png", 20, 12, 1);
  fader("slider-vaaka.png", 14, 14, 0);
  button2("btn-mute-part.png", 24, 16, "M", red, 0);
  arrowButton("btn-patch-up.png", 20, 14, 1, light);
  arrowButton("btn-patch-down.png", 20, 14, 0, light);
  glassButton("btn-127x18.png", 127, 18, light);
  plainButton("btn-cancel-request.png", 90, 22, "CANCEL", red);
  lock("btn-lock-white.png", 24, (RGB){0.92, 0.93, 0.95});
  glassButton("buttontrigger.png", 60, 24, light);
  plainButton("buttonrandomizer.png", 90, 36, "RANDOM", amber);
  button2("btn-additional-settings.png", 160, 28, "GLOBAL SETTINGS", amber, 1);
  box("first-run-Sorvanta.png", 600, 360, (RGB){0.08, 0.08, 0.09}, 0.97, amber, "WELCOME",
      "Choose the MIDI output and input that reach your Dorvik\nin the fields at the bottom "
      "left, then close this notice.");
  plainButton("first-run-exit.png", 24, 24, "X", light);
  button2("btn-lib-display-categories.png", 120, 24, "CATEGORIES", amber, 1);
  box("categoryFilterBG.png", 200, 22, (RGB){0.1, 0.1, 0.11}, 0.95, (RGB){0.4, 0.4, 0.42}, NULL,
      NULL);
  checkbox("checkbox-button.png", 18, amber);
  button2("buttom-small-led.png", 32, 16, NULL, green, 1);
  button2("btn-search.png", 120, 24, "SEARCH", amber, 1);
  box("bg-librarian-search-field.png", 220, 22, (RGB){0.05, 0.05, 0.06}, 0.97, amber, NULL, NULL);
  box("bg-patch-conflict.png", 600, 240, (RGB){0.08, 0.08, 0.09}, 0.97, red, "BANK CONFLICT",
      "The bank in the editor and the bank in the Dorvik differ.");
  plainButton("btn-overwrite-slot.png", 120, 24, "OVERWRITE", red);
}

/* ---- contact sheet ---------------------------------------------------------------------- */

static void contactSheet(const char *dir, int k) {
  static const char *common[] = {"main-tab-selector.png", "knob-Sorvanta-normal.png",
                                 "btn-lock-white.png", "checkbox-button.png",
                                 "btn-lib-display-multis.png", "led-pink.png"};
  const char *schemeSet[] = {schemeFile("MAIN_BG_ID", k), schemeFile("OSCILLATORS_ID", k),
                             schemeFile("EFFECTS_ID", k)};
  cairo_t *cr;
  cairo_surface_t *s = newImage(1600, 1500, &cr);
  cairo_set_source_rgb(cr, 0.5, 0.5, 0.5);
  cairo_paint(cr);
  char path[1024];
  double y = 10;
  for (int i = 0; i < 3; ++i) {
    snprintf(path, sizeof path, "%s/%s", gOutDir, schemeSet[i]);
    cairo_surface_t *img = cairo_image_surface_create_from_png(path);
    if (cairo_surface_status(img) == CAIRO_STATUS_SUCCESS) {
      cairo_save(cr);
      cairo_translate(cr, 10, y);
      cairo_scale(cr, 0.6, 0.6);
      cairo_set_source_surface(cr, img, 0, 0);
      cairo_paint(cr);
      cairo_restore(cr);
      y += cairo_image_surface_get_height(img) * 0.6 + 10;
    }
    cairo_surface_destroy(img);
  }
  double x = 940;
  y = 10;
  for (size_t i = 0; i < sizeof common / sizeof common[0]; ++i) {
    snprintf(path, sizeof path, "%s/%s", gOutDir, common[i]);
    cairo_surface_t *img = cairo_image_surface_create_from_png(path);
    if (cairo_surface_status(img) == CAIRO_STATUS_SUCCESS) {
      int h = cairo_image_surface_get_height(img);
      if (h > 400) h = 400; /* the top of a strip is enough */
      cairo_save(cr);
      cairo_rectangle(cr, x, y, cairo_image_surface_get_width(img), h);
      cairo_clip(cr);
      cairo_set_source_surface(cr, img, x, y);
      cairo_paint(cr);
      cairo_restore(cr);
      y += h + 10;
    }
    cairo_surface_destroy(img);
  }
  cairo_destroy(cr);
  snprintf(path, sizeof path, "%s/contact-%s.png", dir, kSchemes[k].name);
  if (cairo_surface_write_to_png(s, path) != CAIRO_STATUS_SUCCESS) ++gFailures;
  cairo_surface_destroy(s);
}

/* ---- previews of the whole window --------------------------------------------------------- */

static const ImageRow *imageRow(const char *name) {
  for (size_t i = 0; i < sizeof kImageRows / sizeof kImageRows[0]; ++i)
    if (!strcmp(kImageRows[i].name, name)) return &kImageRows[i];
  return NULL;
}

static cairo_surface_t *loadImage(const char *name, int scheme, const ImageRow **row) {
  char path[1024];
  *row = imageRow(name);
  if (!*row) return NULL;
  snprintf(path, sizeof path, "%s/%s", gOutDir, (*row)->file[scheme]);
  cairo_surface_t *img = cairo_image_surface_create_from_png(path);
  if (cairo_surface_status(img) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(img);
    return NULL;
  }
  return img;
}

/* Draws frame `frame` of an image at (x, y), as a control shows it. */
static void drawFrame(cairo_t *cr, const char *name, int scheme, double x, double y, int frame) {
  const ImageRow *row;
  cairo_surface_t *img = loadImage(name, scheme, &row);
  if (!img) return;
  int w = cairo_image_surface_get_width(img), h = cairo_image_surface_get_height(img);
  int fw = row->sideBySide ? w / row->frames : w, fh = row->sideBySide ? h : h / row->frames;
  cairo_save(cr);
  cairo_rectangle(cr, x, y, fw, fh);
  cairo_clip(cr);
  cairo_set_source_surface(cr, img, x - (row->sideBySide ? frame * fw : 0),
                           y - (row->sideBySide ? 0 : frame * fh));
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(img);
}

/* The default window of each tab, as the interface description places it, scaled by `scale`
 * like the editor's small (0.85) and large (1.15) sizes. */
static void previews(const char *previewPath, const char *dir, int scheme, double scale,
                     const char *sizeName) {
  FILE *f = fopen(previewPath, "r");
  if (!f) {
    ++gFailures;
    return;
  }
  static const RGB menuText[3] = {{0, 0, 0}, {1, 1, 1}, {200 / 255.0, 200 / 255.0, 200 / 255.0}};
  char line[512], view[64] = "";
  cairo_t *cr = NULL;
  cairo_surface_t *s = NULL;
  for (;;) {
    char *got = fgets(line, sizeof line, f);
    if (got) line[strcspn(line, "\n")] = 0;
    if (!got || !strncmp(line, "view ", 5)) {
      if (s) {
        char path[1024];
        cairo_destroy(cr);
        snprintf(path, sizeof path, "%s/preview-%s-%s-%s.png", dir, kSchemes[scheme].name, view,
                 sizeName);
        if (cairo_surface_write_to_png(s, path) != CAIRO_STATUS_SUCCESS) ++gFailures;
        cairo_surface_destroy(s);
        s = NULL;
      }
      if (!got) break;
      snprintf(view, sizeof view, "%.63s", line + 5);
      s = newImage((int)(1500 * scale), (int)(757 * scale), &cr);
      cairo_scale(cr, scale, scale);
      drawFrame(cr, "MAIN_BG_FRAME_ID", scheme, 0, 0, 0);
      continue;
    }
    char name[64];
    double x, y, a, b;
    int n = 0, buttons, horizontal;
    if (sscanf(line, "img %63s %lf %lf %lf", name, &x, &y, &a) == 4) {
      const ImageRow *row = imageRow(name);
      int frame = row ? (int)(a * (row->frames - 1) + 0.5) : 0;
      drawFrame(cr, name, scheme, x, y, frame);
    } else if (sscanf(line, "fader %63s %lf %lf %lf %lf", name, &x, &y, &a, &b) == 5) {
      drawFrame(cr, name, scheme, x + b * a, y, 0);
    } else if (sscanf(line, "radio %63s %lf %lf %d %d", name, &x, &y, &buttons, &horizontal) == 5) {
      const ImageRow *row;
      cairo_surface_t *img = loadImage(name, scheme, &row);
      if (!img) continue;
      int w = cairo_image_surface_get_width(img), h = cairo_image_surface_get_height(img);
      int cw = row->sideBySide ? w / 2 : w / buttons, ch = row->sideBySide ? h / buttons : h / 2;
      int selected = !strcmp(name, "BUTTON_TAB_TOPBAR_ID") ? -1 : 0;
      if (selected < 0) {
        static const char *tabViews[6] = {"multi", "librarian", "oscillators", "filters", "lfo",
                                          "effects"};
        for (int i = 0; i < 6; ++i)
          if (!strcmp(view, tabViews[i]) || (i == 0 && !strcmp(view, "global"))) selected = i;
      }
      for (int i = 0; i < buttons; ++i) {
        double bx = horizontal ? x + i * cw : x, by = horizontal ? y : y + i * ch;
        double sx = row->sideBySide ? (i == selected ? cw : 0) : i * cw;
        double sy = row->sideBySide ? i * ch : (i == selected ? ch : 0);
        cairo_save(cr);
        cairo_rectangle(cr, bx, by, cw, ch);
        cairo_clip(cr);
        cairo_set_source_surface(cr, img, bx - sx, by - sy);
        cairo_paint(cr);
        cairo_restore(cr);
      }
      cairo_surface_destroy(img);
    } else if (sscanf(line, "menu %lf %lf %lf %lf %n", &x, &y, &a, &b, &n) == 4) {
      cairo_select_font_face(cr, "DejaVu Sans Mono", CAIRO_FONT_SLANT_NORMAL,
                             CAIRO_FONT_WEIGHT_NORMAL);
      cairo_set_font_size(cr, 11);
      rgb(cr, menuText[scheme]);
      cairo_move_to(cr, x + 3, y + b - 2.5);
      cairo_show_text(cr, line + n);
    } else if (sscanf(line, "display %lf %lf %lf %lf %lf %n", &x, &y, &a, &b, &a, &n) == 5) {
      cairo_select_font_face(cr, "DejaVu Sans Mono", CAIRO_FONT_SLANT_NORMAL,
                             CAIRO_FONT_WEIGHT_NORMAL);
      cairo_set_font_size(cr, 14);
      cairo_set_source_rgb(cr, 241 / 255.0, 243 / 255.0, 33 / 255.0);
      cairo_move_to(cr, x + 4, y + b - 4);
      cairo_show_text(cr, line + n);
    }
  }
  fclose(f);
}

int main(int argc, char **argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: gen-images <layout.txt> <img dir> [contact sheet dir]\n");
    return 2;
  }
  gOutDir = argv[2];
  char letteringPath[1024];
  snprintf(letteringPath, sizeof letteringPath, "%s/lettering.txt", gOutDir);
  gLettering = fopen(letteringPath, "w");
  if (!gLettering) {
    fprintf(stderr, "gen-images: cannot write %s\n", letteringPath);
    ++gFailures;
  }
  commonImages();
  for (int k = 0; k < 3; ++k) {
    schemeImages(k);
    pages(argv[1], k);
  }
  if (argc > 3)
    for (int k = 0; k < 3; ++k) contactSheet(argv[3], k);
  if (argc > 4)
    for (int k = 0; k < 3; ++k) {
      previews(argv[4], argv[3], k, 1.0, "normal");
      if (k == 0) {
        previews(argv[4], argv[3], k, 0.85, "small");
        previews(argv[4], argv[3], k, 1.15, "large");
      }
    }
  if (gLettering && fclose(gLettering) != 0) ++gFailures;
  printf("gen-images: lowest contrast of the lettering: %s %.2f:1, %s %.2f:1, %s %.2f:1\n", kSchemes[0].name,
         gLowestLettering[0], kSchemes[1].name, gLowestLettering[1], kSchemes[2].name, gLowestLettering[2]);
  return gFailures ? 1 : 0;
}
