// The engine's MIDI clock measured where the synth sees it: on a JACK port. A recording client on a
// private server (dummy driver, 48 kHz, 256-frame cycles of 5.33 ms) notes the frame of every
// 0xF8 that arrives. The port's frames are the synth's timeline; their rate against the system
// clock is the port's own (the dummy driver's cycles run about 0.1% slow, as a sound card's clock
// differs from the computer's), so the grid is the least-squares line through the frames: a
// constant latency and the port's rate are fitted, nothing else. Each tick's distance from that
// line is what a synth following the clock would hear as jitter. The fitted spacing is printed
// beside interval x the frame rate measured over the same run, so a tempo error would show.
//
// The server runs with real-time scheduling, as JACK is run for music (and without it its dummy
// driver's frames wander by milliseconds whenever the machine is busy, whoever sends); the clock's
// own thread stays an ordinary one, as in the editor.
//
// Rows, measured side by side in the same seconds (one recording client each), so that all three
// see the same machine; the load average is printed with them, because a JACK server without
// real-time priority on a busy machine moves its own frames about, whoever sends:
//   engine clock -> our JACK output      the clock loop handing each tick's ideal time to
//                                        MidiOutputPort::sendAt, as the editor does;
//   engine clock -> RtMidi JACK output   the same loop through RtMidi's JACK output, which puts
//                                        every message at frame 0 of the next cycle;
//   sleep-to-deadline loop (reference)   a bare clock_nanosleep(TIMER_ABSTIME) loop sending the
//                                        same ticks through our output: the CPU floor of a
//                                        thread that sleeps to absolute times.
// CPU is the sending thread's own time. Physical bound on the port: one frame, 0.021 ms.
#include "JackTestServer.h"
#include "MidiClock.h"
#include "MidiPorts.h"

#include <RtMidi.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

const double kRate = 48000.0;
const int kSeconds = 8;

double threadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// A JACK client with one MIDI input that writes down the frame of every clock tick it receives.
class Recorder {
 public:
  bool open(const char* tag) {
    const std::string name = std::string("ClockRecorder ") + tag + " " + MidiTestClientSuffix();
    client = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
    if (!client) return false;
    port = jack_port_register(client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    frames.assign(200000, 0);
    jack_set_process_callback(client, &Recorder::process, this);
    return port && jack_activate(client) == 0;
  }
  ~Recorder() {
    if (client) jack_client_close(client);
  }
  std::string portName() const { return jack_port_name(port); }
  void clear() {
    count.store(0);
    sawAny.store(false);
  }
  size_t ticks() const { return count.load(); }
  bool seenAnything() const { return sawAny.load(); }
  std::vector<int64_t> recorded() const { return std::vector<int64_t>(frames.begin(), frames.begin() + count.load()); }
  bool serverRealtime() const { return jack_is_realtime(client) != 0; }
  // The frame counter now, for the rate of the port's clock against the system clock.
  int64_t frameNow() const { return jack_frame_time(client); }

 private:
  static int process(jack_nframes_t n, void* arg) {
    Recorder* r = static_cast<Recorder*>(arg);
    void* buf = jack_port_get_buffer(r->port, n);
    // Frame counter unwrapped to 64 bits.
    const jack_nframes_t start = jack_last_frame_time(r->client);
    if (start < r->lastStart) r->wraps += int64_t(1) << 32;
    r->lastStart = start;
    const uint32_t events = jack_midi_get_event_count(buf);
    for (uint32_t i = 0; i < events; ++i) {
      jack_midi_event_t ev;
      if (jack_midi_event_get(&ev, buf, i) != 0) continue;
      r->sawAny.store(true);
      const size_t k = r->count.load(std::memory_order_relaxed);
      if (ev.size == 1 && ev.buffer[0] == midiclock::kTick && k < r->frames.size()) {
        r->frames[k] = r->wraps + start + ev.time;
        r->count.store(k + 1, std::memory_order_release);
      }
    }
    return 0;
  }

  jack_client_t* client = nullptr;
  jack_port_t* port = nullptr;
  std::vector<int64_t> frames;
  std::atomic<size_t> count{0};
  std::atomic<bool> sawAny{false};
  jack_nframes_t lastStart = 0;
  int64_t wraps = 0;
};

struct Figures {
  double p50 = 0, p99 = 0, max = 0, cpuMs = 0, spacing = 0, expected = 0;
  size_t ticks = 0;
};

// Distances (ms, at the nominal rate) of the frames from their least-squares line over the tick
// numbers.
Figures onGrid(const std::vector<int64_t>& frames) {
  Figures f;
  f.ticks = frames.size();
  if (frames.size() < 2) return f;
  const double n = static_cast<double>(frames.size());
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    const double x = static_cast<double>(i), y = static_cast<double>(frames[i] - frames[0]);
    sx += x, sy += y, sxx += x * x, sxy += x * y;
  }
  const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx), icept = (sy - slope * sx) / n;
  std::vector<double> off;
  for (size_t i = 0; i < frames.size(); ++i)
    off.push_back(std::abs(static_cast<double>(frames[i] - frames[0]) - (icept + slope * i)) * 1e3 / kRate);
  std::sort(off.begin(), off.end());
  f.p50 = off[off.size() / 2];
  f.p99 = off[std::min(off.size() - 1, static_cast<size_t>(off.size() * 0.99))];
  f.max = off.back();
  f.spacing = slope;
  return f;
}

