#include "MidiPorts.h"

#include "AlsaTimedOutput.h"
#include "JackMidiClient.h"
#include "JackMidiInput.h"
#include "JackMidiOutput.h"

#include <RtMidi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

// JACK names a client's notification socket after the client alone (/dev/shm/jack_<client>_...),
// not after its server, so two processes that open clients of the same name on two different
// servers at the same moment steal each other's socket. Only test suites run several servers
// side by side; they set SORVANTA_MIDI_CLIENT_SUFFIX to something unique per process. Unset, the
// client names are exactly those given.
std::string clientName(const char* base)
{
  const char* suffix = getenv("SORVANTA_MIDI_CLIENT_SUFFIX");
  if (!suffix || !*suffix)
    return base;
  return std::string(base) + " " + suffix;
}

RtMidi::Api rtApi(MidiSystem system)
{
  switch (system)
  {
    case kMidiSystemAlsa: return RtMidi::LINUX_ALSA;
    case kMidiSystemJack: return RtMidi::UNIX_JACK;
    default: return RtMidi::UNSPECIFIED;
  }
}

// RtMidi has already written its message to standard error when it throws; we add which of our
// operations gave up, so the log says what the user will miss.
void reportError(const char* where, const RtMidiError& e)
{
  fprintf(stderr, "MIDI PORTS: %s failed: %s\n", where, e.getMessage().c_str());
}

// Runs fn, catching RtMidi's errors at the call: false (reported) when it threw.
template <class Fn>
bool guarded(const char* where, Fn fn)
{
  try
  {
    fn();
    return true;
  }
  catch (const RtMidiError& e)
  {
    reportError(where, e);
    return false;
  }
}

// A new RtMidiIn or RtMidiOut on the MIDI system chosen for this process; null (reported) when
// there is none or the library refused.
template <class RtObject, class... Extra>
RtObject* makeObject(const char* where, const char* name, Extra... extra)
{
  const MidiSystem system = MidiChooseSystem();
  if (system == kMidiSystemNone)
  {
    fprintf(stderr, "MIDI PORTS: %s: no MIDI system (ALSA or JACK) in RtMidi\n", where);
    return nullptr;
  }
  RtObject* object = nullptr;
  guarded(where, [&] { object = new RtObject(rtApi(system), clientName(name), extra...); });
  return object;
}

// A failing name request repeats the previous name, so that entry i always stands for port i.
template <class RtObject>
std::vector<std::string> listNames(RtObject* object, const char* where)
{
  std::vector<std::string> names;
  if (!object)
    return names;
  unsigned count = 0;
  if (!guarded(where, [&] { count = object->getPortCount(); }))
    return names;
  std::string last;
  for (unsigned i = 0; i < count; ++i)
  {
    guarded(where, [&] { last = object->getPortName(i); });
    names.push_back(last);
  }
  return names;
}

// Finds portName among the ports the system lists now (the caller's list may be stale: ports
// come and go and are renumbered) and connects to it. Closes any port first. True only when a
// port is open afterwards.
template <class RtObject>
bool openByName(RtObject* object, const std::string& portName, const char* ownName, const char* where)
{
  guarded(where, [&] {
    if (object->isPortOpen())
      object->closePort();
  });
  const std::vector<std::string> names = listNames(object, where);
  const int found = MidiFindPortName(names, portName);
  if (found < 0)
  {
    fprintf(stderr, "MIDI PORTS: %s: no port named \"%s\"\n", where, portName.c_str());
    return false;
  }
  return guarded(where, [&] { object->openPort((unsigned)found, ownName); }) && object->isPortOpen();
}

// Notes that a lost port's synth went away while its MIDI system ran (set by a listing of the
// port's own): not listed any more, or, on JACK, registered anew since ours was opened. Not once
// its JACK server went away under it (withServer): a synth whose port went and came back with a
// server restart is one that stayed. Cleared by an open and a close.
void notePeer(std::atomic<bool>& left, bool lost, bool withServer, const std::vector<std::string>& names,
              const std::string& name, bool registeredAgain)
{
  if (lost && !withServer && !name.empty() && (registeredAgain || MidiFindPortName(names, name) < 0))
    left = true;
}

}  // namespace

unsigned MidiPortNotices()
{
  return jackmidi::noticesSeen();
}

unsigned MidiPortServerEnds()
{
  return jackmidi::serverEndsHeard();
}

unsigned MidiPortLateCycles()
{
  return jackmidi::lateCyclesHeard();
}

bool MidiPortOpenHung()
{
  return jackmidi::openHung();
}

const char* MidiPortOpenHungText()
{
  return "JACK server not answering!";
}

