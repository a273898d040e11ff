#include "PartRandomizer.h"

#include <random>

#include "IParam.h"
#include "IPluginBase.h"
#include "ParamNames.h"

namespace PartRandomizer {

namespace {

// One section of the pass: its lock, first slot, and plain rows in slot order (one slot each).
// Special sections are handled in code and list no rows here.
struct Section {
  int lock;
  int firstSlot;
  std::vector<int> rows;
};

enum Special { kNone, kUnison, kEnvFilter, kEnvAmp, kEnv3, kEnv4, kFX1, kFX2, kArp, kNoiseExt, kFilter1 };

struct PassEntry {
  Special special;
  Section section;
};

const std::vector<PassEntry>& passTable() {
  static const std::vector<PassEntry> table = {
      {kNone, {kSectionLockOsc1, 0, {kOscillator1Octave, kOscillator1Semitone, kOscillator1Detune, kOscillator1BendRange, kOscillator1Keytrack, kOscillator1FMSource, kOscillator1FMAmount, kOscillator1Shape, kOscillator1Pulsewidth, kOscillator1PWMSource, kOscillator1PWMAmount, kOscillator1FrqDivide, kOscillator1SubLevel}}},
      {kNone, {kSectionLockOsc2, 13, {kOscillator2Octave, kOscillator2Semitone, kOscillator2Detune, kOscillator2BendRange, kOscillator2Keytrack, kOscillator2FMSource, kOscillator2FMAmount, kOscillator2Shape, kOscillator2Pulsewidth, kOscillator2PWMSource, kOscillator2PWMAmount, kOscillator2FrqDivide, kOscillator2SubLevel, kOscillator2SyncToOsc3}}},
      {kNone, {kSectionLockOsc3, 27, {kOscillator3Octave, kOscillator3Semitone, kOscillator3Detune, kOscillator3BendRange, kOscillator3Keytrack, kOscillator3FMSource, kOscillator3FMAmount, kOscillator3Shape, kOscillator3Pulsewidth, kOscillator3PWMSource, kOscillator3PWMAmount}}},
      {kNone, {kSectionLockPitchMod, 38, {kOscillatorPitchSource, kOscillatorPitchAmount, kOscillatorGlideOnOffSwitch, kOscillatorGlideMode, kOscillatorGlideRate}}},
      {kUnison, {kSectionLockUnisono, 43, {}}},
      {kNone, {kSectionLockMixer, 45, {kOscillator1Level, kOscillator1Balance, kOscillator2Level, kOscillator2Balance, kOscillator3Level, kOscillator3Balance, kNoiseLevel, kNoiseBalance, kRingModulationLevel, kRingModulationBalance}}},
      {kNone, {kSectionLockNoiseExt, 55, {kNoiseExtFilter1Source, kNoiseExtFilter2Source}}},
      {kFilter1, {kSectionLockFilter1, 55, {kFilter1Type, kFilter1Cutoff, kFilter1Resonance, kFilter1Drive, kFilter1Keytrack, kFilter1EnvAmount, kFilter1EnvVelocity, kFilter1ModSource, kFilter1ModAmount, kFilter1FMSource, kFilter1FMAmount, kFilter1Panning, kFilter1PanSource, kFilter1PanAmount}}},
      {kNone, {kSectionLockFilter2, 71, {kFilter2Type, kFilter2Cutoff, kFilter2Resonance, kFilter2Drive, kFilter2Keytrack, kFilter2EnvAmount, kFilter2EnvVelocity, kFilter2ModSource, kFilter2ModAmount, kFilter2FMSource, kFilter2FMAmount, kFilter2Panning, kFilter2PanSource, kFilter2PanAmount}}},
      {kNone, {kSectionLockAmp, 85, {kAmpLevel, kAmpLevelVelocity, kAmpModSource, kAmpModAmount}}},
      {kFX1, {kSectionLockFX1, 89, {}}},
      {kFX2, {kSectionLockFX2, 105, {}}},
      {kNone, {kSectionLockLFO1, 121, {kLFO1Shape, kLFO1Speed, kLFO1SyncOnOff, kLFO1Clock, kLFO1Startphase, kLFO1Delay, kLFO1Fade, kLFO1Keytrack}}},
      {kNone, {kSectionLockLFO2, 129, {kLFO2Shape, kLFO2Speed, kLFO2SyncOnOff, kLFO2Clock, kLFO2Startphase, kLFO2Delay, kLFO2Fade, kLFO2Keytrack}}},
      {kNone, {kSectionLockLFO3, 137, {kLFO3Shape, kLFO3Speed, kLFO3SyncOnOff, kLFO3Clock, kLFO3Startphase, kLFO3Delay, kLFO3Fade, kLFO3Keytrack}}},
      {kEnvFilter, {kSectionLockFilterEnv, 145, {kFilterEnvAttack, kFilterAttackLevel, kFilterEnvDecay, kFilterEnvSustain, kFilterEnvDecay2, kFilterEnvSustain2, kFilterEnvRelease}}},
      {kEnvAmp, {kSectionLockAmpEnv, 153, {kAmpEnvAttack, kAmpAttackLevel, kAmpEnvDecay, kAmpEnvSustain, kAmpEnvDecay2, kAmpEnvSustain2, kAmpEnvRelease}}},
      {kEnv3, {kSectionLockEnv3, 161, {kEnv3Attack, kEnv3AttackLevel, kEnv3Decay, kEnv3Sustain, kEnv3Decay2, kEnv3Sustain2, kEnv3Release}}},
      {kEnv4, {kSectionLockEnv4, 169, {kEnv4Attack, kEnv4AttackLevel, kEnv4Decay, kEnv4Sustain, kEnv4Decay2, kEnv4Sustain2, kEnv4Release}}},
      {kNone, {kSectionLockMod1, 177, {kModifier1Source1, kModifier1Source2, kModifier1SourceType, kModifier1SourceAmount}}},
      {kNone, {kSectionLockMod2, 181, {kModifier2Source1, kModifier2Source2, kModifier2SourceType, kModifier2SourceAmount}}},
      {kNone, {kSectionLockMod3, 185, {kModifier3Source1, kModifier3Source2, kModifier3SourceType, kModifier3SourceAmount}}},
      {kNone, {kSectionLockMod4, 189, {kModifier4Source1, kModifier4Source2, kModifier4SourceType, kModifier4SourceAmount}}},
      {kNone, {kSectionLockM1F, 193, {kMod1FastSource, kMod1FastDestination, kMod1FastAmount}}},
      {kNone, {kSectionLockM2F, 196, {kMod2FastSource, kMod2FastDestination, kMod2FastAmount}}},
      {kNone, {kSectionLockM3F, 199, {kMod3FastSource, kMod3FastDestination, kMod3FastAmount}}},
      {kNone, {kSectionLockM4F, 202, {kMod4FastSource, kMod4FastDestination, kMod4FastAmount}}},
      {kNone, {kSectionLockM5F, 205, {kMod5FastSource, kMod5FastDestination, kMod5FastAmount}}},
      {kNone, {kSectionLockM6F, 208, {kMod6FastSource, kMod6FastDestination, kMod6FastAmount}}},
      {kNone, {kSectionLockM7F, 211, {kMod7FastSource, kMod7FastDestination, kMod7FastAmount}}},
      {kNone, {kSectionLockM8F, 214, {kMod8FastSource, kMod8FastDestination, kMod8FastAmount}}},
      {kNone, {kSectionLockM1S, 217, {kMod1StandardSource, kMod1StandardDestination, kMod1StandardAmount}}},
      {kNone, {kSectionLockM2S, 220, {kMod2StandardSource, kMod2StandardDestination, kMod2StandardAmount}}},
      {kNone, {kSectionLockM3S, 223, {kMod3StandardSource, kMod3StandardDestination, kMod3StandardAmount}}},
      {kNone, {kSectionLockM4S, 226, {kMod4StandardSource, kMod4StandardDestination, kMod4StandardAmount}}},
      {kNone, {kSectionLockM5S, 229, {kMod5StandardSource, kMod5StandardDestination, kMod5StandardAmount}}},
      {kNone, {kSectionLockM6S, 232, {kMod6StandardSource, kMod6StandardDestination, kMod6StandardAmount}}},
      {kNone, {kSectionLockM7S, 235, {kMod7StandardSource, kMod7StandardDestination, kMod7StandardAmount}}},
      {kNone, {kSectionLockM8S, 238, {kMod8StandardSource, kMod8StandardDestination, kMod8StandardAmount}}},
      {kArp, {kSectionLockArp, 241, {kArpMode, kArpPattern, kArpMaxNotes, kArpClock, kArpNoteLength, kArpOctRange, kArpDirection, kArpSortOrder, kArpVelocityMode, kArpTimeFactor, kArpSameNoteOverlap, kArpPatternReset, kArpPatternLength}}},
  };
  return table;
}

// Effect rows: slot offset 0..15 within the section; the numbered slot parameter first, then the
// effect type parameters drawn from the same byte.
struct FxRow {
  int slotParam;
  std::vector<int> typeParams;
};

const std::vector<FxRow>& fx1Rows() {
  static const std::vector<FxRow> rows = {
      {kEffect1Mode, {}},
      {kEffect1Mix, {}},
      {kEffect1Param01, {kFX1ChorusSpeed, kFX1FlangerSpeed, kFX1PhaserSpeed, kFX1FiveFXSpeed, kFX1VocoderBands}},
      {kEffect1Param02, {kFX1ChorusDepth, kFX1FlangerDepht, kFX1PhaserDepth, kFX1OverdriveDrive, kFX1FiveFXDepth, kFX1VocoderAnalysisSignal}},
      {kEffect1Param03, {kFX1OverdrivePostGain, kFX1FiveFXDelay, kFX1VocoderAnalysisLoFrq}},
      {kEffect1Param04, {kFX1ChorusDelay, kFX1FiveFXChorusDelay, kFX1VocoderAnalysisHiFrq}},
      {kEffect1Param05, {kFX1FlangerFeedBack, kFX1PhaserFeedback, kFX1FiveFXSampleHold, kFX1VocoderAnalysisSOffset}},
      {kEffect1Param06, {kFX1PhaserCenter, kFX1OverdriveCutoff, kFX1FiveFXOverdrive, kFX1VocoderAnalysisHiOffset}},
      {kEffect1Param07, {kFX1PhaserSpacing, kFX1FiveFXSource, kFX1VocoderBandwidth}},
      {kEffect1Param08, {kFX1FiveFXRingMod, kFX1VocoderResonance}},
      {kEffect1Param09, {kFX1FlangerPolarity, kFX1PhaserPolarity, kFX1VocoderAttack}},
      {kEffect1Param10, {kFX1VocoderDecay}},
      {kEffect1Param11, {kFX1VocoderEQLowBandLevel}},
      {kEffect1Param12, {kFX1VocoderEQMiddleFreq}},
      {kEffect1Param13, {kFX1VocoderEQMiddleLevel}},
      {kEffect1Param14, {kFX1VocoderEQHighBandLevel}},
  };
  return rows;
}

const std::vector<FxRow>& fx2Rows() {
  static const std::vector<FxRow> rows = {
      {kEffect2Mode, {}},
      {kEffect2Mix, {}},
      {kEffect2Param01, {kFX2ChorusSpeed, kFX2FlangerSpeed, kFX2PhaserSpeed, kFX2FiveFXSpeed, kFX2VocoderBands, kFX2ReverbSize, kFX251DelayDelay, kFX251DelayClockedDelay}},
      {kEffect2Param02, {kFX2ChorusDepth, kFX2FlangerDepht, kFX2PhaserDepth, kFX2OverdriveDrive, kFX2FiveFXDepth, kFX2VocoderAnalysisSignal, kFX2ReverbShape, kFX251DelayFeedback, kFX251DelayClockedFeedback}},
      {kEffect2Param03, {kFX2DelayTempo, kFX2OverdrivePostGain, kFX2FiveFXDelay, kFX2VocoderAnalysisLoFrq, kFX2ReverbDecay, kFX251DelayLFELP, kFX251DelayClockedLFELP}},
      {kEffect2Param04, {kFX2ChorusDelay, kFX2DelayLength, kFX2FiveFXChorusDelay, kFX2VocoderAnalysisHiFrq, kFX2ReverbPredelay, kFX251DelayInputHP, kFX251DelayClockedInputHP}},
      {kEffect2Param05, {kFX2FlangerFeedBack, kFX2PhaserFeedback, kFX2DelayFeedback, kFX2FiveFXSampleHold, kFX2VocoderAnalysisSOffset, kFX251DelayDelayML, kFX251DelayClockedDelayML}},
      {kEffect2Param06, {kFX2PhaserCenter, kFX2DelayCutoff, kFX2OverdriveCutoff, kFX2FiveFXOverdrive, kFX2VocoderAnalysisHiOffset, kFX2ReverbLowppass, kFX251DelayFSLV, kFX251DelayClockedFSLV}},
      {kEffect2Param07, {kFX2PhaserSpacing, kFX2FiveFXSource, kFX2VocoderBandwidth, kFX2ReverbHighPass, kFX251DelayDelayMR, kFX251DelayClockedDelayMR}},
      {kEffect2Param08, {kFX2DelayClocked, kFX2FiveFXRingMod, kFX2VocoderResonance, kFX2ReverbDiffusion, kFX251DelayFSRV, kFX251DelayClockedFSRV}},
      {kEffect2Param09, {kFX2FlangerPolarity, kFX2PhaserPolarity, kFX2DelayPolarity, kFX2VocoderAttack, kFX2ReverbDamping, kFX251DelayDelayS2L, kFX251DelayClockedDelayS2L}},
      {kEffect2Param10, {kFX2DelayAutoPan, kFX2VocoderDecay, kFX251DelayCntrSV, kFX251DelayClockedCntrSV}},
      {kEffect2Param11, {kFX2VocoderEQLowBandLevel, kFX251DelayS1L, kFX251DelayClockedDelayS1L, kFX2DelaySyncedLength}},
      {kEffect2Param12, {kFX2VocoderEQMiddleFreq, kFX251DelayRearSLV, kFX251DelayClockedRearSLV}},
      {kEffect2Param13, {kFX2VocoderEQMiddleLevel, kFX251DelayS1R, kFX251DelayClockedDelayS1R}},
      {kEffect2Param14, {kFX2VocoderEQHighBandLevel, kFX251DelayRearSRV, kFX251DelayClockedRearSRV}},
  };
  return rows;
}

}  // namespace

int draw(double min, double max, int byte) {
  const int m = static_cast<int>(max);
  const int s = static_cast<int>(max - min);
  int r = byte;
  if (m == 1) {
    while (r > s) r -= 2;
  } else if (m >= 2) {
    while (r > s) r -= m;
  } else if (r > s) {
    r = s > 0 ? r % (s + 1) : 0;
  }
  return r;
}

void randomGenerator(std::vector<int>& values, unsigned seed) {
  std::minstd_rand gen(seed == 0 ? 1u : seed);
  values.assign(kNumRandomValues, 0);
  for (int& v : values) v = static_cast<int>(gen() % 256u);
}

void randomizePatchSettings(const IPluginBase* plug, const std::vector<int>& values, int part,
                            const std::function<void(int, double)>& put) {
  if (!plug || part < 0 || part >= kNumParts || static_cast<int>(values.size()) < kNumRandomValues) return;
  auto param = [plug](int number) { return plug->GetParam(number); };
  // Draw of parameter `number` (already + part) from slot, over its own range.
  auto drawOf = [&](int number, int slot) {
    const IParam* p = param(number);
    return p ? draw(p->GetMin(), p->GetMax(), values[static_cast<size_t>(slot)]) : 0;
  };
  auto drawAndPut = [&](int number, int slot) {
    if (param(number)) put(number, drawOf(number, slot));
  };

  const std::vector<PassEntry>& table = passTable();
  std::vector<double> locks;
  for (const PassEntry& e : table) {
    const IParam* lock = param(e.section.lock + part);
    locks.push_back(lock ? lock->Value() : 1.0);
  }

  for (size_t i = 0; i < table.size(); ++i) {
    if (locks[i] != 0.0) continue;
    const PassEntry& e = table[i];
    const int first = e.section.firstSlot;
    switch (e.special) {
      case kUnison: {
        const int u = drawOf(kOscillatorUnisono + part, 43);
        put(kOscillatorUnisono + part, u >= 6 ? u - 1 : u);
        put(kOscillatorMonoPolyMode + part, u >= 6 ? 1 : 0);
        drawAndPut(kOscillatorUniDetune + part, 44);
        break;
      }
      case kEnvFilter:
      case kEnvAmp:
      case kEnv3:
      case kEnv4: {
        static const int modes[] = {kFilterEnvMode, kAmpEnvMode, kEnvelope3Mode, kEnvelope4Mode};
        static const int triggers[] = {kFilterEnvTrigger, kAmpEnvTrigger, kEnv3Trigger, kEnv4Trigger};
        const int k = e.special - kEnvFilter;
        const int u = drawOf(modes[k] + part, first);
        put(modes[k] + part, u < 32 ? u : u - 32);
        put(triggers[k] + part, u < 32 ? 0 : 1);
        for (size_t r = 0; r < e.section.rows.size(); ++r) drawAndPut(e.section.rows[r] + part, first + 1 + static_cast<int>(r));
        break;
      }
      case kFX1:
      case kFX2: {
        const std::vector<FxRow>& rows = e.special == kFX1 ? fx1Rows() : fx2Rows();
        for (size_t r = 0; r < rows.size(); ++r) {
          const int slot = first + static_cast<int>(r);
          drawAndPut(rows[r].slotParam + part, slot);
          for (int t : rows[r].typeParams) drawAndPut(t + part, slot);
        }
        break;
      }
      case kArp: {
        for (size_t r = 0; r < e.section.rows.size(); ++r) drawAndPut(e.section.rows[r] + part, first + static_cast<int>(r));
        // Pattern steps draw over the range of part 0's filter 1 cutoff, whatever part this is.
        const IParam* range = param(kFilter1Cutoff);
        if (!range) break;
        const int stride = kArpPattern02Glide - kArpPattern01Glide;
        for (int n = 0; n < 16; ++n) {
          const int u = draw(range->GetMin(), range->GetMax(), values[static_cast<size_t>(254 + n)]);
          int accent = u >= 128 ? 0 : u % 16;
          int glide = 0;
          if (accent >= 8) {
            accent -= 8;
            glide = 1;
          }
          const int base = n * stride + part;
          put(kArpPattern01Glide + base, glide);
          put(kArpPattern01Step + base, u / 16);
          put(kArpPattern01Accent + base, accent);
        }
        for (int n = 0; n < 16; ++n) {
          const int u = draw(range->GetMin(), range->GetMax(), values[static_cast<size_t>(270 + n)]);
          const int base = n * stride + part;
          put(kArpPattern01StepLen + base, u / 16);
          put(kArpPattern01Timing + base, u >= 128 ? 0 : u % 16);
        }
        break;
      }
      case kFilter1: {
        for (size_t r = 0; r < e.section.rows.size(); ++r) drawAndPut(e.section.rows[r] + part, first + static_cast<int>(r));
        const int u = drawOf(kFilterRouting + part, 69);
        put(kFilterRouting + part, u);
        put(kFilterRoutingParallel + part, u != 0 ? 0 : 1);
        put(kFilterRoutingSerial + part, u != 0 ? 1 : 0);
        break;
      }
      case kNone:
      case kNoiseExt:
        for (size_t r = 0; r < e.section.rows.size(); ++r) drawAndPut(e.section.rows[r] + part, first + static_cast<int>(r));
        break;
    }
  }
}

}  // namespace PartRandomizer
