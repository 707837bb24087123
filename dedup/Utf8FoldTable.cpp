#include "dedup/Utf8FoldTable.h"

#include <unicode/uchar.h>
#include <unicode/uset.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "dedup/FingerprintBlocks.h"

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

#if defined(__x86_64__)
const bool kHasSimd = __builtin_cpu_supports("sse4.1") && __builtin_cpu_supports("pclmul");

// kPlace + 16 * q shuffles the two bytes of a register's first 16-bit lane to
// places q - 1 and q of a block, those outside it dropped.
constexpr std::array<int8_t, 17 * 16> kPlace = [] {
  std::array<int8_t, 17 * 16> place{};
  for (size_t q = 0; q < 17; ++q) {
    for (size_t k = 0; k < 16; ++k) place[q * 16 + k] = k + 1 == q ? 0 : k == q ? 1 : -128;
  }
  return place;
}();

// What FoldWindow reads of the table, the group bits in registers.
struct WindowTables {
  __m128i changingLow, changingHigh;              // m_changing of leads C0-CF and D0-DF
  __m128i shiftedLow, shiftedHigh;                // m_shifted likewise
  __m128i shiftedButLastLow, shiftedButLastHigh;  // m_shiftedButLast likewise
  const uint8_t* changing;
  const uint8_t* shifted;
  const uint8_t* shiftedButLast;
  const uint32_t* twoByte;
};

__attribute__((target("sse4.1"))) inline WindowTables TablesOf(const uint8_t* changing, const uint8_t* shifted,
                                                               const uint8_t* shiftedButLast, const uint32_t* twoByte) {
  auto load = [](const uint8_t* bytes) __attribute__((target("sse4.1"), always_inline)) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(bytes));
  };
  return {load(changing),
          load(changing + 16),
          load(shifted),
          load(shifted + 16),
          load(shiftedButLast),
          load(shiftedButLast + 16),
          changing,
          shifted,
          shiftedButLast,
          twoByte};
}

