// The stand-in host: its action parser and transport, the bundle lookup from a loaded plug-in,
// and end to end: the host program run headless against the test plug-in's bundle.
#include <gtest/gtest.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "AUComponent.h"
#include "CFBundle.h"
#include "CFPropertyList.h"
#include "CFString.h"
#include "HostEvents.h"
#include "HostRunSupport.h"
#include "HostPlugin.h"
#include "HostTransport.h"
#include "../util/NotAFile.h"
#include "../util/Unprivileged.h"

namespace {

RunResult runHost(const std::string& args) { return runCommand(std::string(SORVANTA_HOST_EXE) + " --headless " + args); }

std::string tempPath(const std::string& name) {
  const char* dir = getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/sorvanta-host-test-" + std::to_string(getpid()) + "-" + name;
}

std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// The test plug-in's chunk: magic, starts, stops, tempo while playing, MIDI count, SysEx count.
struct SavedTestState {
  int starts = -1, stops = -1, midi = -1, sysex = -1;
  double tempo = 0;
};

bool readSavedState(const std::string& path, SavedTestState* out) {
  std::string why;
  CFPropertyListRef list = CFPropertyListCreateFromFile(path.c_str(), &why);
  if (CFGetTypeID(list) != CFDictionaryGetTypeID()) return false;
  CFTypeRef data = CFDictionaryGetValue(static_cast<CFDictionaryRef>(list), CFSTR("data"));
  bool ok = CFGetTypeID(data) == CFDataGetTypeID() && CFDataGetLength(static_cast<CFDataRef>(data)) >= 28;
  if (ok) {
    const UInt8* b = CFDataGetBytePtr(static_cast<CFDataRef>(data));
    memcpy(&out->starts, b + 4, 4);
    memcpy(&out->stops, b + 8, 4);
    memcpy(&out->tempo, b + 12, 8);
    memcpy(&out->midi, b + 20, 4);
    memcpy(&out->sysex, b + 24, 4);
  }
  CFRelease(list);
  return ok;
}

}  // namespace

TEST(HostEvents, ParsesEveryActionKind) {
  HostEvent e;
  std::string why;
  ASSERT_TRUE(ParseHostEvent("0.5 play", &e, &why)) << why;
  EXPECT_EQ(HostEvent::kPlay, e.kind);
  EXPECT_EQ(0.5, e.time);
  ASSERT_TRUE(ParseHostEvent("1 tempo 140.5", &e, &why));
  EXPECT_EQ(140.5, e.tempo);
  ASSERT_TRUE(ParseHostEvent("2 midi 903C64", &e, &why));
  EXPECT_EQ((std::vector<unsigned char>{0x90, 0x3C, 0x64}), e.bytes);
  ASSERT_TRUE(ParseHostEvent("2 midi C0 05", &e, &why));
  EXPECT_EQ(2u, e.bytes.size());
  ASSERT_TRUE(ParseHostEvent("3 sysex F0 3E 10 00 F7", &e, &why));
  EXPECT_EQ(5u, e.bytes.size());
  ASSERT_TRUE(ParseHostEvent("4 stop", &e, &why));
  EXPECT_EQ(HostEvent::kStop, e.kind);
  ASSERT_TRUE(ParseHostEvent("5 restore  my project.plist ", &e, &why));
  EXPECT_EQ("my project.plist", e.path);
}

TEST(HostEvents, RefusesMalformedActions) {
  HostEvent e;
  std::string why;
  for (const char* line : {"", "x play", "-1 play", "1 jump", "1 play now", "1 tempo 0", "1 tempo fast", "1 midi 3C 64",
                           "1 midi F0 01", "1 midi 90 3C 64 00", "1 midi 90 80", "1 midi 9", "1 midi zz", "1 sysex 01 02",
                           "1 sysex F0 90 F7", "1 sysex F0 01", "inf play", "1e9 play", "1 midi B0 07", "1 midi C0",
                           "1 midi C0 05 00", "1 midi F2 01", "1 midi F8 00", "1 midi F4", "1 sysex F0 F7", "1 restore", "1 restore  "}) {
    why.clear();
    EXPECT_FALSE(ParseHostEvent(line, &e, &why)) << line;
    EXPECT_FALSE(why.empty()) << line;
  }
}

