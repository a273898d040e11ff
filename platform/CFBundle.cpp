#include "CFBundle.h"

#include <dirent.h>
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "CFInternal.h"
#include "CFPropertyList.h"
#include "CFString.h"

namespace {

bool isDir(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string parentOf(const std::string& p) {
  size_t s = p.find_last_of('/');
  if (s == std::string::npos) return "";
  if (s == 0) return "/";
  return p.substr(0, s);
}

std::string realPath(const std::string& p) {
  char buf[PATH_MAX];
  return realpath(p.c_str(), buf) ? std::string(buf) : p;
}

CFURLRef makeURL(const std::string& path, bool dir) {
  auto* u = new __CFURL;
  u->path = path;
  u->isDirectory = dir;
  return u;
}

std::string infoString(CFDictionaryRef info, const char* key) {
  CFStringRef k = CFStringMakeFromValidUTF8(key);
  CFTypeRef v = CFDictionaryGetValue(info, k);
  CFRelease(k);
  return CFGetTypeID(v) == kCFTypeIDString ? CFStringUTF8(static_cast<CFStringRef>(v)) : std::string();
}

__CFBundle* openBundle(const std::string& folder) {
  std::string why;
  CFPropertyListRef info = CFPropertyListCreateFromFile((folder + "/Contents/Info.plist").c_str(), &why);
  if (!info) return nullptr;
  if (CFGetTypeID(info) != kCFTypeIDDictionary) {
    CFRelease(info);
    return nullptr;
  }
  auto* b = new __CFBundle;
  b->path = folder;
  b->info = static_cast<CFDictionaryRef>(info);
  b->identifier = infoString(b->info, "CFBundleIdentifier");
  if (!b->identifier.empty()) b->identifierRef = CFStringMakeFromValidUTF8(b->identifier);
  std::string exe = infoString(b->info, "CFBundleExecutable");
  // The executable name must be a plain file name: it is joined to the bundle's own folder.
  if (!exe.empty() && exe.find('/') == std::string::npos && exe != "." && exe != "..")
    b->executable = folder + "/Contents/Linux/" + exe;
  return b;
}

std::mutex cacheLock;
// Bundles found by identifier: immortal, reachable from here for the life of the process.
std::map<std::string, __CFBundle*>* cache = new std::map<std::string, __CFBundle*>;

int collectModule(struct dl_phdr_info* info, size_t, void* data) {
  if (info->dlpi_name && info->dlpi_name[0]) static_cast<std::vector<std::string>*>(data)->push_back(info->dlpi_name);
  return 0;
}

std::string executablePath() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  buf[n] = 0;
  return buf;
}

const __CFBundle* bundleOf(CFBundleRef b) { return CFCast<__CFBundle>(b, kCFTypeIDBundle); }

bool findBelow(const std::string& dir, const std::string& file, int depth, std::string* out) {
  if (depth > 8) return false;
  DIR* d = opendir(dir.c_str());
  if (!d) return false;
  std::vector<std::string> subdirs, names;
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    names.push_back(n);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  for (auto& n : names) {
    std::string p = dir + "/" + n;
    if (n == file && isFile(p)) {
      *out = p;
      return true;
    }
    if (isDir(p)) subdirs.push_back(p);
  }
  for (auto& s : subdirs)
    if (findBelow(s, file, depth + 1, out)) return true;
  return false;
}

}  // namespace

std::string CFBundleFolderContaining(const std::string& path) {
  std::string p = realPath(path);
  while (!p.empty() && p != "/") {
    std::string parent = parentOf(p);
    // p is "<bundle>/Contents" when its parent holds Contents/Info.plist.
    if (p.size() >= 9 && p.compare(p.size() - 9, 9, "/Contents") == 0 && isFile(p + "/Info.plist")) return parent;
    p = parent;
  }
  return "";
}

