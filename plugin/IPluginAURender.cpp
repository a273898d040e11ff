// Buses, stream formats, connections, the render call and host time of the Audio Unit binding.
// RenderProc runs on the host's render thread, without the plug-in lock when the host calls it
// through the fast-dispatch address; it allocates nothing.
#include <cmath>
#include <cstring>

#include "AUComponent.h"
#include "IPluginAU.h"

const char* AUInputTypeStr(int type) {
  switch (type) {
    case IPluginAU::eDirectFastProc: return "DirectFastProc";
    case IPluginAU::eDirectNoFastProc: return "DirectNoFastProc";
    case IPluginAU::eRenderCallback: return "RenderCallback";
    default: return "NotConnected";
  }
}

void MakeDefaultASBD(AudioStreamBasicDescription* asbd, double sampleRate, int nChannels, bool interleaved) {
  memset(asbd, 0, sizeof *asbd);
  asbd->mSampleRate = sampleRate;
  asbd->mFormatID = kAudioFormatLinearPCM;
  asbd->mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;
  asbd->mFramesPerPacket = 1;
  asbd->mChannelsPerFrame = static_cast<UInt32>(nChannels);
  asbd->mBitsPerChannel = 32;
  if (interleaved) {
    asbd->mBytesPerPacket = asbd->mBytesPerFrame = static_cast<UInt32>(nChannels) * 4;
  } else {
    asbd->mFormatFlags |= kAudioFormatFlagIsNonInterleaved;
    asbd->mBytesPerPacket = asbd->mBytesPerFrame = 4;
  }
}

IPluginAU::BusChannels* IPluginAU::GetBus(AudioUnitScope scope, AudioUnitElement busIdx) {
  std::vector<BusChannels>* buses;
  if (scope == kAudioUnitScope_Global || scope == kAudioUnitScope_Output)
    buses = &mOutBuses;
  else if (scope == kAudioUnitScope_Input)
    buses = &mInBuses;
  else
    return nullptr;
  return busIdx < buses->size() ? &(*buses)[busIdx] : nullptr;
}

int IPluginAU::NHostChannelsConnected(std::vector<BusChannels>* pBuses, int excludeIdx) {
  bool any = false;
  int n = 0;
  for (int i = 0; i < static_cast<int>(pBuses->size()); ++i) {
    if (i == excludeIdx) continue;
    int c = (*pBuses)[i].mNHostChannels;
    if (c >= 0) {
      n += c;
      any = true;
    }
  }
  return any ? n : -1;
}

bool IPluginAU::CheckLegalIO(AudioUnitScope scope, int busIdx, int nChannels) {
  if (scope == kAudioUnitScope_Input) {
    int nIn = std::max(NHostChannelsConnected(&mInBuses, busIdx), 0) + nChannels;
    int nOut = mActive ? NHostChannelsConnected(&mOutBuses) : -1;
    return LegalIO(nIn, nOut);
  }
  int nIn = mActive ? NHostChannelsConnected(&mInBuses) : -1;
  int nOut = std::max(NHostChannelsConnected(&mOutBuses, busIdx), 0) + nChannels;
  return LegalIO(nIn, nOut);
}

bool IPluginAU::CheckLegalIO() {
  int nIn = NHostChannelsConnected(&mInBuses);
  int nOut = NHostChannelsConnected(&mOutBuses);
  return (nIn == 0 && nOut == 0) || LegalIO(nIn, nOut);
}

