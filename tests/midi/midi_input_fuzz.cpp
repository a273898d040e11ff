// Fuzz target for the input path's own logic: the dispatch queue (messages of any size and
// count wrapping around a small ring, with drops) and the port-name matching (names come from
// the MIDI system and from stored settings). Every message the queue accepts must come out whole
// and in order; a refused one must be counted; one dropped later for room must be a refresh, or
// a channel message that made room for a SysEx message or a program change.
#include "MidiBackend.h"
#include "MidiInputDispatch.h"

#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Sink
{
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<std::vector<unsigned char>> got;
  bool hold = true;

  static void handle(double, std::vector<unsigned char>* m, void* self)
  {
    Sink* s = static_cast<Sink*>(self);
    std::unique_lock<std::mutex> lock(s->mutex);
    s->cv.wait(lock, [s] { return !s->hold; });
    s->got.push_back(*m);
    s->cv.notify_all();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 2)
    return 0;
  // Names: the input split at the first 0 byte into a stored name and a listed one.
  const std::string text(reinterpret_cast<const char*>(data), size);
  const size_t cut = text.find('\0');
  const std::string stored = text.substr(0, cut);
  const std::string listed = cut == std::string::npos ? std::string() : text.substr(cut + 1);
  const std::string bare = MidiPortNameWithoutNumbers(listed);
  if (bare.size() > listed.size() || listed.compare(0, bare.size(), bare) != 0)
    abort();
  const int found = MidiFindPortName({"Select MIDI Device", listed}, stored);
  if (found == 1 && stored != listed && MidiPortNameWithoutNumbers(stored) != bare)
    abort();

  // Queue: byte 0 sizes the ring (odd: messages of odd length are refreshes it may drop for
  // room), then each byte is the length of the next message. The handler waits till all are in.
  Sink sink;
  MidiInputDispatch dispatch(64 + (size_t)data[0] * 8);
  auto refresh = [](const unsigned char*, size_t n, void*) { return n % 2 == 1; };
  dispatch.start(&Sink::handle, &sink, data[0] % 2 ? +refresh : nullptr);
  std::vector<std::vector<unsigned char>> accepted;
  uint64_t refused = 0;
  // Every byte of message i is i: 0xF0 makes it a SysEx message, 0xC0-0xCF a program change;
  // one of them, accepted or not, may have made room by dropping older channel messages.
  auto kept = [](const std::vector<unsigned char>& m) { return m[0] == 0xF0 || (m[0] & 0xF0) == 0xC0; };
  bool keptKind = false;
  for (size_t i = 1; i < size; ++i)
  {
    std::vector<unsigned char> m(1 + data[i] * 3u, (unsigned char)i);
    keptKind = keptKind || kept(m);
    if (dispatch.push(0.0, m.data(), m.size()))
      accepted.push_back(m);
    else
      ++refused;
  }
  const uint64_t later = dispatch.droppedCount() - refused;
  if (later > 0 && data[0] % 2 == 0 && !keptKind)
    abort();
  {
    std::unique_lock<std::mutex> lock(sink.mutex);
    sink.hold = false;
    sink.cv.notify_all();
    sink.cv.wait(lock, [&] { return sink.got.size() >= accepted.size() - later; });
  }
  dispatch.stop();
  // What came out is what went in, in order, less refreshes only.
  size_t k = 0;
  for (const auto& m : accepted)
    if (k < sink.got.size() && sink.got[k] == m)
      ++k;
    else if (!(m.size() % 2 == 1 || (!kept(m) && keptKind)))
      abort();
  if (k != sink.got.size())
    abort();
  return 0;
}
