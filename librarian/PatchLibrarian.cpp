#include "PatchLibrarian.h"

#include <malloc.h>

#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/Path.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <shared_mutex>

#include "BankFormats.h"
#include "DataFolder.h"
#include "LibrarianLog.h"
#include "UTIL_File.h"
#include "UTIL_Module.h"

namespace {

// Smaller files are never read: a full bank is 39200 bytes even raw, and the gate keeps stray
// single dumps and other small files out of the library.
constexpr int64_t kMinBankFileBytes = 30001;

std::string lowerCase(std::string_view text) {
  std::string s(text);
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

// Paths are split at "/" only: on this system "\\" is an ordinary character of a name (archives
// made on Windows carry names like "Pads\\Warm.syx"), and reading it as a separator would give a
// bank the name, folder or place of another file.
std::string baseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string folderPart(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return std::string();
  return path.substr(0, slash);
}

std::string withoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// A save path must end in an extension that the loader reads back in the same format.
std::string withBankExtension(const std::string& path, bool asMidi) {
  const std::string ext = lowerExtension(baseName(path));
  if (asMidi) return ext == "mid" ? path : path + ".mid";
  return (ext == "syx" || ext == "zpk") ? path : path + ".zpk";
}

// Completion entries carry their slot in byte 5 like every entry read from a file, so a saved
// and re-read bank comes back byte for byte.
LibrarianPatch completionEntry(PatchSysexMessage m, int slot, int kind) {
  m.bytes[kSlotPos] = static_cast<uint8_t>(slot & 0x7F);
  m.bytes[m.bytes.size() - 2] = dumpChecksum(m.bytes);
  return makeEntryFromMessage(std::move(m), kind);
}

void deleteBanks(std::vector<PatchFile*>& list) {
  for (PatchFile* f : list) delete f;
  list.clear();
}

// How often another thread has taken the processor from the calling one (involuntary switches).
long involuntarySwitches() {
#ifdef RUSAGE_THREAD
  rusage use{};
  if (getrusage(RUSAGE_THREAD, &use) == 0) return use.ru_nivcsw;
#endif
  return 0;
}

// How long the load thread steps aside each time another thread took the processor from it.
constexpr std::chrono::milliseconds kStepAside{20};

constexpr int kNameVariants = 100;   // "Name.syx", "Name (2).syx", ... "Name (99).syx"

// The hidden names a split stages a part under, "." + part + ".split-<process id>-<n>", and the
// writer's temporary file for one, "." + that name + ".tmp-XXXXXX". The process id in such a
// name, or 0 for any other name.
pid_t stagingProcess(const std::string& name) {
  const size_t at = name.rfind(".split-");
  if (at == std::string::npos || at < 2 || name[0] != '.') return 0;
  std::string part = name.substr(1, at - 1), tail = name.substr(at + 7);
  const size_t tmp = tail.find(".tmp-");
  if (tmp != std::string::npos) {
    if (tail.size() != tmp + 11 || part.size() < 2 || part[0] != '.') return 0;
    part.erase(0, 1);
    tail.resize(tmp);
  }
  auto number = [](const std::string& t) {
    return !t.empty() && t.size() <= 10 && std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  const size_t dash = tail.find('-');
  if (dash == std::string::npos || !number(tail.substr(0, dash)) || !number(tail.substr(dash + 1)) ||
      !isBankExtension(lowerExtension(part)))
    return 0;
  const long long pid = std::stoll(tail.substr(0, dash));
  return pid > 0 && pid <= INT32_MAX ? static_cast<pid_t>(pid) : 0;
}

// The folders this process stages parts in. A load thread is never waited for, so the process
// may end normally in the middle of a split: its staged files are then removed at exit. Parts are
// staged under the shared lock, side by side; the end takes it whole, so it waits for the parts
// being written, unless it comes from within one (the same thread, which would wait for itself).
struct Staging {
  std::shared_mutex lock;
  std::atomic<bool> ended{false};
  std::mutex foldersLock;
  std::set<std::string> folders;   // guarded by foldersLock
  bool removedAtExit = false;      // guarded by foldersLock
};

Staging& staging() {
  static Staging& s = *new Staging;   // used by load threads while the process ends
  return s;
}

thread_local bool t_staging = false;

void removeStagedFilesAtExit() {
  Staging& s = staging();
  std::unique_lock<std::shared_mutex> whole(s.lock, std::defer_lock);
  if (!t_staging) whole.lock();
  s.ended = true;
  std::lock_guard<std::mutex> hold(s.foldersLock);
  for (const std::string& folder : s.folders) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) continue;
    while (const dirent* d = readdir(dir))
      if (stagingProcess(d->d_name) == getpid()) unlinkat(dirfd(dir), d->d_name, 0);
    closedir(dir);
  }
}

}  // namespace

PatchLibrarian::PatchLibrarian(LibrarianHost* host) : m_host(host) {}

PatchLibrarian::~PatchLibrarian() {
  cancelLoad();
  // Never joined: the load thread may be in the middle of a split, or stepping aside on a busy
  // processor, and the editor's close would wait as long. It touches nothing of this librarian,
  // only what it shares with it (LoadShare), which it keeps alive itself; it frees what it read
  // once it sees the cancel.
  if (m_loadThread.joinable()) m_loadThread.detach();
  clearAll();
}

namespace {
std::atomic<int> g_loadThreadsRunning{0};
}  // namespace

int PatchLibrarian::loadThreadsRunning() { return g_loadThreadsRunning.load(); }

void PatchLibrarian::endStaging() { removeStagedFilesAtExit(); }

// One background load and the waiters that join it. The walk is made once, by whoever comes
// first; the files are then handed out one at a time from `next`, so the load thread and each
// waiter read different files side by side. A waiter never waits for a file the load thread has
// taken: once none is left to hand out it reads again any that is not in yet (on a busy processor
// the load thread, stepping aside, may hold one for long). Then one of them takes everything read
// and finishes the load (splits, lists, indexes); a waiter that finds the load thread finishing
// does not wait for it either, but reads the whole library once more.
// The load thread and the librarian that started it each hold the share; the thread touches
// nothing else of that librarian, which may be closed while the thread still reads. The library
// the thread reads is left in `arrived` for its owner to put in place (takeArrivedLoad).
struct PatchLibrarian::LoadShare {
  enum class Finisher { none, loadThread, waiter };
  LoadShare(std::string r, BankFileWriter* w) : root(std::move(r)), writer(w ? w : &ownWriter) {}
  const std::string root;
  BankFileWriter ownWriter;
  BankFileWriter* const writer;   // a writer set on the owner must outlive the load
  std::atomic<size_t> next{0};
  // The load's result is no longer wanted: its owner cancelled it, or a waiter put the library
  // in place. Every reader stops at its next file.
  std::atomic<bool> over{false};
  std::atomic<bool> hasArrived{false};   // set once `arrived` is, after the mutex is released
  std::mutex mutex;
  // Guarded by mutex. walk is made once; read[i] is null until file i of walk is read, and
  // stays set until the finishing loader takes them all.
  std::shared_ptr<const LibraryWalk> walk;
  bool rootFound = false;
  std::vector<std::unique_ptr<ReadBank>> read;
  Finisher finisher = Finisher::none;
  std::unique_ptr<PatchLibrarian> arrived;

