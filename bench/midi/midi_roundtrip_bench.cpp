// Round-trip latency and SysEx throughput of the direct MIDI ports over JACK.
//
// Path: our output port -> a peer that echoes everything from inside its JACK callback -> our
// input port -> the input dispatch thread (where the plug-in's handlers run). Timed from just
// before send() to the moment the dispatch thread hands the message over. The private server
// runs the dummy driver at 48 kHz with 256-frame periods, so each JACK cycle is 5.33 ms: a
// message waits for the next cycle to leave, and the echo for the cycle after.
//
// For scale: a MIDI cable carries 3125 bytes/s (31250 baud, 10 bits a byte).
#include "JackTestServer.h"
#include "MidiPorts.h"
#include "MidiTestPeer.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

const double kWireBytesPerSecond = 3125.0;
const double kCycleSeconds = 256.0 / 48000.0;

struct Arrivals
{
  std::mutex mutex;
  std::condition_variable cv;
  size_t count = 0;
  size_t bytes = 0;
  double last = 0.0;

  static void handle(double, std::vector<unsigned char>* m, void* self)
  {
    Arrivals* a = static_cast<Arrivals*>(self);
    const double t = MidiTestNow();
    std::lock_guard<std::mutex> lock(a->mutex);
    if (MidiTestPeer::isPrimer(*m))
      return;
    a->count++;
    a->bytes += m->size();
    a->last = t;
    a->cv.notify_all();
  }
  bool waitFor(size_t n, double seconds)
  {
    std::unique_lock<std::mutex> lock(mutex);
    return cv.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return count >= n; });
  }
  size_t arrived()
  {
    std::lock_guard<std::mutex> lock(mutex);
    return count;
  }
};

struct Stats
{
  double median, p99, max;
  size_t lost;
};

// Sends message n times, one at a time, and times each round trip. Ten losses in a row with
// nothing through end it: the path is broken, and every further message would wait out its
// second.
Stats roundTrips(MidiOutputPort& out, Arrivals& in, std::vector<unsigned char> message, int n)
{
  std::vector<double> ms;
  size_t lost = 0;
  for (int i = 0; i < n; ++i)
  {
    if (ms.empty() && lost >= 10)
    {
      lost += (size_t)(n - i);
      break;
    }
    const size_t before = in.arrived();
    if (message.size() > 3)
      message[5] = (unsigned char)(i & 0x7F);
    const double t0 = MidiTestNow();
    out.send(message.data(), message.size());
    if (!in.waitFor(before + 1, 1.0))
    {
      ++lost;
      continue;
    }
    std::lock_guard<std::mutex> lock(in.mutex);
    ms.push_back((in.last - t0) * 1000.0);
  }
  std::sort(ms.begin(), ms.end());
  Stats s = {0, 0, 0, lost};
  if (!ms.empty())
  {
    s.median = ms[ms.size() / 2];
    s.p99 = ms[std::min(ms.size() - 1, (size_t)(ms.size() * 0.99))];
    s.max = ms.back();
  }
  return s;
}

}  // namespace

int main()
{
  JackTestServer server;
  if (!server.start())
  {
    fprintf(stderr, "midi_roundtrip_bench: no JACK server\n");
    return 1;
  }
  MidiTestPeer peer("BenchPeer");
  if (!peer.ok())
    return 1;
  Arrivals arrivals;
  MidiOutputPort out;
  MidiInputPort in;
  if (!out.create("RtMidi Output Client") || !in.create("RtMidi Input Client", 100, &Arrivals::handle, &arrivals) ||
      !out.open(peer.inputPortName(), "RtMidi Output") || !in.open(peer.outputPortName(), "RtMidi Input"))
  {
    fprintf(stderr, "midi_roundtrip_bench: could not connect the ports\n");
    return 1;
  }
  // As a plug-in does once it is open: until then the input holds what arrives.
  in.startDelivery();
  // Wait until both connections carry.
  if (!peer.primeFrom([&](const std::vector<unsigned char>& b) { out.send(b.data(), b.size()); }))
    return 1;
  peer.setEcho(true);

  printf("JACK dummy driver, 48000 Hz, 256-frame cycles (%.2f ms); MIDI cable %.0f bytes/s\n",
         kCycleSeconds * 1000.0, kWireBytesPerSecond);

  const std::vector<unsigned char> cc = {0xB0, 0x10, 0x40};
  const Stats shortTrip = roundTrips(out, arrivals, cc, 400);
  printf("round trip, 3-byte message:   median %6.2f ms  p99 %6.2f ms  max %6.2f ms  lost %zu   "
         "(cable, both ways: %.2f ms; two JACK cycles: %.2f ms)\n",
         shortTrip.median, shortTrip.p99, shortTrip.max, shortTrip.lost, 2 * 3 / kWireBytesPerSecond * 1000.0,
         2 * kCycleSeconds * 1000.0);

  std::vector<unsigned char> dump(392);
  for (size_t i = 0; i < dump.size(); ++i)
    dump[i] = (unsigned char)(i & 0x7F);
  dump.front() = 0xF0;
  dump.back() = 0xF7;
  const Stats dumpTrip = roundTrips(out, arrivals, dump, 300);
  printf("round trip, 392-byte SysEx:   median %6.2f ms  p99 %6.2f ms  max %6.2f ms  lost %zu   "
         "(cable, both ways: %.1f ms)\n",
         dumpTrip.median, dumpTrip.p99, dumpTrip.max, dumpTrip.lost, 2 * 392 / kWireBytesPerSecond * 1000.0);

  // Throughput one way (plug-in -> peer), keeping at most 8 dumps (3 KB) in flight, as the device
  // engine paces itself: the JACK output refuses messages once its 64 KB queue is full.
  peer.setEcho(false);
  peer.clear();
  const int kDumps = 1500, kWindow = 8;
  const double t0 = MidiTestNow();
  int sent = 0;
  while (sent < kDumps)
  {
    if ((size_t)sent - peer.messageCount() < (size_t)kWindow)
    {
      out.send(dump.data(), dump.size());
      ++sent;
    }
    else
      MidiTestSleep(0.0002);
  }
  const bool all = peer.waitForMessages(kDumps, 5.0);
  const double seconds = MidiTestNow() - t0;
  const double rate = (double)peer.byteCount() / seconds;
  printf("SysEx throughput, 392-byte dumps, %d in flight: %.0f bytes/s (%zu of %d dumps%s) = %.0f x the "
         "MIDI cable's %.0f bytes/s\n",
         kWindow, rate, peer.messageCount(), kDumps, all ? "" : ", SOME LOST", rate / kWireBytesPerSecond,
         kWireBytesPerSecond);
  if (in.droppedCount())
    printf("input queue dropped %llu message(s)\n", (unsigned long long)in.droppedCount());
  return 0;
}
