// The bank selection menus and the bank-name menus of library-names mode.
#include "LibrarianMenus.h"

#include <algorithm>
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

LibrarianBankMenu::~LibrarianBankMenu() = default;

int LibrarianBankMenu::selectionParam() const {
  return m_config.grid == 0 ? kPatchSelectionListUpper : kPatchSelectionListLower;
}

LibrarianBankMenu::BuildKey LibrarianBankMenu::currentKey() const {
  return BuildKey{m_librarian->generation(), m_librarian->flatList(m_config.list).size(),
                  librarianFolderIndex(*m_librarian, m_config.list).size(), m_librarian->loadPending()};
}

void LibrarianBankMenu::followLibrary() const {
  const BuildKey key = currentKey();
  if (m_everListed && key == m_listedFrom) return;
  m_everListed = true;
  m_listedFrom = key;
  dropMenus();
  m_checkedRank = -1;
  walkIndex(false);
  m_byName.resize(m_listed.size());
  for (size_t r = 0; r < m_byName.size(); ++r) m_byName[r] = static_cast<uint32_t>(r);
  std::stable_sort(m_byName.begin(), m_byName.end(),
                   [this](uint32_t a, uint32_t b) { return m_listed[a].file->fileName < m_listed[b].file->fileName; });
}

const std::string& LibrarianBankMenu::shownFolder(const Listed& l) const {
  static const std::string root = kRootFolderName;
  return l.asRoot ? root : l.file->folderName;
}

std::vector<int> LibrarianBankMenu::ranksNamed(const std::string& fileName) const {
  auto it = std::lower_bound(m_byName.begin(), m_byName.end(), fileName,
                             [this](uint32_t r, const std::string& name) { return m_listed[r].file->fileName < name; });
  std::vector<int> ranks;
  for (; it != m_byName.end() && m_listed[*it].file->fileName == fileName; ++it) ranks.push_back(static_cast<int>(*it));
  return ranks;
}

int LibrarianBankMenu::findInFlatList(const std::vector<std::string>& chain, const std::string& fileName,
                                      const std::string& folderName) const {
  const std::vector<PatchFile*>& flat = m_librarian->flatList(m_config.list);
  for (int i : m_librarian->flatPositionsNamed(m_config.list, fileName)) {
    const PatchFile* f = flat[static_cast<size_t>(i)];
    // Banks from disk are told apart by their whole folder chain (two folders of the same name
    // below different parents); the in-memory banks have no chain and go by folder name.
    if (chain.empty() ? f->folderName == folderName : f->folderChain == chain) return i;
  }
  return -1;
}

int LibrarianBankMenu::findInFlatList(const Listed& l) const {
  return findInFlatList(l.file->folderChain, l.file->fileName, shownFolder(l));
}

void LibrarianBankMenu::setCheckedRank(int rank) const {
  if (m_root) {
    const int items = static_cast<int>(m_itemOfRank.size());
    if (m_checkedRank >= 0 && m_checkedRank < items)
      m_itemOfRank[static_cast<size_t>(m_checkedRank)].first->CheckItem(m_itemOfRank[static_cast<size_t>(m_checkedRank)].second, false);
    if (rank >= 0 && rank < items) m_itemOfRank[static_cast<size_t>(rank)].first->CheckItem(m_itemOfRank[static_cast<size_t>(rank)].second, true);
  }
  m_checkedRank = rank;
}

