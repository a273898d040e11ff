// The component entry: selectors, can-do answers, initialize, listeners, parameters, MIDI.
#include <vector>

#include "AUEvents.h"
#include "AUTestSupport.h"

namespace {

struct ListenerLog {
  std::vector<std::pair<AudioUnitPropertyID, AudioUnitScope>> calls;
};
void logListener(void* refCon, AudioUnit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement) {
  static_cast<ListenerLog*>(refCon)->calls.emplace_back(id, scope);
}
void otherListener(void*, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {}

}  // namespace

TEST(AUEntry, OpenThenCloseDeletesThePlugin) {
  {
    OpenPlug p;
    EXPECT_EQ(1, TestPlug::sLiveInstances.load());
    EXPECT_EQ(p.unit, p.plug->GetComponentInstance());
    EXPECT_EQ(1, p.plug->mHostIdentified);  // HostSpecificInit ran at open
  }
  EXPECT_EQ(0, TestPlug::sLiveInstances.load());
}

TEST(AUEntry, VersionSelectorAnswersPackedVersion) {
  OpenPlug p;
  EXPECT_EQ(0x00010006, CallComponentVersion(p.unit));
}

TEST(AUEntry, CanDoAnswersOneOnlyForTheListedSelectors) {
  OpenPlug p;
  for (SInt16 s : {1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 14, 15, 16, 17}) EXPECT_EQ(1, CallComponentCanDo(p.unit, s)) << s;
  // 18 is served but not announced; the MIDI selectors are not announced either.
  for (SInt16 s : {0, 8, 12, 13, 18, 0x101, 0x102, 0x103, 0x104, 0x105, 0x106, -1, -2, -3, -4, 0x301})
    EXPECT_EQ(0, CallComponentCanDo(p.unit, s)) << s;
}

TEST(AUEntry, UnservedSelectorsAnswerBadSelectorAndChangeNothing) {
  OpenPlug p;
  for (SInt16 s : {0, 8, 12, 13, 19, 0x107, 0x301}) EXPECT_EQ(badComponentSelector, CallComponentSelector(p.unit, s, 0, nullptr)) << s;
  EXPECT_EQ(0, p.plug->mResetCount);
  EXPECT_FALSE(p.plug->IsActive());
}

TEST(AUEntry, InitializeActivatesAndResetsThenUninitializeDeactivates) {
  OpenPlug p;
  EXPECT_EQ(noErr, AudioUnitInitialize(p.unit));
  EXPECT_TRUE(p.plug->IsActive());
  EXPECT_EQ(1, p.plug->mResetCount);
  EXPECT_EQ(TestPlug::kNumParams - TestPlug::kNumHidden, p.plug->mParamChangeCount);  // OnParamReset: each host-visible one
  EXPECT_EQ(std::vector<bool>{true}, p.plug->mActivations);
  EXPECT_EQ(noErr, AudioUnitUninitialize(p.unit));
  EXPECT_FALSE(p.plug->IsActive());
  EXPECT_EQ((std::vector<bool>{true, false}), p.plug->mActivations);
}

TEST(AUEntry, InitializeRefusesAnIllegalChannelPair) {
  OpenPlug p;
  EXPECT_EQ(noErr, p.SetFormat(kAudioUnitScope_Output, 0, 2));
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, p.SetFormat(kAudioUnitScope_Input, 0, 1));  // leaves 0 host inputs
  EXPECT_EQ(badComponentSelector, AudioUnitInitialize(p.unit));                       // 0 in, 2 out is not "2-2"
  EXPECT_FALSE(p.plug->IsActive());
}

TEST(AUEntry, InitializePassesWhenEveryCountedBusHoldsNoChannels) {
  OpenPlug p;
  EXPECT_NE(noErr, p.SetFormat(kAudioUnitScope_Output, 0, 5));
  EXPECT_NE(noErr, p.SetFormat(kAudioUnitScope_Input, 0, 5));
  EXPECT_EQ(noErr, AudioUnitInitialize(p.unit));
}

