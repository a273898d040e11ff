// The two parameter-change handlers. OnParamChange runs for changes made on a control or by the
// host (and for partner parameters the handler itself changes); OnParamChange2 for values from the
// synthesizer, which are shown but never echoed back. Both hold the plug-in's recursive lock for
// their whole run, on the thread that made the change.
//
#include <algorithm>
#include <cstdio>
#include <initializer_list>

#include "ControlLayer.h"
#include "EditorSettings.h"
#include "IControls.h"
#include "IGraphics.h"
#include "IParam.h"
#include "LinkManager.h"
#include "MIDIMessageManager.h"
#include "PartRandomizer.h"
#include "ProgressIndicator.h"
#include "Sorvanta.h"
#include "UTIL_Mutex.h"
#include "ValueDisplay.h"

namespace {

bool inBlock(int number, int base) { return number >= base && number < base + kNumParts; }

// The part of `n` in the first of `bases` whose block holds it, or -1. Many block bases are not
// multiples of 16 (kPatchName starts at 7619, kPatchUp at 9229), so a part is never n % 16.
int partInBlocks(int n, std::initializer_list<int> bases) {
  for (int base : bases)
    if (inBlock(n, base)) return n - base;
  return -1;
}

struct Trigger {
  int trigger;
  int difference;
  bool refreshTab;
};

// Trigger buttons and the distance to their target (same part), tested in this order.
const Trigger kTriggers[] = {
    {kTriggerFX1PhaserPolarity, 5642, false},       {kTriggerFX2PhaserPolarity, 5002, false},
    {kTriggerFX1FlangerPolarity, 5722, false},      {kTriggerFX2FlangerPolarity, 5082, false},
    {kTriggerFX2DelayPolarity, 4874, false},        {kTriggerFX2DelayAutoPan, 4858, false},
    {kTriggerFX2DelayClocked, 4922, false},         {kTriggerArpNoteOverlap, 7386, false},
    {kTriggerArpPatternReset, 7386, false},         {kTriggerOscillator2SyncToOsc3, 8651, false},
    {kTriggerOscillatorMonoPolyMode, 3386, false},  {kTriggerOscillatorGlideOnOffSwitch, 8507, false},
    {kTriggerFilterEnvTrigger, 3146, false},        {kTriggerAmpEnvTrigger, 3146, false},
    {kTriggerEnv3Trigger, 3146, false},             {kTriggerEnv4Trigger, 3146, false},
    {kTriggerLFO1Clock, 2842, true},                {kTriggerLFO2Clock, 2794, true},
    {kTriggerLFO3Clock, 2746, true},                {kTriggerLFO1SyncOnOff, 7547, false},
    {kTriggerLFO2SyncOnOff, 7499, false},           {kTriggerLFO3SyncOnOff, 7451, false},
};

bool isSectionSwitch(int n) {
  for (int base : {kOscillator1Shape, kOscillator2Shape, kOscillator3Shape, kFilter1Type, kFilter2Type, kFilterEnvMode,
                   kAmpEnvMode, kEnvelope3Mode, kEnvelope4Mode})
    if (inBlock(n, base)) return true;
  return false;
}

// The part of an envelope trigger or mode parameter, or -1 for any other.
int envelopePart(int n) {
  return partInBlocks(n, {kFilterEnvTrigger, kAmpEnvTrigger, kEnv3Trigger, kEnv4Trigger, kFilterEnvMode, kAmpEnvMode,
                          kEnvelope3Mode, kEnvelope4Mode});
}

}  // namespace

// ---------------------------------------------------------------- first parameter-change handler

