// Basic types of the graphics library: the pixel word and the rectangle it clips with.
//
// Pixel word layout (little-endian memory, as on every platform we build for):
//   bits 0-7 alpha, 8-15 red, 16-23 green, 24-31 blue; in memory: alpha, red, green, blue.
// The combiners address a pixel as four bytes in that memory order, so GFX_CH_* below are byte
// offsets into a pixel as well as the channel indices of the channel-copy blit.
// Colours are straight (not premultiplied); alpha is combined like any other channel.
#pragma once

#include <cstdint>

typedef unsigned int GFX_pixel;

static_assert(sizeof(GFX_pixel) == 4, "GFX_pixel must be 32 bits");
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the graphics library assumes little-endian pixel words (alpha in the first byte)"
#endif

enum { GFX_CH_A = 0, GFX_CH_R = 1, GFX_CH_G = 2, GFX_CH_B = 3 };

// Note: these take and return unsigned values; mixing them into signed expressions makes the
// whole expression unsigned. Cast the channel to int before subtracting.
#define GFX_RGBA(r, g, b, a) \
  ((GFX_pixel)(((unsigned)(r) & 0xff) << 8 | ((unsigned)(g) & 0xff) << 16 | ((unsigned)(b) & 0xff) << 24 | ((unsigned)(a) & 0xff)))
#define GFX_GETA(p) ((unsigned)(p) & 0xff)
#define GFX_GETR(p) (((unsigned)(p) >> 8) & 0xff)
#define GFX_GETG(p) (((unsigned)(p) >> 16) & 0xff)
#define GFX_GETB(p) (((unsigned)(p) >> 24) & 0xff)

// The blend-mode word (signed 32 bits). Bits 0-7 choose the operation, bit 16 weights each source
// pixel by its own alpha, bits 8-15 are the filter field of scaled drawing (exactly 0x100 =
// bilinear), and (mode & 0xf0) == 0xf0 is the unscaled blit's channel copy.
enum {
  GFX_MODE_COPY = 0,
  GFX_MODE_ADD = 1,
  GFX_MODE_DODGE = 2,
  GFX_MODE_MUL = 3,
  GFX_MODE_OVERLAY = 4,
  GFX_MODE_HSVADJ = 5,
  GFX_MODE_FILTER_BILINEAR = 0x100,
  GFX_MODE_USE_SOURCE_ALPHA = 0x10000,
};

// RECT and HDC belong to the windowing layer, below us.
#include "WINX_Types.h"
