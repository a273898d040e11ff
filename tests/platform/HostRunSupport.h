// Runs a shell command (the host program) for the host tests: its exit code and its standard
// output and error together.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

struct RunResult {
  int exitCode = -1;
  std::string output;
};

inline RunResult runCommand(const std::string& cmd) {
  RunResult r;
  FILE* f = popen((cmd + " 2>&1").c_str(), "r");
  if (!f) return r;
  char buf[512];
  while (fgets(buf, sizeof buf, f)) r.output += buf;
  int status = pclose(f);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}
