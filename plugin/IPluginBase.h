// Host-independent core of the plug-in. Owns the parameters, the presets, the audio channel
// records, the plug-in's recursive lock, the graphics object (from AttachGraphics on) and the two
// direct MIDI port objects; declares the 49 virtual hooks through which the host binding
// (IPluginAU) and the plug-in class meet. The slot order of the virtual operations below is part
// of the design: keep it, add new virtuals only at the end.
//
// Construction is two-phase: the constructor records identity values only; the binding's own
// second phase calls initialize(), which makes the parameters, presets and channels.
//
// Ownership: deleting the plug-in deletes the graphics object first, then the parameters, the
// presets, the channel records and the bus labels, and last closes and deletes the MIDI port
// objects. The parameter group list only borrows pointers into the parameters' own texts.
// Derived classes run their destructors before all this: one that handles direct MIDI input must
// close the ports first itself, or input may reach a half-destroyed object.
//
// Threads: host calls (except the fast-dispatch render) run under the plug-in lock, as do the GUI
// setters, the parameter-change handlers, AttachGraphics, DirtyParameters and the parameter-block
// serialisers. The render callback and the direct MIDI input callback do NOT take the lock.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "IParam.h"
#include "IPlugStructs.h"
#include "UTIL_HeapBuf.h"
#include "UTIL_Mutex.h"
#include "UTIL_PtrList.h"
#include "UTIL_String.h"

class IGraphics;
class MidiInputPort;
class NChanDelayLine;  // never created here; the pointer stays null

// Plug-in API kinds; GetAPIString names them.
enum EAPI { kAPIVST2 = 0, kAPIVST3 = 1, kAPIAU = 2, kAPIRTAS = 3, kAPIAAX = 4, kAPISA = 5 };

// Version words are major << 16 | minor << 8 | revision (1.0.6 is 0x10006).
void GetVersionParts(int version, int* pMajor, int* pMinor, int* pRevision);
int GetDecimalVersion(int version);  // major * 10000 + minor * 100 + revision
// "v%d.%d.%d" when the revision is not 0, else "v%d.%d" when the minor is not 0, else "v%d".
// str must hold kVersionStrLen bytes.
constexpr int kVersionStrLen = 32;
void GetVersionStr(int version, char* str);

// Framework version header of a chunk: 'pfft' then 0x00010000, native order.
constexpr int kIPlugMagic = 0x70666674;
constexpr int kIPlugVersion = 0x00010000;
void InitChunkWithIPluginVer(ByteChunk* chunk);
// The version after the magic at *pos (advancing *pos by 8; *pos = -1 and 0 when the version
// word does not fit); 0 with *pos unchanged when *pos is out of range or the magic differs.
int GetIPluginVerFromChunk(const ByteChunk* chunk, int* pos);

class IPluginBase {
public:
  struct ChannelIO {
    int mIn, mOut;
    ChannelIO(int nIn, int nOut) : mIn(nIn), mOut(nOut) {}
  };
  // mSrc points at this channel's slot in the input data; an unconnected channel's slot points at
  // its own scratch buffer, so processing always finds a buffer of the block size.
  struct InChannel {
    bool mConnected = false;
    double** mSrc = nullptr;
    UTIL_TypedBuf<double> mScratchBuf;
    UTIL_String mLabel;
  };
  struct OutChannel {
    bool mConnected = false;
    double** mDest = nullptr;
    float* mFDest = nullptr;
    UTIL_TypedBuf<double> mScratchBuf;
    UTIL_String mLabel;
  };

  IPluginBase(int nParams, const char* channelIOStr, int nPresets, const char* effectName, const char* productName,
              const char* mfrName, int vendorVersion, int uniqueID, int mfrID, int latency, bool plugDoesMidi,
              bool plugDoesChunks, bool plugIsInst, EAPI plugAPI);
  IPluginBase(const IPluginBase&) = delete;
  IPluginBase& operator=(const IPluginBase&) = delete;

