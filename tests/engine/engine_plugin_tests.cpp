// The engine inside the whole editor object (headless, against the editor tests' interface):
// a parameter change from the synthesizer finds its control through the interface's reverse
// lookup and is not echoed; the first audio block starts the handshake, whose answer sets the
// device id; tear-down ends a running job.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "DumpLayout.h"
#include "EditorTestSupport.h"
#include "IControls.h"
#include "SysexProtocol.h"

using namespace editortest;

namespace {

class EnginePlugin : public ::testing::Test {
 protected:
  std::unique_ptr<RecordingSorvanta> make() {
    auto plug = std::make_unique<RecordingSorvanta>(instanceInfo());
    plug->midiIOSet = true;
    plug->GetParam(kDeviceOutSelection)->Set(1);
    return plug;
  }
  static void fromDevice(Sorvanta* plug, std::vector<uint8_t> bytes) {
    ISysEx sx(0, bytes.data(), static_cast<int>(bytes.size()));
    plug->ProcessSysEx(&sx, true);
  }
  static std::string status(Sorvanta* plug) { return plug->statusLine ? plug->statusLine->GetTextCopy() : ""; }
  static bool waitFor(const std::function<bool()>& done, int ms = 5000) {
    for (int i = 0; i < ms / 5; ++i) {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  EditorEnvironment env;
};

}  // namespace

TEST_F(EnginePlugin, DeviceParameterChangeMovesItsControlAndIsNotSentBack) {
  auto plug = make();
  fromDevice(plug.get(), {0xF0, 0x3E, 0x10, 0x00, 0x20, 0x03, 0x02, 0x07, 0x50, 0xF7});
  EXPECT_EQ(plug->paramValue(kOscillator1Detune + 3), 0x50);
  EXPECT_TRUE(plug->sysexSent.empty());
  EXPECT_TRUE(plug->shortSent.empty());
  EXPECT_FALSE(plug->valueFromHardware());
  // From the host, SysEx is never parsed.
  ISysEx sx;
  std::vector<uint8_t> b = {0xF0, 0x3E, 0x10, 0x00, 0x20, 0x03, 0x02, 0x07, 0x10, 0xF7};
  sx = ISysEx(0, b.data(), static_cast<int>(b.size()));
  plug->ProcessSysEx(&sx, false);
  EXPECT_EQ(plug->paramValue(kOscillator1Detune + 3), 0x50);
}

TEST_F(EnginePlugin, FirstBlockStartsTheHandshakeAndItsAnswerSetsTheDeviceId) {
  auto plug = make();
  plug->storedPortsFound = true;
  plug->handshakePending = true;
  plug->ProcessDoubleReplacing(nullptr, nullptr, 64);
  EXPECT_FALSE(plug->handshakePending.load());
  ASSERT_TRUE(waitFor([&] { return status(plug.get()) == "Connecting to Dorvik"; }));
  std::array<uint8_t, 207> g = dump::globalTemplate();
  g[3] = 0x0B;
  g[30] = 0x0B;
  sysex::applyChecksum(g.data(), 207);
  fromDevice(plug.get(), std::vector<uint8_t>(g.begin(), g.end()));
  ASSERT_TRUE(waitFor([&] { return !plug->ThreadRunning(); }));
  EXPECT_EQ(plug->deviceId.load(), 0x0B);
  EXPECT_EQ(plug->paramValue(kGlobalSysExID), 0x0B);
  EXPECT_EQ(status(plug.get()), "Plug-in is ready to go!");
  // The first block also sent the host tempo (138 BPM cached: value 73), then the enquiry.
  const std::vector<unsigned char> tempo = {0x3E, 0x10, 0x00, 0x21, 0x00, 0x05, 73};
  const std::vector<unsigned char> enquiry = {0x3E, 0x10, 0x00, 0x04};
  ASSERT_GE(plug->sysexSent.size(), 2u);
  EXPECT_EQ(plug->sysexSent[0], tempo);
  EXPECT_EQ(plug->sysexSent[1], enquiry);
}

// The audio callback must not open or append the log file: its tempo lines wait for the next
// log call made on another thread, and keep their order.
TEST_F(EnginePlugin, AudioCallbackLogLinesWaitForTheNextLogCallOffTheAudioThread) {
  writeFile(env.logPath(), "");
  auto plug = make();
  ASSERT_TRUE(plug->debugLogOn);
  const std::string before = readFile(env.logPath());
  plug->ProcessDoubleReplacing(nullptr, nullptr, 64);
  ASSERT_FALSE(plug->sysexSent.empty());  // the tempo went out in this block
  EXPECT_EQ(readFile(env.logPath()), before);
  plug->log("RESET: after the block");
  const std::string after = readFile(env.logPath());
  const size_t outOfSync = after.find("PROCESSOR: Host tempo is out of sync!");
  const size_t synced = after.find("PROCESSOR: Host tempo synced to 138BPM");
  ASSERT_NE(outOfSync, std::string::npos);
  ASSERT_NE(synced, std::string::npos);
  EXPECT_LT(outOfSync, synced);
  EXPECT_LT(synced, after.find("RESET: after the block"));
}

TEST_F(EnginePlugin, TearDownEndsARunningRequest) {
  auto plug = make();
  plug->requestPart(2);
  ASSERT_TRUE(plug->ThreadRunning());
  plug.reset();  // cancels and joins; a hang here fails the test by its time-out
  SUCCEED();
}