// Folds the sixteen bytes at text + at, a window of text[0, length) that may
// begin or end inside a character, into *folded. Takes only ASCII and
// well-formed two-byte characters that fold to two bytes, the bulk of Latin,
// Greek and Cyrillic text; false for anything else. A byte's fold follows from
// itself and its neighbours, so all sixteen are classed at once and A-Z fold
// in the register, as do the capitals whose small letter lies 0x20 code points
// above (Cyrillic А-Я, Latin À-Þ, Greek Θ-Ο: see m_shifted). Only the other
// characters that may change are looked up one by one, which is rare: a chain
// of loads per window, even one skipped by a branch, measured slower than the
// rest of the window together.
__attribute__((target("sse4.1"), always_inline)) inline bool FoldWindow(const uint8_t* text, size_t length, size_t at,
                                                                        const WindowTables& t, __m128i* folded) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
  const __m128i prev = at > 0 ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at - 1)) : _mm_slli_si128(v, 1);
  const __m128i next =
      at + 16 < length ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at + 1)) : _mm_srli_si128(v, 1);
  // Signed bytes: ASCII is 0 to 127, continuation bytes -128 to -65, leads C2-DF -62 to -33.
  auto isLead = [](__m128i x) __attribute__((target("sse4.1"), always_inline)) {
    return _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(-63)), _mm_cmplt_epi8(x, _mm_set1_epi8(-32)));
  };
  const __m128i lead = isLead(v);
  const __m128i cont = _mm_cmplt_epi8(v, _mm_set1_epi8(-64));
  const auto ascii = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(v, _mm_set1_epi8(-1))));
  const auto trail = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(cont, isLead(prev))));
  const auto whole =
      static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(lead, _mm_cmplt_epi8(next, _mm_set1_epi8(-64)))));
  if ((ascii | trail | whole) != 0xFFFF) return false;

  // A-Z: v + 63 wraps to -128 to -103.
  const __m128i upper = _mm_cmplt_epi8(_mm_add_epi8(v, _mm_set1_epi8(63)), _mm_set1_epi8(-102));
  __m128i out = _mm_or_si128(v, _mm_and_si128(upper, _mm_set1_epi8(0x20)));

  // The characters whose lead byte is in the window, in the groups of a
  // table: the group bits come from the lead, C0-CF or D0-DF, and the bit from
  // the group of the byte after it.
  const __m128i low4 = _mm_and_si128(v, _mm_set1_epi8(0x0F));
  const __m128i highLead = _mm_cmpgt_epi8(v, _mm_set1_epi8(-49));
  const __m128i group = _mm_and_si128(_mm_srli_epi16(next, 3), _mm_set1_epi8(0x07));
  const __m128i bit = _mm_shuffle_epi8(_mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 0, 0, 0, 0, 0, 0, 0, 0), group);
  auto inGroups = [&](__m128i low, __m128i high) __attribute__((target("sse4.1"), always_inline)) {
    const __m128i groups = _mm_blendv_epi8(_mm_shuffle_epi8(low, low4), _mm_shuffle_epi8(high, low4), highLead);
    return _mm_andnot_si128(_mm_cmpeq_epi8(_mm_and_si128(groups, bit), _mm_setzero_si128()), lead);
  };
  const __m128i lastOfGroup = _mm_cmpeq_epi8(_mm_and_si128(next, _mm_set1_epi8(7)), _mm_set1_epi8(7));
  const __m128i shifted =
      _mm_or_si128(inGroups(t.shiftedLow, t.shiftedHigh),
                   _mm_andnot_si128(lastOfGroup, inGroups(t.shiftedButLastLow, t.shiftedButLastHigh)));
  const __m128i other = _mm_andnot_si128(shifted, inGroups(t.changingLow, t.changingHigh));
  // And the one whose lead byte comes before the window.
  const unsigned before = static_cast<unsigned>(_mm_cvtsi128_si32(prev)) & 0x1F;
  const auto firstTrail = static_cast<unsigned>(_mm_cvtsi128_si32(v));
  const unsigned first = 1u << (firstTrail >> 3 & 7);
  const unsigned beforeShifted =
      trail & ((t.shifted[before] & first) != 0 || ((t.shiftedButLast[before] & first) != 0 && (firstTrail & 7) != 7));
  const unsigned beforeOther = trail & ((t.changing[before] & first) != 0) & ~beforeShifted;

  // Code point + 0x20: the trail byte flips 0x20, and a trail byte of A0-BF
  // carries one into the lead.
  const __m128i shiftedTrails =
      _mm_or_si128(_mm_slli_si128(shifted, 1), _mm_cvtsi32_si128(static_cast<int>(beforeShifted * 0xFF)));
  out = _mm_xor_si128(out, _mm_and_si128(shiftedTrails, _mm_set1_epi8(0x20)));
  out = _mm_add_epi8(out, _mm_and_si128(shifted, _mm_and_si128(_mm_srli_epi16(next, 5), _mm_set1_epi8(1))));

  // Bit q of changes: the character whose lead byte stands at q - 1.
  const unsigned changes = static_cast<unsigned>(_mm_movemask_epi8(other)) << 1 | beforeOther;
  bool same = true;
  for (unsigned more = changes; more != 0; more &= more - 1) {
    const auto q = static_cast<unsigned>(__builtin_ctz(more));
    const uint8_t* pair = text + at + q - 1;
    const uint32_t entry = t.twoByte[(pair[0] & 0x1F) << 6 | (pair[1] & 0x3F)];
    const __m128i where = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kPlace.data() + 16 * q));
    const __m128i bytes = _mm_shuffle_epi8(_mm_cvtsi32_si128(static_cast<int>(entry)), where);
    out = _mm_blendv_epi8(out, bytes, _mm_cmpgt_epi8(where, _mm_set1_epi8(-1)));
    same = same && entry >> 24 == 2;
  }
  *folded = out;
  return same;
}