  // ---- virtual slots 0..48, in this order ----
  virtual ~IPluginBase();                                                       // 0, 1
  virtual void Reset();                                                         // 2
  virtual void OnParamChange(int paramIdx);                                     // 3
  virtual void OnParamChange2(int paramIdx);                                    // 4
  virtual void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames);  // 5
  virtual void ProcessSingleReplacing(float** inputs, float** outputs, int nFrames);    // 6
  virtual void OnGUIOpen() {}                                                   // 7
  virtual void OnGUIClose() {}                                                  // 8
  virtual void OnIdle() {}                                                      // 9
  virtual void OnActivate(bool active);                                         // 10
  virtual void ProcessMidiMsg(IMidiMsg* msg, bool fromDevice);                  // 11
  virtual void ProcessSysEx(ISysEx* sysex, bool fromDevice);                    // 12
  virtual bool MidiNoteName(int noteNumber, char* noteName);                    // 13
  virtual bool SerializeState(ByteChunk* chunk);                                // 14
  virtual int UnserializeState(ByteChunk* chunk, int startPos);                 // 15
  virtual bool CompareState(const unsigned char* data, int startPos);           // 16
  virtual void OnWindowResize() {}                                              // 17
  virtual bool HostRequestingAboutBox() { return false; }                       // 18
  virtual void OnHostIdentified() {}                                            // 19
  virtual void PopupHostContextMenuForParam(int paramIdx, int x, int y);        // 20
  virtual void SetParameterFromGUI(int paramIdx, double normalizedValue);       // 21
  virtual void SetParameterFromGUI2(int paramIdx, double normalizedValue);      // 22
  virtual void BeginInformHostOfParamChange(int paramIdx) = 0;                  // 23
  virtual void InformHostOfParamChange(int paramIdx, double normalizedValue) = 0;  // 24
  virtual void EndInformHostOfParamChange(int paramIdx) = 0;                    // 25
  virtual void InformHostOfProgramChange() = 0;                                 // 26
  virtual bool IsRenderingOffline() { return false; }                           // 27
  virtual int GetSamplePos() = 0;                                               // 28
  virtual double GetTempo() = 0;                                                // 29
  virtual void GetTimeSig(int* pNum, int* pDenom) = 0;                          // 30
  virtual void GetTime(ITimeInfo* pTimeInfo) = 0;                               // 31
  virtual int GetHost() { return mHost; }                                       // 32
  virtual EAPI GetAPI() { return mAPI; }                                        // 33
  virtual void ResizeGraphics(int w, int h) = 0;                                // 34
  virtual void RedrawParamControls();                                           // 35
  virtual void SetLatency(int samples) { mLatency = samples; }                  // 36
  virtual bool SendMidiVST(IMidiMsg* msg) = 0;                                  // 37
  virtual bool SendMidiMsg(IMidiMsg* msg) = 0;                                  // 38
  virtual bool SendMidiSysex(unsigned char* bytes, int size);                   // 39
  virtual bool SendPatchSysex(unsigned char* bytes, int size);                  // 40
  virtual bool SendMidiSysex2(std::vector<unsigned char> bytes);                // 41
  virtual void HostSpecificInit() {}                                            // 42
  virtual void AttachGraphics(IGraphics* graphics);                             // 43
  virtual bool SendSysEx(ISysEx* sysex);                                        // 44
  virtual void DirtyPTCompareState() {}                                         // 45
  virtual void PresetsChangedByHost() {}                                        // 46
  virtual void SetBlockSize(int blockSize);                                     // 47
  // The GUI thread's text entry stores the typed text as text 0 of a text parameter here, before
  // the change road runs; the base writes it under ParamTextLock. Called without the plug-in lock.
  virtual void SetParamTextFromGUI(int paramIdx, const char* text);            // 48
  // The GUI closed a text entry of this parameter without applying it (Escape, a wheel turn):
  // no value changed and no handler ran. A plug-in that showed something around the entry
  // takes it away here. Called on the GUI thread without the plug-in lock.
  virtual void OnTextEntryCancelled(int paramIdx) { (void)paramIdx; }            // 49
  // The port watch (StartDirectMidiInput) opened the lost output and/or input again, listed anew
  // under its name. synthCameBack: one of them was lost because its synth went away while the MIDI
  // system ran (DirectMidiPeerLeft); otherwise their MIDI system came back under them (a JACK
  // server restarted), or a port asked for at the start is there now. Called on the watch's
  // thread, without the plug-in lock and without the port lock; the framework's lists and indexes
  // are not changed yet (see refreshExternalMIDIInNames).
  virtual void OnDirectMidiPortsReopened(bool output, bool input, bool synthCameBack)  // 50
  {
    (void)output, (void)input, (void)synthCameBack;
  }

  // ---- second construction phase ----
  void initialize(int nAutomated, int nParams, const char* channelIOStr, int nPresets, const char* effectName,
                  const char* productName, const char* mfrName, int vendorVersion, int uniqueID, int mfrID,
                  int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst);
  // Replaces (does not add to) the number of trailing parameters hidden from the host.
  void addNonAutomateParamCount(int count) { mNonAutomatedParamCount = count; }

  // ---- the plug-in lock (recursive; see UTIL_Mutex) ----
  void Lock() { mMutex.Enter(); }
  void Unlock() { mMutex.Leave(); }
  UTIL_Mutex* GetMutex() { return &mMutex; }
  // A text parameter's display text may be renamed by threads other than the window's (a sound's
  // name that came with a dump, on the MIDI input thread) while the window draws it. Every such
  // rename, and every read of display texts that may meet one (the window's captions and value
  // prompt, the host's value string), holds this lock. A leaf: nothing is taken or called under it.
  std::mutex& ParamTextLock() const { return mParamTextLock; }

  // ---- parameters ----
  int NParams() const { return mParams.GetSize(); }
  IParam* GetParam(int idx) const { return mParams.Get(idx); }  // null outside the list
  int GetNonAutomatedParamCount() const { return mNonAutomatedParamCount; }
  // Host-visible parameters 0 .. NHostParams() - 1 (never negative).
  int NHostParams() const;
  IGraphics* GetGUI() const { return mGraphics; }
  // Calls OnParamChange for every host-visible parameter, then Reset().
  void OnParamReset();
  // Under the lock, informs the host of every host-visible parameter's normalised value.
  void DirtyParameters();
  // Group names for the host binding (pointers into the parameters' own texts, not owned).
  UTIL_PtrList<const char>* GetParamGroups() { return &mParamGroups; }

  // ---- parameter and state chunks ----
  bool SerializeParams(ByteChunk* chunk);
  int UnserializeParams(ByteChunk* chunk, int startPos);
  bool SerializeNonAutomatedParams(ByteChunk* chunk, int n);
  int UnserializeNonAutomatedParams(ByteChunk* chunk, int startPos, int n);

  // ---- presets ----
  int NPresets() const { return mPresets.GetSize(); }
  int GetCurrentPresetIdx() const { return mCurrentPresetIdx; }
  const char* GetPresetName(int idx) const;  // "" outside the list
  void MakeDefaultPreset(const char* name = nullptr, int nPresets = 1);
  void EnsureDefaultPreset();
  void PruneUninitializedPresets();
  bool RestorePreset(int idx);
  bool RestorePreset(const char* name);
  void ModifyCurrentPreset(const char* name = nullptr);
  bool MakePreset(const char* name, ...);
  bool MakePresetFromNamedParams(const char* name, int nParamsNamed, ...);
  bool MakePresetFromChunk(const char* name, ByteChunk* chunk);
  bool MakePresetFromBlob(const char* name, const char* blob, int sizeOfChunk);
  bool DumpPresetSrcCode(const char* filename, const char* paramEnumNames[]);
  bool DumpPresetBlob(const char* filename);
  bool SerializePresets(ByteChunk* chunk);
  int UnserializePresets(ByteChunk* chunk, int startPos);
  // VST 2 program and bank files. The base has no file dialog; these answer false.
  bool SaveProgramAsFXP(const char* defaultFileName = nullptr);
  bool SaveBankAsFXB(const char* defaultFileName = nullptr);
  bool LoadProgramFromFXP();
  bool LoadBankFromFXB();

  // ---- identity and versions ----
  const char* GetEffectName() const { return mEffectName; }
  const char* GetProductName() const { return mProductName; }
  const char* GetMfrName() const { return mMfrName; }
  int GetUniqueID() const { return mUniqueID; }
  int GetMfrID() const { return mMfrID; }
  int GetEffectVersion(bool decimal) const;
  void GetEffectVersionStr(char* str) const;  // str: kVersionStrLen bytes
  int GetHostVersion(bool decimal);
  void GetHostVersionStr(char* str);  // str: kVersionStrLen bytes
  const char* GetAPIString();
  const char* GetArchString() const { return "x64"; }
  void SetHost(const char* name, int version);
  bool DoesStateChunks() const { return mStateChunks; }
  bool IsInst() const { return mIsInst; }
  bool IsBypassed() const { return mIsBypassed; }
  void SetBypassed(bool bypassed) { mIsBypassed = bypassed; }

  // ---- audio channels and buffers ----
  double GetSampleRate() const { return mSampleRate; }
  void SetSampleRate(double sampleRate) { mSampleRate = sampleRate; }
  int GetBlockSize() const { return mBlockSize; }
  int GetLatency() const { return mLatency; }
  double GetSamplesPerBeat();
  int NInChannels() const { return mInChannels.GetSize(); }
  int NOutChannels() const { return mOutChannels.GetSize(); }
  int NChannelIO() const { return mChannelIO.GetSize(); }
  // False outside the list.
  bool GetChannelIO(int idx, int* pIn, int* pOut) const;
  bool LegalIO(int nIn, int nOut) const;  // -1 stands for "any"
  void LimitToStereoIO();
  void SetInputChannelConnections(int idx, int n, bool connected);
  void SetOutputChannelConnections(int idx, int n, bool connected);
  bool IsInChannelConnected(int chIdx) const;
  bool IsOutChannelConnected(int chIdx) const;
  void SetInputLabel(int idx, const char* label);
  void SetOutputLabel(int idx, const char* label);
  // Bus labels for elements 0 and 1 only; "" when not set.
  void SetInputBusLabel(int idx, const char* label);
  void SetOutputBusLabel(int idx, const char* label);
  const char* GetInputBusLabel(int idx) const;
  const char* GetOutputBusLabel(int idx) const;

  // Render-thread block processing for the host binding (no lock; allocation only when a host
  // hands more frames than the block size it announced).
  void AttachInputBuffers(int idx, int n, float** inputs, int nFrames);
  void AttachInputBuffers(int idx, int n, double** inputs, int nFrames);
  void AttachOutputBuffers(int idx, int n, float** outputs);
  void AttachOutputBuffers(int idx, int n, double** outputs);
  void ProcessBuffers(float sampleType, int nFrames);
  void ProcessBuffers(double sampleType, int nFrames);
  void ProcessBuffersAccumulating(float sampleType, int nFrames);
  void PassThroughBuffers(float sampleType, int nFrames);
  void PassThroughBuffers(double sampleType, int nFrames);
  void ZeroScratchBuffers();

  // ===== BEGIN direct MIDI ports (owned by the MIDI-port layer, plugin/IPluginBaseMidi.cpp) =====
  // User-chosen device ports; the only road to the synth. RtMidi over ALSA or JACK underneath
  // (platform/MidiPorts.h).
  struct DirectMidiPorts;  // defined by the MIDI-port layer; owned by IPluginBase

