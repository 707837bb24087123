// Under a limit of the address space (ulimit -v) that the budget does not
// foresee, an index the system refuses memory answers that it has no room.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

#include "dedup/DuplicateIndex.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // the sanitizers map far more than any such limit
#else
constexpr bool kSanitized = false;
#endif

// Limits the address space to what is mapped now and `more` bytes, while it lives.
class CAddressSpaceLimit {
 public:
  explicit CAddressSpaceLimit(uint64_t more) {
    ::getrlimit(RLIMIT_AS, &m_saved);
    uint64_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    struct rlimit limit = m_saved;
    limit.rlim_cur = pages * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE)) + more;
    ::setrlimit(RLIMIT_AS, &limit);
  }
  ~CAddressSpaceLimit() { ::setrlimit(RLIMIT_AS, &m_saved); }
  CAddressSpaceLimit(const CAddressSpaceLimit&) = delete;
  CAddressSpaceLimit& operator=(const CAddressSpaceLimit&) = delete;

 private:
  struct rlimit m_saved {};
};

}  // namespace

TEST(AddressSpacePosix, RefusedMemoryLeavesTheIndexWithoutRoom) {
  if (kSanitized) GTEST_SKIP();
  CAddressSpaceLimit limit(size_t{16} << 20);
  CDuplicateIndex index;
  uint32_t kept = 0;
  for (; kept < (1u << 24); ++kept) {
    const LineVerdict verdict = index.TestAndAdd(LineFingerprint{kept * 2654435761u, kept, 0, 7});
    if (verdict == lineNoRoom) break;
    ASSERT_EQ(verdict, lineNew);
  }
  EXPECT_LT(kept, 1u << 24);
  for (uint32_t i = 0; i < kept; i += 997) EXPECT_TRUE(index.Contains(LineFingerprint{i * 2654435761u, i, 0, 7})) << i;
}
