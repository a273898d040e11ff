#include "HostPlugin.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "AUComponent.h"
#include "AUEvents.h"
#include "CFBundle.h"
#include "CFPropertyList.h"
#include "CFString.h"
#include "UTIL_File.h"

namespace {

std::string dictString(CFDictionaryRef d, const char* key) {
  CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
  CFTypeRef v = CFDictionaryGetValue(d, k);
  CFRelease(k);
  const char* s = CFGetTypeID(v) == CFStringGetTypeID() ? CFStringGetCStringPtr(static_cast<CFStringRef>(v), kCFStringEncodingUTF8) : nullptr;
  return s ? s : "";
}

bool fourCC(const std::string& s, OSType* out) {
  if (s.size() != 4) return false;
  *out = (UInt32(UInt8(s[0])) << 24) | (UInt32(UInt8(s[1])) << 16) | (UInt32(UInt8(s[2])) << 8) | UInt32(UInt8(s[3]));
  return true;
}

std::string statusText(OSStatus s) { return std::to_string(s); }

}  // namespace

HostPlugin::~HostPlugin() { Close(); }

bool HostPlugin::Load(const std::string& bundlePath, std::string* why) {
  CFStringRef p = CFStringCreateWithCString(nullptr, bundlePath.c_str(), kCFStringEncodingUTF8);
  CFURLRef url = p ? CFURLCreateWithFileSystemPath(nullptr, p, kCFURLPOSIXPathStyle, true) : nullptr;
  if (p) CFRelease(p);
  CFBundleRef bundle = url ? CFBundleCreate(nullptr, url) : nullptr;
  if (url) CFRelease(url);
  if (!bundle) {
    *why = bundlePath + ": not a plug-in bundle (no readable Contents/Info.plist)";
    return false;
  }
  CFTypeRef comps = CFBundleGetValueForInfoDictionaryKey(bundle, CFSTR("AudioComponents"));
  CFTypeRef first = CFGetTypeID(comps) == CFArrayGetTypeID() ? CFArrayGetValueAtIndex(static_cast<CFArrayRef>(comps), 0) : nullptr;
  if (CFGetTypeID(first) != CFDictionaryGetTypeID()) {
    CFRelease(bundle);
    *why = bundlePath + ": Info.plist lists no AudioComponents entry";
    return false;
  }
  auto comp = static_cast<CFDictionaryRef>(first);
  std::string factory = dictString(comp, "factoryFunction");
  mName = dictString(comp, "name");
  if (!fourCC(dictString(comp, "type"), &mDesc.componentType) || !fourCC(dictString(comp, "subtype"), &mDesc.componentSubType) ||
      !fourCC(dictString(comp, "manufacturer"), &mDesc.componentManufacturer) || factory.empty()) {
    CFRelease(bundle);
    *why = bundlePath + ": the AudioComponents entry needs type, subtype, manufacturer (4 characters each) and factoryFunction";
    return false;
  }
  CFURLRef exe = CFBundleCopyExecutableURL(bundle);
  CFRelease(bundle);
  char path[4096];
  if (!exe || !CFURLGetFileSystemRepresentation(exe, true, reinterpret_cast<UInt8*>(path), sizeof path)) {
    if (exe) CFRelease(exe);
    *why = bundlePath + ": Info.plist names no CFBundleExecutable";
    return false;
  }
  CFRelease(exe);
  mExecutable = path;
  // dlopen would wait on a FIFO planted as the library, as any reader would.
  UTIL_FileCheck check;
  const int fd = UTIL_OpenFileForRead(path, &check);
  if (fd < 0) {
    *why = mExecutable + ": the plug-in library " + check.why();
    return false;
  }
  close(fd);
  mLibrary = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!mLibrary) {
    const char* e = dlerror();
    *why = std::string("cannot load the plug-in library: ") + (e ? e : path);
    return false;
  }
  mEntry = reinterpret_cast<ComponentEntryProc>(dlsym(mLibrary, factory.c_str()));
  if (!mEntry) {
    *why = mExecutable + ": has no entry function " + factory;
    return false;
  }
  return true;
}

