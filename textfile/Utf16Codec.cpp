#include "textfile/Utf16Codec.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/Utf.h"

CUtf16Decoder::CUtf16Decoder(bool bigEndian, const CCodePage& codePage)
    : m_bBigEndian(bigEndian),
      m_codePage(codePage),
      m_pComposer(codePage.GetKind() == CCodePage::Kind::Icu ? CSequenceComposer::Create(codePage) : nullptr) {}

void CUtf16Decoder::Append(const char* bytes, uint32_t count) {
  char* space = AppendSpace(count);
  if (count > 0) std::memcpy(space, bytes, count);
  CommitAppend(count);
}

// New bytes go after the pending units while there is room; then the
// pending units move to the front, behind a few units of padding chosen so
// that the raw bytes land some 32 bytes before their place in the file,
// modulo 64 (bytes appended in a row keep that distance). The kernel copies
// a read four times slower when the destination lies a few bytes ahead of
// the source within a 64-byte line (1.2 GB: 0.39 s against 0.09 s). The
// buffer holds several blocks, so that units left over after a block of
// wide characters (two thirds of it in CJK text) are seldom moved.
char* CUtf16Decoder::AppendSpace(uint32_t count) {
  const size_t pending = m_nEnd - m_nStart;
  const uint32_t held = m_nOddByte >= 0 ? 1 : 0;
  const size_t units = (held + count + 1) / 2;
  if (m_nEnd + units > m_nCapacity) {
    const size_t needed = kMaxPadding + pending + units;
    if (needed > m_nCapacity) {
      std::unique_ptr<char16_t[]> grown(new char16_t[4 * needed]);
      std::copy(m_pUnits.get() + m_nStart, m_pUnits.get() + m_nEnd, grown.get());
      m_pUnits = std::move(grown);
      m_nCapacity = 4 * needed;
      m_nStart = 0;
      m_nEnd = pending;
    }
    const auto base = reinterpret_cast<uintptr_t>(m_pUnits.get());
    const uint64_t wanted = m_nRawBytes - held - 32 - base - 2 * pending;  // even: see CommitAppend
    const size_t padding = (wanted & 63) / 2;
    std::memmove(m_pUnits.get() + padding, m_pUnits.get() + m_nStart, pending * sizeof(char16_t));
    m_nStart = padding;
    m_nEnd = padding + pending;
  }
  m_nRawStart = m_nEnd;
  m_nEnd += units;
  char* raw = reinterpret_cast<char*>(m_pUnits.get() + m_nRawStart);
  if (held) raw[0] = static_cast<char>(m_nOddByte);
  return raw + held;
}

// The raw bytes become units where they lie; an odd byte waits for its
// partner (so m_nRawBytes is odd exactly when a byte is held).
void CUtf16Decoder::CommitAppend(uint32_t count) {
  const size_t bytes = count + (m_nOddByte >= 0 ? 1 : 0);
  const size_t pairs = bytes / 2;
  char16_t* units = m_pUnits.get() + m_nRawStart;
  if (m_bBigEndian != (std::endian::native == std::endian::big)) {
    for (size_t k = 0; k < pairs; ++k) units[k] = static_cast<char16_t>(units[k] >> 8 | units[k] << 8);
  }
  m_nOddByte = bytes % 2 ? static_cast<uint8_t>(reinterpret_cast<const char*>(units)[bytes - 1]) : -1;
  m_nEnd = m_nRawStart + pairs;
  m_nRawBytes += count;
}

// Where conversion must stop so that the last character, which may continue
// in the next block, waits for it.
size_t CUtf16Decoder::HoldBackLimit(size_t end) {
  if (end == m_nStart) return end;
  if (m_pComposer) return m_pComposer->SafeEnd(m_pUnits.get(), m_nStart, end);
  return IsLeadSurrogate(m_pUnits[end - 1]) ? end - 1 : end;
}

uint32_t CUtf16Decoder::Convert(char* out, uint32_t capacity, bool final) {
  const size_t limit = final ? m_nEnd : HoldBackLimit(m_nEnd);
  const char16_t* text = m_pUnits.get() + m_nStart;
  size_t length = limit - m_nStart;
  size_t composedEnd = 0;
  const bool compose = m_pComposer != nullptr;
  if (compose) {
    // The whole block composed first, then converted in one call.
    const size_t room = capacity / static_cast<size_t>(m_codePage.MaxBytesPerUnit());
    if (m_composed.size() < room) m_composed.resize(room);
    composedEnd = m_pComposer->Compose(m_pUnits.get(), m_nStart, limit, m_composed.data(), room, &length);
    text = m_composed.data();
  }
  size_t consumed = 0;
  const size_t produced = m_codePage.FromUtf16(text, length, out, capacity, &consumed);
  m_nUnmapped += QuestionMarksAdded(text, consumed, out, produced);
  m_nStart = compose ? composedEnd : m_nStart + consumed;
  return static_cast<uint32_t>(produced);
}

// What the code page lacks it writes as '?' and names no further (Windows
// tells only that some character was missing), or drops (ICU, a
// default-ignorable character): what was written as '?' is every '?' of the
// output that is not a '?' of the text.
uint64_t CUtf16Decoder::QuestionMarksAdded(const char16_t* units, size_t n, const char* bytes, size_t length) const {
  if (m_codePage.GetKind() != CCodePage::Kind::Icu) return 0;  // UTF-8 writes every character
  const auto inText = static_cast<uint64_t>(std::count(units, units + n, u'?'));
  auto written = static_cast<uint64_t>(std::count(bytes, bytes + length, '?'));
  // Bytes that could be the second of a pair are told apart only where a
  // '?' seems to have been added.
  if (written > inText && m_codePage.HasLeadBytes()) {
    written = 0;
    for (size_t i = 0; i < length; ++i) {
      const auto b = static_cast<uint8_t>(bytes[i]);
      if (m_codePage.IsLeadByte(b)) {
        ++i;  // the second byte of a pair is no '?' of its own
      } else if (b == '?') {
        ++written;
      }
    }
  }
  return written - inText;
}
