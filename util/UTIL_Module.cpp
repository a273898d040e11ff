#include "UTIL_Module.h"

#include <dlfcn.h>

bool UTIL_KeepModuleLoaded(const void* code) {
  Dl_info self;
  if (!dladdr(code, &self) || !self.dli_fname) return false;
  // The module is loaded already; this only marks it never to be unloaded. The reference taken
  // here is never given back.
  return dlopen(self.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
}
