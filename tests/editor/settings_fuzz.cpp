// Feeds arbitrary bytes as the settings file "Sorvanta Editor UI.txt": no crash, always five
// lines without line feeds or trailing blanks, the words read back as they were written, and the
// file text the editor would write reads back as the same five lines. The port lines go through
// the port-name lookup the editor opens its MIDI ports with.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "EditorSettings.h"
#include "MidiBackend.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = EditorSettings::parse(bytes);
  if (lines.size() != static_cast<size_t>(EditorSettings::kNumLines)) abort();
  for (const std::string& l : lines) {
    if (l.find('\n') != std::string::npos) abort();
    if (!l.empty() && (l.back() == ' ' || l.back() == '\t' || l.back() == '\r')) abort();
  }
  if (EditorSettings::parse(EditorSettings::format(lines)) != lines) abort();
  const int scheme = EditorSettings::schemeFromWord(lines[EditorSettings::kLineScheme]);
  if (scheme >= 0 && lines[EditorSettings::kLineScheme] != EditorSettings::schemeWord(scheme)) abort();
  const int sizeIndex = EditorSettings::sizeIndexFromWord(lines[EditorSettings::kLineSize]);
  const double factor = EditorSettings::sizeFactorFromWord(lines[EditorSettings::kLineSize]);
  if ((sizeIndex >= 0) != (factor > 0.0) || (sizeIndex >= 0 && factor != EditorSettings::sizeFactorForIndex(sizeIndex))) abort();
  // The stored names against a port list that holds them among others.
  const std::vector<std::string> ports = {"Dorvik MIDI 1", lines[EditorSettings::kLineMidiOut], "128:0 Dorvik", lines[EditorSettings::kLineMidiIn]};
  for (int line : {EditorSettings::kLineMidiOut, EditorSettings::kLineMidiIn}) {
    const int found = MidiFindPortName(ports, lines[static_cast<size_t>(line)]);
    if (found < -1 || found >= static_cast<int>(ports.size())) abort();
  }
  return 0;
}
