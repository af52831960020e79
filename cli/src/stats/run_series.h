#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "options/invocation.h"

namespace truvello::cli {

// How much a benchmark's score moved from run to run within one series.
struct SeriesStats {
  std::size_t runs = 0;  // completed runs the figures are taken over
  double median = 0.0;
  double min = 0.0;
  double max = 0.0;
  double cv_percent = 0.0;  // sample standard deviation over the mean, in percent
};

// Absent for fewer than two scores: one run says nothing about the spread.
std::optional<SeriesStats> series_stats(std::span<const double> scores);

// The scores of the completed runs of one benchmark, in run order.
std::vector<double> completed_scores(const Invocation& invocation, std::uint32_t benchmark);

}  // namespace truvello::cli
