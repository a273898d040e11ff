// The slot grid: layout, hit tests, selection in both grids, keys, drawing, copy by drag and by
// "Copy"/"Paste", and renaming.
#include "BankFormats.h"
#include "LibguiTestSupport.h"
#include "LibrarianMenus.h"
#include "WINX_Font.h"

using namespace libgui;

namespace {

constexpr int kX = 394, kY = 200;

class SlotGrid : public ::testing::Test, public LibraryFixture {
protected:
  void SetUp() override {
    writeSounds("a.syx", "Alpha");
    writeSounds("b.syx", "Beta");
    writeSounds("Keys/k.syx", "Keys", 40);  // completed to 100 on loading
    load();
    lib.upperSelection = soundIndex("a.syx");
    lib.lowerSelection = soundIndex("b.syx");
    makeView(1.0);
  }
  void makeView(double scale) {
    IBitmap none;
    view = std::make_unique<LibrarianViewControl>(&plug, &host, kX, kY, kLibrarianArea, &none, IRECT(), &lib, scale);
    host.view = view.get();
    view->setDragEnabled(true);
  }
  // Centre of a slot.
  int cx(int grid, int slot) const { IRECT r = view->slotRect(grid, slot); return (r.L + r.R) / 2; }
  int cy(int grid, int slot) const { IRECT r = view->slotRect(grid, slot); return (r.T + r.B) / 2; }
  std::string text(int grid, int slot) const { return view->slotControl(grid, slot)->GetTextCopy(); }
  void click(int grid, int slot, bool right = false) {
    IMouseMod mod(!right, right);
    view->OnMouseDown(cx(grid, slot), cy(grid, slot), &mod);
  }
  std::vector<uint8_t> entryBytes(int list, int slot) {
    const std::vector<PatchFile*>& l = lib.soundBankFiles;
    return l[static_cast<size_t>(list)]->entries[static_cast<size_t>(slot)].messages[0].bytes;
  }
  // What lower slot `from` copied into upper slot `to` feeds: under `to`'s address (5, 6), checksum renewed.
  std::vector<uint8_t> landing(int from, int to) {
    std::vector<uint8_t> b = entryBytes(lib.lowerSelection, from), there = entryBytes(lib.upperSelection, to);
    std::copy(there.begin() + 5, there.begin() + 7, b.begin() + 5);
    b[b.size() - 2] = dumpChecksum(b.data(), b.size());
    return b;
  }
  std::unique_ptr<LibrarianViewControl> view;
};

}  // namespace

TEST_F(SlotGrid, SlotsRunColumnByColumnAtScaleOneAndTwo) {
  EXPECT_EQ(view->slotRect(0, 0), IRECT(kX, kY + 1, kX + 105, kY + 15));
  EXPECT_EQ(view->slotRect(0, 17), IRECT(kX + 133, kY + 15, kX + 238, kY + 29));
  EXPECT_EQ(view->slotRect(1, 0).T, kY + 274);
  EXPECT_EQ(view->slotRect(1, 127), IRECT(kX + 7 * 133, kY + 274 + 15 * 14, kX + 7 * 133 + 105, kY + 274 + 16 * 14));
  makeView(2.0);
  EXPECT_EQ(view->slotRect(0, 0), IRECT(kX, kY + 3, kX + 212, kY + 31));
  EXPECT_EQ(view->slotRect(0, 16).L, kX + 268);
  EXPECT_EQ(view->slotRect(1, 0).T, kY + 549);
  EXPECT_EQ(view->slotControl(0, 0)->GetText()->mSize, 26);
  EXPECT_EQ(view->slotWidth(), 210);
  EXPECT_EQ(view->slotHeight(), 28);
}

TEST_F(SlotGrid, HitTestIncludesLeftAndTopEdgesOnly) {
  const IRECT r = view->slotRect(0, 5);
  EXPECT_EQ(view->hitSlot(0, r.L, r.T), 5);
  EXPECT_EQ(view->hitSlot(0, r.R - 1, r.B - 1), 5);
  EXPECT_EQ(view->hitSlot(0, r.L, r.B), 6);
  EXPECT_EQ(view->hitSlot(0, r.R, r.T), -1);  // the gap between columns
  EXPECT_EQ(view->hitSlot(1, r.L, r.T), -1);
}

