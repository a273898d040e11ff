#pragma once
// The device MIDI engine: everything between the editor and the Dorvik.
//
// MIDIMessageManager is held by the plug-in (one per instance). It owns the MIDIMessageSender
// (the jobs), the three worker threads that run them (dump/request, clock start-stop, continuous
// clock), the MIDI clock, the two librarian capture accumulators and the flags through which the
// plug-in, the jobs and the incoming-MIDI parser coordinate. It reaches the plug-in only through
// MidiEngineHost, and the plug-in's engine flags through PlugMidiState, so tests run it against
// a fake.
//
// Ownership and lifetime: the manager owns the sender and its threads. shutdown() (also run by
// the destructor) refuses new jobs, cancels the running ones, stops the clock and joins all three
// threads, so no job ever outlives the sender. The host and the state must outlive the manager.
//
// Threads: starters run on the main, render, MIDI input and worker threads; a starter never
// waits. The dump thread is a serial queue of device jobs: a job asked for while another runs is
// queued behind it, never dropped, and the newest of the same request wins (one waiting fetch per
// part, see startJob). The clock threads drop a start while they run. Test-and-start is one step
// under a small lock, so two starters racing for an idle thread start exactly one job. Each
// thread has its own job record, written before the thread starts: a job always runs with the
// arguments its own starter wrote. ProcessSysEx/ProcessMidiMsg* run on the thread that delivers
// (MIDI input dispatch for the device, the host's MIDI thread for the host) and never sleep. All
// shared flags are atomics.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "DumpParser.h"
#include "HeldInput.h"
#include "IPlugStructs.h"
#include "JobQueue.h"
#include "LibrarianPatch.h"
#include "MidiClock.h"
#include "ReplyWait.h"

namespace Poco {
class Thread;
}
class IControl;
class PatchLibrarian;
class MIDIMessageSender;
class MIDIMessageManager;

// The plug-in's engine flags, shared by the render, main, MIDI input and worker threads.
// PlugMidiFlags holds them: the plug-in class derives from it, the tests' fake host holds one;
// PlugMidiState refers to them, so the engine reads them the same way.
struct PlugMidiFlags {
  std::atomic<bool> midiIOSet{false};
  std::atomic<bool> storedPortsFound{false};
  std::atomic<bool> handshakePending{false};
  std::atomic<bool> constructionDone{false};
  std::atomic<bool> localControlOn{true};
  // All notes off due in the next stopped block (set by Reset); until then the value display
  // shows only the current part's parameters.
  std::atomic<bool> resetPending{false};
  std::atomic<bool> hostTransportRunning{false};  // transport ran in the previous block
  std::atomic<bool> clockStarted{false};          // the last clock job started was the start
  std::atomic<bool> partRequestPending{false};
  std::atomic<bool> requestAfterProgramChange{true};
  std::atomic<bool> librarianProgramMode{false};
  std::atomic<bool> masterKeyboard{false};
  std::atomic<bool> trackIncomingMIDI{false};
  std::atomic<bool> routeViaQueue{false};
  std::atomic<bool> clockStartStopEnabled{false};
  std::atomic<bool> clockEnabled{false};
  std::atomic<bool> continuousClockStarted{false};
  std::atomic<bool> sendAllParts{false}, bulkSendActive{false}, sendGlobalWithMulti{false};
  // transferRunning: a job with the progress indicator runs (forwarded MIDI is held back while an
  // all-notes-off has gone out in it). transferInProgress: a librarian push; all input ignored.
  std::atomic<bool> transferRunning{false}, transferInProgress{false};
  std::atomic<bool> notesOffSent{false};
  std::atomic<bool> replyReceived{false};
  std::atomic<bool> adoptDeviceId{false};
  std::atomic<bool> tempoSynced{false};
  // Index: 0 CC, 1 program change, 2 note, 3 pitch wheel, 4 poly pressure, 5 channel pressure,
  // 6 SysEx. True blocks that kind.
  std::atomic<bool> hostBlockFlags[7] = {};
  std::atomic<bool> deviceBlockFlags[7] = {};
  std::atomic<int> deviceId{0};
  std::atomic<int> hostTempo{120};
  std::atomic<int> queueSpan{0};
  std::atomic<int> lastTempoSent{0};
  std::atomic<int> activityLit[16] = {};
  std::atomic<uint32_t> activityTime[16] = {};
  std::atomic<int> partBank[16] = {};
  std::atomic<int> partProgram[16] = {};
  // The program of the last bank change sent (any part or the multi): the editor's program step
  // buttons count on from it.
  std::atomic<int> bankChangeProgram{0};
};

