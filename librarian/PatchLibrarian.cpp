#include "PatchLibrarian.h"

#include <malloc.h>

#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/Path.h>
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "BankFormats.h"
#include "DataFolder.h"
#include "LibrarianLog.h"

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

// Idle priority (the thread runs only on a processor nobody else wants) or the normal one.
// Best effort: where the system refuses, the thread keeps the priority it has.
void setThreadPolicy(pthread_t thread, bool idle) {
#ifdef SCHED_IDLE
  sched_param param{};
  pthread_setschedparam(thread, idle ? SCHED_IDLE : SCHED_OTHER, &param);
#else
  (void)thread;
  (void)idle;
#endif
}

}  // namespace

PatchLibrarian::PatchLibrarian(LibrarianHost* host) : m_host(host) {}

PatchLibrarian::~PatchLibrarian() {
  cancelLoad();
  if (m_loadThread.joinable()) m_loadThread.join();
  clearAll();
}

void PatchLibrarian::cancelLoad() {
  m_loadCancelled = true;
  // At idle priority the load could wait long on a busy machine to see the flag, and the editor's
  // close would wait with it: whoever stops it lends it normal priority, as a waiter does.
  std::lock_guard<std::mutex> lock(m_loadMutex);
  if (loadPending() && m_loadThread.joinable()) setThreadPolicy(m_loadThread.native_handle(), false);
}

void PatchLibrarian::startLoading(const std::string& root) {
  if (m_loadThread.joinable()) return;
  m_loadPending = true;
  m_loadThread = std::thread([this, root] {
    // The load takes only time no other thread of the process wants, so the first page is
    // drawn as fast as without a library; whoever waits for it lends it normal priority.
    setThreadPolicy(pthread_self(), true);
    swapInLoad(root);
    // The load's buffers and parse scraps sit between what the library keeps: hand the free
    // pages back, so the open editor holds about the library's own bytes.
    if (!m_loadCancelled) malloc_trim(0);
  });
}

void PatchLibrarian::swapInLoad(const std::string& root) {
  // Read into a librarian of its own, then hand over every list at once: readers of this one
  // see the library before or after, never between.
  PatchLibrarian staging(nullptr);
  staging.m_writer = m_writer;
  staging.m_cancel = &m_loadCancelled;
  staging.loadPatchesFromFilesystem(root);
  if (m_loadCancelled) {
    // Nothing half read is put in place; what was read goes with the staging librarian.
    {
      std::lock_guard<std::mutex> done(m_loadMutex);
      m_loadPending.store(false, std::memory_order_release);
    }
    m_loadDone.notify_all();
    return;
  }
  {
    UTIL_MutexLock lock(&m_bankLock);
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
    ++m_generation;
    std::lock_guard<std::mutex> done(m_loadMutex);
    m_loadStatus = staging.m_splitProblem;
    m_loadPending.store(false, std::memory_order_release);
  }
  m_loadDone.notify_all();
  // Whatever this held before (nothing at start-up) goes with the staging librarian.
}

