#include <gtest/gtest.h>

#include "BankFormats.h"
#include "BankGenerator.h"
#include "PatchLibrarian.h"

using namespace testbanks;

namespace {

PatchFile readAll(const Bytes& file) {
  PatchFile bank;
  readBankMessages(file.data(), static_cast<int>(file.size()), bank);
  return bank;
}

PatchSysexMessage messageOf(Bytes b) {
  PatchSysexMessage m;
  m.bytes = std::move(b);
  return m;
}

// What an entry read from a file is expected to hold: the stored form of the dump.
Bytes storedForm(Bytes dump, uint8_t slot) {
  dump[2] = 0x10;
  dump[3] = 0x00;
  dump[5] = slot;
  unsigned sum = 0;
  for (size_t i = 4; i + 2 < dump.size(); ++i) sum += dump[i];
  dump[dump.size() - 2] = sum & 0x7F;
  return dump;
}

}  // namespace

TEST(DumpSizeRepair, ShortSoundIsPaddedWithZerosAfterItsDataNotAfterItsF7) {
  Bytes b = soundDump("Short", "Bass", 1);
  b.resize(199);
  b.push_back(0xF7);   // a 200-byte dump that ends early
  PatchSysexMessage m = messageOf(b);
  m.checkPatchDataSize(true);
  ASSERT_EQ(m.bytes.size(), 392u);
  EXPECT_TRUE(isValidStoredDump(storedForm(m.bytes, m.bytes[5]))) << "only one F7, checksum by the rule";
  for (size_t i = 199; i < 390; ++i) ASSERT_EQ(m.bytes[i], 0) << i;
  EXPECT_EQ(m.bytes[391], 0xF7);
  EXPECT_EQ(m.bytes[390], dumpChecksum(m.bytes));
}

TEST(DumpSizeRepair, SoundOf391BytesGetsChecksumAndF7) {
  Bytes b = soundDump("Almost", "Pad", 2);
  b.erase(b.begin() + 390);   // checksum missing
  PatchSysexMessage m = messageOf(b);
  m.checkPatchDataSize(true);
  ASSERT_EQ(m.bytes.size(), 392u);
  EXPECT_EQ(Bytes(m.bytes.begin(), m.bytes.begin() + 390), Bytes(b.begin(), b.begin() + 390));
  EXPECT_EQ(m.bytes[390], dumpChecksum(m.bytes));
}

TEST(DumpSizeRepair, OversizedSoundIsCutToExactLengthWithoutOverwritingData) {
  Bytes b = soundDump("Long", "Lead", 3);
  b.pop_back();
  b.insert(b.end(), 8, 0x11);
  b.push_back(0xF7);   // 400 bytes
  PatchSysexMessage m = messageOf(b);
  m.checkPatchDataSize(true);
  ASSERT_EQ(m.bytes.size(), 392u);
  EXPECT_EQ(Bytes(m.bytes.begin(), m.bytes.begin() + 390), Bytes(b.begin(), b.begin() + 390));
  EXPECT_EQ(m.bytes[390], dumpChecksum(m.bytes));
  EXPECT_EQ(m.bytes[391], 0xF7);
}

TEST(DumpSizeRepair, MultiGets393BytesAndChecksumAt391) {
  Bytes b = multiDump("Multi", 4);
  b.resize(300);
  b.push_back(0xF7);
  PatchSysexMessage m = messageOf(b);
  m.checkPatchDataSize(false);
  ASSERT_EQ(m.bytes.size(), 393u);
  EXPECT_EQ(m.bytes[391], dumpChecksum(m.bytes));
  EXPECT_EQ(m.bytes[392], 0xF7);
}

