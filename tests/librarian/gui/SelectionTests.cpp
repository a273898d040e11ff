// Display names of the selection lists and switching between sounds, categories, search results
// and multis.
#include "ControlAction.h"
#include "IControls.h"
#include "LibguiTestSupport.h"
#include "LibrarianSelection.h"

using namespace libgui;

TEST(DisplayNamePass, LongNamesAreShortenedAndNumberedPerPrefix) {
  LibrarianDisplayNamePass pass;
  const std::string p47(47, 'a');
  const std::string n52(52, 'b');
  bool shortened = true;
  EXPECT_EQ(pass.displayName(n52, &shortened), n52);
  EXPECT_FALSE(shortened);
  EXPECT_EQ(pass.displayName(p47 + "xxxxxx.syx"), p47 + "~1.syx");
  EXPECT_EQ(pass.displayName("short.syx"), "short.syx");  // does not restart the numbering
  EXPECT_EQ(pass.displayName(p47 + "yyyyyyyyyyy.MID", &shortened), p47 + "~2.mid");
  EXPECT_TRUE(shortened);
  EXPECT_EQ(pass.displayName(p47 + "zzzzzz.syx"), p47 + "~3.syx");
  EXPECT_EQ(pass.displayName(std::string(47, 'c') + "123456.zpk"), std::string(47, 'c') + "~1.zpk");
  // No character of UTF-8 is split: the one across the 47th byte goes whole.
  EXPECT_EQ(pass.displayName(std::string(46, 'c') + "\u00e4123456.zpk"), std::string(46, 'c') + "~1.zpk");
  // Without a point the whole name is the extension; the text stays within 55 characters.
  const std::string dotless = std::string(47, 'D') + "EFGHIJ";
  EXPECT_EQ(pass.displayName(dotless), (std::string(47, 'D') + "~1." + std::string(47, 'd')).substr(0, 55));
}

namespace {

class ListSwitching : public ::testing::Test, public LibraryFixture {
protected:
  void SetUp() override {
    writeSounds("a.syx", "Alpha");
    writeSounds(std::string(60, 'L') + ".syx", "Long");
    writeMultis("m.syx", "Multi");
    load();
    IBitmap none;
    view = std::make_unique<LibrarianViewControl>(&plug, &host, 0, 300, kLibrarianArea, &none, IRECT(), &lib, 1.0);
    host.view = view.get();
    // The main control of the upper list, as the interface description binds it.
    IText t;
    upperCaption = std::make_unique<ICaptionControl>(&plug, IRECT(0, 0, 10, 10), kPatchSelectionListUpper, &t);
    record.controls.push_back(upperCaption.get());
    plug.GetParam(kPatchSelectionListUpper)->SetControlAction(&record);
  }
  void TearDown() override { plug.GetParam(kPatchSelectionListUpper)->SetControlAction(nullptr); }
  std::vector<std::string> displayTexts(int param) {
    std::vector<std::string> out;
    IParam* p = plug.GetParam(param);
    for (int i = 0; i < p->GetNDisplayTexts(); ++i) out.push_back(p->GetDisplayTextAtIdx(i));
    return out;
  }
  std::unique_ptr<LibrarianViewControl> view;
  std::unique_ptr<ICaptionControl> upperCaption;
  ControlAction record;
};

}  // namespace

TEST_F(ListSwitching, SoundListsHoldOneShortenedNamePerBank) {
  librarianPatchTypeChanged(&plug, lib, host, 0, kListSoundBanks, false);
  const std::vector<std::string> expected{std::string(47, 'L') + "~1.syx", "a.syx"};
  EXPECT_EQ(displayTexts(kPatchSelectionListUpper), expected);
  EXPECT_EQ(displayTexts(kPatchSelectionListLower), expected);
  EXPECT_EQ(displayTexts(kCurrentOpenPatchBankL + 15), expected);
  EXPECT_TRUE(displayTexts(kCurrentOpenPerfBankL).empty());
  EXPECT_EQ(host.calls, std::vector<std::string>{"refreshPopUpMenus"});
  ASSERT_EQ(host.logs.size(), 1u);
  EXPECT_EQ(host.logs[0], "PATCH LIBRARIAN: Filename " + std::string(60, 'L') + ".syx RENAMED TO " + expected[0] +
                              " Because the filename was too long to fit in plug-in display!");
  EXPECT_EQ(lib.soundBankFiles[0]->fileName.size(), 64u) << "only the display text is shortened";
}

TEST_F(ListSwitching, MultisAndCategoriesRefillOnlyTheirLists) {
  librarianPatchTypeChanged(&plug, lib, host, 0, kListSoundBanks, false);
  lib.upperSelection = 1;
  upperCaption->SetValueFromPlug(1.0);
  librarianPatchTypeChanged(&plug, lib, host, 1, kListMultiBanks, false);
  EXPECT_EQ(lib.patchType, 1);
  EXPECT_EQ(lib.upperSelection, 0);
  EXPECT_EQ(displayTexts(kPatchSelectionListUpper), std::vector<std::string>{"m.syx"});
  EXPECT_EQ(displayTexts(kCurrentOpenPerfBankR), std::vector<std::string>{"m.syx"});
  EXPECT_EQ(displayTexts(kCurrentOpenPatchBankL).size(), 2u) << "per-part sound lists untouched";
  EXPECT_EQ(upperCaption->GetValue(), 0.0);
  EXPECT_EQ(view->slotControl(0, 0)->GetTextCopy().substr(0, 5), "Multi");

  librarianPatchTypeChanged(&plug, lib, host, 0, kListCategoryBanks, false);
  EXPECT_EQ(displayTexts(kPatchSelectionListUpper), std::vector<std::string>{"m.syx"}) << "upper list kept";
  EXPECT_EQ(displayTexts(kPatchSelectionListLower).size(), lib.categoryBankFiles.size());
  EXPECT_EQ(displayTexts(kCurrentOpenPatchBankR + 7).size(), lib.categoryBankFiles.size());
  EXPECT_TRUE(displayTexts(kCurrentOpenPerfBankL).empty());

  host.calls.clear();
  librarianPatchTypeChanged(&plug, lib, host, 0, 3, false);  // no such list kind
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(displayTexts(kPatchSelectionListLower).size(), lib.categoryBankFiles.size());
  // A kind without a bank (no search made) reads "No bank", not a bank "0".
  librarianPatchTypeChanged(&plug, lib, host, 0, kListSearchBanks, false);
  EXPECT_EQ(displayTexts(kPatchSelectionListLower), std::vector<std::string>{"No bank"});
}

TEST_F(ListSwitching, ReloadReadsTheLibraryAgainAndResetKeepsTextsPastTheEnd) {
  librarianPatchTypeChanged(&plug, lib, host, 0, kListSoundBanks, false);
  writeSounds("b.syx", "Beta");
  librarianPatchTypeChanged(&plug, lib, host, 0, kListSoundBanks, true);
  EXPECT_EQ(displayTexts(kPatchSelectionListUpper).size(), 3u);
  // A shorter list rewrites its own positions and leaves the rest.
  delete lib.soundBankFiles.back();
  lib.soundBankFiles.pop_back();
  plug.GetParam(kPatchSelectionListUpper)->SetDisplayText(0, "stale");
  librarianResetPatchSelectionMenus(&plug, lib, host);
  const std::vector<std::string> texts = displayTexts(kPatchSelectionListUpper);
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], std::string(47, 'L') + "~1.syx");
  EXPECT_EQ(texts[2], "b.syx");
}
