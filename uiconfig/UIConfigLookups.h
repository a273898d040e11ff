#pragma once
// Reverse lookups from incoming MIDI to the control that shows the parameter it changes.
//
// Filled by the control factories of UIConfigManager while the interface is built (the thread
// that constructs the plug-in), before any MIDI port is opened; afterwards only read, from the
// MIDI input dispatch thread and the host's MIDI delivery, without a lock. That is safe only
// because no reader ever inserts: every find walks the levels with find(), never operator[].
//
// The lookups hold plain pointers; the controls belong to their layer or the graphics object.
// Entries are never removed; a later registration under the same keys replaces the earlier one.

#include <map>

class IControl;
class ControlAction;

struct ccControlMap {
  std::map<int, IControl*> controls;
};
struct controlID3 {
  std::map<int, ccControlMap> map;
};
struct controlID2 {
  std::map<int, controlID3> map;
};
struct controlID1 {
  std::map<int, controlID2> map;
};

// Key layout of SysEx templates (held without F0/F7): byte 0 manufacturer, byte 2 device id,
// byte 4 the part of a per-part message. A part-less template (changing byte 7, value at index 6)
// is keyed by bytes 2..5 (device id, command, hi, lo); any other by bytes 3..6 (command, part,
// hi, lo). The device id of a part-less key is stored and looked up as kNormalisedDeviceIdKey,
// so a synthesizer set to another device id still finds its control. The part-less commands
// (0x21 multi, 0x24 global) and the per-part command 0x20 keep the two layouts apart.
constexpr int kPartlessChangingByte = 7;
constexpr int kNormalisedDeviceIdKey = 0;

// The four key bytes of a prepared message (without F0) for a control whose value sits at
// 1-based position changingByte. False when the message is too short to carry them.
bool sysexKeyBytes(const int* message, int size, int changingByte, unsigned char keys[4]);

class SysExControlContainer {
 public:
  // Registers `control` under the four key bytes and the fifth key, creating missing levels.
  void addToControlMap(const unsigned char* keyBytes, unsigned char fifthKey, IControl* control);
  // Exact lookup; null as soon as one key is missing. Never inserts.
  IControl* findControl(int k1, int k2, int k3, int k4, int k5) const;
  bool empty() const { return map.empty(); }

  std::map<int, controlID1> map;
};

class NRPNControlContainer {
 public:
  // Keys: the record's channel, msbValue, lsbValue, lsbControl, noPart (its ccNumber is no key).
  void addToControlMap(const ControlAction* record, IControl* control);
  IControl* findControl(int k1, int k2, int k3, int k4, int k5) const;

  std::map<int, controlID1> map;
};

// CC lookup: channel key (1..16), CC number, part-less key.
class CCControlContainer {
 public:
  void addToControlMap(int channel, int ccNumber, int noPart, IControl* control);
  IControl* findControl(int channel, int ccNumber, int noPart) const;

  std::map<int, controlID3> map;
};

// Program values by three keys; nothing in the editor uses them yet.
class ProgramValueMap {
 public:
  void set(int k1, int k2, int k3, int value) { values[k1][k2][k3] = value; }
  int get(int k1, int k2, int k3) const;

  std::map<int, std::map<int, std::map<int, int>>> values;
};
