// The librarian's action menus: the bank-edit button and the two slot context menus.
#include "ControlLayer.h"
#include "IGraphics.h"
#include "IParam.h"
#include "IPluginBase.h"
#include "LibrarianMenus.h"
#include "LibrarianView.h"
#include "ParamNames.h"
#include "PatchLibrarian.h"
#include "UTIL_String.h"

namespace {

// Positions in the bank-edit main menu (the same in both data types).
enum MainItem {
  kRequest = 0,
  kStore = 2,
  kSync = 4,
  kPushMulti = 5,
  kSaveOverwrite = 7,
  kSaveAsItem = 8,
  kImportItem = 10,
  kRefreshFoldersItem = 11,
  kOpenDataFolder = 13,
  kAbout = 14,
};

int partOf(const LibrarianUIHost* host) {
  const int part = host ? host->currentPart() : 0;
  return (part >= 0 && part < kNumParts) ? part : 0;
}

LibrarianJob job(int code, int part = 0) {
  LibrarianJob j;
  j.code = code;
  j.part = part;
  return j;
}

// Runs the popup and hands back the menu holding the choice and the chosen item, or null.
IPopupMenu* popUp(IControl* control, IPopupMenu* menu, int* item) {
  IGraphics* g = control->GetPlug() ? control->GetPlug()->GetGUI() : nullptr;
  if (!g) return nullptr;
  IPopupMenu* chosen = g->CreateIPopupMenu(menu, control->GetRECT());
  if (!chosen) return nullptr;
  *item = chosen->GetChosenItemIdx();
  if (*item < 0 || *item >= chosen->GetNItems()) return nullptr;
  return chosen;
}

// Asks for a file with the framework's panel, which starts in startFolder (empty: wherever the
// framework starts); empty when cancelled or without a window.
std::string promptForFile(IPluginBase* plug, EFileAction action, const char* extensions, const std::string& startFolder) {
  IGraphics* g = plug ? plug->GetGUI() : nullptr;
  if (!g) return std::string();
  UTIL_String file("");
  UTIL_String dir(startFolder.c_str());
  std::string ext(extensions);
  g->PromptForFile(&file, action, &dir, &ext[0]);
  return file.Get() ? std::string(file.Get()) : std::string();
}

}  // namespace

// ---------------------------------------------------------------------------------------------

BankEditPopupMenu::BankEditPopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect,
                                     LibrarianUIHost* host)
    : IControl(plug, rect, -1), m_host(host), m_librarian(librarian) {
  AddMenuItemsIn();
}

void BankEditPopupMenu::AddMenuItemsIn() {
  for (auto& m : m_menus) m = std::make_unique<IPopupMenu>();
  const bool multi = m_host && m_host->multiMode();
  IPopupMenu& main = *m_menus[kMain];
  if (multi) {
    main.AddItem("Request Multi Data", m_menus[kMultiRequest].get());
    main.AddSeparator();
    main.AddItem("Store Multi Data", m_menus[kMultiStore].get());
    IPopupMenu& rq = *m_menus[kMultiRequest];
    rq.AddItem("from Temp Buffer to Plug-in GUI");
    rq.AddItem("from Temp Buffer to Librarian");
    rq.AddItem("from selected Program Slot");
    rq.AddItem("All Multis from Selected Bank");
    IPopupMenu& st = *m_menus[kMultiStore];
    st.AddItem("To Currently Selected Slot & Bank");
    st.AddItem("All Multis from Current Bank");
  } else {
    main.AddItem("Request Patch Data", m_menus[kSoundRequest].get());
    main.AddSeparator();
    main.AddItem("Store Patch Data", m_menus[kSoundStore].get());
    IPopupMenu& rq = *m_menus[kSoundRequest];
    rq.AddItem("from Active Slot to Plug-in GUI");
    rq.AddItem("from Active Slot to Librarian");
    rq.AddItem("from Selected Program Slot");
    rq.AddSeparator();
    rq.AddItem("All Patches from Bank A");
    rq.AddItem("All Patches from Bank B");
    rq.AddItem("All Patches from Bank C");
    IPopupMenu& st = *m_menus[kSoundStore];
    st.AddItem("To Currently Selected Slot & Bank");
    st.AddSeparator();
    st.AddItem("All Current Patches to Bank A");
    st.AddItem("All Current Patches to Bank B");
    st.AddItem("All Current Patches to Bank C");
  }
  main.AddSeparator();
  main.AddItem("Sync Current Data from HW");
  main.AddItem("Push Current Multi to HW");
  main.AddSeparator();
  main.AddItem("Save (Overwrite current bank)");
  main.AddItem("Save As...", m_menus[kSaveAs].get());
  main.AddSeparator();
  main.AddItem("Import...", m_menus[kImport].get());
  main.AddItem("Refresh Folders");
  main.AddSeparator();
  main.AddItem("Open Data Folder");
  main.AddItem("About...");
  m_menus[kSaveAs]->AddItem("Standard MIDI (*.mid)");
  m_menus[kSaveAs]->AddItem("Sorvanta Format (*.zpk)");
  m_menus[kImport]->AddItem("Standard MIDI (*.mid)");
  m_menus[kImport]->AddItem("SysEx (*.syx / *.zpk)");
}

