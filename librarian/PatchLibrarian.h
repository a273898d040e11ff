// The patch library: every bank file below the library folder, mirrored in memory, with the
// folder, category and search indexes that the librarian's menus and slot grids show.
//
// Threads: the editor's first load runs on a thread of its own (startLoading), into a librarian
// of its own whose lists are then put in place at once; loading again, saving, importing and the
// index builders run on the GUI thread (a reload after a cancelled request may run on the MIDI
// engine's worker) and need that first load; setSysexDatatoSelectedSlot runs on the MIDI input
// thread and needs it too. Whoever needs it reads what is left of it on its own thread rather
// than wait for the load thread (waitForLoad). Every operation that reads or changes the bank
// lists takes bankLock(), and so must any other reader (the slot grid while it draws, the menus
// while they rebuild). The lock is recursive. Bank and index pointers handed out stay valid only
// until the next load, reload or search; take the lock while using them.
//
// Ownership: the librarian owns every PatchFile in its four bank lists and every FolderFiles
// record of its four indexes; the records point to bank files without owning them. It does not
// own its host or its file writer.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BankFileIO.h"
#include "LibrarianIndex.h"
#include "PatchFile.h"
#include "UTIL_Mutex.h"

// What the librarian needs of the editor, kept narrow so that the librarian runs without the
// plug-in framework. Called on the thread of the librarian operation that needs it.
class LibrarianHost {
public:
  virtual ~LibrarianHost() = default;
  // The editor's data type: true while it shows multis.
  virtual bool librarianMultiMode() const = 0;
  // Records which file the upper grid's bank now is (file name with extension and the name of
  // its folder), so the bank menus mark it.
  virtual void setUpperBankRecord(bool multi, const std::string& fileName, const std::string& folderName) = 0;
  // A status text for the user (a failed save or import, a bank that could not be split), and
  // under it, when not empty, the system's reason; `name`, when not empty, is the file's name
  // the reason holds, which the line keeps however short it must be.
  virtual void showLibrarianStatus(const std::string& text, const std::string& reason, const std::string& name) = 0;
};

// The reason under a failure's status, naming the file it is about: "Bank.syx is read-only",
// "Bank.syx: Permission denied".
std::string librarianNamedReason(const std::string& name, const std::string& reason);

// The four flat lists of bank files.
enum class LibrarianList { kSound = 0, kMulti = 1, kCategory = 2, kSearch = 3 };

// The flat list the lower grid shows, for patch type 0 (sounds) or 1 (multis) and the editor's
// category-view and search-view flags; nothing for any other patch type. The slot grid, the bank
// menus and the MIDI engine's librarian sends all take the list from here, so a double click
// sends the entry the user sees. Multis are always the multi banks: category and search banks
// gather sounds only. For sounds the category view is tested before the search view; the
// interface keeps the two apart (each hides or greys the other's switch), so the order only decides
// after a path that left both flags set.
std::optional<LibrarianList> librarianLowerList(int patchType, bool categoryView, bool searchView);

// Removes from text every occurrence of each character in chars ("/\\" strips path separators).
void removeCharsFromString(std::string& text, const char* chars);

class PatchLibrarian {
public:
  explicit PatchLibrarian(LibrarianHost* host = nullptr);
  ~PatchLibrarian();
  PatchLibrarian(const PatchLibrarian&) = delete;
  PatchLibrarian& operator=(const PatchLibrarian&) = delete;

  // ---- Loading (GUI thread) ----
  // Loads every bank file below root (the "Patches" folder). Banks of 1..99 entries are
  // completed in memory; a file of more than 100 entries is split into new files of 100 in its
  // folder, which are listed in its place once every one is on disk, and the file is moved into
  // "Converted Banks". Other loaders (another editor of the project, another process) may load
  // and split the same library at the same time: see splitOversizedBank. A missing root leaves the
  // library as it was (empty at start-up). Appends to the lists: to load again, use
  // initBankFilesOnDiscard.
  void loadPatchesFromFilesystem(const std::string& root);
  // Empties every list and index, then loads again from root. Waits for a load in progress.
  void initBankFilesOnDiscard(const std::string& root);

