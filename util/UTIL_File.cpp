#include "UTIL_File.h"

#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

namespace {

const char* kindOf(mode_t type) {
  switch (type) {
    case S_IFDIR: return "a folder";
    case S_IFIFO: return "a named pipe (FIFO)";
    case S_IFCHR: return "a character device";
    case S_IFBLK: return "a block device";
    case S_IFSOCK: return "a socket";
    case S_IFLNK: return "a symbolic link to nothing";
    default: return "not a plain file";
  }
}

// Checks what an open descriptor names; closes it and answers false when it is refused.
bool accept(int fd, int64_t minBytes, int64_t maxBytes, UTIL_FileCheck* check) {
  struct stat st;
  if (fstat(fd, &st) != 0) {
    check->status = UTIL_FileStatus::failed;
    check->error = errno;
  } else {
    check->type = st.st_mode & S_IFMT;
    check->size = st.st_size;
    if (!S_ISREG(st.st_mode)) {
      check->status = UTIL_FileStatus::notRegular;
    } else if (st.st_size < minBytes) {
      check->status = UTIL_FileStatus::tooSmall;
      check->limit = minBytes;
    } else if (st.st_size > maxBytes) {
      check->status = UTIL_FileStatus::tooLarge;
      check->limit = maxBytes;
    } else {
      check->status = UTIL_FileStatus::ok;
      return true;
    }
  }
  ::close(fd);
  return false;
}

void openFailed(UTIL_FileCheck* check, int folderFd = AT_FDCWD, const char* path = nullptr) {
  check->error = errno;
  check->status = (errno == ENOENT || errno == ENOTDIR) ? UTIL_FileStatus::missing : UTIL_FileStatus::failed;
  // A FIFO opened for writing without a reader answers ENXIO (O_NONBLOCK), and so does a socket
  // opened at all: neither is a file.
  if (errno == ENXIO) {
    struct stat st;
    check->status = UTIL_FileStatus::notRegular;
    check->type = path && fstatat(folderFd, path, &st, 0) == 0 ? st.st_mode & S_IFMT : S_IFIFO;
  }
}

template <typename Bytes>
UTIL_FileCheck readWhole(const std::string& path, Bytes& out, int64_t maxBytes) {
  out.clear();
  UTIL_FileCheck check;
  const int fd = UTIL_OpenFileForRead(path, &check, maxBytes);
  if (fd < 0) return check;
  out.resize(static_cast<size_t>(check.size));
  size_t got = 0;
  if (!UTIL_ReadFully(fd, out.data(), out.size(), &got)) {
    check.status = UTIL_FileStatus::failed;
    check.error = errno;
    got = 0;
  }
  ::close(fd);
  out.resize(got);
  return check;
}

}  // namespace

std::string UTIL_FileCheck::why() const {
  switch (status) {
    case UTIL_FileStatus::ok: return "is a file";
    case UTIL_FileStatus::missing: return "does not exist";
    case UTIL_FileStatus::notRegular: return std::string("is ") + kindOf(type) + ", not a file";
    case UTIL_FileStatus::tooSmall:
      return "holds " + std::to_string(size) + " bytes, fewer than the " + std::to_string(limit) + " needed";
    case UTIL_FileStatus::tooLarge:
      return "holds " + std::to_string(size) + " bytes, more than the " + std::to_string(limit) + " allowed";
    case UTIL_FileStatus::notWritable: return std::string("cannot write file: ") + strerror(error);
    case UTIL_FileStatus::readOnly: return "is read-only";
    case UTIL_FileStatus::failed: break;
  }
  return std::string("cannot be read: ") + strerror(error);
}

int UTIL_OpenFileForRead(const std::string& path, UTIL_FileCheck* check, int64_t maxBytes, int64_t minBytes, int folderFd) {
  UTIL_FileCheck local;
  if (!check) check = &local;
  *check = UTIL_FileCheck();
  const int fd = openat(folderFd, path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    openFailed(check, folderFd, path.c_str());
    return -1;
  }
  return accept(fd, minBytes, maxBytes, check) ? fd : -1;
}

int UTIL_OpenFileForWrite(const std::string& path, int flags, UTIL_FileCheck* check, mode_t mode) {
  UTIL_FileCheck local;
  if (!check) check = &local;
  const bool truncate = (flags & O_TRUNC) != 0;
  // Opening a device or a FIFO may itself act (a tape rewinds, a reader sees an end): look first.
  *check = UTIL_CheckSave(path);
  if (!check->ok() && check->status != UTIL_FileStatus::missing) return -1;
  const int fd = open(path.c_str(), (flags & ~O_TRUNC) | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, mode);
  if (fd < 0) {
    openFailed(check);
    return -1;
  }
  if (!accept(fd, 0, UTIL_kNoFileLimit, check)) return -1;
  if (truncate && ftruncate(fd, 0) != 0) {
    check->status = UTIL_FileStatus::failed;
    check->error = errno;
    ::close(fd);
    return -1;
  }
  return fd;
}

