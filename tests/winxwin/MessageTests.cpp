// Timers and posted messages on the main context, and child processes.
#include <gtest/gtest.h>

#include "WINX_Handles.h"
#include "WINX_Message.h"
#include "WINX_Window.h"
#include "WinxWinTestSupport.h"

namespace {

using winxtest::Log;
using winxtest::RecordingProc;

// Runs the main context until pred holds, for at most about two seconds (loaded CI machines).
template <class Pred>
bool runUntil(Pred pred) {
  for (int i = 0; i < 200 && !pred(); ++i) WINX_RunRunLoop(10);
  return pred();
}

int s_callbackTicks = 0;
void countTick(HWND, UINT msg, UINT_PTR, uint32_t) {
  if (msg == WM_TIMER) ++s_callbackTicks;
}

TEST(Timers, FireRepeatReplaceAndStopWithTheirWindow) {
  HWND w = WINX_CreateWindowView(nullptr, nullptr, RecordingProc, 0);
  const int before = WINX_TimerCount();
  EXPECT_EQ(SetTimer(w, 7, 5, nullptr), 7u);
  EXPECT_EQ(SetTimer(w, 7, 10, nullptr), 7u);  // same id: replaced, not added
  EXPECT_EQ(WINX_TimerCount(), before + 1);
  EXPECT_EQ(SetTimer(w, 0, 10, nullptr), 0u);
  Log().clear();
  EXPECT_TRUE(runUntil([&] { return winxtest::Count(w, WM_TIMER) >= 2; }));
  EXPECT_EQ(winxtest::Find(w, WM_TIMER)->wp, 7u);
  DestroyWindow(w);
  EXPECT_EQ(WINX_TimerCount(), before);
  Log().clear();
  WINX_RunRunLoop(30);
  EXPECT_TRUE(Log().empty());
}

TEST(Timers, WindowlessCallbackTimerGetsItsOwnIdAndOnlyWindowRunsStopOthers) {
  s_callbackTicks = 0;
  const UINT_PTR id = SetTimer(nullptr, 0, 5, countTick);
  ASSERT_NE(id, 0u);
  HWND only = WINX_CreateWindowView(nullptr, nullptr, RecordingProc, 0);
  WINX_RunRunLoopEx(40, only);
  EXPECT_EQ(s_callbackTicks, 0);
  EXPECT_TRUE(runUntil([] { return s_callbackTicks > 0; }));
  EXPECT_EQ(KillTimer(nullptr, id), 1);
  EXPECT_EQ(KillTimer(nullptr, id), 0);
  DestroyWindow(only);
}

TEST(PostedMessages, DeliveredInOrderNeverToADestroyedWindowAndBounded) {
  HWND a = WINX_CreateWindowView(nullptr, nullptr, RecordingProc, 0);
  HWND b = WINX_CreateWindowView(nullptr, nullptr, RecordingProc, 0);
  EXPECT_EQ(PostMessage(a, WM_USER_TEST, 1, 0), 1);
  EXPECT_EQ(PostMessage(b, WM_USER_TEST, 2, 0), 1);
  EXPECT_EQ(PostMessage(a, WM_USER_TEST, 3, 0), 1);
  EXPECT_EQ(PostMessage(b, WM_USER_TEST, 4, 0), 1);
  WINX_Internal_PMQ_ClearAllMessages(b);
  EXPECT_EQ(PostMessage(b, WM_USER_TEST, 5, 0), 1);
  Log().clear();
  WINX_MessageQueue_Flush();
  ASSERT_EQ(Log().size(), 3u);
  EXPECT_EQ(Log()[0].wp, 1u);
  EXPECT_EQ(Log()[1].wp, 3u);
  EXPECT_EQ(Log()[2].wp, 5u);

  EXPECT_EQ(PostMessage(a, WM_USER_TEST, 6, 0), 1);
  DestroyWindow(a);
  EXPECT_EQ(PostMessage(a, WM_USER_TEST, 7, 0), 0);
  Log().clear();
  WINX_MessageQueue_Flush();
  EXPECT_TRUE(Log().empty());

  // Entries already made are reused, so fill the queue past any earlier peak first.
  int accepted = 0;
  while (PostMessage(b, WM_USER_TEST, 0, 0) == 1 && accepted < 5000) ++accepted;
  EXPECT_GE(accepted, 1024);
  EXPECT_LT(accepted, 5000);
  EXPECT_EQ(PostMessage(b, WM_USER_TEST, 0, 0), 0);
  WINX_MessageQueue_Flush();
  EXPECT_EQ(WINX_MessageQueue_Count(), 0);
  EXPECT_EQ(PostMessage(nullptr, WM_USER_TEST, 0, 0), 0);
  DestroyWindow(b);
}

TEST(PostedMessages, DrainedByTheRunLoopWithoutAnExplicitFlush) {
  HWND a = WINX_CreateWindowView(nullptr, nullptr, RecordingProc, 0);
  Log().clear();
  PostMessage(a, WM_USER_TEST, 9, 0);
  EXPECT_TRUE(runUntil([&] { return winxtest::Count(a, WM_USER_TEST) == 1; }));
  DestroyWindow(a);
}

TEST(Processes, RunWaitAndExitCode) {
  const char* args[] = {"-c", "exit 3"};
  HANDLE p = WINX_CreateProcess("/bin/sh", 2, args);
  ASSERT_TRUE(p);
  EXPECT_EQ(WaitForSingleObject(p, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(WINX_GetProcessExitCode(p), 3);
  EXPECT_EQ(CloseHandle(p), 1);
  EXPECT_EQ(CloseHandle(p), 0);
  EXPECT_EQ(WINX_CreateProcess("/nonexistent/program", 0, nullptr), nullptr);
  const char* sleepArgs[] = {"0.3"};
  HANDLE s = WINX_CreateProcess("/bin/sleep", 1, sleepArgs);
  ASSERT_TRUE(s);
  EXPECT_EQ(WINX_WaitForProcess(s, 0), 258);
  EXPECT_EQ(CloseHandle(s), 1);  // reaped in the background when it ends
}

TEST(Text, InvalidUtf8FallsBackToAscii) {
  char out[16];
  WINX_ToValidUtf8("caf\xc3\xa9", out, sizeof out);
  EXPECT_STREQ(out, "caf\xc3\xa9");
  WINX_ToValidUtf8("ab\xff" "c", out, sizeof out);
  EXPECT_STREQ(out, "ab?c");
  WINX_ToValidUtf8("abc", out, 1);
  EXPECT_STREQ(out, "");
}

}  // namespace
