#include "JackMidiClient.h"

#include "MidiBackend.h"
#include "UTIL_Module.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <pthread.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace jackmidi {

namespace {

// libjack reports through one process-wide function. While our own thread opens a client, its
// lines ("Cannot connect to server socket", ...) say in JACK's words what openClient says once in
// a musician's; everything else goes to standard error as libjack would print it.
thread_local bool tOpening = false;
std::atomic<bool> gNoServerReported{false};

void jackMessage(const char* text)
{
  if (!tOpening)
    fprintf(stderr, "%s\n", text);
}

// JACK's notices (its notification threads), counted for every ConnectionWatch (see there).
std::atomic<unsigned> gNotices{0};
// Every notice, registrations too (noticesSeen), and the registrations of each port name
// (registrations). The map only grows, by one entry per name ever registered on the server.
std::atomic<unsigned> gAllNotices{0};
std::mutex gRegisteredMutex;
std::map<std::string, unsigned> gRegistered;

void onConnection(jack_port_id_t, jack_port_id_t, int, void*)
{
  gNotices.fetch_add(1, std::memory_order_relaxed);
  gAllNotices.fetch_add(1, std::memory_order_relaxed);
}

// arg: the client the notice came to, which lives at least as long as its notification thread (a
// client whose server went away is never freed).
void onRegistration(jack_port_id_t id, int registered, void* arg)
{
  // jack_client_close cancels the notification thread, also in the middle of a notice: held off
  // here, where the thread allocates and holds a lock, the cancel takes effect once it is done.
  CallbackGuard guard;
  if (!registered)
    gNotices.fetch_add(1, std::memory_order_relaxed);
  else if (jack_port_t* port = jack_port_by_id(static_cast<jack_client_t*>(arg), id))
  {
    const char* name = jack_port_name(port);
    std::lock_guard<std::mutex> lock(gRegisteredMutex);
    ++gRegistered[name ? name : ""];
  }
  gAllNotices.fetch_add(1, std::memory_order_relaxed);
}

// The clients libjack holds for us (opened, not closed by us, not yet let go of by libjack), how
// many of their shutdown notices are done, whether a server's end was heard since the last open,
// and the owners' calls into clients now running (see ClientLife, ClientCall). gOpenMutex
// orders the opens (as libjack's own open lock would) and guards gFailedEntry; no listing, call
// or close waits on it, and an open waits for it at most kOpenTurnSeconds: a server that stops
// answering (hung, or stopped by a debugger) keeps an open inside libjack for as long as it does,
// and the opens behind it give up rather than wait with it (the window's thread choosing a port
// among them).
std::atomic<int> gHeld{0};
std::atomic<int> gNoticesEnded{0};
std::atomic<int> gNoticeThreadsEnded{0};
std::atomic<bool> gServerEnded{false};
std::atomic<int> gCalls{0};
std::mutex gOpenMutex;
const int kOpenTurnSeconds = 15;
std::atomic<bool> gHungOpenReported{false};
int64_t gEndSeenNs = 0;  // when an open first saw a server's end (gOpenMutex)

int64_t steadyNs()
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Waiting for a server cheaply. jackd 1.9 listens on /dev/shm/jack_<server>_<uid>_0 (the server
// JACK_DEFAULT_SERVER names, else "default"); without that entry no client can open, so none is
// tried (an attempt maps JACK's shared memory and opens its metadata store, and every second of
// a machine without JACK added to the editor's resident size). An entry an attempt failed on (a
// server still starting, or one killed that left it) is tried again after 1, 2, 4 ... 32 s, and
// at once when the entry is made anew. gOpenMutex.
struct FailedEntry
{
  bool failed = false;
  dev_t dev = 0;
  ino_t ino = 0;
  struct timespec changed = {0, 0};
  std::chrono::steady_clock::time_point retry;
  int backoffSeconds = 0;
};
FailedEntry gFailedEntry;
std::atomic<unsigned> gOpensTried{0};

std::string serverSocketPath()
{
  const char* server = getenv("JACK_DEFAULT_SERVER");
  return std::string("/dev/shm/jack_") + (server && *server ? server : "default") + "_" +
         std::to_string((unsigned)getuid()) + "_0";
}

// gOpenMutex held. Whether to try a client now; *entry: the server's entry as seen.
bool serverMayAnswer(struct stat* entry)
{
  if (stat(serverSocketPath().c_str(), entry) != 0)
    return false;
  const FailedEntry& f = gFailedEntry;
  const bool same = f.failed && f.dev == entry->st_dev && f.ino == entry->st_ino &&
                    f.changed.tv_sec == entry->st_ctim.tv_sec && f.changed.tv_nsec == entry->st_ctim.tv_nsec;
  return !same || std::chrono::steady_clock::now() >= f.retry;
}

// gOpenMutex held: the outcome of an attempt on entry.
void noteAttempt(bool opened, const struct stat& entry)
{
  FailedEntry& f = gFailedEntry;
  if (opened)
  {
    f = FailedEntry();
    return;
  }
  const bool same = f.failed && f.dev == entry.st_dev && f.ino == entry.st_ino;
  f.backoffSeconds = same ? std::min(32, f.backoffSeconds * 2) : 1;
  f.failed = true;
  f.dev = entry.st_dev;
  f.ino = entry.st_ino;
  f.changed = entry.st_ctim;
  f.retry = std::chrono::steady_clock::now() + std::chrono::seconds(f.backoffSeconds);
}

// The servers' entries of the clients libjack holds, one per client, as they were when it opened.
// libjack marks a server's end as the first of its clients hears it, before our shutdown
// callback runs: an entry gone or made anew is how an open sees that end before any callback.
std::mutex gHeldMutex;  // a leaf: nothing else is done while it is held
std::vector<ServerEntry> gHeldServers;

bool heldServerEnded()
{
  std::lock_guard<std::mutex> lock(gHeldMutex);
  return std::any_of(gHeldServers.begin(), gHeldServers.end(), [](const ServerEntry& e) { return e.ended(); });
}

// gOpenMutex held. Whether jack_client_open may be called now; *letsGo: that open lets libjack
// go of every client it holds (a server's end was heard since the last open). Not while a
// shutdown notice runs, nor before the owners' calls into those clients have returned (the
// clients are gone, so none starts; those running get a second).
bool mayOpen(bool* letsGo)
{
  *letsGo = gServerEnded.load() || heldServerEnded();
  if (!*letsGo)
    return true;
  // Every notice done and its thread ended. Not for more than five seconds after the end was
  // first seen here: something else holds the server's socket open (a program started since), or
  // libjack let go of a client before its notice (an open of ours came between libjack's noting
  // the end and our callbacks), or its server still runs.
  const int64_t now = steadyNs();
  if (!gEndSeenNs)
    gEndSeenNs = now;
  const int held = gHeld.load();
  if ((gNoticesEnded.load() != held || gNoticeThreadsEnded.load() < held) && now - gEndSeenNs < 5000000000LL)
    return false;
  for (int ms = 0; gCalls.load() > 0; ++ms)
  {
    if (ms >= 1000)
      return false;
    timespec ts{0, 1000000L};
    nanosleep(&ts, nullptr);
  }
  return true;
}

// gOpenMutex held: after a jack_client_open, before its client is held.
void noteOpen(bool letGo)
{
  if (!letGo)
    return;
  gHeld.store(0);
  gNoticesEnded.store(0);
  gNoticeThreadsEnded.store(0);
  gServerEnded.store(false);
  gEndSeenNs = 0;
  std::lock_guard<std::mutex> lock(gHeldMutex);
  gHeldServers.clear();
}

// Holds gOpenMutex for its scope once taken; false when an open ahead of it has not returned
// within kOpenTurnSeconds (said once until an open goes through again). Tried every millisecond:
// the sanitizers see a plain try, not every timed lock.
class OpenTurn
{
public:
  OpenTurn()
  {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(kOpenTurnSeconds);
    while (!(mTaken = gOpenMutex.try_lock()) && std::chrono::steady_clock::now() < until)
    {
      timespec ts{0, 1000000L};
      nanosleep(&ts, nullptr);
    }
    if (!mTaken && !gHungOpenReported.exchange(true))
      fprintf(stderr, "MIDI PORTS: %s: no client is opened until it does\n", kOpenHungText);
  }
  ~OpenTurn()
  {
    if (!mTaken)
      return;
    gHungOpenReported.store(false);  // no open was left inside libjack
    gOpenMutex.unlock();
  }
  OpenTurn(const OpenTurn&) = delete;
  OpenTurn& operator=(const OpenTurn&) = delete;
  explicit operator bool() const { return mTaken; }

private:
  bool mTaken = false;
};

}  // namespace

static_assert(kOpenTurnSeconds == 15, "kOpenHungText names the wait");
const char* const kOpenHungText = "JACK has not returned from opening a client for 15 s (is its server hung?)";

bool openHung()
{
  return gHungOpenReported.load();
}

HeldClients heldClients()
{
  HeldClients c;
  c.held = gHeld.load();
  c.noticesEnded = gNoticesEnded.load();
  c.noticeThreadsEnded = gNoticeThreadsEnded.load();
  return c;
}

unsigned clientOpensTried()
{
  return gOpensTried.load();
}

// The thread a shutdown notice came on (the client's notification thread) counts in
// gNoticeThreadsEnded as it ends: libjack may go on handling other notices on it after ours (the
// server's other clients leaving), under its own lock, until the server's socket closes.
struct NoticeThreadEnd
{
  bool counts = false;
  ~NoticeThreadEnd()
  {
    if (counts)
      ++gNoticeThreadsEnded;
  }
};
thread_local NoticeThreadEnd tNoticeThreadEnd;

void ClientLife::began()
{
  tNoticeThreadEnd.counts = true;
  mGone.store(true);
  gServerEnded.store(true);
}

void ClientLife::ended()
{
  // Counted here or by hold(), whichever sees the other (both sequentially consistent), once.
  if (mHeld.load() && !mCounted.exchange(true))
    ++gNoticesEnded;
  // The last access: the owner may free the object once it is marked.
  mEnded.store(true);
}

bool ServerEntry::ended() const
{
  struct stat now;
  return stat(path.c_str(), &now) != 0 || now.st_dev != dev || now.st_ino != ino;
}

void ClientLife::hold(const std::string& serverPath, const struct stat& entry)
{
  mServer = {serverPath, entry.st_dev, entry.st_ino};
  {
    std::lock_guard<std::mutex> lock(gHeldMutex);
    gHeldServers.push_back(mServer);
  }
  mHeld.store(true);
  ++gHeld;
  if (mEnded.load() && !mCounted.exchange(true))
    ++gNoticesEnded;
}

void ClientLife::letGo()
{
  if (!mHeld.exchange(false))
    return;
  --gHeld;
  // The close ended the notification thread; one that had a shutdown notice counted as it went.
  if (mGone.load())
    --gNoticeThreadsEnded;
  if (mCounted.load())
    --gNoticesEnded;
  std::lock_guard<std::mutex> lock(gHeldMutex);
  const auto it = std::find_if(gHeldServers.begin(), gHeldServers.end(),
                               [&](const ServerEntry& e) { return e.ino == mServer.ino && e.dev == mServer.dev; });
  if (it != gHeldServers.end())
    gHeldServers.erase(it);
}

ClientCall::ClientCall(const ClientLife& life)
{
  // Counted before the look at the life: an open that lets libjack free the client saw the
  // client gone after this count, or waits for it to fall (both sequentially consistent).
  ++gCalls;
  mMay = !life.gone();
}

ClientCall::~ClientCall()
{
  --gCalls;
}

CallbackGuard::CallbackGuard()
{
  pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &mState);
}