struct PlugMidiState {
  template <class Source>
  explicit PlugMidiState(Source& s)
      : midiIOSet(s.midiIOSet),
        storedPortsFound(s.storedPortsFound),
        handshakePending(s.handshakePending),
        constructionDone(s.constructionDone),
        localControlOn(s.localControlOn),
        resetPending(s.resetPending),
        hostTransportRunning(s.hostTransportRunning),
        clockStarted(s.clockStarted),
        partRequestPending(s.partRequestPending),
        requestAfterProgramChange(s.requestAfterProgramChange),
        librarianProgramMode(s.librarianProgramMode),
        masterKeyboard(s.masterKeyboard),
        trackIncomingMIDI(s.trackIncomingMIDI),
        routeViaQueue(s.routeViaQueue),
        clockStartStopEnabled(s.clockStartStopEnabled),
        clockEnabled(s.clockEnabled),
        continuousClockStarted(s.continuousClockStarted),
        sendAllParts(s.sendAllParts),
        bulkSendActive(s.bulkSendActive),
        sendGlobalWithMulti(s.sendGlobalWithMulti),
        transferRunning(s.transferRunning),
        transferInProgress(s.transferInProgress),
        notesOffSent(s.notesOffSent),
        replyReceived(s.replyReceived),
        adoptDeviceId(s.adoptDeviceId),
        tempoSynced(s.tempoSynced),
        hostBlockFlags(s.hostBlockFlags),
        deviceBlockFlags(s.deviceBlockFlags),
        deviceId(s.deviceId),
        hostTempo(s.hostTempo),
        queueSpan(s.queueSpan),
        lastTempoSent(s.lastTempoSent),
        activityLit(s.activityLit),
        activityTime(s.activityTime),
        partBank(s.partBank),
        partProgram(s.partProgram),
        bankChangeProgram(s.bankChangeProgram) {}

  std::atomic<bool>& midiIOSet;
  std::atomic<bool>& storedPortsFound;
  std::atomic<bool>& handshakePending;
  std::atomic<bool>& constructionDone;
  std::atomic<bool>& localControlOn;
  std::atomic<bool>& resetPending;
  std::atomic<bool>& hostTransportRunning;
  std::atomic<bool>& clockStarted;
  std::atomic<bool>& partRequestPending;
  std::atomic<bool>& requestAfterProgramChange;
  std::atomic<bool>& librarianProgramMode;
  std::atomic<bool>& masterKeyboard;
  std::atomic<bool>& trackIncomingMIDI;
  std::atomic<bool>& routeViaQueue;
  std::atomic<bool>& clockStartStopEnabled;
  std::atomic<bool>& clockEnabled;
  std::atomic<bool>& continuousClockStarted;
  std::atomic<bool>& sendAllParts;
  std::atomic<bool>& bulkSendActive;
  std::atomic<bool>& sendGlobalWithMulti;
  std::atomic<bool>& transferRunning;
  std::atomic<bool>& transferInProgress;
  std::atomic<bool>& notesOffSent;
  std::atomic<bool>& replyReceived;
  std::atomic<bool>& adoptDeviceId;
  std::atomic<bool>& tempoSynced;
  std::atomic<bool> (&hostBlockFlags)[7];
  std::atomic<bool> (&deviceBlockFlags)[7];
  std::atomic<int>& deviceId;
  std::atomic<int>& hostTempo;
  std::atomic<int>& queueSpan;
  std::atomic<int>& lastTempoSent;
  std::atomic<int> (&activityLit)[16];
  std::atomic<uint32_t> (&activityTime)[16];
  std::atomic<int> (&partBank)[16];
  std::atomic<int> (&partProgram)[16];
  std::atomic<int>& bankChangeProgram;
};

// What the engine needs of the plug-in. Every call may come from any engine thread unless noted.
class MidiEngineHost : public dump::DumpParamAccess {
 public:
  // ---- parameters (DumpParamAccess: value, setFromDevice, text, setText, link, local) ----
  // Writes the value only (clamped to the range): no control, no handler.
  virtual void setParamSilently(int param, double value) = 0;
  virtual bool paramRange(int param, double* lo, double* hi) const = 0;

  // ---- controls of incoming messages ----
  virtual IControl* findSysexControl(int k1, int k2, int k3, int k4, int k5) = 0;
  // Part-less (9-byte) keys: device id, command, hi, lo; the device id is normalised.
  virtual IControl* findPartlessSysexControl(int deviceId, int command, int hi, int lo, int k5) = 0;
  virtual IControl* findCCControl(int channel, int ccNumber, int key) = 0;
  virtual int controlParam(IControl* control) = 0;
  // IControl::SetValueFromHardware: shows the value, reaches OnParamChange2, sends nothing.
  virtual void setControlFromHardware(IControl* control, double normalized) = 0;

