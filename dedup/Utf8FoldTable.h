// Unicode's default full case folding (what ICU's u_strFoldCase does with
// U_FOLD_CASE_DEFAULT) of UTF-8 text, by a table over code points built once
// from the system layer's folding data (ICU's; on Windows a table made from
// ICU's). A call into ICU per character made the default mode take 4.5 to 7
// times as long as /c on Cyrillic or accented Latin text. Lines of ASCII
// and two-byte characters, nearly all Latin, Greek and Cyrillic text, are
// folded sixteen bytes at a time in a register, and their fingerprints taken
// on the way, without a folded copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dedup/FingerprintKey.h"
#include "dedup/LineFingerprint.h"
#include "dedup/Utf8FoldSimd.h"

class CUtf8FoldTable {
 public:
  // Folding makes text at most this many times longer: U+0390 (two bytes)
  // folds to three characters of two bytes each.
  static constexpr size_t kMaxGrowth = 3;

  // The table of this process, built at first use (about 2 ms).
  static const CUtf8FoldTable& Get();

  // The room Fold needs for length bytes: the longest folded form.
  static size_t Room(size_t length) { return kMaxGrowth * length; }

  // Writes the folded form of src[0, length) to dst, which has Room(length)
  // bytes, and returns its length. Bytes that are not well-formed UTF-8 are
  // copied as they are.
  size_t Fold(const uint8_t* src, size_t length, uint8_t* dst) const;

  // The fingerprint of the folded form of text[0, length) without making it,
  // for a line the windows of FoldWindowsSimd fold whole (ASCII with two-byte
  // characters whose folded forms are two bytes, as are nearly all lines of
  // Latin, Greek and Cyrillic text, or with three-byte characters that do not
  // fold; the folded form then has the line's length); false, and nothing
  // computed, for any other line, or where the processor or the key is not
  // the fast one.
  bool HashOfFolded(const char* text, size_t length, const FingerprintKey& key, LineFingerprint* fingerprint) const;

 private:
  // A character whose folded form does not fit an entry: up to three
  // characters of up to four bytes.
  struct Expansion {
    uint8_t length;
    uint8_t bytes[12];
  };

  CUtf8FoldTable();
  uint32_t Lookup(int32_t c) const { return m_stage2[size_t{m_stage1[static_cast<uint32_t>(c) >> 6]} << 6 | (c & 63)]; }
  size_t Put(uint32_t entry, uint8_t* out) const;
  Utf8FoldGroups Groups() const { return {m_changing, m_shifted, m_shiftedButLast, m_twoByte, m_foldingLeads3}; }
  // Folds src[in, length) a character at a time; returns the bytes written.
  size_t FoldSerially(const uint8_t* src, size_t in, size_t length, uint8_t* dst) const;

  // An entry is 0 when the character folds to itself; otherwise the bytes of
  // its folded form, first byte lowest, with their count (1 to 3) in the top
  // byte, or kExpansion in the top byte and an index into m_expansions below.
  // Stage 1, indexed by code point >> 6, picks a block of 64 entries in stage 2;
  // the blocks of characters that all fold to themselves share block 0.
  std::vector<uint16_t> m_stage1;
  std::vector<uint32_t> m_stage2;
  std::vector<Expansion> m_expansions;
  // The entries of U+0080 to U+07FF, the two-byte characters of the Latin,
  // Greek and Cyrillic scripts, indexed by the code point and never 0 (those
  // that fold to themselves hold their own two bytes): one lookup and no
  // decoding step for the commonest case.
  alignas(16) uint32_t m_twoByte[0x800] = {};
  // For the lead bytes C0 to DF, bit g of m_changing[lead & 0x1F] is set when a
  // character of trail bytes 80 + 8g to 87 + 8g folds to another: sixteen
  // bytes in a register are looked up a character at a time only at those.
  alignas(16) uint8_t m_changing[32] = {};
  // The same for the groups of capitals whose small letter lies 0x20 code
  // points above, still two bytes (Cyrillic А-Я, Latin À-Ï, Greek Θ-Ο): folded
  // in the register without a look-up.
  alignas(16) uint8_t m_shifted[32] = {};
  // And those where all but the last do (Latin Ð-Ö before ×, Ø-Þ before ß).
  alignas(16) uint8_t m_shiftedButLast[32] = {};
  // For the lead bytes E0 to EF, m_foldingLeads3[lead & 0x0F] is 0xFF when a
  // character of three bytes with that lead folds: text in the others (CJK,
  // Indic scripts, most symbols) changes only in its A-Z.
  alignas(16) uint8_t m_foldingLeads3[16] = {};
};
