#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "model/run_outcome.h"
#include "truvello.h"

namespace truvello::cli {

// A run of a --precision series: where the series stands.
struct SeriesGoalView {
  std::size_t run_number = 1;  // 1-based place of the run in its series
  double target_percent = 0.0;
  std::optional<double> half_width_percent;  // after the runs before this one; absent before an interval
  double budget_seconds = 0.0;
  double series_elapsed = 0.0;  // seconds since the series began
};

// What the progress line shows at one moment.
struct ProgressView {
  std::size_t run_index = 0;  // 0-based position of the run in this invocation
  std::size_t run_count = 1;
  BenchmarkKind kind;
  std::uint32_t phase = TRUVELLO_PHASE_WARMUP;
  std::uint32_t workers = 0;
  double overall_fraction = 0.0;   // of all planned runs together, 0 to 1
  double elapsed_seconds = 0.0;    // since the first run began
  double remaining_seconds = 0.0;  // planned time still ahead
  std::optional<double> rate;      // operations per second, recently
  // Set for a run of a --precision series: the fraction, elapsed and
  // remaining time are then those of the series' budget.
  std::optional<SeriesGoalView> goal;
};

// Turns a view into one of a --precision series, whose length is not known
// in advance: the bar fills with the budget.
void apply_goal(ProgressView& view, const SeriesGoalView& goal);

// The current rate from successive progress records: operations counted over
// about the last second of the current phase. The library reports a running
// count per phase, restarting at each phase change, so the tracker does too.
class RateTracker {
 public:
  std::optional<double> add(std::uint32_t phase, double phase_elapsed, std::uint64_t ops);

 private:
  struct Point {
    double t;
    std::uint64_t ops;
  };
  std::uint32_t phase_ = 0;
  std::deque<Point> points_;
};

// Turns the library's per-run progress records into a view of the whole
// invocation: which run, how far along all runs together, how long to go.
class ProgressState {
 public:
  // The planned length (warm-up + measurement) of every run, in order.
  explicit ProgressState(std::vector<double> planned_seconds);

  // Called for each record; `run_index` is the run it belongs to and `now`
  // the seconds since the first run began, read by the caller.
  ProgressView update(std::size_t run_index, BenchmarkKind kind, const truvello_progress_record& record, double now);

 private:
  std::vector<double> planned_;
  std::size_t run_index_ = 0;
  RateTracker rate_;
};

}  // namespace truvello::cli
