#pragma once
// The Dorvik's SysEx wire format, and the timing decisions of the request jobs, as plain
// functions of their inputs.
//
// Every message is F0 3E 10 <device id> <command> ... F7. Short messages (requests, parameter
// changes) are built here WITHOUT F0/F7 ("unframed": 3E 10 dev cmd ...); the framework's SysEx
// send adds the frame. Dumps are built whole, F0 to F7.
//
// Threads: no state; any thread. Incoming bytes are hostile: every classifier checks length
// and header before it looks at a position.

#include <cstdint>
#include <string>
#include <vector>

namespace sysex {

constexpr uint8_t kStart = 0xF0;
constexpr uint8_t kEnd = 0xF7;
constexpr uint8_t kManufacturer = 0x3E;
constexpr uint8_t kModel = 0x10;

enum Command : uint8_t {
  kSoundRequest = 0x00,
  kMultiRequest = 0x01,
  kGlobalRequest = 0x04,
  kSoundDump = 0x10,
  kMultiDump = 0x11,
  kGlobalDump = 0x14,
  kSoundParamChange = 0x20,
  kMultiParamChange = 0x21,
  kGlobalParamChange = 0x24,
};

// Addressing of requests and dumps (positions 5 and 6 on the wire).
constexpr uint8_t kPartEditBufferBank = 0x30;   // number = part 0..15
constexpr uint8_t kMultiEditBufferBank = 0x20;  // number = 0

// Lengths on the wire, and the shortest the parser accepts.
constexpr int kSoundDumpLength = 392;
constexpr int kMultiDumpLength = 393;
constexpr int kGlobalDumpLength = 207;
constexpr int kSoundDumpMinLength = 390;
constexpr int kMultiDumpMinLength = 391;
// Only messages of at least this length carry a checksum (the three dumps).
constexpr int kChecksumMinLength = 201;

// Positions inside the dumps (from F0 at 0).
constexpr int kDevicePos = 3;
constexpr int kCommandPos = 4;
constexpr int kBankPos = 5;
constexpr int kNumberPos = 6;
constexpr int kSoundNamePos = 370;
constexpr int kSoundCategoryPos = 386;
constexpr int kMultiNamePos = 23;
constexpr int kNameWidth = 16;
constexpr int kCategoryWidth = 4;
constexpr int kMultiPartBlockStart = 39;
constexpr int kMultiPartBlockSize = 22;
constexpr int kGlobalDeviceIdPos = 30;

// A device id or part byte is 7 bits; anything else is masked so a header never carries a
// status byte (an 0xF7 inside a message would end it early on the wire).
inline uint8_t dataByte(int v) { return static_cast<uint8_t>(v & 0x7F); }

// Unframed request: 3E 10 dev cmd [bank number]. The global request has no address.
std::vector<uint8_t> soundRequest(int deviceId, int bank, int number);
std::vector<uint8_t> multiRequest(int deviceId, int bank, int number);
std::vector<uint8_t> globalRequest(int deviceId);
// The single-sound request of the librarian asks for the selected slot held to 0..99.
int clampSlotNumber(int slot);
// Unframed multi parameter change of the multi tempo (index 0x00 0x05), value = the low 8 bits
// of tempo - 65, as the device expects them; see tempoValue.
std::vector<uint8_t> tempoMessage(int deviceId, int value);
// Unframed global parameter change of the device id (index 0x00 0x19), addressed to the id the
// synth answers at now.
std::vector<uint8_t> deviceIdChange(int fromId, int toId);
// The device's tempo value of a host tempo in beats per minute (truncated). Tempos below 65 or
// above 192 do not fit the 7-bit data byte; they are held to 0..127 so that the byte on the wire
// is never a status byte.
int tempoValue(double bpm);

// Checksum rule of the dumps: the sum, modulo 128, of the command and data bytes. With a
// leading F0 that is positions 4 .. length-3 into length-2; without it positions 3 .. length-2
// into length-1. Returns false and changes nothing for messages below kChecksumMinLength.
bool applyChecksum(uint8_t* data, int length);
// The checksum that applyChecksum would store (framed messages only), or -1 when too short.
int framedChecksum(const uint8_t* data, int length);

// Name fields: cut to width, padded with blanks.
std::string padName(const std::string& name, int width);
// The characters at pos .. pos+width-1 as they stand (fewer when the message is shorter).
std::string readName(const uint8_t* data, int size, int pos, int width);

// The line printed for an outgoing SysEx: "Plug-in MIDI Out (sysex | n bytes | F0 xx xx F7)\n",
// each byte handed in as two lower-case hex digits and a blank; n is the length of the message as
// sent, with the F0 and F7 that sending adds to a message handed in without them.
std::string outgoingLine(const uint8_t* data, int length);
// The line printed for an outgoing short message: "Plug-in MIDI Out b0 07 64\n", as many bytes as
// the status says the message has.
std::string outgoingShortLine(uint8_t status, uint8_t data1, uint8_t data2);

// What an incoming message is, decided from its length and header alone.
enum class Kind {
  kNotOurs,     // too short, not a SysEx, or another maker or model
  kSoundDump,
  kMultiDump,
  kGlobalDump,
  kSoundParam,  // 10 bytes
  kMultiParam,  // 9 bytes
  kGlobalParam, // 9 bytes
  kOther,       // ours, but nothing this editor reads
};
Kind classify(const uint8_t* data, int size);
// Dump tests of the parsers: maker and model at 1 and 2, the command at 4, the length.
bool isSoundDump(const uint8_t* data, int size);
bool isMultiDump(const uint8_t* data, int size);
bool isGlobalDump(const uint8_t* data, int size);
// A received dump is taken into the editor only whole: a sound, multi or global dump at exactly its
// own length, F7 there and nowhere before, nothing but data bytes between F0 and F7, and the right
// checksum. A reply cut short (and joined by the MIDI input to whatever came next), a byte with
// its high bit set or a wrong checksum would otherwise land in the parameters as garbage.
bool isIntactDump(const uint8_t* data, int size);

// ---- request timing (the worker only sleeps and asks these) ----

// Pacing interval in ms of the kLibSyncTimer value: 0..6 give 50, 75, 100, 150, 200, 300,
// 400; 7 gives 500; anything else 100.
int pacingIntervalMs(double libSyncTimerValue);

// One poll of a request cycle, after its pause: what the job does now.
enum class PollAction {
  kWait,      // no answer yet: pause and poll again
  kReplied,   // the answer is in: leave the cycle
  kScan,      // this is the scan poll: run the device-id scan
  kTimedOut,  // the last poll: "CONNECTION TIMED OUT!"
  kCancelled, // the user cancelled
};
constexpr int kRequestTimeoutPolls = 30;
PollAction pollAction(int poll, int scanPoll, bool replyReceived, bool cancelRequested);
// One step of the device-id scan (ids 0..127): true when the scan stops before sending to id d.
bool scanStops(int d, bool replyReceived, bool cancelRequested);

}  // namespace sysex
