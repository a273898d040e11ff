// What the JACK MIDI input and output (JackMidiInput.h, JackMidiOutput.h) share: opening their
// client, listing and opening ports by name, and letting go of a port without racing the process
// thread. Errors are reported on standard error as "MIDI PORTS: " lines naming the operation
// (what: "input" or "output").
//
// Threads: the owner's thread (never the JACK process thread), as the owners' own calls.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include <jack/types.h>
#include <sys/stat.h>

namespace jackmidi {

class ClientLife;

// Whether our port still carries, judged where JACK has applied the change: in the process
// callback, which runs on the graph in force for its cycle. JACK sends its notices (a connection
// made or undone, a port unregistered: the synth switched off, its interface unplugged, a
// patchbay's hand) before the server switches to the graph without the connection, and how long
// after varies (the server may still be writing the next change), so a count read inside the
// notice often still finds the connection that went. Every notice to any client of this process
// asks the next cycles, for about a second, to look again (it only counts: the notice touches no
// object, since a client whose server went away is deleted without being closed); a port not
// seen connected yet is looked at in every cycle until it is.
// Lost: a port seen connected has no connection left. Back: one lost is connected again (a
// patchbay's doing; choosing the port again reconnects it too).
class ConnectionWatch
{
public:
  // Process thread, every cycle, with the port the cycle uses (null: none): sets *lost on a loss
  // and clears it when the port is back. Reads the connection count, lock-free in a cycle.
  void update(jack_port_t* port, std::atomic<bool>& lost);
  // Any thread: a cycle has seen port connected (and not lost since).
  bool carries(jack_port_t* port) const { return port && mCarrying.load() == port; }
  // The owner's thread, after connecting port: returns once a cycle has seen the connection (JACK
  // applies it at the start of a cycle), or after 200 ms of a stalled server.
  void waitUntilCarrying(jack_port_t* port, const ClientLife& life) const;

private:
  friend bool openClient(jack_client_t**, const std::string&, JackProcessCallback, JackShutdownCallback,
                         ConnectionWatch*, void*, const char*, ClientLife&);
  jack_client_t* mClient = nullptr;  // set before activation
  std::atomic<jack_port_t*> mCarrying{nullptr};
  // Process thread only:
  unsigned mNoticesSeen = 0;
  int mCyclesToCheck = 0;
  jack_port_t* mPort = nullptr;  // the port of the last cycle
  bool mConnected = false;
  bool mLost = false;  // mPort was seen losing its connections
};

// Whether a client of ours still gets its cycles while its server runs. JACK may stop calling a
// client's process callback for good with the server running on, every cycle then marking it "not
// finished": its port stays connected and carries nothing. Measured on the server's own frame
// counter, which moves only while the server runs its cycles (a stopped or hung server stalls no
// client of ours).
class CycleWatch
{
public:
  // Longest time on the server's clock between two cycles of a client that still gets them: a
  // busy machine delays a cycle by some periods, never by this.
  static constexpr double kStallSeconds = 0.4;
  // The owner's thread, right after the client was activated (again).
  void start(jack_client_t* client);
  // Process thread, in every cycle.
  void cycle(jack_client_t* client);
  // Cycles so far; any thread.
  unsigned cycles() const { return mCycles.load(); }
  // The owner's thread (a call into the client: not once its server went away): the server ran
  // frames at least `seconds` long past the last cycle of ours (or past start, with none since).
  bool stalled(jack_client_t* client, double seconds = kStallSeconds) const;
  // The owner's thread, in a call into the client: returns once count cycles have completed
  // since the call (true), or (false) once the client is seen stalled, after 200 ms of a server
  // whose frames do not move (stopped, hung), after a second at most, or when the server went away.
  bool waitFor(jack_client_t* client, const ClientLife& life, unsigned count) const;

private:
  std::atomic<jack_nframes_t> mLastFrame{0};
  std::atomic<unsigned> mCycles{0};
};

// Notices of every kind (ports registered, unregistered, connected, disconnected) that our
// clients have had so far: a listing older than a change of this count may be stale. Any thread.
unsigned noticesSeen();
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
  // Never found on this client (a stored port that was not there, a client new after a server
  // restart), or registered again since it was found.
  bool registeredAgain() const;

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

// Whether one of our clients may still be called into, and when its object may go.
//
// A server's end reaches each client of it as a shutdown notice on the client's notification
// thread, which then goes on with the notices still queued (the server's other clients leaving)
// until the server's socket closes. libjack takes the end as the end of every client it holds in
// the process: the next jack_client_open anywhere in the process (a port's new client, a test's
// probe) closes and deletes them all, and a close cancels the client's threads at once, wherever
// they are. A notification thread cancelled while it handled another client's arrival or
// departure kept libjack's process-wide lock of those notices for good: every later close, open
// and notice waited on it. So no client of a server that went away is ever closed by us, and after
// a server's end (heard, or seen in its entry: libjack notes it before our callback runs) no
// client opens until every client libjack holds has had its shutdown notice and its notification
// thread has ended. The open that lets libjack go then cancels only process threads, which wait
// for a cycle that never comes or finish a callback of ours first (CallbackGuard).
class ClientLife
{
public:
  // The client's shutdown callback: began() first, ended() last (the object may go after it).
  void began();
  void ended();
  // Any thread: the client's server went away; the client is never called into again.
  bool gone() const { return mGone.load(); }
  // Any thread: the object may be freed (its server runs, and the destructor closes the client;
  // or its shutdown notice is done).
  bool mayGo() const { return !mGone.load() || mEnded.load(); }

private:
  friend bool openClient(jack_client_t**, const std::string&, JackProcessCallback, JackShutdownCallback,
                         ConnectionWatch*, void*, const char*, ClientLife&);
  friend void closeClient(jack_client_t*, ClientLife&, const std::atomic<bool>&);
  // libjack holds the client for us, opened on the server of this entry; closed by us.
  void hold(const std::string& serverPath, const struct stat& entry);
  void letGo();
  ServerEntry mServer;
  std::atomic<bool> mGone{false};
  std::atomic<bool> mEnded{false};
  std::atomic<bool> mHeld{false};
  std::atomic<bool> mCounted{false};  // its notice counted among those done (once)
};

// A call of the owner's into its client: answers false, calling nothing, when the client's server
// went away; otherwise the open that lets libjack free the client waits for the call to return.
class ClientCall
{
public:
  explicit ClientCall(const ClientLife& life);
  ~ClientCall();
  ClientCall(const ClientCall&) = delete;
  ClientCall& operator=(const ClientCall&) = delete;
  explicit operator bool() const { return mMay; }

private:
  bool mMay;
};

// For the length of a callback of ours on a JACK thread: libjack cancels its threads
// asynchronously (a client deactivated or closed), which inside our code would leave a lock
// taken or a cycle unmarked. The cancel waits until the callback returns, and acts as the
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

// Opens a client (the server is never started for us) into *client, sets its process and
// shutdown callbacks (arg: their argument) and, with a watch, the connection and port
// registration notices that it counts, and activates it. *client is set before activation, since
// the callbacks read it; false, with *client null, when there is no server or activation failed,
// or when a server's end is still being heard (see ClientLife), or when an open ahead of it has
// not returned for 15 s (a server that stopped answering holds it in libjack): the next listing
// tries again.
bool openClient(jack_client_t** client, const std::string& name, JackProcessCallback process,
                JackShutdownCallback shutdown, ConnectionWatch* watch, void* arg, const char* what,
                ClientLife& life);

// What the hung-open notice says (after "MIDI PORTS: " on standard error, and in the window).
extern const char* const kOpenHungText;
// Any thread: an open gave up behind one that has not returned for 15 s (said once on standard
// error), and no open has returned since.
bool openHung();

// The clients libjack holds for us (see ClientLife), and of those the shutdown notices done and
// the notification threads ended since their server's end. Any thread (diagnostics, tests).
struct HeldClients
{
  int held = 0, noticesEnded = 0, noticeThreadsEnded = 0;
};
HeldClients heldClients();

// Clients openClient has tried to open so far (each a jack_client_open). Without a server's
// socket none is tried: the port watch waits for JACK without opening a client every second.
// Any thread.
unsigned clientOpensTried();

// A plain jack_client_open (options, server name or null) for clients made outside these
// classes in this process (a test's probe of its server), held back after a server's end as
// openClient's are (null meanwhile, and behind an open that does not return); one that opens
// ends the wait before the next try of a server's entry that an open failed on. Its client has no shutdown callback: close it before
// its server may go.
jack_client_t* openBareClient(const char* name, jack_options_t options, const char* serverName);

// The end of an object's client: closed while its server runs; left to libjack (see ClientLife)
// once its server went away, after its shutdown notice and a running cycle are done (a notice
// comes at once; after a few seconds without it the object goes all the same). Returns when the
// object may be freed: no callback of the client reaches it any more.
void closeClient(jack_client_t* client, ClientLife& life, const std::atomic<bool>& inCycle);

// Full names of the MIDI ports with these flags (JackPortIsInput: ports we can send to;
// JackPortIsOutput: ports we can read), as jack_get_ports lists them.
// Empty once the client's server went away.
std::vector<std::string> listPorts(jack_client_t* client, const ClientLife& life, unsigned long flags);

// Registers our MIDI port ownName (flags: JackPortIsInput or JackPortIsOutput); null when refused.
jack_port_t* registerPort(jack_client_t* client, const char* ownName, unsigned long flags, const char* what);

// Registers our port ownName, hands it to the process callback through port, and connects it
// with the port found for portName (exact name first, then without ALSA's numbers) in the
// direction of flags: the first message after the connection is not missed. False when no such
// port exists or the connection failed; our port is then released again (see releasePort). The
// port found is noted in peer.
bool openPort(jack_client_t* client, const std::string& portName, const char* ownName, unsigned long flags,
              const char* what, std::atomic<jack_port_t*>& port, const std::atomic<bool>& inCycle,
              const ClientLife& life, Peer& peer);

// Returns once the process callback is not running (inCycle, see releasePort). For an object whose
// server went away before it is deleted: no cycle starts any more, and one that was running has
// ended, its reads ordered before the delete.
void waitForCycleEnd(const std::atomic<bool>& inCycle);

// Takes port away from the process callback and unregisters it once no cycle can be using it.
// The callback sets inCycle before it reads port and clears it when done; both sequentially
// consistent, so a callback either sees null or is seen here and waited for. The callback never
// blocks, so the wait is short. Nothing is unregistered once the server has gone.
void releasePort(jack_client_t* client, std::atomic<jack_port_t*>& port, const std::atomic<bool>& inCycle,
                 const ClientLife& life);

}  // namespace jackmidi
