// The editor's plug-in class: one object per component instance, made by NewPlugInstance while
// the Audio Unit binding holds its process-wide construction lock, deleted by the host's close
// call. It owns the patch manager, the patch librarian, the UI configuration manager and (through
// the device MIDI engine's section) the MIDI message manager; the framework base owns the graphics
// object once AttachGraphics has run, and the graphics object owns every layer and control.
//
// The class is large, so its methods are spread over files by concern: construction, tear-down,
// settings and log files in Sorvanta.cpp; parameter-change handlers in SorvantaParams.cpp; the
// control-action routine, value display, tabs and the state chunk in their own Sorvanta*.cpp.
// The members that drive the device MIDI engine are grouped in their section below and their
// methods live in SorvantaMidi.cpp; those that drive the librarian in theirs, with methods in
// SorvantaLibrarian.cpp and SorvantaLibrarianEngine.cpp. The engine and the librarian see this
// class only through MidiEngineHost and LibrarianHost.
//
// Threads: the constructor runs on the opening thread and starts no thread and sends nothing.
// The parameter-change handlers run under the plug-in's recursive lock on whatever thread made
// the change (main thread for GUI edits, host thread, MIDI input dispatch for values from the
// synthesizer). Flags read by the render thread or the worker threads are atomics.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "ControlAction.h"
#include "EditorLog.h"
#include "IPluginAU.h"
#include "IPlugStructs.h"
#include "MIDIMessageManager.h"
#include "ParamNames.h"
#include "PatchLibrarian.h"
#include "UIConfigManager.h"

class ControlLayer;
class IControl;
class IGraphics;
class ITextControl;
class PatchManager;
class ProgressIndicator;
class UIConfigManager;
class MIDIMessageManager;

// A double truncated toward zero, held to the int range (NaN gives 0): parameter values and
// chunk values are never cast to int directly.
inline int truncToInt(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(v);
}

// Identity of the editor as the host sees it.
namespace SorvantaIdentity {
constexpr const char* kEffectName = "Sorvanta Editor";
constexpr const char* kMfrName = "Harrowgate Sound Labs";
constexpr int kVendorVersion = 0x10006;
constexpr int kLatency = 128;
// Parameters 0..kNumStoredParams-1 are the stored state; the last 545 are the editor's own
// controls and are never stored.
constexpr int kNumUnstoredParams = 545;
constexpr int kNumStoredParams = kNumParams - kNumUnstoredParams;
constexpr int kWindowWidth = 1500;
constexpr int kWindowHeight = 757;
}  // namespace SorvantaIdentity

class Sorvanta : public IPluginAU, public LibrarianHost, public PlugMidiFlags {
public:
  explicit Sorvanta(IPluginInstanceInfo info);
  ~Sorvanta() override;

  // Test and tool hook, process-wide: when set, the constructor builds its interface on the
  // graphics object this returns (a headless one in tests) instead of the GTK binding, and reads
  // the interface description from `resourcesFolderOverride` when that is not empty. Set before
  // construction; never changed while a plug-in object lives.
  using GraphicsFactory = IGraphics* (*)(Sorvanta* plug, int width, int height);
  static GraphicsFactory graphicsFactoryOverride;
  static std::string resourcesFolderOverride;
  // The librarian's slot grid factory for the "patchBrowser" element (tests may set another,
  // process-wide, before construction). Empty: makeLibrarianView, the librarian UI's own.
  static UIConfigManager::LibrarianViewFactory librarianViewFactory;
  // Port names for the interface's device selectors (tests); empty: the direct port lists.
  static UIConfigManager::PortNamesProvider portNamesOverride;

  // ---- framework slots (editor core) ----
  void OnParamChange(int paramIdx) override;
  void OnParamChange2(int paramIdx) override;
  bool SerializeState(ByteChunk* chunk) override;
  int UnserializeState(ByteChunk* chunk, int startPos) override;

  // ---- LibrarianHost ----
  bool librarianMultiMode() const override { return multiMode; }
  void setUpperBankRecord(bool multi, const std::string& fileName, const std::string& folderName) override;
  void showLibrarianStatus(const std::string& text, const std::string& reason, const std::string& name) override {
    showStatusAndReason(text, reason, name);
  }

