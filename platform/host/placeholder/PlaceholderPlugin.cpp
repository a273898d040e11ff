// PLACEHOLDER: stands in for the editor (class Sorvanta) until the editor core exists, so that
// scripts/run.sh starts something real in the stand-in host. It carries the editor's identity
// (manufacturer 'HsL1', subtype 't9vk', version 1.0.6, "2-2", latency 128, 9289 parameters all
// hidden from the host, no presets) and nothing of its behaviour: no view, no MIDI ports. It
// prints what the host delivers. Replace this bundle target with the editor's once it builds.
#include <cstdio>

#include "IPluginAU.h"

namespace {

constexpr int kNumParams = 9289;
constexpr int kStateMagic = 0x48505653;  // 'SVPH': placeholder state
constexpr int kStateVersion = 1;

class PlaceholderPlugin : public IPluginAU {
public:
  explicit PlaceholderPlugin(IPluginInstanceInfo info)
      : IPluginAU(info, 1648, "2-2", 0, "Sorvanta Editor", "", "Harrowgate Sound Labs", 0x10006, static_cast<int>(FourCC("t9vk")), static_cast<int>(FourCC("HsL1")), 128, true, true, true, 0) {
    SetLatency(128);
    initialize(info, 0, kNumParams, "2-2", 0, "Sorvanta Editor", "", "Harrowgate Sound Labs", 0x10006, static_cast<int>(FourCC("t9vk")), static_cast<int>(FourCC("HsL1")), 128, true, true, true,
               0);
    addNonAutomateParamCount(kNumParams);
    printf("placeholder: Sorvanta Editor stand-in loaded (the editor core is not built yet)\n");
  }

  void ProcessMidiMsg(IMidiMsg* msg, bool fromDevice) override {
    printf("placeholder: MIDI from %s: %02X %02X %02X (offset %d)\n", fromDevice ? "device" : "host", msg->mStatus, msg->mData1, msg->mData2,
           msg->mOffset);
    fflush(stdout);
  }

  void ProcessSysEx(ISysEx* sysex, bool fromDevice) override {
    printf("placeholder: SysEx from %s: %d bytes\n", fromDevice ? "device" : "host", sysex->mSize);
    fflush(stdout);
  }

  void ProcessDoubleReplacing(double**, double** outputs, int nFrames) override {
    // Computes no audio: the block is the clock. Watch the transport as the editor will.
    ITimeInfo t;
    GetTime(&t);
    if (t.mTransportIsRunning != mWasRunning) {
      printf("placeholder: transport %s at %.1f BPM\n", t.mTransportIsRunning ? "started" : "stopped", GetTempo());
      fflush(stdout);
      mWasRunning = t.mTransportIsRunning;
    }
    for (int c = 0; c < NOutChannels(); ++c)
      for (int i = 0; i < nFrames; ++i) outputs[c][i] = 0.0;
  }

  bool SerializeState(ByteChunk* chunk) override {
    int magic = kStateMagic, version = kStateVersion;
    chunk->Put(&magic);
    chunk->Put(&version);
    return SerializeNonAutomatedParams(chunk, kNumParams);
  }

  int UnserializeState(ByteChunk* chunk, int startPos) override {
    int magic = 0, version = 0;
    int pos = chunk->Get(&magic, startPos);
    pos = chunk->Get(&version, pos);
    if (pos < 0 || magic != kStateMagic || version != kStateVersion) return -1;
    return UnserializeNonAutomatedParams(chunk, pos, kNumParams);
  }

private:
  bool mWasRunning = false;
};

}  // namespace

const char* PlugBundleIdentifier() { return SORVANTA_BUNDLE_ID; }

IPluginAU* NewPlugInstance(IPluginInstanceInfo info) { return new PlaceholderPlugin(info); }
