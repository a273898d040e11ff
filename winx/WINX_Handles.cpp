// Kernel-object handles on POSIX. Every record starts with kind and reference count and is
// entered in the live-handle registry; operations look a handle up there before reading it.
#include "WINX_Handles.h"

#include <fcntl.h>
#include <pthread.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

#include "WINX_Time.h"

namespace {

struct HandleRec {
  int32_t kind;
  std::atomic<int32_t> refCount{1};
  std::atomic<bool> callerClosed{false};  // a second CloseHandle by the caller is refused
  explicit HandleRec(int32_t k) : kind(k) {}
  virtual ~HandleRec() = default;
};

struct ThreadRec : HandleRec {
  ThreadRec() : HandleRec(WINX_HANDLE_THREAD) {}
  WINX_THREADPROC proc = nullptr;
  void* param = nullptr;
  pthread_t thread{};
  std::atomic<uint32_t> exitCode{0};
  std::atomic<bool> done{false};
  std::atomic<bool> joined{false};
  std::mutex joinLock;
};

struct EventRec : HandleRec {
  // The condition variable times its waits on the monotonic clock: a user setting the wall
  // clock must neither stretch nor cut a time-out.
  EventRec() : HandleRec(WINX_HANDLE_EVENT) {
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&cond, &attr);
    pthread_condattr_destroy(&attr);
  }
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t cond;
  std::atomic<bool> signalled{false};
  bool manualReset = false;
};

struct FileRec : HandleRec {
  FileRec() : HandleRec(WINX_HANDLE_FILE) {}
  FILE* stream = nullptr;
};

struct SocketRec : HandleRec {
  explicit SocketRec(int32_t k) : HandleRec(k) {}
  int readFd = -1, writeFd = -1;
  bool autoReset = false;
};

struct ProcessRec : HandleRec {
  ProcessRec() : HandleRec(WINX_HANDLE_PROCESS) {}
  pid_t pid = 0;
  std::mutex lock;
  bool finished = false;
  int status = 0;
};

struct Registry {
  std::mutex lock;
  std::unordered_set<const void*> live;
};
Registry& registry() {
  static Registry* r = new Registry;
  return *r;
}

HANDLE enter(HandleRec* r) {
  Registry& g = registry();
  std::lock_guard<std::mutex> l(g.lock);
  g.live.insert(r);
  return r;
}

// The record when h is live, with one reference added for the caller (drop it with unref):
// another thread's CloseHandle cannot free it under our feet.
HandleRec* ref(HANDLE h) {
  if (reinterpret_cast<uintptr_t>(h) < 5) return nullptr;
  Registry& g = registry();
  std::lock_guard<std::mutex> l(g.lock);
  if (!g.live.count(h)) return nullptr;
  HandleRec* r = static_cast<HandleRec*>(h);
  if (r->refCount.load() <= 0) return nullptr;
  r->refCount.fetch_add(1);
  return r;
}

void destroy(HandleRec* r);

void unref(HandleRec* r) {
  if (r && r->refCount.fetch_sub(1) == 1) destroy(r);
}

void joinThread(ThreadRec* t) {
  std::lock_guard<std::mutex> l(t->joinLock);
  if (t->joined.exchange(true)) return;
  if (pthread_equal(t->thread, pthread_self()))
    pthread_detach(t->thread);  // the thread drops the last reference itself
  else
    pthread_join(t->thread, nullptr);
}

void destroy(HandleRec* r) {
  {
    Registry& g = registry();
    std::lock_guard<std::mutex> l(g.lock);
    g.live.erase(r);
  }
  switch (r->kind) {
    case WINX_HANDLE_THREAD: joinThread(static_cast<ThreadRec*>(r)); break;
    case WINX_HANDLE_EVENT: {
      EventRec* e = static_cast<EventRec*>(r);
      pthread_cond_destroy(&e->cond);
      pthread_mutex_destroy(&e->mutex);
      break;
    }
    case WINX_HANDLE_FILE:
      if (FILE* f = static_cast<FileRec*>(r)->stream) fclose(f);
      break;
    case WINX_HANDLE_SOCKETEVENT: {
      SocketRec* s = static_cast<SocketRec*>(r);
      if (s->readFd >= 0) close(s->readFd);
      if (s->writeFd >= 0) close(s->writeFd);
      break;
    }
    case WINX_HANDLE_PROCESS: {
      ProcessRec* p = static_cast<ProcessRec*>(r);
      std::lock_guard<std::mutex> l(p->lock);
      if (!p->finished && p->pid > 0 && waitpid(p->pid, &p->status, WNOHANG) == 0) {
        // Still running: reap it when it ends, so it never lingers as a zombie.
        pid_t pid = p->pid;
        std::thread([pid] {
          int st;
          waitpid(pid, &st, 0);
        }).detach();
      }
      break;
    }
    default: break;
  }
  delete r;
}

