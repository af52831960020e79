#include "stats/run_series.h"

#include <algorithm>
#include <cmath>

#include "stats/rate_stats.h"

namespace truvello::cli {

std::optional<SeriesStats> series_stats(std::span<const double> scores) {
  if (scores.size() < 2) return std::nullopt;
  SeriesStats s;
  s.runs = scores.size();
  s.median = median(std::vector<double>(scores.begin(), scores.end()));
  const auto [lo, hi] = std::minmax_element(scores.begin(), scores.end());
  s.min = *lo;
  s.max = *hi;
  double sum = 0.0;
  for (double x : scores) sum += x;
  const double mean = sum / static_cast<double>(scores.size());
  double squares = 0.0;
  for (double x : scores) squares += (x - mean) * (x - mean);
  const double sd = std::sqrt(squares / static_cast<double>(scores.size() - 1));
  s.cv_percent = mean > 0.0 ? 100.0 * sd / mean : 0.0;
  return s;
}

std::vector<double> completed_scores(const Invocation& invocation, std::uint32_t benchmark) {
  std::vector<double> scores;
  for (const RunOutcome& run : invocation.runs) {
    if (run.config.benchmark == benchmark && run.completed()) scores.push_back(run.result->mean_rate);
  }
  return scores;
}

}  // namespace truvello::cli
