// Direct MIDI ports of IPluginBase: the user-chosen device ports, the only road to the synth.
//
// The port objects live in the platform layer (MidiPorts.h, on RtMidi over ALSA or JACK). This
// file keeps the framework's numbering (list entry 0 "Select MIDI Device", entry i = port i - 1
// as listed once), the reopening of stored names, the split of incoming messages into short
// messages and SysEx, and the byte layout of everything sent.
//
// Threads: the list and open calls, and CloseDirectMidiPorts, run on the main thread (the
// constructor, the parameter-change handler, state restore), often under the plug-in lock, so
// they never wait for the input dispatch thread; the port watch lists and reopens on its own
// thread, and the two take turns at the port objects through DirectMidiPorts::lock. The window's
// thread only reads what the last listing found (refreshExternalMIDI*Names, the flags).
// processMIDIInput runs on that dispatch thread, never on the MIDI system's own. The SendDirect*
// calls come from any thread.
#include "IPluginBase.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "IGraphics.h"
#include "MidiBackend.h"
#include "MidiBytes.h"
#include "MidiPorts.h"

namespace {

const char* const kSelectMidiDevice = "Select MIDI Device";
// What a patchbay (QjackCtl, Carla, aconnect -l) shows of the editor: a client for each direction,
// named for the product, and ports named for what they connect to.
const char* const kInputClientName = "Sorvanta Editor in";
const char* const kOutputClientName = "Sorvanta Editor out";
const char* const kInputPortName = "from Dorvik";
const char* const kOutputPortName = "to Dorvik";
// RtMidi's own input queue, used only while no callback is registered (we always register one).
const unsigned kRtMidiQueueLimit = 100;

// A port an editor opens itself to reach the synth ("Sorvanta Editor in:from Dorvik", the client's
// name maybe followed by a suffix, ALSA's numbers after the port's): never offered, the editor
// would talk to itself. A virtual port it offers to other programs is offered.
bool ownPort(const std::string& listed)
{
  const std::string name = MidiPortNameWithoutNumbers(listed);
  for (const auto& own : {std::make_pair(kInputClientName, kInputPortName), std::make_pair(kOutputClientName, kOutputPortName)})
  {
    const std::string tail = std::string(":") + own.second;
    if (name.compare(0, strlen(own.first), own.first) == 0 && name.size() > tail.size() &&
        name.compare(name.size() - tail.size(), tail.size(), tail) == 0)
      return true;
  }
  return false;
}

// Makes the port's MIDI system object when there is none (make answers false when the MIDI
// system refused, say with no JACK server running; the port object stays, holding the port asked
// for, and the next listing tries again) and lists the ports present now.
template <class Port, class Make>
std::vector<std::string> listPorts(std::unique_ptr<Port>& port, Make make)
{
  if (!port)
    port.reset(new Port);
  if (!port->exists())
    make(*port);
  std::vector<std::string> names{kSelectMidiDevice};
  if (port->exists())
    for (const std::string& name : port->listPortNames())
      if (!ownPort(name))
        names.push_back(name);
  return names;
}

// The list as a new reading gives it (listed): the open port (selected) moves to its new position;
// one that is no longer listed (unplugged, its program ended, its JACK server stopped) keeps an
// entry at the end, so that selected still names what the user chose until they choose again. A
// port asked for by name and not chosen from the list (a stored port: lost at the start, maybe
// opened since by the port watch) takes its position when it is listed and open. reopen(chosen)
// may open a lost port that is listed again. A port asked for and not open has no entry.
template <class Port, class Reopen>
void follow(std::vector<std::string>& names, int& selected, Port* port, std::vector<std::string> listed,
            Reopen reopen)
{
  std::string chosen = selected > 0 && selected < (int)names.size() ? names[selected] : std::string();
  const bool asked = chosen.empty() && port && (port->lost() || port->isOpen());
  if (asked)
    chosen = port->portName();
  names = std::move(listed);
  selected = 0;
  if (chosen.empty())
    return;
  // A stored name is also found when only ALSA's session numbers differ.
  selected = std::max(0, MidiFindPortName(names, chosen, 1));
  if (selected)
    reopen(chosen);
  if (!selected && (!asked || port->isOpen()))
  {
    names.push_back(chosen);
    selected = (int)names.size() - 1;
  }
  if (asked && !port->isOpen())
    selected = 0;
}

// Both open calls: index 0 closes; otherwise name is looked up in the list as read at start
// (exactly, else without ALSA's session numbers, so a stored name survives a new session) and the
// port of that entry is opened. The answer and the final index are the entry's position when a
// port is open afterwards, else 0: an index never names a port that is not open.
//
// A name that the list does not hold (a stored port of a synth that is off, or of a MIDI system
// not running yet) is asked for all the same: the port is then lost under that name (the field
// says so, and the port watch opens it once its synth is back), or, come since the list was
// read, open at a new entry at the end.
template <class Port>
int openListed(Port* port, std::vector<std::string>& names, int& selected, int& index, const char* name,
               const char* ownName, const char* what)
{
  if (port)
    port->close();
  // index may be the plug-in's own `selected` (the start-up reopen passes it): read it first.
  const int wanted = index;
  selected = 0;
  const int p = (wanted == 0 || !port || !name) ? -1 : MidiFindPortName(names, name);
  if (p < 0 && wanted != 0 && port && name && *name && !names.empty() && port->open(name, ownName))
  {
    names.push_back(name);
    index = selected = (int)names.size() - 1;
    return index;
  }
  if (p <= 0)  // closing, nothing listed, not listed, or "Select MIDI Device"
  {
    index = 0;
    return 0;
  }
  if (!port->open(names[p], ownName))
  {
    fprintf(stderr, "MIDI PORTS: MIDI %s \"%s\" could not be opened\n", what, names[p].c_str());
    index = 0;
    return 0;
  }
  index = selected = p;
  return p;
}

}  // namespace

