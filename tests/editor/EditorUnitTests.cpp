// The editor core's plain pieces: settings file, log lines, value texts, randomizer draws, link
// arithmetic and the patch manager's block.
#include <dirent.h>
#include <gtest/gtest.h>

#include "EditorLog.h"
#include "EditorSettings.h"
#include "EditorTestSupport.h"
#include "LinkManager.h"
#include "ParamNames.h"
#include "PartRandomizer.h"
#include "PatchManager.h"
#include "SysexProtocol.h"
#include "ValueDisplay.h"

using namespace editortest;

namespace {

std::string text(int param, int n, const std::vector<std::string>* list = nullptr, double clock = 0.0) {
  return ValueDisplay::valueText(
      param, n, n, [list](const std::string&) { return list; }, [clock](int) { return clock; });
}

}  // namespace

TEST(EditorSettings, ReadsFiveTrimmedLinesAndIgnoresTheSixth) {
  auto lines = EditorSettings::parse("blue \t\r\nlarge  \r\nyes\nPort A\nPort B\nextra\n");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "blue");
  EXPECT_EQ(lines[1], "large");
  EXPECT_EQ(lines[3], "Port A");
  EXPECT_EQ(lines[4], "Port B");
  EXPECT_DOUBLE_EQ(EditorSettings::sizeFactorFromWord(lines[1]), 1.15);
  EXPECT_EQ(EditorSettings::sizeIndexFromWord("Large"), -1);  // letter case counts
  auto three = EditorSettings::parse("  yellow\nsmall\nno");  // last line without a line feed
  EXPECT_EQ(three[0], "  yellow");                            // leading blanks stay
  EXPECT_EQ(three[2], "no");
  EXPECT_EQ(three[3], "");
}

TEST(EditorSettings, RewriteReplacesTheWholeFileAndNeverCreatesIt) {
  char tmpl[] = "/tmp/sorvanta-settings-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  const std::string path = dir + "/Sorvanta Editor UI.txt";
  std::vector<std::string> lines = {"blue", "small", "yes", "Port A", "Port B"};
  EXPECT_FALSE(EditorSettings::rewrite(path, lines));
  EXPECT_FALSE(fileExists(path));
  writeFile(path, "blue\nlarge\nyes\nPort A with a much longer name than before\nPort B\n");
  ASSERT_TRUE(EditorSettings::rewrite(path, lines));
  EXPECT_EQ(readFile(path), "blue\nsmall\nyes\nPort A\nPort B");  // four line feeds, no old rest
  EXPECT_EQ(EditorSettings::read(path), lines);
  int entries = 0;  // the settings file alone: no temporary left behind
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') ++entries;
    closedir(d);
  }
  EXPECT_EQ(entries, 1);
  // A write that cannot happen leaves the old file whole (the folder is read-only).
  if (geteuid() != 0) {
    chmod(dir.c_str(), 0500);
    EXPECT_FALSE(EditorSettings::rewrite(path, {"yellow", "normal", "no", "", ""}));
    chmod(dir.c_str(), 0700);
    EXPECT_EQ(readFile(path), "blue\nsmall\nyes\nPort A\nPort B");
  }
  remove(path.c_str());
  rmdir(dir.c_str());
}

TEST(DebuggerOutput, LogFileIsEmptiedAtOpenAndGetsStampedLines) {
  char tmpl[] = "/tmp/sorvanta-log-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  const std::string path = dir + "/log.txt";
  testing::internal::CaptureStdout();
  EXPECT_FALSE(DebuggerOutput::openDebugFile(path));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // no log file is the usual case, not news
  EXPECT_FALSE(fileExists(path));
  writeFile(path, "old line\n");
  ASSERT_TRUE(DebuggerOutput::openDebugFile(path));
  EXPECT_EQ(readFile(path), "");
  DebuggerOutput::printDebugInfo(path, "INITIALIZATION STARTED!");
  const std::string line = readFile(path);
  // "YYYY-MM-DD.HH:MM:SS\t INITIALIZATION STARTED!\n"
  ASSERT_GT(line.size(), 11u);
  EXPECT_EQ(line[4], '-');
  EXPECT_EQ(line[10], '.');
  EXPECT_NE(line.find("\t INITIALIZATION STARTED!\n"), std::string::npos);
  remove(path.c_str());
  rmdir(dir.c_str());
}