  // ---- the plug-in's handlers ----
  virtual void onParamChange(int param) = 0;
  virtual void onParamChange2(int param) = 0;
  // An edit made while a request waited goes back over the answer: the value, then the handler,
  // as if the user made it again. The plug-in runs it where its window may change (a handler
  // can switch layers); here, at once.
  virtual void reapplyEdit(int param, double value) {
    setFromDevice(param, value);
    onParamChange(param);
  }

  // ---- the framework's send slots (no checks; the engine makes them) ----
  virtual void sendMidiMsg(const IMidiMsg& msg) = 0;
  virtual void sendSysex(const uint8_t* bytes, int size) = 0;   // adds F0/F7 when missing
  virtual void sendRaw(const std::vector<uint8_t>& bytes) = 0;  // as they are
  // As sendRaw, for bytes meant to leave at atNs (monotonic ns, already past): the MIDI clock's
  // ticks at their ideal time. An output that cannot place messages in time sends them now.
  virtual void sendRawAt(const std::vector<uint8_t>& bytes, int64_t atNs) { (void)atNs, sendRaw(bytes); }
  virtual void queueMidiMsg(const IMidiMsg& msg) = 0;           // the host MIDI queue
  // Render thread: the next queued message due at offset <= maxOffset.
  virtual bool popDueMidiMsg(int maxOffset, IMidiMsg* msg) { (void)maxOffset, (void)msg; return false; }
  virtual void flushMidiQueue(int nFrames) { (void)nFrames; }

  // ---- user interface ----
  virtual void setStatusText(const std::string& text) = 0;
  virtual void setValueText(const std::string& text) = 0;
  virtual void setDelayText(const std::string& text) { (void)text; }
  // The progress indicator with its layer and cancel buttons (DisplayProcessingIndicator).
  virtual void showProgress(bool show) = 0;
  virtual void showLayer(const std::string& name, bool show) = 0;
  // The save/discard layers, greyed data type, hidden upper file menu of a changed bank.
  virtual void showLibrarianUnsaved() = 0;
  virtual void librarianViewDirty() = 0;
  virtual void updateLibrarianView(int which) = 0;
  // The librarian's program fields: the selected slot and the view's two slot selections.
  virtual void setLibrarianProgram(int program) { (void)program; }
  virtual void setLibrarianViewSecondSlot(int slot) { (void)slot; }
  virtual int librarianViewActiveList() { return 0; }
  virtual int librarianViewSelectedBank() { return 0; }
  virtual bool librarianShowsCategory() { return false; }
  virtual bool librarianShowsSearch() { return false; }
  virtual void setPatchManagerName(int index, const std::string& name) = 0;
  virtual void displayPatchName(const std::string& name) = 0;
  virtual void displayCategoryName(const std::string& name) = 0;
  virtual void markMiniMixerDirty() {}
  virtual void log(const std::string& text) { (void)text; }
  // The outgoing-message line on standard output.
  virtual void printOutgoing(const std::string& line) { (void)line; }
  virtual PatchLibrarian* librarian() = 0;
  // Applies the project the plug-in holds for a push that followed another job (worker thread;
  // the plug-in takes its own lock).
  virtual void applyHeldProject() {}
  // Whether a transfer reaches the synth now (its output carries, its input is not lost), and
  // how often a port was opened so far (a port lost and back between two looks changes it).
  virtual bool portsCarry() { return true; }
  virtual unsigned portOpens() { return 0; }
  // How often the MIDI system said a client of its graph ran late (JACK's xruns; MidiPorts.h): a
  // message for that client in the cycle it missed may be gone.
  virtual unsigned midiLateCycles() { return 0; }
  // A project push ended without reaching the synth whole: a port was lost under it (worker
  // thread; the plug-in takes its own lock and sends the session again once both carry).
  virtual void projectPushCut() {}
  // The device check a session push waits for ended (worker thread, inside the check's job):
  // heard, the synth answered it; the plug-in starts the push then, behind the check.
  virtual void sessionCheckEnded(bool heard) { (void)heard; }
  // Whether the editor's global settings (the device id aside) are the synth's, or edited: only
  // then does a dump carry them to the synth.
  virtual bool globalsKnown() { return true; }
  // The host's program change selects `program` for `part`: shown as the synth's own choice is.
  // The plug-in remembers one the synth cannot hear now, for when its output carries again.
  virtual void setProgramFromHost(int part, int program);
  // The same for a library entry's program (librarian program mode): true when the synth cannot
  // hear it now and the plug-in keeps it for then; nothing is sent or shown meanwhile.
  virtual bool holdProgramForSynth(int part, int program) { (void)part, (void)program; return false; }
  // The interface description's "tempoValues" list, or null.
  virtual const std::vector<std::string>* tempoValues() { return nullptr; }
  virtual double hostTempoNow() { return 0.0; }
  virtual bool hasGraphics() { return true; }

