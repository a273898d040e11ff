// Component entry, dispatch, properties, parameters and host notifications of the Audio Unit
// binding. Buses, render and host time are in IPluginAURender.cpp; the state dictionary and the
// preset record in IPluginAUState.cpp.
#include "IPluginAU.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>

#include "AUComponent.h"
#include "CFBundle.h"
#include "CFString.h"
#include "IGraphics.h"
#include "IGraphicsGtk.h"
#include "IPlugHosts.h"

const char* const kCocoaViewFactoryName = "Sorvanta_View_64";

namespace {

// Releases the plug-in lock on every way out of a dispatched call.
struct PlugLock {
  IPluginBase* p;
  explicit PlugLock(IPluginBase* plug) : p(plug) { p->Lock(); }
  ~PlugLock() { p->Unlock(); }
  PlugLock(const PlugLock&) = delete;
  PlugLock& operator=(const PlugLock&) = delete;
};

// A string from text that should be UTF-8; bytes that are not are replaced by '?', so display
// texts from any source reach the host as a string rather than as nothing.
CFStringRef MakeCFString(const char* text) {
  std::string s = text ? text : "";
  size_t i = 0;
  while (i < s.size()) {
    size_t ok = CFUTF8CutLength(s.data() + i, s.size() - i, s.size() - i);
    i += ok;
    if (i < s.size()) s[i++] = '?';
  }
  return CFStringCreateWithCString(nullptr, s.c_str(), kCFStringEncodingUTF8);
}

template <class T>
void writeOut(void* pData, const T& v) {
  memcpy(pData, &v, sizeof v);
}

template <class T>
T readIn(const void* pData) {
  T v;
  memcpy(&v, pData, sizeof v);
  return v;
}

// The bytes a set-property call reads; 0 where the call reads no structure.
UInt32 setPropertyDataSize(AudioUnitPropertyID id) {
  switch (id) {
    case kAudioUnitProperty_ClassInfo: return sizeof(CFPropertyListRef);
    case kAudioUnitProperty_MakeConnection: return sizeof(AudioUnitConnection);
    case kAudioUnitProperty_SampleRate: return sizeof(Float64);
    case kAudioUnitProperty_StreamFormat: return sizeof(AudioStreamBasicDescription);
    case kAudioUnitProperty_MaximumFramesPerSlice: return sizeof(UInt32);
    case kAudioUnitProperty_BypassEffect: return sizeof(UInt32);
    case kAudioUnitProperty_SetRenderCallback: return sizeof(AURenderCallbackStruct);
    case kAudioUnitProperty_HostCallbacks: return sizeof(HostCallbackInfo);
    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset: return sizeof(AUPreset);
    case kAudioUnitProperty_OfflineRender: return sizeof(UInt32);
    case kAudioUnitProperty_AUHostIdentifier: return sizeof(AUHostIdentifier);
    default: return 0;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction

IPluginAU* MakePlug() {
  // Function-local: made on first use, destroyed at process exit.
  static UTIL_Mutex sMutex;
  UTIL_MutexLock lock(&sMutex);
  IPluginInstanceInfo info;
  info.mBundleID = PlugBundleIdentifier();
  info.mCocoaViewFactoryClassName = kCocoaViewFactoryName;
  return NewPlugInstance(info);
}

IGraphics* MakeGraphics(IPluginAU* plug, int w, int h, int fps) {
  auto* g = new IGraphicsGtk(plug, w, h, fps);
  g->SetBundleID(plug ? plug->GetBundleID().c_str() : PlugBundleIdentifier());
  return g;
}

IPluginAU::IPluginAU(IPluginInstanceInfo, int nParams, const char* channelIOStr, int nPresets, const char* effectName,
                     const char* productName, const char* mfrName, int vendorVersion, int uniqueID, int mfrID, int latency,
                     bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst, int)
    : IPluginBase(nParams, channelIOStr, nPresets, effectName, productName, mfrName, vendorVersion, uniqueID, mfrID, latency,
                  plugDoesMidi, plugDoesChunks, plugIsInst, kAPIAU) {
  memset(mParamValueString, 0, sizeof mParamValueString);
  // A constructor that reopens the stored ports must not hear the synth before it is done and
  // the instance holds it: the open call starts the input.
  HoldDirectMidiInput();
}

IPluginAU::~IPluginAU() = default;

void IPluginAU::initialize(IPluginInstanceInfo instanceInfo, int nAutomated, int nParams, const char* channelIOStr, int nPresets,
                           const char* effectName, const char* productName, const char* mfrName, int vendorVersion, int uniqueID,
                           int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst, int nSideChainChans) {
  IPluginBase::initialize(nAutomated, nParams, channelIOStr, nPresets, effectName, productName, mfrName, vendorVersion, uniqueID, mfrID,
                          latency, plugDoesMidi, plugDoesChunks, plugIsInst);
  mHostCallbacks = HostCallbackInfo{};
  memset(mParamValueString, 0, sizeof mParamValueString);
  mBundleID = instanceInfo.mBundleID;
  mCocoaViewFactoryClassName = instanceInfo.mCocoaViewFactoryClassName;

  const int nIn = NInChannels(), nOut = NOutChannels();
  mInBuses.clear();
  mOutBuses.clear();
  mInBusConnections.clear();
  if (nSideChainChans > 0 && nIn > 0) {
    BusChannels main, side;
    main.mNPlugChannels = nIn - nSideChainChans;
    side.mNPlugChannels = nSideChainChans;
    side.mPlugChannelStartIdx = main.mNPlugChannels;
    mInBuses.push_back(main);
    mInBuses.push_back(side);
    SetInputBusLabel(0, "main input");
    SetInputBusLabel(1, "aux input");
  } else if (nIn > 0) {
    BusChannels b;
    b.mNPlugChannels = nIn;
    mInBuses.push_back(b);
    SetInputBusLabel(0, "input");
    SetInputBusLabel(1, "aux input");  // kept for element 1 although there is no second bus
  }
  mInBusConnections.resize(mInBuses.size());

  if (IsInst()) {
    for (int i = 0; 2 * i < nOut; ++i) {
      BusChannels b;
      b.mPlugChannelStartIdx = 2 * i;
      b.mNPlugChannels = std::min(nOut - 2 * i, 2);
      mOutBuses.push_back(b);
      char label[32];
      snprintf(label, sizeof label, "output %i", i + 1);
      SetOutputBusLabel(i, label);
    }
  } else if (nOut > 0) {
    BusChannels b;
    b.mNPlugChannels = nOut;
    mOutBuses.push_back(b);
    SetOutputBusLabel(0, "output");
  }
  AssessInputConnections();
  SetBlockSize(1024);
}

// ---------------------------------------------------------------------------------------------
// Entry and dispatch

ComponentResult IPluginAU::IPluginAUEntry(ComponentParameters* params, void* pPlug) {
  if (!params) return paramErr;
  const int select = params->what;
  if (select == kComponentOpenSelect) {
    IPluginAU* plug = MakePlug();
    if (!plug) return badComponentSelector;
    plug->HostSpecificInit();
    plug->PruneUninitializedPresets();
    plug->mCI = static_cast<AudioUnit>(ComponentParamPtr(params, 1));
    SetComponentInstanceStorage(plug->mCI, plug);
    // Only now may the device's messages reach the object (and through it mCI and the host).
    plug->StartDirectMidiInput();
    return noErr;
  }
  auto* plug = static_cast<IPluginAU*>(pPlug);
  if (!plug) return badComponentInstance;
  if (select == kComponentCloseSelect) {
    plug->ClearConnections();
    // Closed from inside a popup, menu or message box of its window (a host closing the project
    // while one is open), the object goes once that has ended and the calls around it unwound:
    // until then it speaks to no host, whose instance goes now.
    IGraphics* gui = plug->GetGUI();
    if (gui && gui->DeleteAfterModal([plug] { delete plug; })) {
      PlugLock lock(plug);
      plug->mCI = nullptr;
      plug->mPropertyListeners.clear();
      std::lock_guard<std::mutex> notify(plug->mRenderNotifyLock);
      plug->mRenderNotify.clear();
      return noErr;
    }
    delete plug;
    return noErr;
  }

  PlugLock lock(plug);
  const ComponentParameters* p = params;
  switch (select) {
    case kComponentVersionSelect: return plug->GetEffectVersion(false);
    case kComponentCanDoSelect:
      switch (ComponentParamSInt32(p, 1)) {
        case kAudioUnitInitializeSelect: case kAudioUnitUninitializeSelect: case kAudioUnitGetPropertyInfoSelect:
        case kAudioUnitGetPropertySelect: case kAudioUnitSetPropertySelect: case kAudioUnitGetParameterSelect:
        case kAudioUnitSetParameterSelect: case kAudioUnitResetSelect: case kAudioUnitAddPropertyListenerSelect:
        case kAudioUnitRemovePropertyListenerSelect: case kAudioUnitRenderSelect: case kAudioUnitAddRenderNotifySelect:
        case kAudioUnitRemoveRenderNotifySelect: case kAudioUnitScheduleParametersSelect:
          return 1;
        default: return 0;
      }
    case kAudioUnitInitializeSelect:
      if (!plug->CheckLegalIO()) return badComponentSelector;
      plug->mActive = true;
      plug->OnParamReset();
      plug->OnActivate(true);
      return noErr;
    case kAudioUnitUninitializeSelect:
      plug->mActive = false;
      plug->OnActivate(false);
      return noErr;
    case kAudioUnitGetPropertyInfoSelect: {
      UInt32 localSize = 0;
      Boolean localWritable = false;
      auto* pSize = static_cast<UInt32*>(ComponentParamPtr(p, 4));
      auto* pWritable = static_cast<Boolean*>(ComponentParamPtr(p, 5));
      if (!pSize) pSize = &localSize;
      if (!pWritable) pWritable = &localWritable;
      *pWritable = false;
      return plug->GetProperty(ComponentParamUInt32(p, 1), ComponentParamUInt32(p, 2), ComponentParamUInt32(p, 3), pSize, pWritable,
                               nullptr);
    }
    case kAudioUnitGetPropertySelect: {
      AudioUnitPropertyID id = ComponentParamUInt32(p, 1);
      AudioUnitScope scope = ComponentParamUInt32(p, 2);
      AudioUnitElement element = ComponentParamUInt32(p, 3);
      void* pData = ComponentParamPtr(p, 4);
      auto* pSize = static_cast<UInt32*>(ComponentParamPtr(p, 5));
      UInt32 localSize = 0;
      Boolean writable = false;
      if (pSize && pData) {
        // A host buffer smaller than the property is refused rather than overrun.
        UInt32 needed = 0;
        if (plug->GetProperty(id, scope, element, &needed, &writable, nullptr) == noErr && needed > *pSize)
          return kAudioUnitErr_InvalidPropertyValue;
      }
      if (!pSize) pSize = &localSize;
      return plug->GetProperty(id, scope, element, pSize, &writable, pData);
    }
    case kAudioUnitSetPropertySelect: {
      UInt32 size = ComponentParamUInt32(p, 5);
      return plug->SetProperty(ComponentParamUInt32(p, 1), ComponentParamUInt32(p, 2), ComponentParamUInt32(p, 3), &size,
                               ComponentParamPtr(p, 4));
    }
    case kAudioUnitGetParameterSelect:
      return GetParamProc(plug, ComponentParamUInt32(p, 1), ComponentParamUInt32(p, 2), ComponentParamUInt32(p, 3),
                          static_cast<AudioUnitParameterValue*>(ComponentParamPtr(p, 4)));
    case kAudioUnitSetParameterSelect:
      return SetParamProc(plug, ComponentParamUInt32(p, 1), ComponentParamUInt32(p, 2), ComponentParamUInt32(p, 3),
                          ComponentParamFloat32(p, 4), ComponentParamUInt32(p, 5));
    case kAudioUnitResetSelect:
      plug->Reset();
      return noErr;
    case kAudioUnitAddPropertyListenerSelect: {
      PropertyListener l{ComponentParamUInt32(p, 1), reinterpret_cast<AudioUnitPropertyListenerProc>(ComponentParamPtr(p, 2)),
                         ComponentParamPtr(p, 3)};
      for (auto& e : plug->mPropertyListeners)
        if (e.mPropID == l.mPropID && e.mListenerProc == l.mListenerProc) return noErr;
      plug->mPropertyListeners.push_back(l);
      return noErr;
    }
    case kAudioUnitRemovePropertyListenerSelect:
    case kAudioUnitRemovePropertyListenerWithUserDataSelect: {
      AudioUnitPropertyID id = ComponentParamUInt32(p, 1);
      auto proc = reinterpret_cast<AudioUnitPropertyListenerProc>(ComponentParamPtr(p, 2));
      void* userData = ComponentParamPtr(p, 3);
      auto& v = plug->mPropertyListeners;
      for (size_t i = 0; i < v.size(); ++i) {
        if (v[i].mPropID == id && v[i].mListenerProc == proc &&
            (select == kAudioUnitRemovePropertyListenerSelect || v[i].mProcArgs == userData)) {
          v.erase(v.begin() + static_cast<long>(i));
          break;
        }
      }
      return noErr;
    }
    case kAudioUnitRenderSelect:
      return RenderProc(plug, static_cast<AudioUnitRenderActionFlags*>(ComponentParamPtr(p, 1)),
                        static_cast<const AudioTimeStamp*>(ComponentParamPtr(p, 2)), ComponentParamUInt32(p, 3),
                        ComponentParamUInt32(p, 4), static_cast<AudioBufferList*>(ComponentParamPtr(p, 5)));
    case kAudioUnitAddRenderNotifySelect: {
      AURenderCallbackStruct n{reinterpret_cast<AURenderCallback>(ComponentParamPtr(p, 1)), ComponentParamPtr(p, 2)};
      std::lock_guard<std::mutex> g(plug->mRenderNotifyLock);
      plug->mRenderNotify.push_back(n);
      return noErr;
    }
    case kAudioUnitRemoveRenderNotifySelect: {
      auto proc = reinterpret_cast<AURenderCallback>(ComponentParamPtr(p, 1));
      std::lock_guard<std::mutex> g(plug->mRenderNotifyLock);
      auto& v = plug->mRenderNotify;
      for (size_t i = 0; i < v.size(); ++i) {
        if (v[i].inputProc == proc) {
          v.erase(v.begin() + static_cast<long>(i));
          break;
        }
      }
      return noErr;
    }
    case kAudioUnitScheduleParametersSelect: {
      auto* events = static_cast<const AudioUnitParameterEvent*>(ComponentParamPtr(p, 1));
      UInt32 n = ComponentParamUInt32(p, 2);
      if (!events) return n ? paramErr : noErr;
      for (UInt32 i = 0; i < n; ++i) {
        const AudioUnitParameterEvent& e = events[i];
        if (e.eventType != kParameterEvent_Immediate) continue;
        ComponentResult r = SetParamProc(plug, e.parameter, e.scope, e.element, e.eventValues.immediate.value, e.eventValues.immediate.bufferOffset);
        if (r != noErr) return r;
      }
      return noErr;
    }
    case kMusicDeviceMIDIEventSelect: {
      IMidiMsg msg(ComponentParamSInt32(p, 4), static_cast<uint8_t>(ComponentParamUInt32(p, 1)),
                   static_cast<uint8_t>(ComponentParamUInt32(p, 2)), static_cast<uint8_t>(ComponentParamUInt32(p, 3)));
      plug->ProcessMidiMsg(&msg, false);
      return noErr;
    }
    case kMusicDeviceSysExSelect: {
      auto* data = static_cast<const uint8_t*>(ComponentParamPtr(p, 1));
      UInt32 len = ComponentParamUInt32(p, 2);
      if (!data || len > 0x7fffffffu) len = 0;  // no bytes to read: the message is empty
      ISysEx sysex(0, data, static_cast<int>(len));
      plug->ProcessSysEx(&sysex, false);
      return noErr;
    }
    case kMusicDevicePrepareInstrumentSelect:
    case kMusicDeviceReleaseInstrumentSelect:
    case kMusicDeviceStopNoteSelect:
      return noErr;
    case kMusicDeviceStartNoteSelect: {
      auto* outNote = static_cast<NoteInstanceID*>(ComponentParamPtr(p, 3));
      auto* params5 = static_cast<const MusicDeviceNoteParams*>(ComponentParamPtr(p, 5));
      if (outNote && params5 && std::isfinite(params5->mPitch) && params5->mPitch >= 0.0f && params5->mPitch < 4294967040.0f)
        *outNote = static_cast<NoteInstanceID>(params5->mPitch);
      return noErr;
    }
    default: return badComponentSelector;
  }
}

ComponentResult IPluginAU::IPluginAUCarbonViewEntry(ComponentParameters* params, void* pView) {
  struct CarbonViewRecord {
    ComponentInstance viewInstance;
    IPluginAU* plug;
  };
  if (!params) return paramErr;
  auto* rec = static_cast<CarbonViewRecord*>(pView);
  switch (params->what) {
    case kComponentOpenSelect: {
      auto* r = new CarbonViewRecord{static_cast<ComponentInstance>(ComponentParamPtr(params, 1)), nullptr};
      SetComponentInstanceStorage(r->viewInstance, r);
      return noErr;
    }
    case kAudioUnitCarbonViewCreateSelect: {
      if (!rec) return badComponentSelector;
      auto unit = static_cast<AudioUnit>(ComponentParamPtr(params, 1));
      void* window = ComponentParamPtr(params, 2);
      void* parent = ComponentParamPtr(params, 3);
      auto** outControl = static_cast<void**>(ComponentParamPtr(params, 6));
      rec->plug = static_cast<IPluginAU*>(GetComponentInstanceStorage(unit));
      if (rec->plug && rec->plug->GetGUI()) {
        void* control = rec->plug->GetGUI()->OpenWindow(window, parent, 0, 0);
        if (outControl) *outControl = control;
        return noErr;
      }
      return badComponentSelector;
    }
    case kComponentCloseSelect:
      if (rec && rec->plug && rec->plug->GetGUI()) rec->plug->GetGUI()->CloseWindow();
      delete rec;
      return noErr;
    default: return badComponentSelector;
  }
}

void* IPluginAU::CreateView(AudioUnit unit, void* parent) {
  auto* plug = static_cast<IPluginAU*>(GetComponentInstanceStorage(unit));
  if (!plug || !plug->GetGUI()) return nullptr;
  return plug->GetGUI()->OpenWindow(parent);
}

// ---------------------------------------------------------------------------------------------
// Properties

int IPluginAU::clumpIdForGroup(const char* group) {
  UTIL_PtrList<const char>* groups = GetParamGroups();
  int found = -1;
  for (int i = 0; i < groups->GetSize(); ++i)
    if (groups->Get(i) && !strcmp(groups->Get(i), group)) found = i;  // the last equal entry wins
  if (found < 0) {
    groups->Add(group);
    found = groups->GetSize() - 1;
  }
  return found + 1;
}

ComponentResult IPluginAU::getParamInfo(AudioUnitElement element, UInt32* pDataSize, void* pData) {
  if (element >= static_cast<UInt32>(NHostParams())) return kAudioUnitErr_InvalidElement;
  *pDataSize = sizeof(AudioUnitParameterInfo);
  if (!pData) return noErr;
  IParam* param = GetParam(static_cast<int>(element));
  if (!param) return kAudioUnitErr_InvalidElement;
  AudioUnitParameterInfo info;
  memset(&info, 0, sizeof info);
  // Every host-visible parameter is automatable here: the parameter record carries no
  // automation or meta flag of its own.
  info.flags = kAudioUnitParameterFlag_CFNameRelease | kAudioUnitParameterFlag_HasName | kAudioUnitParameterFlag_IsReadable |
               kAudioUnitParameterFlag_IsWritable;
  const char* name = param->GetNameForHost();
  info.cfNameString = MakeCFString(name);
  size_t nameLen = std::min(strlen(name), sizeof info.name - 1);  // cut to 51 characters
  memcpy(info.name, name, nameLen);
  info.name[nameLen] = 0;
  switch (param->Type()) {
    case IParam::kTypeInt:
    case IParam::kTypeEnum: info.unit = kAudioUnitParameterUnit_Indexed; break;
    case IParam::kTypeBool: info.unit = kAudioUnitParameterUnit_Boolean; break;
    default: {
      const char* label = param->GetLabelForHost();
      if (label && *label) {
        info.unit = kAudioUnitParameterUnit_CustomUnit;
        info.unitName = MakeCFString(label);
      } else {
        info.unit = kAudioUnitParameterUnit_Generic;
      }
    }
  }
  double lo, hi;
  param->GetBounds(&lo, &hi);
  info.minValue = static_cast<Float32>(lo);
  info.maxValue = static_cast<Float32>(hi);
  info.defaultValue = static_cast<Float32>(param->Value());
  const char* group = param->GetParamGroupForHost();
  if (group && *group) {
    info.clumpID = static_cast<UInt32>(clumpIdForGroup(group));
    info.flags |= kAudioUnitParameterFlag_HasClump;
  }
  writeOut(pData, info);
  return noErr;
}

ComponentResult IPluginAU::GetProperty(AudioUnitPropertyID propID, AudioUnitScope scope, AudioUnitElement element, UInt32* pDataSize,
                                       Boolean* pWriteable, void* pData) {
  UInt32 localSize = 0;
  Boolean localWritable = false;
  if (!pDataSize) pDataSize = &localSize;
  if (!pWriteable) pWriteable = &localWritable;
  const bool global = scope == kAudioUnitScope_Global;

  switch (propID) {
    case kAudioUnitProperty_ClassInfo:
      *pDataSize = sizeof(CFPropertyListRef);
      *pWriteable = true;
      if (pData) return GetState(static_cast<CFPropertyListRef*>(pData));
      return noErr;

    case kAudioUnitProperty_MakeConnection:
      if (!global && scope != kAudioUnitScope_Input) return kAudioUnitErr_InvalidProperty;
      *pDataSize = sizeof(AudioUnitConnection);
      *pWriteable = true;
      return noErr;

    case kAudioUnitProperty_SampleRate:
      *pDataSize = sizeof(Float64);
      *pWriteable = true;
      if (pData) writeOut(pData, static_cast<Float64>(GetSampleRate()));
      return noErr;

    case kAudioUnitProperty_ParameterList: {
      if (!global) {
        *pDataSize = 0;
        return noErr;
      }
      const int n = NHostParams();
      *pDataSize = n > 0 ? static_cast<UInt32>(n) * sizeof(AudioUnitParameterID) : 0;
      if (pData && n > 0) {
        auto* ids = static_cast<AudioUnitParameterID*>(pData);
        for (int i = 0; i < n; ++i) ids[i] = static_cast<AudioUnitParameterID>(i);
      }
      return noErr;
    }

    case kAudioUnitProperty_ParameterInfo:
      if (!global) return kAudioUnitErr_InvalidProperty;
      return getParamInfo(element, pDataSize, pData);

    case kAudioUnitProperty_FastDispatch: return GetProc(element, pDataSize, pData);

    case kAudioUnitProperty_StreamFormat: {
      BusChannels* bus = GetBus(scope, element);
      if (!bus) return kAudioUnitErr_InvalidProperty;
      *pDataSize = sizeof(AudioStreamBasicDescription);
      *pWriteable = true;
      if (pData) {
        int nCh = bus->mNHostChannels >= 0 ? bus->mNHostChannels : bus->mNPlugChannels;
        AudioStreamBasicDescription asbd;
        MakeDefaultASBD(&asbd, GetSampleRate(), nCh, false);
        writeOut(pData, asbd);
      }
      return noErr;
    }

    case kAudioUnitProperty_ElementCount: {
      *pDataSize = sizeof(UInt32);
      if (pData) {
        UInt32 n = 0;
        if (global) n = 1;
        else if (scope == kAudioUnitScope_Input) n = static_cast<UInt32>(NInBuses());
        else if (scope == kAudioUnitScope_Output) n = static_cast<UInt32>(NOutBuses());
        writeOut(pData, n);
      }
      return noErr;
    }

    case kAudioUnitProperty_Latency:
    case kAudioUnitProperty_TailTime:
      if (!global) return kAudioUnitErr_InvalidProperty;
      *pDataSize = sizeof(Float64);
      if (pData) writeOut(pData, static_cast<Float64>(GetLatency() / GetSampleRate()));
      return noErr;

    case kAudioUnitProperty_SupportedNumChannels: {
      if (!global) return kAudioUnitErr_InvalidProperty;
      int n = NChannelIO();
      *pDataSize = static_cast<UInt32>(n) * 2 * sizeof(SInt16);
      if (pData) {
        auto* pairs = static_cast<SInt16*>(pData);
        for (int i = 0; i < n; ++i) {
          int in = 0, out = 0;
          GetChannelIO(i, &in, &out);
          pairs[2 * i] = static_cast<SInt16>(in);
          pairs[2 * i + 1] = static_cast<SInt16>(out);
        }
      }
      return noErr;
    }

    case kAudioUnitProperty_MaximumFramesPerSlice:
      if (!global) return kAudioUnitErr_InvalidProperty;
      *pDataSize = sizeof(UInt32);
      *pWriteable = true;
      if (pData) writeOut(pData, static_cast<UInt32>(GetBlockSize()));
      return noErr;

    case kAudioUnitProperty_ParameterValueStrings: {
      if (!global) return kAudioUnitErr_InvalidProperty;
      if (element >= static_cast<UInt32>(NHostParams())) return kAudioUnitErr_InvalidElement;
      IParam* param = GetParam(static_cast<int>(element));
      if (!param) return kAudioUnitErr_InvalidElement;
      int n = param->GetNDisplayTexts();
      if (n <= 0) {
        *pDataSize = 0;
        return kAudioUnitErr_InvalidProperty;
      }
      *pDataSize = sizeof(CFArrayRef);
      if (pData) {
        CFMutableArrayRef a = CFArrayCreateMutable(nullptr, n, &kCFTypeArrayCallBacks);
        for (int i = 0; i < n; ++i) {
          CFStringRef s = MakeCFString(param->GetDisplayTextAtIdx(i));
          CFArrayAppendValue(a, s);
          CFRelease(s);
        }
        writeOut(pData, static_cast<CFArrayRef>(a));
      }
      return noErr;
    }

    case kAudioUnitProperty_GetUIComponentList: {
      if (!GetGUI()) return kAudioUnitErr_InvalidProperty;
      *pDataSize = sizeof(ComponentDescription);
      if (pData) {
        ComponentDescription cd{kAudioUnitCarbonViewComponentType, static_cast<OSType>(GetUniqueID()), static_cast<OSType>(GetMfrID()), 0, 0};
        writeOut(pData, cd);
      }
      return noErr;
    }

    case kAudioUnitProperty_AudioChannelLayout: return kAudioUnitErr_InvalidPropertyValue;

    case kAudioUnitProperty_BypassEffect:
      if (!global) return kAudioUnitErr_InvalidProperty;
      *pDataSize = sizeof(UInt32);
      *pWriteable = true;
      if (pData) writeOut(pData, static_cast<UInt32>(IsBypassed() ? 1 : 0));
      return noErr;

    case kAudioUnitProperty_LastRenderError:
      if (!global) return kAudioUnitErr_InvalidProperty;
      *pDataSize = sizeof(OSStatus);
      if (pData) writeOut(pData, static_cast<OSStatus>(noErr));
      return noErr;

    case kAudioUnitProperty_SetRenderCallback:
      if ((!global && scope != kAudioUnitScope_Input) || element >= static_cast<UInt32>(NInBuses())) return kAudioUnitErr_InvalidProperty;
      *pDataSize = sizeof(AURenderCallbackStruct);
      *pWriteable = true;
      return noErr;

    case kAudioUnitProperty_FactoryPresets: {
      *pDataSize = sizeof(CFArrayRef);
      if (pData) {
        CFMutableArrayRef a = CFArrayCreateMutable(nullptr, NPresets(), &kCFAUPresetArrayCallBacks);
        if (!a) return coreFoundationUnknownErr;
        for (int i = 0; i < NPresets(); ++i) {
          CFStringRef name = MakeCFString(GetPresetName(i));
          CFAUPresetRef preset = CFAUPresetCreate(nullptr, i, name);
          if (name) CFRelease(name);
          if (preset) {
            CFArrayAppendValue(a, preset);
            CFAUPresetRelease(preset);
          }
        }
        writeOut(pData, static_cast<CFArrayRef>(a));
      }
      return noErr;
    }

    case kAudioUnitProperty_HostCallbacks:
      if (!global) return kAudioUnitErr_InvalidProperty;
      *pDataSize = sizeof(HostCallbackInfo);
      *pWriteable = true;
      return noErr;

    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset:
      *pDataSize = sizeof(AUPreset);
      *pWriteable = true;
      if (pData) {
        AUPreset preset{GetCurrentPresetIdx(), MakeCFString(GetPresetName(GetCurrentPresetIdx()))};
        writeOut(pData, preset);
      }
      return noErr;

    case kAudioUnitProperty_ElementName: {
      const char* label = nullptr;
      if (scope == kAudioUnitScope_Output) {
        if (element >= static_cast<UInt32>(NOutBuses())) return kAudioUnitErr_InvalidElement;
        label = GetOutputBusLabel(static_cast<int>(element));
      } else if (scope == kAudioUnitScope_Input) {
        if (element > 1) return kAudioUnitErr_InvalidElement;
        label = GetInputBusLabel(static_cast<int>(element));
      } else {
        return kAudioUnitErr_InvalidScope;
      }
      if (!pData) return kAudioUnitErr_InvalidProperty;
      *pDataSize = sizeof(CFStringRef);
      writeOut(pData, MakeCFString(label ? label : ""));
      return noErr;
    }

    case kAudioUnitProperty_CocoaUI: {
      if (!GetGUI()) return kAudioUnitErr_InvalidProperty;
      CFStringRef id = CFStringCreateWithCString(nullptr, mBundleID.c_str(), kCFStringEncodingUTF8);
      CFBundleRef bundle = id ? CFBundleGetBundleWithIdentifier(id) : nullptr;
      if (id) CFRelease(id);
      // Without its bundle a host could not find the factory: the view is not offered.
      if (!bundle) return kAudioUnitErr_InvalidProperty;
      *pDataSize = sizeof(AudioUnitCocoaViewInfo);
      if (pData) {
        AudioUnitCocoaViewInfo info;
        info.mCocoaAUViewBundleLocation = CFBundleCopyBundleURL(bundle);
        info.mCocoaAUViewClass[0] = MakeCFString(mCocoaViewFactoryClassName.c_str());
        writeOut(pData, info);
      }
      return noErr;
    }

    case kAudioUnitProperty_SupportedChannelLayoutTags: {
      if (!IsInst() || NOutBuses() == 1) return kAudioUnitErr_InvalidProperty;
      BusChannels* bus = GetBus(kAudioUnitScope_Output, element);
      if (!bus) return kAudioUnitErr_InvalidProperty;
      *pDataSize = sizeof(UInt32);
      *pWriteable = true;
      if (pData) {
        UInt32 tag = bus->mNPlugChannels == 1 ? kAudioChannelLayoutTag_Mono
                     : bus->mNPlugChannels == 2 ? kAudioChannelLayoutTag_Stereo
                                                : kAudioChannelLayoutTag_Unknown;
        writeOut(pData, tag);
      }
      return noErr;
    }

    case kAudioUnitProperty_ParameterValueName: {
      *pDataSize = sizeof(AudioUnitParameterValueName);
      if (!global || !pData) return noErr;
      auto vn = readIn<AudioUnitParameterValueName>(pData);
      IParam* param = GetParam(static_cast<int>(vn.inParamID));
      if (!param || vn.inParamID > 0x7fffffffu) return kAudioUnitErr_InvalidElement;
      // No value pointer: the host asks for the current value.
      double value = vn.inValue ? static_cast<double>(*vn.inValue) : param->Value();
      {
        std::lock_guard<std::mutex> texts(ParamTextLock());
        param->GetDisplayForHost(value, false, mParamValueString, true);
      }
      vn.outName = MakeCFString(mParamValueString);
      writeOut(pData, vn);
      return noErr;
    }

    case kAudioUnitProperty_ParameterIDName: {
      *pDataSize = sizeof(AudioUnitParameterNameInfo);
      if (!global || !pData) return noErr;
      auto ni = readIn<AudioUnitParameterNameInfo>(pData);
      IParam* param = GetParam(static_cast<int>(ni.inID));
      if (!param || ni.inID > 0x7fffffffu) return kAudioUnitErr_InvalidElement;
      std::string name = param->GetNameForHost();
      if (ni.inDesiredLength != kAudioUnitParameterName_Full) {
        size_t maxLen = static_cast<size_t>(std::min(std::max(ni.inDesiredLength, 0), IParam::kNameLen - 1));
        name.resize(CFUTF8CutLength(name.data(), name.size(), maxLen));
      }
      ni.outName = MakeCFString(name.c_str());
      writeOut(pData, ni);
      return noErr;
    }

    case kAudioUnitProperty_ParameterClumpName: {
      *pDataSize = sizeof(AudioUnitParameterNameInfo);
      if (!global || !pData) return noErr;
      auto ni = readIn<AudioUnitParameterNameInfo>(pData);
      if (ni.inID < 1 || ni.inID > static_cast<UInt32>(GetParamGroups()->GetSize())) return kAudioUnitErr_PropertyNotInUse;
      ni.outName = MakeCFString(GetParamGroups()->Get(static_cast<int>(ni.inID) - 1));
      writeOut(pData, ni);
      return noErr;
    }

    case kAudioUnitProperty_ParameterValueFromString: {
      *pDataSize = sizeof(AudioUnitParameterValueFromString);
      if (!global || !pData) return noErr;
      auto vs = readIn<AudioUnitParameterValueFromString>(pData);
      IParam* param = GetParam(static_cast<int>(vs.inParamID));
      if (!param || vs.inParamID > 0x7fffffffu) return kAudioUnitErr_InvalidElement;
      if (CFGetTypeID(vs.inString) != CFStringGetTypeID()) return kAudioUnitErr_InvalidPropertyValue;
      const char* text = CFStringGetCStringPtr(vs.inString, kCFStringEncodingUTF8);
      if (!text) text = "";
      if (param->GetNDisplayTexts() > 0) {
        int v = 0;
        if (!param->MapDisplayText(text, &v)) return noErr;  // unknown text: value left as it was
        vs.outValue = static_cast<AudioUnitParameterValue>(v);
      } else {
        vs.outValue = static_cast<AudioUnitParameterValue>(atof(text));
      }
      writeOut(pData, vs);
      return noErr;
    }

    case kMusicDeviceProperty_InstrumentCount:
      if (!global || !IsInst()) return kAudioUnitErr_InvalidProperty;
      *pDataSize = sizeof(UInt32);
      if (pData) writeOut(pData, static_cast<UInt32>(1));
      return noErr;

    default: return kAudioUnitErr_InvalidProperty;
  }
}

ComponentResult IPluginAU::SetProperty(AudioUnitPropertyID propID, AudioUnitScope scope, AudioUnitElement element, UInt32* pDataSize,
                                       const void* pData) {
  InformListeners(propID, scope);
  UInt32 needed = setPropertyDataSize(propID);
  if (needed == 0) return kAudioUnitErr_InvalidProperty;
  // The calls below read a structure of the property's size: no data, or a size given and too
  // small for it, is refused before anything is read.
  if (!pData || (pDataSize && *pDataSize != 0 && *pDataSize < needed)) return kAudioUnitErr_InvalidPropertyValue;

  switch (propID) {
    case kAudioUnitProperty_ClassInfo: return SetState(readIn<CFPropertyListRef>(pData));
    case kAudioUnitProperty_MakeConnection: {
      if (scope != kAudioUnitScope_Global && scope != kAudioUnitScope_Input) return kAudioUnitErr_InvalidProperty;
      auto conn = readIn<AudioUnitConnection>(pData);
      return makeConnection(&conn);
    }
    case kAudioUnitProperty_SampleRate: {
      auto sr = readIn<Float64>(pData);
      if (!(sr > 0.0) || !std::isfinite(sr)) return kAudioUnitErr_InvalidPropertyValue;
      SetSampleRate(sr);
      Reset();
      return noErr;
    }
    case kAudioUnitProperty_StreamFormat: {
      auto asbd = readIn<AudioStreamBasicDescription>(pData);
      return setStreamFormat(scope, element, &asbd);
    }
    case kAudioUnitProperty_MaximumFramesPerSlice: {
      auto frames = readIn<UInt32>(pData);
      if (frames < 1 || frames > static_cast<UInt32>(kMaxBlockSize)) return kAudioUnitErr_InvalidPropertyValue;
      SetBlockSize(static_cast<int>(frames));
      Reset();
      return noErr;
    }
    case kAudioUnitProperty_BypassEffect: {
      bool bypass = readIn<UInt32>(pData) != 0;
      SetBypassed(bypass);
      OnActivate(!bypass);
      Reset();
      return noErr;
    }
    case kAudioUnitProperty_SetRenderCallback: {
      if (scope != kAudioUnitScope_Input || element >= static_cast<UInt32>(NInBuses())) return kAudioUnitErr_InvalidProperty;
      auto cb = readIn<AURenderCallbackStruct>(pData);
      InputBusConnection& conn = mInBusConnections[element];
      conn = InputBusConnection{};
      if (cb.inputProc) conn.mUpstreamRenderCallback = cb;
      AssessInputConnections();
      return noErr;
    }
    case kAudioUnitProperty_HostCallbacks:
      if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidProperty;
      mHostCallbacks = readIn<HostCallbackInfo>(pData);
      return noErr;
    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset:
      RestorePreset(static_cast<int>(readIn<AUPreset>(pData).presetNumber));
      return noErr;
    case kAudioUnitProperty_OfflineRender:
      mIsOffline = readIn<UInt32>(pData) != 0;
      return noErr;
    case kAudioUnitProperty_AUHostIdentifier: {
      auto hi = readIn<AUHostIdentifier>(pData);
      const char* name = CFGetTypeID(hi.hostName) == CFStringGetTypeID() ? CFStringGetCStringPtr(hi.hostName, kCFStringEncodingUTF8) : nullptr;
      int version = (hi.hostVersion.majorRev << 16) | ((hi.hostVersion.minorAndBugRev & 0xF0) << 4) | (hi.hostVersion.minorAndBugRev & 0x0F);
      SetHost(name ? name : "", version);
      OnHostIdentified();
      return noErr;
    }
    default: return kAudioUnitErr_InvalidProperty;
  }
}

ComponentResult IPluginAU::GetProc(AudioUnitElement element, UInt32* pDataSize, void* pData) {
  const void* proc;
  switch (element) {
    case kAudioUnitRenderFastDispatch: proc = reinterpret_cast<const void*>(&IPluginAU::RenderProc); break;
    case kAudioUnitSetParameterFastDispatch: proc = reinterpret_cast<const void*>(&IPluginAU::SetParamProc); break;
    case kAudioUnitGetParameterFastDispatch: proc = reinterpret_cast<const void*>(&IPluginAU::GetParamProc); break;
    default: return kAudioUnitErr_InvalidElement;
  }
  *pDataSize = sizeof(void*);
  if (pData) writeOut(pData, proc);
  return noErr;
}

// ---------------------------------------------------------------------------------------------
// Parameters

ComponentResult IPluginAU::GetParamProc(void* pPlug, AudioUnitParameterID paramID, AudioUnitScope scope, AudioUnitElement,
                                        AudioUnitParameterValue* pValue) {
  auto* plug = static_cast<IPluginAU*>(pPlug);
  if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidProperty;
  if (!plug || !pValue) return paramErr;
  PlugLock lock(plug);
  IParam* param = plug->GetParam(static_cast<int>(paramID));
  if (!param || paramID > 0x7fffffffu) return kAudioUnitErr_InvalidParameter;
  *pValue = static_cast<AudioUnitParameterValue>(param->Value());
  return noErr;
}

ComponentResult IPluginAU::SetParamProc(void* pPlug, AudioUnitParameterID paramID, AudioUnitScope scope, AudioUnitElement,
                                        AudioUnitParameterValue value, UInt32) {
  auto* plug = static_cast<IPluginAU*>(pPlug);
  if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidProperty;
  if (!plug) return paramErr;
  PlugLock lock(plug);
  const int idx = static_cast<int>(paramID);
  IParam* param = plug->GetParam(idx);
  if (!param || paramID > 0x7fffffffu) return kAudioUnitErr_InvalidParameter;
  if (std::isnan(value)) return kAudioUnitErr_InvalidPropertyValue;
  double lo, hi;
  param->GetBounds(&lo, &hi);
  double v = value;
  param->Set(v < lo ? lo : (v > hi ? hi : v));
  if (plug->GetGUI()) plug->GetGUI()->SetParameterFromPlug(idx, v, false);
  plug->OnParamChange(idx);
  return noErr;
}

// ---------------------------------------------------------------------------------------------
// Notifications to the host

void IPluginAU::InformListeners(AudioUnitPropertyID propID, AudioUnitScope scope) {
  // Copied first: a listener may add or remove listeners.
  std::vector<PropertyListener> listeners = mPropertyListeners;
  for (auto& l : listeners)
    if (l.mPropID == propID && l.mListenerProc) l.mListenerProc(l.mProcArgs, mCI, propID, scope, 0);
}

OSStatus IPluginAU::SendAUEvent(UInt32 type, AudioUnit unit, int paramIdx) {
  AudioUnitEvent e;
  memset(&e, 0, sizeof e);
  e.mEventType = type;
  e.mArgument.mParameter.mAudioUnit = unit;
  e.mArgument.mParameter.mParameterID = static_cast<AudioUnitParameterID>(paramIdx);
  e.mArgument.mParameter.mScope = kAudioUnitScope_Global;
  e.mArgument.mParameter.mElement = 0;
  return AUEventListenerNotify(nullptr, nullptr, &e);
}

void IPluginAU::BeginInformHostOfParamChange(int idx) { SendAUEvent(kAudioUnitEvent_BeginParameterChangeGesture, mCI, idx); }

void IPluginAU::InformHostOfParamChange(int idx, double) { SendAUEvent(kAudioUnitEvent_ParameterValueChange, mCI, idx); }

void IPluginAU::EndInformHostOfParamChange(int idx) { SendAUEvent(kAudioUnitEvent_EndParameterChangeGesture, mCI, idx); }

void IPluginAU::InformHostOfProgramChange() { InformListeners(kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global); }

// ---------------------------------------------------------------------------------------------
// Host identification

int IPluginAU::GetHost() {
  if (mHost != kHostUninit) return mHost;
  CFStringRef id = CFBundleGetIdentifier(CFBundleGetMainBundle());
  const char* name = id ? CFStringGetCStringPtr(id, kCFStringEncodingUTF8) : nullptr;
  SetHost(name ? name : "", 0);
  if (mHost == kHostUninit) SetHost("", 0);
  return mHost;
}

void IPluginAU::HostSpecificInit() {
  GetHost();
  OnHostIdentified();
}

void IPluginAU::ResizeGraphics(int, int) {
  if (GetGUI()) OnWindowResize();
}
