// The device ports as the editor follows them: a port chosen, closed, lost, or opened again by the
// port watch once the synth is back, and what the engine, a project held for want of the synth (or
// whose push a loss cut short) and the two status lines make of each.
#include <algorithm>
#include <mutex>
#include <string>

#include "DumpLayout.h"
#include "IControls.h"
#include "MidiBackend.h"
#include "MidiPorts.h"
#include "Sorvanta.h"
#include "UIConfigManager.h"

bool Sorvanta::afterPortChange(bool output, int index) {
  if (output) {
    if (index > 0) {
      // The check decided below stands in for a start-up check still due (cleared before an
      // output is set: the audio callback would start that one the moment it is).
      handshakePending = false;
      midiIOSet = true;
    } else {
      resetContinuousClock(true);
      midiIOSet = false;
    }
  }
  if (index <= 0 || !portsCarry()) return false;
  // Both carry after a loss: a synth that went away (its ports unlisted, or opened again by the
  // watch) came back with its own memory, and an edit made while the output did not carry never
  // reached it. Either way the session is due. A patchbay's gap with nothing edited is not.
  const bool afterLoss = lossNoticed.exchange(false);
  if (afterLoss && (synthWentAway() || editedWhileCut.load())) projectPushDue = true;
  // What the host chose while the output did not carry goes first: the synth plays it and its
  // sound is fetched, so that a session after it carries it too.
  sendOwedPrograms();
  // A project opened without the synth, a session whose push a loss cut short, or the above goes
  // now: through an output that carries, and, when an input was asked for, once that carries too
  // (the synth switched on has both back), after the device check heard the synth.
  if (projectPushDue && startSessionPush()) return true;
  // The device check asks the synth through the output and hears it through the input: it starts
  // once both carry, whichever comes second (a check with one of them missing could only end in
  // "No response from Dorvik!" with the synth right there), and follows a job that runs (a
  // project's push) rather than being dropped for it. A port chosen again checks again.
  if (midiOutCarries() && midiInCarries()) {
    sendSysExInitialization(true);
    if (inputGapSinceLoss.exchange(false)) askSynthWhatItShows(false);
  }
  return false;
}

bool Sorvanta::synthWentAway() const {
  return lossWasGone.load() && MidiPortServerEnds() == serverEndsAtLoss.load();
}

bool Sorvanta::startSessionPush(bool withoutWaiting) {
  if (!midiManager || !portsCarry()) return false;
  std::unique_lock<std::mutex> starting(sessionStartLock, std::defer_lock);
  if (withoutWaiting ? !starting.try_lock() : (starting.lock(), false)) return false;
  if (sessionCheckPending.load()) return true;
  editedWhileCut = false;
  lossNoticed = false;
  inputGapSinceLoss = false;
  // No input to hear the synth by: the push alone, at the id the editor has.
  if (!midiInCarries()) return pushProject(true, 0, withoutWaiting);
  {
    // The check's answer is the synth's global settings, taken into the editor: the session's go
    // back before the push (applyHeldProjectValues), all but the id the synth answered at.
    std::unique_lock<std::mutex> hold(sessionGlobalsLock, std::defer_lock);
    if (withoutWaiting ? !hold.try_lock() : (hold.lock(), false)) return false;
    sessionGlobals.clear();
    // Settings never heard nor edited are no session's: the synth's answer stands.
    int n = 0;
    const dump::MultiField* fields = dump::globalFields(&n);
    for (int i = 0; i < n && globalsKnown(); ++i)
      if (isGlobalSetting(fields[i].param)) sessionGlobals.emplace_back(fields[i].param, paramValue(fields[i].param));
  }
  JobRecord check;
  check.code = 13;
  check.sessionFollows = true;
  adoptDeviceId = true;
  uint64_t checkId = 0;
  MIDIMessageManager* m = midiManager;
  auto before = [m] { m->parseComplete = false; };
  if (!(withoutWaiting ? m->startJobWithoutWaiting(check, before, &checkId) : m->startJob(check, before, &checkId)))
    return false;
  sessionCheckPending = true;
  sessionCheckId = checkId;
  // Right behind the check, so that nothing asked for meanwhile comes between; it goes only once
  // the check heard the synth. Not taken now (the render thread does not wait), the check's end
  // starts it (sessionCheckEnded).
  sessionPushQueued = pushProject(true, checkId, withoutWaiting);
  log("PROJECT RECALL: the session goes to the synth once the device check hears it");
  return true;
}

