// The statistics of `truvello compare` against data with a known truth:
// thousands of seeded pairs from one process must rarely be called different,
// a real slowdown must nearly always be found, and the 95 % interval must
// hold the true ratio about 95 % of the time.
#include "statistics/score_inference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

#include "seeded_normal.h"

namespace truvello::cli {
namespace {

using Normal = testing::SeededNormal;

// One run of one-second samples whose rate follows an AR(1) process around
// `mean`: x' = phi x + e, its stationary standard deviation `cv` of the mean,
// started from the stationary distribution.
std::vector<truvello_sample_record> ar1_run(Normal& normal, std::size_t n, double mean, double cv, double phi) {
  std::vector<truvello_sample_record> samples;
  double x = cv * normal();
  const double innovation = cv * std::sqrt(1.0 - phi * phi);
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) x = phi * x + innovation * normal();
    const auto ops = static_cast<std::uint64_t>(std::llround(mean * (1.0 + x)));
    samples.push_back(truvello_sample_record{static_cast<double>(i + 1), 1.0, ops, static_cast<double>(ops)});
  }
  return samples;
}

double score_of(const std::vector<truvello_sample_record>& samples) {
  double ops = 0.0;
  for (const auto& s : samples) ops += static_cast<double>(s.ops);
  return ops / static_cast<double>(samples.size());
}

struct Rates {
  double slower = 0.0;  // share of pairs called slower
  double faster = 0.0;
  double covered = 0.0;  // share of intervals holding the true ratio
};

constexpr int kPairs = 1000;

// Draws kPairs pairs with `draw`, which returns baseline and candidate log
// scores, and counts verdicts and coverage of `truth`.
Rates simulate(double truth, const std::function<std::pair<LogScore, LogScore>(Normal&)>& draw, std::uint64_t seed) {
  Normal normal(seed);
  Rates rates;
  for (int i = 0; i < kPairs; ++i) {
    const auto [baseline, candidate] = draw(normal);
    const RatioInterval r = compare_log_scores(baseline, candidate);
    rates.slower += r.verdict == Verdict::kSlower ? 1.0 / kPairs : 0.0;
    rates.faster += r.verdict == Verdict::kFaster ? 1.0 / kPairs : 0.0;
    rates.covered += r.low <= truth && truth <= r.high ? 1.0 / kPairs : 0.0;
  }
  std::printf("      slower %.1f %%, faster %.1f %%, interval covers the truth %.1f %%\n", 100 * rates.slower,
              100 * rates.faster, 100 * rates.covered);
  return rates;
}

// One run a side: batch means over 30 per-second samples.
std::function<std::pair<LogScore, LogScore>(Normal&)> single_runs(double ratio, double cv) {
  return [ratio, cv](Normal& normal) {
    const auto base = ar1_run(normal, 30, 1e6, cv, 0.5);
    const auto cand = ar1_run(normal, 30, 1e6 * ratio, cv, 0.5);
    return std::pair{batch_means(base, score_of(base)).value(), batch_means(cand, score_of(cand)).value()};
  };
}

// Five runs a side, each score drawn from the same run-to-run spread.
std::function<std::pair<LogScore, LogScore>(Normal&)> five_runs(double ratio, double cv) {
  return [ratio, cv](Normal& normal) {
    std::vector<double> base, cand;
    for (int i = 0; i < 5; ++i) base.push_back(1e6 * (1.0 + cv * normal()));
    for (int i = 0; i < 5; ++i) cand.push_back(1e6 * ratio * (1.0 + cv * normal()));
    return std::pair{run_scores(base).value(), run_scores(cand).value()};
  };
}

TEST(ScoreInference, BatchMeansOnOneProcessRarelyCallsADifference) {
  const Rates r = simulate(1.0, single_runs(1.0, 0.05), 11);
  EXPECT_LE(r.slower + r.faster, 0.07);
  EXPECT_GE(r.covered, 0.93);
  EXPECT_LE(r.covered, 0.97);
}

TEST(ScoreInference, BatchMeansFindsAThreePercentSlowdown) {
  const Rates r = simulate(0.97, single_runs(0.97, 0.01), 12);
  EXPECT_GE(r.slower, 0.95);
  EXPECT_EQ(r.faster, 0.0);
  EXPECT_GE(r.covered, 0.93);
  EXPECT_LE(r.covered, 0.97);
}

TEST(ScoreInference, RunScoresOnOneProcessRarelyCallADifference) {
  const Rates r = simulate(1.0, five_runs(1.0, 0.05), 13);
  EXPECT_LE(r.slower + r.faster, 0.07);
  EXPECT_GE(r.covered, 0.93);
  EXPECT_LE(r.covered, 0.97);
}

TEST(ScoreInference, RunScoresFindAThreePercentSlowdown) {
  const Rates r = simulate(0.97, five_runs(0.97, 0.01), 14);
  EXPECT_GE(r.slower, 0.95);
  EXPECT_EQ(r.faster, 0.0);
  EXPECT_GE(r.covered, 0.93);
  EXPECT_LE(r.covered, 0.97);
}

