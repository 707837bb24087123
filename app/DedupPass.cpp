#include "app/DedupPass.h"

#include <algorithm>
#include <optional>
#include <thread>

#include "app/DedupCommandLineInfo.h"

namespace {

// Batches per thread: enough that reading, deciding and writing overlap.
constexpr uint32_t kBatchesPerThread = 3;

// Ends the stream reader from inside a read once the pass has stopped.
struct ReaderStopped {};

}  // namespace

const CCaseFolder& FolderOfSource(Encoding encoding) {
  using SourceText = CCaseFolder::SourceText;
  return CCaseFolder::ForSource(encoding == encUtf8 ? SourceText::Utf8
                                : IsUtf16(encoding) ? SourceText::FromUtf16
                                                    : SourceText::CodePage);
}

uint64_t CDedupPass::BufferBytes(uint32_t threads) {
  threads = std::max<uint32_t>(1, threads);
  const uint64_t batches = uint64_t{kBatchesPerThread} * threads + 2, readers = uint64_t{threads} + 1;
  return batches * CLineBatch::kBytes + readers * (CTextFile::kReadBlockSize + CTextFile::kFirstLineBufferSize);
}

CDedupPass::CDedupPass(CTextFile& source, CLineDecider& decider, uint32_t options, const ProgressCallback& progress,
                       uint32_t threads)
    : m_source(source),
      m_decider(decider),
      m_nOptions(options),
      m_progress(progress),
      m_nThreads(std::max<uint32_t>(1, threads)) {
  if (m_progress) m_nSourceSize = source.GetLength();
}

void CDedupPass::Run() {
  // Everything the pass holds is taken before the source is first read, so
  // that a run waiting for a pipe shows what it needs.
  std::vector<CLineBatch*> batches;
  // As many as BufferBytes counts.
  for (uint32_t i = 0; i < kBatchesPerThread * m_nThreads + 2; ++i) {
    m_batches.push_back(std::make_unique<CLineBatch>());
    m_batches.back()->SortIntoLanes(m_decider.Lanes());  // its room for the lanes
    if (m_decider.Texts()) m_batches.back()->locations.reset(new uint64_t[CLineBatch::kMaxLines + 1]);
    batches.push_back(m_batches.back().get());
  }
  const uint32_t readers = m_nThreads + 1;  // as BufferBytes counts
  m_pSchedule = std::make_unique<CPassSchedule>(std::move(batches), m_decider.Lanes(), readers);
  for (uint32_t i = 0; i < readers; ++i) {
    m_readers.push_back({std::make_unique<CTextFile>(encAnsi)});
    m_readers.back().reader->AllocateReader();
  }
  std::vector<std::thread> threads;
  try {
    for (uint32_t i = 1; i < m_nThreads; ++i) threads.emplace_back([this] { Work(); });
    // The first block settles what the lines are and how they may be read.
    m_source.PrepareReading();
    m_pFolder = &FolderOfSource(m_source.m_nEncoding);
    // A file any reader can start on at a line start, in bytes or in UTF-16
    // units. Lines told apart by their texts are read again where they lie
    // only in 8-bit text: a UTF-16 source is read by one reader, which copies
    // its converted lines.
    const bool eightBit = m_source.m_nEncoding == encAnsi || m_source.m_nEncoding == encUtf8;
    const bool chunked = m_source.CanReadAgain() && !m_source.IsStream() && m_source.IsEncodingSettled() &&
                         (eightBit || !m_decider.Texts()) && m_decider.MayReadInPlace();
    if (chunked && m_decider.Texts()) m_decider.Texts()->ReadInPlace(m_source, m_source.GetLength(), *m_pFolder);
    if (chunked) {
      m_bUtf16 = IsUtf16(m_source.m_nEncoding);
      m_nDataStart = m_source.FirstLineOffset();
      const uint64_t length = m_source.GetLength();
      const uint64_t data = length > m_nDataStart ? length - m_nDataStart : 0;
      m_nChunks = std::max<uint64_t>(1, (data + kChunkSize - 1) / kChunkSize);
      // 8-bit text: the source reads on from its first block, as far as the
      // next chunk's start. UTF-16 has been converted ahead: a reader of its
      // own starts again at the first line.
      if (!m_bUtf16) {
        if (m_nChunks > 1) m_source.StopAt(m_nDataStart + kChunkSize);
        m_source.ReadByOffset();
      }
    }
    m_pSchedule->Start(m_nChunks);
    if (!chunked) threads.emplace_back([this] { ReadStream(); });
  } catch (...) {
    m_pSchedule->Stop(std::current_exception());
  }
  Work();
  // A stream reader may be waiting for input that nothing else will end.
  if (m_pSchedule->Error()) m_source.CancelRead();
  for (std::thread& thread : threads) thread.join();
  m_source.SetBeforeWait(nullptr);
  if (m_nChunks > 0) m_source.TakenElsewhereUpTo(m_nReadUpTo);
  if (m_bUtf16) m_source.CountedElsewhere(m_nUnmapped);
  if (std::exception_ptr error = m_pSchedule->Error()) std::rethrow_exception(error);
}

