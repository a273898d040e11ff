// Presets of IPluginBase. The editor itself has none; the host binding still prunes, restores and
// names them, and the never-called helpers below serve a later bank writer.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "IPluginBase.h"

namespace {

// Base64 (RFC 4648, with padding), used by the preset blob helpers.
const char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64Encode(const uint8_t* data, int size) {
  std::string out;
  for (int i = 0; i < size; i += 3) {
    unsigned v = static_cast<unsigned>(data[i]) << 16;
    if (i + 1 < size) v |= static_cast<unsigned>(data[i + 1]) << 8;
    if (i + 2 < size) v |= data[i + 2];
    out += kB64[(v >> 18) & 63];
    out += kB64[(v >> 12) & 63];
    out += i + 1 < size ? kB64[(v >> 6) & 63] : '=';
    out += i + 2 < size ? kB64[v & 63] : '=';
  }
  return out;
}

// Decodes; false on any character outside the alphabet or a bad length.
bool base64Decode(const char* text, std::vector<uint8_t>* out) {
  out->clear();
  size_t len = strlen(text);
  if (len % 4) return false;
  for (size_t i = 0; i < len; i += 4) {
    unsigned v = 0;
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      char c = text[i + k];
      int d;
      if (c == '=' && i + 4 == len && k >= 2) {
        d = 0;
        ++pad;
      } else {
        if (pad) return false;  // data after padding
        const char* p = c ? strchr(kB64, c) : nullptr;
        if (!p) return false;
        d = static_cast<int>(p - kB64);
      }
      v = (v << 6) | static_cast<unsigned>(d);
    }
    out->push_back(static_cast<uint8_t>(v >> 16));
    if (pad < 2) out->push_back(static_cast<uint8_t>(v >> 8));
    if (pad < 1) out->push_back(static_cast<uint8_t>(v));
  }
  return true;
}

IPreset* firstUninitialized(UTIL_PtrList<IPreset>& presets) {
  for (int i = 0; i < presets.GetSize(); ++i)
    if (!presets.Get(i)->mInitialized) return presets.Get(i);
  return nullptr;
}

}  // namespace

const char* IPluginBase::GetPresetName(int idx) const {
  IPreset* p = mPresets.Get(idx);
  return p ? p->mName : "";
}

void IPluginBase::MakeDefaultPreset(const char* name, int nPresets) {
  for (int i = 0; i < nPresets; ++i) {
    IPreset* p = firstUninitialized(mPresets);
    if (!p) return;
    p->mInitialized = true;
    p->SetName(name ? name : "Empty");
    p->mChunk.Clear();
    SerializeState(&p->mChunk);
  }
}

void IPluginBase::EnsureDefaultPreset() { MakeDefaultPreset("Empty", NPresets()); }

void IPluginBase::PruneUninitializedPresets() {
  for (int i = 0; i < mPresets.GetSize();) {
    if (!mPresets.Get(i)->mInitialized)
      mPresets.Delete(i, true);
    else
      ++i;
  }
  if (mCurrentPresetIdx >= NPresets()) mCurrentPresetIdx = 0;
}

bool IPluginBase::RestorePreset(int idx) {
  IPreset* p = mPresets.Get(idx);
  if (!p) return false;
  if (p->mInitialized) {
    if (UnserializeState(&p->mChunk, 0) < 1) return false;
  } else {
    int nUser = 0;
    for (int i = 0; i < NPresets(); ++i)
      if (strstr(mPresets.Get(i)->mName, "user preset")) ++nUser;
    p->mInitialized = true;
    snprintf(p->mName, sizeof(p->mName), "%s %d", "user preset", nUser + 1);
    p->mChunk.Clear();
    if (!SerializeState(&p->mChunk)) return false;
  }
  mCurrentPresetIdx = idx;
  PresetsChangedByHost();
  RedrawParamControls();
  return true;
}

bool IPluginBase::RestorePreset(const char* name) {
  if (!name || !*name) return false;
  for (int i = 0; i < NPresets(); ++i)
    if (strcmp(mPresets.Get(i)->mName, name) == 0) return RestorePreset(i);
  return false;
}

void IPluginBase::ModifyCurrentPreset(const char* name) {
  IPreset* p = mPresets.Get(mCurrentPresetIdx);
  if (!p) return;
  p->mChunk.Clear();
  SerializeState(&p->mChunk);
  if (name && *name) p->SetName(name);
}

namespace {

// Sets host-visible values, stores the state in the preset, then puts the live values back: making
// a preset must not change what the user hears or sees.
class LiveValues {
public:
  explicit LiveValues(IPluginBase* plug) : mPlug(plug) {
    for (int i = 0; i < plug->NHostParams(); ++i) mValues.push_back(plug->GetParam(i)->Value());
  }
  ~LiveValues() {
    for (size_t i = 0; i < mValues.size(); ++i) mPlug->GetParam(static_cast<int>(i))->Set(mValues[i]);
  }

private:
  IPluginBase* mPlug;
  std::vector<double> mValues;
};

}  // namespace

// Writes the current state into the preset and names it; false (preset left uninitialised) when
// the state cannot be written.
bool IPluginBase::storeState(IPreset* p, const char* name) {
  p->mChunk.Clear();
  if (!SerializeState(&p->mChunk)) return false;
  p->mInitialized = true;
  p->SetName(name);
  return true;
}

