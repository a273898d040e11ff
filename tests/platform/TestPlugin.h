// A small plug-in on IPluginAU for the binding's tests, built twice: linked into the unit tests
// (opened through Sorvanta_Entry in-process) and as its own bundle (SorvantaTest.component) that
// the end-to-end test runs in the stand-in host.
//
// Ten parameters, the last three hidden from the host:
//   0 int "Cutoff" 0..127 (64), group "Filter"    5 double "Level" 0..1, label "dB", group "Amp"
//   1 enum "Wave" Saw/Square/Sine, group "Osc"    6 double "Pan" -1..1, no label
//   2 bool "Sync", group "Osc"                    7..9 double hidden
//   3 double "Res" 0..1, group "Filter"
//   4 int "Octave" -2..2, group "Osc"
// Its state chunk carries every parameter and what it saw of the host: transport starts and
// stops, the tempo while playing, MIDI and SysEx counts.
#pragma once

#include <atomic>
#include <vector>

#include "IGraphics.h"
#include "IPluginAU.h"

class TestPlug : public IPluginAU {
public:
  static constexpr int kNumParams = 10;
  static constexpr int kNumHidden = 3;

  // Knobs the unit tests set before opening an instance (each ctest case runs in its own process).
  static std::atomic<bool> sSerializeFails;   // SerializeState answers false
  static std::atomic<int> sUnserializeResult;  // 1: normal; otherwise UnserializeState answers this
  static std::atomic<bool> sWithGraphics;      // attach a TestGraphics
  static std::atomic<int> sPresets;            // that many presets "Factory", holding the opening state
  static std::atomic<int> sLiveInstances;
  static std::atomic<bool> sRenderHeld;       // rendering waits (the host's clock stands) while set

  explicit TestPlug(IPluginInstanceInfo info);
  ~TestPlug() override;

  void Reset() override { ++mResetCount; }
  void OnParamChange(int idx) override {
    ++mParamChangeCount;
    mLastParamChanged = idx;
  }
  void OnActivate(bool active) override { mActivations.push_back(active); }
  void ProcessMidiMsg(IMidiMsg* msg, bool fromDevice) override {
    mMidi.push_back(*msg);
    mMidiFromDevice = fromDevice;
  }
  void ProcessSysEx(ISysEx* sysex, bool fromDevice) override {
    mSysEx.emplace_back(sysex->mData, sysex->mData + sysex->mSize);
    mSysExFromDevice = fromDevice;
  }
  void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) override;
  bool SerializeState(ByteChunk* chunk) override;
  int UnserializeState(ByteChunk* chunk, int startPos) override;
  void OnHostIdentified() override { ++mHostIdentified; }

  // What the tests look at.
  int mResetCount = 0, mParamChangeCount = 0, mLastParamChanged = -1, mHostIdentified = 0;
  int mUnserializeCalls = 0, mLastUnserializeSize = -1;
  std::vector<bool> mActivations;
  std::vector<IMidiMsg> mMidi;
  bool mMidiFromDevice = true, mSysExFromDevice = true;
  std::vector<std::vector<uint8_t>> mSysEx;
  long mBlocks = 0;
  double mFirstInputSample = 0.0;
  // Part of the state.
  int mStarts = 0, mStops = 0;
  double mTempoWhilePlaying = 0.0;
  bool mWasRunning = false;
};

// Headless graphics whose OpenWindow answers the parent it was given (so tests see it called).
class TestGraphics : public IGraphics {
public:
  explicit TestGraphics(IPluginBase* plug) : IGraphics(plug, 100, 50, 0) {}
  void* OpenWindow(void* parent) override {
    ++mOpened;
    return parent;
  }
  void CloseWindow() override { ++mClosed; }
  int mOpened = 0, mClosed = 0;
};
