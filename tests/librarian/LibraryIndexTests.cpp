#include <gtest/gtest.h>

#include "BankGenerator.h"
#include "PatchLibrarian.h"

using namespace testbanks;

namespace {

PatchFile* bankIn(std::vector<std::string> chain, const std::string& file) {
  auto* f = new PatchFile();
  f->fileName = file;
  f->folderName = chain.back();
  f->folderChain = std::move(chain);
  return f;
}

class FolderIndex : public ::testing::Test {
protected:
  ~FolderIndex() override {
    clearFolderIndex(index);
    for (PatchFile* f : files) delete f;
  }
  PatchFile* add(std::vector<std::string> chain, const std::string& file) {
    files.push_back(bankIn(std::move(chain), file));
    placeInFolderIndex(index, files.back());
    return files.back();
  }
  std::vector<FolderFiles*> index;
  std::vector<PatchFile*> files;
};

class LibraryBanks : public ::testing::Test {
protected:
  void load() { lib.initBankFilesOnDiscard(home.patches()); }
  std::string p(const std::string& rel) const { return home.patches() + "/" + rel; }
  static size_t total(const std::vector<PatchFile*>& banks) {
    size_t n = 0;
    for (const PatchFile* b : banks) n += b->entries.size();
    return n;
  }
  TempDataHome home;
  LogCapture log;
  PatchLibrarian lib;
};

}  // namespace

TEST_F(FolderIndex, FilesArePlacedByTheirFolderDepth) {
  PatchFile* b = add({"Patches", "A", "B"}, "b.syx");
  PatchFile* a = add({"Patches", "A"}, "a.syx");
  PatchFile* r = add({"Patches"}, "r.syx");
  ASSERT_EQ(index.size(), 2u);
  const FolderFiles* top = index[0];
  EXPECT_TRUE(top->name.empty());
  ASSERT_EQ(top->subFolders.size(), 1u);
  EXPECT_EQ(top->subFolders[0].name, "A");
  EXPECT_EQ(top->subFolders[0].bankFiles, std::vector<PatchFile*>{a});
  ASSERT_EQ(top->subFolders[0].subFolders.size(), 1u);
  EXPECT_EQ(top->subFolders[0].subFolders[0].name, "B");
  EXPECT_EQ(top->subFolders[0].subFolders[0].bankFiles, std::vector<PatchFile*>{b});
  EXPECT_EQ(index[1]->name, "Patches");
  EXPECT_TRUE(index[1]->subFolders.empty());
  EXPECT_EQ(index[1]->bankFiles, std::vector<PatchFile*>{r});
}

TEST_F(FolderIndex, SiblingFoldersShareTheirParentsRecord) {
  PatchFile* warm = add({"Patches", "Pads", "Warm"}, "w.syx");
  PatchFile* soft = add({"Patches", "Pads", "Soft"}, "s.syx");
  PatchFile* pads = add({"Patches", "Pads"}, "p.syx");
  ASSERT_EQ(index.size(), 1u);
  const SubFolderFiles& s = index[0]->subFolders.at(0);
  EXPECT_EQ(s.bankFiles, std::vector<PatchFile*>{pads});
  ASSERT_EQ(s.subFolders.size(), 2u);
  EXPECT_EQ(s.subFolders[0].bankFiles, std::vector<PatchFile*>{warm});
  EXPECT_EQ(s.subFolders[1].bankFiles, std::vector<PatchFile*>{soft});
}

TEST_F(FolderIndex, EquallyNamedFoldersBelowDifferentParentsStayApart) {
  add({"Patches", "A", "Bass"}, "1.syx");
  add({"Patches", "B", "Bass"}, "2.syx");
  ASSERT_EQ(index.size(), 2u);
  EXPECT_EQ(index[0]->subFolders[0].subFolders[0].bankFiles.size(), 1u);
  EXPECT_EQ(index[1]->subFolders[0].name, "B");
  EXPECT_EQ(index[1]->subFolders[0].subFolders[0].bankFiles.size(), 1u);
}

TEST_F(FolderIndex, DeeperFilesAreListedUnderTheirHoldingFolder) {
  PatchFile* deep = add({"Patches", "A", "B", "C", "D"}, "deep.syx");
  ASSERT_EQ(index.size(), 1u);
  const SubFolderFiles& a = index[0]->subFolders.at(0);
  EXPECT_EQ(a.name, "A");
  ASSERT_EQ(a.subFolders.size(), 1u);
  EXPECT_EQ(a.subFolders[0].name, "D") << "the name the menus compare with the file's folder";
  EXPECT_EQ(a.subFolders[0].bankFiles, std::vector<PatchFile*>{deep});
}

