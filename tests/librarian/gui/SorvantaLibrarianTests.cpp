// The librarian interface inside the whole editor object: its menu layers, the display glue and
// the parameters the editor core hands over.
#include <gtest/gtest.h>

#include <memory>

#include "BankGenerator.h"
#include "ControlLayer.h"
#include "EditorTestSupport.h"
#include "IParam.h"
#include "LibrarianMenus.h"
#include "LibrarianView.h"

using namespace editortest;

namespace {

class EditorLibrarian : public ::testing::Test {
protected:
  void SetUp() override {
    const std::string patches = env.dataFolder + "Patches";
    testbanks::makeFolders(patches + "/User");
    testbanks::writeFile(patches + "/a.syx", testbanks::rawBank(testbanks::sounds(100, "Alpha", {"Bass"}), 30001));
    testbanks::writeFile(patches + "/User/b.syx", testbanks::rawBank(testbanks::sounds(100, "Beta", {"Pad "}), 30001));
    testbanks::writeFile(patches + "/m.syx", testbanks::rawBank(testbanks::multis(100, "Multi"), 30001));
    plug = std::make_unique<RecordingSorvanta>(instanceInfo());
  }
  // The slot grid the shipped interface has (the test interface has none), on the editor's host.
  LibrarianViewControl* attachView() {
    IBitmap none;
    auto* v = static_cast<LibrarianViewControl*>(Sorvanta::makeLibrarianView(
        plug.get(), 0, 300, kLibrarianArea, &none, IRECT(), plug->getPatchLibrarian(), 1.0));
    plug->GetGUI()->AttachControl(v);
    plug->librarianView = v;
    return v;
  }
  bool shown(const char* layer) {
    ControlLayer* l = plug->getLayer(layer);
    return l && l->isVisible();
  }
  EditorEnvironment env;
  std::unique_ptr<RecordingSorvanta> plug;
};

}  // namespace

TEST_F(EditorLibrarian, MenusSitOnTheirOwnLayersScaledAndShownAsAtStart) {
  struct Row { const char* layer; int id; IRECT rect; bool visible; };
  const Row rows[] = {{"UPPERPOPUPMENU", 70, IRECT(394, 188, 810, 207), false},
                      {"LOWERPOPUPMENU", 71, IRECT(394, 461, 810, 480), false},
                      {"BANKEDITMENU", 74, IRECT(839, 187, 916, 205), false},
                      {"RightPatchPopupMenu", 75, IRECT(394, 461, 810, 480), false},
                      {"PROGRAMNUMBERMENU", 76, IRECT(1184, 60, 1229, 84), true},
                      {"BANKNUMBERMENUPROGRAMS", 77, IRECT(1142, 60, 1180, 84), true},
                      {"PROGBANKNAMEMENUPROGRAMS", 80, IRECT(1142, 60, 1180, 84), false}};
  for (const Row& r : rows) {
    ControlLayer* l = plug->getLayer(r.layer);
    ASSERT_NE(l, nullptr) << r.layer;
    EXPECT_EQ(l->getId(), r.id);
    ASSERT_EQ(l->controls.GetSize(), 1);
    EXPECT_EQ(*l->controls.Get(0)->GetRECT(), r.rect) << r.layer;
    EXPECT_EQ(l->isVisible(), r.visible) << r.layer;
  }
  auto* upper = dynamic_cast<LeftPatchPopupMenu*>(plug->getLayer("UPPERPOPUPMENU")->controls.Get(0));
  ASSERT_NE(upper, nullptr);
  // The first sound bank is the current one; the root-level files come last.
  EXPECT_EQ(std::string(upper->rootMenu()->GetItemText(0)), "User");
  EXPECT_EQ(std::string(upper->rootMenu()->GetItemText(1)), "a.syx");
  EXPECT_EQ(plug->upperBankFile[0], plug->getPatchLibrarian()->soundBankFiles[0]->fileName);
}

TEST_F(EditorLibrarian, ExactlyOneBankMenuLayerFollowsTheMode) {
  plug->updateBankAndProgramMenuNames(true);
  EXPECT_TRUE(shown("BANKNUMBERMENUPROGRAMS"));
  EXPECT_FALSE(shown("PERFBANKNAMEMENUPROGRAMS") || shown("PROGBANKNAMEMENUPROGRAMS"));
  plug->libraryNamesMode = true;
  plug->GetParam(kMultiPartPatch)->Set(57.9);
  plug->updateBankAndProgramMenuNames(false);
  EXPECT_TRUE(shown("PROGBANKNAMEMENUPROGRAMS"));
  EXPECT_FALSE(shown("BANKNUMBERMENUPROGRAMS") || shown("PERFBANKNAMEMENUPROGRAMS"));
  EXPECT_EQ(plug->getPatchLibrarian()->selectedSlot, 57);
  plug->multiMode = true;
  plug->updateBankAndProgramMenuNames(false);
  EXPECT_TRUE(shown("PERFBANKNAMEMENUPROGRAMS"));
  EXPECT_FALSE(shown("BANKNUMBERMENUPROGRAMS") || shown("PROGBANKNAMEMENUPROGRAMS"));
  plug->updatePatchLibrarianView(3);  // nothing to refresh, nothing breaks
}

