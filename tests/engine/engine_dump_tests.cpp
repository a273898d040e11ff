// Sound, multi and global dumps: byte positions, packed bytes, and build-then-parse round trips
// through the same layout tables.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "DumpLayout.h"
#include "MIDIMessageManager.h"
#include "DumpParser.h"
#include "ParamNames.h"
#include "SysexProtocol.h"

namespace {

struct Params : dump::DumpParamAccess {
  std::map<int, double> v;
  std::map<int, std::string> t;
  int links[16] = {};
  bool local = true;
  double value(int p) const override {
    auto it = v.find(p);
    return it == v.end() ? 0.0 : it->second;
  }
  void setFromDevice(int p, double x) override { v[p] = x; }
  std::string text(int p) const override {
    auto it = t.find(p);
    return it == t.end() ? std::string() : it->second;
  }
  void setText(int p, const std::string& s) override { t[p] = s; }
  void setLinkState(int part, int x) override { links[part] = x; }
  void setLocalControl(bool on) override { local = on; }
};

// A valid value of a field's parameter(s), drawn so that its byte fits 0..127.
void randomField(const dump::SoundField& f, int part, Params& p, std::mt19937& rng) {
  auto r = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  switch (f.conversion) {
    case dump::kBendRange: p.v[f.param + part] = r(-40, 87); break;
    case dump::kUnisono:
      p.v[f.param + part] = r(0, 7);
      p.v[f.param2 + part] = r(0, 1);
      break;
    case dump::kEnvelope:
      p.v[f.param + part] = r(0, 31);
      p.v[f.param2 + part] = r(0, 1);
      break;
    default: p.v[f.param + part] = r(0, 127); break;
  }
}

}  // namespace

TEST(SoundDumpLayout, BytesLandAtTheirPositions) {
  Params p;
  const int part = 3;
  p.v[kOscillator1Octave + part] = 0x28;    // octave and semitone travel as their own bytes
  p.v[kOscillator1Semitone + part] = 0x34;
  p.v[kOscillator1BendRange + part] = 2;
  p.v[kOscillatorUnisono + part] = 3;
  p.v[kOscillatorMonoPolyMode + part] = 1;
  p.v[kEnvelope3Mode + part] = 2;
  p.v[kEnv3Trigger + part] = 1;
  p.v[kArpPattern01Accent + part] = 3;
  p.v[kArpPattern01Glide + part] = 1;
  p.v[kArpPattern01Step + part] = 2;
  p.v[kArpPattern02Accent + part] = 3;
  p.v[kArpPattern02Step + part] = 2;
  p.v[kArpPattern01StepLen + part] = 4;
  p.v[kArpPattern01Timing + part] = 5;
  p.v[kEffect1Param01 + part] = 0x10;
  p.v[kFX1ChorusSpeed + part] = 0x55;  // type parameters are never written
  p.v[kFilter1Cutoff + part] = 500;    // out of range: held to 127, never a status byte
  p.t[kPatchName + part] = "A name longer than sixteen";
  p.t[kCategoryName + part] = "Bass";
  const std::array<uint8_t, 392> d = dump::buildSoundDump(p, part, 0x11);
  const auto& init = dump::initSound();
  EXPECT_EQ(d[0], 0xF0);
  EXPECT_EQ(d[1], 0x3E);
  EXPECT_EQ(d[2], 0x10);
  EXPECT_EQ(d[3], 0x11);
  EXPECT_EQ(d[4], 0x10);
  EXPECT_EQ(d[5], 0x30);
  EXPECT_EQ(d[6], 3);
  EXPECT_EQ(d[8], 0x28);
  EXPECT_EQ(d[9], 0x34);
  EXPECT_EQ(d[11], 42);
  EXPECT_EQ(d[65], 0x31);
  EXPECT_EQ(d[227], 0x22);
  EXPECT_EQ(d[334], 0x2B);
  EXPECT_EQ(d[335], 0x23);
  EXPECT_EQ(d[350], 0x45);
  EXPECT_EQ(d[137], 0x10);
  EXPECT_EQ(d[85], 127);
  EXPECT_EQ(std::string(d.begin() + 370, d.begin() + 386), "A name longer th");
  EXPECT_EQ(std::string(d.begin() + 386, d.begin() + 390), "Bass");
  EXPECT_EQ(d[391], 0xF7);
  // Positions the layout leaves alone keep the init sound's bytes.
  for (int pos : {7, 21, 22, 23, 59, 123, 126, 132, 169, 202, 249, 316, 331, 366, 369})
    EXPECT_EQ(d[pos], init[pos]) << "position " << pos;
}

