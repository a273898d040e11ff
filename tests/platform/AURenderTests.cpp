// Render checks, input pulls, notifications, host time and host identification.
#include <cstring>

#include "AUTestSupport.h"
#include "IPlugHosts.h"

namespace {

struct PullLog {
  int pulls = 0;
  OSStatus answer = noErr;
  float value = 0.25f;
};

OSStatus pullInput(void* ref, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32 bus, UInt32 frames, AudioBufferList* io) {
  auto* log = static_cast<PullLog*>(ref);
  ++log->pulls;
  EXPECT_EQ(0u, bus);
  for (UInt32 i = 0; i < io->mNumberBuffers; ++i) {
    AudioBuffer* b = AudioBufferListAt(io, i);
    EXPECT_NE(nullptr, b->mData);
    for (UInt32 f = 0; f < frames; ++f) static_cast<float*>(b->mData)[f] = log->value;
  }
  return log->answer;
}

struct NotifyLog {
  std::vector<AudioUnitRenderActionFlags> flags;
};
OSStatus notify(void* ref, AudioUnitRenderActionFlags* flags, const AudioTimeStamp*, UInt32, UInt32, AudioBufferList*) {
  static_cast<NotifyLog*>(ref)->flags.push_back(*flags);
  return noErr;
}

struct HostTime {
  double beat = 0, tempo = 0, sample = 0;
  bool playing = false;
  float num = 3.0f;
  UInt32 denom = 8;
  double downBeat = 12.0;
};
OSStatus beatAndTempo(void* ud, Float64* beat, Float64* tempo) {
  auto* t = static_cast<HostTime*>(ud);
  *beat = t->beat;
  *tempo = t->tempo;
  return noErr;
}
OSStatus transport(void* ud, Boolean* playing, Boolean* changed, Float64* sample, Boolean* cycling, Float64* cs, Float64* ce) {
  auto* t = static_cast<HostTime*>(ud);
  *playing = t->playing;
  *changed = false;
  *sample = t->sample;
  *cycling = false;
  *cs = *ce = 0;
  return noErr;
}
OSStatus musicalTime(void* ud, UInt32* delta, Float32* num, UInt32* denom, Float64* downBeat) {
  auto* t = static_cast<HostTime*>(ud);
  *delta = 0;
  *num = t->num;
  *denom = t->denom;
  *downBeat = t->downBeat;
  return noErr;
}

void setHostCallbacks(OpenPlug& p, HostTime* t, bool withTempo = true) {
  HostCallbackInfo cb{t, withTempo ? beatAndTempo : nullptr, musicalTime, transport};
  ASSERT_EQ(noErr, AudioUnitSetProperty(p.unit, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, &cb, sizeof cb));
}

}  // namespace

TEST(AURender, TooManyFramesIsRefusedUntilTheHostRaisesTheMaximum) {
  OpenPlug p;
  NotifyLog log;
  AudioUnitAddRenderNotify(p.unit, notify, &log);
  EXPECT_EQ(kAudioUnitErr_InvalidPropertyValue, p.Render(1025, 0.0));
  EXPECT_EQ(0, p.plug->mBlocks);
  EXPECT_TRUE(log.flags.empty());  // refused before any notification
  UInt32 frames = 2048;
  EXPECT_EQ(noErr, AudioUnitSetProperty(p.unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, &frames, sizeof frames));
  EXPECT_EQ(1, p.plug->mResetCount);
  EXPECT_EQ(noErr, p.Render(1025, 0.0));
  EXPECT_EQ(1, p.plug->mBlocks);
  EXPECT_EQ((std::vector<AudioUnitRenderActionFlags>{kAudioUnitRenderAction_PreRender, kAudioUnitRenderAction_PostRender}), log.flags);
}

TEST(AURender, InvalidTimeStampOrBusIsRefused) {
  OpenPlug p;
  EXPECT_EQ(kAudioUnitErr_InvalidPropertyValue, p.Render(64, 0.0, 0, false));
  EXPECT_EQ(kAudioUnitErr_InvalidPropertyValue, p.Render(64, 0.0, 1));
  EXPECT_EQ(0, p.plug->mBlocks);
}

