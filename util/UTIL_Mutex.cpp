#include "UTIL_Mutex.h"

UTIL_Mutex::UTIL_Mutex() { pthread_mutex_init(&m_mutex, nullptr); }

UTIL_Mutex::~UTIL_Mutex() { pthread_mutex_destroy(&m_mutex); }

bool UTIL_Mutex::IsOwnedByMe() const {
  return m_owned.load(std::memory_order_acquire) && pthread_equal(m_owner.load(std::memory_order_relaxed), pthread_self());
}

void UTIL_Mutex::Enter() {
  if (IsOwnedByMe()) {
    ++m_depth;
    return;
  }
  pthread_mutex_lock(&m_mutex);
  m_owner.store(pthread_self(), std::memory_order_relaxed);
  m_owned.store(true, std::memory_order_release);
  m_depth = 0;
}

void UTIL_Mutex::Leave() {
  if (!IsOwnedByMe()) return;  // unbalanced Leave from a thread that does not hold it: ignore
  if (m_depth-- == 0) {
    m_depth = 0;
    m_owned.store(false, std::memory_order_release);
    pthread_mutex_unlock(&m_mutex);
  }
}
