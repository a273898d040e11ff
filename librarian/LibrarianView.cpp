#include "LibrarianView.h"

#include <optional>
#include <vector>

#include "BankFormats.h"
#include "ControlLayer.h"
#include "IGraphics.h"
#include "IParam.h"
#include "IPlugStructs.h"
#include "IPluginBase.h"
#include "LibrarianMenus.h"
#include "LibrarianViewHost.h"
#include "ParamNames.h"
#include "PatchLibrarian.h"

namespace {

const IColor kHighlight(255, 225, 225, 225);
constexpr size_t kProgramPos = kSlotPos + 1;  // the program byte, after the slot (bank) byte

}  // namespace

PatchFile* librarianGridBank(PatchLibrarian& librarian, int grid, bool categoryView, bool searchView) {
  return grid == LibrarianViewControl::kLowerGrid ? librarian.selectedLowerBank(categoryView, searchView)
                                                  : librarian.selectedUpperBank();
}

bool renameLibrarianEntry(PatchLibrarian& librarian, int slot, const std::string& text) {
  UTIL_MutexLock lock(&librarian.bankLock());
  PatchFile* bank = librarian.selectedUpperBank();
  if (!bank || slot < 0 || slot >= static_cast<int>(bank->entries.size())) return false;
  LibrarianPatch& entry = bank->entries[static_cast<size_t>(slot)];
  if (entry.messages.empty()) return false;
  std::string name = text.substr(0, kNameLength);
  name.resize(kNameLength, ' ');
  for (char& c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u >= 0x7F) c = ' ';
  }
  PatchSysexMessage& msg = entry.messages.front();
  const int id = entry.firstMessageId();
  const bool sound = id == kSoundDumpId;
  if (!sound && id != kMultiDumpId) return false;
  // Bring the dump to its stored size first so the name field exists, then write the name and
  // let the size check renew the checksum.
  msg.checkPatchDataSize(sound);
  const size_t pos = static_cast<size_t>(sound ? kSoundNamePos : kMultiNamePos);
  for (size_t i = 0; i < static_cast<size_t>(kNameLength); ++i) msg.bytes[pos + i] = static_cast<uint8_t>(name[i]);
  msg.checkPatchDataSize(sound);
  entry.name = name;
  return true;
}

LibrarianViewControl::LibrarianViewControl(IPluginBase* plug, LibrarianUIHost* host, int x, int y, int paramIdx,
                                           IBitmap* bitmap, IRECT targetArea, PatchLibrarian* librarian,
                                           double scale)
    : CustomOverlayControl(plug, x, y, paramIdx, bitmap, targetArea),
      m_librarian(librarian),
      m_host(host),
      m_slotWidth(static_cast<int>(105 * scale)),
      m_slotHeight(static_cast<int>(14 * scale)),
      m_scale(scale) {
  IText text(static_cast<int>(13 * scale), IColor(255, 255, 255, 255), "NK57 Monospace", IText::kStyleNormal,
             IText::kAlignNear, 0, 0);
  for (int grid = kUpperGrid; grid <= kLowerGrid; ++grid) {
    ITextControl** slots = grid == kUpperGrid ? m_upperSlots : m_lowerSlots;
    for (int s = 0; s < kSlotsPerGrid; ++s) slots[s] = new ITextControl(plug, slotRect(grid, s), &text, "");
  }
  patchSelectionUpperChanged();
  patchSelectionLowerChanged();
}

LibrarianViewControl::~LibrarianViewControl() {
  if (m_aheadGraphics) m_aheadGraphics->RemoveIdleWork(this);
  for (int s = 0; s < kSlotsPerGrid; ++s) {
    delete m_upperSlots[s];
    delete m_lowerSlots[s];
  }
}

IRECT LibrarianViewControl::slotRect(int grid, int slot) const {
  const double s = m_scale;
  const int x = mRECT.L, y = mRECT.T;
  const int h = static_cast<int>(14 * s) + (s < 1.0 ? 1 : 0);
  const int w = s == 1.0 ? 105 : static_cast<int>(106 * s);
  const int step = w + static_cast<int>(28 * s);
  int top;
  if (grid == kUpperGrid) {
    top = s == 1.0 ? y + 1 : y + static_cast<int>(s) + 1;
  } else {
    top = y + static_cast<int>(274 * s) + (s == 1.0 ? 0 : (s > 1.0 ? 1 : 2));
  }
  const int left = x + (slot / kRowsPerColumn) * step;
  const int t = top + (slot % kRowsPerColumn) * h;
  return IRECT(left, t, left + w, t + h);
}