const char* MidiPortOpenHungDetail()
{
  return "No MIDI port opens until it does";
}

void MidiPortName::set(const std::string& name)
{
  std::lock_guard<std::mutex> lock(mMutex);
  mName = name;
}

std::string MidiPortName::get() const
{
  std::lock_guard<std::mutex> lock(mMutex);
  return mName;
}

bool MidiPortName::mayReopen(bool lost, const std::vector<std::string>& names, bool peerBack) const
{
  // Under its full name only: on ALSA with numbers and client (a unit unplugged comes back under
  // its own), never another unit of the same name whose numbers differ.
  return lost && !mName.empty() && std::find(names.begin(), names.end(), mName) != names.end() && peerBack;
}

// ---------------------------------------------------------------------------------------------
// MidiInputPort

MidiInputPort::MidiInputPort() = default;

MidiInputPort::~MidiInputPort()
{
  mOpen.store(false, std::memory_order_release);
  mDispatch.stop();
  // Deleting the object closes the MIDI system's client, which ends its callbacks; the callbacks
  // only touch mOpen and mDispatch, both still alive here.
  delete mIn;
  mIn = nullptr;
  mJack.reset();
}

void MidiInputPort::rtCallback(double deltaTime, std::vector<unsigned char>* message, void* userData)
{
  // MIDI system thread: copy and return, nothing else.
  if (message && !message->empty())
    jackCallback(deltaTime, message->data(), message->size(), userData);
}

void MidiInputPort::jackCallback(double deltaTime, const unsigned char* bytes, size_t size, void* userData)
{
  // MIDI system thread (inside the JACK process cycle): copy and return, nothing else.
  MidiInputPort* self = static_cast<MidiInputPort*>(userData);
  if (!self || !bytes || !size || !self->mOpen.load(std::memory_order_acquire))
    return;
  self->mDispatch.push(deltaTime, bytes, size);
}

bool MidiInputPort::create(const char* name, unsigned queueLimit,
                           MidiInputDispatch::Handler handler, void* userData,
                           MidiInputDispatch::RefreshTest refresh)
{
  mRefresh = refresh;
  if (exists())
    return true;
  if (MidiChooseSystem() == kMidiSystemJack)
  {
    mClientName = clientName(name);
    replaceDeadClient();
    if (!mJack)
      return false;
    mHandler = handler;
    mUserData = userData;
    return true;
  }
  mIn = makeObject<RtMidiIn>("creating the input", name, queueLimit);
  if (!mIn)
    return false;
  // A failure here leaves a port that lists but delivers less; the listing goes on.
  guarded("registering the input callback", [&] { mIn->setCallback(&MidiInputPort::rtCallback, this); });
  guarded("setting the ignored input types", [&] { mIn->ignoreTypes(false, true, true); });
  mHandler = handler;
  mUserData = userData;
  return true;
}

void MidiInputPort::startDelivery()
{
  if (exists())
    mDispatch.start(mHandler, mUserData, mRefresh);
}

void MidiInputPort::replaceDeadClient()
{
  // A JACK server that went away (a restart, say for a new buffer size) took our client with it:
  // a new one opens on the server running now, once there is one (the next listing tries again).
  // The port open on the dead one is lost, by the server's end rather than the synth's leaving.
  if (mJack && mJack->serverGone())
  {
    if (mOpen.load() || mLost.load())
      mLostWithServer = true;
    mPeerLeft = false;  // the synth's port went with its server, whatever it did before
    if (mOpen.load())
      mLost.store(true);
    mOpen.store(false, std::memory_order_release);
    mDispatch.discard();
    mJack.reset();  // at once: its client is closed once libjack is done with it
  }
  if (!mJack && !mClientName.empty())
  {
    // MIDI timing and active sensing are dropped in the callback; SysEx is kept.
    std::unique_ptr<JackMidiInput> jack(new JackMidiInput);
    if (jack->create(mClientName, &MidiInputPort::jackCallback, this, true, &mLost))
      mJack = std::move(jack);
  }
}

std::vector<std::string> MidiInputPort::listPortNames()
{
  replaceDeadClient();
  std::vector<std::string> names = mJack ? mJack->listPortNames() : listNames(mIn, "listing the inputs");
  if (mOpen.load() && MidiFindPortName(names, mPortName.owned()) < 0)
    mLost.store(true);
  notePeer(mPeerLeft, mLost.load(), mLostWithServer, names, mPortName.owned(), mJack && mJack->peerCameBack());
  return names;
}

