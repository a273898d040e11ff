#include "MIDIMessageSender.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>

#include "DumpLayout.h"
#include "ParamNames.h"
#include "PatchLibrarian.h"
#include "SysexProtocol.h"
#include "WINX_Time.h"

namespace {

std::string nameOrSetName(const std::string& s) { return s.empty() ? "Set Name" : s; }

}  // namespace

MIDIMessageSender::MIDIMessageSender(MIDIMessageManager* manager)
    : mgr(manager), host(manager->host()), st(manager->state()) {
  for (int i = 0; i < 3; ++i) {
    runners[i].sender = this;
    runners[i].thread = static_cast<WorkerThread>(i);
  }
}

WorkerThread MIDIMessageSender::threadOf(int code) {
  if (code == 15 || code == 17) return WorkerThread::kClock;
  if (code == 16) return WorkerThread::kContinuousClock;
  return WorkerThread::kDump;
}

void MIDIMessageSender::run(WorkerThread thread) {
  const JobRecord& r = records[static_cast<int>(thread)];
  if (thread == WorkerThread::kDump) moveText.clear();
  try {
    switch (r.code) {
      case 0: {
        const unsigned opens = host->portOpens();
        if (r.appliesHeldProject) host->applyHeldProject();
        // A project's global settings never heard from a synth nor edited are the editor's
        // defaults: sent, they would reset the synth's MIDI channel, local control and program
        // change switches.
        if (r.endsProjectPush && !host->globalsKnown()) st->sendGlobalWithMulti = false;
        sendArrangementToDevice(r.toLibrarian, r.requestParts);
        if (r.endsProjectPush) {
          st->sendGlobalWithMulti = false;
          st->sendAllParts = false;
          st->transferInProgress = false;
          if (!host->portsCarry() || host->portOpens() != opens) host->projectPushCut();
          // The push a device check heard the synth for went to it whole.
          else if (r.belongsTo != 0) host->setStatusText(checkMoveText.empty() ? "Plug-in is ready to go!" : checkMoveText);
        }
        break;
      }
      case 1: sendGlobalToDevice(r.globalArg); break;
      case 2: sendPartToDevice(r.part, r.toLibrarian, r.requestParts, r.belongsTo); break;
      case 3: sendPatchToDeviceFromLibrarian(r.entry, r.part, r.slot, r.selectedBySynth); break;
      case 4: storeAllPatchesToDeviceFromLibrarian(r.first, r.second, r.third, r.oneSlot); break;
      case 5: sendActiveArrangementRequestSysex(r.requestFlag, r.onlyParts, r.playingParts); break;
      case 6: sendPartRequestSysex(r.part, r.requestFlag); break;
      case 7: sendSingleMultiRequestSysex(); break;
      case 8: sendAllMultiRequestSysex(); break;
      case 9: sendSinglePatchRequestSysex(r.editBuffer, r.bank); break;
      case 10: sendAllPatchRequestSysex(r.bank); break;
      case 11: initPerformance(r.initFlag); break;
      case 12: initClassicPatch(r.initFlag, r.part); break;
      case 13: sendDeviceIdEnquiry(r.idChangedFrom, r.idChangedTo, r.sessionFollows); break;
      case kBankAndProgramChangeJob:
        if (r.hostProgram && !host->multiMode()) mgr->partProgramChanged(r.part);
        sendBankAndProgramChange(r.first, r.second, r.third);
        if (r.hostProgram && r.requestFlag) mgr->fetchPartAfterProgramChange(r.part, true);
        break;
      case kPutBackJob: putBackSynthWords(); break;
      case 15: startMIDIClockOutput(); break;
      case 16: sendContinuousMIDIClock(r.clockArg); break;
      case 17: stopMIDIClockOutput(); break;
      default: break;
    }
  } catch (const std::exception& e) {
    host->log(std::string("PROCESSOR: MIDI job ") + std::to_string(r.code) + " ended: " + e.what());
  } catch (...) {
    host->log(std::string("PROCESSOR: MIDI job ") + std::to_string(r.code) + " ended by an unknown error");
  }
  if (thread == WorkerThread::kDump) mgr->endRequestWait();
}

void MIDIMessageSender::putBackSynthWords() {
  std::vector<MIDIMessageManager::PutBack> words;
  while (mgr->takePutBacks(&words))
    for (const MIDIMessageManager::PutBack& w : words) {
      const std::vector<uint8_t>& m = w.message;
      if (w.part >= 0) {
        sendBankAndProgramChange(w.channel, w.bankSelect, w.program);
        mgr->heldInput.dumpSent(w.part);
        mgr->heldInput.dumpDue(w.part, false);
      } else if (m[0] == sysex::kStart) {
        host->sendSysex(m.data(), static_cast<int>(m.size()));
        host->printOutgoing(sysex::outgoingLine(m.data(), static_cast<int>(m.size())));
      } else {
        const IMidiMsg cc(0, m[0], m[1], m[2]);
        mgr->sendMidiMsgAndLog(&cc);
      }
    }
}

