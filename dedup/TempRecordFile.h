// A list of records of one fixed-size type, written to a temporary file
// through a buffer and then read back in the same order. Many lists may
// share one file (CTempSpace): each buffer that fills goes there as a chunk.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

#include "dedup/TempSpace.h"

template <typename T>
class CTempRecordFile {
  static_assert(std::is_trivially_copyable_v<T>, "records are written as bytes");

 public:
  // space must outlive the list; its failures throw CFileException.
  CTempRecordFile(CTempSpace& space, size_t bufferBytes)
      : m_space(space), m_nCapacity(std::max<size_t>(1, bufferBytes / sizeof(T))), m_pBuffer(new T[m_nCapacity]) {}

  void Append(const T& record) {
    if (m_nUsed == m_nCapacity) Flush();
    m_pBuffer[m_nUsed++] = record;
    ++m_nCount;
  }
  uint64_t Count() const { return m_nCount; }

  // Ends writing; Next then reads from the first record.
  void StartReading() {
    Flush();
    m_nLeft = m_nCount;
    m_nChunk = m_nUsed = m_nPos = 0;
  }
  bool Next(T* record) {
    if (m_nPos == m_nUsed && !Fill()) return false;
    *record = m_pBuffer[m_nPos++];
    return true;
  }

 private:
  // Every chunk but the last is a full buffer.
  void Flush() {
    if (m_nUsed > 0) m_chunks.push_back(m_space.Append(m_pBuffer.get(), static_cast<uint32_t>(m_nUsed * sizeof(T))));
    m_nUsed = 0;
  }
  bool Fill() {
    const auto wanted = static_cast<size_t>(std::min<uint64_t>(m_nLeft, m_nCapacity));
    if (wanted == 0) return false;
    m_space.ReadAt(m_chunks[m_nChunk++], m_pBuffer.get(), static_cast<uint32_t>(wanted * sizeof(T)));
    m_nLeft -= wanted;
    m_nUsed = wanted;
    m_nPos = 0;
    return true;
  }

  CTempSpace& m_space;
  size_t m_nCapacity;
  std::unique_ptr<T[]> m_pBuffer;
  std::vector<uint64_t> m_chunks;  // where each chunk begins in the space
  size_t m_nUsed = 0;              // records in the buffer
  size_t m_nPos = 0;               // the next to read from it
  size_t m_nChunk = 0;             // the next chunk to read
  uint64_t m_nCount = 0;
  uint64_t m_nLeft = 0;  // records still in the space, while reading
};
