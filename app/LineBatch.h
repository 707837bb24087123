// Decides and writes lines in small batches: the fingerprints of a batch are
// taken first and the index's memory for them fetched ahead, so that the
// cache misses of many lookups overlap instead of following one another.
// Kept lines still go out in source order, exactly as one by one.
#pragma once

#include <cstdint>
#include <vector>

#include "app/DedupRun.h"
#include "dedup/DuplicateIndex.h"
#include "textfile/TextFile.h"

class CLineBatch {
 public:
  CLineBatch(CDuplicateIndex& index, CTextFile& target, bool caseSensitive, RunProgress& counts);

  // Takes a line (copied; the caller's buffer may change afterwards) that is
  // to end in the terminator of eolStyle if it is kept.
  void Offer(const char* line, int32_t length, int32_t eolStyle);
  // Decides and writes every line offered so far.
  void Drain();

 private:
  static constexpr size_t kLines = 64;
  static constexpr int32_t kLongLine = 4096;  // longer lines bypass the batch uncopied

  struct Pending {
    size_t offset;  // in m_text
    LineFingerprint fingerprint;
  };

  void Decide(const char* line, const LineFingerprint& fingerprint);

  CDuplicateIndex& m_index;
  CTextFile& m_target;
  const bool m_bCaseSensitive;
  RunProgress& m_counts;
  int32_t m_nEolStyle = eolCrLf;
  std::vector<Pending> m_pending;
  std::vector<char> m_text;
};
