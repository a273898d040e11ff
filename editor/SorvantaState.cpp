// The state chunk the host stores for a project, and its restore.
//
// Layout (little-endian, doubles IEEE 754): version word 00 00 00 01, kQuickTab, kDorvikModel,
// [with names: patch manager block, normalised kDeviceInSelection, kDeviceOutSelection,
// kBankSelection, kPatchSelection], then the plain values of parameters 0..8743, [with names:
// marks]. A mark is a 32-bit tag, a 32-bit length and that many bytes; readers skip tags they do
// not know, and older ones stop at the values. Older chunks have no marks.
//
// A chunk handed back by a host is hostile input: it is checked whole (version word, block words,
// every length inside the chunk, all values present) before anything is applied, and a chunk that
// fails refuses the restore (0) with the editor unchanged.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <numeric>
#include <thread>

#include "DumpLayout.h"
#include "EditorLog.h"
#include "MidiBackend.h"
#include "IControl.h"
#include "IParam.h"
#include "PatchManager.h"
#include "Sorvanta.h"
#include "UIConfigManager.h"

namespace {

constexpr int32_t kStateVersion = 0x01000000;  // bytes 00 00 00 01 in the chunk's native order
constexpr int kFilterSwitchCount = 7;
// The mark of the global settings: a 32-bit word, 1 when they came from a synth or were edited.
constexpr int32_t kGlobalsMark = 0x6C626C47;  // "Glbl"

// Reads the marks from pos to the chunk's end: the end, or -1 when one is cut short. *globals is
// the globals mark's word, -1 without one.
int readMarks(const ByteChunk* chunk, int pos, int32_t* globals) {
  *globals = -1;
  while (pos >= 0 && pos < chunk->Size()) {
    int32_t tag = 0, length = 0;
    int p = chunk->Get(&tag, pos);
    if (p >= 0) p = chunk->Get(&length, p);
    if (p < 0 || length < 0 || length > chunk->Size() - p) return -1;
    if (tag == kGlobalsMark && length >= 4) chunk->Get(globals, p);
    pos = p + length;
  }
  return pos;
}

bool readDouble(const ByteChunk* chunk, int* pos, double* out) {
  *pos = chunk->Get(out, *pos);
  return *pos >= 0;
}

// The port a side has, as the port layer holds it: a menu entry taken by position may name
// another client, the list having changed since.
std::string portForLog(const IPluginBase& plug, bool input) {
  const std::string name = plug.DirectMidiPortName(input);
  if (name.empty()) return "Select MIDI Device";
  return plug.DirectMidiPortLost(input) ? name + " (not there: lost)" : name;
}

}  // namespace

bool Sorvanta::SerializeState(ByteChunk* chunk) { return SerializeState2(chunk, true); }

int Sorvanta::UnserializeState(ByteChunk* chunk, int startPos) { return UnserializeState2(chunk, startPos, true); }

bool Sorvanta::SerializeState2(ByteChunk* chunk, bool withNames) {
  if (!chunk) return false;
  UTIL_MutexLock lock(GetMutex());
  const int32_t version = kStateVersion;
  chunk->Put(&version);
  double quickTab = paramValue(kQuickTab), model = paramValue(kDorvikModel);
  chunk->Put(&quickTab);
  chunk->Put(&model);
  SerializeParams(chunk);
  if (withNames && !heldProjectState.empty()) {
    // The project restored without an output goes back as it came: its block, port choices and
    // values were never applied, so the editor's own would overwrite them.
    chunk->PutBytes(heldProjectState.data(), static_cast<int>(heldProjectState.size()));
    return true;
  }
  if (withNames && patchManager) {
    for (int slot : {PatchManager::kSlotMidiIn, PatchManager::kSlotMidiOut}) {
      const bool input = slot == PatchManager::kSlotMidiIn;
      const int param = input ? kDeviceInSelection : kDeviceOutSelection;
      // A port only when one was chosen: entry 0 names none (it reads "Select MIDI Device", or
      // "No MIDI: start JACK" with no MIDI system), and is stored as nothing. A port asked for
      // and not there (the synth off since the start; with no MIDI system, the settings file's),
      // or opened by the port watch before its menu shows it, is still the one to use.
      const int chosen = truncToInt(paramValue(param));
      const char* entry = chosen > 0 ? GetParam(param)->GetDisplayText(chosen) : nullptr;
      const std::string name = entry ? entry : DirectMidiPortName(input);
      patchManager->setName(slot, UIConfigManager::portNamedBy(name));
      setLibrarianViewDirty();
    }
    patchManager->saveAllToChunk(chunk);
    for (int param : {kDeviceInSelection, kDeviceOutSelection, kBankSelection, kPatchSelection}) {
      double normalized = GetParam(param)->GetNormalized();
      chunk->Put(&normalized);
    }
  }
  const bool written = SerializeNonAutomatedParams(chunk, GetNonAutomatedParamCount() - SorvantaIdentity::kNumUnstoredParams);
  if (withNames) {
    const int32_t tag = kGlobalsMark, length = 4, known = globalsKnown() ? 1 : 0;
    chunk->Put(&tag), chunk->Put(&length), chunk->Put(&known);
  }
  return written;
}

