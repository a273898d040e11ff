// Our Component Manager: a component instance is a small record that the host makes when it
// opens a component (through the component's exported entry function) and that every later
// call carries. The plug-in keeps its object in the record's storage. The record is plain data,
// so the host's copy of this code and the plug-in library's copy read it alike.
//
// Ownership: OpenComponentInstance allocates the record; CloseComponentInstance calls the
// component's close selector and frees it. Nothing here locks but the event notifier's pair: the
// component serialises its own calls.
#pragma once

#include <mutex>

#include "AUTypes.h"

// The call block: a signed 16-bit selector and 8-byte parameter slots. Slot 0 holds the
// component instance; the call's own parameters follow from slot 1 in their documented order.
// A 32-bit parameter sits in the low half of its slot, a float in its low 4 bytes.
enum { kComponentMaxParamSlots = 8 };
struct ComponentParameters {
  UInt8 flags;
  UInt8 paramSize;  // bytes of parameters after slot 0
  SInt16 what;
  UInt32 padding;
  UInt64 params[kComponentMaxParamSlots];
};

typedef ComponentResult (*ComponentEntryProc)(ComponentParameters* params, void* storage);

// Slot accessors (slot outside 0..7 reads 0 / writes nothing).
void* ComponentParamPtr(const ComponentParameters* p, int slot);
UInt32 ComponentParamUInt32(const ComponentParameters* p, int slot);
SInt32 ComponentParamSInt32(const ComponentParameters* p, int slot);
Float32 ComponentParamFloat32(const ComponentParameters* p, int slot);
void ComponentParamSetPtr(ComponentParameters* p, int slot, const void* v);
void ComponentParamSetUInt32(ComponentParameters* p, int slot, UInt32 v);
void ComponentParamSetFloat32(ComponentParameters* p, int slot, Float32 v);

// Event notifier the host registers per instance (see AUEvents.h).
struct AudioUnitEvent;
typedef void (*AUEventHostNotifyProc)(void* refCon, const AudioUnitEvent* event);

struct ComponentInstanceRecord {
  UInt32 magic;  // kComponentInstanceMagic while the record is alive
  ComponentEntryProc entry;
  void* storage;
  ComponentDescription description;
  // The host's notifier and its refCon are one pair: the host sets it on its thread while the
  // plug-in's threads (MIDI input, GUI) may already notify. Written and read only under
  // eventNotifyLock (AUEvents.cpp), which is held through the call of the notifier.
  std::mutex eventNotifyLock;
  AUEventHostNotifyProc eventNotify;
  void* eventNotifyRefCon;
};
enum : UInt32 { kComponentInstanceMagic = 0x436d7049u /* 'CmpI' */ };

// ---- what a component calls ----
void SetComponentInstanceStorage(ComponentInstance ci, void* storage);
void* GetComponentInstanceStorage(ComponentInstance ci);
// The description the host opened the instance with. Name, info and icon are not kept (pass
// null). A null or closed instance answers invalidComponentID.
OSErr GetComponentInfo(ComponentInstance ci, ComponentDescription* cd, void* name, void* info, void* icon);

// ---- what a host calls ----
// Makes the record, calls the entry's open selector; on failure frees the record and answers
// the entry's result (*out is then null).
OSStatus OpenComponentInstance(ComponentEntryProc entry, const ComponentDescription* desc, ComponentInstance* out);
// Calls the close selector, then frees the record. Null is ignored.
OSStatus CloseComponentInstance(ComponentInstance ci);
// Fills slot 0 with the instance and calls the entry with the instance's current storage.
ComponentResult CallComponentDispatch(ComponentInstance ci, ComponentParameters* params);
// Selector -3 and -4.
ComponentResult CallComponentCanDo(ComponentInstance ci, SInt16 selector);
ComponentResult CallComponentVersion(ComponentInstance ci);
