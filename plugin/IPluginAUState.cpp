// The state dictionary the host stores for the plug-in, and the reference-counted preset record
// of the factory-presets array. Both state calls run inside property calls, under the plug-in
// lock. A dictionary from the host is hostile input: every value's type is checked before use.
#include <cstring>
#include <new>
#include <string>

#include "CFString.h"
#include "IPluginAU.h"

namespace {

constexpr int kNameBufLen = 64;  // the preset name read back from a dictionary (63 bytes + terminator)

CFStringRef key(const char* k) { return __CFStringMakeConstantString(k); }

void PutNumberInDict(CFMutableDictionaryRef dict, const char* k, SInt32 value) {
  CFNumberRef n = CFNumberCreate(nullptr, kCFNumberSInt32Type, &value);
  CFDictionarySetValue(dict, key(k), n);
  CFRelease(n);
}

// False when the key is absent or holds no number that fits 32 bits.
bool GetNumberFromDict(CFDictionaryRef dict, const char* k, SInt32* value) {
  CFTypeRef v = CFDictionaryGetValue(dict, key(k));
  if (CFGetTypeID(v) != CFNumberGetTypeID()) return false;
  return CFNumberGetValue(static_cast<CFNumberRef>(v), kCFNumberSInt32Type, value);
}

}  // namespace

void PutStrInDict(CFMutableDictionaryRef dict, const char* k, const char* text) {
  CFStringRef s = CFStringCreateWithCString(nullptr, text ? text : "", kCFStringEncodingUTF8);
  if (!s) s = CFStringCreateWithCString(nullptr, "", kCFStringEncodingUTF8);  // text that is not UTF-8 is stored empty
  CFDictionarySetValue(dict, key(k), s);
  CFRelease(s);
}

bool GetStrFromDict(CFDictionaryRef dict, const char* k, char* buf, int bufLen) {
  if (bufLen < 1) return false;
  buf[0] = 0;
  CFTypeRef v = CFDictionaryGetValue(dict, key(k));
  if (CFGetTypeID(v) != CFStringGetTypeID()) return false;
  const char* text = CFStringGetCStringPtr(static_cast<CFStringRef>(v), kCFStringEncodingUTF8);
  if (!text) return false;
  size_t n = CFUTF8CutLength(text, strlen(text), static_cast<size_t>(bufLen - 1));
  memcpy(buf, text, n);
  buf[n] = 0;
  return true;
}

bool GetDataFromDict(CFDictionaryRef dict, const char* k, ByteChunk* chunk) {
  CFTypeRef v = CFDictionaryGetValue(dict, key(k));
  if (CFGetTypeID(v) != CFDataGetTypeID()) return false;
  CFDataRef d = static_cast<CFDataRef>(v);
  CFIndex n = CFDataGetLength(d);
  if (n > 0x7fffffff) return false;
  if (chunk->Resize(static_cast<int>(n)) != static_cast<int>(n)) return false;
  if (n > 0) memcpy(chunk->GetBytes(), CFDataGetBytePtr(d), static_cast<size_t>(n));
  return true;
}

int IPluginAU::GetState(CFPropertyListRef* ppPropList) {
  ComponentDescription cd;
  OSErr err = GetComponentInfo(mCI, &cd, nullptr, nullptr, nullptr);
  if (err != noErr) return err;
  CFMutableDictionaryRef dict = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  PutNumberInDict(dict, "version", GetEffectVersion(false));
  PutNumberInDict(dict, "type", static_cast<SInt32>(cd.componentType));
  PutNumberInDict(dict, "subtype", static_cast<SInt32>(cd.componentSubType));
  PutNumberInDict(dict, "manufacturer", static_cast<SInt32>(cd.componentManufacturer));
  PutStrInDict(dict, "name", GetPresetName(GetCurrentPresetIdx()));
  ByteChunk chunk;
  if (SerializeState(&chunk)) {
    CFDataRef d = CFDataCreate(nullptr, chunk.GetBytes(), chunk.Size());
    CFDictionarySetValue(dict, key("data"), d);
    CFRelease(d);
  }
  *ppPropList = dict;
  return noErr;
}

