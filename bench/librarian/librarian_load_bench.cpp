// Loads a generated library of 1000 bank files of 100 sounds each in a fresh process, as an editor
// opening a project does, and sets the load time beside a raw read of the same files into
// buffers that are kept (the physical floor of a load that keeps what it read), also in a fresh
// process; the page cache is warm for both. The load's process also times a search over all
// 100000 entries and prints the memory the library holds beside the files' bytes. Medians of 7
// fresh processes of each, interleaved.
//
// Then a project restore that needs the library while it still loads in the background, on a
// musician's desktop: no right to raise a thread's priority (CAP_SYS_NICE dropped, RLIMIT_NICE 0,
// as for an unprivileged user), and one busy thread on the processor the editor runs on. The
// restore's wait is set beside the same load at normal priority under the same conditions.
// Medians of 3 fresh processes of each, interleaved.
//
// Everything happens in a temporary folder, removed at the end.
#include <linux/capability.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
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
constexpr int kRestoreRuns = 3;

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

// No CAP_SYS_NICE and no RLIMIT_NICE headroom, as for a user without privileges. Returns whether
// the system now refuses to lift a thread out of idle priority, as it does for such a user.
bool withoutPriorityRights() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct caps[2] = {};
  if (syscall(SYS_capget, &header, caps) == 0) {
    const uint32_t bit = 1u << (CAP_SYS_NICE % 32);
    for (uint32_t* set : {&caps[CAP_SYS_NICE / 32].effective, &caps[CAP_SYS_NICE / 32].permitted,
                          &caps[CAP_SYS_NICE / 32].inheritable})
      *set &= ~bit;
    syscall(SYS_capset, &header, caps);
  }
  const rlimit none{0, 0};
  setrlimit(RLIMIT_NICE, &none);
  int refused = 0;
  std::thread([&] {
    sched_param p{};
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &p);
    refused = pthread_setschedparam(pthread_self(), SCHED_OTHER, &p) != 0;
  }).join();
  return refused != 0;
}

// The process on one processor (the last it may use), with a thread that keeps it busy at normal
// priority until the object goes: another plug-in, a synth, a build.
class BusyProcessor {
public:
  BusyProcessor() {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    sched_getaffinity(0, sizeof allowed, &allowed);
    int last = 0;
    for (int c = 0; c < CPU_SETSIZE; ++c)
      if (CPU_ISSET(c, &allowed)) last = c;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(last, &one);
    sched_setaffinity(0, sizeof one, &one);
    m_thread = std::thread([this] {
      volatile uint64_t n = 0;
      while (!m_stop.load(std::memory_order_relaxed)) n = n + 1;
    });
  }
  ~BusyProcessor() {
    m_stop = true;
    m_thread.join();
  }

private:
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

size_t soundEntries(PatchLibrarian& lib) {
  UTIL_MutexLock lock(&lib.bankLock());
  size_t entries = 0;
  for (const PatchFile* b : lib.soundBankFiles) entries += b->entries.size();
  return entries;
}

// A project restored right after the editor was made: the library is still loading beside it.
// The process ends without tearing anything down: what the end of a process costs is not this
// figure.
int childRestore(const std::string& root) {
  setLibrarianLogSink(&quiet);
  const bool refused = withoutPriorityRights();
  BusyProcessor busy;
  auto lib = std::make_unique<PatchLibrarian>();
  lib->startLoading(root);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));   // the rest of the editor's build
  const auto t0 = Clock::now();
  lib->waitForLoad();
  const double wait = msSince(t0);
  std::printf("RESULT wait %.3f entries %zu refused %d\n", wait, soundEntries(*lib), refused ? 1 : 0);
  std::fflush(stdout);
  _exit(0);
}

int childNormal(const std::string& root) {
  setLibrarianLogSink(&quiet);
  withoutPriorityRights();
  BusyProcessor busy;
  PatchLibrarian lib;
  const auto t0 = Clock::now();
  lib.loadPatchesFromFilesystem(root);
  const double load = msSince(t0);
  std::printf("RESULT normal %.3f entries %zu\n", load, soundEntries(lib));
  std::fflush(stdout);
  _exit(0);
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
  if (argc == 3 && std::string(argv[1]) == "--restore") return childRestore(argv[2]);
  if (argc == 3 && std::string(argv[1]) == "--normal") return childNormal(argv[2]);
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

  std::vector<double> normal, wait;
  std::map<std::string, double> restored;
  for (int run = 0; run < kRestoreRuns; ++run) {
    normal.push_back(librarybench::runChild(argv[0], "--normal", root)["normal"]);
    restored = librarybench::runChild(argv[0], "--restore", root);
    wait.push_back(restored["wait"]);
  }
  printf("restore during the load: no right to raise priority (lifting refused: %s), one busy thread\n"
         "on the same processor (median of %d)\n",
         restored["refused"] == 1 ? "yes" : "no", kRestoreRuns);
  printf("  load at normal priority : %8.1f ms\n", median(normal));
  printf("  restore's wait          : %8.1f ms (%.2f x)\n", median(wait), median(wait) / median(normal));
  const std::string rm = "rm -rf '" + base + "'";
  const bool whole = last["entries"] == kFiles * kBankSize && restored["entries"] == kFiles * kBankSize;
  return system(rm.c_str()) == 0 && whole ? 0 : 1;
}
