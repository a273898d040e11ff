#include "MIDIMessageManager.h"

#include <Poco/Exception.h>
#include <Poco/Thread.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <tuple>

#include "DumpLayout.h"
#include "MIDIMessageSender.h"
#include "ParamNames.h"
#include "PatchLibrarian.h"
#include "SysexProtocol.h"
#include "WINX_Time.h"

namespace {

// Set while a job hands its own dump to the parser, on the job's thread.
thread_local bool handingOwnDump = false;
// SynthOrigin's: the value this thread applies came from the synth.
thread_local bool applyingSynthValue = false;

int toInt(double v) {
  if (!(v == v)) return 0;
  return static_cast<int>(std::clamp(v, -1.0e6, 1.0e6));
}

// The part of a parameter in one of the per-part blocks, or -1.
int partIn(int param, int base) { return (param >= base && param < base + kNumParts) ? param - base : -1; }

bool validPart(int part) { return part >= 0 && part < kNumParts; }

// Bank-select LSB values of the device that a bank select CC 0/0 announces.
bool isDeviceBankValue(int v) { return v == 0x40 || v == 0x42 || v == 0x50 || v == 0x60; }

// A short message is ours only with the Dorvik's header, data bytes below 0x80 and F7 last.
bool isOurShortMessage(const uint8_t* d, int size) {
  if (size < 9 || d[0] != sysex::kStart || d[1] != sysex::kManufacturer || d[2] != sysex::kModel) return false;
  if (d[size - 1] != sysex::kEnd) return false;
  for (int i = 1; i < size - 1; ++i)
    if (d[i] & 0x80) return false;
  return true;
}

IMidiMsg controlChange(int cc, int value, int channel) {
  IMidiMsg m;
  m.MakeControlChangeMsg(static_cast<IMidiMsg::EControlChangeMsg>(cc), std::clamp(value, 0, 127) / 127.0, channel);
  return m;
}

}  // namespace

SynthOrigin::SynthOrigin(bool fromSynth) : outer(applyingSynthValue) { applyingSynthValue = fromSynth; }
SynthOrigin::~SynthOrigin() { applyingSynthValue = outer; }
bool SynthOrigin::now() { return applyingSynthValue; }

// ---------------------------------------------------------------------------------------------
// Librarian captures

bool LibraryRequest::addMessageData(const uint8_t* data, int size, bool answer) {
  if (data == nullptr || size <= 0) return false;
  std::lock_guard<std::mutex> g(lock);
  // Whatever arrived before the dump (a cut-off dump, a knob's parameter change) must not name the
  // entry, and a full list must still take the dump that completes the capture: it is what the
  // librarian stores.
  if (patch.messages.size() >= kMaxMessages) patch.messages.pop_back();
  PatchSysexMessage m;
  m.bytes.assign(data, data + size);
  patch.messages.push_back(std::move(m));
  // Only a whole sound or multi dump completes the capture: one cut short, with a status byte
  // inside or a wrong checksum would become the slot's entry; so would another dump than the one
  // asked for.
  if (!answer || size < sysex::kSoundDumpMinLength || !sysex::isIntactDump(data, size)) return false;
  const std::vector<uint8_t>& done = patch.messages.back().bytes;
  const int pos = multi ? sysex::kMultiNamePos : sysex::kSoundNamePos;
  patch.name += sysex::readName(done.data(), static_cast<int>(done.size()), pos, sysex::kNameWidth);
  armed = false;
  return true;
}

void LibraryRequest::clearAndArm() {
  std::lock_guard<std::mutex> g(lock);
  patch = LibrarianPatch();
  armed = true;
}

LibrarianPatch LibraryRequest::snapshot() const {
  std::lock_guard<std::mutex> g(lock);
  return patch;
}

// ---------------------------------------------------------------------------------------------
// Construction, jobs and threads

MIDIMessageManager::MIDIMessageManager(MidiEngineHost* host, PlugMidiState* state) : plugHost(host), plugState(state) {
  static const char* kNames[3] = {"Dorvik dump", "Dorvik clock", "Dorvik ticks"};
  for (int i = 0; i < 3; ++i) threads[i] = std::make_unique<Poco::Thread>(kNames[i]);
  senderObj = std::make_unique<MIDIMessageSender>(this);
}

MIDIMessageManager::~MIDIMessageManager() { shutdown(); }

bool MIDIMessageManager::startJob(const JobRecord& record, const std::function<void()>& beforeStart, uint64_t* id) {
  std::lock_guard<std::mutex> g(startLock);
  return startLocked(record, beforeStart, true, id);
}

bool MIDIMessageManager::startJobWithoutWaiting(const JobRecord& record, const std::function<void()>& beforeStart,
                                                uint64_t* id) {
  std::unique_lock<std::mutex> g(startLock, std::try_to_lock);
  return g.owns_lock() && startLocked(record, beforeStart, false, id);
}

bool MIDIMessageManager::startUserJob(const JobRecord& record, const std::function<void()>& beforeStart) {
  {
    std::lock_guard<std::mutex> g(startLock);
    if (!jobBusy[static_cast<int>(MIDIMessageSender::threadOf(record.code))].load())
      return startLocked(record, beforeStart, true);
  }
  plugHost->setStatusText(kBusyText);
  return false;
}

bool MIDIMessageManager::startLocked(const JobRecord& record, const std::function<void()>& beforeStart, bool mayWait,
                                     uint64_t* id, bool first) {
  const WorkerThread t = MIDIMessageSender::threadOf(record.code);
  const int i = static_cast<int>(t);
  const bool dump = t == WorkerThread::kDump;
  if (shuttingDown) return false;
  // A job of a request runs after it, and only once that request ended with its answer.
  const uint64_t request = record.belongsTo;
  if (dump && request != 0 && !jobs.mayFollow(request, jobBusy[i].load())) return false;
  if (jobBusy[i].load()) {
    if (!dump) return false;
    const uint64_t queued = jobs.add(record, beforeStart, supersedes, mayWait, first);
    if (id) *id = queued;
    return queued != 0;
  }
  // Reap the finished run before the record is rewritten: the join orders the old job's reads
  // of its record before our writes. The job has returned (jobBusy is clear), so only the
  // thread's last steps remain; without waiting, a thread not yet gone counts as busy.
  if (started[i]) {
    if (mayWait)
      threads[i]->join();
    else if (!threads[i]->tryJoin(0))
      return false;
  }
  senderObj->record(t) = record;
  // A job starts uncancelled. Cleared here rather than by the job, so a cancel that comes the
  // moment after the start is never lost.
  if (dump) {
    senderObj->cancelRequested = false;
    senderObj->requestFailed = false;
    slotsStored = 0;
    reply.disarm();
  }
  if (beforeStart) beforeStart();
  jobBusy[i] = true;
  try {
    threads[i]->start(*senderObj->runner(t));
  } catch (const Poco::Exception& e) {
    plugHost->log("PROCESSOR: could not start MIDI job " + std::to_string(record.code) + ": " + e.displayText());
    jobBusy[i] = false;
    started[i] = false;
    return false;
  }
  started[i] = true;
  if (dump) {
    const uint64_t running = jobs.startNow();
    if (id) *id = running;
  }
  return true;
}

// Whether waiting job `newer` makes waiting job `older` pointless: the same fetch of a part, the
// same part send or send-back, the synth's librarian choice for the same part, the same transfer.
// Jobs that address different slots or ranges (a store, a librarian request) never do.
bool MIDIMessageManager::supersedes(const JobRecord& newer, const JobRecord& older) {
  if (newer.code != older.code) return false;
  switch (newer.code) {
    case 2:
      return std::tie(newer.part, newer.toLibrarian, newer.belongsTo) ==
             std::tie(older.part, older.toLibrarian, older.belongsTo);
    case 3: return newer.selectedBySynth && older.selectedBySynth && newer.part == older.part;
    case 6: return std::tie(newer.part, newer.requestFlag) == std::tie(older.part, older.requestFlag);
    // The host's program changes for a part that wait behind a job: only its last one (with the
    // bank it selected) goes, with one fetch.
    case MIDIMessageSender::kBankAndProgramChangeJob:
      return newer.hostProgram && older.hostProgram && newer.part == older.part;
    case 0: case 5: case 13:
      return std::tie(newer.requestFlag, newer.toLibrarian, newer.requestParts, newer.endsProjectPush,
                      newer.appliesHeldProject, newer.idChangedFrom, newer.idChangedTo, newer.sessionFollows,
                      newer.onlyParts, newer.playingParts) ==
             std::tie(older.requestFlag, older.toLibrarian, older.requestParts, older.endsProjectPush,
                      older.appliesHeldProject, older.idChangedFrom, older.idChangedTo, older.sessionFollows,
                      older.onlyParts, older.playingParts);
    default: return false;
  }
}

bool MIDIMessageManager::threadRunning(WorkerThread t) const { return jobBusy[static_cast<int>(t)].load(); }

