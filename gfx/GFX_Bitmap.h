// Bitmaps of the graphics library.
//
// GFX_IBitmap is the one interface every drawing operation reads and writes through: a rectangle
// of GFX_pixel words addressed as rows. Pixel (x, y) of a bitmap that is not flipped is
// getBits()[y * getRowSpan() + x]; a flipped bitmap keeps picture row y at memory row
// (height - 1 - y), and every operation that walks rows honours that.
//
// Ownership: whoever creates a bitmap deletes it; no library operation takes ownership of a
// bitmap passed to it. A bitmap has no lock and is used by one thread at a time (the GUI
// framework draws on its main thread).
#pragma once

#include "GFX_Types.h"

class GFX_IBitmap {
public:
  virtual ~GFX_IBitmap() {}
  // Row 0, column 0; null when the bitmap holds no pixels (every operation then draws nothing).
  virtual GFX_pixel* getBits() = 0;
  virtual int getWidth() = 0;
  virtual int getHeight() = 0;
  // Distance between rows in pixel words (not bytes); at least the width.
  virtual int getRowSpan() = 0;
  virtual bool isFlipped() { return false; }
  // Contents after a resize are undefined; callers clear or overwrite.
  virtual bool resize(int width, int height) = 0;
  virtual HDC getDC() { return nullptr; }
  virtual int Extended(int id, void* data) {
    (void)id;
    (void)data;
    return 0;
  }
};

// Pixels in a heap block (malloc/realloc), 64-byte aligned inside a block 63 bytes larger than
// the pixels need. Owns the block; the destructor frees it. The block never shrinks on resize.
//
// A size that cannot be allocated (negative, too large for a 31-bit byte count, or memory
// exhausted) leaves a 0 x 0 bitmap with null bits: callers test getBits(), never the size they
// asked for.
class GFX_MemBitmap : public GFX_IBitmap {
public:
  // rowAlignment: rows start at multiples of this many pixels (its lowest set bit; values of 32
  // and more give the historical mask 16, see getRowSpan). The GUI framework always passes 4.
  GFX_MemBitmap(int width = 0, int height = 0, unsigned int rowAlignment = 4);
  ~GFX_MemBitmap() override;
  GFX_MemBitmap(const GFX_MemBitmap&) = delete;
  GFX_MemBitmap& operator=(const GFX_MemBitmap&) = delete;

  GFX_pixel* getBits() override;
  int getWidth() override { return m_w; }
  int getHeight() override { return m_h; }
  // (width + mask) & ~mask. With the mask 16 this is not a rounding: widths with bit 4 set get 16
  // extra pixels, the others none. Kept because stored layouts and callers rely on it.
  int getRowSpan() override { return (m_w + m_align) & ~m_align; }
  bool resize(int width, int height) override;

  // Bytes of pixels the block can hold (without the alignment slack).
  int getAllocatedSize() const { return m_allocSize; }

private:
  void* m_block = nullptr;
  int m_w = 0, m_h = 0;
  int m_allocSize = 0;
  int m_align = 0;
};
