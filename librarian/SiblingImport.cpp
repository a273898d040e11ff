#include "SiblingImport.h"

#include <algorithm>
#include <cstring>

namespace {

// The rules read the value a position had before the conversion, up to position 392.
constexpr int kReadSpan = 393;

std::vector<uint8_t> originalPadded(const PatchSysexMessage& m) {
  std::vector<uint8_t> old(m.bytes);
  if (old.size() < kReadSpan) old.resize(kReadSpan, 0x00);
  return old;
}

// The converted dump starts as the original's first 392 bytes, ending in F7; the rules then
// change only the positions they name, reading the values from before the conversion.
// (A rule per position, asked for each of the 392, cost more than the reading of the bank.)
std::vector<uint8_t>& startConversion(PatchSysexMessage& message, std::vector<uint8_t>& old) {
  old = originalPadded(message);
  std::vector<uint8_t>& b = message.bytes.own();
  b.assign(old.begin(), old.begin() + kSoundDumpSize);
  b[kSoundDumpSize - 1] = kSysexEnd;
  return b;
}

void finishAtSoundSize(std::vector<uint8_t>& b) {
  b.resize(kSoundDumpSize, 0x00);
  b[kSoundDumpSize - 1] = kSysexEnd;
}

// Kestrin oscillator waveform (positions 13, 29, 45): 5..7 have no Dorvik counterpart, 8 and
// above take the value three positions on.
uint8_t kestrinWave(uint8_t v, uint8_t valuePlus3) {
  if (v >= 5 && v <= 7) return 0;
  if (v >= 8) return valuePlus3;
  return v;
}

// Two remaps of the moved modulation data.
uint8_t kestrinRemap20(uint8_t v) { return v == 20 ? 0 : (v >= 21 ? v - 1 : v); }
uint8_t kestrinRemap31(uint8_t v) { return (v >= 31 && v <= 42) ? 0 : (v >= 43 ? v - 12 : v); }

}  // namespace

void alterPatchFromKestrinFormat(PatchSysexMessage& message) {
  std::vector<uint8_t> old;
  std::vector<uint8_t>& b = startConversion(message, old);
  for (int p : {13, 29, 45}) b[p] = kestrinWave(old[p], old[p + 3]);
  for (int p : {15, 31, 47}) b[p] = static_cast<uint8_t>((old[p] + 1) & 0x7F);
  for (int p : {84, 104}) b[p] = old[p] >= 17 ? 1 : old[p];
  b[124] = old[124] == 0 ? 1 : 0;
  const uint8_t v135 = old[135];
  b[135] = v135 <= 3 ? v135 : (v135 == 4 ? 0 : (v135 <= 7 ? v135 - 1 : 0));
  const uint8_t v151 = old[151];
  if (v151 == 4) b[151] = 7;
  else if (v151 >= 5 && v151 <= 7) b[151] = v151 - 1;
  else if (v151 == 9) b[151] = 0;
  else if (v151 == 32) b[151] = 9;
  else if (v151 == 33) b[151] = 10;
  // From 252 on the Kestrin's data is one byte longer: each position takes the next one's value.
  std::copy(old.begin() + 253, old.begin() + 392, b.begin() + 252);
  for (int p : {252, 256, 260, 264, 269, 272, 275, 278, 281, 284, 287, 290, 293, 296, 299, 302, 305, 308, 311, 314})
    b[p] = kestrinRemap20(b[p]);
  for (int p : {253, 257, 261, 265, 292, 295, 298, 301, 304, 307, 310, 313}) b[p] = kestrinRemap31(b[p]);
}

void alterPatchFromVostrelFormat(PatchSysexMessage& message) {
  std::vector<uint8_t> old;
  std::vector<uint8_t>& b = startConversion(message, old);
  for (int p : {15, 31}) b[p] = old[p] >= 7 ? 0 : old[p];
  for (int p : {17, 33, 49, 57, 96, 101, 116, 121, 130, 268, 271, 274, 277, 280, 283, 286, 289}) {
    const uint8_t v = old[p];
    if (v == 10 || v == 12 || v == 14 || v >= 17) b[p] = 0;
    else if (v == 15) b[p] = 12;
    else if (v == 16) b[p] = 11;
  }
  for (int p : {19, 20, 21, 22, 23, 35, 36, 37, 38, 39, 55, 76, 89, 109}) b[p] = 0;
  for (int p : {84, 104}) b[p] = old[p] >= 18 ? 1 : old[p];
  b[151] = old[151] == 6 ? 7 : old[151];
  for (int p : {252, 253, 256, 257, 260, 261, 264, 265, 292, 295, 298, 301, 304, 307, 310, 313})
    b[p] = old[p] == 24 ? 0 : old[p];
  for (int p : {269, 272, 275, 278, 281, 284, 287, 290}) b[p] = old[p] >= 31 ? 0 : old[p];
  for (int p : {293, 296, 299, 302, 305, 308, 311, 314}) b[p] = old[p] >= 54 ? 0 : old[p];
}

const char* vostrelCategoryName(int number) {
  static const char* const names[] = {"Arp", "Atmo", "Bass", "Drum", "FX",   "Keys",
                                      "Lead", "Mono", "Pad",  "Perc", "Poly", "Seq"};
  if (number >= 1 && number <= 12) return names[number - 1];
  return "Init";
}

void alterVostrelCategoryFormat(PatchSysexMessage& message) {
  std::vector<uint8_t>& b = message.bytes.own();
  if (b.size() < kSoundDumpSize) finishAtSoundSize(b);
  const char* text = vostrelCategoryName(b[kSoundCategoryPos + 1]);
  // Blank-padded: a short text must not leave the category number or other stale bytes behind.
  const size_t len = strlen(text);
  for (size_t i = 0; i < kCategoryLength; ++i)
    b[kSoundCategoryPos + i] = i < len ? static_cast<uint8_t>(text[i]) : ' ';
}
