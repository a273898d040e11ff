#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <Poco/File.h>

#include <cstdio>
#include <cstring>

#include "BankFormats.h"
#include "BankGenerator.h"
#include "DataFolder.h"
#include "PatchLibrarian.h"
#include "../util/Unprivileged.h"

using namespace testbanks;

namespace {

class LoadLibrary : public ::testing::Test {
protected:
  TempDataHome home;
  LogCapture log;
  PatchLibrarian lib;

  void load() { lib.initBankFilesOnDiscard(home.patches()); }
  std::string p(const std::string& rel) const { return home.patches() + "/" + rel; }

  static std::vector<std::string> names(const std::vector<PatchFile*>& list) {
    std::vector<std::string> out;
    for (const PatchFile* f : list) out.push_back(f->fileName);
    return out;
  }
  const PatchFile* sound(const std::string& fileName) const {
    for (const PatchFile* f : lib.soundBankFiles)
      if (f->fileName == fileName) return f;
    return nullptr;
  }
};

// Writes a failure into every n-th file written (counting from 1), or corrupts it.
class FaultyWriter : public BankFileWriter {
public:
  FaultyWriter(int failAt, bool corrupt) : m_failAt(failAt), m_corrupt(corrupt) {}
  WriteResult writeFile(const std::string& path, const std::vector<uint8_t>& bytes, bool replace, std::string*) override {
    ++calls;
    if (calls != m_failAt) return BankFileWriter::writeFile(path, bytes, replace);
    if (!m_corrupt) return WriteResult::failed;
    std::vector<uint8_t> spoiled(bytes.begin(), bytes.begin() + bytes.size() / 2);
    return BankFileWriter::writeFile(path, spoiled, replace);
  }
  int calls = 0;

private:
  int m_failAt;
  bool m_corrupt;
};

}  // namespace

TEST_F(LoadLibrary, SubFoldersFirstThenTheirParentThenTheRootInByteOrder) {
  makeFolders(p("A/B"));
  writeFile(p("root.syx"), rawBank(sounds(100, "R", {"Bass"})));
  writeFile(p("A/a.syx"), rawBank(sounds(100, "A", {"Bass"})));
  writeFile(p("A/B/a.syx"), rawBank(sounds(100, "Ba", {"Bass"})));
  writeFile(p("A/B/B.syx"), rawBank(sounds(100, "BB", {"Bass"})));
  load();
  ASSERT_EQ(lib.soundBankFiles.size(), 4u);
  EXPECT_EQ(lib.soundBankFiles[0]->folderName, "B");
  EXPECT_EQ(lib.soundBankFiles[0]->fileName, "B.syx") << "upper case sorts first";
  EXPECT_EQ(lib.soundBankFiles[1]->fileName, "a.syx");
  EXPECT_EQ(lib.soundBankFiles[2]->folderName, "A");
  EXPECT_EQ(lib.soundBankFiles[3]->fileName, "root.syx");
  EXPECT_EQ(lib.soundBankFiles[3]->folderChain, std::vector<std::string>{"Patches"});
  EXPECT_EQ(lib.soundBankFiles[0]->folderChain, (std::vector<std::string>{"Patches", "A", "B"}));
  ASSERT_EQ(lib.folderList.size(), 3u);
  EXPECT_EQ(lib.folderList.back(), home.patches());
}

TEST_F(LoadLibrary, SizeGateAndExtensions) {
  const std::vector<Bytes> few = sounds(10, "Few", {"Bass"});
  writeFile(p("small.syx"), rawBank(few, 30000));
  writeFile(p("gate.syx"), rawBank(few, 30001));
  writeFile(p("BANK.SYX"), rawBank(few, 30001));
  writeFile(p("Bank.Mid"), smfBank(few, 30001));
  writeFile(p("bank.zpk"), rawBank(few, 30001));
  writeFile(p("bank.txt"), rawBank(few, 30001));
  load();
  EXPECT_EQ(names(lib.soundBankFiles), (std::vector<std::string>{"BANK.SYX", "Bank.Mid", "bank.zpk", "gate.syx"}));
  for (const PatchFile* f : lib.soundBankFiles) EXPECT_EQ(f->entries.size(), 100u);
  // A small file is named once, with its size, and never said to be loading.
  EXPECT_TRUE(log.contains("skipped file " + p("small.syx") + ": it holds 30000 bytes, fewer than the 30001 needed"));
  EXPECT_FALSE(log.contains("loading file " + p("small.syx")));
  EXPECT_FALSE(log.contains("skipped file " + p("gate.syx")));
}

