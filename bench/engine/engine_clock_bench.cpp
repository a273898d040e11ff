// How close the engine's MIDI clock puts its ticks to the ideal grid, and what it costs in CPU,
// beside the physical reference of this machine: a loop of clock_nanosleep(TIMER_ABSTIME) to the
// same grid (the best a sleeping thread can do here). At 300 BPM (8.33 ms per tick) for 2 s.
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include "MidiClock.h"

namespace {

double threadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Result {
  double maxLateUs = 0, meanLateUs = 0, cpuMs = 0;
  int ticks = 0;
};

Result measure(const std::vector<int64_t>& at, int64_t start, int64_t interval, double cpuMs) {
  Result r;
  r.ticks = static_cast<int>(at.size());
  for (size_t i = 0; i < at.size(); ++i) {
    const double late = (at[i] - (start + static_cast<int64_t>(i + 1) * interval)) / 1e3;
    r.maxLateUs = std::max(r.maxLateUs, late);
    r.meanLateUs += late / at.size();
  }
  r.cpuMs = cpuMs;
  return r;
}

}  // namespace

int main() {
  const int64_t interval = midiclock::intervalNs(300);
  const int ticks = static_cast<int>(2000000000LL / interval);

  std::vector<int64_t> engine;
  engine.reserve(ticks + 1);
  MidiClock clock;
  clock.reset(false);
  double cpu0 = threadCpuMs();
  const int64_t start = midiclock::nowNs();
  clock.runTicks(interval, [&] { return static_cast<int>(engine.size()) < ticks; },
                 [&] { engine.push_back(midiclock::nowNs()); });
  const Result e = measure(engine, start, interval, threadCpuMs() - cpu0);

  std::vector<int64_t> ref;
  ref.reserve(ticks);
  cpu0 = threadCpuMs();
  const int64_t refStart = midiclock::nowNs();
  for (int i = 1; i <= ticks; ++i) {
    const int64_t due = refStart + i * interval;
    timespec ts{static_cast<time_t>(due / 1000000000LL), static_cast<long>(due % 1000000000LL)};
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
    ref.push_back(midiclock::nowNs());
  }
  const Result r = measure(ref, refStart, interval, threadCpuMs() - cpu0);

  std::printf("MIDI clock, %d ticks at 300 BPM (%.3f ms apart)\n", ticks, interval / 1e6);
  std::printf("  engine tick loop : late by mean %8.1f us, max %8.1f us, CPU %7.1f ms\n", e.meanLateUs, e.maxLateUs, e.cpuMs);
  std::printf("  nanosleep to grid: late by mean %8.1f us, max %8.1f us, CPU %7.1f ms\n", r.meanLateUs, r.maxLateUs, r.cpuMs);
  std::printf("  (a busy-waiting loop would use about %.0f ms of CPU for the same run)\n", 2000.0);
  return 0;
}