ITextControl* LibrarianViewControl::slotControl(int grid, int slot) const {
  if (slot < 0 || slot >= kSlotsPerGrid) return nullptr;
  return grid == kUpperGrid ? m_upperSlots[slot] : m_lowerSlots[slot];
}

int LibrarianViewControl::hitSlot(int grid, int x, int y) const {
  // When rectangles overlap (they do not at the scales in use) the last one counts.
  int hit = kNoSlot;
  for (int s = 0; s < kSlotsPerGrid; ++s)
    if (slotControl(grid, s)->GetRECT()->Contains(x, y)) hit = s;
  return hit;
}

IRECT LibrarianViewControl::slotReach(int grid, int slot) const {
  const IRECT r = slotRect(grid, slot);
  return IRECT(r.L - m_slotWidth, r.T - m_slotHeight, r.R + m_slotWidth, r.B + m_slotHeight);
}

IRECT LibrarianViewControl::gridArea(int grid) const {
  return slotReach(grid, 0).Union(slotReach(grid, kSlotsPerGrid - 1)).Intersect(mRECT);
}

void LibrarianViewControl::SetDirty(bool pushParamToPlug) {
  m_dirtyParts.fetch_or(kWholeView);
  CustomOverlayControl::SetDirty(pushParamToPlug);
}

IRECT LibrarianViewControl::DirtyRECT() {
  const unsigned parts = m_dirtyParts.load();
  m_reportedParts = parts;
  if (parts & kWholeView || !(parts & (kUpperPart | kLowerPart))) return mRECT;
  IRECT area;
  if (parts & kUpperPart) area = area.Union(gridArea(kUpperGrid));
  if (parts & kLowerPart) area = area.Union(gridArea(kLowerGrid));
  return area;
}

void LibrarianViewControl::SetClean() {
  // A part marked after its area was collected was not in the repaint: it stays dirty for the
  // next one. Without a collection (a whole-window paint) everything was painted.
  const unsigned reported = m_reportedParts.exchange(0);
  const unsigned painted = (reported == 0 || (reported & kWholeView)) ? ~0u : reported;
  const unsigned left = m_dirtyParts.fetch_and(~painted) & ~painted;
  CustomOverlayControl::SetClean();
  if (left) mDirty = true;
}

void LibrarianViewControl::refill(int grid) {
  // Only a grid whose texts change is repainted.
  if (!refillTexts(grid)) return;
  m_dirtyParts.fetch_or(grid == kLowerGrid ? kLowerPart : kUpperPart);
  CustomOverlayControl::SetDirty(false);
}

bool LibrarianViewControl::refillTexts(int grid) {
  if (!m_librarian) return false;
  const bool lower = grid == kLowerGrid;
  bool changed = false;
  auto show = [&](int s, const char* text) {
    ITextControl* c = slotControl(grid, s);
    if (!changed && c->GetTextCopy() != text) changed = true;
    c->SetTextFromPlug(text);
  };
  UTIL_MutexLock lock(&m_librarian->bankLock());
  const bool loading = m_librarian->loadPending();
  if (loading || m_showsLoading[grid]) {
    for (int s = 0; s < kSlotsPerGrid; ++s) show(s, loading && s == 0 ? kLibrarianLoadingText : "");
    m_showsLoading[grid] = loading;
    if (loading) return changed;
  }
  const bool category = lower && m_host && m_host->categoryView(), search = lower && m_host && m_host->searchView();
  const PatchFile* bank = librarianGridBank(*m_librarian, grid, category, search);
  // A position outside its list leaves the slots as they are; a kind without any bank (no multi
  // banks in MULTIS mode, an empty library) empties them: the grid must not go on showing the
  // banks of the other kind.
  const std::optional<LibrarianList> kind = librarianLowerList(m_librarian->patchType, category, search);
  if (!bank && !(kind && m_librarian->flatList(*kind).empty())) return changed;
  for (int s = 0; s < kSlotsPerGrid; ++s) {
    const bool has = bank && s < static_cast<int>(bank->entries.size());
    // Read from the bytes: a bank merely looked at keeps its entries unmade.
    const std::string name = has ? std::string(bank->entries.nameAt(static_cast<size_t>(s))) : std::string();
    show(s, name.c_str());
  }
  return changed;
}