bool Sorvanta::isGlobalSetting(int param) {
  int n = 0;
  const dump::MultiField* fields = dump::globalFields(&n);
  return param != kGlobalSysExID && std::any_of(fields, fields + n, [param](const dump::MultiField& f) { return f.param == param; });
}

bool Sorvanta::globalsKnown() const { return globalsEdited.load() || (midiManager && midiManager->globalsHeard.load()); }

bool Sorvanta::globalsUntouched(const ByteChunk* chunk, int valuesPos) const {
  const int nStored = GetNonAutomatedParamCount() - SorvantaIdentity::kNumUnstoredParams;
  constexpr int kSnapshotValues = 20;  // version word, kQuickTab, kDorvikModel
  if (!patchManager || patchManager->snapshotSize() < kSnapshotValues + 8 * nStored) return false;
  int n = 0;
  const dump::MultiField* fields = dump::globalFields(&n);
  for (int i = 0; i < n; ++i) {
    const int param = fields[i].param;
    double stored = 0, initial = 0;
    if (!isGlobalSetting(param) || param >= nStored) continue;
    chunk->Get(&stored, valuesPos + 8 * param);
    std::memcpy(&initial, patchManager->snapshotBytes() + kSnapshotValues + 8 * param, sizeof initial);
    if (stored != initial) return false;
  }
  return true;
}