// Owned by IPluginBase through mDirectMidi; made by the first list or open call, deleted by
// CloseDirectMidiPorts. Each port object owns its RtMidi object (and the input its dispatch
// thread). The port watch is this object's thread, joined before the ports go.
struct IPluginBase::DirectMidiPorts
{
  std::unique_ptr<MidiInputPort> in;
  std::unique_ptr<MidiOutputPort> out;
  std::unique_ptr<MidiOutputPort> virtualOut;  // initializeVirtualOutput's own port, if any
  // Held by every call into in and out (making, listing, opening, closing), from the main thread
  // and from the watch: never while the plug-in lock is taken (the main thread takes the plug-in
  // lock first, the watch never takes it with this held).
  std::mutex lock;
  // The last listing of each side ([0] input, [1] output, as listPorts gives it) and whether it
  // reached a MIDI system. listedLock is a leaf lock.
  std::mutex listedLock;
  std::vector<std::string> listed[2];
  std::atomic<bool> reachable[2] = {};
  std::atomic<unsigned> changes{0};
  std::atomic<unsigned> listings{0};
  std::atomic<unsigned> choices[2] = {};  // [0] input, [1] output: set calls begun
  // The watch, and what wakes it.
  std::thread watch;
  std::mutex watchMutex;
  std::condition_variable wake;
  bool stop = false;  // watchMutex

  void noteListing(bool input, std::vector<std::string> names, bool reached)
  {
    std::lock_guard<std::mutex> g(listedLock);
    std::vector<std::string>& last = listed[input ? 0 : 1];
    if (names != last || reached != reachable[input ? 0 : 1].load())
      ++changes;
    last = std::move(names);
    reachable[input ? 0 : 1] = reached;
    ++listings;
  }
  std::vector<std::string> lastListing(bool input)
  {
    std::lock_guard<std::mutex> g(listedLock);
    return listed[input ? 0 : 1];
  }
};

// mDirectMidi is written here only, on the main thread, by the constructor's first listing,
// before any thread that sends exists; afterwards it stays put until CloseDirectMidiPorts.
static IPluginBase::DirectMidiPorts* ensurePorts(IPluginBase::DirectMidiPorts*& ports)
{
  if (!ports)
    ports = new IPluginBase::DirectMidiPorts;
  return ports;
}

