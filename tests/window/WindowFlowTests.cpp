// Flows through the real editor window, as a musician meets it: the host program opens the
// bundle on a private X server, the pointer and the keyboard are driven through XTest, and the
// results are read back from the window's pixels, the bytes a synth on the MIDI port receives,
// the files written and the editor's log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include <unistd.h>

#include "BankGenerator.h"
#include "JackTestServer.h"
#include "MidiTestPeer.h"
#include "WindowFlows.h"
#include "WindowSession.h"

namespace fs = std::filesystem;

namespace {

#define REQUIRE_XVFB() \
  if (!WindowSession::available()) GTEST_SKIP() << "no Xvfb"

// Places, at the normal size.
const int kStatusX = 980, kStatusY = 8, kStatusW = 310, kStatusH = 40;  // name and value lines
const int kOsc1DetuneX = 440, kOsc1OctaveX = 296, kOsc1KnobY = 168;
const int kOutFieldX = 200, kFieldRowY = 747;
const int kBankBoxX = 1160, kProgramBoxX = 1206, kNumberBoxY = 72;
const int kUpperListX = 600, kUpperListY = 197;
const int kGridX = 394, kUpperGridY = 211, kLowerGridY = 484;

// Centre of a librarian slot (column by column, 16 rows of 14, columns 133 apart).
int slotX(int s) { return kGridX + (s / 16) * 133 + 52; }
int slotY(bool lower, int s) { return (lower ? kLowerGridY : kUpperGridY) + (s % 16) * 14 + 7; }

bool sameRegion(const WindowImage& a, const WindowImage& b, int x, int y, int w, int h) {
  return a.crop(x, y, w, h).rgb == b.crop(x, y, w, h).rgb;
}

// Pixels of a region that are bright and saturated: lettering in the display's yellow.
int displayTextPixels(const WindowImage& img, int x, int y, int w, int h) {
  int n = 0;
  const WindowImage c = img.crop(x, y, w, h);
  for (int yy = 0; yy < c.h; ++yy)
    for (int xx = 0; xx < c.w; ++xx) {
      const uint8_t* p = c.at(xx, yy);
      n += p[0] > 160 && p[1] > 160 && p[2] < 120;
    }
  return n;
}

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream ss(text);
  for (std::string l; std::getline(ss, l);) out.push_back(l);
  return out;
}

std::string patchesFolder() {
  return std::string(getenv("XDG_DATA_HOME")) + "/Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor/Patches";
}

// Two sound banks of 100 entries: "Upper NNN" and "Lower NNN".
void writeTwoBanks() {
  testbanks::makeFolders(patchesFolder());
  testbanks::writeFile(patchesFolder() + "/a-upper.syx",
                       testbanks::rawBank(testbanks::sounds(100, "Upper", {"Bass", "Pad "}), 30001));
  testbanks::writeFile(patchesFolder() + "/b-lower.syx",
                       testbanks::rawBank(testbanks::sounds(100, "Lower", {"Lead", "Pad "}), 30001));
}

std::string hex(const std::vector<unsigned char>& m) {
  std::string s;
  char b[4];
  for (unsigned char c : m) {
    snprintf(b, sizeof b, "%02X ", c);
    s += b;
  }
  return s;
}

}  // namespace

TEST(WindowFlows, EveryTabShowsItsOwnPage) {
  REQUIRE_XVFB();
  TemporaryDataHome home;
  WindowSession w;
  ASSERT_TRUE(w.start({})) << w.why();
  std::vector<WindowImage> pages;
  for (int tab = 0; tab < kMainTabCount; ++tab) {
    showTab(w, tab);
    pages.push_back(w.settle());
  }
  for (int a = 0; a < kMainTabCount; ++a)
    for (int b = a + 1; b < kMainTabCount; ++b)
      EXPECT_FALSE(sameRegion(pages[a], pages[b], 84, 96, 1410, 636)) << kMainTabNames[a] << " vs " << kMainTabNames[b];
  EXPECT_TRUE(w.stop()) << w.output();
}

TEST(WindowFlows, ArrowKeysNeverReachTheHostsTempo) {
  // Arrow keys in the editor's window are the editor's: they must never move the focus to the
  // host's tempo field and step it (with a port chosen that tempo goes to the synth).
  REQUIRE_XVFB();
  TemporaryDataHome home;
  WindowSession w;
  ASSERT_TRUE(w.start({})) << w.why();
  showTab(w, 2);
  w.move(700, 400);
  const WindowImage before = w.window();
  for (const char* k : {"Up", "Up", "Down", "Left", "Right", "Up", "Up"}) w.key(k);
  w.settle();
  const WindowImage after = w.window();
  EXPECT_TRUE(sameRegion(before, after, 0, 0, before.w, w.barHeight())) << "the host's transport bar changed";
  EXPECT_TRUE(w.stop()) << w.output();
}

