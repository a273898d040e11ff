// The bank selection menus and the bank-name menus of library-names mode.
#include "LibrarianMenus.h"

#include <map>

#include "ControlAction.h"
#include "IGraphics.h"
#include "IParam.h"
#include "IPluginBase.h"
#include "LibrarianView.h"
#include "ParamNames.h"
#include "PatchLibrarian.h"

namespace {

// Folder name under which the banks lying directly in the library folder are listed, and the
// folder name that search-result banks carry.
const char* const kRootFolderName = "Patches";

}  // namespace

std::vector<FolderFiles*>& librarianFolderIndex(PatchLibrarian& librarian, LibrarianList list) {
  switch (list) {
    case LibrarianList::kMulti: return librarian.multiFolderIndex;
    case LibrarianList::kCategory: return librarian.categoryFolderIndex;
    case LibrarianList::kSearch: return librarian.searchFolderIndex;
    case LibrarianList::kSound: break;
  }
  return librarian.soundFolderIndex;
}

void librarianSetSelectionParam(IPluginBase* plug, int paramIdx, int position, bool throughGraphics) {
  IParam* p = plug ? plug->GetParam(paramIdx) : nullptr;
  if (!p) return;
  p->SetClamped(position);
  if (throughGraphics) {
    if (IGraphics* g = plug->GetGUI()) g->SetParameterFromPlug(paramIdx, p->Value(), false);
  }
  // Controls hold normalised values: the main control gets the position in that form, so the
  // caption and the parameter agree.
  ControlAction* a = p->GetControlAction();
  if (a && !a->controls.empty() && a->controls[0]) a->controls[0]->SetValueFromPlug(p->GetNormalized());
}

bool librarianDrawInvisible(IGraphics* graphics, IRECT* rect) {
  const IColor clear(0, 0, 0, 0);
  return graphics ? graphics->FillIRect(&clear, rect) : false;
}

bool librarianDrawDisplayText(IGraphics* graphics, IRECT* rect, const std::string& text) {
  if (!graphics || !rect) return false;
  // The display's own texts: NK57 Monospace in yellow, 15 points in a 24-pixel box at the
  // normal size.
  IText lettering(rect->H() * 15 / 24, IColor(255, 241, 243, 33), "NK57 Monospace", IText::kStyleNormal,
                  IText::kAlignCenter);
  return graphics->DrawIText(&lettering, text.c_str(), rect);
}

// ---------------------------------------------------------------------------------------------

LibrarianBankMenu::LibrarianBankMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect,
                                     LibrarianUIHost* host, const Config& config)
    : IControl(plug, rect, -1), m_librarian(librarian), m_host(host), m_config(config) {
  rebuildAsMade();
}

void LibrarianBankMenu::rebuildAsMade() {
  LibrarianBankName names;
  if (m_host) names = m_host->bankName(m_config.namesAtStart);
  m_chosenIndex = 0;
  refreshFolderStructure(m_chosenIndex, names.fileName, names.folderName);
}

LibrarianBankMenu::~LibrarianBankMenu() { freeMenus(); }

IPopupMenu* LibrarianBankMenu::newMenu() {
  m_menus.push_back(std::make_unique<IPopupMenu>());
  return m_menus.back().get();
}

void LibrarianBankMenu::freeMenus() {
  m_root = nullptr;
  m_folderNames.clear();
  m_submenus.clear();
  m_itemBanks.clear();
  m_placed.clear();
  m_menus.clear();
}

void LibrarianBankMenu::registerMenu(const std::string& folderName, IPopupMenu* menu, std::vector<ItemBank> banks) {
  m_folderNames.push_back(folderName);
  m_submenus.push_back(menu);
  m_itemBanks.push_back(std::move(banks));
}

int LibrarianBankMenu::selectionParam() const {
  return m_config.grid == 0 ? kPatchSelectionListUpper : kPatchSelectionListLower;
}

int LibrarianBankMenu::findInFlatList(const ItemBank& bank) const {
  const std::vector<PatchFile*>& flat = m_librarian->flatList(m_config.list);
  for (size_t i = 0; i < flat.size(); ++i) {
    const PatchFile* f = flat[i];
    if (f->fileName != bank.fileName) continue;
    // Banks from disk are told apart by their whole folder chain (two folders of the same name
    // below different parents); the in-memory banks have no chain and go by folder name.
    if (bank.chain.empty() ? f->folderName == bank.folderName : f->folderChain == bank.chain)
      return static_cast<int>(i);
  }
  return -1;
}

