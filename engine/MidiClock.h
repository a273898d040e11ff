#pragma once
// MIDI clock for the Dorvik: the timing decisions (tick interval, when a tick is due, which tempo
// applies, what a transport edge starts) as plain functions, and the tick loop that the
// continuous-clock job runs.
//
// Threads: the functions keep no state. A MidiClock belongs to one MIDIMessageManager (one per
// plug-in instance, so switching the clock off in one editor never stops another's); its loop runs
// on the continuous-clock worker, stop() may be called from any thread and ends the loop within a
// few milliseconds. The loop sleeps to each tick's absolute time on the monotonic clock (a timed
// wait on a condition variable, which stop() wakes at once) and never spins: the wake-up is as
// close to the tick as polling gets on Linux, for a fraction of the CPU. Each tick is
// handed its ideal time, so an output that places messages by time (the JACK output) keeps the
// grid on the port even when the thread wakes late.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace midiclock {

constexpr uint8_t kStart = 0xFA;
constexpr uint8_t kTick = 0xF8;
constexpr uint8_t kStop = 0xFC;

// Nanoseconds between ticks at 24 per quarter note; 0 for a tempo of 0 or less.
int64_t intervalNs(int tempo);
// Monotonic clock in nanoseconds.
int64_t nowNs();
// The tempo the clock follows: the host's when kOverrideTempo is exactly 1.0, else the entry of
// the "tempoValues" list at the truncated kMultiTempo value (0 when outside the list or no list).
int resolveTempo(double overrideTempo, int hostTempo, double multiTempo, const std::vector<std::string>* tempoValues);
// Ticks in a quarter note.
constexpr int kTicksPerBeat = 24;
// The time of the tick after the one due at `deadline`: always a time of the grid that the first
// tick set, whatever `now` is, so the clock never drifts from the host's beat. A tick that is
// already due when the loop gets to it (the thread was stalled) goes out at once and the ones
// after it keep their own times. A stall of more than a quarter note skips whole quarter notes of
// late ticks: a synth following the clock loses those beats but keeps its place within the beat,
// instead of receiving a long burst.
int64_t nextDeadline(int64_t deadline, int64_t interval, int64_t now);

// What the audio callback does on a transport edge (clock start or stop jobs). The two flags are
// the plug-in's previous-transport and last-started-was-start state; they are updated here.
enum class TransportAction { kNone, kStartClock, kStopClock };
TransportAction transportEdge(bool runningNow, bool routeViaQueue, bool& transportPlaying, bool& clockStarted);

}  // namespace midiclock

class MidiClock {
 public:
  // resetContinuousClock: running = !stop.
  void reset(bool stop) { stop ? this->stop() : running.store(true); }
  void stop();
  bool isRunning() const { return running.load(); }

  // The tick loop: sends a tick every `interval` ns while running, on the grid of `first` (the
  // time of a tick already sent; now when negative), see midiclock::nextDeadline. `outputSet` is
  // asked before each tick; without an output the loop stops itself (running false). `tick` gets
  // the tick's ideal time (monotonic ns), which is never in the future. Returns when stopped.
  void runTicks(int64_t interval, const std::function<bool()>& outputSet, const std::function<void(int64_t)>& tick,
                int64_t first = -1);
  void runTicks(int64_t interval, const std::function<bool()>& outputSet, const std::function<void()>& tick) {
    runTicks(interval, outputSet, [&tick](int64_t) { tick(); });
  }

 private:
  std::atomic<bool> running{false};
  std::mutex wakeMutex;  // with wake: the loop's sleep, cut short by stop()
  std::condition_variable wake;
};
