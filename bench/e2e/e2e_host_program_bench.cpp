// Program changes from the host, against the render thread: the editor bundle is opened as the
// stand-in host opens it, but this program renders it, block by block at real time (512 frames
// at 44.1 kHz, 11.6 ms), on a thread of its own that also delivers the host's MIDI, as the
// stand-in host's render thread does. A simulated synth on a private JACK server answers the
// fetches the program changes start.
//
// A block's time runs from the moment it is due to the end of its render call (the host's MIDI
// delivered just before it included): what a host waits for it. The blocks that carry a program
// change are timed against the other blocks of the same runs, and the longest of them against the
// bound of 1.5 times the others' p99: a program change's bank select, program change and the
// synth's pauses between them must not keep the render thread.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "AUComponent.h"
#include "DorvikSim.h"
#include "DumpLayout.h"
#include "HostPlugin.h"
#include "JackTestServer.h"
#include "ParamNames.h"
#include "Percentile.h"

namespace {

using Clock = std::chrono::steady_clock;

// Renders `seconds` of blocks; at each block of `changeAt` a program change on part 3's channel
// goes in first. Each block's time in ms goes to `carrying` when it carried one, else to `plain`
// (when given).
void renderBlocks(AudioUnit unit, double seconds, const std::vector<long>& changeAt,
                  std::vector<double>* carrying = nullptr, std::vector<double>* plain = nullptr) {
  const UInt32 frames = HostPlugin::kBlockFrames;
  const auto period = std::chrono::duration<double>(frames / HostPlugin::kSampleRate);
  const long blocks = static_cast<long>(seconds / period.count());
  std::vector<float> left(frames), right(frames);
  int program = 1;
  const Clock::time_point start = Clock::now();
  for (long n = 0; n < blocks; ++n) {
    const Clock::time_point due = start + std::chrono::duration_cast<Clock::duration>(period * n);
    std::this_thread::sleep_until(due);
    const bool carries = std::find(changeAt.begin(), changeAt.end(), n) != changeAt.end();
    if (carries) MusicDeviceMIDIEvent(unit, 0xC2, static_cast<UInt32>(program++), 0, 0);
    AudioBufferListN<2> abl;
    abl.mNumberBuffers = 2;
    abl.mBuffers[0] = {1, frames * 4, left.data()};
    abl.mBuffers[1] = {1, frames * 4, right.data()};
    AudioTimeStamp ts{};
    ts.mSampleTime = static_cast<double>(n) * frames;
    ts.mFlags = kAudioTimeStampSampleTimeValid;
    AudioUnitRenderActionFlags flags = 0;
    AudioUnitRender(unit, &flags, &ts, 0, frames, abl.AsList());
    std::vector<double>* into = carries ? carrying : plain;
    if (into) into->push_back(std::chrono::duration<double, std::milli>(Clock::now() - due).count());
  }
}

}  // namespace

int main() {
  JackTestServer server;
  if (!server.start()) {
    fprintf(stderr, "e2e_host_program_bench: no JACK server\n");
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
  std::ofstream(folder + "Sorvanta Editor UI.txt") << "yellow\nnormal\nyes\n" << sim.editorOutputName() << "\n"
                                                   << sim.editorInputName();
  HostPlugin plug;
  std::string why;
  if (!plug.Load(SORVANTA_BUNDLE, &why) || !plug.Open(&why)) {
    fprintf(stderr, "e2e_host_program_bench: %s\n", why.c_str());
    return 1;
  }
  const AudioUnit unit = plug.Unit();
  AudioUnitSetParameter(unit, kMIDIFilterDAWPCPassThrough, kAudioUnitScope_Global, 0, 1, 0);
  AudioUnitSetParameter(unit, kGlobalRxProgramChange, kAudioUnitScope_Global, 0, 1, 0);
  // The first blocks start the handshake; its conversation ends before anything is timed.
  renderBlocks(unit, 0.2, {});
  if (!sim.waitFor([](const DorvikSim::Bytes& b) { return b.size() == 6 && b[4] == 0x04; }, 1, 20.0)) {
    fprintf(stderr, "e2e_host_program_bench: no handshake\n");
    return 1;
  }
  renderBlocks(unit, 2.0, {});

  // Each run 3 s; the changes 0.5 s apart, the first after 0.3 s.
  const std::vector<long> changes = {26, 69, 112, 155, 198};
  std::vector<double> carrying, plain;
  for (int round = 0; round < 4; ++round) renderBlocks(unit, 3.0, changes, &carrying, &plain);
  const size_t selected = sim.received([](const DorvikSim::Bytes& b) { return b.size() == 2 && b[0] == 0xC2; }).size();
  plug.Close();
  if (system(("rm -rf '" + home + "'").c_str()) != 0) {
  }
  const double longest = percentile(carrying, 100), bound = 1.5 * percentile(plain, 99);
  printf("render blocks carrying a host program change, %3zu: p50 %.2f ms, longest %.2f ms (%zu program changes on the wire)\n",
         carrying.size(), percentile(carrying, 50), longest, selected);
  printf("the other blocks of the same runs,          %5zu: p50 %.2f ms, p99 %.2f ms, longest %.2f ms\n", plain.size(),
         percentile(plain, 50), percentile(plain, 99), percentile(plain, 100));
  printf("bound for the longest carrying block, 1.5x the others' p99: %.2f ms (%s)\n", bound,
         longest <= bound ? "within" : "OVER");
  return selected > 0 ? 0 : 1;
}
