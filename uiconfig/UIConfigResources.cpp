#include "UIConfigResources.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Tea.h"
#include "UIConfigKey.h"
#include "UTIL_File.h"

namespace {

constexpr std::size_t kBlockBytes = 8;

}  // namespace

std::string UIConfigResources::resourceFileName(const std::string& name) {
  const std::string::size_type slash = name.find_last_of('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string UIConfigResources::resourcePath(const std::string& resourcesDir,
                                            const std::string& name) {
  const std::string file = resourceFileName(name);
  if (file.empty() || file == "." || file == "..") return std::string();
  if (resourcesDir.empty()) return file;
  if (resourcesDir.back() == '/') return resourcesDir + file;
  return resourcesDir + "/" + file;
}

UIConfigResources::ReadStatus UIConfigResources::readResource(const std::string& path,
                                                              std::vector<unsigned char>& out) {
  out.clear();
  // A FIFO or device planted under a resource name must not hang the host while it creates the
  // plug-in: the open never waits, and anything but a regular file is refused after it.
  UTIL_FileCheck check;
  const int fd = path.empty() ? -1 : UTIL_OpenFileForRead(path, &check);
  if (fd < 0) {
    if (path.empty() || check.status == UTIL_FileStatus::missing) return ReadStatus::kMissing;
    std::fputs("failed to open file", stdout);
    UTIL_SayRefusal("CONFIG READER: " + path + " " + check.why());
    return ReadStatus::kUnreadable;
  }
  // The size found only sizes the first allocation; the read decides. One byte past the limit
  // tells a file that is exactly kMaxResourceBytes long from a longer one.
  const std::size_t hint = check.size > 0 ? static_cast<std::size_t>(check.size) : 0;
  out.resize(std::min(hint, kMaxResourceBytes) + 1);
  std::size_t got = 0;
  for (;;) {
    std::size_t r = 0;
    if (!UTIL_ReadFully(fd, out.data() + got, out.size() - got, &r)) {
      ::close(fd);
      out.clear();
      return ReadStatus::kUnreadable;
    }
    got += r;
    if (got < out.size() || out.size() > kMaxResourceBytes) break;  // end of file, or past limit
    out.resize(std::min(out.size() * 2, kMaxResourceBytes + 1));    // the file grew meanwhile
  }
  ::close(fd);
  if (got > kMaxResourceBytes) {
    out.resize(kMaxResourceBytes);
    return ReadStatus::kTruncated;
  }
  out.resize(got);
  return got == 0 ? ReadStatus::kEmpty : ReadStatus::kOk;
}

std::size_t UIConfigResources::decrypt(const char* data, int length, std::string& out) {
  if (!data || length < 1) return 0;
  const std::size_t n = static_cast<std::size_t>(length);
  const std::size_t whole = n / kBlockBytes * kBlockBytes;
  // The decipher works on a local copy of the key, never on the constant itself.
  unsigned int key[4];
  UIConfigKey::words(key);
  const std::size_t start = out.size();
  out.resize(start + whole);
  unsigned char* dst = reinterpret_cast<unsigned char*>(&out[start]);
  std::memcpy(dst, data, whole);
  Tea::simpledecryptBlocks(dst, whole / kBlockBytes, key);
  return n - whole;
}

bool UIConfigResources::loadResource(const std::string& resourcesDir, const std::string& name,
                                     std::string& text, const LogSink& log) {
  text.clear();
  // Named on standard error too, once: without its resources the editor shows an empty window.
  auto report = [&](const std::string& what) {
    if (log) log("CONFIG READER: resource " + name + " " + what);
    UTIL_SayRefusal("CONFIG READER: resource " + name + " " + what);
  };
  const std::string path = resourcePath(resourcesDir, name);
  std::vector<unsigned char> bytes;
  bool complete = true;
  switch (readResource(path, bytes)) {
    case ReadStatus::kOk:
      break;
    case ReadStatus::kMissing:
      report("NOT FOUND in " + resourcesDir + "!");
      return false;
    case ReadStatus::kUnreadable:  // named with its reason by readResource
      if (log) log("CONFIG READER: resource " + name + " cannot be read (" + path + ")!");
      return false;
    case ReadStatus::kEmpty:
      report("is EMPTY!");
      return false;
    case ReadStatus::kTruncated:
      report("is larger than " + std::to_string(kMaxResourceBytes) + " bytes, cut there!");
      complete = false;
      break;
  }
  const std::size_t left = decrypt(reinterpret_cast<const char*>(bytes.data()),
                                   static_cast<int>(bytes.size()), text);
  if (left != 0) {
    report("length " + std::to_string(bytes.size()) +
           " is not a whole number of 8-byte blocks, last " + std::to_string(left) +
           " bytes ignored!");
    complete = false;
  }
  return complete;
}
