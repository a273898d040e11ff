#include "EditorSettings.h"

#include <sys/stat.h>

#include "UTIL_File.h"

namespace EditorSettings {

namespace {

const char* const kSchemeWords[] = {"yellow", "blue", "obsidra"};
const char* const kSizeWords[] = {"small", "normal", "large"};
const double kSizeFactors[] = {0.85, 1.0, 1.15};

std::string trimRight(const std::string& s) {
  size_t end = s.size();
  while (end > 0) {
    const char c = s[end - 1];
    if (c != ' ' && c != '\n' && c != '\r' && c != '\t') break;
    --end;
  }
  return s.substr(0, end);
}

}  // namespace

std::vector<std::string> parse(const std::string& bytes) {
  std::vector<std::string> lines(kNumLines);
  size_t pos = 0;
  for (int i = 0; i < kNumLines && pos < bytes.size(); ++i) {
    size_t lf = bytes.find('\n', pos);
    if (lf == std::string::npos) lf = bytes.size();
    lines[static_cast<size_t>(i)] = trimRight(bytes.substr(pos, lf - pos));
    pos = lf + 1;
  }
  return lines;
}

std::vector<std::string> read(const std::string& path, UTIL_FileCheck* check) {
  std::string bytes;
  const UTIL_FileCheck found = UTIL_ReadFile(path, bytes, kMaxFileBytes);
  if (check) *check = found;
  return found.ok() ? parse(bytes) : std::vector<std::string>(kNumLines);
}

std::string format(const std::vector<std::string>& lines) {
  std::string text;
  for (int i = 0; i < kNumLines; ++i) {
    if (i > 0) text += '\n';
    if (static_cast<size_t>(i) < lines.size()) text += lines[static_cast<size_t>(i)];
  }
  return text;
}

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool rewrite(const std::string& path, const std::vector<std::string>& lines, std::string* why) {
  std::string reason;
  if (!why) why = &reason;
  if (!exists(path)) {
    *why = UTIL_StatFile(path).why();
    return false;
  }
  const std::string text = format(lines);
  return UTIL_ReplaceFile(path, text.data(), text.size(), why);
}

int schemeFromWord(const std::string& word) {
  for (int i = 0; i < 3; ++i)
    if (word == kSchemeWords[i]) return i;
  return -1;
}

int sizeIndexFromWord(const std::string& word) {
  for (int i = 0; i < 3; ++i)
    if (word == kSizeWords[i]) return i;
  return -1;
}

double sizeFactorFromWord(const std::string& word) {
  const int i = sizeIndexFromWord(word);
  return i < 0 ? 0.0 : kSizeFactors[i];
}

const char* schemeWord(int scheme) { return scheme >= 0 && scheme < 3 ? kSchemeWords[scheme] : nullptr; }
const char* sizeWord(int index) { return index >= 0 && index < 3 ? kSizeWords[index] : nullptr; }
double sizeFactorForIndex(int index) { return index >= 0 && index < 3 ? kSizeFactors[index] : 1.0; }

}  // namespace EditorSettings
