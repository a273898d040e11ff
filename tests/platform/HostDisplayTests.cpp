// The host program with its window (needs a display): a timed end (--seconds) and a signal both
// end the session while the plug-in holds a modal dialog and a pop-up menu open, each in a nested
// main loop. `timeout` bounds every run: a host that cannot end fails instead of hanging.
#include <gtest/gtest.h>

#include <string>

#include "HostRunSupport.h"

TEST(HostWindow, TimedOrSignalledEndClosesOpenMenusAndDialogs) {
  const std::string host = std::string("timeout -s KILL 30 ") + SORVANTA_HOST_EXE + " ";
  const std::string bundle = SORVANTA_TEST_BUNDLE;
  const std::string runs[] = {
      host + "--seconds 1.5 " + bundle,
      // The signal once the menu is open, however long the start takes on a busy machine.
      "sh -c 'f=$(mktemp); " + host + bundle + " >$f 2>&1 & p=$!; for i in $(seq 400); do grep -q \"menu open\" $f && break; "
      "sleep 0.05; done; kill -TERM $p; wait $p; r=$?; cat $f; rm -f $f; exit $r'",
  };
  for (const std::string& cmd : runs) {
    // The host's leaks are checked by the sanitizer configurations' own host run, which walks
    // whole stacks; walking them here would slow GTK's start past the time this run allows.
    RunResult r = runCommand("SORVANTA_TEST_MODAL=1 ASAN_OPTIONS=\"${ASAN_OPTIONS}:detect_leaks=0\" " + cmd);
    EXPECT_EQ(0, r.exitCode) << cmd << "\n" << r.output;
    for (const char* line : {"test modal: dialog open", "test modal: menu open", "test modal: menu closed", "test modal: dialog closed", "rendered"})
      EXPECT_NE(std::string::npos, r.output.find(line)) << cmd << ": no \"" << line << "\"\n" << r.output;
  }
}

// A stop while the toolkit starts (a GTK module holds it) ends the session in order, saving it.
TEST(HostWindow, AStopWhileTheToolkitStartsSavesTheSession) {
  const std::string dir = testing::TempDir() + "stop-in-start", out = dir + "/out";
  RunResult r = runCommand("rm -rf " + dir + "; mkdir " + dir + "; ASAN_OPTIONS=\"${ASAN_OPTIONS}:detect_leaks=0\" GTK_MODULES="
                           SORVANTA_SLOW_START_MODULE " timeout -s KILL 30 "
                           SORVANTA_HOST_EXE " --session " + dir + "/s.plist " SORVANTA_TEST_BUNDLE " >" + out + " 2>&1 & p=$!; for i in "
                           "$(seq 400); do grep -q \"GTK starting\" " + out + " && break; sleep 0.05; done; kill -TERM $p; wait $p; "
                           "r=$?; cat " + out + "; exit $r");
  EXPECT_EQ(0, r.exitCode) << r.output;
  EXPECT_NE(std::string::npos, r.output.find("saved the session")) << r.output;
}
