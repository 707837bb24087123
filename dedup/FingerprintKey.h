// The secret of a run's fingerprints, in the forms the two hash functions
// take it (see Fingerprints.h). It is drawn anew every run and never written
// anywhere, so that nobody can choose lines that collide.
#pragma once

#include <cstddef>
#include <cstdint>

struct FingerprintKey {
  static constexpr size_t kSecretBytes = 32;
  static constexpr size_t kPowers = 8;
  static constexpr size_t kRounds = 10;

  // The polynomial over GF(2^128) and AES-128 (x86-64 with carry-less
  // multiplication and AES instructions); else SipHash-2-4.
  bool fast = false;
  // H^1 to H^8, H the first 16 bytes of the secret: 128-bit numbers whose bit
  // i is the coefficient of x^i, low half first.
  alignas(16) uint64_t powers[kPowers][2] = {};
  // AES-128's round keys, expanded from the other 16 bytes of the secret.
  alignas(16) uint64_t roundKeys[kRounds + 1][2] = {};
  // SipHash's key: the first 16 bytes of the secret.
  uint8_t sipKey[16] = {};
};
