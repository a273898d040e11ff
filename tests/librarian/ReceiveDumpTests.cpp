#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "BankFormats.h"
#include "BankGenerator.h"
#include "LibrarianLog.h"
#include "PatchLibrarian.h"
#include "../util/Child.h"

using namespace testbanks;

namespace {

// What the MIDI engine's capture hands over: the dump as received, its name, no category.
LibrarianPatch received(const Bytes& dump, bool multi) {
  LibrarianPatch p;
  PatchSysexMessage m;
  m.bytes = dump;
  p.messages.push_back(m);
  p.name.assign(dump.begin() + (multi ? 23 : 370), dump.begin() + (multi ? 39 : 386));
  return p;
}

class ReceiveDump : public ::testing::Test {
protected:
  void SetUp() override {
    writeFile(p("a.syx"), rawBank(sounds(100, "A", {"Bass"})));
    writeFile(p("b.syx"), rawBank(sounds(100, "B", {"Bass"})));
    writeFile(p("c.syx"), rawBank(sounds(100, "C", {"Bass"})));
    writeFile(p("m.syx"), rawBank(multis(100, "M")));
    lib.initBankFilesOnDiscard(home.patches());
    ASSERT_EQ(lib.soundBankFiles.size(), 3u);
  }
  std::string p(const std::string& rel) const { return home.patches() + "/" + rel; }
  TempDataHome home;
  LogCapture log;
  PatchLibrarian lib;
};

}  // namespace

TEST_F(ReceiveDump, SoundLandsInTheSelectedSlotOfTheUpperBankOnly) {
  lib.upperSelection = 2;
  lib.selectedSlot = 5;
  const LibrarianPatch in = received(soundDump("Fresh", "Lead", 77), false);
  const PatchFile before0 = *lib.soundBankFiles[0];
  lib.setSysexDatatoSelectedSlot(&in);
  const LibrarianPatch& e = lib.soundBankFiles[2]->entries[5];
  EXPECT_EQ(e.name, "Fresh           ");
  EXPECT_TRUE(e.category.empty()) << "the capture gives no category";
  EXPECT_EQ(e.messages.size(), 1u);
  EXPECT_EQ(e.messages[0].bytes, in.messages[0].bytes);
  EXPECT_EQ(e.kind, kKindSoundRead);
  EXPECT_EQ(lib.soundBankFiles[2]->entries[4].name, "C 004           ");
  EXPECT_EQ(lib.soundBankFiles[0]->entries[5].name, before0.entries[5].name);
  EXPECT_EQ(lib.selectedSlot, 5) << "the caller moves the slot, not the store";
}

TEST_F(ReceiveDump, OversizedBankIsCutTo100AndTheSecondDumpWins) {
  PatchFile* bank = lib.soundBankFiles[0];
  bank->entries.resize(120);
  lib.selectedSlot = 99;
  const LibrarianPatch first = received(soundDump("First", "Lead", 1), false);
  const LibrarianPatch second = received(soundDump("Second", "Lead", 2), false);
  lib.setSysexDatatoSelectedSlot(&first);
  lib.setSysexDatatoSelectedSlot(&second);
  EXPECT_EQ(bank->entries.size(), 100u);
  EXPECT_EQ(bank->entries[99].name, "Second          ");
}

TEST_F(ReceiveDump, MultiGoesIntoTheMultiBank) {
  lib.patchType = 1;
  lib.selectedSlot = 0;
  const LibrarianPatch in = received(multiDump("Live Set", 3), true);
  lib.setSysexDatatoSelectedSlot(&in);
  EXPECT_EQ(lib.multiBankFiles[0]->entries[0].name, "Live Set        ");
  EXPECT_EQ(lib.multiBankFiles[0]->entries[0].kind, kKindMultiRead);
}