void LibrarianViewControl::patchSelectionUpperChanged() { refill(kUpperGrid); }
void LibrarianViewControl::patchSelectionLowerChanged() { refill(kLowerGrid); }

void LibrarianViewControl::bankContentsChanged() {
  refill(kUpperGrid);
  refill(kLowerGrid);
}

std::vector<std::string> LibrarianViewControl::namesOfBankAt(int grid, int at) const {
  std::vector<std::string> names;
  const int type = m_librarian->patchType;
  const bool lower = grid == kLowerGrid;
  const std::optional<LibrarianList> kind =
      lower ? librarianLowerList(type, m_host && m_host->categoryView(), m_host && m_host->searchView())
            : type == kBankTypeSound ? std::optional<LibrarianList>(LibrarianList::kSound)
            : type == kBankTypeMulti ? std::optional<LibrarianList>(LibrarianList::kMulti)
                                     : std::nullopt;
  if (!kind) return names;
  UTIL_MutexLock lock(&m_librarian->bankLock());
  const std::vector<PatchFile*>& list = m_librarian->flatList(*kind);
  if (at < 0 || at >= static_cast<int>(list.size()) || !list[static_cast<size_t>(at)]) return names;
  const BankEntries& entries = list[static_cast<size_t>(at)]->entries;
  for (size_t s = 0; s < entries.size() && s < static_cast<size_t>(kSlotsPerGrid); ++s)
    names.emplace_back(entries.nameAt(s));   // as refillTexts shows them
  return names;
}

bool LibrarianViewControl::layOutAhead(IGraphics* graphics, std::chrono::steady_clock::time_point until) {
  if (!m_librarian || m_librarian->loadPending() || !graphics->GetDrawBitmap()) return false;
  const std::array<uint64_t, 6> key = {static_cast<uint64_t>(m_librarian->upperSelection.load()),
                                       static_cast<uint64_t>(m_librarian->lowerSelection.load()),
                                       static_cast<uint64_t>(m_librarian->patchType.load()),
                                       m_host && m_host->categoryView(),
                                       m_host && m_host->searchView(),
                                       m_librarian->generation()};
  if (key != m_aheadKey) {
    m_aheadKey = key;
    m_aheadBank = 0;
    m_aheadSlot = 0;
    m_aheadNames = namesOfBankAt(kUpperGrid, static_cast<int>(key[0]) - 1);
  }
  while (m_aheadBank < 4) {
    const int grid = m_aheadBank < 2 ? kUpperGrid : kLowerGrid;
    for (; m_aheadSlot < m_aheadNames.size(); ++m_aheadSlot) {
      if (std::chrono::steady_clock::now() >= until) return true;
      const std::string& name = m_aheadNames[m_aheadSlot];
      if (name.empty() || name[0] == '\0') continue;   // an empty slot draws nothing
      // Measuring lays the text out as drawing it in the slot would, and keeps it.
      ITextControl* c = slotControl(grid, static_cast<int>(m_aheadSlot));
      IRECT r = *c->GetRECT();
      graphics->DrawIText(c->GetText(), name.c_str(), &r, true);
    }
    if (++m_aheadBank < 4) {
      const int selection = static_cast<int>(key[m_aheadBank < 2 ? 0 : 1]);
      m_aheadNames = namesOfBankAt(m_aheadBank < 2 ? kUpperGrid : kLowerGrid, selection + (m_aheadBank % 2 ? 1 : -1));
      m_aheadSlot = 0;
    }
  }
  return false;
}

