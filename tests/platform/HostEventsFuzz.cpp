// Feeds arbitrary bytes to the host's action-file parser: no crash, no hang, and every action it
// accepts is one the host can perform (time in range, known kind, well-formed MIDI bytes).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "HostEvents.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<HostEvent> events;
  std::string why;
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (!ParseHostEventText(text, "fuzz", &events, &why)) {
    if (!events.empty() || why.empty()) abort();
    return 0;
  }
  for (const HostEvent& e : events) {
    if (!(e.time >= 0.0 && e.time <= 86400.0)) abort();
    switch (e.kind) {
      case HostEvent::kPlay:
      case HostEvent::kStop: break;
      case HostEvent::kTempo:
        if (!(e.tempo >= 1.0 && e.tempo <= 999.0)) abort();
        break;
      case HostEvent::kMidi:
        if (e.bytes.empty() || e.bytes.size() > 3 || !(e.bytes[0] & 0x80) || e.bytes[0] == 0xF0 || e.bytes[0] == 0xF7) abort();
        break;
      case HostEvent::kSysEx:
        if (e.bytes.size() < 2 || e.bytes.front() != 0xF0 || e.bytes.back() != 0xF7) abort();
        for (size_t i = 1; i + 1 < e.bytes.size(); ++i)
          if (e.bytes[i] & 0x80) abort();
        break;
      case HostEvent::kRestore:
        if (e.path.empty() || e.path.find('\0') != std::string::npos) abort();
        break;
      default: abort();
    }
  }
  SortHostEvents(&events);
  return 0;
}
