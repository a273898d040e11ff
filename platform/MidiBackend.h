// Choice of MIDI system and port-name matching for the direct MIDI ports.
//
// RtMidi's own default choice tries ALSA first and throws when the ALSA sequencer device is
// missing (containers, machines without sound modules) before JACK is ever tried, so we choose
// explicitly: ALSA when its sequencer can be opened, else JACK. SORVANTA_MIDI_API=alsa|jack
// forces one (the tests force JACK against their private server).
//
// Everything here is a plain function without state; any thread may call it.
#pragma once

#include <string>
#include <vector>

enum MidiSystem
{
  kMidiSystemNone = 0,  // neither ALSA nor JACK compiled into RtMidi
  kMidiSystemAlsa,
  kMidiSystemJack
};

// The MIDI system the direct ports use in this process: the SORVANTA_MIDI_API setting when it
// names a system RtMidi has, else ALSA when /dev/snd/seq is usable, else JACK.
MidiSystem MidiChooseSystem();

// "alsa", "jack" or "none", for diagnostics.
const char* MidiSystemName(MidiSystem system);

// ALSA port names end in " <client>:<port>" numbers that the sequencer hands out afresh in every
// session ("Dorvik:Dorvik MIDI 1 24:0"). Returns the name without that ending; any other name
// (JACK's "client:port", a name without numbers) comes back unchanged.
std::string MidiPortNameWithoutNumbers(const std::string& name);

// Position of wanted in names at or after first: an exact match wins, else the one entry that
// equals it once both have lost their trailing client:port numbers. -1 when neither is found, and
// when several entries match without their numbers (two units of one model: which one was meant
// only the numbers said). Stored port names (settings file, host state) are opened through this,
// so that a port whose numbers moved between sessions is still found.
int MidiFindPortName(const std::vector<std::string>& names, const std::string& wanted, int first = 0);
