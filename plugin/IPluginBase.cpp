#include "IPluginBase.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "IGraphics.h"
#include "IPlugHosts.h"

// ---------------------------------------------------------------- versions

void GetVersionParts(int version, int* pMajor, int* pMinor, int* pRevision) {
  if (pMajor) *pMajor = (version & 0xFFFF0000) >> 16;
  if (pMinor) *pMinor = (version & 0x0000FF00) >> 8;
  if (pRevision) *pRevision = version & 0x000000FF;
}

int GetDecimalVersion(int version) {
  int major, minor, revision;
  GetVersionParts(version, &major, &minor, &revision);
  return major * 10000 + minor * 100 + revision;
}

void GetVersionStr(int version, char* str) {
  if (!str) return;
  int major, minor, revision;
  GetVersionParts(version, &major, &minor, &revision);
  if (revision)
    snprintf(str, kVersionStrLen, "v%d.%d.%d", major, minor, revision);
  else if (minor)
    snprintf(str, kVersionStrLen, "v%d.%d", major, minor);
  else
    snprintf(str, kVersionStrLen, "v%d", major);
}

void InitChunkWithIPluginVer(ByteChunk* chunk) {
  if (!chunk) return;
  chunk->Clear();
  int magic = kIPlugMagic, ver = kIPlugVersion;
  chunk->Put(&magic);
  chunk->Put(&ver);
}

int GetIPluginVerFromChunk(const ByteChunk* chunk, int* pos) {
  if (!chunk || !pos) return 0;
  int magic = 0, ver = 0;
  int p = chunk->Get(&magic, *pos);
  if (p < 0 || magic != kIPlugMagic) return 0;
  *pos = chunk->Get(&ver, p);
  return *pos < 0 ? 0 : ver;
}

// ---------------------------------------------------------------- construction

IPluginBase::IPluginBase(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
                         const char* productName, const char* mfrName, int vendorVersion, int uniqueID, int mfrID,
                         int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst, EAPI plugAPI)
    : mUniqueID(uniqueID),
      mMfrID(mfrID),
      mVersion(vendorVersion),
      mAPI(plugAPI),
      mStateChunks(plugDoesChunks),
      mIsInst(plugIsInst),
      mLatency(latency),
      mPreviousPath(nullptr, 128) {
  // The counts, names and channel string are taken by initialize(), the second phase.
  (void)nParams;
  (void)channelIOStr;
  (void)nPresets;
  (void)effectName;
  (void)productName;
  (void)mfrName;
  (void)plugDoesMidi;
  mEffectName[0] = mProductName[0] = mMfrName[0] = 0;
}

void IPluginBase::initialize(int nAutomated, int nParams, const char* channelIOStr, int nPresets,
                             const char* effectName, const char* productName, const char* mfrName, int, int, int, int,
                             bool, bool, bool) {
  if (nParams < 0) nParams = 0;
  if (nPresets < 0) nPresets = 0;
  mNonAutomatedParamCount = nParams - nAutomated;
  mPreviousPath.Set("");
  mParams.Empty(true);
  mParamSlots.reset(nParams > 0 ? new IParamSlot[nParams] : nullptr);
  for (int i = 0; i < nParams; ++i) mParams.Add(new IParam(&mParamSlots[i]));
  for (int i = 0; i < nPresets; ++i) mPresets.Add(new IPreset);
  snprintf(mEffectName, sizeof(mEffectName), "%s", effectName ? effectName : "");
  snprintf(mProductName, sizeof(mProductName), "%s", productName ? productName : "");
  snprintf(mMfrName, sizeof(mMfrName), "%s", mfrName ? mfrName : "");

  // "in-out" pairs separated by blanks, e.g. "1-1 2-2".
  int nIn = 0, nOut = 0;
  for (const char* p = channelIOStr; p && *p;) {
    int in = 0, out = 0;
    sscanf(p, "%d-%d", &in, &out);
    // Channel counts are small; a negative or absurd count in the string must not size buffers.
    if (in < 0) in = 0;
    if (out < 0) out = 0;
    if (in > 128) in = 128;
    if (out > 128) out = 128;
    if (in > nIn) nIn = in;
    if (out > nOut) nOut = out;
    mChannelIO.Add(new ChannelIO(in, out));
    p = strchr(p, ' ');
    if (p) ++p;
  }

  // Channels are made (or added) first, then every slot pointer is set: the data buffers may
  // move when they grow.
  if (nIn > mInData.GetSize()) mInData.Resize(nIn);
  if (nOut > mOutData.GetSize()) mOutData.Resize(nOut);
  while (mInChannels.GetSize() < mInData.GetSize()) mInChannels.Add(new InChannel);
  while (mOutChannels.GetSize() < mOutData.GetSize()) mOutChannels.Add(new OutChannel);
  repointChannels();
}