bool HostPlugin::Open(std::string* why) {
  OSStatus r = OpenComponentInstance(mEntry, &mDesc, &mUnit);
  if (r != noErr) {
    *why = "the component refused to open (" + statusText(r) + ")";
    return false;
  }
  AUEventSetHostNotifier(mUnit, &HostPlugin::onAUEvent, this);

  AUHostIdentifier host{};
  host.hostName = CFSTR("sorvanta-host");
  host.hostVersion.majorRev = 1;
  host.hostVersion.minorAndBugRev = 0x06;
  AudioUnitSetProperty(mUnit, kAudioUnitProperty_AUHostIdentifier, kAudioUnitScope_Global, 0, &host, sizeof host);

  mCallbacks = mTransport.Callbacks();
  if ((r = AudioUnitSetProperty(mUnit, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, &mCallbacks, sizeof mCallbacks)) != noErr) {
    *why = "the component refused the host callbacks (" + statusText(r) + ")";
    return false;
  }
  AudioStreamBasicDescription fmt{};
  fmt.mSampleRate = kSampleRate;
  fmt.mFormatID = kAudioFormatLinearPCM;
  fmt.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
  fmt.mBytesPerPacket = 4;
  fmt.mFramesPerPacket = 1;
  fmt.mBytesPerFrame = 4;
  fmt.mChannelsPerFrame = 2;
  fmt.mBitsPerChannel = 32;
  if ((r = AudioUnitSetProperty(mUnit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &fmt, sizeof fmt)) != noErr) {
    *why = "the component refused a stereo float output format (" + statusText(r) + ")";
    return false;
  }
  UInt32 maxFrames = kBlockFrames;
  if ((r = AudioUnitSetProperty(mUnit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, &maxFrames, sizeof maxFrames)) !=
      noErr) {
    *why = "the component refused the maximum frame count (" + statusText(r) + ")";
    return false;
  }
  if ((r = AudioUnitInitialize(mUnit)) != noErr) {
    *why = "the component failed to initialize (" + statusText(r) + ")";
    return false;
  }
  mInitialized = true;
  AudioUnitRenderProc proc = nullptr;
  UInt32 size = sizeof proc;
  if (AudioUnitGetProperty(mUnit, kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global, kAudioUnitRenderFastDispatch, &proc, &size) ==
          noErr &&
      size == sizeof proc)
    mRenderProc = proc;
  return true;
}

bool HostPlugin::RestoreState(const std::string& path, std::string* why) {
  std::string reason;
  CFPropertyListRef list = CFPropertyListCreateFromFile(path.c_str(), &reason);
  if (!list) {
    *why = path + ": not a readable state file: " + reason;
    return false;
  }
  if (CFGetTypeID(list) != CFDictionaryGetTypeID()) {
    CFRelease(list);
    *why = path + ": a state file holds a dictionary";
    return false;
  }
  OSStatus r = AudioUnitSetProperty(mUnit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &list, sizeof list);
  CFRelease(list);
  if (r != noErr) {
    *why = path + ": the plug-in refused this state (" + statusText(r) +
           (r == kAudioUnitErr_InvalidPropertyValue ? ": it belongs to another component or is damaged)" : ")");
    return false;
  }
  return true;
}

namespace {

// The plug-in's state dictionary (the caller releases it), or null with *why.
CFPropertyListRef copyState(AudioUnit unit, std::string* why) {
  CFPropertyListRef list = nullptr;
  UInt32 size = sizeof list;
  OSStatus r = AudioUnitGetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &list, &size);
  if (r != noErr || !list) {
    *why = "the plug-in gave no state (" + statusText(r) + ")";
    return nullptr;
  }
  return list;
}

}  // namespace

bool HostPlugin::SaveState(const std::string& path, std::string* why, mode_t newMode) {
  CFPropertyListRef list = copyState(mUnit, why);
  if (!list) return false;
  std::string reason;
  bool ok = CFPropertyListWriteToFile(list, path.c_str(), &reason, newMode);
  CFRelease(list);
  // Saved, reason says what the save had to change, if anything.
  *why = reason.empty() ? std::string() : path + ": " + reason;
  return ok;
}

bool HostPlugin::StateData(std::string* xml, std::string* why) {
  CFPropertyListRef list = copyState(mUnit, why);
  if (!list) return false;
  CFDataRef d = CFPropertyListCreateData(nullptr, list, kCFPropertyListXMLFormat_v1_0, 0, nullptr);
  CFRelease(list);
  if (!d) {
    *why = "the plug-in's state cannot be written as a property list";
    return false;
  }
  xml->assign(reinterpret_cast<const char*>(CFDataGetBytePtr(d)), static_cast<size_t>(CFDataGetLength(d)));
  CFRelease(d);
  return true;
}

void HostPlugin::StartRendering(std::vector<HostEvent> events) {
  StopRendering();
  SortHostEvents(&events);
  mEvents = std::move(events);
  mStop = false;
  mThread = std::thread([this] { renderLoop(); });
}

void HostPlugin::StopRendering() {
  mStop = true;
  if (mThread.joinable()) mThread.join();
}

void HostPlugin::SendNow(const HostEvent& e) {
  HostEvent now = e;
  now.time = 0.0;
  Schedule(now);
}

