// The map on its own, past the sizes where growing gives the old table back
// a huge page at a time.
#include <gtest/gtest.h>

#include "dedup/FingerprintMap.h"

namespace {

uint32_t KeyOf(uint32_t i) { return i * 2654435761u + 12345u; }  // distinct for distinct i

TEST(FingerprintMap, EveryKeyKeepsItsHeadThroughGrowth) {
  constexpr uint32_t kKeys = 600000;
  CFingerprintMap map;
  for (uint32_t i = 0; i < kKeys; ++i) {
    ASSERT_EQ(map.Find(KeyOf(i)), nullptr) << i;
    map.AddKey(KeyOf(i), i);
  }
  EXPECT_EQ(map.Entries(), kKeys);
  EXPECT_GT(map.Buckets(), kKeys) << "no more than three quarters full";
  for (uint32_t i = 0; i < kKeys; ++i) {
    FingerprintAssoc* entry = map.Find(KeyOf(i));
    ASSERT_NE(entry, nullptr) << i;
    ASSERT_EQ(entry->Head(), i);
  }
  map.Find(KeyOf(7))->SetHead(0);  // a new head stays where it is
  EXPECT_EQ(map.Find(KeyOf(7))->Head(), 0u);
  EXPECT_EQ(map.Find(KeyOf(kKeys)), nullptr);
}

TEST(FingerprintMap, KeyZeroAndRecordZeroAreOrdinary) {
  CFingerprintMap map;
  EXPECT_EQ(map.Find(0), nullptr);
  map.AddKey(0, 0);
  ASSERT_NE(map.Find(0), nullptr);
  EXPECT_EQ(map.Find(0)->Head(), 0u);
  EXPECT_EQ(map.Find(1), nullptr);
}

}  // namespace
