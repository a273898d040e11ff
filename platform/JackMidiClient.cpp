#include "JackMidiClient.h"

#include "MidiBackend.h"
#include "UTIL_Module.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
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
std::atomic<unsigned> gServerEnds{0};
std::atomic<unsigned> gLateCycles{0};
std::mutex gRegisteredMutex;
std::map<std::string, unsigned> gRegistered;

void onConnection(jack_port_id_t, jack_port_id_t, int, void*)
{
  gNotices.fetch_add(1, std::memory_order_relaxed);
  gAllNotices.fetch_add(1, std::memory_order_relaxed);
}

int onXrun(void*)
{
  gLateCycles.fetch_add(1, std::memory_order_relaxed);
  return 0;
}

// arg: the Client the notice came to, which lives as long as libjack may call it.
void onRegistration(jack_port_id_t id, int registered, void* arg)
{
  // jack_client_close cancels the notification thread, also in the middle of a notice: held off
  // here, where the thread allocates and holds a lock, the cancel takes effect once it is done.
  CallbackGuard guard;
  if (!registered)
    gNotices.fetch_add(1, std::memory_order_relaxed);
  else if (jack_port_t* port = jack_port_by_id(static_cast<Client*>(arg)->handle(), id))
  {
    const char* name = jack_port_name(port);
    std::lock_guard<std::mutex> lock(gRegisteredMutex);
    ++gRegistered[name ? name : ""];
  }
  gAllNotices.fetch_add(1, std::memory_order_relaxed);
}

// gOpenMutex orders our opens (as libjack's own open lock would) and guards gFailedEntry; no
// listing, call or close waits on it, and an open waits for it at most kOpenTurnSeconds: a server
// that stops answering (hung, or stopped by a debugger) keeps an open inside libjack for as long
// as it does, and the opens behind it give up rather than wait with it (the window's thread
// choosing a port among them).
std::mutex gOpenMutex;
const int kOpenTurnSeconds = 15;
std::atomic<bool> gHungOpenReported{false};
std::atomic<unsigned> gOpensTried{0};

long long steadyNs()
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void sleepMs(long ms)
{
  timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&ts, nullptr);
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

std::string serverName()
{
  const char* server = getenv("JACK_DEFAULT_SERVER");
  return server && *server ? server : "default";
}

std::string serverSocketPath()
{
  return "/dev/shm/jack_" + serverName() + "_" + std::to_string((unsigned)getuid()) + "_0";
}

// libjack keeps one table of wake-up objects per process, by client number: each client's own,
// and those of the clients its cycles wake. The notice that a client left closes its entry, but
// a client of ours that is still opening drops that notice. When no other client of the process
// hears it, the entry stays on the departed client's object, and the next client given its
// number (the synth's input as JACK comes back, woken by our output) is woken on that object and
// never runs. The server removes a departed client's object, so one that stays mapped here
// (beyond the moment our notices take) names such an entry. Until the process closes its last
// client, libjack keeps the table.
bool wakesADepartedClient(jack_client_t* handle)
{
  {
    // The server takes requests in turn: once it answered this one, a leave it had begun is done.
    ClientCall blockSigpipe(nullptr);
    jack_free(jack_get_uuid_for_client_name(handle, jack_get_client_name(handle)));
  }
  const std::string prefix = "/dev/shm/jack_sem." + std::to_string((unsigned)getuid()) + "_" + serverName() + "_";
  auto mapped = [&prefix] {
    bool found = false;
    if (FILE* maps = fopen("/proc/self/maps", "r"))
    {
      char line[4096];
      while (!found && fgets(line, sizeof line, maps))
        found = strstr(line, prefix.c_str()) && strstr(line, " (deleted)\n");
      fclose(maps);
    }
    return found;
  };
  for (int ms = 0; mapped(); ++ms, sleepMs(1))
    if (ms >= 100)
      return true;
  return false;
}

// gOpenMutex held. Whether to try a client now; *entry: the server's entry as seen.
bool serverMayAnswer(const std::string& path, struct stat* entry)
{
  if (stat(path.c_str(), entry) != 0)
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


// The thread a shutdown notice came on (the client's notification thread) marks its client as
// it ends: libjack may go on handling other notices on it after ours (the server's other clients
// leaving), under its own lock, until the server's socket closes.
struct NoticeThread
{
  Client* client = nullptr;
  ~NoticeThread();
};
thread_local NoticeThread tNoticeThread;

}  // namespace

