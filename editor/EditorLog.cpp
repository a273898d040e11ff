#include "EditorLog.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "Sorvanta.h"
#include "SysexProtocol.h"
#include "UTIL_File.h"

bool DebuggerOutput::openDebugFile(const std::string& path, std::string* refusal) {
  // Only a regular file the user may read and write counts: a FIFO under the log's name would hold
  // the plug-in's construction until a reader came, and a device would swallow the log.
  const UTIL_FileCheck check = UTIL_CheckSave(path);
  if (!check.ok()) {
    // Logging is asked for by creating the file, so a missing one is the normal case and says
    // nothing. One that is there but cannot be used is worth a whole line.
    if (check.status != UTIL_FileStatus::missing) {
      printf("Unable to open file %s: %s\n", path.c_str(), check.why().c_str());
      fflush(stdout);
      if (refusal) *refusal = check.why();
    }
    return false;
  }
  // Emptying an existing log starts each plug-in object's log afresh; a failure here is not
  // reported (the file then keeps its old lines and new ones are appended).
  const int out = UTIL_OpenFileForWrite(path, O_WRONLY | O_TRUNC, nullptr);
  if (out >= 0) close(out);
  return true;
}

void DebuggerOutput::printDebugInfo(const std::string& path, const std::string& text) {
  printDebugInfo(path, time(nullptr), text);
}

void DebuggerOutput::printDebugInfo(const std::string& path, time_t when, const std::string& text) {
  // A log file replaced by anything but a regular file while the host runs loses the line.
  UTIL_FileCheck check;
  const int fd = UTIL_OpenFileForWrite(path, O_WRONLY | O_APPEND | O_CREAT, &check);
  if (fd < 0) {
    UTIL_SayRefusal("Unable to write log file " + path + ": " + check.why());
    return;
  }
  struct tm local;
  localtime_r(&when, &local);
  char stamp[80];
  if (strftime(stamp, sizeof stamp, "%Y-%m-%d.%X", &local) == 0) stamp[0] = 0;
  // One write per line: lines from several threads never mix.
  const std::string line = std::string(stamp) + "\t " + text + "\n";
  UTIL_WriteFully(fd, line.data(), line.size());
  close(fd);
  printf("Build LOG: \t %s\n", text.c_str());
  fflush(stdout);
}

std::string DebuggerOutput::formatSysExOutLine(const unsigned char* data, int count) {
  std::string line = sysex::outgoingLine(data, count);
  line.pop_back();  // the line end
  return line;
}

std::string DebuggerOutput::formatSysExOutLine(const std::vector<int>& data, int count) {
  // Never read past the vector, whatever count a caller passes.
  count = std::clamp(count, 0, static_cast<int>(data.size()));
  std::vector<unsigned char> bytes(data.begin(), data.begin() + count);
  return formatSysExOutLine(bytes.data(), count);
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

namespace {
thread_local bool tRendering = false;
}  // namespace

DeferredLogLines::RenderScope::RenderScope() : outer(tRendering) { tRendering = true; }
DeferredLogLines::RenderScope::~RenderScope() { tRendering = outer; }
bool DeferredLogLines::RenderScope::active() { return tRendering; }

bool DeferredLogLines::tryPush(const std::string& text) {
  std::unique_lock<std::mutex> g(lock, std::try_to_lock);
  if (!g.owns_lock() || count == kCapacity) {
    dropped.fetch_add(1);
    return false;
  }
  Line& line = lines[count++];
  line.when = time(nullptr);
  const size_t n = text.copy(line.text, kMaxLineLength);
  line.text[n] = 0;
  return true;
}

void DeferredLogLines::drainTo(const std::string& path) {
  // Copy out under the lock and write after it: the render thread's tryPush fails while we
  // hold it, so the file I/O must happen outside.
  Line held[kCapacity];
  int n;
  {
    std::lock_guard<std::mutex> g(lock);
    n = count;
    for (int i = 0; i < n; ++i) held[i] = lines[i];
    count = 0;
  }
  for (int i = 0; i < n; ++i) DebuggerOutput::printDebugInfo(path, held[i].when, held[i].text);
  if (const int lost = dropped.exchange(0))
    DebuggerOutput::printDebugInfo(path, "PROCESSOR: " + std::to_string(lost) + " log lines from the audio thread were dropped");
}

bool DeferredLogLines::empty() {
  std::lock_guard<std::mutex> g(lock);
  return count == 0 && dropped.load() == 0;
}
