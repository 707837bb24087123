// The texts of the lines a run that tells lines apart by their texts
// (--exact) remembers, read again where they are whenever a new line's
// fingerprint matches one of theirs. Each remembered line has a location: the
// offset where it starts in the source, when the source is a regular 8-bit
// file read where it lies (mapped, so that reading a line again costs a copy
// from memory the system caches anyway, not a system call); else the offset
// of its copy in a temporary file, where the lines of the other inputs
// (exclusion lists, which are closed once read, pipes, UTF-16) are copied as
// they are read, as compared. A line of the source is trimmed and folded again
// when it is compared; a copy is stored trimmed and folded already.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dedup/CaseFolder.h"
#include "dedup/LineFingerprint.h"
#include "platform/File.h"
#include "platform/FileMapping.h"

class CLineTexts {
 public:
  // The location of a line copied: its offset in the copy, with this bit.
  static constexpr uint64_t kInCopy = kLocationLimit >> 1;

  // options: the switches, which say how lines are trimmed and whether case
  // counts. tempDir: the folder of the copy. lanes: how many threads may
  // compare lines at once (Same), each with its own lane number.
  CLineTexts(uint32_t options, std::string tempDir, uint32_t lanes);
  ~CLineTexts();
  CLineTexts(const CLineTexts&) = delete;
  CLineTexts& operator=(const CLineTexts&) = delete;

  // The source is read where it lies: a regular 8-bit file, open in source
  // until the run ends, whose first `length` bytes are mapped; its lines fold
  // by folder. Their locations are the offsets where they start.
  void ReadInPlace(const CFile& source, uint64_t length, const CCaseFolder& folder);
  // Copies a line of an input not read in place, as offered (trimmed), and
  // answers its location; its text is folded by folder when case does not
  // count. One thread at a time.
  uint64_t Copy(const char* text, int32_t length, const CCaseFolder& folder);
  // Makes the lines copied so far readable, before any lane looks them up.
  void FlushCopy();

  // The texts at count locations, of about the lengths given, will be read
  // soon: those of the source are on their way to the cache.
  void Fetch(const uint64_t* locations, const uint32_t* lengths, size_t count) const;
  // Whether the line at location has the compared text of text, a line of
  // length bytes as offered, folded by folder when case does not count.
  // lane: the caller's, whose buffers it uses; a lane is one thread at a
  // time. Throws when the source no longer holds the line.
  bool Same(uint64_t location, const char* text, int32_t length, const CCaseFolder& folder, uint32_t lane);
  // Whether the lines at two locations have the same compared text; from one
  // thread, while no lane compares.
  bool SameAt(uint64_t a, uint64_t b);

 private:
  struct Buffers {
    std::vector<char> text, other, foldedA, foldedB;
  };

  bool SameInPlace(uint64_t location, std::string_view line, std::vector<char>& buffer);
  // The line at location, as offered, in buffer; *compared tells that it is
  // folded already (a copy's).
  std::string_view TextAt(uint64_t location, size_t expected, std::vector<char>& buffer, bool* compared);
  std::string_view SourceLineAt(uint64_t offset, size_t expected, std::vector<char>& buffer);
  std::string_view CopiedLineAt(uint64_t offset, size_t expected, std::vector<char>& buffer);
  size_t ReadSource(uint64_t offset, char* out, size_t count);
  // Whether a folded by foldA equals b folded by foldB (null: as they are).
  bool FoldedEqual(std::string_view a, const CCaseFolder* foldA, std::string_view b, const CCaseFolder* foldB,
                   Buffers& buffers) const;

  uint32_t m_nOptions;
  bool m_bCaseSensitive;
  std::string m_strTempDir;
  const CFile* m_source = nullptr;
  std::unique_ptr<CFileMapping> m_pMapping;
  const CCaseFolder* m_sourceFolder = nullptr;
  std::unique_ptr<CFile> m_pCopy;
  std::vector<char> m_copyBuffer;  // lines copied, not yet in the file
  uint64_t m_nCopyWritten = 0;     // bytes of the copy in the file
  std::vector<char> m_copyFolded;
  std::vector<Buffers> m_buffers;  // one a lane, and SameAt's last
};