static_assert(kOpenTurnSeconds == 15, "kOpenHungText names the wait");
const char* const kOpenHungText = "JACK has not returned from opening a client for 15 s (is its server hung?)";

bool openHung()
{
  return gHungOpenReported.load();
}

unsigned clientOpensTried()
{
  return gOpensTried.load();
}

bool ServerEntry::ended() const
{
  struct stat now;
  return stat(path.c_str(), &now) != 0 || now.st_dev != dev || now.st_ino != ino;
}

// A callback inside the client's owner, for its length (see Client::quiesce).
class Entered
{
public:
  explicit Entered(Client* client) : mClient(client)
  {
    mClient->mInOwner.fetch_add(1);
    mOwner = mClient->mOwner.load();
  }
  ~Entered() { mClient->mInOwner.fetch_sub(1); }
  Entered(const Entered&) = delete;
  Entered& operator=(const Entered&) = delete;
  ClientOwner* owner() const { return mOwner; }

private:
  Client* mClient;
  ClientOwner* mOwner;
};

// Every client of ours that libjack may still call: open (ours to close), or dead and not yet let
// go of by an open, or left to libjack (see JackMidiClient.h; never freed: libjack frees its
// client at an open we do not see the end of). The lock is a leaf: no call into libjack is made
// while it is held.
struct ClientRegistry
{
  static std::mutex& lock()
  {
    static std::mutex m;
    return m;
  }
  static std::vector<Client*>& all()
  {
    static std::vector<Client*>* v = new std::vector<Client*>;  // outlives every static destructor
    return *v;
  }
  static std::vector<Client*>& left()
  {
    static std::vector<Client*>* v = new std::vector<Client*>;
    return *v;
  }

  // Waits (at most a second) until no call of the owner's is inside c: new ones are refused by
  // now (its server went away, or it was left to libjack).
  static bool callsDone(const Client* c)
  {
    for (int ms = 0; c->mCalls.load() > 0; ++ms)
    {
      if (ms >= 1000)
        return false;
      sleepMs(1);
    }
    return true;
  }

  // c's server runs and its owner let go (its close taken on: mClosing): deactivated, which waits
  // for a running cycle, closed, which ends its threads, and freed.
  static void close(Client* c)
  {
    {
      ClientCall blockSigpipe(nullptr);
      jack_deactivate(c->mHandle);
      jack_client_close(c->mHandle);
    }
    std::lock_guard<std::mutex> g(lock());
    forget(c);
    delete c;
  }

  // The registry's lock held.
  static void forget(Client* c)
  {
    std::vector<Client*>& v = all();
    v.erase(std::remove(v.begin(), v.end(), c), v.end());
  }

  static void noticeThreadEnded(Client* c) { c->mNoticeThreadEnded.store(true); }

  // gOpenMutex held, before jack_client_open. Whether it may be called now; true also hands every
  // client of an ended server to libjack, which frees them in that open. Not before each has had
  // its shutdown notice and its notification thread has ended (libjack would cancel it, maybe
  // inside its lock of the notices), and no close of ours runs beside it; a client whose notices
  // do not end within kLeaveAfterNs goes all the same (said once).
  static bool mayOpen()
  {
    const long long now = steadyNs();
    std::vector<Client*> dead;
    bool blocked = false, late = false;
    {
      std::lock_guard<std::mutex> g(lock());
      for (Client* c : all())
      {
        if (c->mClosing)
          blocked = true;  // libjack would free it in this open
        else if (c->serverGone())
        {
          dead.push_back(c);
          if (!c->mEndSeenNs)
            c->mEndSeenNs = now;
          if (!c->mGone.load() || !c->mNoticeThreadEnded.load())
          {
            late = late || now - c->mEndSeenNs >= kLeaveAfterNs;
            blocked = blocked || now - c->mEndSeenNs < kLeaveAfterNs;
          }
        }
      }
      if (blocked)
        return false;
      for (Client* c : dead)
      {
        c->mLeft.store(true);
        forget(c);
        left().push_back(c);
      }
    }
    if (late)
      fprintf(stderr, "MIDI PORTS: JACK did not end the notices of a client whose server went away within %d s; "
                      "libjack lets go of it now\n", (int)(kLeaveAfterNs / 1000000000LL));
    // Refused from now on; those running end before libjack frees the client.
    for (Client* c : dead)
      callsDone(c);
    return true;
  }