bool MIDIMessageSender::pause(int ms) {
  if (ms <= 0) ms = 0;
  ms = static_cast<int>(static_cast<long long>(ms) * pauseScalePercent.load() / 100);
  const uint32_t start = GetTickCount();
  for (;;) {
    if (stopping.load()) return false;
    const uint32_t elapsed = GetTickCount() - start;
    if (elapsed >= static_cast<uint32_t>(ms)) return true;
    Sleep(static_cast<int>(std::min<uint32_t>(static_cast<uint32_t>(ms) - elapsed, 20)));
  }
}

void MIDIMessageSender::sendRequest(const std::vector<uint8_t>& request, bool checked) {
  // Armed before it leaves: an answer the instant after is the wait's. Counted as gone first, so
  // that a cancel after it owes its answer.
  mgr->reply.sent(request);
  lastRequest = request;
  lastChecked = checked;
  lateCyclesAtRequest = host->midiLateCycles();
  requestSentAt = GetTickCount();
  std::vector<uint8_t> copy = request;
  if (checked) {
    mgr->checksumCheckAndSend(copy.data(), static_cast<int>(copy.size()));
  } else {
    host->sendSysex(copy.data(), static_cast<int>(copy.size()));
  }
}

void MIDIMessageSender::handToParser(const uint8_t* data, int size) {
  // The parser and the captures take a dump only whole: one built here carries its checksum too.
  std::vector<uint8_t> copy(data, data + size);
  if (!copy.empty() && copy.back() == sysex::kEnd) sysex::applyChecksum(copy.data(), size);
  ISysEx sx(0, copy.data(), size);
  mgr->takeOwnDump(&sx);
}

bool MIDIMessageSender::waitReply(int ms) {
  ms = static_cast<int>(static_cast<long long>(std::max(ms, 0)) * pauseScalePercent.load() / 100);
  for (;;) {
    if (mgr->reply.wait(ms, [this] { return cancelled(); })) return true;
    // An answer in doubt (a cancelled request's may be on its way): the last request once more,
    // to the id that answered, and a whole wait for it.
    const int again = mgr->reply.takeAskAgain();
    if (again < 0) {
      // The id kept to, asked again, did not answer: the other id's answer is taken as it came.
      std::vector<uint8_t> held = mgr->reply.moveToHeld();
      if (held.empty() || stopping.load()) return false;
      host->log("PROCESSOR: no answer at the device id that answered last: DeviceID " + std::to_string(held[3]) +
                " answered");
      ISysEx sx(0, held.data(), static_cast<int>(held.size()));
      mgr->ProcessSysExFromPlug(&sx, true);
      return mgr->reply.in();
    }
    if (cancelled() || lastRequest.size() < 4) return false;
    host->log("PROCESSOR: an answer in doubt: asked once more at DeviceID " + std::to_string(again));
    std::vector<uint8_t> r = lastRequest;
    r[2] = static_cast<uint8_t>(again);
    sendRequest(r, lastChecked);
    ++askedAgain;
  }
}

