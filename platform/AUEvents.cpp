#include "AUEvents.h"

OSStatus AUEventListenerNotify(AUEventListenerRef, void*, const AudioUnitEvent* event) {
  if (!event) return paramErr;
  // Both union members start with the audio unit.
  AudioUnit unit = event->mArgument.mParameter.mAudioUnit;
  if (!unit || unit->magic != kComponentInstanceMagic) return noErr;
  if (unit->eventNotify) unit->eventNotify(unit->eventNotifyRefCon, event);
  return noErr;
}

void AUEventSetHostNotifier(AudioUnit unit, AUEventHostNotifyProc proc, void* refCon) {
  if (!unit || unit->magic != kComponentInstanceMagic) return;
  unit->eventNotify = proc;
  unit->eventNotifyRefCon = refCon;
}