TEST(InitRecords, AreValidDumpsWithTheirNames) {
  const PatchSysexMessage s = initSoundMessage();
  EXPECT_TRUE(isValidStoredDump(s.bytes));
  EXPECT_EQ(std::string(s.bytes.begin() + 370, s.bytes.begin() + 386), "Init Patch   vTn");
  EXPECT_EQ(std::string(s.bytes.begin() + 386, s.bytes.begin() + 390), "Init");
  // Spot checks of the init data against its table.
  EXPECT_EQ(s.bytes[128], 0x6E);
  EXPECT_EQ(s.bytes[335], 0x04);
  EXPECT_EQ(s.bytes[365], 0x47);
  const PatchSysexMessage m = initMultiMessage();
  EXPECT_TRUE(isValidStoredDump(m.bytes));
  EXPECT_EQ(std::string(m.bytes.begin() + 23, m.bytes.begin() + 39), "Sequencer Multi ");
  EXPECT_EQ(m.bytes[39 + 7], 0x07);        // part 0's P
  EXPECT_EQ(m.bytes[39 + 22 + 7], 0x02);   // part 1's P
  EXPECT_EQ(m.bytes[39 + 22 * 15 + 2], 17);
}

TEST(InitRecords, CompletionSoundCarriesSlotNumberNulCategoryAndARealChecksum) {
  const PatchSysexMessage s = completionSoundMessage(57);
  EXPECT_TRUE(isValidStoredDump(s.bytes));
  EXPECT_EQ(std::string(s.bytes.begin() + 370, s.bytes.begin() + 386), "Init         057");
  EXPECT_EQ(std::string(s.bytes.begin() + 386, s.bytes.begin() + 390), std::string(4, '\0'));
}

TEST(BankReader, RawBankOf100SoundsReadsEveryEntryWithSlotNumbers) {
  const std::vector<Bytes> msgs = sounds(100, "Raw", {"Bass", "Pad"});
  const PatchFile bank = readAll(rawBank(msgs));
  ASSERT_EQ(bank.entries.size(), 100u);
  EXPECT_EQ(bank.type, kBankTypeSound);
  for (int i = 0; i < 100; ++i) {
    const LibrarianPatch& e = bank.entries[i];
    ASSERT_EQ(e.messages.size(), 1u);
    EXPECT_EQ(e.messages[0].bytes, storedForm(msgs[i], static_cast<uint8_t>(i)));
    EXPECT_EQ(e.name.substr(0, 6), "Raw 0" + std::to_string(i / 10));
    EXPECT_EQ(e.category, i % 2 ? "Pad " : "Bass");
    EXPECT_EQ(e.kind, kKindSoundRead);
  }
}

// Dumps at equal distances are kept as a run; one gap breaks it, and each is still read from its place.
TEST(BankReader, DumpsAtUnequalDistancesAreEachReadFromTheirOwnPlace) {
  const std::vector<Bytes> msgs = sounds(4, "Gap", {"Bass"});
  Bytes file;
  for (size_t i = 0; i < msgs.size(); ++i) {
    file.insert(file.end(), msgs[i].begin(), msgs[i].end());
    if (i == 1) file.insert(file.end(), 5, 0x00);
  }
  const PatchFile bank = readAll(file);
  ASSERT_EQ(bank.entries.size(), 4u);
  for (uint8_t i = 0; i < 4; ++i) EXPECT_EQ(bank.entries[i].messages[0].bytes, storedForm(msgs[i], i)) << int(i);
}

TEST(BankReader, MidiFileIsDetectedAndRead) {
  const std::vector<Bytes> msgs = multis(30, "Smf");
  const Bytes file = smfBank(msgs, 30001);
  const PatchFile bank = readAll(file);
  ASSERT_EQ(bank.entries.size(), 30u);
  EXPECT_EQ(bank.type, kBankTypeMulti);
  EXPECT_EQ(bank.entries[29].messages[0].bytes, storedForm(msgs[29], 29));
  EXPECT_EQ(bank.entries[29].name, "Smf 029         ");
  EXPECT_TRUE(bank.entries[29].category.empty());
  EXPECT_EQ(bank.entries[29].kind, kKindMultiRead);
}

