#include "dedup/Utf8FoldTable.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/CaseFolding.h"
#include "platform/Utf.h"

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

}  // namespace

const CUtf8FoldTable& CUtf8FoldTable::Get() {
  static const CUtf8FoldTable table;
  return table;
}

CUtf8FoldTable::CUtf8FoldTable() : m_stage1(0x110000 >> 6, 0), m_stage2(64, 0) {
  VisitFullCaseFoldings([this](int32_t c, const uint8_t* bytes, size_t length) {
    // Unicode has no folding longer than kMaxGrowth times its character; one
    // that would be is left unfolded rather than overrun the caller's room.
    if (length > kMaxGrowth * static_cast<size_t>(Utf8Length(c))) return;
    Expansion folded{};
    std::copy(bytes, bytes + length, folded.bytes);
    folded.length = static_cast<uint8_t>(length);

    uint32_t entry = 0;
    if (length <= 3) {
      entry = static_cast<uint32_t>(length) << 24;
      for (size_t k = 0; k < length; ++k) entry |= uint32_t{folded.bytes[k]} << (8 * k);
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
  });

  for (int32_t c = 0x800; c < 0x10000; ++c) {
    if (Lookup(c) != 0) m_foldingLeads3[c >> 12] = 0xFF;
  }
  for (int32_t c = 0x80; c < 0x800; ++c) {
    const uint32_t entry = Lookup(c);
    m_twoByte[c] = entry != 0 ? entry : 2u << 24 | static_cast<uint32_t>(0x80 | (c & 0x3F)) << 8 | (0xC0 | c >> 6);
    if (entry != 0) m_changing[c >> 6] |= static_cast<uint8_t>(1u << ((c >> 3) & 7));
  }
  auto foldsToSmall = [this](int32_t c) {
    const int32_t small = c + 0x20;
    return small < 0x800 &&
           m_twoByte[c] == (2u << 24 | static_cast<uint32_t>(0x80 | (small & 0x3F)) << 8 | (0xC0 | small >> 6));
  };
  for (int32_t group = 0x80; group < 0x800; group += 8) {
    bool allButLast = true;
    for (int32_t c = group; c < group + 7; ++c) allButLast = allButLast && foldsToSmall(c);
    const auto bit = static_cast<uint8_t>(1u << ((group >> 3) & 7));
    if (allButLast && foldsToSmall(group + 7)) {
      m_shifted[group >> 6] |= bit;
    } else if (allButLast) {
      m_shiftedButLast[group >> 6] |= bit;
    }
  }
}

// Writes the folded form an entry holds and returns its length. Three bytes
// are written whatever the length: a character of two bytes or more folds to
// no more than kMaxGrowth times its length, so there is room.
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
  if (HasUtf8FoldSimd() && length >= 16) {
    const size_t taken = FoldWindowsSimd(src, length, dst, Groups());
    if (taken == length) return taken;
    // Something else, most often characters of three bytes (CJK, symbols),
    // which seldom come alone: the rest goes a character at a time rather
    // than through windows that would fail again.
    in = out = taken;
  }
  return out + FoldSerially(src, in, length, dst + out);
}

bool CUtf8FoldTable::HashOfFolded(const char* text, size_t length, const FingerprintKey& key,
                                  LineFingerprint* fingerprint) const {
  return key.fast && HasUtf8FoldSimd() &&
         FoldedHashSimd(reinterpret_cast<const uint8_t*>(text), length, Groups(), key, fingerprint);
}

size_t CUtf8FoldTable::FoldSerially(const uint8_t* src, size_t in, size_t length, uint8_t* dst) const {
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
    // Three bytes, well-formed: no overlong form (E0 80-9F), no surrogate (ED A0-BF).
    if (lead >= 0xE0 && lead <= 0xEF && in + 2 < length && (src[in + 1] & 0xC0) == 0x80 &&
        (src[in + 2] & 0xC0) == 0x80) {
      const int32_t c = (lead & 0x0F) << 12 | (src[in + 1] & 0x3F) << 6 | (src[in + 2] & 0x3F);
      if (c >= 0x800 && (c < 0xD800 || c > 0xDFFF)) {
        const uint32_t entry = Lookup(c);
        if (entry != 0) {
          out += Put(entry, dst + out);
        } else {
          std::memcpy(dst + out, src + in, 3);
          out += 3;
        }
        in += 3;
        continue;
      }
    }
    const size_t start = in;
    const int32_t c = NextUtf8(src, &in, length);
    const uint32_t entry = c < 0 ? 0 : Lookup(c);
    if (entry != 0) {
      out += Put(entry, dst + out);
    } else {
      for (size_t k = start; k < in; ++k) dst[out++] = src[k];
    }
  }
  return out;
}