void LibrarianBankMenu::buildItems() {
  freeMenus();
  m_root = newMenu();
  if (m_librarian->loadPending()) {
    m_root->AddItem(kLibrarianLoadingText, -1, IPopupMenuItem::kDisabled);
    return;
  }
  int running = 0;
  // Items of one group: appended to `menu`, their banks collected for the parallel lists.
  auto addFiles = [&](IPopupMenu* menu, const std::vector<PatchFile*>& files, const char* asFolder,
                      std::vector<ItemBank>& banks) {
    for (size_t f = 0; f < files.size(); ++f) {
      const PatchFile* file = files[f];
      const int item = menu->GetNItems();
      menu->AddItem(file->fileName.c_str());
      const std::string shownFolder = asFolder ? asFolder : file->folderName;
      banks.resize(static_cast<size_t>(item));
      banks.push_back(ItemBank{file->folderChain, file->fileName, shownFolder});
      m_placed.push_back(PlacedItem{menu, item, running + static_cast<int>(f), file->fileName, shownFolder});
    }
    running += static_cast<int>(files.size());
  };

  const std::vector<FolderFiles*>& index = librarianFolderIndex(*m_librarian, m_config.list);
  std::vector<ItemBank> rootBanks;
  bool rootHoldsBanks = false;
  for (const FolderFiles* entry : index) {
    if (m_config.layout != Layout::kFlat && !entry->subFolders.empty()) {
      for (const SubFolderFiles& j : entry->subFolders) {
        IPopupMenu* folderMenu = newMenu();
        std::vector<ItemBank> folderBanks;
        if (m_config.layout == Layout::kFolders) {
          for (const SubFolderFiles2& l : j.subFolders) {
            if (l.bankFiles.empty()) continue;  // nothing to choose in it
            IPopupMenu* subMenu = newMenu();
            std::vector<ItemBank> subBanks;
            addFiles(subMenu, l.bankFiles, nullptr, subBanks);
            folderMenu->AddItem(l.name.c_str(), subMenu);
            registerMenu(l.name, subMenu, std::move(subBanks));
          }
        }
        addFiles(folderMenu, j.bankFiles, nullptr, folderBanks);
        // A folder that holds only sub folders is shown too, so their banks can be reached.
        if (folderMenu->GetNItems() == 0) continue;
        m_root->AddItem(j.name.c_str(), folderMenu);
        if (!j.bankFiles.empty()) registerMenu(j.name, folderMenu, std::move(folderBanks));
      }
    } else if (m_config.layout != Layout::kCategories) {
      // Root-level banks (or every search-result bank): items of the root menu itself.
      addFiles(m_root, entry->bankFiles, kRootFolderName, rootBanks);
      rootHoldsBanks = rootHoldsBanks || !entry->bankFiles.empty();
    }
  }
  if (rootHoldsBanks) {
    rootBanks.resize(static_cast<size_t>(m_root->GetNItems()));
    registerMenu(kRootFolderName, m_root, std::move(rootBanks));
  }
  // An empty popup is a sliver nobody notices, which still takes the next click to close.
  if (m_root->GetNItems() == 0) m_root->AddItem("(no banks)", -1, IPopupMenuItem::kDisabled);
}

bool LibrarianBankMenu::refreshFolderStructure(int selectedIndex, const std::string& fileName,
                                               const std::string& folderName) {
  if (!m_librarian) {
    freeMenus();
    m_root = newMenu();
    return true;
  }
  UTIL_MutexLock lock(&m_librarian->bankLock());
  // The items follow the library only: a bank change finds them as they were and moves the
  // check mark.
  const BuildKey key{m_librarian->generation(), m_librarian->flatList(m_config.list).size(),
                     librarianFolderIndex(*m_librarian, m_config.list).size(), m_librarian->loadPending()};
  if (!m_root || !(key == m_built)) {
    buildItems();
    m_built = key;
  }
  for (const std::unique_ptr<IPopupMenu>& menu : m_menus) menu->CheckItemAlone(-1);
  for (const PlacedItem& placed : m_placed) {
    if ((placed.shownFolder == folderName && placed.fileName == fileName) || placed.position == selectedIndex) {
      placed.menu->CheckItemAlone(placed.item);
      break;
    }
  }

  // Every bank with the current names becomes the grid's selection.
  const std::vector<PatchFile*>& flat = m_librarian->flatList(m_config.list);
  for (size_t i = 0; i < flat.size(); ++i) {
    const PatchFile* f = flat[i];
    const bool rootLevel = f->folderChain.size() == 1;
    if (f->fileName != fileName || (f->folderName != folderName && !(rootLevel && folderName == kRootFolderName)))
      continue;
    const int pos = static_cast<int>(i);
    librarianSetSelectionParam(GetPlug(), selectionParam(), pos, true);
    (m_config.grid == 0 ? m_librarian->upperSelection : m_librarian->lowerSelection) = pos;
    if (m_config.recheck) checkMenuItemAlone(pos);
  }
  return true;
}

