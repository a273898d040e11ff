// The JACK roads a musician's machine takes, with the real host running the editor in its window
// and a simulated Dorvik in this process (its own clients, as a synth's interface has):
//
//   e2e_jack_roads_bench [--restarts N] [--knob-minutes M] [--stops K] [--log FILE] [--probe-stays] [HOST BUNDLE]
//
// --restarts N: N times the synth's clients close, jackd stops (SIGTERM), 0.3 s pass and jackd
//   starts again under its name, at its defaults (no -t, no -S, -p 128; SORVANTA_JACK_PERIOD and
//   SORVANTA_JACK_REALTIME change that), and the synth's clients are made anew, every 2 to 6 s.
//   Figures: the time from the synth's ports to the editor's first message there (the ports back,
//   bound 1.5 s), and to a knob turned in the window (bound 3 s, else a wedge), beside the time
//   a knob took before any restart.
// --knob-minutes M: M minutes of knob traffic with no restart, the host's whole process stopped
//   for 1.5 s K times (--stops, default 3) meanwhile: the dumps the synth got (bound 0) and the
//   clients the editor replaced (bound 0).
// HOST BUNDLE: the host and bundle to run (default this build's): those of the ASan build for the
// sanitizer's road. Run it beside ../shared/tools/busy-machine. --log writes the host's output to
// FILE, and what the synth got in a round over its bound to standard output. The exit status is 0
// only when the host ended cleanly (with no sanitizer report) and every figure met its bound.
// The server's start probe closes at once, as in the tests: a client that leaves just as the
// editor's first client opens, whose leave libjack misses in that process (see
// JackTestServer::setProbeStays). --probe-stays keeps it open while the server runs, as a
// patchbay's client stays.
// SORVANTA_ROADS_HOLD=S: a round whose ports are not back within 10 s is held S seconds first, its
// processes named ("HOLD round ..."), for a debugger to take their stacks.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "DorvikSim.h"
#include "DumpLayout.h"
#include "JackTestServer.h"
#include "WindowFlows.h"

namespace {

typedef std::vector<unsigned char> Bytes;

// Oscillator 1 detune of part 1 (sound parameter 3), as the knob on the second tab sends it.
bool isDetune(const Bytes& m) { return m.size() == 10 && m[0] == 0xF0 && m[4] == 0x20 && m[5] == 0 && m[7] == 0x03; }
// Whole sounds, multis and global settings sent to the synth.
bool isDump(const Bytes& m) { return m.size() > 12 && m[0] == 0xF0; }

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

struct Road {
  WindowSession w;
  std::unique_ptr<DorvikSim> sim;
  int value = 0;
  // The synth with its memory, four parts of its multi playing, answering in 20 ms.
  bool makeSim() {
    sim.reset(new DorvikSim);
    const auto& s = dump::initSound();
    const auto& m = dump::initMulti();
    const auto& g = dump::globalTemplate();
    Bytes multi(m.begin(), m.end());
    for (int k = 0; k < 16; ++k) multi[39 + 22 * k + 12] = 1, multi[39 + 22 * k + 7] = k < 4 ? 1 : 0;
    DorvikSim::checksum(multi);
    sim->setMemory(Bytes(s.begin(), s.end()), multi, Bytes(g.begin(), g.end()));
    sim->setReplyDelay(0.02);
    return sim->ok();
  }
  // Turns the knob a step at a time until the synth has a detune it had not got by `since`, at most
  // `seconds`; the seconds it took from `since`, or -1.
  double knobReaches(double since, double seconds) {
    const double until = since + seconds;
    for (int step = 0; MidiTestNow() < until; ++step) {
      const int dy = (value++ % 2) ? 12 : -12;
      w.click(w.s(tabX(2)), w.s(kTabY));  // the oscillators' page (an overlay may have taken an earlier click)
      w.drag(w.s(kOsc1DetuneX), w.s(kOsc1KnobY), w.s(kOsc1DetuneX), w.s(kOsc1KnobY) + dy, 2);
      for (const double end = MidiTestNow() + 0.15; MidiTestNow() < end; MidiTestSleep(0.01))
        for (const auto& e : sim->received(isDetune))
          if (e.time >= since) return e.time - since;
    }
    return -1;
  }
};

}  // namespace