  // ---- state chunk (main thread or host thread, under the lock) ----
  // Writes the editor's state: version word, current part, hardware model, the patch manager's
  // block (with names only when withNames), four selection values, all stored parameters.
  bool SerializeState2(ByteChunk* chunk, bool withNames);
  // Reads it back from pos; the position after the state, or 0 when the chunk is refused
  // (wrong version, short, or a field out of range). A refused chunk changes nothing.
  int UnserializeState2(ByteChunk* chunk, int pos, bool withNames);
  // A project restored while no MIDI output carried once its ports were reopened (the synth
  // off) is shown at once, the status says it is held, and its push is due: what is edited
  // meanwhile goes with it. Once the ports carry (see afterPortChange) this starts the session's
  // push (startSessionPush); true when one was due and started. Under the lock.
  bool applyHeldProjectState();
  // The push job's first step (any thread, takes the lock): the due session is going; the global
  // settings the device check's answer replaced go back to the session's (the id stays the one
  // the synth answered at); and a project held behind a running job is applied. False when no
  // project was held or no output is set.
  bool applyHeldProjectValues();
  // A project push (job 0 of a restore) ended while a port did not carry, or one was opened again
  // under it: what it sent may not have arrived. The session goes again once both carry. Worker
  // thread.
  void projectPushCut();
  // The session's device check ended (its own job, worker thread): heard, its push follows it.
  void sessionCheckEnded(bool heard);
  // The host's program change for a part (render thread): see programsOwed.
  void setProgramFromHost(int part, int program);
  // While the output does not carry: `program` is owed to the synth for `part` (true), else false.
  bool oweProgram(int part, int program);
  // The MIDI filter and clock flags from their parameters' current values.
  void syncMidiFilterMirrors();
  // The flags of the library-names and device-program switches (kControlLibrary,
  // kControlProgBank) from their values; device programs win when both are on. Construction and
  // restore set values without the handler, so each gives them their effect through this.
  void applyProgramModeSwitches();
  // Every stored switch whose handler keeps a flag: the program modes, master keyboard, local
  // control, keep-selected-bank and the MIDI filter mirrors (a restore's values).
  void applySwitchEffects();
  // kSendMIDIClockInfo's switch: on reads the host tempo and lets the next audio block start
  // the continuous clock; off stops it.
  void applyClockSwitch(bool on);

  // ---- control-action routine and display ----
  // Sends `value` of parameter `paramIdx` by its binding (Control Change or prepared SysEx) and
  // moves every control bound to the record. Nothing is sent while the no-send flag is set or no
  // MIDI output is chosen.
  void processControlAction(ControlAction* action, int paramIdx, double value);
  void displayText(const std::string& name, const std::string& value, const std::string& cc);
  void displayPatchName(std::string name);
  void displayCategoryName(std::string name);
  // Text 0 of a name parameter (kPatchName, kCategoryName, kMultiName + part). The dump parser
  // writes these on the MIDI input thread while dump jobs and tab switching read them and the
  // window draws them, and an IParam's texts are plain character arrays: every engine-side access
  // goes through these two, under the framework's ParamTextLock (which the window's drawing of
  // texts takes too), and so does the GUI's text entry through SetParamTextFromGUI.
  std::string nameText(int paramIdx) const;
  void setNameText(int paramIdx, const std::string& text);
  void SetParamTextFromGUI(int paramIdx, const char* text) override;
  // Escape in the rename box ends the rename: the box goes at once, the slot keeps its name.
  void OnTextEntryCancelled(int paramIdx) override;
  void displayBuild(const std::string& text);
  // "Part <part+1> <text>", valid until the next call.
  const char* getPanelString(int part, const std::string& text);
  // The status line (kControlDisplayName's first control). A parameter's value under it goes
  // with the name the text replaces; a reason written under it afterwards stays.
  void setStatusText(const std::string& text);
  // The value display's pair: a parameter's name in the status line, its value under it.
  void showNameAndValue(const char* name, const char* value);
  // A refusal or failure: text in the status line and, when not empty, the system's reason under
  // it. Before the interface stands, kept and shown once it does.
  // `name`: the file's name the reason holds, kept when the line is shortened to fit.
  void showStatusAndReason(const std::string& text, const std::string& reason, const std::string& name = std::string());

  // ---- reverse lookups for the MIDI parser ----
  IControl* getCCControls(int channel, int ccNumber, int partless) const;
  IControl* getSysexControl(int k1, int k2, int k3, int k4, int k5) const;
  IControl* getMsbLsbControl(int k1, int k2, int k3, int k4, int k5) const;

