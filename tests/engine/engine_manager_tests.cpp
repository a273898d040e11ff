// The MIDI message manager against a fake plug-in: jobs on their threads (drop when busy, time
// out, cancel, shut down), the incoming SysEx and channel-message dispatch, librarian capture,
// and the exact bytes of what the engine sends.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <chrono>
#include <future>
#include <thread>

#include "DumpLayout.h"
#include "DumpParser.h"
#include "FakeEngineHost.h"
#include "LibrarianView.h"
#include "MIDIMessageManager.h"
#include "MIDIMessageSender.h"
#include "SysexProtocol.h"
#include "WINX_Time.h"

// Allocations made by the calling thread while counting (not in the sanitizers' builds, whose
// operator new is their own).
static thread_local int allocationsCounted = -1;
#ifdef SORVANTA_COUNT_ALLOCATIONS
void* operator new(std::size_t size) {
  allocationsCounted += allocationsCounted >= 0;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
#endif

namespace {

using Bytes = std::vector<uint8_t>;

class Engine : public ::testing::Test {
 protected:
  void SetUp() override {
    host.flags.midiIOSet = true;
    host.set(kDeviceOutSelection, 1);
    for (int p = 0; p < 16; ++p) host.set(kMultiPartMIDICh + p, p + 2);
    host.set(kGlobalMidiChannel, 1);
    mgr = std::make_unique<MIDIMessageManager>(&host, &host.state);
    mgr->setPacingOverride(1);
  }
  void TearDown() override { mgr.reset(); }

  bool waitIdle(WorkerThread t = WorkerThread::kDump, int ms = 10000) {
    return until([&] { return !mgr->threadRunning(t); }, ms);
  }
  template <class Done> static bool until(Done done, int ms = 10000) {
    for (int i = 0; i < ms / 5; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(5)))
      if (done()) return true;
    return false;
  }
  void deliver(const Bytes& b) {
    ISysEx sx(0, b.data(), static_cast<int>(b.size()));
    mgr->ProcessSysExFromPlug(&sx, true);
  }
  static Bytes soundDumpFor(int part, int cutoff) {
    std::array<uint8_t, 392> d = dump::initSound();
    d[3] = 0, d[6] = static_cast<uint8_t>(part);
    d[85] = static_cast<uint8_t>(cutoff);
    sysex::applyChecksum(d.data(), 392);
    return Bytes(d.begin(), d.end());
  }
  // The dump as the synth answers request r: with r's device id, bank and number.
  static Bytes answering(const Bytes& r, Bytes d) { return d[3] = r[3], d[5] = r[5], d[6] = r[6], sysex::applyChecksum(d.data(), int(d.size())), d; }
  void programChange(int channel, int program) {  // from the synth
    IMidiMsg pc;
    pc.MakeProgramChangeMsg(program / 127.0, channel);
    mgr->ProcessMidiMsg(&pc, true);
  }
  int countSent(uint8_t command) {
    int n = 0;
    for (const Bytes& b : host.sent())
      if (b.size() > 4 && b[0] == 0xF0 && b[4] == command) ++n;
    return n;
  }

  FakeEngineHost host;
  std::unique_ptr<MIDIMessageManager> mgr;
  // A device callback waits on `held` to hold its job on the wire until the test releases it.
  std::promise<void> release;
  std::shared_future<void> held = release.get_future().share();
};

JobRecord job(int code, int part = 0, bool flag = false) {
  JobRecord r;
  r.code = code;
  r.part = part;
  r.requestFlag = flag;
  return r;
}

}  // namespace

TEST_F(Engine, UnansweredPartRequestScansEveryIdThenTimesOut) {
  host.flags.deviceId = 9;
  ASSERT_TRUE(mgr->requestPartToEditor(4));
  ASSERT_TRUE(waitIdle());
  const std::vector<Bytes> sent = host.sent();
  ASSERT_EQ(sent.size(), 1u + 128u);
  EXPECT_EQ(sent[0], (Bytes{0xF0, 0x3E, 0x10, 0x09, 0x00, 0x30, 0x04, 0xF7}));
  // Its own id once more first (no id answered yet), then every other one.
  for (int i = 1; i <= 128; ++i) EXPECT_EQ(sent[i][3], i == 1 ? 9 : i - 2 + (i - 2 >= 9)) << i;
  const auto statuses = host.statusTexts();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "CONNECTION TIMED OUT!"), statuses.end());
  EXPECT_NE(host.lastStatus(), "Data request Completed!");
}

TEST_F(Engine, ARequestAnsweredOnlyWithDamageEndsSayingSo) {
  const Bytes whole = soundDumpFor(0, 1), cut(whole.begin(), whole.end() - 1);
  host.device = [&](const Bytes& r) { if (r.size() == 8) deliver(cut); };
  ASSERT_TRUE(mgr->requestPartToEditor(0) && waitIdle());
  EXPECT_EQ(host.lastStatus(), "Damaged reply from Dorvik ignored!");
}

// A part request, and REQUEST MULTI cancelled in its id scan: the scan's text does not stay.
TEST_F(Engine, CancelEndsARequestAtItsNextPoll) {
  mgr->setPacingOverride(20);
  for (const bool scan : {false, true}) {
    ASSERT_TRUE(scan ? mgr->startJob(job(5, 0, true)) : mgr->requestPartToEditor(0));
    ASSERT_TRUE(until([&] { return scan ? host.lastStatus().find("checking DeviceID") != std::string::npos : !host.sent().empty(); }));
    mgr->sender()->cancelRequested = true;
    ASSERT_TRUE(waitIdle(WorkerThread::kDump, 2000));
    EXPECT_EQ(host.lastStatus(), "Data request CANCELLED!") << scan;
    EXPECT_TRUE(mgr->sender()->requestFailed.load());
  }
}

TEST_F(Engine, AnsweredRequestLoadsThePartAndEndsTheWait) {
  host.device = [this](const Bytes& r) {
    if (r.size() == 8 && r[4] == 0x00 && r[5] == 0x30) deliver(soundDumpFor(r[6], 77));
  };
  ASSERT_TRUE(mgr->requestPartToEditor(5));
  ASSERT_TRUE(waitIdle());
  host.device = nullptr;
  EXPECT_EQ(host.value(kFilter1Cutoff + 5), 77);
  EXPECT_EQ(host.lastStatus(), "Data request Completed!");
  EXPECT_EQ(countSent(0x00), 1);
  EXPECT_FALSE(mgr->awaitingDump());
  EXPECT_EQ(host.overlays.load(), 0) << "an answer at once dimmed the editor";
}

TEST_F(Engine, HandshakeFindsADeviceOnAnotherIdAndAdoptsIt) {
  // The Dorvik answers global requests on id 5 only.
  host.device = [this](const Bytes& r) {
    if (r.size() == 6 && r[4] == 0x04 && r[3] == 5) {
      std::array<uint8_t, 207> g = dump::globalTemplate();
      g[3] = 5;
      g[30] = 5;
      sysex::applyChecksum(g.data(), 207);
      deliver(Bytes(g.begin(), g.end()));
    }
  };
  mgr->sendSysExInitialization();
  ASSERT_TRUE(waitIdle());
  host.device = nullptr;
  EXPECT_EQ(host.flags.deviceId.load(), 5);
  EXPECT_EQ(host.value(kGlobalSysExID), 5);
  EXPECT_EQ(host.lastStatus(), "Plug-in is ready to go!");
  const auto statuses = host.statusTexts();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Please wait, checking DeviceID 5"), statuses.end());
  EXPECT_EQ(std::find(statuses.begin(), statuses.end(), "Please wait, checking DeviceID 6"), statuses.end());
}

// A busy dump thread queues what comes, each job with its own record; a fetch of a part asked
// for again while one waits replaces it.
TEST_F(Engine, BusyDumpThreadQueuesJobsAndKeepsOneWaitingFetchPerPart) {
  host.device = [this](const Bytes& r) {
    if (r.size() == 8 && r[6] == 3) held.wait();
    if (r.size() == 8) deliver(answering(r, r[4] ? Bytes(dump::initMulti().begin(), dump::initMulti().end()) : soundDumpFor(r[6], 40 + r[6])));
  };
  ASSERT_TRUE(mgr->startJob(job(6, 3, true)));
  EXPECT_TRUE(mgr->startJob(job(7)) && mgr->requestPartToEditor(9) && mgr->requestPartToEditor(8) && mgr->requestPartToEditor(9));
  EXPECT_EQ(mgr->sender()->record(WorkerThread::kDump).part, 3);
  release.set_value();
  ASSERT_TRUE(waitIdle());
  std::vector<int> asked;
  for (const Bytes& b : host.sent()) asked.push_back(b[4] * 100 + b[6]);
  EXPECT_EQ(asked, (std::vector<int>{3, 100, 8, 9}));
}

