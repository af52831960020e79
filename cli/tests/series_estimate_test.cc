// The series estimate against series with a known truth: seeded log-normal
// runs around a score of 1, some of them slowed as a busy host slows a whole
// run. Per case, thousands of series must give an interval that holds the
// truth about 95 % of the time, name exactly the slowed runs, keep the
// estimate where the same runs undisturbed put it, and rarely call a
// difference against an undisturbed series of the same process.
#include "statistics/series_estimate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "seeded_normal.h"

namespace truvello::cli {
namespace {

struct SeriesCase {
  std::size_t runs;
  double cv;              // the run-to-run spread of the log score
  std::size_t disturbed;  // runs slowed: the second, then the fourth
  double slow;            // by this share of their score
  // The least share of series whose slowed runs, and only those, must be
  // named, and whose estimate must stay within one spread of the geometric
  // mean of the same runs undisturbed. Zero where a slowed run cannot be told from the noise:
  // there it must widen the interval instead of moving the verdict.
  double held;
};

// The series of --repeat 5 to 10 on a quiet and a busy machine: clean,
// with one slowed run, with two.
constexpr SeriesCase kCases[] = {
    {5, 0.01, 0, 0.0, 0.95},   {5, 0.05, 0, 0.0, 0.95},  {7, 0.03, 0, 0.0, 0.95},  {10, 0.05, 0, 0.0, 0.95},
    {5, 0.01, 1, 0.15, 0.85},  {5, 0.02, 1, 0.35, 0.95}, {7, 0.03, 1, 0.25, 0.85}, {10, 0.03, 1, 0.25, 0.95},
    {10, 0.05, 1, 0.35, 0.90}, {7, 0.02, 2, 0.30, 0.95}, {8, 0.01, 2, 0.15, 0.95}, {10, 0.05, 2, 0.35, 0.85},
    {5, 0.05, 1, 0.25, 0.0},   {5, 0.02, 2, 0.30, 0.0},
};

constexpr int kTrials = 4000;
constexpr std::size_t kSlowed[] = {1, 3};

struct Figures {
  double covered = 0.0;  // shares of the trials
  double named = 0.0;
  double held = 0.0;
  double false_verdicts = 0.0;
};

double geometric_mean(const std::vector<double>& scores) {
  double logs = 0.0;
  for (const double s : scores) logs += std::log(s);
  return std::exp(logs / static_cast<double>(scores.size()));
}

Figures simulate(const SeriesCase& c, std::uint64_t seed) {
  testing::SeededNormal normal(seed);
  Figures f;
  const double share = 1.0 / kTrials;
  for (int trial = 0; trial < kTrials; ++trial) {
    std::vector<double> clean, disturbed, baseline;
    for (std::size_t i = 0; i < c.runs; ++i) clean.push_back(std::exp(c.cv * normal()));
    for (std::size_t i = 0; i < c.runs; ++i) baseline.push_back(std::exp(c.cv * normal()));
    disturbed = clean;
    for (std::size_t d = 0; d < c.disturbed; ++d) disturbed[kSlowed[d]] *= 1.0 - c.slow;
    const SeriesEstimate e = estimate_series(disturbed).value();
    const SeriesEstimate base = estimate_series(baseline).value();

    f.covered += *e.low <= 1.0 && 1.0 <= *e.high ? share : 0.0;
    bool named = e.disturbed.size() == c.disturbed;
    for (std::size_t d = 0; named && d < c.disturbed; ++d) named = e.disturbed[d].index == kSlowed[d];
    f.named += named ? share : 0.0;
    f.held += std::fabs(std::log(e.score) - std::log(geometric_mean(clean))) < c.cv ? share : 0.0;
    f.false_verdicts += compare_log_scores(*base.log_score, *e.log_score).verdict != Verdict::kSame ? share : 0.0;
  }
  return f;
}

TEST(SeriesEstimate, HoldsTheTruthAndNamesTheSlowedRuns) {
  std::uint64_t seed = 21;
  for (const SeriesCase& c : kCases) {
    const Figures f = simulate(c, ++seed);
    std::printf(
        "      %2zu runs, CV %.0f %%, %zu run(s) %2.0f %% slow: named %5.1f %%, held %5.1f %%, "
        "covers %.1f %%, false verdicts %.1f %%\n",
        c.runs, 100 * c.cv, c.disturbed, 100 * c.slow, 100 * f.named, 100 * f.held, 100 * f.covered,
        100 * f.false_verdicts);
    SCOPED_TRACE(::testing::Message() << c.runs << " runs, CV " << c.cv << ", " << c.disturbed << " slowed by "
                                      << c.slow);
    EXPECT_GE(f.covered, 0.93);
    EXPECT_LE(f.covered, 0.97);
    EXPECT_LE(f.false_verdicts, 0.07);
    EXPECT_GE(f.named, c.held);
    EXPECT_GE(f.held, c.held);
  }
}

TEST(SeriesEstimate, EdgesOfTheData) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (const std::vector<double>& bad :
       std::vector<std::vector<double>>{{}, {1e5, 0.0}, {1e5, -1e5}, {1e5, nan}, {1e5, inf}, {-inf}}) {
    EXPECT_FALSE(estimate_series(bad)) << bad.size();
  }

  // One run: its score, nothing more.
  const SeriesEstimate one = estimate_series(std::vector<double>{1e5}).value();
  EXPECT_EQ(one.runs, 1u);
  EXPECT_EQ(one.kept, 1u);
  EXPECT_NEAR(one.score, 1e5, 1e-9);
  EXPECT_FALSE(one.low || one.high || one.log_score || one.half_width_percent());

  // Two runs: the geometric mean, an interval on one degree of freedom, and
  // neither named, each as far from the median as the other.
  const SeriesEstimate two = estimate_series(std::vector<double>{1e5, 4e5}).value();
  EXPECT_NEAR(two.score, 2e5, 1e-6);
  EXPECT_EQ(two.log_score->df, 1.0);
  EXPECT_LT(*two.low, 1e5);
  EXPECT_GT(*two.high, 4e5);
  EXPECT_TRUE(two.disturbed.empty());

  // Identical runs are known exactly, and the floor of the spread keeps a
  // neighbour 1 % off among them; one 20 % off is named and left out.
  const SeriesEstimate same = estimate_series(std::vector<double>{1e5, 1e5, 1e5, 1e5, 1e5}).value();
  EXPECT_EQ(same.log_score->variance, 0.0);
  EXPECT_EQ(*same.low, *same.high);
  EXPECT_EQ(same.half_width_percent(), 0.0);
  EXPECT_TRUE(estimate_series(std::vector<double>{1e5, 1e5, 1.01e5, 1e5, 1e5})->disturbed.empty());
  const SeriesEstimate slow = estimate_series(std::vector<double>{1e5, 1e5, 1e5, 0.8e5, 1e5}).value();
  EXPECT_EQ(slow.runs, 5u);
  EXPECT_EQ(slow.kept, 4u);
  EXPECT_NEAR(slow.score, 1e5, 1e-6);
  ASSERT_EQ(slow.disturbed.size(), 1u);
  EXPECT_EQ(slow.disturbed[0].index, 3u);
  EXPECT_NEAR(slow.disturbed[0].off_percent, -20.0, 1e-9);
  EXPECT_NEAR(slow.disturbed[0].z, -std::log(0.8) / kMinRobustSpread, 1e-9);
}

}  // namespace
}  // namespace truvello::cli