TEST(DeferredLogLines, HeldLinesAreWrittenInOrderAndOverflowIsAdmitted) {
  char tmpl[] = "/tmp/sorvanta-log-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  const std::string path = dir + "/log.txt";
  DeferredLogLines held;
  EXPECT_TRUE(held.tryPush("first"));
  EXPECT_TRUE(held.tryPush(std::string(400, 'x')));  // cut, never read past its slot
  for (int i = 2; i < DeferredLogLines::kCapacity; ++i) EXPECT_TRUE(held.tryPush("line " + std::to_string(i)));
  EXPECT_FALSE(held.tryPush("one too many"));
  EXPECT_FALSE(fileExists(path));
  held.drainTo(path);
  EXPECT_TRUE(held.empty());
  const std::string log = readFile(path);
  ASSERT_NE(log.find("	 first\n"), std::string::npos);
  EXPECT_NE(log.find("	 " + std::string(DeferredLogLines::kMaxLineLength, 'x') + "\n"), std::string::npos);
  EXPECT_LT(log.find("	 first\n"), log.find("line 31"));
  EXPECT_EQ(log.find("one too many"), std::string::npos);
  EXPECT_NE(log.find("PROCESSOR: 1 log lines from the audio thread were dropped"), std::string::npos);
  // A second drain writes nothing more.
  held.drainTo(path);
  EXPECT_EQ(readFile(path), log);
  remove(path.c_str());
  rmdir(dir.c_str());
}

TEST(DebuggerOutput, SysExLineHasLowerCaseBytesInUpperCaseFrame) {
  const unsigned char bytes[] = {0x0A, 0x10, 0x7F};
  // The count is of the bytes sent: with the F0 and F7 that a message handed in without them gets.
  EXPECT_EQ(DebuggerOutput::formatSysExOutLine(bytes, 3), "Plug-in MIDI Out (sysex | 5 bytes | F0 0a 10 7f F7)");
  EXPECT_EQ(DebuggerOutput::formatSysExOutLine(bytes, 0), "Plug-in MIDI Out (sysex | 0 bytes | F0 F7)");
  EXPECT_EQ(sysex::outgoingShortLine(0xC3, 5, 0), "Plug-in MIDI Out c3 05\n");  // a short message's, whole
  // A count beyond the vector never reads past it.
  EXPECT_EQ(DebuggerOutput::formatSysExOutLine(std::vector<int>{0xF0, 1}, 9), "Plug-in MIDI Out (sysex | 2 bytes | F0 f0 01 F7)");
}

