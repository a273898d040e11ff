// A long session as a musician has one: the stand-in host runs the editor bundle in its window
// on a private X server, over a library of a few hundred banks, with its MIDI ports open on a
// simulated synth over a private JACK server. The pointer (through XTest) works through cycles
// of ordinary use: every tab, knobs turned on each sound page and the mixer while the host's
// transport plays with the MIDI clock on (the tempo stepped meanwhile), a shape menu, another
// part, a bank chosen from the upper list's menu and saved through the file panel, the
// librarian's two grids stepped to further banks, the category banks stepped through, a search,
// a slot sent by double click, sounds fetched by program step and into a slot (that change then
// discarded, which reads the library again), the multi fetched and sent, the part randomized.
//
//   memory      the host's resident size after each cycle, beside the one after the first
//               cycle (the caches a session needs are full by then): it must stay within 10 MB
//   exit time   from the window's close (the window manager's request) to the host's end,
//               beside the same for a short session (12 s, the same library and ports) in the
//               same run, and for sessions closed as soon as their window shows over a large
//               library (still being read, images still being decoded; at the normal and the
//               large size in turn), on an idle machine and with the host on a core that a
//               spinning thread keeps busy: all within 0.2 s. Run it as a user without
//               privileges for a musician's figures (it says whether the host could raise a
//               thread's priority).
//
// Default: 4 cycles. --cycles N, or --minutes M (as many cycles as fit, e.g. 30), or the
// environment variable SORVANTA_SOAK_MINUTES; --banks N sets the library's size (default 400),
// --loading-banks N the large one's (default 3000).
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BankGenerator.h"
#include "DorvikSim.h"
#include "DumpLayout.h"
#include "JackTestServer.h"
#include "WindowFlows.h"
#include "WindowSession.h"

namespace {

constexpr double kMB = 1024.0 * 1024.0;

struct Knob {
  int x, y;
};
// Knobs of each page at the normal size: oscillators, filters, LFOs, mixer.
const std::vector<Knob> kOscKnobs = {{296, 168}, {368, 168}, {440, 168}, {512, 168}, {726, 168}, {368, 247}, {440, 378}};
const std::vector<Knob> kFilterKnobs = {{296, 162}, {368, 162}, {440, 162}, {512, 162}, {584, 162}, {656, 162}};
const std::vector<Knob> kLfoKnobs = {{142, 207}, {206, 207}, {278, 207}, {350, 207}, {442, 207}, {578, 207}};
const int kPartX = 36, kPartY0 = 117, kPartStep = 40;
const int kMixerKnobX0 = 220, kMixerKnobStep = 81, kMixerVolumeY = 405, kMixerPanY = 440;
const int kBankStepX = 353, kUpperStepY = 194, kLowerStepY = 467;
const int kProgramUpX = 1243, kProgramUpY = 64;
const int kRequestMultiX = 1163, kSendMultiX = 1297, kBottomRowY = 746;
const int kRandomX = 1434, kRandomY = 29;
const int kBankMenuX = 877, kBankMenuY = 196;
const int kOscShapeX = 185, kOscShapeY = 162;
const int kCategoriesX = 170, kCategoriesY = 190;
const int kDiscardX = 1110, kDiscardY = 197;
const int kClockX = 857, kClockY = 746;
const int kSearchX = 170, kSearchY = 228, kSearchFieldX = 930, kSearchFieldY = 469;

// A field of the process's status in bytes ("VmRSS:", "RssAnon:"), or -1.
long long statusBytes(pid_t pid, const std::string& key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.compare(0, key.size(), key) == 0) return std::atoll(line.c_str() + key.size()) * 1024;
  return -1;
}

// A knob turned up and back down, a few pixels at a time, as a hand does.
void turn(WindowSession& w, const Knob& k, int pixels) {
  const int x = w.s(k.x), y = w.s(k.y);
  w.press(x, y);
  for (int i = 1; i <= 8; ++i) w.move(x, y - pixels * i / 8);
  for (int i = 7; i >= 0; --i) w.move(x, y - pixels * i / 8);
  w.release();
}

bool isRequest(const DorvikSim::Bytes& b) { return b.size() >= 6 && b[0] == 0xF0 && b[4] <= 0x04; }

