#pragma once
// The MIDI binding of one parameter: which controls show it, what a change of it sends (a Control
// Change, a prepared SysEx message, or nothing), the keys under which its control is found again
// when the synthesizer sends that message, and its link to a partner parameter.
//
// Records are made by the UI configuration's control factories while the interface is built (the
// thread that constructs the plug-in) and then only read by the editor core under the plug-in's
// lock; only `linkOffset` changes afterwards (link manager). A parameter holds its record by a plain
// pointer and has at most one; the record does not own its controls (their layer or the graphics
// object does). Whoever owns the parameters deletes the records with them.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class IControl;

// Binding kinds. 4 is not used; any kind other than CC, CC switch and the two SysEx kinds sends
// nothing.
enum EControlActionType : int {
  kActionNone = 0,
  kActionCC = 1,
  kActionCCSwitch = 2,
  kActionMsbLsb = 3,  // registers the MSB/LSB lookup only; no element of the description makes it
  kActionSysExSwitch = 5,
  kActionSysEx = 6,
};

// Byte positions of a prepared SysEx message. Messages are held without F0 and F7: byte 0 is the
// manufacturer id (0x3E), byte 2 the device id (overwritten with the current one on every send),
// byte 4 the part of a per-part parameter message.
constexpr int kSysExManufacturerIndex = 0;
constexpr int kSysExDeviceIdIndex = 2;
constexpr int kSysExPartIndex = 4;

// A link to a partner parameter, passed by value. Present only when param1 and param2 are both
// 0 or more.
struct LinkInfo {
  int param1 = -1;  // partner parameter number, part already added
  int param2 = -1;  // parameter that switches the link on (not 0) and off (0), part already added
  int param3 = -1;  // kept in the declaring record only; the partner's copy is always -1
};

// The prepared messages of one SysEx binding, one per value, indexed by value. A binding spans up
// to 128 values of the same message that differ only in the value byte, so the table keeps the
// template once (part byte already written) and writes the value byte when a message is asked
// for; it reads like the vector of whole messages it replaces. Messages added one by one with
// push_back are kept whole after the prepared ones.
class PreparedSysExTable {
 public:
  using Message = std::vector<int>;

  std::size_t size() const { return static_cast<std::size_t>(preparedCount) + whole.size(); }
  bool empty() const { return size() == 0; }
  void clear();
  // The message at `index` (by value; index < size()).
  Message operator[](std::size_t index) const;
  Message front() const { return (*this)[0]; }
  // Writes the message at `index` into *out; false (out untouched) outside the table.
  bool copyTo(std::size_t index, Message* out) const;
  void push_back(Message message);

  // Replaces the table with `count` messages made from `base`: with `firstIsBase`, message 0 is
  // `base` itself; every other message is `base` with its byte at `valuePos` set to the low 7 bits
  // of `firstValue` + k, k counting the computed messages from 0.
  void assignPrepared(Message base, int valuePos, bool firstIsBase, int firstValue, int count);

  class const_iterator {
   public:
    const_iterator(const PreparedSysExTable* t, std::size_t i) : table(t), index(i) {}
    Message operator*() const { return (*table)[index]; }
    const_iterator& operator++() {
      ++index;
      return *this;
    }
    bool operator!=(const const_iterator& o) const { return index != o.index; }
    bool operator==(const const_iterator& o) const { return index == o.index; }

   private:
    const PreparedSysExTable* table;
    std::size_t index;
  };
  const_iterator begin() const { return const_iterator(this, 0); }
  const_iterator end() const { return const_iterator(this, size()); }

  // Heap bytes the table holds, for the memory benchmark.
  std::size_t heapBytes() const;

 private:
  Message base;
  int valuePos = 0;
  bool firstIsBase = false;
  int firstValue = 0;
  int preparedCount = 0;
  std::vector<Message> whole;
};