bool MIDIMessageSender::runCycle(const RequestSpec& spec) {
  auto send = [this](const std::vector<uint8_t>& r, bool checked) { sendRequest(r, checked); };
  auto replied = [this] { return mgr->reply.in(); };
  const int p = mgr->pacingInterval();
  const uint32_t began = GetTickCount();
  // Why a wait that took longer than its first poll ended: in the log, to tell a slow answer from
  // one that was not taken until the request went again.
  auto slow = [&](int k, const char* how) {
    if (k > 1) host->log(std::string("PROCESSOR: request ") + how + " after " + std::to_string(GetTickCount() - began) + " ms, poll " + std::to_string(k));
  };
  // JACK in its default (asynchronous) mode drops what one client wrote for another that missed
  // the cycle, and tells every client when one ran late: a request or its answer lost so (a busy
  // machine, the first request after the ports opened again) is asked for once more when the
  // answer is overdue after such a notice, rather than after the whole wait. Only once a synth has
  // answered in this run (an id nobody answered yet may simply have no synth behind it), and only
  // once the wait is past the request's own bound and twice the longest answer this synth gave: a
  // synth busy with its panel takes half a second or more for a dump, and asking it twice would be
  // taken for a second request.
  constexpr int kAnswerDuePolls = 3, kMaxAskedAfterLate = 2;
  int askedAtPoll = 0, askedAfterLate = 0;
  const unsigned askedAgainAtStart = askedAgain;
  const uint32_t due = std::max(2 * slowestAnswerMs, static_cast<uint32_t>(spec.lostAfterMs * pauseScalePercent.load() / 100));
  for (int k = 1;; ++k) {
    // Each poll waits one pacing interval at most: it ends the moment the answer is in. Asked once
    // more, the synth is there: the polls start again.
    const unsigned asked = askedAgain;
    waitReply(p);
    if (asked != askedAgain) k = 1, askedAtPoll = 0;
    if (stopping.load()) {
      requestFailed = true;
      return false;
    }
    // A port lost under the request: no answer can come, and a scan would ask every id in vain.
    if (!host->portsCarry() && !replied()) {
      host->setStatusText(MIDIMessageManager::kConnectionLostText);
      host->log(std::string("PROCESSOR: ") + MIDIMessageManager::kConnectionLostText);
      requestFailed = true;
      return false;
    }
    if (!replied() && !cancelled() && k < spec.scanPoll && k - askedAtPoll >= kAnswerDuePolls && mgr->reply.lastAnsweredId() >= 0 &&
        askedAfterLate < kMaxAskedAfterLate && host->midiLateCycles() != lateCyclesAtRequest && lastRequest.size() >= 4 && GetTickCount() - requestSentAt >= due) {
      host->log("PROCESSOR: no answer yet, and JACK ran a client late meanwhile: asked once more");
      sendRequest(lastRequest, lastChecked);
      askedAtPoll = k, ++askedAfterLate;
    }
    // An answer already taken counts, even when a cancel came after it.
    switch (sysex::pollAction(k, spec.scanPoll, replied(), cancelled() && !replied())) {
      case sysex::PollAction::kCancelled: requestFailed = true; return false;
      case sysex::PollAction::kTimedOut: {
        const char* text = mgr->unansweredText(spec.timeoutText);
        host->setStatusText(text);
        host->log(std::string("PROCESSOR: ") + text);
        requestFailed = true;
        return false;
      }
      case sysex::PollAction::kReplied:
        // Asked once only, the time it took is this synth's: the wait for a lost one is set by it.
        if (askedAfterLate == 0 && askedAgain == askedAgainAtStart)
          slowestAnswerMs = std::max(slowestAnswerMs, GetTickCount() - requestSentAt);
        return slow(k, "answered"), true;
      case sysex::PollAction::kWait: break;
      case sysex::PollAction::kScan: {
        slow(k, "unanswered: asked again");
        const int kept = spokenId();
        if (spec.resendInsteadOfScan) {
          for (int n = 0; n < 128 && !replied() && !cancelled(); ++n) {
            mgr->SetLibrarianRequestActive(true);
            send(spec.build(st->deviceId.load()), spec.checked);
            if ((!waitReply(p) && stopping.load()) || !host->portsCarry()) break;
          }
        } else {
          // One answer lost: asked once more at the id the editor speaks to, before every other id
          // is. Another id that answers then is held, and taken only once that id, asked again,
          // stays silent.
          const int again = kept >= 0 ? kept : st->deviceId.load();
          send(spec.build(again), spec.checked);
          bool goOn = (waitReply(p) || !stopping.load()) && host->portsCarry();
          if (kept >= 0) mgr->reply.keepTo(kept);
          for (int d = 0; goOn && !sysex::scanStops(d, replied(), cancelled()); ++d) {
            if (d == again) continue;
            send(spec.build(d), spec.checked);
            // The id as the editor's Device ID menu and the synth number it: 0 to 127.
            if (spec.scanText) host->setStatusText("Please wait, checking DeviceID " + std::to_string(d));
            if ((!waitReply(p) && stopping.load()) || !host->portsCarry()) break;
          }
        }
        if (replied()) {
          if (const int now = mgr->reply.lastAnsweredId(); kept >= 0 && now != kept) {
            moveText = "Dorvik answered at DeviceID " + std::to_string(now) + ", not " + std::to_string(kept) + ": edits go there";
            host->setStatusText(moveText);
            host->log("PROCESSOR: " + moveText);
          }
          return true;
        }
        if (cancelled()) {
          requestFailed = true;
          return false;
        }
        break;
      }
    }
  }
}

int MIDIMessageSender::spokenId() const {
  return mgr->deviceIdRestored.load() ? st->deviceId.load() : mgr->reply.lastAnsweredId();
}


// ---------------------------------------------------------------------------------------------
// Dumps to the device

void MIDIMessageSender::sendPartToDevice(int part, bool toLibrarian, bool, uint64_t sendBackOf) {
  part = std::clamp(part, 0, 15);
  const bool all = st->sendAllParts.load();
  if (!all) mgr->DisplayProcessingIndicator(true);
  std::array<uint8_t, 392> d = dump::buildSoundDump(*host, part, st->deviceId.load(), &mgr->synthImage);
  if (!all) {
    host->setPatchManagerName(1 + part, nameOrSetName(host->text(kPatchName + part)));
    host->setPatchManagerName(19 + part, nameOrSetName(host->text(kCategoryName + part)));
    host->librarianViewDirty();
    if (part == host->currentPart()) {
      host->displayPatchName(host->text(kPatchName + part));
      host->displayCategoryName(host->text(kCategoryName + part));
    }
  }
  if (!toLibrarian) {
    bool sent = false;
    {
      // A send-back goes only while the part still plays the program its fetch heard: a program
      // change that the editor sends waits for this lock, so it reaches the synth after the dump.
      std::lock_guard<std::mutex> g(mgr->partSoundLock);
      if ((sent = sendBackOf == 0 || mgr->sendBackDue(part, sendBackOf))) {
        mgr->checksumCheckAndSend(d.data(), static_cast<int>(d.size()));
        mgr->heldInput.dumpSent(part);
      }
    }
    if (sent) pause(150);
  } else {
    PatchLibrarian* lib = host->librarian();
    d[sysex::kNumberPos] = sysex::dataByte(lib ? lib->selectedSlot.load() : 0);
    d[sysex::kBankPos] = dump::toByte(host->value(kMultiPartBank + part), 0);
    mgr->SetLibrarianRequestActive(true);
    handToParser(d.data(), static_cast<int>(d.size()));
    mgr->SetLibrarianStatusUnsaved(true);
  }
  // During a multi transfer the indicator (and with it bulkSendActive) stays on for the loop.
  if (!all) mgr->DisplayProcessingIndicator(false);
  mgr->partSendBusy = false;
}

