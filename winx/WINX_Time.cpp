#include "WINX_Time.h"

#include <cerrno>
#include <ctime>

void Sleep(int ms) {
  if (ms < 0) return;
  const int64_t us = ms == 0 ? 100 : static_cast<int64_t>(ms) * 1000;
  timespec req = {static_cast<time_t>(us / 1000000), static_cast<long>((us % 1000000) * 1000)};
  timespec rem;
  // A signal handler must not cut the pause short: the caller's pacing relies on it.
  while (nanosleep(&req, &rem) != 0 && errno == EINTR) req = rem;
}

uint32_t WINX_TicksFromTime(int64_t sec, int64_t nsec) {
  return static_cast<uint32_t>(static_cast<uint64_t>(sec) * 1000u + static_cast<uint64_t>(nsec / 1000000));
}

uint32_t GetTickCount() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return WINX_TicksFromTime(ts.tv_sec, ts.tv_nsec);
}