  // What the load thread left, taken out under the mutex (a library is freed outside it).
  std::unique_ptr<PatchLibrarian> takeArrived() {
    std::lock_guard<std::mutex> lock(mutex);
    return std::move(arrived);
  }
};

// The folder of the file read last, kept open: files are opened relative to it, so a library of
// thousands of files costs no walk of the whole path per file.
class PatchLibrarian::OpenFolders {
public:
  OpenFolders() = default;
  ~OpenFolders() { closeFolder(); }
  OpenFolders(const OpenFolders&) = delete;
  OpenFolders& operator=(const OpenFolders&) = delete;
  int fd(const std::string& folder) {
    if (folder != m_path) {
      closeFolder();
      m_fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      m_path = folder;
    }
    return m_fd;
  }

private:
  void closeFolder() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
  }
  std::string m_path;
  int m_fd = -1;
};

void PatchLibrarian::cancelLoad() {
  if (!m_share) return;
  m_share->over = true;
  {
    std::lock_guard<std::mutex> lock(m_loadMutex);
    m_loadPending.store(false, std::memory_order_release);
  }
  m_loadDone.notify_all();
  m_share->takeArrived();
}

void PatchLibrarian::startLoading(const std::string& root) {
  if (m_share) return;
  m_share = std::make_shared<LoadShare>(withoutTrailingSeparators(root),
                                        m_writer == &m_defaultWriter ? nullptr : m_writer);
  m_loadPending = true;
  // The thread may outlive this librarian and the plug-in's close: its code must stay mapped.
  UTIL_KeepModuleLoaded(reinterpret_cast<const void*>(&involuntarySwitches));
  ++g_loadThreadsRunning;
  m_loadThread = std::thread([share = m_share]() mutable {
    if (std::unique_ptr<PatchLibrarian> read = readLoad(*share, false)) {
      {
        std::lock_guard<std::mutex> lock(share->mutex);
        if (!share->over) share->arrived.swap(read);
      }
      share->hasArrived = true;
    }
    // The load's buffers and parse scraps sit between what the library keeps: hand the free
    // pages back, so the open editor holds about the library's own bytes.
    if (!share->over) malloc_trim(0);
    share.reset();
    --g_loadThreadsRunning;
  });
}

std::unique_ptr<PatchLibrarian> PatchLibrarian::readLoad(LoadShare& share, bool waiter) {
  auto staging = std::make_unique<PatchLibrarian>(nullptr);
  staging->m_writer = share.writer;
  staging->m_readingFor = &share;
  staging->m_stepsAside = !waiter;
  staging->m_switchesSeen = involuntarySwitches();
  if (!staging->loadLibrary(share.root, &share, waiter)) return nullptr;
  return staging;
}

void PatchLibrarian::adoptLoad(PatchLibrarian& staging) {
  // Every list at once: readers of this librarian see the library before or after, never between.
  {
    UTIL_MutexLock lock(&m_bankLock);
    std::lock_guard<std::mutex> done(m_loadMutex);
    if (!m_loadPending.load()) return;   // another reader of this load was first, or it was cancelled
    soundBankFiles.swap(staging.soundBankFiles);
    multiBankFiles.swap(staging.multiBankFiles);
    searchBankFiles.swap(staging.searchBankFiles);
    categoryBankFiles.swap(staging.categoryBankFiles);
    soundFolderIndex.swap(staging.soundFolderIndex);
    multiFolderIndex.swap(staging.multiFolderIndex);
    categoryFolderIndex.swap(staging.categoryFolderIndex);
    searchFolderIndex.swap(staging.searchFolderIndex);
    categories.swap(staging.categories);
    folderList.swap(staging.folderList);
    m_unlistedBanks.swap(staging.m_unlistedBanks);
    splitPartCount = staging.splitPartCount;
    currentFileSplit = staging.currentFileSplit;
    ++m_generation;
    m_loadStatus = staging.m_splitProblem;
    m_share->over = true;
    m_loadPending.store(false, std::memory_order_release);
  }
  m_loadDone.notify_all();
  m_share->takeArrived();   // a library the load thread left meanwhile is not wanted any more
  // Whatever this held before (nothing at start-up) goes with the staging librarian.
}

void PatchLibrarian::takeArrivedLoad() {
  if (!m_share || !m_share->hasArrived.load()) return;
  if (std::unique_ptr<PatchLibrarian> read = m_share->takeArrived()) adoptLoad(*read);
}

bool PatchLibrarian::loadPending() {
  if (!m_loadPending.load(std::memory_order_acquire)) return false;
  takeArrivedLoad();
  return m_loadPending.load(std::memory_order_acquire);
}

bool PatchLibrarian::keepLoading() {
  if (m_stepsAside && involuntarySwitches() != m_switchesSeen) {
    std::this_thread::sleep_for(kStepAside);
    m_switchesSeen = involuntarySwitches();
  }
  return !(m_readingFor && m_readingFor->over.load(std::memory_order_relaxed));
}

void PatchLibrarian::waitForLoad() {
  if (!loadPending()) return;
  if (std::unique_ptr<PatchLibrarian> read = readLoad(*m_share, true)) adoptLoad(*read);
  std::unique_lock<std::mutex> lock(m_loadMutex);
  // Only another waiter, which finishes the load, leaves this one here.
  m_loadDone.wait(lock, [this] { return !m_loadPending.load(); });
}

std::string PatchLibrarian::takeLoadStatus() {
  std::lock_guard<std::mutex> lock(m_loadMutex);
  std::string s;
  s.swap(m_loadStatus);
  return s;
}

bool PatchLibrarian::multiMode() const { return m_host ? m_host->librarianMultiMode() : patchType.load() == 1; }

void removeCharsFromString(std::string& text, const char* chars) {
  if (!chars) return;
  text.erase(std::remove_if(text.begin(), text.end(),
                            [chars](char c) { return c != '\0' && strchr(chars, c) != nullptr; }),
             text.end());
}

