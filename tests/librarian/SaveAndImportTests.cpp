#include <gtest/gtest.h>

#include "BankFormats.h"
#include "BankGenerator.h"
#include "PatchLibrarian.h"

using namespace testbanks;

namespace {

class RecordingHost : public LibrarianHost {
public:
  bool librarianMultiMode() const override { return multi; }
  void setUpperBankRecord(bool m, const std::string& file, const std::string& folder) override {
    recordMulti = m;
    recordFile = file;
    recordFolder = folder;
  }
  void showLibrarianStatus(const std::string& text, const std::string&, const std::string&) override { status = text; }
  bool multi = false;
  bool recordMulti = false;
  std::string recordFile, recordFolder, status;
};

class FailingWriter : public BankFileWriter {
public:
  WriteResult writeFile(const std::string&, const std::vector<uint8_t>&, bool, std::string*) override { return WriteResult::failed; }
};

class SaveBanks : public ::testing::Test {
protected:
  void SetUp() override {
    writeFile(p("Source.syx"), rawBank(sounds(70, "Src", {"Bass"}), 30001));
    writeFile(p("Multis.syx"), rawBank(multis(100, "Mul")));
    lib.initBankFilesOnDiscard(home.patches());
    ASSERT_EQ(lib.soundBankFiles.size(), 1u);
    ASSERT_EQ(lib.multiBankFiles.size(), 1u);
  }
  std::string p(const std::string& rel) const { return home.patches() + "/" + rel; }
  PatchFile readBack(const std::string& path) {
    const Bytes b = readFile(path);
    PatchFile bank;
    lib.loadFromChunk(b.data(), static_cast<int>(b.size()), bank);
    return bank;
  }
  void expectSameEntries(const PatchFile& a, const PatchFile& b) {
    ASSERT_EQ(a.entries.size(), b.entries.size());
    for (size_t i = 0; i < a.entries.size(); ++i) {
      EXPECT_EQ(a.entries[i].name, b.entries[i].name);
      EXPECT_EQ(a.entries[i].category, b.entries[i].category);
      EXPECT_EQ(a.entries[i].messages[0].bytes, b.entries[i].messages[0].bytes) << i;
    }
  }

  TempDataHome home;
  LogCapture log;
  RecordingHost host;
  PatchLibrarian lib{&host};
};

}  // namespace

TEST_F(SaveBanks, BothFormatsHaveTheFullBankSizesAndReadBackIdentically) {
  ASSERT_TRUE(lib.savePatchAs(p("Out.zpk"), false));
  ASSERT_TRUE(lib.savePatchAs(p("Out.mid"), true));
  EXPECT_EQ(readFile(p("Out.zpk")).size(), 39200u);
  EXPECT_EQ(readFile(p("Out.mid")).size(), 39652u);
  expectSameEntries(readBack(p("Out.zpk")), *lib.soundBankFiles[0]);
  expectSameEntries(readBack(p("Out.mid")), *lib.soundBankFiles[0]);
  EXPECT_EQ(host.recordFile, "Out.mid");
  EXPECT_EQ(host.recordFolder, "Patches");
}

TEST_F(SaveBanks, MultiBankInMultiModeRoundTrips) {
  host.multi = true;
  lib.patchType = 1;
  ASSERT_TRUE(lib.savePatchAs(p("M.mid"), true));
  EXPECT_EQ(readFile(p("M.mid")).size(), 39752u);
  expectSameEntries(readBack(p("M.mid")), *lib.multiBankFiles[0]);
  EXPECT_TRUE(host.recordMulti);
}

TEST_F(SaveBanks, PathWithoutBankExtensionGetsOne) {
  ASSERT_TRUE(lib.savePatchAs(p("Plain"), false));
  ASSERT_TRUE(lib.savePatchAs(p("Tune.syx"), true));
  EXPECT_TRUE(pathExists(p("Plain.zpk")));
  EXPECT_TRUE(pathExists(p("Tune.syx.mid")));
  EXPECT_FALSE(pathExists(p("Plain")));
  EXPECT_EQ(host.recordFile, "Tune.syx.mid");
}

TEST_F(SaveBanks, AnAddedExtensionNeverReplacesAnExistingBank) {
  // The dialog confirmed "Keep" and "Tune.syx", not the names the saver makes of them.
  writeFile(p("Keep.zpk"), {1, 2, 3});
  writeFile(p("Tune.syx.mid"), {4, 5, 6});
  EXPECT_FALSE(lib.savePatchAs(p("Keep"), false));
  EXPECT_EQ(host.status, "Bank NOT saved!");
  EXPECT_FALSE(lib.savePatchAs(p("Tune.syx"), true));
  EXPECT_EQ(readFile(p("Keep.zpk")), Bytes({1, 2, 3}));
  EXPECT_EQ(readFile(p("Tune.syx.mid")), Bytes({4, 5, 6}));
  EXPECT_TRUE(host.recordFile.empty());
  EXPECT_TRUE(log.contains("already exists"));
}

TEST_F(SaveBanks, OnlyTheFirst100EntriesAreWrittenAndTheLibraryBankIsUntouched) {
  PatchFile* bank = lib.soundBankFiles[0];
  for (int i = 0; i < 20; ++i) bank->entries.push_back(bank->entries[i]);
  ASSERT_TRUE(lib.savePatchAs(p("Cut.syx"), false));
  EXPECT_EQ(readFile(p("Cut.syx")).size(), 39200u);
  EXPECT_EQ(bank->entries.size(), 120u);
}