TEST(WindowFlows, PortFromTheMenuKnobDragsSendAndShowTheirValue) {
  REQUIRE_XVFB();
  JackTestServer jack;
  ASSERT_TRUE(jack.start());
  MidiTestPeer synth;
  ASSERT_TRUE(synth.ok());
  TemporaryDataHome home;
  WindowSession w;
  ASSERT_TRUE(w.start({})) << w.why();

  // The output port menu: the first entry is "no port", the synth's input follows.
  w.click(kOutFieldX, kFieldRowY);
  for (const char* k : {"Down", "Down", "Return"}) w.key(k);
  // A new port starts the search for the synth on every device id, behind a progress overlay
  // with a cancel button; this synth never answers, so the user cancels.
  w.settle(1.0);
  w.click(880, 468);
  w.settle();
  const std::vector<std::string> settings = lines(fileText(w.dataFolder() + "Sorvanta Editor UI.txt"));
  ASSERT_GE(settings.size(), 4u);
  EXPECT_EQ(settings[3], synth.inputPortName());

  // The host's tempo (121 BPM) went out as the multi tempo, BPM - 65: 3E 10 dev 21 00 05 38.
  bool tempoSent = false;
  for (const MidiTestPeer::Bytes& m : synth.messages())
    tempoSent = tempoSent || (m.size() == 9 && m[4] == 0x21 && m[5] == 0x00 && m[6] == 0x05 && m[7] == 121 - 65);
  EXPECT_TRUE(tempoSent);

  showTab(w, 2);
  const WindowImage before = w.settle();
  synth.clear();
  w.drag(kOsc1DetuneX, kOsc1KnobY, kOsc1DetuneX, kOsc1KnobY - 40);
  const WindowImage after = w.settle();
  EXPECT_FALSE(sameRegion(before, after, kOsc1DetuneX - 22, kOsc1KnobY - 22, 44, 44)) << "the knob did not turn";
  EXPECT_FALSE(sameRegion(before, after, kStatusX, kStatusY, kStatusW, kStatusH)) << "no readout";
  // Oscillator 1 detune of part 1 is sound parameter 3: 3E 10 dev 20 part 00 03 value, rising.
  ASSERT_TRUE(synth.waitForMessages(1));
  const std::vector<MidiTestPeer::Bytes> sent = synth.messages();
  const MidiTestPeer::Bytes& last = sent.back();
  ASSERT_EQ(last.size(), 10u) << hex(last);
  EXPECT_EQ(last[1], 0x3E);
  EXPECT_EQ(last[4], 0x20);
  EXPECT_EQ(last[5], 0x00);
  EXPECT_EQ(last[6], 0x00);
  EXPECT_EQ(last[7], 0x03);
  EXPECT_GT(last[8], 64) << hex(last);
  EXPECT_NE(w.output().find("Plug-in MIDI Out (sysex | 8 bytes | F0 3e 10 00 20 00 00 03 "), std::string::npos);

  // The octave knob steps through the nine footages (16 + 12n) and never sends a byte between.
  synth.clear();
  w.drag(kOsc1OctaveX, kOsc1KnobY, kOsc1OctaveX, kOsc1KnobY - 60, 30);
  w.drag(kOsc1OctaveX, kOsc1KnobY, kOsc1OctaveX, kOsc1KnobY + 120, 60);
  w.settle();
  int octaves = 0;
  for (const MidiTestPeer::Bytes& m : synth.messages())
    if (m.size() == 10 && m[4] == 0x20 && m[7] == 0x01) {
      ++octaves;
      EXPECT_TRUE(m[8] >= 16 && m[8] <= 112 && (m[8] - 16) % 12 == 0) << hex(m);
    }
  EXPECT_GE(octaves, 4);
  EXPECT_TRUE(w.stop()) << w.output();
}

