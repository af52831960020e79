#include "statistics/precision_goal.h"

#include <algorithm>

namespace truvello::cli {

double later_warmup(double given_warmup_seconds) { return std::min(given_warmup_seconds, kLaterWarmupSeconds); }

const char* stop_key(SeriesStop stop) {
  switch (stop) {
    case SeriesStop::kReached:
      return "reached";
    case SeriesStop::kBudget:
      return "budget";
    case SeriesStop::kCancelled:
      return "cancelled";
    default:
      return "failed";
  }
}

std::optional<SeriesStop> precision_stop(const PrecisionGoal& goal, std::span<const double> scores, double elapsed,
                                         double next_run) {
  if (scores.size() >= goal.min_runs) {
    const auto estimate = estimate_series(scores);
    const auto half_width = estimate ? estimate->half_width_percent() : std::nullopt;
    if (half_width && *half_width <= goal.target_percent) return SeriesStop::kReached;
  }
  if (!(elapsed + next_run <= goal.max_time_seconds)) return SeriesStop::kBudget;
  return std::nullopt;
}

}  // namespace truvello::cli
