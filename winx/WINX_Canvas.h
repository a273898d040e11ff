// The drawing surface behind a device context: pixels in the graphics library's pixel order
// plus the drawing state that Win32 calls keep per context (origin, clip, antialiasing) and a
// stack of saved states.
//
// Pixel words: read as a 32-bit little-endian word, bits 0-7 are the byte the screen ignores and
// the graphics library uses as alpha, 8-15 red, 16-23 green, 24-31 blue. Cairo's ARGB32 order
// differs (alpha in the top byte), so Cairo never writes a canvas directly: text is rendered as
// an 8-bit coverage mask and blended in here.
//
// A canvas does not own its pixels; whoever made it (a memory context, a window's paint pass)
// keeps them alive as long as the canvas. Used by one thread at a time; no locking.
#pragma once

#include <cstdint>
#include <vector>

#include "WINX_Types.h"

struct WINX_CanvasState {
  int originX = 0, originY = 0;
  RECT clip = {0, 0, 0, 0};
  bool antialias = true;
};

struct WINX_Canvas {
  uint32_t* pixels = nullptr;  // row 0 is the top row
  int width = 0, height = 0;
  int rowWords = 0;            // distance between rows, in pixel words (>= width)
  // Current state: logical coordinates plus origin give pixel coordinates; nothing is drawn
  // outside `clip` (pixel coordinates, always within 0..width x 0..height).
  WINX_CanvasState state;
  std::vector<WINX_CanvasState> saved;
};

// Sets up a canvas over caller-owned pixels; the clip is the whole canvas.
void WINX_CanvasInit(WINX_Canvas* c, uint32_t* pixels, int width, int height, int rowWords);
void WINX_CanvasSave(WINX_Canvas* c);
// Restores the last saved state; does nothing when none is saved.
void WINX_CanvasRestore(WINX_Canvas* c);
// Intersects the clip with a rectangle in logical coordinates.
void WINX_CanvasClipRect(WINX_Canvas* c, int left, int top, int right, int bottom);
// Pixel-coordinate rectangle of the current clip; empty (right <= left) when nothing is drawable.
RECT WINX_CanvasClip(const WINX_Canvas* c);

// Fills a logical rectangle with an opaque colour int (0x00RRGGBB), honouring the clip. The
// alpha byte of every filled pixel becomes 255.
void WINX_CanvasFillRect(WINX_Canvas* c, int left, int top, int right, int bottom, int colorInt);

// Blends a colour int through an 8-bit coverage mask whose top-left pixel lands at pixel
// coordinates (x, y); only the part inside `clip` (pixel coordinates) and the canvas is touched.
// Each channel, alpha included (source 255), moves toward the colour by coverage/255, rounded.
void WINX_CanvasBlendMask(WINX_Canvas* c, int x, int y, const uint8_t* mask, int maskStride,
                          int maskWidth, int maskHeight, int colorInt, const RECT& clip);

// Packs 8-bit channels into a canvas pixel word.
inline uint32_t WINX_CanvasPixel(unsigned r, unsigned g, unsigned b, unsigned a = 255) {
  return (a & 0xff) | ((r & 0xff) << 8) | ((g & 0xff) << 16) | ((b & 0xff) << 24);
}
