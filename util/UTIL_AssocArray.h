// Sorted key/value arrays of the windowing layer's process-wide tables (font-name cache,
// private-profile sections, loaded modules).
//
// Entries {key, value} live in one UTIL_TypedBuf kept sorted by the compare function and are
// found by binary search. Both KEY and VALUE must be trivially copyable (pointers or plain
// numbers): entries are moved with realloc and memmove.
//
// Ownership: the array owns its keys when it has a key copy function (it copies on insert and
// disposes with the key dispose function) and owns its values when it has a value dispose
// function: replacing, deleting and destroying dispose them. No locking: the tables that are
// shared between threads guard their array with their own mutex.
#pragma once

#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "UTIL_HeapBuf.h"

template <class KEY, class VALUE>
class UTIL_AssocArrayImpl {
  static_assert(std::is_trivially_copyable<KEY>::value && std::is_trivially_copyable<VALUE>::value,
                "keyed-array entries are moved as raw bytes");

public:
  typedef int (*CompareFunc)(KEY* a, KEY* b);
  typedef KEY (*KeyCopyFunc)(KEY k);
  typedef void (*KeyDisposeFunc)(KEY k);
  typedef void (*ValueDisposeFunc)(VALUE v);

  struct KeyVal {
    KEY key;
    VALUE val;
  };

  UTIL_AssocArrayImpl(CompareFunc compare, KeyCopyFunc keyCopy = nullptr, KeyDisposeFunc keyDispose = nullptr,
                      ValueDisposeFunc valueDispose = nullptr)
      : m_compare(compare), m_keyCopy(keyCopy), m_keyDispose(keyDispose), m_valueDispose(valueDispose) {}
  ~UTIL_AssocArrayImpl() { DeleteAll(); }
  UTIL_AssocArrayImpl(const UTIL_AssocArrayImpl&) = delete;
  UTIL_AssocArrayImpl& operator=(const UTIL_AssocArrayImpl&) = delete;

  int GetSize() const { return m_data.GetSize(); }

  // Pointer to the stored value, or null when the key is absent. Valid until the next change.
  VALUE* GetPtr(KEY key, KEY* storedKey = nullptr) const {
    bool found = false;
    int i = lowerBound(key, &found);
    if (!found) return nullptr;
    KeyVal* kv = m_data.Get() + i;
    if (storedKey) *storedKey = kv->key;
    return &kv->val;
  }
  bool Exists(KEY key) const { return GetPtr(key) != nullptr; }
  VALUE Get(KEY key, VALUE notFound = VALUE()) const {
    VALUE* p = GetPtr(key);
    return p ? *p : notFound;
  }

  // Stores value under key. A present key keeps the key as first stored and disposes the old
  // value. Returns the slot of the value, or null when the array could not grow: the value is
  // then disposed (the array took it over with the call) and nothing else changes.
  VALUE* Insert(KEY key, VALUE val, KEY* storedKey = nullptr) {
    bool found = false;
    int i = lowerBound(key, &found);
    if (found) {
      KeyVal* kv = m_data.Get() + i;
      if (m_valueDispose) m_valueDispose(kv->val);
      kv->val = val;
      if (storedKey) *storedKey = kv->key;
      return &kv->val;
    }
    KEY copy;
    KeyVal* kv = copyKey(key, &copy) ? insertAt(i) : nullptr;
    if (!kv) {
      if (m_keyCopy && m_keyDispose && copy != KEY()) m_keyDispose(copy);
      if (m_valueDispose) m_valueDispose(val);
      return nullptr;
    }
    kv->key = copy;
    kv->val = val;
    if (storedKey) *storedKey = kv->key;
    return &kv->val;
  }

  // Disposes the key and value of the entry and closes the gap; an absent key does nothing.
  void Delete(KEY key) {
    bool found = false;
    int i = lowerBound(key, &found);
    if (found) DeleteByIndex(i);
  }
  void DeleteByIndex(int idx) {
    const int n = GetSize();
    if (idx < 0 || idx >= n) return;
    KeyVal* kv = m_data.Get();
    disposeEntry(kv[idx]);
    if (idx < n - 1) memmove(kv + idx, kv + idx + 1, static_cast<size_t>(n - 1 - idx) * sizeof(KeyVal));
    m_data.Resize(n - 1, false);
  }
  void DeleteAll(bool resizeDown = true) {
    const int n = GetSize();
    KeyVal* kv = m_data.Get();
    for (int i = 0; i < n; ++i) disposeEntry(kv[i]);
    m_data.Resize(0, resizeDown);
  }

  // The idx-th entry in key order; null outside the array.
  VALUE* EnumeratePtr(int idx, KEY* key = nullptr) const {
    if (idx < 0 || idx >= GetSize()) return nullptr;
    KeyVal* kv = m_data.Get() + idx;
    if (key) *key = kv->key;
    return &kv->val;
  }

  // Appends without searching (while a file is parsed); Resort() must follow before any
  // lookup. False when the array could not grow (the value is disposed, as in Insert).
  bool AddUnsorted(KEY key, VALUE val) {
    const int n = GetSize();
    KEY copy;
    KeyVal* kv = copyKey(key, &copy) ? m_data.Resize(n + 1, false) : nullptr;
    if (!kv) {
      if (m_keyCopy && m_keyDispose && copy != KEY()) m_keyDispose(copy);
      if (m_valueDispose) m_valueDispose(val);
      return false;
    }
    kv[n].key = copy;
    kv[n].val = val;
    return true;
  }