UTIL_FileCheck UTIL_CheckSave(const std::string& path) {
  UTIL_FileCheck check;
  const std::string file = UTIL_LinkedFile(path);
  struct stat st;
  if (file.empty()) {
    check.error = ELOOP;
    return check;
  }
  if (stat(file.c_str(), &st) != 0) {
    openFailed(&check);
    return check;
  }
  if (!S_ISREG(st.st_mode)) {
    check.status = UTIL_FileStatus::notRegular;
    check.type = st.st_mode & S_IFMT;
    return check;
  }
  const int fd = UTIL_OpenFileForRead(file, &check);
  if (fd < 0) return check;
  ::close(fd);
  check.mode = st.st_mode & 07777;
  check.owner = st.st_uid;
  check.group = st.st_gid;
  // Root may write anything, but a file without write permission for its owner was made so on
  // purpose: it is the only guard many users set.
  if (!(st.st_mode & S_IWUSR)) {
    check.status = UTIL_FileStatus::readOnly;
    return check;
  }
  // The effective ids decide, as they do for the write that follows.
  if (faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0) {
    check.status = UTIL_FileStatus::notWritable;
    check.error = errno;
  }
  return check;
}

std::string UTIL_ShortReason(const std::string& why) {
  // The texts here end in the system's reason after a colon, or name what was found; either may
  // be followed by "; " and what became of the file.
  const std::string sentence = why.substr(0, why.find("; "));
  const size_t colon = sentence.rfind(": ");
  return colon == std::string::npos ? sentence : sentence.substr(colon + 2);
}

bool UTIL_ReadFully(int fd, void* data, size_t size, size_t* got) {
  unsigned char* p = static_cast<unsigned char*>(data);
  *got = 0;
  while (*got < size) {
    const ssize_t n = ::read(fd, p + *got, size - *got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    *got += static_cast<size_t>(n);
  }
  return true;
}

bool UTIL_WriteFully(int fd, const void* data, size_t size) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

UTIL_FileCheck UTIL_ReadFile(const std::string& path, std::string& out, int64_t maxBytes) {
  return readWhole(path, out, maxBytes);
}

UTIL_FileCheck UTIL_ReadFile(const std::string& path, std::vector<uint8_t>& out, int64_t maxBytes) {
  return readWhole(path, out, maxBytes);
}

FILE* UTIL_FOpenForRead(const std::string& path, UTIL_FileCheck* check, int64_t maxBytes) {
  UTIL_FileCheck local;
  if (!check) check = &local;
  const int fd = UTIL_OpenFileForRead(path, check, maxBytes);
  if (fd < 0) return nullptr;
  FILE* f = fdopen(fd, "rb");
  if (!f) {
    check->status = UTIL_FileStatus::failed;
    check->error = errno;
    ::close(fd);
  }
  return f;
}

UTIL_FileCheck UTIL_StatFile(const std::string& path) {
  UTIL_FileCheck check;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    const int error = errno;
    // A symbolic link whose target is gone is something at the path, not nothing.
    if (error == ENOENT && lstat(path.c_str(), &st) == 0) {
      check.status = UTIL_FileStatus::notRegular;
      check.type = S_IFLNK;
      return check;
    }
    errno = error;
    openFailed(&check);
    return check;
  }
  check.type = st.st_mode & S_IFMT;
  check.size = st.st_size;
  check.status = S_ISREG(st.st_mode) ? UTIL_FileStatus::ok : UTIL_FileStatus::notRegular;
  return check;
}

std::string UTIL_LinkedFile(const std::string& path) {
  std::string file = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(file.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return file;
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
    const ssize_t n = readlink(file.c_str(), &target[0], target.size());
    if (n < 0 || static_cast<size_t>(n) >= target.size()) return std::string();
    target.resize(static_cast<size_t>(n));
    const size_t slash = file.rfind('/');
    file = target[0] == '/' || slash == std::string::npos ? target : file.substr(0, slash + 1) + target;
  }
  return std::string();
}

int UTIL_RenameNoReplace(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
#endif
  if (link(from.c_str(), to.c_str()) != 0) return -1;
  if (unlink(from.c_str()) == 0) return 0;
  const int error = errno;
  unlink(to.c_str());  // one name, as before, rather than two
  errno = error;
  return -1;
}