// Sends through send until the recorder has seen a message (the connection is live), then clears.
bool prime(Recorder& rec, const std::function<void()>& send) {
  for (int i = 0; i < 400 && !rec.seenAnything(); ++i) {
    send();
    const timespec ts{0, 5000000};
    nanosleep(&ts, nullptr);
  }
  const timespec settle{0, 50000000};
  nanosleep(&settle, nullptr);
  rec.clear();
  return true;
}

// Runs loop, which sends the ticks, on this thread: its CPU time, and the ticks as recorded.
Figures measure(Recorder& rec, int64_t interval, const std::function<void()>& loop) {
  const int64_t f0 = rec.frameNow(), t0 = midiclock::nowNs();
  const double cpu0 = threadCpuMs();
  loop();
  const double cpu = threadCpuMs() - cpu0;
  const double rate = static_cast<double>(rec.frameNow() - f0) * 1e9 / static_cast<double>(midiclock::nowNs() - t0);
  const timespec drain{0, 100000000};
  nanosleep(&drain, nullptr);
  Figures f = onGrid(rec.recorded());
  f.cpuMs = cpu;
  f.expected = interval * rate / 1e9;
  return f;
}

Figures runEngineClock(Recorder& rec, int64_t interval, int ticks, const std::function<void(int64_t)>& send) {
  MidiClock clock;
  clock.reset(false);
  int sent = 0;
  return measure(rec, interval, [&] {
    clock.runTicks(interval, [&] { return sent < ticks; }, [&](int64_t due) {
      send(due);
      ++sent;
    });
  });
}

Figures runSleepLoop(Recorder& rec, int64_t interval, int ticks, const std::function<void(int64_t)>& send) {
  return measure(rec, interval, [&] {
    const int64_t start = midiclock::nowNs();
    for (int i = 1; i <= ticks; ++i) {
      const int64_t due = start + i * interval;
      const timespec ts{static_cast<time_t>(due / 1000000000LL), static_cast<long>(due % 1000000000LL)};
      clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
      send(due);
    }
  });
}

void print(const char* what, const Figures& f) {
  std::printf("  %-36s %5zu ticks  off grid p50 %6.3f ms  p99 %6.3f ms  max %6.3f ms  CPU %6.1f ms  "
              "spacing %7.1f frames (%7.1f expected)\n",
              what, f.ticks, f.p50, f.p99, f.max, f.cpuMs, f.spacing, f.expected);
}

