// Timers on g_timeout sources, the posted-message queue, the run loop and child processes.
//
// Locks: the timer list and the queue each have a process-wide recursive lock; neither is held
// while a message is delivered or a timer fires, so handlers may post, set and kill timers.
#include "WINX_Message.h"

#include <glib.h>
#include <gtk/gtk.h>
#include <pthread.h>
#include <spawn.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "UTIL_Mutex.h"
#include "WINX_Handles.h"
#include "WINX_Time.h"

extern char** environ;

int g_winx_terminating = 0;
HWND g_winx_only_timerhwnd = nullptr;

namespace {

const UINT_PTR kAllTimers = ~UINT_PTR(0);
const uint32_t kKillRequest = 0xFFFFFFFF;
const int kMaxQueued = 1024;

// ---- timers ----------------------------------------------------------------------------------

struct TimerRec {
  UINT_PTR id;
  HWND__* hwnd;      // not referenced: the window's destruction kills its timers
  uint64_t serial;   // of hwnd, checked at every tick
  TIMERPROC proc;
  guint source;
  TimerRec* next;
};

struct TimerState {
  UTIL_Mutex lock;
  TimerRec* head = nullptr;
};
TimerState& timers() {
  static TimerState* t = new TimerState;
  return *t;
}

// ---- posted messages -------------------------------------------------------------------------

struct QueueEntry {
  HWND__* hwnd;
  uint64_t serial;
  uint32_t msg;      // timer request: interval in ms, kKillRequest to kill
  WPARAM wParam;     // timer request: id
  LPARAM lParam;     // timer request: the procedure
  bool isTimer;
  QueueEntry* next;
};

struct Queue {
  UTIL_Mutex lock;
  QueueEntry* head = nullptr;
  QueueEntry* tail = nullptr;
  QueueEntry* freeList = nullptr;
  int count = 0;
  bool flushScheduled = false;
  std::atomic<bool> inited{false};
  pthread_t mainThread{};
};
Queue& queue() {
  static Queue* q = new Queue;
  return *q;
}

bool onMainThread() {
  Queue& q = queue();
  return q.inited.load() && pthread_equal(q.mainThread, pthread_self());
}

gboolean flushCallback(gpointer) {
  WINX_MessageQueue_Flush();
  return G_SOURCE_REMOVE;
}

void scheduleFlushLocked(Queue& q) {
  if (q.flushScheduled) return;
  q.flushScheduled = true;
  g_idle_add_full(G_PRIORITY_DEFAULT, flushCallback, nullptr, nullptr);
}

QueueEntry* takeEntryLocked(Queue& q) {
  if (q.freeList) {
    QueueEntry* e = q.freeList;
    q.freeList = e->next;
    return e;
  }
  if (q.count >= kMaxQueued) return nullptr;
  return new QueueEntry;
}

void appendLocked(Queue& q, QueueEntry* e) {
  e->next = nullptr;
  if (q.tail)
    q.tail->next = e;
  else
    q.head = e;
  q.tail = e;
  ++q.count;
  scheduleFlushLocked(q);
}

// Queues a timer request from another thread. A request for the same window and id still
// waiting is updated in place.
void queueTimerRequest(HWND hwnd, UINT_PTR id, uint32_t ms, TIMERPROC proc) {
  Queue& q = queue();
  UTIL_MutexLock l(&q.lock);
  for (QueueEntry* e = q.head; e; e = e->next)
    if (e->isTimer && e->hwnd == hwnd && e->wParam == id) {
      e->msg = ms;
      e->lParam = reinterpret_cast<LPARAM>(proc);
      return;
    }
  QueueEntry* e = takeEntryLocked(q);
  if (!e) return;
  *e = QueueEntry{hwnd, 0, ms, id, reinterpret_cast<LPARAM>(proc), true, nullptr};
  appendLocked(q, e);
}

gboolean timerTick(gpointer data) {
  TimerRec* r = static_cast<TimerRec*>(data);
  // Copy out: the handler may kill this timer and free the record.
  HWND__* h = r->hwnd;
  const uint64_t serial = r->serial;
  const UINT_PTR id = r->id;
  TIMERPROC proc = r->proc;
  if (g_winx_only_timerhwnd && h != g_winx_only_timerhwnd) return G_SOURCE_CONTINUE;
  if (h && !WINX_IsValidWindow(h, serial)) return G_SOURCE_CONTINUE;
  if (h && h->m_hashaddestroy.load() != 0) return G_SOURCE_CONTINUE;
  if (proc)
    proc(h, WM_TIMER, id, GetTickCount());
  else
    WINX_DeliverMessage(h, WM_TIMER, id, 0);
  return G_SOURCE_CONTINUE;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Timers

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT ms, TIMERPROC proc) {
  if (!hwnd && !proc) return 0;
  if (hwnd && id == 0) return 0;
  if (id != kAllTimers && queue().inited.load() && !onMainThread()) {
    if (hwnd) queueTimerRequest(hwnd, id, ms < 0xFFFFFFFEu ? ms : 0xFFFFFFFEu, proc);
    return id;
  }
  HWND__* w = nullptr;
  if (hwnd) {
    w = WINX_ValidWindow(hwnd);
    if (!w || w->m_hashaddestroy.load() != 0) return 0;
  }
  TimerState& t = timers();
  UTIL_MutexLock l(&t.lock);
  TimerRec* r = nullptr;
  if (id || w)
    for (TimerRec* e = t.head; e; e = e->next)
      if (e->id == id && e->hwnd == w) {
        r = e;
        break;
      }
  if (r) {
    g_source_remove(r->source);
  } else {
    r = new TimerRec{id, w, w ? w->serial : 0, proc, 0, t.head};
    t.head = r;
    if (!w) r->id = reinterpret_cast<UINT_PTR>(r);  // a window-less timer is named by its record
  }
  r->proc = proc;
  r->source = g_timeout_add(ms ? ms : 1, timerTick, r);
  return r->id;
}

int KillTimer(HWND hwnd, UINT_PTR id) {
  if (!hwnd && !id) return 0;
  if (id != kAllTimers && queue().inited.load() && !onMainThread()) {
    if (hwnd) queueTimerRequest(hwnd, id, kKillRequest, nullptr);
    return 1;
  }
  if (!hwnd && id == kAllTimers) return 0;
  TimerState& t = timers();
  UTIL_MutexLock l(&t.lock);
  int found = 0;
  for (TimerRec** pp = &t.head; *pp;) {
    TimerRec* r = *pp;
    if (r->hwnd == hwnd && (id == kAllTimers || r->id == id)) {
      *pp = r->next;
      g_source_remove(r->source);
      delete r;
      found = 1;
      if (id != kAllTimers) break;
    } else {
      pp = &r->next;
    }
  }
  return found;
}

int WINX_TimerCount() {
  TimerState& t = timers();
  UTIL_MutexLock l(&t.lock);
  int n = 0;
  for (TimerRec* r = t.head; r; r = r->next) ++n;
  return n;
}

namespace winx_internal {
void killAllTimers(HWND__* w) {
  // Also drops timer requests still queued for the window by other threads.
  KillTimer(w, kAllTimers);
}
void clearPosted(HWND__* w) { WINX_Internal_PMQ_ClearAllMessages(w); }
}  // namespace winx_internal

// ---------------------------------------------------------------------------------------------
// Posted messages

void WINX_Internal_PostMessage_Init() {
  Queue& q = queue();
  if (q.inited.load()) return;
  UTIL_MutexLock l(&q.lock);
  if (q.inited.load()) return;
  q.mainThread = pthread_self();
  q.inited.store(true);
}

bool WINX_IsMainThread() { return onMainThread(); }

int WINX_Internal_PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Queue& q = queue();
  if (!hwnd || !q.inited.load()) return 0;
  uint64_t serial = 0;
  UTIL_MutexLock l(&q.lock);
  if (!WINX_PostableWindow(hwnd, &serial)) return 0;
  QueueEntry* e = takeEntryLocked(q);
  if (!e) return 0;
  *e = QueueEntry{hwnd, serial, msg, wParam, lParam, false, nullptr};
  appendLocked(q, e);
  return 1;
}

int PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return WINX_Internal_PostMessage(hwnd, msg, wParam, lParam) & 0xff;
}

void WINX_MessageQueue_Flush() {
  Queue& q = queue();
  QueueEntry* list;
  {
    UTIL_MutexLock l(&q.lock);
    list = q.head;
    q.head = q.tail = nullptr;
    q.flushScheduled = false;
  }
  int handled = 0;
  QueueEntry* last = nullptr;
  for (QueueEntry* e = list; e; e = e->next) {
    ++handled;
    last = e;
    if (e->isTimer) {
      if (e->msg != kKillRequest)
        SetTimer(e->hwnd, e->wParam, e->msg, reinterpret_cast<TIMERPROC>(e->lParam));
      else
        KillTimer(e->hwnd, e->wParam);
      continue;
    }
    // Same address and serial: a window freed and another made at its address gets nothing.
    if (!WINX_IsValidWindow(e->hwnd, e->serial) || e->hwnd->m_hashaddestroy.load() != 0) continue;
    SendMessage(e->hwnd, e->msg, e->wParam, e->lParam);
  }
  UTIL_MutexLock l(&q.lock);
  q.count -= handled;
  if (last) {
    last->next = q.freeList;
    q.freeList = list;
  }
}

void WINX_Internal_PMQ_ClearAllMessages(HWND hwnd) {
  Queue& q = queue();
  UTIL_MutexLock l(&q.lock);
  QueueEntry* prev = nullptr;
  for (QueueEntry* e = q.head; e;) {
    QueueEntry* next = e->next;
    if (!hwnd || e->hwnd == hwnd) {
      if (prev)
        prev->next = next;
      else
        q.head = next;
      if (q.tail == e) q.tail = prev;
      e->next = q.freeList;
      q.freeList = e;
      --q.count;
    } else {
      prev = e;
    }
    e = next;
  }
}