TEST_F(SlotGrid, GridsShowTheirBanksAndEmptySlotsPastTheEntries) {
  EXPECT_EQ(text(0, 0), lib.soundBankFiles[static_cast<size_t>(soundIndex("a.syx"))]->entries[0].name);
  EXPECT_EQ(text(0, 0).substr(0, 5), "Alpha");
  EXPECT_EQ(text(1, 99).substr(0, 4), "Beta");
  EXPECT_EQ(text(0, 100), "");
  EXPECT_EQ(text(1, 127), "");
  // Category view: the lower grid shows a category bank; an invalid selection changes nothing.
  host.category = true;
  lib.lowerSelection = 0;
  view->patchSelectionLowerChanged();
  EXPECT_EQ(text(1, 0), lib.categoryBankFiles[0]->entries[0].name);
  lib.lowerSelection = 999;
  view->patchSelectionLowerChanged();
  EXPECT_EQ(text(1, 0), lib.categoryBankFiles[0]->entries[0].name);
  // Multis without a single multi bank: the upper grid is empty, not the sound bank it showed.
  lib.patchType = 1;
  view->patchSelectionUpperChanged();
  EXPECT_EQ(text(0, 0), "");
  // A library still being read: grids and bank menus say so, not that there is nothing, until it
  // is in place. (A busy machine may let the load thread read it all before the view is made: the
  // view then takes it in at once, and there is no loading to show.)
  PatchLibrarian reading;
  std::unique_ptr<LibrarianViewControl> v;
  {
    UTIL_MutexLock hold(&reading.bankLock());
    reading.startLoading(home.patches());
    IBitmap none;
    v = std::make_unique<LibrarianViewControl>(&plug, &host, kX, kY, kLibrarianArea, &none, IRECT(), &reading, 1.0);
    const std::string grids = v->slotControl(0, 0)->GetTextCopy() + v->slotControl(1, 0)->GetTextCopy();
    const std::vector<std::string> menu = texts(LeftPatchPopupMenu(&plug, &reading, IRECT(), &host).rootMenu());
    if (reading.loadPending()) {
      EXPECT_EQ(grids, "Loading...Loading...");
      EXPECT_EQ(menu, std::vector<std::string>{"Loading..."});
    }
  }
  // Nobody waits for it: the grid takes the library in once the load thread has read it.
  for (int ms = 0; ms < 60000 && v->slotControl(0, 0)->GetTextCopy() == "Loading..."; ++ms, usleep(1000))
    v->bankContentsChanged();
  ASSERT_NE(v->slotControl(0, 0)->GetTextCopy(), "Loading...") << "the library was never taken in";
  EXPECT_EQ(v->slotControl(0, 0)->GetTextCopy(), reading.soundBankFiles[0]->entries[0].name);
}

TEST_F(SlotGrid, LeftClickSelectsInOneGridAndTheCursorFollows) {
  click(1, 37);
  EXPECT_EQ(view->lowerSelectedSlot(), 37);
  EXPECT_EQ(view->upperSelectedSlot(), -1);
  EXPECT_EQ(view->activeGrid(), 1);
  EXPECT_EQ(lib.selectedSlot, -1);
  EXPECT_EQ(lib.selectedLowerSlot, 37);
  EXPECT_TRUE(view->OnKeyDown(0, 0, 2));
  EXPECT_EQ(view->lowerSelectedSlot(), 38);
  EXPECT_EQ(lib.selectedLowerSlot, 38);
  EXPECT_TRUE(host.has("fromLibrarian 38 1 0"));
  click(0, 4);
  EXPECT_EQ(view->upperSelectedSlot(), 4);
  EXPECT_EQ(lib.selectedSlot, 4);
  EXPECT_EQ(view->keyboardCursor(), 4);
}

TEST_F(SlotGrid, ArrowKeysWrapAtTheGridEdges) {
  struct Case { int from, key, to; };
  const Case cases[] = {{0, 1, 127}, {127, 2, 0}, {5, 3, 117}, {117, 4, 5}, {-1, 2, 0}, {-1, 1, 127},
                        {-1, 3, 111}, {-1, 4, 15}, {20, 3, 4}, {20, 4, 36}};
  for (const Case& c : cases) {
    view->setKeyboardCursor(c.from);
    EXPECT_TRUE(view->OnKeyDown(0, 0, c.key));
    EXPECT_EQ(view->keyboardCursor(), c.to) << "from " << c.from << " key " << c.key;
  }
  view->setKeyboardCursor(3);
  EXPECT_FALSE(view->OnKeyDown(0, 0, 0));
  EXPECT_EQ(view->keyboardCursor(), 3);
}

