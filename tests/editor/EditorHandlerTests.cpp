// The editor's own parameters, one row each: set the parameter, run the handler, then check what
// went out on the wire, which job ran with which arguments, which flags moved (and which were
// left alone) and which layers show. Then the project restore, the randomizer's slot mapping,
// the start-up handshake and the engine's request jobs inside the whole editor.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <thread>

#include "BankFileIO.h"
#include "BankGenerator.h"
#include "ControlLayer.h"
#include "DumpLayout.h"
#include "EditorTestSupport.h"
#include "IControls.h"
#include "IParam.h"
#include "LibrarianMenus.h"
#include "MIDIMessageSender.h"
#include "PartRandomizer.h"
#include "PatchManager.h"
#include "SysexProtocol.h"

using namespace editortest;

namespace {

using Plug = RecordingSorvanta;

bool waitFor(const std::function<bool()>& done, int ms = 8000) {
  for (int i = 0; i < ms / 2; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return done();
}

void waitIdle(Plug& p) { ASSERT_TRUE(waitFor([&] { return !p.ThreadRunning(); })); }

std::string status(Plug& p) { return p.statusLine ? p.statusLine->GetTextCopy() : "<none>"; }

bool shown(Plug& p, const char* layer) {
  ControlLayer* l = p.getLayer(layer);
  return l && l->isVisible();
}

void set(Plug& p, int param, double v) { p.GetParam(param)->Set(v); }

void change(Plug& p, int param, double v) {
  set(p, param, v);
  p.OnParamChange(param);
}

// The dumps on the wire, by kind: 's' sound (with its part), 'm' multi, 'g' global.
std::string dumps(Plug& p) {
  std::lock_guard<std::mutex> g(p.sentLock);
  std::string kinds;
  for (const auto& m : p.sysexSent) {
    const size_t n = m.size() - (m[0] == 0xF0 ? 0 : 2);
    if (n == sysex::kSoundDumpLength) kinds += "s" + std::to_string(m[m[0] == 0xF0 ? 6 : 5]);
    if (n == sysex::kMultiDumpLength) kinds += "m";
    if (n == sysex::kGlobalDumpLength) kinds += "g";
  }
  return kinds;
}

std::vector<unsigned char> plain(std::vector<uint8_t> v) { return std::vector<unsigned char>(v.begin(), v.end()); }

// The short messages as "B0 7B 00" lines.
std::vector<std::string> shorts(Plug& p) {
  waitFor([&] { return !p.ThreadRunning(); });  // a bank change goes out on the dump thread
  std::lock_guard<std::mutex> g(p.sentLock);
  std::vector<std::string> out;
  for (const IMidiMsg& m : p.shortSent) {
    char b[16];
    if ((m.mStatus & 0xF0) == 0xC0)
      snprintf(b, sizeof b, "%02X %02X", m.mStatus, m.mData1);
    else
      snprintf(b, sizeof b, "%02X %02X %02X", m.mStatus, m.mData1, m.mData2);
    out.push_back(b);
  }
  return out;
}

class EditorHandlers : public ::testing::Test {
protected:
  void SetUp() override {
    // Two sound banks and one multi bank for the list steps and the overwrite.
    const std::string patches = env.dataFolder + "Patches/";
    EditorEnvironment::mkdirs(patches);
    testbanks::writeFile(patches + "Alpha.syx", testbanks::rawBank(testbanks::sounds(100, "Alpha", {"Bass"}), 30001));
    testbanks::writeFile(patches + "Beta.syx", testbanks::rawBank(testbanks::sounds(100, "Beta", {"Pad "}), 30001));
    testbanks::writeFile(patches + "Gamma.syx", testbanks::rawBank(testbanks::multis(100, "Gamma"), 30001));
  }
  // An editor with an output chosen and quick jobs.
  std::unique_ptr<Plug> online(bool libraryInPlace = true) {
    auto p = std::make_unique<Plug>(instanceInfo(), libraryInPlace);
    p->midiIOSet = true;
    p->GetParam(kDeviceOutSelection)->Set(1);
    p->midiManager->setPacingOverride(1);
    p->midiManager->sender()->pauseScalePercent = 5;
    for (int part = 0; part < kNumParts; ++part) {
      set(*p, kMultiPartStatus + part, part < 2 ? 1 : 0);
      // Ranges the shipped interface gives and the test interface does not.
      p->GetParam(kMultiPartPatch + part)->InitInt("Program", 0, 0, 127);
      p->GetParam(kFilterLinkValue + part)->InitInt("Link", 1, 0, 3);
    }
    return p;
  }
  EditorEnvironment env;
};

struct Row {
  const char* what;
  std::function<void(Plug&)> before;
  int param;
  double value;
  std::function<void(Plug&)> after;
};

TEST_F(EditorHandlers, EveryEditorParameterDoesWhatItsRowSays) {
  auto unanswered = [](Plug& p) { p.midiManager->setPacingOverride(50), p.midiManager->sender()->pauseScalePercent = 100; };  // till cancelled
  auto flagsOn = [](Plug& p) {
    p.sendAllParts = true;
    p.sendGlobalWithMulti = true;
  };
  auto flagsKept = [](Plug& p) {
    EXPECT_TRUE(p.sendAllParts);
    EXPECT_TRUE(p.sendGlobalWithMulti);
  };
  const Row rows[] = {
      // ---- before the display
      {"filter link trigger turns linking on", nullptr, kFilterLinkTrigger + 2, 1,
       [](Plug& p) {
         EXPECT_EQ(p.paramValue(kFilterLinkValue + 2), 3);
         EXPECT_EQ(p.linkMode[2], 3);
         EXPECT_EQ(p.paramValue(kFilterLinkSwitch + 2), 1);
       }},
      {"keep selected bank", nullptr, kKeepSelectedBank, 0, [](Plug& p) { EXPECT_FALSE(p.keepSelectedBank); }},
      {"program control trigger", [](Plug& p) { set(p, kControlProgBank, 0); }, kTriggerProgControl, 1,
       [](Plug& p) {
         EXPECT_EQ(p.paramValue(kControlProgBank), 1);
         EXPECT_TRUE(p.deviceProgramMode);
         EXPECT_FALSE(p.libraryNamesMode);
       }},
      {"arp MIDI out trigger", nullptr, kTriggerGlobalArpMidiOut, 1,
       [](Plug& p) { EXPECT_EQ(p.paramValue(kGlobalArpSend), 1); }},
      {"local keyboard trigger", [](Plug& p) { set(p, kGlobalLocalControl, 0); }, kTriggerGlobalLocalKBDControl, 1,
       [](Plug& p) {
         EXPECT_EQ(p.paramValue(kGlobalLocalControl), 1);
         EXPECT_TRUE(p.localControlOn);
       }},
      {"library names trigger", nullptr, kTriggerLibControl, 1,
       [](Plug& p) {
         EXPECT_EQ(p.paramValue(kControlLibrary), 1);
         EXPECT_TRUE(p.libraryNamesMode);
       }},
      {"filter routing trigger", [](Plug& p) { set(p, kFilterRoutingParallel + 4, 0); }, kTriggerFilterRouting + 4, 1,
       [](Plug& p) {
         EXPECT_EQ(p.paramValue(kFilterRoutingParallel + 4), 1);
         EXPECT_EQ(p.paramValue(kFilterRoutingSerial + 4), 0);
       }},
      {"link switch sends the current part and keeps the send modes",
       [&](Plug& p) {
         p.currentPart = 1;
         flagsOn(p);
       },
       kFilterLinkSwitch + 1, 1,
       [&](Plug& p) {
         waitIdle(p);
         EXPECT_EQ(dumps(p), "s1");
         flagsKept(p);
       }},
      {"current bank follows the part's bank", [](Plug& p) { p.keepSelectedBank = false; }, kCurrentPatchBank + 0, 1,
       [](Plug& p) {
         EXPECT_EQ(p.paramValue(kPatchSelectionListUpper), 1);
         EXPECT_EQ(p.getPatchLibrarian()->upperSelection, 1);
         EXPECT_EQ(p.upperBankFile[0], "Beta.syx");
       }},
      {"next upper bank remembers the new bank before the menus refresh", nullptr, kLibUpperNextBank, 1,
       [](Plug& p) {
         EXPECT_EQ(p.paramValue(kPatchSelectionListUpper), 1);
         EXPECT_EQ(p.getPatchLibrarian()->upperSelection, 1);
         EXPECT_EQ(p.upperBankFile[0], "Beta.syx");
         EXPECT_EQ(p.paramValue(kCurrentOpenPatchBankL + 0), 1);
       }},
      {"previous lower bank wraps to the last", nullptr, kLibLowerPreviousBank, 1,
       [](Plug& p) {
         EXPECT_EQ(p.paramValue(kPatchSelectionListLower), p.GetParam(kPatchSelectionListLower)->GetMax());
         EXPECT_EQ(p.lowerBankFile[0], "Beta.syx");
       }},
      {"upper step with unsaved edits", [](Plug& p) { set(p, kBankEditUnsaved, 1); }, kLibUpperNextBank, 1,
       [](Plug& p) {
         EXPECT_EQ(status(p), "Save bank or Discard changes!");
         EXPECT_EQ(p.paramValue(kPatchSelectionListUpper), 0);
       }},
      // ---- after the display, first table
      {"library names exclude device programs", [](Plug& p) { set(p, kControlProgBank, 1); }, kControlLibrary, 1,
       [](Plug& p) {
         EXPECT_EQ(p.paramValue(kControlProgBank), 0);
         EXPECT_TRUE(p.libraryNamesMode);
         EXPECT_FALSE(p.deviceProgramMode);
       }},
      {"master keyboard", nullptr, kMasterKeyboard, 1, [](Plug& p) { EXPECT_TRUE(p.masterKeyboard); }},
      {"envelope trigger sends its part and keeps the send modes", flagsOn, kAmpEnvTrigger + 3, 1,
       [&](Plug& p) {
         waitIdle(p);
         EXPECT_EQ(dumps(p), "s3");
         flagsKept(p);
       }},
      {"envelope mode sends its part", flagsOn, kEnvelope3Mode + 7, 2,
       [&](Plug& p) {
         waitIdle(p);
         EXPECT_EQ(dumps(p), "s7");
         flagsKept(p);
       }},
      // ---- second table
      {"randomize keeps the send modes", [&](Plug& p) { set(p, kMainTab, 2); flagsOn(p); }, kRandomize, 1,
       [&](Plug& p) {
         EXPECT_EQ(status(p), "Part Randomized");
         EXPECT_TRUE(p.partRequestPending);
         waitIdle(p);
         EXPECT_EQ(dumps(p), "s0");
         flagsKept(p);
       }},
      {"randomize without an output sends nothing",
       [](Plug& p) {
         p.midiIOSet = false;
         set(p, kMainTab, 2);
       },
       kRandomize, 1,
       [](Plug& p) {
         EXPECT_EQ(status(p), "Set MIDI I/O First!");
         EXPECT_FALSE(p.ThreadRunning());
         EXPECT_FALSE(p.partRequestPending);
         EXPECT_EQ(p.paramValue(kRandomize), 0);
         EXPECT_TRUE(p.sysexSent.empty());
       }},
      {"sound name sends its part without arming the editor capture",
       [&](Plug& p) {
         p.midiManager->sender()->pauseScalePercent = 100;  // the job is still running below
         flagsOn(p);
         p.midiManager->patchRequest.armed = true;
       },
       kPatchName + 1, 0,
       [&](Plug& p) {
         EXPECT_FALSE(p.midiManager->awaitingDump());
         EXPECT_FALSE(p.midiManager->patchRequest.armed);
         waitIdle(p);
         EXPECT_EQ(shorts(p), std::vector<std::string>{"B1 7B 00"});
         EXPECT_EQ(dumps(p), "s1");
         flagsKept(p);
       }},
      {"push arrangement sends global, multi and active parts", nullptr, kPushArrangement, 1,
       [](Plug& p) {
         EXPECT_TRUE(p.sendAllParts);
         EXPECT_TRUE(p.sendGlobalWithMulti);
         waitIdle(p);
         EXPECT_EQ(dumps(p), "gms0s1");
       }},
      {"multi name sends the multi and the current part only",
       [&](Plug& p) {
         p.currentPart = 1;
         flagsOn(p);
       },
       kMultiName, 0,
       [](Plug& p) {
         EXPECT_FALSE(p.sendAllParts);
         EXPECT_FALSE(p.sendGlobalWithMulti);
         waitIdle(p);
         EXPECT_EQ(dumps(p), "ms1");
       }},
      {"local control", nullptr, kGlobalLocalControl, 0, [](Plug& p) { EXPECT_FALSE(p.localControlOn); }},
      {"program up steps from the last bank change",
       [](Plug& p) {
         set(p, kGlobalRxProgramChange, 1);
         set(p, kMultiPartPatch + 0, 40);
         ASSERT_TRUE(p.BankChangeMessage(0));
         waitIdle(p);
         std::lock_guard<std::mutex> g(p.sentLock);
         p.shortSent.clear();
       },
       kPatchUp + 0, 1,
       [](Plug& p) {
         EXPECT_EQ(shorts(p), (std::vector<std::string>{"B0 7B 00", "B0 00 00", "B0 20 40", "C0 29"}));
         EXPECT_EQ(p.paramValue(kMultiPartPatch + 0), 41);
       }},
      {"program up from a restored project's program, onto part 1's: refused",
       [](Plug& p) {
         for (int k : {0, 1}) set(p, kMultiPartBank + k, 1), set(p, kMultiPartPatch + k, 76 - k);
         ByteChunk c;
         p.SerializeState(&c), p.UnserializeState(&c, 0), p.midiIOSet = true, p.applyHeldProjectState(), set(p, kGlobalRxProgramChange, 1);
         waitIdle(p), p.shortSent.clear();
       },
       kPatchUp + 1, 1, [](Plug& p) { EXPECT_TRUE(p.shortSent.empty()); }},
      {"a locked program step cancelled while it waits for the sound sends nothing back",
       [&](Plug& p) { unanswered(p), set(p, kGlobalRxProgramChange, 1), set(p, kSectionLockOsc1, 1); }, kPatchUp + 0, 1,
       [](Plug& p) { p.cancelDataRequest(), waitIdle(p); EXPECT_EQ(dumps(p), ""); }},
      {"program down wraps below 0", [](Plug& p) { set(p, kGlobalRxProgramChange, 1); }, kPatchDown + 1, 1,
       [](Plug& p) {
         EXPECT_EQ(shorts(p), (std::vector<std::string>{"B1 7B 00", "B1 00 00", "B1 20 40", "C1 63"}));
         EXPECT_EQ(p.paramValue(kMultiPartPatch + 1), 99);
       }},
      {"program step with reception off", [](Plug& p) { set(p, kGlobalRxProgramChange, 0); }, kPatchUp + 0, 1,
       [](Plug& p) {
         EXPECT_EQ(status(p), "Program Change Disabled.");
         EXPECT_TRUE(p.shortSent.empty());
       }},
      {"program step on a locked part", [](Plug& p) { set(p, kGlobalRxProgramChange, 1); set(p, kPartLock + 0, 1); },
       kPatchUp + 0, 1, [](Plug& p) { EXPECT_TRUE(p.shortSent.empty()); }},
      {"host program changes pass", nullptr, kMIDIFilterDAWPCPassThrough, 1,
       [](Plug& p) { EXPECT_FALSE(p.hostBlockFlags[1]); }},
      {"device SysEx blocked", nullptr, kMIDIFilterHWSEPassThrough, 0, [](Plug& p) { EXPECT_TRUE(p.deviceBlockFlags[6]); }},
      {"track incoming", nullptr, kMIDIFilterTrackIncomingMIDI, 1, [](Plug& p) { EXPECT_TRUE(p.trackIncomingMIDI); }},
      {"route through the host buffer", [](Plug& p) { set(p, kMIDIFilterDirectToHardware, 1); }, kMIDIFilterToDAWBuffer, 1,
       [](Plug& p) {
         EXPECT_TRUE(p.routeViaQueue);
         EXPECT_EQ(p.paramValue(kMIDIFilterDirectToHardware), 0);
       }},
      {"song position", nullptr, kSendMIDIClockPointer, 1, [](Plug& p) { EXPECT_TRUE(p.clockStartStopEnabled); }},
      {"clock on", [](Plug& p) { p.continuousClockStarted = true; }, kSendMIDIClockInfo, 1,
       [](Plug& p) {
         EXPECT_TRUE(p.clockEnabled);
         EXPECT_FALSE(p.continuousClockStarted);
       }},
      {"overwrite puts the part's sound into the library slot", [](Plug& p) { p.sendAllParts = true; }, kOverwriteBank, 1,
       [](Plug& p) {
         EXPECT_FALSE(p.sendAllParts);
         waitIdle(p);
         EXPECT_EQ(dumps(p), "");
         EXPECT_EQ(p.paramValue(kBankEditUnsaved), 1);
         EXPECT_EQ(status(p) + " " + p.valueLine->GetTextCopy(), "Data received to slot(s) Save bank or Discard changes!");
       }},
      {"one search character", [](Plug& p) { p.GetParam(kPatchSearchString)->SetDisplayText(0, "a"); },
       kPatchSearchString, 0,
       [](Plug& p) {
         EXPECT_EQ(status(p), "Enter 2 digits or more!");
         EXPECT_STREQ(p.GetParam(kPatchSearchString)->GetDisplayText(0), "search...");
       }},
      {"search without results", [](Plug& p) { p.GetParam(kPatchSearchString)->SetDisplayText(0, "zzqq"); },
       kPatchSearchString, 0,
       [](Plug& p) {
         EXPECT_EQ(status(p), "No results - Try another keyword!");
         EXPECT_EQ(p.valueLine->GetTextCopy(), "Letter size matters!");
       }},
      {"search field", nullptr, kPatchSearch, 1,
       [](Plug& p) {
         EXPECT_TRUE(shown(p, "searchField"));
         EXPECT_FALSE(shown(p, "categoryLimit"));
       }},
      {"DAW offset", nullptr, kAdjustDAWOffset, 3, [](Plug& p) { EXPECT_EQ(p.queueSpan, 6 + p.GetBlockSize()); }},
      {"category list", nullptr, kCategorySelection, 1, [](Plug& p) { EXPECT_TRUE(p.categoryMode); }},
      {"about window", nullptr, kDisplayAboutWindow, 1, [](Plug& p) { EXPECT_TRUE(shown(p, "aboutWindow")); }},
      {"about window closed", [](Plug& p) { change(p, kDisplayAboutWindow, 1); }, kExitAboutWindow, 1,
       [](Plug& p) { EXPECT_FALSE(shown(p, "aboutWindow")); }},
      {"discard bank edits", [](Plug& p) { set(p, kBankEditUnsaved, 1), p.lockDataType(true); }, kDiscardBankData, 1,
       [](Plug& p) {
         EXPECT_EQ(p.paramValue(kBankEditUnsaved), 0);
         EXPECT_EQ(p.valueLine->GetTextCopy(), "");
         EXPECT_FALSE(shown(p, "patchRename"));
       }},
      {"multi data type", nullptr, kDatatype, 1, [](Plug& p) { EXPECT_TRUE(p.multiMode); }},
      {"cancel", nullptr, kCancelDataRequest, 1, [](Plug& p) { EXPECT_TRUE(p.midiManager->sender()->cancelRequested); }},
      {"multi settings tab", [](Plug& p) { change(p, kMainTab, 2); }, kMultiSettings, 1,
       [](Plug& p) { EXPECT_EQ(p.rootLayer->getSelectedChildId(), 0); }},
      {"closing the first-run notice with an output open asks for the input only",
       [&](Plug& p) {
         writeFile(env.settingsPath(), "yellow\nnormal\nno\n\n\n");
         p.firstRunShown = true;
       },
       kFirstRunExit, 1,
       [&](Plug& p) {
         EXPECT_EQ(status(p), "Set MIDI In");
         std::remove(env.settingsPath().c_str());  // the other rows run without one
       }},
      {"tempo", nullptr, kTempoInformation, 0, [](Plug& p) { EXPECT_EQ(p.hostTempo, truncToInt(p.GetTempo())); }},
      {"device programs exclude library names", [](Plug& p) { set(p, kControlLibrary, 1); }, kControlProgBank, 1,
       [](Plug& p) {
         EXPECT_EQ(p.paramValue(kControlLibrary), 0);
         EXPECT_TRUE(p.deviceProgramMode);
         EXPECT_FALSE(p.libraryNamesMode);
       }},
      {"FX2 link follows the main tab", [](Plug& p) { set(p, kMainTab, 4); }, kGlobalFX2Link, 1,
       [](Plug& p) { EXPECT_EQ(p.rootLayer->getSelectedChildId(), 4); }},
      {"request the multi into the editor", unanswered, kRequestTempData, 1,
       [](Plug& p) {
         EXPECT_TRUE(waitFor([&] { return p.midiManager->awaitingDump(); }));
         EXPECT_TRUE(p.ThreadRunning());
         p.cancelDataRequest();
         waitIdle(p);
         std::lock_guard<std::mutex> g(p.sentLock);
         ASSERT_FALSE(p.sysexSent.empty());
         EXPECT_EQ(p.sysexSent.front(), plain(sysex::soundRequest(0, sysex::kPartEditBufferBank, 0)));
       }},
      {"request the multi, twice, while a request runs: it follows, once",
       [&](Plug& p) { unanswered(p), p.midiManager->requestPartToEditor(5), change(p, kRequestTempData, 1); }, kRequestTempData, 1,
       [](Plug& p) {  // part 1's request and, unanswered, the scan's first
         p.midiManager->setPacingOverride(1), p.cancelDataRequest(), waitIdle(p);
         EXPECT_EQ(std::count(p.sysexSent.begin(), p.sysexSent.end(), plain(sysex::soundRequest(0, sysex::kPartEditBufferBank, 0))), 2);
       }},
      {"two edits during a fetch both go back over its answer, from the window's thread",
       [&](Plug& p) {
         unanswered(p), p.midiManager->requestPartToEditor(0);
         ASSERT_TRUE(waitFor([&] { return p.midiManager->awaitingDump(); }));
         p.GetGUI()->SetWindowThread(true), change(p, kFilter1Cutoff, 50);
       },
       kFilter1Resonance, 61,
       [](Plug& p) {
         std::array<uint8_t, 392> d = dump::initSound();
         d[3] = 0, d[85] = 10, sysex::applyChecksum(d.data(), 392);
         std::thread([&] { ISysEx sx(0, d.data(), 392); p.ProcessSysEx(&sx, true); }).join();
         p.GetGUI()->SetWindowThread(false);
         EXPECT_EQ(p.paramValue(kFilter1Cutoff) * 1000 + p.paramValue(kFilter1Resonance), 50061);
         p.cancelDataRequest();
       }},
      {"send the multi while a request runs: refused in words", [&](Plug& p) { unanswered(p), change(p, kRequestTempData, 1); },
       kPushArrangement, 1, [](Plug& p) {
         EXPECT_EQ(status(p), "Transfer running, wait until it ends!");
         p.midiManager->setPacingOverride(1), p.cancelDataRequest(), waitIdle(p);
       }},
      {"direct routing", [](Plug& p) { change(p, kMIDIFilterToDAWBuffer, 1); }, kMIDIFilterDirectToHardware, 1,
       [](Plug& p) {
         EXPECT_FALSE(p.routeViaQueue);
         EXPECT_EQ(p.paramValue(kMIDIFilterToDAWBuffer), 0);
       }},
      {"clock off", [](Plug& p) { change(p, kSendMIDIClockInfo, 1); }, kSendMIDIClockInfo, 0,
       [](Plug& p) { EXPECT_FALSE(p.clockEnabled); }},
      {"search closed", [](Plug& p) { change(p, kPatchSearch, 1); p.searchMode = true; }, kPatchSearch, 0,
       [](Plug& p) {
         EXPECT_FALSE(p.searchMode);
         EXPECT_FALSE(shown(p, "searchField"));
         EXPECT_TRUE(shown(p, "categoryLimit"));
         EXPECT_STREQ(p.GetParam(kPatchSearchString)->GetDisplayText(0), "search...");
       }},
      {"sound data type in category mode", [](Plug& p) { change(p, kDatatype, 1); p.categoryMode = true; }, kDatatype, 0,
       [](Plug& p) {
         EXPECT_FALSE(p.multiMode);
         EXPECT_EQ(p.getPatchLibrarian()->patchType, 0);
         EXPECT_TRUE(shown(p, "categoryLimit"));
       }},
      {"rename without an open rename", nullptr, kPatchRename, 0, [](Plug& p) { EXPECT_FALSE(shown(p, "patchRename")); }},
      {"input port without the settings file", nullptr, kDeviceInSelection, 0,
       [](Plug& p) { EXPECT_EQ(status(p), "Sorvanta Editor UI.txt MISSING!"); }},
      {"MIDI filter window", nullptr, kViewMIDIFilterSettings, 1, [](Plug& p) { EXPECT_TRUE(shown(p, "midiFilterSettings")); }},
      {"effect 2 delay on the effects page", [](Plug& p) { change(p, kMainTab, 5); }, kEffect2Mode + 0, 7,
       [](Plug& p) {
         EXPECT_TRUE(shown(p, "delayFreeLayer"));
         EXPECT_FALSE(shown(p, "delayClockedLayer"));
       }},
      {"clocked delay", [](Plug& p) { change(p, kMainTab, 5); set(p, kFX2DelayClocked + 0, 1); }, kEffect2Mode + 0, 7,
       [](Plug& p) { EXPECT_TRUE(shown(p, "delayClockedLayer")); }},
      {"program up in library-names mode sends the next slot",
       [](Plug& p) {
         p.libraryNamesMode = true;
         p.getPatchLibrarian()->selectedSlot = 9;
       },
       kPatchUp + 0, 1,
       [](Plug& p) {
         EXPECT_EQ(p.getPatchLibrarian()->selectedSlot, 10);
         EXPECT_EQ(p.bankChangeProgram, 10);
         waitIdle(p);
         std::lock_guard<std::mutex> g(p.sentLock);
         ASSERT_FALSE(p.sysexSent.empty());
         const auto& first = p.sysexSent.front();  // slot 10 of the upper bank into part 0
         ASSERT_EQ(first.size(), 392u);
         EXPECT_EQ(first[5], sysex::kPartEditBufferBank);
         EXPECT_EQ(sysex::readName(first.data(), 392, sysex::kSoundNamePos, 9), "Alpha 010");
       }},
      // ---- the display's part filter, on from a reset until a stopped block sent all notes off
      {"part filter after a reset", [](Plug& p) { p.Reset(); }, kOscillator1Level + 5, 30,
       [](Plug& p) {
         EXPECT_EQ(status(p), "Tamsell Sorvanta Plug-in");
         change(p, kOscillator1Level + 0, 31);
         EXPECT_EQ(status(p), "[1] Level");
         p.ProcessDoubleReplacing(nullptr, nullptr, 64);
         change(p, kOscillator1Level + 5, 32);
         EXPECT_EQ(status(p), "[6] Level");
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    auto p = online();
    p->ProcessDoubleReplacing(nullptr, nullptr, 64);  // the construction's reset is behind us
    {
      std::lock_guard<std::mutex> g(p->sentLock);
      p->shortSent.clear();
      p->sysexSent.clear();
    }
    if (row.before) row.before(*p);
    change(*p, row.param, row.value);
    row.after(*p);
    waitIdle(*p);
  }
}

}  // namespace

namespace {

// The filter and clock switches of a restored project take effect, and the restore pushes the
// project: global, multi and each active part.
TEST_F(EditorHandlers, RestoreAppliesTheStoredSwitchesAndPushesTheProject) {
  auto a = online();
  set(*a, kMIDIFilterDAWPCPassThrough, 1);
  set(*a, kMIDIFilterHWCCPassThrough, 0);
  set(*a, kMIDIFilterToDAWBuffer, 1);
  set(*a, kSendMIDIClockPointer, 1);
  set(*a, kSendMIDIClockInfo, 1);
  set(*a, kControlProgBank, 0);
  set(*a, kMasterKeyboard, 1);
  set(*a, kGlobalLocalControl, 1);
  a->globalsEdited = true;
  ByteChunk chunk;
  ASSERT_TRUE(a->SerializeState(&chunk));

  // The project's output cannot be opened here: it is held, and applied once an output is set.
  auto b = online();
  b->continuousClockStarted = true;  // the clock job of the first block has come and gone
  b->UnserializeState(&chunk, 0);
  b->midiIOSet = true;
  ASSERT_TRUE(b->applyHeldProjectState());
  waitIdle(*b);
  EXPECT_FALSE(b->deviceProgramMode);
  EXPECT_FALSE(b->requestAfterProgramChange);
  EXPECT_TRUE(b->masterKeyboard);
  EXPECT_FALSE(b->hostBlockFlags[1]);
  EXPECT_TRUE(b->deviceBlockFlags[0]);
  EXPECT_TRUE(b->routeViaQueue);
  EXPECT_TRUE(b->clockStartStopEnabled);
  EXPECT_TRUE(b->clockEnabled);
  EXPECT_FALSE(b->continuousClockStarted);  // the next block starts the clock
  EXPECT_EQ(dumps(*b), "gms0s1");
  EXPECT_FALSE(b->transferInProgress);
  EXPECT_TRUE(b->localControlOn);
  EXPECT_FALSE(b->sendAllParts || b->sendGlobalWithMulti);  // the push's modes end with it
}

// A byte the editor's values cannot hold (mode bits read as one, an envelope mode below the range)
// goes back as the synth holds it until the editor makes that byte its own.
TEST_F(EditorHandlers, ALossyByteGoesBackAsHeardUntilTheEditorMakesItItsOwn) {
  struct Lossy { const char* what; int pos, heard, sent; std::function<void(Plug&)> act; int size = 392; };  // 393 multi, 207 global
  const Lossy rows[] = {
      {"untouched", 65, 0x35, 0x35, nullptr},
      {"edited away and back", 65, 0x35, 0x31, [](Plug& p) { change(p, kOscillatorMonoPolyMode, 0), change(p, kOscillatorMonoPolyMode, 1); }},
      {"restored", 65, 0x35, 0x31,  // the project's port cannot be opened here: held until an output is set
       [](Plug& p) { ByteChunk c; p.SerializeState(&c), p.UnserializeState(&c, 0), p.midiIOSet = true, p.applyHeldProjectState(); }},
      {"randomized", 203, 0x00, 0x01, [](Plug& p) { change(p, kMainTab, 2), change(p, kRandomize, 1); }},
      {"for another device", 65, 0x35, 0x31, [](Plug& p) { p.deviceId = 5; }},
      {"changed by another device to what reads the same", 65, 0x35, 0x35,
       [](Plug& p) { uint8_t m[] = {0xF0, 0x3E, 0x10, 5, 0x20, 0, 0, 0x3A, 0x33, 0xF7}; ISysEx sx(0, m, 10); p.ProcessSysEx(&sx, true); }},
      {"effect type edited", 137, 100, 63, [](Plug& p) { change(p, kFX1ChorusSpeed, 1); }},
      {"arpeggiator step edited", dump::kArpFirstBytePos, 0x5B, 0x19, [](Plug& p) { change(p, kArpPattern01Step, 1); }},
      {"multi part edited", 51, 50, 2, [](Plug& p) { change(p, kMultiPartVeloLow, 1); }, 393},
      {"multi common edited", 7, 100, 1, [](Plug& p) { change(p, kMultiMasterVolume, 1); }, 393},
      {"global transpose edited", 11, 100, 53, [](Plug& p) { change(p, kGlobalTranspose, 1); }, 207},
  };
  for (const Lossy& row : rows) {
    SCOPED_TRACE(row.what);
    auto p = online();
    p->GetParam(kFilterEnvMode)->InitInt("Mode", 1, 1, 2);  // 0 reads as 1, and every draw is 1
    p->GetParam(kEffect1Param01)->InitInt("Slot", 0, 0, 63);
    const uint8_t* from = row.size == 392 ? dump::initSound().data() : row.size == 393 ? dump::initMulti().data() : dump::globalTemplate().data();
    std::vector<uint8_t> d(from, from + row.size);
    d[3] = 0, d[row.pos] = static_cast<uint8_t>(row.heard);
    sysex::applyChecksum(d.data(), row.size);
    ISysEx heard(0, d.data(), row.size);
    p->midiManager->awaitDumpForEditor();
    p->ProcessSysEx(&heard, true);
    if (row.act) row.act(*p);
    waitIdle(*p);
    p->sysexSent.clear();
    change(*p, kPushArrangement, 1);  // the global settings, the multi, part 0's sound (and part 1's)
    waitIdle(*p);
    const auto sent = std::find_if(p->sysexSent.begin(), p->sysexSent.end(), [&](const auto& m) { return int(m.size()) == row.size; });
    EXPECT_EQ(sent == p->sysexSent.end() ? -1 : (*sent)[row.pos], row.sent);
  }
}

// Opening a project while the synth is not there shows it at once, and saving it again hands back
// the project with what was edited meanwhile; once an output is there, it is pushed.
TEST_F(EditorHandlers, ProjectOpenedWithoutOutputIsSavedUnchangedAndAppliedLater) {
  auto a = online();
  set(*a, kOscillator1Level + 3, 77);
  set(*a, kBankSelection, 0.3);
  a->getPatchManager()->setName(PatchManager::kSlotFirstPart + 3, "Held Lead");
  a->getPatchManager()->setName(PatchManager::kSlotMulti, "Held Multi");
  a->setParamFromPlug(kQuickTab, 3);
  a->globalsEdited = true;
  ByteChunk chunk;
  ASSERT_TRUE(a->SerializeState(&chunk));

  auto b = std::make_unique<Plug>(instanceInfo());
  b->midiManager->sender()->pauseScalePercent = 5;
  ASSERT_GT(b->UnserializeState(&chunk, 0), 0);
  ASSERT_FALSE(b->midiIOSet);
  EXPECT_EQ(b->paramValue(kOscillator1Level + 3), 77);
  EXPECT_TRUE(b->sysexSent.empty());
  set(*b, kOscillator1Level + 4, 66);  // edited while held
  ByteChunk saved;
  ASSERT_TRUE(b->SerializeState(&saved));
  auto c = std::make_unique<Plug>(instanceInfo());
  ASSERT_GT(c->UnserializeState(&saved, 0), 0);
  EXPECT_EQ(c->paramValue(kOscillator1Level + 3) * 1000 + c->paramValue(kOscillator1Level + 4), 77066);

  b->midiIOSet = true;
  ASSERT_TRUE(b->applyHeldProjectState());
  EXPECT_EQ(b->paramValue(kOscillator1Level + 4), 66);
  EXPECT_EQ(b->nameText(kPatchName + 3), "Held Lead");
  EXPECT_EQ(b->nameText(kMultiName), "Held Multi");
  waitIdle(*b);
  EXPECT_EQ(dumps(*b), "gms0s1");
  EXPECT_FALSE(b->applyHeldProjectState());  // applied once
}

}  // namespace

namespace {

// The audio callback hands the handshake to the dump thread without waiting on the render
// thread; while that thread is busy the handshake is queued and starts when the running job ends.
TEST_F(EditorHandlers, HandshakeWaitsForTheDumpThreadWithoutBlockingTheAudioCallback) {
  auto p = online();
  p->midiManager->setPacingOverride(20);
  p->storedPortsFound = true;
  p->constructionDone = true;
  ASSERT_TRUE(p->midiManager->requestPartToEditor(0));  // unanswered: runs until cancelled
  p->handshakePending = true;
  p->ProcessDoubleReplacing(nullptr, nullptr, 64);
  EXPECT_FALSE(p->handshakePending);
  auto checks = [&] {  // the device check's requests sent
    std::lock_guard<std::mutex> g(p->sentLock);
    return std::count(p->sysexSent.begin(), p->sysexSent.end(), plain(sysex::globalRequest(0)));
  };
  EXPECT_EQ(checks(), 0);
  p->cancelDataRequest();
  EXPECT_TRUE(waitFor([&] { return checks() > 0; }));
  p->cancelDataRequest();
}

}  // namespace

namespace {

// Which slot feeds which parameter, over whose range: every expected value below differs from
// what a neighbouring slot, the wrong range or a missed lock would give.
TEST_F(EditorHandlers, RandomizerTakesEachParameterFromItsSlot) {
  auto p = std::make_unique<Plug>(instanceInfo());
  const int part = 3;
  p->GetParam(kFilterEnvMode + part)->InitInt("Mode", 0, 0, 63);
  p->GetParam(kFilter1Cutoff + 0)->InitInt("Cutoff", 0, 0, 63);  // part 0's range rules the steps
  p->GetParam(kMod1FastDestination + part)->InitInt("Dest", 0, 0, 127);
  p->GetParam(kFX1ChorusSpeed + part)->InitInt("Speed", 0, 0, 127);
  p->GetParam(kNoiseExtFilter1Source + part)->InitInt("Noise 1", 0, 0, 1);  // a switch, as in the real interface
  p->GetParam(kNoiseExtFilter2Source + part)->InitInt("Noise 2", 0, 0, 1);
  std::vector<int> bytes(PartRandomizer::kNumRandomValues, 0);
  for (size_t s = 0; s < bytes.size(); ++s) bytes[s] = static_cast<int>(s % 100) + 1;
  bytes[7] = 5;     // oscillator 1 shape (0..7)
  bytes[43] = 6;    // unison 6: 5 voices and mono
  bytes[55] = 9;    // filter 1 type (0..12) and, folded over 0..1, the noise source: 1
  bytes[56] = 100;  // filter 1 cutoff (0..127)
  bytes[69] = 0;    // routing 0: parallel
  bytes[91] = 33;   // effect 1 slot 1 and its chorus speed
  bytes[145] = 40;  // filter envelope: mode 8, trigger on
  bytes[194] = 77;  // modulation 1 fast: destination (slot order source, destination, amount)
  bytes[254] = 91;  // arp step 1, first byte, over 0..63: 28 -> step 1, accent 4, glide 1
  bytes[270] = 91;  // arp step 1, second byte: 28 -> length 1, timing 12

  auto run = [&](std::map<int, double>& out) {
    out.clear();
    PartRandomizer::randomizePatchSettings(p.get(), bytes, part, [&](int n, double v) { out[n] = v; });
  };
  std::map<int, double> put;
  run(put);
  const std::pair<int, double> want[] = {
      {kOscillator1Shape + part, 5},        {kOscillatorUnisono + part, 5},  {kOscillatorMonoPolyMode + part, 1},
      {kFilter1Type + part, 9},             {kNoiseExtFilter1Source + part, 1}, {kFilter1Cutoff + part, 100},
      {kFilterRouting + part, 0},           {kFilterRoutingParallel + part, 1}, {kFilterRoutingSerial + part, 0},
      {kFX1ChorusSpeed + part, 33},         {kFilterEnvMode + part, 8},     {kFilterEnvTrigger + part, 1},
      {kMod1FastDestination + part, 77},    {kArpPattern01Step + part, 1},  {kArpPattern01Accent + part, 4},
      {kArpPattern01Glide + part, 1},       {kArpPattern01StepLen + part, 1}, {kArpPattern01Timing + part, 12},
  };
  for (const auto& [param, value] : want) {
    ASSERT_TRUE(put.count(param)) << param;
    EXPECT_EQ(put[param], value) << param;
  }
  EXPECT_FALSE(put.count(kOscillator1Shape));  // only the randomized part

  // A lock other than exactly 0 keeps its section; the shared slots still feed the other one.
  p->GetParam(kSectionLockFilter1 + part)->Set(0.5);
  p->GetParam(kSectionLockOsc1 + part)->Set(1);
  run(put);
  EXPECT_FALSE(put.count(kFilter1Type + part));
  EXPECT_FALSE(put.count(kFilterRouting + part));
  EXPECT_FALSE(put.count(kOscillator1Shape + part));
  EXPECT_EQ(put[kNoiseExtFilter1Source + part], 1);
  EXPECT_EQ(put[kNoiseExtFilter2Source + part], 0);  // slot 56 (100) folded over 0..1
  EXPECT_EQ(put[kOscillatorUnisono + part], 5);
}

}  // namespace

namespace {

// A synth on the wire: each SysEx the editor sends is recorded and may be answered at once, as
// coming from the device.
class AnsweredSorvanta : public Plug {
public:
  using Plug::Plug;
  // Request number n (from 1) -> the reply, or nothing.
  std::function<testbanks::Bytes(const std::vector<unsigned char>& request, int n)> answer;
  std::vector<std::vector<unsigned char>> requests() {
    std::lock_guard<std::mutex> g(sentLock);
    return sysexSent;
  }
  bool SendMidiSysex(unsigned char* bytes, int size) override {
    int n;
    {
      std::lock_guard<std::mutex> g(sentLock);
      sysexSent.emplace_back(bytes, bytes + size);
      n = static_cast<int>(sysexSent.size());
    }
    if (answer) {
      testbanks::Bytes reply = answer(std::vector<unsigned char>(bytes, bytes + size), n);
      if (size == 6 && reply.size() > 200) reply[3] = bytes[2], reply[5] = bytes[4], reply[6] = bytes[5], sysex::applyChecksum(reply.data(), int(reply.size()));
      if (!reply.empty()) {
        ISysEx sx(0, reply.data(), static_cast<int>(reply.size()));
        ProcessSysEx(&sx, true);
      }
    }
    return true;
  }
};

std::string upperSlotName(Plug& p, int slot) {
  PatchLibrarian* lib = p.getPatchLibrarian();
  UTIL_MutexLock lock(&lib->bankLock());
  PatchFile* f = lib->selectedUpperBank();
  return f && slot < static_cast<int>(f->entries.size()) ? f->entries[static_cast<size_t>(slot)].name : "<none>";
}

struct JobRow {
  const char* what;
  bool multi;
  JobRecord job;
  std::function<testbanks::Bytes(const std::vector<unsigned char>&, int)> answer;
  std::function<void(AnsweredSorvanta&)> after;
  std::function<void(AnsweredSorvanta&)> before = nullptr;
};

TEST_F(EditorHandlers, RequestAndInitJobsAskAnswerAndStoreAsTheirRowsSay) {
  auto job = [](int code, std::function<void(JobRecord&)> args = nullptr) {
    JobRecord r;
    r.code = code;
    if (args) args(r);
    return r;
  };
  // The check of an id change from 0 to 3 after part 1's sound was heard at 0: the synth answers
  // (its global settings) only at `at`, and what was heard is its own there.
  auto idCheck = [&](const char* what, int at, const char* text) {
    std::array<uint8_t, 207> g = dump::globalTemplate();
    g[3] = g[30] = uint8_t(at), sysex::applyChecksum(g.data(), 207);
    return JobRow{what, false, job(13, [](JobRecord& r) { r.idChangedFrom = 0, r.idChangedTo = 3; }),
                  [=](const std::vector<unsigned char>& req, int) { return testbanks::Bytes(g.begin(), req[2] == at ? g.end() : g.begin()); },
                  [=](AnsweredSorvanta& p) { EXPECT_EQ(status(p) + std::to_string(p.midiManager->synthImage.heard(sysex::kSoundDump, 1, at)), text); },
                  [](AnsweredSorvanta& p) {
                    std::array<uint8_t, 392> d = dump::initSound();
                    d[3] = 0, d[6] = 1, sysex::applyChecksum(d.data(), 392);
                    ISysEx sx(0, d.data(), 392);
                    p.midiManager->awaitDumpForEditor(), p.ProcessSysEx(&sx, true), p.deviceId = 3, p.adoptDeviceId = true;
                  }};
  };
  const JobRow rows[] = {
      {"job 7 asks for the selected multi slot", true, job(7),
       [](const std::vector<unsigned char>&, int) { return testbanks::multiDump("Asked Multi", 3); },
       [](AnsweredSorvanta& p) {
         EXPECT_EQ(p.requests().front(), plain(sysex::multiRequest(0, 0, 4)));
         EXPECT_EQ(upperSlotName(p, 4), "Asked Multi     ");
         EXPECT_EQ(status(p), "Data received to slot(s)");  // written right after "Data request Completed!"
         EXPECT_EQ(p.paramValue(kBankEditUnsaved), 1);
       }},
      {"job 9 sends its request again until the third is answered", false,
       job(9, [](JobRecord& r) { r.bank = 2; }),
       [](const std::vector<unsigned char>&, int n) {
         return n == 3 ? testbanks::soundDump("Third Time", "Lead", 7) : testbanks::Bytes();
       },
       [](AnsweredSorvanta& p) {
         const auto sent = p.requests();
         ASSERT_EQ(sent.size(), 3u);
         for (const auto& r : sent) EXPECT_EQ(r, plain(sysex::soundRequest(0, 2, 4)));
         EXPECT_EQ(upperSlotName(p, 4), "Third Time      ");
         EXPECT_EQ(status(p), "Data received to slot(s)");  // written right after "Data request Completed!"
       }},
      {"job 9 into no bank says nothing arrived", false, job(9),
       [](const std::vector<unsigned char>&, int) { return testbanks::soundDump("Nowhere", "Lead", 4); },
       [](AnsweredSorvanta& p) { EXPECT_EQ(p.paramValue(kBankEditUnsaved) + (status(p) == "Data received to slot(s)"), 0); },
       [](AnsweredSorvanta& p) { p.getPatchLibrarian()->upperSelection = 50; }},
      {"job 10 asks for a whole bank slot by slot", false, job(10, [](JobRecord& r) { r.bank = 1; }),
       [](const std::vector<unsigned char>& req, int) {
         const int number = req.back() == 0xF7 ? req[req.size() - 2] : req.back();
         return testbanks::soundDump("Got " + std::to_string(number), "Lead", number);
       },
       [](AnsweredSorvanta& p) {
         const auto sent = p.requests();
         ASSERT_EQ(sent.size(), 100u);
         EXPECT_EQ(sent[57], plain(sysex::soundRequest(0, 1, 57)));
         EXPECT_EQ(upperSlotName(p, 0), "Got 0           ");
         EXPECT_EQ(upperSlotName(p, 99), "Got 99          ");
         EXPECT_EQ(status(p), "Data received to slot(s)");
       }},
      {"job 11 puts the init multi into the selected slot", true, job(11), nullptr,
       [](AnsweredSorvanta& p) {
         EXPECT_TRUE(p.requests().empty());
         const auto& init = dump::initMulti();
         EXPECT_EQ(upperSlotName(p, 4), sysex::readName(init.data(), 393, sysex::kMultiNamePos, sysex::kNameWidth));
       }},
      {"job 11 only from the synth leaves the slot", true, job(11, [](JobRecord& r) { r.initFlag = true; }), nullptr,
       [](AnsweredSorvanta& p) { EXPECT_EQ(upperSlotName(p, 4).rfind("Gamma", 0), 0u); }},
      {"job 12 puts the init sound into the selected slot", false, job(12, [](JobRecord& r) { r.part = 2; }), nullptr,
       [](AnsweredSorvanta& p) {
         const auto& init = dump::initSound();
         EXPECT_EQ(upperSlotName(p, 4), sysex::readName(init.data(), 392, sysex::kSoundNamePos, sysex::kNameWidth));
       }},
      {"job 5 for the librarian asks for the multi edit buffer", true, job(5),
       [](const std::vector<unsigned char>&, int) { return testbanks::multiDump("Edit Buffer", 5); },
       [](AnsweredSorvanta& p) {
         EXPECT_EQ(p.requests().front(), plain(sysex::multiRequest(0, sysex::kMultiEditBufferBank, 0)));
         EXPECT_EQ(upperSlotName(p, 4), "Edit Buffer     ");
         EXPECT_EQ(status(p), "Data received to slot(s)");  // written right after "Data request Completed!"
       }},
      idCheck("job 13 hears a change the synth took", 3, "Device ID changed!1"),
      idCheck("job 13 finds the synth still at the old id by the scan", 0, "Device ID not changed!1"),
      {"job 13 without an answer scans every id and gives up", false, job(13), nullptr,
       [](AnsweredSorvanta& p) {
         const auto sent = p.requests();
         ASSERT_GE(sent.size(), 129u);
         EXPECT_EQ(sent[1], plain(sysex::globalRequest(0)));
         EXPECT_EQ(sent[128], plain(sysex::globalRequest(127)));
         EXPECT_EQ(status(p), "No response from Dorvik!");
       }},
  };
  for (const JobRow& row : rows) {
    SCOPED_TRACE(row.what);
    auto p = std::make_unique<AnsweredSorvanta>(instanceInfo());
    p->midiIOSet = true;
    p->midiManager->setPacingOverride(1);
    p->midiManager->sender()->pauseScalePercent = 5;
    if (row.multi) change(*p, kDatatype, 1);
    p->getPatchLibrarian()->selectedSlot = 4;
    if (row.before) row.before(*p);
    p->answer = row.answer;
    ASSERT_TRUE(p->midiManager->startJob(row.job));
    waitIdle(*p);
    row.after(*p);
  }
}

}  // namespace

namespace {

// "Store Patch Data" to the selected slot writes that program of the part's bank in the synth's
// memory, and nothing else; receiving into no bank is refused before anything is asked.
TEST_F(EditorHandlers, StoringTheSelectedSlotWritesTheSynthsMemory) {
  auto p = online();
  auto* menu = dynamic_cast<BankEditPopupMenu*>(p->getLayer("BANKEDITMENU")->controls.Get(0));
  p->getPatchLibrarian()->selectedSlot = 7;
  menu->choose(BankEditPopupMenu::kSoundStore, 0);
  waitIdle(*p);
  ASSERT_EQ(p->sysexSent.size(), 1u);
  const std::vector<unsigned char>& m = p->sysexSent[0];
  EXPECT_EQ(std::vector<unsigned char>(m.begin() + 4, m.begin() + 7), (std::vector<unsigned char>{0x10, 0, 7}));
  EXPECT_EQ(sysex::readName(m.data(), 392, sysex::kSoundNamePos, 9), "Alpha 007");
  p->getPatchLibrarian()->upperSelection = 50;
  menu->choose(BankEditPopupMenu::kSoundRequest, 5);  // all of bank B
  EXPECT_EQ(status(*p), "No bank selected!");
  EXPECT_FALSE(p->ThreadRunning());
}

// Holds the library's load at its split of an oversized bank until released (or until a bound
// that only ends a test whose editor waits for the load).
class HeldSplit : public FileCalls {
public:
  int renameNoReplace(int fromFolder, const std::string& from, int toFolder, const std::string& to) override {
    if (to.find(" Singles 1") != std::string::npos) {
      std::unique_lock<std::mutex> l(m);
      reached = true;
      cv.notify_all();
      cv.wait_for(l, std::chrono::seconds(20), [&] { return released; });
    }
    return FileCalls::renameNoReplace(fromFolder, from, toFolder, to);
  }
  bool awaitReached() {
    std::unique_lock<std::mutex> l(m);
    return cv.wait_for(l, std::chrono::seconds(20), [&] { return reached; });
  }
  void release() {
    std::lock_guard<std::mutex> l(m);
    released = true;
    cv.notify_all();
  }
  std::mutex m;
  std::condition_variable cv;
  bool reached = false, released = false;
};

// Right after opening, while the library is still being read, a sound edit goes out at once and
// another page opens; the librarian's page waits for the whole library.
TEST_F(EditorHandlers, ASoundEditDuringTheLibraryLoadGoesOutAtOnce) {
  testbanks::writeFile(env.dataFolder + "Patches/Big.syx", testbanks::rawBank(testbanks::sounds(101, "Big", {"Lead"})));
  HeldSplit held;
  setFileCalls(&held);
  auto p = online(false);
  ASSERT_TRUE(held.awaitReached());
  change(*p, kFilter1Cutoff, 70);
  change(*p, kMainTab, 3);
  const bool stillLoading = p->getPatchLibrarian()->loadPending();
  const size_t sent = p->sysexSent.size();
  held.release();
  EXPECT_TRUE(stillLoading) << "the edit waited for the library";
  EXPECT_EQ(sent, 1u);
  change(*p, kMainTab, 1);
  EXPECT_FALSE(p->getPatchLibrarian()->loadPending());
  setFileCalls(nullptr);
}

// A starter on another thread holds the job start while the audio callback runs: the callback
// does not wait for it, and its handshake stays due.
TEST_F(EditorHandlers, AudioCallbackNeverWaitsForAnotherJobStarter) {
  auto p = online();
  p->storedPortsFound = true;
  p->constructionDone = true;
  p->handshakePending = true;
  std::atomic<bool> holding{false}, returned{false}, returnedWhileHeld{false};
  std::thread starter([&] {
    JobRecord clockStart;
    clockStart.code = 15;
    p->midiManager->startJob(clockStart, [&] {
      holding = true;
      for (int i = 0; i < 1500 && !returned; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      returnedWhileHeld = returned.load();
    });
  });
  ASSERT_TRUE(waitFor([&] { return holding.load(); }));
  p->ProcessDoubleReplacing(nullptr, nullptr, 64);
  returned = true;
  starter.join();
  EXPECT_TRUE(returnedWhileHeld);
  EXPECT_TRUE(p->handshakePending);
}

}  // namespace
