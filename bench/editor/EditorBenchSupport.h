// The editor as a musician opens it, for the benchmarks: the real plug-in class on the built
// bundle's resources (the authored interface description, SysEx lists and PNG images), drawn
// into its canvas without a window, over an empty data folder of its own.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "IGraphicsGtk.h"
#include "Sorvanta.h"

namespace editorbench {

inline double secondsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Waits (at most 5 s) until the helper threads' work ahead (images decoded for pages not yet
// shown, fonts) is done: memory read before then depends on how far they got.
inline void waitForWorkAhead() {
  for (int i = 0; i < 500 && IGraphics::WorkAhead(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
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

// Runs this program again in a fresh process with the arguments, on the given cores (null: all
// this one may use), and returns what it printed; its errors go to /dev/null.
inline std::string runFresh(const char* self, const std::vector<std::string>& args, const cpu_set_t* cores = nullptr) {
  int out[2];
  if (pipe(out) != 0) return "";
  const pid_t pid = fork();
  if (pid < 0) return "";
  if (pid == 0) {
    if (cores) sched_setaffinity(0, sizeof *cores, cores);
    dup2(out[1], 1);
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, 2);
    std::vector<char*> argv{const_cast<char*>(self)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(self, argv.data());
    _exit(127);
  }
  close(out[1]);
  std::string text;
  char buf[4096];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return text;
}

// The number after `label` in text, or -1.
inline double numberAfter(const std::string& text, const std::string& label) {
  const size_t at = text.find(label);
  return at == std::string::npos ? -1.0 : std::atof(text.c_str() + at + label.size());
}

inline double median(std::vector<double> v) {
  if (v.empty()) return -1.0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Cores and load, for the figures' heading.
inline std::string machine() {
  double load[3] = {-1, -1, -1};
  if (getloadavg(load, 3) < 0) load[0] = -1;
  char buf[96];
  std::snprintf(buf, sizeof buf, "%ld cores, load %.1f", sysconf(_SC_NPROCESSORS_ONLN), load[0]);
  return buf;
}

// The whole window drawn once, as the view's first paint does.
inline void drawWholeWindow(IGraphics* g) {
  IRECT all(0, 0, g->Width(), g->Height());
  g->SetAllControlsDirty();
  g->Draw(&all);
}

}  // namespace editorbench
