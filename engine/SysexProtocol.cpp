#include "SysexProtocol.h"

#include "MidiBytes.h"

#include <algorithm>

namespace sysex {

namespace {
std::vector<uint8_t> header(int deviceId, uint8_t command) {
  return {kManufacturer, kModel, dataByte(deviceId), command};
}
bool hasHeader(const uint8_t* data, int size) {
  return data != nullptr && size >= 6 && data[0] == kStart && data[1] == kManufacturer && data[2] == kModel;
}
}  // namespace

std::vector<uint8_t> soundRequest(int deviceId, int bank, int number) {
  std::vector<uint8_t> m = header(deviceId, kSoundRequest);
  m.push_back(dataByte(bank));
  m.push_back(dataByte(number));
  return m;
}

std::vector<uint8_t> multiRequest(int deviceId, int bank, int number) {
  std::vector<uint8_t> m = header(deviceId, kMultiRequest);
  m.push_back(dataByte(bank));
  m.push_back(dataByte(number));
  return m;
}

std::vector<uint8_t> globalRequest(int deviceId) { return header(deviceId, kGlobalRequest); }

int clampSlotNumber(int slot) { return std::clamp(slot, 0, 99); }

std::vector<uint8_t> tempoMessage(int deviceId, int value) {
  std::vector<uint8_t> m = header(deviceId, kMultiParamChange);
  m.push_back(0x00);
  m.push_back(0x05);
  m.push_back(dataByte(value));
  return m;
}

std::vector<uint8_t> deviceIdChange(int fromId, int toId) {
  std::vector<uint8_t> m = header(fromId, kGlobalParamChange);
  m.push_back(0x00);
  m.push_back(static_cast<uint8_t>(kGlobalDeviceIdPos - kBankPos));
  m.push_back(dataByte(toId));
  return m;
}

int tempoValue(double bpm) {
  // Truncate first (119.9 BPM is 119), then offset; hold far-out host values before the cast.
  double t = std::clamp(bpm, -1000.0, 1000.0);
  return std::clamp(static_cast<int>(t) - 65, 0, 127);
}

int framedChecksum(const uint8_t* data, int length) {
  if (data == nullptr || length < kChecksumMinLength) return -1;
  unsigned sum = 0;
  for (int i = 4; i <= length - 3; ++i) sum += data[i];
  return static_cast<int>(sum & 0x7F);
}

bool applyChecksum(uint8_t* data, int length) {
  if (data == nullptr || length < kChecksumMinLength) return false;
  unsigned sum = 0;
  if (data[0] == kStart) {
    for (int i = 4; i <= length - 3; ++i) sum += data[i];
    data[length - 2] = static_cast<uint8_t>(sum & 0x7F);
  } else {
    for (int i = 3; i <= length - 2; ++i) sum += data[i];
    data[length - 1] = static_cast<uint8_t>(sum & 0x7F);
  }
  return true;
}

std::string padName(const std::string& name, int width) {
  std::string out = name.substr(0, static_cast<size_t>(std::max(width, 0)));
  out.resize(static_cast<size_t>(std::max(width, 0)), ' ');
  return out;
}

std::string readName(const uint8_t* data, int size, int pos, int width) {
  std::string out;
  if (data == nullptr || pos < 0) return out;
  for (int i = pos; i < pos + width && i < size; ++i) out.push_back(static_cast<char>(data[i]));
  return out;
}

namespace {
// Each byte as two lower-case hex digits and a blank.
std::string hexBytes(const uint8_t* data, int length) {
  static const char* kHex = "0123456789abcdef";
  std::string bytes;
  for (int i = 0; data != nullptr && i < length; ++i) {
    bytes.push_back(kHex[data[i] >> 4]);
    bytes.push_back(kHex[data[i] & 0x0F]);
    bytes.push_back(' ');
  }
  return bytes;
}
}  // namespace

std::string outgoingLine(const uint8_t* data, int length) {
  if (data == nullptr || length < 0) length = 0;
  // The count is of the bytes that go out: a message handed over without its F0 is sent framed
  // in F0 .. F7, so those two count too.
  const int sent = length > 0 && data[0] != kStart ? length + 2 : length;
  return "Plug-in MIDI Out (sysex | " + std::to_string(sent) + " bytes | F0 " + hexBytes(data, length) + "F7)\n";
}

std::string outgoingShortLine(uint8_t status, uint8_t data1, uint8_t data2) {
  const uint8_t bytes[3] = {status, data1, data2};
  std::string line = "Plug-in MIDI Out " + hexBytes(bytes, MidiShortMessageLength(status));
  line.back() = '\n';  // the blank after the last byte ends the line
  return line;
}

bool isSoundDump(const uint8_t* data, int size) {
  return size >= kSoundDumpMinLength && hasHeader(data, size) && data[kCommandPos] == kSoundDump;
}
bool isMultiDump(const uint8_t* data, int size) {
  return size >= kMultiDumpMinLength && hasHeader(data, size) && data[kCommandPos] == kMultiDump;
}
bool isGlobalDump(const uint8_t* data, int size) {
  return size == kGlobalDumpLength && hasHeader(data, size) && data[kCommandPos] == kGlobalDump;
}

bool isIntactDump(const uint8_t* data, int size) {
  if (!hasHeader(data, size)) return false;
  int length = 0;
  switch (data[kCommandPos]) {
    case kSoundDump: length = kSoundDumpLength; break;
    case kMultiDump: length = kMultiDumpLength; break;
    case kGlobalDump: length = kGlobalDumpLength; break;
    default: return false;
  }
  if (size != length || data[size - 1] != kEnd) return false;
  for (int i = 1; i < size - 1; ++i)
    if (data[i] & 0x80) return false;
  return framedChecksum(data, size) == data[size - 2];
}

Kind classify(const uint8_t* data, int size) {
  if (!hasHeader(data, size)) return Kind::kNotOurs;
  if (isSoundDump(data, size)) return Kind::kSoundDump;
  if (isMultiDump(data, size)) return Kind::kMultiDump;
  if (isGlobalDump(data, size)) return Kind::kGlobalDump;
  const uint8_t cmd = data[kCommandPos];
  if (size == 10 && cmd == kSoundParamChange) return Kind::kSoundParam;
  if (size == 9 && cmd == kMultiParamChange) return Kind::kMultiParam;
  if (size == 9 && cmd == kGlobalParamChange) return Kind::kGlobalParam;
  return Kind::kOther;
}

int pacingIntervalMs(double value) {
  static const int kSteps[] = {50, 75, 100, 150, 200, 300, 400, 500};
  if (!(value > -1.0 && value < 8.0)) return 100;  // also NaN; -0.5 truncates to 0
  int v = static_cast<int>(value);
  if (v < 0 || v > 7) return 100;
  return kSteps[v];
}

// An answer that came in during the last pause counts, even at the scan or the last poll.
PollAction pollAction(int poll, int scanPoll, bool replyReceived, bool cancelRequested) {
  if (cancelRequested) return PollAction::kCancelled;
  if (replyReceived) return PollAction::kReplied;
  if (poll == scanPoll) return PollAction::kScan;
  if (poll >= kRequestTimeoutPolls) return PollAction::kTimedOut;
  return PollAction::kWait;
}

bool scanStops(int d, bool replyReceived, bool cancelRequested) {
  return d > 127 || replyReceived || cancelRequested;
}

}  // namespace sysex
