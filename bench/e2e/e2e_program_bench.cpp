// A program chosen on the synth, to its sound in the editor: the stand-in host runs the editor
// bundle at real time against a simulated synth on a private JACK server. The synth's panel
// selects a stored sound for part 3 (by bank select and program change, or by the multi's SysEx
// parameter change) and the time runs from its message leaving the synth to the editor's values
// holding the new sound (the cutoff, read as the host reads a parameter: what the screen shows at
// its next frame). The path: JACK, the editor's input queue and dispatch thread, the program
// change, the fetch queued on the dump thread, its request through JACK, the synth's answer after
// its reply delay, the dump parsed into the editor.
//
// Beside it, the bound of that path on the same port: a bare request from this process to the
// synth's input and its answer at a bare input of this process, through the same server, with the
// same reply delay. Each change waits for the editor to finish the last, so each is timed alone.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "AUComponent.h"
#include "DorvikSim.h"
#include "DumpLayout.h"
#include "HostPlugin.h"
#include "JackMidiInput.h"
#include "JackMidiOutput.h"
#include "JackTestServer.h"
#include "ParamNames.h"

namespace {

double percentile(std::vector<double> v, int p) {
  if (v.empty()) return -1.0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, v.size() * static_cast<size_t>(p) / 100)];
}

// The bare input: when the last whole sound dump arrived (JACK's thread).
std::atomic<double> answered{0.0};
void onBareInput(double, const unsigned char*, size_t size, void*) {
  if (size == 392) answered = MidiTestNow();
}

}  // namespace

int main() {
  JackTestServer server;
  if (!server.start()) {
    fprintf(stderr, "e2e_program_bench: no JACK server\n");
    return 1;
  }
  char tmpl[] = "/tmp/sorvanta-bench-XXXXXX";
  const std::string home = mkdtemp(tmpl);
  setenv("XDG_DATA_HOME", home.c_str(), 1);
  const std::string folder = home + "/Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor/";
  for (size_t i = 1; i <= folder.size(); ++i)
    if (i == folder.size() || folder[i] == '/') mkdir(folder.substr(0, i).c_str(), 0755);
  DorvikSim sim;
  if (!sim.ok()) return 1;
  auto bytes = [](const auto& a) { return DorvikSim::Bytes(a.begin(), a.end()); };
  sim.setMemory(bytes(dump::initSound()), bytes(dump::initMulti()), bytes(dump::globalTemplate()));
  const int kSounds = 10;
  for (int n = 0; n < kSounds; ++n) {
    DorvikSim::Bytes s = sim.soundDump(0, n);
    s[85] = static_cast<unsigned char>(10 + n);
    DorvikSim::checksum(s);
    sim.storeSound(0, n, s);
  }
  std::ofstream(folder + "Sorvanta Editor UI.txt") << "yellow\nnormal\nyes\n" << sim.editorOutputName() << "\n"
                                                   << sim.editorInputName();
  HostPlugin plug;
  std::string why;
  if (!plug.Load(SORVANTA_BUNDLE, &why) || !plug.Open(&why)) {
    fprintf(stderr, "e2e_program_bench: %s\n", why.c_str());
    return 1;
  }
  plug.StartRendering({});
  auto param = [&plug](int id) {
    AudioUnitParameterValue v = -1;
    AudioUnitGetParameter(plug.Unit(), id, kAudioUnitScope_Global, 0, &v);
    return v;
  };
  if (!sim.waitFor([](const DorvikSim::Bytes& b) { return b.size() == 6 && b[4] == 0x04; }, 1, 20.0)) {
    fprintf(stderr, "e2e_program_bench: no handshake\n");
    return 1;
  }
  MidiTestSleep(1.5);
  AudioUnitSetParameter(plug.Unit(), kMIDIFilterHWPCPassThrough, kAudioUnitScope_Global, 0, 1, 0);

  const int kChanges = 60;
  std::vector<double> byRoad[2];
  int missed = 0;
  for (int road = 0; road < 2; ++road)
    for (int i = 0; i < kChanges; ++i) {
      const int n = i % kSounds;
      const double t0 = MidiTestNow();
      sim.selectOnPanel(2, 0, n, road == 1);
      bool shown = false;
      while (!(shown = param(kFilter1Cutoff + 2) == 10 + n) && MidiTestNow() - t0 < 2.0) MidiTestSleep(0.0005);
      if (shown)
        byRoad[road].push_back((MidiTestNow() - t0) * 1000.0);
      else
        ++missed;
      MidiTestSleep(0.35 + 0.003 * (i % 5));  // the fetch's closing pause, and another point of the cycle
    }

  JackMidiOutput out;
  JackMidiInput in;
  if (!out.create("bench-bare-out") || !out.open(sim.editorOutputName(), "bare-out") ||
      !in.create("bench-bare-in", &onBareInput, nullptr, true) || !in.open(sim.editorInputName(), "bare-in")) {
    fprintf(stderr, "e2e_program_bench: no bare ports\n");
    return 1;
  }
  const DorvikSim::Bytes request = {0xF0, 0x3E, 0x10, static_cast<unsigned char>(sim.deviceId()), 0x00, 0x30, 0x02, 0xF7};
  std::vector<double> bare;
  for (int i = 0; i < kChanges + 10; ++i) {
    answered = 0.0;
    const double t0 = MidiTestNow();
    out.send(request.data(), request.size());
    while (answered.load() == 0.0 && MidiTestNow() - t0 < 1.0) MidiTestSleep(0.0005);
    if (answered.load() != 0.0 && i >= 10) bare.push_back((answered.load() - t0) * 1000.0);  // the first reach a new connection
    MidiTestSleep(0.05 + 0.003 * (i % 5));
  }
  plug.Close();
  if (system(("rm -rf '" + home + "'").c_str()) != 0) {
  }
  const char* names[2] = {"bank select + program change", "the multi's SysEx program     "};
  for (int road = 0; road < 2; ++road)
    printf("synth's %s -> new sound in the editor, %zu changes: p50 %.1f ms, p99 %.1f ms, max %.1f ms\n", names[road],
           byRoad[road].size(), percentile(byRoad[road], 50), percentile(byRoad[road], 99), percentile(byRoad[road], 100));
  printf("bare request -> answer on the same port, %zu asks:                   p50 %.1f ms, p99 %.1f ms, max %.1f ms\n",
         bare.size(), percentile(bare, 50), percentile(bare, 99), percentile(bare, 100));
  printf("changes whose sound never showed within 2 s: %d\n", missed);
  return missed == 0 && !bare.empty() ? 0 : 1;
}