CallbackGuard::~CallbackGuard() noexcept(false)
{
  pthread_setcancelstate(mState, nullptr);
}

void CycleWatch::start(jack_client_t* client)
{
  mLastFrame.store(jack_last_frame_time(client));
}

void CycleWatch::cycle(jack_client_t* client)
{
  mLastFrame.store(jack_last_frame_time(client));
  mCycles.fetch_add(1);
}

bool CycleWatch::stalled(jack_client_t* client, double seconds) const
{
  // The frame counter wraps: differences only.
  const int32_t behind = (int32_t)(jack_last_frame_time(client) - mLastFrame.load());
  const jack_nframes_t rate = jack_get_sample_rate(client);
  return rate && behind > (int32_t)(seconds * rate);
}

bool CycleWatch::waitFor(jack_client_t* client, const ClientLife& life, unsigned count) const
{
  const unsigned before = cycles();
  const jack_nframes_t serverBefore = jack_last_frame_time(client);
  for (int ms = 0; cycles() - before < count; ++ms)
  {
    if (life.gone() || ms >= 1000 || (ms >= 200 && jack_last_frame_time(client) == serverBefore) || stalled(client))
      return false;
    timespec ts{0, 1000000L};
    nanosleep(&ts, nullptr);
  }
  return true;
}