void* threadBody(void* arg) {
  ThreadRec* t = static_cast<ThreadRec*>(arg);
  t->exitCode.store(t->proc ? t->proc(t->param) : 0);
  t->done.store(true);
  unref(t);
  return nullptr;
}

// The end of one wait, fixed when the wait starts on the GetTickCount clock. A waiter that
// wakes and loses the signal to another thread waits again only for what is left: restarting
// the full time-out on each lost race would let a busy event hold a waiter indefinitely.
class WaitDeadline {
 public:
  explicit WaitDeadline(DWORD ms) : start_(GetTickCount()), ms_(ms) {}
  // Milliseconds left as poll takes them: -1 for INFINITE, 0 once the deadline has passed.
  int remainingMs() const {
    if (ms_ == INFINITE) return -1;
    const uint32_t spent = GetTickCount() - start_;
    return spent >= ms_ ? 0 : static_cast<int>(std::min<DWORD>(ms_ - spent, 0x7fffffff));
  }

 private:
  uint32_t start_;
  DWORD ms_;
};

// poll, not select: inside a host with many files open our descriptors can lie past
// FD_SETSIZE, and FD_SET would then write beyond the fd_set on the stack. A signal landing
// on this thread (EINTR) is no time-out: poll again for what is left.
int pollUntil(pollfd* fds, size_t count, const WaitDeadline& deadline) {
  for (;;) {
    const int n = poll(fds, count, deadline.remainingMs());
    if (n >= 0 || errno != EINTR) return n;
  }
}

// Hang-up and error count as ready, as select reports them: a read then returns at once.
bool isReady(const pollfd& p) { return p.revents & (POLLIN | POLLHUP | POLLERR); }

bool readable(int fd, const WaitDeadline& deadline) {
  pollfd p = {fd, POLLIN, 0};
  return pollUntil(&p, 1, deadline) > 0 && isReady(p);
}

bool drain(int fd) {
  char buf[128];
  return read(fd, buf, sizeof buf) > 0;
}

DWORD waitSocket(SocketRec* s, DWORD ms) {
  if (s->readFd < 0) {
    Sleep(ms == INFINITE ? 1 : static_cast<int>(std::min<DWORD>(ms, 0x7fffffff)));
    return WAIT_FAILED;
  }
  const WaitDeadline deadline(ms);
  for (;;) {
    if (!readable(s->readFd, deadline)) return WAIT_TIMEOUT;
    if (s->kind != WINX_HANDLE_SOCKETEVENT || !s->autoReset) return WAIT_OBJECT_0;
    if (drain(s->readFd)) return WAIT_OBJECT_0;
    // Another waiter took the byte: wait again until the same deadline.
  }
}

bool validFd(FileRec* f) { return f && f->kind == WINX_HANDLE_FILE && f->stream; }

}  // namespace

// ---------------------------------------------------------------------------------------------

int GetFileTime(int fd, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite) {
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return 0;
  auto put = [](FILETIME* ft, time_t t) {
    if (!ft) return;
    const uint64_t v = static_cast<uint64_t>(t) * 10000000ULL + 116444736000000000ULL;
    ft->dwLowDateTime = static_cast<uint32_t>(v);
    ft->dwHighDateTime = static_cast<uint32_t>(v >> 32);
  };
  put(creation, st.st_ctime);
  put(lastAccess, st.st_atime);
  put(lastWrite, st.st_mtime);
  return 1;
}

