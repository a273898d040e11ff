// What the JACK MIDI input and output (JackMidiInput.h, JackMidiOutput.h) share: the life of
// their client, listing and opening ports by name, and letting go of a port without racing the
// process thread. Errors are reported on standard error as "MIDI PORTS: " lines naming the
// operation (what: "input" or "output").
//
// How a client lives and ends (Client):
// - libjack calls our callbacks with a context of ours, a Client, which lives for as long as
//   libjack may call it. Its owner (the input or output object) is reached through it only while
//   attached: release() detaches the owner and returns once no callback is inside it, so the owner
//   may be freed at once. A callback that comes later (a cycle a busy machine started late, a
//   notice) finds live memory and no owner, and does nothing.
// - A client whose server runs is closed by us as its owner lets go (which ends its threads), and
//   its context freed.
// - A server that goes away tells each client on its notification thread (the shutdown notice),
//   which then reads on until the server's socket closes, and ends. Such a client is dead for
//   good: nothing calls into it any more (ClientCall). libjack frees every client of the process
//   at the first open after it has heard a server's end, whatever program part opens (a host or
//   another plug-in may hold clients too), so a dead client is never closed by us (libjack could
//   free it beside our close) but left to libjack, its context kept for the life of the process
//   (a few hundred bytes a restart).
// - Our opens wait until every client of ours on a server that ended has had its notice and its
//   notification thread has ended: that open then has libjack free them all (it would cancel a
//   notification thread still running, maybe inside libjack's lock of its notices, which then
//   stays taken for good), and libjack builds its table of wake-up objects afresh. A client
//   opened before that, beside a dead one of the same number, would be handed the dead server's
//   wake-up object and never run.
//
// Threads: the owner's thread (never a JACK thread), as the owners' own calls, unless said.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <jack/types.h>
#include <sys/stat.h>

namespace jackmidi {

class Client;

// Whether our port still carries, judged where JACK has applied the change: in the process
// callback, which runs on the graph in force for its cycle. JACK sends its notices (a connection
// made or undone, a port unregistered: the synth switched off, its interface unplugged, a
// patchbay's hand) before the server switches to the graph without the connection, and how long
// after varies (the server may still be writing the next change), so a count read inside the
// notice often still finds the connection that went. Every notice to any client of this process
// asks the next cycles, for about a second, to look again (it only counts); a port not seen
// connected yet is looked at in every cycle until it is.
// Lost: a port seen connected has no connection left, seen in a cycle (so with its server
// running). Back: one lost is connected again (a patchbay's doing; choosing the port again
// reconnects it too).
class ConnectionWatch
{
public:
  // Process thread, every cycle, with the port the cycle uses (null: none): sets *lost on a loss
  // and clears it when the port is back. Reads the connection count, lock-free in a cycle.
  void update(jack_port_t* port, std::atomic<bool>& lost);
  // Any thread: a cycle has seen port connected (and not lost since).
  bool carries(jack_port_t* port) const { return port && mCarrying.load() == port; }
  // The owner's thread, after connecting port: returns once a cycle has seen the connection (JACK
  // applies it at the start of a cycle), or gives up as Client::waitUntil does (false).
  bool waitUntilCarrying(jack_port_t* port, const Client& client) const;

private:
  friend class Client;
  jack_client_t* mClient = nullptr;  // set before activation
  std::atomic<jack_port_t*> mCarrying{nullptr};
  // Process thread only:
  unsigned mNoticesSeen = 0;
  int mCyclesToCheck = 0;
  jack_port_t* mPort = nullptr;  // the port of the last cycle
  bool mConnected = false;
  bool mLost = false;  // mPort was seen losing its connections
};

// Where the server's frames lie on the monotonic clock (nanoseconds), from the cycles a client
// runs: each cycle's first frame against the time its process callback ran. A callback runs late
// on a busy machine, so the record is the least delayed cycle of the last quarter second or so
// (between two cycles frames run at the nominal rate). A server without real-time priority on a
// busy machine loses frames against the clock, a few percent and at times hundreds of
// milliseconds at once; a record older than the window makes way, so the loss is followed within
// it. JACK's own mapping of its clock to its frames strays by tens of percent for seconds after
// such a loss, which put timed messages off their grid.
// observe: the process thread only, every cycle. The rest: any thread (lock-free, never blocks the
// process thread).
class CycleClock
{
public:
  void observe(jack_nframes_t cycleStart, jack_nframes_t rate, int64_t ns);
  bool known() const { return mSeq.load(std::memory_order_acquire) != 0; }
  // The frame at time ns, and the time of frame (frames wrap: both are taken as the record's
  // nearest); 0 before the first cycle.
  jack_nframes_t frameAt(int64_t ns) const;
  int64_t timeOf(jack_nframes_t frame) const;

private:
  struct Record
  {
    jack_nframes_t frame = 0;
    int64_t ns = 0;
  };
  // a's time carried to b's frame is earlier than b's: a ran less delayed.
  bool earlier(const Record& a, const Record& b) const;
  bool read(Record* r, jack_nframes_t* rate) const;

