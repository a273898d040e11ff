// window-review: writes a screenshot of every main tab of the real running editor, for each
// colour scheme at the normal size, as <out>/window-<scheme>-<tab>.png: the review sheets a
// person looks through after changing the interface. Usage: window-review OUTPUT_FOLDER
// Each scheme runs in its own session on a private X server with an empty library.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "BankGenerator.h"
#include "WindowFlows.h"
#include "WindowSession.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: window-review OUTPUT_FOLDER\n");
    return 1;
  }
  const std::string out = argv[1];
  std::filesystem::create_directories(out);
  if (!WindowSession::available()) {
    fprintf(stderr, "window-review: no Xvfb here; no review sheets written\n");
    return 0;
  }
  int failures = 0;
  for (const char* scheme : {"yellow", "blue", "obsidra"}) {
    testbanks::TempDataHome home;
    WindowSession w;
    WindowSession::Options o;
    o.scheme = scheme;
    if (!w.start(o)) {
      fprintf(stderr, "window-review: %s: %s\n", scheme, w.why().c_str());
      ++failures;
      continue;
    }
    for (int tab = 0; tab < kMainTabCount; ++tab) {
      showTab(w, tab);
      const std::string path = out + "/window-" + scheme + "-" + kMainTabNames[tab] + ".png";
      if (!w.settle().writePng(path)) {
        fprintf(stderr, "window-review: cannot write %s\n", path.c_str());
        ++failures;
      }
    }
    w.stop();
  }
  return failures ? 1 : 0;
}
