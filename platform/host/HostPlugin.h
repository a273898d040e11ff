// The stand-in host's side of one plug-in: finds the component in its bundle, loads the
// library, opens and initializes the component the way a host does, renders it on a thread of
// its own at a simulated block rate (paced by the clock), delivers scheduled MIDI and transport
// actions, and saves or restores its state dictionary as an XML property list.
//
// Threads: Load/Open/RestoreState/SaveState/RunDueActions/Close run on the main thread;
// StartRendering starts the render thread, which this object owns and StopRendering joins (Close
// stops it too). The render thread is the only caller of the render procedure and of the MIDI
// selectors. A restore action is a host's main-thread work (opening another project): the render
// thread hands it over when its time comes and goes on rendering; RunDueActions runs it.
#pragma once

#include <sys/types.h>

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
  // Writes the state dictionary to an XML property list (a new file takes newMode under the
  // umask; see CFPropertyListWriteToFile).
  bool SaveState(const std::string& path, std::string* why, mode_t newMode = 0666);
  // The state dictionary as the XML text SaveState writes.
  bool StateData(std::string* xml, std::string* why);

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
  // Queues an action for the block that covers its time in rendered seconds (the next block for
  // a time already passed), as a user's action at that moment (from the main thread).
  void Schedule(const HostEvent& e);

  // What a main-thread action that came due did: a line for the host's terminal.
  struct ActionReport {
    bool ok = true;
    std::string text;
  };
  // Runs the restore actions that have come due, in order, while rendering goes on; the host's
  // main loop calls this. Each restore reads its file then (a file that is missing or refused is
  // reported and the plug-in keeps its state).
  std::vector<ActionReport> RunDueActions();

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
  std::vector<HostEvent> mNow;  // SendNow and Schedule, in the order they came; mNowLock
  std::mutex mDueLock;
  std::vector<HostEvent> mDue;  // restores handed to the main thread; mDueLock
};
