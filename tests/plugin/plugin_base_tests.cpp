#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>

#include "IPlugHosts.h"
#include "IPlugLog.h"
#include "TestPlug.h"

TEST(IPluginBase, EditorInitialisationHidesEveryParameter) {
  TestPlug plug(9289, "2-2", 0, 0);
  EXPECT_EQ(plug.NParams(), 9289);
  plug.addNonAutomateParamCount(9289);  // replaces, does not add
  EXPECT_EQ(plug.GetNonAutomatedParamCount(), 9289);
  EXPECT_EQ(plug.NHostParams(), 0);
  plug.OnParamReset();
  EXPECT_TRUE(plug.changes.empty());
  EXPECT_EQ(plug.resets, 1);
  EXPECT_EQ(plug.GetParam(9289), nullptr);
  EXPECT_EQ(plug.GetParam(-1), nullptr);
  EXPECT_STREQ(plug.GetEffectName(), "Test Effect");
  EXPECT_EQ(plug.GetHost(), -1);
  EXPECT_EQ(plug.GetSampleRate(), 44100.0);
  EXPECT_EQ(plug.GetLatency(), 128);
}

TEST(IPluginBase, ChannelStringGivesRecordsAndChannels) {
  TestPlug plug(0, "1-1 2-2");
  EXPECT_EQ(plug.NChannelIO(), 2);
  EXPECT_EQ(plug.NInChannels(), 2);
  EXPECT_EQ(plug.NOutChannels(), 2);
  EXPECT_TRUE(plug.LegalIO(-1, 2));
  EXPECT_FALSE(plug.LegalIO(1, 2));
  EXPECT_TRUE(plug.LegalIO(1, -1));
  EXPECT_TRUE(plug.LegalIO(-1, -1));
  int in = 0, out = 0;
  EXPECT_TRUE(plug.GetChannelIO(1, &in, &out));
  EXPECT_EQ(in, 2);
  EXPECT_FALSE(plug.GetChannelIO(2, &in, &out));
  TestPlug hostile(0, "-5-99999 x");  // counts held to a sane range
  EXPECT_LE(hostile.NOutChannels(), 128);
  EXPECT_EQ(hostile.NInChannels(), 0);
}

TEST(IPluginBase, GuiSetterNotifiesOnlyOnChangeExceptForText) {
  TestPlug plug(2);
  plug.GetParam(0)->InitInt("i", 0, 0, 10);
  plug.GetParam(1)->InitEnum("t", 0, 4);
  plug.GetParam(1)->InitText();
  plug.SetParameterFromGUI(0, 0.5);
  plug.SetParameterFromGUI(0, 0.5);  // same value: host informed, handler not called
  EXPECT_EQ(plug.changes, std::vector<int>{0});
  EXPECT_EQ(plug.informed.size(), 2u);
  plug.SetParameterFromGUI(1, 0.0);
  plug.SetParameterFromGUI(1, 0.0);  // text parameter: notified every time
  EXPECT_EQ(plug.changes, (std::vector<int>{0, 1, 1}));
  plug.SetParameterFromGUI2(0, 1.0);
  plug.SetParameterFromGUI2(0, 1.0);
  EXPECT_EQ(plug.changes2, std::vector<int>{0});
  EXPECT_EQ(plug.GetParam(0)->Value(), 10.0);
  plug.SetParameterFromGUI(99, 0.5);  // outside the list: ignored
  EXPECT_EQ(plug.GetMutex()->IsOwnedByMe(), false);
}

TEST(IPluginBase, LockIsReleasedWhenHandlerThrows) {
  class Thrower : public TestPlug {
  public:
    Thrower() : TestPlug(1) {}
    void OnParamChange(int) override { throw 1; }
  } plug;
  EXPECT_THROW(plug.SetParameterFromGUI(0, 1.0), int);
  EXPECT_FALSE(plug.GetMutex()->IsOwnedByMe());
}

TEST(IPluginBase, DirtyParametersInformsHostOfVisibleOnes) {
  TestPlug plug(4, "2-2", 0, 2);
  plug.DirtyParameters();
  EXPECT_EQ(plug.informed.size(), 2u);
}

TEST(IPluginBase, VersionsAndHost) {
  TestPlug plug;
  EXPECT_EQ(plug.GetEffectVersion(false), 0x10006);
  EXPECT_EQ(plug.GetEffectVersion(true), 10006);
  char s[kVersionStrLen];
  plug.GetEffectVersionStr(s);
  EXPECT_STREQ(s, "v1.0.6");
  GetVersionStr(0x10100, s);
  EXPECT_STREQ(s, "v1.1");
  GetVersionStr(0x20000, s);
  EXPECT_STREQ(s, "v2");
  plug.SetHost("com.apple.logic10", 0x0A0400);
  EXPECT_EQ(plug.GetHost(), kHostLogic);
  EXPECT_EQ(plug.GetHostVersion(true), 100400);
  EXPECT_STREQ(plug.GetAPIString(), "AU");
  EXPECT_STREQ(plug.GetArchString(), "x64");
  EXPECT_EQ(plug.GetSamplesPerBeat(), 22050.0);
  plug.tempo = 0.0;
  EXPECT_EQ(plug.GetSamplesPerBeat(), 0.0);
}