  // Process thread only:
  Record mBest, mPrevious;  // the least delayed of this part of the window, and of the one before
  jack_nframes_t mPart = 0;  // frame / the part's length
  jack_nframes_t mRate = 0;
  // Published under a sequence count (odd while written):
  std::atomic<uint32_t> mSeq{0};
  std::atomic<jack_nframes_t> mFrame{0}, mPublishedRate{0};
  std::atomic<int64_t> mNs{0};
};

// Notices of every kind (ports registered, unregistered, connected, disconnected, a server's
// end) that our clients have had so far: a listing older than a change of this count may be
// stale. Any thread.
unsigned noticesSeen();
// JACK's notices that a client of the graph ran late (an xrun) that our clients have had so far.
// In its default (asynchronous) mode JACK then runs the next cycle without it, and what another
// client wrote for it in the cycle it missed is gone: a count that moved since a message left
// says it or its answer may have been dropped. Any thread.
unsigned lateCyclesHeard();
// Shutdown notices our clients have had so far (one per client a server's end took). Any thread.
unsigned serverEndsHeard();
// How often our clients have heard a port of this full name registered: a synth's port that went
// away and came back counts up; one that stayed (a patchbay undid its connection) does not. Both
// of our clients hear each registration, so the count only ever says "again", never how often.
// Any thread.
unsigned registrations(const std::string& fullName);

// The port on the other side of one of ours (the synth's), as found when ours was opened: whether
// it has been registered anew since, that is, whether a loss was its going away rather than a
// patchbay's hand. The owner's thread.
class Peer
{
public:
  // Found under this full name when ours was opened (connected or not).
  void found(const std::string& fullName);
  // Takes the registrations seen by now as the peer's own. A notice may reach us after the
  // listing that found the peer: called again once the connection carries.
  void settle();
  void forget() { mName.clear(); }
  // Found on this client, and registered again since.
  bool cameBack() const { return !mName.empty() && registrations(mName) != mRegistrations; }
  // Never found on this client (a stored port that was not there, a client new after a server
  // restart), or registered again since it was found.
  bool registeredAgain() const { return mName.empty() || cameBack(); }
  const std::string& name() const { return mName; }

private:
  std::string mName;
  unsigned mRegistrations = 0;
};

// A JACK server's entry in /dev/shm as a client was opened on it.
struct ServerEntry
{
  std::string path;
  dev_t dev = 0;
  ino_t ino = 0;
  // The entry is gone or made anew: that server has ended.
  bool ended() const;
};

// What a client's callbacks reach (JackMidiInput, JackMidiOutput), on libjack's threads, while
// attached (see Client). Neither may block.
class ClientOwner
{
public:
  // The process callback of every cycle (client: the client's handle).
  virtual void cycle(jack_client_t* client, jack_nframes_t nframes) = 0;
  // The client's server went away (its shutdown notice): the client is dead for good.
  virtual void serverEnded() = 0;

protected:
  ~ClientOwner() = default;
};

// One client of ours as libjack holds it (see the head of this file).
class Client
{
public:
  // Opens a client (the server is never started for us) named name, whose callbacks reach owner,
  // with its connection and registration notices counted for watch (optional), and activates it.
  // Null when there is no server, the client could not be opened or activated, a client of ours
  // on an ended server is still being told so, or a close of ours runs (see the head of this file:
  // the next listing tries again), or an open ahead of it has not returned for 15 s (a server that
  // stopped answering holds it in libjack). The process's first client is opened again when
  // libjack missed a client leaving meanwhile (its table of wake-up objects, see the .cpp).
  static Client* open(const std::string& name, ClientOwner* owner, ConnectionWatch* watch, const char* what);
  // The owner lets go: returns once no callback of the client is inside it (the owner may then be
  // freed). The client is closed now while its server runs; one whose server went away is left to
  // libjack. client must not be used afterwards. Null does nothing.
  static void release(Client* client);

  jack_client_t* handle() const { return mHandle; }
  // The client's server went away (its notice came, or its entry is gone or made anew). Any
  // thread.
  bool serverGone() const { return mGone.load() || mServer.ended(); }
  // Process callbacks completed so far. Any thread.
  unsigned cycles() const { return mCycles.load(); }
  // Returns once done() answers true (true), or (false) once the server went away, after 200 ms
  // of a server whose frames do not move (stopped, hung), or after a second at most (a client JACK
  // runs late). done is asked every millisecond. In a call into the client.
  bool waitUntil(const std::function<bool()>& done) const;
  // waitUntil count process callbacks have completed since the call.
  bool waitForCycles(unsigned count) const;
  // Returns once no callback of the client is inside its owner: a change the owner made before
  // the call (a port taken away) is seen by every callback that enters it after.
  void quiesce() const;

private:
  friend class ClientCall;
  friend class Entered;
  friend struct ClientRegistry;
  Client() = default;
  ~Client() = default;
  static int process(jack_nframes_t nframes, void* arg);
  static void shutdown(void* arg);
  bool gone() const { return mGone.load(); }

