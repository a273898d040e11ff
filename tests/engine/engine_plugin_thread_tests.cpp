// The engine inside the whole editor object with its threads really interleaving (also run under
// TSan): what the MIDI input thread writes while a dump job reads must be handed over safely.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "DumpLayout.h"
#include "EditorTestSupport.h"
#include "IControls.h"
#include "MIDIMessageManager.h"
#include "MIDIMessageSender.h"
#include "SysexProtocol.h"

using namespace editortest;

namespace {

// A recorder that keeps nothing: the dump jobs send from a worker thread, and this test is about
// the names, not about what went out.
class QuietSorvanta : public Sorvanta {
 public:
  explicit QuietSorvanta(IPluginInstanceInfo info) : Sorvanta(info) {}
  bool SendMidiMsg(IMidiMsg*) override { return true; }
  bool SendMidiSysex(unsigned char*, int) override { return true; }
};

std::vector<uint8_t> soundDumpNamed(int part, const std::string& name) {
  std::array<uint8_t, 392> d = dump::initSound();
  d[sysex::kBankPos] = sysex::kPartEditBufferBank;
  d[sysex::kNumberPos] = static_cast<uint8_t>(part);
  const std::string padded = sysex::padName(name, sysex::kNameWidth);
  for (int i = 0; i < sysex::kNameWidth; ++i) d[sysex::kSoundNamePos + i] = static_cast<uint8_t>(padded[i]);
  sysex::applyChecksum(d.data(), 392);
  return std::vector<uint8_t>(d.begin(), d.end());
}

}  // namespace

TEST(EnginePluginThreads, NamesFromTheDeviceReadSafelyByDumpJobs) {
  EditorEnvironment env;
  auto plug = std::make_unique<QuietSorvanta>(instanceInfo());
  plug->midiIOSet = true;
  plug->GetParam(kDeviceOutSelection)->Set(1);
  MIDIMessageManager* m = plug->midiManager;
  ASSERT_NE(m, nullptr);
  m->setPacingOverride(1);
  m->sender()->pauseScalePercent = 0;

  // The MIDI input thread: dumps of part 1 with names that differ in every character.
  std::atomic<bool> inputEnded{false};
  std::thread input([&] {
    const std::vector<uint8_t> a = soundDumpNamed(1, "AAAAAAAAAAAAAAAA");
    const std::vector<uint8_t> b = soundDumpNamed(1, "bbbbbbbbbbbbbbbb");
    for (int i = 0; i < 400; ++i) {
      std::vector<uint8_t> bytes = (i % 2) ? b : a;
      m->awaitDumpForEditor();
      ISysEx sx(0, bytes.data(), static_cast<int>(bytes.size()));
      m->ProcessSysEx(&sx, true);
    }
    inputEnded = true;
  });
  // This thread reads the name as a dump job does (through the engine's view of the plug-in) and
  // draws it as the window's name field does, and also starts the real job now and then. A torn
  // read mixes the two names.
  ICaptionControl field(plug.get(), IRECT(0, 0, 160, 16), kPatchName + 1, nullptr, false);
  int torn = 0;
  for (int i = 0; !inputEnded.load(); ++i) {
    field.Draw(plug->GetGUI());
    for (const std::string& name : {m->host()->text(kPatchName + 1), field.GetTextCopy()})
      if (name.size() == 16 && name != "AAAAAAAAAAAAAAAA" && name != "bbbbbbbbbbbbbbbb") ++torn;
    if (i % 200 == 0 && !plug->ThreadRunning()) plug->sendPatchToDevice(1, false, false, false, false);
  }
  input.join();
  for (int w = 0; w < 2000 && plug->ThreadRunning(); ++w) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(torn, 0);
  const std::string name = plug->nameText(kPatchName + 1);
  EXPECT_TRUE(name == "AAAAAAAAAAAAAAAA" || name == "bbbbbbbbbbbbbbbb") << name;
}
