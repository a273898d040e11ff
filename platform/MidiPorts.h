// The direct MIDI input and output ports: on ALSA through RtMidi, on JACK through our own ports
// on libjack (JackMidiInput.h, JackMidiOutput.h); see MidiBackend.h for the choice.
//
// Each object owns one such object, made by create() and deleted by the destructor. RtMidi
// prints its message on standard error and throws RtMidiError; every call into it is caught here,
// a "MIDI PORTS: " line says which operation gave up, and the call answers false / an empty
// result. Nothing here throws.
//
// The plug-in connects to ports that others (the synth's interface, a test peer) offer; only
// MidiOutputPort::openVirtual offers one of its own.
#pragma once

#include "MidiBackend.h"
#include "MidiInputDispatch.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// JACK's notices (ports registered, unregistered, connected or disconnected) so far: a listing
// made before this count last moved may be stale. Always 0 on ALSA, which sends none. Any thread.
unsigned MidiPortNotices();

// On JACK: how often a server went away under our clients (each client's notice counts); a count
// that moved during a loss says the MIDI system restarted meanwhile. Always 0 on ALSA. Any thread.
unsigned MidiPortServerEnds();

// On JACK: how often it said a client of its graph ran late, so that a message for it in the cycle
// it missed may be gone (see jackmidi::lateCyclesHeard). Always 0 on ALSA. Any thread.
unsigned MidiPortLateCycles();

// On JACK: an open gave up behind one that a server not answering holds (see jackmidi::openHung),
// cleared once an open returns. Any thread. The notice's two lines in a window's status box,
// short enough to stand there whole (the terminal gets jackmidi::kOpenHungText).
bool MidiPortOpenHung();
const char* MidiPortOpenHungText();
const char* MidiPortOpenHungDetail();

// The port a MidiInputPort or MidiOutputPort was asked for last: written by its owner's thread,
// read from any (a leaf lock: nothing else is done while it is held).
class MidiPortName
{
public:
  void set(const std::string& name);
  std::string get() const;
  // The owner's thread, which alone writes it: no lock needed.
  const std::string& owned() const { return mName; }
  // See MidiInputPort::mayReopen; peerBack: the peer came back rather than stayed (on JACK).
  bool mayReopen(bool lost, const std::vector<std::string>& names, bool peerBack) const;

private:
  mutable std::mutex mMutex;
  std::string mName;
};

typedef struct _jack_client jack_client_t;
class AlsaTimedOutput;
class JackMidiInput;
class JackMidiOutput;
class RtMidiIn;
class RtMidiOut;

// Input: the device's MIDI arrives here. The MIDI system's callback (its own thread) only queues
// the bytes; the handler given to create() is called on the dispatch thread (see
// MidiInputDispatch.h) with 1..n bytes per message. On JACK the input is our own
// (JackMidiInput.h), which never unregisters its port under a running process cycle; on ALSA it
// is RtMidi's.
// Threads: create, listPortNames, open, mayReopen, close and the destructor from one thread at a
// time (the plug-in's port lock), never from the handler; lost, isOpen and portName from any.
class MidiInputPort
{
public:
  MidiInputPort();
  // Stops and joins the dispatch thread, then deletes the MIDI system's object (which closes the
  // port and ends the MIDI system's callbacks). Must not run on the dispatch thread.
  ~MidiInputPort();

  MidiInputPort(const MidiInputPort&) = delete;
  MidiInputPort& operator=(const MidiInputPort&) = delete;

  // Makes the input object on the chosen MIDI system with this client name (see
  // SORVANTA_MIDI_CLIENT_SUFFIX in MidiPorts.cpp) and queue limit, registers our callback and
  // drops MIDI timing and active sensing (SysEx is kept). The handler is not called before
  // startDelivery; refresh (optional) names what a full queue may drop first (MidiInputDispatch).
  // False when the object could not be made.
  bool create(const char* clientName, unsigned queueLimit,
              MidiInputDispatch::Handler handler, void* userData,
              MidiInputDispatch::RefreshTest refresh = nullptr);
  bool exists() const { return mIn != nullptr || mJack != nullptr; }
  // Starts the dispatch thread, which runs until the destructor: the handler is called from now
  // on. What an open port received before is held in the queue (as far as it holds; the rest is
  // dropped and counted) and handed over first. A plug-in starts delivery once it is fully open,
  // so that no message reaches a half-made object. A second call changes nothing.
  void startDelivery();

