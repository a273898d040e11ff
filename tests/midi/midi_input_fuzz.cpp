// Fuzz target for the input path's own logic: the dispatch queue (messages of any size and
// count wrapping around a small ring, with drops) and the port-name matching (names come from
// the MIDI system and from stored settings). Every message the queue accepts must come out whole
// and in order; a refused one must be counted.
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

  static void handle(double, std::vector<unsigned char>* m, void* self)
  {
    Sink* s = static_cast<Sink*>(self);
    std::lock_guard<std::mutex> lock(s->mutex);
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

  // Queue: byte 0 sizes the ring, then each byte is the length of the next message.
  Sink sink;
  MidiInputDispatch dispatch(64 + (size_t)data[0] * 8);
  std::vector<std::vector<unsigned char>> accepted;
  uint64_t refused = 0;
  for (size_t i = 1; i < size; ++i)
  {
    std::vector<unsigned char> m(1 + data[i] * 3u, (unsigned char)i);
    if (dispatch.push(0.0, m.data(), m.size()))
      accepted.push_back(m);
    else
      ++refused;
  }
  if (dispatch.droppedCount() != refused)
    abort();
  dispatch.start(&Sink::handle, &sink);
  {
    std::unique_lock<std::mutex> lock(sink.mutex);
    sink.cv.wait(lock, [&] { return sink.got.size() >= accepted.size(); });
  }
  dispatch.stop();
  if (sink.got != accepted)
    abort();
  return 0;
}
