// The fast fingerprint written plainly from its definition, a bit or a byte
// at a time, for tests and fuzz targets to check the fast code against: the
// polynomial over GF(2^128) at the point H, the first 16 bytes of the secret,
// then AES-128 under the other 16.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dedup/LineFingerprint.h"

namespace reference {

using Bytes16 = std::array<uint8_t, 16>;

// Bit i of the 128 is the coefficient of x^i: byte k holds x^(8k) to x^(8k+7).
struct Element {
  uint64_t low = 0, high = 0;
};

inline Element ElementOf(const uint8_t* bytes, size_t count) {
  Element e;
  for (size_t k = 0; k < count; ++k) (k < 8 ? e.low : e.high) |= uint64_t{bytes[k]} << (8 * (k % 8));
  return e;
}

// Modulo x^128 + x^7 + x^2 + x + 1.
inline Element Multiply(Element a, Element b) {
  Element product;
  for (int i = 0; i < 128; ++i) {
    if (((i < 64 ? b.low : b.high) >> (i % 64)) & 1) {
      product.low ^= a.low;
      product.high ^= a.high;
    }
    const bool carry = (a.high >> 63) != 0;
    a.high = a.high << 1 | a.low >> 63;
    a.low = a.low << 1 ^ (carry ? 0x87 : 0);
  }
  return product;
}

inline uint8_t Times2(uint8_t b) { return static_cast<uint8_t>(b << 1 ^ (b & 0x80 ? 0x1B : 0)); }
inline uint8_t RotateLeft(uint8_t b, int n) { return static_cast<uint8_t>(b << n | b >> (8 - n)); }

// AES's S-box: the inverse in GF(2^8), walked by powers of 3, then the affine map.
inline const std::array<uint8_t, 256>& SBox() {
  static const std::array<uint8_t, 256> box = [] {
    std::array<uint8_t, 256> s{};
    uint8_t p = 1;
    uint8_t q = 1;
    do {
      p = static_cast<uint8_t>(p ^ Times2(p));
      q = static_cast<uint8_t>(q ^ q << 1);
      q = static_cast<uint8_t>(q ^ q << 2);
      q = static_cast<uint8_t>(q ^ q << 4);
      q = static_cast<uint8_t>(q ^ (q & 0x80 ? 0x09 : 0));
      s[p] = q ^ RotateLeft(q, 1) ^ RotateLeft(q, 2) ^ RotateLeft(q, 3) ^ RotateLeft(q, 4) ^ 0x63;
    } while (p != 1);
    s[0] = 0x63;
    return s;
  }();
  return box;
}

// AES-128 (FIPS-197) of one block.
inline Bytes16 Aes128(const uint8_t* key, Bytes16 state) {
  const std::array<uint8_t, 256>& s = SBox();
  uint8_t w[176];
  for (int k = 0; k < 16; ++k) w[k] = key[k];
  uint8_t rcon = 1;
  for (int i = 16; i < 176; i += 4) {
    uint8_t t[4] = {w[i - 4], w[i - 3], w[i - 2], w[i - 1]};
    if (i % 16 == 0) {
      const uint8_t first = t[0];
      t[0] = s[t[1]] ^ rcon;
      t[1] = s[t[2]];
      t[2] = s[t[3]];
      t[3] = s[first];
      rcon = Times2(rcon);
    }
    for (int k = 0; k < 4; ++k) w[i + k] = w[i - 16 + k] ^ t[k];
  }
  for (int k = 0; k < 16; ++k) state[k] ^= w[k];
  for (int round = 1; round <= 10; ++round) {
    Bytes16 t;
    for (int k = 0; k < 16; ++k) t[k] = s[state[(k + 4 * (k % 4)) % 16]];  // SubBytes, ShiftRows
    for (int c = 0; round < 10 && c < 16; c += 4) {                        // MixColumns
      const uint8_t a[4] = {t[c], t[c + 1], t[c + 2], t[c + 3]};
      const uint8_t all = a[0] ^ a[1] ^ a[2] ^ a[3];
      for (int r = 0; r < 4; ++r) t[c + r] = a[r] ^ all ^ Times2(a[r] ^ a[(r + 1) % 4]);
    }
    for (int k = 0; k < 16; ++k) state[k] = t[k] ^ w[16 * round + k];
  }
  return state;
}

// Y = B1 H^m + ... + Bm H + n, the last block padded with zeros; AES(Y).
inline LineFingerprint Fingerprint(const uint8_t (&secret)[32], std::string_view text) {
  const Element h = ElementOf(secret, 16);
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  Element y;
  for (size_t at = 0; at < text.size(); at += 16) {
    const Element b = ElementOf(bytes + at, text.size() - at < 16 ? text.size() - at : 16);
    y = Multiply({y.low ^ b.low, y.high ^ b.high}, h);
  }
  y.low ^= text.size();
  Bytes16 in;
  for (int k = 0; k < 16; ++k) in[k] = static_cast<uint8_t>((k < 8 ? y.low : y.high) >> (8 * (k % 8)));
  const Bytes16 out = Aes128(secret + 16, in);
  auto word = [&out](int at, int count) {
    uint32_t value = 0;
    for (int k = 0; k < count; ++k) value |= uint32_t{out[at + k]} << (8 * k);
    return value;
  };
  const uint16_t lengthCode = text.size() + 1 < 0xFFFE ? static_cast<uint16_t>(text.size() + 1) : 0xFFFF;
  return {word(0, 4), word(4, 4), static_cast<uint16_t>(word(8, 2)), lengthCode};
}

}  // namespace reference
