// The editor over large libraries, every figure taken in fresh processes, as a host opens a
// project: 0, 100, 1000, 5000 and 15000 banks of 100 sounds (or the counts given as arguments).
//
//   open to first page   beside the same open over an empty library, in the same run;
//   library in place     when the first request (the librarian's tab) finds the whole library;
//   memory               resident size with the library in place, the librarian page drawn and
//                        the images decoded ahead in place, beside the open with no library plus the bank files' own bytes;
//   library load         the librarian's load alone, beside a raw read of the same files into
//                        buffers that are kept (each in a process of its own);
//   bank change          choosing another bank of the upper list and redrawing what that dirtied
//                        (each area on its own, as the window does), beside the 1 ms it may take
//                        and one full redraw of the window: to a bank never shown (its hundred
//                        names laid out for the first time), back to one shown before, and a step
//                        to the next bank (never shown) after the idle work the window's timer does
//                        while the user pauses (it lays out the names of the banks next to both).
//
// Medians of 9 fresh processes per figure, the sizes interleaved. The libraries are written into
// a temporary folder (every fourth bank a Standard MIDI File) and removed at the end.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "EditorBenchSupport.h"
#include "IParam.h"
#include "LibrarianLog.h"
#include "LibraryBenchSupport.h"
#include "PatchLibrarian.h"

