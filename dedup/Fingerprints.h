// The fingerprints of a line: its 32-bit key and its CRC-32.
#pragma once

#include <cstddef>
#include <cstdint>

// h = h * 9551 + byte for every byte, the byte taken as a signed 8-bit value,
// modulo 2^32. The text holds no NUL: for NUL-terminated text pass strlen().
uint32_t HashLineKey(const char* text, size_t length);
uint32_t HashLineKey(const char* text);

// The standard CRC-32 (reflected, polynomial 0xEDB88320) of count bytes.
uint32_t Crc32(const void* bytes, size_t count);

// Both of the above in one pass over the bytes.
struct LineKeyAndCrc {
  uint32_t key;
  uint32_t crc;
};
LineKeyAndCrc KeyAndCrc32(const char* text, size_t length);

// Both of a text made of two parts, from those of each part and the length of
// the second (a few hundred thousand bytes at most: the CRC takes a z_off_t).
LineKeyAndCrc CombineKeyAndCrc(LineKeyAndCrc first, LineKeyAndCrc second, size_t secondLength);

// The same over the line lower-cased from A-Z to a-z, without a copy; false
// (and nothing computed) when the line holds a byte above 0x7F or the
// processor lacks what this needs, and the caller folds the line itself.
bool KeyAndCrc32OfAsciiLowerCase(const char* text, size_t length, LineKeyAndCrc* result);
