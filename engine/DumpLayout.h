#pragma once
// Byte layouts of the Dorvik's sound, multi and global dumps: which parameter each position
// carries, how its value is converted, which section lock guards it, and the constant templates
// (init sound, init multi, the multi and global templates) that every built dump starts from.
//
// The builders and the parsers (DumpParser.h) walk these same tables, so a position can never be
// written one way and read another. Immutable data; any thread.

#include <array>
#include <cstdint>

namespace dump {

// How a sound-dump byte maps to its parameter(s).
enum Conversion : uint8_t {
  kValue,       // the byte as it stands
  // Octave and semitone parameters hold the byte on the wire (octaves 16, 28 ... 112; semitone 64
  // is no transpose): their parameter-change messages carry the value unchanged, so the dump must
  // too, or a dump and a knob turn would disagree by the old *12+16 / +52 mapping.
  kOctave,
  kSemitone,
  kBendRange,   // byte - 40
  kUnisono,     // packed unisono (param) and mono/poly (param2)
  kRouting,     // filter routing; also the serial/parallel pair
  kLink,        // filter link value; also the link switch and the plug-in's link state
  kEnvelope,    // mode (param) + 32 * trigger (param2)
  kEffectSlot,  // slot parameter; also every effect-type parameter of the slot
};

struct SoundField {
  int position;
  int param;    // block base; + part
  Conversion conversion;
  int lock;     // section lock block base; + part
  int param2 = -1;
};

// Every data position 8..330 that the parser reads, ascending (arpeggiator steps excluded: see
// kArpFirstBytePos).
const SoundField* soundFields(int* count);
// Field at a position, or null.
const SoundField* soundFieldAt(int position);

// Arpeggiator step n (0..15): first byte at kArpFirstBytePos + n (step, glide, accent), second
// at kArpSecondBytePos + n (step length, timing).
constexpr int kArpFirstBytePos = 334;
constexpr int kArpSecondBytePos = 350;
struct ArpStepParams {
  int accent, glide, step, stepLen, timing;
};
ArpStepParams arpStepParams(int n);

// The effect-type parameters that share a slot with the slot parameter at `position`
// (137..150 effect 1, 153..166 effect 2). Null list when the position is no effect slot.
struct EffectSlot {
  int position;
  int slotParam;
  int typeParams[10];
  int typeCount;
};
const EffectSlot* effectSlotAt(int position);
// The slot of an effect-type parameter block base of `effect` (1 or 2) for the user's edits; the
// synced delay length of effect 2 is filled by the parser only and has no slot here.
const EffectSlot* effectSlotForTypeParam(int effect, int base);

// Constant dumps (F0 .. F7).
const std::array<uint8_t, 392>& initSound();
const std::array<uint8_t, 393>& initMulti();
const std::array<uint8_t, 393>& multiTemplate();
const std::array<uint8_t, 207>& globalTemplate();

// Multi dump: common bytes and part block offsets.
struct MultiField {
  int offset;   // position for common bytes; offset in a part block for part bytes
  int param;    // single, or block base (+ part)
  int delta;    // parameter = byte - delta; byte = parameter + delta
};
const MultiField* multiCommonFields(int* count);
const MultiField* multiPartFields(int* count);
// Global dump fields (positions), same conversion rule.
const MultiField* globalFields(int* count);

}  // namespace dump
