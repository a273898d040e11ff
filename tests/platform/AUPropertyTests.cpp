// Properties: parameter list and info, texts, buses, formats, presets, views and the refusals.
#include <cstring>

#include "AUTestSupport.h"
#include "CFString.h"
#include "IGraphicsGtk.h"

namespace {

std::string str(CFStringRef s) {
  const char* c = s ? CFStringGetCStringPtr(s, kCFStringEncodingUTF8) : nullptr;
  return c ? c : "<null>";
}

OSStatus getInfo(OpenPlug& p, UInt32 element, AudioUnitParameterInfo* info) {
  UInt32 size = sizeof *info;
  return AudioUnitGetProperty(p.unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, element, info, &size);
}

void releaseInfo(AudioUnitParameterInfo* info) {
  if (info->cfNameString) CFRelease(info->cfNameString);
  if (info->unitName) CFRelease(info->unitName);
}

}  // namespace

TEST(AUProperties, ParameterListHoldsOnlyTheHostVisibleIds) {
  OpenPlug p;
  UInt32 size = 0;
  Boolean writable = true;
  EXPECT_EQ(noErr, AudioUnitGetPropertyInfo(p.unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, &size, &writable));
  EXPECT_EQ(7u * 4u, size);
  EXPECT_FALSE(writable);
  UInt32 ids[16];
  memset(ids, 0xFF, sizeof ids);
  size = sizeof ids;
  EXPECT_EQ(noErr, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, ids, &size));
  for (UInt32 i = 0; i < 7; ++i) EXPECT_EQ(i, ids[i]);
  EXPECT_EQ(0xFFFFFFFFu, ids[7]);
  EXPECT_EQ(noErr, AudioUnitGetPropertyInfo(p.unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Input, 0, &size, nullptr));
  EXPECT_EQ(0u, size);
}

TEST(AUProperties, ParameterListIsEmptyWhenEveryParameterIsHidden) {
  OpenPlug p;
  p.plug->addNonAutomateParamCount(TestPlug::kNumParams);
  UInt32 size = 99;
  EXPECT_EQ(noErr, AudioUnitGetPropertyInfo(p.unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, &size, nullptr));
  EXPECT_EQ(0u, size);
  AudioUnitParameterInfo info;
  EXPECT_EQ(kAudioUnitErr_InvalidElement, getInfo(p, 0, &info));
}

// A hidden count below zero must not list ids past the parameter list (ParameterInfo refuses them).
TEST(AUProperties, ParameterListNeverNamesAnIdThatParameterInfoRefuses) {
  OpenPlug p;
  p.plug->addNonAutomateParamCount(-2);
  UInt32 size = 0;
  ASSERT_EQ(noErr, AudioUnitGetPropertyInfo(p.unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, &size, nullptr));
  EXPECT_EQ(static_cast<UInt32>(TestPlug::kNumParams) * 4u, size);
  UInt32 ids[16];
  size = sizeof ids;
  ASSERT_EQ(noErr, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, ids, &size));
  for (UInt32 i = 0; i < size / 4u; ++i) {
    AudioUnitParameterInfo info;
    ASSERT_EQ(noErr, getInfo(p, ids[i], &info)) << "listed id " << ids[i];
    releaseInfo(&info);
  }
}

TEST(AUProperties, ParameterInfoOfAnIntParameter) {
  OpenPlug p;
  AudioUnitParameterInfo info;
  ASSERT_EQ(noErr, getInfo(p, 0, &info));
  EXPECT_STREQ("Cutoff", info.name);
  EXPECT_EQ("Cutoff", str(info.cfNameString));
  EXPECT_EQ(kAudioUnitParameterUnit_Indexed, info.unit);
  EXPECT_EQ(0.0f, info.minValue);
  EXPECT_EQ(127.0f, info.maxValue);
  EXPECT_EQ(64.0f, info.defaultValue);
  EXPECT_EQ(0x48000010u | 0x80000000u | kAudioUnitParameterFlag_HasClump, info.flags);
  releaseInfo(&info);
}