void Sorvanta::OnParamChange(int paramIdx) {
  UTIL_MutexLock lock(GetMutex());
  IParam* param = GetParam(paramIdx);
  if (!param) return;
  const double v = param->Value();
  // A change that may reach the librarian finds the whole library.
  if (constructionDone && changeMayReachLibrary(paramIdx, v)) awaitLibrary();
  int i = truncToInt(v);
  ControlAction* record = param->GetControlAction();
  // What the user or the host sets is what the synth is to get, also where it reads the same as a
  // byte of the synth's that the editor's value cannot hold. Before any dump job is started below.
  keepEditsInImage({paramIdx});
  if (constructionDone && isGlobalSetting(paramIdx)) globalsEdited = true;

  // First dispatch, before the display.
  if (isSectionSwitch(paramIdx)) {
    param->SetClamped(i);
    TabSwitchFunctions::quickTabSwitch(this, kQuickTab, currentPart, hardwareModel, false);
  } else if (handleTriggerButton(paramIdx, i)) {
    if (i == 0) return;
  } else if (inBlock(paramIdx, kFilterLinkSwitch)) {
    // The link switch carries the part's link mode on to the default road, and the part's
    // sound (which holds the link byte) goes to the synthesizer.
    i = i == 1 ? 3 : linkMode[currentPart];
    startPartSend(currentPart, false);
  } else if (handleFirstGroup(paramIdx, v, i)) {
    return;
  }

  if (GetGUI()) ControlDisplay::controlDisplay(this, paramIdx, v, resetPending);

  if (handleSecondGroup(paramIdx, v, i, record)) return;

  if (record) {
    processControlAction(record, paramIdx, v);
    LinkManager::controlLinker(this, record, record->linkInfo, paramIdx, i, v);
  }
}

bool Sorvanta::changeMayReachLibrary(int paramIdx, double value) const {
  const int shownTab = rootLayer ? rootLayer->getSelectedChildId() : truncToInt(paramValue(kMainTab));
  if (shownTab == 1) return true;
  if (paramIdx == kMainTab) return truncToInt(value) == 1;
  // The part switch shows the bank's entry names in library-names mode.
  if (paramIdx == kQuickTab) return libraryNamesMode;
  // The sounds' own parameters, the parts' mixer settings (their program and bank apart) and the
  // buttons that switch a sound parameter reach the synth and the pages, never the library.
  if (paramIdx < kMultiPartBank || (paramIdx >= kMultiPartStatus && paramIdx < kGlobalInitSound1)) return false;
  for (const Trigger& t : kTriggers)
    if (inBlock(paramIdx, t.trigger)) return false;
  return !inBlock(paramIdx, kTriggerFilterRouting) && !inBlock(paramIdx, kFilterRoutingSerial) &&
         !inBlock(paramIdx, kFilterRoutingParallel);
}

// Returns true when paramIdx is a trigger button (handled here).
bool Sorvanta::handleTriggerButton(int paramIdx, int i) {
  auto toggle = [this](int target) {
    IParam* t = GetParam(target);
    if (!t) return;
    const double next = t->Value() == 1.0 ? 0.0 : 1.0;
    t->SetClamped(next);
    OnParamChange(target);
    setParamFromPlug(target, next);
  };
  for (const Trigger& t : kTriggers) {
    if (!inBlock(paramIdx, t.trigger)) continue;
    if (i == 0) return true;
    toggle(paramIdx - t.difference);
    if (t.refreshTab) TabSwitchFunctions::quickTabSwitch(this, kQuickTab, currentPart, hardwareModel, false);
    return true;
  }
  if (inBlock(paramIdx, kTriggerFilterRouting)) {
    if (i == 0) return true;
    const int part = paramIdx - kTriggerFilterRouting;
    const bool toParallel = paramValue(kFilterRoutingParallel + part) == 0.0;
    IParam* parallel = GetParam(kFilterRoutingParallel + part);
    IParam* serial = GetParam(kFilterRoutingSerial + part);
    parallel->SetClamped(toParallel ? 1.0 : 0.0);
    setParamFromPlug(kFilterRoutingParallel + part, toParallel ? 1.0 : 0.0);
    serial->SetClamped(toParallel ? 0.0 : 1.0);
    OnParamChange(kFilterRoutingSerial + part);
    setParamFromPlug(kFilterRoutingSerial + part, toParallel ? 0.0 : 1.0);
    return true;
  }
  return false;
}