  // ---- Loading beside the editor's build ----
  // Loads the library below root on a thread of its own, which steps aside whenever another
  // thread wants its processor (see m_stepsAside). Until the whole
  // library is read the lists stay as they are (empty at start-up) and loadPending() is true; then
  // every list, index and the categories are put in place at once under the bank lock, so no
  // reader ever sees half a library. Call once, on an empty librarian. The thread is never
  // waited for: a librarian closed meanwhile leaves it to stop at its next file.
  void startLoading(const std::string& root);
  // Whether the library of startLoading is still to come; puts it in place when the load thread
  // has read it.
  bool loadPending();
  // Returns once a load started by startLoading is in place (at once when none is pending). The
  // calling thread reads the files the load thread has not read yet and finishes the load itself,
  // at its own pace: the load thread steps aside on a busy processor. It waits only for another
  // caller doing so.
  // Never call it holding the bank lock: whoever finishes the load needs it.
  void waitForLoad();
  // Stops a load started by startLoading at the next file (a split under way at its next part,
  // removing what it staged) and puts nothing of it in place; returns at once. The destructor
  // calls it.
  void cancelLoad();
  // Load threads still running in the process, those of closed librarians included.
  static int loadThreadsRunning();
  // What the process's end runs once a part was staged: removes the parts this process staged
  // (those of other processes stay) and lets no split stage another. For a process about to end.
  static void endStaging();
  // The status text of the last background load (a bank that could not be split), once.
  std::string takeLoadStatus();
  // Deletes the records of one index: 0 sound, 1 multi, 2 category, 3 search.
  void clearDataStructures(int which);
  // Reads the bytes of one file into bank, completes it and collects its categories.
  void loadFromChunk(const uint8_t* data, int size, PatchFile& bank);
  // Completes a bank of 1..99 entries with numbered "Init" sounds or init multis.
  void checkBankSizeAndAddData(PatchFile& bank);
  // Adds the bank's categories to `categories`, letter case ignored ("Init" first).
  void createCategories(const PatchFile& bank);
  // Completes a bank of fewer than 100 entries with copies of the init sound or init multi.
  void fillUncompletedBankFiles(PatchFile& bank);

  // ---- Index (GUI thread; LibrarianIndex.cpp) ----
  void createSingleFolderFilesStructure(PatchFile* file);
  void createMultiFolderFilesStructure(PatchFile* file);
  // Builds the category banks (appends; a load empties them first).
  void createNewCategoryPatchFiles();
  // Replaces the search banks and the search index with the sounds whose name contains query
  // (letter case significant), 100 to a bank: n results fill n / 100 + 1 banks, so a multiple of
  // 100 leaves an empty last bank, as with the category banks. searchBankFiles is empty when
  // nothing matched.
  void createNewSearchPatchFiles(const std::string& query);

  // ---- Saving and import (GUI thread) ----
  // Writes the upper grid's bank (cut or completed to 100 entries) to chosenPath as Standard
  // MIDI File or raw SysEx; ".mid" or ".zpk" is appended when the path lacks a fitting bank
  // extension, and a file at the path so made is never replaced (only the chosen path was
  // confirmed). An empty path is a cancelled dialog. On success the host's record of the upper
  // bank names the new file; on failure nothing changes, the host shows a status text and the
  // result is false.
  bool savePatchAs(const std::string& chosenPath, bool asMidi);
  // Writes the upper grid's bank over path; the format follows the extension of name ("mid":
  // Standard MIDI File, else raw). The host's record gets name as the file name.
  bool saveEditedPatch(const std::string& path, const std::string& name);
  // Copies a bank file from anywhere into the library folder under a name that replaces nothing
  // (the bank extension is appended when missing). The library is not reloaded. The path
  // written goes to writtenPath when given.
  bool importBankFile(const std::string& sourcePath, bool midi, std::string* writtenPath = nullptr);

  // ---- Receiving (MIDI input thread) ----
  // Stores a copy of received into slot selectedSlot of the upper bank (cut or completed to 100
  // entries first). Only the capture's last message, the dump that completed it, is stored.
  // Ignored, with a log line, without a selected bank, with a slot outside 0..99, or when that
  // dump is not of the bank's kind. received is only read. True when the bank took it.
  bool setSysexDatatoSelectedSlot(const LibrarianPatch* received);