namespace {

bool makeOutput(MidiOutputPort& out)
{
  return out.create(kOutputClientName);
}

// A listing of one side, noted as the last one; ports->lock held.
template <class Port, class Make>
std::vector<std::string> listNoted(IPluginBase::DirectMidiPorts* ports, bool input, std::unique_ptr<Port>& port,
                                   Make make)
{
  std::vector<std::string> names = listPorts(port, make);
  ports->noteListing(input, names, port->exists());
  return names;
}

}  // namespace

bool IPluginBase::makeInput(MidiInputPort& in)
{
  if (!in.create(kInputClientName, kRtMidiQueueLimit, &IPluginBase::MIDICallback, this, mDirectMidiRefresh))
    return false;
  if (!mDirectMidiInputHeld)
    in.startDelivery();
  return true;
}

std::vector<std::string>& IPluginBase::getExternalMIDIInNames()
{
  DirectMidiPorts* ports = ensurePorts(mDirectMidi);
  std::lock_guard<std::mutex> g(ports->lock);
  if (mMidiInNames.empty())
  {
    mMidiInIndex = 0;
    mMidiInNames = listNoted(ports, true, ports->in, [this](MidiInputPort& in) { return makeInput(in); });
  }
  return mMidiInNames;
}

std::vector<std::string>& IPluginBase::getExternalMIDIOutNames()
{
  DirectMidiPorts* ports = ensurePorts(mDirectMidi);
  std::lock_guard<std::mutex> g(ports->lock);
  if (mMidiOutNames.empty())
  {
    mMidiOutIndex = 0;
    mMidiOutNames = listNoted(ports, false, ports->out, makeOutput);
  }
  return mMidiOutNames;
}

std::vector<std::string>& IPluginBase::rescanExternalMIDIInNames(bool reopenLost)
{
  DirectMidiPorts* ports = ensurePorts(mDirectMidi);
  std::lock_guard<std::mutex> g(ports->lock);
  std::vector<std::string> listed = listNoted(ports, true, ports->in, [this](MidiInputPort& p) { return makeInput(p); });
  follow(mMidiInNames, mMidiInIndex, ports->in.get(), std::move(listed), [&](const std::string& chosen) {
    if (reopenLost && ports->in->lost() && !ports->in->open(chosen, kInputPortName))
      fprintf(stderr, "MIDI PORTS: \"%s\" is listed again but could not be opened\n", chosen.c_str());
  });
  return mMidiInNames;
}

std::vector<std::string>& IPluginBase::rescanExternalMIDIOutNames(bool reopenLost)
{
  DirectMidiPorts* ports = ensurePorts(mDirectMidi);
  std::lock_guard<std::mutex> g(ports->lock);
  std::vector<std::string> listed = listNoted(ports, false, ports->out, makeOutput);
  follow(mMidiOutNames, mMidiOutIndex, ports->out.get(), std::move(listed), [&](const std::string& chosen) {
    if (reopenLost && ports->out->lost() && !ports->out->open(chosen, kOutputPortName))
      fprintf(stderr, "MIDI PORTS: \"%s\" is listed again but could not be opened\n", chosen.c_str());
  });
  return mMidiOutNames;
}

std::vector<std::string>& IPluginBase::refreshExternalMIDIInNames()
{
  if (mDirectMidi)
    follow(mMidiInNames, mMidiInIndex, mDirectMidi->in.get(), mDirectMidi->lastListing(true), [](const std::string&) {});
  return mMidiInNames;
}

std::vector<std::string>& IPluginBase::refreshExternalMIDIOutNames()
{
  if (mDirectMidi)
    follow(mMidiOutNames, mMidiOutIndex, mDirectMidi->out.get(), mDirectMidi->lastListing(false),
           [](const std::string&) {});
  return mMidiOutNames;
}

unsigned IPluginBase::DirectMidiListingChanges() const
{
  return mDirectMidi ? mDirectMidi->changes.load() : 0;
}

unsigned IPluginBase::DirectMidiListings() const
{
  return mDirectMidi ? mDirectMidi->listings.load() : 0;
}

bool IPluginBase::MIDISystemReachable(bool input) const
{
  return mDirectMidi && mDirectMidi->reachable[input ? 0 : 1].load();
}

bool IPluginBase::DirectMidiPortLost(bool input) const
{
  if (!mDirectMidi)
    return false;
  return input ? mDirectMidi->in && mDirectMidi->in->lost() : mDirectMidi->out && mDirectMidi->out->lost();
}