  // ---- data folder ----
  std::string getDataFolder() const;
  std::string getPatchesFolderStr() const;
  int getPatchesFolderLength() const { return static_cast<int>(getPatchesFolderStr().size()); }
  void OpenDataDirectory();

  // ---- what the window shows, from any thread ----
  // Layers, menus and the librarian grid change on the window's thread only, which draws them
  // without a lock. A change that may come from the MIDI input, a sender job or the host goes
  // through here (IGraphics::RunOnWindowThread): at once on that thread or while no window is
  // open, else at the view's next tick; under the plug-in's lock either way. `what` names the
  // change (a WindowChange, plus a variant where the arguments differ) for `owner` (this plug-in
  // when null): a newer change of the same name replaces one still queued, so a flood of them
  // costs one.
  enum WindowChange {
    kShowPart = 10, kShowMainTab = 20, kShowProgress = 30, kShowLayer = 40, kShowUpperBankEdited = 50,
    kRefreshMenus = 60, kProgramMenus = 70, kProgramNumberMenu = 80, kRefillGrids = 90, kBankContents = 100,
    kBankEditMenu = 110, kResetSelectionMenus = 120, kLibraryInPlace = 130, kDeviceMenus = 140, kPatchType = 200,
    kReapplyEdit = 1000,  // + the parameter
  };
  void onWindowThread(int what, std::function<void()> work, const void* owner = nullptr);
  // Forgets everything queued for the window (tear-down, once no other thread hands it work).
  void dropWindowWork();

  // ---- accessors for collaborators ----
  UIConfigManager* getUIConfigManager() const { return uiConfig; }
  PatchLibrarian* getPatchLibrarian() const { return librarian; }
  PatchManager* getPatchManager() const { return patchManager; }
  ControlLayer* getLayer(const std::string& name) const;
  // First control bound to a parameter, or null.
  IControl* mainControl(int paramIdx) const;
  // The value of a parameter, 0 for a number outside the table.
  double paramValue(int paramIdx) const;
  // Sets a parameter from the plug-in side (no handler, no MIDI): clamps, moves its controls.
  void setParamFromPlug(int paramIdx, double value);

  // ---- settings file (Sorvanta Editor UI.txt) ----
  // Rewrites the five lines (temporary file, then rename: an interrupted write leaves the old
  // file). Does nothing when the file does not exist (it is never created by the editor).
  bool writeSettingsFile();
  // True when the settings file exists; otherwise shows "Sorvanta Editor UI.txt MISSING!" and
  // "Contact support" in the two status lines.
  bool settingsFileAvailable();
  // Escape on the first-run notice: closes it as its close button does; false when it is not
  // showing (the key then goes on to the host).
  bool closeFirstRunNotice();

  // ---- editor-core state (shared by the handlers, tab switching, link manager) ----
  double sizeFactor = 1.0;
  int colourScheme = 0;
  std::vector<std::string> settingsLines = std::vector<std::string>(5);
  std::string settingsFilePath, logFilePath;
  bool debugLogOn = false;
  bool firstRunShown = false;
  int hardwareModel = 0;
  std::atomic<int> currentPart{0};
  // Data-type and list modes: set on the main thread, read by the grid refill that the MIDI input
  // thread runs after a librarian capture.
  std::atomic<bool> multiMode{false}, libraryNamesMode{false}, deviceProgramMode{false};
  std::atomic<bool> categoryMode{false}, searchMode{false};
  bool keepSelectedBank = true;
  bool sendOnPartSwitch = true;       // passed to quickTabSwitch when kQuickTab changes
  bool programFromMultiPatch = true;  // tab switches take the program from kMultiPartPatch
  std::atomic<bool> noSend{false};
  std::atomic<bool> linking{false};
  std::atomic<bool> hardwareChangeActive{false};
  // Set by the link manager while it sends a partner: masks the MIDI message manager's
  // incoming-message flag in the control-action routine's send gate.
  std::atomic<bool> incomingSuppressed{false};
  int linkMode[kNumParts];
  std::vector<int> randomValues;
  std::mt19937 rng;
  // A project restored without an output (see applyHeldProjectState): the chunk from its patch
  // manager block to its end, and where the values start in it. Empty: none held.
  std::vector<uint8_t> heldProjectState;
  int heldValuesOffset = 0;
  // The global settings (the device id aside) came from a synth or were edited, here or in the
  // project restored: only then do they go to the synth, and a project saved says so.
  std::atomic<bool> globalsEdited{false};
  bool globalsKnown() const;
  static bool isGlobalSetting(int param);
  // An older project, which does not say where its global settings came from: true when each
  // still holds what its default-state snapshot does (never heard from a synth, never edited).
  bool globalsUntouched(const ByteChunk* chunk, int valuesPos) const;
  // Bank selection lists' remembered texts: display text of entry 0 and folder of the bank file
  // the list's value selects (index 0 upper, 1 lower).
  std::string bankListFirstText[2], bankListFolder[2];
  std::string upperBankFile[2], upperBankFolder[2];  // LibrarianHost record: [0] sounds, [1] multis

