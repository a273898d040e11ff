#include "LibrarianLog.h"

#include <atomic>
#include <cstdio>

#include "UTIL_File.h"

namespace {

void printToStdout(const std::string& line) {
  printf("Build LOG: \t %s\n", line.c_str());
  fflush(stdout);
}

std::atomic<LibrarianLogSink> g_sink{&printToStdout};

}  // namespace

void librarianLog(const std::string& text) {
  g_sink.load()("PATCH LIBRARIAN: " + text);
}

void librarianRefusal(const std::string& text) {
  librarianLog(text);
  UTIL_SayRefusal("PATCH LIBRARIAN: " + text);
}

LibrarianLogSink setLibrarianLogSink(LibrarianLogSink sink) {
  return g_sink.exchange(sink ? sink : &printToStdout);
}
