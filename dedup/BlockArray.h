// An array that grows a fixed number of elements at a time and never moves
// what it holds, so an index into it stays valid for the whole run. The
// elements live in 2 MiB chunks of zero-filled memory; all but the first are
// backed by huge pages, so that a small run stays small.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "platform/LargeBuffer.h"

template <typename T, uint32_t kPerBlock>
class CBlockArray {
  static_assert(std::is_trivially_copyable_v<T>, "elements start as zero bytes");

 public:
  static constexpr uint32_t kPerChunk = static_cast<uint32_t>(CLargeBuffer::kHugePage / sizeof(T));
  static constexpr uint32_t kLimit = UINT32_MAX - kPerBlock;  // indices stay below UINT32_MAX

  // Makes kPerBlock more zero-filled elements available. When an
  // allocation fails, the capacity stays as it was.
  void AddBlock() {
    if (m_nCapacity >= kLimit) throw std::length_error("too many distinct lines");
    const uint32_t capacity = m_nCapacity + kPerBlock;
    while (static_cast<uint64_t>(m_chunks.size()) * kPerChunk < capacity) {
      m_chunks.emplace_back(CLargeBuffer::kHugePage, !m_chunks.empty());
    }
    m_nCapacity = capacity;
  }
  uint32_t Capacity() const { return m_nCapacity; }
  // The memory that capacity elements take: the first chunk grows a page at
  // a time, every later one is taken whole (a huge page).
  static size_t BytesFor(uint32_t capacity) {
    if (capacity <= kPerChunk) return size_t{capacity} * sizeof(T);
    return (size_t{capacity} + kPerChunk - 1) / kPerChunk * CLargeBuffer::kHugePage;
  }

  T& operator[](uint32_t i) { return static_cast<T*>(m_chunks[i / kPerChunk].Data())[i % kPerChunk]; }
  const T& operator[](uint32_t i) const { return static_cast<const T*>(m_chunks[i / kPerChunk].Data())[i % kPerChunk]; }

 private:
  std::vector<CLargeBuffer> m_chunks;
  uint32_t m_nCapacity = 0;
};
