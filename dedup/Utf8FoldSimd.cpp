#include "dedup/Utf8FoldSimd.h"

#if defined(__x86_64__)
#include <array>
#include <cstring>

#include "dedup/FingerprintBlocks.h"

namespace {

const bool kHasSimd = __builtin_cpu_supports("sse4.1");

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
  __m128i foldingLeads3;
};

__attribute__((target("sse4.1"))) inline WindowTables TablesOf(const Utf8FoldGroups& groups) {
  const uint8_t* changing = groups.changing;
  const uint8_t* shifted = groups.shifted;
  const uint8_t* shiftedButLast = groups.shiftedButLast;
  const uint32_t* twoByte = groups.twoByte;
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
          twoByte,
          load(groups.foldingLeads3)};
}

// True when nothing but A-Z can change in the sixteen bytes at text + at:
// they hold no lead byte of two or four, no lead byte of three that may fold
// (m_foldingLeads3), and no character that folds runs into them from before.
// Continuation bytes then belong to characters that stay, or to none.
__attribute__((target("sse4.1"), always_inline)) inline bool OnlyAtoZFolds(const uint8_t* text, size_t at, __m128i v,
                                                                           const WindowTables& t) {
  // Such lead bytes, found among sixteen bytes.
  auto refused = [&t](__m128i bytes) __attribute__((target("sse4.1"), always_inline)) {
    const __m128i high4 = _mm_and_si128(_mm_srli_epi16(bytes, 4), _mm_set1_epi8(0x0F));
    // High nibbles C, D and F: leads of two and four bytes.
    const __m128i otherLeads =
        _mm_shuffle_epi8(_mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1, -1, 0, -1), high4);
    const __m128i foldingLeads3 =
        _mm_and_si128(_mm_cmpeq_epi8(high4, _mm_set1_epi8(0x0E)),
                      _mm_shuffle_epi8(t.foldingLeads3, _mm_and_si128(bytes, _mm_set1_epi8(0x0F))));
    return _mm_or_si128(otherLeads, foldingLeads3);
  };
  // The three bytes before are held to the same rule, which is stricter than
  // they need (a lead of two two bytes back is harmless), but rare.
  const __m128i before = at >= 3 ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at - 3))
                                 : _mm_slli_si128(v, 3);  // at 0 nothing comes before
  if (at > 0 && at < 3) return false;
  const __m128i any = _mm_or_si128(refused(v), refused(before));
  return _mm_testz_si128(any, any) != 0;
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
  // A-Z: v + 63 wraps to -128 to -103.
  const __m128i upper = _mm_cmplt_epi8(_mm_add_epi8(v, _mm_set1_epi8(63)), _mm_set1_epi8(-102));
  __m128i out = _mm_or_si128(v, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
  if ((ascii | trail | whole) != 0xFFFF) {
    // Not ASCII and two-byte characters alone: perhaps characters of three
    // bytes that stay as they are, where only A-Z change.
    if (!OnlyAtoZFolds(text, at, v, t)) return false;
    *folded = out;
    return true;
  }

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

// The fingerprint of text[0, length) folded by FoldWindow, without a copy.
__attribute__((target("sse4.1,pclmul,aes"))) bool FoldedHash(const uint8_t* text, size_t length, const WindowTables& t,
                                                             const FingerprintKey& key, LineFingerprint* fingerprint) {
  __m128i y;
  if (length < 16) {
    // One window over a copy padded with zeros, which end no character.
    alignas(16) uint8_t padded[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(padded), fingerprint_blocks::ShortBlock(text, length));
    __m128i v;
    if (!FoldWindow(padded, 16, 0, t, &v)) return false;
    const __m128i inText = _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(length)),
                                          _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
    y = fingerprint_blocks::Multiply(_mm_and_si128(v, inText), fingerprint_blocks::Power(key, 1));
  } else {
    auto load = [&](size_t at, __m128i * v) __attribute__((target("sse4.1"), always_inline)) {
      return FoldWindow(text, length, at, t, v);
    };
    if (!fingerprint_blocks::PolynomialOfBlocks<false>(length, key, load, &y)) return false;
  }
  *fingerprint = fingerprint_blocks::Finish(key, y, length);
  return true;
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
}  // namespace

bool HasUtf8FoldSimd() { return kHasSimd; }

__attribute__((target("sse4.1"))) size_t FoldWindowsSimd(const uint8_t* text, size_t length, uint8_t* dst,
                                                         const Utf8FoldGroups& groups) {
  return FoldWindows(text, length, dst, TablesOf(groups));
}

__attribute__((target("sse4.1,pclmul,aes"))) bool FoldedHashSimd(const uint8_t* text, size_t length,
                                                                 const Utf8FoldGroups& groups,
                                                                 const FingerprintKey& key,
                                                                 LineFingerprint* fingerprint) {
  return FoldedHash(text, length, TablesOf(groups), key, fingerprint);
}

#else

bool HasUtf8FoldSimd() { return false; }
size_t FoldWindowsSimd(const uint8_t*, size_t, uint8_t*, const Utf8FoldGroups&) { return 0; }
bool FoldedHashSimd(const uint8_t*, size_t, const Utf8FoldGroups&, const FingerprintKey&, LineFingerprint*) {
  return false;
}

#endif