void LibrarianBankMenu::walkIndex(bool makeMenus) const {
  if (!makeMenus) m_listed.clear();
  auto newMenu = [this]() {
    m_menus.push_back(std::make_unique<IPopupMenu>());
    return m_menus.back().get();
  };
  auto registerMenu = [this](const std::string& folderName, IPopupMenu* menu, std::vector<ItemBank> banks) {
    m_folderNames.push_back(folderName);
    m_submenus.push_back(menu);
    m_itemBanks.push_back(std::move(banks));
  };
  if (makeMenus) m_root = newMenu();
  if (m_librarian->loadPending()) {
    if (makeMenus) m_root->AddItem(kLibrarianLoadingText, -1, IPopupMenuItem::kDisabled);
    return;
  }
  int running = 0;
  // Items of one group: listed, or appended to `menu` with their banks collected for the
  // parallel lists.
  auto addFiles = [&](IPopupMenu* menu, const std::vector<PatchFile*>& files, bool asRoot, std::vector<ItemBank>& banks) {
    for (const PatchFile* file : files) {
      const int rank = running++;
      if (!makeMenus) {
        m_listed.push_back(Listed{file, asRoot});
        continue;
      }
      const int item = menu->GetNItems();
      menu->AddItem(file->fileName.c_str());
      banks.resize(static_cast<size_t>(item));
      banks.push_back(ItemBank{file->folderChain, file->fileName, asRoot ? kRootFolderName : file->folderName, rank});
      m_itemOfRank.emplace_back(menu, item);
    }
  };

  const std::vector<FolderFiles*>& index = librarianFolderIndex(*m_librarian, m_config.list);
  std::vector<ItemBank> rootBanks;
  bool rootHoldsBanks = false;
  for (const FolderFiles* entry : index) {
    if (m_config.layout != Layout::kFlat && !entry->subFolders.empty()) {
      for (const SubFolderFiles& j : entry->subFolders) {
        IPopupMenu* folderMenu = makeMenus ? newMenu() : nullptr;
        std::vector<ItemBank> folderBanks;
        if (m_config.layout == Layout::kFolders) {
          for (const SubFolderFiles2& l : j.subFolders) {
            if (l.bankFiles.empty()) continue;  // nothing to choose in it
            IPopupMenu* subMenu = makeMenus ? newMenu() : nullptr;
            std::vector<ItemBank> subBanks;
            addFiles(subMenu, l.bankFiles, false, subBanks);
            if (!makeMenus) continue;
            folderMenu->AddItem(l.name.c_str(), subMenu);
            registerMenu(l.name, subMenu, std::move(subBanks));
          }
        }
        addFiles(folderMenu, j.bankFiles, false, folderBanks);
        // A folder that holds only sub folders is shown too, so their banks can be reached.
        if (!makeMenus || folderMenu->GetNItems() == 0) continue;
        m_root->AddItem(j.name.c_str(), folderMenu);
        if (!j.bankFiles.empty()) registerMenu(j.name, folderMenu, std::move(folderBanks));
      }
    } else if (m_config.layout != Layout::kCategories) {
      // Root-level banks (or every search-result bank): items of the root menu itself.
      addFiles(m_root, entry->bankFiles, true, rootBanks);
      rootHoldsBanks = rootHoldsBanks || !entry->bankFiles.empty();
    }
  }
  if (!makeMenus) return;
  if (rootHoldsBanks) {
    rootBanks.resize(static_cast<size_t>(m_root->GetNItems()));
    registerMenu(kRootFolderName, m_root, std::move(rootBanks));
  }
  // An empty popup is a sliver nobody notices, which still takes the next click to close.
  if (m_root->GetNItems() == 0) m_root->AddItem("(no banks)", -1, IPopupMenuItem::kDisabled);
}

void LibrarianBankMenu::makeMenus() const {
  UTIL_MutexLock lock(m_librarian ? &m_librarian->bankLock() : nullptr);
  if (m_librarian) followLibrary();
  if (m_root) return;
  if (!m_librarian) {
    m_menus.push_back(std::make_unique<IPopupMenu>());
    m_root = m_menus.back().get();
    return;
  }
  walkIndex(true);
  const int checked = m_checkedRank;
  m_checkedRank = -1;
  setCheckedRank(checked);
}

void LibrarianBankMenu::dropMenus() const {
  m_root = nullptr;
  m_folderNames.clear();
  m_submenus.clear();
  m_itemBanks.clear();
  m_itemOfRank.clear();
  m_menus.clear();
}

IPopupMenu* LibrarianBankMenu::rootMenu() const {
  makeMenus();
  return m_root;
}

const std::vector<std::string>& LibrarianBankMenu::folderNames() const {
  makeMenus();
  return m_folderNames;
}

const std::vector<IPopupMenu*>& LibrarianBankMenu::submenus() const {
  makeMenus();
  return m_submenus;
}