void MIDIMessageSender::sendGlobalToDevice(int) {
  mgr->DisplayProcessingIndicator(true);
  const int p = mgr->pacingInterval();
  askForUnheardGlobal(p);
  std::array<uint8_t, 207> d = dump::buildGlobalDump(*host, st->deviceId.load(), &mgr->synthImage);
  mgr->checksumCheckAndSend(d.data(), static_cast<int>(d.size()));
  mgr->heldInput.dumpSent(HeldInput::kGlobal);
  pause(p);
  mgr->DisplayProcessingIndicator(false);
  mgr->partSendBusy = false;
}

void MIDIMessageSender::askForUnheardGlobal(int pacing) {
  const int device = sysex::dataByte(st->deviceId.load());
  if (mgr->synthImage.heard(sysex::kGlobalDump, 0, device)) return;
  st->replyReceived = false;
  mgr->reply.arm(sysex::kGlobalDump);
  mgr->globalAsked = true;
  sendRequest(sysex::globalRequest(device), true);
  // Only the addressed synth would take the dump: no id scan, and a short wait (unanswered, the
  // bytes the editor does not model go out as the template has them). The wait is no pacing: it
  // ends as the answer is in.
  waitReply(10 * pacing);
  mgr->globalAsked = false;
}

void MIDIMessageSender::sendArrangementToDevice(bool toLibrarian, bool requestParts) {
  mgr->DisplayProcessingIndicator(true);
  if (st->sendGlobalWithMulti.load()) {
    sendGlobalToDevice(0);
    mgr->DisplayProcessingIndicator(true);
  }
  std::array<uint8_t, 393> d = dump::buildMultiDump(*host, st->deviceId.load(), &mgr->synthImage);
  if (!toLibrarian) {
    st->bulkSendActive = true;
    mgr->checksumCheckAndSend(d.data(), static_cast<int>(d.size()));
    mgr->heldInput.dumpSent(HeldInput::kMulti);
  } else {
    mgr->SetLibrarianRequestActive(true);
    handToParser(d.data(), static_cast<int>(d.size()));
  }
  host->setPatchManagerName(0, nameOrSetName(host->text(kMultiName)));
  host->librarianViewDirty();
  pause(500);
  st->bulkSendActive = false;
  if (requestParts) {
    for (int part = 0; part < 16 && !stopping.load(); ++part) {
      if (host->value(kMultiPartStatus + part) != 1.0) continue;
      sendPartRequestSysex(part, true);
      // Cancelled, or no answer even to the scan of every id: the other parts would fare alike.
      if (requestFailed.load()) break;
      pause(250);
    }
  } else if (!st->sendAllParts.load()) {
    sendPartToDevice(host->currentPart(), toLibrarian, false);
    mgr->DisplayProcessingIndicator(true);
    pause(300);
  } else {
    st->bulkSendActive = true;
    // A port lost under the push ends it: what is left would go nowhere (the project's push says
    // so when it ends, see run).
    for (int part = 0; part < 16 && !stopping.load() && host->portsCarry(); ++part) {
      if (host->value(kMultiPartStatus + part) != 1.0) continue;
      mgr->partSendBusy = true;
      sendPartToDevice(part, toLibrarian, false);
      mgr->DisplayProcessingIndicator(true);
      pause(400);
    }
  }
  mgr->DisplayProcessingIndicator(false);
  mgr->partSendBusy = false;
}

void MIDIMessageSender::initPerformance(bool onlyFromHardware) {
  mgr->DisplayProcessingIndicator(true);
  std::array<uint8_t, 393> d = dump::initMulti();
  if (onlyFromHardware && !host->hardwareChangeActive()) {
    mgr->DisplayProcessingIndicator(false);
    return;
  }
  mgr->SetLibrarianRequestActive(true);
  handToParser(d.data(), static_cast<int>(d.size()));
  mgr->DisplayProcessingIndicator(false);
}

void MIDIMessageSender::initClassicPatch(bool onlyFromHardware, int part) {
  mgr->DisplayProcessingIndicator(true);
  std::array<uint8_t, 392> d = dump::initSound();
  if (onlyFromHardware && !host->hardwareChangeActive()) {
    mgr->DisplayProcessingIndicator(false);
    return;
  }
  part = std::clamp(part, 0, 15);
  PatchLibrarian* lib = host->librarian();
  d[sysex::kBankPos] = dump::toByte(host->value(kMultiPartBank + part), 0);
  d[sysex::kNumberPos] = sysex::dataByte(lib ? lib->selectedSlot.load() : 0);
  mgr->SetLibrarianRequestActive(true);
  handToParser(d.data(), static_cast<int>(d.size()));
  mgr->DisplayProcessingIndicator(false);
}

void MIDIMessageSender::sendBankAndProgramChange(int channel, int bankSelect, int program) {
  if (st->midiIOSet.load()) mgr->routeNotesOff(channel);
  st->notesOffSent = false;
  IMidiMsg msb, lsb, pc;
  msb.MakeControlChangeMsg(IMidiMsg::kBankSelectMSB, 0.0, channel);
  mgr->sendMidiMsgAndLog(&msb);
  pause(25);
  lsb.MakeControlChangeMsg(IMidiMsg::kBankSelectLSB, bankSelect / 127.0, channel);
  mgr->sendMidiMsgAndLog(&lsb);
  pause(25);
  pc.MakeProgramChangeMsg(program / 127.0, channel);
  mgr->sendMidiMsgAndLog(&pc);
  pause(50);
  st->notesOffSent = true;
  pause(mgr->pacingInterval());
}

