#include "WINX_CtlText.h"

#include <cstring>

namespace {

// Length of the UTF-8 sequence that starts with lead byte c (1 for anything that is not a lead
// byte, so a stray continuation byte is treated as one unit).
int seqLen(unsigned char c) {
  if (c >= 0xF0 && c < 0xF8) return 4;
  if (c >= 0xE0) return c < 0xF0 ? 3 : 1;
  if (c >= 0xC0) return 2;
  return 1;
}

bool validUTF8(const char* s) {
  const unsigned char* p = (const unsigned char*)s;
  while (*p) {
    if (*p < 0x80) { ++p; continue; }
    int n = seqLen(*p);
    if (n == 1 || *p == 0xC0 || *p == 0xC1 || *p > 0xF4) return false;
    unsigned cp = *p & (0x3F >> (n - 1));
    for (int i = 1; i < n; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i] & 0x3F);
    }
    // overlong forms, surrogates and values past U+10FFFF
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    p += n;
  }
  return true;
}

// Largest byte count <= limit that does not end inside a UTF-8 sequence of s.
size_t boundaryAtOrBefore(const std::string& s, size_t limit) {
  if (limit >= s.size()) return s.size();
  size_t n = limit;
  while (n > 0 && ((unsigned char)s[n] & 0xC0) == 0x80) --n;
  return n;
}

}  // namespace

std::string WINX_SanitizeUTF8(const char* text) {
  if (!text) return std::string();
  if (validUTF8(text)) return std::string(text);
  std::string out(text);
  for (char& c : out)
    if ((unsigned char)c >= 0x80) c = '?';
  return out;
}

std::string WINX_MenuTitleFromText(const char* text) {
  std::string in = WINX_SanitizeUTF8(text);
  std::string out;
  for (size_t i = 0; i < in.size(); ++i) {
    char c = in[i];
    if (c == '\t') break;
    if (c == '&') {
      if (i + 1 >= in.size() || in[i + 1] == '\t') continue;  // trailing '&' is dropped
      c = in[++i];
    }
    out += c;
  }
  out.resize(boundaryAtOrBefore(out, 1023));
  return out;
}

std::string WINX_StripMnemonics(const char* text) {
  if (!text) return std::string();
  size_t len = strlen(text);
  const void* amp = memchr(text, '&', len < 1024 ? len : 1024);
  if (!amp || len >= 1024) return WINX_SanitizeUTF8(text);
  std::string in = WINX_SanitizeUTF8(text), out;
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '&') {
      if (i + 1 >= in.size()) break;
      ++i;
    }
    out += in[i];
  }
  return out;
}

int WINX_CopyTextBounded(char* buf, int size, const char* text) {
  if (!buf || size < 1) return 0;
  if (!text) text = "";
  std::string s(text);
  size_t n = boundaryAtOrBefore(s, (size_t)size - 1);
  memcpy(buf, s.data(), n);
  buf[n] = 0;
  return (int)n;
}
