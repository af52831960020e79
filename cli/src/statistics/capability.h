#pragma once

// What the machine does when the host leaves it alone: a run's capability,
// estimated from the fast part of its per-second rates, beside the score
// (its operations over its measured time), which also counts the seconds the
// host took.
//
// A shared host slows a guest for spells of seconds and says nothing of it
// to the guest's OS kernel; interference only ever slows. So a run's
// per-second rates are a fast cluster, the machine's own speed with its small
// noise, and below it the seconds a spell slowed. The estimate:
//
// - the fast cluster: the rates at or above u * (1 - kFastCut), u the 90th
//   percentile of the rates. Fast-level noise up to a CV of 2 % keeps more
//   than 99 % of its seconds above that cut, and a spell of 10 % depth or
//   more falls below it. The 90th percentile stays inside the fast cluster
//   while spells hold less than nine tenths of the seconds;
// - the capability is the median of the fast cluster, its 95 % interval the
//   distribution-free order-statistic interval of that median (ranks from
//   Binomial(n, 1/2), coverage at least 95 %). A median does not creep up
//   with the run's length, as a maximum or a raw high quantile does;
// - the spell share, 1 - score / capability, clamped to [0, 1): the share of
//   the rate the host took.
//
// Why not the densest part of the rates (a shorth or half-sample mode): it
// locks onto the slow cluster as soon as spells hold more than half the
// seconds. Why not a fit of two normal components: it needs far more
// seconds than a 5 s run has, and a spell's depth need not be one level.
// Below kMinFastSeconds seconds in the fast cluster no interval of the
// median reaches 95 % (the range of five holds it with 1 - 2/32 = 93.75 %),
// and the run has no capability, with the reason said instead.
//
// A series' capability is the series estimator (series_estimate.h) over its
// runs' capabilities, the runs without one left out.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/run_outcome.h"
#include "statistics/series_estimate.h"

namespace truvello::cli {

inline constexpr double kFastQuantile = 0.9;
inline constexpr double kFastCut = 0.075;
inline constexpr std::size_t kMinFastSeconds = 6;

// An estimated capability.
struct Capability {
  double rate = 0.0;  // operations per second
  double low = 0.0;   // the 95 % interval
  double high = 0.0;
  // 1 - score / rate in [0, 1); absent without a score to set against it.
  std::optional<double> spell_share;
  std::size_t fast_seconds = 0;  // seconds in the fast cluster (runs, for a series)

  // Half the interval's width over the rate, in percent.
  double half_width_percent() const { return (high - low) / 2.0 / rate * 100.0; }
};

// A capability, or why there is none.
struct CapabilityEstimate {
  std::optional<Capability> value;
  std::string note;  // empty with a value
};

// The rates at or above the fast cut, ascending.
std::vector<double> fast_cluster(std::span<const double> rates);

// The 0-based ranks (low, high) of the order-statistic interval of the median
// of n values with coverage at least 95 %: the narrowest symmetric one.
// Absent below kMinFastSeconds.
struct RankInterval {
  std::size_t low = 0;
  std::size_t high = 0;
};
std::optional<RankInterval> median_rank_interval(std::size_t n);

// 1 - score / rate, clamped to [0, 1); absent unless both are positive.
std::optional<double> spell_share(double score, double rate);

// The capability of per-second rates, with the score (operations over the
// measured seconds) the spell share is taken against; score 0 for none.
CapabilityEstimate capability_of(std::span<const double> rates, double score);

// A run's capability from its steady samples and the library's score.
CapabilityEstimate run_capability(const RunOutcome& run);

// A series' capability: the series estimate over the runs' capability rates
// (those without one left out), its spell share against the series' score.
CapabilityEstimate series_capability(std::span<const CapabilityEstimate> runs, double series_score);

}  // namespace truvello::cli
