// The stand-in host's transport: play/stop, tempo, position, 4/4 time. The render thread asks
// it for the host callbacks' answers and advances it after each block; the main thread (window
// buttons, scheduled actions) starts, stops and retimes it. One mutex guards the fields; the
// callbacks hold it only while they copy values out.
#pragma once

#include <mutex>

#include "AUTypes.h"

class HostTransport {
public:
  explicit HostTransport(double sampleRate = 44100.0, double tempo = 120.0) : mSampleRate(sampleRate), mTempo(tempo) {}

  void Play();
  void Stop();
  // Tempos outside 1..999 BPM are refused (false).
  bool SetTempo(double bpm);
  double Tempo() const;
  bool IsPlaying() const;
  double SamplePosition() const;
  double Beat() const;
  // Moves the play position by `frames` samples when playing.
  void Advance(UInt32 frames);

  // The host callback record to hand to the plug-in (property 27). `this` is the user data.
  HostCallbackInfo Callbacks();

  static OSStatus BeatAndTempo(void* self, Float64* outBeat, Float64* outTempo);
  static OSStatus MusicalTimeLocation(void* self, UInt32* outDeltaToNextBeat, Float32* outNumerator, UInt32* outDenominator,
                                      Float64* outDownBeat);
  static OSStatus TransportState(void* self, Boolean* outIsPlaying, Boolean* outChanged, Float64* outSample, Boolean* outIsCycling,
                                 Float64* outCycleStart, Float64* outCycleEnd);

private:
  mutable std::mutex mLock;
  double mSampleRate;
  double mTempo;
  bool mPlaying = false;
  bool mChanged = false;  // set by Play/Stop, cleared when the plug-in has been told
  double mSample = 0.0;
  double mBeat = 0.0;
};