TEST(HostEvents, FileErrorsNameTheLine) {
  std::string path = tempPath("events.txt");
  std::ofstream(path) << "# comment\n\n0.1 play\n0.2 wobble\n";
  std::vector<HostEvent> ev;
  std::string why;
  EXPECT_FALSE(LoadHostEventFile(path, &ev, &why));
  EXPECT_NE(std::string::npos, why.find(":4:")) << why;
  EXPECT_TRUE(ev.empty());
  std::ofstream(path) << "0.3 stop\n0.1 play\n";
  ASSERT_TRUE(LoadHostEventFile(path, &ev, &why)) << why;
  SortHostEvents(&ev);
  EXPECT_EQ(HostEvent::kPlay, ev[0].kind);
  remove(path.c_str());
}

// Whatever the file, the reader keeps at most its limit in memory, never waits on a FIFO, and a
// file it cannot read whole is an error (the host then exits non-zero), never an empty list of
// actions. A state file to restore is read the same way.
TEST(HostEvents, HostileFilesAreRefusedWithBoundedReads) {
  std::string dir = tempPath("events-dir");
  mkdir(dir.c_str(), 0700);
  std::string fifo = tempPath("events-fifo");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  std::string huge = tempPath("huge.txt");
  std::ofstream(huge) << std::string(3u << 20, '1');
  std::string many = tempPath("many.txt");
  {
    std::ofstream m(many);
    for (int i = 0; i <= 100000; ++i) m << "1 play\n";
  }
  struct Case {
    std::string path, why;
  } cases[] = {{dir, "is a folder"}, {huge, "too large"},          {"/dev/zero", "is a character device"},
               {many, "too many"}, {tempPath("absent"), "does not exist"}, {fifo, "is a named pipe (FIFO), not a file"}};
  for (const Case& c : cases) {
    std::vector<HostEvent> ev;
    std::string why;
    EXPECT_FALSE(LoadHostEventFile(c.path, &ev, &why)) << c.path;
    EXPECT_NE(std::string::npos, why.find(c.why)) << c.path << ": " << why;
    EXPECT_TRUE(ev.empty()) << c.path;
  }
  RunResult r = runHost("--seconds 0 --events " + fifo + " " + SORVANTA_TEST_BUNDLE);
  EXPECT_EQ(1, r.exitCode) << r.output;
  EXPECT_NE(std::string::npos, r.output.find("named pipe")) << r.output;
  RunResult restore = runHost("--seconds 0 --restore " + fifo + " " + SORVANTA_TEST_BUNDLE);
  EXPECT_EQ(4, restore.exitCode) << restore.output;
  EXPECT_NE(std::string::npos, restore.output.find("named pipe")) << restore.output;
  rmdir(dir.c_str());
  remove(fifo.c_str());
  remove(huge.c_str());
  remove(many.c_str());
}

TEST(HostTransport, BeatsFollowTempoChangesAndTheChangeFlagIsReportedOnce) {
  HostTransport t(44100.0, 120.0);
  t.Advance(44100);
  EXPECT_EQ(0.0, t.SamplePosition());  // stopped: nothing moves
  t.Play();
  t.Advance(44100);  // one second at 120: two beats
  EXPECT_DOUBLE_EQ(2.0, t.Beat());
  EXPECT_TRUE(t.SetTempo(60.0));
  t.Advance(44100);
  EXPECT_DOUBLE_EQ(3.0, t.Beat());
  EXPECT_FALSE(t.SetTempo(0.0));
  Boolean playing = false, changed = false, cycling = true;
  Float64 sample = 0, cs = 0, ce = 0;
  HostTransport::TransportState(&t, &playing, &changed, &sample, &cycling, &cs, &ce);
  EXPECT_TRUE(playing);
  EXPECT_TRUE(changed);
  EXPECT_EQ(88200.0, sample);
  HostTransport::TransportState(&t, &playing, &changed, &sample, &cycling, &cs, &ce);
  EXPECT_FALSE(changed);
  Float32 num = 0;
  UInt32 den = 0, delta = 0;
  Float64 down = -1;
  HostTransport::MusicalTimeLocation(&t, &delta, &num, &den, &down);
  EXPECT_EQ(4.0f, num);
  EXPECT_EQ(4u, den);
  EXPECT_EQ(0.0, down);
}

