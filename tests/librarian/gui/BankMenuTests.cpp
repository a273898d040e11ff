// The bank selection menus, the bank-name menus and the device program and bank number menus,
// built from a generated library.
#include "LibguiTestSupport.h"
#include "LibrarianMenus.h"

using namespace libgui;

namespace {

class BankMenus : public ::testing::Test, public LibraryFixture {
protected:
  void SetUp() override {
    writeSounds("Factory/Pads/p1.syx", "Pad");
    writeSounds("Factory/f1.syx", "Fac");
    writeSounds("Factory/same.syx", "FacSame");
    writeSounds("User/same.syx", "UserSame");
    writeSounds("root1.syx", "Root1");
    writeSounds("root2.syx", "Root2");
    writeMultis("Multis/m1.syx", "Multi");
    load();
    IBitmap none;
    view = std::make_unique<LibrarianViewControl>(&plug, &host, 0, 300, kLibrarianArea, &none, IRECT(), &lib, 1.0);
    host.view = view.get();
  }
  int indexOf(const std::string& folder, const std::string& file) const {
    for (size_t i = 0; i < lib.soundBankFiles.size(); ++i)
      if (lib.soundBankFiles[i]->fileName == file && lib.soundBankFiles[i]->folderName == folder)
        return static_cast<int>(i);
    return -1;
  }
  int totalChecks(const LibrarianBankMenu& m) const {
    int n = 0;
    for (IPopupMenu* s : m.submenus()) n += static_cast<int>(checked(s).size());
    return n;
  }
  std::unique_ptr<LibrarianViewControl> view;
  IRECT rect{394, 188, 810, 207};
};

}  // namespace

TEST_F(BankMenus, FoldersBecomeSubmenusWithSubFoldersFirstAndRootFilesLast) {
  LeftPatchPopupMenu menu(&plug, &lib, rect, &host);
  EXPECT_EQ(texts(menu.rootMenu()), (std::vector<std::string>{"Factory", "User", "root1.syx", "root2.syx"}));
  IPopupMenu* factory = sub(menu.rootMenu(), "Factory");
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(texts(factory), (std::vector<std::string>{"Pads", "f1.syx", "same.syx"}));
  EXPECT_EQ(texts(sub(factory, "Pads")), std::vector<std::string>{"p1.syx"});
  EXPECT_EQ(menu.folderNames(), (std::vector<std::string>{"Pads", "Factory", "User", "Patches"}));
}

TEST_F(BankMenus, AnEmptyListSaysSoInADisabledItem) {
  // An empty popup is all but invisible and swallows the next click without a word.
  PatchLibrarian empty;
  LeftPatchPopupMenu menu(&plug, &empty, rect, &host);
  ASSERT_EQ(texts(menu.rootMenu()), std::vector<std::string>{"(no banks)"});
  EXPECT_FALSE(menu.rootMenu()->GetItem(0)->GetEnabled());
}

TEST_F(BankMenus, CurrentBankIsMarkedByFolderAndNameAndSelected) {
  LeftPatchPopupMenu menu(&plug, &lib, rect, &host);
  menu.refreshFolderStructure(0, "same.syx", "User");
  const int user = indexOf("User", "same.syx");
  EXPECT_EQ(lib.upperSelection, user);
  EXPECT_EQ(plug.GetParam(kPatchSelectionListUpper)->Int(), user);
  EXPECT_EQ(checked(sub(menu.rootMenu(), "User")), std::vector<int>{0});
  EXPECT_TRUE(checked(sub(menu.rootMenu(), "Factory")).empty());
  EXPECT_EQ(totalChecks(menu), 1);
  // Root-level banks are matched under "Patches".
  menu.refreshFolderStructure(0, "root2.syx", "Patches");
  EXPECT_EQ(lib.upperSelection, indexOf("Patches", "root2.syx"));
  EXPECT_EQ(checked(menu.rootMenu()), std::vector<int>{3});
}

TEST_F(BankMenus, UnknownBankFallsBackToTheItemAtThePositionAndSelectsNothing) {
  LeftPatchPopupMenu menu(&plug, &lib, rect, &host);
  lib.upperSelection = 2;
  // Items in the order added: p1, f1, Factory/same, User/same, root1, root2.
  menu.refreshFolderStructure(3, "gone.syx", "Nowhere");
  EXPECT_EQ(checked(sub(menu.rootMenu(), "User")), std::vector<int>{0});
  EXPECT_EQ(lib.upperSelection, 2);
  menu.refreshFolderStructure(99, "gone.syx", "Nowhere");
  EXPECT_EQ(totalChecks(menu), 0);
}