bool IPluginBase::DirectMidiPortCarries(bool input) const
{
  if (!mDirectMidi)
    return false;
  if (input)
    return mDirectMidi->in && mDirectMidi->in->isOpen() && !mDirectMidi->in->lost();
  return mDirectMidi->out && mDirectMidi->out->isOpen() && !mDirectMidi->out->lost();
}

bool IPluginBase::DirectMidiPortAwaitsReturn(bool input) const
{
  if (!DirectMidiPortLost(input))
    return false;
  if (!MIDISystemReachable(input))
    return true;
  const std::string name = DirectMidiPortName(input);
  std::lock_guard<std::mutex> g(mDirectMidi->listedLock);
  return MidiFindPortName(mDirectMidi->listed[input ? 0 : 1], name) < 0;
}

bool IPluginBase::DirectMidiPeerLeft(bool input) const
{
  if (!mDirectMidi)
    return false;
  return input ? mDirectMidi->in && mDirectMidi->in->peerLeft() : mDirectMidi->out && mDirectMidi->out->peerLeft();
}

unsigned IPluginBase::DirectMidiPortChoices(bool input) const
{
  return mDirectMidi ? mDirectMidi->choices[input ? 0 : 1].load() : 0;
}

unsigned IPluginBase::DirectMidiPortOpens() const
{
  if (!mDirectMidi)
    return 0;
  return (mDirectMidi->in ? mDirectMidi->in->opens() : 0) + (mDirectMidi->out ? mDirectMidi->out->opens() : 0);
}

std::string IPluginBase::DirectMidiPortName(bool input) const
{
  if (!mDirectMidi)
    return std::string();
  if (input)
    return mDirectMidi->in ? mDirectMidi->in->portName() : std::string();
  return mDirectMidi->out ? mDirectMidi->out->portName() : std::string();
}

int IPluginBase::setExternalMIDIOut(int& index, const char* name)
{
  std::unique_lock<std::mutex> g;
  if (mDirectMidi)
  {
    ++mDirectMidi->choices[1];
    g = std::unique_lock<std::mutex>(mDirectMidi->lock);
  }
  return openListed(mDirectMidi ? mDirectMidi->out.get() : nullptr, mMidiOutNames, mMidiOutIndex, index, name,
                    kOutputPortName, "output");
}

int IPluginBase::setExternalMIDIIn(int& index, const char* name)
{
  std::unique_lock<std::mutex> g;
  if (mDirectMidi)
  {
    ++mDirectMidi->choices[0];
    g = std::unique_lock<std::mutex>(mDirectMidi->lock);
  }
  return openListed(mDirectMidi ? mDirectMidi->in.get() : nullptr, mMidiInNames, mMidiInIndex, index, name,
                    kInputPortName, "input");
}

namespace {

const char* const kVirtualOutputPrefix = "From ";
const char* const kVirtualInputName = "virtual input";
const char* const kVirtualOutputName = "virtual output";

int listPosition(const std::vector<std::string>& names, const char* name)
{
  if (!name)
    return -1;
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == name)
      return (int)i;
  return -1;
}

// 0 and 1 are taken by "Select MIDI Device" and our virtual port, so the system's port i is i + 2.
template <class Port>
int portNumber(Port* port, const char* name, const char* virtualName)
{
  if (!name)
    return -1;
  if (!strcmp(name, kSelectMidiDevice))
    return 0;
  if (!strcmp(name, virtualName))
    return 1;
  if (!port)
    return -1;
  const int i = listPosition(port->listPortNames(), name);
  return i < 0 ? -1 : i + 2;
}

}  // namespace

bool IPluginBase::SendMidiMsgs(UTIL_TypedBuf<IMidiMsg>* msgs)
{
  bool all = true;
  const int n = msgs ? msgs->GetSize() : 0;
  IMidiMsg* m = n ? msgs->Get() : nullptr;
  for (int i = 0; i < n; ++i)
    all = SendMidiMsg(&m[i]) && all;
  return all;
}