  // ---- editor-core state ----
  virtual int currentPart() = 0;
  virtual void setCurrentPart(int part) = 0;
  virtual bool multiMode() = 0;
  // True while the plug-in applies a value that came from the device (OnParamChange2 runs).
  virtual bool hardwareChangeActive() = 0;
};

// Whether the value this thread applies now came from the synth. Set for the handling of one of
// its messages only, on the thread that handles it: no origin outlives its message, and no other
// thread's message lends it to an edit or to a host's message meanwhile. A value from the synth
// is never sent back to it for that origin (the control-action routine, the filter link).
class SynthOrigin {
 public:
  explicit SynthOrigin(bool fromSynth);
  ~SynthOrigin();
  SynthOrigin(const SynthOrigin&) = delete;
  SynthOrigin& operator=(const SynthOrigin&) = delete;
  static bool now();

 private:
  bool outer;
};

// One librarian capture: collects every message while armed; a whole sound or multi dump
// (sysex::isIntactDump, the editor's own test) that answers its request completes it.
struct LibraryRequest {
  explicit LibraryRequest(bool multi) : multi(multi) {}
  // Appends a copy; true when the capture is complete (then disarmed, name filled). answer: the
  // dump is the answer of the request that waits (ReplyWait::claim), or the job's own.
  bool addMessageData(const uint8_t* data, int size, bool answer = false);
  void clearAndArm();

  // A copy of what was collected.
  LibrarianPatch snapshot() const;

  const bool multi;
  std::atomic<bool> armed{false};
  // A bound on what an armed capture keeps: a device that never sends the closing dump must
  // not grow the capture without limit.
  static constexpr size_t kMaxMessages = 256;

 private:
  mutable std::mutex lock;  // the MIDI input thread appends while a worker may re-arm
  LibrarianPatch patch;
};
using LibraryPerformanceRequest = LibraryRequest;
using LibraryPatchRequest = LibraryRequest;

// Which worker thread a job runs on.
enum class WorkerThread { kDump = 0, kClock = 1, kContinuousClock = 2 };

// The arguments of one job, written by its starter before its thread starts.
struct JobRecord {
  int code = -1;
  LibrarianPatch entry;  // job 3: a copy, so a library reload cannot pull it away
  int slot = 0;
  int first = 0, second = 0, third = 0;
  int part = 0;
  int bank = 0;
  bool requestFlag = false;
  int globalArg = 0;
  bool editBuffer = false;
  bool requestParts = false;
  bool toLibrarian = false;
  bool initFlag = false;
  int clockArg = 0;
  // Job 4: only entry `second` of the bank, into the program of the same number.
  bool oneSlot = false;
  // Job 5 into the editor: only the sounds of these parts (bit p for part p) before the multi;
  // 0 for all sixteen. playingParts: the multi first, then the sounds of the parts it plays and
  // of those in onlyParts (what a synth that stayed holds after a gap in the input).
  unsigned onlyParts = 0;
  bool playingParts = false;
  // Job 0: the send modes of a project push (whole multi with globals, input ignored) end with
  // it; appliesHeldProject: it first has the plug-in apply the project it holds.
  bool endsProjectPush = false;
  bool appliesHeldProject = false;
  // Job 13 as the check of a device-id change: the synth answered at `idChangedFrom` and was
  // told to answer at `idChangedTo`; -1 for the plain handshake.
  int idChangedFrom = -1, idChangedTo = -1;
  // Job 13 heard the synth for a session push that follows it (belonging to it): the synth is
  // found, but it is not ready before the push ends (job 0 says so then).
  bool sessionFollows = false;
  // A dump-thread job that belongs to a request (the number its start gave, see startJob): it
  // runs only once that request has ended with its answer taken, and is dropped with a request
  // that brought none or was replaced by a newer one. A part's send-back is such a job: without
  // the new sound it would give the synth the editor's old one. 0: runs in any case.
  uint64_t belongsTo = 0;
  // Job 3: the synth selected this program itself; the entry goes to the part without the bank
  // select and program change that would select it again.
  bool selectedBySynth = false;
  // Job 19 for the host's program change of `part`: the part's program counts as changed as it
  // goes, and with requestFlag the part's sound is fetched after it.
  bool hostProgram = false;
};

class MIDIMessageManager {
 public:
  MIDIMessageManager(MidiEngineHost* host, PlugMidiState* state);
  ~MIDIMessageManager();
  MIDIMessageManager(const MIDIMessageManager&) = delete;
  MIDIMessageManager& operator=(const MIDIMessageManager&) = delete;