  // The bank the upper grid shows, or null. Hold bankLock() while using it.
  PatchFile* selectedUpperBank();
  // The bank the lower grid shows (list by librarianLowerList, position lowerSelection), or
  // null. Hold bankLock() while using it.
  PatchFile* selectedLowerBank(bool categoryView, bool searchView);

  // One of the four flat lists. Hold bankLock() while using it.
  std::vector<PatchFile*>& flatList(LibrarianList list);
  // The positions in a flat list of the banks whose file name is fileName, ascending. Hold
  // bankLock(). An index by name is kept per list until the list changes.
  std::vector<int> flatPositionsNamed(LibrarianList list, const std::string& fileName);

  UTIL_Mutex& bankLock() { return m_bankLock; }
  // Changes whenever a list or index gains or loses a bank (a load, a search, a split): what was
  // built from the lists with an equal number may be kept.
  uint64_t generation() const { return m_generation.load(); }
  void setHost(LibrarianHost* host) { m_host = host; }
  // Null restores the default writer (atomic write through a temporary file).
  void setFileWriter(BankFileWriter* writer) { m_writer = writer ? writer : &m_defaultWriter; }

  // Selections, shared with the GUI, the MIDI engine's worker and the MIDI input thread.
  std::atomic<int> upperSelection{0};
  std::atomic<int> lowerSelection{0};
  std::atomic<int> patchType{0};        // 0 sound banks, 1 multi banks
  std::atomic<int> selectedSlot{0};
  std::atomic<int> selectedLowerSlot{0};
  int splitPartCount = 0;               // parts of the bank split last
  bool currentFileSplit = false;        // the last load split a file

  // Guarded by bankLock().
  std::vector<std::string> folderList;
  std::vector<PatchFile*> soundBankFiles;
  std::vector<PatchFile*> multiBankFiles;
  std::vector<PatchFile*> searchBankFiles;
  std::vector<PatchFile*> categoryBankFiles;
  std::vector<FolderFiles*> soundFolderIndex;
  std::vector<FolderFiles*> multiFolderIndex;
  std::vector<FolderFiles*> categoryFolderIndex;
  std::vector<FolderFiles*> searchFolderIndex;
  std::vector<std::string> categories;

private:
  struct FolderEntry {
    std::string path;
    std::vector<std::string> chain;   // library root's name first
    size_t firstFile = 0;             // its bank files in LibraryWalk::files
    size_t fileCount = 0;
    std::vector<std::string> files;   // their names while the walk is made
  };
  // The folders of the library in load order (each after its sub folders, the root last) and
  // the names of their bank files, each folder's in byte order.
  struct LibraryWalk {
    std::vector<FolderEntry> folders;
    std::vector<std::string> files;
    std::vector<size_t> folderOfFile;
  };
  // One bank file as read: its record (null when it holds no bank), or, for a file of more than
  // 100 whole dumps, the whole dumps and the bytes they were read from, for the split.
  struct ReadBank {
    std::unique_ptr<PatchFile> record;
    bool oversized = false;
    std::vector<uint8_t> bytes;
    bool gone = false;   // no longer there when it was to be read
  };
  struct LoadShare;
  class OpenFolders;

