// The bank-edit menu and the two slot menus: contents by data type and what each choice does.
#include "LibguiTestSupport.h"
#include "LibrarianMenus.h"

using namespace libgui;

namespace {

class ActionMenus : public ::testing::Test, public LibraryFixture {
protected:
  void SetUp() override {
    writeSounds("Factory/a.syx", "Alpha");
    writeSounds("b.syx", "Beta");
    load();
    IBitmap none;
    view = std::make_unique<LibrarianViewControl>(&plug, &host, 0, 300, kLibrarianArea, &none, IRECT(), &lib, 1.0);
    host.view = view.get();
    plug.GetParam(kRefreshFolders)->InitBool("Refresh", false);
  }
  void choose(BankEditPopupMenu& menu, std::vector<std::string> path) {
    graphics->path = std::move(path);
    menu.OnMouseDown(0, 0, nullptr);
  }
  std::unique_ptr<LibrarianViewControl> view;
  IRECT rect{839, 187, 916, 205};
};

}  // namespace

TEST_F(ActionMenus, BankEditMenuFollowsTheDataType) {
  BankEditPopupMenu menu(&plug, &lib, rect, &host);
  const std::vector<std::string> tail{"",           "Sync Current Data from HW", "Push Current Multi to HW", "",
                                      "Save (Overwrite current bank)", "Save As...", "", "Import...",
                                      "Refresh Folders", "", "Open Data Folder", "About..."};
  std::vector<std::string> sounds{"Request Patch Data", "", "Store Patch Data"};
  sounds.insert(sounds.end(), tail.begin(), tail.end());
  EXPECT_EQ(texts(menu.menu(BankEditPopupMenu::kMain)), sounds);
  EXPECT_EQ(menu.menu(BankEditPopupMenu::kSoundRequest)->GetNItems(), 7);
  EXPECT_EQ(menu.menu(BankEditPopupMenu::kMultiRequest)->GetNItems(), 0);
  host.multi = true;
  menu.AddMenuItemsIn();
  EXPECT_EQ(std::string(menu.menu(BankEditPopupMenu::kMain)->GetItemText(0)), "Request Multi Data");
  EXPECT_EQ(std::string(menu.menu(BankEditPopupMenu::kMain)->GetItemText(2)), "Store Multi Data");
  EXPECT_EQ(menu.menu(BankEditPopupMenu::kSoundRequest)->GetNItems(), 0);
  EXPECT_EQ(texts(menu.menu(BankEditPopupMenu::kMultiStore)),
            (std::vector<std::string>{"To Currently Selected Slot & Bank", "All Multis from Current Bank"}));
}

TEST_F(ActionMenus, RequestsAndSyncStartTheirJobs) {
  BankEditPopupMenu menu(&plug, &lib, rect, &host);
  host.part = 2;
  choose(menu, {"Request Patch Data", "from Active Slot to Plug-in GUI"});
  choose(menu, {"Request Patch Data", "from Active Slot to Librarian"});
  choose(menu, {"Sync Current Data from HW"});
  ASSERT_EQ(host.jobs.size(), 3u);
  EXPECT_EQ(host.jobs[0].code, kJobRequestPartSound);
  EXPECT_EQ(host.jobs[0].part, 2);
  EXPECT_TRUE(host.jobs[0].toEditor && host.jobs[0].setManagerToEditor);
  EXPECT_FALSE(host.jobs[1].toEditor);
  EXPECT_EQ(host.jobs[2].code, kJobRequestActiveMulti);
  EXPECT_TRUE(host.jobs[2].toEditor);
  plug.GetParam(kMultiPartBank + 2)->Set(2);
  choose(menu, {"Request Patch Data", "from Selected Program Slot"});
  choose(menu, {"Request Patch Data", "All Patches from Bank C"});
  EXPECT_EQ(host.calls, (std::vector<std::string>{"singleRequest stored 2", "allRequest 2"}));
  host.multi = true;
  menu.AddMenuItemsIn();
  choose(menu, {"Request Multi Data", "from Temp Buffer to Plug-in GUI"});
  EXPECT_EQ(host.jobs.back().code, host.jobs[2].code) << "the same job as the sync";
  choose(menu, {"Request Multi Data", "All Multis from Selected Bank"});
  EXPECT_EQ(host.jobs.back().code, kJobRequestAllMultis);
  EXPECT_TRUE(host.jobs.back().clearParseComplete);
}