// One cycle of ordinary use; the k-th goes to other parts, knobs, banks and slots than the last.
void cycle(WindowSession& w, DorvikSim& sim, const std::string& patches, int k) {
  w.click(w.s(kPartX), w.s(kPartY0 + kPartStep * (k % 16)));  // another part: its sound is fetched
  w.settle();
  // The host's transport plays, with the clock going out, while the sound is edited; the tempo
  // is stepped in the host's field meanwhile.
  const int playX = 20, barY = -w.barHeight() / 2;
  w.click(playX, barY);
  w.click(kTempoFieldX + 75, barY);
  for (int i = 0; i <= k % 3; ++i) w.key(k % 2 ? "Down" : "Up");
  showTab(w, 0);
  for (int p = 0; p < 4; ++p) {
    const int part = (k * 4 + p) % 16;
    turn(w, {kMixerKnobX0 + kMixerKnobStep * part, p % 2 ? kMixerPanY : kMixerVolumeY}, 30 + 5 * (k % 5));
  }
  const std::vector<Knob>* pages[] = {&kOscKnobs, &kFilterKnobs, &kLfoKnobs};
  for (int page = 0; page < 3; ++page) {
    showTab(w, 2 + page);
    const std::vector<Knob>& knobs = *pages[page];
    for (int i = 0; i < 3; ++i) turn(w, knobs[(k * 3 + i) % knobs.size()], i % 2 ? -40 : 40 + 7 * (k % 4));
    if (page == 0) w.menu(w.s(kOscShapeX), w.s(kOscShapeY), {k % 2 ? "Up" : "Down", "Return"});  // another shape
  }
  showTab(w, 5);
  w.click(w.s(kRandomX), w.s(kRandomY));  // the whole part's sound changes and is sent
  w.settle();
  w.click(playX, barY);  // stop

  showTab(w, 1);
  // A bank chosen from the upper list's menu: a folder, then a bank in it.
  std::vector<const char*> keys(static_cast<size_t>(1 + k % 5), "Down");
  keys.push_back("Right");
  keys.insert(keys.end(), static_cast<size_t>(k % 7), "Down");
  keys.push_back("Return");
  w.menu(w.s(kUpperListX), w.s(kUpperListY), keys);
  w.settle(1.0);
  // Saved as a new file through the panel; the file goes again, and with it the listed bank at
  // the next reading of the library (the discard below).
  const std::string saved = patches + "/Soak Saved.mid";
  saveUpperBankAs(w, "Soak Saved", saved);
  std::remove(saved.c_str());
  w.settle(1.0);
  auto step = [&](int y) {
    w.click(w.s(kBankStepX), w.s(y));
    w.settle(1.0);
  };
  for (int i = 0; i < 3; ++i) step(kUpperStepY), step(kLowerStepY);
  // The category banks: the lower grid steps through them, then back to the banks.
  w.click(w.s(kCategoriesX), w.s(kCategoriesY));
  w.settle(1.0);
  for (int i = 0; i < 3; ++i) step(kLowerStepY);
  w.click(w.s(kCategoriesX), w.s(kCategoriesY));
  w.settle(1.0);
  // A search: its banks in the lower grid, stepped once, then the banks again.
  w.click(w.s(kSearchX), w.s(kSearchY));
  w.settle(1.0);
  w.click(w.s(kSearchFieldX), w.s(kSearchFieldY));
  w.settle(1.0);
  w.type("B0" + std::to_string(k % 10));
  w.key("Return");
  w.settle(1.0);
  step(kLowerStepY);
  w.click(w.s(kSearchX), w.s(kSearchY));
  w.settle(1.0);
  const int slot = (k * 37) % 100;
  w.click(w.s(slotX(slot)), w.s(slotY(false, slot)));
  w.doubleClick(w.s(slotX((slot + 5) % 100)), w.s(slotY(true, (slot + 5) % 100)));  // sends the slot's sound
  w.settle();
  // Fetches: the next program (its sound is requested), then the part's sound into the slot.
  size_t before = sim.received(isRequest).size();
  w.click(w.s(kProgramUpX), w.s(kProgramUpY));
  sim.waitFor(isRequest, before + 1, 10.0);
  w.settle();
  before = sim.received(isRequest).size();
  w.menu(w.s(kBankMenuX), w.s(kBankMenuY), {"Down", "Right", "Down", "Return"});  // from Active Slot to Librarian
  sim.waitFor(isRequest, before + 1, 10.0);
  w.settle();
  w.click(w.s(kDiscardX), w.s(kDiscardY));  // the bank as it is on disk again, free to step on
  w.settle();
  // The multi fetched, then sent with its sixteen sounds.
  before = sim.received(isRequest).size();
  w.click(w.s(kRequestMultiX), w.s(kBottomRowY));
  sim.waitFor(isRequest, before + 1, 10.0);
  w.settle(2.0);
  w.click(w.s(kSendMultiX), w.s(kBottomRowY));
  w.settle(3.0);
  sim.clearLog();
}

