#include "textfile/TextFile.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "textfile/SpecialByteScan.h"

namespace {

constexpr int32_t kLf = 0x0A;
constexpr int32_t kCr = 0x0D;
constexpr int32_t kNul = 0x00;
constexpr char kNulStandIn = static_cast<char>(0xB7);
// A line's length, terminator bytes included, must stay below 2^31 - 1.
constexpr int64_t kMaxLineLen = INT32_MAX;
// Room for the next read of a UTF-16 source: a surrogate pair takes 4 bytes in UTF-8.
constexpr uint32_t kMinReadRoom = 8;

struct Terminator {
  const char* text;
  uint32_t length;
};
const Terminator kTerminators[] = {{"\r\n", 2}, {"\n\r", 2}, {"\n", 1}, {"\r", 1}};

bool IsSpecial(int32_t byte) { return byte == kLf || byte == kCr || byte == kNul; }

bool HoldsLineEnd(const char* p, uint32_t n) { return std::memchr(p, '\n', n) || std::memchr(p, '\r', n); }

// The style of a first block: its first LF decides, else its first CR;
// *decider is set to that byte, or to null.
EolStyle StyleOfBlock(const char* block, uint32_t n, const char** decider) {
  const auto* lf = static_cast<const char*>(std::memchr(block, '\n', n));
  if (!lf) {
    *decider = static_cast<const char*>(std::memchr(block, '\r', n));
    return *decider ? eolCr : CTextFile::kNoLineEndStyle;
  }
  *decider = lf;
  if (lf > block && lf[-1] == '\r') return eolCrLf;
  return lf + 1 < block + n && lf[1] == '\r' ? eolLfCr : eolLf;
}

}  // namespace

CLineTooLongException::CLineTooLongException(const std::string& fileName)
    : std::runtime_error(fileName + ": a line reaches 2147483647 bytes, more than a line may hold") {}

CTextFile::CTextFile(Encoding encoding, const CCodePage& codePage) : m_nEncoding(encoding), m_codePage(codePage) {}

CTextFile::~CTextFile() = default;

// ---------------------------------------------------------------- reading

uint32_t CTextFile::Read(void* buffer, uint32_t count) {
  if (!m_bEncodingResolved) ResolveEncoding();
  if (IsUtf16(m_nEncoding)) return DecodingRead(static_cast<char*>(buffer), count);
  uint32_t got = ReadSource(buffer, count);
  if (m_bSourceEnded && got < count) m_bMoreInput = false;
  return got;
}

// The first block is read raw and examined before anything is handed out.
void CTextFile::ResolveEncoding() {
  m_bEncodingResolved = true;
  ReadSample();
  const auto* sample = reinterpret_cast<const uint8_t*>(m_pSample.get());
  if (m_nEncoding == encAutoDetect) {
    const DetectedEncoding detected = DetectEncoding(sample, m_nSampleCount);
    m_nEncoding = detected.encoding;
    m_nSamplePos = detected.markLength;
    m_bUtf8Open = m_nEncoding == encAnsi;
    if (m_bUtf8Open) WatchForUtf8(m_pSample.get(), m_nSampleCount);
    if (!IsStream() || ReachedEnd()) m_bUtf8Open = false;
  } else {
    m_nSamplePos = MarkLengthOf(m_nEncoding, sample, m_nSampleCount);
  }
  m_nBytesRead = m_nSamplePos;  // a mark is taken too, though never handed out
  m_nReadBase = StartOffset();
  m_nDataStart = m_nReadBase + m_nSamplePos;
  if (IsUtf16(m_nEncoding)) m_pDecoder = std::make_unique<CUtf16Decoder>(m_nEncoding == encUtf16BE, m_codePage);
}

// A file's first block is its first 64 KiB. A stream's, like the line
// reader's, ends with the first read that brings an LF or CR, so that the
// first line does not wait for more; it may bring them in pieces.
void CTextFile::ReadSample() {
  m_pSample.reset(new char[kReadBlockSize]);
  bool lineEnd = false;
  const auto size = static_cast<uint32_t>(std::min<uint64_t>(kReadBlockSize, m_nReadLimit));
  while (m_nSampleCount < size && !ReachedEnd()) {
    char* fresh = m_pSample.get() + m_nSampleCount;
    const uint32_t got = CFile::Read(fresh, size - m_nSampleCount);
    lineEnd = lineEnd || HoldsLineEnd(fresh, got);
    m_nSampleCount += got;
    if (IsStream() && lineEnd && m_nSampleCount >= kUnmarkedMinBytes) break;
  }
}