// The editor parameters handled before the display. Returns true when the handler ends.
bool Sorvanta::handleFirstGroup(int paramIdx, double v, int i) {
  (void)v;
  auto toggle = [this](int target) {
    IParam* t = GetParam(target);
    const double next = t->Value() == 1.0 ? 0.0 : 1.0;
    t->SetClamped(next);
    OnParamChange(target);
    setParamFromPlug(target, next);
  };
  if (inBlock(paramIdx, kFilterLinkTrigger)) {
    if (i == 0) return true;
    const int part = paramIdx - kFilterLinkTrigger;
    double next;
    if (paramValue(kFilterLinkSwitch + part) == 1.0) {
      setParamFromPlug(kFilterLinkValue + part, 1.0);
      linkMode[part] = 1;
      next = 0.0;
    } else {
      setParamFromPlug(kFilterLinkValue + part, 3.0);
      linkMode[part] = 3;
      next = 1.0;
    }
    GetParam(kFilterLinkSwitch + part)->SetClamped(next);
    OnParamChange(kFilterLinkSwitch + part);
    setParamFromPlug(kFilterLinkSwitch + part, next);
    return false;
  }
  switch (paramIdx) {
    case kKeepSelectedBank:
      keepSelectedBank = i != 0;
      return false;
    case kTriggerProgControl:
      if (i == 0) return true;
      toggle(kControlProgBank);
      return false;
    case kTriggerGlobalArpMidiOut:
      if (i == 0) return true;
      toggle(kGlobalArpSend);
      return false;
    case kTriggerGlobalLocalKBDControl:
      if (i == 0) return true;
      localControlOn = paramValue(kGlobalLocalControl) != 1.0;
      toggle(kGlobalLocalControl);
      return false;
    case kTriggerLibControl:
      if (i == 0) return true;
      libraryNamesMode = paramValue(kControlLibrary) != 1.0;
      toggle(kControlLibrary);
      return false;
    case kUserInterfaceSize: {
      if (!settingsFileAvailable()) return true;
      if (const char* word = EditorSettings::sizeWord(i)) {
        settingsLines[EditorSettings::kLineSize] = word;
        sizeFactor = EditorSettings::sizeFactorForIndex(i);
      }
      setParamFromPlug(kUserInterfaceSize, i);
      setStatusText("Size changes applied...");
      if (valueLine) valueLine->SetTextFromPlug("Reload project!");
      writeSettingsFile();
      return true;
    }
    case kUserInterfaceStyle: {
      if (!settingsFileAvailable()) return true;
      if (const char* word = EditorSettings::schemeWord(i)) settingsLines[EditorSettings::kLineScheme] = word;
      setStatusText("Color Scheme applied...");
      if (valueLine) valueLine->SetTextFromPlug("Reload project!");
      writeSettingsFile();
      return true;
    }
    case kTempoInformation:
      hostTempo = truncToInt(GetTempo());
      return false;
    case kFirstRunExit: {
      auto flashProgress = [this]() {
        DisplayProcessingIndicator(true);
        DisplayProcessingIndicator(false);
      };
      if (!firstRunShown) {
        if (ControlLayer* l = getLayer("bankPatchConflictWindow")) l->Hide(true);
        flashProgress();
        return true;
      }
      if (i == 0) return true;
      if (!settingsFileAvailable()) return true;
      if (i == 1) settingsLines[EditorSettings::kLineFirstRunDone] = "yes";
      // What is still to do, by the ports really open (they may have been chosen behind it).
      setStatusText(portsStillToSet());
      writeSettingsFile();
      if (ControlLayer* l = getLayer("firstRunNotification")) l->Hide(true);
      firstRunShown = false;
      flashProgress();
      return true;
    }
    default:
      break;
  }
  if (inBlock(paramIdx, kCurrentPatchBank)) {
    if (keepSelectedBank) return false;
    setParamFromPlug(kPatchSelectionListUpper, i);
    GetParam(kCurrentPatchBank + currentPart)->SetClamped(i);
    if (librarian) {
      librarian->upperSelection = i;
      UTIL_MutexLock guard(&librarian->bankLock());
      if (i >= 0 && i < static_cast<int>(librarian->soundBankFiles.size()) && librarian->soundBankFiles[static_cast<size_t>(i)]) {
        upperBankFile[0] = librarian->soundBankFiles[static_cast<size_t>(i)]->fileName;
        upperBankFolder[0] = librarian->soundBankFiles[static_cast<size_t>(i)]->folderName;
      }
    }
    refreshPopUpMenus();
    updatePatchLibrarianView(0);
    return true;
  }
  const bool lowerStep = paramIdx == kLibLowerPreviousBank || paramIdx == kLibLowerNextBank;
  const bool upperStep = paramIdx == kLibUpperPreviousBank || paramIdx == kLibUpperNextBank;
  if (lowerStep || upperStep) {
    if (i != 1) return false;
    if (upperStep && paramValue(kBankEditUnsaved) == 1.0) {
      setStatusText("Save bank or Discard changes!");
      return true;
    }
    const int list = upperStep ? kPatchSelectionListUpper : kPatchSelectionListLower;
    const bool next = paramIdx == kLibLowerNextBank || paramIdx == kLibUpperNextBank;
    const int max = truncToInt(GetParam(list)->GetMax());
    int index = truncToInt(paramValue(list));
    if (next)
      index = index + 1 > max ? 0 : index + 1;
    else
      index = index - 1 < 0 ? max : index - 1;
    setParamFromPlug(list, index);
    if (multiMode)
      setParamFromPlug(upperStep ? kCurrentOpenPerfBankL : kCurrentOpenPerfBankR, index);
    else
      setParamFromPlug((upperStep ? kCurrentOpenPatchBankL : kCurrentOpenPatchBankR) + currentPart, index);
    // As a choice in the list itself: the new bank's names are remembered first, then its menu
    // is refreshed with them, so the check mark moves to the new bank.
    handleLibrarianParam(list);
    if (upperStep) updateBankAndProgramMenuNames(false);
    return true;
  }
  return false;
}