void IPluginAU::AssessInputConnections() {
  UTIL_MutexLock lock(GetMutex());
  SetInputChannelConnections(0, NInChannels(), false);
  for (size_t i = 0; i < mInBuses.size(); ++i) {
    BusChannels& bus = mInBuses[i];
    InputBusConnection& conn = mInBusConnections[i];
    if (conn.mUpstreamRenderProc && conn.mUpstreamObj)
      conn.mInputType = eDirectFastProc;
    else if (conn.mUpstreamUnit)
      conn.mInputType = eDirectNoFastProc;
    else if (conn.mUpstreamRenderCallback.inputProc)
      conn.mInputType = eRenderCallback;
    else
      conn.mInputType = eNotConnected;
    bus.mConnected = conn.mInputType != eNotConnected;
    if (!bus.mConnected) continue;
    if (bus.mNHostChannels < 0) bus.mNHostChannels = bus.mNPlugChannels;
    int nConnected = std::min(bus.mNHostChannels, bus.mNPlugChannels);
    SetInputChannelConnections(bus.mPlugChannelStartIdx, nConnected, true);
    SetInputChannelConnections(bus.mPlugChannelStartIdx + nConnected, std::max(bus.mNPlugChannels - nConnected, 0), false);
  }
}

void IPluginAU::ClearConnections() {
  for (size_t i = 0; i < mInBuses.size(); ++i) {
    mInBuses[i].mConnected = false;
    mInBuses[i].mNHostChannels = -1;
    mInBusConnections[i] = InputBusConnection{};
  }
  for (auto& b : mOutBuses) {
    b.mConnected = false;
    b.mNHostChannels = -1;
  }
}

ComponentResult IPluginAU::setStreamFormat(AudioUnitScope scope, AudioUnitElement element, const AudioStreamBasicDescription* asbd) {
  BusChannels* bus = GetBus(scope, element);
  if (!bus || (scope != kAudioUnitScope_Global && scope != kAudioUnitScope_Input && scope != kAudioUnitScope_Output))
    return kAudioUnitErr_InvalidProperty;
  bus->mNHostChannels = 0;
  const UInt32 nCh = asbd->mChannelsPerFrame;
  // The render call's buffer lists hold at most kMaxBusChannels entries.
  bool ok = nCh > 0 && nCh <= static_cast<UInt32>(kMaxBusChannels) &&
            CheckLegalIO(scope == kAudioUnitScope_Input ? kAudioUnitScope_Input : kAudioUnitScope_Output, static_cast<int>(element),
                         static_cast<int>(nCh)) &&
            asbd->mFormatID == kAudioFormatLinearPCM && (asbd->mFormatFlags & (kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked));
  if (ok) {
    bus->mNHostChannels = static_cast<int>(nCh);
    if (asbd->mSampleRate > 0.0 && std::isfinite(asbd->mSampleRate)) SetSampleRate(asbd->mSampleRate);
  }
  AssessInputConnections();
  return ok ? noErr : kAudioUnitErr_InvalidProperty;
}

ComponentResult IPluginAU::makeConnection(const AudioUnitConnection* conn) {
  if (conn->destInputNumber >= mInBusConnections.size()) return kAudioUnitErr_InvalidProperty;
  InputBusConnection& in = mInBusConnections[conn->destInputNumber];
  in = InputBusConnection{};
  if (!conn->sourceAudioUnit) {
    AssessInputConnections();
    return noErr;
  }
  AudioStreamBasicDescription asbd;
  UInt32 size = sizeof asbd;
  ComponentResult r = AudioUnitGetProperty(conn->sourceAudioUnit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output,
                                           conn->sourceOutputNumber, &asbd, &size);
  if (r == noErr) {
    UInt32 sz = sizeof asbd;
    r = SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, conn->destInputNumber, &sz, &asbd);
  }
  if (r == noErr) {
    in.mUpstreamUnit = conn->sourceAudioUnit;
    in.mUpstreamBusIdx = conn->sourceOutputNumber;
    AudioUnitRenderProc proc = nullptr;
    size = sizeof proc;
    if (AudioUnitGetProperty(conn->sourceAudioUnit, kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global, kAudioUnitRenderFastDispatch,
                             &proc, &size) == noErr &&
        proc) {
      in.mUpstreamRenderProc = proc;
      in.mUpstreamObj = GetComponentInstanceStorage(conn->sourceAudioUnit);
    }
  }
  AssessInputConnections();
  return r == noErr ? noErr : kAudioUnitErr_InvalidProperty;
}