TEST_F(ActionMenus, PushAndStoreNeedMidiAndStoreOneSlotWithoutTouchingOthers) {
  BankEditPopupMenu menu(&plug, &lib, rect, &host);
  host.midiSet = false;
  choose(menu, {"Push Current Multi to HW"});
  EXPECT_TRUE(host.jobs.empty());
  host.midiSet = true;
  choose(menu, {"Push Current Multi to HW"});
  ASSERT_EQ(host.jobs.size(), 1u);
  EXPECT_EQ(host.jobs[0].code, kJobMultiDump);
  EXPECT_FALSE(host.jobs[0].storeInLibrarian);
  EXPECT_TRUE(host.jobs[0].setEditorTransfer);
  lib.selectedSlot = 42;
  plug.GetParam(kMultiPartBank)->Set(1);
  choose(menu, {"Store Patch Data", "To Currently Selected Slot & Bank"});
  choose(menu, {"Store Patch Data", "All Current Patches to Bank B"});
  EXPECT_EQ(host.calls, (std::vector<std::string>{"storeSlot 42 1", "storeAll 0 0 1"}));
}

TEST_F(ActionMenus, SaveOverwritesTheUpperBanksOwnFileAndSaveAsAsksForAPath) {
  BankEditPopupMenu menu(&plug, &lib, rect, &host);
  lib.upperSelection = soundIndex("a.syx");
  const testbanks::Bytes before = testbanks::readFile(home.patches() + "/Factory/a.syx");
  renameLibrarianEntry(lib, 3, "Renamed");
  plug.GetParam(kBankEditUnsaved)->Set(1);
  choose(menu, {"Save (Overwrite current bank)"});
  EXPECT_NE(testbanks::readFile(home.patches() + "/Factory/a.syx"), before);
  EXPECT_EQ(plug.changes, std::vector<int>{kDiscardBankData}) << "the unsaved state did not end";
  EXPECT_EQ(host.statuses.back(), "Bank saved!");
  plug.changes.clear();
  plug.GetParam(kBankEditUnsaved)->Set(0);
  lib.initBankFilesOnDiscard(home.patches());
  lib.upperSelection = soundIndex("a.syx");
  EXPECT_EQ(lib.selectedUpperBank()->entries[3].name, "Renamed         ");
  EXPECT_EQ(lib.soundBankFiles.size(), 2u) << "no bank lost or added";

  graphics->file = "";
  choose(menu, {"Save As...", "Standard MIDI (*.mid)"});  // cancelled
  EXPECT_EQ(graphics->lastAction, kFileSave);
  EXPECT_EQ(graphics->lastExt, "mid");
  EXPECT_EQ(graphics->lastDir, home.patches()) << "the panel opens in the library";
  graphics->file = home.base() + "/copy.mid";
  choose(menu, {"Save As...", "Standard MIDI (*.mid)"});
  const testbanks::Bytes mid = testbanks::readFile(home.base() + "/copy.mid");
  ASSERT_GE(mid.size(), 4u);
  EXPECT_EQ(std::string(mid.begin(), mid.begin() + 4), "MThd");
  EXPECT_TRUE(plug.changes.empty()) << "a bank saved outside the library is not listed";
  // Saved into the library, the bank is listed at once.
  graphics->file = home.patches() + "/Saved.mid";
  choose(menu, {"Save As...", "Standard MIDI (*.mid)"});
  EXPECT_EQ(plug.changes, std::vector<int>{kRefreshFolders});
}

TEST_F(ActionMenus, ImportCopiesIntoTheLibraryAndReloadsOnlyWithoutUnsavedData) {
  BankEditPopupMenu menu(&plug, &lib, rect, &host);
  const std::string src = home.base() + "/Warm Pads.syx";
  testbanks::writeFile(src, testbanks::rawBank(testbanks::sounds(100, "Warm", {"Pad "}), 30001));
  graphics->file = src;
  plug.GetParam(kBankEditUnsaved)->Set(1);
  choose(menu, {"Import...", "SysEx (*.syx / *.zpk)"});
  EXPECT_EQ(graphics->lastExt, "syx zpk");
  EXPECT_EQ(testbanks::readFile(home.patches() + "/Warm Pads.syx"), testbanks::readFile(src));
  EXPECT_TRUE(plug.changes.empty()) << "no reload over unsaved entries";
  choose(menu, {"Refresh Folders"});
  EXPECT_TRUE(plug.changes.empty());
  EXPECT_EQ(host.statuses.size(), 2u);
  plug.GetParam(kBankEditUnsaved)->Set(0);
  graphics->file = "";
  choose(menu, {"Import...", "SysEx (*.syx / *.zpk)"});
  EXPECT_TRUE(plug.changes.empty()) << "a cancelled panel does nothing";
  choose(menu, {"Refresh Folders"});
  EXPECT_EQ(plug.changes, std::vector<int>{kRefreshFolders});
  // A good import says so and opens the new bank (the same name again: a copy beside it).
  plug.onChange = [this](int p) { if (p == kRefreshFolders) load(); };
  graphics->file = src;
  choose(menu, {"Import...", "SysEx (*.syx / *.zpk)"});
  EXPECT_EQ(host.statuses.back(), "Imported: Warm Pads (2).syx");
  EXPECT_EQ(host.names[0].fileName, "Warm Pads (2).syx");
  EXPECT_EQ(host.calls.back(), "refreshPopUpMenus");
}