TEST_F(ReceiveDump, BadSlotWrongKindOrNoSelectionIsIgnored) {
  const auto before = [&] {
    std::vector<PatchFile> all;
    for (PatchFile* f : lib.soundBankFiles) all.push_back(*f);
    for (PatchFile* f : lib.multiBankFiles) all.push_back(*f);
    return all;
  }();
  const LibrarianPatch sound = received(soundDump("Stray", "Lead", 9), false);
  const LibrarianPatch multi = received(multiDump("Stray", 9), true);
  const LibrarianPatch empty;
  lib.selectedSlot = 100;
  lib.setSysexDatatoSelectedSlot(&sound);
  lib.selectedSlot = -1;
  lib.setSysexDatatoSelectedSlot(&sound);
  lib.selectedSlot = 3;
  lib.setSysexDatatoSelectedSlot(&multi);    // a multi into a sound bank
  lib.setSysexDatatoSelectedSlot(&empty);
  lib.setSysexDatatoSelectedSlot(nullptr);
  lib.upperSelection = 3;                    // no such sound bank
  lib.setSysexDatatoSelectedSlot(&sound);
  lib.upperSelection = 0;
  lib.patchType = 2;
  lib.setSysexDatatoSelectedSlot(&sound);
  size_t i = 0;
  for (PatchFile* f : lib.soundBankFiles) EXPECT_EQ(f->entries[3].name, before[i++].entries[3].name);
  EXPECT_EQ(lib.multiBankFiles[0]->entries[3].name, before[3].entries[3].name);
  EXPECT_TRUE(log.contains("outside 0..99"));
  EXPECT_TRUE(log.contains("not a sound dump"));
  EXPECT_TRUE(log.contains("no bank selected"));
}

// The capture collects whatever SysEx arrives while it waits; only the dump that completed it
// may go into the slot, or the saved bank reads back with an extra entry and shifted slots.
TEST_F(ReceiveDump, MessagesBeforeTheCompletingDumpAreNotStoredAndTheSavedBankReadsBackWhole) {
  lib.selectedSlot = 5;
  const Bytes full = soundDump("Fresh", "Lead", 77);
  const Bytes cutOff(full.begin(), full.begin() + 60);   // starts like a sound dump
  const Bytes knob = {0xF0, 0x3E, 0x10, 0x00, 0x20, 0x00, 0x05, 0x40, 0xF7};
  for (const Bytes& stray : {cutOff, knob}) {
    LibrarianPatch in;
    for (const Bytes& b : {stray, full}) {
      PatchSysexMessage m;
      m.bytes = b;
      in.messages.push_back(m);
    }
    in.name = "garbage";
    lib.setSysexDatatoSelectedSlot(&in);
    const LibrarianPatch& e = lib.soundBankFiles[0]->entries[5];
    ASSERT_EQ(e.messages.size(), 1u);
    EXPECT_EQ(e.messages[0].bytes, full);
    EXPECT_EQ(e.name, "Fresh           ");
  }
  const std::string out = p("Out.syx");
  ASSERT_TRUE(lib.savePatchAs(out, false));
  const Bytes saved = readFile(out);
  PatchFile back;
  lib.loadFromChunk(saved.data(), static_cast<int>(saved.size()), back);
  ASSERT_EQ(back.entries.size(), 100u);
  EXPECT_EQ(back.entries[5].name, "Fresh           ");
  EXPECT_EQ(back.entries[6].name, lib.soundBankFiles[0]->entries[6].name);
}

// The MIDI input thread stores dumps while the GUI thread reads the bank under the lock and
// switches banks; every read must see whole entries.
TEST_F(ReceiveDump, StoringRacesSafelyWithReadersThatTakeTheLock) {
  const LibrarianPatch in = received(soundDump("Racer", "Lead", 5), false);
  std::atomic<bool> stop{false};
  std::thread midi([&] {
    for (int i = 0; i < 2000; ++i) {
      lib.selectedSlot = i % 100;
      lib.setSysexDatatoSelectedSlot(&in);
    }
    stop = true;
  });
  int reads = 0;
  while (!stop) {
    UTIL_MutexLock lock(&lib.bankLock());
    const PatchFile* bank = lib.selectedUpperBank();
    ASSERT_TRUE(bank);
    ASSERT_EQ(bank->entries.size(), 100u);
    for (const LibrarianPatch& e : bank->entries) ASSERT_EQ(e.messages.at(0).bytes.size(), 392u);
    lib.upperSelection = (++reads) % 3;
  }
  midi.join();
}

