// The editor's side of LibrarianUIHost: forwards what the librarian's controls ask to the
// Sorvanta object's own members (SorvantaLibrarian.cpp) and to the device MIDI engine
// (SorvantaLibrarianEngine.cpp, the only file that knows the engine's interface).
//
// Owned by the Sorvanta object (made on first use, deleted by shutdownLibrarianUI); it holds a
// plain back pointer. Threads: those of the controls that call it (GUI thread).
#pragma once

#include "LibrarianViewHost.h"

class Sorvanta;

class SorvantaLibrarianBridge : public LibrarianUIHost {
public:
  explicit SorvantaLibrarianBridge(Sorvanta* plug) : p(plug) {}

  bool multiMode() const override;
  bool categoryView() const override;
  bool searchView() const override;
  bool libraryNamesMode() const override;
  bool deviceRequestMode() const override;
  int currentPart() const override;
  bool midiIOSet() const override;
  bool debugLog() const override;
  void log(const std::string& line) override;
  void showStatus(const std::string& text) override;
  void setRenameArmed(bool armed) override;
  LibrarianBankName bankName(LibrarianBankRecord which) const override;
  void setBankName(LibrarianBankRecord which, const LibrarianBankName& name) override;
  ControlLayer* layer(const std::string& name) override;
  LibrarianViewControl* librarianView() override;
  std::string patchesFolder() const override;
  std::string fileDialogFolder() const override;
  void refreshPopUpMenus() override;
  void updateBankAndProgramMenuNames(bool keepBankMenu) override;
  void showFileEditMenu(int x, int y) override;
  void showFileCopyMenu(int x, int y) override;
  void openDataDirectory() override;

  // Device MIDI engine (SorvantaLibrarianEngine.cpp).
  bool bankChangeMessage(int part) override;
  void sendPatchToDevice(int part, bool sound, bool multi) override;
  void sendPatchToDeviceFromLibrarian(int slot, int grid, int part) override;
  bool startLibrarianJob(const LibrarianJob& job) override;
  void sendSinglePatchRequestFromLibrarian(bool editBuffer, int number) override;
  void sendAllPatchRequestFromLibrarian(int bank) override;
  void armMultiCapture() override;
  void storeAllPatchesToDeviceFromLibrarian(int mode, int first, int bank) override;
  void storeLibrarianSlotToDevice(int slot, int bank) override;
  void setLibrarianRequestActive(bool active) override;
  void processLibrarianSysEx(ISysEx* sysex) override;
  void setLibrarianStatusUnsaved(bool unsaved) override;

private:
  Sorvanta* p;
};
