// The run command's second start with the synth on: the stand-in host restores the last session
// (the editor's project, every one of the 16 parts on) and sends it to a simulated synth over a
// private JACK server, in its window on a private X server. Each figure stands beside a peer or a
// bound from the same run:
//
//   to the window   seconds from the host's start until its window shows, for the start with the
//                   session (its push then runs behind the window), beside a start with
//                   --no-session and the same ports; the session's start is to stay under 0.5 s
//   to usable       seconds from the host's start until the progress overlay is gone for good
//                   (the push and the device check after it have ended), beside the push's first
//                   message at the synth's port plus the bound below
//   push            seconds from the push's first message at the synth's port to the overlay gone,
//                   beside its bound: the pauses the editor's pacing asks for (the global settings
//                   one pacing interval, the multi 500 ms, each part's sound 150 + 400 ms, the device
//                   check one interval to hear the answer and one after it) plus the bytes it sent,
//                   counted at the synth's port, at the DIN MIDI rate of 31.25 kbit/s (10 bits a byte:
//                   the synth's own input). Over JACK those bytes take no time worth counting, so a
//                   push in order ends near the pauses alone; one beyond the bound waits for
//                   something the pacing does not ask for.
//   close in push   seconds from the window's close (the window manager's request), made while
//                   the session's push runs, to the host's end, beside the bound of 0.5 s; how
//                   many runs saved the session, and how many of the 16 parts' sounds had gone
//                   out by then (the push ends at its next message). A stop signal takes the
//                   same road out of the host's main loop.
//
// --runs N (default 5) rounds of three starts: with the session to its end, with the session closed
// in its push, without a session. Each start with the session restores the first start's. --trace
// prints the first push as the synth saw it (seconds from the host's start, direction, size, device
// byte, command).
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "AUComponent.h"
#include "E2EBenchSupport.h"
#include "HostPlugin.h"
#include "ParamNames.h"

namespace {

bool isSound(const DorvikSim::Bytes& m) { return m.size() == 392; }

// What the session's push sends to the synth: its SysEx from the question for the synth's global
// settings on (the tempo and the notes-off of the start go beside it).
bool isPushed(const DorvikSim::Bytes& m) { return m.size() >= 6 && m[0] == 0xF0 && (m[4] == 0x04 || m.size() > 200); }

// Whether the progress overlay covers the view: its message box (drawn unscaled, in the middle of
// the window) is dark where the multi page of the yellow scheme beneath it is light.
bool overlayShown(const WindowImage& view) {
  const WindowImage box = view.crop(620, 340, 260, 80);
  size_t dark = 0;
  for (size_t i = 0; i + 2 < box.rgb.size(); i += 3)
    dark += box.rgb[i] < 48 && box.rgb[i + 1] < 48 && box.rgb[i + 2] < 48;
  return !box.empty() && dark * 3 * 2 > box.rgb.size();
}

// The moment (MidiTestNow) the overlay went for good: the first of a run of looks without it that
// lasts `quiet` seconds (a job that follows another shows it again at once); -1 after maxSeconds.
double overlayGone(WindowSession& w, double quiet, double maxSeconds) {
  const double end = MidiTestNow() + maxSeconds;
  double since = -1;
  while (MidiTestNow() < end) {
    const double t = MidiTestNow();
    if (overlayShown(w.view()))
      since = -1;
    else if (since < 0)
      since = t;
    else if (t - since >= quiet)
      return since;
    MidiTestSleep(0.01);
  }
  return -1;
}

void report(const char* what, std::vector<double> v, const char* beside) {
  std::sort(v.begin(), v.end());
  if (v.empty() || v.front() < 0) {
    printf("%-44s failed in at least one run\n", what);
    return;
  }
  printf("%-44s median %.3f s, worst %.3f s   %s\n", what, v[v.size() / 2], v.back(), beside);
}

// The first start's session: the editor on the synth's ports with every part on, saved as the
// host saves it when it closes.
bool writeSession(const std::string& path) {
  HostPlugin plug;
  std::string why;
  if (!plug.Load(windowTestBundle(), &why) || !plug.Open(&why)) {
    fprintf(stderr, "e2e_start_bench: %s\n", why.c_str());
    return false;
  }
  for (int part = 0; part < 16; ++part)
    AudioUnitSetParameter(plug.Unit(), kMultiPartStatus + part, kAudioUnitScope_Global, 0, 1.0f, 0);
  const bool saved = plug.SaveState(path, &why);
  if (!saved) fprintf(stderr, "e2e_start_bench: %s\n", why.c_str());
  plug.Close();
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  bool trace = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--runs" && i + 1 < argc) runs = std::max(1, atoi(argv[i + 1]));
    trace = trace || std::string(argv[i]) == "--trace";
  }
  JackTestServer server;
  std::string home;
  if (!benchSetUp("e2e_start_bench", server, &home)) return 1;
  DorvikSim sim;
  if (!sim.ok()) return 1;
  seedInitMemory(sim);

