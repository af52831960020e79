#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host.h"
#include "truvello.h"

namespace truvello::report {

struct RunPlan {
  std::uint32_t benchmark = TRUVELLO_BENCHMARK_SINGLE;
  double warmup_seconds = 0.0;
  double measurement_seconds = 1.0;
  // Reads the workers' scheduler accounting at every progress record of the
  // measurement window. Costs the calling thread a few /proc reads per
  // record, so figures that time the calling thread leave it off.
  bool watch_workers = false;
};

// What the workers did between the first and the last progress record of the
// measurement window.
struct WindowUsage {
  std::uint64_t ops = 0;
  double wall_seconds = 0.0;
  ThreadTimes workers;        // last_cpu: where the first worker ran at the end
  bool worker_moved = false;  // ... and it was elsewhere at the start

  // Operations per second of the workers' own CPU time: the rate with other
  // work's share of the CPUs taken out.
  double ops_per_cpu_second() const;
  // Share of the workers' time spent runnable but not running.
  double waiting_share() const;
};

// Called from the run's progress callback, on the calling thread, with the
// run's own handle (for truvello_cancel).
using ProgressHook = std::function<void(const truvello_progress_record&, truvello_handle*)>;

// One truvello_run as a host sees it, plus the timings the figures need.
struct RunObservation {
  std::uint32_t status = TRUVELLO_STATUS_FAILED;
  truvello_result_record result{};
  std::string reason;
  std::vector<truvello_sample_record> samples;
  std::optional<double> first_progress_seconds;  // from the call to the first record
  double wall_seconds = 0.0;                     // the call as a whole
  double caller_cpu_seconds = 0.0;               // CPU time of the calling thread in the call
  std::optional<WindowUsage> window;             // with RunPlan::watch_workers
};

// Runs one benchmark through the C interface on a fresh handle.
RunObservation run_library(const RunPlan& plan, const ProgressHook& hook = {});

}  // namespace truvello::report
