#include "MidiClock.h"

#include <sched.h>
#include <time.h>

#include <algorithm>
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
  return next + interval < now ? now + interval : next;
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

void MidiClock::runTicks(int64_t interval, const std::function<bool()>& outputSet, const std::function<void()>& tick) {
  if (interval <= 0) return;
  int64_t deadline = midiclock::nowNs() + interval;
  while (running.load()) {
    const int64_t now = midiclock::nowNs();
    const int64_t left = deadline - now;
    if (left > 0) {
      // Sleep in short slices while far from the tick so stop() is seen quickly; spin (with a
      // yield) only for the last half millisecond.
      if (left > 500000) {
        timespec ts{0, static_cast<long>(std::min<int64_t>(left - 400000, 5000000))};
        nanosleep(&ts, nullptr);
      } else {
        sched_yield();
      }
      continue;
    }
    if (!outputSet()) {
      running.store(false);
      break;
    }
    tick();
    deadline = midiclock::nextDeadline(deadline, interval, midiclock::nowNs());
  }
}