// A reload on the GUI thread replaces every bank while dumps keep arriving: the store must
// never touch a bank that the reload has discarded.
TEST_F(ReceiveDump, StoringRacesSafelyWithAReload) {
  const LibrarianPatch in = received(soundDump("Racer", "Lead", 6), false);
  std::atomic<bool> stop{false};
  std::thread midi([&] {
    int i = 0;
    while (!stop) {
      lib.selectedSlot = (i++) % 100;
      lib.setSysexDatatoSelectedSlot(&in);
    }
  });
  for (int r = 0; r < 5; ++r) lib.initBankFilesOnDiscard(home.patches());
  stop = true;
  midi.join();
  UTIL_MutexLock lock(&lib.bankLock());
  ASSERT_EQ(lib.soundBankFiles.size(), 3u);
  for (const PatchFile* f : lib.soundBankFiles) EXPECT_EQ(f->entries.size(), 100u);
}

// The library read beside the editor's build while its folder changes under it: a reader sees it
// before or after, never half of it; a dump that arrives meanwhile waits and lands in the bank
// the user sees; and what is in place at the end agrees with itself and, once read again, with a
// fresh load of what the folder then holds.
TEST(LoadBesideTheBuild, ALibraryChangedWhileItLoadsEndsConsistent) {
  TempDataHome home;
  LogCapture log;
  const std::string root = home.patches();
  constexpr int kFiles = 240;
  auto path = [&](int f) { return root + "/F" + std::to_string(f % 4) + "/b" + std::to_string(1000 + f) + ".syx"; };
  for (int k = 0; k < 4; ++k) makeFolders(root + "/F" + std::to_string(k));
  for (int f = 0; f < kFiles; ++f) writeFile(path(f), rawBank(sounds(100, "S" + std::to_string(f) + "-", {"Bass", "Lead"})));
  // Multis bring the category "" that no sound has: its one bank is empty, indexed but unlisted.
  writeFile(root + "/multis.syx", rawBank(multis(100, "M")));

  PatchLibrarian lib;
  lib.startLoading(root);
  const LibrarianPatch in = received(soundDump("Arrived", "Lead", 7), false);
  std::thread midi([&] {
    lib.selectedSlot = 7;
    lib.setSysexDatatoSelectedSlot(&in);
  });
  for (int change = 0; lib.loadPending(); ++change) {
    const int f = (change * 37) % kFiles;
    const Bytes other = rawBank(sounds(100, "N" + std::to_string(change) + "-", {"Pad "}));
    switch (change % 4) {
      case 0: std::remove(path(f).c_str()); break;
      case 1: writeFile(path(f), Bytes(other.begin(), other.begin() + 20000)); break;  // cut short
      case 2: writeFile(path(f), other); break;
      default: writeFile(root + "/F0/new" + std::to_string(change) + ".syx", other); break;
    }
    UTIL_MutexLock lock(&lib.bankLock());
    EXPECT_TRUE(lib.soundBankFiles.empty() || !lib.loadPending());
  }
  midi.join();

  {
    UTIL_MutexLock lock(&lib.bankLock());
    ASSERT_FALSE(lib.soundBankFiles.empty());
    std::set<const PatchFile*> listed(lib.soundBankFiles.begin(), lib.soundBankFiles.end());
    size_t indexed = 0;
    auto count = [&](const std::vector<PatchFile*>& files) {
      for (const PatchFile* b : files) {
        EXPECT_TRUE(listed.count(b));
        ++indexed;
      }
    };
    for (const FolderFiles* top : lib.soundFolderIndex) {
      count(top->bankFiles);
      for (const SubFolderFiles& s : top->subFolders) {
        count(s.bankFiles);
        for (const SubFolderFiles2& s2 : s.subFolders) count(s2.bankFiles);
      }
    }
    EXPECT_EQ(indexed, listed.size());
    size_t sounds = 0, gathered = 0;
    for (const PatchFile* b : lib.soundBankFiles) {
      ASSERT_EQ(b->entries.size(), 100u) << b->fileName;
      for (size_t i = 0; i < b->entries.size(); ++i) {
        EXPECT_EQ(b->entries.nameAt(i), b->entries[i].name);
        sounds += b->entries.holdsMessage(i) ? 1 : 0;
      }
    }
    for (const PatchFile* c : lib.categoryBankFiles) gathered += c->entries.size();
    EXPECT_EQ(gathered, sounds);
    // The category index holds empty banks that no list owns; they must come over with the load.
    size_t unlisted = 0;
    for (const FolderFiles* top : lib.categoryFolderIndex)
      for (const SubFolderFiles& s : top->subFolders)
        for (const PatchFile* b : s.bankFiles) {
          EXPECT_EQ(b->type, kBankTypeSound);
          EXPECT_EQ(b->folderName, s.name);
          EXPECT_EQ(b->fileName.substr(0, s.name.size() + 1), s.name + " ");
          unlisted += b->entries.empty() ? 1 : 0;
        }
    EXPECT_GE(unlisted, 1u);
    EXPECT_EQ(lib.soundBankFiles.front()->entries[7].name, in.name);
  }
  PatchLibrarian fresh;
  fresh.loadPatchesFromFilesystem(root);
  lib.initBankFilesOnDiscard(root);
  ASSERT_EQ(lib.soundBankFiles.size(), fresh.soundBankFiles.size());
  for (size_t i = 0; i < fresh.soundBankFiles.size(); ++i)
    EXPECT_EQ(lib.soundBankFiles[i]->filePath, fresh.soundBankFiles[i]->filePath);
}

