// The MIDI engine's side of the librarian interface's host: the only file of the librarian
// interface that knows the engine's operations and job records. Runs on the GUI thread; the jobs
// it starts run on the engine's first worker thread.
#include <algorithm>

#include "IPlugStructs.h"
#include "LibrarianViewBridge.h"
#include "MIDIMessageManager.h"
#include "Sorvanta.h"

bool SorvantaLibrarianBridge::bankChangeMessage(int part) { return p->BankChangeMessage(part); }

void SorvantaLibrarianBridge::sendPatchToDevice(int part, bool sound, bool multi) {
  p->sendPatchToDevice(part, sound, false, false, multi);
}

void SorvantaLibrarianBridge::sendPatchToDeviceFromLibrarian(int slot, int grid, int part) {
  p->sendPatchToDeviceFromLibrarian(slot, grid, part);
}

bool SorvantaLibrarianBridge::startLibrarianJob(const LibrarianJob& job) {
  MIDIMessageManager* m = p->midiManager;
  if (!m) return false;
  JobRecord r;
  r.code = job.code;
  r.part = std::clamp(job.part, 0, kNumParts - 1);
  r.requestFlag = job.toEditor;
  r.toLibrarian = job.storeInLibrarian;
  r.initFlag = job.checkFlag;
  Sorvanta* plug = p;
  // The flags go up only with a job that starts: a busy thread leaves them as they were.
  return m->startJob(r, [m, plug, job] {
    if (job.setManagerToEditor) m->editorCaptureActive = true;
    if (job.setManagerTransfer) m->partSendBusy = true;
    if (job.clearParseComplete) m->parseComplete = false;
    if (job.setEditorTransfer) plug->transferInProgress = true;
  });
}

void SorvantaLibrarianBridge::sendSinglePatchRequestFromLibrarian(bool editBuffer, int number) {
  if (p->midiManager) p->midiManager->sendSinglePatchRequestSysexFromLibrarian(editBuffer, number);
}

void SorvantaLibrarianBridge::sendAllPatchRequestFromLibrarian(int bank) {
  if (p->midiManager) p->midiManager->sendAllPatchRequestSysexFromLibrarian(bank);
}

void SorvantaLibrarianBridge::armMultiCapture() {
  if (!p->midiManager) return;
  p->midiManager->performanceRequest.clearAndArm();
  p->midiManager->parseComplete = false;
}

void SorvantaLibrarianBridge::storeAllPatchesToDeviceFromLibrarian(int mode, int first, int bank) {
  p->storeAllPatchesToDeviceFromLibrarian(mode, first, bank);
}

void SorvantaLibrarianBridge::storeLibrarianSlotToDevice(int slot, int bank) {
  // One entry into one stored program: the librarian-to-part job with the slot target, which
  // writes program `slot` of the part's bank (the multi's memory in multi mode) and nothing else.
  (void)bank;  // the job takes the bank from the current part's bank parameter
  MIDIMessageManager* m = p->midiManager;
  PatchLibrarian* lib = p->getPatchLibrarian();
  if (!m || !lib || !p->midiIOSet || slot < 0 || slot >= kBankSize) return;
  JobRecord r;
  r.code = 3;
  r.part = std::clamp(p->currentPart.load(), 0, kNumParts - 1);
  r.slot = slot;
  {
    UTIL_MutexLock lock(&lib->bankLock());
    const PatchFile* bankFile = lib->selectedUpperBank();
    if (!bankFile || slot >= static_cast<int>(bankFile->entries.size())) return;
    r.entry = bankFile->entries[static_cast<size_t>(slot)];
  }
  if (r.entry.messages.empty()) return;
  // Set only with a job that starts: left set, it would turn the next audition into a write.
  m->startJob(r, [m] {
    m->librarianSlotTarget = true;
    m->partSendBusy = true;
  });
}

void SorvantaLibrarianBridge::setLibrarianRequestActive(bool active) { p->SetLibrarianRequestActive(active); }

void SorvantaLibrarianBridge::processLibrarianSysEx(ISysEx* sysex) { p->ProcessSysEx(sysex, true); }

void SorvantaLibrarianBridge::setLibrarianStatusUnsaved(bool unsaved) { p->SetLibrarianStatusUnsaved(unsaved); }