TEST(AUProperties, ParameterInfoUnitsFollowTheParameterType) {
  OpenPlug p;
  AudioUnitParameterInfo info;
  ASSERT_EQ(noErr, getInfo(p, 1, &info));  // enum
  EXPECT_EQ(kAudioUnitParameterUnit_Indexed, info.unit);
  releaseInfo(&info);
  ASSERT_EQ(noErr, getInfo(p, 2, &info));  // bool
  EXPECT_EQ(kAudioUnitParameterUnit_Boolean, info.unit);
  releaseInfo(&info);
  ASSERT_EQ(noErr, getInfo(p, 5, &info));  // double with a label
  EXPECT_EQ(kAudioUnitParameterUnit_CustomUnit, info.unit);
  EXPECT_EQ("dB", str(info.unitName));
  releaseInfo(&info);
  ASSERT_EQ(noErr, getInfo(p, 6, &info));  // double, no label, no group
  EXPECT_EQ(kAudioUnitParameterUnit_Generic, info.unit);
  EXPECT_EQ(nullptr, info.unitName);
  EXPECT_EQ(0u, info.flags & kAudioUnitParameterFlag_HasClump);
  releaseInfo(&info);
}

TEST(AUProperties, ParameterInfoRefusesHiddenElementsAndOtherScopes) {
  OpenPlug p;
  AudioUnitParameterInfo info;
  EXPECT_EQ(kAudioUnitErr_InvalidElement, getInfo(p, 7, &info));
  UInt32 size = sizeof info;
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Input, 0, &info, &size));
}

TEST(AUProperties, EqualGroupsShareAClumpAndNewGroupsTakeTheNextId) {
  OpenPlug p;
  AudioUnitParameterInfo a, b, c, d;
  getInfo(p, 0, &a);  // Filter
  getInfo(p, 1, &b);  // Osc
  getInfo(p, 3, &c);  // Filter
  getInfo(p, 5, &d);  // Amp
  EXPECT_EQ(1u, a.clumpID);
  EXPECT_EQ(2u, b.clumpID);
  EXPECT_EQ(1u, c.clumpID);
  EXPECT_EQ(3u, d.clumpID);
  for (auto* i : {&a, &b, &c, &d}) releaseInfo(i);

  AudioUnitParameterNameInfo ni{2, kAudioUnitParameterName_Full, nullptr};
  UInt32 size = sizeof ni;
  ASSERT_EQ(noErr, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ParameterClumpName, kAudioUnitScope_Global, 0, &ni, &size));
  EXPECT_EQ("Osc", str(ni.outName));
  CFRelease(ni.outName);
  ni = {0, -1, nullptr};
  EXPECT_EQ(kAudioUnitErr_PropertyNotInUse, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ParameterClumpName, kAudioUnitScope_Global, 0, &ni, &size));
  ni = {4, -1, nullptr};  // past the list: refused instead of read
  EXPECT_EQ(kAudioUnitErr_PropertyNotInUse, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ParameterClumpName, kAudioUnitScope_Global, 0, &ni, &size));
  EXPECT_EQ(nullptr, ni.outName);
}

TEST(AUProperties, ValueStringsListTheDisplayTexts) {
  OpenPlug p;
  CFArrayRef a = nullptr;
  UInt32 size = sizeof a;
  ASSERT_EQ(noErr, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global, 1, &a, &size));
  ASSERT_EQ(3, CFArrayGetCount(a));
  EXPECT_EQ("Square", str(static_cast<CFStringRef>(CFArrayGetValueAtIndex(a, 1))));
  CFRelease(a);
  size = 8;
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, AudioUnitGetPropertyInfo(p.unit, kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global, 0, &size, nullptr));
  EXPECT_EQ(0u, size);
  EXPECT_EQ(kAudioUnitErr_InvalidElement, AudioUnitGetPropertyInfo(p.unit, kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global, 8, &size, nullptr));
}