void ConnectionWatch::update(jack_port_t* port, std::atomic<bool>& lost)
{
  if (port != mPort)
  {
    mPort = port;
    mConnected = mLost = false;
    mCarrying.store(nullptr);
  }
  const unsigned notices = gNotices.load(std::memory_order_relaxed);
  if (notices != mNoticesSeen)
  {
    // About a second of cycles: the switch to the new graph comes within a few.
    mNoticesSeen = notices;
    const jack_nframes_t rate = jack_get_sample_rate(mClient), period = jack_get_buffer_size(mClient);
    mCyclesToCheck = period ? std::max<int>(8, (int)(rate / period)) : 8;
  }
  if (!port || (mConnected && mCyclesToCheck <= 0))
    return;
  if (mCyclesToCheck > 0)
    --mCyclesToCheck;
  const bool connected = jack_port_connected(port) > 0;
  if (connected == mConnected)
    return;
  mConnected = connected;
  mCarrying.store(connected ? port : nullptr);
  if (!connected)
  {
    mLost = true;
    lost.store(true);
  }
  else if (mLost)
  {
    mLost = false;
    lost.store(false);
  }
}

void ConnectionWatch::waitUntilCarrying(jack_port_t* port, const ClientLife& life) const
{
  for (int ms = 0; ms < 200 && !carries(port) && !life.gone(); ++ms)
  {
    timespec ts{0, 1000000L};
    nanosleep(&ts, nullptr);
  }
}