TEST(LookUpHost, FirstTableSubstringWinsBlindToCase) {
  EXPECT_EQ(LookUpHost("Ableton Live 10"), kHostAbletonLive);
  EXPECT_EQ(LookUpHost("Cubase Elements"), kHostCubase);
  EXPECT_EQ(LookUpHost("Logic Pro"), kHostLogic);
  EXPECT_EQ(LookUpHost("AU Lab"), kHostUnknown);
  EXPECT_EQ(LookUpHost(nullptr), kHostUnknown);
  EXPECT_EQ(LookUpHost(std::string(10000, 'a').append("reaper").c_str()), kHostReaper);
  char name[32];
  GetHostNameStr(kHostVegas, name);
  EXPECT_STREQ(name, "Vegas");
  GetHostNameStr(12, name);
  EXPECT_STREQ(name, "Unknown");
  GetHostNameStr(99, name);
  EXPECT_STREQ(name, "Unknown");
}

TEST(IPluginBase, BusLabelsOnlyForFirstTwoElements) {
  TestPlug plug;
  plug.SetOutputBusLabel(0, "output 1");
  plug.SetOutputBusLabel(0, "output A");
  plug.SetInputBusLabel(1, "aux input");
  plug.SetInputBusLabel(2, "ignored");
  plug.SetInputBusLabel(-1, "ignored");
  EXPECT_STREQ(plug.GetOutputBusLabel(0), "output A");
  EXPECT_STREQ(plug.GetInputBusLabel(0), "aux input");  // inserted at the end of a shorter list
  EXPECT_STREQ(plug.GetInputBusLabel(2), "");
}

TEST(IPluginBase, BlockProcessingCopiesInputsAndSurvivesBlockSizeChanges) {
  TestPlug plug(0, "2-2");
  plug.SetBlockSize(4);
  plug.SetInputChannelConnections(0, 2, true);
  plug.SetOutputChannelConnections(0, 2, true);
  EXPECT_TRUE(plug.IsInChannelConnected(1));
  EXPECT_FALSE(plug.IsInChannelConnected(2));
  float in0[4] = {1, 2, 3, 4}, in1[4] = {5, 6, 7, 8}, out0[4] = {}, out1[4] = {};
  float* ins[] = {in0, in1};
  float* outs[] = {out0, out1};
  plug.AttachInputBuffers(0, 2, ins, 4);
  plug.AttachOutputBuffers(0, 2, outs);
  plug.ProcessBuffers(0.0f, 4);
  EXPECT_EQ(out1[3], 8.0f);
  // Disconnected input: its output is the (zeroed) scratch buffer's copy.
  plug.SetInputChannelConnections(1, 1, false);
  plug.SetBlockSize(4096);  // scratch buffers move: slots must follow
  plug.AttachInputBuffers(0, 2, ins, 4);
  plug.ProcessBuffers(0.0f, 4);
  EXPECT_EQ(out1[0], 0.0f);
  EXPECT_EQ(out0[0], 1.0f);
  // A host handing more frames than announced must not overrun a scratch buffer.
  std::vector<float> big(8192, 1.0f), bigOut0(8192), bigOut1(8192);
  float* bigIns[] = {big.data(), big.data()};
  float* bigOuts[] = {bigOut0.data(), bigOut1.data()};
  plug.AttachInputBuffers(0, 2, bigIns, 8192);
  plug.AttachOutputBuffers(0, 2, bigOuts);
  plug.PassThroughBuffers(0.0f, 8192);
  EXPECT_EQ(bigOut0[8191], 1.0f);
}

TEST(IPlugLog, ZoneOffsetAcrossYearEnd) {
  struct tm local {}, utc {};
  local.tm_hour = 1, local.tm_yday = 0;    // Jan 1, 01:00 local
  utc.tm_hour = 23, utc.tm_yday = 364;     // Dec 31, 23:00 UTC
  EXPECT_EQ(ZoneOffsetMinutes(local, utc), 120);
  EXPECT_EQ(ZoneOffsetMinutes(utc, local), -120);
  local.tm_yday = utc.tm_yday = 40;
  local.tm_hour = 5, local.tm_min = 30, utc.tm_hour = 0, utc.tm_min = 0;
  EXPECT_EQ(ZoneOffsetMinutes(local, utc), 330);
  std::string now = CurrentTime();
  EXPECT_EQ(now.size(), 20u);  // "YYYYmmdd HH:MM +hhmm"
  char lower[16];
  ToLower(lower, "AbC\xC3");
  EXPECT_STREQ(lower, "abc\xC3");
}