TEST(WindowFlows, LibrarianSelectRenameCopyPasteAndSaveAs) {
  REQUIRE_XVFB();
  TemporaryDataHome home;
  writeTwoBanks();
  WindowSession w;
  ASSERT_TRUE(w.start({})) << w.why();
  showTab(w, 1);
  // The lower grid gets the second bank from its menu.
  w.click(kUpperListX, kUpperListY + 273);
  for (const char* k : {"Down", "Down", "Return"}) w.key(k);
  WindowImage before = w.settle();

  // Rename upper slot 2: the field takes the typing at once, Return applies it.
  w.click(slotX(2), slotY(false, 2));
  w.click(slotX(2), slotY(false, 2), 3);
  for (const char* k : {"Down", "Down", "Return"}) w.key(k);
  w.settle();
  w.type("Renamed");
  w.key("Return");
  WindowImage after = w.settle();
  EXPECT_FALSE(sameRegion(before, after, slotX(2) - 52, slotY(false, 2) - 7, 105, 14)) << "slot 2 kept its name";

  // Copy lower slot 5 and paste it into upper slot 7.
  w.click(slotX(5), slotY(true, 5), 3);
  for (const char* k : {"Down", "Return"}) w.key(k);
  w.click(slotX(7), slotY(false, 7), 3);
  for (const char* k : {"Down", "Return"}) w.key(k);
  before = after;
  after = w.settle();
  EXPECT_FALSE(sameRegion(before, after, slotX(7) - 52, slotY(false, 7) - 7, 105, 14)) << "nothing pasted";

  // With edits unsaved the upper bank menu does not open: the status line says why.
  before = after;
  w.click(kUpperListX, kUpperListY);
  after = w.settle();
  EXPECT_TRUE(w.popups().empty());
  EXPECT_FALSE(sameRegion(before, after, kStatusX, kStatusY, kStatusW, 18)) << "no word why the menu stays shut";

  // Save As: the panel opens in the library folder; the saved bank is listed at once.
  w.click(877, 196);
  for (const char* k : {"Down", "Down", "Down", "Down", "Down", "Down", "Right", "Return"}) w.key(k);
  ASSERT_TRUE(w.focusDialog()) << "no save panel";
  w.type("Saved");
  w.settle(1.0);  // the panel completes names as they are typed
  w.key("Return");
  std::string saved;
  for (int i = 0; i < 50 && saved.empty(); ++i, usleep(100000)) saved = fileText(patchesFolder() + "/Saved.mid");
  ASSERT_FALSE(saved.empty()) << "no Saved.mid in the library folder";
  EXPECT_NE(saved.find("Renamed"), std::string::npos);
  const testbanks::Bytes lower5 = testbanks::sounds(100, "Lower", {"Lead", "Pad "})[5];
  EXPECT_NE(saved.find(std::string(lower5.begin() + 370, lower5.begin() + 379)), std::string::npos);
  // Listed at once: the upper grid shows the saved bank, and its edits are no longer unsaved
  // (the bank menu opens again).
  w.settle();
  w.click(kUpperListX, kUpperListY);
  w.settle(1.0);
  EXPECT_FALSE(w.popups().empty()) << "the bank menu stays shut after the save";
  w.key("Escape");
  EXPECT_TRUE(w.stop()) << w.output();
}

TEST(WindowFlows, DisplayBoxesShowTheChosenBankAndProgram) {
  REQUIRE_XVFB();
  TemporaryDataHome home;
  WindowSession w;
  ASSERT_TRUE(w.start({})) << w.why();
  w.click(kBankBoxX, kNumberBoxY);
  for (const char* k : {"Down", "Down", "Return"}) w.key(k);
  w.click(kProgramBoxX, kNumberBoxY);
  for (const char* k : {"Down", "Right", "Down", "Down", "Return"}) w.key(k);
  const WindowImage shown = w.settle();
  EXPECT_GT(displayTextPixels(shown, kBankBoxX - 18, kNumberBoxY - 10, 36, 20), 10) << "bank box blank";
  EXPECT_GT(displayTextPixels(shown, kProgramBoxX - 21, kNumberBoxY - 10, 42, 20), 10) << "program box blank";
  EXPECT_TRUE(w.stop()) << w.output();
}

TEST(WindowFlows, LongMenusFitTheScreen) {
  // The oscillator shape menu holds 69 shapes: it must not run off a 1200-pixel screen.
  REQUIRE_XVFB();
  TemporaryDataHome home;
  WindowSession w;
  ASSERT_TRUE(w.start({})) << w.why();
  showTab(w, 2);
  w.click(185, 162);
  w.settle(1.0);
  const std::vector<std::pair<int, int>> open = w.popups();
  ASSERT_FALSE(open.empty()) << "no menu opened";
  for (const auto& p : open) EXPECT_LE(p.second, 1150);
  w.key("Escape");
  EXPECT_TRUE(w.stop()) << w.output();
}