bool MIDIMessageManager::onDumpThread() const {
  return Poco::Thread::current() == threads[static_cast<int>(WorkerThread::kDump)].get();
}

bool MIDIMessageManager::nextQueuedJob(WorkerThread t) {
  // Answered: the job's last wait took its answer, also when it was cancelled afterwards. Read
  // before the held input goes in (what it starts may arm a wait of its own).
  const bool answered = t == WorkerThread::kDump && reply.in();
  // Input held back during the job goes in before the next job starts (a program change among it
  // queues its fetch behind those already waiting), in slices: a flood that keeps input coming
  // delays a queued job by one slice at most, and never stops it.
  std::unique_lock<std::mutex> g(startLock, std::defer_lock);
  for (;;) {
    if (t == WorkerThread::kDump) {
      releaseHeldInput(kReleaseSlice);
      senderObj->putBackSynthWords();
    }
    g.lock();
    if (t != WorkerThread::kDump || !jobs.empty() || shuttingDown || heldInput.empty() || holdsInput()) break;
    g.unlock();
  }
  const int i = static_cast<int>(t);
  JobQueue<JobRecord>::Job next;
  // The jobs of a request that ended without its answer go with it.
  if (t != WorkerThread::kDump || !jobs.next(answered, shuttingDown ? nullptr : &next)) {
    if (shuttingDown) jobs.clear();
    jobBusy[i] = false;
    return false;
  }
  senderObj->record(t) = next.record;
  const std::function<void()> beforeStart = next.beforeStart;
  senderObj->cancelRequested = false;
  senderObj->requestFailed = false;
  slotsStored = 0;
  reply.disarm();
  if (beforeStart) beforeStart();
  return true;
}

void MIDIMessageManager::shutdown() { endJobs(true); }

void MIDIMessageManager::stopAllJobs() { endJobs(false); }

void MIDIMessageManager::endJobs(bool forGood) {
  {
    std::lock_guard<std::mutex> g(startLock);
    // Refused while the threads are joined, so that no job starts behind the join; a queued job
    // is dropped by the worker that would have run it.
    shuttingDown = true;
  }
  senderObj->stopping = true;
  senderObj->cancelRequested = true;
  midiClock.stop();
  // Input held for a job that will not end normally is dropped with it.
  heldInput.clear();
  for (int i = 0; i < 3; ++i)
    if (started[i]) {
      threads[i]->join();
      started[i] = false;
    }
  {
    std::lock_guard<std::mutex> g(putBackLock);
    putBacks.clear();
    putBackPending = putBackQueued = false;
  }
  heldInput.clear();
  if (forGood) return;
  std::lock_guard<std::mutex> g(startLock);
  jobs.clear();
  senderObj->stopping = false;
  shuttingDown = false;
}

int MIDIMessageManager::pacingInterval() const {
  const int o = pacingOverride.load();
  return o > 0 ? o : sysex::pacingIntervalMs(plugHost->value(kLibSyncTimer));
}

// ---------------------------------------------------------------------------------------------
// Incoming SysEx

void MIDIMessageManager::storeCapture(const LibraryRequest& capture) {
  LibrarianPatch received = capture.snapshot();
  if (PatchLibrarian* lib = plugHost->librarian())
    if (lib->setSysexDatatoSelectedSlot(&received)) ++slotsStored;
  plugHost->updateLibrarianView(0);
  plugHost->librarianViewDirty();
  parseComplete = true;
}

void MIDIMessageManager::ProcessSysEx(const ISysEx* msg, bool fromDevice) {
  if (!fromDevice || msg == nullptr || msg->mData == nullptr || msg->mSize <= 0) return;
  const uint8_t* d = msg->mData;
  const int size = msg->mSize;
  // Both captures take a dump only whole (sysex::isIntactDump). A spoilt reply is dropped and the
  // wait goes on: the good answer after it (a re-sent request's, the device-id scan's) is heard.
  const bool dumpSized = size >= 60;
  auto spoilt = [&] { return dumpSized && !sysex::isIntactDump(d, size); };
  // A SysEx cut off before its F7 (the synth stopped mid-message; the input hands the piece over
  // on its own once the next message starts) is no message at all.
  if (d[0] == sysex::kStart && d[size - 1] != sysex::kEnd) {
    reportSpoiltReply(size, awaitingDump() || performanceRequest.armed.load() || patchRequest.armed.load());
    return;
  }

  for (LibraryRequest* capture : {&performanceRequest, &patchRequest}) {
    if (!capture->armed.load()) continue;
    // Only the answer of the request that waits, or a dump handed over as our own, fills the
    // slot: the synth's own send of another sound meanwhile is nobody's.
    const bool answer = dumpSized && !spoilt() && (handingOwnDump || reply.claim(d, size) != ReplyWait::Claim::kStray);
    if (capture->addMessageData(d, size, answer)) {
      storeCapture(*capture);
      reply.answer(d, size, handingOwnDump);
    } else if (spoilt()) {
      reportSpoiltReply(size, true);
    }
    return;
  }

  if (dumpSized) {
    if (spoilt()) {
      reportSpoiltReply(size, awaitingDump());
      return;
    }
    // Only the dump the waiting request names goes into the editor; a job's own dump is its
    // wait's answer as it stands. A late answer of an ended request, another kind, part or device
    // id, the synth's own send: a global dump of the synth that is ours is its settings changed,
    // anything else is nobody's.
    const ReplyWait::Claim claim = reply.claim(d, size, handingOwnDump);
    bool parsed = false;
    if (claim == ReplyWait::Claim::kAnswer) {
      deviceIdRestored = false;
      // An answer comes from an id its request went to: another than the editor's only where the
      // device check or the id scan asked. The Device ID field shows where edits go now.
      const int dev = d[sysex::kDevicePos];
      if (plugState->adoptDeviceId.load() && dev < 0x80 && dev != plugState->deviceId.load()) {
        plugHost->setFromDevice(kGlobalSysExID, dev);
        // The synth found at another id (renumbered on its panel) still holds what was heard from
        // it: that stays its own, or the next send would give it template bytes. It may be another
        // unit on the same cable, though: its own global settings are asked for before a send
        // carries them (MIDIMessageSender::askForUnheardGlobal).
        synthImage.moveDevice(plugState->deviceId.exchange(dev), dev, false);
      }
      dump::SoundParseResult sound = dump::parseSoundDump(d, size, *plugHost);
      if (sound.parsed) {
        parsed = true;
        plugHost->setPatchManagerName(1 + sound.part, sound.name);
        plugHost->setPatchManagerName(19 + sound.part, sound.category);
        plugHost->librarianViewDirty();
        const int cur = std::clamp(plugHost->currentPart(), 0, kNumParts - 1);
        plugHost->displayPatchName(plugHost->text(kPatchName + cur));
        plugHost->displayCategoryName(plugHost->text(kCategoryName + cur));
      }
      std::string multiName;
      if (dump::parseMultiDump(d, size, *plugHost, &multiName)) {
        parsed = true;
        plugHost->setPatchManagerName(0, multiName);
        plugHost->librarianViewDirty();
        takePartPrograms();
      }
      if (dump::parseGlobalDump(d, size, *plugHost)) parsed = true;
    } else if (sysex::isGlobalDump(d, size) && d[sysex::kDevicePos] == sysex::dataByte(plugState->deviceId.load())) {
      parsed = dump::parseGlobalDump(d, size, *plugHost);
    }
    if (parsed) {
      synthImage.keepDump(d, size, *plugHost);
      if (sysex::isGlobalDump(d, size)) globalsHeard = true;
      parseComplete = true;
    }
    // What the wait held goes back over its answer; the job that waited moves on only then.
    if (parsed && claim == ReplyWait::Claim::kAnswer) {
      reapplyHeldEdits();
      reply.answer(d, size, handingOwnDump);
    }
    if (multiRequestActive.load()) quickTabRefreshPending = false;
  } else {
    // Also while a dump is awaited: a knob turned on the synth just before it answers is part of
    // what the synth holds, and its refresh no longer ends a request's wait.
    sysexControlMissing = false;
    quickTabRefreshPending = false;
    if ((size == 9 || size == 10) && isOurShortMessage(d, size)) {
      if (size == 9 && d[4] == sysex::kMultiParamChange) {
        const int index = d[5] * 128 + d[6];
        if (index >= 32 && index < 32 + 22 * kNumParts) {
          const int k = (index - 32) / 22, offset = (index - 32) % 22;
          if (offset == 0 || offset == 1) handlePartProgramFromSysEx(k, offset == 1, d[7]);
        }
      }
      lookUpShort(d, size);
      synthImage.keepChange(d, size, *plugHost);
      keepSynthChange(d, size);
    }
  }
  if (quickTabRefreshPending.load()) plugHost->onParamChange2(kQuickTab);
}

void MIDIMessageManager::takePartPrograms() {
  for (int k = 0; k < kNumParts; ++k) {
    plugState->partBank[k] = toInt(plugHost->value(kMultiPartBank + k));
    plugState->partProgram[k] = toInt(plugHost->value(kMultiPartPatch + k));
  }
}

