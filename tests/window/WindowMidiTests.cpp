// Flows through the real editor window with a synth on a MIDI port (a private JACK server and
// a peer standing in for the Dorvik's interface): the port chosen from the editor's menu, and
// what knobs and the librarian put on the wire.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "BankGenerator.h"
#include "JackTestServer.h"
#include "MidiTestPeer.h"
#include "WindowFlows.h"
#include "WindowSession.h"

namespace {

// The editor on its own X server and a synth on its own JACK server.
class WindowMidiFlows : public ::testing::Test {
protected:
  void SetUp() override {
    if (!WindowSession::available()) GTEST_SKIP() << "no Xvfb";
    ASSERT_TRUE(jack.start());
    peer = std::make_unique<MidiTestPeer>();  // after the server: it talks to the one started
    ASSERT_TRUE(peer->ok());
  }
  void start() { ASSERT_TRUE(w.start({})) << w.why(); }
  void TearDown() override {
    if (!HasFatalFailure() && !IsSkipped()) {
      EXPECT_TRUE(w.stop()) << w.output();
    }
  }
  JackTestServer jack;
  std::unique_ptr<MidiTestPeer> peer;
  testbanks::TempDataHome home;
  WindowSession w;
};

// Starts the editor and chooses the synth's input from the output port menu: the first entry
// is "no port", the synth's input follows. A new port starts the search for the synth on every
// device id, behind a progress overlay with a cancel button; this synth never answers, so the
// user cancels.
void chooseSynthPort(WindowSession& w, const std::vector<const char*>& keys = {"Down", "Down", "Return"}) {
  ASSERT_TRUE(w.menu(kOutFieldX, kFieldRowY, keys));
  w.settle(1.0);
  w.click(880, 468);
  w.settle();
}

}  // namespace

TEST_F(WindowMidiFlows, PortFromTheMenuKnobDragsSendAndShowTheirValue) {
  start();

  chooseSynthPort(w);
  const std::vector<std::string> settings = textLines(fileText(w.dataFolder() + "Sorvanta Editor UI.txt"));
  ASSERT_GE(settings.size(), 4u);
  EXPECT_EQ(settings[3], peer->inputPortName());

  // The host's tempo (121 BPM) went out as the multi tempo, BPM - 65: 3E 10 dev 21 00 05 38.
  bool tempoSent = false;
  for (const MidiTestPeer::Bytes& m : peer->messages())
    tempoSent = tempoSent || (m.size() == 9 && m[4] == 0x21 && m[5] == 0x00 && m[6] == 0x05 && m[7] == 121 - 65);
  EXPECT_TRUE(tempoSent);

  showTab(w, 2);
  const WindowImage before = w.settle();
  peer->clear();
  w.drag(kOsc1DetuneX, kOsc1KnobY, kOsc1DetuneX, kOsc1KnobY - 40);
  const WindowImage after = w.settleChanged(before, kStatusX, kStatusY, kStatusW, kStatusH);
  EXPECT_FALSE(sameRegion(before, after, kOsc1DetuneX - 22, kOsc1KnobY - 22, 44, 44)) << "the knob did not turn";
  EXPECT_FALSE(sameRegion(before, after, kStatusX, kStatusY, kStatusW, kStatusH)) << "no readout";
  // Oscillator 1 detune of part 1 is sound parameter 3: 3E 10 dev 20 part 00 03 value, rising.
  ASSERT_TRUE(peer->waitForMessages(1));
  const std::vector<MidiTestPeer::Bytes> sent = peer->messages();
  const MidiTestPeer::Bytes& last = sent.back();
  ASSERT_EQ(last.size(), 10u) << hexBytes(last);
  EXPECT_EQ(last[1], 0x3E);
  EXPECT_EQ(last[4], 0x20);
  EXPECT_EQ(last[5], 0x00);
  EXPECT_EQ(last[6], 0x00);
  EXPECT_EQ(last[7], 0x03);
  EXPECT_GT(last[8], 64) << hexBytes(last);
  EXPECT_NE(w.output().find("Plug-in MIDI Out (sysex | 8 bytes | F0 3e 10 00 20 00 00 03 "), std::string::npos);

  // The octave knob steps through the nine footages (16 + 12n) and never sends a byte between.
  peer->clear();
  w.drag(kOsc1OctaveX, kOsc1KnobY, kOsc1OctaveX, kOsc1KnobY - 60, 30);
  w.drag(kOsc1OctaveX, kOsc1KnobY, kOsc1OctaveX, kOsc1KnobY + 120, 60);
  w.settle();
  int octaves = 0;
  for (const MidiTestPeer::Bytes& m : peer->messages())
    if (m.size() == 10 && m[4] == 0x20 && m[7] == 0x01) {
      ++octaves;
      EXPECT_TRUE(m[8] >= 16 && m[8] <= 112 && (m[8] - 16) % 12 == 0) << hexBytes(m);
    }
  EXPECT_GE(octaves, 4);
}

// A synth whose port appears after the editor started is in the OUT menu when it next opens, last.
TEST_F(WindowMidiFlows, APortThatAppearsLaterIsInTheMenuWhenItOpens) {
  start();
  MidiTestPeer late("LateSynth");
  chooseSynthPort(w, {"Down", "Down", "Down", "Return"});
  EXPECT_EQ(textLines(fileText(w.dataFolder() + "Sorvanta Editor UI.txt")).at(3), late.inputPortName());
}

TEST_F(WindowMidiFlows, DoubleClickSendsTheSlotsSoundAsItLiesInTheBank) {
  writeTwoBanks(home.patches());
  start();
  chooseSynthPort(w);
  showTab(w, 1);
  peer->clear();
  w.doubleClick(slotX(37), slotY(false, 37));
  // (all notes off goes first on the part's channel)
  for (int i = 0; i < 50 && peer->byteCount() < 392; ++i) MidiTestSleep(0.1);
  // The dump on the wire is the bank's entry, addressed to the edit buffer of part 1.
  const testbanks::Bytes entry = testbanks::sounds(100, "Upper", {"Bass", "Pad "})[37];
  bool found = false;
  for (const MidiTestPeer::Bytes& m : peer->messages())
    found = found || (m.size() == entry.size() && std::equal(m.begin() + 370, m.begin() + 386, entry.begin() + 370));
  EXPECT_TRUE(found) << "no dump named like entry 37";
}
