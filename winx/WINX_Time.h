// Sleep and GetTickCount: the timing calls that pace the MIDI engine's SysEx sending and time
// its time-outs. Any thread may call them (the host's render thread, the MIDI input thread,
// the sender's workers); they keep no state.
#pragma once

#include <cstdint>

// Suspends the calling thread for ms milliseconds; Sleep(0) still sleeps 100 microseconds so it
// always yields. A negative ms returns at once: as an unsigned count it would be about 71
// minutes, which a caller's arithmetic slip must never turn into a hung MIDI worker.
void Sleep(int ms);

// Milliseconds of a monotonic clock, truncated to 32 bits (wraps about every 49.7 days).
// Callers only take differences (now - then, unsigned), which stay right across the wrap.
// The clock does not follow changes of the wall clock, so a user setting the time cannot
// stretch or cut a time-out.
uint32_t GetTickCount();

// The tick value of a clock reading: sec * 1000 + nsec / 1000000, truncated to 32 bits.
uint32_t WINX_TicksFromTime(int64_t sec, int64_t nsec);
