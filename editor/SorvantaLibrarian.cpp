// The librarian user interface's part of the plug-in class: its menus and their layers, the
// display glue that refreshes them and the grid, the list-kind switch, the import panel, and the
// editor's side of LibrarianUIHost (the engine's side is in SorvantaLibrarianEngine.cpp).
//
// Threads: the parameter-change handlers call in on whatever thread made the change (the MIDI
// input's, a sender job's among them), and the SysEx dispatcher refreshes the grid after it stored
// a received dump. Whatever rebuilds a menu or shows a layer therefore runs on the window's thread
// (onWindowThread); setLibrarianViewDirty only marks the view, which any thread may.
#include <algorithm>
#include <mutex>

#include "ControlLayer.h"
#include "EditorLog.h"
#include "IGraphics.h"
#include "IParam.h"
#include "LibrarianLog.h"
#include "LibrarianMenus.h"
#include "LibrarianSelection.h"
#include "LibrarianView.h"
#include "LibrarianViewBridge.h"
#include "Sorvanta.h"
#include "UIConfigManager.h"

namespace {

// Where the librarian's diagnostics go: the editor's log file while its debug log is on, nowhere
// otherwise (a library of thousands of banks would print and flush a line per file). One sink
// serves the process; the editor made last sets it. The path is never destroyed: a closed
// editor's load thread may still log while the process ends.
std::mutex g_librarianLogLock;
std::string& g_librarianLogPath = *new std::string;

void librarianLineToLog(const std::string& line) {
  std::string path;
  {
    std::lock_guard<std::mutex> lock(g_librarianLogLock);
    path = g_librarianLogPath;
  }
  if (!path.empty()) DebuggerOutput::printDebugInfo(path, line);
}

int paramInt(const Sorvanta* p, int paramIdx) {
  const IParam* param = p->GetParam(paramIdx);
  return param ? param->Int() : 0;
}

// The names a bank selection menu compares: file name and holding folder.
LibrarianBankName namesOf(const PatchFile* f) { return LibrarianBankName{f->fileName, f->folderName}; }

}  // namespace

// ---------------------------------------------------------------- the editor's side of the host

bool SorvantaLibrarianBridge::multiMode() const { return p->multiMode; }
bool SorvantaLibrarianBridge::categoryView() const { return p->categoryMode; }
bool SorvantaLibrarianBridge::searchView() const { return p->searchMode; }
bool SorvantaLibrarianBridge::libraryNamesMode() const { return p->libraryNamesMode; }
bool SorvantaLibrarianBridge::deviceRequestMode() const { return p->deviceProgramMode; }
int SorvantaLibrarianBridge::currentPart() const { return std::clamp(p->currentPart.load(), 0, kNumParts - 1); }
bool SorvantaLibrarianBridge::midiIOSet() const { return p->midiIOSet; }
bool SorvantaLibrarianBridge::debugLog() const { return p->debugLogOn; }
void SorvantaLibrarianBridge::log(const std::string& line) { p->log(line); }
void SorvantaLibrarianBridge::showStatus(const std::string& text) { p->setStatusText(text); }
void SorvantaLibrarianBridge::setRenameArmed(bool armed) { p->renameArmed = armed; }

LibrarianBankName SorvantaLibrarianBridge::bankName(LibrarianBankRecord which) const {
  switch (which) {
    case LibrarianBankRecord::kUpperSound: return {p->upperBankFile[0], p->upperBankFolder[0]};
    case LibrarianBankRecord::kUpperMulti: return {p->upperBankFile[1], p->upperBankFolder[1]};
    case LibrarianBankRecord::kLowerBank: return {p->lowerBankFile[0], p->lowerBankFolder[0]};
    case LibrarianBankRecord::kLowerMulti: return {p->lowerBankFile[1], p->lowerBankFolder[1]};
  }
  return {};
}