void BankEditPopupMenu::doPopupMenu() {
  int item = -1;
  IPopupMenu* chosen = popUp(this, m_menus[kMain].get(), &item);
  for (int which = 0; chosen && which < kNumMenus; ++which) {
    if (m_menus[which].get() != chosen) continue;
    choose(which, item);
    break;
  }
  for (auto& m : m_menus) m->CheckItemAlone(-1);
}

void BankEditPopupMenu::OnMouseDown(int, int, IMouseMod*) {
  doPopupMenu();
  SetDirty(false);
}

bool BankEditPopupMenu::Draw(IGraphics* graphics) { return librarianDrawInvisible(graphics, &mRECT); }

void BankEditPopupMenu::choose(int which, int item) {
  if (!m_host) return;
  const int part = partOf(m_host);
  switch (which) {
    case kMain:
      chooseMain(item);
      return;
    case kSoundRequest:
      if (item == 0 || item == 1) {
        LibrarianJob j = job(kJobRequestPartSound, part);
        j.toEditor = j.setManagerToEditor = item == 0;
        m_host->startLibrarianJob(j);
      } else if (item == 2) {
        IParam* bank = GetPlug() ? GetPlug()->GetParam(paramOfPart(kMultiPartBank, part)) : nullptr;
        m_host->sendSinglePatchRequestFromLibrarian(false, bank ? bank->Int() : 0);
      } else if (item >= 4 && item <= 6) {
        m_host->sendAllPatchRequestFromLibrarian(item - 4);
      }
      return;
    case kMultiRequest:
      if (item == 0 || item == 1) {
        LibrarianJob j = job(kJobRequestActiveMulti);
        j.toEditor = j.setManagerToEditor = item == 0;
        m_host->startLibrarianJob(j);
      } else if (item == 2 || item == 3) {
        LibrarianJob j = job(item == 2 ? kJobRequestStoredMulti : kJobRequestAllMultis);
        j.clearParseComplete = true;
        m_host->startLibrarianJob(j);
      }
      return;
    case kSoundStore:
    case kMultiStore: {
      if (!m_librarian) return;
      const bool sound = which == kSoundStore;
      IParam* bankParam = GetPlug() ? GetPlug()->GetParam(sound ? paramOfPart(kMultiPartBank, part) : kMultiBank)
                                    : nullptr;
      if (item == 0) {
        // One entry: the selected slot into the same program number of the selected bank.
        const int slot = m_librarian->selectedSlot;
        if (slot < 0 || slot >= kBankSize) return;
        m_host->storeLibrarianSlotToDevice(slot, bankParam ? bankParam->Int() : 0);
      } else if (sound && item >= 2 && item <= 4) {
        m_host->storeAllPatchesToDeviceFromLibrarian(0, 0, item - 2);
      } else if (!sound && item == 1) {
        m_host->storeAllPatchesToDeviceFromLibrarian(0, 0, 0);
      }
      return;
    }
    case kSaveAs:
      if (item == 0 || item == 1) saveAs(item == 0);
      return;
    case kImport:
      if (item == 0 || item == 1) importBank(item == 0);
      return;
    default:
      return;
  }
}

void BankEditPopupMenu::chooseMain(int item) {
  switch (item) {
    case kSync: {
      LibrarianJob j = job(kJobRequestActiveMulti);
      j.toEditor = j.setManagerToEditor = true;
      m_host->startLibrarianJob(j);
      break;
    }
    case kPushMulti:
      if (!m_host->midiIOSet()) break;
      {
        LibrarianJob j = job(kJobMultiDump);
        j.setManagerTransfer = j.setEditorTransfer = true;
        m_host->startLibrarianJob(j);
      }
      break;
    case kSaveOverwrite: saveOverCurrentBank(); break;
    case kRefreshFoldersItem:
      if (IPluginBase* plug = GetPlug()) {
        // A reload replaces every bank in memory with what is on disk: received or renamed
        // entries not yet saved would be gone without a word.
        IParam* unsaved = plug->GetParam(kBankEditUnsaved);
        if (unsaved && unsaved->Int() != 0) {
          m_host->showStatus(kLibrarianSaveOrDiscardText);
          break;
        }
        // The parameter handler runs under the plug-in's lock, as it does for a GUI edit.
        UTIL_MutexLock lock(plug->GetMutex());
        plug->OnParamChange(kRefreshFolders);
      }
      break;
    case kOpenDataFolder: m_host->openDataDirectory(); break;
    case kAbout:
      if (ControlLayer* l = m_host->layer("aboutWindow")) l->Hide(false);
      break;
    default: break;
  }
}

