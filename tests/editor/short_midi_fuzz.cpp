// Short MIDI messages from the synth and from the host into the whole editor (built once,
// headless, on the test interface, whose controllers 20 and 21 move knobs of every part): the
// source filters, the bank-select pairing, controllers onto their controls (getLegacyCCparam),
// program changes for a part and what is passed on to the synth.
//
// Byte 0 sets the state the messages meet: bits 0..6 block one message kind from the device,
// bit 7 local control. Byte 1: bits 0..6 block a kind from the host, bit 7 the librarian's
// program mode. Byte 2: bits 0 and 4 both set receive program changes; bits 1..3 requests after
// a program change, the master keyboard, tracking incoming MIDI. Then every four bytes are one
// message: the source (bit 0) and status, data 1 and data 2 as a host may hand them (data bytes
// of 0x80 and more included).
// Nothing may crash, every control stays within 0..1, and everything passed on to the synth is
// a whole short message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "EditorTestSupport.h"
#include "IControl.h"
#include "MIDIMessageSender.h"

namespace {

struct Fixture {
  editortest::EditorEnvironment env;
  editortest::RecordingSorvanta plug{editortest::instanceInfo()};
  Fixture() {
    plug.midiIOSet = true;
    plug.GetParam(kDeviceOutSelection)->Set(1);
    // Jobs that a program change starts send at once and time out fast.
    plug.midiManager->setPacingOverride(1);
    plug.midiManager->sender()->pauseScalePercent = 0;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > 3 + 4 * 64) return 0;
  static Fixture* f = new Fixture;  // lives to process exit: the fuzzer never returns
  Sorvanta& plug = f->plug;
  for (int k = 0; k < 7; ++k) {
    plug.deviceBlockFlags[k] = (data[0] >> k) & 1;
    plug.hostBlockFlags[k] = (data[1] >> k) & 1;
  }
  plug.localControlOn = data[0] >> 7;
  plug.librarianProgramMode = data[1] >> 7;
  // Received program changes select the bank with pauses of 100 ms and more: one input in four.
  plug.GetParam(kGlobalRxProgramChange)->Set((data[2] & 0x11) == 0x11);
  plug.requestAfterProgramChange = (data[2] >> 1) & 1;
  plug.masterKeyboard = (data[2] >> 2) & 1;
  plug.trackIncomingMIDI = (data[2] >> 3) & 1;

  for (size_t i = 3; i + 4 <= size; i += 4) {
    IMidiMsg msg(0, data[i + 1], data[i + 2], data[i + 3]);
    plug.ProcessMidiMsg(&msg, data[i] & 1);
  }

  IGraphics* g = plug.GetGUI();
  for (int c = 0; g && c < g->NControls(); ++c) {
    const double v = g->GetControl(c)->GetValue();
    if (!(v >= 0.0 && v <= 1.0)) abort();
  }
  {
    std::lock_guard<std::mutex> lock(f->plug.sentLock);
    for (const IMidiMsg& m : f->plug.shortSent)
      if (m.mStatus < 0x80 || m.mStatus == 0xF0 || m.mStatus == 0xF7) abort();
    f->plug.shortSent.clear();
    f->plug.sysexSent.clear();
  }
  return 0;
}