  // Cached layers (null when the interface description lacks one; every use checks).
  ControlLayer* rootLayer = nullptr;
  ControlLayer* oscillatorsLayer = nullptr;
  ControlLayer* filtersEnvelopesLayer = nullptr;
  ControlLayer* lfoModMatrixLayer = nullptr;
  ControlLayer* effectsArpLayer = nullptr;
  ControlLayer* progressLayer = nullptr;
  ProgressIndicator* progressIndicator = nullptr;
  IControl* cancelButtons[2] = {nullptr, nullptr};

  // Cached display controls.
  ITextControl* statusLine = nullptr;
  // A problem met in the constructor before the status line exists (the log refused, a bank the
  // library could not split), and its reason; shown once the interface stands.
  std::pair<std::string, std::string> pendingStatus;
  std::string pendingStatusName;
  // That problem once shown: the resets a host makes while it sets the plug-in up leave it shown
  // until something else is said. Constructor and window thread (Reset) only.
  std::string startProblem;
  ITextControl* valueLine = nullptr;
  std::atomic<bool> statusShowsValue{false};  // the two lines hold a name and its value
  ITextControl* ccLine = nullptr;
  ITextControl* categoryLine = nullptr;
  ITextControl* patchLine = nullptr;
  ITextControl* buildLine = nullptr;
  IControl* randomizeButton = nullptr;
  IControl* librarianView = nullptr;
  ControlAction* quickTabAction = nullptr;
  ControlAction* mainTabAction = nullptr;
  ControlAction* overrideTempoAction = nullptr;

  // Writes one diagnostics line when logging is on. From inside the audio callback the line is
  // only held (see DeferredLogLines) and written by the next log call on another thread.
  void log(const std::string& text) const;
  mutable DeferredLogLines renderLogLines;

  // ==== device MIDI engine: declarations owned by SorvantaMidi*.cpp ====
public:
  // Construction step 19: makes the MIDI message manager (no thread started). Tear-down: the
  // manager's shutdown ends every sender job (cancel flag, clock running flag) and joins its
  // three threads, then the manager is deleted. Call it before anything a job touches goes
  // (the patch manager, the librarian).
  void initMidiEngine();
  void shutdownMidiEngine();

