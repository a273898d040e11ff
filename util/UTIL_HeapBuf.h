// Growable byte buffer under every container of the framework, the graphics library and the
// windowing layer. Owns its data block; the destructor frees it.
//
// Growth follows one rule (see Resize) so that repeated appends stay amortised. On allocation
// failure nothing changes and the old pointer comes back: callers that must know compare
// GetSize() with what they asked for.
#pragma once

#include <cstddef>

class UTIL_HeapBuf {
public:
  explicit UTIL_HeapBuf(int granularity = 4096, int minAlloc = 0);
  ~UTIL_HeapBuf();
  UTIL_HeapBuf(const UTIL_HeapBuf&) = delete;
  UTIL_HeapBuf& operator=(const UTIL_HeapBuf&) = delete;

  // Sets the used size; returns the data pointer (null for size 0, or the old pointer when
  // memory ran out). resizeDown lets a large buffer shrink its allocation.
  void* Resize(int newSize, bool resizeDown = true);

  void* Get() const { return m_size > 0 ? m_buf : nullptr; }
  int GetSize() const { return m_size; }
  int GetAllocated() const { return m_alloc; }
  int GetGranularity() const { return m_granul; }
  void SetGranularity(int g) { m_granul = g; }
  void SetMinAllocSize(int m) { m_mas = m; }

  // Grows by `bytes` and returns a pointer to the new tail, or null on failure (size unchanged).
  void* ResizeOK(int newSize, bool resizeDown = true);
  // Makes room for `bytes` in all without changing the size, so that growing up to there moves
  // nothing; the growth rule is untouched past it. False (nothing changed) when memory ran out.
  bool Reserve(int bytes);
  void* Add(const void* data, int bytes);

private:
  void* m_buf = nullptr;
  int m_granul;
  int m_alloc = 0;
  int m_size = 0;
  int m_mas;
};

// A UTIL_HeapBuf seen as an array of T. T must be trivially copyable: elements move with realloc.
template <class T>
class UTIL_TypedBuf {
public:
  explicit UTIL_TypedBuf(int granularity = 4096) : m_hb(granularity) {}

  T* Get() const { return static_cast<T*>(m_hb.Get()); }
  int GetSize() const { return m_hb.GetSize() / static_cast<int>(sizeof(T)); }

  // Returns the data pointer, or null when the count does not fit or memory ran out
  // (the buffer then keeps its old size).
  T* Resize(int count, bool resizeDown = true) {
    if (count < 0 || static_cast<long long>(count) * sizeof(T) > 0x7fffffffLL) return nullptr;
    return static_cast<T*>(m_hb.ResizeOK(count * static_cast<int>(sizeof(T)), resizeDown));
  }
  // Appends one element; null on failure.
  T* Add(const T& v) {
    int n = GetSize();
    T* p = Resize(n + 1, false);
    if (!p) return nullptr;
    p[n] = v;
    return p + n;
  }
  // Room for `count` elements in all (see UTIL_HeapBuf::Reserve); false when the count does
  // not fit or memory ran out.
  bool Reserve(int count) {
    if (count < 0 || static_cast<long long>(count) * sizeof(T) > 0x7fffffffLL) return false;
    return m_hb.Reserve(count * static_cast<int>(sizeof(T)));
  }
  void SetGranularity(int g) { m_hb.SetGranularity(g); }
  UTIL_HeapBuf* GetHeapBuf() { return &m_hb; }

private:
  UTIL_HeapBuf m_hb;
};