TEST_F(LoadLibrary, ShortBanksAreCompletedWithValidNumberedInitSoundsAndInitMultis) {
  writeFile(p("sixty.syx"), rawBank(sounds(60, "S", {"Bass"}), 30001));
  writeFile(p("one.syx"), rawBank(multis(1, "M"), 30001));
  load();
  const PatchFile* s = sound("sixty.syx");
  ASSERT_TRUE(s);
  ASSERT_EQ(s->entries.size(), 100u);
  EXPECT_EQ(s->entries[60].name, "Init         061");
  EXPECT_EQ(s->entries[99].name, "Init         100");
  EXPECT_EQ(s->entries[99].category, std::string(4, '\0'));
  EXPECT_EQ(s->entries[99].kind, kKindSoundInit);
  for (const LibrarianPatch& e : s->entries) EXPECT_TRUE(isValidStoredDump(e.messages[0].bytes));
  ASSERT_EQ(lib.multiBankFiles.size(), 1u);
  const PatchFile* m = lib.multiBankFiles[0];
  ASSERT_EQ(m->entries.size(), 100u);
  EXPECT_EQ(m->entries[1].name, "Sequencer Multi ");
  EXPECT_TRUE(m->entries[99].category.empty());
  for (const LibrarianPatch& e : m->entries) EXPECT_TRUE(isValidStoredDump(e.messages[0].bytes));
}

TEST_F(LoadLibrary, CategoriesAreDeduplicatedIgnoringCaseInitFirst) {
  writeFile(p("cats.syx"), rawBank(sounds(100, "C", {"Bass", "BASS", "bass", "Pad "})));
  writeFile(p("multi.syx"), rawBank(multis(100, "M")));
  load();
  EXPECT_EQ(lib.categories, (std::vector<std::string>{"Init", "Bass", "Pad ", ""}));
}

TEST_F(LoadLibrary, FileOfExactly100IsLoadedUnchangedAndNotSplit) {
  const Bytes file = rawBank(sounds(100, "Full", {"Bass"}));
  writeFile(p("full.syx"), file);
  load();
  ASSERT_EQ(lib.soundBankFiles.size(), 1u);
  EXPECT_EQ(readFile(p("full.syx")), file);
  EXPECT_FALSE(Poco::File(home.converted()).exists());
}

TEST_F(LoadLibrary, FileOf101IsSplitMovedAndTheSecondLoadIsStable) {
  const Bytes file = rawBank(sounds(101, "Big", {"Bass"}));
  writeFile(p("Bank.syx"), file);
  load();
  EXPECT_EQ(names(lib.soundBankFiles), (std::vector<std::string>{"Bank Singles 1.syx", "Bank Singles 2.syx"}));
  EXPECT_EQ(readFile(home.converted() + "/Bank.syx"), file) << "moved whole";
  EXPECT_FALSE(pathExists(p("Bank.syx")));
  EXPECT_EQ(sound("Bank Singles 2.syx")->entries[0].name, "Big 100         ");
  EXPECT_EQ(sound("Bank Singles 2.syx")->entries[1].name, "Init Patch   vTn");
  EXPECT_EQ(names(lib.categoryBankFiles), (std::vector<std::string>{"Bass 1", "Bass 2"}))
      << "category banks are built once";

  const auto before = snapshot(home.base());
  load();
  EXPECT_EQ(snapshot(home.base()), before) << "nothing moves or is written again";
  EXPECT_EQ(lib.soundBankFiles.size(), 2u);
  EXPECT_EQ(lib.categoryBankFiles.size(), 2u);
}

