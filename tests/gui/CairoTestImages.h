// Test images written as PNG files through Cairo, for the resource lookup and the display tests.
#pragma once

#include <cairo.h>

// A w x h PNG of one colour (components 0..1), opaque unless an alpha is given.
inline void writeSolidPng(const char* file, int w, int h, double r, double g, double b, double a = 1.0) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(s);
  cairo_set_source_rgba(cr, r, g, b, a);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_write_to_png(s, file);
  cairo_surface_destroy(s);
}
