#include "JackTestServer.h"

#include "JackMidiClient.h"

#include <jack/jack.h>

#include <fcntl.h>
#include <cstdlib>
#include <cstring>
#include <string>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/sem.h>
#include <sys/wait.h>
#include <time.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The client that found the server answering, or null.
jack_client_t* serverAnswers(const char* name)
{
  // Not before the server listens: a failed open (a server still starting, or one that died
  // starting) starts and at once stops libjack's message thread, and under load the stop's wake-up
  // can come before that thread waits, which leaves the open joining it for good (seen on a busy
  // machine, and then every test behind this one's lock waited too).
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  snprintf(addr.sun_path, sizeof addr.sun_path, "/dev/shm/jack_%s_%u_0", name, (unsigned)getuid());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const bool listening = fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
  if (fd >= 0)
    close(fd);
  if (!listening)
    return nullptr;
  // Client names must be unique across the machine, see MidiTestClientSuffix.
  const std::string probe = std::string("probe-") + MidiTestClientSuffix();
  return jackmidi::openBareClient(probe.c_str(), JackNoStartServer, name);
}

void quietJack(const char*) {}
void printJack(const char* text) { fprintf(stderr, "jack: %s\n", text); }

// Cross-process locks, each an flock()ed file in TMPDIR: the lock goes with the process should it
// crash.
//
// JACK keeps one table of servers per machine, 8 entries long. When it is full a new jackd fails
// with "Too many servers already active", and such failing starts were seen to tear down
// semaphores of servers that were running fine. So our test servers take one of a few slots,
// held for the server's life.
//
// Starting and stopping a server rewrites JACK's shared registry; a client of another server
// that maps it at that moment was seen to die of SIGBUS inside libjack. So starts and stops
// (until the server answers, or has exited) take one machine-wide lock.
const int kSlots = 4;

int openLockFile(const char* leaf)
{
  const char* dir = getenv("TMPDIR");
  if (!dir || !*dir)
    dir = "/tmp";
  char path[512];
  snprintf(path, sizeof path, "%s/sorvanta-jack-%s.lock", dir, leaf);
  const int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  // Made by another user (the umask took its write bits): a lock needs no writing.
  return fd >= 0 || errno != EACCES ? fd : open(path, O_RDONLY | O_CLOEXEC);
}

int takeSlot(double deadline)
{
  for (;;)
  {
    for (int i = 0; i < kSlots; ++i)
    {
      char leaf[32];
      snprintf(leaf, sizeof leaf, "slot-%d", i);
      int fd = openLockFile(leaf);
      if (fd < 0)
        continue;
      if (flock(fd, LOCK_EX | LOCK_NB) == 0)
        return fd;
      close(fd);
    }
    if (MidiTestNow() > deadline)
      return -1;
    MidiTestSleep(0.02);
  }
}

// Holds the start/stop lock for its scope (blocking); without the lock file it holds nothing.
class StartStopLock
{
public:
  StartStopLock() : mFd(openLockFile("start-stop"))
  {
    if (mFd >= 0)
      flock(mFd, LOCK_EX);
  }
  ~StartStopLock()
  {
    if (mFd >= 0)
      close(mFd);
  }

private:
  int mFd;
};

// JACK's registry, /dev/shm/jack-shm-registry, holds its table of 8 servers. A server killed
// outright (SIGKILL, a crash, a test killed before it could stop its server) keeps its entry for
// good, and once all 8 are taken no server starts: jackd clears a dead server's entry only when
// one of the same name starts, and ours never reuse a name (its segments jackd releases by
// itself). So a start clears the entries whose process is gone, and nothing else: a live server,
// a musician's own among them, is never touched. Layout (jackd2 1.9 on x86-64): magic "JACK"
// (uint32), the header's length (int32 at 16), then at 24 the servers {pid_t pid; char name[260]};
// a registry laid out otherwise is left alone.
const int kServers = 8, kServersAt = 24, kEntryBytes = 4 + 260;