TEST_F(BankMenus, ChoosingABankSelectsItRefillsTheGridAndMovesTheMark) {
  LeftPatchPopupMenu menu(&plug, &lib, rect, &host);
  menu.refreshFolderStructure(0, "root1.syx", "Patches");
  graphics->path = {"Factory", "Pads", "p1.syx"};
  menu.OnMouseDown(400, 190, nullptr);
  const int p1 = indexOf("Pads", "p1.syx");
  EXPECT_EQ(lib.upperSelection, p1);
  EXPECT_EQ(view->slotControl(0, 0)->GetTextCopy().substr(0, 3), "Pad");
  EXPECT_EQ(host.names[0].fileName, "p1.syx");
  EXPECT_EQ(host.names[0].folderName, "Pads");
  EXPECT_EQ(totalChecks(menu), 1);
  EXPECT_EQ(checked(sub(sub(menu.rootMenu(), "Factory"), "Pads")), std::vector<int>{0});
  EXPECT_EQ(graphics->lastRect, rect);
  // Dismissed: everything stays.
  graphics->path = {};
  menu.OnMouseDown(400, 190, nullptr);
  EXPECT_EQ(lib.upperSelection, p1);
  EXPECT_EQ(host.names[0].fileName, "p1.syx");
}

TEST_F(BankMenus, SameFileNameInTwoFoldersIsToldApart) {
  RightPatchPopupMenu menu(&plug, &lib, rect, &host);
  graphics->path = {"Factory", "same.syx"};
  menu.OnMouseDown(0, 0, nullptr);
  EXPECT_EQ(lib.lowerSelection, indexOf("Factory", "same.syx"));
  EXPECT_EQ(view->slotControl(1, 0)->GetTextCopy().substr(0, 7), "FacSame");
  menu.checkMenuItemAlone(indexOf("User", "same.syx"));
  EXPECT_EQ(checked(sub(menu.rootMenu(), "User")), std::vector<int>{0});
  EXPECT_TRUE(checked(sub(menu.rootMenu(), "Factory")).empty());
  menu.checkMenuItemAlone(500);  // outside the list: nothing changes
  EXPECT_EQ(totalChecks(menu), 1);
}

TEST_F(BankMenus, CategorySearchAndMultiMenusListTheirOwnBanks) {
  RightCategoryPopupMenu cat(&plug, &lib, rect, &host);
  ASSERT_GE(lib.categories.size(), 3u);
  EXPECT_EQ(cat.rootMenu()->GetNItems(), static_cast<int>(lib.categories.size()) - 1);
  for (int i = 0; i < cat.rootMenu()->GetNItems(); ++i) EXPECT_NE(cat.rootMenu()->GetItem(i)->GetSubmenu(), nullptr);

  lib.createNewSearchPatchFiles("Root");
  RightSearchPopupMenu search(&plug, &lib, rect, &host);
  ASSERT_GE(lib.searchBankFiles.size(), 2u);
  EXPECT_EQ(search.rootMenu()->GetNItems(), static_cast<int>(lib.searchBankFiles.size()));
  EXPECT_EQ(std::string(search.rootMenu()->GetItemText(1)), "Search Results 2");
  graphics->path = {"Search Results 2"};
  search.OnMouseDown(0, 0, nullptr);
  EXPECT_EQ(lib.lowerSelection, 1);

  LeftPerfPopupMenu perf(&plug, &lib, rect, &host);
  EXPECT_EQ(texts(perf.rootMenu()), std::vector<std::string>{"Multis"});
  EXPECT_EQ(texts(sub(perf.rootMenu(), "Multis")), std::vector<std::string>{"m1.syx"});
}

TEST_F(BankMenus, BankNameMenuSelectsTheUpperBankRefreshesMenusAndSendsTheCursorEntry) {
  ProgBankNamePopupMenu names(&plug, &lib, IRECT(1142, 60, 1180, 84), &host);
  plug.GetParam(kMainTab)->Set(1);
  IMouseMod left(true);
  view->OnMouseDown(0, 300 + 274 + 1, &left);  // the lower grid was used last
  view->setKeyboardCursor(7);
  graphics->path = {"User", "same.syx"};
  names.OnMouseDown(0, 0, nullptr);
  EXPECT_EQ(lib.upperSelection, indexOf("User", "same.syx"));
  EXPECT_EQ(host.names[static_cast<int>(LibrarianBankRecord::kUpperSound)].fileName, "same.syx");
  EXPECT_EQ(view->slotControl(0, 0)->GetTextCopy().substr(0, 8), "UserSame");
  EXPECT_EQ(host.calls, (std::vector<std::string>{"updateBankAndProgramMenuNames true", "fromLibrarian 7 0 0"}));
  EXPECT_EQ(lib.selectedSlot, 7);
  // Another tab: the grid is not refilled; the multi twin refreshes the bank menu too.
  plug.GetParam(kMainTab)->Set(2);
  PerfBankNamePopupMenu perf(&plug, &lib, IRECT(1142, 60, 1180, 84), &host);
  host.calls.clear();
  lib.patchType = 1;
  graphics->path = {"Multis", "m1.syx"};
  perf.OnMouseDown(0, 0, nullptr);
  EXPECT_EQ(lib.upperSelection, 0);
  EXPECT_EQ(view->slotControl(0, 0)->GetTextCopy().substr(0, 8), "UserSame");
  EXPECT_EQ(host.calls.front(), "updateBankAndProgramMenuNames false");
}

