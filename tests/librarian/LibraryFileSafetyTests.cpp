// What the loader and the savers do when names are unusual, files are hostile and the file
// system misbehaves: no bank may be lost or duplicated, and the user's folder never floods.
// File system calls are made to fail (or to fail after taking effect) through FileCalls.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>

#include "BankFormats.h"
#include "BankGenerator.h"
#include "PatchLibrarian.h"
#include "../util/NotAFile.h"
#include "../util/Unprivileged.h"

using namespace testbanks;

namespace {

class StatusHost : public LibrarianHost {
public:
  bool librarianMultiMode() const override { return false; }
  void setUpperBankRecord(bool, const std::string&, const std::string&) override {}
  void showLibrarianStatus(const std::string& text, const std::string& why, const std::string& name) override {
    statuses.push_back(text + " / " + why + (name.empty() ? "" : " [" + name + "]"));
  }
  std::vector<std::string> statuses;
};

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

// Passes every call through, except those `rule` picks: a picked call is either not made, or made
// and then reported as failed (a reply lost on the way back), with the rule's errno.
class FaultyCalls : public FileCalls {
public:
  enum class Op { renameNoReplace, rename, link, unlink };
  struct Fault {
    bool fail = false;
    bool performFirst = false;
    int err = EIO;
  };
  std::function<Fault(Op, const std::string& from, const std::string& to)> rule;

  int renameNoReplace(int fd, const std::string& f, int td, const std::string& t) override {
    return apply(Op::renameNoReplace, f, t, [&] { return FileCalls::renameNoReplace(fd, f, td, t); });
  }
  int rename(int fd, const std::string& f, int td, const std::string& t) override {
    return apply(Op::rename, f, t, [&] { return FileCalls::rename(fd, f, td, t); });
  }
  int link(int fd, const std::string& f, int td, const std::string& t) override {
    return apply(Op::link, f, t, [&] { return FileCalls::link(fd, f, td, t); });
  }
  int unlink(int fd, const std::string& p) override {
    return apply(Op::unlink, p, "", [&] { return FileCalls::unlink(fd, p); });
  }

private:
  template <typename Real>
  int apply(Op op, const std::string& f, const std::string& t, Real real) {
    const Fault fault = rule ? rule(op, f, t) : Fault{};
    if (!fault.fail) return real();
    if (fault.performFirst) real();
    errno = fault.err;
    return -1;
  }
};

class ScopedCalls {
public:
  explicit ScopedCalls(FileCalls* c) : m_old(setFileCalls(c)) {}
  ~ScopedCalls() { setFileCalls(m_old); }

private:
  FileCalls* m_old;
};

class FileSafety : public ::testing::Test {
protected:
  TempDataHome home;
  LogCapture log;
  StatusHost host;
  PatchLibrarian lib{&host};

  void load() { lib.initBankFilesOnDiscard(home.patches()); }
  std::string p(const std::string& rel) const { return home.patches() + "/" + rel; }
  std::vector<std::string> soundNames() const {
    std::vector<std::string> out;
    for (const PatchFile* f : lib.soundBankFiles) out.push_back(f->fileName);
    return out;
  }
  // Names of the files in a folder, relative to it ("" when the folder is missing).
  std::vector<std::string> filesIn(const std::string& folder) const {
    std::vector<std::string> out;
    for (const auto& kv : snapshot(folder)) out.push_back(kv.first.substr(folder.size() + 1));
    return out;
  }
};

}  // namespace