bool IPluginBase::initializeVirtualOutput(std::string name)
{
  DirectMidiPorts* ports = ensurePorts(mDirectMidi);
  ports->virtualOut.reset(new MidiOutputPort);
  const std::string portName = kVirtualOutputPrefix + name;
  if (!makeOutput(*ports->virtualOut) || !ports->virtualOut->openVirtual(portName.c_str()))
  {
    fprintf(stderr, "MIDI PORTS: virtual output \"%s\" could not be opened\n", portName.c_str());
    ports->virtualOut.reset();
    return false;
  }
  return true;
}

int IPluginBase::getExternalMIDIInDevice(const char* name)
{
  return listPosition(mMidiInNames, name);
}

int IPluginBase::getExternalMIDIOutDevice(const char* name)
{
  return listPosition(mMidiOutNames, name);
}

int IPluginBase::GetMIDIInPortNumber(const char* name)
{
  getExternalMIDIInNames();  // makes the port object on first use
  std::lock_guard<std::mutex> g(mDirectMidi->lock);
  return portNumber(mDirectMidi->in.get(), name, kVirtualInputName);
}

int IPluginBase::GetMIDIOutPortNumber(const char* name)
{
  getExternalMIDIOutNames();
  std::lock_guard<std::mutex> g(mDirectMidi->lock);
  return portNumber(mDirectMidi->out.get(), name, kVirtualOutputName);
}

void IPluginBase::StartDirectMidiInput()
{
  mDirectMidiInputHeld = false;
  // A plug-in that never listed its ports has none to watch.
  DirectMidiPorts* ports = mDirectMidi;
  if (!ports)
    return;
  {
    std::lock_guard<std::mutex> g(ports->lock);
    if (ports->in)
      ports->in->startDelivery();
  }
  if (!ports->watch.joinable())
    ports->watch = std::thread([this] { watchDirectMidiPorts(); });
}

namespace {

// How often the watch lists when JACK says nothing (ALSA never does; nor does a server not
// running yet), and how often it looks whether JACK did.
const std::chrono::milliseconds kListEvery(1000), kNoticesEvery(50);

}  // namespace

// The port watch: lists both sides, notes the listings for the window, and opens again a port
// whose synth came back, then tells the plug-in. Nothing here runs on the window's thread.
void IPluginBase::watchDirectMidiPorts()
{
  DirectMidiPorts* ports = mDirectMidi;
  auto listed = std::chrono::steady_clock::now() - kListEvery;
  unsigned notices = MidiPortNotices();
  std::unique_lock<std::mutex> w(ports->watchMutex);
  while (!ports->stop)
  {
    const auto now = std::chrono::steady_clock::now();
    if (now - listed < kListEvery && MidiPortNotices() == notices)
    {
      ports->wake.wait_for(w, kNoticesEvery);
      continue;
    }
    w.unlock();
    listed = now;
    notices = MidiPortNotices();
    bool reopened[2] = {false, false}, cameBack = false;
    {
      std::lock_guard<std::mutex> g(ports->lock);
      const std::vector<std::string> ins =
          listNoted(ports, true, ports->in, [this](MidiInputPort& in) { return makeInput(in); });
      const std::vector<std::string> outs = listNoted(ports, false, ports->out, makeOutput);
      const std::string inName = ports->in->portName(), outName = ports->out->portName();
      // Read before the open clears it.
      const bool inLeft = ports->in->peerLeft(), outLeft = ports->out->peerLeft();
      reopened[0] = ports->in->mayReopen(ins) && ports->in->open(inName, kInputPortName);
      reopened[1] = ports->out->mayReopen(outs) && ports->out->open(outName, kOutputPortName);
      cameBack = (reopened[0] && inLeft) || (reopened[1] && outLeft);
    }
    if (reopened[0] || reopened[1])
    {
      ++ports->changes;
      OnDirectMidiPortsReopened(reopened[1], reopened[0], cameBack);
    }
    w.lock();
  }
}

void IPluginBase::StopDirectMidiWatch()
{
  DirectMidiPorts* ports = mDirectMidi;
  if (!ports || !ports->watch.joinable())
    return;
  {
    std::lock_guard<std::mutex> w(ports->watchMutex);
    ports->stop = true;
  }
  ports->wake.notify_all();
  ports->watch.join();
}

