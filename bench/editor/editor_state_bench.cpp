// State chunk save and restore (140 KB: 8744 parameter values and the names) and one GUI edit
// through the whole handler road, beside memcpy of the chunk's bytes timed between their runs:
// the restore's checks and the values it applies should cost a small multiple of touching the
// bytes once. Values are applied only with a MIDI output: the restore is timed as the check of a
// project restored without one followed by the application of its values once an output is
// open. Beside it, a whole restore with an output open, as a project opened with the synth
// connected (a peer's ports on a private JACK server): that one also closes and reopens the
// stored ports by name. The transfer of the restored sounds to the synth that follows, paced for
// the synth's sake, is left out. Medians.
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
#include "MidiTestPeer.h"

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
  JackTestServer server;
  if (!server.start()) {
    fprintf(stderr, "editor_state_bench: no JACK server\n");
    return 1;
  }
  MidiTestPeer synth;
  editortest::EditorEnvironment env;
  Sorvanta::portNamesOverride = nullptr;  // the port menus list the server's ports, the peer's among them
  editortest::RecordingSorvanta plug(editortest::instanceInfo());
  // Every outgoing message is printed; the prints go to /dev/null while timing.
  fflush(stdout);
  const int savedOut = dup(1);
  const int devNull = open("/dev/null", O_WRONLY);
  dup2(devNull, 1);
  IParam* detune = plug.GetParam(kOscillator1Detune);
  detune->Set(100);
  ByteChunk chunk;
  plug.SerializeState(&chunk);
  detune->Set(20);
  std::vector<unsigned char> dst(static_cast<size_t>(chunk.Size()));
  auto copy = [&] {
    memcpy(dst.data(), chunk.GetBytes(), dst.size());
    __asm__ __volatile__("" ::"r"(dst.data()) : "memory");
  };
  // The synth's transfer that follows a restore with an output is left out.
  auto withoutTransfer = [&](const std::function<void()>& f) {
    MIDIMessageManager* transfer = nullptr;
    std::swap(transfer, plug.midiManager);
    f();
    std::swap(transfer, plug.midiManager);
  };
  auto restore = [&] {
    plug.midiIOSet = false;
    plug.UnserializeState(&chunk, 0);
    plug.midiIOSet = true;
    withoutTransfer([&] { plug.applyHeldProjectValues(); });
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
  const bool applied = detune->Value() == 100;

  // The same project saved with the peer's ports open, restored whole.
  for (bool out : {true, false}) {
    const std::string name = out ? synth.inputPortName() : synth.outputPortName();
    int at = out ? (plug.getExternalMIDIOutNames(), plug.getExternalMIDIOutDevice(name.c_str()))
                 : (plug.getExternalMIDIInNames(), plug.getExternalMIDIInDevice(name.c_str()));
    if ((out ? plug.setExternalMIDIOut(at, name.c_str()) : plug.setExternalMIDIIn(at, name.c_str())) <= 0) {
      fprintf(stderr, "editor_state_bench: the peer's port %s does not open\n", name.c_str());
      return 1;
    }
    IParam* selection = plug.GetParam(out ? kDeviceOutSelection : kDeviceInSelection);
    selection->SetDisplayText(at, name.c_str());  // the name a save stores for the port
    selection->Set(at);
  }
  plug.midiIOSet = true;
  ByteChunk connected;
  plug.SerializeState(&connected);
  detune->Set(20);
  std::vector<double> whole;
  for (int i = 0; i < 20; ++i) whole.push_back(nsOf([&] { withoutTransfer([&] { plug.UnserializeState(&connected, 0); }); }));
  const bool wholeApplied = detune->Value() == 100 && plug.midiIOSet;

  std::vector<double> edit;
  for (int i = 0; i < runs * 10; ++i)
    edit.push_back(nsOf([&] { plug.SetParameterFromGUI(kOscillator1Detune, detune->GetNormalized(i % 128)); }));
  fflush(stdout);
  dup2(savedOut, 1);
  close(devNull);
  close(savedOut);
  printf("state chunk: %d bytes; medians\n", chunk.Size());
  printf("save          %10.0f ns   (memcpy of the chunk %8.0f ns, x%.1f)\n", median(save), median(saveCopy),
         median(save) / median(saveCopy));
  printf("check+restore %10.0f ns   (memcpy of the chunk %8.0f ns, x%.1f)   stored values %s\n", median(restored),
         median(restoreCopy), median(restored) / median(restoreCopy), applied ? "applied" : "NOT APPLIED");
  printf("whole restore with the synth's ports open, reopened by name: %.2f ms   stored values %s\n",
         median(whole) / 1e6, wholeApplied ? "applied" : "NOT APPLIED");
  printf("GUI edit (handler, display, SysEx prepared and handed over) %8.0f ns\n", median(edit));
  return 0;
}
