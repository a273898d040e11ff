// The slot grid refilled and drawn on the GUI thread while the MIDI input thread stores dumps
// into the upper bank and refills both grids (the lower one shows the same bank), as the SysEx
// dispatcher does.
#include <atomic>
#include <thread>

#include "LibguiTestSupport.h"

using namespace libgui;

TEST(SlotGridThreads, RefillAndDrawWhileDumpsAreStored) {
  LibraryFixture f;
  f.writeSounds("a.syx", "Alpha");
  f.load();
  IBitmap none;
  LibrarianViewControl view(&f.plug, &f.host, 0, 0, kLibrarianArea, &none, IRECT(), &f.lib, 1.0);
  f.graphics->PrepDraw();
  const LibrarianPatch received = makeEntryFromMessage(PatchSysexMessage{testbanks::soundDump("Received", "Bass", 7)},
                                                       kKindSoundRead);
  std::atomic<bool> done{false};
  std::thread midi([&] {
    for (int i = 0; i < 200; ++i) {
      f.lib.selectedSlot = i % 100;
      f.lib.setSysexDatatoSelectedSlot(&received);
      view.bankContentsChanged();
    }
    done = true;
  });
  int rounds = 0;
  while (!done || rounds < 5) {
    view.patchSelectionUpperChanged();
    view.Draw(f.graphics);
    ++rounds;
  }
  midi.join();
  EXPECT_EQ(view.slotControl(0, 99)->GetTextCopy(), f.lib.selectedUpperBank()->entries[99].name);
  EXPECT_EQ(view.slotControl(0, 0)->GetTextCopy().substr(0, 8), "Received");
  EXPECT_EQ(view.slotControl(1, 0)->GetTextCopy().substr(0, 8), "Received");
}
