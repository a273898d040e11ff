// The Audio Unit and Component Manager vocabulary shared by the plug-in binding and the host:
// scalar types, four-character codes, selectors, property ids, scopes, result codes and the
// structures that travel through property calls. Layouts match what hosts pass on 64-bit
// systems (sizes are checked below), because the binding reads them by size.
#pragma once

#include <cstddef>
#include <cstdint>

typedef uint8_t UInt8;
typedef int8_t SInt8;
typedef uint16_t UInt16;
typedef int16_t SInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef uint64_t UInt64;
typedef int64_t SInt64;
typedef float Float32;
typedef double Float64;
typedef unsigned char Boolean;
typedef SInt32 OSStatus;
typedef SInt16 OSErr;
typedef SInt32 ComponentResult;
typedef UInt32 OSType;
typedef UInt32 FourCharCode;

// 'abcd' as a number, first character in the high byte.
constexpr UInt32 FourCC(const char (&s)[5]) {
  return (UInt32(UInt8(s[0])) << 24) | (UInt32(UInt8(s[1])) << 16) | (UInt32(UInt8(s[2])) << 8) | UInt32(UInt8(s[3]));
}

struct ComponentInstanceRecord;
typedef ComponentInstanceRecord* ComponentInstance;
typedef ComponentInstance AudioUnit;
typedef ComponentInstance AudioComponentInstance;

typedef UInt32 AudioUnitPropertyID;
typedef UInt32 AudioUnitScope;
typedef UInt32 AudioUnitElement;
typedef UInt32 AudioUnitParameterID;
typedef Float32 AudioUnitParameterValue;
typedef UInt32 AudioUnitRenderActionFlags;

struct __CFString;
struct __CFURL;

// ---- result codes ----
enum : OSStatus {
  noErr = 0,
  paramErr = -50,
  invalidComponentID = -3000,
  kAudioUnitErr_InvalidProperty = -10879,
  kAudioUnitErr_InvalidParameter = -10878,
  kAudioUnitErr_InvalidElement = -10877,
  kAudioUnitErr_NoConnection = -10876,
  kAudioUnitErr_FailedInitialization = -10875,
  kAudioUnitErr_TooManyFramesToProcess = -10874,
  kAudioUnitErr_InvalidScope = -10866,
  kAudioUnitErr_InvalidPropertyValue = -10851,
  kAudioUnitErr_PropertyNotInUse = -10850,
  kAudioUnitErr_Uninitialized = -10867,
  coreFoundationUnknownErr = -4960,
  badComponentInstance = static_cast<OSStatus>(0x80008001u),
  badComponentSelector = static_cast<OSStatus>(0x80008002u),
};

// ---- Component Manager selectors ----
enum : SInt16 {
  kComponentOpenSelect = -1,
  kComponentCloseSelect = -2,
  kComponentCanDoSelect = -3,
  kComponentVersionSelect = -4,
};

// ---- Audio Unit selectors ----
enum : SInt16 {
  kAudioUnitInitializeSelect = 1,
  kAudioUnitUninitializeSelect = 2,
  kAudioUnitGetPropertyInfoSelect = 3,
  kAudioUnitGetPropertySelect = 4,
  kAudioUnitSetPropertySelect = 5,
  kAudioUnitGetParameterSelect = 6,
  kAudioUnitSetParameterSelect = 7,
  kAudioUnitResetSelect = 9,
  kAudioUnitAddPropertyListenerSelect = 10,
  kAudioUnitRemovePropertyListenerSelect = 11,
  kAudioUnitRenderSelect = 14,
  kAudioUnitAddRenderNotifySelect = 15,
  kAudioUnitRemoveRenderNotifySelect = 16,
  kAudioUnitScheduleParametersSelect = 17,
  kAudioUnitRemovePropertyListenerWithUserDataSelect = 18,
  kMusicDeviceMIDIEventSelect = 0x101,
  kMusicDeviceSysExSelect = 0x102,
  kMusicDevicePrepareInstrumentSelect = 0x103,
  kMusicDeviceReleaseInstrumentSelect = 0x104,
  kMusicDeviceStartNoteSelect = 0x105,
  kMusicDeviceStopNoteSelect = 0x106,
  kAudioUnitCarbonViewCreateSelect = 0x301,
};

