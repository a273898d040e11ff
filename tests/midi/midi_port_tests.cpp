// The direct MIDI port layer over real JACK ports: a private server per test process and a peer
// that plays the synth's interface.
#include "JackMidiClient.h"
#include "JackMidiInput.h"
#include "JackMidiOutput.h"
#include "MidiClock.h"
#include "MidiJackTest.h"
#include "MidiPorts.h"
#include "MidiTestPeer.h"

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <dirent.h>
#include <dlfcn.h>
#include <spawn.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <future>
#include <thread>

namespace {

typedef std::vector<unsigned char> Bytes;

class MidiPortTest : public MidiJackTest
{
protected:
  // The server started again as users run it (JACK's defaults); the suite's own mode is back for
  // the next start however the test ends.
  static bool serverAsUsersRunIt()
  {
    server().stop(), server().setMode(JackTestServer::kAsUsersRunIt);
    return server().start();
  }
  void TearDown() override { server().setMode(JackTestServer::kSynchronous); }
};

// What the input port's dispatch thread hands over.
struct Inbox
{
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<Bytes> messages;
  std::atomic<int> calls{0};
  std::atomic<int> primers{0};
  std::atomic<int> delayMicros{0};  // a handler as slow as the editor's under load

  static void handle(double, std::vector<unsigned char>* m, void* self)
  {
    Inbox* in = static_cast<Inbox*>(self);
    in->calls++;
    if (int d = in->delayMicros.load())
      std::this_thread::sleep_for(std::chrono::microseconds(d));
    if (MidiTestPeer::isPrimer(*m))
    {
      in->primers++;
      return;
    }
    std::lock_guard<std::mutex> lock(in->mutex);
    in->messages.push_back(*m);
    in->cv.notify_all();
  }
  bool waitFor(size_t n, double seconds = 5.0)
  {
    std::unique_lock<std::mutex> lock(mutex);
    return cv.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return messages.size() >= n; });
  }
  Bytes at(size_t i)
  {
    std::lock_guard<std::mutex> lock(mutex);
    return messages.at(i);
  }
};

Bytes sysex(size_t size, unsigned char seed)
{
  Bytes b(size);
  for (size_t i = 0; i < size; ++i)
    b[i] = (unsigned char)((i * 7 + seed) & 0x7F);
  b.front() = 0xF0;
  b.back() = 0xF7;
  return b;
}

// Sends until the connection carries (see MidiTestPeer::primer).
bool primed(MidiOutputPort& out, MidiTestPeer& peer)
{
  return peer.primeFrom([&](const Bytes& b) { out.send(b.data(), b.size()); });
}

bool connected(MidiOutputPort& out, MidiTestPeer& peer)
{
  return out.create("RtMidi Output Client") && out.open(peer.inputPortName(), "RtMidi Output") && primed(out, peer);
}

bool primed(MidiTestPeer& peer, Inbox& inbox)
{
  return peer.primeTo([&] { return inbox.primers.load() > 0; });
}

// The input port made, delivering, open on the peer's output and carrying.
bool created(MidiInputPort& in, Inbox& inbox)
{
  if (!in.create("RtMidi Input Client", 100, &Inbox::handle, &inbox))
    return false;
  in.startDelivery();
  return true;
}
bool listening(MidiInputPort& in, MidiTestPeer& peer, Inbox& inbox)
{
  return created(in, inbox) && in.open(peer.outputPortName(), "RtMidi Input") && primed(peer, inbox);
}

bool contains(const std::vector<std::string>& names, const std::string& n)
{
  return std::find(names.begin(), names.end(), n) != names.end();
}

}  // namespace

TEST_F(MidiPortTest, ListsThePeersPortsOnBothSides)
{
  MidiTestPeer peer;
  ASSERT_TRUE(peer.ok());
  MidiOutputPort out;
  MidiInputPort in;
  Inbox inbox;
  ASSERT_TRUE(out.create("RtMidi Output Client"));
  ASSERT_TRUE(in.create("RtMidi Input Client", 100, &Inbox::handle, &inbox));
  EXPECT_TRUE(contains(out.listPortNames(), peer.inputPortName()));
  EXPECT_TRUE(contains(in.listPortNames(), peer.outputPortName()));
  // The input side lists sources only, the output side destinations only.
  EXPECT_FALSE(contains(out.listPortNames(), peer.outputPortName()));
  EXPECT_FALSE(contains(in.listPortNames(), peer.inputPortName()));
}

TEST_F(MidiPortTest, OpenByNameSendsToThatPortAndCloseStopsIt)
{
  MidiTestPeer peer;
  MidiTestPeer other("OtherPeer");
  MidiOutputPort out;
  ASSERT_TRUE(out.create("RtMidi Output Client"));
  ASSERT_TRUE(out.open(other.inputPortName(), "RtMidi Output"));
  ASSERT_TRUE(out.open(peer.inputPortName(), "RtMidi Output"));  // the first is closed
  EXPECT_TRUE(out.isOpen());
  ASSERT_TRUE(primed(out, peer));
  const unsigned char cc[3] = {0xB0, 7, 100};
  EXPECT_TRUE(out.send(cc, 3));
  ASSERT_TRUE(peer.waitForMessages(1));
  EXPECT_EQ((Bytes{0xB0, 7, 100}), peer.message(0));
  EXPECT_EQ(0u, other.messageCount());

  out.close();
  EXPECT_FALSE(out.isOpen());
  EXPECT_FALSE(out.send(cc, 3));
}