TEST(SoundDumpLayout, EveryFieldIsADataPositionAndNoneRepeats) {
  int n = 0;
  const dump::SoundField* f = dump::soundFields(&n);
  ASSERT_GT(n, 200);
  for (int i = 0; i < n; ++i) {
    EXPECT_GE(f[i].position, 8);
    EXPECT_LE(f[i].position, 330);
    if (i > 0) {
      EXPECT_GT(f[i].position, f[i - 1].position);
    }
  }
  EXPECT_EQ(dump::soundFieldAt(85)->param, kFilter1Cutoff);
  EXPECT_EQ(dump::soundFieldAt(124)->lock, kSectionLockFilter1);
  EXPECT_EQ(dump::soundFieldAt(330)->param, kArpPatternLength);
  EXPECT_EQ(dump::soundFieldAt(67), nullptr);
}

TEST(SoundDumpRoundTrip, BuiltDumpParsesBackToTheSameParameters) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 20; ++trial) {
    const int part = trial % 16;
    Params src;
    int n = 0;
    const dump::SoundField* fields = dump::soundFields(&n);
    for (int i = 0; i < n; ++i) randomField(fields[i], part, src, rng);
    for (int s = 0; s < 16; ++s) {
      dump::ArpStepParams a = dump::arpStepParams(s);
      src.v[a.accent + part] = rng() % 8;
      src.v[a.glide + part] = rng() % 2;
      src.v[a.step + part] = rng() % 8;
      src.v[a.stepLen + part] = rng() % 8;
      src.v[a.timing + part] = rng() % 16;
    }
    src.t[kPatchName + part] = "Round Trip " + std::to_string(trial);
    src.t[kCategoryName + part] = "Lead";
    std::array<uint8_t, 392> d = dump::buildSoundDump(src, part, 0);
    ASSERT_TRUE(sysex::applyChecksum(d.data(), 392));

    Params dst;
    dump::SoundParseResult r = dump::parseSoundDump(d.data(), 392, dst);
    ASSERT_TRUE(r.parsed);
    EXPECT_EQ(r.part, part);
    EXPECT_EQ(r.name, sysex::padName(src.t[kPatchName + part], 16));
    EXPECT_EQ(r.category, "Lead");
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(dst.value(fields[i].param + part), src.value(fields[i].param + part))
          << "position " << fields[i].position;
      if (fields[i].param2 >= 0) {
        EXPECT_EQ(dst.value(fields[i].param2 + part), src.value(fields[i].param2 + part))
            << "position " << fields[i].position;
      }
    }
    for (int s = 0; s < 16; ++s) {
      dump::ArpStepParams a = dump::arpStepParams(s);
      for (int param : {a.accent, a.glide, a.step, a.stepLen, a.timing})
        EXPECT_EQ(dst.value(param + part), src.value(param + part)) << "arp step " << s;
    }
    // The effect-type parameters of a slot follow the slot.
    EXPECT_EQ(dst.value(kFX1FlangerSpeed + part), src.value(kEffect1Param01 + part));
    EXPECT_EQ(dst.value(kFX2ReverbSize + part), src.value(kEffect2Param01 + part));
    EXPECT_EQ(dst.links[part], static_cast<int>(src.value(kFilterLinkValue + part)));
  }
}

