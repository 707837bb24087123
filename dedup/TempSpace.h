// One temporary file that many lists of records share, each list a chain of
// chunks in it. A run deals the lines it sets aside out to a hundred parts
// and more; in one file they hold one descriptor, so that a run needs a few
// however many parts it makes.
#pragma once

#include <cstdint>
#include <string>

#include "platform/File.h"

class CTempSpace {
 public:
  // The file has no name in dir; failures throw CFileException naming dir.
  explicit CTempSpace(const std::string& dir) { m_file.CreateTemporary(dir); }

  // Writes count bytes at the end; answers where they begin.
  uint64_t Append(const void* bytes, uint32_t count);
  // Reads the count bytes written at offset.
  void ReadAt(uint64_t offset, void* bytes, uint32_t count);
  // Gives the disk space back, once nothing written is needed any more.
  void Clear();

 private:
  void MoveTo(uint64_t offset);

  CFile m_file;
  uint64_t m_nEnd = 0;
  uint64_t m_nPosition = 0;  // the file's own: a transfer that goes on from there needs no seek
};
