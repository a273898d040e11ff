// The framework's diagnostic utilities. Tracing is compiled empty: the framework itself prints and
// logs nothing; every diagnostic line comes from the editor core's log.
#pragma once

#include <ctime>
#include <string>

#include "UTIL_String.h"

// Does nothing; its arguments are still evaluated at the call.
void Trace(const char* location, int line, const char* format, ...) __attribute__((format(printf, 3, 4)));

// Local time as "%Y%m%d %H:%M " and the zone offset "+hhmm"/"-hhmm". The text lives in one static
// buffer per thread that each call overwrites.
const char* CurrentTime();
// Zone offset in minutes (local minus UTC) for the two broken-down times of one instant.
int ZoneOffsetMinutes(const struct tm& local, const struct tm& utc);

// Writes src lower-cased into dst, terminated. dst must hold strlen(src) + 1 bytes.
void ToLower(char* dst, const char* src);
std::string ToLower(const char* src);

// Names of Audio Unit selectors, properties, scopes and VST opcodes are not compiled in.
const char* AUSelectStr(int select);
const char* AUPropertyStr(int propID);
const char* AUScopeStr(int scope);
const char* VSTOpcodeStr(int opCode);

bool IsWhitespace(char c);

// Remembers the processor clock at creation; Every(s) answers true and restarts when more than
// s seconds of processor time have passed.
class Timer {
public:
  Timer();
  bool Every(double seconds);

private:
  clock_t mT;
};

// "[date time]" build stamp into str; text followed by " [date time]".
void CompileTimestamp(const char* date, const char* time, UTIL_String* str);
std::string AppendTimestamp(const char* date, const char* time, const char* text);