TEST_F(LibraryBanks, OnlyInitGivesNoCategoryBanks) {
  writeFile(p("init.syx"), rawBank(sounds(100, "I", {"Init"})));
  load();
  EXPECT_EQ(lib.categories, std::vector<std::string>{"Init"});
  EXPECT_TRUE(lib.categoryBankFiles.empty());
  EXPECT_TRUE(lib.categoryFolderIndex.empty());
}

TEST_F(LibraryBanks, CategoryOfExactly100GivesAFullBankAndAnIndexedEmptyOne) {
  writeFile(p("bass.syx"), rawBank(sounds(100, "B", {"Bass"})));
  writeFile(p("multi.syx"), rawBank(multis(100, "M")));
  load();
  ASSERT_EQ(lib.categoryBankFiles.size(), 1u);
  EXPECT_EQ(lib.categoryBankFiles[0]->fileName, "Bass 1");
  EXPECT_EQ(lib.categoryBankFiles[0]->folderName, "Bass");
  EXPECT_EQ(lib.categoryBankFiles[0]->entries.size(), 100u);
  // "Bass" and the multi banks' empty category: one top-level record each.
  ASSERT_EQ(lib.categoryFolderIndex.size(), 2u);
  const FolderFiles* bass = lib.categoryFolderIndex[0];
  EXPECT_EQ(bass->name, "Bass 1");
  ASSERT_EQ(bass->subFolders.size(), 1u);
  EXPECT_EQ(bass->subFolders[0].name, "Bass");
  ASSERT_EQ(bass->subFolders[0].bankFiles.size(), 2u);
  EXPECT_TRUE(bass->subFolders[0].bankFiles[1]->entries.empty());
  EXPECT_EQ(bass->subFolders[0].bankFiles[1]->fileName, "Bass 2");
}

TEST_F(LibraryBanks, CategoryBanksGatherEveryLetterCaseOfTheCategory) {
  writeFile(p("a.syx"), rawBank(sounds(100, "A", {"Bass", "BASS", "Keys"})));
  load();
  ASSERT_EQ(lib.categoryBankFiles.size(), 2u);
  EXPECT_EQ(lib.categoryBankFiles[0]->fileName, "Bass 1");
  EXPECT_EQ(lib.categoryBankFiles[0]->entries.size(), 67u);
  EXPECT_EQ(lib.categoryBankFiles[0]->entries[1].category, "BASS");
  EXPECT_EQ(lib.categoryBankFiles[0]->bankNumber, 1);
}

// Entries of a file share its buffer and category banks refer to their sources: a change made
// through one entry must reach no other, and one made through a category bank not its source.
TEST_F(LibraryBanks, SharedBytesAndReferencesNeverCarryAChangeElsewhere) {
  writeFile(p("a.syx"), rawBank(sounds(100, "A", {"Bass"})));
  load();
  PatchFile* source = lib.soundBankFiles[0];
  const PatchFile& constSource = *source;
  const std::vector<uint8_t> neighbour = constSource.entries[2].messages[0].bytes;
  LibrarianPatch copy = constSource.entries[1];
  copy.messages[0].bytes[kSoundNamePos] = 'X';
  EXPECT_EQ(constSource.entries[1].name, "A 001           ");
  EXPECT_EQ(constSource.entries[1].messages[0].bytes[kSoundNamePos], 'A');
  EXPECT_EQ(constSource.entries[2].messages[0].bytes, neighbour);

  const PatchFile& category = *lib.categoryBankFiles[0];
  source->entries[3].name = "Renamed";
  EXPECT_EQ(category.entries[3].name, "Renamed") << "a category bank shows its sources as they are";
  lib.categoryBankFiles[0]->entries[4].name = "Mine";
  EXPECT_EQ(constSource.entries[4].name, "A 004           ");
  EXPECT_EQ(category.entries[3].name, "Renamed");
}

TEST_F(LibraryBanks, SearchSplitsResultsIntoBanksOf100) {
  writeFile(p("a.syx"), rawBank(sounds(100, "Warm", {"Pad "})));
  writeFile(p("b.syx"), rawBank(sounds(50, "Warmer", {"Pad "}), 30001));
  writeFile(p("m.syx"), rawBank(multis(100, "Warm")));
  load();
  lib.createNewSearchPatchFiles("Warm");
  ASSERT_EQ(lib.searchBankFiles.size(), 2u);
  EXPECT_EQ(lib.searchBankFiles[0]->fileName, "Search Results 1");
  EXPECT_EQ(lib.searchBankFiles[0]->entries.size(), 100u);
  EXPECT_EQ(lib.searchBankFiles[1]->entries.size(), 50u) << "multis never appear";
  EXPECT_EQ(lib.searchBankFiles[1]->bankNumber, 1);
  ASSERT_EQ(lib.searchFolderIndex.size(), 1u);
  EXPECT_EQ(lib.searchFolderIndex[0]->name, "Patches");
  EXPECT_EQ(lib.searchFolderIndex[0]->bankFiles.size(), 2u);

  lib.createNewSearchPatchFiles("Init");
  EXPECT_EQ(total(lib.searchBankFiles), 50u) << "finds the completion entries";
  lib.createNewSearchPatchFiles("warm");
  EXPECT_TRUE(lib.searchBankFiles.empty()) << "letter case matters";
  lib.createNewSearchPatchFiles("Warm 0");
  ASSERT_EQ(lib.searchBankFiles.size(), 2u);
  EXPECT_EQ(lib.searchBankFiles[0]->entries.size(), 100u);
  EXPECT_TRUE(lib.searchBankFiles[1]->entries.empty());
  EXPECT_EQ(lib.searchFolderIndex.size(), 1u) << "the index is replaced, not grown";
  EXPECT_EQ(lib.searchFolderIndex[0]->bankFiles.size(), 2u);
}

