#include "ValueDisplay.h"

#include <cstdio>
#include <cstring>
#include <map>

#include "IControls.h"
#include "IParam.h"
#include "ParamNames.h"
#include "Sorvanta.h"
#include "UIConfigManager.h"

namespace ValueDisplay {

namespace {

enum Rule {
  kPlain,
  kNever,
  kOffset64,
  kOffset12,
  kOffset48,
  kOffset24,
  kFootage,
  kPlusOne,
  kPlusOneAll,
  kPlusTwo,
  kPulseWidth,
  kVocoderOffset,
  kLfoKeytrack,
  kKeytrack,
  kDelayFeedback,
  kFilterBalance,
  kPan,
  kLfoSpeed,
  kMidiChannel,
  kGlideMode,
  kVoiceMode,
  kFilterRoutingRule,
  kSwitch,
  kTempo,
  kList,
};

struct RuleInfo {
  Rule rule = kPlain;
  const char* list = nullptr;
};

// Keyed by block base or single number (what findParamByNumber reports).
class RuleTable {
public:
  RuleTable() {
    for (int b : {kOscillator1PWMAmount, kOscillator2PWMAmount, kOscillator3PWMAmount, kOscillator1Detune, kOscillator2Detune, kOscillator3Detune, kOscillator1Semitone, kOscillator2Semitone, kOscillator3Semitone, kOscillatorPitchAmount, kFilter1EnvAmount, kFilter1EnvVelocity, kFilter1ModAmount, kFilter1PanAmount, kFilter2EnvAmount, kFilter2EnvVelocity, kFilter2ModAmount, kFilter2PanAmount, kAmpLevelVelocity, kAmpModAmount, kFX1VocoderBandwidth, kFX1VocoderResonance, kFX1VocoderEQLowBandLevel, kFX1VocoderEQMiddleLevel, kFX1VocoderEQHighBandLevel, kFX2VocoderBandwidth, kFX2VocoderResonance, kFX2VocoderEQLowBandLevel, kFX2VocoderEQMiddleLevel, kFX2VocoderEQHighBandLevel, kLFO1Fade, kLFO2Fade, kLFO3Fade, kMultiPartDetune, kGlobalPedalOffset})
      set(b, kOffset64);
    family(kMod1FastAmount, kMod2FastAmount - kMod1FastAmount, 8, kOffset64);
    family(kMod1StandardAmount, kMod2StandardAmount - kMod1StandardAmount, 8, kOffset64);
    family(kModifier1SourceAmount, kModifier2SourceAmount - kModifier1SourceAmount, 4, kOffset64);
    set(kGlobalTranspose, kOffset12);
    set(kMultiPartTranspose, kOffset48);
    for (int b : {kOscillator1BendRange, kOscillator2BendRange, kOscillator3BendRange}) set(b, kOffset24);
    for (int b : {kOscillator1Octave, kOscillator2Octave, kOscillator3Octave}) set(b, kFootage);
    for (int b : {kOscillator1FrqDivide, kOscillator2FrqDivide}) set(b, kPlusOne);
    for (int b : {kFX1VocoderEQMiddleFreq, kFX2VocoderEQMiddleFreq, kArpOctRange, kArpMaxNotes, kArpPatternLength}) set(b, kPlusOneAll);
    for (int b : {kFX1VocoderBands, kFX2VocoderBands}) set(b, kPlusTwo);
    for (int b : {kOscillator1Pulsewidth, kOscillator2Pulsewidth, kOscillator3Pulsewidth}) set(b, kPulseWidth);
    for (int b : {kFX1VocoderAnalysisSOffset, kFX1VocoderAnalysisHiOffset, kFX2VocoderAnalysisSOffset, kFX2VocoderAnalysisHiOffset}) set(b, kVocoderOffset);
    for (int b : {kLFO1Keytrack, kLFO2Keytrack, kLFO3Keytrack}) set(b, kLfoKeytrack);
    for (int b : {kFilter1Keytrack, kFilter2Keytrack, kOscillator1Keytrack, kOscillator2Keytrack, kOscillator3Keytrack}) set(b, kKeytrack);
    set(kFX251DelayFeedback, kDelayFeedback);
    for (int b : {kOscillator1Balance, kOscillator2Balance, kOscillator3Balance, kRingModulationBalance, kNoiseBalance}) set(b, kFilterBalance);
    for (int b : {kFilter1Panning, kFilter2Panning, kMultiPartPanning}) set(b, kPan);
    for (int b : {kLFO1Speed, kLFO2Speed, kLFO3Speed}) set(b, kLfoSpeed);
    set(kMultiPartMIDICh, kMidiChannel);
    set(kOscillatorGlideMode, kGlideMode);
    set(kOscillatorMonoPolyMode, kVoiceMode);
    set(kFilterRoutingSerial, kFilterRoutingRule);
    for (int b : {kOscillator2SyncToOsc3, kOscillatorGlideOnOffSwitch, kLFO1SyncOnOff, kLFO2SyncOnOff, kLFO3SyncOnOff, kLFO1Clock, kLFO2Clock, kLFO3Clock, kArpSameNoteOverlap, kArpPatternReset, kFX2DelayClocked, kFX2DelayAutoPan, kPartLock, kSectionLockGlobal, kKeepSelectedBank, kFilterLinkSwitch, kControlProgBank, kControlLibrary, kDisableMIDIFromSynth, kGlobalLocalControl, kGlobalArpSend})
      set(b, kSwitch);
    family(kArpPattern01Glide, kArpPattern02Glide - kArpPattern01Glide, 16, kSwitch);
    for (int b : {kFX2DelayTempo, kMultiTempo}) set(b, kTempo);

    list({kOscillator1Shape, kOscillator2Shape}, "oscillator12shape");
    list({kOscillator3Shape}, "oscillator3shape");
    list({kOscillatorUnisono}, "unisonoVoices");
    list({kOscillator1FMSource, kOscillator2FMSource, kOscillator3FMSource, kFilter1FMSource, kFilter2FMSource}, "oscillatorFMSource");
    list({kOscillator1PWMSource, kOscillator2PWMSource, kOscillator3PWMSource, kOscillatorPitchSource, kFilter1ModSource, kFilter1PanSource, kFilter2ModSource, kFilter2PanSource, kAmpModSource}, "oscillatorPWMSource");
    listFamily(kMod1FastSource, kMod2FastSource - kMod1FastSource, 8, "oscillatorPWMSource");
    listFamily(kMod1FastDestination, kMod2FastDestination - kMod1FastDestination, 8, "fastModMatrixDestinations");
    listFamily(kMod1StandardSource, kMod2StandardSource - kMod1StandardSource, 8, "standardMatrixSources");
    listFamily(kModifier1Source1, kModifier2Source1 - kModifier1Source1, 4, "standardMatrixSources");
    listFamily(kMod1StandardDestination, kMod2StandardDestination - kMod1StandardDestination, 8, "standardMatrixDestinations");
    listFamily(kModifier1Source2, kModifier2Source2 - kModifier1Source2, 4, "modifierMatrixSources");
    listFamily(kModifier1SourceType, kModifier2SourceType - kModifier1SourceType, 4, "modifierOperators");
    list({kNoiseExtFilter1Source, kNoiseExtFilter2Source}, "noiseFeedSource");
    list({kFilter1Type, kFilter2Type}, "filter1Type");
    list({kLFO1Shape, kLFO2Shape, kLFO3Shape}, "lfoShape");
    list({kLFO1Startphase, kLFO2Startphase, kLFO3Startphase}, "startPhase");
    list({kFilterEnvMode, kAmpEnvMode, kEnvelope3Mode, kEnvelope4Mode}, "envelopeMode");
    list({kFilterEnvTrigger, kAmpEnvTrigger, kEnv3Trigger, kEnv4Trigger}, "envelopeTrigger");
    list({kEffect1Mode}, "fx1Mode");
    list({kEffect2Mode}, "fx2Mode");
    list({kFX1FlangerPolarity, kFX1PhaserPolarity, kFX2FlangerPolarity, kFX2PhaserPolarity, kFX2DelayPolarity}, "positiveNegative");
    list({kFX1FiveFXSampleHold, kFX2FiveFXSampleHold}, "sampleRate");
    list({kFX1FiveFXSource, kFX2FiveFXSource, kFX1VocoderAnalysisSignal, kFX2VocoderAnalysisSignal}, "fxInputList");
    list({kFX1VocoderAnalysisLoFrq, kFX1VocoderAnalysisHiFrq, kFX2VocoderAnalysisLoFrq, kFX2VocoderAnalysisHiFrq, kFX251DelayLFELP, kFX251DelayInputHP, kFX251DelayClockedLFELP, kFX251DelayClockedInputHP}, "analysisFrequency");
    list({kFX251DelayDelayML, kFX251DelayDelayMR, kFX251DelayDelayS2L, kFX251DelayS1L, kFX251DelayS1R, kFX251DelayClockedDelayML, kFX251DelayClockedDelayMR, kFX251DelayClockedDelayS2L, kFX251DelayClockedDelayS1L, kFX251DelayClockedDelayS1R}, "delayPercentage");
    list({kFX2DelayLength, kFX251DelayDelay}, "delayFreeValues");
    list({kFX251DelayClockedDelay, kFX2DelaySyncedLength}, "delayClockedValues");
    list({kFX2ReverbPredelay}, "preDelay");
    list({kFX2ReverbSize}, "reverbSize");
    list({kGlobalFX2Link}, "fxGlobalLink");
    list({kArpMode}, "arpMode");
    list({kArpPattern}, "arpPattern");
    list({kArpNoteLength}, "arpNoteLength");
    list({kArpDirection}, "arpDirection");
    list({kArpSortOrder}, "arpSortOrder");
    list({kArpVelocityMode}, "arpVeloMode");
    list({kArpClock}, "arpClock");
    listFamily(kArpPattern01Step, kArpPattern02Step - kArpPattern01Step, 16, "arpStepDisplay");
    listFamily(kArpPattern01Accent, kArpPattern02Accent - kArpPattern01Accent, 16, "arpAccent");
    listFamily(kArpPattern01Timing, kArpPattern02Timing - kArpPattern01Timing, 16, "arpTiming");
    listFamily(kArpPattern01StepLen, kArpPattern02StepLen - kArpPattern01StepLen, 16, "arpStepLength");
    list({kMultiPartStatus}, "partStatus");
    list({kMultiPartOutput}, "outputList");
    list({kMultiPartKeyLow, kMultiPartKeyHigh}, "keyList");
    list({kGlobalKeyVeloCurve}, "keyVeloOnCurve");
    list({kGlobalReleaseCurve}, "keyVeloOffCurve");
    list({kGlobalPressureCurve}, "keyPressureCurve");
    list({kGlobalPedalController}, "pedalCvController");
    list({kGlobalMidiChannel}, "globalChannel");
    list({kGlobalClock}, "globalClock");
    list({kGlobalControlSend}, "controllerSend");
    list({kGlobalReceive}, "controllerReceive");
    list({kGlobalRxProgramChange, kGlobalTxProgramChange}, "programChange");
    list({kGlobalTuning}, "globalTuning");
    list({kGlobalInputGain}, "globalInputGain");
    list({kGlobalMixInputTo}, "globalMixInTo");
    list({kGlobalPopupTime}, "globalPopupTime");
    list({kGlobalControlW, kGlobalControlX, kGlobalControlY, kGlobalControlZ, kMultiControlW, kMultiControlX, kMultiControlY, kMultiControlZ}, "controlList");

    for (int b : {kOverrideTempo, kOverrideSettings, kBankSelection, kPatchSelection, kMultiName, kPatchName, kCategoryName, kDeviceID_old, kLibUpperPreviousBank, kLibLowerPreviousBank, kLibUpperNextBank, kLibLowerNextBank, kSendMIDIClockPointer, kSendMIDIClockInfo, kTriggerProgControl, kOverwriteBank, kPatchSearchString, kPatchSearch, kFirstRunExit, kViewMIDIFilterSettings, kDeviceOutSelection, kDeviceInSelection, kFilterLinkTrigger, kDisplayAboutWindow, kExitAboutWindow, kTriggerGlobalArpMidiOut, kTriggerGlobalLocalKBDControl, kTriggerFX2DelayClocked, kTriggerFX2DelayPolarity, kTriggerFX2DelayAutoPan, kTriggerFX2FlangerPolarity, kTriggerFX2PhaserPolarity, kTriggerFX1FlangerPolarity, kTriggerFX1PhaserPolarity, kTriggerOscillator2SyncToOsc3, kTriggerOscillatorGlideOnOffSwitch, kTriggerLFO1SyncOnOff, kTriggerLFO2SyncOnOff, kTriggerLFO3SyncOnOff, kTriggerLFO1Clock, kTriggerLFO2Clock, kTriggerLFO3Clock, kTriggerOscillatorMonoPolyMode, kTriggerFilterEnvTrigger, kTriggerAmpEnvTrigger, kTriggerEnv3Trigger, kTriggerEnv4Trigger, kLibSyncTimer, kRequestFromBank, kPatchUp, kPatchDown, kControlDisplayName, kControlDisplayValue, kControlDisplayCC, kControlDisplayCategory, kControlDisplayPatch, kPushArrangement, kDiscardBankData, kRequestTempData, kControlDisplayMIDIOutDelay, kMultiSettings, kPatchRename, kDatatype, kRefreshFolders, kPatchSelectionListUpper, kPatchSelectionListLower, kCancelDataRequest, kRandomize, kMainTab, kTriggerLibControl, kQuickTab, kLibrarianArea})
      set(b, kNever);
  }

