// The system's random source, for secrets that input must not be able to
// guess.
#pragma once

#include <cstddef>
#include <string>

// Fills buffer with size random bytes: getrandom(), or /dev/urandom where the
// kernel or a sandbox refuses that call; RtlGenRandom on Windows. False, with
// *reason naming the source and the system's reason, when there is none;
// there is no weaker fallback.
bool DrawRandomBytes(void* buffer, size_t size, std::string* reason);