  WindowSession::Options o;
  o.outPort = sim.editorOutputName();
  o.inPort = sim.editorInputName();
  o.returnAtFirstSight = true;
  const std::string data = home + "/Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor/";
  for (size_t i = 1; i <= data.size(); ++i)
    if (i == data.size() || data[i] == '/') mkdir(data.substr(0, i).c_str(), 0755);
  std::ofstream(data + "Sorvanta Editor UI.txt") << "yellow\nnormal\nyes\n" << o.outPort << "\n" << o.inPort << "\n";
  const std::string session = home + "/Sorvanta Editor Session.plist";
  if (!writeSession(session + ".first")) return 1;
  // Every start restores the first start's session: the host saves over it as it ends.
  auto firstSession = [&session] {
    std::filesystem::copy_file(session + ".first", session, std::filesystem::copy_options::overwrite_existing);
  };

  std::vector<double> withSession, without, stops, usable, push, pushBound, pushStart;
  int saved = 0;
  std::vector<size_t> partsSent;
  for (int r = 0; r < runs; ++r) {
    {
      WindowSession w;
      o.hostArgs = {"--session", session};
      sim.clearLog();
      firstSession();
      if (!w.start(o)) {
        fprintf(stderr, "e2e_start_bench: %s\n", w.why().c_str());
        return 1;
      }
      withSession.push_back(w.startToWindow());
      const double hostStart = MidiTestNow() - w.startToWindow();
      const double gone = overlayGone(w, 1.0, 60.0);
      const std::vector<DorvikSim::Entry> pushed = sim.received(isPushed);
      if (gone < 0 || sim.received(isSound).size() != 16) {
        fprintf(stderr, "e2e_start_bench: the overlay stayed, or the session's 16 parts were not sent\n");
        return 1;
      }
      size_t bytes = 0;
      for (const auto& e : pushed) bytes += e.bytes.size();
      const double pacing = 0.1;  // the session's pacing interval (kLibSyncTimer 2)
      const double pauses = pacing + 0.5 + 16 * (0.15 + 0.4) + 2 * pacing;
      usable.push_back(gone - hostStart);
      pushStart.push_back(pushed.front().time - hostStart);
      push.push_back(gone - pushed.front().time);
      pushBound.push_back(pauses + bytes * 10 / 31250.0);
      if (trace && r == 0)
        for (const auto& e : sim.log())
          printf("%8.3f %s %4zu bytes, device %02X, command %02X\n", e.time - hostStart, e.incoming ? "in " : "out",
                 e.bytes.size(), e.bytes.size() > 4 ? e.bytes[3] : 0, e.bytes.size() > 4 ? e.bytes[4] : e.bytes[0]);
      if (r == 0)
        printf("push bound: pauses %.3f s + %zu bytes at 31.25 kbit/s %.3f s\n", pauses, bytes, bytes * 10 / 31250.0);
      w.stop();
    }
    {
      WindowSession w;
      sim.clearLog();
      firstSession();
      if (!w.start(o)) {
        fprintf(stderr, "e2e_start_bench: %s\n", w.why().c_str());
        return 1;
      }
      // The push under way: the global dump, the multi, a first part's sound.
      if (!sim.waitFor(isSound, 1, 20.0)) {
        fprintf(stderr, "e2e_start_bench: the session was not sent\n");
        return 1;
      }
      stops.push_back(w.closeWindow());
      saved += w.output().find("saved the session") != std::string::npos;
      partsSent.push_back(sim.received(isSound).size());
    }
    {
      WindowSession w;
      o.hostArgs = {"--no-session"};
      if (!w.start(o)) {
        fprintf(stderr, "e2e_start_bench: %s\n", w.why().c_str());
        return 1;
      }
      without.push_back(w.startToWindow());
      w.stop();
    }
  }
  printf("e2e_start_bench: %d starts of each kind, the synth on, 16 parts on in the session\n", runs);
  report("start to window, session restored and sent", withSession, "(bound 0.5 s)");
  report("start to window, --no-session", without, "(peer)");
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  char beside[96];
  snprintf(beside, sizeof beside, "(push's first message %.3f s + bound %.3f s)", median(pushStart), median(pushBound));
  report("start to usable (progress overlay gone)", usable, beside);
  snprintf(beside, sizeof beside, "(bound %.3f s: pacing + bytes at DIN rate)", median(pushBound));
  report("push's first message to usable", push, beside);
  report("close in the push to the host's end", stops, "(bound 0.5 s)");
  std::string sent;
  for (size_t n : partsSent) sent += " " + std::to_string(n);
  printf("session saved after the close in %d of %d runs; part sounds sent before the close:%s of 16\n", saved, runs,
         sent.c_str());
  std::system(("rm -rf '" + home + "'").c_str());
  return 0;
}
