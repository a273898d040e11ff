// State chunk save and restore (70 KB, 8744 parameter values) and one GUI edit through the whole
// handler road, beside memcpy of the chunk's bytes: the restore's checks should cost a small
// multiple of touching the bytes once.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "EditorTestSupport.h"
#include "IParam.h"

namespace {

template <typename F>
double nsPer(int runs, F&& f) {
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < runs; ++i) f();
  const auto t1 = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::nano>(t1 - t0).count() / runs;
}

}  // namespace

int main() {
  editortest::EditorEnvironment env;
  editortest::RecordingSorvanta plug(editortest::instanceInfo());
  ByteChunk chunk;
  plug.SerializeState(&chunk);
  const int runs = 300;
  const double save = nsPer(runs, [&] {
    ByteChunk c;
    plug.SerializeState(&c);
  });
  // No MIDI output: the restore checks the whole chunk, applies head, names and ports.
  const double restore = nsPer(runs, [&] { plug.UnserializeState(&chunk, 0); });
  std::vector<unsigned char> dst(static_cast<size_t>(chunk.Size()));
  const double copy = nsPer(runs * 10, [&] {
    memcpy(dst.data(), chunk.GetBytes(), dst.size());
    __asm__ __volatile__("" ::"r"(dst.data()) : "memory");
  });
  plug.midiIOSet = true;
  plug.GetParam(kDeviceOutSelection)->Set(1);
  // Every outgoing message is printed; the prints go to /dev/null while edits are timed.
  fflush(stdout);
  const int savedOut = dup(1);
  const int devNull = open("/dev/null", O_WRONLY);
  dup2(devNull, 1);
  int v = 0;
  const double edit = nsPer(runs * 10, [&] {
    v = (v + 1) % 128;
    plug.SetParameterFromGUI(kOscillator1Detune, plug.GetParam(kOscillator1Detune)->GetNormalized(v));
  });
  fflush(stdout);
  dup2(savedOut, 1);
  close(devNull);
  close(savedOut);
  printf("state chunk: %d bytes\n", chunk.Size());
  printf("save          %10.0f ns   (memcpy of the chunk %8.0f ns, x%.1f)\n", save, copy, save / copy);
  printf("check+restore %10.0f ns   (memcpy of the chunk %8.0f ns, x%.1f)\n", restore, copy, restore / copy);
  printf("GUI edit (handler, display, SysEx prepared and handed over) %8.0f ns\n", edit);
  return 0;
}