public:
  // Main thread. The first call makes the port object and reads the list once: entry 0 is
  // "Select MIDI Device", entry i the MIDI system's port i - 1 at that time.
  std::vector<std::string>& getExternalMIDIInNames();
  std::vector<std::string>& getExternalMIDIOutNames();
  // Main thread, under the plug-in lock (the state calls read the lists). Reads the list afresh:
  // the ports present now, for a menu about to open. A port object that could not be made before
  // (no JACK server running then) is tried again. The open port's index follows it to its new
  // position; an open port that is no longer listed keeps an entry at the end; a lost one (or one
  // asked for and not there, see setExternalMIDIIn) that is listed again is opened again, unless
  // reopenLost is false.
  // Never from the window's thread: the MIDI system may take milliseconds to answer, and more
  // with no JACK server to reach.
  std::vector<std::string>& rescanExternalMIDIInNames(bool reopenLost = true);
  std::vector<std::string>& rescanExternalMIDIOutNames(bool reopenLost = true);
  // Under the plug-in lock, on any thread (the window's menus): the list as the last listing read
  // it (the port watch lists about once a second, and at once after a JACK notice), the open port
  // following to its new position as above. Asks the MIDI system nothing and opens nothing.
  std::vector<std::string>& refreshExternalMIDIInNames();
  std::vector<std::string>& refreshExternalMIDIOutNames();
  // Raised whenever a listing differs from the one before (ports come or go, a MIDI system is
  // reached or lost) and whenever the watch opened a port again. Any thread.
  unsigned DirectMidiListingChanges() const;
  // Listings noted so far (each side's counts): 0 until the first has said whether a MIDI system
  // is there. Any thread.
  unsigned DirectMidiListings() const;
  // Whether the last listing reached a MIDI system (ALSA's sequencer or a JACK server): false
  // before the first listing and when neither could be reached (no JACK server running then).
  // Any thread.
  bool MIDISystemReachable(bool input) const;
  // Whether the port opened last no longer carries (MidiInputPort::lost): its JACK server stopped
  // or the port went away, noticed by JACK's own callbacks as it happens, or by a listing that no
  // longer lists it. The port watch opens it again once its synth is back under its name;
  // choosing it again opens it too. Also true for a port asked for by name that was not there
  // (see setExternalMIDIIn). Any thread (the window and the audio callback read it).
  bool DirectMidiPortLost(bool input) const;
  // A port is open and not lost. Any thread.
  bool DirectMidiPortCarries(bool input) const;
  // The port is lost and the last listing does not list it (its synth off, its MIDI system
  // gone): the port watch opens it again once it is back. A port a patchbay disconnected, its
  // peer still listed, is not. Any thread (reads the listing under a leaf lock).
  bool DirectMidiPortAwaitsReturn(bool input) const;
  // The port is lost because its synth went away while its MIDI system ran (MidiInputPort::
  // peerLeft): not for a JACK server that went away under it, nor a patchbay's disconnection. Any
  // thread.
  bool DirectMidiPeerLeft(bool input) const;
  // Calls of setExternalMIDIIn (input) or setExternalMIDIOut begun so far: a port that stops
  // carrying across a change of it was closed or replaced by a choice, not lost. Any thread.
  unsigned DirectMidiPortChoices(bool input) const;
  // Opens of either port that succeeded so far: a port lost and opened again between two looks
  // changes it. Any thread.
  unsigned DirectMidiPortOpens() const;
  // The port asked for last: open, lost, or not there; empty when none. Any thread.
  std::string DirectMidiPortName(bool input) const;
  // Main thread. The list position of the port open (or lost) now, 0 for none.
  int DirectMidiPortIndex(bool input) const { return input ? mMidiInIndex : mMidiOutIndex; }
  // Main thread, under the plug-in lock (the port watch may be listing meanwhile: it waits for
  // that, a few milliseconds at most). Closes the open port, then opens the listed port
  // called name (a stored name is also found when only ALSA's session numbers differ). Answers,
  // and leaves in index, the list position of the port now open; 0 when index was 0, the name
  // was "Select MIDI Device" or not listed, or the port would not open. A name asked for that is
  // not open afterwards leaves the port lost under that name (DirectMidiPortLost), for a later
  // listing to find; one not listed that came since the list was read opens at a new last entry.
  int setExternalMIDIIn(int& index, const char* name);
  int setExternalMIDIOut(int& index, const char* name);
  // Called on the MIDI input dispatch thread (never the MIDI system's own thread), without the
  // plug-in lock: 1-3 bytes reach ProcessMidiMsg, longer messages ProcessSysEx, both flagged as
  // from the device.
  static void MIDICallback(double deltaTime, std::vector<unsigned char>* message, void* userData);
  void processMIDIInput(double deltaTime, std::vector<unsigned char>* message, void* userData);
  // Sending to the direct output from any thread (the Audio Unit binding's send overrides are
  // one-line calls of these). False, sending nothing, without an open output port or bytes, and
  // for a short message with a data byte of 0x80 or more (a status byte where data belongs).
  bool SendDirectMidiMsg(const IMidiMsg* msg);                 // status, data1 [, data2 unless kind 0xC/0xD]
  bool SendDirectSysex(const unsigned char* bytes, int size);  // adds F0 ... F7 when bytes[0] != 0xF0
  bool SendDirectBytes(const unsigned char* bytes, int size);  // unchanged
  // As SendDirectBytes, for bytes meant to leave at atNs on the monotonic clock (a moment already
  // past): on JACK they land at that moment's frame, one period on (MidiOutputPort::sendAt).
  bool SendDirectBytesAt(const unsigned char* bytes, int size, int64_t atNs);
  // Each message through SendMidiMsg; true when every one was sent (and for an empty or absent
  // buffer). Stops at nothing: a failed message does not keep the later ones back.
  bool SendMidiMsgs(UTIL_TypedBuf<IMidiMsg>* msgs);

  // Main thread. A separate output object offering a port of our own named "From " + name that
  // other programs connect to (the chosen device output is unaffected). A second call replaces
  // the first port. False, with nothing offered, when the MIDI system refused.
  bool initializeVirtualOutput(std::string name);
  // Position of name in the input / output list as read by the list calls, -1 when not listed.
  int getExternalMIDIInDevice(const char* name);
  int getExternalMIDIOutDevice(const char* name);
  // Port numbers as the MIDI system lists them now, not the stored lists: "Select MIDI Device" is
  // 0, our own "virtual input" / "virtual output" 1, the system's port i is i + 2; -1 when not
  // found (also when no port object could be made).
  int GetMIDIInPortNumber(const char* name);
  int GetMIDIOutPortNumber(const char* name);
  // Main thread. Ends a hold (HoldDirectMidiInput): from now on the input's messages reach
  // ProcessMidiMsg and ProcessSysEx, those held since the port opened first. The Audio Unit
  // binding calls it when the component's open call has stored the finished object.
  // For a plug-in that listed its ports, it also starts the port watch, a thread of this layer's
  // own that lists the ports about once a second (and soon after JACK says a port came or went),
  // so that the window only ever reads the last listing, and opens a lost port again once its
  // synth is back (MidiInputPort::mayReopen), telling OnDirectMidiPortsReopened.
  void StartDirectMidiInput();

