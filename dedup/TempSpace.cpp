#include "dedup/TempSpace.h"

uint64_t CTempSpace::Append(const void* bytes, uint32_t count) {
  const uint64_t offset = m_nEnd;
  MoveTo(offset);
  m_file.Write(bytes, count);
  m_nEnd += count;
  m_nPosition = m_nEnd;
  return offset;
}

void CTempSpace::ReadAt(uint64_t offset, void* bytes, uint32_t count) {
  MoveTo(offset);
  const uint32_t got = m_file.Read(bytes, count);
  m_nPosition = offset + got;
  // Only this run writes the file: a short read means the disk lost bytes.
  if (got != count) throw CFileException(m_file.GetFileName(), "read", kIoError, true);
}

void CTempSpace::Clear() {
  m_file.SetLength(0);
  m_file.SeekToStart();
  m_nEnd = m_nPosition = 0;
}

void CTempSpace::MoveTo(uint64_t offset) {
  if (offset == m_nPosition) return;
  m_file.Seek(offset);
  m_nPosition = offset;
}