// An 8-bit source whose first block is well-formed UTF-8 with a multi-byte
// sequence is UTF-8, whatever the code page. ASCII reads alike either way, so
// the bytes of a stream are watched as they come, and the decision falls at
// the first that may read otherwise (above 0x7F, or one the code page joins
// to others), on what has come by then. A file's first block is all here.
void CTextFile::WatchForUtf8(const char* bytes, uint32_t count) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes);
  const uint32_t window = std::min(count, kReadBlockSize - m_nUtf8Seen);
  uint32_t i = 0;
  while (i < window && p[i] < 0x80 && !m_codePage.MayJoinBytes(p[i])) ++i;
  m_nUtf8Seen += window;
  if (i < window) {
    if (ExamineUtf8(p + i, window - i) == Utf8Verdict::Utf8) m_nEncoding = encUtf8;
    m_bUtf8Open = false;
  } else if (m_nUtf8Seen == kReadBlockSize) {
    m_bUtf8Open = false;
  }
}

uint32_t CTextFile::ReadSource(void* buffer, uint32_t count) {
  count = static_cast<uint32_t>(std::min<uint64_t>(count, m_nReadLimit - m_nBytesRead));
  auto* out = static_cast<char*>(buffer);
  if (m_pRangeFile) {
    const uint32_t got = m_pRangeFile->ReadAt(m_nRangeOffset, out, count);
    m_nRangeOffset += got;
    m_bSourceEnded = got < count;
    m_nBytesRead += got;
    if (m_nBytesRead == m_nReadLimit) m_bSourceEnded = true;
    return got;
  }
  const uint32_t fromSample = std::min(count, m_nSampleCount - m_nSamplePos);
  if (fromSample > 0) std::memcpy(out, m_pSample.get() + m_nSamplePos, fromSample);
  m_nSamplePos += fromSample;
  if (m_pSample && m_nSamplePos == m_nSampleCount) m_pSample.reset();
  uint32_t got = fromSample;
  // Bytes of a stream that are here already go on without a read that may
  // wait for more.
  if (got < count && !m_bSourceEnded && (got == 0 || !IsStream())) {
    const uint32_t fresh = CFile::Read(out + got, count - got);
    if (m_bUtf8Open) WatchForUtf8(out + got, fresh);
    got += fresh;
    m_bSourceEnded = ReachedEnd();
    if (m_bSourceEnded) m_bUtf8Open = false;
  }
  m_nBytesRead += got;
  if (m_nBytesRead == m_nReadLimit) m_bSourceEnded = true;
  return got;
}

uint32_t CTextFile::DecodingRead(char* buffer, uint32_t count) {
  uint32_t produced = 0;
  // Units a stream brought already go on before a read that may wait.
  if (IsStream() && m_pDecoder->PendingUnits() > 0) produced = m_pDecoder->Convert(buffer, count, m_bSourceEnded);
  if (produced == 0) {
    if (!m_bSourceEnded && m_pDecoder->PendingUnits() < count) {
      const auto wanted = static_cast<uint32_t>(2 * (count - m_pDecoder->PendingUnits()));
      m_pDecoder->CommitAppend(ReadSource(m_pDecoder->AppendSpace(wanted), wanted));
    }
    produced = m_pDecoder->Convert(buffer, count, m_bSourceEnded);
  }
  if (m_bSourceEnded && m_pDecoder->PendingUnits() == 0) m_bMoreInput = false;
  return produced;
}

void CTextFile::SetUpReader() {
  m_pLineBuf.reset(new char[kFirstLineBufferSize]);
  m_nLineBufSize = kFirstLineBufferSize;
  m_pReadBuf.reset(new char[kReadBlockSize + 1]);
  char* block = m_pReadBuf.get();
  m_nReadCount = Read(block, kReadBlockSize);
  // A stream's first block ends with the read that brings a line end, so that
  // its first line does not wait for 64 KiB that may be long in coming.
  bool full = !IsStream();
  if (IsStream()) {
    uint32_t scanned = 0;
    while (m_bMoreInput && kReadBlockSize - m_nReadCount >= kMinReadRoom &&
           !HoldsLineEnd(block + scanned, m_nReadCount - scanned)) {
      scanned = m_nReadCount;
      m_nReadCount += Read(block + m_nReadCount, kReadBlockSize - m_nReadCount);
    }
    full = kReadBlockSize - m_nReadCount < kMinReadRoom;
  }

  m_nBlockOffset = m_nDataStart;

  // A lone LF or CR that decides the style as the last byte of a full block
  // may pair with the byte after it, which the block then takes in too (a
  // stream whose block ends where its writer paused does not wait for it).
  const char* decider = nullptr;
  m_nEolStyle = StyleOfBlock(block, m_nReadCount, &decider);
  if (full && m_bMoreInput && decider == block + m_nReadCount - 1 && m_nEolStyle != eolCrLf) {
    m_nReadCount += Read(block + m_nReadCount, 1);
    m_nEolStyle = StyleOfBlock(block, m_nReadCount, &decider);
  }
  m_nReadPos = 0;
  m_nLineLen = 0;
  m_nPrevByte = -1;
}