TEST_F(SlotGrid, KeysSendOnlySlotsThatHoldADump) {
  click(0, 99);
  host.calls.clear();
  view->OnKeyDown(0, 0, 2);  // slot 100: past the bank
  EXPECT_EQ(view->upperSelectedSlot(), 100);
  EXPECT_TRUE(host.calls.empty());
}

TEST_F(SlotGrid, DoubleClickSendsOnlyWithAMidiOutputChosen) {
  IMouseMod mod(true);
  view->OnMouseDblClick(cx(1, 9), cy(1, 9), &mod);
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(view->lowerSelectedSlot(), -1);  // selections untouched
  plug.GetParam(kDeviceOutSelection)->Set(1);
  view->OnMouseDblClick(cx(1, 9), cy(1, 9), &mod);
  EXPECT_TRUE(host.has("fromLibrarian 9 1 0"));
  EXPECT_EQ(view->keyboardCursor(), 9);
}

TEST_F(SlotGrid, RightClickOpensTheEditMenuOnUpperSlotsElseTheCopyMenu) {
  click(0, 3, true);
  EXPECT_EQ(host.calls.back(), "edit " + RecordingHost::xy(cx(0, 3), cy(0, 3)));
  EXPECT_EQ(lib.selectedSlot, 3);
  click(1, 3, true);
  EXPECT_EQ(host.calls.back(), "copy " + RecordingHost::xy(cx(1, 3), cy(1, 3)));
  EXPECT_EQ(lib.selectedSlot, -1);
  EXPECT_EQ(lib.selectedLowerSlot, 3);
  IMouseMod right(false, true);
  view->OnMouseDown(kX - 50, kY - 50, &right);
  EXPECT_EQ(host.calls.back(), "copy " + RecordingHost::xy(kX - 50, kY - 50));
}

TEST_F(SlotGrid, DragFromLowerToUpperFeedsTheEntryIntoTheSelectedSlot) {
  const std::vector<uint8_t> expected = landing(12, 30);
  // The first motion event comes a slot up from the press: the pressed slot is copied.
  IMouseMod left(true, false);
  view->OnMouseDown(cx(1, 12), cy(1, 12), &left);
  view->OnMouseDrag(cx(1, 11), cy(1, 11), 0, 0, nullptr);
  EXPECT_TRUE(view->isDragging());
  view->OnMouseDrag(cx(0, 30), cy(0, 30), 0, 0, nullptr);
  EXPECT_EQ(view->dragRect().L, cx(0, 30) - 52);
  view->OnMouseUp(cx(0, 30), cy(0, 30), nullptr);
  EXPECT_FALSE(view->isDragging());
  EXPECT_EQ(lib.selectedSlot, 30);
  ASSERT_EQ(host.fed.size(), 1u);
  EXPECT_EQ(host.fed[0], expected);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"requestActive", "unsaved"}));
}

TEST_F(SlotGrid, DragsThatStartOrEndOutsideCopyNothing) {
  IMouseMod left(true, false);
  view->OnMouseDown(cx(0, 12), cy(0, 12), &left);  // pressed on the upper grid
  view->OnMouseDrag(cx(1, 12), cy(1, 12), 0, 0, nullptr);
  EXPECT_FALSE(view->isDragging());
  view->OnMouseUp(cx(0, 30), cy(0, 30), nullptr);
  view->OnMouseDown(cx(1, 12), cy(1, 12), &left);
  view->OnMouseDrag(cx(1, 12), cy(1, 12), 0, 0, nullptr);
  view->OnMouseUp(cx(1, 40), cy(1, 40), nullptr);  // dropped on the lower grid
  EXPECT_EQ(view->lowerSelectedSlot(), 40);
  EXPECT_EQ(lib.selectedSlot, -1);
  EXPECT_EQ(lib.selectedLowerSlot, 40);
  EXPECT_TRUE(host.fed.empty());
  // A click on an upper slot that moves a pixel or two keeps that slot highlighted and selected.
  view->OnMouseDown(cx(0, 9), cy(0, 9), &left);
  view->OnMouseDrag(cx(0, 9) + 1, cy(0, 9) + 1, 1, 1, nullptr);
  view->OnMouseUp(cx(0, 9) + 2, cy(0, 9) + 1, nullptr);
  EXPECT_TRUE(view->upperSelectedSlot() == 9 && lib.selectedSlot == 9 && view->lowerSelectedSlot() == lib.selectedLowerSlot);
  view->setDragEnabled(false);
  view->OnMouseDown(cx(1, 12), cy(1, 12), &left);
  view->OnMouseDrag(cx(1, 12), cy(1, 12), 0, 0, nullptr);
  EXPECT_FALSE(view->isDragging());
  view->OnMouseUp(cx(1, 12), cy(1, 12), nullptr);
  view->setDragEnabled(true);  // a drag without a press (the press went to another control)
  view->OnMouseDrag(cx(1, 12), cy(1, 12), 0, 0, nullptr);
  EXPECT_FALSE(view->isDragging());
}

