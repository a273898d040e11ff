#include "BankFileIO.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "LibrarianLog.h"
#include "UTIL_File.h"

namespace {

FileCalls g_systemCalls;
std::atomic<FileCalls*> g_calls{&g_systemCalls};

// After a rename or link that reported failure: did it happen all the same? True when `from` is
// gone and `to` holds exactly bytes (both names in folderFd when relative).
bool landedAnyway(const std::string& from, const std::string& to, const std::vector<uint8_t>& bytes,
                  int folderFd = AT_FDCWD) {
  if (pathExists(from, folderFd)) return false;
  std::vector<uint8_t> now;
  return readFileBytes(to, now, INT64_MAX, folderFd) == ReadResult::ok && now == bytes;
}

// Gives the file at `from` the name `to` unless that name is taken. Where the file system lacks
// RENAME_NOREPLACE it links and then removes the old name; if the old name cannot be removed the
// link is undone, so the file never keeps two names in two places. Returns 0, or -1 with errno
// (EEXIST when `to` was taken). Both names are in folderFd when relative.
int renameNoReplace(const std::string& from, const std::string& to, int folderFd = AT_FDCWD) {
  FileCalls& calls = fileCalls();
  if (calls.renameNoReplace(folderFd, from, folderFd, to) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
  if (calls.link(folderFd, from, folderFd, to) != 0) return -1;
  if (removeFile(from, folderFd)) return 0;
  const int err = errno;
  if (!removeFile(to, folderFd)) librarianLog("could not remove " + to + " after " + from + " could not be removed; the file has both names");
  errno = err;
  return -1;
}

}  // namespace

int FileCalls::renameNoReplace(int fromFolder, const std::string& from, int toFolder, const std::string& to) {
#ifdef RENAME_NOREPLACE
  return renameat2(fromFolder, from.c_str(), toFolder, to.c_str(), RENAME_NOREPLACE);
#else
  errno = ENOSYS;
  return -1;
#endif
}

int FileCalls::rename(int fromFolder, const std::string& from, int toFolder, const std::string& to) {
  return renameat(fromFolder, from.c_str(), toFolder, to.c_str());
}

int FileCalls::link(int fromFolder, const std::string& from, int toFolder, const std::string& to) {
  return linkat(fromFolder, from.c_str(), toFolder, to.c_str(), 0);
}

int FileCalls::unlink(int folder, const std::string& name) { return unlinkat(folder, name.c_str(), 0); }

FileCalls& fileCalls() { return *g_calls.load(); }

FileCalls* setFileCalls(FileCalls* calls) { return g_calls.exchange(calls ? calls : &g_systemCalls); }

bool removeFile(const std::string& path, int folderFd) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (fileCalls().unlink(folderFd, path) == 0) return true;
    if (errno == ENOENT) return !pathExists(path, folderFd);
  }
  return !pathExists(path, folderFd);
}

