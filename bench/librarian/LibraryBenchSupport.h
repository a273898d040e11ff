// Generated libraries and fresh processes for the library benchmarks: a user opens a project in a
// new process, with a cold heap, so every figure is taken in a child process of its own.
#pragma once

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "BankFormats.h"
#include "PatchFile.h"

namespace librarybench {

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

inline double median(std::vector<double> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A whole sound dump named "Snd <file>-<slot>", its data drawn from the two numbers.
inline PatchSysexMessage sound(int file, int slot) {
  PatchSysexMessage m;
  m.bytes.assign(kSoundDumpSize, 0);
  m.bytes[0] = 0xF0; m.bytes[1] = 0x3E; m.bytes[2] = 0x10; m.bytes[4] = 0x10;
  m.bytes[5] = static_cast<uint8_t>(slot);
  uint32_t x = 1u + static_cast<uint32_t>(file * 131 + slot);
  for (int i = 6; i < kSoundNamePos; ++i) {
    x = x * 1664525u + 1013904223u;
    m.bytes[i] = (x >> 24) & 0x7F;
  }
  char name[32];
  snprintf(name, sizeof name, "Snd %05d-%02d    ", file, slot);
  for (int i = 0; i < kNameLength; ++i) m.bytes[kSoundNamePos + i] = static_cast<uint8_t>(name[i]);
  static const char* const cats[] = {"Bass", "Lead", "Pad ", "Keys", "Arp ", "FX  ", "Perc", "Seq "};
  for (int i = 0; i < kCategoryLength; ++i) m.bytes[kSoundCategoryPos + i] = static_cast<uint8_t>(cats[(file + slot) % 8][i]);
  m.bytes[kSoundDumpSize - 1] = 0xF7;
  m.bytes[kSoundDumpSize - 2] = dumpChecksum(m.bytes);
  return m;
}

// `banks` bank files of 100 sounds in 20 folders below patches (every fourth a Standard MIDI
// File); returns the bytes written.
inline size_t writeLibrary(const std::string& patches, int banks) {
  const std::string mk = "mkdir -p '" + patches + "'";
  if (system(mk.c_str()) != 0) return 0;
  size_t total = 0;
  for (int f = 0; f < banks; ++f) {
    const std::string folder = patches + "/Folder " + std::to_string(f % 20);
    mkdir(folder.c_str(), 0755);
    PatchFile bank;
    for (int s = 0; s < kBankSize; ++s) {
      LibrarianPatch e;
      e.messages.push_back(sound(f, s));
      bank.entries.push_back(e);
    }
    const bool midi = f % 4 == 0;
    const std::vector<uint8_t> bytes = writeBank(bank, midi);
    std::ofstream out(folder + "/Bank " + std::to_string(f) + (midi ? ".mid" : ".syx"), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    total += bytes.size();
  }
  return total;
}

// The reference for a load: every bank-sized file below patches read into a buffer of its own
// that is kept, as a load keeps what it read. Returns the bytes read.
inline size_t readAndKeep(const std::string& patches) {
  static std::vector<uint8_t*> kept;
  static size_t keptBytes = 0;
  nftw(patches.c_str(), [](const char* path, const struct stat* st, int type, struct FTW*) {
    if (type != FTW_F || st->st_size < 30001) return 0;
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    struct stat own;
    if (fstat(fd, &own) == 0) {
      auto* buf = new uint8_t[static_cast<size_t>(own.st_size)];
      size_t got = 0;
      for (ssize_t n; got < static_cast<size_t>(own.st_size) &&
                      (n = read(fd, buf + got, static_cast<size_t>(own.st_size) - got)) > 0;)
        got += static_cast<size_t>(n);
      kept.push_back(buf);
      keptBytes += got;
    }
    close(fd);
    return 0;
  }, 32, FTW_PHYS);
  return keptBytes;
}

// Runs `self mode arg` in a fresh process and returns the figures of its last line
// "RESULT name value name value ...".
inline std::map<std::string, double> runChild(const char* self, const char* mode, const std::string& arg) {
  int out[2];
  std::map<std::string, double> fields;
  if (pipe(out) != 0) return fields;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, 2);
    execl(self, self, mode, arg.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string text;
  char buf[65536];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  const size_t at = text.rfind("RESULT ");
  if (at == std::string::npos) return fields;
  char key[32];
  double value;
  const char* p = text.c_str() + at + 7;
  int used = 0;
  while (std::sscanf(p, "%31s %lf%n", key, &value, &used) == 2) {
    fields[key] = value;
    p += used;
  }
  return fields;
}

}  // namespace librarybench