bool MIDIMessageManager::takeAskedGlobal(const uint8_t* data, int size) {
  if (!globalAsked.load() || !sysex::isGlobalDump(data, size) || !sysex::isIntactDump(data, size) ||
      data[sysex::kDevicePos] != sysex::dataByte(plugState->deviceId.load()))
    return false;
  synthImage.keepUnmodelled(data, size, *plugHost);
  globalAsked = false;
  plugState->replyReceived = true;
  reply.answer(data, size);
  return true;
}

void MIDIMessageManager::reportSpoiltReply(int size, bool awaited) {
  plugHost->log("PROCESSOR: incomplete or damaged SysEx of " + std::to_string(size) + " bytes ignored");
  if (!awaited) return;
  spoiltReply = true;
  plugHost->setStatusText(kSpoiltReplyText);
}

void MIDIMessageManager::handlePartProgramFromSysEx(int part, bool program, int value) {
  if (program) {
    plugHost->setFromDevice(kMultiPartPatch + part, value);
    plugState->partProgram[part] = value;
    plugHost->setLibrarianProgram(value);
  } else {
    plugHost->setFromDevice(kMultiPartBank + part, value);
    plugState->partBank[part] = value;
  }
  lastSysExProgramChangeTime = GetTickCount();
  // The synth plays the part's program now: a send-back of the sound before it must not follow.
  partProgramChanged(part);
  // A bank change selects the entry of the program the part plays, not the one numbered like
  // the bank.
  if (plugHost->value(kControlLibrary) == 1.0) {
    sendPatchToDeviceFromLibrarian(plugState->partProgram[part].load(), plugHost->librarianViewSelectedBank(), part,
                                   true);
  } else if (plugState->requestAfterProgramChange.load()) {
    SetLibrarianRequestActive(false);
    fetchPartAfterProgramChange(part);
  }
}

void MIDIMessageManager::getNormalControl(int k1, int k2, int k3, int k4, int value, bool fromDevice) {
  IControl* c = plugHost->findSysexControl(k1, k2, k3, k4, 0);
  if (c) {
    processSysExToUI(c, value, false, fromDevice);
  } else {
    sysexControlMissing = true;
  }
}

// The parameter change of a 9- or 10-byte message from the device finds its control (or, for the
// packed bytes, sets its parameters directly).
void MIDIMessageManager::lookUpShort(const uint8_t* d, int size) {
  const bool perPart = size == 10;
  const int cmd = d[4];
  const int hi = perPart ? d[6] : d[5];
  const int lo = perPart ? d[7] : d[6];
  const int raw = perPart ? d[8] : d[7];
  const int part = perPart ? d[5] : -1;
  // The interface registers its part-less controls (multi and global settings) under fifth key 1;
  // looked up under 0 alone, the synth's own global and multi changes would never reach them and
  // the next multi or global dump would send the synth its old values back.
  auto find = [&](int k5) -> IControl* {
    if (perPart) return plugHost->findSysexControl(cmd, d[5], hi, lo, k5);
    IControl* c = plugHost->findPartlessSysexControl(d[3], cmd, hi, lo, k5);
    return c ? c : plugHost->findPartlessSysexControl(d[3], cmd, hi, lo, 1);
  };
  auto lookUp = [&](int value) {
    if (IControl* c = find(0)) {
      processSysExToUI(c, value, false, true);
    } else {
      sysexControlMissing = true;
    }
  };

  // Effect parameters: the fifth key is the effect type, so one message reaches the control of
  // the type that is shown.
  if (perPart && cmd == sysex::kSoundParamChange && hi == 1 && lo <= 31) {
    int k5 = -1;
    if (validPart(part)) {
      if (lo <= 15) {
        const int m = toInt(plugHost->value(kEffect1Mode + part));
        if (m >= 0 && m <= 6) k5 = m;
      } else {
        const int m = toInt(plugHost->value(kEffect2Mode + part));
        if (m >= 0 && m <= 7) k5 = m;
        else if (m == 8) k5 = 10;
        else if (m == 9) k5 = 8;
        else if (m == 10) k5 = 9;
      }
    }
    IControl* c = k5 >= 0 ? find(k5) : nullptr;
    if (!c) c = find(0);
    if (c) processSysExToUI(c, raw, false, true);
    return;
  }

  const int model = toInt(plugHost->value(kDorvikModel));
  if (model <= 5 && cmd != sysex::kGlobalParamChange && hi != 2) {
    const int index = hi * 128 + lo;
    const bool packed = perPart && cmd == sysex::kSoundParamChange && validPart(part) &&
                        (index == 58 || index == 196 || index == 208 || index == 220 || index == 232);
    if (!packed) {
      lookUp(raw);
    } else if (index == 58) {
      dump::UnisonoMode u = dump::decodeUnisono(raw);
      plugHost->setFromDevice(kOscillatorUnisono + part, u.unisono);
      plugHost->setFromDevice(kOscillatorMonoPolyMode + part, u.monoPoly);
    } else {
      static const int kModes[4][2] = {{kFilterEnvMode, kFilterEnvTrigger},
                                       {kAmpEnvMode, kAmpEnvTrigger},
                                       {kEnvelope3Mode, kEnv3Trigger},
                                       {kEnvelope4Mode, kEnv4Trigger}};
      const int* e = kModes[(index - 196) / 12];
      dump::EnvelopeMode m = dump::decodeEnvelope(raw);
      plugHost->setFromDevice(e[0] + part, m.mode);
      plugHost->setFromDevice(e[1] + part, m.trigger);
      plugHost->onParamChange(kQuickTab);
    }
  } else if (perPart && cmd == sysex::kSoundParamChange && hi == 2 && lo >= 0x47 && lo <= 0x66) {
    if (validPart(part)) {
      if (lo <= 0x56) {
        dump::ArpStepParams a = dump::arpStepParams(lo - 0x47);
        dump::ArpFirstByte b = dump::decodeArpFirst(raw);
        plugHost->setFromDevice(a.glide + part, b.glide);
        plugHost->setFromDevice(a.step + part, b.step);
        plugHost->setFromDevice(a.accent + part, b.accent);
      } else {
        dump::ArpStepParams a = dump::arpStepParams(lo - 0x57);
        dump::ArpSecondByte b = dump::decodeArpSecond(raw);
        plugHost->setFromDevice(a.stepLen + part, b.stepLen);
        plugHost->setFromDevice(a.timing + part, b.timing);
      }
    }
  } else if (perPart && cmd == sysex::kSoundParamChange && hi == 2) {
    lookUp(raw);
  } else if (!perPart && cmd == sysex::kGlobalParamChange && hi == 0 && (lo == 5 || lo == 6)) {
    lookUp(lo == 6 ? raw - 52 : raw - 54);
  } else {
    sysexControlMissing = true;
  }

  if (sysexControlMissing.load()) {
    if (IControl* c = find(0)) {
      sysexControlMissing = false;
      processSysExToUI(c, raw, false, true);
    }
  }
}

void MIDIMessageManager::processSysExToUI(IControl* control, int value, bool refreshQuickTab, bool fromDevice) {
  if (control == nullptr) return;
  const int p = plugHost->controlParam(control);
  double lo = 0.0, hi = 0.0;
  if (!plugHost->paramRange(p, &lo, &hi)) return;

  bool effectMode = false, effect2 = false;
  int programPart = -1;
  bool programIsBank = false;
  int k;
  if ((k = partIn(p, kOscillator1BendRange)) >= 0 || (k = partIn(p, kOscillator2BendRange)) >= 0 ||
      (k = partIn(p, kOscillator3BendRange)) >= 0) {
    value -= 40;
  } else if (partIn(p, kMultiPartTranspose) >= 0) {
    value -= 16;
  } else if (partIn(p, kMultiPartVeloLow) >= 0 || partIn(p, kMultiPartVeloHigh) >= 0) {
    value -= 1;
  } else if (partIn(p, kEffect2Mode) >= 0) {
    if (value >= 32) value -= 22;
    effectMode = effect2 = true;
  } else if (partIn(p, kEffect1Mode) >= 0) {
    effectMode = true;
  } else if (p == kGlobalLocalControl) {
    plugState->localControlOn = value != 0;
  } else if ((k = partIn(p, kMultiPartBank)) >= 0 || (k = partIn(p, kMultiPartPatch)) >= 0) {
    if (GetTickCount() - lastProgramChangeTime.load() > 1000u) {
      plugHost->setFromDevice(p, value);
      programPart = k;
      programIsBank = partIn(p, kMultiPartBank) >= 0;
    }
  }

  if (hi > lo) {
    const double normalized = (value - lo) / (hi - lo);
    const SynthOrigin origin(fromDevice || effect2);
    if (effect2) plugHost->setControlFromHardware(control, normalized);
    plugHost->setControlFromHardware(control, normalized);
    if (refreshQuickTab || effectMode) plugHost->onParamChange2(kQuickTab);
  }
  if (programPart >= 0) handleProgram(programPart, programIsBank, value);
}

