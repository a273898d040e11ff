#include <gtest/gtest.h>
#include <fcntl.h>
#include <dirent.h>
#include <limits.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <fstream>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "UTIL_File.h"
#include "UTIL_HeapBuf.h"
#include "UTIL_Mutex.h"
#include "UTIL_PtrList.h"
#include "UTIL_String.h"
#include "Unprivileged.h"

TEST(HeapBuf, LargeGranularityRoundsAllocationToPagesLessHeader) {
  UTIL_HeapBuf hb(4096);
  hb.Resize(100);
  // g = max(50, 4096) = 4096; ((100 + 4096 + 96) & ~4095) - 96 = 4000
  EXPECT_EQ(hb.GetAllocated(), 4000);
  EXPECT_EQ(hb.GetSize(), 100);
  hb.Resize(5000);
  // g = 4096; ((5000 + 4096 + 96) & ~4095) - 96 = 8096
  EXPECT_EQ(hb.GetAllocated(), 8096);
}

TEST(HeapBuf, SmallGranularityAddsHalfOrGranule) {
  UTIL_HeapBuf hb(128);
  hb.Resize(10);
  EXPECT_EQ(hb.GetAllocated(), 138);
  hb.Resize(1000);
  EXPECT_EQ(hb.GetAllocated(), 1500);
}

TEST(HeapBuf, ShrinksOnlyWhenFarBelowAllocation) {
  UTIL_HeapBuf hb(128);
  hb.Resize(10000);
  int big = hb.GetAllocated();
  hb.Resize(9000);
  EXPECT_EQ(hb.GetAllocated(), big);  // not below half
  hb.Resize(10, true);
  EXPECT_LT(hb.GetAllocated(), big);
  EXPECT_EQ(hb.GetSize(), 10);
  hb.Resize(0);
  EXPECT_EQ(hb.Get(), nullptr);
}

TEST(HeapBuf, KeepsContentAcrossGrowth) {
  UTIL_HeapBuf hb(16);
  for (int i = 0; i < 1000; ++i) {
    unsigned char b = static_cast<unsigned char>(i);
    ASSERT_NE(hb.Add(&b, 1), nullptr);
  }
  auto* p = static_cast<unsigned char*>(hb.Get());
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(p[i], static_cast<unsigned char>(i));
}

TEST(TypedBuf, RefusesCountsThatOverflowTheSizeWord) {
  UTIL_TypedBuf<double> tb;
  ASSERT_NE(tb.Resize(10), nullptr);
  EXPECT_EQ(tb.Resize(0x7fffffff / 4), nullptr);
  EXPECT_EQ(tb.Resize(-1), nullptr);
  EXPECT_EQ(tb.GetSize(), 10);
}

namespace {
int g_deleted[8];
int g_order = 0;
struct Tracked {
  explicit Tracked(int i) : id(i) {}
  ~Tracked() { g_deleted[id] = ++g_order; }
  int id;
};
}  // namespace

TEST(PtrList, InsertDeleteAndEmptyFromLastToFirst) {
  UTIL_PtrList<Tracked> l;
  for (int i = 0; i < 3; ++i) l.Add(new Tracked(i));
  l.Insert(1, new Tracked(3));
  ASSERT_EQ(l.GetSize(), 4);
  EXPECT_EQ(l.Get(1)->id, 3);
  EXPECT_EQ(l.Get(2)->id, 1);
  EXPECT_EQ(l.Get(4), nullptr);
  EXPECT_EQ(l.Get(-1), nullptr);
  l.Delete(1, true);
  EXPECT_EQ(l.GetSize(), 3);
  g_order = 0;
  memset(g_deleted, 0, sizeof g_deleted);
  l.Empty(true);
  EXPECT_EQ(l.GetSize(), 0);
  EXPECT_EQ(g_deleted[2], 1);
  EXPECT_EQ(g_deleted[1], 2);
  EXPECT_EQ(g_deleted[0], 3);
}

TEST(PtrList, EmptyWithoutDeleteLeavesElements) {
  Tracked t(5);
  UTIL_PtrList<Tracked> l;
  l.Add(&t);
  g_deleted[5] = 0;
  l.Empty(false);
  EXPECT_EQ(l.GetSize(), 0);
  EXPECT_EQ(g_deleted[5], 0);
}

TEST(String, EmptyReadsAsEmptyTextAndSelfAppendIsSafe) {
  UTIL_String s;
  EXPECT_STREQ(s.Get(), "");
  s.Set("abc");
  s.Append(s.Get());
  EXPECT_STREQ(s.Get(), "abcabc");
  s.Set(s.Get() + 2);
  EXPECT_STREQ(s.Get(), "cabc");
  s.SetFormatted(5, "%d-%s", 12345, "xyz");
  EXPECT_STREQ(s.Get(), "12345");
  s.SetLen(2);
  EXPECT_STREQ(s.Get(), "12");
  s.Set("hello", 3);
  EXPECT_STREQ(s.Get(), "hel");
}