TEST(AUProperties, ValueNameIdNameAndValueFromString) {
  OpenPlug p;
  Float32 v = 2.0f;
  AudioUnitParameterValueName vn{1, &v, nullptr};
  UInt32 size = sizeof vn;
  ASSERT_EQ(noErr, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ParameterValueName, kAudioUnitScope_Global, 0, &vn, &size));
  EXPECT_EQ("Sine", str(vn.outName));
  CFRelease(vn.outName);
  vn = {1, nullptr, nullptr};  // no value: the current one
  ASSERT_EQ(noErr, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ParameterValueName, kAudioUnitScope_Global, 0, &vn, &size));
  EXPECT_EQ("Saw", str(vn.outName));
  CFRelease(vn.outName);
  vn = {TestPlug::kNumParams, &v, nullptr};  // out of range: refused, not read past the list
  EXPECT_EQ(kAudioUnitErr_InvalidElement, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ParameterValueName, kAudioUnitScope_Global, 0, &vn, &size));
  vn = {1, &v, nullptr};  // another scope: size and success, nothing written
  EXPECT_EQ(noErr, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ParameterValueName, kAudioUnitScope_Input, 0, &vn, &size));
  EXPECT_EQ(24u, size);
  EXPECT_EQ(nullptr, vn.outName);

  AudioUnitParameterNameInfo ni{0, 3, nullptr};
  size = sizeof ni;
  ASSERT_EQ(noErr, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ParameterIDName, kAudioUnitScope_Global, 0, &ni, &size));
  EXPECT_EQ("Cut", str(ni.outName));
  CFRelease(ni.outName);
  ni = {0, kAudioUnitParameterName_Full, nullptr};
  AudioUnitGetProperty(p.unit, kAudioUnitProperty_ParameterIDName, kAudioUnitScope_Global, 0, &ni, &size);
  EXPECT_EQ("Cutoff", str(ni.outName));
  CFRelease(ni.outName);
  ni = {0x7FFFFFFF, -1, nullptr};
  EXPECT_EQ(kAudioUnitErr_InvalidElement, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ParameterIDName, kAudioUnitScope_Global, 0, &ni, &size));

  AudioUnitParameterValueFromString vs{1, CFSTR("Sine"), -5.0f};
  size = sizeof vs;
  ASSERT_EQ(noErr, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ParameterValueFromString, kAudioUnitScope_Global, 0, &vs, &size));
  EXPECT_EQ(2.0f, vs.outValue);
  vs = {1, CFSTR("Triangle"), -5.0f};
  EXPECT_EQ(noErr, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ParameterValueFromString, kAudioUnitScope_Global, 0, &vs, &size));
  EXPECT_EQ(-5.0f, vs.outValue);  // unknown text: left as it was
  vs = {3, CFSTR("0.25"), 0.0f};
  AudioUnitGetProperty(p.unit, kAudioUnitProperty_ParameterValueFromString, kAudioUnitScope_Global, 0, &vs, &size);
  EXPECT_EQ(0.25f, vs.outValue);
  vs = {99, CFSTR("1"), 0.0f};
  EXPECT_EQ(kAudioUnitErr_InvalidElement, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ParameterValueFromString, kAudioUnitScope_Global, 0, &vs, &size));
}

TEST(AUProperties, StreamFormatDescribesTheBusAndRefusesMissingBuses) {
  OpenPlug p;
  AudioStreamBasicDescription f;
  UInt32 size = sizeof f;
  Boolean writable = false;
  ASSERT_EQ(noErr, AudioUnitGetPropertyInfo(p.unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &size, &writable));
  EXPECT_TRUE(writable);
  ASSERT_EQ(noErr, AudioUnitGetProperty(p.unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Global, 0, &f, &size));
  EXPECT_EQ(kAudioFormatLinearPCM, f.mFormatID);
  EXPECT_EQ(0x29u, f.mFormatFlags);
  EXPECT_EQ(2u, f.mChannelsPerFrame);
  EXPECT_EQ(4u, f.mBytesPerFrame);
  EXPECT_EQ(32u, f.mBitsPerChannel);
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, AudioUnitGetProperty(p.unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 1, &f, &size));
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, AudioUnitGetProperty(p.unit, kAudioUnitProperty_StreamFormat, 3, 0, &f, &size));
}