TEST(AURender, HostBuffersTooSmallForTheBlockAreRefused) {
  OpenPlug p;
  std::vector<float> small(16);
  AudioBufferListN<1> abl;
  abl.mNumberBuffers = 1;
  abl.mBuffers[0] = {1, 16 * 4, small.data()};
  AudioTimeStamp ts{};
  ts.mFlags = kAudioTimeStampSampleTimeValid;
  EXPECT_EQ(kAudioUnitErr_InvalidPropertyValue, AudioUnitRender(p.unit, nullptr, &ts, 0, 64, abl.AsList()));
}

TEST(AURender, OutputBuffersWithoutDataGetTheBindingsOwn) {
  OpenPlug p;
  AudioBufferListN<2> abl;
  abl.mNumberBuffers = 2;
  abl.mBuffers[0] = {1, 0, nullptr};
  abl.mBuffers[1] = {1, 0, nullptr};
  AudioTimeStamp ts{};
  ts.mFlags = kAudioTimeStampSampleTimeValid;
  EXPECT_EQ(noErr, AudioUnitRender(p.unit, nullptr, &ts, 0, 128, abl.AsList()));
  EXPECT_NE(nullptr, abl.mBuffers[0].mData);
  EXPECT_NE(abl.mBuffers[0].mData, abl.mBuffers[1].mData);
  EXPECT_EQ(128u * 4u, abl.mBuffers[1].mDataByteSize);
}

TEST(AURender, InputsArePulledOncePerSampleTime) {
  OpenPlug p;
  PullLog log;
  AURenderCallbackStruct cb{pullInput, &log};
  ASSERT_EQ(noErr, p.SetFormat(kAudioUnitScope_Output, 0, 2));  // output channels are connected for the host's count
  ASSERT_EQ(noErr, AudioUnitSetProperty(p.unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &cb, sizeof cb));
  EXPECT_EQ(IPluginAU::eRenderCallback, p.plug->GetInputConnection(0)->mInputType);
  EXPECT_EQ(noErr, p.Render(64, 0.0));
  EXPECT_EQ(noErr, p.Render(64, 0.0));
  EXPECT_EQ(1, log.pulls);
  EXPECT_EQ(noErr, p.Render(64, 64.0));
  EXPECT_EQ(2, log.pulls);
  EXPECT_DOUBLE_EQ(0.25, p.plug->mFirstInputSample);
  EXPECT_FLOAT_EQ(0.25f, p.left[0]);  // the test plug-in copies input to output
}

TEST(AURender, AnUpstreamErrorEndsTheRenderBeforeProcessing) {
  OpenPlug p;
  PullLog log;
  log.answer = -42;
  AURenderCallbackStruct cb{pullInput, &log};
  AudioUnitSetProperty(p.unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &cb, sizeof cb);
  EXPECT_EQ(-42, p.Render(64, 0.0));
  EXPECT_EQ(0, p.plug->mBlocks);
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, AudioUnitSetProperty(p.unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 1, &cb, sizeof cb));
}

TEST(AURender, ConnectionToAnotherUnitUsesItsFastRenderProcedure) {
  OpenPlug down, up;
  AudioUnitConnection conn{up.unit, 0, 0};
  ASSERT_EQ(noErr, AudioUnitSetProperty(down.unit, kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, &conn, sizeof conn));
  EXPECT_EQ(IPluginAU::eDirectFastProc, down.plug->GetInputConnection(0)->mInputType);
  EXPECT_EQ(noErr, down.Render(64, 0.0));
  EXPECT_EQ(1, up.plug->mBlocks);  // the upstream unit rendered for us
  EXPECT_EQ(1, down.plug->mBlocks);
  AudioUnitConnection none{nullptr, 0, 0};
  ASSERT_EQ(noErr, AudioUnitSetProperty(down.unit, kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, &none, sizeof none));
  EXPECT_EQ(IPluginAU::eNotConnected, down.plug->GetInputConnection(0)->mInputType);
  AudioUnitConnection bad{up.unit, 0, 3};
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, AudioUnitSetProperty(down.unit, kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, &bad, sizeof bad));
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, AudioUnitSetProperty(down.unit, kAudioUnitProperty_MakeConnection, kAudioUnitScope_Output, 0, &conn, sizeof conn));
}

