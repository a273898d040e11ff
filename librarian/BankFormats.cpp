#include "BankFormats.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "LibrarianLog.h"
#include "SiblingImport.h"

namespace {

constexpr uint8_t kSmfHeaderId[8] = {0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06};
constexpr int kMinReadableSize = 15;
constexpr int kOwnBankSlotWrap = 99;
constexpr int kForeignBankSlotWrap = 127;
// A stored message never needs more than this; longer runs of data are scanned over but not
// kept, so one endless message cannot balloon.
constexpr size_t kMaxKeptMessageBytes = 1024;

// Bytes 0..369 of the init sound.
constexpr uint8_t kInitSoundHead[370] = {
    0xF0, 0x3E, 0x10, 0x03, 0x10, 0x30, 0x00, 0x01, 0x40, 0x40, 0x40, 0x42, 0x60, 0x00, 0x00, 0x01,
    0x7F, 0x01, 0x40, 0x01, 0x00, 0x00, 0x00, 0x00, 0x40, 0x40, 0x3B, 0x42, 0x60, 0x00, 0x00, 0x00,
    0x7F, 0x03, 0x5C, 0x01, 0x00, 0x00, 0x00, 0x00, 0x40, 0x40, 0x40, 0x42, 0x60, 0x00, 0x00, 0x00,
    0x7F, 0x05, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x54, 0x00, 0x01, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x7F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x40, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x01, 0x7F, 0x40, 0x00, 0x00, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40,
    0x01, 0x40, 0x00, 0x00, 0x40, 0x01, 0x40, 0x00, 0x00, 0x7F, 0x40, 0x00, 0x00, 0x40, 0x40, 0x40,
    0x40, 0x40, 0x40, 0x40, 0x03, 0x40, 0x00, 0x00, 0x40, 0x03, 0x40, 0x00, 0x00, 0x03, 0x00, 0x00,
    0x6E, 0x72, 0x05, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x14, 0x40, 0x7F, 0x00, 0x7F, 0x7F, 0x7F,
    0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x07, 0x00, 0x7F, 0x7F, 0x00, 0x69, 0x64, 0x64, 0x7F,
    0x01, 0x00, 0x00, 0x0F, 0x40, 0x7F, 0x7F, 0x00, 0x32, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00,
    0x00, 0x40, 0x00, 0x00, 0x28, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00,
    0x1E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x01, 0x00, 0x40, 0x00, 0x00, 0x40,
    0x00, 0x7F, 0x40, 0x40, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x7F, 0x40, 0x40,
    0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x7F, 0x40, 0x40, 0x00, 0x00, 0x00, 0x00,
    0x40, 0x00, 0x00, 0x40, 0x00, 0x7F, 0x40, 0x40, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x40,
    0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00,
    0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00,
    0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40,
    0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x40, 0x00, 0x00, 0x00,
    0x0F, 0x09, 0x0B, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0F, 0x00, 0x00, 0x37, 0x04, 0x04,
    0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x07, 0x04, 0x04, 0x04, 0x04, 0x44, 0x47,
    0x44, 0x47, 0x44, 0x47, 0x44, 0x47, 0x44, 0x47, 0x44, 0x47, 0x44, 0x47, 0x44, 0x47, 0x44, 0x00,
    0x00, 0x00};

void appendText(std::vector<uint8_t>& out, const char* text, size_t len) {
  out.insert(out.end(), text, text + len);
}

// Every stored message carries the Dorvik's model byte and device 0; the sender writes the real
// device id when it sends. (The init multi was captured from a Kestrin and carries its model
// byte 0F; stored as it is, a saved bank would hold one foreign message per completion entry.)
void normaliseHeader(std::vector<uint8_t>& b) {
  b[2] = kModelDorvik;
  b[3] = 0x00;
}

void appendVarLen(std::vector<uint8_t>& out, uint32_t value) {
  uint8_t tmp[5];
  int n = 0;
  tmp[n++] = value & 0x7F;
  while ((value >>= 7) != 0) tmp[n++] = static_cast<uint8_t>(0x80 | (value & 0x7F));
  while (n > 0) out.push_back(tmp[--n]);
}

void appendBigEndian32(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 24));
  out.push_back(static_cast<uint8_t>(v >> 16));
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

}  // namespace