void LibrarianBankMenu::checkMenuItemAlone(int index) {
  if (!m_librarian) return;
  UTIL_MutexLock lock(&m_librarian->bankLock());
  const std::vector<PatchFile*>& flat = m_librarian->flatList(m_config.list);
  if (index < 0 || index >= static_cast<int>(flat.size())) return;
  const PatchFile* target = flat[static_cast<size_t>(index)];
  // A bank without a name has no item: every mark goes.
  bool found = !target || target->fileName.empty();
  for (size_t k = 0; k < m_submenus.size(); ++k) {
    IPopupMenu* menu = m_submenus[k];
    menu->CheckItemAlone(-1);
    if (found) continue;
    const std::vector<ItemBank>& banks = m_itemBanks[k];
    for (size_t item = 0; item < banks.size(); ++item) {
      // Only an item of the same file name can be that bank: the name test spares a search of
      // the whole list for every other item.
      if (banks[item].fileName != target->fileName || findInFlatList(banks[item]) != index) continue;
      menu->CheckItemAlone(static_cast<int>(item));
      found = true;
      break;
    }
  }
}

int LibrarianBankMenu::doPopupMenu(int& index) {
  IGraphics* g = GetPlug() ? GetPlug()->GetGUI() : nullptr;
  if (!g || !m_root) return 0;
  IPopupMenu* chosen = g->CreateIPopupMenu(m_root, &mRECT);
  if (!chosen) return 0;
  LibrarianBankName names;
  bool resolved = false;
  int found = -1;
  {
    UTIL_MutexLock lock(m_librarian ? &m_librarian->bankLock() : nullptr);
    for (size_t k = 0; k < m_submenus.size(); ++k) {
      IPopupMenu* menu = m_submenus[k];
      menu->CheckItemAlone(-1);
      if (menu != chosen || resolved) continue;
      resolved = true;
      const int item = chosen->GetChosenItemIdx();
      const std::vector<ItemBank>& banks = m_itemBanks[k];
      if (item < 0 || item >= static_cast<int>(banks.size()) || banks[static_cast<size_t>(item)].fileName.empty())
        continue;
      const ItemBank& bank = banks[static_cast<size_t>(item)];
      menu->CheckItemAlone(item);
      names.fileName = bank.fileName;
      names.folderName = m_folderNames[k];
      if (m_librarian) found = findInFlatList(bank);
    }
  }
  // The names follow only a bank that is in the list, so names and selection never disagree
  // (a category with no sounds has a menu item but no bank).
  if (found >= 0) {
    index = found;
    if (m_host) m_host->setBankName(m_config.namesChosen, names);
  }
  return index;
}

void LibrarianBankMenu::OnMouseDown(int, int, IMouseMod*) {
  if (!m_librarian) return;
  std::atomic<int>& selection = m_config.grid == 0 ? m_librarian->upperSelection : m_librarian->lowerSelection;
  m_chosenIndex = selection;
  doPopupMenu(m_chosenIndex);
  librarianSetSelectionParam(GetPlug(), selectionParam(), m_chosenIndex, false);
  selection = m_chosenIndex;
  afterClick();
  SetDirty(false);
}

void LibrarianBankMenu::afterClick() {
  LibrarianViewControl* view = m_host ? m_host->librarianView() : nullptr;
  if (!view) return;
  view->SetDirty(false);
  if (m_config.grid == 0)
    view->patchSelectionUpperChanged();
  else
    view->patchSelectionLowerChanged();
}

bool LibrarianBankMenu::Draw(IGraphics* graphics) { return librarianDrawInvisible(graphics, &mRECT); }

