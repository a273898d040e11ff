// Permission and mode tests as a user without privileges, since one with them may read and write
// any file (CI runs as root). Root becomes the user nobody (65534 on Debian) for them; anyone else
// is without privileges already.
#pragma once

#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <string>

// Gives the files under path to that user.
inline void giveToUnprivileged(const std::string& path) {
  if (getuid() == 0 && system(("chown -R 65534:65534 '" + path + "'").c_str()) != 0) ADD_FAILURE() << "chown " << path;
}

// What a shell command starts with to run as that user.
inline std::string unprivilegedCommand() { return getuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : ""; }

// Runs work in a child process as that user under umask mask; a check that fails in it fails the
// test. Skips where the user cannot be had. The child has only the calling thread: a lock another
// thread of this process held at the fork stays held in it, so call this before the test starts
// threads that work needs (a plug-in's image decoders, say).
inline void runUnprivileged(mode_t mask, const std::function<void()>& work) {
  fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    umask(mask);
    if (getuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(77);
    try {
      work();
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
    }
    fflush(nullptr);
    _exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  int status = -1;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
    ADD_FAILURE() << "the unprivileged run did not end";
  } else if (WEXITSTATUS(status) == 77) {
    GTEST_SKIP() << "cannot become the user nobody here";
  } else {
    EXPECT_EQ(0, WEXITSTATUS(status)) << "checks failed as the user nobody under umask 0" << std::oct << mask;
  }
}
