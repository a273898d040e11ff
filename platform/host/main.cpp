// sorvanta-host: a stand-in host that loads an Audio Unit bundle and drives it the way a
// digital audio workstation does. See Usage() for the options.
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "CFPropertyList.h"
#include "HostEvents.h"
#include "HostPlugin.h"
#include "HostRescue.h"
#include "HostView.h"
#include "UTIL_File.h"
#include "UTIL_SanitizerDefaults.h"  // the library caches the bundle's text code leaves, by function

namespace {

enum ExitCode { kExitOK = 0, kExitUsage = 1, kExitLoad = 2, kExitOpen = 3, kExitRestore = 4, kExitSave = 5, kExitDisplay = 6 };

std::atomic<bool> gQuit{false};
void onSignal(int) { gQuit = true; }

void Usage(FILE* out) {
  fprintf(out,
          "usage: sorvanta-host [options] BUNDLE.component\n"
          "  --seconds N       close after rendering N seconds (default: until the window is closed or Ctrl-C)\n"
          "  --headless        no window\n"
          "  --restore FILE    restore the plug-in's state from FILE (an XML property list) after opening\n"
          "  --save FILE       save the plug-in's state to FILE when closing\n"
          "  --session FILE    keep a session like a project: restore it from FILE at the start (unless\n"
          "                    --restore is given) and save it there when closing\n"
          "  --no-session      no session, whatever --session says\n"
          "  --note TEXT       say TEXT at the start, in the window and on the terminal\n"
          "  --tempo BPM       starting tempo (default 120)\n"
          "  --play            start with the transport running\n"
          "  --midi HEX        send a short MIDI message at the start, e.g. \"B0 07 64\"\n"
          "  --sysex HEX       send a SysEx at the start, e.g. \"F0 3E 10 00 F7\"\n"
          "  --at \"T ACTION\"   at T seconds: play | stop | tempo BPM | midi HEX | sysex HEX |\n"
          "                    restore FILE (load another project while running)\n"
          "  --events FILE     actions from FILE, one \"T ACTION\" per line (# starts a comment)\n"
          "  --help            this text\n");
}

struct Options {
  std::string bundle, save, restore, session;
  std::vector<std::string> notes;
  double seconds = -1.0;
  bool headless = false;
  bool noSession = false;
  double tempo = 120.0;
  bool play = false;
  std::vector<HostEvent> events;
};

bool parseArgs(int argc, char** argv, Options* o, std::string* why) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) {
        *why = a + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--help" || a == "-h") {
      Usage(stdout);
      exit(kExitOK);
    } else if (a == "--headless") {
      o->headless = true;
    } else if (a == "--play") {
      o->play = true;
    } else if (a == "--seconds" || a == "--tempo") {
      bool secs = a == "--seconds";
      double lo = secs ? 0.0 : 1.0, hi = secs ? 86400.0 : 999.0;
      char* end = nullptr;
      if (!value(&v)) return false;
      double x = strtod(v.c_str(), &end);
      if (v.empty() || !end || *end || !(x >= lo && x <= hi)) {
        *why = secs ? "--seconds takes a number of seconds (0 to 86400)" : "--tempo takes beats per minute (1 to 999)";
        return false;
      }
      (secs ? o->seconds : o->tempo) = x;
    } else if (a == "--save") {
      if (!value(&o->save)) return false;
    } else if (a == "--restore") {
      if (!value(&o->restore)) return false;
    } else if (a == "--session") {
      if (!value(&o->session)) return false;
    } else if (a == "--note") {
      if (!value(&v)) return false;
      o->notes.push_back(v);
    } else if (a == "--no-session") {
      o->noSession = true;
    } else if (a == "--midi" || a == "--sysex" || a == "--at") {
      if (!value(&v)) return false;
      HostEvent e;
      std::string line = a == "--at" ? v : "0 " + a.substr(2) + " " + v;
      if (!ParseHostEvent(line, &e, why)) {
        *why = a + " \"" + v + "\": " + *why;
        return false;
      }
      o->events.push_back(e);
    } else if (a == "--events") {
      if (!value(&v) || !LoadHostEventFile(v, &o->events, why)) return false;
    } else if (!a.empty() && a[0] == '-') {
      *why = "unknown option " + a;
      return false;
    } else if (o->bundle.empty()) {
      o->bundle = a;
    } else {
      *why = "one bundle only";
      return false;
    }
  }
  if (o->bundle.empty()) {
    *why = "no plug-in bundle given";
    return false;
  }
  if (o->noSession) o->session.clear();
  return true;
}

