// The librarian's popup-menu controls: the six bank selection menus with which the user picks
// the bank of a grid, the two bank-name menus of library-names mode, the device program and bank
// number menus, and the three action menus (bank edit, slot edit, slot copy).
//
// Every menu is an invisible control: it fills its rectangle with the fully transparent colour
// and opens its menu on any click. All run on the GUI thread; the popups are modal there. The
// bank menus read the library under its bank lock while they build or resolve a choice, and
// remember each item's bank by names (folder chain and file name), never by pointer, so a
// reload between a rebuild and a choice can never make them touch a freed bank.
//
// Ownership: a control owns its menus and their items (a submenu is referenced, not owned, by the
// item that opens it). It owns neither the librarian nor the host.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "IControl.h"
#include "IPopupMenu.h"
#include "LibrarianViewHost.h"
#include "PatchLibrarian.h"

// The folder index of each flat list (LibrarianList, PatchLibrarian.h).
std::vector<FolderFiles*>& librarianFolderIndex(PatchLibrarian& librarian, LibrarianList list);

// Sets a selection parameter from the plug-in side to a flat-list position: the raw value held
// to the parameter's range, optionally pushed through the graphics object, and its main control
// (element 0 of its binding's controls) given the matching normalised value. No handler runs.
void librarianSetSelectionParam(IPluginBase* plug, int paramIdx, int position, bool throughGraphics);

bool librarianDrawInvisible(IGraphics* graphics, IRECT* rect);

// Shared body of the bank selection and bank-name menus.
//
// A menu keeps, per library, only the list of the banks it offers in the order of its items (a
// few bytes per bank) and which of them carries the check mark; its popup menus and their items
// are made when they are looked at (rootMenu, submenus, a click) and dropped again when the popup
// closes, so a library of thousands of banks costs no menu items while nobody looks at them.
class LibrarianBankMenu : public IControl {
public:
  enum class Layout {
    kFolders,     // three-level folder index; root-level files in the root menu as "Patches"
    kCategories,  // one submenu per category, no root-level items
    kFlat,        // search results: every bank an item of the root menu, as "Patches"
  };
  struct Config {
    LibrarianList list;
    Layout layout;
    int grid;                          // 0 upper, 1 lower
    LibrarianBankRecord namesAtStart;  // the names the constructor marks
    LibrarianBankRecord namesChosen;   // the names a choice writes
    bool recheck;                      // the rebuild's final pass moves the check mark too
  };

  LibrarianBankMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect, LibrarianUIHost* host,
                    const Config& config);
  ~LibrarianBankMenu() override;

  // Follows the library and marks the bank named fileName in folderName, or else the bank-file
  // item at overall position selectedIndex; then every bank of the flat list with those names
  // becomes this grid's selection. Always true.
  bool refreshFolderStructure(int selectedIndex, const std::string& fileName, const std::string& folderName);
  // Rebuilds the menu as the constructor made it: position 0 and the names the host keeps for
  // this menu's start.
  void rebuildAsMade();
  // Moves the check mark to the item of the bank at flat-list position index; a position outside
  // the list changes nothing.
  void checkMenuItemAlone(int index);
  // Opens the menu. A chosen bank found in the flat list goes to index and the editor's current
  // names; returns index after a choice, 0 when nothing was chosen. choseBank() tells afterwards
  // whether a bank was taken (false after a dismissal or for a bank no longer in the list).
  int doPopupMenu(int& index);
  bool choseBank() const { return m_choseBank; }

  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;

  // The menus as they are shown (made now if need be).
  IPopupMenu* rootMenu() const;
  const std::vector<std::string>& folderNames() const;
  const std::vector<IPopupMenu*>& submenus() const;
  int chosenIndex() const { return m_chosenIndex; }

protected:
  // What a click does after the choice is resolved and applied to the selection.
  virtual void afterClick();

  PatchLibrarian* m_librarian;
  LibrarianUIHost* m_host;
  Config m_config;
  int m_chosenIndex = 0;
  bool m_choseBank = false;