// Bank or program of a part from the device, after the 1000 ms gate. The synth's multi parameter
// change that carries it has already been taken as it is (handlePartProgramFromSysEx, with its
// fetch or library entry): what is left is the editor's own view of it. Nothing goes back.
void MIDIMessageManager::handleProgram(int k, bool isBank, int value) {
  if (plugHost->value(kPartLock + k) == 1.0) return;
  const int program = isBank ? plugState->partProgram[k].load() : value;
  if (plugState->librarianProgramMode.load()) {
    plugHost->setCurrentPart(k);
    plugHost->setFromDevice(kMultiPartPatch + k, std::min(program, 100));
  } else if (plugHost->value(kGlobalRxProgramChange) > 0.0 && isBank) {
    plugHost->setFromDevice(kMultiPartBank + k, value);
  }
  plugHost->setLibrarianProgram(program);
  quickTabRefreshPending = true;
}

// ---------------------------------------------------------------------------------------------
// Channel messages

namespace {
// The entry of the block flags that filters a kind of channel message, or -1 for a kind that
// is never passed on. Entries: 0 CC, 1 program change, 2 note, 3 pitch wheel, 4 poly pressure,
// 5 channel pressure.
int blockIndex(int kind) {
  switch (kind) {
    case IMidiMsg::kControlChange: return 0;
    case IMidiMsg::kProgramChange: return 1;
    case IMidiMsg::kNoteOff:
    case IMidiMsg::kNoteOn: return 2;
    case IMidiMsg::kPitchWheel: return 3;
    case IMidiMsg::kPolyAftertouch: return 4;
    case IMidiMsg::kChannelAftertouch: return 5;
    default: return -1;
  }
}
// What ends something the host started on the synth, which a job must never hold back (a note
// would hang, a pedal stay down, a bend stay bent): a note-off (or note-on at velocity 0), a
// pedal let go (sustain 64, sostenuto 66, soft 67, hold 69 below 64), the bend back at its centre,
// and a channel-mode message that ends the channel's notes: all sound off (120), all notes off
// (123), and the omni and mono/poly switches (124-127).
bool silences(const IMidiMsg& m) {
  switch (m.StatusMsg()) {
    case IMidiMsg::kNoteOff: return true;
    case IMidiMsg::kNoteOn: return m.mData2 == 0;
    case IMidiMsg::kPitchWheel: return m.mData1 == 0 && m.mData2 == 0x40;
    case IMidiMsg::kControlChange:
      switch (m.mData1) {
        case 64: case 66: case 67: case 69: return m.mData2 < 64;
        default: return m.mData1 == 120 || m.mData1 >= 123;
      }
    default: return false;
  }
}
bool isBankSelect(const IMidiMsg& m) {
  return m.StatusMsg() == IMidiMsg::kControlChange && (m.mData1 == 0 || m.mData1 == 32);
}
}  // namespace

void MIDIMessageManager::ProcessMidiMsgFromDevice(const IMidiMsg* msg) {
  const int kind = msg->StatusMsg();
  const int ch = msg->Channel();
  const int part = partOfChannel(ch);
  const int block = blockIndex(kind);
  if (block >= 0 && plugState->deviceBlockFlags[block].load()) return;
  if (kind == IMidiMsg::kControlChange) {
    if (takeBankSelect(msg, part)) return;
    getLegacyCCparam(msg->mData1, ch + 1, msg->mData2, false, true);
    const uint8_t cc[3] = {msg->mStatus, msg->mData1, msg->mData2};
    keepSynthChange(cc, 3);
  } else if (kind == IMidiMsg::kProgramChange) {
    takeProgramFromSynth(part, msg->mData1);
  }
  if (plugState->trackIncomingMIDI.load() && plugHost->hasGraphics() && part >= 0 &&
      !plugState->activityLit[part].load())
    lightActivity(part);
  if (block >= 0 && !plugState->localControlOn.load()) MIDIOutRoutingSwitch(msg);
}

void MIDIMessageManager::ProcessMidiMsgFromDAW(const IMidiMsg* msg, int part) {
  if (!plugState->midiIOSet.load()) return;
  part = validPart(part) ? part : 0;
  const int kind = msg->StatusMsg();
  int block = blockIndex(kind);
  if (block >= 0 && plugState->hostBlockFlags[block].load()) return;
  if (kind == IMidiMsg::kControlChange) {
    // The host never selects the device's banks by these values.
    if ((msg->mData1 == 32 && isDeviceBankValue(msg->mData2)) || (msg->mData1 == 0 && msg->mData2 == 0)) return;
    getLegacyCCparam(msg->mData1, msg->Channel() + 1, msg->mData2, false, false);
    // During a job the part's bank is taken as the host chose it; its program change's job sends it.
    if (isBankSelect(*msg) && (plugState->transferRunning.load() || plugState->bulkSendActive.load())) block = -1;
  } else if (kind == IMidiMsg::kProgramChange && MakeProgramChangeMessages(part, msg)) {
    block = -1;  // its job sends it
  }
  const int lit = partOfChannel(msg->Channel());
  if (plugState->trackIncomingMIDI.load() && plugHost->hasGraphics() && lit >= 0 &&
      !plugState->activityLit[lit].load())
    lightActivity(lit);
  // The notes-off a job sent silenced its own part only: what ends a host's note goes in any case.
  if (block >= 0 && silences(*msg)) routeOut(msg);
  else if (block >= 0) MIDIOutRoutingSwitch(msg);
}

bool MIDIMessageManager::takeBankSelect(const IMidiMsg* msg, int part) {
  // The device announces its bank select with CC 0 = 0; the CC 32 that follows names the bank
  // (0x40 + n: sound bank n of the part, A = 0; 0x60 and up: the multi banks). Both are
  // swallowed, and a sound bank becomes the part's: the program change after it selects there.
  if (msg->mData1 == 0 && msg->mData2 == 0) {
    bankSelectPending = true;
    return true;
  }
  if (msg->mData1 != 32 || !bankSelectPending.exchange(false)) return false;
  if (msg->mData2 < 0x40) return false;
  double lo = 0.0, hi = 0.0;
  const int bank = msg->mData2 - 0x40;
  if (validPart(part) && plugHost->value(kPartLock + part) != 1.0 &&
      plugHost->paramRange(kMultiPartBank + part, &lo, &hi) && bank >= lo && bank <= hi) {
    plugState->partBank[part] = bank;
    plugHost->setFromDevice(kMultiPartBank + part, bank);
    plugHost->setFromDevice(kCurrentBank + part, bank);
  }
  return true;
}

void MIDIMessageManager::getLegacyCCparam(int ccNumber, int channel, int value, bool refreshTab, bool fromDevice) {
  IControl* c = plugHost->findCCControl(channel, ccNumber, 0);
  if (c) {
    // The host's controller is an edit like the user's: its value moves the filter-link partner.
    const SynthOrigin origin(fromDevice);
    const int p = plugHost->controlParam(c);
    double lo = 0.0, hi = 0.0;
    plugHost->paramRange(p, &lo, &hi);
    double range = hi - lo;
    // The oscillator octaves (27, 35, 42) and semitones (28, 36, 43) hold the byte on the wire in
    // this interface, so their controllers need no scaling: the value is the parameter's, as for
    // every other controller, placed in the parameter's own range. The shapes and filter types
    // switch the shown page.
    const int v = value;
    switch (ccNumber) {
      case 31: case 39: case 46: case 76: case 79: refreshTab = true; break;
      default: break;
    }
    const int routingPart = partIn(p, kFilterRoutingParallel);
    if (fromDevice && routingPart >= 0) {
      plugHost->setFromDevice(kFilterRoutingSerial + routingPart, v != 0 ? 1.0 : 0.0);
      plugHost->setFromDevice(kFilterRoutingParallel + routingPart, v != 0 ? 0.0 : 1.0);
      plugHost->onParamChange(kFilterRoutingSerial + routingPart);
    } else if (range != 0.0) {
      // A parameter without a range leaves its control as it is (no division by zero).
      plugHost->setControlFromHardware(c, std::clamp((v - lo) / range, 0.0, 1.0));
    }
    if (refreshTab) plugHost->onParamChange2(kQuickTab);
  } else if (ccNumber == 32 && value >= 64 && value <= 66 && channel >= 1 && channel <= 16) {
    const int bank = value - 64, part = channel - 1;
    plugState->partBank[part] = bank;
    plugHost->setFromDevice(kMultiPartBank + part, bank);
    plugHost->setFromDevice(kCurrentBank + part, bank);
  }
}

