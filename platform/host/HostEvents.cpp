#include "HostEvents.h"

#include "MidiBytes.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "UTIL_File.h"

namespace {

int hexVal(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string hexByte(unsigned char b) {
  char text[3];
  snprintf(text, sizeof text, "%02X", b);
  return text;
}

const char* shortMessageName(unsigned char status) {
  static const char* const channel[] = {"note off", "note on", "key pressure", "control change",
                                        "program change", "channel pressure", "pitch bend"};
  if (status < 0xF0) return channel[(status >> 4) - 8];
  switch (status) {
    case 0xF1: return "time code quarter frame";
    case 0xF2: return "song position";
    case 0xF3: return "song select";
    case 0xF6: return "tune request";
    default: return "real-time message";
  }
}

bool parseNumber(const std::string& s, double* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  double v = strtod(s.c_str(), &end);
  if (!end || *end || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

}  // namespace

bool ParseMidiBytes(const std::string& hex, bool sysex, std::vector<unsigned char>* out, std::string* why) {
  out->clear();
  std::string digits;
  for (char c : hex) {
    if (isspace(static_cast<unsigned char>(c)) || c == ',') continue;
    if (hexVal(c) < 0) {
      *why = "not a hexadecimal byte list";
      return false;
    }
    digits += c;
  }
  if (digits.empty() || digits.size() % 2) {
    *why = "hexadecimal bytes come in pairs of digits";
    return false;
  }
  for (size_t i = 0; i < digits.size(); i += 2) out->push_back(static_cast<unsigned char>(hexVal(digits[i]) * 16 + hexVal(digits[i + 1])));
  if (sysex) {
    if (out->size() < 2 || out->front() != 0xF0 || out->back() != 0xF7) {
      *why = "a SysEx starts with F0 and ends with F7";
      return false;
    }
    if (out->size() < 3) {
      *why = "a SysEx carries at least a manufacturer id between F0 and F7";
      return false;
    }
    for (size_t i = 1; i + 1 < out->size(); ++i)
      if ((*out)[i] & 0x80) {
        *why = "a SysEx carries only data bytes (00..7F) between F0 and F7";
        return false;
      }
    return true;
  }
  const unsigned char status = out->front();
  const int length = MidiShortMessageLength(status);
  if (length == 0) {
    *why = "a short message starts with a status byte (80..FF) other than F0/F7";
    return false;
  }
  if (MidiStatusUndefined(status)) {
    *why = hexByte(status) + " is a status byte MIDI leaves undefined";
    return false;
  }
  for (size_t i = 1; i < out->size(); ++i)
    if ((*out)[i] & 0x80) {
      *why = "data bytes are 00..7F";
      return false;
    }
  if (out->size() != static_cast<size_t>(length)) {
    *why = std::string("a ") + shortMessageName(status) + " (" + hexByte(status) + ") is " + std::to_string(length) +
           (length == 1 ? " byte" : " bytes") + " long, not " + std::to_string(out->size());
    return false;
  }
  return true;
}

bool ParseHostEvent(const std::string& line, HostEvent* out, std::string* why) {
  std::istringstream in(line);
  std::string t, action;
  in >> t >> action;
  double time;
  if (!parseNumber(t, &time) || time < 0.0 || time > 86400.0) {
    *why = "the time must be seconds between 0 and 86400";
    return false;
  }
  std::string rest;
  std::getline(in, rest);
  HostEvent e;
  e.time = time;
  if (action == "play" || action == "stop") {
    if (rest.find_first_not_of(" \t\r") != std::string::npos) {
      *why = action + " takes no argument";
      return false;
    }
    e.kind = action == "play" ? HostEvent::kPlay : HostEvent::kStop;
  } else if (action == "tempo") {
    std::istringstream r(rest);
    std::string v, extra;
    r >> v >> extra;
    if (!parseNumber(v, &e.tempo) || e.tempo < 1.0 || e.tempo > 999.0 || !extra.empty()) {
      *why = "tempo takes one number of beats per minute, 1 to 999";
      return false;
    }
    e.kind = HostEvent::kTempo;
  } else if (action == "midi" || action == "sysex") {
    e.kind = action == "midi" ? HostEvent::kMidi : HostEvent::kSysEx;
    if (!ParseMidiBytes(rest, e.kind == HostEvent::kSysEx, &e.bytes, why)) return false;
  } else if (action == "restore") {
    // The rest of the line is the path, blanks inside it included.
    const size_t first = rest.find_first_not_of(" \t");
    const size_t last = rest.find_last_not_of(" \t\r");
    if (first == std::string::npos || rest.find('\0') != std::string::npos) {
      *why = "restore takes the path of a state file";
      return false;
    }
    e.kind = HostEvent::kRestore;
    e.path = rest.substr(first, last - first + 1);
  } else {
    *why = "unknown action '" + action + "' (play, stop, tempo, midi, sysex, restore)";
    return false;
  }
  *out = std::move(e);
  return true;
}

bool ParseHostEventText(const std::string& text, const std::string& name, std::vector<HostEvent>* out, std::string* why) {
  if (text.size() > kHostEventFileMaxBytes) {
    *why = name + ": too large for an action file";
    return false;
  }
  std::vector<HostEvent> events;
  int lineNo = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    ++lineNo;
    size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    if (events.size() >= kHostEventFileMaxActions) {
      *why = name + ": too many actions for an action file";
      return false;
    }
    HostEvent e;
    std::string reason;
    if (!ParseHostEvent(line, &e, &reason)) {
      *why = name + ":" + std::to_string(lineNo) + ": " + reason;
      return false;
    }
    events.push_back(std::move(e));
  }
  out->insert(out->end(), events.begin(), events.end());
  return true;
}

bool LoadHostEventFile(const std::string& path, std::vector<HostEvent>* out, std::string* why) {
  // Never more than the limit in memory, and never a wait or an endless read on a FIFO, a
  // device or a folder: only a regular file is read.
  std::string text;
  const UTIL_FileCheck check = UTIL_ReadFile(path, text, kHostEventFileMaxBytes);
  if (!check.ok()) {
    *why = path + ": " + (check.status == UTIL_FileStatus::tooLarge ? "too large for an action file: " : "") + check.why();
    return false;
  }
  return ParseHostEventText(text, path, out, why);
}

void SortHostEvents(std::vector<HostEvent>* events) {
  std::stable_sort(events->begin(), events->end(), [](const HostEvent& a, const HostEvent& b) { return a.time < b.time; });
}
