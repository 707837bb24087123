// A read-only view of a regular file's bytes, mapped from the system (mmap,
// MapViewOfFile): lines read again at random places cost a copy from memory
// the system has cached anyway, not a system call each.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/File.h"

class CFileMapping {
 public:
  // Maps the first `length` bytes of the regular file open in file. When the
  // system refuses (no address space to spare, a file system without
  // mappings), the view is empty and the file is to be read by offset.
  CFileMapping(const CFile& file, uint64_t length);
  ~CFileMapping();
  CFileMapping(const CFileMapping&) = delete;
  CFileMapping& operator=(const CFileMapping&) = delete;

  // The bytes mapped, for a cache hint only: they are read by CopyOut.
  const char* Data() const { return m_pData; }
  uint64_t Size() const { return m_nSize; }
  // Copies count bytes from offset, which lie within Size(), to out. False
  // when the file no longer holds them: another program cut it short since
  // it was mapped (which Windows does not allow while it is).
  bool CopyOut(uint64_t offset, void* out, size_t count) const;

 private:
  const char* m_pData = nullptr;
  uint64_t m_nSize = 0;
#if defined(_WIN32)
  intptr_t m_hMapping = 0;
#endif
};
