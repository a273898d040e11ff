// A loadable module for the module tests: counts attach and detach calls in the loading
// program's environment, and refuses to attach when WINXWIN_REFUSE is set.
#include <cstdio>
#include <cstdlib>

#include "WINX_Memory.h"

namespace {
void bump(const char* name) {
  const char* v = getenv(name);
  char buf[16];
  snprintf(buf, sizeof buf, "%d", (v ? atoi(v) : 0) + 1);
  setenv(name, buf, 1);
}
}  // namespace

extern "C" int WINX_dllMain(HINSTANCE, int reason, void*) {
  bump(reason ? "WINXWIN_ATTACH" : "WINXWIN_DETACH");
  return getenv("WINXWIN_REFUSE") ? 0 : 1;
}

extern "C" int winxwin_answer() { return 42; }