void Sorvanta::sessionCheckEnded(bool heard) {
  UTIL_MutexLock lock(GetMutex());
  std::lock_guard<std::mutex> started(sessionStartLock);
  sessionCheckPending = false;
  // Unheard, the session stays due (its push is dropped with the check): it goes once the synth
  // is there to answer.
  const bool queued = sessionPushQueued.exchange(false);
  if (heard && !queued && !pushProject(true, sessionCheckId.load())) pushProject(true);
}

void Sorvanta::setProgramFromHost(int part, int program) {
  setParamFromPlug(kMultiPartPatch + part, program);
  oweProgram(part, program);
}

bool Sorvanta::oweProgram(int part, int program) {
  if (part < 0 || part >= kNumParts || !DirectMidiPortLost(false)) return false;
  owedProgram[part] = program;
  programsOwed |= 1u << part;
  return true;
}

void Sorvanta::sendOwedPrograms() {
  const unsigned owed = midiManager ? programsOwed.exchange(0) : 0;
  for (int part = 0; part < kNumParts; ++part) {
    if (!(owed & (1u << part))) continue;
    // Past the host's filters: they let it in when it came (a program step never meets them).
    IMidiMsg pc;
    pc.mStatus = static_cast<uint8_t>(0xC0 | std::max(midiManager->partChannel(part), 0));
    pc.mData1 = static_cast<uint8_t>(owedProgram[part].load() & 0x7F);
    midiManager->MakeProgramChangeMessages(part, &pc);
  }
}

bool Sorvanta::askSynthWhatItShows(bool withoutWaiting) {
  if (!midiManager) return false;
  JobRecord r;
  r.code = 5;
  r.requestFlag = true;
  // The multi, then every part it plays and the one on screen: a knob turned on any of them
  // meanwhile.
  r.onlyParts = 1u << std::clamp(currentPart.load(), 0, kNumParts - 1);
  r.playingParts = true;
  log("PROCESSOR: the input carries again; asking the synth for the multi and the parts it plays");
  return withoutWaiting ? midiManager->startJobWithoutWaiting(r) : midiManager->startJob(r);
}

void Sorvanta::OnDirectMidiPortsReopened(bool output, bool input, bool synthCameBack) {
  UTIL_MutexLock lock(GetMutex());
  if (output) refreshExternalMIDIOutNames();
  if (input) refreshExternalMIDIInNames();
  // The menus' entries are the window's to change; without a window they change now.
  onWindowThread(kDeviceMenus, [this] {
    UIConfigManager* ui = getUIConfigManager();
    if (!ui) return;
    ui->refreshDeviceMenu(false);
    ui->refreshDeviceMenu(true);
  });
  log(std::string("PROCESSOR: MIDI ") + (output && input ? "In and Out" : output ? "Out" : "In") + " open again");
  // A synth that went away came back with its own memory. A port opened again under a synth that
  // stayed (its JACK server restarted, say) is not that: the synth is asked what it holds.
  if (lossNoticed.load() && synthCameBack) lossWasGone = true;
  // The output first: it decides what the engine may send, and the device check follows once
  // both carry, so it runs once for the two.
  const int index = DirectMidiPortIndex(!output);
  if (index > 0 && afterPortChange(output, index)) setStatusText("Dorvik is back: the session goes to it");
  else setStatusText(output && input ? "MIDI In and Out open again." : output ? "MIDI Out open again." : "MIDI In open again.");
  if (valueLine) valueLine->SetTextFromPlug(portsStillToSet());
}

void Sorvanta::projectPushCut() {
  UTIL_MutexLock lock(GetMutex());
  projectPushDue = true;
  // Both back already (the watch opened them again while the push slept): it goes again now,
  // behind the push that ends.
  if (portsCarry()) {
    log("PROJECT RECALL: a port was lost during the push; the session goes to the synth again");
    startSessionPush();
    return;
  }
  showProjectHeld();
}

bool Sorvanta::refuseTransferForLostPort() {
  if (!DirectMidiPortLost(false) && !DirectMidiPortLost(true)) return false;
  setStatusText(MIDIMessageManager::kConnectionLostText);
  if (valueLine) valueLine->SetTextFromPlug(portsStillToSet());
  return true;
}

void Sorvanta::showProjectHeld() {
  setStatusText("Project held, waiting for Dorvik");
  if (valueLine) valueLine->SetTextFromPlug(portsStillToSet());
}

