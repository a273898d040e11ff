// The device ports as the editor follows them: a port chosen, closed, lost, or opened again by a
// device menu's listing, and what the engine, a project held for want of the synth and the two
// status lines make of each.
#include <string>

#include "IControls.h"
#include "Sorvanta.h"

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
  // the device check after the push hears the synth.
  if (midiOutCarries() && !DirectMidiPortLost(true)) applyHeldProjectState();
  // The device check asks the synth through the output and hears it through the input: it starts
  // once both carry, whichever comes second (a check with one of them missing could only end in
  // "No response from Dorvik!" with the synth right there), and follows a job that runs (a
  // project's push) rather than being dropped for it. A port chosen again checks again.
  if (index > 0 && midiOutCarries() && midiInCarries()) sendSysExInitialization(true);
}

void Sorvanta::portReopened(bool input) {
  afterPortChange(!input, DirectMidiPortIndex(input));
  setStatusText(input ? "MIDI In open again." : "MIDI Out open again.");
  if (valueLine) valueLine->SetTextFromPlug(portsStillToSet());
}

void Sorvanta::showProjectHeld() {
  setStatusText("Project held, waiting for Dorvik");
  if (valueLine) valueLine->SetTextFromPlug(portsStillToSet());
}

void Sorvanta::watchDirectPorts() {
  for (const bool input : {false, true}) {
    const bool carries = DirectMidiPortCarries(input);
    bool& carried = portCarried[input ? 1 : 0];
    if (carries == carried) continue;
    carried = carries;
    // Closed by a choice, or never there since the start (the status says what is held): no loss.
    if (carries || !DirectMidiPortLost(input)) continue;
    log(std::string("PROCESSOR: MIDI ") + (input ? "In" : "Out") + " port lost");
    setStatusText("Connection to Dorvik lost!");
    if (valueLine) valueLine->SetTextFromPlug(portsStillToSet());
  }
}
