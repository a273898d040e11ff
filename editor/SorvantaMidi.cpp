// The device MIDI engine's side of the plug-in class: construction and tear-down of the MIDI
// message manager, the framework's MIDI and render slots, and the send operations that the
// editor core and the librarian call. The logic lives in MIDIMessageManager and its sender;
// this file binds it to the plug-in through SorvantaEngineHost.
#include <cstdio>

#include "ControlLayer.h"
#include "DumpLayout.h"
#include "IControls.h"
#include "IGraphics.h"
#include "LibrarianView.h"
#include "MIDIMessageManager.h"
#include "MIDIMessageSender.h"
#include "MidiPorts.h"
#include "PatchManager.h"
#include "ProgressIndicator.h"
#include "Sorvanta.h"
#include "SysexProtocol.h"
#include "UIConfigManager.h"
#include "WINX_Time.h"

namespace {

// The engine's view of one plug-in object. Called from every engine thread; it only forwards.
class SorvantaEngineHost : public MidiEngineHost {
 public:
  explicit SorvantaEngineHost(Sorvanta* plug) : p(plug) {}

  double value(int param) const override { return p->paramValue(param); }
  void setFromDevice(int param, double v) override { p->setParamFromPlug(param, v); }
  std::string text(int param) const override { return p->nameText(param); }
  void setText(int param, const std::string& t) override { p->setNameText(param, t); }
  void setLocalControl(bool on) override { p->localControlOn = on; }
  void setParamSilently(int param, double v) override {
    if (IParam* q = p->GetParam(param)) q->SetClamped(v);
  }
  bool paramRange(int param, double* lo, double* hi) const override {
    IParam* q = p->GetParam(param);
    if (!q) return false;
    *lo = q->GetMin();
    *hi = q->GetMax();
    return true;
  }

  IControl* findSysexControl(int k1, int k2, int k3, int k4, int k5) override {
    return p->getSysexControl(k1, k2, k3, k4, k5);
  }
  IControl* findPartlessSysexControl(int dev, int cmd, int hi, int lo, int k5) override {
    UIConfigManager* ui = p->getUIConfigManager();
    return ui ? ui->getPartlessSysexControl(dev, cmd, hi, lo, k5) : nullptr;
  }
  IControl* findCCControl(int channel, int cc, int key) override { return p->getCCControls(channel, cc, key); }
  int controlParam(IControl* c) override { return c ? c->ParamIdx() : -1; }
  void setControlFromHardware(IControl* c, double normalized) override {
    if (c) c->SetValueFromHardware(normalized);
  }

  // The handlers run under the plug-in's lock, as the framework's own calls do.
  void onParamChange(int param) override {
    UTIL_MutexLock lock(p->GetMutex());
    p->OnParamChange(param);
  }
  void onParamChange2(int param) override {
    UTIL_MutexLock lock(p->GetMutex());
    p->OnParamChange2(param);
  }
  // The MIDI input thread re-applies an edit the answer overwrote: the full handler may show
  // and hide layers, so it runs on the window's thread.
  void reapplyEdit(int param, double value) override {
    p->onWindowThread(Sorvanta::kReapplyEdit + param, [this, param, value] {
      p->setParamFromPlug(param, value);
      onParamChange(param);
    });
  }

  void sendMidiMsg(const IMidiMsg& msg) override {
    IMidiMsg m = msg;
    p->SendMidiMsg(&m);
  }
  void sendSysex(const uint8_t* bytes, int size) override {
    std::vector<unsigned char> copy(bytes, bytes + size);
    p->SendMidiSysex(copy.data(), size);
  }
  void sendRaw(const std::vector<uint8_t>& bytes) override { p->SendMidiSysex2(bytes); }
  void sendRawAt(const std::vector<uint8_t>& bytes, int64_t atNs) override {
    p->SendDirectBytesAt(bytes.data(), static_cast<int>(bytes.size()), atNs);
  }
  void queueMidiMsg(const IMidiMsg& msg) override { p->midiQueue.Add(&msg); }
  bool popDueMidiMsg(int maxOffset, IMidiMsg* msg) override { return p->midiQueue.PopDue(maxOffset, msg); }
  void flushMidiQueue(int nFrames) override { p->midiQueue.Flush(nFrames); }

