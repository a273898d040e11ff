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

// Whether one of our clients may still be called into, and when its object may go.
//
// libjack takes a server's shutdown, heard by any client of the process, as the end of them all:
// the next jack_client_open anywhere in the process (a port's new client, a test's probe)
// closes and deletes every client opened before, cancelling their threads at once wherever they
// are, a shutdown notice not yet delivered among them. A client whose own notice was cut short
// so was taken for alive, and its object went on calling into the freed client (after a server
// restart under load the output's new client then hung, never running a cycle). So every client
// opened before a shutdown that any of ours heard counts as gone, and is never called into again.
// Its object may be freed once its own shutdown notice is done, or once a client was opened since
// that shutdown (libjack has then deleted the client and joined its threads).
// Our callbacks hold off that cancelling while they run (see CallbackGuard).
class ClientLife
{
public:
  // Owner's thread, by openClient.
  void opened(unsigned shutdownsBefore) { mEpoch = shutdownsBefore; }
  // The client's shutdown callback: began() first, ended() last (the object may go after it).
  static void began();
  void ended() { mShutDown.store(true); }
  // Any thread.
  bool gone() const;
  bool released() const;

private:
  unsigned mEpoch = 0;  // shutdowns heard before the client was opened
  std::atomic<bool> mShutDown{false};
};

// For the length of a callback of ours on a JACK thread: libjack cancels its threads
// asynchronously (a client deactivated or cleaned up), which inside our code would leave a
// lock taken or the server's end unmarked. The cancel waits until the callback returns.
class CallbackGuard
{
public:
  CallbackGuard();
  ~CallbackGuard();
  CallbackGuard(const CallbackGuard&) = delete;
  CallbackGuard& operator=(const CallbackGuard&) = delete;

private:
  int mState = 0;
};

// Opens a client (the server is never started for us) into *client, sets its process and
// shutdown callbacks (arg: their argument) and, with a watch, the connection and port
// registration notices that it counts, and activates it. *client is set before activation, since
// the callbacks read it; false, with *client null, when there is no server or activation failed.
// Every call that opens a client (openClient, openBareClient) counts for life.released().
bool openClient(jack_client_t** client, const std::string& name, JackProcessCallback process,
                JackShutdownCallback shutdown, ConnectionWatch* watch, void* arg, const char* what,
                ClientLife& life);

// Clients openClient has tried to open so far (each a jack_client_open). Without a server's
// socket none is tried: the port watch waits for JACK without opening a client every second.
// Any thread.
unsigned clientOpensTried();

// A plain jack_client_open (options, server name or null) for clients made outside these
// classes in this process (a test's probe of its server), counted as openClient's are; one that
// opens ends the wait before the next try of a server's entry that an open failed on.
jack_client_t* openBareClient(const char* name, jack_options_t options, const char* serverName);

// The end of an object's client: closed when libjack has not let go of it yet (alive, or gone
// with nothing opened since), else left to libjack once no cycle runs on the object. Returns
// when the object may be freed: no callback of the client reaches it any more.
void closeClient(jack_client_t* client, const ClientLife& life, const std::atomic<bool>& inCycle);

// Full names of the MIDI ports with these flags (JackPortIsInput: ports we can send to;
// JackPortIsOutput: ports we can read), as jack_get_ports lists them.
std::vector<std::string> listPorts(jack_client_t* client, unsigned long flags);

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
