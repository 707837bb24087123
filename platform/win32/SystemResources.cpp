#include "platform/SystemResources.h"

#include <algorithm>

#include "platform/win32/WinApi.h"
// After windows.h, which it needs. GetProcessMemoryInfo is kernel32's
// K32GetProcessMemoryInfo from Windows 7 on: no other library.
#include <psapi.h>

// The physical memory free now and the address space left to the process
// (a 64-bit process has plenty, threads or not; a job object's limit shows
// in neither, and is not looked for).
uint64_t QueryAvailableMemory(unsigned /*threads*/) {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!::GlobalMemoryStatusEx(&status)) return UINT64_MAX;
  return std::min<uint64_t>(status.ullAvailPhys, status.ullAvailVirtual);
}

// The system's folder for temporary files (TMP, TEMP, USERPROFILE or the
// Windows folder, as GetTempPathW looks for them).
std::string DefaultTempDir() {
  wchar_t path[MAX_PATH + 1];
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, path);
  if (n == 0 || n > MAX_PATH) return ".";
  return NarrowToUtf8(path, n);
}

uint32_t QueryUsableProcessors() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  uint32_t count = 0;
  if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system)) {
    for (; process != 0; process &= process - 1) ++count;
  }
  return count > 0 ? count : 1;
}

uint64_t QueryPeakMemory() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.PeakWorkingSetSize;
}