  void setStatusText(const std::string& t) override { p->setStatusText(t); }
  void setValueText(const std::string& t) override {
    if (p->valueLine) p->valueLine->SetTextFromPlug(t.c_str());
  }
  void setDelayText(const std::string& t) override {
    if (auto* c = dynamic_cast<ITextControl*>(p->mainControl(kControlDisplayMIDIOutDelay))) c->SetTextFromPlug(t.c_str());
  }
  // The jobs and the input show and hide layers through the window's thread.
  void showProgress(bool show) override {
    p->onWindowThread(Sorvanta::kShowProgress, [this, show] { showProgressNow(show); });
  }
  void showProgressNow(bool show) {
    if (p->progressIndicator) p->progressIndicator->Hide(!show);
    if (p->progressLayer) p->progressLayer->Hide(!show);
    for (IControl* b : p->cancelButtons)
      if (b) b->Hide(true);
    const bool librarianOpen = p->paramValue(kMainTab) == 1.0;
    IControl* patchSearch = p->mainControl(kPatchSearch);
    if (show) {
      // [1] is the librarian's cancel button (top of the window), [0] the editor's.
      if (IControl* b = p->cancelButtons[librarianOpen ? 1 : 0]) b->Hide(false);
      if (librarianOpen) {
        showLayer("categoryLimit", false);
        showLayer("searchField", false);
        if (patchSearch) patchSearch->GrayOut(true);
      }
    } else if (librarianOpen && !p->multiMode) {
      showLayer(p->paramValue(kPatchSearch) == 1.0 ? "searchField" : "categoryLimit", true);
      if (patchSearch) patchSearch->GrayOut(false);
    }
  }
  void showLayer(const std::string& name, bool show) override {
    if (ControlLayer* l = p->getLayer(name)) p->onWindowThread(Sorvanta::kShowLayer, [l, show] { l->Hide(!show); }, l);
  }
  void showLibrarianUnsaved() override { p->showUpperBankEdited(); }
  void librarianViewDirty() override { p->setLibrarianViewDirty(); }
  // The engine asks after it stored a received dump into the upper bank: the lower grid may show
  // that bank, or refer to its entries, too.
  void updateLibrarianView(int) override { p->librarianBankContentsChanged(); }
  void setLibrarianProgram(int program) override {
    if (PatchLibrarian* lib = p->getPatchLibrarian()) lib->selectedSlot = program;
    if (auto* v = dynamic_cast<LibrarianViewControl*>(p->librarianView)) {
      v->setUpperSelectedSlot(program);
      v->setLowerSelectedSlot(program);
    }
  }
  void setLibrarianViewSecondSlot(int slot) override {
    if (auto* v = dynamic_cast<LibrarianViewControl*>(p->librarianView)) v->setLowerSelectedSlot(slot);
  }
  int librarianViewActiveList() override {
    auto* v = dynamic_cast<LibrarianViewControl*>(p->librarianView);
    return (v && v->upperSelectedSlot() < 0) ? 1 : 0;
  }
  bool librarianShowsCategory() override { return p->categoryMode; }
  bool librarianShowsSearch() override { return p->searchMode; }
  void setPatchManagerName(int index, const std::string& name) override {
    if (PatchManager* pm = p->getPatchManager()) pm->setName(index, name);
  }
  void displayPatchName(const std::string& name) override { p->displayPatchName(name); }
  void displayCategoryName(const std::string& name) override { p->displayCategoryName(name); }
  void markMiniMixerDirty() override {
    if (ControlLayer* l = p->getLayer("miniMixer")) l->setControlsDirty();
  }
  void log(const std::string& t) override { p->log(t); }
  void printOutgoing(const std::string& line) override {
    fputs(line.c_str(), stdout);
    fflush(stdout);
  }
  PatchLibrarian* librarian() override { return p->getPatchLibrarian(); }
  void applyHeldProject() override { p->applyHeldProjectValues(); }
  bool portsCarry() override { return p->portsCarry(); }
  unsigned portOpens() override { return p->DirectMidiPortOpens(); }
  unsigned midiLateCycles() override { return MidiPortLateCycles(); }
  void projectPushCut() override { p->projectPushCut(); }
  void sessionCheckEnded(bool heard) override { p->sessionCheckEnded(heard); }
  bool globalsKnown() override { return p->globalsKnown(); }
  void setProgramFromHost(int part, int program) override { p->setProgramFromHost(part, program); }
  bool holdProgramForSynth(int part, int program) override { return p->oweProgram(part, program); }
  const std::vector<std::string>* tempoValues() override {
    UIConfigManager* ui = p->getUIConfigManager();
    return ui ? ui->findValueList("tempoValues") : nullptr;
  }
  double hostTempoNow() override { return p->GetTempo(); }
  bool hasGraphics() override { return p->GetGUI() != nullptr; }
  int currentPart() override { return p->currentPart.load(); }
  void setCurrentPart(int part) override { p->currentPart = part; }
  bool multiMode() override { return p->multiMode; }
  bool hardwareChangeActive() override { return p->hardwareChangeActive.load(); }

