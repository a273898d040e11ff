// Audio Unit calls as a host (or a plug-in pulling from an upstream unit) makes them: each
// builds the component call block and goes through the instance's entry function, so the
// component's own locking applies. Results are the component's.
#pragma once

#include "AUTypes.h"
#include "ComponentManager.h"

OSStatus AudioUnitInitialize(AudioUnit unit);
OSStatus AudioUnitUninitialize(AudioUnit unit);
OSStatus AudioUnitGetPropertyInfo(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                  UInt32* outDataSize, Boolean* outWritable);
OSStatus AudioUnitGetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, void* outData,
                              UInt32* ioDataSize);
OSStatus AudioUnitSetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                              const void* inData, UInt32 inDataSize);
OSStatus AudioUnitGetParameter(AudioUnit unit, AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                               AudioUnitParameterValue* outValue);
OSStatus AudioUnitSetParameter(AudioUnit unit, AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                               AudioUnitParameterValue value, UInt32 bufferOffsetInFrames);
OSStatus AudioUnitReset(AudioUnit unit, AudioUnitScope scope, AudioUnitElement element);
OSStatus AudioUnitAddPropertyListener(AudioUnit unit, AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void* userData);
OSStatus AudioUnitRemovePropertyListener(AudioUnit unit, AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc);
OSStatus AudioUnitRemovePropertyListenerWithUserData(AudioUnit unit, AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                                                     void* userData);
OSStatus AudioUnitAddRenderNotify(AudioUnit unit, AURenderCallback proc, void* userData);
OSStatus AudioUnitRemoveRenderNotify(AudioUnit unit, AURenderCallback proc, void* userData);
OSStatus AudioUnitScheduleParameters(AudioUnit unit, const AudioUnitParameterEvent* events, UInt32 numEvents);
OSStatus AudioUnitRender(AudioUnit unit, AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* inTimeStamp,
                         UInt32 inOutputBusNumber, UInt32 inNumberFrames, AudioBufferList* ioData);

OSStatus MusicDeviceMIDIEvent(AudioUnit unit, UInt32 status, UInt32 data1, UInt32 data2, UInt32 offsetSampleFrame);
OSStatus MusicDeviceSysEx(AudioUnit unit, const UInt8* data, UInt32 length);
OSStatus MusicDevicePrepareInstrument(AudioUnit unit, MusicDeviceInstrumentID instrument);
OSStatus MusicDeviceReleaseInstrument(AudioUnit unit, MusicDeviceInstrumentID instrument);
OSStatus MusicDeviceStartNote(AudioUnit unit, MusicDeviceInstrumentID instrument, MusicDeviceGroupID group,
                              NoteInstanceID* outNoteInstanceID, UInt32 offsetSampleFrame, const MusicDeviceNoteParams* params);
OSStatus MusicDeviceStopNote(AudioUnit unit, MusicDeviceGroupID group, NoteInstanceID note, UInt32 offsetSampleFrame);

// Any selector with raw 64-bit slots 1..n (for selectors that have no wrapper; n <= 7).
ComponentResult CallComponentSelector(ComponentInstance ci, SInt16 selector, int nSlots, const UInt64* slots);
