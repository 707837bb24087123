#include "app/DedupPass.h"

#include <stdexcept>
#include <thread>

#include "app/DedupCommandLineInfo.h"

namespace {

// Stops and joins the reader on every way out of Run(). On an early exit a
// reader waiting for a pipe is woken and a reader waiting for a batch gives
// up, so that a failure ends the run at once, however idle the source.
class CReaderGuard {
 public:
  CReaderGuard(std::thread& thread, CTextFile& source, CBatchChannel& full, CBatchChannel& free)
      : m_thread(thread), m_source(source), m_full(full), m_free(free) {}
  ~CReaderGuard() {
    m_source.CancelRead();
    m_full.Close();
    m_free.Close();
    m_thread.join();
    m_source.SetBeforeWait(nullptr);
  }

 private:
  std::thread& m_thread;
  CTextFile& m_source;
  CBatchChannel& m_full;
  CBatchChannel& m_free;
};

// Ends the reader from inside a read once the deciding thread has gone.
struct ReaderStopped {};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

int32_t TrimLine(char** start, int32_t length, uint32_t options) {
  char* line = *start;
  if (options & optTrimLeading) {
    while (length > 0 && IsBlank(*line)) {
      ++line;
      --length;
    }
  }
  if (options & optTrimTrailing) {
    while (length > 0 && IsBlank(line[length - 1])) --length;
  }
  *start = line;
  return length;
}

CDedupPass::CDedupPass(CTextFile& source, CTextFile& target, uint32_t options, const ProgressCallback& progress)
    : m_source(source), m_target(target), m_nOptions(options), m_progress(progress) {
  if (m_progress) m_done.sourceSize = source.GetLength();
  for (CLineBatch& batch : m_batches) m_spare.push_back(&batch);
}

void CDedupPass::Run() {
  m_source.SetBeforeWait([this] { SendBeforeWait(); });
  std::thread reader([this] { ReadLines(); });
  CReaderGuard guard(reader, m_source, m_full, m_free);
  for (;;) {
    CLineBatch* batch = m_full.Pop();
    if (!batch) throw std::runtime_error("the reading thread stopped");
    Decide(*batch);
    if (batch->flush) m_target.FlushBuffer();
    if (batch->error) std::rethrow_exception(batch->error);
    if (batch->last) return;
    m_free.Push(batch);
  }
}

// ---------------------------------------------------------------- reading

void CDedupPass::ReadLines() {
  const bool caseSensitive = (m_nOptions & optCaseSensitive) != 0;
  const bool removeBlank = (m_nOptions & optRemoveBlank) != 0;
  const bool trim = (m_nOptions & (optTrimLeading | optTrimTrailing)) != 0;
  CLineFingerprinter fingerprinter(CCaseFolder::System());

  m_filling = TakeFreeBatch();
  if (!m_filling) return;
  try {
    while (char* line = m_source.ReadLine()) {
      int32_t length = m_source.GetLineLength();
      if (length == 0 && removeBlank) {
        ++m_filling->blankLinesDropped;
        continue;
      }
      if (trim) {
        length = TrimLine(&line, length, m_nOptions);
        if (length == 0 && removeBlank) {
          ++m_filling->blankLinesDropped;
          continue;
        }
        line[length] = '\0';
      }
      const LineFingerprint fingerprint = fingerprinter.Take(line, length, caseSensitive);
      if (length > CLineBatch::kMaxCopiedLine) {
        m_filling->borrowed = line;
        m_filling->borrowedFingerprint = fingerprint;
        // The line stays in the reader's buffer until it has been decided.
        if (!Send(m_filling) || !WaitUntilIdle()) return;
        m_filling = TakeFreeBatch();
        continue;
      }
      m_filling->Add(line, fingerprint);
      if (m_filling->Full()) {
        if (!Send(m_filling) || !(m_filling = TakeFreeBatch())) return;
      }
    }
  } catch (...) {
    if (!m_filling) return;  // the deciding thread has gone
    m_filling->error = std::current_exception();
  }
  m_filling->last = true;
  Send(m_filling);
}

// The source is about to wait for a pipe or terminal: the lines read so far
// are decided and the target is flushed meanwhile, so that lines come out as
// they arrive. Sent even when empty, as earlier batches may have left lines in
// the target's buffer. A regular file never waits and keeps the large writes.
void CDedupPass::SendBeforeWait() {
  m_filling->flush = true;
  if (!Send(m_filling) || !(m_filling = TakeFreeBatch())) {
    m_filling = nullptr;
    throw ReaderStopped();
  }
}

CLineBatch* CDedupPass::TakeFreeBatch() {
  CLineBatch* batch = nullptr;
  if (m_spare.empty()) {
    batch = m_free.Pop();
    if (!batch) return nullptr;
  } else {
    batch = m_spare.back();
    m_spare.pop_back();
  }
  batch->Clear();
  return batch;
}

bool CDedupPass::Send(CLineBatch* batch) {
  batch->eolStyle = m_source.m_nEolStyle;
  batch->bytesRead = m_source.GetBytesRead();
  return m_full.Push(batch);
}

// Takes back every batch: then the decider has finished with all of them.
bool CDedupPass::WaitUntilIdle() {
  while (m_spare.size() < kBatches) {
    CLineBatch* batch = m_free.Pop();
    if (!batch) return false;
    m_spare.push_back(batch);
  }
  return true;
}

// ---------------------------------------------------------------- deciding

void CDedupPass::Decide(const CLineBatch& batch) {
  // Rounds of cache hints before the lookups, each reading what the
  // round before fetched, so that the misses of a whole batch overlap.
  const uint32_t count = batch.lineCount;
  const CLineBatch::Line* lines = batch.lines;
  for (uint32_t i = 0; i < count; ++i) m_index.PrefetchBucket(lines[i].fingerprint.key);
  for (uint32_t i = 0; i < count; ++i) m_entries[i] = m_index.PrefetchRecord(lines[i].fingerprint.key);
  // Entries found ahead move when the map grows; then the rest are looked up again.
  const uint32_t buckets = m_index.Map().Buckets();
  for (uint32_t i = 0; i < count; ++i) {
    FingerprintAssoc* entry = m_index.Map().Buckets() == buckets ? m_entries[i] : nullptr;
    DecideLine(batch.TextOf(lines[i]), lines[i].fingerprint, batch.eolStyle, entry);
  }
  if (batch.borrowed) DecideLine(batch.borrowed, batch.borrowedFingerprint, batch.eolStyle);

  m_done.linesDropped += batch.blankLinesDropped;
  m_done.bytesRead = batch.bytesRead;
  if (m_progress) m_progress(m_done);
}

void CDedupPass::DecideLine(const char* line, const LineFingerprint& fingerprint, EolStyle eolStyle,
                            FingerprintAssoc* entry) {
  if (m_index.TestAndAdd(fingerprint, entry) != lineNew) {
    ++m_done.linesDropped;
    return;
  }
  m_target.WriteString(line, static_cast<uint32_t>(fingerprint.length));
  m_target.WriteEol(eolStyle);
  ++m_done.linesKept;
}