 private:
  Sorvanta* p;
};

}  // namespace

// Every sound byte the dumps carry has a parameter, but not every such parameter has a control
// (the effect slots' generic values, for one, are shown through the per-type parameters). One
// that no control initialised keeps a fresh parameter's 0..1 range, so a received 64 would be
// clamped to 1 and sent back to the synth as 1. Those get the whole data-byte range.
void Sorvanta::giveDumpBytesTheirRange() {
  int n = 0;
  const dump::SoundField* fields = dump::soundFields(&n);
  for (int i = 0; i < n; ++i)
    for (int base : {fields[i].param, fields[i].param2}) {
      if (base < 0) continue;
      for (int part = 0; part < kNumParts; ++part) {
        IParam* q = GetParam(base + part);
        if (!q || q->GetType() != IParam::kTypeNone) continue;
        const std::string name = q->GetNameForHost();
        q->InitInt(name.c_str(), 0, 0, 127);
      }
    }
}

void Sorvanta::initMidiEngine() {
  if (midiManager) return;
  giveDumpBytesTheirRange();
  midiHost = new SorvantaEngineHost(this);
  midiStateRef = new PlugMidiState(*this);
  midiManager = new MIDIMessageManager(midiHost, midiStateRef);
}

void Sorvanta::shutdownMidiEngine() {
  if (midiManager) midiManager->shutdown();
  delete midiManager;
  midiManager = nullptr;
  delete midiStateRef;
  midiStateRef = nullptr;
  delete midiHost;
  midiHost = nullptr;
}

void Sorvanta::ProcessDoubleReplacing(double**, double**, int nFrames) {
  if (!midiManager) return;
  ITimeInfo time;
  GetTime(&time);
  DeferredLogLines::RenderScope rendering;
  midiManager->processBlock(time, nFrames, sampleRateCopy, GetBlockSize());
  watchDirectPorts();
}

void Sorvanta::Reset() {
  UTIL_MutexLock lock(GetMutex());
  if (GetSampleRate() != sampleRateCopy) sampleRateCopy = GetSampleRate();
  midiQueue.Resize(GetBlockSize());
  if (midiManager) midiManager->reset(GetBlockSize());
  char version[kVersionStrLen];
  GetEffectVersionStr(version);
  if (debugLogOn) log(std::string("RESET: plug-in ") + version);
  // A push running, or a project held for the synth: the lines show that project, not the start's.
  if (transferInProgress || projectPushDue) return;
  // A problem said at the start (the log refused) stays until something else is said.
  if (startProblem.empty() || !statusLine || statusLine->GetTextCopy() != startProblem) {
    setStatusText("Tamsell Sorvanta Plug-in");
    if (valueLine) valueLine->SetTextFromPlug(debugLogOn ? (std::string(version) + " - 02-Jan-2020").c_str() : version);
  }
  if (buildLine) buildLine->SetTextFromPlug(version);
  if (categoryLine) categoryLine->SetTextFromPlug("INIT");
  if (patchLine) patchLine->SetTextFromPlug("-- INIT --");
  if (ccLine) ccLine->SetTextFromPlug("---");
}