void IPluginAU::SetBlockSize(int blockSize) {
  mInScratchBuf.Resize(NInChannels() * blockSize);
  mOutScratchBuf.Resize(NOutChannels() * blockSize);
  if (mInScratchBuf.Get()) memset(mInScratchBuf.Get(), 0, sizeof(float) * static_cast<size_t>(mInScratchBuf.GetSize()));
  if (mOutScratchBuf.Get()) memset(mOutScratchBuf.Get(), 0, sizeof(float) * static_cast<size_t>(mOutScratchBuf.GetSize()));
  IPluginBase::SetBlockSize(blockSize);
}

void IPluginAU::SetLatency(int samples) {
  InformListeners(kAudioUnitProperty_Latency, kAudioUnitScope_Global);
  IPluginBase::SetLatency(samples);
}

ComponentResult IPluginAU::RenderProc(void* pPlug, AudioUnitRenderActionFlags* pFlags, const AudioTimeStamp* pTimestamp,
                                      UInt32 outputBusIdx, UInt32 nFrames, AudioBufferList* pBufferList) {
  auto* plug = static_cast<IPluginAU*>(pPlug);
  if (!plug || !pTimestamp || !(pTimestamp->mFlags & kAudioTimeStampSampleTimeValid) ||
      outputBusIdx >= static_cast<UInt32>(plug->NOutBuses()) || nFrames > static_cast<UInt32>(plug->GetBlockSize()))
    return kAudioUnitErr_InvalidPropertyValue;
  // The host's list must be one we can walk and fill: no more buffers than a bus may carry,
  // and every buffer given large enough for the block.
  if (!pBufferList || pBufferList->mNumberBuffers > static_cast<UInt32>(kMaxBusChannels)) return kAudioUnitErr_InvalidPropertyValue;
  for (UInt32 i = 0; i < pBufferList->mNumberBuffers; ++i) {
    const AudioBuffer* b = AudioBufferListAt(pBufferList, i);
    if (b->mData && b->mDataByteSize < nFrames * sizeof(float)) return kAudioUnitErr_InvalidPropertyValue;
  }

  AudioUnitRenderActionFlags localFlags = 0;
  if (!pFlags) pFlags = &localFlags;
  // Copied under its own lock so a host thread adding a notification never races this loop.
  AURenderCallbackStruct notify[16];
  size_t nNotify = 0;
  {
    std::lock_guard<std::mutex> g(plug->mRenderNotifyLock);
    for (auto& n : plug->mRenderNotify)
      if (nNotify < 16) notify[nNotify++] = n;
  }
  for (size_t i = 0; i < nNotify; ++i) {
    AudioUnitRenderActionFlags f = kAudioUnitRenderAction_PreRender;
    notify[i].inputProc(notify[i].inputProcRefCon, &f, pTimestamp, outputBusIdx, nFrames, pBufferList);
  }

  const int blockSize = plug->GetBlockSize();
  if (pTimestamp->mSampleTime != plug->mRenderTimestamp) {
    for (size_t b = 0; b < plug->mInBuses.size(); ++b) {
      BusChannels& bus = plug->mInBuses[b];
      InputBusConnection& conn = plug->mInBusConnections[b];
      if (!bus.mConnected || conn.mInputType == eNotConnected) continue;
      int nCh = std::min(std::min(bus.mNHostChannels, bus.mNPlugChannels), static_cast<int>(kMaxBusChannels));
      AudioBufferListN<kMaxBusChannels> in;
      in.mNumberBuffers = static_cast<UInt32>(nCh);
      for (int c = 0; c < nCh; ++c) {
        in.mBuffers[c].mNumberChannels = 1;
        in.mBuffers[c].mDataByteSize = nFrames * sizeof(float);
        in.mBuffers[c].mData = nullptr;
        if (conn.mInputType == eRenderCallback)
          in.mBuffers[c].mData = plug->mInScratchBuf.Get() + static_cast<size_t>(bus.mPlugChannelStartIdx + c) * static_cast<size_t>(blockSize);
      }
      AudioUnitRenderActionFlags f = 0;
      ComponentResult r = noErr;
      switch (conn.mInputType) {
        case eDirectFastProc:
          r = conn.mUpstreamRenderProc(conn.mUpstreamObj, &f, pTimestamp, conn.mUpstreamBusIdx, nFrames, in.AsList());
          break;
        case eDirectNoFastProc:
          r = AudioUnitRender(conn.mUpstreamUnit, &f, pTimestamp, conn.mUpstreamBusIdx, nFrames, in.AsList());
          break;
        case eRenderCallback:
          r = conn.mUpstreamRenderCallback.inputProc(conn.mUpstreamRenderCallback.inputProcRefCon, &f, pTimestamp, static_cast<UInt32>(b),
                                                     nFrames, in.AsList());
          break;
        default: break;
      }
      if (r != noErr) return r;
      float* ptrs[kMaxBusChannels];
      int n = std::min(static_cast<int>(in.mNumberBuffers), nCh);
      for (int c = 0; c < n; ++c) ptrs[c] = static_cast<float*>(in.mBuffers[c].mData);
      // An upstream that left a buffer without data gets silence from our scratch instead.
      for (int c = 0; c < n; ++c)
        if (!ptrs[c] || in.mBuffers[c].mDataByteSize < nFrames * sizeof(float)) {
          ptrs[c] = plug->mInScratchBuf.Get() + static_cast<size_t>(bus.mPlugChannelStartIdx + c) * static_cast<size_t>(blockSize);
          memset(ptrs[c], 0, nFrames * sizeof(float));
        }
      plug->AttachInputBuffers(bus.mPlugChannelStartIdx, n, ptrs, static_cast<int>(nFrames));
    }
    plug->mRenderTimestamp = pTimestamp->mSampleTime;
  }

  BusChannels& out = plug->mOutBuses[outputBusIdx];
  const int nBuffers = static_cast<int>(pBufferList->mNumberBuffers);
  if (!out.mConnected || out.mNHostChannels != nBuffers) {
    int nConnected = std::min(out.mNHostChannels, nBuffers);
    if (nConnected < 0) nConnected = 0;
    plug->SetOutputChannelConnections(out.mPlugChannelStartIdx, nConnected, true);
    plug->SetOutputChannelConnections(out.mPlugChannelStartIdx + nConnected, std::max(out.mNPlugChannels - nConnected, 0), false);
    out.mConnected = true;
  }
  float* outPtrs[kMaxBusChannels];
  for (int c = 0; c < nBuffers; ++c) {
    AudioBuffer* b = AudioBufferListAt(pBufferList, static_cast<UInt32>(c));
    if (!b->mData && c < out.mNPlugChannels) {
      b->mData = plug->mOutScratchBuf.Get() + static_cast<size_t>(out.mPlugChannelStartIdx + c) * static_cast<size_t>(blockSize);
      b->mDataByteSize = nFrames * sizeof(float);
    }
    outPtrs[c] = static_cast<float*>(b->mData);
  }
  plug->AttachOutputBuffers(out.mPlugChannelStartIdx, std::min(nBuffers, out.mNPlugChannels), outPtrs);

  int lastConnected = -1;
  for (int i = 0; i < plug->NOutBuses() && plug->mOutBuses[i].mConnected; ++i) lastConnected = i;
  if (static_cast<int>(outputBusIdx) == lastConnected) {
    int firstLater = (static_cast<int>(outputBusIdx) + 1) * 2;
    if (firstLater < plug->NOutChannels()) plug->SetOutputChannelConnections(firstLater, plug->NOutChannels() - firstLater, false);
    if (plug->IsBypassed())
      plug->PassThroughBuffers(0.0f, static_cast<int>(nFrames));
    else
      plug->ProcessBuffers(0.0f, static_cast<int>(nFrames));
  }

  for (size_t i = 0; i < nNotify; ++i) {
    AudioUnitRenderActionFlags f = kAudioUnitRenderAction_PostRender;
    notify[i].inputProc(notify[i].inputProcRefCon, &f, pTimestamp, outputBusIdx, nFrames, pBufferList);
  }
  return noErr;
}

