// Knob to wire, as a musician turns it: the stand-in host runs the editor bundle in its window
// on a private X server, the pointer (through XTest) holds a knob and moves it a few pixels at a
// time, and each step's parameter change is timed from the pointer's move to its arrival at a
// simulated synth's MIDI input over a private JACK server.
//
// The path is the whole editor's: the X server, the host's event loop, the view, the knob, the
// parameter change under the plug-in lock, the value display, the control-action routine, the
// SysEx send, the JACK output, one JACK cycle, the sim's input callback (where the arrival is
// stamped). Beside it, taking turns with the knob: the same message sent through a bare JACK
// output port of this process to the same input, the wire without the editor; and one JACK period
// of the server (256 frames at 48 kHz, 5.33 ms), since output leaves only at the next cycle.
//
// Steps that send nothing are counted twice: a timed step whose value has not reached the synth
// a second later, and, in a sweep at a mouse's report rate that does not wait for the synth, the
// steps merged into a later one or lost while the window was busy.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "E2EBenchSupport.h"
#include "JackMidiOutput.h"
#include "Percentile.h"
#include "WindowFlows.h"

namespace {

const double kPeriodMs = 256.0 / 48000.0 * 1000.0;

}  // namespace

int main() {
  JackTestServer server;
  std::string home;
  if (!benchSetUp("e2e_knob_bench", server, &home)) return 1;
  DorvikSim sim;
  if (!sim.ok()) return 1;
  seedInitMemory(sim);
  WindowSession w;
  // The start-up conversation first (handshake and its closing pause).
  if (!startOnSim("e2e_knob_bench", w, sim, 1.0)) return 1;
  JackMidiOutput bare;
  if (!bare.create("bench-bare") || !bare.open(sim.editorOutputName(), "bare-out")) {
    fprintf(stderr, "e2e_knob_bench: no bare port\n");
    return 1;
  }
  showTab(w, 2);
  // Oscillator 1 detune of part 1 (sound parameter 3): 3E 10 dev 20 part 00 03 value.
  auto isDetune = [](const DorvikSim::Bytes& b) { return b.size() == 10 && b[4] == 0x20 && b[7] == 0x03; };
  DorvikSim::Bytes change = {0xF0, 0x3E, 0x10, 0x00, 0x20, 0x00, 0x00, 0x03, 0x40, 0xF7};
  change[3] = static_cast<unsigned char>(sim.deviceId());
  // A new connection goes live a cycle or two later: the bare port's first message must get through.
  for (int i = 0; i < 50 && sim.received(isDetune).empty(); ++i) {
    bare.send(change.data(), change.size());
    MidiTestSleep(0.02);
  }
  const int x = w.s(kOsc1DetuneX), y0 = w.s(kOsc1KnobY);
  w.press(x, y0);
  const int turns = 300;
  std::vector<double> knob, wire;
  int lost = 0;
  // Up and down 60 pixels, 4 a step: every step moves the value.
  auto stepY = [y0](int i) {
    const int leg = (i / 15) % 2, k = i % 15 + 1;
    return y0 - 4 * (leg ? 15 - k : k);
  };
  for (int i = 0; i < turns; ++i) {
    const int y = stepY(i);
    size_t before = sim.received(isDetune).size();
    double t0 = MidiTestNow();
    w.move(x, y);
    if (sim.waitFor(isDetune, before + 1, 1.0))
      knob.push_back((sim.received(isDetune)[before].time - t0) * 1000.0);
    else
      ++lost;
    MidiTestSleep(0.002 * (i % 4));  // land at different points of the cycle
    before = sim.received(isDetune).size();
    change[8] = static_cast<unsigned char>(i % 128);
    t0 = MidiTestNow();
    bare.send(change.data(), change.size());
    if (sim.waitFor(isDetune, before + 1, 1.0)) wire.push_back((sim.received(isDetune)[before].time - t0) * 1000.0);
    MidiTestSleep(0.002 * ((i + 2) % 4));
  }
  // Then a hand that does not wait for the synth: the same legs at a mouse's 125 reports a
  // second. A step that arrives while the window is busy must still be a step of its own.
  const int sweep = 150;
  const size_t beforeSweep = sim.received(isDetune).size();
  for (int i = 0; i < sweep; ++i) w.move(x, stepY(i), 0.008);
  sim.waitFor(isDetune, beforeSweep + sweep, 2.0);
  const int swept = static_cast<int>(sim.received(isDetune).size() - beforeSweep);
  w.release();
  w.stop();
  if (system(("rm -rf '" + home + "'").c_str()) != 0) {
  }
  if (knob.empty()) return 1;
  printf("knob turned with the pointer to the synth's port, %d steps (%d moved no value): p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
         turns, lost, percentile(knob, 50), percentile(knob, 99), percentile(knob, 100));
  printf("the same message from a bare port:               %zu sends:            p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
         wire.size(), percentile(wire, 50), percentile(wire, 99), percentile(wire, 100));
  printf("one JACK period (256 frames at 48 kHz): %.2f ms\n", kPeriodMs);
  printf("%d steps at 125 a second, not waiting for the synth: %d sent, %d merged away or lost\n", sweep, swept,
         sweep - swept);
  return 0;
}
