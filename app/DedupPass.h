// The single pass over the source, in two threads. A reader takes the lines
// of the source, trims them, drops blank ones and takes their fingerprints,
// a batch at a time; the calling thread looks every line up in the index in
// source order and writes the kept ones. Reading, folding and hashing thus
// overlap with the index's memory traffic, and the output is byte for byte
// what one thread would write.
#pragma once

#include <cstdint>
#include <vector>

#include "app/BatchChannel.h"
#include "app/LineBatch.h"
#include "app/RunProgress.h"
#include "dedup/DuplicateIndex.h"
#include "textfile/TextFile.h"

// The length of line after trimming blanks as the options say; *start moves
// past leading blanks.
int32_t TrimLine(char** start, int32_t length, uint32_t options);

class CDedupPass {
 public:
  CDedupPass(CTextFile& source, CTextFile& target, uint32_t options, const ProgressCallback& progress);

  // Runs the pass. When the source fails, the lines read before the failure
  // are written first; then the failure, like any failure of the target or
  // of memory, is raised here, at once, even while the source is a pipe that
  // keeps the reader waiting.
  void Run();

 private:
  static constexpr size_t kBatches = 4;
  static_assert(kBatches <= CBatchChannel::kCapacity, "every batch fits in a channel");

  // The reading thread.
  void ReadLines();
  void SendBeforeWait();
  CLineBatch* TakeFreeBatch();
  bool Send(CLineBatch* batch);
  bool WaitUntilIdle();

  // The deciding thread.
  void Decide(const CLineBatch& batch);
  void DecideLine(const char* line, int32_t length, const LineFingerprint& fingerprint, EolStyle eolStyle,
                  FingerprintAssoc* entry = nullptr);

  CTextFile& m_source;
  CTextFile& m_target;
  const uint32_t m_nOptions;
  const ProgressCallback& m_progress;
  CDuplicateIndex m_index;
  RunProgress m_done{};

  CLineBatch m_batches[kBatches];
  // Each line's key, found ahead.
  FingerprintAssoc* m_entries[CLineBatch::kMaxLines] = {};
  CBatchChannel m_full;              // reader to decider
  CBatchChannel m_free;              // back to the reader
  std::vector<CLineBatch*> m_spare;  // free batches the reader holds
  CLineBatch* m_filling = nullptr;   // the batch the reader adds lines to
};