void UTIL_SyncFolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    ::close(dir);
  }
}

int UTIL_MakeTemporary(std::string& name, mode_t mode) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::atomic<uint64_t> calls{0};
  const size_t at = name.size() - 6;
  if (name.size() < 6 || name.compare(at, 6, "XXXXXX") != 0) {
    errno = EINVAL;
    return -1;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    // Unpredictable enough for a name another process could take first: O_EXCL settles a clash.
    uint64_t x = (calls.fetch_add(1) + 1) * 0x9E3779B97F4A7C15ull ^
                 static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                 (static_cast<uint64_t>(getpid()) << 40);
    for (size_t i = 0; i < 6; ++i, x /= 62) name[at + i] = kLetters[x % 62];
    const int fd = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

std::string UTIL_WriteTemporary(std::string name, const void* data, size_t size, const UTIL_FileCheck* replaced,
                                mode_t newMode, std::string* why) {
  const int fd = UTIL_MakeTemporary(name, newMode);
  if (fd < 0) {
    *why = std::string("cannot write beside it: ") + strerror(errno);
    return std::string();
  }
  // The owner first: a change of owner clears the set-id bits, and the mode set after it is the
  // one that stays.
  struct stat st;
  const char* failed = "cannot write file: ";
  bool ok = fstat(fd, &st) == 0;
  if (ok && replaced && (st.st_uid != replaced->owner || st.st_gid != replaced->group) &&
      fchown(fd, replaced->owner, replaced->group) != 0)
    ok = false, failed = "cannot keep its owner and group: ";
  ok = ok && (!replaced || fchmod(fd, replaced->mode & ~(S_ISUID | S_ISGID)) == 0) &&
       UTIL_WriteFully(fd, data, size) && fsync(fd) == 0;
  int error = errno;
  if (::close(fd) != 0 && ok) ok = false, error = errno;
  if (ok) return name;
  unlink(name.c_str());
  *why = failed + std::string(strerror(error));
  return std::string();
}

bool UTIL_ReplaceFile(const std::string& linkOrFile, const void* data, size_t size, std::string* why, mode_t newMode) {
  // Renaming over a link would replace the link and leave the file it names as it was.
  const std::string path = UTIL_LinkedFile(linkOrFile);
  if (path.empty()) {
    *why = "cannot write file: " + std::string(strerror(ELOOP));
    return false;
  }
  // The rename would put a file where a device, a FIFO or a socket was: the user's, or the
  // system's, never ours to replace. A file this process cannot read is one nobody here has seen:
  // a session made write-only, or kept for another user; replacing it would lose what it holds.
  const UTIL_FileCheck found = UTIL_CheckSave(path);
  const bool exists = found.status != UTIL_FileStatus::missing;
  if (exists && !found.ok()) {
    *why = found.why() + "; left as it was";
    return false;
  }
  const std::string tmp = UTIL_WriteTemporary(path + ".XXXXXX", data, size, exists ? &found : nullptr, newMode, why);
  if (tmp.empty()) return false;
  if (rename(tmp.c_str(), path.c_str()) != 0) {
    *why = std::string("cannot write file: ") + strerror(errno);
    unlink(tmp.c_str());
    return false;
  }
  // The rename itself reaches the disk only with its folder.
  UTIL_SyncFolderOf(path);
  return true;
}

std::string UTIL_NumberedName(const std::string& path, int n) { return n == 1 ? path : path + "-" + std::to_string(n); }

std::string UTIL_WriteNewFile(const std::string& path, const void* data, size_t size, std::string* why, mode_t newMode) {
  const std::string tmp = UTIL_WriteTemporary(path + ".XXXXXX", data, size, nullptr, newMode, why);
  if (tmp.empty()) return tmp;
  for (int n = 1; n < 1000; ++n) {
    const std::string name = UTIL_NumberedName(path, n);
    if (UTIL_RenameNoReplace(tmp, name) == 0) {
      UTIL_SyncFolderOf(name);
      return name;
    }
    if (errno != EEXIST) {
      *why = std::string("cannot write file: ") + strerror(errno);
      break;
    }
    *why = "every name up to " + name + " is taken";
  }
  unlink(tmp.c_str());
  return std::string();
}

void UTIL_SayRefusal(const std::string& line) {
  // Kept past static destruction: a load thread may still refuse a file while the process ends.
  static std::mutex& lock = *new std::mutex;
  static std::set<std::string>& said = *new std::set<std::string>;
  std::lock_guard<std::mutex> hold(lock);
  if (said.size() >= 4096) said.clear();  // a process that refuses thousands keeps no more
  if (said.insert(line).second) fprintf(stderr, "%s\n", line.c_str());
}
