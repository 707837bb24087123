#include "platform/SystemResources.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// The first number in a file, such as memory.max, or UINT64_MAX when the file
// is missing or holds none ("max").
uint64_t ReadNumber(const std::string& path) {
  std::ifstream in(path);
  uint64_t value = 0;
  if (in >> value) return value;
  return UINT64_MAX;
}

// Calls visit(folder, v2) for the folder of every control group the process
// is in for the controller (cgroup v2, "0::/path" in /proc/self/cgroup, or
// v1, "N:controllers:/path" under the v1 mount given) and of every group
// above it: a group's limit binds everything below it.
template <typename Visit>
void ForEachControlGroup(const char* controller, const std::string& v1Mount, Visit visit) {
  std::ifstream in("/proc/self/cgroup");
  std::string line;
  while (std::getline(in, line)) {
    const size_t first = line.find(':');
    const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
    if (second == std::string::npos) continue;
    const bool v2 = second == first + 1;
    bool listed = v2;
    std::istringstream controllers(line.substr(first + 1, second - first - 1));
    for (std::string name; !listed && std::getline(controllers, name, ',');) listed = name == controller;
    if (!listed) continue;
    for (std::string group = line.substr(second + 1);;) {
      visit((v2 ? std::string("/sys/fs/cgroup") : v1Mount) + group, v2);
      if (group.empty() || group == "/") break;
      const size_t slash = group.rfind('/');
      group.resize(slash == std::string::npos ? 0 : slash);
    }
  }
}

// The least memory limit of the process's control groups.
uint64_t ControlGroupLimit() {
  uint64_t least = UINT64_MAX;
  ForEachControlGroup("memory", "/sys/fs/cgroup/memory", [&least](const std::string& dir, bool v2) {
    least = std::min(least, ReadNumber(dir + (v2 ? "/memory.max" : "/memory.limit_in_bytes")));
  });
  // Version 1 writes "no limit" as a huge number rather than "max".
  return least >= (uint64_t{1} << 62) ? UINT64_MAX : least;
}

// The processors a group's quota allows: quota / period time, rounded up.
// UINT32_MAX when there is no quota.
uint32_t QuotaProcessors(uint64_t quota, uint64_t period) {
  if (quota == UINT64_MAX || period == 0 || period == UINT64_MAX || quota == 0) return UINT32_MAX;
  return static_cast<uint32_t>(std::min<uint64_t>((quota + period - 1) / period, UINT32_MAX));
}

// The least CPU quota of the process's control groups ("max", or -1 in
// version 1, for none).
uint32_t ControlGroupProcessors() {
  uint32_t least = UINT32_MAX;
  ForEachControlGroup("cpu", "/sys/fs/cgroup/cpu,cpuacct", [&least](const std::string& dir, bool v2) {
    if (v2) {
      std::ifstream max(dir + "/cpu.max");
      std::string quota;
      uint64_t period = 0;
      if (max >> quota >> period && quota != "max")
        least = std::min(least, QuotaProcessors(std::stoull(quota), period));
    } else {
      least = std::min(least,
                       QuotaProcessors(ReadNumber(dir + "/cpu.cfs_quota_us"), ReadNumber(dir + "/cpu.cfs_period_us")));
    }
  });
  return least;
}

uint64_t MemAvailable() {
  std::ifstream in("/proc/meminfo");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("MemAvailable:", 0) == 0) {
      std::istringstream fields(line.substr(13));
      uint64_t kib = 0;
      if (fields >> kib) return kib * 1024;
    }
  }
  return UINT64_MAX;
}

// The address space a thread maps when it starts: its stack, and the arena
// glibc's allocator reserves for it on its first allocation (HEAP_MAX_SIZE,
// 64 MiB on 64-bit systems), both whole whatever they hold. Measured: a run's
// reading thread adds 73 MiB to the address space.
uint64_t ThreadAddressSpace() {
  size_t stack = size_t{8} << 20;
#if defined(__GLIBC__)
  pthread_attr_t attributes;
  if (::pthread_getattr_default_np(&attributes) == 0) {
    ::pthread_attr_getstacksize(&attributes, &stack);
    ::pthread_attr_destroy(&attributes);
  }
  constexpr uint64_t kArena = uint64_t{2} * 4 * 1024 * 1024 * sizeof(long);
#else
  constexpr uint64_t kArena = 0;
#endif
  return stack + kArena;
}

// The address space a limit (ulimit -v) leaves beside what is mapped now
// (the program, its libraries and their data) and what the threads still to
// start will map.
uint64_t AddressSpaceLeft(unsigned threads) {
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return UINT64_MAX;
  std::ifstream in("/proc/self/statm");
  uint64_t pages = 0;
  if (!(in >> pages)) return UINT64_MAX;
  const uint64_t used = pages * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE)) + threads * ThreadAddressSpace();
  return limit.rlim_cur > used ? limit.rlim_cur - used : 0;
}

}  // namespace

uint64_t QueryAvailableMemory(unsigned threads) {
  return std::min({MemAvailable(), ControlGroupLimit(), AddressSpaceLeft(threads)});
}

std::string DefaultTempDir() {
  const char* dir = std::getenv("TMPDIR");
  return dir && *dir ? dir : "/tmp";
}

uint32_t QueryUsableProcessors() {
  uint32_t count = 0;
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) count = static_cast<uint32_t>(CPU_COUNT(&set));
  if (count == 0) {
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    count = online > 0 ? static_cast<uint32_t>(online) : 1;
  }
  try {
    count = std::min(count, ControlGroupProcessors());
  } catch (const std::exception&) {
    // A quota that does not read as a number limits nothing.
  }
  return std::max<uint32_t>(count, 1);
}

uint64_t QueryPeakMemory() {
  struct rusage usage {};
  if (::getrusage(RUSAGE_SELF, &usage) != 0 || usage.ru_maxrss < 0) return 0;
  return static_cast<uint64_t>(usage.ru_maxrss) * 1024;  // Linux counts KiB
}