// ---------------------------------------------------------------------------------------------
// Host time (render thread)

namespace {

// One call of each host callback, with every out-value starting at 0. False when the host gave
// no such callback (the caller then leaves its values alone).
struct TransportState {
  Boolean playing = false, changed = false, cycling = false;
  Float64 sample = 0.0, cycleStart = 0.0, cycleEnd = 0.0;
};
bool askTransport(const HostCallbackInfo& cb, TransportState* t) {
  if (!cb.transportStateProc) return false;
  cb.transportStateProc(cb.hostUserData, &t->playing, &t->changed, &t->sample, &t->cycling, &t->cycleStart, &t->cycleEnd);
  return true;
}

struct MusicalTime {
  UInt32 deltaToNextBeat = 0, denominator = 0;
  Float32 numerator = 0.0f;
  Float64 downBeat = 0.0;
  // The numerator truncated; 0 for a value an int cannot hold.
  int Numerator() const { return std::isfinite(numerator) && std::fabs(numerator) < 1e9f ? static_cast<int>(numerator) : 0; }
};
bool askMusicalTime(const HostCallbackInfo& cb, MusicalTime* m) {
  if (!cb.musicalTimeLocationProc) return false;
  cb.musicalTimeLocationProc(cb.hostUserData, &m->deltaToNextBeat, &m->numerator, &m->denominator, &m->downBeat);
  return true;
}

bool askBeatAndTempo(const HostCallbackInfo& cb, Float64* beat, Float64* tempo) {
  *beat = *tempo = 0.0;
  if (!cb.beatAndTempoProc) return false;
  cb.beatAndTempoProc(cb.hostUserData, beat, tempo);
  return true;
}

}  // namespace

