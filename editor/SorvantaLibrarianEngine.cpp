// The MIDI engine's side of the librarian interface's host: the only file of the librarian
// interface that knows the engine's operations and job records. Runs on the GUI thread; the jobs
// it starts run on the engine's first worker thread.
#include <algorithm>

#include "IPlugStructs.h"
#include "LibrarianViewBridge.h"
#include "MIDIMessageManager.h"
#include "Sorvanta.h"

namespace {

// Whether a librarian job puts what it gets (or makes) into the upper bank's selected slot.
bool fillsLibrarianSlot(const LibrarianJob& job) {
  switch (job.code) {
    case kJobMultiDump:
    case kJobPartSoundDump: return job.storeInLibrarian;
    case kJobRequestActiveMulti:
    case kJobRequestPartSound: return !job.toEditor;
    case kJobRequestStoredMulti:
    case kJobRequestAllMultis:
    case kJobInitMultiSlot:
    case kJobInitSoundSlot: return true;
    default: return false;
  }
}

}  // namespace

bool SorvantaLibrarianBridge::bankChangeMessage(int part) { return p->BankChangeMessage(part); }

void SorvantaLibrarianBridge::sendPatchToDevice(int part, bool sound, bool multi) {
  p->sendPatchToDevice(part, sound, false, false, multi);
}

void SorvantaLibrarianBridge::sendPatchToDeviceFromLibrarian(int slot, int grid, int part) {
  p->sendPatchToDeviceFromLibrarian(slot, grid, part);
}

bool SorvantaLibrarianBridge::startLibrarianJob(const LibrarianJob& job) {
  MIDIMessageManager* m = p->midiManager;
  if (!m || (fillsLibrarianSlot(job) && !p->librarianReadyToReceive())) return false;
  JobRecord r;
  r.code = job.code;
  r.part = std::clamp(job.part, 0, kNumParts - 1);
  r.requestFlag = job.toEditor;
  r.toLibrarian = job.storeInLibrarian;
  r.initFlag = job.checkFlag;
  Sorvanta* plug = p;
  // The flags go up only with a job that starts: a busy thread leaves them as they were.
  return m->startUserJob(r, [m, plug, job] {
    if (job.setManagerTransfer) m->partSendBusy = true;
    if (job.clearParseComplete) m->parseComplete = false;
    if (job.setEditorTransfer) plug->transferInProgress = true;
  });
}

void SorvantaLibrarianBridge::sendSinglePatchRequestFromLibrarian(bool editBuffer, int number) {
  if (p->midiManager && p->librarianReadyToReceive())
    p->midiManager->sendSinglePatchRequestSysexFromLibrarian(editBuffer, number);
}

void SorvantaLibrarianBridge::sendAllPatchRequestFromLibrarian(int bank) {
  if (p->midiManager && p->librarianReadyToReceive()) p->midiManager->sendAllPatchRequestSysexFromLibrarian(bank);
}

void SorvantaLibrarianBridge::armMultiCapture() {
  // Beside a running job the capture would take its dumps (the request is refused anyway).
  if (!p->midiManager || !p->librarianReadyToReceive() || p->ThreadRunning()) return;
  p->midiManager->performanceRequest.clearAndArm();
  p->midiManager->parseComplete = false;
}

void SorvantaLibrarianBridge::storeAllPatchesToDeviceFromLibrarian(int mode, int first, int bank) {
  p->storeAllPatchesToDeviceFromLibrarian(mode, first, bank);
}

void SorvantaLibrarianBridge::storeLibrarianSlotToDevice(int slot, int bank) {
  // One entry into the synth's memory: the store job, for the slot alone, into the program of the
  // same number in `bank` (the multi memory in multi mode).
  if (slot < 0 || slot >= kBankSize) return;
  p->storeAllPatchesToDeviceFromLibrarian(0, slot, bank, true);
}

void SorvantaLibrarianBridge::setLibrarianRequestActive(bool active) { p->SetLibrarianRequestActive(active); }

// The librarian's own dumps (a paste into a slot): stored by the capture it armed for them.
void SorvantaLibrarianBridge::processLibrarianSysEx(ISysEx* sysex) {
  if (p->midiManager) p->midiManager->takeOwnDump(sysex);
}

void SorvantaLibrarianBridge::setLibrarianStatusUnsaved(bool unsaved) { p->SetLibrarianStatusUnsaved(unsaved); }
