// Stands in for the editor's plug-in class in the framework tests: records what the base calls.
#pragma once

#include <atomic>
#include <vector>

#include "IPluginBase.h"

class TestPlug : public IPluginBase {
public:
  // Like the editor: nParams parameters, "2-2" unless told otherwise, nPresets presets.
  explicit TestPlug(int nParams = 0, const char* channelIO = "2-2", int nPresets = 0, int nAutomated = -1)
      : IPluginBase(nParams, channelIO, nPresets, "Test Effect", "Test Product", "Test Maker", 0x10006, 0x7439766B,
                    0x48734C31, 128, true, true, true, kAPIAU) {
    initialize(nAutomated < 0 ? nParams : nAutomated, nParams, channelIO, nPresets, "Test Effect", "Test Product",
               "Test Maker", 0x10006, 0x7439766B, 0x48734C31, 128, true, true, true);
  }

  void OnParamChange(int paramIdx) override {
    UTIL_MutexLock lock(GetMutex());
    changes.push_back(paramIdx);
  }
  void OnParamChange2(int paramIdx) override {
    UTIL_MutexLock lock(GetMutex());
    changes2.push_back(paramIdx);
  }
  void Reset() override { ++resets; }
  void PresetsChangedByHost() override { ++presetChanges; }

  void BeginInformHostOfParamChange(int) override {}
  void InformHostOfParamChange(int paramIdx, double normalizedValue) override {
    informed.push_back({paramIdx, normalizedValue});
  }
  void EndInformHostOfParamChange(int) override {}
  void InformHostOfProgramChange() override {}
  int GetSamplePos() override { return 0; }
  double GetTempo() override { return tempo; }
  void GetTimeSig(int* n, int* d) override { *n = 4, *d = 4; }
  void GetTime(ITimeInfo*) override {}
  void ResizeGraphics(int, int) override {}
  bool SendMidiVST(IMidiMsg*) override { return false; }
  bool SendMidiMsg(IMidiMsg*) override { return false; }

  // Test access to protected members.
  UTIL_PtrList<InChannel>& inChannels() { return mInChannels; }
  UTIL_PtrList<OutChannel>& outChannels() { return mOutChannels; }

  std::vector<int> changes, changes2;
  std::vector<std::pair<int, double>> informed;
  int resets = 0, presetChanges = 0;
  double tempo = 120.0;
};
