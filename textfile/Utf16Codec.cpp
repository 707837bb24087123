#include "textfile/Utf16Codec.h"

#include <unicode/utf16.h>

#include <bit>
#include <cstring>

DetectedEncoding ClassifyFirstBytes(const uint8_t* b, uint32_t count, bool utf8CodePage) {
  if (count >= 2 && b[0] == 0xFF && b[1] == 0xFE) return {encUtf16LE, 2};
  if (count >= 2 && b[0] == 0xFE && b[1] == 0xFF) return {encUtf16BE, 2};
  if (utf8CodePage && count >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return {encAnsi, 3};
  if (count > 4 && b[0] != 0 && b[1] == 0 && b[2] != 0 && b[3] == 0) return {encUtf16LE, 0};
  if (count > 4 && b[0] == 0 && b[1] != 0 && b[2] == 0 && b[3] != 0) return {encUtf16BE, 0};
  return {encAnsi, 0};
}

CUtf16Decoder::CUtf16Decoder(bool bigEndian, const CCodePage& codePage)
    : m_bBigEndian(bigEndian),
      m_codePage(codePage),
      m_pComposer(codePage.GetKind() == CCodePage::Kind::Icu ? CSequenceComposer::Create(codePage) : nullptr) {}

void CUtf16Decoder::Append(const char* bytes, uint32_t count) {
  char* space = AppendSpace(count);
  if (count > 0) std::memcpy(space, bytes, count);
  CommitAppend(count);
}

char* CUtf16Decoder::AppendSpace(uint32_t count) {
  // Drop converted units before the buffer grows again.
  if (m_nStart > 0) {
    m_units.erase(m_units.begin(), m_units.begin() + static_cast<std::ptrdiff_t>(m_nStart));
    m_nStart = 0;
  }
  m_nRawStart = m_units.size();
  const uint32_t held = m_nOddByte >= 0 ? 1 : 0;
  m_units.resize(m_nRawStart + (held + count + 1) / 2);
  char* raw = reinterpret_cast<char*>(m_units.data() + m_nRawStart);
  if (held) raw[0] = static_cast<char>(m_nOddByte);
  return raw + held;
}

// The raw bytes become units where they lie; an odd byte waits for its partner.
void CUtf16Decoder::CommitAppend(uint32_t count) {
  const size_t bytes = count + (m_nOddByte >= 0 ? 1 : 0);
  const size_t pairs = bytes / 2;
  char16_t* units = m_units.data() + m_nRawStart;
  if (m_bBigEndian != (std::endian::native == std::endian::big)) {
    for (size_t k = 0; k < pairs; ++k) units[k] = static_cast<char16_t>(__builtin_bswap16(units[k]));
  }
  m_nOddByte = bytes % 2 ? static_cast<uint8_t>(reinterpret_cast<const char*>(units)[bytes - 1]) : -1;
  m_units.resize(m_nRawStart + pairs);
}

// Where conversion must stop so that the last character, which may continue
// in the next block, waits for it.
size_t CUtf16Decoder::HoldBackLimit(size_t end) {
  if (end == m_nStart) return end;
  if (m_pComposer) return m_pComposer->SafeEnd(m_units.data(), m_nStart, end);
  return U16_IS_LEAD(m_units[end - 1]) ? end - 1 : end;
}

uint32_t CUtf16Decoder::Convert(char* out, uint32_t capacity, bool final) {
  const size_t limit = final ? m_units.size() : HoldBackLimit(m_units.size());
  const char16_t* text = m_units.data() + m_nStart;
  size_t length = limit - m_nStart;
  size_t composedEnd = 0;
  if (m_pComposer) {
    // The whole block composed first, then converted in one call.
    const size_t room = capacity / static_cast<size_t>(m_codePage.MaxBytesPerUnit());
    if (m_composed.size() < room) m_composed.resize(room);
    composedEnd = m_pComposer->Compose(m_units.data(), m_nStart, limit, m_composed.data(), room, &length);
    text = m_composed.data();
  }
  size_t consumed = 0;
  const size_t produced = m_codePage.FromUtf16(text, length, out, capacity, &consumed, &m_nUnmapped);
  m_nStart = m_pComposer ? composedEnd : m_nStart + consumed;
  if (m_nStart == m_units.size()) {
    m_units.clear();
    m_nStart = 0;
  }
  return static_cast<uint32_t>(produced);
}
