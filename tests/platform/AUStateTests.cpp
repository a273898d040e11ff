// The state dictionary: round trip, what a save holds, and every refusal of a restore.
#include <cstring>
#include <string>

#include "AUTestSupport.h"
#include "CFString.h"

namespace {

CFMutableDictionaryRef saveState(OpenPlug& p) {
  CFPropertyListRef list = nullptr;
  UInt32 size = sizeof list;
  EXPECT_EQ(noErr, AudioUnitGetProperty(p.unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &list, &size));
  return static_cast<CFMutableDictionaryRef>(const_cast<void*>(list));
}

OSStatus restoreState(OpenPlug& p, CFTypeRef dict) {
  return AudioUnitSetProperty(p.unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &dict, sizeof dict);
}

void setNumber(CFMutableDictionaryRef d, const char* key, SInt32 v) {
  CFNumberRef n = CFNumberCreate(nullptr, kCFNumberSInt32Type, &v);
  CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
  CFDictionarySetValue(d, k, n);
  CFRelease(k);
  CFRelease(n);
}

void setString(CFMutableDictionaryRef d, const char* key, const char* text) {
  CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
  CFStringRef v = CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
  CFDictionarySetValue(d, k, v);
  CFRelease(k);
  CFRelease(v);
}

SInt32 number(CFDictionaryRef d, const char* key) {
  SInt32 v = 0;
  CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
  CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(d, k)), kCFNumberSInt32Type, &v);
  CFRelease(k);
  return v;
}

}  // namespace

TEST(AUState, SaveHoldsTheComponentsIdentityAndTheChunk) {
  OpenPlug p;
  CFMutableDictionaryRef d = saveState(p);
  ASSERT_NE(nullptr, d);
  EXPECT_EQ(6, CFDictionaryGetCount(d));
  EXPECT_EQ(0x00010006, number(d, "version"));
  EXPECT_EQ(static_cast<SInt32>(FourCC("aumu")), number(d, "type"));
  EXPECT_EQ(static_cast<SInt32>(FourCC("t9vT")), number(d, "subtype"));
  EXPECT_EQ(static_cast<SInt32>(FourCC("HsL1")), number(d, "manufacturer"));
  EXPECT_EQ(CFStringGetTypeID(), CFGetTypeID(CFDictionaryGetValue(d, CFSTR("name"))));
  EXPECT_EQ(CFDataGetTypeID(), CFGetTypeID(CFDictionaryGetValue(d, CFSTR("data"))));
  CFRelease(d);
}

TEST(AUState, RoundTripRestoresEveryParameter) {
  CFMutableDictionaryRef d;
  {
    OpenPlug a;
    AudioUnitSetParameter(a.unit, 0, kAudioUnitScope_Global, 0, 11.0f, 0);
    AudioUnitSetParameter(a.unit, 1, kAudioUnitScope_Global, 0, 2.0f, 0);
    AudioUnitSetParameter(a.unit, 9, kAudioUnitScope_Global, 0, 7.5f, 0);  // hidden ones travel too
    d = saveState(a);
  }
  OpenPlug b;
  EXPECT_EQ(noErr, restoreState(b, d));
  EXPECT_EQ(11.0, b.plug->GetParam(0)->Value());
  EXPECT_EQ(2.0, b.plug->GetParam(1)->Value());
  EXPECT_EQ(7.5, b.plug->GetParam(9)->Value());
  EXPECT_EQ(1, b.plug->mUnserializeCalls);
  CFMutableDictionaryRef again = saveState(b);
  EXPECT_TRUE(CFEqual(d, again));
  CFRelease(again);
  CFRelease(d);
}

TEST(AUState, PluginWithoutStateSavesFiveKeysAndThatIsNotRestorable) {
  TestPlug::sSerializeFails = true;
  OpenPlug p;
  CFMutableDictionaryRef d = saveState(p);
  EXPECT_EQ(5, CFDictionaryGetCount(d));
  EXPECT_FALSE(CFDictionaryContainsKey(d, CFSTR("data")));
  EXPECT_EQ(kAudioUnitErr_InvalidPropertyValue, restoreState(p, d));
  EXPECT_EQ(0, p.plug->mUnserializeCalls);
  CFRelease(d);
}

TEST(AUState, RestoreIsRefusedForEachMissingKey) {
  OpenPlug p;
  for (const char* key : {"version", "type", "subtype", "manufacturer", "name", "data"}) {
    CFMutableDictionaryRef d = saveState(p);
    CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFDictionaryRemoveValue(d, k);
    CFRelease(k);
    EXPECT_EQ(kAudioUnitErr_InvalidPropertyValue, restoreState(p, d)) << key;
    CFRelease(d);
  }
  EXPECT_EQ(0, p.plug->mUnserializeCalls);
}

TEST(AUState, RestoreIsRefusedForValuesOfTheWrongType) {
  OpenPlug p;
  CFMutableDictionaryRef d = saveState(p);
  setString(d, "version", "1.0.6");
  EXPECT_EQ(kAudioUnitErr_InvalidPropertyValue, restoreState(p, d));
  CFRelease(d);
  d = saveState(p);
  setNumber(d, "name", 5);
  EXPECT_EQ(kAudioUnitErr_InvalidPropertyValue, restoreState(p, d));
  CFRelease(d);
  d = saveState(p);
  setString(d, "data", "bytes");
  EXPECT_EQ(kAudioUnitErr_InvalidPropertyValue, restoreState(p, d));
  CFRelease(d);
  CFArrayRef notADict = CFArrayCreate(nullptr, nullptr, 0, &kCFTypeArrayCallBacks);
  EXPECT_EQ(kAudioUnitErr_InvalidPropertyValue, restoreState(p, notADict));
  CFRelease(notADict);
  EXPECT_EQ(0, p.plug->mUnserializeCalls);
}

