#include "JackMidiOutput.h"

#include "JackMidiClient.h"

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

}  // namespace

JackMidiOutput::~JackMidiOutput()
{
  jackmidi::Client::release(mClient);  // before the queues go: no callback reads them after it
  if (mNow)
    jack_ringbuffer_free(mNow);
  if (mTimed)
    jack_ringbuffer_free(mTimed);
}

bool JackMidiOutput::create(const std::string& clientName, std::atomic<bool>* lostFlag)
{
  if (mClient)
    return true;
  if (lostFlag)
    mLost = lostFlag;
  if (!mNow)
    mNow = jack_ringbuffer_create(kQueueBytes);
  if (!mTimed)
    mTimed = jack_ringbuffer_create(kQueueBytes);
  if (!mNow || !mTimed)
    return false;
  mClient = jackmidi::Client::open(clientName, this, &mWatch, "output");
  return mClient != nullptr;
}

std::vector<std::string> JackMidiOutput::listPortNames()
{
  if (!mClient)
    return {};
  return jackmidi::listPorts(*mClient, JackPortIsInput);
}

bool JackMidiOutput::open(const std::string& portName, const char* ownName)
{
  close();
  jackmidi::ClientCall call(mClient);
  if (!ownName || !call)
    return false;
  if (!jackmidi::openPort(*mClient, portName, ownName, JackPortIsOutput, "output", mPort, mPeer))
    return false;
  // JACK puts a new connection into effect at the start of a cycle, and what our port carries
  // before then is lost (the first request of the editor's handshake, on a busy machine). Two
  // whole cycles of ours after connecting, the connection carries. A client that JACK runs late
  // (a busy machine, the whole process stopped a while) sends what is queued once it runs.
  if (!mClient->waitForCycles(2) && !mClient->serverGone())  // the first may have begun before the connection
    fprintf(stderr, "MIDI PORTS: opening the output: JACK ran its client late (a busy machine?); what it sends "
                    "goes out once it runs\n");
  mLost->store(false);  // again: a notice about the port closed before may have come meanwhile
  mPeer.settle();
  return true;
}

bool JackMidiOutput::openVirtual(const char* ownName)
{
  close();
  jackmidi::ClientCall call(mClient);
  if (!ownName || !call)
    return false;
  jack_port_t* port = jackmidi::registerPort(*mClient, ownName, JackPortIsOutput, "output");
  mPort.store(port, std::memory_order_release);
  return port != nullptr;
}

void JackMidiOutput::close()
{
  mPeer.forget();
  mGeneration.fetch_add(1, std::memory_order_acq_rel);
  // Hazard: a reader connected to our port takes its buffer as our last cycle left it for as long
  // as the connection lasts, and JACK undoes it only some cycles after the port is unregistered.
  // Unregistered at once after a cycle that wrote (an opening's burst, then the port chosen
  // again), our port had that burst read a second time. So the callback empties the buffer in
  // two whole cycles (what is queued is stale now, see cycle) before the port goes.
  if (mClient)
  {
    if (mPort.load())
      mClient->waitForCycles(2);
    jackmidi::releasePort(*mClient, mPort);  // see cycle
  }
  mLost->store(false);
}

bool JackMidiOutput::drain()
{
  auto taken = [this] { return !jack_ringbuffer_read_space(mNow) && !jack_ringbuffer_read_space(mTimed); };
  if (!mClient || !mPort.load() || taken())
    return true;
  return mClient->waitUntil(taken) && mClient->waitForCycles(2);
}

bool JackMidiOutput::enqueue(jack_ringbuffer_t* queue, const unsigned char* bytes, size_t size, uint32_t frame)
{
  if (!mClient || !bytes || !size || size > kQueueBytes || !mPort.load(std::memory_order_acquire))
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
  jackmidi::ClientCall call(mClient);
  if (!call)
    return false;
  // The frame that atNs was, by this client's record of its cycles (see jackmidi::CycleClock).
  const int64_t now = monotonicNs();
  const jack_nframes_t period = jack_get_buffer_size(mClient->handle());
  const jack_nframes_t at = mCycles.known() ? mCycles.frameAt(atNs < now ? atNs : now) : jack_frame_time(mClient->handle());
  const uint32_t frame = at + kTimedLatencyPeriods * period;
  return enqueue(mTimed, bytes, size, frame);
}

void JackMidiOutput::cycle(jack_client_t* client, jack_nframes_t nframes)
{
  mCycles.observe(jack_last_frame_time(client), jack_get_sample_rate(client), monotonicNs());
  jack_port_t* port = mPort.load();  // after the client's entry mark: see jackmidi::Client::quiesce
  mWatch.update(port, *mLost);
  void* buffer = port ? jack_port_get_buffer(port, nframes) : nullptr;
  if (buffer)
    jack_midi_clear_buffer(buffer);
  const uint32_t generation = mGeneration.load(std::memory_order_acquire);
  // Queued before the last close, or no port: dropped.
  auto stale = [&](const Header& h) { return !buffer || h.generation != generation; };
  bool empty = true;
  Header h;

  // At once, at frame 0, in order.
  while (peekWhole(mNow, &h))
  {
    const Take t = takeFront(mNow, h, buffer, 0, stale(h), empty);
    if (t == Take::kFull)
      break;
    empty = empty && t != Take::kWritten;
  }

  // Timed: at their frame; late ones first thing; none before the one written ahead of it.
  const jack_nframes_t cycleStart = jack_last_frame_time(client);
  uint32_t lastOffset = 0;
  while (peekWhole(mTimed, &h))
  {
    const int32_t due = (int32_t)(h.frame - cycleStart);  // the frame counter wraps: differences only
    if (!stale(h) && due >= (int32_t)nframes)
      break;  // for a later cycle, and so is everything behind it
    uint32_t offset = due > 0 ? (uint32_t)due : 0;
    if (offset < lastOffset)
      offset = lastOffset;
    const Take t = takeFront(mTimed, h, buffer, offset, stale(h), empty);
    if (t == Take::kFull)
      break;
    if (t == Take::kWritten)
    {
      lastOffset = offset;
      empty = false;
    }
  }
}

void JackMidiOutput::serverEnded()
{
  if (mPort.exchange(nullptr))
    mLost->store(true);
}
