// What the end-to-end benchmarks set up before they start the host in its window: an X server to
// be had, a private JACK server, a data folder of their own (XDG_DATA_HOME), and a simulated synth
// whose memory holds the init sound, multi and globals.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "DorvikSim.h"
#include "DumpLayout.h"
#include "JackTestServer.h"
#include "WindowSession.h"

// False, saying why as `name`, when there is no Xvfb or the server did not start; *home: the
// data folder's home, made under /tmp.
inline bool benchSetUp(const char* name, JackTestServer& server, std::string* home) {
  if (!WindowSession::available()) {
    fprintf(stderr, "%s: no Xvfb\n", name);
    return false;
  }
  if (!server.start()) {
    fprintf(stderr, "%s: no JACK server\n", name);
    return false;
  }
  char tmpl[] = "/tmp/sorvanta-bench-XXXXXX";
  *home = mkdtemp(tmpl);
  setenv("XDG_DATA_HOME", home->c_str(), 1);
  return true;
}

inline void seedInitMemory(DorvikSim& sim) {
  auto bytes = [](const auto& a) { return DorvikSim::Bytes(a.begin(), a.end()); };
  sim.setMemory(bytes(dump::initSound()), bytes(dump::initMulti()), bytes(dump::globalTemplate()));
}

// Starts the editor in its window on the sim's ports and waits for its start-up handshake and
// then `settle` seconds more; false, saying why as `name`.
inline bool startOnSim(const char* name, WindowSession& w, DorvikSim& sim, double settle) {
  WindowSession::Options options;
  options.outPort = sim.editorOutputName();
  options.inPort = sim.editorInputName();
  if (!w.start(options)) {
    fprintf(stderr, "%s: %s\n", name, w.why().c_str());
    return false;
  }
  if (!sim.waitFor([](const DorvikSim::Bytes& b) { return b.size() == 6 && b[4] == 0x04; }, 1, 20.0)) {
    fprintf(stderr, "%s: no handshake\n", name);
    return false;
  }
  MidiTestSleep(settle);
  return true;
}
