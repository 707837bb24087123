// The pass over one input, in several threads. Lines are read, trimmed and
// fingerprinted a batch at a time; each batch is then decided lane by lane
// against the index (see CLineDecider) and written in order, so that the
// output is byte for byte what one thread would write.
//
// A regular file is read in chunks of kChunkSize bytes by any thread,
// several at once, each chunk from the first place in it where a line surely
// starts (CTextFile::FindClearLineStart) to that place in the next one. Any
// other input (a pipe, a terminal) has one reader of its own, a thread that
// waits for its input; the other threads fingerprint its batches, decide and
// write.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "app/LineBatch.h"
#include "app/LineDecider.h"
#include "app/LineTrimming.h"
#include "app/PassSchedule.h"
#include "app/RunProgress.h"
#include "platform/WaitableLock.h"
#include "textfile/TextFile.h"

// The folder of the lines of a source whose encoding is settled.
const CCaseFolder& FolderOfSource(Encoding encoding);

class CDedupPass {
 public:
  static constexpr uint64_t kChunkSize = uint64_t{1} << 20;

  // The memory the pass's batches and readers hold with this many threads.
  static uint64_t BufferBytes(uint32_t threads);

  // threads: how many threads do the work (the calling one among them);
  // decider.Lanes() of them may decide at once.
  CDedupPass(CTextFile& source, CLineDecider& decider, uint32_t options, const ProgressCallback& progress,
             uint32_t threads = 1);

  // Runs the pass. When the source fails, the lines read before the failure
  // are written first; then the failure, like any failure of the target or
  // of memory, is raised here, at once, even while the source is a pipe that
  // keeps the reader waiting.
  void Run();

 private:
  void Work();
  void RunTask(const CPassSchedule::Task& task, CLineFingerprinter& fingerprinter);
  // Fills batch from the chunk's reader; true when the chunk has no more lines.
  bool ReadChunk(const CPassSchedule::Task& task, CLineFingerprinter& fingerprinter, bool* borrowed);
  CTextFile* StartChunk(uint64_t chunk);
  CTextFile* ReaderOf(uint64_t chunk);
  void EndChunk(uint64_t chunk, const CTextFile* reader);
  void Fingerprint(CLineBatch& batch, CLineFingerprinter& fingerprinter) const;
  void Write(const CLineBatch& batch);
  void ShowProgress();
  // The reading thread of a stream.
  void ReadStream();
  void SendBeforeWait();
  void Seal(CLineBatch* batch);
  void Copy(const char* line, int32_t length);

  CTextFile& m_source;
  CLineDecider& m_decider;
  const uint32_t m_nOptions;
  const ProgressCallback& m_progress;
  uint32_t m_nThreads;
  uint64_t m_nSourceSize = 0;
  const CCaseFolder* m_pFolder = nullptr;

  // Chunks of a regular file.
  uint64_t m_nDataStart = 0;
  uint64_t m_nChunks = 0;
  // Readers of chunks, made once: nothing is allocated while the pass runs,
  // so that a run that meets a limit on memory sets lines aside instead.
  struct ChunkReader {
    std::unique_ptr<CTextFile> reader;
    uint64_t chunk = 0;
    bool busy = false;
  };
  CWaitableLock m_readersLock;  // guards m_readers' busy and chunk
  std::vector<ChunkReader> m_readers;
  uint64_t m_nReadUpTo = 0;  // the file offset the chunks' readers took bytes up to
  uint64_t m_nUnmapped = 0;  // characters of UTF-16 chunks the code page lacks
  bool m_bUtf16 = false;     // the chunks are UTF-16

  std::vector<std::unique_ptr<CLineBatch>> m_batches;
  std::unique_ptr<CPassSchedule> m_pSchedule;
  CLineBatch* m_filling = nullptr;  // the stream reader's batch
};