void CTextFile::PrepareReading() {
  if (!m_pLineBuf) SetUpReader();
}

void CTextFile::ReadRangeOf(const CFile& file, uint64_t begin, EolStyle style, Encoding encoding, uint64_t end) {
  m_pRangeFile = &file;
  m_nRangeOffset = m_nReadBase = m_nDataStart = m_nBlockOffset = begin;
  m_nReadLimit = end == UINT64_MAX ? UINT64_MAX : end - begin;
  m_nEncoding = encoding;
  m_bEncodingResolved = true;
  // A UTF-16 range starts at a line end's unit, where nothing is composed
  // across: a decoder of its own starts there.
  m_pDecoder.reset(IsUtf16(encoding) ? new CUtf16Decoder(encoding == encUtf16BE, m_codePage) : nullptr);
  m_nEolStyle = style;
  AllocateReader();
  m_nReadCount = m_nReadPos = 0;
  m_nBytesRead = 0;
  m_nLineLen = 0;
  m_nPrevByte = -1;
  m_nLastTaken = -1;
  m_nStopAt = UINT64_MAX;
  m_bStopped = false;
  m_bSourceEnded = false;
  m_bMoreInput = true;
}

void CTextFile::ReadByOffset() {
  // What the first block read ahead and did not hand out is read again.
  m_pSample.reset();
  m_nSampleCount = m_nSamplePos = 0;
  m_nRangeOffset = m_nReadBase + m_nBytesRead;
  m_pRangeFile = this;
}

void CTextFile::AllocateReader() {
  if (m_pLineBuf) return;
  m_pLineBuf.reset(new char[kFirstLineBufferSize]);
  m_nLineBufSize = kFirstLineBufferSize;
  m_pReadBuf.reset(new char[kReadBlockSize]);
}

void CTextFile::FillBlock() {
  m_nReadCount = Read(m_pReadBuf.get(), kReadBlockSize);
  m_nReadPos = 0;
  m_nBlockOffset = m_nReadBase + m_nBytesRead - m_nReadCount;
}

// At a line start: whether the reader has reached where it is to stop.
bool CTextFile::AtStop() {
  if (m_nReadPos >= m_nReadCount) {
    if (!m_bMoreInput) return false;  // the input's own end comes first
    FillBlock();
    if (m_nReadCount == 0) return false;
  }
  if (m_nBlockOffset + m_nReadPos < m_nStopAt) return false;
  return IsClearLineStart(m_nLastTaken, static_cast<unsigned char>(m_pReadBuf[m_nReadPos]));
}

uint64_t CTextFile::FindClearLineStart(const CFile& file, uint64_t from, uint64_t limit, Encoding encoding) {
  // In UTF-16 the line ends are 16-bit units; from is where one starts.
  const uint32_t unit = IsUtf16(encoding) ? 2 : 1;
  const bool bigEndian = encoding == encUtf16BE;
  char bytes[4096];
  int previous = -1;
  for (uint64_t at = from - unit; at < limit;) {
    const auto want = static_cast<uint32_t>(std::min<uint64_t>(sizeof bytes, limit - at));
    const uint32_t got = file.ReadAt(at, bytes, want) / unit * unit;
    for (uint32_t i = 0; i < got; i += unit) {
      const auto* p = reinterpret_cast<const unsigned char*>(bytes + i);
      const int next = unit == 1 ? p[0] : bigEndian ? p[0] << 8 | p[1] : p[1] << 8 | p[0];
      if (at + i >= from && IsClearLineStart(previous, next)) return at + i;
      previous = next;
    }
    at += got;
    if (got < want / unit * unit) return at >= from && at < limit ? at : UINT64_MAX;  // the end of the file
  }
  return UINT64_MAX;
}