  void clearAll();
  // The whole load below root into this librarian: the walk, the reading (shared with the other
  // loaders of share, when given) and finishLoad. A root that is no folder loads nothing (logged).
  // False only when the load was left to another loader of share, or abandoned.
  bool loadLibrary(const std::string& root, LoadShare* share, bool waiter);
  // The walk and the reading of a background load, shared with its other loaders (LoadShare).
  // False when the load is left to another of them; otherwise walk and rootFound are set, and
  // banks holds every file read, or nothing when this loader is to read them all itself.
  bool readShared(LoadShare& share, bool waiter, std::shared_ptr<const LibraryWalk>& walk, bool& rootFound,
                  std::vector<ReadBank>& banks);
  // The walk; false when root is not a folder.
  bool walkLibrary(const std::string& root, LibraryWalk& walk);
  // Appends the sub folders of folder to out and returns the names of folder's own bank files.
  std::vector<std::string> buildFolderStructure(const std::string& folder, const std::vector<std::string>& chain,
                                                std::vector<FolderEntry>& out);
  // Reads the bank file name of folder. Changes nothing of the librarian: any loader may read.
  ReadBank parseFolderFiles(const FolderEntry& folder, const std::string& name, OpenFolders& open);
  // Splits the oversized banks, then lists and indexes every bank, folder by folder.
  void finishLoad(const LibraryWalk& walk, std::vector<ReadBank>& banks);
  // Puts the parts of the oversized file name of folder, as it was read, on disk beside it and
  // moves the file into "Converted Banks". Returns the names in the folder that are its parts, and
  // in *listable whether they are to be listed in its place (once all of them are on disk).
  std::vector<std::string> splitOversizedBank(const FolderEntry& folder, const std::string& name, const ReadBank& read,
                                              bool* listable);
  // Writes a part under a hidden name of its own in folder and checks it there; returns that
  // path, or empty (nothing left behind).
  std::string stagePart(const std::string& folder, const std::string& name, const std::vector<uint8_t>& bytes);
  // Writes a copy of the upper grid's bank to path (an existing file only when replace is true);
  // on failure logs and shows a status text.
  bool writeUpperBank(const std::string& path, bool asMidi, bool replace, std::string* bankFolderName);
  bool multiMode() const;
  // A failure the user asked about: logged, said on standard error and shown as statusText, with
  // the system's reason (reason, when given) on the line under it, after the name of the file
  // it is about (name, when given).
  void fail(const std::string& logText, const std::string& statusText, const std::string& reason = std::string(),
            const std::string& name = std::string());

  // Each log line is composed here, then handed to the librarian log; the loader, the savers and
  // the dump receiver may log from different threads, so m_debugLock guards it.
  std::ostringstream debugStream;
  UTIL_Mutex m_debugLock;
  UTIL_Mutex m_bankLock;
  LibrarianHost* m_host;
  BankFileWriter m_defaultWriter;
  BankFileWriter* m_writer = &m_defaultWriter;
  std::vector<std::unique_ptr<PatchFile>> m_unlistedBanks;   // empty category banks
  std::string m_splitProblem;                                // first failed split of this load

  // Per flat list: its positions sorted by file name, and the list they were sorted from.
  struct NameIndex {
    uint64_t generation = 0;
    const PatchFile* const* data = nullptr;
    size_t size = 0;
    std::vector<uint32_t> byName;
  };
  NameIndex m_nameIndex[4];   // guarded by bankLock()

  // Reads the share's library into a librarian of its own: the load thread's work and each
  // waiter's. Null when the load is left to another reader, or no longer wanted.
  static std::unique_ptr<PatchLibrarian> readLoad(LoadShare& share, bool waiter);
  // Puts a library read for this one's load in place, unless another reader did first.
  void adoptLoad(PatchLibrarian& staging);
  // Puts the library the load thread left in the share in place, if it has.
  void takeArrivedLoad();
  // Between two files of a load into this librarian: false once the load is no longer wanted (its
  // owner cancelled it, or another reader of the same load has put the library in place). The
  // load thread first steps aside for a while when another thread took the processor from it.
  bool keepLoading();
  std::atomic<uint64_t> m_generation{0};
  const LoadShare* m_readingFor = nullptr;   // the load a staging librarian reads for
  // The load thread's staging librarian takes only time that no other thread wants: the
  // system's idle priority is not used, since without privileges it cannot be undone and a
  // thread that a busy processor starves holds up the process's end (the kernel ends a process
  // only once each of its threads has run again).
  bool m_stepsAside = false;
  long m_switchesSeen = 0;
  // The background load: what its readers share, its thread, whether its result is still to
  // come, and its status text. m_share is set before the thread starts and kept until the end.
  std::shared_ptr<LoadShare> m_share;
  std::thread m_loadThread;
  std::atomic<bool> m_loadPending{false};
  std::mutex m_loadMutex;
  std::condition_variable m_loadDone;
  std::string m_loadStatus;   // guarded by m_loadMutex
};
