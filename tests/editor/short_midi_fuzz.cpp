// Short messages from the synth and the host into the whole editor (built once, headless; the
// test interface binds controllers 20 and 21 on every part): source filters, bank-select
// pairing, controllers onto controls (getLegacyCCparam), program changes, what is passed on.
// Bytes 0 and 1: bits 0..6 block a kind from the device / the host, bit 7 local control / the
// librarian's program mode. Byte 2: bits 0 and 4 receive program changes (each costs 100 ms of
// pauses), bits 1..3 requests after a program change, master keyboard, activity tracking. Then
// per message: source (bit 0), status, data 1, data 2, as a host may hand them over.
// Nothing may crash, every control stays within 0..1, only status-led messages are passed on.
#include <cstdlib>

#include "EditorTestSupport.h"
#include "IControl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > 3 + 4 * 64) return 0;
  static editortest::EditorEnvironment* env = new editortest::EditorEnvironment;
  static editortest::RecordingSorvanta& plug =
      *editortest::sendingAtOnce(new editortest::RecordingSorvanta(editortest::instanceInfo()));
  (void)env;
  for (int k = 0; k < 7; ++k) plug.deviceBlockFlags[k] = (data[0] >> k) & 1, plug.hostBlockFlags[k] = (data[1] >> k) & 1;
  plug.localControlOn = data[0] >> 7;
  plug.librarianProgramMode = data[1] >> 7;
  plug.GetParam(kGlobalRxProgramChange)->Set((data[2] & 0x11) == 0x11);
  plug.requestAfterProgramChange = (data[2] >> 1) & 1;
  plug.masterKeyboard = (data[2] >> 2) & 1;
  plug.trackIncomingMIDI = (data[2] >> 3) & 1;
  for (size_t i = 3; i + 4 <= size; i += 4) {
    IMidiMsg msg(0, data[i + 1], data[i + 2], data[i + 3]);
    plug.ProcessMidiMsg(&msg, data[i] & 1);
  }
  plug.midiManager->stopAllJobs();  // nothing in flight when leaks are checked or the next input comes
  for (int c = 0; c < plug.GetGUI()->NControls(); ++c) {
    const double v = plug.GetGUI()->GetControl(c)->GetValue();
    if (!(v >= 0.0 && v <= 1.0)) abort();
  }
  std::lock_guard<std::mutex> lock(plug.sentLock);
  for (const IMidiMsg& m : plug.shortSent)
    if (m.mStatus < 0x80 || m.mStatus == 0xF0 || m.mStatus == 0xF7) abort();
  plug.shortSent.clear();
  plug.sysexSent.clear();
  return 0;
}