// ---------------------------------------------------------------------------------------------
// Librarian transfers and the handshake

void MIDIMessageSender::sendPatchToDeviceFromLibrarian(const LibrarianPatch& entry, int part, int slot,
                                                       bool selectedBySynth) {
  part = std::clamp(part, 0, 15);
  mgr->DisplayProcessingIndicator(true);
  IMidiMsg off;
  off.MakeControlChangeMsg(IMidiMsg::kAllNotesOff, 0.0, 0);
  mgr->sendMidiMsgAndLog(&off);
  pause(50);
  st->replyReceived = false;
  // A stored message too short to carry its header is no dump: the parser would ignore it.
  if (entry.messages.empty() || entry.messages.front().bytes.size() < 8) {
    mgr->DisplayProcessingIndicator(false);
    mgr->librarianSlotTarget = false;
    return;
  }
  std::vector<uint8_t> m = entry.messages.front().bytes;
  m[2] = sysex::kModel;
  m[3] = sysex::dataByte(st->deviceId.load());
  const bool multi = host->multiMode();
  const bool toSlot = mgr->librarianSlotTarget.load();
  if (multi) {
    m[4] = sysex::kMultiDump;
    if (toSlot) {
      m[5] = 0;
      m[6] = sysex::dataByte(slot);
    } else {
      m[5] = sysex::kMultiEditBufferBank;
      m[6] = 0;
      if (m.size() <= 392) {
        m.resize(393, 0);
        m[392] = sysex::kEnd;
        sysex::applyChecksum(m.data(), 393);
      }
    }
  } else {
    m[4] = sysex::kSoundDump;
    if (toSlot) {
      m[5] = dump::toByte(host->value(kMultiPartBank + part), 0);
      m[6] = sysex::dataByte(slot);
    } else {
      m[5] = sysex::kPartEditBufferBank;
      m[6] = static_cast<uint8_t>(part);
      if (m.size() <= 391) {
        m.resize(392, 0);
        m[391] = sysex::kEnd;
        sysex::applyChecksum(m.data(), 392);
      }
    }
  }
  // The header was rewritten above, and the parser takes only dumps whose checksum holds.
  if (m.size() >= static_cast<size_t>(sysex::kChecksumMinLength) && m.back() == sysex::kEnd)
    sysex::applyChecksum(m.data(), static_cast<int>(m.size()));
  // The entry is this job's own answer: the editor takes it as the dump of its wait.
  mgr->reply.arm(m[4], -1, true);
  st->replyReceived = false;
  handToParser(m.data(), static_cast<int>(m.size()));
  pause(50);
  if (multi) {
    host->setFromDevice(kMultiPatch, slot);
    st->sendGlobalWithMulti = false;
    st->sendAllParts = false;
    if (selectedBySynth || mgr->BankChangeMessage(part)) sendArrangementToDevice(false, true);
  } else {
    host->setFromDevice(kMultiPartPatch + part, slot);
    if (selectedBySynth || mgr->BankChangeMessage(part)) sendPartToDevice(part, false, true);
  }
  mgr->DisplayProcessingIndicator(false);
  mgr->librarianSlotTarget = false;
}

void MIDIMessageSender::storeAllPatchesToDeviceFromLibrarian(int mode, int first, int bank, bool oneSlot) {
  mgr->DisplayProcessingIndicator(true);
  IMidiMsg off;
  off.MakeControlChangeMsg(IMidiMsg::kAllNotesOff, 0.0, 0);
  mgr->sendMidiMsgAndLog(&off);
  pause(50);

  // Copy the entries under the bank lock, then send without holding it (a send may take long).
  std::vector<LibrarianPatch> entries;
  bool haveBank = false;
  if (PatchLibrarian* lib = host->librarian()) {
    UTIL_MutexLock lock(&lib->bankLock());
    const std::vector<PatchFile*>* list = nullptr;
    int index = lib->upperSelection.load();
    // Mode 0 takes the sound or multi list; any other mode the list the lower grid shows.
    const std::optional<LibrarianList> kind =
        librarianLowerList(lib->patchType.load(), mode != 0 && host->librarianShowsCategory(),
                           mode != 0 && host->librarianShowsSearch());
    if (kind) list = &lib->flatList(*kind);
    if (list && index >= 0 && index < static_cast<int>(list->size()) && (*list)[index]) {
      haveBank = true;
      const std::vector<LibrarianPatch>& all = (*list)[index]->entries;
      for (int i = 0; i < (oneSlot ? 1 : 100); ++i) {
        const long e = static_cast<long>(first) + i;
        if (e < 0 || e >= static_cast<long>(all.size())) break;
        entries.push_back(all[static_cast<size_t>(e)]);
      }
    }
  }
  if (!haveBank) {
    mgr->DisplayProcessingIndicator(false);
    mgr->librarianSlotTarget = false;
    return;
  }
  const int p = mgr->pacingInterval();
  const bool multi = host->multiMode();
  bool stoppedEarly = false;
  for (int i = 0; i < (oneSlot ? 1 : 100); ++i) {
    if (i >= static_cast<int>(entries.size()) || entries[i].messages.empty() ||
        entries[i].messages.front().bytes.size() < 8) {
      stoppedEarly = true;
      break;
    }
    std::vector<uint8_t> m = entries[i].messages.front().bytes;
    m[2] = sysex::kModel;
    m[3] = sysex::dataByte(st->deviceId.load());
    m[4] = multi ? sysex::kMultiDump : sysex::kSoundDump;
    m[5] = multi ? 0 : sysex::dataByte(bank);
    m[6] = sysex::dataByte(oneSlot ? first : i);
    sysex::applyChecksum(m.data(), static_cast<int>(m.size()));
    host->sendRaw(m);
    pause(p);
    if (cancelled()) break;
    host->setStatusText("Writing " + std::to_string(i) + "%, please wait..");
  }
  mgr->DisplayProcessingIndicator(false);
  if (PatchLibrarian* lib = host->librarian()) lib->selectedSlot = 0;
  if (cancelled()) {
    host->setStatusText("Data write CANCELLED!");
  } else if (!stoppedEarly) {
    host->setStatusText("Data write completed!");
  }
  mgr->librarianSlotTarget = false;
}

