// Flows through the real editor window with a synth on a MIDI port (a private JACK server and
// a peer standing in for the Dorvik's interface): the port chosen from the editor's menu, and
// what knobs and the librarian put on the wire.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "BankGenerator.h"
#include "DorvikSim.h"
#include "DumpLayout.h"
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
// is "no port", the synth's input follows. With no input chosen no search for the synth starts.
void chooseSynthPort(WindowSession& w, const std::vector<const char*>& keys = {"Down", "Down", "Return"}) {
  ASSERT_TRUE(w.menu(kOutFieldX, kFieldRowY, keys));
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
  EXPECT_NE(w.output().find("Plug-in MIDI Out (sysex | 10 bytes | F0 3e 10 00 20 00 00 03 "), std::string::npos);

  // Every step of the hand is sent, also steps that reach a busy window together.
  peer->clear();
  w.press(kOsc1DetuneX, kOsc1KnobY);
  std::vector<std::pair<int, int>> steps;
  for (int i = 1; i <= 12; ++i) steps.emplace_back(kOsc1DetuneX, kOsc1KnobY + 4 * i);
  w.movesReachingBusyHost(steps);
  w.release();
  peer->waitForMessages(12);
  int detunes = 0;
  for (const MidiTestPeer::Bytes& m : peer->messages()) detunes += m.size() == 10 && m[4] == 0x20 && m[7] == 0x03;
  EXPECT_EQ(detunes, 12);

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
// The menu takes the port watch's last listing: opened before the watch listed the new port (a
// busy machine), the keys wrap round to "Select MIDI Device", and the menu is opened again.
TEST_F(WindowMidiFlows, APortThatAppearsLaterIsInTheMenuWhenItOpens) {
  start();
  MidiTestPeer late("LateSynth");
  std::string chosen;
  for (const double end = MidiTestNow() + 30.0; chosen != late.inputPortName() && MidiTestNow() < end;) {
    chooseSynthPort(w, {"Down", "Down", "Down", "Return"});
    chosen = textLines(fileText(w.dataFolder() + "Sorvanta Editor UI.txt")).at(3);
  }
  EXPECT_EQ(chosen, late.inputPortName());
}

// Off at the start, the synth's stored ports read lost, and open by themselves once it is on; off
// again, the fields and the status say so; on again while the IN menu is open, they are back too.
TEST_F(WindowMidiFlows, ALostPortIsShownAndOpenedAgainByItself) {
  peer.reset();
  std::unique_ptr<DorvikSim> sim;
  auto on = [&] {  // a synth that answers the device check, which then ends at once
    sim = std::make_unique<DorvikSim>();
    auto bytes = [](const auto& a) { return DorvikSim::Bytes(a.begin(), a.end()); };
    sim->setMemory(bytes(dump::initSound()), bytes(dump::initMulti()), bytes(dump::globalTemplate()));
  };
  auto checked = [&] { return sim->waitFor([](const DorvikSim::Bytes& m) { return m.size() == 6 && m[4] == 0x04; }); };
  auto same = [](const WindowImage& a, const WindowImage& b, int x) { return sameRegion(a, b, x - 60, kFieldRowY - 8, 120, 16); };
  WindowSession::Options o;
  on();
  o.outPort = sim->editorOutputName(), o.inPort = sim->editorInputName();
  sim.reset();
  ASSERT_TRUE(w.start(o)) << w.why();
  const WindowImage off = w.settle();
  on();
  ASSERT_TRUE(checked()) << "not opened by itself";
  const WindowImage open = w.settle();
  EXPECT_FALSE(same(off, open, kOutFieldX) || same(off, open, kInFieldX)) << "not shown lost at the start";
  sim.reset();
  const WindowImage lost = w.settleChanged(open, kOutFieldX - 60, kFieldRowY - 8, 120, 16);
  EXPECT_FALSE(same(open, lost, kOutFieldX) || same(open, w.settleChanged(open, kInFieldX - 60, kFieldRowY - 8, 120, 16), kInFieldX));
  EXPECT_FALSE(sameRegion(open, lost, kStatusX, kStatusY, kStatusW, kStatusH)) << "the status still says all is set";
  w.click(kInFieldX, kFieldRowY);
  ASSERT_TRUE(w.waitForPopups(true));
  on();
  ASSERT_TRUE(checked()) << "not opened again while a menu was open";
  w.key("Escape");
  ASSERT_TRUE(w.waitForPopups(false));
  // Back with its own memory, the synth gets the session behind the transfer overlay first.
  for (int x : {kOutFieldX, kInFieldX}) {
    bool back = false;
    for (const double end = MidiTestNow() + 30.0; !back && MidiTestNow() < end;) back = same(open, w.settle(), x);
    EXPECT_TRUE(back) << x;
  }
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

// A first session: the install step lays the data folder down with its bank of init sounds; the
// synth's ports are chosen, the notice closed, and the synth's bank B received into that bank is
// saved as a new file. Escape then closes a rename box at once.
TEST(WindowFirstSession, ReceivesABankIntoTheLaidDownBankAndSavesItAsANewFile) {
  if (!WindowSession::available()) GTEST_SKIP() << "no Xvfb";
  JackTestServer jack;
  ASSERT_TRUE(jack.start());
  DorvikSim sim;
  const auto& global = dump::globalTemplate();
  const std::vector<testbanks::Bytes> bankB = testbanks::sounds(100, "Synth", {"Lead"});
  sim.setMemory(bankB[0], testbanks::multis(1, "Multi")[0], DorvikSim::Bytes(global.begin(), global.end()));
  for (int n = 0; n < 100; ++n) sim.storeSound(1, n, bankB[static_cast<size_t>(n)]);
  testbanks::TempDataHome home;
  ASSERT_EQ(system(("bash '" SORVANTA_INSTALL_DATA "' '" + std::string(windowTestBundle()) + "'").c_str()), 0);
  const std::string laid = fileText(home.patches() + "/Init Sounds.syx");
  ASSERT_EQ(laid.size(), 39200u) << "no bank of init sounds laid down";
  WindowSession w;
  WindowSession::Options o;
  o.installed = true;
  ASSERT_TRUE(w.start(o)) << w.why();
  ASSERT_TRUE(w.menu(kInFieldX, kFieldRowY, {"Down", "Down", "Return"}));
  ASSERT_TRUE(w.menu(kOutFieldX, kFieldRowY, {"Down", "Down", "Return"}));
  w.settle(2.0);
  w.click(kFirstRunExitX, kFirstRunExitY);
  showTab(w, 1);
  ASSERT_TRUE(w.menu(877, 196, {"Down", "Right", "Down", "Down", "Down", "Down", "Return"}));  // all of bank B
  ASSERT_TRUE(sim.waitFor([](const DorvikSim::Bytes& m) { return m.size() == 8 && m[5] == 1 && m[6] == 99; }, 1, 90.0));
  w.settle();
  const std::string saved = saveUpperBankAs(w, "Received", home.patches() + "/Received.mid");
  for (int n : {0, 57, 99}) EXPECT_NE(saved.find("Synth " + std::to_string(1000 + n).substr(1)), std::string::npos) << n;
  EXPECT_EQ(fileText(home.patches() + "/Init Sounds.syx"), laid);

  w.click(slotX(3), slotY(false, 3));
  const WindowImage named = w.settle();
  ASSERT_TRUE(w.menu(slotX(3), slotY(false, 3), {"Down", "Down", "Return"}, 3));  // Rename
  w.type("Zzz");
  w.key("Escape");
  EXPECT_TRUE(sameRegion(named, w.settle(), kRenameBoxX, kRenameBoxY, kRenameBoxW, kRenameBoxH)) << "the box stayed";
  EXPECT_TRUE(w.stop()) << w.output();
}
