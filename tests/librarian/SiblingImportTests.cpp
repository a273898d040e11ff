#include <gtest/gtest.h>

#include "BankFormats.h"
#include "BankGenerator.h"
#include "SiblingImport.h"

using namespace testbanks;

namespace {

// A stored Kestrin sound as the reader hands it over: 393 bytes (one extra data byte), every
// data byte 0 unless set.
PatchSysexMessage kestrin(std::initializer_list<std::pair<int, uint8_t>> values) {
  PatchSysexMessage m;
  m.bytes.assign(393, 0);
  m.bytes[0] = 0xF0; m.bytes[1] = 0x3E; m.bytes[2] = 0x10; m.bytes[4] = 0x10;
  for (auto& v : values) m.bytes[v.first] = v.second;
  m.bytes[392] = 0xF7;
  return m;
}

PatchSysexMessage vostrel(std::initializer_list<std::pair<int, uint8_t>> values) {
  PatchSysexMessage m = kestrin(values);
  m.bytes.resize(392);
  m.bytes[391] = 0xF7;
  return m;
}

uint8_t kestrinAt(int pos, uint8_t value, int readPos = -1) {
  PatchSysexMessage m = kestrin({{readPos < 0 ? pos : readPos, value}});
  alterPatchFromKestrinFormat(m);
  return m.bytes[pos];
}

uint8_t vostrelAt(int pos, uint8_t value) {
  PatchSysexMessage m = vostrel({{pos, value}});
  alterPatchFromVostrelFormat(m);
  return m.bytes[pos];
}

}  // namespace

TEST(KestrinConversion, ValueRangesAtTheirEdges) {
  EXPECT_EQ(kestrinAt(151, 4), 7);
  EXPECT_EQ(kestrinAt(151, 8), 8);
  EXPECT_EQ(kestrinAt(151, 5), 4);
  EXPECT_EQ(kestrinAt(151, 7), 6);
  EXPECT_EQ(kestrinAt(151, 9), 0);
  EXPECT_EQ(kestrinAt(151, 32), 9);
  EXPECT_EQ(kestrinAt(151, 33), 10);
  EXPECT_EQ(kestrinAt(13, 4), 4);
  EXPECT_EQ(kestrinAt(29, 5), 0);
  EXPECT_EQ(kestrinAt(45, 7), 0);
  {
    PatchSysexMessage m = kestrin({{13, 8}, {16, 42}});
    alterPatchFromKestrinFormat(m);
    EXPECT_EQ(m.bytes[13], 42) << "8 and above take the value three positions on";
  }
  EXPECT_EQ(kestrinAt(15, 0), 1);
  EXPECT_EQ(kestrinAt(47, 9), 10);
  EXPECT_EQ(kestrinAt(84, 16), 16);
  EXPECT_EQ(kestrinAt(84, 17), 1);
  EXPECT_EQ(kestrinAt(104, 40), 1);
  EXPECT_EQ(kestrinAt(124, 0), 1);
  EXPECT_EQ(kestrinAt(124, 3), 0);
  EXPECT_EQ(kestrinAt(135, 3), 3);
  EXPECT_EQ(kestrinAt(135, 4), 0);
  EXPECT_EQ(kestrinAt(135, 5), 4);
  EXPECT_EQ(kestrinAt(135, 7), 6);
  EXPECT_EQ(kestrinAt(135, 8), 0);
}

TEST(KestrinConversion, DataFrom253MovesDownOneAndIsRemappedWhereItLands) {
  // A 20 at 254 arrives at 253 (the 31..42 rule) unchanged; a 20 at 253 arrives at 252 as 0.
  EXPECT_EQ(kestrinAt(253, 20, 254), 20);
  EXPECT_EQ(kestrinAt(252, 20, 253), 0);
  EXPECT_EQ(kestrinAt(252, 19, 253), 19);
  EXPECT_EQ(kestrinAt(256, 21, 257), 20);
  EXPECT_EQ(kestrinAt(253, 31, 254), 0);
  EXPECT_EQ(kestrinAt(253, 42, 254), 0);
  EXPECT_EQ(kestrinAt(313, 43, 314), 31);
  EXPECT_EQ(kestrinAt(314, 60, 315), 59);
  EXPECT_EQ(kestrinAt(300, 99, 301), 99) << "moved but not remapped";
  EXPECT_EQ(kestrinAt(251, 99), 99) << "nothing below 252 moves";
  PatchSysexMessage m = kestrin({{252, 77}, {390, 5}, {391, 6}});
  alterPatchFromKestrinFormat(m);
  ASSERT_EQ(m.bytes.size(), 392u);
  EXPECT_EQ(m.bytes[389], 5);
  EXPECT_EQ(m.bytes[390], 6);
  EXPECT_EQ(m.bytes[391], 0xF7);
}

