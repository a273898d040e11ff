#include "GFX_SysBitmap.h"

#include "WINX_GDI.h"

GFX_SysBitmap::GFX_SysBitmap(int width, int height) { resize(width, height); }

GFX_SysBitmap::~GFX_SysBitmap() {
  if (m_dc) WINX_DeleteGfxContext(m_dc);
}

bool GFX_SysBitmap::resize(int width, int height) {
  if (width == m_w && height == m_h) return false;
  m_w = width;
  m_h = height;
  if (width > 0 && height > 0 && width <= m_allocW && height <= m_allocH && m_bits) return true;

  // Rows of a multiple of 4 pixels. A negative or huge width gives 0 here and no pixels:
  // rounding up must not wrap the int.
  m_allocW = (width > 0 && width <= 0x7ffffff0) ? (width + 3) & ~3 : 0;
  m_allocH = height > 0 ? height : 0;
  if (m_dc) WINX_DeleteGfxContext(m_dc);
  m_dc = nullptr;
  m_bits = nullptr;
  if (m_allocH == 0 || m_allocW == 0) {
    m_allocW = m_allocH = 0;
    return false;
  }
  m_dc = WINX_CreateMemContext(nullptr, m_allocW, m_allocH);
  if (!m_dc) {
    m_w = m_h = 0;
    m_allocW = m_allocH = 0;
    return true;
  }
  m_bits = static_cast<GFX_pixel*>(WINX_GetCtxFrameBuffer(m_dc));
  return true;
}
