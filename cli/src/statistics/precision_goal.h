#pragma once

// When a --precision series stops: the rule, apart from the loop that runs
// the benchmark, so that it can be tried on made-up series.

#include <cstddef>
#include <optional>
#include <span>

#include "statistics/series_estimate.h"

namespace truvello::cli {

// Warm-up of every run of a series after its first. The first run warms the
// machine with the given warm-up; when the next starts a moment later the
// CPUs are still at their working clock and temperature, and what each run
// builds afresh (its workers, its kernels and their tables) is ready within
// milliseconds. Two seconds cover that with a wide margin; a shorter given
// warm-up is kept.
inline constexpr double kLaterWarmupSeconds = 2.0;
double later_warmup(double given_warmup_seconds);

// How a series under --precision ended.
enum class SeriesStop {
  kReached,    // the interval is as tight as asked
  kBudget,     // the next run would not have ended within --max-time
  kCancelled,  // Ctrl-C or SIGTERM
  kFailed,     // a run failed
};
const char* stop_key(SeriesStop stop);  // "reached", "budget", "cancelled", "failed"

struct PrecisionGoal {
  double target_percent = 1.0;      // half-width of the 95 % interval, in percent of the score
  double max_time_seconds = 600.0;  // the series' budget
  std::size_t min_runs = 3;         // completed runs before the interval counts
};

// Whether the series stops after a run: `scores` are the completed runs'
// scores so far, `elapsed` the seconds since the series began and `next_run`
// the planned length of the run that would come next. Absent: run again.
// The first run always runs, whatever its length; a later one only when it
// is planned to end within the budget.
std::optional<SeriesStop> precision_stop(const PrecisionGoal& goal, std::span<const double> scores, double elapsed,
                                         double next_run);

}  // namespace truvello::cli
