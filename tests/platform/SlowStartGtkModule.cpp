// For the host's signal test: GTK loads it as it starts (GTK_MODULES); it holds the start a second.
#include <unistd.h>

#include <cstdio>

extern "C" __attribute__((visibility("default"))) void gtk_module_init(int*, char***) {
  fprintf(stderr, "test module: GTK starting\n");
  for (int i = 0; i < 20; ++i) usleep(50000);  // a signal cuts one pause short, not the hold
}
