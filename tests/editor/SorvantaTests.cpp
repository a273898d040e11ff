// The whole editor object built headless against a test interface in a temporary data folder:
// construction with the settings file and log, the road of a GUI edit to the send operations,
// linked filters, tab switching, the randomizer, the state chunk and tear-down.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <chrono>
#include <functional>
#include <mutex>
#include <memory>
#include <thread>

#include "BankFormats.h"
#include "ControlLayer.h"
#include "EditorLog.h"
#include "EditorTestSupport.h"
#include "IGraphicsGtk.h"
#include "IControls.h"
#include "IGraphics.h"
#include "IParam.h"
#include "PatchManager.h"
#include "UIConfigManager.h"
#include "../util/Unprivileged.h"

using namespace editortest;

namespace {

class SorvantaTest : public ::testing::Test {
protected:
  std::unique_ptr<RecordingSorvanta> make() { return std::make_unique<RecordingSorvanta>(instanceInfo()); }
  // A GUI edit: the control pushes the normalised value through the framework's GUI setter.
  static void edit(Sorvanta* plug, int param, double value) {
    plug->SetParameterFromGUI(param, plug->GetParam(param)->GetNormalized(value));
  }
  static std::string text(ITextControl* c) { return c ? c->GetTextCopy() : "<none>"; }
  EditorEnvironment env;
};

TEST_F(SorvantaTest, ConstructsWithDefaultsWithoutSettingsFileOrLog) {
  auto plug = make();
  EXPECT_TRUE(plug->constructionDone);
  EXPECT_FALSE(plug->midiIOSet);
  EXPECT_FALSE(plug->handshakePending);
  EXPECT_EQ(plug->GetGUI()->Width(), 1500);
  EXPECT_EQ(plug->GetGUI()->Height(), 757);
  EXPECT_EQ(plug->colourScheme, 0);
  EXPECT_EQ(plug->NParams(), kNumParams);
  EXPECT_EQ(plug->NHostParams(), 0);
  EXPECT_FALSE(plug->debugLogOn);
  EXPECT_FALSE(fileExists(env.logPath()));
  EXPECT_FALSE(fileExists(env.settingsPath()));
  EXPECT_TRUE(plug->getLayer("firstRunNotification")->isVisible() == false);
  // Parts get channel values 2..17 in order.
  for (int p = 0; p < kNumParts; ++p) EXPECT_EQ(plug->paramValue(kMultiPartMIDICh + p), p + 2);
  EXPECT_EQ(plug->hardwareModel, 1);
  // MIDI filter defaults: host program changes and SysEx blocked, device program changes blocked.
  EXPECT_TRUE(plug->hostBlockFlags[1]);
  EXPECT_TRUE(plug->hostBlockFlags[6]);
  EXPECT_FALSE(plug->hostBlockFlags[0]);
  EXPECT_TRUE(plug->deviceBlockFlags[1]);
  EXPECT_FALSE(plug->deviceBlockFlags[6]);
  EXPECT_TRUE(plug->sysexSent.empty());
  EXPECT_TRUE(plug->shortSent.empty());
}

TEST_F(SorvantaTest, SettingsFileSetsSizeSchemeAndFirstRunNotice) {
  writeFile(env.settingsPath(), "blue\nlarge \r\nno\nNo Such Port\nNo Such Input\n");
  writeFile(env.logPath(), "stale line\n");
  auto plug = make();
  EXPECT_EQ(plug->GetGUI()->Width(), 1724);  // not 1725
  EXPECT_EQ(plug->GetGUI()->Height(), 870);
  EXPECT_EQ(plug->colourScheme, 1);
  EXPECT_EQ(plug->paramValue(kUserInterfaceSize), 2);
  EXPECT_TRUE(plug->firstRunShown);
  EXPECT_TRUE(plug->getLayer("firstRunNotification")->isVisible());
  EXPECT_FALSE(plug->midiIOSet);  // "no" reopens no port
  // Escape, wherever the pointer is, closes it as its close button does; then it goes on to the
  // host. Any other key (here the space bar) leaves it open.
  EXPECT_FALSE(plug->GetGUI()->OnKeyDown(700, 400, 0));
  EXPECT_TRUE(plug->getLayer("firstRunNotification")->isVisible());
  EXPECT_TRUE(plug->GetGUI()->OnKeyDown(700, 400, kKeyEscape));
  EXPECT_FALSE(plug->getLayer("firstRunNotification")->isVisible());
  EXPECT_EQ(readFile(env.settingsPath()), "blue\nlarge\nyes\nNo Such Port\nNo Such Input");
  EXPECT_FALSE(plug->GetGUI()->OnKeyDown(700, 400, kKeyEscape));
  EXPECT_TRUE(plug->debugLogOn);
  const std::string log = readFile(env.logPath());
  EXPECT_EQ(log.find("stale line"), std::string::npos);
  ASSERT_NE(log.find("\t INITIALIZATION STARTED!\n"), std::string::npos);
  EXPECT_LT(log.find("INITIALIZATION STARTED!"), log.find("Data folder located at " + env.dataFolder));
  EXPECT_NE(log.find("Plug-in is ready to load!"), std::string::npos);
}

// A FIFO waits for a writer for ever, /dev/zero never ends and a huge file is not the editor's:
// each in place of the settings file or the log leaves the defaults, and a refused settings file
// says why in the log.
TEST_F(SorvantaTest, SettingsOrLogThatIsNoPlainFileLeavesTheDefaults) {
  const struct {
    std::function<int(const char*)> make;
    const char* why;
    bool usableLog;  // the log is never read: only its kind matters
  } kinds[] = {{[](const char* p) { return mkfifo(p, 0644); }, "is a named pipe (FIFO), not a file", false},
               {[](const char* p) { return symlink("/dev/zero", p); }, "is a character device, not a file", false},
               {[](const char* p) { return mkdir(p, 0755); }, "is a folder, not a file", false},
               {[](const char* p) { return mknod(p, S_IFCHR | 0666, makedev(1, 5)); }, "is a character device, not a file", false},
               {[](const char* p) { return mknod(p, S_IFSOCK | 0644, 0); }, "is a socket, not a file", false},
               {[](const char* p) {
                  writeFile(p, "");
                  return truncate(p, 1LL << 30);
                },
                "holds 1073741824 bytes, more than", true}};
  // One made read-only is left as it was too, and the window says why (first:
  // the run forks, and this process has no threads yet).
  giveToUnprivileged(env.root);
  for (const mode_t mask : {022, 077})
    runUnprivileged(mask, [&] {
    // A settings file the user keeps private stays so when it is rewritten.
    writeFile(env.settingsPath(), "blue\nlarge\nno\n\n");
    chmod(env.settingsPath().c_str(), 0600);
    struct stat st;
    edit(make().get(), kUserInterfaceSize, 0);
    EXPECT_TRUE(stat(env.settingsPath().c_str(), &st) == 0 && (st.st_mode & 07777) == 0600 && readFile(env.settingsPath()) == "blue\nsmall\nno\n\n");
    for (const bool settings : {true, false}) {
      const std::string special = settings ? env.settingsPath() : env.logPath(), kept = settings ? "blue\nlarge\nno\n\n" : "old";
      writeFile(env.settingsPath(), "blue\nlarge\nno\n\n"), writeFile(env.logPath(), "old");
      ASSERT_EQ(0, chmod(special.c_str(), 0444));
      auto plug = make();
      plug->Reset();  // as a host does while it sets the plug-in up
      if (settings) edit(plug.get(), kUserInterfaceSize, 0);
      EXPECT_TRUE(text(plug->statusLine) == (settings ? "Sorvanta Editor UI.txt NOT saved!" : "Sorvanta Editor LOG.txt NOT written!") &&
                  text(plug->valueLine) == "is read-only" && readFile(special) == kept && plug->debugLogOn == settings) << settings;
      unlink(env.settingsPath().c_str()), unlink(env.logPath().c_str());
    }
  });
  for (const auto& kind : kinds) {
    for (bool settings : {true, false}) {
      const std::string special = settings ? env.settingsPath() : env.logPath();
      writeFile(settings ? env.logPath() : env.settingsPath(), settings ? "" : "blue\nlarge\nno\n\n");
      const int made = kind.make(special.c_str());
      if (made != 0 && errno == EPERM) continue;  // devices need the privilege
      ASSERT_EQ(0, made) << kind.why;
      struct stat before, after;
      ASSERT_EQ(0, lstat(special.c_str(), &before));
      auto plug = make();
      edit(plug.get(), kUserInterfaceSize, 0);  // a rewrite of the settings, and a log line
      EXPECT_TRUE(lstat(special.c_str(), &after) == 0 && after.st_mode == before.st_mode && after.st_rdev == before.st_rdev)
          << kind.why;
      EXPECT_EQ(plug->colourScheme, settings ? 0 : 1) << kind.why;
      EXPECT_EQ(plug->debugLogOn, settings || kind.usableLog) << kind.why;
      if (settings) {
        EXPECT_NE(readFile(env.logPath()).find("DEFAULT SETTINGS: " + special + " " + kind.why), std::string::npos) << kind.why;
      }
      plug.reset();
      if (system(("rm -rf '" + special + "' '" + env.logPath() + "' '" + env.settingsPath() + "'").c_str()) != 0) {
      }
    }
  }
}

TEST_F(SorvantaTest, ABankThatCouldNotBeSplitAtStartIsShownInTheStatusLine) {
  PatchFile big;
  for (int i = 0; i < 101; ++i) big.entries.push_back(makeEntryFromMessage(initSoundMessage(), kKindSoundRead));
  const std::vector<uint8_t> bytes = writeBank(big, false);
  EditorEnvironment::mkdirs(env.dataFolder + "Patches");
  writeFile(env.dataFolder + "Patches/Big.syx", std::string(bytes.begin(), bytes.end()));
  writeFile(env.dataFolder + "Converted Banks", "in the way");
  auto plug = make();
  EXPECT_EQ(text(plug->statusLine), "Big.syx could not be split: cannot move it into Converted Banks");
}

TEST_F(SorvantaTest, MissingOutputPortLeavesSendsRefusedButHandshakePending) {
  writeFile(env.settingsPath(), "yellow\nsmall\nyes\nNo Such Port\nNo Such Input");
  auto plug = make();
  EXPECT_EQ(plug->GetGUI()->Width(), 1275);
  EXPECT_FALSE(plug->midiIOSet);
  EXPECT_TRUE(plug->handshakePending);
  edit(plug.get(), kOscillator1Level + 2, 50);
  EXPECT_EQ(text(plug->statusLine), "Set MIDI I/O First!");
  EXPECT_TRUE(plug->shortSent.empty());
}

TEST_F(SorvantaTest, SettingsChangesRewriteTheFileAndFirstRunExitStoresYes) {
  writeFile(env.settingsPath(), "blue\nlarge\nno\nPort A\nPort B");
  auto plug = make();
  edit(plug.get(), kUserInterfaceSize, 0);
  EXPECT_EQ(readFile(env.settingsPath()), "blue\nsmall\nno\nPort A\nPort B");
  EXPECT_EQ(text(plug->statusLine), "Size changes applied...");
  EXPECT_EQ(text(plug->valueLine), "Reload project!");
  edit(plug.get(), kUserInterfaceStyle, 2);
  EXPECT_EQ(readFile(env.settingsPath()), "obsidra\nsmall\nno\nPort A\nPort B");
  plug->GetParam(kFirstRunExit)->Set(1);
  plug->OnParamChange(kFirstRunExit);
  EXPECT_EQ(readFile(env.settingsPath()), "obsidra\nsmall\nyes\nPort A\nPort B");
  EXPECT_FALSE(plug->getLayer("firstRunNotification")->isVisible());
  // Without the file nothing is created and the user is told.
  remove(env.settingsPath().c_str());
  edit(plug.get(), kUserInterfaceSize, 1);
  EXPECT_FALSE(fileExists(env.settingsPath()));
  EXPECT_EQ(text(plug->statusLine), "Sorvanta Editor UI.txt MISSING!");
  EXPECT_EQ(text(plug->valueLine), "Contact support");
}

TEST_F(SorvantaTest, GuiEditSendsControlChangeOnThePartsChannel) {
  auto plug = make();
  plug->midiIOSet = true;
  plug->resetPending = false;  // past the first stopped block: every part is displayed
  plug->GetParam(kDeviceOutSelection)->Set(1);
  plug->setParamFromPlug(kMultiPartMIDICh + 5, 7);
  edit(plug.get(), kOscillator1Level + 5, 99);
  ASSERT_EQ(plug->shortSent.size(), 1u);
  EXPECT_EQ(plug->shortSent[0].mStatus, 0xB5);
  EXPECT_EQ(plug->shortSent[0].mData1, 20);
  EXPECT_EQ(plug->shortSent[0].mData2, 99);
  EXPECT_EQ(text(plug->ccLine), "CC|20");
  // The value display names the parameter and shows the plain value.
  EXPECT_EQ(text(plug->valueLine), "99");
  plug->setStatusText("Part Randomized");  // the value goes with its name
  EXPECT_EQ(text(plug->valueLine), "");
  // A setting of 1 sends on channel 1; a semitone holds the byte on the wire and goes as it is.
  plug->setParamFromPlug(kMultiPartMIDICh + 1, 1);
  edit(plug.get(), kOscillator2Semitone + 1, 40);
  ASSERT_EQ(plug->shortSent.size(), 2u);
  EXPECT_EQ(plug->shortSent[1].mStatus, 0xB1);
  EXPECT_EQ(plug->shortSent[1].mData2, 40);
}

TEST_F(SorvantaTest, SysExEditCarriesDeviceIdAndIsNotEchoedFromTheSynth) {
  auto plug = make();
  plug->midiIOSet = true;
  plug->GetParam(kDeviceOutSelection)->Set(1);
  plug->deviceId = 0x11;
  edit(plug.get(), kOscillator1Detune + 3, 70);
  ASSERT_EQ(plug->sysexSent.size(), 1u);
  const std::vector<unsigned char> want = {0x3E, 0x10, 0x11, 0x20, 0x03, 0x02, 0x07, 70};
  EXPECT_EQ(plug->sysexSent[0], want);
  EXPECT_EQ(text(plug->ccLine), "SysEx");
  // A value from the synthesizer moves the controls and display but sends nothing.
  plug->GetParam(kOscillator1Detune + 3)->Set(80);
  plug->OnParamChange2(kOscillator1Detune + 3);
  EXPECT_EQ(plug->sysexSent.size(), 1u);
  EXPECT_FALSE(plug->noSend);
}

// A knob dragged with the mouse lands between steps; what is stored, shown and saved is what was
// sent, for SysEx and Control Change knobs alike.
TEST_F(SorvantaTest, ADraggedKnobStoresTheValueItSent) {
  auto plug = make();
  plug->resetPending = false;  // past the first stopped block: every part is displayed
  plug->midiIOSet = true;
  plug->GetParam(kDeviceOutSelection)->Set(1);
  for (double dragged : {32.648, 73.542}) {
    plug->sysexSent.clear();
    plug->shortSent.clear();
    edit(plug.get(), kOscillator1Detune + 3, dragged);
    ASSERT_EQ(plug->sysexSent.size(), 1u);
    EXPECT_EQ(plug->paramValue(kOscillator1Detune + 3), plug->sysexSent[0].back());
    EXPECT_NE(text(plug->valueLine).find("[" + std::to_string(plug->sysexSent[0].back()) + "]"), std::string::npos);
    edit(plug.get(), kOscillator1Level + 3, dragged);
    ASSERT_EQ(plug->shortSent.size(), 1u);
    EXPECT_EQ(plug->paramValue(kOscillator1Level + 3), plug->shortSent[0].mData2);
  }
}

// Unisono shares its data byte with the mono/poly switch of the same part (mono/poly + 16 *
// unisono); both blocks start one past a multiple of 16, so the part is the offset in the block.
TEST_F(SorvantaTest, PackedUnisonoEditCarriesItsOwnPartsModeSwitch) {
  auto plug = make();
  plug->midiIOSet = true;
  plug->GetParam(kDeviceOutSelection)->Set(1);
  plug->GetParam(kOscillatorMonoPolyMode + 0)->Set(1);
  plug->GetParam(kOscillatorMonoPolyMode + 1)->Set(0);
  plug->GetParam(kOscillatorUnisono + 1)->Set(0);
  edit(plug.get(), kOscillatorUnisono + 0, 3);
  ASSERT_FALSE(plug->sysexSent.empty());
  ASSERT_EQ(plug->sysexSent.back().size(), 8u);
  EXPECT_EQ(plug->sysexSent.back()[7], 1 + 16 * 3);
}

TEST_F(SorvantaTest, TriggerButtonsToggleTheirTargetOnlyOnPress) {
  auto plug = make();
  const int trigger = kTriggerArpNoteOverlap + 6;  // a trigger that is displayed when pressed
  const int target = kArpSameNoteOverlap + 6;
  plug->resetPending = false;  // past the first stopped block: every part is displayed
  plug->GetParam(target)->Set(0.5);
  plug->setStatusText("before");
  plug->GetParam(trigger)->Set(0);
  plug->OnParamChange(trigger);  // a release does nothing at all
  EXPECT_EQ(plug->paramValue(target), 0.5);
  EXPECT_EQ(text(plug->statusLine), "before");
  plug->GetParam(trigger)->Set(1);
  plug->OnParamChange(trigger);  // only exactly 1.0 counts as on: 0.5 becomes 1.0
  EXPECT_EQ(plug->paramValue(target), 1.0);
  EXPECT_NE(text(plug->statusLine), "before");
  plug->OnParamChange(trigger);
  EXPECT_EQ(plug->paramValue(target), 0.0);
}

// Told at the id it answers at; a synth that then does not answer at the new one keeps the old.
TEST_F(SorvantaTest, DeviceIdChangeGoesToTheOldIdAndStaysUndoneWithoutAnAnswer) {
  auto plug = make();
  sendingAtOnce(plug.get());
  edit(plug.get(), kGlobalSysExID, 5);
  for (int i = 0; i < 4000 && plug->ThreadRunning(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  std::lock_guard<std::mutex> g(plug->sentLock);
  EXPECT_EQ(plug->sysexSent[0], (std::vector<unsigned char>{0x3E, 0x10, 0, 0x24, 0x00, 0x19, 5}));
  EXPECT_EQ(plug->deviceId + plug->paramValue(kGlobalSysExID), 0);
  EXPECT_EQ(text(plug->statusLine), "Device ID not changed!");
}

TEST_F(SorvantaTest, LinkedFilterFollowsKeepingItsDistance) {
  auto plug = make();
  plug->midiIOSet = true;
  plug->GetParam(kDeviceOutSelection)->Set(1);
  const int part = 2;
  plug->setParamFromPlug(kFilterLinkSwitch + part, 0);
  plug->setParamFromPlug(kFilter2Cutoff + part, 80);
  edit(plug.get(), kFilter1Cutoff + part, 60);  // records the distance 20, sends only filter 1
  ASSERT_EQ(plug->sysexSent.size(), 1u);
  EXPECT_EQ(plug->sysexSent[0][7], 60);
  plug->setParamFromPlug(kFilterLinkSwitch + part, 1);
  plug->sysexSent.clear();
  edit(plug.get(), kFilter1Cutoff + part, 70);
  EXPECT_EQ(plug->paramValue(kFilter2Cutoff + part), 90);
  ASSERT_EQ(plug->sysexSent.size(), 2u);
  EXPECT_EQ(plug->sysexSent[1][6], 0x06);  // filter 2's message
  EXPECT_EQ(plug->sysexSent[1][7], 90);
  edit(plug.get(), kFilter1Cutoff + part, 100);  // the partner was below: it lands 20 below
  EXPECT_EQ(plug->paramValue(kFilter2Cutoff + part), 80);
  // A value applied without the synth's flag (a host's controller) moves and sends the partner;
  // a change from the synth is neither echoed nor carried to the partner, which the synth holds.
  plug->sysexSent.clear();
  plug->GetParam(kFilter1Cutoff + part)->Set(110);
  plug->OnParamChange2(kFilter1Cutoff + part);
  EXPECT_EQ(plug->paramValue(kFilter2Cutoff + part), 90);
  ASSERT_EQ(plug->sysexSent.size(), 1u);
  EXPECT_EQ(plug->sysexSent[0][7], 90);
  {
    const SynthOrigin fromSynth(true);
    plug->GetParam(kFilter1Cutoff + part)->Set(40);
    plug->OnParamChange2(kFilter1Cutoff + part);
  }
  EXPECT_EQ(plug->paramValue(kFilter2Cutoff + part), 90);
  EXPECT_EQ(plug->sysexSent.size(), 1u);
}

TEST_F(SorvantaTest, TabsSwitchPagesAndZones) {
  auto plug = make();
  ControlLayer* root = plug->rootLayer;
  ASSERT_NE(root, nullptr);
  // A quick tab switch on the multi tab only changes the bank-and-program layer.
  edit(plug.get(), kQuickTab, 3);
  EXPECT_EQ(plug->currentPart, 3);
  EXPECT_TRUE(plug->getLayer("bankAndProgram04")->isVisible());
  EXPECT_FALSE(plug->getLayer("bankAndProgram01")->isVisible());
  edit(plug.get(), kMainTab, 2);
  EXPECT_EQ(root->getSelectedChildId(), 2);
  EXPECT_TRUE(plug->oscillatorsLayer->isVisible());
  EXPECT_FALSE(plug->filtersEnvelopesLayer->isVisible());
  ControlLayer* page = plug->getLayer("oscPart3");
  EXPECT_TRUE(page->isVisible());
  EXPECT_FALSE(plug->getLayer("oscPart0")->isVisible());
  // Shape 3 grays zones 10 and 20; shape 1 only 20.
  edit(plug.get(), kOscillator1Shape + 3, 3);
  ControlLayer* zone10 = page->layers.Get(0);
  ControlLayer* zone20 = page->layers.Get(1);
  ASSERT_NE(zone10, nullptr);
  ASSERT_EQ(zone10->getId(), 10);
  ASSERT_EQ(zone10->controls.GetSize(), 1);
  EXPECT_TRUE(zone10->controls.Get(0)->IsGrayed());
  EXPECT_TRUE(zone20->controls.Get(0)->IsGrayed());
  edit(plug.get(), kOscillator1Shape + 3, 1);
  EXPECT_FALSE(zone10->controls.Get(0)->IsGrayed());
  EXPECT_TRUE(zone20->controls.Get(0)->IsGrayed());
  // Filter type 12 shows the LP panels of both filters.
  edit(plug.get(), kMainTab, 3);
  edit(plug.get(), kFilter1Type + 3, 12);
  EXPECT_TRUE(plug->getLayer("filter1LP")->isVisible());
  EXPECT_TRUE(plug->getLayer("filter2LP")->isVisible());
  EXPECT_FALSE(plug->getLayer("filter2BP")->isVisible());
}

// A window open on another thread: the synth's part switch in library-names mode, while the
// library is read, reaches the pages and the selection lists from the window's queue; closed with
// work queued, the plug-in leaves none of it to the last tick.
TEST_F(SorvantaTest, WhatTheSynthSwitchesReachesAnOpenWindowThroughItsQueue) {
  auto plug = std::make_unique<RecordingSorvanta>(instanceInfo(), false);
  std::thread([&] { plug->GetGUI()->SetWindowThread(true); }).join();
  plug->GetParam(kPatchSelectionListUpper)->Set(1);  // rebuilt from the library, it reads 0
  plug->libraryNamesMode = true;
  plug->GetParam(kQuickTab)->Set(5);
  plug->OnParamChange(kQuickTab);  // on the MIDI input's thread, as an envelope mode does
  auto shown = [&] { return std::pair(plug->getLayer("bankAndProgram06")->isVisible(), plug->paramValue(kPatchSelectionListUpper)); };
  EXPECT_EQ(shown(), std::pair(false, 1.0)) << "changed off the window's thread";
  EXPECT_TRUE(plug->GetGUI()->RunWindowWork());
  EXPECT_EQ(shown(), std::pair(true, 0.0));
  plug->OnParamChange(kQuickTab);
  plug.reset();
  EXPECT_FALSE(HeadlessGraphics::workAfterTearDown);
}

TEST(ShowMultiLayers, GroupsOfTenAreIndependentExceptTheFirst) {
  ControlLayer page(0, "page");
  for (int id : {5, 15, 25, 80, 109, 305}) page.AddLayer(new ControlLayer(id, "z" + std::to_string(id)));
  page.Hide(false);
  for (int i = 0; i < page.layers.GetSize(); ++i) page.layers.Get(i)->Hide(false);
  page.showMultiLayers(15);
  EXPECT_FALSE(page.layers.Get(3)->isVisible());  // 80 hidden by the 10..19 group
  EXPECT_TRUE(page.layers.Get(1)->isVisible());
  page.layers.Get(3)->Hide(false);
  page.showMultiLayers(25);
  EXPECT_TRUE(page.layers.Get(3)->isVisible());  // 80 untouched by 20..29
  page.showMultiLayers(109);
  EXPECT_EQ(page.getSelectedChildId(), 109);
}

TEST_F(SorvantaTest, RandomizerStaysInRangesAndRespectsLocks) {
  auto plug = make();
  plug->midiIOSet = true;
  plug->GetParam(kDeviceOutSelection)->Set(1);
  edit(plug.get(), kMainTab, 2);
  const int part = plug->currentPart;
  plug->setParamFromPlug(kSectionLockFilter1 + part, 1);
  const double cutoffBefore = plug->paramValue(kFilter1Cutoff + part);
  edit(plug.get(), kRandomize, 1);
  EXPECT_EQ(text(plug->statusLine), "Part Randomized");
  EXPECT_EQ(plug->paramValue(kRandomize), 0);
  EXPECT_TRUE(plug->partRequestPending);
  EXPECT_EQ(plug->paramValue(kFilter1Cutoff + part), cutoffBefore);
  for (int n = 0; n < kNumParams; ++n) {
    IParam* p = plug->GetParam(n);
    ASSERT_GE(p->Value(), p->GetMin()) << n;
    ASSERT_LE(p->Value(), p->GetMax()) << n;
  }
  // With the main tab at 0 nothing happens and the button stays at 1.
  edit(plug.get(), kMainTab, 0);
  plug->partRequestPending = false;
  edit(plug.get(), kRandomize, 1);
  EXPECT_FALSE(plug->partRequestPending);
}

TEST_F(SorvantaTest, StateChunkRoundTripsIntoAFreshInstance) {
  auto a = make();
  a->midiIOSet = true;
  a->globalsEdited = true;
  for (int n = 0; n < SorvantaIdentity::kNumStoredParams; n += 37) {
    IParam* p = a->GetParam(n);
    p->SetClamped(p->GetMin() + std::round((p->GetMax() - p->GetMin()) * 0.5));  // a whole step, as controls keep
  }
  a->getPatchManager()->setName(0, "Big Multi");
  a->getPatchManager()->setName(PatchManager::kSlotFirstPart + 4, "Sub Bass");
  a->getPatchManager()->setName(PatchManager::kSlotFirstCategory + 4, "Bass");
  a->setParamFromPlug(kQuickTab, 4);
  a->setParamFromPlug(kOscillator1Level, 5);
  ByteChunk chunk;
  ASSERT_TRUE(a->SerializeState(&chunk));
  // No port chosen, none stored; the fields' words never name one.
  PatchManager* names = a->getPatchManager();
  EXPECT_EQ(names->getName(PatchManager::kSlotMidiIn) + "|" + names->getName(PatchManager::kSlotMidiOut), "|");
  for (const char* words : {"No MIDI: start JACK", "Lost: No MIDI: start JACK", "Select MIDI Device", "Set Name"})
    EXPECT_EQ(UIConfigManager::portNamedBy(words), "") << words;
  EXPECT_EQ(UIConfigManager::portNamedBy("Lost: Dorvik:in"), "Dorvik:in");
  // 20-byte head, then the block whose third word is the snapshot length 69972 big-endian.
  ASSERT_GT(chunk.Size(), 69972);
  const uint8_t* b = chunk.GetBytes();
  EXPECT_EQ(b[0], 0);
  EXPECT_EQ(b[3], 1);
  EXPECT_EQ(b[28], 0x00);
  EXPECT_EQ(b[29], 0x01);
  EXPECT_EQ(b[30], 0x11);
  EXPECT_EQ(b[31], 0x54);

  // Without a MIDI output the project is shown at once (its push waits for the synth).
  auto offline = make();
  const int end = offline->UnserializeState(&chunk, 0);
  EXPECT_EQ(end, chunk.Size());
  EXPECT_EQ(offline->currentPart, 4);
  EXPECT_EQ(offline->paramValue(kOscillator1Level), 5);
  EXPECT_FALSE(offline->midiIOSet);
  // An older project (no marks) whose globals all read as its snapshot's leaves the editor's.
  auto d = make(), e = make();
  const double local = d->paramValue(kGlobalLocalControl), channel = d->paramValue(kGlobalMidiChannel);
  for (const double set : {local, 1 - local}) {
    ByteChunk whole, older;
    d->GetParam(kGlobalLocalControl)->Set(set), d->SerializeState(&whole), older.PutBytes(whole.GetBytes(), whole.Size() - 12);
    e->GetParam(kGlobalMidiChannel)->Set(channel + 1), e->UnserializeState(&older, 0);
    EXPECT_EQ(e->paramValue(kGlobalMidiChannel), set == local ? channel + 1 : channel);
  }

  // The project's output cannot be opened here: it is shown, and pushed once an output is set.
  auto fresh = make();
  fresh->UnserializeState(&chunk, 0);
  fresh->midiIOSet = true;
  ASSERT_TRUE(fresh->applyHeldProjectState());
  for (int n = 0; n < SorvantaIdentity::kNumStoredParams; ++n) {
    const bool name = n == kMultiName || (n >= kPatchName && n < kPatchName + kNumParts) ||
                      (n >= kCategoryName && n < kCategoryName + kNumParts);
    if (name) continue;  // a name's value only flags its edits; its text is checked below
    ASSERT_EQ(fresh->paramValue(n), a->paramValue(n)) << n;
  }
  EXPECT_EQ(fresh->currentPart, 4);
  for (int slot : {0, 1 + 4, 19 + 4}) {
    const std::string want = a->getPatchManager()->getName(slot);
    const std::string got = fresh->getPatchManager()->getName(slot);
    EXPECT_EQ(std::string(got.c_str()), std::string(want.c_str())) << slot;
  }
  EXPECT_STREQ(fresh->GetParam(kPatchName + 4)->GetDisplayText(0), "Sub Bass");
  // The name lines show the restored part, not the start-up "-- INIT --".
  ASSERT_NE(fresh->patchLine, nullptr);
  EXPECT_EQ(fresh->patchLine->GetTextCopy(), "Sub Bass");
  EXPECT_EQ(fresh->categoryLine->GetTextCopy(), "Bass");
}

// A restore leaves the library to the first request that needs it (so a host's window opens while
// the library is read): the bank lists fill when the librarian's page asks for them.
TEST_F(SorvantaTest, ARestoreLeavesTheLibraryToTheFirstRequestThatNeedsIt) {
  PatchFile bank;
  for (int i = 0; i < 100; ++i) bank.entries.push_back(makeEntryFromMessage(initSoundMessage(), kKindSoundRead));
  const std::vector<uint8_t> bytes = writeBank(bank, false);
  EditorEnvironment::mkdirs(env.dataFolder + "Patches");
  for (const char* name : {"Patches/A.syx", "Patches/B.syx"}) writeFile(env.dataFolder + name, std::string(bytes.begin(), bytes.end()));
  auto a = make();
  ByteChunk chunk;
  ASSERT_TRUE(a->SerializeState(&chunk));
  const int banks = a->GetParam(kPatchSelectionListUpper)->GetNDisplayTexts();
  auto b = std::make_unique<RecordingSorvanta>(instanceInfo(), false);
  const int before = b->GetParam(kPatchSelectionListUpper)->GetNDisplayTexts();
  ASSERT_NE(before, banks);
  EXPECT_GT(b->UnserializeState(&chunk, 0), 0);
  EXPECT_EQ(b->GetParam(kPatchSelectionListUpper)->GetNDisplayTexts(), before) << "the restore waited for the library";
  edit(b.get(), kMainTab, 1);
  EXPECT_EQ(b->GetParam(kPatchSelectionListUpper)->GetNDisplayTexts(), banks);
}

// Restoring a project reopens its stored output by name; when that port is gone no output is
// open any more, so sends are refused aloud instead of vanishing. Choosing an output that cannot
// be opened says so, and closing one says it is closed: neither sets a default.
TEST_F(SorvantaTest, AnOutputThatCannotBeOpenedLeavesSendsRefused) {
  auto a = make();
  ByteChunk chunk;
  ASSERT_TRUE(a->SerializeState(&chunk));
  auto b = make();
  b->midiIOSet = true;  // an output had been chosen before the project was opened
  b->GetParam(kDeviceOutSelection)->Set(1);
  b->UnserializeState(&chunk, 0);
  EXPECT_TRUE(b->sysexSent.empty()) << "pushed into the output the restore had just closed";
  edit(b.get(), kOscillator1Level + 2, 50);
  EXPECT_FALSE(b->midiIOSet);
  EXPECT_EQ(text(b->statusLine), "Set MIDI I/O First!");
  EXPECT_TRUE(b->sysexSent.empty());
  EXPECT_TRUE(b->shortSent.empty());
  b->midiIOSet = true;  // an output is chosen again: the held project goes to it
  EXPECT_TRUE(b->applyHeldProjectState());

  writeFile(env.settingsPath(), "yellow\nnormal\nyes\n\n");
  auto c = make();
  edit(c.get(), kDeviceOutSelection, 1);  // "Out A": listed, but no such port to open
  EXPECT_FALSE(c->midiIOSet);
  EXPECT_EQ(text(c->statusLine), "MIDI Out could not be opened!");
  EXPECT_EQ(readFile(env.settingsPath()), "yellow\nnormal\nyes\n\n");
  edit(c.get(), kDeviceOutSelection, 0);  // closed by choice: no default set, the stored one stays
  EXPECT_EQ(text(c->statusLine), "MIDI Out closed.");
}

TEST_F(SorvantaTest, HostileChunksAreRefusedAndChangeNothing) {
  auto a = make();
  ByteChunk good;
  ASSERT_TRUE(a->SerializeState(&good));
  auto b = make();
  b->GetParam(kDeviceOutSelection)->Set(1);
  b->setParamFromPlug(kOscillator1Level, 3);
  const double before = b->paramValue(kOscillator1Level);
  ByteChunk empty;
  EXPECT_EQ(b->UnserializeState(&empty, 0), 0);
  for (int cut : {3, 19, 20, 31, 200, good.Size() - 8, good.Size() - 1}) {
    ByteChunk shortChunk;
    shortChunk.PutBytes(good.GetBytes(), cut);
    EXPECT_EQ(b->UnserializeState(&shortChunk, 0), 0) << cut;
  }
  ByteChunk wrongVersion;
  wrongVersion.PutBytes(good.GetBytes(), good.Size());
  wrongVersion.GetBytes()[3] = 2;
  EXPECT_EQ(b->UnserializeState(&wrongVersion, 0), 0);
  EXPECT_EQ(b->paramValue(kOscillator1Level), before);
  EXPECT_EQ(b->UnserializeState(&good, -1), 0);
}

TEST_F(SorvantaTest, IncomingMessageComparisonRemembersTheLastOne) {
  auto plug = make();
  EXPECT_FALSE(DebuggerOutput::compareMIDIdata(plug.get(), IMidiMsg(0, 0x90, 0x3C, 0x64)));
  EXPECT_TRUE(DebuggerOutput::compareMIDIdata(plug.get(), IMidiMsg(0, 0x90, 0x3C, 0x64)));
  EXPECT_FALSE(DebuggerOutput::compareMIDIdata(plug.get(), IMidiMsg(0, 0x90, 0x3C, 0x00)));
  EXPECT_EQ(plug->lastIncomingMessage[2], 0);
}

// Per-part blocks mostly start off a multiple of 16 (kPatchName at 7619, kFilterEnvMode at 6033):
// the part of an edit is its offset in the block, and only that part's sound goes out.
TEST_F(SorvantaTest, NameAndEnvelopeEditsSendTheirOwnPartsSound) {
  auto plug = make();
  plug->midiIOSet = true;
  plug->GetParam(kDeviceOutSelection)->Set(1);
  auto lastDumpPart = [&]() {
    for (int w = 0; w < 5000 && plug->ThreadRunning(); ++w) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (auto it = plug->sysexSent.rbegin(); it != plug->sysexSent.rend(); ++it)
      if (it->size() >= 390) return static_cast<int>((*it)[(*it)[0] == 0xF0 ? 6 : 5]);
    return -1;
  };
  plug->setNameText(kPatchName + 2, "Renamed");
  plug->OnParamChange(kPatchName + 2);
  EXPECT_EQ(lastDumpPart(), 2);
  plug->OnParamChange(kCategoryName + 5);
  EXPECT_EQ(lastDumpPart(), 5);
  plug->OnParamChange(kAmpEnvTrigger + 0);
  EXPECT_EQ(lastDumpPart(), 0);
  plug->OnParamChange(kEnvelope4Mode + 15);
  EXPECT_EQ(lastDumpPart(), 15);
}

// The MIDI input thread writes sound names under the text lock; a name typed in the GUI must
// take the same lock rather than write the text beside it.
TEST_F(SorvantaTest, TypedSoundNameWaitsForTheNameLock) {
  auto plug = make();
  const int param = kPatchName + 3;
  // As the interface's name display makes it (the test interface may not carry one).
  plug->GetParam(param)->InitEnum("Sound Name", 0, 1);
  plug->GetParam(param)->InitText();
  auto* entry = new ICaptionControl(plug.get(), IRECT(0, 0, 10, 10), param, nullptr, false);
  plug->GetGUI()->AttachControl(entry);
  std::atomic<bool> stored{false};
  std::thread gui;
  {
    std::lock_guard<std::mutex> engine(plug->ParamTextLock());
    gui = std::thread([&] {
      plug->GetGUI()->SetFromStringAfterPrompt(entry, plug->GetParam(param), "Typed Pad");
      stored = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(stored.load());
  }
  gui.join();
  EXPECT_EQ(plug->nameText(param), "Typed Pad");
}

TEST_F(SorvantaTest, TearDownRefusesLaterSendsAndLeavesNoThread) {
  auto plug = make();
  plug->midiIOSet = true;
  plug->GetParam(kDeviceOutSelection)->Set(1);
  plug.reset();  // must not crash, hang or send
  SUCCEED();
}

}  // namespace

namespace {

// The shipped interface description and images, when the build has generated them: every tab
// and part page of the real layer tree is switched to, the first visit of a tab finds its images
// decoded (they decode on helper threads once the first page is drawn), and a randomized part
// stays inside every range.
TEST(AuthoredInterface, EveryTabAndPartSwitchesOnTheShippedTree) {
  const std::string dir = SORVANTA_AUTHORED_DIR;
  if (!fileExists(dir + "/uiconfig.tea")) GTEST_SKIP() << "no generated interface in " << dir;
  EditorEnvironment env;
  Sorvanta::resourcesFolderOverride = dir;
  Sorvanta::graphicsFactoryOverride = [](Sorvanta* p, int w, int h) -> IGraphics* {
    auto* g = new IGraphicsGtk(p, w, h, 0);
    g->SetResourcesPath(SORVANTA_AUTHORED_DIR "/img");
    return g;
  };
  auto plug = std::make_unique<RecordingSorvanta>(instanceInfo());
  auto edit = [&](int param, double value) { plug->SetParameterFromGUI(param, plug->GetParam(param)->GetNormalized(value)); };
  ASSERT_NE(plug->rootLayer, nullptr);
  IRECT all(0, 0, plug->GetGUI()->Width(), plug->GetGUI()->Height());
  plug->GetGUI()->Draw(&all);
  for (int i = 0; i < 4000 && IGraphics::WorkAhead(); ++i) usleep(5000);
  const size_t decoded = IGraphics::DecodedBitmapBytes();
  for (int tab : {1, 2, 3, 4, 5, 0}) {
    edit(kMainTab, tab);
    plug->GetGUI()->Draw(&all);
    EXPECT_EQ(IGraphics::DecodedBitmapBytes(), decoded) << "tab " << tab;
  }
  for (int tab = 0; tab <= 5; ++tab) {
    edit(kMainTab, tab);
    EXPECT_EQ(plug->rootLayer->getSelectedChildId(), tab);
    for (int part = 0; part < kNumParts; part += 5) {
      edit(kQuickTab, part);
      EXPECT_EQ(plug->currentPart, part);
    }
  }
  edit(kMainTab, 3);
  for (int type = 0; type <= 12; ++type) edit(kFilter1Type, type);
  edit(kMainTab, 5);
  for (int mode = 0; mode <= 10; ++mode) edit(kEffect2Mode, mode);
  plug->midiIOSet = true;
  edit(kRandomize, 1);
  for (int n = 0; n < kNumParams; ++n) {
    IParam* p = plug->GetParam(n);
    ASSERT_GE(p->Value(), p->GetMin()) << n;
    ASSERT_LE(p->Value(), p->GetMax()) << n;
  }
}

}  // namespace