bool pathExists(const std::string& path, int folderFd) {
  struct stat st;
  return fstatat(folderFd, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

namespace {

// Reads the file at path whole: storage(size) gives room for the size the file has when it is
// opened, and got the number of bytes read (fewer when the file shrank meanwhile; one that grows
// is read up to the size it had).
template <typename Storage>
ReadResult readWhole(int folderFd, const std::string& path, int64_t minBytes, int64_t maxBytes, Storage storage,
                     size_t& got, std::string* why = nullptr) {
  got = 0;
  // A pipe or device carrying a bank's name neither stalls the open nor is read.
  UTIL_FileCheck check;
  const int fd = UTIL_OpenFileForRead(path, &check, maxBytes, minBytes, folderFd);
  if (fd < 0) {
    if (why) *why = check.why();
    switch (check.status) {
      case UTIL_FileStatus::notRegular: return ReadResult::notRegular;
      case UTIL_FileStatus::tooSmall: return ReadResult::tooSmall;
      case UTIL_FileStatus::tooLarge: return ReadResult::tooLarge;
      default: return ReadResult::failed;
    }
  }
  const size_t size = static_cast<size_t>(check.size);
  const bool ok = UTIL_ReadFully(fd, storage(size), size, &got);
  if (!ok && why) *why = std::string("cannot be read: ") + strerror(errno);
  ::close(fd);
  return ok ? ReadResult::ok : ReadResult::failed;
}

}  // namespace

ReadResult readFileBytes(const std::string& path, std::vector<uint8_t>& out, int64_t maxBytes, int folderFd) {
  out.clear();
  size_t got = 0;
  const ReadResult r = readWhole(folderFd, path, 0, maxBytes, [&](size_t n) {
    out.resize(n);
    return out.data();
  }, got);
  out.resize(r == ReadResult::ok ? got : 0);
  return r;
}

ReadResult readFileBuffer(const std::string& path, FileBuffer& out, size_t& size, int64_t maxBytes,
                          int64_t minBytes, int folderFd, std::string* why) {
  out.reset();
  size = 0;
  const ReadResult r = readWhole(folderFd, path, minBytes, maxBytes, [&](size_t n) {
    out = FileBuffer(new uint8_t[n > 0 ? n : 1]);
    return out.get();
  }, size, why);
  if (r != ReadResult::ok) {
    out.reset();
    size = 0;
  }
  return r;
}

WriteResult BankFileWriter::writeFile(const std::string& path, const std::vector<uint8_t>& bytes, bool replace,
                                      std::string* why) {
  std::string unused;
  if (!why) why = &unused;
  // A link at path is a name taken for a new bank; a replaced one is written through, since
  // replacing the link itself would leave the file it names with the old bank.
  UTIL_SaveFolder folder;
  if (!UTIL_OpenSaveFolder(path, replace, &folder)) {
    *why = std::string(errno == ELOOP ? "cannot write file: " : "cannot write beside it: ") + strerror(errno);
    return WriteResult::failed;
  }
  const std::string& leaf = folder.leaf;
  const UTIL_FileCheck found = UTIL_CheckSaveAt(folder.fd, leaf);
  const bool exists = found.status != UTIL_FileStatus::missing;
  if (!replace && exists) return WriteResult::exists;
  // A device, FIFO or socket under a bank's name is left as it is (the rename would replace it),
  // and so is a bank the user may not read or write.
  if (exists && !found.ok()) {
    *why = found.why() + "; left as it was";
    return WriteResult::refused;
  }
  // A replaced file keeps its owner, group and permissions. A temporary file is hidden and
  // carries no bank extension, so the loader never reads one.
  std::string tmp = "." + leaf + ".tmp-XXXXXX";
  if (!UTIL_WriteTemporaryAt(folder.fd, tmp, bytes.data(), bytes.size(), exists ? &found : nullptr, UTIL_kNewFileMode,
                             "the file", why))
    return WriteResult::failed;
  const int r = replace ? fileCalls().rename(folder.fd, tmp, folder.fd, leaf) : renameNoReplace(tmp, leaf, folder.fd);
  const int err = errno;
  if (r == 0 || landedAnyway(tmp, leaf, bytes, folder.fd)) {
    UTIL_SyncFolder(folder.fd);
    if (!why->empty()) librarianLog(folder.full(leaf) + ": " + *why);
    return WriteResult::ok;
  }
  const bool taken = !replace && err == EEXIST;
  *why = std::string("cannot write file: ") + strerror(err);
  // One that cannot be removed is still reported, as it would stay in the user's folder.
  if (!removeFile(tmp, folder.fd)) librarianLog("could not remove temporary file " + folder.full(tmp));
  return taken ? WriteResult::exists : WriteResult::failed;
}

WriteResult moveFileNoReplace(const std::string& from, const std::string& to) {
  if (pathExists(to)) return WriteResult::exists;
  // Read first: what `to` must hold afterwards, whichever way the file gets there.
  std::vector<uint8_t> bytes;
  if (readFileBytes(from, bytes, INT64_MAX) != ReadResult::ok) return WriteResult::failed;
  if (renameNoReplace(from, to) == 0) return WriteResult::ok;
  const int err = errno;
  if (landedAnyway(from, to, bytes)) return WriteResult::ok;
  if (err == EEXIST) return WriteResult::exists;
  if (err != EXDEV) return WriteResult::failed;
  // Another file system: copy, check the copy, and only then remove the source.
  BankFileWriter writer;
  const WriteResult r = writer.writeFile(to, bytes, false);
  if (r != WriteResult::ok) return r;
  std::vector<uint8_t> check;
  if (readFileBytes(to, check, INT64_MAX) != ReadResult::ok || check != bytes) {
    if (!removeFile(to)) librarianLog("could not remove the faulty copy " + to);
    return WriteResult::failed;
  }
  if (removeFile(from)) return WriteResult::ok;
  if (!removeFile(to)) librarianLog("could not remove " + from + " nor its copy " + to);
  return WriteResult::failed;
}

WriteResult publishFile(const std::string& from, const std::string& to, const std::vector<uint8_t>& bytes) {
  FileCalls& calls = fileCalls();
  auto dropStagedName = [&] {
    if (!removeFile(from)) librarianLog("could not remove " + from + "; the file keeps it as a second name");
  };
  int r = calls.renameNoReplace(AT_FDCWD, from, AT_FDCWD, to);
  bool linked = false;
  if (r != 0 && (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP)) {
    r = calls.link(AT_FDCWD, from, AT_FDCWD, to);
    linked = true;
  }
  if (r != 0) {
    const int err = errno;
    // A reply lost on the way back: the name may be ours all the same.
    std::vector<uint8_t> there;
    if ((linked || !pathExists(from)) && readFileBytes(to, there, INT64_MAX) == ReadResult::ok && there == bytes) {
      if (linked) dropStagedName();
      return WriteResult::ok;
    }
    return err == EEXIST ? WriteResult::exists : WriteResult::failed;
  }
  if (linked) dropStagedName();
  UTIL_SyncFolderOf(to);
  return WriteResult::ok;
}

std::string uniqueFilePath(const std::string& folder, const std::string& stem, const std::string& ext) {
  const std::string base = folder + "/" + stem;
  if (!pathExists(base + ext)) return base + ext;
  for (int n = 2; n < 10000; ++n) {
    const std::string candidate = base + " (" + std::to_string(n) + ")" + ext;
    if (!pathExists(candidate)) return candidate;
  }
  return std::string();
}

void splitFileName(const std::string& fileName, std::string& stem, std::string& extWithDot) {
  const size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || dot == 0) {
    stem = fileName;
    extWithDot.clear();
  } else {
    stem = fileName.substr(0, dot);
    extWithDot = fileName.substr(dot);
  }
}
