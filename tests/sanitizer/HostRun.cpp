// Runs the real host program with the editor's bundle, a window and MIDI traffic, for the
// sanitizer builds: a private JACK server (dummy driver), a peer standing in for the synth whose
// ports the editor's settings file names, and the peer flooding the editor (10,000 messages a
// second) from before the host starts, as a synth that is already sending does: the editor
// reopens its ports while it is being made. The flood carries parameter changes, controllers that
// switch the shown sections, envelope modes (each switches the part again and refills the
// program number menus) and program changes. Meanwhile a hand (XTest, on a private X server)
// opens the program number menu and the librarian's slot menus and clicks on while they are open,
// and half-way the JACK server is restarted under the editor, whose clients die with it, and the
// output menu is opened (which replaces the dead clients). The exit status is the host's: 0 only
// when it ended cleanly, with no sanitizer report that the suppressions in this folder do not name.
//
//   host_sanitizer_run HOST BUNDLE ROUNDS
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "JackTestServer.h"
#include "MidiTestPeer.h"
#include "WindowFlows.h"
#include "WindowSession.h"

namespace {

// The synth: kRate messages a second from start() until stop(), through whichever peer is
// plugged in (none while the server restarts).
class Flood {
public:
  static constexpr double kRate = 10000.0;

  void plug(std::unique_ptr<MidiTestPeer> peer) {
    std::lock_guard<std::mutex> lock(mLock);
    mPeer = std::move(peer);
  }
  std::unique_ptr<MidiTestPeer> unplug() {
    std::lock_guard<std::mutex> lock(mLock);
    return std::move(mPeer);
  }
  void start() {
    mThread = std::thread([this] {
      const double start = MidiTestNow();
      while (mRunning) {
        // At most a few JACK periods' worth at once: a late wake-up catches up without
        // overrunning the peer's output queue.
        const long due = static_cast<long>((MidiTestNow() - start) * kRate);
        {
          std::lock_guard<std::mutex> lock(mLock);
          for (int burst = 0; mSent < due && burst < 200; ++burst, ++mSent)
            if (mPeer) mPeer->send(message(static_cast<unsigned>(mSent)));
        }
        MidiTestSleep(0.001);
      }
    });
  }
  void stop() {
    mRunning = false;
    if (mThread.joinable()) mThread.join();
  }
  long sent() const { return mSent; }

private:
  static MidiTestPeer::Bytes message(unsigned v) {
    const unsigned char value = static_cast<unsigned char>(v & 0x7F);
    if (v % 500 == 0) return {0xC0, static_cast<unsigned char>((v / 500) & 0x7F)};  // program change
    // Oscillator 1's shape by its controller: the shown section switches.
    if (v % 50 == 1) return {0xB0, 0x1F, static_cast<unsigned char>(v / 50 % 7)};
    // Filter envelope mode (sound parameter 196): the part is switched again, its menus refilled.
    if (v % 50 == 2) return {0xF0, 0x3E, 0x10, 0x00, 0x20, 0x00, 0x01, 0x44, static_cast<unsigned char>(v / 50 % 4), 0xF7};
    if (v % 2) return {0xB0, 0x4A, value};
    return {0xF0, 0x3E, 0x10, 0x00, 0x20, 0x00, 0x00, 0x4E, value, 0xF7};
  }

  std::mutex mLock;
  std::unique_ptr<MidiTestPeer> mPeer;
  std::thread mThread;
  std::atomic<bool> mRunning{true};
  std::atomic<long> mSent{0};
};

// Opens a menu and clicks on while it is open, then closes whatever is open.
void clicksIntoMenu(WindowSession& w, int x, int y, int button) {
  w.clicks(x, y, 1, button);
  w.waitForPopups(true, 2.0);
  w.clicks(x, y, 4, button);
  for (int i = 0; i < 4 && !w.waitForPopups(false, 0.3); ++i) w.key("Escape");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: host_sanitizer_run HOST BUNDLE ROUNDS\n");
    return 2;
  }
  const int rounds = atoi(argv[3]);
  setvbuf(stdout, nullptr, _IOLBF, 0);

