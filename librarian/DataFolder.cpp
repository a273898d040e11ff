#include "DataFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace {

std::string userDataRoot() {
  const char* xdg = getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  std::string home;
  const char* h = getenv("HOME");
  if (h && h[0]) {
    home = h;
  } else {
    // No HOME (started by a daemon, say): fall back to the password database.
    struct passwd* pw = getpwuid(getuid());
    if (pw && pw->pw_dir) home = pw->pw_dir;
  }
  return home + "/.local/share";
}

}  // namespace

std::string dataFolderPath() {
  std::string root = userDataRoot();
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root + "/Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor/";
}

std::string patchesFolderPath() { return dataFolderPath() + "Patches"; }

std::string convertedBanksFolderPath() { return dataFolderPath() + "Converted Banks"; }