namespace {

// How often each sound named "<prefix> NNN" is in the library's sound banks.
std::map<std::string, int> soundsNamed(PatchLibrarian& lib, const std::string& prefix) {
  std::map<std::string, int> count;
  UTIL_MutexLock lock(&lib.bankLock());
  for (const PatchFile* bank : lib.soundBankFiles)
    for (size_t i = 0; i < bank->entries.size(); ++i)
      if (bank->entries.nameAt(i).substr(0, prefix.size()) == prefix) ++count[std::string(bank->entries.nameAt(i))];
  return count;
}

std::vector<std::string> hiddenOnceLoadsEnd(const std::string& folder) {
  for (int ms = 0; ms < 60000 && PatchLibrarian::loadThreadsRunning() > 0; ++ms) usleep(1000);
  std::vector<std::string> names(PatchLibrarian::loadThreadsRunning() > 0, "(a load thread still runs)");
  for (const auto& kv : snapshot(folder))
    if (kv.first[folder.size() + 1] == '.') names.push_back(kv.first.substr(folder.size() + 1));
  return names;
}

// Sounds of `total` missing, and sounds listed more than once.
std::pair<int, int> lostAndDoubled(const std::map<std::string, int>& count, int total) {
  int doubled = 0;
  for (const auto& kv : count) doubled += kv.second > 1 ? 1 : 0;
  return {total - static_cast<int>(count.size()), doubled};
}

// Holds the load thread in the first file it reads (it logs each) until released, as a thread that
// never gets the processor again; the test's own thread is never held. Nothing here waits more
// than a minute, so a test that depends on the hold fails rather than hangs.
class HeldLoadThread : public ::testing::Test {
protected:
  void SetUp() override {
    waiter = std::this_thread::get_id();
    files = 0, released = false;
    old = setLibrarianLogSink(&sink);
    for (int f = 0; f < 20; ++f) writeFile(home.patches() + "/b" + std::to_string(f) + ".syx", rawBank(sounds(100, "S", {"Bass"})));
    lib->startLoading(home.patches());
    ASSERT_TRUE(withinAMinute([] { return files > 0; }));
  }
  void TearDown() override {
    release();
    loadThreadsEnded();
    setLibrarianLogSink(old);
  }
  static bool release() { return !released.exchange(true); }  // false once the hold gave up
  static bool loadThreadsEnded() { return withinAMinute([] { return PatchLibrarian::loadThreadsRunning() == 0; }); }
  template <class Done> static bool withinAMinute(Done done) {
    for (int ms = 0; ms < 60000; ++ms, std::this_thread::sleep_for(std::chrono::milliseconds(1)))
      if (done()) return true;
    return false;
  }
  static void sink(const std::string& line) {
    if (std::this_thread::get_id() == waiter || line.find("loading file") == std::string::npos) return;
    ++files;
    if (!withinAMinute([] { return released.load(); })) released = true;
  }
  static inline std::thread::id waiter;
  static inline std::atomic<int> files{0};  // files the load thread began
  static inline std::atomic<bool> released{false};
  TempDataHome home;
  LibrarianLogSink old = nullptr;
  std::unique_ptr<PatchLibrarian> lib = std::make_unique<PatchLibrarian>();
};

}  // namespace

