#include "platform/LargeBuffer.h"

#include <new>

#include "platform/win32/WinApi.h"

// Large pages need a privilege that ordinary accounts lack, so the hint is
// not followed here.
CLargeBuffer::CLargeBuffer(size_t bytes, bool /*hugePages*/) {
  if (bytes == 0) return;
  void* p = ::VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (!p) throw std::bad_alloc();
  m_pData = p;
  m_nSize = bytes;
}

void CLargeBuffer::Discard(size_t offset, size_t bytes) {
  // Decommitted pages are given back; committed again they read as zero and
  // take memory only when touched. When either fails, the memory simply stays.
  char* start = static_cast<char*>(m_pData) + offset;
  if (::VirtualFree(start, bytes, MEM_DECOMMIT)) ::VirtualAlloc(start, bytes, MEM_COMMIT, PAGE_READWRITE);
}

void CLargeBuffer::Release() {
  if (m_pData) ::VirtualFree(m_pData, 0, MEM_RELEASE);
  m_pData = nullptr;
  m_nSize = 0;
}