// The second dispatch, after the display. Returns true when the handler ends (no default road).
bool Sorvanta::handleSecondGroup(int paramIdx, double v, int i, ControlAction* record) {
  (void)v;
  auto hideLayer = [this](const char* name, bool hidden) {
    if (ControlLayer* l = getLayer(name)) l->Hide(hidden);
  };
  auto gray = [this](int param, bool g) {
    if (IControl* c = mainControl(param)) c->GrayOut(g);
  };
  auto flashProgress = [this]() {
    for (bool hidden : {false, true}) {
      if (progressIndicator) progressIndicator->Hide(hidden);
      if (progressLayer) progressLayer->Hide(hidden);
    }
  };
  auto effectsPage = [this]() -> ControlLayer* {
    if (!effectsArpLayer) return nullptr;
    const int idx = effectsArpLayer->getSelectedChildId();
    return idx >= 0 && idx < effectsArpLayer->layers.GetSize() ? effectsArpLayer->layers.Get(idx) : nullptr;
  };
  const bool rootShowsEffects = rootLayer && rootLayer->getSelectedChildId() == 5;

  // Library names and device programs exclude each other: switching one on switches the other off.
  if (paramIdx == kControlLibrary || paramIdx == kControlProgBank) {
    if (i == 1) setParamFromPlug(paramIdx == kControlLibrary ? kControlProgBank : kControlLibrary, 0);
    applyProgramModeSwitches();
    updateBankAndProgramMenuNames(false);
    return false;
  }
  if (paramIdx == kMasterKeyboard) {
    masterKeyboard = i == 1;
    return false;
  }
  if (inBlock(paramIdx, kEffect1Mode)) {
    if (rootShowsEffects)
      if (ControlLayer* page = effectsPage()) {
        page->showMultiLayers(i + 10);
        if (i == 0) page->GrayOutCustomZone(true, 10);
      }
    return false;
  }
  if (inBlock(paramIdx, kEffect2Mode)) {
    if (rootShowsEffects) {
      hideLayer("delayFreeLayer", true);
      hideLayer("delayClockedLayer", true);
      if (ControlLayer* page = effectsPage()) {
        page->showMultiLayers(i + 300);
        if (i == 0) page->GrayOutCustomZone(true, 300);
      }
      if (i == 7) {
        const int link = truncToInt(paramValue(kGlobalFX2Link));
        const int k = link == 0 ? 0 : link - 1;
        if (k >= 0 && k < kNumParts) {
          ControlLayer* delay = getLayer(paramValue(kFX2DelayClocked + k) == 1.0 ? "delayClockedLayer" : "delayFreeLayer");
          if (delay) {
            delay->Hide(false);
            if (k < delay->layers.GetSize())
              if (ControlLayer* child = delay->layers.Get(k)) {
                child->showMultiLayers(307);
                child->GrayOutCustomZone(k != currentPart, 307);
              }
          }
        }
      }
    }
    return false;
  }
  if (paramIdx == kGlobalFX2Link) {
    OnParamChange(kMainTab);
    return false;
  }
  if (const int part = envelopePart(paramIdx); part >= 0) {
    startPartSend(part, false);
    return true;
  }
  if (paramIdx == kGlobalSysExID) {
    // The synth hears its new id only at the one it answers at now, and is then asked at the new
    // one; until it answers there the id does not count as changed (the engine's check puts the
    // old one back). The bound control's own message would go to the new id: it only moves the
    // controls here. Everything here is written before the check starts: the check may end, and
    // put the old id back, before this thread runs another line.
    const int from = deviceId;
    deviceId = i;
    GetParam(kDeviceID_old)->SetClamped(i);
    if (record) {
      noSend = true;
      processControlAction(record, paramIdx, v);
      noSend = false;
    }
    if (midiIOSet && midiManager) midiManager->changeDeviceId(from, i);
    return true;
  }
  if (paramIdx == kRandomize) {
    if (i == 1 && paramValue(kMainTab) > 0) randomizeCurrentPart();
    return true;
  }
  if (paramIdx == kPatchRename) {
    // The slot grid applies the edited name to its selected slot while a rename is armed.
    handleLibrarianParam(kPatchRename);
    hideLayer("patchRename", true);
    return false;
  }
  if (paramIdx == kPatchSelectionListUpper || paramIdx == kPatchSelectionListLower) {
    handleLibrarianParam(paramIdx);
    return false;
  }
  if (inBlock(paramIdx, kPatchName) || inBlock(paramIdx, kCategoryName)) {
    const int part = partInBlocks(paramIdx, {kPatchName, kCategoryName});
    AllSoundsOff(part, false);
    disarmLibrarianSoundRequest();
    startPartSend(part, false);
    return false;
  }
  switch (paramIdx) {
    case kPushArrangement:
      if (i == 1) pushArrangement();
      return false;
    case kRequestTempData:
      if (i == 1) requestArrangement();
      return false;
    case kGlobalLocalControl:
      localControlOn = i == 1;
      return false;
    case kMultiName:
      // The multi and the current part only: the synth's global settings and the other parts
      // are not touched by a rename.
      disarmLibrarianSoundRequest();
      sendAllParts = false;
      sendGlobalWithMulti = false;
      AllSoundsOff(0, true);
      startArrangementSend();
      return false;
    default:
      break;
  }
  if (inBlock(paramIdx, kPatchUp) || inBlock(paramIdx, kPatchDown)) {
    const int part = partInBlocks(paramIdx, {kPatchUp, kPatchDown});
    if (multiMode) setStatusText("Disable Multi Mode first");
    if (i == 1) {
      if (paramValue(kPartLock + part) == 1.0) return true;
      const bool up = inBlock(paramIdx, kPatchUp);
      auto step = [up](int program) { return up ? (program >= 99 ? 0 : program + 1) : (program <= 0 ? 99 : program - 1); };
      if (libraryNamesMode) {
        const int program = step(librarian ? librarian->selectedSlot.load() : bankChangeProgram.load());
        if (librarian) librarian->selectedSlot = program;
        setParamFromPlug(kMultiPartPatch + part, program);
        bankChangeProgram = program;
        sendPatchToDeviceFromLibrarian(program, multiMode ? 1 : 0, part);
      } else if (paramValue(kGlobalRxProgramChange) <= 0) {
        setStatusText("Program Change Disabled.");
      } else {
        // From the program the part plays: the last bank change sent for it, a program change
        // from the synth, or the multi received from it. In multi mode, from the multi's.
        const int program = step(multiMode ? bankChangeProgram.load() : partProgram[part].load());
        bankChangeProgram = program;
        setParamFromPlug(multiMode ? kMultiPatch : kMultiPartPatch + part, program);
        if (librarian) librarian->selectedSlot = program;
        if (!multiMode && oweProgram(part, program)) {
          // The synth is away: selected there, and its sound fetched, once it is back. The next
          // step counts on from this one.
          partProgram[part] = program;
          setStatusText(kProgramHeldText);
        } else if (BankChangeMessage(part) && deviceProgramMode) {
          SetLibrarianRequestActive(false);
          requestPart(part);
          sendPartDataBackToHardware(part);
        }
      }
    }
    refreshProgramNumberMenu(bankChangeProgram);
    OnParamChange(kMainTab);
    return true;
  }
  if (paramIdx >= kMIDIFilterDAWCCPassThrough && paramIdx <= kMIDIFilterDAWSEPassThrough) {
    hostBlockFlags[paramIdx - kMIDIFilterDAWCCPassThrough] = i != 1;
    return false;
  }
  if (paramIdx >= kMIDIFilterHWCCPassThrough && paramIdx <= kMIDIFilterHWSEPassThrough) {
    deviceBlockFlags[paramIdx - kMIDIFilterHWCCPassThrough] = i != 1;
    return false;
  }
  switch (paramIdx) {
    case kMIDIFilterTrackIncomingMIDI:
      trackIncomingMIDI = i == 1;
      return false;
    case kMIDIFilterDirectToHardware:
      if (i == 1) {
        setParamFromPlug(kMIDIFilterToDAWBuffer, 0);
        routeViaQueue = false;
      }
      return false;
    case kMIDIFilterToDAWBuffer:
      if (i == 1) {
        setParamFromPlug(kMIDIFilterDirectToHardware, 0);
        routeViaQueue = true;
      }
      return false;
    case kSendMIDIClockPointer:
      clockStartStopEnabled = i == 1;
      return false;
    case kSendMIDIClockInfo:
      applyClockSwitch(i == 1);
      return false;
    case kOverwriteBank:
      // The part's sound goes into the librarian's selected slot, not to the synth.
      if (i == 1 && !multiMode && librarianReadyToReceive()) {
        sendAllParts = false;
        startPartSend(currentPart, true);
      }
      return false;
    case kPatchSearchString: {
      IParam* p = GetParam(kPatchSearchString);
      const std::string text = p->GetDisplayText(0);
      if (text.empty()) {
        searchMode = false;
        p->SetDisplayText(0, "search...");
        hideLayer("LOWERPOPUPMENU", false);
      } else if (text.size() == 1) {
        p->SetDisplayText(0, "search...");
        setStatusText("Enter 2 digits or more!");
      } else if (!searchMode) {
        searchMode = true;
        hideLayer("LOWERPOPUPMENU", true);
        bool found = false;
        if (librarian) {
          librarian->createNewSearchPatchFiles(text);
          UTIL_MutexLock guard(&librarian->bankLock());
          found = !librarian->searchBankFiles.empty();
        }
        if (found) {
          patchTypeChanged(0, 4, false);
          hideLayer("RightSearchPopupMenu", false);
        } else {
          setStatusText("No results - Try another keyword!");
          if (valueLine) valueLine->SetTextFromPlug("Letter size matters!");
          p->SetDisplayText(0, "search...");
        }
      }
      return false;
    }
    case kPatchSearch:
      if (i == 1) {
        hideLayer("categoryLimit", true);
        gray(kDatatype, true);
        hideLayer("searchField", false);
      } else {
        searchMode = false;
        GetParam(kPatchSearchString)->SetDisplayText(0, "search...");
        hideLayer("categoryLimit", false);
        gray(kDatatype, false);
        hideLayer("searchField", true);
        patchTypeChanged(0, 0, false);
        hideLayer("LOWERPOPUPMENU", false);
        hideLayer("RightSearchPopupMenu", true);
      }
      return false;
    case kAdjustDAWOffset:
      queueSpan = 2 * i + GetBlockSize();
      return false;
    case kCategorySelection:
      hideLayer("RightSearchPopupMenu", true);
      hideLayer("RightPatchPopupMenu", true);
      hideLayer("LOWERPOPUPMENU", true);
      if (i >= 1) {
        categoryMode = true;
        patchTypeChanged(0, 1, false);
        hideLayer("RightPatchPopupMenu", false);
        gray(kPatchSearch, true);
        gray(kDatatype, true);
      } else {
        categoryMode = false;
        patchTypeChanged(0, 0, false);
        hideLayer("LOWERPOPUPMENU", false);
        gray(kPatchSearch, false);
        gray(kDatatype, false);
      }
      return false;
    case kViewMIDIFilterSettings:
      if (i == 1) {
        hideLayer("midiFilterSettings", false);
      } else {
        hideLayer("midiFilterSettings", true);
        flashProgress();
      }
      return false;
    case kDeviceOutSelection:
    case kDeviceInSelection:
      handleDeviceSelection(paramIdx, i);
      return true;
    case kDisplayAboutWindow:
      if (i != 0) hideLayer("aboutWindow", false);
      return false;
    case kExitAboutWindow:
      if (i != 0) {
        hideLayer("aboutWindow", true);
        flashProgress();
      }
      return false;
    case kDiscardBankData:
      if (i == 1) {
        DisplayProcessingIndicator(true);
        hideLayer("discardChangesLayerRight", true);
        hideLayer("keepBankOpenLayer", false);
        lockDataType(false);
        hideLayer("patchRename", true);
        GetParam(kBankEditUnsaved)->SetClamped(0);
        hideLayer(multiMode ? "LeftPerformancePopupMenu" : "UPPERPOPUPMENU", false);
        OnParamChange(kRefreshFolders);
        DisplayProcessingIndicator(false);
      }
      return false;
    case kMultiSettings:
      TabSwitchFunctions::mainTabSwitch(this, kMultiSettings, 0, hardwareModel, currentPart);
      return false;
    case kDatatype:
      for (const char* name : {"UPPERPOPUPMENU", "LOWERPOPUPMENU", "LeftPerformancePopupMenu", "RightPerformancePopupMenu",
                               "RightPatchPopupMenu", "RightSearchPopupMenu", "categoryLimit"})
        hideLayer(name, true);
      gray(kPatchSearch, true);
      if (i == 1) {
        multiMode = true;
        patchTypeChanged(1, 2, false);
        hideLayer("LeftPerformancePopupMenu", false);
        hideLayer("RightPerformancePopupMenu", false);
      } else {
        multiMode = false;
        hideLayer("UPPERPOPUPMENU", false);
        if (categoryMode) {
          patchTypeChanged(0, 1, false);
          hideLayer("RightPatchPopupMenu", false);
        } else if (searchMode) {
          gray(kPatchSearch, false);
          patchTypeChanged(0, 4, false);
          hideLayer("RightSearchPopupMenu", false);
        } else {
          gray(kPatchSearch, false);
          patchTypeChanged(0, 0, false);
          hideLayer("LOWERPOPUPMENU", false);
        }
        hideLayer("categoryLimit", false);
      }
      refreshBankEditMenu();
      updateBankAndProgramMenuNames(true);
      return false;
    case kRefreshFolders:
      if (multiMode)
        patchTypeChanged(1, 2, true);
      else if (categoryMode)
        patchTypeChanged(0, 1, true);
      else if (searchMode)
        patchTypeChanged(0, 4, true);
      else
        patchTypeChanged(0, 0, true);
      return false;
    case kCancelDataRequest:
      if (i == 1) cancelDataRequest();
      return false;
    case kMainTab:
      if (i == 1) refreshBankEditMenu();
      TabSwitchFunctions::mainTabSwitch(this, kMainTab, i, hardwareModel, currentPart);
      return false;
    case kQuickTab:
      if (i >= 0 && i < kNumParts) currentPart = i;
      TabSwitchFunctions::quickTabSwitch(this, kQuickTab, i, hardwareModel, sendOnPartSwitch);
      updateBankAndProgramMenuNames(false);
      return false;
    default:
      return false;
  }
}