uint8_t dumpChecksum(const std::vector<uint8_t>& b) {
  if (b.size() < 7) return 0;
  unsigned sum = 0;
  for (size_t i = kMessageIdPos; i + 2 < b.size(); ++i) sum += b[i];
  return static_cast<uint8_t>(sum & 0x7F);
}

bool isValidStoredDump(const std::vector<uint8_t>& b) {
  if (b.size() < 7) return false;
  const bool sound = b[kMessageIdPos] == kSoundDumpId;
  const bool multi = b[kMessageIdPos] == kMultiDumpId;
  if (!(sound && b.size() == kSoundDumpSize) && !(multi && b.size() == kMultiDumpSize)) return false;
  if (b[0] != kSysexStart || b[1] != kManufacturerId || b[2] != kModelDorvik || b[3] != 0) return false;
  if (b.back() != kSysexEnd) return false;
  for (size_t i = 1; i + 1 < b.size(); ++i)
    if (b[i] >= 0x80) return false;
  return b[b.size() - 2] == dumpChecksum(b);
}

void PatchSysexMessage::checkPatchDataSize(bool sound) {
  const size_t target = sound ? kSoundDumpSize : kMultiDumpSize;
  const size_t dataEnd = target - 2;   // data occupies 0 .. target - 3
  // The reader ends every message with one F7; drop it, and with a full-length message also
  // the old checksum, so only header and data remain.
  if (!bytes.empty() && bytes.back() == kSysexEnd) bytes.pop_back();
  if (bytes.size() > dataEnd) bytes.resize(dataEnd);
  // Zeros, never stale bytes: a short dump becomes a dump whose missing parameters are 0.
  bytes.resize(dataEnd, 0x00);
  for (size_t i = 1; i < dataEnd; ++i)
    if (bytes[i] >= 0x80) bytes[i] = 0x00;   // only reachable for messages built by hand
  bytes.push_back(0x00);
  bytes.push_back(kSysexEnd);
  bytes[target - 2] = dumpChecksum(bytes);
}

void PatchSysexMessage::save(std::vector<uint8_t>& out, bool asMidi, bool firstEvent) const {
  if (bytes.size() < 2) return;
  if (!asMidi) {
    out.insert(out.end(), bytes.begin(), bytes.end());
    return;
  }
  // Delta 0 for the track's first event, 500 ticks (83 74) between the others.
  if (firstEvent) {
    out.push_back(0x00);
  } else {
    out.push_back(0x83);
    out.push_back(0x74);
  }
  out.push_back(kSysexStart);
  appendVarLen(out, static_cast<uint32_t>(bytes.size() - 1));
  out.insert(out.end(), bytes.begin() + 1, bytes.end());
}

bool findByte(const uint8_t* data, int size, int& pos, uint8_t value) {
  if (pos < 0) return false;
  if (pos < size) {
    const void* hit = memchr(data + pos, value, static_cast<size_t>(size - pos));
    if (hit) {
      pos = static_cast<int>(static_cast<const uint8_t*>(hit) - data) + 1;
      return true;
    }
  }
  pos = -1;
  return false;
}

bool isWholeDumpLength(bool sound, size_t lengthAsRead) {
  // Length with the F7 that the reader always appends: data through 389 (sound) or 390 (multi).
  return lengthAsRead >= static_cast<size_t>(sound ? kSoundDumpSize - 1 : kMultiDumpSize - 1);
}

