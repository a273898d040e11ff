// Loads a generated library of 1000 bank files of 100 sounds each in a fresh process, as an editor
// opening a project does, and sets the load time beside a raw read of the same files into
// buffers that are kept (the physical floor of a load that keeps what it read), also in a fresh
// process; the page cache is warm for both. The load's process also times a search over all
// 100000 entries and prints the memory the library holds beside the files' bytes. Medians of 7
// fresh processes of each, interleaved.
//
// Everything happens in a temporary folder, removed at the end.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "LibrarianLog.h"
#include "LibraryBenchSupport.h"
#include "PatchLibrarian.h"

namespace {

using librarybench::Clock;
using librarybench::median;
using librarybench::msSince;

constexpr int kFiles = 1000;
constexpr int kRuns = 7;

void quiet(const std::string&) {}

long statusKb(const std::string& field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.compare(0, field.size() + 1, field + ":") == 0) return atol(line.c_str() + field.size() + 1);
  return -1;
}

int childLoad(const std::string& root) {
  setLibrarianLogSink(&quiet);   // as in an editor whose debug log is off
  const long before = statusKb("VmRSS");
  const auto t0 = Clock::now();
  auto lib = std::make_unique<PatchLibrarian>();
  lib->loadPatchesFromFilesystem(root);
  const double load = msSince(t0);
  const long held = statusKb("VmRSS") - before;
  size_t entries = 0;
  for (const PatchFile* b : lib->soundBankFiles) entries += b->entries.size();
  const auto t1 = Clock::now();
  lib->createNewSearchPatchFiles("-42");
  const double search = msSince(t1);
  size_t hits = 0;
  for (const PatchFile* b : lib->searchBankFiles) hits += b->entries.size();
  std::printf("RESULT load %.3f search %.3f entries %zu hits %zu categories %zu heldkb %ld\n", load, search, entries,
              hits, lib->categoryBankFiles.size(), held);
  return 0;
}

int childRead(const std::string& root) {
  const auto t0 = Clock::now();
  const size_t bytes = librarybench::readAndKeep(root);
  std::printf("RESULT read %.3f bytes %zu\n", msSince(t0), bytes);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--load") return childLoad(argv[2]);
  if (argc == 3 && std::string(argv[1]) == "--read") return childRead(argv[2]);
  char tmpl[] = "/tmp/librarian-bench-XXXXXX";
  if (!mkdtemp(tmpl)) {
    perror("mkdtemp");
    return 1;
  }
  const std::string base = tmpl;
  const std::string root = base + "/Patches";
  const size_t totalBytes = librarybench::writeLibrary(root, kFiles);

  std::vector<double> read, load, search, held;
  std::map<std::string, double> last;
  for (int run = 0; run < kRuns; ++run) {
    read.push_back(librarybench::runChild(argv[0], "--read", root)["read"]);
    last = librarybench::runChild(argv[0], "--load", root);
    load.push_back(last["load"]);
    search.push_back(last["search"]);
    held.push_back(last["heldkb"]);
  }
  printf("librarian load: %d files, %.0f entries, %.1f MB, fresh processes (median of %d)\n", kFiles, last["entries"],
         totalBytes / 1e6, kRuns);
  printf("  raw read, kept  : %8.1f ms\n", median(read));
  printf("  full load       : %8.1f ms (parse, complete, index, %.0f category banks)\n", median(load),
         last["categories"]);
  printf("  load / read     : %8.2f x\n", median(load) / median(read));
  printf("  search '-42'    : %8.1f ms over %.0f entries, %.0f hits\n", median(search), last["entries"], last["hits"]);
  printf("  memory held     : %8.1f MB for %.1f MB of files\n", median(held) * 1024 / 1e6, totalBytes / 1e6);
  const std::string rm = "rm -rf '" + base + "'";
  return system(rm.c_str()) == 0 && last["entries"] == kFiles * kBankSize ? 0 : 1;
}