  // ---- framework slots of the engine ----
  // Render thread, no lock: transport, tempo, queued host MIDI, indicators, handshake.
  void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) override;
  void Reset() override;
  // Host MIDI thread (fromDevice false) or the MIDI input dispatch thread (true); no lock.
  void ProcessMidiMsg(IMidiMsg* msg, bool fromDevice) override;
  void ProcessSysEx(ISysEx* sysex, bool fromDevice) override;

  // Send operations. Each refuses ("Set MIDI I/O First!" in the status line) while midiIOSet is
  // false. They end in the framework's virtual send slots (SendMidiMsg / SendMidiSysex), so a
  // test subclass can observe what leaves. Any thread.
  void sendMidiMsgAndLog(IMidiMsg* msg);
  // Checksums a dump (201 bytes or more) in place, then sends it.
  void checksumCheckAndSend(unsigned char* data, int length);
  // A prepared message of a binding (bytes as ints, without F0/F7; device id already written).
  void sendSysexMessage(const std::vector<int>& message);
  // MIDIMessageManager::SetFX1/FX2ParameterChangesToDefaultParameters for one processed value.
  void setFxParameterDefaults(int paramIdx, int value);
  // True while a sender job runs on the first worker thread.
  bool ThreadRunning();
  // Sets bulkSendActive = bulk, sendAllParts = allParts, sendGlobalWithMulti = withGlobal, then
  // starts the part's sound dump and, with sendMulti, the multi dump (each when the dump
  // thread is idle).
  void sendPatchToDevice(int part, bool bulk, bool allParts, bool withGlobal, bool sendMulti);
  void sendPartDataBackToHardware(int part);
  void AllSoundsOff(int part, bool allParts);
  void MIDIOutRoutingSwitch(IMidiMsg* msg);
  bool BankChangeMessage(int part);
  // The device check (handshake); afterRunningJob: it follows the job the dump thread runs.
  void sendSysExInitialization(bool afterRunningJob = false);
  // Main thread. A port of each direction is open and carries: only then can the device check
  // hear the synth's answer to its question.
  bool midiOutCarries() const { return midiIOSet && !DirectMidiPortLost(false); }
  bool midiInCarries() const { return DirectMidiPortCarries(true); }
  // A transfer with the synth can go through: the output carries and the input is not lost.
  bool portsCarry() const { return midiOutCarries() && !DirectMidiPortLost(true); }
  // A port is lost (the synth off, JACK stopped): a transfer asked for now says so and starts not.
  bool refuseTransferForLostPort();
  // What is still to set (or, lost, to reopen) of the two ports, or that both are set.
  const char* portsStillToSet() const;
  // Audio callback, every block (SorvantaPorts.cpp): a port that carried and is lost now (the
  // synth switched off, its JACK server stopped) replaces the texts that said it was set, and
  // the loss is logged. Reads flags only.
  void watchDirectPorts();
  void giveDumpBytesTheirRange();
  void SetLibrarianRequestActive(bool active);
  void SetLibrarianStatusUnsaved(bool unsaved);
  void DisplayProcessingIndicator(bool show);
  void sendPatchToDeviceFromLibrarian(int slot, int list, int part);
  // Job 4 (mode, first entry, bank); with oneSlot the entry `second` alone into program `second`.
  void storeAllPatchesToDeviceFromLibrarian(int first, int second, int third, bool oneSlot = false);
  // The librarian's selected slot into `part` (toSlot: into the stored slot instead of the
  // edit buffer), and the whole upper bank into the synthesizer's memory.
  void SendSingleProgramFromLibrarian(bool toSlot, int part);
  void SendAllProgramsFromLibrarian(int third);
  // The pacing interval of kLibSyncTimer in ms.
  int getTimerValue();
  // kPushArrangement: job 0 with all parts and the global dump, when the first thread is idle.
  void pushArrangement();
  // A restored project to the synthesizer: global, multi and every active part (job 0), with
  // input ignored while it runs. Started now when the dump thread is idle (true), otherwise it
  // follows the running job; either way this returns at once: a restore waits neither for
  // another job nor for its own push. applyHeldFirst: the job applies the held project
  // (applyHeldProjectValues) before it sends.
  // afterCheck: the device check (job number) the push belongs to: it goes only once that check
  // heard the synth. withoutWaiting: as MIDIMessageManager::startJobWithoutWaiting (render thread).
  bool pushProject(bool applyHeldFirst, uint64_t afterCheck = 0, bool withoutWaiting = false);
  // kCancelDataRequest: sets the running job's cancel flag.
  void cancelDataRequest();
  // Requests of the editor: job 5 (multi edit buffer), job 6 (one part's sound).
  void requestArrangement();
  void requestPart(int part);
  // The value this thread applies now came from the synth (SynthOrigin): read by the
  // control-action routine and the filter link.
  bool valueFromHardware() const;
  void resetContinuousClock(bool stop);

  MIDIMessageManager* midiManager = nullptr;
  // The engine's flags (midiIOSet, localControlOn, transferRunning, the block flags, device id,
  // activity lights ...) come from PlugMidiFlags: shared by the render, main, MIDI input and worker
  // threads, so all atomics; the manager reaches them through a PlugMidiState bound to them.
  double sampleRateCopy = 44100.0;
  int lastIncomingMessage[3] = {0, 0, 0};
  // The host's short MIDI waiting for its sample offset (filled by the host's MIDI calls,
  // drained by the render callback with PopDue).
  IMidiQueue midiQueue;

private:
  struct PlugMidiState* midiStateRef = nullptr;  // the manager's view of the flags above
  class MidiEngineHost* midiHost = nullptr;     // adapter of this object for the engine (SorvantaMidi.cpp)
