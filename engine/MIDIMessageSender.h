#pragma once
// The jobs of the device MIDI engine: dumps to the Dorvik, requests with their wait for the
// answer, librarian transfers, the connection handshake and the MIDI clock. One object, owned by
// MIDIMessageManager, run by its three worker threads; each thread has its own JobRecord (see
// MIDIMessageManager.h), so a job never sees another starter's arguments.
//
// Threads: run(thread) executes on that worker. Jobs pause with sleeps that end early when the
// manager shuts down; requests and transfers also end at their next poll once cancelRequested is
// set. A job that starts another dump-thread job queues it behind itself. A request waits for its
// own answer (MIDIMessageManager::reply): each poll ends the moment it is in, never later than
// the pacing interval the poll stands for; the pauses after what the editor sends stay as they are.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <Poco/Runnable.h>

#include "MIDIMessageManager.h"

class MIDIMessageSender {
 public:
  explicit MIDIMessageSender(MIDIMessageManager* manager);
  virtual ~MIDIMessageSender() = default;

  // Dispatches the record of `thread` by its job code; other codes return at once. An exception
  // escaping a job ends the job (logged).
  void run(WorkerThread thread);
  Poco::Runnable* runner(WorkerThread thread) { return &runners[static_cast<int>(thread)]; }
  JobRecord& record(WorkerThread thread) { return records[static_cast<int>(thread)]; }
  // The job code's thread.
  static WorkerThread threadOf(int jobCode);

  // ---- jobs (codes in brackets) ----
  void sendArrangementToDevice(bool toLibrarian, bool requestParts);  // 0
  void sendGlobalToDevice(int unused);                                 // 1
  // With sendBackOf: the send-back of that fetch, sent only while it is due (sendBackDue).
  void sendPartToDevice(int part, bool toLibrarian, bool unused, uint64_t sendBackOf = 0);  // 2
  void sendPatchToDeviceFromLibrarian(const LibrarianPatch& entry, int part, int slot,
                                      bool selectedBySynth = false);  // 3
  // Entries first..first+99 into programs 0..99 of `bank`; with oneSlot entry `first` alone
  // into program `first`.
  void storeAllPatchesToDeviceFromLibrarian(int mode, int first, int bank, bool oneSlot = false);  // 4
  void sendActiveArrangementRequestSysex(bool toEditor, unsigned onlyParts = 0, bool playingParts = false);  // 5
  void sendPartRequestSysex(int part, bool toEditor);                   // 6
  void sendSingleMultiRequestSysex();                                   // 7
  void sendAllMultiRequestSysex();                                      // 8
  void sendSinglePatchRequestSysex(bool fromEditBuffer, int bank);      // 9
  void sendAllPatchRequestSysex(int bank);                              // 10
  void initPerformance(bool onlyFromHardware);                          // 11
  void initClassicPatch(bool onlyFromHardware, int part);               // 12
  // With a device-id change (from, to): asks at `to`; unless the synth answers there, the id it
  // answers at stays (`from`, or where the scan found it) and the status says so. sessionFollows:
  // see JobRecord.
  void sendDeviceIdEnquiry(int idChangedFrom = -1, int idChangedTo = -1, bool sessionFollows = false);  // 13
  // All notes off, bank select and program change on `channel`, paced for the synth: 25 ms to
  // the bank select's LSB, 25 ms to the program change, then 50 ms and the pacing interval.
  // Started by MIDIMessageManager::BankChangeMessage (first = channel, second = bank-select
  // value, third = program); called directly by a job that selects a program itself.
  static constexpr int kBankAndProgramChangeJob = 19;
  void sendBankAndProgramChange(int channel, int bankSelect, int program);  // 19
  // The synth's words a job's dumps undid, back to it in the order they came (see
  // MIDIMessageManager::putBack); it ends once none is left.
  static constexpr int kPutBackJob = 20;
  void putBackSynthWords();  // 20
  void startMIDIClockOutput();                                          // 15
  void sendContinuousMIDIClock(int unused);                             // 16
  void stopMIDIClockOutput();                                           // 17
  void resetContinuousClock(bool stop);

