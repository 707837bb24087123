#include "textfile/Utf16Codec.h"

#include <unicode/unorm2.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

namespace {

const UNormalizer2* Nfc() {
  UErrorCode err = U_ZERO_ERROR;
  static const UNormalizer2* nfc = unorm2_getNFCInstance(&err);
  return nfc;
}

bool BoundaryBefore(const char16_t* units, size_t i, size_t end) {
  UChar32 c;
  U16_GET(units, 0, i, end, c);
  return unorm2_hasBoundaryBefore(Nfc(), c);
}

}  // namespace

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
      m_bCompose(codePage.GetKind() == CCodePage::Kind::Icu && Nfc() != nullptr) {}

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
size_t CUtf16Decoder::HoldBackLimit(size_t end) const {
  if (end == m_nStart) return end;
  const char16_t* u = m_units.data();
  if (!m_bCompose) return U16_IS_LEAD(u[end - 1]) ? end - 1 : end;
  // Hold back from the last normalization boundary: a base character may
  // still gain combining marks.
  size_t i = end;
  while (i > m_nStart) {
    U16_BACK_1(u, m_nStart, i);
    if (BoundaryBefore(u, i, end)) return i;
  }
  return m_nStart;
}

uint32_t CUtf16Decoder::Convert(char* out, uint32_t capacity, bool final) {
  const size_t end = m_units.size();
  size_t limit = final ? end : HoldBackLimit(end);
  // A block's worth of units without any place to stop (a run of thousands of
  // combining marks): convert it rather than wait forever.
  if (limit == m_nStart && end - m_nStart >= capacity) limit = end;
  size_t produced = 0;
  size_t pos = m_bCompose ? ConvertComposing(m_nStart, limit, out, capacity, &produced)
                          : ConvertPlain(m_nStart, limit, out, capacity, &produced);
  m_nStart = pos;
  if (m_nStart == m_units.size()) {
    m_units.clear();
    m_nStart = 0;
  }
  return static_cast<uint32_t>(produced);
}

// Converts units from begin toward end while the worst case fits; returns the
// position reached.
size_t CUtf16Decoder::ConvertPlain(size_t begin, size_t end, char* out, size_t capacity, size_t* produced) const {
  const char16_t* u = m_units.data();
  const auto perUnit = static_cast<size_t>(m_codePage.MaxBytesPerUnit());
  size_t pos = begin;
  while (pos < end) {
    size_t take = std::min(end - pos, (capacity - *produced) / perUnit);
    // Never end a chunk between the halves of a surrogate pair.
    if (take > 0 && pos + take < end && U16_IS_LEAD(u[pos + take - 1]) && U16_IS_TRAIL(u[pos + take])) --take;
    if (take == 0) break;
    *produced += m_codePage.FromUtf16(u + pos, take, out + *produced);
    pos += take;
  }
  return pos;
}

// The composed form of one combining sequence, as far as the code page can
// hold it: the longest leading part whose composed form it has (e + U+0301 +
// U+0302 becomes e-acute and a lone circumflex in CP1252), the rest unchanged.
void CUtf16Decoder::ComposeSequence(const char16_t* sequence, int32_t length, std::u16string& out) const {
  const UNormalizer2* nfc = Nfc();
  const int32_t base = U16_LENGTH(sequence[0]) <= length ? U16_LENGTH(sequence[0]) : length;
  std::u16string composed(static_cast<size_t>(length) * 3 + 8, u'\0');
  int32_t part = length;
  while (part >= base) {
    UErrorCode err = U_ZERO_ERROR;
    const int32_t n =
        unorm2_normalize(nfc, sequence, part, composed.data(), static_cast<int32_t>(composed.size()), &err);
    if (U_FAILURE(err)) break;
    if (part == base || m_codePage.CanEncode(composed.data(), static_cast<size_t>(n))) {
      out.assign(composed.data(), static_cast<size_t>(n));
      out.append(sequence + part, sequence + length);
      return;
    }
    U16_BACK_1(sequence, 0, part);
  }
  out.assign(sequence, sequence + length);
}

// As ConvertPlain, but a base character followed by combining marks becomes
// the precomposed character where the code page has one.
size_t CUtf16Decoder::ConvertComposing(size_t begin, size_t end, char* out, size_t capacity, size_t* produced) {
  const UNormalizer2* nfc = Nfc();
  const char16_t* u = m_units.data();
  size_t pos = begin;
  std::u16string composed;
  std::string bytes;
  while (pos < end) {
    UErrorCode err = U_ZERO_ERROR;
    auto span = static_cast<size_t>(unorm2_spanQuickCheckYes(nfc, u + pos, static_cast<int32_t>(end - pos), &err));
    if (U_FAILURE(err)) span = end - pos;
    if (span < end - pos) {
      // The character where the span stopped may combine with the ones before.
      size_t i = pos + span;
      while (i > pos && !BoundaryBefore(u, i, end)) U16_BACK_1(u, pos, i);
      span = i - pos;
    }
    if (span > 0) {
      size_t reached = ConvertPlain(pos, pos + span, out, capacity, produced);
      if (reached < pos + span) return reached;
      pos = reached;
      continue;
    }
    // One combining sequence: from pos to the next boundary.
    size_t next = pos;
    U16_FWD_1(u, next, end);
    while (next < end && !BoundaryBefore(u, next, end)) U16_FWD_1(u, next, end);
    ComposeSequence(u + pos, static_cast<int32_t>(next - pos), composed);
    const char16_t* text = composed.data();
    const size_t textLength = composed.size();
    bytes.resize(textLength * 2 + 2);
    size_t written = m_codePage.FromUtf16(text, textLength, bytes.data());
    if (*produced + written > capacity) {
      // The sequence does not fit: it waits for the next block, unless it is
      // the first one, which then goes out uncomposed, chunk by chunk.
      if (pos > begin) return pos;
      return ConvertPlain(pos, next, out, capacity, produced);
    }
    std::copy(bytes.data(), bytes.data() + written, out + *produced);
    *produced += written;
    pos = next;
  }
  return pos;
}
