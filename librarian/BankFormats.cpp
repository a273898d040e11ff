#include "BankFormats.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <climits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

uint8_t dumpChecksum(const uint8_t* data, size_t size) {
  if (size < 7) return 0;
  unsigned sum = 0;
  for (size_t i = kMessageIdPos; i + 2 < size; ++i) sum += data[i];
  return static_cast<uint8_t>(sum & 0x7F);
}

bool isValidStoredDump(const SysexBytes& b) {
  if (b.size() < 7) return false;
  const bool sound = b[kMessageIdPos] == kSoundDumpId;
  const bool multi = b[kMessageIdPos] == kMultiDumpId;
  if (!(sound && b.size() == kSoundDumpSize) && !(multi && b.size() == kMultiDumpSize)) return false;
  if (b[0] != kSysexStart || b[1] != kManufacturerId || b[2] != kModelDorvik || b[3] != 0) return false;
  if (b.back() != kSysexEnd) return false;
  // On the bytes themselves: every library load checks each entry, byte by byte.
  const uint8_t* d = b.data();
  const size_t n = b.size();
  for (size_t i = 1; i + 1 < n; ++i)
    if (d[i] >= 0x80) return false;
  return d[n - 2] == dumpChecksum(d, n);
}

void PatchSysexMessage::checkPatchDataSize(bool sound) {
  const size_t target = sound ? kSoundDumpSize : kMultiDumpSize;
  const size_t dataEnd = target - 2;   // data occupies 0 .. target - 3
  // The reader ends every message with one F7; drop it, and with a full-length message also
  // the old checksum, so only header and data remain.
  std::vector<uint8_t>& b = bytes.own();
  if (!b.empty() && b.back() == kSysexEnd) b.pop_back();
  if (b.size() > dataEnd) b.resize(dataEnd);
  // Zeros, never stale bytes: a short dump becomes a dump whose missing parameters are 0.
  b.resize(dataEnd + 2, 0x00);
  uint8_t* d = b.data();
  for (size_t i = 1; i < dataEnd; ++i)
    if (d[i] >= 0x80) d[i] = 0x00;   // only reachable for messages built by hand
  d[target - 1] = kSysexEnd;
  b[target - 2] = dumpChecksum(b.data(), b.size());
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

// One file being read. The buffer is ours: dumps that are whole in it are stored in place.
struct FileReader {
  const FileBuffer& buffer;
  uint8_t* data;
  int size;
  int firstFree = 0;   // bytes before this belong to a message stored in place
  std::vector<bool>* whole;
};

// The high bits of every byte of data[0, n) or'ed together, and the sum of data[0, m) (m <= n):
// the one pass over a dump's data that the loader makes. Sixteen bytes at a time with SSE2
// (every x86-64 has it), eight at a time elsewhere; the byte loop finishes the rest.
void sumAndHighBits(const uint8_t* data, size_t n, size_t m, unsigned& sum, uint8_t& high) {
  unsigned total = 0;
  uint8_t ored = 0;
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  __m128i sums = zero, bits = zero;
  for (; i + 16 <= m; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    bits = _mm_or_si128(bits, v);
    sums = _mm_add_epi64(sums, _mm_sad_epu8(v, zero));   // two 64-bit lanes of byte sums
  }
  total = static_cast<unsigned>(_mm_cvtsi128_si32(sums)) +
          static_cast<unsigned>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  if (_mm_movemask_epi8(bits) != 0) ored = 0x80;
#else
  // Four 16-bit lanes cannot overflow for the few hundred bytes of a dump (at most 0xFF * 2 per
  // lane and word).
  uint64_t lanes = 0, bits = 0;
  for (; i + 8 <= m; i += 8) {
    uint64_t w;
    memcpy(&w, data + i, 8);
    bits |= w;
    lanes += (w & 0x00FF00FF00FF00FFull) + ((w >> 8) & 0x00FF00FF00FF00FFull);
  }
  for (int lane = 0; lane < 4; ++lane) total += static_cast<unsigned>((lanes >> (16 * lane)) & 0xFFFF);
  if (bits & 0x8080808080808080ull) ored = 0x80;
#endif
  for (; i < m; ++i) {
    total += data[i];
    ored |= data[i];
  }
  for (; i < n; ++i) ored |= data[i];
  sum = total;
  high = ored & 0x80;
}

// A Dorvik dump (or any multi: only its model byte differs) that is exactly whole in the file,
// F0 at manufacturer - 1 (or a byte there that no stored message uses, such as the length of a
// Standard MIDI File event) and F7 at its stored size, is stored in place: model, device and
// slot are written into the buffer and the checksum is computed once. Returns false, changing
// nothing, for anything else.
bool storeInPlace(FileReader& r, int manufacturerPos, uint8_t model, uint8_t id, int slot) {
  const bool sound = id == kSoundDumpId;
  if (sound && model != kModelDorvik) return false;   // sibling sounds are converted
  const int start = manufacturerPos - 1;
  const int length = sound ? kSoundDumpSize : kMultiDumpSize;
  if (start < r.firstFree || length > r.size - start) return false;
  uint8_t* m = r.data + start;
  if (m[length - 1] != kSysexEnd) return false;
  unsigned sum = 0;
  uint8_t high = 0;
  // Data from position 6 through the checksum place must be data bytes; the checksum covers
  // positions 4 .. length - 3 and is written afresh (slot byte 5 changes).
  sumAndHighBits(m + 6, static_cast<size_t>(length - 7), static_cast<size_t>(length - 8), sum, high);
  if (high) return false;
  m[0] = kSysexStart;
  m[2] = kModelDorvik;
  m[3] = 0x00;
  m[5] = static_cast<uint8_t>(slot & 0x7F);
  m[length - 2] = static_cast<uint8_t>((sum + m[4] + m[5]) & 0x7F);
  r.firstFree = start + length;
  if (r.whole) r.whole->push_back(true);
  return true;
}

int readBankMessageFlagged(FileReader& r, int& pos, PatchFile& bank, int slot) {
  const uint8_t* data = r.data;
  const int size = r.size;
  if (!findByte(data, size, pos, kManufacturerId)) return -1;
  const int manufacturerPos = pos - 1;
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
  const bool sound = id == kSoundDumpId;

  if (storeInPlace(r, manufacturerPos, model, id, slot)) {
    PatchSysexMessage msg;
    const int length = sound ? kSoundDumpSize : kMultiDumpSize;
    msg.bytes = SysexBytes(r.buffer, static_cast<size_t>(manufacturerPos - 1), static_cast<size_t>(length));
    bank.entries.appendRead(std::move(msg), sound ? kKindSoundRead : kKindMultiRead);
    bank.type = sound ? kBankTypeSound : kBankTypeMulti;
    pos = manufacturerPos - 1 + length;
    return pos < size ? pos : -1;
  }

  std::vector<uint8_t> bytes = {kSysexStart, kManufacturerId, kModelDorvik, 0x00, id, static_cast<uint8_t>(slot & 0x7F)};
  bytes.reserve(kMultiDumpSize + 1);
  // SysEx data bytes are below 0x80. F7 ends the message; any other status byte (F0 of the next
  // message, garbage) ends a truncated one and is left for the next scan.
  const int start = pos;
  while (pos < size && data[pos] < 0x80) ++pos;
  const size_t keep = std::min(static_cast<size_t>(pos - start), kMaxKeptMessageBytes);
  bytes.insert(bytes.end(), data + start, data + start + keep);
  if (pos >= size) {
    pos = -1;
  } else if (data[pos] == kSysexEnd) {
    ++pos;
  }
  bytes.push_back(kSysexEnd);
  if (r.whole) r.whole->push_back(isWholeDumpLength(sound, bytes.size()));

  PatchSysexMessage msg;
  msg.bytes = SysexBytes(std::move(bytes));
  if (sound) {
    if (model == kModelKestrin) {
      alterPatchFromKestrinFormat(msg);
    } else if (model == kModelVostrel) {
      alterPatchFromVostrelFormat(msg);
      alterVostrelCategoryFormat(msg);
    }
  }
  msg.checkPatchDataSize(sound);
  bank.entries.appendRead(std::move(msg), sound ? kKindSoundRead : kKindMultiRead);
  bank.type = sound ? kBankTypeSound : kBankTypeMulti;
  return pos >= 0 ? pos : -1;
}

}  // namespace