void MIDIMessageSender::sendDeviceIdEnquiry(int idChangedFrom, int idChangedTo, bool sessionFollows) {
  const bool idChange = idChangedFrom >= 0 && idChangedTo >= 0;
  // A returning synth's check is no transfer: the window stays open, and what is edited while
  // the synth answers goes with the session behind it (whose push covers the window).
  if (!sessionFollows) mgr->DisplayProcessingIndicator(true);
  mgr->awaitDumpForEditor(sysex::kGlobalDump);
  // A session's check leaves the line to its starter, which said why the synth is asked.
  if (!sessionFollows) host->setStatusText("Connecting to Dorvik");
  requestFailed = false;
  const int p = mgr->pacingInterval();
  RequestSpec spec;
  spec.build = [](int dev) { return sysex::globalRequest(dev); };
  spec.scanPoll = 20;
  spec.scanText = true;
  spec.checked = true;
  spec.timeoutText = "No response from Dorvik!";
  spec.lostAfterMs = 0;  // a reply of a few bytes, given at once, not a dump the synth puts together
  sendRequest(spec.build(idChange ? idChangedTo : st->deviceId.load()), true);
  const bool answered = runCycle(spec);
  if (cancelRequested.load()) {
    host->setStatusText("Data request CANCELLED!");
  } else if (!requestFailed.load()) {
    if (!moveText.empty()) host->setStatusText(moveText);
    else host->setStatusText(sessionFollows ? "Dorvik found: the session goes to it" : "Plug-in is ready to go!");
    pause(p);
  }
  if (idChange) {
    // The parser adopted the id of whoever answered: the new one only if the synth took it.
    if (answered && st->deviceId.load() == idChangedTo) {
      mgr->synthImage.moveDevice(idChangedFrom, idChangedTo);
      host->setStatusText("Device ID changed!");
    } else {
      if (!answered) {
        st->deviceId = idChangedFrom;
        host->setFromDevice(kGlobalSysExID, idChangedFrom);
        host->setParamSilently(kDeviceID_old, idChangedFrom);
      }
      host->setStatusText("Device ID not changed!");
    }
  }
  // The push behind it ends with the move said again (run), where it would say it is ready.
  checkMoveText = sessionFollows ? moveText : std::string();
  if (sessionFollows) host->sessionCheckEnded(answered && !cancelRequested.load() && !requestFailed.load());
  mgr->DisplayProcessingIndicator(false);
}

// ---------------------------------------------------------------------------------------------
// Requests

void MIDIMessageSender::finishRequest(bool librarian, const char* cancelText, const char* doneText) {
  if (cancelRequested.load()) {
    host->setStatusText(cancelText);
    if (librarian) host->onParamChange(kRefreshFolders);
  } else if (!requestFailed.load()) {
    host->setStatusText(moveText.empty() ? std::string(doneText) : moveText);
    if (librarian) mgr->SetLibrarianStatusUnsaved(true);
  }
}

int MIDIMessageSender::beginLibrarianRequest() {
  mgr->DisplayProcessingIndicator(true);
  requestFailed = false;
  mgr->SetLibrarianRequestActive(true);
  PatchLibrarian* lib = host->librarian();
  return sysex::clampSlotNumber(lib ? lib->selectedSlot.load() : 0);
}

bool MIDIMessageSender::waitForReply(int stepMs, int steps, const char* stepText, bool last) {
  for (int i = 1; i <= steps; ++i) {
    if (mgr->reply.in()) return true;
    if (cancelled()) return false;
    if (waitReply(stepMs)) return true;
    if (stopping.load()) return false;
    if (stepText) host->setStatusText(stepText);
  }
  if (mgr->reply.in()) return true;
  if (!last) return false;
  host->setStatusText(mgr->unansweredText("CONNECTION TIMED OUT!"));
  requestFailed = true;
  return false;
}