// Editors opening at once (a project with the editor on two tracks, or two hosts) load one library
// together and split its bank of 250 sounds together: whoever wins, every instance and the next
// start list every sound exactly once.
TEST(LoadTogether, EverySoundOnceInEveryInstanceAndOnTheNextStart) {
  LogCapture log;
  std::string rounds;
  // Parts a split of an ended process staged are removed; a user's file of a like name is not.
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  ASSERT_TRUE(waitForChild(ended, nullptr));
  const std::string pid = std::to_string(ended), left = ".Big Singles 2.syx.split-" + pid + "-0", user = ".notes.split-" + pid + "-0";
  for (const bool twoProcesses : {false, true}) {
    for (int round = 0; round < 20; ++round) {
      TempDataHome home;
      const std::string root = home.patches();
      writeFile(root + "/Big.syx", rawBank(sounds(250, "Big", {"Bass", "Pad "})));
      for (const std::string& f : {left, "." + left + ".tmp-Ab12Cd", user}) writeFile(root + "/" + f, {1});
      for (int f = 0; f < 6; ++f)
        writeFile(root + "/Other " + std::to_string(f) + ".syx", rawBank(sounds(100, "O", {"Bass"})));
      int go[2], back[2];
      ASSERT_EQ(pipe(go), 0);
      ASSERT_EQ(pipe(back), 0);
      pid_t child = -1;
      if (twoProcesses) {
        child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
          char c;
          if (read(go[0], &c, 1) != 1) _exit(2);
          PatchLibrarian lib;
          lib.loadPatchesFromFilesystem(root);
          const std::pair<int, int> r = lostAndDoubled(soundsNamed(lib, "Big "), 250);
          const int out[2] = {r.first, r.second};
          _exit(write(back[1], out, sizeof out) == sizeof out ? 0 : 3);
        }
      }
      PatchLibrarian a, b;
      ASSERT_EQ(write(go[1], "g", 1), 1);
      a.startLoading(root);
      if (!twoProcesses) b.startLoading(root);
      a.waitForLoad();
      b.waitForLoad();
      std::vector<std::pair<int, int>> seen{lostAndDoubled(soundsNamed(a, "Big "), 250)};
      if (twoProcesses) {
        int in[2] = {-1, -1};
        int status = 0;
        EXPECT_EQ(read(back[0], in, sizeof in), static_cast<ssize_t>(sizeof in));
        EXPECT_TRUE(waitForChild(child, &status));
        seen.emplace_back(in[0], in[1]);
      } else {
        seen.push_back(lostAndDoubled(soundsNamed(b, "Big "), 250));
      }
      for (int fd : {go[0], go[1], back[0], back[1]}) close(fd);
      PatchLibrarian next;
      next.loadPatchesFromFilesystem(root);
      seen.push_back(lostAndDoubled(soundsNamed(next, "Big "), 250));
      if (hiddenOnceLoadsEnd(root) != std::vector<std::string>{user}) rounds += "hidden files left\n";
      for (const auto& s : seen)
        if (s.first != 0 || s.second != 0) {
          rounds += std::string(twoProcesses ? "two processes" : "one process") + ", round " + std::to_string(round) +
                    ": lost " + std::to_string(seen[0].first) + "/" + std::to_string(seen[1].first) + "/" +
                    std::to_string(seen[2].first) + ", doubled " + std::to_string(seen[0].second) + "/" +
                    std::to_string(seen[1].second) + "/" + std::to_string(seen[2].second) + "\n";
          break;
        }
    }
  }
  EXPECT_EQ(rounds, "") << "(lost and doubled sounds: first instance / second instance / next start)";
}