bool readBankMessages(const FileBuffer& file, size_t size, PatchFile& bank, std::vector<bool>* whole) {
  if (!file || size < static_cast<size_t>(kMinReadableSize) || size > INT32_MAX) return false;
  FileReader r{file, file.get(), static_cast<int>(size), 0, whole};
  const uint8_t* data = r.data;
  int wrap = kOwnBankSlotWrap;
  if (memcmp(data, kSmfHeaderId, sizeof kSmfHeaderId) != 0) {
    // Raw SysEx. Byte 0 is not tested: a file whose first F0 is missing still counts as ours.
    const bool own = data[1] == kManufacturerId && data[2] == kModelDorvik && data[3] < 0x80 &&
                     (data[4] == kSoundDumpId || data[4] == kMultiDumpId);
    if (!own) wrap = kForeignBankSlotWrap;
  }
  // A bank read afresh keeps its messages' places in the buffer (BankEntries.h).
  if (bank.entries.empty()) bank.entries.startReading(file);
  // A file is normally one bank of 392- or 393-byte dumps.
  bank.entries.reserve(bank.entries.size() + std::min<size_t>(size / kSoundDumpSize + 1, kBankSize + 1));
  // Both forms are read by scanning for bank messages: the MIDI file's own chunks never carry
  // the manufacturer byte, and scanning also reads files whose chunk lengths are wrong.
  int pos = 0;
  int slot = 0;
  while (readBankMessageFlagged(r, pos, bank, slot) > 0) {
    if (static_cast<int>(bank.entries.size()) >= kMaxEntriesPerFile) {
      librarianLog("file holds more than " + std::to_string(kMaxEntriesPerFile) +
                   " entries; the rest is not read");
      break;
    }
    if (!bank.entries.empty()) ++slot;
    if (slot > wrap) slot = 0;
  }
  bank.entries.settleRead();
  return true;
}

