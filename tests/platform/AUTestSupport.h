// Shared by the binding tests: opens the test plug-in through its exported entry, as a host
// does, and closes it at the end of the test.
#pragma once

#include <gtest/gtest.h>

#include "AUComponent.h"
#include "TestPlugin.h"

extern "C" ComponentResult Sorvanta_Entry(ComponentParameters* params, void* storage);
extern "C" ComponentResult Sorvanta_ViewEntry(ComponentParameters* params, void* storage);
extern "C" void* Sorvanta_View_64(AudioUnit unit, void* parent);

inline ComponentDescription TestPlugDescription() {
  return ComponentDescription{kAudioUnitType_MusicDevice, FourCC("t9vT"), FourCC("HsL1"), 0, 0};
}

class OpenPlug {
public:
  OpenPlug() {
    ComponentDescription desc = TestPlugDescription();
    EXPECT_EQ(noErr, OpenComponentInstance(&Sorvanta_Entry, &desc, &unit));
    plug = dynamic_cast<TestPlug*>(static_cast<IPluginAU*>(GetComponentInstanceStorage(unit)));
    EXPECT_NE(nullptr, plug);
  }
  ~OpenPlug() {
    if (unit) CloseComponentInstance(unit);
    // The knobs a test set apply to its own instances only.
    TestPlug::sSerializeFails = false;
    TestPlug::sUnserializeResult = 1;
    TestPlug::sWithGraphics = false;
    TestPlug::sPresets = 0;
  }
  OpenPlug(const OpenPlug&) = delete;
  OpenPlug& operator=(const OpenPlug&) = delete;

  OSStatus SetFormat(AudioUnitScope scope, UInt32 element, UInt32 channels) {
    AudioStreamBasicDescription f;
    MakeDefaultASBD(&f, 44100.0, static_cast<int>(channels), false);
    return AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, scope, element, &f, sizeof f);
  }

  // Renders one block of `frames` at sample time `sampleTime` into two host buffers.
  OSStatus Render(UInt32 frames, double sampleTime, UInt32 bus = 0, bool validTime = true) {
    left.assign(frames ? frames : 1, 0.5f);
    right.assign(frames ? frames : 1, 0.5f);
    AudioBufferListN<2> abl;
    abl.mNumberBuffers = 2;
    abl.mBuffers[0] = {1, frames * 4, left.data()};
    abl.mBuffers[1] = {1, frames * 4, right.data()};
    AudioTimeStamp ts{};
    ts.mSampleTime = sampleTime;
    ts.mFlags = validTime ? UInt32(kAudioTimeStampSampleTimeValid) : 0u;
    AudioUnitRenderActionFlags flags = 0;
    return AudioUnitRender(unit, &flags, &ts, bus, frames, abl.AsList());
  }

  AudioUnit unit = nullptr;
  TestPlug* plug = nullptr;
  std::vector<float> left, right;
};
