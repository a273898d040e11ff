#include "UIConfigText.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

void Tokenize(const std::string& text, std::vector<std::string>& tokens,
              const std::string& delimiters) {
  std::string::size_type start = text.find_first_not_of(delimiters);
  while (start != std::string::npos) {
    std::string::size_type end = text.find_first_of(delimiters, start);
    tokens.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    start = text.find_first_not_of(delimiters, end);
  }
}

bool parseIntField(const char* begin, const char* end, int* out) {
  char* stop = nullptr;
  const long long v = std::strtoll(begin, &stop, 10);
  // Past `end` only when the field held nothing but blanks and the delimiter is a sign: the
  // field alone gives no number then.
  if (stop == begin || stop > end) return false;
  *out = v < INT_MIN ? INT_MIN : (v > INT_MAX ? INT_MAX : static_cast<int>(v));
  return true;
}

int readLeadingInts(const char* text, char delimiter, int* values, int maxCount) {
  int n = 0;
  if (!text) return 0;
  const char* p = text;
  while (n < maxCount) {
    while (*p == delimiter) ++p;
    if (!*p) break;
    const char* begin = p;
    while (*p && *p != delimiter) ++p;
    if (!parseIntField(begin, p, &values[n])) break;
    ++n;
  }
  return n;
}

void copyIntVector(const std::vector<int>* from, std::vector<int>* to) {
  if (!from || !to) return;
  // insert() from a vector into itself would read through iterators the growth invalidates.
  const std::vector<int> copy = *from;
  to->insert(to->end(), copy.begin(), copy.end());
}

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::vector<int> convertStringSysextoVector(const std::string& text) {
  std::vector<std::string> tokens;
  Tokenize(text, tokens, " ");
  std::vector<int> bytes;
  bytes.reserve(tokens.size());
  for (const std::string& t : tokens) {
    // Read like strtol(t, 0, 16) would, but keep only the low byte as we go: a long token must
    // neither overflow nor leave a value no MIDI byte can carry.
    unsigned value = 0;
    std::string::size_type i = 0;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X') && hexDigit(t[2]) >= 0) i = 2;
    for (; i < t.size(); ++i) {
      const char c = t[i];
      const int d = hexDigit(c);
      if (d < 0) break;
      value = ((value << 4) | static_cast<unsigned>(d)) & 0xFFFu;
    }
    bytes.push_back(static_cast<int>(value & 0xFFu));
  }
  return bytes;
}

void getCSValues(const std::string& text, int* values, int maxCount) {
  std::vector<std::string> tokens;
  Tokenize(text, tokens, ",");
  const std::size_t n = maxCount > 0 ? std::min(tokens.size(), static_cast<std::size_t>(maxCount)) : 0;
  for (std::size_t i = 0; i < n; ++i) {
    const char* s = tokens[i].c_str();
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(s, &end, 10);
    if (end == s || errno == ERANGE || v < INT_MIN || v > INT_MAX) continue;
    values[i] = static_cast<int>(v);
  }
}