TEST(AUEntry, ListenersAreKeptOncePerPropertyAndProcedure) {
  OpenPlug p;
  ListenerLog log, other;
  EXPECT_EQ(noErr, AudioUnitAddPropertyListener(p.unit, kAudioUnitProperty_SampleRate, logListener, &log));
  EXPECT_EQ(noErr, AudioUnitAddPropertyListener(p.unit, kAudioUnitProperty_SampleRate, logListener, &other));  // same pair: ignored
  Float64 sr = 48000.0;
  EXPECT_EQ(noErr, AudioUnitSetProperty(p.unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, &sr, sizeof sr));
  ASSERT_EQ(1u, log.calls.size());
  EXPECT_EQ(kAudioUnitScope_Output, log.calls[0].second);
  EXPECT_TRUE(other.calls.empty());
  EXPECT_EQ(48000.0, p.plug->GetSampleRate());

  // Removal with user data compares it too; plain removal does not.
  EXPECT_EQ(noErr, AudioUnitRemovePropertyListenerWithUserData(p.unit, kAudioUnitProperty_SampleRate, logListener, &other));
  AudioUnitSetProperty(p.unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, &sr, sizeof sr);
  EXPECT_EQ(2u, log.calls.size());
  EXPECT_EQ(noErr, AudioUnitRemovePropertyListener(p.unit, kAudioUnitProperty_SampleRate, logListener));
  EXPECT_EQ(noErr, AudioUnitRemovePropertyListener(p.unit, kAudioUnitProperty_SampleRate, otherListener));  // not registered: fine
  AudioUnitSetProperty(p.unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, &sr, sizeof sr);
  EXPECT_EQ(2u, log.calls.size());
}

TEST(AUEntry, RefusedSetPropertyHasAlreadyToldItsListeners) {
  OpenPlug p;
  ListenerLog log;
  AudioUnitAddPropertyListener(p.unit, kAudioUnitProperty_HostCallbacks, logListener, &log);
  HostCallbackInfo cb{};
  cb.beatAndTempoProc = [](void*, Float64*, Float64* tempo) -> OSStatus {
    *tempo = 99.0;
    return noErr;
  };
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, AudioUnitSetProperty(p.unit, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Input, 0, &cb, sizeof cb));
  EXPECT_EQ(1u, log.calls.size());
  EXPECT_EQ(138.0, p.plug->GetTempo());  // callbacks still empty
}

TEST(AUEntry, ScheduleParametersAppliesImmediateEventsAndSkipsRamps) {
  OpenPlug p;
  AudioUnitParameterEvent ev[3] = {};
  ev[0].eventType = kParameterEvent_Ramped;
  ev[0].parameter = 0;
  ev[0].eventValues.ramp.startValue = 1.0f;
  EXPECT_EQ(noErr, AudioUnitScheduleParameters(p.unit, ev, 1));
  EXPECT_EQ(64.0, p.plug->GetParam(0)->Value());
  EXPECT_EQ(0, p.plug->mParamChangeCount);

  ev[1].eventType = kParameterEvent_Immediate;
  ev[1].parameter = 0;
  ev[1].eventValues.immediate.value = 100.0f;
  ev[2].eventType = kParameterEvent_Immediate;
  ev[2].scope = kAudioUnitScope_Input;  // refused: stops the loop
  ev[2].parameter = 3;
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, AudioUnitScheduleParameters(p.unit, ev, 3));
  EXPECT_EQ(100.0, p.plug->GetParam(0)->Value());
  EXPECT_EQ(1, p.plug->mParamChangeCount);
}

TEST(AUEntry, SetParameterClampsAndAlwaysCallsTheHandler) {
  OpenPlug p;
  EXPECT_EQ(noErr, AudioUnitSetParameter(p.unit, 0, kAudioUnitScope_Global, 0, 500.0f, 0));
  EXPECT_EQ(127.0, p.plug->GetParam(0)->Value());
  EXPECT_EQ(noErr, AudioUnitSetParameter(p.unit, 0, kAudioUnitScope_Global, 0, 127.0f, 0));  // unchanged value
  EXPECT_EQ(2, p.plug->mParamChangeCount);
  EXPECT_EQ(0, p.plug->mLastParamChanged);
  AudioUnitParameterValue v = 0;
  EXPECT_EQ(noErr, AudioUnitGetParameter(p.unit, 0, kAudioUnitScope_Global, 0, &v));
  EXPECT_EQ(127.0f, v);
  // Hidden parameters are still served by number.
  EXPECT_EQ(noErr, AudioUnitSetParameter(p.unit, 9, kAudioUnitScope_Global, 0, 2.5f, 0));
  EXPECT_EQ(2.5, p.plug->GetParam(9)->Value());
}

