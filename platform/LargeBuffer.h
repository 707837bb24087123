// Zero-filled memory for large tables, mapped directly from the system
// (mmap, VirtualAlloc).
// Buffers of 2 MiB and more may be aligned and advised for huge pages, so
// that random lookups over tens of megabytes do not miss the TLB at every
// step; a huge page is taken whole at its first touch, though, so a table
// that may stay small is better off without.
#pragma once

#include <cstddef>

class CLargeBuffer {
 public:
  static constexpr size_t kHugePage = size_t{2} << 20;

  CLargeBuffer() = default;
  explicit CLargeBuffer(size_t bytes, bool hugePages = true);  // throws std::bad_alloc
  ~CLargeBuffer();
  CLargeBuffer(CLargeBuffer&& other) noexcept;
  CLargeBuffer& operator=(CLargeBuffer&& other) noexcept;
  CLargeBuffer(const CLargeBuffer&) = delete;
  CLargeBuffer& operator=(const CLargeBuffer&) = delete;

  void* Data() const { return m_pData; }
  // Gives the pages of [offset, offset + bytes) back to the system; they read
  // as zero bytes afterwards. offset and bytes are multiples of the page size.
  void Discard(size_t offset, size_t bytes);
  size_t Size() const { return m_nSize; }

 private:
  void Release();

  void* m_pData = nullptr;
  size_t m_nSize = 0;
};
