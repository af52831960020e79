#pragma once

// The score of a series of runs (--repeat, --precision) that one or two runs
// spoiled by the machine cannot move, with a 95 % interval that is honest for
// a handful of runs, and the runs that stood off named.
//
// Runs are judged on the logarithm of their scores, so that a run 20 % slow
// stands as far off at any speed. A run is disturbed when its modified
// z-score, |log score - median| / (1.4826 * MAD), exceeds kDisturbedZ; the
// robust spread is floored at kMinRobustSpread so that runs agreeing to a
// tenth of a percent do not make a 1 % neighbour an outlier. Disturbed runs
// stay in every file, named; the estimate rests on the others.

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "compare/score_inference.h"

namespace truvello::cli {

inline constexpr double kDisturbedZ = 3.5;
inline constexpr double kMinRobustSpread = 0.005;  // of the log score: half a percent

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