TEST_F(LoadLibrary, MidiFileOf250IsSplitIntoThreeMidiParts) {
  writeFile(p("Big.mid"), smfBank(sounds(250, "Mid", {"Keys"})));
  load();
  ASSERT_EQ(names(lib.soundBankFiles),
            (std::vector<std::string>{"Big Singles 1.mid", "Big Singles 2.mid", "Big Singles 3.mid"}));
  const Bytes part3 = readFile(p("Big Singles 3.mid"));
  ASSERT_EQ(part3.size(), 39652u);
  EXPECT_EQ(Bytes(part3.begin(), part3.begin() + 4), (Bytes{0x4D, 0x54, 0x68, 0x64}));
  EXPECT_EQ(sound("Big Singles 3.mid")->entries[49].name, "Mid 249         ");
  EXPECT_EQ(sound("Big Singles 3.mid")->entries[50].name, "Init Patch   vTn");
}

TEST_F(LoadLibrary, SoundsAndMultisOfOneFileSplitIntoSoundPartsAndAMultiPart) {
  std::vector<Bytes> msgs = sounds(300, "Snd", {"Lead"});
  const std::vector<Bytes> m = multis(100, "Mul");
  msgs.insert(msgs.begin() + 150, m.begin(), m.end());
  writeFile(p("Mixed.zpk"), rawBank(msgs));
  load();
  EXPECT_EQ(names(lib.soundBankFiles), (std::vector<std::string>{"Mixed Singles 1.zpk", "Mixed Singles 2.zpk",
                                                                 "Mixed Singles 3.zpk"}));
  EXPECT_EQ(names(lib.multiBankFiles), std::vector<std::string>{"Mixed Multis.zpk"});
  EXPECT_EQ(lib.soundBankFiles[1]->entries[50].name, "Snd 150         ");
  EXPECT_EQ(lib.multiBankFiles[0]->entries[99].name, "Mul 099         ");
}

TEST_F(LoadLibrary, MultiPartsGetNamesOfTheirOwn) {
  writeFile(p("Live.syx"), rawBank(multis(250, "Mul")));
  load();
  EXPECT_EQ(names(lib.multiBankFiles),
            (std::vector<std::string>{"Live Multis 2.syx", "Live Multis 3.syx", "Live Multis.syx"}));
  EXPECT_EQ(lib.multiBankFiles[0]->entries[0].name, "Mul 100         ");
  EXPECT_EQ(lib.multiBankFiles[1]->entries[49].name, "Mul 249         ");
  EXPECT_EQ(lib.multiBankFiles[1]->entries[50].name, "Sequencer Multi ");
  EXPECT_EQ(lib.multiBankFiles[2]->entries[99].name, "Mul 099         ");
}

TEST_F(LoadLibrary, MessyOversizedMidiFileSplitsIntoPartsOfValidDumps) {
  std::vector<Bytes> msgs;
  for (int i = 0; i < 140; ++i) {
    if (i % 7 == 0) msgs.push_back(kestrinSoundDump("Kes", "Lead", i));
    else if (i % 7 == 1) msgs.push_back(vostrelSoundDump("Vos", i % 14, i));
    else msgs.push_back(soundDump("Dor", "Bass", i, i % 3 == 0));
    if (i % 10 == 0) msgs.push_back(foreignManufacturerMessage(i));
  }
  msgs.back().resize(200);   // truncated last message
  Bytes file = smfBank(msgs);
  const Bytes junk = garbage(333, 4);
  // Inside the track, after the first event (header 49, delta, F0, two length bytes, 392 bytes).
  file.insert(file.begin() + 49 + 4 + 392, junk.begin(), junk.end());
  writeFile(p("Messy.mid"), file);
  load();
  ASSERT_EQ(names(lib.soundBankFiles), (std::vector<std::string>{"Messy Singles 1.mid", "Messy Singles 2.mid"}));
  for (const PatchFile* f : lib.soundBankFiles)
    for (const LibrarianPatch& e : f->entries) ASSERT_TRUE(isValidStoredDump(e.messages.at(0).bytes));
  EXPECT_EQ(lib.soundBankFiles[1]->entries[38].name, "Dor             ");
  EXPECT_EQ(lib.soundBankFiles[1]->entries[39].name, "Init Patch   vTn")
      << "the last dump, cut before its name, is a fragment: kept in the moved file, not in a part";
  EXPECT_EQ(readFile(home.converted() + "/Messy.mid"), file);
}