void SorvantaLibrarianBridge::setBankName(LibrarianBankRecord which, const LibrarianBankName& name) {
  switch (which) {
    case LibrarianBankRecord::kUpperSound: p->setUpperBankRecord(false, name.fileName, name.folderName); break;
    case LibrarianBankRecord::kUpperMulti: p->setUpperBankRecord(true, name.fileName, name.folderName); break;
    case LibrarianBankRecord::kLowerBank:
      p->lowerBankFile[0] = name.fileName;
      p->lowerBankFolder[0] = name.folderName;
      break;
    case LibrarianBankRecord::kLowerMulti:
      p->lowerBankFile[1] = name.fileName;
      p->lowerBankFolder[1] = name.folderName;
      break;
  }
}

ControlLayer* SorvantaLibrarianBridge::layer(const std::string& name) { return p->getLayer(name); }
LibrarianViewControl* SorvantaLibrarianBridge::librarianView() { return p->libView(); }
std::string SorvantaLibrarianBridge::patchesFolder() const { return p->getPatchesFolderStr(); }
std::string SorvantaLibrarianBridge::fileDialogFolder() const { return p->fileDialogFolder; }
void SorvantaLibrarianBridge::refreshPopUpMenus() { p->refreshPopUpMenus(); }
void SorvantaLibrarianBridge::updateBankAndProgramMenuNames(bool keep) { p->updateBankAndProgramMenuNames(keep); }
void SorvantaLibrarianBridge::showFileEditMenu(int x, int y) { p->showFileEditMenu(x, y); }
void SorvantaLibrarianBridge::showFileCopyMenu(int x, int y) { p->showFileCopyMenu(x, y); }
void SorvantaLibrarianBridge::openDataDirectory() { p->OpenDataDirectory(); }

// ---------------------------------------------------------------- construction and tear-down

SorvantaLibrarianBridge* Sorvanta::librarianBridge() {
  if (!libBridge) libBridge = new SorvantaLibrarianBridge(this);
  return libBridge;
}

IControl* Sorvanta::makeLibrarianView(IPluginBase* plug, int x, int y, int paramIdx, IBitmap* bitmap,
                                      IRECT targetArea, PatchLibrarian* librarian, double scale) {
  Sorvanta* editor = dynamic_cast<Sorvanta*>(plug);
  return new LibrarianViewControl(plug, editor ? editor->librarianBridge() : nullptr, x, y, paramIdx, bitmap,
                                  targetArea, librarian, scale);
}

LibrarianViewControl* Sorvanta::libView() const {
  IControl* view = librarianView ? librarianView : (uiConfig ? uiConfig->librarianView : nullptr);
  return dynamic_cast<LibrarianViewControl*>(view);
}

void Sorvanta::routeLibrarianLog() {
  {
    std::lock_guard<std::mutex> lock(g_librarianLogLock);
    g_librarianLogPath = debugLogOn ? logFilePath : std::string();
  }
  setLibrarianLogSink(&librarianLineToLog);
}

void Sorvanta::adoptFirstBankNames() {
  LibrarianUIHost* host = librarianBridge();
  // The current banks start as the first sound bank, for the upper and the lower grid.
  UTIL_MutexLock lock(&librarian->bankLock());
  if (!librarian->soundBankFiles.empty()) {
    const LibrarianBankName first = namesOf(librarian->soundBankFiles.front());
    if (upperBankFile[0].empty()) host->setBankName(LibrarianBankRecord::kUpperSound, first);
    if (lowerBankFile[0].empty()) host->setBankName(LibrarianBankRecord::kLowerBank, first);
  }
}