TEST(HostBundle, CocoaUIPropertyNamesTheBundleFoundFromTheLoadedLibrary) {
  setenv("SORVANTA_TEST_GRAPHICS", "1", 1);
  HostPlugin host;
  std::string why;
  ASSERT_TRUE(host.Load(SORVANTA_TEST_BUNDLE, &why)) << why;
  EXPECT_EQ("Harrowgate Sound Labs: Sorvanta Test", host.ComponentName());
  ASSERT_TRUE(host.Open(&why)) << why;
  unsetenv("SORVANTA_TEST_GRAPHICS");
  // The plug-in library looks its bundle up by identifier from its own location.
  AudioUnitCocoaViewInfo info{};
  UInt32 size = sizeof info;
  ASSERT_EQ(noErr, AudioUnitGetProperty(host.Unit(), kAudioUnitProperty_CocoaUI, kAudioUnitScope_Global, 0, &info, &size));
  CFStringRef path = CFURLCopyFileSystemPath(info.mCocoaAUViewBundleLocation, kCFURLPOSIXPathStyle);
  std::string p = CFStringGetCStringPtr(path, kCFStringEncodingUTF8);
  EXPECT_EQ("SorvantaTest.component", p.substr(p.rfind('/') + 1));
  std::string cls = CFStringGetCStringPtr(info.mCocoaAUViewClass[0], kCFStringEncodingUTF8);
  EXPECT_EQ("Sorvanta_View_64", cls);
  CFRelease(path);
  CFRelease(info.mCocoaAUViewBundleLocation);
  CFRelease(info.mCocoaAUViewClass[0]);
  // The factory of that name is exported by the library and opens the graphics object's window.
  auto factory = reinterpret_cast<void* (*)(AudioUnit, void*)>(dlsym(host.Library(), cls.c_str()));
  ASSERT_NE(nullptr, factory);
  int parent = 0;
  EXPECT_EQ(&parent, factory(host.Unit(), &parent));
  // This process's own lookup finds the same bundle through the loaded library.
  CFBundleRef b = CFBundleGetBundleWithIdentifier(CFSTR("com.harrowgatesoundlabs.audiounit.SorvantaTest"));
  ASSERT_NE(nullptr, b);
  EXPECT_EQ(nullptr, CFBundleCopyResourceURL(b, CFSTR("../Info"), CFSTR("plist"), nullptr));
  host.Close();
}

TEST(HostEndToEnd, RenderSaveReopenRestoreCompare) {
  std::string events = tempPath("e2e-events.txt"), a = tempPath("a.plist"), b = tempPath("b.plist");
  std::ofstream(events) << "0.05 midi 90 3C 64\n0.10 play\n0.15 sysex F0 3E 10 00 F7\n0.30 tempo 140\n0.50 stop\n";
  RunResult r1 = runHost("--seconds 0.7 --tempo 100 --events " + events + " --save " + a + " " + SORVANTA_TEST_BUNDLE);
  ASSERT_EQ(0, r1.exitCode) << r1.output;
  EXPECT_NE(std::string::npos, r1.output.find("saved state")) << r1.output;
  SavedTestState s;
  ASSERT_TRUE(readSavedState(a, &s));
  EXPECT_EQ(1, s.starts);
  EXPECT_EQ(1, s.stops);
  EXPECT_EQ(140.0, s.tempo);  // the tempo change reached the plug-in while playing
  EXPECT_EQ(1, s.midi);
  EXPECT_EQ(1, s.sysex);

  RunResult r2 = runHost("--seconds 0.2 --restore " + a + " --save " + b + " " + SORVANTA_TEST_BUNDLE);
  ASSERT_EQ(0, r2.exitCode) << r2.output;
  EXPECT_EQ(readFile(a), readFile(b));
  for (auto& f : {events, a, b}) remove(f.c_str());
}

