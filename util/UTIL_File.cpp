#include "UTIL_File.h"

#include <grp.h>
#include <limits.h>
#include <pwd.h>
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

std::string userName(uid_t uid) {
  struct passwd pw, *found = nullptr;
  char buffer[4096];
  return getpwuid_r(uid, &pw, buffer, sizeof buffer, &found) == 0 && found ? found->pw_name : "user " + std::to_string(uid);
}

std::string groupName(gid_t gid) {
  struct group gr, *found = nullptr;
  char buffer[4096];
  return getgrgid_r(gid, &gr, buffer, sizeof buffer, &found) == 0 && found ? found->gr_name : std::to_string(gid);
}

// The system's reason for a failed rename, in words: EPERM here is a shared (sticky) folder in
// which only a file's owner may replace it.
std::string renameReason(int error) {
  return error == EPERM ? "in this shared folder only the file's owner may replace it" : strerror(error);
}

int makeTemporaryAt(int folderFd, std::string& name, mode_t mode) {
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
    const int fd = openat(folderFd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

int renameNoReplaceAt(int fromFd, const std::string& from, int toFd, const std::string& to) {
#ifdef RENAME_NOREPLACE
  if (renameat2(fromFd, from.c_str(), toFd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
#endif
  if (linkat(fromFd, from.c_str(), toFd, to.c_str(), 0) != 0) return -1;
  if (unlinkat(fromFd, from.c_str(), 0) == 0) return 0;
  const int error = errno;
  unlinkat(toFd, to.c_str(), 0);  // one name, as before, rather than two
  errno = error;
  return -1;
}

}  // namespace

UTIL_SaveFolder::~UTIL_SaveFolder() {
  if (fd >= 0) ::close(fd);
}

bool UTIL_OpenSaveFolder(const std::string& path, bool follow, UTIL_SaveFolder* folder) {
  const std::string file = follow ? UTIL_LinkedFile(path) : path;
  if (file.empty()) {
    errno = ELOOP;
    return false;
  }
  const size_t slash = file.rfind('/');
  folder->leaf = slash == std::string::npos ? file : file.substr(slash + 1);
  folder->given = slash == std::string::npos ? "" : file.substr(0, slash + 1);
  char* real = realpath(slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash).c_str(), nullptr);
  if (!real) return false;
  // O_PATH: a folder its user may write but not list is still one to save in.
  folder->fd = open(real, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  free(real);
  return folder->fd >= 0;
}

void UTIL_SyncFolder(int folderFd) {
  const int dir = openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    ::close(dir);
  }
}

bool UTIL_WriteTemporaryAt(int folderFd, std::string& name, const void* data, size_t size, const UTIL_FileCheck* replaced,
                           mode_t newMode, const std::string& file, std::string* why) {
  why->clear();
  const int fd = makeTemporaryAt(folderFd, name, newMode);
  if (fd < 0) {
    *why = std::string("cannot write beside it: ") + strerror(errno);
    return false;
  }
  // The owner first: a change of owner clears the set-id bits, and the mode set after it is the
  // one that stays.
  struct stat st;
  std::string failed = "cannot write file: ";
  mode_t mode = replaced ? replaced->mode & ~(S_ISUID | S_ISGID) : 0;
  bool ok = fstat(fd, &st) == 0;
  if (ok && replaced && (st.st_uid != replaced->owner || st.st_gid != replaced->group) &&
      fchown(fd, replaced->owner, replaced->group) != 0) {
    if (errno == EPERM && st.st_uid == replaced->owner) {
      // The user's own file in a group the user is not in: it stays the user's, and since it now
      // lands in the user's group, that group and others lose what they had.
      mode &= 0700;
      *why = "saved without its group " + groupName(replaced->group) +
             ", which this user is not in: only its owner may read and write it now";
    } else {
      ok = false;
      failed = file + " belongs to " + userName(replaced->owner) + " and may be saved only by them (or an administrator)";
    }
  }
  ok = ok && (!replaced || fchmod(fd, mode) == 0) && UTIL_WriteFully(fd, data, size) && fsync(fd) == 0;
  int error = errno;
  if (::close(fd) != 0 && ok) ok = false, error = errno;
  if (ok) return true;
  unlinkat(folderFd, name.c_str(), 0);
  *why = failed.back() == ' ' ? failed + strerror(error) : failed + "; left as it was";
  return false;
}

UTIL_FileCheck UTIL_CheckSaveAt(int folderFd, const std::string& leaf) {
  UTIL_FileCheck check;
  struct stat st;
  if (fstatat(folderFd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    openFailed(&check);
    return check;
  }
  if (!S_ISREG(st.st_mode)) {
    check.status = UTIL_FileStatus::notRegular;
    check.type = st.st_mode & S_IFMT;
    return check;
  }
  const int fd = openat(folderFd, leaf.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
  if (fd < 0) {
    openFailed(&check, folderFd, leaf.c_str());
    return check;
  }
  if (!accept(fd, 0, UTIL_kNoFileLimit, &check)) return check;
  const bool stated = fstat(fd, &st) == 0;
  ::close(fd);
  if (!stated) {
    check.status = UTIL_FileStatus::failed;
    check.error = errno;
    return check;
  }
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
  if (faccessat(folderFd, leaf.c_str(), W_OK, AT_EACCESS) != 0) {
    check.status = UTIL_FileStatus::notWritable;
    check.error = errno;
  }
  return check;
}

namespace {

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
  UTIL_SaveFolder folder;
  if (UTIL_OpenSaveFolder(path, true, &folder)) return UTIL_CheckSaveAt(folder.fd, folder.leaf);
  UTIL_FileCheck check;
  openFailed(&check);
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
  return renameNoReplaceAt(AT_FDCWD, from, AT_FDCWD, to);
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

int UTIL_MakeTemporary(std::string& name, mode_t mode) { return makeTemporaryAt(AT_FDCWD, name, mode); }

std::string UTIL_WriteTemporary(std::string name, const void* data, size_t size, const UTIL_FileCheck* replaced,
                                mode_t newMode, std::string* why) {
  UTIL_SaveFolder folder;
  if (!UTIL_OpenSaveFolder(name, false, &folder)) {
    *why = std::string("cannot write beside it: ") + strerror(errno);
    return std::string();
  }
  return UTIL_WriteTemporaryAt(folder.fd, folder.leaf, data, size, replaced, newMode, "the file", why)
             ? folder.full(folder.leaf)
             : std::string();
}

bool UTIL_ReplaceFile(const std::string& linkOrFile, const void* data, size_t size, std::string* why, mode_t newMode) {
  why->clear();
  // Renaming over a link would replace the link and leave the file it names as it was: the file
  // at the end of the links is the one replaced.
  UTIL_SaveFolder folder;
  if (!UTIL_OpenSaveFolder(linkOrFile, true, &folder)) {
    *why = std::string(errno == ELOOP ? "cannot write file: " : "cannot write beside it: ") + strerror(errno);
    return false;
  }
  // The rename would put a file where a device, a FIFO or a socket was: the user's, or the
  // system's, never ours to replace. A file this process cannot read is one nobody here has seen:
  // a session made write-only, or kept for another user; replacing it would lose what it holds.
  const UTIL_FileCheck found = UTIL_CheckSaveAt(folder.fd, folder.leaf);
  const bool exists = found.status != UTIL_FileStatus::missing;
  if (exists && !found.ok()) {
    *why = found.why() + "; left as it was";
    return false;
  }
  std::string tmp = folder.leaf + ".XXXXXX";
  if (!UTIL_WriteTemporaryAt(folder.fd, tmp, data, size, exists ? &found : nullptr, newMode, folder.leaf, why)) return false;
  if (renameat(folder.fd, tmp.c_str(), folder.fd, folder.leaf.c_str()) != 0) {
    *why = "cannot write file: " + renameReason(errno);
    unlinkat(folder.fd, tmp.c_str(), 0);
    return false;
  }
  // The rename itself reaches the disk only with its folder.
  UTIL_SyncFolder(folder.fd);
  return true;
}

std::string UTIL_NumberedName(const std::string& path, int n) { return n == 1 ? path : path + "-" + std::to_string(n); }

std::string UTIL_WriteNewFile(const std::string& path, const void* data, size_t size, std::string* why, mode_t newMode) {
  UTIL_SaveFolder folder;
  if (!UTIL_OpenSaveFolder(path, false, &folder)) {
    *why = std::string("cannot write beside it: ") + strerror(errno);
    return std::string();
  }
  std::string tmp = folder.leaf + ".XXXXXX";
  if (!UTIL_WriteTemporaryAt(folder.fd, tmp, data, size, nullptr, newMode, folder.leaf, why)) return std::string();
  for (int n = 1; n < 1000; ++n) {
    const std::string name = UTIL_NumberedName(folder.leaf, n);
    if (renameNoReplaceAt(folder.fd, tmp, folder.fd, name) == 0) {
      UTIL_SyncFolder(folder.fd);
      return folder.full(name);
    }
    if (errno != EEXIST) {
      *why = "cannot write file: " + renameReason(errno);
      break;
    }
    *why = "every name up to " + folder.full(name) + " is taken";
  }
  unlinkat(folder.fd, tmp.c_str(), 0);
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