void CDedupPass::Work() {
  try {
    std::optional<CLineFingerprinter> fingerprinter;
    for (;;) {
      const CPassSchedule::Task task = m_pSchedule->Next();
      if (task.kind == CPassSchedule::TaskKind::kNone) return;
      if (!fingerprinter) fingerprinter.emplace(*m_pFolder);  // known once the work begins
      RunTask(task, *fingerprinter);
    }
  } catch (...) {
    m_pSchedule->Stop(std::current_exception());
    m_source.CancelRead();
  }
}

void CDedupPass::RunTask(const CPassSchedule::Task& task, CLineFingerprinter& fingerprinter) {
  using Kind = CPassSchedule::TaskKind;
  switch (task.kind) {
    case Kind::kRead: {
      bool borrowed = false;
      const bool ended = ReadChunk(task, fingerprinter, &borrowed);
      m_pSchedule->Done(task, ended, borrowed);
      return;
    }
    case Kind::kFingerprint:
      Fingerprint(*task.batch, fingerprinter);
      break;
    case Kind::kDecide:
      m_decider.DecideLane(task.lane, *task.batch);
      break;
    case Kind::kWrite:
      Write(*task.batch);
      break;
    case Kind::kNone:
      return;
  }
  m_pSchedule->Done(task);
}

// ---------------------------------------------------------------- chunks

bool CDedupPass::ReadChunk(const CPassSchedule::Task& task, CLineFingerprinter& fingerprinter, bool* borrowed) {
  CLineBatch& batch = *task.batch;
  batch.Clear();
  bool ended = false;
  CTextFile* reader = nullptr;
  try {
    reader = task.chunkStart ? StartChunk(task.chunk) : ReaderOf(task.chunk);
    const bool caseSensitive = (m_nOptions & optCaseSensitive) != 0;
    const bool trim = (m_nOptions & (optTrimLeading | optTrimTrailing)) != 0;
    ended = reader == nullptr;
    while (!ended && !batch.Full()) {
      char* line = reader->ReadLine();
      if (!line) {
        ended = true;
        break;
      }
      const int32_t length = OfferedLength(&line, reader->GetLineLength(), m_nOptions);
      if (length < 0) {
        ++batch.blankLinesDropped;
        continue;
      }
      if (trim) line[length] = '\0';
      const LineFingerprint fingerprint = fingerprinter.Take(line, length, caseSensitive);
      if (length > CLineBatch::kMaxCopiedLine) {
        batch.Borrow(line, length, fingerprint);  // the reader waits until it is written
        *borrowed = true;
      } else {
        batch.Add(line, length, fingerprint);
      }
      if (batch.locations) batch.Locate(reader->LineStartOffset());
    }
    if (reader) batch.bytesRead = (m_bUtf16 ? reader->TakenUpTo() : reader->NextOffset()) - m_source.StartOffset();
  } catch (...) {
    batch.error = std::current_exception();
    ended = true;
  }
  if (ended) EndChunk(task.chunk, batch.error ? nullptr : reader);
  batch.folder = m_pFolder;
  batch.SortIntoLanes(m_decider.Lanes());
  return ended;
}

// Chunk 0 is read by the source itself, from where its first block left it;
// every other from its first clear line start, null when it has none.
CTextFile* CDedupPass::StartChunk(uint64_t chunk) {
  if (chunk == 0 && !m_bUtf16) return &m_source;
  const uint64_t from = m_nDataStart + chunk * kChunkSize;
  const Encoding encoding = m_bUtf16 ? m_source.m_nEncoding : encAnsi;
  const uint64_t begin =
      chunk == 0 ? m_nDataStart : CTextFile::FindClearLineStart(m_source, from, from + kChunkSize, encoding);
  if (begin == UINT64_MAX) return nullptr;
  ChunkReader* slot = nullptr;
  {
    CLockHolder hold(m_readersLock);
    for (ChunkReader& reader : m_readers) {
      if (!reader.busy) {
        slot = &reader;
        break;
      }
    }
    slot->busy = true;
    slot->chunk = chunk;
  }
  if (!m_bUtf16) {
    slot->reader->ReadRangeOf(m_source, begin, m_source.m_nEolStyle);
    slot->reader->StopAt(chunk + 1 < m_nChunks ? from + kChunkSize : UINT64_MAX);
    return slot->reader.get();
  }
  // A UTF-16 reader cannot tell where its bytes stand while it converts:
  // it is told where its chunk ends, the next chunk's first clear line start.
  uint64_t end = UINT64_MAX;
  for (uint64_t next = chunk + 1; next < m_nChunks && end == UINT64_MAX; ++next) {
    const uint64_t at = m_nDataStart + next * kChunkSize;
    end = CTextFile::FindClearLineStart(m_source, at, at + kChunkSize, encoding);
  }
  slot->reader->ReadRangeOf(m_source, begin, m_source.m_nEolStyle, encoding, end);
  return slot->reader.get();
}

