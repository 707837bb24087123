#include "platform/WaitableLock.h"

#include "platform/win32/WinApi.h"

static_assert(sizeof(SRWLOCK) == sizeof(void*) && sizeof(CONDITION_VARIABLE) == sizeof(void*),
              "both fit the pointers that stand for them");

namespace {

SRWLOCK* AsLock(void** p) { return reinterpret_cast<SRWLOCK*>(p); }
CONDITION_VARIABLE* AsCondition(void** p) { return reinterpret_cast<CONDITION_VARIABLE*>(p); }

}  // namespace

void CWaitableLock::Lock() { ::AcquireSRWLockExclusive(AsLock(&m_pLock)); }

void CWaitableLock::Unlock() { ::ReleaseSRWLockExclusive(AsLock(&m_pLock)); }

void CWaitableLock::Wait() { ::SleepConditionVariableSRW(AsCondition(&m_pCondition), AsLock(&m_pLock), INFINITE, 0); }

void CWaitableLock::NotifyOne() { ::WakeConditionVariable(AsCondition(&m_pCondition)); }

void CWaitableLock::NotifyAll() { ::WakeAllConditionVariable(AsCondition(&m_pCondition)); }