unsigned noticesSeen()
{
  return gAllNotices.load(std::memory_order_relaxed);
}

unsigned registrations(const std::string& fullName)
{
  std::lock_guard<std::mutex> lock(gRegisteredMutex);
  const auto it = gRegistered.find(fullName);
  return it == gRegistered.end() ? 0 : it->second;
}

void Peer::found(const std::string& fullName)
{
  mName = fullName;
  settle();
}

void Peer::settle()
{
  mRegistrations = registrations(mName);
}

bool Peer::registeredAgain() const
{
  return mName.empty() || registrations(mName) != mRegistrations;
}

bool openClient(jack_client_t** client, const std::string& name, JackProcessCallback process,
                JackShutdownCallback shutdown, ConnectionWatch* watch, void* arg, const char* what,
                ClientLife& life)
{
  static std::once_flag installed;
  std::call_once(installed, [] {
    // libjack keeps the functions for the life of the process; the module that holds them (the
    // plug-in's bundle) must then never be unloaded under it.
    if (UTIL_KeepModuleLoaded(reinterpret_cast<const void*>(&jackMessage)))
    {
      jack_set_error_function(jackMessage);
      jack_set_info_function(jackMessage);
    }
  });
  jack_status_t status;
  tOpening = true;
  *client = nullptr;
  bool hung = false;
  {
    OpenTurn turn;
    hung = !turn;
    struct stat entry;
    bool letGo = false;
    if (turn && serverMayAnswer(&entry) && mayOpen(&letGo))
    {
      ++gOpensTried;
      *client = jack_client_open(name.c_str(), JackNoStartServer, &status);
      noteOpen(letGo);
      if (*client)
        life.hold(serverSocketPath(), entry);
      noteAttempt(*client != nullptr, entry);
    }
  }
  tOpening = false;
  if (!*client)
  {
    // Said once until a server is found: the input and the output and every new listing ask.
    if (!hung && !gNoServerReported.exchange(true))
      fprintf(stderr,
              "MIDI PORTS: no JACK server is running (and no ALSA sequencer was found), so there are no MIDI "
              "ports to choose. Start JACK (see the README): the editor finds it within a second.\n");
    return false;
  }
  gNoServerReported.store(false);
  jack_set_process_callback(*client, process, arg);
  jack_on_shutdown(*client, shutdown, arg);
  if (watch)
  {
    watch->mClient = *client;
    jack_set_port_connect_callback(*client, onConnection, nullptr);
    jack_set_port_registration_callback(*client, onRegistration, *client);
  }
  if (jack_activate(*client) != 0)
  {
    fprintf(stderr, "MIDI PORTS: creating the JACK %s failed: the client could not be activated\n", what);
    std::atomic<bool> noCycle{false};
    closeClient(*client, life, noCycle);
    *client = nullptr;
    return false;
  }
  return true;
}