// The table; with clearGone, the entries of servers whose process is gone are first cleared,
// each named on standard error, under the registry's own lock (a System V semaphore, taken as
// jackd takes it and undone should we die holding it; nothing is done while it stays taken 2 s).
std::vector<JackServerEntry> serverTable(bool clearGone)
{
  std::vector<JackServerEntry> table;
  const int lock = clearGone ? semget(0x282929, 1, 0) : -1;
  sembuf take = {0, -1, SEM_UNDO}, give = {0, 1, SEM_UNDO};
  timespec wait = {2, 0};
  if (clearGone && (lock < 0 || semtimedop(lock, &take, 1, &wait) != 0))
    return table;
  const int fd = open("/dev/shm/jack-shm-registry", (clearGone ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  unsigned char head[kServersAt + kServers * kEntryBytes];
  uint32_t magic = 0, length = 0;
  if (fd >= 0 && pread(fd, head, sizeof head, 0) == (ssize_t)sizeof head)
    memcpy(&magic, head, 4), memcpy(&length, head + 16, 4);
  static const unsigned char cleared[kEntryBytes] = {};
  for (int i = 0; i < kServers && magic == 0x4A41434B && length == sizeof head; ++i)
  {
    const unsigned char* at = head + kServersAt + i * kEntryBytes;
    JackServerEntry e;
    memcpy(&e.pid, at, 4);
    if (e.pid <= 0)
      continue;
    e.name.assign((const char*)at + 4, strnlen((const char*)at + 4, kEntryBytes - 4));
    // Only a pid no process has is gone: one taken by another process since counts as running.
    e.running = kill(e.pid, 0) == 0 || errno != ESRCH;
    if (clearGone && !e.running && pwrite(fd, cleared, kEntryBytes, at - head) == kEntryBytes)
      fprintf(stderr, "JackTestServer: cleared JACK's table entry of server %s (its jackd, pid %d, is gone)\n",
              e.name.c_str(), (int)e.pid);
    else
      table.push_back(e);
  }
  if (fd >= 0)
    close(fd);
  if (clearGone)
    semop(lock, &give, 1);
  return table;
}

// Starts jackd under name in mode (see JackTestServer::Mode and below); -1 when fork failed.
pid_t spawnJackd(const char* name, JackTestServer::Mode mode)
{
  const pid_t parent = getpid();
  pid_t pid = fork();
  if (pid != 0)
    return pid;
  // A crashed or killed test must not leave its server behind.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent)
    _exit(127);
  // jackd starts a session of its own, and where the kernel groups processes by session for
  // scheduling, its mostly sleeping threads got no processor for minutes beside busy threads on two
  // cores, every client waiting on it. A process-group leader cannot start a session: it stays in ours.
  setpgid(0, 0);
  // Nothing of ours goes along: a JACK client's socket to an old server, held open here, would
  // keep that server's end from reaching the client.
  close_range(3, ~0U, 0);
  if (!getenv("SORVANTA_JACK_VERBOSE"))
  {
    FILE* devnull = fopen("/dev/null", "w");
    if (devnull)
    {
      dup2(fileno(devnull), 1);
      dup2(fileno(devnull), 2);
    }
  }
  // Synchronous mode (-S) makes each cycle wait for every client: under a sanitizer a client
  // can overrun its cycle, and in the default asynchronous mode JACK then hands its previous
  // output buffer to the next client again (duplicated messages) or loses what it carried.
  // Real-time scheduling only when asked (timing benchmarks): a test's server never needs it.
  const char* scheduling = getenv("SORVANTA_JACK_REALTIME") ? "--realtime" : "--no-realtime";
  const char* period = getenv("SORVANTA_JACK_PERIOD");
  // SORVANTA_JACK_VERBOSE=2: the server's verbose log as well, which libjack in each client follows.
  const char* verbose = getenv("SORVANTA_JACK_VERBOSE");
  if (mode == JackTestServer::kAsUsersRunIt)
  {
    // No allocation between fork and exec: another thread may have held the allocator's lock.
    const char* args[12] = {"jackd", scheduling};
    int n = 2;
    if (verbose && !strcmp(verbose, "2"))
      args[n++] = "-v";
    for (const char* a : {"-n", name, "-d", "dummy", "-r", "48000", "-p", period ? period : "128"})
      args[n++] = a;
    execvp("jackd", const_cast<char* const*>(args));
  }
  else
    execlp("jackd", "jackd", scheduling, mode == JackTestServer::kSynchronous ? "-S" : "-t5000", "-t", "5000", "-p",
           "256", "-n", name, "-d", "dummy", "-r", "48000", "-p", "256", (char*)nullptr);  // (without -S, the timeout twice)
  _exit(127);
}

}  // namespace

double MidiTestNow()
{
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

void MidiTestSleep(double seconds)
{
  timespec ts;
  ts.tv_sec = (time_t)seconds;
  ts.tv_nsec = (long)((seconds - (double)ts.tv_sec) * 1e9);
  nanosleep(&ts, nullptr);
}

std::vector<JackServerEntry> JackServerTable() { return serverTable(false); }

const char* MidiTestClientSuffix()
{
  static std::string suffix = std::to_string((long)getpid());
  return suffix.c_str();
}

namespace
{
// The environment changes only where it differs: a restart's clients read it on other threads.
void setIfOther(const char* key, const char* value)
{
  const char* now = getenv(key);
  if (!now || strcmp(now, value) != 0)
    setenv(key, value, 1);
}
}  // namespace

void JackTestServer::nameNext()
{
  static std::atomic<int> counter{0};
  mNext = "sorvanta-test-" + std::to_string((int)getpid()) + "-" + std::to_string(counter++);
  setenv("JACK_DEFAULT_SERVER", mNext.c_str(), 1);
}

bool JackTestServer::start(double timeoutSeconds)
{
  if (mPid > 0)
    return true;
  if (mNext.empty())
    nameNext();
  mName = mNext;
  mNext.clear();
  const char* name = mName.c_str();

  // Probing a server that is still starting prints "Cannot connect to server..." at length.
  jack_set_error_function(quietJack);
  jack_set_info_function(quietJack);

  // JACK allows only 8 servers on a machine at once ("Too many servers already active"); with
  // ctest -j8 and other suites around, a start can meet a full table. Servers of other tests
  // live for a second or so, so a refused start waits a little and tries again.
  const double deadline = MidiTestNow() + timeoutSeconds;
  if (mSlot < 0)
    mSlot = takeSlot(deadline);
  if (mSlot < 0)
  {
    fprintf(stderr, "JackTestServer: no free server slot within %.0f s\n", timeoutSeconds);
    return false;
  }
  unsigned attempt = 0;
  while (MidiTestNow() < deadline)
  {
    if (spawnAndWait(name, deadline))
    {
      jack_set_error_function(printJack);
      setIfOther("SORVANTA_MIDI_API", "jack");
      setIfOther("SORVANTA_MIDI_CLIENT_SUFFIX", MidiTestClientSuffix());
      return true;
    }
    if (mPid == -127)
    {
      fprintf(stderr, "JackTestServer: cannot run jackd; is jackd2 installed?\n");
      mPid = -1;
      return false;
    }
    ++attempt;
    MidiTestSleep(0.05 + 0.01 * (double)((getpid() * 7 + attempt * 13) % 20));
  }
  fprintf(stderr, "JackTestServer: jackd \"%s\" did not come up within %.0f s (%u attempts)\n", name,
          timeoutSeconds, attempt);
  for (const JackServerEntry& e : JackServerTable())  // what may fill the table: stop what is no longer needed
    fprintf(stderr, "JackTestServer: JACK's table holds %s (pid %d, %s)\n", e.name.c_str(), (int)e.pid,
            e.running ? "running" : "gone; once no jackd runs, removing /dev/shm/jack-shm-registry clears it");
  stop();
  return false;
}

bool JackTestServer::spawnAndWait(const char* name, double deadline)
{
  StartStopLock exclusive;
  serverTable(true);
  mPid = spawnJackd(name, mMode);
  if (mPid < 0)
  {
    perror("JackTestServer: fork");
    return false;
  }
  while (MidiTestNow() < deadline)
  {
    int status = 0;
    if (waitpid(mPid, &status, WNOHANG) == mPid)
    {
      mPid = (WIFEXITED(status) && WEXITSTATUS(status) == 127) ? -127 : -1;
      return false;
    }
    if (jack_client_t* probe = serverAnswers(name))
    {
      if (mProbeStays)
        mProbe = probe;
      else
        jack_client_close(probe);
      return true;
    }
    MidiTestSleep(0.002);
  }
  return false;  // still starting: stop() ends it
}

void JackTestServer::end()
{
  if (mPid <= 0)
    return;
  StartStopLock exclusive;
  if (mProbe)
    jack_client_close(mProbe);  // while its server runs
  mProbe = nullptr;
  kill(mPid, SIGTERM);
  const double deadline = MidiTestNow() + 5.0;
  int status = 0;
  while (waitpid(mPid, &status, WNOHANG) == 0)
  {
    if (MidiTestNow() > deadline)
    {
      kill(mPid, SIGKILL);
      waitpid(mPid, &status, 0);
      break;
    }
    MidiTestSleep(0.002);
  }
  mPid = -1;
}

void JackTestServer::releaseSlot()
{
  if (mSlot >= 0)
    close(mSlot);
  mSlot = -1;
}