private:
  // A bank the menu offers, in item order: shown in the root menu as "Patches" or under its
  // folder. The pointer is valid only while the library is as it was listed (m_listedFrom).
  struct Listed {
    const PatchFile* file;
    bool asRoot;
  };
  // What an item of a made menu stands for, by names: a reload while the popup is open must not
  // make a choice touch a freed bank.
  struct ItemBank {
    std::vector<std::string> chain;
    std::string fileName;
    std::string folderName;
    int rank = -1;   // position in m_listed; -1 for an item that opens a submenu
  };
  struct BuildKey {
    uint64_t generation = 0;
    size_t flatSize = 0, indexSize = 0;
    bool loading = false;
    bool operator==(const BuildKey& o) const {
      return generation == o.generation && flatSize == o.flatSize && indexSize == o.indexSize && loading == o.loading;
    }
  };
  // Hold the bank lock for all of these.
  BuildKey currentKey() const;
  // Lists the library's banks again when it changed since they were listed.
  void followLibrary() const;
  // Walks the folder index in item order; with menus, makes them on the way.
  void walkIndex(bool makeMenus) const;
  void makeMenus() const;
  void dropMenus() const;
  const std::string& shownFolder(const Listed& l) const;
  // Ranks of the listed banks named fileName, ascending.
  std::vector<int> ranksNamed(const std::string& fileName) const;
  // Flat-list position of a listed bank as its item names it, or -1.
  int findInFlatList(const std::vector<std::string>& chain, const std::string& fileName,
                     const std::string& folderName) const;
  int findInFlatList(const Listed& l) const;
  void setCheckedRank(int rank) const;
  int selectionParam() const;

  mutable std::vector<Listed> m_listed;
  mutable std::vector<uint32_t> m_byName;   // ranks sorted by file name, then rank
  mutable BuildKey m_listedFrom;
  mutable bool m_everListed = false;
  mutable int m_checkedRank = -1;
  // The menus, while made.
  mutable IPopupMenu* m_root = nullptr;
  mutable std::vector<std::unique_ptr<IPopupMenu>> m_menus;  // every menu of the current build
  mutable std::vector<std::string> m_folderNames;            // parallel to m_submenus
  mutable std::vector<IPopupMenu*> m_submenus;               // menus that hold bank-file items
  mutable std::vector<std::vector<ItemBank>> m_itemBanks;    // per registered submenu, per item
  mutable std::vector<std::pair<IPopupMenu*, int>> m_itemOfRank;
};

class LeftPatchPopupMenu : public LibrarianBankMenu {
public:
  LeftPatchPopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect, LibrarianUIHost* host);
};
class RightPatchPopupMenu : public LibrarianBankMenu {
public:
  RightPatchPopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect, LibrarianUIHost* host);
};
class LeftPerfPopupMenu : public LibrarianBankMenu {
public:
  LeftPerfPopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect, LibrarianUIHost* host);
};
class RightPerfPopupMenu : public LibrarianBankMenu {
public:
  RightPerfPopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect, LibrarianUIHost* host);
};
class RightCategoryPopupMenu : public LibrarianBankMenu {
public:
  RightCategoryPopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect, LibrarianUIHost* host);
};
class RightSearchPopupMenu : public LibrarianBankMenu {
public:
  RightSearchPopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect, LibrarianUIHost* host);
};

// Lies under the upper bank menus, over the upper selection list. While received or renamed
// entries are unsaved the editor hides the upper bank menu (choosing another bank would drop
// them); a click then lands here and the status line says why nothing opens.
class UnsavedBankNotice : public IControl {
public:
  UnsavedBankNotice(IPluginBase* plug, IRECT rect, LibrarianUIHost* host) : IControl(plug, rect, -1), m_host(host) {}
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override { return librarianDrawInvisible(graphics, &mRECT); }

private:
  LibrarianUIHost* m_host;
};

// Library-names mode: picks the upper grid's bank by name, refreshes the number menus and sends
// the entry at the view's keyboard cursor; a dismissed menu refreshes them but sends nothing.
class ProgBankNamePopupMenu : public LibrarianBankMenu {
public:
  ProgBankNamePopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect, LibrarianUIHost* host);
  bool refreshPatchNames(int selectedIndex, const std::string& fileName, const std::string& folderName) {
    return refreshFolderStructure(selectedIndex, fileName, folderName);
  }

protected:
  ProgBankNamePopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect, LibrarianUIHost* host,
                        const Config& config);
  void afterClick() override;
};
class PerfBankNamePopupMenu : public ProgBankNamePopupMenu {
public:
  PerfBankNamePopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect, LibrarianUIHost* host);
};

// The synthesizer's program: ten submenus of ten items, numbered or (library-names mode) the
// entry names of the upper selection's bank.
class ProgramNumberPopupMenu : public IControl {
public:
  ProgramNumberPopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect, LibrarianUIHost* host);
  ~ProgramNumberPopupMenu() override = default;

  bool refreshPatchNames(int program);
  // Carries out a choice; returns the chosen item's index within its submenu, 0 without one.
  int doPopupMenu(int& index);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  // Shows the program as the menu numbers it ("001" to "100") in the display's lettering.
  bool Draw(IGraphics* graphics) override;
  // Also dirty while the program shown differs from the parameter (set from anywhere).
  bool IsDirty() override;

  static constexpr int kGroups = 10;
  IPopupMenu* rootMenu() { return m_root.get(); }
  IPopupMenu* groupMenu(int k) { return (k >= 0 && k < kGroups) ? m_groups[k].get() : nullptr; }