int MulDiv(int a, int b, int c) {
  if (c == 0) return 0;
  const double v = static_cast<double>(b) * static_cast<double>(a) / static_cast<double>(c);
  if (v >= 2147483647.0) return 2147483647;  // out of range: clamp rather than undefined
  if (v <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(v);
}

int CloseHandle(HANDLE h) {
  HandleRec* r = ref(h);
  if (!r) return 0;
  if (r->kind == WINX_HANDLE_EXTSOCKET || r->callerClosed.exchange(true)) {  // caller-owned, or closed twice
    unref(r);
    return 0;
  }
  r->refCount.fetch_sub(1);  // the caller's reference; ours below may then be the last
  unref(r);
  return 1;
}

HANDLE CreateEvent(void*, bool manualReset, bool initialState, const char*) {
  EventRec* e = new EventRec;
  e->manualReset = manualReset;
  e->signalled.store(initialState);
  return enter(e);
}

HANDLE CreateEventAsSocket(void*, bool manualReset, bool initialState, const char*) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return nullptr;
  fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
  SocketRec* s = new SocketRec(WINX_HANDLE_SOCKETEVENT);
  s->readFd = fds[0];
  s->writeFd = fds[1];
  s->autoReset = !manualReset;
  if (initialState) {
    const char zero = 0;
    if (write(s->writeFd, &zero, 1) < 0) { /* the event simply starts unsignalled */ }
  }
  return enter(s);
}

int SetEvent(HANDLE h) {
  HandleRec* r = ref(h);
  if (!r) return 0;
  int result = 1;
  if (r->kind == WINX_HANDLE_EVENT) {
    EventRec* e = static_cast<EventRec*>(r);
    pthread_mutex_lock(&e->mutex);
    if (!e->signalled.load()) {
      e->signalled.store(true);
      if (e->manualReset)
        pthread_cond_broadcast(&e->cond);
      else
        pthread_cond_signal(&e->cond);
    }
    pthread_mutex_unlock(&e->mutex);
  } else if (r->kind == WINX_HANDLE_SOCKETEVENT) {
    SocketRec* s = static_cast<SocketRec*>(r);
    if (s->writeFd >= 0 && !readable(s->readFd, WaitDeadline(0))) {
      const char zero = 0;
      if (write(s->writeFd, &zero, 1) < 0) result = 0;
    }
  } else {
    result = 0;
  }
  unref(r);
  return result;
}

int ResetEvent(HANDLE h) {
  HandleRec* r = ref(h);
  if (!r) return 0;
  int result = 1;
  if (r->kind == WINX_HANDLE_EVENT)
    static_cast<EventRec*>(r)->signalled.store(false);
  else if (r->kind == WINX_HANDLE_SOCKETEVENT)
    drain(static_cast<SocketRec*>(r)->readFd);
  else
    result = 0;
  unref(r);
  return result;
}

DWORD WaitForSingleObject(HANDLE h, DWORD ms) {
  HandleRec* r = ref(h);
  if (!r) return WAIT_FAILED;
  DWORD result = WAIT_FAILED;
  switch (r->kind) {
    case WINX_HANDLE_THREAD: {
      ThreadRec* t = static_cast<ThreadRec*>(r);
      if (!t->done.load() && ms != INFINITE) {
        if (ms == 0) {
          result = WAIT_TIMEOUT;
          break;
        }
        const WaitDeadline deadline(ms);
        while (!t->done.load() && deadline.remainingMs() > 0) usleep(1000);
        if (!t->done.load()) {
          result = WAIT_TIMEOUT;
          break;
        }
      }
      joinThread(t);
      result = WAIT_OBJECT_0;
      break;
    }
    case WINX_HANDLE_EVENT: {
      EventRec* e = static_cast<EventRec*>(r);
      pthread_mutex_lock(&e->mutex);
      if (ms == 0) {
        result = e->signalled.load() ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
      } else {
        // One deadline for the whole wait (see WaitDeadline), on the condition variable's clock.
        timespec deadline;
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += ms / 1000;
        deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
          deadline.tv_sec += 1;
          deadline.tv_nsec -= 1000000000L;
        }
        result = WAIT_OBJECT_0;
        while (!e->signalled.load()) {
          if (ms == INFINITE) {
            pthread_cond_wait(&e->cond, &e->mutex);
            continue;
          }
          if (pthread_cond_timedwait(&e->cond, &e->mutex, &deadline) == ETIMEDOUT && !e->signalled.load()) {
            result = WAIT_TIMEOUT;
            break;
          }
        }
      }
      if (result == WAIT_OBJECT_0 && !e->manualReset) e->signalled.store(false);
      pthread_mutex_unlock(&e->mutex);
      break;
    }
    case WINX_HANDLE_EXTSOCKET:
    case WINX_HANDLE_SOCKETEVENT: result = waitSocket(static_cast<SocketRec*>(r), ms); break;
    case WINX_HANDLE_PROCESS: {
      int st;
      const int w = WINX_WaitProcessHandle(r, ms, &st);
      result = w == 0 ? WAIT_OBJECT_0 : (w == 258 ? WAIT_TIMEOUT : WAIT_FAILED);
      break;
    }
    default: break;
  }
  unref(r);
  return result;
}