TEST(SoundDumpParser, PackedBytesDecode) {
  Params p;
  std::array<uint8_t, 392> d = dump::initSound();
  d[6] = 2;
  d[8] = 0x28;    // octave: the byte itself (the interface's 40 is two octaves up from 16)
  d[65] = 0x30;   // unisono 3, poly
  d[124] = 0;     // parallel routing
  d[125] = 3;     // link on
  d[137] = 0x10;
  d[215] = 0x05;  // amp envelope mode 5, no trigger
  ASSERT_TRUE(dump::parseSoundDump(d.data(), 392, p).parsed);
  EXPECT_EQ(p.value(kOscillator1Octave + 2), 0x28);
  EXPECT_EQ(p.value(kOscillatorUnisono + 2), 3);
  EXPECT_EQ(p.value(kOscillatorMonoPolyMode + 2), 0);
  EXPECT_EQ(p.value(kFilterRoutingParallel + 2), 1);
  EXPECT_EQ(p.value(kFilterRoutingSerial + 2), 0);
  EXPECT_EQ(p.value(kFilterLinkSwitch + 2), 1);
  EXPECT_EQ(p.value(kAmpEnvMode + 2), 5);
  EXPECT_EQ(p.value(kAmpEnvTrigger + 2), 0);
  for (int param : {kEffect1Param01, kFX1ChorusSpeed, kFX1FlangerSpeed, kFX1PhaserSpeed, kFX1FiveFXSpeed, kFX1VocoderBands})
    EXPECT_EQ(p.value(param + 2), 16);
  // Unisono 6 and 7 with poly read back as written (not as unisono 5, mono).
  EXPECT_EQ(dump::decodeUnisono(0x60).unisono, 6);
  EXPECT_EQ(dump::decodeUnisono(0x60).monoPoly, 0);
  EXPECT_EQ(dump::decodeUnisono(0x31).unisono, 3);
  EXPECT_EQ(dump::decodeUnisono(0x31).monoPoly, 1);
  EXPECT_EQ(dump::decodeArpFirst(0x5B).step, 5);
  EXPECT_EQ(dump::decodeArpFirst(0x5B).accent, 3);
  EXPECT_EQ(dump::decodeArpFirst(0x5B).glide, 1);
}

TEST(SoundDumpParser, LockedSectionsKeepTheirValuesButNamesAlwaysLoad) {
  Params p;
  p.v[kSectionLockFilter1 + 3] = 1.0;
  p.v[kFilter1Cutoff + 3] = 99;
  p.v[kFilterRouting + 3] = 7;
  std::array<uint8_t, 392> d = dump::initSound();
  d[6] = 3;
  d[85] = 10;
  d[124] = 1;
  d[168] = 42;  // LFO 1 speed, unlocked
  ASSERT_TRUE(dump::parseSoundDump(d.data(), 392, p).parsed);
  EXPECT_EQ(p.value(kFilter1Cutoff + 3), 99);
  EXPECT_EQ(p.value(kFilterRouting + 3), 7);
  EXPECT_EQ(p.value(kLFO1Speed + 3), 42);
  EXPECT_EQ(p.text(kPatchName + 3), "Init Patch   vTn");
}

TEST(SoundDumpParser, RejectsShortForeignAndStoredSoundsWithoutTouchingAnything) {
  std::array<uint8_t, 392> d = dump::initSound();
  Params p;
  EXPECT_FALSE(dump::parseSoundDump(d.data(), 389, p).parsed);
  d[1] = 0x41;
  EXPECT_FALSE(dump::parseSoundDump(d.data(), 392, p).parsed);
  d[1] = 0x3E;
  d[6] = 40;  // a stored sound, not a part's edit buffer
  EXPECT_FALSE(dump::parseSoundDump(d.data(), 392, p).parsed);
  EXPECT_TRUE(p.v.empty());
  EXPECT_TRUE(p.t.empty());
  d[6] = 0;
  EXPECT_TRUE(dump::parseSoundDump(d.data(), 390, p).parsed);  // shortest accepted
}

TEST(MultiDump, BytesAndRoundTrip) {
  std::mt19937 rng(3);
  Params src;
  int nc = 0, np = 0;
  const dump::MultiField* common = dump::multiCommonFields(&nc);
  const dump::MultiField* part = dump::multiPartFields(&np);
  for (int i = 0; i < nc; ++i) src.v[common[i].param] = rng() % 128;
  for (int k = 0; k < 16; ++k)
    for (int i = 0; i < np; ++i) src.v[part[i].param + k] = static_cast<int>(rng() % 100) - part[i].delta;
  src.v[kMultiPartTranspose + 0] = 48;
  src.v[kMultiPartVeloLow + 0] = 0;
  src.t[kMultiName] = "Twenty characters!!!";
  std::array<uint8_t, 393> d = dump::buildMultiDump(src, 9);
  EXPECT_EQ(d[3], 9);
  EXPECT_EQ(d[4], 0x11);
  EXPECT_EQ(d[5], 0x20);
  EXPECT_EQ(d[6], 0x00);
  EXPECT_EQ(d[43], 64);
  EXPECT_EQ(d[51], 1);
  EXPECT_EQ(d[385], 0x77);
  EXPECT_EQ(d[386], 0x7F);
  EXPECT_EQ(d[392], 0xF7);
  EXPECT_EQ(std::string(d.begin() + 23, d.begin() + 39), "Twenty character");
  Params dst;
  std::string name;
  ASSERT_TRUE(dump::parseMultiDump(d.data(), 393, dst, &name));
  EXPECT_EQ(name, "Twenty character");
  for (int i = 0; i < nc; ++i) EXPECT_EQ(dst.value(common[i].param), src.value(common[i].param));
  for (int k = 0; k < 16; ++k)
    for (int i = 0; i < np; ++i)
      EXPECT_EQ(dst.value(part[i].param + k), src.value(part[i].param + k)) << "part " << k << " offset " << part[i].offset;
  // An empty name goes out as blanks.
  src.t[kMultiName] = "";
  d = dump::buildMultiDump(src, 9);
  EXPECT_EQ(std::string(d.begin() + 23, d.begin() + 39), std::string(16, ' '));
  EXPECT_FALSE(dump::parseMultiDump(d.data(), 390, dst, nullptr));
}