TEST_F(LoadLibrary, SplitPartsAndMovedFileNeverReplaceExistingFiles) {
  const Bytes file = rawBank(sounds(150, "New", {"Bass"}));
  const Bytes existingPart = rawBank(sounds(100, "Old", {"Pad "}));
  const Bytes existingConverted = {1, 2, 3};
  writeFile(p("Bank.syx"), file);
  writeFile(p("Bank Singles 1.syx"), existingPart);
  makeFolders(home.converted());
  writeFile(home.converted() + "/Bank.syx", existingConverted);
  load();
  EXPECT_EQ(readFile(p("Bank Singles 1.syx")), existingPart);
  EXPECT_EQ(readFile(home.converted() + "/Bank.syx"), existingConverted);
  EXPECT_EQ(readFile(home.converted() + "/Bank (2).syx"), file);
  ASSERT_TRUE(sound("Bank Singles 1 (2).syx"));
  EXPECT_EQ(sound("Bank Singles 1 (2).syx")->entries[0].name, "New 000         ");
  EXPECT_EQ(sound("Bank Singles 2.syx")->entries[0].name, "New 100         ");
  EXPECT_EQ(sound("Bank Singles 1.syx")->entries[0].name, "Old 000         ");
}

TEST_F(LoadLibrary, FailedMoveKeepsTheSourceAndLeavesNoParts) {
  const Bytes file = rawBank(sounds(120, "Keep", {"Bass"}));
  writeFile(p("Bank.syx"), file);
  writeFile(p("Other.syx"), rawBank(sounds(100, "Other", {"Bass"})));
  // "Converted Banks" cannot be made: a file of that name is in the way.
  writeFile(home.converted(), {9, 9, 9});
  const auto before = snapshot(home.base());
  load();
  EXPECT_EQ(snapshot(home.base()), before) << "every file keeps its bytes, no part is left behind";
  EXPECT_EQ(names(lib.soundBankFiles), std::vector<std::string>{"Other.syx"})
      << "an oversized bank that could not be split is not offered for saving over";
  EXPECT_TRUE(log.contains("could not split"));
  load();
  EXPECT_EQ(snapshot(home.base()), before);
}

TEST_F(LoadLibrary, FailedPartWriteRollsBackAndKeepsTheSource) {
  writeFile(p("Bank.syx"), rawBank(sounds(250, "Keep", {"Bass"})));
  const auto before = snapshot(home.base());
  FaultyWriter writer(2, false);
  lib.setFileWriter(&writer);
  load();
  EXPECT_EQ(snapshot(home.base()), before);
  EXPECT_EQ(writer.calls, 2) << "tried once per load, not again in the same load";
  EXPECT_TRUE(lib.soundBankFiles.empty());
}

TEST_F(LoadLibrary, PartThatDoesNotReadBackRollsBackAndKeepsTheSource) {
  writeFile(p("Bank.syx"), rawBank(sounds(250, "Keep", {"Bass"})));
  const auto before = snapshot(home.base());
  FaultyWriter writer(3, true);
  lib.setFileWriter(&writer);
  load();
  EXPECT_EQ(snapshot(home.base()), before);
  EXPECT_TRUE(log.contains("does not hold what was written"));
}