TEST(Mutex, RecursiveDepthAndExclusionAcrossThreads) {
  UTIL_Mutex m;
  m.Enter();
  m.Enter();
  EXPECT_EQ(m.GetDepth(), 1);
  EXPECT_TRUE(m.IsOwnedByMe());
  std::atomic<bool> got{false};
  std::thread t([&] {
    EXPECT_FALSE(m.IsOwnedByMe());
    m.Enter();
    got = true;
    m.Leave();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  m.Leave();
  EXPECT_FALSE(got.load());  // still held at depth 0
  m.Leave();
  t.join();
  EXPECT_TRUE(got.load());
  EXPECT_FALSE(m.IsOwnedByMe());
}

TEST(Mutex, CountsStayConsistentUnderContention) {
  UTIL_Mutex m;
  long counter = 0;
  std::vector<std::thread> ts;
  for (int t = 0; t < 4; ++t)
    ts.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        UTIL_MutexLock a(&m);
        UTIL_MutexLock b(&m);  // re-entry by the owner
        ++counter;
      }
    });
  for (auto& t : ts) t.join();
  EXPECT_EQ(counter, 40000);
}

namespace {

std::string readAll(const std::string& path) {
  std::string out;
  UTIL_ReadFile(path, out, 1 << 20);
  return out;
}

struct Found {
  bool ok;
  std::string why;
  struct stat st;
};

// Writes "old" as a file of mode (and owner and group, where given; mode 0: the file as it is),
// then replaces it with "new".
Found replaceAndStat(const std::string& path, mode_t mode, uid_t owner = static_cast<uid_t>(-1)) {
  Found f{};
  if (mode && (unlink(path.c_str()), std::ofstream(path) << "old", chown(path.c_str(), owner, owner) + chmod(path.c_str(), mode)) != 0)
    ADD_FAILURE() << path;
  f.ok = UTIL_ReplaceFile(path, "new", 3, &f.why);
  stat(path.c_str(), &f.st);
  return f;
}

// While set, the first file made with O_CREAT whose name holds this text finds a file already
// there (named in g_taken), as when another process took the name first.
std::string g_takeNameFirst, g_taken;
// While set, runs once just before the first file whose name holds g_onCreateOf is made.
std::string g_onCreateOf;
std::function<void()> g_onCreate;

// A scratch folder under /tmp, removed with everything in it however the test ends.
struct ScratchFolder {
  std::string dir;
  explicit ScratchFolder(const char* prefix) {
    std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
    if (mkdtemp(pattern.data())) dir = pattern;
  }
  ~ScratchFolder() {
    if (!dir.empty() && system(("rm -rf '" + dir + "'").c_str()) != 0) ADD_FAILURE();
  }
};

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = opendir(folder.c_str())) {
    while (const dirent* e = readdir(d))
      if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

// Every open of this program passes through here, so that a test can take a name first (not
// under a sanitizer, whose runtime has its own open).
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define UTIL_TESTS_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define UTIL_TESTS_SANITIZED 1
#endif
#ifndef UTIL_TESTS_SANITIZED
extern "C" int openat(int dir, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = (flags & O_CREAT) ? static_cast<mode_t>(va_arg(args, int)) : 0;
  va_end(args);
  if (!g_takeNameFirst.empty() && (flags & O_CREAT) && strstr(path, g_takeNameFirst.c_str())) {
    g_takeNameFirst.clear();
    const int taken = static_cast<int>(syscall(SYS_openat, dir, path, O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    char name[PATH_MAX] = {};
    if (taken >= 0 && readlink(("/proc/self/fd/" + std::to_string(taken)).c_str(), name, sizeof name - 1) > 0) g_taken = name;
    if (taken >= 0) close((write(taken, "theirs", 6), taken));
  }
  if (!g_onCreateOf.empty() && (flags & O_CREAT) && strstr(path, g_onCreateOf.c_str())) g_onCreateOf.clear(), g_onCreate();
  return static_cast<int>(syscall(SYS_openat, dir, path, flags, mode));
}
extern "C" int openat64(int dir, const char* path, int flags, ...) __attribute__((alias("openat")));
extern "C" int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = (flags & O_CREAT) ? static_cast<mode_t>(va_arg(args, int)) : 0;
  va_end(args);
  return openat(AT_FDCWD, path, flags, mode);
}
extern "C" int open64(const char* path, int flags, ...) __attribute__((alias("open")));

// The folder of a save swapped for a link to another, just as the temporary is made: neither the
// temporary nor the file lands in the other folder.
TEST(ReplaceFile, AFolderSwappedForALinkMidSaveReceivesNothing) {
  const ScratchFolder scratch("util-swap");
  ASSERT_FALSE(scratch.dir.empty());
  const std::string dir = scratch.dir, a = dir + "/a", moved = dir + "/moved", other = dir + "/other";
  ASSERT_EQ(0, mkdir(a.c_str(), 0700) + mkdir(other.c_str(), 0700));
  g_onCreate = [&] { EXPECT_EQ(0, rename(a.c_str(), moved.c_str()) + symlink("other", a.c_str())); };
  std::string why;
  g_onCreateOf = "s.plist.";
  EXPECT_TRUE(UTIL_ReplaceFile(a + "/s.plist", "new", 3, &why)) << why;
  ASSERT_EQ(0, unlink(a.c_str()) + rename(moved.c_str(), a.c_str()));
  g_onCreateOf = "r.";
  EXPECT_EQ(a + "/r", UTIL_WriteNewFile(a + "/r", "new", 3, &why)) << why;
  EXPECT_TRUE(namesIn(other).empty() && namesIn(moved) == (std::vector<std::string>{"r", "s.plist"})) << namesIn(other).size();
}
#endif

// A write that fails (the file size limit here) leaves the file as it was and no temporary.
TEST(ReplaceFile, AFailedWriteLeavesNoTemporary) {
  const ScratchFolder scratch("util-failed");
  ASSERT_FALSE(scratch.dir.empty());
  const std::string dir = scratch.dir;
  std::ofstream(dir + "/s.plist") << "old";
  struct rlimit before, small;
  ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &before));
  small = before, small.rlim_cur = 2;
  signal(SIGXFSZ, SIG_IGN);
  std::string why, whyNew;
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
  const bool replaced = UTIL_ReplaceFile(dir + "/s.plist", "new", 3, &why);
  const std::string made2 = UTIL_WriteNewFile(dir + "/r", "new", 3, &whyNew);
  setrlimit(RLIMIT_FSIZE, &before);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_TRUE(!replaced && made2.empty() && why == "cannot write file: File too large" && readAll(dir + "/s.plist") == "old" &&
              namesIn(dir) == std::vector<std::string>{"s.plist"}) << why << " " << namesIn(dir).size();
}