void Sorvanta::awaitLibrary() {
  if (libraryInPlace || !librarian) return;
  UTIL_MutexLock lock(GetMutex());
  if (libraryInPlace) return;
  librarian->waitForLoad();
  libraryInPlace = true;
  log("PATCH LIBRARIAN COMPLETED FILE LOADING...");
  // What the constructor does with the library, in its order: the current banks' names, the two
  // selection lists and every bank menu as it was made (the window shows both: they change on
  // its thread), the lists' controls, the grids.
  if (GetGUI()) adoptFirstBankNames();
  onWindowThread(kLibraryInPlace, [this] {
    buildBankSelectionList(kPatchSelectionListUpper, "Bank Selection List 1", 0);
    buildBankSelectionList(kPatchSelectionListLower, "Bank Selection List 2", 1);
    for (LibrarianBankMenu* menu : std::initializer_list<LibrarianBankMenu*>{
             leftPatchMenu, rightPatchMenu, leftPerfMenu, rightPerfMenu, categoryMenu, searchMenu, perfBankNameMenu,
             progBankNameMenu})
      if (menu) menu->rebuildAsMade();
  });
  if (!GetGUI()) return;
  for (int list : {kPatchSelectionListUpper, kPatchSelectionListLower})
    if (IControl* c = mainControl(list)) c->SetValueFromPlug(0.0);
  updatePatchLibrarianView(2);
  const std::string status = librarian->takeLoadStatus();
  if (!status.empty()) showLibrarianStatus(status, std::string(), std::string());
}

void Sorvanta::initLibrarianUI() {
  IGraphics* graphics = GetGUI();
  if (!graphics || !librarian) return;
  LibrarianUIHost* host = librarianBridge();
  adoptFirstBankNames();
  const double f = sizeFactor;
  auto rect = [f](int l, int t, int r, int b) {
    return IRECT(static_cast<int>(l * f), static_cast<int>(t * f), static_cast<int>(r * f), static_cast<int>(b * f));
  };
  auto place = [&](int id, const char* name, IControl* control, bool hidden) {
    ControlLayer* layer = new ControlLayer(id, name);
    layer->AddControl(control);
    graphics->AttachLayer(layer);
    layer->Hide(hidden);
    // Registered by name so the editor core's tab and data-type switches find them.
    if (uiConfig) uiConfig->layerMap[name] = layer;
  };
  const IRECT upperList = rect(394, 188, 810, 207), lowerList = rect(394, 461, 810, 480);
  const IRECT bankNumber = rect(1142, 60, 1180, 84);
  // Under the upper bank menus on the librarian page: says why they stay shut while edits are
  // unsaved.
  if (ControlLayer* page = getLayer("patchLibrarian")) page->AddControl(new UnsavedBankNotice(this, upperList, host));
  place(70, "UPPERPOPUPMENU", leftPatchMenu = new LeftPatchPopupMenu(this, librarian, upperList, host), true);
  place(71, "LOWERPOPUPMENU", rightPatchMenu = new RightPatchPopupMenu(this, librarian, lowerList, host), true);
  place(72, "LeftPerformancePopupMenu", leftPerfMenu = new LeftPerfPopupMenu(this, librarian, upperList, host), true);
  place(73, "RightPerformancePopupMenu", rightPerfMenu = new RightPerfPopupMenu(this, librarian, lowerList, host),
        true);
  place(74, "BANKEDITMENU", bankEditMenu = new BankEditPopupMenu(this, librarian, rect(839, 187, 916, 205), host),
        true);
  place(75, "RightPatchPopupMenu", categoryMenu = new RightCategoryPopupMenu(this, librarian, lowerList, host), true);
  place(76, "PROGRAMNUMBERMENU",
        programNumberMenu = new ProgramNumberPopupMenu(this, librarian, rect(1184, 60, 1229, 84), host), false);
  place(77, "BANKNUMBERMENUPROGRAMS", bankNumberMenu = new BankNumberPopupMenu(this, librarian, bankNumber, host),
        false);
  place(78, "RightSearchPopupMenu", searchMenu = new RightSearchPopupMenu(this, librarian, lowerList, host), true);
  place(79, "PERFBANKNAMEMENUPROGRAMS",
        perfBankNameMenu = new PerfBankNamePopupMenu(this, librarian, bankNumber, host), true);
  place(80, "PROGBANKNAMEMENUPROGRAMS",
        progBankNameMenu = new ProgBankNamePopupMenu(this, librarian, bankNumber, host), true);
}