void WINX_MessageQueue_Clear(HWND hwnd) { WINX_Internal_PMQ_ClearAllMessages(hwnd); }

int WINX_MessageQueue_Count() {
  Queue& q = queue();
  UTIL_MutexLock l(&q.lock);
  return q.count;
}

// ---------------------------------------------------------------------------------------------
// Run loop

void WINX_RunEvents() {
  for (int i = 0; i < 100 && g_main_context_pending(nullptr); ++i) g_main_context_iteration(nullptr, FALSE);
}

void WINX_RunRunLoop(int ms) {
  const gint64 end = g_get_monotonic_time() + static_cast<gint64>(ms > 0 ? ms : 0) * 1000;
  // A wake-up at the deadline, so the blocking iteration below cannot outlast it. The flag lives
  // on this frame: the source only fires inside our own iterations and is gone before we return.
  bool fired = false;
  guint wake = g_timeout_add(
      static_cast<guint>(ms > 0 ? ms : 0),
      [](gpointer p) -> gboolean {
        *static_cast<bool*>(p) = true;
        return G_SOURCE_REMOVE;
      },
      &fired);
  while (g_get_monotonic_time() < end && !fired) g_main_context_iteration(nullptr, TRUE);
  if (!fired) g_source_remove(wake);
  while (g_main_context_pending(nullptr) && g_get_monotonic_time() < end) g_main_context_iteration(nullptr, FALSE);
}

void WINX_RunRunLoopEx(int ms, HWND only) {
  HWND prev = g_winx_only_timerhwnd;
  g_winx_only_timerhwnd = only;
  WINX_RunRunLoop(ms);
  if (g_winx_only_timerhwnd == only) g_winx_only_timerhwnd = prev;
}

namespace {
std::atomic<bool> s_rightClickEmulate{true};
}

bool IsRightClickEmulateEnabled() { return s_rightClickEmulate.load(); }
void WINX_EnableRightClickEmulate(bool enable) { s_rightClickEmulate.store(enable); }

void WINX_PostQuitMessage(void*) {
  g_winx_terminating = 1;
  if (gtk_main_level() > 0) gtk_main_quit();
}

int WINX_DisableAppNap(int delta) {
  static std::atomic<int> count{0};
  if (g_winx_terminating) return count.load();
  return count += delta;
}

// ---------------------------------------------------------------------------------------------
// Processes

HANDLE WINX_CreateProcess(const char* exe, int nargs, const char** args) {
  if (!exe || !*exe || nargs < 0) return nullptr;
  std::vector<std::string> strs;
  strs.emplace_back(exe);
  for (int i = 0; i < nargs; ++i) strs.emplace_back(args && args[i] ? args[i] : "");
  std::vector<char*> argv;
  for (std::string& s : strs) argv.push_back(&s[0]);
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, exe, nullptr, nullptr, argv.data(), environ) != 0) return nullptr;
  return WINX_MakeProcessHandle(pid);
}

int WINX_WaitForProcess(HANDLE process, int ms) {
  int r = WINX_WaitProcessHandle(process, ms < 0 ? INFINITE : static_cast<DWORD>(ms), nullptr);
  return r == 0 ? 0 : 258;
}

int WINX_GetProcessExitCode(HANDLE process) {
  int status = -1;
  return WINX_WaitProcessHandle(process, 0, &status) == 0 ? status : -1;
}

// ---------------------------------------------------------------------------------------------
// Text

void WINX_ToValidUtf8(const char* in, char* out, int size) {
  if (!out || size < 1) return;
  out[0] = 0;
  if (!in) return;
  const size_t n = strnlen(in, static_cast<size_t>(size - 1));
  if (g_utf8_validate(in, static_cast<gssize>(n), nullptr)) {
    memcpy(out, in, n);
    out[n] = 0;
    return;
  }
  for (size_t i = 0; i < n; ++i) out[i] = (static_cast<unsigned char>(in[i]) < 0x80) ? in[i] : '?';
  out[n] = 0;
}
