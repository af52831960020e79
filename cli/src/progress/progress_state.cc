#include "progress/progress_state.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace truvello::cli {

namespace {

constexpr double kRateWindowSeconds = 1.0;

double finite_or_zero(double v) { return std::isfinite(v) ? v : 0.0; }

}  // namespace

std::optional<double> RateTracker::add(std::uint32_t phase, double phase_elapsed, std::uint64_t ops) {
  if (phase != phase_) {
    phase_ = phase;
    points_.clear();
  }
  if (!points_.empty() && (phase_elapsed < points_.back().t || ops < points_.back().ops)) {
    points_.clear();  // a new run in the same phase: counts restarted
  }
  points_.push_back(Point{phase_elapsed, ops});
  // Keep one point at or before the window's start, so the rate covers a full
  // window once there is one.
  while (points_.size() > 2 && points_[1].t <= phase_elapsed - kRateWindowSeconds) {
    points_.pop_front();
  }
  const Point& first = points_.front();
  const Point& last = points_.back();
  const double dt = last.t - first.t;
  if (!(dt > 0.0)) return std::nullopt;
  return static_cast<double>(last.ops - first.ops) / dt;
}

void apply_goal(ProgressView& view, const SeriesGoalView& goal) {
  const double elapsed = std::max(0.0, finite_or_zero(goal.series_elapsed));
  const double budget = std::max(0.0, finite_or_zero(goal.budget_seconds));
  view.goal = goal;
  view.elapsed_seconds = elapsed;
  view.overall_fraction = budget > 0.0 ? std::min(1.0, elapsed / budget) : 1.0;
  view.remaining_seconds = std::max(0.0, budget - elapsed);
}

ProgressState::ProgressState(std::vector<double> planned_seconds) : planned_(std::move(planned_seconds)) {
  for (double& p : planned_) p = std::max(0.0, finite_or_zero(p));
}

ProgressView ProgressState::update(std::size_t run_index, BenchmarkKind kind, const truvello_progress_record& record,
                                   double now) {
  if (run_index != run_index_) {
    run_index_ = run_index;
    rate_ = RateTracker{};
  }
  ProgressView view;
  view.run_index = run_index;
  view.run_count = planned_.size();
  view.kind = kind;
  view.phase = record.phase;
  view.workers = record.workers;
  view.elapsed_seconds = now;

  const double fraction = std::clamp(finite_or_zero(record.fraction), 0.0, 1.0);
  const auto begin = planned_.begin();
  const std::size_t i = std::min(run_index, planned_.size());
  const double before = std::accumulate(begin, begin + static_cast<std::ptrdiff_t>(i), 0.0);
  const double current = i < planned_.size() ? planned_[i] : 0.0;
  const double after =
      i < planned_.size() ? std::accumulate(begin + static_cast<std::ptrdiff_t>(i) + 1, planned_.end(), 0.0) : 0.0;
  const double total = before + current + after;
  view.overall_fraction = total > 0.0 ? (before + fraction * current) / total : 1.0;
  view.remaining_seconds = (1.0 - fraction) * current + after;

  if (record.phase == TRUVELLO_PHASE_WARMUP || record.phase == TRUVELLO_PHASE_MEASUREMENT) {
    view.rate = rate_.add(record.phase, record.phase_elapsed_seconds, record.ops);
  }
  return view;
}

}  // namespace truvello::cli
