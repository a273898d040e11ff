#include "UTIL_HeapBuf.h"

#include <cstdlib>
#include <cstring>

UTIL_HeapBuf::UTIL_HeapBuf(int granularity, int minAlloc) : m_granul(granularity), m_mas(minAlloc) {}

UTIL_HeapBuf::~UTIL_HeapBuf() { free(m_buf); }

void* UTIL_HeapBuf::Resize(int newSize, bool resizeDown) {
  if (newSize < 0) newSize = 0;
  if (newSize == m_size) return Get();

  bool fits = newSize <= m_alloc;
  bool shrink = resizeDown && newSize < m_size && newSize < m_alloc / 2 &&
                static_cast<long long>(newSize) < static_cast<long long>(m_alloc) - 4LL * m_granul;
  if (!fits || shrink) {
    long long g = newSize / 2;
    if (g < m_granul) g = m_granul;
    long long alloc;
    if (m_granul > 4095) {
      g &= ~4095LL;
      if (g < 4096) g = 4096;
      if (g > 4194304) g = 4194304;
      alloc = ((newSize + g + 96) & ~4095LL) - 96;
    } else {
      alloc = newSize + g;
    }
    if (alloc < m_mas) alloc = m_mas;
    if (alloc < newSize) alloc = newSize;
    if (alloc > 0x7fffffffLL) return Get();  // size word would wrap: treat as out of memory

    void* nb = realloc(m_buf, static_cast<size_t>(alloc));
    if (!nb) {
      nb = malloc(static_cast<size_t>(alloc));
      if (!nb) return Get();
      if (m_buf) {
        memcpy(nb, m_buf, static_cast<size_t>(newSize < m_size ? newSize : m_size));
        free(m_buf);
      }
    }
    m_buf = nb;
    m_alloc = static_cast<int>(alloc);
  }
  m_size = newSize;
  return Get();
}

void* UTIL_HeapBuf::ResizeOK(int newSize, bool resizeDown) {
  void* p = Resize(newSize, resizeDown);
  return m_size == newSize ? p : nullptr;
}

bool UTIL_HeapBuf::Reserve(int bytes) {
  if (bytes <= m_alloc) return true;
  void* nb = realloc(m_buf, static_cast<size_t>(bytes));
  if (!nb) return false;
  m_buf = nb;
  m_alloc = bytes;
  return true;
}

void* UTIL_HeapBuf::Add(const void* data, int bytes) {
  if (bytes < 0 || static_cast<long long>(m_size) + bytes > 0x7fffffffLL) return nullptr;
  int old = m_size;
  char* p = static_cast<char*>(ResizeOK(old + bytes, false));
  if (!p) return nullptr;
  if (data && bytes) memcpy(p + old, data, static_cast<size_t>(bytes));
  return p + old;
}