TEST_F(EditorLibrarian, SelectionListChoiceAndDataTypeSwitch) {
  PatchLibrarian* lib = plug->getPatchLibrarian();
  plug->GetParam(kPatchSelectionListLower)->Set(1);
  EXPECT_TRUE(plug->handleLibrarianParam(kPatchSelectionListLower));
  EXPECT_EQ(lib->lowerSelection, 1);
  EXPECT_EQ(plug->lowerBankFile[0], lib->soundBankFiles[1]->fileName);
  plug->GetParam(kPatchSelectionListLower)->Set(40);  // no such bank: nothing changes
  EXPECT_TRUE(plug->handleLibrarianParam(kPatchSelectionListLower));
  EXPECT_EQ(lib->lowerSelection, 1);

  plug->multiMode = true;
  plug->patchTypeChanged(1, 2, false);
  EXPECT_EQ(lib->patchType, 1);
  IParam* upper = plug->GetParam(kPatchSelectionListUpper);
  ASSERT_EQ(upper->GetNDisplayTexts(), 1);
  EXPECT_EQ(std::string(upper->GetDisplayTextAtIdx(0)), "m.syx");
  auto* edit = dynamic_cast<BankEditPopupMenu*>(plug->getLayer("BANKEDITMENU")->controls.Get(0));
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(std::string(edit->menu(BankEditPopupMenu::kMain)->GetItemText(0)), "Request Multi Data");
  EXPECT_FALSE(plug->handleLibrarianParam(kPatchRename)) << "no rename armed";
}

// Both grids on one bank; the synth's dump lands in the upper grid's slot 16 (as each dump of a
// whole-bank request does): the lower grid shows it too, and a copy from there takes that.
TEST_F(EditorLibrarian, BothGridsOnOneBankShowAReceivedDumpAndCopyTakesWhatIsShown) {
  LibrarianViewControl* view = attachView();
  PatchLibrarian* lib = plug->getPatchLibrarian();
  lib->lowerSelection = lib->upperSelection.load();
  plug->updatePatchLibrarianView(2);
  lib->selectedSlot = 16;
  plug->SetLibrarianRequestActive(true), plug->midiManager->reply.arm();  // as a request's job does
  testbanks::Bytes dump = testbanks::soundDump("Neon Choir", "Pad ", 3);
  ISysEx sx(0, dump.data(), static_cast<int>(dump.size()));
  plug->ProcessSysEx(&sx, true);
  EXPECT_EQ(view->slotControl(1, 16)->GetTextCopy().substr(0, 10), "Neon Choir");
  const IRECT from = view->slotRect(1, 16), to = view->slotRect(0, 20);
  view->CopySlotData(from.L, from.T);
  view->PasteSlotData(to.L, to.T);
  EXPECT_EQ(view->slotControl(0, 20)->GetTextCopy(), view->slotControl(1, 16)->GetTextCopy());
}

// Closed without a choice, they leave nothing behind: the bank-name menu in library-names mode
// sends nothing to the synth; Escape or a wheel turn closes the rename field unapplied, the box
// around it goes with it and the rename is disarmed.
TEST_F(EditorLibrarian, ABankNameMenuOrARenameFieldClosedWithoutAChoiceLeaveNothingBehind) {
  LibrarianViewControl* view = attachView();
  sendingAtOnce(plug.get())->libraryNamesMode = true;
  view->setKeyboardCursor(7);
  plug->getLayer("PROGBANKNAMEMENUPROGRAMS")->controls.Get(0)->OnMouseDown(0, 0, nullptr);  // no popup: dismissed
  auto idle = [&] { for (int i = 0; i < 4000 && plug->ThreadRunning(); ++i) usleep(1000); };
  idle();
  EXPECT_TRUE(plug->sysexSent.empty() && plug->shortSent.empty());
  plug->sendPatchToDeviceFromLibrarian(7, 0, 0);  // the same entry, chosen: it goes out
  idle();
  EXPECT_EQ(plug->sysexSent.size(), 1u);
  view->renameSlot(0, 0);
  ASSERT_TRUE(shown("patchRename"));
  plug->OnTextEntryCancelled(kPatchRename);
  EXPECT_FALSE(shown("patchRename"));
  EXPECT_FALSE(plug->handleLibrarianParam(kPatchRename));
}