jack_client_t* openBareClient(const char* name, jack_options_t options, const char* serverName)
{
  OpenTurn turn;
  bool letGo = false;
  if (!turn || !mayOpen(&letGo))
    return nullptr;
  jack_status_t status;
  jack_client_t* client = serverName
                              ? jack_client_open(name, (jack_options_t)(options | JackServerName), &status, serverName)
                              : jack_client_open(name, options, &status);
  noteOpen(letGo);
  // A server answered: an entry an earlier attempt failed on (this server while it was still
  // starting) is tried at the next open, not after its wait.
  if (client)
    gFailedEntry = FailedEntry();
  return client;
}

void closeClient(jack_client_t* client, ClientLife& life, const std::atomic<bool>& inCycle)
{
  // A server whose entry went is ending: its notices, ours still to come, may be running.
  if (!life.gone() && !(life.mHeld.load() && life.mServer.ended()))
  {
    // Deactivating ends the callbacks (and waits for a running one) before the client goes.
    jack_deactivate(client);
    jack_client_close(client);
    life.letGo();
    return;
  }
  // Left to libjack. Its notice, on its way since the server went, touches the object.
  for (int ms = 0; !life.mayGo() && ms < 5000; ++ms)
  {
    timespec ts{0, 1000000L};
    nanosleep(&ts, nullptr);
  }
  if (!life.mayGo())
    fprintf(stderr, "MIDI PORTS: JACK never told a client of ours that its server went away\n");
  // Its process thread gets no more cycles, but one may still be running on the object.
  waitForCycleEnd(inCycle);
}

std::vector<std::string> listPorts(jack_client_t* client, const ClientLife& life, unsigned long flags)
{
  std::vector<std::string> names;
  const char** ports = nullptr;
  if (ClientCall call{life})
    ports = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
  for (const char** p = ports; p && *p; ++p)
    names.push_back(*p);
  jack_free(ports);
  return names;
}

jack_port_t* registerPort(jack_client_t* client, const char* ownName, unsigned long flags, const char* what)
{
  jack_port_t* port = jack_port_register(client, ownName, JACK_DEFAULT_MIDI_TYPE, flags, 0);
  if (!port)
    fprintf(stderr, "MIDI PORTS: opening the %s failed: JACK refused the port \"%s\"\n", what, ownName);
  return port;
}

bool openPort(jack_client_t* client, const std::string& portName, const char* ownName, unsigned long flags,
              const char* what, std::atomic<jack_port_t*>& port, const std::atomic<bool>& inCycle,
              const ClientLife& life, Peer& peer)
{
  // Looked up afresh: ports come and go, and ALSA-bridged names change their numbers. Ours sends
  // to an input or reads an output.
  const bool oursSends = (flags & JackPortIsOutput) != 0;
  const std::vector<std::string> names = listPorts(client, life, oursSends ? JackPortIsInput : JackPortIsOutput);
  const int found = MidiFindPortName(names, portName);
  if (found < 0)
  {
    fprintf(stderr, "MIDI PORTS: opening the %s: no port named \"%s\"\n", what, portName.c_str());
    return false;
  }
  const std::string& other = names[(size_t)found];
  peer.found(other);
  jack_port_t* ours = registerPort(client, ownName, flags, what);
  if (!ours)
    return false;
  port.store(ours, std::memory_order_release);
  const char* own = jack_port_name(ours);
  if (jack_connect(client, oursSends ? own : other.c_str(), oursSends ? other.c_str() : own) != 0)
  {
    fprintf(stderr, "MIDI PORTS: opening the %s failed: could not connect to \"%s\"\n", what, other.c_str());
    releasePort(client, port, inCycle, life);
    return false;
  }
  return true;
}

void waitForCycleEnd(const std::atomic<bool>& inCycle)
{
  while (inCycle.load())
  {
    timespec ts{0, 1000000L};
    nanosleep(&ts, nullptr);
  }
}

void releasePort(jack_client_t* client, std::atomic<jack_port_t*>& port, const std::atomic<bool>& inCycle,
                 const ClientLife& life)
{
  jack_port_t* taken = port.exchange(nullptr);
  if (!taken)
    return;
  waitForCycleEnd(inCycle);
  if (!life.gone())
    jack_port_unregister(client, taken);
}

}  // namespace jackmidi