void HostPlugin::Schedule(const HostEvent& e) {
  std::lock_guard<std::mutex> g(mNowLock);
  mNow.push_back(e);
}

std::vector<HostPlugin::ActionReport> HostPlugin::RunDueActions() {
  std::vector<HostEvent> due;
  {
    std::lock_guard<std::mutex> g(mDueLock);
    due.swap(mDue);
  }
  std::vector<ActionReport> reports;
  for (const HostEvent& e : due) {
    char at[32];
    snprintf(at, sizeof at, "at %.3f s: ", e.time);
    ActionReport r;
    std::string why;
    r.ok = RestoreState(e.path, &why);
    r.text = at + (r.ok ? "restored state from " + e.path : why + "; the plug-in keeps its state");
    reports.push_back(r);
  }
  return reports;
}

void HostPlugin::deliver(const HostEvent& e, UInt32 offset) {
  switch (e.kind) {
    case HostEvent::kPlay: mTransport.Play(); break;
    case HostEvent::kStop: mTransport.Stop(); break;
    case HostEvent::kTempo: mTransport.SetTempo(e.tempo); break;
    case HostEvent::kMidi:
      MusicDeviceMIDIEvent(mUnit, e.bytes[0], e.bytes.size() > 1 ? e.bytes[1] : 0, e.bytes.size() > 2 ? e.bytes[2] : 0, offset);
      break;
    case HostEvent::kSysEx: MusicDeviceSysEx(mUnit, e.bytes.data(), static_cast<UInt32>(e.bytes.size())); break;
    case HostEvent::kRestore: {
      std::lock_guard<std::mutex> g(mDueLock);
      mDue.push_back(e);
      break;
    }
  }
}

void HostPlugin::renderLoop() {
  using clock = std::chrono::steady_clock;
  const double blockSeconds = kBlockFrames / kSampleRate;
  std::vector<float> left(kBlockFrames), right(kBlockFrames);
  size_t nextEvent = 0;
  bool reported = false;
  auto start = clock::now();
  for (long n = 0; !mStop; ++n) {
    double t0 = n * blockSeconds, t1 = (n + 1) * blockSeconds;
    auto offset = [&](const HostEvent& e) {
      double off = std::floor((std::max(e.time, t0) - t0) * kSampleRate);
      return static_cast<UInt32>(std::min<double>(off, kBlockFrames - 1));
    };
    while (nextEvent < mEvents.size() && mEvents[nextEvent].time < t1) {
      const HostEvent& e = mEvents[nextEvent++];
      deliver(e, offset(e));
    }
    std::vector<HostEvent> now;
    {
      std::lock_guard<std::mutex> g(mNowLock);
      auto later = std::stable_partition(mNow.begin(), mNow.end(), [&](const HostEvent& e) { return e.time < t1; });
      now.assign(mNow.begin(), later);
      mNow.erase(mNow.begin(), later);
    }
    for (auto& e : now) deliver(e, offset(e));

    AudioBufferListN<2> abl;
    abl.mNumberBuffers = 2;
    abl.mBuffers[0] = {1, kBlockFrames * 4, left.data()};
    abl.mBuffers[1] = {1, kBlockFrames * 4, right.data()};
    AudioTimeStamp ts{};
    ts.mSampleTime = static_cast<double>(n) * kBlockFrames;
    ts.mFlags = kAudioTimeStampSampleTimeValid;
    AudioUnitRenderActionFlags flags = 0;
    OSStatus r = mRenderProc ? mRenderProc(GetComponentInstanceStorage(mUnit), &flags, &ts, 0, kBlockFrames, abl.AsList())
                             : AudioUnitRender(mUnit, &flags, &ts, 0, kBlockFrames, abl.AsList());
    if (r != noErr && !reported) {
      fprintf(stderr, "sorvanta-host: render failed (%d); rendering goes on\n", static_cast<int>(r));
      reported = true;
    }
    mTransport.Advance(kBlockFrames);
    mBlocks.fetch_add(1);

    // Pace by the clock; after a stall (debugger, overloaded machine) start counting afresh
    // rather than rendering a burst of late blocks.
    auto due = start + std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(t1));
    auto now2 = clock::now();
    if (now2 - due > std::chrono::milliseconds(200))
      start = now2 - std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(t1));
    else
      std::this_thread::sleep_until(due);
  }
}

void HostPlugin::onAUEvent(void* self, const AudioUnitEvent*) { static_cast<HostPlugin*>(self)->mParamEvents.fetch_add(1); }

void HostPlugin::Close() {
  StopRendering();
  if (mUnit) {
    if (mInitialized) AudioUnitUninitialize(mUnit);
    mInitialized = false;
    CloseComponentInstance(mUnit);
    mUnit = nullptr;
  }
  mRenderProc = nullptr;
}
