// Process set-up shared by every test of this folder, run before any test (and so before GTK
// starts): the accessibility bridge keeps a D-Bus connection whose buffers LeakSanitizer reports
// at exit, and file choosers would ask a session bus for GSettings; neither is needed here.
#include <cstdlib>

namespace {

struct QuietDesktop {
  QuietDesktop() {
    setenv("NO_AT_BRIDGE", "1", 0);
    setenv("GSETTINGS_BACKEND", "memory", 0);
  }
} g_quietDesktop;

}  // namespace