TEST_F(SaveBanks, CancelledDialogWritesNothing) {
  const auto before = snapshot(home.base());
  EXPECT_FALSE(lib.savePatchAs("", true));
  EXPECT_EQ(snapshot(home.base()), before);
  EXPECT_TRUE(host.status.empty());
  EXPECT_TRUE(host.recordFile.empty());
}

TEST_F(SaveBanks, UnwritablePathFailsVisiblyAndChangesNothing) {
  writeFile(p("NotAFolder"), {1, 2, 3});
  const auto before = snapshot(home.base());
  EXPECT_FALSE(lib.savePatchAs(p("NotAFolder/Bank.zpk"), false));
  EXPECT_EQ(snapshot(home.base()), before);
  EXPECT_EQ(host.status, "Bank NOT saved!");
  EXPECT_TRUE(host.recordFile.empty());
  EXPECT_TRUE(log.contains("could not write bank file"));
}

TEST_F(SaveBanks, NoSelectedBankFailsVisibly) {
  lib.upperSelection = 5;
  EXPECT_FALSE(lib.savePatchAs(p("X.zpk"), false));
  EXPECT_EQ(host.status, "No bank selected!");
  EXPECT_FALSE(pathExists(p("X.zpk")));
}

TEST_F(SaveBanks, OverwriteReplacesTheFileWholeAndAFailedOneKeepsTheOld) {
  const Bytes old = readFile(p("Source.syx"));
  lib.soundBankFiles[0]->entries[0].messages[0].bytes[100] = 0x55;
  FailingWriter failing;
  lib.setFileWriter(&failing);
  EXPECT_FALSE(lib.saveEditedPatch(p("Source.syx"), "Source.syx"));
  EXPECT_EQ(readFile(p("Source.syx")), old);
  EXPECT_EQ(host.status, "Bank NOT saved!");
  lib.setFileWriter(nullptr);
  ASSERT_TRUE(lib.saveEditedPatch(p("Source.syx"), "Source.syx"));
  const Bytes now = readFile(p("Source.syx"));
  EXPECT_EQ(now.size(), 39200u);
  EXPECT_EQ(now[100], 0x55);
  EXPECT_EQ(host.recordFile, "Source.syx");
  EXPECT_EQ(host.recordFolder, "Patches");
  EXPECT_EQ(snapshot(home.patches()).size(), 2u) << "no temporary file is left behind";
}

TEST_F(SaveBanks, ImportCopiesIntoTheLibraryUnderAFreeName) {
  const std::string outside = home.base() + "/Desktop";
  makeFolders(outside);
  const Bytes a = rawBank(sounds(100, "Imp", {"Pad "}));
  writeFile(outside + "/Warm Pads.syx", a);
  writeFile(outside + "/Source.syx", a);
  writeFile(outside + "/noext", a);
  const Bytes existing = readFile(p("Source.syx"));
  std::string written;
  ASSERT_TRUE(lib.importBankFile(outside + "/Warm Pads.syx", false, &written));
  EXPECT_EQ(written, p("Warm Pads.syx"));
  EXPECT_EQ(readFile(written), a);
  EXPECT_TRUE(log.contains("FILE IMPORTER: patch file copied to " + home.patches()));
  ASSERT_TRUE(lib.importBankFile(outside + "/Source.syx", false, &written));
  EXPECT_EQ(written, p("Source (2).syx"));
  EXPECT_EQ(readFile(p("Source.syx")), existing);
  ASSERT_TRUE(lib.importBankFile(outside + "/noext", true, &written));
  EXPECT_EQ(written, p("noext.mid"));
}

TEST_F(SaveBanks, ImportOfAMissingFileFailsVisibly) {
  // And a file the loader would pass over is refused, saying why, rather than copied to vanish.
  const std::string outside = home.base() + "/Desktop";
  makeFolders(outside);
  writeFile(outside + "/One Sound.syx", rawBank(sounds(1, "One", {"Bass"})));
  writeFile(outside + "/Small Bank.syx", rawBank(sounds(76, "Sm", {"Bass"})));
  writeFile(outside + "/Not A Bank.syx", Bytes(40000, 0x41));
  const struct {
    const char* file;
    const char* status;
  } cases[] = {{"missing.syx", "Import FAILED!"},
               {"One Sound.syx", "Import refused: file too small!"},
               {"Small Bank.syx", "Import refused: file too small!"},
               {"Not A Bank.syx", "Import refused: no bank data!"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    host.status.clear();
    const auto before = snapshot(home.base());
    EXPECT_FALSE(lib.importBankFile(outside + "/" + c.file, false));
    EXPECT_EQ(host.status, c.status);
    EXPECT_EQ(snapshot(home.base()), before);
  }
}

TEST(RemoveCharsFromString, RemovesEveryOccurrenceOfEachCharacter) {
  std::string s = "/Banks\\Factory/";
  removeCharsFromString(s, "/\\");
  EXPECT_EQ("BanksFactory", s);
  std::string t = "a-b-c";
  removeCharsFromString(t, "");
  removeCharsFromString(t, nullptr);
  EXPECT_EQ("a-b-c", t);
  removeCharsFromString(t, "abc-");
  EXPECT_EQ("", t);
}
