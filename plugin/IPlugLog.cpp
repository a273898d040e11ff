#include "IPlugLog.h"

#include <cctype>
#include <cstdio>
#include <cstring>

void Trace(const char* location, int line, const char* format, ...) {
  (void)location;
  (void)line;
  (void)format;
}

int ZoneOffsetMinutes(const struct tm& local, const struct tm& utc) {
  int offset = (local.tm_hour - utc.tm_hour) * 60 + (local.tm_min - utc.tm_min);
  int dayDiff = local.tm_yday - utc.tm_yday;
  if (dayDiff == 1 || dayDiff == -1)
    offset += 1440 * dayDiff;
  else if (dayDiff >= 2)
    offset -= 1440;  // local still on Dec 31 while UTC is on Jan 1: local is a day behind
  else if (dayDiff <= -2)
    offset += 1440;  // local already on Jan 1 while UTC is on Dec 31: local is a day ahead
  return offset;
}

const char* CurrentTime() {
  static thread_local char buf[64];
  time_t t = time(nullptr);
  struct tm local {}, utc {};
  localtime_r(&t, &local);
  gmtime_r(&t, &utc);
  size_t n = strftime(buf, 32, "%Y%m%d %H:%M ", &local);
  int off = ZoneOffsetMinutes(local, utc);
  char sign = off < 0 ? '-' : '+';
  if (off < 0) off = -off;
  snprintf(buf + n, sizeof(buf) - n, "%c%02d%02d", sign, (off / 60) % 100, off % 60);
  return buf;
}

void ToLower(char* dst, const char* src) {
  if (!dst) return;
  if (!src) {
    *dst = 0;
    return;
  }
  // Through unsigned char: tolower of a negative char is undefined.
  while (*src) *dst++ = static_cast<char>(tolower(static_cast<unsigned char>(*src++)));
  *dst = 0;
}

std::string ToLower(const char* src) {
  std::string s(src ? src : "");
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

const char* AUSelectStr(int) { return ""; }
const char* AUPropertyStr(int) { return ""; }
const char* AUScopeStr(int) { return ""; }
const char* VSTOpcodeStr(int) { return ""; }

bool IsWhitespace(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

Timer::Timer() : mT(clock()) {}

bool Timer::Every(double seconds) {
  clock_t now = clock();
  if (static_cast<double>(now - mT) > seconds * CLOCKS_PER_SEC) {
    mT = now;
    return true;
  }
  return false;
}

void CompileTimestamp(const char* date, const char* time, UTIL_String* str) {
  if (!str) return;
  str->Set("[");
  str->Append(date ? date : "");
  str->Append(" ");
  str->Append(time ? time : "");
  str->Append("]");
}

std::string AppendTimestamp(const char* date, const char* time, const char* text) {
  UTIL_String stamp;
  CompileTimestamp(date, time, &stamp);
  std::string s(text ? text : "");
  s += " ";
  s += stamp.Get();
  return s;
}