// Every slot goes back to its scratch buffer: a connected channel's slot is set again by the next
// Attach*Buffers, and until then it must not point at a scratch block that has moved.
void IPluginBase::repointChannels() {
  for (int i = 0; i < mInChannels.GetSize(); ++i) {
    InChannel* c = mInChannels.Get(i);
    c->mSrc = mInData.Get() + i;
    *c->mSrc = c->mScratchBuf.Get();
  }
  for (int i = 0; i < mOutChannels.GetSize(); ++i) {
    OutChannel* c = mOutChannels.Get(i);
    c->mDest = mOutData.Get() + i;
    *c->mDest = c->mScratchBuf.Get();
  }
}

IPluginBase::~IPluginBase() {
  delete mGraphics;
  mGraphics = nullptr;
  mParams.Empty(true);
  mPresets.Empty(true);
  mInChannels.Empty(true);
  mOutChannels.Empty(true);
  mChannelIO.Empty(true);
  mInputBusLabels.Empty(true);
  mOutputBusLabels.Empty(true);
  // mDelay: nothing ever creates a delay line, so there is nothing to free.
  CloseDirectMidiPorts();
}

// ---------------------------------------------------------------- default hooks

void IPluginBase::Reset() { UTIL_MutexLock lock(&mMutex); }
void IPluginBase::OnParamChange(int) { UTIL_MutexLock lock(&mMutex); }
void IPluginBase::OnParamChange2(int) { UTIL_MutexLock lock(&mMutex); }
void IPluginBase::OnActivate(bool) { UTIL_MutexLock lock(&mMutex); }
void IPluginBase::ProcessMidiMsg(IMidiMsg*, bool) {}
void IPluginBase::ProcessSysEx(ISysEx*, bool) {}
void IPluginBase::PopupHostContextMenuForParam(int, int, int) {}

bool IPluginBase::MidiNoteName(int, char* noteName) {
  if (noteName) *noteName = 0;
  return false;
}

bool IPluginBase::SendMidiSysex(unsigned char*, int) { return false; }
bool IPluginBase::SendPatchSysex(unsigned char*, int) { return false; }
bool IPluginBase::SendMidiSysex2(std::vector<unsigned char>) { return false; }
bool IPluginBase::SendSysEx(ISysEx*) { return false; }

namespace {

// Copies input i to output i for every i below both channel counts, zeroes the other outputs.
template <class T>
void copyInputsToOutputs(T** inputs, T** outputs, int nIn, int nOut, int nFrames) {
  if (!outputs || nFrames <= 0) return;
  for (int i = 0; i < nOut; ++i) {
    if (!outputs[i]) continue;
    if (i < nIn && inputs && inputs[i]) {
      if (inputs[i] != outputs[i]) memmove(outputs[i], inputs[i], static_cast<size_t>(nFrames) * sizeof(T));
    } else {
      memset(outputs[i], 0, static_cast<size_t>(nFrames) * sizeof(T));
    }
  }
}

}  // namespace

void IPluginBase::ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) {
  copyInputsToOutputs(inputs, outputs, NInChannels(), NOutChannels(), nFrames);
}

void IPluginBase::ProcessSingleReplacing(float** inputs, float** outputs, int nFrames) {
  copyInputsToOutputs(inputs, outputs, NInChannels(), NOutChannels(), nFrames);
}

bool IPluginBase::SerializeState(ByteChunk* chunk) { return SerializeParams(chunk); }
int IPluginBase::UnserializeState(ByteChunk* chunk, int startPos) { return UnserializeParams(chunk, startPos); }

bool IPluginBase::CompareState(const unsigned char* data, int startPos) {
  if (!data || startPos < 0) return false;
  int n = NHostParams();
  for (int i = 0; i < n; ++i) {
    double stored;
    memcpy(&stored, data + (static_cast<size_t>(startPos) + static_cast<size_t>(i)) * sizeof(double), sizeof(double));
    float v = static_cast<float>(GetParam(i)->Value());
    if (!(std::fabs(static_cast<double>(v) - stored) < 0.00001)) return false;
  }
  return true;
}