int main(int argc, char** argv) {
  int restarts = 0, stops = 3;
  double knobMinutes = 0;
  std::string logFile;
  bool probeStays = false;
  std::vector<std::string> rest;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--restarts" && i + 1 < argc) restarts = atoi(argv[++i]);
    else if (a == "--knob-minutes" && i + 1 < argc) knobMinutes = atof(argv[++i]);
    else if (a == "--stops" && i + 1 < argc) stops = atoi(argv[++i]);
    else if (a == "--log" && i + 1 < argc) logFile = argv[++i];
    else if (a == "--probe-stays") probeStays = true;
    else rest.push_back(a);
  }
  if ((rest.size() != 2 && !rest.empty()) || (!restarts && knobMinutes <= 0)) {
    fprintf(stderr, "usage: e2e_jack_roads_bench [--restarts N] [--knob-minutes M] [--stops K] [--log FILE] [--probe-stays] [HOST BUNDLE]\n");
    return 2;
  }
  setvbuf(stdout, nullptr, _IOLBF, 0);
  JackTestServer server(JackTestServer::kAsUsersRunIt);
  server.setProbeStays(probeStays);
  if (!server.start()) return 2;
  Road r;
  if (!r.makeSim()) return 2;

  char tmpl[] = "/tmp/sorvanta-restartrun-XXXXXX";
  if (!mkdtemp(tmpl)) return 2;
  const std::string root = tmpl;
  setenv("XDG_DATA_HOME", root.c_str(), 1);
  std::filesystem::create_directories(root + "/Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor/Patches");
  WindowSession::Options o;
  o.outPort = r.sim->editorOutputName(), o.inPort = r.sim->editorInputName();
  if (!rest.empty()) o.host = rest[0], o.bundle = rest[1];
  o.leakCheck = true;
  // The system libraries' leaks are named by whole stacks (lsan.supp), as in the host run.
  if (const char* asan = getenv("ASAN_OPTIONS"))
    setenv("ASAN_OPTIONS", (std::string(asan) + ":fast_unwind_on_malloc=0:malloc_context_size=128").c_str(), 1);
  if (!r.w.start(o)) {
    fprintf(stderr, "e2e_jack_roads_bench: %s\n", r.w.why().c_str());
    return 2;
  }
  const double first = r.knobReaches(MidiTestNow(), 30.0);
  printf("start: the knob reached the synth after %.2f s\n", first);
  int wedges = first < 0, crashes = 0, lateBack = 0;
  double slowestBack = 0, slowestKnob = 0;
  for (int round = 0; round < restarts && r.w.hostRunning(); ++round) {
    MidiTestSleep(2.0 + (round * 7 % 5));  // every 2 to 6 s
    r.sim.reset();
    if (!server.restartUnderItsName(0.3)) {
      fprintf(stderr, "round %d: jackd did not start again\n", round);
      break;
    }
    if (!r.makeSim()) fprintf(stderr, "round %d: the synth's ports did not open\n", round);
    const double made = MidiTestNow();
    // The editor's device check is the first thing it sends once both ports carry again.
    const bool back = r.sim->waitFor([](const Bytes&) { return true; }, 1, 10.0);
    if (const char* hold = getenv("SORVANTA_ROADS_HOLD"); hold && !back) {  // time to take the processes' stacks
      printf("HOLD round %d: bench %d, host %d, server %s\n", round, (int)getpid(), (int)r.w.hostPid(), server.name().c_str());
      MidiTestSleep(atof(hold));
    }
    const auto log = r.sim->log();
    const double backAfter = back && !log.empty() ? log.front().time - made : -1;
    const double knob = r.knobReaches(made, 3.0);
    slowestBack = std::max(slowestBack, backAfter < 0 ? 99.0 : backAfter);
    slowestKnob = std::max(slowestKnob, knob < 0 ? 99.0 : knob);
    lateBack += backAfter < 0 || backAfter > 1.5;
    wedges += knob < 0;
    printf("round %d: ports back after %.2f s, the knob reached the synth after %.2f s%s\n", round, backAfter, knob,
           knob < 0 ? "  WEDGE" : "");
    if (knob < 0 && !logFile.empty())
      for (const auto& e : r.sim->log())  // a request whole; of a dump, its first ten bytes
        printf("  %.3f %s %zu bytes: %s\n", e.time - made, e.incoming ? "<-" : "->", e.bytes.size(),
               hexBytes(Bytes(e.bytes.begin(), e.bytes.begin() + std::min<size_t>(e.bytes.size(), 10))).c_str());
  }
  int dumps = 0, replacements = 0;
  if (knobMinutes > 0 && r.w.hostRunning()) {
    r.sim->clearLog();
    const std::string said = r.w.output();
    const size_t replacedBefore = count(said, "a new one opened") + count(said, "JACK ran its client late");
    const double start = MidiTestNow(), end = start + knobMinutes * 60;
    for (int stop = 0; MidiTestNow() < end && r.w.hostRunning();) {
      if (stop < stops && MidiTestNow() > start + (stop + 1) * (end - start) / (stops + 1)) {
        kill(r.w.hostPid(), SIGSTOP), MidiTestSleep(1.5), kill(r.w.hostPid(), SIGCONT), ++stop;
        printf("the host's process stopped for 1.5 s (%d)\n", stop);
      }
      if (r.knobReaches(MidiTestNow(), 3.0) < 0) ++wedges, printf("the knob did not reach the synth within 3 s\n");
    }
    for (const auto& e : r.sim->log())
      if (e.incoming && isDump(e.bytes)) ++dumps;
    const std::string saidAfter = r.w.output();
    replacements = static_cast<int>(count(saidAfter, "a new one opened") + count(saidAfter, "JACK ran its client late") -
                                    replacedBefore);
    printf("%.1f minutes of knob traffic: %d dumps sent to the synth, %d clients replaced or run late at an open\n",
           knobMinutes, dumps, replacements);
  }
  crashes = !r.w.hostRunning();
  {
    const std::string said = r.w.output();
    printf("the host said \"a new one opened\" %zu times, \"JACK ran its client late\" %zu times\n",
           count(said, "a new one opened"), count(said, "JACK ran its client late"));
  }
  const double took = crashes ? -1 : r.w.closeWindow(120.0);
  const bool clean = took >= 0;
  if (!logFile.empty())
    if (FILE* f = fopen(logFile.c_str(), "w")) fputs(r.w.output().c_str(), f), fclose(f);
  printf("%d restarts: %d wedges, %d rounds with the ports back later than 1.5 s; the slowest ports back %.2f s after the "
         "synth's, the slowest knob %.2f s after them, beside %.2f s for a knob before any restart; host %s\n",
         restarts, wedges, lateBack, slowestBack, slowestKnob, first, crashes ? "CRASHED" : clean ? "ended cleanly" : "did not end cleanly");
  if (!clean) {
    const std::string said = r.w.output();
    fprintf(stderr, "e2e_jack_roads_bench: the host said last:\n%s\n", said.substr(said.size() > 60000 ? said.size() - 60000 : 0).c_str());
    fprintf(stderr, "e2e_jack_roads_bench: the data folder is kept in %s\n", root.c_str());
  } else if (system(("rm -rf '" + root + "'").c_str()) != 0) {
  }
  return clean && !wedges && !lateBack && !dumps && !replacements ? 0 : 1;
}
