// A whole bank received from the synth into the librarian: the stand-in host runs the editor
// bundle in its window on a private X server, against a simulated synth on a private JACK server
// that answers each request in 10 ms. The figure is the time from the first request at the synth
// to its hundredth answer; beside it, its bound: the pause the editor keeps after each answer (the
// librarian's sync timer) plus the synth's answer time, a hundred times. A stall shows as the
// longest time from an answer to the next request, beside the pause.
//
// e2e_bank_bench [ROUNDS] [--lose N]: with --lose, each round the answer to number N is lost as
// JACK loses one for a client that ran late, and a client runs late for a few cycles meanwhile.
#include <unistd.h>
#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "BankGenerator.h"
#include "E2EBenchSupport.h"
#include "JackMidiClient.h"
#include "Percentile.h"
#include "SysexProtocol.h"
#include "WindowFlows.h"

int main(int argc, char** argv) {
  int rounds = 3, lose = -1;
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--lose" && i + 1 < argc) lose = std::clamp(atoi(argv[++i]), 1, 99);
    else rounds = std::max(1, atoi(argv[i]));
  JackTestServer server;
  std::string home;
  if (!benchSetUp("e2e_bank_bench", server, &home)) return 1;
  DorvikSim sim;
  if (!sim.ok()) return 1;
  const double replyDelay = 0.010;
  sim.setReplyDelay(replyDelay);
  seedInitMemory(sim);
  const std::vector<testbanks::Bytes> bankB = testbanks::sounds(100, "Synth", {"Lead"});
  for (int n = 0; n < 100; ++n) sim.storeSound(1, n, bankB[static_cast<size_t>(n)]);
  const std::string patches = home + "/Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor/Patches";
  if (system(("mkdir -p '" + patches + "'").c_str()) != 0) return 1;
  writeTwoBanks(patches);
  WindowSession w;
  if (!startOnSim("e2e_bank_bench", w, sim, 1.5)) return 1;
  showTab(w, 1);
  // The librarian's sync timer as the editor starts: 100 ms after each answer.
  const double pauseMs = sysex::pacingIntervalMs(2);
  const double bound = 100.0 * (pauseMs + replyDelay * 1000.0);
  auto isRequest = [](const DorvikSim::Bytes& m) { return m.size() == 8 && m[4] == 0x00 && m[5] == 1; };
  bool ok = true;
  for (int round = 0; round < rounds && ok; ++round) {
    sim.clearLog();
    if (lose > 0) {
      std::vector<double> after(static_cast<size_t>(lose), replyDelay);
      after.push_back(-1.0);
      sim.answerAfter(after);
    }
    // The request menu: all of bank B.
    if (!w.menu(877, 196, {"Down", "Right", "Down", "Down", "Down", "Down", "Return"})) {
      fprintf(stderr, "e2e_bank_bench: no request menu\n");
      return 1;
    }
    jack_client_t* late = nullptr;
    std::atomic<int> lateCycles{3};
    if (lose > 0 && sim.waitFor([&](const DorvikSim::Bytes& m) { return isRequest(m) && m[6] == lose; }, 1, 60.0) &&
        (late = jackmidi::openBareClient(("Late " + std::string(MidiTestClientSuffix())).c_str(), JackNoStartServer, nullptr))) {
      jack_set_process_callback(late, [](jack_nframes_t, void* n) { return static_cast<std::atomic<int>*>(n)->fetch_sub(1) > 0 ? usleep(30000) : 0; }, &lateCycles);
      jack_activate(late);
    }
    const bool ended = sim.waitFor([](const DorvikSim::Bytes& m) { return m.size() == 8 && m[5] == 1 && m[6] == 99; }, 1, 120.0);
    if (late) jack_client_close(late);
    if (!ended) {
      fprintf(stderr, "e2e_bank_bench: the bank never ended\n");
      ok = false;
      break;
    }
    MidiTestSleep(0.5);
    double first = 0.0, last = 0.0, answeredAt = 0.0, longest = 0.0, askedAt = 0.0, again = 0.0;
    int requests = 0, longestAt = -1;
    std::vector<double> gaps;
    for (const DorvikSim::Entry& e : sim.log()) {
      if (e.incoming && isRequest(e.bytes)) {
        ++requests;
        if (!first) first = e.time;
        if (answeredAt) {
          gaps.push_back((e.time - answeredAt) * 1000.0);
          if (gaps.back() > longest) longest = gaps.back(), longestAt = e.bytes[6];
        }
        if (!answeredAt && askedAt) again = std::max(again, (e.time - askedAt) * 1000.0);
        askedAt = e.time, answeredAt = 0.0;
      } else if (!e.incoming && e.bytes.size() == 392 && first) {
        answeredAt = last = e.time;
      }
    }
    const double took = (last - first) * 1000.0;
    printf("round %d: %d requests, first request -> 100th answer %.0f ms; bound: 100 x (pause %.0f ms + answer %.0f ms)"
           " = %.0f ms; %.2fx (%s); answer -> next request p50 %.1f ms, max %.1f ms (before the request for %d); unanswered -> asked again max %.1f ms\n",
           round + 1, requests, took, pauseMs, replyDelay * 1000.0, bound, took / bound,
           took <= 1.1 * bound ? "within 1.1x" : "OVER 1.1x", percentile(gaps, 50), longest, longestAt, again);
    w.settle();
  }
  // Why a wait took longer than its first poll, as the engine says it.
  std::istringstream log(w.editorLog());
  for (std::string line; std::getline(log, line);)
    if (line.find("PROCESSOR: request") != std::string::npos || line.find("once more") != std::string::npos)
      printf("  %s\n", line.c_str());
  w.stop();
  if (system(("rm -rf '" + home + "'").c_str()) != 0) {
  }
  return ok ? 0 : 1;
}
