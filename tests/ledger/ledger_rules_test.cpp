#include "ledger/ledger_rules.h"

#include <gtest/gtest.h>

namespace srom {
namespace {

// A line pool is used up once its next value lies past its last one; at the
// top of the MAC space that next value has a thirteenth digit, which must
// not be read as an address inside the pool.
TEST(PoolUsedUpTest, OnlyOnceTheNextValueLiesPastTheLast) {
  const struct {
    const char* last;
    const char* next;
    bool used_up;
  } cases[] = {
      {"000000000018", "000000000016", false},
      {"000000000018", "000000000018", false},
      {"000000000018", "00000000001A", true},
      {"FFFFFFFFFFFF", "FFFFFFFFFFFF", false},
      {"FFFFFFFFFFFF", "1000000000000", true},
  };
  for (const auto& c : cases) {
    const PoolState pool{"line1", "000000000010", c.last, 2, c.next};
    EXPECT_EQ(ledger_rules::PoolUsedUp(pool), c.used_up)
        << c.next << " of a pool ending at " << c.last;
  }
}

}  // namespace
}  // namespace srom
