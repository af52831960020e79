#include "statistics/robust.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace truvello::cli {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

// One set of values and every robust figure of it. The quantiles are taken
// over the values sorted; the spread is around the median.
struct Vector {
  std::string what;
  std::vector<double> values;
  double median;
  double p10, p50, p90;
  double spread;
};

// Figures are exact where the arithmetic is (medians, spreads of whole
// values); quantiles interpolate and are held to a few ulps.
const std::vector<Vector> kVectors = {
    {"no values", {}, 0.0, 0.0, 0.0, 0.0, 0.0},
    {"one value", {7.0}, 7.0, 7.0, 7.0, 7.0, 0.0},
    {"odd count", {5.0, 1.0, 3.0}, 3.0, 1.4, 3.0, 4.6, kMadToSd * 2.0},
    {"even count: the mean of the middle two", {4.0, 1.0, 3.0, 2.0}, 2.5, 1.3, 2.5, 3.7, kMadToSd * 1.0},
    {"ties: no spread, which callers floor", {2.0, 9.0, 2.0, 2.0}, 2.0, 2.0, 2.0, 6.9, 0.0},
    {"negative values", {-3.0, -1.0, -2.0}, -2.0, -2.8, -2.0, -1.2, kMadToSd * 1.0},
    // (0.1 + 0.7) / 2 is 0.39999999999999997, 0.1 + (0.7 - 0.1) / 2 is 0.4:
    // the median and the interpolated 0.5-quantile are two definitions.
    {"the median is not the 0.5-quantile", {0.7, 0.1}, (0.1 + 0.7) / 2.0, 0.16, 0.4, 0.64, kMadToSd * 0.3},
};

TEST(Robust, FiguresOfSharedVectors) {
  for (const Vector& v : kVectors) {
    SCOPED_TRACE(v.what);
    std::vector<double> sorted = v.values;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(median(v.values), v.median);
    EXPECT_DOUBLE_EQ(quantile(sorted, 0.1), v.p10);
    EXPECT_DOUBLE_EQ(quantile(sorted, 0.5), v.p50);
    EXPECT_DOUBLE_EQ(quantile(sorted, 0.9), v.p90);
    EXPECT_EQ(quantile(sorted, 0.0), sorted.empty() ? 0.0 : sorted.front());
    EXPECT_EQ(quantile(sorted, 1.0), sorted.empty() ? 0.0 : sorted.back());
    EXPECT_DOUBLE_EQ(mad_spread(v.values, v.median), v.spread);
  }
  EXPECT_EQ(quantile(std::vector<double>{0.1, 0.7}, 0.5), 0.4);
}

TEST(Robust, NotANumberHasNoMiddle) {
  const std::vector<double> values = {1.0, kNan, 3.0};
  EXPECT_TRUE(std::isnan(median(values)));
  EXPECT_TRUE(std::isnan(mad_spread(values, 2.0)));
  EXPECT_TRUE(std::isnan(mad_spread(std::vector<double>{1.0, 2.0, 3.0}, kNan)));
}

TEST(Robust, ModifiedZScoreIsDistanceInSpreads) {
  const struct {
    double x, centre, spread, z;
  } cases[] = {
      {5.0, 3.0, 2.0, 1.0},
      {1.0, 3.0, 2.0, 1.0},  // either side alike
      {3.0, 3.0, 2.0, 0.0},
      {10.0, 3.0, 0.5, 14.0},
      {4.0, 3.0, 0.0, std::numeric_limits<double>::infinity()},  // an unfloored spread
  };
  for (const auto& c : cases) EXPECT_EQ(modified_z_score(c.x, c.centre, c.spread), c.z) << c.x << " " << c.spread;
}

}  // namespace
}  // namespace truvello::cli
