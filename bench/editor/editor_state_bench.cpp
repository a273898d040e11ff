// State chunk save and restore (140 KB: 8744 parameter values and the names) and one GUI edit
// through the whole handler road, beside memcpy of the chunk's bytes timed between their runs:
// the restore's checks and the values it applies should cost a small multiple of touching the
// bytes once. The restore runs with a MIDI output open, as a project opened with the synth
// connected: every stored value is applied to its parameter and controls. The transfer of the
// restored sounds to the synth that follows, paced for the synth's sake, is left out. Medians.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "EditorTestSupport.h"
#include "IParam.h"

namespace {

double nsOf(const std::function<void()>& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

}  // namespace

int main() {
  editortest::EditorEnvironment env;
  editortest::RecordingSorvanta plug(editortest::instanceInfo());
  // Every outgoing message is printed; the prints go to /dev/null while timing.
  fflush(stdout);
  const int savedOut = dup(1);
  const int devNull = open("/dev/null", O_WRONLY);
  dup2(devNull, 1);
  plug.GetParam(kOscillator1Detune)->Set(100);
  ByteChunk chunk;
  plug.SerializeState(&chunk);
  plug.GetParam(kOscillator1Detune)->Set(20);
  std::vector<unsigned char> dst(static_cast<size_t>(chunk.Size()));
  auto copy = [&] {
    memcpy(dst.data(), chunk.GetBytes(), dst.size());
    __asm__ __volatile__("" ::"r"(dst.data()) : "memory");
  };
  auto restore = [&] {
    plug.midiIOSet = true;
    MIDIMessageManager* transfer = nullptr;
    std::swap(transfer, plug.midiManager);
    plug.UnserializeState(&chunk, 0);
    std::swap(transfer, plug.midiManager);
  };
  const int runs = 300;
  std::vector<double> save, restored, saveCopy, restoreCopy;
  for (int i = 0; i < runs; ++i) {
    save.push_back(nsOf([&] {
      ByteChunk c;
      plug.SerializeState(&c);
    }));
    saveCopy.push_back(nsOf(copy));
    restored.push_back(nsOf(restore));
    restoreCopy.push_back(nsOf(copy));
  }
  const bool applied = plug.GetParam(kOscillator1Detune)->Value() == 100;
  plug.midiIOSet = true;
  plug.GetParam(kDeviceOutSelection)->Set(1);
  std::vector<double> edit;
  for (int i = 0; i < runs * 10; ++i)
    edit.push_back(nsOf([&] {
      plug.SetParameterFromGUI(kOscillator1Detune, plug.GetParam(kOscillator1Detune)->GetNormalized(i % 128));
    }));
  fflush(stdout);
  dup2(savedOut, 1);
  close(devNull);
  close(savedOut);
  printf("state chunk: %d bytes; medians\n", chunk.Size());
  printf("save          %10.0f ns   (memcpy of the chunk %8.0f ns, x%.1f)\n", median(save), median(saveCopy),
         median(save) / median(saveCopy));
  printf("check+restore %10.0f ns   (memcpy of the chunk %8.0f ns, x%.1f)   output open: stored values %s\n",
         median(restored), median(restoreCopy), median(restored) / median(restoreCopy),
         applied ? "applied" : "NOT APPLIED");
  printf("GUI edit (handler, display, SysEx prepared and handed over) %8.0f ns\n", median(edit));
  return 0;
}
