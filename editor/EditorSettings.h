// The five-line settings file "Sorvanta Editor UI.txt" in the data folder: colour scheme, window
// size, whether the first-run notice was closed, and the MIDI output and input port names.
//
// The file is plain text, lines separated by line feeds, no line feed after the fifth. The
// editor never creates it; it rewrites it whole when the user changes one of the settings.
// Plain functions without state; the plug-in keeps the five lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct UTIL_FileCheck;

namespace EditorSettings {

constexpr int kNumLines = 5;
enum Line { kLineScheme = 0, kLineSize = 1, kLineFirstRunDone = 2, kLineMidiOut = 3, kLineMidiIn = 4 };

// Splits file bytes into at most five lines, trailing blanks, CR, LF and tabs removed; lines not
// present stay empty. A sixth line and beyond are ignored.
std::vector<std::string> parse(const std::string& bytes);
// Five lines of two words and two port names fit in a few hundred bytes; a larger file is not
// the editor's and is not read.
constexpr int64_t kMaxFileBytes = 64 * 1024;
// Reads the file; five empty lines when it is missing, cannot be read, is not a regular file (a
// FIFO here would wait for a writer for ever) or is larger than kMaxFileBytes. *check, when given,
// says which.
std::vector<std::string> read(const std::string& path, UTIL_FileCheck* check = nullptr);
// The file text of five lines (missing ones are written empty).
std::string format(const std::vector<std::string>& lines);
// Replaces the existing file by the five lines: written to a temporary file beside it, flushed,
// then renamed over it (a link is written through), so a failed write never leaves an empty or
// half-written settings file. False (nothing changed, *why worded) when the file does not exist,
// is no regular file or the write fails.
bool rewrite(const std::string& path, const std::vector<std::string>& lines, std::string* why = nullptr);
bool exists(const std::string& path);

// Words of lines 1 and 2. -1 / 0.0 for a word that is not one of them (letter case counts).
int schemeFromWord(const std::string& word);
double sizeFactorFromWord(const std::string& word);
int sizeIndexFromWord(const std::string& word);
const char* schemeWord(int scheme);  // null outside 0..2
const char* sizeWord(int index);     // null outside 0..2
double sizeFactorForIndex(int index);  // 0.85, 1.0, 1.15; 1.0 outside

}  // namespace EditorSettings
