// A test's wait on a child process has a bound: a child that hangs (a lock it inherited held for
// ever, a server that never answers) is killed and the wait fails, instead of the whole suite
// waiting until the test runner gives up on it without saying why.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

// How long a test waits for a child that should end by itself: far beyond what a busy machine takes.
constexpr double kChildBoundSeconds = 180;

// Waits for child to end and gives its status; true when it ended by itself within seconds, false
// when it had to be killed (or was none).
inline bool waitForChild(pid_t child, int* status, double seconds = kChildBoundSeconds) {
  int ignored = 0;
  status = status ? status : &ignored;
  if (child <= 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    const pid_t got = waitpid(child, status, WNOHANG);
    if (got == child) return true;
    if (got < 0) return false;
    usleep(5000);
  }
  kill(child, SIGKILL);
  waitpid(child, status, 0);
  return false;
}