// The last session, reopened as a host reopens its project. No file yet is a first start. A
// file that cannot be restored (damaged, written by another plug-in, not a file at all) is
// reported and the plug-in starts fresh; one that was read and found damaged is set aside rather
// than overwritten by the next save, under a name that replaces no copy set aside before, so
// nothing the musician had is lost. A session kept through a symbolic link is the file it names.
// *mode gets the session file's mode (0: there was none), which a session file made anew (in
// place of one set aside) and a rescue take, so a private session's successor is private too.
// *note gets what the user must be told (empty: nothing). True when the session was restored.
bool restoreSession(HostPlugin& plug, const std::string& path, mode_t* mode, std::string* note) {
  struct stat st;
  *mode = stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_mode & 07777 : 0;
  for (const std::string& rescued : RescuesWithOtherWork(path))
    *note += (note->empty() ? "" : "; ") + std::string("the work of a run that could not save its session is in ") + rescued +
             " (open it with --restore " + rescued + ")";
  const bool there = lstat(path.c_str(), &st) == 0;
  if (!there && (errno == ENOENT || errno == ENOTDIR)) return false;
  printf("sorvanta-host: restoring the last session from %s\n", path.c_str());
  std::string why;
  if (plug.RestoreState(path, &why)) return true;
  // One that could not be opened (no permission) is as good as it was: left where it is.
  UTIL_FileCheck check;
  const int fd = there ? UTIL_OpenFileForRead(path, &check) : -1;
  std::string aside;
  if (fd >= 0) {
    close(fd);
    const std::string file = UTIL_LinkedFile(path);
    for (int n = 1; n < 1000 && aside.empty(); ++n) {
      const std::string name = UTIL_NumberedName(file + ".unreadable", n);
      if (UTIL_RenameNoReplace(file, name) == 0) aside = name;
      else if (errno != EEXIST) break;
    }
  }
  const std::string notRestored = "the last session was not restored: " + why + "; starting fresh" +
                                  (aside.empty() ? "" : " (the file is kept as " + aside + ")");
  *note = notRestored + (note->empty() ? "" : "; " + *note);
  return false;
}

// What became of a run's work at the close when its file could not be saved: the terminal's line
// (the failure and its reason) and the window's, which says only where the work is.
struct SaveFailure {
  std::string line, plain;
};

