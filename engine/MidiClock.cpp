#include "MidiClock.h"

#include <time.h>

#include <chrono>
#include <cstdlib>

namespace midiclock {

int64_t intervalNs(int tempo) {
  if (tempo <= 0) return 0;
  return 60000000000LL / (static_cast<int64_t>(tempo) * 24);
}

int64_t nowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

int resolveTempo(double overrideTempo, int hostTempo, double multiTempo, const std::vector<std::string>* list) {
  if (overrideTempo == 1.0) return hostTempo;
  if (list == nullptr || !(multiTempo >= 0.0) || multiTempo >= static_cast<double>(list->size())) return 0;
  return std::atoi((*list)[static_cast<size_t>(multiTempo)].c_str());
}

int64_t nextDeadline(int64_t deadline, int64_t interval, int64_t now) {
  const int64_t next = deadline + interval;
  const int64_t beat = interval * kTicksPerBeat;
  if (interval <= 0 || now - next <= beat) return next;
  return next + (now - next) / beat * beat;
}

TransportAction transportEdge(bool runningNow, bool routeViaQueue, bool& transportPlaying, bool& clockStarted) {
  if (runningNow && !transportPlaying) {
    transportPlaying = true;
    if (!routeViaQueue && !clockStarted) {
      clockStarted = true;
      return TransportAction::kStartClock;
    }
  } else if (!runningNow && transportPlaying) {
    transportPlaying = false;
    if (!routeViaQueue && clockStarted) {
      clockStarted = false;
      return TransportAction::kStopClock;
    }
  }
  return TransportAction::kNone;
}

}  // namespace midiclock

void MidiClock::stop() {
  {
    // Under the lock, so the loop is either before its check of running or inside its wait.
    std::lock_guard<std::mutex> lock(wakeMutex);
    running.store(false);
  }
  wake.notify_all();
}

void MidiClock::runTicks(int64_t interval, const std::function<bool()>& outputSet,
                         const std::function<void(int64_t)>& tick, int64_t first) {
  if (interval <= 0) return;
  int64_t deadline = midiclock::nextDeadline(first < 0 ? midiclock::nowNs() : first, interval, midiclock::nowNs());
  while (running.load()) {
    const int64_t now = midiclock::nowNs();
    if (now < deadline) {
      // steady_clock is CLOCK_MONOTONIC here, the clock of nowNs, so the deadline carries over.
      std::unique_lock<std::mutex> lock(wakeMutex);
      wake.wait_until(lock, std::chrono::steady_clock::time_point(std::chrono::nanoseconds(deadline)),
                      [this] { return !running.load(); });
      continue;
    }
    if (!outputSet()) {
      running.store(false);
      break;
    }
    tick(deadline);
    deadline = midiclock::nextDeadline(deadline, interval, midiclock::nowNs());
  }
}
