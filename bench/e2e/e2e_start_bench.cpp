// The run command's second start with the synth on: the stand-in host restores the last session
// (the editor's project, every one of the 16 parts on) and sends it to a simulated synth over a
// private JACK server, in its window on a private X server. Each figure stands beside a peer or a
// bound from the same run:
//
//   to the window   seconds from the host's start until its window shows, for the start with the
//                   session (its push then runs behind the window), beside a start with
//                   --no-session and the same ports; the session's start is to stay under 0.5 s
//   close in push   seconds from the window's close (the window manager's request), made while
//                   the session's push runs, to the host's end, beside the bound of 0.5 s; how
//                   many runs saved the session, and how many of the 16 parts' sounds had gone
//                   out by then (the push ends at its next message). A stop signal takes the
//                   same road out of the host's main loop.
//
// --runs N (default 5) starts of each kind, taking turns.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "AUComponent.h"
#include "E2EBenchSupport.h"
#include "HostPlugin.h"
#include "ParamNames.h"

namespace {

bool isSound(const DorvikSim::Bytes& m) { return m.size() == 392; }

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
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--runs") runs = std::max(1, atoi(argv[i + 1]));
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
  if (!writeSession(session)) return 1;

  std::vector<double> withSession, without, stops;
  int saved = 0;
  std::vector<size_t> partsSent;
  for (int r = 0; r < runs; ++r) {
    {
      WindowSession w;
      o.hostArgs = {"--session", session};
      sim.clearLog();
      if (!w.start(o)) {
        fprintf(stderr, "e2e_start_bench: %s\n", w.why().c_str());
        return 1;
      }
      withSession.push_back(w.startToWindow());
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
  report("close in the push to the host's end", stops, "(bound 0.5 s)");
  std::string sent;
  for (size_t n : partsSent) sent += " " + std::to_string(n);
  printf("session saved after the close in %d of %d runs; part sounds sent before the close:%s of 16\n", saved, runs,
         sent.c_str());
  std::system(("rm -rf '" + home + "'").c_str());
  return 0;
}
