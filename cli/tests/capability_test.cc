// The capability against runs with a known truth: per-second rates at a fast
// level with its noise, slowed for spells of a known share and depth, as a
// shared host slows a guest. Per cell, hundreds of seeded runs must give an
// interval that holds the fast level about 95 % of the time, and an estimate
// that does not rise above it as the run grows longer. TRUVELLO_PRINT_FIGURES
// set prints each cell's figures.
#include "statistics/capability.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "seeded_normal.h"

namespace truvello::cli {
namespace {

constexpr double kTruth = 1e5;
constexpr int kSeeds = 400;
constexpr double kCvs[] = {0.005, 0.01, 0.02};
constexpr double kShares[] = {0.0, 0.2, 0.4, 0.6};
constexpr double kDepths[] = {0.1, 0.3, 0.5};
constexpr std::size_t kSeconds[] = {10, 30, 60, 300};
// How far the mean estimate may stand above the truth, and rise from one
// length to the next: some four standard errors of the mean of the medians
// of 400 runs at the noisiest level and the fewest fast seconds. Below the
// truth it may stand a little further: a shallow spell's fastest seconds
// that pass the cut pull the median down, never up.
constexpr double kMeanTolerance = 0.002;
constexpr double kMeanBelowTolerance = 0.005;

// A run's rates: spells recur every 10 s and last share * 10 s, contiguous,
// at a seeded phase.
std::vector<double> spelled_rates(std::size_t n, double cv, double share, double depth, testing::SeededNormal& normal) {
  const auto phase = static_cast<std::size_t>((normal() + 5.0) * 100.0) % 10;
  const auto slow_seconds = static_cast<std::size_t>(share * 10.0 + 0.5);
  std::vector<double> rates;
  for (std::size_t i = 0; i < n; ++i) {
    const double level = (i + phase) % 10 < slow_seconds ? kTruth * (1.0 - depth) : kTruth;
    rates.push_back(level * (1.0 + cv * normal()));
  }
  return rates;
}

struct CellFigures {
  int estimated = 0;
  int held = 0;                // intervals holding the truth
  double nominal = 0.0;        // the mean coverage the ranks promise
  double mean_estimate = 0.0;  // over the estimated runs, in shares of the truth
};

CellFigures cell(std::size_t n, double cv, double share, double depth) {
  testing::SeededNormal normal(20261211 + n * 7919 + static_cast<std::uint64_t>(share * 100 + depth * 10 + cv * 1e4));
  CellFigures f;
  for (int seed = 0; seed < kSeeds; ++seed) {
    const CapabilityEstimate e = capability_of(spelled_rates(n, cv, share, depth, normal), 0.0);
    if (!e.value) continue;
    ++f.estimated;
    if (e.value->low <= kTruth && kTruth <= e.value->high) ++f.held;
    f.mean_estimate += e.value->rate / kTruth;
    // What the ranks promise: 1 - 2 P(B <= low) for B ~ Binomial(fast, 1/2).
    const std::size_t m = e.value->fast_seconds;
    const std::size_t k = median_rank_interval(m)->low;
    double below = 0.0;
    double p = std::pow(0.5, static_cast<double>(m));
    for (std::size_t j = 0; j <= k; ++j) {
      below += p;
      p *= static_cast<double>(m - j) / static_cast<double>(j + 1);
    }
    f.nominal += 1.0 - 2.0 * below;
  }
  if (f.estimated > 0) {
    f.mean_estimate /= f.estimated;
    f.nominal /= f.estimated;
  }
  return f;
}

TEST(Capability, HoldsTheFastLevelUnderSpells) {
  const bool print = std::getenv("TRUVELLO_PRINT_FIGURES") != nullptr;
  double lowest = 1.0;
  double highest = 0.0;
  for (const double cv : kCvs) {
    for (const double share : kShares) {
      for (const double depth : kDepths) {
        if (share == 0.0 && depth != kDepths[0]) continue;  // no spells: the depth does not matter
        double previous_mean = 0.0;
        for (const std::size_t n : kSeconds) {
          const CellFigures f = cell(n, cv, share, depth);
          const auto fast = static_cast<double>(n) * (1.0 - share);
          SCOPED_TRACE(::testing::Message()
                       << "cv " << cv << ", spells " << share << " deep " << depth << ", " << n << " s");
          if (fast < static_cast<double>(kMinFastSeconds)) {
            // Too few fast seconds: mostly no estimate. A spell only five
            // noise spreads deep (10 % at a CV of 2 %) lends the fast
            // cluster a second now and then, and one in ten such runs has
            // six.
            EXPECT_LE(f.estimated, kSeeds / 8);
            continue;
          }
          ASSERT_GE(f.estimated, kSeeds / 2);
          const double coverage = static_cast<double>(f.held) / f.estimated;
          if (print) {
            std::printf(
                "cv %.3f share %.1f depth %.1f n %3zu: estimated %3d held %.3f (ranks promise %.3f) mean %.5f\n", cv,
                share, depth, n, f.estimated, coverage, f.nominal, f.mean_estimate);
          }
          lowest = std::min(lowest, coverage);
          highest = std::max(highest, coverage);
          EXPECT_GE(coverage, 0.90);
          // The range of 7 or 8 seconds promises over 99 %; elsewhere the
          // interval must not be needlessly wide.
          if (f.nominal < 0.99) {
            EXPECT_LE(coverage, 0.995);
          }
          EXPECT_NEAR(coverage, f.nominal, 0.03);
          EXPECT_LE(f.mean_estimate, 1.0 + kMeanTolerance);
          EXPECT_GE(f.mean_estimate, 1.0 - kMeanBelowTolerance);
          if (previous_mean > 0.0) {
            EXPECT_LE(f.mean_estimate, previous_mean + kMeanTolerance);
          }
          previous_mean = f.mean_estimate;
        }
      }
    }
  }
  std::printf("capability intervals held the fast level in %.1f to %.1f %% of the runs of each cell\n", lowest * 100.0,
              highest * 100.0);
}

TEST(Capability, RankIntervalOfTheMedian) {
  // n, the 0-based ranks: the narrowest symmetric interval with 95 %.
  struct Row {
    std::size_t n, low, high;
  };
  for (const Row r : {Row{6, 0, 5}, Row{8, 0, 7}, Row{9, 1, 7}, Row{10, 1, 8}, Row{20, 5, 14}, Row{100, 39, 60}}) {
    const auto got = median_rank_interval(r.n);
    ASSERT_TRUE(got) << r.n;
    EXPECT_EQ(got->low, r.low) << r.n;
    EXPECT_EQ(got->high, r.high) << r.n;
  }
  EXPECT_FALSE(median_rank_interval(5));
  EXPECT_FALSE(median_rank_interval(0));
}

TEST(Capability, FallsBackBelowSixFastSeconds) {
  // Five fast seconds and five spelled: the fast cluster has five.
  const std::vector<double> rates{100, 101, 99, 100, 102, 60, 61, 59, 60, 62};
  const CapabilityEstimate e = capability_of(rates, 80.0);
  EXPECT_FALSE(e.value);
  EXPECT_EQ(e.note, "too few seconds for a capability: 5 in the fast cluster, 6 needed");
  EXPECT_EQ(capability_of({}, 0.0).note, "too few seconds for a capability: 0 in the fast cluster, 6 needed");
}

TEST(Capability, SeriesOfRunCapabilities) {
  const auto run = [](double rate) {
    return CapabilityEstimate{Capability{rate, rate * 0.99, rate * 1.01, 0.0, 10}, {}};
  };
  const std::vector<CapabilityEstimate> runs{run(100.0), CapabilityEstimate{std::nullopt, "too few"}, run(104.0),
                                             run(102.0)};
  const CapabilityEstimate s = series_capability(runs, 91.0);
  ASSERT_TRUE(s.value);
  // The runs without one are left out: the geometric mean of the three.
  EXPECT_DOUBLE_EQ(s.value->rate, std::cbrt(100.0 * 104.0 * 102.0));
  EXPECT_EQ(s.value->fast_seconds, 3u);
  EXPECT_LT(s.value->low, s.value->rate);
  EXPECT_GT(s.value->high, s.value->rate);
  EXPECT_DOUBLE_EQ(*s.value->spell_share, 1.0 - 91.0 / s.value->rate);

  EXPECT_EQ(series_capability(std::vector<CapabilityEstimate>{runs[1]}, 91.0).note,
            "no run of the series has a capability");
  EXPECT_EQ(series_capability(std::vector<CapabilityEstimate>{runs[0], runs[1]}, 91.0).note,
            "too few runs with a capability: 1, 2 needed");
}

}  // namespace
}  // namespace truvello::cli