// ---------------------------------------------------------------- parameters

int IPluginBase::NHostParams() const {
  int h = NParams() - mNonAutomatedParamCount;
  if (h < 0) h = 0;
  if (h > NParams()) h = NParams();
  return h;
}

namespace {

// The two GUI setters differ only in the handler they call.
template <class Handler>
void setFromGUI(IPluginBase* plug, UTIL_Mutex* mutex, int paramIdx, double normalizedValue, Handler handler) {
  UTIL_MutexLock lock(mutex);  // released on every path, exceptions included
  IParam* param = plug->GetParam(paramIdx);
  if (!param) return;
  double before = param->Value();
  param->SetNormalized(normalizedValue);
  plug->InformHostOfParamChange(paramIdx, normalizedValue);
  // A text parameter notifies its handler even when its value did not move.
  if (param->Value() == before && param->Type() != IParam::kTypeText) return;
  handler(paramIdx);
}

}  // namespace

void IPluginBase::SetParameterFromGUI(int paramIdx, double normalizedValue) {
  setFromGUI(this, &mMutex, paramIdx, normalizedValue, [this](int i) { OnParamChange(i); });
}

void IPluginBase::SetParameterFromGUI2(int paramIdx, double normalizedValue) {
  setFromGUI(this, &mMutex, paramIdx, normalizedValue, [this](int i) { OnParamChange2(i); });
}

void IPluginBase::SetParamTextFromGUI(int paramIdx, const char* text) {
  IParam* param = GetParam(paramIdx);
  if (!param) return;
  std::lock_guard<std::mutex> texts(mParamTextLock);
  param->SetDisplayText(0, text);
}

void IPluginBase::OnParamReset() {
  for (int i = 0, n = NHostParams(); i < n; ++i) OnParamChange(i);
  Reset();
}

void IPluginBase::AttachGraphics(IGraphics* graphics) {
  if (!graphics) return;
  UTIL_MutexLock lock(&mMutex);
  for (int i = 0, n = NParams(); i < n; ++i) graphics->SetParameterFromPlug(i, GetParam(i)->GetNormalized(), true);
  graphics->PrepDraw();
  if (mGraphics && mGraphics != graphics) delete mGraphics;  // a second attach must not leak the first
  mGraphics = graphics;
}

void IPluginBase::RedrawParamControls() {
  if (!mGraphics) return;
  for (int i = 0, n = NParams(); i < n; ++i) mGraphics->SetParameterFromPlug(i, GetParam(i)->Value(), false);
}

void IPluginBase::DirtyParameters() {
  UTIL_MutexLock lock(&mMutex);
  for (int i = 0, n = NHostParams(); i < n; ++i) InformHostOfParamChange(i, GetParam(i)->GetNormalized());
}

// ---------------------------------------------------------------- parameter blocks

namespace {

// Appends the values of the n parameters whose slots start at slots as consecutive native doubles.
// The chunk grows once for the whole block; false when it cannot (the chunk is then left as it was).
bool putValues(const IParamSlot* slots, ByteChunk* chunk, int n) {
  if (n <= 0) return true;
  if (static_cast<long long>(n) * 8 > 0x7fffffffLL) return false;
  uint8_t* dst = chunk->Extend(n * 8);  // every byte written below
  if (!dst) return false;
  for (int i = 0; i < n; ++i) {
    const double v = slots[i].value.load(std::memory_order_relaxed);
    memcpy(dst + static_cast<size_t>(i) * 8, &v, 8);
  }
  return true;
}

// Reads n doubles from startPos into the parameters whose slots start at slots, clamped to each
// range. A chunk that ends early sets the parameter being read to 0.0 clamped and returns -1; the
// ones after it keep their values.
int getValues(IParamSlot* slots, const ByteChunk* chunk, int startPos, int n) {
  if (startPos >= 0 && static_cast<long long>(startPos) + static_cast<long long>(n) * 8 <= chunk->Size()) {
    // The whole block is there: one bounds check instead of one per value.
    const uint8_t* src = chunk->GetBytes() + startPos;
    for (int i = 0; i < n; ++i) {
      double v;
      memcpy(&v, src + static_cast<size_t>(i) * 8, 8);
      slots[i].setClamped(v);
    }
    return startPos + n * 8;
  }
  int pos = startPos;
  for (int i = 0; i < n; ++i) {
    double v = 0.0;
    pos = chunk->Get(&v, pos);
    if (pos < 0) v = 0.0;
    slots[i].setClamped(v);
    if (pos < 0) break;
  }
  return pos;
}

}  // namespace

