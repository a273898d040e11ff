#include "AUEvents.h"

OSStatus AUEventListenerNotify(AUEventListenerRef, void*, const AudioUnitEvent* event) {
  if (!event) return paramErr;
  // Both union members start with the audio unit.
  AudioUnit unit = event->mArgument.mParameter.mAudioUnit;
  if (!unit || unit->magic != kComponentInstanceMagic) return noErr;
  // Held through the call: once the host has cleared or replaced its notifier, no call with the
  // old refCon is under way.
  std::lock_guard<std::mutex> lock(unit->eventNotifyLock);
  if (unit->eventNotify) unit->eventNotify(unit->eventNotifyRefCon, event);
  return noErr;
}

void AUEventSetHostNotifier(AudioUnit unit, AUEventHostNotifyProc proc, void* refCon) {
  if (!unit || unit->magic != kComponentInstanceMagic) return;
  std::lock_guard<std::mutex> lock(unit->eventNotifyLock);
  unit->eventNotify = proc;
  unit->eventNotifyRefCon = refCon;
}