// The fingerprints of text[0, length) folded by FoldWindow, without a copy.
__attribute__((target("sse4.1,pclmul"))) bool FoldedKeyAndCrc32(const uint8_t* text, size_t length,
                                                                const WindowTables& t, LineKeyAndCrc* result) {
  if (length < 16) {
    // One window over a copy padded with zeros, which end no character.
    alignas(16) uint8_t padded[16] = {};
    if (length > 0) std::memcpy(padded, text, length);
    __m128i v;
    if (!FoldWindow(padded, 16, 0, t, &v)) return false;
    _mm_store_si128(reinterpret_cast<__m128i*>(padded), v);
    *result = KeyAndCrc32(reinterpret_cast<const char*>(padded), length);
    return true;
  }
  return fingerprint_blocks::KeyAndCrc32OfBlocks(
      length,
      [&](size_t at, __m128i * v)
          __attribute__((target("sse4.1"), always_inline)) { return FoldWindow(text, length, at, t, v); },
      &result->key, &result->crc);
}

// Folds text[0, length), 16 bytes or more, by FoldWindow for as long as the
// windows let it; returns the bytes taken, the same number as written.
__attribute__((target("sse4.1"))) size_t FoldWindows(const uint8_t* text, size_t length, uint8_t* dst,
                                                     const WindowTables& t) {
  // Where the windows stop, another way goes on, from the start of a character.
  auto stop = [text](size_t in) {
    return in - (in > 0 && (text[in] & 0xC0) == 0x80 && text[in - 1] >= 0xC2 && text[in - 1] <= 0xDF);
  };
  size_t in = 0;
  __m128i v;
  for (; in + 16 <= length; in += 16) {
    if (!FoldWindow(text, length, in, t, &v)) return stop(in);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + in), v);
  }
  // The last sixteen bytes, once more: a window's fold depends on nothing
  // outside its bytes and their neighbours, so those written already come out the same.
  if (in == length) return in;
  if (!FoldWindow(text, length, length - 16, t, &v)) return stop(in);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + length - 16), v);
  return length;
}
#endif

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
      if (U_FAILURE(foldErr) || (outLength == inLength && std::memcmp(in, out, sizeof(UChar) * inLength) == 0))
        continue;

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
    if (entry != 0) m_changing[c >> 6] |= static_cast<uint8_t>(1u << ((c >> 3) & 7));
  }
  auto foldsToSmall = [this](UChar32 c) {
    const UChar32 small = c + 0x20;
    return small < 0x800 &&
           m_twoByte[c] == (2u << 24 | static_cast<uint32_t>(0x80 | (small & 0x3F)) << 8 | (0xC0 | small >> 6));
  };
  for (UChar32 group = 0x80; group < 0x800; group += 8) {
    bool allButLast = true;
    for (UChar32 c = group; c < group + 7; ++c) allButLast = allButLast && foldsToSmall(c);
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
#if defined(__x86_64__)
  if (kHasSimd) {
    while (length - in >= 16) {
      const size_t taken =
          FoldWindows(src + in, length - in, dst + out, TablesOf(m_changing, m_shifted, m_shiftedButLast, m_twoByte));
      in += taken;
      out += taken;
      if (in == length) return out;
      // Sixteen bytes of something else: a character at a time across them.
      out += FoldSerially(src, &in, std::min(in + 16, length), length, dst + out);
    }
  }
#endif
  return out + FoldSerially(src, &in, length, length, dst + out);
}

bool CUtf8FoldTable::KeyAndCrc32OfFolded(const char* text, size_t length, LineKeyAndCrc* result) const {
#if defined(__x86_64__)
  return kHasSimd && FoldedKeyAndCrc32(reinterpret_cast<const uint8_t*>(text), length,
                                       TablesOf(m_changing, m_shifted, m_shiftedButLast, m_twoByte), result);
#else
  (void)text;
  (void)length;
  (void)result;
  return false;
#endif
}

size_t CUtf8FoldTable::FoldSerially(const uint8_t* src, size_t* at, size_t stop, size_t length, uint8_t* dst) const {
  size_t in = *at;
  size_t out = 0;
  while (in < stop) {
    const uint8_t lead = src[in];
    if (lead < 0x80) {
      uint64_t word;
      if (stop - in >= 8 && (std::memcpy(&word, src + in, 8), (word & 0x8080808080808080ull) == 0)) {
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
  *at = in;
  return out;
}
