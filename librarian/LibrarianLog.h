// One funnel for the patch librarian's diagnostics. Every line starts with "PATCH LIBRARIAN: ".
//
// The sink is replaceable so the editor core can route the lines into its log file once it
// exists; until then (and in tests) lines go to standard output as "Build LOG: \t <line>".
// Any thread may log (the MIDI input thread does, when a received dump is refused); the sink is
// swapped atomically, and a sink must itself be safe to call from several threads.
#pragma once

#include <string>

using LibrarianLogSink = void (*)(const std::string& line);

// Writes "PATCH LIBRARIAN: " + text through the current sink.
void librarianLog(const std::string& text);
// The same for a file or folder the library leaves out, which is also named on standard error
// once per process: without the log file a user would never learn why a bank is missing.
void librarianRefusal(const std::string& text);

// Replaces the sink; null restores the standard-output default. Returns the previous sink.
LibrarianLogSink setLibrarianLogSink(LibrarianLogSink sink);