bool LibrarianViewControl::Draw(IGraphics* graphics) {
  if (m_aheadGraphics != graphics) {
    if (m_aheadGraphics) m_aheadGraphics->RemoveIdleWork(this);
    m_aheadGraphics = graphics;
    // A slice of at most a millisecond per idle tick: a repaint asked for meanwhile waits no longer.
    graphics->AddIdleWork(this, [this, graphics] {
      return layOutAhead(graphics, std::chrono::steady_clock::now() + std::chrono::milliseconds(1));
    });
  }
  IBitmapControl::Draw(graphics);
  // Slots whose names cannot reach the area being painted are left alone.
  const IRECT area = *graphics->GetDrawRect();
  auto reaches = [&](int grid, int s) { return area.Empty() || slotReach(grid, s).Intersects(area); };
  for (int grid = kUpperGrid; grid <= kLowerGrid; ++grid) {
    const int selected = grid == kUpperGrid ? m_upperSelected.load() : m_lowerSelected.load();
    ITextControl* sel = slotControl(grid, selected);
    if (sel && reaches(grid, selected)) graphics->FillIRect(&kHighlight, sel->GetRECT());
    for (int s = 0; s < kSlotsPerGrid; ++s) {
      if (!reaches(grid, s)) continue;
      ITextControl* c = slotControl(grid, s);
      if (c != sel) {
        c->Draw(graphics);
        continue;
      }
      IText* t = c->GetText();
      t->mColor.R = t->mColor.G = t->mColor.B = 0;
      c->Draw(graphics);
      t->mColor.R = t->mColor.G = t->mColor.B = 255;
    }
  }
  if (m_dragging) graphics->FillIRect(&kHighlight, &m_dragRect);
  return true;
}

int LibrarianViewControl::selectUnder(int x, int y, bool setActive) {
  m_upperSelected = kNoSlot;
  m_lowerSelected = kNoSlot;
  const int upper = hitSlot(kUpperGrid, x, y);
  const int lower = hitSlot(kLowerGrid, x, y);
  ControlLayer* save = m_host ? m_host->layer("saveChangesLayer") : nullptr;
  if (upper >= 0) {
    m_upperSelected = upper;
    if (setActive) {
      m_activeGrid = kUpperGrid;
      if (save) save->GrayOut(false);
    }
  }
  if (lower >= 0) {
    m_lowerSelected = lower;
    if (setActive) {
      m_activeGrid = kLowerGrid;
      // Saving writes the upper bank; greyed while the user works in the source grid.
      if (save) save->GrayOut(true);
    }
  }
  return upper >= 0 ? upper : lower;
}

void LibrarianViewControl::disarmRename(bool hideField) {
  if (!m_host) return;
  m_host->setRenameArmed(false);
  if (!hideField) return;
  if (ControlLayer* l = m_host->layer("patchRename")) l->Hide(true);
}

void LibrarianViewControl::OnMouseDown(int x, int y, IMouseMod* mod) {
  if (!mod) return;
  if (mod->R) {
    SetDirty(false);
    m_pressedLower = kNoSlot;
    selectUnder(x, y, true);
    if (m_librarian) {
      m_librarian->selectedSlot = m_upperSelected.load();
      m_librarian->selectedLowerSlot = m_lowerSelected.load();
    }
    if (!m_host) return;
    if (m_upperSelected >= 0)
      m_host->showFileEditMenu(x, y);
    else
      m_host->showFileCopyMenu(x, y);
  } else if (mod->L) {
    disarmRename(true);
    SetDirty(false);
    m_keyboardCursor = selectUnder(x, y, true);
    m_pressedLower = m_lowerSelected.load();
    if (m_librarian) {
      m_librarian->selectedSlot = m_upperSelected.load();
      m_librarian->selectedLowerSlot = m_lowerSelected.load();
    }
  }
}

bool LibrarianViewControl::slotHoldsEntry(int grid, int slot) const {
  if (!m_librarian || slot < 0) return false;
  const bool lower = grid == kLowerGrid;
  UTIL_MutexLock lock(&m_librarian->bankLock());
  const PatchFile* bank = librarianGridBank(*m_librarian, grid, lower && m_host && m_host->categoryView(),
                                            lower && m_host && m_host->searchView());
  return bank && slot < static_cast<int>(bank->entries.size()) &&
         !bank->entries[static_cast<size_t>(slot)].messages.empty();
}

