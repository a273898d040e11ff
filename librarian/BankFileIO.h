// File access of the patch librarian: bounded reads, atomic writes, names that never replace.
//
// Every write goes to a temporary file in the target's folder that is renamed into place, so a
// failed or interrupted write leaves the old file (or no file) behind, never half of one.
// Every rename, link and removal goes through FileCalls, and every result is checked: a call that
// reports failure is looked after (did the file move all the same? a network file system can
// lose the reply), a failed removal is retried, and what still fails is reported to the caller.
// Stateless apart from the writer object and the FileCalls in use; callable from any thread.
#pragma once

#include <fcntl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "SysexBytes.h"

// Bank files above this size are not read: no bank is anywhere near it, and reading a huge file
// whole would stall the GUI thread.
constexpr int64_t kMaxBankFileBytes = 16 * 1024 * 1024;

// notRegular: a folder, pipe, device or socket; tooSmall: fewer bytes than asked for at least.
enum class ReadResult { ok, tooLarge, failed, notRegular, tooSmall };

// Reads the whole file at path (from folderFd when relative) into out (at most maxBytes; larger
// files give tooLarge and out stays empty).
ReadResult readFileBytes(const std::string& path, std::vector<uint8_t>& out,
                         int64_t maxBytes = kMaxBankFileBytes, int folderFd = AT_FDCWD);
// The same into a new buffer of the file's size, not zero-filled first; size gets the number of
// bytes read. A file of fewer than minBytes is not read (tooSmall). A relative path is taken from
// the open folder folderFd (AT_FDCWD: the working folder). The loader reads a whole library this
// way: the size gate and the read cost one open, relative to the folder, and one fstat per file.
// A refusal is worded in *why when given.
ReadResult readFileBuffer(const std::string& path, FileBuffer& out, size_t& size,
                          int64_t maxBytes = kMaxBankFileBytes, int64_t minBytes = 0, int folderFd = AT_FDCWD,
                          std::string* why = nullptr);

// refused: what UTIL_CheckSave refuses (a folder, device, FIFO or socket at the path or at the end
// of its links, a file the user may not read or write), left as it was.
enum class WriteResult { ok, exists, failed, refused };

// The file system calls that change names, each by a name inside an open folder (AT_FDCWD: a path
// from the working folder), as renameat(2) and unlinkat(2) take them: a save names its files in
// its folder opened once. Each returns 0 or -1 with errno set, like the system call it stands
// for. Replaceable so tests can make a call fail, or report failure after it took effect; the
// replacement must be safe to call from several threads.
class FileCalls {
public:
  virtual ~FileCalls() = default;
  // renameat2 with RENAME_NOREPLACE: EEXIST when `to` exists, EINVAL or ENOSYS where the file
  // system cannot do it.
  virtual int renameNoReplace(int fromFolder, const std::string& from, int toFolder, const std::string& to);
  virtual int rename(int fromFolder, const std::string& from, int toFolder, const std::string& to);
  virtual int link(int fromFolder, const std::string& from, int toFolder, const std::string& to);
  virtual int unlink(int folder, const std::string& name);
};

// The calls in use. setFileCalls(null) restores the system's; returns the previous ones. The
// caller keeps ownership and keeps them alive while they are set.
FileCalls& fileCalls();
FileCalls* setFileCalls(FileCalls* calls);

// Removes path (a name in folderFd when relative) through fileCalls(), once more after a failure.
// A path already gone counts as removed.
bool removeFile(const std::string& path, int folderFd = AT_FDCWD);

// Writes files for the librarian. Replaceable so tests can make a write fail or go wrong on
// purpose; the librarian does not own the writer it is given.
class BankFileWriter {
public:
  virtual ~BankFileWriter() = default;
  // Writes bytes as the file at path through a temporary file in the same folder, opened once for
  // every step (check, temporary, rename, clean-up): a folder swapped for a link meanwhile
  // receives nothing. With replace false an existing file at path is left alone and the result
  // is `exists`. A path that is a
  // symbolic link is written through: the file it names is replaced, the link stays. A replaced
  // file keeps its owner, group and mode (set-id bits dropped), as UTIL_ReplaceFile says, or is
  // left as it was; a new file takes the user's umask. What the rule of every save refuses
  // (UTIL_CheckSave) is never replaced (`refused`). *why, when given, words a refusal or failure.
  virtual WriteResult writeFile(const std::string& path, const std::vector<uint8_t>& bytes, bool replace,
                                std::string* why = nullptr);
};

// Moves the file from `from` to `to` without ever replacing a file at `to` (`exists` then).
// Across file systems it copies, verifies and then removes the source. The result is `ok` only
// when `from` is gone and `to` holds its bytes, and `failed` only when `from` is still there
// with no second copy left at `to` (as far as removing one succeeded; that failure is logged).
WriteResult moveFileNoReplace(const std::string& from, const std::string& to);

// Gives the staged file at `from` the name `to`, never replacing a file there (`exists` then).
// Unlike moveFileNoReplace, a file that got its new name keeps it: where the file system lacks
// RENAME_NOREPLACE and the staged name cannot be removed after the link, the staged name stays
// as a second name (logged) rather than the new one being taken back, since another process may
// already have found the file under it. `ok` when `to` holds bytes, by this call or another's.
WriteResult publishFile(const std::string& from, const std::string& to, const std::vector<uint8_t>& bytes);

// folder + "/" + stem + ext when no such file exists, else stem + " (2)" + ext, " (3)", ...
// ext includes its point ("" for none). Returns an empty string when no free name was found.
std::string uniqueFilePath(const std::string& folder, const std::string& stem, const std::string& ext);

// Splits a file name into stem and extension with its point ("Bank.syx" -> "Bank", ".syx").
void splitFileName(const std::string& fileName, std::string& stem, std::string& extWithDot);

bool pathExists(const std::string& path, int folderFd = AT_FDCWD);
