// A simulated Dorvik for the end-to-end tests: its own two JACK ports (the synth's MIDI
// interface), the memory the editor reads and writes (sound banks, 16 part edit buffers, the multi
// edit buffer, globals) and its side of the SysEx conversation.
//
// It answers the sound, multi and global requests with whole dumps after a set delay, checks the
// shape and checksum of everything it receives (each received message gets a verdict in the log),
// applies parameter changes and dumps to its buffers, follows bank select + program change,
// counts MIDI clock, start and stop, takes CC 27/28 (oscillator 1), turns knobs itself (SysEx or CC).
// Faults on request: silence, spoilt answers, another device id, answers on their own time or lost.
//
// Threads: JACK's thread only copies arrivals into the log and hands them to the sim's own worker,
// which applies them and sends the answers (so an answer's delay never stalls JACK). Every public
// call is safe from any thread. The log is stamped with the monotonic clock (MidiTestNow()).
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "MidiTestPeer.h"

class DorvikSim
{
public:
  typedef std::vector<unsigned char> Bytes;

  // kCutOff: the first 50 bytes only, without F7 (the synth stopped mid-dump). kKnobFirst spoils
  // nothing: a knob turned on the synth (part 16) goes out right before the whole answer.
  enum class Spoil { kNone, kBadChecksum, kTruncated, kMissingEnd, kWrongDeviceId, kHighBit, kCutOff, kKnobFirst };

  struct Entry
  {
    double time;      // MidiTestNow() at arrival or send
    bool incoming;    // from the editor
    Bytes bytes;
    std::string verdict;  // incoming: "ok", or what is wrong with it
    double frameTime = 0;  // incoming: seconds on JACK's frame clock of the sim's input port
  };

  // portTag keeps the port names apart when a test needs two sims.
  explicit DorvikSim(const std::string& portTag = "dorvik");
  ~DorvikSim();

  bool ok() const;
  // The names under which the editor lists the sim's ports: the one it sends to, the one it reads.
  const std::string& editorOutputName() const;
  const std::string& editorInputName() const;

  // Behaviour (any time).
  void setDeviceId(int id);
  int deviceId() const { return mDeviceId.load(); }
  void setReplyDelay(double seconds) { mDelay.store(seconds); }
  // The next answers, one each, go this long after their request came, each on its own time (a
  // later request may be answered first); a negative one is lost. Then setReplyDelay's again.
  void answerAfter(const std::vector<double>& seconds);
  void setSilent(bool silent) { mSilent.store(silent); }
  // Another unit on the cable at `id`: answers from this memory, its sounds' byte 85 `cutoff`.
  void addUnit(int id, int cutoff) { mOtherCutoff.store(cutoff), mOtherId.store(id); }
  // Once answerAfter's are used, every answer of this unit is lost until the other unit has
  // answered once (however often the editor asks before its scan reaches that unit).
  void loseUntilOtherAnswers() { mLoseUntilOther.store(true); }
  // The next `count` answers are spoilt this way (count < 0: all of them).
  void spoilAnswers(Spoil kind, int count = 1);

  // Memory (copies). setMemory seeds all 16 parts with one sound dump, and the multi and globals.
  void setMemory(const Bytes& sound, const Bytes& multi, const Bytes& global);
  Bytes partSound(int part);
  Bytes multiBuffer();
  Bytes globals();
  void setPartData(int part, int index, int value);   // sound data index (dump position - 7)
  void setMultiData(int index, int value);            // multi data index (dump position - 7)
  void setGlobalData(int index, int value);           // global data index (dump position - 5)
  void storeSound(int bank, int number, const Bytes& dump);  // answers a request for that slot

  // The synth's own knob moves.
  void turnSoundKnob(int part, int index, int value);  // F0 3E 10 dev 20 part hi lo value F7
  void turnGlobalKnob(int index, int value);           // F0 3E 10 dev 24 hi lo value F7
  // The panel selects stored sound `number` of `bank` for a part (its edit buffer takes it when
  // stored) and says so: bank select and program change on the part's channel (its number), or
  // the multi's parameter change of the part's program.
  void selectOnPanel(int part, int bank, int number, bool bySysEx);
  void sendShort(unsigned char status, unsigned char d1, unsigned char d2);
  void sendRaw(const Bytes& bytes);

  // Log and counters.
  std::vector<Entry> log();
  std::vector<Entry> received(std::function<bool(const Bytes&)> match);
  // Waits until match has accepted `count` received messages; false on timeout.
  bool waitFor(std::function<bool(const Bytes&)> match, size_t count = 1, double timeoutSeconds = 10.0);
  void clearLog();
  int clockTicks() const { return mTicks.load(); }
  int clockStarts() const { return mStarts.load(); }
  int clockStops() const { return mStops.load(); }
  // Each tick's frame on the monotonic clock by the sim's cycles as it arrived, in seconds: where the editor
  // scheduled it (on the monotonic clock it ticks on), whenever a busy machine ran the cycle. All
  // share one offset of up to a cycle (the first message's place in its cycle).
  std::vector<double> tickTimes();
  int rejected() const { return mRejected.load(); }
  int wholeAnswers() const { return mWholeAnswers.load(); }  // answers sent unspoilt

  // Dumps as the synth would send them (whole, with checksum).
  Bytes soundDump(int bank, int number);
  static void checksum(Bytes& dump);
  // What is wrong with a received message, or "ok".
  static std::string verdictFor(const Bytes& m);

private:
  void onInput(double delta, double serverTime, const Bytes& m);
  void work();
  Bytes apply(const Bytes& m);
  void answer(Bytes reply, double delay);
  void send(const Bytes& m);

  std::atomic<int> mDeviceId{0}, mOtherId{-1}, mOtherCutoff{0};
  std::atomic<double> mDelay{0.02};
  std::atomic<bool> mSilent{false};
  std::atomic<int> mTicks{0}, mStarts{0}, mStops{0}, mRejected{0}, mWholeAnswers{0};
  double mFrameClock = 0;  // JACK's thread only

  std::mutex mMutex;  // guards everything below
  std::condition_variable mChanged;
  Spoil mSpoil = Spoil::kNone;
  int mSpoilCount = 0;
  std::vector<Entry> mLog;
  std::vector<double> mTickTimes;
  std::deque<Entry> mPending;
  std::array<Bytes, 16> mParts;
  Bytes mMulti, mGlobal;
  std::map<int, Bytes> mStored;  // bank * 128 + number
  std::deque<double> mAfter;      // answerAfter's delays still to come
  std::vector<std::thread> mOnTime;  // answers sent on their own time
  int mBankSelect[16] = {};
  std::atomic<bool> mStop{false};
  std::atomic<bool> mLoseUntilOther{false};
  std::mutex mSendLock;
  std::thread mWorker;
  // The two JACK ports, made last: an editor already looking for them sends the moment they are
  // listed, and what arrives then finds everything above in place.
  std::unique_ptr<MidiTestPeer> mPeer;
};