void Sorvanta::ProcessMidiMsg(IMidiMsg* msg, bool fromDevice) {
  if (midiManager) midiManager->ProcessMidiMsg(msg, fromDevice);
}

void Sorvanta::ProcessSysEx(ISysEx* sysex, bool fromDevice) {
  if (midiManager) midiManager->ProcessSysExFromPlug(sysex, fromDevice);
}

void Sorvanta::sendMidiMsgAndLog(IMidiMsg* msg) {
  if (!midiManager || !msg) return;
  midiManager->sendMidiMsgAndLog(msg);
}

void Sorvanta::checksumCheckAndSend(unsigned char* data, int length) {
  if (midiManager) midiManager->checksumCheckAndSend(data, length);
}

void Sorvanta::sendSysexMessage(const std::vector<int>& message) {
  if (midiManager) midiManager->sendSysexMessage(message);
}

void Sorvanta::setFxParameterDefaults(int paramIdx, int value) {
  if (!midiManager) return;
  midiManager->SetFX1ParameterChangesToDefaultParameters(paramIdx, value);
  midiManager->SetFX2ParameterChangesToDefaultParameters(paramIdx, value);
}

bool Sorvanta::ThreadRunning() { return midiManager && midiManager->threadRunning(WorkerThread::kDump); }

void Sorvanta::sendPatchToDevice(int part, bool bulk, bool allParts, bool withGlobal, bool sendMulti) {
  if (midiManager) midiManager->sendPatchToDevice(part, bulk, allParts, withGlobal, sendMulti);
}

void Sorvanta::sendPartDataBackToHardware(int part) {
  if (midiManager) midiManager->sendPartDataBackToHardware(part);
}

void Sorvanta::AllSoundsOff(int part, bool allParts) {
  if (midiManager) midiManager->AllSoundsOff(part, allParts);
}

void Sorvanta::MIDIOutRoutingSwitch(IMidiMsg* msg) {
  if (midiManager && msg) midiManager->MIDIOutRoutingSwitch(msg);
}

bool Sorvanta::BankChangeMessage(int part) { return midiManager && midiManager->BankChangeMessage(part); }

void Sorvanta::sendSysExInitialization(bool afterRunningJob) {
  if (midiManager) midiManager->sendSysExInitialization(afterRunningJob);
}

const char* Sorvanta::portsStillToSet() const {
  const bool out = midiOutCarries(), in = midiInCarries();
  const bool outLost = !out && DirectMidiPortLost(false), inLost = !in && DirectMidiPortLost(true);
  // A port the watch opens again by itself once its synth is back asks nothing of the user; one a
  // patchbay disconnected (its synth still listed) is the user's to connect again.
  if ((outLost || inLost) && (!outLost || DirectMidiPortAwaitsReturn(false)) && (!inLost || DirectMidiPortAwaitsReturn(true)))
    return "Waiting for Dorvik: it reconnects by itself";
  if (outLost || inLost) return outLost && inLost ? "Reopen MIDI In and Out" : outLost ? "Reopen MIDI Out" : "Reopen MIDI In";
  return out && in ? "MIDI In and MIDI Out set." : out ? "Set MIDI In" : in ? "Set MIDI Out" : "Set MIDI In and MIDI Out";
}

void Sorvanta::SetLibrarianRequestActive(bool active) {
  if (midiManager) midiManager->SetLibrarianRequestActive(active);
}

void Sorvanta::SetLibrarianStatusUnsaved(bool unsaved) {
  if (midiManager) midiManager->SetLibrarianStatusUnsaved(unsaved);
}

void Sorvanta::DisplayProcessingIndicator(bool show) {
  if (midiManager) midiManager->DisplayProcessingIndicator(show);
}