  static ClientCounts counts()
  {
    ClientCounts n;
    std::lock_guard<std::mutex> g(lock());
    for (const Client* c : all())
    {
      ++n.open;
      n.dead += c->serverGone();
    }
    n.leftToLibjack = (int)left().size();
    return n;
  }

  static const long long kLeaveAfterNs = 5000000000LL;
};

namespace {

NoticeThread::~NoticeThread()
{
  if (client)
    ClientRegistry::noticeThreadEnded(client);
}

}  // namespace

ClientCounts clientCounts()
{
  return ClientRegistry::counts();
}

ClientCall::ClientCall(const Client* client) : mClient(client)
{
  // Counted before the look at the client: a close sees the count, or the call sees the client
  // refused (both sequentially consistent).
  if (mClient)
    mClient->mCalls.fetch_add(1);
  mMay = mClient && !mClient->mGone.load() && !mClient->mLeft.load();
  sigset_t pipe, old;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, &old);
  mBlocked = !sigismember(&old, SIGPIPE);
}

ClientCall::~ClientCall()
{
  if (mBlocked)
  {
    // A SIGPIPE raised meanwhile is taken here rather than delivered once unblocked.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    const timespec now{0, 0};
    while (sigtimedwait(&pipe, nullptr, &now) > 0)
    {
    }
    pthread_sigmask(SIG_UNBLOCK, &pipe, nullptr);
  }
  if (mClient)
    mClient->mCalls.fetch_sub(1);
}

CallbackGuard::CallbackGuard()
{
  pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &mState);
}

CallbackGuard::~CallbackGuard() noexcept(false)
{
  pthread_setcancelstate(mState, nullptr);
}

int Client::process(jack_nframes_t nframes, void* arg)
{
  CallbackGuard guard;  // first in, last out: see there
  Client* c = static_cast<Client*>(arg);
  {
    Entered in(c);
    if (in.owner())
      in.owner()->cycle(c->mHandle, nframes);
  }
  c->mCycles.fetch_add(1);
  return 0;
}

void Client::shutdown(void* arg)
{
  CallbackGuard guard;
  Client* c = static_cast<Client*>(arg);
  // On the notification thread, whose end then lets the client be closed (see NoticeThread).
  // libjack also ends a client from its process thread when its wake-up object fails: that
  // thread ends only with the close, so the client is then left to libjack (ClientRegistry).
  if (!pthread_equal(jack_client_thread_id(c->mHandle), pthread_self()))
    tNoticeThread.client = c;
  c->mGone.store(true);
  {
    Entered in(c);
    if (in.owner())
      in.owner()->serverEnded();
  }
  gServerEnds.fetch_add(1);
  gAllNotices.fetch_add(1);  // the port watch looks at once
}

bool Client::waitUntil(const std::function<bool()>& done) const
{
  ClientCall call(this);
  if (!call)
    return false;
  const jack_nframes_t serverBefore = jack_last_frame_time(mHandle);
  for (int ms = 0; !done(); ++ms)
  {
    if (mGone.load() || ms >= 1000 || (ms >= 200 && jack_last_frame_time(mHandle) == serverBefore))
      return false;
    sleepMs(1);
  }
  return true;
}

bool Client::waitForCycles(unsigned count) const
{
  const unsigned before = cycles();
  return waitUntil([&] { return cycles() - before >= count; });
}

void Client::quiesce() const
{
  while (mInOwner.load() > 0)
    sleepMs(1);
}

