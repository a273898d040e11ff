// Runs the real host program with the editor's bundle, a window and MIDI traffic, for the
// sanitizer builds: a private JACK server (dummy driver), a peer standing in for the synth whose
// ports the editor's settings file names, and the peer flooding the editor with parameter
// changes, controllers and program changes (10,000 messages a second) from before the host
// starts, as a synth that is already sending does: the editor reopens its ports while it is being
// made. The exit status is the host's: 0 only when the host ended cleanly, with no sanitizer
// report that the suppressions in this folder do not name. While the peer floods, a hand (XTest)
// opens menus and clicks on while they are open, and half-way the JACK server restarts.
//
//   host_sanitizer_run HOST BUNDLE ROUNDS
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "JackTestServer.h"
#include "MidiTestPeer.h"
#include "WindowFlows.h"

#if defined(__SANITIZE_THREAD__)
constexpr bool kThreadSanitizer = true;
#elif defined(__has_feature)
constexpr bool kThreadSanitizer = __has_feature(thread_sanitizer);
#else
constexpr bool kThreadSanitizer = false;
#endif

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: host_sanitizer_run HOST BUNDLE ROUNDS\n");
    return 2;
  }
  const int rounds = atoi(argv[3]);
  setvbuf(stdout, nullptr, _IOLBF, 0);

  JackTestServer server;
  if (!server.start()) return 2;
  std::unique_ptr<MidiTestPeer> synth(new MidiTestPeer);  // the peer, made anew with the server
  if (!synth->ok()) return 2;
  std::mutex peerLock;

  // A data folder of its own whose settings file names the peer's ports (first run done), so the
  // editor opens them as it starts.
  char tmpl[] = "/tmp/sorvanta-hostrun-XXXXXX";
  if (!mkdtemp(tmpl)) return 2;
  const std::string root = tmpl;
  setenv("XDG_DATA_HOME", root.c_str(), 1);
  const std::string patches = root + "/Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor/Patches";
  std::filesystem::create_directories(patches);
  writeTwoBanks(patches);
  WindowSession::Options o;
  o.outPort = synth->inputPortName(), o.inPort = synth->outputPortName(), o.host = argv[1], o.bundle = argv[2];
  o.leakCheck = o.returnAtFirstSight = true;
  o.hostArgs = {"--play", "--at", "0.5 midi B0 07 64", "--at", "1 tempo 140", "--at", "1.5 sysex F0 3E 10 00 20 00 00 4E 40 F7",
                "--at", "2 stop", "--at", "2.5 play"};
  // Leaks of the system libraries are named by their exported functions (lsan.supp), which only
  // whole stacks reach: the fast walk stops at the first library built without frame pointers.
  if (const char* asan = getenv("ASAN_OPTIONS"))
    setenv("ASAN_OPTIONS", (std::string(asan) + ":fast_unwind_on_malloc=0:malloc_context_size=128").c_str(), 1);

  // A synth's knob sweep, controllers, envelope modes (each switches the part again, and so refills
  // the program number menus) and now and then a program change, kRate messages a second.
  const double kRate = 10000.0;
  long sent = 0;
  unsigned v = 0;
  const double start = MidiTestNow();
  // At most a few JACK periods' worth at once: a late wake-up catches up without overrunning the
  // peer's output queue.
  std::atomic<bool> paused{false};  // nothing sent meanwhile, and nothing owed for it after
  auto sendDue = [&] {
    const long due = static_cast<long>((MidiTestNow() - start) * kRate);
    std::lock_guard<std::mutex> lock(peerLock);
    if (paused) sent = due;
    MidiTestPeer& peer = *synth;
    for (int burst = 0; sent < due && burst < 200; ++burst, ++v) {
      const unsigned char value = static_cast<unsigned char>(v & 0x7F), mode = static_cast<unsigned char>(v / 50 % 4);
      if (v % 500 == 0) {
        peer.send({0xC0, static_cast<unsigned char>((v / 500) & 0x7F)});
      } else if (v % 50 == 1) {
        peer.send({0xB0, 0x1F, mode});  // oscillator 1's shape
      } else if (v % 50 == 2) {
        peer.send({0xF0, 0x3E, 0x10, 0x00, 0x20, 0x00, 0x01, 0x44, mode, 0xF7});  // the filter envelope's mode
      } else if (v % 2) {
        peer.send({0xB0, 0x4A, value});
      } else {
        peer.send({0xF0, 0x3E, 0x10, 0x00, 0x20, 0x00, 0x00, 0x4E, value, 0xF7});
      }
      ++sent;
    }
  };
  std::atomic<bool> flooding{true};
  std::thread flood([&] { for (; flooding; MidiTestSleep(0.001)) sendDue(); });

  WindowSession w;
  bool up = w.start(o);
  // A menu, four clicks behind it that reach the host together, then whatever is still open closed.
  auto clicksIntoMenu = [&w](int x, int y, int button) {
    w.click(x, y, button);
    w.waitForPopups(true, 2.0);
    w.clicksReachingBusyHost(x, y, 4, button);
    for (int i = 0; i < 4 && !w.waitForPopups(false, 0.3); ++i) w.key("Escape");
  };
  // The peer's never-answered check cancelled (its overlay takes clicks), library names on (the envelope
  // modes switch the part by the library's names), then the oscillators (the controllers gray zones).
  for (auto [x, y] : std::initializer_list<std::pair<int, int>>{
           {kCancelX, kCancelY}, {tabX(1), kTabY}, {kLibraryNamesX, kLibraryNamesY}, {tabX(2), kTabY}})
    if (up) w.click(w.s(x), w.s(y));
  // The file chooser, whose labels and lists GTK lays out through Pango: a bank saved through it.
  // The peer pauses: each of its program changes starts a fetch, whose overlay takes the clicks.
  // Not under TSan: the chooser's folder readers, GIO's pool threads, take what they read from the
  // main thread through GLib's own futex locks, which TSan does not see in uninstrumented GLib.
  bool chose = !up || kThreadSanitizer;
  paused = true;
  for (int i = 0; i < 10 && !chose; ++i) {
    w.click(w.s(kCancelX), w.s(kCancelY));
    w.click(w.s(tabX(1)), w.s(kTabY));
    chose = !saveUpperBankAs(w, "Host run", patches + "/Host run.mid", 30.0).empty();
  }
  paused = false;
  if (up) w.click(w.s(tabX(2)), w.s(kTabY));
  for (int round = 0; up && round < rounds && w.hostRunning(); ++round) {
    if (round == rounds / 2) {
      std::lock_guard<std::mutex> lock(peerLock);
      synth.reset();
      server.stop();
      up = server.start();
      synth.reset(new MidiTestPeer);
      w.menu(kOutFieldX, kFieldRowY, {"Down", "Down", "Return"});
    }
    clicksIntoMenu(kProgramBoxX, kNumberBoxY, 1);
    if (round % 3 == 2) {
      w.click(w.s(tabX(1)), w.s(kTabY));  // the librarian: its slot menus
      clicksIntoMenu(slotX(round), slotY(false, round), 3);
      clicksIntoMenu(slotX(round), slotY(true, round), 3);
      w.click(w.s(tabX(2 + round % 4)), w.s(kTabY));
    }
  }
  const double took = up ? w.closeWindow(120.0) : -1.0;
  flooding = false;
  flood.join();
  printf("host_sanitizer_run: %d rounds in %.1f s; the peer sent %ld messages\n", rounds, MidiTestNow() - start, sent);
  const std::string said = up ? w.output() : w.why();
  if (took < 0)  // a report ends what the host said (it prints every message it sends)
    fprintf(stderr, "host_sanitizer_run: the host did not end cleanly; it said last:\n%s\n",
            said.substr(said.size() > 60000 ? said.size() - 60000 : 0).c_str());
  if (!chose) fprintf(stderr, "host_sanitizer_run: the file chooser saved no bank\n");
  const int rc = took < 0 || !chose ? 1 : 0;
  if (rc != 0)
    fprintf(stderr, "host_sanitizer_run: the editor's data folder (with its log) is kept in %s\n", root.c_str());
  else if (system(("rm -rf '" + root + "'").c_str()) != 0)
    fprintf(stderr, "host_sanitizer_run: could not remove %s\n", root.c_str());
  return rc;
}
