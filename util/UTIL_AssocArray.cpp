#include "UTIL_AssocArray.h"

#include <strings.h>

#include <cstdint>

int UTIL_cmpstr(const char** a, const char** b) { return strcmp(*a, *b); }

int UTIL_cmpistr(const char** a, const char** b) { return strcasecmp(*a, *b); }

const char* UTIL_dupstr(const char* s) { return s ? strdup(s) : nullptr; }

void UTIL_freestr(const char* s) { free(const_cast<char*>(s)); }

void UTIL_freecharptr(char* s) { free(s); }

int UTIL_libkeycomp(void** a, void** b) {
  // Compared as integers, not subtracted: the difference of two pointers may not fit an int.
  uintptr_t x = reinterpret_cast<uintptr_t>(*a), y = reinterpret_cast<uintptr_t>(*b);
  return x < y ? -1 : (x > y ? 1 : 0);
}