bool MidiInputPort::open(const std::string& portName, const char* ownName)
{
  // A port chosen again after a JACK restart is opened on the server running now.
  replaceDeadClient();
  auto fail = [&] {
    close();
    mPortName.set(portName);
    mLost.store(!portName.empty());
    return false;
  };
  if (!exists())
    return fail();
  close();
  // Open before connecting so that the first message after the connection is kept; counted
  // before the port carries, so that a look in between never takes it for one a patchbay
  // connected again.
  mOpen.store(true, std::memory_order_release);
  ++mOpens;
  const bool ok = mJack ? mJack->open(portName, ownName)
                        : openByName(mIn, portName, ownName, "opening the input") &&
                              // Some back ends reset the filter when a port opens.
                              guarded("setting the ignored input types", [&] { mIn->ignoreTypes(false, true, true); });
  if (!ok)
  {
    --mOpens;
    return fail();
  }
  mPortName.set(portName);
  mLost.store(false);
  mPeerLeft = mLostWithServer = false;
  return true;
}

jack_client_t* MidiInputPort::jackClient() const
{
  return mJack ? mJack->client() : nullptr;
}

bool MidiInputPort::mayReopen(const std::vector<std::string>& names) const
{
  return mPortName.mayReopen(lost(), names, !mJack || mJack->peerRegisteredAgain());
}

void MidiInputPort::close()
{
  mOpen.store(false, std::memory_order_release);
  mLost.store(false);
  mPeerLeft = mLostWithServer = false;
  mPortName.set(std::string());
  if (mJack)
    mJack->close();
  if (mIn)
    guarded("closing the input", [&] { mIn->closePort(); });
  mDispatch.discard();
}

// ---------------------------------------------------------------------------------------------
// MidiOutputPort

MidiOutputPort::MidiOutputPort() = default;

namespace {
// A few JACK periods even at large buffer sizes, and short enough for a port change or a close.
const std::chrono::milliseconds kDrainMs(100);
}  // namespace

