#include "ComponentManager.h"

#include <cstring>

namespace {

bool isLive(ComponentInstance ci) { return ci && ci->magic == kComponentInstanceMagic; }

}  // namespace

void* ComponentParamPtr(const ComponentParameters* p, int slot) {
  if (!p || slot < 0 || slot >= kComponentMaxParamSlots) return nullptr;
  return reinterpret_cast<void*>(static_cast<uintptr_t>(p->params[slot]));
}

UInt32 ComponentParamUInt32(const ComponentParameters* p, int slot) {
  if (!p || slot < 0 || slot >= kComponentMaxParamSlots) return 0;
  return static_cast<UInt32>(p->params[slot] & 0xFFFFFFFFu);
}

SInt32 ComponentParamSInt32(const ComponentParameters* p, int slot) { return static_cast<SInt32>(ComponentParamUInt32(p, slot)); }

Float32 ComponentParamFloat32(const ComponentParameters* p, int slot) {
  UInt32 bits = ComponentParamUInt32(p, slot);
  Float32 f;
  memcpy(&f, &bits, sizeof f);
  return f;
}

void ComponentParamSetPtr(ComponentParameters* p, int slot, const void* v) {
  if (p && slot >= 0 && slot < kComponentMaxParamSlots) p->params[slot] = static_cast<UInt64>(reinterpret_cast<uintptr_t>(v));
}

void ComponentParamSetUInt32(ComponentParameters* p, int slot, UInt32 v) {
  if (p && slot >= 0 && slot < kComponentMaxParamSlots) p->params[slot] = v;
}

void ComponentParamSetFloat32(ComponentParameters* p, int slot, Float32 v) {
  UInt32 bits;
  memcpy(&bits, &v, sizeof bits);
  ComponentParamSetUInt32(p, slot, bits);
}

void SetComponentInstanceStorage(ComponentInstance ci, void* storage) {
  if (isLive(ci)) ci->storage = storage;
}

void* GetComponentInstanceStorage(ComponentInstance ci) { return isLive(ci) ? ci->storage : nullptr; }

OSErr GetComponentInfo(ComponentInstance ci, ComponentDescription* cd, void*, void*, void*) {
  if (!isLive(ci)) return static_cast<OSErr>(invalidComponentID);
  if (cd) *cd = ci->description;
  return 0;
}

OSStatus OpenComponentInstance(ComponentEntryProc entry, const ComponentDescription* desc, ComponentInstance* out) {
  if (!out) return paramErr;
  *out = nullptr;
  if (!entry) return paramErr;
  auto* ci = new ComponentInstanceRecord{};
  ci->magic = kComponentInstanceMagic;
  ci->entry = entry;
  if (desc) ci->description = *desc;
  ComponentParameters p{};
  p.what = kComponentOpenSelect;
  p.paramSize = sizeof(UInt64);
  ComponentParamSetPtr(&p, 0, ci);
  ComponentParamSetPtr(&p, 1, ci);
  ComponentResult r = entry(&p, nullptr);
  if (r != noErr) {
    ci->magic = 0;
    delete ci;
    return r;
  }
  *out = ci;
  return noErr;
}

OSStatus CloseComponentInstance(ComponentInstance ci) {
  if (!isLive(ci)) return badComponentInstance;
  ComponentParameters p{};
  p.what = kComponentCloseSelect;
  p.paramSize = sizeof(UInt64);
  ComponentParamSetPtr(&p, 0, ci);
  ComponentParamSetPtr(&p, 1, ci);
  ComponentResult r = ci->entry(&p, ci->storage);
  ci->magic = 0;
  ci->storage = nullptr;
  delete ci;
  return r;
}

ComponentResult CallComponentDispatch(ComponentInstance ci, ComponentParameters* params) {
  if (!isLive(ci)) return badComponentInstance;
  if (!params) return paramErr;
  ComponentParamSetPtr(params, 0, ci);
  return ci->entry(params, ci->storage);
}

ComponentResult CallComponentCanDo(ComponentInstance ci, SInt16 selector) {
  ComponentParameters p{};
  p.what = kComponentCanDoSelect;
  p.paramSize = sizeof(UInt64);
  ComponentParamSetUInt32(&p, 1, static_cast<UInt32>(static_cast<SInt32>(selector)));
  return CallComponentDispatch(ci, &p);
}

ComponentResult CallComponentVersion(ComponentInstance ci) {
  ComponentParameters p{};
  p.what = kComponentVersionSelect;
  return CallComponentDispatch(ci, &p);
}
