#include "clock.h"

#include <gtest/gtest.h>

#include <limits>

namespace truvello {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

TEST(Instant, AdditionCarriesNanoseconds) {
  auto sum = Instant{5, 900'000'000}.checked_add(Duration{1, 200'000'000});
  ASSERT_TRUE(sum);
  EXPECT_EQ(*sum, (Instant{7, 100'000'000}));
}

TEST(Instant, AdditionIsOverflowChecked) {
  EXPECT_TRUE((Instant{kMax - 1, 0}.checked_add(Duration{1, 999'999'999})));
  EXPECT_FALSE((Instant{kMax - 1, 1}.checked_add(Duration{1, 999'999'999}))) << "the carry overflows";
  EXPECT_FALSE((Instant{0, 0}.checked_add(Duration{static_cast<std::uint64_t>(kMax) + 1, 0})));
  EXPECT_FALSE((Instant{10, 0}.checked_add(Duration{std::numeric_limits<std::uint64_t>::max(), 0})));
  // Seconds beyond i64 still fit when the instant is negative enough.
  auto fits = Instant{-10, 0}.checked_add(Duration{static_cast<std::uint64_t>(kMax) + 5, 0});
  ASSERT_TRUE(fits);
  EXPECT_EQ(fits->secs, kMax - 5);
}

TEST(Instant, DifferenceSaturatesAtZero) {
  const Instant a{10, 100};
  const Instant b{12, 50};
  EXPECT_EQ(b.saturating_since(a), (Duration{1, 999'999'950}));
  EXPECT_EQ(a.saturating_since(b), Duration{});
  EXPECT_EQ(a.saturating_since(a), Duration{});
  EXPECT_EQ((Instant{kMax, 0}.saturating_since(Instant{std::numeric_limits<std::int64_t>::min(), 0})).secs,
            std::numeric_limits<std::uint64_t>::max());
}

TEST(Instant, ClockIsMonotonic) {
  const Instant a = Instant::now();
  const Instant b = Instant::now();
  EXPECT_LE(a, b);
  EXPECT_LT(a.nanos, 1'000'000'000u);
}

TEST(Duration, SecondsRule) {
  EXPECT_EQ((Duration{2, 500'000'000}).as_seconds(), 2.5);
  EXPECT_EQ((Duration{0, 1}).as_seconds(), 1e-9);
  EXPECT_EQ((Duration{std::numeric_limits<std::uint64_t>::max(), 0}).as_seconds(), 18446744073709551616.0);
}

TEST(Duration, SaturatingNanosecondsStopAtTheLargestU64) {
  constexpr std::uint64_t kMaxU64 = std::numeric_limits<std::uint64_t>::max();
  const struct {
    Duration d;
    std::uint64_t ns;
  } cases[] = {
      {Duration{}, 0},
      {Duration{1, 5}, 1'000'000'005},
      {Duration{18'446'744'073, 709'551'615}, kMaxU64},  // exactly the largest
      {Duration{18'446'744'073, 709'551'616}, kMaxU64},  // one past: the add overflows
      {Duration{18'446'744'074, 0}, kMaxU64},            // the multiply overflows
      {Duration{kMaxU64, 999'999'999}, kMaxU64},
  };
  for (const auto& c : cases) EXPECT_EQ(c.d.saturating_nanos(), c.ns) << c.d.secs << " s " << c.d.nanos << " ns";
}

}  // namespace
}  // namespace truvello