TEST_F(LoadLibrary, LinkedFolderOutsideTheLibraryIsNotFollowed) {
  const std::string outside = home.base() + "/elsewhere";
  makeFolders(outside);
  writeFile(outside + "/far.syx", rawBank(sounds(150, "Far", {"Bass"})));
  ASSERT_EQ(symlink(outside.c_str(), p("link").c_str()), 0);
  const auto before = snapshot(home.base());
  load();
  EXPECT_TRUE(lib.soundBankFiles.empty());
  EXPECT_EQ(snapshot(home.base()), before);
  EXPECT_TRUE(log.contains("not following linked folder"));
}

TEST_F(LoadLibrary, HugeFileIsSkippedWithALogLine) {
  const std::string huge = p("huge.syx");
  writeFile(huge, rawBank(sounds(100, "H", {"Bass"})));
  ASSERT_EQ(truncate(huge.c_str(), kMaxBankFileBytes + 1), 0);
  testing::internal::CaptureStderr();
  load();
  load();
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(lib.soundBankFiles.empty());
  EXPECT_TRUE(log.contains("too large"));
  EXPECT_TRUE(said.find(huge + ": it holds") != std::string::npos && said.find(huge) == said.rfind(huge)) << said;
}

TEST_F(LoadLibrary, MissingRootLeavesTheLibraryEmpty) {
  lib.loadPatchesFromFilesystem(home.base() + "/nowhere");
  EXPECT_TRUE(lib.soundBankFiles.empty());
  EXPECT_TRUE(lib.categoryBankFiles.empty());
  EXPECT_TRUE(lib.categories.empty());
  EXPECT_TRUE(log.contains("PLUGIN IS NOT ABLE TO FIND PATCHES FOLDER..."));
}

TEST_F(LoadLibrary, FileWithoutBankDataIsNotListed) {
  writeFile(p("junk.syx"), garbage(40000, 3));
  load();
  EXPECT_TRUE(lib.soundBankFiles.empty());
  EXPECT_TRUE(lib.soundFolderIndex.empty());
  EXPECT_TRUE(log.contains("no bank data"));
}

