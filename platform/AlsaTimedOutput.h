// Scheduled delivery on the ALSA sequencer, for short messages meant to leave at a given moment
// (the MIDI clock's ticks): the kernel sends each one from a queue at its time, so the ticks keep
// their grid however late the clock's thread wakes.
//
// RtMidi's ALSA output stays the output for everything else; this is a second sequencer client
// with one port connected to the same destination, used only by MidiOutputPort::sendAt. MIDI lets
// real-time messages stand anywhere in the stream, so the two clients need no common order. Each
// message is scheduled kLatencyNs after its time: a thread that wakes later than that has its
// message sent at once, as without this output.
//
// The queue runs on the high-resolution timer at kTimerHz where the kernel offers it (else on the
// default timer, at whatever resolution that has), so ticks land within one timer period of
// their time.
//
// Threads: MidiOutputPort's mutex serialises every call. The object owns its sequencer client,
// port, queue and encoder; close() and the destructor release them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

typedef struct _snd_seq snd_seq_t;
typedef struct snd_midi_event snd_midi_event_t;

class AlsaTimedOutput
{
public:
  static constexpr int64_t kLatencyNs = 5000000;
  static constexpr unsigned kTimerHz = 6250;  // the sequencer's highest queue timer frequency

  AlsaTimedOutput() = default;
  ~AlsaTimedOutput() { close(); }

  AlsaTimedOutput(const AlsaTimedOutput&) = delete;
  AlsaTimedOutput& operator=(const AlsaTimedOutput&) = delete;

  // Opens the client, its port ownName and a running queue, and connects the port to the port
  // named portName (RtMidi's "client:port c:p" form, matched as MidiFindPortName does). False, with
  // everything released, when any step fails.
  bool open(const std::string& clientName, const std::string& portName, const char* ownName);
  void close();
  bool isOpen() const { return mSeq != nullptr; }

  // Schedules a message of 1 to 3 bytes for atNs on the monotonic clock, plus kLatencyNs. False
  // (nothing sent) for other sizes or when the sequencer refuses.
  bool sendAt(const unsigned char* bytes, size_t size, int64_t atNs);

private:
  bool startQueue();

  snd_seq_t* mSeq = nullptr;
  snd_midi_event_t* mCoder = nullptr;
  int mPort = -1;
  int mQueue = -1;
  int64_t mQueueZeroNs = 0;  // the monotonic time at which the queue's real time was 0
};
