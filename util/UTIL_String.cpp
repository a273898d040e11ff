#include "UTIL_String.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

UTIL_String::UTIL_String(const char* initial, int granularity) : m_hb(granularity) {
  if (initial) Set(initial);
}

UTIL_String::UTIL_String(const UTIL_String& other) : m_hb(other.m_hb.GetGranularity()) { Set(other.Get()); }

UTIL_String& UTIL_String::operator=(const UTIL_String& other) {
  if (this != &other) Set(other.Get());
  return *this;
}

const char* UTIL_String::Get() const {
  const char* p = static_cast<const char*>(m_hb.Get());
  return p ? p : "";
}

int UTIL_String::GetLength() const {
  int n = m_hb.GetSize();
  return n > 0 ? n - 1 : 0;
}

bool UTIL_String::Set(const char* text, int maxLen) {
  if (text && text >= Get() && text <= Get() + GetLength()) {
    // Setting from our own text: copy first, the buffer may move.
    std::string tmp(text, maxLen >= 0 ? strnlen(text, static_cast<size_t>(maxLen)) : strlen(text));
    return Set(tmp.c_str());
  }
  size_t len = text ? (maxLen >= 0 ? strnlen(text, static_cast<size_t>(maxLen)) : strlen(text)) : 0;
  if (len == 0) {
    m_hb.Resize(0, false);
    return true;
  }
  if (len >= 0x7ffffff0u) return false;
  char* p = static_cast<char*>(m_hb.ResizeOK(static_cast<int>(len) + 1, false));
  if (!p) return false;
  memcpy(p, text, len);
  p[len] = 0;
  return true;
}

bool UTIL_String::Append(const char* text, int maxLen) {
  if (!text) return true;
  size_t len = maxLen >= 0 ? strnlen(text, static_cast<size_t>(maxLen)) : strlen(text);
  if (len == 0) return true;
  std::string tmp(text, len);  // text may point into our own buffer
  int old = GetLength();
  if (static_cast<long long>(old) + static_cast<long long>(len) + 1 > 0x7ffffff0LL) return false;
  char* p = static_cast<char*>(m_hb.ResizeOK(old + static_cast<int>(len) + 1, false));
  if (!p) return false;
  memcpy(p + old, tmp.data(), len);
  p[old + len] = 0;
  return true;
}

bool UTIL_String::appendV(int maxLen, const char* format, va_list ap) {
  if (maxLen <= 0) return true;
  std::vector<char> buf(static_cast<size_t>(maxLen) + 1);
  vsnprintf(buf.data(), buf.size(), format, ap);
  return Append(buf.data());
}

bool UTIL_String::SetFormatted(int maxLen, const char* format, ...) {
  UTIL_String tmp;
  va_list ap;
  va_start(ap, format);
  bool ok = tmp.appendV(maxLen, format, ap);
  va_end(ap);
  return ok && Set(tmp.Get());
}

bool UTIL_String::AppendFormatted(int maxLen, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  bool ok = appendV(maxLen, format, ap);
  va_end(ap);
  return ok;
}

void UTIL_String::SetLen(int len) {
  if (len < 0) len = 0;
  if (len >= GetLength()) return;
  if (len == 0) {
    m_hb.Resize(0, false);
    return;
  }
  char* p = static_cast<char*>(m_hb.Resize(len + 1, false));
  if (p) p[len] = 0;
}

namespace {
bool continuesCharacter(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
}  // namespace

size_t UTIL_Utf8Cut(const char* s, size_t size, size_t maxBytes) {
  if (maxBytes >= size) return size;
  size_t at = maxBytes;
  while (at > 0 && continuesCharacter(s[at])) --at;
  return at;
}

std::vector<size_t> UTIL_Utf8CharEnds(const std::string& s) {
  std::vector<size_t> ends;
  for (size_t i = 1; i <= s.size(); ++i)
    if (i == s.size() || !continuesCharacter(s[i])) ends.push_back(i);
  return ends;
}
