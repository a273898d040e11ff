#pragma once
// Building the Dorvik's sound, multi and global dumps from the editor's parameters, and parsing
// received dumps back into them, both driven by the tables of DumpLayout.h.
//
// The parameters are reached through DumpParamAccess, so the same code runs against the plug-in
// (through IGraphics::SetParameterFromPlug: controls follow, no handler runs, nothing is echoed)
// and against a plain table in tests.
//
// Threads: the builders run on the sender's worker, the parsers on the MIDI input thread; neither
// keeps state. Received dumps are hostile: every parser checks header, command and length first
// and never reads past `size`; the part byte of a sound dump is range-checked.

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace dump {

class DumpParamAccess {
 public:
  virtual ~DumpParamAccess() = default;
  virtual double value(int param) const = 0;
  // A value that came from the device: the parameter and its controls follow, no handler runs.
  virtual void setFromDevice(int param, double value) = 0;
  // Display text 0 of a name parameter, and setting it.
  virtual std::string text(int param) const = 0;
  virtual void setText(int param, const std::string& text) = 0;
  // The plug-in's per-part filter-link state (read by the link manager).
  virtual void setLinkState(int part, int value) { (void)part, (void)value; }
  // The plug-in's local-control flag, which follows the global dump.
  virtual void setLocalControl(bool on) { (void)on; }
};

// A parameter value as a dump byte: truncated toward zero, offset, held to 0..127 so that a
// value outside its range can never put a status byte (and an early end) into a dump.
uint8_t toByte(double value, int delta);

// What the synth holds, as far as the editor has heard it: the last whole dump of each kind
// received for the editor (the global settings, the multi, each part's sound) from one device,
// with the synth's own parameter changes applied after it, and beside it what the editor itself
// would have built right after taking it in. A dump built for that device gets the synth's byte
// back wherever it still holds what the editor built then: the bytes no parameter models, and the
// bytes of values nobody has touched since, even where a value could not hold the synth's byte or
// reads it in a way that loses bits. A byte the editor has made its own (a section lock that held
// when the dump came, an edit, a restore, a randomize) goes out as the editor builds it from then
// on, also when the editor's value reads the same as the synth's lossy byte. The templates serve
// only where nothing was received from the device a dump is for. Thread-safe: the MIDI input
// keeps, the main thread keeps edits, the workers build.
class SynthImage {
 public:
  // A received dump that is whole (sysex::isIntactDump), after the parsers took it into
  // `params`; anything else is ignored. A sound dump counts only for a part's edit buffer
  // (number 0..15); its bytes under a section lock that is on are the editor's.
  void keepDump(const uint8_t* data, int size, const DumpParamAccess& params);
  // A 9- or 10-byte parameter change from the synth, after it was applied to `params`: its byte,
  // once a dump of that kind was received from the same device.
  void keepChange(const uint8_t* data, int size, const DumpParamAccess& params);
  // The bytes that the parameters numbered in `edited` are written to become the editor's, as
  // `params` holds them now: an edit, a restore or a randomize the synth is to get as shown.
  void keepEdits(const std::vector<int>& edited, const DumpParamAccess& params);
  // A whole dump asked for only to learn the bytes no parameter writes: those are the synth's,
  // every byte a parameter writes stays the editor's (the editor's values were never heard from
  // this synth, and the send that asked is to give them to it). Over what was heard at another
  // id (moveDevice, sameUnit false) only the bytes no parameter writes change: the rest is still
  // what the editor shows, as it was heard.
  void keepUnmodelled(const uint8_t* data, int size, const DumpParamAccess& params);
  // Whether a dump of the kind of `command` (a sound: of `part`) was heard from `device`, and
  // from the unit that answers there now.
  bool heard(int command, int part, int device) const;
  // What was heard at `from` is for `to` now. sameUnit: the editor renumbered the synth itself.
  // Otherwise the id was found by a scan: the synth renumbered on its panel, or another unit on
  // the same cable answering where the first is switched off; nothing tells them apart, so
  // heard() says no until a dump from `to` is kept.
  void moveDevice(int from, int to, bool sameUnit = true);
  // Puts the synth's bytes back into `dump` (built from the editor's values; its kind at 4, for a
  // sound its part at 6, its device at 3) wherever it holds what the editor built when it heard
  // them; false, changing nothing, when none of that kind were received from that device.
  bool restore(uint8_t* dump, int size) const;

 private:
  // Slot of a dump or parameter-change command: the parts' sounds 0..15, the multi 16, the
  // global settings 17; -1 for anything else.
  static int slotOf(int command, int part);

  struct Kept {
    std::vector<uint8_t> synth;   // the dump as received, F0 to F7; empty until one is
    std::vector<uint8_t> editor;  // what the editor built from it when it was taken in
    int device = -1;              // the id it was heard from
    bool movedByScan = false;     // heard at another id (moveDevice, sameUnit false)
  };
  mutable std::mutex lock;
  std::array<Kept, 18> slots;
};

// Sound dump of `part` (0..15) addressed to the part's edit buffer of the synth at `device`
// (the id the editor's requests use, not kGlobalSysExID: the two differ until a synth has
// answered); the checksum byte is the template's (callers that send apply the checksum).
// With an image, every byte the editor has not changed since it heard that synth is the synth's.
std::array<uint8_t, 392> buildSoundDump(const DumpParamAccess& params, int part, int device,
                                        const SynthImage* image = nullptr);
std::array<uint8_t, 393> buildMultiDump(const DumpParamAccess& params, int device, const SynthImage* image = nullptr);
// The synth's own id setting (position 30) is `device` too: a global dump that reaches a synth
// never renumbers it.
std::array<uint8_t, 207> buildGlobalDump(const DumpParamAccess& params, int device, const SynthImage* image = nullptr);

struct SoundParseResult {
  bool parsed = false;
  int part = -1;
  std::string name;      // 16 characters as they stand
  std::string category;  // 4 characters
};
// Parses a sound dump into the part at position 6, skipping bytes whose section lock is 1.0.
// Not a sound dump (or a part above 15, i.e. a stored sound): nothing changes, parsed false.
SoundParseResult parseSoundDump(const uint8_t* data, int size, DumpParamAccess& params);
// Multi dump: common bytes, the name and the 16 part blocks (up to position 384).
bool parseMultiDump(const uint8_t* data, int size, DumpParamAccess& params, std::string* name);
// Global dump of exactly 207 bytes.
bool parseGlobalDump(const uint8_t* data, int size, DumpParamAccess& params);

// The packed bytes, shared with the short parameter-change decoding of the parser.
struct UnisonoMode {
  int unisono, monoPoly;
};
UnisonoMode decodeUnisono(int byte);
struct EnvelopeMode {
  int mode, trigger;
};
EnvelopeMode decodeEnvelope(int byte);
struct ArpFirstByte {
  int step, glide, accent;
};
ArpFirstByte decodeArpFirst(int byte);
struct ArpSecondByte {
  int stepLen, timing;
};
ArpSecondByte decodeArpSecond(int byte);

}  // namespace dump
