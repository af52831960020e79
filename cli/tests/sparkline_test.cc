#include "progress/sparkline.h"

#include <gtest/gtest.h>

#include <vector>

namespace truvello::cli {
namespace {

TEST(Sparkline, SteadyRatesStayNearTheTop) {
  // 1 % of noise must not look like a collapse.
  const std::vector<double> steady = {100.0, 99.0, 100.0, 99.5};
  for (int level : spark_levels(steady)) EXPECT_GE(level, 6);
  const std::vector<double> flat = {5.0, 5.0, 5.0};
  EXPECT_EQ(spark_levels(flat), (std::vector<int>{7, 7, 7}));
}

TEST(Sparkline, ThrottlingDropsToTheFloor) {
  const std::vector<double> throttled = {100.0, 100.0, 70.0, 50.0};
  const std::vector<int> levels = spark_levels(throttled);
  EXPECT_EQ(levels.front(), 7);
  EXPECT_EQ(levels.back(), 0);
  EXPECT_GT(levels[2], levels[3]);
  EXPECT_LT(levels[2], levels[1]);
}

TEST(Sparkline, ZeroRatesSitAtTheFloor) {
  const std::vector<double> zeros = {0.0, 0.0};
  EXPECT_EQ(spark_levels(zeros), (std::vector<int>{0, 0}));
  EXPECT_TRUE(spark_levels({}).empty());
}

TEST(Sparkline, FitWidthAveragesBuckets) {
  const std::vector<double> values = {1, 3, 5, 7, 9, 11};
  EXPECT_EQ(fit_width(values, 3), (std::vector<double>{2, 6, 10}));
  EXPECT_EQ(fit_width(values, 10), values);
  EXPECT_TRUE(fit_width(values, 0).empty());
  const std::vector<double> many(601, 1.0);
  EXPECT_EQ(fit_width(many, 60).size(), 60u);
}

TEST(Sparkline, GlyphSets) {
  const std::vector<double> values = {100.0, 50.0};
  EXPECT_EQ(sparkline(values, 60, Glyphs::kBlocks), "\u2588\u2581");
  EXPECT_EQ(sparkline(values, 60, Glyphs::kAscii), "#_");
}

TEST(Sparkline, Utf8Codesets) {
  EXPECT_TRUE(is_utf8_codeset("UTF-8"));
  EXPECT_TRUE(is_utf8_codeset("utf8"));
  EXPECT_FALSE(is_utf8_codeset("ANSI_X3.4-1968"));
  EXPECT_FALSE(is_utf8_codeset(nullptr));
}

}  // namespace
}  // namespace truvello::cli
