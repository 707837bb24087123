// The two fingerprints written straight from their definitions, a byte at a
// time, for tests and fuzz targets to check the fast code against.
#pragma once

#include <cstdint>
#include <string_view>

// The line key: h = h * 9551 + the byte taken as signed, modulo 2^32.
inline uint32_t ReferenceKey(std::string_view text) {
  uint32_t h = 0;
  for (char c : text) h = h * 9551u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
  return h;
}

// CRC-32 bit by bit: reflected, polynomial 0xEDB88320.
inline uint32_t ReferenceCrc32(std::string_view bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (char c : bytes) {
    crc ^= static_cast<uint8_t>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return ~crc;
}