TEST(BankReader, GarbageForeignMessagesBadChecksumsAndTruncatedLastMessage) {
  Bytes file = garbage(37, 1);
  const Bytes s0 = soundDump("Good One", "Keys", 10);
  const Bytes s1 = soundDump("Bad Sum", "Keys", 11, true);
  Bytes s2 = soundDump("Cut Short", "Keys", 12);
  s2.resize(250);   // the file ends inside this message
  file.insert(file.end(), s0.begin(), s0.end());
  const Bytes f = foreignManufacturerMessage(5);
  file.insert(file.end(), f.begin(), f.end());
  const Bytes g = garbage(100, 2);
  file.insert(file.end(), g.begin(), g.end());
  file.insert(file.end(), s1.begin(), s1.end());
  const Bytes global = {0xF0, 0x3E, 0x10, 0x00, 0x14, 0x01, 0x02, 0xF7};   // not a bank message
  file.insert(file.end(), global.begin(), global.end());
  file.insert(file.end(), s2.begin(), s2.end());

  const PatchFile bank = readAll(file);
  ASSERT_EQ(bank.entries.size(), 3u);
  EXPECT_EQ(bank.entries[0].name, "Good One        ");
  EXPECT_EQ(bank.entries[1].name, "Bad Sum         ");
  EXPECT_EQ(bank.entries[2].name, std::string(16, '\0')) << "name bytes lay beyond the cut";
  for (const LibrarianPatch& e : bank.entries) EXPECT_TRUE(isValidStoredDump(e.messages[0].bytes));
  EXPECT_EQ(Bytes(bank.entries[2].messages[0].bytes.begin() + 6, bank.entries[2].messages[0].bytes.begin() + 250),
            Bytes(s2.begin() + 6, s2.end()));
}

TEST(BankReader, MessageMissingItsF7DoesNotSwallowTheNextOne) {
  Bytes a = soundDump("First", "Arp ", 1);
  a.resize(300);   // no F7
  const Bytes b = soundDump("Second", "Arp ", 2);
  Bytes file = a;
  file.insert(file.end(), b.begin(), b.end());
  const PatchFile bank = readAll(file);
  ASSERT_EQ(bank.entries.size(), 2u);
  EXPECT_EQ(bank.entries[1].name, "Second          ");
}

TEST(BankReader, OwnRawBankWithoutLeadingF0CountsAsOwnAndSlotsWrapAfter99) {
  Bytes file = rawBank(sounds(130, "Own", {"Bass"}));
  file[0] = 0x00;
  const PatchFile bank = readAll(file);
  ASSERT_EQ(bank.entries.size(), 130u);
  EXPECT_EQ(bank.entries[99].messages[0].bytes[5], 99);
  EXPECT_EQ(bank.entries[100].messages[0].bytes[5], 0);
}

TEST(BankReader, ForeignRawBankSlotsRunTo127BeforeWrapping) {
  std::vector<Bytes> msgs;
  for (int i = 0; i < 130; ++i) msgs.push_back(kestrinSoundDump("K", "Lead", i));
  const PatchFile bank = readAll(rawBank(msgs));
  ASSERT_EQ(bank.entries.size(), 130u);
  EXPECT_EQ(bank.entries[127].messages[0].bytes[5], 127);
  EXPECT_EQ(bank.entries[128].messages[0].bytes[5], 0);
}

TEST(BankReader, FileOf14BytesIsNotRead) {
  Bytes file = soundDump("Tiny", "Bass", 1);
  file.resize(14);
  PatchFile bank;
  EXPECT_FALSE(readBankMessages(file.data(), 14, bank));
  EXPECT_TRUE(bank.entries.empty());
}

TEST(BankReader, SiblingMultiIsNotConvertedOnlyItsModelByteChanges) {
  const Bytes m = multiDump("Kestrin Multi", 7, 0x0F);
  const PatchFile bank = readAll(rawBank({m}, 2000));
  ASSERT_EQ(bank.entries.size(), 1u);
  EXPECT_EQ(bank.entries[0].messages[0].bytes, storedForm(m, 0));
}