// From scratch, the install step lays down a bank of init sounds and one of init multis: multi
// capture has a bank to land in, and the multis are the synth's own dumps that save back as laid.
TEST_F(LoadLibrary, TheFirstStartLaysDownABankOfInitSoundsAndOneOfInitMultis) {
  const std::string bundle = home.base() + "/Sorvanta.component";
  makeFolders(bundle + "/Contents/Resources");
  for (const std::string name : {"Init Sounds.syx", "Init Multis.syx"})
    writeFile(bundle + "/Contents/Resources/" + name, readFile(SORVANTA_INIT_BANKS "/" + name));
  // Where the data folder may not be written, every step that cannot be done is said with its reason.
  makeFolders(home.base() + "/locked");
  giveToUnprivileged(home.base());
  ASSERT_EQ(0, chmod((home.base() + "/locked").c_str(), 0555));
  ReachableCopies copies;
  FILE* out = popen((copies.command() + "env XDG_DATA_HOME=" + home.base() + "/locked bash '" + copies(SORVANTA_INSTALL_DATA) + "' '" +
                     bundle + "' 2>&1").c_str(), "r");
  char said[4096] = {};
  const size_t got = out ? fread(said, 1, sizeof said - 1, out) : 0;
  const int rc = out ? pclose(out) : -1;
  EXPECT_TRUE(rc == 256 && got > 0 && strstr(said, "library folder") && strstr(said, "UI.txt: No such file")) << rc << said;
  unprivilegedRowRan("install-data.sh");
  ASSERT_EQ(system(("bash '" SORVANTA_INSTALL_DATA "' '" + bundle + "'").c_str()), 0);
  load();
  EXPECT_EQ(names(lib.soundBankFiles), std::vector<std::string>{"Init Sounds.syx"});
  ASSERT_EQ(names(lib.multiBankFiles), std::vector<std::string>{"Init Multis.syx"});
  const PatchFile& multis = *lib.multiBankFiles[0];
  for (const LibrarianPatch& e : multis.entries) {
    EXPECT_TRUE(isValidStoredDump(e.messages.at(0).bytes));
    EXPECT_EQ(e.name, "Sequencer Multi ");
  }
  EXPECT_EQ(writeBank(multis, false), readFile(p("Init Multis.syx")));
  lib.patchType = kBankTypeMulti;
  lib.selectedSlot = 7;
  LibrarianPatch received;
  received.messages.resize(1);
  received.messages[0].bytes = multiDump("Captured", 5);
  EXPECT_TRUE(lib.setSysexDatatoSelectedSlot(&received));
  EXPECT_EQ(lib.multiBankFiles[0]->entries[7].messages.at(0).bytes, received.messages[0].bytes);

  // A bank an earlier install cut short (mark set) is mended; on a full disk (a file system of
  // 20 KB, where one can be mounted) nothing cut stays and no mark is set, and once there is room
  // the next run lays down both. Each line: the banks as whole as the bundle's, the library's
  // entries, and the mark.
  const std::string data = home.base() + "/d", P = data + "/Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor/Patches";
  const std::string run = "XDG_DATA_HOME=" + data + " bash '" SORVANTA_INSTALL_DATA "' '" + bundle + "' 2>/dev/null; ";
  const std::string state = "for f in Sounds Multis; do cmp -s \"" + P + "/Init $f.syx\" \"" + bundle +
                            "/Contents/Resources/Init $f.syx\" && printf \"$f \"; done; ls -A \"" + P + "\" | wc -l; test -e \"" + P +
                            "/../.Init Multis laid down\" && echo mark; ";
  makeFolders(P);
  const std::string script = "head -c 8192 \"" + bundle + "/Contents/Resources/Init Sounds.syx\" > \"" + P +
                             "/Init Sounds.syx\"; : > \"" + P + "/Init Multis.syx\"; touch \"" + P + "/../.Init Multis laid down\"; " + run + state +
                             "rm -rf " + data + "/*; mount -t tmpfs -o size=20k none " + data + " || exit 0; " + run + state +
                             "mount -o remount,size=1m " + data + "; " + run + state;
  out = popen(("if unshare -m true; then unshare -m sh -c '" + script + "'; else sh -c '" + script + "'; fi 2>/dev/null").c_str(), "r");
  std::string lines;
  for (char line[256]; out && fgets(line, sizeof line, out);) lines += line;
  if (out) pclose(out);
  EXPECT_TRUE(lines == "Sounds Multis 2\nmark\n" || lines == "Sounds Multis 2\nmark\n0\nSounds Multis 2\nmark\n") << lines;
  // A smaller bank of the user's own under a shipped name is not one cut short: it stays.
  makeFolders(P);
  writeFile(P + "/Init Multis.syx", Bytes(1000, 0x55));
  ASSERT_EQ(0, system(run.c_str()));
  EXPECT_EQ(readFile(P + "/Init Multis.syx"), Bytes(1000, 0x55));
}

TEST(LibraryDataFolder, FollowsXdgDataHomeAndFallsBackToTheHomeFolder) {
  TempDataHome home;
  EXPECT_EQ(dataFolderPath(), home.base() + "/Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor/");
  EXPECT_EQ(patchesFolderPath(), dataFolderPath() + "Patches");
  EXPECT_EQ(convertedBanksFolderPath(), dataFolderPath() + "Converted Banks");
  const std::string oldHome = getenv("HOME") ? getenv("HOME") : "";
  setenv("HOME", "/home/someone", 1);
  setenv("XDG_DATA_HOME", "relative/path", 1);   // not absolute: ignored
  EXPECT_EQ(dataFolderPath(), "/home/someone/.local/share/Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor/");
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(dataFolderPath(), "/home/someone/.local/share/Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor/");
  setenv("HOME", oldHome.c_str(), 1);
  setenv("XDG_DATA_HOME", home.base().c_str(), 1);
}