std::string loadAverage() {
  char buf[64] = {};
  if (FILE* f = std::fopen("/proc/loadavg", "r")) {
    if (!std::fgets(buf, sizeof buf, f)) buf[0] = 0;
    std::fclose(f);
  }
  std::string s(buf);
  return s.substr(0, s.find(' '));
}

}  // namespace

int main() {
  setenv("SORVANTA_JACK_REALTIME", "1", 1);
  JackTestServer server;
  if (!server.start()) {
    std::fprintf(stderr, "engine_clock_bench: no JACK server\n");
    return 1;
  }
  const timespec settle{1, 0};  // the server's first cycles run irregularly
  nanosleep(&settle, nullptr);
  Recorder recOurs, recTheirs, recRef;
  MidiOutputPort ours, forRef;
  RtMidiOut* theirs = nullptr;
  try {
    theirs = new RtMidiOut(RtMidi::UNIX_JACK, std::string("Bench RtMidi ") + MidiTestClientSuffix());
  } catch (const RtMidiError& e) {
    std::fprintf(stderr, "engine_clock_bench: %s\n", e.getMessage().c_str());
    return 1;
  }
  if (!recOurs.open("ours") || !recTheirs.open("theirs") || !recRef.open("ref") || !ours.create("Bench Ours") ||
      !forRef.create("Bench Ref") || !ours.open(recOurs.portName(), "out") || !forRef.open(recRef.portName(), "out")) {
    std::fprintf(stderr, "engine_clock_bench: could not connect the outputs to the recorders\n");
    return 1;
  }
  for (unsigned i = 0; i < theirs->getPortCount(); ++i)
    if (theirs->getPortName(i) == recTheirs.portName()) theirs->openPort(i, "out");
  if (!theirs->isPortOpen()) {
    std::fprintf(stderr, "engine_clock_bench: RtMidi's output did not connect\n");
    return 1;
  }

  const unsigned char tick = midiclock::kTick, sensing = 0xFE;
  std::printf("MIDI clock at a JACK port: dummy driver, 48000 Hz, 256-frame cycles (5.33 ms), %s scheduling; "
              "%d s per tempo; one frame = %.3f ms; %u cores\n",
              recOurs.serverRealtime() ? "real-time" : "ordinary (real-time refused)", kSeconds, 1e3 / kRate,
              std::thread::hardware_concurrency());
  for (int bpm : {120, 300}) {
    const int64_t interval = midiclock::intervalNs(bpm);
    const int ticks = static_cast<int>(kSeconds * 1000000000LL / interval);
    prime(recOurs, [&] { ours.send(&sensing, 1); });
    prime(recTheirs, [&] { theirs->sendMessage(&sensing, 1); });
    prime(recRef, [&] { forRef.send(&sensing, 1); });
    const std::string loadBefore = loadAverage();
    Figures e, t, r;
    std::thread a([&] { e = runEngineClock(recOurs, interval, ticks, [&](int64_t due) { ours.sendAt(&tick, 1, due); }); });
    std::thread b([&] { t = runEngineClock(recTheirs, interval, ticks, [&](int64_t) { theirs->sendMessage(&tick, 1); }); });
    std::thread c([&] { r = runSleepLoop(recRef, interval, ticks, [&](int64_t due) { forRef.sendAt(&tick, 1, due); }); });
    a.join();
    b.join();
    c.join();
    std::printf("%d BPM (%.3f ms per tick), load average %s -> %s; target p99 <= 0.5 ms, CPU <= 2x the reference:\n",
                bpm, interval / 1e6, loadBefore.c_str(), loadAverage().c_str());
    print("engine clock -> our JACK output", e);
    print("engine clock -> RtMidi JACK output", t);
    print("sleep-to-deadline loop (reference)", r);
    std::printf("  engine CPU / reference CPU: %.2fx\n", r.cpuMs > 0 ? e.cpuMs / r.cpuMs : 0.0);
  }
  delete theirs;
  return 0;
}
