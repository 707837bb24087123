// SipHash-2-4 with a 128-bit result (Aumasson and Bernstein), taken a piece
// at a time: the fingerprints' keyed hash on processors without carry-less
// multiplication and AES instructions.
#pragma once

#include <cstddef>
#include <cstdint>

class CSipHash128 {
 public:
  // key: 16 bytes.
  explicit CSipHash128(const uint8_t* key);

  // Takes `words` 8-byte words, little-endian.
  void AddWords(const uint8_t* bytes, size_t words);
  // Takes the text's last 0 to 7 bytes and its whole length (of which the
  // function keeps the low byte), and gives the result, bits 0-63 in out[0].
  void Finish(const uint8_t* tail, size_t tailLength, uint64_t length, uint64_t out[2]);

 private:
  void Round();
  void Compress(uint64_t word);

  uint64_t m_v0, m_v1, m_v2, m_v3;
};
