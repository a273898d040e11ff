#include "DumpLayout.h"

#include "ParamNames.h"

namespace dump {

namespace {

// Sound dump data positions read and written, ascending. Positions not listed keep the init
// sound's byte when a dump is built and are not read when one is parsed.
const SoundField kSoundFields[] = {
    {8, kOscillator1Octave, kOctave, kSectionLockOsc1},
    {9, kOscillator1Semitone, kSemitone, kSectionLockOsc1},
    {10, kOscillator1Detune, kValue, kSectionLockOsc1},
    {11, kOscillator1BendRange, kBendRange, kSectionLockOsc1},
    {12, kOscillator1Keytrack, kValue, kSectionLockOsc1},
    {13, kOscillator1FMSource, kValue, kSectionLockOsc1},
    {14, kOscillator1FMAmount, kValue, kSectionLockOsc1},
    {15, kOscillator1Shape, kValue, kSectionLockOsc1},
    {16, kOscillator1Pulsewidth, kValue, kSectionLockOsc1},
    {17, kOscillator1PWMSource, kValue, kSectionLockOsc1},
    {18, kOscillator1PWMAmount, kValue, kSectionLockOsc1},
    {19, kOscillator1FrqDivide, kValue, kSectionLockOsc1},
    {20, kOscillator1SubLevel, kValue, kSectionLockOsc1},
    {24, kOscillator2Octave, kOctave, kSectionLockOsc2},
    {25, kOscillator2Semitone, kSemitone, kSectionLockOsc2},
    {26, kOscillator2Detune, kValue, kSectionLockOsc2},
    {27, kOscillator2BendRange, kBendRange, kSectionLockOsc2},
    {28, kOscillator2Keytrack, kValue, kSectionLockOsc2},
    {29, kOscillator2FMSource, kValue, kSectionLockOsc2},
    {30, kOscillator2FMAmount, kValue, kSectionLockOsc2},
    {31, kOscillator2Shape, kValue, kSectionLockOsc2},
    {32, kOscillator2Pulsewidth, kValue, kSectionLockOsc2},
    {33, kOscillator2PWMSource, kValue, kSectionLockOsc2},
    {34, kOscillator2PWMAmount, kValue, kSectionLockOsc2},
    {35, kOscillator2FrqDivide, kValue, kSectionLockOsc2},
    {36, kOscillator2SubLevel, kValue, kSectionLockOsc2},
    {40, kOscillator3Octave, kOctave, kSectionLockOsc3},
    {41, kOscillator3Semitone, kSemitone, kSectionLockOsc3},
    {42, kOscillator3Detune, kValue, kSectionLockOsc3},
    {43, kOscillator3BendRange, kBendRange, kSectionLockOsc3},
    {44, kOscillator3Keytrack, kValue, kSectionLockOsc3},
    {45, kOscillator3FMSource, kValue, kSectionLockOsc3},
    {46, kOscillator3FMAmount, kValue, kSectionLockOsc3},
    {47, kOscillator3Shape, kValue, kSectionLockOsc3},
    {48, kOscillator3Pulsewidth, kValue, kSectionLockOsc3},
    {49, kOscillator3PWMSource, kValue, kSectionLockOsc3},
    {50, kOscillator3PWMAmount, kValue, kSectionLockOsc3},
    {56, kOscillator2SyncToOsc3, kValue, kSectionLockOsc2},
    {57, kOscillatorPitchSource, kValue, kSectionLockPitchMod},
    {58, kOscillatorPitchAmount, kValue, kSectionLockPitchMod},
    {60, kOscillatorGlideOnOffSwitch, kValue, kSectionLockPitchMod},
    {63, kOscillatorGlideMode, kValue, kSectionLockPitchMod},
    {64, kOscillatorGlideRate, kValue, kSectionLockPitchMod},
    {65, kOscillatorUnisono, kUnisono, kSectionLockUnisono, kOscillatorMonoPolyMode},
    {66, kOscillatorUniDetune, kValue, kSectionLockUnisono},
    {68, kOscillator1Level, kValue, kSectionLockMixer},
    {69, kOscillator1Balance, kValue, kSectionLockMixer},
    {70, kOscillator2Level, kValue, kSectionLockMixer},
    {71, kOscillator2Balance, kValue, kSectionLockMixer},
    {72, kOscillator3Level, kValue, kSectionLockMixer},
    {73, kOscillator3Balance, kValue, kSectionLockMixer},
    {74, kNoiseLevel, kValue, kSectionLockMixer},
    {75, kNoiseBalance, kValue, kSectionLockMixer},
    {78, kRingModulationLevel, kValue, kSectionLockMixer},
    {79, kRingModulationBalance, kValue, kSectionLockMixer},
    {82, kNoiseExtFilter1Source, kValue, kSectionLockNoiseExt},
    {83, kNoiseExtFilter2Source, kValue, kSectionLockNoiseExt},
    {84, kFilter1Type, kValue, kSectionLockFilter1},
    {85, kFilter1Cutoff, kValue, kSectionLockFilter1},
    {87, kFilter1Resonance, kValue, kSectionLockFilter1},
    {88, kFilter1Drive, kValue, kSectionLockFilter1},
    {93, kFilter1Keytrack, kValue, kSectionLockFilter1},
    {94, kFilter1EnvAmount, kValue, kSectionLockFilter1},
    {95, kFilter1EnvVelocity, kValue, kSectionLockFilter1},
    {96, kFilter1ModSource, kValue, kSectionLockFilter1},
    {97, kFilter1ModAmount, kValue, kSectionLockFilter1},
    {98, kFilter1FMSource, kValue, kSectionLockFilter1},
    {99, kFilter1FMAmount, kValue, kSectionLockFilter1},
    {100, kFilter1Panning, kValue, kSectionLockFilter1},
    {101, kFilter1PanSource, kValue, kSectionLockFilter1},
    {102, kFilter1PanAmount, kValue, kSectionLockFilter1},
    {104, kFilter2Type, kValue, kSectionLockFilter2},
    {105, kFilter2Cutoff, kValue, kSectionLockFilter2},
    {107, kFilter2Resonance, kValue, kSectionLockFilter2},
    {108, kFilter2Drive, kValue, kSectionLockFilter2},
    {113, kFilter2Keytrack, kValue, kSectionLockFilter2},
    {114, kFilter2EnvAmount, kValue, kSectionLockFilter2},
    {115, kFilter2EnvVelocity, kValue, kSectionLockFilter2},
    {116, kFilter2ModSource, kValue, kSectionLockFilter2},
    {117, kFilter2ModAmount, kValue, kSectionLockFilter2},
    {118, kFilter2FMSource, kValue, kSectionLockFilter2},
    {119, kFilter2FMAmount, kValue, kSectionLockFilter2},
    {120, kFilter2Panning, kValue, kSectionLockFilter2},
    {121, kFilter2PanSource, kValue, kSectionLockFilter2},
    {122, kFilter2PanAmount, kValue, kSectionLockFilter2},
    {124, kFilterRouting, kRouting, kSectionLockFilter1},
    {125, kFilterLinkValue, kLink, kSectionLockFilter1},
    {128, kAmpLevel, kValue, kSectionLockAmp},
    {129, kAmpLevelVelocity, kValue, kSectionLockAmp},
    {130, kAmpModSource, kValue, kSectionLockAmp},
    {131, kAmpModAmount, kValue, kSectionLockAmp},
    {135, kEffect1Mode, kValue, kSectionLockFX1},
    {136, kEffect1Mix, kValue, kSectionLockFX1},
    {137, kEffect1Param01, kEffectSlot, kSectionLockFX1},
    {138, kEffect1Param02, kEffectSlot, kSectionLockFX1},
    {139, kEffect1Param03, kEffectSlot, kSectionLockFX1},
    {140, kEffect1Param04, kEffectSlot, kSectionLockFX1},
    {141, kEffect1Param05, kEffectSlot, kSectionLockFX1},
    {142, kEffect1Param06, kEffectSlot, kSectionLockFX1},
    {143, kEffect1Param07, kEffectSlot, kSectionLockFX1},
    {144, kEffect1Param08, kEffectSlot, kSectionLockFX1},
    {145, kEffect1Param09, kEffectSlot, kSectionLockFX1},
    {146, kEffect1Param10, kEffectSlot, kSectionLockFX1},
    {147, kEffect1Param11, kEffectSlot, kSectionLockFX1},
    {148, kEffect1Param12, kEffectSlot, kSectionLockFX1},
    {149, kEffect1Param13, kEffectSlot, kSectionLockFX1},
    {150, kEffect1Param14, kEffectSlot, kSectionLockFX1},
    {151, kEffect2Mode, kValue, kSectionLockFX2},
    {152, kEffect2Mix, kValue, kSectionLockFX2},
    {153, kEffect2Param01, kEffectSlot, kSectionLockFX2},
    {154, kEffect2Param02, kEffectSlot, kSectionLockFX2},
    {155, kEffect2Param03, kEffectSlot, kSectionLockFX2},
    {156, kEffect2Param04, kEffectSlot, kSectionLockFX2},
    {157, kEffect2Param05, kEffectSlot, kSectionLockFX2},
    {158, kEffect2Param06, kEffectSlot, kSectionLockFX2},
    {159, kEffect2Param07, kEffectSlot, kSectionLockFX2},
    {160, kEffect2Param08, kEffectSlot, kSectionLockFX2},
    {161, kEffect2Param09, kEffectSlot, kSectionLockFX2},
    {162, kEffect2Param10, kEffectSlot, kSectionLockFX2},
    {163, kEffect2Param11, kEffectSlot, kSectionLockFX2},
    {164, kEffect2Param12, kEffectSlot, kSectionLockFX2},
    {165, kEffect2Param13, kEffectSlot, kSectionLockFX2},
    {166, kEffect2Param14, kEffectSlot, kSectionLockFX2},
    {167, kLFO1Shape, kValue, kSectionLockLFO1},
    {168, kLFO1Speed, kValue, kSectionLockLFO1},
    {170, kLFO1SyncOnOff, kValue, kSectionLockLFO1},
    {171, kLFO1Clock, kValue, kSectionLockLFO1},
    {172, kLFO1Startphase, kValue, kSectionLockLFO1},
    {173, kLFO1Delay, kValue, kSectionLockLFO1},
    {174, kLFO1Fade, kValue, kSectionLockLFO1},
    {177, kLFO1Keytrack, kValue, kSectionLockLFO1},
    {179, kLFO2Shape, kValue, kSectionLockLFO2},
    {180, kLFO2Speed, kValue, kSectionLockLFO2},
    {182, kLFO2SyncOnOff, kValue, kSectionLockLFO2},
    {183, kLFO2Clock, kValue, kSectionLockLFO2},
    {184, kLFO2Startphase, kValue, kSectionLockLFO2},
    {185, kLFO2Delay, kValue, kSectionLockLFO2},
    {186, kLFO2Fade, kValue, kSectionLockLFO2},
    {189, kLFO2Keytrack, kValue, kSectionLockLFO2},
    {191, kLFO3Shape, kValue, kSectionLockLFO3},
    {192, kLFO3Speed, kValue, kSectionLockLFO3},
    {194, kLFO3SyncOnOff, kValue, kSectionLockLFO3},
    {195, kLFO3Clock, kValue, kSectionLockLFO3},
    {196, kLFO3Startphase, kValue, kSectionLockLFO3},
    {197, kLFO3Delay, kValue, kSectionLockLFO3},
    {198, kLFO3Fade, kValue, kSectionLockLFO3},
    {201, kLFO3Keytrack, kValue, kSectionLockLFO3},
    {203, kFilterEnvMode, kEnvelope, kSectionLockFilterEnv, kFilterEnvTrigger},
    {206, kFilterEnvAttack, kValue, kSectionLockFilterEnv},
    {207, kFilterAttackLevel, kValue, kSectionLockFilterEnv},
    {208, kFilterEnvDecay, kValue, kSectionLockFilterEnv},
    {209, kFilterEnvSustain, kValue, kSectionLockFilterEnv},
    {210, kFilterEnvDecay2, kValue, kSectionLockFilterEnv},
    {211, kFilterEnvSustain2, kValue, kSectionLockFilterEnv},
    {212, kFilterEnvRelease, kValue, kSectionLockFilterEnv},
    {215, kAmpEnvMode, kEnvelope, kSectionLockAmpEnv, kAmpEnvTrigger},
    {218, kAmpEnvAttack, kValue, kSectionLockAmpEnv},
    {219, kAmpAttackLevel, kValue, kSectionLockAmpEnv},
    {220, kAmpEnvDecay, kValue, kSectionLockAmpEnv},
    {221, kAmpEnvSustain, kValue, kSectionLockAmpEnv},
    {222, kAmpEnvDecay2, kValue, kSectionLockAmpEnv},
    {223, kAmpEnvSustain2, kValue, kSectionLockAmpEnv},
    {224, kAmpEnvRelease, kValue, kSectionLockAmpEnv},
    {227, kEnvelope3Mode, kEnvelope, kSectionLockEnv3, kEnv3Trigger},
    {230, kEnv3Attack, kValue, kSectionLockEnv3},
    {231, kEnv3AttackLevel, kValue, kSectionLockEnv3},
    {232, kEnv3Decay, kValue, kSectionLockEnv3},
    {233, kEnv3Sustain, kValue, kSectionLockEnv3},
    {234, kEnv3Decay2, kValue, kSectionLockEnv3},
    {235, kEnv3Sustain2, kValue, kSectionLockEnv3},
    {236, kEnv3Release, kValue, kSectionLockEnv3},
    {239, kEnvelope4Mode, kEnvelope, kSectionLockEnv4, kEnv4Trigger},
    {242, kEnv4Attack, kValue, kSectionLockEnv4},
    {243, kEnv4AttackLevel, kValue, kSectionLockEnv4},
    {244, kEnv4Decay, kValue, kSectionLockEnv4},
    {245, kEnv4Sustain, kValue, kSectionLockEnv4},
    {246, kEnv4Decay2, kValue, kSectionLockEnv4},
    {247, kEnv4Sustain2, kValue, kSectionLockEnv4},
    {248, kEnv4Release, kValue, kSectionLockEnv4},
    {252, kModifier1Source1, kValue, kSectionLockMod1},
    {253, kModifier1Source2, kValue, kSectionLockMod1},
    {254, kModifier1SourceType, kValue, kSectionLockMod1},
    {255, kModifier1SourceAmount, kValue, kSectionLockMod1},
    {256, kModifier2Source1, kValue, kSectionLockMod2},
    {257, kModifier2Source2, kValue, kSectionLockMod2},
    {258, kModifier2SourceType, kValue, kSectionLockMod2},
    {259, kModifier2SourceAmount, kValue, kSectionLockMod2},
    {260, kModifier3Source1, kValue, kSectionLockMod3},
    {261, kModifier3Source2, kValue, kSectionLockMod3},
    {262, kModifier3SourceType, kValue, kSectionLockMod3},
    {263, kModifier3SourceAmount, kValue, kSectionLockMod3},
    {264, kModifier4Source1, kValue, kSectionLockMod4},
    {265, kModifier4Source2, kValue, kSectionLockMod4},
    {266, kModifier4SourceType, kValue, kSectionLockMod4},
    {267, kModifier4SourceAmount, kValue, kSectionLockMod4},
    {268, kMod1FastSource, kValue, kSectionLockM1F},
    {269, kMod1FastDestination, kValue, kSectionLockM1F},
    {270, kMod1FastAmount, kValue, kSectionLockM1F},
    {271, kMod2FastSource, kValue, kSectionLockM2F},
    {272, kMod2FastDestination, kValue, kSectionLockM2F},
    {273, kMod2FastAmount, kValue, kSectionLockM2F},
    {274, kMod3FastSource, kValue, kSectionLockM3F},
    {275, kMod3FastDestination, kValue, kSectionLockM3F},
    {276, kMod3FastAmount, kValue, kSectionLockM3F},
    {277, kMod4FastSource, kValue, kSectionLockM4F},
    {278, kMod4FastDestination, kValue, kSectionLockM4F},
    {279, kMod4FastAmount, kValue, kSectionLockM4F},
    {280, kMod5FastSource, kValue, kSectionLockM5F},
    {281, kMod5FastDestination, kValue, kSectionLockM5F},
    {282, kMod5FastAmount, kValue, kSectionLockM5F},
    {283, kMod6FastSource, kValue, kSectionLockM6F},
    {284, kMod6FastDestination, kValue, kSectionLockM6F},
    {285, kMod6FastAmount, kValue, kSectionLockM6F},
    {286, kMod7FastSource, kValue, kSectionLockM7F},
    {287, kMod7FastDestination, kValue, kSectionLockM7F},
    {288, kMod7FastAmount, kValue, kSectionLockM7F},
    {289, kMod8FastSource, kValue, kSectionLockM8F},
    {290, kMod8FastDestination, kValue, kSectionLockM8F},
    {291, kMod8FastAmount, kValue, kSectionLockM8F},
    {292, kMod1StandardSource, kValue, kSectionLockM1S},
    {293, kMod1StandardDestination, kValue, kSectionLockM1S},
    {294, kMod1StandardAmount, kValue, kSectionLockM1S},
    {295, kMod2StandardSource, kValue, kSectionLockM2S},
    {296, kMod2StandardDestination, kValue, kSectionLockM2S},
    {297, kMod2StandardAmount, kValue, kSectionLockM2S},
    {298, kMod3StandardSource, kValue, kSectionLockM3S},
    {299, kMod3StandardDestination, kValue, kSectionLockM3S},
    {300, kMod3StandardAmount, kValue, kSectionLockM3S},
    {301, kMod4StandardSource, kValue, kSectionLockM4S},
    {302, kMod4StandardDestination, kValue, kSectionLockM4S},
    {303, kMod4StandardAmount, kValue, kSectionLockM4S},
    {304, kMod5StandardSource, kValue, kSectionLockM5S},
    {305, kMod5StandardDestination, kValue, kSectionLockM5S},
    {306, kMod5StandardAmount, kValue, kSectionLockM5S},
    {307, kMod6StandardSource, kValue, kSectionLockM6S},
    {308, kMod6StandardDestination, kValue, kSectionLockM6S},
    {309, kMod6StandardAmount, kValue, kSectionLockM6S},
    {310, kMod7StandardSource, kValue, kSectionLockM7S},
    {311, kMod7StandardDestination, kValue, kSectionLockM7S},
    {312, kMod7StandardAmount, kValue, kSectionLockM7S},
    {313, kMod8StandardSource, kValue, kSectionLockM8S},
    {314, kMod8StandardDestination, kValue, kSectionLockM8S},
    {315, kMod8StandardAmount, kValue, kSectionLockM8S},
    {318, kArpMode, kValue, kSectionLockArp},
    {319, kArpPattern, kValue, kSectionLockArp},
    {320, kArpMaxNotes, kValue, kSectionLockArp},
    {321, kArpClock, kValue, kSectionLockArp},
    {322, kArpNoteLength, kValue, kSectionLockArp},
    {323, kArpOctRange, kValue, kSectionLockArp},
    {324, kArpDirection, kValue, kSectionLockArp},
    {325, kArpSortOrder, kValue, kSectionLockArp},
    {326, kArpVelocityMode, kValue, kSectionLockArp},
    {327, kArpTimeFactor, kValue, kSectionLockArp},
    {328, kArpSameNoteOverlap, kValue, kSectionLockArp},
    {329, kArpPatternReset, kValue, kSectionLockArp},
    {330, kArpPatternLength, kValue, kSectionLockArp},
};

const EffectSlot kEffectSlots[] = {
    {137, kEffect1Param01, {kFX1ChorusSpeed, kFX1FlangerSpeed, kFX1PhaserSpeed, kFX1FiveFXSpeed, kFX1VocoderBands}, 0},
    {138, kEffect1Param02, {kFX1ChorusDepth, kFX1FlangerDepht, kFX1PhaserDepth, kFX1OverdriveDrive, kFX1FiveFXDepth, kFX1VocoderAnalysisSignal}, 0},
    {139, kEffect1Param03, {kFX1OverdrivePostGain, kFX1FiveFXDelay, kFX1VocoderAnalysisLoFrq}, 0},
    {140, kEffect1Param04, {kFX1ChorusDelay, kFX1FiveFXChorusDelay, kFX1VocoderAnalysisHiFrq}, 0},
    {141, kEffect1Param05, {kFX1FlangerFeedBack, kFX1PhaserFeedback, kFX1FiveFXSampleHold, kFX1VocoderAnalysisSOffset}, 0},
    {142, kEffect1Param06, {kFX1PhaserCenter, kFX1OverdriveCutoff, kFX1FiveFXOverdrive, kFX1VocoderAnalysisHiOffset}, 0},
    {143, kEffect1Param07, {kFX1PhaserSpacing, kFX1FiveFXSource, kFX1VocoderBandwidth}, 0},
    {144, kEffect1Param08, {kFX1FiveFXRingMod, kFX1VocoderResonance}, 0},
    {145, kEffect1Param09, {kFX1FlangerPolarity, kFX1PhaserPolarity, kFX1VocoderAttack}, 0},
    {146, kEffect1Param10, {kFX1VocoderDecay}, 0},
    {147, kEffect1Param11, {kFX1VocoderEQLowBandLevel}, 0},
    {148, kEffect1Param12, {kFX1VocoderEQMiddleFreq}, 0},
    {149, kEffect1Param13, {kFX1VocoderEQMiddleLevel}, 0},
    {150, kEffect1Param14, {kFX1VocoderEQHighBandLevel}, 0},
    {153, kEffect2Param01, {kFX2ChorusSpeed, kFX2FlangerSpeed, kFX2PhaserSpeed, kFX2FiveFXSpeed, kFX2VocoderBands, kFX2ReverbSize, kFX251DelayDelay, kFX251DelayClockedDelay}, 0},
    {154, kEffect2Param02, {kFX2ChorusDepth, kFX2FlangerDepht, kFX2PhaserDepth, kFX2OverdriveDrive, kFX2FiveFXDepth, kFX2VocoderAnalysisSignal, kFX2ReverbShape, kFX251DelayFeedback, kFX251DelayClockedFeedback}, 0},
    {155, kEffect2Param03, {kFX2DelayTempo, kFX2OverdrivePostGain, kFX2FiveFXDelay, kFX2VocoderAnalysisLoFrq, kFX2ReverbDecay, kFX251DelayLFELP, kFX251DelayClockedLFELP}, 0},
    {156, kEffect2Param04, {kFX2ChorusDelay, kFX2DelayLength, kFX2FiveFXChorusDelay, kFX2VocoderAnalysisHiFrq, kFX2ReverbPredelay, kFX251DelayInputHP, kFX251DelayClockedInputHP}, 0},
    {157, kEffect2Param05, {kFX2FlangerFeedBack, kFX2PhaserFeedback, kFX2DelayFeedback, kFX2FiveFXSampleHold, kFX2VocoderAnalysisSOffset, kFX251DelayDelayML, kFX251DelayClockedDelayML}, 0},
    {158, kEffect2Param06, {kFX2PhaserCenter, kFX2DelayCutoff, kFX2OverdriveCutoff, kFX2FiveFXOverdrive, kFX2VocoderAnalysisHiOffset, kFX2ReverbLowppass, kFX251DelayFSLV, kFX251DelayClockedFSLV}, 0},
    {159, kEffect2Param07, {kFX2PhaserSpacing, kFX2FiveFXSource, kFX2VocoderBandwidth, kFX2ReverbHighPass, kFX251DelayDelayMR, kFX251DelayClockedDelayMR}, 0},
    {160, kEffect2Param08, {kFX2DelayClocked, kFX2FiveFXRingMod, kFX2VocoderResonance, kFX2ReverbDiffusion, kFX251DelayFSRV, kFX251DelayClockedFSRV}, 0},
    {161, kEffect2Param09, {kFX2FlangerPolarity, kFX2PhaserPolarity, kFX2DelayPolarity, kFX2VocoderAttack, kFX2ReverbDamping, kFX251DelayDelayS2L, kFX251DelayClockedDelayS2L}, 0},
    {162, kEffect2Param10, {kFX2DelayAutoPan, kFX2VocoderDecay, kFX251DelayCntrSV, kFX251DelayClockedCntrSV}, 0},
    {163, kEffect2Param11, {kFX2VocoderEQLowBandLevel, kFX251DelayS1L, kFX251DelayClockedDelayS1L, kFX2DelaySyncedLength}, 0},
    {164, kEffect2Param12, {kFX2VocoderEQMiddleFreq, kFX251DelayRearSLV, kFX251DelayClockedRearSLV}, 0},
    {165, kEffect2Param13, {kFX2VocoderEQMiddleLevel, kFX251DelayS1R, kFX251DelayClockedDelayS1R}, 0},
    {166, kEffect2Param14, {kFX2VocoderEQHighBandLevel, kFX251DelayRearSRV, kFX251DelayClockedRearSRV}, 0},
};

const MultiField kMultiCommon[] = {
    {7, kMultiMasterVolume, 0}, {8, kMultiControlW, 0}, {9, kMultiControlX, 0},
    {10, kMultiControlY, 0},    {11, kMultiControlZ, 0}, {12, kMultiTempo, 0},
};

const MultiField kMultiPart[] = {
    {0, kMultiPartBank, 0},       {1, kMultiPartPatch, 0},   {2, kMultiPartMIDICh, 0},
    {3, kMultiPartLevel, 0},      {4, kMultiPartTranspose, 16}, {5, kMultiPartDetune, 0},
    {6, kMultiPartOutput, 0},     {7, kMultiPartStatus, 0},  {8, kMultiPartPanning, 0},
    {12, kMultiPartVeloLow, 1},   {13, kMultiPartVeloHigh, 1}, {14, kMultiPartKeyLow, 0},
    {15, kMultiPartKeyHigh, 0},
};

const MultiField kGlobal[] = {
    {10, kGlobalTuning, 54},        {11, kGlobalTranspose, 52},     {12, kGlobalControlSend, 0},
    {13, kGlobalReceive, 0},        {20, kGlobalArpSend, 0},        {24, kGlobalClock, 0},
    {29, kGlobalMidiChannel, 0},    {30, kGlobalSysExID, 0},        {31, kGlobalLocalControl, 0},
    {32, kGlobalPopupTime, 0},      {34, kGlobalDisplayContrast, 0}, {35, kGlobalKeyVeloCurve, 0},
    {36, kGlobalReleaseCurve, 0},   {37, kGlobalPressureCurve, 0},  {38, kGlobalInputGain, 0},
    {40, kGlobalFX2Link, 0},        {58, kGlobalControlW, 0},       {59, kGlobalControlX, 0},
    {60, kGlobalControlY, 0},       {61, kGlobalControlZ, 0},       {62, kGlobalRxProgramChange, 0},
    {63, kGlobalMixInputTo, 0},     {64, kGlobalInputMix, 0},       {75, kGlobalPedalOffset, 0},
    {76, kGlobalPedalGain, 0},      {77, kGlobalPedalCurve, 0},     {78, kGlobalPedalController, 0},
    {79, kGlobalTxProgramChange, 0},
};

const std::array<uint8_t, 392> kInitSound = {{
    0xF0, 0x3E, 0x10, 0x03, 0x10, 0x30, 0x00, 0x01, 0x40, 0x40, 0x40, 0x42, 0x60, 0x00, 0x00, 0x01,  // 0
    0x7F, 0x01, 0x40, 0x01, 0x00, 0x00, 0x00, 0x00, 0x40, 0x40, 0x3B, 0x42, 0x60, 0x00, 0x00, 0x00,  // 16
    0x7F, 0x03, 0x5C, 0x01, 0x00, 0x00, 0x00, 0x00, 0x40, 0x40, 0x40, 0x42, 0x60, 0x00, 0x00, 0x00,  // 32
    0x7F, 0x05, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x54, 0x00, 0x01, 0x00, 0x00, 0x00,  // 48
    0x00, 0x00, 0x00, 0x00, 0x7F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x40, 0x00, 0x00,  // 64
    0x00, 0x00, 0x00, 0x00, 0x01, 0x7F, 0x40, 0x00, 0x00, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40,  // 80
    0x01, 0x40, 0x00, 0x00, 0x40, 0x01, 0x40, 0x00, 0x00, 0x7F, 0x40, 0x00, 0x00, 0x40, 0x40, 0x40,  // 96
    0x40, 0x40, 0x40, 0x40, 0x03, 0x40, 0x00, 0x00, 0x40, 0x03, 0x40, 0x00, 0x00, 0x03, 0x00, 0x00,  // 112
    0x6E, 0x72, 0x05, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x14, 0x40, 0x7F, 0x00, 0x7F, 0x7F, 0x7F,  // 128
    0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x07, 0x00, 0x7F, 0x7F, 0x00, 0x69, 0x64, 0x64, 0x7F,  // 144
    0x01, 0x00, 0x00, 0x0F, 0x40, 0x7F, 0x7F, 0x00, 0x32, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00,  // 160
    0x00, 0x40, 0x00, 0x00, 0x28, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00,  // 176
    0x1E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x01, 0x00, 0x40, 0x00, 0x00, 0x40,  // 192
    0x00, 0x7F, 0x40, 0x40, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x7F, 0x40, 0x40,  // 208
    0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x7F, 0x40, 0x40, 0x00, 0x00, 0x00, 0x00,  // 224
    0x40, 0x00, 0x00, 0x40, 0x00, 0x7F, 0x40, 0x40, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x40,  // 240
    0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00,  // 256
    0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00,  // 272
    0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40,  // 288
    0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x40, 0x00, 0x00, 0x00,  // 304
    0x0F, 0x09, 0x0B, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0F, 0x00, 0x00, 0x37, 0x04, 0x04,  // 320
    0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x07, 0x04, 0x04, 0x04, 0x04, 0x44, 0x47,  // 336
    0x44, 0x47, 0x44, 0x47, 0x44, 0x47, 0x44, 0x47, 0x44, 0x47, 0x44, 0x47, 0x44, 0x47, 0x44, 0x00,  // 352
    0x00, 0x00, 0x49, 0x6E, 0x69, 0x74, 0x20, 0x50, 0x61, 0x74, 0x63, 0x68, 0x20, 0x20, 0x20, 0x76,  // 368
    0x54, 0x6E, 0x49, 0x6E, 0x69, 0x74, 0x1E, 0xF7,  // 384
}};
const std::array<uint8_t, 207> kGlobalTemplate = {{
    0xF0, 0x3E, 0x10, 0x00, 0x14, 0x31, 0x00, 0x63, 0x63, 0x63, 0x40, 0x40, 0x03, 0x01, 0x00, 0x02,  // 0
    0x02, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x02, 0x00, 0x01, 0x00, 0x00, 0x10, 0x00, 0x01,  // 16
    0x09, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x7E, 0x01, 0x01, 0x41, 0x41, 0x3A, 0x41, 0x55, 0x41,  // 32
    0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x06, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00,  // 48
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x02,  // 64
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 80
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 96
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 112
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 128
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 144
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 160
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 176
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7,  // 192
}};
const std::array<uint8_t, 393> kInitMulti = {{
    0xF0, 0x3E, 0x10, 0x03, 0x11, 0x20, 0x00, 0x64, 0x00, 0x00, 0x00, 0x00, 0x37, 0x00, 0x00, 0x00,  // 0
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x49, 0x6E, 0x69, 0x74, 0x20, 0x4D, 0x75, 0x6C, 0x74,  // 16
    0x69, 0x20, 0x20, 0x20, 0x76, 0x54, 0x6E, 0x00, 0x00, 0x02, 0x64, 0x40, 0x40, 0x00, 0x03, 0x40,  // 32
    0x00, 0x00, 0x00, 0x00, 0x7F, 0x00, 0x7F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x03,  // 48
    0x64, 0x40, 0x40, 0x00, 0x03, 0x40, 0x00, 0x00, 0x00, 0x00, 0x7F, 0x00, 0x7F, 0x00, 0x00, 0x00,  // 64
    0x00, 0x00, 0x00, 0x00, 0x02, 0x04, 0x64, 0x40, 0x40, 0x00, 0x03, 0x40, 0x00, 0x00, 0x00, 0x00,  // 80
    0x7F, 0x00, 0x7F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x05, 0x64, 0x40, 0x40, 0x00,  // 96
    0x03, 0x40, 0x00, 0x00, 0x00, 0x00, 0x7F, 0x00, 0x7F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 112
    0x04, 0x06, 0x64, 0x3F, 0x40, 0x00, 0x03, 0x40, 0x00, 0x00, 0x00, 0x00, 0x7F, 0x00, 0x7F, 0x00,  // 128
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x07, 0x64, 0x40, 0x40, 0x00, 0x03, 0x40, 0x00, 0x00,  // 144
    0x00, 0x00, 0x7F, 0x00, 0x7F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x06, 0x08, 0x64, 0x40,  // 160
    0x40, 0x00, 0x03, 0x40, 0x00, 0x00, 0x00, 0x00, 0x7F, 0x00, 0x7F, 0x00, 0x00, 0x00, 0x00, 0x00,  // 176
    0x00, 0x00, 0x07, 0x09, 0x64, 0x40, 0x40, 0x00, 0x03, 0x40, 0x00, 0x00, 0x00, 0x00, 0x7F, 0x00,  // 192
    0x7F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x0A, 0x64, 0x40, 0x40, 0x00, 0x03, 0x40,  // 208
    0x00, 0x00, 0x00, 0x00, 0x7F, 0x00, 0x7F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x09, 0x0B,  // 224
    0x64, 0x40, 0x40, 0x00, 0x03, 0x40, 0x00, 0x00, 0x00, 0x00, 0x7F, 0x00, 0x7F, 0x00, 0x00, 0x00,  // 240
    0x00, 0x00, 0x00, 0x00, 0x0A, 0x0C, 0x64, 0x40, 0x40, 0x00, 0x03, 0x40, 0x00, 0x00, 0x00, 0x00,  // 256
    0x7F, 0x00, 0x7F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0B, 0x0D, 0x64, 0x40, 0x40, 0x00,  // 272
    0x03, 0x40, 0x00, 0x00, 0x00, 0x00, 0x7F, 0x00, 0x7F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 288
    0x0C, 0x0E, 0x64, 0x40, 0x40, 0x00, 0x03, 0x40, 0x00, 0x00, 0x00, 0x00, 0x7F, 0x00, 0x7F, 0x00,  // 304
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0D, 0x0F, 0x64, 0x40, 0x40, 0x00, 0x03, 0x40, 0x00, 0x00,  // 320
    0x00, 0x00, 0x7F, 0x00, 0x7F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0E, 0x10, 0x64, 0x40,  // 336
    0x40, 0x00, 0x03, 0x40, 0x00, 0x00, 0x00, 0x00, 0x7F, 0x00, 0x7F, 0x00, 0x00, 0x00, 0x00, 0x00,  // 352
    0x00, 0x00, 0x0F, 0x11, 0x64, 0x40, 0x40, 0x00, 0x03, 0x40, 0x00, 0x00, 0x00, 0x00, 0x7F, 0x00,  // 368
    0x7F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0xF7,  // 384
}};

std::array<uint8_t, 393> makeMultiTemplate() {
  std::array<uint8_t, 393> t{};
  t[0] = 0xF0;
  t[1] = 0x3E;
  t[2] = 0x10;
  t[4] = 0x11;
  t[5] = 0x20;
  t[6] = 0x00;
  t[385] = 0x77;
  t[386] = 0x7F;
  t[392] = 0xF7;
  return t;
}

// The slot tables above leave the type count 0; count the listed parameters once.
struct SlotTable {
  EffectSlot slots[sizeof(kEffectSlots) / sizeof(kEffectSlots[0])];
  SlotTable() {
    int i = 0;
    for (const EffectSlot& s : kEffectSlots) {
      slots[i] = s;
      int n = 0;
      while (n < 10 && slots[i].typeParams[n] != 0) ++n;
      slots[i].typeCount = n;
      ++i;
    }
  }
};
const SlotTable& slotTable() {
  static const SlotTable t;
  return t;
}

}  // namespace

const SoundField* soundFields(int* count) {
  *count = static_cast<int>(sizeof(kSoundFields) / sizeof(kSoundFields[0]));
  return kSoundFields;
}

const SoundField* soundFieldAt(int position) {
  for (const SoundField& f : kSoundFields)
    if (f.position == position) return &f;
  return nullptr;
}

ArpStepParams arpStepParams(int n) {
  // The 16 steps' blocks are not evenly spaced in the parameter table; look them up by name
  // order through the constants.
  static const ArpStepParams kSteps[16] = {
#define S(nn) {kArpPattern##nn##Accent, kArpPattern##nn##Glide, kArpPattern##nn##Step, kArpPattern##nn##StepLen, kArpPattern##nn##Timing}
      S(01), S(02), S(03), S(04), S(05), S(06), S(07), S(08),
      S(09), S(10), S(11), S(12), S(13), S(14), S(15), S(16),
#undef S
  };
  if (n < 0 || n > 15) n = 0;
  return kSteps[n];
}

const EffectSlot* effectSlotAt(int position) {
  for (const EffectSlot& s : slotTable().slots)
    if (s.position == position) return &s;
  return nullptr;
}

const EffectSlot* effectSlotForTypeParam(int effect, int base) {
  if (effect == 2 && base == kFX2DelaySyncedLength) return nullptr;
  for (const EffectSlot& s : slotTable().slots) {
    bool fx1 = s.position <= 150;
    if ((effect == 1) != fx1) continue;
    for (int i = 0; i < s.typeCount; ++i)
      if (s.typeParams[i] == base) return &s;
  }
  return nullptr;
}

const std::array<uint8_t, 392>& initSound() { return kInitSound; }
const std::array<uint8_t, 393>& initMulti() { return kInitMulti; }
const std::array<uint8_t, 393>& multiTemplate() {
  static const std::array<uint8_t, 393> t = makeMultiTemplate();
  return t;
}
const std::array<uint8_t, 207>& globalTemplate() { return kGlobalTemplate; }

const MultiField* multiCommonFields(int* count) {
  *count = static_cast<int>(sizeof(kMultiCommon) / sizeof(kMultiCommon[0]));
  return kMultiCommon;
}
const MultiField* multiPartFields(int* count) {
  *count = static_cast<int>(sizeof(kMultiPart) / sizeof(kMultiPart[0]));
  return kMultiPart;
}
const MultiField* globalFields(int* count) {
  *count = static_cast<int>(sizeof(kGlobal) / sizeof(kGlobal[0]));
  return kGlobal;
}

}  // namespace dump
