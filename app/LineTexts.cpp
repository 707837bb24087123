#include "app/LineTexts.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "app/DedupCommandLineInfo.h"
#include "app/LineTrimming.h"
#include "dedup/Prefetch.h"
#include "textfile/SpecialByteScan.h"

namespace {

// The copy goes to its file in writes of about this size.
constexpr size_t kCopyBuffer = size_t{1} << 20;
// Lines are folded, to be copied or compared, a piece of about this many
// bytes at a time, so that a long line needs no copy several times its size.
constexpr size_t kFoldPiece = 64 * 1024;
// The bytes read beyond the length a line is expected to have: room for its
// line end and a few blanks, within the cache line mostly.
constexpr size_t kLineSlack = 8;
// Before this many bytes a NUL stands in a line as 0xB7; from there on it
// ends the line (as the line reader has it).
constexpr size_t kNulEndsLineFrom = 49;
constexpr uint32_t kMostAtOnce = uint32_t{1} << 30;

// The folded text of a line, handed out a piece at a time; without a folder,
// the text as it is.
class CFoldedText {
 public:
  CFoldedText(std::string_view text, const CCaseFolder* folder, std::vector<char>& buffer)
      : m_text(text), m_folder(folder), m_buffer(buffer) {}

  // The next bytes not yet taken; empty at the end.
  std::string_view Peek() {
    if (m_piece.empty() && m_nDone < m_text.size()) Fold();
    return m_piece;
  }
  void Take(size_t count) { m_piece.remove_prefix(count); }

 private:
  void Fold() {
    const char* rest = m_text.data() + m_nDone;
    const size_t left = m_text.size() - m_nDone;
    if (!m_folder) {
      m_piece = std::string_view(rest, left);
      m_nDone = m_text.size();
      return;
    }
    const size_t end = m_folder->PieceEnd(rest, left, kFoldPiece);
    m_buffer.resize(std::max(m_buffer.size(), m_folder->FoldRoom(end)));
    m_piece = std::string_view(m_buffer.data(), m_folder->Fold(rest, end, m_buffer.data()));
    m_nDone += end;
  }

  std::string_view m_text;
  const CCaseFolder* m_folder;
  std::vector<char>& m_buffer;
  std::string_view m_piece;
  size_t m_nDone = 0;
};

[[noreturn]] void ThrowCutShort() { throw std::runtime_error("changed while it was read: it was cut short"); }

}  // namespace

CLineTexts::CLineTexts(uint32_t options, std::string tempDir, uint32_t lanes)
    : m_nOptions(options),
      m_bCaseSensitive((options & optCaseSensitive) != 0),
      m_strTempDir(std::move(tempDir)),
      m_buffers(lanes + 1) {
  // Room for most lines now, rather than while the pass runs.
  for (Buffers& buffers : m_buffers) buffers.text.resize(4096);
}

CLineTexts::~CLineTexts() = default;

void CLineTexts::ReadInPlace(const CFile& source, uint64_t length, const CCaseFolder& folder) {
  m_source = &source;
  m_sourceFolder = &folder;
  m_pMapping = std::make_unique<CFileMapping>(source, length);
}

uint64_t CLineTexts::Copy(const char* text, int32_t length, const CCaseFolder& folder) {
  if (!m_pCopy) {
    m_pCopy = std::make_unique<CFile>();
    m_pCopy->CreateTemporary(m_strTempDir);
  }
  const uint64_t offset = m_nCopyWritten + m_copyBuffer.size();
  if (offset >= kInCopy) throw std::runtime_error("more text than --exact can tell apart");
  CFoldedText folded(std::string_view(text, static_cast<size_t>(length)), m_bCaseSensitive ? nullptr : &folder,
                     m_copyFolded);
  for (std::string_view piece = folded.Peek(); !piece.empty(); piece = folded.Peek()) {
    m_copyBuffer.insert(m_copyBuffer.end(), piece.begin(), piece.end());
    folded.Take(piece.size());
    if (m_copyBuffer.size() >= kCopyBuffer) FlushCopy();
  }
  m_copyBuffer.push_back('\n');
  return kInCopy | offset;
}

void CLineTexts::FlushCopy() {
  for (size_t done = 0; done < m_copyBuffer.size();) {
    const auto count = static_cast<uint32_t>(std::min<size_t>(m_copyBuffer.size() - done, kMostAtOnce));
    m_pCopy->WriteAt(m_nCopyWritten, m_copyBuffer.data() + done, count);
    m_nCopyWritten += count;
    done += count;
  }
  m_copyBuffer.clear();
}

void CLineTexts::Fetch(const uint64_t* locations, const uint32_t* lengths, size_t count) const {
  if (!m_pMapping || !m_pMapping->Data()) return;
  // The first byte and the last SourceLineAt reads first: every cache line
  // of a line of up to 64 bytes. A hint, not a read: a file cut short meanwhile
  // is found when the lines are compared.
  const char* data = m_pMapping->Data();
  const uint64_t mapped = m_pMapping->Size();
  for (size_t i = 0; i < count; ++i) {
    const uint64_t last = locations[i] + lengths[i] + kLineSlack - 1;
    if (locations[i] & kInCopy || last >= mapped) continue;
    PrefetchForRead(data + locations[i]);
    PrefetchForRead(data + last);
  }
}

bool CLineTexts::Same(uint64_t location, const char* text, int32_t length, const CCaseFolder& folder, uint32_t lane) {
  Buffers& buffers = m_buffers[lane];
  const std::string_view line(text, static_cast<size_t>(length));
  if (SameInPlace(location, line, buffers.text)) return true;
  bool compared = false;
  const std::string_view held = TextAt(location, line.size(), buffers.text, &compared);
  // Equal bytes fold alike; and a copy's folded text folds to itself.
  if (held == line) return true;
  if (m_bCaseSensitive) return false;
  return FoldedEqual(line, &folder, held, compared ? nullptr : m_sourceFolder, buffers);
}