TEST_F(Engine, RacingStartersStartExactlyOneJob) {
  mgr->setPacingOverride(5);
  for (int round = 0; round < 20; ++round) {
    std::atomic<int> ready{0}, started{0};
    auto starter = [&](int part) {
      ++ready;
      while (ready.load() < 2) {
      }
      if (mgr->startUserJob(job(6, part, true))) ++started;
    };
    std::thread a(starter, 1), b(starter, 2);
    a.join();
    b.join();
    EXPECT_EQ(started.load(), 1);
    mgr->sender()->cancelRequested = true;
    ASSERT_TRUE(waitIdle());
    mgr->sender()->cancelRequested = false;
  }
}

TEST_F(Engine, ShutdownEndsTheRunningClockAndRequestBeforeReturning) {
  host.flags.clockEnabled = true;
  host.set(kOverrideTempo, 1.0);
  host.flags.hostTempo = 300;
  mgr->setPacingOverride(50);
  ITimeInfo t;
  mgr->processBlock(t, 64, 44100.0, 64);  // starts the continuous clock
  ASSERT_TRUE(mgr->requestPartToEditor(0));
  auto ticks = [this] { const auto s = host.sent(); return std::count(s.begin(), s.end(), Bytes{0xF8}); };
  ASSERT_TRUE(until([&] { return ticks() >= 2; }));
  mgr.reset();  // joins: must not hang, and nothing runs afterwards
  host.clearSent();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_TRUE(host.sent().empty());
}

// Stopping every job (as a fuzz input ends) ends the request in flight and the push queued
// behind it and joins their threads; jobs start as before afterwards.
TEST_F(Engine, StoppingAllJobsEndsTheRunningAndTheQueuedAndTakesNewOnes) {
  mgr->setPacingOverride(50);
  ASSERT_TRUE(mgr->requestPartToEditor(0));
  EXPECT_TRUE(mgr->startJob(job(0)));
  mgr->stopAllJobs();
  host.clearSent();
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  EXPECT_TRUE(!mgr->threadRunning(WorkerThread::kDump) && host.sent().empty()) << "a job ran on";
  EXPECT_TRUE(mgr->requestPartToEditor(1));
}

TEST_F(Engine, ClockFollowsTransportAndStopsWithoutOutput) {
  host.flags.clockStartStopEnabled = true;
  host.flags.continuousClockStarted = true;  // no tick loop in this test
  ITimeInfo t;
  t.mTransportIsRunning = true;
  mgr->processBlock(t, 64, 44100.0, 64);
  ASSERT_TRUE(waitIdle(WorkerThread::kClock));
  mgr->processBlock(t, 64, 44100.0, 64);
  t.mTransportIsRunning = false;
  mgr->processBlock(t, 64, 44100.0, 64);
  ASSERT_TRUE(waitIdle(WorkerThread::kClock));
  std::vector<Bytes> clock;
  for (const Bytes& b : host.sent())
    if (b.size() == 1) clock.push_back(b);
  EXPECT_EQ(clock, (std::vector<Bytes>{{0xFA}, {0xFC}}));

  // The tick loop ends by itself once no output is set.
  MidiClock c;
  c.reset(false);
  std::atomic<int> ticks{0};
  c.runTicks(midiclock::intervalNs(300), [&] { return ticks.load() < 3; }, [&] { ++ticks; });
  EXPECT_EQ(ticks.load(), 3);
  EXPECT_FALSE(c.isRunning());
}

TEST_F(Engine, ContinuousClockGivesUpWithoutATempo) {
  host.flags.clockEnabled = true;
  host.set(kOverrideTempo, 1.0);
  host.flags.hostTempo = 0;
  mgr->sender()->tempoRetryMs = 1;
  mgr->clock().reset(false);
  ASSERT_TRUE(mgr->startJob(job(16)));
  ASSERT_TRUE(waitIdle(WorkerThread::kContinuousClock));
  EXPECT_FALSE(host.flags.clockEnabled.load());
  EXPECT_EQ(host.value(kSendMIDIClockInfo), 0.0);
  EXPECT_EQ(host.valueTexts.back(), "Unable to get DAW Tempo");
  EXPECT_TRUE(host.sent().empty());
}

TEST_F(Engine, HostTempoGoesOutOnceAsMultiParameterFive) {
  host.flags.continuousClockStarted = true;
  host.flags.deviceId = 2;
  host.set(kOverrideTempo, 1.0);
  host.hostTempo = 120.0;
  ITimeInfo t;
  mgr->processBlock(t, 64, 44100.0, 64);
  mgr->processBlock(t, 64, 44100.0, 64);
  std::vector<Bytes> sent = host.sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], (Bytes{0xF0, 0x3E, 0x10, 0x02, 0x21, 0x00, 0x05, 0x37, 0xF7}));
  EXPECT_EQ(host.value(kMultiTempo), 55);
  host.hostTempo = 119.9;
  mgr->processBlock(t, 64, 44100.0, 64);
  EXPECT_EQ(host.sent().back()[7], 54);
}

TEST_F(Engine, ParameterChangesFindTheirControlAndAreNotEchoed) {
  // Sound parameter change of part 2, index 85 (filter 1 cutoff: hi 0, lo 0x4E).
  host.setRange(kFilter1Cutoff + 2, 0, 127);
  host.bindSysex(0x20, 2, 0x00, 0x4E, 0, kFilter1Cutoff + 2);
  deliver({0xF0, 0x3E, 0x10, 0x00, 0x20, 0x02, 0x00, 0x4E, 0x40, 0xF7});
  // Global transpose (index 6) arrives as value + 52; keys are part-less, device id as sent.
  host.setRange(kGlobalTranspose, -12, 12);
  host.bindPartless(0x24, 0x00, 0x06, kGlobalTranspose);
  deliver({0xF0, 0x3E, 0x10, 0x05, 0x24, 0x00, 0x06, 52, 0xF7});
  ASSERT_EQ(host.hardwareSets.size(), 2u);
  EXPECT_EQ(host.hardwareSets[0].first, kFilter1Cutoff + 2);
  EXPECT_DOUBLE_EQ(host.hardwareSets[0].second, 64.0 / 127.0);
  EXPECT_EQ(host.hardwareSets[1].first, kGlobalTranspose);
  EXPECT_DOUBLE_EQ(host.hardwareSets[1].second, 0.5);
  EXPECT_EQ(host.partlessDeviceIds.front(), 5);
  EXPECT_TRUE(host.sent().empty());
  EXPECT_FALSE(SynthOrigin::now());
  EXPECT_FALSE(mgr->sysexControlMissing.load());
}

TEST_F(Engine, PackedParameterChangesSetTheirParametersDirectly) {
  host.set(kDorvikModel, 1);
  deliver({0xF0, 0x3E, 0x10, 0x00, 0x20, 0x04, 0x02, 0x47, 0x5B, 0xF7});  // arp step 1
  EXPECT_EQ(host.value(kArpPattern01Step + 4), 5);
  EXPECT_EQ(host.value(kArpPattern01Accent + 4), 3);
  EXPECT_EQ(host.value(kArpPattern01Glide + 4), 1);
  deliver({0xF0, 0x3E, 0x10, 0x00, 0x20, 0x04, 0x01, 0x68, 35, 0xF7});  // envelope 4 mode
  EXPECT_EQ(host.value(kEnvelope4Mode + 4), 3);
  EXPECT_EQ(host.value(kEnv4Trigger + 4), 1);
  EXPECT_EQ(host.changes.back(), kQuickTab);
  EXPECT_TRUE(host.sent().empty());
}

TEST_F(Engine, ForeignAndMalformedShortMessagesChangeNothing) {
  host.bindSysex(0x20, 2, 0x00, 0x4E, 0, kFilter1Cutoff + 2);
  deliver({0xF0, 0x41, 0x10, 0x00, 0x20, 0x02, 0x00, 0x4E, 0x40, 0xF7});
  deliver({0xF0, 0x3E, 0x10, 0x00, 0x20, 0x02, 0x00, 0x4E, 0xC0, 0xF7});
  deliver({0xF0, 0x3E, 0x10, 0x00, 0x20, 0x55, 0x01, 0x02, 0x40, 0xF7});  // part 85: no control
  ISysEx fromHost(0, nullptr, 0);
  mgr->ProcessSysEx(&fromHost, true);
  EXPECT_TRUE(host.hardwareSets.empty());
}

