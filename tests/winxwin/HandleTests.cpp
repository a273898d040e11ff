// Handles on one thread: events, socket events, files, MulDiv, file times and checked handles.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "WINX_Handles.h"

namespace {

TEST(Handles, MulDivTruncatesAndGuardsZero) {
  EXPECT_EQ(MulDiv(7, 1, 2), 3);
  EXPECT_EQ(MulDiv(-7, 1, 2), -3);
  EXPECT_EQ(MulDiv(5, 6, 0), 0);
  EXPECT_EQ(MulDiv(0x7fffffff, 4, 1), 0x7fffffff);
}

TEST(Handles, BadHandlesAreRefused) {
  int local = 0;
  HANDLE fake = &local;
  EXPECT_EQ(CloseHandle(nullptr), 0);
  EXPECT_EQ(CloseHandle(fake), 0);
  EXPECT_EQ(SetEvent(reinterpret_cast<HANDLE>(3)), 0);
  EXPECT_EQ(WaitForSingleObject(fake, 0), WAIT_FAILED);
  HANDLE e = CreateEvent(nullptr, false, false, nullptr);
  EXPECT_EQ(CloseHandle(e), 1);
  EXPECT_EQ(CloseHandle(e), 0);
  EXPECT_EQ(SetEvent(e), 0);
}

TEST(Handles, EventsAutoAndManualReset) {
  HANDLE a = CreateEvent(nullptr, false, true, nullptr);
  EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_TIMEOUT);  // auto reset
  EXPECT_EQ(WaitForSingleObject(a, 20), WAIT_TIMEOUT);
  HANDLE m = CreateEvent(nullptr, true, false, nullptr);
  SetEvent(m);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  ResetEvent(m);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_TIMEOUT);
  CloseHandle(a);
  CloseHandle(m);
}

TEST(Handles, SocketEventHoldsOneByteAndAutoResetConsumesIt) {
  HANDLE s = CreateEventAsSocket(nullptr, false, false, nullptr);
  ASSERT_TRUE(s);
  EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_TIMEOUT);
  SetEvent(s);
  SetEvent(s);
  EXPECT_EQ(WaitForSingleObject(s, 10), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(s, 10), WAIT_TIMEOUT);
  HANDLE m = CreateEventAsSocket(nullptr, true, true, nullptr);
  HANDLE both[2] = {s, m};
  EXPECT_EQ(WaitForAnySocketObject(2, both, 10), 1u);
  EXPECT_EQ(WaitForAnySocketObject(2, both, 10), 1u);  // manual reset stays signalled
  ResetEvent(m);
  EXPECT_EQ(WaitForAnySocketObject(2, both, 10), WAIT_TIMEOUT);
  CloseHandle(s);
  CloseHandle(m);
}

TEST(Handles, SocketEventsWithDescriptorsPastFdSetSizeStillWait) {
  // Regression: waiting used FD_SET, which writes past the fd_set for such descriptors, and
  // waiting on several handles skipped them, so the wait never ended.
  rlimit lim;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &lim), 0);
  const rlimit saved = lim;
  if (lim.rlim_max != RLIM_INFINITY && lim.rlim_max < FD_SETSIZE + 64) GTEST_SKIP() << "descriptor limit too low";
  lim.rlim_cur = FD_SETSIZE + 64;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lim), 0);
  const int null = open("/dev/null", O_RDONLY);
  ASSERT_GE(null, 0);
  std::vector<int> filler;
  for (int fd = dup(null); fd >= 0; fd = dup(null)) {
    filler.push_back(fd);
    if (fd >= FD_SETSIZE) break;
  }
  if (!filler.empty() && filler.back() >= FD_SETSIZE - 1) {
    HANDLE s = CreateEventAsSocket(nullptr, false, false, nullptr);
    ASSERT_TRUE(s);
    EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_TIMEOUT);
    EXPECT_EQ(SetEvent(s), 1);
    EXPECT_EQ(WaitForSingleObject(s, 10), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_TIMEOUT);
    HANDLE m = CreateEventAsSocket(nullptr, true, true, nullptr);
    HANDLE both[2] = {s, m};
    EXPECT_EQ(WaitForAnySocketObject(2, both, 10), 1u);  // was skipped: never signalled
    CloseHandle(m);
    CloseHandle(s);
  }
  for (int fd : filler) close(fd);
  close(null);
  setrlimit(RLIMIT_NOFILE, &saved);
}

TEST(Handles, FilesThroughStreams) {
  FILE* f = tmpfile();
  ASSERT_TRUE(f);
  HANDLE h = WINX_MakeFileHandle(f);
  uint32_t done = 0, high = 0;
  EXPECT_EQ(WriteFile(h, "hello", 5, &done, nullptr), 1);
  EXPECT_EQ(done, 5u);
  EXPECT_EQ(GetFileSize(h, &high), 5u);
  EXPECT_EQ(high, 0u);
  high = 1;
  EXPECT_EQ(SetFilePointer(h, 1, &high), 0xFFFFFFFFu);
  EXPECT_EQ(high, 0xFFFFFFFFu);
  EXPECT_EQ(SetFilePointer(h, 1, nullptr), 1u);
  char buf[8] = {};
  EXPECT_EQ(ReadFile(h, buf, 8, &done, nullptr), 1);
  EXPECT_EQ(done, 4u);
  EXPECT_STREQ(buf, "ello");
  FILETIME w;
  EXPECT_EQ(GetFileTime(fileno(f), nullptr, nullptr, &w), 1);
  EXPECT_GT(w.dwHighDateTime, 0x1D00000u);  // after 2015
  EXPECT_EQ(GetFileTime(-1, nullptr, nullptr, &w), 0);
  EXPECT_EQ(CloseHandle(h), 1);
  EXPECT_EQ(CreateFile("x", 0, 0, nullptr, 0, 0, nullptr), nullptr);
}

}  // namespace
