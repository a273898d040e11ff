// The direct input between JACK and the plug-in's handlers, fed event streams as a synth's
// interface may hand them over: MidiSysExJoiner (a SysEx split over events, cut off, too long,
// real-time bytes between its pieces) and IPluginBase::processMIDIInput (1-3 bytes to
// ProcessMidiMsg, longer messages split at each F0 into ProcessSysEx calls).
//
// Byte 0 even: the rest builds whole messages (op byte, then its bytes) that are cut into events
// where the input says, with real-time bytes between the pieces of a SysEx. Every message must
// reach the handlers whole and in order, a real-time byte at once, a SysEx too long for the
// joiner not at all. Byte 0 odd: the rest is raw events (a length byte, then the bytes). Nothing
// may crash, and every piece handed on is non-empty, every SysEx piece after the first starting at
// an F0.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "JackMidiInput.h"
#include "TestPlug.h"

namespace {

typedef std::vector<unsigned char> Bytes;

const size_t kCapacity = 700;

class Recorder : public TestPlug {
 public:
  void ProcessMidiMsg(IMidiMsg* msg, bool) override { got.push_back({msg->mStatus, msg->mData1, msg->mData2}); }
  void ProcessSysEx(ISysEx* sysex, bool) override {
    if (sysex->mSize <= 0 || !sysex->mData) abort();
    // Every piece but the first of a message starts at an F0.
    if (!firstPiece && sysex->mData[0] != 0xF0) abort();
    firstPiece = false;
    got.push_back(Bytes(sysex->mData, sysex->mData + sysex->mSize));
  }
  bool firstPiece = true;
  std::vector<Bytes> got;
};

// What the handlers get for one message that processMIDIInput is handed whole.
Bytes asHandled(const Bytes& m) {
  if (m.size() > 3) return m;
  return {m[0], m.size() > 1 ? m[1] : static_cast<unsigned char>(0), m.size() > 2 ? m[2] : static_cast<unsigned char>(0)};
}

struct Reader {
  const uint8_t* data;
  size_t size, at = 0;
  bool more() const { return at < size; }
  uint8_t next() { return at < size ? data[at++] : 0; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 8192) return 0;
  static Recorder* plug = new Recorder;
  plug->got.clear();
  MidiSysExJoiner joiner(kCapacity);
  auto hand = [&](const unsigned char* bytes, size_t n) {
    if (n == 0) abort();
    std::vector<unsigned char> message(bytes, bytes + n);
    plug->firstPiece = true;
    plug->processMIDIInput(0.0, &message, plug);
  };
  Reader in{data + 1, size - 1};

  if (data[0] & 1) {
    while (in.more()) {
      const size_t n = in.next() % 48;
      Bytes event;
      for (size_t i = 0; i < n && in.more(); ++i) event.push_back(in.next());
      joiner.take(event.data(), event.size(), hand);
    }
    return 0;
  }

  std::vector<Bytes> expected;
  while (in.more()) {
    const uint8_t op = in.next();
    if (op % 3 == 0) {  // a channel message, whole
      const uint8_t status = static_cast<uint8_t>(0x80 | (in.next() & 0x7F));
      Bytes m = {status, static_cast<uint8_t>(in.next() & 0x7F)};
      if ((status & 0xF0) != 0xC0 && (status & 0xF0) != 0xD0) m.push_back(in.next() & 0x7F);
      if (status >= 0xF0) m = {static_cast<uint8_t>(0xF8 | (status & 7))};  // system: a real-time byte
      joiner.take(m.data(), m.size(), hand);
      expected.push_back(asHandled(m));
    } else if (op % 3 == 1) {  // a SysEx in pieces
      Bytes m = {0xF0};
      for (size_t i = 0, length = static_cast<size_t>(in.next()) * 4; i < length; ++i) m.push_back(in.next() & 0x7F);
      m.push_back(0xF7);
      bool whole = false;
      for (size_t at = 0; at < m.size();) {
        const uint8_t cut = in.next();
        const size_t piece = std::min<size_t>(m.size() - at, 1 + cut % 64);
        whole = whole || piece == m.size();
        joiner.take(m.data() + at, piece, hand);
        at += piece;
        if ((cut & 0x80) && at < m.size()) {
          const unsigned char rt = static_cast<unsigned char>(0xF8 | (cut & 7));
          joiner.take(&rt, 1, hand);
          expected.push_back(asHandled({rt}));
        }
      }
      // Only what is joined is bounded: a SysEx that came as one event goes on as it came.
      if (whole || m.size() <= kCapacity) expected.push_back(asHandled(m));
    } else {  // a real-time byte on its own
      const unsigned char rt = static_cast<unsigned char>(0xF8 | (op & 7));
      joiner.take(&rt, 1, hand);
      expected.push_back(asHandled({rt}));
    }
  }
  if (plug->got != expected) abort();
  return 0;
}