  jack_client_t* mHandle = nullptr;
  ServerEntry mServer;
  std::atomic<ClientOwner*> mOwner{nullptr};
  std::atomic<int> mInOwner{0};     // callbacks now inside the owner (see quiesce)
  mutable std::atomic<int> mCalls{0};  // the owner's calls now inside the client (ClientCall)
  std::atomic<unsigned> mCycles{0};
  std::atomic<bool> mGone{false};   // its shutdown notice came
  std::atomic<bool> mNoticeThreadEnded{false};
  std::atomic<bool> mLeft{false};   // left to libjack: never called into, closed or freed by us
  // The registry's (its lock): our close of it runs.
  bool mClosing = false;
  long long mEndSeenNs = 0;  // when an open first found it ended and still open
};

// A call of the owner's into its client: answers false, calling nothing, once the client's server
// went away; otherwise the client is not closed before the call returns. Blocks SIGPIPE for its
// length: libjack writes its requests with write(), and one to a server that is just going away
// would otherwise end the process.
class ClientCall
{
public:
  explicit ClientCall(const Client* client);
  ~ClientCall();
  ClientCall(const ClientCall&) = delete;
  ClientCall& operator=(const ClientCall&) = delete;
  explicit operator bool() const { return mMay; }

private:
  const Client* mClient;
  bool mMay;
  bool mBlocked;
};

// For the length of a callback of ours on a JACK thread: libjack cancels its threads
// asynchronously (a client deactivated or closed), which inside our code would leave a lock
// taken or a count unmarked. The cancel waits until the callback returns, and acts as the
// guard goes: the destructor lets it through (it is not noexcept, so the unwinding may leave it).
class CallbackGuard
{
public:
  CallbackGuard();
  ~CallbackGuard() noexcept(false);
  CallbackGuard(const CallbackGuard&) = delete;
  CallbackGuard& operator=(const CallbackGuard&) = delete;

private:
  int mState = 0;
};

// What the hung-open notice says (after "MIDI PORTS: " on standard error, and in the window).
extern const char* const kOpenHungText;
// Any thread: an open gave up behind one that has not returned for 15 s (said once on standard
// error), and no open has returned since.
bool openHung();

// Our clients as they stand: open (not closed by us, nor left to libjack), of those whose server
// went away, and those left to libjack (see Client). Any thread (diagnostics, tests).
struct ClientCounts
{
  int open = 0, dead = 0, leftToLibjack = 0;
};
ClientCounts clientCounts();

// Clients Client::open has tried to open so far (each a jack_client_open). Without a server's
// socket none is tried: the port watch waits for JACK without opening a client every second.
// Any thread.
unsigned clientOpensTried();

// A plain jack_client_open (options, server name or null) for clients made outside these
// classes in this process (a test's probe of its server), held back as Client::open is (null
// meanwhile, and behind an open that does not return); one that opens ends the wait before the
// next try of a server's entry that an open failed on. Its client has no shutdown callback: close
// it before its server may go.
jack_client_t* openBareClient(const char* name, jack_options_t options, const char* serverName);

// Full names of the MIDI ports with these flags (JackPortIsInput: ports we can send to;
// JackPortIsOutput: ports we can read), as jack_get_ports lists them.
// Empty once the client's server went away.
std::vector<std::string> listPorts(const Client& client, unsigned long flags);

// Registers our MIDI port ownName (flags: JackPortIsInput or JackPortIsOutput); null when refused.
// In a call into the client.
jack_port_t* registerPort(const Client& client, const char* ownName, unsigned long flags, const char* what);

// Registers our port ownName, hands it to the process callback through port, and connects it
// with the port found for portName (exact name first, then without ALSA's numbers) in the
// direction of flags: the first message after the connection is not missed. False when no such
// port exists or the connection failed; our port is then released again (see releasePort). The
// port found is noted in peer. In a call into the client.
bool openPort(const Client& client, const std::string& portName, const char* ownName, unsigned long flags,
              const char* what, std::atomic<jack_port_t*>& port, Peer& peer);

// Takes port away from the process callback and unregisters it once no callback can be using it
// (Client::quiesce). Nothing is unregistered once the server has gone.
void releasePort(const Client& client, std::atomic<jack_port_t*>& port);

}  // namespace jackmidi