// A session is kept as a host keeps a project: saved on quit, restored at the next start; a
// project can also be loaded while running (--at T restore FILE). A session file that cannot be
// restored is reported and set aside, and the host starts fresh.
TEST(HostEndToEnd, ASessionComesBackAndAProjectLoadsWhileRunning) {
  // In a folder anyone may change, so a host run as another user could set a session aside.
  const std::string folder = tempPath("s"), session = folder + "/session.plist", out = tempPath("out.plist");
  const std::string bundle = std::string(" ") + SORVANTA_TEST_BUNDLE;
  ASSERT_EQ(0, mkdir(folder.c_str(), 0700) + chmod(folder.c_str(), 0777));
  ASSERT_EQ(0, runHost("--seconds 0.3 --midi \"90 3C 64\" --session " + session + bundle).exitCode);
  const std::string kept = readFile(session);  // one note
  struct stat st;
  chmod(session.c_str(), 0640);
  RunResult again = runHost("--seconds 0.2 --session " + session + bundle);
  EXPECT_EQ(kept, readFile(session)) << again.output;
  EXPECT_TRUE(stat(session.c_str(), &st) == 0 && (st.st_mode & 0777) == 0640) << "the session's mode was lost";
  runHost("--seconds 0.2 --midi \"90 3C 64\" --no-session --session " + session + bundle);
  EXPECT_EQ(kept, readFile(session)) << "saved with --no-session";
  // Loaded at 0.3 s, after two notes: saved with the session's one.
  RunResult load = runHost("--seconds 0.5 --midi \"90 3C 64\" --at \"0.1 midi 90 3C 64\" --at \"0.3 restore " + session +
                           "\" --save " + out + bundle);
  SavedTestState s;
  EXPECT_TRUE(readSavedState(out, &s) && s.midi == 1) << load.output;
  // A --save over a file the user keeps private leaves it private, whatever the umask.
  chmod(out.c_str(), 0600);
  runCommand("umask 022; " SORVANTA_HOST_EXE " --headless --seconds 0 --save " + out + bundle);
  EXPECT_TRUE(stat(out.c_str(), &st) == 0 && (st.st_mode & 0777) == 0600 && readSavedState(out, &s)) << "--save lost the file's mode";
  RunResult missing = runHost("--seconds 0.3 --at \"0.1 restore " + tempPath("absent") + "\"" + bundle);
  EXPECT_EQ(4, missing.exitCode) << missing.output;
  std::ofstream(session) << "<plist>!!</plist>";
  RunResult damaged = runHost("--seconds 0.1 --session " + session + bundle);
  EXPECT_EQ(0, damaged.exitCode) << damaged.output;
  EXPECT_NE(std::string::npos, readFile(session + ".unreadable").find("!!")) << damaged.output;
  EXPECT_TRUE(readSavedState(session, &s)) << "no fresh session saved";
  // Set aside beside the first, private as it was, and so is the session saved in its place.
  std::ofstream(session) << "junk";
  chmod(session.c_str(), 0640);
  runHost("--seconds 0.1 --session " + session + bundle);
  const mode_t mask = umask(022);  // the new session takes it
  umask(mask);
  EXPECT_TRUE(readFile(session + ".unreadable-2") == "junk" && stat(session.c_str(), &st) == 0 && (st.st_mode & 0777) == (0640 & ~mask));
  // Through a link to nothing, named from the link's folder, the file is written; a damaged one is set aside there.
  ASSERT_EQ(0, remove(session.c_str()) + symlink("session.plist.target", session.c_str()));
  RunResult dangling = runHost("--seconds 0.1 --session " + session + bundle);
  EXPECT_TRUE(dangling.output.find("not restored") != std::string::npos && readSavedState(session + ".target", &s))
      << dangling.output;
  std::ofstream(session) << "junk";
  runHost("--seconds 0.1 --session " + session + bundle);
  EXPECT_TRUE(readFile(session + ".target.unreadable") == "junk" && lstat(session.c_str(), &st) == 0 && S_ISLNK(st.st_mode));
  // One that may be written but not read is left as it was, at the start and at the close.
  const bool root = getuid() == 0;
  ASSERT_EQ(0, remove(session.c_str()));
  std::ofstream(session) << "marker";
  ASSERT_EQ(0, chmod(session.c_str(), 0200) + (root ? chown(session.c_str(), 65534, 65534) : 0));
  ReachableCopies copies;
  RunResult denied = runCommand(copies.command() + copies(SORVANTA_HOST_EXE) + " --headless --seconds 0.1 --session " + session + " " +
                                copies(SORVANTA_TEST_BUNDLE));
  chmod(session.c_str(), 0600);
  const std::string left = readFile(session);
  for (auto& f : {session, session + ".unreadable", session + ".unreadable-2", session + ".target", session + ".rescued",
                  session + ".target.unreadable", out})
    remove(f.c_str());
  rmdir(folder.c_str());
  if (denied.output.find("opened") == std::string::npos) return unprivilegedRowCannotRun("the user nobody cannot run the host: " + denied.output);
  unprivilegedRowRan("a session that may not be read");
  EXPECT_TRUE(left == "marker" && denied.output.find("Permission denied; starting fresh") != std::string::npos &&
              denied.output.find("the session was not saved") != std::string::npos && denied.exitCode == 5) << denied.output;
}