std::string librarianNamedReason(const std::string& name, const std::string& reason) {
  if (reason.empty()) return name;
  return name + (reason.compare(0, 3, "is ") == 0 ? " " : ": ") + reason;
}

void PatchLibrarian::fail(const std::string& logText, const std::string& statusText, const std::string& reason,
                          const std::string& name) {
  {
    UTIL_MutexLock lock(&m_debugLock);
    debugStream.str(std::string());
    debugStream.clear();
    debugStream << logText;
    librarianLog(debugStream.str());
  }
  // The log is there only when the user made it: the terminal hears of it every time.
  fprintf(stderr, "PATCH LIBRARIAN: %s\n", logText.c_str());
  if (m_host) m_host->showLibrarianStatus(statusText, name.empty() ? reason : librarianNamedReason(name, reason), name);
}

void PatchLibrarian::clearAll() {
  UTIL_MutexLock lock(&m_bankLock);
  for (int i = 0; i < 4; ++i) clearDataStructures(i);
  deleteBanks(soundBankFiles);
  deleteBanks(multiBankFiles);
  deleteBanks(searchBankFiles);
  deleteBanks(categoryBankFiles);
  m_unlistedBanks.clear();
  categories.clear();
}

void PatchLibrarian::clearDataStructures(int which) {
  UTIL_MutexLock lock(&m_bankLock);
  ++m_generation;
  switch (which) {
    case 0: clearFolderIndex(soundFolderIndex); break;
    case 1: clearFolderIndex(multiFolderIndex); break;
    case 2: clearFolderIndex(categoryFolderIndex); break;
    case 3: clearFolderIndex(searchFolderIndex); break;
    default: break;
  }
}

void PatchLibrarian::initBankFilesOnDiscard(const std::string& root) {
  waitForLoad();
  {
    UTIL_MutexLock lock(&m_bankLock);
    clearAll();
    loadPatchesFromFilesystem(root);
  }
  // The discarded library's pages are free now, but the first load read it on a thread of its
  // own, into that thread's malloc arena, which keeps them: every reload would hold the library
  // twice. Hand them back.
  malloc_trim(0);
}

void PatchLibrarian::loadPatchesFromFilesystem(const std::string& rootIn) {
  waitForLoad();
  // Held for the whole load: a dump arriving meanwhile waits rather than landing in a bank that
  // is about to be discarded.
  UTIL_MutexLock lock(&m_bankLock);
  loadLibrary(withoutTrailingSeparators(rootIn), nullptr, false);
  if (!m_splitProblem.empty() && m_host) m_host->showLibrarianStatus(m_splitProblem, std::string(), std::string());
}

bool PatchLibrarian::loadLibrary(const std::string& root, LoadShare* share, bool waiter) {
  UTIL_MutexLock lock(&m_bankLock);
  m_splitProblem.clear();
  currentFileSplit = false;
  std::shared_ptr<const LibraryWalk> walk;
  std::vector<ReadBank> banks;
  bool rootFound = false;
  if (share) {
    if (!readShared(*share, waiter, walk, rootFound, banks)) return false;
  } else {
    auto mine = std::make_shared<LibraryWalk>();
    rootFound = walkLibrary(root, *mine);
    walk = std::move(mine);
  }
  if (!rootFound) {
    librarianLog("PLUGIN IS NOT ABLE TO FIND PATCHES FOLDER...");
    return true;
  }
  if (banks.size() != walk->files.size()) {
    banks.clear();
    banks.reserve(walk->files.size());
    OpenFolders open;
    for (size_t i = 0; i < walk->files.size(); ++i) {
      if (!keepLoading()) return false;
      banks.push_back(parseFolderFiles(walk->folders[walk->folderOfFile[i]], walk->files[i], open));
    }
  }
  finishLoad(*walk, banks);
  if (!keepLoading()) return false;
  createNewCategoryPatchFiles();
  return true;
}

bool PatchLibrarian::readShared(LoadShare& share, bool waiter, std::shared_ptr<const LibraryWalk>& walk,
                                bool& rootFound, std::vector<ReadBank>& banks) {
  // Nothing but a few pointers changes hands under share.mutex: the load thread, on a busy
  // processor, may lose it while it holds the mutex, and a waiter then waits for it.
  {
    std::lock_guard<std::mutex> l(share.mutex);
    walk = share.walk;
    rootFound = share.rootFound;
  }
  if (!walk) {
    // A waiter that comes while the load thread walks walks too; the first walk in is the one read.
    auto mine = std::make_shared<LibraryWalk>();
    const bool found = walkLibrary(share.root, *mine);
    std::vector<std::unique_ptr<ReadBank>> slots(mine->files.size());
    std::lock_guard<std::mutex> l(share.mutex);
    if (!share.walk) {
      share.walk = std::move(mine);
      share.rootFound = found;
      share.read.swap(slots);
    }
    walk = share.walk;
    rootFound = share.rootFound;
  }
  const size_t n = walk->files.size();
  OpenFolders open;
  auto readOne = [&](size_t i) {
    const size_t folder = walk->folderOfFile[i];
    auto bank = std::make_unique<ReadBank>(parseFolderFiles(walk->folders[folder], walk->files[i], open));
    std::lock_guard<std::mutex> l(share.mutex);
    if (i < share.read.size() && !share.read[i]) share.read[i] = std::move(bank);
  };
  for (size_t i; (i = share.next.fetch_add(1)) < n;) {
    if (!keepLoading()) return false;
    readOne(i);
  }
  for (size_t i = 0; i < n; ++i) {
    {
      std::lock_guard<std::mutex> l(share.mutex);
      if (share.finisher != LoadShare::Finisher::none) break;
      if (share.read[i]) continue;
    }
    if (!keepLoading()) return false;
    readOne(i);
  }
  std::vector<std::unique_ptr<ReadBank>> taken;
  {
    std::lock_guard<std::mutex> l(share.mutex);
    if (share.finisher != LoadShare::Finisher::none) {
      // Another loader finishes. A waiter leaves that only to another waiter; the load thread may
      // be starved, so the waiter reads the library once more (banks stays empty).
      return waiter && share.finisher == LoadShare::Finisher::loadThread;
    }
    share.finisher = waiter ? LoadShare::Finisher::waiter : LoadShare::Finisher::loadThread;
    // Every file is in: the loop above saw each one read. Later stores find no slot.
    taken.swap(share.read);
  }
  banks.reserve(n);
  for (std::unique_ptr<ReadBank>& r : taken) banks.push_back(std::move(*r));
  return true;
}