void LibrarianViewControl::OnMouseDblClick(int x, int y, IMouseMod*) {
  disarmRename(false);
  SetDirty(false);
  IParam* out = mPlug ? mPlug->GetParam(kDeviceOutSelection) : nullptr;
  if (!out || out->Int() == 0) return;  // no MIDI output chosen
  const int hit = selectUnder(x, y, true);
  m_keyboardCursor = hit;
  if (hit < 0 || !m_host) return;
  const int grid = m_upperSelected >= 0 ? kUpperGrid : kLowerGrid;
  // Slots past the bank's entries hold nothing to send.
  if (slotHoldsEntry(grid, hit)) m_host->sendPatchToDeviceFromLibrarian(hit, grid, m_host->currentPart());
}

bool LibrarianViewControl::OnKeyDown(int, int, int key) {
  disarmRename(false);
  const int c = m_keyboardCursor;
  int n;
  switch (key) {
    case 1: n = c <= 0 ? kSlotsPerGrid - 1 : c - 1; break;
    case 2: n = c >= kSlotsPerGrid - 1 ? 0 : c + 1; break;
    case 3: n = c < kRowsPerColumn ? c + (kSlotsPerGrid - kRowsPerColumn) : c - kRowsPerColumn; break;
    case 4: n = c + kRowsPerColumn >= kSlotsPerGrid ? c - (kSlotsPerGrid - kRowsPerColumn) : c + kRowsPerColumn; break;
    default: return false;
  }
  m_keyboardCursor = n;
  const int grid = m_activeGrid;
  // The highlighted slot is also the one the next stored dump or slot action goes to.
  if (grid == kUpperGrid) {
    m_upperSelected = n;
    if (m_librarian) m_librarian->selectedSlot = n;
  } else {
    m_lowerSelected = n;
    if (m_librarian) m_librarian->selectedLowerSlot = n;
  }
  SetDirty(false);
  if (m_host && slotHoldsEntry(grid, n)) m_host->sendPatchToDeviceFromLibrarian(n, grid, m_host->currentPart());
  return true;
}

void LibrarianViewControl::OnMouseDrag(int x, int y, int, int, IMouseMod*) {
  SetDirty(false);
  if (!m_dragEnabled) return;
  // Halves truncated toward zero, as the box is slot-sized.
  m_dragRect.L = x - m_slotWidth / 2;
  m_dragRect.T = y - m_slotHeight / 2;
  m_dragRect.R = m_dragRect.L + m_slotWidth;
  m_dragRect.B = m_dragRect.T + m_slotHeight;
  // Only a press on a lower slot starts a drag. Any other press keeps what it selected: the
  // framework reports a motion of a pixel, and a click is seldom quite still.
  if (m_dragging || m_pressedLower < 0) return;
  // The pointer has moved on by the first motion event (a slot or more on a quick move): the drag
  // copies the slot that was pressed, which stays the one selected.
  m_dragging = true;
  recordCopy(m_pressedLower);
}

void LibrarianViewControl::OnMouseUp(int x, int y, IMouseMod*) {
  SetDirty(false);
  m_pressedLower = kNoSlot;
  if (!m_dragging) return;
  m_dragging = false;
  selectUnder(x, y, true);
  if (m_librarian) {
    m_librarian->selectedSlot = m_upperSelected.load();
    m_librarian->selectedLowerSlot = m_lowerSelected.load();
  }
  if (m_upperSelected < 0) return;
  copyRecordedEntry();
}

void LibrarianViewControl::recordCopy(int slot) {
  m_copiedSlot = slot;
  m_clipValid = false;
  m_clip = LibrarianPatch();
  if (!m_librarian || slot < 0) return;
  UTIL_MutexLock lock(&m_librarian->bankLock());
  const PatchFile* bank = librarianGridBank(*m_librarian, kLowerGrid, m_host && m_host->categoryView(),
                                            m_host && m_host->searchView());
  if (!bank || slot >= static_cast<int>(bank->entries.size())) return;
  m_clip = bank->entries[static_cast<size_t>(slot)];
  m_clipValid = true;
}

