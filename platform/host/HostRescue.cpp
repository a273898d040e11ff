#include "HostRescue.h"

#include <dirent.h>
#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "CFPropertyList.h"
#include "Sha1.h"
#include "UTIL_File.h"

namespace {

const char* const kSuffix = ".rescued";
// A private folder made for rescues among the temporary files: this, then six letters of mkdtemp.
const char* const kPrivatePrefix = "sorvanta-host-rescue-";

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The full path of path: from the root, its folder without links (when it exists).
std::string fullPath(const std::string& path) {
  std::string file = path;
  if (file[0] != '/') {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd)) file = std::string(cwd) + "/" + file;
  }
  char* real = realpath(folderOf(file).c_str(), nullptr);
  if (!real) return file;
  const std::string full = (strcmp(real, "/") == 0 ? "" : std::string(real)) + "/" + nameOf(file);
  free(real);
  return full;
}

// A folder only this user may change: nobody else can have put a name in it.
bool ownFolder(const std::string& folder) {
  struct stat st;
  return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 022) == 0;
}

std::string homeFolder() {
  const char* home = getenv("HOME");
  if (home && *home) return home;
  const struct passwd* pw = getpwuid(getuid());
  return pw && pw->pw_dir ? pw->pw_dir : "";
}

// The user's own rescue folder, made (0700) when make is set; empty with *why when it cannot be
// had.
std::string rescueFolder(bool make, std::string* why) {
  const char* state = getenv("XDG_STATE_HOME");
  const std::string root = state && state[0] == '/' ? state : homeFolder() + "/.local/state";
  const std::string folder = root + "/sorvanta-host";
  if (make && root[0] == '/') {
    for (size_t slash = folder.find('/', 1); ; slash = folder.find('/', slash + 1)) {
      const std::string part = folder.substr(0, slash);
      if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
        *why = part + ": cannot be made: " + strerror(errno);
        return std::string();
      }
      if (slash == std::string::npos) break;
    }
  }
  if (!ownFolder(folder)) {
    *why = folder + " is not a folder of this user's own";
    return std::string();
  }
  return folder;
}

std::string digestOf(const std::string& bytes) {
  unsigned char digest[20];
  char hex[41];
  sha1::calc(bytes.data(), static_cast<int>(bytes.size()), digest);
  sha1::toHexString(digest, hex);
  return std::string(hex, 40);
}

// The first name of the series of rescues of the file at full inside a rescue folder.
std::string rescueName(const std::string& full) { return nameOf(full) + "-" + digestOf(full).substr(0, 16) + kSuffix; }

// Where the system keeps temporary files, the runtime folder first (absolute paths, each once).
std::vector<std::string> temporaryRoots() {
  std::vector<std::string> roots;
  const char* const places[] = {getenv("XDG_RUNTIME_DIR"), getenv("TMPDIR"), "/tmp"};
  for (const char* place : places) {
    std::string root = place && place[0] == '/' ? place : "";
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    if (!root.empty() && std::find(roots.begin(), roots.end(), root) == roots.end()) roots.push_back(root);
  }
  return roots;
}

// The private rescue folders made earlier among the temporary files, the user's own.
std::vector<std::string> privateFolders() {
  std::vector<std::string> folders;
  const size_t length = strlen(kPrivatePrefix) + 6;
  for (const std::string& root : temporaryRoots()) {
    DIR* dir = opendir(root.c_str());
    if (!dir) continue;
    while (const dirent* e = readdir(dir)) {
      const std::string folder = root + "/" + e->d_name;
      if (strncmp(e->d_name, kPrivatePrefix, strlen(kPrivatePrefix)) == 0 && strlen(e->d_name) == length &&
          ownFolder(folder))
        folders.push_back(folder);
    }
    closedir(dir);
  }
  return folders;
}

// The first name of each series the rescues of the file at full may have; the private folders
// among the temporary files too when look is set.
std::vector<std::string> rescueBases(const std::string& full, bool make, bool look, std::string* why) {
  std::vector<std::string> bases;
  if (ownFolder(folderOf(full))) bases.push_back(full + kSuffix);
  const std::string folder = rescueFolder(make, why);
  if (!folder.empty()) bases.push_back(folder + "/" + rescueName(full));
  if (look)
    for (const std::string& own : privateFolders()) bases.push_back(own + "/" + rescueName(full));
  return bases;
}

// A fresh folder only this user may enter, made under root, whose folder nobody else may rename
// it in (root is the user's own, or sticky); empty with *why when it cannot be made.
std::string makePrivateFolder(const std::string& root, std::string* why) {
  struct stat st;
  if (stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *why = root + ": not a folder";
    return std::string();
  }
  if (!ownFolder(root) && !(st.st_mode & S_ISVTX)) {
    *why = root + ": others may rename what is in it";
    return std::string();
  }
  std::string folder = root + "/" + kPrivatePrefix + "XXXXXX";
  if (!mkdtemp(&folder[0]) || chmod(folder.c_str(), 0700) != 0) {
    *why = root + ": a folder cannot be made in it: " + strerror(errno);
    return std::string();
  }
  return folder;
}

