#include "DumpParser.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "DumpLayout.h"
#include "ParamNames.h"
#include "SysexProtocol.h"

namespace dump {

namespace {

int truncated(double v) {
  if (!(v == v)) return 0;  // NaN
  return static_cast<int>(std::clamp(v, -1.0e6, 1.0e6));
}

// Section locks of one part, each read once before the bytes are walked.
class LockCache {
 public:
  LockCache(const DumpParamAccess& p, int part) : params(p), part(part) {}
  bool locked(int lockBase) {
    auto it = cache.find(lockBase);
    if (it != cache.end()) return it->second;
    bool on = params.value(lockBase + part) == 1.0;
    cache[lockBase] = on;
    return on;
  }

 private:
  const DumpParamAccess& params;
  int part;
  std::map<int, bool> cache;
};

void writeSoundField(const SoundField& f, const DumpParamAccess& p, int part, uint8_t* out) {
  const double v = p.value(f.param + part);
  switch (f.conversion) {
    case kBendRange: out[f.position] = toByte(v, 40); break;
    case kUnisono:
      out[f.position] = toByte(truncated(p.value(f.param2 + part)) + 16.0 * truncated(v), 0);
      break;
    case kEnvelope:
      out[f.position] = toByte(truncated(v) + 32.0 * truncated(p.value(f.param2 + part)), 0);
      break;
    case kValue:
    case kOctave:
    case kSemitone:
    case kRouting:
    case kLink:
    case kEffectSlot: out[f.position] = toByte(v, 0); break;
  }
}

void readSoundField(const SoundField& f, int byte, int part, DumpParamAccess& p) {
  switch (f.conversion) {
    case kValue:
    case kOctave:
    case kSemitone: p.setFromDevice(f.param + part, byte); break;
    case kBendRange: p.setFromDevice(f.param + part, byte - 40); break;
    case kUnisono: {
      UnisonoMode m = decodeUnisono(byte);
      p.setFromDevice(f.param + part, m.unisono);
      p.setFromDevice(f.param2 + part, m.monoPoly);
      break;
    }
    case kRouting:
      p.setFromDevice(kFilterRouting + part, byte);
      p.setFromDevice(kFilterRoutingParallel + part, byte != 0 ? 0.0 : 1.0);
      p.setFromDevice(kFilterRoutingSerial + part, byte != 0 ? 1.0 : 0.0);
      break;
    case kLink:
      p.setFromDevice(kFilterLinkValue + part, byte);
      p.setLinkState(part, byte);
      p.setFromDevice(kFilterLinkSwitch + part, byte == 3 ? 1.0 : 0.0);
      break;
    case kEnvelope: {
      EnvelopeMode m = decodeEnvelope(byte);
      p.setFromDevice(f.param + part, m.mode);
      p.setFromDevice(f.param2 + part, m.trigger);
      break;
    }
    case kEffectSlot: {
      p.setFromDevice(f.param + part, byte);
      if (const EffectSlot* s = effectSlotAt(f.position))
        for (int i = 0; i < s->typeCount; ++i) p.setFromDevice(s->typeParams[i] + part, byte);
      break;
    }
  }
}

}  // namespace

uint8_t toByte(double value, int delta) {
  return static_cast<uint8_t>(std::clamp(truncated(value) + delta, 0, 127));
}

UnisonoMode decodeUnisono(int byte) {
  // The byte is mono/poly + 16 * unisono. Decoded by its nibbles, so that every byte the writer
  // makes reads back to the same pair (unisono 6 and 7 included).
  byte &= 0x7F;
  return {byte >> 4, (byte & 0x0F) != 0 ? 1 : 0};
}

EnvelopeMode decodeEnvelope(int byte) {
  if (byte < 32) return {byte, 0};
  return {byte - 32, 1};
}

ArpFirstByte decodeArpFirst(int byte) {
  const int low = byte >= 128 ? 0 : (byte & 0x0F);
  ArpFirstByte r{byte / 16, 0, low};
  if (low >= 8) {
    r.accent = low - 8;
    r.glide = 1;
  }
  return r;
}

ArpSecondByte decodeArpSecond(int byte) { return {byte / 16, byte >= 128 ? 0 : (byte & 0x0F)}; }

namespace {
// First data position of a dump: after the address of a sound or multi, after the command of
// the global settings.
int dataStart(int command) { return command == sysex::kGlobalDump ? sysex::kBankPos : sysex::kNumberPos + 1; }
}  // namespace

int SynthImage::slotOf(int command, int part) {
  switch (command) {
    case sysex::kSoundDump:
    case sysex::kSoundParamChange: return part >= 0 && part < kNumParts ? part : -1;
    case sysex::kMultiDump:
    case sysex::kMultiParamChange: return kNumParts;
    case sysex::kGlobalDump:
    case sysex::kGlobalParamChange: return kNumParts + 1;
    default: return -1;
  }
}

namespace {
// The dump the editor builds for a slot from its values alone. Its address (position 3, and the
// global settings' own id at 30, which every send writes afresh) is no part of the image.
std::vector<uint8_t> editorBuild(int slot, const DumpParamAccess& p) {
  if (slot < kNumParts) {
    const auto d = buildSoundDump(p, slot, 0);
    return {d.begin(), d.end()};
  }
  if (slot == kNumParts) {
    const auto d = buildMultiDump(p, 0);
    return {d.begin(), d.end()};
  }
  const auto d = buildGlobalDump(p, 0);
  return {d.begin(), d.end()};
}

struct Place {
  int slot, position;
};

// Where the builders write each parameter, by parameter number: the image slot and the position
// in its dump. An effect type's parameter reaches its dump through the slot parameter it is
// mirrored into. Built once, then read-only; any thread.
const std::vector<std::vector<Place>>& placesByParam() {
  static const std::vector<std::vector<Place>> table = [] {
    std::vector<std::vector<Place>> t(kNumParams);
    auto add = [&t](int param, int slot, int position) {
      if (isValidParamNumber(param)) t[static_cast<size_t>(param)].push_back({slot, position});
    };
    int n = 0;
    const SoundField* fields = soundFields(&n);
    for (int part = 0; part < kNumParts; ++part) {
      for (int i = 0; i < n; ++i) {
        const SoundField& f = fields[i];
        add(f.param + part, part, f.position);
        if (f.param2 >= 0) add(f.param2 + part, part, f.position);
        const EffectSlot* s = f.conversion == kEffectSlot ? effectSlotAt(f.position) : nullptr;
        for (int k = 0; s && k < s->typeCount; ++k)
          if (effectSlotForTypeParam(f.position <= 150 ? 1 : 2, s->typeParams[k]) == s)
            add(s->typeParams[k] + part, part, f.position);
      }
      for (int step = 0; step < 16; ++step) {
        const ArpStepParams a = arpStepParams(step);
        for (int q : {a.glide, a.step, a.accent}) add(q + part, part, kArpFirstBytePos + step);
        for (int q : {a.stepLen, a.timing}) add(q + part, part, kArpSecondBytePos + step);
      }
      for (int i = 0; i < sysex::kNameWidth; ++i) add(kPatchName + part, part, sysex::kSoundNamePos + i);
      for (int i = 0; i < sysex::kCategoryWidth; ++i) add(kCategoryName + part, part, sysex::kSoundCategoryPos + i);
    }
    const MultiField* common = multiCommonFields(&n);
    for (int i = 0; i < n; ++i) add(common[i].param, kNumParts, common[i].offset);
    for (int i = 0; i < sysex::kNameWidth; ++i) add(kMultiName, kNumParts, sysex::kMultiNamePos + i);
    const MultiField* partFields = multiPartFields(&n);
    for (int k = 0; k < kNumParts; ++k)
      for (int i = 0; i < n; ++i)
        add(partFields[i].param + k, kNumParts,
            sysex::kMultiPartBlockStart + sysex::kMultiPartBlockSize * k + partFields[i].offset);
    const MultiField* global = globalFields(&n);
    for (int i = 0; i < n; ++i) add(global[i].param, kNumParts + 1, global[i].offset);
    return t;
  }();
  return table;
}
}  // namespace

void SynthImage::keepDump(const uint8_t* data, int size, const DumpParamAccess& params) {
  if (!sysex::isIntactDump(data, size)) return;
  const int slot = slotOf(data[sysex::kCommandPos], data[sysex::kNumberPos]);
  if (slot < 0) return;
  std::vector<uint8_t> editor = editorBuild(slot, params);
  if (editor.size() != static_cast<size_t>(size)) return;
  std::vector<uint8_t> synth(data, data + size);
  // A section lock that held kept the editor's values, and they are what the synth is to get
  // back: its bytes are the editor's, or the next dump would carry the synth's over them.
  if (slot < kNumParts) {
    LockCache locks(params, slot);
    int n = 0;
    const SoundField* fields = soundFields(&n);
    for (int i = 0; i < n; ++i) {
      const size_t pos = static_cast<size_t>(fields[i].position);
      if (locks.locked(fields[i].lock)) synth[pos] = editor[pos];
    }
    if (locks.locked(kSectionLockArp))
      std::copy(editor.begin() + kArpFirstBytePos, editor.begin() + kArpSecondBytePos + 16,
                synth.begin() + kArpFirstBytePos);
  }
  std::lock_guard<std::mutex> g(lock);
  Kept& kept = slots[static_cast<size_t>(slot)];
  kept.synth = std::move(synth);
  kept.editor = std::move(editor);
  kept.device = data[sysex::kDevicePos];
  kept.movedByScan = false;
}

void SynthImage::keepChange(const uint8_t* data, int size, const DumpParamAccess& params) {
  if (data == nullptr || (size != 9 && size != 10)) return;
  const bool sound = size == 10;
  const int command = data[sysex::kCommandPos];
  if (sound != (command == sysex::kSoundParamChange)) return;
  const int slot = slotOf(command, sound ? data[sysex::kBankPos] : 0);
  const int hi = data[size - 4], lo = data[size - 3], value = data[size - 2];
  if (slot < 0 || value >= 0x80) return;
  const std::vector<uint8_t> editor = editorBuild(slot, params);
  std::lock_guard<std::mutex> g(lock);
  Kept& kept = slots[static_cast<size_t>(slot)];
  if (kept.synth.empty() || kept.device != data[sysex::kDevicePos]) return;
  const size_t pos = static_cast<size_t>(dataStart(kept.synth[sysex::kCommandPos]) + hi * 128 + lo);
  // Data positions only: the checksum and F7 stay (a built dump's checksum is computed afresh).
  if (pos + 2 >= kept.synth.size()) return;
  kept.synth[pos] = static_cast<uint8_t>(value);
  kept.editor[pos] = editor[pos];
}

void SynthImage::keepEdits(const std::vector<int>& edited, const DumpParamAccess& params) {
  const std::vector<std::vector<Place>>& places = placesByParam();
  std::array<std::vector<int>, 18> positions;
  for (int param : edited)
    if (isValidParamNumber(param))
      for (const Place& pl : places[static_cast<size_t>(param)])
        positions[static_cast<size_t>(pl.slot)].push_back(pl.position);
  for (size_t slot = 0; slot < positions.size(); ++slot) {
    if (positions[slot].empty()) continue;
    const std::vector<uint8_t> editor = editorBuild(static_cast<int>(slot), params);
    std::lock_guard<std::mutex> g(lock);
    Kept& kept = slots[slot];
    if (kept.synth.size() != editor.size()) continue;  // nothing heard of this kind
    for (int pos : positions[slot])
      kept.synth[static_cast<size_t>(pos)] = kept.editor[static_cast<size_t>(pos)] = editor[static_cast<size_t>(pos)];
  }
}

void SynthImage::keepUnmodelled(const uint8_t* data, int size, const DumpParamAccess& params) {
  if (!sysex::isIntactDump(data, size)) return;
  const int slot = slotOf(data[sysex::kCommandPos], data[sysex::kNumberPos]);
  if (slot < 0) return;
  std::vector<int> written;
  std::vector<bool> modelled(static_cast<size_t>(size), false);
  const std::vector<std::vector<Place>>& places = placesByParam();
  for (size_t param = 0; param < places.size(); ++param)
    for (const Place& pl : places[param])
      if (pl.slot == slot) {
        if (written.empty() || written.back() != static_cast<int>(param)) written.push_back(static_cast<int>(param));
        if (pl.position < size) modelled[static_cast<size_t>(pl.position)] = true;
      }
  {
    std::lock_guard<std::mutex> g(lock);
    Kept& kept = slots[static_cast<size_t>(slot)];
    if (kept.movedByScan && kept.device == data[sysex::kDevicePos] && kept.synth.size() == static_cast<size_t>(size)) {
      for (int i = dataStart(data[sysex::kCommandPos]); i < size - 2; ++i)
        if (!modelled[static_cast<size_t>(i)]) kept.synth[static_cast<size_t>(i)] = data[i];
      kept.movedByScan = false;
      return;
    }
  }
  keepDump(data, size, params);
  keepEdits(written, params);
}

bool SynthImage::heard(int command, int part, int device) const {
  const int slot = slotOf(command, part);
  if (slot < 0) return false;
  std::lock_guard<std::mutex> g(lock);
  const Kept& kept = slots[static_cast<size_t>(slot)];
  return !kept.synth.empty() && kept.device == device && !kept.movedByScan;
}

void SynthImage::moveDevice(int from, int to, bool sameUnit) {
  std::lock_guard<std::mutex> g(lock);
  for (Kept& kept : slots)
    if (kept.device == from) {
      kept.device = to;
      kept.movedByScan = kept.movedByScan || !sameUnit;
    }
}

bool SynthImage::restore(uint8_t* dump, int size) const {
  if (dump == nullptr || size <= sysex::kNumberPos) return false;
  const int slot = slotOf(dump[sysex::kCommandPos], dump[sysex::kNumberPos]);
  if (slot < 0) return false;
  std::lock_guard<std::mutex> g(lock);
  const Kept& kept = slots[static_cast<size_t>(slot)];
  // Bytes heard from another device say nothing of the one this dump is for.
  if (static_cast<int>(kept.synth.size()) != size || kept.device != dump[sysex::kDevicePos]) return false;
  for (int i = dataStart(dump[sysex::kCommandPos]); i < size - 2; ++i)
    if (dump[i] == kept.editor[static_cast<size_t>(i)]) dump[i] = kept.synth[static_cast<size_t>(i)];
  return true;
}

std::array<uint8_t, 392> buildSoundDump(const DumpParamAccess& p, int part, int device, const SynthImage* image) {
  std::array<uint8_t, 392> d = initSound();
  part = std::clamp(part, 0, kNumParts - 1);
  d[sysex::kDevicePos] = toByte(device, 0);
  d[sysex::kNumberPos] = static_cast<uint8_t>(part);
  int n = 0;
  const SoundField* fields = soundFields(&n);
  for (int i = 0; i < n; ++i) writeSoundField(fields[i], p, part, d.data());
  for (int s = 0; s < 16; ++s) {
    ArpStepParams a = arpStepParams(s);
    const int glide = truncated(p.value(a.glide + part));
    const int first = truncated(p.value(a.accent + part)) + (glide == 1 ? 8 : glide) +
                      16 * truncated(p.value(a.step + part));
    d[kArpFirstBytePos + s] = toByte(first, 0);
    d[kArpSecondBytePos + s] =
        toByte(16.0 * truncated(p.value(a.stepLen + part)) + truncated(p.value(a.timing + part)), 0);
  }
  const std::string name = sysex::padName(p.text(kPatchName + part), sysex::kNameWidth);
  const std::string cat = sysex::padName(p.text(kCategoryName + part), sysex::kCategoryWidth);
  for (int i = 0; i < sysex::kNameWidth; ++i)
    d[sysex::kSoundNamePos + i] = static_cast<uint8_t>(name[i] & 0x7F);
  for (int i = 0; i < sysex::kCategoryWidth; ++i)
    d[sysex::kSoundCategoryPos + i] = static_cast<uint8_t>(cat[i] & 0x7F);
  if (image) image->restore(d.data(), static_cast<int>(d.size()));
  return d;
}

SoundParseResult parseSoundDump(const uint8_t* data, int size, DumpParamAccess& p) {
  SoundParseResult r;
  if (!sysex::isSoundDump(data, size)) return r;
  const int part = data[sysex::kNumberPos];
  // A stored sound (number 0..99 of a bank) addresses no part of the editor.
  if (part >= kNumParts) return r;
  r.part = part;
  LockCache locks(p, part);
  r.name = sysex::readName(data, size, sysex::kSoundNamePos, sysex::kNameWidth);
  r.category = sysex::readName(data, size, sysex::kSoundCategoryPos, sysex::kCategoryWidth);
  p.setText(kPatchName + part, r.name);
  p.setText(kCategoryName + part, r.category);
  int n = 0;
  const SoundField* fields = soundFields(&n);
  for (int i = 0; i < n; ++i) {
    const SoundField& f = fields[i];
    if (f.position >= size || locks.locked(f.lock)) continue;
    readSoundField(f, data[f.position], part, p);
  }
  if (!locks.locked(kSectionLockArp)) {
    for (int s = 0; s < 16; ++s) {
      ArpStepParams a = arpStepParams(s);
      if (kArpFirstBytePos + s < size) {
        ArpFirstByte b = decodeArpFirst(data[kArpFirstBytePos + s]);
        p.setFromDevice(a.glide + part, b.glide);
        p.setFromDevice(a.step + part, b.step);
        p.setFromDevice(a.accent + part, b.accent);
      }
      if (kArpSecondBytePos + s < size) {
        ArpSecondByte b = decodeArpSecond(data[kArpSecondBytePos + s]);
        p.setFromDevice(a.stepLen + part, b.stepLen);
        p.setFromDevice(a.timing + part, b.timing);
      }
    }
  }
  r.parsed = true;
  return r;
}

std::array<uint8_t, 393> buildMultiDump(const DumpParamAccess& p, int device, const SynthImage* image) {
  std::array<uint8_t, 393> d = multiTemplate();
  d[sysex::kDevicePos] = toByte(device, 0);
  int n = 0;
  const MultiField* common = multiCommonFields(&n);
  for (int i = 0; i < n; ++i) d[common[i].offset] = toByte(p.value(common[i].param), common[i].delta);
  const std::string name = sysex::padName(p.text(kMultiName), sysex::kNameWidth);
  for (int i = 0; i < sysex::kNameWidth; ++i)
    d[sysex::kMultiNamePos + i] = static_cast<uint8_t>(name[i] & 0x7F);
  const MultiField* part = multiPartFields(&n);
  for (int k = 0; k < kNumParts; ++k) {
    const int block = sysex::kMultiPartBlockStart + sysex::kMultiPartBlockSize * k;
    for (int i = 0; i < n; ++i) d[block + part[i].offset] = toByte(p.value(part[i].param + k), part[i].delta);
  }
  if (image) image->restore(d.data(), static_cast<int>(d.size()));
  return d;
}

bool parseMultiDump(const uint8_t* data, int size, DumpParamAccess& p, std::string* nameOut) {
  if (!sysex::isMultiDump(data, size)) return false;
  const std::string name = sysex::readName(data, size, sysex::kMultiNamePos, sysex::kNameWidth);
  p.setText(kMultiName, name);
  if (nameOut) *nameOut = name;
  int n = 0;
  const MultiField* common = multiCommonFields(&n);
  for (int i = 0; i < n; ++i) p.setFromDevice(common[i].param, data[common[i].offset] - common[i].delta);
  const MultiField* part = multiPartFields(&n);
  for (int k = 0; k < kNumParts; ++k) {
    const int block = sysex::kMultiPartBlockStart + sysex::kMultiPartBlockSize * k;
    for (int i = 0; i < n; ++i) {
      const int pos = block + part[i].offset;
      if (pos < size) p.setFromDevice(part[i].param + k, data[pos] - part[i].delta);
    }
  }
  return true;
}

std::array<uint8_t, 207> buildGlobalDump(const DumpParamAccess& p, int device, const SynthImage* image) {
  std::array<uint8_t, 207> d = globalTemplate();
  d[sysex::kDevicePos] = toByte(device, 0);
  int n = 0;
  const MultiField* f = globalFields(&n);
  for (int i = 0; i < n; ++i) d[f[i].offset] = toByte(p.value(f[i].param), f[i].delta);
  if (image) image->restore(d.data(), static_cast<int>(d.size()));
  // Not kGlobalSysExID, which keeps the interface's default (16) until a synth has answered while
  // the editor speaks at 0: the synth that takes this dump is the one at `device`, and keeps that id.
  d[sysex::kGlobalDeviceIdPos] = d[sysex::kDevicePos];
  return d;
}

bool parseGlobalDump(const uint8_t* data, int size, DumpParamAccess& p) {
  if (!sysex::isGlobalDump(data, size)) return false;
  int n = 0;
  const MultiField* f = globalFields(&n);
  for (int i = 0; i < n; ++i) p.setFromDevice(f[i].param, data[f[i].offset] - f[i].delta);
  p.setLocalControl(data[31] != 0);
  return true;
}

}  // namespace dump