// ---- scopes ----
enum : AudioUnitScope {
  kAudioUnitScope_Global = 0,
  kAudioUnitScope_Input = 1,
  kAudioUnitScope_Output = 2,
};

// ---- property ids ----
enum : AudioUnitPropertyID {
  kAudioUnitProperty_ClassInfo = 0,
  kAudioUnitProperty_MakeConnection = 1,
  kAudioUnitProperty_SampleRate = 2,
  kAudioUnitProperty_ParameterList = 3,
  kAudioUnitProperty_ParameterInfo = 4,
  kAudioUnitProperty_FastDispatch = 5,
  kAudioUnitProperty_CPULoad = 6,
  kAudioUnitProperty_StreamFormat = 8,
  kAudioUnitProperty_ElementCount = 11,
  kAudioUnitProperty_Latency = 12,
  kAudioUnitProperty_SupportedNumChannels = 13,
  kAudioUnitProperty_MaximumFramesPerSlice = 14,
  kAudioUnitProperty_ParameterValueStrings = 16,
  kAudioUnitProperty_GetUIComponentList = 18,
  kAudioUnitProperty_AudioChannelLayout = 19,
  kAudioUnitProperty_TailTime = 20,
  kAudioUnitProperty_BypassEffect = 21,
  kAudioUnitProperty_LastRenderError = 22,
  kAudioUnitProperty_SetRenderCallback = 23,
  kAudioUnitProperty_FactoryPresets = 24,
  kAudioUnitProperty_HostCallbacks = 27,
  kAudioUnitProperty_CurrentPreset = 28,
  kAudioUnitProperty_ElementName = 30,
  kAudioUnitProperty_CocoaUI = 31,
  kAudioUnitProperty_SupportedChannelLayoutTags = 32,
  kAudioUnitProperty_ParameterValueName = 33,
  kAudioUnitProperty_ParameterIDName = 34,
  kAudioUnitProperty_ParameterClumpName = 35,
  kAudioUnitProperty_PresentPreset = 36,
  kAudioUnitProperty_OfflineRender = 37,
  kAudioUnitProperty_ParameterValueFromString = 38,
  kAudioUnitProperty_AUHostIdentifier = 46,
  kMusicDeviceProperty_InstrumentCount = 1000,
};

// ---- fast dispatch elements (property 5) ----
enum : AudioUnitElement {
  kAudioUnitGetParameterFastDispatch = 6,
  kAudioUnitSetParameterFastDispatch = 7,
  kAudioUnitRenderFastDispatch = 14,
};

// ---- stream formats ----
enum : UInt32 {
  kAudioFormatLinearPCM = FourCC("lpcm"),
  kAudioFormatFlagIsFloat = 1u << 0,
  kAudioFormatFlagIsPacked = 1u << 3,
  kAudioFormatFlagIsNonInterleaved = 1u << 5,
};

struct AudioStreamBasicDescription {
  Float64 mSampleRate;
  UInt32 mFormatID;
  UInt32 mFormatFlags;
  UInt32 mBytesPerPacket;
  UInt32 mFramesPerPacket;
  UInt32 mBytesPerFrame;
  UInt32 mChannelsPerFrame;
  UInt32 mBitsPerChannel;
  UInt32 mReserved;
};

struct AudioBuffer {
  UInt32 mNumberChannels;
  UInt32 mDataByteSize;
  void* mData;
};

// Variable length: mNumberBuffers entries follow. Make one with room for N buffers through
// AudioBufferListN<N> and pass its AsList().
struct AudioBufferList {
  UInt32 mNumberBuffers;
  AudioBuffer mBuffers[1];
};
template <int N>
struct AudioBufferListN {
  UInt32 mNumberBuffers = 0;
  AudioBuffer mBuffers[N] = {};
  AudioBufferList* AsList() { return reinterpret_cast<AudioBufferList*>(this); }
};
inline AudioBuffer* AudioBufferListAt(AudioBufferList* l, UInt32 i) { return reinterpret_cast<AudioBuffer*>(reinterpret_cast<char*>(l) + offsetof(AudioBufferList, mBuffers)) + i; }