void MidiOutputPort::drainLocked()
{
  if ((!mOut && !mJack) || !mOpen.load(std::memory_order_relaxed) || mLastSend == std::chrono::steady_clock::time_point{})
    return;
  if (mJack)
  {
    mJack->drain();  // a starved client takes longer than any fixed wait
    return;
  }
  const auto until = mLastSend + kDrainMs;
  if (std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_until(until);
}

MidiOutputPort::~MidiOutputPort()
{
  std::lock_guard<std::mutex> lock(mMutex);
  std::lock_guard<std::mutex> sending(mSendMutex);
  drainLocked();
  mOpen.store(false, std::memory_order_release);
  mAlsaTimed.reset();
  delete mOut;
  mOut = nullptr;
  mJack.reset();
}

bool MidiOutputPort::create(const char* name)
{
  std::lock_guard<std::mutex> lock(mMutex);
  if (mOut || mJack)
    return true;
  mClientName = clientName(name);
  if (MidiChooseSystem() == kMidiSystemJack)
  {
    replaceDeadClientLocked();
    return mJack != nullptr;
  }
  RtMidiOut* out = makeObject<RtMidiOut>("creating the output", name);
  std::lock_guard<std::mutex> sending(mSendMutex);
  mOut = out;
  return mOut != nullptr;
}

bool MidiOutputPort::exists() const
{
  std::lock_guard<std::mutex> lock(mMutex);
  return mOut != nullptr || mJack != nullptr;
}

void MidiOutputPort::replaceDeadClientLocked()
{
  // As the input's (replaceDeadClient). The client changes hands under the send lock, so that no
  // send is using it; closing the dead one and opening the new one (round trips to a server that
  // may be slow to answer) are done outside it, and sends meanwhile find no open port.
  if (mJack && mJack->serverGone())
  {
    if (mOpen.load() || mLost.load())
      mLostWithServer = true;
    mPeerLeft = false;
    if (mOpen.load())
      mLost.store(true);
    std::unique_ptr<JackMidiOutput> dead;
    {
      std::lock_guard<std::mutex> sending(mSendMutex);
      mOpen.store(false, std::memory_order_release);
      dead = std::move(mJack);
    }
  }
  if (!mJack && !mOut && !mClientName.empty())
  {
    std::unique_ptr<JackMidiOutput> jack(new JackMidiOutput);
    if (jack->create(mClientName, &mLost))
    {
      std::lock_guard<std::mutex> sending(mSendMutex);
      mJack = std::move(jack);
    }
  }
}

std::vector<std::string> MidiOutputPort::listPortNames()
{
  std::lock_guard<std::mutex> lock(mMutex);
  replaceDeadClientLocked();
  // JACK's listing reads the server's port list beside any send; RtMidi's object takes one caller
  // at a time.
  std::vector<std::string> names;
  if (mJack)
    names = mJack->listPortNames();
  else
  {
    std::lock_guard<std::mutex> sending(mSendMutex);
    names = listNames(mOut, "listing the outputs");
  }
  if (mOpen.load() && !mPortName.owned().empty() && MidiFindPortName(names, mPortName.owned()) < 0)
    mLost.store(true);
  notePeer(mPeerLeft, mLost.load(), mLostWithServer, names, mPortName.owned(), mJack && mJack->peerCameBack());
  return names;
}

bool MidiOutputPort::open(const std::string& portName, const char* ownName)
{
  std::lock_guard<std::mutex> lock(mMutex);
  replaceDeadClientLocked();
  // A port change: sends wait for the new port.
  std::lock_guard<std::mutex> sending(mSendMutex);
  drainLocked();
  mOpen.store(false, std::memory_order_release);
  mAlsaTimed.reset();
  bool ok = false;
  if (mJack)
    ok = mJack->open(portName, ownName);
  else if (mOut)
    ok = openByName(mOut, portName, ownName, "opening the output");
  // The scheduling client is made at the first timed message (see sendAt).
  mTimedPortName = ok && mOut ? portName : std::string();
  mTimedOwnName = ownName ? ownName : "";
  mPortName.set(portName);
  mLost.store(!ok && !portName.empty());
  if (ok)
    mPeerLeft = mLostWithServer = false;
  mOpens += ok ? 1 : 0;  // before it carries: see MidiInputPort::open
  mOpen.store(ok, std::memory_order_release);
  return ok;
}

jack_client_t* MidiOutputPort::jackClient() const
{
  std::lock_guard<std::mutex> lock(mMutex);
  return mJack ? mJack->client() : nullptr;
}

bool MidiOutputPort::mayReopen(const std::vector<std::string>& names) const
{
  std::lock_guard<std::mutex> lock(mMutex);
  return mPortName.mayReopen(lost(), names, !mJack || mJack->peerRegisteredAgain());
}

bool MidiOutputPort::openVirtual(const char* ownName)
{
  std::lock_guard<std::mutex> lock(mMutex);
  std::lock_guard<std::mutex> sending(mSendMutex);
  mOpen.store(false, std::memory_order_release);
  mPortName.set(std::string());
  mLost.store(false);
  mAlsaTimed.reset();
  mTimedPortName.clear();
  if (mJack)
  {
    const bool ok = mJack->openVirtual(ownName);
    mOpen.store(ok, std::memory_order_release);
    return ok;
  }
  if (!mOut || !ownName)
    return false;
  const bool ok = guarded("opening a virtual output", [&] {
    if (mOut->isPortOpen())
      mOut->closePort();
    mOut->openVirtualPort(ownName);
  });  // RtMidi's isPortOpen() stays false for a virtual port: no throw is the only success signal
  mOpen.store(ok, std::memory_order_release);
  return ok;
}

void MidiOutputPort::close()
{
  std::lock_guard<std::mutex> lock(mMutex);
  std::lock_guard<std::mutex> sending(mSendMutex);
  drainLocked();
  mOpen.store(false, std::memory_order_release);
  mLost.store(false);
  mPeerLeft = mLostWithServer = false;
  mPortName.set(std::string());
  mAlsaTimed.reset();
  mTimedPortName.clear();
  if (mJack)
    mJack->close();
  if (mOut)
    guarded("closing the output", [&] { mOut->closePort(); });
}

bool MidiOutputPort::send(const unsigned char* bytes, size_t size)
{
  return sendAt(bytes, size, kSendNow);
}

bool MidiOutputPort::sendAt(const unsigned char* bytes, size_t size, int64_t atNs)
{
  if (!bytes || !size)
    return false;
  std::lock_guard<std::mutex> lock(mSendMutex);
  if (!mOpen.load(std::memory_order_relaxed))
    return false;
  mLastSend = std::chrono::steady_clock::now();
  if (mJack)
    return atNs == kSendNow ? mJack->send(bytes, size) : mJack->sendAt(bytes, size, atNs);
  if (!mOut)
    return false;
  if (atNs != kSendNow && !mAlsaTimed && !mTimedPortName.empty())
  {
    // Made only once timed messages flow (the MIDI clock is on): its queue timer runs for as long
    // as it exists. One try per opened port; without it timed messages go out at once.
    mAlsaTimed.reset(new AlsaTimedOutput);
    if (!mAlsaTimed->open(mClientName + " clock", mTimedPortName, mTimedOwnName.c_str()))
      mAlsaTimed.reset();
    mTimedPortName.clear();
  }
  if (atNs != kSendNow && mAlsaTimed && mAlsaTimed->sendAt(bytes, size, atNs))
    return true;
  return guarded("sending", [&] { mOut->sendMessage(bytes, size); });
}