namespace {

enum class EntryKind { folder, link, other };

struct FolderItem {
  std::string name;
  EntryKind kind;
};

// The entries of folder ("." and ".." left out), sorted by name so the load order does not
// depend on the file system's listing order. The kind comes from the listing itself where the
// file system gives it (no stat per file: a library holds thousands). False when the folder
// cannot be listed.
bool listFolder(const std::string& folder, int folderFd, std::vector<FolderItem>& items) {
  items.clear();
  const int listFd = folderFd >= 0 ? dup(folderFd) : -1;
  DIR* dir = listFd >= 0 ? fdopendir(listFd) : nullptr;
  if (!dir) {
    librarianRefusal("cannot list folder " + folder + ": " + strerror(errno));
    if (listFd >= 0) ::close(listFd);
    return false;
  }
  while (const dirent* d = readdir(dir)) {
    const std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    unsigned char type = d->d_type;
    if (type == DT_UNKNOWN) {
      struct stat st;
      if (fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      type = S_ISDIR(st.st_mode) ? DT_DIR : (S_ISLNK(st.st_mode) ? DT_LNK : DT_REG);
    }
    items.push_back(FolderItem{name, type == DT_DIR ? EntryKind::folder
                                                    : (type == DT_LNK ? EntryKind::link : EntryKind::other)});
  }
  closedir(dir);
  std::sort(items.begin(), items.end(), [](const FolderItem& a, const FolderItem& b) { return a.name < b.name; });
  return true;
}

// An open folder, closed when it goes.
class OpenFolder {
public:
  explicit OpenFolder(const std::string& path) : m_fd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
  ~OpenFolder() {
    if (m_fd >= 0) ::close(m_fd);
  }
  OpenFolder(const OpenFolder&) = delete;
  OpenFolder& operator=(const OpenFolder&) = delete;
  int fd() const { return m_fd; }

private:
  int m_fd;
};

}  // namespace

std::vector<std::string> PatchLibrarian::buildFolderStructure(const std::string& folder,
                                                              const std::vector<std::string>& chain,
                                                              std::vector<FolderEntry>& out) {
  std::vector<std::string> files;
  std::vector<FolderItem> items;
  const OpenFolder opened(folder);
  if (!listFolder(folder, opened.fd(), items)) return files;
  for (const FolderItem& item : items) {
    const std::string path = folder + "/" + item.name;
    // A part staged by a split whose process ended before it could remove it.
    const pid_t stager = item.kind == EntryKind::other ? stagingProcess(item.name) : 0;
    if (stager != 0 && stager != getpid() && kill(stager, 0) != 0 && errno == ESRCH &&
        fileCalls().unlink(AT_FDCWD, path) == 0)
      librarianLog("removed " + path + ", left by a split of process " + std::to_string(stager) + " that ended");
    if (item.kind == EntryKind::link) {
      // A linked folder may lead out of the library (and, written into by a split, would
      // change files elsewhere) or back into it (and loop): not followed. A linked file is read.
      struct stat st;
      if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) librarianRefusal("not following linked folder " + path);
    }
    if (item.kind != EntryKind::folder) {
      if (isBankExtension(lowerExtension(item.name))) files.push_back(item.name);
      continue;
    }
    std::vector<std::string> sub = chain;
    sub.push_back(item.name);
    std::vector<std::string> own = buildFolderStructure(path, sub, out);
    out.push_back(FolderEntry{path, sub, 0, 0, std::move(own)});
  }
  return files;
}

bool PatchLibrarian::walkLibrary(const std::string& root, LibraryWalk& walk) {
  bool rootIsFolder = false;
  try {
    Poco::File f(root);
    rootIsFolder = f.exists() && f.isDirectory();
  } catch (const Poco::Exception& e) {
    librarianLog("cannot examine " + root + ": " + e.displayText());
  }
  if (!rootIsFolder) return false;
  std::vector<FolderEntry>& folders = walk.folders;
  const std::vector<std::string> rootChain{baseName(root)};
  std::vector<std::string> own = buildFolderStructure(root, rootChain, folders);
  folders.push_back(FolderEntry{root, rootChain, 0, 0, std::move(own)});
  for (size_t f = 0; f < folders.size(); ++f) {
    folders[f].firstFile = walk.files.size();
    folders[f].fileCount = folders[f].files.size();
    for (std::string& name : folders[f].files) {
      walk.files.push_back(std::move(name));
      walk.folderOfFile.push_back(f);
    }
    folders[f].files.clear();
  }
  return true;
}

PatchLibrarian::ReadBank PatchLibrarian::parseFolderFiles(const FolderEntry& folder, const std::string& name,
                                                          OpenFolders& open) {
  ReadBank out;
  const std::string path = folder.path + "/" + name;
  // One buffer per file: the entries' messages are views into it (BankFormats.h). Files of other
  // kinds and small files are named and passed over; the size gate needs no stat of its own.
  FileBuffer bytes;
  size_t size = 0;
  std::string why;
  const ReadResult rr =
      readFileBuffer(name, bytes, size, kMaxBankFileBytes, kMinBankFileBytes, open.fd(folder.path), &why);
  if (rr == ReadResult::failed && !pathExists(path)) {
    out.gone = true;
    return out;
  }
  if (rr != ReadResult::notRegular && rr != ReadResult::tooSmall) librarianLog("loading file " + path);
  if (rr != ReadResult::ok) {
    librarianRefusal("skipped file " + path + ": it " + why + (rr == ReadResult::tooLarge ? ", too large for a bank" : ""));
    return out;
  }
  auto newRecord = [&] {
    auto r = std::make_unique<PatchFile>();
    r->fileName = name;
    r->folderName = folder.chain.back();
    r->folderChain = folder.chain;
    r->filePath = path;
    r->bankNumber = 0;
    return r;
  };
  std::unique_ptr<PatchFile> record = newRecord();
  std::vector<bool> whole;
  readBankMessages(bytes, size, *record, &whole);
  if (record->entries.size() > kBankSize) {
    // The reading above changed the buffer in place; the split needs the bytes as they are on
    // disk, to tell later whether the file still holds them. A file gone meanwhile (another
    // loader split it) is split by what was read: the parts follow from it.
    std::vector<uint8_t> asOnDisk;
    if (readFileBytes(path, asOnDisk) == ReadResult::ok) {
      record = newRecord();
      whole.clear();
      readBankMessages(asOnDisk.data(), static_cast<int>(asOnDisk.size()), *record, &whole);
      out.bytes = std::move(asOnDisk);
    }
  }

  if (record->entries.empty()) {
    // Nothing to show; listing it would only offer an empty bank that a save would write over
    // the file.
    librarianRefusal("no bank data in file " + path + "; not loaded");
    return ReadBank{};
  }
  // Only whole dumps make a bank worth listing or splitting: a file of bare message headers would
  // otherwise read as thousands of zero-padded sounds and be split into hundreds of files.
  const size_t wholeCount = static_cast<size_t>(std::count(whole.begin(), whole.end(), true));
  if (wholeCount == 0) {
    librarianRefusal("no sound or multi dump in file " + path + "; not loaded");
    return ReadBank{};
  }
  if (record->entries.size() > kBankSize) {
    // The parts hold the whole dumps only; the file itself, fragments included, is kept in
    // "Converted Banks".
    size_t i = 0;
    record->entries.erase(std::remove_if(record->entries.begin(), record->entries.end(),
                                         [&](const LibrarianPatch&) { return !whole[i++]; }),
                          record->entries.end());
    out.oversized = true;
    out.record = std::move(record);
    return out;
  }
  out.bytes.clear();
  checkBankSizeAndAddData(*record);
  fillUncompletedBankFiles(*record);
  record->resizeToBank();
  out.record = std::move(record);
  return out;
}