namespace {

using librarybench::Clock;
using librarybench::median;
using librarybench::msSince;
constexpr double kMB = 1024.0 * 1024.0;
constexpr int kRuns = 9;
constexpr int kBankChanges = 40;
const char* const kDataPath = "/Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor/";

// A data folder under home with the settings file and `banks` bank files; returns their bytes.
size_t makeLibrary(const std::string& home, int banks) {
  const std::string data = home + kDataPath;
  const size_t bytes = librarybench::writeLibrary(data + "Patches", banks);
  std::ofstream(data + "Sorvanta Editor UI.txt") << "yellow\nnormal\nyes\n\n\n";
  return bytes;
}

// ---------------------------------------------------------------- the children

void pointAt(const std::string& home) {
  setenv("XDG_DATA_HOME", home.c_str(), 1);
  Sorvanta::graphicsFactoryOverride = editorbench::makeBundleGraphics;
  Sorvanta::resourcesFolderOverride = SORVANTA_BUNDLE_RESOURCES;
  Sorvanta::portNamesOverride = [](bool) { return std::vector<std::string>{"Select MIDI Device"}; };
}

// As the window does: every dirty area drawn on its own.
void redrawDirty(IGraphics* g) {
  IRECTList areas;
  if (g->IsDirty(&areas)) g->Draw(&areas);
}

int childOpen(const std::string& home) {
  pointAt(home);
  const auto t0 = Clock::now();
  auto* plug = new Sorvanta(editorbench::instanceInfo());
  IGraphics* g = plug->GetGUI();
  editorbench::drawWholeWindow(g);
  const double firstPage = msSince(t0);
  // The first request: the librarian's tab, drawn.
  plug->GetParam(kMainTab)->Set(1);
  plug->OnParamChange(kMainTab);
  editorbench::drawWholeWindow(g);
  const double inPlace = msSince(t0);
  // With every image the open decodes ahead in place, as after 0 banks: the empty library's
  // open would otherwise be read while its images are still being decoded.
  editorbench::waitForWorkAhead();
  const long long rss = editorbench::statusBytes("VmRSS:");
  IParam* upper = plug->GetParam(kPatchSelectionListUpper);
  const int banks = upper->GetNDisplayTexts();
  std::vector<double> changes, handler;
  for (int k = 1; banks > 1 && k <= kBankChanges; ++k) {
    const auto t = Clock::now();
    upper->Set((k * 7) % banks);
    plug->OnParamChange(kPatchSelectionListUpper);
    handler.push_back(msSince(t));
    redrawDirty(g);
    changes.push_back(msSince(t));
  }
  // Back and forth between two banks shown above: every name has been laid out before.
  std::vector<double> seen;
  for (int k = 0; banks > 14 && k < kBankChanges; ++k) {
    const auto t = Clock::now();
    upper->Set(k % 2 ? 7 : 14);
    plug->OnParamChange(kPatchSelectionListUpper);
    redrawDirty(g);
    seen.push_back(msSince(t));
  }
  // Step by step through the upper list, each step after the idle time a user's pause gives the
  // window (its timer runs the idle work until none is left): to the next bank, never shown.
  std::vector<double> next;
  if (banks > 600) {
    upper->Set(499);
    plug->OnParamChange(kPatchSelectionListUpper);
    redrawDirty(g);
  }
  for (int k = 0; banks > 600 && k < kBankChanges; ++k) {
    while (g->RunIdleWork()) {
    }
    const auto t = Clock::now();
    upper->Set(500 + k);
    plug->OnParamChange(kPatchSelectionListUpper);
    redrawDirty(g);
    next.push_back(msSince(t));
  }
  std::vector<double> full;
  for (int k = 0; k < 5; ++k) {
    const auto t = Clock::now();
    editorbench::drawWholeWindow(g);
    full.push_back(msSince(t));
  }
  std::printf("RESULT open %.3f inplace %.3f rss %lld change %.4f handler %.4f seen %.4f next %.4f full %.3f\n", firstPage,
              inPlace, rss, median(changes), median(handler), median(seen), median(next), median(full));
  delete plug;
  return 0;
}

void quiet(const std::string&) {}

int childLoad(const std::string& home) {
  setLibrarianLogSink(&quiet);   // as in an editor whose debug log is off
  const auto t0 = Clock::now();
  auto lib = std::make_unique<PatchLibrarian>();
  lib->loadPatchesFromFilesystem(home + kDataPath + "Patches");
  const double ms = msSince(t0);
  size_t banks = lib->soundBankFiles.size();
  std::printf("RESULT load %.3f banks %zu\n", ms, banks);
  return 0;
}

int childRead(const std::string& home) {
  const auto t0 = Clock::now();
  const size_t bytes = librarybench::readAndKeep(home + kDataPath + "Patches");
  const double ms = msSince(t0);
  std::printf("RESULT read %.3f bytes %zu\n", ms, bytes);
  return 0;
}

// ---------------------------------------------------------------- the parent

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3) {
    const std::string mode = argv[1];
    if (mode == "--open") return childOpen(argv[2]);
    if (mode == "--load") return childLoad(argv[2]);
    if (mode == "--read") return childRead(argv[2]);
  }
  // A library left in place for a profiler: --make <home> <banks>, then --open <home>.
  if (argc == 4 && std::string(argv[1]) == "--make") return makeLibrary(argv[2], std::atoi(argv[3])) > 0 ? 0 : 1;
  std::vector<int> sizes = {0, 100, 1000, 5000, 15000};
  if (argc > 1) {
    sizes = {0};
    for (int i = 1; i < argc; ++i)
      if (std::atoi(argv[i]) > 0) sizes.push_back(std::atoi(argv[i]));
  }
  char tmpl[] = "/tmp/sorvanta-library-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string base = tmpl;
  std::map<int, size_t> fileBytes;
  for (int n : sizes) fileBytes[n] = makeLibrary(base + "/" + std::to_string(n), n);

  std::map<int, std::vector<double>> open, inPlace, rss, change, handler, seen, next, full, load, raw;
  for (int run = 0; run < kRuns; ++run) {
    for (int n : sizes) {
      const std::string home = base + "/" + std::to_string(n);
      auto o = librarybench::runChild(argv[0], "--open", home);
      open[n].push_back(o["open"]);
      inPlace[n].push_back(o["inplace"]);
      rss[n].push_back(o["rss"]);
      if (o.count("change") && o["change"] >= 0) change[n].push_back(o["change"]);
      if (o.count("handler") && o["handler"] >= 0) handler[n].push_back(o["handler"]);
      if (o.count("seen") && o["seen"] >= 0) seen[n].push_back(o["seen"]);
      if (o.count("next") && o["next"] >= 0) next[n].push_back(o["next"]);
      full[n].push_back(o["full"]);
      if (n == 0) continue;
      raw[n].push_back(librarybench::runChild(argv[0], "--read", home)["read"]);
      load[n].push_back(librarybench::runChild(argv[0], "--load", home)["load"]);
    }
  }
  const double open0 = median(open[0]), rss0 = median(rss[0]);
  std::printf("editor over large libraries: medians of %d fresh processes, %ld cores\n", kRuns,
              sysconf(_SC_NPROCESSORS_ONLN));
  std::printf("%7s %9s | %10s %7s | %10s | %9s %9s | %9s %9s %6s | %9s %9s %9s %9s %9s\n", "banks", "files MB",
              "1st page", "vs 0", "in place", "memory", "limit", "load", "raw read", "ratio", "change", "next", "shown",
              "handler", "redraw");
  for (int n : sizes) {
    const double files = fileBytes[n] / kMB;
    std::printf("%7d %9.1f | %8.1fms %6.2fx | %8.1fms | %7.1fMB %7.1fMB |", n, files, median(open[n]),
                median(open[n]) / open0, median(inPlace[n]), median(rss[n]) / kMB, (rss0 + fileBytes[n]) / kMB);
    if (n == 0) {
      std::printf(" %9s %9s %6s |", "-", "-", "-");
    } else {
      std::printf(" %7.1fms %7.1fms %5.2fx |", median(load[n]), median(raw[n]), median(load[n]) / median(raw[n]));
    }
    if (change[n].empty())
      std::printf(" %9s %9s %9s %9s", "-", "-", "-", "-");
    else if (next[n].empty())  // too few banks for the steps
      std::printf(" %7.3fms %9s %7.3fms %7.3fms", median(change[n]), "-", median(seen[n]), median(handler[n]));
    else
      std::printf(" %7.3fms %7.3fms %7.3fms %7.3fms", median(change[n]), median(next[n]), median(seen[n]),
                  median(handler[n]));
    std::printf(" %7.1fms\n", median(full[n]));
  }
  std::printf("limits: 1st page within 1.10x of 0 banks; memory under the limit (0-bank open + the files);\n"
              "        load within 1.5x of the raw read; a bank change under 1 ms (change: to a bank never shown;\n"
              "        next: a step to the next bank, never shown, after the window's idle work; shown: to one shown\n"
              "        before; handler: the change without its redraw; redraw: the whole window)\n");
  const std::string rm = "rm -rf '" + base + "'";
  return system(rm.c_str()) == 0 ? 0 : 1;
}
