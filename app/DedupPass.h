// The pass over one input, in two threads. A reader takes the lines of the
// input, trims them, drops blank ones and takes their fingerprints, a batch
// at a time; the calling thread hands every batch to the decider, which looks
// the lines up in the index in order and writes the kept ones. Reading,
// folding and hashing thus overlap with the index's memory traffic, and the
// output is byte for byte what one thread would write. Lines that need
// folding proper (not only A-Z) cost more than the rest of the work together;
// the reader leaves a share of those to the calling thread, as much as it
// can take without falling behind.
#pragma once

#include <cstdint>
#include <vector>

#include "app/BatchChannel.h"
#include "app/LineBatch.h"
#include "app/LineDecider.h"
#include "app/RunProgress.h"
#include "textfile/TextFile.h"

// The length of line after trimming blanks as the options say; *start moves
// past leading blanks.
int32_t TrimLine(char** start, int32_t length, uint32_t options);
// The folder of the lines of a source whose encoding is settled.
const CCaseFolder& FolderOfSource(Encoding encoding);
// The length of the line as the pass offers it, trimmed as the options say
// (*start moves past leading blanks), or -1 when it is dropped as blank.
int32_t OfferedLength(char** start, int32_t length, uint32_t options);

class CDedupPass {
 public:
  CDedupPass(CTextFile& source, CLineDecider& decider, uint32_t options, const ProgressCallback& progress);

  // Runs the pass. When the source fails, the lines read before the failure
  // are written first; then the failure, like any failure of the target or
  // of memory, is raised here, at once, even while the source is a pipe that
  // keeps the reader waiting.
  void Run();

 private:
  static constexpr size_t kBatches = 4;
  // The deciding thread's share of the fingerprints, in steps: it takes the
  // lines whose place in their batch modulo kShareSteps is below the share.
  static constexpr uint32_t kShareSteps = 8;
  static_assert(kBatches <= CBatchChannel::kCapacity, "every batch fits in a channel");

  // The deciding thread.
  static void TakeLeftFingerprints(CLineBatch* batch, CLineFingerprinter* fingerprinter);
  // The reading thread.
  void ReadLines();
  void SendBeforeWait();
  CLineBatch* TakeFreeBatch();
  bool Send(CLineBatch* batch);
  bool WaitUntilIdle();

  CTextFile& m_source;
  CLineDecider& m_decider;
  const uint32_t m_nOptions;
  const ProgressCallback& m_progress;
  uint64_t m_nSourceSize = 0;

  CLineBatch m_batches[kBatches];
  CBatchChannel m_full;                    // reader to decider
  CBatchChannel m_free;                    // back to the reader
  std::vector<CLineBatch*> m_spare;        // free batches the reader holds
  CLineBatch* m_filling = nullptr;         // the batch the reader adds lines to
  const CCaseFolder* m_pFolder = nullptr;  // the folder of the source's lines, once known
  uint32_t m_nDeciderShare = 0;            // of kShareSteps
};