// Held in a part while a waiter takes over, the load thread stages no more; a process ending in a split leaves none
// of its own (another's stay), and stages none once its end has removed them.
TEST(LoadTogether, ASplitNoLongerWantedStopsAtItsNextPartAndLeavesNothingHidden) {
  TempDataHome home;
  writeFile(home.patches() + "/Big.syx", rawBank(sounds(250, "Big", {"Bass"})));
  static std::atomic<int> staged{0};
  static std::atomic<bool> go{false};
  struct Writer : BankFileWriter {
    WriteResult writeFile(const std::string& path, const std::vector<uint8_t>& bytes, bool replace, std::string*) override {
      const bool first = path.find(".split-") != std::string::npos && staged++ == 0;  // the load thread's
      if (first && go) BankFileWriter::writeFile(path, bytes, replace), exit(0);  // a normal end, in the split
      for (int ms = 0; first && !go && ms < 60000; ++ms) usleep(1000);
      return BankFileWriter::writeFile(path, bytes, replace);
    }
  } writer;
  auto lib = std::make_unique<PatchLibrarian>();
  lib->setFileWriter(&writer);
  const std::vector<std::string> live{".Big.syx.split-1-0"};  // a part of a process that runs on
  writeFile(home.patches() + "/" + live[0], {1});
  const pid_t split = fork();
  if ((go = split == 0)) lib->startLoading(home.patches()), sleep(60), _exit(3);
  EXPECT_EQ(0, [&] { int status = -1; return waitForChild(split, &status) ? status : -1; }()) << "no end in the split";
  EXPECT_EQ(hiddenOnceLoadsEnd(home.patches()), live) << "after a process ended in a split";
  const pid_t loader = fork();
  if (loader == 0) PatchLibrarian::endStaging(), PatchLibrarian().loadPatchesFromFilesystem(home.patches()), _exit(0);
  ASSERT_TRUE(waitForChild(loader, nullptr) && access((home.patches() + "/Big.syx").c_str(), F_OK) == 0) << "split once staging ended";
  lib->startLoading(home.patches());
  for (int ms = 0; ms < 60000 && staged == 0; ++ms) usleep(1000);
  lib->waitForLoad();
  lib.reset();
  go = true;
  EXPECT_EQ(hiddenOnceLoadsEnd(home.patches()), live);
  EXPECT_EQ(staged, 1 + 3) << "parts staged: one by the load thread, three by the waiter";
}

// A waiter reads the library itself, and the close that follows returns, while the load thread
// is held; the thread, let go, stops without touching the closed librarian (the sanitizer builds
// watch).
TEST_F(HeldLoadThread, AWaiterAndACloseNeedNothingOfIt) {
  lib->waitForLoad();
  EXPECT_EQ(lib->soundBankFiles.size(), 20u);
  lib.reset();
  EXPECT_TRUE(release()) << "the waiter or the close waited for the load thread";
}

// Cancelled as the editor closes, the load stops at the next file and puts nothing in place (no half
// library, no category banks built for it).
TEST_F(HeldLoadThread, CancelledStopsAtTheNextFileAndPutsNothingInPlace) {
  lib->cancelLoad();
  release();
  lib->waitForLoad();
  ASSERT_TRUE(loadThreadsEnded());
  EXPECT_EQ(files, 1);
  EXPECT_TRUE(lib->soundBankFiles.empty() && lib->categoryBankFiles.empty());
}
