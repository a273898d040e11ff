// The editor's two diagnostic outputs: the optional log file in the data folder and the lines
// printed on standard output for every outgoing SysEx.
//
// DebuggerOutput holds no data and is never instantiated. Logging is decided once per plug-in
// object: openDebugFile at construction says whether the log file existed (it is then emptied);
// callers test the plug-in's debugLogOn before each printDebugInfo.
//
// Threads: any. printDebugInfo opens, appends one whole line and closes per call, so lines from
// several threads interleave only as whole writes; the standard-output prints are one call each.
#pragma once

#include <atomic>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "IPlugStructs.h"

class Sorvanta;

class DebuggerOutput {
public:
  DebuggerOutput() = delete;

  // True when path existed and may be written as every save of the user's files may
  // (UTIL_CheckSave); the file is then emptied. Otherwise creates nothing and prints nothing when
  // there is no such file (logging is off, as usual), or "Unable to open file <path>: <why>" on a
  // line of its own when it is there but refused; *refusal then gets why.
  static bool openDebugFile(const std::string& path, std::string* refusal = nullptr);
  // Appends "<%Y-%m-%d.%X>\t <text>\n" to path (creating it) and prints "Build LOG: \t <text>".
  // A file that cannot be opened loses the line (said once on standard error).
  static void printDebugInfo(const std::string& path, const std::string& text);
  // The same, stamped with a time taken earlier (a line held back from the render thread).
  static void printDebugInfo(const std::string& path, time_t when, const std::string& text);

  // "Plug-in MIDI Out (sysex | <bytes sent> bytes | F0 <hex bytes each followed by a blank>F7)"
  // (sysex::outgoingLine without its line end).
  static std::string formatSysExOutLine(const unsigned char* data, int count);
  static std::string formatSysExOutLine(const std::vector<int>& data, int count);
  static void logSysExOutMessageByte(const unsigned char* data, int length);
  static void logSysExOutMessageByteInt(std::vector<int> data, int count);

  // Compares an incoming short message with the last one the plug-in remembered and remembers
  // this one: true when all three bytes were equal, else prints "Plug-in MIDI In  " and false.
  // Nothing calls it at present (a diagnosis aid for the MIDI input path).
  static bool compareMIDIdata(Sorvanta* plug, IMidiMsg msg);
};

// Log lines raised on the host's render thread, held until a thread that may touch the disk
// writes them: the render thread must never open, append or close the log file.
//
// Threads: tryPush only on the render thread (never blocks, never allocates, never does I/O);
// drainTo on any other thread. Lines keep the time they were raised. A full queue, or a drain
// in progress at that moment, drops the line; the next drain says how many were dropped.
class DeferredLogLines {
public:
  static constexpr int kCapacity = 32;
  static constexpr size_t kMaxLineLength = 159;  // longer lines are cut

  bool tryPush(const std::string& text);
  // Writes held lines, oldest first, through DebuggerOutput::printDebugInfo.
  void drainTo(const std::string& path);
  bool empty();

  // Marks the calling thread as the render thread for the scope's life; log calls made from
  // inside it are held rather than written.
  class RenderScope {
  public:
    RenderScope();
    ~RenderScope();
    RenderScope(const RenderScope&) = delete;
    RenderScope& operator=(const RenderScope&) = delete;
    static bool active();

  private:
    bool outer;
  };

private:
  struct Line {
    time_t when;
    char text[kMaxLineLength + 1];
  };
  std::mutex lock;  // guards lines and count
  Line lines[kCapacity];
  int count = 0;
  std::atomic<int> dropped{0};
};