TEST(ValueDisplay, FormatsByRule) {
  EXPECT_EQ(text(kOscillator1Semitone + 3, 64), "0 [64]");
  EXPECT_EQ(text(kOscillator1Semitone, 76), "+12 [76]");
  EXPECT_EQ(text(kOscillator1Semitone, 52), "-12 [52]");
  EXPECT_EQ(text(kOscillator1Semitone, 128), " [128]");
  EXPECT_EQ(text(kMultiPartTranspose, 48), "+0 [48]");
  EXPECT_EQ(text(kOscillator2Octave, 64), "  8 \xC2\xB4 [64]");
  EXPECT_EQ(text(kOscillator2Octave, 65), " [65]");
  EXPECT_EQ(text(kOscillator2Octave, 4), "-1 [4]");  // below the footages: the octave number
  EXPECT_EQ(text(kFilter1Keytrack, 96), "+100% [96]");
  EXPECT_EQ(text(kFilter1Keytrack, 127), "+196% [127]");
  EXPECT_EQ(text(kLFO2Keytrack, 64), "0 % [64]");
  EXPECT_EQ(text(kLFO2Keytrack, 65), "3% [65]");
  EXPECT_EQ(text(kOscillator1Balance, 1), "F1 100% : F2 0% [1]");
  EXPECT_EQ(text(kOscillator1Balance, 126), "F1 2% : F2 98% [126]");
  EXPECT_EQ(text(kFilter2Panning, 63), "LEFT 1% [63]");
  EXPECT_EQ(text(kFilter2Panning, 64), "< CENTER > [64]");
  EXPECT_EQ(text(kOscillator3Pulsewidth, 2), "<1% [2]");
  EXPECT_EQ(text(kOscillator3Pulsewidth, 3), "1% [3]");
  EXPECT_EQ(text(kOscillator3Pulsewidth, 126), "49% [126]");
  EXPECT_EQ(text(kFX251DelayFeedback, 1), "0.78% [1]");
  EXPECT_EQ(text(kMultiPartMIDICh + 5, 0), "Global [0]");
  EXPECT_EQ(text(kMultiPartMIDICh, 17), "16 [17]");
  EXPECT_EQ(text(kFilterEnvAttack, 100), "100");
  EXPECT_EQ(text(kFilterLinkSwitch, 2), " [2]");
  EXPECT_EQ(text(kSectionLockOsc2 + 4, 1), "ON [1]");
  const std::vector<std::string> clocked(64, "1/16");
  EXPECT_EQ(text(kLFO1Speed, 40, &clocked, 0.0), "40");
  EXPECT_EQ(text(kLFO1Speed, 40, &clocked, 1.0), "1/16 [40]");
  const std::vector<std::string> shapes = {"Sine", "Saw"};
  EXPECT_EQ(text(kLFO1Shape, 1, &shapes), "Saw [1]");
  EXPECT_EQ(text(kLFO1Shape, 5, &shapes), " [5]");   // past the list: empty, nothing read outside
  EXPECT_EQ(text(kLFO1Shape, -1, &shapes), " [-1]");
  EXPECT_EQ(text(kMultiTempo, 1, nullptr), " BPM [1]");
  EXPECT_TRUE(ValueDisplay::neverDisplayed(kQuickTab));
  EXPECT_TRUE(ValueDisplay::neverDisplayed(kPatchName + 7));
}

TEST(ValueDisplay, PartFilterMatchesTheWholeBracketedNumber) {
  EXPECT_TRUE(ValueDisplay::nameIsOfPart("[3] Cutoff", 2));
  EXPECT_FALSE(ValueDisplay::nameIsOfPart("[13] Cutoff", 2));
  EXPECT_FALSE(ValueDisplay::nameIsOfPart("[4] Cutoff", 2));
  EXPECT_TRUE(ValueDisplay::nameIsOfPart("[10] Cutoff", 9));
  EXPECT_FALSE(ValueDisplay::nameIsOfPart("[1] Cutoff", 9));
  EXPECT_FALSE(ValueDisplay::nameIsOfPart("[", 0));
}

TEST(PartRandomizer, DrawsStayInsideTheirRange) {
  EXPECT_EQ(PartRandomizer::draw(0, 127, 128), 1);
  EXPECT_EQ(PartRandomizer::draw(0, 127, 200), 73);
  EXPECT_EQ(PartRandomizer::draw(0, 127, 254), 127);
  EXPECT_EQ(PartRandomizer::draw(0, 127, 255), 1);
  EXPECT_EQ(PartRandomizer::draw(0, 1, 6), 0);
  EXPECT_EQ(PartRandomizer::draw(0, 1, 7), 1);
  EXPECT_EQ(PartRandomizer::draw(0, 2, 4), 2);
  EXPECT_EQ(PartRandomizer::draw(0, 7, 100), 2);
  EXPECT_EQ(PartRandomizer::draw(0, 7, 255), 3);
  // A maximum of 0 would loop for ever by the plain rule; it folds instead.
  EXPECT_EQ(PartRandomizer::draw(0, 0, 200), 0);
  EXPECT_EQ(PartRandomizer::draw(-5, 0, 17), 17 % 6);
  for (int b = 0; b < 256; ++b) {
    const int r = PartRandomizer::draw(0, 12, b);
    EXPECT_GE(r, 0);
    EXPECT_LE(r, 12);
  }
  std::vector<int> a, c;
  PartRandomizer::randomGenerator(a, 1234);
  PartRandomizer::randomGenerator(c, 1234);
  ASSERT_EQ(a.size(), 393u);
  EXPECT_EQ(a, c);  // the same second draws the same bytes
}