int Sorvanta::UnserializeState2(ByteChunk* chunk, int pos, bool withNames) {
  if (!chunk || pos < 0) return 0;
  UTIL_MutexLock lock(GetMutex());
  const int nStored = GetNonAutomatedParamCount() - SorvantaIdentity::kNumUnstoredParams;

  // Check the whole chunk before touching anything.
  int32_t version = 0;
  int p = chunk->Get(&version, pos);
  if (p < 0 || version != kStateVersion) return 0;
  double quickTab = 0, model = 0;
  if (!readDouble(chunk, &p, &quickTab) || !readDouble(chunk, &p, &model)) return 0;
  if (!std::isfinite(quickTab) || !std::isfinite(model)) return 0;
  const int blockPos = p;
  double selections[4] = {0, 0, 0, 0};
  if (withNames) {
    p = PatchManager::checkBlock(chunk, p);
    if (p < 0) return 0;
    for (double& s : selections)
      if (!readDouble(chunk, &p, &s)) return 0;
  }
  const int valuesPos = p;
  if (static_cast<long long>(valuesPos) + static_cast<long long>(nStored) * 8 > chunk->Size()) return 0;
  int32_t globalsMark = -1;
  if (withNames && readMarks(chunk, valuesPos + nStored * 8, &globalsMark) < 0) return 0;

  // Apply, in the order the state was written.
  GetParam(kQuickTab)->SetClamped(quickTab);
  currentPart = truncToInt(paramValue(kQuickTab));
  GetParam(kDorvikModel)->SetClamped(model);
  hardwareModel = truncToInt(paramValue(kDorvikModel));
  if (truncToInt(paramValue(kDeviceOutSelection)) > 0) midiIOSet = true;
  if (uiConfig)
    if (const std::vector<std::string>* models = uiConfig->findValueList("dorvikModel"))
      if (hardwareModel >= 0 && hardwareModel < static_cast<int>(models->size()))
        log("PROJECT RECALL: hardware model " + (*models)[static_cast<size_t>(hardwareModel)]);

  if (withNames && patchManager) {
    patchManager->loadAllFromChunk(chunk, blockPos);
    // The stored normalised port choices are not used: ports come back by name, each side on its
    // own. A port that is open and carrying under the stored name stays open: closed and opened
    // again, it would lose what a running transfer sends in between. A named port listed now is
    // opened (a lost one anew). One not listed (its synth off) leaves a port carrying on that
    // side open, as closing it would trade a working connection for a wait; with none carrying
    // it is asked for, its field reads "Lost: " until the port watch opens it. A project that
    // names no port (saved with none chosen or stored: older ones hold the field's words) leaves
    // the side as it is.
    auto reopenNamed = [this](bool input, const std::string& name) {
      if (name.empty()) return;
      int& index = input ? mMidiInIndex : mMidiOutIndex;
      if (DirectMidiPortCarries(input)) {
        // Listed or not by the listing read now: the menu's may still hold a synth gone since.
        int at = MidiFindPortName(input ? mMidiInNames : mMidiOutNames, name);
        if (at != index)
          at = MidiFindPortName(input ? rescanExternalMIDIInNames(false) : rescanExternalMIDIOutNames(false), name, 1);
        if (at == index) return;
        if (at < 0) {
          log(std::string("PROJECT RECALL: MIDI ") + (input ? "In" : "Out") + " device " + name +
              " is not there; the open one stays");
          return;
        }
      }
      index = 1;
      if (input) setExternalMIDIIn(index, name.c_str());
      else setExternalMIDIOut(index, name.c_str());
    };
    const std::string inName = UIConfigManager::portNamedBy(patchManager->getName(PatchManager::kSlotMidiIn));
    log("PROJECT RECALL: MIDI In device stored " + inName);
    reopenNamed(true, inName);
    GetParam(kDeviceInSelection)->SetClamped(mMidiInIndex);
    if (IControl* c = mainControl(kDeviceInSelection)) c->SetValueFromPlug(GetParam(kDeviceInSelection)->GetNormalized());
    const std::string outName = UIConfigManager::portNamedBy(patchManager->getName(PatchManager::kSlotMidiOut));
    log("PROJECT RECALL: MIDI Out device stored " + outName);
    reopenNamed(false, outName);
    GetParam(kDeviceOutSelection)->SetClamped(mMidiOutIndex);
    // Only an output open now can take the project: one the reopening closed, or left asking for
    // a port not there, would lose a push, and the project with it.
    midiIOSet = mMidiOutIndex > 0;
    log(std::string("PROJECT RECALL: MIDI In device after checking devices ") + portForLog(*this, true));
    log(std::string("PROJECT RECALL: MIDI Out device after checking devices ") + portForLog(*this, false));
    GetParam(kBankSelection)->SetNormalized(std::fmin(std::fmax(selections[2], 0.0), 1.0));
    GetParam(kPatchSelection)->SetNormalized(std::fmin(std::fmax(selections[3], 0.0), 1.0));
  }
  heldProjectState.clear();
  // While another job runs (a request may be filling the editor's values) the stored sound is held,
  // and applied as its push starts after that job: the restore never waits for it. Without an
  // output that carries (the synth off) it is applied at once, so the window shows the project and
  // what is edited meanwhile goes with it, and its push waits for the synth (startSessionPush).
  const bool outputCarries = midiOutCarries();
  if (outputCarries && withNames && ThreadRunning()) {
    syncMidiFilterMirrors();
    const uint8_t* bytes = chunk->GetBytes() + blockPos;
    heldProjectState.assign(bytes, static_cast<const uint8_t*>(chunk->GetBytes()) + chunk->Size());
    heldValuesOffset = valuesPos - blockPos;
    log("PROJECT RECALL: stored sound held until the running transfer ends");
    pushProject(true);
    return valuesPos;
  }

  p = applyStoredValues(chunk, valuesPos);
  queueSpan = GetBlockSize() + 2 * truncToInt(paramValue(kAdjustDAWOffset));
  if (!outputCarries) {
    // Spoken to at the project's id from the first message on (the tempo as the output opens, the
    // device check), until the check hears at which id the synth answers.
    log("PROJECT RECALL: no MIDI output, the project goes to the synth once it is there");
    projectPushDue = true;
    RedrawParamControls();
    showProjectHeld();
    return p;
  }
  // Global, multi and every active part to the synthesizer. The restore does not wait for it: a
  // host shows its window (and can close) while it runs behind the progress overlay, and a close
  // ends it at its next message.
  projectPushDue = false;
  pushProject(false);
  log(std::string("PROJECT RECALL: MIDI In device after nonautomated params ") + portForLog(*this, true));
  log(std::string("PROJECT RECALL: MIDI Out device after nonautomated params ") + portForLog(*this, false));
  return p;
}

bool Sorvanta::applyHeldProjectState() {
  UTIL_MutexLock lock(GetMutex());
  return projectPushDue && startSessionPush();
}

