// The sanitizer suppressions of a program (or bundle) that draws text through Pango and GTK. Include
// in exactly one source file of each binary: it defines the runtime's hooks, and a second
// definition fails at link time. The runtime asks only the program for them: a bundle's own go
// unread in a host, so the host program includes this as well as the text code does.
//
// Under LeakSanitizer: fontconfig and Pango keep caches they never free (pattern caches made by
// Pango's fontconfig threads, fontsets behind pango_context_get_metrics), and fontconfig refers
// to a pattern's parts by offsets, which the leak checker cannot follow; a bare C program that
// asks Pango for one font's metrics already "leaks" them, and so does GTK when it lays out its
// own labels, text views and file choosers. They are suppressed by the nearest exported function
// of the library that allocates them. fontconfig is built without frame pointers, so the fast
// walk stops at its first frame and those names are never seen: only allocation stacks walked in
// full reach them (a slow walk that each program asks for as it can afford). Never by library:
// our own allocations are still checked.
//
// Under ThreadSanitizer: Pango resolves fonts on a worker thread of its own ("[pango]
// FcFontSetMatch") and hands the results over through GLib's locks, which TSan cannot see in the
// uninstrumented libraries, so every first font shows a "race" on the strings fontconfig copies
// there (FcValueSave). Named by function, never by library: a library pattern matches any stack
// through it, our own code's included.
#pragma once

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define UTIL_LSAN_DEFAULTS 1
#endif
#if __has_feature(thread_sanitizer)
#define UTIL_TSAN_DEFAULTS 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define UTIL_LSAN_DEFAULTS 1
#endif
#if defined(__SANITIZE_THREAD__)
#define UTIL_TSAN_DEFAULTS 1
#endif

#ifdef UTIL_LSAN_DEFAULTS
extern "C" const char* __lsan_default_suppressions() {
  return "leak:^FcInitLoadConfigAndFonts$\n"
         "leak:^FcConfigSubstituteWithPat$\n"
         "leak:^FcDefaultSubstitute$\n"
         "leak:^FcFontRenderPrepare$\n"
         "leak:^FcFontSetSort$\n"
         "leak:^FcPatternBuild$\n"
         "leak:^FcValueSave$\n"
         "leak:^FcLangSetCopy$\n"
         "leak:^pango_layout_get_line_count$\n"
         "leak:^pango_layout_get_size$\n"
         "leak:^pango_layout_get_cursor_pos$\n"
         "leak:^pango_layout_get_unknown_glyphs_count$\n"
         "leak:^pango_context_get_metrics$\n"
         "leak:^gtk_widget_get_preferred_width$\n"
         "leak:^gtk_widget_get_preferred_height$\n"
         "leak:^gtk_widget_get_preferred_height_and_baseline_for_width$\n"
         "leak:^gtk_text_layout_get_line_display$\n";
}
#endif

#ifdef UTIL_TSAN_DEFAULTS
extern "C" const char* __tsan_default_suppressions() { return "race:^FcValueSave$\n"; }
#endif