TEST_F(ActionMenus, AboutAndDataFolderAndDismissal) {
  BankEditPopupMenu menu(&plug, &lib, rect, &host);
  choose(menu, {"About..."});
  EXPECT_TRUE(host.layer("aboutWindow")->isVisible());
  choose(menu, {"Open Data Folder"});
  EXPECT_EQ(host.calls, std::vector<std::string>{"openDataDirectory"});
  choose(menu, {});
  EXPECT_EQ(host.calls.size(), 1u);
  for (int m = 0; m < BankEditPopupMenu::kNumMenus; ++m)
    for (int i = 0; i < menu.menu(m)->GetNItems(); ++i) EXPECT_FALSE(menu.menu(m)->IsItemChecked(i));
}

TEST_F(ActionMenus, SlotEditMenuActsOnTheClickedSlot) {
  lib.upperSelection = soundIndex("a.syx");
  lib.lowerSelection = soundIndex("b.syx");
  view->patchSelectionUpperChanged();
  view->patchSelectionLowerChanged();
  const IRECT lower = view->slotRect(1, 8), upper = view->slotRect(0, 9);
  FileCopyPopupMenu copy(&plug, &lib, IRECT(lower.L, lower.T, lower.L, lower.T), &host);
  EXPECT_EQ(texts(copy.menu()), std::vector<std::string>{"Copy"});
  graphics->path = {"Copy"};
  copy.doPopupMenu(lower.L, lower.T);
  EXPECT_EQ(view->copiedSlot(), 8);

  FileEditPopupMenu edit(&plug, &lib, IRECT(upper.L, upper.T, upper.L, upper.T), &host);
  EXPECT_EQ(texts(edit.mainMenu()), (std::vector<std::string>{"Paste", "", "Rename", "", "Initialize Slot",
                                                               "Get DATA from.."}));
  graphics->path = {"Paste"};
  edit.doPopupMenu(upper.L, upper.T);
  ASSERT_EQ(host.fed.size(), 1u);
  const SysexBytes& from = lib.soundBankFiles[static_cast<size_t>(lib.lowerSelection.load())]->entries[8].messages[0].bytes;
  EXPECT_TRUE(std::equal(from.begin() + 7, from.end() - 2, host.fed[0].begin() + 7));  // its address is slot 9's
  EXPECT_EQ(lib.selectedSlot, 9);

  graphics->path = {"Initialize Slot"};
  edit.doPopupMenu(upper.L, upper.T);
  ASSERT_EQ(host.jobs.size(), 1u);
  EXPECT_EQ(host.jobs[0].code, kJobInitSoundSlot);
  EXPECT_FALSE(host.jobs[0].checkFlag);
  graphics->path = {"Get DATA from..", "Plug-in (active patch)"};
  host.part = 5;
  edit.doPopupMenu(upper.L, upper.T);
  EXPECT_EQ(host.jobs[1].code, kJobPartSoundDump);
  EXPECT_EQ(host.jobs[1].part, 5);
  EXPECT_TRUE(host.jobs[1].storeInLibrarian);
  plug.GetParam(kMultiPartBank + 5)->Set(2);
  graphics->path = {"Get DATA from..", "Hardware by Prog No."};
  edit.doPopupMenu(upper.L, upper.T);
  EXPECT_EQ(host.calls.back(), "singleRequest stored 2") << "the part's bank; the program is the slot";
  host.multi = true;
  edit.doPopupMenu(upper.L, upper.T);
  EXPECT_EQ(host.calls.back(), "armMultiCapture");
  EXPECT_EQ(host.jobs.back().code, kJobRequestStoredMulti);
}
