#include <gtest/gtest.h>

#include "dedup/Fingerprints.h"

TEST(Fingerprints, KnownValues) {
  EXPECT_EQ(HashLineKey("abc"), 0x0F779B62u);
  EXPECT_EQ(HashLineKey("ABC"), 0x61752542u);
  EXPECT_EQ(HashLineKey("\xE9"), 0xFFFFFFE9u);
  EXPECT_EQ(Crc32("abc", 3), 0x352441C2u);
  EXPECT_EQ(Crc32("", 0), 0u);
}