TEST_F(MidiPortTest, OpeningAMissingPortFailsAndLeavesNothingOpen)
{
  MidiTestPeer peer;
  MidiOutputPort out;
  MidiInputPort in;
  Inbox inbox;
  ASSERT_TRUE(out.create("RtMidi Output Client"));
  ASSERT_TRUE(in.create("RtMidi Input Client", 100, &Inbox::handle, &inbox));
  ASSERT_TRUE(out.open(peer.inputPortName(), "RtMidi Output"));
  EXPECT_FALSE(out.open("Nobody:nothing", "RtMidi Output"));
  EXPECT_FALSE(out.isOpen());
  const unsigned char note[3] = {0x90, 60, 1};
  EXPECT_FALSE(out.send(note, 3));
  EXPECT_FALSE(in.open("Nobody:nothing", "RtMidi Input"));
  EXPECT_FALSE(in.isOpen());
  EXPECT_TRUE(out.lost() && in.lost()) << "a port asked for and not opened must read lost";
}

TEST_F(MidiPortTest, PortThatWentAwayAfterListingIsNotReportedOpen)
{
  MidiOutputPort out;
  ASSERT_TRUE(out.create("RtMidi Output Client"));
  std::string gone;
  {
    MidiTestPeer peer("ShortLivedPeer");
    gone = peer.inputPortName();
    ASSERT_TRUE(contains(out.listPortNames(), gone));
  }
  EXPECT_FALSE(out.open(gone, "RtMidi Output"));
  EXPECT_FALSE(out.isOpen());
}

// The synth's interface unplugged ten times (its client stays): both sides notice each loss
// themselves, from JACK's notices, and open again under the name.
TEST_F(MidiPortTest, APeerThatLeavesIsLostOnBothSidesAndOpensAgainUnderItsName)
{
  MidiOutputPort out;
  MidiInputPort in;
  Inbox inbox;
  jack_client_t* synth = jack_client_open(("Replugged-" + std::string(MidiTestClientSuffix())).c_str(), JackNoStartServer, nullptr);
  ASSERT_TRUE(synth && out.create("RtMidi Output Client") && created(in, inbox));
  jack_set_process_callback(synth, [](jack_nframes_t, void*) { return 0; }, nullptr);
  jack_activate(synth);
  for (int round = 1; round <= 10 && !HasFailure(); ++round)
  {
    jack_port_t* p[2] = {jack_port_register(synth, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0),
                         jack_port_register(synth, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0)};
    EXPECT_TRUE(out.open(jack_port_name(p[0]), "RtMidi Output") && in.open(jack_port_name(p[1]), "RtMidi Input"));
    // Out of the graph meanwhile: libjack's notices walk a client's ports with no lock against an
    // unregister on an active client (this stand-in crashed so under load).
    jack_deactivate(synth);
    jack_port_unregister(synth, p[0]), jack_port_unregister(synth, p[1]);
    jack_activate(synth);
    for (int i = 0; i < 500 && !(out.lost() && in.lost()); ++i)
      MidiTestSleep(0.01);
    EXPECT_TRUE(out.lost() && in.lost()) << "round " << round << ": output lost " << out.lost() << ", input " << in.lost();
  }
  jack_client_close(synth);
}

// A patchbay undoes both connections (the synth stays): both sides notice, and neither is one to
// open again by itself. The synth's client gone and back under its names: now both are.
TEST_F(MidiPortTest, AConnectionAPatchbayUndoesIsLostAndLeftAsItWasUntilTheSynthComesBack)
{
  auto peer = std::make_unique<MidiTestPeer>();
  MidiOutputPort out;
  MidiInputPort in;
  Inbox inbox;
  ASSERT_TRUE(connected(out, *peer) && listening(in, *peer, inbox));
  jack_client_t* bay = jack_client_open(("Patchbay-" + std::string(MidiTestClientSuffix())).c_str(), JackNoStartServer, nullptr);
  ASSERT_TRUE(bay);
  for (const std::string& theirs : {peer->inputPortName(), peer->outputPortName()})
  {
    const char** ours = jack_port_get_all_connections(bay, jack_port_by_name(bay, theirs.c_str()));
    for (const char** p = ours; p && *p; ++p)
      EXPECT_EQ(0, theirs == peer->inputPortName() ? jack_disconnect(bay, *p, theirs.c_str()) : jack_disconnect(bay, theirs.c_str(), *p));
    jack_free(ours);
  }
  jack_client_close(bay);
  for (int i = 0; i < 500 && !(out.lost() && in.lost()); ++i)
    MidiTestSleep(0.01);
  ASSERT_TRUE(out.lost() && in.lost()) << "output lost " << out.lost() << ", input " << in.lost();
  EXPECT_FALSE(out.mayReopen(out.listPortNames()) || in.mayReopen(in.listPortNames()));
  peer.reset();
  peer = std::make_unique<MidiTestPeer>();
  for (int i = 0; i < 500 && !(out.mayReopen(out.listPortNames()) && in.mayReopen(in.listPortNames())); ++i)
    MidiTestSleep(0.01);
  EXPECT_TRUE(out.mayReopen(out.listPortNames()) && in.mayReopen(in.listPortNames()));
}

