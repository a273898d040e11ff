// The editor as a musician opens it, for the benchmarks: the real plug-in class on the built
// bundle's resources (the authored interface description, SysEx lists and PNG images), drawn
// into its canvas without a window, over an empty data folder of its own.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "IGraphicsGtk.h"
#include "Sorvanta.h"

namespace editorbench {

inline double secondsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Resident and peak resident size of this process, in bytes, from /proc.
inline long long statusBytes(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.compare(0, std::strlen(key), key) == 0) return std::atoll(line.c_str() + std::strlen(key) + 1) * 1024;
  return -1;
}

// The GTK binding without a window: images and files come from the bundle's resources folder.
inline IGraphics* makeBundleGraphics(Sorvanta* plug, int w, int h) {
  auto* g = new IGraphicsGtk(plug, w, h, 0);
  g->SetResourcesPath(SORVANTA_BUNDLE_RESOURCES);
  return g;
}

// A temporary data folder (XDG_DATA_HOME) holding the settings file at its defaults, and the
// plug-in class pointed at the bundle; removed again at the end.
class Environment {
public:
  Environment() {
    char tmpl[] = "/tmp/sorvanta-bench-XXXXXX";
    root = mkdtemp(tmpl);
    setenv("XDG_DATA_HOME", root.c_str(), 1);
    const std::string data = root + "/Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor/";
    const std::string mk = "mkdir -p '" + data + "Patches'";
    if (system(mk.c_str()) != 0) std::fprintf(stderr, "cannot make %s\n", data.c_str());
    std::ofstream(data + "Sorvanta Editor UI.txt") << "yellow\nnormal\nyes\n\n\n";
    Sorvanta::graphicsFactoryOverride = makeBundleGraphics;
    Sorvanta::resourcesFolderOverride = SORVANTA_BUNDLE_RESOURCES;
    Sorvanta::portNamesOverride = [](bool) { return std::vector<std::string>{"Select MIDI Device"}; };
  }
  ~Environment() {
    Sorvanta::graphicsFactoryOverride = nullptr;
    Sorvanta::portNamesOverride = nullptr;
    Sorvanta::resourcesFolderOverride.clear();
    const std::string rm = "rm -rf '" + root + "'";
    if (system(rm.c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", root.c_str());
  }
  std::string root;
};

inline IPluginInstanceInfo instanceInfo() {
  IPluginInstanceInfo info;
  info.mBundleID = "com.harrowgatesoundlabs.audiounit.SorvantaEditor.x64";
  return info;
}

// The whole window drawn once, as the view's first paint does.
inline void drawWholeWindow(IGraphics* g) {
  IRECT all(0, 0, g->Width(), g->Height());
  g->SetAllControlsDirty();
  g->Draw(&all);
}

}  // namespace editorbench
