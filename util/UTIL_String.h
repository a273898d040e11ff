// Growable NUL-terminated string in one UTIL_HeapBuf. Get() never returns null: an empty
// string reads as "".
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <vector>

#include "UTIL_HeapBuf.h"

class UTIL_String {
public:
  explicit UTIL_String(const char* initial = nullptr, int granularity = 128);
  UTIL_String(const UTIL_String& other);
  UTIL_String& operator=(const UTIL_String& other);
  UTIL_String& operator=(const char* text) { Set(text); return *this; }

  const char* Get() const;
  int GetLength() const;
  // Copies at most maxLen bytes of text (all of it when maxLen < 0). Returns false when memory
  // ran out; the string then keeps its old text.
  bool Set(const char* text, int maxLen = -1);
  bool Append(const char* text, int maxLen = -1);
  // printf into the string, at most maxLen characters.
  bool SetFormatted(int maxLen, const char* format, ...) __attribute__((format(printf, 3, 4)));
  bool AppendFormatted(int maxLen, const char* format, ...) __attribute__((format(printf, 3, 4)));
  // Cuts the string to at most len characters.
  void SetLen(int len);
  bool Empty() const { return GetLength() == 0; }

private:
  bool appendV(int maxLen, const char* format, va_list ap);
  UTIL_HeapBuf m_hb;
};

// Shortening a text never splits a character of UTF-8: a byte 10xxxxxx belongs to the character
// before it (a byte that is no UTF-8 at all counts as a character of its own).
// The longest start of the size bytes at s, at most maxBytes long, that ends between two
// characters.
size_t UTIL_Utf8Cut(const char* s, size_t size, size_t maxBytes);
inline size_t UTIL_Utf8Cut(const std::string& s, size_t maxBytes) { return UTIL_Utf8Cut(s.data(), s.size(), maxBytes); }
// Where each character of s ends, in order (the last is s.size()).
std::vector<size_t> UTIL_Utf8CharEnds(const std::string& s);
