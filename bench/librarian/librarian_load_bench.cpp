// Loads a generated library of 1000 bank files of 100 sounds each and sets the load time beside
// the time it takes merely to read the same files from disk (the physical floor: the page cache
// is warm for both), then times a search over all 100000 entries.
//
// Everything happens in a temporary data folder (XDG_DATA_HOME is pointed there), removed at
// the end.
#include <Poco/File.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BankFileIO.h"
#include "BankFormats.h"
#include "DataFolder.h"
#include "LibrarianLog.h"
#include "PatchLibrarian.h"

namespace {

constexpr int kFiles = 1000;
constexpr int kFolders = 20;
constexpr int kRuns = 3;

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

void quiet(const std::string&) {}

PatchSysexMessage sound(int file, int slot) {
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
  snprintf(name, sizeof name, "Sound %04d-%02d   ", file, slot);
  for (int i = 0; i < kNameLength; ++i) m.bytes[kSoundNamePos + i] = static_cast<uint8_t>(name[i]);
  static const char* const cats[] = {"Bass", "Lead", "Pad ", "Keys", "Arp ", "FX  ", "Perc", "Seq "};
  for (int i = 0; i < kCategoryLength; ++i) m.bytes[kSoundCategoryPos + i] = static_cast<uint8_t>(cats[(file + slot) % 8][i]);
  m.bytes[kSoundDumpSize - 1] = 0xF7;
  m.bytes[kSoundDumpSize - 2] = dumpChecksum(m.bytes);
  return m;
}

}  // namespace

int main() {
  char tmpl[] = "/tmp/librarian-bench-XXXXXX";
  if (!mkdtemp(tmpl)) {
    perror("mkdtemp");
    return 1;
  }
  const std::string base = tmpl;
  setenv("XDG_DATA_HOME", base.c_str(), 1);
  setLibrarianLogSink(&quiet);
  const std::string root = patchesFolderPath();

  // Generate: 20 folders of 50 files, every fourth file a Standard MIDI File.
  std::vector<std::string> paths;
  BankFileWriter writer;
  size_t totalBytes = 0;
  for (int f = 0; f < kFiles; ++f) {
    const std::string folder = root + "/Folder " + std::to_string(f % kFolders);
    Poco::File(folder).createDirectories();
    PatchFile bank;
    for (int s = 0; s < kBankSize; ++s) {
      LibrarianPatch e;
      e.messages.push_back(sound(f, s));
      bank.entries.push_back(e);
    }
    const bool midi = f % 4 == 0;
    const std::vector<uint8_t> bytes = writeBank(bank, midi);
    const std::string path = folder + "/Bank " + std::to_string(f) + (midi ? ".mid" : ".syx");
    if (writer.writeFile(path, bytes, true) != WriteResult::ok) {
      fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    paths.push_back(path);
    totalBytes += bytes.size();
  }

  double bestRead = 1e30, bestLoad = 1e30;
  size_t entries = 0;
  PatchLibrarian lib;
  for (int run = 0; run < kRuns; ++run) {
    auto t0 = Clock::now();
    size_t readBytes = 0;
    for (const std::string& p : paths) {
      std::vector<uint8_t> b;
      readFileBytes(p, b);
      readBytes += b.size();
    }
    bestRead = std::min(bestRead, msSince(t0));
    if (readBytes != totalBytes) fprintf(stderr, "read %zu of %zu bytes\n", readBytes, totalBytes);

    t0 = Clock::now();
    lib.initBankFilesOnDiscard(root);
    bestLoad = std::min(bestLoad, msSince(t0));
    entries = 0;
    for (const PatchFile* b : lib.soundBankFiles) entries += b->entries.size();
  }

  auto t0 = Clock::now();
  lib.createNewSearchPatchFiles("-42");
  const double searchMs = msSince(t0);
  size_t hits = 0;
  for (const PatchFile* b : lib.searchBankFiles) hits += b->entries.size();

  printf("librarian load: %d files, %zu entries, %.1f MB\n", kFiles, entries, totalBytes / 1e6);
  printf("  read bytes only : %8.1f ms (best of %d)\n", bestRead, kRuns);
  printf("  full load       : %8.1f ms (best of %d; parse, complete, index, %zu category banks)\n", bestLoad,
         kRuns, lib.categoryBankFiles.size());
  printf("  load / read     : %8.2f x\n", bestLoad / bestRead);
  printf("  search '-42'    : %8.1f ms over %zu entries, %zu hits in %zu banks\n", searchMs, entries, hits,
         lib.searchBankFiles.size());

  Poco::File(base).remove(true);
  return entries == static_cast<size_t>(kFiles) * kBankSize ? 0 : 1;
}