DWORD WaitForAnySocketObject(int count, HANDLE* handles, DWORD ms) {
  if (count < 1 || !handles) return WAIT_TIMEOUT;
  std::vector<HandleRec*> refs(static_cast<size_t>(count), nullptr);
  std::vector<pollfd> fds;
  std::vector<int> indexOf;  // handle index of each entry in fds
  for (int i = 0; i < count; ++i) {
    HandleRec* r = ref(handles[i]);
    if (r && (r->kind == WINX_HANDLE_EXTSOCKET || r->kind == WINX_HANDLE_SOCKETEVENT) &&
        static_cast<SocketRec*>(r)->readFd >= 0) {
      refs[static_cast<size_t>(i)] = r;
      fds.push_back({static_cast<SocketRec*>(r)->readFd, POLLIN, 0});
      indexOf.push_back(i);
    } else {
      unref(r);
    }
  }
  DWORD result = WAIT_TIMEOUT;
  const WaitDeadline deadline(ms);
  while (!fds.empty()) {
    for (pollfd& p : fds) p.revents = 0;
    if (pollUntil(fds.data(), fds.size(), deadline) <= 0) break;
    bool retry = false;
    for (size_t k = 0; k < fds.size(); ++k) {
      if (!isReady(fds[k])) continue;
      const int i = indexOf[k];
      SocketRec* s = static_cast<SocketRec*>(refs[static_cast<size_t>(i)]);
      if (s->kind == WINX_HANDLE_SOCKETEVENT && s->autoReset && !drain(s->readFd)) {
        retry = true;
        break;
      }
      result = static_cast<DWORD>(i);
      break;
    }
    if (!retry) break;
  }
  for (HandleRec* r : refs) unref(r);
  return result;
}

HANDLE CreateThread(void*, unsigned, WINX_THREADPROC proc, void* param, unsigned, uint32_t* threadId) {
  ThreadRec* t = new ThreadRec;
  t->proc = proc;
  t->param = param;
  t->refCount.store(2);  // the caller's and the running thread's
  enter(t);
  if (pthread_create(&t->thread, nullptr, threadBody, t) != 0) {
    t->joined.store(true);  // nothing to join
    t->done.store(true);
    t->refCount.store(1);
    return t;
  }
  if (threadId) *threadId = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(reinterpret_cast<void*>(t->thread)));
  return t;
}

int SetThreadPriority(HANDLE h, int priority) {
  HandleRec* r = ref(h);
  if (!r) return 0;
  int ok = 0;
  if (r->kind == WINX_HANDLE_THREAD) {
    ThreadRec* t = static_cast<ThreadRec*>(r);
    int policy;
    sched_param sp;
    if (!t->done.load() && !t->joined.load() && pthread_getschedparam(t->thread, &policy, &sp) == 0) {
      sp.sched_priority = std::min(std::max(priority + 31, sched_get_priority_min(policy)), sched_get_priority_max(policy));
      ok = pthread_setschedparam(t->thread, policy, &sp) == 0 ? 1 : 0;
    }
  }
  unref(r);
  return ok;
}

uint64_t GetCurrentThreadId() { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(reinterpret_cast<void*>(pthread_self()))); }

int GetExitCodeThread(HANDLE h, uint32_t* code) {
  HandleRec* r = ref(h);
  int ok = 0;
  if (r && r->kind == WINX_HANDLE_THREAD && static_cast<ThreadRec*>(r)->done.load()) {
    if (code) *code = static_cast<ThreadRec*>(r)->exitCode.load();
    ok = 1;
  }
  unref(r);
  return ok;
}

