#include "platform/LargeBuffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

CLargeBuffer::CLargeBuffer(size_t bytes, bool hugePages) {
  if (bytes == 0) return;
  const bool huge = hugePages && bytes >= kHugePage;
  // A huge page needs a 2 MiB-aligned range: map more, then cut off the ends.
  const size_t mapped = huge ? bytes + kHugePage : bytes;
  void* p = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  auto* start = static_cast<char*>(p);
  if (huge) {
    const auto address = reinterpret_cast<uintptr_t>(start);
    char* aligned = start + ((kHugePage - address % kHugePage) % kHugePage);
    if (aligned > start) ::munmap(start, static_cast<size_t>(aligned - start));
    char* end = aligned + bytes;
    char* mappedEnd = start + mapped;
    if (mappedEnd > end) ::munmap(end, static_cast<size_t>(mappedEnd - end));
    start = aligned;
    ::madvise(start, bytes, MADV_HUGEPAGE);  // only advice: failure is harmless
  }
  m_pData = start;
  m_nSize = bytes;
}

void CLargeBuffer::Discard(size_t offset, size_t bytes) {
  // Only advice: when it fails, the memory simply stays.
  ::madvise(static_cast<char*>(m_pData) + offset, bytes, MADV_DONTNEED);
}

void CLargeBuffer::Release() {
  if (m_pData) ::munmap(m_pData, m_nSize);
  m_pData = nullptr;
  m_nSize = 0;
}