// Saves the state to path (what: "the session", "the state"), or, when that file cannot be
// written, keeps this run's work as a rescue of it (HostRescue.h) with the file's mode (before:
// its mode at the start, 0 for none). A run whose state is as it was at its start (start: that
// state, null when unknown) has nothing to keep, whatever it began from: what it began from is
// where it was, and the rescues of earlier runs stay named. Answers what the user must be told of a
// failure; empty when the file was saved (what the save had to change is said on the terminal).
SaveFailure saveOrRescue(HostPlugin& plug, const std::string& path, mode_t before, const std::string* start,
                         const std::string& what) {
  std::string why, state, whyNot;
  if (plug.SaveState(path, &why, before ? before : UTIL_kNewFileMode)) {
    if (!why.empty()) fprintf(stderr, "sorvanta-host: %s\n", why.c_str());
    return {};
  }
  const std::string failed = what + " was not saved: " + why;
  const std::string lost = "This run's work could not be kept: it is not in " + path + " nor anywhere else.";
  if (!plug.StateData(&state, &whyNot)) return {failed + "; nor could this run's work be kept: " + whyNot, lost};
  if (start && state == *start) {
    std::string earlier;
    const std::vector<std::string> rescues = RescuesWithOtherWork(path);
    for (const std::string& r : rescues) earlier += (earlier.empty() ? "" : ", ") + r;
    struct stat st;
    const bool kept = before && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    std::string plain = kept ? "Your work is in " + path + ", as this run found it." : "";
    if (!earlier.empty())
      plain += (plain.empty() ? "" : "\n") +
               std::string(rescues.size() == 1 ? "The work of an earlier run is in " : "The work of earlier runs is in ") +
               earlier + ".";
    return {failed + "; this run changed nothing, so there was nothing to keep" +
                (earlier.empty() ? ""
                                 : std::string(rescues.size() == 1 ? " (the work of an earlier run is still in "
                                                                   : " (the work of earlier runs is still in ") +
                                       earlier + ")"),
            plain.empty() ? "This run changed nothing: there was no work to keep." : plain};
  }
  const std::string rescued = WriteRescue(path, state, RescueMode(path, before), &whyNot);
  if (rescued.empty()) return {failed + "; nor could this run's work be saved elsewhere: " + whyNot, lost};
  const std::string temporary = whyNot.empty() ? "" : " (a temporary folder: move it somewhere safe)";
  return {failed + "; this run's work is saved as " + rescued +
              (whyNot.empty() ? "" : " (a temporary folder, as no lasting one took it: " + whyNot + "; move it somewhere safe)"),
          "This run's work is in " + rescued + temporary + "."};
}

// Restores that came due while rendering, run on this (the main) thread as a host opens a
// project; false once one has failed.
bool runDueActions(HostPlugin& plug) {
  bool ok = true;
  for (const HostPlugin::ActionReport& r : plug.RunDueActions()) {
    fprintf(r.ok ? stdout : stderr, "sorvanta-host: %s\n", r.text.c_str());
    ok = ok && r.ok;
  }
  return ok;
}

// --seconds counts rendered audio time, so every action scheduled before the end reaches the
// plug-in even on a loaded machine where rendering lags the wall clock.
bool timeIsUp(const HostPlugin& plug, double seconds) { return seconds >= 0 && plug.RenderedSeconds() >= seconds; }

// The plug-in's pop-up menus and modal dialogs run main loops of their own inside gtk_main,
// and gtk_main_quit ends gtk_main only once they have returned. A timed or signalled end
// therefore closes them as a user would: a menu is cancelled, a modal window or dialog gets the
// window manager's close request. Repeated on every poll until gtk_main returns, so what opens
// while closing is closed too.
void closeMenusAndDialogs() {
  GList* windows = gtk_window_list_toplevels();
  for (GList* l = windows; l; l = l->next) g_object_ref(l->data);  // closing may destroy them
  for (GList* l = windows; l; l = l->next) {
    GtkWindow* w = GTK_WINDOW(l->data);
    if (!gtk_widget_get_visible(GTK_WIDGET(w))) continue;
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(w));
    if (child && GTK_IS_MENU(child))
      gtk_menu_shell_cancel(GTK_MENU_SHELL(child));
    else if (gtk_window_get_modal(w) || GTK_IS_DIALOG(w))
      gtk_window_close(w);
  }
  g_list_free_full(windows, g_object_unref);
}

struct PollArgs {
  HostPlugin* plug;
  double seconds;
  bool actionsOk;
};