char* CTextFile::ReadLine() {
  if (!m_pLineBuf) SetUpReader();
  if (m_nStopAt != UINT64_MAX && m_nLineLen == 0 && m_nPartnerToSkip < 0) {
    if (m_bStopped || AtStop()) {
      m_bStopped = true;
      return nullptr;
    }
  }
  char* block = m_pReadBuf.get();
  // Fast path: a line that starts here and whose whole terminator lies in the
  // block is handed out where it lies, with a NUL over its terminator; the
  // rules below would give the same line. A line with a NUL in it, or one
  // that runs past the block, takes those rules.
  if (m_nLineLen == 0 && m_nPartnerToSkip < 0 && m_nReadCount - m_nReadPos >= 2) {
    char* start = block + m_nReadPos;
    char* end = block + m_nReadCount;
    char* stop = const_cast<char*>(FindSpecial(start, end));
    if (end - stop >= 2 && *stop != kNul) {
      const char partner = *stop == kLf ? kCr : kLf;
      const uint32_t terminator = stop[1] == partner ? 2 : 1;
      m_nLastTaken = static_cast<unsigned char>(stop[terminator - 1]);
      m_nLastLineLen = static_cast<int32_t>(stop - start);
      m_nLineStart = m_nBlockOffset + m_nReadPos;
      m_nReadPos += static_cast<uint32_t>(m_nLastLineLen) + terminator;
      *stop = '\0';
      return start;
    }
  }
  for (;;) {
    if (m_nReadPos >= m_nReadCount) {
      if (!m_bMoreInput) return EndOfInput();
      // A stream may keep the next byte waiting: a line ended by a lone LF or
      // CR goes on now, and the byte that would pair with it is skipped if it
      // comes next. The lines are those the bytes give when they come at once.
      if (IsStream() && (m_nPrevByte == kLf || m_nPrevByte == kCr)) return EndBeforePartner();
      FillBlock();
      continue;
    }
    if (m_nPartnerToSkip >= 0) {
      if (static_cast<unsigned char>(block[m_nReadPos]) == m_nPartnerToSkip) ++m_nReadPos;
      m_nPartnerToSkip = -1;
      continue;
    }
    if (m_nLineLen == 0) m_nLineStart = m_nBlockOffset + m_nReadPos;
    // Fast path: after an ordinary byte (or at the start of a line) every
    // byte up to the next LF, CR or NUL simply joins the line.
    if (!IsSpecial(m_nPrevByte)) {
      const char* start = block + m_nReadPos;
      const char* stop = FindSpecial(start, block + m_nReadCount);
      if (stop != start) {
        const auto run = static_cast<uint32_t>(stop - start);
        AppendToLine(start, run);
        m_nReadPos += run;
        m_nPrevByte = static_cast<signed char>(stop[-1]);  // NOLINT(bugprone-signed-char-misuse)
        continue;
      }
    }

    const auto byte = static_cast<unsigned char>(block[m_nReadPos++]);
    const char stored = byte == kNul ? kNulStandIn : static_cast<char>(byte);
    AppendToLine(&stored, 1);

    // CR LF and LF CR end the line with both bytes; a lone LF or CR, or a NUL
    // after at least 49 bytes (which is dropped), ends it before this byte.
    const bool pair = (m_nPrevByte == kLf && byte == kCr) || (m_nPrevByte == kCr && byte == kLf);
    const bool pushBack =
        !pair && (m_nPrevByte == kLf || m_nPrevByte == kCr || (m_nPrevByte == kNul && m_nLineLen > 50));
    const int32_t before = m_nPrevByte;
    m_nPrevByte = static_cast<signed char>(byte);  // NOLINT(bugprone-signed-char-misuse): only LF, CR, NUL are tested
    if (!pair && !pushBack) continue;
    m_nLastTaken = pair ? static_cast<int32_t>(byte) : before & 0xFF;

    // The last two bytes taken are the terminator, or the one-byte
    // terminator and the byte that starts the next line.
    m_nLastLineLen = m_nLineLen - 2;
    m_pLineBuf[m_nLastLineLen] = '\0';
    m_nLineLen = 0;
    m_nPrevByte = -1;
    if (pushBack) --m_nReadPos;
    return m_pLineBuf.get();
  }
}

char* CTextFile::EndOfInput() {
  if (m_nLineLen == 0) return nullptr;
  // A lone terminator whose partner never came, or a NUL after at least 49
  // bytes, which ends a line here as anywhere else.
  if (m_nPrevByte == kLf || m_nPrevByte == kCr || (m_nPrevByte == kNul && m_nLineLen >= 50)) --m_nLineLen;
  m_nLastLineLen = m_nLineLen;
  m_pLineBuf[m_nLineLen] = '\0';
  m_nLineLen = 0;
  m_nPrevByte = -1;
  return m_pLineBuf.get();
}

char* CTextFile::EndBeforePartner() {
  m_nPartnerToSkip = m_nPrevByte == kLf ? kCr : kLf;
  m_nLastLineLen = m_nLineLen - 1;
  m_pLineBuf[m_nLastLineLen] = '\0';
  m_nLineLen = 0;
  m_nPrevByte = -1;
  return m_pLineBuf.get();
}

