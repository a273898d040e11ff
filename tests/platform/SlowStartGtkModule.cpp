// A GTK module for the host's signal test: GTK loads it while it starts (GTK_MODULES), and it holds
// the start there for a second, saying so, so that a stop signal is sure to come meanwhile.
#include <unistd.h>

#include <cstdio>

extern "C" __attribute__((visibility("default"))) void gtk_module_init(int*, char***) {
  fprintf(stderr, "test module: GTK starting\n");
  for (int i = 0; i < 20; ++i) usleep(50000);  // a signal cuts one pause short, not the hold
}