CFTypeID CFURLGetTypeID() { return kCFTypeIDURL; }

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, CFStringRef filePath, CFURLPathStyle, Boolean isDirectory) {
  if (!CFCast<__CFString>(filePath, kCFTypeIDString)) return nullptr;
  return makeURL(CFStringUTF8(filePath), isDirectory);
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef url, CFURLPathStyle) {
  auto* u = CFCast<__CFURL>(url, kCFTypeIDURL);
  return u ? CFStringMakeFromValidUTF8(u->path) : nullptr;
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean, UInt8* buffer, CFIndex maxBufLen) {
  auto* u = CFCast<__CFURL>(url, kCFTypeIDURL);
  if (!u || !buffer || maxBufLen < 1 || static_cast<CFIndex>(u->path.size()) + 1 > maxBufLen) return false;
  memcpy(buffer, u->path.c_str(), u->path.size() + 1);
  return true;
}

CFTypeID CFBundleGetTypeID() { return kCFTypeIDBundle; }

CFBundleRef CFBundleCreate(CFAllocatorRef, CFURLRef bundleURL) {
  auto* u = CFCast<__CFURL>(bundleURL, kCFTypeIDURL);
  if (!u) return nullptr;
  return openBundle(realPath(u->path));
}

CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID) {
  if (!CFCast<__CFString>(bundleID, kCFTypeIDString)) return nullptr;
  const std::string& id = CFStringUTF8(bundleID);
  if (id.empty()) return nullptr;
  std::lock_guard<std::mutex> g(cacheLock);
  auto it = cache->find(id);
  if (it != cache->end()) return it->second;

  std::vector<std::string> places;
  Dl_info self{};
  if (dladdr(reinterpret_cast<void*>(&CFBundleGetBundleWithIdentifier), &self) && self.dli_fname) places.push_back(self.dli_fname);
  dl_iterate_phdr(collectModule, &places);
  places.push_back(executablePath());
  for (auto& place : places) {
    std::string folder = CFBundleFolderContaining(place);
    if (folder.empty()) continue;
    __CFBundle* b = openBundle(folder);
    if (!b) continue;
    if (b->identifier == id) {
      b->h.immortal = true;
      (*cache)[id] = b;
      return b;
    }
    CFRelease(b);
  }
  return nullptr;
}

CFBundleRef CFBundleGetMainBundle() {
  static __CFBundle* mainBundle = [] {
    std::string exe = executablePath();
    std::string folder = CFBundleFolderContaining(exe);
    __CFBundle* b = folder.empty() ? nullptr : openBundle(folder);
    if (!b) {
      b = new __CFBundle;
      b->path = parentOf(exe);
      b->executable = exe;
    }
    b->h.immortal = true;
    return b;
  }();
  return mainBundle;
}

CFStringRef CFBundleGetIdentifier(CFBundleRef bundle) {
  auto* b = bundleOf(bundle);
  return b ? b->identifierRef : nullptr;
}

CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle) {
  auto* b = bundleOf(bundle);
  return b ? b->info : nullptr;
}

CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key) {
  return CFDictionaryGetValue(CFBundleGetInfoDictionary(bundle), key);
}

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle) {
  auto* b = bundleOf(bundle);
  return b ? makeURL(b->path, true) : nullptr;
}

CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle) {
  auto* b = bundleOf(bundle);
  return b ? makeURL(b->path + "/Contents/Resources", true) : nullptr;
}

CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle) {
  auto* b = bundleOf(bundle);
  return (b && !b->executable.empty()) ? makeURL(b->executable, false) : nullptr;
}

CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName, CFStringRef resourceType, CFStringRef subDirName) {
  auto* b = bundleOf(bundle);
  if (!b || !CFCast<__CFString>(resourceName, kCFTypeIDString)) return nullptr;
  std::string file = CFStringUTF8(resourceName);
  std::string type = CFStringUTF8(resourceType);
  if (!type.empty()) file += "." + type;
  // A resource name is a file name, never a path that could climb out of the bundle.
  if (file.empty() || file.find('/') != std::string::npos || file == "." || file == "..") return nullptr;
  std::string res = b->path + "/Contents/Resources";
  std::string sub = CFStringUTF8(subDirName);
  if (!sub.empty() && sub.find("..") == std::string::npos && isFile(res + "/" + sub + "/" + file))
    return makeURL(res + "/" + sub + "/" + file, false);
  if (isFile(res + "/" + file)) return makeURL(res + "/" + file, false);
  std::string found;
  if (findBelow(res, file, 0, &found)) return makeURL(found, false);
  return nullptr;
}