TEST(ReplaceFile, KeepsOwnerGroupAndModeAndLeavesReadOnlyAndForeignFilesAsTheyWere) {
  // Gone however the test ends: the run as the user nobody ends inside it.
  const ScratchFolder scratch("util-replace");
  ASSERT_FALSE(scratch.dir.empty());
  const std::string dir = scratch.dir, path = dir + "/s.plist", mine = dir + "/mine";
  // Root's save leaves the file its owner's, without the set-id bits root's copy would carry, and
  // one its owner may not write as it was.
  for (const mode_t mode : {02640, 04755, 0444})
    if (getuid() == 0) {
      const Found f = replaceAndStat(path, mode, 65534);
      EXPECT_TRUE(f.ok == (mode != 0444) && f.st.st_uid == 65534 && f.st.st_gid == 65534 && (f.st.st_mode & 07777) == (mode & 0777) &&
                  readAll(path) == (f.ok ? "new" : "old") && (f.ok || f.why == "is read-only; left as it was")) << std::oct << mode << f.why;
    }
  giveToUnprivileged(dir);
  // One the saver's group may write but whose owner and group it cannot give the new one; and the
  // saver's own, in a group it is not in.
  const bool foreign = getuid() == 0 && (std::ofstream(path) << "old", chown(path.c_str(), 0, 65534) + chmod(path.c_str(), 0664)) == 0 &&
                       (std::ofstream(dir + "/own") << "old", chown((dir + "/own").c_str(), 65534, 0) + chmod((dir + "/own").c_str(), 0664)) == 0;
  for (const mode_t mask : {022, 077})
    runUnprivileged(mask, [&] {
      const Found f = replaceAndStat(path, 0);
      const Found o = replaceAndStat(dir + "/own", 0);
      EXPECT_TRUE(!foreign || (!f.ok && UTIL_ShortReason(f.why) == "s.plist belongs to root and may be saved only by them (or an administrator)" &&
                               f.st.st_uid == 0 && readAll(path) == "old")) << f.why;
      EXPECT_TRUE(!foreign || (o.ok && o.st.st_uid == 65534 && (o.st.st_mode & 07777) == 0600 && readAll(dir + "/own") == "new" &&
                               o.why.find("without its group root") != std::string::npos)) << o.why;
      for (const mode_t mode : {0600, 0640, 0444}) {
        const Found m = replaceAndStat(mine, mode);
        EXPECT_TRUE(m.ok == (mode != 0444) && (m.st.st_mode & 07777) == mode && readAll(mine) == (m.ok ? "new" : "old") &&
                    (m.ok || m.why == "is read-only; left as it was")) << std::oct << mode << " " << m.why;
      }
#ifndef UTIL_TESTS_SANITIZED
      // A temporary name someone else took first is not written over: another is made.
      g_takeNameFirst = "mine.";
      const Found g = replaceAndStat(mine, 0600);
      EXPECT_TRUE(g.ok && g_takeNameFirst.empty() && readAll(mine) == "new" && readAll(g_taken) == "theirs");
#endif
    });
}