// A name of base's series (base, base-2, base-3 ...).
bool inSeries(const std::string& name, const std::string& base) {
  if (name.compare(0, base.size(), base) != 0) return false;
  if (name.size() == base.size()) return true;
  if (name[base.size()] != '-' || name.size() == base.size() + 1) return false;
  return name.find_first_not_of("0123456789", base.size() + 1) == std::string::npos;
}

bool newer(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

// Where the user's rescue folder keeps the digest of what the file at full was last saved from
// (a file a run began from), beside that file's rescues but of no series.
std::string savedFromRecord(const std::string& folder, const std::string& full) {
  std::string name = rescueName(full);
  return folder + "/" + name.substr(0, name.size() - strlen(kSuffix)) + ".saved-from";
}

}  // namespace

mode_t RescueMode(const std::string& path, mode_t before) {
  struct stat st;
  const bool file = stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  const mode_t mode = file ? st.st_mode : before ? before : 0600;
  return (mode | 0600) & 0666;
}

std::string WriteRescue(const std::string& path, const std::string& data, mode_t mode, std::string* why) {
  const std::string full = fullPath(path);
  std::string folderWhy, failed;
  why->clear();
  auto add = [why](const std::string& reason) { *why += (why->empty() ? "" : "; ") + reason; };
  auto writeAs = [&](const std::string& base) {
    const std::string written = UTIL_WriteNewFile(base, data.data(), data.size(), &failed, mode);
    if (written.empty()) add(base + ": " + failed);
    return written;
  };
  for (const std::string& base : rescueBases(full, true, false, &folderWhy)) {
    const std::string written = writeAs(base);
    if (!written.empty()) return why->clear(), written;
  }
  if (!folderWhy.empty()) add(folderWhy);
  // No folder of the user's own takes it: a fresh private one among the temporary files does.
  const std::string lasting = *why;
  for (const std::string& root : temporaryRoots()) {
    const std::string folder = makePrivateFolder(root, &failed);
    if (folder.empty()) {
      add(failed);
      continue;
    }
    const std::string written = writeAs(folder + "/" + rescueName(full));
    if (!written.empty()) return *why = lasting, written;
    rmdir(folder.c_str());
  }
  return std::string();
}

namespace {

// Every rescue of the file at full (a regular file of the user's in one of its series), with its
// status.
template <typename Each>
void forEachRescue(const std::string& full, Each each) {
  std::string unused;
  struct stat st;
  for (const std::string& base : rescueBases(full, false, true, &unused)) {
    DIR* dir = opendir(folderOf(base).c_str());
    if (!dir) continue;
    while (const dirent* e = readdir(dir)) {
      const std::string name = folderOf(base) + "/" + e->d_name;
      if (inSeries(name, base) && lstat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid()) each(name, st);
    }
    closedir(dir);
  }
}

}  // namespace

std::vector<std::string> RescuesWithOtherWork(const std::string& path) {
  const std::string full = fullPath(path);
  std::string unused, saved, from, rescue;
  std::vector<std::pair<struct timespec, std::string>> found;
  // A rescue that holds what the file holds, or what it was saved from, keeps no work of its own;
  // any other does, however old: a save that changed nothing put none of it into the file.
  const bool compare = UTIL_ReadFile(full, saved, kCFPropertyListMaxFileBytes).ok();
  const std::string folder = rescueFolder(false, &unused);
  if (folder.empty() || !UTIL_ReadFile(savedFromRecord(folder, full), from, 64).ok()) from.clear();
  forEachRescue(full, [&](const std::string& name, const struct stat& st) {
    if (UTIL_ReadFile(name, rescue, kCFPropertyListMaxFileBytes).ok() &&
        ((compare && rescue == saved) || (!from.empty() && digestOf(rescue) == from)))
      return;
    found.emplace_back(st.st_mtim, name);
  });
  // The newest first; the order only, never whether one is named, rests on the times.
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    return newer(a.first, b.first) || (!newer(b.first, a.first) && a.second < b.second);
  });
  std::vector<std::string> names;
  for (const auto& f : found) names.push_back(f.second);
  return names;
}

void RescueSavedFrom(const std::string& path, const std::string* from) {
  const std::string full = fullPath(path);
  // Only a rescue's bytes are worth noting: nothing else is named at a start.
  bool rescue = false;
  std::string bytes, why;
  if (from)
    forEachRescue(full, [&](const std::string& name, const struct stat& st) {
      rescue = rescue || (st.st_size == static_cast<off_t>(from->size()) &&
                          UTIL_ReadFile(name, bytes, kCFPropertyListMaxFileBytes).ok() && bytes == *from);
    });
  const std::string folder = rescueFolder(rescue, &why);
  if (folder.empty()) return;
  const std::string record = savedFromRecord(folder, full);
  if (!rescue) {
    unlink(record.c_str());
    return;
  }
  const std::string digest = digestOf(*from);
  UTIL_ReplaceFile(record, digest.data(), digest.size(), &why, 0600);
}
