#include "BankFileIO.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

namespace {

bool writeAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Writes bytes into a new temporary file next to path; returns its name, or empty on failure
// (nothing is left behind then).
std::string writeTemporary(const std::string& path, const std::vector<uint8_t>& bytes, mode_t mode) {
  std::string name = path;
  const size_t slash = name.find_last_of('/');
  name.insert(slash == std::string::npos ? 0 : slash + 1, ".");
  name += ".tmp-XXXXXX";   // hidden and without a bank extension: the loader never reads it
  std::vector<char> tmpl(name.begin(), name.end());
  tmpl.push_back('\0');
  const int fd = mkstemp(tmpl.data());
  if (fd < 0) return std::string();
  bool ok = fchmod(fd, mode) == 0 && writeAll(fd, bytes.data(), bytes.size()) && fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (!ok) {
    unlink(tmpl.data());
    return std::string();
  }
  return std::string(tmpl.data());
}

// Makes a rename into folder of path survive a crash (best effort: some file systems refuse).
void syncFolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  fsync(fd);
  ::close(fd);
}

// rename(2) that refuses to replace: renameat2(RENAME_NOREPLACE) where the file system supports
// it, else link + unlink, which fails with EEXIST just the same.
int renameNoReplace(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
#endif
  if (link(from.c_str(), to.c_str()) != 0) return -1;
  unlink(from.c_str());
  return 0;
}

}  // namespace

bool pathExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

ReadResult readFileBytes(const std::string& path, std::vector<uint8_t>& out, int64_t maxBytes) {
  out.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return ReadResult::failed;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return ReadResult::failed;
  if (size > maxBytes) return ReadResult::tooLarge;
  in.seekg(0, std::ios::beg);
  out.resize(static_cast<size_t>(size));
  if (size > 0 && !in.read(reinterpret_cast<char*>(out.data()), size)) {
    out.clear();
    return ReadResult::failed;
  }
  return ReadResult::ok;
}

WriteResult BankFileWriter::writeFile(const std::string& path, const std::vector<uint8_t>& bytes, bool replace) {
  struct stat st;
  const bool exists = stat(path.c_str(), &st) == 0;
  if (!replace && (exists || pathExists(path))) return WriteResult::exists;
  // A replaced file keeps its permissions; a new one gets rw-r--r--.
  const mode_t mode = exists ? (st.st_mode & 07777) : 0644;
  const std::string tmp = writeTemporary(path, bytes, mode);
  if (tmp.empty()) return WriteResult::failed;
  if (replace) {
    if (rename(tmp.c_str(), path.c_str()) != 0) {
      unlink(tmp.c_str());
      return WriteResult::failed;
    }
    syncFolderOf(path);
    return WriteResult::ok;
  }
  if (renameNoReplace(tmp, path) == 0) {
    syncFolderOf(path);
    return WriteResult::ok;
  }
  const bool taken = errno == EEXIST;
  unlink(tmp.c_str());
  return taken ? WriteResult::exists : WriteResult::failed;
}

WriteResult moveFileNoReplace(const std::string& from, const std::string& to) {
  if (pathExists(to)) return WriteResult::exists;
  if (renameNoReplace(from, to) == 0) return WriteResult::ok;
  if (errno == EEXIST) return WriteResult::exists;
  if (errno != EXDEV) return WriteResult::failed;
  // Another file system: copy, check the copy, and only then remove the source.
  std::vector<uint8_t> bytes;
  if (readFileBytes(from, bytes, INT64_MAX) != ReadResult::ok) return WriteResult::failed;
  BankFileWriter writer;
  const WriteResult r = writer.writeFile(to, bytes, false);
  if (r != WriteResult::ok) return r;
  std::vector<uint8_t> check;
  if (readFileBytes(to, check, INT64_MAX) != ReadResult::ok || check != bytes) {
    unlink(to.c_str());
    return WriteResult::failed;
  }
  if (unlink(from.c_str()) != 0) {
    unlink(to.c_str());
    return WriteResult::failed;
  }
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
