#include "TestPlugin.h"

#include <unistd.h>

#include <cstdlib>

#include "AUTypes.h"

#ifndef SORVANTA_BUNDLE_ID
#define SORVANTA_BUNDLE_ID "com.harrowgatesoundlabs.audiounit.SorvantaTest"
#endif

std::atomic<bool> TestPlug::sSerializeFails{false};
std::atomic<int> TestPlug::sUnserializeResult{1};
std::atomic<bool> TestPlug::sWithGraphics{false};
std::atomic<int> TestPlug::sPresets{0};
std::atomic<int> TestPlug::sLiveInstances{0};
std::atomic<bool> TestPlug::sRenderHeld{false};

namespace {

constexpr int kStateMagic = 0x54535054;  // 'TPST'
constexpr int kUniqueID = static_cast<int>(FourCC("t9vT"));
constexpr int kMfrID = static_cast<int>(FourCC("HsL1"));

}  // namespace

TestPlug::TestPlug(IPluginInstanceInfo info)
    : IPluginAU(info, kNumParams, "2-2", sPresets, "Sorvanta Test", "", "Harrowgate Sound Labs", 0x10006, kUniqueID, kMfrID, 128, true, true, true,
                0) {
  ++sLiveInstances;
  initialize(info, kNumParams, kNumParams, "2-2", sPresets, "Sorvanta Test", "", "Harrowgate Sound Labs", 0x10006, kUniqueID, kMfrID, 128, true,
             true, true, 0);
  addNonAutomateParamCount(kNumHidden);
  GetParam(0)->InitInt("Cutoff", 64, 0, 127, "", "Filter");
  GetParam(1)->InitEnum("Wave", 0, 3, "", "Osc");
  GetParam(1)->SetDisplayText(0, "Saw");
  GetParam(1)->SetDisplayText(1, "Square");
  GetParam(1)->SetDisplayText(2, "Sine");
  GetParam(2)->InitBool("Sync", false, "", "Osc");
  GetParam(3)->InitDouble("Res", 0.5, 0.0, 1.0, 0.01, "", "Filter");
  GetParam(4)->InitInt("Octave", 0, -2, 2, "", "Osc");
  GetParam(5)->InitDouble("Level", 0.8, 0.0, 1.0, 0.01, "dB", "Amp");
  GetParam(6)->InitDouble("Pan", 0.0, -1.0, 1.0, 0.01);
  for (int i = 7; i < kNumParams; ++i) GetParam(i)->InitDouble("Hidden", 0.0, 0.0, 10.0, 0.1);
  SetLatency(128);
  MakeDefaultPreset("Factory", NPresets());
  // The bundle build is switched by the environment (its statics are not the test program's).
  if (sWithGraphics || getenv("SORVANTA_TEST_GRAPHICS")) AttachGraphics(new TestGraphics(this));
}

TestPlug::~TestPlug() { --sLiveInstances; }

void TestPlug::ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) {
  for (int ms = 0; sRenderHeld && ms < 120000; ++ms) usleep(1000);  // the bound: a test that never lets go
  ++mBlocks;
  if (NInChannels() > 0 && nFrames > 0) mFirstInputSample = inputs[0][0];
  ITimeInfo t;
  GetTime(&t);
  if (t.mTransportIsRunning && !mWasRunning) ++mStarts;
  if (!t.mTransportIsRunning && mWasRunning) ++mStops;
  mWasRunning = t.mTransportIsRunning;
  if (t.mTransportIsRunning) mTempoWhilePlaying = GetTempo();
  for (int c = 0; c < NOutChannels(); ++c)
    for (int i = 0; i < nFrames; ++i) outputs[c][i] = c < NInChannels() ? inputs[c][i] : 0.0;
}

bool TestPlug::SerializeState(ByteChunk* chunk) {
  if (sSerializeFails) return false;
  int magic = kStateMagic;
  int midi = static_cast<int>(mMidi.size()), sysex = static_cast<int>(mSysEx.size());
  chunk->Put(&magic);
  chunk->Put(&mStarts);
  chunk->Put(&mStops);
  chunk->Put(&mTempoWhilePlaying);
  chunk->Put(&midi);
  chunk->Put(&sysex);
  return SerializeParams(chunk) && SerializeNonAutomatedParams(chunk, kNumHidden);
}

int TestPlug::UnserializeState(ByteChunk* chunk, int startPos) {
  ++mUnserializeCalls;
  mLastUnserializeSize = chunk->Size();
  if (sUnserializeResult != 1) return sUnserializeResult;
  int magic = 0, midi = 0, sysex = 0;
  int starts = 0, stops = 0;
  double tempo = 0.0;
  int pos = chunk->Get(&magic, startPos);
  pos = chunk->Get(&starts, pos);
  pos = chunk->Get(&stops, pos);
  pos = chunk->Get(&tempo, pos);
  pos = chunk->Get(&midi, pos);
  pos = chunk->Get(&sysex, pos);
  if (pos < 0 || magic != kStateMagic || midi < 0 || sysex < 0 || midi > 1 << 20 || sysex > 1 << 20) return -1;
  pos = UnserializeParams(chunk, pos);
  pos = UnserializeNonAutomatedParams(chunk, pos, kNumHidden);
  if (pos < 0) return -1;
  mStarts = starts;
  mStops = stops;
  mTempoWhilePlaying = tempo;
  // The counts come back as that many placeholder entries, so a saved state saves the same again.
  mMidi.assign(static_cast<size_t>(midi), IMidiMsg());
  mSysEx.assign(static_cast<size_t>(sysex), std::vector<uint8_t>());
  return pos;
}

const char* PlugBundleIdentifier() { return SORVANTA_BUNDLE_ID; }

IPluginAU* NewPlugInstance(IPluginInstanceInfo info) { return new TestPlug(info); }