TEST(BankWriter, FullSoundBankSizesAndMidiLayoutMatchTheFormat) {
  const PatchFile bank = readAll(rawBank(sounds(100, "W", {"Bass"})));
  const Bytes raw = writeBank(bank, false);
  const Bytes mid = writeBank(bank, true);
  EXPECT_EQ(raw.size(), 39200u);
  ASSERT_EQ(mid.size(), 39652u);
  const Bytes head = {0x4D, 0x54, 0x68, 0x64, 0, 0, 0, 6, 0, 1, 0, 2, 0x01, 0xE0, 0x4D, 0x54, 0x72, 0x6B, 0, 0, 0, 0x13,
                      0, 0xFF, 0x58, 4, 4, 2, 0x18, 8, 0, 0xFF, 0x51, 3, 0x07, 0xA1, 0x20, 0, 0xFF, 0x2F, 0,
                      0x4D, 0x54, 0x72, 0x6B, 0, 0, 0x9A, 0xB3, 0, 0xF0, 0x83, 0x07};
  EXPECT_EQ(Bytes(mid.begin(), mid.begin() + 53), head);
  EXPECT_EQ(Bytes(mid.begin() + 53 + 391, mid.begin() + 53 + 396), (Bytes{0x83, 0x74, 0xF0, 0x83, 0x07}));
  EXPECT_EQ(Bytes(mid.end() - 4, mid.end()), (Bytes{0, 0xFF, 0x2F, 0}));
}

TEST(BankWriter, FullMultiBankSizes) {
  const PatchFile bank = readAll(rawBank(multis(100, "M")));
  EXPECT_EQ(writeBank(bank, false).size(), 39300u);
  const Bytes mid = writeBank(bank, true);
  ASSERT_EQ(mid.size(), 39752u);
  EXPECT_EQ(Bytes(mid.begin() + 45, mid.begin() + 53), (Bytes{0, 0, 0x9B, 0x17, 0, 0xF0, 0x83, 0x08}));
}

TEST(BankWriter, MidiTrackLengthIsTrueWhenEntriesAreEmpty) {
  PatchFile bank = readAll(rawBank(sounds(3, "E", {"Bass"})));
  bank.entries.insert(bank.entries.begin(), LibrarianPatch());   // slot 0 without message
  bank.resizeToBank();
  const Bytes mid = writeBank(bank, true);
  const uint32_t len = (mid[45] << 24) | (mid[46] << 16) | (mid[47] << 8) | mid[48];
  EXPECT_EQ(len, mid.size() - 49);
  EXPECT_EQ(mid[49], 0x00) << "the first event written has delta 0";
  EXPECT_EQ(readAll(mid).entries.size(), 3u);
}

TEST(BankWriter, WhatIsWrittenReadsBackToTheSameEntriesInBothFormats) {
  std::vector<Bytes> msgs = sounds(60, "Trip", {"Bass", "Keys"});
  msgs.push_back(vostrelSoundDump("Vos", 3, 1));
  msgs.push_back(kestrinSoundDump("Kes", "Pad", 2));
  const PatchFile bank = readAll(rawBank(msgs));
  for (bool asMidi : {false, true}) {
    const PatchFile back = readAll(writeBank(bank, asMidi));
    ASSERT_EQ(back.entries.size(), bank.entries.size());
    for (size_t i = 0; i < bank.entries.size(); ++i) {
      EXPECT_EQ(back.entries[i].name, bank.entries[i].name);
      EXPECT_EQ(back.entries[i].category, bank.entries[i].category);
      EXPECT_EQ(back.entries[i].messages[0].bytes, bank.entries[i].messages[0].bytes) << i;
    }
  }
}

TEST(BankFileNames, ExtensionIsLowerCasedAndOnlyBankExtensionsCount) {
  EXPECT_EQ(lowerExtension("BANK.SYX"), "syx");
  EXPECT_EQ(lowerExtension("Bank.Mid"), "mid");
  EXPECT_EQ(lowerExtension("dir.x/noext"), "");
  EXPECT_TRUE(isBankExtension("zpk"));
  EXPECT_FALSE(isBankExtension("txt"));
}