const char* const kLibrarianSaveOrDiscardText = "Save bank or Discard changes!";
const char* const kLibrarianLoadingText = "Loading...";

void UnsavedBankNotice::OnMouseDown(int, int, IMouseMod*) {
  IParam* unsaved = GetPlug() ? GetPlug()->GetParam(kBankEditUnsaved) : nullptr;
  if (m_host && unsaved && unsaved->Int() != 0) m_host->showStatus(kLibrarianSaveOrDiscardText);
}

// ---------------------------------------------------------------------------------------------

using Layout = LibrarianBankMenu::Layout;
using Rec = LibrarianBankRecord;

LeftPatchPopupMenu::LeftPatchPopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect,
                                       LibrarianUIHost* host)
    : LibrarianBankMenu(plug, librarian, rect, host,
                        {LibrarianList::kSound, Layout::kFolders, 0, Rec::kUpperSound, Rec::kUpperSound, true}) {}

RightPatchPopupMenu::RightPatchPopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect,
                                         LibrarianUIHost* host)
    : LibrarianBankMenu(plug, librarian, rect, host,
                        {LibrarianList::kSound, Layout::kFolders, 1, Rec::kLowerBank, Rec::kLowerBank, true}) {}

LeftPerfPopupMenu::LeftPerfPopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect,
                                     LibrarianUIHost* host)
    : LibrarianBankMenu(plug, librarian, rect, host,
                        {LibrarianList::kMulti, Layout::kFolders, 0, Rec::kUpperMulti, Rec::kUpperMulti, true}) {}

RightPerfPopupMenu::RightPerfPopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect,
                                       LibrarianUIHost* host)
    : LibrarianBankMenu(plug, librarian, rect, host,
                        {LibrarianList::kMulti, Layout::kFolders, 1, Rec::kLowerMulti, Rec::kLowerMulti, true}) {}

RightCategoryPopupMenu::RightCategoryPopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect,
                                               LibrarianUIHost* host)
    : LibrarianBankMenu(plug, librarian, rect, host,
                        {LibrarianList::kCategory, Layout::kCategories, 1, Rec::kLowerBank, Rec::kLowerBank, false}) {
}

RightSearchPopupMenu::RightSearchPopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect,
                                           LibrarianUIHost* host)
    : LibrarianBankMenu(plug, librarian, rect, host,
                        {LibrarianList::kSearch, Layout::kFlat, 1, Rec::kLowerBank, Rec::kLowerBank, false}) {}

ProgBankNamePopupMenu::ProgBankNamePopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect,
                                             LibrarianUIHost* host)
    : LibrarianBankMenu(plug, librarian, rect, host,
                        {LibrarianList::kSound, Layout::kFolders, 0, Rec::kLowerBank, Rec::kUpperSound, true}) {}

ProgBankNamePopupMenu::ProgBankNamePopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect,
                                             LibrarianUIHost* host, const Config& config)
    : LibrarianBankMenu(plug, librarian, rect, host, config) {}

PerfBankNamePopupMenu::PerfBankNamePopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect,
                                             LibrarianUIHost* host)
    : ProgBankNamePopupMenu(plug, librarian, rect, host,
                            {LibrarianList::kMulti, Layout::kFolders, 0, Rec::kLowerMulti, Rec::kUpperMulti, true}) {}

void ProgBankNamePopupMenu::afterClick() {
  if (!m_host) return;
  LibrarianViewControl* view = m_host->librarianView();
  IParam* tab = GetPlug() ? GetPlug()->GetParam(kMainTab) : nullptr;
  if (view && tab && tab->Int() == 1) {
    view->SetDirty(false);
    view->patchSelectionUpperChanged();
  }
  // The chosen bank's position is deliberately not pushed into a program or bank parameter: it
  // is a library position, not a device number.
  m_host->updateBankAndProgramMenuNames(m_config.list == LibrarianList::kSound);
  if (!view || !m_librarian) return;
  const int cursor = view->keyboardCursor();
  if (cursor < 0) return;  // no slot to send
  m_librarian->selectedSlot = cursor;
  // The entry comes from the bank just chosen, the upper grid's, whichever grid was used last.
  m_host->sendPatchToDeviceFromLibrarian(cursor, LibrarianViewControl::kUpperGrid, m_host->currentPart());
}