// A session or --save path that names no regular file (itself or at the end of its links) is left
// as it was and the run exits 5; the run's work is saved beside it under the first free name, and
// the next start names it.
TEST(HostEndToEnd, ASaveWritesOnlyOverARegularFile) {
  const std::string dir = tempPath("kinds"), path = dir + "/s.plist", node = dir + "/node", bundle = " " SORVANTA_TEST_BUNDLE;
  for (const NotAFile& k : notAFileKinds(path, node))
    for (const std::string option : {"--save ", "--session "}) {
      struct stat before;
      if (system(("rm -rf " + dir + " && mkdir " + dir).c_str()) != 0 || (k.make() != 0 && errno == EPERM)) continue;
      ASSERT_EQ(0, stat(path.c_str(), &before));
      std::ofstream(path + ".rescued") << "mine";
      RunResult r = runHost("--seconds 0.1 --midi \"90 3C 64\" " + option + path + bundle), next = runHost("--seconds 0 --session " + path + bundle);
      EXPECT_TRUE(r.exitCode == 5 && r.output.find(std::string(k.said) + ", not a file; left as it was") != std::string::npos) << r.output;
      EXPECT_TRUE(leftAsItWas(path, before) && readFile(path + ".rescued") == "mine") << k.said;
      SavedTestState s;
      EXPECT_TRUE(readSavedState(path + ".rescued-2", &s) && r.output.find("work is saved as " + path + ".rescued-2\n") != std::string::npos &&
                  next.output.find("is in " + path + ".rescued-2 ") != std::string::npos && next.output.find("changed nothing") != std::string::npos)
          << r.output << next.output;
    }
  // As a user without privileges: new files take the umask; a session whose folder may not be written
  // is rescued with its mode, readable by its user, into the user's own folder under its full path (-2,
  // -3 ... beside earlier ones), or with no such folder of the user's own (no home; one made by another
  // user or open to others) into a fresh private one among the temporary files; the next start names
  // every rescue of that session that holds work the session does not, however old; a run that changed
  // nothing, begun fresh, from the session or from a rescue, adds none; a shared folder takes none, and
  // no name planted there or out of a series is ever named.
  const std::string a = dir + "/a/s.plist", b = dir + "/b/s.plist", c = dir + "/c/s.plist", state = dir + "/state/sorvanta-host";
  std::string mask = "022", env = "XDG_STATE_HOME=" + dir + "/state", ra, rb;
  ReachableCopies copies;
  const std::string host = copies(SORVANTA_HOST_EXE), reachable = " " + copies(SORVANTA_TEST_BUNDLE);
  auto as = [&](const std::string& args) {
    return runCommand("umask " + mask + "; " + copies.command() + "env " + env + " " + host + " --headless --seconds 0.1 " + args +
                      reachable).output;
  };
  if (const std::string first = as(""); first.find("opened") == std::string::npos)
    return unprivilegedRowCannotRun("the user nobody cannot run the host: " + first);
  struct stat st;
  std::string out;
  auto rescued = [&](const std::string& session, mode_t mode, const std::string& in) {  // a run that changed something; its rescue
    out = as("--midi \"90 3C 64\" --session " + session);
    const std::string name = out.substr(out.find(" as " + in) + 4);
    const std::string file = name.substr(0, name.find_first_of(" \n"));
    EXPECT_TRUE(stat(file.c_str(), &st) == 0 && (st.st_mode & 0777) == mode && stat(file.substr(0, file.rfind('/')).c_str(), &st) == 0 &&
                (st.st_mode & 0777) == 0700) << out;
    return file;
  };
  for (const char* umask : {"022", "027", "077"}) {
    ASSERT_EQ(0, system(("chmod -R u+w " + dir + " && rm -rf " + dir + " && mkdir -p " + dir + "/a " + dir + "/b " + c + " " + dir + "/tmp " + dir + "/run " + dir +
                         "/other/sorvanta-host && chmod 1777 " + dir + "/c").c_str()));
    giveToUnprivileged(dir);
    const mode_t m = static_cast<mode_t>(strtol((mask = umask).c_str(), nullptr, 8));
    as("--session " + a + " --save " + dir + "/new"), as("--session " + b);
    for (const std::string& made : {a, dir + "/new"}) EXPECT_TRUE(stat(made.c_str(), &st) == 0 && (st.st_mode & 0777) == (0666 & ~m)) << made;
    ASSERT_EQ(0, chmod(a.c_str(), 0640) + chmod(b.c_str(), 0200) + chmod((dir + "/a").c_str(), 0555) + chmod((dir + "/b").c_str(), 0555) +
                     chmod((dir + "/other/sorvanta-host").c_str(), 0777) + (getuid() == 0 ? chown((dir + "/other/sorvanta-host").c_str(), 0, 0) : 0));
    ra = rescued(a, 0640 & ~m, state + "/s.plist-"), rb = rescued(b, 0600, state + "/s.plist-");
    for (const auto& [place, in] : {std::pair<std::string, std::string>{"-u XDG_STATE_HOME -u XDG_RUNTIME_DIR HOME=/nonexistent TMPDIR=", "/tmp"},
                                    {"XDG_STATE_HOME=" + dir + "/other XDG_RUNTIME_DIR=", "/run"}}) {
      env = place + dir + in;
      const std::string rt = rescued(a, 0640 & ~m, dir + in + "/sorvanta-host-rescue-");
      EXPECT_NE(std::string::npos, out.find(rt + " (a temporary folder, as no lasting one took it: ")) << out;
      EXPECT_NE(std::string::npos, as("--session " + a).find("is in " + rt + " ")) << rt;
    }
    env = "XDG_STATE_HOME=" + dir + "/state";
  }
  const std::string first = readFile(ra), ra2 = rescued(a, 0600, state), ra3 = rescued(a, 0600, state);  // under umask 077
  std::ofstream(ra + "-x") << readFile(ra2) << " ";  // newer, but of no series
  giveToUnprivileged(ra + "-x");
  EXPECT_TRUE(ra2 == ra + "-2" && ra3 == ra + "-3" && readFile(ra) == first && as("--session " + a).find("is in " + ra + " ") != std::string::npos) << ra3;
  EXPECT_NE(std::string::npos, as("--session " + b).find("nothing to keep (the work of an earlier run is still in " + rb + ")"));
  // A copy of the session, as an earlier run left one, is never named; neither the session nor its rescue, left as they were, adds one.
  ASSERT_EQ(0, chmod(b.c_str(), 0600));
  std::ofstream(rb + "-2") << readFile(b);
  giveToUnprivileged(rb + "-2");
  for (const std::string from : {"", "--restore "}) {
    const std::string out = as(from + (from.empty() ? "" : rb + " ") + "--session " + b);
    EXPECT_TRUE((!from.empty() || out.find("is in " + rb + " ") != std::string::npos) && stat((rb + "-3").c_str(), &st) != 0 &&
                out.find("changed nothing, so there was nothing to keep (the work of an earlier run is still in " + rb + ")") != std::string::npos) << out;
  }
  ASSERT_EQ(0, chmod((dir + "/a").c_str(), 0755));
  as("--restore " + ra + " --session " + a);
  EXPECT_EQ(std::string::npos, as("--session " + a).find("is in ")) << "named after the session was saved";
  // A run that only opens and closes the session hides no rescue; one it was saved from is not named, though they differ.
  ASSERT_EQ(0, chmod((dir + "/a").c_str(), 0555));
  const std::string r4 = rescued(a, 0600, state);
  ASSERT_EQ(0, chmod((dir + "/a").c_str(), 0755));
  as("--session " + a);
  EXPECT_NE(std::string::npos, as("--session " + a).find("is in " + r4 + " ")) << r4;
  as("--restore " + r4 + " --midi \"90 3C 64\" --session " + a);
  EXPECT_EQ(std::string::npos, as("--session " + a).find("is in " + r4 + " ")) << r4;
  const std::string rc = rescued(c, 0600, state);
  std::ofstream(c + ".rescued") << "planted";
  EXPECT_NE(std::string::npos, as("--session " + c).find("is in " + rc + " "));
  EXPECT_EQ(0, system(("chmod -R u+w " + dir + " && rm -rf " + dir).c_str()));
  unprivilegedRowRan("sessions and rescues under three umasks");
}