bool LibrarianBankMenu::refreshFolderStructure(int selectedIndex, const std::string& fileName,
                                               const std::string& folderName) {
  if (!m_librarian) {
    dropMenus();
    return true;
  }
  UTIL_MutexLock lock(&m_librarian->bankLock());
  // The banks are listed again only when the library changed: a bank change moves the check mark.
  followLibrary();
  // The mark goes to the first item with the names, or to the item at the position asked for,
  // whichever comes first.
  int rank = selectedIndex >= 0 && selectedIndex < static_cast<int>(m_listed.size()) ? selectedIndex : -1;
  for (int r : ranksNamed(fileName)) {
    if (rank >= 0 && r > rank) break;
    if (shownFolder(m_listed[static_cast<size_t>(r)]) == folderName) {
      rank = r;
      break;
    }
  }
  setCheckedRank(rank);

  // Every bank with the current names becomes the grid's selection.
  const std::vector<PatchFile*>& flat = m_librarian->flatList(m_config.list);
  for (int pos : m_librarian->flatPositionsNamed(m_config.list, fileName)) {
    const PatchFile* f = flat[static_cast<size_t>(pos)];
    const bool rootLevel = f->folderChain.size() == 1;
    if (f->folderName != folderName && !(rootLevel && folderName == kRootFolderName)) continue;
    librarianSetSelectionParam(GetPlug(), selectionParam(), pos, true);
    (m_config.grid == 0 ? m_librarian->upperSelection : m_librarian->lowerSelection) = pos;
    if (m_config.recheck) checkMenuItemAlone(pos);
  }
  return true;
}

void LibrarianBankMenu::checkMenuItemAlone(int index) {
  if (!m_librarian) return;
  UTIL_MutexLock lock(&m_librarian->bankLock());
  followLibrary();
  const std::vector<PatchFile*>& flat = m_librarian->flatList(m_config.list);
  if (index < 0 || index >= static_cast<int>(flat.size())) return;
  const PatchFile* target = flat[static_cast<size_t>(index)];
  // A bank without a name has no item: every mark goes.
  int best = -1;
  if (target && !target->fileName.empty()) {
    // The first of the items that are that bank, in the order of the menus that hold them (the
    // root menu's items come last).
    auto before = [this](int a, int b) {
      const bool ra = m_listed[static_cast<size_t>(a)].asRoot, rb = m_listed[static_cast<size_t>(b)].asRoot;
      return ra != rb ? rb : a < b;
    };
    for (int r : ranksNamed(target->fileName))
      if (findInFlatList(m_listed[static_cast<size_t>(r)]) == index && (best < 0 || before(r, best))) best = r;
  }
  setCheckedRank(best);
}

int LibrarianBankMenu::doPopupMenu(int& index) {
  m_choseBank = false;
  IGraphics* g = GetPlug() ? GetPlug()->GetGUI() : nullptr;
  if (!g) return 0;
  IPopupMenu* root = rootMenu();
  IPopupMenu* chosen = root ? g->CreateIPopupMenu(root, &mRECT) : nullptr;
  if (!chosen) {
    dropMenus();
    return 0;
  }
  LibrarianBankName names;
  bool resolved = false;
  int found = -1;
  int rank = -1;
  {
    UTIL_MutexLock lock(m_librarian ? &m_librarian->bankLock() : nullptr);
    for (size_t k = 0; k < m_submenus.size() && !resolved; ++k) {
      if (m_submenus[k] != chosen) continue;
      resolved = true;
      const int item = chosen->GetChosenItemIdx();
      const std::vector<ItemBank>& banks = m_itemBanks[k];
      if (item < 0 || item >= static_cast<int>(banks.size()) || banks[static_cast<size_t>(item)].fileName.empty())
        continue;
      // The item's bank is looked up by its names: the library may have been read again while
      // the popup was open.
      const ItemBank& bank = banks[static_cast<size_t>(item)];
      rank = bank.rank;
      names.fileName = bank.fileName;
      names.folderName = m_folderNames[k];
      if (m_librarian) found = findInFlatList(bank.chain, bank.fileName, bank.folderName);
    }
    setCheckedRank(rank);
  }
  dropMenus();
  // The names follow only a bank that is in the list, so names and selection never disagree
  // (a category with no sounds has a menu item but no bank).
  if (found >= 0) {
    m_choseBank = true;
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
  if (view && tab && tab->Int() == 1) view->patchSelectionUpperChanged();
  // The chosen bank's position is deliberately not pushed into a program or bank parameter: it
  // is a library position, not a device number.
  m_host->updateBankAndProgramMenuNames(m_config.list == LibrarianList::kSound);
  // A menu closed without a bank sends nothing: the entry under the cursor would overwrite the
  // part's sound on the synth for a choice the user never made.
  if (!view || !m_librarian || !m_choseBank) return;
  const int cursor = view->keyboardCursor();
  if (cursor < 0) return;  // no slot to send
  m_librarian->selectedSlot = cursor;
  // The entry comes from the bank just chosen, the upper grid's, whichever grid was used last.
  m_host->sendPatchToDeviceFromLibrarian(cursor, LibrarianViewControl::kUpperGrid, m_host->currentPart());
}
