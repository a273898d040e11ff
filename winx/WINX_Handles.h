// Kernel-object handles on POSIX: threads, events (condition-variable and socket-pair kinds),
// file streams, child processes; their waits, file times and MulDiv.
//
// Handles are checked, never trusted: every handle made here is entered in a registry of live
// handles, and each operation looks its handle up before reading it, so a closed, foreign or
// small-integer handle is refused with the failure value. Any thread may use any handle; events
// are safe across threads, reference counts are atomic.
#pragma once

#include <cstdint>
#include <cstdio>

typedef void* HANDLE;
typedef uint32_t DWORD;

enum {
  WINX_HANDLE_THREAD = 0x1000002, WINX_HANDLE_EVENT = 0x1000003, WINX_HANDLE_FILE = 0x1000004,
  WINX_HANDLE_EXTSOCKET = 0x1000005, WINX_HANDLE_SOCKETEVENT = 0x1000006, WINX_HANDLE_PROCESS = 0x1000007,
};
enum : DWORD { WAIT_OBJECT_0 = 0, WAIT_TIMEOUT = 258, WAIT_FAILED = 0xFFFFFFFF, INFINITE = 0xFFFFFFFF };

struct FILETIME {
  uint32_t dwLowDateTime;
  uint32_t dwHighDateTime;
};

int GetFileTime(int fd, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite);
int MulDiv(int a, int b, int c);

int CloseHandle(HANDLE h);
HANDLE CreateEvent(void* attributes, bool manualReset, bool initialState, const char* name);
HANDLE CreateEventAsSocket(void* attributes, bool manualReset, bool initialState, const char* name);
int SetEvent(HANDLE h);
int ResetEvent(HANDLE h);
DWORD WaitForSingleObject(HANDLE h, DWORD ms);
// Index of the first signalled socket handle, or WAIT_TIMEOUT.
DWORD WaitForAnySocketObject(int count, HANDLE* handles, DWORD ms);

typedef unsigned (*WINX_THREADPROC)(void*);
HANDLE CreateThread(void* attributes, unsigned stackSize, WINX_THREADPROC proc, void* param, unsigned flags,
                    uint32_t* threadId);
int SetThreadPriority(HANDLE h, int priority);
uint64_t GetCurrentThreadId();
// Exit code of a finished thread into *code; 0 while it runs or for a bad handle.
int GetExitCodeThread(HANDLE h, uint32_t* code);

// Files: no operation here opens one through CreateFile; WINX_MakeFileHandle wraps a stream the
// caller opened (the handle then owns and closes it).
HANDLE CreateFile(const char* name, DWORD access, DWORD share, void* security, DWORD creation, DWORD flags,
                  HANDLE templ);
HANDLE WINX_MakeFileHandle(FILE* stream);
DWORD SetFilePointer(HANDLE h, uint32_t offset, uint32_t* high);
DWORD GetFilePointer(HANDLE h, uint32_t* high);
DWORD GetFileSize(HANDLE h, uint32_t* high);
int WriteFile(HANDLE h, const void* buffer, uint32_t count, uint32_t* done, void* overlapped);
int ReadFile(HANDLE h, void* buffer, uint32_t count, uint32_t* done, void* overlapped);

// For the process helpers of WINX_Message.cpp: a process handle around a child's pid.
HANDLE WINX_MakeProcessHandle(int pid);
// 0 finished, 258 running, -1 bad handle; ms 0 checks once, INFINITE waits.
int WINX_WaitProcessHandle(HANDLE h, DWORD ms, int* exitStatus);
