// The fast fingerprint written plainly from its definition, a bit or a byte
// at a time, for tests and fuzz targets to check the fast code against: the
// polynomial over GF(2^128) at the point H, the first 16 bytes of the secret,
// then AES-128 (FIPS-197) under the other 16.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "dedup/LineFingerprint.h"

namespace reference {

using Bytes16 = std::array<uint8_t, 16>;

// A secret of the tests' own, so that the reference can follow.
inline constexpr uint8_t kSecret[32] = {0x3d, 0x8a, 0x11, 0xf0, 0x52, 0x9b, 0xc4, 0x07, 0x6e, 0xa5, 0x19,
                                        0xd2, 0x80, 0x3f, 0x74, 0xeb, 0x2c, 0x91, 0x5a, 0x0d, 0xb6, 0x43,
                                        0xf8, 0x67, 0x1e, 0xc9, 0x35, 0xa0, 0x7b, 0x04, 0xdf, 0x58};

// Bit i of the 16 bytes, little-endian, is the coefficient of x^i; the
// product is taken modulo x^128 + x^7 + x^2 + x + 1.
inline Bytes16 Multiply(Bytes16 a, const Bytes16& b) {
  Bytes16 product{};
  for (int i = 0; i < 128; ++i) {
    for (int k = 0; k < 16 && (b[i / 8] >> (i % 8) & 1); ++k) product[k] ^= a[k];
    const bool carry = a[15] >> 7;
    for (int k = 15; k > 0; --k) a[k] = static_cast<uint8_t>(a[k] << 1 | a[k - 1] >> 7);
    a[0] = static_cast<uint8_t>(a[0] << 1 ^ (carry ? 0x87 : 0));
  }
  return product;
}

inline uint8_t Times2(uint8_t b) { return static_cast<uint8_t>(b << 1 ^ (b & 0x80 ? 0x1B : 0)); }

// AES's S-box from its definition: the inverse in GF(2^8) (by search), then the affine map.
inline uint8_t SBox(uint8_t x) {
  static const std::array<uint8_t, 256> box = [] {
    std::array<uint8_t, 256> s{};
    for (int a = 0; a < 256; ++a) {
      uint8_t inverse = 0;
      for (int b = 1; b < 256 && a != 0; ++b) {
        uint8_t product = 0;
        for (uint8_t f = static_cast<uint8_t>(a), g = static_cast<uint8_t>(b); g != 0; g >>= 1, f = Times2(f)) {
          product ^= (g & 1) ? f : 0;
        }
        if (product == 1) inverse = static_cast<uint8_t>(b);
      }
      s[a] = 0x63;
      for (int r = 0; r < 5; ++r) s[a] ^= static_cast<uint8_t>(inverse << r | inverse >> ((8 - r) % 8));
    }
    return s;
  }();
  return box[x];
}

inline Bytes16 Aes128(const uint8_t* key, Bytes16 state) {
  uint8_t w[176];
  for (int i = 0; i < 176; ++i) {
    const uint8_t rcon[] = {1, 2, 4, 8, 16, 32, 64, 128, 27, 54};
    w[i] = i < 16        ? key[i]
           : i % 16 >= 4 ? w[i - 16] ^ w[i - 4]
                         : w[i - 16] ^ SBox(w[i / 16 * 16 - 4 + (i + 1) % 4]) ^ (i % 16 == 0 ? rcon[i / 16 - 1] : 0);
  }
  for (int k = 0; k < 16; ++k) state[k] ^= w[k];
  for (int round = 1; round <= 10; ++round) {
    Bytes16 t;
    for (int k = 0; k < 16; ++k) t[k] = SBox(state[(k + 4 * (k % 4)) % 16]);  // SubBytes, ShiftRows
    for (int c = 0; round < 10 && c < 16; c += 4) {                           // MixColumns
      const uint8_t a[4] = {t[c], t[c + 1], t[c + 2], t[c + 3]};
      for (int r = 0; r < 4; ++r) t[c + r] = a[r] ^ a[0] ^ a[1] ^ a[2] ^ a[3] ^ Times2(a[r] ^ a[(r + 1) % 4]);
    }
    for (int k = 0; k < 16; ++k) state[k] = t[k] ^ w[16 * round + k];
  }
  return state;
}

// Y = n + B1 H^m + ... + Bm H, the last block padded with zeros; AES(Y).
inline LineFingerprint Fingerprint(const uint8_t (&secret)[32], std::string_view text) {
  Bytes16 h, y{};
  for (int k = 0; k < 16; ++k) h[k] = secret[k];
  for (size_t at = 0; at < text.size(); at += 16) {
    for (size_t k = 0; k < 16 && at + k < text.size(); ++k) y[k] ^= static_cast<uint8_t>(text[at + k]);
    y = Multiply(y, h);
  }
  for (int k = 0; k < 8; ++k) y[k] ^= static_cast<uint8_t>(uint64_t{text.size()} >> (8 * k));
  const Bytes16 out = Aes128(secret + 16, y);
  auto bytes = [&out](int at, int count) {
    uint32_t value = 0;
    for (int k = 0; k < count; ++k) value |= uint32_t{out[at + k]} << (8 * k);
    return value;
  };
  const size_t code = text.size() + 1 < 0xFFFE ? text.size() + 1 : 0xFFFF;
  return {bytes(0, 4), bytes(4, 4), static_cast<uint16_t>(bytes(8, 2)), static_cast<uint16_t>(code)};
}

}  // namespace reference