void Sorvanta::onWindowThread(int what, std::function<void()> work, const void* owner) {
  if (IGraphics* graphics = GetGUI()) {
    graphics->RunOnWindowThread(owner ? owner : this, what, std::move(work));
  } else {
    UTIL_MutexLock lock(GetMutex());
    work();
  }
}

void Sorvanta::dropWindowWork() {
  // Under the plug-in's lock: a run of the queue that has begun ends first.
  UTIL_MutexLock lock(GetMutex());
  if (IGraphics* graphics = GetGUI()) graphics->DropWindowWork(nullptr);
}

void Sorvanta::shutdownLibrarianUI() {
  // The menus on layers go with the graphics object; these two are attached nowhere.
  delete fileEditMenu;
  fileEditMenu = nullptr;
  delete fileCopyMenu;
  fileCopyMenu = nullptr;
  leftPatchMenu = nullptr;
  rightPatchMenu = nullptr;
  leftPerfMenu = nullptr;
  rightPerfMenu = nullptr;
  categoryMenu = nullptr;
  searchMenu = nullptr;
  progBankNameMenu = nullptr;
  perfBankNameMenu = nullptr;
  programNumberMenu = nullptr;
  bankNumberMenu = nullptr;
  bankEditMenu = nullptr;
  // Controls still alive (the view, until the graphics object goes) keep a pointer to the host,
  // but nothing calls them any more: the window is closed before the plug-in is deleted.
  delete libBridge;
  libBridge = nullptr;
}

// ---------------------------------------------------------------- display glue

void Sorvanta::refreshPopUpMenus() {
  onWindowThread(kRefreshMenus, [this] {
    if (multiMode) {
      if (leftPerfMenu) leftPerfMenu->refreshFolderStructure(0, upperBankFile[1], upperBankFolder[1]);
      if (rightPerfMenu) rightPerfMenu->refreshFolderStructure(0, lowerBankFile[1], lowerBankFolder[1]);
      // The bank-name menu follows a reloaded library too, so it never offers a bank that is gone.
      if (perfBankNameMenu && librarian)
        perfBankNameMenu->refreshPatchNames(librarian->upperSelection, upperBankFile[1], upperBankFolder[1]);
    } else {
      if (leftPatchMenu) leftPatchMenu->refreshFolderStructure(0, upperBankFile[0], upperBankFolder[0]);
      if (categoryMode) {
        if (categoryMenu) categoryMenu->refreshFolderStructure(0, lowerBankFile[0], lowerBankFolder[0]);
      } else if (searchMode) {
        if (searchMenu) searchMenu->refreshFolderStructure(0, lowerBankFile[0], lowerBankFolder[0]);
      } else if (rightPatchMenu) {
        rightPatchMenu->refreshFolderStructure(0, lowerBankFile[0], lowerBankFolder[0]);
      }
      if (progBankNameMenu && librarian)
        progBankNameMenu->refreshPatchNames(librarian->upperSelection, upperBankFile[0], upperBankFolder[0]);
    }
    // The grids repaint what their refill changed.
    if (LibrarianViewControl* view = libView()) {
      view->patchSelectionUpperChanged();
      view->patchSelectionLowerChanged();
    }
  });
}

void Sorvanta::updatePatchLibrarianView(int which) {
  if (which < 0 || which > 2) return;
  onWindowThread(kRefillGrids + which, [this, which] {
    LibrarianViewControl* view = libView();
    if (!view) return;
    if (which != 1) view->patchSelectionUpperChanged();
    if (which != 0) view->patchSelectionLowerChanged();
  });
}

void Sorvanta::librarianBankContentsChanged() {
  onWindowThread(kBankContents, [this] {
    if (LibrarianViewControl* view = libView()) view->bankContentsChanged();
  });
}

void Sorvanta::setLibrarianViewDirty() {
  if (LibrarianViewControl* view = libView()) view->SetDirty(false);
}