  // How a request is asked again when no answer comes.
  struct RequestSpec {
    std::function<std::vector<uint8_t>(int deviceId)> build;  // R for a device id
    int scanPoll = 25;
    bool scanText = false;       // "Please wait, checking DeviceID n" during the scan
    bool resendInsteadOfScan = false;  // job 9: re-send R (fresh id and part) up to 128 times
    bool checked = false;        // through checksumCheckAndSend (refused without an output)
    // Unanswered this long (ms, scaled as pauses are), a request that JACK may have dropped is
    // asked once more (see runCycle).
    int lostAfterMs = 1500;
    const char* timeoutText = "CONNECTION TIMED OUT!";
  };
  // The poll part of a request cycle (the request already sent): true when the answer came.
  bool runCycle(const RequestSpec& spec);

  // The last text of a request: cancelled, or (when nothing failed) done; a librarian request
  // also reloads the library view after a cancel and marks the bank changed after success.
  void finishRequest(bool librarian, const char* cancelText, const char* doneText);

  std::atomic<bool> cancelRequested{false};
  std::atomic<bool> requestFailed{false};
  // Set by shutdown: every pause ends at once and loops leave.
  std::atomic<bool> stopping{false};
  // Test hooks: readings of the tempo while it is 0 wait this long (ms) instead of 1000; every
  // fixed pause of a job is scaled by this percentage.
  std::atomic<int> tempoRetryMs{1000};
  std::atomic<int> pauseScalePercent{100};

 private:
  struct Runner : Poco::Runnable {
    MIDIMessageSender* sender = nullptr;
    WorkerThread thread = WorkerThread::kDump;
    void run() override {
      do sender->run(thread);
      while (sender->mgr->nextQueuedJob(thread));
    }
  };

  // Waits in steps of stepMs, at most `steps` steps, until the answer is in; false on time-out
  // (status set and the request failed, when it is the last wait) or cancel.
  bool waitForReply(int stepMs, int steps, const char* stepText, bool last = true);
  // At most ms (scaled as pause scales) for the answer; true the moment it is in. Ends early on a
  // cancel or shutdown.
  bool waitReply(int ms);
  void requestWholeBank(bool multi, int bank);
  // Before a global dump goes out: when none was heard from the device it addresses, asks that
  // device for its global settings (into the image only) and waits a few pacing intervals.
  void askForUnheardGlobal(int pacing);
  // Start of a single librarian request: indicator on, capture armed; returns the selected slot
  // held to 0..99.
  int beginLibrarianRequest();
  // Sleeps ms in short slices; false when the manager is stopping.
  bool pause(int ms);
  void sendRequest(const std::vector<uint8_t>& request, bool checked);
  bool cancelled() const { return cancelRequested.load() || stopping.load(); }
  void handToParser(const uint8_t* data, int size);
  // The device id the editor speaks to: a restored session's or project's when none answered
  // since, else the one a synth answered at last; -1 before either.
  int spokenId() const;

  // Dump thread: the request sent last (asked again when its answer is in doubt), and how often a
  // wait asked again.
  std::vector<uint8_t> lastRequest;
  bool lastChecked = false;
  unsigned askedAgain = 0;
  unsigned lateCyclesAtRequest = 0;  // host->midiLateCycles() as the last request left
  uint32_t requestSentAt = 0;        // GetTickCount() as it left
  // The longest a request asked once took to be answered in this run (ms).
  uint32_t slowestAnswerMs = 0;
  // The job's scan moved the device id: said in the status line, and its last text says it again.
  std::string moveText;
  // A session's device check that moved it: its push ends by saying so again.
  std::string checkMoveText;

  MIDIMessageManager* mgr;
  MidiEngineHost* host;
  PlugMidiState* st;
  JobRecord records[3];
  Runner runners[3];
};