TEST(AUEntry, ParameterCallsRefuseOtherScopesAndUnknownNumbers) {
  OpenPlug p;
  AudioUnitParameterValue v = 0;
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, AudioUnitGetParameter(p.unit, 0, kAudioUnitScope_Input, 0, &v));
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, AudioUnitSetParameter(p.unit, 0, kAudioUnitScope_Output, 0, 1.0f, 0));
  EXPECT_EQ(kAudioUnitErr_InvalidParameter, AudioUnitGetParameter(p.unit, TestPlug::kNumParams, kAudioUnitScope_Global, 0, &v));
  EXPECT_EQ(kAudioUnitErr_InvalidParameter, AudioUnitSetParameter(p.unit, 0xFFFFFFFFu, kAudioUnitScope_Global, 0, 1.0f, 0));
  EXPECT_EQ(0, p.plug->mParamChangeCount);
}

TEST(AUEntry, FastDispatchHandsOutTheThreeProcedures) {
  OpenPlug p;
  void* proc = nullptr;
  UInt32 size = sizeof proc;
  for (UInt32 e : {6u, 7u, 14u}) {
    proc = nullptr;
    EXPECT_EQ(noErr, AudioUnitGetProperty(p.unit, kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global, e, &proc, &size));
    EXPECT_NE(nullptr, proc);
  }
  EXPECT_EQ(kAudioUnitErr_InvalidElement, AudioUnitGetProperty(p.unit, kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global, 8, &proc, &size));

  AudioUnitSetParameterProc set = nullptr;
  AudioUnitGetProperty(p.unit, kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global, 7, &set, &size);
  AudioUnitGetParameterProc get = nullptr;
  AudioUnitGetProperty(p.unit, kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global, 6, &get, &size);
  void* storage = GetComponentInstanceStorage(p.unit);
  EXPECT_EQ(noErr, set(storage, 3, kAudioUnitScope_Global, 0, 0.25f, 0));
  AudioUnitParameterValue v = 0;
  EXPECT_EQ(noErr, get(storage, 3, kAudioUnitScope_Global, 0, &v));
  EXPECT_FLOAT_EQ(0.25f, v);
}

TEST(AUEntry, MidiEventReachesThePluginFlaggedFromHost) {
  OpenPlug p;
  EXPECT_EQ(noErr, MusicDeviceMIDIEvent(p.unit, 0x90, 60, 100, 12));
  ASSERT_EQ(1u, p.plug->mMidi.size());
  EXPECT_EQ(12, p.plug->mMidi[0].mOffset);
  EXPECT_EQ(0x90, p.plug->mMidi[0].mStatus);
  EXPECT_EQ(60, p.plug->mMidi[0].mData1);
  EXPECT_EQ(100, p.plug->mMidi[0].mData2);
  EXPECT_FALSE(p.plug->mMidiFromDevice);
  // Only the low byte of each slot counts.
  EXPECT_EQ(noErr, MusicDeviceMIDIEvent(p.unit, 0x1B0, 0x107, 0x240, 0));
  EXPECT_EQ(0xB0, p.plug->mMidi[1].mStatus);
  EXPECT_EQ(7, p.plug->mMidi[1].mData1);
  EXPECT_EQ(0x40, p.plug->mMidi[1].mData2);
}

