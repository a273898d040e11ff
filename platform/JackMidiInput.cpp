#include "JackMidiInput.h"

#include "JackMidiClient.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <cstdio>
#include <cstring>

JackMidiInput::~JackMidiInput()
{
  if (mClient)
    jackmidi::closeClient(mClient, mLife, mInCycle);
}

bool JackMidiInput::create(const std::string& clientName, Receiver receiver, void* userData, bool dropTimingAndSensing,
                           std::atomic<bool>* lostFlag)
{
  if (mClient)
    return true;
  if (lostFlag)
    mLost = lostFlag;
  mReceiver = receiver;
  mUserData = userData;
  mDropTimingAndSensing = dropTimingAndSensing;
  if (!jackmidi::openClient(&mClient, clientName, &JackMidiInput::process, &JackMidiInput::shutdown, &mWatch, this,
                            "input", mLife))
    return false;
  mCycleWatch.start(mClient);
  return true;
}

bool JackMidiInput::stalled()
{
  jackmidi::ClientCall call(mLife);
  return mClient && call && mCycleWatch.stalled(mClient);
}

std::vector<std::string> JackMidiInput::listPortNames()
{
  if (!mClient)
    return {};
  return jackmidi::listPorts(mClient, mLife, JackPortIsOutput);
}

bool JackMidiInput::open(const std::string& portName, const char* ownName)
{
  close();
  jackmidi::ClientCall call(mLife);
  if (!mClient || !ownName || !call)
    return false;
  if (!jackmidi::openPort(mClient, portName, ownName, JackPortIsInput, "input", mPort, mInCycle, mLife, mPeer))
    return false;
  // Open once the connection carries: the synth gone before then is noticed as lost too. A
  // client that gets no cycles carries nothing (see JackMidiOutput::open).
  mWatch.waitUntilCarrying(mPort.load(), mLife);
  if (!mWatch.carries(mPort.load()) && !mCycleWatch.waitFor(mClient, mLife, 1) && mCycleWatch.stalled(mClient))
  {
    fprintf(stderr, "MIDI PORTS: opening the input: JACK runs no cycle of its client, so the port would carry nothing\n");
    close();  // its peer unknown again
    return false;
  }
  mLost->store(false);  // again: a notice about the port closed before may have come meanwhile
  mPeer.settle();
  return true;
}

bool JackMidiInput::openVirtual(const char* ownName)
{
  close();
  jackmidi::ClientCall call(mLife);
  if (!mClient || !ownName || !call)
    return false;
  jack_port_t* port = jackmidi::registerPort(mClient, ownName, JackPortIsInput, "input");
  mPort.store(port, std::memory_order_release);
  return port != nullptr;
}

void JackMidiInput::close()
{
  // The callback lets go of the port first; then the client is deactivated, which waits for a
  // running cycle and stops them all, while the port is unregistered, and activated again for the
  // next port. The next cycle forgets what it joined from this port.
  mPeer.forget();
  if (!mClient)
    return;
  jack_port_t* port = mPort.exchange(nullptr);
  jackmidi::ClientCall call(mLife);
  if (port && call)
  {
    jack_deactivate(mClient);
    jack_port_unregister(mClient, port);
    if (jack_activate(mClient) != 0)
      fprintf(stderr, "MIDI PORTS: closing the input: the JACK client could not be activated again\n");
    mCycleWatch.start(mClient);
  }
  mRestart.store(true);
  mLost->store(false);
}

void JackMidiInput::deliver(const unsigned char* bytes, size_t size, jack_nframes_t frame)
{
  if (mDropTimingAndSensing && size == 1 && (bytes[0] == 0xF8 || bytes[0] == 0xFE))
    return;
  const jack_nframes_t rate = jack_get_sample_rate(mClient);
  // Frame counters wrap at 2^32: the unsigned difference is right across the wrap.
  const double delta = mHaveLast && rate ? (double)(jack_nframes_t)(frame - mLastFrame) / rate : 0.0;
  mHaveLast = true;
  mLastFrame = frame;
  if (mReceiver)
    mReceiver(delta, bytes, size, mUserData);
}

void JackMidiInput::take(const unsigned char* bytes, size_t size, jack_nframes_t frame)
{
  mJoiner.take(bytes, size, [&](const unsigned char* message, size_t n) { deliver(message, n, frame); });
}

int JackMidiInput::process(uint32_t nframes, void* arg)
{
  jackmidi::CallbackGuard guard;  // first in, last out: see there
  JackMidiInput* self = static_cast<JackMidiInput*>(arg);
  self->mInCycle.store(true);  // before mPort is read: see jackmidi::releasePort
  if (self->mRestart.exchange(false))
  {
    self->mJoiner.reset();
    self->mHaveLast = false;
  }
  jack_port_t* port = self->mPort.load();
  self->mWatch.update(port, *self->mLost);
  void* buffer = port ? jack_port_get_buffer(port, nframes) : nullptr;
  if (buffer)
  {
    const jack_nframes_t cycleStart = jack_last_frame_time(self->mClient);
    const uint32_t count = jack_midi_get_event_count(buffer);
    for (uint32_t i = 0; i < count; ++i)
    {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, buffer, i) == 0)
        self->take(event.buffer, event.size, cycleStart + event.time);
    }
  }
  self->mCycleWatch.cycle(self->mClient);
  // The last access: once it is false the destructor may free this object (a dead server's).
  self->mInCycle.store(false);
  return 0;
}

void JackMidiInput::shutdown(void* arg)
{
  jackmidi::CallbackGuard guard;
  JackMidiInput* self = static_cast<JackMidiInput*>(arg);
  self->mLife.began();
  if (self->mPort.exchange(nullptr))
    self->mLost->store(true);
  // The last access: the owner may free the object once it is marked.
  self->mLife.ended();
}
