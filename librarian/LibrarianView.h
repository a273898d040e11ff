// The librarian's main view: two grids of 128 name slots. The upper grid shows the bank of the
// librarian's upper selection (the bank that receives data), the lower one the bank of the lower
// selection (sound, multi, category or search bank: the source). Click selects, double click or an
// arrow key sends the slot's entry to the synthesizer, a right click opens the slot menus, and a
// drag (or "Copy" then "Paste") from the lower grid into the upper one copies an entry by feeding
// its SysEx to the plug-in's input with the librarian capture armed.
//
// Threads: mouse, keys, drawing and the slot menus' operations run on the GUI thread. The two
// refill operations also run on the MIDI input thread after a received dump was stored; they read
// the banks under the librarian's bank lock and write the slot texts through the text controls'
// own lock, so drawing never reads a bank. The selection fields are atomics because the editor
// core and the MIDI engine write them from their threads.
//
// Ownership: the view owns its 256 slot text controls. It owns neither the librarian nor the host.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "IControls.h"
#include "LibrarianPatch.h"

class PatchLibrarian;
struct PatchFile;
class LibrarianUIHost;

// Adds nothing to its base; kept as the class the view derives from.
class CustomOverlayControl : public IBitmapOverlayControl {
public:
  using IBitmapOverlayControl::IBitmapOverlayControl;
};

class LibrarianViewControl : public CustomOverlayControl {
public:
  static constexpr int kSlotsPerGrid = 128;
  static constexpr int kRowsPerColumn = 16;
  static constexpr int kNoSlot = -1;
  static constexpr int kUpperGrid = 0;
  static constexpr int kLowerGrid = 1;

  LibrarianViewControl(IPluginBase* plug, LibrarianUIHost* host, int x, int y, int paramIdx, IBitmap* bitmap,
                       IRECT targetArea, PatchLibrarian* librarian, double scale);
  ~LibrarianViewControl() override;

  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  void OnMouseUp(int x, int y, IMouseMod* mod) override;
  void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* mod) override;
  void OnMouseDblClick(int x, int y, IMouseMod* mod) override;
  bool OnKeyDown(int x, int y, int key) override;
  // Draws what lies in the graphics object's draw rectangle (everything when it is empty).
  bool Draw(IGraphics* graphics) override;
  // A refill repaints only its grid; any other change (a selection, the drag box, a value pushed
  // to the view) repaints the whole view.
  void SetDirty(bool pushParamToPlug = true) override;
  void SetClean() override;
  IRECT DirtyRECT() override;

  // Refill the slot texts from the bank of the upper or lower selection. Any thread.
  void patchSelectionUpperChanged();
  void patchSelectionLowerChanged();
  // Whatever changes a bank's entries (a stored dump, a rename) calls this: both grids are
  // refilled, as the other grid may show the same bank, or a category or search bank that refers
  // to its entries, and a copy takes the entry as it is now. A grid whose texts stay as they were
  // is not repainted. Any thread.
  void bankContentsChanged();

  // The slot menus' operations, with the point of the right click that opened the menu.
  void renameSlot(int x, int y);
  // Writes the edited name into the entry renameSlot opened the field for (renameLibrarianEntry).
  // False, changing nothing, when no field was opened or the upper grid has since moved to
  // another bank or kind: the name must never land on an entry the user did not pick.
  bool applyRename(const std::string& text);
  void CopySlotData(int x, int y);
  void PasteSlotData(int x, int y);

  // Slot under a point in one grid, or kNoSlot.
  int hitSlot(int grid, int x, int y) const;
  IRECT slotRect(int grid, int slot) const;
  ITextControl* slotControl(int grid, int slot) const;

  void setDragEnabled(bool on) { m_dragEnabled = on; }
  bool isDragging() const { return m_dragging; }
  const IRECT& dragRect() const { return m_dragRect; }
  int upperSelectedSlot() const { return m_upperSelected; }
  int lowerSelectedSlot() const { return m_lowerSelected; }
  // A highlight that moves is repainted.
  void setUpperSelectedSlot(int slot) {
    if (m_upperSelected.exchange(slot) != slot) SetDirty(false);
  }
  void setLowerSelectedSlot(int slot) {
    if (m_lowerSelected.exchange(slot) != slot) SetDirty(false);
  }
  int activeGrid() const { return m_activeGrid; }
  int keyboardCursor() const { return m_keyboardCursor; }
  void setKeyboardCursor(int slot) { m_keyboardCursor = slot; }
  int copiedSlot() const { return m_copiedSlot; }
  int slotWidth() const { return m_slotWidth; }
  int slotHeight() const { return m_slotHeight; }