bool IPluginBase::SerializeParams(ByteChunk* chunk) {
  if (!chunk) return false;
  UTIL_MutexLock lock(&mMutex);
  return putValues(mParamSlots.get(), chunk, NHostParams());
}

int IPluginBase::UnserializeParams(ByteChunk* chunk, int startPos) {
  UTIL_MutexLock lock(&mMutex);
  int h = NHostParams();
  if (startPos < 0 || h < 1) return startPos;
  if (!chunk) return -1;
  return getValues(mParamSlots.get(), chunk, startPos, h);
}

bool IPluginBase::SerializeNonAutomatedParams(ByteChunk* chunk, int n) {
  if (!chunk) return false;
  UTIL_MutexLock lock(&mMutex);
  int h = NHostParams();
  if (n > NParams() - h) n = NParams() - h;  // never past the parameter list
  if (n < 1) return true;
  return putValues(mParamSlots.get() + h, chunk, n);
}

int IPluginBase::UnserializeNonAutomatedParams(ByteChunk* chunk, int startPos, int n) {
  UTIL_MutexLock lock(&mMutex);
  int h = NHostParams();
  if (n > NParams() - h) n = NParams() - h;
  if (startPos < 0 || n < 1) return startPos;
  if (!chunk) return -1;
  return getValues(mParamSlots.get() + h, chunk, startPos, n);
}

// ---------------------------------------------------------------- identity

int IPluginBase::GetEffectVersion(bool decimal) const { return decimal ? GetDecimalVersion(mVersion) : mVersion; }

void IPluginBase::GetEffectVersionStr(char* str) const { GetVersionStr(mVersion, str); }

int IPluginBase::GetHostVersion(bool decimal) {
  GetHost();
  return decimal ? GetDecimalVersion(mHostVersion) : mHostVersion;
}

void IPluginBase::GetHostVersionStr(char* str) {
  GetHost();
  GetVersionStr(mHostVersion, str);
}

const char* IPluginBase::GetAPIString() {
  switch (GetAPI()) {
    case kAPIVST2: return "VST2";
    case kAPIVST3: return "VST3";
    case kAPIAU: return "AU";
    case kAPIRTAS: return "RTAS";
    case kAPIAAX: return "AAX";
    case kAPISA: return "Standalone";
  }
  return "";
}

void IPluginBase::SetHost(const char* name, int version) {
  mHost = LookUpHost(name);
  mHostVersion = version;
}

double IPluginBase::GetSamplesPerBeat() {
  double tempo = GetTempo();
  return tempo > 0.0 ? mSampleRate * 60.0 / tempo : 0.0;
}

// ---------------------------------------------------------------- channels

bool IPluginBase::GetChannelIO(int idx, int* pIn, int* pOut) const {
  ChannelIO* io = mChannelIO.Get(idx);
  if (!io) return false;
  if (pIn) *pIn = io->mIn;
  if (pOut) *pOut = io->mOut;
  return true;
}

bool IPluginBase::LegalIO(int nIn, int nOut) const {
  for (int i = 0; i < mChannelIO.GetSize(); ++i) {
    ChannelIO* io = mChannelIO.Get(i);
    if ((nIn == -1 || nIn == io->mIn) && (nOut == -1 || nOut == io->mOut)) return true;
  }
  return false;
}

void IPluginBase::LimitToStereoIO() {
  if (NInChannels() > 2) SetInputChannelConnections(2, NInChannels() - 2, false);
  if (NOutChannels() > 2) SetOutputChannelConnections(2, NOutChannels() - 2, true);
}

namespace {

// [idx, min(idx + n, count)) with idx held at 0; computed without int overflow.
int rangeEnd(int idx, int n, int count) {
  long long end = static_cast<long long>(idx) + n;
  return end < count ? static_cast<int>(end) : count;
}

}  // namespace

void IPluginBase::SetInputChannelConnections(int idx, int n, bool connected) {
  if (idx < 0) idx = 0;
  for (int i = idx, end = rangeEnd(idx, n, NInChannels()); i < end; ++i) {
    InChannel* c = mInChannels.Get(i);
    c->mConnected = connected;
    if (!connected) *c->mSrc = c->mScratchBuf.Get();
  }
}