struct SMPTETime {
  SInt16 mSubframes;
  SInt16 mSubframeDivisor;
  UInt32 mCounter;
  UInt32 mType;
  UInt32 mFlags;
  SInt16 mHours;
  SInt16 mMinutes;
  SInt16 mSeconds;
  SInt16 mFrames;
};

enum : UInt32 { kAudioTimeStampSampleTimeValid = 1u << 0, kAudioTimeStampHostTimeValid = 1u << 1 };

struct AudioTimeStamp {
  Float64 mSampleTime;
  UInt64 mHostTime;
  Float64 mRateScalar;
  UInt64 mWordClockTime;
  SMPTETime mSMPTETime;
  UInt32 mFlags;
  UInt32 mReserved;
};

enum : AudioUnitRenderActionFlags {
  kAudioUnitRenderAction_PreRender = 1u << 2,
  kAudioUnitRenderAction_PostRender = 1u << 3,
};

// ---- callbacks ----
typedef OSStatus (*AURenderCallback)(void* inRefCon, AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* inTimeStamp,
                                     UInt32 inBusNumber, UInt32 inNumberFrames, AudioBufferList* ioData);
typedef void (*AudioUnitPropertyListenerProc)(void* inRefCon, AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                                              AudioUnitElement inElement);
// The fast-dispatch procedures take the component's instance storage, not the instance.
typedef OSStatus (*AudioUnitRenderProc)(void* inComponentStorage, AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* inTimeStamp,
                                        UInt32 inOutputBusNumber, UInt32 inNumberFrames, AudioBufferList* ioData);
typedef OSStatus (*AudioUnitGetParameterProc)(void* inComponentStorage, AudioUnitParameterID inID, AudioUnitScope inScope,
                                              AudioUnitElement inElement, AudioUnitParameterValue* outValue);
typedef OSStatus (*AudioUnitSetParameterProc)(void* inComponentStorage, AudioUnitParameterID inID, AudioUnitScope inScope,
                                              AudioUnitElement inElement, AudioUnitParameterValue inValue, UInt32 inBufferOffsetInFrames);

typedef OSStatus (*HostCallback_GetBeatAndTempo)(void* inHostUserData, Float64* outCurrentBeat, Float64* outCurrentTempo);
typedef OSStatus (*HostCallback_GetMusicalTimeLocation)(void* inHostUserData, UInt32* outDeltaSampleOffsetToNextBeat,
                                                        Float32* outTimeSig_Numerator, UInt32* outTimeSig_Denominator,
                                                        Float64* outCurrentMeasureDownBeat);
typedef OSStatus (*HostCallback_GetTransportState)(void* inHostUserData, Boolean* outIsPlaying, Boolean* outTransportStateChanged,
                                                   Float64* outCurrentSampleInTimeLine, Boolean* outIsCycling, Float64* outCycleStartBeat,
                                                   Float64* outCycleEndBeat);

// Property 27.
struct HostCallbackInfo {
  void* hostUserData;
  HostCallback_GetBeatAndTempo beatAndTempoProc;
  HostCallback_GetMusicalTimeLocation musicalTimeLocationProc;
  HostCallback_GetTransportState transportStateProc;
};

// ---- property structures ----
struct ComponentDescription {
  OSType componentType;
  OSType componentSubType;
  OSType componentManufacturer;
  UInt32 componentFlags;
  UInt32 componentFlagsMask;
};

enum : OSType {
  kAudioUnitType_MusicDevice = FourCC("aumu"),
  kAudioUnitCarbonViewComponentType = FourCC("auvw"),
};

struct AudioUnitConnection {  // property 1
  AudioUnit sourceAudioUnit;
  UInt32 sourceOutputNumber;
  UInt32 destInputNumber;
};

struct AURenderCallbackStruct {  // property 23
  AURenderCallback inputProc;
  void* inputProcRefCon;
};