TEST_F(Engine, DumpIsParsedOnlyWhileAwaitedAndAdoptsTheDeviceId) {
  deliver(soundDumpFor(1, 33));
  EXPECT_EQ(host.value(kFilter1Cutoff + 1), 0);  // nobody asked
  host.flags.adoptDeviceId = true;
  mgr->awaitDumpForEditor();
  Bytes d = soundDumpFor(1, 33);
  d[3] = 0x22;
  deliver(d);
  EXPECT_EQ(host.value(kFilter1Cutoff + 1), 33);
  EXPECT_EQ(host.flags.deviceId.load(), 0x22);
  EXPECT_EQ(host.value(kGlobalSysExID), 0x22);
  EXPECT_TRUE(host.flags.replyReceived.load());
  EXPECT_EQ(host.names[2], "Init Patch   vTn");
  EXPECT_FALSE(mgr->awaitingDump());
}

// Each spoilt in one way only (the checksum right again where it is not the fault): the editor's
// wait and the librarian's capture both refuse it, say so and take the good answer after it.
TEST_F(Engine, SpoiltDumpsAreRejectedAndTheAnswerAfterThemIsHeard) {
  const Bytes good = soundDumpFor(1, 33);
  Bytes badSum = good, highBit = good, noEnd = good, cut(good.begin(), good.begin() + 300);
  badSum[390] ^= 1;
  highBit[85] |= 0x80;  // bit 7 of a data byte: the 7-bit checksum cannot see it
  noEnd[391] = 0x00;
  Bytes glued(good.begin(), good.begin() + 385);  // cut off, then joined to the next message
  glued.insert(glued.end(), good.begin(), good.end());
  Bytes longer = good;  // F7 not at the dump's own length
  longer.insert(longer.end() - 1, 0x00);
  sysex::applyChecksum(longer.data(), 393);
  PatchLibrarian lib;
  lib.soundBankFiles.push_back(new PatchFile());  // the librarian owns it
  host.lib = &lib;
  for (bool librarian : {false, true})
    for (const Bytes& spoilt : {badSum, highBit, noEnd, cut, Bytes(good.begin(), good.end() - 2), glued, longer}) {
      SCOPED_TRACE(spoilt.size());
      host.set(kFilter1Cutoff + 1, 5);
      lib.soundBankFiles[0]->entries.clear();
      librarian ? (mgr->SetLibrarianRequestActive(true), mgr->reply.arm()) : mgr->awaitDumpForEditor();
      deliver(spoilt);
      EXPECT_EQ(host.value(kFilter1Cutoff + 1), 5);
      EXPECT_FALSE(host.flags.replyReceived.load());
      EXPECT_TRUE(librarian ? mgr->patchRequest.armed.load() : mgr->awaitingDump());
      EXPECT_TRUE(lib.soundBankFiles[0]->entries.empty());
      EXPECT_EQ(host.lastStatus(), "Damaged reply from Dorvik ignored!");
      deliver(good);
      EXPECT_EQ(host.value(kFilter1Cutoff + 1), librarian ? 5 : 33);
      EXPECT_TRUE(host.flags.replyReceived.load());
    }
  host.lib = nullptr;
}

TEST_F(Engine, LibrarianCaptureStoresACompletedDumpInTheSelectedSlot) {
  PatchLibrarian lib;
  auto* bank = new PatchFile();
  bank->entries.resize(100);
  lib.soundBankFiles.push_back(bank);  // the librarian owns it
  lib.selectedSlot = 7;
  host.lib = &lib;
  mgr->SetLibrarianRequestActive(true);
  mgr->awaitDumpForEditor();  // even then, the capture takes the dump
  mgr->reply.sent(sysex::soundRequest(0, sysex::kPartEditBufferBank, 0));
  mgr->patchRequest.clearAndArm();
  deliver(soundDumpFor(2, 99));  // sent by the synth meanwhile: not what was asked
  deliver(soundDumpFor(0, 12));
  host.lib = nullptr;
  ASSERT_EQ(bank->entries[7].messages.size(), 1u);
  EXPECT_EQ(bank->entries[7].messages[0].bytes, soundDumpFor(0, 12));
  EXPECT_EQ(bank->entries[7].name, "Init Patch   vTn");
  EXPECT_TRUE(host.flags.replyReceived.load());
  EXPECT_FALSE(mgr->patchRequest.armed.load());
  EXPECT_EQ(host.value(kFilter1Cutoff), 0);  // the editor is untouched
}

TEST_F(Engine, PartDumpJobChecksumsAndSendsTheBuiltDump) {
  host.flags.deviceId = 3;
  host.set(kFilter1Cutoff + 6, 90);
  host.texts[kPatchName + 6] = "";
  JobRecord r = job(2, 6);
  ASSERT_TRUE(mgr->startJob(r));
  ASSERT_TRUE(waitIdle());
  ASSERT_EQ(host.sent().size(), 1u);
  Bytes d = host.sent()[0];
  ASSERT_EQ(d.size(), 392u);
  EXPECT_EQ(d[3], 3);
  EXPECT_EQ(d[6], 6);
  EXPECT_EQ(d[85], 90);
  EXPECT_EQ(d[390], sysex::framedChecksum(d.data(), 392));
  EXPECT_EQ(host.names[7], "Set Name");
  EXPECT_FALSE(mgr->partSendBusy.load());
}

TEST_F(Engine, BankChangeSendsNotesOffBankSelectAndProgram) {
  host.set(kMultiPartMIDICh + 2, 4);
  host.set(kMultiPartBank + 2, 1);
  host.set(kMultiPartPatch + 2, 10);
  ASSERT_TRUE(mgr->BankChangeMessage(2) && waitIdle());
  EXPECT_EQ(host.sent(), (std::vector<Bytes>{{0xB2, 0x7B, 0x00}, {0xB2, 0x00, 0x00}, {0xB2, 0x20, 0x41}, {0xC2, 0x0A, 0x00}}));
  // Another active part on the same bank and program refuses the change.
  host.clearSent();
  host.set(kMultiPartStatus + 0, 1.0);
  host.flags.partBank[0] = 1;
  host.flags.partProgram[0] = 10;
  EXPECT_FALSE(mgr->BankChangeMessage(2));
  EXPECT_TRUE(host.sent().empty());
  EXPECT_EQ(host.layers.back(), "bankPatchConflictWindow+");
}

TEST_F(Engine, AllNotesOffUsesThePartChannelOrTheGlobalOne) {
  host.set(kMultiPartMIDICh + 3, 0);
  host.set(kGlobalMidiChannel, 1);
  mgr->AllSoundsOff(3, false);
  host.set(kMultiPartMIDICh + 4, 1);  // names no channel: nothing rather than a bad status
  mgr->AllSoundsOff(4, false);
  EXPECT_EQ(host.sent(), (std::vector<Bytes>{{0xB0, 0x7B, 0x00}}));
  host.flags.midiIOSet = false;
  mgr->AllSoundsOff(3, false);
  EXPECT_EQ(host.sent().size(), 1u);
}

