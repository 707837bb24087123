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

const CCaseFolder& FolderOfSource(Encoding encoding) {
  using SourceText = CCaseFolder::SourceText;
  return CCaseFolder::ForSource(encoding == encUtf8 ? SourceText::Utf8
                                : IsUtf16(encoding) ? SourceText::FromUtf16
                                                    : SourceText::CodePage);
}

int32_t OfferedLength(char** start, int32_t length, uint32_t options) {
  const bool removeBlank = (options & optRemoveBlank) != 0;
  if (length == 0 && removeBlank) return -1;
  length = TrimLine(start, length, options);
  return length == 0 && removeBlank ? -1 : length;
}

CDedupPass::CDedupPass(CTextFile& source, CLineDecider& decider, uint32_t options, const ProgressCallback& progress)
    : m_source(source), m_decider(decider), m_nOptions(options), m_progress(progress) {
  if (m_progress) m_nSourceSize = source.GetLength();
  for (CLineBatch& batch : m_batches) m_spare.push_back(&batch);
}

void CDedupPass::Run() {
  m_source.SetBeforeWait([this] { SendBeforeWait(); });
  std::thread reader([this] { ReadLines(); });
  CReaderGuard guard(reader, m_source, m_full, m_free);
  CLineFingerprinter fingerprinter(CCaseFolder::System());
  for (;;) {
    CLineBatch* batch = m_full.Pop();
    if (!batch) throw std::runtime_error("the reading thread stopped");
    TakeLeftFingerprints(batch, &fingerprinter);
    m_decider.Decide(*batch);
    if (m_progress) {
      RunProgress done = m_decider.Done();
      done.sourceSize = m_nSourceSize;
      m_progress(done);
    }
    if (batch->flush) m_decider.FlushOutputs();
    if (batch->error) std::rethrow_exception(batch->error);
    if (batch->last) return;
    m_free.Push(batch);
  }
}

// The fingerprints the reader left to this thread. Which thread takes them
// changes nothing but the time: they are the same either way.
void CDedupPass::TakeLeftFingerprints(CLineBatch* batch, CLineFingerprinter* fingerprinter) {
  if (batch->folder) fingerprinter->UseFolder(*batch->folder);
  for (uint32_t i = 0; i < batch->lineCount; ++i) {
    CLineBatch::Line& line = batch->lines[i];
    if (line.fingerprint.lengthCode == CLineBatch::kNotTaken) {
      line.fingerprint = fingerprinter->TakeFolded(batch->TextOf(line), line.length);
    }
  }
}

// ---------------------------------------------------------------- reading

void CDedupPass::ReadLines() {
  const bool caseSensitive = (m_nOptions & optCaseSensitive) != 0;
  const bool trim = (m_nOptions & (optTrimLeading | optTrimTrailing)) != 0;
  CLineFingerprinter fingerprinter(CCaseFolder::System());
  bool encodingKnown = false;

  m_filling = TakeFreeBatch();
  if (!m_filling) return;
  try {
    while (char* line = m_source.ReadLine()) {
      if (!encodingKnown) {
        // The first read settles the source's encoding, and with it what its
        // lines are; a stream may turn out UTF-8 after lines of ASCII, which
        // fold alike either way.
        m_pFolder = &FolderOfSource(m_source.m_nEncoding);
        fingerprinter.UseFolder(*m_pFolder);
        encodingKnown = m_source.IsEncodingSettled();
      }
      const int32_t length = OfferedLength(&line, m_source.GetLineLength(), m_nOptions);
      if (length < 0) {
        ++m_filling->blankLinesDropped;
        continue;
      }
      if (trim) line[length] = '\0';
      // A line that needs folding proper may be left to the deciding thread.
      const bool mayLeave =
          length <= CLineBatch::kMaxCopiedLine && m_filling->lineCount % kShareSteps < m_nDeciderShare;
      LineFingerprint fingerprint;
      if (!mayLeave) {
        fingerprint = fingerprinter.Take(line, length, caseSensitive);
      } else if (!fingerprinter.TakeQuickly(line, length, caseSensitive, &fingerprint)) {
        fingerprint = {0, 0, 0, CLineBatch::kNotTaken};
      }
      if (length > CLineBatch::kMaxCopiedLine) {
        m_filling->borrowed = line;
        m_filling->borrowedLength = length;
        m_filling->borrowedFingerprint = fingerprint;
        // The line stays in the reader's buffer until it has been decided.
        if (!Send(m_filling) || !WaitUntilIdle()) return;
        m_filling = TakeFreeBatch();
        continue;
      }
      m_filling->Add(line, length, fingerprint);
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
  batch->folder = m_pFolder;
  size_t waiting = 0;
  if (!m_full.Push(batch, &waiting)) return false;
  // The deciding thread has caught up: it can take more of the fingerprints.
  // Batches are queuing: it takes fewer. So the two threads share the work
  // whichever is the slower, as folding or the index's memory traffic weigh.
  if (waiting <= 1) {
    if (m_nDeciderShare < kShareSteps) ++m_nDeciderShare;
  } else if (m_nDeciderShare > 0) {
    --m_nDeciderShare;
  }
  return true;
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
