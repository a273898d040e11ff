// Loads a generated library of 1000 bank files of 100 sounds each and sets the load time beside
// the time it takes merely to read the same files from disk (the physical floor: the page cache
// is warm for both), then times a search over all 100000 entries. Each timed load goes into a
// fresh librarian; the previous one is freed outside the timing. The peak memory of one load
// (growth of the resident set's high-water mark) is printed beside the bytes of the files.
//
// Everything happens in a temporary data folder (XDG_DATA_HOME is pointed there), removed at
// the end.
#include <Poco/File.h>

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
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
constexpr int kRuns = 7;   // best of: other work on a shared machine only ever adds time

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

void quiet(const std::string&) {}

// A field of /proc/self/status in kB ("VmRSS", "VmHWM"), or -1.
long statusKb(const std::string& field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.compare(0, field.size() + 1, field + ":") == 0) return atol(line.c_str() + field.size() + 1);
  return -1;
}

// Restarts the high-water mark of the resident set at its current size (Linux 4.0 and later).
bool resetPeakRss() {
  std::ofstream out("/proc/self/clear_refs");
  out << "5";
  out.flush();
  return static_cast<bool>(out);
}

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
  std::unique_ptr<PatchLibrarian> loaded;
  for (int run = 0; run < kRuns; ++run) {
    auto t0 = Clock::now();
    size_t readBytes = 0;
    for (const std::string& p : paths) {
      FileBuffer b;
      size_t got = 0;
      readFileBuffer(p, b, got);
      readBytes += got;
    }
    bestRead = std::min(bestRead, msSince(t0));
    if (readBytes != totalBytes) fprintf(stderr, "read %zu of %zu bytes\n", readBytes, totalBytes);

    loaded.reset();   // freeing the previous library is not part of a load
    auto lib = std::make_unique<PatchLibrarian>();
    t0 = Clock::now();
    lib->loadPatchesFromFilesystem(root);
    bestLoad = std::min(bestLoad, msSince(t0));
    loaded = std::move(lib);
  }
  PatchLibrarian& lib = *loaded;
  entries = 0;
  for (const PatchFile* b : lib.soundBankFiles) entries += b->entries.size();

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

  // Peak memory of one load, from an emptied heap.
  loaded.reset();
  malloc_trim(0);
  const long baseKb = statusKb("VmRSS");
  if (resetPeakRss() && baseKb > 0) {
    auto again = std::make_unique<PatchLibrarian>();
    again->loadPatchesFromFilesystem(root);
    const long peakKb = statusKb("VmHWM");
    const long heldKb = statusKb("VmRSS");
    printf("  memory          : %8.1f MB peak during the load, %.1f MB held after it, for %.1f MB of files\n",
           (peakKb - baseKb) * 1024 / 1e6, (heldKb - baseKb) * 1024 / 1e6, totalBytes / 1e6);
  }

  Poco::File(base).remove(true);
  return entries == static_cast<size_t>(kFiles) * kBankSize ? 0 : 1;
}
