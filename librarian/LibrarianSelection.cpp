#include "LibrarianSelection.h"

#include <vector>

#include "ControlAction.h"
#include "IControl.h"
#include "IParam.h"
#include "IPluginBase.h"
#include "LibrarianView.h"
#include "LibrarianViewHost.h"
#include "ParamNames.h"
#include "PatchLibrarian.h"
#include "UTIL_String.h"

namespace {

const std::vector<PatchFile*>* flatListOfKind(PatchLibrarian& lib, int listKind) {
  switch (listKind) {
    case kListSoundBanks: return &lib.soundBankFiles;
    case kListCategoryBanks: return &lib.categoryBankFiles;
    case kListMultiBanks: return &lib.multiBankFiles;
    case kListSearchBanks: return &lib.searchBankFiles;
    default: return nullptr;
  }
}

std::vector<int> perPart(int base) {
  std::vector<int> out;
  for (int part = 0; part < kNumParts; ++part) out.push_back(paramOfPart(base, part));
  return out;
}

// The selection lists a list kind empties first and then refills, in their order.
std::vector<int> listsToEmpty(int listKind) {
  std::vector<int> out;
  if (listKind == kListSoundBanks) {
    out = {kPatchSelectionListUpper, kPatchSelectionListLower};
    for (int part = 0; part < kNumParts; ++part) {
      out.push_back(paramOfPart(kCurrentOpenPatchBankL, part));
      out.push_back(paramOfPart(kCurrentOpenPatchBankR, part));
    }
  } else if (listKind == kListMultiBanks) {
    out = {kPatchSelectionListUpper, kPatchSelectionListLower};
  } else {
    out = {kPatchSelectionListLower};
    for (int p : perPart(kCurrentOpenPatchBankR)) out.push_back(p);
  }
  out.push_back(kCurrentOpenPerfBankL);
  out.push_back(kCurrentOpenPerfBankR);
  return out;
}

std::vector<int> listsToRefill(int listKind) {
  std::vector<int> out = listsToEmpty(listKind);
  // Sound and category/search kinds leave the multi lists empty.
  if (listKind != kListMultiBanks) out.resize(out.size() - 2);
  return out;
}

std::vector<std::string> fileNames(PatchLibrarian& lib, const std::vector<PatchFile*>& list) {
  UTIL_MutexLock lock(&lib.bankLock());
  std::vector<std::string> names;
  names.reserve(list.size());
  for (const PatchFile* f : list) names.push_back(f->fileName);
  return names;
}

void writeDisplayTexts(IPluginBase* plug, LibrarianUIHost& host, const std::vector<std::string>& names,
                       const std::vector<int>& params) {
  if (names.empty()) {
    // Shown as a number, an empty list would read "0", as if there were a bank 0.
    for (int n : params)
      if (IParam* p = plug->GetParam(n)) p->SetDisplayText(0, kNoBankText);
    return;
  }
  LibrarianDisplayNamePass pass;
  for (size_t i = 0; i < names.size(); ++i) {
    bool shortened = false;
    const std::string text = pass.displayName(names[i], &shortened);
    for (int n : params)
      if (IParam* p = plug->GetParam(n)) p->SetDisplayText(static_cast<int>(i), text.c_str());
    if (shortened && host.debugLog())
      host.log("PATCH LIBRARIAN: Filename " + names[i] + " RENAMED TO " + text +
               " Because the filename was too long to fit in plug-in display!");
  }
}

void refreshGrids(LibrarianUIHost& host, bool markDirty) {
  LibrarianViewControl* view = host.librarianView();
  if (!view) return;
  if (markDirty) view->SetDirty(false);
  view->patchSelectionUpperChanged();
  view->patchSelectionLowerChanged();
}

IControl* mainControlOf(IPluginBase* plug, int paramIdx) {
  IParam* p = plug->GetParam(paramIdx);
  ControlAction* a = p ? p->GetControlAction() : nullptr;
  return (a && !a->controls.empty()) ? a->controls[0] : nullptr;
}

}  // namespace

std::string LibrarianDisplayNamePass::displayName(const std::string& fileName, bool* shortened) {
  if (shortened) *shortened = false;
  if (fileName.size() <= kMaxShownName) return fileName;
  const std::string prefix = fileName.substr(0, UTIL_Utf8Cut(fileName, kPrefixLength));
  m_counter = prefix == m_prefix ? m_counter + 1 : 1;
  m_prefix = prefix;
  const size_t dot = fileName.rfind('.');
  std::string ext = dot == std::string::npos ? fileName : fileName.substr(dot + 1);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  std::string text = prefix + "~" + std::to_string(m_counter) + "." + ext;
  text.resize(UTIL_Utf8Cut(text, kMaxDisplayText));
  if (shortened) *shortened = true;
  return text;
}

void librarianPatchTypeChanged(IPluginBase* plug, PatchLibrarian& librarian, LibrarianUIHost& host,
                               int patchType, int listKind, bool reload) {
  if (reload) librarian.initBankFilesOnDiscard(host.patchesFolder());
  librarian.patchType = patchType;
  librarian.upperSelection = 0;
  librarian.lowerSelection = 0;
  refreshGrids(host, false);
  const std::vector<PatchFile*>* list = flatListOfKind(librarian, listKind);
  if (!list || !plug) return;
  for (int n : listsToEmpty(listKind)) {
    if (IParam* p = plug->GetParam(n)) {
      p->ResetDisplayTexts();
      p->SetClamped(0);
    }
  }
  for (int n : {kPatchSelectionListUpper, kPatchSelectionListLower})
    if (IControl* c = mainControlOf(plug, n)) c->SetValueFromUserInput(0);
  writeDisplayTexts(plug, host, fileNames(librarian, *list), listsToRefill(listKind));
  host.refreshPopUpMenus();
}

void librarianResetPatchSelectionMenus(IPluginBase* plug, PatchLibrarian& librarian, LibrarianUIHost& host) {
  const bool multi = host.multiMode();
  std::vector<int> params = listsToRefill(multi ? kListMultiBanks : kListSoundBanks);
  if (plug) writeDisplayTexts(plug, host, fileNames(librarian, multi ? librarian.multiBankFiles : librarian.soundBankFiles), params);
  refreshGrids(host, true);
}