double IPluginAU::GetTempo() {
  Float64 beat, tempo;
  if (askBeatAndTempo(mHostCallbacks, &beat, &tempo) && tempo > 0.0) mTempo = tempo;
  return mTempo;
}

void IPluginAU::GetTimeSig(int* pNum, int* pDenom) {
  MusicalTime m;
  if (!askMusicalTime(mHostCallbacks, &m)) return;
  if (pNum) *pNum = m.Numerator();
  if (pDenom) *pDenom = static_cast<int>(m.denominator);
}

void IPluginAU::GetTime(ITimeInfo* pTimeInfo) {
  if (!pTimeInfo) return;
  Float64 beat, tempo;
  if (askBeatAndTempo(mHostCallbacks, &beat, &tempo)) {
    if (tempo > 0.0) pTimeInfo->mTempo = tempo;
    if (beat > 0.0) pTimeInfo->mPPQPos = beat;
  }
  TransportState t;
  if (askTransport(mHostCallbacks, &t)) {
    if (t.sample > 0.0) pTimeInfo->mSamplePos = t.sample;
    if (t.cycleStart > 0.0) pTimeInfo->mCycleStart = t.cycleStart;
    if (t.cycleEnd > 0.0) pTimeInfo->mCycleEnd = t.cycleEnd;
    pTimeInfo->mTransportIsRunning = t.playing;
    pTimeInfo->mTransportLoopEnabled = t.cycling;
  }
  MusicalTime m;
  if (askMusicalTime(mHostCallbacks, &m)) {
    pTimeInfo->mNumerator = m.Numerator();
    pTimeInfo->mDenominator = static_cast<int>(m.denominator);
    if (m.downBeat > 0.0) pTimeInfo->mLastBar = m.downBeat;
  }
}

int IPluginAU::GetSamplePos() {
  TransportState t;
  if (!askTransport(mHostCallbacks, &t)) return 0;
  double r = t.sample + 0.5;
  if (!(r > -2147483648.0 && r < 2147483647.0)) return 0;  // a position an int cannot hold
  return static_cast<int>(r);
}
