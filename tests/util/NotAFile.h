// What may stand at a path a save is given that is not the user's file, as the file-safety tests
// of the librarian and the host make it: each with the words a refused save gives for it.
#pragma once

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

struct NotAFile {
  const char* said;
  std::function<int()> make;  // makes one at the path (0 when made); a link's device goes to node
};

inline std::vector<NotAFile> notAFileKinds(const std::string& path, const std::string& node) {
  return {{"is a character device", [=] { return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 5)); }},
          {"is a named pipe (FIFO)", [=] { return mkfifo(path.c_str(), 0666); }},
          {"is a character device",
           [=] { return mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 5)) + symlink(node.c_str(), path.c_str()); }},
          {"is a socket", [=] { return mknod(path.c_str(), S_IFSOCK | 0666, 0); }},
          {"is a folder", [=] { return mkdir(path.c_str(), 0777); }}};
}

// What stands at path is what stood there before.
inline bool leftAsItWas(const std::string& path, const struct stat& before) {
  struct stat after;
  return stat(path.c_str(), &after) == 0 && after.st_mode == before.st_mode && after.st_rdev == before.st_rdev;
}
