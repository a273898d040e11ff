// The Dorvik's wire format and the plain timing decisions of the engine.
#include <gtest/gtest.h>

#include <numeric>

#include "MidiClock.h"
#include "SysexProtocol.h"

namespace {
std::vector<uint8_t> framed(std::vector<uint8_t> v) {
  v.insert(v.begin(), 0xF0);
  v.push_back(0xF7);
  return v;
}
}  // namespace

TEST(SysexProtocol, RequestsCarryHeaderDeviceIdAndAddress) {
  EXPECT_EQ(framed(sysex::soundRequest(0x7F, 0x30, 3)),
            (std::vector<uint8_t>{0xF0, 0x3E, 0x10, 0x7F, 0x00, 0x30, 0x03, 0xF7}));
  EXPECT_EQ(sysex::multiRequest(5, 0x20, 0), (std::vector<uint8_t>{0x3E, 0x10, 0x05, 0x01, 0x20, 0x00}));
  EXPECT_EQ(sysex::globalRequest(0x10), (std::vector<uint8_t>{0x3E, 0x10, 0x10, 0x04}));
  // A device id or number never becomes a status byte inside a message.
  EXPECT_EQ(sysex::soundRequest(0xF7, 2, 200)[2], 0x77);
  EXPECT_EQ(sysex::clampSlotNumber(120), 99);
}

TEST(SysexProtocol, TempoMessageIsMultiParameterFiveAndHoldsFarTemposToDataRange) {
  EXPECT_EQ(sysex::tempoMessage(3, sysex::tempoValue(120.0)),
            (std::vector<uint8_t>{0x3E, 0x10, 0x03, 0x21, 0x00, 0x05, 0x37}));
  EXPECT_EQ(sysex::tempoValue(119.9), 54);
  EXPECT_EQ(sysex::tempoValue(40.0), 0);
  EXPECT_EQ(sysex::tempoValue(250.0), 127);
}

TEST(SysexProtocol, ChecksumOnlyFrom201BytesAndByFramingRule) {
  std::vector<uint8_t> request = {0x3E, 0x10, 0x00, 0x00, 0x30, 0x01};
  EXPECT_FALSE(sysex::applyChecksum(request.data(), 6));
  EXPECT_EQ(request, (std::vector<uint8_t>{0x3E, 0x10, 0x00, 0x00, 0x30, 0x01}));

  std::vector<uint8_t> m200(200, 0x01);
  m200[0] = 0xF0;
  EXPECT_FALSE(sysex::applyChecksum(m200.data(), 200));

  // Bytes 4..204 of a global dump summing to 0x1234 give 0x34 at 205; F7 stays.
  std::vector<uint8_t> g(207, 0);
  g[0] = 0xF0;
  g[206] = 0xF7;
  g[4] = 0x14;
  int need = 0x1234 - 0x14;
  for (int i = 5; i <= 204 && need > 0; ++i) {
    g[i] = static_cast<uint8_t>(std::min(need, 0x7F));
    need -= g[i];
  }
  ASSERT_TRUE(sysex::applyChecksum(g.data(), 207));
  EXPECT_EQ(g[205], 0x34);
  EXPECT_EQ(g[206], 0xF7);

  // Without F0: bytes 3 .. length-2 into the last byte.
  std::vector<uint8_t> u(201, 0);
  u[3] = 0x70;
  u[199] = 0x20;
  ASSERT_TRUE(sysex::applyChecksum(u.data(), 201));
  EXPECT_EQ(u[200], (0x70 + 0x20) & 0x7F);
}

TEST(SysexProtocol, NamesAreCutAndBlankPadded) {
  EXPECT_EQ(sysex::padName("A very long sound name", 16), "A very long soun");
  EXPECT_EQ(sysex::padName("Bass", 4), "Bass");
  EXPECT_EQ(sysex::padName("", 16), std::string(16, ' '));
  EXPECT_EQ(sysex::padName("Pad", 16), "Pad" + std::string(13, ' '));
}

TEST(SysexProtocol, ClassifyChecksMakerModelCommandAndLength) {
  std::vector<uint8_t> sound(392, 0);
  sound[0] = 0xF0, sound[1] = 0x3E, sound[2] = 0x10, sound[4] = 0x10, sound[391] = 0xF7;
  EXPECT_EQ(sysex::classify(sound.data(), 392), sysex::Kind::kSoundDump);
  EXPECT_EQ(sysex::classify(sound.data(), 390), sysex::Kind::kSoundDump);
  EXPECT_EQ(sysex::classify(sound.data(), 389), sysex::Kind::kOther);
  sound[1] = 0x41;
  EXPECT_EQ(sysex::classify(sound.data(), 392), sysex::Kind::kNotOurs);
  const uint8_t global206[206] = {0xF0, 0x3E, 0x10, 0x00, 0x14};
  EXPECT_FALSE(sysex::isGlobalDump(global206, 206));
  const uint8_t param[10] = {0xF0, 0x3E, 0x10, 0x00, 0x20, 0x02, 0x00, 0x08, 0x40, 0xF7};
  EXPECT_EQ(sysex::classify(param, 10), sysex::Kind::kSoundParam);
  EXPECT_EQ(sysex::classify(nullptr, 10), sysex::Kind::kNotOurs);
}