  // ---- jobs ----
  // Starts `record` on the thread of its job code. The dump thread takes it at once when idle and
  // otherwise queues it behind the running job and those queued before it; a newer job of the
  // same request replaces the one waiting (a fetch of the same part, the same part send, the same
  // transfer), with the jobs that belong to it. True when started or queued; false (nothing
  // written) when the manager is shutting down, a clock thread is busy, or the job belongs to a
  // request that ended without its answer or was replaced. beforeStart runs under the start lock
  // as the job starts (now or after those before it): the starter's flags go up with the job. A
  // dump-thread job gets a number (never 0) into *id, for the jobs that belong to it.
  bool startJob(const JobRecord& record, const std::function<void()>& beforeStart = {}, uint64_t* id = nullptr);
  // The same for the render thread: never waits, neither for another starter nor for a finished
  // thread to go; either counts as busy and the request is refused (false) for the caller to ask
  // again in a later block.
  bool startJobWithoutWaiting(const JobRecord& record, const std::function<void()>& beforeStart = {},
                              uint64_t* id = nullptr);
  bool threadRunning(WorkerThread t) const;
  // A transfer the user asked for by a button or menu: started when the dump thread is idle; when
  // it is busy, the status line says so and nothing starts (false).
  bool startUserJob(const JobRecord& record, const std::function<void()>& beforeStart = {});
  static constexpr const char* kBusyText = "Transfer running, wait until it ends!";
  // A port to the synth lost (MidiEngineHost::portsCarry): a request stops, and a transfer asked
  // for does not start, with this text.
  static constexpr const char* kConnectionLostText = "Connection to Dorvik lost!";
  // Called by the worker after each job: applies the input held back during it, then writes the
  // next queued job's record and returns true, or marks the thread idle and returns false.
  bool nextQueuedJob(WorkerThread t);
  // Refuses new jobs, cancels running ones, stops the clock and joins every thread. Idempotent.
  void shutdown();
  // The same, but only for now: the running jobs and those queued behind them end, their
  // threads are joined, and new jobs start again afterwards (the clock once it is switched on
  // again). Nothing is left in flight: for a harness between its inputs. One caller at a time.
  void stopAllJobs();
  MIDIMessageSender* sender() { return senderObj.get(); }
  MidiClock& clock() { return midiClock; }
  // Test hook: overrides the pacing interval (ms) of every job; 0 restores kLibSyncTimer's.
  void setPacingOverride(int ms) { pacingOverride.store(ms); }
  int pacingInterval() const;

  // ---- incoming: the parsers behind the plug-in's SysEx and channel-message handlers ----
  // (MIDI input dispatch thread for the device, the host's MIDI thread for the host)
  void ProcessSysEx(const ISysEx* msg, bool fromDevice);
  void processSysExToUI(IControl* control, int value, bool refreshQuickTab, bool fromDevice);
  void getNormalControl(int k1, int k2, int k3, int k4, int value, bool fromDevice);
  void ProcessMidiMsgFromDevice(const IMidiMsg* msg);
  void ProcessMidiMsgFromDAW(const IMidiMsg* msg, int part);
  void getLegacyCCparam(int ccNumber, int channel, int value, bool refreshTab, bool fromDevice);
  // True when the program change goes to the synth in the job it started (not to be passed on).
  bool MakeProgramChangeMessages(int part, const IMidiMsg* msg);

  // ---- effect slots (the control-action routine, after each processed value) ----
  void SetFX1ParameterChangesToDefaultParameters(int paramIdx, int value);
  void SetFX2ParameterChangesToDefaultParameters(int paramIdx, int value);