TEST(AUProperties, StreamFormatRefusesBadFormatsAndMoreThan128Channels) {
  OpenPlug p;
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, p.SetFormat(kAudioUnitScope_Output, 0, 129));
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, p.SetFormat(kAudioUnitScope_Output, 0, 0));
  AudioStreamBasicDescription f;
  MakeDefaultASBD(&f, 44100.0, 2, false);
  f.mFormatID = FourCC("aac ");
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, AudioUnitSetProperty(p.unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &f, sizeof f));
  MakeDefaultASBD(&f, 48000.0, 2, false);
  EXPECT_EQ(noErr, AudioUnitSetProperty(p.unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &f, sizeof f));
  EXPECT_EQ(48000.0, p.plug->GetSampleRate());
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, AudioUnitSetProperty(p.unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 1, &f, sizeof f));
}

TEST(AUProperties, ElementNamesAndTheirRefusals) {
  OpenPlug p;
  CFStringRef s = nullptr;
  UInt32 size = sizeof s;
  ASSERT_EQ(noErr, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Output, 0, &s, &size));
  EXPECT_EQ("output 1", str(s));
  CFRelease(s);
  ASSERT_EQ(noErr, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Input, 1, &s, &size));
  EXPECT_EQ("aux input", str(s));
  CFRelease(s);
  EXPECT_EQ(kAudioUnitErr_InvalidElement, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Output, 1, &s, &size));
  EXPECT_EQ(kAudioUnitErr_InvalidElement, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Input, 2, &s, &size));
  EXPECT_EQ(kAudioUnitErr_InvalidScope, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ElementName, 3, 0, &s, &size));
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, AudioUnitGetPropertyInfo(p.unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Input, 0, &size, nullptr));
}

TEST(AUProperties, FixedAnswersOfTheComponent) {
  OpenPlug p;
  Float64 d = 0;
  UInt32 size = sizeof d;
  ASSERT_EQ(noErr, AudioUnitGetProperty(p.unit, kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0, &d, &size));
  EXPECT_DOUBLE_EQ(128.0 / 44100.0, d);
  ASSERT_EQ(noErr, AudioUnitGetProperty(p.unit, kAudioUnitProperty_TailTime, kAudioUnitScope_Global, 0, &d, &size));
  EXPECT_DOUBLE_EQ(128.0 / 44100.0, d);
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, AudioUnitGetProperty(p.unit, kAudioUnitProperty_Latency, kAudioUnitScope_Output, 0, &d, &size));

  SInt16 pairs[4] = {};
  size = sizeof pairs;
  ASSERT_EQ(noErr, AudioUnitGetProperty(p.unit, kAudioUnitProperty_SupportedNumChannels, kAudioUnitScope_Global, 0, pairs, &size));
  EXPECT_EQ(4u, size);
  EXPECT_EQ(2, pairs[0]);
  EXPECT_EQ(2, pairs[1]);

  UInt32 u = 0;
  size = sizeof u;
  AudioUnitGetProperty(p.unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, &u, &size);
  EXPECT_EQ(1024u, u);
  AudioUnitGetProperty(p.unit, kMusicDeviceProperty_InstrumentCount, kAudioUnitScope_Global, 0, &u, &size);
  EXPECT_EQ(1u, u);
  AudioUnitGetProperty(p.unit, kAudioUnitProperty_ElementCount, kAudioUnitScope_Input, 0, &u, &size);
  EXPECT_EQ(1u, u);
  AudioUnitGetProperty(p.unit, kAudioUnitProperty_ElementCount, 7, 0, &u, &size);
  EXPECT_EQ(0u, u);
  EXPECT_EQ(kAudioUnitErr_InvalidPropertyValue, AudioUnitGetProperty(p.unit, kAudioUnitProperty_AudioChannelLayout, kAudioUnitScope_Output, 0, &u, &size));
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, AudioUnitGetProperty(p.unit, kAudioUnitProperty_SupportedChannelLayoutTags, kAudioUnitScope_Output, 0, &u, &size));
  for (UInt32 id : {6u, 7u, 9u, 10u, 15u, 17u, 25u, 26u, 29u, 37u, 999u})
    EXPECT_EQ(kAudioUnitErr_InvalidProperty, AudioUnitGetPropertyInfo(p.unit, id, kAudioUnitScope_Global, 0, &size, nullptr)) << id;
}

