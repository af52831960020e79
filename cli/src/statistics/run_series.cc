#include "statistics/run_series.h"

#include <algorithm>
#include <cmath>

#include "statistics/robust.h"

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
  s.mean = sum / static_cast<double>(scores.size());
  double squares = 0.0;
  for (double x : scores) squares += (x - s.mean) * (x - s.mean);
  const double sd = std::sqrt(squares / static_cast<double>(scores.size() - 1));
  s.cv_percent = s.mean > 0.0 ? 100.0 * sd / s.mean : 0.0;
  return s;
}

std::optional<SeriesView> series_view(const Invocation& invocation, std::uint32_t benchmark) {
  SeriesView view;
  view.benchmark = benchmark;
  view.runs = invocation.run_count(benchmark);
  view.precision = invocation.precision_of(benchmark);
  if (view.runs < 2 && view.precision == nullptr) return std::nullopt;
  for (const RunOutcome& run : invocation.runs) {
    if (run.config.benchmark == benchmark && run.completed()) view.completed.push_back(&run);
  }
  std::vector<double> scores;
  for (const RunOutcome* run : view.completed) scores.push_back(run->result->mean_rate);
  view.estimate = estimate_series(scores);
  view.spread = series_stats(scores);
  return view;
}

}  // namespace truvello::cli
