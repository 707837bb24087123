// What a line is remembered by: 80 bits of a keyed hash of the compared text
// (the line, or its folded copy when case is ignored) and a code of its
// length. Two lines are equal when all 96 bits agree.
#pragma once

#include <cstdint>

struct LineFingerprint {
  uint32_t hashLow;     // bits 0-31 of the keyed hash of the compared text
  uint32_t hashMid;     // bits 32-63
  uint16_t hashHigh;    // bits 64-79
  uint16_t lengthCode;  // LengthCode(length of the compared text): never 0
  friend bool operator==(const LineFingerprint&, const LineFingerprint&) = default;
};
static_assert(sizeof(LineFingerprint) == 12, "a fingerprint is 96 bits without padding");

// length + 1 below 0xFFFE, else 0xFFFF: longer texts share the code, and the
// hash, which takes the whole length, tells them apart.
constexpr uint16_t LengthCode(uint64_t length) {
  return length + 1 < 0xFFFE ? static_cast<uint16_t>(length + 1) : uint16_t{0xFFFF};
}

// The fingerprint of a text of `length` bytes whose hash has bits 0-63 `low`
// and bits 64-79 `high`.
constexpr LineFingerprint MakeLineFingerprint(uint64_t low, uint64_t high, uint64_t length) {
  return {static_cast<uint32_t>(low), static_cast<uint32_t>(low >> 32), static_cast<uint16_t>(high),
          LengthCode(length)};
}

// A run that tells lines apart by their texts (--exact) remembers, in place
// of the hash bits beyond the top kLocatedHighBits of hashLow and beyond
// hashMid, where a line's text can be read again: its location, of 57 bits.
// Lines whose fingerprints agree in the bits kept are one only when their
// texts are.
constexpr int kLocatedHighBits = 6;
constexpr uint64_t kLocationLimit = uint64_t{1} << 57;

constexpr LineFingerprint WithLocation(const LineFingerprint& fingerprint, uint64_t location) {
  constexpr int kLowBits = 32 - kLocatedHighBits;
  return {(fingerprint.hashLow >> kLowBits << kLowBits) | static_cast<uint32_t>(location & ((1u << kLowBits) - 1)),
          fingerprint.hashMid, static_cast<uint16_t>(location >> kLowBits),
          static_cast<uint16_t>(0x8000 | location >> (kLowBits + 16))};  // never 0, a free slot's length code
}

constexpr uint64_t LocationOf(const LineFingerprint& located) {
  constexpr int kLowBits = 32 - kLocatedHighBits;
  return (located.hashLow & ((1u << kLowBits) - 1)) | uint64_t{located.hashHigh} << kLowBits |
         uint64_t{located.lengthCode & 0x7FFFu} << (kLowBits + 16);
}
