// Actions the stand-in host performs at given times after rendering starts: transport play and
// stop, tempo changes, short MIDI messages and SysEx, and loading a project (restoring a saved
// state, as a host does when the user opens another project). They come from the command line
// ("--at '1.5 tempo 140'", "--midi '90 3C 64'") or from a file with one action per line:
//
//   # time(seconds)  action  arguments
//   0.0   midi   B0 07 64
//   0.5   play
//   1.0   tempo  140
//   1.2   sysex  F0 3E 10 00 F7
//   2.0   stop
//   3.0   restore  other-project.plist
//
// Files are user input: every line is checked (known action, sane time, valid MIDI bytes) and a
// bad line is refused with its line number; nothing is half applied.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct HostEvent {
  enum Kind { kPlay, kStop, kTempo, kMidi, kSysEx, kRestore };
  double time = 0.0;  // seconds after rendering starts
  Kind kind = kPlay;
  double tempo = 0.0;
  std::vector<unsigned char> bytes;  // kMidi: 1..3 bytes, status first; kSysEx: F0 .. F7
  std::string path;                  // kRestore: the state file (read when the time comes)
};

// Parses "TIME ACTION [ARGS]"; false with *why on a fault.
bool ParseHostEvent(const std::string& line, HostEvent* out, std::string* why);
// Parses "90 3C 64" / "903C64" into a short message (true) or a SysEx F0 .. F7.
bool ParseMidiBytes(const std::string& hex, bool sysex, std::vector<unsigned char>* out, std::string* why);
constexpr size_t kHostEventFileMaxBytes = 1u << 20;
constexpr size_t kHostEventFileMaxActions = 100000;
// The text of an action file named `name` (at most kHostEventFileMaxBytes and
// kHostEventFileMaxActions); false with "name:line: reason", and then nothing is added to *out.
bool ParseHostEventText(const std::string& text, const std::string& name, std::vector<HostEvent>* out, std::string* why);
// Reads an action file: never more than the limit from it, whatever it is; a file that cannot
// be read whole is an error, not an empty list.
bool LoadHostEventFile(const std::string& path, std::vector<HostEvent>* out, std::string* why);
// Stable sort by time: equal times keep their order.
void SortHostEvents(std::vector<HostEvent>* events);
