#include "statistics/rate_stats.h"

#include <gtest/gtest.h>

#include "test_samples.h"

namespace truvello::cli {
namespace {

using testing::one_second_samples;

TEST(RateStats, ShortClosingSampleIsLeftOutOfPerSecondFigures) {
  auto samples = one_second_samples({100.0, 110.0, 90.0});
  // A closing sliver with a wild rate, as rounding over 0.01 s produces.
  samples.push_back(truvello_sample_record{3.01, 0.01, 8, 800.0});
  const auto stats = rate_stats(samples);
  ASSERT_TRUE(stats.has_value());
  EXPECT_DOUBLE_EQ(stats->max, 110.0);
  EXPECT_DOUBLE_EQ(stats->min, 90.0);
  EXPECT_DOUBLE_EQ(stats->median, 100.0);
}

TEST(RateStats, WindowShorterThanASecondKeepsItsOnlySample) {
  const std::vector<truvello_sample_record> samples = {{0.3, 0.3, 30, 100.0}};
  const auto stats = rate_stats(samples);
  ASSERT_TRUE(stats.has_value());
  EXPECT_DOUBLE_EQ(stats->median, 100.0);
  EXPECT_FALSE(stats->drift_percent.has_value()) << "one sample says nothing about a trend";
  EXPECT_FALSE(rate_stats({}).has_value());
}

TEST(RateStats, RateBetweenWeighsPartialOverlap) {
  // 0..1 s at 100/s, 1..2 s at 300/s: the span 0.5..1.5 averages 200/s.
  const auto samples = one_second_samples({100.0, 300.0});
  const auto rate = rate_between(samples, 0.5, 1.5);
  ASSERT_TRUE(rate.has_value());
  EXPECT_DOUBLE_EQ(*rate, 200.0);
  EXPECT_FALSE(rate_between(samples, 5.0, 6.0).has_value());
  EXPECT_FALSE(rate_between(samples, 1.0, 1.0).has_value());
}

TEST(RateStats, DriftComparesFirstAndLastThirdOfTheWindow) {
  const auto falling = one_second_samples({100.0, 100.0, 95.0, 90.0, 80.0, 80.0});
  const auto stats = rate_stats(falling);
  ASSERT_TRUE(stats && stats->drift_percent);
  EXPECT_DOUBLE_EQ(*stats->first_third, 100.0);
  EXPECT_DOUBLE_EQ(*stats->last_third, 80.0);
  EXPECT_DOUBLE_EQ(*stats->drift_percent, -20.0);
}

TEST(RateStats, DriftUsesTheWholeWindowIncludingTheClosingSample) {
  // Thirds of a 3.5 s window: the last third (2.333..3.5) is mostly the
  // slow final stretch.
  auto samples = one_second_samples({100.0, 100.0, 100.0});
  samples.push_back(truvello_sample_record{3.5, 0.5, 25, 50.0});
  const auto stats = rate_stats(samples);
  ASSERT_TRUE(stats && stats->drift_percent);
  EXPECT_LT(*stats->drift_percent, -20.0);
}

}  // namespace
}  // namespace truvello::cli