TEST(ScoreInference, StudentTQuantilesMatchTheTables) {
  const struct {
    double p, df, t;
  } table[] = {{0.975, 1, 12.7062047},  {0.975, 2, 4.30265273},  {0.975, 5, 2.57058184},
               {0.975, 10, 2.22813885}, {0.975, 30, 2.04227246}, {0.95, 4, 2.13184679},
               {0.5, 7, 0.0},           {0.025, 3, -3.18244631}, {0.975, INFINITY, 1.95996398}};
  for (const auto& row : table) {
    EXPECT_NEAR(student_t_quantile(row.p, row.df), row.t, 1e-6) << row.p << " " << row.df;
  }
  // Welch's degrees of freedom are rarely whole: between its neighbours.
  const double t = student_t_quantile(0.975, 4.5);
  EXPECT_LT(t, student_t_quantile(0.975, 4));
  EXPECT_GT(t, student_t_quantile(0.975, 5));
  // One and two degrees of freedom have closed forms, far into the tails.
  for (const double p : {1e-9, 0.001, 0.2, 0.5, 0.9, 0.975, 1.0 - 1e-6}) {
    const double one = std::tan(M_PI * (p - 0.5));
    const double two = (2.0 * p - 1.0) / std::sqrt(2.0 * p * (1.0 - p));
    EXPECT_NEAR(student_t_quantile(p, 1), one, 1e-7 * std::max(1.0, std::fabs(one))) << p;
    EXPECT_NEAR(student_t_quantile(p, 2), two, 1e-9 * std::max(1.0, std::fabs(two))) << p;
    // tan() near its pole is good to a few parts in 1e8.
    const double tail = std::min(p, 1.0 - p);
    EXPECT_NEAR(student_t_cdf(one, 1), p, 1e-7 * tail) << p;
    EXPECT_NEAR(student_t_cdf(two, 2), p, 1e-7 * tail) << p;
  }
  EXPECT_EQ(student_t_cdf(INFINITY, 3), 1.0);
  EXPECT_EQ(student_t_cdf(-INFINITY, 3), 0.0);
  for (const auto& [p, df] : {std::pair{1.0, 3.0}, {0.0, 3.0}, {NAN, 3.0}, {0.5, 0.0}, {0.5, -1.0}, {0.5, NAN}}) {
    EXPECT_TRUE(std::isnan(student_t_quantile(p, df))) << p << " " << df;
  }
  EXPECT_TRUE(std::isnan(student_t_cdf(NAN, 3)));
  EXPECT_TRUE(std::isnan(student_t_cdf(1.0, 0.0)));
}

TEST(ScoreInference, EdgesOfTheData) {
  Normal normal(5);
  // Five whole seconds make two batches of two: too few for an interval.
  EXPECT_FALSE(batch_means(ar1_run(normal, 5, 1e6, 0.05, 0.5), 1e6));
  auto six = ar1_run(normal, 6, 1e6, 0.05, 0.5);
  const auto three = batch_means(six, score_of(six));
  ASSERT_TRUE(three);
  EXPECT_EQ(three->df, 2.0);
  // The closing partial sample is no batch of its own.
  six.push_back(truvello_sample_record{6.01, 0.01, 1, 100.0});
  EXPECT_EQ(batch_means(six, score_of(six))->df, 2.0);
  // A second without a single operation leaves no log to take.
  six[0].ops = six[1].ops = 0;
  six[0].rate = six[1].rate = 0.0;
  EXPECT_FALSE(batch_means(six, 1e6));
  EXPECT_FALSE(batch_means(ar1_run(normal, 30, 1e6, 0.05, 0.5), 0.0));

  // A flat series is known exactly; against itself it is the same, and a
  // scaled copy is a certain difference.
  const auto flat = ar1_run(normal, 30, 1e6, 0.0, 0.5);
  const LogScore exact = batch_means(flat, 1e6).value();
  EXPECT_EQ(exact.variance, 0.0);
  const RatioInterval same = compare_log_scores(exact, exact);
  EXPECT_EQ(same.ratio, 1.0);
  EXPECT_EQ(same.verdict, Verdict::kSame);
  const RatioInterval slower = compare_log_scores(exact, LogScore{std::log(0.9e6), 0.0, 29.0});
  EXPECT_NEAR(slower.ratio, 0.9, 1e-12);
  EXPECT_EQ(slower.verdict, Verdict::kSlower);

  EXPECT_FALSE(run_scores(std::vector<double>{1e6}));
  EXPECT_FALSE(run_scores(std::vector<double>{1e6, 0.0}));
  const LogScore two = run_scores(std::vector<double>{1e6, 4e6}).value();
  EXPECT_NEAR(std::exp(two.estimate), 2e6, 1e-6) << "the geometric mean";
  EXPECT_EQ(two.df, 1.0);
}

}  // namespace
}  // namespace truvello::cli