public:
  // ==== end device MIDI engine ====

  // ==== librarian UI: declarations owned by SorvantaLibrarian*.cpp ====
public:
  // Construction step 24 (the eleven librarian pop-up menus and the bank-edit menu, each on its
  // own layer, registered by name with the UI configuration manager) and tear-down.
  void initLibrarianUI();
  void shutdownLibrarianUI();
  // The slot grid for the interface description's "patchBrowser" element: the default of
  // librarianViewFactory (hand it to UIConfigManager::setLibrarianViewFactory before
  // readUIConfig when no other factory is set). `plug` must be a Sorvanta.
  static IControl* makeLibrarianView(IPluginBase* plug, int x, int y, int paramIdx, struct IBitmap* bitmap,
                                     struct IRECT targetArea, PatchLibrarian* librarian, double scale);
  // Librarian display glue that touches the menu and view classes.
  void refreshPopUpMenus();
  void updatePatchLibrarianView(int which);
  // A bank's entries changed (the SysEx dispatcher stored a received dump): both grids refill.
  void librarianBankContentsChanged();
  void updateBankAndProgramMenuNames(bool keepBankMenu);
  void patchTypeChanged(int kind, int list, bool refresh);
  void ResetPatchSelectionMenus();
  void showFileEditMenu(int x, int y);
  void showFileCopyMenu(int x, int y);
  void setLibrarianViewDirty();
  // The import panel of the bank-edit menu: copies a chosen bank file into the library folder.
  void saveImportedFile(bool midi);
  // Parameter handling the editor core hands over: kPatchSelectionListUpper/Lower (remember the
  // chosen bank's names, rebuild the matching menu) and kPatchRename (apply the edited name to
  // the upper selected slot while a rename is armed, then disarm). True when handled.
  bool handleLibrarianParam(int paramIdx);
  // The upper bank has unsaved changes: DISCARD shown, the data type greyed, its menu shut.
  void showUpperBankEdited();
  // Greys the data-type switch while the upper bank has unsaved changes, the second status line
  // saying why, or restores it.
  void lockDataType(bool locked);
  // Whether the upper grid shows a bank that received data can go into; otherwise the status
  // line says "No bank selected!" and the transfer must not start.
  bool librarianReadyToReceive();
  // The program step buttons moved the program: refill the program number menu.
  void refreshProgramNumberMenu(int program);
  // The bank-edit menu follows the data type (patchTypeChanged also calls it).
  void refreshBankEditMenu();
  // The typed view, or null before the interface is built.
  class LibrarianViewControl* libView() const;
  // The library is read beside the build of the interface; the first request that needs it (a
  // parameter change; a restore does not, so that the host's window opens at once) waits here
  // until it is read, and the selection lists, bank names, menus and grids are then made from it
  // as the constructor would have made them (the lists and menus on the window's thread: a caller
  // elsewhere finds them as they were until the window's next tick). Thread of the parameter
  // handler, under the plug-in's lock; returns at once once done.
  void awaitLibrary();
  // Whether the handler of a change of paramIdx to value may read or change the library (and
  // so waits for it): everything on the librarian's page; elsewhere everything but the sounds'
  // own parameters, the parts' mixer settings, the buttons that switch a sound parameter, a page
  // other than the librarian's and (outside library-names mode) the part switch.
  bool changeMayReachLibrary(int paramIdx, double value) const;
  // Sends the librarian's diagnostics to this editor's log while it is on (construction).
  void routeLibrarianLog();

  // The lower banks' remembered names ([0] sounds, categories and search results, [1] multis);
  // the upper ones are the LibrarianHost record upperBankFile/upperBankFolder.
  std::string lowerBankFile[2], lowerBankFolder[2];
  std::atomic<bool> renameArmed{false};
  std::string fileDialogFolder;  // where the import panel opens; empty: the desktop