void Sorvanta::updateBankAndProgramMenuNames(bool keepBankMenu) {
  onWindowThread(kProgramMenus + keepBankMenu, [this, keepBankMenu] {
    for (const char* name : {"BANKNUMBERMENUPROGRAMS", "PERFBANKNAMEMENUPROGRAMS", "PROGBANKNAMEMENUPROGRAMS"})
      if (ControlLayer* l = getLayer(name)) l->Hide(true);
    const int part = std::clamp(currentPart.load(), 0, kNumParts - 1);
    const int bank = paramInt(this, multiMode ? kMultiBank : paramOfPart(kMultiPartBank, part));
    const int program = paramInt(this, multiMode ? kMultiPatch : paramOfPart(kMultiPartPatch, part));
    if (!libraryNamesMode) {
      if (programNumberMenu) programNumberMenu->refreshPatchNames(program);
      if (bankNumberMenu) bankNumberMenu->refreshPatchNames(bank);
      if (ControlLayer* l = getLayer("BANKNUMBERMENUPROGRAMS")) l->Hide(false);
      return;
    }
    if (ControlLayer* l = getLayer(multiMode ? "PERFBANKNAMEMENUPROGRAMS" : "PROGBANKNAMEMENUPROGRAMS")) l->Hide(false);
    if (program >= 0 && program < LibrarianViewControl::kSlotsPerGrid) {
      if (LibrarianViewControl* view = libView()) {
        view->setUpperSelectedSlot(program);
        view->setKeyboardCursor(program);
      }
      if (librarian) librarian->selectedSlot = program;
    }
    if (programNumberMenu) programNumberMenu->refreshPatchNames(program);
    if (!keepBankMenu && bankNumberMenu) bankNumberMenu->refreshPatchNames(bank);
  });
}

// Each slot menu is made once and kept: a right click must never delete the control whose popup
// may still be on the stack below it.
void Sorvanta::showFileEditMenu(int x, int y) {
  if (!fileEditMenu) fileEditMenu = new FileEditPopupMenu(this, librarian, IRECT(x, y, x, y), librarianBridge());
  *fileEditMenu->GetRECT() = IRECT(x, y, x, y);
  fileEditMenu->doPopupMenu(x, y);
}

void Sorvanta::showFileCopyMenu(int x, int y) {
  if (!fileCopyMenu) fileCopyMenu = new FileCopyPopupMenu(this, librarian, IRECT(x, y, x, y), librarianBridge());
  *fileCopyMenu->GetRECT() = IRECT(x, y, x, y);
  fileCopyMenu->doPopupMenu(x, y);
}

void Sorvanta::OnTextEntryCancelled(int paramIdx) {
  if (paramIdx != kPatchRename) return;
  UTIL_MutexLock lock(GetMutex());
  renameArmed = false;
  if (ControlLayer* l = getLayer("patchRename")) l->Hide(true);
}

void Sorvanta::showUpperBankEdited() {
  onWindowThread(kShowUpperBankEdited, [this] {
    if (ControlLayer* l = getLayer("discardChangesLayerRight")) l->Hide(false);
    if (ControlLayer* l = getLayer("keepBankOpenLayer")) l->Hide(true);
    lockDataType(true);
    // The upper bank menu stays shut until the changes are saved or discarded.
    if (ControlLayer* l = getLayer(multiMode ? "LeftPerformancePopupMenu" : "UPPERPOPUPMENU")) l->Hide(true);
  });
}

void Sorvanta::lockDataType(bool locked) {
  static const char* const kWhy = "Save bank or Discard changes!";
  if (IControl* c = mainControl(kDatatype)) c->GrayOut(locked);
  if (!valueLine) return;
  if (locked) {
    statusShowsValue = false;  // a reason, which the status texts that follow leave standing
    valueLine->SetTextFromPlug(kWhy);
  } else if (valueLine->GetTextCopy() == kWhy) {
    valueLine->SetTextFromPlug("");
  }
}

bool Sorvanta::librarianReadyToReceive() {
  if (!librarian) return false;
  {
    UTIL_MutexLock lock(&librarian->bankLock());
    if (librarian->selectedUpperBank()) return true;
  }
  setStatusText("No bank selected!");
  return false;
}