TEST_F(SlotGrid, PasteTakesTheEntryCopiedEvenAfterTheLowerBankChanged) {
  view->PasteSlotData(cx(0, 1), cy(0, 1));
  EXPECT_TRUE(host.fed.empty());  // nothing copied yet
  const std::vector<uint8_t> copied = landing(5, 7);
  view->CopySlotData(cx(1, 5), cy(1, 5));
  lib.lowerSelection = soundIndex("a.syx");
  view->PasteSlotData(cx(0, 7), cy(0, 7));
  EXPECT_EQ(lib.selectedSlot, 7);
  ASSERT_EQ(host.fed.size(), 1u);
  EXPECT_EQ(host.fed[0], copied);
}

TEST_F(SlotGrid, CopyOfAnEmptySlotPastesNothing) {
  view->CopySlotData(cx(1, 110), cy(1, 110));
  EXPECT_EQ(view->copiedSlot(), 110);
  view->PasteSlotData(cx(0, 7), cy(0, 7));
  view->CopySlotData(kX - 20, kY - 20);
  EXPECT_EQ(view->copiedSlot(), -1);
  view->PasteSlotData(cx(0, 7), cy(0, 7));
  EXPECT_TRUE(host.fed.empty());
  EXPECT_FALSE(host.has("unsaved"));
}

// A bank change repaints its own grid only; a refill of the other grid that comes after the
// areas to repaint were collected is not lost with that repaint.
TEST_F(SlotGrid, ABankChangeRepaintsItsGridAndALaterRefillStaysDue) {
  IBitmap sized(nullptr, 1037, 500);
  LibrarianViewControl v(&plug, &host, kX, kY, kLibrarianArea, &sized, IRECT(), &lib, 1.0);
  auto covers = [&](const IRECT& area, int grid) {
    for (int s : {0, 15, 112, 127})
      if (area.Intersect(v.slotRect(grid, s)) != v.slotRect(grid, s)) return false;
    return true;
  };
  v.DirtyRECT();
  v.SetClean();
  v.patchSelectionUpperChanged();  // nothing changed: nothing to repaint
  EXPECT_FALSE(v.IsDirty());
  lib.upperSelection = soundIndex("k.syx");
  v.patchSelectionUpperChanged();
  ASSERT_TRUE(v.IsDirty());
  const IRECT upper = v.DirtyRECT();
  EXPECT_TRUE(covers(upper, 0));
  EXPECT_FALSE(upper.Intersects(v.slotRect(1, 0)));
  lib.lowerSelection = soundIndex("a.syx");
  v.patchSelectionLowerChanged();
  v.SetClean();  // the repaint of the upper grid's area
  ASSERT_TRUE(v.IsDirty());
  const IRECT lower = v.DirtyRECT();
  EXPECT_TRUE(covers(lower, 1));
  EXPECT_FALSE(lower.Intersects(v.slotRect(0, 127)));
  v.SetClean();
  EXPECT_FALSE(v.IsDirty());
  v.setUpperSelectedSlot(3);  // the highlight moves: the whole view
  EXPECT_EQ(v.DirtyRECT(), *v.GetRECT());
}

// The window's idle work lays out the names of the banks a step away just as drawing them does:
// a step to such a bank then lays out no name anew.
TEST_F(SlotGrid, AfterTheIdleWorkAStepToTheNextBankLaysOutNoNameAnew) {
  for (const char* name : {"AheadOne", "AheadTwo", "AheadSix"}) writeSounds(std::string(name) + ".syx", name);
  load();
  graphics->PrepDraw();
  auto stepTo = [&](const char* file) {
    lib.upperSelection = soundIndex(file);
    view->patchSelectionUpperChanged();
    const unsigned long long before = WINX_ThreadTextLayouts();
    view->Draw(graphics);
    return WINX_ThreadTextLayouts() - before;
  };
  stepTo("AheadOne.syx");
  EXPECT_GT(stepTo("AheadSix.syx"), 0u) << "names never drawn before are laid out by the draw";
  while (graphics->RunIdleWork()) {
  }
  ASSERT_EQ(soundIndex("AheadTwo.syx"), soundIndex("AheadSix.syx") + 1);   // files are listed by name
  EXPECT_EQ(stepTo("AheadTwo.syx"), 0u);
}