private:
  void adoptFirstBankNames();
  std::atomic<bool> libraryInPlace{false};
  class SorvantaLibrarianBridge* librarianBridge();
  class SorvantaLibrarianBridge* libBridge = nullptr;  // owned; deleted by shutdownLibrarianUI
  class LeftPatchPopupMenu* leftPatchMenu = nullptr;    // the menus belong to their layers
  class RightPatchPopupMenu* rightPatchMenu = nullptr;
  class LeftPerfPopupMenu* leftPerfMenu = nullptr;
  class RightPerfPopupMenu* rightPerfMenu = nullptr;
  class RightCategoryPopupMenu* categoryMenu = nullptr;
  class RightSearchPopupMenu* searchMenu = nullptr;
  class ProgBankNamePopupMenu* progBankNameMenu = nullptr;
  class PerfBankNamePopupMenu* perfBankNameMenu = nullptr;
  class ProgramNumberPopupMenu* programNumberMenu = nullptr;
  class BankNumberPopupMenu* bankNumberMenu = nullptr;
  class BankEditPopupMenu* bankEditMenu = nullptr;
  // The newest slot menus; attached nowhere, so owned here and replaced by each right click.
  class FileEditPopupMenu* fileEditMenu = nullptr;
  class FileCopyPopupMenu* fileCopyMenu = nullptr;
public:
  // ==== end librarian UI ====

private:
  // Construction steps, in order (SorvantaConstruct.cpp).
  // Reads the five settings lines; a refused file (a FIFO, a device, a huge file) leaves the
  // defaults and answers the log line that says why, else empty.
  std::string readSettingsFile();
  void lookUpNamedLayers();
  void attachProgressOverlay();
  void buildBankSelectionList(int param, const char* name, int which);
  void applySettingsParameters();
  void showFirstRunNotice();
  void applyMidiFilterDefaults();
  void reopenStoredPorts();
  // Handler helpers (SorvantaParams.cpp).
  bool handleTriggerButton(int paramIdx, int i);
  // Returns true when the handler ends after the parameter's own action.
  bool handleFirstGroup(int paramIdx, double v, int i);
  bool handleSecondGroup(int paramIdx, double v, int i, ControlAction* record);
  // The bytes of these parameters go to the synth as the editor holds them now (SynthImage).
  void keepEditsInImage(const std::vector<int>& params);
  void handleDeviceSelection(int paramIdx, int i);
  // The ports (SorvantaPorts.cpp), under the lock. A port of that direction chosen (index above
  // 0) or closed (0): the engine follows; a held project goes to the synth once the output
  // carries and the input is not lost; the device check follows once both carry.
  // True when the session's push started.
  bool afterPortChange(bool output, int index);
  // Audio callback: a lost port carries again with no open since (a patchbay connected it): the
  // texts say so, and what the synth missed is sent (cutSessionPending).
  void connectedAgainByPatchbay(bool input);
  // The port watch opened these lost ports again (IPluginBase::OnDirectMidiPortsReopened): their
  // entries, the engine, a project held or cut short, the status texts. Watch thread.
  void OnDirectMidiPortsReopened(bool output, bool input, bool synthCameBack) override;
  // The session is due at the synth: a project restored without it, a push a loss cut short, or
  // a synth that came back with its own memory. Set under the lock; cleared as the push starts.
  std::atomic<bool> projectPushDue{false};
  // Both ports carry: the due session goes once. With an input to hear the synth, the device check
  // first and, right behind it, the push at the id it answered at, which goes once it heard the synth;
  // else the push alone. A check under way for a session already brings this one. Every road to
  // a session after a loss or a cut push comes here. Under the lock, or on the render thread
  // withoutWaiting (as MIDIMessageManager::startJobWithoutWaiting); false when nothing started.
  bool startSessionPush(bool withoutWaiting = false);
  // Held while a session's check and push start, and by the check's end (sessionCheckEnded).
  std::mutex sessionStartLock;
  std::atomic<bool> sessionCheckPending{false}, sessionPushQueued{false};
  std::atomic<uint64_t> sessionCheckId{0};
  // The global settings as the session holds them, put back after the check's answer (see
  // applyHeldProjectValues). An edit made meanwhile, in the editor or on the synth, replaces its
  // entry: the later change is the one that stands.
  std::mutex sessionGlobalsLock;
  std::vector<std::pair<int, double>> sessionGlobals;
  // The host's program change (MIDIMessageManager), or a program step: shown; while the output
  // does not carry, it is owed to the synth (programsOwed, a bit per part, and the program) and
  // goes through the host's own road once the output carries again (sendOwedPrograms): selected,
  // and its sound fetched (in librarian program mode, the library's entry sent), ahead of a
  // session that goes then, which so carries that sound and never the old one under the number.
  void sendOwedPrograms();
  std::atomic<unsigned> programsOwed{0};
  std::atomic<int> owedProgram[kNumParts] = {};
  static constexpr const char* kProgramHeldText = "Program held, waiting for Dorvik";
  // The input did not carry since the loss: what the synth showed meanwhile was not heard. Once
  // both carry with no session due, the editor asks it for the parts that play (and the current
  // one) and the multi (askSynthWhatItShows: job 5 for those parts; askSynthPending from the
  // render thread).
  std::atomic<bool> inputGapSinceLoss{false}, askSynthPending{false};
  bool askSynthWhatItShows(bool withoutWaiting);
  // A loss of a port that carried (watchDirectPorts) until the ports carry again, the opens then
  // (none since: a patchbay connected it again), the JACK server ends heard then, and whether its
  // synth went away meanwhile (its port unlisted, or registered anew, with its MIDI system
  // running) rather than a patchbay's hand cutting it. A synth whose JACK server restarted during
  // the loss stayed, whatever its port did first (synthWentAway). An edit made while the output
  // did not carry is missed by the synth: the session goes once the connection carries again.
  std::atomic<bool> lossNoticed{false}, lossWasGone{false}, editedWhileCut{false};
  std::atomic<unsigned> opensAtLoss{0}, serverEndsAtLoss{0};
  bool synthWentAway() const;
  // The ports carry again with nothing due but what a patchbay's gap missed (audio callback).
  std::atomic<bool> cutSessionPending{false};
  // Audio callback only: the listing the lost ports' text was made from, and that text.
  unsigned listingShown = 0;
  const char* lostTextShown = nullptr;
  // A restore that holds its project for want of an output says so.
  void showProjectHeld();
  bool portCarried[2] = {false, false};  // audio callback only: watchDirectPorts
  unsigned portChoicesSeen[2] = {0, 0};   // the same, DirectMidiPortChoices as last looked at
  bool midiSystemLogged = false;         // audio callback only: watchDirectPorts
  bool openHungShown = false;            // audio callback only: watchDirectPorts
  // Restore steps 8 to 11: stored values (then the switch mirrors), device id, names, link
  // modes. Returns the position after the values and marks, or -1.
  int applyStoredValues(ByteChunk* chunk, int valuesPos);
  void randomizeCurrentPart();
  // Job 2 (the part's sound; into the librarian's selected slot with toLibrarian) and job 0 (the
  // multi, then parts by the send-mode flags) as the editor's own parameters start them: unlike
  // sendPatchToDevice they leave bulkSendActive, sendAllParts and sendGlobalWithMulti as they
  // are. A busy dump thread drops the request (false).
  bool startPartSend(int part, bool toLibrarian);
  bool startArrangementSend();
  // Disarms the librarian's sound capture only; the editor's capture stays as it is.
  void disarmLibrarianSoundRequest();

  PatchManager* patchManager = nullptr;
  PatchLibrarian* librarian = nullptr;
  UIConfigManager* uiConfig = nullptr;
  std::string panelString;
  std::vector<ControlLayer*> namedLayers;
};

