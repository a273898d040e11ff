#include "JackMidiInput.h"

#include "JackMidiClient.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <cstdio>
#include <cstring>

JackMidiInput::~JackMidiInput()
{
  jackmidi::Client::release(mClient);  // no callback reaches this object after it
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
  mClient = jackmidi::Client::open(clientName, this, &mWatch, "input");
  return mClient != nullptr;
}

std::vector<std::string> JackMidiInput::listPortNames()
{
  if (!mClient)
    return {};
  return jackmidi::listPorts(*mClient, JackPortIsOutput);
}

bool JackMidiInput::open(const std::string& portName, const char* ownName)
{
  close();
  jackmidi::ClientCall call(mClient);
  if (!ownName || !call)
    return false;
  if (!jackmidi::openPort(*mClient, portName, ownName, JackPortIsInput, "input", mPort, mPeer))
    return false;
  // Open once the connection carries: the synth gone before then is noticed as lost too, and the
  // answer to what the editor sends next is not missed. A client JACK runs later than a second (a
  // busy machine) carries as soon as it runs.
  mWatch.waitUntilCarrying(mPort.load(), *mClient);
  mLost->store(false);  // again: a notice about the port closed before may have come meanwhile
  mPeer.settle();
  return true;
}

bool JackMidiInput::openVirtual(const char* ownName)
{
  close();
  jackmidi::ClientCall call(mClient);
  if (!ownName || !call)
    return false;
  jack_port_t* port = jackmidi::registerPort(*mClient, ownName, JackPortIsInput, "input");
  mPort.store(port, std::memory_order_release);
  return port != nullptr;
}

void JackMidiInput::close()
{
  // The callback lets go of the port first; then the client is deactivated, which waits for a
  // running cycle and stops them all, while the port is unregistered, and activated again for the
  // next port. The next cycle forgets what it joined from this port.
  mPeer.forget();
  jack_port_t* port = mPort.exchange(nullptr);
  if (port)
    if (jackmidi::ClientCall call{mClient})
    {
      jack_deactivate(mClient->handle());
      jack_port_unregister(mClient->handle(), port);
      if (jack_activate(mClient->handle()) != 0)
        fprintf(stderr, "MIDI PORTS: closing the input: the JACK client could not be activated again\n");
    }
  mRestart.store(true);
  mLost->store(false);
}

void JackMidiInput::deliver(const unsigned char* bytes, size_t size, jack_nframes_t frame, jack_nframes_t rate)
{
  if (mDropTimingAndSensing && size == 1 && (bytes[0] == 0xF8 || bytes[0] == 0xFE))
    return;
  // Frame counters wrap at 2^32: the unsigned difference is right across the wrap.
  const double delta = mHaveLast && rate ? (double)(jack_nframes_t)(frame - mLastFrame) / rate : 0.0;
  mHaveLast = true;
  mLastFrame = frame;
  if (mReceiver)
    mReceiver(delta, bytes, size, mUserData);
}

void JackMidiInput::take(const unsigned char* bytes, size_t size, jack_nframes_t frame, jack_nframes_t rate)
{
  mJoiner.take(bytes, size, [&](const unsigned char* message, size_t n) { deliver(message, n, frame, rate); });
}

void JackMidiInput::cycle(jack_client_t* client, jack_nframes_t nframes)
{
  if (mRestart.exchange(false))
  {
    mJoiner.reset();
    mHaveLast = false;
  }
  jack_port_t* port = mPort.load();  // after the client's entry mark: see jackmidi::Client::quiesce
  mWatch.update(port, *mLost);
  void* buffer = port ? jack_port_get_buffer(port, nframes) : nullptr;
  if (!buffer)
    return;
  const jack_nframes_t cycleStart = jack_last_frame_time(client);
  const jack_nframes_t rate = jack_get_sample_rate(client);
  const uint32_t count = jack_midi_get_event_count(buffer);
  for (uint32_t i = 0; i < count; ++i)
  {
    jack_midi_event_t event;
    if (jack_midi_event_get(&event, buffer, i) == 0)
      take(event.buffer, event.size, cycleStart + event.time, rate);
  }
}

void JackMidiInput::serverEnded()
{
  if (mPort.exchange(nullptr))
    mLost->store(true);
}