// A session of its own: editor, sim and library as given; started and ready.
struct Session {
  WindowSession w;
  bool start(DorvikSim& sim, bool atFirstSight = false, const char* size = "normal") {
    WindowSession::Options o;
    o.size = size;
    o.outPort = sim.editorOutputName();
    o.inPort = sim.editorInputName();
    o.returnAtFirstSight = atFirstSight;
    if (!w.start(o)) {
      fprintf(stderr, "e2e_soak_bench: %s\n", w.why().c_str());
      return false;
    }
    if (atFirstSight) return true;
    // The start-up conversation first: the handshake's device enquiry.
    if (!sim.waitFor([](const DorvikSim::Bytes& b) { return b.size() == 6 && b[4] == 0x04; }, 1, 20.0)) {
      fprintf(stderr, "e2e_soak_bench: no handshake\n");
      return false;
    }
    w.settle(3.0);
    return true;
  }
};

// `banks` bank files of 100 sounds in 12 folders below patches.
void writeLibrary(const std::string& patches, int banks) {
  const std::vector<std::string> categories = {"Bass", "Lead", "Pad ", "Keys", "Arp ", "FX  "};
  for (int b = 0; b < banks; ++b) {
    const std::string folder = patches + "/Folder " + std::to_string(b % 12);
    testbanks::makeFolders(folder);
    char prefix[16];
    snprintf(prefix, sizeof prefix, "B%04d", b);
    testbanks::writeFile(folder + "/Bank " + std::to_string(b) + ".syx",
                         testbanks::rawBank(testbanks::sounds(100, prefix, categories)));
  }
}

// One core of this machine kept busy, as a host's other work keeps it: a thread spins on it, and
// the processes started while `pinned` is alive (the server and the host) run on it alone.
class BusyCore {
public:
  BusyCore() {
    sched_getaffinity(0, sizeof mAll, &mAll);
    for (int c = CPU_SETSIZE - 1; c >= 0; --c)
      if (CPU_ISSET(c, &mAll)) {
        CPU_ZERO(&mOne);
        CPU_SET(c, &mOne);
        break;
      }
    mSpinner = std::thread([this] {
      sched_setaffinity(0, sizeof mOne, &mOne);
      while (!mStop.load(std::memory_order_relaxed)) {
      }
    });
  }
  ~BusyCore() {
    mStop = true;
    mSpinner.join();
  }
  struct Pinned {
    explicit Pinned(BusyCore& b) : all(b.mAll) { sched_setaffinity(0, sizeof b.mOne, &b.mOne); }
    ~Pinned() { sched_setaffinity(0, sizeof all, &all); }
    cpu_set_t all;
  };

private:
  cpu_set_t mAll, mOne;
  std::atomic<bool> mStop{false};
  std::thread mSpinner;
};

