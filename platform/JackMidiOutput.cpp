#include "JackMidiOutput.h"

#include "MidiBackend.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <time.h>

#include <cstdio>
#include <cstring>

namespace {

// What precedes each message's bytes in the queue. The frame is JACK's frame counter, which
// wraps at 2^32: compare frames only through a signed difference.
struct Header
{
  uint32_t frame;  // timed queue only
  uint32_t generation;
  uint32_t size;
};

// Takes the front message of q when it is whole: into the port buffer at offset, when it fits
// there, or dropped (drop true, or stale generation). Answers false, leaving it queued, when the
// buffer is full; a message too big even for an empty buffer is dropped (it can never go out).
enum class Take { kWritten, kDropped, kFull };
Take takeFront(jack_ringbuffer_t* q, const Header& h, void* buffer, uint32_t offset, bool drop, bool bufferEmpty)
{
  if (!drop)
  {
    if (jack_midi_data_t* room = jack_midi_event_reserve(buffer, offset, h.size))
    {
      jack_ringbuffer_read_advance(q, sizeof h);
      jack_ringbuffer_read(q, reinterpret_cast<char*>(room), h.size);
      return Take::kWritten;
    }
    if (!bufferEmpty)
      return Take::kFull;
  }
  jack_ringbuffer_read_advance(q, sizeof h + h.size);
  return Take::kDropped;
}

// The front header of q when its whole message is there.
bool peekWhole(jack_ringbuffer_t* q, Header* h)
{
  return jack_ringbuffer_peek(q, reinterpret_cast<char*>(h), sizeof *h) == sizeof *h &&
         jack_ringbuffer_read_space(q) >= sizeof *h + h->size;
}

int64_t monotonicNs()
{
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

void sleepMs(int ms)
{
  timespec ts{0, ms * 1000000L};
  nanosleep(&ts, nullptr);
}

}  // namespace

JackMidiOutput::~JackMidiOutput()
{
  if (mClient)
  {
    // Deactivating ends the process callbacks before the queue goes.
    jack_deactivate(mClient);
    jack_client_close(mClient);
  }
  if (mNow)
    jack_ringbuffer_free(mNow);
  if (mTimed)
    jack_ringbuffer_free(mTimed);
}

bool JackMidiOutput::create(const std::string& clientName)
{
  if (mClient)
    return true;
  if (!mNow)
    mNow = jack_ringbuffer_create(kQueueBytes);
  if (!mTimed)
    mTimed = jack_ringbuffer_create(kQueueBytes);
  if (!mNow || !mTimed)
    return false;
  jack_status_t status;
  mClient = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
  if (!mClient)
  {
    fprintf(stderr, "MIDI PORTS: creating the JACK output failed: no server (status 0x%x)\n", (unsigned)status);
    return false;
  }
  jack_set_process_callback(mClient, &JackMidiOutput::process, this);
  jack_on_shutdown(mClient, &JackMidiOutput::shutdown, this);
  if (jack_activate(mClient) != 0)
  {
    fprintf(stderr, "MIDI PORTS: creating the JACK output failed: the client could not be activated\n");
    jack_client_close(mClient);
    mClient = nullptr;
    return false;
  }
  return true;
}

std::vector<std::string> JackMidiOutput::listPortNames()
{
  std::vector<std::string> names;
  if (!mClient || mServerGone.load())
    return names;
  const char** ports = jack_get_ports(mClient, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
  for (const char** p = ports; p && *p; ++p)
    names.push_back(*p);
  jack_free(ports);
  return names;
}

bool JackMidiOutput::registerPort(const char* ownName)
{
  jack_port_t* port = jack_port_register(mClient, ownName, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  if (!port)
  {
    fprintf(stderr, "MIDI PORTS: opening the output failed: JACK refused the port \"%s\"\n", ownName);
    return false;
  }
  mPort.store(port, std::memory_order_release);
  return true;
}

bool JackMidiOutput::open(const std::string& portName, const char* ownName)
{
  close();
  if (!mClient || !ownName || mServerGone.load())
    return false;
  // Looked up afresh: ports come and go, and ALSA-bridged names change their numbers.
  const std::vector<std::string> names = listPortNames();
  const int found = MidiFindPortName(names, portName);
  if (found < 0)
  {
    fprintf(stderr, "MIDI PORTS: opening the output: no port named \"%s\"\n", portName.c_str());
    return false;
  }
  const std::string& target = names[(size_t)found];
  if (!registerPort(ownName))
    return false;
  jack_port_t* port = mPort.load(std::memory_order_relaxed);
  if (jack_connect(mClient, jack_port_name(port), target.c_str()) != 0)
  {
    fprintf(stderr, "MIDI PORTS: opening the output failed: could not connect to \"%s\"\n", target.c_str());
    close();
    return false;
  }
  return true;
}

bool JackMidiOutput::openVirtual(const char* ownName)
{
  close();
  if (!mClient || !ownName || mServerGone.load())
    return false;
  return registerPort(ownName);
}

void JackMidiOutput::releasePort()
{
  // The process callback announces itself (mInCycle) before it reads mPort, and this side takes
  // the pointer away before it looks at mInCycle; both sequentially consistent, so a callback
  // either sees null or is seen here and waited for. The callback never blocks, so neither
  // does the wait for long.
  jack_port_t* port = mPort.exchange(nullptr);
  if (!port)
    return;
  while (mInCycle.load())
    sleepMs(1);
  if (!mServerGone.load())
    jack_port_unregister(mClient, port);
}

void JackMidiOutput::close()
{
  mGeneration.fetch_add(1, std::memory_order_acq_rel);
  if (mClient)
    releasePort();
}

bool JackMidiOutput::enqueue(jack_ringbuffer_t* queue, const unsigned char* bytes, size_t size, uint32_t frame)
{
  if (!mClient || !bytes || !size || size > kQueueBytes || mServerGone.load() ||
      !mPort.load(std::memory_order_acquire))
    return false;
  Header h;
  h.frame = frame;
  h.generation = mGeneration.load(std::memory_order_acquire);
  h.size = (uint32_t)size;
  if (jack_ringbuffer_write_space(queue) < sizeof h + size)
    return false;
  // Header and bytes as two writes: the callback takes a message only once all of it is there.
  jack_ringbuffer_write(queue, reinterpret_cast<const char*>(&h), sizeof h);
  jack_ringbuffer_write(queue, reinterpret_cast<const char*>(bytes), size);
  return true;
}

bool JackMidiOutput::send(const unsigned char* bytes, size_t size)
{
  return enqueue(mNow, bytes, size, 0);
}

bool JackMidiOutput::sendAt(const unsigned char* bytes, size_t size, int64_t atNs)
{
  if (!mClient || mServerGone.load())
    return false;
  // The frame that atNs was, by the server's estimate of the frame now.
  const int64_t now = monotonicNs();
  const int64_t lateNs = atNs < now ? now - atNs : 0;
  const jack_nframes_t rate = jack_get_sample_rate(mClient);
  const jack_nframes_t period = jack_get_buffer_size(mClient);
  const int64_t lateFrames = lateNs / 1000 * (int64_t)rate / 1000000;
  const uint32_t frame = (uint32_t)((int64_t)jack_frame_time(mClient) - lateFrames + kTimedLatencyPeriods * period);
  return enqueue(mTimed, bytes, size, frame);
}

int JackMidiOutput::process(uint32_t nframes, void* arg)
{
  JackMidiOutput* self = static_cast<JackMidiOutput*>(arg);
  self->mInCycle.store(true);  // before mPort is read: see releasePort
  jack_port_t* port = self->mPort.load();
  void* buffer = port ? jack_port_get_buffer(port, nframes) : nullptr;
  if (buffer)
    jack_midi_clear_buffer(buffer);
  const uint32_t generation = self->mGeneration.load(std::memory_order_acquire);
  // Queued before the last close, or no port: dropped.
  auto stale = [&](const Header& h) { return !buffer || h.generation != generation; };
  bool empty = true;
  Header h;

  // At once, at frame 0, in order.
  while (peekWhole(self->mNow, &h))
  {
    const Take t = takeFront(self->mNow, h, buffer, 0, stale(h), empty);
    if (t == Take::kFull)
      break;
    empty = empty && t != Take::kWritten;
  }

  // Timed: at their frame; late ones first thing; none before the one written ahead of it.
  const jack_nframes_t cycleStart = jack_last_frame_time(self->mClient);
  uint32_t lastOffset = 0;
  while (peekWhole(self->mTimed, &h))
  {
    const int32_t due = (int32_t)(h.frame - cycleStart);  // the frame counter wraps: differences only
    if (!stale(h) && due >= (int32_t)nframes)
      break;  // for a later cycle, and so is everything behind it
    uint32_t offset = due > 0 ? (uint32_t)due : 0;
    if (offset < lastOffset)
      offset = lastOffset;
    const Take t = takeFront(self->mTimed, h, buffer, offset, stale(h), empty);
    if (t == Take::kFull)
      break;
    if (t == Take::kWritten)
    {
      lastOffset = offset;
      empty = false;
    }
  }
  self->mInCycle.store(false);
  return 0;
}

void JackMidiOutput::shutdown(void* arg)
{
  JackMidiOutput* self = static_cast<JackMidiOutput*>(arg);
  self->mServerGone.store(true);
  self->mPort.store(nullptr, std::memory_order_release);
}
