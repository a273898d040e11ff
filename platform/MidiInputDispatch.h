// Hands incoming MIDI from the MIDI system's thread to our own dispatch thread.
//
// Why: RtMidi calls its input callback on the MIDI system's own thread: for JACK that is inside
// the process cycle of the whole audio graph. The plug-in's handlers sleep, take the plug-in lock
// and set controls; doing that in the callback would stall every JACK client (xruns) and, with
// ALSA, the sequencer thread. So the callback only copies the bytes into this bounded queue
// (push never waits for space and allocates nothing) and one dispatch thread, owned here, calls
// the handler with each message in arrival order.
//
// A full queue makes room by dropping the oldest messages its owner's refresh test names (a
// controller's or a knob's earlier value, which a later one replaces); what that test does not
// name (an answer, a program change) is never dropped for them. A SysEx message, a program change
// or a bank select that still does not fit makes room by dropping the oldest other channel
// messages (notes, controllers): never one of its own kind. What still does not fit is
// dropped and counted; the dispatch thread admits the drops with a printed line (at most one a
// second, the rest when it stops), so the MIDI system's thread does no I/O.
//
// Threads: push() from the MIDI system's thread; start(), discard() and stop() from the main
// thread (or whoever owns the port); the handler runs on the dispatch thread only.
// stop() joins the dispatch thread: it MUST NOT be called from the handler, and must not be
// called while holding a lock the handler may wait for.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class MidiInputDispatch
{
public:
  // The same shape as RtMidi's input callback: the message lives for the call only.
  typedef void (*Handler)(double deltaTime, std::vector<unsigned char>* message, void* userData);
  // Whether a message may be dropped for room (see above). Called on the MIDI system's thread,
  // with the queue locked: it must only look at the bytes.
  typedef bool (*RefreshTest)(const unsigned char* bytes, size_t size, void* userData);

  // capacityBytes bounds the queue: each message takes its size plus a 12-byte header. The
  // default holds about 11,000 ten-byte SysEx parameter changes, ten times a synth's bulk knob
  // sweep of 1,000 arriving while the handler is busy; only a flood beyond what the handler can
  // take for seconds on end is dropped (and counted).
  explicit MidiInputDispatch(size_t capacityBytes = 256 * 1024);
  ~MidiInputDispatch();  // stop()

  MidiInputDispatch(const MidiInputDispatch&) = delete;
  MidiInputDispatch& operator=(const MidiInputDispatch&) = delete;

  // Starts the dispatch thread with this handler (and refresh test, with the same userData); a
  // second call while running changes nothing.
  void start(Handler handler, void* userData, RefreshTest refresh = nullptr);
  // Ends and joins the dispatch thread; queued messages are discarded. A message already being
  // handled finishes first.
  void stop();
  bool running() const { return mThread.joinable(); }

  // Copies one message into the queue, dropping the oldest refreshes for room when full; false
  // (and counted) when it does not fit even so. Never blocks waiting for space; takes the queue
  // mutex only for the copy.
  bool push(double deltaTime, const unsigned char* bytes, size_t size);
  // Throws away what is queued (the port was closed): nothing from the old port is handled after
  // this returns, except a message the dispatch thread has already taken.
  void discard();

  uint64_t droppedCount() const { return mDropped.load(std::memory_order_relaxed); }
  // Messages pushed and not yet taken by the dispatch thread.
  size_t queuedCount();

private:
  void run();
  void writeRing(const void* src, size_t n);
  void readRing(void* dst, size_t n);
  void reportDrops();
  // Queue locked: drops the oldest messages `droppable` names until `need` bytes are free,
  // keeping the order of the rest (a copy through mSpare, the queue's own size: nothing is
  // allocated).
  void dropOldest(size_t need, RefreshTest droppable, void* userData);
  // A SysEx message, a program change or a bank select: what the queue never drops for room.
  static bool mustKeep(const unsigned char* bytes, size_t size);

  std::mutex mMutex;
  std::condition_variable mWake;
  std::vector<unsigned char> mRing;  // records: uint32 size, double delta, bytes
  std::vector<unsigned char> mSpare;  // as large, for dropOldest
  size_t mHead = 0, mTail = 0, mUsed = 0, mCount = 0;
  bool mStopping = false;

  Handler mHandler = nullptr;
  RefreshTest mRefresh = nullptr;
  void* mUserData = nullptr;
  std::thread mThread;

  std::atomic<uint64_t> mDropped{0};
  uint64_t mDropsReported = 0;  // dispatch thread (and stop) only
  std::chrono::steady_clock::time_point mLastReport;  // dispatch thread only
};
