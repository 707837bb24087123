#include "dedup/Utf8FoldTable.h"

#include <unicode/uchar.h>
#include <unicode/uset.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <cstring>

namespace {

constexpr uint32_t kExpansion = 0xFF;

// Lower-cases eight ASCII bytes at once; every byte must be below 0x80.
inline uint64_t FoldAsciiWord(uint64_t word) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  const uint64_t aboveA = word + kOnes * (0x80 - 'A');      // high bit set when byte >= 'A'
  const uint64_t aboveZ = word + kOnes * (0x80 - 'Z' - 1);  // high bit set when byte > 'Z'
  const uint64_t upper = aboveA & ~aboveZ & (kOnes * 0x80);
  return word | (upper >> 2);  // 0x80 >> 2 == 0x20
}

// Every character that case folding may change. Changes_When_Casefolded
// alone misses those whose canonical decomposition is already their folded
// form (U+0390, U+1E96); together with Changes_When_Casemapped the set holds
// every character that folds, which a unit test checks over all code points.
USet* FoldingCandidates() {
  USet* candidates = uset_openEmpty();
  UErrorCode err = U_ZERO_ERROR;
  uset_addAll(candidates, u_getBinaryPropertySet(UCHAR_CHANGES_WHEN_CASEFOLDED, &err));
  uset_addAll(candidates, u_getBinaryPropertySet(UCHAR_CHANGES_WHEN_CASEMAPPED, &err));
  if (U_FAILURE(err)) uset_addRange(candidates, 0, 0x10FFFF);  // slower, and still exact
  return candidates;
}

}  // namespace

const CUtf8FoldTable& CUtf8FoldTable::Get() {
  static const CUtf8FoldTable table;
  return table;
}

CUtf8FoldTable::CUtf8FoldTable() : m_stage1(0x110000 >> 6, 0), m_stage2(64, 0) {
  USet* candidates = FoldingCandidates();
  UErrorCode err = U_ZERO_ERROR;
  for (int32_t item = 0; item < uset_getItemCount(candidates); ++item) {
    UChar32 first = 0;
    UChar32 last = 0;
    uset_getItem(candidates, item, &first, &last, nullptr, 0, &err);
    for (UChar32 c = first; c <= last; ++c) {
      if (U_IS_SURROGATE(c)) continue;  // not a character in UTF-8
      UChar in[2];
      int32_t inLength = 0;
      U16_APPEND_UNSAFE(in, inLength, c);
      UChar out[8];
      UErrorCode foldErr = U_ZERO_ERROR;
      const int32_t outLength = u_strFoldCase(out, 8, in, inLength, U_FOLD_CASE_DEFAULT, &foldErr);
      if (U_FAILURE(foldErr) || (outLength == inLength && std::memcmp(in, out, sizeof(UChar) * inLength) == 0)) continue;

      Expansion folded{};
      int32_t bytes = 0;
      u_strToUTF8(reinterpret_cast<char*>(folded.bytes), sizeof folded.bytes, &bytes, out, outLength, &foldErr);
      // Unicode has no folding longer than kMaxGrowth times its character; one
      // that would be is left unfolded rather than overrun the caller's room.
      if (U_FAILURE(foldErr) || static_cast<size_t>(bytes) > kMaxGrowth * U8_LENGTH(c)) continue;
      folded.length = static_cast<uint8_t>(bytes);

      uint32_t entry = 0;
      if (bytes <= 3) {
        entry = static_cast<uint32_t>(bytes) << 24;
        for (int32_t k = 0; k < bytes; ++k) entry |= uint32_t{folded.bytes[k]} << (8 * k);
      } else {
        entry = kExpansion << 24 | static_cast<uint32_t>(m_expansions.size());
        m_expansions.push_back(folded);
      }
      uint16_t& block = m_stage1[static_cast<uint32_t>(c) >> 6];
      if (block == 0) {
        block = static_cast<uint16_t>(m_stage2.size() >> 6);
        m_stage2.resize(m_stage2.size() + 64, 0);
      }
      m_stage2[size_t{block} << 6 | (c & 63)] = entry;
    }
  }
  uset_close(candidates);

  for (UChar32 c = 0x80; c < 0x800; ++c) {
    const uint32_t entry = Lookup(c);
    m_twoByte[c] = entry != 0 ? entry : 2u << 24 | static_cast<uint32_t>(0x80 | (c & 0x3F)) << 8 | (0xC0 | c >> 6);
  }
}

// Writes the folded form an entry holds and returns its length. Three bytes
// are written whatever the length: a character of two bytes or more never
// folds to more than kMaxGrowth times its length, so there is room.
inline size_t CUtf8FoldTable::Put(uint32_t entry, uint8_t* out) const {
  const uint32_t count = entry >> 24;
  if (count != kExpansion) {
    out[0] = static_cast<uint8_t>(entry);
    out[1] = static_cast<uint8_t>(entry >> 8);
    out[2] = static_cast<uint8_t>(entry >> 16);
    return count;
  }
  const Expansion& expansion = m_expansions[entry & 0xFFFFFF];
  std::memcpy(out, expansion.bytes, expansion.length);
  return expansion.length;
}

size_t CUtf8FoldTable::Fold(const uint8_t* src, size_t length, uint8_t* dst) const {
  size_t in = 0;
  size_t out = 0;
  while (in < length) {
    const uint8_t lead = src[in];
    if (lead < 0x80) {
      uint64_t word;
      if (length - in >= 8 && (std::memcpy(&word, src + in, 8), (word & 0x8080808080808080ull) == 0)) {
        word = FoldAsciiWord(word);
        std::memcpy(dst + out, &word, 8);
        in += 8;
        out += 8;
      } else {
        dst[out++] = static_cast<uint8_t>(lead >= 'A' && lead <= 'Z' ? lead + 32 : lead);
        ++in;
      }
      continue;
    }
    if (lead >= 0xC2 && lead <= 0xDF && in + 1 < length && (src[in + 1] & 0xC0) == 0x80) {
      out += Put(m_twoByte[(lead & 0x1F) << 6 | (src[in + 1] & 0x3F)], dst + out);
      in += 2;
      continue;
    }
    const size_t start = in;
    UChar32 c;
    U8_NEXT(src, in, length, c);
    const uint32_t entry = c < 0 ? 0 : Lookup(c);
    if (entry != 0) {
      out += Put(entry, dst + out);
    } else {
      for (size_t k = start; k < in; ++k) dst[out++] = src[k];
    }
  }
  return out;
}
