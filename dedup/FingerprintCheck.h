// Four bytes drawn from all of a line's fingerprints, whatever fields they
// have: the second reading of a run that set lines aside compares them with
// the first reading's, to find a source that changed in between.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "dedup/LineFingerprinter.h"

inline uint32_t FingerprintCheck(const LineFingerprint& fingerprint) {
  static_assert(std::has_unique_object_representations_v<LineFingerprint>, "every byte is the value's, none padding");
  static_assert(sizeof(LineFingerprint) % 4 == 0, "taken four bytes at a time");
  unsigned char bytes[sizeof(LineFingerprint)];
  std::memcpy(bytes, &fingerprint, sizeof bytes);
  uint64_t h = 0;
  for (size_t i = 0; i < sizeof bytes; i += 4) {
    uint32_t word;
    std::memcpy(&word, bytes + i, 4);
    h = (h ^ word) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
  }
  return static_cast<uint32_t>(h >> 32);
}
