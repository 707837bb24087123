#include "platform/FileMapping.h"

#include <cstring>

#include "platform/win32/WinApi.h"

CFileMapping::CFileMapping(const CFile& file, uint64_t length) {
  if (length == 0 || length > SIZE_MAX) return;
  HANDLE mapping = ::CreateFileMappingW(reinterpret_cast<HANDLE>(file.m_hFile), nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (!mapping) return;
  void* p = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(length));
  if (!p) {
    ::CloseHandle(mapping);
    return;
  }
  m_hMapping = reinterpret_cast<intptr_t>(mapping);
  m_pData = static_cast<const char*>(p);
  m_nSize = length;
}

CFileMapping::~CFileMapping() {
  if (m_pData) ::UnmapViewOfFile(m_pData);
  if (m_hMapping) ::CloseHandle(reinterpret_cast<HANDLE>(m_hMapping));
}

// A file cannot be cut short while a view of it exists.
bool CFileMapping::CopyOut(uint64_t offset, void* out, size_t count) const {
  std::memcpy(out, m_pData + offset, count);
  return true;
}
