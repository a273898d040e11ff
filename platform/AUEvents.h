// Audio Unit events: the plug-in tells the host about parameter changes and gestures with
// AUEventListenerNotify. The host registers one notifier per instance with
// AUEventSetHostNotifier; the notifier is kept in the instance record (not in a global), so the
// plug-in library's copy of this code finds the host's notifier.
// AUEventListenerNotify runs on the caller's thread (the GUI, the MIDI input or a host thread)
// and calls the notifier there, with the instance's notifier lock held: the notifier must not call
// back into the plug-in or set a notifier. AUEventSetHostNotifier waits for a call under way, so
// after it returns the old refCon is no longer used.
#pragma once

#include "AUTypes.h"
#include "ComponentManager.h"

enum : UInt32 {
  kAudioUnitEvent_ParameterValueChange = 0,
  kAudioUnitEvent_BeginParameterChangeGesture = 1,
  kAudioUnitEvent_EndParameterChangeGesture = 2,
  kAudioUnitEvent_PropertyChange = 3,
};

struct AudioUnitParameter {
  AudioUnit mAudioUnit;
  AudioUnitParameterID mParameterID;
  AudioUnitScope mScope;
  AudioUnitElement mElement;
};

struct AudioUnitProperty {
  AudioUnit mAudioUnit;
  AudioUnitPropertyID mPropertyID;
  AudioUnitScope mScope;
  AudioUnitElement mElement;
};

struct AudioUnitEvent {
  UInt32 mEventType;
  union {
    AudioUnitParameter mParameter;
    AudioUnitProperty mProperty;
  } mArgument;
};

typedef struct OpaqueAUEventListener* AUEventListenerRef;

// Hands the event to the notifier registered for the event's audio unit. No unit, or no
// notifier: nothing happens and noErr is answered (a host that does not listen loses nothing).
OSStatus AUEventListenerNotify(AUEventListenerRef sendingListener, void* sendingObject, const AudioUnitEvent* event);
// Host side: null proc removes the notifier.
void AUEventSetHostNotifier(AudioUnit unit, AUEventHostNotifyProc proc, void* refCon);