void IPluginBase::SetOutputChannelConnections(int idx, int n, bool connected) {
  if (idx < 0) idx = 0;
  for (int i = idx, end = rangeEnd(idx, n, NOutChannels()); i < end; ++i) {
    OutChannel* c = mOutChannels.Get(i);
    c->mConnected = connected;
    if (!connected) *c->mDest = c->mScratchBuf.Get();
  }
}

bool IPluginBase::IsInChannelConnected(int chIdx) const {
  InChannel* c = mInChannels.Get(chIdx);
  return c && c->mConnected;
}

bool IPluginBase::IsOutChannelConnected(int chIdx) const {
  OutChannel* c = mOutChannels.Get(chIdx);
  return c && c->mConnected;
}

void IPluginBase::SetInputLabel(int idx, const char* label) {
  if (InChannel* c = mInChannels.Get(idx)) c->mLabel.Set(label);
}

void IPluginBase::SetOutputLabel(int idx, const char* label) {
  if (OutChannel* c = mOutChannels.Get(idx)) c->mLabel.Set(label);
}

namespace {

void setBusLabel(UTIL_PtrList<UTIL_String>* list, int idx, const char* label) {
  if (idx < 0 || idx > 1) return;
  list->Delete(idx, true);
  UTIL_String* s = new UTIL_String(label);
  if (!list->Insert(idx, s)) delete s;  // out of memory: the element has no label
}

const char* busLabel(const UTIL_PtrList<UTIL_String>* list, int idx) {
  UTIL_String* s = list->Get(idx);
  return s ? s->Get() : "";
}

}  // namespace

void IPluginBase::SetInputBusLabel(int idx, const char* label) { setBusLabel(&mInputBusLabels, idx, label); }
void IPluginBase::SetOutputBusLabel(int idx, const char* label) { setBusLabel(&mOutputBusLabels, idx, label); }
const char* IPluginBase::GetInputBusLabel(int idx) const { return busLabel(&mInputBusLabels, idx); }
const char* IPluginBase::GetOutputBusLabel(int idx) const { return busLabel(&mOutputBusLabels, idx); }

namespace {

// Sets every channel's scratch buffer to `frames` zeroed doubles (frames < 0 keeps each size).
template <class Ch>
void zeroScratch(UTIL_PtrList<Ch>& channels, int frames) {
  for (int i = 0; i < channels.GetSize(); ++i) {
    UTIL_TypedBuf<double>& b = channels.Get(i)->mScratchBuf;
    if (frames >= 0) b.Resize(frames);
    if (b.GetSize() > 0) memset(b.Get(), 0, static_cast<size_t>(b.GetSize()) * sizeof(double));
  }
}

}  // namespace

void IPluginBase::SetBlockSize(int blockSize) {
  if (blockSize < 0) blockSize = 0;
  if (blockSize != mBlockSize) {
    zeroScratch(mInChannels, blockSize);
    zeroScratch(mOutChannels, blockSize);
    repointChannels();  // the scratch buffers may have moved
    mBlockSize = blockSize;
  }
}

void IPluginBase::ZeroScratchBuffers() {
  zeroScratch(mInChannels, -1);
  zeroScratch(mOutChannels, -1);
}

namespace {

// A host that hands more frames than the block size it announced would overrun the scratch
// buffer: grow it (this allocates on the render thread, but only for a misbehaving host).
double* scratchFor(UTIL_TypedBuf<double>* b, int nFrames) {
  if (b->GetSize() < nFrames) b->Resize(nFrames);
  return b->GetSize() >= nFrames ? b->Get() : nullptr;
}

}  // namespace

void IPluginBase::AttachInputBuffers(int idx, int n, float** inputs, int nFrames) {
  if (idx < 0) idx = 0;
  int next = 0;
  for (int i = idx, end = rangeEnd(idx, n, NInChannels()); i < end; ++i) {
    InChannel* c = mInChannels.Get(i);
    if (!c->mConnected) continue;
    float* src = inputs ? inputs[next++] : nullptr;
    double* dst = scratchFor(&c->mScratchBuf, nFrames);
    if (dst && src)
      for (int s = 0; s < nFrames; ++s) dst[s] = src[s];
    *c->mSrc = c->mScratchBuf.Get();
  }
}