void PatchLibrarian::finishLoad(const LibraryWalk& walk, std::vector<ReadBank>& banks) {
  folderList.clear();
  for (const FolderEntry& f : walk.folders) folderList.push_back(f.path);
  OpenFolders open;
  for (const FolderEntry& folder : walk.folders) {
    if (!keepLoading()) return;
    std::vector<std::pair<std::string, ReadBank*>> files;
    bool changed = false;
    for (size_t i = folder.firstFile; i < folder.firstFile + folder.fileCount; ++i) {
      files.emplace_back(walk.files[i], &banks[i]);
      changed = changed || banks[i].gone;
    }
    // A file gone since the walk may have been split by another loader, whose parts the walk has
    // not seen: what the folder holds now is read too.
    std::vector<ReadBank> added;
    if (changed) {
      std::vector<FolderItem> items;
      if (listFolder(folder.path, open.fd(folder.path), items)) {
        std::set<std::string> known;
        for (const auto& f : files) known.insert(f.first);
        std::vector<std::string> names;
        for (const FolderItem& item : items)
          if (item.kind != EntryKind::folder && isBankExtension(lowerExtension(item.name)) && !known.count(item.name))
            names.push_back(item.name);
        added.reserve(names.size());
        for (const std::string& name : names) {
          added.push_back(parseFolderFiles(folder, name, open));
          files.emplace_back(name, &added.back());
        }
      }
    }
    // Oversized files first: the parts of each are listed in its place (read back as the next
    // start will read them), and a file of the folder that is one of them is not listed again.
    std::set<std::string> parts;
    std::vector<std::unique_ptr<PatchFile>> listed;
    for (const auto& [name, bank] : files) {
      if (!bank->oversized) continue;
      bool listable = false;
      for (const std::string& part : splitOversizedBank(folder, name, *bank, &listable)) {
        if (!parts.insert(part).second || !listable) continue;
        ReadBank back = parseFolderFiles(folder, part, open);
        if (back.record && !back.oversized) listed.push_back(std::move(back.record));
      }
    }
    for (const auto& [name, bank] : files)
      if (bank->record && !bank->oversized && !parts.count(name)) listed.push_back(std::move(bank->record));
    std::sort(listed.begin(), listed.end(), [](const std::unique_ptr<PatchFile>& x, const std::unique_ptr<PatchFile>& y) {
      return x->fileName < y->fileName;
    });
    for (std::unique_ptr<PatchFile>& record : listed) {
      createCategories(*record);
      PatchFile* raw = record.release();
      if (raw->type != kBankTypeSound) {
        multiBankFiles.push_back(raw);
        createMultiFolderFilesStructure(raw);
      } else {
        soundBankFiles.push_back(raw);
        createSingleFolderFilesStructure(raw);
      }
    }
  }
}

void PatchLibrarian::loadFromChunk(const uint8_t* data, int size, PatchFile& bank) {
  if (!readBankMessages(data, size, bank)) return;
  checkBankSizeAndAddData(bank);
  createCategories(bank);
}

void PatchLibrarian::checkBankSizeAndAddData(PatchFile& bank) {
  if (bank.entries.empty() || bank.entries.size() >= kBankSize) return;
  if (bank.type == kBankTypeSound) {
    while (bank.entries.size() < kBankSize) {
      const int slot = static_cast<int>(bank.entries.size());
      bank.entries.push_back(completionEntry(completionSoundMessage(slot + 1), slot, kKindSoundInit));
    }
  } else if (bank.type == kBankTypeMulti) {
    while (bank.entries.size() < kBankSize) {
      const int slot = static_cast<int>(bank.entries.size());
      bank.entries.push_back(completionEntry(initMultiMessage(), slot, kKindMultiInit));
    }
  }
}

void PatchLibrarian::createCategories(const PatchFile& bank) {
  if (bank.entries.empty()) return;
  UTIL_MutexLock lock(&m_bankLock);
  if (categories.empty()) categories.push_back("Init");
  std::vector<std::string> lower;
  lower.reserve(categories.size());
  for (const std::string& c : categories) lower.push_back(lowerCase(c));
  // Spellings already known to be listed: a bank repeats a few categories many times.
  std::vector<uint64_t> known;
  for (size_t i = 0; i < bank.entries.size(); ++i) {
    const std::string_view category = bank.entries.categoryAt(i);
    const uint64_t key = categoryKey(category);
    if (key != 0 && std::find(known.begin(), known.end(), key) != known.end()) continue;
    if (key != 0) known.push_back(key);
    const std::string lc = lowerCase(category);
    if (std::find(lower.begin(), lower.end(), lc) != lower.end()) continue;
    categories.emplace_back(category);
    lower.push_back(lc);
  }
}

void PatchLibrarian::fillUncompletedBankFiles(PatchFile& bank) {
  if (bank.entries.empty() || bank.entries.size() >= kBankSize) return;
  const bool sound = bank.entries[0].firstMessageId() == kSoundDumpId;
  while (bank.entries.size() < kBankSize) {
    const int slot = static_cast<int>(bank.entries.size());
    bank.entries.push_back(sound ? completionEntry(initSoundMessage(), slot, kKindSoundInit)
                                 : completionEntry(initMultiMessage(), slot, kKindMultiInit));
  }
}

