// Direct MIDI ports of IPluginBase: the user-chosen device ports, the only road to the synth.
//
// The port objects live in the platform layer (MidiPorts.h, on RtMidi over ALSA or JACK). This
// file keeps the framework's numbering (list entry 0 "Select MIDI Device", entry i = port i - 1
// as listed once), the reopening of stored names, the split of incoming messages into short
// messages and SysEx, and the byte layout of everything sent.
//
// Threads: the list and open calls, and CloseDirectMidiPorts, run on the main thread (the
// constructor, the parameter-change handler, state restore), often under the plug-in lock, so
// they never wait for the input dispatch thread. processMIDIInput runs on that dispatch thread,
// never on the MIDI system's own. The SendDirect* calls come from any thread.
#include "IPluginBase.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

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

// The first call of a list operation: reads the list once.
template <class Port, class Make>
void listOnce(std::vector<std::string>& names, int& selected, std::unique_ptr<Port>& port, Make make)
{
  if (!names.empty())
    return;
  selected = 0;
  names = listPorts(port, make);
}

// A new reading of the list: the open port (selected) moves to its new position; one that is no
// longer listed (unplugged, its program ended, its JACK server stopped) keeps an entry at the end,
// so that selected still names what the user chose until they choose again. A port that was lost
// (MidiInputPort::lost), or asked for and never there (a stored port of a synth still off), and
// is listed again under its name is opened again here when reopenLost: this reading is for a menu
// about to open, so the user sees it back at once. A port asked for and not open has no entry.
template <class Port, class Make>
void relist(std::vector<std::string>& names, int& selected, std::unique_ptr<Port>& port, Make make,
            const char* ownName, bool reopenLost)
{
  std::string chosen = selected > 0 && selected < (int)names.size() ? names[selected] : std::string();
  const bool asked = chosen.empty() && port && port->lost();
  if (asked)
    chosen = port->portName();
  names = listPorts(port, make);
  selected = 0;
  if (chosen.empty())
    return;
  for (size_t i = 1; i < names.size() && !selected; ++i)
    if (names[i] == chosen)
      selected = (int)i;
  if (!selected && !asked)
  {
    names.push_back(chosen);
    selected = (int)names.size() - 1;
  }
  else if (selected && reopenLost && port->lost() && !port->open(chosen, ownName))
    fprintf(stderr, "MIDI PORTS: \"%s\" is listed again but could not be opened\n", chosen.c_str());
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
// says so, and the next listing that finds it opens it, see relist), or, come since the list was
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
// thread).
struct IPluginBase::DirectMidiPorts
{
  std::unique_ptr<MidiInputPort> in;
  std::unique_ptr<MidiOutputPort> out;
  std::unique_ptr<MidiOutputPort> virtualOut;  // initializeVirtualOutput's own port, if any
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
  listOnce(mMidiInNames, mMidiInIndex, ports->in, [this](MidiInputPort& in) { return makeInput(in); });
  return mMidiInNames;
}

std::vector<std::string>& IPluginBase::getExternalMIDIOutNames()
{
  DirectMidiPorts* ports = ensurePorts(mDirectMidi);
  listOnce(mMidiOutNames, mMidiOutIndex, ports->out, makeOutput);
  return mMidiOutNames;
}

std::vector<std::string>& IPluginBase::rescanExternalMIDIInNames(bool reopenLost)
{
  DirectMidiPorts* ports = ensurePorts(mDirectMidi);
  relist(mMidiInNames, mMidiInIndex, ports->in, [this](MidiInputPort& in) { return makeInput(in); }, kInputPortName,
         reopenLost);
  return mMidiInNames;
}

std::vector<std::string>& IPluginBase::rescanExternalMIDIOutNames(bool reopenLost)
{
  DirectMidiPorts* ports = ensurePorts(mDirectMidi);
  relist(mMidiOutNames, mMidiOutIndex, ports->out, makeOutput, kOutputPortName, reopenLost);
  return mMidiOutNames;
}

bool IPluginBase::MIDISystemReachable(bool input) const
{
  if (!mDirectMidi)
    return false;
  return input ? mDirectMidi->in && mDirectMidi->in->exists() : mDirectMidi->out && mDirectMidi->out->exists();
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
  return openListed(mDirectMidi ? mDirectMidi->out.get() : nullptr, mMidiOutNames, mMidiOutIndex, index, name,
                    kOutputPortName, "output");
}

int IPluginBase::setExternalMIDIIn(int& index, const char* name)
{
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
  return portNumber(mDirectMidi->in.get(), name, kVirtualInputName);
}

int IPluginBase::GetMIDIOutPortNumber(const char* name)
{
  getExternalMIDIOutNames();
  return portNumber(mDirectMidi->out.get(), name, kVirtualOutputName);
}

void IPluginBase::StartDirectMidiInput()
{
  mDirectMidiInputHeld = false;
  if (mDirectMidi && mDirectMidi->in)
    mDirectMidi->in->startDelivery();
}

void IPluginBase::MIDICallback(double deltaTime, std::vector<unsigned char>* message, void* userData)
{
  if (userData)
    static_cast<IPluginBase*>(userData)->processMIDIInput(deltaTime, message, userData);
}

// Input dispatch thread (see MidiInputDispatch.h for why not the MIDI system's thread); takes no
// lock itself. The handlers may sleep and take the plug-in lock; input queues up meanwhile.
void IPluginBase::processMIDIInput(double, std::vector<unsigned char>* message, void* userData)
{
  IPluginBase* plug = static_cast<IPluginBase*>(userData);
  if (!plug || !message || message->empty())
    return;
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
  DirectMidiPorts* ports = mDirectMidi;
  if (!ports)
    return;
  ports->in.reset();
  ports->out.reset();
  mDirectMidi = nullptr;
  delete ports;
  mMidiInIndex = mMidiOutIndex = 0;
}
