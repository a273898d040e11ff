#include "EditorLog.h"

#include <cstdio>
#include <ctime>
#include <fstream>

#include "Sorvanta.h"

bool DebuggerOutput::openDebugFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) {
    printf("Unable to open file");
    fflush(stdout);
    return false;
  }
  // Emptying an existing log starts each plug-in object's log afresh; a failure here is not
  // reported (the file then keeps its old lines and new ones are appended).
  std::ofstream truncate(path, std::ios::binary | std::ios::trunc);
  return true;
}

void DebuggerOutput::printDebugInfo(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  if (!out.is_open()) return;
  const time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  char stamp[80];
  if (strftime(stamp, sizeof stamp, "%Y-%m-%d.%X", &local) == 0) stamp[0] = 0;
  out << stamp << "\t " << text << "\n";
  out.close();
  printf("Build LOG: \t %s\n", text.c_str());
  fflush(stdout);
}

namespace {

template <typename Get>
std::string formatLine(int count, Get byteAt) {
  std::string hex;
  static const char digits[] = "0123456789abcdef";
  for (int i = 0; i < count; ++i) {
    const unsigned b = byteAt(i) & 0xFFu;
    hex += digits[b >> 4];
    hex += digits[b & 0xF];
    hex += ' ';
  }
  return "Plug-in MIDI Out (sysex | " + std::to_string(count < 0 ? 0 : count) + " bytes | F0 " + hex + "F7)";
}

}  // namespace

std::string DebuggerOutput::formatSysExOutLine(const unsigned char* data, int count) {
  if (!data) count = 0;
  return formatLine(count, [data](int i) { return static_cast<unsigned>(data[i]); });
}

std::string DebuggerOutput::formatSysExOutLine(const std::vector<int>& data, int count) {
  // Never read past the vector, whatever count a caller passes.
  if (count > static_cast<int>(data.size())) count = static_cast<int>(data.size());
  return formatLine(count, [&data](int i) { return static_cast<unsigned>(data[static_cast<size_t>(i)]); });
}

void DebuggerOutput::logSysExOutMessageByte(const unsigned char* data, int length) {
  printf("%s\n", formatSysExOutLine(data, length).c_str());
}

void DebuggerOutput::logSysExOutMessageByteInt(std::vector<int> data, int count) {
  printf("%s\n", formatSysExOutLine(data, count).c_str());
}

bool DebuggerOutput::compareMIDIdata(Sorvanta* plug, IMidiMsg msg) {
  if (!plug) return false;
  const int bytes[3] = {msg.mStatus, msg.mData1, msg.mData2};
  bool same = true;
  for (int i = 0; i < 3; ++i) {
    if (plug->lastIncomingMessage[i] != bytes[i]) {
      plug->lastIncomingMessage[i] = bytes[i];
      same = false;
    }
  }
  if (!same) {
    // IMidiMsg prints nothing of its own in this system: the prefix stands alone.
    printf("Plug-in MIDI In  ");
    fflush(stdout);
  }
  return same;
}