int IPluginAU::SetState(CFPropertyListRef pPropList) {
  ComponentDescription cd;
  OSErr err = GetComponentInfo(mCI, &cd, nullptr, nullptr, nullptr);
  if (err != noErr) return err;
  if (CFGetTypeID(pPropList) != CFDictionaryGetTypeID()) return kAudioUnitErr_InvalidPropertyValue;
  CFDictionaryRef dict = static_cast<CFDictionaryRef>(pPropList);
  SInt32 version, type, subtype, mfr;
  if (!GetNumberFromDict(dict, "version", &version) || !GetNumberFromDict(dict, "type", &type) ||
      !GetNumberFromDict(dict, "subtype", &subtype) || !GetNumberFromDict(dict, "manufacturer", &mfr))
    return kAudioUnitErr_InvalidPropertyValue;
  char name[kNameBufLen];
  if (!GetStrFromDict(dict, "name", name, kNameBufLen)) return kAudioUnitErr_InvalidPropertyValue;
  if (static_cast<OSType>(type) != cd.componentType || static_cast<OSType>(subtype) != cd.componentSubType ||
      static_cast<OSType>(mfr) != cd.componentManufacturer)
    return kAudioUnitErr_InvalidPropertyValue;
  // Every key is checked before anything changes: a refused state must leave the plug-in as it was.
  ByteChunk chunk;
  if (!GetDataFromDict(dict, "data", &chunk)) return kAudioUnitErr_InvalidPropertyValue;
  RestorePreset(name);
  // A failed read answers -1 (ByteChunk's convention) or 0: neither is a restored state.
  if (UnserializeState(&chunk, 0) <= 0) return kAudioUnitErr_InvalidPropertyValue;
  RedrawParamControls();
  return noErr;
}

// ---------------------------------------------------------------------------------------------
// Preset records

CFAUPresetRef CFAUPresetCreate(CFAllocatorRef allocator, SInt32 presetNumber, CFStringRef presetName) {
  void* mem = CFAllocatorAllocate(allocator, sizeof(CFAUPreset), 0);
  if (!mem) return nullptr;
  auto* p = new (mem) CFAUPreset;
  p->au.presetNumber = presetNumber;
  p->au.presetName = presetName ? CFStringCreateCopy(nullptr, presetName) : nullptr;
  p->allocator = allocator;
  p->retainCount.store(1, std::memory_order_relaxed);
  return p;
}

CFAUPresetRef CFAUPresetRetain(void* preset) {
  auto* p = static_cast<CFAUPreset*>(preset);
  if (!p) return nullptr;
  if (p->au.presetName) CFRetain(p->au.presetName);
  p->retainCount.fetch_add(1, std::memory_order_relaxed);
  return p;
}

// Each reference holds one reference of the name too. The name pointer is read before the count
// drops: once another thread's release reaches zero the record may already be gone.
void CFAUPresetRelease(void* preset) {
  auto* p = static_cast<CFAUPreset*>(preset);
  if (!p || p->retainCount.load(std::memory_order_relaxed) < 1) return;
  CFStringRef name = p->au.presetName;
  if (p->retainCount.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    CFAllocatorRef allocator = p->allocator;
    p->~CFAUPreset();
    CFAllocatorDeallocate(allocator, p);
  }
  if (name) CFRelease(name);
}

namespace {

const void* presetArrayRetain(CFAllocatorRef, const void* v) { return CFAUPresetRetain(const_cast<void*>(v)); }
void presetArrayRelease(CFAllocatorRef, const void* v) { CFAUPresetRelease(const_cast<void*>(v)); }
CFStringRef presetArrayCopyDescription(const void* v) {
  auto* p = static_cast<const CFAUPreset*>(v);
  return CFStringCreateWithFormat(nullptr, nullptr, CFSTR("AUPreset:\npreset number = %d\npreset name = %@"), static_cast<int>(p->au.presetNumber),
                                  p->au.presetName);
}
Boolean presetArrayEqual(const void* a, const void* b) {
  auto *x = static_cast<const CFAUPreset*>(a), *y = static_cast<const CFAUPreset*>(b);
  return x->au.presetNumber == y->au.presetNumber && CFStringCompare(x->au.presetName, y->au.presetName, 0) == kCFCompareEqualTo;
}

}  // namespace

const CFArrayCallBacks kCFAUPresetArrayCallBacks = {0, presetArrayRetain, presetArrayRelease, presetArrayCopyDescription, presetArrayEqual};
