#include "UTIL_Module.h"

#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>

bool UTIL_KeepModuleLoaded(const void* code) {
  Dl_info self;
  if (!dladdr(code, &self) || !self.dli_fname) return false;
  // A library is loaded already; this only marks it never to be unloaded. The reference taken
  // here is never given back.
  if (dlopen(self.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE)) return true;
  char* module = realpath(self.dli_fname, nullptr);
  char* program = realpath("/proc/self/exe", nullptr);
  const bool mainProgram = module && program && !strcmp(module, program);
  free(module);
  free(program);
  return mainProgram;
}