TEST(GlobalDump, BytesAndRoundTrip) {
  Params src;
  int n = 0;
  const dump::MultiField* f = dump::globalFields(&n);
  for (int i = 0; i < n; ++i) src.v[f[i].param] = 20 + i - f[i].delta;
  src.v[kGlobalLocalControl] = 0;
  std::array<uint8_t, 207> d = dump::buildGlobalDump(src, static_cast<int>(src.v[kGlobalSysExID]));
  EXPECT_EQ(d[3], d[30]);
  EXPECT_EQ(d[3], static_cast<int>(src.v[kGlobalSysExID]));
  EXPECT_EQ(d[4], 0x14);
  EXPECT_EQ(d[206], 0xF7);
  EXPECT_EQ(d[7], 0x63);  // template byte
  Params dst;
  ASSERT_TRUE(dump::parseGlobalDump(d.data(), 207, dst));
  for (int i = 0; i < n; ++i) EXPECT_EQ(dst.value(f[i].param), src.value(f[i].param));
  EXPECT_FALSE(dst.local);
  Params none;
  EXPECT_FALSE(dump::parseGlobalDump(d.data(), 206, none));
  EXPECT_TRUE(none.v.empty());
}

TEST(EffectSlots, TypeParametersMapToTheirSlot) {
  EXPECT_EQ(dump::effectSlotForTypeParam(1, kFX1FlangerSpeed)->slotParam, kEffect1Param01);
  EXPECT_EQ(dump::effectSlotForTypeParam(2, kFX2ReverbSize)->slotParam, kEffect2Param01);
  EXPECT_EQ(dump::effectSlotForTypeParam(2, kFX2DelaySyncedLength), nullptr);
  EXPECT_EQ(dump::effectSlotForTypeParam(1, kFX2ReverbSize), nullptr);
  EXPECT_EQ(dump::effectSlotForTypeParam(1, kFilter1Cutoff), nullptr);
}

TEST(LibrarianCapture, TheCompletingDumpNamesTheEntryAndIsKeptEvenWhenTheListIsFull) {
  std::array<uint8_t, 392> d = dump::initSound();
  const std::string padded = sysex::padName("Real Name", sysex::kNameWidth);
  for (int i = 0; i < sysex::kNameWidth; ++i) d[sysex::kSoundNamePos + i] = static_cast<uint8_t>(padded[i]);
  sysex::applyChecksum(d.data(), 392);
  // Noise first: a cut-off dump whose name bytes say something else, then enough parameter
  // changes to fill the capture's list.
  std::array<uint8_t, 392> cut = dump::initSound();
  for (int i = 0; i < sysex::kNameWidth; ++i) cut[sysex::kSoundNamePos + i] = 'X';
  const uint8_t change[] = {0xF0, 0x3E, 0x10, 0x10, 0x20, 0x00, 0x05, 0x40, 0xF7};

  LibraryRequest r(false);
  r.clearAndArm();
  EXPECT_FALSE(r.addMessageData(cut.data(), 200));
  for (size_t i = 0; i < LibraryRequest::kMaxMessages + 5; ++i) EXPECT_FALSE(r.addMessageData(change, sizeof change));
  ASSERT_TRUE(r.addMessageData(d.data(), 392, true));
  const LibrarianPatch p = r.snapshot();
  EXPECT_EQ(p.name.substr(0, 9), "Real Name");
  ASSERT_FALSE(p.messages.empty());
  EXPECT_EQ(p.messages.back().bytes, std::vector<uint8_t>(d.begin(), d.end()));
  EXPECT_LE(p.messages.size(), LibraryRequest::kMaxMessages);
}
