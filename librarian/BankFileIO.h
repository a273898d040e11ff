// File access of the patch librarian: bounded reads, atomic writes, names that never replace.
//
// Every write goes to a temporary file in the target's folder that is renamed into place, so a
// failed or interrupted write leaves the old file (or no file) behind, never half of one.
// Stateless apart from the writer object; callable from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Bank files above this size are not read: no bank is anywhere near it, and reading a huge file
// whole would stall the GUI thread.
constexpr int64_t kMaxBankFileBytes = 16 * 1024 * 1024;

enum class ReadResult { ok, tooLarge, failed };

// Reads the whole file at path into out (at most maxBytes; larger files give tooLarge and out
// stays empty).
ReadResult readFileBytes(const std::string& path, std::vector<uint8_t>& out,
                         int64_t maxBytes = kMaxBankFileBytes);

enum class WriteResult { ok, exists, failed };

// Writes files for the librarian. Replaceable so tests can make a write fail or go wrong on
// purpose; the librarian does not own the writer it is given.
class BankFileWriter {
public:
  virtual ~BankFileWriter() = default;
  // Writes bytes as the file at path through a temporary file in the same folder. With replace
  // false an existing file at path is left alone and the result is `exists`.
  virtual WriteResult writeFile(const std::string& path, const std::vector<uint8_t>& bytes, bool replace);
};

// Moves the file from `from` to `to` without ever replacing a file at `to` (`exists` then).
// Across file systems it copies, verifies and then removes the source.
WriteResult moveFileNoReplace(const std::string& from, const std::string& to);

// folder + "/" + stem + ext when no such file exists, else stem + " (2)" + ext, " (3)", ...
// ext includes its point ("" for none). Returns an empty string when no free name was found.
std::string uniqueFilePath(const std::string& folder, const std::string& stem, const std::string& ext);

// Splits a file name into stem and extension with its point ("Bank.syx" -> "Bank", ".syx").
void splitFileName(const std::string& fileName, std::string& stem, std::string& extWithDot);

bool pathExists(const std::string& path);
