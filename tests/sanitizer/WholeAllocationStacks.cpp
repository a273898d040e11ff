// Linked into test programs that load a plug-in bundle in their own process. Under AddressSanitizer
// the bundle draws text through fontconfig, whose caches live as long as the process; lsan.supp
// names them by function. fontconfig is built without frame pointers, so the fast walk stops at
// its first frame and those names are never seen: these programs walk allocation stacks in full.
// Options from the environment still apply on top of these.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define WHOLE_ALLOCATION_STACKS 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define WHOLE_ALLOCATION_STACKS 1
#endif
#ifdef WHOLE_ALLOCATION_STACKS
extern "C" const char* __asan_default_options() {
  return "fast_unwind_on_malloc=0:malloc_context_size=128";
}
#endif
