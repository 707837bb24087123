// What the system offers a run: memory, and a folder for temporary files.
#pragma once

#include <cstdint>
#include <string>

// The least of the physical memory available now, the memory limit of the
// process's control group or any group above it (cgroup v2 memory.max, v1
// memory.limit_in_bytes) and the address space its resource limit leaves
// once `threads` more threads have started, each mapping a stack and an
// allocator arena; on Windows, of the physical memory available and the
// address space left. UINT64_MAX when none of them can be told.
uint64_t QueryAvailableMemory(unsigned threads);

// The most memory the process has held at once so far, in bytes (its peak
// resident set; on Windows its peak working set); 0 when it cannot be told.
uint64_t QueryPeakMemory();

// The folder for temporary files: $TMPDIR when it is set, else /tmp; on
// Windows the system's (GetTempPathW).
std::string DefaultTempDir();

// Where DefaultTempDir looks, in the words of --help.
#if defined(_WIN32)
inline constexpr char kDefaultTempDirSource[] = "%TMP%, else %TEMP%, else %USERPROFILE%";
#else
inline constexpr char kDefaultTempDirSource[] = "$TMPDIR, else /tmp";
#endif

// The processors the process may use: those its affinity mask allows, fewer
// when a control group's CPU quota (cgroup v2 cpu.max, v1
// cpu.cfs_quota_us) allows less time than that; at least 1.
uint32_t QueryUsableProcessors();
