#include "platform/FileMapping.h"

#include <sys/mman.h>

#include <atomic>
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <mutex>

namespace {

// The copy under way on this thread, to which a SIGBUS returns: touching a
// page past the end of a file that was cut short raises it. Volatile, and
// fenced around the copy: the compiler knows that memcpy never reads it and
// would otherwise drop the store before the copy as overwritten after it.
thread_local sigjmp_buf* volatile t_pCopying = nullptr;
struct sigaction g_previousAction {};

void OnBusError(int /*signal*/) {
  if (sigjmp_buf* copying = t_pCopying) siglongjmp(*copying, 1);
  // Not a copy's: the action before takes the fault, raised again as the
  // instruction runs again.
  ::sigaction(SIGBUS, &g_previousAction, nullptr);
}

// Installed once, with the first mapping. SA_NODEFER: a copy left by
// siglongjmp does not leave the signal blocked for the next one.
void CatchBusErrors() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_handler = OnBusError;
    action.sa_flags = SA_NODEFER;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &g_previousAction);
  });
}

}  // namespace

CFileMapping::CFileMapping(const CFile& file, uint64_t length) {
  if (length == 0 || length > SIZE_MAX) return;
  void* p = ::mmap(nullptr, static_cast<size_t>(length), PROT_READ, MAP_SHARED, static_cast<int>(file.m_hFile), 0);
  if (p == MAP_FAILED) return;
  // Lines are read again in no order the system could foresee.
  ::madvise(p, static_cast<size_t>(length), MADV_RANDOM);
  CatchBusErrors();
  m_pData = static_cast<const char*>(p);
  m_nSize = length;
}

CFileMapping::~CFileMapping() {
  if (m_pData) ::munmap(const_cast<char*>(m_pData), static_cast<size_t>(m_nSize));
}

bool CFileMapping::CopyOut(uint64_t offset, void* out, size_t count) const {
  sigjmp_buf copying;
  // Without the signal mask, which a copy never changes: no system call.
  if (sigsetjmp(copying, 0) != 0) {
    t_pCopying = nullptr;
    return false;
  }
  t_pCopying = &copying;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(out, m_pData + offset, count);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  t_pCopying = nullptr;
  return true;
}
