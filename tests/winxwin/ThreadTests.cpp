// Posting and timer requests from other threads, events and thread handles across threads.
// Also built and run under TSan.
#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "WINX_Handles.h"
#include "WINX_Message.h"
#include "WINX_Time.h"
#include "WINX_Window.h"

namespace {

std::atomic<int> s_delivered{0};
std::atomic<bool> s_afterDestroy{false};
std::atomic<int> s_lateDeliveries{0};

LRESULT countingProc(HWND, UINT msg, WPARAM, LPARAM) {
  if (msg == 0x0400) {
    ++s_delivered;
    if (s_afterDestroy.load()) ++s_lateDeliveries;
  }
  return 0;
}

TEST(Threads, PostsFromWorkersReachOnlyALiveWindow) {
  HWND w = WINX_CreateWindowView(nullptr, nullptr, countingProc, 0);
  ASSERT_TRUE(w);
  WINX_Internal_PostMessage_Init();
  s_delivered = 0;
  std::atomic<int> accepted{0};
  std::atomic<bool> stop{false};
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t)
    workers.emplace_back([&] {
      while (!stop.load()) {
        accepted += PostMessage(w, 0x0400, 0, 0);
        std::this_thread::yield();
      }
    });
  for (int i = 0; i < 400 && s_delivered.load() == 0; ++i) WINX_RunRunLoop(5);
  WINX_RunRunLoop(10);
  DestroyWindow(w);
  s_afterDestroy = true;
  for (int i = 0; i < 10; ++i) WINX_RunRunLoop(2);
  stop = true;
  for (auto& t : workers) t.join();
  WINX_MessageQueue_Flush();
  EXPECT_GT(s_delivered.load(), 0);
  EXPECT_LE(s_delivered.load(), accepted.load());
  EXPECT_EQ(s_lateDeliveries.load(), 0);
  EXPECT_EQ(WINX_MessageQueue_Count(), 0);
}

std::atomic<int> s_ticks{0};
LRESULT tickProc(HWND, UINT msg, WPARAM wp, LPARAM) {
  if (msg == WM_TIMER && wp == 5) ++s_ticks;
  return 0;
}

TEST(Threads, TimerRequestedFromAWorkerStartsAtTheNextFlush) {
  HWND w = WINX_CreateWindowView(nullptr, nullptr, tickProc, 0);
  WINX_Internal_PostMessage_Init();
  UINT_PTR id = 0;
  std::thread([&] { id = SetTimer(w, 5, 5, nullptr); }).join();
  EXPECT_EQ(id, 5u);
  EXPECT_EQ(s_ticks.load(), 0);
  for (int i = 0; i < 200 && s_ticks.load() == 0; ++i) WINX_RunRunLoop(10);
  EXPECT_GT(s_ticks.load(), 0);
  std::thread([&] { EXPECT_EQ(KillTimer(w, 5), 1); }).join();
  WINX_MessageQueue_Flush();
  const int now = s_ticks.load();
  WINX_RunRunLoop(30);
  EXPECT_EQ(s_ticks.load(), now);
  DestroyWindow(w);
}

TEST(Threads, AutoResetEventReleasesOneWaiterManualReleasesAll) {
  HANDLE a = CreateEvent(nullptr, false, false, nullptr);
  std::atomic<int> woke{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 2; ++i)
    waiters.emplace_back([&] {
      if (WaitForSingleObject(a, 300) == WAIT_OBJECT_0) ++woke;
    });
  Sleep(50);
  SetEvent(a);
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woke.load(), 1);
  CloseHandle(a);

  HANDLE m = CreateEvent(nullptr, true, false, nullptr);
  woke = 0;
  waiters.clear();
  for (int i = 0; i < 2; ++i)
    waiters.emplace_back([&] {
      if (WaitForSingleObject(m, INFINITE) == WAIT_OBJECT_0) ++woke;
    });
  Sleep(20);
  SetEvent(m);
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woke.load(), 2);
  CloseHandle(m);
}

unsigned slowThread(void* p) {
  WaitForSingleObject(static_cast<HANDLE>(p), INFINITE);
  return 17;
}