TEST_F(Engine, ChannelMessagesFromDeviceAndHost) {
  // Device bank select 0/0 then 32/0x40: both swallowed; local control off would echo others.
  host.flags.localControlOn = false;
  IMidiMsg m;
  m.MakeControlChangeMsg(IMidiMsg::kBankSelectMSB, 0.0, 5);
  mgr->ProcessMidiMsgFromDevice(&m);
  m.MakeControlChangeMsg(IMidiMsg::kBankSelectLSB, 0x42 / 127.0, 5);
  mgr->ProcessMidiMsgFromDevice(&m);
  EXPECT_TRUE(host.sent().empty());
  EXPECT_EQ(host.value(kMultiPartBank + 5) * 10 + host.flags.partBank[5].load(), 22);  // bank C, as announced
  // Without CC 0 first, CC 32 is a controller; with no control bound, the bank of the part numbered
  // like the channel. A routing controller sets its part's pair.
  m.MakeControlChangeMsg(IMidiMsg::kBankSelectLSB, 0x41 / 127.0, 6);
  mgr->ProcessMidiMsgFromDevice(&m);
  EXPECT_EQ(host.value(kMultiPartBank + 6) * 10 + host.value(kCurrentBank + 6), 11);
  host.bindCC(8, 70, kFilterRoutingParallel + 7);
  m.MakeControlChangeMsg(static_cast<IMidiMsg::EControlChangeMsg>(70), 5 / 127.0, 7);
  mgr->ProcessMidiMsgFromDevice(&m);
  EXPECT_EQ(host.value(kFilterRoutingSerial + 7) * 10 + host.value(kFilterRoutingParallel + 7), 10);
  EXPECT_EQ(host.changes.back(), kFilterRoutingSerial + 7);
  host.clearSent();
  // A bound controller moves its control from the device and is echoed only without local control.
  // Octave and semitone hold the byte on the wire (octave 16, 28 .. 112), so the controller's value
  // is taken as it is, in the parameter's own range; a shape's also refreshes the part's page.
  host.setRange(kOscillator1Octave + 3, 16, 112);
  host.bindCC(6, 27, kOscillator1Octave + 3);
  host.bindCC(6, 31, kOscillator1Shape + 3);
  m.MakeControlChangeMsg(static_cast<IMidiMsg::EControlChangeMsg>(27), 40 / 127.0, 5);
  mgr->ProcessMidiMsgFromDevice(&m);
  ASSERT_EQ(host.hardwareSets.size(), 1u);
  EXPECT_DOUBLE_EQ(host.hardwareSets[0].second, 24.0 / 96);
  EXPECT_EQ(host.sent().size(), 1u);
  host.flags.localControlOn = true;
  mgr->ProcessMidiMsgFromDevice(&m);
  for (int cc : {31, 39, 46, 76, 79}) {  // the shapes and filter types
    host.bindCC(6, cc, kOscillator1Shape + 3);
    m.MakeControlChangeMsg(static_cast<IMidiMsg::EControlChangeMsg>(cc), 3 / 127.0, 5);
    mgr->ProcessMidiMsgFromDevice(&m);
  }
  EXPECT_EQ(host.changes2, std::vector<int>(5, kQuickTab));
  EXPECT_EQ(host.sent().size(), 1u);
  // Host: a note passes through to the device; the global channel is ignored entirely.
  IMidiMsg note;
  note.MakeNoteOnMsg(60, 100, 0, 2);
  mgr->ProcessMidiMsg(&note, false);
  EXPECT_EQ(host.sent().back(), (Bytes{0x92, 60, 100}));
  note.MakeNoteOnMsg(60, 100, 0, 0);
  mgr->ProcessMidiMsg(&note, false);
  EXPECT_EQ(host.sent().size(), 2u);
  // During a job (its notes off sent) and a multi send, what ends something the host started goes on: note-offs, the
  // channel-mode messages, pedals let go, the bend at its centre (true). Nothing else.
  for (const auto& [m, passes] : std::vector<std::pair<Bytes, bool>>{{{0x82, 60, 0}, 1}, {{0x92, 60, 0}, 1}, {{0xB2, 120, 0}, 1}, {{0xB2, 123, 0}, 1}, {{0xB2, 124, 0}, 1}, {{0xB2, 125, 0}, 1}, {{0xB2, 126, 1}, 1}, {{0xB2, 127, 0}, 1}, {{0xB2, 64, 0}, 1},
                                                                     {{0xB2, 66, 63}, 1}, {{0xB2, 67, 0}, 1}, {{0xB2, 69, 0}, 1}, {{0xE2, 0, 0x40}, 1}, {{0x92, 60, 9}, 0}, {{0xB2, 64, 64}, 0}, {{0xB2, 1, 0}, 0}, {{0xE2, 1, 0x40}, 0}, {{0xE2, 0x7F, 0x3F}, 0}})
    for (const bool multiSend : {false, true}) {
      const IMidiMsg msg(0, m[0], m[1], m[2]);
      host.flags.transferRunning = host.flags.notesOffSent = !multiSend, host.flags.bulkSendActive = multiSend, host.clearSent(), mgr->ProcessMidiMsg(&msg, false);
      EXPECT_EQ(host.sent(), passes ? std::vector<Bytes>{m} : std::vector<Bytes>{}) << multiSend << " " << int(m[1]);
    }
}

TEST_F(Engine, EffectTypeEditsFollowIntoTheirSlotClamped) {
  host.setRange(kEffect1Param01 + 2, 0, 127);
  mgr->SetFX1ParameterChangesToDefaultParameters(kFX1FlangerSpeed + 2, 200);
  EXPECT_EQ(host.value(kEffect1Param01 + 2), 127);
  mgr->SetFX2ParameterChangesToDefaultParameters(kFX2ReverbSize + 0, 20);
  EXPECT_EQ(host.value(kEffect2Param01 + 0), 20);
  mgr->SetFX1ParameterChangesToDefaultParameters(kFilter1Cutoff, 20);
  EXPECT_EQ(host.value(kEffect1Param01), 0);
}

TEST_F(Engine, OutputRefusedWithoutAPort) {
  host.flags.midiIOSet = false;
  Bytes d(392, 0);
  mgr->checksumCheckAndSend(d.data(), 392);
  IMidiMsg m;
  m.MakeNoteOnMsg(60, 1, 0, 0);
  mgr->sendMidiMsgAndLog(&m);
  EXPECT_TRUE(host.sent().empty());
  EXPECT_EQ(host.lastStatus(), "Set MIDI I/O First!");
  EXPECT_FALSE(mgr->requestPartToEditor(0));  // it could only time out
  host.set(kDeviceOutSelection, 0);
  mgr->sendSysexMessage({0x3E, 0x10, 0x00, 0x20, 0x00, 0x00, 0x05, 0x01});
  EXPECT_TRUE(host.sent().empty());
}

TEST_F(Engine, MultiTransferSendsGlobalThenMultiThenEachActivePart) {
  mgr->sender()->pauseScalePercent = 1;
  host.flags.deviceId = 4, host.set(kGlobalSysExID, 16);  // requests' id; the setting before any answer
  for (int p : {0, 1, 4}) host.set(kMultiPartStatus + p, 1.0);
  host.set(kMultiPartStatus + 5, 2.0);  // only exactly 1.0 counts
  host.set(kMultiPartTranspose + 0, 48);
  host.texts[kMultiName] = "";
  host.flags.sendAllParts = true;
  host.flags.sendGlobalWithMulti = true;
  ASSERT_TRUE(mgr->startJob(job(0)));
  ASSERT_TRUE(waitIdle());
  std::vector<Bytes> sent = host.sent();
  ASSERT_EQ(sent.size(), 6u);  // first the question for device 4's global settings, none heard
  EXPECT_EQ(sent[0][3], 4);
  sent.erase(sent.begin());
  EXPECT_EQ(sent[0].size(), 207u);
  EXPECT_EQ(sent[0][3], 4);
  EXPECT_EQ(sent[0][30], 4);
  EXPECT_EQ(sent[0][205], sysex::framedChecksum(sent[0].data(), 207));
  EXPECT_EQ(sent[1].size(), 393u);
  EXPECT_EQ(sent[1][4], 0x11);
  EXPECT_EQ(sent[1][43], 64);
  EXPECT_EQ(sent[1][391], sysex::framedChecksum(sent[1].data(), 393));
  EXPECT_EQ(host.names[0], "Set Name");
  int parts[3] = {sent[2][6], sent[3][6], sent[4][6]};
  EXPECT_EQ(parts[0], 0);
  EXPECT_EQ(parts[1], 1);
  EXPECT_EQ(parts[2], 4);
  EXPECT_FALSE(host.flags.bulkSendActive.load());
  EXPECT_FALSE(mgr->partSendBusy.load());
}

TEST_F(Engine, AllMultiRequestFillsLibrarianSlotsInOrder) {
  mgr->sender()->pauseScalePercent = 1;
  host.multi = true;
  PatchLibrarian lib;
  auto* bank = new PatchFile();
  bank->type = kBankTypeMulti;
  bank->entries.resize(100);
  lib.multiBankFiles.push_back(bank);
  lib.patchType = 1;
  host.lib = &lib;
  host.device = [this](const Bytes& r) {
    if (r.size() == 8 && r[4] == 0x01) deliver(answering(r, Bytes(dump::initMulti().begin(), dump::initMulti().end())));
  };
  ASSERT_TRUE(mgr->startJob(job(8)));
  ASSERT_TRUE(waitIdle());
  host.device = nullptr;
  host.lib = nullptr;
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(bank->entries[i].messages.size(), 1u) << "slot " << i;
    EXPECT_EQ(bank->entries[i].messages[0].bytes[6], i);
  }
  EXPECT_EQ(lib.selectedSlot.load(), 0);
  const auto statuses = host.statusTexts();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Please wait! 99% received.."), statuses.end());
  EXPECT_EQ(host.lastStatus(), "Data received to slot(s)");
}