void MIDIMessageSender::sendActiveArrangementRequestSysex(bool toEditor, unsigned onlyParts, bool playingParts) {
  mgr->DisplayProcessingIndicator(true);
  requestFailed = false;
  if (toEditor) {
    mgr->awaitDumpForEditor();
    mgr->quickTabRefreshPending = true;
  } else {
    mgr->SetLibrarianRequestActive(true);
  }
  mgr->multiRequestActive = true;
  const int p = mgr->pacingInterval();
  // The multi first when it says which parts to ask for: the synth's, not what the editor showed.
  // The synth has just answered (after a gap in the input): silence is a request or an answer
  // lost on the way (JACK drops a message now and then when a client runs late), asked again
  // after a few pacing intervals rather than the transfer's two seconds and more.
  const bool multiFirst = toEditor && playingParts;
  const int partPolls = multiFirst ? 5 : 20;
  // The multi edit buffer: a lost answer is asked for once more before the transfer times out.
  auto askMulti = [&] {
    bool in = false;
    for (int ask = 0; ask < 2 && !in && !cancelled(); ++ask) {
      if (ask > 0) host->log("PROCESSOR: no answer to the multi request: asked once more");
      sendRequest(sysex::multiRequest(st->deviceId.load(), sysex::kMultiEditBufferBank, 0), true);
      in = waitForReply(25, multiFirst ? 20 : 100, "Processing, please wait...", ask == 1);
    }
    return in;
  };
  if (multiFirst) {
    mgr->awaitDumpForEditor(sysex::kMultiDump);
    if (!askMulti()) requestFailed = true;
    for (int part = 0; part <= 15; ++part)
      if (host->value(kMultiPartStatus + part) == 1.0) onlyParts |= 1u << part;
  }
  if (!toEditor) {
    askMulti();
  } else if (!requestFailed.load() && !cancelled()) {
    for (int part = 0; part <= 15; ++part) {
      if (onlyParts && !(onlyParts & (1u << part))) continue;
      mgr->awaitDumpForEditor(sysex::kSoundDump, part);
      RequestSpec spec;
      spec.build = [part](int dev) { return sysex::soundRequest(dev, sysex::kPartEditBufferBank, part); };
      spec.scanPoll = partPolls;
      spec.scanText = true;
      spec.checked = true;
      sendRequest(spec.build(st->deviceId.load()), true);
      const bool answered = runCycle(spec);
      if (cancelled()) break;
      // No answer even to the scan of every id: no synth is listening, and the next part would
      // only cost another whole scan. The transfer ends with the time-out shown.
      if (!answered) break;
      if (!requestFailed.load()) {
        host->setStatusText("Please wait! " + std::to_string(static_cast<int>(part * 5.88)) + "% processed..");
        pause(p);
        waitForReply(20, 100, nullptr);
        if (cancelled()) break;
      }
      mgr->DisplayProcessingIndicator(true);
    }
  }
  pause(p / 2);
  if (toEditor) {
    if (!requestFailed.load() && !cancelled()) {
      if (!multiFirst) mgr->awaitDumpForEditor(sysex::kMultiDump);
      // Completed only with every part and the multi in.
      if ((multiFirst || askMulti()) && !cancelled())
        host->setStatusText(moveText.empty() ? "Data request completed!" : moveText);
    }
  } else if (!requestFailed.load() && !cancelled()) {
    host->setStatusText("Data request Completed!");
    mgr->SetLibrarianStatusUnsaved(true);
  }
  // A cancel replaces whatever the transfer showed last (a device id being scanned, a progress
  // figure): it must not stand as if the transfer went on.
  if (cancelRequested.load()) host->setStatusText("Data request CANCELLED!");
  mgr->multiRequestActive = false;
  mgr->DisplayProcessingIndicator(false);
}

void MIDIMessageSender::sendPartRequestSysex(int part, bool toEditor) {
  part = std::clamp(part, 0, 15);
  // A fetch of one part into the editor, as a job of its own (after a program change, most
  // often): its answer is the new sound, shown as it comes. The overlay, which would dim it and
  // eat the next click, comes up only for an answer not in after the first pause, and goes the
  // moment it is in; the pauses themselves still space the jobs behind. For the librarian and
  // inside a multi transfer it is up throughout.
  const bool oneFetch = toEditor && records[static_cast<int>(WorkerThread::kDump)].code == 6;
  bool overlay = !oneFetch;
  if (overlay) mgr->DisplayProcessingIndicator(true);
  requestFailed = false;
  if (toEditor) {
    mgr->awaitDumpForEditor(sysex::kSoundDump, part);
  } else {
    mgr->SetLibrarianRequestActive(true);
  }
  RequestSpec spec;
  spec.build = [part](int dev) { return sysex::soundRequest(dev, sysex::kPartEditBufferBank, part); };
  const std::vector<uint8_t> r = spec.build(st->deviceId.load());
  sendRequest(r, false);
  host->printOutgoing(sysex::outgoingLine(r.data(), static_cast<int>(r.size())));
  const int p = mgr->pacingInterval();
  pause(p);
  // A one-part fetch whose answer is not in yet: its overlay comes up now, with the wait's text.
  if (!oneFetch || !mgr->reply.in()) {
    if (!overlay) mgr->DisplayProcessingIndicator(true);
    overlay = true;
    host->setStatusText("Data processing, please wait...");
  }
  runCycle(spec);
  const bool lifted = oneFetch && overlay && mgr->reply.in();
  if (lifted) mgr->DisplayProcessingIndicator(false);
  pause(p);
  finishRequest(!toEditor, "Data request CANCELLED!", "Data request Completed!");
  // Also when the overlay never came up: the end of the job clears the transfer flags.
  if (!lifted) mgr->DisplayProcessingIndicator(false);
}

