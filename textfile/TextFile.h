// CTextFile: a source read as lines of 8-bit text, or a target written
// through a large buffer. One class serves both ends of a run.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/CodePage.h"
#include "platform/File.h"
#include "platform/LineEnd.h"
#include "textfile/EncodingDetection.h"
#include "textfile/Utf16Codec.h"

// Line-ending styles; also the index into the terminator table.
enum EolStyle : int32_t { eolCrLf = 0, eolLfCr = 1, eolLf = 2, eolCr = 3 };

// Raised when a line would not fit a signed 32-bit length.
class CLineTooLongException : public std::runtime_error {
 public:
  explicit CLineTooLongException(const std::string& fileName);
};

class CTextFile : public CFile {
 public:
  static constexpr uint32_t kReadBlockSize = 65536;
  static constexpr int32_t kWriteBufferSize = 60000;
  static constexpr int32_t kFirstLineBufferSize = 5000;
  // The style of a source whose first block holds no line end.
  static constexpr EolStyle kNoLineEndStyle = kSystemLineEndIsCrLf ? eolCrLf : eolLf;

  // A reader constructed with encAutoDetect finds the source's encoding at
  // its first read; one told UTF-8 or UTF-16 skips that encoding's byte-order
  // mark; one told encAnsi takes every byte as it stands.
  explicit CTextFile(Encoding encoding, const CCodePage& codePage = CCodePage::System());
  ~CTextFile() override;

  // The next line, NUL-terminated, without its terminator and without NUL
  // bytes inside; null at the end of the input. The line lives in this
  // object's buffer until the next call, and the caller may change its bytes.
  char* ReadLine();
  // Settles the encoding and the line-ending style by reading the first block,
  // as the first ReadLine would; nothing is taken from it.
  void PrepareReading();

  // Reads the lines of the regular file `file` from begin, where a line
  // starts, to end (or as StopAt says, for 8-bit text), as a reader from the
  // file's start would give them, in the encoding and style given; file must
  // stay open meanwhile. Several such readers may read one file at once.
  void ReadRangeOf(const CFile& file, uint64_t begin, EolStyle style, Encoding encoding = encAnsi,
                   uint64_t end = UINT64_MAX);
  // From here on reads this 8-bit regular file by offset, as ReadRangeOf's
  // readers do, so that they may read it at the same time: Windows moves a
  // handle's file pointer when another thread reads it at an offset.
  void ReadByOffset();
  // Takes the buffers such a reader needs now rather than at its first
  // range; later ranges use them again.
  void AllocateReader();
  // From here on ReadLine answers null at the first line start at or after
  // end that IsClearLineStart tells, as if the input ended there.
  void StopAt(uint64_t end) { m_nStopAt = end; }
  // Whether a line starts before `next` whatever came before `previous`,
  // the byte before it, in the input: after a lone LF or CR, or after two of
  // one kind (LF LF, CR CR), with no partner following that would join it.
  // In a run of CR LF pairs only the run's start tells where lines begin.
  static bool IsClearLineStart(int previous, int next) {
    const bool ends = previous == '\n' || previous == '\r';
    return ends && ((next != '\n' && next != '\r') || next == previous);
  }
  // The first clear line start p (IsClearLineStart of the characters before
  // and at p: bytes, or 16-bit units in UTF-16, where p and from lie on a
  // unit's start) with from <= p < limit in file, where from is past the
  // first character; UINT64_MAX when there is none. The end of the file
  // counts as one.
  static uint64_t FindClearLineStart(const CFile& file, uint64_t from, uint64_t limit, Encoding encoding = encAnsi);
  // UTF-16 characters the code page lacks were counted by other readers
  // (ReadRangeOf), which read this file: GetUnmappedCount answers theirs.
  void CountedElsewhere(uint64_t unmapped) { m_nUnmappedElsewhere = unmapped; }

  // The file offset where the first line begins (after a byte-order mark),
  // and that of the next byte ReadLine takes; for an 8-bit source.
  uint64_t FirstLineOffset() const { return m_nDataStart; }
  uint64_t NextOffset() const { return m_nBlockOffset + m_nReadPos; }
  // The file offset up to which bytes were taken (read ahead included).
  uint64_t TakenUpTo() const { return m_nReadBase + m_nBytesRead; }
  // The file offset of the first byte of the line ReadLine returned last
  // (before any blank a caller trims); for an 8-bit regular source.
  uint64_t LineStartOffset() const { return m_nLineStart; }

