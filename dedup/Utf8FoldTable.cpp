#include "dedup/Utf8FoldTable.h"

#include <unicode/uchar.h>
#include <unicode/uset.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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
const bool kHasSse41 = __builtin_cpu_supports("sse4.1");

// Loaded at kShiftDown + 16 - n, a shuffle moves the last n bytes of a
// register to its start and zeros the rest.
alignas(16) constexpr uint8_t kShiftDown[32] = {0,    1,    2,    3,    4,    5,    6,    7,    8,    9,    10,
                                                11,   12,   13,   14,   15,   0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
                                                0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};

// Folds the sixteen bytes of v, which begin a character, to dst[0, 16); dst
// also has room for two bytes more. Takes only ASCII and well-formed two-byte
// characters that fold to two bytes, the bulk of Latin, Greek and Cyrillic
// text: a byte's class follows from itself and its neighbours, so all sixteen
// are classed at once and A-Z fold in the register, and only the two-byte
// characters that may change (see m_changing), mostly capitals, are looked up
// one by one; the first two without a branch, which measured faster than a
// loop whose length the processor cannot foresee. Returns the bytes taken:
// 16, or 15 when the last is a lead byte, whose character is left to the next
// block; 0 when the block holds anything else (and then dst holds nothing of use).
__attribute__((target("sse4.1"), always_inline)) inline size_t FoldBlock(__m128i v, uint8_t* dst, __m128i changingLow,
                                                                         __m128i changingHigh,
                                                                         const uint32_t* twoByte) {
  // Signed bytes: ASCII is 0 to 127, continuation bytes -128 to -65, leads C2-DF -62 to -33.
  const __m128i ascii = _mm_cmpgt_epi8(v, _mm_set1_epi8(-1));
  const __m128i cont = _mm_cmplt_epi8(v, _mm_set1_epi8(-64));
  const __m128i lead = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(-63)), _mm_cmplt_epi8(v, _mm_set1_epi8(-32)));
  const auto isAscii = static_cast<unsigned>(_mm_movemask_epi8(ascii));
  const auto isCont = static_cast<unsigned>(_mm_movemask_epi8(cont));
  const auto isLead = static_cast<unsigned>(_mm_movemask_epi8(lead));
  // Every byte of a class, and every continuation byte right after a lead byte and nowhere else.
  if ((isAscii | isCont | isLead) != 0xFFFF || isCont != ((isLead << 1) & 0xFFFF)) return 0;

  // A-Z: v + 63 wraps to -128 to -103.
  const __m128i upper = _mm_cmplt_epi8(_mm_add_epi8(v, _mm_set1_epi8(63)), _mm_set1_epi8(-102));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_or_si128(v, _mm_and_si128(upper, _mm_set1_epi8(0x20))));

  // The group bits of each lead byte, C0-CF or D0-DF, and the bit of the group of the byte after it.
  const __m128i low4 = _mm_and_si128(v, _mm_set1_epi8(0x0F));
  const __m128i groups = _mm_blendv_epi8(_mm_shuffle_epi8(changingLow, low4), _mm_shuffle_epi8(changingHigh, low4),
                                         _mm_cmpgt_epi8(v, _mm_set1_epi8(-49)));
  const __m128i group = _mm_and_si128(_mm_srli_epi16(_mm_srli_si128(v, 1), 3), _mm_set1_epi8(0x07));
  const __m128i bit = _mm_shuffle_epi8(_mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 0, 0, 0, 0, 0, 0, 0, 0), group);
  const __m128i changes = _mm_andnot_si128(_mm_cmpeq_epi8(_mm_and_si128(groups, bit), _mm_setzero_si128()), lead);
  const unsigned changing = static_cast<unsigned>(_mm_movemask_epi8(changes)) & 0x7FFF;

  // An absent character stands at 16, where the zeros after the bytes give
  // entry 0, which writes two bytes into the room past the block.
  alignas(16) uint8_t bytes[32] = {};
  _mm_store_si128(reinterpret_cast<__m128i*>(bytes), v);
  auto entryAt = [&](unsigned at) { return twoByte[(bytes[at] & 0x1F) << 6 | (bytes[at + 1] & 0x3F)]; };
  const auto first = static_cast<unsigned>(__builtin_ctz(changing | 0x10000));
  const unsigned rest = changing & (changing - 1);
  const auto second = static_cast<unsigned>(__builtin_ctz(rest | 0x10000));
  const uint32_t firstEntry = entryAt(first);
  const uint32_t secondEntry = entryAt(second);
  if ((firstEntry >> 24 != 2) | (secondEntry >> 24 != 2)) return 0;
  dst[first] = static_cast<uint8_t>(firstEntry);
  dst[first + 1] = static_cast<uint8_t>(firstEntry >> 8);
  dst[second] = static_cast<uint8_t>(secondEntry);
  dst[second + 1] = static_cast<uint8_t>(secondEntry >> 8);
  for (unsigned more = rest & (rest - 1); more != 0; more &= more - 1) {
    const auto at = static_cast<unsigned>(__builtin_ctz(more));
    const uint32_t entry = entryAt(at);
    if (entry >> 24 != 2) return 0;
    dst[at] = static_cast<uint8_t>(entry);
    dst[at + 1] = static_cast<uint8_t>(entry >> 8);
  }
  return 16 - (isLead >> 15);
}

// Folds src[0, length) by FoldBlock, the last partial block filled up with
// zeros, for as long as the blocks let it; returns the bytes taken, the same
// number as written.
__attribute__((target("sse4.1"))) size_t FoldBlocks(const uint8_t* src, size_t length, uint8_t* dst,
                                                    const uint8_t* changingTable, const uint32_t* twoByte) {
  const __m128i changingLow = _mm_load_si128(reinterpret_cast<const __m128i*>(changingTable));
  const __m128i changingHigh = _mm_load_si128(reinterpret_cast<const __m128i*>(changingTable + 16));
  size_t in = 0;
  while (length - in >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + in));
    const size_t taken = FoldBlock(v, dst + in, changingLow, changingHigh, twoByte);
    if (taken == 0) return in;
    in += taken;
  }
  const size_t n = length - in;
  if (n == 0) return in;
  __m128i v;
  if (length >= 16) {
    v = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + length - 16)),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(kShiftDown + 16 - n)));
  } else {
    alignas(16) uint8_t padded[16] = {};
    std::memcpy(padded, src + in, n);
    v = _mm_load_si128(reinterpret_cast<const __m128i*>(padded));
  }
  return FoldBlock(v, dst + in, changingLow, changingHigh, twoByte) >= n ? length : in;
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
  m_twoByte[0] = 2u << 24;  // the absent character of FoldBlock: two bytes, of no use
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
  if (kHasSse41) {
    for (;;) {
      const size_t taken = FoldBlocks(src + in, length - in, dst + out, m_changing, m_twoByte);
      in += taken;
      out += taken;
      if (in == length) return out;
      // A block of something else: a character at a time across it.
      out += FoldSerially(src, &in, std::min(in + 16, length), length, dst + out);
      if (in == length) return out;
    }
  }
#endif
  return FoldSerially(src, &in, length, length, dst);
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