// The split is a protocol that any number of loaders may run on one file at once (two editors of
// a project, two hosts) and that a crash may stop anywhere, so no instance ever loses, hides or
// lists twice a sound of the file:
//  1. The parts and their names follow from the file alone: a part is named by the first of
//     "Bank Singles 1.syx", "Bank Singles 1 (2).syx", ... that is free or already holds exactly
//     its bytes. A part found under such a name (another loader's, or left by an earlier start)
//     is taken as it is.
//  2. A missing part is written under a hidden name of this loader's own and checked there, then
//     published by a rename that never replaces; a name taken meanwhile is looked at again.
//  3. Only when every part is published does the file move into "Converted Banks". A file found
//     gone means another loader finished the move: the parts are the same, and listed here too.
// A published part is never removed again, whatever fails later: another loader may list it
// already. While the file stays in the library, the parts found beside it are its own, listed
// only once all are there, and the next start finishes the split.
std::vector<std::string> PatchLibrarian::splitOversizedBank(const FolderEntry& folder, const std::string& name,
                                                            const ReadBank& read, bool* listable) {
  *listable = false;
  const PatchFile& source = *read.record;
  const std::string sourcePath = folder.path + "/" + name;
  const std::string extension = lowerExtension(name);
  const bool asMidi = extension == "mid";
  std::string stem, sourceExt;
  splitFileName(name, stem, sourceExt);
  const std::string ext = "." + extension;

  std::vector<const LibrarianPatch*> sounds, multis;
  for (const LibrarianPatch& e : source.entries) {
    const int id = e.firstMessageId();
    if (id == kSoundDumpId) sounds.push_back(&e);
    else if (id == kMultiDumpId) multis.push_back(&e);
  }
  struct Part {
    std::string stem;
    std::vector<uint8_t> bytes;
    std::string published;   // its name in the folder, once it is there
  };
  std::vector<Part> parts;
  auto makeParts = [&](const std::vector<const LibrarianPatch*>& list, bool multi) {
    const size_t count = (list.size() + kBankSize - 1) / kBankSize;
    for (size_t k = 0; k < count; ++k) {
      PatchFile bank;
      bank.type = multi ? kBankTypeMulti : kBankTypeSound;
      for (size_t i = k * kBankSize; i < list.size() && i < (k + 1) * kBankSize; ++i) {
        bank.entries.push_back(*list[i]);
        bank.entries.back().kind = multi ? kKindMultiRead : kKindSoundRead;
      }
      fillUncompletedBankFiles(bank);
      bank.resizeToBank();
      // Each part gets its own name; the multi parts too, or each would replace the last.
      parts.push_back(Part{stem + (multi ? (k == 0 ? " Multis" : " Multis " + std::to_string(k + 1))
                                         : " Singles " + std::to_string(k + 1)),
                           writeBank(bank, asMidi), std::string()});
    }
  };
  makeParts(sounds, false);
  makeParts(multis, true);
  splitPartCount = static_cast<int>(parts.size());

  auto variant = [&](const Part& p, int n) { return p.stem + (n == 1 ? "" : " (" + std::to_string(n) + ")") + ext; };
  auto holds = [&](const std::string& fileName, const std::vector<uint8_t>& bytes) {
    const std::string there = folder.path + "/" + fileName;
    struct stat st;
    std::vector<uint8_t> held;
    return lstat(there.c_str(), &st) == 0 && S_ISREG(st.st_mode) && static_cast<size_t>(st.st_size) == bytes.size() &&
           readFileBytes(there, held) == ReadResult::ok && held == bytes;
  };
  auto publishedNames = [&] {
    std::vector<std::string> names;
    for (const Part& p : parts)
      if (!p.published.empty()) names.push_back(p.published);
    return names;
  };
  auto giveUp = [&](const std::string& why, const std::string& detail) {
    librarianRefusal("could not split " + sourcePath + " (" + why + detail + "); the file stays where it is");
    // The bank is missing from the menus: say why once per load, not only in the log.
    if (m_splitProblem.empty()) m_splitProblem = name + " could not be split: " + why;
    *listable = std::all_of(parts.begin(), parts.end(), [](const Part& p) { return !p.published.empty(); });
    return publishedNames();
  };

  for (Part& p : parts)
    for (int n = 1; n < kNameVariants && p.published.empty(); ++n)
      if (holds(variant(p, n), p.bytes)) p.published = variant(p, n);

  const std::string converted = convertedBanksFolderPath();
  // Made (and found to be a folder) before any part is written: a split that cannot end leaves
  // nothing behind where it can know so in advance.
  try {
    Poco::File dir(converted);
    dir.createDirectories();
    if (!dir.isDirectory()) return giveUp("cannot move it into Converted Banks", ": " + converted + " is no folder");
  } catch (const Poco::Exception& e) {
    return giveUp("cannot make folder Converted Banks", ": " + e.displayText());
  }
  std::vector<std::string> staged(parts.size());
  auto unstage = [&] {
    for (const std::string& s : staged)
      if (!s.empty() && !removeFile(s)) librarianLog("could not remove temporary file " + s);
  };
  // A load no longer wanted (closed, or put in place by another reader) stops at its next part;
  // what it published stays, and the next start finishes the split from there.
  auto abandoned = [&] {
    if (keepLoading()) return false;
    unstage();
    return true;
  };
  for (size_t k = 0; k < parts.size(); ++k) {
    if (!parts[k].published.empty()) continue;
    if (abandoned()) return {};
    staged[k] = stagePart(folder.path, parts[k].stem + ext, parts[k].bytes);
    if (staged[k].empty()) {
      unstage();
      return giveUp("writing a part failed", "");
    }
  }
  for (size_t k = 0; k < parts.size(); ++k) {
    if (staged[k].empty()) continue;
    if (abandoned()) return {};
    Part& p = parts[k];
    // A name that another loader takes between the look and the rename is looked at again.
    for (int n = 1, looks = 0; p.published.empty() && n < kNameVariants && looks < 4 * kNameVariants; ++looks) {
      const std::string target = variant(p, n);
      if (pathExists(folder.path + "/" + target)) {
        if (holds(target, p.bytes)) p.published = target;
        ++n;
        continue;
      }
      const WriteResult r = publishFile(staged[k], folder.path + "/" + target, p.bytes);
      if (r == WriteResult::ok) p.published = target;
      else if (r == WriteResult::failed) break;
      // exists: taken since the look above; look at it again
    }
    if (p.published.empty()) {
      unstage();
      return giveUp("publishing a part failed", "");
    }
    // Renamed away when published; left only when another loader's copy was taken instead.
    if (!removeFile(staged[k])) librarianLog("could not remove temporary file " + staged[k]);
    staged[k].clear();
  }

  // Every part is on disk: only now may the file leave the library, and only as it was read.
  std::vector<uint8_t> now;
  if (readFileBytes(sourcePath, now) != ReadResult::ok || now != read.bytes) {
    if (!pathExists(sourcePath)) {
      librarianLog("split of " + sourcePath + " finished by another instance");
      *listable = true;
      return publishedNames();
    }
    return giveUp("it changed while the library was read", "");
  }
  std::string movedTo;
  bool stuck = false;
  // An earlier start (or another loader, across file systems) may have copied the file there and
  // not yet removed it from the library; another copy under a new name would only multiply it.
  // Removing it from the library completes that move.
  for (int n = 1; n < kNameVariants; ++n) {
    const std::string dest = converted + "/" + stem + (n == 1 ? "" : " (" + std::to_string(n) + ")") + sourceExt;
    if (!pathExists(dest)) break;
    std::vector<uint8_t> there;
    if (readFileBytes(dest, there) != ReadResult::ok || there != now) continue;
    if (removeFile(sourcePath)) movedTo = dest;
    else stuck = true;
    break;
  }
  for (int attempt = 0; attempt < kNameVariants && movedTo.empty() && !stuck; ++attempt) {
    const std::string dest = uniqueFilePath(converted, stem, sourceExt);
    if (dest.empty()) break;
    const WriteResult r = moveFileNoReplace(sourcePath, dest);
    if (r == WriteResult::ok) movedTo = dest;
    else if (r != WriteResult::exists) break;
  }
  if (movedTo.empty()) {
    if (!pathExists(sourcePath)) {
      librarianLog("split of " + sourcePath + " finished by another instance");
      *listable = true;
      return publishedNames();
    }
    return giveUp("cannot move it into Converted Banks", " at " + converted);
  }
  librarianLog("moved file " + sourcePath + " to " + movedTo + " due to mismatching data in package!");
  currentFileSplit = true;
  *listable = true;
  return publishedNames();
}

