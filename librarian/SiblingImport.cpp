#include "SiblingImport.h"

#include <cstring>
#include <initializer_list>

namespace {

// The rules read the value a position had before the conversion, up to position 392.
constexpr int kReadSpan = 393;

std::vector<uint8_t> originalPadded(const PatchSysexMessage& m) {
  std::vector<uint8_t> old(m.bytes);
  if (old.size() < kReadSpan) old.resize(kReadSpan, 0x00);
  return old;
}

// Applies rule(position, original bytes) to every position 0..391, then brings the message to
// exactly 392 bytes ending in F7. The rule sees the values from before the conversion.
template <typename Rule>
void convertEachPosition(PatchSysexMessage& message, Rule rule) {
  const std::vector<uint8_t> old = originalPadded(message);
  std::vector<uint8_t>& b = message.bytes.own();
  b.resize(kSoundDumpSize, 0x00);
  for (int p = 0; p < kSoundDumpSize; ++p) b[p] = rule(p, old);
  b[kSoundDumpSize - 1] = kSysexEnd;
}

void finishAtSoundSize(std::vector<uint8_t>& b) {
  b.resize(kSoundDumpSize, 0x00);
  b[kSoundDumpSize - 1] = kSysexEnd;
}

// A set of dump positions: membership is one lookup, not a search of the list for each of the
// 392 positions of every converted dump (a library of sibling banks converts thousands).
class Positions {
public:
  Positions(std::initializer_list<int> list) {
    for (int p : list) m_in[p] = true;
  }
  bool has(int p) const { return p >= 0 && p < kReadSpan && m_in[p]; }

private:
  bool m_in[kReadSpan] = {};
};

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
  convertEachPosition(message, [](int p, const std::vector<uint8_t>& old) -> uint8_t {
    const uint8_t v = old[p];
    uint8_t r = v;
    if (p == 13 || p == 29 || p == 45) {
      r = kestrinWave(v, old[p + 3]);
    } else if (p == 15 || p == 31 || p == 47) {
      r = static_cast<uint8_t>((v + 1) & 0x7F);
    } else if (p == 84 || p == 104) {
      r = v >= 17 ? 1 : v;
    } else if (p == 124) {
      r = v == 0 ? 1 : 0;
    } else if (p == 135) {
      r = v <= 3 ? v : (v == 4 ? 0 : (v <= 7 ? v - 1 : 0));
    } else if (p == 151) {
      if (v == 4) r = 7;
      else if (v >= 5 && v <= 7) r = v - 1;
      else if (v == 9) r = 0;
      else if (v == 32) r = 9;
      else if (v == 33) r = 10;
    } else if (p >= 252 && p <= 390) {
      static const Positions remap20 = {252, 256, 260, 264, 269, 272, 275, 278, 281, 284,
                                        287, 290, 293, 296, 299, 302, 305, 308, 311, 314};
      static const Positions remap31 = {253, 257, 261, 265, 292, 295, 298, 301, 304, 307, 310, 313};
      r = old[p + 1];
      if (remap20.has(p))
        r = kestrinRemap20(r);
      else if (remap31.has(p))
        r = kestrinRemap31(r);
    }
    return r;
  });
}

void alterPatchFromVostrelFormat(PatchSysexMessage& message) {
  static const Positions waves = {17, 33, 49, 57, 96, 101, 116, 121, 130, 268, 271, 274, 277, 280, 283, 286, 289};
  static const Positions cleared = {19, 20, 21, 22, 23, 35, 36, 37, 38, 39, 55, 76, 89, 109};
  static const Positions modSources = {252, 253, 256, 257, 260, 261, 264, 265, 292, 295, 298, 301, 304, 307, 310, 313};
  static const Positions modAmounts = {269, 272, 275, 278, 281, 284, 287, 290};
  static const Positions modTargets = {293, 296, 299, 302, 305, 308, 311, 314};
  convertEachPosition(message, [](int p, const std::vector<uint8_t>& old) -> uint8_t {
    const uint8_t v = old[p];
    uint8_t r = v;
    if (p == 15 || p == 31) {
      r = v >= 7 ? 0 : v;
    } else if (waves.has(p)) {
      if (v == 10 || v == 12 || v == 14 || v >= 17) r = 0;
      else if (v == 15) r = 12;
      else if (v == 16) r = 11;
    } else if (cleared.has(p)) {
      r = 0;
    } else if (p == 84 || p == 104) {
      r = v >= 18 ? 1 : v;
    } else if (p == 151) {
      r = v == 6 ? 7 : v;
    } else if (modSources.has(p)) {
      r = v == 24 ? 0 : v;
    } else if (modAmounts.has(p)) {
      r = v >= 31 ? 0 : v;
    } else if (modTargets.has(p)) {
      r = v >= 54 ? 0 : v;
    }
    return r;
  });
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