bool CLineTexts::SameAt(uint64_t a, uint64_t b) {
  Buffers& buffers = m_buffers.back();
  bool aCompared = false;
  bool bCompared = false;
  const std::string_view first = TextAt(a, 0, buffers.text, &aCompared);
  const std::string_view second = TextAt(b, first.size(), buffers.other, &bCompared);
  if (first == second) return true;
  if (m_bCaseSensitive) return false;
  return FoldedEqual(first, aCompared ? nullptr : m_sourceFolder, second, bCompared ? nullptr : m_sourceFolder,
                     buffers);
}

// Most matches: the source holds the line as offered, with nothing before
// it to trim and its line end right after it; the whole line is then the same
// whatever trimming or folding would do. Anything else (blanks, a NUL, another
// case, a line at the end of the file) takes the long way.
bool CLineTexts::SameInPlace(uint64_t location, std::string_view line, std::vector<char>& buffer) {
  if ((location & kInCopy) || !m_pMapping || location + line.size() >= m_pMapping->Size()) return false;
  if (buffer.size() <= line.size()) buffer.resize(line.size() + 1);
  if (!m_pMapping->CopyOut(location, buffer.data(), line.size() + 1)) ThrowCutShort();
  const char end = buffer[line.size()];
  return (end == '\n' || end == '\r') && std::memcmp(buffer.data(), line.data(), line.size()) == 0;
}

std::string_view CLineTexts::TextAt(uint64_t location, size_t expected, std::vector<char>& buffer, bool* compared) {
  *compared = (location & kInCopy) != 0 && !m_bCaseSensitive;
  if (location & kInCopy) return CopiedLineAt(location & ~kInCopy, expected, buffer);
  return SourceLineAt(location, expected, buffer);
}

// The line as the line reader gives it: up to the first LF or CR, a NUL
// before kNulEndsLineFrom bytes standing as 0xB7 and a later one ending it,
// or up to the end of the file; then trimmed as offered.
std::string_view CLineTexts::SourceLineAt(uint64_t offset, size_t expected, std::vector<char>& buffer) {
  size_t window = expected + kLineSlack;
  size_t got = 0;
  size_t scanned = 0;
  for (;;) {
    if (buffer.size() < window) buffer.resize(window);
    got += ReadSource(offset + got, buffer.data() + got, window - got);
    if (got == 0) ThrowCutShort();  // a line has a byte at least, its own or its line end
    char* data = buffer.data();
    size_t end = SIZE_MAX;
    while (scanned < got && end == SIZE_MAX) {
      scanned = static_cast<size_t>(FindSpecial(data + scanned, data + got) - data);
      if (scanned == got) break;
      if (data[scanned] != '\0' || scanned >= kNulEndsLineFrom) {
        end = scanned;
      } else {
        data[scanned++] = static_cast<char>(0xB7);
      }
    }
    if (end == SIZE_MAX && got < window) end = got;  // the end of the file
    if (end != SIZE_MAX) {
      char* start = data;
      const int32_t length = TrimLine(&start, static_cast<int32_t>(end), m_nOptions);
      return {start, static_cast<size_t>(length)};
    }
    window *= 2;
  }
}

std::string_view CLineTexts::CopiedLineAt(uint64_t offset, size_t expected, std::vector<char>& buffer) {
  size_t window = expected + 1;
  size_t got = 0;
  for (;;) {
    if (buffer.size() < window) buffer.resize(window);
    const auto want = static_cast<uint32_t>(std::min<size_t>(window - got, kMostAtOnce));
    const uint32_t fresh = m_pCopy->ReadAt(offset + got, buffer.data() + got, want);
    const auto* end = static_cast<const char*>(std::memchr(buffer.data() + got, '\n', fresh));
    got += fresh;
    if (end) return {buffer.data(), static_cast<size_t>(end - buffer.data())};
    // Every line of the copy ends in LF: the temporary file lost bytes.
    if (fresh < want) throw CFileException(m_pCopy->GetFileName(), "read", kIoError, true);
    window *= 2;
  }
}

// From the mapping, or by offset past it (bytes added to the file since it
// was mapped, or no mapping at all); fewer than count only at the file's end.
size_t CLineTexts::ReadSource(uint64_t offset, char* out, size_t count) {
  size_t done = 0;
  const uint64_t mapped = m_pMapping->Size();
  if (offset < mapped) {
    done = static_cast<size_t>(std::min<uint64_t>(count, mapped - offset));
    if (!m_pMapping->CopyOut(offset, out, done)) ThrowCutShort();
  }
  while (done < count) {
    const auto want = static_cast<uint32_t>(std::min<size_t>(count - done, kMostAtOnce));
    const uint32_t fresh = m_source->ReadAt(offset + done, out + done, want);
    done += fresh;
    if (fresh < want) break;
  }
  return done;
}

bool CLineTexts::FoldedEqual(std::string_view a, const CCaseFolder* foldA, std::string_view b, const CCaseFolder* foldB,
                             Buffers& buffers) const {
  CFoldedText first(a, foldA, buffers.foldedA);
  CFoldedText second(b, foldB, buffers.foldedB);
  for (;;) {
    const std::string_view x = first.Peek();
    const std::string_view y = second.Peek();
    if (x.empty() || y.empty()) return x.empty() && y.empty();
    const size_t n = std::min(x.size(), y.size());
    if (std::memcmp(x.data(), y.data(), n) != 0) return false;
    first.Take(n);
    second.Take(n);
  }
}
