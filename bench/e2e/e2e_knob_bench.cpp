// Knob to wire: the time from the host setting a bound sound parameter of the editor bundle to
// the parameter change arriving at a simulated synth's MIDI input, over a private JACK server.
//
// The path is the whole editor's: parameter set under the plug-in lock, value display, the
// control-action routine, the SysEx send, RtMidi's JACK output ring, one JACK cycle, the sim's
// input callback (where the arrival is stamped). The reference beside it is one JACK period of
// the server (256 frames at 48 kHz, 5.33 ms): output leaves only at the next cycle, so a median
// within about one period means the editor itself adds little.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "AUComponent.h"
#include "DorvikSim.h"
#include "DumpLayout.h"
#include "HostPlugin.h"
#include "JackTestServer.h"
#include "ParamNames.h"

namespace {

const double kPeriodMs = 256.0 / 48000.0 * 1000.0;

void makeFolders(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i)
    if (i == path.size() || path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
}

}  // namespace

int main() {
  JackTestServer server;
  if (!server.start()) {
    fprintf(stderr, "e2e_knob_bench: no JACK server\n");
    return 1;
  }
  char tmpl[] = "/tmp/sorvanta-bench-XXXXXX";
  const std::string home = mkdtemp(tmpl);
  setenv("XDG_DATA_HOME", home.c_str(), 1);
  const std::string data = home + "/Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor/";
  makeFolders(data);
  DorvikSim sim;
  if (!sim.ok()) return 1;
  const auto& s = dump::initSound();
  const auto& m = dump::initMulti();
  const auto& g = dump::globalTemplate();
  sim.setMemory(DorvikSim::Bytes(s.begin(), s.end()), DorvikSim::Bytes(m.begin(), m.end()),
                DorvikSim::Bytes(g.begin(), g.end()));
  std::ofstream(data + "Sorvanta Editor UI.txt") << "yellow\nnormal\nyes\n" << sim.editorOutputName() << "\n"
                                                  << sim.editorInputName();
  HostPlugin plug;
  std::string why;
  if (!plug.Load(SORVANTA_BUNDLE, &why) || !plug.Open(&why)) {
    fprintf(stderr, "e2e_knob_bench: %s\n", why.c_str());
    return 1;
  }
  plug.StartRendering({});
  auto isChange = [](const DorvikSim::Bytes& b) { return b.size() == 10 && b[4] == 0x20; };
  // The start-up conversation first (handshake and its closing pause).
  if (!sim.waitFor([](const DorvikSim::Bytes& b) { return b.size() == 6 && b[4] == 0x04; }, 1, 10.0)) return 1;
  MidiTestSleep(1.0);

  const int turns = 400;
  std::vector<double> ms;
  int lost = 0;
  for (int i = 0; i < turns; ++i) {
    const size_t before = sim.received(isChange).size();
    const double t0 = MidiTestNow();
    AudioUnitSetParameter(plug.Unit(), kFilter1Cutoff, kAudioUnitScope_Global, 0, static_cast<float>(i % 2 ? 90 : 30), 0);
    if (!sim.waitFor(isChange, before + 1, 1.0)) {
      ++lost;
      continue;
    }
    ms.push_back((sim.received(isChange).back().time - t0) * 1000.0);
    MidiTestSleep(0.002 * (i % 4));  // land at different points of the cycle
  }
  plug.Close();
  if (system(("rm -rf '" + home + "'").c_str()) != 0) {
  }
  std::sort(ms.begin(), ms.end());
  if (ms.empty()) return 1;
  printf("knob to synth port, %d turns (%d lost): p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", turns, lost,
         ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 99 / 100)], ms.back());
  printf("one JACK period (256 frames at 48 kHz): %.2f ms\n", kPeriodMs);
  return 0;
}
