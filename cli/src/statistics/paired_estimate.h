#pragma once

// Which of two settings of one machine is faster, judged from runs measured
// in turns (`truvello ab`): each pair of neighbouring runs, one of each
// side, gives a log ratio ln(B / A), and the verdict rests on those pairs
// alone, never on the two sides' spreads.
//
// A slow spell of the host that covers both members of a pair moves both
// scores and leaves their ratio as it was: the pairs see only what differs
// between the sides and the noise within a pair, which on a host whose speed
// wanders by tens of percent over tens of seconds is far less than the noise
// between runs minutes apart.
//
// The interval is Student's t over the pairs' log ratios (a paired t
// interval), not the Wilcoxon signed-rank test with its Hodges-Lehmann
// interval. The pairs are few (a run takes seconds to minutes), and t is
// exact at any number of pairs when the log ratios are normal, which the log
// of a ratio of two rates is close to; the signed-rank interval cannot reach
// 95 % below six pairs (with five, its widest is the range of the Walsh
// averages, 1 - 2/32 = 93.75 %) and moves in coarse steps above. What t gives
// up is robustness to a pair spoiled on one side only (a slow spell that
// began between its members), and that is taken back by the rule that names
// the disturbed runs of a series (statistics/series_estimate.h), applied to
// the pairs' ratios: a pair standing far off the others by both of its tests
// is named as having stood out and left out of the estimate. So the estimate
// is the series estimate of the ratios: their geometric mean and its t
// interval, with the same calibration (at most 2.1 % of clean series of 3 to
// 50 lose a pair; the interval holds the truth in 94 to 95 % of them).

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "model/invocation.h"
#include "statistics/score_inference.h"
#include "statistics/series_estimate.h"

namespace truvello::cli {

// Two neighbouring completed runs, one of each side.
struct AbPair {
  std::size_t number = 1;  // 1-based place among the series' pairs
  double a = 0.0;          // the A run's score
  double b = 0.0;          // the B run's score
  std::size_t a_run = 0;   // the runs' places in the invocation, 0-based
  std::size_t b_run = 0;
};

// The pairs of an A/B invocation in order: runs 2k and 2k + 1 when both
// completed. Empty for any other invocation.
std::vector<AbPair> ab_pairs(const Invocation& invocation);

struct PairedEstimate {
  std::size_t pairs = 0;  // pairs given
  // The estimate of B / A over the pairs' ratios; its disturbed entries are
  // the pairs that stood out (their index among the pairs given), left out.
  SeriesEstimate ratio;
  // The geometric means of each side's scores over the pairs kept: their
  // quotient is the ratio.
  double a_score = 0.0;
  double b_score = 0.0;
  // kFaster: B is faster than A (B / A's interval lies above 1); absent
  // without an interval, that is with fewer than two pairs kept.
  std::optional<Verdict> verdict;
};

// The fewest pairs an interval needs; one pair gives a ratio but says
// nothing about how far the next would differ.
inline constexpr std::size_t kMinPairs = 2;

// Absent for no pairs or a score that is not positive and finite.
std::optional<PairedEstimate> estimate_pairs(std::span<const AbPair> pairs);

// The same runs judged as two independent samples (Welch over each side's
// run scores), as a comparison of two separate series would: what the
// pairing is measured against. Absent below two pairs.
std::optional<RatioInterval> unpaired_interval(std::span<const AbPair> pairs);

}  // namespace truvello::cli
