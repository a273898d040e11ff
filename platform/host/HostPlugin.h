// The stand-in host's side of one plug-in: finds the component in its bundle, loads the
// library, opens and initializes the component the way a host does, renders it on a thread of
// its own at a simulated block rate (paced by the clock), delivers scheduled MIDI and transport
// actions, and saves or restores its state dictionary as an XML property list.
//
// Threads: Load/Open/RestoreState/SaveState/Close run on the main thread; StartRendering starts
// the render thread, which this object owns and StopRendering joins (Close stops it too). The
// render thread is the only caller of the render procedure and of the MIDI selectors.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AUTypes.h"
#include "ComponentManager.h"
#include "HostEvents.h"
#include "HostTransport.h"

class HostPlugin {
public:
  static constexpr double kSampleRate = 44100.0;
  static constexpr UInt32 kBlockFrames = 512;

  HostPlugin() : mTransport(kSampleRate) {}
  ~HostPlugin();
  HostPlugin(const HostPlugin&) = delete;
  HostPlugin& operator=(const HostPlugin&) = delete;

  // Reads the bundle's Info.plist (first AudioComponents entry), loads its library and resolves
  // the factory function.
  bool Load(const std::string& bundlePath, std::string* why);
  // Opens the component, identifies the host, hands over the transport callbacks, sets the
  // stream format and maximum frames, initializes and fetches the fast render procedure.
  bool Open(std::string* why);
  // Restores the state dictionary from an XML property list (hostile input).
  bool RestoreState(const std::string& path, std::string* why);
  // Writes the state dictionary to an XML property list.
  bool SaveState(const std::string& path, std::string* why);

  void StartRendering(std::vector<HostEvent> events);
  void StopRendering();
  // Stops rendering, uninitializes and closes the component. The library stays loaded (a view
  // toolkit may still hold its types).
  void Close();

  AudioUnit Unit() const { return mUnit; }
  void* Library() const { return mLibrary; }
  HostTransport& Transport() { return mTransport; }
  const std::string& ComponentName() const { return mName; }
  long BlocksRendered() const { return mBlocks.load(); }
  // Audio time rendered so far. The clock paces rendering, so this follows the wall clock, but
  // it does not run ahead of what the plug-in has actually seen when the machine is loaded.
  double RenderedSeconds() const { return static_cast<double>(mBlocks.load()) * kBlockFrames / kSampleRate; }
  long ParameterEvents() const { return mParamEvents.load(); }
  // Queues a MIDI message or SysEx for the next block (from the main thread).
  void SendNow(const HostEvent& e);

private:
  void renderLoop();
  void deliver(const HostEvent& e, UInt32 offset);
  static void onAUEvent(void* self, const struct AudioUnitEvent* event);

  HostTransport mTransport;
  std::string mName, mExecutable;
  ComponentDescription mDesc{};
  ComponentEntryProc mEntry = nullptr;
  void* mLibrary = nullptr;
  AudioUnit mUnit = nullptr;
  bool mInitialized = false;
  AudioUnitRenderProc mRenderProc = nullptr;
  HostCallbackInfo mCallbacks{};

  std::thread mThread;
  std::atomic<bool> mStop{false};
  std::atomic<long> mBlocks{0};
  std::atomic<long> mParamEvents{0};
  std::vector<HostEvent> mEvents;  // handed to the render thread whole before it starts
  std::mutex mNowLock;
  std::vector<HostEvent> mNow;
};
