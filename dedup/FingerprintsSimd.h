// The fingerprints' polynomial over GF(2^128) and AES-128 (x86-64 with
// SSE4.1, carry-less multiplication and AES instructions): the processor-
// specific code of Fingerprints.cpp. Elsewhere, or on a processor without
// them, HasFingerprintSimd() is false and nothing else may be called.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dedup/FingerprintKey.h"
#include "dedup/LineFingerprint.h"

bool HasFingerprintSimd();

// Fills key's powers of H and AES round keys from the secret's 32 bytes.
void ExpandFingerprintKeySimd(const uint8_t* secret, FingerprintKey* key);

// The fingerprint of p[0, length): of the bytes as they are, or with
// lowerAscii of the bytes folded from A-Z to a-z; then false at a byte above 0x7F.
bool FingerprintSimd(const FingerprintKey& key, const uint8_t* p, size_t length, bool lowerAscii,
                     LineFingerprint* fingerprint);

// A text taken a piece at a time: its polynomial so far (two 64-bit halves,
// zero at the start) carried over `blocks` whole blocks of 16 bytes.
void AddBlocksSimd(const FingerprintKey& key, uint64_t polynomial[2], const uint8_t* p, size_t blocks);
// Then its last 0 to 15 bytes and its whole length.
LineFingerprint FinishSimd(const FingerprintKey& key, const uint64_t polynomial[2], const uint8_t* tail,
                           size_t tailLength, uint64_t length);
