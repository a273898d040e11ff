// The direct MIDI input on JACK, written on libjack's MIDI API.
//
// The process callback reads the events of our input port and hands each message's bytes to the
// receiver given to create(), on the JACK process thread, in arrival order. A SysEx that arrives
// split over several events is joined (MidiSysExJoiner) and handed over as one message; one
// longer than kMaxSysExBytes is dropped whole; one cut off before its F7 is handed over as it is
// when the next message starts. Real-time bytes between the pieces go on their own. With
// dropTimingAndSensing, MIDI timing (F8) and active sensing (FE) are dropped in the callback.
//
// Closing never races the process thread: no port is unregistered while the client is active.
// close() takes the port away from the callback, deactivates the client (which waits for a
// running cycle and ends the callbacks), unregisters the port and activates the client again; the
// destructor lets go of the client (jackmidi::Client::release), after which no callback reaches
// this object.
//
// Threads: create, listPortNames, open, openVirtual, close and the destructor from one thread at
// a time, never from the receiver. The receiver runs inside the process cycle of the whole JACK
// graph: it must copy and return (no locks held for long, no waiting).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <jack/types.h>

#include "JackMidiClient.h"

// The joining of a SysEx that arrives split over several events: the pieces are joined until one
// ends with F7 and handed over as one message; one longer than the joiner's capacity is dropped
// whole. A real-time byte (F8..FF) between the pieces goes on its own at once. The pieces after
// the first start with data bytes (or the F7): an event that starts with any other status byte
// is a new message, so the SysEx open then was cut off (the synth stopped mid-dump). What was
// joined of it is handed over at once, as it is, without F7, for the plug-in to refuse, and the
// new message is taken as any other: it is never joined to the cut one and lost with it.
// Other events go on as they are.
// Apart from JACK so that hostile event streams can be fed to it directly.
// Threads: one at a time (the JACK process thread); take allocates nothing.
class MidiSysExJoiner
{
public:
  explicit MidiSysExJoiner(size_t capacity) : mSysEx(capacity, 0) {}

  // Feeds one event; deliver(bytes, size) is called for every message it completes.
  template <class Deliver>
  void take(const unsigned char* bytes, size_t size, Deliver deliver)
  {
    if (!size)
      return;
    const bool realTime = size == 1 && bytes[0] >= 0xF8;
    if (mJoining && !realTime && bytes[0] >= 0x80 && bytes[0] != 0xF7)
    {
      mJoining = false;
      if (!mTooLong)
        deliver(mSysEx.data(), mSize);
    }
    if (realTime || (!mJoining && !(bytes[0] == 0xF0 && bytes[size - 1] != 0xF7)))
    {
      deliver(bytes, size);
      return;
    }
    if (!mJoining)
    {
      mJoining = true;
      mSize = 0;
      mTooLong = false;
    }
    if (!mTooLong && size <= mSysEx.size() - mSize)
    {
      memcpy(mSysEx.data() + mSize, bytes, size);
      mSize += size;
    }
    else
      mTooLong = true;
    if (bytes[size - 1] == 0xF7)
    {
      mJoining = false;
      if (!mTooLong)
        deliver(mSysEx.data(), mSize);
    }
  }
  // Forgets a SysEx half joined (the port was closed).
  void reset() { mJoining = false; }

private:
  std::vector<unsigned char> mSysEx;
  size_t mSize = 0;
  bool mJoining = false;
  bool mTooLong = false;
};

class JackMidiInput final : private jackmidi::ClientOwner
{
public:
  // deltaTime: seconds since the previous message handed over on this port (0 for the first).
  typedef void (*Receiver)(double deltaTime, const unsigned char* bytes, size_t size, void* userData);

  static const size_t kMaxSysExBytes = 256 * 1024;

  JackMidiInput() = default;
  ~JackMidiInput();

  JackMidiInput(const JackMidiInput&) = delete;
  JackMidiInput& operator=(const JackMidiInput&) = delete;

  // Opens the client (the server is never started for us) and activates it. False, reported on
  // standard error, when there is no server. lostFlag (optional): where lost() is kept, a flag of
  // the owner's that outlives this object (one per port, whichever client serves it).
  bool create(const std::string& clientName, Receiver receiver, void* userData, bool dropTimingAndSensing,
              std::atomic<bool>* lostFlag = nullptr);
  bool exists() const { return mClient != nullptr; }
  jack_client_t* client() const { return mClient ? mClient->handle() : nullptr; }
  // The server shut down (or restarted): this client is dead for good and never called into
  // again (jackmidi::Client); a new object opens a client on the server running now.
  bool serverGone() const { return mClient && mClient->serverGone(); }
  // The port opened last stopped carrying: the server shut down, or the port it was connected to
  // went away. Set on JACK's own threads (shutdown and port-connect callbacks); cleared by open
  // and close.
  bool lost() const { return mLost->load(); }

  // Full names of the MIDI ports that send (the ones we can read), as jack_get_ports lists them.
  std::vector<std::string> listPortNames();

  // Registers our port ownName and connects the port found for portName to it (exact name first,
  // then without ALSA's numbers). Any port open before is closed first. True only when connected.
  bool open(const std::string& portName, const char* ownName);
  // The port opened last, or asked for, is one to open again by itself once listed: its peer was
  // never found on this client or has been registered anew since (jackmidi::Peer).
  bool peerRegisteredAgain() const { return mPeer.registeredAgain(); }
  // Its peer, found on this client, has been registered anew since: the synth went away and came
  // back with this client's server running.
  bool peerCameBack() const { return mPeer.cameBack(); }
  // Registers our port ownName for others to connect to.
  bool openVirtual(const char* ownName);
  // Unregisters our port with the client deactivated; a SysEx half joined is dropped.
  void close();
  bool isOpen() const { return mPort.load(std::memory_order_acquire) != nullptr; }

private:
  void cycle(jack_client_t* client, jack_nframes_t nframes) override;
  void serverEnded() override;
  void take(const unsigned char* bytes, size_t size, jack_nframes_t frame, jack_nframes_t rate);
  void deliver(const unsigned char* bytes, size_t size, jack_nframes_t frame, jack_nframes_t rate);

  jackmidi::Client* mClient = nullptr;
  Receiver mReceiver = nullptr;
  void* mUserData = nullptr;
  bool mDropTimingAndSensing = false;
  std::atomic<jack_port_t*> mPort{nullptr};
  std::atomic<bool> mOwnLost{false};
  std::atomic<bool>* mLost = &mOwnLost;
  jackmidi::ConnectionWatch mWatch;  // sets *mLost from the process callback
  jackmidi::Peer mPeer;              // the port ours was opened to; owner's thread
  std::atomic<bool> mRestart{false};  // set by close(): the callback forgets its joined SysEx and timing

  // Process thread only (reset there when mRestart is seen).
  MidiSysExJoiner mJoiner{kMaxSysExBytes};  // sized here: nothing is allocated in a cycle
  bool mHaveLast = false;
  jack_nframes_t mLastFrame = 0;
};