// Whether a thread of this process, and so of the host it starts, may leave idle priority: a
// musician's desktop gives no such right.
bool mayRaisePriority() {
  bool may = false;
  std::thread([&] {
    sched_param p{};
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &p);
    may = pthread_setschedparam(pthread_self(), SCHED_OTHER, &p) == 0;
  }).join();
  return may;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? -1.0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  constexpr int kLoadingRuns = 6;
  int cycles = 4, banks = 400, bigBanks = 3000;
  double minutes = getenv("SORVANTA_SOAK_MINUTES") ? std::atof(getenv("SORVANTA_SOAK_MINUTES")) : 0.0;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--cycles") cycles = std::atoi(argv[i + 1]);
    else if (a == "--minutes") minutes = std::atof(argv[i + 1]);
    else if (a == "--banks") banks = std::atoi(argv[i + 1]);
    else if (a == "--loading-banks") bigBanks = std::atoi(argv[i + 1]);
  }
  if (!WindowSession::available()) {
    fprintf(stderr, "e2e_soak_bench: no Xvfb\n");
    return 1;
  }
  JackTestServer server;
  if (!server.start()) {
    fprintf(stderr, "e2e_soak_bench: no JACK server\n");
    return 1;
  }
  DorvikSim sim;
  if (!sim.ok()) return 1;
  const auto& g = dump::globalTemplate();
  const std::vector<testbanks::Bytes> stored = testbanks::sounds(128, "Synth", {"Bass", "Lead"});
  sim.setMemory(stored[0], testbanks::multis(1, "Multi")[0], DorvikSim::Bytes(g.begin(), g.end()));
  for (int n = 0; n < 128; ++n) sim.storeSound(0, n, stored[static_cast<size_t>(n)]);

  // Closed as soon as the window shows, over a large library: the library is still being read
  // and the images of the other pages decoded. On an idle machine, and with the host on a core
  // that other work keeps busy.
  std::vector<double> loadingExit[2];
  int stillLoading[2] = {0, 0};
  {
    testbanks::TempDataHome big;
    writeLibrary(big.patches(), bigBanks);
    for (int busy = 0; busy < 2; ++busy)
      for (int run = 0; run < kLoadingRuns; ++run) {
        Session s;
        std::unique_ptr<BusyCore> core(busy ? new BusyCore : nullptr);
        {
          std::unique_ptr<BusyCore::Pinned> pin(busy ? new BusyCore::Pinned(*core) : nullptr);
          if (!s.start(sim, true, run % 2 ? "large" : "normal")) return 1;
        }
        stillLoading[busy] += s.w.output().find("COMPLETED FILE LOADING") == std::string::npos;
        loadingExit[busy].push_back(s.w.closeWindow());
      }
  }
  sim.clearLog();

  testbanks::TempDataHome home;
  writeLibrary(home.patches(), banks);
  // The reference: a short session, its window closed after 12 s.
  double shortExit = -1;
  long long shortResident = -1;
  {
    Session s;
    if (!s.start(sim)) return 1;
    MidiTestSleep(12.0 - 3.0);
    shortResident = statusBytes(s.w.hostPid(), "VmRSS:");
    shortExit = s.w.closeWindow();
  }
  sim.clearLog();

  Session s;
  if (!s.start(sim)) return 1;
  s.w.click(s.w.s(kClockX), s.w.s(kClockY));  // the MIDI clock follows the transport from now on
  const double t0 = MidiTestNow();
  std::vector<long long> resident;
  std::vector<double> at;
  for (int k = 0; minutes > 0 ? MidiTestNow() - t0 < minutes * 60.0 || k < 2 : k < cycles; ++k) {
    cycle(s.w, sim, home.patches(), k);
    MidiTestSleep(1.0);  // the idle work ahead (images, names) done
    resident.push_back(statusBytes(s.w.hostPid(), "VmRSS:"));
    at.push_back((MidiTestNow() - t0) / 60.0);
    printf("cycle %3d at %5.1f min: resident %7.1f MB, of it heap and other private memory %7.1f MB\n", k + 1,
           at.back(), resident.back() / kMB, statusBytes(s.w.hostPid(), "RssAnon:") / kMB);
    fflush(stdout);
  }
  const double soakExit = s.w.closeWindow();
  if (resident.empty() || resident.front() < 0) return 1;

  const double first = resident.front() / kMB, last = resident.back() / kMB;
  double peak = first;
  for (long long r : resident) peak = std::max(peak, r / kMB);
  printf("\nsoak: %zu cycles in %.1f min over %d banks, JACK ports open on a simulated synth\n", resident.size(),
         at.back(), banks);
  printf("resident after the first cycle %7.1f MB, after the last %7.1f MB (peak %.1f): growth %+.1f MB (limit 10 MB)\n",
         first, last, peak, last - first);
  printf("resident of the short session before its close: %.1f MB\n", shortResident / kMB);
  printf("exit after the window's close: soak session %.3f s, short session (12 s) %.3f s (limit 0.2 s)\n", soakExit,
         shortExit);
  printf("exit after the window's close at first sight over %d banks, the host %s raise a thread's priority:\n",
         bigBanks, mayRaisePriority() ? "allowed to" : "without the right to");
  for (int busy = 0; busy < 2; ++busy)
    printf("  %-20s (library still loading in %d of %d): median %.3f s, slowest %.3f s (limit 0.2 s)\n",
           busy ? "host on a busy core" : "idle machine", stillLoading[busy], kLoadingRuns, median(loadingExit[busy]),
           *std::max_element(loadingExit[busy].begin(), loadingExit[busy].end()));
  return soakExit >= 0 && shortExit >= 0 ? 0 : 1;
}