void Sorvanta::sendPatchToDeviceFromLibrarian(int slot, int list, int part) {
  if (midiManager) midiManager->sendPatchToDeviceFromLibrarian(slot, list, part);
}

void Sorvanta::storeAllPatchesToDeviceFromLibrarian(int first, int second, int third, bool oneSlot) {
  if (!midiManager || !midiIOSet) return;
  JobRecord r;
  r.code = 4;
  r.first = first;
  r.second = second;
  r.third = third;
  r.oneSlot = oneSlot;
  MIDIMessageManager* m = midiManager;
  m->startJob(r, [m] { m->partSendBusy = true; });
}

void Sorvanta::SendSingleProgramFromLibrarian(bool toSlot, int part) {
  if (!midiManager) return;
  midiManager->librarianSlotTarget = toSlot;
  auto* view = dynamic_cast<LibrarianViewControl*>(librarianView);
  const int list = (view && view->upperSelectedSlot() < 0) ? 1 : 0;
  midiManager->sendPatchToDeviceFromLibrarian(librarian ? librarian->selectedSlot.load() : 0, list, part);
}

void Sorvanta::SendAllProgramsFromLibrarian(int third) {
  if (!midiManager) return;
  if (librarian) librarian->selectedSlot = 0;
  midiManager->librarianSlotTarget = true;
  if (!midiIOSet) return;
  auto* view = dynamic_cast<LibrarianViewControl*>(librarianView);
  JobRecord r;
  r.code = 4;
  r.first = (view && view->upperSelectedSlot() < 0) ? 1 : 0;
  r.second = 0;
  r.third = third;
  MIDIMessageManager* m = midiManager;
  m->startJob(r, [m] { m->partSendBusy = true; });
}

int Sorvanta::getTimerValue() { return midiManager ? midiManager->pacingInterval() : 100; }

// The send-mode flags are set only when the job really starts: a push refused because another
// transfer runs would otherwise leave bulkSendActive set, and with it all input ignored.
void Sorvanta::pushArrangement() {
  if (!midiManager || refuseTransferForLostPort()) return;
  JobRecord r;
  r.code = 0;
  MIDIMessageManager* m = midiManager;
  // Clicked while a transfer runs, it is refused in words rather than dropped unseen.
  m->startUserJob(r, [this, m] {
    sendAllParts = true;
    bulkSendActive = true;
    sendGlobalWithMulti = true;
    m->patchRequest.armed = false;
    m->AllSoundsOff(0, true);
    m->partSendBusy = true;
  });
}

bool Sorvanta::pushProject(bool applyHeldFirst, uint64_t afterCheck, bool withoutWaiting) {
  if (!midiManager) return false;
  JobRecord r;
  r.code = 0;
  r.endsProjectPush = true;
  r.appliesHeldProject = applyHeldFirst;
  r.belongsTo = afterCheck;
  MIDIMessageManager* m = midiManager;
  // Set as the push starts (now, or after the job running now), so that nothing in between runs
  // with its send modes; the job clears them when it ends.
  auto modes = [this, m] {
    transferInProgress = true;
    sendGlobalWithMulti = true;
    sendAllParts = true;
    transferRunning = true;
    m->patchRequest.armed = false;
    m->partSendBusy = true;
  };
  return withoutWaiting ? m->startJobWithoutWaiting(r, modes) : m->startJob(r, modes);
}

void Sorvanta::cancelDataRequest() {
  if (midiManager) midiManager->sender()->cancelRequested = true;
}

void Sorvanta::requestArrangement() {
  if (!midiManager || refuseTransferForLostPort()) return;
  JobRecord r;
  r.code = 5;
  r.requestFlag = true;
  // Pressed while another job runs (a transfer's last pause, the device-id check), it waits for it.
  midiManager->startJob(r);
}

void Sorvanta::requestPart(int part) {
  if (midiManager) midiManager->requestPartToEditor(part);
}

bool Sorvanta::valueFromHardware() const { return SynthOrigin::now(); }

void Sorvanta::resetContinuousClock(bool stop) {
  if (midiManager) midiManager->clock().reset(stop);
}