protected:
  // Stops the input (joining its dispatch thread), then closes and deletes the output. The
  // destructor calls it; a plug-in class that overrides ProcessMidiMsg/ProcessSysEx should call
  // it first in its own destructor. Not from the dispatch thread; no send may be in flight.
  void CloseDirectMidiPorts();
  // Stops and joins the port watch (CloseDirectMidiPorts does too). A plug-in class whose
  // OnDirectMidiPortsReopened reaches its own members calls it first in its destructor.
  void StopDirectMidiWatch();
  // From a constructor: no message from the input port reaches the handlers until
  // StartDirectMidiInput, whatever port the constructor opens. Without a hold, input is delivered
  // as soon as a port is open.
  void HoldDirectMidiInput() { mDirectMidiInputHeld = true; }
  // From a constructor, before a port is listed: what a flooded input queue may drop first (the
  // device's refreshes, see MidiInputDispatch::RefreshTest; called with this plug-in). Without
  // one, a full queue drops what arrives.
  typedef bool (*DirectMidiRefreshTest)(const unsigned char* bytes, size_t size, void* plug);
  void SetDirectMidiRefreshTest(DirectMidiRefreshTest test) { mDirectMidiRefresh = test; }
  // Creates a listed input port's client; it delivers at once unless input is held.
  bool makeInput(MidiInputPort& in);
  DirectMidiRefreshTest mDirectMidiRefresh = nullptr;
  DirectMidiPorts* mDirectMidi = nullptr;   // set by the first list call, on the main thread
  void watchDirectMidiPorts();              // the port watch's loop
  bool mDirectMidiInputHeld = false;        // main thread only
  int mMidiInIndex = 0, mMidiOutIndex = 0;  // list positions of the open ports, 0 = none
  std::vector<std::string> mMidiInNames, mMidiOutNames;
  // ===== END direct MIDI ports =====