void Sorvanta::refreshProgramNumberMenu(int program) {
  onWindowThread(kProgramNumberMenu, [this, program] {
    if (programNumberMenu) programNumberMenu->refreshPatchNames(program);
  });
}

void Sorvanta::refreshBankEditMenu() {
  onWindowThread(kBankEditMenu, [this] {
    if (bankEditMenu) bankEditMenu->AddMenuItemsIn();
  });
}

// ---------------------------------------------------------------- list kinds and import

void Sorvanta::patchTypeChanged(int kind, int list, bool refresh) {
  onWindowThread(kPatchType + kind * 16 + list * 2 + refresh, [this, kind, list, refresh] {
    if (librarian) librarianPatchTypeChanged(this, *librarian, *librarianBridge(), kind, list, refresh);
  });
  // Every data-type switch comes through here: the bank-edit menu follows it at once.
  refreshBankEditMenu();
}

void Sorvanta::ResetPatchSelectionMenus() {
  onWindowThread(kResetSelectionMenus, [this] {
    if (librarian) librarianResetPatchSelectionMenus(this, *librarian, *librarianBridge());
  });
}

void Sorvanta::saveImportedFile(bool midi) { librarianImportBankFile(this, librarian, librarianBridge(), midi); }

bool Sorvanta::handleLibrarianParam(int paramIdx) {
  if (!librarian) return false;
  if (paramIdx == kPatchSelectionListUpper || paramIdx == kPatchSelectionListLower) {
    const bool upper = paramIdx == kPatchSelectionListUpper;
    const int i = paramInt(this, paramIdx);
    const bool multi = multiMode;  // one reading for the whole choice
    LibrarianList kind = multi ? LibrarianList::kMulti : LibrarianList::kSound;
    if (!upper) kind = librarianLowerList(multi ? kBankTypeMulti : kBankTypeSound, categoryMode, searchMode).value_or(kind);
    LibrarianBankName names;
    {
      UTIL_MutexLock lock(&librarian->bankLock());
      const std::vector<PatchFile*>& files = librarian->flatList(kind);
      if (i < 0 || i >= static_cast<int>(files.size())) return true;  // no such bank: nothing changes
      names = namesOf(files[static_cast<size_t>(i)]);
    }
    LibrarianBankRecord record = upper ? (multi ? LibrarianBankRecord::kUpperMulti : LibrarianBankRecord::kUpperSound)
                                       : (multi ? LibrarianBankRecord::kLowerMulti : LibrarianBankRecord::kLowerBank);
    librarianBridge()->setBankName(record, names);
    (upper ? librarian->upperSelection : librarian->lowerSelection) = i;
    LibrarianBankMenu* menu = nullptr;
    if (upper)
      menu = multi ? static_cast<LibrarianBankMenu*>(leftPerfMenu) : leftPatchMenu;
    else if (multi)
      menu = rightPerfMenu;
    else if (kind == LibrarianList::kCategory)
      menu = categoryMenu;
    else if (kind == LibrarianList::kSearch)
      menu = searchMenu;
    else
      menu = rightPatchMenu;
    if (menu) menu->refreshFolderStructure(i, names.fileName, names.folderName);
    updatePatchLibrarianView(upper ? 0 : 1);
    return true;
  }
  if (paramIdx == kPatchRename) {
    if (!renameArmed) return false;
    renameArmed = false;
    if (ControlLayer* l = getLayer("patchRename")) l->Hide(true);
    LibrarianViewControl* view = libView();
    const IParam* text = GetParam(kPatchRename);
    if (!view || !text) return true;
    if (view->applyRename(text->GetDisplayTextAtIdx(0))) {
      // A renamed slot is an unsaved change: the save/discard choice protects it from a reload.
      GetParam(kBankEditUnsaved)->SetClamped(1.0);
      GetParam(kDiscardBankData)->SetClamped(0.0);
      showUpperBankEdited();
    }
    return true;
  }
  return false;
}