struct ControlActionSysExMessage {
  // When set, a value selects a list of messages (messageLists) instead of one message.
  bool multiMessage = false;
  // One prepared message per value, indexed by value; bytes as ints, without F0 and F7.
  PreparedSysExTable messages;
  // Per value, the messages to send in order.
  std::vector<std::vector<std::vector<int>>> messageLists;
};

class ControlAction {
 public:
  explicit ControlAction(int actionType = kActionNone) : type(actionType) {}

  // Fields in their documented order; initial values are those of a fresh record.
  int linkOffset = -1;  // partner's value minus ours, last recorded by the link manager
  int part = -1;        // part whose MIDI channel setting gives the channel of the CC kinds
  int type = kActionNone;
  int ccNumber = -1;
  int msbValue = -1;    // MSB/LSB kind: keys 2..4 of its reverse lookup
  int lsbValue = -1;
  int lsbControl = -1;
  int channel = -1;     // 1..16: first key of the CC and MSB/LSB lookups
  int noPart = -1;      // 1 for a control registered as belonging to no part, else 0
  std::vector<IControl*> controls;  // in binding order; element 0 is the main control; not owned
  LinkInfo linkInfo;
  ControlActionSysExMessage sysex;
  int ccOffValue = -1;  // CC switch: sent for 0
  int ccOnValue = -1;   // CC switch: sent for any other value

  // The message prepared for `value` (single-message form), or null when there is none: a value
  // outside the prepared range must send nothing. The message is written into a buffer of the
  // calling thread: the pointer stays good until that thread's next call, so copy it (or send
  // it) before asking again.
  const std::vector<int>* messageForValue(int value) const;
  // The list of messages for `value` (multi-message form), or null.
  const std::vector<std::vector<int>>* messageListForValue(int value) const;

  // Creation and reuse, shared by every factory: a missing record is made with `actionType`; an
  // existing one only has its kind overwritten (the factory that binds last decides the kind, and
  // the controls of all factories stay gathered). `control` is appended when not null.
  static ControlAction* bindControl(ControlAction*& slot, int actionType, IControl* control);

  // Returns the record slot of parameter `number`, or null when there is no such parameter.
  using RecordSlotLookup = std::function<ControlAction**(int number)>;

  // Writes both directions of a link declared on parameter `paramNumber`: nothing unless
  // link.param1 and link.param2 are both 0 or more; otherwise `record` takes the link and the
  // partner (numbered link.param1, whose part is already in it) takes {paramNumber, param2, -1},
  // getting a new record of kind 6 when it has none. A partner number that is not a parameter
  // writes nothing into a partner.
  static void setControlLink(ControlAction* record, int paramNumber, LinkInfo link,
                             const RecordSlotLookup& slotOf);
};

// Fills out->messages with `count` prepared messages made from the template text (space-separated
// hexadecimal bytes): each a copy of the template with the part written at kSysExPartIndex when
// part >= 0 and the value at position changingByte - 1 (changingByte counts from 1). Values run
// upward from `first`; 128 is written as 0 and counting goes on 1, 2, .... With first == -1,
// message 0 keeps the template's own byte at the changing position (only the part is written)
// and counting goes on from that byte.
// multiMessage and messageLists are left alone.
//
// Refused (false, empty table) for a template too short for the changing byte or, with a part, for
// the part byte; for a changing byte below 1; and for a count beyond any parameter range. A value
// that is no 7-bit data byte (negative minimum) is written in its low 7 bits, so a prepared message
// never carries a status byte inside the SysEx.
bool calculateSysexWithChangingByte(const std::string& sysexTemplate, int changingByte, int count,
                                    ControlActionSysExMessage* out, int first, int part);
// The same with the template's bytes already read (convertStringSysextoVector).
bool calculateSysexWithChangingByte(const std::vector<int>& templateBytes, int changingByte,
                                    int count, ControlActionSysExMessage* out, int first, int part);
