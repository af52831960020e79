#pragma once

// Robust figures over plain values: the median, quantiles, the spread from
// the median absolute deviation and the modified z-score. A run's samples,
// a series of runs and a fleet of machines are all summed up with these, so
// that "the median" means one thing wherever a figure is shown.

#include <span>
#include <vector>

namespace truvello::cli {

// 1 / Phi^-1(3/4): scales a median absolute deviation to the standard
// deviation it estimates for normal data.
inline constexpr double kMadToSd = 1.4826;

// The middle value; for an even count the mean of the two middle values,
// (lower + upper) / 2. 0 for no values; NaN when any value is NaN (there is
// no order to take the middle of).
double median(std::vector<double> values);

// The q-quantile (0..1) of values sorted ascending, interpolated linearly
// between neighbours: sorted[i] + f * (sorted[i + 1] - sorted[i]) at
// q * (n - 1) = i + f. 0 for no values. Its 0.5-quantile of an even count is
// the lower middle value plus half the gap, which may differ from median()
// in the last bit: the fleet's group figures are quantiles throughout, so
// that the median sits between p10 and p90 computed alike.
double quantile(std::span<const double> sorted, double q);

// kMadToSd times the median of |x - centre|: a standard deviation where the
// values are normal, unmoved by fewer than half of them. 0 for no values.
double mad_spread(std::span<const double> values, double centre);

// How many spreads x lies from the centre, |x - centre| / spread; the
// caller floors the spread, so that it is never 0.
double modified_z_score(double x, double centre, double spread);

}  // namespace truvello::cli
