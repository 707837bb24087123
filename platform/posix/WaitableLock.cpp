#include "platform/WaitableLock.h"

void CWaitableLock::Lock() { m_mutex.lock(); }

void CWaitableLock::Unlock() { m_mutex.unlock(); }

void CWaitableLock::Wait() {
  // The mutex is held already: the condition borrows it for the wait.
  std::unique_lock<std::mutex> held(m_mutex, std::adopt_lock);
  m_condition.wait(held);
  held.release();
}

void CWaitableLock::NotifyOne() { m_condition.notify_one(); }

void CWaitableLock::NotifyAll() { m_condition.notify_all(); }