CTextFile* CDedupPass::ReaderOf(uint64_t chunk) {
  if (chunk == 0 && !m_bUtf16) return &m_source;
  CLockHolder hold(m_readersLock);
  for (ChunkReader& reader : m_readers) {
    if (reader.busy && reader.chunk == chunk) return reader.reader.get();
  }
  return nullptr;
}

void CDedupPass::EndChunk(uint64_t chunk, const CTextFile* reader) {
  CLockHolder hold(m_readersLock);
  // The second reading of a bounded run takes the bytes the first took.
  if (reader) {
    m_nReadUpTo = std::max(m_nReadUpTo, m_bUtf16 ? reader->TakenUpTo() : reader->NextOffset());
    m_nUnmapped += reader->GetUnmappedCount();
  }
  for (ChunkReader& slot : m_readers) {
    if (slot.busy && slot.chunk == chunk) slot.busy = false;
  }
}

void CDedupPass::Fingerprint(CLineBatch& batch, CLineFingerprinter& fingerprinter) const {
  const bool caseSensitive = (m_nOptions & optCaseSensitive) != 0;
  fingerprinter.UseFolder(*batch.folder);
  for (uint32_t i = 0; i < batch.lineCount; ++i) {
    CLineBatch::Line& line = batch.lines[i];
    line.fingerprint = fingerprinter.Take(batch.TextOf(line), line.length, caseSensitive);
  }
  batch.SortIntoLanes(m_decider.Lanes());
}

void CDedupPass::Write(const CLineBatch& batch) {
  // Also before: writing a batch may take long, or fail.
  ShowProgress();
  m_decider.WriteBatch(batch, m_source.m_nEolStyle);
  ShowProgress();
  if (batch.flush) m_decider.FlushOutputs();
  if (batch.error) std::rethrow_exception(batch.error);
}

void CDedupPass::ShowProgress() {
  if (!m_progress) return;
  RunProgress done = m_decider.Done();
  done.sourceSize = m_nSourceSize;
  m_progress(done);
}

// ---------------------------------------------------------------- streams

// Reads the lines of a stream (or a UTF-16 file) into batches; their
// fingerprints are taken by the other threads.
void CDedupPass::ReadStream() {
  const bool trim = (m_nOptions & (optTrimLeading | optTrimTrailing)) != 0;
  m_filling = m_pSchedule->TakeFreeBatch();
  if (!m_filling) return;
  m_filling->Clear();
  m_source.SetBeforeWait([this] { SendBeforeWait(); });
  try {
    while (char* line = m_source.ReadLine()) {
      const int32_t length = OfferedLength(&line, m_source.GetLineLength(), m_nOptions);
      if (length < 0) {
        ++m_filling->blankLinesDropped;
        continue;
      }
      if (trim) line[length] = '\0';
      if (length > CLineBatch::kMaxCopiedLine) {
        // The line stays in the source's buffer until it has been written.
        m_filling->Borrow(line, length, {});
        Copy(line, length);
        Seal(m_filling);
        CLineBatch* lent = m_filling;
        m_pSchedule->AddBatch(lent, false);
        if (!m_pSchedule->WaitUntilWritten(lent) || !(m_filling = m_pSchedule->TakeFreeBatch())) return;
        m_filling->Clear();
        continue;
      }
      m_filling->Add(line, length, {});
      Copy(line, length);
      if (m_filling->Full()) {
        Seal(m_filling);
        m_pSchedule->AddBatch(m_filling, false);
        if (!(m_filling = m_pSchedule->TakeFreeBatch())) return;
        m_filling->Clear();
      }
    }
  } catch (const ReaderStopped&) {
    return;
  } catch (...) {
    if (!m_filling) return;  // the pass has stopped
    m_filling->error = std::current_exception();
  }
  Seal(m_filling);
  m_pSchedule->AddBatch(m_filling, true);
}

// What a batch of the stream takes with it. A stream may turn out UTF-8 after
// lines of ASCII, which fold alike either way: its batches take the folder
// of what the source is known to be when they go.
void CDedupPass::Seal(CLineBatch* batch) {
  batch->bytesRead = m_source.GetBytesRead();
  batch->folder = &FolderOfSource(m_source.m_nEncoding);
  if (m_decider.Texts()) m_decider.Texts()->FlushCopy();
}

// A line read by the stream reader, which a run that tells lines apart by
// their texts keeps a copy of: the input is not read where it lies.
void CDedupPass::Copy(const char* line, int32_t length) {
  if (CLineTexts* texts = m_decider.Texts()) {
    m_filling->Locate(texts->Copy(line, length, FolderOfSource(m_source.m_nEncoding)));
  }
}

// The source is about to wait for a pipe or terminal: the lines read so far
// are decided and the outputs flushed meanwhile, so that lines come out as
// they arrive. Sent even when empty, as earlier batches may have left lines in
// the target's buffer. A regular file never waits and keeps the large writes.
void CDedupPass::SendBeforeWait() {
  m_filling->flush = true;
  Seal(m_filling);
  m_pSchedule->AddBatch(m_filling, false);
  m_filling = m_pSchedule->TakeFreeBatch();
  if (!m_filling) throw ReaderStopped();
  m_filling->Clear();
}