// A request lost as JACK said a client ran late, in a bank, a multi transfer's parts and a fetch
// of one part after another: asked again a few polls on, before the scan would.
TEST_F(Engine, ARequestLostWhileJackRanLateIsAskedAgainBeforeTheScan) {
  constexpr int kPacing = 200;
  mgr->setPacingOverride(kPacing);
  for (const int code : {10, 5, 6}) {
    std::vector<uint32_t> asked;  // item 1's requests, on the engine's clock
    host.device = [&](const Bytes& r) {
      if (r.size() != 8 || r[4] != 0x00) return deliver(answering(r, Bytes(dump::initMulti().begin(), dump::initMulti().end())));
      if (r[6] == 1 && asked.size() < 2) asked.push_back(GetTickCount());
      if (r[6] == 1 && asked.size() == 1) return void(++host.lateCycles);  // lost, and JACK says why
      if (r[6] == 2) mgr->sender()->cancelRequested = true;
      deliver(code == 10 ? answering(r, soundDumpFor(0, 64)) : soundDumpFor(r[6], 64));
    };
    if (code == 6) { ASSERT_TRUE(mgr->requestPartToEditor(0) && waitIdle()); }  // a synth answered
    ASSERT_TRUE((code == 6 ? mgr->requestPartToEditor(1) : mgr->startJob(job(code, 0, true))) && waitIdle() && asked.size() == 2) << code;
    EXPECT_LT(asked[1] - asked[0], 12u * kPacing) << "job " << code << " asked again only by the scan";
  }
  // A slow synth is not asked twice when JACK runs late: not within 1.5 s (slot 1, answered in
  // 1.2 s), nor within twice the longest it took so far (slot 2, in 1.9 s).
  std::atomic<int> asked[3] = {};
  std::vector<std::future<void>> answers;
  host.device = [&](const Bytes& r) {
    if (r[6] == 3) return void(mgr->sender()->cancelRequested = true);
    const int ms[3] = {0, 6 * kPacing, 19 * kPacing / 2};
    host.lateCycles += r[6] > 0, ++asked[r[6]];
    answers.push_back(std::async(std::launch::async, [this, r, d = ms[r[6]]] { std::this_thread::sleep_for(std::chrono::milliseconds(d)), deliver(answering(r, soundDumpFor(0, 64))); }));
  };
  ASSERT_TRUE(mgr->startJob(job(10)) && waitIdle());
  answers.clear(), host.device = nullptr;
  EXPECT_TRUE(asked[1] == 1 && asked[2] == 1) << "slot 1 asked " << asked[1] << " times, slot 2 " << asked[2];
}

TEST_F(Engine, StoringABankRewritesHeadersAndStopsAtTheFirstEmptyEntry) {
  mgr->sender()->pauseScalePercent = 1;
  PatchLibrarian lib;
  auto* bank = new PatchFile();
  bank->entries.resize(100);
  for (int i = 0; i < 37; ++i) {
    PatchSysexMessage m;
    const auto& s = dump::initSound();
    m.bytes.assign(s.begin(), s.end());
    bank->entries[i].messages.push_back(m);
  }
  lib.soundBankFiles.push_back(bank);
  host.lib = &lib;
  host.flags.deviceId = 7;
  JobRecord r = job(4);
  r.first = 0;
  r.third = 2;
  ASSERT_TRUE(mgr->startJob(r));
  ASSERT_TRUE(waitIdle());
  host.lib = nullptr;
  const std::vector<Bytes> sent = host.sent();
  ASSERT_EQ(sent.size(), 1u + 37u);
  EXPECT_EQ(sent[0], (Bytes{0xB0, 0x7B, 0x00}));
  for (int i = 0; i < 37; ++i) {
    const Bytes& m = sent[1 + i];
    ASSERT_EQ(m.size(), 392u);
    EXPECT_EQ(m[2], 0x10);
    EXPECT_EQ(m[3], 7);
    EXPECT_EQ(m[4], 0x10);
    EXPECT_EQ(m[5], 2);
    EXPECT_EQ(m[6], i);
    EXPECT_EQ(m[390], sysex::framedChecksum(m.data(), 392));
  }
  const auto statuses = host.statusTexts();
  EXPECT_EQ(std::find(statuses.begin(), statuses.end(), "Data write completed!"), statuses.end());
}

TEST_F(Engine, LibrarianEntryToAPartIsCompletedLoadedAndSent) {
  mgr->sender()->pauseScalePercent = 1;
  LibrarianPatch entry;
  PatchSysexMessage m;
  Bytes s = soundDumpFor(9, 61);
  m.bytes.assign(s.begin(), s.begin() + 390);  // a stored sound cut short
  entry.messages.push_back(m);
  JobRecord r = job(3, 2);
  r.entry = entry;
  r.slot = 12;
  ASSERT_TRUE(mgr->startJob(r));
  ASSERT_TRUE(waitIdle());
  EXPECT_EQ(host.value(kFilter1Cutoff + 2), 61);  // loaded into the part's edit buffer
  EXPECT_EQ(host.value(kMultiPartPatch + 2), 12);
  const std::vector<Bytes> sent = host.sent();
  ASSERT_FALSE(sent.empty());
  const Bytes& last = sent.back();
  ASSERT_EQ(last.size(), 392u);  // then the editor's part goes to the device
  EXPECT_EQ(last[5], 0x30);
  EXPECT_EQ(last[6], 2);
  EXPECT_EQ(last[85], 61);
}

// Regression: with both view flags left set, the engine took the search list while the lower
// grid showed the category list, so a double click sent a sound other than the one clicked.
TEST_F(Engine, LibrarianSendTakesTheBankTheLowerGridShows) {
  mgr->sender()->pauseScalePercent = 1;
  PatchLibrarian lib;
  auto bankWithCutoff = [](int cutoff) {
    auto* bank = new PatchFile();  // the librarian owns it
    bank->entries.resize(100);
    PatchSysexMessage m;
    m.bytes = soundDumpFor(0, cutoff);
    bank->entries[4].messages.push_back(m);
    return bank;
  };
  lib.categoryBankFiles.push_back(bankWithCutoff(33));
  lib.searchBankFiles.push_back(bankWithCutoff(77));
  host.lib = &lib;
  host.showsCategory = true;
  host.showsSearch = true;
  {
    UTIL_MutexLock lock(&lib.bankLock());
    EXPECT_EQ(librarianGridBank(lib, LibrarianViewControl::kLowerGrid, true, true), lib.categoryBankFiles[0]);
  }
  mgr->sendPatchToDeviceFromLibrarian(4, 1, 0);
  ASSERT_TRUE(waitIdle());
  host.lib = nullptr;
  EXPECT_EQ(host.value(kFilter1Cutoff + 0), 33);
}

TEST_F(Engine, ArrangementRequestAsksEveryPartThenTheMultiWithProgress) {
  mgr->sender()->pauseScalePercent = 1;
  host.device = [this](const Bytes& r) {
    if (r.size() != 8) return;
    if (r[4] == 0x00 && r[5] == 0x30) deliver(soundDumpFor(r[6], 10 + r[6]));
    if (r[4] == 0x01 && r[5] == 0x20) deliver(answering(r, Bytes(dump::initMulti().begin(), dump::initMulti().end())));
  };
  JobRecord r = job(5, 0, true);
  ASSERT_TRUE(mgr->startJob(r));
  ASSERT_TRUE(waitIdle());
  host.device = nullptr;
  EXPECT_EQ(countSent(0x00), 16);
  EXPECT_EQ(countSent(0x01), 1);
  for (int p = 0; p < 16; ++p) EXPECT_EQ(host.value(kFilter1Cutoff + p), 10 + p);
  EXPECT_EQ(host.names[0], "Init Multi   vTn");
  const auto statuses = host.statusTexts();
  for (const char* want : {"Please wait! 0% processed..", "Please wait! 5% processed..", "Please wait! 88% processed.."})
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), want), statuses.end()) << want;
  EXPECT_EQ(host.lastStatus(), "Data request completed!");
}

TEST_F(Engine, PartProgramBySysExSetsThePatchAndCanLoadTheLibrarianEntry) {
  host.flags.requestAfterProgramChange = false;
  deliver({0xF0, 0x3E, 0x10, 0x00, 0x21, 0x00, 0x21, 0x05, 0xF7});
  EXPECT_EQ(host.value(kMultiPartPatch + 0), 5);
  EXPECT_EQ(host.flags.partProgram[0].load(), 5);
  deliver({0xF0, 0x3E, 0x10, 0x00, 0x21, 0x01, 0x0E, 0x02, 0xF7});  // part 5's bank
  EXPECT_EQ(host.value(kMultiPartBank + 5), 2);
  // In librarian mode the entry at that slot of the upper bank goes to the part.
  PatchLibrarian lib;
  auto* bank = new PatchFile();
  bank->entries.resize(100);
  PatchSysexMessage m;
  m.bytes = soundDumpFor(0, 55);
  bank->entries[5].messages.push_back(m);
  lib.soundBankFiles.push_back(bank);
  host.lib = &lib;
  host.set(kControlLibrary, 1.0);
  mgr->sender()->pauseScalePercent = 1;
  deliver({0xF0, 0x3E, 0x10, 0x00, 0x21, 0x00, 0x21, 0x05, 0xF7});
  ASSERT_TRUE(waitIdle());
  EXPECT_EQ(host.value(kFilter1Cutoff + 0), 55);
  // In librarian program mode the synth's program change gives part 3 the entry, without
  // selecting the program on the synth again.
  host.flags.librarianProgramMode = true;
  host.clearSent();
  programChange(2, 5);
  ASSERT_TRUE(waitIdle());
  host.lib = nullptr;
  EXPECT_EQ(host.value(kFilter1Cutoff + 2), 55);
  for (const Bytes& b : host.sent()) EXPECT_TRUE(b.size() == 392 || b[1] == 0x7B) << int(b[0]);
}

