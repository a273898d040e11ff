// The device ports as the editor follows them: a port chosen, closed, lost, or opened again by the
// port watch once the synth is back, and what the engine, a project held for want of the synth (or
// whose push a loss cut short) and the two status lines make of each.
#include <string>

#include "IControls.h"
#include "MidiBackend.h"
#include "Sorvanta.h"
#include "UIConfigManager.h"

void Sorvanta::afterPortChange(bool output, int index) {
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
  // A project opened without the synth goes to it now: through an output that carries, and, when
  // an input was asked for, once that carries too (the synth switched on has both back), so that
  // the device check after the push hears the synth. So does a session whose push was cut short.
  if (portsCarry() && !applyHeldProjectState() && projectPushDue) {
    projectPushDue = false;
    log("PROJECT RECALL: the session goes to the synth again");
    pushProject(false);
  }
  // The device check asks the synth through the output and hears it through the input: it starts
  // once both carry, whichever comes second (a check with one of them missing could only end in
  // "No response from Dorvik!" with the synth right there), and follows a job that runs (a
  // project's push) rather than being dropped for it. A port chosen again checks again.
  if (index > 0 && midiOutCarries() && midiInCarries()) sendSysExInitialization(true);
}

void Sorvanta::OnDirectMidiPortsReopened(bool output, bool input) {
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
  // The output first: it decides what the engine may send, and the device check follows once
  // both carry, so it runs once for the two.
  const int index = DirectMidiPortIndex(!output);
  if (index > 0) afterPortChange(output, index);
  setStatusText(output && input ? "MIDI In and Out open again." : output ? "MIDI Out open again." : "MIDI In open again.");
  if (valueLine) valueLine->SetTextFromPlug(portsStillToSet());
}

void Sorvanta::projectPushCut() {
  UTIL_MutexLock lock(GetMutex());
  // Both back already (the watch opened them again while the push slept): it goes again now,
  // behind the push that ends.
  if (portsCarry()) {
    log("PROJECT RECALL: a port was lost during the push; the session goes to the synth again");
    pushProject(false);
    return;
  }
  projectPushDue = true;
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
  for (const bool input : {false, true}) {
    const bool carries = DirectMidiPortCarries(input);
    bool& carried = portCarried[input ? 1 : 0];
    if (carries == carried) continue;
    carried = carries;
    // Closed by a choice, or never there since the start (the status says what is held): no loss.
    if (carries || !DirectMidiPortLost(input)) continue;
    log(std::string("PROCESSOR: MIDI ") + (input ? "In" : "Out") + " port lost");
    setStatusText(MIDIMessageManager::kConnectionLostText);
    if (valueLine) valueLine->SetTextFromPlug(portsStillToSet());
  }
}
