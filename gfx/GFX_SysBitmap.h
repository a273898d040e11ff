// A bitmap whose pixels live in a memory device context of the windowing layer, so the same
// pixels can be drawn into with the layer's text drawing (WINX_DrawText) and copied to the
// screen. The GUI framework draws its frame into one; the cached font renders glyphs in two
// shared ones.
//
// Owns its memory context (and so its pixels); the destructor deletes it. The context never
// shrinks: resizing within the allocated width and height keeps it, and the row span stays the
// allocated width. Used by one thread at a time.
#pragma once

#include "GFX_Bitmap.h"

class GFX_SysBitmap : public GFX_IBitmap {
public:
  GFX_SysBitmap(int width = 0, int height = 0);
  ~GFX_SysBitmap() override;
  GFX_SysBitmap(const GFX_SysBitmap&) = delete;
  GFX_SysBitmap& operator=(const GFX_SysBitmap&) = delete;

  GFX_pixel* getBits() override { return m_bits; }
  int getWidth() override { return m_w; }
  int getHeight() override { return m_h; }
  int getRowSpan() override { return m_allocW; }
  // Returns false when the size is unchanged, and when a size of 0 leaves no pixels (the
  // bitmap then reports the new size with null bits). A context that cannot be made leaves a
  // 0 x 0 bitmap with null bits and returns true.
  bool resize(int width, int height) override;
  HDC getDC() override { return m_dc; }

private:
  int m_w = 0, m_h = 0;
  HDC m_dc = nullptr;
  GFX_pixel* m_bits = nullptr;
  int m_allocW = 0, m_allocH = 0;
};