  // The ports the MIDI system lists now. On JACK, a client whose server went away is replaced by
  // one on the server running now (the open port is then closed).
  std::vector<std::string> listPortNames();

  // Connects to the port named portName as the MIDI system lists it now (exact name first, then
  // without ALSA's client:port numbers), under our own port name ownName. True only when a port
  // is open afterwards; any port open before is closed first. On JACK a client whose server went
  // away is replaced first, as by listPortNames.
  bool open(const std::string& portName, const char* ownName);
  // Closes the port and throws away what is queued from it. Does not wait for a message the
  // dispatch thread is handling (the caller may hold the lock that handler waits for).
  void close();
  bool isOpen() const { return mOpen.load(std::memory_order_acquire); }
  // The port opened last no longer carries: on JACK its server shut down or the port it reads went
  // away (noticed in the cycles after JACK's notices, see jackmidi::ConnectionWatch); on any MIDI
  // system, the listing after it did not list that port any more; or the port asked for by the
  // last open was not there (the synth still off, no MIDI system yet). Cleared by a successful
  // open and by close. Any thread (the window reads it for every frame).
  bool lost() const { return mLost.load(); }
  // The port asked for by the last open, opened or not (empty after close). Any thread.
  std::string portName() const { return mPortName.get(); }
  // The port asked for last is lost and may be opened again without asking the user: names (a
  // listing just made) lists it under its full name (on ALSA with its client and port numbers:
  // never another unit of the same name), and its peer came back rather than staying put (on JACK: the
  // synth's port registered anew since ours was opened, or never found on this client, as a
  // stored port absent at the start or one on a server restarted since). A port a patchbay
  // disconnected, its peer still there, is left as the user's hand left it.
  bool mayReopen(const std::vector<std::string>& names) const;
  // Opens that succeeded so far: a port lost and opened again between two looks shows here.
  unsigned opens() const { return mOpens.load(); }
  // The port is lost because its synth went away while the MIDI system ran: a listing did not list
  // it any more, or on JACK its port was registered anew, heard by the client ours was open on.
  // Not once the port's JACK server went away since (a restart takes the synth's port with it: the
  // synth stayed), nor for a port a patchbay disconnected. Kept until the next open or close. Any
  // thread.
  bool peerLeft() const { return mPeerLeft.load(); }
  // On JACK, the client (null without one), for tests.
  jack_client_t* jackClient() const;

  uint64_t droppedCount() const { return mDispatch.droppedCount(); }

private:
  // On JACK: a client whose server went away (a restart) is replaced by one on the server
  // running now, once there is one; a port open on it counts as lost.
  void replaceDeadClient();

  static void rtCallback(double deltaTime, std::vector<unsigned char>* message, void* userData);
  static void jackCallback(double deltaTime, const unsigned char* bytes, size_t size, void* userData);

  RtMidiIn* mIn = nullptr;                // ALSA
  std::unique_ptr<JackMidiInput> mJack;  // JACK
  std::string mClientName;               // JACK, for a new client after a server restart
  MidiInputDispatch mDispatch;
  MidiInputDispatch::Handler mHandler = nullptr;  // given to create, started by startDelivery
  MidiInputDispatch::RefreshTest mRefresh = nullptr;
  void* mUserData = nullptr;
  std::atomic<bool> mOpen{false};
  MidiPortName mPortName;  // the port asked for last
  std::atomic<bool> mLost{false};  // see lost(); also set by the JACK client's callbacks
  std::atomic<bool> mPeerLeft{false};        // see peerLeft()
  bool mLostWithServer = false;              // lost as its JACK server went away
  std::atomic<unsigned> mOpens{0};
};