void Sorvanta::handleDeviceSelection(int paramIdx, int i) {
  const bool output = paramIdx == kDeviceOutSelection;
  // The port name is the display text of the chosen entry of the selection list.
  IParam* list = GetParam(paramIdx);
  if (IControl* c = mainControl(paramIdx))
    if (IParam* shown = GetParam(c->ParamIdx())) list = shown;
  const std::string name = list->GetDisplayText(truncToInt(paramValue(paramIdx)));
  int index = i;
  if (output) {
    setExternalMIDIOut(index, name.c_str());
    mMidiOutIndex = index;
  } else {
    setExternalMIDIIn(index, name.c_str());
    mMidiInIndex = index;
  }
  afterPortChange(output, index);
  if (i > 0 && index == 0) {  // listed, but it would not open: nothing is set, nothing stored
    setStatusText(output ? "MIDI Out could not be opened!" : "MIDI In could not be opened!");
    if (valueLine) valueLine->SetTextFromPlug(portsStillToSet());
    return;
  }
  if (!settingsFileAvailable()) return;
  if (index > 0) settingsLines[output ? EditorSettings::kLineMidiOut : EditorSettings::kLineMidiIn] = name;
  // Closing sets no default: the stored port stays the one the next start opens.
  if (index > 0) setStatusText(output ? "Default MIDI output set." : "Default MIDI input set.");
  else setStatusText(output ? "MIDI Out closed." : "MIDI In closed.");
  if (valueLine) valueLine->SetTextFromPlug(portsStillToSet());
  writeSettingsFile();
}

