#include "GFX_Bitmap.h"

#include <climits>
#include <cstdint>
#include <cstdlib>

GFX_MemBitmap::GFX_MemBitmap(int width, int height, unsigned int rowAlignment) {
  if (rowAlignment < 2) {
    m_align = 0;
  } else {
    unsigned low = rowAlignment & (~rowAlignment + 1u);
    m_align = low >= 32 ? 16 : static_cast<int>(low) - 1;
  }
  if (width || height) resize(width, height);
}

GFX_MemBitmap::~GFX_MemBitmap() { free(m_block); }

GFX_pixel* GFX_MemBitmap::getBits() {
  if (!m_block) return nullptr;
  uintptr_t p = (reinterpret_cast<uintptr_t>(m_block) + 63) & ~static_cast<uintptr_t>(63);
  return reinterpret_cast<GFX_pixel*>(p);
}

bool GFX_MemBitmap::resize(int width, int height) {
  if (width == m_w && height == m_h) return false;

  // Byte counts in 64 bits: width * height * 4 wraps a 32-bit int long before memory runs out,
  // and a wrapped small count would hand out a buffer far smaller than the rows we then write.
  long long span = 0, needed = 0;
  if (width > 0 && height > 0) {
    span = (static_cast<long long>(width) + m_align) & ~static_cast<long long>(m_align);
    needed = span * height * 4;
  }
  const bool unusable = width < 0 || height < 0 || needed > INT_MAX - 64;
  if (unusable || needed <= 0) {
    // Empty, negative or unallocatable: the bitmap holds no pixels and reports 0 x 0. (Note the
    // historical case width 0, height 10 also ends here and reports 0 x 0.)
    free(m_block);
    m_block = nullptr;
    m_allocSize = 0;
    m_w = m_h = 0;
    return true;
  }
  m_w = width;
  m_h = height;
  const int need = static_cast<int>(needed);
  if (m_block && need <= m_allocSize) return true;

  if (m_block) {
    long long grow = needed + needed / 4;  // five bytes per pixel of headroom for the next growth
    if (grow > INT_MAX - 64) grow = needed;
    void* nb = realloc(m_block, static_cast<size_t>(grow) + 63);
    if (nb) {
      m_block = nb;
      m_allocSize = static_cast<int>(grow);
      return true;
    }
    free(m_block);
    m_block = nullptr;
    m_allocSize = 0;
  }
  m_block = malloc(static_cast<size_t>(need) + 63);
  if (!m_block) {
    m_w = m_h = 0;
    m_allocSize = 0;
    return true;
  }
  m_allocSize = need;
  return true;
}
