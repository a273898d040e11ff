// Permission and mode tests as a user without privileges, since one with them may read and write
// any file (CI runs as root): root becomes the user nobody (65534 on Debian) for them.
#pragma once

#include <gtest/gtest.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

inline void giveToUnprivileged(const std::string& path) {
  if (getuid() == 0 && system(("chown -R 65534:65534 '" + path + "'").c_str()) != 0) ADD_FAILURE() << "chown " << path;
}

// What a shell command starts with to run as that user.
inline std::string unprivilegedCommand() { return getuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : ""; }

// Runs work in a child process as that user under umask mask; a check that fails in it fails the
// test. The child has only the calling thread (a lock another thread held at the fork stays held
// in it): call this before the test starts threads that work needs.
inline void runUnprivileged(mode_t mask, const std::function<void()>& work) {
  const pid_t child = (fflush(nullptr), fork());
  if (child == 0) {
    umask(mask);
    if (getuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(77);
    try { work(); } catch (const std::exception& e) { ADD_FAILURE() << e.what(); }
    _exit((fflush(nullptr), ::testing::Test::HasFailure() ? 1 : 0));
  }
  int status = -1;
  if (child > 0) waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot become the user nobody here";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "checks failed as the user nobody under umask 0" << std::oct << mask;
}