// No MIDI system for as many listings as the port watch makes in half a minute: no client is
// tried. Once a server is there, the next listing of each side opens one and finds the synth.
TEST_F(MidiPortTest, WithoutAServerListingsTryNoClientAndOneEachOnceThereIsOne)
{
  const std::string running = getenv("JACK_DEFAULT_SERVER");
  setenv("JACK_DEFAULT_SERVER", (std::string("sorvanta-none-") + MidiTestClientSuffix()).c_str(), 1);
  MidiOutputPort out;
  MidiInputPort in;
  Inbox inbox;
  const unsigned before = jackmidi::clientOpensTried();
  EXPECT_FALSE(out.create("Sorvanta Editor out") || created(in, inbox));
  for (int second = 0; second < 30; ++second)
    EXPECT_TRUE(out.listPortNames().empty() && in.listPortNames().empty());
  EXPECT_EQ(before, jackmidi::clientOpensTried());
  setenv("JACK_DEFAULT_SERVER", running.c_str(), 1);
  MidiTestPeer peer;
  const unsigned withPeer = jackmidi::clientOpensTried();
  for (int twice = 0; twice < 2; ++twice)
    EXPECT_TRUE(contains(out.listPortNames(), peer.inputPortName()) && contains(in.listPortNames(), peer.outputPortName()));
  EXPECT_EQ(withPeer + 2, jackmidi::clientOpensTried());
  // An entry an open failed on (a name JACK refuses) waits; a plain client opened ends the wait.
  auto fails = [] { return !JackMidiOutput().create(std::string(80, 'x')); };
  auto open = [] {  // 0: not tried; 2: made
    const unsigned before = jackmidi::clientOpensTried(), made = JackMidiOutput().create(std::string("Retry ") + MidiTestClientSuffix());
    return made + jackmidi::clientOpensTried() - before;
  };
  ASSERT_TRUE(fails());
  EXPECT_EQ(0u, open()) << "tried again at once";
  unsigned got = 0;
  for (const double until = MidiTestNow() + 10.0; (got = open()) == 0 && MidiTestNow() < until;)
    MidiTestSleep(0.05);
  EXPECT_EQ(2u, got) << "never tried again";
  ASSERT_TRUE(fails());
  jack_client_close(jackmidi::openBareClient((std::string("bare ") + MidiTestClientSuffix()).c_str(), JackNoStartServer, nullptr));
  EXPECT_EQ(2u, open()) << "the wait went on after a plain client opened";
}

TEST_F(MidiPortTest, SendWithoutObjectOrOpenPortReturnsFalse)
{
  const unsigned char cc[3] = {0xB0, 7, 100};
  MidiOutputPort none;
  EXPECT_FALSE(none.send(cc, 3));
  EXPECT_FALSE(none.open("anything", "RtMidi Output"));
  EXPECT_TRUE(none.listPortNames().empty());
  MidiOutputPort closed;
  ASSERT_TRUE(closed.create("RtMidi Output Client"));
  EXPECT_FALSE(closed.send(cc, 3));
  EXPECT_FALSE(closed.send(nullptr, 3));
  EXPECT_FALSE(closed.send(cc, 0));
  closed.close();  // closing what is not open is harmless
}

TEST_F(MidiPortTest, InputArrivesWholeOnTheDispatchThread)
{
  MidiTestPeer peer;
  MidiInputPort in;
  Inbox inbox;
  ASSERT_TRUE(listening(in, peer, inbox));
  peer.send(Bytes{0x90, 60, 100});
  peer.send(Bytes{0xC3, 5});
  const Bytes dump = sysex(400, 3);
  peer.send(dump);
  peer.send(Bytes{0xF8});  // MIDI timing is dropped
  peer.send(Bytes{0xFE});  // and so is active sensing
  peer.send(Bytes{0xD1, 64});
  ASSERT_TRUE(inbox.waitFor(4));
  MidiTestSleep(0.05);
  ASSERT_EQ(4u, inbox.messages.size());
  EXPECT_EQ((Bytes{0x90, 60, 100}), inbox.at(0));
  EXPECT_EQ((Bytes{0xC3, 5}), inbox.at(1));
  EXPECT_EQ(dump, inbox.at(2));
  EXPECT_EQ((Bytes{0xD1, 64}), inbox.at(3));
  EXPECT_EQ(0u, in.droppedCount());
}

// A synth's bulk knob sweep: 1000 parameter changes sent back to back to a handler that takes
// half a millisecond each. The queue holds the burst: nothing is dropped, the order is kept.
TEST_F(MidiPortTest, BurstOfAThousandParameterChangesLosesNothing)
{
  MidiTestPeer peer;
  MidiInputPort in;
  Inbox inbox;
  ASSERT_TRUE(listening(in, peer, inbox));
  inbox.delayMicros = 500;
  const int kBurst = 1000;
  auto change = [](int i) { return Bytes{0xF0, 0x3E, 0x10, 0x00, 0x20, 0x00, (unsigned char)(i >> 7), (unsigned char)(i & 0x7F), 0x40, 0xF7}; };
  for (int i = 0; i < kBurst; ++i)
    peer.send(change(i));
  ASSERT_TRUE(inbox.waitFor(kBurst, 20.0)) << inbox.messages.size() << " arrived, " << in.droppedCount() << " dropped";
  for (int i = 0; i < kBurst; ++i)
    ASSERT_EQ(change(i), inbox.at(i)) << i;
  EXPECT_EQ(0u, in.droppedCount());
}

TEST_F(MidiPortTest, SysExOf400BytesReachesThePeerWhole)
{
  MidiTestPeer peer;
  MidiOutputPort out;
  ASSERT_TRUE(connected(out, peer));
  const Bytes dump = sysex(400, 9);
  ASSERT_TRUE(out.send(dump.data(), dump.size()));
  ASSERT_TRUE(peer.waitForMessages(1));
  EXPECT_EQ(dump, peer.message(0));
}

TEST_F(MidiPortTest, EightThreadsSendingAtOnceDeliverEveryMessageIntact)
{
  MidiTestPeer peer;
  MidiOutputPort out;
  ASSERT_TRUE(connected(out, peer));
  // 8 x 60 messages (about 7 KB) stay inside JACK's 16 KB output ring.
  const int kThreads = 8, kEach = 60;
  std::atomic<int> ready{0};
  std::atomic<int> failed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      ready++;
      while (ready.load() < kThreads)
        std::this_thread::yield();
      for (int s = 0; s < kEach; ++s)
      {
        const Bytes m = MidiTestStamped(t, s);
        failed += !out.send(m.data(), m.size());
      }
    });
  for (auto& th : threads)
    th.join();
  EXPECT_EQ(0, failed.load());
  ASSERT_TRUE(peer.waitForMessages(kThreads * kEach)) << peer.messageCount() << " arrived";
  EXPECT_EQ("", MidiTestCheckStamped(peer.messages(), kThreads, kEach));
}

