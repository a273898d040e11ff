// The Audio Unit binding: carries every host call into the plug-in object. The host's component
// calls arrive at the exported entry (IPluginAUEntry.cpp), which hands them to IPluginAUEntry
// below; open makes the plug-in object (MakePlug), close deletes it, and every other selector
// runs under the plug-in's recursive lock.
//
// Threads: the entry runs on whatever host thread calls it. The render procedure fetched through
// the fast-dispatch property runs on the host's render thread WITHOUT the lock; the fast-dispatch
// parameter procedures take the lock themselves. Listener and event notifications call into the
// host while the lock is held.
//
// Ownership: the binding owns its property listeners, render notifications, bus records and
// input connection records; the plug-in object is owned by the component instance (made at
// open, deleted at close).
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "AUEvents.h"
#include "AUTypes.h"
#include "CFCollections.h"
#include "CFPropertyList.h"
#include "ComponentManager.h"
#include "IPluginBase.h"

// What the binding is given at creation: the identifier of the bundle that carries the
// resources, and the name of the view factory ("Sorvanta_View_64").
struct IPluginInstanceInfo {
  std::string mBundleID;
  std::string mCocoaViewFactoryClassName;
};

class IPluginAU;

// Supplied once by each plug-in library (the editor, the test plug-ins, the placeholder):
// the bundle identifier of its bundle and the construction of its plug-in object.
const char* PlugBundleIdentifier();
IPluginAU* NewPlugInstance(IPluginInstanceInfo info);
// Builds the instance info and the plug-in object under a process-wide recursive lock, so
// constructions of several instances never overlap. The view factory name is fixed here.
IPluginAU* MakePlug();
extern const char* const kCocoaViewFactoryName;  // "Sorvanta_View_64"
// A platform graphics object for the plug-in with its bundle identifier set (the plug-in's
// constructor may build its own instead). The caller attaches it.
class IGraphics;
IGraphics* MakeGraphics(IPluginAU* plug, int w, int h, int fps = 0);

// The name of an input type ("NotConnected", "DirectFastProc", "DirectNoFastProc", "RenderCallback").
const char* AUInputTypeStr(int type);
// Fills a linear PCM float description: interleaved flags 9 and channels x 4 bytes per frame
// and packet; non-interleaved flags 0x29 and 4 bytes.
void MakeDefaultASBD(AudioStreamBasicDescription* asbd, double sampleRate, int nChannels, bool interleaved);

class IPluginAU : public IPluginBase {
public:
  enum EAUInputType { eNotConnected = 0, eDirectFastProc = 1, eDirectNoFastProc = 2, eRenderCallback = 3 };

  // One per bus. mNHostChannels is -1 until the host sets a stream format on the bus.
  struct BusChannels {
    bool mConnected = false;
    int mNHostChannels = -1;
    int mNPlugChannels = 0;
    int mPlugChannelStartIdx = 0;
  };
  // One per input bus: where its audio comes from.
  struct InputBusConnection {
    void* mUpstreamObj = nullptr;
    AudioUnit mUpstreamUnit = nullptr;
    UInt32 mUpstreamBusIdx = 0;
    AudioUnitRenderProc mUpstreamRenderProc = nullptr;
    AURenderCallbackStruct mUpstreamRenderCallback{};
    EAUInputType mInputType = eNotConnected;
  };
  struct PropertyListener {
    AudioUnitPropertyID mPropID;
    AudioUnitPropertyListenerProc mListenerProc;
    void* mProcArgs;
  };

  // Records the identity values only (see IPluginBase); the plug-in constructor then calls
  // initialize() below.
  IPluginAU(IPluginInstanceInfo instanceInfo, int nParams, const char* channelIOStr, int nPresets, const char* effectName,
            const char* productName, const char* mfrName, int vendorVersion, int uniqueID, int mfrID, int latency,
            bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst, int nSideChainChans);
  ~IPluginAU() override;

  // Second construction phase: parameters, presets, channels, buses, block size 1024.
  void initialize(IPluginInstanceInfo instanceInfo, int nAutomated, int nParams, const char* channelIOStr, int nPresets,
                  const char* effectName, const char* productName, const char* mfrName, int vendorVersion, int uniqueID,
                  int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst, int nSideChainChans);

  // ---- the component entries ----
  static ComponentResult IPluginAUEntry(ComponentParameters* params, void* pPlug);
  static ComponentResult IPluginAUCarbonViewEntry(ComponentParameters* params, void* pView);
  // The view factory behind the exported "Sorvanta_View_64": the plug-in's graphics object
  // opens its window in `parent`; null when there is no plug-in or no graphics object.
  static void* CreateView(AudioUnit unit, void* parent);

  // ---- properties and parameters ----
  ComponentResult GetProperty(AudioUnitPropertyID propID, AudioUnitScope scope, AudioUnitElement element, UInt32* pDataSize,
                              Boolean* pWriteable, void* pData);
  ComponentResult SetProperty(AudioUnitPropertyID propID, AudioUnitScope scope, AudioUnitElement element, UInt32* pDataSize,
                              const void* pData);
  ComponentResult GetProc(AudioUnitElement element, UInt32* pDataSize, void* pData);
  static ComponentResult GetParamProc(void* pPlug, AudioUnitParameterID paramID, AudioUnitScope scope, AudioUnitElement element,
                                      AudioUnitParameterValue* pValue);
  static ComponentResult SetParamProc(void* pPlug, AudioUnitParameterID paramID, AudioUnitScope scope, AudioUnitElement element,
                                      AudioUnitParameterValue value, UInt32 offsetFrames);
  static ComponentResult RenderProc(void* pPlug, AudioUnitRenderActionFlags* pFlags, const AudioTimeStamp* pTimestamp,
                                    UInt32 outputBusIdx, UInt32 nFrames, AudioBufferList* pBufferList);
  void InformListeners(AudioUnitPropertyID propID, AudioUnitScope scope);
  OSStatus SendAUEvent(UInt32 type, AudioUnit unit, int paramIdx);

