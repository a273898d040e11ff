// Where the work of a run goes when the file it was to be saved to (its session, or --save's file)
// cannot be written, and how the next start finds it again.
//
// A rescue stands in for one file, known by its full path (the name given, from the root, its
// folder without links). It goes beside that file as <file>.rescued (then -2, -3 ...) when the
// folder is the user's own: owned by the user and writable by nobody else, so nobody else can
// plant a name there. Otherwise, or when it cannot be written there, it goes into the user's own
// rescue folder, $XDG_STATE_HOME/sorvanta-host (~/.local/state/sorvanta-host by default; made
// 0700), as <file name>-<digest of the full path>.rescued (then -2, -3 ...), so two files of one
// name never share a rescue. When neither takes it (no home, a rescue folder another user made
// or others may change, a full disk), a fresh private folder (0700, made by mkdtemp) under
// $XDG_RUNTIME_DIR, else $TMPDIR, else /tmp does, as sorvanta-host-rescue-XXXXXX; the next start
// looks there too. Nothing is ever replaced: a taken name moves on to the next of its series.
//
// Main thread; the environment is read on every call.
#pragma once

#include <sys/types.h>

#include <string>

// The mode a rescue of path is made with (the umask then applies): that of the file at path, or
// else `before` (the file's mode when the run began, 0 when there was none), or else 0600; the
// user may always read and write it.
mode_t RescueMode(const std::string& path, mode_t before);
// Writes data as a new rescue of path with mode; answers the name written, or empty with *why
// worded (each place tried). Written into a private temporary folder, *why says why no lasting
// place took it; otherwise it is empty.
std::string WriteRescue(const std::string& path, const std::string& data, mode_t mode, std::string* why);
// The newest rescue of path (by modification time) that holds work newer than the file at path:
// written after the file was last saved, and not what the file holds; empty when there is none.
// Only regular files of the user's count.
std::string NewestRescue(const std::string& path);
