#include "AUComponent.h"

namespace {

// Builds a call block for `what` whose parameters fill slots 1..n.
struct Call {
  ComponentParameters p{};
  explicit Call(SInt16 what, int nSlots) {
    p.what = what;
    p.paramSize = static_cast<UInt8>(nSlots * sizeof(UInt64));
  }
  Call& ptr(int slot, const void* v) {
    ComponentParamSetPtr(&p, slot, v);
    return *this;
  }
  Call& u32(int slot, UInt32 v) {
    ComponentParamSetUInt32(&p, slot, v);
    return *this;
  }
  Call& f32(int slot, Float32 v) {
    ComponentParamSetFloat32(&p, slot, v);
    return *this;
  }
  OSStatus run(AudioUnit unit) { return CallComponentDispatch(unit, &p); }
};

template <class F>
const void* fn(F f) {
  return reinterpret_cast<const void*>(f);
}

}  // namespace

OSStatus AudioUnitInitialize(AudioUnit unit) { return Call(kAudioUnitInitializeSelect, 0).run(unit); }

OSStatus AudioUnitUninitialize(AudioUnit unit) { return Call(kAudioUnitUninitializeSelect, 0).run(unit); }

OSStatus AudioUnitGetPropertyInfo(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                  UInt32* outDataSize, Boolean* outWritable) {
  return Call(kAudioUnitGetPropertyInfoSelect, 5).u32(1, id).u32(2, scope).u32(3, element).ptr(4, outDataSize).ptr(5, outWritable).run(unit);
}

OSStatus AudioUnitGetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, void* outData,
                              UInt32* ioDataSize) {
  return Call(kAudioUnitGetPropertySelect, 5).u32(1, id).u32(2, scope).u32(3, element).ptr(4, outData).ptr(5, ioDataSize).run(unit);
}

OSStatus AudioUnitSetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                              const void* inData, UInt32 inDataSize) {
  return Call(kAudioUnitSetPropertySelect, 5).u32(1, id).u32(2, scope).u32(3, element).ptr(4, inData).u32(5, inDataSize).run(unit);
}

OSStatus AudioUnitGetParameter(AudioUnit unit, AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                               AudioUnitParameterValue* outValue) {
  return Call(kAudioUnitGetParameterSelect, 4).u32(1, id).u32(2, scope).u32(3, element).ptr(4, outValue).run(unit);
}

OSStatus AudioUnitSetParameter(AudioUnit unit, AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                               AudioUnitParameterValue value, UInt32 bufferOffsetInFrames) {
  return Call(kAudioUnitSetParameterSelect, 5).u32(1, id).u32(2, scope).u32(3, element).f32(4, value).u32(5, bufferOffsetInFrames).run(unit);
}

OSStatus AudioUnitReset(AudioUnit unit, AudioUnitScope scope, AudioUnitElement element) {
  return Call(kAudioUnitResetSelect, 2).u32(1, scope).u32(2, element).run(unit);
}

OSStatus AudioUnitAddPropertyListener(AudioUnit unit, AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void* userData) {
  return Call(kAudioUnitAddPropertyListenerSelect, 3).u32(1, id).ptr(2, fn(proc)).ptr(3, userData).run(unit);
}

OSStatus AudioUnitRemovePropertyListener(AudioUnit unit, AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc) {
  return Call(kAudioUnitRemovePropertyListenerSelect, 2).u32(1, id).ptr(2, fn(proc)).run(unit);
}

OSStatus AudioUnitRemovePropertyListenerWithUserData(AudioUnit unit, AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                                                     void* userData) {
  return Call(kAudioUnitRemovePropertyListenerWithUserDataSelect, 3).u32(1, id).ptr(2, fn(proc)).ptr(3, userData).run(unit);
}

OSStatus AudioUnitAddRenderNotify(AudioUnit unit, AURenderCallback proc, void* userData) {
  return Call(kAudioUnitAddRenderNotifySelect, 2).ptr(1, fn(proc)).ptr(2, userData).run(unit);
}

OSStatus AudioUnitRemoveRenderNotify(AudioUnit unit, AURenderCallback proc, void* userData) {
  return Call(kAudioUnitRemoveRenderNotifySelect, 2).ptr(1, fn(proc)).ptr(2, userData).run(unit);
}

OSStatus AudioUnitScheduleParameters(AudioUnit unit, const AudioUnitParameterEvent* events, UInt32 numEvents) {
  return Call(kAudioUnitScheduleParametersSelect, 2).ptr(1, events).u32(2, numEvents).run(unit);
}

OSStatus AudioUnitRender(AudioUnit unit, AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* inTimeStamp,
                         UInt32 inOutputBusNumber, UInt32 inNumberFrames, AudioBufferList* ioData) {
  return Call(kAudioUnitRenderSelect, 5)
      .ptr(1, ioActionFlags)
      .ptr(2, inTimeStamp)
      .u32(3, inOutputBusNumber)
      .u32(4, inNumberFrames)
      .ptr(5, ioData)
      .run(unit);
}

OSStatus MusicDeviceMIDIEvent(AudioUnit unit, UInt32 status, UInt32 data1, UInt32 data2, UInt32 offsetSampleFrame) {
  return Call(kMusicDeviceMIDIEventSelect, 4).u32(1, status).u32(2, data1).u32(3, data2).u32(4, offsetSampleFrame).run(unit);
}

OSStatus MusicDeviceSysEx(AudioUnit unit, const UInt8* data, UInt32 length) {
  return Call(kMusicDeviceSysExSelect, 2).ptr(1, data).u32(2, length).run(unit);
}

OSStatus MusicDevicePrepareInstrument(AudioUnit unit, MusicDeviceInstrumentID instrument) {
  return Call(kMusicDevicePrepareInstrumentSelect, 1).u32(1, instrument).run(unit);
}

OSStatus MusicDeviceReleaseInstrument(AudioUnit unit, MusicDeviceInstrumentID instrument) {
  return Call(kMusicDeviceReleaseInstrumentSelect, 1).u32(1, instrument).run(unit);
}

OSStatus MusicDeviceStartNote(AudioUnit unit, MusicDeviceInstrumentID instrument, MusicDeviceGroupID group,
                              NoteInstanceID* outNoteInstanceID, UInt32 offsetSampleFrame, const MusicDeviceNoteParams* params) {
  return Call(kMusicDeviceStartNoteSelect, 5)
      .u32(1, instrument)
      .u32(2, group)
      .ptr(3, outNoteInstanceID)
      .u32(4, offsetSampleFrame)
      .ptr(5, params)
      .run(unit);
}

OSStatus MusicDeviceStopNote(AudioUnit unit, MusicDeviceGroupID group, NoteInstanceID note, UInt32 offsetSampleFrame) {
  return Call(kMusicDeviceStopNoteSelect, 3).u32(1, group).u32(2, note).u32(3, offsetSampleFrame).run(unit);
}

ComponentResult CallComponentSelector(ComponentInstance ci, SInt16 selector, int nSlots, const UInt64* slots) {
  if (nSlots < 0 || nSlots >= kComponentMaxParamSlots) return paramErr;
  Call c(selector, nSlots);
  for (int i = 0; i < nSlots; ++i) c.p.params[i + 1] = slots[i];
  return c.run(ci);
}
