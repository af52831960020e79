#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "model/invocation.h"
#include "statistics/capability.h"
#include "statistics/series_estimate.h"

namespace truvello::cli {

// How much a benchmark's score moved from run to run within one series.
struct SeriesStats {
  std::size_t runs = 0;  // completed runs the figures are taken over
  double mean = 0.0;
  double median = 0.0;
  double min = 0.0;
  double max = 0.0;
  double cv_percent = 0.0;  // sample standard deviation over the mean, in percent
};

// Absent for fewer than two scores: one run says nothing about the spread.
std::optional<SeriesStats> series_stats(std::span<const double> scores);

// One benchmark's series in an invocation, as every output shows it.
struct SeriesView {
  std::uint32_t benchmark = TRUVELLO_BENCHMARK_SINGLE;
  std::size_t runs = 0;                        // runs of the benchmark, completed or not
  std::vector<const RunOutcome*> completed;    // in run order; the estimate's indices point here
  std::optional<SeriesEstimate> estimate;      // absent without a completed run
  std::optional<SeriesStats> spread;           // absent below two completed runs
  const PrecisionRecord* precision = nullptr;  // set under --precision
  // Over the completed runs' capabilities, against the estimate's score;
  // set by view_of, which has the runs' capabilities.
  CapabilityEstimate capability;

  // The run a disturbed entry of the estimate names.
  const RunOutcome& run_of(const DisturbedRun& d) const { return *completed[d.index]; }
};

// Absent unless the benchmark ran two or more times or under --precision:
// a single run has no series to speak of. The view points into `invocation`.
std::optional<SeriesView> series_view(const Invocation& invocation, std::uint32_t benchmark);

}  // namespace truvello::cli
