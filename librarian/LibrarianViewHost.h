// What the librarian's user interface (slot grid, bank menus, number menus, action menus and the
// selection lists) needs of the editor, kept narrow so that the controls run and are tested
// without the plug-in class. The editor implements it with a small adapter that forwards to its
// own members and to the MIDI engine; tests implement it with a recorder.
//
// Threads: every call comes from the GUI (main) thread, except that the grid's refill operations
// (patchSelectionUpperChanged/LowerChanged) also run on the MIDI input thread after a dump was
// stored; those make no call through this interface.
//
// Ownership: the interface owns nothing of the controls and the controls own nothing of it.
#pragma once

#include <string>

class ControlLayer;
class LibrarianViewControl;
struct ISysEx;

// The four banks whose file and folder names the editor remembers so that the bank menus can
// mark them. The lower sound, category and search menus share kLowerBank.
enum class LibrarianBankRecord { kUpperSound = 0, kLowerBank = 1, kUpperMulti = 2, kLowerMulti = 3 };

struct LibrarianBankName {
  std::string fileName;
  std::string folderName;
};

// One job of the MIDI engine's first worker thread, with the manager flags that the starting menu
// item sets together with it.
struct LibrarianJob {
  int code = -1;
  int part = 0;
  bool toEditor = false;          // sender: received data goes to the editor, not the librarian
  bool storeInLibrarian = false;  // sender: a dump made from the editor lands in the selected slot
  bool checkFlag = false;         // sender: jobs 11 and 12 only
  bool setManagerToEditor = false;
  bool setManagerTransfer = false;
  bool clearParseComplete = false;
  // The editor's transfer flags (incoming SysEx ignored while a dump is pushed). Set only when
  // the job starts: set without a job, nothing would ever clear them again.
  bool setEditorTransfer = false;
};

// Job codes started from the librarian's menus.
constexpr int kJobMultiDump = 0;
constexpr int kJobPartSoundDump = 2;
constexpr int kJobRequestActiveMulti = 5;
constexpr int kJobRequestPartSound = 6;
constexpr int kJobRequestStoredMulti = 7;
constexpr int kJobRequestAllMultis = 8;
constexpr int kJobInitMultiSlot = 11;
constexpr int kJobInitSoundSlot = 12;

class LibrarianUIHost {
public:
  virtual ~LibrarianUIHost() = default;

  // ---- editor state ----
  virtual bool multiMode() const = 0;          // data type multis
  virtual bool categoryView() const = 0;       // lower grid shows category banks
  virtual bool searchView() const = 0;         // lower grid shows search-result banks
  virtual bool libraryNamesMode() const = 0;   // kControlLibrary on
  virtual bool deviceRequestMode() const = 0;  // kControlProgBank on
  virtual int currentPart() const = 0;         // 0..15
  virtual bool midiIOSet() const = 0;
  virtual bool debugLog() const = 0;
  // One diagnostics line for the editor's log (written only while debugLog() is on).
  virtual void log(const std::string& line) = 0;
  virtual void showStatus(const std::string& text) = 0;
  virtual void setRenameArmed(bool armed) = 0;
  virtual LibrarianBankName bankName(LibrarianBankRecord which) const = 0;
  virtual void setBankName(LibrarianBankRecord which, const LibrarianBankName& name) = 0;
  // A layer the editor keeps by name ("patchRename", "saveChangesLayer", "aboutWindow"), or null.
  virtual ControlLayer* layer(const std::string& name) = 0;
  virtual LibrarianViewControl* librarianView() = 0;
  virtual std::string patchesFolder() const = 0;     // the library root, no trailing "/"
  virtual std::string fileDialogFolder() const = 0;  // where open panels start; may be empty

  // ---- display glue of the editor core ----
  virtual void refreshPopUpMenus() = 0;
  virtual void updateBankAndProgramMenuNames(bool keepBankMenu) = 0;
  virtual void showFileEditMenu(int x, int y) = 0;
  virtual void showFileCopyMenu(int x, int y) = 0;
  virtual void openDataDirectory() = 0;

  // ---- MIDI engine ----
  // False (and nothing sent) when another active part uses the same bank and program.
  virtual bool bankChangeMessage(int part) = 0;
  virtual void sendPatchToDevice(int part, bool sound, bool multi) = 0;
  virtual void sendPatchToDeviceFromLibrarian(int slot, int grid, int part) = 0;
  // Starts the job when the first worker thread is idle; false (nothing started) when busy.
  virtual bool startLibrarianJob(const LibrarianJob& job) = 0;
  virtual void sendSinglePatchRequestFromLibrarian(bool editBuffer, int number) = 0;
  virtual void sendAllPatchRequestFromLibrarian(int bank) = 0;
  // Empties the multi capture's accumulator and texts, arms it and clears parse-complete.
  virtual void armMultiCapture() = 0;
  // Writes entries first.. of the upper bank into programs 0.. of the synthesizer's bank (job 4).
  virtual void storeAllPatchesToDeviceFromLibrarian(int mode, int first, int bank) = 0;
  // Writes the one entry at `slot` of the upper bank into program `slot` of the synthesizer's
  // bank `bank`, leaving every other program of the synthesizer as it was.
  virtual void storeLibrarianSlotToDevice(int slot, int bank) = 0;
  virtual void setLibrarianRequestActive(bool active) = 0;
  // The plug-in's SysEx input, as if the synthesizer had sent the message: the librarian's own
  // dump, which the capture it armed stores whatever request waits.
  virtual void processLibrarianSysEx(ISysEx* sysex) = 0;
  virtual void setLibrarianStatusUnsaved(bool unsaved) = 0;
};
