// Recursive lock by hand: a POSIX mutex with default attributes, the owning thread and a depth.
// A thread that does not own it locks the mutex and becomes owner at depth 0; the owner only
// raises the depth. Leave() lowers it and unlocks when it was 0. Every Enter() needs one Leave()
// on the same thread; use UTIL_MutexLock to pair them.
#pragma once

#include <pthread.h>

#include <atomic>

class UTIL_Mutex {
public:
  UTIL_Mutex();
  ~UTIL_Mutex();
  UTIL_Mutex(const UTIL_Mutex&) = delete;
  UTIL_Mutex& operator=(const UTIL_Mutex&) = delete;

  void Enter();
  void Leave();
  // True when the calling thread holds the lock.
  bool IsOwnedByMe() const;
  int GetDepth() const { return m_depth; }

private:
  pthread_mutex_t m_mutex;
  // Read by threads that do not hold the lock (to decide whether they own it): atomic.
  std::atomic<pthread_t> m_owner{};
  std::atomic<bool> m_owned{false};
  int m_depth = 0;
};

class UTIL_MutexLock {
public:
  explicit UTIL_MutexLock(UTIL_Mutex* m) : m_m(m) { if (m_m) m_m->Enter(); }
  ~UTIL_MutexLock() { if (m_m) m_m->Leave(); }
  UTIL_MutexLock(const UTIL_MutexLock&) = delete;
  UTIL_MutexLock& operator=(const UTIL_MutexLock&) = delete;

private:
  UTIL_Mutex* m_m;
};
