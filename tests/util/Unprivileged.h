// Permission and mode tests as a user without privileges, since one with them may read and write
// any file (CI runs as root): root becomes the user nobody (65534 on Debian) for them.
//
// Such a row never depends on where the clone lies (root's home, or a private temporary folder, is
// one other users cannot enter): what it runs as that user is copied where that user may enter
// (ReachableCopies), or runs in this very test program. A row that cannot run as that user fails
// under CI (CI=true) and is skipped elsewhere, saying why; each row that ran is one line in the
// file SORVANTA_UNPRIVILEGED_ROWS names, which the test command counts.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <grp.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "Child.h"

extern char** environ;

inline void giveToUnprivileged(const std::string& path) {
  if (getuid() == 0 && system(("chown -R 65534:65534 '" + path + "'").c_str()) != 0) ADD_FAILURE() << "chown " << path;
}

// What a shell command starts with to run as that user.
inline std::string unprivilegedCommand() { return getuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : ""; }

// A row that cannot run as that user: a failure under CI, a skip that says why elsewhere.
inline void unprivilegedRowCannotRun(const std::string& why) {
  const char* ci = getenv("CI");
  if (ci && (strcmp(ci, "true") == 0 || strcmp(ci, "1") == 0)) {
    ADD_FAILURE() << "a permission row cannot run here: " << why;
    return;
  }
  GTEST_SKIP() << why;
}

// A row that ran as that user: "Suite.Test what" on a line of its own in the file the test command
// named.
inline void unprivilegedRowRan(const std::string& what) {
  const char* file = getenv("SORVANTA_UNPRIVILEGED_ROWS");
  if (!file || !*file) return;
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string line = (test ? std::string(test->test_suite_name()) + "." + test->name() : "?") + " " + what + "\n";
  const int fd = open(file, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0 || write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) ADD_FAILURE() << "cannot count the row in " << file;
  if (fd >= 0) close(fd);
}

// Copies of what a test runs as that user (a script, the host program, a bundle) in a fresh folder
// that user may enter and read; removed with the object.
class ReachableCopies {
public:
  ReachableCopies() {
    char tmpl[] = "/tmp/sorvanta-reachable-XXXXXX";
    if (mkdtemp(tmpl) && chmod(tmpl, 0755) == 0) m_folder = tmpl;
    if (m_folder.empty()) ADD_FAILURE() << "no folder for the copies";
  }
  ~ReachableCopies() {
    if (!m_folder.empty() && system(("rm -rf '" + m_folder + "'").c_str()) != 0) ADD_FAILURE() << "cannot remove " << m_folder;
  }
  ReachableCopies(const ReachableCopies&) = delete;
  ReachableCopies& operator=(const ReachableCopies&) = delete;

  // The copy of the file or folder at path (links followed), under its own name, readable by all.
  std::string operator()(const std::string& path) {
    const std::string dir = m_folder + "/" + std::to_string(++m_copies), copy = dir + path.substr(path.find_last_of('/'));
    if (system(("mkdir -m 0755 '" + dir + "' && cp -RL '" + path + "' '" + copy + "' && chmod -R a+rX '" + copy + "'").c_str()) != 0)
      ADD_FAILURE() << "cannot copy " << path;
    return copy;
  }

  // What a shell command starts with to run as that user from the copies' folder (ended should it
  // outlast the bound on a child), the sanitizers' suppression files copied there too.
  std::string command() {
    if (!m_command.empty()) return m_command;
    std::string vars;
    for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"}) {
      const char* value = getenv(name);
      if (!value || !strstr(value, "suppressions=")) continue;
      std::string options, option;
      for (std::stringstream in(value); std::getline(in, option, ':');)
        options += (options.empty() ? "" : ":") + (option.rfind("suppressions=", 0) == 0 ? "suppressions=" + (*this)(option.substr(13)) : option);
      vars += std::string(" ") + name + "='" + options + "'";
    }
    return m_command = "cd '" + m_folder + "' && timeout -k 5 " + std::to_string(static_cast<int>(kChildBoundSeconds)) + " " +
                       unprivilegedCommand() + (vars.empty() ? "" : "env" + vars + " ");
  }

private:
  std::string m_folder, m_command;
  int m_copies = 0;
};

