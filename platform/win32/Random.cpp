#include "platform/Random.h"

#include "platform/win32/WinApi.h"
// After <windows.h>, whose types it uses: RtlGenRandom, in ADVAPI32.
#include <ntsecapi.h>

bool DrawRandomBytes(void* buffer, size_t size, std::string* reason) {
  auto* out = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    const ULONG n = size < 0x10000 ? static_cast<ULONG>(size) : 0x10000;
    if (!RtlGenRandom(out, n)) {
      *reason = "the system's random source (RtlGenRandom) failed";
      return false;
    }
    out += n;
    size -= n;
  }
  return true;
}
