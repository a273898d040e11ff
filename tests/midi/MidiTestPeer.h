// The device's side of the direct MIDI ports in tests: a peer with its own virtual ports on the
// JACK server, as a synth's MIDI interface would offer them. The plug-in connects to them; it
// opens no virtual ports of its own.
//
// Its input records every message that arrives (and, in echo mode, sends it straight back out on
// the peer's output from the MIDI system's thread, like a device answering instantly). The input
// and output are the plug-in's own JACK ports (JackMidiInput.h, JackMidiOutput.h; the input keeps
// MIDI timing and active sensing): they close without racing the process thread, so tearing a
// peer down under a flood is safe.
// send() may be called from any one thread at a time while echo is off.
#pragma once

#include "JackMidiInput.h"
#include "JackMidiOutput.h"
#include "JackTestServer.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class MidiTestPeer
{
public:
  typedef std::vector<unsigned char> Bytes;

  // A peer that speaks a protocol of its own: every message that arrives (primers included) goes
  // to listener, on the MIDI system's thread, instead of being recorded.
  // deltaSeconds: JACK frames since the previous message on the port, in seconds (0 first).
  // frameSeconds: the message's frame on the monotonic clock by the peer's cycles as it arrived, where its
  // sender scheduled it however late the cycle ran (all share one offset of up to a cycle).
  typedef std::function<void(double deltaSeconds, double frameSeconds, const Bytes&)> Listener;

  // clientTag distinguishes the peer's JACK clients; the ports are named inName and outName.
  // A listener is in place before the ports exist: a plug-in that is already looking for them
  // may send the moment they are listed.
  MidiTestPeer(const std::string& clientTag = "DorvikPeer",
               const std::string& inName = "from-editor", const std::string& outName = "to-editor",
               Listener listener = nullptr);
  ~MidiTestPeer();

  bool ok() const { return mIn && mIn->isOpen() && mOutOpen; }
  // Full names as the plug-in's port lists show them: the port it sends to, the port it reads.
  const std::string& inputPortName() const { return mInFull; }
  const std::string& outputPortName() const { return mOutFull; }

  void setEcho(bool on);
  void send(const Bytes& message);
  void send(const unsigned char* bytes, size_t size);

  // The primer: a SysEx that tests send until one gets through before they start, because JACK
  // makes a new connection live a cycle or more later, and a cycle that overruns (under TSan
  // the first report is symbolized inside one) loses what it carried. Primers are counted, never
  // recorded, so a late one cannot disturb a test.
  static const Bytes& primer();
  static bool isPrimer(const std::vector<unsigned char>& m) { return m == primer(); }
  size_t primersSeen();
  // Sends the primer through send until the peer has seen one (up to timeoutSeconds).
  template <class SendFn>
  bool primeFrom(SendFn send, double timeoutSeconds = 10.0)
  {
    return prime(send, [this] { return primersSeen() > 0; }, timeoutSeconds);
  }
  // Sends the primer from the peer until seen() answers true.
  template <class SeenFn>
  bool primeTo(SeenFn seen, double timeoutSeconds = 10.0)
  {
    return prime([this](const Bytes& b) { send(b); }, seen, timeoutSeconds);
  }
  template <class SendFn, class SeenFn>
  static bool prime(SendFn send, SeenFn seen, double timeoutSeconds);

  // Waits until at least count messages have arrived; false on timeout.
  bool waitForMessages(size_t count, double timeoutSeconds = 5.0);
  Bytes message(size_t i);
  std::vector<Bytes> messages();
  size_t messageCount();
  size_t byteCount();
  void clear();

private:
  static void onInput(double, const unsigned char* bytes, size_t size, void* self);

  std::unique_ptr<JackMidiInput> mIn;
  JackMidiOutput mOut;
  bool mOutOpen = false;
  std::string mInFull, mOutFull;
  bool mEcho = false;
  Listener mListener;
  double mFrames = -1;  // frames since the first message's cycle began; JACK's thread only
  jack_nframes_t mFirstCycle = 0;

  std::mutex mMutex;
  std::condition_variable mArrived;
  std::vector<Bytes> mMessages;
  size_t mBytes = 0;
  size_t mPrimers = 0;
};


// Messages stamped with their sender and sequence number, for tests that send from many threads
// at once: sequence numbers divisible by 3 give a control change (B0 | sender, seq, seq ^ sender),
// the others a 20-byte SysEx F0 7D sender seq <15 bytes derived from both> F7. A message spliced
// from two senders, or cut short, fails the check.
MidiTestPeer::Bytes MidiTestStamped(int sender, int seq);
// Empty when got holds senders x each stamped messages, each intact and each sender's in order;
// else what is wrong.
std::string MidiTestCheckStamped(const std::vector<MidiTestPeer::Bytes>& got, int senders, int each);

template <class SendFn, class SeenFn>
bool MidiTestPeer::prime(SendFn send, SeenFn seen, double timeoutSeconds)
{
  const double deadline = MidiTestNow() + timeoutSeconds;
  while (MidiTestNow() < deadline)
  {
    send(primer());
    for (int i = 0; i < 20; ++i)
    {
      if (seen())
        return true;
      MidiTestSleep(0.005);
    }
  }
  return false;
}