TEST_F(SlotGrid, DrawHighlightsTheSelectedSlotsWithBlackText) {
  graphics->PrepDraw();
  click(0, 2);
  view->Draw(graphics);
  const IRECT sel = view->slotRect(0, 2);
  EXPECT_EQ(graphics->GetPoint(sel.R - 2, sel.T + 1), IColor(255, 225, 225, 225));
  bool dark = false;
  for (int x = sel.L; x < sel.L + 40; ++x)
    for (int y = sel.T; y < sel.B; ++y) dark = dark || graphics->GetPoint(x, y).R < 100;
  EXPECT_TRUE(dark) << "black name text on the highlight";
  const IRECT other = view->slotRect(0, 3);
  EXPECT_NE(graphics->GetPoint(other.R - 2, other.T + 1), IColor(255, 225, 225, 225));
  bool white = false;
  for (int x = other.L; x < other.L + 40; ++x)
    for (int y = other.T; y < other.B; ++y) white = white || graphics->GetPoint(x, y).R > 150;
  EXPECT_TRUE(white) << "white name text elsewhere";
  EXPECT_EQ(view->slotControl(0, 2)->GetText()->mColor, IColor(255, 255, 255, 255));
}

TEST_F(SlotGrid, RenameShowsTheFieldAndRenamingKeepsTheDumpInStep) {
  IText font;
  ICaptionControl* field = new ICaptionControl(&plug, IRECT(580, 330, 840, 348), kPatchRename, &font, true);
  field->SetPromptDisabled(false);  // as the description's name field
  host.layer("patchRename")->AddControl(field);
  click(0, 4, true);
  view->renameSlot(0, 0);
  EXPECT_TRUE(host.renameArmed);
  EXPECT_TRUE(host.layer("patchRename")->isVisible());
  PatchFile* bank = lib.selectedUpperBank();
  EXPECT_EQ(plug.GetParam(kPatchRename)->GetDisplayText(0), bank->entries[4].name);
  // The field opens for typing at once: a key typed before any click goes into the name.
  EXPECT_EQ(graphics->entryControl, field);
  EXPECT_EQ(graphics->entryText, bank->entries[4].name);
  EXPECT_EQ(bank->entries.size(), 100u);
  click(0, 5);  // a left press disarms
  EXPECT_FALSE(host.renameArmed);
  EXPECT_FALSE(host.layer("patchRename")->isVisible());

  // The field was opened for slot 4 of this bank: a later selection elsewhere does not move it,
  // but another bank in the upper grid refuses the name.
  click(0, 9);
  const int bankAtRename = lib.upperSelection;
  lib.upperSelection = soundIndex("b.syx");
  EXPECT_FALSE(view->applyRename("Lost"));
  lib.upperSelection = bankAtRename;
  EXPECT_FALSE(view->applyRename("Lost")) << "one name per opened field";
  click(0, 4, true);
  view->renameSlot(0, 0);
  click(0, 9);
  lib.lowerSelection = lib.upperSelection.load();  // the lower grid on the same bank follows
  view->patchSelectionLowerChanged();
  ASSERT_TRUE(view->applyRename("Warm \xC3\xA9 Pad"));
  EXPECT_EQ(text(0, 4) + text(1, 4), "Warm    Pad     Warm    Pad     ");
  const LibrarianPatch& e = bank->entries[4];
  EXPECT_EQ(e.name, "Warm    Pad     ");  // each byte of the two-byte letter a blank
  const std::vector<uint8_t>& m = e.messages[0].bytes;
  ASSERT_EQ(m.size(), static_cast<size_t>(kSoundDumpSize));
  EXPECT_EQ(std::string(m.begin() + kSoundNamePos, m.begin() + kSoundNamePos + kNameLength), e.name);
  PatchSysexMessage resized = e.messages[0];
  resized.checkPatchDataSize(true);
  EXPECT_EQ(resized.bytes, m) << "checksum renewed";
  EXPECT_FALSE(renameLibrarianEntry(lib, 100, "x"));
}
