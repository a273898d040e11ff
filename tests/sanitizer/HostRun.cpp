// Runs the real host program with the editor's bundle, a window and MIDI traffic, for the
// sanitizer builds: a private JACK server (dummy driver), a peer standing in for the synth whose
// ports the editor's settings file names, and the peer flooding the editor with parameter
// changes, controllers and program changes (10,000 messages a second) from before the host
// starts, as a synth that is already sending does: the editor reopens its ports while it is being
// made. The exit status is the host's: 0 only when the host ended cleanly, with no sanitizer
// report that the suppressions in this folder do not name.
//
//   host_sanitizer_run HOST BUNDLE SECONDS
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "JackTestServer.h"
#include "MidiTestPeer.h"

namespace {

void makeFolders(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i)
    if (i == path.size() || path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: host_sanitizer_run HOST BUNDLE SECONDS\n");
    return 2;
  }
  const std::string host = argv[1], bundle = argv[2], seconds = argv[3];
  setvbuf(stdout, nullptr, _IOLBF, 0);

  JackTestServer server;
  if (!server.start()) return 2;
  MidiTestPeer peer;
  if (!peer.ok()) return 2;

  // A data folder of its own whose settings file names the peer's ports (first run done), so the
  // editor opens them as it starts.
  char tmpl[] = "/tmp/sorvanta-hostrun-XXXXXX";
  if (!mkdtemp(tmpl)) return 2;
  const std::string root = tmpl;
  const std::string data = root + "/Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor";
  makeFolders(data + "/Patches");
  std::ofstream(data + "/Sorvanta Editor LOG.txt");  // present: the editor logs into it
  std::ofstream(data + "/Sorvanta Editor UI.txt") << "yellow\nnormal\nyes\n" << peer.inputPortName() << "\n" << peer.outputPortName();
  setenv("XDG_DATA_HOME", root.c_str(), 1);
  // Leaks of the system libraries are named by their exported functions (lsan.supp), which only
  // whole stacks reach: the fast walk stops at the first library built without frame pointers.
  if (const char* asan = getenv("ASAN_OPTIONS"))
    setenv("ASAN_OPTIONS", (std::string(asan) + ":fast_unwind_on_malloc=0:malloc_context_size=128").c_str(), 1);

  // A synth's knob sweep, controllers and now and then a program change, kRate messages a
  // second from before the host starts until it ends (or is killed a minute past its time).
  const double kRate = 10000.0;
  long sent = 0;
  unsigned v = 0;
  const double start = MidiTestNow();
  // At most a few JACK periods' worth at once: a late wake-up catches up without overrunning the
  // peer's output queue.
  auto sendDue = [&] {
    const long due = static_cast<long>((MidiTestNow() - start) * kRate);
    for (int burst = 0; sent < due && burst < 200; ++burst, ++v) {
      const unsigned char value = static_cast<unsigned char>(v & 0x7F);
      if (v % 500 == 0) {
        peer.send({0xC0, static_cast<unsigned char>((v / 500) & 0x7F)});
      } else if (v % 2) {
        peer.send({0xB0, 0x4A, value});
      } else {
        peer.send({0xF0, 0x3E, 0x10, 0x00, 0x20, 0x00, 0x00, 0x4E, value, 0xF7});
      }
      ++sent;
    }
  };
  while (MidiTestNow() < start + 0.2) {
    sendDue();
    MidiTestSleep(0.001);
  }

  const pid_t pid = fork();
  if (pid == 0) {
    execl(host.c_str(), host.c_str(), "--seconds", seconds.c_str(), "--play", "--at", "0.5 midi B0 07 64", "--at", "1 tempo 140",
          "--at", "1.5 sysex F0 3E 10 00 20 00 00 4E 40 F7", "--at", "2 stop", "--at", "2.5 play", bundle.c_str(), (char*)nullptr);
    perror("host_sanitizer_run: exec");
    _exit(127);
  }
  if (pid < 0) return 2;

  const double limit = MidiTestNow() + atof(seconds.c_str()) + 60.0;
  int status = 0;
  pid_t done = 0;
  while ((done = waitpid(pid, &status, WNOHANG)) == 0) {
    if (MidiTestNow() > limit) {
      fprintf(stderr, "host_sanitizer_run: the host did not end; killed\n");
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      done = pid;
      break;
    }
    sendDue();
    MidiTestSleep(0.001);
  }
  const double took = MidiTestNow() - start;
  printf("host_sanitizer_run: host ended after %.1f s; the peer sent %ld messages (%.0f a second) and received %zu\n", took, sent,
         sent / took, peer.messageCount());
  const int rc = done == pid && WIFEXITED(status) ? WEXITSTATUS(status) : 1;
  if (done != pid || !WIFEXITED(status))
    fprintf(stderr, "host_sanitizer_run: the host did not exit normally (signal %d)\n", WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  else if (rc != 0)
    fprintf(stderr, "host_sanitizer_run: the host exited with %d\n", rc);
  if (rc != 0)
    fprintf(stderr, "host_sanitizer_run: the editor's data folder (with its log) is kept in %s\n", root.c_str());
  else if (system(("rm -rf '" + root + "'").c_str()) != 0)
    fprintf(stderr, "host_sanitizer_run: could not remove %s\n", root.c_str());
  return rc;
}