std::string PatchLibrarian::stagePart(const std::string& folder, const std::string& name,
                                      const std::vector<uint8_t>& bytes) {
  // Hidden, and without a bank extension: no loader reads it. Unique to this process (its id)
  // and to this call (the counter), so no other loader writes it, and none removes it while this
  // process runs.
  static std::atomic<unsigned> counter{0};
  Staging& staging = ::staging();
  std::shared_lock<std::shared_mutex> hold(staging.lock);
  if (staging.ended) return std::string();
  {
    std::lock_guard<std::mutex> folders(staging.foldersLock);
    if (staging.folders.insert(folder).second && !staging.removedAtExit)
      staging.removedAtExit = std::atexit(&removeStagedFilesAtExit) == 0;
  }
  struct InStage {
    InStage() { t_staging = true; }
    ~InStage() { t_staging = false; }
  } inStage;
  for (int attempt = 0; attempt < kNameVariants; ++attempt) {
    const std::string path = folder + "/." + name + ".split-" + std::to_string(getpid()) + "-" +
                             std::to_string(counter.fetch_add(1));
    const WriteResult r = m_writer->writeFile(path, bytes, false);
    if (r == WriteResult::exists) continue;   // left by a process of the same id that stopped
    // A write that reported failure may have landed all the same (a reply lost on the way back).
    std::vector<uint8_t> check;
    if (readFileBytes(path, check) == ReadResult::ok && check == bytes) return path;
    librarianLog(r == WriteResult::ok ? "file " + path + " does not hold what was written" : "could not write " + path);
    if (!removeFile(path)) librarianLog("could not remove temporary file " + path);
    return std::string();
  }
  return std::string();
}

std::optional<LibrarianList> librarianLowerList(int patchType, bool categoryView, bool searchView) {
  if (patchType == kBankTypeMulti) return LibrarianList::kMulti;
  if (patchType != kBankTypeSound) return std::nullopt;
  if (categoryView) return LibrarianList::kCategory;
  if (searchView) return LibrarianList::kSearch;
  return LibrarianList::kSound;
}

std::vector<PatchFile*>& PatchLibrarian::flatList(LibrarianList list) {
  switch (list) {
    case LibrarianList::kMulti: return multiBankFiles;
    case LibrarianList::kCategory: return categoryBankFiles;
    case LibrarianList::kSearch: return searchBankFiles;
    case LibrarianList::kSound: break;
  }
  return soundBankFiles;
}

std::vector<int> PatchLibrarian::flatPositionsNamed(LibrarianList list, const std::string& fileName) {
  UTIL_MutexLock lock(&m_bankLock);
  const std::vector<PatchFile*>& flat = flatList(list);
  NameIndex& index = m_nameIndex[static_cast<int>(list)];
  if (index.generation != generation() || index.data != flat.data() || index.size != flat.size()) {
    index.generation = generation();
    index.data = flat.data();
    index.size = flat.size();
    index.byName.resize(flat.size());
    for (size_t i = 0; i < flat.size(); ++i) index.byName[i] = static_cast<uint32_t>(i);
    std::stable_sort(index.byName.begin(), index.byName.end(),
                     [&flat](uint32_t a, uint32_t b) { return flat[a]->fileName < flat[b]->fileName; });
  }
  auto it = std::lower_bound(index.byName.begin(), index.byName.end(), fileName,
                             [&flat](uint32_t i, const std::string& name) { return flat[i]->fileName < name; });
  std::vector<int> positions;
  for (; it != index.byName.end() && flat[*it]->fileName == fileName; ++it) positions.push_back(static_cast<int>(*it));
  return positions;
}

PatchFile* PatchLibrarian::selectedLowerBank(bool categoryView, bool searchView) {
  UTIL_MutexLock lock(&m_bankLock);
  const std::optional<LibrarianList> kind = librarianLowerList(patchType.load(), categoryView, searchView);
  if (!kind) return nullptr;
  const std::vector<PatchFile*>& list = flatList(*kind);
  const int sel = lowerSelection.load();
  if (sel < 0 || sel >= static_cast<int>(list.size())) return nullptr;
  return list[static_cast<size_t>(sel)];
}

PatchFile* PatchLibrarian::selectedUpperBank() {
  UTIL_MutexLock lock(&m_bankLock);
  const int type = patchType.load();
  const int sel = upperSelection.load();
  const std::vector<PatchFile*>* list = type == 0 ? &soundBankFiles : (type == 1 ? &multiBankFiles : nullptr);
  if (!list || sel < 0 || sel >= static_cast<int>(list->size())) return nullptr;
  return (*list)[sel];
}