TEST_F(MidiPortTest, ClosingAndTearingDownWhileThePeerFloodsIsSafe)
{
  MidiTestPeer peer;
  std::atomic<bool> flooding{true};
  std::thread flood([&] {
    const Bytes dump = sysex(100, 1);
    int i = 0;
    while (flooding.load())
    {
      peer.send(Bytes{0x90, (unsigned char)(i & 0x7F), 64});
      if (i % 4 == 0)
        peer.send(dump);
      ++i;
      if (i % 16 == 0)
        MidiTestSleep(0.0005);
    }
  });

  Inbox inbox;
  for (int round = 0; round < 3; ++round)
  {
    MidiInputPort in;
    ASSERT_TRUE(created(in, inbox));
    for (int i = 0; i < 5; ++i)
    {
      const int before = inbox.calls.load();
      ASSERT_TRUE(in.open(peer.outputPortName(), "RtMidi Input"));
      const double until = MidiTestNow() + 2.0;
      while (inbox.calls.load() == before && MidiTestNow() < until)
        MidiTestSleep(0.001);
      EXPECT_GT(inbox.calls.load(), before) << "nothing arrived while open";
      in.close();
    }
    ASSERT_TRUE(in.open(peer.outputPortName(), "RtMidi Input"));
    MidiTestSleep(0.02);
    // Torn down with the port open and messages in flight.
  }
  flooding = false;
  flood.join();
}

// An input closed while its slow receiver runs, on a server in JACK's default mode (no waiting for
// a late client): JACK stops the process thread, and the receiver still finishes what it began.
TEST_F(MidiPortTest, ClosingAnInputLetsARunningReceiverFinish)
{
  server().stop();  // its slot for this one
  JackTestServer async(false);
  ASSERT_TRUE(async.start());
  MidiTestPeer peer;
  std::atomic<int> counts[2] = {{0}, {0}};  // receivers begun, receivers done
  auto slow = [](double, const unsigned char*, size_t, void* c) { auto* n = static_cast<std::atomic<int>*>(c); ++n[0], MidiTestSleep(0.002), ++n[1]; };
  JackMidiInput in;
  ASSERT_TRUE(peer.ok() && in.create(std::string("Slow ") + MidiTestClientSuffix(), slow, counts, false));
  for (int round = 0; round < 20 && !HasFailure(); ++round)
  {
    ASSERT_TRUE(in.open(peer.outputPortName(), "slow"));
    for (int i = 0, before = counts[0]; counts[0] == before && i < 5000; ++i)
      peer.send(Bytes{0x90, 60, 64}), MidiTestSleep(0.001);
    in.close();
    EXPECT_EQ(counts[0].load(), counts[1].load()) << "round " << round << ": a receiver was cut short";
  }
  async.stop();
  EXPECT_TRUE(server().start());
}

// A server that stops answering (stopped here) keeps an open inside libjack for as long as it does:
// an open behind it gives up rather than wait with it, and opens once the server answers again.
TEST_F(MidiPortTest, AnOpenBehindOneAStoppedServerHoldsGivesUpAndOpensOnceItAnswers)
{
  JackMidiOutput first, second;
  const std::string suffix = MidiTestClientSuffix();
  const unsigned tried = jackmidi::clientOpensTried();
  kill(server().pid(), SIGSTOP);
  std::thread stuck([&] { first.create("Stuck " + suffix); });
  for (int i = 0; i < 5000 && jackmidi::clientOpensTried() == tried; ++i)
    MidiTestSleep(0.002);
  std::atomic<int> behind{-1};
  std::thread waiting([&] { behind = second.create("Behind " + suffix); });
  for (int i = 0; i < 6000 && behind.load() < 0; ++i)  // four times the bound of its wait
    MidiTestSleep(0.01);
  const int gaveUp = behind.load();
  kill(server().pid(), SIGCONT);
  stuck.join();
  waiting.join();
  EXPECT_EQ(0, gaveUp) << "the open behind the stopped server's waited with it";
  EXPECT_TRUE(second.create("Behind " + suffix));
}