Client* Client::open(const std::string& name, ClientOwner* owner, ConnectionWatch* watch, const char* what)
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
  Client* c = nullptr;
  bool noServer = false;
  tOpening = true;
  {
    OpenTurn turn;
    struct stat before;
    const std::string path = serverSocketPath();
    if (turn && !serverMayAnswer(path, &before))
      noServer = true;
    else if (turn && ClientRegistry::mayOpen())
    {
      const bool alone = ClientRegistry::counts().open == 0;
      ++gOpensTried;
      jack_status_t status;
      jack_client_t* handle = jack_client_open(name.c_str(), JackNoStartServer, &status);
      if (handle && alone && wakesADepartedClient(handle))
      {
        // Closed as the process's last client, libjack drops its table; the open starts afresh.
        fprintf(stderr, "MIDI PORTS: a JACK client left while the %s's client opened, which libjack missed; "
                        "opening it again\n", what);
        {
          ClientCall blockSigpipe(nullptr);
          jack_client_close(handle);
        }
        handle = jack_client_open(name.c_str(), JackNoStartServer, &status);
        if (handle && wakesADepartedClient(handle))
          fprintf(stderr, "MIDI PORTS: libjack still wakes a JACK client that left (another client of this "
                          "program holds its table): the client given its number may not run\n");
      }
      noteAttempt(handle != nullptr, before);
      noServer = !handle;
      const ServerEntry entry{path, before.st_dev, before.st_ino};
      if (handle && entry.ended())
      {
        // The server was replaced while the client opened: which of the two holds it is unknown.
        fprintf(stderr, "MIDI PORTS: the JACK server was restarted while the %s's client opened; trying again\n", what);
        ClientCall blockSigpipe(nullptr);
        jack_client_close(handle);
        handle = nullptr;
      }
      if (handle)
      {
        c = new Client;
        c->mHandle = handle;
        c->mServer = entry;
        c->mOwner.store(owner);
        std::lock_guard<std::mutex> g(ClientRegistry::lock());
        ClientRegistry::all().push_back(c);
      }
    }
  }
  tOpening = false;
  if (!c)
  {
    // Said once until a server is found: the input and the output and every new listing ask.
    if (noServer && !gNoServerReported.exchange(true))
      fprintf(stderr,
              "MIDI PORTS: no JACK server is running (and no ALSA sequencer was found), so there are no MIDI "
              "ports to choose. Start JACK (see the README): the editor finds it within a second.\n");
    return nullptr;
  }
  gNoServerReported.store(false);
  jack_set_process_callback(c->mHandle, &Client::process, c);
  jack_on_shutdown(c->mHandle, &Client::shutdown, c);
  jack_set_xrun_callback(c->mHandle, onXrun, nullptr);
  if (watch)
  {
    watch->mClient = c->mHandle;
    jack_set_port_connect_callback(c->mHandle, onConnection, nullptr);
    jack_set_port_registration_callback(c->mHandle, onRegistration, c);
  }
  int activated = -1;
  if (ClientCall call{c})
    activated = jack_activate(c->mHandle);
  if (activated != 0)
  {
    fprintf(stderr, "MIDI PORTS: creating the JACK %s failed: the client could not be activated\n", what);
    release(c);
    return nullptr;
  }
  return c;
}

void Client::release(Client* c)
{
  if (!c)
    return;
  c->mOwner.store(nullptr);
  c->quiesce();
  {
    std::lock_guard<std::mutex> g(ClientRegistry::lock());
    // Dead, or let go of: libjack frees it at an open (see JackMidiClient.h).
    if (c->mLeft.load() || c->serverGone())
      return;
    c->mClosing = true;
  }
  ClientRegistry::close(c);
}

jack_client_t* openBareClient(const char* name, jack_options_t options, const char* serverName)
{
  OpenTurn turn;
  if (!turn || !ClientRegistry::mayOpen())
    return nullptr;
  jack_status_t status;
  jack_client_t* client = serverName
                              ? jack_client_open(name, (jack_options_t)(options | JackServerName), &status, serverName)
                              : jack_client_open(name, options, &status);
  // A server answered: an entry an earlier attempt failed on (this server while it was still
  // starting) is tried at the next open, not after its wait.
  if (client)
    gFailedEntry = FailedEntry();
  return client;
}

bool CycleClock::earlier(const Record& a, const Record& b) const
{
  const int64_t frames = (int32_t)(b.frame - a.frame);
  return a.ns + frames * 1000000000LL / mRate < b.ns;
}

