// The fingerprints sixteen bytes at a time (x86-64 with SSE4.1 and
// carry-less multiplication): the processor-specific code of Fingerprints.cpp.
// Elsewhere, or on a processor without them, HasFingerprintSimd() is false and
// nothing else may be called.
#pragma once

#include <cstddef>
#include <cstdint>

bool HasFingerprintSimd();

// Both fingerprints of p[0, length), length 16 or more: of the bytes as they
// are, or with lowerAscii of the bytes folded from A-Z to a-z; then false at a
// byte above 0x7F.
bool KeyAndCrc32Simd(const unsigned char* p, size_t length, bool lowerAscii, uint32_t* key, uint32_t* crc);

// The CRC-32 alone, of 16 bytes or more.
uint32_t Crc32Simd(const unsigned char* p, size_t count);
