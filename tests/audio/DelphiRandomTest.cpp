// The shuffle's generator: the same seed gives the same draws, and a draw never reaches
// its bound, whatever the bound.
#include <gtest/gtest.h>

#include "audio/DelphiRandom.h"

namespace vuvedid::test {
namespace {

TEST(DelphiRandom, DrawsStayBelowTheirBoundAndRepeatFromTheSameSeed) {
  struct Case {
    std::uint32_t seed, n;
    std::uint32_t first;  // worked by hand: ((seed * 134775813 + 1) mod 2^32) * n >> 32
  };
  const Case cases[] = {{0, 10, 0}, {1, 3, 0}, {7, 4, 0}, {1, 0xFFFFFFFFu, 134775813u}, {5, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seed);
    DelphiRandom a(c.seed), b(c.seed);
    EXPECT_EQ(a.next(c.n), c.first);
    b.next(c.n);
    for (int i = 0; i < 1000; ++i) {
      const std::uint32_t x = a.next(c.n);
      EXPECT_EQ(x, b.next(c.n)) << i;
      if (c.n > 0) {
        ASSERT_LT(x, c.n);
      } else {
        ASSERT_EQ(x, 0u);
      }
    }
  }
}

}  // namespace
}  // namespace vuvedid::test
