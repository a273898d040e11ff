// A private JACK server for tests and benchmarks: jackd with the dummy driver (no sound card)
// under a name unique to this process, so suites running side by side (ctest -j8) never share a
// server. start() exports JACK_DEFAULT_SERVER (every JACK client made afterwards in this process
// talks to it), SORVANTA_MIDI_API=jack and SORVANTA_MIDI_CLIENT_SUFFIX; stop() or the destructor
// ends the server.
//
// Hazard: libjack names a client's notification socket after the client only, so two processes
// opening same-named clients at once, even on different servers, break each other. Every client
// a test makes must therefore carry MidiTestClientSuffix() (the plug-in's port layer appends
// SORVANTA_MIDI_CLIENT_SUFFIX, MidiTestPeer appends it to its tag).
// The server runs without real-time scheduling unless SORVANTA_JACK_REALTIME is set (timing
// benchmarks set it; tests never need it); SORVANTA_JACK_PERIOD sets kAsUsersRunIt's period.
// Main thread only; start it before any MIDI object is made.
#pragma once

#include <jack/types.h>
#include <string>
#include <sys/types.h>
#include <vector>

// Unique to this process.
const char* MidiTestClientSuffix();

// Seconds on the monotonic clock.
double MidiTestNow();
void MidiTestSleep(double seconds);

// JACK's machine-wide table of servers (8 entries in shared memory) as it stands; empty when it
// cannot be read or is laid out otherwise than jackd2 1.9 lays it out.
struct JackServerEntry
{
  pid_t pid = 0;
  std::string name;     // as JACK records it: "jack-UID:SERVER:"
  bool running = true;  // false only when no process has the pid any more
};
std::vector<JackServerEntry> JackServerTable();

class JackTestServer
{
public:
  // kSynchronous (-S, each cycle waits for every client) and kAsynchronous (JACK's default) with a
  // 5 s client timeout and 256 frames; kAsUsersRunIt: at JACK's defaults, 128 frames.
  enum Mode { kAsynchronous, kSynchronous, kAsUsersRunIt };
  explicit JackTestServer(bool synchronous = true) : mMode(synchronous ? kSynchronous : kAsynchronous) {}
  explicit JackTestServer(Mode mode) : mMode(mode) {}
  ~JackTestServer() { stop(); }

  // Starts jackd and waits (up to timeoutSeconds) until a client can connect. False, with the
  // reason on standard error, when it did not come up.
  bool start(double timeoutSeconds = 30.0);
  void stop() { end(), releaseSlot(); }
  // Another server in its place (a new name) in the slot it holds (see JackTestServer.cpp).
  bool restart() { return end(), start(); }
  // gapSeconds: how long no server runs in between (a musician's restart takes a second or so).
  bool restartUnderItsName(double gapSeconds = 0) { return end(), MidiTestSleep(gapSeconds), mNext = mName, start(); }
  // Names the server the next start() brings up, for every client from then on. A test whose
  // threads list ports across a restart names it before they start: the environment must not
  // change under them.
  void nameNext();
  // The mode of the next start().
  void setMode(Mode mode) { mMode = mode; }
  // The client that found the server answering stays open while it runs, as a patchbay's does,
  // and is closed before it stops. Closed at once (the default), it is a client leaving just as
  // others open theirs: libjack then loses the removal in a process whose first client is still
  // opening, and that process wakes the removed client's object for the next client given its
  // number, which never runs (the port layer's first client opens again when it finds that). Only
  // for a process that never lets a server die under it: libjack frees every client of a process
  // that heard a server's end.
  void setProbeStays(bool stays) { mProbeStays = stays; }

  const std::string& name() const { return mName; }
  bool running() const { return mPid > 0; }
  pid_t pid() const { return mPid; }

private:
  void releaseSlot();
  void end();  // stops jackd, keeping the slot
  // Starts jackd and waits until it answers (true), exits (false, mPid -1, or -127 when jackd
  // could not be run) or the deadline passes (false, still running).
  bool spawnAndWait(const char* name, double deadline);

  Mode mMode;
  pid_t mPid = -1;
  int mSlot = -1;  // flock()ed slot file, see takeSlot
  bool mProbeStays = false;
  jack_client_t* mProbe = nullptr;  // the probe that stays (setProbeStays)
  std::string mName;
  std::string mNext;  // named by nameNext, not yet started
};