TEST(Threads, ThreadHandleOutlivesAnEarlyCloseAndReportsItsExitCode) {
  HANDLE go = CreateEvent(nullptr, true, false, nullptr);
  HANDLE t = CreateThread(nullptr, 0, slowThread, go, 0, nullptr);
  ASSERT_TRUE(t);
  EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_TIMEOUT);
  HANDLE t2 = CreateThread(nullptr, 0, slowThread, go, 0, nullptr);
  EXPECT_EQ(CloseHandle(t2), 1);  // the thread still holds its own reference
  SetEvent(go);
  EXPECT_EQ(WaitForSingleObject(t, 2000), WAIT_OBJECT_0);
  uint32_t code = 0;
  EXPECT_EQ(GetExitCodeThread(t, &code), 1);
  EXPECT_EQ(code, 17u);
  EXPECT_EQ(CloseHandle(t), 1);
  Sleep(50);  // let the second thread finish and free itself
  CloseHandle(go);
}

TEST(Threads, ThreadWaitLongerThanTwentyFourDaysStillWaits) {
  // Such a time-out once came out negative as a signed tick difference and timed out at once.
  HANDLE go = CreateEvent(nullptr, true, false, nullptr);
  HANDLE t = CreateThread(nullptr, 0, slowThread, go, 0, nullptr);
  ASSERT_TRUE(t);
  std::thread releaser([go] {
    Sleep(50);
    SetEvent(go);
  });
  EXPECT_EQ(WaitForSingleObject(t, 0x80000000u), WAIT_OBJECT_0);
  releaser.join();
  CloseHandle(t);
  CloseHandle(go);
}

// A waiter with a 200 ms time-out while another thread keeps setting the object and taking the
// signal back. Each lost race once restarted the full time-out, so a waiter that kept losing
// waited until the other thread stopped. The waiter wins often enough here that a lost streak
// is not guaranteed, so this bounds every wait rather than demanding a time-out.
template <class SetAndTake>
void expectEveryWaitBoundedWhileAnotherThreadTakesTheSignal(HANDLE h, SetAndTake setAndTake) {
  std::atomic<bool> waiterDone{false};
  std::thread taker([&] {
    const uint32_t start = GetTickCount();
    while (!waiterDone.load() && GetTickCount() - start < 5000) {
      setAndTake();
      Sleep(1);
    }
  });
  uint32_t longest = 0;
  const uint32_t start = GetTickCount();
  while (GetTickCount() - start < 600) {
    const uint32_t callStart = GetTickCount();
    WaitForSingleObject(h, 200);
    longest = std::max(longest, GetTickCount() - callStart);
  }
  waiterDone = true;
  taker.join();
  EXPECT_LT(longest, 2000u);
}

TEST(Threads, EventWaitStaysBoundedWhileAnotherThreadTakesTheSignal) {
  HANDLE e = CreateEvent(nullptr, false, false, nullptr);
  expectEveryWaitBoundedWhileAnotherThreadTakesTheSignal(e, [e] {
    SetEvent(e);
    WaitForSingleObject(e, 0);
  });
  CloseHandle(e);
}

TEST(Threads, SocketEventWaitStaysBoundedWhileAnotherThreadTakesTheSignal) {
  HANDLE s = CreateEventAsSocket(nullptr, false, false, nullptr);
  expectEveryWaitBoundedWhileAnotherThreadTakesTheSignal(s, [s] {
    SetEvent(s);
    WaitForSingleObject(s, 0);
  });
  CloseHandle(s);
}

void ignoreSignal(int) {}

TEST(Threads, SocketEventWaitInterruptedBySignalKeepsWaiting) {
  // A signal landing on the waiting thread interrupts poll; that once came back as a time-out.
  struct sigaction quiet = {}, previous = {};
  quiet.sa_handler = ignoreSignal;
  sigemptyset(&quiet.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR2, &quiet, &previous), 0);
  HANDLE s = CreateEventAsSocket(nullptr, false, false, nullptr);
  std::atomic<DWORD> result{WAIT_FAILED};
  std::thread waiter([&] { result = WaitForSingleObject(s, 10000); });
  Sleep(50);
  pthread_kill(waiter.native_handle(), SIGUSR2);
  Sleep(50);
  SetEvent(s);
  waiter.join();
  EXPECT_EQ(result.load(), WAIT_OBJECT_0);
  CloseHandle(s);
  sigaction(SIGUSR2, &previous, nullptr);
}

}  // namespace