// Output: every byte the plug-in sends leaves through send(). Sends come from the render, main,
// worker and input-dispatch threads at once; the send lock keeps each message whole (the JACK output
// queue and ALSA's encoder both assume a single writer) and keeps send from racing open and close.
// The port watch's calls (listPortNames, mayReopen) never hold it across a call to the MIDI system
// on JACK: a clock tick is never held back behind a listing (a round trip to a server that a busy
// machine may answer late).
// On JACK the output is our own (JackMidiOutput.h), which puts timed messages at the frame of
// their time within the cycle; on ALSA it is RtMidi's, which delivers at once, with a scheduling
// sequencer client beside it for the timed ones (AlsaTimedOutput.h).
class MidiOutputPort
{
public:
  MidiOutputPort();
  ~MidiOutputPort();  // closes the port and deletes the RtMidi object

  MidiOutputPort(const MidiOutputPort&) = delete;
  MidiOutputPort& operator=(const MidiOutputPort&) = delete;

  bool create(const char* clientName);
  bool exists() const;

  std::vector<std::string> listPortNames();

  // As MidiInputPort::open.
  bool open(const std::string& portName, const char* ownName);
  // Offers a port of our own named ownName for others to connect to, instead of connecting to
  // theirs. Any port open before is closed first. True only when the port is open afterwards.
  // Hazard (JACK): RtMidi registers one port per object and ignores a second virtual open, so
  // this reuses nothing: use a fresh object for each virtual port.
  bool openVirtual(const char* ownName);
  void close();
  bool isOpen() const { return mOpen.load(std::memory_order_acquire); }
  // As MidiInputPort's.
  bool lost() const { return mLost.load(); }
  std::string portName() const { return mPortName.get(); }
  bool mayReopen(const std::vector<std::string>& names) const;
  unsigned opens() const { return mOpens.load(); }
  bool peerLeft() const { return mPeerLeft.load(); }
  jack_client_t* jackClient() const;

  // Writes size bytes as one message. False, sending nothing, with no object, no open port, no
  // bytes, or when the library reports an error. Any thread.
  //
  // Hazard (JACK): output waits in a 64 KB queue emptied once per JACK cycle; send answers false
  // when the queue is full. Callers that send more than a few kilobytes in a burst must pace
  // themselves (the device engine's jobs do).
  bool send(const unsigned char* bytes, size_t size);
  // As send, for a MIDI real-time message meant to leave at atNs on the monotonic clock
  // (midiclock::nowNs), a moment already past: JACK places it at that time's frame, a fixed two
  // periods later (see JackMidiOutput.h); ALSA schedules it a fixed 5 ms later on a sequencer
  // queue (AlsaTimedOutput.h), or sends at once when that could not be set up. The MIDI clock
  // passes each tick's ideal time here, so the port keeps the grid even when the clock's thread
  // wakes late.
  // kSendNow is send().
  static constexpr int64_t kSendNow = INT64_MIN;
  bool sendAt(const unsigned char* bytes, size_t size, int64_t atNs);

private:
  // Hazard (JACK): queued output leaves only on the next cycle, and closing the port or deleting
  // the object drops what is still queued (the last request of a transfer, seen now and then
  // under load), so both first let the queue drain: on JACK until the client's cycles took it
  // (JackMidiOutput::drain), elsewhere kDrainMs after the last send.
  void drainLocked();
  void replaceDeadClientLocked();  // as MidiInputPort::replaceDeadClient

  // mMutex: the port state (one port change or listing at a time); mSendMutex: every send, and each
  // change of what a send uses (taken after mMutex, and only for that change).
  mutable std::mutex mMutex;
  std::mutex mSendMutex;
  RtMidiOut* mOut = nullptr;                   // ALSA
  std::unique_ptr<AlsaTimedOutput> mAlsaTimed;  // ALSA, timed messages, made at the first one
  std::unique_ptr<JackMidiOutput> mJack;       // JACK
  std::string mClientName;
  std::string mTimedPortName, mTimedOwnName;  // where mAlsaTimed is to connect, until it is made
  std::atomic<bool> mOpen{false};
  std::chrono::steady_clock::time_point mLastSend{};  // mSendMutex
  MidiPortName mPortName;  // the port asked for last; written under mMutex too
  std::atomic<bool> mLost{false};  // as MidiInputPort's
  std::atomic<bool> mPeerLeft{false};
  bool mLostWithServer = false;  // mMutex
  std::atomic<unsigned> mOpens{0};
};