TEST(SysexProtocol, PacingIntervalFollowsLibSyncTimer) {
  EXPECT_EQ(sysex::pacingIntervalMs(0), 50);
  EXPECT_EQ(sysex::pacingIntervalMs(3), 150);
  EXPECT_EQ(sysex::pacingIntervalMs(6), 400);
  EXPECT_EQ(sysex::pacingIntervalMs(7), 500);
  EXPECT_EQ(sysex::pacingIntervalMs(8), 100);
  EXPECT_EQ(sysex::pacingIntervalMs(-1), 100);
  EXPECT_EQ(sysex::pacingIntervalMs(2.9), 100);
}

TEST(RequestCycle, ScanAtItsPollTimeoutAtThirtyCancelFirst) {
  using sysex::PollAction;
  EXPECT_EQ(sysex::pollAction(1, 25, false, false), PollAction::kWait);
  EXPECT_EQ(sysex::pollAction(3, 25, true, false), PollAction::kReplied);
  EXPECT_EQ(sysex::pollAction(25, 25, false, false), PollAction::kScan);
  EXPECT_EQ(sysex::pollAction(29, 25, false, false), PollAction::kWait);
  // An answer that came during the last poll (or the scan's) counts.
  EXPECT_EQ(sysex::pollAction(30, 25, true, false), PollAction::kReplied);
  EXPECT_EQ(sysex::pollAction(25, 25, true, false), PollAction::kReplied);
  EXPECT_EQ(sysex::pollAction(30, 25, false, false), PollAction::kTimedOut);
  EXPECT_EQ(sysex::pollAction(30, 25, false, true), PollAction::kCancelled);
  EXPECT_TRUE(sysex::scanStops(0, true, false));
  EXPECT_TRUE(sysex::scanStops(128, false, false));
  EXPECT_FALSE(sysex::scanStops(127, false, false));
}

TEST(MidiClockTiming, IntervalsAndTempoSources) {
  EXPECT_EQ(midiclock::intervalNs(120), 20833333);
  EXPECT_EQ(midiclock::intervalNs(60), 41666666);
  EXPECT_EQ(midiclock::intervalNs(300), 8333333);
  EXPECT_EQ(midiclock::intervalNs(0), 0);
  const std::vector<std::string> list = {"60", "95", "120"};
  EXPECT_EQ(midiclock::resolveTempo(1.0, 133, 1.0, &list), 133);
  EXPECT_EQ(midiclock::resolveTempo(0.0, 133, 1.0, &list), 95);
  EXPECT_EQ(midiclock::intervalNs(midiclock::resolveTempo(0.0, 0, 1.0, &list)), 26315789);
  EXPECT_EQ(midiclock::resolveTempo(0.0, 133, 7.0, &list), 0);
  EXPECT_EQ(midiclock::resolveTempo(0.0, 133, 1.0, nullptr), 0);
}

TEST(MidiClockTiming, TicksKeepIdealSpacingAndResyncAfterAStall) {
  // Late by 3 ms: the next tick stays on the ideal grid (no drift).
  EXPECT_EQ(midiclock::nextDeadline(1000, 100, 1003), 1100);
  // Stalled: late ticks are due at once; beyond a quarter note (24 ticks) whole ones are skipped.
  EXPECT_EQ(midiclock::nextDeadline(1000, 100, 1550), 1100);
  EXPECT_EQ(midiclock::nextDeadline(1000, 100, 7050), 1100 + 2400 * 2);
}

TEST(MidiClockTiming, TransportEdgesStartAndStopOnceAndNotViaQueue) {
  using midiclock::TransportAction;
  bool playing = false, started = false;
  EXPECT_EQ(midiclock::transportEdge(true, false, playing, started), TransportAction::kStartClock);
  EXPECT_EQ(midiclock::transportEdge(true, false, playing, started), TransportAction::kNone);
  EXPECT_EQ(midiclock::transportEdge(false, false, playing, started), TransportAction::kStopClock);
  EXPECT_EQ(midiclock::transportEdge(false, false, playing, started), TransportAction::kNone);
  EXPECT_EQ(midiclock::transportEdge(true, true, playing, started), TransportAction::kNone);
  EXPECT_TRUE(playing);
  EXPECT_FALSE(started);
}
