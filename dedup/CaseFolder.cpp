#include "dedup/CaseFolder.h"

#include <cstring>

#include "platform/CharacterCase.h"
#include "platform/Utf.h"

namespace {

// Lower-cases eight ASCII bytes at once; every byte must be below 0x80.
inline uint64_t FoldAsciiWord(uint64_t word) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  const uint64_t aboveA = word + kOnes * (0x80 - 'A');      // high bit set when byte >= 'A'
  const uint64_t aboveZ = word + kOnes * (0x80 - 'Z' - 1);  // high bit set when byte > 'Z'
  const uint64_t upper = aboveA & ~aboveZ & (kOnes * 0x80);
  return word | (upper >> 2);  // 0x80 >> 2 == 0x20
}

}  // namespace

const CCaseFolder& CCaseFolder::System() {
  static const CCaseFolder folder(CCodePage::System());
  return folder;
}

CCaseFolder::CCaseFolder(const CCodePage& codePage) {
  for (int b = 0; b < 256; ++b) m_table[b] = static_cast<uint8_t>(b >= 'A' && b <= 'Z' ? b + 32 : b);
  switch (codePage.GetKind()) {
    case CCodePage::Kind::Utf8:
      m_mode = Mode::Utf8;
      break;
    case CCodePage::Kind::Unknown:
      m_mode = Mode::Table;
      break;
    case CCodePage::Kind::Icu:
      BuildCodePageTables(codePage);
      break;
  }
  for (int b = 0; b < 0x80; ++b) {
    const int atoZ = b >= 'A' && b <= 'Z' ? b + 32 : b;
    if (m_bLead[b] || m_table[b] != atoZ) m_bAsciiAtoZ = false;
  }
}

void CCaseFolder::BuildCodePageTables(const CCodePage& codePage) {
  uint8_t out[4];
  for (int b = 1; b < 256; ++b) {
    m_bLead[b] = codePage.IsLeadByte(static_cast<uint8_t>(b));
    if (m_bLead[b]) continue;
    const auto byte = static_cast<uint8_t>(b);
    const int32_t c = codePage.DecodeChar(&byte, 1);
    m_table[b] = byte;
    if (c >= 0 && IsUpperCase(c) && codePage.EncodeChar(ToLowerCase(c), out) == 1) m_table[b] = out[0];
  }
  if (!codePage.HasLeadBytes()) return;

  m_mode = Mode::DoubleByte;
  m_double.assign(65536, -1);
  for (int lead = 0; lead < 256; ++lead) {
    if (!m_bLead[lead]) continue;
    for (int trail = 0; trail < 256; ++trail) {
      const uint8_t pair[2] = {static_cast<uint8_t>(lead), static_cast<uint8_t>(trail)};
      const int32_t c = codePage.DecodeChar(pair, 2);
      if (c < 0) continue;
      const int n = codePage.EncodeChar(ToLowerCase(c), out);
      if (n == 0) continue;
      m_double[static_cast<size_t>(lead << 8 | trail)] = n << 16 | out[0] << 8 | (n == 2 ? out[1] : 0);
    }
  }
}

void CCaseFolder::Fold(const char* src, size_t length, char* dst) const {
  const auto* in = reinterpret_cast<const uint8_t*>(src);
  auto* out = reinterpret_cast<uint8_t*>(dst);
  switch (m_mode) {
    case Mode::Utf8:
      FoldUtf8(in, length, out);
      return;
    case Mode::DoubleByte:
      FoldDoubleByte(in, length, out);
      return;
    case Mode::Table:
      for (size_t i = 0; i < length; ++i) out[i] = m_table[in[i]];
      return;
  }
}

// A well-formed sequence of two to four bytes is lower-cased as one character
// when its lower-case form has the same length; a malformed one stays as it is.
void CCaseFolder::FoldUtf8(const uint8_t* src, size_t length, uint8_t* dst) const {
  size_t i = 0;
  while (i < length) {
    if (length - i >= 8) {
      uint64_t word;
      std::memcpy(&word, src + i, 8);
      if ((word & 0x8080808080808080ull) == 0) {
        word = FoldAsciiWord(word);
        std::memcpy(dst + i, &word, 8);
        i += 8;
        continue;
      }
    }
    if (src[i] < 0x80) {
      dst[i] = m_table[src[i]];
      ++i;
      continue;
    }
    const size_t start = i;
    const int32_t c = NextUtf8(src, &i, length);
    const size_t seqLength = i - start;
    if (c >= 0) {
      const int32_t lower = ToLowerCase(c);
      if (static_cast<size_t>(Utf8Length(lower)) == seqLength) {
        PutUtf8(lower, dst + start);
        continue;
      }
    }
    std::memcpy(dst + start, src + start, seqLength);
  }
}

// A lead byte and the byte after it fold as one character; an invalid or
// unmappable character ends the folding, leaving the rest as it was.
void CCaseFolder::FoldDoubleByte(const uint8_t* src, size_t length, uint8_t* dst) const {
  size_t i = 0;
  while (i < length) {
    const uint8_t b = src[i];
    if (!m_bLead[b]) {
      dst[i] = m_table[b];
      ++i;
      continue;
    }
    const int32_t lower = i + 1 < length ? m_double[static_cast<size_t>(b << 8 | src[i + 1])] : -1;
    if (lower < 0) break;
    dst[i] = static_cast<uint8_t>(lower >> 8);
    if ((lower >> 16) == 2) {
      dst[i + 1] = static_cast<uint8_t>(lower);
      i += 2;
    } else {
      i += 1;  // a one-byte form replaces the lead byte; the next byte is taken on its own
    }
  }
  if (i < length) std::memcpy(dst + i, src + i, length - i);
}