private:
  void refill(int grid);
  // Sets the grid's slot texts from its bank; true when any of them changed.
  bool refillTexts(int grid);
  // A slot's rectangle grown by the room its name may take beyond it (a long name runs into the
  // gap after its column, a tall one a little above or below its row).
  IRECT slotReach(int grid, int slot) const;
  // The area a grid's names are drawn in, within the view.
  IRECT gridArea(int grid) const;
  // Both grids' selections after a press: -1, then the slot under the point in each grid.
  // Returns the slot hit (upper first), or kNoSlot. setActive also moves the active grid and the
  // gray state of "saveChangesLayer".
  int selectUnder(int x, int y, bool setActive);
  void disarmRename(bool hideField);
  // Keeps a copy of lower slot `slot` of the lower grid's bank as the entry a paste or drop
  // copies; an invalid slot clears it.
  void recordCopy(int slot);
  // Feeds the recorded entry to the plug-in's SysEx input so that it lands in selectedSlot.
  void copyRecordedEntry();
  // The entry at `slot` of a grid's bank holds a dump that can be sent.
  bool slotHoldsEntry(int grid, int slot) const;
  // Lays out the names of the banks a step away from each grid's bank in its list (the previous
  // and the next), on the drawing thread and into its text cache, until `until`; true while some
  // are left. The drawing thread's idle work: a bank stepped to then draws from the cache. Draws
  // nothing, changes nothing that is drawn.
  bool layOutAhead(IGraphics* graphics, std::chrono::steady_clock::time_point until);
  // Names of the bank at position `at` of the list the grid shows, for the present views; empty
  // when there is no such bank.
  std::vector<std::string> namesOfBankAt(int grid, int at) const;

  PatchLibrarian* m_librarian;
  LibrarianUIHost* m_host;
  ITextControl* m_upperSlots[kSlotsPerGrid] = {};
  ITextControl* m_lowerSlots[kSlotsPerGrid] = {};
  GuiShared<bool> m_dragEnabled = false;
  IRECT m_dragRect;
  bool m_dragging = false;
  // The lower slot the left button was pressed on (a drag copies it, wherever the pointer is by
  // its first motion event); kNoSlot after any other press and after the release.
  int m_pressedLower = kNoSlot;
  int m_slotWidth, m_slotHeight;
  int m_copiedSlot = kNoSlot;
  double m_scale;
  std::atomic<int> m_upperSelected{0};
  std::atomic<int> m_lowerSelected{kNoSlot};
  std::atomic<int> m_activeGrid{kUpperGrid};
  std::atomic<int> m_keyboardCursor{0};
  int m_copyMarker = kNoSlot;
  bool m_showsLoading[2] = {false, false};   // the grid says the library is still being read
  // What is to be repainted (bit 0 upper grid, 1 lower grid, 2 the whole view), and what of it
  // the last collection of dirty areas was told. Refills also come from the MIDI input thread.
  enum : unsigned { kUpperPart = 1, kLowerPart = 2, kWholeView = 4 };
  std::atomic<unsigned> m_dirtyParts{kWholeView};
  std::atomic<unsigned> m_reportedParts{0};
  // The entry the last "Copy" or drag start took, copied at that moment: a paste after the
  // lower grid changed its bank still copies what the user picked.
  LibrarianPatch m_clip;
  bool m_clipValid = false;
  // What layOutAhead works on: the state it planned for (both selections, the patch type, the
  // two views, the library's generation), the bank in hand (0 to 3: upper previous and next,
  // lower previous and next) with its names, and the next slot of it.
  IGraphics* m_aheadGraphics = nullptr;   // where layOutAhead is the idle work (its first draw)
  std::array<uint64_t, 6> m_aheadKey{UINT64_MAX};   // no state: planned at the first call
  int m_aheadBank = 4;
  size_t m_aheadSlot = 0;
  std::vector<std::string> m_aheadNames;
  // What renameSlot opened the field for: slot, upper selection and patch type at that moment.
  int m_renameSlot = kNoSlot, m_renameBank = -1, m_renameType = -1;
};

// The bank a grid shows: the upper grid's from the sound or multi list by patch type; the lower
// grid's from the list librarianLowerList (PatchLibrarian.h) chooses. Null when the selection or
// the patch type is out of range. Hold the bank lock.
PatchFile* librarianGridBank(PatchLibrarian& librarian, int grid, bool categoryView, bool searchView);

// Writes a new name into entry `slot` of the upper bank: the entry's name and the name field of
// its dump (checksum renewed), so that a later save keeps it. The text is cut or padded with
// blanks to 16 characters; a byte that is no printable 7-bit character becomes a blank, as a
// SysEx data byte must stay below 0x80. False when there is no such entry or it holds no dump.
bool renameLibrarianEntry(PatchLibrarian& librarian, int slot, const std::string& text);