protected:
  // Sets the input and output data slot pointers of every channel; used after the data buffers
  // or scratch buffers move.
  void repointChannels();
  // Block processing helpers (render thread).
  bool prepareSlots(int nFrames);
  void convertOutputs(int nFrames, bool accumulate);
  bool storeState(IPreset* preset, const char* name);

  int mNonAutomatedParamCount = 0;
  UTIL_PtrList<ChannelIO> mChannelIO;
  UTIL_Mutex mMutex;
  mutable std::mutex mParamTextLock;
  char mEffectName[128];
  char mProductName[128];
  char mMfrName[128];
  int mUniqueID, mMfrID, mVersion;
  EAPI mAPI;
  int mHost = -1;
  int mHostVersion = 0;
  bool mStateChunks, mIsInst, mIsBypassed = false;
  int mCurrentPresetIdx = 0;
  double mSampleRate = 44100.0;
  int mBlockSize = 0;
  int mLatency;
  UTIL_String mPreviousPath;
  NChanDelayLine* mDelay = nullptr;
  UTIL_PtrList<const char> mParamGroups;
  IGraphics* mGraphics = nullptr;
  UTIL_PtrList<IParam> mParams;
  // The value and range of every parameter, in parameter order (see IParamSlot). Freed after
  // mParams, whose entries point into it.
  std::unique_ptr<IParamSlot[]> mParamSlots;
  UTIL_PtrList<IPreset> mPresets;
  UTIL_TypedBuf<double*> mInData, mOutData;
  UTIL_PtrList<InChannel> mInChannels;
  UTIL_PtrList<OutChannel> mOutChannels;
  UTIL_PtrList<UTIL_String> mInputBusLabels, mOutputBusLabels;
};