bool IPluginBase::MakePreset(const char* name, ...) {
  IPreset* p = firstUninitialized(mPresets);
  if (!p) return false;
  UTIL_MutexLock lock(&mMutex);
  LiveValues keep(this);
  va_list vp;
  va_start(vp, name);
  for (int i = 0; i < NHostParams(); ++i) {
    IParam* param = GetParam(i);
    int t = param->Type();
    double v = (t == IParam::kTypeBool || t == IParam::kTypeInt || t == IParam::kTypeEnum)
                   ? static_cast<double>(va_arg(vp, int))
                   : va_arg(vp, double);
    param->SetClamped(v);
  }
  va_end(vp);
  return storeState(p, name);
}

bool IPluginBase::MakePresetFromNamedParams(const char* name, int nParamsNamed, ...) {
  IPreset* p = firstUninitialized(mPresets);
  if (!p) return false;
  UTIL_MutexLock lock(&mMutex);
  LiveValues keep(this);
  va_list vp;
  va_start(vp, nParamsNamed);
  for (int k = 0; k < nParamsNamed; ++k) {
    int idx = va_arg(vp, int);
    double v = va_arg(vp, double);
    if (IParam* param = GetParam(idx); param && idx < NHostParams()) param->SetClamped(v);
  }
  va_end(vp);
  return storeState(p, name);
}

bool IPluginBase::MakePresetFromChunk(const char* name, ByteChunk* chunk) {
  IPreset* p = firstUninitialized(mPresets);
  if (!p || !chunk) return false;
  p->mChunk.Clear();
  if (chunk->Size() > 0 && p->mChunk.PutChunk(chunk) != chunk->Size()) return false;
  p->mInitialized = true;
  p->SetName(name);
  return true;
}

bool IPluginBase::MakePresetFromBlob(const char* name, const char* blob, int sizeOfChunk) {
  if (!blob) return false;
  std::vector<uint8_t> bytes;
  if (!base64Decode(blob, &bytes) || static_cast<int>(bytes.size()) != sizeOfChunk) return false;
  ByteChunk c;
  if (sizeOfChunk > 0 && c.PutBytes(bytes.data(), sizeOfChunk) != sizeOfChunk) return false;
  return MakePresetFromChunk(name, &c);
}

bool IPluginBase::DumpPresetSrcCode(const char* filename, const char* paramEnumNames[]) {
  if (!filename || !paramEnumNames) return false;
  FILE* fp = fopen(filename, "w");
  if (!fp) return false;
  int n = NHostParams();
  fprintf(fp, "  MakePresetFromNamedParams(\"name\", %d", n);
  for (int i = 0; i < n; ++i) {
    IParam* p = GetParam(i);
    char buf[IParam::kDisplayMaxLen];
    p->GetDisplayForHost(p->Value(), false, buf, false);
    fprintf(fp, ",\n    %s, %s", paramEnumNames[i] ? paramEnumNames[i] : "0", buf);
  }
  fprintf(fp, ");\n");
  return fclose(fp) == 0;
}

bool IPluginBase::DumpPresetBlob(const char* filename) {
  if (!filename) return false;
  ByteChunk state;
  if (!SerializeState(&state)) return false;
  std::string text = base64Encode(state.GetBytes(), state.Size());
  FILE* fp = fopen(filename, "w");
  if (!fp) return false;
  fprintf(fp, "MakePresetFromBlob(\"name\", \"%s\", %d);\n", text.c_str(), state.Size());
  return fclose(fp) == 0;
}

bool IPluginBase::SerializePresets(ByteChunk* chunk) {
  if (!chunk) return false;
  for (int i = 0; i < NPresets(); ++i) {
    IPreset* p = mPresets.Get(i);
    if (chunk->PutStr(p->mName) < 0) return false;
    if (chunk->Put(&p->mInitialized) < 0) return false;
    if (p->mInitialized && p->mChunk.Size() > 0 && chunk->PutChunk(&p->mChunk) < 0) return false;
  }
  return true;
}

int IPluginBase::UnserializePresets(ByteChunk* chunk, int startPos) {
  if (!chunk) return -1;
  // Each stored state is taken in through UnserializeState and written back into its preset; the
  // live state is kept aside and restored at the end.
  ByteChunk live;
  if (!SerializeState(&live)) return -1;
  int pos = startPos;
  for (int i = 0; i < NPresets() && pos >= 0; ++i) {
    IPreset* p = mPresets.Get(i);
    UTIL_String name;
    pos = chunk->GetStr(&name, pos);
    bool initialized = false;
    pos = chunk->Get(&initialized, pos);
    if (pos < 0) break;
    p->SetName(name.Get());
    if (initialized) {
      pos = UnserializeState(chunk, pos);
      if (pos < 0) break;
      p->mInitialized = true;
      p->mChunk.Clear();
      SerializeState(&p->mChunk);
    }
  }
  UnserializeState(&live, 0);
  return pos;
}

// The base has no file dialog to pick a file with; a host binding that wants VST 2 program and
// bank files must provide one. Answering false keeps a failure from passing as a save or load.
bool IPluginBase::SaveProgramAsFXP(const char*) { return false; }
bool IPluginBase::SaveBankAsFXB(const char*) { return false; }
bool IPluginBase::LoadProgramFromFXP() { return false; }
bool IPluginBase::LoadBankFromFXB() { return false; }
