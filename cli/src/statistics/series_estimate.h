#pragma once

// The score of a series of runs (--repeat, --precision) that one or two runs
// spoiled by the machine cannot move, with a 95 % interval that is honest for
// a handful of runs, and the runs that stood off named.
//
// Runs are judged on the logarithm of their scores, so that a run 20 % slow
// stands as far off at any speed. A run is disturbed when two tests agree:
//
// - its modified z-score, |log score - median| / (1.4826 * MAD), exceeds
//   kDisturbedZ. The median and the MAD cannot be moved by fewer than half
//   of the runs, so two slow runs cannot hide each other. The robust spread
//   is floored at kMinRobustSpread so that runs agreeing to a tenth of a
//   percent do not make a 1 % neighbour an outlier;
// - and it lies outside what the other runs predict for one more: over the
//   m others, less the first test's candidates on its own side (two runs a
//   busy host slowed alike would hide each other), |x - mean| / (s * sqrt(1 +
//   1/m)) exceeds Student's t quantile at 1 - kDisturbedAlpha / (2 n), n the
//   runs of the series; s is floored as the robust spread is.
//
// Why the second test: the first alone names runs of a clean series far too
// often when there are few. With five runs the MAD is the second-smallest
// distance from the median, often a fraction of the true spread: on seeded
// log-normal series (CV 5 %) it named a run in 20 % of clean series of 5
// runs and 13 % of 10, and the interval over the rest held the truth in only
// 87 and 91 % of them. The t test knows how little m runs say about their
// spread: with it, at most 2.1 % of clean series of 3 to 50 runs lose a run,
// and the interval holds the truth in 93.9 to 95.2 % of them (20,000 seeded
// series per size). The price is power: a slowed run is named nine times in
// ten when it stands some 15 spreads off in 5 runs, 10 in 7, 8 in 10. One
// that cannot be told from the noise stays in: it widens the interval rather
// than moving the verdict, and --precision then asks for more runs.
//
// Disturbed runs stay in every file, named; the estimate rests on the others.
// The kept runs are taken as independent draws of a normal log score: the
// score is their geometric mean, the interval Student's t over their spread.
// That interval is exact for any number of runs under that assumption, where
// order statistics cannot reach 95 % below six runs (the range of five holds
// the median with 1 - 2/32 = 93.75 %) and a percentile bootstrap of three to
// five runs is far too narrow: it cannot see beyond the runs it has, and held
// the truth in 76, 80 and 84 % of seeded series of 3, 4 and 5 runs.

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "statistics/score_inference.h"

namespace truvello::cli {

// The fewest completed runs a --precision series stops at, and the fewest
// `compare --fail-if-slower` judges a side on: two runs say too little about
// how far a third would stand off.
inline constexpr std::size_t kMinSeriesRuns = 3;
inline constexpr double kDisturbedZ = 3.5;
inline constexpr double kMinRobustSpread = 0.005;  // of the log score: half a percent
// The share of clean series the second test may name a run in, shared
// among the series' runs (Bonferroni).
inline constexpr double kDisturbedAlpha = 0.01;

// A run that stood far from the others of its series.
struct DisturbedRun {
  std::size_t index = 0;     // its place in the scores given, 0-based
  double z = 0.0;            // its modified z-score
  double off_percent = 0.0;  // its score against the series' score, in percent (negative: slower)
};

struct SeriesEstimate {
  std::size_t runs = 0;  // scores given
  std::size_t kept = 0;  // scores the estimate rests on: runs less the disturbed ones
  double score = 0.0;    // the series' score
  // The 95 % interval of the score; absent with fewer than two kept runs.
  std::optional<double> low;
  std::optional<double> high;
  // The kept runs' log score with its variance and degrees of freedom, as
  // `compare` combines two sides; absent with fewer than two kept runs.
  std::optional<LogScore> log_score;
  std::vector<DisturbedRun> disturbed;  // in run order

  // Half the interval's width over the score, in percent: what --precision
  // asks for. Absent without an interval.
  std::optional<double> half_width_percent() const;
};

// Absent for no scores or a score that is not positive and finite.
std::optional<SeriesEstimate> estimate_series(std::span<const double> scores);

}  // namespace truvello::cli
