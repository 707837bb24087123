// A small, fast, deterministic generator for benchmark data: the same seed
// always gives the same numbers, on every machine.
#pragma once

#include <cstdint>

struct SplitMix64 {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform enough for data generation.
  uint64_t Below(uint64_t n) { return Next() % n; }
};
