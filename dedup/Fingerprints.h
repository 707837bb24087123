// The fingerprint of a text: 80 bits of a hash keyed with a secret drawn at
// start-up, and a code of the text's length (see LineFingerprint.h).
//
// On x86-64 with carry-less multiplication and AES instructions the hash is
// a polynomial over GF(2^128) at a secret point, the length its constant
// term, encrypted with AES-128 under a second secret key (FingerprintBlocks.h).
// Elsewhere it is SipHash-2-4 with a 128-bit result. Either way, two texts
// chosen without knowledge of the secret share all 80 bits with a chance of
// about 2^-80; one run uses one function for every line.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dedup/FingerprintKey.h"
#include "dedup/LineFingerprint.h"
#include "dedup/SipHash.h"

// The key of this process, drawn from the system's random source at the
// first call. Throws std::runtime_error, naming the source and the reason,
// when the system has none.
const FingerprintKey& ProcessFingerprintKey();
// A new key from the system's random source, throwing as above.
FingerprintKey DrawFingerprintKey();
// The key made from a given secret; fast asks for the polynomial and AES,
// which the key uses only where the processor has what they need.
FingerprintKey MakeFingerprintKey(const uint8_t (&secret)[FingerprintKey::kSecretBytes], bool fast);

LineFingerprint FingerprintOf(const FingerprintKey& key, const char* text, size_t length);

// The same over the text lower-cased from A-Z to a-z, without a copy; false
// (and nothing computed) when the text holds a byte above 0x7F or the key is
// not the fast one, and the caller folds the text itself.
bool FingerprintOfAsciiLowerCase(const FingerprintKey& key, const char* text, size_t length,
                                 LineFingerprint* fingerprint);

// The fingerprint of a text handed over a piece at a time (a long line folded
// a piece at a time): the same as FingerprintOf of the pieces joined.
class CFingerprintStream {
 public:
  explicit CFingerprintStream(const FingerprintKey& key);

  void Add(const char* bytes, size_t count);
  LineFingerprint Finish();

 private:
  static constexpr size_t kBlock = 16;

  void AddBlocks(const uint8_t* bytes, size_t blocks);

  const FingerprintKey& m_key;
  CSipHash128 m_sipHash;
  alignas(16) uint64_t m_polynomial[2] = {};
  uint8_t m_pending[kBlock] = {};  // the bytes after the last whole block
  size_t m_nPending = 0;
  uint64_t m_nLength = 0;
};