TEST(AUState, RestoreOfAnotherComponentsStateIsRefusedUntouched) {
  OpenPlug p;
  for (const char* key : {"type", "subtype", "manufacturer"}) {
    CFMutableDictionaryRef d = saveState(p);
    setNumber(d, key, number(d, key) + 1);
    EXPECT_EQ(kAudioUnitErr_InvalidPropertyValue, restoreState(p, d)) << key;
    CFRelease(d);
  }
  EXPECT_EQ(0, p.plug->mUnserializeCalls);
}

TEST(AUState, AnyVersionNumberIsAccepted) {
  OpenPlug p;
  CFMutableDictionaryRef d = saveState(p);
  setNumber(d, "version", 0x00010001);
  EXPECT_EQ(noErr, restoreState(p, d));
  CFRelease(d);
}

TEST(AUState, FailedChunkReadAnswersInvalidPropertyValue) {
  OpenPlug p;
  CFMutableDictionaryRef d = saveState(p);
  TestPlug::sUnserializeResult = -1;  // ByteChunk's "read past the end"
  EXPECT_EQ(kAudioUnitErr_InvalidPropertyValue, restoreState(p, d));
  TestPlug::sUnserializeResult = 0;
  EXPECT_EQ(kAudioUnitErr_InvalidPropertyValue, restoreState(p, d));
  TestPlug::sUnserializeResult = 1;
  EXPECT_EQ(noErr, restoreState(p, d));
  CFRelease(d);
}

TEST(AUState, EmptyDataReachesThePluginAsAnEmptyChunk) {
  OpenPlug p;
  CFMutableDictionaryRef d = saveState(p);
  CFDataRef empty = CFDataCreate(nullptr, nullptr, 0);
  CFDictionarySetValue(d, CFSTR("data"), empty);
  CFRelease(empty);
  EXPECT_EQ(kAudioUnitErr_InvalidPropertyValue, restoreState(p, d));  // the test plug-in cannot read it
  EXPECT_EQ(1, p.plug->mUnserializeCalls);
  EXPECT_EQ(0, p.plug->mLastUnserializeSize);
  CFRelease(d);
}

TEST(AUState, LongNamesAreCutAtACharacterBoundary) {
  CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  std::string longName;
  for (int i = 0; i < 40; ++i) longName += "\xC3\xA9";  // 80 bytes of two-byte characters
  PutStrInDict(d, "name", longName.c_str());
  char buf[64];
  memset(buf, 'x', sizeof buf);
  EXPECT_TRUE(GetStrFromDict(d, "name", buf, sizeof buf));
  EXPECT_EQ(62u, strlen(buf));  // 31 whole characters; the 32nd would not leave room for the terminator
  EXPECT_TRUE(CFUTF8IsValid(buf, strlen(buf)));
  EXPECT_FALSE(GetStrFromDict(d, "absent", buf, sizeof buf));
  EXPECT_STREQ("", buf);
  CFRelease(d);

  OpenPlug p;
  CFMutableDictionaryRef s = saveState(p);
  PutStrInDict(s, "name", std::string(500, 'n').c_str());
  EXPECT_EQ(noErr, restoreState(p, s));
  CFRelease(s);
}

TEST(AUState, DataFromDictCopiesTheBytes) {
  CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  const UInt8 bytes[] = {1, 2, 3};
  CFDataRef data = CFDataCreate(nullptr, bytes, 3);
  CFDictionarySetValue(d, CFSTR("data"), data);
  CFRelease(data);
  ByteChunk chunk;
  EXPECT_TRUE(GetDataFromDict(d, "data", &chunk));
  ASSERT_EQ(3, chunk.Size());
  EXPECT_EQ(0, memcmp(bytes, chunk.GetBytes(), 3));
  ByteChunk untouched;
  untouched.PutStr("keep");
  EXPECT_FALSE(GetDataFromDict(d, "other", &untouched));
  EXPECT_EQ(8, untouched.Size());
  CFRelease(d);
}

// A dictionary that names a preset but carries no data used to restore that preset before it
// was refused: the host was told "invalid" while the sound had changed underneath.
TEST(AUState, RefusedRestoreLeavesThePresetAndParametersAlone) {
  TestPlug::sPresets = 1;
  OpenPlug p;
  ASSERT_EQ(1, p.plug->NPresets());
  CFMutableDictionaryRef d = saveState(p);
  EXPECT_STREQ("Factory", p.plug->GetPresetName(0));
  CFDictionaryRemoveValue(d, CFSTR("data"));
  AudioUnitSetParameter(p.unit, 0, kAudioUnitScope_Global, 0, 11.0f, 0);
  EXPECT_EQ(kAudioUnitErr_InvalidPropertyValue, restoreState(p, d));
  EXPECT_EQ(11.0, p.plug->GetParam(0)->Value());
  EXPECT_EQ(0, p.plug->mUnserializeCalls);
  CFRelease(d);
}