std::string BankEditPopupMenu::upperBankPath() const {
  const PatchFile* bank = m_librarian->selectedUpperBank();
  if (!bank || bank->folderChain.empty()) return std::string();
  std::string path = m_host->patchesFolder();
  for (size_t i = 1; i < bank->folderChain.size(); ++i) path += "/" + bank->folderChain[i];
  return path + "/" + bank->fileName;
}

void BankEditPopupMenu::saveOverCurrentBank() {
  if (!m_librarian) return;
  std::string path, name;
  {
    UTIL_MutexLock lock(&m_librarian->bankLock());
    path = upperBankPath();
    if (const PatchFile* bank = m_librarian->selectedUpperBank()) name = bank->fileName;
  }
  if (path.empty()) {
    m_host->showStatus("No bank selected!");
    return;
  }
  if (m_librarian->saveEditedPatch(path, name)) bankSaved(true, false);
}

void BankEditPopupMenu::bankSaved(bool intoLibrary, bool newFile) {
  IPluginBase* plug = GetPlug();
  if (plug && intoLibrary) {
    UTIL_MutexLock lock(plug->GetMutex());
    IParam* unsaved = plug->GetParam(kBankEditUnsaved);
    IParam* discard = plug->GetParam(kDiscardBankData);
    if (unsaved && unsaved->Int() != 0 && discard) {
      // The edits are on disk now: the library is read again as the discard button does it,
      // which also ends the unsaved state. The upper grid keeps the saved bank, whose names the
      // save recorded.
      discard->Set(1);
      plug->OnParamChange(kDiscardBankData);
      discard->Set(0);
    } else if (newFile) {
      plug->OnParamChange(kRefreshFolders);
    }
  }
  m_host->showStatus("Bank saved!");
}

void BankEditPopupMenu::saveAs(bool midi) {
  if (!m_librarian) return;
  // Banks live in the library folder: the panel starts there, and a bank saved into it is
  // listed at once.
  const std::string library = m_host ? m_host->patchesFolder() : std::string();
  const std::string path = promptForFile(GetPlug(), kFileSave, midi ? "mid" : "zpk", library);
  if (path.empty() || !m_librarian->savePatchAs(path, midi)) return;
  // A bank saved outside the library is a copy: the library's bank keeps its changes.
  bankSaved(!library.empty() && path.compare(0, library.size() + 1, library + "/") == 0, true);
}

void BankEditPopupMenu::importBank(bool midi) { librarianImportBankFile(GetPlug(), m_librarian, m_host, midi); }

bool librarianImportBankFile(IPluginBase* plug, PatchLibrarian* librarian, LibrarianUIHost* host, bool midi) {
  if (!plug || !librarian || !host) return false;
  const std::string path = promptForFile(plug, kFileOpen, midi ? "mid" : "syx zpk", host->fileDialogFolder());
  if (path.empty()) return false;
  std::string written;
  if (!librarian->importBankFile(path, midi, &written)) return false;
  // Reloading the library drops received but unsaved entries, so it waits for the user while
  // there are any.
  IParam* unsaved = plug->GetParam(kBankEditUnsaved);
  if (unsaved && unsaved->Int() != 0) {
    host->showStatus("Bank imported - save your changes, then Refresh Folders");
    return true;
  }
  // Said before the reload, so that a problem the reload meets with the new file (a split that
  // failed) replaces it.
  const std::string fileName = written.substr(written.rfind('/') + 1);
  host->showStatus("Imported: " + fileName);
  UTIL_MutexLock lock(plug->GetMutex());
  plug->OnParamChange(kRefreshFolders);
  // The new bank lies in the library folder itself. One split on loading, or of the other data
  // type, is not opened.
  const bool multi = host->multiMode();
  LibrarianBankName names;
  {
    UTIL_MutexLock banks(&librarian->bankLock());
    const LibrarianList list = multi ? LibrarianList::kMulti : LibrarianList::kSound;
    for (int i : librarian->flatPositionsNamed(list, fileName)) {
      const PatchFile* f = librarian->flatList(list)[static_cast<size_t>(i)];
      if (f->folderChain.size() == 1) names = {f->fileName, f->folderName};
    }
  }
  if (names.fileName.empty()) return true;
  host->setBankName(multi ? LibrarianBankRecord::kUpperMulti : LibrarianBankRecord::kUpperSound, names);
  host->refreshPopUpMenus();
  return true;
}

