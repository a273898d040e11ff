// The direct MIDI output on JACK, written on libjack's MIDI API so that each message lands at the
// frame of the time it was meant for instead of at the start of the next cycle.
//
// A message handed to send() carries a time on the monotonic clock (nanoseconds, as
// midiclock::nowNs). It is placed one JACK period after that time, at its own frame offset within
// the cycle: every message is delayed by the same one period (the cycle that is being processed
// while it is sent has already been written), and messages sent with the ideal time of a grid
// (the MIDI clock's ticks) keep the grid on the port whatever the sending thread's wake-up
// latency, as long as that stays under one period. A message that arrives later than its cycle
// goes out at the start of the next one; messages never overtake each other.
//
// Threads: send() may be called from any thread but by one at a time (MidiOutputPort's mutex);
// create, list, open, openVirtual, close and the destructor run under that same mutex, never from
// the JACK process thread. The process callback only reads the queue and the port pointer; it
// takes no lock and allocates nothing.
//
// The object owns its JACK client (opened by create, closed by the destructor) and the one port it
// registers. Messages wait in a lock-free ring of kQueueBytes; send() answers false when it is
// full, when no port is open or when the server has gone away.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <jack/ringbuffer.h>
#include <jack/types.h>

class JackMidiOutput
{
public:
  static const size_t kQueueBytes = 64 * 1024;

  JackMidiOutput() = default;
  ~JackMidiOutput();

  JackMidiOutput(const JackMidiOutput&) = delete;
  JackMidiOutput& operator=(const JackMidiOutput&) = delete;

  // Opens the client (the server is never started for us) and activates it. False, reported on
  // standard error, when there is no server.
  bool create(const std::string& clientName);
  bool exists() const { return mClient != nullptr; }

  // Full names of the MIDI ports that accept input, as jack_get_ports lists them.
  std::vector<std::string> listPortNames();

  // Registers our port ownName and connects it to the port found for portName (exact name first,
  // then without ALSA's numbers). Any port open before is closed first. True only when connected.
  bool open(const std::string& portName, const char* ownName);
  // Registers our port ownName for others to connect to.
  bool openVirtual(const char* ownName);
  // Unregisters our port after the process callback has let go of it; what was queued is dropped.
  void close();

  // Queues size bytes as one message for the time atNs (monotonic clock, nanoseconds).
  bool send(const unsigned char* bytes, size_t size, int64_t atNs);

private:
  static int process(uint32_t nframes, void* self);
  static void shutdown(void* self);
  bool registerPort(const char* ownName);
  void releasePort();

  jack_client_t* mClient = nullptr;
  jack_ringbuffer_t* mQueue = nullptr;
  std::atomic<jack_port_t*> mPort{nullptr};
  std::atomic<bool> mServerGone{false};
  std::atomic<uint64_t> mCycles{0};      // process callbacks run so far; close() waits on it
  std::atomic<uint32_t> mGeneration{0};  // raised by close(): older queued messages are dropped
};