TEST_F(FileSafety, BackslashIsPartOfANameNeverASeparator) {
  const Bytes warm = rawBank(sounds(100, "Real", {"Pad "}));
  writeFile(p("Warm.syx"), warm);
  writeFile(p("Pads\\Warm.syx"), rawBank(sounds(100, "Pads", {"Pad "})));
  const Bytes big = rawBank(sounds(150, "Big", {"Bass"}));
  const Bytes up = rawBank(sounds(150, "Up", {"Bass"}));
  writeFile(p("Pads\\Big.syx"), big);
  writeFile(p("..\\Up.syx"), up);
  load();
  EXPECT_EQ(soundNames(), (std::vector<std::string>{"..\\Up Singles 1.syx", "..\\Up Singles 2.syx",
                                                    "Pads\\Big Singles 1.syx", "Pads\\Big Singles 2.syx",
                                                    "Pads\\Warm.syx", "Warm.syx"}));
  EXPECT_EQ(readFile(home.converted() + "/..\\Up.syx"), up);
  EXPECT_EQ(readFile(home.converted() + "/Pads\\Big.syx"), big);
  EXPECT_EQ(filesIn(home.dataFolder() + "Patches").size(), 6u) << "every bank stays in the library";
  for (const PatchFile* f : lib.soundBankFiles) EXPECT_EQ(f->filePath, p(f->fileName));

  // "Save" over the bank "Pads\Warm.syx" writes that file, never "Warm.syx".
  lib.upperSelection = 4;
  PatchFile* bank = lib.selectedUpperBank();
  ASSERT_TRUE(bank && bank->fileName == "Pads\\Warm.syx");
  bank->entries[0] = bank->entries[1];
  ASSERT_TRUE(lib.saveEditedPatch(home.patches() + "/" + bank->fileName, bank->fileName));
  EXPECT_EQ(readFile(p("Warm.syx")), warm);
  EXPECT_EQ(readFile(p("Pads\\Warm.syx")), writeBank(*bank, false));
}