void Sorvanta::watchDirectPorts() {
  // The first listing said whether there is anything to connect to (the constructor would ask
  // before it): the log names what it found.
  if (!midiSystemLogged && (portNamesOverride || DirectMidiListings() > 0)) {
    midiSystemLogged = true;
    if (!portNamesOverride)
      log(MIDISystemReachable(false)
              ? std::string("MIDI PORTS: the OUT and IN menus list the ports of ") +
                    (MidiChooseSystem() == kMidiSystemAlsa ? "the ALSA sequencer" : "the JACK server")
              : "MIDI PORTS: no MIDI system is running (no ALSA sequencer, no JACK server), so the OUT and IN "
                "menus list no ports. Start JACK, then open the OUT menu again.");
  }
  // An open that a JACK server no longer answering holds: the status line says so (as the
  // terminal does) until an open returns.
  if (MidiPortOpenHung() != openHungShown) {
    openHungShown = !openHungShown;
    const char* const hungValue = MidiPortOpenHungDetail();
    if (openHungShown) {
      setStatusText(MidiPortOpenHungText());
      if (valueLine) valueLine->SetTextFromPlug(hungValue);
    } else if (statusLine && statusLine->GetTextCopy() == MidiPortOpenHungText()) {
      setStatusText("");
      if (valueLine && valueLine->GetTextCopy() == hungValue) valueLine->SetTextFromPlug("");
    }
  }
  for (const bool input : {false, true}) {
    const bool carries = DirectMidiPortCarries(input), lost = DirectMidiPortLost(input);
    bool& carried = portCarried[input ? 1 : 0];
    // A port a choice closed was not lost, whatever becomes of the one asked for instead (a
    // restore asking for its synth's port, not there, leaves that lost under its name): the watch
    // starts over with the new one. Counted after the port's state is read, so a choice that
    // changed what was read is always among them.
    const unsigned choices = DirectMidiPortChoices(input);
    if (choices != portChoicesSeen[input ? 1 : 0]) {
      portChoicesSeen[input ? 1 : 0] = choices;
      carried = false;
    }
    if (carries == carried) continue;
    carried = carries;
    if (carries) {
      // Carrying again with no open since the loss: a patchbay connected it again.
      if (lossNoticed.load() && DirectMidiPortOpens() == opensAtLoss.load()) connectedAgainByPatchbay(input);
      continue;
    }
    // Closed by a choice, or never there since the start (the status says what is held): no loss.
    if (!lost) continue;
    log(std::string("PROCESSOR: MIDI ") + (input ? "In" : "Out") + " port lost");
    if (input) inputGapSinceLoss = true;
    if (!lossNoticed.exchange(true)) {
      opensAtLoss = DirectMidiPortOpens();
      serverEndsAtLoss = MidiPortServerEnds();
      lossWasGone = false;
    }
    listingShown = DirectMidiListingChanges() - 1;  // looked at below
    setStatusText(MIDIMessageManager::kConnectionLostText);
    if (valueLine) valueLine->SetTextFromPlug(lostTextShown = portsStillToSet());
  }
  // The lost port's synth is gone from the listing (or its MIDI system is): the editor waits for
  // it, and says so. A patchbay's gap leaves the listing as it was. Only a synth that went away
  // itself comes back with its own memory, not one whose JACK server restarted under it.
  if (lossNoticed.load() && DirectMidiListingChanges() != listingShown) {
    listingShown = DirectMidiListingChanges();
    if (DirectMidiPeerLeft(false) || DirectMidiPeerLeft(true)) lossWasGone = true;
    const char* text = portsStillToSet();
    if (text != lostTextShown && valueLine) valueLine->SetTextFromPlug(lostTextShown = text);
  }
  if (cutSessionPending.load() && portsCarry() && startSessionPush(true)) cutSessionPending = false;
  if (askSynthPending.load() && portsCarry() && askSynthWhatItShows(true)) askSynthPending = false;
}

void Sorvanta::connectedAgainByPatchbay(bool input) {
  log(std::string("PROCESSOR: MIDI ") + (input ? "In" : "Out") + " connected again");
  setStatusText(input ? "MIDI In connected again." : "MIDI Out connected again.");
  if (valueLine) valueLine->SetTextFromPlug(portsStillToSet());
  if (!portsCarry()) return;
  lossNoticed = false;
  // The synth stayed. What the host chose in the gap goes now; what else it missed (the edits
  // made in the gap, or a session still due) goes as every session after a loss does: after the
  // device check heard the synth, from the next audio block on (startSessionPush). With nothing
  // to send, a gap in the input is answered by asking the synth what it shows.
  sendOwedPrograms();
  if (editedWhileCut.exchange(false)) projectPushDue = true;
  if (projectPushDue.load()) cutSessionPending = true;
  else if (inputGapSinceLoss.exchange(false)) askSynthPending = true;
}
