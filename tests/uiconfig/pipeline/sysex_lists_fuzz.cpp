// Feeds arbitrary input to the SysEx value-list reader and prepares every template it keeps the
// way the control factories do: no crash, no hang, and every prepared message holds only data
// bytes, as many as its template.
//
// An input that starts with '<' is the document itself; one that starts with 'E' is enciphered
// like the shipped file (the rest is deciphered first). Any other input edits the test value
// lists (each three bytes: a position, then the byte written there), so that most runs reach the
// templates with damaged values rather than stopping in the XML parser.
//
// The bytes checked are those the preparation writes (the changing byte and the part byte);
// the rest are the template's own.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ControlAction.h"
#include "PipelineTestSupport.h"
#include "UIConfigText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string* lists = new std::string(readFile(std::string(SORVANTA_PIPELINE_XML_DIR) + "/sysex.xml"));
  std::string text;
  if (size > 0 && data[0] == '<') {
    text.assign(reinterpret_cast<const char*>(data), size);
  } else if (size > 0 && data[0] == 'E') {
    UIConfigManager::decrypt(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1), text);
  } else {
    text = *lists;
    for (size_t i = 0; i + 2 < size; i += 3)
      text[(static_cast<size_t>(data[i]) << 8 | data[i + 1]) % text.size()] = static_cast<char>(data[i + 2]);
  }
  UIConfigManager manager;
  if (!manager.readSysexText(text)) return 0;
  // A few changing bytes, counts and parts per template, as the factories ask for them.
  const unsigned salt = size > 0 ? data[size - 1] : 0;
  for (int index = 0;; ++index) {
    if (index >= static_cast<int>(manager.sysexContainers.size())) break;
    const std::string* tmpl = manager.sysexTemplate(index);
    if (!tmpl) continue;
    const size_t length = convertStringSysextoVector(*tmpl).size();
    for (int k = 0; k < 4; ++k) {
      const int changingByte = 1 + static_cast<int>((salt + 7u * k) % (length + 2));
      const int count = 1 + static_cast<int>((salt * 13u + k) % 130);
      const int first = k == 0 ? -1 : static_cast<int>(salt % 3) - 1;
      const int part = k % 2 ? static_cast<int>(salt % 16) : -1;
      ControlActionSysExMessage out;
      if (!calculateSysexWithChangingByte(*tmpl, changingByte, count, &out, first, part)) continue;
      for (size_t i = 0; i < out.messages.size(); ++i) {
        const std::vector<int>& m = out.messages[i];
        if (m.size() != length) abort();
        // Message 0 of a "first -1" table keeps the template's own byte.
        const int written = m[static_cast<size_t>(changingByte - 1)];
        if ((i > 0 || first != -1) && (written < 0 || written > 0x7F)) abort();
        if (part >= 0 && changingByte - 1 != kSysExPartIndex && m[kSysExPartIndex] != part) abort();
      }
    }
  }
  return 0;
}