TEST_F(Engine, HostProgramChangeIsHeldToOneHundredAndSelectsThePart) {
  host.set(kGlobalRxProgramChange, 1.0);
  host.flags.requestAfterProgramChange = false;
  host.device = [this](const Bytes& r) { if (r.size() == 8) held.wait(); };  // its overlay not up yet
  ASSERT_TRUE(mgr->requestPartToEditor(0) && until([&] { return !host.sent().empty(); }));
  IMidiMsg pc;
  pc.MakeProgramChangeMsg(120 / 127.0, 3);  // part 3's channel
  mgr->ProcessMidiMsg(&pc, false);
  EXPECT_EQ(host.value(kMultiPartPatch + 3), 100);
  EXPECT_EQ(host.sent().size(), 1u) << "sent before its notes off and bank select, or the host's thread waited";
  const IMidiMsg bank(0, 0xB3, 32, 0x41), last(0, 0xC3, 7, 0);  // the part's last one during the job goes, in the bank chosen with it
  host.flags.transferRunning = true, mgr->ProcessMidiMsg(&bank, false), mgr->ProcessMidiMsg(&last, false);
  mgr->sender()->cancelRequested = true, release.set_value();
  ASSERT_TRUE(waitIdle());
  EXPECT_EQ(host.sent(), (std::vector<Bytes>{{0xF0, 0x3E, 0x10, 0, 0, 0x30, 0, 0xF7}, {0xB3, 0x7B, 0}, {0xB3, 0, 0}, {0xB3, 0x20, 0x41}, {0xC3, 7, 0}}));
  // A locked part changes nothing, but the message still passes.
  host.clearSent();
  host.set(kPartLock + 3, 1.0);
  mgr->ProcessMidiMsg(&pc, false);
  EXPECT_EQ(host.sent(), (std::vector<Bytes>{{0xC3, 120, 0x00}}));
}

// Refused a start (another starter holds it), the host's program change is due, and the next block starts it.
TEST_F(Engine, AHostProgramChangeRefusedAStartGoesFromTheNextBlock) {
  host.set(kGlobalRxProgramChange, 1.0), host.flags.requestAfterProgramChange = false, host.flags.continuousClockStarted = true;
  std::promise<void> inside;
  std::thread starter([&] { mgr->startJob(JobRecord(), [&] { inside.set_value(), held.wait(); }); });
  const IMidiMsg pc(0, 0xC3, 5, 0);  // as the render thread delivers it, while the start is held
  inside.get_future().wait(), mgr->ProcessMidiMsg(&pc, false), release.set_value(), starter.join();
  ASSERT_TRUE(waitIdle() && host.sent().empty()) << "started at once";
  mgr->processBlock(ITimeInfo(), 64, 44100.0, 64);
  EXPECT_TRUE(until([&] { return host.sent().size() == 4 && host.sent()[3] == Bytes{0xC3, 5, 0}; }));
}

TEST_F(Engine, ActivityIndicatorsGoOutAfterAHundredMilliseconds) {
  host.flags.continuousClockStarted = true;
  mgr->lightActivity(2);
  mgr->lightActivity(3);
  host.flags.activityTime[3] = host.flags.activityTime[3].load() - 150;
  ITimeInfo t;
  t.mTransportIsRunning = true;
  mgr->processBlock(t, 64, 44100.0, 64);
  EXPECT_EQ(host.flags.activityLit[2].load(), 1);
  EXPECT_EQ(host.flags.activityLit[3].load(), 0);
  EXPECT_EQ(host.value(kMIDILed + 3), 0.0);
  mgr->sender()->cancelRequested = true;
  ASSERT_TRUE(waitIdle(WorkerThread::kClock));
}

// What the synth says during a librarian push (input held back) is applied in order the moment the
// push ends: its knob, then its program change, whose sound is fetched; nothing is echoed.
TEST_F(Engine, InputDuringAPushIsHeldAndAppliedInOrderWhenItEnds) {
  host.set(kGlobalRxProgramChange, 1.0);
  host.bindSysex(0x20, 2, 0x00, 0x4E, 0, kFilter1Cutoff + 2);
  host.device = [this](const Bytes& r) {
    if (r.size() == 8 && r[6] == 0) held.wait();
    if (r.size() == 8 && r[6] == 2) deliver(soundDumpFor(2, 77));
  };
  ASSERT_TRUE(mgr->requestPartToEditor(0));
  host.flags.transferInProgress = true;
  deliver({0xF0, 0x3E, 0x10, 0x00, 0x20, 0x02, 0x00, 0x4E, 0x40, 0xF7});
  programChange(2, 5);
  EXPECT_TRUE(host.hardwareSets.empty());
  mgr->sender()->cancelRequested = true;
  release.set_value();
  ASSERT_TRUE(waitIdle() && host.hardwareSets.size() == 1u);
  EXPECT_EQ(host.value(kMultiPartPatch + 2) * 100 + host.value(kFilter1Cutoff + 2), 577);
  for (const Bytes& b : host.sent()) EXPECT_EQ(b.size(), 8u);
}

// Held during SEND MULTI: the synth's global and multi knobs go back after the dumps that overwrote them;
// eighty controllers, each moved twice, go in with their last values, in slices between queued jobs.
TEST_F(Engine, HeldInputGoesBackWhereAPushOverwroteItInSlicesBetweenJobs) {
  size_t appliedAtFetch = 0;
  for (int cc = 40; cc < 120; ++cc) host.bindCC(2, cc, kFilter1Cutoff + cc);
  host.device = [&](const Bytes& r) {
    if (r.size() == 207) mgr->requestPartToEditor(7);
    if (std::lock_guard<std::mutex> g(host.m); r.size() == 8 && r[6] == 7) appliedAtFetch = host.hardwareSets.size();
    if (r.size() == 8) deliver(answering(r, soundDumpFor(r[6], 1)));
  };
  const Bytes global = {0xF0, 0x3E, 0x10, 0, 0x24, 0, 6, 0x40, 0xF7}, multi = {0xF0, 0x3E, 0x10, 0, 0x21, 0, 9, 1, 0xF7};
  const Bytes partBank = {0xF0, 0x3E, 0x10, 0, 0x21, 0, 32 + 22 * 3, 2, 0xF7};  // the multi's bank C for part 4
  host.state.partProgram[3] = 12;
  host.flags.sendGlobalWithMulti = true, host.flags.bulkSendActive = true, deliver(global), deliver(multi), deliver(partBank);
  for (IMidiMsg cc(0, 0xB1, 40, 0); cc.mData2 < 2; cc.mData1 = cc.mData1 == 119 ? 40 : cc.mData1 + 1, cc.mData2 += cc.mData1 == 40) mgr->ProcessMidiMsg(&cc, true);
  ASSERT_TRUE(mgr->startJob(job(0)) && waitIdle());
  EXPECT_EQ((appliedAtFetch < 80) * 1000 + host.hardwareSets.size(), 1080u) << "not in slices, or not the last values alone";
  const std::vector<Bytes> sent = host.sent();
  auto after = [&](size_t n, const Bytes& m) { return std::find(std::find_if(sent.begin(), sent.end(), [n](const Bytes& b) { return b.size() == n; }), sent.end(), m) != sent.end(); };
  EXPECT_TRUE(after(207, global) && after(393, multi));
  EXPECT_TRUE(after(393, {0xB3, 32, 0x42}) && after(393, {0xC3, 12, 0})) << "the part's bank is not chosen again after the multi";
}

// A part's send-back goes with the sound its fetch brought: also asked for once the fetch ended,
// and also when the fetch was cancelled after its answer; not after a fetch that brought none,
// nor after a program change that came later.
TEST_F(Engine, ASendBackGoesOnlyWithTheSoundItsFetchBrought) {
  host.set(kSectionLockOsc1 + 4, 1.0);
  for (const auto& [answered, programChange] : {std::pair(true, false), {false, false}, {true, true}}) {
    host.device = [&, on = answered](const Bytes& r) {
      if (r.size() == 8 && on) deliver(soundDumpFor(4, 66));
      mgr->sender()->cancelRequested = r.size() == 8;
    };
    EXPECT_TRUE(mgr->requestPartToEditor(4) && waitIdle());
    EXPECT_TRUE(!programChange || mgr->BankChangeMessage(4));
    mgr->sendPartDataBackToHardware(4);
    EXPECT_TRUE(waitIdle());
    EXPECT_EQ(countSent(0x10), 1);
  }
}