  // ---- the plug-in's MIDI operations ----
  void sendMidiMsgAndLog(const IMidiMsg* msg);
  void checksumCheckAndSend(uint8_t* data, int length);
  void sendSysexMessage(const std::vector<int>& message);
  void AllSoundsOff(int part, bool allParts);
  void MIDIOutRoutingSwitch(const IMidiMsg* msg);
  // From the device: a short message (channel message, or a SysEx below dump length) that arrives
  // while a transfer holds input back (a librarian or project push, a multi send: holdsInput) is
  // held, in order, and applied the moment the job ends; everything else is applied at once.
  void ProcessMidiMsg(const IMidiMsg* msg, bool fromDevice);
  void ProcessSysExFromPlug(const ISysEx* sysex, bool fromDevice);
  // A dump a job built and hands to the parser as if from the synth: its wait's own answer, never
  // a late answer owed to another, and what an armed capture stores (dump thread, or the
  // librarian's paste on the main thread).
  void takeOwnDump(const ISysEx* sysex);
  bool holdsInput() const { return plugState->transferInProgress.load() || plugState->bulkSendActive.load(); }
  // A message from the synth whose later copy makes it moot: a controller other than a bank
  // select, or a knob's parameter change (not a part's bank or program in the multi). What a
  // flood may lose first; an answer or a program change never is one. Any thread.
  static bool isRefresh(const uint8_t* bytes, size_t size);
  void DisplayProcessingIndicator(bool show);
  // Arms the librarian capture (true) or disarms both captures (false). Whether a dump goes to the
  // editor is its request's wait's to say (awaitDumpForEditor). While a dump-thread job runs, its
  // captures are its own: `false` from any other thread (a program change that arrived meanwhile)
  // then changes nothing.
  void SetLibrarianRequestActive(bool active);
  void SetLibrarianStatusUnsaved(bool unsaved);
  // True when the bank select and program change go: queued on the dump thread (the caller never
  // waits for their pauses), or sent at once by a job running there. False when refused.
  bool BankChangeMessage(int part);
  // BankChangeMessage's values and conflict test: job 19's record for `part`, or false (refused).
  bool bankChangeJob(int part, JobRecord* r);
  bool CheckBankConflict(int part);
  void sendPatchToDevice(int part, bool bulk, bool allParts, bool withGlobal, bool sendMulti);
  void sendPartDataBackToHardware(int part);
  // selectedBySynth: the synth has just selected the program itself (see JobRecord).
  void sendPatchToDeviceFromLibrarian(int slot, int list, int part, bool selectedBySynth = false);
  void sendSinglePatchRequestSysexFromLibrarian(bool editBuffer, int bank);
  void sendAllPatchRequestSysexFromLibrarian(int bank);
  // Starts the handshake (job 13) and then waits 100 ms on the calling thread. afterRunningJob:
  // the check follows the job the dump thread runs (a push of the project it is to talk to).
  void sendSysExInitialization(bool afterRunningJob = false);
  // The start alone: true when job 13 was started (the dump thread was idle, an output is set
  // and no librarian push runs). withoutWaiting for the render thread (startJobWithoutWaiting).
  bool startHandshake(bool withoutWaiting);
  // Tells the synth that answers at `from` to answer at `to`, adopts `to` and starts (or queues
  // behind the running job) job 13 to hear the synth there; the check puts `from` back when the
  // synth does not answer at `to`.
  void changeDeviceId(int from, int to);
  // Starts (or queues) job 6 for `part` into the editor, replacing a fetch of the part still
  // waiting (withoutWaiting: as startJobWithoutWaiting, for the render thread). The part's
  // send-back (sendPartDataBackToHardware) belongs to the fetch asked for last. next: it runs
  // right after the running job, ahead of those queued (see fetchPartAfterProgramChange).
  bool requestPartToEditor(int part, bool withoutWaiting = false, bool next = false);
  // A part's program changed: its new sound is fetched, and the sections locked in the editor go
  // back to the synth once it is in. next, from the job that selected the program: the fetch
  // follows it at once, so that nothing queued meanwhile (a session's push) sends the part's old
  // sound between the program change and the fetch, to be fetched back as the new one's.
  bool fetchPartAfterProgramChange(int part, bool next = false);
  // A program change for `part` goes out or came in: a send-back of the part's old sound, queued
  // or about to go, no longer does (MIDIMessageSender::sendPartToDevice). Called before the
  // program change leaves, so that a send-back either went before it on the wire or not at all.
  void partProgramChanged(int part);
  // The synth selected `program` on the channel of `channelPart` (-1: no part's) on its own, in
  // the bank it announced before (takeBankSelect): taken as it is. The editor shows it and fetches
  // its sound (or, in librarian program mode, gives the part the library's entry); it sends the
  // synth nothing else, and never selects the program again. MIDI input thread; never waits.
  void takeProgramFromSynth(int channelPart, int program);
  // A request's wait for a dump for the editor (jobs 5, 6 and 13) of `command` (and for a sound,
  // of `part`): only the dump it names is parsed into the editor (ReplyWait::claim), and the
  // wait holds until that dump is parsed or the job ends.
  void awaitDumpForEditor(int command = -1, int part = -1);
  bool awaitingDump() const { return reply.waitingForEditor(); }
  // The bytes of `params` become the editor's in the image (SynthImage::keepEdits), and, while a
  // request waits, their values are held to go back over its answer, which was built before them.
  // So are the synth's own changes that arrive meanwhile (its knobs and controllers): the answer
  // may have been built before them too.
  void keepEdits(const std::vector<int>& params);
  // The bank and program each part plays now (the multi's, just received or restored): program
  // steps count on from them, and the bank-conflict test compares against them.
  void takePartPrograms();
  void lightActivity(int part);
  // A part's MIDI channel 0..15, or -1 when its setting names none.
  int partChannel(int part) const;
  // The first part whose channel is `channel`, or -1.
  int partOfChannel(int channel) const;

