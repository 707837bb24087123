// UTF-16 on the source side: its code units turned into the 8-bit code page
// block by block.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/CodePage.h"
#include "textfile/SequenceComposer.h"

// Holds the code units of a UTF-16 source between reads and converts them to
// the code page. It never splits a character across two blocks: a surrogate
// pair (and, where the code page composes, a base character with its
// combining marks) waits whole for the next block. Units whose converted text
// does not fit the caller's block wait too, so no text is lost.
class CUtf16Decoder {
 public:
  CUtf16Decoder(bool bigEndian, const CCodePage& codePage);

  // Adds raw bytes of the file; an odd byte waits for its partner.
  void Append(const char* bytes, uint32_t count);
  // The same without a copy: room for count raw bytes, to be filled (for
  // example by a read) before CommitAppend says how many arrived.
  char* AppendSpace(uint32_t count);
  void CommitAppend(uint32_t count);
  // Converts pending units into out, at most capacity bytes. With final set
  // no more bytes will come, so nothing is held back.
  uint32_t Convert(char* out, uint32_t capacity, bool final);

  size_t PendingUnits() const { return m_nEnd - m_nStart; }
  // Characters the code page lacks, written as '?' so far.
  uint64_t UnmappedCount() const { return m_nUnmapped; }

 private:
  size_t HoldBackLimit(size_t end);
  uint64_t QuestionMarksAdded(const char16_t* units, size_t n, const char* bytes, size_t length) const;

  const bool m_bBigEndian;
  const CCodePage& m_codePage;
  // Null where nothing is composed: UTF-8 output keeps the text unchanged.
  std::unique_ptr<CSequenceComposer> m_pComposer;
  std::vector<char16_t> m_composed;  // a block after composition
  uint64_t m_nUnmapped = 0;
  static constexpr size_t kMaxPadding = 32;  // units before the pending ones after a move; see AppendSpace
  std::unique_ptr<char16_t[]> m_pUnits;
  size_t m_nCapacity = 0;
  size_t m_nStart = 0;     // the first unit not yet converted
  size_t m_nEnd = 0;       // past the last unit
  size_t m_nRawStart = 0;  // where AppendSpace put the raw bytes
  uint64_t m_nRawBytes = 0;
  int m_nOddByte = -1;
};