TEST(AUProperties, HostBufferSmallerThanThePropertyIsRefused) {
  OpenPlug p;
  AudioUnitParameterInfo info;
  UInt32 size = 10;
  EXPECT_EQ(kAudioUnitErr_InvalidPropertyValue, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, 0, &info, &size));
  Float64 sr = 0;
  EXPECT_EQ(kAudioUnitErr_InvalidPropertyValue, AudioUnitSetProperty(p.unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, &sr, 4));
  EXPECT_EQ(kAudioUnitErr_InvalidPropertyValue, AudioUnitSetProperty(p.unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, nullptr, 8));
  EXPECT_EQ(kAudioUnitErr_InvalidPropertyValue, AudioUnitSetProperty(p.unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, &sr, 8));
  UInt32 frames = 0;
  EXPECT_EQ(kAudioUnitErr_InvalidPropertyValue, AudioUnitSetProperty(p.unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, &frames, 4));
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, AudioUnitSetProperty(p.unit, 999, kAudioUnitScope_Global, 0, &frames, 4));
}

TEST(AUProperties, ViewsNeedAGraphicsObject) {
  OpenPlug p;
  ComponentDescription cd;
  UInt32 size = sizeof cd;
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, AudioUnitGetProperty(p.unit, kAudioUnitProperty_GetUIComponentList, kAudioUnitScope_Global, 0, &cd, &size));
  AudioUnitCocoaViewInfo vi{};
  size = sizeof vi;
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, AudioUnitGetProperty(p.unit, kAudioUnitProperty_CocoaUI, kAudioUnitScope_Global, 0, &vi, &size));
  int parent = 0;
  EXPECT_EQ(nullptr, Sorvanta_View_64(p.unit, &parent));
}

TEST(AUProperties, WithGraphicsTheViewComponentAndFactoryAnswer) {
  TestPlug::sWithGraphics = true;
  OpenPlug p;
  ComponentDescription cd;
  UInt32 size = sizeof cd;
  ASSERT_EQ(noErr, AudioUnitGetProperty(p.unit, kAudioUnitProperty_GetUIComponentList, kAudioUnitScope_Global, 0, &cd, &size));
  EXPECT_EQ(FourCC("auvw"), cd.componentType);
  EXPECT_EQ(FourCC("t9vT"), cd.componentSubType);
  EXPECT_EQ(FourCC("HsL1"), cd.componentManufacturer);
  // Linked into the test program, the plug-in lies in no bundle: no Cocoa UI to offer.
  AudioUnitCocoaViewInfo vi{};
  size = sizeof vi;
  EXPECT_EQ(kAudioUnitErr_InvalidProperty, AudioUnitGetProperty(p.unit, kAudioUnitProperty_CocoaUI, kAudioUnitScope_Global, 0, &vi, &size));
  int parent = 0;
  EXPECT_EQ(&parent, Sorvanta_View_64(p.unit, &parent));
  EXPECT_EQ(1, static_cast<TestGraphics*>(p.plug->GetGUI())->mOpened);
}