private:
  int programParam() const;
  void clearMarks();
  std::string shownText() const;

  int m_chosenIndex = 0;
  std::string m_drawn;
  LibrarianUIHost* m_host;
  PatchLibrarian* m_librarian;
  std::unique_ptr<IPopupMenu> m_root;
  std::unique_ptr<IPopupMenu> m_groups[kGroups];
};

// The synthesizer's bank: "Bank 0 (RAM)" in multi mode, else banks A, B and C.
class BankNumberPopupMenu : public IControl {
public:
  BankNumberPopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect, LibrarianUIHost* host);
  ~BankNumberPopupMenu() override = default;

  // False in multi mode.
  bool refreshPatchNames(int bank);
  int doPopupMenu(int& index);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  // Shows the bank ("A" to "C"; "0" for the multis) in the display's lettering.
  bool Draw(IGraphics* graphics) override;
  bool IsDirty() override;
  IPopupMenu* menu() { return m_menu.get(); }

private:
  int bankParam() const;
  std::string shownText() const;

  int m_chosenIndex = 0;
  std::string m_drawn;
  LibrarianUIHost* m_host;
  std::unique_ptr<IPopupMenu> m_menu;
};

// The librarian page's command button: requests, stores, sync, push, save, import, refresh.
class BankEditPopupMenu : public IControl {
public:
  BankEditPopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect, LibrarianUIHost* host);
  // Refills every menu for the editor's data type.
  void AddMenuItemsIn();
  void doPopupMenu();
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;

  enum Sub { kMain = 0, kSoundRequest, kMultiRequest, kSoundStore, kMultiStore, kSaveAs, kImport, kNumMenus };
  IPopupMenu* menu(int which) { return (which >= 0 && which < kNumMenus) ? m_menus[which].get() : nullptr; }
  // Carries out the item `item` of menu `which` (what a choice in the popup does).
  void choose(int which, int item);

private:
  void chooseMain(int item);
  void saveOverCurrentBank();
  void saveAs(bool midi);
  // After a save: a bank saved into the library is listed (newFile) and the upper bank's changes
  // are no longer unsaved; the status line says so.
  void bankSaved(bool intoLibrary, bool newFile);
  void importBank(bool midi);
  // Path of the upper bank's file, or empty. Hold the bank lock.
  std::string upperBankPath() const;

  LibrarianUIHost* m_host;
  PatchLibrarian* m_librarian;
  std::unique_ptr<IPopupMenu> m_menus[kNumMenus];
};

// Right click on a slot of the upper grid: paste, rename, initialise, fetch data for the slot.
class FileEditPopupMenu : public IControl {
public:
  FileEditPopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect, LibrarianUIHost* host);
  void AddMenuItemsIn();
  void doPopupMenu(int x, int y);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;
  IPopupMenu* mainMenu() { return &m_main; }
  IPopupMenu* getDataMenu() { return &m_getData; }
  void choose(IPopupMenu* menu, int item, int x, int y);

private:
  LibrarianUIHost* m_host;
  IPopupMenu m_main;
  IPopupMenu m_getData;
};

// Right click anywhere else in the view: "Copy".
class FileCopyPopupMenu : public IControl {
public:
  FileCopyPopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect, LibrarianUIHost* host);
  void doPopupMenu(int x, int y);
  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  bool Draw(IGraphics* graphics) override;
  IPopupMenu* menu() { return &m_menu; }

private:
  LibrarianUIHost* m_host;
  IPopupMenu m_menu;
};

// The import panel: asks for a bank file (Standard MIDI File or raw SysEx) and copies it into the
// library folder; then says so and reloads the library, opening the new bank in the upper grid
// when it is of the editor's data type; with received entries still unsaved it does not reload
// (the user is told to refresh after saving). False when nothing was imported.
bool librarianImportBankFile(IPluginBase* plug, PatchLibrarian* librarian, LibrarianUIHost* host, bool midi);

// Fills the control's rectangle with the fully transparent colour, no blend.
bool librarianDrawInvisible(IGraphics* graphics, IRECT* rect);
// Writes text centred in rect in the editor display's yellow lettering, sized to the rectangle.
bool librarianDrawDisplayText(IGraphics* graphics, IRECT* rect, const std::string& text);

// The status text for a bank menu that stays shut while entries are unsaved.
extern const char* const kLibrarianSaveOrDiscardText;
// What the bank menus and the slot grid show while the library is still being read.
extern const char* const kLibrarianLoadingText;
