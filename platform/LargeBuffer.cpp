// The parts of CLargeBuffer that do not depend on the system; the mapping
// itself is in posix/ and win32/.
#include "platform/LargeBuffer.h"

#include <utility>

CLargeBuffer::~CLargeBuffer() { Release(); }

CLargeBuffer::CLargeBuffer(CLargeBuffer&& other) noexcept
    : m_pData(std::exchange(other.m_pData, nullptr)), m_nSize(std::exchange(other.m_nSize, 0)) {}

CLargeBuffer& CLargeBuffer::operator=(CLargeBuffer&& other) noexcept {
  if (this != &other) {
    Release();
    m_pData = std::exchange(other.m_pData, nullptr);
    m_nSize = std::exchange(other.m_nSize, 0);
  }
  return *this;
}