void IPluginBase::AttachInputBuffers(int idx, int n, double** inputs, int) {
  if (idx < 0) idx = 0;
  int next = 0;
  for (int i = idx, end = rangeEnd(idx, n, NInChannels()); i < end; ++i) {
    InChannel* c = mInChannels.Get(i);
    if (!c->mConnected) continue;
    *c->mSrc = inputs ? inputs[next++] : nullptr;
  }
}

void IPluginBase::AttachOutputBuffers(int idx, int n, float** outputs) {
  if (idx < 0) idx = 0;
  int next = 0;
  for (int i = idx, end = rangeEnd(idx, n, NOutChannels()); i < end; ++i) {
    OutChannel* c = mOutChannels.Get(i);
    if (!c->mConnected) continue;
    *c->mDest = c->mScratchBuf.Get();
    c->mFDest = outputs ? outputs[next++] : nullptr;
  }
}

void IPluginBase::AttachOutputBuffers(int idx, int n, double** outputs) {
  if (idx < 0) idx = 0;
  int next = 0;
  for (int i = idx, end = rangeEnd(idx, n, NOutChannels()); i < end; ++i) {
    OutChannel* c = mOutChannels.Get(i);
    if (!c->mConnected) continue;
    *c->mDest = outputs ? outputs[next++] : nullptr;
  }
}

namespace {

// Makes sure every data slot has at least nFrames doubles behind it before a block is processed:
// an unconnected slot points at its scratch buffer, which may still be empty (block size 0).
template <class Ch>
bool ensureSlots(UTIL_PtrList<Ch>& channels, double** (*slot)(Ch*), int nFrames) {
  for (int i = 0; i < channels.GetSize(); ++i) {
    Ch* c = channels.Get(i);
    double** s = slot(c);
    if (!*s || (*s == c->mScratchBuf.Get() && c->mScratchBuf.GetSize() < nFrames)) {
      double* p = scratchFor(&c->mScratchBuf, nFrames);
      if (!p) return false;
      *s = p;
    }
  }
  return true;
}

double** inSlot(IPluginBase::InChannel* c) { return c->mSrc; }
double** outSlot(IPluginBase::OutChannel* c) { return c->mDest; }

}  // namespace

// Writes (or adds) each connected output's doubles into its float destination.
void IPluginBase::convertOutputs(int nFrames, bool accumulate) {
  for (int i = 0; i < NOutChannels(); ++i) {
    OutChannel* c = mOutChannels.Get(i);
    if (!c->mConnected || !c->mFDest || !*c->mDest) continue;
    const double* src = *c->mDest;
    if (accumulate)
      for (int s = 0; s < nFrames; ++s) c->mFDest[s] += static_cast<float>(src[s]);
    else
      for (int s = 0; s < nFrames; ++s) c->mFDest[s] = static_cast<float>(src[s]);
  }
}

bool IPluginBase::prepareSlots(int nFrames) {
  return nFrames > 0 && ensureSlots(mInChannels, inSlot, nFrames) && ensureSlots(mOutChannels, outSlot, nFrames);
}

void IPluginBase::ProcessBuffers(float, int nFrames) {
  if (!prepareSlots(nFrames)) return;
  ProcessDoubleReplacing(mInData.Get(), mOutData.Get(), nFrames);
  convertOutputs(nFrames, false);
}

void IPluginBase::ProcessBuffers(double, int nFrames) {
  if (!prepareSlots(nFrames)) return;
  ProcessDoubleReplacing(mInData.Get(), mOutData.Get(), nFrames);
}

void IPluginBase::ProcessBuffersAccumulating(float, int nFrames) {
  if (!prepareSlots(nFrames)) return;
  ProcessDoubleReplacing(mInData.Get(), mOutData.Get(), nFrames);
  convertOutputs(nFrames, true);
}

void IPluginBase::PassThroughBuffers(float, int nFrames) {
  if (!prepareSlots(nFrames)) return;
  PassThroughBuffers(0.0, nFrames);
  convertOutputs(nFrames, false);
}

void IPluginBase::PassThroughBuffers(double, int nFrames) {
  if (!prepareSlots(nFrames)) return;
  // Latency never delays the bypass copy: no delay line exists.
  copyInputsToOutputs(mInData.Get(), mOutData.Get(), NInChannels(), NOutChannels(), nFrames);
}