TEST(AUProperties, PresetPropertiesWithNoPresets) {
  OpenPlug p;
  CFArrayRef a = nullptr;
  UInt32 size = sizeof a;
  ASSERT_EQ(noErr, AudioUnitGetProperty(p.unit, kAudioUnitProperty_FactoryPresets, kAudioUnitScope_Global, 0, &a, &size));
  EXPECT_EQ(0, CFArrayGetCount(a));
  CFRelease(a);
  AUPreset preset{-1, nullptr};
  size = sizeof preset;
  ASSERT_EQ(noErr, AudioUnitGetProperty(p.unit, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0, &preset, &size));
  EXPECT_EQ(0, preset.presetNumber);
  EXPECT_EQ("", str(preset.presetName));
  CFRelease(preset.presetName);
  AUPreset set{3, nullptr};
  EXPECT_EQ(noErr, AudioUnitSetProperty(p.unit, kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0, &set, sizeof set));
  EXPECT_EQ(0, p.plug->GetCurrentPresetIdx());
}

TEST(AUProperties, PresetRecordCountsItsReferences) {
  CFAUPresetRef r = CFAUPresetCreate(nullptr, 4, CFSTR("Bass"));
  ASSERT_NE(nullptr, r);
  EXPECT_EQ(1, r->retainCount.load());
  CFMutableArrayRef a = CFArrayCreateMutable(nullptr, 0, &kCFAUPresetArrayCallBacks);
  CFArrayAppendValue(a, r);
  EXPECT_EQ(2, r->retainCount.load());
  CFAUPresetRef same = CFAUPresetCreate(nullptr, 4, CFSTR("Bass"));
  EXPECT_EQ(0, CFArrayGetFirstIndexOfValue(a, CFRangeMake(0, 1), same));
  CFStringRef d = kCFAUPresetArrayCallBacks.copyDescription(r);
  EXPECT_EQ("AUPreset:\npreset number = 4\npreset name = Bass", str(d));
  CFRelease(d);
  CFAUPresetRelease(same);
  CFAUPresetRetain(r);
  CFAUPresetRelease(r);
  CFAUPresetRelease(r);
  EXPECT_EQ(1, r->retainCount.load());
  CFRelease(a);  // the last reference: freed (ASan checks)
}

TEST(AUProperties, HostIdentifierPropertyNamesTheHost) {
  OpenPlug p;
  AUHostIdentifier hi{CFSTR("Logic Pro X"), {0, 0, 0x52, 10}};
  EXPECT_EQ(noErr, AudioUnitSetProperty(p.unit, kAudioUnitProperty_AUHostIdentifier, kAudioUnitScope_Global, 0, &hi, sizeof hi));
  EXPECT_EQ(21, p.plug->GetHost());
  EXPECT_EQ(0x0A0502, p.plug->GetHostVersion(false));
  EXPECT_EQ(2, p.plug->mHostIdentified);  // at open and now
}

TEST(AUProperties, BypassDeactivatesResetsAndPassesInputThrough) {
  OpenPlug p;
  UInt32 on = 1;
  EXPECT_EQ(noErr, AudioUnitSetProperty(p.unit, kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, &on, sizeof on));
  EXPECT_TRUE(p.plug->IsBypassed());
  EXPECT_EQ(std::vector<bool>{false}, p.plug->mActivations);
  EXPECT_EQ(1, p.plug->mResetCount);
  UInt32 got = 0, size = sizeof got;
  AudioUnitGetProperty(p.unit, kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, &got, &size);
  EXPECT_EQ(1u, got);
  EXPECT_EQ(noErr, p.Render(64, 0.0));
  EXPECT_EQ(0, p.plug->mBlocks);  // bypassed: the plug-in's processing does not run
}

TEST(AUProperties, MakeGraphicsCarriesTheBundleIdentifier) {
  OpenPlug p;
  IGraphics* g = MakeGraphics(p.plug, 100, 50);
  ASSERT_NE(nullptr, g);
  auto* gtk = dynamic_cast<IGraphicsGtk*>(g);
  ASSERT_NE(nullptr, gtk);
  EXPECT_STREQ("com.harrowgatesoundlabs.audiounit.SorvantaTest", gtk->GetBundleID());
  delete g;
}