void IPluginBase::MIDICallback(double deltaTime, std::vector<unsigned char>* message, void* userData)
{
  if (userData)
    static_cast<IPluginBase*>(userData)->processMIDIInput(deltaTime, message, userData);
}

// Input dispatch thread (see MidiInputDispatch.h for why not the MIDI system's thread); takes no
// lock itself. The handlers may sleep and take the plug-in lock; input queues up meanwhile. What
// a message changes on screen is drawn once it is handled whole.
void IPluginBase::processMIDIInput(double, std::vector<unsigned char>* message, void* userData)
{
  IPluginBase* plug = static_cast<IPluginBase*>(userData);
  if (!plug || !message || message->empty())
    return;
  IGraphics::WakeBatch batch;
  const size_t n = message->size();
  const std::vector<unsigned char>& m = *message;
  if (n <= 3)
  {
    IMidiMsg msg(0, m[0], n > 1 ? m[1] : 0, n > 2 ? m[2] : 0);
    plug->ProcessMidiMsg(&msg, true);
    return;
  }
  if (n > (size_t)INT_MAX)
    return;
  // ALSA's input (RtMidi) joins a SysEx that never got its F7 to the next one (a device cut off
  // mid-dump, then answering again); our JACK input hands the cut one over on its own. A new F0
  // always starts a new message, so each piece goes on alone: the cut one, without its F7, is
  // refused (and logged) by the handler, and the whole one after it still counts.
  // The dispatch thread's buffer lives for this call only: the handler copies what it keeps.
  size_t start = 0;
  for (size_t i = 1; i <= n; ++i)
  {
    if (i < n && m[i] != 0xF0)
      continue;
    ISysEx sysex(0, m.data() + start, (int)(i - start));
    plug->ProcessSysEx(&sysex, true);
    start = i;
  }
}

bool IPluginBase::SendDirectMidiMsg(const IMidiMsg* msg)
{
  if (!msg)
    return false;
  const int length = MidiShortMessageLength(msg->mStatus);
  if (!length)
    return false;
  // A host may hand over any byte as data; one with its top bit set would reach the synth as the
  // status of another message.
  if ((length > 1 && (msg->mData1 & 0x80)) || (length > 2 && (msg->mData2 & 0x80)))
    return false;
  const unsigned char bytes[3] = {msg->mStatus, msg->mData1, msg->mData2};
  return SendDirectBytes(bytes, length);
}

bool IPluginBase::SendDirectSysex(const unsigned char* bytes, int size)
{
  if (!bytes || size <= 0)
    return false;
  if (bytes[0] == 0xF0)
    return SendDirectBytes(bytes, size);
  std::vector<unsigned char> framed;
  framed.reserve((size_t)size + 2);
  framed.push_back(0xF0);
  framed.insert(framed.end(), bytes, bytes + size);
  framed.push_back(0xF7);
  return SendDirectBytes(framed.data(), (int)framed.size());
}

bool IPluginBase::SendDirectBytes(const unsigned char* bytes, int size)
{
  if (!bytes || size <= 0)
    return false;
  MidiOutputPort* out = mDirectMidi ? mDirectMidi->out.get() : nullptr;
  return out && out->send(bytes, (size_t)size);
}

bool IPluginBase::SendDirectBytesAt(const unsigned char* bytes, int size, int64_t atNs)
{
  if (!bytes || size <= 0)
    return false;
  MidiOutputPort* out = mDirectMidi ? mDirectMidi->out.get() : nullptr;
  return out && out->sendAt(bytes, (size_t)size, atNs);
}

// The input goes first: deleting it stops and joins the dispatch thread, whose handler may be
// sending an answer through the output at this moment. Must not run on the dispatch thread, and
// no other thread may still send. A plug-in class whose handlers are overridden should call this
// at the start of its own destructor, so that no message reaches a half-destroyed object.
void IPluginBase::CloseDirectMidiPorts()
{
  StopDirectMidiWatch();
  DirectMidiPorts* ports = mDirectMidi;
  if (!ports)
    return;
  ports->in.reset();
  ports->out.reset();
  mDirectMidi = nullptr;
  delete ports;
  mMidiInIndex = mMidiOutIndex = 0;
}