void CycleClock::observe(jack_nframes_t cycleStart, jack_nframes_t rate, int64_t ns)
{
  if (!rate)
    return;
  const Record seen{cycleStart, ns};
  const bool first = mRate != rate;
  mRate = rate;
  // The window in two parts of an eighth of a second, the best of the part before staying until
  // this part ends. Parts begin at whole multiples of their length: every client of the server
  // moves to its next record at the same frames, so clients' records agree however the server
  // loses frames.
  const jack_nframes_t part = cycleStart / (rate / 8);
  if (first || part != mPart)
  {
    mPrevious = first ? seen : mBest;
    mBest = seen;
    mPart = part;
  }
  else if (earlier(seen, mBest))
    mBest = seen;
  const Record& use = earlier(mPrevious, mBest) ? mPrevious : mBest;
  const uint32_t seq = mSeq.load(std::memory_order_relaxed);
  mSeq.store(seq + 1, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_release);
  mFrame.store(use.frame, std::memory_order_relaxed);
  mNs.store(use.ns, std::memory_order_relaxed);
  mPublishedRate.store(rate, std::memory_order_relaxed);
  mSeq.store(seq + 2, std::memory_order_release);
}

bool CycleClock::read(Record* r, jack_nframes_t* rate) const
{
  for (;;)
  {
    const uint32_t before = mSeq.load(std::memory_order_acquire);
    if (!before)
      return false;
    r->frame = mFrame.load(std::memory_order_relaxed);
    r->ns = mNs.load(std::memory_order_relaxed);
    *rate = mPublishedRate.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (!(before & 1) && mSeq.load(std::memory_order_relaxed) == before)
      return true;
  }
}

jack_nframes_t CycleClock::frameAt(int64_t ns) const
{
  Record r;
  jack_nframes_t rate = 0;
  if (!read(&r, &rate))
    return 0;
  const int64_t ahead = ns - r.ns;  // frames from the record, rounded to the nearest
  const int64_t frames = (ahead * rate + (ahead < 0 ? -500000000LL : 500000000LL)) / 1000000000LL;
  return r.frame + (jack_nframes_t)frames;
}

int64_t CycleClock::timeOf(jack_nframes_t frame) const
{
  Record r;
  jack_nframes_t rate = 0;
  if (!read(&r, &rate))
    return 0;
  return r.ns + (int64_t)(int32_t)(frame - r.frame) * 1000000000LL / rate;
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

bool ConnectionWatch::waitUntilCarrying(jack_port_t* port, const Client& client) const
{
  return client.waitUntil([&] { return carries(port); });
}

unsigned noticesSeen()
{
  return gAllNotices.load(std::memory_order_relaxed);
}

unsigned lateCyclesHeard()
{
  return gLateCycles.load(std::memory_order_relaxed);
}

unsigned serverEndsHeard()
{
  return gServerEnds.load();
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

std::vector<std::string> listPorts(const Client& client, unsigned long flags)
{
  std::vector<std::string> names;
  const char** ports = nullptr;
  if (ClientCall call{&client})
    ports = jack_get_ports(client.handle(), nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
  for (const char** p = ports; p && *p; ++p)
    names.push_back(*p);
  jack_free(ports);
  return names;
}

jack_port_t* registerPort(const Client& client, const char* ownName, unsigned long flags, const char* what)
{
  jack_port_t* port = jack_port_register(client.handle(), ownName, JACK_DEFAULT_MIDI_TYPE, flags, 0);
  if (!port)
    fprintf(stderr, "MIDI PORTS: opening the %s failed: JACK refused the port \"%s\"\n", what, ownName);
  return port;
}

bool openPort(const Client& client, const std::string& portName, const char* ownName, unsigned long flags,
              const char* what, std::atomic<jack_port_t*>& port, Peer& peer)
{
  // Looked up afresh: ports come and go, and ALSA-bridged names change their numbers. Ours sends
  // to an input or reads an output.
  const bool oursSends = (flags & JackPortIsOutput) != 0;
  const std::vector<std::string> names = listPorts(client, oursSends ? JackPortIsInput : JackPortIsOutput);
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
  if (jack_connect(client.handle(), oursSends ? own : other.c_str(), oursSends ? other.c_str() : own) != 0)
  {
    fprintf(stderr, "MIDI PORTS: opening the %s failed: could not connect to \"%s\"\n", what, other.c_str());
    releasePort(client, port);
    return false;
  }
  return true;
}

void releasePort(const Client& client, std::atomic<jack_port_t*>& port)
{
  jack_port_t* taken = port.exchange(nullptr);
  if (!taken)
    return;
  client.quiesce();
  if (ClientCall call{&client})
    jack_port_unregister(client.handle(), taken);
}

}  // namespace jackmidi