bool Sorvanta::applyHeldProjectValues() {
  UTIL_MutexLock lock(GetMutex());
  projectPushDue = false;
  std::vector<std::pair<int, double>> globals;
  {
    std::lock_guard<std::mutex> hold(sessionGlobalsLock);
    globals.swap(sessionGlobals);
  }
  if (!globals.empty()) {
    std::vector<int> params;
    for (const auto& [param, value] : globals) {
      setParamFromPlug(param, value);
      params.push_back(param);
    }
    localControlOn = paramValue(kGlobalLocalControl) == 1.0;
    keepEditsInImage(params);
  }
  if (heldProjectState.empty() || !midiIOSet) return false;
  ByteChunk chunk;
  chunk.PutBytes(heldProjectState.data(), static_cast<int>(heldProjectState.size()));
  const int valuesPos = heldValuesOffset;
  heldProjectState.clear();
  log("PROJECT RECALL: applying the held project");
  applyStoredValues(&chunk, valuesPos);
  queueSpan = GetBlockSize() + 2 * truncToInt(paramValue(kAdjustDAWOffset));
  RedrawParamControls();
  return true;
}

void Sorvanta::syncMidiFilterMirrors() {
  for (int k = 0; k < kFilterSwitchCount; ++k) {
    hostBlockFlags[k] = paramValue(kMIDIFilterDAWCCPassThrough + k) != 1.0;
    deviceBlockFlags[k] = paramValue(kMIDIFilterHWCCPassThrough + k) != 1.0;
  }
  trackIncomingMIDI = paramValue(kMIDIFilterTrackIncomingMIDI) == 1.0;
  routeViaQueue = paramValue(kMIDIFilterToDAWBuffer) == 1.0;
  clockStartStopEnabled = paramValue(kSendMIDIClockPointer) == 1.0;
  applyClockSwitch(paramValue(kSendMIDIClockInfo) == 1.0);
}

int Sorvanta::applyStoredValues(ByteChunk* chunk, int valuesPos) {
  const int nStored = GetNonAutomatedParamCount() - SorvantaIdentity::kNumUnstoredParams;
  std::vector<std::pair<int, double>> ownGlobals;
  for (int param = 0; param < nStored; ++param)
    if (isGlobalSetting(param)) ownGlobals.emplace_back(param, paramValue(param));
  const int p = UnserializeNonAutomatedParams(chunk, valuesPos, nStored);
  // Global settings a project never heard from a synth nor had edited are the editor's defaults:
  // the ones the editor holds stay (the synth's, when heard), and the push leaves the synth's be.
  // A project that does not say is judged by its values (globalsUntouched).
  int32_t mark = -1;
  const int end = p < 0 ? p : readMarks(chunk, p, &mark);
  const bool projectGlobals = mark >= 0 ? mark == 1 : !globalsUntouched(chunk, valuesPos);
  if (projectGlobals) {
    globalsEdited = true;
  } else {
    for (const auto& [param, value] : ownGlobals) GetParam(param)->SetClamped(value);
    log("PROJECT RECALL: global settings never heard from a synth; the synth keeps its own");
  }
  // The project's id is the one the editor speaks to until a synth answers.
  if (midiManager) midiManager->deviceIdRestored = true;
  // The switches take the effect of the values just applied, not of the ones they replaced.
  applySwitchEffects();
  deviceId = truncToInt(paramValue(kGlobalSysExID));
  log("PROJECT RECALL: hardware DeviceID " + std::to_string(deviceId));
  if (patchManager) {
    auto setName = [this](int param, const std::string& text) {
      const size_t nul = text.find('\0');
      setNameText(param, nul == std::string::npos ? text : text.substr(0, nul));
    };
    const std::string multi = patchManager->getName(PatchManager::kSlotMulti);
    setName(kMultiName, multi);
    log("PROJECT RECALL: Multi name " + std::string(multi.c_str()));
    for (int part = 0; part < kNumParts; ++part) {
      const std::string sound = patchManager->getName(PatchManager::kSlotFirstPart + part);
      const std::string category = patchManager->getName(PatchManager::kSlotFirstCategory + part);
      setName(kPatchName + part, sound);
      setName(kCategoryName + part, category);
      log("PROJECT RECALL: Part " + std::to_string(part) + " name " + sound.c_str() + " | Category name " + category.c_str());
      linkMode[part] = truncToInt(paramValue(kFilterLinkValue + part));
    }
    // The name lines show the restored part, not what the start-up's reset left there.
    const int part = std::clamp(currentPart.load(), 0, kNumParts - 1);
    displayPatchName(nameText(kPatchName + part));
    displayCategoryName(nameText(kCategoryName + part));
  }
  // The project's multi is what the synth plays once pushed: program steps count on from it.
  if (midiManager) midiManager->takePartPrograms();
  // The project's values are the ones the synth is to get, byte for byte, where they read the same
  // as what was heard from it too.
  std::vector<int> stored(static_cast<size_t>(nStored));
  std::iota(stored.begin(), stored.end(), 0);
  if (!projectGlobals) stored.erase(std::remove_if(stored.begin(), stored.end(), isGlobalSetting), stored.end());
  keepEditsInImage(stored);
  return end;
}
