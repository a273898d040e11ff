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
// The digest of what a file was last saved from is kept in the rescue folder, as
// <file name>-<digest of the full path>.saved-from.
//
// Main thread; the environment is read on every call.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// The mode a rescue of path is made with (the umask then applies): that of the file at path, or
// else `before` (the file's mode when the run began, 0 when there was none), or else 0600; the
// user may always read and write it.
mode_t RescueMode(const std::string& path, mode_t before);
// Writes data as a new rescue of path with mode; answers the name written, or empty with *why
// worded (each place tried). Written into a private temporary folder, *why says why no lasting
// place took it; otherwise it is empty.
std::string WriteRescue(const std::string& path, const std::string& data, mode_t mode, std::string* why);
// The rescues of path that hold work the file at path does not, newest first: all but those that
// hold what the file holds or what it was last saved from (RescueSavedFrom), however old. Only
// regular files of the user's count.
std::vector<std::string> RescuesWithOtherWork(const std::string& path);
// Notes, once the file at path was saved, what it was saved from: from, the bytes of the file the
// run began from (whose work the file now holds), noted when one of its rescues holds them; null
// for a run that began fresh. A run that began from the file itself notes nothing: what it was
// saved from stays what it holds.
void RescueSavedFrom(const std::string& path, const std::string* from);