  JackTestServer server;
  if (!server.start()) return 2;
  auto peer = std::make_unique<MidiTestPeer>();
  if (!peer->ok()) return 2;
  WindowSession::Options o;
  o.outPort = peer->inputPortName();
  o.inPort = peer->outputPortName();
  o.host = argv[1];
  o.bundle = argv[2];
  o.leakCheck = true;
  o.returnAtFirstSight = true;
  o.hostArgs = {"--play", "--at", "0.5 midi B0 07 64", "--at", "1 tempo 140", "--at", "1.5 sysex F0 3E 10 00 20 00 00 4E 40 F7",
                "--at", "2 stop", "--at", "2.5 play"};
  Flood flood;
  flood.plug(std::move(peer));
  flood.start();

  // A data folder of its own (the session writes the settings file that names the peer's ports).
  char tmpl[] = "/tmp/sorvanta-hostrun-XXXXXX";
  if (!mkdtemp(tmpl)) return 2;
  const std::string root = tmpl;
  setenv("XDG_DATA_HOME", root.c_str(), 1);
  // Leaks of the system libraries are named by their exported functions (lsan.supp), which only
  // whole stacks reach: the fast walk stops at the first library built without frame pointers.
  if (const char* asan = getenv("ASAN_OPTIONS"))
    setenv("ASAN_OPTIONS", (std::string(asan) + ":fast_unwind_on_malloc=0:malloc_context_size=128").c_str(), 1);

  const double start = MidiTestNow();
  double took = -1.0;
  std::string output;
  {
    WindowSession w;
    if (!w.start(o)) {
      fprintf(stderr, "host_sanitizer_run: %s\n", w.why().c_str());
      flood.stop();
      return 1;
    }
    printf("host_sanitizer_run: the window shows after %.1f s\n", MidiTestNow() - start);
    w.click(w.s(tabX(2)), w.s(kTabY));  // the oscillators: the controllers gray their zones
    for (int round = 0; round < rounds && w.hostRunning(); ++round) {
      if (round == rounds / 2) {
        // The server goes under the editor; a new one comes up by the same name, with the synth.
        flood.unplug().reset();
        server.stop();
        if (!server.start()) return 2;
        flood.plug(std::make_unique<MidiTestPeer>());
        w.menu(kOutFieldX, kFieldRowY, {"Down", "Down", "Return"});
      }
      clicksIntoMenu(w, kProgramBoxX, kNumberBoxY, 1);
      if (round % 3 == 2) {
        w.click(w.s(tabX(1)), w.s(kTabY));  // the librarian: its slot menus
        clicksIntoMenu(w, slotX(round), slotY(false, round), 3);
        clicksIntoMenu(w, slotX(round), slotY(true, round), 3);
        w.click(w.s(tabX(2 + round % 4)), w.s(kTabY));
      }
    }
    const double closing = MidiTestNow();
    printf("host_sanitizer_run: the clicks took %.1f s\n", closing - start);
    took = w.closeWindow(120.0);
    printf("host_sanitizer_run: the host ended %.1f s after the window was closed\n", MidiTestNow() - closing);
    output = w.output();
  }
  flood.stop();
  printf("host_sanitizer_run: %d rounds in %.1f s; the peer sent %ld messages\n", rounds, MidiTestNow() - start, flood.sent());
  if (took < 0) {
    // The report, or else the end of what the host said (it prints every message it sends).
    size_t from = std::string::npos;
    for (const char* mark : {"==ERROR", "WARNING: ThreadSanitizer", "runtime error:"})
      from = std::min(from, output.find(mark));
    if (from == std::string::npos) from = output.size() > 4000 ? output.size() - 4000 : 0;
    fprintf(stderr, "host_sanitizer_run: the host did not end cleanly; it said:\n%s\n", output.substr(from, 60000).c_str());
    fprintf(stderr, "host_sanitizer_run: the editor's data folder (with its log) is kept in %s\n", root.c_str());
    return 1;
  }
  if (system(("rm -rf '" + root + "'").c_str()) != 0) fprintf(stderr, "host_sanitizer_run: could not remove %s\n", root.c_str());
  return 0;
}