namespace unprivileged {

// The fresh run that a call stands for: set in it, with the call's number in its test.
constexpr const char* kCallVariable = "SORVANTA_UNPRIVILEGED_CALL";
// How the fresh run ends.
enum : int { kCannotBecomeTheUser = 77, kChecksPassed = 80, kChecksFailed = 81 };

// Thrown in the fresh run once its call is done: the test ends there, and its fixture and folders
// go as they would.
struct CallDone : std::exception {
  const char* what() const noexcept override { return "(the run as the user nobody ends here)"; }
};

inline int& verdict() {
  static int v = kChecksFailed;
  return v;
}

inline void becomeTheUser(bool unprivileged) {
  if (getuid() != 0) return;
  const bool done = unprivileged ? setgroups(0, nullptr) == 0 && setegid(65534) == 0 && seteuid(65534) == 0
                                 : seteuid(0) == 0 && setegid(0) == 0;
  if (!done) _exit(kCannotBecomeTheUser);
}

// The fresh run's part: work as that user, then the test ends with the verdict as the exit status.
inline void runHere(mode_t mask, const std::function<void()>& work) {
  const mode_t old = umask(mask);
  becomeTheUser(true);
  try {
    work();
  } catch (const std::exception& e) {
    ADD_FAILURE() << e.what();
  }
  becomeTheUser(false);
  umask(old);
  verdict() = ::testing::Test::HasFailure() ? kChecksFailed : kChecksPassed;
  atexit([] { fflush(nullptr), _exit(verdict()); });
  throw CallDone();
}

}  // namespace unprivileged

// Runs work as that user under umask mask; a check that fails in it fails the test. Work runs in a
// fresh run of this test program that runs this test alone and up to this call (a forked copy of
// this process would inherit any lock another of its threads held, such as the image decoders'
// when the whole program runs, and could hang on it): what the test did before the call is done
// again there, and nothing work does in memory comes back.
inline void runUnprivileged(mode_t mask, const std::function<void()>& work) {
  static const ::testing::TestInfo* test = nullptr;
  static int calls = 0;
  const ::testing::TestInfo* current = ::testing::UnitTest::GetInstance()->current_test_info();
  if (current != test) test = current, calls = 0;
  const int call = ++calls;
  if (const char* wanted = getenv(unprivileged::kCallVariable)) {
    if (atoi(wanted) == call) unprivileged::runHere(mask, work);
    return;
  }
  const std::string filter = std::string("--gtest_filter=") + current->test_suite_name() + "." + current->name(),
                    variable = std::string(unprivileged::kCallVariable) + "=" + std::to_string(call);
  std::vector<char*> args = {const_cast<char*>("/proc/self/exe"), const_cast<char*>(filter.c_str()), nullptr}, vars;
  for (char** v = environ; *v; ++v)
    if (strncmp(*v, "GTEST_", 6) != 0) vars.push_back(*v);
  vars.push_back(const_cast<char*>(variable.c_str()));
  vars.push_back(nullptr);
  char out[] = "/tmp/sorvanta-unprivileged-out-XXXXXX";
  const int fd = mkstemp(out);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fd, 1);
  posix_spawn_file_actions_adddup2(&actions, fd, 2);
  pid_t child = -1;
  const bool spawned = fd >= 0 && (fflush(nullptr), posix_spawn(&child, args[0], &actions, nullptr, args.data(), vars.data())) == 0;
  posix_spawn_file_actions_destroy(&actions);
  int status = -1;
  const bool ended = spawned && waitForChild(child, &status);
  std::stringstream said;
  said << std::ifstream(out).rdbuf();
  if (fd >= 0) close(fd), unlink(out);
  const int code = ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  char octal[8];
  snprintf(octal, sizeof octal, "%03o", static_cast<unsigned>(mask));
  const std::string as = std::string("as the user nobody under umask ") + octal;
  if (code == unprivileged::kCannotBecomeTheUser) return unprivilegedRowCannotRun("cannot become the user nobody here");
  EXPECT_TRUE(ended) << "the run " << as << " did not end within " << kChildBoundSeconds << " s:\n" << said.str();
  EXPECT_TRUE(!ended || code == unprivileged::kChecksPassed) << "checks failed " << as << " (exit status " << code << "):\n" << said.str();
  if (code == unprivileged::kChecksPassed || code == unprivileged::kChecksFailed) unprivilegedRowRan(as);
}
