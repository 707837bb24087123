#include "dedup/Fingerprints.h"

#include <zlib.h>

#include <cstring>

namespace {

constexpr uint32_t kP1 = 9551u;
constexpr uint32_t kP2 = kP1 * kP1;
constexpr uint32_t kP3 = kP2 * kP1;
constexpr uint32_t kP4 = kP3 * kP1;

inline uint32_t Signed(char byte) { return static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(byte))); }

}  // namespace

uint32_t HashLineKey(const char* text, size_t length) {
  // Four bytes a step: h*P^4 + b0*P^3 + b1*P^2 + b2*P + b3 is the same value as
  // four single steps, with one multiply on the dependency chain instead of four.
  uint32_t h = 0;
  size_t i = 0;
  for (; i + 4 <= length; i += 4) {
    h = h * kP4 + Signed(text[i]) * kP3 + Signed(text[i + 1]) * kP2 + Signed(text[i + 2]) * kP1 + Signed(text[i + 3]);
  }
  for (; i < length; ++i) h = h * kP1 + Signed(text[i]);
  return h;
}

uint32_t HashLineKey(const char* text) { return HashLineKey(text, std::strlen(text)); }

uint32_t Crc32(const void* bytes, size_t count) {
  // zlib's crc32 computes the same values as the byte-wise table method, several times faster.
  return static_cast<uint32_t>(crc32_z(0L, static_cast<const Bytef*>(bytes), count));
}