  // Sorts and keeps one entry per key (which of several equal ones survives follows the sort).
  void Resort() {
    int n = GetSize();
    if (n < 2) return;
    KeyVal* kv = m_data.Get();
    sortEntries(kv, n);
    int i = 0;
    while (i < n - 1) {
      if (m_compare(&kv[i].key, &kv[i + 1].key) == 0) {
        DeleteByIndex(i);
        kv = m_data.Get();
        --n;
      } else {
        ++i;
      }
    }
  }

private:
  // Binary search; the sorted place of an absent key when *found is false.
  int lowerBound(KEY& key, bool* found) const {
    int lo = 0, hi = GetSize();
    KeyVal* kv = m_data.Get();
    while (lo < hi) {
      int mid = (lo + hi) / 2;
      int c = m_compare(&key, &kv[mid].key);
      if (c > 0)
        lo = mid + 1;
      else if (c < 0)
        hi = mid;
      else {
        *found = true;
        return mid;
      }
    }
    *found = false;
    return lo;
  }
  int lowerBound(const KEY& key, bool* found) const {
    KEY k = key;
    return lowerBound(k, found);
  }

  // False when the key copy ran out of memory (a null copy of a non-null key).
  bool copyKey(KEY key, KEY* out) {
    *out = m_keyCopy ? m_keyCopy(key) : key;
    return !(m_keyCopy && *out == KEY() && !(key == KEY()));
  }

  KeyVal* insertAt(int idx) {
    const int n = GetSize();
    KeyVal* kv = m_data.Resize(n + 1, false);
    if (!kv) return nullptr;
    if (idx < n) memmove(kv + idx + 1, kv + idx, static_cast<size_t>(n - idx) * sizeof(KeyVal));
    return kv + idx;
  }

  void disposeEntry(KeyVal& kv) {
    if (m_keyDispose) m_keyDispose(kv.key);
    if (m_valueDispose) m_valueDispose(kv.val);
  }

  // Bottom-up merge sort through a temporary copy (qsort cannot carry our compare function to
  // its comparator without a global): O(n log n) and stable.
  void sortEntries(KeyVal* kv, int n) {
    KeyVal* tmp = static_cast<KeyVal*>(malloc(static_cast<size_t>(n) * sizeof(KeyVal)));
    if (!tmp) {  // no memory: insertion sort in place (slow but correct)
      for (int i = 1; i < n; ++i)
        for (int j = i; j > 0 && m_compare(&kv[j - 1].key, &kv[j].key) > 0; --j) {
          KeyVal t = kv[j];
          kv[j] = kv[j - 1];
          kv[j - 1] = t;
        }
      return;
    }
    for (int width = 1; width < n; width *= 2) {
      for (int lo = 0; lo < n; lo += 2 * width) {
        int mid = lo + width < n ? lo + width : n;
        int hi = lo + 2 * width < n ? lo + 2 * width : n;
        int a = lo, b = mid, o = lo;
        while (a < mid && b < hi) tmp[o++] = m_compare(&kv[b].key, &kv[a].key) < 0 ? kv[b++] : kv[a++];
        while (a < mid) tmp[o++] = kv[a++];
        while (b < hi) tmp[o++] = kv[b++];
      }
      memcpy(kv, tmp, static_cast<size_t>(n) * sizeof(KeyVal));
    }
    free(tmp);
  }

  mutable UTIL_TypedBuf<KeyVal> m_data{4096};
  CompareFunc m_compare;
  KeyCopyFunc m_keyCopy;
  KeyDisposeFunc m_keyDispose;
  ValueDisposeFunc m_valueDispose;
};

// Keys of any kind, compared by the given function.
template <class KEY, class VALUE>
class UTIL_AssocArray : public UTIL_AssocArrayImpl<KEY, VALUE> {
public:
  explicit UTIL_AssocArray(typename UTIL_AssocArrayImpl<KEY, VALUE>::CompareFunc compare,
                           typename UTIL_AssocArrayImpl<KEY, VALUE>::KeyCopyFunc keyCopy = nullptr,
                           typename UTIL_AssocArrayImpl<KEY, VALUE>::KeyDisposeFunc keyDispose = nullptr,
                           typename UTIL_AssocArrayImpl<KEY, VALUE>::ValueDisposeFunc valueDispose = nullptr)
      : UTIL_AssocArrayImpl<KEY, VALUE>(compare, keyCopy, keyDispose, valueDispose) {}
};

// Helpers of the string-keyed arrays and the module table.
int UTIL_cmpstr(const char** a, const char** b);    // strcmp
int UTIL_cmpistr(const char** a, const char** b);   // strcasecmp
const char* UTIL_dupstr(const char* s);             // strdup; null stays null
void UTIL_freestr(const char* s);                   // free
void UTIL_freecharptr(char* s);                     // free, for string values
int UTIL_libkeycomp(void** a, void** b);            // sign of the pointer difference

// NUL-terminated string keys, copied on insert. caseSensitive selects strcmp, else strcasecmp
// (a case-insensitive insert keeps the key's letter case as first stored).
template <class VALUE>
class UTIL_StringKeyedArray : public UTIL_AssocArrayImpl<const char*, VALUE> {
public:
  explicit UTIL_StringKeyedArray(bool caseSensitive = true,
                                 typename UTIL_AssocArrayImpl<const char*, VALUE>::ValueDisposeFunc valueDispose = nullptr)
      : UTIL_AssocArrayImpl<const char*, VALUE>(caseSensitive ? UTIL_cmpstr : UTIL_cmpistr, UTIL_dupstr,
                                                UTIL_freestr, valueDispose) {}
};