void PatchLibrarian::waitForLoad() {
  if (!loadPending()) return;
  std::unique_lock<std::mutex> lock(m_loadMutex);
  if (loadPending()) setThreadPolicy(m_loadThread.native_handle(), false);
  m_loadDone.wait(lock, [this] { return !loadPending(); });
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

void PatchLibrarian::fail(const std::string& logText, const std::string& statusText) {
  {
    UTIL_MutexLock lock(&m_debugLock);
    debugStream.str(std::string());
    debugStream.clear();
    debugStream << logText;
    librarianLog(debugStream.str());
  }
  if (m_host) m_host->showLibrarianStatus(statusText);
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
  const std::string root = withoutTrailingSeparators(rootIn);
  bool rootIsFolder = false;
  try {
    Poco::File f(root);
    rootIsFolder = f.exists() && f.isDirectory();
  } catch (const Poco::Exception& e) {
    librarianLog("cannot examine " + root + ": " + e.displayText());
  }
  if (!rootIsFolder) {
    librarianLog("PLUGIN IS NOT ABLE TO FIND PATCHES FOLDER...");
    return;
  }
  m_splitThisLoad.clear();
  m_splitProblem.clear();
  reloadRequired = false;
  loadPass(root);
  if (reloadRequired) {
    // The parts now lie where the oversized file was. One more pass, and only one. A file split
    // (or tried) in the first pass is never split again (m_splitThisLoad); a file that appears
    // meanwhile may still be split, but its parts are listed directly and cause no third pass.
    reloadRequired = false;
    clearAll();
    loadPass(root);
    reloadRequired = false;
  }
  // A cancelled load is thrown away: no category banks for it.
  if (m_cancel && m_cancel->load(std::memory_order_relaxed)) return;
  createNewCategoryPatchFiles();
  if (!m_splitProblem.empty() && m_host) m_host->showLibrarianStatus(m_splitProblem);
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
    librarianLog("cannot list folder " + folder + ": " + strerror(errno));
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

void PatchLibrarian::buildFolderStructure(const std::string& folder, const std::vector<std::string>& chain,
                                          std::vector<FolderEntry>& out) {
  std::vector<FolderItem> items;
  const OpenFolder opened(folder);
  if (!listFolder(folder, opened.fd(), items)) return;
  for (const FolderItem& item : items) {
    const std::string path = folder + "/" + item.name;
    if (item.kind == EntryKind::link) {
      // A linked folder may lead out of the library (and, written into by a split, would
      // change files elsewhere) or back into it (and loop): not followed.
      struct stat st;
      if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) librarianLog("not following linked folder " + path);
      continue;
    }
    if (item.kind != EntryKind::folder) continue;
    std::vector<std::string> sub = chain;
    sub.push_back(item.name);
    buildFolderStructure(path, sub, out);
    out.push_back(FolderEntry{path, sub});
  }
}

void PatchLibrarian::loadPass(const std::string& root) {
  std::vector<FolderEntry> folders;
  const std::vector<std::string> rootChain{baseName(root)};
  buildFolderStructure(root, rootChain, folders);
  folders.push_back(FolderEntry{root, rootChain});
  folderList.clear();
  for (const FolderEntry& fe : folders) folderList.push_back(fe.path);

  std::vector<FolderItem> items;
  for (const FolderEntry& fe : folders) {
    // Files are opened relative to their open folder: no walk of the whole path per file.
    const OpenFolder opened(fe.path);
    if (!listFolder(fe.path, opened.fd(), items)) continue;
    for (const FolderItem& item : items) {
      if (m_cancel && m_cancel->load(std::memory_order_relaxed)) return;
      if (item.kind == EntryKind::folder) continue;
      const std::string ext = lowerExtension(item.name);
      if (!isBankExtension(ext)) continue;
      const std::string path = fe.path + "/" + item.name;
      PatchFile* record = parseFolderFiles(path, fe.chain, 0, ext, opened.fd(), item.name);
      if (!record) continue;
      if (record->type == kBankTypeMulti) {
        createMultiFolderFilesStructure(record);
      } else {
        createSingleFolderFilesStructure(record);
      }
    }
  }
}

PatchFile* PatchLibrarian::parseFolderFiles(const std::string& path, const std::vector<std::string>& chain,
                                            int folderNumber, const std::string& extension, int folderFd,
                                            const std::string& name) {
  currentFileSplit = false;
  // One buffer per file: the entries' messages are views into it (BankFormats.h). Files of other
  // kinds and small files are passed over without a word; the size gate needs no stat of its own.
  FileBuffer bytes;
  size_t size = 0;
  const ReadResult rr = readFileBuffer(name, bytes, size, kMaxBankFileBytes, kMinBankFileBytes, folderFd);
  if (rr == ReadResult::notRegular || rr == ReadResult::tooSmall) return nullptr;
  librarianLog("loading file " + path);
  if (rr != ReadResult::ok) {
    librarianLog(rr == ReadResult::tooLarge ? "skipped file " + path + ": too large for a bank"
                                            : "cannot read file " + path);
    return nullptr;
  }
  auto record = std::make_unique<PatchFile>();
  record->fileName = baseName(path);
  record->folderName = chain.back();
  record->folderChain = chain;
  record->filePath = path;
  record->bankNumber = folderNumber;
  std::vector<bool> whole;
  readBankMessages(bytes, size, *record, &whole);

  if (record->entries.empty()) {
    // Nothing to show; listing it would only offer an empty bank that a save would write over
    // the file.
    librarianLog("no bank data in file " + path);
    return nullptr;
  }
  // Only whole dumps make a bank worth listing or splitting: a file of bare message headers would
  // otherwise read as thousands of zero-padded sounds and be split into hundreds of files.
  const size_t wholeCount = static_cast<size_t>(std::count(whole.begin(), whole.end(), true));
  if (wholeCount == 0) {
    librarianLog("no sound or multi dump in file " + path + "; not loaded");
    return nullptr;
  }
  if (record->entries.size() > kBankSize) {
    if (m_splitThisLoad.count(path)) {
      librarianLog("not splitting " + path + " again in this load; the file stays where it is");
      return nullptr;
    }
    m_splitThisLoad.insert(path);
    // The parts hold the whole dumps only; the file itself, fragments included, is kept in
    // "Converted Banks".
    size_t i = 0;
    record->entries.erase(std::remove_if(record->entries.begin(), record->entries.end(),
                                         [&](const LibrarianPatch&) { return !whole[i++]; }),
                          record->entries.end());
    if (splitOversizedBank(*record, path, chain, extension)) {
      currentFileSplit = true;
      reloadRequired = true;
    }
    // An oversized file that could not be split is not listed either: saving that bank would
    // write 100 entries over a file that holds more.
    return nullptr;
  }
  checkBankSizeAndAddData(*record);
  createCategories(*record);
  fillUncompletedBankFiles(*record);
  record->resizeToBank();
  PatchFile* raw = record.release();
  if (raw->type != kBankTypeSound) {
    multiBankFiles.push_back(raw);
  } else {
    soundBankFiles.push_back(raw);
  }
  return raw;
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

std::string PatchLibrarian::writeNewVerified(const std::string& folder, const std::string& stem,
                                             const std::string& ext, const std::vector<uint8_t>& bytes,
                                             bool* reused) {
  *reused = false;
  // A split that could not finish may have left this part behind (its removal failed too): it
  // is taken as written, or every start would add another copy of it.
  for (int n = 1; n < 100; ++n) {
    const std::string there = folder + "/" + stem + (n == 1 ? "" : " (" + std::to_string(n) + ")") + ext;
    struct stat st;
    if (lstat(there.c_str(), &st) != 0) break;
    std::vector<uint8_t> held;
    if (!S_ISREG(st.st_mode) || static_cast<size_t>(st.st_size) != bytes.size() ||
        readFileBytes(there, held) != ReadResult::ok || held != bytes)
      continue;
    *reused = true;
    return there;
  }
  // A name taken between the look and the write is answered with `exists`: try the next one.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string target = uniqueFilePath(folder, stem, ext);
    if (target.empty()) return std::string();
    const WriteResult r = m_writer->writeFile(target, bytes, false);
    if (r == WriteResult::exists) continue;
    if (r != WriteResult::ok) {
      librarianLog("could not write " + target);
      return std::string();
    }
    std::vector<uint8_t> check;
    if (readFileBytes(target, check) != ReadResult::ok || check != bytes) {
      librarianLog("file " + target + " does not hold what was written");
      unlink(target.c_str());
      return std::string();
    }
    return target;
  }
  return std::string();
}

bool PatchLibrarian::splitOversizedBank(const PatchFile& source, const std::string& sourcePath,
                                        const std::vector<std::string>& chain, const std::string& extension) {
  const bool asMidi = extension == "mid";
  const std::string folder = folderPart(sourcePath);
  std::string stem, sourceExt;
  splitFileName(source.fileName, stem, sourceExt);
  const std::string ext = "." + extension;

  std::vector<const LibrarianPatch*> sounds, multis;
  for (const LibrarianPatch& e : source.entries) {
    const int id = e.firstMessageId();
    if (id == kSoundDumpId) sounds.push_back(&e);
    else if (id == kMultiDumpId) multis.push_back(&e);
  }

  struct Part {
    std::unique_ptr<PatchFile> bank;
    std::string stem;
  };
  std::vector<Part> parts;
  auto makeParts = [&](const std::vector<const LibrarianPatch*>& list, bool multi) {
    const size_t count = (list.size() + kBankSize - 1) / kBankSize;
    for (size_t k = 0; k < count; ++k) {
      Part p;
      p.bank = std::make_unique<PatchFile>();
      p.bank->type = multi ? kBankTypeMulti : kBankTypeSound;
      p.bank->folderName = chain.back();
      p.bank->folderChain = chain;
      p.bank->bankNumber = source.bankNumber;
      for (size_t i = k * kBankSize; i < list.size() && i < (k + 1) * kBankSize; ++i) {
        p.bank->entries.push_back(*list[i]);
        p.bank->entries.back().kind = multi ? kKindMultiRead : kKindSoundRead;
      }
      fillUncompletedBankFiles(*p.bank);
      p.bank->resizeToBank();
      // Each part gets its own name; the multi parts too, or each would replace the last.
      p.stem = stem + (multi ? (k == 0 ? " Multis" : " Multis " + std::to_string(k + 1))
                             : " Singles " + std::to_string(k + 1));
      parts.push_back(std::move(p));
    }
  };
  makeParts(sounds, false);
  makeParts(multis, true);
  splitPartCount = static_cast<int>(parts.size());

  std::vector<std::string> written;
  auto rollBack = [&](const std::string& why, const std::string& detail) {
    for (const std::string& w : written)
      if (!removeFile(w)) librarianLog("could not remove part " + w);
    librarianLog("could not split " + sourcePath + " (" + why + detail + "); the file stays where it is");
    // The bank is missing from the menus: say why once per load, not only in the log.
    if (m_splitProblem.empty()) m_splitProblem = source.fileName + " could not be split: " + why;
    return false;
  };
  for (Part& p : parts) {
    bool reused = false;
    const std::string target = writeNewVerified(folder, p.stem, ext, writeBank(*p.bank, asMidi), &reused);
    if (target.empty()) return rollBack("writing a part failed", "");
    if (!reused) written.push_back(target);
    p.bank->fileName = baseName(target);
    p.bank->filePath = target;
  }

  // Every part is on disk and checked: only now may the source leave the library.
  const std::string converted = convertedBanksFolderPath();
  try {
    Poco::File(converted).createDirectories();
  } catch (const Poco::Exception& e) {
    return rollBack("cannot make folder Converted Banks", ": " + e.displayText());
  }
  std::string movedTo;
  bool stuck = false;
  std::vector<uint8_t> sourceBytes;
  if (readFileBytes(sourcePath, sourceBytes) == ReadResult::ok) {
    // An earlier start may have copied the file there and then failed to remove it from the
    // library; another copy under a new name would only multiply it. Removing it from the
    // library completes that move.
    for (int n = 1; n < 100; ++n) {
      const std::string dest = converted + "/" + stem + (n == 1 ? "" : " (" + std::to_string(n) + ")") + sourceExt;
      if (!pathExists(dest)) break;
      std::vector<uint8_t> there;
      if (readFileBytes(dest, there) != ReadResult::ok || there != sourceBytes) continue;
      if (removeFile(sourcePath)) movedTo = dest;
      else stuck = true;
      break;
    }
  }
  for (int attempt = 0; attempt < 100 && movedTo.empty() && !stuck; ++attempt) {
    const std::string dest = uniqueFilePath(converted, stem, sourceExt);
    if (dest.empty()) break;
    const WriteResult r = moveFileNoReplace(sourcePath, dest);
    if (r == WriteResult::ok) movedTo = dest;
    else if (r != WriteResult::exists) break;
  }
  if (movedTo.empty()) return rollBack("cannot move it into Converted Banks", " at " + converted);
  librarianLog("moved file " + sourcePath + " to " + movedTo + " due to mismatching data in package!");

  for (Part& p : parts) {
    // A part found on disk may already be listed from this pass's walk.
    const std::vector<PatchFile*>& list = p.bank->type == kBankTypeMulti ? multiBankFiles : soundBankFiles;
    if (std::any_of(list.begin(), list.end(), [&](const PatchFile* f) { return f->filePath == p.bank->filePath; }))
      continue;
    PatchFile* raw = p.bank.release();
    if (raw->type == kBankTypeMulti) {
      multiBankFiles.push_back(raw);
      createMultiFolderFilesStructure(raw);
    } else {
      soundBankFiles.push_back(raw);
      createSingleFolderFilesStructure(raw);
    }
    createCategories(*raw);
  }
  return true;
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
  const WriteResult r = m_writer->writeFile(path, writeBank(*copy, asMidi), replace);
  if (r == WriteResult::exists) {
    fail("not saved: " + path + " already exists", "Bank NOT saved!");
    return false;
  }
  if (r != WriteResult::ok) {
    fail("could not write bank file " + path, "Bank NOT saved!");
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
  std::string target;
  for (int attempt = 0; attempt < 100 && target.empty(); ++attempt) {
    const std::string candidate = uniqueFilePath(folder, stem, ext);
    if (candidate.empty()) break;
    const WriteResult r = m_writer->writeFile(candidate, bytes, false);
    if (r == WriteResult::ok) target = candidate;
    else if (r != WriteResult::exists) break;
  }
  if (target.empty()) {
    fail("import: could not write into " + folder, "Import FAILED!");
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