// ---------------------------------------------------------------------------------------------

FileEditPopupMenu::FileEditPopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect,
                                     LibrarianUIHost* host)
    : IControl(plug, rect, -1), m_host(host) {
  (void)librarian;  // the slot operations reach the library through the view
  AddMenuItemsIn();
}

void FileEditPopupMenu::AddMenuItemsIn() {
  m_main.AddItem("Paste");
  m_main.AddSeparator();
  m_main.AddItem("Rename");
  m_main.AddSeparator();
  m_main.AddItem("Initialize Slot");
  m_main.AddItem("Get DATA from..", &m_getData);
  m_getData.AddItem("Plug-in (active patch)");
  m_getData.AddSeparator();
  m_getData.AddItem("Hardware Edit Buffer");
  m_getData.AddItem("Hardware by Prog No.");
}

void FileEditPopupMenu::doPopupMenu(int x, int y) {
  int item = -1;
  IPopupMenu* chosen = popUp(this, &m_main, &item);
  if (chosen) choose(chosen, item, x, y);
  m_main.CheckItemAlone(-1);
  m_getData.CheckItemAlone(-1);
}

void FileEditPopupMenu::choose(IPopupMenu* menu, int item, int x, int y) {
  if (!m_host) return;
  const bool multi = m_host->multiMode();
  const int part = partOf(m_host);
  if (menu == &m_main) {
    LibrarianViewControl* view = m_host->librarianView();
    if (item == 0 && view) {
      view->PasteSlotData(x, y);
    } else if (item == 2 && view) {
      view->renameSlot(x, y);
    } else if (item == 4) {
      LibrarianJob j = job(multi ? kJobInitMultiSlot : kJobInitSoundSlot, part);
      j.checkFlag = false;
      j.setManagerToEditor = true;
      m_host->startLibrarianJob(j);
    }
  } else if (menu == &m_getData) {
    // The request's number is the synthesizer's bank (0..2): the program it fetches is the
    // selected slot. The part's bank, not the program number, which names no bank above 2.
    IParam* bankParam = GetPlug() ? GetPlug()->GetParam(paramOfPart(kMultiPartBank, part)) : nullptr;
    const int bank = bankParam ? bankParam->Int() : 0;
    if (item == 0) {
      LibrarianJob j = job(multi ? kJobMultiDump : kJobPartSoundDump, part);
      j.storeInLibrarian = true;
      j.setManagerTransfer = true;
      m_host->startLibrarianJob(j);
    } else if (item == 2) {
      if (multi)
        m_host->startLibrarianJob(job(kJobRequestActiveMulti));
      else
        m_host->sendSinglePatchRequestFromLibrarian(true, bank);
    } else if (item == 3) {
      if (multi) {
        m_host->armMultiCapture();
        m_host->startLibrarianJob(job(kJobRequestStoredMulti));
      } else {
        m_host->sendSinglePatchRequestFromLibrarian(false, bank);
      }
    }
  }
}

void FileEditPopupMenu::OnMouseDown(int x, int y, IMouseMod*) {
  doPopupMenu(x, y);
  SetDirty(false);
}

bool FileEditPopupMenu::Draw(IGraphics* graphics) { return librarianDrawInvisible(graphics, &mRECT); }

// ---------------------------------------------------------------------------------------------

FileCopyPopupMenu::FileCopyPopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect,
                                     LibrarianUIHost* host)
    : IControl(plug, rect, -1), m_host(host) {
  (void)librarian;
  m_menu.AddItem("Copy");
}

void FileCopyPopupMenu::doPopupMenu(int x, int y) {
  int item = -1;
  IPopupMenu* chosen = popUp(this, &m_menu, &item);
  if (chosen == &m_menu && item == 0 && m_host) {
    if (LibrarianViewControl* view = m_host->librarianView()) view->CopySlotData(x, y);
  }
  m_menu.CheckItemAlone(-1);
}

void FileCopyPopupMenu::OnMouseDown(int x, int y, IMouseMod*) {
  doPopupMenu(x, y);
  SetDirty(false);
}

bool FileCopyPopupMenu::Draw(IGraphics* graphics) { return librarianDrawInvisible(graphics, &mRECT); }