TEST(AUEntry, SysExReachesThePluginWithItsSize) {
  OpenPlug p;
  const UInt8 msg[] = {0xF0, 0x3E, 0x10, 0x00, 0xF7};
  EXPECT_EQ(noErr, MusicDeviceSysEx(p.unit, msg, sizeof msg));
  EXPECT_EQ(noErr, MusicDeviceSysEx(p.unit, msg, 0));
  EXPECT_EQ(noErr, MusicDeviceSysEx(p.unit, nullptr, 40));  // no bytes behind it: delivered empty
  ASSERT_EQ(3u, p.plug->mSysEx.size());
  EXPECT_EQ(std::vector<uint8_t>(msg, msg + 5), p.plug->mSysEx[0]);
  EXPECT_TRUE(p.plug->mSysEx[1].empty());
  EXPECT_TRUE(p.plug->mSysEx[2].empty());
  EXPECT_FALSE(p.plug->mSysExFromDevice);
}

TEST(AUEntry, NoteSelectorsDoNothingButStartNoteWritesTheIntegerPitch) {
  OpenPlug p;
  MusicDeviceNoteParams np{2, 60.7f, 100.0f, {}};
  NoteInstanceID id = 0;
  EXPECT_EQ(noErr, MusicDeviceStartNote(p.unit, 0, 0, &id, 0, &np));
  EXPECT_EQ(60u, id);
  EXPECT_EQ(noErr, MusicDeviceStopNote(p.unit, 0, id, 0));
  EXPECT_EQ(noErr, MusicDevicePrepareInstrument(p.unit, 0));
  EXPECT_EQ(noErr, MusicDeviceReleaseInstrument(p.unit, 0));
  EXPECT_TRUE(p.plug->mMidi.empty());
}

TEST(AUEntry, ParameterChangesReachTheHostNotifier) {
  OpenPlug p;
  std::vector<UInt32> types;
  AUEventSetHostNotifier(
      p.unit, [](void* ref, const AudioUnitEvent* e) { static_cast<std::vector<UInt32>*>(ref)->push_back(e->mEventType); }, &types);
  p.plug->BeginInformHostOfParamChange(1);
  p.plug->SetParameterFromGUI(1, 1.0);
  p.plug->EndInformHostOfParamChange(1);
  EXPECT_EQ((std::vector<UInt32>{1, 0, 2}), types);
}

TEST(AUEntry, CarbonViewEntryOpensNothingWithoutGraphics) {
  OpenPlug p;
  ComponentInstance view = nullptr;
  ASSERT_EQ(noErr, OpenComponentInstance(&Sorvanta_ViewEntry, nullptr, &view));
  UInt64 slots[6] = {reinterpret_cast<UInt64>(p.unit), 0, 0, 0, 0, 0};
  void* control = reinterpret_cast<void*>(1);
  slots[5] = reinterpret_cast<UInt64>(&control);
  EXPECT_EQ(badComponentSelector, CallComponentSelector(view, kAudioUnitCarbonViewCreateSelect, 6, slots));
  EXPECT_EQ(badComponentSelector, CallComponentSelector(view, 0x302, 0, nullptr));
  EXPECT_EQ(noErr, CloseComponentInstance(view));
}

TEST(AUEntry, ResetSelectorCallsTheResetHook) {
  OpenPlug p;
  EXPECT_EQ(noErr, AudioUnitReset(p.unit, kAudioUnitScope_Global, 0));
  EXPECT_EQ(1, p.plug->mResetCount);
}

TEST(AUEntry, CarbonViewWithGraphicsGetsNoControlAndClosesTheWindow) {
  TestPlug::sWithGraphics = true;
  OpenPlug p;
  ComponentInstance view = nullptr;
  ASSERT_EQ(noErr, OpenComponentInstance(&Sorvanta_ViewEntry, nullptr, &view));
  void* control = reinterpret_cast<void*>(1);
  UInt64 slots[6] = {reinterpret_cast<UInt64>(p.unit), 0, 0, 0, 0, reinterpret_cast<UInt64>(&control)};
  EXPECT_EQ(noErr, CallComponentSelector(view, kAudioUnitCarbonViewCreateSelect, 6, slots));
  EXPECT_EQ(nullptr, control);  // the graphics object opens no Carbon control
  EXPECT_EQ(noErr, CloseComponentInstance(view));
  EXPECT_EQ(1, static_cast<TestGraphics*>(p.plug->GetGUI())->mClosed);
}
