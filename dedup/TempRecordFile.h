// Records of one fixed-size type, written to a temporary file through a
// buffer and then read back in the same order.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>

#include "platform/File.h"

template <typename T>
class CTempRecordFile {
  static_assert(std::is_trivially_copyable_v<T>, "records are written as bytes");

 public:
  // The file has no name in dir; failures throw CFileException naming dir.
  CTempRecordFile(const std::string& dir, size_t bufferBytes)
      : m_nCapacity(std::max<size_t>(1, bufferBytes / sizeof(T))), m_pBuffer(new T[m_nCapacity]) {
    m_file.CreateTemporary(dir);
  }

  void Append(const T& record) {
    if (m_nUsed == m_nCapacity) Flush();
    m_pBuffer[m_nUsed++] = record;
    ++m_nCount;
  }
  uint64_t Count() const { return m_nCount; }

  // Ends writing; Next then reads from the first record.
  void StartReading() {
    Flush();
    m_file.SeekToStart();
    m_nLeft = m_nCount;
    m_nUsed = m_nPos = 0;
  }
  bool Next(T* record) {
    if (m_nPos == m_nUsed && !Fill()) return false;
    *record = m_pBuffer[m_nPos++];
    return true;
  }

  // Gives the file's space back, once its records are no longer needed.
  void Clear() {
    m_file.SetLength(0);
    m_file.SeekToStart();
    m_nCount = m_nLeft = 0;
    m_nUsed = m_nPos = 0;
  }

 private:
  void Flush() {
    if (m_nUsed > 0) m_file.Write(m_pBuffer.get(), static_cast<uint32_t>(m_nUsed * sizeof(T)));
    m_nUsed = 0;
  }
  bool Fill() {
    const auto wanted = static_cast<size_t>(std::min<uint64_t>(m_nLeft, m_nCapacity));
    if (wanted == 0) return false;
    const uint32_t got = m_file.Read(m_pBuffer.get(), static_cast<uint32_t>(wanted * sizeof(T)));
    // Only this run writes the file: a short read means the disk lost bytes.
    if (got != wanted * sizeof(T)) throw CFileException(m_file.GetFileName(), "read", kIoError, true);
    m_nLeft -= wanted;
    m_nUsed = wanted;
    m_nPos = 0;
    return true;
  }

  size_t m_nCapacity;
  std::unique_ptr<T[]> m_pBuffer;
  CFile m_file;
  size_t m_nUsed = 0;  // records in the buffer
  size_t m_nPos = 0;   // the next to read from it
  uint64_t m_nCount = 0;
  uint64_t m_nLeft = 0;  // records still in the file, while reading
};