TEST(HostEndToEnd, BadInputGivesAClearErrorAndNonZeroExit) {
  RunResult missing = runHost("--seconds 0 /nonexistent/Thing.component");
  EXPECT_EQ(2, missing.exitCode);
  EXPECT_NE(std::string::npos, missing.output.find("not a plug-in bundle")) << missing.output;

  std::string garbage = tempPath("garbage.plist"), foreign = tempPath("foreign.plist");
  std::ofstream(garbage) << "<plist><dict><key>data</key><data>!!</data></dict></plist>";
  RunResult g = runHost("--seconds 0 --restore " + garbage + " " + SORVANTA_TEST_BUNDLE);
  EXPECT_EQ(4, g.exitCode) << g.output;
  EXPECT_NE(std::string::npos, g.output.find("not a readable state file")) << g.output;

  // A state of another component (the subtype differs) is refused by the plug-in.
  std::ofstream(foreign) << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                            "<key>data</key><data>AAAA</data><key>manufacturer</key><integer>1215515697</integer>"
                            "<key>name</key><string></string><key>subtype</key><integer>1</integer>"
                            "<key>type</key><integer>1635085685</integer><key>version</key><integer>65542</integer>"
                            "</dict></plist>";
  RunResult f = runHost("--seconds 0 --restore " + foreign + " " + SORVANTA_TEST_BUNDLE);
  EXPECT_EQ(4, f.exitCode) << f.output;
  EXPECT_NE(std::string::npos, f.output.find("-10851")) << f.output;

  RunResult usage = runHost("--tempo 5000 " + std::string(SORVANTA_TEST_BUNDLE));
  EXPECT_EQ(1, usage.exitCode);
  RunResult badEvent = runHost("--at \"1 midi F0\" " + std::string(SORVANTA_TEST_BUNDLE));
  EXPECT_EQ(1, badEvent.exitCode);
  for (auto& p : {garbage, foreign}) remove(p.c_str());
#ifdef SORVANTA_EDITOR_BUNDLE
  // Each resource the editor refuses is named once, with its reason.
  const std::string bundle = tempPath("Sorvanta.component"), res = bundle + "/Contents/Resources/";
  ASSERT_EQ(0, system(("cp -r " + std::string(SORVANTA_EDITOR_BUNDLE) + " " + bundle).c_str()));
  std::ofstream(res + "sysex.tea") << std::string(4000, 'x');
  std::ofstream(res + "btn-part01.png") << "not a picture at all";
  ASSERT_EQ(0, truncate((res + "uiconfig.tea").c_str(), 1 << 30));
  const std::string said = runHost("--seconds 0 " + bundle).output;
  for (const std::string refused : {"uiconfig.tea holds 1073741824 bytes", "sysex.tea does not parse", "part01.png cannot be decoded"})
    EXPECT_TRUE(said.find(refused) != said.npos && said.find(refused) == said.rfind(refused)) << refused << ":\n" << said;
  EXPECT_EQ(0, system(("rm -rf " + bundle).c_str()));
#endif
}
