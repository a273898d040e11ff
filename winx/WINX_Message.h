// Timers, posted messages, child processes and the run loop, on GLib's default main context.
//
// The main thread is the thread that ran WINX_Internal_PostMessage_Init (the first window's
// creation runs it). Timers are g_timeout sources attached to the default main context and fire
// on the thread that iterates it (the GTK main loop, a modal loop, WINX_RunRunLoop). Posted
// messages go into one locked queue that any thread may fill; an idle source on the default
// context drains it on the main thread, delivering each message only when its window still is
// the same live record (handle and serial), so a window destroyed or freed in between never
// receives it. SetTimer/KillTimer from other threads are queued the same way.
#pragma once

#include <cstdint>

#include "WINX_Window.h"

typedef void (*TIMERPROC)(HWND, UINT, UINT_PTR, uint32_t);

// Id of a timer; all bits set means "every timer of the window" for KillTimer.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT ms, TIMERPROC proc);
int KillTimer(HWND hwnd, UINT_PTR id);
// Number of live timers (tests and diagnostics).
int WINX_TimerCount();

// Safe from any thread. 1 when queued; 0 for a bad or dying window, before initialisation, or
// when 1024 entries wait and none can be reused.
int PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
int WINX_Internal_PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void WINX_Internal_PostMessage_Init();
// Delivers everything queued so far (main thread). Entries posted meanwhile wait.
void WINX_MessageQueue_Flush();
void WINX_MessageQueue_Clear(HWND hwnd);
// Drops every queued entry of hwnd (of every window for null).
void WINX_Internal_PMQ_ClearAllMessages(HWND hwnd);
int WINX_MessageQueue_Count();
bool WINX_IsMainThread();

// Run loop (main thread).
void WINX_RunEvents();
void WINX_RunRunLoop(int ms);
void WINX_RunRunLoopEx(int ms, HWND onlyTimerWindow);
bool IsRightClickEmulateEnabled();
void WINX_EnableRightClickEmulate(bool enable);
void WINX_PostQuitMessage(void* sender);
extern int g_winx_terminating;
extern HWND g_winx_only_timerhwnd;

// Keeps the system from throttling the process while the count is above 0 (an idle inhibitor
// would go here; GTK applications are not napped, so only the count is kept). Returns the count.
int WINX_DisableAppNap(int delta);

// Child processes: a process handle of WINX_Handles.h (kind 0x1000007).
typedef void* HANDLE;
HANDLE WINX_CreateProcess(const char* exe, int nargs, const char** args);
// 0 finished, 258 still running. ms 0 checks once.
int WINX_WaitForProcess(HANDLE process, int ms);
// Exit status of a finished process (-1 while running or for a bad handle).
int WINX_GetProcessExitCode(HANDLE process);

// Text conversions: text from callers is taken as UTF-8 when valid, else its ASCII bytes are kept
// and the rest replaced by '?'. out gets at most size - 1 bytes and a NUL (nothing for size < 1).
void WINX_ToValidUtf8(const char* in, char* out, int size);
