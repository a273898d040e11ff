// The synthesizer's program and bank number menus.
#include <cstdio>

#include "IGraphics.h"
#include "IParam.h"
#include "IPluginBase.h"
#include "LibrarianMenus.h"
#include "LibrarianView.h"
#include "ParamNames.h"
#include "PatchLibrarian.h"
#include "WINX_Time.h"

namespace {

constexpr int kProgramsPerGroup = 10;
constexpr int kPrograms = 100;

int validPart(const LibrarianUIHost* host) {
  const int part = host ? host->currentPart() : 0;
  return (part >= 0 && part < kNumParts) ? part : 0;
}

void setRawClamped(IPluginBase* plug, int paramIdx, int value) {
  if (IParam* p = plug ? plug->GetParam(paramIdx) : nullptr) p->SetClamped(value);
}

void setThroughGraphics(IPluginBase* plug, int paramIdx, int value) {
  if (IGraphics* g = plug ? plug->GetGUI() : nullptr) g->SetParameterFromPlug(paramIdx, value, false);
}

// Asks the synthesizer for the data of what was just selected (device-request mode).
void requestSelected(LibrarianUIHost* host, bool multi) {
  if (!host->midiIOSet()) return;  // it could only time out, behind the progress overlay
  LibrarianJob job;
  job.code = multi ? kJobRequestActiveMulti : kJobRequestPartSound;
  job.part = validPart(host);
  job.toEditor = true;
  host->startLibrarianJob(job);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

ProgramNumberPopupMenu::ProgramNumberPopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect,
                                               LibrarianUIHost* host)
    : IControl(plug, rect, -1), m_host(host), m_librarian(librarian) {
  refreshPatchNames(0);
}

int ProgramNumberPopupMenu::programParam() const {
  if (m_host && m_host->multiMode()) return kMultiPatch;
  return paramOfPart(kMultiPartPatch, validPart(m_host));
}

bool ProgramNumberPopupMenu::refreshPatchNames(int program) {
  m_root = std::make_unique<IPopupMenu>();
  for (auto& g : m_groups) g = std::make_unique<IPopupMenu>();
  if (m_host && m_host->libraryNamesMode()) {
    if (m_librarian) {
      IParam* upper = GetPlug() ? GetPlug()->GetParam(kPatchSelectionListUpper) : nullptr;
      const int pos = upper ? upper->Int() : 0;
      UTIL_MutexLock lock(&m_librarian->bankLock());
      const std::vector<PatchFile*>& list =
          m_librarian->flatList(m_host->multiMode() ? LibrarianList::kMulti : LibrarianList::kSound);
      if (pos >= 0 && pos < static_cast<int>(list.size())) {
        const std::vector<LibrarianPatch>& entries = list[static_cast<size_t>(pos)]->entries;
        for (size_t i = 0; i < entries.size() && i < static_cast<size_t>(kPrograms); ++i)
          m_groups[i / kProgramsPerGroup]->AddItem(entries[i].name.c_str());
      }
    }
  } else {
    // "Sound" in multi mode too: the synthesizer numbers its multis the same way.
    for (int p = 0; p < kPrograms; ++p) {
      char text[16];
      std::snprintf(text, sizeof text, "Sound %03d", p + 1);
      m_groups[p / kProgramsPerGroup]->AddItem(text);
    }
  }
  for (int k = 0; k < kGroups; ++k) {
    char label[16];
    std::snprintf(label, sizeof label, "%02d-%d", k * kProgramsPerGroup + 1, (k + 1) * kProgramsPerGroup);
    m_root->AddItem(label, m_groups[k].get());
  }
  if (program >= 0 && program < kPrograms) m_groups[program / kProgramsPerGroup]->CheckItemAlone(program % kProgramsPerGroup);
  return true;
}

void ProgramNumberPopupMenu::clearMarks() {
  m_root->CheckItemAlone(-1);
  for (auto& g : m_groups) g->CheckItemAlone(-1);
}

int ProgramNumberPopupMenu::doPopupMenu(int& index) {
  IGraphics* g = GetPlug() ? GetPlug()->GetGUI() : nullptr;
  if (!g) return 0;
  IPopupMenu* chosen = g->CreateIPopupMenu(m_root.get(), &mRECT);
  if (!chosen) return 0;
  clearMarks();
  int k = -1;
  for (int i = 0; i < kGroups; ++i)
    if (m_groups[i].get() == chosen) k = i;
  const int item = chosen->GetChosenItemIdx();
  if (k < 0 || item < 0 || item >= chosen->GetNItems()) return 0;
  const int p = k * kProgramsPerGroup + item;
  index = p;
  const int param = programParam();
  const bool multi = m_host && m_host->multiMode();
  if (m_host && !m_host->libraryNamesMode()) {
    setThroughGraphics(GetPlug(), param, p);
    if (m_host->bankChangeMessage(validPart(m_host))) {
      if (m_host->deviceRequestMode())
        requestSelected(m_host, multi);
      else
        m_host->sendPatchToDevice(validPart(m_host), !multi, multi);
    }
  } else if (m_host) {
    if (LibrarianViewControl* view = m_host->librarianView()) {
      view->setUpperSelectedSlot(p);
      view->setKeyboardCursor(p);
      if (m_librarian) m_librarian->selectedSlot = p;
      Sleep(10);
      // The names listed are the upper bank's, so the entry sent is the upper bank's too.
      m_host->sendPatchToDeviceFromLibrarian(p, LibrarianViewControl::kUpperGrid, validPart(m_host));
    }
  }
  setRawClamped(GetPlug(), param, p);
  chosen->CheckItemAlone(item);
  index = item;
  return item;
}

void ProgramNumberPopupMenu::OnMouseDown(int, int, IMouseMod*) {
  doPopupMenu(m_chosenIndex);
  SetDirty(false);
}

std::string ProgramNumberPopupMenu::shownText() const {
  const IParam* p = GetPlug() ? GetPlug()->GetParam(programParam()) : nullptr;
  const int program = p ? p->Int() : -1;
  if (program < 0 || program >= kPrograms) return std::string();
  char text[8];
  std::snprintf(text, sizeof text, "%03d", program + 1);
  return text;
}

bool ProgramNumberPopupMenu::IsDirty() { return IControl::IsDirty() || shownText() != m_drawn; }

bool ProgramNumberPopupMenu::Draw(IGraphics* graphics) {
  m_drawn = shownText();
  return librarianDrawInvisible(graphics, &mRECT) && librarianDrawDisplayText(graphics, &mRECT, m_drawn);
}

// ---------------------------------------------------------------------------------------------

BankNumberPopupMenu::BankNumberPopupMenu(IPluginBase* plug, PatchLibrarian* librarian, IRECT rect,
                                         LibrarianUIHost* host)
    : IControl(plug, rect, -1), m_host(host) {
  (void)librarian;  // the device's banks are not the library's
  refreshPatchNames(0);
}

int BankNumberPopupMenu::bankParam() const {
  if (m_host && m_host->multiMode()) return kMultiBank;
  return paramOfPart(kMultiPartBank, validPart(m_host));
}

bool BankNumberPopupMenu::refreshPatchNames(int bank) {
  m_menu = std::make_unique<IPopupMenu>();
  if (m_host && m_host->multiMode()) {
    m_menu->AddItem("Bank 0 (RAM)");
    return false;
  }
  m_menu->AddItem("Bank A (RAM)");
  m_menu->AddItem("Bank B (RAM)");
  m_menu->AddItem("Bank C (RAM)");
  m_menu->CheckItemAlone(bank);  // 3 or more, or negative: no mark
  return true;
}

int BankNumberPopupMenu::doPopupMenu(int& index) {
  IGraphics* g = GetPlug() ? GetPlug()->GetGUI() : nullptr;
  if (!g) return 0;
  IPopupMenu* chosen = g->CreateIPopupMenu(m_menu.get(), &mRECT);
  if (chosen) chosen->CheckItemAlone(-1);
  if (chosen != m_menu.get()) return 0;
  const int b = chosen->GetChosenItemIdx();
  if (b < 0 || b >= chosen->GetNItems()) return 0;
  index = b;
  const int param = bankParam();
  setThroughGraphics(GetPlug(), param, b);
  const bool multi = m_host && m_host->multiMode();
  if (m_host && m_host->bankChangeMessage(validPart(m_host)) && !multi) {
    if (m_host->deviceRequestMode())
      requestSelected(m_host, false);
    else
      m_host->sendPatchToDevice(validPart(m_host), true, false);
  }
  setRawClamped(GetPlug(), param, b);
  chosen->CheckItemAlone(b);
  return b;
}

void BankNumberPopupMenu::OnMouseDown(int, int, IMouseMod*) {
  IParam* p = GetPlug() ? GetPlug()->GetParam(bankParam()) : nullptr;
  m_chosenIndex = p ? p->Int() : 0;
  doPopupMenu(m_chosenIndex);
  // A dismissed menu re-applies the current bank.
  setThroughGraphics(GetPlug(), bankParam(), m_chosenIndex);
  SetDirty(false);
}

std::string BankNumberPopupMenu::shownText() const {
  if (m_host && m_host->multiMode()) return "0";
  const IParam* p = GetPlug() ? GetPlug()->GetParam(bankParam()) : nullptr;
  const int bank = p ? p->Int() : -1;
  return bank >= 0 && bank < 3 ? std::string(1, static_cast<char>('A' + bank)) : std::string();
}

bool BankNumberPopupMenu::IsDirty() { return IControl::IsDirty() || shownText() != m_drawn; }

bool BankNumberPopupMenu::Draw(IGraphics* graphics) {
  m_drawn = shownText();
  return librarianDrawInvisible(graphics, &mRECT) && librarianDrawDisplayText(graphics, &mRECT, m_drawn);
}