  RuleInfo find(int number) const {
    int part = 0;
    const ParamNameEntry* e = findParamByNumber(number, &part);
    if (e) {
      auto it = byBase.find(e->number);
      if (it != byBase.end()) return it->second;
    }
    // The section locks from kSectionLockOsc1 up to kSectionLockM8S are switches, whatever
    // names the numbers in between carry.
    if (number >= kSectionLockOsc1 && number < kSectionLockM8S + kNumParts) return {kSwitch, nullptr};
    return {};
  }

private:
  void set(int base, Rule r) { byBase[base] = {r, nullptr}; }
  void family(int first, int stride, int count, Rule r) {
    for (int i = 0; i < count; ++i) set(first + i * stride, r);
  }
  void list(std::initializer_list<int> bases, const char* name) {
    for (int b : bases) byBase[b] = {kList, name};
  }
  void listFamily(int first, int stride, int count, const char* name) {
    for (int i = 0; i < count; ++i) byBase[first + i * stride] = {kList, name};
  }
  std::map<int, RuleInfo> byBase;
};

const RuleTable& rules() {
  static const RuleTable table;
  return table;
}

std::string signedText(int v) { return v > 0 ? "+" + std::to_string(v) : std::to_string(v); }

std::string listEntry(const ListLookup& lists, const char* name, int s) {
  const std::vector<std::string>* l = lists ? lists(name) : nullptr;
  if (!l || s < 0 || s >= static_cast<int>(l->size())) return "";
  return (*l)[static_cast<size_t>(s)];
}

std::string offsetText(int v, int center) {
  if (v == center) return "0";
  return v < center ? std::to_string(v - center) : signedText(v - center);
}

}  // namespace

bool neverDisplayed(int paramIdx) { return rules().find(paramIdx).rule == kNever; }

std::string valueText(int paramIdx, int n, int s, const ListLookup& lists, const ValueLookup& values) {
  const RuleInfo info = rules().find(paramIdx);
  const int v = n;
  std::string f;
  switch (info.rule) {
    case kPlain:
    case kNever:
      return std::to_string(v);
    case kOffset64:
      if (v >= 0 && v <= 127) f = offsetText(v, 64);
      break;
    case kOffset12:
      if (v >= 0 && v <= 24) f = offsetText(v, 12);
      break;
    case kOffset48:
      if (v >= 0 && v <= 97) f = v == 48 ? "+0" : offsetText(v, 48);
      break;
    case kOffset24:
      if (v >= 0 && v <= 49) f = offsetText(v, 24);
      break;
    case kFootage: {
      static const std::map<int, const char*> feet = {{16, "128 \xC2\xB4"}, {28, " 64 \xC2\xB4"}, {40, " 32 \xC2\xB4"},
                                                      {52, " 16 \xC2\xB4"}, {64, "  8 \xC2\xB4"}, {76, "  4 \xC2\xB4"},
                                                      {88, "  2 \xC2\xB4"}, {100, "  1 \xC2\xB4"}, {112, "1/2 \xC2\xB4"}};
      auto it = feet.find(v);
      if (it != feet.end())
        f = it->second;
      else if (v < 16 || v > 112)  // beyond the footages the synth's octave number: 0x04 is -1
        f = std::to_string((v - 16) / 12);
      break;
    }
    case kPlusOne:
      if (v >= 0) f = std::to_string(v + 1);
      break;
    case kPlusOneAll:
      f = std::to_string(v + 1);
      break;
    case kPlusTwo:
      f = std::to_string(v + 2);
      break;
    case kPulseWidth:
      if (v <= 2)
        f = "<1%";
      else if (v == 127)
        f = "50%";
      else
        f = std::to_string(static_cast<int>(v / 1.28 * 0.5)) + "%";
      break;
    case kVocoderOffset:
      if (v >= 0 && v <= 32)
        f = std::to_string(3 * v - 128);
      else if (v >= 33 && v <= 63)
        f = std::to_string(v - 64);
      else if (v == 64)
        f = "0";
      else if (v >= 65 && v <= 95)
        f = signedText(v - 64);
      else if (v >= 96 && v <= 127)
        f = signedText(3 * v - 253);
      break;
    case kLfoKeytrack:
      if (v == 0)
        f = "-200%";
      else if (v >= 1 && v <= 63)
        f = std::to_string(static_cast<int>(v / 1.28 * 4) - 200) + "%";
      else if (v == 64)
        f = "0 %";
      else if (v >= 65 && v <= 126)
        f = std::to_string(static_cast<int>((v - 64) / 1.28 * 4)) + "%";
      else if (v == 127)
        f = "196%";
      break;
    case kKeytrack:
      if (v == 0)
        f = "-200%";
      else if (v >= 1 && v <= 63)
        f = "-" + std::to_string(2 * static_cast<int>((v - 64) * -1.55)) + "%";
      else if (v == 64)
        f = "+000%";
      else if (v == 96)
        f = "+100%";
      else if (v == 127)
        f = "+196%";
      else if (v >= 65 && v <= 126)
        f = "+" + std::to_string(2 * static_cast<int>((v - 64) * 1.55)) + "%";
      break;
    case kDelayFeedback:
      if (v == 0)
        f = "0%";
      else if (v == 64)
        f = "50%";
      else if (v == 127)
        f = "100%";
      else {
        char buf[32];
        snprintf(buf, sizeof buf, "%.2f%%", v / 1.28);
        f = buf;
      }
      break;
    case kFilterBalance:
      if (v == 0)
        f = "FILTER 1 100%";
      else if (v == 64)
        f = "F1 50% : F2 50%";
      else if (v == 127)
        f = "FILTER 2 100%";
      else if (v >= 1 && v <= 126) {
        const int p = static_cast<int>(v / 1.28);
        f = "F1 " + std::to_string(100 - p) + "% : F2 " + std::to_string(p) + "%";
      }
      break;
    case kPan:
      if (v == 0)
        f = "LEFT 100%";
      else if (v >= 1 && v <= 63)
        f = "LEFT " + std::to_string(static_cast<int>((v - 64) * -1.55)) + "%";
      else if (v == 64)
        f = "< CENTER >";
      else if (v >= 65 && v <= 126)
        f = "RIGHT " + std::to_string(static_cast<int>((v - 64) * 1.55)) + "%";
      else if (v == 127)
        f = "RIGHT 100%";
      break;
    case kLfoSpeed: {
      const int part = (paramIdx - kLFO1Speed) % kNumParts;
      int clock = kLFO1Clock;
      if (paramIdx >= kLFO2Speed && paramIdx < kLFO2Speed + kNumParts) clock = kLFO2Clock;
      if (paramIdx >= kLFO3Speed && paramIdx < kLFO3Speed + kNumParts) clock = kLFO3Clock;
      if (!values || values(clock + part) != 1.0) return std::to_string(v);
      f = listEntry(lists, "clockedValues", s);
      break;
    }
    case kMidiChannel:
      if (v == 0)
        f = "Global";
      else if (v == 1)
        f = "Omni";
      else if (v >= 2)
        f = std::to_string(v - 1);
      break;
    case kGlideMode: {
      static const char* const modes[] = {"PORTAMENTO", "FINGERED PORTA", "GLISSANDO", "FINGERED GLISS"};
      if (v >= 0 && v < 4) f = modes[v];
      break;
    }
    case kVoiceMode:
      if (v == 0) f = "POLY";
      if (v == 1) f = "MONO";
      break;
    case kFilterRoutingRule:
      if (v == 0) f = "Parallel";
      if (v == 1) f = "Serial";
      break;
    case kSwitch:
      if (v == 0) f = "OFF";
      if (v == 1) f = "ON";
      break;
    case kTempo:
      f = listEntry(lists, "tempoValues", s) + " BPM";
      break;
    case kList:
      f = listEntry(lists, info.list, s);
      break;
  }
  return f + " [" + std::to_string(n) + "]";
}

bool nameIsOfPart(const char* name, int part) {
  if (!name || strlen(name) < 2) return false;
  const std::string want = std::to_string(part + 1) + "]";
  return strncmp(name + 1, want.c_str(), want.size()) == 0;
}

}  // namespace ValueDisplay

std::string ControlDisplay::getValueString(double value) {
  char buf[64];
  snprintf(buf, sizeof buf, "%.0f", value);
  return buf;
}

void ControlDisplay::controlDisplay(Sorvanta* plug, int paramIdx, double value, bool partFilter) {
  if (!plug || !plug->constructionDone) return;
  IParam* param = plug->GetParam(paramIdx);
  if (!param) return;
  if (ValueDisplay::neverDisplayed(paramIdx)) return;
  if (paramIdx == kControlLibrary && !plug->hostBlockFlags[1]) return;
  const char* name = param->GetNameForHost();
  if (partFilter && !ValueDisplay::nameIsOfPart(name, plug->currentPart)) return;
  const int n = truncToInt(value);
  const int s = param->Int();
  UIConfigManager* ui = plug->getUIConfigManager();
  const std::string text = ValueDisplay::valueText(
      paramIdx, n, s, [ui](const std::string& list) { return ui ? ui->findValueList(list) : nullptr; },
      [plug](int number) { return plug->paramValue(number); });
  plug->showNameAndValue(name, text.c_str());
}