void MIDIMessageManager::takeProgramFromSynth(int channelPart, int program) {
  // A channel no part listens on selects for part 1 (and is not remembered as its program).
  const int part = validPart(channelPart) ? channelPart : 0;
  if (validPart(channelPart)) plugState->partProgram[part] = program;
  if (plugHost->value(kPartLock + part) == 1.0) return;
  lastProgramChangeTime = GetTickCount();
  if (plugState->librarianProgramMode.load()) {
    plugHost->setLibrarianProgram(program);
    SetLibrarianRequestActive(false);
    partProgramChanged(part);
    sendPatchToDeviceFromLibrarian(program, plugHost->librarianViewActiveList(), part, true);
    return;
  }
  if (plugHost->value(kGlobalRxProgramChange) <= 0.0) return;
  program = std::min(program, 100);
  SetLibrarianRequestActive(false);
  plugHost->setFromDevice(kMultiPartPatch + part, program);
  partProgramChanged(part);
  if (plugState->requestAfterProgramChange.load()) fetchPartAfterProgramChange(part);
  plugHost->setLibrarianProgram(program);
}

void MidiEngineHost::setProgramFromHost(int part, int program) { setFromDevice(kMultiPartPatch + part, program); }

// From the host: its program change selects the part's program on the synth.
bool MIDIMessageManager::MakeProgramChangeMessages(int part, const IMidiMsg* msg) {
  if (!validPart(part) || plugHost->value(kPartLock + part) == 1.0) return false;
  lastProgramChangeTime = GetTickCount();
  int program = msg->mData1;
  if (plugState->librarianProgramMode.load()) {
    plugHost->setLibrarianProgram(program);
    // Not into an output that does not carry: the entry goes once it carries again.
    if (plugHost->holdProgramForSynth(part, program)) return true;
    SetLibrarianRequestActive(false);
    sendPatchToDeviceFromLibrarian(program, plugHost->librarianViewActiveList(), part);
    return false;
  }
  if (plugHost->value(kGlobalRxProgramChange) > 0.0) {
    program = std::min(program, 100);
    SetLibrarianRequestActive(false);
    plugHost->setProgramFromHost(part, program);
    // All notes off, the bank select and the program change go in one job, the part's fetch after
    // them; the host's own program change is not passed on before them. The caller, the render
    // thread, never waits: a start refused now is made from a later block.
    JobRecord r;
    const bool taken = bankChangeJob(part, &r);
    if (taken) {
      r.hostProgram = true;
      r.requestFlag = plugState->requestAfterProgramChange.load();
      startHostProgram(r);
    } else {
      AllSoundsOff(part, false);
    }
    plugHost->setLibrarianProgram(program);
    return taken;
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
// Effect slots

namespace {
void setSlotFromType(MidiEngineHost* host, int effect, int paramIdx, int value) {
  int part = -1;
  const ParamNameEntry* e = findParamByNumber(paramIdx, &part);
  if (e == nullptr || e->blockSize != kNumParts || part < 0) return;
  const dump::EffectSlot* slot = dump::effectSlotForTypeParam(effect, e->number);
  if (slot == nullptr) return;
  double lo = 0.0, hi = 0.0;
  double v = value;
  if (host->paramRange(slot->slotParam + part, &lo, &hi)) v = std::clamp(v, lo, std::max(lo, hi));
  host->setParamSilently(slot->slotParam + part, v);
}
}  // namespace

void MIDIMessageManager::SetFX1ParameterChangesToDefaultParameters(int paramIdx, int value) {
  setSlotFromType(plugHost, 1, paramIdx, value);
}
void MIDIMessageManager::SetFX2ParameterChangesToDefaultParameters(int paramIdx, int value) {
  setSlotFromType(plugHost, 2, paramIdx, value);
}

// ---------------------------------------------------------------------------------------------
// The plug-in's MIDI operations

void MIDIMessageManager::lightActivity(int part) {
  if (!validPart(part)) return;
  plugHost->setFromDevice(kMIDILed + part, 1.0);
  plugState->activityLit[part] = 1;
  plugState->activityTime[part] = GetTickCount();
}

int MIDIMessageManager::partChannel(int part) const {
  if (!validPart(part)) return -1;
  const int v = toInt(plugHost->value(kMultiPartMIDICh + part));
  const int ch = v == 0 ? toInt(plugHost->value(kGlobalMidiChannel)) - 1 : v - 2;
  return (ch >= 0 && ch <= 15) ? ch : -1;
}

int MIDIMessageManager::partOfChannel(int channel) const {
  for (int p = 0; p < kNumParts; ++p)
    if (toInt(plugHost->value(kMultiPartMIDICh + p)) - 2 == channel) return p;
  return -1;
}

void MIDIMessageManager::sendMidiMsgAndLog(const IMidiMsg* msg) {
  if (!plugState->midiIOSet.load()) {
    plugHost->setStatusText("Set MIDI I/O First!");
    return;
  }
  if (!plugState->trackIncomingMIDI.load() && plugHost->hasGraphics()) {
    const int p = partOfChannel(msg->Channel());
    if (p >= 0 && !plugState->activityLit[p].load()) lightActivity(p);
  }
  plugHost->sendMidiMsg(*msg);
  plugHost->printOutgoing(sysex::outgoingShortLine(msg->mStatus, msg->mData1, msg->mData2));
}

void MIDIMessageManager::checksumCheckAndSend(uint8_t* data, int length) {
  if (!plugState->midiIOSet.load()) {
    plugHost->setStatusText("Set MIDI I/O First!");
    return;
  }
  if (data == nullptr || length <= 0) return;
  sysex::applyChecksum(data, length);
  plugHost->sendSysex(data, length);
  plugHost->printOutgoing(sysex::outgoingLine(data, length));
}

void MIDIMessageManager::sendSysexMessage(const std::vector<int>& message) {
  if (plugHost->value(kDeviceOutSelection) == 0.0) {
    plugHost->setStatusText("Set MIDI I/O First!");
    return;
  }
  if (message.empty()) return;
  std::vector<uint8_t> bytes;
  bytes.reserve(message.size());
  for (int v : message) bytes.push_back(static_cast<uint8_t>(v & 0xFF));
  plugHost->sendSysex(bytes.data(), static_cast<int>(bytes.size()));
  plugHost->printOutgoing(sysex::outgoingLine(bytes.data(), static_cast<int>(bytes.size())));
}

void MIDIMessageManager::routeNotesOff(int channel) {
  const IMidiMsg m = controlChange(IMidiMsg::kAllNotesOff, 0, channel);
  MIDIOutRoutingSwitch(&m);
}

void MIDIMessageManager::MIDIOutRoutingSwitch(const IMidiMsg* msg) {
  if (plugState->transferRunning.load() && plugState->notesOffSent.load()) return;
  routeOut(msg);
}

void MIDIMessageManager::routeOut(const IMidiMsg* msg) {
  if (plugState->routeViaQueue.load()) {
    plugHost->queueMidiMsg(*msg);
  } else {
    sendMidiMsgAndLog(msg);
  }
}

void MIDIMessageManager::AllSoundsOff(int part, bool allParts) {
  if (!plugState->midiIOSet.load()) return;
  for (int p = 0; p < kNumParts; ++p) {
    if (allParts ? toInt(plugHost->value(kMultiPartStatus + p)) == 0 : p != part) continue;
    // A part whose channel setting names no channel sends nothing (never a bad status byte).
    const int ch = partChannel(p);
    if (ch >= 0) routeNotesOff(ch);
  }
  plugState->notesOffSent = true;
}

void MIDIMessageManager::ProcessMidiMsg(const IMidiMsg* msg, bool fromDevice) {
  if (msg == nullptr) return;
  if (fromDevice) {
    // What the synth says is never lost to a transfer: held while one holds input back, else
    // applied now (a controller or program change during a fetch reaches the screen at once).
    const uint8_t bytes[3] = {msg->mStatus, msg->mData1, msg->mData2};
    if (!holdFromDevice(bytes, 3)) takeFromDevice(bytes, 3);
    return;
  }
  // The host's notes wait for a job to end; not what ends something (a note, pedal or bend held
  // over the job would hang: silences), nor a program change with the bank select before it, which
  // go behind the job (its notes off, bank select, program change and fetch:
  // MakeProgramChangeMessages; the part's last one replaces those still waiting).
  if ((plugState->transferRunning.load() || plugState->bulkSendActive.load()) && !silences(*msg) &&
      !isBankSelect(*msg) && msg->StatusMsg() != IMidiMsg::kProgramChange)
    return;
  if (msg->StatusMsg() == 0) return;
  if (msg->Channel() == toInt(plugHost->value(kGlobalMidiChannel)) - 1) return;
  const int part = partOfChannel(msg->Channel());
  ProcessMidiMsgFromDAW(msg, part >= 0 ? part : 0);
}

void MIDIMessageManager::ProcessSysExFromPlug(const ISysEx* sysex, bool fromDevice) {
  if (sysex == nullptr || (fromDevice ? plugState->deviceBlockFlags : plugState->hostBlockFlags)[6].load()) return;
  // Asked for by the send running now, whose modes hold every other input back.
  if (fromDevice && sysex->mData && takeAskedGlobal(sysex->mData, sysex->mSize)) return;
  // The synth's short messages wait for a transfer that holds input back; a dump meanwhile is
  // nothing the transfer asked for.
  if (fromDevice && sysex->mData && sysex->mSize > 0 && sysex->mSize < 60 && holdFromDevice(sysex->mData, sysex->mSize))
    return;
  if (holdsInput()) return;
  // What the synth said before this dump goes in before it, not over it from the dump thread.
  if (fromDevice && !onDumpThread()) releaseHeldInput(SIZE_MAX);
  takeSysEx(sysex, fromDevice);
}

void MIDIMessageManager::takeOwnDump(const ISysEx* sysex) {
  handingOwnDump = true;
  ProcessSysExFromPlug(sysex, true);
  handingOwnDump = false;
}

void MIDIMessageManager::takeSysEx(const ISysEx* sysex, bool fromDevice) {
  const uint8_t* d = sysex->mData;
  if (d != nullptr && plugState->trackIncomingMIDI.load() && plugHost->hasGraphics() && sysex->mSize >= 9 &&
      sysex->mSize <= 13 && d[1] == sysex::kManufacturer && d[2] == sysex::kModel && d[5] < kNumParts &&
      !plugState->activityLit[d[5]].load())
    lightActivity(d[5]);
  ProcessSysEx(sysex, fromDevice);
  plugHost->markMiniMixerDirty();
  if (parseComplete.load()) plugState->replyReceived = true;
}

void MIDIMessageManager::takeFromDevice(const uint8_t* data, int size) {
  if (data[0] == sysex::kStart) {
    ISysEx sx(0, data, size);
    takeSysEx(&sx, true);
    return;
  }
  IMidiMsg msg(0, data[0], size > 1 ? data[1] : 0, size > 2 ? data[2] : 0);
  if (plugState->masterKeyboard.load() || msg.StatusMsg() == 0) return;
  // The global channel carries the synth's multi-wide messages; a part that listens there still
  // reports its own knobs on it (and a push puts them back as they are on screen).
  const bool partsController = msg.StatusMsg() == IMidiMsg::kControlChange && partOfChannel(msg.Channel()) >= 0;
  if (msg.Channel() == toInt(plugHost->value(kGlobalMidiChannel)) - 1 && !partsController) return;
  ProcessMidiMsgFromDevice(&msg);
}

bool MIDIMessageManager::isRefresh(const uint8_t* m, size_t size) { return HeldInput::isRefresh(m, size); }

int MIDIMessageManager::programPartOf(const uint8_t* d, int size) const {
  if (size == 3 && (d[0] & 0xF0) == 0xC0) return partOfChannel(d[0] & 0x0F);
  if (size != 9 || d[0] != sysex::kStart || d[4] != sysex::kMultiParamChange) return -1;
  const int index = d[5] * 128 + d[6] - 32;
  return index >= 0 && index < 22 * kNumParts && index % 22 <= 1 ? index / 22 : -1;
}

uint32_t MIDIMessageManager::heldTargets(const uint8_t* d, int size) const {
  auto part = [](int p) { return validPart(p) ? 1u << p : 0u; };
  const uint32_t multi = 1u << HeldInput::kMulti;
  // A part's program is in the multi too: a multi dump after it selects the editor's program again.
  if (const int k = programPartOf(d, size); k >= 0) return part(k) | multi;
  if (!isRefresh(d, static_cast<size_t>(size))) return 0;
  if (size == 3) return part(partOfChannel(d[0] & 0x0F));
  if (size == 10) return part(d[5]);
  return d[4] == sysex::kGlobalParamChange ? 1u << HeldInput::kGlobal : multi;
}

void MIDIMessageManager::putBack(const std::vector<uint8_t>& m) {
  const int size = static_cast<int>(m.size());
  PutBack w;
  w.message = m;
  w.targets = heldTargets(m.data(), size);
  if (const int part = programPartOf(m.data(), size); part >= 0) {
    const int channel = partChannel(part);
    if (channel < 0) return;
    // The held bank select (or the multi's bank of the part) went in before the program.
    const bool bankMessage = size == 9 && (m[5] * 128 + m[6] - 32) % 22 == 0;
    const int bank = bankMessage ? m[7] : toInt(plugHost->value(kMultiPartBank + part));
    const int program = size == 3 ? m[1] : bankMessage ? plugState->partProgram[part].load() : m[7];
    w.part = part, w.channel = channel;
    w.bankSelect = std::clamp(0x40 + bank, 0, 127), w.program = std::clamp(program, 0, 127);
    heldInput.dumpDue(part, true);
  } else {
    w.param = paramOfSynthChange(m.data(), size);
  }
  bool start = false;
  {
    std::lock_guard<std::mutex> g(putBackLock);
    putBacks.push_back(std::move(w));
    putBackPending = true;
    // Between two jobs the dump thread sends them itself, right after the slice it releases.
    start = !putBackQueued && !onDumpThread();
    putBackQueued = putBackQueued || start;
  }
  if (!start) return;
  JobRecord r;
  r.code = MIDIMessageSender::kPutBackJob;
  bool started = false;
  {
    std::lock_guard<std::mutex> g(startLock);
    started = startLocked(r, {}, true, nullptr, true);
  }
  if (!started) {
    std::vector<PutBack> dropped;
    takePutBacks(&dropped);
    for (const PutBack& d : dropped)
      if (d.part >= 0) heldInput.dumpDue(d.part, false);
    std::lock_guard<std::mutex> g(putBackLock);
    putBackQueued = false;
  }
}

void MIDIMessageManager::dropMootPutBacks(const uint8_t* d, int size, int param) {
  if (!putBackPending.load()) return;
  const int part = programPartOf(d, size);
  if (part < 0 && param < 0) return;
  std::lock_guard<std::mutex> g(putBackLock);
  putBacks.erase(std::remove_if(putBacks.begin(), putBacks.end(),
                                [&](const PutBack& w) {
                                  const bool moot = part >= 0 ? (w.targets >> part & 1u) && (w.part == part || w.part < 0)
                                                              : w.part < 0 && w.param == param;
                                  if (moot && w.part >= 0) heldInput.dumpDue(w.part, false);
                                  return moot;
                                }),
                 putBacks.end());
  putBackPending = !putBacks.empty();
}

bool MIDIMessageManager::takePutBacks(std::vector<PutBack>* words) {
  words->clear();
  std::lock_guard<std::mutex> g(putBackLock);
  words->swap(putBacks);
  putBackPending = false;
  if (words->empty()) putBackQueued = false;
  return !words->empty();
}

bool MIDIMessageManager::holdFromDevice(const uint8_t* data, int size) {
  const int param = isRefresh(data, static_cast<size_t>(size)) ? paramOfSynthChange(data, size) : -1;
  dropMootPutBacks(data, size, param);
  if (!heldInput.hold(data, static_cast<size_t>(size), holdsInput(), heldTargets(data, size), param)) return false;
  // Held with no transfer holding (flags that came down, or input held before that waits):
  // applied here and now, behind what was held before.
  if (!holdsInput()) releaseHeldInput(SIZE_MAX);
  return true;
}

void MIDIMessageManager::releaseHeldInput(size_t limit) {
  heldInput.release(limit, [this] { return holdsInput() || senderObj->stopping.load(); },
                    [this](const std::vector<uint8_t>& m, bool resend) {
                      // A dump sent after this message came put the synth's old value (or sound)
                      // back: the synth's word goes to it again, before the fetch its apply asks for.
                      if (resend && plugState->midiIOSet.load()) putBack(m);
                      takeFromDevice(m.data(), static_cast<int>(m.size()));
                    });
}

void MIDIMessageManager::DisplayProcessingIndicator(bool show) {
  if (show) {
    plugState->transferRunning = true;
    plugHost->showProgress(true);
    return;
  }
  plugState->transferRunning = false;
  plugState->transferInProgress = false;
  plugState->bulkSendActive = false;
  plugHost->showProgress(false);
  plugState->notesOffSent = false;
}

void MIDIMessageManager::SetLibrarianRequestActive(bool active) {
  const bool job = onDumpThread();
  if (!active && !job && jobBusy[static_cast<int>(WorkerThread::kDump)].load()) return;
  spoiltReply = false;
  if (active) {
    if (plugHost->multiMode()) {
      patchRequest.armed = false;
      performanceRequest.clearAndArm();
    } else {
      performanceRequest.armed = false;
      patchRequest.clearAndArm();
    }
  } else {
    performanceRequest.armed = false;
    patchRequest.armed = false;
  }
  plugState->replyReceived = false;
  parseComplete = false;
  // A job's own capture starts its wait for the answer to what it asks next.
  if (job && active) reply.arm();
}

void MIDIMessageManager::SetLibrarianStatusUnsaved(bool unsaved) {
  if (!unsaved) return;
  performanceRequest.armed = false;
  patchRequest.armed = false;
  // A transfer whose data no bank took (none selected, a dump of the other kind) changed
  // nothing: nothing to save, and nothing arrived.
  if (slotsStored.exchange(0) == 0) return;
  plugHost->setParamSilently(kBankEditUnsaved, 1.0);
  plugHost->setParamSilently(kDiscardBankData, 0.0);
  plugHost->showLibrarianUnsaved();
  plugHost->setStatusText("Data received to slot(s)");
}

bool MIDIMessageManager::CheckBankConflict(int part) {
  if (!validPart(part)) return false;
  const int bank = toInt(plugHost->value(kMultiPartBank + part));
  const int program = toInt(plugHost->value(kMultiPartPatch + part));
  for (int c = 0; c < kNumParts; ++c) {
    if (c == part || plugHost->value(kMultiPartStatus + c) != 1.0) continue;
    if (plugState->partBank[c].load() == bank && plugState->partProgram[c].load() == program) return true;
  }
  return false;
}

bool MIDIMessageManager::bankChangeJob(int part, JobRecord* r) {
  int bankSelect = 0, program = 0, channel = -1;
  if (plugHost->multiMode()) {
    bankSelect = 0x60 + toInt(plugHost->value(kMultiBank));
    program = toInt(plugHost->value(kMultiPatch));
    channel = toInt(plugHost->value(kGlobalMidiChannel)) - 1;
  } else {
    if (!validPart(part)) return false;
    const int bank = toInt(plugHost->value(kMultiPartBank + part));
    program = toInt(plugHost->value(kMultiPartPatch + part));
    bankSelect = 0x40 + bank;
    channel = partChannel(part);
    if (!plugState->sendAllParts.load() && CheckBankConflict(part)) {
      plugState->partBank[part] = bank;
      plugState->partProgram[part] = program;
      plugHost->showLayer("bankPatchConflictWindow", true);
      return false;
    }
    plugState->partBank[part] = bank;
    plugState->partProgram[part] = program;
  }
  if (channel < 0 || channel > 15) return false;
  plugState->bankChangeProgram = program;
  r->code = MIDIMessageSender::kBankAndProgramChangeJob;
  r->part = part;
  r->first = channel;
  r->second = std::clamp(bankSelect, 0, 127);
  r->third = std::clamp(program, 0, 127);
  return true;
}

bool MIDIMessageManager::BankChangeMessage(int part) {
  JobRecord r;
  if (!bankChangeJob(part, &r)) return false;
  if (!plugHost->multiMode()) partProgramChanged(part);
  // The messages and the synth's pauses between them go out on the dump thread, in order with
  // the jobs before and after them (the part's fetch follows): the caller, the main thread for a
  // program step, never sleeps. A job that selects a program sends them in its own course.
  if (onDumpThread()) {
    senderObj->sendBankAndProgramChange(r.first, r.second, r.third);
    return true;
  }
  return startJob(r);
}

bool MIDIMessageManager::startHostProgram(const JobRecord& r) {
  if (startJobWithoutWaiting(r)) return true;
  hostProgramDue[r.part & 15] = 1u << 31 | uint32_t(r.requestFlag) << 30 | uint32_t(r.first) << 16 |
                                uint32_t(r.second) << 8 | uint32_t(r.third);
  return false;
}

void MIDIMessageManager::startDueHostPrograms() {
  for (int part = 0; part < kNumParts; ++part) {
    uint32_t due = hostProgramDue[part].load();
    if (due == 0) continue;
    JobRecord r;
    r.code = MIDIMessageSender::kBankAndProgramChangeJob;
    r.hostProgram = true;
    r.part = part;
    r.requestFlag = due >> 30 & 1u;
    r.first = due >> 16 & 15, r.second = due >> 8 & 127, r.third = due & 127;
    // A newer one that came meanwhile stays due.
    if (startJobWithoutWaiting(r)) hostProgramDue[part].compare_exchange_strong(due, 0);
  }
}

void MIDIMessageManager::sendPatchToDevice(int part, bool bulk, bool allParts, bool withGlobal, bool sendMulti) {
  // The send modes go up as each job starts: queued behind another, it must not change that
  // one's modes (or hold input back) meanwhile.
  auto modes = [this, bulk, allParts, withGlobal] {
    plugState->bulkSendActive = bulk;
    plugState->sendAllParts = allParts;
    plugState->sendGlobalWithMulti = withGlobal;
    partSendBusy = true;
  };
  JobRecord r;
  r.code = 2;
  r.part = std::clamp(part, 0, kNumParts - 1);
  startJob(r, modes);
  if (sendMulti) {
    JobRecord m;
    m.code = 0;
    startJob(m, modes);
  }
}

void MIDIMessageManager::sendPartDataBackToHardware(int part) {
  if (!validPart(part)) return;
  bool anyLock = false;
  for (int i = 0; i < 40 && !anyLock; ++i) anyLock = plugHost->value(kSectionLockOsc1 + 16 * i + part) == 1.0;
  if (!anyLock) return;
  JobRecord r;
  r.code = 2;
  r.part = part;
  // After the part's fetch, with the sound it brought in; without it (cancelled before its
  // answer, failed, replaced) the editor's old sound would go over the program the synth has
  // just loaded. Queued behind the fetch: nothing here waits.
  r.belongsTo = latestFetch[part].load();
  if (sendBackDue(part, r.belongsTo)) startJob(r, [this] { partSendBusy = true; });
}

void MIDIMessageManager::partProgramChanged(int part) {
  if (!validPart(part)) return;
  std::lock_guard<std::mutex> g(partSoundLock);
  programChangedAt[part] = jobs.lastId();
}

void MIDIMessageManager::sendPatchToDeviceFromLibrarian(int slot, int list, int part, bool selectedBySynth) {
  if (!validPart(part)) return;
  const int cur = std::clamp(plugHost->currentPart(), 0, kNumParts - 1);
  if (plugHost->value(kPartLock + cur) == 1.0) return;
  PatchLibrarian* lib = plugHost->librarian();
  if (lib == nullptr) return;
  LibrarianPatch entry;
  {
    UTIL_MutexLock lock(&lib->bankLock());
    // The lower grid's bank by the grid's own rule, so the entry sent is the one shown.
    PatchFile* file = list == 0 ? lib->selectedUpperBank()
                                : lib->selectedLowerBank(plugHost->librarianShowsCategory(),
                                                         plugHost->librarianShowsSearch());
    if (file == nullptr) return;
    if (file->entries.size() < 100) file->entries.resize(100);
    // A program above 99 names no entry of a bank.
    if (slot < 0 || slot > 99) return;
    entry = file->entries[static_cast<size_t>(slot)];
  }
  if (entry.messages.empty()) return;
  plugHost->setLibrarianViewSecondSlot(slot);
  if (!plugState->midiIOSet.load()) return;
  if (!librarianSlotTarget.load()) {
    const int ch = partChannel(part);
    if (ch >= 0) routeNotesOff(ch);
    plugState->notesOffSent = true;
  }
  JobRecord r;
  r.code = 3;
  r.entry = std::move(entry);
  r.part = part;
  r.slot = slot;
  r.selectedBySynth = selectedBySynth;
  startJob(r, [this] { partSendBusy = true; });
}

void MIDIMessageManager::sendSinglePatchRequestSysexFromLibrarian(bool editBuffer, int bank) {
  JobRecord r;
  r.code = 9;
  r.editBuffer = editBuffer;
  r.bank = bank;
  // Armed only with a job that starts: armed beside a running one, the capture would take its dumps.
  startUserJob(r, [this] {
    patchRequest.clearAndArm();
    parseComplete = false;
  });
}

void MIDIMessageManager::sendAllPatchRequestSysexFromLibrarian(int bank) {
  JobRecord r;
  r.code = 10;
  r.bank = bank;
  startUserJob(r, [this] {
    patchRequest.clearAndArm();
    parseComplete = false;
  });
}

void MIDIMessageManager::sendSysExInitialization(bool afterRunningJob) {
  if (!afterRunningJob) {
    if (startHandshake(false)) Sleep(100);
    return;
  }
  plugState->adoptDeviceId = true;
  if (!plugState->midiIOSet.load()) return;
  JobRecord r;
  r.code = 13;
  startJob(r, [this] { parseComplete = false; });
}

bool MIDIMessageManager::startHandshake(bool withoutWaiting) {
  plugState->adoptDeviceId = true;
  if (!plugState->midiIOSet.load() || plugState->transferInProgress.load()) return false;
  JobRecord r;
  r.code = 13;
  auto before = [this] { parseComplete = false; };
  return withoutWaiting ? startJobWithoutWaiting(r, before) : startJob(r, before);
}

void MIDIMessageManager::changeDeviceId(int from, int to) {
  const std::vector<uint8_t> m = sysex::deviceIdChange(from, to);
  plugHost->sendSysex(m.data(), static_cast<int>(m.size()));
  plugHost->printOutgoing(sysex::outgoingLine(m.data(), static_cast<int>(m.size())));
  if (from == to) return;
  plugState->deviceId = to;
  plugState->adoptDeviceId = true;
  JobRecord r;
  r.code = 13;
  r.idChangedFrom = from;
  r.idChangedTo = to;
  startJob(r, [this] { parseComplete = false; });
}

bool MIDIMessageManager::requestPartToEditor(int part, bool withoutWaiting, bool next) {
  JobRecord r;
  r.code = 6;
  r.part = std::clamp(part, 0, kNumParts - 1);
  // Without an output the request could only time out, behind the progress overlay.
  if (!plugState->midiIOSet.load()) return false;
  r.requestFlag = true;
  uint64_t id = 0;
  bool accepted = false;
  if (next) {
    std::lock_guard<std::mutex> g(startLock);
    accepted = startLocked(r, {}, true, &id, true);
  } else {
    accepted = withoutWaiting ? startJobWithoutWaiting(r, {}, &id) : startJob(r, {}, &id);
  }
  if (accepted) latestFetch[r.part] = id;
  return accepted;
}

bool MIDIMessageManager::fetchPartAfterProgramChange(int part, bool next) {
  if (!requestPartToEditor(part, false, next)) return false;
  sendPartDataBackToHardware(part);
  return true;
}

void MIDIMessageManager::awaitDumpForEditor(int command, int part) {
  spoiltReply = false;
  performanceRequest.armed = false;
  patchRequest.armed = false;
  plugState->replyReceived = false;
  parseComplete = false;
  reply.arm(command, part, true);
}

void MIDIMessageManager::keepEdits(const std::vector<int>& params) {
  synthImage.keepEdits(params, *plugHost);
  std::lock_guard<std::mutex> g(heldEditsLock);
  if (!awaitingDump()) return;
  for (int p : params) {
    heldChanges.erase(std::remove_if(heldChanges.begin(), heldChanges.end(),
                                     [p](const HeldChange& c) { return c.synth.empty() && c.param == p; }),
                      heldChanges.end());
    heldChanges.push_back({p, plugHost->value(p), {}});
  }
}

void MIDIMessageManager::keepSynthChange(const uint8_t* data, int size) {
  // A part's bank or program in the multi is not a value to put back: it started its own fetch.
  if (size == 9 && !isRefresh(data, 9)) return;
  const int param = paramOfSynthChange(data, size);
  std::lock_guard<std::mutex> g(heldEditsLock);
  if (!awaitingDump()) return;
  // The synth's move is the later one: an edit of the same parameter before it must not go back
  // over it.
  if (param >= 0)
    heldChanges.erase(std::remove_if(heldChanges.begin(), heldChanges.end(),
                                     [param](const HeldChange& c) { return c.synth.empty() && c.param == param; }),
                      heldChanges.end());
  heldChanges.push_back({-1, 0.0, std::vector<uint8_t>(data, data + size)});
}

int MIDIMessageManager::paramOfSynthChange(const uint8_t* d, int size) {
  IControl* c = nullptr;
  if (size == 3) {
    c = plugHost->findCCControl((d[0] & 0x0F) + 1, d[1], 0);
  } else if (size == 10) {
    c = plugHost->findSysexControl(d[4], d[5], d[6], d[7], 0);
  } else if (size == 9) {
    c = plugHost->findPartlessSysexControl(d[3], d[4], d[5], d[6], 0);
    if (c == nullptr) c = plugHost->findPartlessSysexControl(d[3], d[4], d[5], d[6], 1);
  }
  return c ? plugHost->controlParam(c) : -1;
}

void MIDIMessageManager::reapplySynthChange(const std::vector<uint8_t>& m) {
  if (m.size() == 3) {
    getLegacyCCparam(m[1], (m[0] & 0x0F) + 1, m[2], false, true);
  } else {
    lookUpShort(m.data(), static_cast<int>(m.size()));
    synthImage.keepChange(m.data(), static_cast<int>(m.size()), *plugHost);
  }
}

void MIDIMessageManager::reapplyHeldEdits() {
  std::vector<HeldChange> held;
  {
    std::lock_guard<std::mutex> g(heldEditsLock);
    held.swap(heldChanges);
  }
  // In the order they came. An edit only where the answer overwrote it; a later answer is built
  // after the edits and holds them. The synth's own changes again as they came (nothing is sent).
  for (const HeldChange& c : held) {
    if (!c.synth.empty()) {
      reapplySynthChange(c.synth);
    } else if (plugHost->value(c.param) != c.value) {
      plugHost->reapplyEdit(c.param, c.value);
    }
  }
}

void MIDIMessageManager::endRequestWait() {
  std::lock_guard<std::mutex> g(heldEditsLock);
  reply.end(senderObj->cancelRequested.load());
  heldChanges.clear();
}

// ---------------------------------------------------------------------------------------------
// Render thread

void MIDIMessageManager::sendTempo(int value) {
  std::vector<uint8_t> m = sysex::tempoMessage(plugState->deviceId.load(), value);
  plugHost->sendSysex(m.data(), static_cast<int>(m.size()));
  plugHost->printOutgoing(sysex::outgoingLine(m.data(), static_cast<int>(m.size())));
}

void MIDIMessageManager::reset(int blockSize) {
  plugState->notesOffSent = false;
  if (plugState->queueSpan.load() == 0) plugState->queueSpan = blockSize;
  plugState->resetPending = true;
}

void MIDIMessageManager::processBlock(const ITimeInfo& time, int nFrames, double sampleRate, int blockSize) {
  PlugMidiState& s = *plugState;
  // Transport edges start the clock's start and stop jobs.
  bool playing = s.hostTransportRunning.load(), clockStarted = s.clockStarted.load();
  const midiclock::TransportAction edge =
      midiclock::transportEdge(time.mTransportIsRunning, s.routeViaQueue.load(), playing, clockStarted);
  s.hostTransportRunning = playing;
  s.clockStarted = clockStarted;
  if (edge != midiclock::TransportAction::kNone) {
    JobRecord r;
    r.code = edge == midiclock::TransportAction::kStartClock ? 15 : 17;
    startJobWithoutWaiting(r);
  }
  // The continuous clock, once per switch-on.
  if (s.midiIOSet.load() && !s.continuousClockStarted.load()) {
    midiClock.reset(false);
    JobRecord r;
    r.code = 16;
    r.clockArg = 120;
    startJobWithoutWaiting(r);
    s.continuousClockStarted = true;
  }
  // The host's tempo (or the multi's own) to the device when it changes.
  if (s.midiIOSet.load()) {
    const double override = plugHost->value(kOverrideTempo);
    if (override == 1.0) {
      const int tempo = toInt(plugHost->hostTempoNow());
      const int value = sysex::tempoValue(tempo);
      if (value != s.lastTempoSent.load()) {
        s.lastTempoSent = value;
        s.tempoSynced = false;
        plugHost->log("PROCESSOR: Host tempo is out of sync!");
      }
      if (!s.tempoSynced.load()) {
        plugHost->log("PROCESSOR: Host tempo synced to " + std::to_string(tempo) + "BPM");
        plugHost->setFromDevice(kMultiTempo, value);
        sendTempo(value);
        s.tempoSynced = true;
      }
    } else if (override == 0.0) {
      const int value = std::clamp(toInt(plugHost->value(kMultiTempo)), 0, 127);
      if (value != s.lastTempoSent.load()) {
        s.lastTempoSent = value;
        sendTempo(value);
      }
    }
  }
  // Queued host MIDI due in this block.
  const bool viaQueue = s.routeViaQueue.load();
  int span = nFrames;
  if (viaQueue) {
    span = s.queueSpan.load();
    if (span < 1) span = 1;
    if (plugHost->hasGraphics() && sampleRate > 0.0)
      plugHost->setDelayText(std::to_string(static_cast<int>(1000.0 / (sampleRate / span))) + "ms|" +
                             std::to_string(blockSize) + "bfr");
  }
  IMidiMsg m;
  while (plugHost->popDueMidiMsg(span - 1, &m))
    if (viaQueue) sendMidiMsgAndLog(&m);
  if (!time.mTransportIsRunning && s.resetPending.load() && s.midiIOSet.load()) {
    s.resetPending = false;
    AllSoundsOff(0, true);
    for (int p = 0; p < kNumParts; ++p)
      if (s.activityLit[p].load()) {
        plugHost->setFromDevice(kMIDILed + p, 0.0);
        s.activityLit[p] = 0;
      }
  }
  if (plugHost->hasGraphics()) {
    const uint32_t now = GetTickCount();
    for (int p = 0; p < kNumParts; ++p)
      if (s.activityLit[p].load() && now - s.activityTime[p].load() > 100u) {
        plugHost->setFromDevice(kMIDILed + p, 0.0);
        s.activityLit[p] = 0;
      }
  }
  plugHost->flushMidiQueue(span);
  // The one start-up handshake, and a part request that waits for the dump thread. Both stay
  // due while that thread is busy; nothing here waits.
  if (s.constructionDone.load() && s.midiIOSet.load() && s.storedPortsFound.load() && s.handshakePending.load() &&
      startHandshake(true))
    s.handshakePending = false;
  if (s.partRequestPending.load() && requestPartToEditor(plugHost->currentPart(), true)) s.partRequestPending = false;
  startDueHostPrograms();
}