namespace {

int readBankMessageFlagged(const uint8_t* data, int size, int& pos, PatchFile& bank, int slot,
                           std::vector<bool>* whole) {
  if (!findByte(data, size, pos, kManufacturerId)) return -1;
  // Header: model, device, message id, bank. A byte that fails its test is stepped over and the
  // caller scans on from there (possibly into the data of the message just refused).
  if (pos >= size) { pos = -1; return -1; }
  const uint8_t model = data[pos++];
  if (model != kModelDorvik && model != kModelKestrin && model != kModelVostrel) return pos;
  if (pos >= size) { pos = -1; return -1; }
  if (data[pos++] >= 0x80) return pos;
  if (pos >= size) { pos = -1; return -1; }
  const uint8_t id = data[pos++];
  if (id != kSoundDumpId && id != kMultiDumpId) return pos;
  if (pos >= size) { pos = -1; return -1; }
  if (data[pos++] >= 0x80) return pos;

  PatchSysexMessage msg;
  msg.bytes = {kSysexStart, kManufacturerId, kModelDorvik, 0x00, id, static_cast<uint8_t>(slot & 0x7F)};
  msg.bytes.reserve(kMultiDumpSize + 1);
  // SysEx data bytes are below 0x80. F7 ends the message; any other status byte (F0 of the next
  // message, garbage) ends a truncated one and is left for the next scan.
  const int start = pos;
  while (pos < size && data[pos] < 0x80) ++pos;
  const size_t keep = std::min(static_cast<size_t>(pos - start), kMaxKeptMessageBytes);
  msg.bytes.insert(msg.bytes.end(), data + start, data + start + keep);
  if (pos >= size) {
    pos = -1;
  } else if (data[pos] == kSysexEnd) {
    ++pos;
  }
  msg.bytes.push_back(kSysexEnd);
  if (whole) whole->push_back(isWholeDumpLength(id == kSoundDumpId, msg.bytes.size()));

  if (id == kSoundDumpId) {
    if (model == kModelKestrin) {
      alterPatchFromKestrinFormat(msg);
    } else if (model == kModelVostrel) {
      alterPatchFromVostrelFormat(msg);
      alterVostrelCategoryFormat(msg);
    }
  }
  const bool sound = id == kSoundDumpId;
  msg.checkPatchDataSize(sound);
  bank.entries.push_back(makeEntryFromMessage(std::move(msg), sound ? kKindSoundRead : kKindMultiRead));
  bank.type = sound ? kBankTypeSound : kBankTypeMulti;
  return pos >= 0 ? pos : -1;
}

}  // namespace

int readBankMessage(const uint8_t* data, int size, int& pos, PatchFile& bank, int slot) {
  return readBankMessageFlagged(data, size, pos, bank, slot, nullptr);
}

bool readBankMessages(const uint8_t* data, int size, PatchFile& bank, std::vector<bool>* whole) {
  if (!data || size < kMinReadableSize) return false;
  int wrap = kOwnBankSlotWrap;
  if (memcmp(data, kSmfHeaderId, sizeof kSmfHeaderId) != 0) {
    // Raw SysEx. Byte 0 is not tested: a file whose first F0 is missing still counts as ours.
    const bool own = data[1] == kManufacturerId && data[2] == kModelDorvik && data[3] < 0x80 &&
                     (data[4] == kSoundDumpId || data[4] == kMultiDumpId);
    if (!own) wrap = kForeignBankSlotWrap;
  }
  // Both forms are read by scanning for bank messages: the MIDI file's own chunks never carry
  // the manufacturer byte, and scanning also reads files whose chunk lengths are wrong.
  int pos = 0;
  int slot = 0;
  while (readBankMessageFlagged(data, size, pos, bank, slot, whole) > 0) {
    if (static_cast<int>(bank.entries.size()) >= kMaxEntriesPerFile) {
      librarianLog("file holds more than " + std::to_string(kMaxEntriesPerFile) +
                   " entries; the rest is not read");
      break;
    }
    if (!bank.entries.empty()) ++slot;
    if (slot > wrap) slot = 0;
  }
  return true;
}