void LibrarianViewControl::copyRecordedEntry() {
  // An entry without a dump copies nothing: arming the capture for it would leave the next
  // unrelated dump from the synthesizer landing in this slot, and "Data received" would be shown
  // for data that never came.
  if (!m_clipValid || m_clip.messages.empty() || !m_host) return;
  // The copy takes the address bytes (5 and 6) of the slot it lands in, as the dump there holds
  // them: a saved bank sent as it lies then puts every sound in its own place, not in the one
  // the copy came from.
  std::optional<std::pair<uint8_t, uint8_t>> address;
  if (m_librarian) {
    UTIL_MutexLock lock(&m_librarian->bankLock());
    const int slot = m_librarian->selectedSlot.load();
    const PatchFile* bank = m_librarian->selectedUpperBank();
    if (bank && slot >= 0 && slot < static_cast<int>(bank->entries.size())) {
      const LibrarianPatch& there = bank->entries[static_cast<size_t>(slot)];
      if (!there.messages.empty() && there.messages.front().bytes.size() > kProgramPos)
        address.emplace(there.messages.front().bytes[kSlotPos], there.messages.front().bytes[kProgramPos]);
    }
  }
  m_host->setLibrarianRequestActive(true);
  for (const PatchSysexMessage& m : m_clip.messages) {
    std::vector<uint8_t> copy = m.bytes;
    if (address && copy.size() > kProgramPos + 2) {
      copy[kSlotPos] = address->first;
      copy[kProgramPos] = address->second;
      copy[copy.size() - 2] = dumpChecksum(copy.data(), copy.size());
    }
    ISysEx sx(0, copy.data(), static_cast<int>(copy.size()));
    m_host->processLibrarianSysEx(&sx);
  }
  m_host->setLibrarianStatusUnsaved(true);
}

void LibrarianViewControl::CopySlotData(int x, int y) {
  m_lowerSelected = kNoSlot;
  const int hit = hitSlot(kLowerGrid, x, y);
  if (hit >= 0) {
    m_lowerSelected = hit;
    m_activeGrid = kLowerGrid;
  }
  m_copyMarker = m_librarian ? m_librarian->lowerSelection.load() : 0;
  recordCopy(hit);
}

void LibrarianViewControl::PasteSlotData(int x, int y) {
  SetDirty(false);
  m_upperSelected = kNoSlot;
  const int hit = hitSlot(kUpperGrid, x, y);
  if (hit >= 0) {
    m_upperSelected = hit;
    m_activeGrid = kUpperGrid;
  }
  if (m_librarian) m_librarian->selectedSlot = hit;
  if (hit < 0 || m_copyMarker == kNoSlot) return;
  copyRecordedEntry();
}

void LibrarianViewControl::renameSlot(int, int) {
  if (!m_host) return;
  m_host->setRenameArmed(true);
  const int slot = m_upperSelected;
  if (slot < 0 || !m_librarian) return;
  m_activeGrid = kUpperGrid;
  std::string name;
  {
    // The bank keeps its 100 entries: slots past them hold nothing to rename.
    UTIL_MutexLock lock(&m_librarian->bankLock());
    const PatchFile* bank = m_librarian->selectedUpperBank();
    if (!bank || slot >= static_cast<int>(bank->entries.size())) return;
    const LibrarianPatch& e = bank->entries[static_cast<size_t>(slot)];
    if (e.messages.empty()) return;
    name = e.name;
  }
  m_renameSlot = slot;
  m_renameBank = m_librarian->upperSelection;
  m_renameType = m_librarian->patchType;
  if (IParam* p = mPlug ? mPlug->GetParam(kPatchRename) : nullptr) p->SetDisplayText(0, name.c_str());
  ControlLayer* l = m_host->layer("patchRename");
  if (!l) return;
  l->Hide(false);
  // The field takes the keyboard at once: typing before a click into it would otherwise reach
  // this view, whose keys end the rename.
  for (int i = 0; i < l->controls.GetSize(); ++i)
    if (IControl* c = l->controls.Get(i))
      if (c->ParamIdx() == kPatchRename) {
        c->PromptUserInput();
        break;
      }
}

bool LibrarianViewControl::applyRename(const std::string& text) {
  const int slot = m_renameSlot;
  m_renameSlot = kNoSlot;
  if (slot < 0 || !m_librarian || m_librarian->upperSelection != m_renameBank ||
      m_librarian->patchType != m_renameType)
    return false;
  if (!renameLibrarianEntry(*m_librarian, slot, text)) return false;
  bankContentsChanged();
  return true;
}
