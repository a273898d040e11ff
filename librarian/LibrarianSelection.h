// The selection lists: enumerated parameters whose display texts mirror the librarian's flat
// lists of bank files (entry i names the bank at position i), and the switch between the list
// kinds when the data type, the category view or the search view changes or the library is read
// again.
//
// Threads: GUI thread / the parameter-change handler's thread. The bank lists are read under the
// librarian's bank lock; the parameters are written as the editor core writes its own controls'
// parameters (the handler runs under the plug-in's lock).
#pragma once

#include <string>

class IPluginBase;
class PatchLibrarian;
class LibrarianUIHost;

// List kinds of librarianPatchTypeChanged.
constexpr int kListSoundBanks = 0;
constexpr int kListCategoryBanks = 1;
constexpr int kListMultiBanks = 2;
constexpr int kListSearchBanks = 4;

// What a selection list shows while its kind has no bank at all.
constexpr const char* kNoBankText = "No bank";

// Shortens bank file names for the selection lists. One pass covers one list: long names with
// the same first 47 bytes (fewer where a character of UTF-8 would be split) are numbered 1, 2,
// 3... in list order.
class LibrarianDisplayNamePass {
public:
  static constexpr size_t kMaxShownName = 52;
  static constexpr size_t kPrefixLength = 47;
  static constexpr size_t kMaxDisplayText = 55;  // what a parameter's display text holds

  // The display text of fileName; *shortened tells whether it differs from the name.
  std::string displayName(const std::string& fileName, bool* shortened = nullptr);

private:
  std::string m_prefix;
  int m_counter = 0;
};

// Sets the librarian's patch type, optionally reloads the library from the host's library
// folder, resets both selections, empties and refills the selection lists of listKind and has
// the host rebuild its bank menus. A list kind other than 0, 1, 2 and 4 only sets the type and
// the selections and refreshes the grids.
void librarianPatchTypeChanged(IPluginBase* plug, PatchLibrarian& librarian, LibrarianUIHost& host,
                               int patchType, int listKind, bool reload);

// Rewrites the display texts of the current data type's lists from the library as loaded,
// without emptying them or changing any value, then refreshes both grids.
void librarianResetPatchSelectionMenus(IPluginBase* plug, PatchLibrarian& librarian, LibrarianUIHost& host);
