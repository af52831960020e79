#pragma once

#include <optional>
#include <span>
#include <vector>

#include "truvello.h"

namespace truvello::cli {

// Figures the command derives from a run's samples, beyond what the library
// computes itself.
struct RateStats {
  double median = 0.0;
  double min = 0.0;
  double max = 0.0;
  // Mean rate over the first and the last third of the window, and the
  // change between them in percent of the first; absent when the window has
  // too few samples for its thirds to say anything.
  std::optional<double> first_third;
  std::optional<double> last_third;
  std::optional<double> drift_percent;
};

// The samples that stand for whole seconds: the run closes its window with a
// partial sample whose rate, over a sliver of time, is mostly rounding noise.
// Keeps samples covering at least half a second; if none does (a window under
// a second), keeps them all.
std::vector<truvello_sample_record> steady_samples(std::span<const truvello_sample_record> samples);

// Operations per second over [from, to] of the window, counting each sample's
// operations in proportion to its overlap with that span.
std::optional<double> rate_between(std::span<const truvello_sample_record> samples, double from, double to);

// Median, minimum and maximum over the steady samples, and the drift between
// the thirds of the whole window. Absent for an empty series.
std::optional<RateStats> rate_stats(std::span<const truvello_sample_record> samples);

// The fewest samples for which thirds of the window are worth comparing.
inline constexpr std::size_t kMinSamplesForDrift = 3;

}  // namespace truvello::cli