  // Length of the line ReadLine returned last.
  int32_t GetLineLength() const { return m_nLastLineLen; }
  // Bytes of the source taken so far, a byte-order mark included.
  uint64_t GetBytesRead() const { return m_nBytesRead; }
  // Other readers (ReadRangeOf) took this file's bytes up to offset.
  void TakenElsewhereUpTo(uint64_t offset) {
    if (offset > m_nReadBase + m_nBytesRead) m_nBytesRead = offset - m_nReadBase;
  }
  // Reads no more than the first `bytes` of the source, as if it ended there:
  // a second reading takes the bytes of the first, whatever came after.
  void ReadNoMoreThan(uint64_t bytes) { m_nReadLimit = bytes; }
  // Characters of a UTF-16 source that the code page lacks, written as '?'.
  uint64_t GetUnmappedCount() const {
    if (m_nUnmappedElsewhere != UINT64_MAX) return m_nUnmappedElsewhere;
    return m_pDecoder ? m_pDecoder->UnmappedCount() : 0;
  }
  // False while m_nEncoding may still change: from the first read on, it
  // changes only from encAnsi to encUtf8, and only before a line holding a
  // byte above 0x7F is handed out (a stream is decided as its bytes come).
  bool IsEncodingSettled() const { return m_bEncodingResolved && !m_bUtf8Open; }

  uint32_t Read(void* buffer, uint32_t count) override;
  void Write(const void* buffer, uint32_t count) override;
  void Close() override;

  void WriteString(const char* text);
  void WriteString(const char* text, uint32_t length);
  void WriteEol(EolStyle style);
  // The text and a line end.
  void WriteLine(const char* text, uint32_t length, EolStyle style) {
    WriteString(text, length);
    WriteEol(style);
  }
  void FlushBuffer();
  void WriteRaw(const void* bytes, uint32_t count);
  char* GetConversionBuffer(int32_t size);

  EolStyle m_nEolStyle = eolCrLf;  // found in the first block by the first ReadLine
  bool m_bMoreInput = true;        // false once the source has ended and handed out its last byte
  Encoding m_nEncoding;            // as constructed, until the first read settles it

 private:
  void SetUpReader();
  void FillBlock();
  bool AtStop();
  char* EndOfInput();
  char* EndBeforePartner();
  void AppendToLine(const char* bytes, uint32_t count);
  void GrowLineBuffer(int64_t needed);

  // The encoding paths.
  void ResolveEncoding();
  void ReadSample();
  void WatchForUtf8(const char* bytes, uint32_t count);
  uint32_t ReadSource(void* buffer, uint32_t count);
  uint32_t DecodingRead(char* buffer, uint32_t count);
  void EncodingWrite(const char* bytes, uint32_t count);

  const CCodePage& m_codePage;

  std::unique_ptr<char[]> m_pConvBuf;
  int32_t m_nConvBufSize = 0;
  bool m_bBomPending = true;

  std::unique_ptr<char[]> m_pLineBuf;
  int64_t m_nLineBufSize = 0;
  std::unique_ptr<char[]> m_pReadBuf;
  uint32_t m_nReadCount = 0;
  uint32_t m_nReadPos = 0;
  int32_t m_nLineLen = 0;
  int32_t m_nPrevByte = -1;
  int32_t m_nPartnerToSkip = -1;  // LF or CR that pairs with a line end handed out already
  int32_t m_nLastLineLen = 0;
  uint64_t m_nLineStart = 0;
  uint64_t m_nBytesRead = 0;
  uint64_t m_nReadLimit = UINT64_MAX;
  uint64_t m_nUnmappedElsewhere = UINT64_MAX;  // UINT64_MAX: this reader counted
  // For an 8-bit source: the file offsets of the first byte read (where
  // m_nBytesRead counts from), of the first byte after a mark, and of the
  // read block's first byte.
  uint64_t m_nReadBase = 0;
  uint64_t m_nDataStart = 0;
  uint64_t m_nBlockOffset = 0;
  uint64_t m_nStopAt = UINT64_MAX;
  int32_t m_nLastTaken = -1;  // the last byte a line took with its terminator
  bool m_bStopped = false;
  // A reader of a range reads here, at m_nRangeOffset, rather than from a
  // handle of its own.
  const CFile* m_pRangeFile = nullptr;
  uint64_t m_nRangeOffset = 0;

  std::unique_ptr<char[]> m_pWriteBuf;
  int32_t m_nWritePending = 0;
  int32_t m_nWriteBufSize = 0;

  // The first block, read raw while the encoding was detected and handed out
  // before the rest of the file (less a byte-order mark), so that a pipe
  // needs no seek.
  std::unique_ptr<char[]> m_pSample;
  uint32_t m_nSampleCount = 0;
  uint32_t m_nSamplePos = 0;
  bool m_bEncodingResolved = false;
  bool m_bUtf8Open = false;     // 8-bit so far, but the first block may yet show UTF-8
  uint32_t m_nUtf8Seen = 0;     // bytes of the first block examined for UTF-8
  bool m_bSourceEnded = false;  // the file itself is used up (UTF-16 may still hold units)
  std::unique_ptr<CUtf16Decoder> m_pDecoder;
  std::u16string m_encodeUnits;
};