bool PatchLibrarian::writeUpperBank(const std::string& path, bool asMidi, bool replace, std::string* bankFolderName) {
  waitForLoad();
  std::unique_ptr<PatchFile> copy;
  {
    UTIL_MutexLock lock(&m_bankLock);
    PatchFile* bank = selectedUpperBank();
    if (!bank) {
      fail("nothing to save: no bank selected", "No bank selected!");
      return false;
    }
    copy = bank->clone();
    if (bankFolderName) *bankFolderName = bank->folderName;
  }
  // Written from a copy brought to 100 entries: the bank in the library stays as it is.
  copy->resizeToBank();
  std::string why;
  const WriteResult r = m_writer->writeFile(path, writeBank(*copy, asMidi), replace, &why);
  if (r == WriteResult::exists) {
    fail("not saved: " + path + " already exists", "Bank NOT saved!", "File exists", baseName(path));
    return false;
  }
  if (r == WriteResult::refused) {
    fail("not saved: " + path + " " + why, "Bank NOT saved!", UTIL_ShortReason(why), baseName(path));
    return false;
  }
  if (r != WriteResult::ok) {
    fail("could not write bank file " + path + (why.empty() ? "" : ": " + why), "Bank NOT saved!", UTIL_ShortReason(why),
         baseName(path));
    return false;
  }
  return true;
}

bool PatchLibrarian::savePatchAs(const std::string& chosenPath, bool asMidi) {
  if (chosenPath.empty()) return false;   // dialog cancelled
  const std::string path = withBankExtension(chosenPath, asMidi);
  const bool multi = multiMode();
  // The save dialog asked before replacing the path it returned, not the one with our extension
  // added: that file, if it exists, is someone's bank that nobody agreed to lose.
  const bool replace = path == chosenPath;
  if (!writeUpperBank(path, asMidi, replace, nullptr)) return false;
  const std::string folderName = baseName(folderPart(path));
  if (m_host) m_host->setUpperBankRecord(multi, baseName(path), folderName.empty() ? "Patches" : folderName);
  return true;
}

bool PatchLibrarian::saveEditedPatch(const std::string& pathIn, const std::string& name) {
  const bool asMidi = lowerExtension(name) == "mid";
  const std::string path = withBankExtension(pathIn, asMidi);
  const bool multi = multiMode();
  std::string folderName;
  if (!writeUpperBank(path, asMidi, path == pathIn, &folderName)) return false;
  if (m_host) m_host->setUpperBankRecord(multi, name, folderName);
  return true;
}

bool PatchLibrarian::importBankFile(const std::string& sourcePath, bool midi, std::string* writtenPath) {
  if (sourcePath.empty()) return false;
  std::vector<uint8_t> bytes;
  const ReadResult rr = readFileBytes(sourcePath, bytes);
  if (rr != ReadResult::ok) {
    fail(rr == ReadResult::tooLarge ? "import: " + sourcePath + " is too large for a bank"
                                    : "import: cannot read " + sourcePath,
         "Import FAILED!");
    return false;
  }
  // A file the loader would pass over is not copied: the bank would never appear, and the import
  // would have said nothing.
  if (static_cast<int64_t>(bytes.size()) < kMinBankFileBytes) {
    fail("import: " + sourcePath + " holds " + std::to_string(bytes.size()) + " bytes; bank files under " +
             std::to_string(kMinBankFileBytes) + " bytes are not read",
         "Import refused: file too small!");
    return false;
  }
  {
    PatchFile probe;
    std::vector<bool> whole;
    readBankMessages(bytes.data(), static_cast<int>(bytes.size()), probe, &whole);
    if (std::find(whole.begin(), whole.end(), true) == whole.end()) {
      fail("import: no sound or multi dump in " + sourcePath, "Import refused: no bank data!");
      return false;
    }
  }
  const std::string folder = patchesFolderPath();
  try {
    Poco::File(folder).createDirectories();
  } catch (const Poco::Exception& e) {
    fail("import: cannot make folder " + folder + ": " + e.displayText(), "Import FAILED!");
    return false;
  }
  std::string stem, ext;
  splitFileName(baseName(sourcePath), stem, ext);
  if (!isBankExtension(lowerExtension(ext))) {
    stem += ext;
    ext = midi ? ".mid" : ".zpk";
  }
  std::string target, why;
  for (int attempt = 0; attempt < 100 && target.empty(); ++attempt) {
    const std::string candidate = uniqueFilePath(folder, stem, ext);
    if (candidate.empty()) break;
    const WriteResult r = m_writer->writeFile(candidate, bytes, false, &why);
    if (r == WriteResult::ok) target = candidate;
    else if (r != WriteResult::exists) break;
  }
  if (target.empty()) {
    fail("import: could not write into " + folder + (why.empty() ? "" : ": " + why), "Import FAILED!", UTIL_ShortReason(why),
         baseName(sourcePath));
    return false;
  }
  librarianLog("FILE IMPORTER: patch file copied to " + folder);
  if (writtenPath) *writtenPath = target;
  return true;
}

bool PatchLibrarian::setSysexDatatoSelectedSlot(const LibrarianPatch* received) {
  if (!received) return false;
  // A dump that arrives while the library is still being read goes into the bank the user will
  // see, not into an empty list.
  waitForLoad();
  UTIL_MutexLock lock(&m_bankLock);
  const int type = patchType.load();
  const int slot = selectedSlot.load();
  if (slot < 0 || slot >= kBankSize) {
    librarianLog("received dump ignored: slot " + std::to_string(slot) + " is outside 0..99");
    return false;
  }
  PatchFile* bank = selectedUpperBank();
  if (!bank) {
    librarianLog("received dump ignored: no bank selected");
    return false;
  }
  // The capture keeps every SysEx that arrived while it was armed; the dump that completed it
  // is the last one. Whatever came before (a knob's parameter message, a cut-off dump) is not
  // part of the entry: saved, each message would be read back as an entry of its own and move
  // every later slot of the bank.
  const PatchSysexMessage* dump = received->messages.empty() ? nullptr : &received->messages.back();
  const int wanted = type == 1 ? kMultiDumpId : kSoundDumpId;
  if (!dump || dump->bytes.size() <= kMessageIdPos || dump->bytes[kMessageIdPos] != wanted) {
    librarianLog(std::string("received dump ignored: not a ") + (type == 1 ? "multi" : "sound") + " dump");
    return false;
  }
  LibrarianPatch copy;
  received->clone(copy);
  copy.kind = type == 1 ? kKindMultiRead : kKindSoundRead;
  if (copy.messages.size() > 1) {
    copy.messages.erase(copy.messages.begin(), copy.messages.end() - 1);
    // The capture named the entry from its first message, which was not the dump.
    copy.name = makeEntryFromMessage(copy.messages.front(), copy.kind).name;
  }
  bank->resizeToBank();
  bank->entries[slot] = std::move(copy);
  return true;
}