  // ---- state dictionary ----
  int GetState(CFPropertyListRef* ppPropList);
  int SetState(CFPropertyListRef pPropList);

  // ---- buses and connections ----
  BusChannels* GetBus(AudioUnitScope scope, AudioUnitElement busIdx);
  int NHostChannelsConnected(std::vector<BusChannels>* pBuses, int excludeIdx = -1);
  bool CheckLegalIO(AudioUnitScope scope, int busIdx, int nChannels);
  bool CheckLegalIO();
  void AssessInputConnections();
  void ClearConnections();
  int NInBuses() const { return static_cast<int>(mInBuses.size()); }
  int NOutBuses() const { return static_cast<int>(mOutBuses.size()); }
  const InputBusConnection* GetInputConnection(int idx) const {
    return (idx >= 0 && idx < static_cast<int>(mInBusConnections.size())) ? &mInBusConnections[idx] : nullptr;
  }
  bool IsActive() const { return mActive; }
  AudioUnit GetComponentInstance() const { return mCI; }
  const std::string& GetBundleID() const { return mBundleID; }
  double GetCachedTempo() const { return mTempo; }

  // ---- IPluginBase slots implemented here ----
  void BeginInformHostOfParamChange(int idx) override;
  void InformHostOfParamChange(int idx, double normalizedValue) override;
  void EndInformHostOfParamChange(int idx) override;
  void InformHostOfProgramChange() override;
  bool IsRenderingOffline() override { return mIsOffline; }
  int GetSamplePos() override;
  double GetTempo() override;
  void GetTimeSig(int* pNum, int* pDenom) override;
  void GetTime(ITimeInfo* pTimeInfo) override;
  int GetHost() override;
  void ResizeGraphics(int w, int h) override;
  void SetLatency(int samples) override;
  bool SendMidiVST(IMidiMsg*) override { return false; }
  bool SendMidiMsg(IMidiMsg* pMsg) override { return SendDirectMidiMsg(pMsg); }
  bool SendMidiSysex(unsigned char* bytes, int size) override { return SendDirectSysex(bytes, size); }
  bool SendPatchSysex(unsigned char* bytes, int size) override { return SendDirectBytes(bytes, size); }
  bool SendMidiSysex2(std::vector<unsigned char> bytes) override {
    return SendDirectBytes(bytes.data(), static_cast<int>(bytes.size()));
  }
  void HostSpecificInit() override;
  void SetBlockSize(int blockSize) override;

private:
  // Largest number of channels a bus may carry (the render call's stack buffer lists hold 128).
  static constexpr int kMaxBusChannels = 128;
  static constexpr int kMaxBlockSize = 1 << 16;

  ComponentResult setStreamFormat(AudioUnitScope scope, AudioUnitElement element, const AudioStreamBasicDescription* asbd);
  ComponentResult makeConnection(const AudioUnitConnection* conn);
  ComponentResult getParamInfo(AudioUnitElement element, UInt32* pDataSize, void* pData);
  int clumpIdForGroup(const char* group);

  AudioUnit mCI = nullptr;
  bool mActive = false;
  bool mIsOffline = false;
  std::string mBundleID, mCocoaViewFactoryClassName;
  HostCallbackInfo mHostCallbacks{};
  char mParamValueString[IParam::kDisplayMaxLen];
  std::vector<PropertyListener> mPropertyListeners;
  // The render thread reads the list without the plug-in lock; a render calls at most the first
  // 16 notifications (it copies them to the stack so it allocates nothing).
  std::mutex mRenderNotifyLock;
  std::vector<AURenderCallbackStruct> mRenderNotify;
  std::vector<BusChannels> mInBuses, mOutBuses;
  std::vector<InputBusConnection> mInBusConnections;
  double mRenderTimestamp = -1.0;
  double mTempo = 138.0;
  UTIL_TypedBuf<float> mInScratchBuf, mOutScratchBuf;
};

// ---- state dictionary helpers ----
// Stores a string made from UTF-8 text (text that is not UTF-8 is stored empty).
void PutStrInDict(CFMutableDictionaryRef dict, const char* key, const char* text);
// Copies the string under the key into buf (bufLen bytes, at least 1), cut at a character
// boundary so it always fits with its terminator; an absent key or a value that is not a string
// empties buf and answers false.
bool GetStrFromDict(CFDictionaryRef dict, const char* key, char* buf, int bufLen);
// Resizes the chunk to the data's length and copies the bytes; false (chunk untouched) for an
// absent key or a value that is not data.
bool GetDataFromDict(CFDictionaryRef dict, const char* key, ByteChunk* chunk);

// ---- the reference-counted preset record of the factory-presets array ----
// A host may retain and release the factory-presets array on any thread, so the count is atomic
// like every other CF reference count. Built in place in allocator memory by CFAUPresetCreate.
struct CFAUPreset {
  AUPreset au;
  CFAllocatorRef allocator;
  std::atomic<CFIndex> retainCount;
};
typedef CFAUPreset* CFAUPresetRef;
CFAUPresetRef CFAUPresetCreate(CFAllocatorRef allocator, SInt32 presetNumber, CFStringRef presetName);
CFAUPresetRef CFAUPresetRetain(void* preset);
void CFAUPresetRelease(void* preset);
extern const CFArrayCallBacks kCFAUPresetArrayCallBacks;
