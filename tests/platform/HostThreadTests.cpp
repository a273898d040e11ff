// The host's render thread against the main thread: transport changes, MIDI and parameter
// calls through the entry while the plug-in renders through its fast-dispatch procedure.
// Built and run under TSan ("threads").
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "AUComponent.h"
#include "CFPropertyList.h"
#include "HostPlugin.h"

TEST(HostThreads, MainThreadCallsWhileRenderingAreSerialised) {
  HostPlugin host;
  std::string why;
  ASSERT_TRUE(host.Load(SORVANTA_TEST_BUNDLE, &why)) << why;
  ASSERT_TRUE(host.Open(&why)) << why;
  host.StartRendering({});
  HostEvent note;
  note.kind = HostEvent::kMidi;
  note.bytes = {0x90, 0x3C, 0x64};
  for (int i = 0; i < 200; ++i) {
    if (i % 20 == 0) host.Transport().Play();
    if (i % 20 == 10) host.Transport().Stop();
    host.Transport().SetTempo(90.0 + i % 50);
    host.SendNow(note);
    AudioUnitSetParameter(host.Unit(), static_cast<UInt32>(i % 7), kAudioUnitScope_Global, 0, static_cast<float>(i % 3), 0);
    AudioUnitParameterValue v;
    AudioUnitGetParameter(host.Unit(), 0, kAudioUnitScope_Global, 0, &v);
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  // A block takes what was queued before it starts: two blocks on, the last messages are in.
  for (long end = host.BlocksRendered() + 2, ms = 0; host.BlocksRendered() < end && ms < 60000; ++ms)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  host.StopRendering();
  EXPECT_GT(host.BlocksRendered(), 0);
  CFPropertyListRef state = nullptr;
  UInt32 size = sizeof state;
  EXPECT_EQ(noErr, AudioUnitGetProperty(host.Unit(), kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, &size));
  if (state) CFRelease(state);
  host.Close();
}
