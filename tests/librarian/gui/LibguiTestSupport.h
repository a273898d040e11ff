// Shared helpers of the librarian interface tests: a plug-in with the editor's parameters, a
// headless graphics object whose popups answer with a scripted path of item texts and whose
// file panels answer with a scripted path, a host that records what the controls ask of the
// editor, and a generated library on disk.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BankGenerator.h"
#include "ControlLayer.h"
#include "GFX_Bitmap.h"
#include "IGraphics.h"
#include "IParam.h"
#include "IPopupMenu.h"
#include "LibrarianView.h"
#include "LibrarianViewHost.h"
#include "ParamNames.h"
#include "PatchLibrarian.h"
#include "TestPlug.h"

namespace libgui {

class LibPlug : public TestPlug {
public:
  LibPlug() : TestPlug(kNumParams, "2-2", 0, 0) {
    for (int n : {kPatchSelectionListUpper, kPatchSelectionListLower, kCurrentOpenPerfBankL, kCurrentOpenPerfBankR})
      GetParam(n)->InitEnum("Bank Selection List", 0, 100);
    for (int part = 0; part < kNumParts; ++part) {
      GetParam(kCurrentOpenPatchBankL + part)->InitEnum("Open Bank L", 0, 1);
      GetParam(kCurrentOpenPatchBankR + part)->InitEnum("Open Bank R", 0, 1);
      GetParam(kMultiPartPatch + part)->InitInt("Program", 0, 0, 99);
      GetParam(kMultiPartBank + part)->InitInt("Bank", 0, 0, 2);
    }
    GetParam(kMultiPatch)->InitInt("Multi Program", 0, 0, 99);
    GetParam(kMultiBank)->InitInt("Multi Bank", 0, 0, 0);
    GetParam(kDeviceOutSelection)->InitInt("Device Out", 0, 0, 8);
    GetParam(kMainTab)->InitInt("Main Tab", 0, 0, 5);
    GetParam(kBankEditUnsaved)->InitBool("Unsaved", false);
    GetParam(kPatchRename)->InitText();
  }
  void ProcessSysEx(ISysEx* sx, bool fromDevice) override {
    fed.emplace_back(sx->mData, sx->mData + sx->mSize);
    (void)fromDevice;
  }
  void OnParamChange(int paramIdx) override {
    changes.push_back(paramIdx);
    if (onChange) onChange(paramIdx);
  }
  std::vector<std::vector<uint8_t>> fed;
  std::vector<int> changes;  // parameter-change handler calls
  std::function<void(int)> onChange;  // what the editor's handler would do, where a test needs it
};

// Popups answer by walking `path` (item texts, submenus descended); an empty path or a text not
// found dismisses the menu. File panels answer with `file`.
class ScriptedGraphics : public IGraphics {
public:
  explicit ScriptedGraphics(IPluginBase* plug) : IGraphics(plug, 1500, 757, 0) {}
  IPopupMenu* CreateIPopupMenu(IPopupMenu* menu, IRECT* rect) override {
    shown.push_back(menu);
    lastRect = *rect;
    IPopupMenu* m = menu;
    for (size_t i = 0; i < path.size(); ++i) {
      int found = -1;
      for (int k = 0; k < m->GetNItems(); ++k)
        if (path[i] == m->GetItemText(k)) found = k;
      if (found < 0) return nullptr;
      IPopupMenu* sub = m->GetItem(found)->GetSubmenu();
      if (sub && i + 1 < path.size()) {
        m = sub;
        continue;
      }
      m->SetChosenItemIdx(found);
      return m;
    }
    return nullptr;
  }
  void CreateTextEntry(IControl* control, IText*, IRECT*, const char* str, IParam*) override {
    entryControl = control;
    entryText = str ? str : "";
  }
  void PromptForFile(UTIL_String* out, EFileAction action, UTIL_String* dir, char* ext) override {
    lastAction = action;
    lastExt = ext ? ext : "";
    lastDir = dir && dir->Get() ? dir->Get() : "";
    out->Set(file.c_str());
  }
  std::vector<std::string> path;
  std::vector<IPopupMenu*> shown;
  IRECT lastRect;
  std::string file, lastExt, lastDir, entryText;
  EFileAction lastAction = kFileOpen;
  IControl* entryControl = nullptr;  // the control whose text field was opened last
};

class RecordingHost : public LibrarianUIHost {
public:
  bool multiMode() const override { return multi; }
  bool categoryView() const override { return category; }
  bool searchView() const override { return search; }
  bool libraryNamesMode() const override { return libraryNames; }
  bool deviceRequestMode() const override { return deviceRequest; }
  int currentPart() const override { return part; }
  bool midiIOSet() const override { return midiSet; }
  bool debugLog() const override { return true; }
  void log(const std::string& line) override { logs.push_back(line); }
  void showStatus(const std::string& text) override { statuses.push_back(text); }
  void setRenameArmed(bool armed) override { renameArmed = armed; }
  LibrarianBankName bankName(LibrarianBankRecord which) const override { return names[static_cast<int>(which)]; }
  void setBankName(LibrarianBankRecord which, const LibrarianBankName& n) override {
    names[static_cast<int>(which)] = n;
  }
  ControlLayer* layer(const std::string& name) override {
    for (auto& l : layers)
      if (l->getName() == name) return l.get();
    return nullptr;
  }
  LibrarianViewControl* librarianView() override { return view; }
  std::string patchesFolder() const override { return patches; }
  std::string fileDialogFolder() const override { return dialogFolder; }
  void refreshPopUpMenus() override { calls.push_back("refreshPopUpMenus"); }
  void updateBankAndProgramMenuNames(bool keep) override {
    calls.push_back(std::string("updateBankAndProgramMenuNames ") + (keep ? "true" : "false"));
  }
  void showFileEditMenu(int x, int y) override { calls.push_back("edit " + xy(x, y)); }
  void showFileCopyMenu(int x, int y) override { calls.push_back("copy " + xy(x, y)); }
  void openDataDirectory() override { calls.push_back("openDataDirectory"); }
  bool bankChangeMessage(int p) override {
    calls.push_back("bankChange " + std::to_string(p));
    return bankChangeOk;
  }
  void sendPatchToDevice(int p, bool sound, bool m) override {
    calls.push_back("sendPatchToDevice " + std::to_string(p) + (sound ? " sound" : "") + (m ? " multi" : ""));
  }
  void sendPatchToDeviceFromLibrarian(int slot, int grid, int p) override {
    calls.push_back("fromLibrarian " + std::to_string(slot) + " " + std::to_string(grid) + " " + std::to_string(p));
  }
  bool startLibrarianJob(const LibrarianJob& j) override {
    jobs.push_back(j);
    return true;
  }
  void sendSinglePatchRequestFromLibrarian(bool editBuffer, int n) override {
    calls.push_back(std::string("singleRequest ") + (editBuffer ? "edit " : "stored ") + std::to_string(n));
  }
  void sendAllPatchRequestFromLibrarian(int bank) override { calls.push_back("allRequest " + std::to_string(bank)); }
  void armMultiCapture() override { calls.push_back("armMultiCapture"); }
  void storeAllPatchesToDeviceFromLibrarian(int mode, int first, int bank) override {
    calls.push_back("storeAll " + std::to_string(mode) + " " + std::to_string(first) + " " + std::to_string(bank));
  }
  void storeLibrarianSlotToDevice(int slot, int bank) override {
    calls.push_back("storeSlot " + std::to_string(slot) + " " + std::to_string(bank));
  }
  void setLibrarianRequestActive(bool a) override { calls.push_back(a ? "requestActive" : "requestInactive"); }
  void processLibrarianSysEx(ISysEx* sx) override {
    fed.emplace_back(sx->mData, sx->mData + sx->mSize);
  }
  void setLibrarianStatusUnsaved(bool u) override { calls.push_back(u ? "unsaved" : "saved"); }

