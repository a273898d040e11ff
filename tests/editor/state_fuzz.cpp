// The state restore path with arbitrary bytes: a host may hand back anything as "data". One
// editor object is built once (headless, in a temporary data folder) and restored into again and
// again; a restore must refuse or succeed without crashing, hanging or reading out of bounds, and
// so must the save that follows it.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "EditorTestSupport.h"

namespace {

struct Fixture {
  editortest::EditorEnvironment env;
  editortest::RecordingSorvanta plug{editortest::instanceInfo()};
  ByteChunk valid;
  // No MIDI output is chosen: a restore that passes the checks applies the head, the names and
  // the ports but starts no transfer (which would wait for the synthesizer on every input).
  Fixture() { plug.SerializeState(&valid); }
};

Fixture& fixture() {
  static Fixture* f = new Fixture();  // lives to process exit: the fuzzer never returns
  return *f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Fixture& f = fixture();
  ByteChunk chunk;
  // Half the inputs mutate a valid chunk so the checks past the head are reached too.
  if (size > 0 && (data[0] & 1)) {
    chunk.PutBytes(f.valid.GetBytes(), f.valid.Size());
    for (size_t i = 1; i + 4 <= size; i += 4) {
      uint32_t at;
      memcpy(&at, data + i, 3);
      at &= 0xFFFFFF;
      chunk.GetBytes()[at % static_cast<uint32_t>(chunk.Size())] = data[i + 3];
    }
    if (size > 2 && data[1] < 64) chunk.Resize(chunk.Size() - data[2] * 97);
  } else if (size > 0) {
    chunk.PutBytes(data, static_cast<int>(size));
  }
  f.plug.UnserializeState(&chunk, 0);
  // A restore without an output holds what it did not apply and the writer hands that back.
  ByteChunk back;
  f.plug.SerializeState(&back);
  return 0;
}