void Sorvanta::applyProgramModeSwitches() {
  const bool device = paramValue(kControlProgBank) == 1.0;
  const bool library = !device && paramValue(kControlLibrary) == 1.0;
  if (device && paramValue(kControlLibrary) != 0.0) setParamFromPlug(kControlLibrary, 0);
  libraryNamesMode = library;
  librarianProgramMode = library;
  deviceProgramMode = device;
  requestAfterProgramChange = device;
}

void Sorvanta::applySwitchEffects() {
  applyProgramModeSwitches();
  masterKeyboard = paramValue(kMasterKeyboard) == 1.0;
  localControlOn = paramValue(kGlobalLocalControl) == 1.0;
  keepSelectedBank = paramValue(kKeepSelectedBank) != 0.0;
  syncMidiFilterMirrors();
}

void Sorvanta::applyClockSwitch(bool on) {
  if (on) {
    OnParamChange(kTempoInformation);
    clockEnabled = true;
    resetContinuousClock(false);
    continuousClockStarted = false;
  } else {
    clockEnabled = false;
    continuousClockStarted = false;
    resetContinuousClock(true);
  }
}

void Sorvanta::randomizeCurrentPart() {
  const int part = currentPart;
  PartRandomizer::randomGenerator(randomValues, static_cast<unsigned>(time(nullptr)));
  std::vector<int> randomized;
  PartRandomizer::randomizePatchSettings(this, randomValues, part, [this, &randomized](int number, double value) {
    setParamFromPlug(number, value);
    randomized.push_back(number);
  });
  keepEditsInImage(randomized);
  TabSwitchFunctions::mainTabSwitch(this, kRandomize, truncToInt(paramValue(kMainTab)), hardwareModel, part);
  setParamFromPlug(kRandomize, 0.0);
  // Without an output the dump and the request that reads it back could only time out.
  if (!midiIOSet) {
    setStatusText("Set MIDI I/O First!");
    return;
  }
  AllSoundsOff(part, false);
  startPartSend(part, false);
  setStatusText("Part Randomized");
  partRequestPending = true;
}