  bool has(const std::string& call) const {
    for (const auto& c : calls)
      if (c == call) return true;
    return false;
  }
  static std::string xy(int x, int y) { return std::to_string(x) + "," + std::to_string(y); }

  bool multi = false, category = false, search = false, libraryNames = false, deviceRequest = false;
  bool midiSet = true, renameArmed = false, bankChangeOk = true;
  int part = 0;
  LibrarianBankName names[4];
  std::vector<std::unique_ptr<ControlLayer>> layers;
  LibrarianViewControl* view = nullptr;
  std::string patches, dialogFolder;
  std::vector<std::string> calls, logs, statuses;
  std::vector<LibrarianJob> jobs;
  std::vector<std::vector<uint8_t>> fed;
};

// Item texts of a menu, the submenu an item opens, and the checked items.
inline std::vector<std::string> texts(const IPopupMenu* m) {
  std::vector<std::string> out;
  for (int i = 0; m && i < m->GetNItems(); ++i) out.push_back(m->GetItemText(i));
  return out;
}
inline IPopupMenu* sub(const IPopupMenu* m, const std::string& text) {
  for (int i = 0; i < m->GetNItems(); ++i)
    if (text == m->GetItemText(i)) return m->GetItem(i)->GetSubmenu();
  return nullptr;
}
inline std::vector<int> checked(const IPopupMenu* m) {
  std::vector<int> out;
  for (int i = 0; i < m->GetNItems(); ++i)
    if (m->IsItemChecked(i)) out.push_back(i);
  return out;
}

// A plug-in, its scripted graphics, a host and a library loaded from a temporary data folder.
struct LibraryFixture {
  testbanks::TempDataHome home;
  testbanks::LogCapture logCapture;
  LibPlug plug;
  ScriptedGraphics* graphics = new ScriptedGraphics(&plug);
  RecordingHost host;
  PatchLibrarian lib;

  LibraryFixture() {
    plug.AttachGraphics(graphics);
    host.patches = home.patches();
    for (const char* n : {"patchRename", "saveChangesLayer", "aboutWindow"})
      host.layers.push_back(std::make_unique<ControlLayer>(1, n));
  }
  void write(const std::string& rel, const testbanks::Bytes& bytes) {
    const std::string path = home.patches() + "/" + rel;
    testbanks::makeFolders(path.substr(0, path.rfind('/')));
    testbanks::writeFile(path, bytes);
  }
  void writeSounds(const std::string& rel, const std::string& prefix, int count = 100) {
    write(rel, testbanks::rawBank(testbanks::sounds(count, prefix, {"Bass", "Pad "}), 30001));
  }
  void writeMultis(const std::string& rel, const std::string& prefix) {
    write(rel, testbanks::rawBank(testbanks::multis(100, prefix), 30001));
  }
  void load() { lib.initBankFilesOnDiscard(home.patches()); }
  int soundIndex(const std::string& file) const {
    for (size_t i = 0; i < lib.soundBankFiles.size(); ++i)
      if (lib.soundBankFiles[i]->fileName == file) return static_cast<int>(i);
    return -1;
  }
};

}  // namespace libgui
