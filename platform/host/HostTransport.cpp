#include "HostTransport.h"

#include <cmath>

void HostTransport::Play() {
  std::lock_guard<std::mutex> g(mLock);
  if (!mPlaying) mChanged = true;
  mPlaying = true;
}

void HostTransport::Stop() {
  std::lock_guard<std::mutex> g(mLock);
  if (mPlaying) mChanged = true;
  mPlaying = false;
}

bool HostTransport::SetTempo(double bpm) {
  if (!(bpm >= 1.0 && bpm <= 999.0)) return false;
  std::lock_guard<std::mutex> g(mLock);
  mTempo = bpm;
  return true;
}

double HostTransport::Tempo() const {
  std::lock_guard<std::mutex> g(mLock);
  return mTempo;
}

bool HostTransport::IsPlaying() const {
  std::lock_guard<std::mutex> g(mLock);
  return mPlaying;
}

double HostTransport::SamplePosition() const {
  std::lock_guard<std::mutex> g(mLock);
  return mSample;
}

double HostTransport::Beat() const {
  std::lock_guard<std::mutex> g(mLock);
  return mBeat;
}

void HostTransport::Advance(UInt32 frames) {
  std::lock_guard<std::mutex> g(mLock);
  if (!mPlaying) return;
  mSample += frames;
  // Beats accumulate block by block so a tempo change moves only what follows it.
  mBeat += frames / mSampleRate * mTempo / 60.0;
}

HostCallbackInfo HostTransport::Callbacks() {
  HostCallbackInfo info{};
  info.hostUserData = this;
  info.beatAndTempoProc = &HostTransport::BeatAndTempo;
  info.musicalTimeLocationProc = &HostTransport::MusicalTimeLocation;
  info.transportStateProc = &HostTransport::TransportState;
  return info;
}

OSStatus HostTransport::BeatAndTempo(void* self, Float64* outBeat, Float64* outTempo) {
  auto* t = static_cast<HostTransport*>(self);
  std::lock_guard<std::mutex> g(t->mLock);
  if (outBeat) *outBeat = t->mBeat;
  if (outTempo) *outTempo = t->mTempo;
  return noErr;
}

OSStatus HostTransport::MusicalTimeLocation(void* self, UInt32* outDeltaToNextBeat, Float32* outNumerator, UInt32* outDenominator,
                                            Float64* outDownBeat) {
  auto* t = static_cast<HostTransport*>(self);
  std::lock_guard<std::mutex> g(t->mLock);
  double samplesPerBeat = t->mSampleRate * 60.0 / t->mTempo;
  double toNext = (std::ceil(t->mBeat) - t->mBeat) * samplesPerBeat;
  if (outDeltaToNextBeat) *outDeltaToNextBeat = static_cast<UInt32>(toNext + 0.5);
  if (outNumerator) *outNumerator = 4.0f;
  if (outDenominator) *outDenominator = 4;
  if (outDownBeat) *outDownBeat = std::floor(t->mBeat / 4.0) * 4.0;
  return noErr;
}

OSStatus HostTransport::TransportState(void* self, Boolean* outIsPlaying, Boolean* outChanged, Float64* outSample, Boolean* outIsCycling,
                                       Float64* outCycleStart, Float64* outCycleEnd) {
  auto* t = static_cast<HostTransport*>(self);
  std::lock_guard<std::mutex> g(t->mLock);
  if (outIsPlaying) *outIsPlaying = t->mPlaying;
  if (outChanged) *outChanged = t->mChanged;
  t->mChanged = false;
  if (outSample) *outSample = t->mSample;
  if (outIsCycling) *outIsCycling = false;
  if (outCycleStart) *outCycleStart = 0.0;
  if (outCycleEnd) *outCycleEnd = 0.0;
  return noErr;
}
