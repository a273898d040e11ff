// Runs a shell command (the host program) for the host tests: its exit code and its standard
// output and error together. A command that has not ended well beyond what a busy machine takes
// is killed (exit code 124), so a hung host fails its test instead of stalling the suite.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "../util/Child.h"

struct RunResult {
  int exitCode = -1;
  std::string output;
};

inline RunResult runCommand(const std::string& cmd) {
  RunResult r;
  std::string quoted = "'";
  for (const char c : cmd + " 2>&1") quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  FILE* f = popen(("timeout -k 5 " + std::to_string(static_cast<int>(kChildBoundSeconds)) + " sh -c " + quoted + "' 2>&1").c_str(), "r");
  if (!f) return r;
  char buf[512];
  while (fgets(buf, sizeof buf, f)) r.output += buf;
  int status = pclose(f);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}