TEST(LinkManager, PartnerKeepsItsSideAndDistanceClamped) {
  EXPECT_EQ(LinkManager::partnerValue(80, 70, 20), 90);
  EXPECT_EQ(LinkManager::partnerValue(90, 100, 20), 80);
  EXPECT_EQ(LinkManager::partnerValue(50, 50, 20), 50);
  EXPECT_EQ(LinkManager::partnerValue(10, 120, -1), 119);
  EXPECT_EQ(LinkManager::partnerValue(127, 120, 30), 127);
  EXPECT_EQ(LinkManager::partnerValue(0, 5, 30), 0);
  EXPECT_EQ(LinkManager::filterPairPartner(kFilter1Cutoff + 2), kFilter2Cutoff + 2);
  EXPECT_EQ(LinkManager::filterPairPartner(kFilter2PanAmount + 15), kFilter1PanAmount + 15);
  EXPECT_EQ(LinkManager::filterPairPartner(kFilter1Type), -1);
  EXPECT_EQ(LinkManager::filterPairPartner(kFilterRouting + 1), -1);
}

TEST(PatchManager, BlockRoundTripsNamesAtTheirWidths) {
  PatchManager a;
  a.setName(0, "A multi name of twenty");
  a.setName(1 + 4, "Bass");
  a.setName(PatchManager::kSlotMidiOut, std::string(40, 'o'));
  a.setName(PatchManager::kSlotFirstCategory + 2, "Leads");
  a.setName(7, "");
  EXPECT_EQ(a.getName(7), "Set Name");
  EXPECT_EQ(a.getName(35), "INIT");
  ByteChunk chunk;
  a.saveAllToChunk(&chunk);
  PatchManager b;
  ASSERT_EQ(b.loadAllFromChunk(&chunk, 0), chunk.Size());
  EXPECT_EQ(b.getName(0), std::string("A multi name of ", 16));
  EXPECT_EQ(b.getName(5), std::string("Bass\0\0\0\0\0\0\0\0\0\0\0\0", 16));
  EXPECT_EQ(b.getName(PatchManager::kSlotMidiOut), std::string(32, 'o'));
  EXPECT_EQ(b.getName(PatchManager::kSlotFirstCategory + 2), "Lead");
}

TEST(PatchManager, HostileBlocksAreRefusedWithoutChange) {
  PatchManager a;
  ByteChunk good;
  a.saveAllToChunk(&good);
  PatchManager b;
  b.setName(3, "Kept");
  // Every truncation fails, a huge snapshot length fails, a name length past its slot fails.
  for (int cut = 0; cut < good.Size(); cut += 7) {
    ByteChunk shortChunk;
    shortChunk.PutBytes(good.GetBytes(), cut);
    EXPECT_EQ(b.loadAllFromChunk(&shortChunk, 0), -1) << cut;
  }
  ByteChunk huge;
  huge.PutBytes(good.GetBytes(), good.Size());
  huge.GetBytes()[8] = 0x7F;  // snapshot length 0x7F000000, big-endian
  EXPECT_EQ(b.loadAllFromChunk(&huge, 0), -1);
  ByteChunk longName;
  longName.PutBytes(good.GetBytes(), good.Size());
  longName.GetBytes()[12] = 200;  // slot 0 claims 200 characters
  EXPECT_EQ(b.loadAllFromChunk(&longName, 0), -1);
  EXPECT_EQ(b.loadAllFromChunk(&good, -4), -1);
  EXPECT_EQ(b.getName(3), "Kept");
}
