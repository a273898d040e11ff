// List of pointers kept in one UTIL_HeapBuf. It deletes its elements only when asked (Empty(true)
// or Delete(idx, true)); its destructor frees the list's storage, never the elements.
#pragma once

#include <cstring>

#include "UTIL_HeapBuf.h"

template <class T>
class UTIL_PtrList {
public:
  explicit UTIL_PtrList(int granularity = 4096) : m_hb(granularity) {}

  int GetSize() const { return m_hb.GetSize() / static_cast<int>(sizeof(T*)); }
  T** GetList() const { return static_cast<T**>(m_hb.Get()); }
  // Null for an index outside the list.
  T* Get(int idx) const {
    T** l = GetList();
    return (l && idx >= 0 && idx < GetSize()) ? l[idx] : nullptr;
  }
  T* GetLast() const { return Get(GetSize() - 1); }

  // Appends; returns the element, or null when memory ran out.
  T* Add(T* item) {
    int n = GetSize();
    T** l = static_cast<T**>(m_hb.ResizeOK((n + 1) * static_cast<int>(sizeof(T*)), false));
    if (!l) return nullptr;
    l[n] = item;
    return item;
  }
  // Inserts before idx (clamped to 0..size); returns the element, or null when memory ran out.
  T* Insert(int idx, T* item) {
    int n = GetSize();
    if (idx < 0) idx = 0;
    if (idx > n) idx = n;
    T** l = static_cast<T**>(m_hb.ResizeOK((n + 1) * static_cast<int>(sizeof(T*)), false));
    if (!l) return nullptr;
    if (idx < n) memmove(l + idx + 1, l + idx, static_cast<size_t>(n - idx) * sizeof(T*));
    l[idx] = item;
    return item;
  }
  int Find(const T* item) const {
    T** l = GetList();
    for (int i = 0; i < GetSize(); ++i)
      if (l[i] == item) return i;
    return -1;
  }
  // Removes the entry at idx (ignored outside the list), deleting the element when asked.
  void Delete(int idx, bool wantDelete = false, void (*deleteFunc)(void*) = nullptr) {
    int n = GetSize();
    if (idx < 0 || idx >= n) return;
    T** l = GetList();
    T* item = l[idx];
    if (idx < n - 1) memmove(l + idx, l + idx + 1, static_cast<size_t>(n - 1 - idx) * sizeof(T*));
    m_hb.Resize((n - 1) * static_cast<int>(sizeof(T*)), false);
    if (wantDelete) destroy(item, deleteFunc);
  }
  // Removes every entry from the last to the first, deleting each when asked.
  void Empty(bool wantDelete = false, void (*deleteFunc)(void*) = nullptr) {
    if (wantDelete) {
      for (int i = GetSize() - 1; i >= 0; --i) {
        T* item = GetList()[i];
        m_hb.Resize(i * static_cast<int>(sizeof(T*)), false);
        destroy(item, deleteFunc);
      }
    }
    m_hb.Resize(0, false);
  }

private:
  static void destroy(T* item, void (*deleteFunc)(void*)) {
    if (deleteFunc)
      deleteFunc(const_cast<void*>(static_cast<const void*>(item)));
    else
      delete item;
  }
  UTIL_HeapBuf m_hb;
};