// Tab and layer switching: brings the layer tree in line with the main tab, the part tab and the
// section settings of the shown part. No data; called by the parameter-change handlers under the
// plug-in lock. hardwareModel is passed through and not used.
class TabSwitchFunctions {
public:
  TabSwitchFunctions() = delete;
  static void mainTabSwitch(Sorvanta* plug, int paramIdx, int tab, int hardwareModel, int part);
  static void quickTabSwitch(Sorvanta* plug, int paramIdx, int part, int hardwareModel, bool send);
  // Their layers (window's thread): the main tab's pages, and the page of `part` showing part p.
  static void showMainTab(Sorvanta* plug, int tab, int part);
  static void showPart(Sorvanta* plug, int part, int p);
  // The content of main tab `tab` (2..5) for part p: zones, filter panels, effect pages.
  static void tabPageContent(Sorvanta* plug, int tab, int part);
  // Hides the seventeen bank-and-program layers and shows the one for `part` (or the multi one).
  static void showBankAndProgramLayer(Sorvanta* plug, int part);
  // The filter panel suffix for a filter type ("LP", "BP", ...), null for none.
  static const char* filterPanelFor(int type);
  // The images of every main tab's page for the part, each of its sections in any setting.
  static std::vector<IBitmap> tabImages(Sorvanta* plug, int part);
};