  // ---- render thread ----
  // The host's program change job (bankChangeJob's, hostProgram set) started without waiting;
  // refused, it is due for the part until startDueHostPrograms (each block) starts it.
  bool startHostProgram(const JobRecord& r);
  void startDueHostPrograms();
  void reset(int blockSize);
  void processBlock(const ITimeInfo& time, int nFrames, double sampleRate, int blockSize);

  // ---- flags (atomics; see the class comment) ----
  std::atomic<bool> sysexControlMissing{false};
  std::atomic<bool> quickTabRefreshPending{false};
  std::atomic<bool> bankSelectPending{false};
  std::atomic<bool> multiRequestActive{false};
  std::atomic<bool> parseComplete{false};
  std::atomic<bool> partSendBusy{false};
  std::atomic<bool> librarianSlotTarget{false};
  // Dumps the librarian's upper bank took since the last SetLibrarianStatusUnsaved or the start
  // of the last dump-thread job: only those make the bank unsaved and say data arrived.
  std::atomic<int> slotsStored{0};
  std::atomic<uint32_t> lastProgramChangeTime{0};
  std::atomic<uint32_t> lastSysExProgramChangeTime{0};

  LibraryPerformanceRequest performanceRequest{true};
  LibraryPatchRequest patchRequest{false};
  // A reply of dump length arrived spoilt while a dump was awaited (cleared by every request's
  // SetLibrarianRequestActive): the request's last text then says so rather than that nothing came.
  std::atomic<bool> spoiltReply{false};
  static constexpr const char* kSpoiltReplyText = "Damaged reply from Dorvik ignored!";
  // The text for a request that ended without a whole answer.
  const char* unansweredText(const char* timeoutText) const {
    return spoiltReply.load() ? kSpoiltReplyText : timeoutText;
  }
  // What the synth holds as far as heard (see dump::SynthImage): every dump for it is built on it.
  dump::SynthImage synthImage;
  // A send that carries the global settings asked for them (none were heard from the device it
  // addresses): its answer goes into the image only (takeAskedGlobal).
  std::atomic<bool> globalAsked{false};
  // A global dump of the synth's went into the editor (its settings are the synth's since).
  std::atomic<bool> globalsHeard{false};
  // The device id is a restored session's or project's, set after the last answer: an id scan
  // keeps to it (MIDIMessageSender::runCycle) rather than to where a synth answered before. An
  // answer clears it.
  std::atomic<bool> deviceIdRestored{false};
  // The answer the running dump-thread job waits for.
  ReplyWait reply;

  MidiEngineHost* host() { return plugHost; }
  PlugMidiState* state() { return plugState; }