void MIDIMessageSender::sendSingleMultiRequestSysex() {
  const int slot = beginLibrarianRequest();
  RequestSpec spec;
  spec.build = [slot](int dev) { return sysex::multiRequest(dev, 0, slot); };
  sendRequest(spec.build(st->deviceId.load()), false);
  runCycle(spec);
  finishRequest(true, "Data request CANCELLED!", "Data request Completed!");
  mgr->DisplayProcessingIndicator(false);
}

// Jobs 8 and 10: the 100 entries of a bank, each into the next librarian slot.
void MIDIMessageSender::requestWholeBank(bool multi, int bank) {
  mgr->DisplayProcessingIndicator(true);
  requestFailed = false;
  PatchLibrarian* lib = host->librarian();
  if (lib) lib->selectedSlot = 0;
  const int p = mgr->pacingInterval();
  int n = 0;
  for (int i = 0; i < 100; ++i) {
    mgr->SetLibrarianRequestActive(true);
    RequestSpec spec;
    const int number = n;
    spec.build = [multi, bank, number](int dev) {
      return multi ? sysex::multiRequest(dev, 0, number) : sysex::soundRequest(dev, bank, number);
    };
    sendRequest(spec.build(st->deviceId.load()), false);
    mgr->DisplayProcessingIndicator(true);
    const bool answered = runCycle(spec);
    if (cancelled()) break;
    // A number that stays unanswered through the whole cycle and id scan will not be answered by
    // asking again: stop rather than keep the user waiting through up to 99 more time-outs.
    if (!answered) break;
    host->setStatusText("Please wait! " + std::to_string(i) + "% received..");
    pause(p);
    if (cancelled()) break;
    ++n;
    if (lib) lib->selectedSlot = n;
  }
  if (lib) lib->selectedSlot = 0;
  finishRequest(true, multi ? "Data request CANCELLED!" : "Data request cancelled!",
                  multi ? "Data request Completed!" : "Data request completed!");
  mgr->DisplayProcessingIndicator(false);
}

void MIDIMessageSender::sendAllMultiRequestSysex() {
  requestWholeBank(true, 0);
}

void MIDIMessageSender::sendAllPatchRequestSysex(int bank) {
  requestWholeBank(false, bank);
}

void MIDIMessageSender::sendSinglePatchRequestSysex(bool fromEditBuffer, int bank) {
  const int slot = beginLibrarianRequest();
  RequestSpec spec;
  MidiEngineHost* h = host;
  spec.build = [fromEditBuffer, bank, slot, h](int dev) {
    return fromEditBuffer ? sysex::soundRequest(dev, sysex::kPartEditBufferBank, h->currentPart())
                          : sysex::soundRequest(dev, bank, slot);
  };
  spec.resendInsteadOfScan = true;
  sendRequest(spec.build(st->deviceId.load()), false);
  host->setStatusText("Data processing, please wait...");
  runCycle(spec);
  finishRequest(true, "Data request CANCELLED!", "Data request Completed!");
  mgr->DisplayProcessingIndicator(false);
}

// ---------------------------------------------------------------------------------------------
// MIDI clock

void MIDIMessageSender::startMIDIClockOutput() {
  if (st->clockStartStopEnabled.load()) host->sendRaw({midiclock::kStart});
}

void MIDIMessageSender::stopMIDIClockOutput() {
  if (st->clockStartStopEnabled.load()) host->sendRaw({midiclock::kStop});
}

void MIDIMessageSender::resetContinuousClock(bool stop) { mgr->clock().reset(stop); }

void MIDIMessageSender::sendContinuousMIDIClock(int) {
  if (!st->clockEnabled.load()) return;
  auto readTempo = [this] {
    return midiclock::resolveTempo(host->value(kOverrideTempo), st->hostTempo.load(), host->value(kMultiTempo),
                                   host->tempoValues());
  };
  int tempo = readTempo();
  for (int reading = 1; tempo <= 0 && reading < 12; ++reading) {
    if (!pause(tempoRetryMs.load()) || !st->clockEnabled.load() || !mgr->clock().isRunning()) return;
    tempo = readTempo();
  }
  if (tempo <= 0) {
    host->setFromDevice(kSendMIDIClockInfo, 0.0);
    host->setValueText("Unable to get DAW Tempo");
    st->clockEnabled = false;
    return;
  }
  const int64_t interval = midiclock::intervalNs(tempo);
  // The first tick goes at once, through the same timed path as the rest, so that on a port
  // that places ticks by time it stands on the same grid.
  const int64_t first = midiclock::nowNs();
  host->sendRawAt({midiclock::kTick}, first);
  if (!mgr->clock().isRunning()) return;
  mgr->clock().runTicks(
      interval, [this] { return st->midiIOSet.load() && !stopping.load(); },
      [this](int64_t due) { host->sendRawAt({midiclock::kTick}, due); }, first);
}
