// The direct input between JACK and the plug-in's handlers: MidiSysExJoiner (a SysEx split over
// events, cut off or too long, real-time bytes between its pieces), then processMIDIInput's split
// at F0. Byte 0 odd: the rest is raw events (a length byte, then its bytes); nothing may crash.
// Even: ops build whole messages (0 a channel message, 1 a SysEx of 4n data bytes cut where the
// input says with real-time bytes between the pieces, 2 a real-time byte); each must reach the
// handlers whole and in order, a joined SysEx too long for the joiner not at all; one without
// its F7 (op 1 with bit 6) alone, as it is, once the next message starts, taking nothing with it.
#include <algorithm>
#include <cstdlib>

#include "JackMidiInput.h"
#include "TestPlug.h"

namespace {
typedef std::vector<unsigned char> Bytes;
struct Recorder : TestPlug {
  void ProcessMidiMsg(IMidiMsg* m, bool) override { got.push_back({m->mStatus, m->mData1, m->mData2}); }
  void ProcessSysEx(ISysEx* s, bool) override { got.push_back(Bytes(s->mData, s->mData + s->mSize)); }
  std::vector<Bytes> got;
};
Bytes handled(Bytes m) {  // 1-3 bytes reach ProcessMidiMsg, padded with zeros
  if (m.size() < 3) m.resize(3, 0);
  return m;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 8192) return 0;
  static Recorder* plug = new Recorder;
  plug->got.clear();
  MidiSysExJoiner joiner(700);
  auto take = [&](const unsigned char* b, size_t n) {
    joiner.take(b, n, [](const unsigned char* m, size_t k) {
      Bytes message(m, m + k);
      plug->processMIDIInput(0.0, &message, plug);
    });
  };
  size_t at = 1;
  auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
  std::vector<Bytes> expected;
  Bytes cutOff;  // a SysEx without its F7, due when the next message starts
  auto nextMessage = [&] { if (!cutOff.empty() && cutOff.size() <= 700) expected.push_back(cutOff); cutOff.clear(); };
  while (at < size) {
    const uint8_t op = next();
    if (data[0] & 1) {
      Bytes event;
      for (size_t n = op % 48; n > 0 && at < size; --n) event.push_back(next());
      take(event.data(), event.size());
    } else if (op % 3 == 1) {
      nextMessage();
      Bytes m = {0xF0};
      for (size_t n = next() * 4u; n > 0; --n) m.push_back(next() & 0x7F);
      const bool unended = (op & 0x40) && m.size() > 3;
      if (!unended) m.push_back(0xF7);
      for (size_t from = 0, piece; from < m.size(); from += piece) {
        const uint8_t cut = next();
        piece = std::min<size_t>(m.size() - from, 1 + cut % 64);
        take(&m[from], piece);
        if (unended && from + piece == m.size()) cutOff = m;
        else if (piece == m.size() || (m.size() <= 700 && from + piece == m.size())) expected.push_back(handled(m));
        const unsigned char rt = 0xF8 | (cut & 7);
        if ((cut & 0x80) && from + piece < m.size()) take(&rt, 1), expected.push_back(handled({rt}));
      }
    } else {
      const uint8_t status = 0x80 | next();
      Bytes m = status >= 0xF0 || op % 3 == 2 ? Bytes{static_cast<uint8_t>(0xF8 | (op & 7))} : Bytes{status, next()};
      if (m.size() == 2 && (status & 0xE0) != 0xC0) m.push_back(next() & 0x7F);
      if (m.size() > 1) m[1] &= 0x7F;
      if (m.size() > 1) nextMessage();
      take(m.data(), m.size());
      expected.push_back(handled(m));
    }
  }
  if (!(data[0] & 1) && plug->got != expected) abort();
  return 0;
}