gboolean pollQuit(gpointer data) {
  auto* args = static_cast<PollArgs*>(data);
  if (!runDueActions(*args->plug)) args->actionsOk = false;
  if (gQuit || timeIsUp(*args->plug, args->seconds)) {
    closeMenusAndDialogs();
    gtk_main_quit();
  }
  return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
  // First of all, so that a stop at any moment (the toolkit starting, the plug-in loading) ends
  // the session in order and saves it, instead of ending the process where it stands.
  signal(SIGINT, onSignal);
  signal(SIGTERM, onSignal);
  setvbuf(stdout, nullptr, _IOLBF, 0);  // progress lines appear as they happen, also in a pipe
  Options opt;
  std::string why;
  if (!parseArgs(argc, argv, &opt, &why)) {
    fprintf(stderr, "sorvanta-host: %s\n", why.c_str());
    Usage(stderr);
    return kExitUsage;
  }
  if (!opt.headless && !gtk_init_check(&argc, &argv)) {
    fprintf(stderr, "sorvanta-host: cannot open a display; use --headless to run without a window\n");
    return kExitDisplay;
  }

  HostPlugin plug;
  if (!plug.Load(opt.bundle, &why)) {
    fprintf(stderr, "sorvanta-host: %s\n", why.c_str());
    return kExitLoad;
  }
  if (!plug.Open(&why)) {
    fprintf(stderr, "sorvanta-host: %s\n", why.c_str());
    return kExitOpen;
  }
  printf("sorvanta-host: opened \"%s\"\n", plug.ComponentName().c_str());
  mode_t sessionMode = 0;
  std::string sessionNote, startState, restoredFrom;
  // What the session is saved from at the close: a file restored (its bytes), the session itself
  // (fromSession), or nothing.
  bool fromSession = false, fromFile = false;
  if (!opt.restore.empty()) {
    fromFile = UTIL_ReadFile(opt.restore, restoredFrom, kCFPropertyListMaxFileBytes).ok();
    if (!plug.RestoreState(opt.restore, &why)) {
      fprintf(stderr, "sorvanta-host: %s\n", why.c_str());
      return kExitRestore;
    }
    printf("sorvanta-host: restored state from %s\n", opt.restore.c_str());
  } else if (!opt.session.empty()) {
    fromSession = restoreSession(plug, opt.session, &sessionMode, &sessionNote);
  }
  const bool startKnown = plug.StateData(&startState, &why);
  if (!sessionNote.empty()) opt.notes.push_back(sessionNote);
  std::string startNote;
  for (const std::string& n : opt.notes) {
    fprintf(stderr, "sorvanta-host: %s\n", n.c_str());
    startNote += (startNote.empty() ? "" : "\n") + n;
  }
  plug.Transport().SetTempo(opt.tempo);
  if (opt.play) plug.Transport().Play();
  plug.StartRendering(opt.events);

  HostView view;
  PollArgs args{&plug, opt.seconds, true};
  if (opt.headless) {
    while (!gQuit && !timeIsUp(plug, opt.seconds)) {
      if (!runDueActions(plug)) args.actionsOk = false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  } else {
    std::string note;
    if (!view.Open(&plug, &note)) printf("sorvanta-host: %s\n", note.c_str());
    view.ShowNote(startNote);
    guint poll = g_timeout_add(20, pollQuit, &args);
    gtk_main();
    g_source_remove(poll);
  }
  plug.StopRendering();
  printf("sorvanta-host: rendered %ld blocks of %u frames\n", plug.BlocksRendered(), HostPlugin::kBlockFrames);
  int rc = args.actionsOk ? kExitOK : kExitRestore;
  // A file that cannot be written is left as it was, as at the start; the run's work is kept.
  std::string failed;
  for (const bool session : {false, true}) {
    const std::string& path = session ? opt.session : opt.save;
    if (path.empty()) continue;
    const SaveFailure f = saveOrRescue(plug, path, session ? sessionMode : 0, startKnown ? &startState : nullptr,
                                       session ? "the session" : "the state");
    if (f.line.empty()) {
      printf("sorvanta-host: %s %s\n", session ? "saved the session to" : "saved state to", path.c_str());
      if (session && !fromSession) RescueSavedFrom(path, fromFile ? &restoredFrom : nullptr);
      continue;
    }
    fprintf(stderr, "sorvanta-host: %s\n", f.line.c_str());
    if (failed.find(f.plain) == std::string::npos) failed += (failed.empty() ? "" : "\n") + f.plain;
    rc = kExitSave;
  }
  if (!failed.empty()) view.Tell(failed, &gQuit);
  view.Close();
  plug.Close();
  return rc;
}