enum : UInt32 {
  kAudioUnitParameterUnit_Generic = 0,
  kAudioUnitParameterUnit_Indexed = 1,
  kAudioUnitParameterUnit_Boolean = 2,
  kAudioUnitParameterUnit_CustomUnit = 26,
};
enum : UInt32 {
  kAudioUnitParameterFlag_HasClump = 1u << 20,
  kAudioUnitParameterFlag_HasName = 1u << 4,
  kAudioUnitParameterFlag_IsElementMeta = 1u << 29,
  kAudioUnitParameterFlag_IsReadable = 1u << 30,
  kAudioUnitParameterFlag_IsWritable = 1u << 31,
  kAudioUnitParameterFlag_CFNameRelease = 1u << 27,
};

struct AudioUnitParameterInfo {  // property 4
  char name[52];
  const __CFString* unitName;
  UInt32 clumpID;
  const __CFString* cfNameString;
  UInt32 unit;
  AudioUnitParameterValue minValue;
  AudioUnitParameterValue maxValue;
  AudioUnitParameterValue defaultValue;
  UInt32 flags;
};

struct AUPreset {  // properties 28, 36 and the entries of 24
  SInt32 presetNumber;
  const __CFString* presetName;
};

struct AudioUnitCocoaViewInfo {  // property 31
  const __CFURL* mCocoaAUViewBundleLocation;
  const __CFString* mCocoaAUViewClass[1];
};

struct AudioUnitParameterValueName {  // property 33
  AudioUnitParameterID inParamID;
  const Float32* inValue;
  const __CFString* outName;
};

struct AudioUnitParameterNameInfo {  // properties 34 and 35
  AudioUnitParameterID inID;
  SInt32 inDesiredLength;
  const __CFString* outName;
};
enum : SInt32 { kAudioUnitParameterName_Full = -1 };

struct AudioUnitParameterValueFromString {  // property 38
  AudioUnitParameterID inParamID;
  const __CFString* inString;
  AudioUnitParameterValue outValue;
};

struct AUNumVersion {  // little-endian NumVersion
  UInt8 nonRelRev;
  UInt8 stage;
  UInt8 minorAndBugRev;
  UInt8 majorRev;
};
struct AUHostIdentifier {  // property 46
  const __CFString* hostName;
  AUNumVersion hostVersion;
};

enum : UInt32 {
  kAudioChannelLayoutTag_Mono = (100u << 16) | 1,
  kAudioChannelLayoutTag_Stereo = (101u << 16) | 2,
  kAudioChannelLayoutTag_Unknown = 0xFFFF0000u,
};

// ---- schedule parameters (selector 17) ----
enum : UInt32 { kParameterEvent_Immediate = 1, kParameterEvent_Ramped = 2 };
struct AudioUnitParameterEvent {
  AudioUnitScope scope;
  AudioUnitElement element;
  AudioUnitParameterID parameter;
  UInt32 eventType;
  union {
    struct {
      SInt32 startBufferOffset;
      UInt32 durationInFrames;
      AudioUnitParameterValue startValue;
      AudioUnitParameterValue endValue;
    } ramp;
    struct {
      UInt32 bufferOffset;
      AudioUnitParameterValue value;
    } immediate;
  } eventValues;
};

// ---- music device ----
struct NoteParamsControlValue {
  AudioUnitParameterID mID;
  AudioUnitParameterValue mValue;
};
struct MusicDeviceNoteParams {
  UInt32 argCount;
  Float32 mPitch;
  Float32 mVelocity;
  NoteParamsControlValue mControls[1];
};
typedef UInt32 NoteInstanceID;
typedef UInt32 MusicDeviceInstrumentID;
typedef UInt32 MusicDeviceGroupID;

static_assert(sizeof(AudioStreamBasicDescription) == 40, "stream format layout");
static_assert(sizeof(AudioUnitParameterInfo) == 104, "parameter info layout");
static_assert(sizeof(HostCallbackInfo) == 32, "host callbacks layout");
static_assert(sizeof(ComponentDescription) == 20, "component description layout");
static_assert(sizeof(AudioUnitCocoaViewInfo) == 16, "cocoa view info layout");
static_assert(sizeof(AUPreset) == 16, "preset layout");
static_assert(sizeof(AudioUnitConnection) == 16, "connection layout");
static_assert(sizeof(AudioUnitParameterValueName) == 24, "value name layout");
static_assert(sizeof(AudioUnitParameterNameInfo) == 16, "name info layout");
static_assert(sizeof(AudioUnitParameterValueFromString) == 24, "value from string layout");