std::vector<uint8_t> writeBank(const PatchFile& bank, bool asMidi) {
  std::vector<uint8_t> out;
  size_t messageBytes = 0;
  for (const LibrarianPatch& e : bank.entries)
    for (const PatchSysexMessage& m : e.messages) messageBytes += m.bytes.size() + 5;
  out.reserve(messageBytes + 64);
  if (!asMidi) {
    for (const LibrarianPatch& e : bank.entries)
      for (const PatchSysexMessage& m : e.messages) m.save(out, false, false);
    return out;
  }
  static const uint8_t header[] = {
      0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x01, 0x00, 0x02, 0x01, 0xE0,
      0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x13,
      0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08,
      0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,
      0x00, 0xFF, 0x2F, 0x00,
      0x4D, 0x54, 0x72, 0x6B};
  out.insert(out.end(), header, header + sizeof header);
  const size_t lengthPos = out.size();
  appendBigEndian32(out, 0);
  bool first = true;
  for (const LibrarianPatch& e : bank.entries) {
    for (const PatchSysexMessage& m : e.messages) {
      if (m.bytes.size() < 2) continue;
      m.save(out, true, first);
      first = false;
    }
  }
  static const uint8_t endOfTrack[] = {0x00, 0xFF, 0x2F, 0x00};
  out.insert(out.end(), endOfTrack, endOfTrack + sizeof endOfTrack);
  const uint32_t trackLength = static_cast<uint32_t>(out.size() - lengthPos - 4);
  for (int i = 0; i < 4; ++i) out[lengthPos + i] = static_cast<uint8_t>(trackLength >> (24 - 8 * i));
  return out;
}

std::string lowerExtension(const std::string& fileName) {
  const size_t slash = fileName.find_last_of('/');
  const size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
  std::string ext = fileName.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return ext;
}

bool isBankExtension(const std::string& ext) { return ext == "mid" || ext == "syx" || ext == "zpk"; }

PatchSysexMessage initSoundMessage() {
  PatchSysexMessage m;
  m.bytes.assign(kInitSoundHead, kInitSoundHead + sizeof kInitSoundHead);
  appendText(m.bytes, "Init Patch   vTn", kNameLength);
  appendText(m.bytes, "Init", kCategoryLength);
  m.bytes.push_back(0x00);   // checksum, set below
  m.bytes.push_back(kSysexEnd);
  normaliseHeader(m.bytes);
  m.bytes[kSoundDumpSize - 2] = dumpChecksum(m.bytes);
  return m;
}

PatchSysexMessage completionSoundMessage(int slotNumber) {
  PatchSysexMessage m;
  m.bytes.assign(kInitSoundHead, kInitSoundHead + sizeof kInitSoundHead);
  // Negative numbers cannot occur (slots count from 1), but keep the field 16 wide regardless.
  const unsigned n = static_cast<unsigned>(slotNumber) % 1000u;
  char name[kNameLength + 8];
  snprintf(name, sizeof name, "Init         %03u", n);
  appendText(m.bytes, name, kNameLength);
  m.bytes.insert(m.bytes.end(), kCategoryLength, 0x00);
  m.bytes.push_back(0x00);
  m.bytes.push_back(kSysexEnd);
  normaliseHeader(m.bytes);
  m.bytes[kSoundDumpSize - 2] = dumpChecksum(m.bytes);
  return m;
}

PatchSysexMessage initMultiMessage() {
  PatchSysexMessage m;
  static const uint8_t head[] = {0xF0, 0x3E, 0x0F, 0x00, 0x11, 0x00, 0x63, 0x7F, 0x02, 0x04, 0x0B, 0x0C, 0x37};
  m.bytes.assign(head, head + sizeof head);
  m.bytes.insert(m.bytes.end(), 10, 0x00);
  appendText(m.bytes, "Sequencer Multi ", kNameLength);
  for (int part = 0; part < 16; ++part) {
    const uint8_t rec[22] = {0x02, 0x63, static_cast<uint8_t>(part + 2), 0x64, 0x40, 0x40, 0x00,
                             static_cast<uint8_t>(part == 0 ? 0x07 : 0x02), 0x40, 0x00, 0x00, 0x00,
                             0x01, 0x7F, 0x00, 0x7F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    m.bytes.insert(m.bytes.end(), rec, rec + sizeof rec);
  }
  m.bytes.push_back(0x00);
  m.bytes.push_back(kSysexEnd);
  normaliseHeader(m.bytes);
  m.bytes[kMultiDumpSize - 2] = dumpChecksum(m.bytes);
  return m;
}