HANDLE CreateFile(const char*, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) { return nullptr; }

HANDLE WINX_MakeFileHandle(FILE* stream) {
  if (!stream) return nullptr;
  FileRec* f = new FileRec;
  f->stream = stream;
  return enter(f);
}

DWORD SetFilePointer(HANDLE h, uint32_t offset, uint32_t* high) {
  HandleRec* r = ref(h);
  FileRec* f = static_cast<FileRec*>(r);
  DWORD result = 0xFFFFFFFF;
  if (high && *high) {
    *high = 0xFFFFFFFF;
  } else if (!r || !validFd(f) || fseeko(f->stream, static_cast<off_t>(offset), SEEK_SET) != 0) {
    if (high) *high = 0xFFFFFFFF;
  } else {
    result = static_cast<DWORD>(ftello(f->stream));
  }
  unref(r);
  return result;
}

DWORD GetFilePointer(HANDLE h, uint32_t* high) {
  HandleRec* r = ref(h);
  FileRec* f = static_cast<FileRec*>(r);
  off_t pos = (r && validFd(f)) ? ftello(f->stream) : -1;
  unref(r);
  if (pos < 0 || pos >= 0xFFFFFFFFLL) {
    if (high) *high = 0xFFFFFFFF;
    return 0xFFFFFFFF;
  }
  if (high) *high = 0;
  return static_cast<DWORD>(pos);
}

DWORD GetFileSize(HANDLE h, uint32_t* high) {
  HandleRec* r = ref(h);
  FileRec* f = static_cast<FileRec*>(r);
  off_t size = -1;
  if (r && validFd(f)) {
    const off_t pos = ftello(f->stream);
    if (fseeko(f->stream, 0, SEEK_END) == 0) size = ftello(f->stream);
    fseeko(f->stream, pos, SEEK_SET);
  }
  unref(r);
  if (size < 0) {
    if (high) *high = 0xFFFFFFFF;
    return 0xFFFFFFFF;
  }
  const DWORD low = static_cast<DWORD>(size);
  if (high) *high = low < 0xFFFFFFFF ? 0 : 0xFFFFFFFF;
  return low;
}

// One stream transfer of count bytes (fwrite or fread); 1 when at least one byte moved.
template <class Transfer>
int streamTransfer(HANDLE h, bool haveBuffer, uint32_t count, uint32_t* done, Transfer transfer) {
  if (!haveBuffer || count == 0) return 0;
  HandleRec* r = ref(h);
  FileRec* f = static_cast<FileRec*>(r);
  int ok = 0;
  if (r && validFd(f)) {
    const size_t n = transfer(f->stream);
    if (done) *done = static_cast<uint32_t>(n);
    ok = n > 0;
  }
  unref(r);
  return ok;
}

int WriteFile(HANDLE h, const void* buffer, uint32_t count, uint32_t* done, void*) {
  return streamTransfer(h, buffer != nullptr, count, done, [&](FILE* s) { return fwrite(buffer, 1, count, s); });
}

int ReadFile(HANDLE h, void* buffer, uint32_t count, uint32_t* done, void*) {
  return streamTransfer(h, buffer != nullptr, count, done, [&](FILE* s) { return fread(buffer, 1, count, s); });
}

HANDLE WINX_MakeProcessHandle(int pid) {
  if (pid <= 0) return nullptr;
  ProcessRec* p = new ProcessRec;
  p->pid = pid;
  return enter(p);
}

int WINX_WaitProcessHandle(HANDLE h, DWORD ms, int* exitStatus) {
  HandleRec* r = ref(h);
  if (!r || r->kind != WINX_HANDLE_PROCESS) {
    unref(r);
    return -1;
  }
  ProcessRec* p = static_cast<ProcessRec*>(r);
  const WaitDeadline deadline(ms);
  int result = 258;
  for (;;) {
    {
      std::lock_guard<std::mutex> l(p->lock);
      if (!p->finished) {
        int st = 0;
        if (waitpid(p->pid, &st, WNOHANG) == p->pid) {
          p->finished = true;
          p->status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        }
      }
      if (p->finished) {
        if (exitStatus) *exitStatus = p->status;
        result = 0;
        break;
      }
    }
    if (deadline.remainingMs() == 0) break;
    Sleep(1);
  }
  unref(r);
  return result;
}