bool Sorvanta::startPartSend(int part, bool toLibrarian) {
  if (!midiManager) return false;
  JobRecord r;
  r.code = 2;
  r.part = std::clamp(part, 0, kNumParts - 1);
  r.toLibrarian = toLibrarian;
  MIDIMessageManager* m = midiManager;
  return m->startJob(r, [m] { m->partSendBusy = true; });
}

bool Sorvanta::startArrangementSend() {
  if (!midiManager) return false;
  JobRecord r;
  r.code = 0;
  MIDIMessageManager* m = midiManager;
  return m->startJob(r, [m] { m->partSendBusy = true; });
}

void Sorvanta::keepEditsInImage(const std::vector<int>& params) {
  if (midiManager) midiManager->keepEdits(params);
}

void Sorvanta::disarmLibrarianSoundRequest() {
  if (midiManager) midiManager->patchRequest.armed = false;
}

// ---------------------------------------------------------------- second parameter-change handler

void Sorvanta::OnParamChange2(int paramIdx) {
  UTIL_MutexLock lock(GetMutex());
  IParam* param = GetParam(paramIdx);
  if (!param) return;
  hardwareChangeActive = true;
  noSend = true;
  const double v = param->Value();
  const int i = truncToInt(v);
  ControlDisplay::controlDisplay(this, paramIdx, v, hostTransportRunning);
  if (paramIdx == kQuickTab) TabSwitchFunctions::quickTabSwitch(this, kQuickTab, i, hardwareModel, false);
  ControlAction* record = param->GetControlAction();
  if (record && !linking) {
    processControlAction(record, paramIdx, v);
    noSend = false;
    LinkManager::controlLinker(this, record, record->linkInfo, paramIdx, i, v);
  }
  noSend = false;
  hardwareChangeActive = false;
}
