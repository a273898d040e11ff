// For the host's signal test: GTK loads it as it starts (GTK_MODULES); it holds the start until the
// file SORVANTA_SLOW_START_RELEASE names exists, which the test makes once it has sent its signal,
// so the signal always arrives while the toolkit starts, however busy the machine.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

extern "C" __attribute__((visibility("default"))) void gtk_module_init(int*, char***) {
  fprintf(stderr, "test module: GTK starting\n");
  const char* release = getenv("SORVANTA_SLOW_START_RELEASE");
  for (int i = 0; i < 2400 && release && access(release, F_OK) != 0; ++i) usleep(50000);  // the bound: a test that never lets go
}