TEST(KestrinConversion, ShortMessageReadsAsZeroExtended) {
  PatchSysexMessage m;
  m.bytes = {0xF0, 0x3E, 0x10, 0x00, 0x10, 0x00, 0x00, 0xF7};
  alterPatchFromKestrinFormat(m);
  ASSERT_EQ(m.bytes.size(), 392u);
  EXPECT_EQ(m.bytes[124], 1) << "0 becomes 1";
  EXPECT_EQ(m.bytes[15], 1);
  EXPECT_EQ(m.bytes[391], 0xF7);
}

TEST(VostrelConversion, ValueRangesAtTheirEdges) {
  EXPECT_EQ(vostrelAt(15, 6), 6);
  EXPECT_EQ(vostrelAt(31, 7), 0);
  EXPECT_EQ(vostrelAt(17, 9), 9);
  EXPECT_EQ(vostrelAt(17, 10), 0);
  EXPECT_EQ(vostrelAt(33, 11), 11);
  EXPECT_EQ(vostrelAt(49, 12), 0);
  EXPECT_EQ(vostrelAt(57, 13), 13);
  EXPECT_EQ(vostrelAt(96, 14), 0);
  EXPECT_EQ(vostrelAt(289, 15), 12);
  EXPECT_EQ(vostrelAt(268, 16), 11);
  EXPECT_EQ(vostrelAt(130, 17), 0);
  EXPECT_EQ(vostrelAt(19, 55), 0);
  EXPECT_EQ(vostrelAt(109, 1), 0);
  EXPECT_EQ(vostrelAt(84, 17), 17) << "the Vostrel's limit is 18, the Kestrin's 17";
  EXPECT_EQ(vostrelAt(104, 18), 1);
  EXPECT_EQ(vostrelAt(151, 6), 7);
  EXPECT_EQ(vostrelAt(151, 4), 4);
  EXPECT_EQ(vostrelAt(252, 24), 0);
  EXPECT_EQ(vostrelAt(313, 23), 23);
  EXPECT_EQ(vostrelAt(269, 30), 30);
  EXPECT_EQ(vostrelAt(290, 31), 0);
  EXPECT_EQ(vostrelAt(293, 53), 53);
  EXPECT_EQ(vostrelAt(314, 54), 0);
  EXPECT_EQ(vostrelAt(300, 99), 99) << "nothing moves in a Vostrel dump";
}

TEST(VostrelConversion, CategoryNumberBecomesBlankPaddedText) {
  const struct {
    int number;
    const char* text;
  } cases[] = {{0, "Init"}, {1, "Arp "}, {3, "Bass"}, {5, "FX  "}, {9, "Pad "}, {12, "Seq "}, {13, "Init"}};
  for (const auto& c : cases) {
    PatchSysexMessage m = vostrel({{386, 0x55}, {387, static_cast<uint8_t>(c.number)}, {388, 0x66}, {389, 0x77}});
    alterPatchFromVostrelFormat(m);
    alterVostrelCategoryFormat(m);
    EXPECT_EQ(std::string(m.bytes.begin() + 386, m.bytes.begin() + 390), c.text) << c.number;
  }
}

TEST(SiblingFiles, ConvertedSoundsReadWithNameCategoryAndValidChecksum) {
  const Bytes file = rawBank({kestrinSoundDump("Kestrin Lead", "Lead", 1), vostrelSoundDump("Vostrel Pad", 9, 2)});
  PatchFile bank;
  readBankMessages(file.data(), static_cast<int>(file.size()), bank);
  ASSERT_EQ(bank.entries.size(), 2u);
  EXPECT_EQ(bank.entries[0].name, "Kestrin Lead    ");
  EXPECT_EQ(bank.entries[0].category, "Lead");
  EXPECT_EQ(bank.entries[1].name, "Vostrel Pad     ");
  EXPECT_EQ(bank.entries[1].category, "Pad ");
  for (const LibrarianPatch& e : bank.entries) EXPECT_TRUE(isValidStoredDump(e.messages[0].bytes));
}