// Results are cut into banks of 100 (with the empty last bank a multiple of 100 leaves, like the
// category banks); a matching name without a sound dump has nothing to show and is not counted.
TEST(SearchBanks, ResultsFillBanksOfAHundredAndEntriesWithoutADumpDoNotCount) {
  struct Case {
    int matches;
    std::vector<size_t> bankSizes;
  };
  const std::vector<Case> cases = {
      {0, {}}, {99, {99}}, {100, {100, 0}}, {101, {100, 1}}, {200, {100, 100, 0}}, {290, {100, 100, 90}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.matches);
    PatchLibrarian lib;
    // One bank of 300 sounds, c.matches of them named "Hit ..."; the rest never match. The
    // librarian owns and deletes the bank.
    auto* bank = new PatchFile();
    bank->type = kBankTypeSound;
    for (int i = 0; i < 300; ++i) {
      PatchSysexMessage m;
      m.bytes = soundDump((i < c.matches ? "Hit " : "Miss ") + std::to_string(i), "Lead", i);
      bank->entries.push_back(makeEntryFromMessage(m, kKindSoundRead));
    }
    // A matching name without a sound dump has nothing to show and must not count.
    LibrarianPatch broken;
    broken.name = "Hit broken";
    bank->entries.push_back(broken);
    lib.soundBankFiles.push_back(bank);

    lib.createNewSearchPatchFiles("Hit");
    std::vector<size_t> sizes;
    for (const PatchFile* b : lib.searchBankFiles) sizes.push_back(b->entries.size());
    EXPECT_EQ(sizes, c.bankSizes);
    if (c.matches == 0) {
      EXPECT_TRUE(lib.searchFolderIndex.empty());
      continue;
    }
    ASSERT_EQ(lib.searchFolderIndex.size(), 1u);
    EXPECT_EQ(lib.searchFolderIndex[0]->bankFiles, lib.searchBankFiles) << "every bank indexed, none more";
    EXPECT_EQ(lib.searchBankFiles.back()->fileName, "Search Results " + std::to_string(sizes.size()));
    // Each result is the sound it found, past the 256th of its bank too.
    for (int i = 0; i < c.matches; ++i)
      ASSERT_EQ(lib.searchBankFiles[i / 100]->entries.nameAt(i % 100).substr(0, 8), ("Hit " + std::to_string(i) + "    ").substr(0, 8)) << i;
  }
}

TEST(LowerGridList, CategoryViewWinsOverSearchAndMultisIgnoreBoth) {
  using L = LibrarianList;
  EXPECT_EQ(librarianLowerList(kBankTypeSound, false, false), L::kSound);
  EXPECT_EQ(librarianLowerList(kBankTypeSound, true, false), L::kCategory);
  EXPECT_EQ(librarianLowerList(kBankTypeSound, false, true), L::kSearch);
  EXPECT_EQ(librarianLowerList(kBankTypeSound, true, true), L::kCategory);
  for (bool category : {false, true})
    for (bool search : {false, true}) {
      EXPECT_EQ(librarianLowerList(kBankTypeMulti, category, search), L::kMulti);
      EXPECT_FALSE(librarianLowerList(2, category, search).has_value());
    }

  PatchLibrarian lib;
  for (std::vector<PatchFile*>* list : {&lib.soundBankFiles, &lib.multiBankFiles, &lib.categoryBankFiles})
    list->push_back(new PatchFile());  // the librarian owns them
  lib.lowerSelection = 0;
  EXPECT_EQ(lib.selectedLowerBank(true, true), lib.categoryBankFiles[0]);
  EXPECT_EQ(lib.selectedLowerBank(false, true), nullptr) << "no search banks: nothing, never another list";
  lib.patchType = kBankTypeMulti;
  EXPECT_EQ(lib.selectedLowerBank(true, false), lib.multiBankFiles[0]);
  lib.lowerSelection = 1;
  EXPECT_EQ(lib.selectedLowerBank(true, false), nullptr);
}