TEST_F(MidiPortTest, ASendIsNotHeldBehindAListingThatWaitsForTheServer)
{
  MidiOutputPort out;  // its next listing opens a client on the new server, which does not answer
  ASSERT_TRUE(out.create("Sorvanta Editor out") && server().restart() && kill(server().pid(), SIGSTOP) == 0);
  const unsigned tried = jackmidi::clientOpensTried();
  auto listing = std::async(std::launch::async, [&] { for (int i = 0; i < 2000 && jackmidi::clientOpensTried() == tried; ++i) out.listPortNames(), MidiTestSleep(0.005); });
  auto sent = std::async(std::launch::async, [&] { while (jackmidi::clientOpensTried() == tried && listing.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {} return out.sendAt(&midiclock::kTick, 1, midiclock::nowNs()); });
  EXPECT_TRUE(sent.wait_for(std::chrono::seconds(20)) == std::future_status::ready && jackmidi::clientOpensTried() != tried) << "the send waited for the listing";
  kill(server().pid(), SIGCONT);
}

// Opens at once from several threads (an editor's input and output, other editors in the host):
// each takes its turn behind the others, none gives up behind an open that returns.
TEST_F(MidiPortTest, OpensAtOnceEachTakeTheirTurn)
{
  JackMidiOutput outs[8];
  std::atomic<int> opened{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([&, i] { opened += outs[i].create("Turn " + std::to_string(i) + " " + MidiTestClientSuffix()); });
  for (std::thread& t : threads)
    t.join();
  EXPECT_EQ(8, opened.load());
}

// A client of a running server is closed as its owner lets go; those of a server that went away
// are left to libjack, which frees them at the first open after every one of them has heard the
// end (the test server's probe here), however long their owners hold them.
TEST_F(MidiPortTest, TheClientsOfAServerThatWentAwayAreLeftToLibjackAtTheNextOpen)
{
  auto counts = [] {
    const jackmidi::ClientCounts c = jackmidi::clientCounts();
    return c.open * 100 + c.dead * 10 + c.leftToLibjack;
  };
  const int left = jackmidi::clientCounts().leftToLibjack;
  ASSERT_EQ(left, counts());
  const std::string suffix = MidiTestClientSuffix();
  JackMidiOutput a, b;
  std::unique_ptr<JackMidiInput> c(new JackMidiInput);
  ASSERT_TRUE(a.create("A " + suffix) && b.create("B " + suffix) && c->create("C " + suffix, nullptr, nullptr, false));
  EXPECT_EQ(300 + left, counts());
  c.reset();
  EXPECT_EQ(200 + left, counts()) << "a client of a running server is closed as its owner lets go";
  kill(server().pid(), SIGKILL);
  for (int i = 0; i < 5000 && counts() != 220 + left; ++i)
    MidiTestSleep(0.002);
  EXPECT_EQ(220 + left, counts()) << "the killed server's clients are dead and held";
  ASSERT_TRUE(server().restartUnderItsName());
  EXPECT_EQ(2 + left, counts());
  EXPECT_TRUE(a.serverGone() && !a.send((const unsigned char*)"\x90\x3c\x40", 3));
}

namespace {

// The thread of a process found blocked in futex(), the only call JACK's process thread waits in
// (its notification thread reads a socket, the child's own sleeps); 0 when none is within 1 s.
pid_t jackProcessThread(pid_t pid)
{
  pid_t found = 0;
  for (int tries = 0; !found && tries < 1000; ++tries, MidiTestSleep(0.001))
  {
    DIR* tasks = opendir(("/proc/" + std::to_string(pid) + "/task").c_str());
    while (dirent* e = tasks ? readdir(tasks) : nullptr)
    {
      std::ifstream call("/proc/" + std::to_string(pid) + "/task/" + e->d_name + "/syscall");
      int number = -1;
      if (call >> number && number == SYS_futex)
        found = atoi(e->d_name);
    }
    if (tasks)
      closedir(tasks);
  }
  return found;
}

}  // namespace

// The editor's whole process stopped for 1.5 s (a debugger, swap, a suspended laptop), then its
// client alone not run for as long (a machine too busy to schedule it) while its server runs on:
// the client is kept, its port never counts lost, and what it sends arrives again once it runs.
TEST_F(MidiPortTest, AClientWhoseProcessStopsOrStarvesAWhileIsKeptAndCarriesOnceItRunsAgain)
{
  ASSERT_TRUE(serverAsUsersRunIt());
  MidiTestPeer peer;
  ASSERT_TRUE(peer.ok());
  const pid_t child = fork();
  if (child == 0)
  {
    execl(SORVANTA_PORT_CHILD, SORVANTA_PORT_CHILD, peer.inputPortName().c_str(), "10", (char*)nullptr);
    _exit(3);
  }
  ASSERT_GT(child, 0);
  EXPECT_TRUE(peer.waitForMessages(10, 10.0));
  // A whole process, then its JACK thread alone (traced and held: the child's own threads list on).
  const pid_t thread = jackProcessThread(child);
  for (const pid_t stopped : {child, thread})
  {
    int status = 0;
    if (stopped == child)
      kill(child, SIGSTOP);
    else if (!thread || ptrace(PTRACE_SEIZE, thread, nullptr, nullptr) != 0 ||
             ptrace(PTRACE_INTERRUPT, thread, nullptr, nullptr) != 0 || waitpid(thread, &status, __WALL) != thread)
      ADD_FAILURE() << "JACK's thread of the child could not be held: " << thread;
    MidiTestSleep(1.5);
    const size_t before = peer.messageCount();
    if (stopped == child)
      kill(child, SIGCONT);
    else
      ptrace(PTRACE_DETACH, thread, nullptr, nullptr);
    EXPECT_TRUE(peer.waitForMessages(before + 20, 5.0)) << "nothing arrived after the stop of " << stopped;
  }
  int status = -1;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "its client was replaced, or its port counted lost";
}

// Inputs torn down with messages arriving in every cycle: the plug-in's input (from one peer that
// floods) and a peer's input (flooded by the plug-in's output), made afresh in each round. A port
// unregistered under a running cycle crashes the process now and then.
TEST_F(MidiPortTest, InputsTornDownWhileFloodedNeverRaceTheMidiSystem)
{
  MidiTestPeer source("FloodSource");
  MidiOutputPort out;
  ASSERT_TRUE(source.ok() && out.create("RtMidi Output Client"));
  std::atomic<bool> flooding{true};
  auto flood = [&](std::function<void(const Bytes&)> send) {
    return std::thread([&flooding, send] {
      const Bytes dump = sysex(100, 1);
      for (int i = 0; flooding.load(); ++i)
      {
        send(i % 4 ? Bytes{0x90, (unsigned char)(i & 0x7F), 64} : dump);
        if (i % 16 == 0)
          MidiTestSleep(0.0005);
      }
    });
  };
  std::thread toPlugIn = flood([&](const Bytes& b) { source.send(b); });
  std::thread toPeer = flood([&](const Bytes& b) { out.send(b.data(), b.size()); });

  Inbox inbox;
  for (int round = 0; round < 20; ++round)
  {
    MidiTestPeer sink("FloodSink" + std::to_string(round));
    MidiInputPort in;
    ASSERT_TRUE(sink.ok());
    ASSERT_TRUE(created(in, inbox));
    const int before = inbox.calls.load();
    ASSERT_TRUE(in.open(source.outputPortName(), "RtMidi Input"));
    ASSERT_TRUE(out.open(sink.inputPortName(), "RtMidi Output"));
    const double until = MidiTestNow() + 2.0;
    while ((inbox.calls.load() == before || sink.byteCount() == 0) && MidiTestNow() < until)
      MidiTestSleep(0.001);
    EXPECT_GT(inbox.calls.load(), before) << "round " << round << ": nothing reached the plug-in";
    EXPECT_GT(sink.byteCount(), 0u) << "round " << round << ": nothing reached the peer";
    if (round % 2)
      in.close();  // else torn down open
  }
  flooding = false;
  toPlugIn.join();
  toPeer.join();
}

// The last message before a close or a tear-down still leaves: the MIDI system sends queued
// output only on its next cycle, so closing at once used to drop it now and then (and tearing the
// object down under a running cycle could crash).
TEST_F(MidiPortTest, TheLastMessageBeforeClosingStillArrives)
{
  MidiTestPeer peer;
  const Bytes dump = sysex(393, 3);
  const int rounds = 60;
  for (int round = 0; round < rounds; ++round)
  {
    MidiOutputPort out;
    ASSERT_TRUE(out.create("RtMidi Output Client") && out.open(peer.inputPortName(), "RtMidi Output"));
    const size_t primers = peer.primersSeen();  // this connection's own primer, not an earlier one
    ASSERT_TRUE(MidiTestPeer::prime([&](const Bytes& b) { out.send(b.data(), b.size()); },
                                    [&] { return peer.primersSeen() > primers; }, 10.0));
    std::thread stall;  // two in ten: the server stops for longer than any fixed wait for its cycles
    if (round % 10 >= 8)
      kill(server().pid(), SIGSTOP), stall = std::thread([] { MidiTestSleep(0.15), kill(server().pid(), SIGCONT); });
    EXPECT_TRUE(out.send(dump.data(), dump.size()));
    if (round % 2)
      out.close();
    if (stall.joinable())
      stall.join();
  }
  EXPECT_TRUE(peer.waitForMessages(rounds, 2.0)) << peer.messageCount() << " of " << rounds;
}

namespace {

// A bare JACK client that notes each message with its absolute frame, for checking placement
// within the cycle (RtMidi's input stamps a whole cycle with one time).
struct FrameRecorder
{
  jack_client_t* client = nullptr;
  jack_port_t* port = nullptr;
  jack_port_t* source = nullptr;  // a synth's output, silent
  std::mutex mutex;
  std::vector<std::pair<uint32_t, Bytes>> got;  // (frame, bytes)
  std::vector<int64_t> ns;  // each message's frame on the monotonic clock, by cycles as it arrived
  jackmidi::CycleClock cycles;

  FrameRecorder()
  {
    const std::string name = std::string("FrameRecorder ") + MidiTestClientSuffix();
    client = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
    if (!client)
      return;
    port = jack_port_register(client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    source = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client, &FrameRecorder::process, this);
    jack_activate(client);
  }
  ~FrameRecorder()
  {
    if (client)
      jack_client_close(client);
  }
  static int process(jack_nframes_t n, void* arg)
  {
    FrameRecorder* r = static_cast<FrameRecorder*>(arg);
    jack_midi_clear_buffer(jack_port_get_buffer(r->source, n));
    void* buf = jack_port_get_buffer(r->port, n);
    const jack_nframes_t start = jack_last_frame_time(r->client);
    r->cycles.observe(start, jack_get_sample_rate(r->client), midiclock::nowNs());
    std::lock_guard<std::mutex> lock(r->mutex);  // against the test thread reading got
    for (uint32_t i = 0; i < jack_midi_get_event_count(buf); ++i)
    {
      jack_midi_event_t ev;
      if (jack_midi_event_get(&ev, buf, i) == 0)
      {
        r->got.emplace_back(start + ev.time, Bytes(ev.buffer, ev.buffer + ev.size));
        r->ns.push_back(r->cycles.timeOf(start + ev.time));
      }
    }
    return 0;
  }
  std::vector<std::pair<uint32_t, Bytes>> messages()
  {
    std::lock_guard<std::mutex> lock(mutex);
    return got;
  }
  std::vector<int64_t> times()
  {
    std::lock_guard<std::mutex> lock(mutex);
    return ns;
  }
};

int64_t monotonicNs()
{
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (int64_t)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

}  // namespace

// 200 JACK restarts under the ports (every other one a crash, which the ports notice themselves),
// the old server's end racing a listing as the port watch's does; each followed by a message
// through the output's new client. libjack frees every client at the first open after a server's end.
// JACK runs as users run it: its own client timeout, no waiting for late clients, short periods.
TEST_F(MidiPortTest, EveryJackRestartUnderThePortsIsFollowedByAMessageThatArrives)
{
  ASSERT_TRUE(serverAsUsersRunIt());
  MidiOutputPort out;
  MidiInputPort in, watched;
  Inbox inbox;
  ASSERT_TRUE(out.create("Sorvanta Editor out") && created(in, inbox) && watched.create("Watch", 100, &Inbox::handle, &inbox));
  std::unique_ptr<FrameRecorder> synth;
  for (int round = 0; round < 200 && !HasFailure(); ++round)
  {
    if (round % 2)  // a crash: no connection goes first, the ports' clients alone hear it
      kill(server().pid(), SIGKILL);
    for (int i = 0; round % 2 && i < 1000 && !(out.lost() && in.lost()); ++i)
      MidiTestSleep(0.01);
    EXPECT_TRUE(round % 2 == 0 || (out.lost() && in.lost())) << "round " << round << ": output lost " << out.lost();
    synth.reset();
    std::atomic<bool> restarted{false};
    server().nameNext();
    std::thread watch([&] { for (; !restarted.load(); MidiTestSleep(0.005)) watched.listPortNames(); });
    const bool up = server().restart();
    restarted = true;
    watch.join();
    synth.reset(new FrameRecorder);
    ASSERT_TRUE(up && !out.listPortNames().empty() && out.open(jack_port_name(synth->port), "to Dorvik") &&
                in.open(jack_port_name(synth->source), "from Dorvik")) << round;
    const Bytes note{0x90, 60, (unsigned char)(round & 0x7F)};
    for (int i = 0; i < 5000 && synth->messages().empty(); ++i, MidiTestSleep(0.002))
      out.send(note.data(), i % 10 ? 0 : note.size());
    EXPECT_TRUE(!synth->messages().empty() && synth->messages().front().second == note) << "round " << round << ": not arrived";
  }
}

namespace {

// Armed: the next shared memory segment libjack opens on gOpener (inside a client's open, once the
// server took the client in) waits until this pid's client has gone, as a busy machine can have it.
std::atomic<pid_t> gLeaveDuringOpen{0};
pthread_t gOpener;
std::string gLeaverObject;  // its wake-up object, which the server removes

}  // namespace

extern "C" int shm_open(const char* name, int flags, mode_t mode)
{
  static const auto real = reinterpret_cast<int (*)(const char*, int, mode_t)>(dlsym(RTLD_NEXT, "shm_open"));
  // Not a wake-up object: a notice opens those.
  if (const pid_t leaver = !strncmp(name, "/jack-", 6) && pthread_equal(pthread_self(), gOpener) ? gLeaveDuringOpen.exchange(0) : 0)
  {
    kill(leaver, SIGTERM), waitpid(leaver, nullptr, 0);  // it closes its client
    for (int i = 0; i < 1000 && !access(gLeaverObject.c_str(), F_OK); ++i)
      MidiTestSleep(0.01);
    MidiTestSleep(0.1);  // the opening client's notice of it
  }
  return real(name, flags, mode);
}

// Another program's client leaves while the editor's first client opens (a patchbay's probe as
// JACK comes back): the next client given the departed one's number still runs.
TEST_F(MidiPortTest, AClientLeavingAsTheFirstOpensKeepsTheNextClientRunning)
{
  ASSERT_TRUE(serverAsUsersRunIt());  // a synchronous server would wait out the dead client's cycles first
  std::string name = std::string("Leaver-") + MidiTestClientSuffix(), next = "Next-" + name;
  gLeaverObject = "/dev/shm/jack_sem." + std::to_string(getuid()) + "_" + server().name() + "_" + name;
  char* argv[] = {(char*)"jack_midi_dump", (char*)name.c_str(), nullptr};
  pid_t leaver = 0;
  ASSERT_EQ(0, posix_spawnp(&leaver, argv[0], nullptr, nullptr, argv, environ));
  for (int i = 0; i < 3000 && access(gLeaverObject.c_str(), F_OK); ++i)
    MidiTestSleep(0.01);
  gOpener = pthread_self(), gLeaveDuringOpen = leaver;
  MidiOutputPort out;
  EXPECT_TRUE(out.create("RtMidi Output Client"));
  ASSERT_EQ(0, gLeaveDuringOpen.exchange(0)) << "the leaver was not held to the open";
  std::atomic<int> cycles{0};
  jack_client_t* c = jack_client_open(next.c_str(), JackNoStartServer, nullptr);
  ASSERT_TRUE(c && !jack_set_process_callback(c, [](jack_nframes_t, void* n) { return ++*static_cast<std::atomic<int>*>(n), 0; }, &cycles) && !jack_activate(c));
  for (const jack_nframes_t until = jack_frame_time(c) + 5 * 48000; cycles < 10 && (int32_t)(until - jack_frame_time(c)) > 0;)
    MidiTestSleep(0.01);
  EXPECT_GE(cycles.load(), 10) << "the client given the departed one's number did not run";
  jack_client_close(c);
}

// The first burst after the output opens (a start's all-notes-off on 16 channels) reaches a plain
// JACK reader once each and in order, over 500 openings, each right after the last burst arrived.
TEST_F(MidiPortTest, TheFirstBurstAfterTheOutputOpensArrivesOnceEachAndInOrder)
{
  FrameRecorder rec;
  JackMidiOutput out;
  ASSERT_TRUE(rec.port && out.create(std::string("Burst ") + MidiTestClientSuffix()));
  for (int round = 0; round < 500 && !HasFailure(); ++round)
  {
    auto off = [round](int ch) { return Bytes{(unsigned char)(0xB0 | ch), 0x7B, (unsigned char)(round & 0x7F)}; };
    ASSERT_TRUE(out.open(jack_port_name(rec.port), "to Dorvik"));
    for (int ch = 0; ch < 16; ++ch)
      ASSERT_TRUE(out.send(off(ch).data(), 3));
    for (int i = 0; i < 1000 && rec.messages().size() < 16; ++i)
      MidiTestSleep(0.002);
    const auto got = rec.messages();
    ASSERT_EQ(16u, got.size()) << "round " << round;
    for (int ch = 0; ch < 16; ++ch)
      ASSERT_EQ(off(ch), got[ch].second) << "round " << round;
    std::lock_guard<std::mutex> lock(rec.mutex);
    rec.got.clear();
  }
}

// Clock ticks sent late, in one burst, for times 1 ms apart land 48 frames apart (48 kHz); a
// message sent at once goes ahead of them, and every byte arrives as sent.
TEST_F(MidiPortTest, TimedMessagesLandAtTheFrameOfTheirTime)
{
  FrameRecorder rec;
  ASSERT_TRUE(rec.port);
  MidiOutputPort out;
  ASSERT_TRUE(out.create("RtMidi Output Client"));
  ASSERT_TRUE(out.open(jack_port_name(rec.port), "RtMidi Output"));
  const unsigned char sensing = 0xFE, tick = 0xF8, cc[3] = {0xB0, 7, 100};
  for (int i = 0; i < 400 && rec.messages().empty(); ++i)
  {
    out.send(&sensing, 1);
    MidiTestSleep(0.005);
  }
  MidiTestSleep(0.05);
  ASSERT_GT(rec.messages().size(), 0u) << "the connection never carried";

  // The mapping moves on with every cycle: a burst that a cycle boundary splits is sent again.
  auto cycleStart = [&] {
    jack_nframes_t frames = 0;
    jack_time_t current = 0, next = 0;
    float period = 0;
    return jack_get_cycle_times(rec.client, &frames, &current, &next, &period), current;
  };
  for (int attempt = 0; attempt < 50; ++attempt)
  {
    const size_t primers = rec.messages().size();
    const jack_time_t cycle = cycleStart();
    const int64_t now = monotonicNs();
    // A send preempted in it reads an older cycle record: its span bounds that (else sent again).
    int32_t spread[4];
    for (int i = 0; i < 4; ++i)
    {
      const int64_t before = monotonicNs();
      ASSERT_TRUE(out.sendAt(&tick, 1, now - (4 - i) * 1000000LL));
      spread[i] = (int32_t)((monotonicNs() - before) * 48 / 1000000);
    }
    ASSERT_TRUE(out.send(cc, 3));
    const bool undisturbed = cycleStart() == cycle && *std::max_element(spread, spread + 4) <= 4;
    for (int i = 0; i < 400 && rec.messages().size() < primers + 5; ++i)
      MidiTestSleep(0.005);
    const auto got = rec.messages();
    ASSERT_EQ(primers + 5, got.size());
    // A starved server's frames can run ahead of the output's record of its cycles by more than
    // the margin: the first tick is then late, at the frame of the message sent at once.
    if (!undisturbed || got[primers + 1].first == got[primers].first)
      continue;
    EXPECT_EQ((Bytes{0xB0, 7, 100}), got[primers].second);
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(Bytes{0xF8}, got[primers + 1 + i].second);
    for (int i = 1; i < 4; ++i)
      EXPECT_NEAR(48, (int32_t)(got[primers + 1 + i].first - got[primers + i].first),
                  1 + std::max(spread[i - 1], spread[i])) << "tick " << i;
    return;
  }
  FAIL() << "every burst was split by a cycle boundary or a long send";
}

// The clock's loop at 15 BPM, stalled for 2.5 ticks after tick 10, JACK run as users run it: on the port
// no tick is lost, and the ticks after the two late ones (sent at once) keep the grid of those before,
// where a restarted schedule is half a tick off. Judged on the clock the ticks are scheduled on: each
// tick's frame by the receiver's own cycles as it arrived (a server without real-time
// priority on a busy machine loses frames against that clock). A starved server holds a few ticks back
// by tens of milliseconds, so each run's place is its median, three ticks in four within 1.5 periods.
TEST_F(MidiPortTest, ClockTicksKeepTheirGridOnThePortAfterTheirThreadStalls)
{
  ASSERT_TRUE(serverAsUsersRunIt());
  FrameRecorder rec;
  MidiOutputPort out;
  const unsigned char tick = midiclock::kTick;
  ASSERT_TRUE(rec.port && out.create("Sorvanta Editor out") && out.open(jack_port_name(rec.port), "to Dorvik"));
  for (int i = 0; i < 400 && rec.messages().empty(); ++i)
    out.send(&tick, 1), MidiTestSleep(0.005);
  ASSERT_FALSE(rec.messages().empty()) << "the connection never carried";
  const unsigned char last = 0xFE;  // behind every primer still on its way
  for (int i = (out.send(&last, 1), 0); i < 400 && rec.messages().back().second != Bytes{last}; ++i)
    MidiTestSleep(0.005);
  const size_t primers = rec.messages().size();
  MidiClock clock;
  clock.reset(false);
  int sent = 0;
  clock.runTicks(midiclock::intervalNs(15), [&] { return sent < 25; }, [&](int64_t due) {
    out.sendAt(&tick, 1, due);
    if (++sent == 10) MidiTestSleep(2.5 / 6);  // the stall: 2.5 ticks of 1/6 s
  });
  for (int i = 0; i < 400 && rec.messages().size() < primers + 25; ++i)
    MidiTestSleep(0.005);
  MidiTestSleep(0.2);
  const auto got = rec.messages();
  const auto at = rec.times();
  ASSERT_EQ(primers + 25, got.size()) << "ticks lost or added";
  const double spacing = (double)midiclock::intervalNs(15), period = 128e9 / 48000;
  std::vector<double> off[2];  // run 0: ticks 0-9, run 1: 12-24
  for (int i = 0; i < 25; ++i)
    if (i < 10 || i >= 12) off[i >= 12].push_back((int64_t)(at[primers + i] - at[primers]) - spacing * i);
  auto median = [](std::vector<double> v) { return std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end()), v[v.size() / 2]; };
  const double place[2] = {median(off[0]), median(off[1])};
  for (int r = 0; r < 2; ++r)
    EXPECT_GE(4 * std::count_if(off[r].begin(), off[r].end(), [&](double o) { return std::abs(o - place[r]) < 1.5 * period; }),
              3 * (long)off[r].size()) << "run " << r << ": ticks scattered about the grid";
  EXPECT_LT(std::abs(place[1] - place[0]), period / 2) << "ticks off the grid";
}

// A server killed outright (as when its test is killed) keeps its entry in JACK's machine-wide
// table of 8 for good; the next start clears it, and leaves running servers' entries (as this
// suite's) alone.
TEST_F(MidiPortTest, AStartClearsTheEntryOfAServerThatWasKilledAndNoOther)
{
  auto listed = [](pid_t pid) {
    const std::vector<JackServerEntry> t = JackServerTable();
    return std::any_of(t.begin(), t.end(), [&](const JackServerEntry& e) { return e.pid == pid; });
  };
  JackTestServer killed;
  ASSERT_TRUE(killed.start());
  const pid_t gone = killed.pid();
  kill(gone, SIGKILL);
  killed.stop();  // reaps it
  ASSERT_TRUE(listed(gone)) << "the table of this JACK is not the one JackServerTable reads";
  ASSERT_TRUE(killed.start());
  EXPECT_FALSE(listed(gone));
  EXPECT_TRUE(listed(server().pid()));
}