// A rename that took effect but reported failure must count as done: nothing lost, nothing twice.
TEST_F(FileSafety, CallsThatFailAfterTakingEffectCountAsDone) {
  using Op = FaultyCalls::Op;
  struct Case {
    const char* what;
    std::function<bool(Op, const std::string&, const std::string&)> lies;
  };
  const Case cases[] = {
      {"move of the split source",
       [](Op op, const std::string&, const std::string& to) { return op != Op::unlink && contains(to, "Converted Banks/"); }},
      {"rename of a part", [](Op op, const std::string&, const std::string& to) {
         return op != Op::unlink && contains(to, "Bank Singles 1.syx");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDataHome caseHome;
    PatchLibrarian caseLib(&host);
    const std::string patches = caseHome.patches();
    const Bytes file = rawBank(sounds(150, "Big", {"Bass"}));
    writeFile(patches + "/Bank.syx", file);
    FaultyCalls calls;
    calls.rule = [&](Op op, const std::string& f, const std::string& t) {
      FaultyCalls::Fault fault;
      fault.fail = fault.performFirst = c.lies(op, f, t);
      return fault;
    };
    {
      ScopedCalls scoped(&calls);
      caseLib.initBankFilesOnDiscard(patches);
    }
    EXPECT_EQ(filesIn(patches), (std::vector<std::string>{"Bank Singles 1.syx", "Bank Singles 2.syx"}));
    EXPECT_EQ(readFile(caseHome.converted() + "/Bank.syx"), file);
    EXPECT_EQ(caseLib.soundBankFiles.size(), 2u);
    caseLib.initBankFilesOnDiscard(patches);
    EXPECT_EQ(filesIn(patches), (std::vector<std::string>{"Bank Singles 1.syx", "Bank Singles 2.syx"}));
  }

  // An import whose last rename lost its reply is in the library, and says so.
  const std::string outside = home.base() + "/Desktop";
  makeFolders(outside);
  const Bytes bank = rawBank(sounds(100, "Imp", {"Pad "}));
  writeFile(outside + "/Imported.syx", bank);
  FaultyCalls calls;
  calls.rule = [](Op op, const std::string&, const std::string& to) {
    FaultyCalls::Fault fault;
    fault.fail = fault.performFirst = op != Op::unlink && contains(to, "Imported.syx");
    return fault;
  };
  ScopedCalls scoped(&calls);
  EXPECT_TRUE(lib.importBankFile(outside + "/Imported.syx", false));
  EXPECT_EQ(filesIn(home.patches()), std::vector<std::string>{"Imported.syx"});
  EXPECT_TRUE(host.statuses.empty());
}

// Without RENAME_NOREPLACE names move by link and unlink; an unlink that fails must neither
// leave a hidden file behind nor leave a bank in two places for the next start to split again.
TEST_F(FileSafety, FailedRemovalsAreRetriedOrUndoneNeverLeftToMultiply) {
  using Op = FaultyCalls::Op;
  struct Case {
    const char* what;
    int renameErr;                  // what renameNoReplace answers (without doing anything)
    std::string failUnlinkOf;       // unlink of paths containing this fails ...
    int failures;                   // ... this many times (-1: always)
    std::vector<std::string> patchesAfter;
    size_t convertedAfter;
  };
  const Case cases[] = {
      {"temporary file removed on the second try", EINVAL, ".tmp-", 1,
       {"Bank Singles 1.syx", "Bank Singles 2.syx"}, 1},
      // The parts, once published, stay (another instance may list them), and are listed while
      // the source stays; no start adds another copy.
      {"source that cannot be removed keeps one name", EINVAL, "Patches/Bank.syx", -1,
       {"Bank Singles 1.syx", "Bank Singles 2.syx", "Bank.syx"}, 0},
      {"copy across file systems whose source stays", EXDEV, "Bank.syx", -1,
       {"Bank Singles 1.syx", "Bank Singles 2.syx", "Bank.syx"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDataHome caseHome;
    StatusHost caseHost;
    PatchLibrarian caseLib(&caseHost);
    const std::string patches = caseHome.patches();
    const Bytes file = rawBank(sounds(150, "Big", {"Bass"}));
    writeFile(patches + "/Bank.syx", file);
    int failed = 0;
    FaultyCalls calls;
    calls.rule = [&](Op op, const std::string& f, const std::string& t) {
      FaultyCalls::Fault fault;
      fault.err = c.renameErr;
      if (op == Op::renameNoReplace) {
        // Across file systems only the move between the two folders is refused.
        fault.fail = c.renameErr != EXDEV || (contains(f, "Patches/") && contains(t, "Converted Banks/"));
      } else if (op == Op::unlink && contains(f, c.failUnlinkOf) && (c.failures < 0 || failed < c.failures)) {
        ++failed;
        fault.fail = true;
        fault.err = EIO;
      }
      return fault;
    };
    ScopedCalls scoped(&calls);
    for (int start = 0; start < 2; ++start) {
      caseLib.initBankFilesOnDiscard(patches);
      EXPECT_EQ(filesIn(patches), c.patchesAfter) << "start " << start;
      EXPECT_EQ(filesIn(caseHome.converted()).size(), c.convertedAfter) << "start " << start;
    }
    if (c.patchesAfter.size() == 3) {
      EXPECT_EQ(readFile(patches + "/Bank.syx"), file);
      EXPECT_FALSE(caseHost.statuses.empty());
      EXPECT_EQ(caseLib.soundBankFiles.size(), 2u);
    }
  }
}

TEST_F(FileSafety, ASplitThatCannotCleanUpLeavesNothingTheNextStartSplitsAgain) {
  // No RENAME_NOREPLACE and no removal ever succeeds: each start gets a little further with the
  // split (a part left by the last start is taken as written) and none adds a copy.
  using Op = FaultyCalls::Op;
  const Bytes file = rawBank(sounds(250, "Big", {"Bass"}));
  writeFile(p("Bank.syx"), file);
  FaultyCalls calls;
  calls.rule = [](Op op, const std::string&, const std::string&) {
    FaultyCalls::Fault fault;
    fault.fail = op == Op::renameNoReplace || op == Op::unlink;
    fault.err = op == Op::renameNoReplace ? EINVAL : EIO;
    return fault;
  };
  ScopedCalls scoped(&calls);
  std::vector<std::string> shown;
  for (int start = 0; start < 6; ++start) {
    load();
    shown.clear();
    for (const std::string& name : filesIn(home.patches()))
      if (name[0] != '.') shown.push_back(name);
    for (const std::string& name : shown) EXPECT_EQ(name.find(" ("), std::string::npos) << name << ", start " << start;
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"Bank Singles 1.syx", "Bank Singles 2.syx", "Bank Singles 3.syx",
                                             "Bank.syx"}));
  EXPECT_EQ(readFile(p("Bank.syx")), file);
  EXPECT_EQ(soundNames(), (std::vector<std::string>{"Bank Singles 1.syx", "Bank Singles 2.syx", "Bank Singles 3.syx"}));
}

TEST_F(FileSafety, ANameTakenOrASourceChangedMeanwhileIsLeftAlone) {
  const Bytes other = rawBank(sounds(100, "Other", {"Pad "}));
  writeFile(p("Bank.syx"), rawBank(sounds(150, "Big", {"Bass"})));
  FaultyCalls calls;
  calls.rule = [&](FaultyCalls::Op op, const std::string&, const std::string& to) {
    if (op != FaultyCalls::Op::unlink && contains(to, "/Bank Singles"))
      writeFile(contains(to, " 1.syx") && !pathExists(to) ? to : p("Bank.syx"), other);
    return FaultyCalls::Fault{};
  };
  ScopedCalls scoped(&calls);
  load();
  const std::vector<std::string> files{"Bank Singles 1 (2).syx", "Bank Singles 1.syx", "Bank Singles 2.syx", "Bank.syx"};
  EXPECT_EQ(filesIn(home.patches()), files);
  EXPECT_TRUE(readFile(p("Bank Singles 1.syx")) == other && readFile(p("Bank.syx")) == other);
}

TEST_F(FileSafety, OnlyWholeDumpsCountSoASmallHostileFileCannotFloodTheLibrary) {
  const Bytes header = {0xF0, 0x3E, 0x10, 0x00, 0x10, 0x00, 0xF7};
  auto headers = [&](size_t bytes) {
    Bytes out;
    while (out.size() + header.size() <= bytes) out.insert(out.end(), header.begin(), header.end());
    return out;
  };
  Bytes mixed;
  for (const Bytes& s : sounds(150, "Real", {"Bass"})) {
    mixed.insert(mixed.end(), s.begin(), s.end());
    for (int i = 0; i < 3; ++i) mixed.insert(mixed.end(), header.begin(), header.end());
  }
  struct Case {
    const char* what;
    Bytes file;
    std::vector<std::string> after;
  };
  const Case cases[] = {
      {"1 MiB of headers", headers(1 << 20), {"Flood.syx"}},
      {"30 KB of headers", headers(30030), {"Flood.syx"}},
      {"150 dumps among 450 headers", mixed, {"Flood Singles 1.syx", "Flood Singles 2.syx"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDataHome caseHome;
    LogCapture caseLog;
    PatchLibrarian caseLib;
    writeFile(caseHome.patches() + "/Flood.syx", c.file);
    caseLib.initBankFilesOnDiscard(caseHome.patches());
    EXPECT_EQ(filesIn(caseHome.patches()), c.after);
    if (c.after.size() == 1) {
      EXPECT_TRUE(caseLib.soundBankFiles.empty());
      EXPECT_TRUE(caseLog.contains("no sound or multi dump in file"));
    } else {
      EXPECT_EQ(caseLib.soundBankFiles[1]->entries[49].name, "Real 149        ");
      EXPECT_EQ(caseLib.soundBankFiles[1]->entries[50].name, "Init Patch   vTn");
    }
  }
}

TEST_F(FileSafety, SavingABankThatIsALinkWritesTheLinkedFile) {
  const std::string elsewhere = home.base() + "/Elsewhere";
  makeFolders(elsewhere);
  writeFile(elsewhere + "/Target.syx", rawBank(sounds(100, "Linked", {"Pad "})));
  ASSERT_EQ(symlink((elsewhere + "/Target.syx").c_str(), p("Link.syx").c_str()), 0);
  load();
  ASSERT_EQ(soundNames(), std::vector<std::string>{"Link.syx"});
  PatchFile* bank = lib.soundBankFiles[0];
  bank->entries[0] = bank->entries[1];
  ASSERT_TRUE(lib.saveEditedPatch(p("Link.syx"), "Link.syx"));
  struct stat st;
  ASSERT_EQ(lstat(p("Link.syx").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(readFile(elsewhere + "/Target.syx"), writeBank(*bank, false));
  EXPECT_EQ(filesIn(elsewhere), std::vector<std::string>{"Target.syx"}) << "no temporary file left";
}

// The bank's folder swapped for a link to another between the writer's steps (at its rename):
// neither the temporary nor the bank lands in the other folder, and nothing is left behind.
TEST_F(FileSafety, AFolderSwappedForALinkMidSaveReceivesNothing) {
  const std::string a = home.base() + "/A", moved = home.base() + "/Moved", other = home.base() + "/Other";
  makeFolders(a), makeFolders(other);
  bool swap = false;
  FaultyCalls calls;
  calls.rule = [&](FaultyCalls::Op op, const std::string&, const std::string&) {
    if (op != FaultyCalls::Op::unlink && swap) swap = rename(a.c_str(), moved.c_str()) + symlink("Other", a.c_str()) != 0;
    return FaultyCalls::Fault{};
  };
  ScopedCalls scoped(&calls);
  BankFileWriter writer;
  for (const bool replace : {false, true}) {
    std::string why;
    swap = true;
    EXPECT_EQ(writer.writeFile(a + "/Bank.syx", {1, 2, 3}, replace, &why), WriteResult::ok) << why;
    ASSERT_EQ(0, swap + unlink(a.c_str()) + rename(moved.c_str(), a.c_str()));
  }
  EXPECT_TRUE(filesIn(other).empty() && filesIn(a) == std::vector<std::string>{"Bank.syx"}) << filesIn(a).size();
}

TEST_F(FileSafety, AFailedSplitIsShownOnceInTheStatusLineAndLogged) {
  writeFile(p("One.syx"), rawBank(sounds(120, "One", {"Bass"})));
  writeFile(p("Two.syx"), rawBank(sounds(130, "Two", {"Bass"})));
  writeFile(home.converted(), {9, 9, 9});   // "Converted Banks" cannot be made
  load();
  ASSERT_EQ(host.statuses.size(), 1u);
  EXPECT_TRUE(contains(host.statuses[0], "One.syx could not be split: ")) << host.statuses[0];
  EXPECT_TRUE(log.contains("could not split"));
}

TEST_F(FileSafety, ASaveWritesOnlyOverARegularFileAndANewBankTakesTheUmask) {
  const std::string path = p("Out.syx"), node = path + ".node";
  writeFile(p("Source.syx"), rawBank(sounds(100, "Src", {"Bass"})));
  // A new bank takes the umask, a replaced one keeps its mode; one the user may not write or read
  // is not replaced (the library loads in each run as that user).
  giveToUnprivileged(home.base());
  for (const mode_t mask : {022, 027, 077})
    runUnprivileged(mask, [&] {
      struct stat st, before;
      load();
      EXPECT_TRUE(lib.savePatchAs(p("New.syx"), false) && stat(p("New.syx").c_str(), &st) == 0 && (st.st_mode & 0777) == (0666 & ~mask));
      for (const mode_t mode : {0640, 0444, 0200}) {
        writeFile(path, {1, 2, 3});
        ASSERT_EQ(0, chmod(path.c_str(), mode) + stat(path.c_str(), &before));
        const bool saved = lib.saveEditedPatch(path, "Out.syx");
        EXPECT_TRUE(saved == (mode == 0640) && stat(path.c_str(), &st) == 0 && (st.st_mode & 0777) == mode &&
                    (st.st_ino == before.st_ino) != saved) << std::oct << mode;
        EXPECT_TRUE(saved || host.statuses.back() == (mode == 0444 ? "Bank NOT saved! / Out.syx is read-only [Out.syx]" : "Bank NOT saved! / Out.syx: Permission denied [Out.syx]"));
        unlink(path.c_str());
      }
      unlink(p("New.syx").c_str());
    });
  load();
  if (getuid() == 0) {
    // Root's save leaves a bank its owner's (no set-id bit kept), and one made read-only as it was.
    for (const mode_t mode : {02640, 0444}) {
      struct stat st, before;
      writeFile(path, {1, 2, 3});
      ASSERT_EQ(0, chown(path.c_str(), 65534, 65534) + chmod(path.c_str(), mode) + stat(path.c_str(), &before));
      const bool saved = lib.saveEditedPatch(path, "Out.syx");
      EXPECT_TRUE(saved == (mode != 0444) && stat(path.c_str(), &st) == 0 && st.st_uid == 65534 && st.st_gid == 65534 &&
                  (st.st_mode & 07777) == (mode & 0777) && (st.st_ino == before.st_ino) != saved) << std::oct << mode;
      EXPECT_TRUE(saved || host.statuses.back() == "Bank NOT saved! / Out.syx is read-only [Out.syx]");
    }
  }
  for (const NotAFile& k : notAFileKinds(path, node)) {
    struct stat before;
    if (system(("rm -rf '" + path + "' '" + node + "'").c_str()) != 0 || (k.make() != 0 && errno == EPERM)) continue;
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    testing::internal::CaptureStderr();  // the terminal hears of it, log or no log
    EXPECT_FALSE(lib.savePatchAs(path, false));
    EXPECT_TRUE(contains(testing::internal::GetCapturedStderr(), "PATCH LIBRARIAN: not saved: " + path + " " + k.said));
    EXPECT_TRUE(leftAsItWas(path, before));
    EXPECT_TRUE(log.contains(std::string(k.said) + ", not a file; left as it was") &&
                host.statuses.back() == "Bank NOT saved! / Out.syx " + std::string(k.said) + ", not a file [Out.syx]");
  }
}