// While a request waits, an edit and a knob the synth turned are put back over its answer, which
// was built before them; a later answer, built after, stands.
TEST_F(Engine, ChangesDuringAWaitGoBackOverItsAnswerOnly) {
  host.bindSysex(0x20, 1, 0x00, 0x50, 0, kFilter1Resonance + 1);
  mgr->awaitDumpForEditor();
  host.set(kFilter1Cutoff + 1, 50);
  mgr->keepEdits({kFilter1Cutoff + 1});
  deliver({0xF0, 0x3E, 0x10, 0x00, 0x20, 0x01, 0x00, 0x50, 0x21, 0xF7});
  deliver(soundDumpFor(1, 10));
  EXPECT_EQ(host.value(kFilter1Cutoff + 1) * 10 + host.hardwareSets.size(), 502) << "not put back";
  mgr->awaitDumpForEditor();
  deliver(soundDumpFor(1, 20));
  EXPECT_EQ(host.value(kFilter1Cutoff + 1) * 10 + host.hardwareSets.size(), 202);
}

// A global send to a synth not heard from asks for its settings first: the bytes the editor does
// not model come from that answer, those it does are the editor's.
TEST_F(Engine, AGlobalSendTakesOnlyTheUnmodelledBytesOfTheSettingsItAskedFor) {
  host.set(kGlobalTranspose, 1);
  host.device = [this](const Bytes& r) {
    std::array<uint8_t, 207> g = dump::globalTemplate();
    g[3] = 0, g[11] = 100, g[155] = 0x55, sysex::applyChecksum(g.data(), 207);
    if (r.size() == 6) deliver(Bytes(g.begin(), g.end()));
  };
  ASSERT_TRUE(mgr->startJob(job(1)) && waitIdle());
  EXPECT_EQ(host.sent().back()[11] * 1000 + host.sent().back()[155], 53 * 1000 + 0x55);
}

// Whose answer a dump is: what the wait's request asked (kind, part, device id), once; else what the
// wait names; a job's own dump. While a cancelled request of its kind is owed its answer, a dump is
// held and asked for again, and taken once said twice (not after a time-out or an answer, for
// another id, once the owed one expired before or after it, or for own dumps; a wait answered once
// asked again owes nothing of its own).
TEST(ReplyWaitClaim, OnlyTheAskedDumpAnswersAndOneInDoubtOnlyWhenSaidTwice) {
  using C = ReplyWait::Claim;
  auto d = [](int command, int part, int dev = 0) { return Bytes{0xF0, 0x3E, 0x10, uint8_t(dev), uint8_t(command), 0x30, uint8_t(part), 0xF7}; };
  const Bytes a = d(0x10, 2), b = {0xF0, 0x3E, 0x10, 0, 0x10, 0x30, 2, 0x7F};  // the answer asked for, and another sound
  struct Row { int before, beforeId, wait, step, command; bool editor, own; std::vector<std::pair<Bytes, C>> dumps; };
  const Row rows[] = {{0, 0, 0, 0, 0x10, true, false, {{d(0x10, 3), C::kStray}, {d(0x11, 2), C::kStray}, {d(0x10, 2, 1), C::kStray}, {a, C::kAnswer}, {a, C::kStray}}},
                      {0, 0, 0, 0, -1, true, false, {{d(0x11, 9, 4), C::kAnswer}}}, {0, 0, 0, 0, 0x10, false, false, {{a, C::kJobAnswer}}},
                      {2, 0, 0, 0, 0x10, true, false, {{a, C::kStray}, {b, C::kStray}, {b, C::kAnswer}, {a, C::kStray}}}, {1, 0, 0, 0, 0x10, true, false, {{a, C::kAnswer}, {a, C::kStray}}},
                      {2, 1, 0, 0, 0x10, true, false, {{a, C::kAnswer}, {a, C::kStray}}}, {2, 0, 2001, 0, 0x10, true, false, {{a, C::kAnswer}, {a, C::kStray}}},
                      {2, 0, 0, 1001, 0x10, true, false, {{a, C::kStray}, {b, C::kAnswer}}}, {2, 0, 0, 0, 0x10, true, true, {{d(0x10, 2, 7), C::kAnswer}, {a, C::kStray}}},
                      {3, 0, 0, 0, 0x10, true, false, {{a, C::kAnswer}, {a, C::kStray}}}, {4, 0, 501, 0, 0x10, true, false, {{a, C::kAnswer}, {a, C::kStray}}}};
  static uint32_t now = 0;
  for (const Row& row : rows) {
    ReplyWait w;  // before: 1 a timed-out wait, 2 a cancelled one, 3 one answered then cancelled, that asked for part 2 at beforeId; 4 as 2, then one asked again
    w.clock = [] { return now; };
    if (row.before) {
      w.arm(0x10, 2, true), w.sent(sysex::soundRequest(row.beforeId, 0x30, 2));
      if (row.before == 3) w.claim(a.data(), 8), w.answer(a.data(), 8);
      w.end(row.before >= 2);
      if (row.before == 4)  // 1.5 s on, a wait answered once asked again (said twice)
        now += 1500, w.arm(0x10, 2, true), w.sent(sysex::soundRequest(0, 0x30, 2)), w.claim(a.data(), 8), w.claim(a.data(), 8), w.answer(a.data(), 8);
    }
    if (now += row.wait, w.arm(row.command, row.command < 0 ? -1 : 2, row.editor); row.command >= 0) w.sent(sysex::soundRequest(0, 0x30, 2));
    for (const auto& [m, want] : row.dumps) {
      now += row.step;
      const bool inWait = w.waitingForEditor() || !row.editor;
      EXPECT_EQ(w.claim(m.data(), 8, row.own), want) << &row - rows << " " << int(m[4]) << " " << int(m[6]);
      if (want != C::kStray) w.answer(m.data(), 8, row.own);
      EXPECT_EQ(w.takeAskAgain(), inWait && want == C::kStray && m[6] == 2 && m[3] == 0 && m[4] == 0x10 && row.command >= 0 ? 0 : -1) << &row - rows;
    }
  }
}

// What a wait held (a dump in doubt; another id's answer while it keeps to one) is no later wait's.
TEST(ReplyWaitClaim, WhatAWaitHeldGoesWithIt) {
  const Bytes a = {0xF0, 0x3E, 0x10, 0, 0x10, 0x30, 2, 0xF7};
  ReplyWait w;
  w.arm(0x10, 2, true), w.sent(sysex::soundRequest(0, 0x30, 2)), w.end(true);  // owed: a is in doubt
  for (uint8_t wait = 0; wait < 2; ++wait) {
    const Bytes other = {0xF0, 0x3E, 0x10, 1, 0x10, 0x30, 2, wait, 0xF7};
    w.arm(0x10, 2, true), w.sent(sysex::soundRequest(0, 0x30, 2)), w.sent(sysex::soundRequest(1, 0x30, 2)), w.keepTo(0);
    EXPECT_EQ(int(w.claim(a.data(), 8)) * 10 + int(w.claim(other.data(), 9)), int(ReplyWait::Claim::kStray) * 11) << int(wait);
    EXPECT_EQ(w.takeAskAgain() * 1000 + (wait ? w.moveToHeld().at(7) : 1), 1) << "held from the wait before";
    w.end(true);
  }
}

