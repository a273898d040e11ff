// The direct MIDI output on JACK, written on libjack's MIDI API so that timed messages land at the
// frame of the time they were meant for instead of at the start of the next cycle.
//
// Two queues, both emptied by the process callback in every cycle:
// - send(): messages that go at once, at frame 0 of the next cycle (as RtMidi's JACK output
//   does), in the order sent;
// - sendAt(): messages for a time on the monotonic clock (nanoseconds, as midiclock::nowNs),
//   placed kTimedLatencyPeriods periods after that time at their own frame within the cycle. The
//   fixed delay of two periods covers a sending thread that wakes up to a period late and a
//   server whose frames ran ahead of the client's record of its cycles (jackmidi::CycleClock)
//   until a cycle shows it: a tick then never misses its cycle, and ticks sent with the ideal
//   times of a grid (the MIDI clock) keep the grid on the port.
// Within a cycle the messages that go at once come first; timed messages never overtake each
// other. Only MIDI real-time messages (the clock's ticks) are sent timed, and MIDI lets those
// stand anywhere in the stream, even inside a SysEx, so the two queues need no common order.
//
// Threads: send() and sendAt() may be called from any thread but by one at a time
// (MidiOutputPort's send lock); open, openVirtual, close and the destructor run under that same
// lock, never from the JACK process thread. listPortNames only reads the server's port list and
// may run beside a send; create runs before the first. The process callback only reads the queues
// and the port pointer; it takes no lock and allocates nothing.
//
// The object owns its JACK client (opened by create, closed by the destructor) and the one port it
// registers. Each queue holds kQueueBytes; sending answers false when it is full, when no port is
// open or when the server has gone away.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <jack/ringbuffer.h>
#include <jack/types.h>

#include "JackMidiClient.h"

class JackMidiOutput final : private jackmidi::ClientOwner
{
public:
  static const size_t kQueueBytes = 64 * 1024;
  static const int kTimedLatencyPeriods = 2;

  JackMidiOutput() = default;
  ~JackMidiOutput();

  JackMidiOutput(const JackMidiOutput&) = delete;
  JackMidiOutput& operator=(const JackMidiOutput&) = delete;

  // Opens the client (the server is never started for us) and activates it. False, reported on
  // standard error, when there is no server. lostFlag: as JackMidiInput::create's.
  bool create(const std::string& clientName, std::atomic<bool>* lostFlag = nullptr);
  bool exists() const { return mClient != nullptr; }
  jack_client_t* client() const { return mClient ? mClient->handle() : nullptr; }
  // The server shut down (or restarted): this client is dead for good and never called into
  // again (jackmidi::Client); a new object opens a client on the server running now.
  bool serverGone() const { return mClient && mClient->serverGone(); }
  // As JackMidiInput::lost.
  bool lost() const { return mLost->load(); }

  // Full names of the MIDI ports that accept input, as jack_get_ports lists them.
  std::vector<std::string> listPortNames();

  // Registers our port ownName and connects it to the port found for portName (exact name first,
  // then without ALSA's numbers), and returns once the connection carries (a few milliseconds).
  // Any port open before is closed first. True only when connected.
  bool open(const std::string& portName, const char* ownName);
  // The port opened last, or asked for, is one to open again by itself once listed: its peer was
  // never found on this client or has been registered anew since (jackmidi::Peer).
  bool peerRegisteredAgain() const { return mPeer.registeredAgain(); }
  // As JackMidiInput::peerCameBack.
  bool peerCameBack() const { return mPeer.cameBack(); }
  // Registers our port ownName for others to connect to.
  bool openVirtual(const char* ownName);
  // Unregisters our port after the process callback has let go of it and emptied its buffer (two
  // cycles); what was queued is dropped.
  void close();
  // Returns once the process callback has taken every queued message and, when some were left,
  // two more cycles have run (a reader has had them), or gives up as jackmidi::Client::waitUntil
  // does (false).
  bool drain();

  // Queues size bytes as one message for the next cycle.
  bool send(const unsigned char* bytes, size_t size);
  // Queues size bytes as one message for the time atNs (monotonic clock, nanoseconds). A time in
  // the future is taken as now.
  bool sendAt(const unsigned char* bytes, size_t size, int64_t atNs);
  // Where the server's frames lie on the monotonic clock, as sendAt places by it.
  const jackmidi::CycleClock& cycleClock() const { return mCycles; }

private:
  void cycle(jack_client_t* client, jack_nframes_t nframes) override;
  void serverEnded() override;
  bool enqueue(jack_ringbuffer_t* queue, const unsigned char* bytes, size_t size, uint32_t frame);

  jackmidi::Client* mClient = nullptr;
  jack_ringbuffer_t* mNow = nullptr;    // send()
  jack_ringbuffer_t* mTimed = nullptr;  // sendAt()
  std::atomic<jack_port_t*> mPort{nullptr};
  std::atomic<bool> mOwnLost{false};
  std::atomic<bool>* mLost = &mOwnLost;
  jackmidi::ConnectionWatch mWatch;  // sets *mLost from the process callback
  jackmidi::Peer mPeer;              // the port ours was opened to; owner's thread
  jackmidi::CycleClock mCycles;          // observed by the process callback
  std::atomic<uint32_t> mGeneration{0};  // raised by close(): older queued messages are dropped
};
