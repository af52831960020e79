// The one place a run's lengths are decided: which pairs are refused and with
// which reason, and what an accepted pair keeps of each form.
#include "run_lengths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "test_vectors.h"

namespace truvello {
namespace {

using testing::library_reason;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(RunLengths, RefusalsAndWhichReasonWins) {
  const struct {
    double warmup;
    double measurement;
    const char* reason;  // name in reasons.json
  } cases[] = {
      {-1e-300, 1.0, "bad_durations"},
      {kInf, 1.0, "bad_durations"},
      {0.0, 0.0, "bad_durations"},
      {0.0, -0.0, "bad_durations"},  // converts to zero, but is not greater than 0.0
      {0.0, kNaN, "bad_durations"},
      {0.0, 0x1p64, "bad_durations"},
      // Positive, but below half a nanosecond: a zero duration.
      {0.0, 1e-10, "measurement_not_positive"},
      {0.0, std::numeric_limits<double>::denorm_min(), "measurement_not_positive"},
      // A value that does not convert is reported before one too short to run.
      {kNaN, 1e-10, "bad_durations"},
      {-0.0, 1e-12, "measurement_not_positive"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.warmup << " / " << c.measurement);
    const auto made = RunLengths::from_seconds(c.warmup, c.measurement);
    ASSERT_FALSE(made.ok());
    EXPECT_EQ(std::string(made.message()), library_reason(c.reason));
  }
}

TEST(RunLengths, AcceptedKeepsTheHostsSecondsAndTheDurationsDerivedFromThem) {
  const struct {
    double warmup;
    double measurement;
    Duration warmup_duration;
    Duration measurement_duration;
  } cases[] = {
      {-0.0, 0.1, {0, 0}, {0, 100'000'000}},
      {0.1, 0.9999999999, {0, 100'000'000}, {1, 0}},
      {0.0, 6e-10, {0, 0}, {0, 1}},  // the shortest measurement there is
      {0x1p53 + 2, 18446744073709549568.0, {9'007'199'254'740'994u, 0}, {18'446'744'073'709'549'568u, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.warmup << " / " << c.measurement);
    auto made = RunLengths::from_seconds(c.warmup, c.measurement);
    ASSERT_TRUE(made.ok()) << made.message();
    const RunLengths& lengths = made.value();
    EXPECT_TRUE(same_bits(lengths.warmup_seconds(), c.warmup));
    EXPECT_TRUE(same_bits(lengths.measurement_seconds(), c.measurement));
    EXPECT_EQ(lengths.warmup(), c.warmup_duration);
    EXPECT_EQ(lengths.measurement(), c.measurement_duration);
    // Progress is a share of the time the clock runs, not of the host's sum.
    EXPECT_EQ(lengths.planned_seconds(), c.warmup_duration.as_seconds() + c.measurement_duration.as_seconds());
  }
  EXPECT_NE(RunLengths::from_seconds(0.1, 0.9999999999).value().planned_seconds(), 0.1 + 0.9999999999);
}

}  // namespace
}  // namespace truvello
