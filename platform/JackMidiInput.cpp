#include "JackMidiInput.h"

#include "MidiBackend.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <time.h>

#include <cstdio>
#include <cstring>

namespace {

void sleepMs(int ms)
{
  timespec ts{0, ms * 1000000L};
  nanosleep(&ts, nullptr);
}

}  // namespace

JackMidiInput::~JackMidiInput()
{
  if (mClient)
  {
    // Deactivating waits for a running cycle and ends the callbacks; only then do the port and
    // the client go.
    jack_deactivate(mClient);
    mPort.store(nullptr);
    jack_client_close(mClient);
  }
}

bool JackMidiInput::create(const std::string& clientName, Receiver receiver, void* userData, bool dropTimingAndSensing)
{
  if (mClient)
    return true;
  mReceiver = receiver;
  mUserData = userData;
  mDropTimingAndSensing = dropTimingAndSensing;
  mSysEx.assign(kMaxSysExBytes, 0);
  jack_status_t status;
  mClient = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
  if (!mClient)
  {
    fprintf(stderr, "MIDI PORTS: creating the JACK input failed: no server (status 0x%x)\n", (unsigned)status);
    return false;
  }
  jack_set_process_callback(mClient, &JackMidiInput::process, this);
  jack_on_shutdown(mClient, &JackMidiInput::shutdown, this);
  if (jack_activate(mClient) != 0)
  {
    fprintf(stderr, "MIDI PORTS: creating the JACK input failed: the client could not be activated\n");
    jack_client_close(mClient);
    mClient = nullptr;
    return false;
  }
  return true;
}

std::vector<std::string> JackMidiInput::listPortNames()
{
  std::vector<std::string> names;
  if (!mClient || mServerGone.load())
    return names;
  const char** ports = jack_get_ports(mClient, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput);
  for (const char** p = ports; p && *p; ++p)
    names.push_back(*p);
  jack_free(ports);
  return names;
}

bool JackMidiInput::registerPort(const char* ownName)
{
  jack_port_t* port = jack_port_register(mClient, ownName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  if (!port)
  {
    fprintf(stderr, "MIDI PORTS: opening the input failed: JACK refused the port \"%s\"\n", ownName);
    return false;
  }
  mPort.store(port, std::memory_order_release);
  return true;
}

bool JackMidiInput::open(const std::string& portName, const char* ownName)
{
  close();
  if (!mClient || !ownName || mServerGone.load())
    return false;
  // Looked up afresh: ports come and go, and ALSA-bridged names change their numbers.
  const std::vector<std::string> names = listPortNames();
  const int found = MidiFindPortName(names, portName);
  if (found < 0)
  {
    fprintf(stderr, "MIDI PORTS: opening the input: no port named \"%s\"\n", portName.c_str());
    return false;
  }
  const std::string& source = names[(size_t)found];
  if (!registerPort(ownName))
    return false;
  jack_port_t* port = mPort.load(std::memory_order_relaxed);
  if (jack_connect(mClient, source.c_str(), jack_port_name(port)) != 0)
  {
    fprintf(stderr, "MIDI PORTS: opening the input failed: could not connect \"%s\"\n", source.c_str());
    close();
    return false;
  }
  return true;
}

bool JackMidiInput::openVirtual(const char* ownName)
{
  close();
  if (!mClient || !ownName || mServerGone.load())
    return false;
  return registerPort(ownName);
}

void JackMidiInput::close()
{
  // The process callback announces itself (mInCycle) before it reads mPort, and this side takes
  // the pointer away before it looks at mInCycle; both sequentially consistent, so a callback
  // either sees null or is seen here and waited for. Only then is the port unregistered: no cycle
  // can still be reading its buffer. The callback never blocks, so the wait is short.
  jack_port_t* port = mPort.exchange(nullptr);
  if (!port)
    return;
  mRestart.store(true);
  while (mInCycle.load())
    sleepMs(1);
  if (!mServerGone.load())
    jack_port_unregister(mClient, port);
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
  if (!size)
    return;
  // A real-time byte may come between the pieces of a SysEx; it goes on its own.
  const bool realTime = size == 1 && bytes[0] >= 0xF8;
  if (realTime || (!mJoining && !(bytes[0] == 0xF0 && bytes[size - 1] != 0xF7)))
  {
    deliver(bytes, size, frame);
    return;
  }
  // A SysEx without its F7: everything that follows is joined to it until an event ends with F7.
  // The handlers split what a cut-off SysEx ran into at its next status byte.
  if (!mJoining)
  {
    mJoining = true;
    mSysExSize = 0;
    mSysExTooLong = false;
  }
  if (!mSysExTooLong && size <= mSysEx.size() - mSysExSize)
  {
    memcpy(mSysEx.data() + mSysExSize, bytes, size);
    mSysExSize += size;
  }
  else
    mSysExTooLong = true;
  if (bytes[size - 1] == 0xF7)
  {
    mJoining = false;
    if (!mSysExTooLong)
      deliver(mSysEx.data(), mSysExSize, frame);
  }
}

int JackMidiInput::process(uint32_t nframes, void* arg)
{
  JackMidiInput* self = static_cast<JackMidiInput*>(arg);
  self->mInCycle.store(true);  // before mPort is read: see close
  if (self->mRestart.exchange(false))
  {
    self->mJoining = false;
    self->mHaveLast = false;
  }
  jack_port_t* port = self->mPort.load();
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
  self->mInCycle.store(false);
  return 0;
}

void JackMidiInput::shutdown(void* arg)
{
  JackMidiInput* self = static_cast<JackMidiInput*>(arg);
  self->mServerGone.store(true);
  self->mPort.store(nullptr, std::memory_order_release);
}