TEST(AURender, RemovedRenderNotificationIsNotCalled) {
  OpenPlug p;
  NotifyLog log;
  AudioUnitAddRenderNotify(p.unit, notify, &log);
  AudioUnitRemoveRenderNotify(p.unit, notify, &log);
  EXPECT_EQ(noErr, p.Render(64, 0.0));
  EXPECT_TRUE(log.flags.empty());
}

TEST(AUHostTime, TempoIs138UntilTheHostReportsOneAndKeepsTheLastReported) {
  OpenPlug p;
  EXPECT_EQ(138.0, p.plug->GetTempo());
  HostTime t;
  setHostCallbacks(p, &t, false);
  EXPECT_EQ(138.0, p.plug->GetTempo());  // no beat-and-tempo callback
  setHostCallbacks(p, &t);
  t.tempo = 120.0;
  EXPECT_EQ(120.0, p.plug->GetTempo());
  t.tempo = 0.0;
  EXPECT_EQ(120.0, p.plug->GetTempo());
}

TEST(AUHostTime, SamplePositionIsRoundedToTheNearestSample) {
  OpenPlug p;
  EXPECT_EQ(0, p.plug->GetSamplePos());  // no transport callback
  HostTime t;
  setHostCallbacks(p, &t);
  t.sample = 1023.5;
  EXPECT_EQ(1024, p.plug->GetSamplePos());
  t.sample = 1023.49;
  EXPECT_EQ(1023, p.plug->GetSamplePos());
  t.sample = 1e300;  // nothing an int can hold
  EXPECT_EQ(0, p.plug->GetSamplePos());
}

TEST(AUHostTime, TimeInfoTakesOnlyWhatTheHostReports) {
  OpenPlug p;
  HostTime t;
  t.beat = 8.5;
  t.tempo = 100.0;
  t.sample = 4410.0;
  t.playing = true;
  ITimeInfo info;
  p.plug->GetTime(&info);  // no callbacks: untouched
  EXPECT_EQ(-1.0, info.mSamplePos);
  setHostCallbacks(p, &t);
  p.plug->GetTime(&info);
  EXPECT_EQ(100.0, info.mTempo);
  EXPECT_EQ(8.5, info.mPPQPos);
  EXPECT_EQ(4410.0, info.mSamplePos);
  EXPECT_TRUE(info.mTransportIsRunning);
  EXPECT_EQ(3, info.mNumerator);
  EXPECT_EQ(8, info.mDenominator);
  EXPECT_EQ(12.0, info.mLastBar);
  EXPECT_EQ(-1.0, info.mCycleStart);
  int num = 0, den = 0;
  p.plug->GetTimeSig(&num, &den);
  EXPECT_EQ(3, num);
  EXPECT_EQ(8, den);
}

TEST(AUHostTime, HostNamesAreLookedUpBySubstringInTableOrder) {
  EXPECT_EQ(9, LookUpHost("Ableton Live 10"));
  EXPECT_EQ(3, LookUpHost("Cubase Elements"));
  EXPECT_EQ(21, LookUpHost("com.apple.logic.pro"));
  EXPECT_EQ(0, LookUpHost("AU Lab"));
  EXPECT_EQ(14, LookUpHost("com.apple.AULab"));
  EXPECT_EQ(0, LookUpHost(""));
  char name[32];
  GetHostNameStr(6, name);
  EXPECT_STREQ("Vegas", name);
  GetHostNameStr(12, name);
  EXPECT_STREQ("Unknown", name);
}

TEST(AUHostTime, TheTestProgramIsAnUnknownHost) {
  OpenPlug p;
  EXPECT_EQ(0, p.plug->GetHost());
}

TEST(AUHostTime, LatencyChangesTellTheirListeners) {
  OpenPlug p;
  int calls = 0;
  AudioUnitAddPropertyListener(
      p.unit, kAudioUnitProperty_Latency, [](void* ref, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) { ++*static_cast<int*>(ref); },
      &calls);
  p.plug->SetLatency(256);
  EXPECT_EQ(1, calls);
  EXPECT_EQ(256, p.plug->GetLatency());
}