// Held input goes in oldest first, in bounded slices; past its bound refreshes go first, then
// notes, never a program change or a bank select; what a later dump overwrote is sent again,
// unless a later value of its parameter is held.
TEST(HeldInputQueue, KeepsOrderBoundAndMarksWhatADumpOverwrote) {
  const Bytes pc = {0xC0, 5}, cc = {0xB0, 74, 1}, note = {0x90, 60, 100};
  for (const Bytes& m : {pc, Bytes{0xC1, 5, 0}, Bytes{0xB0, 0, 0}, Bytes{0xB0, 32, 0x41}})
    EXPECT_TRUE(!HeldInput::isRefresh(m.data(), m.size()) && HeldInput::isProtected(m.data(), m.size())) << int(m[0]);
  HeldInput h;
  EXPECT_TRUE(!h.hold(cc.data(), 3, false, 0) && h.hold(pc.data(), 2, true, -1));
  for (size_t i = 1; i < 2 * HeldInput::kMax; ++i) h.hold((i % 2 && i < HeldInput::kMax ? cc : note).data(), 3, true, 0);
  std::vector<Bytes> applied;
  std::vector<bool> resent;
  auto apply = [&](const Bytes& m, bool resend) { applied.push_back(m), resent.push_back(resend); };
  EXPECT_EQ(h.release(SIZE_MAX, [] { return true; }, apply), 0u) << "applied while still held";
  EXPECT_EQ(h.release(64, {}, apply) + h.release(SIZE_MAX, [] { return false; }, apply) * 10, 64 + (HeldInput::kMax - 64) * 10);
  EXPECT_EQ(std::count(applied.begin(), applied.end(), note) * 10 + (applied.front() == pc), (int(HeldInput::kMax) - 1) * 10 + 1);
  const Bytes cc2 = {0xB0, 74, 2}, knob = {0xF0, 0x3E, 0x10, 0, 0x21, 0, 9, 1, 0xF7};
  h.hold(cc.data(), 3, true, 1 << 3), h.hold(knob.data(), 9, true, 1 << HeldInput::kMulti), h.hold(cc2.data(), 3, true, 1 << 3);
  h.hold(pc.data(), 2, true, 0), h.dumpSent(HeldInput::kMulti), h.dumpSent(3), h.hold(cc.data(), 3, true, 1 << 3);
  applied.clear(), resent.clear(), h.release(SIZE_MAX, {}, apply);
  // The controller's later value (after the dumps) is its last word: the earlier never goes back.
  EXPECT_EQ(applied, (std::vector<Bytes>{knob, pc, cc}));
  EXPECT_EQ(resent, (std::vector<bool>{true, false, false}));
  // A long push under program choices alone (bank select, program change, the multi's program of
  // the part) holds the last of each channel, which goes in as it came.
  std::vector<Bytes> last(16 * 4);
  for (int i = 0; i < 4 * int(HeldInput::kMax); ++i) {
    const uint8_t ch = uint8_t(i % 16);
    const int index = 32 + 22 * ch + 1;
    const Bytes choice[4] = {{uint8_t(0xB0 | ch), 0, 0}, {uint8_t(0xB0 | ch), 32, uint8_t(0x40 + i % 3)}, {uint8_t(0xC0 | ch), uint8_t(i % 100), 0},
                             {0xF0, 0x3E, 0x10, 0, 0x21, uint8_t(index >> 7), uint8_t(index & 0x7F), uint8_t(i % 99), 0xF7}};
    for (int k = 0; k < 4; ++k) h.hold(choice[k].data(), choice[k].size(), true, 0), last[size_t(i % 16 * 4 + k)] = choice[k];
  }
  EXPECT_EQ(h.size(), last.size());
  applied.clear(), h.release(SIZE_MAX, {}, apply);
  EXPECT_EQ(applied, last);
  const Bytes choices[] = {{0xB1, 32, 0x40}, {0xC1, 7, 0}, {0xB1, 32, 0x42}, {0xB1, 32, 0x43}};  // the last bank after the last program stands too
  for (const Bytes& m : choices) h.hold(m.data(), m.size(), true, 0);
  EXPECT_EQ((applied.clear(), h.release(SIZE_MAX, {}, apply), applied), (std::vector<Bytes>{choices[0], choices[1], choices[3]}));
}

// A request whose port is lost asks no other id.
TEST_F(Engine, ALostPortAsksNoOtherId) {
  host.carry = false;
  ASSERT_TRUE(mgr->requestPartToEditor(2) && waitIdle());
  EXPECT_EQ(host.sent().size() * 1000 + (host.lastStatus() == MIDIMessageManager::kConnectionLostText), 1001u);
}

// The synth answered the id change's check, then came a cancel: the answer counts.
TEST_F(Engine, ACancelAfterTheAnswerCameLosesToIt) {
  host.device = [this](const Bytes& r) {
    std::array<uint8_t, 207> g = dump::globalTemplate();
    g[3] = g[30] = 3, sysex::applyChecksum(g.data(), 207);
    if (r.size() == 6 && r[3] == 3) deliver(Bytes(g.begin(), g.end())), mgr->sender()->cancelRequested = true;
  };
  mgr->changeDeviceId(0, 3);
  ASSERT_TRUE(waitIdle());
  EXPECT_EQ(host.lastStatus() + std::to_string(host.flags.deviceId.load()), "Device ID changed!3");
}

// An edit held for a fetch that was cancelled ends with it: a later answer is not overwritten.
// A fetch replaced while it waited takes its send-back along: one goes, after the newer fetch.
TEST_F(Engine, WhatBelongedToAnEndedOrReplacedFetchEndsWithIt) {
  host.device = [this](const Bytes& r) {
    if (r.size() == 8) host.set(kFilter1Cutoff + 1, 50), mgr->keepEdits({kFilter1Cutoff + 1}), mgr->sender()->cancelRequested = true;
  };
  ASSERT_TRUE(mgr->requestPartToEditor(3) && waitIdle());
  mgr->awaitDumpForEditor(), host.device = nullptr, deliver(soundDumpFor(1, 10));
  EXPECT_EQ(host.value(kFilter1Cutoff + 1), 10);
  host.set(kSectionLockOsc1 + 4, 1.0), host.clearSent();
  host.device = [this](const Bytes& r) {
    if (r.size() == 8) r[6] == 0 ? held.wait() : void(), deliver(soundDumpFor(r[6], 66));
  };
  ASSERT_TRUE(mgr->requestPartToEditor(0) && mgr->fetchPartAfterProgramChange(4) && mgr->fetchPartAfterProgramChange(4));
  release.set_value();
  ASSERT_TRUE(waitIdle());
  EXPECT_EQ(host.sent().size() * 1000 + host.sent().back().size(), 3392u);
}

// The serial queue: a newer job replaces the waiting one it supersedes; a send-back goes with a
// fetch that ended unanswered, and follows the newer fetch that replaced its own.
TEST(JobQueueOrder, ANewerJobReplacesAndWhatBelongedToAnUnansweredOneGoes) {
  JobQueue<JobRecord> q;
  auto samePart = [](const JobRecord& a, const JobRecord& b) { return a.code == b.code && a.part == b.part; };
  JobRecord sendBack = job(2, 1), sendBack2 = job(2, 2);
  q.startNow(), sendBack.belongsTo = q.add(job(6, 1), {}, samePart);
  q.add(sendBack, {}, samePart), sendBack2.belongsTo = q.add(job(6, 2), {}, samePart), q.add(sendBack2, {}, samePart);
  q.add(job(6, 1), {}, samePart), q.add(job(6, 2), {}, samePart);
  JobQueue<JobRecord>::Job next;
  std::vector<int> order;
  for (bool answered = true; q.next(answered, &next); answered = next.record.part != 1) order.push_back(next.record.code * 100 + next.record.part);
  EXPECT_EQ(order, (std::vector<int>{601, 602, 202}));
  EXPECT_FALSE(q.mayFollow(sendBack.belongsTo, false));
  // The render thread's add allocates nothing, replacing and moving followers included, and
  // queues nothing once the room made beforehand is used up; a caller that may wait makes more.
  int allocated = 0;
  auto add = [&](int part, bool mayWait, uint64_t after = 0) {
    JobRecord r = job(after ? 2 : 6, part);
    r.belongsTo = after, allocationsCounted = 0;
    const uint64_t id = q.add(r, [&q] { q.lastId(); }, samePart, mayWait);
    return allocated += allocationsCounted, allocationsCounted = -1, id;
  };
  for (int i = 0; i < 200 && add(i < 8 ? i % 4 : i, false, add(i < 8 ? i % 4 : i, false));) ++i;  // four fetches asked again
  EXPECT_EQ(allocated, 0);
  EXPECT_EQ(add(99, false), 0u) << "queued past its room";
  EXPECT_NE(add(99, true), 0u);
}

// While another caller holds the queue (here inside its test of what a new job replaces), the
// render thread's add returns at once without queueing.
TEST(JobQueueOrder, TheRenderThreadNeverWaitsForTheQueue) {
  static std::promise<void> held, release;
  static std::shared_future<void> released = release.get_future().share();
  JobQueue<JobRecord> q;
  auto holding = [](const JobRecord& newer, const JobRecord&) { return newer.part == 1 && (held.set_value(), released.wait(), false); };
  q.startNow(), q.add(job(6, 0), {}, holding);
  std::thread other([&] { q.add(job(6, 1), {}, holding); });
  held.get_future().wait();
  auto render = std::async(std::launch::async, [&] { return q.add(job(6, 2), {}, holding, false); });
  const bool returned = render.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  release.set_value(), other.join();
  EXPECT_TRUE(returned && render.get() == 0) << "the render thread waited for the queue";
}