TEST_F(BankMenus, ProgramMenuListsNumberedSoundsOrTheUpperBanksNames) {
  ProgramNumberPopupMenu prog(&plug, &lib, IRECT(1184, 60, 1229, 84), &host);
  ASSERT_EQ(prog.rootMenu()->GetNItems(), 10);
  EXPECT_EQ(std::string(prog.rootMenu()->GetItemText(9)), "91-100");
  EXPECT_EQ(std::string(prog.groupMenu(0)->GetItemText(0)), "Sound 001");
  EXPECT_EQ(std::string(prog.groupMenu(9)->GetItemText(9)), "Sound 100");
  EXPECT_EQ(checked(prog.groupMenu(0)), std::vector<int>{0});
  prog.refreshPatchNames(99);
  EXPECT_EQ(checked(prog.groupMenu(9)), std::vector<int>{9});
  prog.refreshPatchNames(100);
  prog.refreshPatchNames(-1);
  for (int k = 0; k < 10; ++k) EXPECT_TRUE(checked(prog.groupMenu(k)).empty());

  host.libraryNames = true;
  plug.GetParam(kPatchSelectionListUpper)->Set(indexOf("Patches", "root1.syx"));
  prog.refreshPatchNames(0);
  const PatchFile* bank = lib.soundBankFiles[static_cast<size_t>(indexOf("Patches", "root1.syx"))];
  EXPECT_EQ(prog.groupMenu(9)->GetItemText(0), bank->entries[90].name);
  EXPECT_EQ(prog.groupMenu(9)->GetItemText(9), bank->entries[99].name);
}

TEST_F(BankMenus, ChoosingAProgramSetsTheParameterAndSendsOrRequests) {
  ProgramNumberPopupMenu prog(&plug, &lib, IRECT(1184, 60, 1229, 84), &host);
  host.part = 3;
  graphics->path = {"21-30", "Sound 023"};
  prog.OnMouseDown(0, 0, nullptr);
  EXPECT_EQ(plug.GetParam(kMultiPartPatch + 3)->Int(), 22);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"bankChange 3", "sendPatchToDevice 3 sound"}));
  EXPECT_EQ(checked(prog.groupMenu(2)), std::vector<int>{2});

  host.calls.clear();
  host.deviceRequest = true;
  prog.OnMouseDown(0, 0, nullptr);
  ASSERT_EQ(host.jobs.size(), 1u);
  EXPECT_EQ(host.jobs[0].code, kJobRequestPartSound);
  EXPECT_EQ(host.jobs[0].part, 3);

  host.jobs.clear();
  host.bankChangeOk = false;  // conflict: parameter set, nothing sent
  graphics->path = {"01-10", "Sound 005"};
  prog.OnMouseDown(0, 0, nullptr);
  EXPECT_EQ(plug.GetParam(kMultiPartPatch + 3)->Int(), 4);
  EXPECT_TRUE(host.jobs.empty());

  host.calls.clear();
  host.libraryNames = true;
  prog.refreshPatchNames(0);
  graphics->path = {"11-20", lib.soundBankFiles[0]->entries[14].name};
  prog.OnMouseDown(0, 0, nullptr);
  EXPECT_EQ(view->upperSelectedSlot(), 14);
  EXPECT_EQ(view->keyboardCursor(), 14);
  EXPECT_EQ(lib.selectedSlot, 14);
  EXPECT_EQ(host.calls, std::vector<std::string>{"fromLibrarian 14 0 3"});
}

TEST_F(BankMenus, BankMenuOffersThreeBanksOrOneInMultiMode) {
  BankNumberPopupMenu bank(&plug, &lib, IRECT(1142, 60, 1180, 84), &host);
  EXPECT_EQ(texts(bank.menu()), (std::vector<std::string>{"Bank A (RAM)", "Bank B (RAM)", "Bank C (RAM)"}));
  EXPECT_EQ(checked(bank.menu()), std::vector<int>{0});
  EXPECT_TRUE(bank.refreshPatchNames(3));
  EXPECT_TRUE(checked(bank.menu()).empty());
  graphics->path = {"Bank B (RAM)"};
  bank.OnMouseDown(0, 0, nullptr);
  EXPECT_EQ(plug.GetParam(kMultiPartBank)->Int(), 1);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"bankChange 0", "sendPatchToDevice 0 sound"}));

  host.multi = true;
  host.calls.clear();
  EXPECT_FALSE(bank.refreshPatchNames(0));
  EXPECT_EQ(texts(bank.menu()), std::vector<std::string>{"Bank 0 (RAM)"});
  EXPECT_TRUE(checked(bank.menu()).empty());
  graphics->path = {"Bank 0 (RAM)"};
  bank.OnMouseDown(0, 0, nullptr);
  EXPECT_EQ(host.calls, std::vector<std::string>{"bankChange 0"});
}