bool readBankMessages(const uint8_t* data, int size, PatchFile& bank, std::vector<bool>* whole) {
  if (!data || size < kMinReadableSize) return false;
  FileBuffer copy(new uint8_t[static_cast<size_t>(size)]);
  memcpy(copy.get(), data, static_cast<size_t>(size));
  return readBankMessages(copy, static_cast<size_t>(size), bank, whole);
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

namespace {

// Header normalised, checksum computed, wrapped as a stored message.
PatchSysexMessage finishInitMessage(std::vector<uint8_t> b) {
  normaliseHeader(b);
  b[b.size() - 2] = dumpChecksum(b.data(), b.size());
  PatchSysexMessage m;
  m.bytes = SysexBytes(std::move(b));
  return m;
}

}  // namespace

PatchSysexMessage initSoundMessage() {
  std::vector<uint8_t> b(kInitSoundHead, kInitSoundHead + sizeof kInitSoundHead);
  appendText(b, "Init Patch   vTn", kNameLength);
  appendText(b, "Init", kCategoryLength);
  b.push_back(0x00);   // checksum, set below
  b.push_back(kSysexEnd);
  return finishInitMessage(std::move(b));
}

PatchSysexMessage completionSoundMessage(int slotNumber) {
  std::vector<uint8_t> b(kInitSoundHead, kInitSoundHead + sizeof kInitSoundHead);
  // Negative numbers cannot occur (slots count from 1), but keep the field 16 wide regardless.
  const unsigned n = static_cast<unsigned>(slotNumber) % 1000u;
  char name[kNameLength + 8];
  snprintf(name, sizeof name, "Init         %03u", n);
  appendText(b, name, kNameLength);
  b.insert(b.end(), kCategoryLength, 0x00);
  b.push_back(0x00);
  b.push_back(kSysexEnd);
  return finishInitMessage(std::move(b));
}

PatchSysexMessage initMultiMessage() {
  static const uint8_t head[] = {0xF0, 0x3E, 0x0F, 0x00, 0x11, 0x00, 0x63, 0x7F, 0x02, 0x04, 0x0B, 0x0C, 0x37};
  std::vector<uint8_t> b(head, head + sizeof head);
  b.insert(b.end(), 10, 0x00);
  appendText(b, "Sequencer Multi ", kNameLength);
  for (int part = 0; part < 16; ++part) {
    const uint8_t rec[22] = {0x02, 0x63, static_cast<uint8_t>(part + 2), 0x64, 0x40, 0x40, 0x00,
                             static_cast<uint8_t>(part == 0 ? 0x07 : 0x02), 0x40, 0x00, 0x00, 0x00,
                             0x01, 0x7F, 0x00, 0x7F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    b.insert(b.end(), rec, rec + sizeof rec);
  }
  b.push_back(0x00);
  b.push_back(kSysexEnd);
  return finishInitMessage(std::move(b));
}