void CTextFile::AppendToLine(const char* bytes, uint32_t count) {
  const int64_t newLen = int64_t{m_nLineLen} + count;
  if (newLen >= kMaxLineLen) throw CLineTooLongException(GetFileName());
  // The buffer keeps room for the terminating NUL.
  if (newLen >= m_nLineBufSize) GrowLineBuffer(newLen);
  std::memcpy(m_pLineBuf.get() + m_nLineLen, bytes, count);
  m_nLineLen = static_cast<int32_t>(newLen);
}

// Grows by 1024 bytes up to 50000, then by doubling, until the buffer holds
// more than needed bytes.
void CTextFile::GrowLineBuffer(int64_t needed) {
  int64_t size = m_nLineBufSize;
  while (size <= needed) {
    size += 1024;
    if (size > 50000) size *= 2;
  }
  size = std::min<int64_t>(size, kMaxLineLen);
  std::unique_ptr<char[]> grown(new char[static_cast<size_t>(size)]);
  std::memcpy(grown.get(), m_pLineBuf.get(), static_cast<size_t>(m_nLineLen));
  m_pLineBuf = std::move(grown);
  m_nLineBufSize = size;
}

// ---------------------------------------------------------------- writing

void CTextFile::Write(const void* buffer, uint32_t count) {
  if (IsUtf16(m_nEncoding)) {
    EncodingWrite(static_cast<const char*>(buffer), count);
  } else {
    WriteRaw(buffer, count);
  }
}

void CTextFile::EncodingWrite(const char* bytes, uint32_t count) {
  if (m_bBomPending) {
    m_bBomPending = false;
    const char mark[2] = {static_cast<char>(m_nEncoding & 0xFF), static_cast<char>((m_nEncoding >> 8) & 0xFF)};
    WriteRaw(mark, 2);
  }
  m_encodeUnits.clear();
  m_codePage.AppendUtf16(bytes, count, m_encodeUnits);
  const auto n = static_cast<uint32_t>(m_encodeUnits.size());
  char* out = GetConversionBuffer(static_cast<int32_t>(2 * n));
  const bool bigEndian = m_nEncoding == encUtf16BE;
  for (uint32_t i = 0; i < n; ++i) {
    const char16_t unit = m_encodeUnits[i];
    out[2 * i + (bigEndian ? 1 : 0)] = static_cast<char>(unit & 0xFF);
    out[2 * i + (bigEndian ? 0 : 1)] = static_cast<char>(unit >> 8);
  }
  WriteRaw(out, 2 * n);
}

void CTextFile::WriteRaw(const void* bytes, uint32_t count) {
  if (count == 0) return;
  if (!m_pWriteBuf) {
    m_pWriteBuf.reset(new char[kWriteBufferSize]);
    m_nWriteBufSize = kWriteBufferSize;
    m_nWritePending = 0;
  }
  if (int64_t{m_nWritePending} + count > m_nWriteBufSize) FlushBuffer();
  if (int64_t{m_nWritePending} + count > m_nWriteBufSize) {
    CFile::Write(bytes, count);  // longer than the whole buffer
    return;
  }
  std::memcpy(m_pWriteBuf.get() + m_nWritePending, bytes, count);
  m_nWritePending += static_cast<int32_t>(count);
}

void CTextFile::FlushBuffer() {
  if (!m_pWriteBuf || m_nWritePending == 0) return;
  // The buffer is emptied before the write, so that bytes of a failed write
  // are not written again by a later flush.
  const auto pending = static_cast<uint32_t>(m_nWritePending);
  m_nWritePending = 0;
  CFile::Write(m_pWriteBuf.get(), pending);
}

void CTextFile::Close() {
  FlushBuffer();
  CFile::Close();
}

void CTextFile::WriteString(const char* text) { WriteString(text, static_cast<uint32_t>(std::strlen(text))); }

void CTextFile::WriteString(const char* text, uint32_t length) { Write(text, length); }

void CTextFile::WriteEol(EolStyle style) {
  const Terminator& terminator = kTerminators[style];
  WriteString(terminator.text, terminator.length);
}

char* CTextFile::GetConversionBuffer(int32_t size) {
  if (m_pConvBuf && m_nConvBufSize >= size) return m_pConvBuf.get();
  m_pConvBuf.reset();
  m_nConvBufSize = (size / 16 + 1) * 16;
  m_pConvBuf.reset(new char[static_cast<size_t>(m_nConvBufSize)]);
  return m_pConvBuf.get();
}