 private:
  friend class MIDIMessageSender;
  // startJob's body, with startLock held; mayWait: join a finished thread rather than give up.
  // first: a busy dump thread runs it next, ahead of the jobs queued before it.
  bool startLocked(const JobRecord& record, const std::function<void()>& beforeStart, bool mayWait,
                   uint64_t* id = nullptr, bool first = false);
  // Whether waiting job `newer` makes waiting job `older` pointless (JobQueue::add).
  static bool supersedes(const JobRecord& newer, const JobRecord& older);
  // Whether the caller is a job on the dump thread.
  bool onDumpThread() const;
  // A send-back of `part` belonging to fetch `request` may go: no program change came since that
  // fetch was asked for. Hold partSoundLock from this test until its dump is handed to the output.
  bool sendBackDue(int part, uint64_t request) const { return request > programChangedAt[part].load(); }
  // A short message from the synth: held while a transfer holds input back (or while input held
  // before it waits), false when it is to be applied now.
  bool holdFromDevice(const uint8_t* data, int size);
  // Applies at most `limit` held messages in order; not while a job holds input. What a dump
  // sent meanwhile put back on the synth goes to it again (HeldInput).
  void releaseHeldInput(size_t limit);
  // What of the synth a message from it changes, as HeldInput counts it (one bit each), or 0.
  uint32_t heldTargets(const uint8_t* data, int size) const;
  // The part whose program a message from the synth selects (a program change on its channel, its
  // bank or program in the multi), or -1.
  int programPartOf(const uint8_t* data, int size) const;
  // What of the synth's words a job's dumps undid goes back to it in order, by a dump-thread job
  // that runs next (putBackSynthWords; between two jobs the dump thread sends them itself): ahead
  // of the fetch a released program change asks for, so that the fetch hears the synth as it spoke. A program choice goes back as the bank select and
  // program change that select it again, and its part stays due (HeldInput::dumpDue) until they
  // went: what the synth set there after the choice goes back behind them.
  struct PutBack {
    std::vector<uint8_t> message;
    int param = -1;        // the parameter a value sets
    uint32_t targets = 0;  // heldTargets
    int part = -1;         // a program choice: its part, and what selects it again
    int channel = 0, bankSelect = 0, program = 0;
  };
  void putBack(const std::vector<uint8_t>& message);
  // A message from the synth that arrives while words wait to go back: a later value of their
  // parameter, a later program of their part makes them moot (never an older word over a newer).
  void dropMootPutBacks(const uint8_t* data, int size, int param);
  // The put-back job's words, in order; false, and the job ends, when none is left.
  bool takePutBacks(std::vector<PutBack>* words);
  // The parameter a short message from the synth sets, or -1.
  int paramOfSynthChange(const uint8_t* data, int size);
  // A short message from the synth, past the filters and the hold: to the parsers.
  void takeFromDevice(const uint8_t* data, int size);
  // ProcessSysExFromPlug past its filters: activity light, the parser, the mini mixer, the reply.
  void takeSysEx(const ISysEx* sysex, bool fromDevice);
  // A short message from the synth that changed a value: held to go back over the answer a
  // request waits for, when one waits.
  void keepSynthChange(const uint8_t* data, int size);
  void reapplySynthChange(const std::vector<uint8_t>& m);
  // A global dump the running send asked for: into the image, as the reply the send waits for.
  bool takeAskedGlobal(const uint8_t* data, int size);
  void storeCapture(const LibraryRequest& capture);
  // A message of dump length that is not whole: logged, and shown while a dump is awaited.
  void reportSpoiltReply(int size, bool awaited);
  void handleProgram(int part, bool isBank, int value);
  // The device's own bank select (CC 0 = 0, then CC 32): true when `msg` is part of one and taken.
  bool takeBankSelect(const IMidiMsg* msg, int part);
  void lookUpShort(const uint8_t* d, int size);
  void handlePartProgramFromSysEx(int part, bool program, int value);
  // After a parsed dump: the values edited during the wait go back over it, and to the synth.
  void reapplyHeldEdits();
  // The end of a dump-thread job: its wait, and the edits held for it, end with it.
  void endRequestWait();
  void sendTempo(int value);
  void routeNotesOff(int channel);
  // MIDIOutRoutingSwitch past its drop: into the host queue or out.
  void routeOut(const IMidiMsg* msg);
  // shutdown and stopAllJobs: forGood keeps new jobs refused.
  void endJobs(bool forGood);

  MidiEngineHost* plugHost;
  PlugMidiState* plugState;
  std::unique_ptr<MIDIMessageSender> senderObj;
  std::unique_ptr<Poco::Thread> threads[3];
  mutable std::mutex startLock;
  bool shuttingDown = false;  // guarded by startLock
  // The dump thread's jobs waiting behind the running one, with their numbers.
  JobQueue<JobRecord> jobs;
  // The fetch last asked for each part into the editor, and the last job number given before the
  // part's program last changed: a fetch numbered no higher brought a sound the part no longer has.
  std::atomic<uint64_t> latestFetch[16] = {};
  std::atomic<uint64_t> programChangedAt[16] = {};
  // A send-back's test of programChangedAt and its dump's hand-over, against a program change of
  // the part: the one is on the wire before the other (see sendBackDue).
  std::mutex partSoundLock;
  bool started[3] = {false, false, false};
  // A job runs on the thread: set by the starter under startLock, cleared by the worker when
  // the job has returned. Our own flag, so that the test-and-start never reads the threading
  // library's unsynchronised state.
  std::atomic<bool> jobBusy[3] = {};
  MidiClock midiClock;
  std::atomic<int> pacingOverride{0};
  // What changed while a request waits for the editor, in order: the user's or host's edits (the
  // last of each parameter) and the synth's own short messages. heldEditsLock.
  struct HeldChange {
    int param = -1;  // an edit: the parameter and the value given
    double value = 0.0;
    std::vector<uint8_t> synth;  // else: the synth's message
  };
  std::mutex heldEditsLock;
  std::vector<HeldChange> heldChanges;
  // Short messages from the synth held back while a transfer holds input.
  HeldInput heldInput;
  std::mutex putBackLock;
  std::vector<PutBack> putBacks;
  bool putBackQueued = false;               // putBackLock: the put-back job is queued or runs
  std::atomic<bool> putBackPending{false};  // putBacks is not empty
  // Host program changes due for each part, packed by startHostProgram (0: none).
  std::atomic<uint32_t> hostProgramDue[16] = {};
  // What one release between two jobs applies before it looks for a queued job again.
  static constexpr size_t kReleaseSlice = 64;
};
