// Feeds arbitrary bytes to the bank reader: it must not crash, read out of bounds or hang, and
// every entry it produces must be a well-formed dump that survives a write and a re-read.
//
// Random bytes seldom spell a bank message header, so when the first input byte is odd (and not
// the 'M' a Standard MIDI File starts with) the bytes FC..FF in the rest of the input stand for
// whole headers (a Dorvik, Kestrin or Vostrel sound, a multi); the reader then reaches the
// conversions, the size repair and both formats.
// At most kMaxHeaders of them expand per input: a dump is some 390 bytes and each entry is
// checked, written twice and read back, so an input of nothing but header bytes would otherwise
// cost hundreds of entries per run and slow the fuzzer to a crawl.
// A following byte with both top bits set completes the header to a dump of exactly its stored
// size ending in F7, the kind the reader stores in place in the file's own buffer.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "BankFormats.h"

namespace {

constexpr int kMaxHeaders = 6;
constexpr size_t kMaxInput = 64 * 1024;
constexpr size_t kWorkBytes = 3 * 1024;

std::vector<uint8_t> expandHeaders(const uint8_t* data, size_t size) {
  static const uint8_t headers[4][6] = {{0xF0, 0x3E, 0x10, 0x00, 0x11, 0x00},
                                        {0xF0, 0x3E, 0x13, 0x00, 0x10, 0x00},
                                        {0xF0, 0x3E, 0x0F, 0x00, 0x10, 0x00},
                                        {0xF0, 0x3E, 0x10, 0x00, 0x10, 0x00}};
  std::vector<uint8_t> out;
  int expanded = 0;
  for (size_t i = 1; i < size; ++i) {
    if (data[i] >= 0xFC && expanded++ < kMaxHeaders) {
      const uint8_t* h = headers[data[i] - 0xFC];
      const size_t start = out.size();
      out.insert(out.end(), h, h + 6);
      if (i + 1 < size && (data[i + 1] & 0xC0) == 0xC0) {
        out.resize(start + (h[4] == 0x10 ? 391 : 392), static_cast<uint8_t>(data[i + 1] & 0x3F));
        out.push_back(0xF7);
        ++i;
      } else if (i + 1 < size && (data[i + 1] & 0x80)) {
        // Pad the dump towards its real size so the name and category positions get reached.
        out.resize(out.size() + 370, 0x20);
      }
    } else {
      out.push_back(data[i]);
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  // A whole bank file (some 40 KB) is read message by message: its first kWorkBytes reach every
  // rule of the reader, and the rest would only cost time per run.
  size = std::min(size, kWorkBytes);
  std::vector<uint8_t> input;
  // "MThd" (odd 'M') is a Standard MIDI File as saved: read as it is, like a raw bank.
  if (size > 0 && (data[0] & 1) && data[0] != 'M') {
    input = expandHeaders(data, size);
  } else {
    input.assign(data, data + size);
  }
  PatchFile bank;
  std::vector<bool> whole;
  readBankMessages(input.data(), static_cast<int>(input.size()), bank, &whole);
  if (whole.size() != bank.entries.size()) abort();
  // Names and categories read from the bytes of the bank as read are those its entries get.
  std::vector<std::string> texts;
  for (size_t i = 0; i < bank.entries.size(); ++i) {
    texts.emplace_back(bank.entries.nameAt(i));
    texts.emplace_back(bank.entries.categoryAt(i));
  }
  for (size_t i = 0; i < bank.entries.size(); ++i) {
    const LibrarianPatch& e = bank.entries[i];
    if (e.messages.size() != 1 || !isValidStoredDump(e.messages[0].bytes)) abort();
    if (e.name != texts[2 * i] || e.category != texts[2 * i + 1]) abort();
  }
  if (bank.entries.empty()) return 0;
  // The writers treat every entry alike: a whole bank of a hundred would cost the round trip a
  // hundred times for nothing the first three do not reach.
  if (bank.entries.size() > 3) bank.entries.resize(3);
  for (bool asMidi : {false, true}) {
    const std::vector<uint8_t> out = writeBank(bank, asMidi);
    PatchFile back;
    readBankMessages(out.data(), static_cast<int>(out.size()), back);
    if (back.entries.size() != bank.entries.size()) abort();
    for (size_t i = 0; i < back.entries.size(); ++i)
      if (back.entries[i].name != bank.entries[i].name || back.entries[i].category != bank.entries[i].category) abort();
  }
  return 0;
}
